#include "scripted_server.h"

#include "test_support.h"

#include <QTcpSocket>

#include <algorithm>

#include <sys/ioctl.h>
#include <sys/socket.h>

#include <utility>

namespace tramelo::test {

namespace {

// How many lines of one message's data the transcript shows.
constexpr int transcriptDataLines = 30;
// Consumed bytes kept in front of the buffer before it is compacted.
constexpr qsizetype compactThreshold = 64 * 1024;
// How long a finished script still listens for a client that says more.
constexpr std::chrono::milliseconds finishGrace{100};
// The receive buffer of a script that stops reading (the kernel doubles it).
constexpr int holdingReceiveBuffer = 4096;

// Bytes that have reached the socket but that Qt has not read yet.
qsizetype unreadBytes(const QTcpSocket &socket)
{
    int count = 0;
    if (::ioctl(static_cast<int>(socket.socketDescriptor()), FIONREAD, &count) != 0)
        return 0;
    return count;
}

QString printable(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (byte == '\r')
            text += QStringLiteral("\\r");
        else if (byte == '\n')
            text += QStringLiteral("\\n");
        else if (code < 0x20 && byte != '\t')
            text += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
        else
            text += QChar(code);
    }
    return text;
}

bool unescape(const QString &text, QByteArray &bytes)
{
    const QByteArray raw = text.toLatin1();
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            bytes += raw[i];
            continue;
        }
        if (++i == raw.size())
            return false;
        switch (raw[i]) {
        case 'r': bytes += '\r'; break;
        case 'n': bytes += '\n'; break;
        case '\\': bytes += '\\'; break;
        default: return false;
        }
    }
    return true;
}

} // namespace

ScriptedSmtpServer::ScriptedSmtpServer(QObject *parent)
    : QObject(parent)
{
    m_steps.append(Step{StepKind::Accept, {}, {}, 0, QStringLiteral("(the first connection)")});
    m_pauseTimer.setSingleShot(true);
    connect(&m_pauseTimer, &QTimer::timeout, this, &ScriptedSmtpServer::onPauseElapsed);
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedSmtpServer::onNewConnection);
}

ScriptedSmtpServer::~ScriptedSmtpServer()
{
    if (m_socket)
        m_socket->disconnect(this);
}

