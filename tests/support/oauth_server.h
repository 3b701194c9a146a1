#pragma once

#include "test_support.h"

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace tramelo::test {

// oauth_server.py on 127.0.0.1 at a port the system chooses, stopped when
// the object goes. Its endpoints are url("/authorize"), url("/token") and
// url("/devicecode"); the clients it knows are "id" (public) or "id:secret".
class OAuthTestServer
{
public:
    struct Options
    {
        QStringList clients{};
        QString account = QStringLiteral("anna@exemple.cat");
        int deviceLifetimeSeconds = 60;
    };

    explicit OAuthTestServer(Options options) : m_options(std::move(options)) {}

    bool start();
    QString errorText() const { return m_error; }
    QUrl url(const QString &path) const;

    // See oauth_server.py: "authorize", "token", "access_lifetime".
    bool setBehaviour(const QJsonObject &behaviour);
    bool revoke(const QByteArray &refreshToken);
    bool answerDevice(const QString &userCode, bool allow);
    bool isActive(const QByteArray &accessToken);
    // Every secret the server has seen or issued so far.
    QStringList secrets();

private:
    QByteArray exchange(const QString &path, const QByteArray &postBody = {});

    Options m_options;
    TestProcess m_process;
    QNetworkAccessManager m_network;
    quint16 m_port = 0;
    QString m_error;
};

// The browser of sign-in tests: opens a URL the way a person's browser would,
// following the redirect to the program's loopback listener, and keeps the
// last page it was shown. Its open() fits as a BrowserLauncher.
class TestBrowser
{
public:
    bool open(const QUrl &url);
    QByteArray lastPage() const { return *m_page; }

private:
    std::shared_ptr<QByteArray> m_page = std::make_shared<QByteArray>();
    std::shared_ptr<QNetworkAccessManager> m_network = std::make_shared<QNetworkAccessManager>();
};

} // namespace tramelo::test
