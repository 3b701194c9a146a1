// One SMTP session for many messages: whether the session kept open can
// carry the next message, the RSET after a refused one, and when a session
// has carried enough. Whatever cannot be trusted to be clean is closed and
// a new session opened: a message must never go out in the leftovers of
// another.
#include "clsEnviarCorreu.h"

#include <QSslSocket>

namespace tramelo {

void clsEnviarCorreu::setKeepConnection(bool value)
{
    if (value)
        m_keepConnection = true;
    else
        Disconnect();
}

clsEnviarCorreu::SessionTarget clsEnviarCorreu::sessionTarget() const
{
    return {m_SMTPHost, m_SMTPPort, m_Security, m_TrustedCertificatesFile, m_UseAuthentication, m_UserName, m_Password};
}

bool clsEnviarCorreu::openOrReuseSession()
{
    retireUnfitKeptSession();
    if (socketState() != socketConnected && !OpenSession())
        return false;
    if (m_keepConnection) {
        // Until this message ends cleanly, nobody knows where the dialogue stands.
        m_kept.reusable = false;
        ++m_kept.messages;
    }
    return true;
}

void clsEnviarCorreu::retireUnfitKeptSession()
{
    if (!m_keepConnection || socketState() != socketConnected)
        return;
    if (!m_kept.reusable || keptSessionHasUnreadInput()) {
        socketClose();
        return;
    }
    if (!(m_kept.target == sessionTarget())) {
        CloseSession();
        return;
    }
    if (m_kept.resetNeeded && !resetTransaction())
        socketClose();
}

bool clsEnviarCorreu::keptSessionHasUnreadInput() const
{
    // A server says nothing between two messages unless it is going away
    // (a 421 and the close). What arrived while nobody pumped events is
    // still in the kernel: one poll that does not wait finds it.
    if (m_replies.heldBytes() > 0)
        return true;
    if (m_plainTransport)
        return m_plain.hasUnreadInput();
    return m_socket->bytesAvailable() > 0 || hasInputWaiting(int(m_socket->socketDescriptor()));
}

bool clsEnviarCorreu::resetTransaction()
{
    // The answer is judged quietly: a refused or unanswered RSET only means
    // that the message goes on a new session.
    m_flags.awaitingReset = true;
    m_flags.resetRefused = false;
    m_flags.reply = false;
    const bool answered = sendCommand(QStringLiteral("RSET")) && WaitForReply(&SessionFlags::reply, m_MessageTimeout, false);
    m_flags.awaitingReset = false;
    const bool reset = answered && !m_flags.resetRefused && !m_flags.abort;
    m_kept.resetNeeded = !reset;
    return reset;
}

bool clsEnviarCorreu::keepSessionAfterMessage()
{
    if (!m_keepConnection)
        return false;
    m_kept.reusable = true;
    return m_kept.messages < maxMessagesPerSession;
}

bool clsEnviarCorreu::keepSessionAfterFailure()
{
    const bool refused = std::exchange(m_transactionRefused, false);
    if (!m_keepConnection)
        return false;
    // Nothing of this message was sent: the session is as it was.
    if (m_step == SendStage::Validation)
        return true;
    if (!refused)
        return false;
    m_kept.reusable = true;
    m_kept.resetNeeded = true;
    return m_kept.messages < maxMessagesPerSession;
}

} // namespace tramelo
