// The component against real servers: aiosmtpd (AUTH LOGIN, message bytes
// parsed by Python's email package), Dovecot (POP3 before SMTP) and Postfix's
// smtp-sink (negative replies).
#include "dovecot_pop3_server.h"
#include "gtest_qt_printers.h"
#include "sent_message.h"
#include "smtp_sink_server.h"

using namespace tramelo;
using namespace tramelo::test;
using namespace std::chrono_literals;

TEST(MailInterop, LoginWithAiosmtpdOwnPrompts)
{
    AiosmtpdServer server({QStringLiteral("usuari"), QStringLiteral("clau correcta"), true, {}});
    ASSERT_TRUE(server.start()) << server.errorText();
    for (const bool rightPassword : {true, false}) {
        SCOPED_TRACE(rightPassword);
        clsEnviarCorreu mail;
        MailEventLog events(mail);
        aimAt(mail, server.host(), server.port());
        addSimpleMessage(mail);
        mail.setUseAuthentication(true);
        mail.setUserName(QStringLiteral("usuari"));
        mail.setPassword(rightPassword ? QStringLiteral("clau correcta") : QStringLiteral("dolenta"));
        mail.Send();
        if (rightPassword) {
            EXPECT_TRUE(events.succeeded()) << events.text();
            ASSERT_TRUE(server.waitForMessages(1, 10s));
            EXPECT_EQ(server.messages().first().login, QStringLiteral("usuari"));
        } else {
            EXPECT_EQ(events.failures(), QStringList{QStringLiteral("535 5.7.8 Authentication credentials invalid\r\n\r\n")})
                << events.text();
            EXPECT_TRUE(events.contains(QStringLiteral("Status: Host Login Failed!")));
            EXPECT_EQ(server.messageCount(), 1);
        }
    }
}

TEST(MailInterop, Pop3LoginWithDovecotThenSmtp)
{
    DovecotPop3Server pop3;
    ASSERT_TRUE(pop3.start()) << pop3.errorText();
    AiosmtpdServer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.errorText();
    for (const bool rightPassword : {true, false}) {
        SCOPED_TRACE(rightPassword);
        MailPlatform platform;
        platform.pop3Port = pop3.port();
        clsEnviarCorreu mail(platform);
        MailEventLog events(mail);
        aimAt(mail, smtp.host(), smtp.port());
        addSimpleMessage(mail);
        mail.setUsePopAuthentication(true);
        mail.setPOP3Host(pop3.host());
        mail.setUserName(pop3.user());
        mail.setPassword(rightPassword ? pop3.password() : QStringLiteral("dolenta"));
        mail.Send();
        if (rightPassword) {
            EXPECT_TRUE(events.contains(QStringLiteral("Status: POP3 Authentication Successful..."))) << events.text();
            EXPECT_TRUE(events.succeeded()) << events.text() << pop3.log().toStdString();
        } else {
            ASSERT_EQ(events.failures().size(), 1) << events.text();
            EXPECT_TRUE(events.failures().first().startsWith(QLatin1String("-ERR"))) << events.text();
            EXPECT_FALSE(events.succeeded());
        }
    }
    EXPECT_TRUE(smtp.waitForMessages(1, 10s));
    EXPECT_EQ(smtp.messageCount(), 1);
}

