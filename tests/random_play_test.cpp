// SPDX-License-Identifier: MIT
// Seeded random play checked step by step against a small model of the game,
// and a long run of duels; all on the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
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
    int pencil = 1;  // the one pencil set drawn in full and alone, else 0
    int drop = 0;    // the one drop timer enabled, -1 for several
    bool answering = false;
    int outcome = 0;  // 1: Wintime runs, 2: Loosetime, 3: both
    int level = -1;   // the one level checked, -2 for several
    std::size_t live = 3;
    bool operator==(const Screen&) const = default;
};

std::string describe(const Screen& s)
{
    std::ostringstream out;
    out << "t=" << s.now.count() << " ended=" << s.ended << " duel=" << s.duel << " win=" << s.winLoaded << s.win
        << " loose=" << s.looseLoaded << s.loose << " start=" << s.start << " stop=" << s.stop << " zib=" << s.zib
        << " you=" << s.zibyou << " oppo=" << s.ziboppo << " noskill=" << s.noskill << " pencil=" << s.pencil
        << " drop=" << s.drop << " answer=" << s.answering << " outcome=" << s.outcome << " level=" << s.level
        << " live=" << s.live;
    return out.str();
}

// The real game, its controls looked up once.
struct Game {
    forms::Runtime rt;
    duel::frmzib& form = *rt.start<duel::frmzib>();
    forms::Control &start = form.control("cbStart"), &stop = form.control("cbStop"), &zib = form.control("Zib");
    forms::Control &zibyou = form.control("zibyou"), &ziboppo = form.control("ziboppo");
    forms::Control &noskill = form.control("noskill"), &answertime = form.control("answertime");
    forms::Control &wintime = form.control("Wintime"), &loosetime = form.control("Loosetime");
    std::array<forms::Control*, 10> drops{};
    std::array<std::array<forms::Control*, 4>, 10> pencils{};

    Game()
    {
        for (int k = 0; k < 10; ++k) {
            drops[k] = &form.control("Timer" + std::to_string(k + 1));
            for (int m = 0; m < 4; ++m)
                pencils[k][m] = &form.control("p" + std::to_string((k + 1) % 10) + std::to_string(m + 1));
        }
    }

    forms::Form* shownResult() const
    {
        if (auto* w = rt.find<results::frmWin>(); w && w->Visible())
            return w;
        auto* l = rt.find<results::frmLoose>();
        return l && l->Visible() ? l : nullptr;
    }

    Screen observe() const
    {
        Screen s{rt.now(), rt.ended(), form.Visible()};
        const auto* w = rt.find<results::frmWin>();
        const auto* l = rt.find<results::frmLoose>();
        s.winLoaded = w, s.win = w && w->Visible(), s.looseLoaded = l, s.loose = l && l->Visible();
        s.start = start.Enabled(), s.stop = stop.Enabled(), s.zib = zib.Enabled();
        s.zibyou = zibyou.Visible(), s.ziboppo = ziboppo.Visible(), s.noskill = noskill.Visible();
        int full = 0, parts = 0;
        s.drop = 0;
        for (int k = 0; k < 10; ++k) {
            const auto on = std::ranges::count_if(pencils[k], [](auto* c) { return c->Visible(); });
            parts += static_cast<int>(on);
            full = on == 4 ? k + 1 : full;
            if (drops[k]->Enabled())
                s.drop = s.drop ? -1 : k + 1;
        }
        s.pencil = parts == 4 ? full : 0;
        s.answering = answertime.Enabled();
        s.outcome = int{wintime.Enabled()} + 2 * int{loosetime.Enabled()};
        for (int i = 0; i < 5; ++i)
            if (form.menuItem(levels[i]).Checked())
                s.level = s.level == -1 ? i : -2;
        s.live = rt.liveForms();
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
        if (phase == Idle)
            return std::nullopt;
        return since + ms(phase == Draw ? reaction : lasts[phase]);
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
            if (startup && now == 1000ms) {  // the start-up hand-backs come before anything else due then
                startup = false, idle();
                continue;
            }
            if (noskillUntil == now)
                noskillUntil.reset();
            if (phaseEnd() != now)
                continue;
            if (phase == Drop)
                phase = Draw, reaction = reactions[level], pressed = false;
            else if (phase == Draw)
                phase = Outcome, ++(pressed ? wins : losses);
            else if (phase == Outcome)
                phase = Shown;
            else
                idle();
            since = now;
        }
        now = ended ? now : time;
    }
    void clickStart()
    {
        if (ended || phase != Idle)
            return;
        if (level >= 0)
            phase = Drop, since = now;
        else if (!noskillUntil)
            noskillUntil = now + 3000ms;
    }
    Screen expected() const
    {
        const bool shown = phase == Shown, won = phase >= Outcome && pressed;
        Screen s{now, ended, !shown, shown && won, startup || (shown && won), shown && !won, startup || (shown && !won)};
        s.start = phase == Idle, s.stop = phase != Idle, s.zib = phase == Draw && !pressed;
        s.zibyou = phase >= Draw && pressed, s.ziboppo = phase >= Outcome, s.noskill = noskillUntil.has_value();
        s.pencil = phase == Idle ? 1 : phase == Drop ? 1 + static_cast<int>((now - since) / 50ms) : 10;
        s.drop = phase == Drop ? s.pencil : 0;
        s.answering = phase == Draw, s.outcome = phase >= Outcome ? (pressed ? 1 : 2) : 0;
        s.level = level, s.live = 1 + (startup ? 2 : 0) + (shown ? 1 : 0);
        return s;
    }
};

