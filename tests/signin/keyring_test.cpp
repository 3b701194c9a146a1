// Secrets in a real Secret Service (gnome-keyring on a private D-Bus), the
// session-only path without one, and access tokens renewed from the refresh
// token kept there, rotation and every failure of the token endpoint named.
#include "access_token_source.h"
#include "secret_service.h"
#include "secret_store.h"
#include "sign_in_checks.h"

#include <QDirIterator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

using namespace tramelo::signin;
using namespace tramelo::test;
using namespace std::chrono_literals;

namespace {

const QString server = QStringLiteral("smtp.exemple.cat:587");

// The keyring of this whole process: QtKeychain and libsecret keep their
// first bus, so every test shares it and swaps only the address it announces.
class KeyringTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // A home of its own, small enough to search for secrets in clear.
        home = new QTemporaryDir;
        for (const char *variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            qputenv(variable, home->path().toUtf8());
        service = new PrivateSecretService(home->path());
        if (service->start(PrivateSecretService::Keyring::Unlocked))
            qputenv("DBUS_SESSION_BUS_ADDRESS", service->busAddress().toUtf8());
    }
    // The service stays until the process ends (see PrivateSecretService);
    // its folder goes with the home.
    static void TearDownTestSuite() { delete home; }
    void SetUp() override
    {
        if (service->missingProgram())
            GTEST_SKIP() << service->errorText().toStdString();
        ASSERT_TRUE(service->errorText().isEmpty()) << service->errorText().toStdString();
        collectMessages();
    }

    static inline QTemporaryDir *home = nullptr;
    static inline PrivateSecretService *service = nullptr;
};

// Whether any file under the folder holds the bytes.
bool anyFileHolds(const QString &folder, const QByteArray &bytes)
{
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(bytes))
            return true;
    }
    return false;
}

template <typename Work>
auto onWorkerThread(Work work)
{
    decltype(work()) result;
    std::thread worker([&] { result = work(); });
    worker.join();
    return result;
}

} // namespace

