// tramelo-run as an operator uses it: a saved campaign sent from a terminal,
// killed and started again, stopped with Ctrl-C, refused when it cannot start.
#include "campaign_run_fixture.h"
#include "database_servers.h"
#include "failing_server_script.h"
#include "gtest_qt_printers.h"
#include "plain_text.h"
#include "pre_run_checks.h"
#include "project_extension.h"
#include "project_file.h"
#include "project_record.h"
#include "scripted_server.h"
#include "send_journal.h"
#include "smtp_script.h"
#include "sent_message.h"
#include "test_certificates.h"
#include "windows1252.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QProcess>

#include <csignal>
#include <linux/capability.h>
#include <sys/prctl.h>

#include <gtest/gtest.h>

using namespace tramelo;
using namespace tramelo::test;
using namespace std::chrono_literals;

namespace {

struct RunResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// Where the runner starts and what it may do: in the test's own folder by
// default; with permissionsApply it meets file permissions as an ordinary
// user does, even when the tests run as root.
struct RunnerStart {
    QString folder;
    bool permissionsApply = false;
    QString temporaryFolder = {}; // TMPDIR
};

void startRunner(QProcess &process, const QStringList &arguments, const RunnerStart &how = {})
{
    if (!how.folder.isEmpty())
        process.setWorkingDirectory(how.folder);
    if (!how.temporaryFolder.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), how.temporaryFolder);
        process.setProcessEnvironment(environment);
    }
    if (how.permissionsApply) {
        process.setChildProcessModifier([] {
            for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
                ::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
        });
    }
    process.start(QStringLiteral(TRAMELO_RUN_PROGRAM), arguments);
}

