// The message on the wire: a file that cannot arrive whole ends the message
// soon and clearly, header fields are read back exactly by a real parser, and
// a host name of nothing starts no lookup.
#include "gtest_qt_printers.h"
#include "sent_message.h"
#include "test_resolver.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

using namespace tramelo;
using namespace tramelo::test;

TEST(DataSection, AFileThatCannotArriveWholeEndsTheMessageSoon)
{
    const QString timeout = QStringLiteral("Timeout occurred: The SMTP Host did not respond to the request\r\n");
    const struct {
        const char *name;
        long encodeType;
        const char *afterDataReply;
        QString failure;
    } cases[] = {
        {"base64 parts", 0, "H: 9000\n", timeout},
        {"uuencoded lines", 1, "H: 9000\n", timeout},
        {"a failure reported meanwhile", 0, "H: 300\nS: 421 4.3.0 Closing\nH: 9000\n", QStringLiteral("421 4.3.0 Closing\r\n\r\n")},
        {"a file that shrinks", 0, "D:\n", QStringLiteral("The file could not be read\r\n")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("gran.bin"), patternBytes(4'000'000, 6));
        ScriptedSmtpServer server;
        server.addScript(script::greeting() + script::helo(QStringLiteral("exemple.cat"))
                         + script::envelope(QStringLiteral("jo@exemple.cat"), {QStringLiteral("tu@exemple.cat")})
                         + QStringLiteral("C: DATA\nS: 354 go on\n") + QLatin1String(c.afterDataReply));
        ASSERT_TRUE(server.listen());
        clsEnviarCorreu mail;
        MailEventLog events(mail);
        aimAt(mail, server.host(), server.port());
        addSimpleMessage(mail);
        mail.setMessageTimeout(1);
        mail.setEncodeType(c.encodeType);
        mail.setAttachment(path);
        // Progress is reported once the file is being sent.
        if (c.failure.startsWith(u"The file"))
            QObject::connect(&mail, &clsEnviarCorreu::Progress, [&] { QFile::resize(path, 1000); });
        // What waits in the socket's queue is what the component holds in memory.
        qint64 mostQueued = 0;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout,
                         [&] { mostQueued = std::max(mostQueued, mail.findChild<QTcpSocket *>()->bytesToWrite()); });
        sampler.start(5);
        QElapsedTimer clock;
        clock.start();
        mail.Send();
        EXPECT_EQ(events.failures(), QStringList{c.failure}) << events.text();
        EXPECT_LT(clock.elapsed(), 6000);
        EXPECT_LE(mostQueued, 64 * 1024);
    }
}

// ---- header fields ------------------------------------------------------------

TEST(MessageHeaders, NamesAndSubjectsReadBackExactly)
{
    const struct {
        const char *name;
        QString fromName;
        QString toName;
        QString subject;
    } cases[] = {
        {"quotes and backslashes", QStringLiteral("Joan \"JJ\" Puig \\ Vendes"), QStringLiteral("Núria (Vendes), S.L."),
         QStringLiteral("Avís: cafè")},
        {"Windows-1252 letters", QStringLiteral("“Cometes” i 5 €"), QStringLiteral("Sales Office"),
         QStringLiteral("Preu 5 € – “oferta”")},
        {"1200 characters with blanks", QStringLiteral("Nom molt llarg ").repeated(8).trimmed(), QStringLiteral("Tu"),
         QStringLiteral("paraula ").repeated(150).trimmed()},
        {"1200 characters without a blank", QStringLiteral("Jo"), QStringLiteral("Tu"), QString(1200, u'x')},
        {"a long accented subject", QStringLiteral("Jo"), QStringLiteral("Tu"), QStringLiteral("àèé òú ").repeated(40).trimmed()},
    };
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    QStringList messageIds;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        clsEnviarCorreu mail;
        addSimpleMessage(mail);
        mail.setFromDisplayName(c.fromName);
        mail.setRecipientDisplayName(c.toName);
        mail.setSubject(c.subject);
        QByteArray stored;
        const QJsonObject message = sendAndInspect(server, mail, &stored);
        const QJsonObject addresses = message[QStringLiteral("addresses")].toObject();
        EXPECT_EQ(addresses[QStringLiteral("from")][0][QStringLiteral("display_name")].toString(), c.fromName);
        EXPECT_EQ(addresses[QStringLiteral("to")][0][QStringLiteral("display_name")].toString(), c.toName);
        EXPECT_EQ(firstHeader(message, QStringLiteral("subject")), c.subject);
        // Folded to 78 characters, but for a field name followed by one encoded word.
        for (const QByteArray &line : stored.left(stored.indexOf("\r\n\r\n")).split('\n'))
            EXPECT_TRUE(line.size() <= 79 || (line.count(' ') == 1 && line.contains("=?"))) << line.toStdString();
        messageIds << firstHeader(message, QStringLiteral("message-id"));
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^<[0-9a-z.]{20,}@exemple\\.cat>$")).match(messageIds.last()).hasMatch())
            << messageIds.last();
    }
    EXPECT_TRUE(server.messages()[1].data.contains("To: \"Sales Office\" <tu@exemple.cat>\r\n"));
    messageIds.removeDuplicates();
    EXPECT_EQ(messageIds.size(), std::size(cases));
}

// ---- hosts ------------------------------------------------------------------

TEST(Hosts, AHostNameOfNothingStartsNoLookup)
{
    // A mail exchanger lookup would ask this socket, never the machine's name server.
    QUdpSocket nameServer;
    ASSERT_TRUE(nameServer.bind(QHostAddress::LocalHost, 0));
    TestResolver resolver("nameserver 127.0.0.1\ndomain exemple.cat\n", nameServer.localPort());
    clsEnviarCorreu mail;
    MailEventLog events(mail);
    addSimpleMessage(mail);
    mail.setSMTPHostValidation(0);
    mail.setSMTPHost(QString(1, QChar(u'\0')));
    mail.Send();
    EXPECT_EQ(events.failures(), QStringList{QStringLiteral("Invalid or Missing SMTP Host Name\r\n")}) << events.text();
    EXPECT_FALSE(nameServer.hasPendingDatagrams());
}
