// SPDX-License-Identifier: MIT
// The forms runtime on its virtual clock, as a game's handlers see it: which
// clicks reach a handler, and how End or a run-time error stops everything.
// Its timers are held to the millisecond by the game's own stories.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "forms/runtime.h"

namespace {

using namespace std::chrono_literals;
using enum forms::Kind;

constexpr forms::ControlDesign mainControls[] = {{.name = "tmrA", .kind = Timer, .interval = 50},
    {.name = "btnGo", .kind = CommandButton, .caption = "Go"}, {.name = "lblNote", .kind = Label}};
constexpr forms::FormDesign mainDesign{
    .name = "frmMain", .caption = "Main", .onClose = forms::OnClose::EndProgram, .controls = mainControls};

// What the program saw in this run ("name@ms " for each of frmMain's handlers, then any run-time error),
// and what a click on btnGo does besides.
std::string seen;
std::function<void()> go;
void report(std::string_view error) { seen += "error " + std::string(error); }

struct Main : forms::Form {
    static const forms::FormDesign& design() { return mainDesign; }
    explicit Main(forms::Runtime& runtime) : Form(runtime, mainDesign)
    {
        onLoad(&Main::note<0>);
        on(control("tmrA"), &Main::note<1>);
        on(control("btnGo"), &Main::note<2>);
    }
    void bindLabel() { on(control("lblNote"), &Main::note<2>); }  // a label raises no event
    template <int N> void note()
    {
        static constexpr std::string_view names[] = {"Load", "tmrA", "btnGo"};
        seen += std::string(names[N]) + "@" + std::to_string(runtime().now().count()) + " ";
        if (N == 2 && go) go();
    }
};

// One run of the program, started with frmMain.
struct Program {
    forms::Runtime rt;
    Program() { seen.clear(); go = nullptr; rt.onError(report); rt.start<Main>(); }
    Main& form() { return rt.instance<Main>(); }
    forms::Control& main(std::string_view control) { return form().control(control); }
};

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
        go = [&] { c.stop(p); seen += "went on "; };
        p.rt.click(p.main("btnGo")); p.rt.advance(200ms);
        EXPECT_EQ(seen, "Load@0 btnGo@0 " + c.error);
        EXPECT_TRUE(p.rt.ended());
        EXPECT_EQ(p.rt.exitStatus(), c.error.empty() ? 0 : 1);
        EXPECT_FALSE(p.rt.nextDue());
    }
}

TEST(Program, OnlyAnEnabledButtonOnAShownWindowClicks)
{
    // A disabled button, or one on a hidden window, raises nothing; the window's timer runs on regardless.
    Program p;
    forms::Control& button = p.main("btnGo");
    button.Enabled(false); p.rt.click(button); seen += "disabled | ";
    button.Enabled(true); p.form().Visible(false); p.rt.click(button); seen += "hidden | ";
    p.rt.advance(50ms); p.form().Visible(true); p.rt.click(button);
    EXPECT_EQ(seen, "Load@0 disabled | hidden | tmrA@50 btnGo@50 ");
}

}  // namespace
