#include "aiosmtpd_server.h"
#include "body_preparation.h"
#include "failing_server_script.h"
#include "gtest_qt_printers.h"
#include "journal_rows.h"
#include "journal_window.h"
#include "scripted_server.h"
#include "smtp_script.h"
#include "recipient_grid.h"
#include "recipient_preview.h"
#include "message_page.h"
#include "project_lock.h"
#include "test_databases.h"
#include "window_test_support.h"

#include <QAbstractItemView>
#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QSpontaneKeyEvent>
#include <QWheelEvent>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
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
const QString testSendQuestion = QStringLiteral("[yes, cancel] Vols fer un enviament de prova abans de fer el definitiu?");
// The counts of a run over the six example rows with nothing refused.
QString countsAfter(int processed, int sent)
{
    return QStringLiteral("Registres processats %1 de 6: %2 %3, 0 no enviats")
        .arg(processed)
        .arg(sent)
        .arg(sent == 1 ? QStringLiteral("enviat") : QStringLiteral("enviats"));
}
// The box that ends such a run.
QString finishedAfter(int processed, int sent)
{
    return QStringLiteral("[information] Enviament finalitzat\n") + countsAfter(processed, sent);
}
// The box that ends a run the operator stopped.
QString stoppedAfter(int processed, int sent)
{
    return QStringLiteral("[information] Enviament aturat\n") + countsAfter(processed, sent);
}
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

    opened.dialogs->answers = {Answer::No, Answer::Yes};
    window().cmbEnviar->click();

    EXPECT_EQ(opened.dialogs->questions,
              QStringList({testSendQuestion, QStringLiteral("[no] S'enviaran 6 missatges a 6 destinataris. Vols continuar?")}));
    EXPECT_EQ(opened.dialogs->messages, QStringList{finishedAfter(6, 6)});
    EXPECT_EQ(markColumn(), QStringList(exampleAddresses.size(), QStringLiteral("Si")));
    ASSERT_TRUE(server.waitForMessages(int(exampleAddresses.size()), 20s));
    QStringList reached;
    for (const AiosmtpdServer::Message &message : server.messages()) {
        EXPECT_EQ(message.mailFrom, QStringLiteral("remitent@example.com"));
        reached += message.rcptTos;
    }
    EXPECT_EQ(reached, exampleAddresses);

    // The marks changed, so closing asks even though nothing was typed since.
    opened.dialogs->answers = {Answer::Yes};
    EXPECT_TRUE(window().close());
    EXPECT_EQ(opened.dialogs->questions.last(), leaveQuestion);
}

TEST_F(ExampleCampaignInTheWindow, ExitButtonDuringARunEndsThePauseAtOnce)
{
    retypeInto(window().txtFields[12], QStringLiteral("15"));
    bool buttonsWereDisabled = false;
    QElapsedTimer sinceStop;
    whenTheFirstRowIsSent([this, &buttonsWereDisabled, &sinceStop] {
        buttonsWereDisabled = !window().cmbEnviar->isEnabled() && !window().cmbLlegir->isEnabled()
            && !window().cmbGravar->isEnabled();
        sinceStop.start();
        window().cmbSortir->click();
    });
    opened.dialogs->answers = {Answer::No, Answer::Yes};
    window().cmbEnviar->click();

    EXPECT_TRUE(actionDone);
    EXPECT_LT(sinceStop.elapsed(), 5000) << "the stop waited for the end of the pause";
    EXPECT_TRUE(buttonsWereDisabled);
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(opened.dialogs->messages, QStringList{stoppedAfter(1, 1)});
    EXPECT_EQ(window().lblEstat->text(), QStringLiteral("Enviament aturat. ") + countsAfter(1, 1));
    EXPECT_EQ(markColumn().first(), QStringLiteral("Si"));
    EXPECT_EQ(markColumn().mid(1), QStringList(exampleAddresses.size() - 1, QString()));
    // The run has ended, so nothing more is on its way.
    ASSERT_TRUE(server.waitForMessages(1, 20s));
    EXPECT_EQ(server.messageCount(), 1);
    EXPECT_TRUE(window().cmbEnviar->isEnabled());
}

