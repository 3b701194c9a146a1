#include "gtest_qt_printers.h"
#include "qt_translations.h"
#include "window_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace tramelo;

namespace {

struct BoxSeen {
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
};

// Opens a modal box and answers it as soon as it shows; a box that never
// shows is given up after five seconds.
BoxSeen answerNextBox(const std::function<void()> &open, const std::function<void(QMessageBox &)> &answer)
{
    BoxSeen seen;
    QTimer poll;
    poll.setInterval(10);
    int polls = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            if (++polls > 500)
                poll.stop();
            return;
        }
        seen = {true, box->windowTitle(), box->text(), box->icon(), {}, {}};
        for (QAbstractButton *button : box->buttons())
            seen.buttons.append(button->text());
        if (box->defaultButton())
            seen.defaultButton = box->defaultButton()->text();
        poll.stop();
        answer(*box);
    });
    poll.start();
    open();
    return seen;
}

BoxSeen pressInNextBox(const std::function<void()> &open, QMessageBox::StandardButton press)
{
    return answerNextBox(open, [press](QMessageBox &box) { box.button(press)->click(); });
}

// Saves through Qt's own dialog, typing the name with the filter of the
// given index chosen, and answering Yes to any question that follows; what
// the dialog and the question said is kept in shown.
QString saveAs(const QString &folder, const QString &name, int filterIndex, QStringList &shown)
{
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal); box && shown.last() != box->text()) {
            shown << box->text();
            QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Yes)->click(); });
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal); dialog && shown.isEmpty()) {
            auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
            shown << dialog->windowTitle() << types->currentText();
            QTimer::singleShot(0, dialog, [=] {
                for (int i = 0; i < filterIndex; ++i)
                    QTest::keyClick(types, Qt::Key_Down);
                auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                edit->setText(name);
                QTest::keyClick(edit, Qt::Key_Return);
            });
        }
    });
    poll.start(10);
    QTimer::singleShot(5000, &poll, &QTimer::stop);
    return makeQtWindowDialogs()->chooseFileToSave(nullptr, folder, QStringLiteral("Arxius de projecte (*.pcm);;Tots els arxius (*)"));
}

} // namespace

TEST(QtDialogs, FileDialogsSpeakCatalanAndAProjectSavedWithoutExtensionTakesPcm)
{
    ASSERT_TRUE(installQtTranslations(*QApplication::instance()));
    QTemporaryDir folder;
    const QString tardor = folder.filePath(QStringLiteral("tardor.pcm"));
    QStringList shown;
    EXPECT_EQ(saveAs(folder.path(), QStringLiteral("tardor"), 0, shown), tardor);
    EXPECT_EQ(shown, QStringList({QStringLiteral("Desa com a"), QStringLiteral("Arxius de projecte (*.pcm)")}));
    // The name with its extension is the one asked about, in Catalan.
    QFile(tardor).open(QIODevice::WriteOnly);
    shown.clear();
    EXPECT_EQ(saveAs(folder.path(), QStringLiteral("tardor"), 0, shown), tardor);
    EXPECT_EQ(shown.value(2), QStringLiteral("tardor.pcm ja existeix.\nEl voleu substituir?"));
    // With every file shown, the name stays as typed.
    shown.clear();
    EXPECT_EQ(saveAs(folder.path(), QStringLiteral("tardor"), 1, shown), folder.filePath(QStringLiteral("tardor")));
}

TEST(QtDialogs, BoxesAreWideEnoughForTheirWholeTitle)
{
    int width = 0;
    answerNextBox([&] { makeQtWindowDialogs()->showMessage(nullptr, QStringLiteral("Error"), MessageIcon::Error); },
                  [&](QMessageBox &box) { width = box.width(), box.button(QMessageBox::Ok)->click(); });
    EXPECT_GE(width, QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("Tramelo")) + 200);
}

TEST(QtDialogs, MessagesAreTitledTrameloWithTheirIconAndOneButton)
{
    const std::unique_ptr<WindowDialogs> dialogs = makeQtWindowDialogs();
    const std::pair<MessageIcon, QMessageBox::Icon> icons[] = {
        {MessageIcon::Information, QMessageBox::Information},
        {MessageIcon::Warning, QMessageBox::Warning},
        {MessageIcon::Error, QMessageBox::Critical},
        {MessageIcon::Critical, QMessageBox::Critical},
        {MessageIcon::None, QMessageBox::NoIcon},
    };
    for (const auto &[icon, shownIcon] : icons) {
        const BoxSeen seen = pressInNextBox(
            [&] { dialogs->showMessage(nullptr, QStringLiteral("Enviament finalitzat"), icon); }, QMessageBox::Ok);
        ASSERT_TRUE(seen.shown);
        EXPECT_EQ(seen.title, QStringLiteral("Tramelo"));
        EXPECT_EQ(seen.text, QStringLiteral("Enviament finalitzat"));
        EXPECT_EQ(seen.icon, shownIcon);
        EXPECT_EQ(seen.buttons, QStringList{QStringLiteral("D'acord")});
    }
}

