#pragma once

#include <QString>
#include <QStringList>

// Pieces of ScriptedSmtpServer scripts for the common parts of a dialogue.
// Each returns whole script lines ending in a line feed, so pieces join with +.
namespace tramelo::test::script {

// The name the fake server gives itself in its replies.
inline constexpr char serverName[] = "fake.tramelo.test";

// The server's greeting: "S: 220 fake.tramelo.test ESMTP ready".
QString greeting();
// "C: EHLO domain", then a 250 reply of one line per capability
// (for example "AUTH LOGIN PLAIN"), all in one write.
QString ehlo(const QString &domain, const QStringList &capabilities = {});
// "C: HELO domain", then "S: 250 fake.tramelo.test".
QString helo(const QString &domain);
// The LOGIN exchange as Tramelo's client speaks it: "AUTH LOGIN", the
// prompts "Username:" and "Password:" in base64, the base64 answers, 235.
QString authLogin(const QString &user, const QString &password);
// "C: MAIL FROM: <from>" and one "C: RCPT TO: <address>" per recipient,
// each answered with 250.
QString envelope(const QString &from, const QStringList &recipients);
// "C: DATA", "S: 354 ...", the captured data (D:), "S: 250 ...".
QString data();
// "C: QUIT", then "S: 221 ...".
QString quit();
// A POP3 login that succeeds: greeting, USER, PASS, QUIT, each with +OK.
QString pop3Login(const QString &user, const QString &password);

} // namespace tramelo::test::script
