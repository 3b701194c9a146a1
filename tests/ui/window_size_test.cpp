// Run on screens of 1024 x 700 (the smallest the window is drawn for),
// 1366 x 768 and 1920 x 1080: see CMakeLists.txt.
#include "recipient_preview.h"
#include "window_test_support.h"

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace tramelo;

namespace {

// The form keeps together: no box grows past this however wide the window.
constexpr int maxBoxWidth = 900;

template <typename Widget>
QList<QWidget *> shown(const QWidget &window)
{
    QList<QWidget *> found;
    for (Widget *widget : window.findChildren<Widget *>()) {
        if (widget->isVisible())
            found.append(widget);
    }
    return found;
}

} // namespace

TEST(WindowSize, AtOpeningNoTabNeedsAScrollBarInEitherSourceKind)
{
    const QSize screen = QGuiApplication::primaryScreen()->size();
    ASSERT_TRUE(screen == QSize(1024, 700) || screen == QSize(1366, 768) || screen == QSize(1920, 1080)) << screen.width();
    test::OpenedProgram opened;
    frmMain &window = opened.window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const int sourceKind : {0, 1}) {
        window.optFields[sourceKind]->click();
        for (int tab = 0; tab < window.sstabGeneral->count(); ++tab) {
            window.sstabGeneral->setCurrentIndex(tab);
            QCoreApplication::processEvents();
            for (QScrollArea *scroll : window.findChildren<QScrollArea *>())
                EXPECT_FALSE(scroll->isVisible() && scroll->verticalScrollBar()->isVisible()) << sourceKind << tab;
        }
    }
}

TEST(WindowSize, OpenedOrMaximisedNoBoxOutgrowsTheFormAndNoWordIsCut)
{
    test::OpenedProgram opened;
    frmMain &window = opened.window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const bool maximised : {false, true}) {
        if (maximised) {
            window.showMaximized();
            QTest::qWait(50);
            ASSERT_EQ(window.frameGeometry(), window.screen()->availableGeometry());
        }
        for (const int tab : {0, 3}) {
            SCOPED_TRACE(testing::Message() << "maximised " << maximised << ", tab " << tab);
            window.sstabGeneral->setCurrentIndex(tab);
            QTest::qWait(50);
            for (QWidget *box : shown<QLineEdit>(window) + shown<QPlainTextEdit>(window) + shown<QComboBox>(window)
                     + shown<QAbstractSpinBox>(window))
                EXPECT_LE(box->width(), maxBoxWidth) << box->metaObject()->className();
            for (QWidget *words : shown<QLabel>(window) + shown<QAbstractButton>(window)) {
                const auto *tool = qobject_cast<QToolButton *>(words);
                if (words == window.lblEstat || (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly))
                    continue;
                const QString text = words->property("text").toString().remove(u'&');
                EXPECT_GE(words->width(), words->fontMetrics().horizontalAdvance(text)) << text.toStdString();
            }
        }
    }
    // A status line longer than the window keeps it as wide as it was, and
    // says the whole in its tool tip.
    const int width = window.width();
    const QString longLine = QStringLiteral("Enviant a %1").arg(QString(300, u'a'));
    window.lblEstat->showText(longLine);
    QTest::qWait(50);
    EXPECT_EQ(window.width(), width);
    EXPECT_EQ(window.lblEstat->toolTip(), longLine);
}

// The example's third row previewed.
TEST(WindowSize, ThePreviewOpensOnTheScreenAndBesideTheWindowWhereThereIsRoom)
{
    QTemporaryDir folder;
    ASSERT_TRUE(test::copyExampleCampaign(folder));
    test::OpenedProgram opened;
    frmMain &window = opened.window();
    opened.dialogs->filesToOpen.push_back(folder.filePath(QStringLiteral("exemple.pcm")));
    window.cmbLlegir->click();
    ASSERT_TRUE(test::chooseEntry(window.comboFields[1], QStringLiteral("Correu")));
    window.grdEnviament->setCurrentIndex(window.grdEnviament->model()->index(2, 1));
    window.cmbVistaPrevia->click();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.vistaPrevia));

    const QRect screen = window.screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(window.vistaPrevia->frameGeometry())) << window.vistaPrevia->x();
    if (screen.width() >= 1366) {
        EXPECT_FALSE(window.vistaPrevia->frameGeometry().intersects(window.frameGeometry()));
    }
}
