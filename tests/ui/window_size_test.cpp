// Run on a screen of 1024 x 700, the smallest the window is drawn for.
#include "window_test_support.h"

#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>

#include <gtest/gtest.h>

using namespace tramelo;

TEST(WindowSize, AtOpeningNoTabNeedsAScrollBarInEitherSourceKind)
{
    ASSERT_EQ(QGuiApplication::primaryScreen()->size(), QSize(1024, 700));
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
