// The test servers' own tests: each fixture driven by a raw client, so that a
// broken fixture shows up here rather than as someone else's odd failure.

#include "aiosmtpd_server.h"
#include "dovecot_pop3_server.h"
#include "gtest_qt_printers.h"
#include "mime_report.h"
#include "scripted_server.h"
#include "smtp_script.h"
#include "smtp_sink_server.h"
#include "test_support.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <functional>

using namespace std::chrono_literals;
using namespace tramelo::test;

namespace {

constexpr auto replyTimeout = 10s;

// A raw client that pumps the event loop while it waits, so that a fixture
// living in this thread keeps playing.
class LineClient
{
public:
    bool connectTo(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        waitUntil([this] {
            return m_socket.state() == QAbstractSocket::ConnectedState
                   || m_socket.state() == QAbstractSocket::UnconnectedState;
        }, replyTimeout);
        return m_socket.state() == QAbstractSocket::ConnectedState;
    }

    void send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.flush();
    }

    // One whole reply: its lines up to the first without a "-" after the code.
    QByteArray reply()
    {
        QByteArray text;
        for (QByteArray line = readLine(); !line.isEmpty(); line = readLine()) {
            text += line;
            if (line.size() < 4 || line[3] != '-')
                break;
        }
        return text;
    }

    QByteArray command(const QByteArray &line)
    {
        send(line + "\r\n");
        return reply();
    }

    QByteArray readLine()
    {
        waitUntil([this] { return m_socket.canReadLine() || m_socket.state() != QAbstractSocket::ConnectedState; },
                  replyTimeout);
        return m_socket.readLine();
    }

    QByteArray readSome()
    {
        waitUntil([this] { return m_socket.bytesAvailable() > 0; }, replyTimeout);
        return m_socket.readAll();
    }

    bool waitForClose()
    {
        return waitUntil([this] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, replyTimeout);
    }

    void close()
    {
        m_socket.disconnectFromHost();
        waitForClose();
    }

private:
    QTcpSocket m_socket;
};

QByteArray base64(const QByteArray &text)
{
    return text.toBase64();
}

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// ---------------------------------------------------------------- scripted

TEST(ScriptedSmtpServer, PlaysADialogueAndCapturesTheDataAsSent)
{
    ScriptedSmtpServer server;
    server.addScript(script::greeting() + script::ehlo(QStringLiteral("client.test"), {QStringLiteral("AUTH LOGIN PLAIN")})
                     + QStringLiteral("C^ MAIL FROM: <\nS: 250 ok\n")
                     + QStringLiteral("C~ RCPT TO: <[a-z]+@example\\.com>\nS: 250 ok\n") + script::data()
                     + script::quit());
    ASSERT_TRUE(server.listen()) << server.verify();

    LineClient client;
    ASSERT_TRUE(client.connectTo(server.port()));
    EXPECT_EQ(client.reply(), "220 fake.tramelo.test ESMTP ready\r\n");
    EXPECT_EQ(client.command("EHLO client.test"), "250-fake.tramelo.test\r\n250 AUTH LOGIN PLAIN\r\n");
    EXPECT_EQ(client.command("MAIL FROM: <a@client.test>"), "250 ok\r\n");
    EXPECT_EQ(client.command("RCPT TO: <someone@example.com>"), "250 ok\r\n");
    EXPECT_EQ(client.command("DATA"), "354 End data with <CR><LF>.<CR><LF>\r\n");
    EXPECT_EQ(client.command("Subject: s\r\n\r\n..dot\r\n\tlast\r\n."), "250 2.0.0 Ok: queued\r\n");
    EXPECT_EQ(client.command("QUIT"), "221 2.0.0 Bye\r\n");

    ASSERT_TRUE(server.waitForFinished(replyTimeout)) << server.verify();
    EXPECT_EQ(server.capturedData(), QList<QByteArray>{"Subject: s\r\n\r\n..dot\r\n\tlast\r\n"});
    EXPECT_TRUE(server.transcript().contains(QStringLiteral("--> EHLO client.test"))) << server.transcript();
    EXPECT_TRUE(server.transcript().contains(QStringLiteral("<-- 250 AUTH LOGIN PLAIN"))) << server.transcript();
}

