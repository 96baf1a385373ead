// SPDX-License-Identifier: MIT
// Seeded random play checked step by step against a small model of the game,
// and a long run of duels; all on the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

#include "duel/frmzib.h"
#include "results/result_windows.h"

namespace {

using namespace std::chrono_literals;
using ms = std::chrono::milliseconds;

constexpr std::array<std::string_view, 5> levels = {"mnuVE", "mnuE", "mnuM", "mnuH", "mnuVH"};
constexpr std::array<int, 5> reactions = {450, 350, 260, 175, 73};

long fromEnv(const char* name, long fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::strtol(value, nullptr, 10) : fallback;
}

// What the player sees, and the timers behind it.
struct Screen {
    ms now{0};
    bool ended = false, duel = true, win = false, winLoaded = true, loose = false, looseLoaded = true;
    bool start = true, stop = false, zib = false, zibyou = false, ziboppo = false, noskill = false;
    int pencil = 1, drop = 0;  // the one pencil set drawn in full and alone, else 0; the one drop timer on, -1: several
    bool answering = false;
    int outcome = 0, level = -1;  // 1: Wintime runs, 2: Loosetime, 3: both; the one level checked, -2: several
    std::size_t live = 3;
    bool operator==(const Screen&) const = default;
};

std::string describe(const Screen& s)
{
    std::ostringstream o;
    o << "t=" << s.now.count() << " ended=" << s.ended << " duel=" << s.duel << " win=" << s.winLoaded << s.win
      << " loose=" << s.looseLoaded << s.loose << " start/stop/zib=" << s.start << s.stop << s.zib
      << " you/oppo/noskill=" << s.zibyou << s.ziboppo << s.noskill << " pencil=" << s.pencil << " drop=" << s.drop
      << " answer=" << s.answering << " outcome=" << s.outcome << " level=" << s.level << " live=" << s.live;
    return o.str();
}

// The real game, its busiest controls looked up once.
struct Game {
    forms::Runtime rt;
    duel::frmzib& form = *rt.start<duel::frmzib>();
    forms::Control &start = form.control("cbStart"), &stop = form.control("cbStop"), &zib = form.control("Zib");
    std::array<forms::Control*, 10> drops{};
    std::array<std::array<forms::Control*, 4>, 10> pencils{};  // set K is pK1..pK4, set 10 is p01..p04
    Game()
    {
        for (int k = 0; k < 10; ++k) {
            drops[k] = &form.control("Timer" + std::to_string(k + 1));
            for (int m = 0; m < 4; ++m)
                pencils[k][m] = &form.control("p" + std::to_string((k + 1) % 10) + std::to_string(m + 1));
        }
    }
    bool shows(std::string_view label) const { return form.control(label).Visible(); }
    bool runs(std::string_view timer) const { return form.control(timer).Enabled(); }
    forms::Form* shownResult() const
    {
        forms::Form *w = rt.find<results::frmWin>(), *l = rt.find<results::frmLoose>();
        return w && w->Visible() ? w : l && l->Visible() ? l : nullptr;
    }
    Screen observe() const
    {
        const forms::Form *w = rt.find<results::frmWin>(), *l = rt.find<results::frmLoose>();
        Screen s{rt.now(), rt.ended(), form.Visible(), w && w->Visible(), w != nullptr, l && l->Visible(), l != nullptr,
                 start.Enabled(), stop.Enabled(), zib.Enabled(), shows("zibyou"), shows("ziboppo"), shows("noskill"),
                 0, 0, runs("answertime"), int{runs("Wintime")} + 2 * int{runs("Loosetime")}, -1, rt.liveForms()};
        int parts = 0;
        for (int k = 0; k < 10; ++k) {
            const auto on = std::ranges::count_if(pencils[k], [](auto* c) { return c->Visible(); });
            parts += static_cast<int>(on), s.pencil = on == 4 ? k + 1 : s.pencil;
            s.drop = drops[k]->Enabled() ? (s.drop ? -1 : k + 1) : s.drop;
        }
        s.pencil = parts == 4 ? s.pencil : 0;
        for (int i = 0; i < 5; ++i)
            s.level = form.menuItem(levels[i]).Checked() ? (s.level == -1 ? i : -2) : s.level;
        return s;
    }
};

// How the game ought to behave, told without looking at it.
struct Model {
    enum Phase { Idle, Drop, Draw, Outcome, Shown } phase = Idle;
    ms now{0}, since{0};  // since: when the phase began
    int reaction = 0, level = -1;
    bool pressed = false, startup = true, ended = false;
    std::optional<ms> noskillUntil;
    long wins = 0, losses = 0;
    std::optional<ms> phaseEnd() const
    {
        constexpr int lasts[] = {0, 500, 0, 500, 1000};
        return phase == Idle ? std::nullopt : std::optional(since + ms(phase == Draw ? reaction : lasts[phase]));
    }
    void idle() { phase = Idle, noskillUntil.reset(); }
    void advanceTo(ms time)
    {
        while (!ended) {
            std::optional<ms> next = phaseEnd();
            for (auto other : {startup ? std::optional(1000ms) : std::nullopt, noskillUntil})
                next = other && (!next || *other < *next) ? other : next;
            if (!next || *next > time)
                break;
            now = *next;
            if (startup && now == 1000ms) {  // the start-up hand-backs come first of all that is due then
                startup = false, idle();
                continue;
            }
            noskillUntil = noskillUntil == now ? std::nullopt : noskillUntil;
            if (phaseEnd() != now)
                continue;
            phase == Shown ? idle() : void(phase = Phase(phase + 1));
            if (phase == Draw)
                reaction = reactions[level], pressed = false;  // the level counts at the draw
            wins += phase == Outcome && pressed, losses += phase == Outcome && !pressed, since = now;
        }
        now = ended ? now : time;
    }
    void clickStart()  // with no level, the warning shows; pressed again it stays 3 s from the first press
    {
        if (!ended && phase == Idle && level >= 0)
            phase = Drop, since = now;
        else if (!ended && phase == Idle)
            noskillUntil = noskillUntil.value_or(now + 3000ms);
    }
    Screen expected() const
    {
        const bool shown = phase == Shown, won = phase >= Outcome && pressed, lost = phase >= Outcome && !pressed;
        const int pencil = phase == Idle ? 1 : phase == Drop ? 1 + static_cast<int>((now - since) / 50ms) : 10;
        return {now, ended, !shown, shown && won, startup || (shown && won), shown && lost, startup || (shown && lost),
                phase == Idle, phase != Idle, phase == Draw && !pressed, phase >= Draw && pressed, phase >= Outcome,
                noskillUntil.has_value(), pencil, phase == Drop ? pencil : 0, phase == Draw, won ? 1 : lost ? 2 : 0,
                level, std::size_t{1} + (startup ? 2 : 0) + (shown ? 1 : 0)};
    }
};

// The rules a player would notice broken; empty while they all hold.
std::string brokenRule(const Screen& s, const Game& g, bool levelChosen)
{
    const auto due = g.rt.nextDue();
    const bool on = !s.ended;
    const std::pair<bool, const char*> rules[] = {
        {s.ended && due, "an event is still due after the end"},
        {on && !s.duel && !s.win && !s.loose, "no window is visible"},
        {on && (s.drop < 0 || (s.drop > 0 && s.pencil != s.drop)), "the drop timers and the pencil disagree"},
        {on && s.duel && s.pencil == 0, "the pencil is not drawn exactly once"},
        {on && levelChosen && s.level < 0, "not exactly one level is checked"},
        {on && s.zib && (!s.answering || s.ziboppo), "ZIB! is enabled outside the draw"},
        {on && s.now >= 1000ms && s.winLoaded && s.looseLoaded, "both result windows are loaded after 1 s"},
        {on && due && *due <= s.now, "a timer event is overdue"},
    };
    for (const auto& [broken, what] : rules)
        if (broken)
            return what;
    return "";
}

// How long to wait: anything up to 1.5 s, or often just the instant that matters, or a millisecond either side.
ms pickWait(std::mt19937_64& rng, const Game& g, const Model& m)
{
    const auto due = g.rt.nextDue(), end = m.phaseEnd();
    const bool draw = m.phase == Model::Draw;
    const std::optional<ms> marks[] = {due, due ? *due - 1ms : due, due ? *due + 1ms : due, end,
                                       draw ? *end - 1ms : due, draw ? *end + 500ms : end, m.startup ? 1000ms : end};
    const std::optional<ms> mark = rng() % 2 ? marks[rng() % std::size(marks)] : std::nullopt;
    return mark ? std::max(0ms, *mark - m.now) : ms(std::uniform_int_distribution<int>(0, 1500)(rng));
}

struct Tally { long steps = 0, programs = 0, wins = 0, losses = 0; };

// One seed: one program after another, each played until it ends and a few
// steps beyond. Stops at the first fault, reported with the seed.
void play(unsigned long seed, long steps, Tally& tally)
{
    std::mt19937_64 rng(seed);
    std::optional<Game> game;
    Model model;
    auto fresh = [&] {
        tally.wins += model.wins, tally.losses += model.losses, ++tally.programs, game.emplace(), model = {};
    };
    fresh();
    // Wait, Start, Stop, ZIB!, a level, Quit, close the duel window, close a result window.
    std::discrete_distribution<int> pick{440, 100, 50, 200, 100, 1, 1, 8};
    for (long step = 0; step < steps; ++step, ++tally.steps) {
        if (model.ended && rng() % 16 == 0)
            fresh();
        Game& g = *game;
        int action = pick(rng);
        action = action >= 1 && action <= 6 && !g.form.Visible() ? 0 : action;  // a hidden window is out of reach
        const bool live = !model.ended;
        std::string did;
        if (action == 0) {
            const ms wait = pickWait(rng, g, model);
            g.rt.advance(wait), model.advanceTo(model.now + wait), did = "wait " + std::to_string(wait.count());
        } else if (action == 1) {
            g.rt.click(g.start), model.clickStart(), did = "Start";
        } else if (action == 2) {
            g.rt.click(g.stop), did = "Stop", live && model.phase != Model::Idle ? model.idle() : void();
        } else if (action == 3) {
            g.rt.click(g.zib), did = "ZIB!", model.pressed |= live && model.phase == Model::Draw;
        } else if (action == 4) {
            const auto i = static_cast<int>(rng() % 5);
            g.rt.click(g.form.menuItem(levels[i])), did = levels[i], model.level = live ? i : model.level;
        } else if (action <= 6) {
            action == 5 ? g.rt.click(g.form.menuItem("mnuQuit")) : g.rt.close(g.form);
            did = action == 5 ? "Quit" : "close the duel window", model.ended = true;
        } else if (forms::Form* result = g.shownResult()) {
            g.rt.close(*result), did = "close " + std::string(result->Name());
        }
        const Screen got = g.observe(), want = model.expected();
        const std::string rule = brokenRule(got, g, model.level >= 0);
        if (!rule.empty() || !(got == want)) {
            ADD_FAILURE() << "seed " << seed << " (replay with ZIB_SEED=" << seed << "), step " << step << ", after "
                          << did << ": " << (rule.empty() ? "the game and the model disagree" : rule)
                          << "\n  expected " << describe(want) << "\n  actual   " << describe(got);
            return;
        }
    }
    tally.wins += model.wins, tally.losses += model.losses;
}

}  // namespace

