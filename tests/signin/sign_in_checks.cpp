#include "sign_in_checks.h"

#include "authorization_code_flow.h"

#include <QMutex>

#include <gtest/gtest.h>

namespace {

QMutex messagesMutex;
QStringList messages;

void keepMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    QMutexLocker lock(&messagesMutex);
    messages << message;
}

} // namespace

void collectMessages()
{
    qInstallMessageHandler(keepMessage);
}

QStringList takeMessages()
{
    QMutexLocker lock(&messagesMutex);
    return std::exchange(messages, {});
}

void expectNoSecret(const QString &text, const QStringList &secrets)
{
    EXPECT_FALSE(secrets.isEmpty());
    for (const QString &secret : secrets)
        EXPECT_FALSE(text.contains(secret)) << "a secret in: " << text.toStdString();
}

tramelo::signin::OAuthEndpoints testEndpoints(const tramelo::test::OAuthTestServer &server, const QString &clientId,
                                              const QString &clientSecret)
{
    tramelo::signin::OAuthEndpoints endpoints;
    endpoints.authorization = server.url(QStringLiteral("/authorize"));
    endpoints.token = server.url(QStringLiteral("/token"));
    endpoints.deviceAuthorization = server.url(QStringLiteral("/devicecode"));
    endpoints.scope = QStringLiteral("mail.send offline_access openid");
    endpoints.clientId = clientId;
    endpoints.clientSecret = clientSecret;
    return endpoints;
}

tramelo::signin::GrantOutcome signInWithTestBrowser(const tramelo::signin::OAuthEndpoints &endpoints)
{
    using namespace tramelo::signin;
    tramelo::test::TestBrowser browser;
    AuthorizationCodeFlow flow(endpoints, [&browser](const QUrl &url) { return browser.open(url); });
    std::optional<GrantOutcome> outcome;
    QObject::connect(&flow, &AuthorizationCodeFlow::finished, [&outcome](const GrantOutcome &given) { outcome = given; });
    flow.start();
    tramelo::test::waitUntil([&outcome] { return outcome.has_value(); }, std::chrono::seconds(20));
    return outcome.value_or(GrantOutcome{{}, {SignInErrorKind::TimedOut, QStringLiteral("no sign-in in 20 s")}});
}
