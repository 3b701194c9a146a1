// Whole messages as the server receives them: header block, MIME structure,
// embedded and attached files, compared byte for byte where the layout is
// fixed, and line by line for the edge cases.
#include "gtest_qt_printers.h"
#include "component_support.h"
#include "header_encoding.h"
#include "sent_message.h"
#include "test_support.h"
#include "text_charset.h"

#include <gtest/gtest.h>

using namespace tramelo;
using namespace tramelo::test;
using namespace std::chrono_literals;

namespace {

const QString sender = QStringLiteral("jo@exemple.cat");
const QString domain = QStringLiteral("exemple.cat");

QString goldenPath(const QString &name)
{
    return sourceDir() + QStringLiteral("/tests/mail/golden/") + name;
}

// Compares with the golden file; TRAMELO_UPDATE_GOLDEN=1 rewrites it instead.
void expectGolden(const QByteArray &actual, const QString &name)
{
    QFile file(goldenPath(name));
    if (qEnvironmentVariableIsSet("TRAMELO_UPDATE_GOLDEN")) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(actual);
        return;
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    const QByteArray expected = file.readAll();
    EXPECT_EQ(QString::fromLatin1(actual).toStdString(), QString::fromLatin1(expected).toStdString());
}

QStringList headerLines(const QByteArray &data)
{
    const qsizetype end = data.indexOf("\r\n\r\n");
    return QString::fromLatin1(data.left(end)).split(QStringLiteral("\r\n"));
}

} // namespace

TEST(MessageAssembly, GoldenPlainText)
{
    clsEnviarCorreu mail(pinnedPlatform());
    mail.setFrom(sender);
    mail.setFromDisplayName(QStringLiteral("Jo Mateix"));
    mail.setRecipient(QStringLiteral("tu@exemple.cat;ell@exemple.cat"));
    mail.setRecipientDisplayName(QStringLiteral("Sales Office"));
    mail.setReplyToAddress(sender);
    mail.setSubject(QStringLiteral("Avís de cobrament"));
    mail.setMessage(QStringLiteral("Bon dia,\r\n.una línia amb punt\r\nAdéu"));
    const QByteArray data = sendAndCapture(mail, {QStringLiteral("tu@exemple.cat"), QStringLiteral("ell@exemple.cat")});
    expectGolden(data, QStringLiteral("plain_text.eml"));
}

TEST(MessageAssembly, GoldenHtmlWithEmbeddedImageAndPdf)
{
    QTemporaryDir dir;
    const QString logo = writeFile(dir, QStringLiteral("logo.gif"), patternBytes(300, 1));
    const QString pdf = writeFile(dir, QStringLiteral("report.pdf"), patternBytes(1000, 2));
    clsEnviarCorreu mail(pinnedPlatform());
    mail.setFrom(sender);
    mail.setFromDisplayName(QStringLiteral("Jo"));
    mail.setRecipient(QStringLiteral("tu@exemple.cat"));
    mail.setSubject(QStringLiteral("Oferta"));
    mail.setAsHTML(true);
    mail.setPriority(1);
    mail.setReceipt(true);
    mail.setMessage(QStringLiteral("<html><body><img src=\"pics/Logo.GIF\"><p>Vegeu report.pdf</p></body></html>"));
    mail.setAttachment(logo + u';' + pdf);
    const QByteArray data = sendAndCapture(mail, {QStringLiteral("tu@exemple.cat")});
    expectGolden(data, QStringLiteral("html_embedded.eml"));
}

TEST(MessageAssembly, GoldenPlainFormatWithUuencodedFile)
{
    QTemporaryDir dir;
    const QString notes = writeFile(dir, QStringLiteral("notes.bin"), patternBytes(100, 3));
    clsEnviarCorreu mail(pinnedPlatform());
    mail.setFrom(sender);
    mail.setRecipient(QStringLiteral("tu@exemple.cat"));
    mail.setSubject(QStringLiteral("Notes"));
    mail.setEncodeType(2);
    mail.setReceipt(true);
    mail.setPriority(5);
    mail.setMessage(QStringLiteral("Adjunto les notes."));
    mail.setAttachment(notes);
    const QByteArray data = sendAndCapture(mail, {QStringLiteral("tu@exemple.cat")});
    expectGolden(data, QStringLiteral("uuencoded.eml"));
}