RunResult runToEnd(const QStringList &arguments, const RunnerStart &how = {})
{
    QProcess process;
    startRunner(process, arguments, how);
    RunResult result;
    // The event loop keeps turning for a server that lives in this process.
    if (!waitUntil([&process] { return process.state() == QProcess::NotRunning; }, 60s)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "tramelo-run did not end";
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

// The body in a folder of its own, with an image it names by a path
// relative to that folder, as HTML editors write them.
void useBodyFileInItsOwnFolder(CampaignRunFixture &f)
{
    ASSERT_TRUE(QDir(f.folder.path()).mkpath(QStringLiteral("cos/img")));
    QFile image(f.folder.filePath(QStringLiteral("cos/img/logo.png")));
    ASSERT_TRUE(image.open(QIODevice::WriteOnly) && image.write("\x89PNG logo") > 0);
    const QString body = f.folder.filePath(QStringLiteral("cos/cos.htm"));
    QFile html(body);
    ASSERT_TRUE(html.open(QIODevice::WriteOnly)
                && html.write("<html><body><p>Bon dia <<<Nom>>></p><img src=\"img/logo.png\"></body></html>") > 0);
    html.close();
    f.campaign.settings().setBodyKind(BodyKind::File);
    f.campaign.settings().setText(Setting::BodySource, body);
    RefreshBodyPreview(f.campaign);
}

// A campaign prepared and saved as the window would save it.
QString saveCampaign(CampaignRunFixture &f, quint16 port, const QList<Recipient> &rows, int groupSize = 1,
                     const QString &waitSeconds = QStringLiteral("0"), bool bodyInItsOwnFolder = false)
{
    if (!f.createRecipients(rows))
        return {};
    f.prepare(port);
    if (groupSize > 1)
        f.setGroups(groupSize);
    f.campaign.settings().setText(Setting::WaitSeconds, waitSeconds);
    if (bodyInItsOwnFolder)
        useBodyFileInItsOwnFolder(f);
    const QString project = f.folder.filePath(QStringLiteral("campanya.pcm"));
    EXPECT_TRUE(SaveProject(f.campaign, project));
    return project;
}

QStringList savedMarks(const QString &project)
{
    FakeCampaignView view;
    Campaign campaign(view);
    EXPECT_TRUE(LoadProject(campaign, project));
    QStringList marks;
    for (int row = 1; row <= campaign.grid().dataRowCount(); ++row)
        marks << campaign.grid().markText(row);
    return marks;
}

// Rewrites the project with a row count and sent marks of the test's
// choosing, its extension block (the campaign's identifier) kept unless the
// marks are cut short, which loses what followed them.
void storeMarks(const QString &project, qint32 rowCount, const QByteArray &marks)
{
    QFile file(project);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray old = file.readAll();
    file.close();
    ProjectRecord record = readProjectRecord(old).record;
    const QByteArray extension = marks.size() < rowCount ? QByteArray() : old.right(projectExtensionLength(old));
    record.recipientRowCount = rowCount;
    const std::optional<QByteArray> bytes = writeProject(record, marks);
    ASSERT_TRUE(bytes && file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(*bytes + extension), bytes->size() + extension.size());
}

int extraDeliveries(const QMap<QString, int> &seen)
{
    int extra = 0;
    for (auto it = seen.cbegin(); it != seen.cend(); ++it)
        extra += it.value() - 1;
    return extra;
}

} // namespace

TEST(TrameloRun, SendsASavedCampaignAndKeepsItsMarks)
{
    CampaignRunFixture f;
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    QList<Recipient> rows = numberedRecipients(5);
    rows[1].nom = QStringLiteral("<<<Correu>>>"); // merged as written, never merged again
    rows[3].correu = QStringLiteral("no-es-una-adreca");
    const QString project = saveCampaign(f, server.port(), rows);

    const RunResult result = runToEnd({project});

    EXPECT_EQ(result.exitCode, 1) << result.err; // one row is "No"
    ASSERT_TRUE(server.waitForMessages(4, 10s));
    const QList<AiosmtpdServer::Message> messages = server.messages();
    ASSERT_EQ(messages.size(), 4);
    EXPECT_EQ(messages[0].rcptTos, QStringList{QStringLiteral("persona1@example.com")});
    EXPECT_TRUE(messages[0].data.contains("Subject: Hola Persona 1"));
    EXPECT_TRUE(messages[1].data.contains("Subject: Hola <<<Correu>>>\r\n"));
    EXPECT_TRUE(messages[4 - 1].data.contains("Bon dia Persona 5, de Ciutat 5"));
    EXPECT_TRUE(result.out.contains(QLatin1String("Enviament finalitzat"))) << result.out;
    EXPECT_TRUE(result.out.contains(QLatin1String("4 enviats, 1 no enviat"))) << result.out;
    // One line per group when standard error is not a terminal, each row not
    // sent on a line of its own: the invalid row is gathered with the next one.
    EXPECT_EQ(result.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
              (QStringList{QStringLiteral("1/1/5"), QStringLiteral("2/2/5"), QStringLiteral("3/3/5"),
                           QStringLiteral("No enviat: fila 4, no-es-una-adreca, validació: Adreça de correu no vàlida"),
                           QStringLiteral("5/4/5")}));
    EXPECT_TRUE(result.out.endsWith(QStringLiteral("Registre d'enviaments: %1\n").arg(f.journalPath))) << result.out;
    EXPECT_EQ(savedMarks(project), (QStringList{QStringLiteral("Si"), QStringLiteral("Si"), QStringLiteral("Si"),
                                                QStringLiteral("No"), QStringLiteral("Si")}));

    // Started again, it sends to nobody new; the invalid row stays refused.
    const RunResult again = runToEnd({project});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(server.messageCount(), 4);
}

// Recipients in the organisation's database server, named by a connect
// string: stopped with Ctrl-C after its first message and started again,
// the run sends every row one message, accented names merged as stored.
TEST(TrameloRun, SendsFromPostgreSqlAndMariaDbAndResumes)
{
    PostgresServer postgres;
    MariaDbServer mariaDb;
    const std::pair<DatabaseServer *, QChar> servers[] = {{&postgres, u'"'}, {&mariaDb, u'`'}};
    QStringList missing;
    for (const auto &[server, quote] : servers) {
        SCOPED_TRACE(server->name().toStdString());
        if (!server->missingPackage().isEmpty()) {
            missing << server->missingPackage();
            continue;
        }
        ASSERT_TRUE(server->start()) << server->errorText();
        const QList<Recipient> rows = {
            {QStringLiteral("Núria Pàmies"), QStringLiteral("Lleida"), QStringLiteral("nuria@example.com")},
            {QStringLiteral("Jordi Çà"), QStringLiteral("Vic"), QStringLiteral("jordi@example.com")},
            {QStringLiteral("Persona 3"), QStringLiteral("Ciutat 3"), QStringLiteral("persona3@example.com")},
        };
        QString error;
        ASSERT_TRUE(server->createDatabase(QStringLiteral("campanya"), recipientTable(rows, quote), error)) << error;
        CampaignRunFixture f;
        f.databaseSource = server->connectString(QStringLiteral("campanya"));
        AiosmtpdServer smtp;
        ASSERT_TRUE(smtp.start()) << smtp.errorText();
        f.prepare(smtp.port());
        ASSERT_EQ(f.campaign.grid().dataRowCount(), rows.size()) << f.view.messageTexts().join(u'\n');
        f.campaign.settings().setText(Setting::WaitSeconds, QStringLiteral("15"));
        ASSERT_TRUE(SaveProject(f.campaign, f.projectPath));

        QProcess runner;
        startRunner(runner, {f.projectPath});
        ASSERT_TRUE(runner.waitForStarted());
        ASSERT_TRUE(smtp.waitForMessages(1, 20s));
        ::kill(pid_t(runner.processId()), SIGINT);
        ASSERT_TRUE(runner.waitForFinished(20000));
        EXPECT_EQ(savedMarks(f.projectPath), (QStringList{QStringLiteral("Si"), QString(), QString()}));
        {
            FakeCampaignView view;
            Campaign campaign(view);
            ASSERT_TRUE(LoadProject(campaign, f.projectPath));
            campaign.settings().setText(Setting::WaitSeconds, QStringLiteral("0"));
            ASSERT_TRUE(SaveProject(campaign, f.projectPath));
        }
        const RunResult result = runToEnd({f.projectPath});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(savedMarks(f.projectPath), QStringList(rows.size(), QStringLiteral("Si")));

        const QList<AiosmtpdServer::Message> messages = smtp.messages();
        ASSERT_EQ(messages.size(), rows.size());
        for (qsizetype i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(messages[i].rcptTos, QStringList{*rows[i].correu});
            const MimeInspection inspection = inspectMime(messages[i].data);
            ASSERT_TRUE(inspection.error.isEmpty()) << inspection.error;
            EXPECT_EQ(firstHeader(inspection.message, QStringLiteral("subject")), QStringLiteral("Hola ") + rows[i].nom);
            EXPECT_TRUE(inspection.message[QStringLiteral("parts")][0][QStringLiteral("text")].toString().contains(
                QStringLiteral("<p>Bon dia %1, de %2</p>").arg(rows[i].nom, rows[i].ciutat)));
        }
    }
    if (missing.size() == qsizetype(std::size(servers)))
        GTEST_SKIP() << "not installed: " << missing.join(QStringLiteral(", "));
}

TEST(TrameloRun, KilledAtAnyMomentItResumesFromARelativePathAndSendsTwiceAtMostTheGroupInFlight)
{
    constexpr int groupSize = 2;
    CampaignRunFixture f;
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    const QList<Recipient> rows = numberedRecipients(200);
    ASSERT_FALSE(saveCampaign(f, server.port(), rows, groupSize, QStringLiteral("0"), true).isEmpty());
    const RunnerStart inProjectFolder{f.folder.path()};

    // Killed at several points (a message just accepted, or a few
    // milliseconds later), started again each time from the same relative path.
    const std::pair<int, std::chrono::milliseconds> killAfter[] = {{1, 0ms}, {30, 2ms}, {60, 5ms}}; // of 100 messages
    for (const auto &[messages, delay] : killAfter) {
        QProcess runner;
        startRunner(runner, {QStringLiteral("campanya.pcm")}, inProjectFolder);
        ASSERT_TRUE(runner.waitForStarted());
        ASSERT_TRUE(server.waitForMessages(messages, 20s)) << messages;
        pumpEventsFor(delay);
        ASSERT_EQ(runner.state(), QProcess::Running) << "the run ended before its kill";
        ::kill(pid_t(runner.processId()), SIGKILL);
        ASSERT_TRUE(runner.waitForFinished(10000));
        // Every message the server took has its "S" row, but for the one in
        // flight: the last, whose answer the run may not have seen.
        const QSet<QString> journalled = readJournal(f.journalPath).sentAddresses;
        const QList<AiosmtpdServer::Message> accepted = server.messages();
        for (qsizetype m = 0; m + 1 < accepted.size(); ++m) {
            for (const QString &address : accepted[m].rcptTos)
                EXPECT_TRUE(journalled.contains(address)) << address << " after " << messages;
        }
    }
    RunResult result;
    for (int attempt = 0; attempt < 3 && result.exitCode != 0; ++attempt)
        result = runToEnd({QStringLiteral("campanya.pcm")}, inProjectFolder);
    EXPECT_EQ(result.exitCode, 0) << result.err;

    const QMap<QString, int> seen = deliveries(server);
    EXPECT_EQ(seen.size(), rows.size());
    EXPECT_LE(extraDeliveries(seen), int(std::size(killAfter)) * groupSize)
        << "more than the group in flight at each kill was sent twice";
    EXPECT_EQ(savedMarks(f.folder.filePath(QStringLiteral("campanya.pcm"))), QStringList(rows.size(), QStringLiteral("Si")));
}

// The project is not rewritten after every group but every few hundred
// (or few seconds); the journal alone is enough to resume.
TEST(TrameloRun, SavesTheProjectEveryFewHundredGroupsAndResumesFromTheJournalAlone)
{
    CampaignRunFixture f;
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    const QList<Recipient> rows = numberedRecipients(520);
    const QString project = saveCampaign(f, server.port(), rows);
    const auto projectSentMarks = [&project] {
        QFile file(project);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        return bytes.mid(readProjectRecord(bytes).length).count('S');
    };

    QProcess runner;
    startRunner(runner, {project});
    ASSERT_TRUE(runner.waitForStarted());
    ASSERT_TRUE(server.waitForMessages(510, 60s));
    ASSERT_EQ(runner.state(), QProcess::Running) << "the run ended before its kill";
    ::kill(pid_t(runner.processId()), SIGKILL);
    ASSERT_TRUE(runner.waitForFinished(10000));
    // Saved every 500 groups or every 5 seconds, whichever comes first (on a
    // slow machine the clock does): the 509 groups marked before the last
    // message leave at most 499 unsaved.
    EXPECT_GE(projectSentMarks(), 509 - 499);

    // Marks lost from the project: the journal says who was sent to.
    storeMarks(project, qint32(rows.size()), QByteArray(rows.size(), ' '));
    const RunResult result = runToEnd({project});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const QMap<QString, int> seen = deliveries(server);
    EXPECT_EQ(seen.size(), rows.size());
    EXPECT_LE(extraDeliveries(seen), 1) << "more than the message in flight at the kill was sent twice";
    EXPECT_EQ(projectSentMarks(), rows.size());
}

TEST(TrameloRun, NamesEveryRowNotSentAndItsJournal)
{
    CampaignRunFixture f;
    const QList<Recipient> rows = numberedRecipients(6);
    QStringList addresses;
    for (const Recipient &row : rows)
        addresses << *row.correu;
    ScriptedSmtpServer failing;
    failing.addScript(failingServerScript(QStringLiteral("remitent@example.org"), addresses));
    ASSERT_TRUE(failing.listen());
    const QString project = saveCampaign(f, failing.port(), rows);

    const RunResult result = runToEnd({project});

    EXPECT_TRUE(failing.waitForFinished(5s)) << failing.verify();
    EXPECT_EQ(result.exitCode, 1);
    QStringList notSent;
    for (const QString &row : failingServerJournal(addresses)) {
        const QStringList fields = row.split(u','); // row, address, result, stage, reply
        if (fields[2] == QLatin1String("N"))
            notSent << QStringLiteral("No enviat: fila %1, %2, %3: %4").arg(fields[0], fields[1], fields[3], fields[4]);
    }
    QStringList errorLines = result.err.split(u'\n', Qt::SkipEmptyParts);
    errorLines.removeIf([](const QString &line) { return !line.startsWith(QLatin1String("No enviat")); });
    EXPECT_EQ(errorLines, notSent) << result.err;
    EXPECT_TRUE(result.out.contains(endOfRun(6, 6, 2, 4, {QStringLiteral("destinatari: 2"), QStringLiteral("dades: 1"),
                                                          QStringLiteral("temps esgotat: 1")})))
        << result.out;
}

// Stopped after 20 of 50 rows; then 3 rows come in at the top, 2 go (one
// sent, one not), and the sent addresses come back in capitals after a
// blank: the next run sends to exactly the addresses that had nothing yet.
TEST(TrameloRun, AChangedSourceResumesByAddress)
{
    CampaignRunFixture f;
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    ASSERT_TRUE(f.createRecipients(numberedRecipients(50)));
    f.prepare(server.port());
    f.stopDuringMessage(20);
    f.pressSend(false);
    ASSERT_EQ(server.messageCount(), 20);
    ASSERT_TRUE(SaveProject(f.campaign, f.projectPath));
    QString error;
    ASSERT_TRUE(createSqliteDatabase(
        f.databasePath,
        {QStringLiteral("INSERT INTO Destinataris SELECT 'Nova 1', 'x', 'nova1@example.com' UNION ALL SELECT 'Nova 2', "
                        "'x', 'nova2@example.com' UNION ALL SELECT 'Nova 3', 'x', 'nova3@example.com' UNION ALL SELECT "
                        "Nom, Ciutat, CASE WHEN rowid <= 20 THEN ' ' || UPPER(Correu) ELSE Correu END FROM Destinataris"),
         QStringLiteral("DELETE FROM Destinataris WHERE rowid <= 50 OR Nom IN ('Persona 5', 'Persona 30')")},
        error))
        << error;

    const RunResult result = runToEnd({f.projectPath});

    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.out.contains(QStringLiteral("Registre d'enviaments %1: 19 files ja enviades").arg(f.journalPath)))
        << result.out;
    // The 51 rows less the 19 sent before, each once; and the row that went, never.
    const QMap<QString, int> seen = deliveries(server);
    EXPECT_EQ(server.messageCount(), 20 + 32);
    EXPECT_EQ(seen.values(), QList<int>(20 + 32, 1)) << "someone was sent to twice";
    EXPECT_FALSE(seen.contains(QStringLiteral("persona30@example.com")));
}

