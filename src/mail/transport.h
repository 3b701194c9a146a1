#pragma once

#include "tls_connection_state.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <memory>

typedef struct ssl_st SSL;

namespace tramelo {

class StopSignal;
class TlsContext;

// One byte stream to a mail server: a TCP socket of the system's, with an
// optional OpenSSL layer on it (from the first byte, or from STARTTLS on).
// Every call blocks the thread that makes it, waiting with poll() at most
// until its deadline, and ends at once when the stop signal is raised; no
// event loop is involved. Failures are worded as the operator has always
// read them (the words of Qt's sockets, which this stream replaces).
class Transport
{
public:
    using Clock = std::chrono::steady_clock;

    enum class Status {
        Ok,
        TimedOut,     // the deadline passed
        Closed,       // the peer closed or reset the connection
        Failed,       // errorText() says why
        Refused,      // the server's certificate: errorText() says why
        Stopped,      // the stop signal was raised
        InputWaiting, // write(): the peer spoke before everything was written
    };

    explicit Transport(const StopSignal *stop = nullptr);
    ~Transport();
    Transport(const Transport &) = delete;
    Transport &operator=(const Transport &) = delete;

    // Each address the name gives (getaddrinfo: a literal address is taken
    // as it is) is tried in turn until the deadline.
    Status connect(const QString &host, quint16 port, Clock::time_point deadline);
    // The TLS handshake, the server's certificate verified for the host as
    // the operator typed it (a name, or an address) and the session of the
    // last connection to the same server resumed when it can be.
    Status startTls(const std::shared_ptr<TlsContext> &context, const QString &host, quint16 port,
                    Clock::time_point deadline);
    // Writes every byte; the time-out runs from the last byte the peer took,
    // so a slow link may take as long as it needs and a stalled one may not.
    // With stopAtInput, a peer that speaks meanwhile ends the write early.
    Status write(QByteArrayView bytes, std::chrono::milliseconds idleTimeout, bool stopAtInput = false);
    // Appends what has arrived (at least one byte), waiting until the deadline.
    Status read(QByteArray &into, Clock::time_point deadline);
    // Whether the peer has sent something (or closed) that nobody has read,
    // found without waiting. Inside TLS only what the peer wrote counts, not
    // the protocol's own records (a session ticket).
    bool inputWaiting();
    // Drops what the peer sent that nobody has read (the clear text that
    // follows the answer to STARTTLS, before the handshake).
    void dropInputWaiting();
    void close();

    bool isOpen() const { return m_descriptor >= 0; }
    bool encrypted() const { return m_ssl != nullptr; }
    QString errorText() const { return m_error; }

private:
    enum class Wait { Read, Write };
    Status waitFor(Wait wait, Clock::time_point deadline, bool alsoInput = false);
    Status receive(QByteArray &into);
    Status sendSome(QByteArrayView bytes, qsizetype &sent);
    Status tlsFailure(int result, Wait &wait);
    Status handshakeFailure(int result);
    Status refuseUntrustedCertificate(const QString &host);
    void endTls();

    const StopSignal *m_stop;
    int m_descriptor = -1;
    SSL *m_ssl = nullptr;
    std::shared_ptr<TlsContext> m_tls;
    TlsConnectionState m_tlsState;
    QByteArray m_unread;     // read by inputWaiting(), not yet taken
    bool m_peerClosed = false;
    QString m_error;
};

} // namespace tramelo
