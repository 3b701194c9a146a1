// Judging what the server says. A reply sets a session flag, answers a login
// prompt, moves the POP3 dialogue on, or is reported as a failure; the code
// that sent the command only sees the flag, the time-out or the abort.
#include "clsEnviarCorreu.h"

#include "content_encoders.h"

namespace tramelo {
namespace {

bool startsWith(const QString &reply, QLatin1String code)
{
    return reply.startsWith(code, Qt::CaseInsensitive);
}

} // namespace

void clsEnviarCorreu::judgeReply(const QString &reply)
{
    const QString code = reply.left(3);
    if (code == u"220" || code == u"221" || code == u"251") {
        m_flags.reply = true;
    } else if (code == u"250") {
        m_flags.reply = true;
        if (reply.contains(QLatin1String("auth login"), Qt::CaseInsensitive)
            || reply.contains(QLatin1String("auth plain login"), Qt::CaseInsensitive))
            m_flags.loginOffered = true;
        if (reply.contains(QLatin1String("auth=login"), Qt::CaseInsensitive)) {
            m_flags.loginOffered = true;
            m_flags.authParameter = true;
        }
    } else if (code == u"235") {
        m_flags.loginAccepted = true;
    } else if (code == u"334") {
        answerLoginPrompt(reply);
    } else if (code == u"354") {
        m_flags.dataReady = true;
    } else if (code == u"211" || code == u"214") {
        // Help and status texts need no action.
    } else if (startsWith(reply, QLatin1String("+OK"))) {
        stepPop3Dialogue();
    } else {
        if (startsWith(reply, QLatin1String("-ER"))) {
            m_flags.pop3Done = false;
            m_pop3Step = 0;
            m_flags.abort = true;
        }
        AddError(reply);
        ReportFailure();
    }
}

void clsEnviarCorreu::answerLoginPrompt(const QString &reply)
{
    QString prompt = reply.mid(3);
    while (prompt.startsWith(u' '))
        prompt.remove(0, 1);
    while (prompt.endsWith(u' '))
        prompt.chop(1);
    prompt.remove(QLatin1String("\r\n"));
    const QString decoded = modCorreu::decodeBase64Text(prompt);

    // Servers word their prompts freely, and the LOGIN mechanism tells
    // clients not to rely on the words: a prompt that names neither is
    // answered by its place in the login.
    const int place = ++m_loginPromptsAnswered;
    if (decoded.contains(QLatin1String("username"), Qt::CaseInsensitive))
        sendData(modCorreu::encodeBase64Text(m_UserName));
    else if (decoded.contains(QLatin1String("password"), Qt::CaseInsensitive))
        sendData(modCorreu::encodeBase64Text(m_Password));
    else if (place == 1)
        sendData(modCorreu::encodeBase64Text(m_UserName));
    else if (place == 2)
        sendData(modCorreu::encodeBase64Text(m_Password));
    else
        sendData(QStringLiteral("\r\n*\r\n"));
}

void clsEnviarCorreu::stepPop3Dialogue()
{
    switch (m_pop3Step) {
    case 0:
        sendData(QStringLiteral("USER ") + m_UserName + QStringLiteral("\r\n"));
        m_pop3Step = 1;
        break;
    case 1:
        sendData(QStringLiteral("PASS ") + m_Password + QStringLiteral("\r\n"));
        m_pop3Step = 2;
        break;
    case 2:
        sendData(QStringLiteral("QUIT\r\n"));
        m_pop3Step = 3;
        break;
    default:
        m_flags.pop3Done = true;
        m_pop3Step = 0;
        break;
    }
}

} // namespace tramelo
