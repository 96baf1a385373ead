// SPDX-License-Identifier: MIT
// The forms runtime on its virtual clock, as a game's handlers see it: which
// input reaches a handler and when, how End or a run-time error stops
// everything, and how a platform's stamp puts input on the clock. Its timers
// are held to the millisecond by the game's own stories.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "forms/input_clock.h"
#include "forms/runtime.h"

namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using enum forms::Kind;

constexpr forms::ControlDesign mainControls[] = {{.name = "tmrA", .kind = Timer, .interval = 50},
    {.name = "btnGo", .kind = CommandButton, .caption = "Go"}, {.name = "lblNote", .kind = Label}};
constexpr forms::MenuDesign mainMenus[] = {{"mnuFile", "File"}, {"mnuOpen", "Open", "mnuFile"}};
constexpr forms::FormDesign mainDesign{.name = "frmMain", .caption = "Main", .onClose = forms::OnClose::EndProgram,
                                       .controls = mainControls, .menus = mainMenus};

// What the program saw in this run ("name@ms " for each of frmMain's handlers, then any run-time error), what
// a handler does besides, by its name, and the one control or menu item frmMain leaves without a handler.
std::string seen;
std::function<void(std::string_view)> then;
std::string_view unbound;
void report(std::string_view error) { seen += "error " + std::string(error); }

struct Main : forms::Form {
    static const forms::FormDesign& design() { return mainDesign; }
    explicit Main(forms::Runtime& runtime) : Form(runtime, mainDesign)
    {
        onLoad(&Main::note<0>);
        if (unbound != "tmrA") on(control("tmrA"), &Main::note<1>);
        if (unbound != "btnGo") on(control("btnGo"), &Main::note<2>);
        if (unbound != "mnuOpen") on(menuItem("mnuOpen"), &Main::note<3>);
    }
    void bind(forms::Control& c) { on(c, &Main::note<2>); }
    void bind(forms::MenuItem& m) { on(m, &Main::note<3>); }
    template <int N> void note()
    {
        static constexpr std::string_view names[] = {"Load", "tmrA", "btnGo", "mnuOpen"};
        seen += std::string(names[N]) + "@" + std::to_string(runtime().now().count()) + " ";
        if (then) then(names[N]);
    }
};

// One run of the program, started with frmMain.
struct Program {
    forms::Runtime rt;
    explicit Program(std::string_view leftUnbound = "")
    {
        seen.clear(); then = nullptr; unbound = leftUnbound; rt.onError(report); rt.start<Main>();
    }
    Main& form() { return *rt.find<Main>(); }
    forms::Control& main(std::string_view control) { return form().control(control); }
    forms::MenuItem& item() { return form().menuItem("mnuOpen"); }
};

TEST(Program, EndOrARunTimeErrorStopsTheHandlerAndEverythingAfter)
{
    // End, with its status, or a failed operation reported by name and status 1, ends the program there, here
    // in a timer's handler: no more handler code, no events, no input, even input made before it from inside
    // the handler or in the meantime.
    struct Case { std::function<void(Main&)> stop; std::string error; int status = 1; };
    unbound = "";
    forms::Runtime elsewhere;
    Main& other = elsewhere.instance<Main>();
    const Case cases[] = {{[](Main& m) { m.End(); }, "", 0}, {[](Main& m) { m.runtime().End(3); }, "", 3},
        {[](Main& m) { m.control("nope"); }, " has no control named nope"},
        {[](Main& m) { m.menuItem("nope"); }, " has no menu item named nope"},
        {[](Main& m) { m.Unload(); m.control("tmrA").Enabled(false); }, ".tmrA.Enabled: the form has been unloaded"},
        {[](Main& m) { m.Unload(); m.Unload(); m.menuItem("mnuOpen").Checked(); },
         ".mnuOpen.Checked: the form has been unloaded"},
        {[](Main& m) { m.Unload(); m.Visible(); }, ".Visible: the form has been unloaded"},
        {[](Main& m) { m.bind(m.control("lblNote")); }, ".lblNote.event: this kind of control raises no event"},
        {[&other](Main& m) { m.bind(other.control("btnGo")); }, ".btnGo.event: the control belongs to another form"},
        {[&other](Main& m) { m.bind(other.menuItem("mnuOpen")); },
         ".mnuOpen.Click: the menu item belongs to another form"},
        {[](Main& m) { m.control("lblNote").Interval(); },
         ".lblNote.Interval: this kind of control has no such property"},
        {[](Main& m) { for (int ms : {0, 65535, 65536}) m.control("tmrA").Interval(ms); },
         ".tmrA.Interval: invalid property value 65536 (0 to 65535)"},
        {[](Main& m) { m.control("tmrA").Interval(-1); }, ".tmrA.Interval: invalid property value -1 (0 to 65535)"}};
    for (const auto& c : cases) {
        Program p;
        const auto go = forms::Target::of(p.main("btnGo"));
        then = [&](std::string_view handler) {
            if (handler == "tmrA") { p.rt.input(go, p.rt.now()); c.stop(p.form()); seen += "went on "; }
        };
        p.rt.input(go, 60ms);
        p.rt.advance(200ms);
        p.rt.input(go, 300ms);
        p.rt.End(9);
        EXPECT_EQ(seen, "Load@0 tmrA@50 " + (c.error.empty() ? "" : "error frmMain" + c.error));
        EXPECT_EQ(p.rt.exitStatus(), c.status) << c.error;
        EXPECT_FALSE(p.rt.nextDue());
    }
}