// Names, subject, body and files that need quoting, folding, encoding or
// dot-stuffing, read back by Python's email package; addresses that would
// break the headers are refused.
TEST(TrameloRun, CampaignMessagesReadBackExactly)
{
    CampaignRunFixture f;
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    QList<Recipient> rows = numberedRecipients(3);
    rows[1].correu = QStringLiteral("persona,2@example.com");
    rows[2].correu = QStringLiteral("persòna3@example.com");
    ASSERT_TRUE(f.createRecipients(rows));
    f.prepare(server.port());
    const QByteArray logo = patternBytes(3000, 7);
    const QByteArray notice = patternBytes(59, 8);
    ASSERT_TRUE(QDir(f.folder.path()).mkdir(QStringLiteral("imatges")));
    writeFile(f.folder, QStringLiteral("imatges/logo.gif"), logo);
    const QString noticeName = QStringLiteral("Convocatòria \"assemblea\".txt");
    const QString body = writeFile(f.folder, QStringLiteral("cos.htm"),
                                   "<p>x=1</p><img src=\"imatges/logo.gif\" width=10><!-- logo.gif: 10px -->\r\n"
                                   ".punt <<<Nom>>>\r\n");
    CampaignSettings &s = f.campaign.settings();
    const QString senderName = QStringLiteral("Joan \"JJ\" Puig, “Vendes”");
    s.setText(Setting::SenderName, senderName);
    s.setText(Setting::MessageSubject, QStringLiteral("Hola <<<Nom>>>: ") + QStringLiteral("paraula ").repeated(150).trimmed());
    s.setBodyKind(BodyKind::File);
    s.setText(Setting::BodySource, body);
    RefreshBodyPreview(f.campaign);
    s.setText(Setting::AttachmentList, writeFile(f.folder, noticeName, notice));
    const QString project = f.folder.filePath(QStringLiteral("campanya.pcm"));
    ASSERT_TRUE(SaveProject(f.campaign, project));

    const RunResult result = runToEnd({project});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(savedMarks(project), (QStringList{QStringLiteral("Si"), QStringLiteral("No"), QStringLiteral("No")}));
    ASSERT_EQ(server.messageCount(), 1);
    const MimeInspection inspection = inspectMime(server.messages().first().data);
    ASSERT_TRUE(inspection.error.isEmpty()) << inspection.error;
    const QJsonObject &message = inspection.message;
    EXPECT_TRUE(message[QStringLiteral("defects")].toArray().isEmpty());
    EXPECT_EQ(message[QStringLiteral("addresses")][QStringLiteral("from")][0][QStringLiteral("display_name")].toString(), senderName);
    EXPECT_EQ(firstHeader(message, QStringLiteral("subject")),
              QStringLiteral("Hola Persona 1: ") + QStringLiteral("paraula ").repeated(150).trimmed());
    EXPECT_TRUE(firstHeader(message, QStringLiteral("message-id")).endsWith(QLatin1String("@example.org>")));
    EXPECT_EQ(message[QStringLiteral("parts")][0][QStringLiteral("text")].toString(),
              QStringLiteral("\r\n<p>x=1</p><img src=\"cid:logo.gif\" width=10><!-- logo.gif: 10px -->\r\n"
                             ".punt Persona 1\r\n\r\n\r\n"));
    EXPECT_EQ(partNamed(message, QStringLiteral("logo.gif"))[QStringLiteral("sha256")].toString(), sha256(logo));
    EXPECT_EQ(partNamed(message, noticeName)[QStringLiteral("sha256")].toString(), sha256(notice));
}

