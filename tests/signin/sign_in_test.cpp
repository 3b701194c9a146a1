// Signing in end to end against oauth_server.py, with a real Secret Service
// (gnome-keyring on a private D-Bus: private_keyring.py runs this test) and
// fake_browser/xdg-open as the desktop's browser: the browser and device-code
// flows, the refresh token kept in the keyring and renewed by the caller's
// clock, every failure named, and no secret in any text or in a file in clear.
// (The library writes no log or debug output at all.)
#include "access_token_source.h"
#include "oauth_server.h"
#include "sign_in.h"
#include "system_browser.h"

#include <QDirIterator>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <future>

using namespace tramelo::signin;
using namespace tramelo::test;
using namespace std::chrono_literals;
using K = SignInErrorKind;

namespace {

const QString smtpServer = QStringLiteral("smtp.exemple.cat:587");
const QString account = QStringLiteral("anna@exemple.cat");
const QString clientSecret = QStringLiteral("GOCSPX-s3cr+t/&=x");
// A text is searched for every secret the server saw or issued.
void expectNoSecret(const QString &text, OAuthTestServer &server)
{
    for (const QString &secret : server.secrets()) // the client secrets included
        EXPECT_FALSE(text.contains(secret)) << "a secret in: " << text.toStdString();
}

// Whether the bytes are in any file of this test's home or of the keyring.
bool onDiskInClear(const QByteArray &bytes)
{
    for (const char *folder : {"HOME", "TRAMELO_TEST_KEYRING_FOLDER"}) {
        for (QDirIterator it(qEnvironmentVariable(folder), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
             it.hasNext();) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(bytes))
                return true;
        }
    }
    return false;
}

OAuthEndpoints endpointsOf(const OAuthTestServer &server, const QString &clientId, const QString &secret = {})
{
    return {server.url("/authorize"), server.url("/token"), server.url("/devicecode"),
            QStringLiteral("mail.send offline_access openid"), clientId, secret, {}};
}

// The URL the browser was given, a line break, and the page it was last shown.
QByteArray browserVisit()
{
    QFile file(qEnvironmentVariable("TRAMELO_TEST_BROWSER_PAGE"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class SignInTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        qputenv("PATH", (supportFile("fake_browser") + ':' + qEnvironmentVariable("PATH")).toUtf8());
        qputenv("TRAMELO_TEST_BROWSER_PAGE", (qEnvironmentVariable("HOME") + "/browser-page").toUtf8());
        qunsetenv("WAYLAND_DISPLAY");
    }
    void SetUp() override
    {
        // Never the person's own keyring: only the one private_keyring.py makes.
        if (qEnvironmentVariableIsSet("TRAMELO_TEST_KEYRING_MISSING")
            || qEnvironmentVariableIsEmpty("TRAMELO_TEST_KEYRING_FOLDER"))
            GTEST_SKIP() << "no private keyring (ctest runs this in private_keyring.py): "
                         << qgetenv("TRAMELO_TEST_KEYRING_MISSING").toStdString();
        qputenv("DISPLAY", ":99"); // so the desktop's browser (the fake) opens
    }
};

} // namespace