TEST(Program, AControlLeftWithoutAHandlerIsAnErrorWhenItsFormLoads)
{
    // A button, a timer or a menu item with nothing to open needs a handler; the form is never loaded without.
    for (std::string_view name : {"btnGo", "tmrA", "mnuOpen"}) {
        Program p(name);
        const std::string event = name == "tmrA" ? ".Timer" : ".Click";
        EXPECT_EQ(seen, "error frmMain." + std::string(name) + event + ": no handler bound");
        EXPECT_TRUE(p.rt.forms().empty());
    }
}

TEST(Program, OnlyAnEnabledButtonOrMenuItemOnAShownWindowClicks)
{
    // A disabled button or menu item, one on a hidden window, or a label, raises nothing; a menu that opens a
    // submenu raises nothing either. The window's timer runs on regardless. Input made before the last event
    // delivered, with nothing journaled since (showing a window closes the journal), counts at that event's
    // moment; the clock stays where it was. A close request ends the program.
    Program p;
    forms::Control& button = p.main("btnGo");
    forms::MenuItem& open = p.item();
    button.Enabled(false); open.Enabled(false);
    p.rt.click(button); p.rt.click(open); p.rt.click(p.main("lblNote")); p.rt.click(p.form().menuItem("mnuFile"));
    seen += "disabled | ";
    button.Enabled(true); open.Enabled(true); open.Enabled(true); p.form().Visible(false);
    p.rt.click(button); p.rt.click(open);
    seen += "hidden | ";
    p.rt.advance(70ms); p.form().Show();
    p.rt.input(forms::Target::of(button), 30ms); p.rt.input(forms::Target::of(open), 40ms);
    p.rt.click(open); p.rt.close(p.form());
    EXPECT_EQ(seen, "Load@0 disabled | hidden | tmrA@50 btnGo@50 mnuOpen@50 mnuOpen@70 ");
    EXPECT_EQ(std::string(button.Caption()) + (button.Enabled() && open.Enabled() ? " enabled" : ""), "Go enabled");
    EXPECT_TRUE(p.rt.ended());
}

TEST(Program, InsideAHandlerTimeStandsStillAndInputWaitsForItsEnd)
{
    // Input made inside a handler, as a test or a backend may, comes after it and before the next timer event;
    // advancing the clock there does nothing. Enabling a timer, or changing its interval, starts a fresh one;
    // setting the interval it has changes nothing.
    Program p;
    forms::Control& timer = p.main("tmrA");
    then = [&](std::string_view handler) {
        if (handler == "btnGo") { p.rt.click(p.item()); p.rt.advance(500ms); seen += "end "; }
        if (handler == "mnuOpen") { timer.Enabled(false); timer.Enabled(true); }
    };
    p.rt.advance(40ms);
    p.rt.click(p.main("btnGo"));
    p.rt.advanceTo(150ms);
    timer.Interval(30);
    p.rt.advance(10ms);
    timer.Interval(timer.Interval());
    p.rt.advance(30ms);
    EXPECT_EQ(seen, "Load@0 btnGo@40 end mnuOpen@40 tmrA@90 tmrA@140 tmrA@180 ");
    // Unloading ends the form's timers, and the form itself once no handler of it is running; one made outside
    // the runtime, as a drawing test may, was never loaded there.
    Main(p.rt).Unload();
    p.form().Unload();
    EXPECT_FALSE(p.rt.nextDue());
    EXPECT_EQ(p.rt.liveForms(), 0u);
}

TEST(InputClock, TakesStampsOnlyFromItsOwnClockAndTheLastSecond)
{
    // The runtime's clock starts 5000 ms into the platform's; a calibration, if any, is answered at runtime 100
    // ms. Input stamped as listed is then handled at runtime 1200 ms, each counting at its moment.
    using Clock = forms::InputClock;
    using enum Clock::Stamps;
    using Stamps = std::vector<std::pair<std::optional<std::uint64_t>, long>>;  // stamp, moment
    const auto calibrated = [](std::uint32_t at) { return [at](Clock& c) { c.calibrate(at, 100ms, 101ms); }; };
    struct Case { const char* what; std::function<void(Clock&)> known; Stamps stamps; Clock::Stamps after; };
    const Case cases[] = {{"made 30 ms before it was handled", {}, {{6170, 1170}}, Unchecked},
        {"not stamped at all", {}, {{std::nullopt, 1200}}, Unchecked},
        {"stamped in the future, which rules out every stamp after", {}, {{6201, 1200}, {6150, 1200}}, Foreign},
        {"stamped a second before", {}, {{5200, 200}}, Unchecked},
        {"stamped more than a second before", {}, {{5199, 1200}}, Unchecked},
        {"stamped by a clock that wrapped round", {}, {{0x1'0000'0000ull + 6170, 1170}}, Unchecked},
        {"calibrated on its own clock: a stamp from the future rules out no other", calibrated(5100),
         {{6201, 1200}, {6150, 1150}}, Ours},
        {"calibrated on another clock", calibrated(912'345), {{6150, 1200}}, Foreign},
        {"known to be on our clock", &Clock::trust, {{6201, 1200}, {6150, 1150}}, Ours},
        {"known not to be", &Clock::distrust, {{6150, 1200}}, Foreign}};
    for (const auto& [what, known, stamps, after] : cases) {
        Clock clock(5000ms);
        if (known) known(clock);
        for (const auto& [stamp, moment] : stamps)
            EXPECT_EQ(clock.moment(stamp, 1200ms), milliseconds(moment)) << what;
        EXPECT_EQ(clock.stamps(), after) << what;
    }
}

}  // namespace
