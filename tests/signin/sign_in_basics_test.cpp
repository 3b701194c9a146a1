// The provider presets: a table of what the operator may type. (PKCE, the ID
// token and the rest of the flows are checked end to end in sign_in_test.)
#include "oauth_provider.h"

#include <gtest/gtest.h>

using namespace tramelo::signin;

TEST(SignInBasics, ProviderSettingsGiveTheDocumentedEndpointsOrTheReason)
{
    const auto microsoft = [](const QString &tenant) {
        const QString authority = QStringLiteral("https://login.microsoftonline.com/%1/oauth2/v2.0/").arg(tenant);
        return QStringList{authority + "authorize", authority + "token", authority + "devicecode"};
    };
    const QString tenantId = QStringLiteral("8eaef023-2b34-4da1-9baa-8bc8c9d6a490");
    const QStringList google{"https://accounts.google.com/o/oauth2/v2/auth", "https://oauth2.googleapis.com/token", ""};
    using P = OAuthProvider;
    const struct {
        const char *name;
        OAuthClientSettings settings;
        QStringList urls; // authorisation, token, device
        QString scope, error;
    } cases[] = {
        {"Microsoft", {P::Microsoft365, " app "}, microsoft("organizations"),
         "https://outlook.office.com/SMTP.Send offline_access openid profile", {}},
        {"Microsoft, a tenant id", {P::Microsoft365, "app", {}, tenantId}, microsoft(tenantId), {}, {}},
        {"Microsoft, a tenant domain", {P::Microsoft365, "app", {}, " contoso.cat "}, microsoft("contoso.cat"), {}, {}},
        {"Microsoft, a path for a tenant", {P::Microsoft365, "app", {}, "common/../x"}, {}, {}, "L'inquilí ha de ser"},
        {"Google", {P::Google, "app", " GOCSPX-x "}, google, "https://mail.google.com/ openid email", {}},
        {"Google without its client secret", {P::Google, "app"}, {}, {}, "Cal el secret de client"},
        {"no client id", {P::Microsoft365, "  "}, {}, {}, "Cal l'identificador de client"},
        {"other, HTTP to loopback", {P::Other, "app", {}, {}, "http://127.0.0.1:80/a", "http://[::1]:80/t", " a  b "},
         {"http://127.0.0.1:80/a", "http://[::1]:80/t", ""}, "a b", {}},
        {"other, plain HTTP", {P::Other, "app", {}, {}, "http://a.cat/", "https://t.cat/", "a"}, {}, {}, "L'adreça d'a"},
        {"other, a password in a URL", {P::Other, "app", {}, {}, "https://a.cat/", "https://u:p@t.cat/", "a"}, {}, {},
         "L'adreça dels testimonis del proveïdor ha de començar per https://"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const ResolvedEndpoints resolved = resolveEndpoints(c.settings);
        const OAuthEndpoints &found = resolved.endpoints;
        EXPECT_TRUE(resolved.error.startsWith(c.error)) << resolved.error.toStdString();
        if (!c.error.isEmpty())
            continue;
        const QStringList urls{found.authorization.toString(), found.token.toString(), found.deviceAuthorization.toString()};
        EXPECT_EQ(urls, c.urls);
        EXPECT_TRUE(found.scope.startsWith(c.scope));
        EXPECT_EQ(found.clientId + found.clientSecret, c.settings.provider == P::Google ? "appGOCSPX-x" : "app");
    }
    for (P provider : {P::Microsoft365, P::Google, P::Other})
        EXPECT_EQ(providerOfWord(providerWord(provider)), provider);
    EXPECT_FALSE(providerOfWord("Google"));
}
