#include "loopback_listener.h"

#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace tramelo::signin {

namespace {

constexpr qsizetype largestRequest = 16 * 1024;
constexpr int mostConnections = 16;
constexpr int requestTimeoutMs = 10000;

const QByteArray closePage = QStringLiteral(
    "<!DOCTYPE html><html lang=\"ca\"><head><meta charset=\"utf-8\"><title>Tramelo</title></head>"
    "<body><p>Tramelo ha rebut la resposta del proveïdor.</p>"
    "<p>Ja podeu tancar aquesta finestra i tornar a Tramelo.</p></body></html>").toUtf8();

QByteArray httpAnswer(const QByteArray &status, const QByteArray &body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

LoopbackListener::LoopbackListener(QObject *parent) : QObject(parent)
{
    m_server.setMaxPendingConnections(mostConnections);
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackListener::accept);
}

bool LoopbackListener::listen()
{
    if (m_server.listen(QHostAddress::LocalHost, 0)) {
        // Kept: the token request repeats it after the listener has closed.
        m_redirectUri = QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort());
        return true;
    }
    m_error = QStringLiteral("No s'ha pogut obrir cap port en aquesta màquina per rebre la resposta del navegador: %1")
                  .arg(m_server.errorString());
    return false;
}

void LoopbackListener::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        if (m_taken || ++m_connections > mostConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(requestTimeoutMs, socket, [socket] { socket->abort(); });
    }
}

void LoopbackListener::read(QTcpSocket *socket)
{
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    if (request.size() > largestRequest) {
        socket->abort();
        return;
    }
    socket->setProperty("request", request);
    if (request.contains("\r\n\r\n"))
        answer(socket, request);
}

void LoopbackListener::answer(QTcpSocket *socket, const QByteArray &request)
{
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    // In a form-encoded query "+" stands for a space (RFC 6749 appendix B).
    const QUrl target = requestLine.size() == 3 ? QUrl::fromEncoded(QByteArray(requestLine[1]).replace('+', "%20"))
                                                : QUrl();
    if (m_taken || requestLine.value(0) != "GET" || target.path() != QLatin1String("/")) {
        socket->write(httpAnswer("404 Not Found", {}));
        socket->disconnectFromHost();
        return;
    }
    m_taken = true;
    m_server.close();
    socket->write(httpAnswer("200 OK", closePage));
    socket->disconnectFromHost();
    emit redirected(QUrlQuery(target));
}

} // namespace tramelo::signin