TEST_F(ExampleCampaignInTheWindow, WhileARunWalksTheRowsNothingCanChangeThemOrTheirMarks)
{
    retypeInto(window().txtFields[12], QStringLiteral("1"));
    const std::pair<const char *, QWidget *> controls[] = {
        {"database box", window().txtFields[5]},   {"database chooser", window().cmbCercar[1]},
        {"ODBC", window().cmbODBC},                {"Taula", window().optFields[0]},
        {"Instrucció SQL", window().optFields[1]}, {"table list", window().comboFields[0]},
        {"statement", window().txtFields[14]},     {"address field list", window().comboFields[1]},
        {"clear marks", window().cmbDesmarcar},    {"sender", window().txtFields[0]}, {"server", window().txtFields[2]},
        {"security", window().comboSeguretat},     {"login", window().chkFields[0]},  {"subject", window().txtFields[7]},
        {"body kind", window().optFields[3]},      {"body", window().txtFields[6]},   {"attachments", window().cmbCercar[2]},
        {"group size", window().txtFields[11]},    {"wait", window().txtFields[12]},
    };
    QStringList liveDuringTheRun;
    QString firstMarkAfterDoubleClick;
    whenTheFirstRowIsSent([&] {
        for (const auto &[name, control] : controls) {
            if (control->isEnabled())
                liveDuringTheRun << QString::fromUtf8(name);
        }
        QTableView *view = window().grdEnviament;
        const QPoint firstMark = view->visualRect(view->model()->index(0, 0)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, firstMark);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, firstMark);
        firstMarkAfterDoubleClick = grid().markText(1);
        window().cmbAturar->click();
    });
    opened.dialogs->answers = {Answer::No, Answer::Yes};
    window().cmbEnviar->click();

    EXPECT_TRUE(actionDone);
    EXPECT_EQ(liveDuringTheRun, QStringList());
    EXPECT_EQ(firstMarkAfterDoubleClick, QStringLiteral("Si"));
    EXPECT_EQ(opened.dialogs->messages, QStringList{stoppedAfter(1, 1)});
    for (const auto &[name, control] : controls)
        EXPECT_TRUE(control->isEnabled()) << name;
    EXPECT_FALSE(window().cmbAturar->isEnabled());
}

// A test send to a server that never greets ends at Aturar, not after the
// time-outs of every connection attempt.
TEST_F(ExampleCampaignInTheWindow, AturarEndsATestSendAtOnce)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    retypeInto(window().txtFields[2], QStringLiteral("127.0.0.1:%1").arg(silent.serverPort()));
    QElapsedTimer sinceStop;
    QTimer::singleShot(300, &window(), [this, &sinceStop] {
        EXPECT_TRUE(window().cmbAturar->isEnabled());
        sinceStop.start();
        window().cmbAturar->click();
    });
    opened.dialogs->answers = {Answer::Yes};
    window().cmbEnviar->click();

    ASSERT_TRUE(sinceStop.isValid());
    EXPECT_LT(sinceStop.elapsed(), 2000);
    EXPECT_EQ(opened.dialogs->messages, QStringList{QStringLiteral("[error] Error en l'enviament:\nEnviament aturat")});
    EXPECT_EQ(markColumn(), QStringList(exampleAddresses.size(), QString()));
    EXPECT_TRUE(window().cmbEnviar->isEnabled());
}

