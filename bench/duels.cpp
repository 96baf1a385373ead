// SPDX-License-Identifier: MIT
// Headless duels per second: the game played through the forms runtime on
// its virtual clock, with no Qt and no real time. Each duel picks a level,
// presses Start, lets the pencil drop, presses ZIB! at the draw or not
// (alternately, so wins and losses are both played) and runs on to the
// hand-back, when Start is enabled again.
//
// The baseline is the pace of the same duels in real time: the virtual time
// they took, turned into duels per second.
#include <array>
#include <chrono>
#include <cstdio>
#include <string_view>

#include "duel/frmzib.h"
#include "forms/runtime.h"
#include "stats.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::array<std::string_view, 5> levels = {"mnuVE", "mnuE", "mnuM", "mnuH", "mnuVH"};

}  // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::hasFlag(argc, argv, "--quick");
    const auto budget = quick ? 200ms : 3000ms;

    forms::Runtime runtime;
    duel::frmzib* duel = runtime.start<duel::frmzib>();
    if (!duel) {
        std::fputs("bench_duels: the duel window did not load\n", stderr);
        return 1;
    }
    // The start-up reset: both hidden result windows hand back at 1000 ms.
    runtime.advance(1000ms);

    forms::Control& start = duel->control("cbStart");
    forms::Control& zib = duel->control("Zib");

    long duels = 0;
    long wrongOutcomes = 0;
    long stuck = 0;
    const forms::milliseconds virtualStart = runtime.now();
    const auto realStart = Clock::now();
    auto realEnd = realStart;
    for (;;) {
        runtime.click(duel->menuItem(levels[static_cast<std::size_t>(duels) % levels.size()]));
        runtime.click(start);
        runtime.advance(500ms);  // ten drop steps: the draw
        const bool press = duels % 2 == 0;
        if (press)
            runtime.click(zib);
        // On to the hand-back, one timer event at a time, noting which result
        // window came up.
        bool won = false;
        bool lost = false;
        while (!start.Enabled() && !runtime.ended()) {
            const auto due = runtime.nextDue();
            if (!due) {
                ++stuck;
                break;
            }
            runtime.advanceTo(*due);
            won = won || runtime.find("frmWin");
            lost = lost || runtime.find("frmLoose");
        }
        if (won != press || lost == press)
            ++wrongOutcomes;
        ++duels;
        if (runtime.ended() || stuck)
            break;
        if (duels % 64 == 0) {
            realEnd = Clock::now();
            if (realEnd - realStart >= budget)
                break;
        }
    }
    realEnd = Clock::now();

    if (runtime.ended() || stuck) {
        std::fprintf(stderr, "bench_duels: a duel did not come back to idle (ended %d, stuck %ld)\n",
                     runtime.ended() ? 1 : 0, stuck);
        return 1;
    }

    const double realSeconds = bench::milliseconds(realEnd - realStart) / 1000.0;
    const double virtualSeconds = static_cast<double>((runtime.now() - virtualStart).count()) / 1000.0;
    const double perSecond = static_cast<double>(duels) / realSeconds;
    const double realPace = static_cast<double>(duels) / virtualSeconds;
    bench::figure("headless duels per second: %.0f duels/s  [baseline the same duels in real time: %.2f duels/s; "
                  "target: none, reported]",
                  perSecond, realPace);
    if (wrongOutcomes)
        std::fprintf(stderr, "bench_duels: %ld of %ld duels did not end as played\n", wrongOutcomes, duels);
    return wrongOutcomes ? 1 : 0;
}
