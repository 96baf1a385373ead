// SPDX-License-Identifier: MIT
// The forms runtime on its virtual clock, as a game's handlers see it: timers,
// loading and unloading, player input, End and run-time errors.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "forms/runtime.h"

namespace {

using namespace std::chrono_literals;
using forms::Kind;
using Log = std::vector<std::pair<std::string, long>>;
using Times = std::vector<long>;

// One run of the program: its runtime, what its handlers saw (name and time),
// what each handler does when it runs, and the run-time error reported.
struct Game {
    static inline Game* current = nullptr;
    forms::Runtime rt;
    Log log;
    std::map<std::string, std::function<void()>> act;
    std::string error;

    Game() { current = this; rt.onError([this](std::string_view message) { error = message; }); }
    ~Game() { current = nullptr; }
    bool reported(const std::string& text) const { return error.find(text) != std::string::npos; }
    Times times(const std::string& name) const
    {
        Times out;
        for (const auto& [what, at] : log)
            if (what == name)
                out.push_back(at);
        return out;
    }
};

constexpr forms::ControlDesign mainControls[] = {
    {.name = "tmrA", .kind = Kind::Timer, .interval = 50}, {.name = "tmrB", .kind = Kind::Timer, .interval = 50},
    {.name = "tmrOff", .kind = Kind::Timer, .enabled = false, .interval = 30},
    {.name = "btnGo", .kind = Kind::CommandButton, .caption = "Go"},
    {.name = "lblInfo", .kind = Kind::Label, .caption = "Ready"}};
constexpr forms::FormDesign mainDesign{
    .name = "frmMain", .caption = "Main", .onClose = forms::OnClose::EndProgram, .controls = mainControls};

class MainForm : public forms::Form {
public:
    static const forms::FormDesign& design() { return mainDesign; }
    explicit MainForm(forms::Runtime& runtime) : Form(runtime, mainDesign)
    {
        static constexpr forms::Handler<MainForm> handlers[] = {
            {"Form_Load", &MainForm::Form_Load}, {"tmrA_Timer", &MainForm::tmrA_Timer},
            {"tmrB_Timer", &MainForm::tmrB_Timer}, {"tmrOff_Timer", &MainForm::tmrOff_Timer},
            {"btnGo_Click", &MainForm::btnGo_Click}};
        handle<MainForm>(handlers);
    }

private:
    void on(const std::string& what)
    {
        Game::current->log.emplace_back(what, runtime().now().count());
        if (auto it = Game::current->act.find(what); it != Game::current->act.end())
            it->second();
    }
    void Form_Load() { on("Load"); }
    void tmrA_Timer() { on("tmrA"); }
    void tmrB_Timer() { on("tmrB"); }
    void tmrOff_Timer() { on("tmrOff"); }
    void btnGo_Click() { on("btnGo"); }
};

// A second window with the default close behaviour and nothing to handle.
constexpr forms::ControlDesign sideControls[] = {{.name = "lblSide", .kind = Kind::Label, .caption = "Side"}};
constexpr forms::FormDesign sideDesign{.name = "frmSide", .caption = "Side", .controls = sideControls};
class SideForm : public forms::Form {
public:
    static const forms::FormDesign& design() { return sideDesign; }
    explicit SideForm(forms::Runtime& runtime) : Form(runtime, sideDesign) {}
};

// The program's global instance slots, and a shorthand for the main window's controls.
struct Program : Game {
    forms::Slot<MainForm> frmMain{rt};
    forms::Slot<SideForm> frmSide{rt};
    forms::Control& main(std::string_view control) { return frmMain->control(control); }
};

TEST(forms_Timers, FireExactlyOnTheirDueMillisecondAndNeverDrift)
{
    // However time is advanced, a timer fires at each multiple of its interval, and not a millisecond before.
    struct Case { int interval; Times steps, fired; };
    const Case cases[] = {{50, {49}, {}}, {50, {150}, {50, 100, 150}}, {50, {30, 45, 80}, {50, 100, 150}},
                          {1, {3}, {1, 2, 3}}, {65535, {65534, 1}, {65535}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interval);
        Program p;
        p.main("tmrOff").Interval(c.interval);
        p.main("tmrOff").Enabled(true);
        for (long step : c.steps)
            p.rt.advance(std::chrono::milliseconds(step));
        EXPECT_EQ(p.times("tmrOff"), c.fired);
    }
}

TEST(forms_Timers, ChangesTakeEffectFromTheMomentTheyAreMade)
{
    // At 20 ms a click changes one timer; its firings up to 110 ms count from that moment.
    struct Case { const char* what; std::function<void(Program&)> change; std::string timer; Times fired; };
    const Case cases[] = {
        {"enabling a disabled timer", [](Program& p) { p.main("tmrOff").Enabled(true); }, "tmrOff", {50, 80, 110}},
        {"enabling an enabled timer", [](Program& p) { p.main("tmrA").Enabled(true); }, "tmrA", {50, 100}},
        {"a new interval", [](Program& p) { p.main("tmrA").Interval(40); }, "tmrA", {60, 100}},
        {"interval zero", [](Program& p) { p.main("tmrA").Interval(0); }, "tmrA", {}},
        {"disabling", [](Program& p) { p.main("tmrA").Enabled(false); }, "tmrA", {}},
        {"nothing to a timer disabled by design", [](Program&) {}, "tmrOff", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Program p;
        p.rt.start<MainForm>();
        p.act["btnGo"] = [&] { c.change(p); };
        p.rt.advance(20ms);
        p.rt.click(p.main("btnGo"));
        p.rt.advanceTo(110ms);
        EXPECT_EQ(p.times(c.timer), c.fired);
    }
}

TEST(forms_Timers, SameInstantTimersFireInTheOrderTheyWereArmed)
{
    // Two 50 ms timers: the one armed first goes first, and one disabled just before its turn stays silent.
    struct Case { const char* what; std::function<void(Program&)> setUp; Log fired; };
    const Case cases[] = {
        {"design order", [](Program&) {}, {{"tmrA", 50}, {"tmrB", 50}, {"tmrA", 100}, {"tmrB", 100}}},
        {"tmrA re-armed", [](Program& p) { p.main("tmrA").Enabled(false); p.main("tmrA").Enabled(true); },
         {{"tmrB", 50}, {"tmrA", 50}, {"tmrB", 100}, {"tmrA", 100}}},
        {"tmrB re-armed at 100 ms, after tmrA's first firing", [](Program& p) { p.main("tmrB").Interval(100); },
         {{"tmrA", 50}, {"tmrB", 100}, {"tmrA", 100}}},
        {"tmrA disables tmrB", [](Program& p) { p.act["tmrA"] = [&p] { p.main("tmrB").Enabled(false); }; },
         {{"tmrA", 50}, {"tmrA", 100}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Program p;
        p.rt.start<MainForm>();
        c.setUp(p);
        p.log.clear();
        p.rt.advance(100ms);
        EXPECT_EQ(p.log, c.fired);
    }
}

TEST(forms_Lifetime, SlotLoadsOnFirstUseAndAfreshAfterUnload)
{
    // Nothing loads before its slot is used; a hidden form keeps timing; after Unload the slot loads a new window.
    Program p;
    EXPECT_EQ(p.rt.find<MainForm>(), nullptr);
    p.rt.start<MainForm>()->Visible(false);
    const auto firstSerial = p.frmMain->serial();
    p.main("tmrOff").Interval(7);
    p.rt.advance(50ms);
    p.frmMain->Unload();
    EXPECT_EQ(p.rt.find<MainForm>(), nullptr);
    EXPECT_EQ(p.rt.nextDue(), std::nullopt);
    p.rt.advance(100ms);
    EXPECT_EQ(p.log, (Log{{"Load", 0}, {"tmrA", 50}, {"tmrB", 50}}));
    EXPECT_NE(p.frmMain->serial(), firstSerial);
    EXPECT_EQ(p.main("tmrOff").Interval(), 30);
    EXPECT_EQ(p.times("Load"), (Times{0, 150}));
}

TEST(forms_Lifetime, FormUnloadingItselfFinishesItsHandlerButLosesItsControls)
{
    // After Unload the handler goes on and may use another form, but its own controls are gone.
    for (bool touchOwnControl : {false, true}) {
        Program p;
        std::size_t liveDuring = 0;
        bool finished = false;
        p.act["tmrA"] = [&] {
            MainForm& me = *p.frmMain;
            me.Unload();
            p.frmSide->Show();
            liveDuring = p.rt.liveForms();
            if (touchOwnControl)
                me.control("tmrB").Enabled(false);
            finished = true;
        };
        p.rt.start<MainForm>();
        p.rt.advance(200ms);
        EXPECT_EQ(p.log, (Log{{"Load", 0}, {"tmrA", 50}}));
        EXPECT_EQ(liveDuring, 2u);
        EXPECT_EQ(p.rt.liveForms(), 1u);
        EXPECT_EQ(finished, !touchOwnControl);
        EXPECT_EQ(p.reported("frmMain.tmrB.Enabled"), touchOwnControl) << touchOwnControl << p.error;
    }
}

TEST(forms_Program, StartShowsTheFormAfterLoadAndReturnsNothingWhenLoadFails)
{
    // The start-up form is hidden while its Load runs and shown after; a failed Load leaves no form to hand back.
    Program p;
    bool visibleDuringLoad = true;
    p.act["Load"] = [&] { visibleDuringLoad = p.frmMain->Visible(); };
    EXPECT_TRUE(p.rt.start<MainForm>()->Visible());
    EXPECT_FALSE(visibleDuringLoad);
    Program failing;
    failing.act["Load"] = [&] { failing.main("nope"); };
    EXPECT_EQ(failing.rt.start<MainForm>(), nullptr);
    EXPECT_NE(failing.rt.exitStatus(), 0);
}

TEST(forms_Program, EndStopsTheHandlerAndEveryEventAfterIt)
{
    // End leaves the handler at once; the same-instant timer, later timers and clicks never arrive.
    Program p;
    bool finished = false;
    p.act["tmrA"] = [&] { p.frmMain->End(); finished = true; };
    p.rt.start<MainForm>();
    p.rt.advance(200ms);
    p.rt.click(p.main("btnGo"));
    p.rt.advance(200ms);
    EXPECT_EQ(p.log, (Log{{"Load", 0}, {"tmrA", 50}}));
    EXPECT_FALSE(finished);
    EXPECT_TRUE(p.rt.ended());
    EXPECT_EQ(p.rt.exitStatus(), 0);
    EXPECT_EQ(p.rt.nextDue(), std::nullopt);
}

TEST(forms_Program, OnlyPressableButtonsClickAndOnlyTheMainWindowEndsOnClose)
{
    // Disabled or hidden buttons raise nothing; closing the main window ends the program, the side one not.
    struct Case { bool enabled, visible; std::size_t clicks; };
    for (const Case c : {Case{true, true, 1}, Case{false, true, 0}, Case{true, false, 0}}) {
        Program p;
        p.main("btnGo").Enabled(c.enabled);
        p.main("btnGo").Visible(c.visible);
        p.rt.click(p.main("btnGo"));
        EXPECT_EQ(p.times("btnGo").size(), c.clicks) << c.enabled << c.visible;
    }
    Program p;
    p.rt.close(*p.frmSide);
    EXPECT_FALSE(p.rt.ended());
    p.rt.close(*p.frmMain);
    EXPECT_TRUE(p.rt.ended());
    EXPECT_EQ(p.rt.exitStatus(), 0);
}

TEST(forms_Program, RunTimeErrorEndsTheProgramNamingTheOperation)
{
    // A failed operation stops its handler, is reported by name, and ends the program with a failure.
    struct Case { std::function<void(Program&)> fault; const char* message; };
    const Case cases[] = {{[](Program& p) { p.main("lblInfo").Interval(); }, "frmMain.lblInfo.Interval:"},
                          {[](Program& p) { p.main("tmrA").Visible(); }, "frmMain.tmrA.Visible:"},
                          {[](Program& p) { p.main("tmrA").Caption(); }, "frmMain.tmrA.Caption:"},
                          {[](Program& p) { p.main("tmrA").Interval(-1); }, "frmMain.tmrA.Interval:"},
                          {[](Program& p) { p.main("tmrA").Interval(65536); }, "frmMain.tmrA.Interval:"},
                          {[](Program& p) { p.main("nope"); }, "frmMain has no control named nope"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Program p;
        p.act["btnGo"] = [&] { c.fault(p); };
        p.rt.click(p.main("btnGo"));
        p.rt.click(p.main("btnGo"));
        p.rt.advance(200ms);
        EXPECT_TRUE(p.reported(c.message)) << p.error;
        EXPECT_NE(p.rt.exitStatus(), 0);
        EXPECT_EQ(p.log, (Log{{"Load", 0}, {"btnGo", 0}}));
        EXPECT_EQ(p.rt.nextDue(), std::nullopt);
    }
}

}  // namespace
