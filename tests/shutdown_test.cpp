// SPDX-License-Identifier: MIT
// The game run for real through the Qt driver, each end in a process of its
// own, as only a real process shows them: it exits with status 0 when it is
// quit or closed, and with 1 and a message on a run-time error.
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"

namespace {

// The duel window with one fault: a click on its Skill menu title, which only a test can make, sets the
// warning label's interval, a run-time error.
struct FaultyDuel : duel::frmzib {
    explicit FaultyDuel(forms::Runtime& rt) : frmzib(rt) { on(menuItem("mnuSkill"), &FaultyDuel::fail); }
    void fail() { control("noskill").Interval(1); }
};

enum class End { Quit, Close, Error };

// In the child: starts the game, drops the pencil on Very Hard, ends the program as told once the driver runs,
// and exits with the status the driver returns.
[[noreturn]] void playThenEnd(End end)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    auto& f = *rt.start<FaultyDuel>();
    driver.click(f.menuItem("mnuVH"));
    driver.click(f.control("cbStart"));
    QTimer::singleShot(0, &driver, [&] {
        if (end == End::Close)
            driver.window(f)->close();
        else
            driver.click(f.menuItem(end == End::Error ? "mnuSkill" : "mnuQuit"));
    });
    std::exit(driver.exec());
}

TEST(ShutdownDeathTest, EachEndStopsTheProgramAtOnceWithItsStatus)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(playThenEnd(End::Quit), testing::ExitedWithCode(0), "") << "Quit";
    EXPECT_EXIT(playThenEnd(End::Close), testing::ExitedWithCode(0), "") << "close request";
    EXPECT_EXIT(playThenEnd(End::Error), testing::ExitedWithCode(1), "run-time error: frmzib\\.noskill\\.Interval")
        << "run-time error";
}

}  // namespace
