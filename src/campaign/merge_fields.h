#pragma once

#include <QString>

namespace tramelo {

class CampaignSettings;
class RecordSnapshot;

// The text with the current record's values in place of its placeholders:
// FieldDelimiterLeft, a field's name exactly as the source reports it, then
// FieldDelimiterRight (both without their surrounding spaces). Fields are
// merged in the source's order, so a value holding a later field's
// placeholder is replaced in turn; null fields leave their placeholder.
QString MergeFields(const QString &text, const RecordSnapshot &record, const CampaignSettings &settings);

} // namespace tramelo
