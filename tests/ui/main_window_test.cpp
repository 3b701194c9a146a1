#include "gtest_qt_printers.h"
#include "recipient_grid.h"
#include "test_databases.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTextBrowser>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace tramelo;
using namespace tramelo::test;

namespace {

const QString leaveQuestion = QStringLiteral("[no] Vols sortir sense guardar els canvis?");
const QString addressFieldQuestion =
    QStringLiteral("[no] El camp triat no conté cap adreça de correu vàlida. Vols fer-lo servir igualment?");

// The text boxes the operator types into (8 is the read-only body text).
constexpr int typedBoxes[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 16, 17};

class MainWindow : public ::testing::Test
{
protected:
    void TearDown() override { EXPECT_EQ(opened.dialogs->unexpected, QStringList()); }

    frmMain &window() { return opened.window(); }
    CampaignSettings &settings() { return opened.settings(); }
    ScriptedDialogs &dialogs() { return *opened.dialogs; }

    OpenedProgram opened;
};

// A window with an SQLite file of two clients opened through the database
// chooser.
class MainWindowWithDatabase : public MainWindow
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        databasePath = folder.filePath(QStringLiteral("clients.sqlite"));
        QString error;
        ASSERT_TRUE(createSqliteDatabase(databasePath,
                                         {QStringLiteral("CREATE TABLE Clients (Nom TEXT, Correu TEXT, Ciutat TEXT)"),
                                          QStringLiteral("INSERT INTO Clients VALUES ('Anna', 'no-es-una-adreca', 'Vic')"),
                                          QStringLiteral("INSERT INTO Clients VALUES ('Pere', 'tampoc', 'Reus')"),
                                          QStringLiteral("CREATE TABLE Altres (Codi TEXT)")},
                                         error))
            << error.toStdString();
        dialogs().filesToOpen.push_back(databasePath);
        window().cmbCercar[1]->click();
        ASSERT_EQ(window().comboFields[0]->count(), 2);
    }

    // The clients' addresses are all invalid: the choice is confirmed.
    void chooseTableAndAddress()
    {
        ASSERT_TRUE(chooseEntry(window().comboFields[0], QStringLiteral("Clients")));
        dialogs().answers.push_back(Answer::Yes);
        ASSERT_TRUE(chooseEntry(window().comboFields[1], QStringLiteral("Correu")));
        ASSERT_EQ(dialogs().questions.last(), addressFieldQuestion);
        ASSERT_EQ(window().campaign().grid().dataRowCount(), 2);
    }

    QTemporaryDir folder;
    QString databasePath;
};

} // namespace

// ---- start ------------------------------------------------------------------

TEST(ProgramStart, ShowsTheAboutBoxFirstAndTheMainWindowOnlyAfterItsButton)
{
    auto scripted = std::make_unique<ScriptedDialogs>();
    TrameloProgram program(std::move(scripted));
    program.start();
    frmAbout &about = program.aboutBox();
    EXPECT_TRUE(about.isVisible());
    EXPECT_FALSE(program.mainWindow().isVisible());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("Sobre Tramelo"));
    EXPECT_EQ(about.lblVersio->text(), QStringLiteral("Tramelo Versió " TRAMELO_VERSION));
    EXPECT_EQ(about.cmbSortir->toolTip(), QStringLiteral("Tancar aquesta pantalla i entrar en el programa"));
    EXPECT_FALSE(about.cmbSortir->icon().isNull());

    about.cmbSortir->click();
    EXPECT_TRUE(program.mainWindow().isVisible());
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(program.mainWindow().windowTitle(), QStringLiteral("Enviar Tramelo"));
}

