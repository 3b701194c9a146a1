#pragma once

#include "program_start.h"
#include "scripted_dialogs.h"
#include "status_line.h"
#include "test_support.h"
#include "text_boxes.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace tramelo::test {

// The program as the operator meets it: the About box, then the main window
// after the box's button, with dialogs answered by the test.
class OpenedProgram
{
public:
    OpenedProgram()
    {
        // Each program remembers its own folders and projects.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, preferences.path());
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        program = std::make_unique<TrameloProgram>(std::move(scripted));
        program->start();
        program->aboutBox().cmbSortir->click();
        window().activateWindow();
        QApplication::setActiveWindow(&window());
    }

    frmMain &window() { return program->mainWindow(); }
    CampaignSettings &settings() { return window().campaign().settings(); }

    QTemporaryDir preferences;
    ScriptedDialogs *dialogs = nullptr;
    std::unique_ptr<TrameloProgram> program;
};

// A label's text as it is shown, its mnemonic's mark left out.
inline QString shownText(const QLabel *label)
{
    return QString(label->text()).remove(u'&');
}

// Moves the keyboard focus as the operator's Tab key does; false when the
// box did not take it.
inline bool focusOn(QWidget *widget)
{
    widget->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    return widget->hasFocus();
}

// Types text at the end of a box, as the keyboard does.
inline void typeInto(QWidget *box, const QString &text)
{
    QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(box, text);
}

// Replaces the whole text of a box, as the keyboard does.
inline void retypeInto(QWidget *box, const QString &text)
{
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

// Chooses an entry of a list with the arrow keys, which is how the operator
// chooses one without the mouse: a choice, not a text put in by the program.
inline bool chooseEntry(QComboBox *list, const QString &entry)
{
    const int index = list->findText(entry);
    if (index < 0)
        return false;
    // From the entry above it, or from none in a list of one.
    const bool fromAbove = index > 0 || list->count() == 1;
    list->setCurrentIndex(fromAbove ? index - 1 : index + 1);
    QTest::keyClick(list, fromAbove ? Qt::Key_Down : Qt::Key_Up);
    return list->currentText() == entry;
}

// A copy of the example campaign in a folder of the test's own: its project
// names the other files relative to that folder.
inline bool copyExampleCampaign(const QTemporaryDir &folder)
{
    for (const char *name : {"exemple.pcm", "destinataris.sqlite", "cos.htm", "logo.png"}) {
        const QString from = sourceDir() + QStringLiteral("/examples/") + QLatin1String(name);
        const QString to = folder.filePath(QLatin1String(name));
        if (!QFile::copy(from, to))
            return false;
        QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    }
    return true;
}

} // namespace tramelo::test
