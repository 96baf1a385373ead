// SPDX-License-Identifier: MIT
// What a player sees and does: the real game (the zib program as it ships)
// played from outside through the X server (xserver.h). Every moment counts
// from the server's stamp on the release of Start, when Start counts: drop
// step k at Start + 50 k ms, the draw at + 500, the Very Hard opponent at
// + 573, the result window at + 1073.
//
// Each program plays Very Hard duels, chosen from its Skill menu, ZIB!
// pressed in the middle of the millisecond 1, 2 or 5 ms before or after the
// opponent's moment, in turn. Every fourth duel (every sixth with --quick)
// runs on to its result window and the hand-back; the others end with Stop
// once the race is decided. The
// programs take turns, a third of their duels at a time, so that other
// programs' load falls on each alike. Figures, idle and with the hogs:
//   - each drop step's pencil, the draw (ZIB! enabled) and the opponent's
//     "ZIB!" drawn after their moments (DAMAGE stamps);
//   - the result window mapped after its moment (MapNotify as this program
//     receives it) and drawn (DAMAGE stamp);
//   - the race judged right, and judged as the server stamped the press: the
//     player's "ZIB!" read from the screen once the opponent's is drawn and,
//     for a press made before his moment, once the player's is drawn too or
//     400 ms after his moment, shortly before the result window would end the
//     time in which a late press could still put the duel back;
//   - the duels the game rewound: a press it took only after it had drawn
//     the opponent's "ZIB!", yet judged as made before it; the player's
//     "ZIB!" is then drawn after the opponent's.
// Beside the game: the game before this round (the zib of an earlier
// version's build, --baseline), a bare window showing a hidden QWidget at the
// result window's moment (minimal_probe map), and with the hogs, the game
// with the kernel's default time slice put back on its threads.
//
// This program and the X server run at real-time priority (or failing that
// nice -10), being the instrument. A witness thread wakes every millisecond
// above them: a duel whose frames were late while the witness, too, was kept
// from running for 4 ms or more was hit by a stall of the whole machine, and
// is set apart.
//
//   bench_screen [--quick] [--verbose] [--baseline ZIB] [--baseline-name NAME]
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "duel/frmzib.h"
#include "harness.h"
#include "xserver.h"

namespace {

using bench::Samples;
constexpr int veryHard = 4;  // in the Skill menu
// The draw at 500, his answer his reaction time later.
constexpr double opponentMs = 500 + duel::frmzib::skillLevels[veryHard].reaction;
constexpr double stallMs = 4;
// A late press may be taken, and the duel put back, until the result window
// shows 500 ms after the opponent; Stop must come well before that.
constexpr double settledMs = 400;

// Every how many duels one runs on to its result window.
int outcomeEvery(const bench::Args& args) { return args.quick() ? 6 : 4; }

// Wakes every millisecond at real-time priority and notes each time it was
// kept from running for longer than a stall.
class Witness {
public:
    Witness() : thread_([this] { run(); })
    {
        // Above the rest of the instrument: only a stall of the whole machine holds it up.
        sched_param param{sched_get_priority_min(SCHED_FIFO) + 1};
        realTime_ = pthread_setschedparam(thread_.native_handle(), SCHED_FIFO, &param) == 0;
    }
    ~Witness()
    {
        stop_ = true;
        thread_.join();
    }
    bool realTime() const { return realTime_; }
    bool stalled(double from, double to) const
    {
        const std::lock_guard lock(mutex_);
        for (const auto& [start, end] : stalls_)
            if (start < to && end > from)
                return true;
        return false;
    }

private:
    void run()
    {
        for (double last = bench::nowMs(); !stop_;) {
            timespec tick{0, 1'000'000};
            clock_nanosleep(CLOCK_MONOTONIC, 0, &tick, nullptr);
            const double now = bench::nowMs();
            if (now - last > 1 + stallMs) {
                const std::lock_guard lock(mutex_);
                stalls_.emplace_back(last + 1, now);
            }
            last = now;
        }
    }

