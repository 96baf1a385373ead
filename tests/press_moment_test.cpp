// SPDX-License-Identifier: MIT
// Input counts at the moment the player made it, whenever the program got
// round to it: the duel is judged by the order of press and opponent, and a
// late Start does not shift the drop; input for a window since unloaded is lost.
#include <gtest/gtest.h>

#include <string>

#include "game_play.h"

namespace {

using namespace play;
using std::chrono::milliseconds;

// A button pressed at `made` ms but only now handed to the runtime, which may have been advanced past it.
void press(Game& g, std::string_view button, long made)
{
    g.rt.input(forms::Target::of(g.form.control(button)), milliseconds(made));
}

TEST(PressMoment, ZibJudgedByWhenItWasPressedNotWhenItWasHandled)
{
    // Very Hard from the start-up hand-back. The press reaches a runtime advanced only to 60 ms into the draw,
    // so the opponent's moment, if due by the press, is delivered first. A close request made meanwhile for a
    // start-up result window, already unloaded, finds nothing and leaves the duel alone.
    const long drawn = startUpHandBack + draw, opponent = drawn + reaction("mnuVH"), handled = drawn + 60;
    struct Case { long made; std::string result; };
    const Case cases[] = {{drawn, "frmWin"}, {opponent - 1, "frmWin"}, {opponent, "frmLoose"}};
    for (const auto& [made, result] : cases) {
        SCOPED_TRACE(made);
        Game g;
        const auto gone = forms::Target::of(*g.rt.find("frmLoose"));
        g.at(startUpHandBack);
        g.use("mnuVH");
        press(g, "cbStart", startUpHandBack);
        g.at(handled);
        g.rt.input(gone, milliseconds(handled));
        press(g, "Zib", made);
        g.at(opponent + outcomePause - 1);
        EXPECT_EQ(g.screen(), "pencil10 cbStop" + std::string(result == "frmWin" ? " zibyou" : "") + " ziboppo");
        g.at(opponent + outcomePause);
        EXPECT_EQ(g.screen(), result);
    }
}

TEST(PressMoment, LateStartStillDropsThePencilFromItsMoment)
{
    // Start is handled 30 ms after it was made. Made after the start-up hand-back, the drop runs from its moment.
    // Made before, it comes after the hand-back, delivered first, and runs from there, or it would be cut off.
    struct Case { long made, from; };
    const long later = 2 * startUpHandBack, early = startUpHandBack - 10;
    for (const auto& [made, from] : {Case{later, later}, Case{early, startUpHandBack}}) {
        SCOPED_TRACE(made);
        Game g;
        g.use("mnuE");
        g.at(made + 30);
        press(g, "cbStart", made);
        std::string seen;  // a ms before the first drop step, at it, and at the draw
        for (long ms : {dropStep - 1, dropStep, draw}) { g.at(from + ms); seen += g.screen() + " | "; }
        EXPECT_EQ(seen, "pencil1 cbStop | pencil2 cbStop | pencil10 cbStop Zib | ");
    }
}

}  // namespace
