// SPDX-License-Identifier: MIT
// Zib! played on the virtual clock: what the player sees and can do, from
// start-up through duels, Stop, the skill warning and Quit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game_play.h"

namespace {

using play::levels;
using enum play::Input;
const std::string idle = "pencil1 cbStart", warning = idle + " noskill", falling = "pencil1 cbStop";

using Game = play::Game;

// At an instant in ms since start-up, a button or menu item used (if any), and the screen just after.
struct Step { long at; play::Input use; std::string screen; };
using Steps = std::vector<Step>;

void follow(Game& g, const Steps& steps)
{
    for (const auto& [at, use, screen] : steps) {
        g.at(at);
        g.use(use);
        EXPECT_EQ(g.screen(), screen) << "at " << at << " ms, " << play::name(use);
    }
}

// The ways into each moment of a Medium duel started at 1 s: the pencil at every height, the draw at 1.5 s,
// and the outcome pending from the opponent's draw at 1.76 s to a ms before its window.
std::vector<Steps> duelMoments()
{
    const Step zib{1550, Zib, "pencil10 cbStop zibyou"};
    const std::string won = zib.screen + " ziboppo", lost = "pencil10 cbStop ziboppo";
    std::vector<Steps> moments = {{{1600, nothing, "pencil10 cbStop Zib"}}, {zib, {1600, nothing, zib.screen}},
                                  {zib, {1760, nothing, won}}, {zib, {2259, nothing, won}},
                                  {{1760, nothing, lost}}, {{2259, nothing, lost}}};
    for (long set = 1; set <= 10; ++set)
        moments.push_back({{975 + 50 * set, nothing, "pencil" + std::to_string(set) + " cbStop"}});
    for (auto& moment : moments)
        moment.insert(moment.begin(), {{1000, mnuM, idle}, {1000, cbStart, falling}});
    return moments;
}

TEST(Duel, EveryLevelIsDecidedOnTheMillisecond)
{
    // ZIB! a ms before the opponent wins, none loses, early or late presses do nothing; each on the exact ms.
    for (const auto& [item, r] : levels)
        for (bool win : {false, true}) {
            SCOPED_TRACE(std::string(play::name(item)) + (win ? " won" : " lost"));
            Game g;
            const std::string drawn = "pencil10 cbStop" + std::string(win ? " zibyou" : "") + " ziboppo";
            const std::string result = win ? "frmWin" : "frmLoose";
            follow(g, {{1000, item, idle}, {1000, cbStart, falling}, {1499, Zib, "pencil10 cbStop"},
                       {1500, nothing, "pencil10 cbStop Zib"},
                       {1499 + r, win ? Zib : nothing, win ? "pencil10 cbStop zibyou" : "pencil10 cbStop Zib"},
                       {1500 + r, Zib, drawn}, {1999 + r, nothing, drawn}, {2000 + r, nothing, result},
                       {2999 + r, nothing, result}, {3000 + r, nothing, idle}, {9000, nothing, idle}});
            EXPECT_EQ(g.state(), "frmzib | checked: " + std::string(play::name(item)) + " | shown: 1 | due: never");
        }
}

TEST(Stop, ReturnsToIdleAtOnceFromEveryMomentOfADuel)
{
    // Stop at any height of the pencil, in the draw or with the outcome pending: idle at once, no result.
    for (const auto& moment : duelMoments()) {
        Game g;
        follow(g, moment);
        follow(g, {{moment.back().at, cbStop, idle}, {9000, nothing, idle}});
        EXPECT_EQ(g.state(), "frmzib | checked: mnuM | shown: 0 | due: never") << "at " << moment.back().at;
    }
}

TEST(Timing, TimersDueAtOneMillisecondFireInArmingOrderAndRepeatOnTheirBeat)
{
    // ZIB! is pressed a ms before the opponent would draw. At 1 s the start-up hand-backs of both hidden result
    // windows, armed before the opponent's timer, cut the duel off on the ms it falls due: the opponent never
    // draws. Later a win shows on the outcome timer's 500 ms beat, which a long wait does not shift, and the
    // hand-back, armed before the beat's third firing, comes first on their shared ms.
    struct Story { Steps steps; std::string film; };  // the film: each event from the last step on
    const Story stories[] = {
        {{{0, mnuM, idle}, {240, cbStart, falling}, {999, Zib, "pencil10 cbStop zibyou"}},
         "1000 pencil1 cbStart | 1000 pencil1 cbStart | "},
        {{{1000, mnuM, idle}, {1000, cbStart, falling}, {1759, Zib, "pencil10 cbStop zibyou"}},
         "1760 pencil10 cbStop zibyou ziboppo | 2260 frmWin | 2760 frmWin | 3260 pencil1 cbStart | "}};
    for (const auto& [steps, expected] : stories) {
        Game g;
        follow(g, steps);
        std::string film;
        g.rt.afterEvent([&] { film += std::to_string(g.rt.now().count()) + " " + g.screen() + " | "; });
        g.at(9000);
        EXPECT_EQ(film, expected);
    }
}

TEST(Stories, SkillWarningLevelsPickedMidDuelAndTheResultWindowInTheWay)
{
    // With no level chosen, Start shows the warning for exactly 3000 ms and starts nothing. Very Easy made Very
    // Hard at set 5 sets this opponent at 73 ms; made Very Easy in the draw, the next. Once the result window
    // hides the duel window, neither Stop nor the menu can be used until it hands back.
    const std::string draw = "pencil10 cbStop Zib", drawn = "pencil10 cbStop ziboppo";
    const Steps stories[] = {
        {{1000, cbStart, warning}, {3999, nothing, warning}, {4000, nothing, idle}, {9000, nothing, idle}},
        {{1000, mnuVE, idle}, {1000, cbStart, falling}, {1225, mnuVH, "pencil5 cbStop"}, {1572, nothing, draw},
         {1573, nothing, drawn}, {3073, nothing, idle}, {3073, cbStart, falling}, {3583, mnuVE, draw},
         {3645, nothing, draw}, {3646, nothing, drawn}, {5146, cbStart, falling}, {6095, nothing, draw},
         {6096, nothing, drawn}},
        {{1000, mnuM, idle}, {1000, cbStart, falling}, {2260, cbStop, "frmLoose"}, {2260, mnuQuit, "frmLoose"},
         {3260, nothing, idle}}};
    for (const auto& steps : stories) {
        Game g;
        follow(g, steps);
    }
}

TEST(Quit, QuitOrClosingTheDuelWindowEndsTheGameInEveryState)
{
    // Quit, or a close request on the duel window, ends the program on the spot: nothing is delivered after.
    auto moments = duelMoments();
    moments.insert(moments.end(), {{{500, nothing, idle}}, {{1500, nothing, idle}}, {{1000, cbStart, warning}}});
    for (const auto& moment : moments)
        for (bool quit : {true, false}) {
            Game g;
            follow(g, moment);
            int events = 0;
            g.rt.afterEvent([&events] { ++events; });
            const auto revision = g.form.revision();
            quit ? g.use(mnuQuit) : g.rt.close(g.form);
            g.at(9000);
            SCOPED_TRACE(std::to_string(moment.back().at) + (quit ? " ms, Quit" : " ms, close request"));
            const bool redrawn = g.form.revision() != revision;
            EXPECT_EQ(std::string(g.rt.ended() ? "ended" : "running") + (g.rt.nextDue() ? ", a timer due" : "")
                          + ", events: " + std::to_string(events) + (redrawn ? ", redrawn" : ""), "ended, events: 1");
        }
}

}  // namespace