TEST_F(MainWindow, OpensWithTheDefaultsAndNothingToSave)
{
    EXPECT_EQ(settings().text(Setting::WaitSeconds), QStringLiteral("0"));
    EXPECT_EQ(textBoxText(window().txtFields[12]), QStringLiteral("0 s"));
    EXPECT_EQ(textBoxText(window().txtFields[9]), QStringLiteral("<<<"));
    EXPECT_EQ(textBoxText(window().txtFields[10]), QStringLiteral(">>>"));
    EXPECT_EQ(textBoxText(window().txtFields[11]), QStringLiteral("20"));
    EXPECT_TRUE(window().optFields[0]->isChecked());
    EXPECT_TRUE(window().optFields[2]->isChecked());
    EXPECT_EQ(shownText(window().Label9), QStringLiteral("Taula:"));
    EXPECT_EQ(shownText(window().Label1), QStringLiteral("Nom de l'arxiu de cos:"));
    EXPECT_TRUE(window().txtFields[14]->isHidden());
    EXPECT_FALSE(window().comboFields[0]->isHidden());
    EXPECT_TRUE(window().grdEnviament->isHidden());
    EXPECT_TRUE(window().frameProgres->isHidden());
    EXPECT_FALSE(window().cmbDesmarcar->isEnabled());
    EXPECT_TRUE(static_cast<QPlainTextEdit *>(window().txtFields[8])->isReadOnly());
    EXPECT_FALSE(window().campaign().isDirty());

    const QStringList tabs = {QStringLiteral("Definició"), QStringLiteral("Vista HTML"), QStringLiteral("Vista texte"),
                              QStringLiteral("Enviament")};
    for (int tab = 0; tab < tabs.size(); ++tab)
        EXPECT_EQ(window().sstabGeneral->tabText(tab), tabs[tab]);
    // Each tool tip then says the button's shortcut, where the desktop has
    // one for its command (Quit has none under the offscreen platform).
    const std::pair<QToolButton *, const char *> buttons[] = {
        {window().cmbLlegir, "Llegir la configuració (Ctrl+O)"}, {window().cmbGravar, "Gravar la configuració (Ctrl+S)"},
        {window().cmbEnviar, "Realitzar l'enviament"},           {window().cmbDesmarcar, "Esborrar les marques d'enviat"},
        {window().cmbSortir, "Sortir del programa"},
    };
    for (const auto &[button, toolTip] : buttons) {
        EXPECT_TRUE(button->toolTip().startsWith(QString::fromUtf8(toolTip))) << toolTip;
        EXPECT_FALSE(button->icon().isNull()) << toolTip;
    }
}

TEST_F(MainWindow, FitsItsDesignedSizeAndGrowsWithTheScreen)
{
    EXPECT_GE(window().width(), 621);
    EXPECT_GE(window().height(), 539);
    EXPECT_LE(window().minimumSizeHint().width(), 621);
    window().resize(900, 700);
    QCoreApplication::processEvents();
    EXPECT_GT(window().sstabGeneral->width(), 850);
    EXPECT_GT(window().sstabGeneral->height(), 600);
}

// ---- closing ----------------------------------------------------------------

TEST_F(MainWindow, ClosingRightAfterStartAsksNothing)
{
    EXPECT_TRUE(window().close());
    EXPECT_EQ(dialogs().questions, QStringList());
    EXPECT_FALSE(window().isVisible());
}

TEST(MainWindowClosing, TypingOneCharacterInAnyTextSettingThenClosingAsksAndNoKeepsTheWindow)
{
    for (const int n : typedBoxes) {
        SCOPED_TRACE(n);
        OpenedProgram opened;
        frmMain &window = opened.window();
        // Each box is typed into where the operator can: the statement box
        // shown, the login boxes enabled; the wait takes digits.
        if (n == 14)
            window.optFields[1]->click();
        if (n == 3 || n == 4)
            window.chkFields[0]->click();
        const QChar typed = n == 12 ? u'7' : u'x';
        QTest::keyClicks(window.txtFields[n], typed);
        ASSERT_TRUE(textBoxText(window.txtFields[n]).contains(typed));

        opened.dialogs->answers = {Answer::No};
        EXPECT_FALSE(window.close());
        EXPECT_EQ(opened.dialogs->questions, QStringList{leaveQuestion});
        EXPECT_TRUE(window.isVisible());
        EXPECT_TRUE(textBoxText(window.txtFields[n]).contains(typed));
        EXPECT_EQ(opened.dialogs->unexpected, QStringList());
    }
}

TEST(MainWindowClosing, TypingInEitherListThenClosingAsks)
{
    for (const int n : {0, 1}) {
        SCOPED_TRACE(n);
        OpenedProgram opened;
        QTest::keyClicks(opened.window().comboFields[n], QStringLiteral("x"));
        opened.dialogs->answers = {Answer::Yes};
        EXPECT_TRUE(opened.window().close());
        EXPECT_EQ(opened.dialogs->questions, QStringList{leaveQuestion});
        EXPECT_FALSE(opened.window().isVisible());
    }
}

