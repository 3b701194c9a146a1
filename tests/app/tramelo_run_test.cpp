// tramelo-run as an operator uses it: a saved campaign sent from a terminal,
// killed and started again, stopped with Ctrl-C, refused when it cannot start.
#include "campaign_run_fixture.h"
#include "gtest_qt_printers.h"
#include "project_file.h"
#include "sent_message.h"

#include <QDir>
#include <QProcess>

#include <csignal>

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

QString runnerProgram()
{
    return QStringLiteral(TRAMELO_RUN_PROGRAM);
}

RunResult runToEnd(const QStringList &arguments)
{
    QProcess process;
    process.start(runnerProgram(), arguments);
    RunResult result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "tramelo-run did not end";
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

// A campaign prepared and saved as the window would save it.
QString saveCampaign(CampaignRunFixture &f, quint16 port, const QList<Recipient> &rows, int groupSize = 1,
                     const QString &waitSeconds = QStringLiteral("0"))
{
    if (!f.createRecipients(rows))
        return {};
    f.prepare(port);
    if (groupSize > 1)
        f.setGroups(groupSize);
    f.campaign.settings().setText(Setting::WaitSeconds, waitSeconds);
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

} // namespace

TEST(TrameloRun, SendsASavedCampaignAndKeepsItsMarks)
{
    CampaignRunFixture f;
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    QList<Recipient> rows = numberedRecipients(5);
    rows[3].correu = QStringLiteral("no-es-una-adreca");
    const QString project = saveCampaign(f, server.port(), rows);

    const RunResult result = runToEnd({project});

    EXPECT_EQ(result.exitCode, 1) << result.err; // one row is "No"
    ASSERT_TRUE(server.waitForMessages(4, 10s));
    const QList<AiosmtpdServer::Message> messages = server.messages();
    ASSERT_EQ(messages.size(), 4);
    EXPECT_EQ(messages[0].rcptTos, QStringList{QStringLiteral("persona1@example.com")});
    EXPECT_TRUE(messages[0].data.contains("Subject: Hola Persona 1"));
    EXPECT_TRUE(messages[4 - 1].data.contains("Bon dia Persona 5, de Ciutat 5"));
    EXPECT_TRUE(result.out.contains(QLatin1String("Enviament finalitzat"))) << result.out;
    EXPECT_TRUE(result.out.contains(QLatin1String("4 enviats, 1 no enviats"))) << result.out;
    // One line per group when standard error is not a terminal: the invalid
    // row is gathered with the next one.
    EXPECT_EQ(result.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts), (QStringList{QStringLiteral("1/1/5"), QStringLiteral("2/2/5"), QStringLiteral("3/3/5"), QStringLiteral("5/4/5")}));
    EXPECT_EQ(savedMarks(project), (QStringList{QStringLiteral("Si"), QStringLiteral("Si"), QStringLiteral("Si"),
                                                QStringLiteral("No"), QStringLiteral("Si")}));

    // Started again, it sends to nobody new; the invalid row stays refused.
    const RunResult again = runToEnd({project});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(server.messageCount(), 4);
}

TEST(TrameloRun, KilledAtAnyMomentItResumesAndSendsTwiceAtMostTheGroupInFlight)
{
    for (const int killAfter : {1, 3, 5}) {
        SCOPED_TRACE(killAfter);
        CampaignRunFixture f;
        AiosmtpdServer server;
        ASSERT_TRUE(server.start()) << server.errorText();
        const QList<Recipient> rows = numberedRecipients(12);
        const QString project = saveCampaign(f, server.port(), rows, 2, QStringLiteral("0.1"));

        QProcess first;
        first.start(runnerProgram(), {project});
        ASSERT_TRUE(first.waitForStarted());
        ASSERT_TRUE(server.waitForMessages(killAfter, 20s));
        ::kill(pid_t(first.processId()), SIGKILL);
        first.waitForFinished();

        RunResult result;
        for (int attempt = 0; attempt < 3 && result.exitCode != 0; ++attempt)
            result = runToEnd({project});
        EXPECT_EQ(result.exitCode, 0) << result.err;

        const QMap<QString, int> seen = deliveries(server);
        EXPECT_EQ(seen.size(), rows.size());
        int extra = 0;
        for (auto it = seen.cbegin(); it != seen.cend(); ++it)
            extra += it.value() - 1;
        EXPECT_LE(extra, 2) << "more than the one group in flight was sent twice";
        EXPECT_EQ(savedMarks(project), QStringList(rows.size(), QStringLiteral("Si")));
    }
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

TEST(TrameloRun, CtrlCStopsAfterTheCurrentGroupWithTheProjectSaved)
{
    CampaignRunFixture f;
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    const QString project = saveCampaign(f, server.port(), numberedRecipients(8), 1, QStringLiteral("0.3"));

    QProcess runner;
    runner.start(runnerProgram(), {project});
    ASSERT_TRUE(runner.waitForStarted());
    ASSERT_TRUE(server.waitForMessages(2, 20s));
    ::kill(pid_t(runner.processId()), SIGINT);
    ASSERT_TRUE(runner.waitForFinished(20000));
    EXPECT_EQ(runner.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(runner.exitCode(), 0);
    const QString out = QString::fromLocal8Bit(runner.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QLatin1String("Enviament finalitzat"))) << out;

    const int sent = server.messageCount();
    EXPECT_GE(sent, 2);
    EXPECT_LT(sent, 8);
    const QStringList marks = savedMarks(project);
    EXPECT_EQ(marks.count(QStringLiteral("Si")), sent);
    EXPECT_EQ(marks.count(QString()), 8 - sent);
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

TEST(TrameloRun, HelpAndVersion)
{
    const RunResult help = runToEnd({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QLatin1String("--test"))) << help.out;
    const RunResult version = runToEnd({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QLatin1String("tramelo-run 1."))) << version.out;
}
