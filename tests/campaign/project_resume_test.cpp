// An interrupted campaign saved to its project file and resumed from it in a
// fresh window: every recipient gets exactly one message.
#include "campaign_run_fixture.h"
#include "gtest_qt_printers.h"
#include "project_file.h"

#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

using namespace tramelo;
using namespace tramelo::test;
using namespace std::chrono_literals;

TEST(ProjectResume, StoppedCampaignResumesWithoutSendingTwice)
{
    CampaignRunFixture first;
    ASSERT_TRUE(first.createRecipients(numberedRecipients(10)));
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    first.prepare(server.port());
    first.setGroups(3);
    first.stopDuringMessage(2);
    first.pressSend(false);
    ASSERT_EQ(server.messageCount(), 2);
    const QString project = first.folder.filePath(QStringLiteral("campanya.pcm"));
    ASSERT_TRUE(SaveProject(first.campaign, project));

    // A fresh window loads the project and runs the campaign to its end.
    FakeCampaignView view;
    Campaign resumed(view);
    ASSERT_TRUE(LoadProject(resumed, project));
    EXPECT_TRUE(view.clearMarksEnabled);
    FakeInternetConnection lan;
    lan.answerAlways({1, connectedThroughLan});
    CampaignRun run(resumed, lan);
    view.answers = {Answer::No, Answer::Yes};
    run.pressSend();

    ASSERT_TRUE(server.waitForMessages(4, 10s));
    const QMap<QString, int> seen = deliveries(server);
    EXPECT_EQ(seen.size(), 10);
    for (auto it = seen.cbegin(); it != seen.cend(); ++it)
        EXPECT_EQ(it.value(), 1) << it.key();
    EXPECT_EQ(view.counts, QStringLiteral("10/4/10"));
    for (int row = 1; row <= 10; ++row)
        EXPECT_EQ(resumed.grid().markText(row), QStringLiteral("Si")) << row;
}

// Rows added or removed since the marks were saved: the positional marks no
// longer fit, and the journal marks the rows by their addresses instead.
TEST(ProjectResume, SourceWithADifferentRowCountKeepsTheRowsTheJournalRecords)
{
    for (const bool withJournal : {true, false}) {
        for (const int change : {+1, -1}) {
            SCOPED_TRACE(QStringLiteral("%1 a journal, %2 row").arg(withJournal ? "with" : "without").arg(change).toStdString());
            CampaignRunFixture first;
            ASSERT_TRUE(first.createRecipients(numberedRecipients(4)));
            AiosmtpdServer server;
            ASSERT_TRUE(server.start()) << server.errorText();
            first.prepare(server.port());
            first.pressSend(false);
            ASSERT_EQ(server.messageCount(), 4);
            ASSERT_TRUE(SaveProject(first.campaign, first.projectPath));
            if (!withJournal) {
                ASSERT_TRUE(QFile::remove(first.journalPath));
            }

            // The new row comes first, so that every position changes, and the
            // addresses come back in capitals after a blank.
            const QString statement = change > 0
                ? QStringLiteral("INSERT INTO Destinataris SELECT 'Nova', 'x', 'nova@example.com' UNION ALL "
                                 "SELECT Nom, Ciutat, ' ' || UPPER(Correu) FROM Destinataris; "
                                 "DELETE FROM Destinataris WHERE rowid <= 4")
                : QStringLiteral("DELETE FROM Destinataris WHERE Nom = 'Persona 1'");
            QString error;
            ASSERT_TRUE(createSqliteDatabase(first.databasePath, statement.split(QStringLiteral("; ")), error)) << error;

            FakeCampaignView view;
            view.clearMarksEnabled = !withJournal;
            Campaign reloaded(view);
            const std::optional<MarksRestoration> marks = LoadProject(reloaded, first.projectPath);
            ASSERT_TRUE(marks);
            EXPECT_EQ(marks->outcome, MarksRestoration::Outcome::NotRestorable);
            ASSERT_EQ(reloaded.grid().dataRowCount(), 4 + change);
            QStringList expected(4 + change, withJournal ? QStringLiteral("Si") : QString());
            if (change > 0)
                expected[0] = QString(); // never sent
            QStringList shown;
            for (int row = 1; row <= reloaded.grid().dataRowCount(); ++row)
                shown << reloaded.grid().markText(row);
            EXPECT_EQ(shown, expected);
            EXPECT_EQ(marks->journalRows, withJournal ? (change > 0 ? 4 : 3) : 0);
            EXPECT_EQ(view.clearMarksEnabled, withJournal);
        }
    }
}
