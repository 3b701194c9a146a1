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
    view.answers = {Answer::No, Answer::Yes, Answer::Yes}; // no test send, the unmerged placeholders, the size
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

// Without the journal beside it, marks tied to positions are all a project has.
TEST(ProjectResume, SourceWithADifferentRowCountLosesTheMarksWithoutAJournal)
{
    for (const int change : {+1, -1}) {
        SCOPED_TRACE(change);
        CampaignRunFixture first;
        ASSERT_TRUE(first.createRecipients(numberedRecipients(4)));
        AiosmtpdServer server;
        ASSERT_TRUE(server.start()) << server.errorText();
        first.prepare(server.port());
        first.pressSend(false);
        ASSERT_EQ(server.messageCount(), 4);
        const QString project = first.folder.filePath(QStringLiteral("campanya.pcm"));
        ASSERT_TRUE(SaveProject(first.campaign, project));
        ASSERT_TRUE(QFile::remove(first.journalPath));

        const QString statement = change > 0
            ? QStringLiteral("INSERT INTO Destinataris VALUES ('Nova', 'x', 'nova@example.com')")
            : QStringLiteral("DELETE FROM Destinataris WHERE Nom = 'Persona 4'");
        QString error;
        ASSERT_TRUE(createSqliteDatabase(first.databasePath, {statement}, error)) << error;

        FakeCampaignView view;
        view.clearMarksEnabled = true;
        Campaign reloaded(view);
        ASSERT_TRUE(LoadProject(reloaded, project));
        EXPECT_EQ(reloaded.grid().dataRowCount(), 4 + change);
        EXPECT_FALSE(view.clearMarksEnabled);
        for (int row = 1; row <= reloaded.grid().dataRowCount(); ++row)
            EXPECT_EQ(reloaded.grid().markText(row), QString()) << row;
    }
}
