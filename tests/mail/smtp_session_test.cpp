// Exact dialogues of the session against a scripted server: greeting,
// login, replies, time-outs, POP3 before SMTP, keeping a session open.
#include "clsEnviarCorreu.h"
#include "gtest_qt_printers.h"
#include "mail_event_log.h"
#include "plain_text.h"
#include "scripted_server.h"
#include "server_reply.h"
#include "smtp_script.h"
#include "test_support.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tramelo;
using namespace tramelo::test;
using namespace std::chrono_literals;

namespace {

const QString sender = QStringLiteral("jo@exemple.cat");
const QString recipient = QStringLiteral("tu@exemple.cat");
const QString domain = QStringLiteral("exemple.cat");

QString base64(const QString &text)
{
    return QString::fromLatin1(text.toLatin1().toBase64());
}

struct Dialogue {
    ScriptedSmtpServer server;
    clsEnviarCorreu mail;
    MailEventLog events{mail};

    explicit Dialogue(const QString &script, MailPlatform platform = {})
        : mail(std::move(platform))
    {
        server.addScript(script);
        EXPECT_TRUE(server.listen()) << server.failure().toStdString();
        aimAt(mail, server.host(), server.port());
        addSimpleMessage(mail, sender, recipient);
    }

    void expectScriptPlayed()
    {
        EXPECT_TRUE(server.waitForFinished(5s)) << server.verify().toStdString() << "\nevents:\n"
                                               << events.text().toStdString();
    }
};

QString simpleSendWithHelo()
{
    return script::greeting() + script::helo(domain) + script::envelope(sender, {recipient}) + script::data()
        + script::quit();
}

} // namespace

TEST(SmtpSession, PlainSendGreetsWithHeloAndQuits)
{
    Dialogue d(simpleSendWithHelo());
    d.mail.Send();
    d.expectScriptPlayed();
    EXPECT_TRUE(d.events.succeeded()) << d.events.text().toStdString();
    EXPECT_EQ(d.events.failures(), QStringList());
    const QStringList statuses = {
        QStringLiteral("Status: Connecting to SMTP Server (127.0.0.1)..."),
        QStringLiteral("Status: Initializing Communications..."),
        QStringLiteral("Status: Sending Sender Information..."),
        QStringLiteral("Status: Sending Recipient Information..."),
        QStringLiteral("Status: Sending Message..."),
    };
    for (const QString &status : statuses)
        EXPECT_TRUE(d.events.contains(status)) << status.toStdString();
    // Success is announced last, after the closing status.
    const qsizetype n = d.events.lines.size();
    ASSERT_GE(n, 4);
    EXPECT_EQ(d.events.lines[n - 4], QStringLiteral("Progress: 100"));
    EXPECT_EQ(d.events.lines[n - 3], QStringLiteral("Status: Transmission Complete..."));
    EXPECT_EQ(d.events.lines[n - 2], QStringLiteral("Status: Closing Connection..."));
    EXPECT_EQ(d.events.lines[n - 1], QStringLiteral("SendSuccesful"));
    EXPECT_EQ(d.mail.socketState(), 0);
}

TEST(SmtpSession, ProgressIsRaisedOnlyWhenItChangesAndNeverAbove100)
{
    Dialogue d(simpleSendWithHelo());
    d.mail.setMessage(QString(20000, u'x'));
    d.mail.Send();
    d.expectScriptPlayed();
    int last = -1;
    int raised = 0;
    for (const QString &line : std::as_const(d.events.lines)) {
        if (!line.startsWith(QLatin1String("Progress: ")))
            continue;
        const int percent = line.mid(10).toInt();
        EXPECT_GE(percent, 0);
        EXPECT_LE(percent, 100);
        if (percent != 100) {
            EXPECT_NE(percent, last) << "the same percentage raised twice";
        }
        last = percent;
        ++raised;
    }
    EXPECT_GE(raised, 2);
    EXPECT_EQ(last, 100);
}

TEST(SmtpSession, CapabilityLinesThatOfferLogin)
{
    struct Case {
        QStringList capabilities;
        bool authParameter;
    };
    const Case cases[] = {
        {{QStringLiteral("AUTH LOGIN PLAIN")}, false},
        {{QStringLiteral("auth plain login")}, false},
        {{QStringLiteral("AUTH=LOGIN")}, true},
        {{QStringLiteral("Auth=Login PLAIN")}, true},
        {{QStringLiteral("AUTH CRAM-MD5 PLAIN LOGIN")}, false},
        {{QStringLiteral("AUTH NTLM LOGIN"), QStringLiteral("8BITMIME")}, false},
        {{QStringLiteral("AUTH=PLAIN LOGIN")}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.capabilities.join(u'|').toStdString());
        const QString mailFrom = c.authParameter
            ? QStringLiteral("C: MAIL FROM: <%1> AUTH=%1\nS: 250 Ok\nC: RCPT TO: <%2>\nS: 250 Ok\n").arg(sender, recipient)
            : script::envelope(sender, {recipient});
        Dialogue d(script::greeting() + script::ehlo(domain, c.capabilities)
                   + script::authLogin(QStringLiteral("usuari"), QStringLiteral("clau")) + mailFrom + script::data()
                   + script::quit());
        d.mail.setUseAuthentication(true);
        d.mail.setUserName(QStringLiteral("usuari"));
        d.mail.setPassword(QStringLiteral("clau"));
        d.mail.Send();
        d.expectScriptPlayed();
        EXPECT_TRUE(d.events.succeeded()) << d.events.text().toStdString();
        EXPECT_TRUE(d.events.contains(QStringLiteral("Status: Host Login OK!")));
    }
}

