// SPDX-License-Identifier: MIT
// Zib! played on the virtual clock: what the player sees and can do, from
// start-up through duels, Stop, the skill warning and Quit. Input counts at
// the moment the player made it, whenever the program got round to it.
#include <gtest/gtest.h>

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

TEST(PressMoment, ZibJudgedByWhenItWasPressedNotWhenItWasHandled)
{
    // Very Hard from the start-up hand-back. The press reaches a runtime advanced only to 60 ms into the draw,
    // so the opponent's moment, if due by the press, is delivered first. A close request made meanwhile for a
    // start-up result window, already unloaded, finds nothing and leaves the duel alone.
    const long opponent = drawn + reaction("mnuVH"), handled = drawn + 60;
    struct Case { long made; std::string result; };
    const Case cases[] = {{drawn, "frmWin"}, {opponent - 1, "frmWin"}, {opponent, "frmLoose"}};
    for (const auto& [made, result] : cases) {
        SCOPED_TRACE(made);
        Game g;
        // A button pressed at `made` ms but only now handed to the runtime, which may have been advanced past it.
        const auto press = [&g](std::string_view button, long at) {
            g.rt.input(forms::Target::of(g.form.control(button)), std::chrono::milliseconds(at));
        };
        const auto gone = forms::Target::of(*g.rt.find("frmLoose"));
        g.at(start);
        g.use("mnuVH");
        press("cbStart", start);
        g.at(handled);
        g.rt.input(gone, std::chrono::milliseconds(handled));
        press("Zib", made);
        g.at(opponent + outcomePause - 1);
        EXPECT_EQ(g.screen(), "pencil10 cbStop" + std::string(result == "frmWin" ? " zibyou" : "") + " ziboppo");
        g.at(opponent + outcomePause);
        EXPECT_EQ(g.screen(), result);
    }
}

}  // namespace
