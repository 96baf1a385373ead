// SPDX-License-Identifier: MIT
// The game on the runtime alone, with no Qt and no real time: duels per
// second, and what a rewind costs.
//
// Duels per second: each duel picks a level, presses Start, lets the pencil
// drop, presses ZIB! at the draw or not (in turn, so that wins and losses
// are both played) and runs on to the hand-back. Each run starts the game
// afresh and plays for a fixed stretch of real time; the figure is the
// spread of the runs' rates. Nothing else plays these duels, so there is no
// baseline beside it.
//
// A rewind: input given through Runtime::input stamped before events the
// runtime has already delivered, timed from the call to its return, beside
// the same input given on time:
//   - ZIB! pressed 1 ms before the Very Hard opponent's moment, taken just
//     after it: his "ZIB!" undone, the press delivered, his timer again;
//   - Stop made during the drop, taken 200 ms later: four drop steps undone.
// With --count it plays the same inputs for callgrind (bench_cost runs it),
// collecting only around the calls.
//
//   bench_duels [--quick] [--verbose] [--count]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>
#include <valgrind/callgrind.h>
#include <vector>

#include "duel/frmzib.h"
#include "harness.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using forms::milliseconds;

constexpr auto& levels = duel::frmzib::skillLevels;
constexpr auto& veryHard = levels[std::size(levels) - 1];

// A game past its start-up hand-back, and the buttons a duel uses.
struct Game {
    forms::Runtime runtime;
    duel::frmzib* duel = runtime.start<duel::frmzib>();
    forms::Control& start = duel->control("cbStart");
    forms::Control& stop = duel->control("cbStop");
    forms::Control& zib = duel->control("Zib");

    // Both hidden result windows hand back at 1000 ms; then the level, if one is given.
    explicit Game(std::string_view level = {})
    {
        runtime.advance(1000ms);
        if (!level.empty())
            runtime.click(duel->menuItem(level));
    }

    // The n-th duel, from idle back to idle: whether it ended as played.
    bool play(long n)
    {
        runtime.click(duel->menuItem(levels[static_cast<std::size_t>(n) % std::size(levels)].item));
        runtime.click(start);
        runtime.advance(500ms);  // ten drop steps: the draw
        const bool press = n % 2 == 0;
        if (press)
            runtime.click(zib);
        bool won = false, lost = false;
        while (!start.Enabled()) {
            const auto due = runtime.nextDue();
            if (!due || runtime.ended())
                return false;
            runtime.advanceTo(*due);
            won = won || runtime.find("frmWin");
            lost = lost || runtime.find("frmLoose");
        }
        return won == press && lost != press;
    }
};

// Duels per second over one run of at least `stretch`, or a negative number
// when a duel did not end as played.
double duelsPerSecond(Clock::duration stretch)
{
    Game game;
    long duels = 0;
    const auto begin = Clock::now();
    auto end = begin;
    while (end - begin < stretch) {
        for (int k = 0; k < 64; ++k)  // the clock read every 64 duels costs next to nothing
            if (!game.play(duels++))
                return -1;
        end = Clock::now();
    }
    return static_cast<double>(duels) / (bench::milliseconds(end - begin) / 1000.0);
}

// One input of a kind, late (rewinding) or on time, given in a fresh duel at
// Very Hard; `timed` wraps the Runtime::input call. False when the input did
// not do what it should.
enum class Input { PressBeforeOpponent, StopDuringDrop };

template <class Timed>
bool give(Game& game, Input kind, bool late, Timed timed)
{
    forms::Runtime& rt = game.runtime;
    const milliseconds s = rt.now();
    const std::uint64_t rewinds = rt.rewinds();
    rt.click(game.start);
    const bool press = kind == Input::PressBeforeOpponent;
    const milliseconds made = s + (press ? 500ms + milliseconds(veryHard.reaction) - 1ms : 250ms);
    rt.advanceTo(late ? made + (press ? 1ms : 200ms) : made);
    const forms::Target target = forms::Target::of(press ? game.zib : game.stop);
    timed([&] { rt.input(target, made); });
    const bool right = (rt.rewinds() == rewinds + (late ? 1 : 0)) &&
                       (press ? game.duel->control("zibyou").Visible() : game.start.Enabled());
    rt.click(game.stop);
    rt.advance(10ms);
    return right;
}

const struct {
    Input kind;
    const char* name;
    const char* what;
} inputs[] = {
    {Input::PressBeforeOpponent, "press", "ZIB! pressed 1 ms before the opponent, taken 1 ms after"},
    {Input::StopDuringDrop, "stop", "Stop made during the drop, taken 200 ms later"},
};

// Plays each input late and on time under callgrind's eye, collecting only
// around the calls; prints "PART EVENTS" for each part dumped.
int count(int reps)
{
    Game game(veryHard.item);
    for (const auto& input : inputs)
        for (bool late : {true, false}) {
            int right = 0;
            for (int n = 0; n < reps; ++n)
                right += give(game, input.kind, late, [](auto call) {
                    CALLGRIND_TOGGLE_COLLECT;
                    call();
                    CALLGRIND_TOGGLE_COLLECT;
                }) ? 1 : 0;
            const std::string part = std::string(input.name) + (late ? " late" : " on time");
            CALLGRIND_DUMP_STATS_AT(part.c_str());
            std::printf("%s %d\n", part.c_str(), right == reps ? reps : 0);
        }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const bench::Args args(argc, argv);
    const bool quick = args.quick();
    if (args.flag("--count"))
        return count(quick ? 20 : 200);

    const bench::CpuPressure pressure;
    bench::Samples rates;
    for (int i = 0; i < (quick ? 3 : 9); ++i) {
        const double rate = duelsPerSecond(quick ? 50ms : 500ms);
        if (rate < 0) {
            std::fputs("bench_duels: a duel did not end as played\n", stderr);
            return 1;
        }
        if (args.verbose())
            std::fprintf(stderr, "bench_duels: run %d: %.0f duels/s\n", i + 1, rate);
        rates.push_back(rate);
    }
    pressure.noteIfBusy("the headless duels");
    bench::figure("headless duels per second, min / median / max of %zu runs of %.0f ms: %s duels/s  [no baseline; "
                  "target: none, reported]",
                  rates.size(), quick ? 50.0 : 500.0, bench::spread(rates, "%.0f").c_str());

    Game game(veryHard.item);
    for (const auto& input : inputs) {
        bench::Samples cost[2];  // late, on time; in µs
        for (int n = 0; n < (quick ? 50 : 2000); ++n)
            for (bool late : {true, false})
                if (!give(game, input.kind, late, [&](auto call) {
                        const auto before = Clock::now();
                        call();
                        cost[late ? 0 : 1].push_back(bench::milliseconds(Clock::now() - before) * 1000);
                    })) {
                    std::fprintf(stderr, "bench_duels: %s did not do what it should\n", input.what);
                    return 1;
                }
        bench::figure("one rewind, %s: median %.1f / p99 %.1f us  [the same on time: median %.1f / p99 %.1f us]",
                      input.what, bench::median(cost[0]), bench::percentile(cost[0], 99), bench::median(cost[1]),
                      bench::percentile(cost[1], 99));
    }
    return 0;
}
