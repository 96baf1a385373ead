// SPDX-License-Identifier: MIT
// The game run for real through the Qt driver, each case in a child process:
// it ends with status 0 whenever it is quit or closed, and with 1 on a run-time error.
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "results/result_windows.h"

// The duel window with one fault: a click on its Skill menu title, which only a test can make, asks the
// warning label for its interval, a run-time error.
struct FaultyDuel : duel::frmzib {
    explicit FaultyDuel(forms::Runtime& rt) : frmzib(rt) { on(menuItem("mnuSkill"), &FaultyDuel::fail); }
    void fail() { control("noskill").Interval(); }
};

// How a run is ended: Quit, a close request on the duel window, a run-time error, or Quit once a close
// request for the result window, handled only after its hand-back fell due, was ignored.
enum class End { Quit, Close, Error, QuitAfterResultClose };
using enum End;
constexpr const char* endNames[] = {"Quit", "close request", "run-time error", "Quit after a result close"};

// A case: the skill picked, if any, and Start pressed `at` ms after start-up (never if 0); then the ends
// tried at `endAt`, each in a run of its own. The duel states come before the start-up hand-backs, at about
// 1 s. While the result window shows, the hidden duel window's menu is out of reach: only a close request.
struct Case { const char* name; int at; const char* skill; int endAt; std::vector<End> ends; };
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }
static const Case cases[] = {{"FirstSecond", 0, "", 50, {Quit, Close}}, {"SkillWarning", 20, "", 80, {Quit, Close}},
    {"Dropping", 20, "mnuVH", 150, {Quit, Close}}, {"TheDraw", 20, "mnuVE", 600, {Quit, Close}},
    {"Idle", 0, "", 1100, {Quit, Close}}, {"OutcomePending", 20, "mnuVH", 660, {Quit, Close}},
    {"ResultShown", 1005, "mnuVH", 2400, {Close}}, {"RunTimeError", 0, "", 50, {Error}},
    {"ResultWindowCloseOvertakenByHandBack", 1005, "mnuVH", 2900, {QuitAfterResultClose}}};

// In the child: plays into the case's state, ends the program as told, and exits with its status.
[[noreturn]] static void playThenEnd(const Case& c, End end)
{
    alarm(static_cast<unsigned>(c.endAt / 1000 + 2));  // one that hangs, or ends late, dies of SIGALRM
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    auto& f = *rt.start<FaultyDuel>();
    if (c.at)
        QTimer::singleShot(c.at, Qt::PreciseTimer, &driver, [&] {
            if (*c.skill)
                driver.click(f.menuItem(c.skill));
            driver.click(f.control("cbStart"));
        });
    QTimer::singleShot(c.endAt, Qt::PreciseTimer, &driver, [&] {
        if (end == QuitAfterResultClose) {
            std::this_thread::sleep_for(*rt.nextDue() - driver.now() + forms::milliseconds(5));  // past due
            driver.window(*rt.find<results::frmLoose>())->close();
            if (rt.ended() || rt.liveForms() != 1 || !f.Visible())
                std::exit(4);  // the hand-back did not come first, or the close was not ignored
        }
        if (end == Close)
            driver.window(f)->close();
        else
            driver.click(f.menuItem(end == Error ? "mnuSkill" : "mnuQuit"));
    });
    std::exit(driver.exec());
}

struct ShutdownDeathTest : testing::TestWithParam<Case> {
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// Each end stops the program at once: with status 0 on Quit or a close request, whatever the game was doing,
// and with 1 and a message naming the failed operation on a run-time error. A close request for the result
// window overtaken by its hand-back once freed the window under the driver's feet.
TEST_P(ShutdownDeathTest, EndsAtOnceWithItsStatus)
{
    for (const End end : GetParam().ends)
        EXPECT_EXIT(playThenEnd(GetParam(), end), testing::ExitedWithCode(end == Error ? 1 : 0),
                    end == Error ? "run-time error: frmzib\\.noskill\\.Interval" : "")
            << endNames[static_cast<int>(end)];
}
INSTANTIATE_TEST_SUITE_P(All, ShutdownDeathTest, testing::ValuesIn(cases), testing::PrintToStringParamName());
