#include "list_unsubscribe.h"

#include <QUrl>

namespace tramelo {
namespace {

// RFC 3986's reserved characters and "%", which may stand in a URL; a comma
// would part the header's list of URLs (RFC 2369) and is encoded.
const QByteArray keptInHeaderUrl = QByteArrayLiteral(":/?#[]@!$&'()*+;=%");

QString headerUrl(const QString &url)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(url.trimmed(), keptInHeaderUrl));
}

} // namespace

bool isOneClickUrl(QStringView url)
{
    const QUrl parsed(url.trimmed().toString(), QUrl::StrictMode);
    return parsed.isValid() && parsed.scheme() == u"https" && !parsed.host().isEmpty();
}

QStringList listUnsubscribeRows(const ListUnsubscribe &unsubscribe)
{
    QStringList urls;
    const QString url = headerUrl(unsubscribe.url);
    if (!url.isEmpty())
        urls << u'<' + url + u'>';
    QString mailto = unsubscribe.mailto.trimmed();
    if (!mailto.isEmpty()) {
        if (!mailto.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
            mailto.prepend(QLatin1String("mailto:"));
        urls << u'<' + headerUrl(mailto) + u'>';
    }
    if (urls.isEmpty())
        return {};
    QStringList rows = {QStringLiteral("List-Unsubscribe: ") + urls.join(QLatin1String(", "))};
    if (isOneClickUrl(url))
        rows << QStringLiteral("List-Unsubscribe-Post: List-Unsubscribe=One-Click");
    return rows;
}

QString mergeUrlTemplate(QStringView urlTemplate, QStringView left, QStringView right,
                         const std::function<std::optional<QString>(QStringView name)> &valueOf)
{
    if (left.isEmpty() || right.isEmpty())
        return urlTemplate.toString();
    QString merged;
    qsizetype done = 0;
    for (qsizetype close = urlTemplate.indexOf(right); close >= 0; close = urlTemplate.indexOf(right, close)) {
        // The nearest opening before the closing one, after what is merged.
        const qsizetype open = urlTemplate.sliced(0, close).lastIndexOf(left);
        const std::optional<QString> value =
            open >= done ? valueOf(urlTemplate.sliced(open + left.size(), close - open - left.size())) : std::nullopt;
        if (!value) {
            close += right.size();
            continue;
        }
        merged += urlTemplate.sliced(done, open - done);
        merged += QString::fromLatin1(QUrl::toPercentEncoding(*value));
        done = close + right.size();
        close = done;
    }
    merged += urlTemplate.sliced(done);
    return merged;
}

} // namespace tramelo
