#include "merge_fields.h"

#include "campaign_settings.h"
#include "plain_text.h"
#include "record_snapshot.h"

#include <QSet>

#include <vector>

namespace tramelo {
namespace {

// A placeholder of the record and where it next occurs from the current
// position on (-1: no more).
struct Placeholder {
    QString text;
    QString value;
    qsizetype next = -1;
};

std::vector<Placeholder> placeholdersOf(const QString &text, const RecordSnapshot &record,
                                        const MergeDelimiters &delimiters)
{
    std::vector<Placeholder> placeholders;
    QSet<QString> seen;
    for (int field = 0; field < record.fieldCount(); ++field) {
        const QString placeholder = placeholderText(record.fieldName(field), delimiters);
        // An empty text would match between every two characters.
        if (placeholder.isEmpty() || seen.contains(placeholder))
            continue;
        seen.insert(placeholder);
        const RecordSnapshot::Value value = record.value(field);
        if (!value)
            continue;
        const qsizetype first = text.indexOf(placeholder, 0, Qt::CaseSensitive);
        if (first >= 0)
            placeholders.push_back({placeholder, *value, first});
    }
    return placeholders;
}

} // namespace

MergeDelimiters mergeDelimitersOf(const CampaignSettings &settings)
{
    return {trimBlanks(settings.text(Setting::FieldDelimiterLeft)), trimBlanks(settings.text(Setting::FieldDelimiterRight))};
}

QString placeholderText(const QString &name, const MergeDelimiters &delimiters)
{
    return delimiters.left + name + delimiters.right;
}

QString MergeFields(const QString &text, const RecordSnapshot &record, const MergeDelimiters &delimiters)
{
    std::vector<Placeholder> placeholders = placeholdersOf(text, record, delimiters);
    QString result;
    qsizetype done = 0;
    for (;;) {
        // The placeholder that occurs first; of two at the same place, the
        // earlier field's.
        const Placeholder *first = nullptr;
        for (const Placeholder &placeholder : placeholders) {
            if (placeholder.next >= 0 && (!first || placeholder.next < first->next))
                first = &placeholder;
        }
        if (!first)
            break;
        result += QStringView(text).sliced(done, first->next - done);
        result += first->value;
        done = first->next + first->text.size();
        for (Placeholder &placeholder : placeholders) {
            if (placeholder.next >= 0 && placeholder.next < done)
                placeholder.next = text.indexOf(placeholder.text, done, Qt::CaseSensitive);
        }
    }
    if (done == 0)
        return text;
    result += QStringView(text).sliced(done);
    return result;
}

QStringList placeholderNamesIn(const QString &text, const MergeDelimiters &delimiters)
{
    QStringList names;
    if (delimiters.left.isEmpty() || delimiters.right.isEmpty())
        return names;
    const qsizetype leftSize = delimiters.left.size();
    qsizetype from = 0;
    for (;;) {
        const qsizetype open = text.indexOf(delimiters.left, from, Qt::CaseSensitive);
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(delimiters.right, open + leftSize, Qt::CaseSensitive);
        if (close < 0)
            break;
        // The nearest opening before the close: "<<<<Nom>>>" names Nom.
        const qsizetype nearest = text.lastIndexOf(delimiters.left, close - leftSize, Qt::CaseSensitive);
        const QStringView name = QStringView(text).sliced(nearest + leftSize, close - nearest - leftSize);
        if (!name.isEmpty() && name.size() <= maxPlaceholderNameLength && !name.contains(u'\n')
            && !name.contains(u'\r') && !names.contains(name))
            names << name.toString();
        from = close + delimiters.right.size();
    }
    return names;
}

} // namespace tramelo
