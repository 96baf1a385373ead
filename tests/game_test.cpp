// SPDX-License-Identifier: MIT
// Zib! played on the virtual clock: what the player sees. Input counts at
// the moment the player made it, whenever the program got round to it.
#include <gtest/gtest.h>


#include "game_play.h"

namespace {

using namespace play;
const std::string idle = "pencil1 cbStart", falling = "pencil1 cbStop", landed = "pencil10 cbStop";
const std::string drawing = landed + " Zib", pressed = landed + " zibyou", won = pressed + " ziboppo";

TEST(Stories, WhatThePlayerSeesOnTimeAndLate)
{
    // Each story picks its level at start-up. A step is something used in the duel window ("" for nothing) at
    // an instant in ms, arriving `late` ms after it was made, and the screen once it has arrived. With nothing
    // used, every event in that ms shows it: nothing flickers.
    struct Step { long at; std::string_view use; std::string screen; long late = 0; };
    struct Story { const char* what; std::string_view level; std::vector<Step> steps; };
    constexpr long start = startUpHandBack, drawn = start + draw, m = drawn + reaction("mnuM");
    const Story stories[] = {
        {"won at Medium by a press a ms before the opponent's, arriving 200 ms late; one before the draw does nothing",
         "mnuM",
         {{start, "cbStart", falling}, {start + 4 * dropStep + 25, "", "pencil5 cbStop"}, {drawn - 1, "Zib", landed},
          {drawn, "", drawing}, {m - 1, "Zib", won, 200}, {m + outcomePause - 1, "", won},
          {m + outcomePause, "", "frmWin"}, {m + outcomePause + resultWindow - 1, "", "frmWin"},
          {m + outcomePause + resultWindow, "", idle}}},
        {"a duel due to be decided as the start-up hand-back ends: the hand-back, armed first, comes first", "mnuM",
         {{start - draw - reaction("mnuM"), "cbStart", falling}, {start - 1, "Zib", pressed}, {start, "", idle}}}};
    for (const auto& [what, level, steps] : stories) {
        SCOPED_TRACE(what);
        Game g;
        g.use(level);
        for (const auto& [at, use, screen, late] : steps) {
            std::vector<std::string> film;
            g.watch = [&, when = at + late] { if (g.now() == when) film.push_back(g.screen()); };
            g.at(at + late);
            g.use(use, at);
            EXPECT_EQ(g.screen(), screen) << "at " << at << " ms, " << use << " arriving " << late << " ms late";
            EXPECT_EQ(g.now(), at + late) << "the clock went back";
            if (!use.empty()) film.clear();  // the screen as it was before the input, in the same ms
            for (const auto& frame : film) EXPECT_EQ(frame, screen) << "between events at " << at << " ms";
        }
    }
}

}  // namespace
