#include "address_field_choice.h"

#include "address_validation.h"
#include "campaign.h"
#include "campaign_view.h"
#include "plain_text.h"
#include "record_snapshot.h"
#include "recipient_connection.h"
#include "recipient_grid.h"
#include "recipient_source.h"

namespace tramelo {
namespace {

constexpr int valuesLookedAt = 100;

// Read row by row, so that a large source costs only its first rows. A
// statement that does not open is no reason to ask: the grid fill says why.
bool holdsAnAddress(Campaign &campaign, const QString &field)
{
    QString error;
    const std::unique_ptr<RecordSnapshot> rows =
        campaign.connection().openStreamedSnapshot(campaign.settings().text(Setting::SqlStatement), error);
    if (!rows)
        return true;
    const int index = rows->fieldIndex(field);
    if (index < 0)
        return true;
    int looked = 0;
    for (; !rows->atEnd() && looked < valuesLookedAt; rows->moveNext()) {
        const RecordSnapshot::Value value = rows->value(index);
        if (!value || isBlank(*value))
            continue;
        if (isValidEmailAddress(*value))
            return true;
        ++looked;
    }
    return false;
}

} // namespace

bool ChooseAddressField(Campaign &campaign, const QString &field)
{
    CampaignSettings &settings = campaign.settings();
    const QString shown = campaign.grid().addressFieldName();
    settings.setText(Setting::AddressField, field);
    if (!isBlank(field) && !holdsAnAddress(campaign, field)
        && !campaign.view().askYesNo(QStringLiteral("El camp triat no conté cap adreça de correu vàlida. "
                                                    "Vols fer-lo servir igualment?"),
                                     false)) {
        settings.setText(Setting::AddressField, campaign.fieldList().contains(shown) ? shown : QString());
        return false;
    }
    const JournalMarks journal = FillRecipientGrid(campaign);
    if (journal.status == JournalReading::Status::Unreadable)
        campaign.view().showMessage(journalNotReadMessage(journal), MessageIcon::Error);
    return true;
}

} // namespace tramelo
