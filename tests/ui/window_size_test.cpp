// Run on a screen of 1024 x 700, the smallest the window is drawn for.
#include "window_test_support.h"

#include <QGuiApplication>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>

#include <gtest/gtest.h>

using namespace tramelo;
using namespace tramelo::test;

TEST(WindowSize, AtOpeningNoTabNeedsAScrollBarInEitherSourceKind)
{
    ASSERT_EQ(QGuiApplication::primaryScreen()->size(), QSize(1024, 700));
    OpenedProgram opened;
    frmMain &window = opened.window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_LE(window.frameGeometry().height(), 700);

    for (const int sourceKind : {0, 1}) {
        SCOPED_TRACE(sourceKind);
        window.optFields[sourceKind]->click();
        for (int tab = 0; tab < window.sstabGeneral->count(); ++tab) {
            window.sstabGeneral->setCurrentIndex(tab);
            QCoreApplication::processEvents();
            // The body text keeps both its scroll bars whatever it holds.
            QWidget *page = window.sstabGeneral->widget(tab);
            if (auto *scroll = qobject_cast<QScrollArea *>(page)) {
                EXPECT_FALSE(scroll->verticalScrollBar()->isVisible()) << "tab " << tab;
            }
            for (QScrollArea *scroll : page->findChildren<QScrollArea *>()) {
                EXPECT_FALSE(scroll->verticalScrollBar()->isVisible()) << "tab " << tab;
            }
        }
    }
}
