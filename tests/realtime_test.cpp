// SPDX-License-Identifier: MIT
// Whole duels through the real-time Qt backend, on the wall clock.
#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "results/result_windows.h"

namespace {

QPushButton* button(QWidget* window, const QString& caption)
{
    for (auto* b : window->findChildren<QPushButton*>())
        if (b->text() == caption)
            return b;
    return nullptr;
}

}  // namespace

// Pressing ZIB! as soon as the pencil lands at Very Easy wins, and the duel window comes back idle.
TEST(RealTimeDuel, QuickPressAtVeryEasyWinsThenReturnsToIdle)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    duel::frmzib& game = *rt.start<duel::frmzib>();
    QWidget* window = driver.window(game);
    ASSERT_TRUE(window);
    QTest::qWait(1200);  // past the start-up hand-back of the result windows

    for (QAction* level : window->findChild<QMenuBar*>()->actions()[0]->menu()->actions())
        if (level->text() == "Very Easy")
            level->trigger();
    ASSERT_TRUE(game.menuItem("mnuVE").Checked());
    QPushButton* zib = button(window, "ZIB!");
    ASSERT_TRUE(zib && !zib->isEnabled());
    QTest::mouseClick(button(window, "Start"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return zib->isEnabled(); }, 2000));
    QTest::mousePress(zib, Qt::LeftButton);
    EXPECT_TRUE(game.control("zibyou").Visible());
    QTest::mouseRelease(zib, Qt::LeftButton);

    auto winShowing = [&] {
        const auto* win = rt.find<results::frmWin>();
        return win && win->Visible() && driver.window(*win) && driver.window(*win)->isVisible();
    };
    ASSERT_TRUE(QTest::qWaitFor(winShowing, 1500));  // due about 950 ms after the press
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(game.control("zibyou").Visible());
    EXPECT_EQ(rt.find<results::frmLoose>(), nullptr);

    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 1500));
    EXPECT_EQ(rt.find<results::frmWin>(), nullptr);
    EXPECT_TRUE(button(window, "Start")->isEnabled());
    EXPECT_FALSE(button(window, "Stop")->isEnabled() || zib->isEnabled());
    EXPECT_FALSE(game.control("zibyou").Visible() || game.control("ziboppo").Visible());
}

// Quit on the menu bar ends the program and leaves no window on screen.
TEST(RealTimeDuel, QuitFromTheMenuEndsTheProgram)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    QWidget* window = driver.window(*rt.start<duel::frmzib>());
    ASSERT_TRUE(window);
    window->findChild<QMenuBar*>()->actions()[1]->trigger();
    EXPECT_TRUE(rt.ended());
    QTest::qWait(50);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible()) << w->metaObject()->className();
}
