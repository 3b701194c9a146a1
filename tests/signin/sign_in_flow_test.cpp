// Signing in end to end against oauth_server.py: the browser flow with its
// loopback listener and the device-code flow, each failure named, and no
// secret in any text or message.
#include "authorization_code_flow.h"
#include "device_code_flow.h"
#include "sign_in_checks.h"

#include <QTcpSocket>

#include <gtest/gtest.h>

using namespace tramelo::signin;
using namespace tramelo::test;
using namespace std::chrono_literals;

namespace {

const QString secretClient = QStringLiteral("goog:GOCSPX-s3cr+t/&=x");

void expectOutcome(const std::optional<GrantOutcome> &outcome, SignInErrorKind kind, const QString &fragment,
                   OAuthTestServer &server)
{
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->error.kind, kind) << outcome->error.text.toStdString();
    EXPECT_TRUE(outcome->error.text.contains(fragment)) << outcome->error.text.toStdString();
    if (outcome->ok()) {
        EXPECT_TRUE(server.isActive(outcome->grant.accessToken));
        EXPECT_FALSE(outcome->grant.refreshToken.isEmpty());
        EXPECT_EQ(outcome->grant.account, QStringLiteral("anna@exemple.cat"));
    }
    const QStringList secrets = server.secrets() << secretClient.section(u':', 1);
    expectNoSecret(outcome->error.text, secrets);
    expectNoSecret(takeMessages().join(u'\n'), secrets);
}

} // namespace

TEST(SignInFlow, BrowserSignInGrantsOrNamesTheFailure)
{
    collectMessages();
    struct Case {
        const char *name;
        QString client, secretSent;
        const char *authorize, *token;
        bool browserOpens;
        SignInErrorKind kind;
        QString fragment;
    };
    const QString secret = secretClient.section(u':', 1);
    const Case cases[] = {
        {"public desktop client", "desk", {}, "grant", "normal", true, SignInErrorKind::None, {}},
        {"client with a secret", "goog", secret, "grant", "normal", true, SignInErrorKind::None, {}},
        {"wrong client secret", "goog", "GOCSPX-other", "grant", "normal", true, SignInErrorKind::InvalidClient, "invalid_client"},
        {"the person refuses", "desk", {}, "deny", "normal", true, SignInErrorKind::Denied, "access_denied"},
        {"redirect of another sign-in", "desk", {}, "wrong-state", "normal", true, SignInErrorKind::Mismatch, "no correspon"},
        {"browser never comes back", "desk", {}, "silent", "normal", true, SignInErrorKind::Browser, "no ha tornat"},
        {"no browser", "desk", {}, "grant", "normal", false, SignInErrorKind::Browser, "navegador"},
        {"token endpoint answers HTML", "desk", {}, "grant", "html", true, SignInErrorKind::BadAnswer, "HTTP 502"},
        {"provider echoes the secrets", "goog", secret, "grant", "echo", true, SignInErrorKind::SignInAgain,
         "Cal tornar a iniciar la sessió"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OAuthTestServer server({{QStringLiteral("desk"), secretClient}});
        ASSERT_TRUE(server.start()) << server.errorText().toStdString();
        ASSERT_TRUE(server.setBehaviour({{"authorize", c.authorize}, {"token", c.token}}));
        TestBrowser browser;
        AuthorizationCodeFlow flow(testEndpoints(server, c.client, c.secretSent),
                                   [&](const QUrl &url) { return c.browserOpens && browser.open(url); });
        flow.setTimeout(1500ms);
        std::optional<GrantOutcome> outcome;
        QObject::connect(&flow, &AuthorizationCodeFlow::finished, [&outcome](const GrantOutcome &given) { outcome = given; });
        flow.start();
        ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, 20s));
        expectOutcome(outcome, c.kind, c.fragment, server);

        const QUrl redirect(QUrlQuery(flow.authorizationUrl()).queryItemValue(QStringLiteral("redirect_uri")));
        EXPECT_EQ(redirect.host(), QStringLiteral("127.0.0.1"));
        if (c.kind == SignInErrorKind::None) {
            EXPECT_TRUE(waitUntil([&] { return browser.lastPage().contains("Ja podeu tancar"); }, 5s));
            QTcpSocket second;
            second.connectToHost(QHostAddress::LocalHost, redirect.port());
            EXPECT_FALSE(second.waitForConnected(2000)) << "the listener takes one request only";
        }
    }
}

TEST(SignInFlow, DeviceCodeSignInGrantsOrNamesTheFailure)
{
    collectMessages();
    struct Case {
        const char *name;
        std::optional<bool> personAllows;
        bool offered;
        SignInErrorKind kind;
        QString fragment;
    };
    const Case cases[] = {
        {"the person signs in", true, true, SignInErrorKind::None, {}},
        {"the person refuses", false, true, SignInErrorKind::Denied, "access_denied"},
        {"nobody comes before the code expires", std::nullopt, true, SignInErrorKind::TimedOut, "caducat"},
        {"provider without device sign-in", true, false, SignInErrorKind::Configuration, "no ofereix"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OAuthTestServer server({{QStringLiteral("desk")}, QStringLiteral("anna@exemple.cat"), 3});
        ASSERT_TRUE(server.start()) << server.errorText().toStdString();
        OAuthEndpoints endpoints = testEndpoints(server, QStringLiteral("desk"));
        if (!c.offered)
            endpoints.deviceAuthorization.clear();
        DeviceCodeFlow flow(endpoints);
        std::optional<GrantOutcome> outcome;
        QObject::connect(&flow, &DeviceCodeFlow::finished, [&outcome](const GrantOutcome &given) { outcome = given; });
        QObject::connect(&flow, &DeviceCodeFlow::userCodeReady, [&](const QUrl &where, const QString &code) {
            EXPECT_EQ(where, server.url(QStringLiteral("/device")));
            if (c.personAllows)
                QTimer::singleShot(1500, [&server, code, allow = *c.personAllows] { server.answerDevice(code, allow); });
        });
        flow.start();
        ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, 20s));
        expectOutcome(outcome, c.kind, c.fragment, server);
    }
}