// The rules a player would notice broken; empty while they all hold.
std::string brokenRule(const Screen& s, const Game& g, bool levelChosen)
{
    const auto due = g.rt.nextDue();
    if (s.ended)
        return due ? "an event is still due after the end" : "";
    if (!s.duel && !s.win && !s.loose)
        return "no window is visible";
    if (s.drop < 0 || (s.drop > 0 && s.pencil != s.drop))
        return "the drop timers and the pencil disagree";
    if (s.duel && s.pencil == 0)
        return "the pencil is not drawn exactly once";
    if (levelChosen && s.level < 0)
        return "not exactly one level is checked";
    if (s.zib && (!s.answering || s.ziboppo))
        return "ZIB! is enabled outside the draw";
    if (s.now >= 1000ms && s.winLoaded && s.looseLoaded)
        return "both result windows are loaded after the first second";
    return due && *due <= s.now ? "a timer event is overdue" : "";
}

// How long to wait: anything up to 1.5 s, but often exactly an instant that matters.
ms pickWait(std::mt19937_64& rng, const Game& g, const Model& m)
{
    std::array<ms, 8> marks{};
    std::size_t n = 0;
    if (auto due = g.rt.nextDue())
        for (ms d : {-1ms, 0ms, 1ms})
            marks[n++] = *due + d;
    if (auto end = m.phaseEnd())
        marks[n++] = *end;
    if (m.phase == Model::Draw)
        marks[n++] = m.since + ms(m.reaction - 1), marks[n++] = m.since + ms(m.reaction + 500);
    if (m.startup)
        marks[n++] = 1000ms;
    if (n == 0 || rng() % 2 == 0)
        return ms(std::uniform_int_distribution<int>(0, 1500)(rng));
    return std::max(0ms, marks[rng() % n] - m.now);
}

struct Tally {
    long steps = 0, programs = 0, wins = 0, losses = 0;
};