TEST(MainWindowClosing, ChoosingTheSecurityThenClosingAsks)
{
    OpenedProgram opened;
    QComboBox *security = opened.window().comboSeguretat;
    EXPECT_EQ(security->currentText(), QStringLiteral("Automàtica"));
    QTest::keyClick(security, Qt::Key_Down);
    EXPECT_EQ(opened.settings().security(), ConnectionSecurity::None);
    // A project load shows its choice.
    opened.settings().setSecurity(ConnectionSecurity::SslTls);
    EXPECT_EQ(security->currentText(), QStringLiteral("SSL/TLS"));
    opened.dialogs->answers = {Answer::Yes};
    EXPECT_TRUE(opened.window().close());
    EXPECT_EQ(opened.dialogs->questions, QStringList{leaveQuestion});
}

TEST_F(MainWindow, ChecksAndOptionsAloneLeaveNothingToSave)
{
    window().chkFields[0]->click();
    window().chkFields[1]->click();
    window().optFields[1]->click();
    window().optFields[3]->click();
    EXPECT_EQ(settings().checkValue(Check::NeedsLogin), 1);
    EXPECT_EQ(settings().checkValue(Check::GroupSendings), 1);
    EXPECT_TRUE(window().close());
    EXPECT_EQ(dialogs().questions, QStringList());
}

TEST_F(MainWindow, ExitButtonClosesThroughTheSameQuestion)
{
    QTest::keyClicks(window().txtFields[7], QStringLiteral("Assumpte"));
    dialogs().answers = {Answer::No};
    window().cmbSortir->click();
    EXPECT_TRUE(window().isVisible());
    dialogs().answers = {Answer::Yes};
    window().cmbSortir->click();
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(dialogs().questions, QStringList({leaveQuestion, leaveQuestion}));
}

TEST_F(MainWindowWithDatabase, AfterARunClosingAsksEvenWithNothingTyped)
{
    chooseTableAndAddress();
    QTest::keyClicks(window().txtFields[0], QStringLiteral("jo@example.com"));
    QTest::keyClicks(window().txtFields[1], QStringLiteral("Jo"));
    QTest::keyClicks(window().txtFields[2], QStringLiteral("127.0.0.1:9"));
    QTest::keyClicks(window().txtFields[7], QStringLiteral("Hola"));
    window().optFields[3]->click();
    QTest::keyClicks(window().txtFields[6], QStringLiteral("Cos"));
    ASSERT_TRUE(focusOn(window().txtFields[6]));
    ASSERT_TRUE(focusOn(window().txtFields[0]));
    ASSERT_EQ(settings().text(Setting::BodyText), QStringLiteral("Cos"));

    const QString project = folder.filePath(QStringLiteral("campanya.pcm"));
    dialogs().filesToSave.push_back(project);
    window().cmbGravar->click();
    ASSERT_FALSE(window().campaign().isDirty());
    ASSERT_TRUE(dialogs().log.last().endsWith(QStringLiteral(" | Arxius de projecte (*.pcm);;Tots els arxius (*)")));

    // Both addresses are refused at once, so the run needs no server; with
    // nothing sent, the end of the run is shown as an error.
    dialogs().answers = {Answer::No, Answer::Yes};
    window().cmbEnviar->click();
    EXPECT_EQ(dialogs().messages, QStringList{QStringLiteral("[error] Enviament finalitzat\nRegistres processats 2 de 2: "
                                                             "0 enviats, 2 no enviats\nvalidació: 2")});
    EXPECT_EQ(window().campaign().grid().markText(1), QStringLiteral("No"));
    EXPECT_EQ(window().campaign().grid().markText(2), QStringLiteral("No"));
    EXPECT_EQ(window().sstabGeneral->currentIndex(), 3);
    EXPECT_FALSE(window().frameProgres->isHidden());
    EXPECT_EQ(window().lblQuants->text(), QStringLiteral("2/0/2"));
    EXPECT_EQ(window().pbTotal->value(), window().pbTotal->maximum());
    EXPECT_TRUE(window().cmbEnviar->isEnabled());

    dialogs().answers = {Answer::No};
    EXPECT_FALSE(window().close());
    EXPECT_EQ(dialogs().questions.last(), leaveQuestion);
    EXPECT_TRUE(window().isVisible());
}