TEST_F(ExampleCampaignInTheWindow, TheDefinitiveRunStartsOnlyAfterNoAndTheConfirmationOfItsSize)
{
    // Cancel (Escape, or closing the box) starts nothing, and nor does No to the count.
    for (const std::deque<Answer> &answers : {std::deque<Answer>{Answer::Cancel}, std::deque<Answer>{Answer::No, Answer::No}}) {
        opened.dialogs->answers = answers;
        window().cmbEnviar->click();
    }
    EXPECT_EQ(opened.dialogs->messages, QStringList());
    EXPECT_EQ(markColumn(), QStringList(exampleAddresses.size(), QString()));

    // Groups of 4 with one row sent before: 5 rows still to send, in 2 messages.
    window().chkFields[1]->click();
    retypeInto(window().txtFields[11], QStringLiteral("4"));
    grid().markSent(3);
    opened.dialogs->answers = {Answer::No, Answer::Yes, Answer::Yes};
    window().cmbEnviar->click();

    EXPECT_EQ(opened.dialogs->questions,
              QStringList({testSendQuestion, testSendQuestion,
                           QStringLiteral("[no] S'enviaran 6 missatges a 6 destinataris. Vols continuar?"), testSendQuestion,
                           QStringLiteral("[no] Els enviaments agrupats no combinen els camps: tots els destinataris rebran "
                                          "<<<Nom>>>, <<<Ciutat>>>, <<<Cognoms>>>, <<<Correu>>> tal com està escrit. Vols continuar?"),
                           QStringLiteral("[no] S'enviaran 2 missatges a 5 destinataris. Vols continuar?")}));
    EXPECT_EQ(opened.dialogs->messages, QStringList{finishedAfter(6, 5)});
    ASSERT_TRUE(server.waitForMessages(2, 20s));
    const QList<AiosmtpdServer::Message> sent = server.messages();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].rcptTos.size() + sent[1].rcptTos.size(), 5);
}

TEST_F(ExampleCampaignInTheWindow, ARowOfAGroupPreviewsTheGroupsMessageInBlindCopyAsTyped)
{
    window().chkFields[1]->click();
    window().sstabGeneral->setCurrentIndex(3);
    QCoreApplication::processEvents();
    QTableView *view = window().grdEnviament;
    const QPoint secondAddress = view->visualRect(view->model()->index(1, 1)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, secondAddress);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, secondAddress);

    const RecipientPreview &preview = *window().vistaPrevia;
    ASSERT_TRUE(preview.isVisible());
    EXPECT_EQ(preview.lblDestinatariTitol->text() + preview.lblDestinatari->text(),
              QStringLiteral("Cco:jordi.vidal@example.org"));
    EXPECT_EQ(preview.lblAssumpte->text(), QStringLiteral("Notícies per a <<<Nom>>> de <<<Ciutat>>>"));
    EXPECT_TRUE(preview.planaMissatge->toPlainText().contains(QStringLiteral("Benvolgut/da <<<Nom>>> <<<Cognoms>>>")));
}

TEST_F(ExampleCampaignInTheWindow, ARunOfTheSameProjectElsewhereKeepsTheWindowFromSending)
{
    ProjectLock elsewhere;
    ASSERT_FALSE(elsewhere.acquire(window().campaign().projectPath()).has_value());
    opened.dialogs->answers = {Answer::No};
    window().cmbEnviar->click();

    EXPECT_EQ(opened.dialogs->questions, QStringList{testSendQuestion});
    EXPECT_EQ(opened.dialogs->messages,
              QStringList{QStringLiteral("[error] Aquest projecte ja s'està enviant des del procés %1: no se'n poden fer "
                                         "dos enviaments alhora")
                              .arg(QCoreApplication::applicationPid())});
    EXPECT_EQ(server.messageCount(), 0);
}

TEST_F(ExampleCampaignInTheWindow, MarksThatCannotBePutBackAreReportedAtLoad)
{
    grid().markSent(1);
    const QString project = folder.filePath(QStringLiteral("campanya.pcm"));
    opened.dialogs->filesToSave.push_back(project);
    window().actDesaComA->trigger();
    QString error;
    ASSERT_TRUE(createSqliteDatabase(folder.filePath(QStringLiteral("destinataris.sqlite")),
                                     {QStringLiteral("DELETE FROM Destinataris WHERE Id = 6")}, error))
        << error;

    opened.dialogs->filesToOpen.push_back(project);
    window().cmbLlegir->click();
    EXPECT_EQ(opened.dialogs->messages,
              QStringList{QStringLiteral("[error] No s'han pogut restaurar les marques d'enviat desades al projecte: el "
                                         "projecte es va gravar amb 6 destinataris i ara l'origen en dona 5")});
    EXPECT_EQ(markColumn(), QStringList(5, QString()));
    EXPECT_FALSE(window().cmbDesmarcar->isEnabled());
}

