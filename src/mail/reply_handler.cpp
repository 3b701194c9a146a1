// Judging what the server says, by the dialogue the session is in. A reply
// sets a session flag, answers a login prompt, moves the POP3 dialogue on,
// opens the TLS handshake, or is reported as a failure; the code that sent
// the command only sees the flag, the time-out or the abort.
#include "clsEnviarCorreu.h"

#include "plain_text.h"
#include "server_reply.h"
#include "windows1252.h"

namespace tramelo {
namespace {

// A login answer is one base64 line, however long the value.
QString credentialLine(const QByteArray &value)
{
    return QString::fromLatin1(value.toBase64());
}

bool isNegative(int code)
{
    return code >= 400 && code <= 599;
}

// A negative answer to one RCPT TO refuses that address only, one to MAIL
// FROM, DATA or "." that message only; 421 closes the whole session.
bool isTransactionRefusal(int code)
{
    return isNegative(code) && code != 421;
}

} // namespace

void clsEnviarCorreu::judgeReply(const QByteArray &reply)
{
    switch (m_dialogue) {
    case Dialogue::Pop3Login:
        if (judgePop3Answer(reply))
            return;
        break;
    case Dialogue::StartTls:
        judgeStartTlsAnswer(reply);
        return;
    case Dialogue::TlsHandshake:
        // Whoever wrote it, it was not said inside TLS.
        return;
    case Dialogue::Smtp:
        break;
    }
    judgeSmtpReply(reply);
}

void clsEnviarCorreu::judgeSmtpReply(const QByteArray &reply)
{
    // A multi-line reply is judged by its last line, the one that completes
    // it; a line that is not a reply code is a failure like a negative reply.
    m_lastReply = reply;
    const std::optional<int> code = server_reply::code(reply);
    if (m_flags.awaitingReset) {
        m_flags.resetRefused = code != 250;
        m_flags.reply = true;
        return;
    }
    if (!code) {
        rejectReply(reply);
        return;
    }
    // A completion or a refusal answers the final "."; anything else leaves
    // its answer owed.
    if (*code == 220 || *code == 221 || *code == 250 || *code == 251 || isNegative(*code))
        m_finalReplyOwed = false;
    switch (*code) {
    case 220:
    case 221:
    case 251:
        m_flags.reply = true;
        break;
    case 250: {
        m_flags.reply = true;
        const server_reply::Extensions offer = server_reply::extensions(reply);
        if (offer.login || (offer.plain && m_flags.encrypted))
            m_flags.loginOffered = true;
        if (offer.plain)
            m_flags.plainOffered = true;
        if (offer.authParameter)
            m_flags.authParameter = true;
        if (offer.startTls)
            m_flags.startTlsOffered = true;
        if (offer.eightBitMime)
            m_flags.eightBitMimeOffered = true;
        break;
    }
    case 235:
        m_flags.loginAccepted = true;
        break;
    case 334:
        // Credentials go only to the prompts of a login we started.
        if (m_flags.loginStarted)
            answerLoginPrompt(reply);
        else
            rejectReply(reply);
        break;
    case 354:
        m_flags.dataReady = true;
        break;
    case 211:
    case 214:
        // Help and status texts need no action.
        break;
    default:
        if (m_flags.awaitingRecipient && isTransactionRefusal(*code)) {
            m_recipientRefusal = reply;
            m_flags.reply = true;
            break;
        }
        // The server ended that message's transaction, not the session.
        m_transactionRefused = m_flags.awaitingTransaction && isTransactionRefusal(*code);
        rejectReply(reply);
        break;
    }
}

bool clsEnviarCorreu::judgePop3Answer(const QByteArray &reply)
{
    if (server_reply::isPop3Positive(reply)) {
        stepPop3Dialogue();
        return true;
    }
    if (server_reply::isPop3Negative(reply)) {
        m_flags.pop3Done = false;
        m_pop3Step = 0;
        m_flags.abort = true;
        rejectReply(reply);
        return true;
    }
    return false;
}

void clsEnviarCorreu::judgeStartTlsAnswer(const QByteArray &reply)
{
    // Any other answer, a positive one included, refuses the upgrade; the
    // session then ends in the plain dialogue.
    if (server_reply::code(reply) != 220) {
        m_dialogue = Dialogue::Smtp;
        rejectReply(reply);
        return;
    }
    // What followed the "220" in the same read is dropped with the rest
    // (RFC 3207, section 6): read after the handshake, it would pass for
    // the server's words inside TLS.
    m_dialogue = Dialogue::TlsHandshake;
    m_replies.clear();
    m_flags.reply = true;
}

void clsEnviarCorreu::rejectReply(const QByteArray &reply)
{
    m_lastReply = reply;
    m_failureCode = server_reply::code(reply);
    AddError(fromWindows1252(reply));
    ReportFailure();
}

void clsEnviarCorreu::answerLoginPrompt(const QByteArray &reply)
{
    const int place = ++m_loginPromptsAnswered;
    if (m_loginMechanism == LoginMechanism::Plain) {
        // RFC 4616: no authorisation identity, the user, the password, in
        // UTF-8, answering the server's one empty prompt; a second is
        // cancelled.
        if (place == 1)
            sendCommand(credentialLine('\0' + m_UserName.toUtf8() + '\0' + m_Password.toUtf8()));
        else
            sendCommand(QStringLiteral("*"));
        return;
    }

    // Servers word their prompts freely, and the LOGIN mechanism tells
    // clients not to rely on the words: a prompt that names neither is
    // answered by its place in the login.
    const QString decoded = server_reply::loginPromptText(reply);
    if (decoded.contains(QLatin1String("username"), Qt::CaseInsensitive))
        sendCommand(credentialLine(toWindows1252(m_UserName)));
    else if (decoded.contains(QLatin1String("password"), Qt::CaseInsensitive))
        sendCommand(credentialLine(toWindows1252(m_Password)));
    else if (place == 1)
        sendCommand(credentialLine(toWindows1252(m_UserName)));
    else if (place == 2)
        sendCommand(credentialLine(toWindows1252(m_Password)));
    else if (sendCommand(QString())) {
        // An empty answer, then "*": one answer, which cancels the login.
        sendData(QStringLiteral("*") + crlf);
    }
}

void clsEnviarCorreu::stepPop3Dialogue()
{
    switch (m_pop3Step) {
    case 0:
        sendCommand(QStringLiteral("USER ") + m_UserName);
        m_pop3Step = 1;
        break;
    case 1:
        sendCommand(QStringLiteral("PASS ") + m_Password);
        m_pop3Step = 2;
        break;
    case 2:
        sendCommand(QStringLiteral("QUIT"));
        m_pop3Step = 3;
        break;
    default:
        m_flags.pop3Done = true;
        m_pop3Step = 0;
        break;
    }
}

} // namespace tramelo
