// The window as a desktop user expects it: shortcuts and mnemonics, the
// About box's keys, the login boxes, the body kind and the user guide.
#include "gtest_qt_printers.h"
#include "user_guide.h"
#include "window_test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <functional>

using namespace tramelo;
using namespace tramelo::test;

namespace {

// The example, loaded with the load button.
class DesktopWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(copyExampleCampaign(folder));
        dialogs().filesToOpen.push_back(project);
        window().cmbLlegir->click();
        ASSERT_EQ(window().campaign().projectPath(), project);
    }
    void TearDown() override { EXPECT_EQ(dialogs().unexpected, QStringList()); }

    frmMain &window() { return opened.window(); }
    ScriptedDialogs &dialogs() { return *opened.dialogs; }

    QTemporaryDir folder;
    QString project = folder.filePath(QStringLiteral("exemple.pcm"));
    OpenedProgram opened;
};

} // namespace

TEST_F(DesktopWindow, ShortcutsSaveToTheProjectsFileOpenAndShowTheGuide)
{
    QWidget *subject = window().txtFields[7];
    ASSERT_TRUE(focusOn(subject));
    const QString copy = folder.filePath(QStringLiteral("copia.pcm"));
    // Each shortcut, the dialogs it opens, what it does.
    const std::tuple<const char *, QKeyCombination, int, std::function<void()>> shortcuts[] = {
        {"Ctrl+S saves to the same file, without a dialog", Qt::ControlModifier | Qt::Key_S, 0, [&] {
             QFile saved(project);
             EXPECT_TRUE(saved.open(QIODevice::ReadOnly) && saved.readAll().contains("Assumpte desat"));
             EXPECT_FALSE(window().campaign().isDirty());
         }},
        {"Ctrl+O opens the dialog", Qt::ControlModifier | Qt::Key_O, 1,
         [&] { EXPECT_TRUE(dialogs().log.last().endsWith(QStringLiteral(" | Arxius de projecte (*.pcm);;Tots els arxius (*)"))); }},
        {"F1 shows the first campaign with its pictures", QKeyCombination(Qt::Key_F1), 0, [&] {
             ASSERT_TRUE(window().guia && window().guia->isVisible());
             const QTextDocument *guide = window().guia->text->document();
             EXPECT_TRUE(guide->toPlainText().startsWith(QStringLiteral("A first campaign with the example")));
             EXPECT_TRUE(guide->toPlainText().contains(QStringLiteral("Load the example.")));
             EXPECT_FALSE(guide->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("docs/main-window.png"))).isNull());
         }},
    };
    retypeInto(subject, QStringLiteral("Assumpte desat"));
    dialogs().filesToOpen.push_back(QString());
    for (const auto &[name, keys, dialogsOpened, check] : shortcuts) {
        SCOPED_TRACE(name);
        const qsizetype dialogsBefore = dialogs().log.size();
        QTest::keyClick(subject, keys.key(), keys.keyboardModifiers());
        check();
        EXPECT_EQ(dialogs().log.size(), dialogsBefore + dialogsOpened) << dialogs().log.join(u'\n').toStdString();
    }

    // "Desa com a" asks where, even with a file.
    dialogs().filesToSave.push_back(copy);
    window().actDesaComA->trigger();
    EXPECT_EQ(window().campaign().projectPath(), copy);

    // Alt+F opens the file menu rather than typing into the box.
    window().guia->close();
    window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    ASSERT_TRUE(focusOn(subject));
    const QString typed = textBoxText(subject);
    QTest::keyClick(subject, Qt::Key_F, Qt::AltModifier);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), QStringLiteral("&Fitxer"));
    menu->close();
    EXPECT_EQ(textBoxText(subject), typed);
}

// Two controls sharing a letter would make Alt+letter go to one, then the
// other; a label without one leaves its box to the mouse.
TEST_F(DesktopWindow, EveryLabelAndButtonHasAMnemonicOfItsOwnOnItsTab)
{
    // More labels than letters on "Definició": these are reached with Tab.
    const QStringList reachedWithTab = {QStringLiteral("Certificats de confiança addicionals:"),
                                        QStringLiteral("Delimitadors de nom de taula:"),
                                        QStringLiteral("Delimitador dret de camps:"), QStringLiteral("..."),
                                        QStringLiteral("ODBC")};
    for (int tab = 0; tab < window().sstabGeneral->count(); ++tab) {
        SCOPED_TRACE(tab);
        window().sstabGeneral->setCurrentIndex(tab);
        QCoreApplication::processEvents();
        QMultiMap<QString, QString> byKey;
        QStringList without;
        const auto note = [&](const QString &text) {
            const QString key = QKeySequence::mnemonic(text).toString();
            if (!key.isEmpty())
                byKey.insert(key, text);
            else if (!reachedWithTab.contains(text))
                without.append(text);
        };
        for (QAction *menu : window().barraMenus->actions())
            note(menu->text());
        for (QLabel *label : window().findChildren<QLabel *>()) {
            if (label->isVisible() && label->buddy())
                note(label->text());
        }
        // The options of a pair are reached through their pair's label.
        for (QAbstractButton *button : window().findChildren<QAbstractButton *>()) {
            const auto *tool = qobject_cast<QToolButton *>(button);
            if (button->isVisible() && !qobject_cast<QRadioButton *>(button) && !button->text().isEmpty()
                && !(tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly))
                note(button->text());
        }
        QStringList shared;
        for (const QString &key : byKey.uniqueKeys()) {
            if (byKey.count(key) > 1)
                shared.append(QStringList(byKey.values(key)).join(QStringLiteral(" / ")));
        }
        EXPECT_EQ(shared, QStringList());
        EXPECT_EQ(without, QStringList());
    }
}

TEST_F(DesktopWindow, TheLoginBoxesFollowTheCheckBoxAndTexteDropsAFileName)
{
    for (const bool ticked : {false, true, false}) {
        if (window().chkFields[0]->isChecked() != ticked)
            window().chkFields[0]->click();
        EXPECT_EQ(window().txtFields[3]->isEnabled() && window().txtFields[4]->isEnabled(), ticked);
    }

    // The example's body file is no text to send; a typed text stays.
    CampaignSettings &settings = opened.settings();
    window().optFields[3]->click();
    EXPECT_EQ(settings.text(Setting::BodySource), QString());
    retypeInto(window().txtFields[6], QStringLiteral("Hola, <<<Nom>>>"));
    window().optFields[2]->click();
    window().optFields[3]->click();
    EXPECT_EQ(settings.text(Setting::BodySource), QStringLiteral("Hola, <<<Nom>>>"));
}

TEST(AboutBox, EnterOrEscapeEntersTheProgramAndEscapeClosesItFromTheMenu)
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        SCOPED_TRACE(key);
        TrameloProgram program(std::make_unique<ScriptedDialogs>());
        program.start();
        QTest::keyClick(&program.aboutBox(), key);
        EXPECT_TRUE(!program.aboutBox().isVisible() && program.mainWindow().isVisible());

        frmMain &window = program.mainWindow();
        window.actQuantA->trigger();
        ASSERT_TRUE(window.quantA->isVisible());
        QTest::keyClick(window.quantA, Qt::Key_Escape);
        EXPECT_TRUE(!window.quantA->isVisible() && window.isVisible());
    }
}