TEST(SmtpSession, ServerWithoutLoginIsUsedWithoutOne)
{
    Dialogue d(script::greeting() + script::ehlo(domain, {QStringLiteral("AUTH PLAIN CRAM-MD5")})
               + script::envelope(sender, {recipient}) + script::data() + script::quit());
    d.mail.setUseAuthentication(true);
    d.mail.setUserName(QStringLiteral("usuari"));
    d.mail.Send();
    d.expectScriptPlayed();
    EXPECT_TRUE(d.events.contains(QStringLiteral("Status: Login Not Supported by Host, Continuing...")));
    EXPECT_TRUE(d.events.succeeded());
}

TEST(SmtpSession, LoginPromptsAreAnsweredByTheirWordsOrTheirPlace)
{
    struct Case {
        const char *name;
        QStringList prompts;  // decoded texts of the 334 prompts
        QStringList answers;  // what the client must say to each
        QString userName = QStringLiteral("usuari");
    };
    const QString user = base64(QStringLiteral("usuari"));
    const QString password = base64(QStringLiteral("clau"));
    // Over 57 bytes: more than one line of a MIME body's base64.
    const QString longName = QStringLiteral("usuari.amb.un.nom.molt.llarg.per.a.la.campanya@servidor.exemple.cat");
    const QStringList usual = {QStringLiteral("Username:"), QStringLiteral("Password:")};
    const Case cases[] = {
        {"usual words", {QStringLiteral("Username:"), QStringLiteral("Password:")}, {user, password}},
        {"words with a NUL", {QStringLiteral("User Name") + QChar(0), QStringLiteral("Password") + QChar(0)}, {user, password}},
        {"other words", {QStringLiteral("Who are you"), QStringLiteral("Prove it")}, {user, password}},
        {"reversed words", {QStringLiteral("Password:"), QStringLiteral("Username:")}, {password, user}},
        {"long user name on one line", usual, {base64(longName), password}, longName},
        {"empty user name as an empty line", usual, {QString(), password}, QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString login = QStringLiteral("C: AUTH LOGIN\n");
        for (int i = 0; i < c.prompts.size(); ++i)
            login += QStringLiteral("S: 334 %1\nC: %2\n").arg(base64(c.prompts[i]), c.answers[i]);
        login += QStringLiteral("S: 235 ok\n");
        Dialogue d(script::greeting() + script::ehlo(domain, {QStringLiteral("AUTH LOGIN")}) + login
                   + script::envelope(sender, {recipient}) + script::data() + script::quit());
        d.mail.setUseAuthentication(true);
        d.mail.setUserName(c.userName);
        d.mail.setPassword(QStringLiteral("clau"));
        d.mail.Send();
        d.expectScriptPlayed();
        EXPECT_TRUE(d.events.succeeded()) << d.events.text().toStdString();
    }
}

TEST(SmtpSession, ThirdPromptCancelsAndRejectionIsReported)
{
    const QString login = QStringLiteral("C: AUTH LOGIN\n"
                                         "S: 334 %1\nC: %2\n"
                                         "S: 334 %3\nC: %4\n"
                                         "S: 334 %5\nC: \nC: *\n"
                                         "S: 535 5.7.8 Authentication credentials invalid\n")
                              .arg(base64(QStringLiteral("Username:")), base64(QStringLiteral("usuari")),
                                   base64(QStringLiteral("Password:")), base64(QStringLiteral("clau")),
                                   base64(QStringLiteral("Again?")));
    Dialogue d(script::greeting() + script::ehlo(domain, {QStringLiteral("AUTH LOGIN")}) + login + script::quit());
    d.mail.setUseAuthentication(true);
    d.mail.setUserName(QStringLiteral("usuari"));
    d.mail.setPassword(QStringLiteral("clau"));
    QElapsedTimer clock;
    clock.start();
    d.mail.Send();
    d.expectScriptPlayed();
    EXPECT_EQ(d.events.failures(), QStringList{QStringLiteral("535 5.7.8 Authentication credentials invalid\r\n\r\n")});
    EXPECT_FALSE(d.events.succeeded());
    // The rejection is reported, the session closed, then the login declared failed.
    const qsizetype failed = d.events.lines.indexOf(QStringLiteral("SendFailed: 535 5.7.8 Authentication credentials invalid\r\n\r\n"));
    const qsizetype closing = d.events.lines.indexOf(QStringLiteral("Status: Closing Connection..."));
    const qsizetype loginFailed = d.events.lines.indexOf(QStringLiteral("Status: Host Login Failed!"));
    EXPECT_TRUE(failed >= 0 && failed < closing && closing < loginFailed) << d.events.text().toStdString();
    EXPECT_LT(clock.elapsed(), 1500) << "the failure waited for nothing";
}

TEST(SmtpSession, LoginLeftUnansweredFailsQuietlyAndTheOpenSessionIsReused)
{
    // No answer to the password: after 5 seconds the login counts as failed,
    // without SendFailed, and the connection stays open; the next Send uses it.
    Dialogue d(script::greeting() + script::ehlo(domain, {QStringLiteral("AUTH LOGIN")})
               + QStringLiteral("C: AUTH LOGIN\nS: 334 %1\nC: %2\nS: 334 %3\nC: %4\n")
                     .arg(base64(QStringLiteral("Username:")), base64(QStringLiteral("usuari")),
                          base64(QStringLiteral("Password:")), base64(QStringLiteral("clau")))
               + script::envelope(sender, {recipient}) + script::data() + script::quit());
    d.mail.setUseAuthentication(true);
    d.mail.setUserName(QStringLiteral("usuari"));
    d.mail.setPassword(QStringLiteral("clau"));
    d.mail.Send();
    EXPECT_TRUE(d.events.contains(QStringLiteral("Status: Host Login Failed!")));
    EXPECT_EQ(d.events.failures(), QStringList());
    EXPECT_FALSE(d.events.succeeded());
    EXPECT_EQ(d.mail.socketState(), 7);

    d.mail.Send();
    d.expectScriptPlayed();
    EXPECT_TRUE(d.events.succeeded()) << d.events.text().toStdString();
}

TEST(SmtpSession, GreetingCarriesTheSendersDomain)
{
    struct Case {
        const char *from;
        const char *greeting;
    };
    const Case cases[] = {
        {"jo@exemple.cat", "HELO exemple.cat"},
        {"jo@sub.exemple.cat", "HELO sub.exemple.cat"},
        {"nomes-un-nom", "HELO nomes-un-nom"},
        {"jo@exemple.cat\r\nRSET", "HELO exemple.cat  RSET"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.from);
        ScriptedSmtpServer server;
        server.addScript(script::greeting() + QStringLiteral("C: %1\nS: 250 ok\n").arg(QLatin1String(c.greeting))
                         + script::quit());
        ASSERT_TRUE(server.listen());
        clsEnviarCorreu mail;
        aimAt(mail, server.host(), server.port());
        mail.setEmailAddressValidation(0);
        mail.setFrom(QString::fromLatin1(c.from));
        EXPECT_TRUE(mail.Connect());
        mail.Disconnect();
        EXPECT_TRUE(server.waitForFinished(5s)) << server.verify().toStdString();
    }
}

// One session for many messages: each message's outcome, and the sessions
// the server saw. A refused message is followed by RSET; a session that
// cannot carry the next message (closed, a 421, a time-out, a refused RSET,
// used up) is replaced, and no message goes twice or in another's leftovers.
TEST(SmtpSession, KeptSessionCarriesMessagesUntilItCannot)
{
    const QString a = QStringLiteral("a@exemple.cat");
    const QString b = QStringLiteral("b@exemple.cat");
    const QString greeted = script::greeting() + script::helo(domain);
    const auto message = [](const QString &to) { return script::envelope(sender, {to}) + script::data(); };
    const QString refusedRcpt = QStringLiteral("C: MAIL FROM: <%1>\nS: 250 Ok\nC: RCPT TO: <%2>\nS: 550 5.1.1 No such user\n")
                                    .arg(sender, a);
    const QString newSession = QStringLiteral("A:\n") + greeted;
    QString hundred;
    for (int i = 0; i < clsEnviarCorreu::maxMessagesPerSession; ++i)
        hundred += message(a);
    struct Case {
        const char *name;
        QString script;
        QStringList to;           // one message each
        QList<SendStage> stages;  // Validation for a message sent
        int connections;
        int pauseMs = 0;          // events pumped between two messages, as a run's pause
        bool connectFirst = false;
    };
    const QList<SendStage> bothSent = {SendStage::Validation, SendStage::Validation};
    const QList<SendStage> firstFailed = {SendStage::Recipient, SendStage::Validation};
    const Case cases[] = {
        {"Connect, then two messages without greeting again", greeted + message(a) + message(b) + script::quit(),
         {a, b}, bothSent, 1, 0, true},
        {"a refused message, then RSET", greeted + refusedRcpt + QStringLiteral("C: RSET\nS: 250 Ok\n") + message(b)
             + script::quit(), {a, b}, firstFailed, 1},
        {"a refused final dot, then RSET",
         greeted + script::envelope(sender, {a}) + QStringLiteral("C: DATA\nS: 354 go\nD:\nS: 554 5.7.1 Spam\n")
             + QStringLiteral("C: RSET\nS: 250 Ok\n") + message(b) + script::quit(),
         {a, b}, {SendStage::Data, SendStage::Validation}, 1},
        {"a refused RSET: a new session", greeted + refusedRcpt + QStringLiteral("C: RSET\nS: 502 No\n") + newSession
             + message(b) + script::quit(), {a, b}, firstFailed, 2},
        {"a 421 ends the session", greeted + QStringLiteral("C: MAIL FROM: <%1>\nS: 421 4.7.0 Later\nX:\n").arg(sender)
             + newSession + message(b) + script::quit(), {a, b}, {SendStage::Sender, SendStage::Validation}, 2},
        {"closed at once after a message", greeted + message(a) + QStringLiteral("X:\n") + newSession + message(b)
             + script::quit(), {a, b}, bothSent, 2},
        {"a goodbye while idle", greeted + message(a) + QStringLiteral("P: 20\nS: 421 4.4.2 Idle\nX:\n") + newSession
             + message(b) + script::quit(), {a, b}, bothSent, 2, 200},
        {"a time-out", greeted + QStringLiteral("C: MAIL FROM: <%1>\n").arg(sender) + script::quit() + newSession
             + message(b) + script::quit(), {a, b}, {SendStage::Timeout, SendStage::Validation}, 2},
        {"at most so many messages a session", greeted + hundred + script::quit() + newSession + message(b)
             + script::quit(), QStringList(clsEnviarCorreu::maxMessagesPerSession, a) << b,
         QList<SendStage>(clsEnviarCorreu::maxMessagesPerSession + 1, SendStage::Validation), 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Dialogue d(c.script);
        d.mail.setMessageTimeout(1);
        if (c.connectFirst)
            ASSERT_TRUE(d.mail.Connect());
        else
            d.mail.setKeepConnection(true);
        for (qsizetype i = 0; i < c.to.size(); ++i) {
            SCOPED_TRACE(i);
            d.mail.setRecipient(c.to[i]);
            const qsizetype before = d.events.lines.size();
            d.mail.Send();
            const QStringList events = d.events.lines.mid(before);
            const SendOutcome &outcome = d.mail.sendOutcome();
            const bool sent = c.stages[i] == SendStage::Validation;
            EXPECT_EQ(outcome.sent, sent) << d.events.text().toStdString();
            EXPECT_EQ(int(outcome.stage), int(c.stages[i]));
            EXPECT_EQ(events.filter(QRegularExpression(QStringLiteral("^Send"))).size(), 1) << events.join(u'\n').toStdString();
            // Only the one refused recipient, and only in its own message.
            EXPECT_EQ(outcome.refused.size(), c.stages[i] == SendStage::Recipient ? 1 : 0);
            const qsizetype idleStart = d.events.lines.size();
            pumpEventsFor(std::chrono::milliseconds(c.pauseMs));
            EXPECT_EQ(d.events.lines.size(), idleStart) << "an event between two messages";
        }
        d.mail.Disconnect();
        d.expectScriptPlayed();
        EXPECT_EQ(d.server.connectionCount(), c.connections);
    }
}

TEST(SmtpSession, ReplySplitOverSeveralWritesIsJudgedWhole)
{
    Dialogue d(script::greeting() + script::helo(domain)
               + QStringLiteral("C: MAIL FROM: <%1>\nW: 25\nP: 100\nS: 0 2.1.0 Ok\n").arg(sender)
               + QStringLiteral("C: RCPT TO: <%1>\nW: 250 2.1.5\nP: 50\nW:  Ok\\r\nP: 50\nS: \n").arg(recipient)
               + script::data() + script::quit());
    d.mail.Send();
    d.expectScriptPlayed();
    EXPECT_TRUE(d.events.succeeded()) << d.events.text().toStdString();
}

TEST(SmtpSession, NegativeReplyEndsTheMessageAtOnce)
{
    Dialogue d(script::greeting() + script::helo(domain)
               + QStringLiteral("C: MAIL FROM: <%1>\nS: 250 Ok\nC: RCPT TO: <%2>\nS: 550 5.1.1 Unknown user\n")
                     .arg(sender, recipient)
               + script::quit());
    QElapsedTimer clock;
    clock.start();
    d.mail.Send();
    d.expectScriptPlayed();
    EXPECT_EQ(d.events.failures(), QStringList{QStringLiteral("550 5.1.1 Unknown user\r\n\r\n")});
    EXPECT_FALSE(d.events.succeeded());
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_EQ(d.mail.socketState(), 0);
}

TEST(SmtpSession, ZeroMessageTimeoutStopsWithoutAnEvent)
{
    Dialogue d(script::greeting() + script::helo(domain) + QStringLiteral("C: MAIL FROM: <%1>\n").arg(sender)
               + script::quit());
    d.mail.setMessageTimeout(0);
    d.mail.Send();
    EXPECT_FALSE(d.events.succeeded());
    EXPECT_EQ(d.events.failures(), QStringList());
    d.mail.Disconnect();
    d.expectScriptPlayed();
}

TEST(SmtpSession, ServerThatNeverGreetsTimesOut)
{
    ScriptedSmtpServer server;
    server.addScript(QStringLiteral("P: 4000\n"));
    ASSERT_TRUE(server.listen());
    clsEnviarCorreu mail;
    MailEventLog events(mail);
    aimAt(mail, server.host(), server.port());
    mail.setConnectTimeout(1);
    mail.setConnectRetry(2);
    addSimpleMessage(mail);
    QElapsedTimer clock;
    clock.start();
    mail.Send();
    EXPECT_EQ(events.failures(),
              QStringList{QStringLiteral("Timeout occurred: The SMTP Host did not respond to the request\r\n")});
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 4500); // 1 s for the greeting, up to 2 s for the unanswered QUIT
}

TEST(SmtpSession, RefusedConnectionIsReportedAtOnce)
{
    const quint16 closedPort = freeTcpPort();
    clsEnviarCorreu mail;
    MailEventLog events(mail);
    aimAt(mail, QStringLiteral("127.0.0.1"), closedPort);
    mail.setConnectRetry(3);
    addSimpleMessage(mail);
    QElapsedTimer clock;
    clock.start();
    mail.Send();
    ASSERT_EQ(events.failures().size(), 1) << events.text().toStdString();
    EXPECT_TRUE(events.failures().first().contains(QLatin1String("refused"), Qt::CaseInsensitive));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(mail.socketState(), 0);
}

// The server is reached by an IPv4 or IPv6 address, or by a name looked up
// first ("localhost" is in the hosts file: no name server is asked).
TEST(SmtpSession, ServerIsReachedByEitherAddressOrByName)
{
    struct Case {
        const char *host;
        QHostAddress::SpecialAddress listenOn;
    };
    const Case cases[] = {{"127.0.0.1", QHostAddress::LocalHost},
                          {"::1", QHostAddress::LocalHostIPv6},
                          {"localhost", QHostAddress::LocalHost}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.host);
        ScriptedSmtpServer server;
        server.addScript(simpleSendWithHelo());
        ASSERT_TRUE(server.listen(QHostAddress(c.listenOn))) << server.failure().toStdString();
        clsEnviarCorreu mail;
        MailEventLog events(mail);
        aimAt(mail, QLatin1String(c.host), server.port());
        addSimpleMessage(mail, sender, recipient);
        mail.Send();
        EXPECT_TRUE(server.waitForFinished(5s)) << server.verify().toStdString();
        EXPECT_TRUE(events.succeeded()) << events.text().toStdString();
    }
}

