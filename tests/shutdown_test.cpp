// SPDX-License-Identifier: MIT
// The game run for real through the Qt driver, each case in a child process:
// it ends with status 0 whenever it is quit or closed, and with 1 on a run-time error.
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "results/result_windows.h"

namespace {

using namespace std::chrono_literals;
using forms::Runtime;
using forms::qt::Driver;

// What the player does, in ms after start-up: a menu item ("mnu..."), a button of the duel window, or a
// "late close": a close request for the result window that is handled only once its hand-back has fallen due.
struct Step { int at; std::string_view what; };

struct State {
    const char* name;
    std::vector<Step> steps;
    int endAt;  // when Quit or the close request comes, once the game is seen to be in the state
    bool (*reached)(Runtime&, duel::frmzib&);
};
void PrintTo(const State& state, std::ostream* out) { *out << state.name; }

// A label shown, or a button or timer enabled.
bool on(duel::frmzib& f, const char* name)
{
    return f.control(name).kind() == forms::Kind::Label ? f.control(name).Visible() : f.control(name).Enabled();
}

// The duel states are reached within the first second, before the start-up hand-backs reset the duel window.
const State states[] = {
    {"FirstSecond", {}, 50, [](Runtime& rt, duel::frmzib& f) { return rt.liveForms() == 3 && f.Visible(); }},
    {"SkillWarning", {{20, "cbStart"}}, 80, [](Runtime&, duel::frmzib& f) { return on(f, "noskill"); }},
    {"Dropping", {{20, "mnuVH"}, {20, "cbStart"}}, 150,
     [](Runtime&, duel::frmzib& f) { return on(f, "cbStop") && !on(f, "answertime") && !on(f, "ziboppo"); }},
    {"TheDraw", {{20, "mnuVE"}, {20, "cbStart"}}, 600, [](Runtime&, duel::frmzib& f) { return on(f, "Zib"); }},
    {"OutcomePending", {{20, "mnuVH"}, {20, "cbStart"}}, 660,
     [](Runtime&, duel::frmzib& f) { return on(f, "ziboppo") && on(f, "Loosetime") && f.Visible(); }},
    {"Idle", {}, 1100, [](Runtime& rt, duel::frmzib& f) { return rt.liveForms() == 1 && on(f, "cbStart"); }},
    {"ResultShown", {{20, "mnuVH"}, {1005, "cbStart"}}, 2200,
     [](Runtime& rt, duel::frmzib& f) { return rt.liveForms() == 2 && rt.find<results::frmLoose>() && !f.Visible(); }},
};

void perform(Runtime& rt, Driver& driver, duel::frmzib& f, std::string_view what)
{
    if (what.starts_with("mnu"))
        return driver.click(f.menuItem(what));
    if (what != "late close")
        return driver.click(f.control(what));
    forms::Form* loose = rt.find<results::frmLoose>();
    const auto handBack = rt.nextDue();
    if (!loose || !loose->Visible() || !handBack)
        std::exit(2);
    while (driver.now() <= *handBack)  // the event loop is kept busy until the deadline has passed
        std::this_thread::sleep_for(1ms);
    driver.window(*loose)->close();
}

// In the child: plays into the state, then quits or closes the duel window, and exits with the program's status.
[[noreturn]] void playThenEnd(const State& state, bool quit)
{
    alarm(static_cast<unsigned>(state.endAt / 1000 + 3));  // a program that hangs dies of SIGALRM
    Runtime rt;
    Driver driver(rt);
    auto& f = *rt.start<duel::frmzib>();
    for (const Step& step : state.steps)
        QTimer::singleShot(step.at, Qt::PreciseTimer, &driver, [&, step] { perform(rt, driver, f, step.what); });
    QTimer::singleShot(state.endAt, Qt::PreciseTimer, &driver, [&] {
        if (rt.ended() || !state.reached(rt, f))
            std::exit(3);  // never got there
        quit ? driver.click(f.menuItem("mnuQuit")) : void(driver.window(f)->close());
    });
    std::exit(driver.exec());
}

struct CleanShutdownDeathTest : ::testing::TestWithParam<std::tuple<State, bool>> {
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// Quit, or a close request on the duel window, ends the program at once with status 0, whatever it was doing.
TEST_P(CleanShutdownDeathTest, EndsWithStatusZero)
{
    const auto& [state, quit] = GetParam();
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EXIT(playThenEnd(state, quit), ::testing::ExitedWithCode(0), "");
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(state.endAt) + 2s);
}

INSTANTIATE_TEST_SUITE_P(EveryState, CleanShutdownDeathTest,
                         ::testing::Combine(::testing::ValuesIn(states), ::testing::Bool()), [](const auto& p) {
                             return std::get<0>(p.param).name + std::string(std::get<1>(p.param) ? "_Quit" : "_Close");
                         });

// A close request for the result window, overtaken by its hand-back, is ignored, and Quit still ends cleanly.
TEST_F(CleanShutdownDeathTest, CloseOfTheResultWindowOvertakenByItsHandBackIsIgnored)
{
    const State handedBack{"HandedBack", {{20, "mnuVH"}, {1005, "cbStart"}, {2900, "late close"}}, 3150,
                           [](Runtime& rt, duel::frmzib& f) { return rt.liveForms() == 1 && f.Visible(); }};
    EXPECT_EXIT(playThenEnd(handedBack, true), ::testing::ExitedWithCode(0), "");
}

// A form whose timer asks a label for its interval: a run-time error.
constexpr forms::ControlDesign brokenControls[] = {
    {.name = "lblNote"}, {.name = "tmrFail", .kind = forms::Kind::Timer, .interval = 30}};
constexpr forms::FormDesign brokenDesign{.name = "frmBroken", .caption = "Broken", .controls = brokenControls};
struct frmBroken : forms::Form {
    static const forms::FormDesign& design() { return brokenDesign; }
    explicit frmBroken(Runtime& rt) : Form(rt, brokenDesign) { handle<frmBroken>(handlers); }
    void tmrFail_Timer() { control("tmrFail").Interval(control("lblNote").Interval()); }
    static constexpr forms::Handler<frmBroken> handlers[] = {{"tmrFail_Timer", &frmBroken::tmrFail_Timer}};
};

// A run-time error ends the program with status 1 and a message naming the operation that failed.
TEST_F(CleanShutdownDeathTest, RunTimeErrorEndsWithStatusOneNamingTheFailedOperation)
{
    auto run = [] {
        alarm(3);
        Runtime rt;
        Driver driver(rt);
        std::exit(rt.start<frmBroken>() ? driver.exec() : 4);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(1), "run-time error: frmBroken\\.lblNote\\.Interval");
}

}  // namespace