TEST(MessageAssembly, DateAndBoundaryFollowTheClock)
{
    EXPECT_EQ(mimeBoundaryAt(QDateTime(QDate(2026, 12, 6), QTime(13, 57, 24))),
              QStringLiteral("----_=_NextPart_000_0000B51A.0377574A"));
    clsEnviarCorreu mail(pinnedPlatform());
    addSimpleMessage(mail, sender, QStringLiteral("tu@exemple.cat"));
    const QStringList headers = headerLines(sendAndCapture(mail, {QStringLiteral("tu@exemple.cat")}));
    EXPECT_TRUE(headers.contains(QStringLiteral("Date: Sun, 6 Dec 2026 13:57:24 +0100"))) << headers.join(u'|').toStdString();
}

TEST(MessageAssembly, RecipientCountLimit)
{
    for (const int count : {100, 101}) {
        SCOPED_TRACE(count);
        QStringList to, cc, bcc;
        for (int i = 0; i < count; ++i)
            (i % 3 == 0 ? to : i % 3 == 1 ? cc : bcc) << QStringLiteral("r%1@exemple.cat").arg(i);
        ScriptedSmtpServer server;
        QString script = script::greeting() + script::helo(domain) + QStringLiteral("C: MAIL FROM: <%1>\nS: 250 ok\n").arg(sender);
        for (const QString &address : to + cc + bcc)
            script += QStringLiteral("C: RCPT TO: <%1>\nS: 250 ok\n").arg(address);
        server.addScript(script + script::data() + script::quit());
        ASSERT_TRUE(server.listen());
        clsEnviarCorreu mail;
        MailEventLog events(mail);
        aimAt(mail, server.host(), server.port());
        mail.setFrom(sender);
        mail.setRecipient(to.join(u';'));
        mail.setCcRecipient(cc.join(u';'));
        mail.setBccRecipient(bcc.join(u';'));
        mail.setSubject(QStringLiteral("s"));
        mail.setMessage(QStringLiteral("b"));
        mail.Send();
        if (count == 100) {
            EXPECT_TRUE(server.waitForFinished(10s)) << server.verify().toStdString();
            EXPECT_TRUE(events.succeeded());
        } else {
            EXPECT_EQ(events.failures(), QStringList{QStringLiteral("Too many recipients\r\n")});
            EXPECT_EQ(server.connectionCount(), 0);
        }
    }
}