TEST_F(KeyringTest, KeepsFetchesAndForgetsEachSecretUnderItsOwnName)
{
    SecretStore store;
    const SecretKey password = passwordKey(server, QStringLiteral("anna@exemple.cat"));
    const QByteArray secret = "contrasenya ç+/=\x01 de prova";
    struct Case {
        const char *name;
        SecretKey key;
        bool expectFound;
    };
    ASSERT_EQ(store.keep(password, "una de vella").place, SecretPlace::Keyring);
    const KeepOutcome kept = store.keep(password, secret);
    EXPECT_EQ(kept.place, SecretPlace::Keyring) << kept.reason.toStdString();
    const Case cases[] = {
        {"the same name, a new store", password, true},
        {"another user", passwordKey(server, QStringLiteral("pere@exemple.cat")), false},
        {"another server", passwordKey(QStringLiteral("smtp.exemple.cat:465"), QStringLiteral("anna@exemple.cat")), false},
        {"a token of the same account", refreshTokenKey(OAuthProvider::Google, server, QStringLiteral("anna@exemple.cat")), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SecretStore another;
        const FetchOutcome fetched = onWorkerThread([&] { return another.fetch(c.key); });
        EXPECT_FALSE(fetched.error) << fetched.error.text.toStdString();
        EXPECT_EQ(fetched.secret, c.expectFound ? std::optional(secret) : std::nullopt);
    }
    EXPECT_FALSE(anyFileHolds(service->folder(), secret)) << "the keyring's files hold the secret in clear";
    EXPECT_FALSE(store.forget(password));
    EXPECT_EQ(store.fetch(password).secret, std::nullopt);
    expectNoSecret(takeMessages().join(u'\n'), {QString::fromUtf8(secret)});
}

TEST_F(KeyringTest, WithoutAKeyringTheSecretStaysInThisSessionOnly)
{
    PrivateSecretService busWithoutKeyring;
    ASSERT_TRUE(busWithoutKeyring.start(PrivateSecretService::Keyring::None)) << busWithoutKeyring.errorText().toStdString();
    QTemporaryDir emptyFolder;
    struct Case {
        const char *name;
        QByteArray busAddress, runtimeFolder;
        QString reason;
    };
    const Case cases[] = {
        {"no D-Bus session", {}, emptyFolder.path().toUtf8(), "no té bus"},
        {"a bus that is not there", "unix:path=/nonexistent/tramelo-bus", {}, "no s'ha pogut connectar"},
        {"a bus without a keyring service", busWithoutKeyring.busAddress().toUtf8(), {}, "cap servei de clauer"},
        // The bus that systemd gives each user, found in the runtime folder.
        {"the runtime folder's bus, without a keyring", {}, busWithoutKeyring.folder().toUtf8(), "cap servei de clauer"},
    };
    const QByteArray realBus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const SecretKey key = refreshTokenKey(OAuthProvider::Microsoft365, server, QStringLiteral("anna@exemple.cat"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        qputenv("DBUS_SESSION_BUS_ADDRESS", c.busAddress);
        qputenv("XDG_RUNTIME_DIR", c.runtimeFolder);
        SecretStore store;
        const QByteArray secret = "rt-" + QByteArray(c.name).toBase64();
        const KeepOutcome kept = store.keep(key, secret);
        EXPECT_EQ(kept.place, SecretPlace::SessionOnly);
        EXPECT_TRUE(kept.reason.contains(c.reason)) << kept.reason.toStdString();
        EXPECT_EQ(store.fetch(key).secret, secret);
        const FetchOutcome elsewhere = SecretStore().fetch(key);
        EXPECT_EQ(elsewhere.secret, std::nullopt);
        EXPECT_EQ(elsewhere.error.kind, SignInErrorKind::Keyring);
        EXPECT_FALSE(anyFileHolds(qEnvironmentVariable("HOME"), secret));
        EXPECT_FALSE(anyFileHolds(busWithoutKeyring.folder(), secret));
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", realBus);
    qputenv("XDG_RUNTIME_DIR", runtime);
}

TEST_F(KeyringTest, RenewsTheAccessTokenByTheCallersClockAndKeepsTheRotatedRefreshToken)
{
    OAuthTestServer oauth({{QStringLiteral("desk")}});
    ASSERT_TRUE(oauth.start()) << oauth.errorText().toStdString();
    const OAuthEndpoints endpoints = testEndpoints(oauth, QStringLiteral("desk"));
    SecretStore store;
    const SecretKey key = refreshTokenKey(OAuthProvider::Other, server, QStringLiteral("anna@exemple.cat"));
    QDateTime now = QDateTime::currentDateTimeUtc();
    AccessTokenSource source(endpoints, key, store, [&now] { return now; });
    EXPECT_EQ(source.accessToken().error.kind, SignInErrorKind::NotSignedIn);
    const GrantOutcome signedIn = signInWithTestBrowser(endpoints);
    ASSERT_TRUE(signedIn.ok()) << signedIn.error.text.toStdString();
    ASSERT_EQ(store.keep(key, signedIn.grant.refreshToken).place, SecretPlace::Keyring);

    struct Case {
        const char *name;
        int minutesLater;
        AccessTokenSource::Renewal renewal;
        bool renewed;
    };
    const Case cases[] = {
        {"first use", 0, AccessTokenSource::Renewal::WhenDue, true},
        {"a minute later", 1, AccessTokenSource::Renewal::WhenDue, false},
        {"6 minutes left", 54, AccessTokenSource::Renewal::WhenDue, false},
        {"4 minutes left", 56, AccessTokenSource::Renewal::WhenDue, true},
        {"the mail server refused it", 57, AccessTokenSource::Renewal::Now, true},
    };
    const QDateTime start = now;
    QByteArray token;
    QByteArray refreshToken = signedIn.grant.refreshToken;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        now = start.addSecs(c.minutesLater * 60);
        const GrantOutcome given = onWorkerThread([&] { return source.accessToken(c.renewal); });
        ASSERT_TRUE(given.ok()) << given.error.text.toStdString();
        EXPECT_EQ(given.grant.accessToken != token, c.renewed);
        EXPECT_TRUE(oauth.isActive(given.grant.accessToken));
        token = given.grant.accessToken;
        const QByteArray kept = store.fetch(key).secret.value_or("");
        EXPECT_EQ(kept != refreshToken, c.renewed) << "the rotated refresh token replaces the old one";
        refreshToken = kept;
    }
    EXPECT_TRUE(oauth.revoke(refreshToken));
    const GrantOutcome revoked = source.accessToken(AccessTokenSource::Renewal::Now);
    EXPECT_EQ(revoked.error.kind, SignInErrorKind::SignInAgain);
    EXPECT_TRUE(revoked.error.text.startsWith(QStringLiteral("Cal tornar a iniciar la sessió")));
    expectNoSecret(revoked.error.text + takeMessages().join(u'\n'), oauth.secrets());
}

TEST_F(KeyringTest, EveryFailureOfTheTokenEndpointIsNamedWithoutItsSecrets)
{
    OAuthTestServer oauth({{QStringLiteral("goog:GOCSPX-s3cr3t")}});
    ASSERT_TRUE(oauth.start()) << oauth.errorText().toStdString();
    const GrantOutcome signedIn = signInWithTestBrowser(testEndpoints(oauth, "goog", "GOCSPX-s3cr3t"));
    ASSERT_TRUE(signedIn.ok()) << signedIn.error.text.toStdString();
    OAuthEndpoints nobody = testEndpoints(oauth, "goog", "GOCSPX-s3cr3t");
    nobody.token.setPort(freeTcpPort());
    struct Case {
        const char *name;
        const char *token;
        OAuthEndpoints endpoints;
        SignInErrorKind kind;
        QString fragment;
    };
    const Case cases[] = {
        {"wrong client secret", "normal", testEndpoints(oauth, "goog", "GOCSPX-other"), SignInErrorKind::InvalidClient,
         "invalid_client"},
        {"an answer that is not JSON", "html", testEndpoints(oauth, "goog", "GOCSPX-s3cr3t"), SignInErrorKind::BadAnswer,
         "HTTP 502"},
        {"an answer too long", "huge", testEndpoints(oauth, "goog", "GOCSPX-s3cr3t"), SignInErrorKind::BadAnswer, "format"},
        {"no answer in time", "hang", testEndpoints(oauth, "goog", "GOCSPX-s3cr3t"), SignInErrorKind::TimedOut, "no ha respost"},
        {"nothing listening", "normal", nobody, SignInErrorKind::Network, "refusat la connexió"},
        {"the secrets echoed", "echo", testEndpoints(oauth, "goog", "GOCSPX-s3cr3t"), SignInErrorKind::SignInAgain,
         "El proveïdor diu: rejected"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(oauth.setBehaviour({{"token", c.token}}));
        const GrantOutcome refused = onWorkerThread(
            [&] { return refreshAccessToken(c.endpoints, signedIn.grant.refreshToken, systemClock(), 1500ms); });
        EXPECT_EQ(refused.error.kind, c.kind) << refused.error.text.toStdString();
        EXPECT_TRUE(refused.error.text.contains(c.fragment)) << refused.error.text.toStdString();
        expectNoSecret(refused.error.text + takeMessages().join(u'\n'), oauth.secrets());
    }
}