// Recipients named in five scripts, one with an emoji, a sender, a subject
// and a body beyond Latin-1, the body in a folder that only the project's
// extension block can name: every message reads back exactly as written,
// whether the body file is UTF-8 or Windows-1252, and whether the server was
// greeted with HELO (quoted-printable or base64) or with EHLO and offered
// 8BITMIME (8bit).
TEST(TrameloRun, EveryNameAndLetterArrivesAsWritten)
{
    struct Case {
        const char *name;
        QByteArray bodyBytes;
        QString bodyText;
        bool login;
    };
    const QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body>"
                                        "<p>Benvolgut/da <<<Nom>>>: “oferta” de 5 €</p></body></html>");
    const Case cases[] = {
        {"UTF-8 HTML, HELO", html.toUtf8(), html, false},
        {"UTF-8 HTML, EHLO with 8BITMIME", html.toUtf8(), html, true},
        {"Windows-1252, HELO", "Hola <<<Nom>>> \x96 \x93preu\x94 5 \x80\r\n", QStringLiteral("Hola <<<Nom>>> – “preu” 5 €\r\n"), false},
    };
    const QList<Recipient> rows = {
        {QStringLiteral("Núria Puigdomènech"), QStringLiteral("Girona"), QStringLiteral("nuria@example.com")},
        {QStringLiteral("Łucja Wąsowska"), QStringLiteral("Kraków"), QStringLiteral("lucja@example.com")},
        {QStringLiteral("Αλέξανδρος Παπαδόπουλος"), QStringLiteral("Αθήνα"), QStringLiteral("alexandros@example.com")},
        {QStringLiteral("Светлана Иванова"), QStringLiteral("Москва"), QStringLiteral("svetlana@example.com")},
        {QStringLiteral("Joan 🎉 Vidal"), QStringLiteral("Reus"), QStringLiteral("joan@example.com")},
    };
    const QString sender = QStringLiteral("Associació Ωμέγα");
    const QString subject = QStringLiteral("Ενημέρωση για <<<Nom>>> (<<<Ciutat>>>) — 5 €");
    const auto merged = [](QString text, const Recipient &row) {
        return text.replace(QStringLiteral("<<<Nom>>>"), row.nom).replace(QStringLiteral("<<<Ciutat>>>"), row.ciutat);
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CampaignRunFixture f;
        AiosmtpdServer::Options options;
        if (c.login) {
            options.user = QStringLiteral("usuari");
            options.password = QStringLiteral("clau");
        }
        AiosmtpdServer server(options);
        ASSERT_TRUE(server.start()) << server.errorText();
        ASSERT_TRUE(f.createRecipients(rows));
        f.prepare(server.port());
        CampaignSettings &s = f.campaign.settings();
        s.setText(Setting::SenderName, sender);
        s.setText(Setting::MessageSubject, subject);
        ASSERT_TRUE(QDir(f.folder.path()).mkdir(QStringLiteral("Łódź")));
        s.setBodyKind(BodyKind::File);
        s.setText(Setting::BodySource, writeFile(f.folder, QStringLiteral("Łódź/cos.htm"), c.bodyBytes));
        s.setCheckValue(Check::NeedsLogin, c.login ? 1 : 0);
        s.setText(Setting::LoginUser, QStringLiteral("usuari"));
        s.setText(Setting::LoginPassword, QStringLiteral("clau"));
        const QString project = f.folder.filePath(QStringLiteral("campanya.pcm"));
        ASSERT_TRUE(SaveProject(f.campaign, project));

        const RunResult result = runToEnd({project});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        ASSERT_TRUE(server.waitForMessages(rows.size(), 10s));
        const QList<AiosmtpdServer::Message> messages = server.messages();
        for (qsizetype i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(rows[i].nom.toStdString());
            const MimeInspection inspection = inspectMime(messages[i].data);
            ASSERT_TRUE(inspection.error.isEmpty()) << inspection.error;
            const QJsonObject &message = inspection.message;
            EXPECT_TRUE(message[QStringLiteral("defects")].toArray().isEmpty());
            EXPECT_EQ(message[QStringLiteral("addresses")][QStringLiteral("from")][0][QStringLiteral("display_name")].toString(), sender);
            EXPECT_EQ(firstHeader(message, QStringLiteral("subject")), merged(subject, rows[i]));
            const QJsonObject body = message[QStringLiteral("parts")][0].toObject();
            EXPECT_EQ(body[QStringLiteral("text")].toString(), crlf + merged(c.bodyText, rows[i]) + crlf + crlf + crlf);
            EXPECT_EQ(body[QStringLiteral("charset")].toString(), QStringLiteral("utf-8"));
            EXPECT_EQ(body[QStringLiteral("transfer_encoding")].toString() == u"8bit", c.login);
        }
        EXPECT_EQ(server.commands().filter(QStringLiteral(" BODY=8BITMIME")).size(), c.login ? rows.size() : 0);
    }
}

TEST(TrameloRun, ARelativeProjectPathKeepsItsMarksWhereverTheBodyLives)
{
    CampaignRunFixture f;
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    const QString project = saveCampaign(f, server.port(), numberedRecipients(3), 1, QStringLiteral("0"), true);
    const RunnerStart inProjectFolder{f.folder.path()};

    const RunResult result = runToEnd({QStringLiteral("campanya.pcm")}, inProjectFolder);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(server.messageCount(), 3);
    for (const AiosmtpdServer::Message &message : server.messages()) {
        EXPECT_TRUE(message.data.contains("src=\"cid:logo.png\"")) << message.data.constData();
        EXPECT_TRUE(message.data.contains("Content-ID: <logo.png>")) << message.data.constData();
    }
    EXPECT_EQ(savedMarks(project), QStringList(3, QStringLiteral("Si")));
    EXPECT_FALSE(QFileInfo::exists(f.folder.filePath(QStringLiteral("cos/campanya.pcm"))));

    // Started again, it finds every row sent.
    const RunResult again = runToEnd({QStringLiteral("campanya.pcm")}, inProjectFolder);
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_TRUE(again.err.contains(QStringLiteral("No hi ha cap destinatari per enviar"))) << again.err;
    EXPECT_EQ(server.messageCount(), 3);
}

// Stopped in a pause by Ctrl-C or SIGTERM, the run saves its project at once
// (when it still can) and says it was stopped before the end.
TEST(TrameloRun, CtrlCEndsThePauseAtOnceWithTheProjectSaved)
{
    for (const auto &[stop, folderWritable] : {std::pair{SIGINT, true}, std::pair{SIGTERM, false}}) {
        SCOPED_TRACE(folderWritable ? "Ctrl-C, writable folder" : "SIGTERM, folder made read-only");
        CampaignRunFixture f;
        AiosmtpdServer server;
        ASSERT_TRUE(server.start()) << server.errorText();
        const QString project = saveCampaign(f, server.port(), numberedRecipients(4), 1, QStringLiteral("15"));

        QProcess runner;
        startRunner(runner, {project}, {QString(), true});
        ASSERT_TRUE(runner.waitForStarted());
        ASSERT_TRUE(server.waitForMessages(1, 20s));
        const QFile::Permissions writable = QFile::permissions(f.folder.path());
        if (!folderWritable) {
            ASSERT_TRUE(QFile::setPermissions(f.folder.path(), QFile::ReadOwner | QFile::ExeOwner));
        }
        QElapsedTimer sinceStop;
        sinceStop.start();
        ::kill(pid_t(runner.processId()), stop);
        const bool finished = runner.waitForFinished(20000);
        QFile::setPermissions(f.folder.path(), writable);
        ASSERT_TRUE(finished);
        EXPECT_LT(sinceStop.elapsed(), 5000) << "the stop waited for the end of the pause";
        EXPECT_EQ(runner.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(runner.exitCode(), 3); // stopped before the end
        const QString out = QString::fromLocal8Bit(runner.readAllStandardOutput());
        EXPECT_TRUE(out.contains(QLatin1String("Enviament aturat"))) << out;

        EXPECT_EQ(server.messageCount(), 1);
        if (folderWritable) {
            EXPECT_EQ(savedMarks(project), (QStringList{QStringLiteral("Si"), QString(), QString(), QString()}));
        }
    }
}

TEST(TrameloRun, ASecondRunOfTheSameProjectRefusesToStart)
{
    CampaignRunFixture f;
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    const QString project = saveCampaign(f, server.port(), numberedRecipients(4), 1, QStringLiteral("1"));

    QProcess first;
    startRunner(first, {project});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(server.waitForMessages(1, 20s));
    const RunResult second = runToEnd({project});
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_TRUE(second.err.contains(QString::number(first.processId()))) << second.err;

    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitCode(), 0);
    const QMap<QString, int> seen = deliveries(server);
    EXPECT_EQ(seen.size(), 4);
    EXPECT_EQ(extraDeliveries(seen), 0);
}

