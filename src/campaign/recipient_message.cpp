#include "recipient_message.h"

#include "campaign.h"
#include "campaign_numbers.h"
#include "merge_fields.h"
#include "record_snapshot.h"
#include "recipient_grid.h"

namespace tramelo {

OutgoingMessage groupMessage(const CampaignSettings &settings, const RecordSnapshot &record,
                             const QStringList &addresses, long long groupSize, const QString &attachments)
{
    OutgoingMessage message;
    message.attachments = attachments;
    const QString subject = settings.text(Setting::MessageSubject);
    const QString body = settings.text(Setting::BodyText);
    if (groupSize == 1) {
        message.to = addresses.join(u';');
        message.subject = MergeFields(subject, record, settings);
        message.body = MergeFields(body, record, settings);
    } else {
        message.bcc = addresses.join(u';');
        message.subject = subject;
        message.body = body;
    }
    return message;
}

std::optional<OutgoingMessage> messageForRow(const Campaign &campaign, int row, const QString &attachments)
{
    const RecipientGrid &grid = campaign.grid();
    if (!grid.keepsCells() || row < 1 || row > grid.dataRowCount())
        return std::nullopt;
    // The grid's cells are the rows the run reads again, value for value.
    RecordSnapshot record(grid.records());
    for (int before = 1; before < row; ++before)
        record.moveNext();
    const CampaignSettings &settings = campaign.settings();
    const QString address = record.value(settings.text(Setting::AddressField)).value_or(QString());
    return groupMessage(settings, record, {address}, groupSizeOf(settings), attachments);
}

} // namespace tramelo