TEST_F(ExampleCampaignInTheWindow, ClosingFromTheTitleBarDuringARunStopsItThenAsks)
{
    retypeInto(window().txtFields[12], QStringLiteral("1"));
    bool closedAtOnce = true;
    whenTheFirstRowIsSent([this, &closedAtOnce] { closedAtOnce = window().close(); });
    opened.dialogs->answers = {Answer::No, Answer::Yes, Answer::Yes};
    window().cmbEnviar->click();

    EXPECT_TRUE(actionDone);
    EXPECT_FALSE(closedAtOnce);
    EXPECT_EQ(opened.dialogs->log.mid(opened.dialogs->log.size() - 2),
              QStringList({QStringLiteral("message") + stoppedAfter(1, 1), QStringLiteral("question") + leaveQuestion}));
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(markColumn().mid(1), QStringList(exampleAddresses.size() - 1, QString()));
}

TEST_F(ExampleCampaignInTheWindow, TitleBarCloseDuringARunStillKeepsTheWindowWhenAnsweredNo)
{
    retypeInto(window().txtFields[12], QStringLiteral("1"));
    whenTheFirstRowIsSent([this] { window().close(); });
    opened.dialogs->answers = {Answer::No, Answer::Yes, Answer::No};
    window().cmbEnviar->click();

    EXPECT_TRUE(actionDone);
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(opened.dialogs->questions.last(), leaveQuestion);
}

TEST_F(ExampleCampaignInTheWindow, EveryRowNotSentSaysWhyInTheGridAndTheJournal)
{
    ScriptedSmtpServer failing;
    failing.addScript(failingServerScript(QStringLiteral("remitent@example.com"), exampleAddresses));
    ASSERT_TRUE(failing.listen());
    ASSERT_TRUE(focusOn(window().txtFields[2]));
    retypeInto(window().txtFields[2], QStringLiteral("127.0.0.1:%1").arg(failing.port()));
    opened.dialogs->answers = {Answer::No, Answer::Yes};
    window().cmbEnviar->click();

    EXPECT_TRUE(failing.waitForFinished(5s)) << failing.verify().toStdString();
    const QStringList journal = failingServerJournal(exampleAddresses);
    EXPECT_EQ(journalRows(folder.filePath(QStringLiteral("exemple.enviaments.csv"))), journal);
    const QAbstractItemModel *model = window().grdEnviament->model();
    for (int row = 0; row < int(journal.size()); ++row) {
        SCOPED_TRACE(row);
        const QStringList fields = journal[row].split(u','); // row, address, result, stage, reply
        const bool sent = fields[2] == QLatin1String("S");
        EXPECT_EQ(model->data(model->index(row, 0)).toString(), sent ? QStringLiteral("Si") : QStringLiteral("No"));
        EXPECT_EQ(model->data(model->index(row, 0), Qt::ToolTipRole).toString(),
                  sent ? QString() : fields[3] + QStringLiteral(": ") + fields[4]);
        EXPECT_EQ(model->data(model->index(row, model->columnCount() - 1)).toString(), fields[4]);
    }
    EXPECT_EQ(model->headerData(model->columnCount() - 1, Qt::Horizontal).toString(), QStringLiteral("Resposta"));
    EXPECT_EQ(opened.dialogs->messages,
              QStringList{QStringLiteral("[information] Enviament finalitzat\nRegistres processats 6 de 6: 2 enviats, "
                                         "4 no enviats\ndestinatari: 2\ndades: 1\ntemps esgotat: 1")});
}

