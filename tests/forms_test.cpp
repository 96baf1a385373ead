// SPDX-License-Identifier: MIT
// The forms runtime on its virtual clock, as a game's handlers see it: timers,
// player input, End and run-time errors.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "forms/runtime.h"

namespace {

using namespace std::chrono_literals;
using enum forms::Kind;

constexpr forms::ControlDesign mainControls[] = {
    {.name = "tmrA", .kind = Timer, .interval = 50}, {.name = "tmrB", .kind = Timer, .interval = 50},
    {.name = "tmrOff", .kind = Timer, .enabled = false, .interval = 30},
    {.name = "btnGo", .kind = CommandButton, .caption = "Go"}, {.name = "lblNote", .kind = Label}};
constexpr forms::FormDesign mainDesign{
    .name = "frmMain", .caption = "Main", .onClose = forms::OnClose::EndProgram, .controls = mainControls};

// What the program saw in this run ("name@ms " for each of frmMain's handlers, then any run-time error),
// and what each handler does besides.
std::string seen;
std::map<std::string, std::function<void()>, std::less<>> act;
void report(std::string_view error) { seen += "error " + std::string(error); }

struct Main : forms::Form {
    static const forms::FormDesign& design() { return mainDesign; }
    explicit Main(forms::Runtime& runtime) : Form(runtime, mainDesign)
    {
        onLoad(&Main::note<0>);
        on(control("tmrA"), &Main::note<1>);
        on(control("tmrB"), &Main::note<2>);
        on(control("tmrOff"), &Main::note<3>);
        on(control("btnGo"), &Main::note<4>);
    }
    void bindLabel() { on(control("lblNote"), &Main::note<4>); }  // a label raises no event
    template <int N> void note()
    {
        static constexpr std::string_view names[] = {"Load", "tmrA", "tmrB", "tmrOff", "btnGo"};
        seen += std::string(names[N]) + "@" + std::to_string(runtime().now().count()) + " ";
        if (auto it = act.find(names[N]); it != act.end()) it->second();
    }
};

// One run of the program, started with frmMain.
struct Program {
    forms::Runtime rt;
    Program() { seen.clear(); act.clear(); rt.onError(report); rt.start<Main>(); }
    Main& form() { return rt.instance<Main>(); }
    forms::Control& main(std::string_view control) { return form().control(control); }
};

TEST(Timers, FireOnTheirDueMillisecondCountedFromTheirLastArmingAndInArmingOrder)
{
    // After a change at 20 ms every timer fires on the ms counted from its last arming, ties in arming order.
    struct Case { std::function<void(Program&)> change; std::string fired; };
    const Case cases[] = {
        {[](Program& p) { p.main("tmrOff").Enabled(true); },
         "| tmrA@50 tmrB@50 tmrOff@50 tmrOff@80 tmrA@100 tmrB@100 tmrOff@110 "},
        {[](Program& p) { p.main("tmrA").Enabled(true); }, "| tmrA@50 tmrB@50 tmrA@100 tmrB@100 "},
        {[](Program& p) { p.main("tmrA").Interval(40); }, "| tmrB@50 tmrA@60 tmrB@100 tmrA@100 "},
        {[](Program& p) { p.main("tmrA").Interval(0); }, "| tmrB@50 tmrB@100 "},
        {[](Program& p) { p.main("tmrA").Enabled(false); }, "| tmrB@50 tmrB@100 "},
        {[](Program& p) { act["tmrA"] = [&p] { p.main("tmrB").Enabled(false); }; }, "| tmrA@50 tmrA@100 "}};
    for (const auto& c : cases) {
        Program p;
        p.rt.advance(20ms); c.change(p); seen.clear();
        p.rt.advanceTo(49ms); seen += "| "; p.rt.advanceTo(110ms);  // "|": nothing is due before 50 ms
        EXPECT_EQ(seen, c.fired);
    }
}

TEST(Program, EndOrARunTimeErrorStopsTheHandlerAndEverythingAfter)
{
    // End, or a failed operation reported by name (a handler bound to a label is one), ends the program there:
    // no more handler code, no events.
    struct Case { std::function<void(Program&)> stop; std::string error; };
    const Case cases[] = {
        {[](Program& p) { p.form().End(); }, ""},
        {[](Program& p) { p.main("nope"); }, "error frmMain has no control named nope"},
        {[](Program& p) { Main& me = p.form(); me.Unload(); me.control("tmrA").Enabled(false); },
         "error frmMain.tmrA.Enabled: the form has been unloaded"},
        {[](Program& p) { p.form().bindLabel(); },
         "error frmMain.lblNote.event: this kind of control raises no event"}};
    for (const auto& c : cases) {
        Program p;
        act["btnGo"] = [&] { c.stop(p); seen += "went on "; };
        p.rt.click(p.main("btnGo")); p.rt.advance(200ms);
        EXPECT_EQ(seen, "Load@0 btnGo@0 " + c.error);
        EXPECT_TRUE(p.rt.ended());
        EXPECT_EQ(p.rt.exitStatus(), c.error.empty() ? 0 : 1);
        EXPECT_FALSE(p.rt.nextDue());
    }
}

TEST(Program, OnlyAnEnabledButtonOnAShownWindowClicks)
{
    // A disabled button, or one on a hidden window, raises nothing.
    Program p;
    forms::Control& go = p.main("btnGo");
    go.Enabled(false); p.rt.click(go); seen += "disabled | ";
    go.Enabled(true); p.form().Visible(false); p.rt.click(go); seen += "hidden | ";
    p.form().Visible(true); p.rt.click(go);
    EXPECT_EQ(seen, "Load@0 disabled | hidden | btnGo@0 ");
}

}  // namespace
