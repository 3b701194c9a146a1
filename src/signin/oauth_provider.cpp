#include "oauth_provider.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace tramelo::signin {

namespace {

// Microsoft identity platform, v2.0 endpoints with the tenant in the path:
//   learn.microsoft.com/entra/identity-platform/v2-oauth2-auth-code-flow
//   learn.microsoft.com/entra/identity-platform/v2-oauth2-device-code
// SMTP submission's scope ("SMTP.Send" of the Outlook resource):
//   learn.microsoft.com/exchange/client-developer/legacy-protocols/
//   how-to-authenticate-an-imap-pop-smtp-application-by-using-oauth
// "offline_access" brings the refresh token; "openid profile" the ID token
// whose "preferred_username" names the account (OpenID Connect Core 1.0,
// 5.4; learn.microsoft.com/entra/identity-platform/id-token-claims-reference).
const QString microsoftAuthority = QStringLiteral("https://login.microsoftonline.com/%1/oauth2/v2.0/");
const QString microsoftScope = QStringLiteral("https://outlook.office.com/SMTP.Send offline_access openid profile");

// Google, OAuth 2.0 for desktop apps (loopback redirect, PKCE, client secret):
//   developers.google.com/identity/protocols/oauth2/native-app
// The scope of IMAP, POP and SMTP: developers.google.com/gmail/imap/xoauth2-protocol
// "openid email" brings the ID token whose "email" names the account.
// Google's device flow does not allow the mail scope, so there is none here.
const QUrl googleAuthorization(QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth"));
const QUrl googleToken(QStringLiteral("https://oauth2.googleapis.com/token"));
const QString googleScope = QStringLiteral("https://mail.google.com/ openid email");
// Google grants a refresh token only with access_type=offline, and again on
// a later sign-in only when consent is asked once more.
const QList<QPair<QString, QString>> googleExtraQuery = {
    {QStringLiteral("access_type"), QStringLiteral("offline")},
    {QStringLiteral("prompt"), QStringLiteral("consent")},
};

bool isValidTenant(const QString &tenant)
{
    static const QRegularExpression tenantId(QStringLiteral(
        "^(?:[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}"
        "|[A-Za-z0-9](?:[A-Za-z0-9-]{0,62})(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,62}))+)$"));
    return tenant == QLatin1String("organizations") || tenant == QLatin1String("common")
           || tenant == QLatin1String("consumers") || tenantId.match(tenant).hasMatch();
}

ResolvedEndpoints failed(const QString &reason)
{
    return {{}, reason};
}

ResolvedEndpoints microsoftEndpoints(const OAuthClientSettings &settings)
{
    const QString tenant = settings.tenant.trimmed().isEmpty() ? defaultMicrosoftTenant : settings.tenant.trimmed();
    if (!isValidTenant(tenant))
        return failed(QStringLiteral("L'inquilí ha de ser organizations, common, consumers o l'identificador o el "
                                     "domini de l'inquilí de l'organització"));
    OAuthEndpoints endpoints;
    const QString authority = microsoftAuthority.arg(tenant);
    endpoints.authorization = QUrl(authority + QStringLiteral("authorize"));
    endpoints.token = QUrl(authority + QStringLiteral("token"));
    endpoints.deviceAuthorization = QUrl(authority + QStringLiteral("devicecode"));
    endpoints.scope = microsoftScope;
    return {endpoints, {}};
}

ResolvedEndpoints googleEndpoints(const OAuthClientSettings &settings)
{
    if (settings.clientSecret.trimmed().isEmpty())
        return failed(QStringLiteral("Cal el secret de client del client d'escriptori de Google"));
    OAuthEndpoints endpoints;
    endpoints.authorization = googleAuthorization;
    endpoints.token = googleToken;
    endpoints.scope = googleScope;
    endpoints.clientSecret = settings.clientSecret.trimmed();
    endpoints.extraAuthorizationQuery = googleExtraQuery;
    return {endpoints, {}};
}

std::optional<QString> unsafeEndpointReason(const QString &label, const QString &typed)
{
    if (typed.trimmed().isEmpty())
        return QStringLiteral("Cal %1 del proveïdor").arg(label);
    if (!isSafeEndpoint(QUrl(typed.trimmed(), QUrl::StrictMode)))
        return QStringLiteral("%1 del proveïdor ha de començar per https:// (http:// només cap a aquesta màquina, "
                              "127.0.0.1 o ::1)")
            .arg(label.left(1).toUpper() + label.mid(1));
    return std::nullopt;
}

ResolvedEndpoints otherEndpoints(const OAuthClientSettings &settings)
{
    if (auto reason = unsafeEndpointReason(QStringLiteral("l'adreça d'autorització"), settings.authorizationUrl))
        return failed(*reason);
    if (auto reason = unsafeEndpointReason(QStringLiteral("l'adreça dels testimonis"), settings.tokenUrl))
        return failed(*reason);
    if (settings.scope.trimmed().isEmpty())
        return failed(QStringLiteral("Cal l'abast (scope) que demana el proveïdor per enviar correu"));
    OAuthEndpoints endpoints;
    endpoints.authorization = QUrl(settings.authorizationUrl.trimmed());
    endpoints.token = QUrl(settings.tokenUrl.trimmed());
    endpoints.scope = settings.scope.simplified();
    return {endpoints, {}};
}

} // namespace

QByteArray providerWord(OAuthProvider provider)
{
    switch (provider) {
    case OAuthProvider::Microsoft365:
        return "microsoft365";
    case OAuthProvider::Google:
        return "google";
    case OAuthProvider::Other:
        break;
    }
    return "altre";
}

std::optional<OAuthProvider> providerOfWord(const QByteArray &word)
{
    for (OAuthProvider provider : {OAuthProvider::Microsoft365, OAuthProvider::Google, OAuthProvider::Other}) {
        if (providerWord(provider) == word)
            return provider;
    }
    return std::nullopt;
}

bool isSafeEndpoint(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty() || url.hasFragment())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    return url.scheme() == QLatin1String("http") && QHostAddress(url.host()).isLoopback();
}

ResolvedEndpoints resolveEndpoints(const OAuthClientSettings &settings)
{
    if (settings.clientId.trimmed().isEmpty())
        return failed(QStringLiteral("Cal l'identificador de client que l'organització ha registrat al proveïdor"));
    ResolvedEndpoints resolved;
    switch (settings.provider) {
    case OAuthProvider::Microsoft365:
        resolved = microsoftEndpoints(settings);
        break;
    case OAuthProvider::Google:
        resolved = googleEndpoints(settings);
        break;
    case OAuthProvider::Other:
        resolved = otherEndpoints(settings);
        break;
    }
    resolved.endpoints.clientId = settings.clientId.trimmed();
    return resolved;
}

} // namespace tramelo::signin