TEST(TrameloRun, AProjectThatCannotBeSavedSendsNothing)
{
    CampaignRunFixture f;
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    const QString project = saveCampaign(f, server.port(), numberedRecipients(3));
    // A read-only folder where an earlier run left its lock file.
    QFile lock(project + QStringLiteral(".lock"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.close();
    const QFile::Permissions writable = QFile::permissions(f.folder.path());
    ASSERT_TRUE(QFile::setPermissions(f.folder.path(), QFile::ReadOwner | QFile::ExeOwner));

    const RunResult result = runToEnd({project}, {QString(), true});
    QFile::setPermissions(f.folder.path(), writable);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains(QLatin1String("No s'ha pogut gravar l'arxiu de projecte"))) << result.err;
    EXPECT_EQ(server.messageCount(), 0);
}

TEST(TrameloRun, MarksThatCannotBeRestoredKeepItFromSending)
{
    struct Case {
        const char *name;
        qint32 rowCount;
        QByteArray marks;
        bool rowAdded;
        const char *reason;
        QByteArray journal = {}; // none when empty
    };
    const char *notRestored = "No s'han pogut restaurar les marques d'enviat desades al projecte: ";
    const char *notRead = "No s'ha pogut llegir el registre d'enviaments ";
    const Case cases[] = {
        {"a row added since the marks were saved", 5, "SSS  ", true, "el projecte es va gravar amb 5 destinataris i ara l'origen en dona 6"},
        {"a row count above the rows", 6, "SSS   ", false, "el projecte es va gravar amb 6 destinataris i ara l'origen en dona 5"},
        {"marks cut short by one byte", 5, "SSS ", false, "l'arxiu de projecte està tallat: hi ha 4 marques d'enviat de les 5 desades"},
        {"a mark that is no mark", 5, "SSX  ", false, "la marca de la fila 3 no és S, N ni un espai"},
        {"a journal that is no journal", 5, "SSS  ", false, ": la primera línia no és la capçalera d'un registre d'enviaments",
         "Data i hora;Fila;Adreça\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CampaignRunFixture f;
        AiosmtpdServer server;
        ASSERT_TRUE(server.start()) << server.errorText();
        const QString project = saveCampaign(f, server.port(), numberedRecipients(5));
        storeMarks(project, c.rowCount, c.marks);
        if (!c.journal.isEmpty())
            writeFile(f.folder, QFileInfo(f.journalPath).fileName(), c.journal);
        if (c.rowAdded) {
            QString error;
            ASSERT_TRUE(createSqliteDatabase(f.databasePath, {QStringLiteral("INSERT INTO Destinataris VALUES ('N', 'x', 'n@example.com')")}, error))
                << error;
        }

        const RunResult result = runToEnd({project});
        EXPECT_EQ(result.exitCode, 2);
        const QString expected = c.journal.isEmpty()
            ? QString::fromUtf8(notRestored) + QString::fromUtf8(c.reason)
            : QString::fromUtf8(notRead) + f.journalPath + QString::fromUtf8(c.reason);
        EXPECT_TRUE(result.err.contains(QStringLiteral("No es pot començar l'enviament. ") + expected)) << result.err;
        EXPECT_EQ(server.messageCount(), 0);
    }
}

TEST(TrameloRun, CampaignsThatCannotStartExitWithTwo)
{
    const RunResult missing = runToEnd({QStringLiteral("/no/such/campaign.pcm")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains(QLatin1String("No es pot llegir l'arxiu de projecte: /no/such/campaign.pcm")))
        << missing.err;

    CampaignRunFixture f;
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    ASSERT_TRUE(f.createRecipients(numberedRecipients(2)));
    f.prepare(server.port());
    f.campaign.settings().setText(Setting::SenderName, QString());
    const QString project = f.folder.filePath(QStringLiteral("incomplet.pcm"));
    ASSERT_TRUE(SaveProject(f.campaign, project));
    const RunResult invalid = runToEnd({project});
    EXPECT_EQ(invalid.exitCode, 2);
    EXPECT_TRUE(invalid.err.contains(QStringLiteral("El nom per mostrar és obligatori"))) << invalid.err;
    EXPECT_EQ(server.messageCount(), 0);

    const RunResult usage = runToEnd({});
    EXPECT_EQ(usage.exitCode, 2);
}

TEST(TrameloRun, TestSendGoesToTheSenderOnly)
{
    CampaignRunFixture f;
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    const QString project = saveCampaign(f, server.port(), numberedRecipients(3));
    const RunResult result = runToEnd({QStringLiteral("--test"), project});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    ASSERT_TRUE(server.waitForMessages(1, 10s));
    EXPECT_EQ(server.messages().first().rcptTos, QStringList{QStringLiteral("remitent@example.org")});
    EXPECT_EQ(savedMarks(project), QStringList(3, QString()));
}

namespace {

// A campaign with a login, sent through a server of the given kind with the
// security chosen and the test authority as its trusted certificates.
struct SecureCampaign {
    AiosmtpdServer::Options::Tls tls;
    ConnectionSecurity security;
    TestCertificates::Server certificate;
    QString trusted;
};

QString saveSecureCampaign(CampaignRunFixture &f, AiosmtpdServer &server, const SecureCampaign &c)
{
    if (!f.createRecipients(numberedRecipients(3)))
        return {};
    f.prepare(server.port());
    CampaignSettings &s = f.campaign.settings();
    s.setSecurity(c.security);
    s.setText(Setting::TrustedCertificatesFile, c.trusted);
    s.setCheckValue(Check::NeedsLogin, 1);
    s.setText(Setting::LoginUser, QStringLiteral("usuari"));
    s.setText(Setting::LoginPassword, QStringLiteral("contrasenya"));
    const QString project = f.folder.filePath(QStringLiteral("campanya.pcm"));
    EXPECT_TRUE(SaveProject(f.campaign, project));
    return project;
}

AiosmtpdServer::Options serverFor(const SecureCampaign &c)
{
    AiosmtpdServer::Options options;
    options.user = QStringLiteral("usuari");
    options.password = QStringLiteral("contrasenya");
    options.tls = c.tls;
    options.certificateFile = c.certificate.certificateFile;
    options.keyFile = c.certificate.keyFile;
    return options;
}

// A message as sent, without the two headers that differ with every
// message: its date and its identifier.
QByteArray withoutDateAndId(const QByteArray &data)
{
    static const QRegularExpression unique(QStringLiteral("^(Date|Message-ID): [^\r\n]*\r\n"),
                                           QRegularExpression::MultilineOption);
    return QString::fromLatin1(data).remove(unique).toLatin1();
}

} // namespace

TEST(TrameloRun, SendsThroughStartTlsAndSslTlsTheMessagesItSendsInPlainText)
{
    using Tls = AiosmtpdServer::Options::Tls;
    const TestCertificates &made = TestCertificates::shared();
    ASSERT_TRUE(made.ok()) << made.errorText();
    const SecureCampaign cases[] = {
        {Tls::None, ConnectionSecurity::None, {}, {}},
        {Tls::StartTls, ConnectionSecurity::StartTls, made.good(), made.authorityFile()},
        {Tls::Implicit, ConnectionSecurity::SslTls, made.good(), made.authorityFile()},
    };
    QList<QByteArray> plain;
    for (const SecureCampaign &c : cases) {
        SCOPED_TRACE(int(c.security));
        CampaignRunFixture f;
        AiosmtpdServer server(serverFor(c));
        ASSERT_TRUE(server.start()) << server.errorText();
        const RunResult result = runToEnd({saveSecureCampaign(f, server, c)});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        ASSERT_TRUE(server.waitForMessages(3, 10s));
        QList<QByteArray> received;
        for (const AiosmtpdServer::Message &message : server.messages()) {
            EXPECT_EQ(message.login, QStringLiteral("usuari"));
            EXPECT_EQ(message.tls.isEmpty(), c.security == ConnectionSecurity::None) << message.tls;
            received << withoutDateAndId(message.data);
        }
        if (plain.isEmpty())
            plain = received;
        EXPECT_EQ(received, plain);
    }
    ASSERT_EQ(plain.size(), 3);
    EXPECT_TRUE(plain[2].contains("Subject: Hola Persona 3\r\n"));
}

TEST(TrameloRun, ATestSendToAServerItCannotTrustSaysWhyAndSendsNoLogin)
{
    const TestCertificates &made = TestCertificates::shared();
    ASSERT_TRUE(made.ok()) << made.errorText();
    const SecureCampaign untrusted{AiosmtpdServer::Options::Tls::StartTls, ConnectionSecurity::StartTls, made.good(), {}};
    CampaignRunFixture f;
    AiosmtpdServer server(serverFor(untrusted));
    ASSERT_TRUE(server.start()) << server.errorText();
    const QString project = saveSecureCampaign(f, server, untrusted);

    const RunResult result = runToEnd({QStringLiteral("--test"), project});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(QStringLiteral("Error en l'enviament:\nEl certificat del servidor SMTP 127.0.0.1 no és de "
                                                   "confiança: l'ha emès una autoritat desconeguda o que no és de confiança.")))
        << result.err;
    EXPECT_FALSE(server.commands().join(u' ').contains(QLatin1String("AUTH"))) << server.commands().join(u'|');
    EXPECT_EQ(server.messageCount(), 0);
}

TEST(TrameloRun, HelpAndVersion)
{
    const RunResult help = runToEnd({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QLatin1String("--test"))) << help.out;
    const RunResult version = runToEnd({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QLatin1String("tramelo-run 1."))) << version.out;
}

// A CSV file in either common form: every accent arrives, the marks are kept,
// rows added later are the only ones the next run sends to, the file is left
// as it was and the runner's SQLite copy of it goes when the runner ends.
TEST(TrameloRun, SendsFromACsvFileInEitherCommonForm)
{
    const QList<Recipient> rows = {
        {QStringLiteral("Nom"), QStringLiteral("Ciutat"), QStringLiteral("Correu")},
        {QStringLiteral("Núria \"Nuri\" Puigdomènech"), QStringLiteral("Girona"), QStringLiteral("nuria@example.com")},
        {QStringLiteral("Àngels Ferré"), QStringLiteral("Camp; Mar, Tarragona"), QStringLiteral("angels@example.com")},
        {QStringLiteral("Joan Çalçada"), QStringLiteral("L'Hospitalet"), QStringLiteral("joan@example.com")},
        {QStringLiteral("Òscar Muñoz"), QStringLiteral("Vic"), QStringLiteral("oscar@example.com")},
        {QStringLiteral("Eulàlia Güell"), QStringLiteral("Reus"), QStringLiteral("eulalia@example.com")},
    };
    for (const bool windows1252 : {false, true}) {
        SCOPED_TRACE(windows1252 ? "semicolon, Windows-1252" : "comma, UTF-8");
        const QChar delimiter = windows1252 ? u';' : u',';
        const auto csv = [&](const QList<Recipient> &records) {
            QString text;
            for (const Recipient &r : records) {
                QStringList fields;
                for (QString field : {r.nom, r.ciutat, *r.correu})
                    fields << u'"' + field.replace(u'"', QLatin1String("\"\"")) + u'"';
                text += fields.join(delimiter) + QStringLiteral("\r\n");
            }
            return windows1252 ? toWindows1252(text) : text.toUtf8();
        };
        CampaignRunFixture f;
        AiosmtpdServer server;
        ASSERT_TRUE(server.start()) << server.errorText();
        QTemporaryDir runnerTemporaryFolder;
        const RunnerStart how{QString(), false, runnerTemporaryFolder.path()};
        f.databaseSource = f.databasePath = writeFile(f.folder, QStringLiteral("Destinataris.csv"), csv(rows.mid(0, 4)));
        f.prepare(server.port());
        ASSERT_TRUE(SaveProject(f.campaign, f.projectPath));

        EXPECT_EQ(runToEnd({f.projectPath}, how).exitCode, 0);
        EXPECT_EQ(savedMarks(f.projectPath), QStringList(3, QStringLiteral("Si")));
        writeFile(f.folder, QStringLiteral("Destinataris.csv"), csv(rows));
        const RunResult again = runToEnd({f.projectPath}, how);
        EXPECT_EQ(again.exitCode, 0) << again.err;

        ASSERT_TRUE(server.waitForMessages(5, 10s));
        const QList<AiosmtpdServer::Message> messages = server.messages();
        ASSERT_EQ(messages.size(), 5);
        for (int i = 0; i < 5; ++i) {
            const Recipient &row = rows[i + 1];
            EXPECT_EQ(messages[i].rcptTos, QStringList{*row.correu});
            const QJsonObject message = inspectMime(messages[i].data).message;
            EXPECT_EQ(firstHeader(message, QStringLiteral("subject")), QStringLiteral("Hola ") + row.nom);
            EXPECT_TRUE(message[QStringLiteral("parts")][0][QStringLiteral("text")].toString().contains(
                QStringLiteral("Bon dia %1, de %2").arg(row.nom, row.ciutat)));
        }
        EXPECT_EQ(savedMarks(f.projectPath), QStringList(5, QStringLiteral("Si")));
        QFile file(f.databasePath);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly) && file.readAll() == csv(rows));
        EXPECT_TRUE(QDir(runnerTemporaryFolder.path()).isEmpty());
    }
}

