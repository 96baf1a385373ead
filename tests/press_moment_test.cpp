// SPDX-License-Identifier: MIT
// Input counts at the moment the player made it, whenever the program got
// round to it: the duel is judged by the order of press and opponent, and a
// late Start does not shift the drop; input for a window since unloaded is lost.
#include <gtest/gtest.h>

#include <string>

#include "game_play.h"

namespace {

using play::Input;
using std::chrono::milliseconds;

// A button pressed at `made` ms but only now handed to the runtime, which may have been advanced past it.
void press(play::Game& g, Input button, long made)
{
    g.rt.input(forms::Target::of(g.form.control(play::name(button))), milliseconds(made));
}

TEST(PressMoment, ZibJudgedByWhenItWasPressedNotWhenItWasHandled)
{
    // Very Hard from 1 s: the draw at 1500, the opponent at 1573. The press reaches a runtime advanced only to
    // 1560, so the opponent's moment, if due by the press, is delivered first. A close request made meanwhile
    // for the start-up result window, already unloaded, finds nothing and leaves the duel alone.
    struct Case { long made; std::string result; };
    for (const auto& [made, result] : {Case{1500, "frmWin"}, Case{1572, "frmWin"}, Case{1573, "frmLoose"}}) {
        SCOPED_TRACE(made);
        play::Game g;
        const auto gone = forms::Target::of(*g.rt.find("frmLoose"));
        g.at(1000);
        g.use(Input::mnuVH);
        press(g, Input::cbStart, 1000);
        g.at(1560);
        g.rt.input(gone, milliseconds(1560));
        press(g, Input::Zib, made);
        g.at(2072);
        EXPECT_EQ(g.screen(), "pencil10 cbStop" + std::string(result == "frmWin" ? " zibyou" : "") + " ziboppo");
        g.at(2073);
        EXPECT_EQ(g.screen(), result);
    }
}

TEST(PressMoment, LateStartStillDropsThePencilFromItsMoment)
{
    // Start is handled 30 ms after it was made. Made at 2000, the drop runs from 2000. Made at 990, it comes
    // after the start-up reset delivered at 1000 and runs from there, or the reset would cut it off.
    struct Case { long made, handled, from; };
    for (const auto& [made, handled, from] : {Case{2000, 2030, 2000}, Case{990, 1020, 1000}}) {
        SCOPED_TRACE(made);
        play::Game g;
        g.use(Input::mnuE);
        g.at(handled);
        press(g, Input::cbStart, made);
        std::string seen;  // at 49, 50 and 500 ms into the drop
        for (long ms : {49, 50, 500}) { g.at(from + ms); seen += g.screen() + " | "; }
        EXPECT_EQ(seen, "pencil1 cbStop | pencil2 cbStop | pencil10 cbStop Zib | ");
    }
}

}  // namespace
