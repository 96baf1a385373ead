// SPDX-License-Identifier: MIT
// The work of one frame, for callgrind to count (bench_cost runs it). The
// duel window runs on the real driver in this process, as the tests wire it,
// and Very Hard duels are played on the runtime's clock. Each drop step,
// each draw and each opponent's "ZIB!" is one timer event: its handler, the
// driver bringing the window up to date, and the frame drawn and sent to the
// display. Instructions are collected only around those events, in three
// parts dumped one after another, "drop steps", "draws" and "opponent"; each
// part's number of events is printed as "PART EVENTS".
//
// The same source builds against an earlier version of the game
// (bench/baseline), so it uses only what both have.
//
//   frame_cost [--quick]
#include <QApplication>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <valgrind/callgrind.h>

#include "app/setup.h"
#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "harness.h"

namespace {

using namespace std::chrono_literals;

enum class Part { DropSteps, Draws, Opponent };

// One duel at Very Hard, from idle back to idle, collecting the events of
// one part only. The runtime's clock runs ahead of the wall clock here, so
// the buttons are pressed at its time, not stamped by the wall clock.
int playDuel(bench::InProcessGame& game, Part part)
{
    auto event = [&](std::chrono::milliseconds after, bool counted) {
        if (counted)
            CALLGRIND_TOGGLE_COLLECT;
        game.runtime.advance(after);
        QCoreApplication::processEvents();  // anything the frame left to do
        if (counted)
            CALLGRIND_TOGGLE_COLLECT;
        return counted ? 1 : 0;
    };
    int counted = 0;
    game.runtime.click(game.duel().control("cbStart"));
    QCoreApplication::processEvents();
    for (int step = 1; step <= 9; ++step)
        counted += event(50ms, part == Part::DropSteps);
    counted += event(50ms, part == Part::Draws);
    counted += event(73ms, part == Part::Opponent);
    game.runtime.click(game.duel().control("cbStop"));
    QCoreApplication::processEvents();
    return counted;
}

}  // namespace

int main(int argc, char** argv)
{
    const bench::Args args(argc, argv);
    QApplication app(argc, argv);
    zib::prepare(app);
    bench::InProcessGame game;
    // Under callgrind everything is slow.
    if (!game.idle(60s)) {
        std::fputs("frame_cost: the duel window did not come up idle\n", stderr);
        return 1;
    }
    game.runtime.click(game.duel().menuItem("mnuVH"));
    // Whatever start-up left to come in, such as the window system's answer
    // to the driver's question about its clock, comes in before counting.
    // Then the runtime's clock is put a second ahead of the wall clock: the
    // duels run faster than real time from there, so the driver's own
    // deadlines never fall due while they are played.
    QTest::qWait(500);
    game.runtime.advanceTo(game.driver().now() + 1s);

    // A first duel warms the caches (glyphs, pixmaps, the canvas's text) and
    // is not counted.
    playDuel(game, Part::DropSteps);
    CALLGRIND_ZERO_STATS;
    const int duels = args.quick() ? 1 : 3;
    const struct {
        Part part;
        const char* name;
    } parts[] = {{Part::DropSteps, "drop steps"}, {Part::Draws, "draws"}, {Part::Opponent, "opponent"}};
    for (const auto& [part, name] : parts) {
        int events = 0;
        for (int n = 0; n < duels; ++n)
            events += playDuel(game, part);
        CALLGRIND_DUMP_STATS_AT(name);
        std::printf("%s %d\n", name, events);
    }
    std::fflush(stdout);
    game.runtime.End();
    return 0;
}
