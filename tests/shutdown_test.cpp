// SPDX-License-Identifier: MIT
// The game, run for real through the Qt driver in a child process, ends with
// status 0 whenever it is quit or closed, and with 1 on a run-time error.
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "results/result_windows.h"

namespace {

using namespace std::chrono_literals;
using forms::Runtime;
using forms::qt::Driver;

// A press on a menu item ("mnu...") or a button of the duel window, in ms after start-up.
struct Press {
    int at;
    const char* name;
};

struct State {
    const char* name;
    std::vector<Press> presses;
    int endAt;  // when Quit or the close request comes
    bool (*reached)(Runtime&, duel::frmzib&);
};

void PrintTo(const State& state, std::ostream* out) { *out << state.name; }

bool shows(duel::frmzib& f, const char* control) { return f.control(control).Visible(); }
bool on(duel::frmzib& f, const char* control) { return f.control(control).Enabled(); }

// The duel states fit in the first second, before the start-up hand-backs reset the duel window.
const State states[] = {
    {"FirstSecond", {}, 50, [](Runtime& rt, duel::frmzib& f) { return rt.liveForms() == 3 && f.Visible(); }},
    {"SkillWarning", {{20, "cbStart"}}, 150, [](Runtime&, duel::frmzib& f) { return shows(f, "noskill"); }},
    {"Dropping", {{20, "mnuVH"}, {20, "cbStart"}}, 250, [](Runtime&, duel::frmzib& f) { return on(f, "Timer5"); }},
    {"TheDraw", {{20, "mnuVE"}, {20, "cbStart"}}, 700, [](Runtime&, duel::frmzib& f) { return on(f, "Zib"); }},
    {"OutcomePending", {{20, "mnuVH"}, {20, "cbStart"}}, 800,
     [](Runtime&, duel::frmzib& f) { return shows(f, "ziboppo") && on(f, "Loosetime") && f.Visible(); }},
    {"Idle", {}, 1050, [](Runtime& rt, duel::frmzib& f) { return rt.liveForms() == 1 && on(f, "cbStart"); }},
    {"ResultShown", {{20, "mnuVH"}, {1010, "cbStart"}}, 2200, [](Runtime& rt, duel::frmzib& f) {
         auto* loose = rt.find<results::frmLoose>();
         return loose && loose->Visible() && !f.Visible();
     }},
};

void press(Driver& driver, duel::frmzib& f, const char* name)
{
    if (std::string(name).starts_with("mnu"))
        driver.click(f.menuItem(name));
    else
        driver.click(f.control(name));
}

// In the child: plays up to the state, then quits or closes, and exits with the program's status.
[[noreturn]] void playThenEnd(const State& state, bool quit)
{
    alarm(static_cast<unsigned>(state.endAt / 1000 + 3));  // a program that hangs dies of SIGALRM
    Runtime rt;
    Driver driver(rt);
    auto& f = *rt.start<duel::frmzib>();
    for (const Press& p : state.presses)
        QTimer::singleShot(p.at, Qt::PreciseTimer, &driver, [&, p] { press(driver, f, p.name); });
    QTimer::singleShot(state.endAt, Qt::PreciseTimer, &driver, [&] {
        if (!state.reached(rt, f)) {
            std::fprintf(stderr, "the game never reached %s\n", state.name);
            std::exit(2);
        }
        quit ? driver.click(f.menuItem("mnuQuit")) : (void)driver.window(f)->close();
    });
    std::exit(driver.exec());
}

class CleanShutdownDeathTest : public ::testing::TestWithParam<std::tuple<State, bool>> {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// Quit, or a close request on the duel window, ends the program at once with status 0, whatever it was doing.
TEST_P(CleanShutdownDeathTest, EndsWithStatusZero)
{
    const auto& [state, quit] = GetParam();
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EXIT(playThenEnd(state, quit), ::testing::ExitedWithCode(0), "");
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_LT(took, std::chrono::milliseconds(state.endAt) + 2s) << "the program took too long to end";
}

INSTANTIATE_TEST_SUITE_P(EveryState, CleanShutdownDeathTest,
                         ::testing::Combine(::testing::ValuesIn(states), ::testing::Bool()),
                         [](const auto& param) {
                             return std::string(std::get<0>(param.param).name) +
                                    (std::get<1>(param.param) ? "_Quit" : "_Close");
                         });

// A form whose timer handler asks a label for its interval: a run-time error.
class frmBroken : public forms::Form {
public:
    static const forms::FormDesign& design()
    {
        static constexpr forms::ControlDesign controls[] = {
            {.name = "lblNote", .kind = forms::Kind::Label, .caption = "note"},
            {.name = "tmrFail", .kind = forms::Kind::Timer, .interval = 30},
        };
        static constexpr forms::FormDesign made{.name = "frmBroken", .caption = "Broken", .controls = controls};
        return made;
    }
    explicit frmBroken(Runtime& rt) : Form(rt, design())
    {
        static constexpr forms::Handler<frmBroken> handlers[] = {{"tmrFail_Timer", &frmBroken::tmrFail_Timer}};
        handle<frmBroken>(handlers);
    }

private:
    void tmrFail_Timer() { control("tmrFail").Interval(control("lblNote").Interval()); }
};

// A run-time error ends the program with status 1 and names the operation that failed.
TEST(RunTimeErrorDeathTest, EndsWithStatusOneNamingTheFailedOperation)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [] {
        alarm(3);
        Runtime rt;
        Driver driver(rt);
        rt.start<frmBroken>();
        std::exit(driver.exec());
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(1), "run-time error: frmBroken\\.lblNote\\.Interval");
}

// A close request for a result window that arrives once its hand-back is due is ignored, and Quit still ends cleanly.
TEST(ResultWindowCloseDeathTest, CloseRacingTheHandBackIsIgnored)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [] {
        alarm(4);
        Runtime rt;
        Driver driver(rt);
        auto& f = *rt.start<duel::frmzib>();
        QTimer::singleShot(950, Qt::PreciseTimer, &driver, [&] {
            forms::Form& win = *rt.find<results::frmWin>();
            while (driver.now() <= 1000ms)  // the window system's request is handled late, after the hand-back fell due
                std::this_thread::sleep_for(1ms);
            driver.close(win);
            if (rt.ended() || rt.find<results::frmWin>())
                std::exit(2);
            driver.click(f.menuItem("mnuQuit"));
        });
        std::exit(driver.exec());
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