// ---- options ----------------------------------------------------------------

TEST_F(MainWindow, SqlOptionSwapsTheTableListForTheStatementBox)
{
    window().optFields[1]->click();
    EXPECT_EQ(shownText(window().Label9), QStringLiteral("Instrucció SQL:"));
    EXPECT_TRUE(window().comboFields[0]->isHidden());
    EXPECT_FALSE(window().txtFields[14]->isHidden());
    EXPECT_EQ(settings().sourceKind(), SourceKind::Sql);

    window().optFields[0]->click();
    EXPECT_EQ(shownText(window().Label9), QStringLiteral("Taula:"));
    EXPECT_FALSE(window().comboFields[0]->isHidden());
    EXPECT_TRUE(window().txtFields[14]->isHidden());
    EXPECT_FALSE(window().campaign().isDirty());
}

TEST_F(MainWindow, BodyKindOptionsRelabelShowOrHideTheChooserAndRebuildTheBody)
{
    QTest::keyClicks(window().txtFields[6], QStringLiteral("Hola a tothom"));
    window().optFields[3]->click();
    EXPECT_EQ(shownText(window().Label1), QStringLiteral("Texte del cos:"));
    EXPECT_TRUE(window().cmbCercar[0]->isHidden());
    EXPECT_EQ(textBoxText(window().txtFields[8]), QStringLiteral("Hola a tothom"));

    window().optFields[2]->click();
    EXPECT_EQ(shownText(window().Label1), QStringLiteral("Nom de l'arxiu de cos:"));
    EXPECT_FALSE(window().cmbCercar[0]->isHidden());
    // The typed text names no file.
    EXPECT_EQ(textBoxText(window().txtFields[8]), QString());
}

TEST_F(MainWindow, ProgramSetKindsShowLikeClicks)
{
    settings().setSourceKind(SourceKind::Sql);
    settings().setBodyKind(BodyKind::Text);
    EXPECT_TRUE(window().optFields[1]->isChecked());
    EXPECT_TRUE(window().optFields[3]->isChecked());
    EXPECT_EQ(shownText(window().Label9), QStringLiteral("Instrucció SQL:"));
    EXPECT_EQ(shownText(window().Label1), QStringLiteral("Texte del cos:"));
    EXPECT_TRUE(window().cmbCercar[0]->isHidden());
}

// ---- focus ------------------------------------------------------------------

TEST_F(MainWindow, EnteringATextBoxSelectsItsWholeText)
{
    settings().setText(Setting::SenderName, QStringLiteral("Associació"));
    ASSERT_TRUE(focusOn(window().txtFields[1]));
    QCoreApplication::processEvents();
    EXPECT_EQ(static_cast<QLineEdit *>(window().txtFields[1])->selectedText(), QStringLiteral("Associació"));
}

TEST_F(MainWindow, LeavingTheBodySourceAlwaysRebuildsThePreview)
{
    QTemporaryDir folder;
    const QString body = folder.filePath(QStringLiteral("cos.htm"));
    QFile file(body);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<p>Bon dia <b>\xE0 tothom</b></p>"); // Windows-1252, as bodies are read
    file.close();

    ASSERT_TRUE(focusOn(window().txtFields[6]));
    QTest::keyClicks(window().txtFields[6], body);
    EXPECT_EQ(textBoxText(window().txtFields[8]), QString()); // typing alone does not
    ASSERT_TRUE(focusOn(window().txtFields[0]));
    EXPECT_EQ(textBoxText(window().txtFields[8]), QStringLiteral("<p>Bon dia <b>\u00E0 tothom</b></p>"));
    EXPECT_EQ(window().planaWeb->toPlainText(), QStringLiteral("Bon dia \u00E0 tothom"));

    // The file changes behind the program, now in UTF-8; passing through the
    // box shows it, in both views as it will be sent.
    const QString utf8Text = QStringLiteral("Bona tarda, Łucja — “Αθήνα” 5 €");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("<html><head><meta charset=\"utf-8\"></head><body><p>" + utf8Text.toUtf8() + "</p></body></html>");
    file.close();
    ASSERT_TRUE(focusOn(window().txtFields[6]));
    ASSERT_TRUE(focusOn(window().txtFields[0]));
    EXPECT_EQ(window().planaWeb->toPlainText(), utf8Text);
    EXPECT_TRUE(textBoxText(window().txtFields[8]).contains(QStringLiteral("<p>") + utf8Text + QStringLiteral("</p>")));
}