TEST(MessageAssembly, HeaderLinesForRecipientsAndNames)
{
    struct Case {
        const char *name;
        std::function<void(clsEnviarCorreu &)> setUp;
        QStringList recipients;
        QStringList expectedLines;
        QStringList absentPrefixes;
    };
    const Case cases[] = {
        {"bcc only",
         [](clsEnviarCorreu &m) { m.setBccRecipient(QStringLiteral("a@exemple.cat;b@exemple.cat")); },
         {QStringLiteral("a@exemple.cat"), QStringLiteral("b@exemple.cat")},
         {QStringLiteral("To: undisclosed-recipients:;")},
         {QStringLiteral("Cc:"), QStringLiteral("Bcc:")}},
        {"display names",
         [](clsEnviarCorreu &m) {
             m.setRecipient(QStringLiteral("a@exemple.cat;b@exemple.cat"));
             m.setRecipientDisplayName(QStringLiteral("Sales Office"));
         },
         {QStringLiteral("a@exemple.cat"), QStringLiteral("b@exemple.cat")},
         {QStringLiteral("To: \"Sales Office\" <a@exemple.cat>, "), QStringLiteral("\t\"b@exemple.cat\" <b@exemple.cat>")},
         {}},
        {"accented display name",
         [](clsEnviarCorreu &m) {
             m.setRecipient(QStringLiteral("a@exemple.cat"));
             m.setRecipientDisplayName(QStringLiteral("Josép"));
         },
         {QStringLiteral("a@exemple.cat")},
         {QStringLiteral("To: =?ISO-8859-1?Q?Jos=E9p?= <a@exemple.cat>")},
         {}},
        {"cc list",
         [](clsEnviarCorreu &m) {
             m.setRecipient(QStringLiteral("a@exemple.cat"));
             m.setCcRecipient(QStringLiteral("c@exemple.cat"));
             m.setCcDisplayName(QStringLiteral("Còpia"));
         },
         {QStringLiteral("a@exemple.cat"), QStringLiteral("c@exemple.cat")},
         {QStringLiteral("Cc: =?ISO-8859-1?Q?C=F2pia?= <c@exemple.cat>")},
         {}},
        {"normal priority",
         [](clsEnviarCorreu &m) { m.setRecipient(QStringLiteral("a@exemple.cat")); },
         {QStringLiteral("a@exemple.cat")},
         {QStringLiteral("MIME-Version: 1.0"), QStringLiteral("Content-Transfer-Encoding: 7bit")},
         {QStringLiteral("X-Priority"), QStringLiteral("X-MSMail-Priority"), QStringLiteral("Disposition-Notification-To")}},
        {"high priority and receipt",
         [](clsEnviarCorreu &m) {
             m.setRecipient(QStringLiteral("a@exemple.cat"));
             m.setPriority(1);
             m.setReceipt(true);
         },
         {QStringLiteral("a@exemple.cat")},
         {QStringLiteral("X-Priority: 1"), QStringLiteral("X-MSMail-Priority: High"),
          QStringLiteral("Disposition-Notification-To: \"jo@exemple.cat\" <jo@exemple.cat>")},
         {}},
        {"plain format has no MIME lines nor receipt",
         [](clsEnviarCorreu &m) {
             m.setRecipient(QStringLiteral("a@exemple.cat"));
             m.setEncodeType(1);
             m.setPriority(1);
             m.setReceipt(true);
         },
         {QStringLiteral("a@exemple.cat")},
         {},
         {QStringLiteral("MIME-Version"), QStringLiteral("X-Priority"), QStringLiteral("Disposition-Notification-To"),
          QStringLiteral("Content-Type")}},
        {"html with encode type 2 goes out in the plain format",
         [](clsEnviarCorreu &m) {
             m.setRecipient(QStringLiteral("a@exemple.cat"));
             m.setAsHTML(true);
             m.setEncodeType(2);
         },
         {QStringLiteral("a@exemple.cat")},
         {},
         {QStringLiteral("MIME-Version"), QStringLiteral("Content-Type")}},
        {"eight-bit body",
         [](clsEnviarCorreu &m) {
             m.setRecipient(QStringLiteral("a@exemple.cat"));
             m.setMessage(QStringLiteral("Adéu"));
         },
         {QStringLiteral("a@exemple.cat")},
         {QStringLiteral("Content-Transfer-Encoding: 8bit")},
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        clsEnviarCorreu mail;
        mail.setFrom(sender);
        mail.setSubject(QStringLiteral("Assumpte"));
        mail.setMessage(QStringLiteral("Cos"));
        c.setUp(mail);
        const QStringList headers = headerLines(sendAndCapture(mail, c.recipients));
        for (const QString &line : c.expectedLines)
            EXPECT_TRUE(headers.contains(line)) << line.toStdString() << "\nin\n" << headers.join(u'\n').toStdString();
        for (const QString &prefix : c.absentPrefixes) {
            for (const QString &line : headers)
                EXPECT_FALSE(line.startsWith(prefix)) << line.toStdString();
        }
    }
}

TEST(MessageAssembly, EncodedHeaderWords)
{
    EXPECT_EQ(EncodeHeaderText(QStringLiteral("Café"), false), QStringLiteral("=?ISO-8859-1?Q?Caf=E9?="));
    EXPECT_EQ(EncodeHeaderText(QStringLiteral("Plain \"name\" \\"), true), QStringLiteral("\"Plain \\\"name\\\" \\\\\""));
    EXPECT_EQ(EncodeHeaderText(QStringLiteral("a_b=c?"), false), QStringLiteral("a_b=c?"));
    // Quoted-printable wins when it is shorter; base64 when it is not.
    EXPECT_EQ(EncodeHeaderText(QStringLiteral("à b_ abcdefghijkl"), false),
              QStringLiteral("=?ISO-8859-1?Q?=E0_b=5F_abcdefghijkl?="));
    EXPECT_EQ(EncodeHeaderText(QStringLiteral("à b_=?"), false), QStringLiteral("=?ISO-8859-1?B?4CBiXz0/?="));

    const QString sixtyAccents(60, QChar(0xE9));
    const QString encoded = EncodeHeaderText(sixtyAccents, false);
    EXPECT_EQ(encoded.size(), 117);
    EXPECT_TRUE(encoded.startsWith(QLatin1String("=?ISO-8859-1?B?")));
    EXPECT_EQ(encoded.count(QLatin1String("\r\n\t")), 1);

    // Beyond Latin-1, the euro sign of Windows-1252 included: UTF-8.
    EXPECT_EQ(EncodeHeaderText(QStringLiteral("Benvinguda, Łucja!"), false),
              QStringLiteral("=?UTF-8?Q?Benvinguda,_=C5=81ucja!?="));
    EXPECT_EQ(EncodeHeaderText(QStringLiteral("Preu: 5 €"), false), QStringLiteral("=?UTF-8?B?UHJldTogNSDigqw=?="));
    EXPECT_EQ(EncodeHeaderText(QStringLiteral("Łucja"), true), QStringLiteral("=?UTF-8?B?xYF1Y2ph?="));
}

TEST(MessageAssembly, Utf8WordsHoldWholeCharactersAndFitTheirLength)
{
    const QString emoji = QString::fromUtf8("\xF0\x9F\x8E\x89");
    const QString texts[] = {
        QString(70, QChar(0x03A9)),                                // two bytes each: base64
        QStringLiteral("Reunió a Kraków: ") + QString(30, QChar(0x0142)) + QStringLiteral(" x"),
        QStringLiteral("Festa ").repeated(8) + emoji.repeated(12), // four bytes each
        QString(53, u'x') + emoji + QString(60, u'y'),              // quoted-printable
    };
    for (const QString &text : texts) {
        for (const bool phrase : {false, true}) {
            SCOPED_TRACE(text.toStdString());
            QString decoded;
            for (const QString &word : EncodeHeaderText(text, phrase).split(QStringLiteral("\r\n\t"))) {
                ASSERT_LE(word.size(), 75) << word.toStdString();
                ASSERT_TRUE(word.startsWith(QLatin1String("=?UTF-8?")) && word.endsWith(QLatin1String("?="))) << word.toStdString();
                const QByteArray payload = word.mid(10, word.size() - 12).toLatin1();
                QByteArray bytes;
                if (word[8] == u'B') {
                    bytes = QByteArray::fromBase64(payload);
                } else {
                    for (qsizetype i = 0; i < payload.size(); ++i) {
                        if (payload[i] == '=') {
                            bytes += char(payload.mid(i + 1, 2).toInt(nullptr, 16));
                            i += 2;
                        } else {
                            bytes += payload[i] == '_' ? ' ' : payload[i];
                        }
                    }
                }
                const std::optional<QString> piece = strictUtf8(bytes);
                ASSERT_TRUE(piece) << word.toStdString(); // no character split between words
                decoded += *piece;
            }
            EXPECT_EQ(decoded, text);
        }
    }
}

TEST(MessageAssembly, HtmlIsRefusedWithEncodeTypeOne)
{
    clsEnviarCorreu mail;
    MailEventLog events(mail);
    addSimpleMessage(mail);
    mail.setAsHTML(true);
    mail.setEncodeType(1);
    mail.Send();
    EXPECT_EQ(events.failures(), QStringList{QStringLiteral("Sending HTML requires MIME encoding\r\n")});
}

TEST(MessageAssembly, EveryFailingCheckIsReportedTogether)
{
    clsEnviarCorreu mail;
    MailEventLog events(mail);
    mail.setAsHTML(true);
    mail.setEncodeType(1);
    mail.Send();
    EXPECT_EQ(events.failures(), QStringList{QStringLiteral("Missing or Invalid Sender E-mail Address\r\n"
                                                            "Sending HTML requires MIME encoding\r\n"
                                                            "No Recipient E-mail Address Specified\r\n")});
}

TEST(MessageAssembly, BodyLinesAreDotStuffedAndFolded)
{
    clsEnviarCorreu mail;
    addSimpleMessage(mail);
    mail.setMessage(QStringLiteral(".\r\n..dos\r\n") + QString(2000, u'x'));
    const QByteArray data = sendAndCapture(mail, {QStringLiteral("tu@exemple.cat")});
    const QByteArray body = data.mid(data.indexOf("\r\n\r\n") + 4);
    EXPECT_TRUE(body.startsWith("\r\n..\r\n...dos\r\n")) << body.left(40).toStdString();
    const QList<QByteArray> lines = body.split('\n');
    EXPECT_EQ(lines.value(3), QByteArray(998, 'x') + '\r');
    EXPECT_EQ(lines.value(4), QByteArray(998, 'x') + '\r');
    EXPECT_EQ(lines.value(5), QByteArray(4, 'x') + '\r');
}

TEST(MessageAssembly, RejectedEndOfDataIsOnlyAFailure)
{
    ScriptedSmtpServer server;
    server.addScript(script::greeting() + script::helo(domain) + script::envelope(sender, {QStringLiteral("tu@exemple.cat")})
                     + QStringLiteral("C: DATA\nS: 354 go on\nD:\nS: 554 5.7.1 Message refused\n") + script::quit());
    ASSERT_TRUE(server.listen());
    clsEnviarCorreu mail;
    MailEventLog events(mail);
    aimAt(mail, server.host(), server.port());
    addSimpleMessage(mail, sender, QStringLiteral("tu@exemple.cat"));
    mail.Send();
    EXPECT_TRUE(server.waitForFinished(5s)) << server.verify().toStdString();
    EXPECT_EQ(events.failures(), QStringList{QStringLiteral("554 5.7.1 Message refused\r\n\r\n")});
    EXPECT_FALSE(events.succeeded());
    EXPECT_FALSE(events.contains(QStringLiteral("Status: Transmission Complete...")));
}

TEST(MessageAssembly, LineBreaksInHeaderValuesCannotAddHeaders)
{
    QTemporaryDir dir;
    const QString file = writeFile(dir, QStringLiteral("a\nBcc: x.txt"), QByteArray("x"));
    clsEnviarCorreu mail;
    mail.setFrom(sender);
    mail.setFromDisplayName(QStringLiteral("Jo\r\nBcc: victim@exemple.cat"));
    mail.setRecipient(QStringLiteral("tu@exemple.cat"));
    mail.setRecipientDisplayName(QStringLiteral("Tu\rX-Injected: 1"));
    mail.setReplyToAddress(QStringLiteral("jo@exemple.cat>\r\nX-Reply: 1"));
    mail.setSubject(QStringLiteral("Hola\r\nBcc: victim@exemple.cat\r\n\r\nbody"));
    mail.setMessage(QStringLiteral("Cos"));
    mail.setAttachment(file);
    const QByteArray data = sendAndCapture(mail, {QStringLiteral("tu@exemple.cat")});
    const QStringList headers = headerLines(data);
    for (const QString &line : headers) {
        EXPECT_FALSE(line.startsWith(QLatin1String("Bcc"))) << line.toStdString();
        EXPECT_FALSE(line.startsWith(QLatin1String("X-"))) << line.toStdString();
    }
    EXPECT_TRUE(headers.contains(QStringLiteral("Subject: Hola  Bcc: victim@exemple.cat    body")));
    EXPECT_FALSE(data.contains("\nBcc: x.txt")) << "a file name broke its part header";
}

TEST(MessageAssembly, EmbeddedFilesAreLinkedInsideTagsOnly)
{
    struct Case {
        const char *name;
        QString body;
        bool asHtml;
        QString expectedBody;
        bool related;
    };
    const Case cases[] = {
        {"quoted src", QStringLiteral("<img src=\"pics/Logo.GIF\">"), true, QStringLiteral("<img src=\"cid:logo.gif\">"), true},
        {"unquoted src", QStringLiteral("<img src=images/logo.gif>"), true, QStringLiteral("<img src=cid:logo.gif>"), true},
        {"not html", QStringLiteral("<img src=\"pics/Logo.GIF\">"), false, QStringLiteral("<img src=\"pics/Logo.GIF\">"), false},
        {"visible text only", QStringLiteral("<p>see logo.gif</p>"), true, QStringLiteral("<p>see logo.gif</p>"), false},
        {"no tag before it", QStringLiteral("logo.gif > here"), true, QStringLiteral("logo.gif > here"), false},
        {"already linked", QStringLiteral("<img src=\"cid:logo.gif\">"), true, QStringLiteral("<img src=\"cid:logo.gif\">"), true},
        {"twice", QStringLiteral("<img src=\"a/logo.gif\"><img src='b/LOGO.gif'>"), true,
         QStringLiteral("<img src=\"cid:logo.gif\"><img src='cid:logo.gif'>"), true},
        {"an = before the tag", QStringLiteral("<p>x=1</p><img logo.gif>"), true, QStringLiteral("<p>x=1</p><img logo.gif>"), false},
        {"a value that ended before the name", QStringLiteral("<img alt=\"a\" logo.gif>"), true,
         QStringLiteral("<img alt=\"a\" logo.gif>"), false},
        {"a comment", QStringLiteral("<img src=\"a/logo.gif\" width=10><!-- logo.gif: 10px -->"), true,
         QStringLiteral("<img src=\"cid:logo.gif\" width=10><!-- logo.gif: 10px -->"), true},
        {"css url", QStringLiteral("<div style='background: url(\"a/logo.gif\")'><p style=\"x:url(logo.gif)\">"), true,
         QStringLiteral("<div style='background: url(\"cid:logo.gif\")'><p style=\"x:url(cid:logo.gif)\">"), true},
    };
    QTemporaryDir dir;
    const QString logo = writeFile(dir, QStringLiteral("logo.gif"), patternBytes(50, 4));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        clsEnviarCorreu mail;
        MailEventLog events(mail);
        addSimpleMessage(mail);
        mail.setAsHTML(c.asHtml);
        mail.setMessage(c.body);
        mail.setAttachment(logo);
        const QByteArray data = sendAndCapture(mail, {QStringLiteral("tu@exemple.cat")});
        EXPECT_EQ(mail.Message(), c.expectedBody);
        EXPECT_TRUE(data.contains(c.related ? "Content-Type: multipart/related;" : "Content-Type: multipart/mixed;"));
        EXPECT_EQ(data.contains("Content-ID: <logo.gif>"), c.related);
        EXPECT_TRUE(events.contains(c.related ? QStringLiteral("Status: Sending Embedded File, logo.gif...")
                                              : QStringLiteral("Status: Sending Attachment, logo.gif...")));
    }
}

