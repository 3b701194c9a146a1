#include "id_token.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tramelo::signin {

namespace {

// An address is at most 254 characters; anything longer is not an account.
constexpr qsizetype longestAccount = 320;

bool isPlainAccount(const QString &text)
{
    if (text.isEmpty() || text.size() > longestAccount)
        return false;
    for (QChar c : text) {
        if (!c.isPrint() || c.isSpace())
            return false;
    }
    return true;
}

} // namespace

QString accountOfIdToken(const QByteArray &idToken)
{
    const QList<QByteArray> parts = idToken.split('.');
    if (parts.size() != 3)
        return {};
    const auto decoded = QByteArray::fromBase64Encoding(
        parts[1], QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    const QJsonObject claims = QJsonDocument::fromJson(*decoded).object();
    for (const char *claim : {"preferred_username", "email"}) {
        const QString value = claims.value(QLatin1String(claim)).toString();
        if (isPlainAccount(value))
            return value;
    }
    return {};
}

} // namespace tramelo::signin
