// SPDX-License-Identifier: MIT
// The work of one frame, for callgrind to count: the game set up as
// app/main.cpp sets it up, with the real driver, and duels played on the
// runtime's clock. Each drop step, each draw and each opponent's "ZIB!" is
// one timer event: its handler, the driver bringing the window up to date
// and the frame drawn and sent to the display. Instructions are collected
// only around those events, in three parts that are dumped one after another:
// "drop steps", "draws" and "opponent".
//
// Run under valgrind --tool=callgrind --collect-atstart=no; without it, it
// plays the same duels and prints how many events each part holds. The same
// source builds against an earlier version of the game (bench/baseline), so
// it uses only what both have.
//
//   frame_cost [--quick]
#include <QApplication>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <valgrind/callgrind.h>

#include "app/setup.h"
#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "forms/runtime.h"

namespace {

using namespace std::chrono_literals;

enum class Part { DropSteps, Draws, Opponent };

// One duel at Very Hard, from idle back to idle, collecting the events of
// one part only.
int playDuel(forms::Runtime& runtime, forms::qt::Driver& driver, duel::frmzib& game, Part part)
{
    auto event = [&](std::chrono::milliseconds after, bool counted) {
        if (counted)
            CALLGRIND_TOGGLE_COLLECT;
        runtime.advance(after);
        QCoreApplication::processEvents();  // anything the frame left to do
        if (counted)
            CALLGRIND_TOGGLE_COLLECT;
        return counted ? 1 : 0;
    };
    int counted = 0;
    driver.click(game.control("cbStart"));
    QCoreApplication::processEvents();
    for (int step = 1; step <= 9; ++step)
        counted += event(50ms, part == Part::DropSteps);
    counted += event(50ms, part == Part::Draws);
    counted += event(73ms, part == Part::Opponent);
    driver.click(game.control("cbStop"));
    QCoreApplication::processEvents();
    return counted;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    QApplication app(argc, argv);
    zib::prepare(app);
    forms::Runtime runtime;
    forms::qt::Driver driver(runtime);
    duel::frmzib* game = runtime.start<duel::frmzib>();
    QWidget* window = game ? driver.window(*game) : nullptr;
    // The start-up reset, on the wall clock: both hidden result windows hand
    // back at about 1000 ms. Under callgrind everything is slow.
    if (!window || !QTest::qWaitForWindowExposed(window, 60000) ||
        !QTest::qWaitFor([&] { return runtime.forms().size() == 1; }, 60000)) {
        std::fputs("frame_cost: the duel window did not come up idle\n", stderr);
        return 1;
    }
    driver.click(game->menuItem("mnuVH"));

    // A first duel warms the caches (glyphs, pixmaps, the canvas's text) and
    // is not counted.
    playDuel(runtime, driver, *game, Part::DropSteps);
    CALLGRIND_ZERO_STATS;
    const int duels = quick ? 1 : 3;
    const struct {
        Part part;
        const char* name;
    } parts[] = {{Part::DropSteps, "drop steps"}, {Part::Draws, "draws"}, {Part::Opponent, "opponent"}};
    for (const auto& [part, name] : parts) {
        int events = 0;
        for (int n = 0; n < duels; ++n)
            events += playDuel(runtime, driver, *game, part);
        CALLGRIND_DUMP_STATS_AT(name);
        std::printf("%s %d\n", name, events);
    }
    std::fflush(stdout);
    runtime.End();
    return 0;
}
