// SPDX-License-Identifier: MIT
// Seeded random play checked step by step against a small model of the game,
// and a long run of duels; all on the virtual clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <random>

#include "game_play.h"

namespace {

using play::levels;
constexpr long never = 1L << 40;

// What the player ought to see, told without looking at the game. After Start the pencil falls for 500 ms,
// the opponent draws R ms after it lands (R as checked then), and the result shows 500 ms later for a
// second. The warning lasts 3 s from its first press. At 1 s the start-up hand-backs end whatever began.
struct Model {
    long now = 0, start = never, warning = never, reaction = 0, level = -1;  // start, warning: pressed at
    bool pressed = false, ended = false;
    void idle() { start = warning = never, pressed = false; }
    // A wait of `arg` ms, or a click on a button or menu item (arg: the level's index, for a level).
    void use(std::string_view name, long arg)
    {
        now += name == "wait" && !ended ? arg : 0;
        if ((now >= 1000 && std::min(start, warning) < 1000) || now - start >= 2000 + reaction) idle();
        if (now >= warning + 3000) warning = never;
        const long d = now - start;  // ms into the duel, negative while idle
        if (ended || name == "mnuQuit" || name == "close") ended = true;
        else if (name == "cbStop" && d >= 0) idle();
        else if (name == "Zib" && d >= 500 && d < 500 + reaction) pressed = true;
        else if (name == "cbStart" && d < 0 && level >= 0) start = now, reaction = levels[level].reaction;
        else if (name == "cbStart" && d < 0) warning = std::min(warning, now);
        else if (name.starts_with("mnu")) level = arg, reaction = d < 500 ? levels[arg].reaction : reaction;
    }
    std::string screen() const
    {
        const long d = now - start, r = reaction, pencil = d < 0 ? 1 : std::min(10L, 1 + d / 50);
        if (d >= 1000 + r) return pressed ? "frmWin" : "frmLoose";
        return "pencil" + std::to_string(pencil) + (d < 0 ? " cbStart" : " cbStop")
               + (d >= 500 && d < 500 + r && !pressed ? " Zib" : "") + (pressed ? " zibyou" : "")
               + (d >= 500 + r ? " ziboppo" : "") + (warning < never ? " noskill" : "");
    }
};

// One seed: one program after another, each played until it ends and a few steps beyond, checked against
// the model and the rules a player would notice broken; the first fault is reported with the seed. Waits
// run up to 1.5 s, or often just to the next event or a ms either side (in the draw: the opponent's).
void playSeed(unsigned long seed, long steps)
{
    std::mt19937_64 rng(seed);
    std::optional<play::Game> game;
    Model model;
    // Wait, Start, Stop, ZIB!, a level, Quit, close the duel window, close the result windows; by weight.
    std::discrete_distribution<int> pick{440, 100, 50, 200, 100, 1, 1, 8};
    const char* names[] = {"wait", "cbStart", "cbStop", "Zib", "", "mnuQuit", "close", "close result"};
    for (long step = 0; step < steps; ++step) {
        if (!game || (model.ended && rng() % 16 == 0)) game.emplace(), model = {};
        play::Game& g = *game;
        const int drawn = pick(rng);  // what the player tries: a hidden window is out of reach
        const int action = drawn >= 1 && drawn <= 6 && !g.form.Visible() ? 0 : drawn;
        const long level = rng() % 5, soon = (g.rt.nextDue().value_or(g.rt.now()) - g.rt.now()).count();
        const long wait = rng() % 2 ? std::max(0L, soon - 1 + long(rng() % 3)) : long(rng() % 1501);
        const std::string_view did = action == 4 ? levels[level].item : names[action];
        if (action == 0) g.rt.advance(std::chrono::milliseconds(wait));
        if (action >= 1 && action <= 5) g.use(did);
        if (action == 6) g.rt.close(g.form);
        for (std::string_view name : {"frmWin", "frmLoose"})
            if (forms::Form* f = g.rt.find(name); f && action == 7) g.rt.close(*f);
        model.use(did, action ? level : wait);
        const std::string got = g.screen(), want = model.screen();
        int drops = 0, drop = 0, checked = 0;
        for (int k = 1; k <= 10; ++k)
            if (g.form.control("Timer" + std::to_string(k)).Enabled()) ++drops, drop = k;
        for (const auto& l : levels) checked += g.form.menuItem(l.item).Checked();
        const int pencil = got.starts_with("pencil") ? std::atoi(got.c_str() + 6) : -1;
        // The rules hold after the end too, as nothing changes any more.
        const char* broken = g.rt.ended() && g.rt.nextDue() ? "an event is due after the end"
            : got.empty() ? "no window shows"
            : drops > 1 || (drops == 1 && pencil != drop) ? "drop timers unlike the pencil"
            : pencil == 0 ? "not one whole pencil"
            : model.level >= 0 && checked != 1 ? "not one level checked"
            : got.find(" Zib") != got.npos && !g.form.control("answertime").Enabled() ? "ZIB! off the draw"
            : model.now >= 1000 && g.rt.find("frmWin") && g.rt.find("frmLoose") ? "both result windows"
            : got != want ? "unlike the model" : nullptr;
        ASSERT_FALSE(broken) << broken << ": seed " << seed << " (replay with ZIB_SEED=" << seed << "), step "
                             << step << " at " << g.rt.now().count() << " ms, after " << did
                             << "\n  expected " << want << "\n  actual   " << got;
    }
}

}  // namespace

TEST(RandomPlay, KeepsTheRulesAndDecidesEveryDuelOnTime)
{
    // Whatever a player clicks, and whenever, the game keeps its rules and decides each duel on time.
    const char *steps = std::getenv("ZIB_RANDOM_STEPS"), *one = std::getenv("ZIB_SEED");
    const long perSeed = std::max(1L, (steps ? std::atol(steps) : 1'000'000) / 100);  // 100 seeds in all
    for (long seed = one ? std::atol(one) : 1; seed <= (one ? std::atol(one) : 100) && !HasFailure(); ++seed)
        playSeed(static_cast<unsigned long>(seed), perSeed);
}

TEST(SoakPlay, HundredThousandDuelsLeaveTheDuelWindowIdle)
{
    // A hundred thousand duels in a row leave nothing behind: one form, idle, no timer running.
    play::Game g;
    const std::string outcomes[] = {"frmWin", "frmLoose", "pencil1 cbStart"};  // won, lost, stopped early
    long t = 1000, count[3] = {};
    for (long n = 0; n < 100'000; ++n) {
        const auto& [item, r] = levels[n % 5];
        const long how = n / 5 % 3, at[] = {500 + n % r, 500 + r + n % 500, n * 7919 % (r + 1000)};
        g.at(t), g.use(item), g.use("cbStart"), g.at(t + at[how]), g.use(how < 2 ? "Zib" : "cbStop");
        g.at(t + 1000 + r), ++count[how];
        ASSERT_EQ(g.screen(), outcomes[how]) << "duel " << n;
        g.at(t += 2000 + r);
        ASSERT_TRUE(g.rt.liveForms() == 1 && g.screen() == outcomes[2] && !g.rt.nextDue()) << "duel " << n;
    }
    std::cout << "soak: " << count[0] << " duels won, " << count[1] << " lost, " << count[2] << " stopped; "
              << g.rt.liveForms() << " live form\n";
}
