#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <optional>

namespace tramelo::signin {

// The choices of "Mètode d'autenticació:" that sign in with OAuth 2.0.
enum class OAuthProvider { Microsoft365, Google, Other };

// The word a project file keeps for a provider ("microsoft365", "google",
// "altre"), and back; nothing for a word it does not know.
QByteArray providerWord(OAuthProvider provider);
std::optional<OAuthProvider> providerOfWord(const QByteArray &word);

// What the operator types for a provider. The organisation registers its own
// client at the provider; the program carries none.
struct OAuthClientSettings
{
    OAuthProvider provider = OAuthProvider::Microsoft365;
    QString clientId{};
    // Google's desktop clients have one and Google requires it; it is not
    // a secret there, but is kept out of every text all the same.
    QString clientSecret{};
    // Microsoft: "organizations" (when empty), "common", "consumers", or the
    // organisation's tenant as an id or a domain name.
    QString tenant{};
    // "Un altre proveïdor": its endpoints and scope.
    QString authorizationUrl{};
    QString tokenUrl{};
    QString scope{};
};

inline const QString defaultMicrosoftTenant = QStringLiteral("organizations");

// Where and how one client signs in.
struct OAuthEndpoints
{
    QUrl authorization;
    QUrl token;
    // Empty when the provider offers no device-code sign-in for this scope.
    QUrl deviceAuthorization;
    QString scope;
    QString clientId;
    QString clientSecret;
    // Added to the authorisation request (Google needs them for a refresh token).
    QList<QPair<QString, QString>> extraAuthorizationQuery;
};

// The endpoints of the settings, or the Catalan reason they cannot work.
struct ResolvedEndpoints
{
    OAuthEndpoints endpoints;
    QString error;
};
ResolvedEndpoints resolveEndpoints(const OAuthClientSettings &settings);

// An endpoint the secrets may be sent to: HTTPS, or plain HTTP to this
// machine's loopback address; never one that carries a user name or password.
bool isSafeEndpoint(const QUrl &url);

} // namespace tramelo::signin
