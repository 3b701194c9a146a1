#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

namespace tramelo {

// Whether input (or the peer's close) waits in the kernel for a descriptor,
// found with one poll that does not wait.
bool hasInputWaiting(int descriptor);

// Bytes written to a TCP connection that its peer has not acknowledged yet
// (still in the kernel's send queue); 0 when the descriptor cannot say.
qint64 unacknowledgedBytes(int descriptor);

// A TCP connection in the clear on the system's own sockets, driven by its
// owner's waits: no socket notifiers and no pass of the event loop per reply.
// Writes go straight to the kernel; what it cannot take yet waits in a queue
// that the next wait sends. Its error texts are those of Qt's sockets, which
// the session reported before, so that callers see the same words.
class PlainSocket
{
public:
    enum class State { Unconnected, HostLookup, Connecting, Connected };

    // What happened since the last wait, in this order.
    struct Activity {
        bool connected = false;   // the connection is made
        qint64 written = 0;       // queued bytes the kernel took
        QByteArray received;      // one read's bytes
        bool failed = false;      // the connection failed: errorString() says why
        bool closed = false;      // the peer closed or reset the connection
        bool any() const { return connected || written > 0 || !received.isEmpty() || failed || closed; }
    };

    PlainSocket() = default;
    ~PlainSocket();
    PlainSocket(const PlainSocket &) = delete;
    PlainSocket &operator=(const PlainSocket &) = delete;

    State state() const { return m_state; }
    int descriptor() const { return m_descriptor; }
    QString errorString() const { return m_error; }

    // A name is looked up without blocking: its result arrives as an event
    // of the event loop. Each address found is tried in turn.
    void connectToHost(const QString &host, quint16 port);
    void close();
    // The bytes the kernel took at once; the rest leaves during the waits.
    qint64 write(QByteArrayView bytes);
    qint64 bytesToWrite() const { return m_queue.size() - m_queuePos; }
    // Input (or the peer's close) waiting in the kernel, found without waiting.
    bool hasUnreadInput() const;
    // Waits at most timeout for the descriptor; returns at once with what
    // happened outside a wait (a lookup's result, a connection made at once).
    Activity wait(std::chrono::milliseconds timeout);

private:
    void lookedUp(const QList<QHostAddress> &addresses);
    void connectToNextAddress();
    void waitForConnection(std::chrono::milliseconds timeout);
    void waitForData(std::chrono::milliseconds timeout);
    void finishConnecting(short events);
    void abandonAddress(const QString &error);
    void sendQueue();
    qint64 sendSome(QByteArrayView bytes);
    void receive();
    void closeDescriptor();

    State m_state = State::Unconnected;
    int m_descriptor = -1;
    quint16 m_port = 0;
    QList<QHostAddress> m_addresses; // still to try
    QDeadlineTimer m_connectDeadline;
    std::unique_ptr<QObject> m_lookupContext; // gone: the lookup's result is dropped
    int m_lookupId = -1;
    QByteArray m_queue;
    qsizetype m_queuePos = 0;
    bool m_writeFailed = false; // the connection is lost: the read side tells how
    QByteArray m_readBuffer;    // one read's room, kept from read to read
    QString m_error = QStringLiteral("Unknown error");
    Activity m_pending;
};

} // namespace tramelo