// While the session waits for a silent server, the window's events are
// still processed, about every 10 ms.
TEST(SmtpSession, WaitKeepsProcessingEvents)
{
    Dialogue d(QStringLiteral("P: 300\n") + simpleSendWithHelo());
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticker.start(2);
    clock.start();
    d.mail.Send();
    d.expectScriptPlayed();
    EXPECT_TRUE(d.events.succeeded()) << d.events.text().toStdString();
    EXPECT_GE(ticks, 5);
    EXPECT_LT(longestGap, 100) << "the wait left the window's events unprocessed";
}

TEST(SmtpSession, Pop3LoginComesBeforeSmtp)
{
    ScriptedSmtpServer pop3;
    pop3.addScript(script::pop3Login(QStringLiteral("usuari"), QStringLiteral("clau")));
    ASSERT_TRUE(pop3.listen());
    ScriptedSmtpServer smtp;
    smtp.addScript(simpleSendWithHelo());
    ASSERT_TRUE(smtp.listen());

    MailPlatform platform;
    platform.pop3Port = pop3.port();
    clsEnviarCorreu mail(platform);
    MailEventLog events(mail);
    aimAt(mail, smtp.host(), smtp.port());
    addSimpleMessage(mail, sender, recipient);
    mail.setUsePopAuthentication(true);
    mail.setPOP3Host(QStringLiteral("127.0.0.1"));
    mail.setUserName(QStringLiteral("usuari"));
    mail.setPassword(QStringLiteral("clau"));
    mail.Send();
    EXPECT_TRUE(pop3.waitForFinished(5s)) << pop3.verify().toStdString();
    EXPECT_TRUE(smtp.waitForFinished(5s)) << smtp.verify().toStdString();
    EXPECT_TRUE(events.contains(QStringLiteral("Status: Connecting to POP3 Server (127.0.0.1)...")));
    EXPECT_TRUE(events.contains(QStringLiteral("Status: POP3 Authentication Successful...")));
    EXPECT_TRUE(events.succeeded()) << events.text().toStdString();
}