TEST(MailInterop, NegativeRepliesFromSmtpSinkEndTheMessage)
{
    struct Case {
        QStringList hard;
        QStringList soft;
        const char *reply;
    };
    const Case cases[] = {
        {{QStringLiteral("RCPT")}, {}, "500 5.3.0 Error: command failed\r\n\r\n"},
        {{}, {QStringLiteral("RCPT")}, "450 4.3.0 Error: command failed\r\n\r\n"},
        {{QStringLiteral("DATA")}, {}, "500 5.3.0 Error: command failed\r\n\r\n"},
        {{}, {QStringLiteral("DATA")}, "450 4.3.0 Error: command failed\r\n\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((c.hard + c.soft).join(u','));
        SmtpSinkServer sink({c.hard, c.soft, false});
        ASSERT_TRUE(sink.start()) << sink.errorText();
        clsEnviarCorreu mail;
        MailEventLog events(mail);
        aimAt(mail, sink.host(), sink.port());
        addSimpleMessage(mail);
        mail.Send();
        EXPECT_EQ(events.failures(), QStringList{QString::fromLatin1(c.reply)});
        EXPECT_FALSE(events.succeeded());
        EXPECT_EQ(mail.socketState(), 0);
    }
}

TEST(MailInterop, RealParserReadsHeadersFilesAndLinks)
{
    QTemporaryDir dir;
    // Names that need quoting or encoding, and the bytes each file holds.
    const QList<std::pair<QString, QByteArray>> files = {
        {QStringLiteral("logo.gif"), patternBytes(5000, 1)},
        {QStringLiteral("informe anual.pdf"), patternBytes(70001, 2)},
        {QStringLiteral("q\"uote.txt"), patternBytes(10, 3)},
        {QStringLiteral("Convocatòria assemblea.pdf"), patternBytes(100, 4)},
        {QStringLiteral("Łąka ζωή.gif"), patternBytes(200, 5)}, // UTF-8 names, linked by a Content-ID of ASCII
    };
    QStringList paths;
    for (const auto &[name, bytes] : files)
        paths << writeFile(dir, name, bytes);
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();

    const QString subject = QStringLiteral("Oferta especial per a vostè: cafè, te i xocolata amb llet, només avui");
    clsEnviarCorreu mail;
    mail.setFrom(QStringLiteral("jo@exemple.cat"));
    mail.setFromDisplayName(QStringLiteral("Lluís Peña"));
    mail.setRecipient(QStringLiteral("tu@exemple.cat;ella@exemple.cat"));
    mail.setRecipientDisplayName(QStringLiteral("Núria;Sales Office"));
    mail.setSubject(subject);
    mail.setAsHTML(true);
    // An "=" before the tag, a comment naming the file and a CSS url(...).
    mail.setMessage(QStringLiteral("<html><body><p>x=1</p><img src=\"imatges/logo.gif\" width=10><!-- logo.gif: 10px -->"
                                   "<div style=\"background:url(imatges/logo.gif)\">Hola Núria</div><img src=\"Łąka ζωή.gif\"></body></html>"));
    mail.setAttachment(paths.join(u';'));
    QByteArray stored;
    const QJsonObject message = sendAndInspect(server, mail, &stored);
    EXPECT_EQ(message[QStringLiteral("content_type")].toString(), QStringLiteral("multipart/related"));
    EXPECT_EQ(firstHeader(message, QStringLiteral("subject")), subject);
    const QJsonArray from = message[QStringLiteral("addresses")][QStringLiteral("from")].toArray();
    EXPECT_EQ(from.first()[QStringLiteral("display_name")].toString(), QStringLiteral("Lluís Peña"));
    const QJsonArray to = message[QStringLiteral("addresses")][QStringLiteral("to")].toArray();
    ASSERT_EQ(to.size(), 2);
    EXPECT_EQ(to[0][QStringLiteral("display_name")].toString(), QStringLiteral("Núria"));
    EXPECT_EQ(to[1][QStringLiteral("address")].toString(), QStringLiteral("ella@exemple.cat"));

    for (const auto &[name, bytes] : files) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(partNamed(message, name)[QStringLiteral("sha256")].toString(), sha256(bytes));
    }
    EXPECT_EQ(partNamed(message, QStringLiteral("logo.gif"))[QStringLiteral("content_id")].toString(), QStringLiteral("<logo.gif>"));
    const QString meadowId = QStringLiteral("utf8.") + QString::fromLatin1(QStringLiteral("Łąka ζωή.gif").toUtf8().toHex());
    EXPECT_EQ(partNamed(message, QStringLiteral("Łąka ζωή.gif"))[QStringLiteral("content_id")].toString(), u'<' + meadowId + u'>');
    EXPECT_EQ(partNamed(message, QStringLiteral("informe anual.pdf"))[QStringLiteral("content_type")].toString(),
              QStringLiteral("application/pdf"));
    // A plain name keeps the bytes it always had.
    EXPECT_TRUE(stored.contains("\tname=\"informe anual.pdf\"\r\n")) << stored.left(3000).toStdString();

    const QJsonObject html = message[QStringLiteral("parts")].toArray().first().toObject();
    EXPECT_EQ(html[QStringLiteral("content_type")].toString(), QStringLiteral("text/html"));
    EXPECT_TRUE(html[QStringLiteral("text")].toString().contains(
        QStringLiteral("<p>x=1</p><img src=\"cid:logo.gif\" width=10><!-- logo.gif: 10px -->"
                       "<div style=\"background:url(cid:logo.gif)\">Hola Núria</div><img src=\"cid:") + meadowId + u'"'))
        << html[QStringLiteral("text")].toString();
}

TEST(MailInterop, RealParserReadsUuencodedFilesOfThePlainFormat)
{
    // 59 bytes: the last line encodes 14 bytes, and its length character is ".".
    for (const int size : {4506, 59, 45 * 250 + 14}) {
        SCOPED_TRACE(size);
        QTemporaryDir dir;
        const QByteArray bytes = patternBytes(size, 3);
        const QString file = writeFile(dir, QStringLiteral("dades.bin"), bytes);
        AiosmtpdServer server;
        ASSERT_TRUE(server.start()) << server.errorText();
        clsEnviarCorreu mail;
        addSimpleMessage(mail);
        mail.setMessage(QStringLiteral("a\0b\r\n.\r\n..x\r\n\0.y")); // dots at line starts, NUL bytes dropped
        mail.setEncodeType(1);
        mail.setAttachment(file);
        const QJsonObject message = sendAndInspect(server, mail);
        EXPECT_TRUE(message[QStringLiteral("parts")][0][QStringLiteral("text")].toString().startsWith(
            QStringLiteral("\r\nab\r\n.\r\n..x\r\n.y\r\n\r\n\r\nbegin 600 dades.bin\r\n")));
        const QJsonArray blocks = message[QStringLiteral("uuencoded")].toArray();
        ASSERT_EQ(blocks.size(), 1);
        EXPECT_EQ(blocks[0][QStringLiteral("name")].toString(), QStringLiteral("dades.bin"));
        EXPECT_TRUE(blocks[0][QStringLiteral("error")].isNull()) << blocks[0][QStringLiteral("error")].toString();
        EXPECT_EQ(blocks[0][QStringLiteral("sha256")].toString(), sha256(bytes));
    }
}
