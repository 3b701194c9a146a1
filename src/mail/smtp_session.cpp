// Opening and closing a session: the optional POP3 login, the connection
// attempts, the greeting, TLS when asked, the optional login, and QUIT.
#include "clsEnviarCorreu.h"

#include <QScopedValueRollback>

namespace tramelo {

bool clsEnviarCorreu::Connect()
{
    const QScopedValueRollback operation(m_inOperation, true);
    m_keepConnection = true;
    return OpenSession();
}

void clsEnviarCorreu::Disconnect()
{
    const QScopedValueRollback operation(m_inOperation, true);
    m_keepConnection = false;
    CloseSession();
}

bool clsEnviarCorreu::OpenSession()
{
    if (socketState() == socketConnected)
        return true;
    if (socketState() != socketClosed)
        socketClose();
    if (m_SMTPHost.isEmpty()) {
        m_SMTPHost = MXQuery(QString());
        if (m_SMTPHost.isEmpty()) {
            // Left for the next Send to report.
            AddError(error_text::invalidSmtpHost);
            return false;
        }
    }
    if (m_UsePopAuthentication && !openPop3Phase())
        return false;
    m_kept = {sessionTarget()};
    m_kept.reusable = openSmtpPhase();
    return m_kept.reusable;
}

bool clsEnviarCorreu::openPop3Phase()
{
    m_step = SendStage::Login;
    Q_EMIT Status(QStringLiteral("Connecting to POP3 Server (") + m_POP3Host + QStringLiteral(")..."));
    m_dialogue = Dialogue::Pop3Login;
    m_flags.abort = false;
    m_flags.connected = false;
    m_flags.pop3Done = false;
    m_pop3Step = 0;
    if (m_POP3Host.isEmpty()) {
        AddError(error_text::invalidPop3Host);
        ReportFailure();
        return false;
    }
    m_remoteHost = m_POP3Host;
    m_remotePort = m_platform.pop3Port;
    if (connectionAttempts() == AttemptsOutcome::Aborted)
        return false;
    // The dialogue runs in the reply handler; only a "-ER" reply stops it.
    WaitForReply(&SessionFlags::pop3Done, m_ConnectTimeout, false);
    socketClose();
    pumpEventsOnce();
    if (m_flags.abort)
        return false;
    Q_EMIT Status(QStringLiteral("POP3 Authentication Successful..."));
    return true;
}

bool clsEnviarCorreu::openSmtpPhase()
{
    m_step = SendStage::Connection;
    m_dialogue = Dialogue::Smtp;
    m_flags.reply = false;
    m_flags.dataReady = false;
    forgetExtensions();
    m_flags.loginAccepted = false;
    m_flags.loginStarted = false;
    m_flags.encrypted = false;
    m_flags.abort = false;
    m_flags.connected = false;
    if (socketState() != socketClosed)
        socketClose();
    m_remoteHost = m_SMTPHost;
    m_remotePort = quint16(m_SMTPPort); // checked when assigned or loaded
    Q_EMIT Status(QStringLiteral("Connecting to SMTP Server (") + m_SMTPHost + QStringLiteral(")..."));
    if (m_Security != SecurityMode::None && !prepareTls())
        return false;
    if (connectionAttempts() == AttemptsOutcome::Aborted)
        return false;

    const bool greeted = WaitForReply(&SessionFlags::reply, m_ConnectTimeout, false);
    if (m_flags.abort)
        return false;
    if (!greeted || !m_flags.connected) {
        ReportTimeout();
        return false;
    }

    Q_EMIT Status(QStringLiteral("Initializing Communications..."));
    if (!sayHello())
        return false;
    if (m_Security == SecurityMode::StartTls && !startTls())
        return false;
    return !m_UseAuthentication || logIn();
}

bool clsEnviarCorreu::sayHello()
{
    // Only the answer to EHLO lists the extensions: the login mechanisms,
    // STARTTLS and 8BITMIME.
    m_flags.reply = false;
    const bool extended = m_UseAuthentication || m_Security != SecurityMode::None;
    sendCommand((extended ? QStringLiteral("EHLO ") : QStringLiteral("HELO ")) + greetingDomain());
    return WaitForReply(&SessionFlags::reply, m_ConnectTimeout, true) && !m_flags.abort;
}

void clsEnviarCorreu::forgetExtensions()
{
    m_flags.loginOffered = false;
    m_flags.plainOffered = false;
    m_flags.authParameter = false;
    m_flags.startTlsOffered = false;
    m_flags.eightBitMimeOffered = false;
}

clsEnviarCorreu::AttemptsOutcome clsEnviarCorreu::connectionAttempts()
{
    for (long attempt = 1; attempt <= m_ConnectRetry; ++attempt) {
        if (socketState() == socketConnected) {
            m_flags.connected = true;
            return AttemptsOutcome::Connected;
        }
        if (socketState() == socketClosed)
            socketConnect();
        if (WaitForReply(&SessionFlags::connected, m_ConnectTimeout, false))
            return AttemptsOutcome::Connected;
        if (m_flags.abort)
            return AttemptsOutcome::Aborted;
        if (socketState() == socketError)
            socketClose();
    }
    return AttemptsOutcome::UsedUp;
}

bool clsEnviarCorreu::logIn()
{
    // Inside TLS the answer to EHLO has been read whole. A login the
    // operator asked for is never dropped there for a message sent without.
    if (m_Security != SecurityMode::None && !m_flags.loginOffered) {
        m_step = SendStage::Login;
        AddError(error_text::noLoginInsideTls);
        ReportFailure();
        return false;
    }
    // A capability list may arrive in several pieces.
    if (!WaitForReply(&SessionFlags::loginOffered, 5, false)) {
        if (m_flags.abort)
            return false;
        Q_EMIT Status(QStringLiteral("Login Not Supported by Host, Continuing..."));
        return true;
    }
    m_step = SendStage::Login;
    Q_EMIT Status(QStringLiteral("Sending Login Authentication..."));
    m_loginPromptsAnswered = 0;
    m_flags.loginStarted = true;
    // PLAIN says both credentials in one line, which only TLS may carry.
    // The mechanisms' registered names are upper case, and some servers
    // compare them exactly.
    const bool plain = m_flags.plainOffered && m_flags.encrypted;
    m_loginMechanism = plain ? LoginMechanism::Plain : LoginMechanism::Login;
    const bool accepted = sendCommand(plain ? QStringLiteral("AUTH PLAIN") : QStringLiteral("AUTH LOGIN"))
        && WaitForReply(&SessionFlags::loginAccepted, 5, false);
    m_flags.loginStarted = false;
    if (accepted) {
        Q_EMIT Status(QStringLiteral("Host Login OK!"));
        return !m_flags.abort;
    }
    // A rejection was reported by the reply handler, which closed the session.
    Q_EMIT Status(error_text::loginFailed);
    return false;
}

void clsEnviarCorreu::CloseSession()
{
    if (socketState() != socketClosed)
        Q_EMIT Status(QStringLiteral("Closing Connection..."));
    if (socketState() == socketConnected) {
        m_flags.reply = false;
        // Whatever the server said before is taken for its answer: the
        // session ends either way.
        writeCommand(QStringLiteral("QUIT"));
        WaitForReply(&SessionFlags::reply, 2, false);
    }
    socketClose();
}

QString clsEnviarCorreu::greetingDomain() const
{
    const qsizetype at = m_from.indexOf(u'@');
    return at < 0 ? m_from : m_from.mid(at + 1);
}

} // namespace tramelo