TEST(ScriptedSmtpServer, SplitsAReplyAcrossWrites)
{
    ScriptedSmtpServer server;
    server.addScript(QStringLiteral("S: 220 hi\nC: NOOP\nW: 25\nP: 300\nS: 0 OK\n"));
    ASSERT_TRUE(server.listen());

    LineClient client;
    ASSERT_TRUE(client.connectTo(server.port()));
    EXPECT_EQ(client.reply(), "220 hi\r\n");
    client.send("NOOP\r\n");
    EXPECT_EQ(client.readSome(), "25");
    EXPECT_EQ(client.readLine(), "0 OK\r\n");
    EXPECT_TRUE(server.waitForFinished(replyTimeout)) << server.verify();
}

TEST(ScriptedSmtpServer, ClosesThenTakesTheNextConnection)
{
    ScriptedSmtpServer server;
    server.addScript(script::pop3Login(QStringLiteral("u"), QStringLiteral("p"))
                     + QStringLiteral("A:\nS: 220 second\nC: QUIT\nS: 421 closing\nX:\nA:\nS: 220 third\n"));
    ASSERT_TRUE(server.listen());

    LineClient pop3;
    ASSERT_TRUE(pop3.connectTo(server.port()));
    EXPECT_EQ(pop3.reply(), "+OK POP3 ready\r\n");
    EXPECT_EQ(pop3.command("USER u"), "+OK\r\n");
    EXPECT_EQ(pop3.command("PASS p"), "+OK Logged in.\r\n");
    EXPECT_EQ(pop3.command("QUIT"), "+OK Logging out.\r\n");
    pop3.close();

    LineClient second;
    ASSERT_TRUE(second.connectTo(server.port()));
    EXPECT_EQ(second.reply(), "220 second\r\n");
    EXPECT_EQ(second.command("QUIT"), "421 closing\r\n");
    EXPECT_TRUE(second.waitForClose());

    LineClient third;
    ASSERT_TRUE(third.connectTo(server.port()));
    EXPECT_EQ(third.reply(), "220 third\r\n");
    EXPECT_TRUE(server.waitForFinished(replyTimeout)) << server.verify();
    EXPECT_EQ(server.connectionCount(), 3);
}

TEST(ScriptedSmtpServer, ReportsAScriptLeftUnfinished)
{
    ScriptedSmtpServer server;
    server.addScript(QStringLiteral("S: 220 hi\nC: QUIT\nS: 221 bye\n"));
    ASSERT_TRUE(server.listen());
    LineClient client;
    ASSERT_TRUE(client.connectTo(server.port()));
    EXPECT_EQ(client.reply(), "220 hi\r\n");

    EXPECT_FALSE(server.waitForFinished(300ms));
    EXPECT_TRUE(server.failure().isEmpty());
    EXPECT_TRUE(server.verify().contains(QStringLiteral("Not played:\n  C: QUIT\n  S: 221 bye"))) << server.verify();
}

TEST(ScriptedSmtpServer, RejectsAMalformedScript)
{
    ScriptedSmtpServer server;
    server.addScript(QStringLiteral("S: 220 hi\nQ: what\n"));
    EXPECT_FALSE(server.listen());
    EXPECT_TRUE(server.failure().contains(QStringLiteral("bad script line \"Q: what\""))) << server.failure();
}

struct ClientFault
{
    const char *name;
    QString script;
    std::function<void(LineClient &, quint16 port)> client;
    QString failure;
};

