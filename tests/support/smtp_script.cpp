#include "smtp_script.h"

namespace tramelo::test::script {

namespace {

QString base64(const QString &text)
{
    return QString::fromLatin1(text.toLatin1().toBase64());
}

} // namespace

QString greeting()
{
    return QStringLiteral("S: 220 %1 ESMTP ready\n").arg(QLatin1String(serverName));
}

QString ehlo(const QString &domain, const QStringList &capabilities)
{
    QString lines = QStringLiteral("C: EHLO %1\n").arg(domain);
    const QStringList replyLines = QStringList{QLatin1String(serverName)} + capabilities;
    for (qsizetype i = 0; i < replyLines.size(); ++i) {
        const QLatin1Char separator(i + 1 < replyLines.size() ? '-' : ' ');
        lines += QStringLiteral("S: 250") + separator + replyLines[i] + QLatin1Char('\n');
    }
    return lines;
}

QString helo(const QString &domain)
{
    return QStringLiteral("C: HELO %1\nS: 250 %2\n").arg(domain, QLatin1String(serverName));
}

QString authLogin(const QString &user, const QString &password)
{
    return QStringLiteral("C: AUTH LOGIN\n"
                          "S: 334 VXNlcm5hbWU6\n"
                          "C: %1\n"
                          "S: 334 UGFzc3dvcmQ6\n"
                          "C: %2\n"
                          "S: 235 2.7.0 Authentication successful\n")
        .arg(base64(user), base64(password));
}

QString envelope(const QString &from, const QStringList &recipients)
{
    QString lines = QStringLiteral("C: MAIL FROM: <%1>\nS: 250 2.1.0 Ok\n").arg(from);
    for (const QString &recipient : recipients)
        lines += QStringLiteral("C: RCPT TO: <%1>\nS: 250 2.1.5 Ok\n").arg(recipient);
    return lines;
}

QString data()
{
    return QStringLiteral("C: DATA\n"
                          "S: 354 End data with <CR><LF>.<CR><LF>\n"
                          "D:\n"
                          "S: 250 2.0.0 Ok: queued\n");
}

QString quit()
{
    return QStringLiteral("C: QUIT\nS: 221 2.0.0 Bye\n");
}

QString pop3Login(const QString &user, const QString &password)
{
    return QStringLiteral("S: +OK POP3 ready\n"
                          "C: USER %1\n"
                          "S: +OK\n"
                          "C: PASS %2\n"
                          "S: +OK Logged in.\n"
                          "C: QUIT\n"
                          "S: +OK Logging out.\n")
        .arg(user, password);
}

} // namespace tramelo::test::script
