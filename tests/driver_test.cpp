// SPDX-License-Identifier: MIT
// The real-time driver and the windows it makes: it keeps the menu's check
// marks as the game holds them, makes the result windows unseen at start-up,
// opens each window centred, and leaves none on screen after Quit. The game
// picks its window system before any of this; as a real process it exits
// with status 0 when quit or closed, and with 1 and a message on a run-time
// error.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/platform.h"
#include "duel/frmzib.h"
#include "forms/qt/driver.h"

namespace {

TEST(Window, TheLevelChosenStaysTickedWhenItIsChosenAgain)
{
    // Qt unticks a ticked item as it is chosen; the menu shows the level the game holds all the same.
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    duel::frmzib& game = *rt.start<duel::frmzib>();
    QAction* medium = driver.window(game)->findChild<QMenuBar*>()->actions().constFirst()->menu()->actions()[2];
    medium->trigger();
    medium->trigger();
    EXPECT_TRUE(medium->isChecked() && game.menuItem("mnuM").Checked());
}

TEST(Display, TheGameTakesX11WhereWaylandIsOfferedToo)
{
    // Wayland cannot centre windows. A platform asked for is kept; with no display at all the game stops. Each
    // case: QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY as set (null: unset), then the platform chosen, if any.
    const char* cases[][4] = {{nullptr, ":0", "wayland-0", "xcb"}, {"", ":0", "wayland-0", "xcb"},
                              {nullptr, ":0", nullptr, ""}, {nullptr, "", "wayland-0", ""},
                              {"wayland", ":0", "wayland-0", "wayland"}, {nullptr, "", nullptr, nullptr}};
    const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    for (const auto& c : cases) {
        for (int i = 0; i < 3; ++i) c[i] ? qputenv(names[i], c[i]) : qunsetenv(names[i]);
        EXPECT_EQ(zib::useDisplay(), c[3] != nullptr) << c[1] << " " << (c[2] ? c[2] : "-");
        EXPECT_EQ(qgetenv(names[0]), c[3] ? c[3] : "") << c[1] << " " << (c[2] ? c[2] : "-");
    }
    qputenv(names[0], "offscreen");  // as the tests run
}

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

TEST(Session, ResultWindowsMadeUnseenAtStartUpShowCentredAndQuitLeavesNoWindow)
{
    // A session on the wall clock, waiting for what it watches. Nothing flashes up at start-up, though both
    // result windows are made then. A Very Hard duel nobody presses ZIB! in ends in the loss window, centred, in
    // the window made at start-up; a close request leaves it on screen until it hands the duel window back,
    // idle. Quit leaves no window on screen.
    ShowCounter counter;
    qApp->installEventFilter(&counter);
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    duel::frmzib& game = *rt.start<duel::frmzib>();
    QWidget* duelWindow = driver.window(game);
    const auto shows = [&](const forms::Form* form) {
        return form && driver.window(*form) && driver.window(*form)->isVisible();
    };
    const auto made = [&](const char* name) { return rt.find(name) && driver.window(*rt.find(name)); };
    EXPECT_LE(offCentre(duelWindow), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return made("frmWin") && made("frmLoose"); }));
    const auto windowsMade = QApplication::topLevelWidgets().size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rt.forms().size() == 1; }));  // the start-up hand-back
    EXPECT_EQ(counter.shown, 0);

    const auto buttons = duelWindow->findChildren<QPushButton*>();  // ZIB!, Start, Stop
    ASSERT_EQ(buttons.size(), 3);
    driver.click(game.menuItem("mnuVH"));
    driver.click(game.control("cbStart"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(rt.find("frmLoose")); }, 3000));
    QWidget* resultWindow = driver.window(*rt.find("frmLoose"));
    EXPECT_FALSE(shows(&game));
    EXPECT_LE(offCentre(resultWindow), 2);
    EXPECT_EQ(counter.shown, 1);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsMade);
    resultWindow->close();
    EXPECT_TRUE(resultWindow->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(&game); }, 3000));
    EXPECT_EQ(rt.liveForms(), 1u);
    EXPECT_FALSE(resultWindow->isVisible());
    EXPECT_TRUE(buttons[1]->isEnabled());   // Start
    EXPECT_FALSE(buttons[2]->isEnabled());  // Stop
    EXPECT_FALSE(buttons[0]->isEnabled());  // ZIB!

    duelWindow->findChild<QMenuBar*>()->actions().constLast()->trigger();  // Quit
    EXPECT_TRUE(rt.ended());
    for (const QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->metaObject()->className();
    qApp->removeEventFilter(&counter);
}

// The duel window with one fault: a click on its Skill menu title, which only a test can make, sets the
// warning label's interval, a run-time error.
struct FaultyDuel : duel::frmzib {
    explicit FaultyDuel(forms::Runtime& rt) : frmzib(rt) { on(menuItem("mnuSkill"), &FaultyDuel::fail); }
    void fail() { control("noskill").Interval(1); }
};

// In the child: the pencil dropping on Very Hard, then, once the driver runs, a click on the menu item `end`,
// or a close request on the duel window where it is ""; it exits with the status the driver returns.
[[noreturn]] void playThenEnd(const char* end)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    auto& f = *rt.start<FaultyDuel>();
    driver.click(f.menuItem("mnuVH"));
    driver.click(f.control("cbStart"));
    QTimer::singleShot(0, &driver, [&] {
        if (*end) driver.click(f.menuItem(end)); else driver.window(f)->close();
    });
    std::exit(driver.exec());
}

TEST(ShutdownDeathTest, EachEndStopsTheProgramAtOnceWithItsStatus)
{
    // Mid-duel, Quit or a close request ends the program with status 0, a run-time error with 1 and its message.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(playThenEnd("mnuQuit"), testing::ExitedWithCode(0), "") << "Quit";
    EXPECT_EXIT(playThenEnd(""), testing::ExitedWithCode(0), "") << "a close request";
    EXPECT_EXIT(playThenEnd("mnuSkill"), testing::ExitedWithCode(1), "run-time error: frmzib\\.noskill\\.Interval");
}

}  // namespace