namespace {

// A campaign that nobody has saved yet, as a new one in the window, saved as path.
QString saveAsNew(CampaignRunFixture &f, const QString &path)
{
    f.campaign.setCampaignId({});
    f.campaign.setProjectPath({});
    EXPECT_TRUE(SaveProject(f.campaign, path));
    return path;
}

// The project and the journal as a version before identifiers left them:
// neither names the campaign, and the journal knew only the first two rows.
QString makeLegacy(CampaignRunFixture &f, const QString &project)
{
    QFile file(project);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = writeProject(readProjectRecord(file.readAll()).record, "   ").value();
    file.close();
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
    writeJournal(f.journalPath, {{"S", QStringLiteral("persona1@example.com")}, {"S", QStringLiteral("persona2@example.com")}});
    return project;
}

} // namespace

// A journal only spares its own campaign's recipients: a new campaign saved
// over an old one's name, or beside a journal copied from another, sends
// nothing and says why; names that differ in case are two campaigns; a
// project and journal from before identifiers resume as one, and get one.
TEST(TrameloRunJournal, AJournalSparesOnlyTheRecipientsOfItsOwnCampaign)
{
    struct Case {
        const char *name;
        // After a first campaign was saved as campanya.pcm and sent: the project to run.
        std::function<QString(CampaignRunFixture &, const QString &)> then;
        int exitCode;
        int messagesAfter; // at the server, the first campaign's 3 included
        QStringList said;  // %1 the journal, %2 the project
    };
    const QStringList foreign = {QStringLiteral("el registre d'enviaments %1 és d'una altra campanya ("),
                                 QStringLiteral("i el projecte %2 és la campanya ")};
    const Case cases[] = {
        {"a new campaign saved over an old name", [](CampaignRunFixture &f, const QString &old) { return saveAsNew(f, old); },
         2, 3, foreign},
        {"a journal copied from another campaign",
         [](CampaignRunFixture &f, const QString &) {
             const QString copy = saveAsNew(f, f.folder.filePath(QStringLiteral("copia.pcm")));
             EXPECT_TRUE(QFile::copy(f.journalPath, SendJournal::pathFor(copy)));
             return copy;
         },
         2, 3, foreign},
        {"gener.pcm beside gener.PCM",
         [](CampaignRunFixture &f, const QString &old) {
             EXPECT_TRUE(QFile::rename(old, f.folder.filePath(QStringLiteral("gener.pcm")))
                         && QFile::rename(f.journalPath, f.folder.filePath(QStringLiteral("gener.enviaments.csv"))));
             return saveAsNew(f, f.folder.filePath(QStringLiteral("gener.PCM")));
         },
         0, 6, {QStringLiteral("Registre d'enviaments: %1\n")}},
        {"a project and journal from before identifiers", [](CampaignRunFixture &f, const QString &old) { return makeLegacy(f, old); },
         0, 4, {}},
        {"the same pair saved by the window first",
         [](CampaignRunFixture &f, const QString &old) {
             FakeCampaignView view;
             Campaign window(view);
             EXPECT_TRUE(LoadProject(window, makeLegacy(f, old)) && SaveProject(window, old));
             return old;
         },
         0, 4, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CampaignRunFixture f;
        AiosmtpdServer server;
        ASSERT_TRUE(server.start()) << server.errorText();
        const QString old = saveCampaign(f, server.port(), numberedRecipients(3));
        ASSERT_EQ(runToEnd({old}).exitCode, 0);

        const QString project = c.then(f, old);
        const RunResult result = runToEnd({project});

        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_EQ(server.messageCount(), c.messagesAfter);
        const QString journal = SendJournal::pathFor(project);
        for (QString said : c.said)
            EXPECT_TRUE((result.out + result.err).contains(said.replace(QLatin1String("%1"), journal).replace(QLatin1String("%2"), project)))
                << said << result.err;
        // What ran now names the campaign of its project.
        FakeCampaignView view;
        Campaign campaign(view);
        ASSERT_TRUE(LoadProject(campaign, project));
        EXPECT_EQ(readJournal(journal).campaigns == QStringList{campaign.campaignId()}, c.exitCode == 0);
    }
}

// Each check before any message goes, with its message: refused with exit 2
// and nothing sent, or said and sent when told to go on.
TEST(TrameloRunJournal, ChecksBeforeSendingSayWhatIsWrong)
{
    const auto set = [](Setting setting, const char *text) {
        return [=](CampaignRunFixture &f) { f.campaign.settings().setText(setting, QString::fromUtf8(text)); };
    };
    struct Case {
        std::function<void(CampaignRunFixture &)> change;
        QByteArray security; // in the saved project
        QStringList options;
        int exitCode;
        QString said; // %1: the project's folder
        int messages;
    };
    const QString unknownWord = QStringLiteral("demana una seguretat de la connexió que aquest programa no coneix, \"%1\"");
    const QString lacking = QStringLiteral("<<<Cognoms>>>");
    QList<Case> cases = {
        {set(Setting::SenderAddress, "remitent@"), {}, {}, 2, QStringLiteral("L'adreça de correu del remitent no és vàlida: remitent@"), 0},
        {[](CampaignRunFixture &f) {
             f.campaign.settings().setBodyKind(BodyKind::File);
             f.campaign.settings().setText(Setting::BodySource, writeFile(f.folder, QStringLiteral("cos.htm"), "<img src='falta.png'>"));
             RefreshBodyPreview(f.campaign);
         },
         {}, {}, 2, QStringLiteral("El cos del missatge mostra una imatge que no existeix: %1/falta.png"), 0},
        {set(Setting::MessageSubject, "Hola <<<Cognoms>>>"), {}, {}, 2, unknownPlaceholdersRefusal({lacking}), 0},
        {set(Setting::MessageSubject, "Hola <<<Cognoms>>>"), {}, {QStringLiteral("--accepta-camps-desconeguts")}, 0,
         unknownPlaceholdersWarning({lacking}), 3},
        {[](CampaignRunFixture &f) { f.setGroups(2); }, {}, {}, 0,
         unmergedPlaceholdersWarning({QStringLiteral("<<<Nom>>>"), QStringLiteral("<<<Ciutat>>>")}), 2},
        {[](CampaignRunFixture &f) { f.setGroups(101); }, {}, {}, 2, QStringLiteral("El número d'adreces per grup ha de ser entre 1 i 100"), 0},
    };
    for (const QByteArray word : {"STARTTLS", "SSL/TLS", "Cap", "starttls "})
        cases.append({[](CampaignRunFixture &) {}, word, {}, 2, unknownWord.arg(QLatin1String(word)), 0});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.said.toStdString());
        CampaignRunFixture f;
        AiosmtpdServer server;
        ASSERT_TRUE(server.start()) << server.errorText();
        ASSERT_TRUE(f.createRecipients(numberedRecipients(3)));
        f.prepare(server.port());
        c.change(f);
        ASSERT_TRUE(SaveProject(f.campaign, f.projectPath));
        if (!c.security.isEmpty()) {
            // A block at the end is the one read; the one before it is passed over.
            QFile file(f.projectPath);
            ASSERT_TRUE(file.open(QIODevice::Append));
            file.write(*writeProjectExtension({{"campanya", f.campaign.campaignId().toUtf8()}, {"seguretat", c.security}}));
        }

        const RunResult result = runToEnd(c.options + QStringList{f.projectPath});

        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_TRUE(result.err.contains(QString(c.said).replace(QLatin1String("%1"), f.folder.path()))) << result.err;
        if (c.exitCode == 0) {
            ASSERT_TRUE(server.waitForMessages(c.messages, 10s));
        }
        EXPECT_EQ(server.messageCount(), c.messages);
    }
}

