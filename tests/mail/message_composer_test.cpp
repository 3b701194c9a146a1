// The mail core's composed messages byte for byte: the golden messages, and
// the same inputs through today's component and through the core, as the
// server receives them (dot-stuffing included), each of the exact size the
// composer announced.
#include "gtest_qt_printers.h"
#include "component_support.h"
#include "mail_core_run.h"
#include "sent_message.h"

#include <QDir>

using namespace tramelo;
using namespace tramelo::test;
using namespace std::chrono_literals;

namespace {

struct Inputs {
    QString from = QStringLiteral("jo@exemple.cat");
    QString fromName;
    QStringList to = {QStringLiteral("tu@exemple.cat")};
    QStringList toNames, cc, ccNames, bcc;
    QString replyTo;
    QString subject = QStringLiteral("Assumpte");
    QString body = QStringLiteral("Cos");
    bool html = false;
    long encodeType = 0;
    long priority = 3;
    bool receipt = false;
    QString contentBase;
    QList<std::pair<QString, QByteArray>> files; // name, bytes
    qint64 memoryBound = encodedFilesMemoryBound;
};

QString priorityWord(long priority)
{
    return priority == 1 ? QStringLiteral("High") : priority == 5 ? QStringLiteral("Low") : QStringLiteral("Normal");
}

QStringList writeFiles(const QTemporaryDir &dir, const Inputs &in)
{
    QStringList paths;
    for (const auto &[name, bytes] : in.files)
        paths << writeFile(dir, name, bytes);
    return paths;
}

// The data the server received from the core, which must be as long as the
// composer said.
QByteArray sentByCore(const Inputs &in)
{
    QTemporaryDir dir;
    const EncodedFiles files = encodeFiles(writeFiles(dir, in), in.encodeType == 0 ? FileEncoding::Base64 : FileEncoding::Uuencode,
                                           in.memoryBound);
    EXPECT_EQ(files.failure, QString());
    const MessageSettings settings{in.from, in.fromName, in.replyTo, in.encodeType == 0, in.html,
                                   normalizedContentBase(in.contentBase), in.priority, priorityWord(in.priority), in.receipt};
    const MessageComposer composer(settings, files.files, pinnedClock());
    QString body = in.body;
    const BodyLinks links = composer.linkEmbeddedFiles(body);
    const auto message = composer.compose({in.to, in.toNames, in.cc, in.ccNames, in.subject, body}, links);
    const QStringList recipients = in.to + in.cc + in.bcc;
    ScriptedSmtpServer server;
    server.addScript(script::greeting() + script::helo(QStringLiteral("exemple.cat")) + script::envelope(in.from, recipients)
                     + script::data() + script::quit());
    EXPECT_TRUE(server.listen());
    SmtpSessionConfig config = loopbackConfig(server.port());
    config.greeting = GreetingPolicy::AsNeeded;
    runBesideEventLoop(
        [&] {
            SmtpClient client(config);
            client.send({1, {in.from, recipients}, message});
            client.close();
        },
        20s);
    EXPECT_TRUE(server.waitForFinished(5s)) << server.verify();
    const QByteArray data = server.capturedData().value(0);
    EXPECT_EQ(message->data(false).size, data.size() + 0) << "the announced size";
    return data;
}

QByteArray sentByComponent(const Inputs &in)
{
    QTemporaryDir dir;
    clsEnviarCorreu mail(pinnedPlatform());
    mail.setFrom(in.from);
    mail.setFromDisplayName(in.fromName);
    mail.setRecipient(in.to.join(u';'));
    mail.setRecipientDisplayName(in.toNames.join(u';'));
    mail.setCcRecipient(in.cc.join(u';'));
    mail.setCcDisplayName(in.ccNames.join(u';'));
    mail.setBccRecipient(in.bcc.join(u';'));
    mail.setReplyToAddress(in.replyTo);
    mail.setSubject(in.subject);
    mail.setMessage(in.body);
    mail.setAsHTML(in.html);
    mail.setEncodeType(in.encodeType);
    mail.setPriority(in.priority);
    mail.setReceipt(in.receipt);
    mail.setContentBase(in.contentBase);
    mail.setAttachment(writeFiles(dir, in).join(u';'));
    return sendAndCapture(mail, in.to + in.cc + in.bcc);
}

QByteArray golden(const QString &name)
{
    QFile file(sourceDir() + QStringLiteral("/tests/mail/golden/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

} // namespace

TEST(MessageComposer, GoldenMessages)
{
    Inputs plain;
    plain.fromName = QStringLiteral("Jo Mateix");
    plain.to = {QStringLiteral("tu@exemple.cat"), QStringLiteral("ell@exemple.cat")};
    plain.toNames = {QStringLiteral("Sales Office")};
    plain.replyTo = plain.from;
    plain.subject = QStringLiteral("Avís de cobrament");
    plain.body = QStringLiteral("Bon dia,\r\n.una línia amb punt\r\nAdéu");

    Inputs html;
    html.fromName = QStringLiteral("Jo");
    html.subject = QStringLiteral("Oferta");
    html.html = true;
    html.priority = 1;
    html.receipt = true;
    html.body = QStringLiteral("<html><body><img src=\"pics/Logo.GIF\"><p>Vegeu report.pdf</p></body></html>");
    html.files = {{QStringLiteral("logo.gif"), patternBytes(300, 1)}, {QStringLiteral("report.pdf"), patternBytes(1000, 2)}};

    Inputs uuencoded;
    uuencoded.subject = QStringLiteral("Notes");
    uuencoded.encodeType = 2;
    uuencoded.receipt = true;
    uuencoded.priority = 5;
    uuencoded.body = QStringLiteral("Adjunto les notes.");
    uuencoded.files = {{QStringLiteral("notes.bin"), patternBytes(100, 3)}};

    EXPECT_EQ(sentByCore(plain), golden(QStringLiteral("plain_text.eml")));
    EXPECT_EQ(sentByCore(html), golden(QStringLiteral("html_embedded.eml")));
    EXPECT_EQ(sentByCore(uuencoded), golden(QStringLiteral("uuencoded.eml")));
}

TEST(MessageComposer, SameBytesAsTheComponent)
{
    const auto with = [](auto change) {
        Inputs in;
        change(in);
        return in;
    };
    const QByteArray dots = QByteArray(".\n..\r\n.x", 9).repeated(200);
    const struct {
        const char *name;
        Inputs inputs;
    } rows[] = {
        {"names with quotes, accents and the euro", with([](Inputs &in) {
             in.fromName = QStringLiteral("Joan \"JJ\" Puig \\ Vendes");
             in.to = {QStringLiteral("a@exemple.cat"), QStringLiteral("b@exemple.cat")};
             in.toNames = {QStringLiteral("Núria (Vendes), S.L."), QStringLiteral("“Cometes” i 5 €")};
             in.cc = {QStringLiteral("c@exemple.cat")};
             in.ccNames = {QStringLiteral("Còpia")};
             in.bcc = {QStringLiteral("d@exemple.cat")};
             in.subject = QStringLiteral("àèé òú ").repeated(40).trimmed();
         })},
        {"a body beyond Latin-1, long lines, dots and bare line ends", with([](Inputs &in) {
             in.body = QStringLiteral("Benvinguda, Łucja!\r.\n..dos\r\n") + QString(2500, u'x') + QStringLiteral(" fi");
         })},
        {"an HTML body in Windows-1252 with a content base", with([](Inputs &in) {
             in.html = true;
             in.contentBase = QStringLiteral("web\\pagina");
             in.body = QStringLiteral("<p>Preu: 5 €, cafè</p>\r\n.<p>fi</p>");
             in.priority = 5;
             in.receipt = true;
         })},
        {"files: empty, past a chunk, named beyond ASCII, linked in a style", with([&](Inputs &in) {
             in.html = true;
             in.body = QStringLiteral("<div style='background: url(\"a/fons.png\")'><p>factura ñ.pdf</p></div>");
             in.files = {{QStringLiteral("buit.dat"), {}},
                         {QStringLiteral("fons.png"), patternBytes(11401, 5)},
                         {QStringLiteral("factura ñ.pdf"), patternBytes(700, 6)}};
         })},
        {"files past the memory bound go through a temporary file", with([&](Inputs &in) {
             in.files = {{QStringLiteral("gran.bin"), patternBytes(200000, 7)}, {QStringLiteral("petit.txt"), "hola"}};
             in.memoryBound = 1000;
         })},
        {"uuencoded files whose lines begin with a dot", with([&](Inputs &in) {
             in.encodeType = 1;
             in.files = {{QStringLiteral("punts.txt"), dots}, {QStringLiteral("buit.txt"), {}}};
         })},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(sentByCore(row.inputs), sentByComponent(row.inputs));
    }
}

// The files of a run are read once: gone from the disk afterwards, they
// still go with every message.
TEST(MessageComposer, FilesAreReadOncePerRun)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("informe.pdf"), patternBytes(5000, 8));
    const EncodedFiles files = encodeFiles({path}, FileEncoding::Base64);
    ASSERT_TRUE(QFile::remove(path));
    MessageSettings settings;
    settings.sender = QStringLiteral("jo@exemple.cat");
    const MessageComposer composer(settings, files.files, pinnedClock());
    for (const QString &to : {QStringLiteral("a@exemple.cat"), QStringLiteral("b@exemple.cat")}) {
        const auto message = composer.compose({{to}, {}, {}, {}, QStringLiteral("s"), QStringLiteral("b")}, {});
        const MessageData &data = message->data(false);
        ASSERT_EQ(data.pieces.size(), 5u);
        EXPECT_EQ(data.pieces[2].file, files.files.front());
    }
    EXPECT_EQ(encodeFiles({path}, FileEncoding::Base64).failure, QStringLiteral("The file you tried to attach does not exist"));
}
