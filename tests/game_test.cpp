// SPDX-License-Identifier: MIT
// Zib! played on the virtual clock: timers falling due in one ms, as the
// player sees them. Random play holds the rest of the rules to the ms.
#include <gtest/gtest.h>

#include "game_play.h"

namespace {

using namespace play;

TEST(Stories, TimersDueInOneMsComeInTheOrderArmedAndNothingFlickers)
{
    // A duel at Medium due to be decided as the start-up hand-back ends: the hand-back, armed first, comes
    // first, and every event in that ms shows the duel window idle.
    Game g;
    g.use("mnuM");
    g.at(startUpHandBack - draw - reaction("mnuM"));
    g.use("cbStart");
    g.at(startUpHandBack - 1);
    g.use("Zib");
    EXPECT_EQ(g.screen(), "pencil10 cbStop zibyou");
    std::set<std::string> film;  // the screen after each event of the hand-back's ms
    g.watch = [&] { film.insert(g.screen()); };
    g.at(startUpHandBack);
    EXPECT_EQ(film, std::set<std::string>{"pencil1 cbStart"});
}

}  // namespace