TEST_F(ExampleCampaignInTheWindow, ACampaignNeverSavedIsSavedBeforeItsFirstRun)
{
    // Its body named by its whole path, as nothing else tells where it is.
    window().campaign().setProjectPath(QString());
    window().campaign().settings().setText(Setting::BodySource, folder.filePath(QStringLiteral("cos.htm")));
    RefreshBodyPreview(window().campaign());
    const QString saveFirst = QStringLiteral("[information] Abans de l'enviament definitiu cal gravar el projecte: el "
                                             "registre d'enviaments es desa al seu costat.");
    // The save dialog cancelled the first time: nothing starts.
    opened.dialogs->filesToSave = {QString(), folder.filePath(QStringLiteral("nova.pcm"))};
    opened.dialogs->answers = {Answer::No, Answer::No, Answer::Yes};
    window().cmbEnviar->click();
    EXPECT_EQ(opened.dialogs->messages, QStringList{saveFirst});
    window().cmbEnviar->click();
    EXPECT_EQ(opened.dialogs->messages, QStringList({saveFirst, saveFirst, finishedAfter(6, 6)}));
    EXPECT_EQ(journalRows(folder.filePath(QStringLiteral("nova.enviaments.csv"))).size(), exampleAddresses.size());
}

// After a run that sent to everyone, what an operator may do, each followed
// by another run: the server never gets a second copy, and no run fails.
TEST_F(ExampleCampaignInTheWindow, NothingDoneBetweenRunsSendsAnyoneASecondCopy)
{
    const auto sendAll = [this] {
        opened.dialogs->answers = {Answer::No, Answer::Yes};
        window().cmbEnviar->click();
    };
    const auto load = [this](const QString &project) {
        opened.dialogs->filesToOpen.push_back(project);
        window().cmbLlegir->click();
        ASSERT_TRUE(chooseEntry(window().comboFields[1], QStringLiteral("Correu")));
    };
    QComboBox *addressList = window().comboFields[1];
    QTemporaryDir elsewhere;
    const QString copy = elsewhere.filePath(QStringLiteral("copia.pcm"));
    // Typed during the first run, in a box that is then off: no message changes.
    whenTheFirstRowIsSent([this] { retypeInto(window().txtFields[7], QStringLiteral("Un altre assumpte")); });
    sendAll();
    EXPECT_EQ(opened.settings().text(Setting::MessageSubject), QStringLiteral("Notícies per a <<<Nom>>> de <<<Ciutat>>>"));
    QWheelEvent wheel({5, 5}, addressList->mapToGlobal(QPointF(5, 5)), {}, {0, 120}, {}, {}, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel); // as the window system's, which gives the focus
    // Each with the answers to the questions it may bring (a run with
    // nothing to send may ask less than the answers it is given).
    const std::tuple<const char *, std::deque<Answer>, std::function<void()>> actions[] = {
        {"the same address field chosen again", {}, [&] { addressList->showPopup(); QTest::keyClick(addressList->view(), Qt::Key_Return); }},
        {"another address field, then it again", {Answer::Yes}, [&] { chooseEntry(addressList, "Nom"); chooseEntry(addressList, "Correu"); }},
        // A field without addresses, refused, then the list left.
        {"the wheel over the address field", {Answer::No}, [&] { QApplication::sendEvent(addressList, &wheel); focusOn(addressList); focusOn(window().txtFields[7]); }},
        {"Tab through the database box and the lists", {}, [&] {
             focusOn(window().txtFields[5]); focusOn(window().comboFields[0]); focusOn(addressList); focusOn(window().txtFields[7]); }},
        {"the project loaded again, its changes discarded", {Answer::No}, [&] { load(folder.filePath("exemple.pcm")); }},
        {"saved into another folder and loaded from there", {}, [&] {
             opened.settings().setText(Setting::AttachmentList, QStringLiteral("logo.png"));
             opened.dialogs->filesToSave.push_back(copy);
             window().actDesaComA->trigger();
             EXPECT_EQ(opened.settings().text(Setting::AttachmentList), QDir(elsewhere.path()).relativeFilePath(folder.filePath("logo.png")));
             load(copy);
         }},
        // Cancelled first, then saved to go on.
        {"another project opened, the changes saved first", {Answer::Cancel, Answer::Yes}, [&] {
             load(folder.filePath("exemple.pcm"));
             opened.dialogs->filesToSave.push_back(copy);
             load(copy);
         }},
        {"the saved project sent by tramelo-run", {}, [&] {
             QProcess runner;
             runner.start(QStringLiteral(TRAMELO_RUN_PROGRAM), {copy});
             // Nobody is left to send to: it does not start.
             EXPECT_TRUE(waitUntil([&] { return runner.state() == QProcess::NotRunning; }, 60s) && runner.exitCode() == 2);
         }},
    };
    for (const auto &[name, answers, act] : actions) {
        SCOPED_TRACE(name);
        const int sentBefore = server.messageCount();
        window().sstabGeneral->setCurrentIndex(0);
        QApplication::setActiveWindow(&window()); // from the list's popup
        opened.dialogs->messages.clear();
        opened.dialogs->answers = answers;
        act();
        sendAll();
        EXPECT_EQ(server.messageCount(), sentBefore);
        EXPECT_EQ(markColumn(), QStringList(6, QStringLiteral("Si")));
        EXPECT_EQ(opened.dialogs->messages.filter(u"[error]") + opened.dialogs->messages.filter(u"[critical]"), QStringList());
    }
    // A project whose database is gone names the file, and shows none of the rows shown before.
    ASSERT_TRUE(QFile::remove(folder.filePath(QStringLiteral("destinataris.sqlite"))));
    opened.dialogs->answers = {Answer::No};
    opened.dialogs->filesToOpen.push_back(folder.filePath(QStringLiteral("exemple.pcm")));
    window().cmbLlegir->click();
    // The driver's reason follows on the next line.
    EXPECT_FALSE(opened.dialogs->messages.filter(QRegularExpression(
        "^\\[critical\\] Arxiu de base de dades incorrecte: " + QRegularExpression::escape(folder.filePath("destinataris.sqlite")) + "\n.+")).isEmpty())
        << opened.dialogs->messages.join(u'|');
    EXPECT_EQ(grid().dataRowCount(), 0);
}

