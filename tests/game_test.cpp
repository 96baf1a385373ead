// SPDX-License-Identifier: MIT
// Zib! played on the virtual clock: what the player sees and can do, from
// start-up through duels, Stop, the skill warning and Quit. Input counts at
// the moment the player made it, whenever the program got round to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "game_play.h"

namespace {

using namespace play;
const std::string idle = "pencil1 cbStart", warning = idle + " noskill", falling = "pencil1 cbStop";
const std::string drawing = "pencil10 cbStop Zib", pressed = "pencil10 cbStop zibyou";

// At an instant in ms since start-up, a button or menu item used ("" for none), and the screen just after.
struct Step { long at; std::string_view use; std::string screen; };
using Steps = std::vector<Step>;

void follow(Game& g, const Steps& steps)
{
    for (const auto& [at, use, screen] : steps) {
        g.at(at);
        g.use(use);
        EXPECT_EQ(g.screen(), screen) << "at " << at << " ms, " << use;
    }
}

// A duel started as soon as the start-up hand-back is over, and its draw.
constexpr long start = startUpHandBack, drawn = start + draw;

// The ways into each moment of a Medium duel: the pencil halfway through its stay at every height, the draw,
// and the outcome pending, from the opponent's draw to a ms before the result window.
std::vector<Steps> duelMoments()
{
    const long opponent = drawn + reaction("mnuM"), shown = opponent + outcomePause;
    const Step zib{drawn + dropStep, "Zib", pressed};
    const std::string won = pressed + " ziboppo", lost = "pencil10 cbStop ziboppo";
    std::vector<Steps> moments = {{{drawn + dropStep, "", drawing}}, {zib, {drawn + 2 * dropStep, "", pressed}},
                                  {zib, {opponent, "", won}}, {zib, {shown - 1, "", won}},
                                  {{opponent, "", lost}}, {{shown - 1, "", lost}}};
    for (long set = 1; set <= 10; ++set)
        moments.push_back({{start + dropStep * (set - 1) + dropStep / 2, "", 
                            "pencil" + std::to_string(set) + " cbStop"}});
    for (auto& moment : moments)
        moment.insert(moment.begin(), {{start, "mnuM", idle}, {start, "cbStart", falling}});
    return moments;
}

TEST(Duel, EveryLevelIsDecidedOnTheMillisecond)
{
    // ZIB! a ms before the opponent wins, none loses, early or late presses do nothing; each on the exact ms.
    for (const auto& level : levels)
        for (bool win : {false, true}) {
            SCOPED_TRACE(std::string(level.item) + (win ? " won" : " lost"));
            Game g;
            const long opponent = drawn + reaction(level.item), shown = opponent + outcomePause;
            const std::string decided = (win ? pressed : "pencil10 cbStop") + " ziboppo";
            const std::string result = win ? "frmWin" : "frmLoose";
            follow(g, {{start, level.item, idle}, {start, "cbStart", falling}, {drawn - 1, "Zib", "pencil10 cbStop"},
                       {drawn, "", drawing}, {opponent - 1, win ? "Zib" : "", win ? pressed : drawing},
                       {opponent, "Zib", decided}, {shown - 1, "", decided}, {shown, "", result},
                       {shown + resultWindow - 1, "", result}, {shown + resultWindow, "", idle}, {9000, "", idle}});
            EXPECT_EQ(g.state(), "frmzib | checked: " + std::string(level.item) + " | shown: 1 | due: never");
        }
}

TEST(Stop, ReturnsToIdleAtOnceFromEveryMomentOfADuel)
{
    // Stop at any height of the pencil, in the draw or with the outcome pending: idle at once, no result.
    for (const auto& moment : duelMoments()) {
        Game g;
        follow(g, moment);
        follow(g, {{moment.back().at, "cbStop", idle}, {9000, "", idle}});
        EXPECT_EQ(g.state(), "frmzib | checked: mnuM | shown: 0 | due: never") << "at " << moment.back().at;
    }
}

TEST(Timing, TimersDueAtOneMillisecondFireInArmingOrderAndRepeatOnTheirBeat)
{
    // ZIB! is pressed a ms before the opponent would draw. At the start-up hand-back the timers of both hidden
    // result windows, armed before the opponent's, cut the duel off on the ms it falls due: the opponent never
    // draws. Later a win shows on the outcome timer's beat, which a long wait does not shift, and the
    // hand-back, armed before the beat's third firing, comes first on their shared ms.
    struct Story { Steps steps; std::string film; };  // the film: each event from the last step on
    const long early = startUpHandBack - draw - reaction("mnuM"), opponent = drawn + reaction("mnuM");
    const auto frame = [](auto at, const std::string& screen) { return std::to_string(at) + " " + screen + " | "; };
    const long shown = opponent + outcomePause;
    const Story stories[] = {
        {{{0, "mnuM", idle}, {early, "cbStart", falling}, {startUpHandBack - 1, "Zib", pressed}},
         frame(startUpHandBack, idle) + frame(startUpHandBack, idle)},
        {{{start, "mnuM", idle}, {start, "cbStart", falling}, {opponent - 1, "Zib", pressed}},
         frame(opponent, pressed + " ziboppo") + frame(shown, "frmWin") + frame(shown + outcomePause, "frmWin")
             + frame(shown + resultWindow, idle)}};
    for (const auto& [steps, expected] : stories) {
        Game g;
        follow(g, steps);
        std::string film;
        g.rt.afterEvent([&] { film += frame(g.rt.now().count(), g.screen()); });
        g.at(9000);
        EXPECT_EQ(film, expected);
    }
}

TEST(Stories, SkillWarningLevelsPickedMidDuelAndTheResultWindowInTheWay)
{
    // With no level chosen, Start shows the warning for its time and starts nothing. Very Easy made Very Hard
    // at the fifth height sets this opponent's time; made Very Easy in the draw, the next one's. Once the result
    // window hides the duel window, neither Stop nor the menu can be used until it hands back.
    const long vh = reaction("mnuVH"), ve = reaction("mnuVE"), ending = outcomePause + resultWindow;
    const long second = drawn + vh + ending, third = second + draw + vh + ending, lost = drawn + reaction("mnuM");
    const std::string decided = "pencil10 cbStop ziboppo";
    const Steps stories[] = {
        {{start, "cbStart", warning}, {start + skillWarning - 1, "", warning}, {start + skillWarning, "", idle},
         {9000, "", idle}},
        {{start, "mnuVE", idle}, {start, "cbStart", falling},
         {start + 4 * dropStep + dropStep / 2, "mnuVH", "pencil5 cbStop"},
         {drawn + vh - 1, "", drawing}, {drawn + vh, "", decided}, {second, "", idle}, {second, "cbStart", falling},
         {second + draw + 10, "mnuVE", drawing}, {second + draw + vh - 1, "", drawing},
         {second + draw + vh, "", decided}, {third, "cbStart", falling}, {third + draw + ve - 1, "", drawing},
         {third + draw + ve, "", decided}},
        {{start, "mnuM", idle}, {start, "cbStart", falling}, {lost + outcomePause, "cbStop", "frmLoose"},
         {lost + outcomePause, "mnuQuit", "frmLoose"}, {lost + ending, "", idle}}};
    for (const auto& steps : stories) {
        Game g;
        follow(g, steps);
    }
}

TEST(Quit, QuitOrClosingTheDuelWindowEndsTheGameInEveryState)
{
    // Quit, or a close request on the duel window, ends the program on the spot: nothing is delivered after.
    auto moments = duelMoments();
    moments.insert(moments.end(),
                   {{{startUpHandBack / 2, "", idle}}, {{drawn, "", idle}}, {{start, "cbStart", warning}}});
    for (const auto& moment : moments)
        for (bool quit : {true, false}) {
            Game g;
            follow(g, moment);
            int events = 0;
            g.rt.afterEvent([&events] { ++events; });
            const auto revision = g.form.revision();
            quit ? g.use("mnuQuit") : g.rt.close(g.form);
            g.at(9000);
            SCOPED_TRACE(std::to_string(moment.back().at) + (quit ? " ms, Quit" : " ms, close request"));
            const bool redrawn = g.form.revision() != revision;
            EXPECT_EQ(std::string(g.rt.ended() ? "ended" : "running") + (g.rt.nextDue() ? ", a timer due" : "")
                          + ", events: " + std::to_string(events) + (redrawn ? ", redrawn" : ""), "ended, events: 1");
        }
}

TEST(LateInput, CountsAtTheMomentItWasMadeHoweverLateItArrivesWithinTheJournal)
{
    // Input is handed to the runtime only when it arrives, the runtime having been advanced meanwhile; it counts
    // at the moment the player made it. A press a ms before the opponent wins however late it comes; one on his
    // ms loses. A level chosen in the drop sets this duel's opponent, even from before the journal's reach. A
    // late Stop takes back the duel, and Start pressed after it starts the next one then. A press made before
    // a result window showed cannot take the window back.
    const long ve = drawn + reaction("mnuVE"), vh = drawn + reaction("mnuVH"), shown = vh + outcomePause;
    struct Late { std::string_view use; long made, arrives; };
    struct Case { const char* what; std::string_view level; long then; std::vector<Late> late; Steps after; };
    const std::string won = pressed + " ziboppo", lost = "pencil10 cbStop ziboppo";
    std::vector<Case> cases;
    for (long late : {1, 20, 200})
        cases.push_back({"ZIB! a ms early", "mnuVH", 0, {{"Zib", vh - 1, vh - 1 + late}},
                         {{shown - 1, "", won}, {shown, "", "frmWin"}}});
    cases.insert(cases.end(), {
        {"ZIB! on the opponent's ms", "mnuVH", 0, {{"Zib", vh, vh + 20}}, {{shown, "", "frmLoose"}}},
        {"Very Hard chosen in the drop", "mnuVE", 0, {{"mnuVH", drawn - 20, drawn + 20}},
         {{vh - 1, "", drawing}, {vh, "", lost}, {shown, "", "frmLoose"}}},
        {"Very Hard chosen early in the drop", "mnuVE", 0, {{"mnuVH", start + 60, vh + 10}},
         {{vh + 10, "", lost}, {shown, "", "frmLoose"}}},
        {"Stop, then Start", "mnuVH", start + 470, {{"cbStop", start + 450, start + 480}},
         {{start + 480, "", falling}, {start + 470 + draw - 1, "", "pencil10 cbStop"}, {start + 470 + draw, "", drawing}}},
        {"Stop as the result shows", "mnuVE", 0, {{"cbStop", ve + outcomePause - 1, ve + outcomePause + 5}},
         {{ve + outcomePause + 5, "", "frmLoose"}, {ve + outcomePause + resultWindow, "", idle}}}});
    for (const auto& [what, level, then, late, after] : cases) {
        SCOPED_TRACE(what);
        Game g;
        follow(g, {{start, level, idle}, {start, "cbStart", falling}});
        if (then) follow(g, {{then, "cbStart", "pencil10 cbStop"}});
        for (const auto& [use, made, arrives] : late) {
            g.at(arrives);
            const auto& items = g.form.menuItems();
            const auto item = std::find_if(items.begin(), items.end(), [&name = use](auto& m) { return m.Name() == name; });
            g.rt.input(item != items.end() ? forms::Target::of(*item) : forms::Target::of(g.form.control(use)),
                       std::chrono::milliseconds(made));
            EXPECT_EQ(g.rt.now().count(), arrives) << "the clock went back";
        }
        follow(g, after);
    }
}

TEST(Keys, SpaceAndEnterBelongToZibFromStartUntilTheDuelIsOverAndEscapeStops)
{
    // Whatever holds the focus, an early or late Space or Enter neither stops a duel nor hides its result: in
    // a duel they only press ZIB!, when it can be pressed. Escape stops a duel and does nothing at idle. At
    // idle Space and Enter press the focused button.
    using forms::Key;
    const long vh = drawn + reaction("mnuVH");
    struct Press { long at; Key key; std::string_view focus; std::string screen; };
    const std::vector<Press> cases[] = {
        {{start, Key::Space, "cbStart", falling}, {start + 100, Key::Space, "cbStop", "pencil3 cbStop"},
         {drawn - 1, Key::Enter, "cbStop", "pencil10 cbStop"}, {drawn, Key::Enter, "cbStop", pressed},
         {drawn + 1, Key::Space, "", pressed}},
        {{start, Key::Enter, "cbStart", falling}, {vh, Key::Space, "cbStop", "pencil10 cbStop ziboppo"},
         {vh + outcomePause, Key::Space, "cbStop", "frmLoose"}},
        {{start, Key::Escape, "cbStart", idle}, {start, Key::Space, "Zib", idle}, {start, Key::Space, "cbStart",
         falling}, {drawn, Key::Escape, "Zib", idle}, {drawn + 1, Key::Escape, "cbStart", idle}}};
    for (const auto& presses : cases) {
        Game g;
        follow(g, {{start, "mnuVH", idle}});
        for (const auto& [at, key, focus, screen] : presses) {
            g.at(at);
            const auto& controls = g.form.controls();
            std::optional<std::size_t> focused;
            for (std::size_t i = 0; i < controls.size(); ++i)
                if (controls[i].Name() == focus) focused = i;
            g.rt.input(forms::Target::of(g.form, key, focused), g.rt.now());
            EXPECT_EQ(g.screen(), screen) << "at " << at << " ms, key " << static_cast<int>(key) << " on " << focus;
        }
    }
}

}  // namespace
