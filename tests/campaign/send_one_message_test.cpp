#include "aiosmtpd_server.h"
#include "campaign.h"
#include "run_settings.h"
#include "clsEnviarCorreu.h"
#include "fake_campaign_view.h"
#include "fake_internet_connection.h"
#include "gtest_qt_printers.h"
#include "internet_connection.h"
#include "scripted_server.h"
#include "send_one_message.h"
#include "smtp_script.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using namespace tramelo;
using namespace std::chrono_literals;
using tramelo::test::AiosmtpdServer;
using tramelo::test::FakeCampaignView;
using tramelo::test::FakeInternetConnection;

namespace {

const QString noConnection = QStringLiteral("No hi ha connexio a Internet");

} // namespace

TEST(SmtpServerSetting, SplitsAnOptionalPortFromTheHost)
{
    struct Case {
        const char *setting;
        const char *host;
        quint16 port;
    };
    const Case cases[] = {
        {"smtp.exemple.cat", "smtp.exemple.cat", 25},
        {"  smtp.exemple.cat:587 ", "smtp.exemple.cat", 587},
        {"127.0.0.1:2525", "127.0.0.1", 2525},
        {"[::1]:2525", "::1", 2525},
        {"[::1]", "::1", 25},
        {"host:1", "host", 1},
        {"host:65535", "host", 65535},
        {"host:00587", "host", 587},
        // An unbracketed IPv6 address ends in a group, not a port.
        {"2001:db8::25", "2001:db8::25", 25},
        // No valid port: the whole text is the host, which the send then reports.
        {"host:0", "host:0", 25},
        {"host:65536", "host:65536", 25},
        {"host:", "host:", 25},
        {"host:+25", "host:+25", 25},
        {"host:٢٥", "host:٢٥", 25},
        {":25", ":25", 25},
        {"[]:25", "[]:25", 25},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.setting);
        EXPECT_EQ(splitSmtpServer(QString::fromUtf8(c.setting)), (SmtpEndpoint{QString::fromUtf8(c.host), c.port}));
    }
}

class SendOneMessageTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        AiosmtpdServer::Options options;
        options.rejectRecipientsContaining = {QStringLiteral("rebutjat")};
        server = std::make_unique<AiosmtpdServer>(options);
        if (!server->start()) {
            ADD_FAILURE() << server->errorText();
            server.reset();
        }
    }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(server) << "the SMTP server did not start";
        CampaignSettings &s = campaign.settings();
        s.applyStartDefaults();
        s.setText(Setting::SenderAddress, QStringLiteral("jo@exemple.cat"));
        s.setText(Setting::SenderName, QStringLiteral("Associació"));
        s.setText(Setting::SmtpServer, QStringLiteral("127.0.0.1:%1").arg(server->port()));
    }

    // The message sent with the campaign's settings as they are now.
    SendOutcome send(const OutgoingMessage &message)
    {
        return SendOneMessage(view, takeRunSettings(campaign, QString()), poSendMail, connection, message);
    }

    OutgoingMessage messageTo(const QString &to)
    {
        return {to, QString(), QStringLiteral("Prova"), QStringLiteral("<p>Hola</p>"), QString()};
    }

    // The messages that arrive within a short while after the send returned.
    QList<AiosmtpdServer::Message> newMessages(int before, int expected)
    {
        server->waitForMessages(before + expected, 5s);
        return server->messages().mid(before);
    }

    static inline std::unique_ptr<AiosmtpdServer> server;
    FakeCampaignView view;
    Campaign campaign{view};
    clsEnviarCorreu poSendMail;
    FakeInternetConnection connection;
    // What the component explained when a send failed, for failure output.
    QStringList failures;
    QMetaObject::Connection failureLog = QObject::connect(
        &poSendMail, &clsEnviarCorreu::SendFailed, [this](const QString &why) { failures.append(why); });
};