TEST_F(MainWindowWithDatabase, LeavingTheStatementUnchangedDoesNotReloadTheFields)
{
    window().optFields[1]->click();
    ASSERT_TRUE(focusOn(window().txtFields[14]));
    QTest::keyClicks(window().txtFields[14], QStringLiteral("Select Nom, Correu From Clients"));
    ASSERT_TRUE(focusOn(window().txtFields[0]));
    ASSERT_EQ(window().campaign().fieldList(), QStringList({QStringLiteral("Nom"), QStringLiteral("Correu")}));
    dialogs().answers = {Answer::Yes}; // no address among the clients'
    ASSERT_TRUE(chooseEntry(window().comboFields[1], QStringLiteral("Correu")));

    QSignalSpy reloads(&window().campaign(), &Campaign::fieldListChanged);
    ASSERT_TRUE(focusOn(window().txtFields[14]));
    ASSERT_TRUE(focusOn(window().txtFields[0]));
    EXPECT_EQ(reloads.count(), 0);
    EXPECT_EQ(settings().text(Setting::AddressField), QStringLiteral("Correu"));

    ASSERT_TRUE(focusOn(window().txtFields[14]));
    retypeInto(window().txtFields[14], QStringLiteral("Select Ciutat From Clients"));
    ASSERT_TRUE(focusOn(window().txtFields[0]));
    EXPECT_GT(reloads.count(), 0);
    EXPECT_EQ(window().campaign().fieldList(), QStringList{QStringLiteral("Ciutat")});
    EXPECT_EQ(settings().text(Setting::AddressField), QString());
}

TEST_F(MainWindowWithDatabase, LeavingTheDatabaseSourceUnchangedKeepsTheChoices)
{
    ASSERT_TRUE(chooseEntry(window().comboFields[0], QStringLiteral("Clients")));
    ASSERT_FALSE(window().campaign().fieldList().isEmpty());

    QSignalSpy reopens(&window().campaign(), &Campaign::tableListChanged);
    ASSERT_TRUE(focusOn(window().txtFields[5]));
    ASSERT_TRUE(focusOn(window().txtFields[0]));
    EXPECT_EQ(reopens.count(), 0);
    EXPECT_EQ(window().comboFields[0]->count(), 2);
    EXPECT_FALSE(window().campaign().fieldList().isEmpty());
}

TEST_F(MainWindowWithDatabase, LeavingAConnectStringKeepsTheDelimitersTheOperatorTyped)
{
    ASSERT_TRUE(focusOn(window().txtFields[5]));
    retypeInto(window().txtFields[5], QStringLiteral("DRIVER={SQLite3};Database=") + databasePath);
    retypeInto(window().txtFields[15], QStringLiteral("`"));
    retypeInto(window().txtFields[16], QStringLiteral("`"));
    ASSERT_TRUE(focusOn(window().txtFields[5]));
    ASSERT_TRUE(focusOn(window().txtFields[0]));
    EXPECT_EQ(window().comboFields[0]->count(), 2);
    EXPECT_EQ(textBoxText(window().txtFields[15]), QStringLiteral("`"));
    EXPECT_EQ(textBoxText(window().txtFields[16]), QStringLiteral("`"));
}

TEST_F(MainWindow, ADatabaseThatDoesNotOpenEmptiesTheBoxOnce)
{
    ASSERT_TRUE(focusOn(window().txtFields[5]));
    QTest::keyClicks(window().txtFields[5], QStringLiteral("/no/existeix.mdb"));
    ASSERT_TRUE(focusOn(window().txtFields[0]));
    EXPECT_EQ(dialogs().messages,
              QStringList{QStringLiteral("[critical] Arxiu de base de dades incorrecte: /no/existeix.mdb\nL'arxiu no existeix")});
    EXPECT_EQ(textBoxText(window().txtFields[5]), QString());
    ASSERT_TRUE(focusOn(window().txtFields[5]));
    ASSERT_TRUE(focusOn(window().txtFields[0]));
    EXPECT_EQ(dialogs().messages.size(), 1);
}

