#include "oauth_server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QRegularExpression>

namespace tramelo::test {

using namespace std::chrono_literals;

bool OAuthTestServer::start()
{
    QStringList arguments{QStringLiteral("-I"), supportFile(QStringLiteral("oauth_server.py")),
                          QStringLiteral("--account"), m_options.account, QStringLiteral("--device-lifetime"),
                          QString::number(m_options.deviceLifetimeSeconds)};
    for (const QString &client : m_options.clients)
        arguments << QStringLiteral("--client") << client;
    if (!m_process.start(debianPython(), arguments)) {
        m_error = QStringLiteral("cannot start %1 (Debian's python3)").arg(debianPython());
        return false;
    }
    static const QRegularExpression ready(QStringLiteral("READY (\\d+)\\n"));
    const QRegularExpressionMatch match = m_process.waitForOutputMatch(ready, 20s);
    if (!match.hasMatch()) {
        m_error = QStringLiteral("oauth_server.py did not start: ") + QString::fromUtf8(m_process.readOutput());
        return false;
    }
    m_port = match.captured(1).toUShort();
    return true;
}

QUrl OAuthTestServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}

QByteArray OAuthTestServer::exchange(const QString &path, const QByteArray &postBody)
{
    QNetworkRequest request(url(path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    QNetworkReply *reply = postBody.isNull() ? m_network.get(request) : m_network.post(request, postBody);
    const bool finished = waitUntil([reply] { return reply->isFinished(); }, 10s);
    const QByteArray body = finished && reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    reply->deleteLater();
    return body;
}

bool OAuthTestServer::setBehaviour(const QJsonObject &behaviour)
{
    return exchange(QStringLiteral("/behaviour"), QJsonDocument(behaviour).toJson()) == "ok";
}

bool OAuthTestServer::revoke(const QByteArray &refreshToken)
{
    return exchange(QStringLiteral("/revoke"), "token=" + refreshToken.toPercentEncoding()) == "ok";
}

bool OAuthTestServer::answerDevice(const QString &userCode, bool allow)
{
    return exchange(QStringLiteral("/device?user_code=%1&answer=%2").arg(userCode, allow ? "allow" : "deny")) == "ok";
}

bool OAuthTestServer::isActive(const QByteArray &accessToken)
{
    const QByteArray answer = exchange(QStringLiteral("/introspect?token=") + QString::fromLatin1(accessToken));
    return QJsonDocument::fromJson(answer).object().value(QLatin1String("active")).toBool();
}

QStringList OAuthTestServer::secrets()
{
    QStringList found;
    for (const QJsonValue &secret : QJsonDocument::fromJson(exchange(QStringLiteral("/secrets"))).array())
        found << secret.toString();
    return found;
}

bool TestBrowser::open(const QUrl &url)
{
    QNetworkReply *reply = m_network->get(QNetworkRequest(url));
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, page = m_page] {
        *page = reply->readAll();
        reply->deleteLater();
    });
    return true;
}

} // namespace tramelo::test
