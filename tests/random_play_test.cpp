// SPDX-License-Identifier: MIT
// Seeded random play checked step by step against a small model of the game,
// on the virtual clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "game_play.h"

namespace {

using namespace play;
constexpr long never = 1L << 30;  // 12 days: no program here runs that long, and it fits a 32-bit long
constexpr long toHandBack = draw + outcomePause + resultWindow;  // Start to hand-back, less the opponent's time

// What the random player does, with its weight: wait, Start, Stop, ZIB!, pick a level, Quit, close the duel
// window, close the result windows.
enum Action { Wait, Start, Stop, Press, Level, Quit, Close, CloseResult };
constexpr int weights[] = {440, 100, 50, 200, 100, 1, 1, 8};
constexpr std::string_view inputs[] = {"", "cbStart", "cbStop", "Zib", "", "mnuQuit", "", ""};
constexpr const char* actionNames[] = {"wait", "Start", "Stop", "ZIB!", "level", "Quit", "close", "close result"};

// What the player ought to see, told without looking at the game. After Start the pencil falls to the draw,
// the opponent draws R ms after it lands (R as checked then), and the result shows after the outcome pause
// for its time, then hands back. The warning lasts from its first press. The start-up hand-backs end
// whatever began before them.
struct Model {
    long now = 0, start = never, warning = never, reaction = 0, level = -1, results = 0;  // start, warning: pressed at
    bool pressed = false, ended = false;
    void idle() { start = warning = never; pressed = false; }
    // A wait of `arg` ms, or an action (arg: the level's index, for a level).
    void use(Action did, long arg)
    {
        now += did == Wait && !ended ? arg : 0;
        if (now >= startUpHandBack && std::min(start, warning) < startUpHandBack) idle();
        else if (now - start >= toHandBack + reaction) { ++results; idle(); }
        if (now >= warning + skillWarning) warning = never;
        const long d = now - start;  // ms into the duel, negative while idle
        if (ended || did == Quit || did == Close) ended = true;
        else if (did == Stop && d >= 0) idle();
        else if (did == Press && d >= draw && d < draw + reaction) pressed = true;
        else if (did == Start && d < 0 && level >= 0) { start = now; reaction = play::reaction(levels[level].item); }
        else if (did == Start && d < 0) warning = std::min(warning, now);
        else if (did == Level) { level = arg; reaction = d < draw ? play::reaction(levels[arg].item) : reaction; }
    }
    std::string screen() const
    {
        const long d = now - start, r = reaction, pencil = d < 0 ? 1 : std::min(10L, 1 + d / dropStep);
        if (d >= draw + r + outcomePause) return pressed ? "frmWin" : "frmLoose";
        return "pencil" + std::to_string(pencil) + (d < 0 ? " cbStart" : " cbStop")
               + (d >= draw && d < draw + r && !pressed ? " Zib" : "") + (pressed ? " zibyou" : "")
               + (d >= draw + r ? " ziboppo" : "") + (warning < never ? " noskill" : "");
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
    std::discrete_distribution<int> pick(std::begin(weights), std::end(weights));
    for (long step = 0; step < steps; ++step) {
        if (!game || (model.ended && rng() % 16 == 0)) { game.emplace(); model = {}; }
        play::Game& g = *game;
        const auto drawn = static_cast<Action>(pick(rng));  // what the player tries: a hidden window is out of reach
        const Action action = drawn >= Start && drawn <= Close && !g.form.Visible() ? Wait : drawn;
        const auto level = static_cast<long>(rng() % std::size(levels));
        const auto soon = static_cast<long>((g.rt.nextDue().value_or(g.rt.now()) - g.rt.now()).count());
        const long wait = rng() % 2 ? std::max(0L, soon - 1 + long(rng() % 3)) : long(rng() % 1501);
        const std::string_view input = action == Level ? levels[level].item : inputs[action];
        if (action == Wait) g.rt.advance(std::chrono::milliseconds(wait));
        g.use(input);
        if (action == Close) g.rt.close(g.form);
        for (std::string_view name : {"frmWin", "frmLoose"})
            if (forms::Form* f = g.rt.find(name); f && action == CloseResult) g.rt.close(*f);
        model.use(action, action == Wait ? wait : level);
        const std::string got = g.screen(), want = model.screen();
        const std::string_view item = model.level < 0 ? "" : levels[model.level].item;
        const std::string idle = "frmzib | checked: " + std::string(item) + " | shown: "
                                 + std::to_string(model.results) + " | due: never";  // one loading per result
        int drops = 0, drop = 0;
        for (int k = 1; k <= 10; ++k)
            if (g.form.control("Timer" + std::to_string(k)).Enabled()) { ++drops; drop = k; }
        const int pencil = got.starts_with("pencil") ? std::atoi(got.c_str() + 6) : -1;
        // The rules hold after the end too, as nothing changes any more.
        const char* broken = g.rt.ended() && g.rt.nextDue() ? "an event is due after the end"
            : got.empty() ? "no window shows"
            : drops > 1 || (drops == 1 && pencil != drop) ? "drop timers unlike the pencil"
            : pencil == 0 ? "not one whole pencil"
            : model.level >= 0 && g.checked() != item ? "not the level picked checked"
            : got.find(" Zib") != got.npos && !g.form.control("answertime").Enabled() ? "ZIB! off the draw"
            : model.now >= startUpHandBack && g.rt.find("frmWin") && g.rt.find("frmLoose") ? "both result windows"
            : got != want ? "unlike the model"
            : model.now >= startUpHandBack && std::min(model.start, model.warning) == never && !model.ended
                  && g.state() != idle
                ? "idle, but a form or timer left, or not one result window for each duel decided"
            : nullptr;
        ASSERT_FALSE(broken) << broken << ": seed " << seed << " (replay with ZIB_SEED=" << seed << "), step "
                             << step << " at " << g.rt.now().count() << " ms, after " << actionNames[action]
                             << " " << input << "\n  expected " << want << "\n  actual   " << got
                             << "\n  behind   " << g.state();
    }
}

}  // namespace

TEST(RandomPlay, KeepsTheRulesAndDecidesEveryDuelOnTime)
{
    // Whatever a player clicks, and whenever, the game keeps its rules and decides each duel on time. Each
    // run of the suite in the same program plays seeds of its own.
    static long runs = 0;
    const char *steps = std::getenv("ZIB_RANDOM_STEPS"), *one = std::getenv("ZIB_SEED");
    const long perSeed = std::max(1L, (steps ? std::atol(steps) : 1'000'000) / 100);  // 100 seeds in all
    const long first = one ? std::atol(one) : 1 + 100 * runs++, last = one ? first : first + 99;
    for (long seed = first; seed <= last && !HasFailure(); ++seed)
        playSeed(static_cast<unsigned long>(seed), perSeed);
}

namespace {

// One piece of the random player's input: a button, a menu item or a key (with the button focused), by name.
struct Made { long at; std::string_view use; std::optional<forms::Key> key; std::string_view focus; };

forms::Target targetOf(play::Game& g, const Made& made)
{
    for (const auto& item : g.form.menuItems())
        if (item.Name() == made.use) return forms::Target::of(item);
    if (!made.key) return forms::Target::of(g.form.control(made.use));
    std::optional<std::size_t> focused;
    const auto controls = g.form.controls();
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].Name() == made.focus) focused = i;
    return forms::Target::of(g.form, *made.key, focused);
}

