// The main window at home on a desktop: its title, the projects and folders
// it remembers, the example opened where it was moved, and small things.
#include "gtest_qt_printers.h"
#include "recipient_grid.h"
#include "window_test_support.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QWindow>

#include <gtest/gtest.h>

using namespace tramelo;
using namespace tramelo::test;

namespace {

class WindowAtHome : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(copyExampleCampaign(folder));
        dialogs().filesToOpen.push_back(project);
        window().cmbLlegir->click();
    }
    void TearDown() override { EXPECT_EQ(dialogs().unexpected, QStringList()); }

    frmMain &window() { return opened.window(); }
    ScriptedDialogs &dialogs() { return *opened.dialogs; }
    // The menu of the load button's arrow, as it is about to show.
    QList<QAction *> recentMenu()
    {
        Q_EMIT window().cmbLlegir->menu()->aboutToShow();
        return window().cmbLlegir->menu()->actions();
    }

    QTemporaryDir folder;
    QString project = folder.filePath(QStringLiteral("exemple.pcm"));
    OpenedProgram opened;
};

} // namespace

TEST_F(WindowAtHome, TheExampleOpensWhereItWasMovedAndTheTitleNamesItWithItsUnsavedChanges)
{
    EXPECT_EQ(dialogs().messages, QStringList());
    EXPECT_EQ(textBoxText(window().txtFields[5]), QStringLiteral("destinataris.sqlite"));
    EXPECT_TRUE(textBoxText(window().txtFields[8]).contains(QStringLiteral("<<<Nom>>>")));
    EXPECT_EQ(window().windowHandle()->title(), QStringLiteral("Enviar Tramelo — exemple.pcm"));
    QTest::keyClicks(window().txtFields[7], QStringLiteral("x"));
    EXPECT_EQ(window().windowHandle()->title(), QStringLiteral("Enviar Tramelo — exemple.pcm*"));

    // A chooser offers a relative name in the project's folder; each kind of
    // file then opens in the folder last used for it, another in the home folder.
    QTemporaryDir bodies;
    dialogs().filesToOpen = {bodies.filePath(QStringLiteral("nou.htm")), QString(), QString()};
    window().cmbCercar[0]->click();
    opened.settings().setText(Setting::BodySource, QString());
    window().cmbCercar[0]->click();
    window().cmbCercar[3]->click();
    const QString filters = QStringLiteral(" | Arxius HTML (*.htm*);;Arxius de texte (*.txt);;Tots els arxius (*)");
    EXPECT_EQ(dialogs().log.mid(1, 2), QStringList({QStringLiteral("open ") + folder.filePath(QStringLiteral("cos.htm")) + filters,
                                                    QStringLiteral("open ") + bodies.path() + filters}));
    EXPECT_TRUE(dialogs().log.last().startsWith(QStringLiteral("open ") + QDir::homePath() + QStringLiteral(" | ")));
}

TEST_F(WindowAtHome, TheLastEightProjectsAreOfferedAndAMissingOneIsDropped)
{
    QStringList saved{project};
    for (int n = 1; n <= 8; ++n) {
        saved.prepend(folder.filePath(QStringLiteral("campanya%1.pcm").arg(n)));
        dialogs().filesToSave.push_back(saved.first());
        window().actDesaComA->trigger();
    }
    QStringList offered;
    for (QAction *entry : recentMenu())
        offered.append(entry->text());
    EXPECT_EQ(offered, saved.mid(0, 8));

    recentMenu().at(1)->trigger();
    EXPECT_EQ(window().campaign().projectPath(), saved[1]);
    ASSERT_TRUE(QFile::remove(saved[0]));
    recentMenu().at(1)->trigger();
    EXPECT_EQ(dialogs().messages, QStringList{QStringLiteral("[error] No es troba l'arxiu de projecte %1. S'ha tret de "
                                                             "la llista de projectes recents.").arg(saved[0])});
    EXPECT_EQ(OperatorPreferences().recentProjects(), QStringList({saved[1]}) + saved.mid(2, 6));
}

TEST_F(WindowAtHome, AFieldWithoutAddressesIsConfirmedOrTheChoiceGoesBack)
{
    QComboBox *fields = window().comboFields[1];
    ASSERT_TRUE(chooseEntry(fields, QStringLiteral("Correu")));
    dialogs().answers = {Answer::No};
    chooseEntry(fields, QStringLiteral("Ciutat"));
    EXPECT_EQ(dialogs().questions, QStringList{QStringLiteral(
                                       "[no] El camp triat no conté cap adreça de correu vàlida. Vols fer-lo servir igualment?")});
    EXPECT_EQ(fields->currentText(), QStringLiteral("Correu"));
    EXPECT_EQ(window().campaign().grid().addressFieldName(), QStringLiteral("Correu"));
}

TEST_F(WindowAtHome, TheBodyTextOpensWithNothingSelected)
{
    window().sstabGeneral->setCurrentIndex(2);
    ASSERT_TRUE(focusOn(window().txtFields[8]));
    QCoreApplication::processEvents();
    EXPECT_FALSE(static_cast<QPlainTextEdit *>(window().txtFields[8])->textCursor().hasSelection());
}
