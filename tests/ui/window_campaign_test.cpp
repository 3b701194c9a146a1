#include "aiosmtpd_server.h"
#include "gtest_qt_printers.h"
#include "example_campaign.h"
#include "recipient_grid.h"
#include "window_test_support.h"

#include <QComboBox>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using namespace tramelo;
using namespace tramelo::test;
using namespace std::chrono_literals;

namespace {

const QStringList exampleAddresses = {
    QStringLiteral("anna.puig@example.com"),   QStringLiteral("jordi.vidal@example.org"),
    QStringLiteral("marta.soler@example.net"), QStringLiteral("pere.camps@example.com"),
    QStringLiteral("nuria.ferrer@example.org"), QStringLiteral("joan.marti@example.net"),
};
const QString testSendQuestion = QStringLiteral("[yes] Vols fer un enviament de prova abans de fer el definitiu?");
const QString finished = QStringLiteral("[information] Enviament finalitzat");
const QString leaveQuestion = QStringLiteral("[no] Vols sortir sense guardar els canvis?");

// The example campaign as a new operator meets it: its project opened with
// the load button, the SMTP server typed in, the address field chosen.
class ExampleCampaignInTheWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.errorText().toStdString();
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(copyExampleCampaign(folder));
        ASSERT_EQ(prepareExampleProject(folder.path()), std::nullopt);

        opened.dialogs->filesToOpen.push_back(folder.filePath(QStringLiteral("exemple.pcm")));
        window().cmbLlegir->click();
        ASSERT_EQ(window().comboFields[0]->currentText(), QStringLiteral("Destinataris"));
        ASSERT_TRUE(window().campaign().fieldList().contains(QStringLiteral("Correu")));
        ASSERT_FALSE(window().campaign().isDirty());

        ASSERT_TRUE(focusOn(window().txtFields[2]));
        retypeInto(window().txtFields[2], QStringLiteral("127.0.0.1:%1").arg(server.port()));
        ASSERT_TRUE(chooseEntry(window().comboFields[1], QStringLiteral("Correu")));
        ASSERT_EQ(grid().dataRowCount(), int(exampleAddresses.size()));
    }

    void TearDown() override { EXPECT_EQ(opened.dialogs->unexpected, QStringList()); }

    frmMain &window() { return opened.window(); }
    RecipientGrid &grid() { return window().campaign().grid(); }
    QStringList markColumn()
    {
        QStringList marks;
        for (int row = 1; row <= grid().dataRowCount(); ++row)
            marks.append(grid().markText(row));
        return marks;
    }

    // Runs the action once, as soon as the first row is marked sent.
    void whenTheFirstRowIsSent(std::function<void()> action)
    {
        QObject::connect(&grid(), &QAbstractItemModel::dataChanged, &window(), [this, action] {
            if (!actionDone && grid().markText(1) == QStringLiteral("Si")) {
                actionDone = true;
                QTimer::singleShot(0, &window(), action);
            }
        });
    }

    AiosmtpdServer server;
    QTemporaryDir folder;
    OpenedProgram opened;
    bool actionDone = false;
};

} // namespace

TEST_F(ExampleCampaignInTheWindow, ShowsTheBodyAndSendsOneMessageToEveryRecipient)
{
    EXPECT_TRUE(textBoxText(window().txtFields[8]).contains(QStringLiteral("<<<Nom>>>")));
    EXPECT_TRUE(window().planaWeb->toPlainText().contains(QStringLiteral("Associació Exemple")));
    // The placeholders stay readable in the rendered page.
    EXPECT_TRUE(window().planaWeb->toPlainText().contains(QStringLiteral("Benvolgut/da <<<Nom>>> <<<Cognoms>>>")));
    EXPECT_FALSE(window().grdEnviament->isHidden());

    opened.dialogs->answers = {false};
    window().cmbEnviar->click();

    EXPECT_EQ(opened.dialogs->questions, QStringList{testSendQuestion});
    EXPECT_EQ(opened.dialogs->messages, QStringList{finished});
    EXPECT_EQ(markColumn(), QStringList(exampleAddresses.size(), QStringLiteral("Si")));
    ASSERT_TRUE(server.waitForMessages(int(exampleAddresses.size()), 20s));
    QStringList reached;
    for (const AiosmtpdServer::Message &message : server.messages()) {
        EXPECT_EQ(message.mailFrom, QStringLiteral("remitent@example.com"));
        reached += message.rcptTos;
    }
    EXPECT_EQ(reached, exampleAddresses);

    // The marks changed, so closing asks even though nothing was typed since.
    opened.dialogs->answers = {true};
    EXPECT_TRUE(window().close());
    EXPECT_EQ(opened.dialogs->questions.last(), leaveQuestion);
}

TEST_F(ExampleCampaignInTheWindow, ExitButtonDuringARunStopsItAfterTheCurrentGroup)
{
    retypeInto(window().txtFields[12], QStringLiteral("1"));
    bool buttonsWereDisabled = false;
    whenTheFirstRowIsSent([this, &buttonsWereDisabled] {
        buttonsWereDisabled = !window().cmbEnviar->isEnabled() && !window().cmbLlegir->isEnabled()
            && !window().cmbGravar->isEnabled();
        window().cmbSortir->click();
    });
    opened.dialogs->answers = {false};
    window().cmbEnviar->click();

    EXPECT_TRUE(actionDone);
    EXPECT_TRUE(buttonsWereDisabled);
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(opened.dialogs->messages, QStringList{finished});
    EXPECT_EQ(markColumn().first(), QStringLiteral("Si"));
    EXPECT_EQ(markColumn().mid(1), QStringList(exampleAddresses.size() - 1, QString()));
    // The run has ended, so nothing more is on its way.
    ASSERT_TRUE(server.waitForMessages(1, 20s));
    EXPECT_EQ(server.messageCount(), 1);
    EXPECT_TRUE(window().cmbEnviar->isEnabled());
}

TEST_F(ExampleCampaignInTheWindow, ClosingFromTheTitleBarDuringARunStopsItThenAsks)
{
    retypeInto(window().txtFields[12], QStringLiteral("1"));
    bool closedAtOnce = true;
    whenTheFirstRowIsSent([this, &closedAtOnce] { closedAtOnce = window().close(); });
    opened.dialogs->answers = {false, true};
    window().cmbEnviar->click();

    EXPECT_TRUE(actionDone);
    EXPECT_FALSE(closedAtOnce);
    EXPECT_EQ(opened.dialogs->log.mid(opened.dialogs->log.size() - 2),
              QStringList({QStringLiteral("message") + finished, QStringLiteral("question") + leaveQuestion}));
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(markColumn().mid(1), QStringList(exampleAddresses.size() - 1, QString()));
}

TEST_F(ExampleCampaignInTheWindow, TitleBarCloseDuringARunStillKeepsTheWindowWhenAnsweredNo)
{
    retypeInto(window().txtFields[12], QStringLiteral("1"));
    whenTheFirstRowIsSent([this] { window().close(); });
    opened.dialogs->answers = {false, false};
    window().cmbEnviar->click();

    EXPECT_TRUE(actionDone);
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(opened.dialogs->questions.last(), leaveQuestion);
}