    std::atomic<bool> stop_ = false;
    bool realTime_ = false;
    mutable std::mutex mutex_;
    std::vector<std::pair<double, double>> stalls_;
    std::thread thread_;
};

struct Figures {
    Samples steps, draws, opponent, mapped, drawn;
    Samples stepsAll;  // with the duels set apart
    int duels = 0, setApart = 0, missing = 0;
    int right[3] = {}, presses[3] = {};  // by |offset|: 1, 2, 5 ms
    int offStamp = 0;                    // presses the server stamped in another millisecond than meant
    int byStamp = 0, stamped = 0;        // judged as the server's stamp says
    int rewound = 0, first = 0;          // presses taken after the opponent was drawn, of those made first

    Figures& operator+=(const Figures& more)
    {
        for (auto part : {&Figures::steps, &Figures::draws, &Figures::opponent, &Figures::mapped, &Figures::drawn,
                          &Figures::stepsAll})
            bench::append(this->*part, more.*part);
        for (int k = 0; k < 3; ++k) {
            right[k] += more.right[k];
            presses[k] += more.presses[k];
        }
        for (auto count : {&Figures::duels, &Figures::setApart, &Figures::missing, &Figures::offStamp,
                           &Figures::byStamp, &Figures::stamped, &Figures::rewound, &Figures::first})
            this->*count += more.*count;
        return *this;
    }
};

// Plays duels `first` to `last` (excluded) on the program showing the window
// "Zib!". A program with no pencil (the bare window) only gives result windows.
Figures play(bench::XServer& x, const Witness& witness, int first, int last, bool game, pid_t slices,
             const bench::Args& args)
{
    Figures f;
    const auto at = bench::DuelOnScreen::find(x, 10'000);
    if (!at || (game && !at->pickLevel(x, veryHard))) {
        std::fputs("bench_screen: the duel window never showed, or its Skill menu did not open\n", stderr);
        f.missing = last - first;
        return f;
    }
    if (slices > 0)
        bench::defaultSlices(slices);
    x.takeDrawings();

    const int offsets[] = {-1, 1, -2, 2, -5, 5};
    for (int n = first; n < last; ++n) {
        const bool outcome = !game || n % outcomeEvery(args) == 0;
        const auto start = x.click(at->start);  // Start counts when it is released, ZIB! when it is pressed
        if (!start)
            continue;
        const auto s = static_cast<double>(start->release);
        const double opponent = s + opponentMs;
        const int offset = offsets[n % 6];
        std::optional<double> press;
        bool won = false;
        if (game) {
            x.moveTo(at->zib);
            bench::sleepUntil(opponent + offset + 0.5);
            if (const auto zib = x.click(at->zib))
                press = static_cast<double>(zib->press);
            // The game draws each event in turn: once the opponent's "ZIB!"
            // is drawn, the player's shows if the press came first, or later
            // if the game took the press late and rewound. A press made
            // after his moment is never put before him.
            x.waitDrawing(at->window, at->ziboppo, opponent, 1000);
            if (!press || *press < opponent)
                x.waitDrawing(at->window, at->zibyou, s, opponent + settledMs - bench::nowMs());
            won = x.shows(at->zibyouOnScreen, 0xFF0000);
        }
        std::optional<std::pair<bench::Window, double>> mapped;
        if (outcome) {
            mapped = x.waitMap(at->window, 2500);
            x.waitMap(at->window, 2500, bench::XServer::Change::Unmap);  // the hand-back
            usleep(100'000);
        } else {
            x.click(at->stop);
            usleep(60'000);
        }
        // The server's stamps say when each drawing was made, however late
        // this program looks at them.
        const auto drawings = x.takeDrawings();

        bool stalled = false;
        auto late = [&](bench::Window window, forms::Rect box, double moment) -> std::optional<double> {
            const auto drawn = bench::drawnAfter(drawings, window, box, moment);
            if (!drawn)
                ++f.missing;
            else if (witness.stalled(moment, moment + drawn->after + 1))
                stalled = true;
            return drawn ? std::optional(drawn->after) : std::nullopt;
        };
        Samples steps;
        std::optional<double> drawFrame, opponentFrame, mapLate, drawnLate;
        if (game) {
            for (std::size_t k = 1; k < 10; ++k)
                if (auto l = late(at->window, at->pencils[k], s + 50.0 * static_cast<double>(k)))
                    steps.push_back(*l);
            drawFrame = late(at->window, at->zibButton, s + 500);
            opponentFrame = late(at->window, at->ziboppo, opponent);
        }
        if (outcome && mapped) {
            mapLate = mapped->second - (opponent + 500);
            stalled = stalled || witness.stalled(opponent + 500, mapped->second);
            drawnLate = late(mapped->first, {0, 0, 10000, 10000}, opponent + 500);
        } else if (outcome) {
            ++f.missing;
        }

        ++f.duels;
        bench::append(f.stepsAll, steps);
        if (stalled) {
            ++f.setApart;
        } else {
            bench::append(f.steps, steps);
            for (auto [figure, value] : {std::pair{&f.draws, drawFrame}, {&f.opponent, opponentFrame},
                                         {&f.mapped, mapLate}, {&f.drawn, drawnLate}})
                if (value)
                    figure->push_back(*value);
        }

        bool rewound = false;
        if (game) {
            const int k = std::abs(offset) == 1 ? 0 : std::abs(offset) == 2 ? 1 : 2;
            f.presses[k] += 1;
            f.right[k] += won == (offset < 0) ? 1 : 0;
            f.offStamp += press && *press != opponent + offset ? 1 : 0;
            if (press) {
                f.stamped += 1;
                f.byStamp += won == (*press < opponent) ? 1 : 0;
                f.first += *press < opponent ? 1 : 0;
            }
            const auto mine = bench::drawnAfter(drawings, at->window, at->zibyou, s);
            const auto his = bench::drawnAfter(drawings, at->window, at->ziboppo, opponent);
            rewound = won && mine && his && mine->order > his->order;
            f.rewound += rewound ? 1 : 0;
        }
        if (args.verbose()) {
            std::fprintf(stderr, "  duel %d:", n);
            if (game)
                std::fprintf(stderr, " steps max %.0f, draw %.0f, opponent %.0f ms late; press %+d ms, stamped %+.0f, "
                             "%s%s;",
                             steps.empty() ? -1.0 : *std::ranges::max_element(steps), drawFrame.value_or(-1),
                             opponentFrame.value_or(-1), offset, press ? *press - opponent : std::nan(""),
                             won ? "won" : "lost", rewound ? " (rewound)" : "");
            if (mapLate)
                std::fprintf(stderr, " result mapped %+.2f, drawn %.0f ms late;", *mapLate, drawnLate.value_or(-1));
            std::fprintf(stderr, "%s\n", stalled ? " set apart: the witness stalled too" : "");
        }
    }
    return f;
}

std::string judged(const Figures& f)
{
    if (f.duels == 0)
        return "not measured";
    return bench::text("±1 ms %d/%d, ±2 ms %d/%d, ±5 ms %d/%d", f.right[0], f.presses[0], f.right[1], f.presses[1],
                       f.right[2], f.presses[2]);
}

}  // namespace

int main(int argc, char** argv)
{
    const bench::Args args(argc, argv);
    const auto baseline = args.value("--baseline");
    const std::string before = args.value("--baseline-name", "an earlier version");
    const int duels = args.quick() ? 6 : 60;

    bench::XServer x;
    if (!x.ok()) {
        std::puts("# bench_screen: no X display with the XInput, XTest and DAMAGE extensions; skipped");
        return 0;
    }
    // The presses are the measuring instrument, and the X server stamps
    // them: neither may be late.
    if (!bench::raisePriority(0) || !bench::raiseXServer())
        std::puts("# note: bench_screen could not raise its own and the X server's priority; busy figures include "
                  "their lateness");
    const Witness witness;
    if (!witness.realTime())
        std::puts("# note: the witness could not run at real-time priority; with the hogs it may stall on its own");

    for (bool busy : {false, true}) {
        const bench::Hogs hogs(busy);
        const char* load = hogs.name();
        Figures today, earlier, slice, bare;
        const int rounds = args.quick() ? 1 : 3;
        for (int round = 0; round < rounds; ++round) {
            const int first = duels * round / rounds, last = duels * (round + 1) / rounds;
            auto playOn = [&](const std::string& program, const char* mode, bool game, bool defaultSlice) {
                const bench::Program running(mode ? std::vector<std::string>{program, mode} : std::vector{program});
                const int every = outcomeEvery(args);  // the bare window gives only result windows
                return play(x, witness, game ? first : first / every, game ? last : (last + every - 1) / every, game,
                            defaultSlice ? running.pid() : 0, args);
            };
            today += playOn(ZIB_GAME, nullptr, true, false);
            if (baseline)
                earlier += playOn(*baseline, nullptr, true, false);
            if (busy)
                slice += playOn(ZIB_GAME, nullptr, true, true);
            bare += playOn(MINIMAL_PROBE, "map", false, false);
        }
        auto besides = [&](const Samples Figures::*of) {
            return "before, " + before + ": " + bench::p99(earlier.*of) +
                   (busy ? "; kernel's default slice: " + bench::p99(slice.*of) : std::string());
        };
        const int target = busy ? 8 : 4;
        bench::figure("drop steps drawn after their moments (%s): %s  [%s; target p99 <= %d ms]", load,
                      bench::distribution(today.steps).c_str(), besides(&Figures::steps).c_str(), target);
        bench::figure("draw frame, ZIB! enabled, after its moment (%s): %s  [%s; target p99 <= %d ms]", load,
                      bench::distribution(today.draws).c_str(), besides(&Figures::draws).c_str(), target);
        bench::figure("opponent's ZIB! drawn after its moment (%s): %s  [%s]", load,
                      bench::distribution(today.opponent).c_str(), besides(&Figures::opponent).c_str());
        const std::string mapTarget =
            busy ? "p99 <= 8 ms" : bench::text("p99 <= bare window + 1 ms = %.1f ms", bench::percentile(bare.mapped, 99) + 1);
        bench::figure("result window mapped after its moment (%s): %s  [bare hidden QWidget shown: %s; %s; target %s]",
                      load, bench::distribution(today.mapped).c_str(), bench::p99(bare.mapped).c_str(),
                      besides(&Figures::mapped).c_str(), mapTarget.c_str());
        bench::figure("result window drawn after its moment (%s): %s  [bare hidden QWidget shown: %s; %s]", load,
                      bench::distribution(today.drawn).c_str(), bench::p99(bare.drawn).c_str(),
                      besides(&Figures::drawn).c_str());
        bench::figure("race judged right, ZIB! pressed before / after the opponent's moment (%s): %s  [before, %s: %s; "
                      "target all]",
                      load, judged(today).c_str(), before.c_str(), judged(earlier).c_str());
        auto of = [](int part, int whole) { return whole ? bench::text("%d of %d", part, whole) : "not measured"; };
        bench::figure("race judged as the X server stamped the press (%s): %s  [before, %s: %s; target all]", load,
                      of(today.byStamp, today.stamped).c_str(), before.c_str(),
                      of(earlier.byStamp, earlier.stamped).c_str());
        bench::figure("duels rewound, a press made before the opponent taken after his ZIB! was drawn (%s): %s  "
                      "[before, %s: %s]",
                      load, of(today.rewound, today.first).c_str(), before.c_str(),
                      of(earlier.rewound, earlier.first).c_str());
        const int apart = today.setApart + earlier.setApart + slice.setApart + bare.setApart;
        const int played = today.duels + earlier.duels + slice.duels + bare.duels;
        bench::figure("# %s: %d of %d duels set apart, a stall of %.0f ms or more seen by the witness too (the game "
                      "alone: %d of %d; its drop steps with them: %s); %d of %d presses stamped in another millisecond "
                      "than meant; %d frames never seen",
                      load, apart, played, stallMs, today.setApart, today.duels,
                      bench::distribution(today.stepsAll).c_str(), today.offStamp + earlier.offStamp + slice.offStamp,
                      today.stamped + earlier.stamped + slice.stamped,
                      today.missing + earlier.missing + slice.missing + bare.missing);
    }
    return 0;
}
