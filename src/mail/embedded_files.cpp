#include "embedded_files.h"

#include "header_encoding.h"

#include <algorithm>
#include <optional>

namespace tramelo {
namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isQuote(QChar c)
{
    return c == u'"' || c == u'\'';
}

// Where a reference to a file that ends at the occurrence of its name starts:
// at the value of an attribute of the tag that holds the name (in a style
// value, inside its url(...)). None for a name in the text, in a comment, or
// in a tag with no value that reaches it.
std::optional<qsizetype> linkStart(const QString &html, qsizetype occurrence)
{
    const qsizetype tagStart = html.lastIndexOf(u'<', occurrence);
    if (tagStart < 0 || html.mid(tagStart + 1, 1) == u"!")
        return std::nullopt;
    const qsizetype tagEnd = html.indexOf(u'>', tagStart);
    const qsizetype equals = html.lastIndexOf(u'=', occurrence);
    if (tagEnd < occurrence || equals < tagStart)
        return std::nullopt;
    qsizetype start = equals + 1;
    while (start < occurrence && isBlank(html[start]))
        ++start;
    const QStringView value = QStringView(html).sliced(start, occurrence - start);
    if (!value.isEmpty() && isQuote(value.front())) {
        if (value.sliced(1).contains(value.front()))
            return std::nullopt; // the quoted value ended before the name
        ++start;
    } else if (std::any_of(value.begin(), value.end(), isBlank)) {
        return std::nullopt; // an unquoted value ends at a blank
    }
    const qsizetype url = html.lastIndexOf(QLatin1String("url("), occurrence, Qt::CaseInsensitive);
    if (url >= start) {
        start = url + 4;
        while (start < occurrence && (isBlank(html[start]) || isQuote(html[start])))
            ++start;
    }
    return start;
}

} // namespace

BodyLinks linkEmbeddedFiles(QString &html, const QStringList &fileNames)
{
    BodyLinks links{QList<bool>(fileNames.size(), false), false};
    for (qsizetype i = 0; i < fileNames.size(); ++i) {
        const QString &name = fileNames[i];
        if (name.isEmpty())
            continue;
        qsizetype occurrence = html.indexOf(name, 0, Qt::CaseInsensitive);
        while (occurrence >= 0) {
            qsizetype searchFrom = occurrence + 1;
            if (const std::optional<qsizetype> start = linkStart(html, occurrence)) {
                const QString link = QStringLiteral("cid:") + contentId(name);
                html = html.left(*start) + link + html.mid(occurrence + name.size());
                links.embedded[i] = true;
                links.related = true;
                searchFrom = *start + link.size();
            }
            occurrence = html.indexOf(name, searchFrom, Qt::CaseInsensitive);
        }
    }
    return links;
}

} // namespace tramelo
