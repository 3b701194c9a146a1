#include "recipient_message.h"

#include "campaign.h"
#include "merge_fields.h"
#include "record_snapshot.h"
#include "recipient_grid.h"
#include "run_settings.h"

namespace tramelo {

OutgoingMessage groupMessage(const RunSettings &settings, const RecordSnapshot &record, const QStringList &addresses)
{
    OutgoingMessage message;
    message.attachments = settings.attachments;
    if (settings.groupSize == 1) {
        message.to = addresses.join(u';');
        message.subject = MergeFields(settings.subject, record, settings.delimiters);
        message.body = MergeFields(settings.body, record, settings.delimiters);
    } else {
        message.bcc = addresses.join(u';');
        message.subject = settings.subject;
        message.body = settings.body;
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
    const RunSettings settings = takeRunSettings(campaign, attachments);
    const QString address = record.value(settings.addressField).value_or(QString());
    return groupMessage(settings, record, {address});
}

} // namespace tramelo
