// SPDX-License-Identifier: MIT
// Start-up time, peak memory and idle wake-ups of the real game (the zib
// program as it ships), each beside a minimal Qt window program
// (minimal_probe) measured the same way in the same run, all from outside:
// the X server's stamps and /proc.
//
// Start-up: from just before the program is started to the first drawing
// on its window that reaches the screen (its DAMAGE stamp, in whole
// milliseconds). The two programs take turns, 300 ms apart, after one run of
// each that is not counted.
//
// Peak memory: the game plays one duel (Very Easy from the Skill menu, Start,
// ZIB! at the draw, through XTest) and, once its duel window is handed back,
// its peak resident memory is read from /proc (VmHWM); the minimal window's
// half a second after its first drawing.
//
// Idle wake-ups: both side by side; once the game's start-up hand-back is
// well past, the voluntary context switches of all their threads are read
// from /proc, and again after a stretch of idle time. A thread asleep in its
// event loop that nothing wakes switches zero times; reading /proc wakes
// nobody.
//
//   bench_launch [--quick] [--verbose]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "harness.h"
#include "xserver.h"

namespace {

using namespace std::chrono_literals;

constexpr forms::Rect whole{0, 0, 100'000, 100'000};

// Milliseconds from the start of `program` to the first drawing on its
// window called `title`; NaN if none came.
double firstFrame(bench::XServer& x, const std::vector<std::string>& program, const char* title)
{
    x.takeDrawings();
    const bench::Program running(program);
    const auto window = x.find(title, 10'000);
    if (!window || !x.waitDrawing(*window, whole, running.startedAt(), 5000))
        return std::nan("");
    const auto drawn = bench::drawnAfter(x.takeDrawings(), *window, whole, running.startedAt());
    return drawn ? drawn->after : std::nan("");
}

// Peak resident memory in MiB of the game after one duel, or of the minimal
// window shown for half a second; NaN if it did not get that far.
double peakAfterDuel(bench::XServer& x)
{
    const bench::Program game({ZIB_GAME});
    const auto duel = bench::DuelOnScreen::find(x, 10'000);
    if (!duel || !duel->pickLevel(x, 0))
        return std::nan("");
    const auto start = x.click(duel->start);
    if (!start)
        return std::nan("");
    bench::sleepUntil(static_cast<double>(start->release) + 600);  // the draw is at 500, Very Easy answers at 950
    x.click(duel->zib);
    if (!x.waitMap(duel->window, 3000) || !x.waitMap(duel->window, 3000, bench::XServer::Change::Unmap))
        return std::nan("");
    std::this_thread::sleep_for(100ms);
    return static_cast<double>(game.peakRssKiB()) / 1024.0;
}

double peakShown(bench::XServer& x)
{
    const bench::Program minimal({MINIMAL_PROBE});
    const auto window = x.find("Minimal", 10'000);
    if (!window || !x.waitDrawing(*window, whole, 0, 5000))
        return std::nan("");
    std::this_thread::sleep_for(500ms);
    return static_cast<double>(minimal.peakRssKiB()) / 1024.0;
}

// Switches between two readings, over the threads alive at both; a thread
// started in between counts from zero.
long switchesBetween(const std::map<std::string, bench::Program::Thread>& before,
                     const std::map<std::string, bench::Program::Thread>& after, bool verbose, const char* program)
{
    long total = 0;
    for (const auto& [id, thread] : after) {
        const auto was = before.find(id);
        const long delta = thread.switches - (was == before.end() ? 0 : was->second.switches);
        total += delta;
        if (verbose)
            std::fprintf(stderr, "  %s thread %s (%s): %ld voluntary switches while idle\n", program, id.c_str(),
                         thread.name.c_str(), delta);
    }
    return total;
}

// The game's samples beside the minimal window's, and the runs of either
// that did not get as far as measuring.
struct Beside {
    bench::Samples game, minimal;
    int missed = 0;

    void keep(double g, double m)
    {
        for (auto [samples, sample] : {std::pair{&game, g}, {&minimal, m}}) {
            if (std::isnan(sample))
                ++missed;
            else
                samples->push_back(sample);
        }
    }
    // Says how many runs were left out; false when none could be measured.
    bool measured(const char* what) const
    {
        if (missed > 0)
            bench::figure("# note: %d %s did not get as far as measuring (the machine was busy); left out", missed,
                          what);
        return !game.empty() && !minimal.empty();
    }
};

}  // namespace

int main(int argc, char** argv)
{
    const bench::Args args(argc, argv);
    const bool quick = args.quick();
    bench::XServer x;
    if (!x.ok()) {
        std::puts("# bench_launch: no X display with the XInput, XTest and DAMAGE extensions; skipped");
        return 0;
    }
    if (!quick)
        bench::CpuPressure::noteIfBusyNow("the start-ups");
    bool failed = false;

    {
        const int runs = quick ? 2 : 10;
        Beside startUps;
        for (int i = quick ? 0 : -1; i < runs; ++i) {
            // Each start-up on a settled machine and display, the two
            // programs taking turns at going first.
            double g = 0, m = 0;
            for (int turn = 0; turn < 2; ++turn) {
                std::this_thread::sleep_for(quick ? 50ms : 300ms);
                if ((turn == 0) == (i % 2 == 0))
                    g = firstFrame(x, {ZIB_GAME}, "Zib!");
                else
                    m = firstFrame(x, {MINIMAL_PROBE}, "Minimal");
            }
            if (args.verbose())
                std::fprintf(stderr, "  start-up %d: game %.0f ms, minimal window %.0f ms%s\n", i, g, m,
                             i < 0 ? " (not counted)" : "");
            if (i >= 0)
                startUps.keep(g, m);
        }
        failed = !startUps.measured("start-ups") || failed;
        bench::figure("start-up, start to the duel window's first frame on the screen, min / median / max of %zu: %s ms"
                      "  [baseline minimal Qt window: %s ms; target median <= 1.2 x baseline = %.1f ms]",
                      startUps.game.size(), bench::spread(startUps.game, "%.0f").c_str(),
                      bench::spread(startUps.minimal, "%.0f").c_str(), 1.2 * bench::median(startUps.minimal));
    }

    {
        const int runs = quick ? 1 : 5;
        Beside peaks;
        for (int i = 0; i < runs; ++i) {
            const double g = peakAfterDuel(x), m = peakShown(x);
            if (args.verbose())
                std::fprintf(stderr, "  peak RSS %d: game %.1f MiB, minimal window %.1f MiB\n", i, g, m);
            peaks.keep(g, m);
        }
        failed = !peaks.measured("runs for peak memory") || failed;
        bench::figure("peak RSS after one duel, min / median / max of %zu: %s MiB  [baseline minimal Qt window: %s MiB; "
                      "target median <= baseline + 5 MiB = %.1f MiB]",
                      peaks.game.size(), bench::spread(peaks.game, "%.1f").c_str(),
                      bench::spread(peaks.minimal, "%.1f").c_str(), bench::median(peaks.minimal) + 5.0);
    }

    {
        const auto idle = quick ? 1s : 10s;
        bench::Program game({ZIB_GAME}), minimal({MINIMAL_PROBE});
        std::this_thread::sleep_for(quick ? 1500ms : 3s);  // past the game's start-up hand-back
        const auto game0 = game.threads(), minimal0 = minimal.threads();
        std::this_thread::sleep_for(idle);
        const auto game1 = game.threads(), minimal1 = minimal.threads();
        if (game0.empty() || minimal0.empty() || !game.running() || !minimal.running()) {
            std::fputs("bench_launch: a program ended before its idle time was over\n", stderr);
            failed = true;
        }
        bench::figure("idle wake-ups in %lld s after the start-up hand-back: %ld  [baseline minimal Qt window: %ld; "
                      "target 0]",
                      static_cast<long long>(idle.count()), switchesBetween(game0, game1, args.verbose(), "game"),
                      switchesBetween(minimal0, minimal1, args.verbose(), "minimal window"));
    }
    return failed ? 1 : 0;
}