void ScriptedSmtpServer::addScript(const QString &script)
{
    for (QString line : script.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        while (!line.isEmpty() && line.front().isSpace())
            line.remove(0, 1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        Step step;
        QString error;
        if (!parseLine(line, step, error)) {
            fail(QStringLiteral("bad script line \"%1\": %2").arg(line, error));
            return;
        }
        m_steps.append(step);
    }
}

bool ScriptedSmtpServer::parseLine(const QString &line, Step &step, QString &error) const
{
    const QString key = line.left(2);
    QString rest = line.mid(2);
    if (rest.startsWith(QLatin1Char(' ')))
        rest.remove(0, 1);
    step.source = line;
    step.text = rest.toLatin1();

    if (key == QLatin1String("S:")) {
        step.kind = StepKind::Send;
    } else if (key == QLatin1String("W:")) {
        step.kind = StepKind::Write;
        step.text.clear();
        if (!unescape(rest, step.text)) {
            error = QStringLiteral("only \\r, \\n and \\\\ are escapes");
            return false;
        }
    } else if (key == QLatin1String("C:")) {
        step.kind = StepKind::Expect;
    } else if (key == QLatin1String("C^")) {
        step.kind = StepKind::ExpectPrefix;
    } else if (key == QLatin1String("C~")) {
        step.kind = StepKind::ExpectMatch;
        step.pattern.setPattern(QRegularExpression::anchoredPattern(rest));
        if (!step.pattern.isValid()) {
            error = step.pattern.errorString();
            return false;
        }
    } else if (key == QLatin1String("P:") || key == QLatin1String("H:")) {
        step.kind = key == QLatin1String("P:") ? StepKind::Pause : StepKind::Hold;
        bool isNumber = false;
        step.pauseMs = rest.toInt(&isNumber);
        if (!isNumber || step.pauseMs < 0) {
            error = QStringLiteral("a pause takes a number of milliseconds");
            return false;
        }
    } else if (key == QLatin1String("D:") || key == QLatin1String("X:") || key == QLatin1String("A:")) {
        step.kind = key == QLatin1String("D:") ? StepKind::CaptureData
                    : key == QLatin1String("X:") ? StepKind::Close
                                                  : StepKind::Accept;
        if (!rest.isEmpty()) {
            error = QStringLiteral("this step takes no text");
            return false;
        }
    } else {
        error = QStringLiteral("unknown step (S:, W:, C:, C^, C~, D:, P:, H:, X: or A:)");
        return false;
    }
    return true;
}

bool ScriptedSmtpServer::listen(const QHostAddress &address)
{
    if (!m_failure.isEmpty())
        return false;
    if (!m_server.listen(address, 0)) {
        fail(QStringLiteral("cannot listen on ") + address.toString() + QStringLiteral(": ") + m_server.errorString());
        return false;
    }
    // Accepted connections inherit the listener's buffer size.
    const bool holds = std::any_of(m_steps.cbegin(), m_steps.cend(), [](const Step &s) { return s.kind == StepKind::Hold; });
    if (holds)
        ::setsockopt(int(m_server.socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &holdingReceiveBuffer, sizeof holdingReceiveBuffer);
    return true;
}

bool ScriptedSmtpServer::finished() const
{
    return m_failure.isEmpty() && m_next == m_steps.size() && !m_server.hasPendingConnections();
}

bool ScriptedSmtpServer::waitForFinished(std::chrono::milliseconds timeout)
{
    if (!waitUntil([this] { return finished() || !m_failure.isEmpty(); }, timeout))
        return false;
    // A client that goes on after the end must still fail the script.
    waitUntil([this] { return !m_failure.isEmpty() || !m_socket || m_clientClosed; }, finishGrace);
    return finished();
}

QString ScriptedSmtpServer::verify() const
{
    if (finished())
        return {};
    QStringList report;
    if (!m_failure.isEmpty())
        report << QStringLiteral("The scripted server failed: ") + m_failure;
    else if (m_next < m_steps.size())
        report << QStringLiteral("The script was not played to its end.");
    else
        report << QStringLiteral("The client opened a connection the script did not expect.");
    report << QStringLiteral("Transcript:");
    for (const QString &line : m_transcript)
        report << QStringLiteral("  ") + line;
    if (m_next < m_steps.size()) {
        report << QStringLiteral("Not played:");
        for (qsizetype i = m_next; i < m_steps.size(); ++i)
            report << QStringLiteral("  ") + m_steps[i].source;
    }
    return report.join(QLatin1Char('\n'));
}

void ScriptedSmtpServer::onNewConnection()
{
    if (!m_failure.isEmpty())
        return;
    if (m_next == m_steps.size())
        fail(QStringLiteral("the client opened another connection after the end of the script"));
    else if (m_steps[m_next].kind == StepKind::Accept)
        advance();
    // Otherwise the connection waits for the script's next A: step.
}

void ScriptedSmtpServer::onReadyRead()
{
    readPending();
    advance();
}

void ScriptedSmtpServer::onDisconnected()
{
    readPending();
    m_clientClosed = true;
    note(QStringLiteral("== the client closed connection %1").arg(m_connectionCount));
    advance();
}

void ScriptedSmtpServer::onPauseElapsed()
{
    m_pauseElapsed = true;
    advance();
}

void ScriptedSmtpServer::advance()
{
    // Closing a socket can emit signals at once; the outer pass then goes on.
    if (m_advancing) {
        m_advanceAgain = true;
        return;
    }
    m_advancing = true;
    do {
        m_advanceAgain = false;
        while (m_failure.isEmpty() && m_next < m_steps.size() && play(m_steps[m_next]) == StepResult::Done)
            ++m_next;
    } while (m_advanceAgain && m_failure.isEmpty());
    m_advancing = false;

    // Consecutive server lines leave in one write; a P: step splits them.
    if (m_socket)
        m_socket->flush();
    if (m_failure.isEmpty() && m_next == m_steps.size() && checkNothingUnexpected() && !m_finishedSignalled) {
        m_finishedSignalled = true;
        Q_EMIT scriptFinished();
    }
}

ScriptedSmtpServer::StepResult ScriptedSmtpServer::play(const Step &step)
{
    switch (step.kind) {
    case StepKind::Accept: return playAccept();
    case StepKind::Send: return playWrite(step, step.text + "\r\n");
    case StepKind::Write: return playWrite(step, step.text);
    case StepKind::Expect:
    case StepKind::ExpectPrefix:
    case StepKind::ExpectMatch: return playExpect(step);
    case StepKind::CaptureData: return playCaptureData();
    case StepKind::Pause:
    case StepKind::Hold: return playPause(step);
    case StepKind::Close: return playClose();
    }
    Q_UNREACHABLE();
}

ScriptedSmtpServer::StepResult ScriptedSmtpServer::playAccept()
{
    if (m_socket) {
        if (!checkNothingUnexpected())
            return StepResult::Waiting;
        dropConnection();
    }
    if (!m_server.hasPendingConnections())
        return StepResult::Waiting;

    m_socket = m_server.nextPendingConnection();
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    ++m_connectionCount;
    m_buffer.clear();
    m_readPos = 0;
    m_earlyBytes = 0;
    m_clientClosed = m_socket->state() != QAbstractSocket::ConnectedState;
    connect(m_socket, &QTcpSocket::readyRead, this, &ScriptedSmtpServer::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &ScriptedSmtpServer::onDisconnected);
    note(QStringLiteral("== connection %1 accepted").arg(m_connectionCount));
    readPending();
    return StepResult::Done;
}

ScriptedSmtpServer::StepResult ScriptedSmtpServer::playWrite(const Step &step, const QByteArray &bytes)
{
    if (!m_socket || m_clientClosed) {
        fail(QStringLiteral("the connection was closed before the server could play \"%1\"").arg(step.source));
        return StepResult::Waiting;
    }
    readPending();
    m_earlyBytes = m_buffer.size() - m_readPos + unreadBytes(*m_socket);
    m_lastWrite = step.source;
    m_socket->write(bytes);
    note(QStringLiteral("<-- ") + printable(step.kind == StepKind::Send ? step.text : bytes)
         + (step.kind == StepKind::Write ? QStringLiteral("   (written without line end)") : QString()));
    return StepResult::Done;
}

ScriptedSmtpServer::StepResult ScriptedSmtpServer::playExpect(const Step &step)
{
    QByteArray line;
    bool early = false;
    if (!takeLine(line, early)) {
        if (m_clientClosed)
            fail(QStringLiteral("the client closed the connection where the script expected \"%1\"").arg(step.source));
        return StepResult::Waiting;
    }
    if (!line.endsWith("\r\n")) {
        fail(QStringLiteral("the client ended a line with a bare LF: \"%1\"").arg(printable(line)));
        return StepResult::Waiting;
    }
    const QByteArray text = line.chopped(2);
    note(QStringLiteral("--> ") + printable(text));
    if (early) {
        fail(QStringLiteral("the client sent \"%1\" before the server's reply \"%2\"").arg(printable(text), m_lastWrite));
        return StepResult::Waiting;
    }
    bool matches = false;
    switch (step.kind) {
    case StepKind::Expect: matches = text == step.text; break;
    case StepKind::ExpectPrefix: matches = text.startsWith(step.text); break;
    default: matches = step.pattern.match(QString::fromLatin1(text)).hasMatch(); break;
    }
    if (!matches) {
        fail(QStringLiteral("the script expected \"%1\", the client sent \"%2\"").arg(step.source, printable(text)));
        return StepResult::Waiting;
    }
    return StepResult::Done;
}

ScriptedSmtpServer::StepResult ScriptedSmtpServer::playCaptureData()
{
    QByteArray line;
    bool early = false;
    while (takeLine(line, early)) {
        if (early && m_capture.isEmpty()) {
            fail(QStringLiteral("the client sent message data (\"%1\") before the server's reply \"%2\"")
                     .arg(printable(line), m_lastWrite));
            return StepResult::Waiting;
        }
        if (!line.endsWith("\r\n")) {
            fail(QStringLiteral("the client ended a data line with a bare LF: \"%1\"").arg(printable(line)));
            return StepResult::Waiting;
        }
        if (line == ".\r\n") {
            if (m_captureLines > transcriptDataLines)
                note(QStringLiteral("--> ... (%1 more lines)").arg(m_captureLines - transcriptDataLines));
            note(QStringLiteral("--> ."));
            m_captured.append(std::exchange(m_capture, {}));
            m_captureLines = 0;
            return StepResult::Done;
        }
        if (++m_captureLines <= transcriptDataLines)
            note(QStringLiteral("--> ") + printable(line.chopped(2)));
        m_capture += line;
    }
    if (m_clientClosed)
        fail(QStringLiteral("the client closed the connection before the end of the message data"));
    return StepResult::Waiting;
}

ScriptedSmtpServer::StepResult ScriptedSmtpServer::playPause(const Step &step)
{
    // While it holds, Qt's own buffer of one byte fills and it reads no more.
    const bool hold = step.kind == StepKind::Hold;
    if (m_pauseElapsed) {
        m_pauseElapsed = false;
        m_holding = false;
        if (m_socket)
            m_socket->setReadBufferSize(0);
        note((hold ? QStringLiteral("== read nothing for %1 ms") : QStringLiteral("== paused %1 ms")).arg(step.pauseMs));
        return StepResult::Done;
    }
    if (!m_pauseTimer.isActive()) {
        m_holding = hold;
        if (m_socket && hold)
            m_socket->setReadBufferSize(1);
        m_pauseTimer.start(step.pauseMs);
    }
    return StepResult::Waiting;
}

ScriptedSmtpServer::StepResult ScriptedSmtpServer::playClose()
{
    if (!checkNothingUnexpected())
        return StepResult::Waiting;
    note(QStringLiteral("== the server closed connection %1").arg(m_connectionCount));
    dropConnection();
    return StepResult::Done;
}

bool ScriptedSmtpServer::takeLine(QByteArray &line, bool &early)
{
    qsizetype end = m_buffer.indexOf('\n', m_readPos);
    if (end < 0) {
        readPending();
        end = m_buffer.indexOf('\n', m_readPos);
        if (end < 0)
            return false;
    }
    line = m_buffer.mid(m_readPos, end + 1 - m_readPos);
    m_readPos = end + 1;
    early = m_earlyBytes > 0;
    m_earlyBytes = std::max<qsizetype>(0, m_earlyBytes - line.size());
    if (m_readPos > compactThreshold && m_readPos * 2 > m_buffer.size()) {
        m_buffer.remove(0, m_readPos);
        m_readPos = 0;
    }
    return true;
}

bool ScriptedSmtpServer::checkNothingUnexpected()
{
    readPending();
    if (m_readPos < m_buffer.size()) {
        fail(QStringLiteral("the client sent \"%1\", which the script did not expect")
                 .arg(printable(m_buffer.mid(m_readPos, 200))));
        return false;
    }
    if (m_next == m_steps.size() && m_server.hasPendingConnections()) {
        fail(QStringLiteral("the client opened another connection after the end of the script"));
        return false;
    }
    return true;
}

void ScriptedSmtpServer::readPending()
{
    if (m_socket && !m_holding)
        m_buffer += m_socket->readAll();
}

void ScriptedSmtpServer::dropConnection()
{
    if (!m_socket)
        return;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    // Lines written just before still leave before the connection closes.
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
}

void ScriptedSmtpServer::fail(const QString &reason)
{
    if (!m_failure.isEmpty())
        return;
    m_failure = reason;
    note(QStringLiteral("!! ") + reason);
    m_pauseTimer.stop();
    dropConnection();
    // Every other client is turned away at once too, rather than left waiting.
    while (m_server.hasPendingConnections())
        m_server.nextPendingConnection()->abort();
    m_server.close();
    Q_EMIT scriptFailed(reason);
}

} // namespace tramelo::test