TEST_F(MainWindow, ACsvFileFromTheDatabaseChooserFillsTheListsAndTheGrid)
{
    QTemporaryDir folder;
    QFile csv(folder.filePath(QStringLiteral("Socis.TXT")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly) && csv.write("Nom;Correu\nAnna;anna@example.com\n\xC0ngel;angel@example.com\n") > 0);
    csv.close();
    dialogs().filesToOpen = {csv.fileName()};
    window().cmbCercar[1]->click();
    ASSERT_TRUE(chooseEntry(window().comboFields[0], QStringLiteral("Socis")));
    ASSERT_TRUE(chooseEntry(window().comboFields[1], QStringLiteral("Correu")));
    EXPECT_EQ(dialogs().messages, QStringList());
    EXPECT_EQ(window().campaign().grid().dataRowCount(), 2);
    EXPECT_EQ(window().campaign().grid().cellText(2, 2), QStringLiteral("Àngel"));
}

// ---- lists and grid -----------------------------------------------------------

TEST_F(MainWindowWithDatabase, OnlyAChosenEntryLoadsFieldsAndFillsTheGrid)
{
    QSignalSpy fieldLoads(&window().campaign(), &Campaign::fieldListChanged);
    settings().setText(Setting::TableName, QStringLiteral("Clients"));
    QTest::keyClicks(window().comboFields[0], QStringLiteral("X"));
    EXPECT_EQ(fieldLoads.count(), 0);
    EXPECT_EQ(settings().text(Setting::TableName), QStringLiteral("ClientsX"));

    chooseTableAndAddress();
    EXPECT_EQ(settings().text(Setting::SqlStatement), QStringLiteral("Select * From [Clients]"));
    EXPECT_FALSE(window().grdEnviament->isHidden());
    EXPECT_EQ(window().grdEnviament->model()->rowCount(), 2);
    // Columns as wide as their contents, the last one filling the rest.
    QTableView *grid = window().grdEnviament;
    EXPECT_GE(grid->columnWidth(0), 40);
    const int addressWidth = grid->fontMetrics().horizontalAdvance(QStringLiteral("Adreça de correu electrònic"));
    EXPECT_GE(grid->columnWidth(1), addressWidth);
    EXPECT_LT(grid->columnWidth(1), addressWidth + 60);
    EXPECT_LT(grid->columnWidth(2), grid->fontMetrics().horizontalAdvance(QStringLiteral("Adreça de correu electrònic")));
    EXPECT_TRUE(grid->horizontalHeader()->stretchLastSection());
}

