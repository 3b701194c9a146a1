// The component's TCP socket as the session sees it: the state codes, the
// commands written as Windows-1252 text, one handler per socket event, and
// the wait that pumps the event loop until a session flag is set. Sessions
// in the clear run on the plain socket, which the wait polls itself; those
// with TLS on Qt's socket, whose events the event loop delivers.
#include "clsEnviarCorreu.h"

#include "header_encoding.h"
#include "plain_text.h"
#include "windows1252.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QNetworkProxy>
#include <QScopedValueRollback>
#include <QSslSocket>

#include <cmath>
#include <utility>

namespace tramelo {
namespace {

// What the socket reads ahead of the reply handler; a server that floods
// the connection waits in its own send queue.
constexpr qint64 socketReadBufferBytes = 64 * 1024;
// The longest a wait goes without processing the window's events.
constexpr int pumpIntervalMs = 10;

} // namespace

void clsEnviarCorreu::initSession()
{
    // Without TLS it is a plain TCP socket: the same bytes, the same events.
    m_socket = new QSslSocket(this);
    m_socket->setProxy(QNetworkProxy::NoProxy);
    m_socket->setReadBufferSize(socketReadBufferBytes);
    m_wakeTimer.setSingleShot(true);
    connect(m_socket, &QSslSocket::connected, this, [this] {
        // The socket writes a message in several pieces (headers, body, "."):
        // with Nagle's algorithm the last piece waits for the server's
        // delayed acknowledgement, about 40 ms per message.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        onSocketConnected();
    });
    connect(m_socket, &QSslSocket::disconnected, this, &clsEnviarCorreu::onSocketDisconnected);
    connect(m_socket, &QSslSocket::readyRead, this, &clsEnviarCorreu::onSocketReadyRead);
    connect(m_socket, &QSslSocket::errorOccurred, this, &clsEnviarCorreu::onSocketError);
    connect(m_socket, &QSslSocket::bytesWritten, this, &clsEnviarCorreu::onSocketBytesWritten);
    connect(m_socket, &QSslSocket::sslErrors, this, &clsEnviarCorreu::onSslErrors);
    connect(m_socket, &QSslSocket::encrypted, this, &clsEnviarCorreu::onSocketEncrypted);
    connect(m_socket, &QSslSocket::newSessionTicketReceived, this, &clsEnviarCorreu::onNewSessionTicket);
    // Encrypted bytes leaving are the progress of a message inside TLS.
    connect(m_socket, &QSslSocket::encryptedBytesWritten, this, [this] { m_flags.chunkSent = true; });
}

int clsEnviarCorreu::socketState() const
{
    if (m_socketErrored)
        return socketError;
    if (m_plainTransport) {
        switch (m_plain.state()) {
        case PlainSocket::State::Unconnected:
            return socketClosed;
        case PlainSocket::State::HostLookup:
            return socketResolvingHost;
        case PlainSocket::State::Connecting:
            return socketConnecting;
        case PlainSocket::State::Connected:
            return socketConnected;
        }
    }
    switch (m_socket->state()) {
    case QAbstractSocket::UnconnectedState:
        return socketClosed;
    case QAbstractSocket::BoundState:
        return socketOpen;
    case QAbstractSocket::ListeningState:
        return socketListening;
    case QAbstractSocket::HostLookupState:
        return socketResolvingHost;
    case QAbstractSocket::ConnectingState:
        return socketConnecting;
    case QAbstractSocket::ConnectedState:
        return socketConnected;
    case QAbstractSocket::ClosingState:
        return socketClosing;
    }
    return socketClosed;
}

bool clsEnviarCorreu::transportConnected() const
{
    return m_plainTransport ? m_plain.state() == PlainSocket::State::Connected
                            : m_socket->state() == QAbstractSocket::ConnectedState;
}

void clsEnviarCorreu::socketConnect()
{
    m_socketErrored = false;
    m_outgoing.clear();
    m_flags.peerClosed = false;
    m_replies.clear();
    m_repliesAwaited = 1; // the server speaks first
    m_certificateFailure.clear();
    // The POP3 login is never in TLS.
    m_plainTransport = m_dialogue == Dialogue::Pop3Login || m_Security == SecurityMode::None;
    if (m_plainTransport)
        m_plain.connectToHost(m_remoteHost, m_remotePort);
    else if (m_dialogue == Dialogue::Smtp && m_Security == SecurityMode::ImplicitTls)
        m_socket->connectToHostEncrypted(m_remoteHost, m_remotePort, m_remoteHost);
    else
        m_socket->connectToHost(m_remoteHost, m_remotePort);
}

void clsEnviarCorreu::socketClose()
{
    m_socketErrored = false;
    m_replies.clear();
    m_repliesAwaited = 0;
    m_outgoing.clear();
    const QScopedValueRollback closing(m_closingSocket, true);
    if (m_plainTransport) {
        const bool wasConnected = m_plain.state() == PlainSocket::State::Connected;
        m_plain.close();
        if (wasConnected)
            onConnectionEnded({});
        return;
    }
    if (m_socket->state() != QAbstractSocket::UnconnectedState) {
        m_socket->disconnectFromHost();
        // Data still queued (a failed message) is dropped rather than waited for.
        if (m_socket->state() != QAbstractSocket::UnconnectedState)
            m_socket->abort();
    }
}

bool clsEnviarCorreu::sendData(const QString &text)
{
    return sendData(toWindows1252(text));
}

bool clsEnviarCorreu::sendData(const QByteArray &bytes)
{
    if (!transportConnected())
        return false;
    // Held until the session waits: a command, or a message's headers and
    // body, leave in one piece.
    m_outgoing += bytes;
    return true;
}

void clsEnviarCorreu::flushOutgoing()
{
    if (m_outgoing.isEmpty())
        return;
    const QByteArray bytes = std::exchange(m_outgoing, {});
    if (m_plainTransport) {
        const qint64 written = m_plain.write(bytes);
        if (written > 0)
            onSocketBytesWritten(written);
        return;
    }
    m_socket->write(bytes);
}

qint64 clsEnviarCorreu::queuedBytes() const
{
    if (m_plainTransport)
        return m_outgoing.size() + m_plain.bytesToWrite();
    // Inside TLS the socket's queue is the encrypted bytes not yet sent.
    return m_outgoing.size() + m_socket->bytesToWrite() + m_socket->encryptedBytesToWrite();
}

bool clsEnviarCorreu::sendCommand(const QString &line)
{
    return serverKeptQuiet() && writeCommand(line);
}

bool clsEnviarCorreu::writeCommand(const QString &line)
{
    // Every command and answer of the dialogue leaves here. A line break
    // taken from a value (a sender, a user name) would end the command early
    // and make the rest a command of its own.
    if (!sendData(withoutLineBreaks(line) + crlf))
        return false;
    ++m_repliesAwaited;
    return true;
}

bool clsEnviarCorreu::serverKeptQuiet()
{
    // A reply is only ever an answer to a command written before it arrived:
    // what the server said unasked would pass for the answer to this one,
    // and every later reply for the answer to the command before it.
    readWaitingInput();
    if (m_replies.heldBytes() > 0) {
        failOutOfTurn();
        return false;
    }
    return !m_flags.abort;
}

void clsEnviarCorreu::readWaitingInput()
{
    // Bytes that reached the socket since the last wait were said before the
    // command too.
    if (m_plainTransport) {
        if (m_plain.state() == PlainSocket::State::Connected)
            onPlainSocketActivity(m_plain.wait(std::chrono::milliseconds(0)));
        return;
    }
    if (socketState() != socketConnected)
        return;
    // Inside TLS only the socket tells the server's words from its other
    // records (a session ticket).
    if (hasInputWaiting(int(m_socket->socketDescriptor())))
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    readPendingReply();
}

bool clsEnviarCorreu::WaitForReply(Flag flag, long seconds, bool reportTimeout)
{
    if (seconds < 1)
        return false;
    // Elapsed time, not the time of day: a wait across midnight lasts its length.
    const QDeadlineTimer deadline{std::chrono::seconds(seconds)};
    for (;;) {
        if (sendingStopped())
            return false;
        if (m_flags.*flag)
            return true;
        if (deadline.hasExpired()) {
            if (reportTimeout)
                ReportTimeout();
            return false;
        }
        if (m_flags.abort)
            return false;
        if (m_flags.peerClosed) {
            // Nothing more can arrive: as a time-out, without the wait.
            if (reportTimeout)
                ReportTimeout();
            return false;
        }
        pumpEventsOnce();
    }
}

void clsEnviarCorreu::pumpEventsOnce()
{
    if (m_plainTransport) {
        pumpPlainSocketOnce();
        return;
    }
    // Qt does not emit readyRead again while a slot connected to it is still
    // running further up the stack (a failure reported from the reply handler
    // waits for the answer to its QUIT), so a wait reads the socket itself;
    // a reply already read is judged without a pass of the event loop, and
    // before what the session wrote leaves (a goodbye read with a refusal
    // answers the QUIT that follows).
    if (readPendingReply())
        return;
    flushOutgoing();
    waitForEvents();
    showDataLeaving();
}

void clsEnviarCorreu::showDataLeaving()
{
    // A message's data leaves while the session waits, with no event of
    // its own: each pass of a wait looks how far it has gone.
    if (m_step == SendStage::Data && transportConnected())
        reportProgress();
}

void clsEnviarCorreu::pumpPlainSocketOnce()
{
    // As above: replies already read are judged before anything leaves.
    if (judgeFramedReplies())
        return;
    flushOutgoing();
    if (m_plain.descriptor() < 0) {
        // Nothing to poll: a host name being looked up, whose result is an
        // event, or a socket closed (what it noted before is taken first).
        const PlainSocket::Activity noted = m_plain.wait(std::chrono::milliseconds(0));
        if (noted.any())
            onPlainSocketActivity(noted);
        else
            waitForEvents();
        return;
    }
    // The descriptor is polled directly, and the window's events are
    // processed at least every 10 ms: a session that needs no event costs
    // no pass of the event loop.
    if (!m_eventsProcessed.isValid())
        m_eventsProcessed.start();
    const qint64 sinceEvents = m_eventsProcessed.elapsed();
    onPlainSocketActivity(m_plain.wait(std::chrono::milliseconds(std::max<qint64>(0, pumpIntervalMs - sinceEvents))));
    if (m_eventsProcessed.elapsed() >= pumpIntervalMs) {
        m_eventsProcessed.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    showDataLeaving();
}

void clsEnviarCorreu::waitForEvents()
{
    // Sleep until the next event, at most 10 ms: a reply on loopback costs no
    // fixed delay. The timer is armed once per 10 ms, not once per reply.
    if (!m_wakeTimer.isActive())
        m_wakeTimer.start(pumpIntervalMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void clsEnviarCorreu::ReportTimeout()
{
    m_timeoutReported = true;
    AddError(error_text::timeout);
    ReportFailure();
}

bool clsEnviarCorreu::sendingStopped()
{
    if (!m_stopRequested)
        return false;
    if (m_stopReported)
        return true;
    // At once: no QUIT, whose answer a silent server would not give.
    socketClose();
    // Stopped while the final "." was answered, the message may be taken.
    const bool finalReplyOwed = std::exchange(m_finalReplyOwed, false);
    // A message that has its outcome (sent, or failed) keeps it.
    if (!m_failureNoted && !m_outcome.sent) {
        m_outcome.inDoubt = finalReplyOwed;
        m_pendingErrors.clear();
        AddError(error_text::sendStopped);
        ReportFailure();
    }
    m_stopReported = true;
    m_flags.abort = true;
    return true;
}

// ---- socket events ---------------------------------------------------------

void clsEnviarCorreu::onSocketConnected()
{
    m_flags.connected = true;
}

void clsEnviarCorreu::onSocketDisconnected()
{
    onConnectionEnded(m_socket->readAll());
}

void clsEnviarCorreu::onPlainSocketActivity(const PlainSocket::Activity &activity)
{
    // In the order Qt's socket raises its events. Judging a reply may close
    // the socket or open another: what the wait saw after it no longer
    // applies then.
    if (activity.connected)
        onSocketConnected();
    if (activity.written > 0)
        onSocketBytesWritten(activity.written);
    if (!activity.received.isEmpty()) {
        m_replies.append(activity.received);
        // Between two messages of a kept session nothing is judged.
        if (!idleKeptSession())
            judgeFramedReplies();
        return;
    }
    if (activity.failed)
        reportSocketError(m_plain.errorString());
    if (activity.closed)
        onConnectionEnded({});
}

void clsEnviarCorreu::onConnectionEnded(QByteArrayView lastBytes)
{
    m_flags.connected = false;
    // A kept session the server ended between two messages is simply gone:
    // the next Send opens another.
    if (m_closingSocket || idleKeptSession())
        return;
    // The peer closed. What it said last is judged now, even without a line
    // end, and no wait goes on for more; unasked, it was said out of turn.
    m_flags.peerClosed = true;
    m_replies.append(lastBytes);
    judgeFramedReplies();
    if (m_replies.heldBytes() == 0)
        return;
    if (m_repliesAwaited == 0) {
        failOutOfTurn();
        return;
    }
    --m_repliesAwaited;
    judgeReply(m_replies.takeUnfinished());
}

void clsEnviarCorreu::onSocketReadyRead()
{
    // Between two messages of a kept session nothing is judged (no event
    // without a Send); the next Send finds the input unread.
    if (idleKeptSession())
        return;
    readPendingReply();
}

bool clsEnviarCorreu::readPendingReply()
{
    if (socketState() != socketConnected)
        return false;
    if (m_dialogue == Dialogue::TlsHandshake) {
        dropUnreadInput();
        return false;
    }
    if (m_socket->bytesAvailable() == 0) {
        // Replies read in one piece with the one being judged further up
        // the stack (a refusal, then the answer to the QUIT it caused).
        return judgeFramedReplies();
    }
    m_replies.append(m_socket->readAll());
    judgeFramedReplies();
    return true;
}

bool clsEnviarCorreu::judgeFramedReplies()
{
    // A reply split over several reads is judged once it is complete.
    // Judging a capability list by its first line would send the next
    // command while the list still arrives. Judging may wait and judge
    // further replies, or close the session and empty the reader: each
    // reply is taken afresh. Only the replies owed are judged; the rest
    // waits for the next command to find it.
    bool judged = false;
    while (m_repliesAwaited > 0) {
        const std::optional<ReplyReader::Reply> reply = m_replies.next();
        if (!reply)
            break;
        judged = true;
        --m_repliesAwaited;
        if (reply->tooLong) {
            dropOverlongReply(reply->text);
            return judged;
        }
        judgeReply(reply->text);
    }
    if (m_repliesAwaited > 0 || m_replies.heldBytes() == 0 || idleKeptSession())
        return judged;
    if (takeUnaskedGoodbye())
        return true;
    // More than any reply could be, said unasked (a flood): no command
    // needs to come first to know.
    if (m_replies.heldBytes() > ReplyReader::maxReplyBytes)
        failOutOfTurn();
    return judged;
}

bool clsEnviarCorreu::takeUnaskedGoodbye()
{
    // A server going away says so with a 421 when it must, asked or not
    // (RFC 5321, 3.8): the message ends with its words at once.
    ReplyReader ahead = m_replies;
    const std::optional<ReplyReader::Reply> reply = ahead.next();
    if (!reply || reply->tooLong || server_reply::code(reply->text) != 421)
        return false;
    m_replies = ahead;
    judgeReply(reply->text);
    return true;
}

void clsEnviarCorreu::dropOverlongReply(const QByteArray &received)
{
    // Past the bound the server's replies can no longer be told apart, so
    // there is no answer to a QUIT to wait for: the connection is dropped.
    socketClose();
    m_lastReply = received;
    AddError(fromWindows1252(received));
    ReportFailure();
}

void clsEnviarCorreu::failOutOfTurn()
{
    // Nor can they after a reply out of turn.
    const QByteArray said = m_replies.held(server_reply::maxShownBytes);
    socketClose();
    if (quietFailure()) {
        m_flags.peerClosed = true;
        return;
    }
    AddError(error_text::unexpectedReply + server_reply::shownOnOneLine(said));
    ReportFailure();
}

bool clsEnviarCorreu::quietFailure() const
{
    // Between two messages of a kept session, and during the RSET that
    // readies it, a failure only means that the message goes on a new session.
    return idleKeptSession() || m_flags.awaitingReset;
}

void clsEnviarCorreu::onSocketError()
{
    // The peer closing the connection is the socket's Close event, not an
    // error, unless it cuts the TLS handshake short.
    const QAbstractSocket::SocketError error = m_socket->error();
    const bool inHandshake = handshaking() || error == QAbstractSocket::SslHandshakeFailedError;
    if (error == QAbstractSocket::RemoteHostClosedError && !inHandshake)
        return;
    reportSocketError(inHandshake ? handshakeFailureText(error) : m_socket->errorString());
}

void clsEnviarCorreu::reportSocketError(const QString &text)
{
    m_socketErrored = true;
    if (quietFailure()) {
        m_flags.peerClosed = true;
        return;
    }
    AddError(text);
    ReportFailure();
}

void clsEnviarCorreu::onSocketBytesWritten(qint64 bytes)
{
    m_bytesSent += bytes;
    m_flags.chunkSent = true;
    reportProgress();
}

void clsEnviarCorreu::reportProgress()
{
    // The kernel takes a message of a few megabytes into its buffers at once:
    // counted there, it would show as sent before its first byte had left.
    // What the server has acknowledged has left.
    const qintptr descriptor = m_plainTransport ? m_plain.descriptor() : m_socket->socketDescriptor();
    const qint64 left = std::max<qint64>(0, m_bytesSent - unacknowledgedBytes(int(descriptor)));
    int percentage = 0;
    if (m_sizeEstimate >= 1) {
        const float share = static_cast<float>(double(left) / double(m_sizeEstimate));
        const float scaled = share * 100.0f;
        percentage = scaled >= 100.0f ? 100 : int(std::nearbyint(scaled));
    }
    if (percentage != m_lastPercentage) {
        m_lastPercentage = percentage;
        if (socketState() == socketConnected)
            Q_EMIT Progress(percentage);
    }
}

} // namespace tramelo