// The test goes to the test address alone; blank, to the sender's, as it
// always did; an address that is none sends nothing.
TEST_F(ExampleCampaignInTheWindow, TheTestSendGoesToTheTestAddressOnly)
{
    const QString finished = QStringLiteral("[information] Enviament finalitzat");
    // The test address; who receives the test (nobody: empty); the box that ends it.
    const std::tuple<const char *, QStringList, QString> cases[] = {
        {"prova@example.org", {QStringLiteral("prova@example.org")}, finished},
        {"  ", {QStringLiteral("remitent@example.com")}, finished},
        {"no és una adreça", {}, QStringLiteral("[error] L'adreça per a la prova no és vàlida: no és una adreça")},
    };
    for (const auto &[testAddress, reached, message] : cases) {
        SCOPED_TRACE(testAddress);
        const int expected = server.messageCount() + int(!reached.isEmpty());
        opened.dialogs->messages.clear();
        window().txtAdrecaProva->setText(QString::fromUtf8(testAddress));
        window().actEnviaProva->trigger();
        EXPECT_EQ(opened.dialogs->messages, QStringList{message});
        ASSERT_TRUE(server.waitForMessages(expected, 20s));
        EXPECT_EQ(server.messageCount(), expected);
        EXPECT_EQ(reached.isEmpty() ? QStringList() : server.messages().last().rcptTos, reached);
    }
}