TEST(ScriptedSmtpServer, FailsOnWhatTheScriptDoesNotExpect)
{
    const QString greetThenEhlo = QStringLiteral("S: 220 hi\nC: EHLO a.test\nS: 250 ok\n");
    const QList<ClientFault> faults = {
        {"another line", greetThenEhlo, [](LineClient &c, quint16) { c.reply(), c.send("HELO a.test\r\n"); },
         QStringLiteral("the script expected \"C: EHLO a.test\", the client sent \"HELO a.test\"")},
        {"a bare line feed", greetThenEhlo, [](LineClient &c, quint16) { c.reply(), c.send("EHLO a.test\n"); },
         QStringLiteral("bare LF")},
        {"a line before the greeting", QStringLiteral("P: 200\n") + greetThenEhlo,
         [](LineClient &c, quint16) { c.send("EHLO a.test\r\n"); },
         QStringLiteral("the client sent \"EHLO a.test\" before the server's reply \"S: 220 hi\"")},
        {"two commands at once", greetThenEhlo + QStringLiteral("C: QUIT\n"),
         [](LineClient &c, quint16) { c.reply(), c.send("EHLO a.test\r\nQUIT\r\n"); },
         QStringLiteral("the client sent \"QUIT\" before the server's reply \"S: 250 ok\"")},
        {"a line after the end", greetThenEhlo,
         [](LineClient &c, quint16) { c.reply(), c.command("EHLO a.test"), c.send("NOOP\r\n"); },
         QStringLiteral("the client sent \"NOOP\\r\\n\", which the script did not expect")},
        {"a wrong prefix", QStringLiteral("S: 220 hi\nC^ MAIL FROM: <\n"),
         [](LineClient &c, quint16) { c.reply(), c.send("MAIL FROM:<a@b.test>\r\n"); },
         QStringLiteral("the script expected \"C^ MAIL FROM: <\"")},
        {"a close mid-script", greetThenEhlo, [](LineClient &c, quint16) { c.reply(), c.close(); },
         QStringLiteral("the client closed the connection where the script expected \"C: EHLO a.test\"")},
        {"data sent before 354", QStringLiteral("S: 220 hi\nC: DATA\nS: 354 go\nD:\n"),
         [](LineClient &c, quint16) { c.reply(), c.send("DATA\r\nSubject: x\r\n"); },
         QStringLiteral("the client sent message data (\"Subject: x\\r\\n\") before the server's reply \"S: 354 go\"")},
        {"another connection", QStringLiteral("S: 220 hi\n"),
         [](LineClient &c, quint16 port) {
             c.reply();
             LineClient other;
             other.connectTo(port);
             other.waitForClose();
         },
         QStringLiteral("the client opened another connection after the end of the script")},
    };
    for (const ClientFault &fault : faults) {
        SCOPED_TRACE(fault.name);
        ScriptedSmtpServer server;
        server.addScript(fault.script);
        ASSERT_TRUE(server.listen());
        LineClient client;
        ASSERT_TRUE(client.connectTo(server.port()));
        fault.client(client, server.port());

        EXPECT_FALSE(server.waitForFinished(2s));
        EXPECT_TRUE(server.failure().contains(fault.failure)) << server.verify();
        EXPECT_TRUE(server.verify().startsWith(QStringLiteral("The scripted server failed: "))) << server.verify();
        // A failure closes the connection so the client does not wait in vain.
        EXPECT_TRUE(client.waitForClose());
    }
}

// ---------------------------------------------------------------- aiosmtpd

TEST(AiosmtpdServer, LogsInWithItsOwnPromptsAndSavesTheMessage)
{
    AiosmtpdServer server({QStringLiteral("joan"), QStringLiteral("secret"), false, {QStringLiteral("blocked")}});
    ASSERT_TRUE(server.start()) << server.errorText();

    LineClient client;
    ASSERT_TRUE(client.connectTo(server.port()));
    EXPECT_TRUE(client.reply().startsWith("220 aiosmtpd.tramelo.test "));
    const QByteArray ehlo = client.command("EHLO client.test");
    EXPECT_TRUE(ehlo.contains("\r\n250-AUTH LOGIN PLAIN\r\n")) << ehlo.constData();
    EXPECT_TRUE(ehlo.endsWith("\r\n250 HELP\r\n")) << ehlo.constData();
    EXPECT_EQ(client.command("AUTH LOGIN"), "334 VXNlciBOYW1lAA==\r\n");
    EXPECT_EQ(client.command(base64("joan")), "334 UGFzc3dvcmQA\r\n");
    EXPECT_EQ(client.command(base64("secret")), "235 2.7.0 Authentication successful\r\n");
    EXPECT_TRUE(client.command("MAIL FROM:<anna@client.test>").startsWith("250 "));
    EXPECT_EQ(client.command("RCPT TO:<blocked@example.com>"),
              "550 5.1.1 <blocked@example.com>: Recipient address rejected\r\n");
    EXPECT_TRUE(client.command("RCPT TO:<pere@example.com>").startsWith("250 "));
    EXPECT_TRUE(client.command("DATA").startsWith("354 "));
    EXPECT_TRUE(client.command("Subject: s\r\n\r\n..dot\r\nend\r\n.").startsWith("250 "));
    client.command("QUIT");

    ASSERT_TRUE(server.waitForMessages(1, replyTimeout));
    const QList<AiosmtpdServer::Message> messages = server.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].mailFrom, QStringLiteral("anna@client.test"));
    EXPECT_EQ(messages[0].rcptTos, QStringList{QStringLiteral("pere@example.com")});
    EXPECT_EQ(messages[0].helo, QStringLiteral("client.test"));
    EXPECT_EQ(messages[0].login, QStringLiteral("joan"));
    EXPECT_EQ(messages[0].data, "Subject: s\r\n\r\n.dot\r\nend\r\n");
}

