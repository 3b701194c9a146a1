#pragma once

#include <QString>
#include <QStringList>

namespace tramelo {

class CampaignSettings;
class RecordSnapshot;

// What opens and what closes a merge placeholder: FieldDelimiterLeft and
// FieldDelimiterRight without their surrounding spaces ("<<<" and ">>>").
struct MergeDelimiters {
    QString left;
    QString right;
};
MergeDelimiters mergeDelimitersOf(const CampaignSettings &settings);

// The text with the current record's values in place of its placeholders:
// the left delimiter, a field's name exactly as the source reports it, then
// the right delimiter. One pass from start to end: each placeholder is
// replaced once, and a value put in is never scanned again, so a value that
// holds a placeholder arrives as written. Null fields leave their
// placeholder, and so do names that are no field; where two fields share a
// name, the first one counts.
QString MergeFields(const QString &text, const RecordSnapshot &record, const MergeDelimiters &delimiters);

// The names that the placeholders of the text hold, each once, in the order
// they first appear: for every closing delimiter, the text since the nearest
// opening one before it, when it is a name (not empty, at most
// maxPlaceholderNameLength characters, on one line). Nothing when either
// delimiter is empty, as a placeholder cannot then be told from the text.
QStringList placeholderNamesIn(const QString &text, const MergeDelimiters &delimiters);
inline constexpr qsizetype maxPlaceholderNameLength = 128;

// A placeholder written out: "<<<Nom>>>".
QString placeholderText(const QString &name, const MergeDelimiters &delimiters);

} // namespace tramelo
