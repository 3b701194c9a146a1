#pragma once

#include "test_support.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QStringList>
#include <QUrl>

namespace tramelo::test {

// oauth_server.py on 127.0.0.1 at a port the system chooses, stopped when
// the object goes. Its endpoints are url("/authorize"), url("/token") and
// url("/devicecode"); the clients it knows are "id" (public) or "id:secret".
// (A browser for it: fake_browser/xdg-open.)
class OAuthTestServer
{
public:
    explicit OAuthTestServer(QStringList clients, int deviceLifetimeSeconds = 60);

    QString errorText() const { return m_error; }
    QUrl url(const QString &path) const;
    // A GET (or a POST with a body) to one of its paths, bounded in time:
    // the answer's body, empty when it failed.
    QByteArray exchange(const QString &pathAndQuery, const QByteArray &postBody = {});
    // Changes its next answers (see oauth_server.py); false when it did not.
    bool setBehaviour(const QJsonObject &behaviour)
    {
        return exchange(QStringLiteral("/behaviour"), QJsonDocument(behaviour).toJson()) == "ok";
    }
    // Every secret the server has seen or issued so far.
    QStringList secrets();

private:
    TestProcess m_process;
    QNetworkAccessManager m_network;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace tramelo::test