// Whatever a player clicks, and whenever, the game keeps its rules and decides each duel on time.
TEST(RandomPlay, KeepsTheRulesAndDecidesEveryDuelOnTime)
{
    const long perSeed = std::max(1L, fromEnv("ZIB_RANDOM_STEPS", 1'000'000) / 100), only = fromEnv("ZIB_SEED", 0);
    Tally tally;
    const auto began = std::chrono::steady_clock::now();
    for (long seed = only ? only : 1; seed <= (only ? only : 100) && !HasFailure(); ++seed)
        play(static_cast<unsigned long>(seed), perSeed, tally);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    std::cout << "random play: " << tally.steps << " steps, " << tally.programs << " programs, " << tally.wins
              << " duels won, " << tally.losses << " lost, " << took.count() << " s ("
              << static_cast<long>(static_cast<double>(tally.steps) / took.count()) << " steps/s)\n";
    EXPECT_TRUE(only || tally.steps < 100'000 || (tally.wins > 0 && tally.losses > 0)) << "no duel won, or none lost";
}

// A hundred thousand duels in a row leave nothing behind: one form, idle, its level still checked.
TEST(SoakPlay, HundredThousandDuelsLeaveTheDuelWindowIdle)
{
    Game g;
    g.rt.advance(1000ms);  // past the start-up hand-backs
    std::mt19937_64 rng(2024);
    long duels = 0, wins = 0, losses = 0, stops = 0;
    const auto began = std::chrono::steady_clock::now();
    for (; duels < 100'000; ++duels) {
        const auto i = static_cast<int>(rng() % 5), r = reactions[i];
        g.rt.click(g.form.menuItem(levels[i])), g.rt.click(g.start);
        const auto how = rng() % 3;  // 0: a press in time, 1: none, 2: Stop before the result window
        if (how == 2) {
            g.rt.advance(ms(static_cast<int>(rng() % static_cast<unsigned>(r + 1000)))), g.rt.click(g.stop), ++stops;
        } else {
            const int press = how == 0 ? static_cast<int>(rng() % static_cast<unsigned>(r)) : r;
            g.rt.advance(ms(500 + press)), g.rt.click(g.zib), g.rt.advance(ms(r - press + 500));
            const forms::Form* result = g.shownResult();
            ASSERT_TRUE(result && !g.form.Visible()) << "duel " << duels << ": no result window";
            ASSERT_EQ(result->Name(), how == 0 ? "frmWin" : "frmLoose") << "duel " << duels;
            ++(how == 0 ? wins : losses), g.rt.advance(1000ms);
        }
        ASSERT_EQ(g.rt.liveForms(), 1u) << "after duel " << duels;
        ASSERT_TRUE(g.form.Visible() && g.start.Enabled() && !g.stop.Enabled() && !g.zib.Enabled() &&
                    g.form.menuItem(levels[i]).Checked() && !g.rt.nextDue())
            << "after duel " << duels << ": the duel window is not idle, its level checked and no timer running";
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    RecordProperty("duels", static_cast<int>(duels)), RecordProperty("live_forms", static_cast<int>(g.rt.liveForms()));
    std::cout << "soak: " << duels << " duels (" << wins << " won, " << losses << " lost, " << stops
              << " stopped), live forms " << g.rt.liveForms() << ", " << took.count() << " s ("
              << static_cast<long>(static_cast<double>(duels) / took.count()) << " duels/s)\n";
}