TEST(SmtpSession, SilentPop3ServerDelaysSmtpByTheConnectTimeout)
{
    ScriptedSmtpServer pop3;
    pop3.addScript(QStringLiteral("P: 3000\n"));
    ASSERT_TRUE(pop3.listen());
    ScriptedSmtpServer smtp;
    smtp.addScript(simpleSendWithHelo());
    ASSERT_TRUE(smtp.listen());

    MailPlatform platform;
    platform.pop3Port = pop3.port();
    clsEnviarCorreu mail(platform);
    MailEventLog events(mail);
    aimAt(mail, smtp.host(), smtp.port());
    mail.setConnectTimeout(1);
    addSimpleMessage(mail, sender, recipient);
    mail.setUsePopAuthentication(true);
    mail.setPOP3Host(QStringLiteral("127.0.0.1"));
    QElapsedTimer clock;
    clock.start();
    mail.Send();
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_TRUE(smtp.waitForFinished(5s)) << smtp.verify().toStdString();
    EXPECT_TRUE(events.succeeded()) << events.text().toStdString();
}

TEST(SmtpSession, Pop3RefusalStopsTheSession)
{
    struct Case {
        const char *user;
        const char *password;
        const char *commands; // as the server must receive them
    };
    const Case cases[] = {
        {"usuari", "dolenta", "C: USER usuari\nS: +OK\nC: PASS dolenta\n"},
        // A line break in a value stays inside its command.
        {"usr\r\nDELE 1", "clau\nDELE 2", "C: USER usr  DELE 1\nS: +OK\nC: PASS clau DELE 2\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.user);
        ScriptedSmtpServer pop3;
        pop3.addScript(QStringLiteral("S: +OK ready\n") + QLatin1String(c.commands)
                       + QStringLiteral("S: -ERR [AUTH] Authentication failed.\n"));
        ASSERT_TRUE(pop3.listen());
        MailPlatform platform;
        platform.pop3Port = pop3.port();
        clsEnviarCorreu mail(platform);
        MailEventLog events(mail);
        aimAt(mail, QStringLiteral("127.0.0.1"), freeTcpPort());
        addSimpleMessage(mail);
        mail.setUsePopAuthentication(true);
        mail.setPOP3Host(QStringLiteral("127.0.0.1"));
        mail.setUserName(QLatin1String(c.user));
        mail.setPassword(QLatin1String(c.password));
        mail.Send();
        EXPECT_TRUE(pop3.waitForFinished(5s)) << pop3.verify().toStdString();
        EXPECT_EQ(events.failures(), QStringList{QStringLiteral("-ERR [AUTH] Authentication failed.\r\n\r\n")});
        EXPECT_FALSE(events.contains(QStringLiteral("Status: POP3 Authentication Successful...")));
        EXPECT_FALSE(events.succeeded());
    }
}

TEST(SmtpSession, FaultyOrClosingServerEndsTheMessageAtOnceWithItsOwnText)
{
    const QString greeted =
        script::greeting() + script::helo(domain) + QStringLiteral("C: MAIL FROM: <%1>\n").arg(sender);
    const QString timeout = QStringLiteral("Timeout occurred: The SMTP Host did not respond to the request\r\n");
    QString continuation;
    for (int i = 0; i < 1000; ++i)
        continuation += QStringLiteral("250-%1 ").arg(i, 4, 10, QLatin1Char('0')) + QString(60, u'c') + crlf;
    const qsizetype bound = ReplyReader::maxReplyBytes;
    const auto flood = [](const char *line) { return QString(QLatin1String(line) + QLatin1String("\\r\\n")).repeated(20000); };
    struct Case {
        const char *name;
        QString script;
        QString failure;
    };
    const Case cases[] = {
        {"greeting refused, then closed", QStringLiteral("S: 554 5.3.2 No service\nX:\n"),
         QStringLiteral("554 5.3.2 No service\r\n\r\n")},
        {"last words without a line end, then closed", greeted + QStringLiteral("W: 421 4.4.2 bye\nX:\n"),
         QStringLiteral("421 4.4.2 bye\r\n")},
        {"closed inside a multi-line reply", greeted + QStringLiteral("W: 250-first\\r\\n250-second\\r\\n\nX:\n"),
         QStringLiteral("250-first\r\n250-second\r\n\r\n")},
        {"closed without a word", greeted + QStringLiteral("X:\n"), timeout},
        // The goodbye, already read, answers the QUIT before it leaves.
        {"a refusal and a goodbye in one write", greeted + QStringLiteral("S: 421 4.7.0 Too busy\nS: 221 Bye\n"),
         QStringLiteral("421 4.7.0 Too busy\r\n\r\n")},
        {"the last line decides", greeted + QStringLiteral("S: 250-first\nS: 550 last\n") + script::quit(),
         QStringLiteral("250-first\r\n550 last\r\n\r\n")},
        {"a code of four digits", greeted + QStringLiteral("S: 2500 odd\n") + script::quit(),
         QStringLiteral("2500 odd\r\n\r\n")},
        // Past the bound the text so far is the failure, and the connection,
        // whose replies can no longer be told apart, is dropped.
        {"data without a line end", greeted + QStringLiteral("W: ") + QString(20000, u'x') + u'\n',
         QString(bound, u'x') + crlf},
        {"a continuation without end",
         greeted + QStringLiteral("W: ") + QString(continuation).replace(crlf, QLatin1String("\\r\\n")) + u'\n',
         continuation.left(bound) + crlf},
        // Credentials go only to the prompts of our own login, and POP3's
        // USER and PASS only to a POP3 server during its login.
        {"a login prompt answering MAIL FROM", greeted + QStringLiteral("S: 334 UGFzc3dvcmQ6\n") + script::quit(),
         QStringLiteral("334 UGFzc3dvcmQ6\r\n\r\n")},
        {"a POP3 answer to MAIL FROM", greeted + QStringLiteral("S: +OK\n") + script::quit(),
         QStringLiteral("+OK\r\n\r\n")},
        // Floods, each line complete, or each a continuation: said unasked, the
        // first bytes are shown; past the bound of lines, the reply so far.
        {"a flood of complete lines", script::greeting() + QStringLiteral("C: HELO %1\nW: %2\n").arg(domain, flood("250 ok")),
         error_text::unexpectedReply + QStringList(25, QStringLiteral("250 ok")).join(u' ') + crlf},
        {"a flood of continuation lines", greeted + QStringLiteral("W: ") + flood("250-ok") + u'\n',
         QString(QStringLiteral("250-ok\r\n")).repeated(ReplyReader::maxReplyLines) + crlf},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Dialogue d(c.script);
        d.mail.setPassword(QStringLiteral("clau"));
        QElapsedTimer clock;
        clock.start();
        d.mail.Send();
        d.expectScriptPlayed();
        EXPECT_EQ(d.events.failures(), QStringList{c.failure}) << d.events.text().toStdString();
        EXPECT_FALSE(d.events.succeeded());
        EXPECT_LT(clock.elapsed(), 1000) << "waited for a server that had spoken or gone";
        EXPECT_EQ(d.mail.socketState(), 0);
    }
}

TEST(SmtpSession, HugeMessageTimeoutIsClampedRatherThanOverflowing)
{
    Dialogue d(simpleSendWithHelo());
    d.mail.setMessageTimeout(10000000000L);
    EXPECT_EQ(d.mail.MessageTimeout(), 2147483647L);
    d.mail.Send();
    d.expectScriptPlayed();
    EXPECT_TRUE(d.events.succeeded()) << d.events.text().toStdString();
}

// After Send, where it stopped and why; each RCPT TO is answered on its own,
// and a message fails at its recipients only when the server refused them all.
// A reply only ever answers a command written before it arrived; a message
// whose final "." went unanswered may have been taken.
TEST(SmtpSession, SendOutcomeSaysWhereItStoppedAndWhy)
{
    const QString a = QStringLiteral("a@exemple.cat");
    const QString b = QStringLiteral("b@exemple.cat");
    const QString greeted = script::greeting() + script::helo(domain);
    const auto reply = [](const char *command, const QString &argument, const char *answer) {
        return QStringLiteral("C: %1%2>\nS: %3\n").arg(QLatin1String(command), argument, QLatin1String(answer));
    };
    const QString mailFrom = reply("MAIL FROM: <", sender, "250 Ok");
    const QString dataSent = greeted + mailFrom + reply("RCPT TO: <", a, "250 Ok") + QStringLiteral("C: DATA\nS: 354 go\n");
    struct Case {
        const char *name;
        QString recipients;
        QString script;
        SendStage stage; // Validation for a message sent
        QString reply;
        bool senderAccepted;
        QStringList refused; // address, then reply
        std::optional<int> code = std::nullopt;
        bool inDoubt = false;
        bool bcc = false;
        bool stop = false; // AbortSend after 300 ms
    };
    const Case cases[] = {
        {"one of two refused", a + u';' + b,
         greeted + mailFrom + reply("RCPT TO: <", a, "550 5.1.1 No such user") + reply("RCPT TO: <", b, "250 Ok")
             + script::data() + script::quit(),
         SendStage::Validation, QStringLiteral("250 2.0.0 Ok: queued\r\n"), true, {a, QStringLiteral("550 5.1.1 No such user\r\n")}, 250},
        {"login refused", a,
         script::greeting() + script::ehlo(domain, {QStringLiteral("AUTH LOGIN")})
             + QStringLiteral("C: AUTH LOGIN\nS: 535 5.7.8 No\n") + script::quit(),
         SendStage::Login, QStringLiteral("535 5.7.8 No\r\n\r\n"), false, {}, 535},
        {"sender refused", a, greeted + reply("MAIL FROM: <", sender, "553 5.7.1 No") + script::quit(), SendStage::Sender,
         QStringLiteral("553 5.7.1 No\r\n\r\n"), false, {}, 553},
        {"no answer to DATA", a, greeted + mailFrom + reply("RCPT TO: <", a, "250 Ok") + QStringLiteral("C: DATA\nX:\n"),
         SendStage::Timeout, QStringLiteral("Timeout occurred: The SMTP Host did not respond to the request\r\n"), true, {}},
        {"the final dot refused", a, dataSent + QStringLiteral("D:\nS: 554 5.7.1 Spam\n") + script::quit(), SendStage::Data,
         QStringLiteral("554 5.7.1 Spam\r\n\r\n"), true, {}, 554},
        {"the final dot unanswered", a, dataSent + QStringLiteral("D:\n") + script::quit(), SendStage::Timeout,
         error_text::noFinalReply + crlf, true, {}, std::nullopt, true},
        // Taken for answers, the early "250" would accept the message and
        // the "554" meant for it refuse the next message's MAIL FROM.
        {"a 250 right after 354", a, dataSent + QStringLiteral("S: 250 2.0.0 Ok\n"), SendStage::Data,
         error_text::unexpectedReply + QStringLiteral("250 2.0.0 Ok\r\n"), true, {}},
        // Taken for answers, the stray "250" would accept a, the "550" for a
        // refuse b, and b's "250" accept c.
        {"an extra 250 after MAIL FROM in a Bcc group", a + u';' + b + QStringLiteral(";c@exemple.cat"),
         greeted + mailFrom + QStringLiteral("S: 250 Ok\n"), SendStage::Recipient,
         error_text::unexpectedReply + QStringLiteral("250 Ok\r\n"), true, {}, std::nullopt, false, true},
        // A stop ends the wait in progress, and the session, at once.
        {"stopped while the server is silent", a, QStringLiteral("P: 1500\n"), SendStage::Connection,
         error_text::sendStopped + crlf, false, {}, std::nullopt, false, false, true},
        {"stopped while the final dot is answered", a, dataSent + QStringLiteral("D:\nP: 1500\n"), SendStage::Data,
         error_text::sendStopped + crlf, true, {}, std::nullopt, true, false, true},
    };
    MailPlatform platform;
    platform.finalReplyWait = 1s;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Dialogue d(c.script, platform);
        d.mail.setRecipient(c.bcc ? QString() : c.recipients);
        d.mail.setBccRecipient(c.bcc ? c.recipients : QString());
        d.mail.setUseAuthentication(c.stage == SendStage::Login);
        d.mail.AbortSend(); // outside a Send: nothing
        if (c.stop)
            QTimer::singleShot(300ms, &d.mail, [&] { d.mail.AbortSend(); });
        QElapsedTimer clock;
        clock.start();
        d.mail.Send();
        EXPECT_LT(clock.elapsed(), c.stop ? 1000 : 2000) << "waited past what was due";
        d.expectScriptPlayed();
        const SendOutcome &outcome = d.mail.sendOutcome();
        const bool sent = c.stage == SendStage::Validation;
        EXPECT_EQ(outcome.sent, sent);
        EXPECT_EQ(d.events.succeeded(), sent) << d.events.text().toStdString();
        EXPECT_EQ(int(outcome.stage), int(c.stage));
        EXPECT_EQ(outcome.reply, c.reply);
        EXPECT_EQ(d.events.failures(), sent ? QStringList() : QStringList{c.reply});
        EXPECT_EQ(outcome.senderAccepted, c.senderAccepted);
        QStringList refused;
        for (const RefusedRecipient &r : outcome.refused)
            refused << r.address << r.reply;
        EXPECT_EQ(refused, c.refused);
        EXPECT_EQ(outcome.replyCode, c.code);
        EXPECT_EQ(outcome.inDoubt, c.inDoubt);
        EXPECT_EQ(!outcome.messageId.isEmpty(), sent);
        EXPECT_EQ(d.server.capturedData().value(0).contains("Message-ID: " + outcome.messageId.toLatin1() + "\r\n"), sent);
    }
}

