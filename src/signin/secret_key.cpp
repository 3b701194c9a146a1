#include "secret_key.h"

#include <QUrl>

namespace tramelo::signin {

namespace {

// Percent-encoded, so that no server or user can reach into another's name.
SecretKey keyOf(const QString &purpose, const QString &server, const QString &user)
{
    return {QStringLiteral("%1 %2 %3")
                .arg(purpose, QString::fromLatin1(QUrl::toPercentEncoding(server.trimmed().toLower(), ":[]")),
                     QString::fromLatin1(QUrl::toPercentEncoding(user.trimmed(), "@")))};
}

} // namespace

SecretKey passwordKey(const QString &server, const QString &user)
{
    return keyOf(QStringLiteral("contrasenya-smtp"), server, user);
}

SecretKey refreshTokenKey(OAuthProvider provider, const QString &server, const QString &user)
{
    return keyOf(QStringLiteral("oauth2-") + QString::fromLatin1(providerWord(provider)), server, user);
}

} // namespace tramelo::signin
