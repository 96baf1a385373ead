// SPDX-License-Identifier: MIT
// The real-time driver and the windows it makes: it wakes ahead of each timer
// event, keeps the menu's check marks as the game holds them, takes the
// window system's stamp on the player's input so that a press counts when it
// was made, makes the result windows unseen at start-up, opens each window
// centred, and leaves none on screen after Quit. The game picks its window
// system before any of this; as a real process it exits with status 0 when
// quit or closed, and with 1 and a message on a run-time error.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "app/platform.h"
#include "forms/qt/driver.h"
#include "game_play.h"

namespace {

using std::chrono::milliseconds;
using namespace std::chrono_literals;

TEST(Driver, WakesHalfAMillisecondBeforeEachTimerEvent)
{
    // Waking a sleeping thread takes a variable fraction of a millisecond: the driver arms its wake early and
    // waits out the rest, so the event is delivered on its millisecond.
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    duel::frmzib& game = *rt.start<duel::frmzib>();
    ASSERT_TRUE(rt.nextDue());  // the start-up hand-back of the result windows
    EXPECT_EQ(driver.wakeAt(), driver.epoch() + *rt.nextDue() - 500us);
    driver.click(game.menuItem("mnuE"));
    driver.click(game.control("cbStart"));
    EXPECT_EQ(driver.wakeAt(), driver.epoch() + rt.now() + milliseconds(play::dropStep) - 500us);
    driver.click(game.control("cbStop"));
    EXPECT_EQ(driver.wakeAt(), driver.epoch() + *rt.nextDue() - 500us);
}

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

TEST(Session, AStampedPressInWindowsMadeUnseenAndACloseOvertakenByTheHandBack)
{
    // A session on the wall clock, waiting for what it watches. Nothing flashes up at start-up, though both
    // result windows are made then. A Very Easy duel's ZIB! press counts at the moment its stamp gives, not when
    // it was handled. The result shows centred, in the window made at start-up. A close request for it, handled
    // only after its hand-back fell due, as on a machine too busy to run the game in time, finds the hand-back
    // done first and is ignored. Quit leaves no window on screen.
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
    driver.click(game.menuItem("mnuVE"));
    driver.click(game.control("cbStart"));
    const auto drawn = rt.now() + milliseconds(play::draw);
    ASSERT_TRUE(QTest::qWaitFor([&] { return driver.now() >= drawn + 20ms; }));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), buttons[0]->mapToGlobal(QPointF(10, 10)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    press.setTimestamp(static_cast<std::uint64_t>((driver.epoch().time_since_epoch() + drawn + 10ms) / 1ms));
    QApplication::sendEvent(buttons[0], &press);  // never released: the press alone counts
    EXPECT_EQ(rt.now(), drawn + 10ms);
    ASSERT_TRUE(game.control("zibyou").Visible());

    const auto shown = drawn + milliseconds(play::reaction("mnuVE") + play::outcomePause);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(rt.find("frmWin")); }, 2000));
    QWidget* resultWindow = driver.window(*rt.find("frmWin"));
    EXPECT_FALSE(shows(&game));
    EXPECT_LE(offCentre(resultWindow), 2);
    EXPECT_EQ(counter.shown, 1);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsMade);
    // Too busy to look at the clock, or at input, until the hand-back is overdue.
    std::this_thread::sleep_until(driver.epoch() + shown + milliseconds(play::resultWindow) + 5ms);
    resultWindow->close();
    EXPECT_EQ(rt.liveForms(), 1u);
    EXPECT_TRUE(shows(&game));
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