TEST_F(SendOneMessageTest, ChecksTheConnectionBeforeEveryMessage)
{
    const ConnectedState offLine{0, 0};
    const ConnectedState onLan{1, connectedThroughLan};
    const ConnectedState onDialUp{1, 0};
    enum Outcome { Sent, NoConnection, Refused };
    struct Case {
        const char *name;
        std::deque<ConnectedState> answers;
        QStringList calls;
        Outcome outcome;
        QString to = QStringLiteral("soci@exemple.cat");
    };
    const QString query = QStringLiteral("query 127.0.0.1");
    const Case cases[] = {
        {"on a LAN", {onLan, onLan}, {query, query}, Sent},
        {"off line, the dial works", {offLine, onDialUp}, {query, "dial", query, "hang up 7"}, Sent},
        {"off line, the dial fails", {offLine, offLine}, {query, "dial", query}, NoConnection},
        {"already on a dial-up line", {onDialUp, onDialUp}, {query, query}, Sent},
        {"off line, dialled onto a LAN", {offLine, onLan}, {query, "dial", query}, Sent},
        {"off line but a LAN", {{0, connectedThroughLan}, onLan}, {query, query}, Sent},
        {"on line, but not exactly 1", {onLan, {2, connectedThroughLan}}, {query, query}, NoConnection},
        // Right after a success: only the server's answer to this message counts.
        {"refused by the server", {onLan, onLan}, {query, query}, Refused, "rebutjat@exemple.cat"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        connection.answers = c.answers;
        connection.calls.clear();
        view.messages.clear();
        const int before = server->messageCount();

        EXPECT_EQ(send(messageTo(c.to)).sent, c.outcome == Sent);
        EXPECT_EQ(connection.calls, c.calls);
        EXPECT_EQ(newMessages(before, c.outcome == Sent).size(), c.outcome == Sent ? 1 : 0);
        const QStringList expectedMessages = c.outcome == NoConnection ? QStringList{noConnection} : QStringList();
        EXPECT_EQ(view.messageTexts(), expectedMessages);
        if (c.outcome == NoConnection) {
            EXPECT_EQ(view.messages[0].icon, MessageIcon::Error);
        }
    }
}

TEST_F(SendOneMessageTest, HandsTheMessageToTheComponent)
{
    QTemporaryDir folder;
    const QString attachment = folder.filePath(QStringLiteral("preus.txt"));
    {
        QFile file(attachment);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("llista de preus\r\n");
    }
    const int before = server->messageCount();

    connection.answers = {{1, connectedThroughLan}, {1, connectedThroughLan}};
    const OutgoingMessage message{QStringLiteral("soci1@exemple.cat"), QString(), QStringLiteral("Hola Maria"),
                                  QStringLiteral("<p>Benvolguda Maria</p>"), attachment};
    ASSERT_TRUE(send(message).sent) << failures.join(u'|');
    EXPECT_EQ(poSendMail.SMTPHost(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(poSendMail.SMTPPort(), server->port());

    connection.answers = {{1, connectedThroughLan}, {1, connectedThroughLan}};
    const OutgoingMessage group{QString(), QStringLiteral("a@exemple.cat;b@exemple.cat"), QStringLiteral("Avís"),
                                QStringLiteral("<p>Avís</p>"), QString()};
    ASSERT_TRUE(send(group).sent) << failures.join(u'|');

    const QList<AiosmtpdServer::Message> arrived = newMessages(before, 2);
    ASSERT_EQ(arrived.size(), 2);
    EXPECT_EQ(arrived[0].mailFrom, QStringLiteral("jo@exemple.cat"));
    EXPECT_EQ(arrived[0].rcptTos, QStringList{"soci1@exemple.cat"});
    const QByteArray data = arrived[0].data;
    EXPECT_TRUE(data.contains("Subject: Hola Maria")) << data.constData();
    EXPECT_TRUE(data.contains("To: \"soci1@exemple.cat\" <soci1@exemple.cat>")) << data.constData();
    EXPECT_TRUE(data.contains("Reply-to: <jo@exemple.cat>")) << data.constData();
    EXPECT_TRUE(data.contains("text/html") && data.contains("Benvolguda Maria"));
    EXPECT_TRUE(data.contains("preus.txt"));

    // A group goes in Bcc only: in the envelope, never in the header.
    EXPECT_EQ(arrived[1].rcptTos, QStringList({"a@exemple.cat", "b@exemple.cat"}));
    // (The Message-ID may end in "a" before the sender's domain.)
    EXPECT_FALSE(QString::fromLatin1(arrived[1].data).contains(QRegularExpression(QStringLiteral("(^|[^0-9a-z.])a@exemple"))));
    EXPECT_TRUE(arrived[1].data.contains("<p>Av")) << arrived[1].data.constData();
}

TEST_F(SendOneMessageTest, LogsInOnlyWhileTheCampaignAsksForIt)
{
    // Two sessions: the first logs in, the second (login unchecked, the
    // credentials still typed) greets with HELO and sends no AUTH.
    namespace script = tramelo::test::script;
    tramelo::test::ScriptedSmtpServer scripted;
    const QStringList to{QStringLiteral("soci@exemple.cat")};
    scripted.addScript(script::greeting() + script::ehlo(QStringLiteral("exemple.cat"), {"AUTH LOGIN PLAIN"})
                       + script::authLogin(QStringLiteral("jo"), QStringLiteral("secret"))
                       + script::envelope(QStringLiteral("jo@exemple.cat"), to) + script::data() + script::quit()
                       + QStringLiteral("A:\n") + script::greeting() + script::helo(QStringLiteral("exemple.cat"))
                       + script::envelope(QStringLiteral("jo@exemple.cat"), to) + script::data() + script::quit());
    ASSERT_TRUE(scripted.listen()) << scripted.failure();

    CampaignSettings &s = campaign.settings();
    s.setText(Setting::SmtpServer, QStringLiteral("%1:%2").arg(scripted.host()).arg(scripted.port()));
    s.setCheckValue(Check::NeedsLogin, 1);
    s.setText(Setting::LoginUser, QStringLiteral("jo"));
    s.setText(Setting::LoginPassword, QStringLiteral("secret"));
    connection.answers = {{1, connectedThroughLan}, {1, connectedThroughLan}};
    EXPECT_TRUE(send(messageTo(to[0])).sent) << failures.join(u'|');

    s.setCheckValue(Check::NeedsLogin, 0);
    connection.answers = {{1, connectedThroughLan}, {1, connectedThroughLan}};
    EXPECT_TRUE(send(messageTo(to[0])).sent) << failures.join(u'|');
    EXPECT_TRUE(poSendMail.UserName().isEmpty());
    EXPECT_TRUE(poSendMail.Password().isEmpty());
    EXPECT_TRUE(scripted.waitForFinished(5s)) << scripted.verify();
}
