#include "oauth_server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QRegularExpression>

namespace tramelo::test {

using namespace std::chrono_literals;

OAuthTestServer::OAuthTestServer(QStringList clients, int deviceLifetimeSeconds)
{
    m_process.start(debianPython(), QStringList{QStringLiteral("-I"), supportFile(QStringLiteral("oauth_server.py")),
                                                QString::number(deviceLifetimeSeconds)}
                                        + clients);
    static const QRegularExpression ready(QStringLiteral("READY (\\d+)\\n"));
    const QRegularExpressionMatch match = m_process.waitForOutputMatch(ready, 20s);
    m_port = match.captured(1).toUShort();
    if (!match.hasMatch())
        m_error = QStringLiteral("oauth_server.py did not start: ") + m_process.readOutput();
}

QUrl OAuthTestServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}

QByteArray OAuthTestServer::exchange(const QString &pathAndQuery, const QByteArray &postBody)
{
    QNetworkRequest request(url(pathAndQuery));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    QNetworkReply *reply = postBody.isNull() ? m_network.get(request) : m_network.post(request, postBody);
    const bool finished = waitUntil([reply] { return reply->isFinished(); }, 10s);
    const QByteArray body = finished && reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    reply->deleteLater();
    return body;
}

QStringList OAuthTestServer::secrets()
{
    QStringList found;
    for (const QJsonValue &secret : QJsonDocument::fromJson(exchange(QStringLiteral("/secrets"))).array())
        found << secret.toString();
    return found;
}

} // namespace tramelo::test
