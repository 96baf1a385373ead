// SPDX-License-Identifier: MIT
// The windows through a session on the real driver: nothing flashes up at
// start-up, the result windows are made unseen before they are needed, and
// each window opens centred.
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "results/result_windows.h"

namespace {

// Counts the frameless top-level windows shown, as the window system would be asked to map them.
struct ShowCounter : QObject {
    int shown = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            const auto* widget = static_cast<QWidget*>(watched);
            shown += widget->isWindow() && widget->windowFlags().testFlag(Qt::FramelessWindowHint) ? 1 : 0;
        }
        return false;
    }
};

// How far the window, frame and all, is from the middle of the screen, in the larger of the two directions.
int offCentre(const QWidget* window)
{
    const QPoint off = window->frameGeometry().center() - QGuiApplication::primaryScreen()->geometry().center();
    return std::max(std::abs(off.x()), std::abs(off.y()));
}

TEST(WindowLife, ResultWindowsAreMadeUnseenAtStartUpAndShownCentredWithoutMakingAnother)
{
    ShowCounter counter;
    qApp->installEventFilter(&counter);
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    duel::frmzib& game = *rt.start<duel::frmzib>();
    QWidget* duelWindow = driver.window(game);
    EXPECT_LE(offCentre(duelWindow), 2);

    // Idle after start-up: both result windows exist, hidden, and none was ever shown.
    QTest::qWait(200);
    const auto* win = rt.find<results::frmWin>();
    ASSERT_NE(win, nullptr);
    ASSERT_NE(driver.window(*win), nullptr) << "the win window is not made ahead";
    EXPECT_FALSE(driver.window(*win)->isVisible());
    ASSERT_NE(rt.find<results::frmLoose>(), nullptr);
    EXPECT_NE(driver.window(*rt.find<results::frmLoose>()), nullptr) << "the loss window is not made ahead";
    const auto windowsMade = QApplication::topLevelWidgets().size();
    QTest::qWait(1000);  // the start-up hand-back unloads both result forms
    EXPECT_EQ(counter.shown, 0);

    // A won duel at Very Easy: the new loading of the win window is shown centred in a window made before.
    driver.click(game.menuItem("mnuVE"));
    driver.click(game.control("cbStart"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return game.control("Zib").Enabled(); }, 1000));
    driver.click(game.control("Zib"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rt.find<results::frmWin>() != nullptr; }, 1000));
    const QWidget* shown = driver.window(*rt.find<results::frmWin>());
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_LE(offCentre(shown), 2);
    EXPECT_EQ(counter.shown, 1);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsMade);
    qApp->removeEventFilter(&counter);
}

}  // namespace
