// SPDX-License-Identifier: MIT
// The real-time driver on the wall clock: it wakes ahead of each timer event,
// takes the window system's stamps on the player's input so that a press
// counts when it was made, makes the result windows unseen at start-up, opens
// each window centred, and leaves none on screen after Quit.
#include <QApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "forms/input_clock.h"

namespace {

using std::chrono::milliseconds;

TEST(Driver, WakesHalfAMillisecondBeforeEachTimerEvent)
{
    // Waking a sleeping thread takes a variable fraction of a millisecond: the driver arms its wake early and
    // waits out the rest, so the event is delivered on its millisecond.
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    duel::frmzib& game = *rt.start<duel::frmzib>();
    ASSERT_TRUE(rt.nextDue());  // the start-up hand-back of the result windows
    EXPECT_EQ(driver.wakeAt(), driver.epoch() + *rt.nextDue() - std::chrono::microseconds(500));
    driver.click(game.menuItem("mnuE"));
    driver.click(game.control("cbStart"));
    EXPECT_EQ(driver.wakeAt(), driver.epoch() + rt.now() + milliseconds(50) - std::chrono::microseconds(500));
    driver.click(game.control("cbStop"));
    EXPECT_EQ(driver.wakeAt(), driver.epoch() + *rt.nextDue() - std::chrono::microseconds(500));
}

TEST(InputClock, TakesStampsOnlyFromItsOwnClockAndTheLastSecond)
{
    // The runtime's clock starts 5000 ms into the monotonic clock; a calibration, if any, is answered at
    // runtime 100 ms; then input stamped as listed is handled at runtime 200 ms, each counting at its moment.
    using Stamps = std::vector<std::pair<std::optional<std::uint64_t>, long>>;  // stamp, moment
    struct Case { const char* what; std::optional<std::uint32_t> calibration; Stamps stamps; };
    const Case cases[] = {
        {"made 30 ms before it was handled", {}, {{5170, 170}}},
        {"not stamped at all", {}, {{std::nullopt, 200}}},
        {"stamped in the future, which rules out every stamp after", {}, {{5201, 200}, {5150, 200}}},
        {"stamped more than a second before", {}, {{4199, 200}}},
        {"stamped by a clock that wrapped round", {}, {{0x1'0000'0000ull + 5170, 170}}},
        {"calibrated on its own clock", 5100, {{5150, 150}}},
        {"calibrated on another clock", 912'345, {{5150, 200}}},
    };
    for (const auto& [what, calibration, stamps] : cases) {
        forms::InputClock clock(milliseconds(5000));
        if (calibration) clock.calibrate(*calibration, milliseconds(100), milliseconds(101));
        for (const auto& [stamp, moment] : stamps)
            EXPECT_EQ(clock.moment(stamp, milliseconds(200)), milliseconds(moment)) << what;
    }
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

TEST(Session, StampedPressesDecideDuelsInWindowsMadeUnseenAndQuitLeavesNoWindow)
{
    // A session on the wall clock: nothing flashes up at start-up, then Very Hard duels whose ZIB! press is
    // handled only 5 ms after the opponent's moment, as on a machine too busy to run the game in time. A press
    // stamped before that moment wins; one stamped on it, or off any clock, loses. Each result shows centred
    // in the window made at start-up and hands the duel window back idle.
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
    QTest::qWait(200);
    const auto windowsMade = QApplication::topLevelWidgets().size();  // with both result windows made ahead
    QTest::qWait(1000);  // the start-up hand-back unloads both result forms
    EXPECT_EQ(counter.shown, 0);

    const auto buttons = duelWindow->findChildren<QPushButton*>();  // ZIB!, Start, Stop
    ASSERT_EQ(buttons.size(), 3);
    driver.click(game.menuItem("mnuVH"));
    const auto epochMs = std::chrono::duration_cast<milliseconds>(driver.epoch().time_since_epoch());
    const std::pair<std::optional<long>, const char*> duels[] = {{-1, "frmWin"}, {0, "frmLoose"},
                                                                 {std::nullopt, "frmLoose"}};
    for (int n = 0; const auto& [made, outcome] : duels) {
        SCOPED_TRACE(outcome + std::string(made ? " at " + std::to_string(*made) : " unstamped"));
        QTest::mouseClick(buttons[1], Qt::LeftButton);
        const auto opponent = rt.now() + milliseconds(500 + 73);
        ASSERT_TRUE(QTest::qWaitFor([&] { return buttons[0]->isEnabled(); }, 2000));
        std::this_thread::sleep_until(driver.epoch() + opponent + milliseconds(5));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), buttons[0]->mapToGlobal(QPointF(10, 10)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        const auto stamp = epochMs + opponent + milliseconds(made.value_or(0));
        press.setTimestamp(made ? static_cast<std::uint64_t>(stamp.count()) : 7);
        QApplication::sendEvent(buttons[0], &press);  // never released: the press alone counts
        ASSERT_TRUE(QTest::qWaitFor([&] { return shows(rt.find("frmWin")) || shows(rt.find("frmLoose")); }, 1500));
        ASSERT_TRUE(shows(rt.find(outcome)));
        EXPECT_FALSE(shows(&game));
        EXPECT_LE(offCentre(driver.window(*rt.find(outcome))), 2);
        EXPECT_EQ(counter.shown, ++n);
        EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsMade);
        ASSERT_TRUE(QTest::qWaitFor([&] { return shows(&game); }, 1500));
        EXPECT_TRUE(buttons[1]->isEnabled());   // Start
        EXPECT_FALSE(buttons[2]->isEnabled());  // Stop
        EXPECT_FALSE(buttons[0]->isEnabled());  // ZIB!
    }

    duelWindow->findChild<QMenuBar*>()->actions().constLast()->trigger();  // Quit
    EXPECT_TRUE(rt.ended());
    for (const QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->metaObject()->className();
    qApp->removeEventFilter(&counter);
}

}  // namespace
