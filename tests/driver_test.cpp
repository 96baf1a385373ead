// SPDX-License-Identifier: MIT
// The real-time driver and the windows it makes: it wakes ahead of each timer
// event, shows what the forms hold (the menu's check marks, the buttons in tab
// order), takes the window system's stamp on the player's input so that a
// press counts when it was made, makes the result windows unseen at
// start-up, opens each window centred, and leaves none on screen after Quit.
// The game picks its window system before any of this.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>
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
    for (int n = 0; n < 2; ++n) {
        medium->trigger();
        EXPECT_TRUE(medium->isChecked() && game.menuItem("mnuM").Checked()) << "chosen " << n + 1 << " times";
    }
}

// Three buttons listed out of their tab order.
using enum forms::Kind;
constexpr forms::ControlDesign tabControls[] = {{.name = "cbLast", .kind = CommandButton, .caption = "Last",
    .tabIndex = 2}, {.name = "cbFirst", .kind = CommandButton, .caption = "First", .tabIndex = 0},
    {.name = "cbMiddle", .kind = CommandButton, .caption = "Middle", .tabIndex = 1}};
constexpr forms::FormDesign tabDesign{.name = "frmTabs", .caption = "Tabs", .controls = tabControls};
struct Tabs : forms::Form {
    static const forms::FormDesign& design() { return tabDesign; }
    explicit Tabs(forms::Runtime& rt) : Form(rt, tabDesign) { for (auto& c : controls()) on(c, &Tabs::click); }
    void click() {}
};

TEST(Window, TheKeyboardFocusMovesThroughTheButtonsInTabOrder)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    QWidget* window = driver.window(*rt.start<Tabs>());
    QStringList chain;
    for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain())
        if (const auto* button = qobject_cast<QPushButton*>(w)) chain << button->text();
    EXPECT_EQ(chain, QStringList({"First", "Middle", "Last"}));
}

TEST(Display, TheGameTakesX11WhereWaylandIsOfferedToo)
{
    // Wayland cannot centre windows. A platform asked for is kept; with no display at all the game stops.
    struct Case { const char *qt, *x11, *wayland, *chosen; bool runs = true; };
    const Case cases[] = {{nullptr, ":0", "wayland-0", "xcb"}, {"", ":0", "wayland-0", "xcb"},
                          {nullptr, ":0", nullptr, ""}, {nullptr, "", "wayland-0", ""},
                          {"wayland", ":0", "wayland-0", "wayland"}, {nullptr, "", nullptr, "", false}};
    const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    std::optional<QByteArray> saved[3];
    for (int i = 0; i < 3; ++i) saved[i] = qEnvironmentVariableIsSet(names[i]) ? qgetenv(names[i]) : saved[i];
    for (const auto& [qt, x11, wayland, chosen, runs] : cases) {
        const char* values[] = {qt, x11, wayland};
        for (int i = 0; i < 3; ++i) values[i] ? qputenv(names[i], values[i]) : qunsetenv(names[i]);
        EXPECT_EQ(zib::useDisplay(), runs) << x11 << " " << (wayland ? wayland : "-");
        EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), chosen) << x11 << " " << (wayland ? wayland : "-");
    }
    for (int i = 0; i < 3; ++i) saved[i] ? qputenv(names[i], *saved[i]) : qunsetenv(names[i]);
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

}  // namespace
