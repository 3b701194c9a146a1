#include "merge_fields.h"

#include "campaign_settings.h"
#include "plain_text.h"
#include "record_snapshot.h"

namespace tramelo {

QString MergeFields(const QString &text, const RecordSnapshot &record, const CampaignSettings &settings)
{
    const QString left = trimBlanks(settings.text(Setting::FieldDelimiterLeft));
    const QString right = trimBlanks(settings.text(Setting::FieldDelimiterRight));
    QString result = text;
    for (int field = 0; field < record.fieldCount(); ++field) {
        const RecordSnapshot::Value value = record.value(field);
        const QString placeholder = left + record.fieldName(field) + right;
        // An empty text would match between every two characters.
        if (value && !placeholder.isEmpty())
            result.replace(placeholder, *value, Qt::CaseSensitive);
    }
    return result;
}

} // namespace tramelo