// A server that takes the whole message and closes without a word: the row
// is "en dubte"; the next run names it and does not send it again, unless
// told to.
TEST(TrameloRunJournal, AMessageWhoseEndIsNeverAnsweredIsNotSentAgainUnlessAsked)
{
    CampaignRunFixture f;
    const auto message = [](int n, const QString &end) {
        return script::greeting() + script::helo(QStringLiteral("example.org"))
            + script::envelope(QStringLiteral("remitent@example.org"), {QStringLiteral("persona%1@example.com").arg(n)}) + end;
    };
    ScriptedSmtpServer server;
    server.addScript(message(1, QStringLiteral("C: DATA\nS: 354 Endavant\nD:\nX:\nA:\n")) + message(2, script::data() + script::quit())
                     + QStringLiteral("A:\n") + message(1, script::data() + script::quit()));
    ASSERT_TRUE(server.listen());
    const QString project = saveCampaign(f, server.port(), numberedRecipients(2));

    const RunResult first = runToEnd({project});
    EXPECT_EQ(first.exitCode, 1) << first.err;
    EXPECT_TRUE(first.out.contains(QLatin1String("1 enviat, 0 no enviats, 1 en dubte"))) << first.out;
    EXPECT_EQ(journalRows(f.journalPath).first().section(u',', 0, 2), QStringLiteral("1,persona1@example.com,D"));
    const RunResult again = runToEnd({project});
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_TRUE(again.out.contains(QLatin1String("En dubte: fila 1, persona1@example.com, "))) << again.out;
    EXPECT_TRUE(again.err.contains(QLatin1String("No hi ha cap destinatari per enviar"))) << again.err;
    EXPECT_EQ(savedMarks(project), (QStringList{QStringLiteral("Dubte"), QStringLiteral("Si")}));
    EXPECT_EQ(runToEnd({QStringLiteral("--reenvia-en-dubte"), project}).exitCode, 0);

    EXPECT_TRUE(server.waitForFinished(5s)) << server.verify();
    EXPECT_EQ(server.capturedData().size(), 3);
}

// ---- Projects that would run code, write on a server or hang the run ----

