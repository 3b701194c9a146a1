// The main window at home on a desktop: its title, the projects and folders
// it remembers, the example opened from wherever it was moved, and the small
// things an operator notices.
#include "gtest_qt_printers.h"
#include "recipient_grid.h"
#include "window_test_support.h"

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
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(copyExampleCampaign(folder));
        project = folder.filePath(QStringLiteral("exemple.pcm"));
    }
    void TearDown() override { EXPECT_EQ(dialogs().unexpected, QStringList()); }

    frmMain &window() { return opened.window(); }
    ScriptedDialogs &dialogs() { return *opened.dialogs; }
    CampaignSettings &settings() { return opened.settings(); }
    // The title as the window manager shows it, "[*]" made "*" or nothing.
    QString shownTitle() { return window().windowHandle()->title(); }
    QStringList recentMenuEntries()
    {
        QMenu *menu = window().cmbLlegir->menu();
        Q_EMIT menu->aboutToShow();
        QStringList entries;
        for (QAction *action : menu->actions())
            entries.append(action->isEnabled() ? action->text() : QStringLiteral("(") + action->text() + u')');
        return entries;
    }
    void chooseRecent(int entry)
    {
        QMenu *menu = window().cmbLlegir->menu();
        Q_EMIT menu->aboutToShow();
        menu->actions().at(entry)->trigger();
    }

    QTemporaryDir folder;
    QString project;
    OpenedProgram opened;
};

} // namespace

TEST_F(WindowAtHome, TheTitleNamesTheProjectAndMarksUnsavedChanges)
{
    EXPECT_EQ(shownTitle(), QStringLiteral("Enviar Tramelo"));
    QTest::keyClicks(window().txtFields[7], QStringLiteral("x"));
    EXPECT_EQ(shownTitle(), QStringLiteral("Enviar Tramelo"));

    dialogs().filesToOpen.push_back(project);
    window().cmbLlegir->click();
    EXPECT_EQ(shownTitle(), QStringLiteral("Enviar Tramelo — exemple.pcm"));
    QTest::keyClicks(window().txtFields[7], QStringLiteral("x"));
    EXPECT_EQ(shownTitle(), QStringLiteral("Enviar Tramelo — exemple.pcm*"));

    const QString tardor = folder.filePath(QStringLiteral("tardor.pcm"));
    dialogs().filesToSave.push_back(tardor);
    window().cmbGravar->click();
    EXPECT_EQ(shownTitle(), QStringLiteral("Enviar Tramelo — tardor.pcm"));
    // The save dialog opened where the project was.
    EXPECT_EQ(dialogs().log.last(),
              QStringLiteral("save %1 | Arxius de projecte (*.pcm);;Tots els arxius (*)").arg(project));
}

TEST_F(WindowAtHome, TheExampleMovedWholeOpensWithItsRelativePaths)
{
    dialogs().filesToOpen.push_back(project);
    window().cmbLlegir->click();
    EXPECT_EQ(dialogs().messages, QStringList());
    EXPECT_EQ(textBoxText(window().txtFields[5]), QStringLiteral("destinataris.sqlite"));
    EXPECT_EQ(textBoxText(window().txtFields[6]), QStringLiteral("cos.htm"));
    EXPECT_TRUE(window().campaign().fieldList().contains(QStringLiteral("Correu")));
    EXPECT_TRUE(textBoxText(window().txtFields[8]).contains(QStringLiteral("<<<Nom>>>")));

    // A chooser offers a relative name in the project's folder.
    dialogs().filesToOpen.push_back(QString());
    window().cmbCercar[0]->click();
    EXPECT_TRUE(dialogs().log.last().startsWith(QStringLiteral("open %1/cos.htm | ").arg(folder.path())));
}