TEST_F(SignInTest, SignsInAndKeepsTheRefreshTokenOrNamesTheFailure)
{
    // server: its behaviour (see oauth_server.py); device: what the person does
    // on the device-code page, empty when the provider offers no device sign-in.
    const struct {
        const char *name;
        QString client, secret;
        QJsonObject server;
        bool display;
        QString device;
        K kind;
        QString fragment;
    } cases[] = {
        {"public desktop client", "desk", {}, {}, true, "allow", K::None, {}},
        {"client with a secret", "goog", clientSecret, {}, true, {}, K::None, {}},
        {"wrong client secret", "goog", "GOCSPX-other", {}, true, {}, K::InvalidClient, "(invalid_client)"},
        {"the person refuses", "desk", {}, {{"authorize", "deny"}}, true, {}, K::Denied, "(access_denied)"},
        {"redirect of another sign-in", "desk", {}, {{"authorize", "wrong-state"}}, true, {}, K::Mismatch, "no correspon"},
        {"the browser never comes back", "desk", {}, {{"authorize", "silent"}}, true, {}, K::Browser, "no ha tornat"},
        {"the operator cancels", "desk", {}, {{"authorize", "silent"}}, true, {}, K::Cancelled, "cancel·lat"},
        {"provider echoes the secrets", "goog", clientSecret, {{"token", "echo"}}, true, {}, K::SignInAgain, "Cal tornar"},
        {"account name with a line break", "desk", {}, {{"account", "a@b.cat\nX: y"}}, true, {}, K::Configuration, "compte"},
        // No display: the terminal's launcher opens nothing and the device code follows.
        {"no browser: signed in on another device", "desk", {}, {}, false, "allow", K::None, {}},
        {"no browser: refused on another device", "desk", {}, {}, false, "deny", K::Denied, "access_denied"},
        {"no browser: nobody before the code expires", "desk", {}, {}, false, "wait", K::TimedOut, "caducat"},
        {"no browser, no device sign-in", "goog", clientSecret, {}, false, {}, K::Browser, "navegador"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        OAuthTestServer server({"desk", "goog:" + clientSecret}, 3);
        ASSERT_TRUE(server.setBehaviour(c.server)) << server.errorText().toStdString();
        OAuthEndpoints endpoints = endpointsOf(server, c.client, c.secret);
        endpoints.deviceAuthorization = c.device.isEmpty() ? QUrl() : endpoints.deviceAuthorization;
        c.display ? qputenv("DISPLAY", ":99") : qunsetenv("DISPLAY");
        QFile::remove(qEnvironmentVariable("TRAMELO_TEST_BROWSER_PAGE"));
        SecretStore store;
        SignIn signIn({OAuthProvider::Other, endpoints, smtpServer, {}, 1500ms}, store, systemBrowserLauncher());
        QObject::connect(&signIn, &SignIn::deviceCodeReady, [&](const QUrl &where, const QString &code) {
            EXPECT_TRUE(deviceCodeText(where, code).contains(server.url("/device").toString() + " en un navegador"));
            server.exchange(QStringLiteral("/device?user_code=%1&answer=%2").arg(code, c.device));
        });
        if (c.kind == K::Cancelled)
            QTimer::singleShot(300ms, &signIn, &SignIn::cancel);
        const SignInResult result = signInToEnd(signIn);
        EXPECT_EQ(result.error.kind, c.kind) << result.error.text.toStdString();
        EXPECT_TRUE(result.error.text.contains(c.fragment)) << result.error.text.toStdString();
        expectNoSecret(result.error.text, server);
        if (c.kind != K::None)
            continue;
        EXPECT_EQ(result.key, refreshTokenKey(OAuthProvider::Other, smtpServer, account));
        EXPECT_EQ(SecretStore().fetch(result.key).secret, result.grant.refreshToken);
        EXPECT_TRUE(signedInText(result).endsWith(account + ". L'autorització es guarda al clauer del sistema."));
        if (c.display) {
            EXPECT_TRUE(waitUntil([] { return browserVisit().contains("Ja podeu tancar"); }, 5s));
            const QUrl opened(QString::fromUtf8(browserVisit().split('\n').value(0)));
            const QUrl redirect(QUrlQuery(opened).queryItemValue("redirect_uri", QUrl::FullyDecoded));
            EXPECT_EQ(redirect.host(), QStringLiteral("127.0.0.1"));
            QTcpSocket second;
            second.connectToHost(QHostAddress::LocalHost, redirect.port());
            EXPECT_FALSE(second.waitForConnected(2000)) << "the listener takes one request only";
        }
    }
}

TEST_F(SignInTest, RenewsByTheCallersClockKeepsTheRotatedTokenAndNamesEveryFailure)
{
    OAuthTestServer server({"goog:" + clientSecret});
    const OAuthEndpoints endpoints = endpointsOf(server, "goog", clientSecret);
    SecretStore store;
    SignIn signIn({OAuthProvider::Google, endpoints, smtpServer, account}, store, systemBrowserLauncher());
    const SignInResult signedIn = signInToEnd(signIn);
    ASSERT_FALSE(signedIn.error) << signedIn.error.text.toStdString();
    QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime start = now;
    AccessTokenSource source(endpoints, signedIn.key, store, [&now] { return now; });
    using Renewal = AccessTokenSource::Renewal;
    const struct {
        const char *name;
        int minutesLater;
        Renewal renewal;
        bool renewed;
    } renewals[] = {
        {"first use", 0, Renewal::WhenDue, true},
        {"6 minutes left", 54, Renewal::WhenDue, false},
        {"4 minutes left", 56, Renewal::WhenDue, true},
        {"the mail server refused it", 57, Renewal::Now, true},
    };
    QByteArray token, refreshToken = signedIn.grant.refreshToken;
    for (const auto &c : renewals) {
        SCOPED_TRACE(c.name);
        now = start.addSecs(c.minutesLater * 60);
        // As the mail client calls: from a worker thread that has no event loop.
        const GrantOutcome given = std::async(std::launch::async, [&] { return source.accessToken(c.renewal); }).get();
        ASSERT_TRUE(given.ok()) << given.error.text.toStdString();
        EXPECT_EQ(given.grant.accessToken != std::exchange(token, given.grant.accessToken), c.renewed);
        const QByteArray kept = store.fetch(signedIn.key).secret.value_or("");
        EXPECT_EQ(kept != std::exchange(refreshToken, kept), c.renewed) << "a rotated refresh token replaces the old";
    }
    EXPECT_FALSE(onDiskInClear(refreshToken));

    OAuthEndpoints nobody = endpoints;
    nobody.token.setPort(freeTcpPort());
    const struct {
        const char *name, *token;
        OAuthEndpoints endpoints;
        K kind;
        QString fragment;
    } failures[] = {
        {"wrong client secret", "normal", endpointsOf(server, "goog", "GOCSPX-other"), K::InvalidClient, "invalid_client"},
        {"an answer that is not JSON", "html", endpoints, K::BadAnswer, "format inesperat (HTTP 502)"},
        {"an answer too long", "huge", endpoints, K::BadAnswer, "format inesperat"},
        {"no answer in time", "hang", endpoints, K::TimedOut, "no ha respost en 1 s"},
        {"nothing listening", "normal", nobody, K::Network, "ha refusat la connexió"},
        {"the secrets echoed", "echo", endpoints, K::SignInAgain, "El proveïdor diu: rejected"},
        {"consent the organisation withdrew", "consent", endpoints, K::SignInAgain, "administrador"},
    };
    for (const auto &c : failures) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(server.setBehaviour({{"token", c.token}}));
        const GrantOutcome refused = std::async(std::launch::async, [&] {
            return refreshAccessToken(c.endpoints, refreshToken, systemClock(), 1500ms);
        }).get();
        EXPECT_EQ(refused.error.kind, c.kind) << refused.error.text.toStdString();
        EXPECT_TRUE(refused.error.text.contains(c.fragment)) << refused.error.text.toStdString();
        expectNoSecret(refused.error.text, server);
    }
    // A token rotated away, then the kept one revoked: sign in again, says the source.
    EXPECT_EQ(refreshAccessToken(endpoints, signedIn.grant.refreshToken).error.kind, K::SignInAgain);
    ASSERT_EQ(server.exchange("/revoke", "token=" + refreshToken), "ok");
    EXPECT_TRUE(source.accessToken(Renewal::Now).error.text.startsWith("Cal tornar a iniciar la sessió"));
}