TEST(AiosmtpdServer, RefusesAWrongPasswordAndOffersNoLoginWithoutOne)
{
    AiosmtpdServer withLogin({QStringLiteral("joan"), QStringLiteral("secret"), true, {}});
    ASSERT_TRUE(withLogin.start()) << withLogin.errorText();
    LineClient client;
    ASSERT_TRUE(client.connectTo(withLogin.port()));
    client.reply();
    client.command("EHLO client.test");
    EXPECT_TRUE(client.command("MAIL FROM:<anna@client.test>").startsWith("530 "));
    client.command("AUTH LOGIN");
    client.command(base64("joan"));
    EXPECT_EQ(client.command(base64("wrong")), "535 5.7.8 Authentication credentials invalid\r\n");

    AiosmtpdServer withoutLogin;
    ASSERT_TRUE(withoutLogin.start()) << withoutLogin.errorText();
    LineClient plain;
    ASSERT_TRUE(plain.connectTo(withoutLogin.port()));
    plain.reply();
    EXPECT_FALSE(plain.command("EHLO client.test").contains("AUTH"));
}

// ---------------------------------------------------------------- MIME

TEST(MimeInspect, DecodesHeadersStructureAndParts)
{
    const QByteArray picture = QByteArray::fromHex("89504e470d0a1a0a00ff10");
    const QByteArray raw = "From: =?ISO-8859-1?Q?Caf=E9?= <a@b.test>\r\n"
                           "To: \"x@y.test\" <x@y.test>,\r\n\t\"Sales Office\" <s@o.test>\r\n"
                           "Subject: =?ISO-8859-1?B?Q2Fm6Q==?=\r\n"
                           "MIME-Version: 1.0\r\n"
                           "Content-Type: multipart/related;\r\n\tboundary=\"b1\"\r\n\r\n"
                           "This is a multi-part message in MIME format.\r\n\r\n"
                           "--b1\r\nContent-Type: text/html;\r\n\tcharset=\"iso-8859-1\"\r\n"
                           "Content-Transfer-Encoding: 8bit\r\n\r\n<img src=\"cid:pic\">caf\xe9\r\n\r\n"
                           "--b1\r\nContent-Type: image/png;\r\n\tname=\"pic.png\"\r\nContent-Transfer-Encoding: base64\r\n"
                           "Content-ID: <pic>\r\nContent-Disposition: inline;\r\n\tfilename=\"pic.png\"\r\n\r\n"
                           + picture.toBase64() + "\r\n\r\n--b1--\r\n";
    const MimeInspection inspection = inspectMime(raw);
    ASSERT_TRUE(inspection.error.isEmpty()) << inspection.error;
    const QJsonObject message = inspection.message;
    EXPECT_EQ(message[u"headers"][u"subject"][0].toString(), QStringLiteral("Café"));
    EXPECT_EQ(message[u"addresses"][u"from"][0][u"display_name"].toString(), QStringLiteral("Café"));
    EXPECT_EQ(message[u"addresses"][u"to"][1][u"display_name"].toString(), QStringLiteral("Sales Office"));
    EXPECT_EQ(message[u"content_type"].toString(), QStringLiteral("multipart/related"));
    EXPECT_EQ(message[u"boundary"].toString(), QStringLiteral("b1"));
    EXPECT_TRUE(message[u"defects"].toArray().isEmpty());
    const QJsonArray parts = message[u"parts"].toArray();
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts[0][u"charset"].toString(), QStringLiteral("iso-8859-1"));
    EXPECT_EQ(parts[0][u"text"].toString(), QStringLiteral("<img src=\"cid:pic\">café\r\n"));
    EXPECT_EQ(parts[1][u"content_id"].toString(), QStringLiteral("<pic>"));
    EXPECT_EQ(parts[1][u"filename"].toString(), QStringLiteral("pic.png"));
    EXPECT_EQ(parts[1][u"sha256"].toString(), sha256(picture));
    EXPECT_EQ(parts[1][u"length"].toInt(), picture.size());
}