// RFC 5321 gives the final "." 10 minutes, whatever the other commands get.
TEST(SmtpSession, FinalDotIsAnsweredAfterTheMessageTimeout)
{
    Dialogue d(script::greeting() + script::helo(domain) + script::envelope(sender, {recipient})
               + QStringLiteral("C: DATA\nS: 354 go\nD:\nP: 65000\nS: 250 2.0.0 Ok: queued\n") + script::quit());
    d.mail.Send();
    d.expectScriptPlayed();
    EXPECT_EQ(d.mail.sendOutcome().replyCode, 250) << d.events.text().toStdString();
}

TEST(SmtpSession, StartTlsThatIsNotGrantedEndsTheSessionBeforeTheLogin)
{
    struct Case {
        const char *name;
        QString script; // after the greeting and the EHLO
        QStringList capabilities;
        QString failure;
    };
    const Case cases[] = {
        // The offer removed on the way: a downgrade to plain text.
        {"not offered", QString(), {QStringLiteral("AUTH LOGIN PLAIN")},
         QStringLiteral("The SMTP Host did not offer STARTTLS, which this connection requires: nothing was sent "
                        "unencrypted\r\n")},
        {"refused", QStringLiteral("C: STARTTLS\nS: 454 4.7.0 TLS not available\n"), {QStringLiteral("STARTTLS")},
         QStringLiteral("454 4.7.0 TLS not available\r\n\r\n")},
        {"answered as if it were done", QStringLiteral("C: STARTTLS\nS: 250 ok\n"), {QStringLiteral("STARTTLS")},
         QStringLiteral("250 ok\r\n\r\n")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Dialogue d(script::greeting() + script::ehlo(domain, c.capabilities) + c.script + script::quit());
        d.mail.setSecurity(SecurityMode::StartTls);
        d.mail.setUseAuthentication(true);
        d.mail.setUserName(QStringLiteral("usuari"));
        d.mail.setPassword(QStringLiteral("clau"));
        d.mail.Send();
        d.expectScriptPlayed();
        EXPECT_EQ(d.events.failures(), QStringList{c.failure}) << d.events.text().toStdString();
        EXPECT_FALSE(d.events.succeeded());
    }
}
