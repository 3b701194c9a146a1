#pragma once

#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrlQuery>

class QTcpSocket;

namespace tramelo::signin {

// Catches the provider's redirect as RFC 8252 (7.3) describes: an HTTP
// listener on 127.0.0.1 only, at a port the system chooses. It takes exactly
// one request for its path "/", answers it with a page in Catalan telling the
// person they may close the window, and stops listening. Other paths (a
// browser asking for an icon) get 404 and do not count. Every request is
// bounded in size and time, and so is the number of connections.
class LoopbackListener : public QObject
{
    Q_OBJECT

public:
    explicit LoopbackListener(QObject *parent = nullptr);

    // False, with errorText(), when no port could be opened.
    bool listen();
    QString errorText() const { return m_error; }
    // "http://127.0.0.1:PORT/", the redirect URI to send to the provider.
    QString redirectUri() const { return m_redirectUri; }
    // Stops listening, when the sign-in ended another way.
    void close() { m_server.close(); }

signals:
    // The query of the one request taken (code and state, or error).
    void redirected(const QUrlQuery &query);

private:
    void accept();
    void read(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QByteArray &request);

    QTcpServer m_server;
    QString m_redirectUri;
    QString m_error;
    int m_connections = 0;
    bool m_taken = false;
};

} // namespace tramelo::signin
