// The mail core's client in exact dialogues with a scripted server: each
// command and reply, what is pipelined and what waits, when each outcome is
// handed out, where the durability barrier runs, and servers that fail,
// close, flood or answer out of step.
#include "gtest_qt_printers.h"
#include "mail_core_run.h"
#include "scripted_server.h"
#include "smtp_script.h"
#include "stop_signal.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace tramelo;
using namespace tramelo::test;
using namespace std::chrono_literals;

namespace {

const QString from = QStringLiteral("jo@exemple.cat");
const QString domain = QStringLiteral("exemple.cat");

// A pipelined group: the commands, then the replies in one write, then the
// data when DATA is accepted.
QString group(const QStringList &to, const QStringList &replies)
{
    QString lines = QStringLiteral("C: MAIL FROM: <%1>\n").arg(from);
    for (const QString &address : to)
        lines += QStringLiteral("C: RCPT TO: <%1>\n").arg(address);
    lines += QStringLiteral("C: DATA\n");
    for (const QString &reply : replies)
        lines += QStringLiteral("S: %1\n").arg(reply);
    return lines + (replies.last().startsWith(u"354") ? QStringLiteral("D:\n") : QString());
}

QString accepted(const QStringList &to, bool afterDot)
{
    QStringList replies;
    if (afterDot)
        replies << QStringLiteral("250 2.0.0 Ok: queued");
    replies << QStringLiteral("250 2.1.0 Ok");
    for (qsizetype i = 0; i < to.size(); ++i)
        replies << QStringLiteral("250 2.1.5 Ok");
    return group(to, replies << QStringLiteral("354 go"));
}

const QString queued = QStringLiteral("S: 250 2.0.0 Ok: queued\n");

struct ClientRun {
    CoreEvents events;
    QList<Delivery> deliveries;
};

// One message per entry (its recipients joined by ";"), then close().
void sendAll(SmtpClient &client, const QStringList &messages, ClientRun &run)
{
    MessageSettings settings;
    settings.sender = from;
    const MessageComposer composer(settings, {}, pinnedClock());
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const QStringList to = messages[i].split(u';');
        const auto message = composer.compose({to, {}, {}, {}, QStringLiteral("Hola"), QStringLiteral("Bon dia")}, {});
        record(QStringLiteral("send %1").arg(i + 1), client.send({quint64(i + 1), {from, to}, message}), run.events,
               &run.deliveries);
    }
    record(QStringLiteral("close"), client.close(), run.events, &run.deliveries);
}

} // namespace