// One seed: programs played one after another, each until it ends and a few
// steps beyond. Stops at the first fault, reported with the seed.
void play(std::uint64_t seed, long steps, Tally& tally)
{
    std::mt19937_64 rng(seed);
    std::optional<Game> game;
    Model model;
    auto fresh = [&] {
        tally.wins += model.wins, tally.losses += model.losses, ++tally.programs;
        game.emplace(), model = {};
    };
    fresh();
    // Wait, Start, Stop, ZIB!, a level, Quit, close the duel window, close a result window.
    std::discrete_distribution<int> pick{440, 100, 50, 150, 100, 1, 1, 8};
    for (long step = 0; step < steps; ++step, ++tally.steps) {
        if (model.ended && rng() % 16 == 0)
            fresh();
        Game& g = *game;
        int action = pick(rng);
        if (action >= 1 && action <= 6 && !g.form.Visible())
            action = 0;  // the duel window is hidden: nothing on it can be reached
        std::string did;
        if (action == 0) {
            const ms wait = pickWait(rng, g, model);
            g.rt.advance(wait), model.advanceTo(model.now + wait), did = "wait " + std::to_string(wait.count());
        } else if (action == 1) {
            g.rt.click(g.start), model.clickStart(), did = "Start";
        } else if (action == 2) {
            g.rt.click(g.stop), did = "Stop";
            if (!model.ended && model.phase != Model::Idle)
                model.idle();
        } else if (action == 3) {
            g.rt.click(g.zib), did = "ZIB!";
            model.pressed = model.pressed || (!model.ended && model.phase == Model::Draw);
        } else if (action == 4) {
            const auto i = static_cast<int>(rng() % 5);
            g.rt.click(g.form.menuItem(levels[i])), did = levels[i];
            model.level = model.ended ? model.level : i;
        } else if (action == 5 || action == 6) {
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

// Whatever a player clicks, and whenever, the game keeps its rules and plays out each duel as it should.
TEST(RandomPlay, KeepsTheRulesAndDecidesEveryDuelOnTime)
{
    const long total = fromEnv("ZIB_RANDOM_STEPS", 1'000'000);
    const long perSeed = std::max(1L, total / 100);
    const long only = fromEnv("ZIB_SEED", 0);
    Tally tally;
    const auto began = std::chrono::steady_clock::now();
    for (long seed = only ? only : 1; seed <= (only ? only : 100) && !HasFailure(); ++seed)
        play(static_cast<std::uint64_t>(seed), perSeed, tally);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    std::cout << "random play: " << tally.steps << " steps, " << tally.programs << " programs, " << tally.wins
              << " wins, " << tally.losses << " losses in " << took.count() << " s ("
              << static_cast<long>(static_cast<double>(tally.steps) / took.count()) << " steps/s)\n";
    if (!only && total >= 100'000) {
        EXPECT_TRUE(tally.wins > 0 && tally.losses > 0) << "the random player never won or never lost";
    }
}

// A hundred thousand duels in a row leave nothing behind: one form, idle, the level still checked.
TEST(SoakPlay, HundredThousandDuelsLeaveTheDuelWindowIdle)
{
    Game g;
    g.rt.advance(1000ms);  // past the start-up hand-backs
    std::mt19937_64 rng(2024);
    long duels = 0, wins = 0, losses = 0, stops = 0;
    const auto began = std::chrono::steady_clock::now();
    for (; duels < 100'000; ++duels) {
        const auto i = static_cast<int>(rng() % 5);
        const int r = reactions[i];
        g.rt.click(g.form.menuItem(levels[i]));
        g.rt.click(g.start);
        const auto how = rng() % 3;  // 0: press in time, 1: no press, 2: Stop
        if (how == 2) {
            g.rt.advance(ms(static_cast<int>(rng() % static_cast<unsigned>(r + 1000))));
            g.rt.click(g.stop), ++stops;
        } else {
            const int press = how == 0 ? static_cast<int>(rng() % static_cast<unsigned>(r)) : r;
            g.rt.advance(ms(500 + press)), g.rt.click(g.zib), g.rt.advance(ms(r - press + 500));
            const forms::Form* result = g.shownResult();
            ASSERT_TRUE(result && !g.form.Visible()) << "duel " << duels << ": no result window";
            ASSERT_EQ(result->Name(), how == 0 ? "frmWin" : "frmLoose") << "duel " << duels;
            ++(how == 0 ? wins : losses);
            g.rt.advance(1000ms);
        }
        ASSERT_EQ(g.rt.liveForms(), 1u) << "duel " << duels;
        ASSERT_TRUE(g.form.Visible() && g.start.Enabled() && !g.stop.Enabled() && !g.zib.Enabled())
            << "duel " << duels << ": the duel window is not idle";
        ASSERT_TRUE(g.form.menuItem(levels[i]).Checked()) << "duel " << duels;
        ASSERT_FALSE(g.rt.nextDue()) << "duel " << duels << ": a timer still runs";
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    std::cout << "soak: " << duels << " duels (" << wins << " won, " << losses << " lost, " << stops
              << " stopped), live forms " << g.rt.liveForms() << ", " << took.count() << " s ("
              << static_cast<long>(static_cast<double>(duels) / took.count()) << " duels/s)\n";
    RecordProperty("duels", static_cast<int>(duels));
    RecordProperty("live_forms", static_cast<int>(g.rt.liveForms()));
}
