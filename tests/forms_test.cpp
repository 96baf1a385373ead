// SPDX-License-Identifier: MIT
// The forms runtime on its virtual clock, as a game's handlers see it: which
// input reaches a handler and when, what a timer does when it is set, how End
// stops everything, and how a platform's stamp puts input on the clock. Its
// timers are held to the millisecond by the game's own stories.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "forms/input_clock.h"
#include "forms/runtime.h"

namespace {

using namespace std::chrono_literals;
using enum forms::Kind;

constexpr forms::ControlDesign mainControls[] = {{.name = "tmrA", .kind = Timer, .interval = 50},
    {.name = "btnGo", .kind = CommandButton, .caption = "Go"}, {.name = "lblNote", .kind = Label}};
constexpr forms::MenuDesign mainMenus[] = {{"mnuFile", "File"}, {"mnuOpen", "Open", "mnuFile"}};
constexpr forms::FormDesign mainDesign{.name = "frmMain", .caption = "Main", .controls = mainControls,
                                       .menus = mainMenus};

// What the program saw ("name@ms " for each of frmMain's handlers), and what a handler does besides, by its name.
std::string seen;
std::function<void(std::string_view)> then;

struct Main : forms::Form {
    static const forms::FormDesign& design() { return mainDesign; }
    explicit Main(forms::Runtime& runtime) : Form(runtime, mainDesign)
    {
        onLoad(&Main::note<0>);
        on(control("tmrA"), &Main::note<1>);
        on(control("btnGo"), &Main::note<2>);
        on(menuItem("mnuOpen"), &Main::note<3>);
    }
    void bind(forms::Control& c) { on(c, &Main::note<2>); }
    template <int N> void note()
    {
        static constexpr std::string_view names[] = {"Load", "tmrA", "btnGo", "mnuOpen"};
        seen += std::string(names[N]) + "@" + std::to_string(runtime().now().count()) + " ";
        if (then) then(names[N]);
    }
};

TEST(Program, InputReachesOnlyWhatTakesItAfterTheHandlerRunningAndNothingAfterEnd)
{
    // A disabled menu item, a button or menu item on a hidden window, a label, or a menu that opens a submenu
    // raises nothing; the window's timer runs on regardless. Input made before the last event delivered, with
    // nothing journaled since (showing a window closes the journal), counts at that event's moment.
    seen.clear();
    forms::Runtime rt;
    Main& form = *rt.start<Main>();
    forms::Control &button = form.control("btnGo"), &timer = form.control("tmrA");
    forms::MenuItem& open = form.menuItem("mnuOpen");
    open.Enabled(false);
    for (const auto target : {forms::Target::of(open), forms::Target::of(form.control("lblNote")),
                              forms::Target::of(form.menuItem("mnuFile"))})
        rt.input(target, 0ms);
    open.Enabled(true);
    form.Visible(false);
    rt.click(button);
    rt.click(open);
    rt.advance(70ms);
    form.Show();
    rt.input(forms::Target::of(button), 30ms);
    rt.input(forms::Target::of(open), 40ms);
    // Input made inside a handler comes after it and before the next timer event; advancing the clock there
    // does nothing. Enabling a timer, or changing its interval, starts a fresh one; setting the interval it has
    // changes nothing.
    then = [&](std::string_view handler) {
        if (handler == "btnGo") { rt.click(open); rt.advance(500ms); seen += "end "; }
        if (handler == "mnuOpen") { timer.Enabled(false); timer.Enabled(true); }
    };
    rt.click(button);
    rt.advanceTo(180ms);
    timer.Interval(30);
    rt.advance(10ms);
    timer.Interval(timer.Interval());
    rt.advance(30ms);
    // End from a handler stops the program there with its status: nothing more of the handler, and no input,
    // not even input made inside it before.
    then = [&](std::string_view handler) {
        if (handler == "tmrA") { rt.click(button); rt.End(3); seen += "went on "; }
    };
    rt.advance(100ms);
    rt.click(button);
    rt.End(9);
    EXPECT_EQ(seen, "Load@0 tmrA@50 btnGo@50 mnuOpen@50 btnGo@70 end mnuOpen@70 tmrA@120 tmrA@170 tmrA@210 tmrA@240 ");
    EXPECT_EQ(rt.exitStatus(), 3);
    // A form unloaded outside its handlers is gone at once; one made outside the runtime, as a drawing test may,
    // was never loaded there.
    then = nullptr;
    Main(rt).Unload();
    form.Unload();
    EXPECT_EQ(rt.liveForms(), 0u);
}

TEST(Program, AFailedOperationEndsTheProgramThereWithStatus1AndSaysWhatFailed)
{
    // Each from a timer's handler: the error names the form, the member and what was wrong; nothing of the
    // handler runs after it, and no event. A form whose button, timer or menu item has no handler never loads.
    struct Unbound : forms::Form {
        static const forms::FormDesign& design() { return mainDesign; }
        explicit Unbound(forms::Runtime& runtime) : Form(runtime, mainDesign) {}
    };
    forms::Runtime elsewhere;
    Main& other = elsewhere.instance<Main>();
    const std::pair<std::function<void(Main&)>, std::string> cases[] = {
        {[](Main& m) { m.control("nope"); }, " has no control named nope"},
        {[](Main& m) { m.Unload(); m.control("tmrA").Enabled(false); }, ".tmrA.Enabled: the form has been unloaded"},
        {[](Main& m) { m.Unload(); m.menuItem("mnuOpen").Checked(); }, ".mnuOpen.Checked: the form has been unloaded"},
        {[](Main& m) { m.control("lblNote").Interval(); }, ".lblNote.Interval: this kind of control has no such property"},
        {[](Main& m) { for (int ms : {0, 65535, 65536}) m.control("tmrA").Interval(ms); },
         ".tmrA.Interval: invalid property value 65536 (0 to 65535)"},
        {[&other](Main& m) { m.bind(other.control("btnGo")); },
         ".btnGo.event: the control belongs to another form"},
        {[](Main& m) { m.Unload(); m.runtime().instance<Unbound>(); }, ".tmrA.Timer: no handler bound"}};
    for (const auto& [fail, error] : cases) {
        forms::Runtime rt;
        std::string reported;
        rt.onError([&reported](std::string_view e) { reported = e; });
        Main& form = *rt.start<Main>();
        seen.clear();
        then = [&form, &fail = fail](std::string_view handler) {
            if (handler == "tmrA") { fail(form); seen += "went on "; }
        };
        rt.advance(200ms);
        EXPECT_EQ(seen + reported, "tmrA@50 frmMain" + error);
        EXPECT_EQ(rt.exitStatus(), 1) << error;
        EXPECT_FALSE(rt.nextDue()) << error;
        EXPECT_LE(rt.forms().size(), 1u) << error;  // an unbound form is not loaded beside frmMain
    }
    then = nullptr;
}

TEST(InputClock, TakesStampsOnlyFromItsOwnClockAndTheLastSecond)
{
    // The runtime's clock starts 5000 ms into the platform's, and input is handled at runtime 1200 ms. A stamp
    // counts at its moment if that lies within the second before; one from the future shows another clock, and
    // from then on input counts when handled.
    forms::InputClock clock(5000ms);
    const auto moment = [&clock](std::uint64_t stamp) { return clock.moment(stamp, 1200ms).count(); };
    EXPECT_EQ((std::vector{moment(5200), moment(5199), moment(6170), moment(6201), moment(6170)}),
              (std::vector<std::chrono::milliseconds::rep>{200, 1200, 1170, 1200, 1200}));
    EXPECT_EQ(clock.stamps(), forms::InputClock::Stamps::Foreign);
}

}  // namespace