TEST(SmtpClient, Dialogues)
{
    const QString a = QStringLiteral("a@exemple.cat");
    const QString b = QStringLiteral("b@exemple.cat");
    const QString c = QStringLiteral("c@exemple.cat");
    const QString opened = script::greeting() + script::ehlo(domain, {QStringLiteral("PIPELINING")});
    const QString reopened = QStringLiteral("A:\n") + opened;
    const QString stepByStep = script::greeting() + script::ehlo(domain, {QStringLiteral("8BITMIME")});
    struct Row {
        const char *name;
        QString script;
        QStringList messages;
        QStringList said; // each outcome with the call that handed it out, and the barriers
        int connections = 1;
        QString firstFailure = {};
        int messagesPerSession = 100;
        GreetingPolicy greeting = GreetingPolicy::Extended;
        std::function<void(SmtpSessionConfig &)> setUp = {};
    };
    const auto logIn = [](SmtpSessionConfig &config) {
        config.login = true;
        config.credentials = {QStringLiteral("usuari"), QStringLiteral("clau")};
    };
    const auto startTls = [&](SmtpSessionConfig &config) {
        logIn(config);
        config.security = SecurityMode::StartTls;
    };
    const auto prompt = [](const char *text) { return QString::fromLatin1(QByteArray(text).toBase64()); };
    const Row rows[] = {
        {"without PIPELINING each command waits for its reply",
         stepByStep + script::envelope(from, {a}) + script::data() + script::envelope(from, {b}) + script::data()
             + script::quit(),
         {a, b}, {"barrier 1", "send 1: 1 sent", "barrier 2", "send 2: 2 sent"}},
        {"the component's dialogue: HELO in the clear",
         script::greeting() + script::helo(domain) + script::envelope(from, {a}) + script::data() + script::quit(),
         {a}, {"barrier 1", "send 1: 1 sent"}, 1, {}, 100, GreetingPolicy::AsNeeded},
        {"EHLO refused: HELO", script::greeting() + QStringLiteral("C: EHLO exemple.cat\nS: 502 5.5.2 No\n")
             + script::helo(domain) + script::envelope(from, {a}) + script::data() + script::quit(),
         {a}, {"barrier 1", "send 1: 1 sent"}},
        {"pipelined: a message's \".\" leaves with the next one's commands",
         opened + accepted({a}, false) + accepted({b}, true) + accepted({c}, true) + queued + script::quit(), {a, b, c},
         {"barrier 1", "send 2: 1 sent", "barrier 2", "send 3: 2 sent", "barrier 3", "close: 3 sent"}},
        {"a refused RCPT inside a group",
         opened + group({a, b}, {"250 Ok", "250 Ok", "550 5.1.1 No such user", "354 go"}) + queued + script::quit(),
         {a + u';' + b}, {"barrier 1", "close: 1 sent refused 1"}},
        {"every RCPT refused and DATA too: RSET before the next",
         opened + group({a}, {"250 Ok", "550 5.1.1 No such user", "554 5.5.1 No valid recipients"})
             + QStringLiteral("C: RSET\nS: 250 Ok\n") + accepted({b}, false) + queued + script::quit(),
         {a, b}, {"send 1: 1 Recipient refused 1", "barrier 2", "close: 2 sent"}, 1,
         QStringLiteral("550 5.1.1 No such user\r\n\r\n")},
        {"every RCPT refused and DATA accepted: an empty data ends it",
         opened + group({a}, {"250 Ok", "550 5.1.1 No such user", "354 go"}).replace(QStringLiteral("D:\n"), QString())
             + QStringLiteral("C: .\nS: 554 5.5.1 No valid recipients\nC: RSET\nS: 250 Ok\n") + accepted({b}, false)
             + queued + script::quit(),
         {a, b}, {"send 1: 1 Recipient refused 1", "barrier 2", "close: 2 sent"}},
        {"a refused sender: the group's other replies read, then RSET",
         opened + group({a}, {"553 5.7.1 Sender refused", "503 5.5.1 Need MAIL", "503 5.5.1 Need MAIL"})
             + QStringLiteral("C: RSET\nS: 250 Ok\n") + accepted({b}, false) + queued + script::quit(),
         {a, b}, {"send 1: 1 Sender", "barrier 2", "close: 2 sent"}, 1, QStringLiteral("553 5.7.1 Sender refused\r\n\r\n")},
        {"a 421 in the middle of a group",
         opened + accepted({a}, false) + group({b}, {"250 2.0.0 Ok: queued", "421 4.3.2 Shutting down"})
             + QStringLiteral("X:\n") + reopened + accepted({c}, false) + queued + script::quit(),
         {a, b, c}, {"barrier 1", "send 2: 1 sent", "send 2: 2 Sender", "barrier 3", "close: 3 sent"}, 2,
         QStringLiteral("421 4.3.2 Shutting down\r\n\r\n")},
        {"a refused \".\" inside a group",
         opened + accepted({a}, false) + accepted({b}, true).replace(QStringLiteral("250 2.0.0 Ok: queued"),
                                                                     QStringLiteral("554 5.7.1 Spam"))
             + queued + script::quit(),
         {a, b}, {"barrier 1", "send 2: 1 Data", "barrier 2", "close: 2 sent"}, 1, QStringLiteral("554 5.7.1 Spam\r\n\r\n")},
        {"PIPELINING offered, then replies out of step",
         opened + group({a}, {"250 Ok", "354 go"}).replace(QStringLiteral("D:\n"), QString()) + reopened + accepted({b}, false) + queued + script::quit(), {a, b},
         {"send 1: 1 Recipient", "barrier 2", "close: 2 sent"}, 2, QStringLiteral("354 go\r\n\r\n")},
        {"no answer to the final \".\"", stepByStep + script::envelope(from, {a}) + QStringLiteral("C: DATA\nS: 354 go\nD:\nX:\n"),
         {a}, {"barrier 1", "send 1: 1 Timeout in doubt"}, 1,
         QStringLiteral("No reply to the end of the message: it may have been delivered\r\n")},
        {"a reply before the data was written",
         stepByStep + script::envelope(from, {a}) + QStringLiteral("C: DATA\nS: 354 go\nS: 250 2.0.0 Ok\n"), {a},
         {"send 1: 1 Data"}, 1, QStringLiteral("Unexpected reply from the SMTP Host: 250 2.0.0 Ok\r\n")},
        {"a flood of replies", stepByStep + QStringLiteral("C: MAIL FROM: <%1>\n").arg(from)
             + QStringLiteral("S: 250 Ok\n").repeated(200), {a}, {"send 1: 1 Recipient"}, 1,
         QStringLiteral("Unexpected reply from the SMTP Host: ") + QStringLiteral("250 Ok  ").repeated(25).trimmed() + QStringLiteral("\r\n")},
        {"a reply past the bounds", stepByStep + QStringLiteral("C: MAIL FROM: <%1>\nW: 250 ").arg(from) + QString(2000, u'x')
             + u'\n', {a}, {"send 1: 1 Sender"}, 1, QStringLiteral("250 ") + QString(996, u'x') + QStringLiteral("\r\n")},
        {"an idle session the server ended is replaced quietly",
         stepByStep + script::envelope(from, {a}) + QStringLiteral("C: DATA\nS: 354 go\nD:\n") + queued
             + QStringLiteral("S: 421 4.4.2 Idle\nX:\n") + QStringLiteral("A:\n") + stepByStep
             + script::envelope(from, {b}) + script::data() + script::quit(),
         {a, b}, {"barrier 1", "send 1: 1 sent", "barrier 2", "send 2: 2 sent"}, 2},
        {"AUTH LOGIN answered by the prompts' words, and the AUTH= form",
         script::greeting() + script::ehlo(domain, {QStringLiteral("AUTH=LOGIN")})
             + script::authLogin(QStringLiteral("usuari"), QStringLiteral("clau"))
             + QStringLiteral("C: MAIL FROM: <%1> AUTH=%1\nS: 250 Ok\nC: RCPT TO: <%2>\nS: 250 Ok\n").arg(from, a)
             + script::data() + script::quit(),
         {a}, {"barrier 1", "send 1: 1 sent"}, 1, {}, 100, GreetingPolicy::AsNeeded, logIn},
        {"a third login prompt is cancelled, and the refusal reported",
         script::greeting() + script::ehlo(domain, {QStringLiteral("AUTH LOGIN")})
             + QStringLiteral("C: AUTH LOGIN\nS: 334 %1\nC: %2\nS: 334 %3\nC: %4\nS: 334 %5\nC: \nC: *\nS: 535 5.7.8 No\n")
                   .arg(prompt("Who are you"), prompt("usuari"), prompt("Prove it"), prompt("clau"), prompt("Again?"))
             + script::quit(),
         {a}, {"send 1: 1 Login"}, 1, QStringLiteral("535 5.7.8 No\r\n\r\n"), 100, GreetingPolicy::Extended, logIn},
        {"STARTTLS not offered: nothing goes in the clear",
         script::greeting() + script::ehlo(domain, {QStringLiteral("AUTH LOGIN PLAIN")}) + script::quit(), {a},
         {"send 1: 1 Connection"}, 1,
         QStringLiteral("The SMTP Host did not offer STARTTLS, which this connection requires: nothing was sent unencrypted\r\n"),
         100, GreetingPolicy::Extended, startTls},
        {"STARTTLS refused", script::greeting() + script::ehlo(domain, {QStringLiteral("STARTTLS")})
             + QStringLiteral("C: STARTTLS\nS: 454 4.7.0 TLS not available\n") + script::quit(), {a},
         {"send 1: 1 Connection"}, 1, QStringLiteral("454 4.7.0 TLS not available\r\n\r\n"), 100,
         GreetingPolicy::Extended, startTls},
        {"the greeting refused", QStringLiteral("S: 554 5.3.2 No service\nX:\n"), {a}, {"send 1: 1 Connection"}, 1,
         QStringLiteral("554 5.3.2 No service\r\n\r\n")},
        {"a code of four digits", stepByStep + QStringLiteral("C: MAIL FROM: <%1>\nS: 2500 odd\n").arg(from) + script::quit(),
         {a}, {"send 1: 1 Sender"}, 1, QStringLiteral("2500 odd\r\n\r\n")},
        {"a login prompt answering MAIL FROM",
         stepByStep + QStringLiteral("C: MAIL FROM: <%1>\nS: 334 UGFzc3dvcmQ6\n").arg(from) + script::quit(), {a},
         {"send 1: 1 Sender"}, 1, QStringLiteral("334 UGFzc3dvcmQ6\r\n\r\n")},
        {"a session carries its share, its last \".\" with QUIT, then another",
         opened + accepted({a}, false) + accepted({b}, true) + QStringLiteral("C: QUIT\n") + queued
             + QStringLiteral("S: 221 2.0.0 Bye\n") + reopened + accepted({c}, false)
             + queued + script::quit(),
         {a, b, c}, {"barrier 1", "send 2: 1 sent", "barrier 2", "send 3: 2 sent", "barrier 3", "close: 3 sent"}, 2, {}, 2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedSmtpServer server;
        server.addScript(row.script);
        ASSERT_TRUE(server.listen()) << server.failure();
        SmtpSessionConfig config = loopbackConfig(server.port());
        config.messagesPerSession = row.messagesPerSession;
        config.greeting = row.greeting;
        if (row.setUp)
            row.setUp(config);
        ClientRun run;
        QElapsedTimer clock;
        clock.start();
        runBesideEventLoop(
            [&] {
                SmtpClient client(config, &run.events);
                sendAll(client, row.messages, run);
            },
            20s);
        EXPECT_TRUE(server.waitForFinished(5s)) << server.verify();
        EXPECT_EQ(run.events.lines, row.said);
        EXPECT_EQ(server.connectionCount(), row.connections);
        EXPECT_LT(clock.elapsed(), 3000) << "waited for a server that had spoken or gone";
        for (const Delivery &delivery : std::as_const(run.deliveries)) {
            if (!delivery.outcome.sent && !row.firstFailure.isEmpty()) {
                EXPECT_EQ(delivery.outcome.reply, row.firstFailure);
                break;
            }
        }
    }
}

TEST(SmtpClient, StopEndsEveryWaitAtOnce)
{
    ScriptedSmtpServer server;
    server.addScript(script::greeting() + script::ehlo(domain) + script::envelope(from, {QStringLiteral("a@exemple.cat")})
                     + QStringLiteral("C: DATA\nS: 354 go\nD:\nP: 4000\n"));
    ASSERT_TRUE(server.listen());
    StopSignal stop;
    ClientRun run;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        SmtpClient client(loopbackConfig(server.port()), &run.events, &stop);
        sendAll(client, {QStringLiteral("a@exemple.cat")}, run);
        done = true;
    });
    // The message is written whole: the client waits for its answer.
    EXPECT_TRUE(waitUntil([&] { return server.capturedData().size() == 1; }, 5s));
    QElapsedTimer clock;
    clock.start();
    stop.requestStop();
    EXPECT_TRUE(waitUntil([&] { return done.load(); }, 5s));
    worker.join();
    EXPECT_LT(clock.elapsed(), 500);
    ASSERT_EQ(run.deliveries.size(), 1);
    EXPECT_TRUE(run.deliveries[0].outcome.inDoubt);
    EXPECT_EQ(run.deliveries[0].outcome.reply, QStringLiteral("Sending stopped\r\n"));
}

TEST(SmtpClient, ServerReachedByEitherAddress)
{
    for (const auto address : {QHostAddress::LocalHost, QHostAddress::LocalHostIPv6}) {
        ScriptedSmtpServer server;
        server.addScript(script::greeting() + script::ehlo(domain) + script::envelope(from, {QStringLiteral("a@exemple.cat")})
                         + script::data() + script::quit());
        ASSERT_TRUE(server.listen(QHostAddress(address))) << server.failure();
        ClientRun run;
        runBesideEventLoop(
            [&] {
                SmtpClient client(loopbackConfig(server.port(), server.host()), &run.events);
                sendAll(client, {QStringLiteral("a@exemple.cat")}, run);
            },
            10s);
        EXPECT_TRUE(server.waitForFinished(5s)) << server.verify();
        EXPECT_EQ(run.events.lines, QStringList({"barrier 1", "send 1: 1 sent"})) << server.host();
    }
}