TEST_F(MainWindowWithDatabase, DoubleClickTogglesOnlyTheMarkColumn)
{
    chooseTableAndAddress();
    window().sstabGeneral->setCurrentIndex(3);
    QCoreApplication::processEvents();
    QTableView *grid = window().grdEnviament;
    const auto doubleClick = [grid](int row, int column) {
        const QRect cell = grid->visualRect(grid->model()->index(row, column));
        // A double click arrives as a click, then a press read as the second one.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    };
    const RecipientGrid &marks = window().campaign().grid();
    window().campaign().setDirty(false);

    doubleClick(0, 1);
    EXPECT_EQ(marks.markText(1), QString());
    doubleClick(0, 0);
    EXPECT_EQ(marks.markText(1), QStringLiteral("No"));
    EXPECT_EQ(marks.markText(2), QString());
    doubleClick(0, 0);
    EXPECT_EQ(marks.markText(1), QString());
    EXPECT_FALSE(window().campaign().isDirty());
}

// ---- choosers and the ODBC picker ---------------------------------------------

TEST_F(MainWindow, FileChoosersUseTheirFiltersAndCancelChangesNothing)
{
    settings().setText(Setting::BodySource, QStringLiteral("/carpeta/cos.htm"));
    window().campaign().setDirty(false);
    dialogs().filesToOpen = {QString(), QString(), QString()};
    window().cmbCercar[0]->click();
    window().cmbCercar[1]->click();
    window().cmbLlegir->click();
    const QString home = QDir::homePath();
    EXPECT_EQ(dialogs().log,
              QStringList({QStringLiteral("open %1/cos.htm | Arxius HTML (*.htm*);;Arxius de texte (*.txt);;Tots els arxius (*)").arg(home),
                           QStringLiteral("open %1 | Bases de dades (*.mdb *.accdb *.sqlite *.sqlite3 *.db *.csv *.txt);;Arxius Access (*.mdb *.accdb);;"
                                          "Arxius SQLite (*.sqlite *.sqlite3 *.db);;Arxius CSV (*.csv *.txt);;Tots els arxius (*)").arg(home),
                           QStringLiteral("open %1 | Arxius de projecte (*.pcm);;Tots els arxius (*)").arg(home)}));
    EXPECT_EQ(settings().text(Setting::BodySource), QStringLiteral("/carpeta/cos.htm"));
    EXPECT_EQ(dialogs().messages, QStringList());
    EXPECT_FALSE(window().campaign().isDirty());
}

TEST_F(MainWindow, AttachmentChooserAppendsEachChoiceAndOffersTheLastOne)
{
    dialogs().filesToOpen = {QStringLiteral("/a/primer.pdf"), QStringLiteral("/a/segon.txt")};
    window().cmbCercar[2]->click();
    window().cmbCercar[2]->click();
    EXPECT_EQ(settings().text(Setting::AttachmentList), QStringLiteral("/a/primer.pdf;/a/segon.txt"));
    EXPECT_EQ(textBoxText(window().txtFields[13]), QStringLiteral("/a/primer.pdf;/a/segon.txt"));
    // "/a" does not exist: the name is offered in the home folder.
    EXPECT_EQ(dialogs().log.last(), QStringLiteral("open %1/primer.pdf | Tots els arxius (*)").arg(QDir::homePath()));
}

TEST_F(MainWindow, ProjectThatCannotBeReadIsReported)
{
    dialogs().filesToOpen = {QStringLiteral("/no/existeix.pcm")};
    window().cmbLlegir->click();
    EXPECT_EQ(dialogs().messages,
              QStringList{QStringLiteral("[error] No es pot llegir l'arxiu de projecte /no/existeix.pcm")});
}

TEST_F(MainWindow, CancelledOdbcPickerIsSilentAndChangesNothing)
{
    settings().setText(Setting::DatabaseSource, QStringLiteral("abans"));
    dialogs().odbcChoices = {std::nullopt};
    window().cmbODBC->click();
    EXPECT_EQ(dialogs().messages, QStringList());
    EXPECT_EQ(settings().text(Setting::DatabaseSource), QStringLiteral("abans"));
}

TEST_F(MainWindowWithDatabase, OdbcDriverChosenInThePickerOpensItsDatabase)
{
    OdbcSourceChoice choice;
    choice.kind = OdbcSourceChoice::Kind::Driver;
    choice.name = QStringLiteral("SQLite3");
    choice.attributes = QStringLiteral("Database=") + databasePath;
    dialogs().odbcChoices = {choice};
    window().cmbODBC->click();
    EXPECT_EQ(dialogs().messages, QStringList());
    const QString source = textBoxText(window().txtFields[5]);
    EXPECT_TRUE(source.startsWith(QStringLiteral("DRIVER={SQLite3}"))) << source.toStdString();
    EXPECT_TRUE(source.contains(databasePath)) << source.toStdString();
    EXPECT_EQ(window().campaign().tableList(), QStringList({QStringLiteral("Clients"), QStringLiteral("Altres")}));
}

TEST_F(MainWindow, OdbcSourceThatCannotBeReachedShowsTheError)
{
    OdbcSourceChoice choice;
    choice.kind = OdbcSourceChoice::Kind::DataSource;
    choice.name = QStringLiteral("NoExisteix");
    dialogs().odbcChoices = {choice};
    window().cmbODBC->click();
    EXPECT_EQ(dialogs().messages, QStringList{QStringLiteral("[none] Error en la connexio amb l'origen de dades ODBC")});
    EXPECT_EQ(textBoxText(window().txtFields[5]), QString());
}