namespace {

// The fixture's campaign saved to read its rows with a statement of the
// test's own, which the runner meets as it loads the project.
QString saveWithStatement(CampaignRunFixture &f, quint16 smtpPort, const QString &statement)
{
    f.prepare(smtpPort);
    f.campaign.settings().setSourceKind(SourceKind::Sql);
    f.campaign.settings().setText(Setting::SqlStatement, statement);
    EXPECT_TRUE(SaveProject(f.campaign, f.projectPath));
    return f.projectPath;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// load_extension() in the statement of an SQLite file or a CSV file: the
// run does not start, the library is never loaded, nothing changes.
TEST(TrameloRunDatabaseSafety, AStatementThatWouldLoadCodeIsRefused)
{
    const QString library = QStringLiteral(TRAMELO_CODE_MARKER_LIBRARY);
    {
        // The library does leave its mark when it is loaded.
        QTemporaryDir folder;
        ASSERT_TRUE(qputenv("TRAMELO_CODE_MARKER", QFile::encodeName(folder.filePath(QStringLiteral("control")))));
        QLibrary loaded(library);
        ASSERT_TRUE(loaded.load() && QFileInfo::exists(folder.filePath(QStringLiteral("control"))));
    }
    for (const bool csv : {false, true}) {
        SCOPED_TRACE(csv ? "CSV file" : "SQLite file");
        CampaignRunFixture f;
        AiosmtpdServer server;
        ASSERT_TRUE(server.start()) << server.errorText();
        const QString marker = f.folder.filePath(QStringLiteral("codi-executat"));
        ASSERT_TRUE(qputenv("TRAMELO_CODE_MARKER", QFile::encodeName(marker))); // the runner inherits it
        if (csv)
            f.databaseSource = f.databasePath = writeFile(f.folder, QStringLiteral("Destinataris.csv"),
                                                          "Nom,Ciutat,Correu\r\nAnna,Vic,anna@example.com\r\n");
        else
            ASSERT_TRUE(f.createRecipients(numberedRecipients(3)));
        const QByteArray before = bytesOf(f.databasePath);
        const QString project = saveWithStatement(
            f, server.port(), QStringLiteral("SELECT Nom, Correu, load_extension('%1') FROM Destinataris").arg(library));

        const RunResult result = runToEnd({project});
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.err.contains(QStringLiteral("La instrucció SQL fa servir una funció no permesa: load_extension")))
            << result.err;
        EXPECT_FALSE(QFileInfo::exists(marker)) << "the library ran";
        EXPECT_EQ(bytesOf(f.databasePath), before);
        EXPECT_EQ(server.messageCount(), 0);
        EXPECT_FALSE(QFileInfo::exists(f.journalPath));
    }
}

// On PostgreSQL and MariaDB: SIGTERM while the project's statement sleeps
// on the server ends the query there at once and sends nothing; MariaDB
// never gets an executable comment, which would write a file; an account
// that may write files on the server is named in a warning and the run goes
// on, a read-only one is not; a wrong password is refused with the driver's
// reason, without the password.
TEST(TrameloRunDatabaseSafety, ServersAreNeitherWrittenNorLeftRunning)
{
    PostgresServer postgres;
    MariaDbServer mariaDb;
    const std::pair<DatabaseServer *, QChar> servers[] = {{&postgres, u'"'}, {&mariaDb, u'`'}};
    QStringList missing;
    for (const auto &[server, quote] : servers) {
        SCOPED_TRACE(server->name().toStdString());
        if (!server->missingPackage().isEmpty()) {
            missing << server->missingPackage();
            continue;
        }
        ASSERT_TRUE(server->start()) << server->errorText();
        AiosmtpdServer smtp;
        ASSERT_TRUE(smtp.start()) << smtp.errorText();
        const QString database = QStringLiteral("campanya");
        QString output;
        ASSERT_TRUE(server->createDatabase(database, recipientTable(numberedRecipients(2), quote), output)) << output;
        ASSERT_TRUE(server->createReadOnlyAccount(database, output)) << output;
        const bool isMariaDb = quote == u'`';

        const QString sleep = isMariaDb ? QStringLiteral("SELECT SLEEP(600)") : QStringLiteral("SELECT pg_sleep(600)");
        CampaignRunFixture sleeping;
        sleeping.databaseSource = server->connectString(database);
        QProcess runner;
        startRunner(runner, {saveWithStatement(sleeping, smtp.port(), sleep)});
        ASSERT_TRUE(waitUntil([&] { return server->sessionsRunning(sleep) == QLatin1String("1\n"); }, 20s));
        ::kill(pid_t(runner.processId()), SIGTERM);
        ASSERT_TRUE(runner.waitForFinished(10000));
        EXPECT_EQ(runner.exitCode(), 2);
        const QString err = QString::fromLocal8Bit(runner.readAllStandardError());
        EXPECT_TRUE(err.contains(QStringLiteral("La consulta a la base de dades s'ha aturat perquè s'ha demanat aturar el programa")))
            << err;
        EXPECT_EQ(server->sessionsRunning(sleep), QStringLiteral("0\n"));

        if (isMariaDb) {
            CampaignRunFixture f;
            f.databaseSource = server->connectString(database);
            const QString attack = QStringLiteral("SELECT Nom, Correu /*!50000 INTO OUTFILE '%1' */ FROM Destinataris");
            // Given to the server itself, the statement does write the file.
            const QString control = f.folder.filePath(QStringLiteral("control.txt"));
            ASSERT_TRUE(server->runSql(database, {attack.arg(control)}, output)) << output;
            ASSERT_TRUE(QFileInfo::exists(control));
            const QString written = f.folder.filePath(QStringLiteral("sortida.txt"));
            const RunResult result = runToEnd({saveWithStatement(f, smtp.port(), attack.arg(written))});
            EXPECT_EQ(result.exitCode, 2);
            EXPECT_TRUE(result.err.contains(QStringLiteral("Només es pot fer servir una consulta SELECT"))) << result.err;
            EXPECT_FALSE(QFileInfo::exists(written));
        }
        EXPECT_EQ(smtp.messageCount(), 0);

        struct Account {
            QString connectString;
            int exitCode;
            bool warned;
            QString told; // a pattern
        };
        const QString warning = QStringLiteral("Avís: el compte amb què es connecta a la base de dades té el privilegi ");
        const Account accounts[] = {
            {server->connectString(database), 0, true,
             QRegularExpression::escape(warning + (isMariaDb ? QStringLiteral("FILE") : QStringLiteral("SUPERUSER")))},
            {server->readOnlyConnectString(database), 0, false, QString()},
            // The driver's reason follows on the next line.
            {server->connectString(database, server->user(), QStringLiteral("clau-equivocada")), 2, false,
             QStringLiteral("Arxiu de base de dades incorrecte\n[^\n]*password")},
        };
        for (const Account &account : accounts) {
            CampaignRunFixture f;
            f.databaseSource = server->connectString(database);
            f.prepare(smtp.port());
            f.campaign.settings().setText(Setting::DatabaseSource, account.connectString);
            ASSERT_TRUE(SaveProject(f.campaign, f.projectPath));
            const RunResult result = runToEnd({f.projectPath});
            EXPECT_EQ(result.exitCode, account.exitCode) << result.err;
            EXPECT_EQ(result.err.contains(warning), account.warned) << result.err;
            EXPECT_TRUE(result.err.contains(QRegularExpression(account.told))) << result.err;
            EXPECT_FALSE(result.err.contains(QLatin1String("clau-equivocada"))) << result.err;
            EXPECT_EQ(readJournal(f.journalPath).sentAddresses.size(), account.exitCode == 0 ? 2 : 0);
        }
        EXPECT_EQ(smtp.messageCount(), 4);
    }
    if (missing.size() == qsizetype(std::size(servers)))
        GTEST_SKIP() << "not installed: " << missing.join(QStringLiteral(", "));
}