TEST(MimeInspect, FindsUuencodedFilesInAPlainMessage)
{
    const MimeInspection inspection =
        inspectMime("From: a@b.test\r\nSubject: x\r\n\r\nhello\r\nbegin 600 cat.txt\r\n#0V%T\r\n`\r\nend\r\n");
    ASSERT_TRUE(inspection.error.isEmpty()) << inspection.error;
    const QJsonArray blocks = inspection.message[u"uuencoded"].toArray();
    ASSERT_EQ(blocks.size(), 1);
    EXPECT_EQ(blocks[0][u"name"].toString(), QStringLiteral("cat.txt"));
    EXPECT_TRUE(blocks[0][u"error"].isNull());
    EXPECT_EQ(blocks[0][u"sha256"].toString(), sha256("Cat"));
}

// ---------------------------------------------------------------- smtp-sink

TEST(SmtpSinkServer, CountsAndKeepsMessages)
{
    SmtpSinkServer sink({{}, {}, true});
    ASSERT_TRUE(sink.start()) << sink.errorText();
    LineClient client;
    ASSERT_TRUE(client.connectTo(sink.port()));
    EXPECT_EQ(client.reply(), "220 smtp-sink ESMTP\r\n");
    EXPECT_FALSE(client.command("EHLO client.test").contains("AUTH"));
    EXPECT_TRUE(client.command("MAIL FROM:<anna@client.test>").startsWith("250 "));
    EXPECT_TRUE(client.command("RCPT TO:<pere@example.com>").startsWith("250 "));
    EXPECT_TRUE(client.command("RCPT TO:<rosa@example.com>").startsWith("250 "));
    EXPECT_TRUE(client.command("DATA").startsWith("354 "));
    EXPECT_EQ(client.command("Subject: s\r\n\r\n..dot\r\nend\r\n."), "250 2.0.0 Ok\r\n");
    EXPECT_EQ(client.command("QUIT"), "221 Bye\r\n");

    ASSERT_TRUE(sink.waitForMessageCount(1, replyTimeout));
    EXPECT_EQ(sink.messageCount(), 1);
    const QList<SmtpSinkServer::Message> messages = sink.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].helo, QStringLiteral("client.test"));
    EXPECT_EQ(messages[0].mailArgs, QStringLiteral("<anna@client.test>"));
    EXPECT_EQ(messages[0].rcptArgs, (QStringList{QStringLiteral("<pere@example.com>"), QStringLiteral("<rosa@example.com>")}));
    EXPECT_EQ(messages[0].content, "Subject: s\n\n.dot\nend\n");
}

