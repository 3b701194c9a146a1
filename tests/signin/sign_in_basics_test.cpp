// The provider presets, PKCE and the account an ID token names: tables of
// what the operator may type and what providers may send.
#include "id_token.h"
#include "oauth_provider.h"
#include "pkce.h"

#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace tramelo::signin;

TEST(SignInBasics, ProviderSettingsGiveTheDocumentedEndpointsOrTheReason)
{
    const auto microsoft = [](const QString &tenant, const char *endpoint) {
        return QStringLiteral("https://login.microsoftonline.com/%1/oauth2/v2.0/%2").arg(tenant, endpoint);
    };
    const auto ms = [&microsoft](const QString &tenant) {
        return QStringList{microsoft(tenant, "authorize"), microsoft(tenant, "token"), microsoft(tenant, "devicecode")};
    };
    const QString tenantId = QStringLiteral("8eaef023-2b34-4da1-9baa-8bc8c9d6a490");
    struct Case {
        const char *name;
        OAuthClientSettings settings;
        QStringList urls; // authorisation, token, device
        QString scopeHolds, error;
    };
    const Case cases[] = {
        {"Microsoft, default tenant", {OAuthProvider::Microsoft365, "app"}, ms("organizations"),
         "https://outlook.office.com/SMTP.Send offline_access", {}},
        {"Microsoft, consumers", {OAuthProvider::Microsoft365, "app", {}, " consumers "}, ms("consumers"), "openid", {}},
        {"Microsoft, tenant id", {OAuthProvider::Microsoft365, "app", {}, tenantId}, ms(tenantId), {}, {}},
        {"Microsoft, tenant domain", {OAuthProvider::Microsoft365, "app", {}, "contoso.onmicrosoft.com"},
         ms("contoso.onmicrosoft.com"), {}, {}},
        {"Microsoft, a path for a tenant", {OAuthProvider::Microsoft365, "app", {}, "common/../x"}, {}, {}, "inquilí"},
        {"Google", {OAuthProvider::Google, "g.apps.googleusercontent.com", "GOCSPX-x"},
         {"https://accounts.google.com/o/oauth2/v2/auth", "https://oauth2.googleapis.com/token", ""},
         "https://mail.google.com/", {}},
        {"Google without its client secret", {OAuthProvider::Google, "g"}, {}, {}, "secret de client"},
        {"no client id", {OAuthProvider::Microsoft365, "  "}, {}, {}, "identificador de client"},
        {"other, loopback HTTP", {OAuthProvider::Other, "c", {}, {}, "http://127.0.0.1:8080/a", "http://[::1]:8080/t", "mail"},
         {"http://127.0.0.1:8080/a", "http://[::1]:8080/t", ""}, "mail", {}},
        {"other, plain HTTP elsewhere",
         {OAuthProvider::Other, "c", {}, {}, "http://auth.example.net/a", "https://t.example.net/t", "mail"}, {}, {}, "https://"},
        {"other, a password in the URL",
         {OAuthProvider::Other, "c", {}, {}, "https://a.example.net/", "https://u:p@t.example.net/", "mail"}, {}, {}, "https://"},
        {"other without scope", {OAuthProvider::Other, "c", {}, {}, "https://a.example.net/", "https://t.example.net/"}, {}, {},
         "abast"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ResolvedEndpoints resolved = resolveEndpoints(c.settings);
        const OAuthEndpoints &found = resolved.endpoints;
        EXPECT_TRUE(c.error.isEmpty() ? resolved.error.isEmpty() : resolved.error.contains(c.error))
            << resolved.error.toStdString();
        if (c.error.isEmpty()) {
            EXPECT_EQ((QStringList{found.authorization.toString(), found.token.toString(), found.deviceAuthorization.toString()}),
                      c.urls);
            EXPECT_TRUE(found.scope.contains(c.scopeHolds));
            EXPECT_EQ(found.clientId, c.settings.clientId.trimmed());
        }
    }
    for (OAuthProvider provider : {OAuthProvider::Microsoft365, OAuthProvider::Google, OAuthProvider::Other})
        EXPECT_EQ(providerOfWord(providerWord(provider)), provider);
    EXPECT_FALSE(providerOfWord("Google"));
}

TEST(SignInBasics, PkceIsS256OfARandomVerifier)
{
    // RFC 7636 appendix B.
    EXPECT_EQ(s256Challenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"), "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    const Pkce first = makePkce();
    EXPECT_EQ(first.verifier.size(), 43);
    EXPECT_EQ(first.challenge, s256Challenge(first.verifier));
    EXPECT_NE(makePkce().verifier, first.verifier);
}

TEST(SignInBasics, TheIdTokenNamesTheAccount)
{
    const auto token = [](const QByteArray &claims) {
        const auto url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
        return QByteArray("{\"alg\":\"none\"}").toBase64(url) + '.' + claims.toBase64(url) + '.';
    };
    struct Case {
        const char *name;
        QByteArray idToken;
        QString account;
    };
    const Case cases[] = {
        {"Microsoft's sign-in name first", token(R"({"preferred_username":"anna@org.cat","email":"a@b.cat"})"), "anna@org.cat"},
        {"Google's address", token(R"({"email":"pere@gmail.com","sub":"1"})"), "pere@gmail.com"},
        {"neither", token(R"({"sub":"1"})"), {}},
        {"a name with a line break", token("{\"email\":\"a@b.cat\\nX: y\"}"), {}},
        {"not a JWT", "abc.def", {}},
        {"not base64", "a.!!!.c", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(accountOfIdToken(c.idToken), c.account) << c.name;
}
