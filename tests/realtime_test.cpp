// SPDX-License-Identifier: MIT
// A whole session through the real-time Qt backend, on the wall clock.
#include <QApplication>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "results/result_windows.h"

// At Very Easy, ZIB! pressed as soon as it is enabled wins, counted at the press and not the release; the
// win window shows, the duel window comes back idle, and Quit on the menu bar ends the program with no
// window left on screen.
TEST(RealTimeDuel, QuickPressAtVeryEasyWinsThenQuitEndsTheProgram)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    duel::frmzib& game = *rt.start<duel::frmzib>();
    const auto shows = [&](const forms::Form* form) {
        return form && driver.window(*form) && driver.window(*form)->isVisible();
    };
    const auto buttons = driver.window(game)->findChildren<QPushButton*>();  // ZIB!, Start, Stop
    ASSERT_TRUE(shows(&game));
    ASSERT_EQ(buttons.size(), 3);
    QTest::qWait(1200);  // past the start-up hand-back of the result windows
    driver.click(game.menuItem("mnuVE"));
    QTest::mouseClick(buttons[1], Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return buttons[0]->isEnabled(); }, 2000));
    QTest::mousePress(buttons[0], Qt::LeftButton);
    EXPECT_TRUE(game.control("zibyou").Visible());  // counted at the press, before the release
    QTest::mouseRelease(buttons[0], Qt::LeftButton);
    // The win window is due about 950 ms after the press, and hands the duel window back a second later.
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(rt.find<results::frmWin>()); }, 1500));
    EXPECT_FALSE(shows(&game));  // hidden by the same event that showed the win
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(&game); }, 1500));
    EXPECT_TRUE(buttons[1]->isEnabled());  // Start
    EXPECT_FALSE(buttons[2]->isEnabled());  // Stop
    EXPECT_FALSE(buttons[0]->isEnabled());  // ZIB!
    EXPECT_EQ(rt.find<results::frmWin>(), nullptr);

    driver.window(game)->findChild<QMenuBar*>()->actions().constLast()->trigger();  // Quit
    EXPECT_TRUE(rt.ended());
    for (const QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->metaObject()->className();
}
