// SPDX-License-Identifier: MIT
// The real-time driver: it wakes ahead of each timer event, and takes the
// window system's stamps on the player's input, so that a press counts when
// it was made, not when a busy program got round to it.
#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "forms/qt/input_clock.h"

namespace {

using forms::qt::InputClock;
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
    // The runtime's clock starts 5000 ms into the monotonic clock; input is handled at runtime 200 ms.
    struct Case { const char* what; std::optional<std::uint64_t> stamp; long moment; };
    const Case cases[] = {
        {"made 30 ms before it was handled", 5170, 170},
        {"made in the millisecond it was handled", 5200, 200},
        {"not stamped at all", std::nullopt, 200},
        {"stamped in the future", 5201, 200},
        {"stamped more than a second before", 4199, 200},
        {"stamped by a clock that wrapped round", 0x1'0000'0000ull + 5170, 170},
    };
    for (const auto& [what, stamp, moment] : cases) {
        InputClock clock(milliseconds(5000));
        EXPECT_EQ(clock.moment(stamp, milliseconds(200)), milliseconds(moment)) << what;
    }
}

TEST(InputClock, ACalibrationOrAStampFromTheFutureSettlesWhetherStampsAreTaken)
{
    InputClock ours(milliseconds(5000));
    ours.calibrate(5100, milliseconds(100), milliseconds(100));
    EXPECT_EQ(ours.trusted(), true);
    EXPECT_EQ(ours.moment(5150, milliseconds(160)), milliseconds(150));

    InputClock remote(milliseconds(5000));
    remote.calibrate(912'345, milliseconds(100), milliseconds(101));
    EXPECT_EQ(remote.trusted(), false);
    EXPECT_EQ(remote.moment(5150, milliseconds(160)), milliseconds(160));

    InputClock uncalibrated(milliseconds(5000));
    EXPECT_EQ(uncalibrated.moment(5300, milliseconds(160)), milliseconds(160));
    EXPECT_EQ(uncalibrated.trusted(), false);
    EXPECT_EQ(uncalibrated.moment(5150, milliseconds(160)), milliseconds(160));
}

// A Very Hard duel through the real driver, its ZIB! press made at `made` ms before or after the opponent's
// moment but only handled 5 ms after it, as on a machine too busy to run the game in time.
std::string lateHandledPress(std::optional<long> made)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    duel::frmzib& game = *rt.start<duel::frmzib>();
    const auto buttons = driver.window(game)->findChildren<QPushButton*>();  // ZIB!, Start, Stop
    QTest::qWait(1050);  // past the start-up hand-back of the result windows
    driver.click(game.menuItem("mnuVH"));
    QTest::mouseClick(buttons[1], Qt::LeftButton);
    const auto opponent = rt.now() + milliseconds(500 + 73);
    if (!QTest::qWaitFor([&] { return buttons[0]->isEnabled(); }, 2000))
        return "no draw";
    std::this_thread::sleep_until(driver.epoch() + opponent + milliseconds(5));

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), buttons[0]->mapToGlobal(QPointF(10, 10)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    const auto epochMs = std::chrono::duration_cast<milliseconds>(driver.epoch().time_since_epoch());
    press.setTimestamp(made ? static_cast<std::uint64_t>((epochMs + opponent + milliseconds(*made)).count()) : 7);
    QApplication::sendEvent(buttons[0], &press);
    // The opponent draws as soon as the driver gets to it; both draws showing means the player was first.
    if (!QTest::qWaitFor([&] { return game.control("ziboppo").Visible(); }, 500))
        return "the opponent never drew";
    return game.control("zibyou").Visible() ? "won" : "lost";
}

TEST(StampedInput, APressMadeBeforeTheOpponentWinsHoweverLateItIsHandled)
{
    EXPECT_EQ(lateHandledPress(-1), "won");
    EXPECT_EQ(lateHandledPress(0), "lost");
    EXPECT_EQ(lateHandledPress(std::nullopt), "lost") << "a stamp off any clock counts when handled";
}

}  // namespace