TEST(QtDialogs, QuestionsOfferSiAndNoWithTheDefaultAsked)
{
    const std::unique_ptr<WindowDialogs> dialogs = makeQtWindowDialogs();
    bool answer = true;
    BoxSeen seen = pressInNextBox(
        [&] { answer = dialogs->askYesNo(nullptr, QStringLiteral("Vols sortir sense guardar els canvis?"), false); },
        QMessageBox::No);
    ASSERT_TRUE(seen.shown);
    EXPECT_FALSE(answer);
    EXPECT_EQ(seen.title, QStringLiteral("Tramelo"));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.defaultButton, QStringLiteral("&No"));
    EXPECT_EQ(seen.buttons.size(), 2);
    EXPECT_TRUE(seen.buttons.contains(QStringLiteral("&Sí")));

    seen = pressInNextBox(
        [&] { answer = dialogs->askYesNo(nullptr, QStringLiteral("Vols fer un enviament de prova?"), true); },
        QMessageBox::Yes);
    EXPECT_TRUE(answer);
    EXPECT_EQ(seen.defaultButton, QStringLiteral("&Sí"));
}

TEST(QtDialogs, TheTestSendQuestionAlsoOffersCancelWhichEscapeAndClosingChoose)
{
    const std::unique_ptr<WindowDialogs> dialogs = makeQtWindowDialogs();
    const QString question = QStringLiteral("Vols fer un enviament de prova abans de fer el definitiu?");
    const std::pair<const char *, std::function<void(QMessageBox &)>> ways[] = {
        {"Sí", [](QMessageBox &box) { box.button(QMessageBox::Yes)->click(); }},
        {"No", [](QMessageBox &box) { box.button(QMessageBox::No)->click(); }},
        {"Escape", [](QMessageBox &box) { QTest::keyClick(&box, Qt::Key_Escape); }},
        {"closing the box", [](QMessageBox &box) { box.close(); }},
    };
    const Answer expected[] = {Answer::Yes, Answer::No, Answer::Cancel, Answer::Cancel};
    for (std::size_t i = 0; i < std::size(ways); ++i) {
        SCOPED_TRACE(ways[i].first);
        Answer answer = Answer::Yes;
        const BoxSeen seen = answerNextBox([&] { answer = dialogs->askYesNoCancel(nullptr, question); }, ways[i].second);
        ASSERT_TRUE(seen.shown);
        EXPECT_EQ(answer, expected[i]);
        EXPECT_EQ(seen.title, QStringLiteral("Tramelo"));
        EXPECT_EQ(seen.icon, QMessageBox::Question);
        EXPECT_EQ(seen.defaultButton, QStringLiteral("&Sí"));
        EXPECT_EQ(seen.buttons.size(), 3);
        EXPECT_TRUE(seen.buttons.contains(QStringLiteral("Cancel·lar")));
    }
}

TEST(FileDialogStart, OpensAtTheNameOrInTheHomeFolder)
{
    // The project folder and the folder last used are shown by the window's own tests.
    const QString home = QDir::homePath();
    const QString existingFolder = QDir::tempPath();
    const auto start = [](const QString &name) { return dialogStartPath(name, QString(), QString()); };
    EXPECT_EQ(start(QString()), home);
    EXPECT_EQ(start(QStringLiteral("   ")), home);
    EXPECT_EQ(start(existingFolder + QStringLiteral("/cos.htm")), existingFolder + QStringLiteral("/cos.htm"));
    EXPECT_EQ(start(QStringLiteral("clients.mdb")), home + QStringLiteral("/clients.mdb"));
    EXPECT_EQ(start(QStringLiteral("/no/existeix/clients.mdb")), home + QStringLiteral("/clients.mdb"));
    EXPECT_EQ(start(QStringLiteral("~/a.pcm")), home + QStringLiteral("/a.pcm"));
    // A typed body is no file name.
    EXPECT_EQ(start(QStringLiteral("Hola\nadeu")), home);
}
