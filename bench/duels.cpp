// SPDX-License-Identifier: MIT
// Headless duels per second: the game played through the forms runtime on
// its virtual clock, with no Qt and no real time. Each duel picks a level,
// presses Start, lets the pencil drop, presses ZIB! at the draw or not
// (alternately, so wins and losses are both played) and runs on to the
// hand-back, when Start is enabled again.
//
// Each run starts the game afresh and plays duels for a fixed stretch of real
// time; the figure is the spread of the runs' rates. Nothing else plays these
// duels, so there is no baseline beside it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <vector>

#include "duel/frmzib.h"
#include "forms/runtime.h"
#include "stats.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto& levels = duel::frmzib::skillLevels;

// A game past its start-up reset, and the buttons a duel uses.
struct Game {
    forms::Runtime runtime;
    duel::frmzib* duel = runtime.start<duel::frmzib>();
    forms::Control* start = duel ? &duel->control("cbStart") : nullptr;
    forms::Control* zib = duel ? &duel->control("Zib") : nullptr;

    Game() { runtime.advance(1000ms); }  // both hidden result windows hand back at 1000 ms

    // The n-th duel, from idle back to idle: whether it ended as played.
    bool play(long n)
    {
        runtime.click(duel->menuItem(levels[static_cast<std::size_t>(n) % std::size(levels)].item));
        runtime.click(*start);
        runtime.advance(500ms);  // ten drop steps: the draw
        const bool press = n % 2 == 0;
        if (press)
            runtime.click(*zib);
        // On to the hand-back, one timer event at a time, noting which result
        // window came up.
        bool won = false;
        bool lost = false;
        while (!start->Enabled()) {
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
    if (!game.duel)
        return -1;
    long duels = 0;
    const auto begin = Clock::now();
    auto end = begin;
    while (end - begin < stretch) {
        // The clock is read every 64 duels, so reading it costs next to nothing.
        for (int k = 0; k < 64; ++k)
            if (!game.play(duels++))
                return -1;
        end = Clock::now();
    }
    return static_cast<double>(duels) / (bench::milliseconds(end - begin) / 1000.0);
}

}  // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::hasFlag(argc, argv, "--quick");
    const bool verbose = bench::hasFlag(argc, argv, "--verbose");
    const int runs = quick ? 3 : 9;
    const auto stretch = quick ? 50ms : 500ms;

    const bench::CpuPressure pressure;
    std::vector<double> rates;
    for (int i = 0; i < runs; ++i) {
        const double rate = duelsPerSecond(stretch);
        if (rate < 0) {
            std::fputs("bench_duels: a duel did not end as played\n", stderr);
            return 1;
        }
        if (verbose)
            std::fprintf(stderr, "bench_duels: run %d: %.0f duels/s\n", i + 1, rate);
        rates.push_back(rate);
    }
    pressure.noteIfBusy("the headless duels");

    const auto [slowest, fastest] = std::ranges::minmax(rates);
    bench::figure("headless duels per second, min / median / max of %d runs of %.0f ms: %.0f / %.0f / %.0f duels/s  "
                  "[no baseline; target: none, reported]",
                  runs, bench::milliseconds(stretch), slowest, bench::median(rates), fastest);
    return 0;
}