TEST_F(SignInTest, KeepsEachSecretUnderItsOwnNameAndWithoutAKeyringForTheSessionOnly)
{
    const QString server = QStringLiteral("smtp.altre.cat:587"); // not the other tests' keys
    const SecretKey password = passwordKey(server, account);
    const QByteArray secret = "contrasenya ç+/=\x01 de prova";
    SecretStore store;
    ASSERT_EQ(store.keep(password, "una de vella").place, SecretPlace::Keyring);
    ASSERT_EQ(store.keep(password, secret).place, SecretPlace::Keyring);
    for (const SecretKey &other : {passwordKey(server, "pere@exemple.cat"), passwordKey("smtp.altre.cat:465", account),
                                   refreshTokenKey(OAuthProvider::Google, server, account)})
        EXPECT_EQ(std::async(std::launch::async, [&] { return SecretStore().fetch(other); }).get().secret, std::nullopt)
            << other.text.toStdString();
    EXPECT_EQ(store.fetch(password).secret, secret);
    EXPECT_FALSE(store.forget(password));
    EXPECT_EQ(SecretStore().fetch(password).secret, std::nullopt);

    const QString emptyFolder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QByteArray keyringBus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const struct {
        const char *name;
        QString busAddress, runtimeFolder, reason;
    } cases[] = {
        {"no D-Bus session", {}, emptyFolder, "no té bus"},
        {"a bus without a keyring", qEnvironmentVariable("TRAMELO_TEST_BUS_WITHOUT_KEYRING"), {}, "cap servei de clauer"},
        {"systemd's bus in the runtime folder, without a keyring", {},
         qEnvironmentVariable("TRAMELO_TEST_RUNTIME_WITHOUT_KEYRING"), "cap servei de clauer"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        qputenv("DBUS_SESSION_BUS_ADDRESS", c.busAddress.toUtf8());
        qputenv("XDG_RUNTIME_DIR", c.runtimeFolder.toUtf8());
        SecretStore sessionOnly;
        const KeepOutcome kept = sessionOnly.keep(password, secret);
        EXPECT_EQ(kept.place, SecretPlace::SessionOnly);
        EXPECT_TRUE(kept.reason.contains(c.reason)) << kept.reason.toStdString();
        EXPECT_EQ(sessionOnly.fetch(password).secret, secret);
        EXPECT_EQ(SecretStore().fetch(password).error.kind, K::Keyring);
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", keyringBus);
    qputenv("XDG_RUNTIME_DIR", emptyFolder.toUtf8());
    EXPECT_FALSE(onDiskInClear(secret));
}
