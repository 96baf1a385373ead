// SPDX-License-Identifier: MIT
// A whole session through the real-time driver, on the wall clock: nothing
// flashes up at start-up, the result windows are made unseen before they are
// needed, a duel is won and handed back, each window opens centred, and Quit
// leaves no window on screen.
#include <QApplication>
#include <QMenuBar>
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

TEST(Session, ResultWindowsMadeUnseenAWonDuelHandedBackAndQuitLeavesNoWindow)
{
    ShowCounter counter;
    qApp->installEventFilter(&counter);
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    duel::frmzib& game = *rt.start<duel::frmzib>();
    QWidget* duelWindow = driver.window(game);
    const auto shows = [&](const forms::Form* form) {
        return form && driver.window(*form) && driver.window(*form)->isVisible();
    };
    EXPECT_LE(offCentre(duelWindow), 2);

    // Idle after start-up: both result windows exist, hidden, and none was ever shown.
    QTest::qWait(200);
    for (const forms::Form* result : {rt.find("frmWin"), rt.find("frmLoose")}) {
        ASSERT_NE(result, nullptr);
        ASSERT_NE(driver.window(*result), nullptr) << result->Name() << " is not made ahead";
        EXPECT_FALSE(driver.window(*result)->isVisible());
    }
    const auto windowsMade = QApplication::topLevelWidgets().size();
    QTest::qWait(1000);  // the start-up hand-back unloads both result forms
    EXPECT_EQ(counter.shown, 0);

    // At Very Easy, ZIB! pressed at the draw wins, counted at the press and not the release.
    const auto buttons = duelWindow->findChildren<QPushButton*>();  // ZIB!, Start, Stop
    ASSERT_EQ(buttons.size(), 3);
    driver.click(game.menuItem("mnuVE"));
    QTest::mouseClick(buttons[1], Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return buttons[0]->isEnabled(); }, 1000));
    QTest::mousePress(buttons[0], Qt::LeftButton);
    EXPECT_TRUE(game.control("zibyou").Visible());
    QTest::mouseRelease(buttons[0], Qt::LeftButton);

    // The new loading of the win window shows centred, in the window made before, and the duel window hides.
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(rt.find<results::frmWin>()); }, 1500));
    EXPECT_FALSE(shows(&game));
    EXPECT_LE(offCentre(driver.window(*rt.find<results::frmWin>())), 2);
    EXPECT_EQ(counter.shown, 1);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsMade);

    // A second later the duel window is back, idle.
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(&game); }, 1500));
    EXPECT_TRUE(buttons[1]->isEnabled());   // Start
    EXPECT_FALSE(buttons[2]->isEnabled());  // Stop
    EXPECT_FALSE(buttons[0]->isEnabled());  // ZIB!
    EXPECT_EQ(rt.find<results::frmWin>(), nullptr);

    duelWindow->findChild<QMenuBar*>()->actions().constLast()->trigger();  // Quit
    EXPECT_TRUE(rt.ended());
    for (const QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->metaObject()->className();
    qApp->removeEventFilter(&counter);
}

}  // namespace