TEST(SmtpSinkServer, RejectsTheChosenCommands)
{
    struct Rejection
    {
        QString command;
        bool hard;
        int failingStep;
        QByteArray reply;
    };
    const QList<Rejection> rejections = {
        {QStringLiteral("RCPT"), true, 2, "500 5.3.0 Error: command failed\r\n"},
        {QStringLiteral("RCPT"), false, 2, "450 4.3.0 Error: command failed\r\n"},
        {QStringLiteral("DATA"), true, 3, "500 5.3.0 Error: command failed\r\n"},
        {QStringLiteral("DATA"), false, 3, "450 4.3.0 Error: command failed\r\n"},
        {QStringLiteral("."), true, 4, "500 5.3.0 Error: command failed\r\n"},
    };
    const QList<QByteArray> steps = {"HELO client.test", "MAIL FROM:<anna@client.test>", "RCPT TO:<pere@example.com>",
                                     "DATA", "Subject: s\r\n\r\nbody\r\n."};
    for (const Rejection &rejection : rejections) {
        SCOPED_TRACE(rejection.command.toStdString() + (rejection.hard ? " hard" : " soft"));
        SmtpSinkServer::Options options;
        (rejection.hard ? options.hardRejectCommands : options.softRejectCommands) << rejection.command;
        SmtpSinkServer sink(options);
        ASSERT_TRUE(sink.start()) << sink.errorText();
        LineClient client;
        ASSERT_TRUE(client.connectTo(sink.port()));
        client.reply();
        for (int step = 0; step < rejection.failingStep; ++step) {
            const QByteArray reply = client.command(steps[step]);
            EXPECT_TRUE(reply.startsWith('2') || reply.startsWith('3')) << steps[step].constData();
        }
        EXPECT_EQ(client.command(steps[rejection.failingStep]), rejection.reply);
    }
}

// ---------------------------------------------------------------- Dovecot

TEST(DovecotPop3Server, LogsInWithTheRightPasswordOnly)
{
    DovecotPop3Server server;
    ASSERT_TRUE(server.start()) << server.errorText();

    LineClient good;
    ASSERT_TRUE(good.connectTo(server.port()));
    EXPECT_EQ(good.reply(), "+OK Dovecot (Debian) ready.\r\n");
    EXPECT_EQ(good.command("USER " + server.user().toUtf8()), "+OK\r\n");
    EXPECT_EQ(good.command("PASS " + server.password().toUtf8()), "+OK Logged in.\r\n");
    EXPECT_EQ(good.command("QUIT"), "+OK Logging out.\r\n");

    LineClient bad;
    ASSERT_TRUE(bad.connectTo(server.port()));
    bad.reply();
    EXPECT_EQ(bad.command("USER " + server.user().toUtf8()), "+OK\r\n");
    EXPECT_EQ(bad.command("PASS wrong"), "-ERR [AUTH] Authentication failed.\r\n");
    EXPECT_TRUE(bad.command("QUIT").startsWith("+OK"));
}

// ---------------------------------------------------------------- Python benchmark client

QJsonObject runPythonBench(quint16 port, const QString &mode, int count)
{
    QProcess bench;
    bench.start(debianPython(), {QStringLiteral("-I"), supportFile(QStringLiteral("python_smtp_bench.py")),
                                 QStringLiteral("127.0.0.1"), QString::number(port), mode, QString::number(count)});
    if (!bench.waitForFinished(60000) || bench.exitCode() != 0) {
        ADD_FAILURE() << bench.readAllStandardError().constData();
        return {};
    }
    return QJsonDocument::fromJson(bench.readAllStandardOutput()).object();
}

TEST(PythonSmtpBench, RunsSessionsAndMessagesAgainstTheSink)
{
    SmtpSinkServer sink({{}, {}, true});
    ASSERT_TRUE(sink.start()) << sink.errorText();

    const QJsonObject sessions = runPythonBench(sink.port(), QStringLiteral("sessions"), 3);
    EXPECT_EQ(sessions[u"count"].toInt(), 3);
    EXPECT_GT(sessions[u"per_second"].toDouble(), 0);
    EXPECT_EQ(sink.messageCount(), 0);

    const QJsonObject messages = runPythonBench(sink.port(), QStringLiteral("messages"), 2);
    EXPECT_EQ(messages[u"count"].toInt(), 2);
    ASSERT_TRUE(sink.waitForMessageCount(2, replyTimeout));
    const QList<SmtpSinkServer::Message> kept = sink.messages();
    ASSERT_EQ(kept.size(), 2);
    EXPECT_EQ(kept[1].rcptArgs, QStringList{QStringLiteral("<recipient1@bench.tramelo.test>")});
    EXPECT_TRUE(kept[1].content.contains("Content-Type: text/html; charset=\"iso-8859-1\"")) << kept[1].content.constData();
}

} // namespace