TEST_F(WindowAtHome, RecentProjectsAreOfferedOnTheLoadButtonAndAMissingOneIsDropped)
{
    EXPECT_EQ(recentMenuEntries(), QStringList{QStringLiteral("(Cap projecte recent)")});
    QStringList saved;
    for (int n = 1; n <= 9; ++n) {
        saved.prepend(folder.filePath(QStringLiteral("campanya%1.pcm").arg(n)));
        dialogs().filesToSave.push_back(saved.first());
        window().cmbGravar->click();
    }
    EXPECT_EQ(recentMenuEntries(), saved.mid(0, 8));

    // Chosen from the menu, a project loads; one that is gone is refused and dropped.
    chooseRecent(1);
    EXPECT_EQ(window().campaign().projectPath(), saved[1]);
    EXPECT_EQ(recentMenuEntries().first(), saved[1]);
    ASSERT_TRUE(QFile::remove(saved[0]));
    chooseRecent(1);
    EXPECT_EQ(dialogs().messages,
              QStringList{QStringLiteral("[error] No es troba l'arxiu de projecte %1. S'ha tret de la llista de "
                                         "projectes recents.").arg(saved[0])});
    EXPECT_FALSE(recentMenuEntries().contains(saved[0]));
    EXPECT_EQ(window().campaign().projectPath(), saved[1]);

    // Remembered from one session to the next.
    EXPECT_EQ(OperatorPreferences().recentProjects().first(), saved[1]);
}

TEST_F(WindowAtHome, EachKindOfFileOpensInTheFolderLastUsedForIt)
{
    QTemporaryDir bodies;
    dialogs().filesToOpen = {bodies.filePath(QStringLiteral("cos.htm")), folder.filePath(QStringLiteral("logo.png")),
                             QString(), QString(), QString()};
    window().cmbCercar[0]->click();
    window().cmbCercar[2]->click();
    settings().setText(Setting::BodySource, QString());
    window().cmbCercar[0]->click();
    window().cmbCercar[1]->click();
    window().cmbCercar[3]->click();
    const QStringList log = dialogs().log.mid(2);
    EXPECT_TRUE(log[0].startsWith(QStringLiteral("open ") + bodies.path() + QStringLiteral(" | "))) << log[0];
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("open ") + QDir::homePath() + QStringLiteral(" | "))) << log[1];
    EXPECT_TRUE(log[2].startsWith(QStringLiteral("open ") + QDir::homePath() + QStringLiteral(" | "))) << log[2];
    EXPECT_EQ(OperatorPreferences().lastFolder(FileKind::Attachment), folder.path());
}

TEST_F(WindowAtHome, AFieldWithoutAddressesIsConfirmedOrTheChoiceGoesBack)
{
    const QString question =
        QStringLiteral("[no] El camp triat no conté cap adreça de correu vàlida. Vols fer-lo servir igualment?");
    dialogs().filesToOpen.push_back(project);
    window().cmbLlegir->click();
    QComboBox *fields = window().comboFields[1];

    dialogs().answers = {Answer::No};
    ASSERT_TRUE(chooseEntry(fields, QStringLiteral("Nom")) || fields->currentText().isEmpty());
    EXPECT_EQ(dialogs().questions, QStringList{question});
    EXPECT_EQ(fields->currentText(), QString());
    EXPECT_TRUE(window().grdEnviament->isHidden());

    ASSERT_TRUE(chooseEntry(fields, QStringLiteral("Correu")));
    EXPECT_EQ(dialogs().questions.size(), 1);
    EXPECT_EQ(window().campaign().grid().dataRowCount(), 6);

    dialogs().answers = {Answer::No};
    chooseEntry(fields, QStringLiteral("Ciutat"));
    EXPECT_EQ(dialogs().questions.size(), 2);
    EXPECT_EQ(fields->currentText(), QStringLiteral("Correu"));
    EXPECT_EQ(window().campaign().grid().addressFieldName(), QStringLiteral("Correu"));
}

TEST_F(WindowAtHome, TheBodyTextOpensWithNothingSelected)
{
    dialogs().filesToOpen.push_back(project);
    window().cmbLlegir->click();
    window().sstabGeneral->setCurrentIndex(2);
    auto *bodyText = static_cast<QPlainTextEdit *>(window().txtFields[8]);
    ASSERT_TRUE(focusOn(bodyText));
    QCoreApplication::processEvents();
    EXPECT_FALSE(bodyText->textCursor().hasSelection());
    EXPECT_FALSE(bodyText->toPlainText().isEmpty());
}