TEST_F(ExampleCampaignInTheWindow, TheJournalWindowFollowsARunAndSavesTheRecipientsNotSent)
{
    ScriptedSmtpServer failing;
    failing.addScript(failingServerScript(QStringLiteral("remitent@example.com"), exampleAddresses));
    ASSERT_TRUE(failing.listen());
    opened.settings().setText(Setting::SmtpServer, QStringLiteral("127.0.0.1:%1").arg(failing.port()));
    window().actRegistre->trigger();
    JournalWindow &journal = *window().registre;
    ASSERT_TRUE(journal.isVisible());
    EXPECT_TRUE(journal.lblEstat->text().startsWith(QStringLiteral("Encara no s'ha registrat cap enviament")));
    int rowsWhenTheFirstWasSent = 0;
    whenTheFirstRowIsSent([&] { rowsWhenTheFirstWasSent = journal.grdRegistre->model()->rowCount(); });
    opened.dialogs->answers = {Answer::No, Answer::Yes};
    window().cmbEnviar->click();

    EXPECT_TRUE(actionDone);
    EXPECT_GE(rowsWhenTheFirstWasSent, 1);
    EXPECT_LT(rowsWhenTheFirstWasSent, 6);
    QAbstractItemModel *shown = journal.grdRegistre->model();
    EXPECT_EQ(shown->rowCount(), 6);
    EXPECT_EQ(journal.lblEstat->text().section(u':', -1), QStringLiteral(" 6 intents (2 enviats, 4 no enviats)."));
    // By result, then by a text in any column.
    journal.comboResultat->setCurrentIndex(2);
    EXPECT_EQ(shown->rowCount(), 4);
    QTest::keyClicks(journal.txtCerca, QStringLiteral("DESTINATARI"));
    EXPECT_EQ(shown->rowCount(), 2);
    EXPECT_EQ(shown->data(shown->index(1, 2)).toString(), exampleAddresses[4]);

    const QString unsent = folder.filePath(QStringLiteral("no-enviats.csv"));
    opened.dialogs->filesToSave.push_back(unsent);
    journal.cmbDesaNoEnviats->click();
    EXPECT_EQ(opened.dialogs->log.last(), QStringLiteral("save %1 | Fitxers CSV (*.csv);;Tots els fitxers (*)")
                                              .arg(folder.filePath(QStringLiteral("exemple.no-enviats.csv"))));
    EXPECT_EQ(journalRows(unsent), failingServerJournal(exampleAddresses).mid(1, 4));
    EXPECT_EQ(QFile::permissions(unsent) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

    // A journal saved back by a spreadsheet is no journal: the window says so.
    QFile journalFile(folder.filePath(QStringLiteral("exemple.enviaments.csv")));
    ASSERT_TRUE(journalFile.open(QIODevice::WriteOnly | QIODevice::Truncate) && journalFile.write("Data;Fila\r\n") > 0);
    journalFile.close();
    journal.hide();
    journal.show();
    EXPECT_TRUE(journal.lblEstat->text().endsWith(QStringLiteral(": la primera línia no és la capçalera d'un registre d'enviaments")));
    EXPECT_EQ(shown->rowCount(), 0);
}

// The bar of the message being sent counts what has left: here the server
// reads nothing for a while, and the message waits on this machine.
TEST_F(ExampleCampaignInTheWindow, TheCurrentMessagesBarShowsWhatTheServerHasReceived)
{
    QFile attachment(folder.filePath(QStringLiteral("gran.bin")));
    ASSERT_TRUE(attachment.open(QIODevice::WriteOnly) && attachment.write(QByteArray(1024 * 1024, 'x')) > 0);
    attachment.close();
    opened.settings().setText(Setting::AttachmentList, attachment.fileName());
    ScriptedSmtpServer holding;
    const QString sender = QStringLiteral("remitent@example.com");
    holding.addScript(script::greeting() + script::helo(QStringLiteral("example.com")) + script::envelope(sender, {sender})
                      + QStringLiteral("C: DATA\nS: 354 go on\nH: 1500\nD:\nS: 250 2.0.0 Ok: queued\n") + script::quit());
    ASSERT_TRUE(holding.listen());
    opened.settings().setText(Setting::SmtpServer, QStringLiteral("127.0.0.1:%1").arg(holding.port()));
    QElapsedTimer clock;
    int mostInTheFirstSecond = 0;
    QObject::connect(window().pbProgres, &QProgressBar::valueChanged, &window(), [&](int value) {
        if (clock.elapsed() < 1000)
            mostInTheFirstSecond = std::max(mostInTheFirstSecond, value);
    });
    clock.start();
    window().actEnviaProva->trigger();

    EXPECT_TRUE(holding.waitForFinished(5s)) << holding.verify().toStdString();
    EXPECT_EQ(opened.dialogs->messages, QStringList{QStringLiteral("[information] Enviament finalitzat")});
    EXPECT_LT(mostInTheFirstSecond, 10);
    EXPECT_EQ(window().pbProgres->value(), 100);
}