TEST(MessageAssembly, FilePartsForEmptyAndChunkBoundarySizes)
{
    QTemporaryDir dir;
    const QString empty = writeFile(dir, QStringLiteral("empty.dat"), QByteArray());
    const QString big = writeFile(dir, QStringLiteral("big.dat"), patternBytes(11401, 5));

    clsEnviarCorreu mail;
    addSimpleMessage(mail);
    mail.setAttachment(empty + u';' + big);
    const QByteArray data = sendAndCapture(mail, {QStringLiteral("tu@exemple.cat")});
    // An empty file: its headers, the empty line, then one more empty line.
    EXPECT_TRUE(data.contains("\tfilename=\"empty.dat\"\r\n\r\n\r\n--")) << data.toStdString();
    const qsizetype start = data.indexOf("\tfilename=\"big.dat\"\r\n\r\n") + 23;
    const qsizetype end = data.indexOf("\r\n\r\n--", start);
    const QList<QByteArray> lines = data.mid(start, end - start).split('\n');
    ASSERT_EQ(lines.size(), 201);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(lines[i].size(), 77) << i; // 76 characters and CR
    EXPECT_EQ(lines[200], QByteArray(QByteArray(1, patternBytes(11401, 5).back()).toBase64()));

    clsEnviarCorreu plain;
    addSimpleMessage(plain);
    plain.setEncodeType(1);
    plain.setAttachment(empty);
    const QByteArray plainData = sendAndCapture(plain, {QStringLiteral("tu@exemple.cat")});
    EXPECT_TRUE(plainData.contains("begin 600 empty.dat\r\nend\r\n"));
}

TEST(MessageAssembly, MissingAttachmentIsReportedBeforeConnecting)
{
    clsEnviarCorreu mail;
    MailEventLog events(mail);
    aimAt(mail, QStringLiteral("127.0.0.1"), freeTcpPort());
    addSimpleMessage(mail);
    mail.setAttachment(QStringLiteral("/no/such/file.pdf"));
    mail.Send();
    EXPECT_EQ(events.failures(), QStringList{QStringLiteral("The file you tried to attach does not exist\r\n")});
}

TEST(MessageAssembly, ContentTypesComeFromTheExtension)
{
    clsEnviarCorreu mail;
    const QString fallback = QStringLiteral("application/octet-stream");
    EXPECT_EQ(mail.GetContentType(QStringLiteral("report.pdf"), fallback), QStringLiteral("application/pdf"));
    EXPECT_EQ(mail.GetContentType(QStringLiteral("LOGO.GIF"), fallback), QStringLiteral("image/gif"));
    EXPECT_EQ(mail.GetContentType(QStringLiteral("notes"), fallback), fallback);
    EXPECT_EQ(mail.GetContentType(QStringLiteral("data.nosuchextension"), fallback), fallback);
}