// What a game ends in: the screen, the level checked, the forms loaded and the next timer, and the result
// windows shown on the way, in order.
struct Ending {
    play::Game g;
    std::string results;
    std::set<std::uint64_t> seen;
    // The moments at which a window shows or hides, as they become known: the outcome's pause after the
    // opponent's draw, and each result window's hand-back after its loading.
    std::vector<long> changes{startUpHandBack};
    Ending()
    {
        g.rt.afterEvent([this] {
            const long now = static_cast<long>(g.rt.now().count());
            for (std::string_view name : {"frmWin", "frmLoose"})
                if (const forms::Form* f = g.rt.find(name); f && seen.insert(f->loading()).second) {
                    changes.push_back(now + resultWindow);
                    if (f->Visible()) results += std::string(name) + " ";
                }
            if (g.form.control("Wintime").Enabled() || g.form.control("Loosetime").Enabled())
                changes.push_back(now + outcomePause);
        });
        for (const auto& f : g.rt.forms()) seen.insert(f->loading());
    }
    std::string told() const { return g.screen() + " | " + g.state() + " | " + results; }
};

}  // namespace

TEST(LatePlay, EveryInputLateByUpToTheJournalsSpanEndsAsThoughItCameOnTime)
{
    // Random play given on time, and the same play with each input arriving up to the journal's span late
    // (in the order made), end in the same state with the same results. The player acts only where no window
    // shows or hides within the span: what showed cannot be taken back.
    using forms::Key;
    const long span = forms::Runtime::journalSpan.count();
    const Made choices[] = {{0, "cbStart", {}, ""}, {0, "cbStart", {}, ""}, {0, "cbStop", {}, ""}, {0, "Zib", {}, ""},
        {0, "Zib", {}, ""}, {0, "mnuVE", {}, ""}, {0, "mnuVH", {}, ""}, {0, "mnuM", {}, ""},
        {0, "", Key::Space, "cbStop"}, {0, "", Key::Enter, "cbStart"}, {0, "", Key::Escape, ""},
        {0, "", Key::Space, ""}};
    std::uint64_t rewinds = 0;
    for (unsigned long seed = 1; seed <= 300 && !HasFailure(); ++seed) {
        std::mt19937_64 rng(seed);
        Ending onTime, late;
        std::vector<Made> made;
        long t = 0;
        for (int n = 0; n < 120; ++n) {
            auto& g = onTime.g;
            // Often just onto the next event, or a ms either side of it.
            const auto soon = static_cast<long>(g.rt.nextDue().value_or(g.rt.now()).count());
            t = std::max(t, rng() % 2 ? soon - 1 + long(rng() % 3) : t + long(rng() % 300));
            g.at(t);
            const auto& changes = onTime.changes;
            if (!g.form.Visible() ||
                std::any_of(changes.begin(), changes.end(), [&](long c) { return c > t && c <= t + span + 1; }))
                continue;
            Made m = choices[rng() % std::size(choices)];
            m.at = t;
            g.rt.input(targetOf(g, m), std::chrono::milliseconds(t));
            made.push_back(m);
        }
        long arrives = 0;
        for (const Made& m : made) {
            arrives = std::max(arrives, m.at + long(rng() % (span + 1)));
            late.g.at(arrives);
            late.g.rt.input(targetOf(late.g, m), std::chrono::milliseconds(m.at));
        }
        onTime.g.at(t + 3000);
        late.g.at(t + 3000);
        rewinds += late.g.rt.rewinds();
        ASSERT_EQ(late.told(), onTime.told()) << "seed " << seed << ", " << made.size() << " inputs";
    }
    EXPECT_GT(rewinds, 6000u) << "late input hardly ever went back";
}
