// SPDX-License-Identifier: MIT
// Timer events after their moment: how long after its due time a timer's
// handler starts running, over the game's own intervals.
//
// The game's timers run through forms::qt::Driver, which arms the runtime's
// next due time on a timerfd half a millisecond early and waits out the
// rest. Here a small form with one timer runs on a fresh runtime and the
// real driver, as the tests wire them, through a chain of firings: the
// drop's 50 ms many times over, then each other interval the game uses. Its
// handler takes the time first thing and compares it with the ideal: the
// driver's epoch plus the runtime's now(), which inside a Timer handler is
// the event's due time. The chain starts 300 ms after the window shows, once
// the driver is past its start-up.
//
// The driver runs three ways:
//   - on a window with nothing to press;
//   - on a window whose ZIB! button is enabled, as the opponent's timer runs
//     while the player could press;
//   - on the window with nothing to press, the kernel's default time slice
//     put back on every thread after the driver asked for its short one.
// Beside them, the floor: a bare timerfd with the thread blocked in poll(),
// what the machine itself takes to wake a sleeping thread; and a repeating
// QTimer with Qt::PreciseTimer. The ways take turns, a whole chain each,
// three times over, idle and then with the hogs.
//
//   bench_timers [--quick] [--verbose]
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <vector>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "harness.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::Samples;

constexpr int leadMs = 300;

// The chain being run: its intervals in turn, and how late each firing was.
struct Chain {
    std::vector<int> intervals;
    Clock::time_point epoch;
    Samples lateness;
};
Chain* running = nullptr;

// How long after `ideal` it is now: the one measurement every chain makes.
void fired(Clock::time_point ideal)
{
    running->lateness.push_back(bench::milliseconds(Clock::now() - ideal));
}

constexpr forms::ControlDesign plainControls[] = {
    {.name = "Tick", .kind = forms::Kind::Timer, .interval = leadMs},
};
constexpr forms::ControlDesign zibControls[] = {
    {.name = "Zib", .kind = forms::Kind::CommandButton, .box = {150, 150, 2895, 855}, .caption = "ZIB!",
     .tabIndex = 0, .clickOnPress = true},
    {.name = "Tick", .kind = forms::Kind::Timer, .interval = leadMs},
};
constexpr forms::FormDesign plainDesign{
    .name = "frmTick", .caption = "Tick", .width = 3300, .height = 1500, .controls = plainControls};
constexpr forms::FormDesign zibDesign{
    .name = "frmZibTick", .caption = "Tick", .width = 3300, .height = 1500, .controls = zibControls};

template <const forms::FormDesign& Design>
class frmTick : public forms::Form {
public:
    static const forms::FormDesign& design() { return Design; }

    explicit frmTick(forms::Runtime& runtime) : Form(runtime, Design)
    {
        on(tick_, &frmTick::Tick_Timer);
        if constexpr (&Design == &zibDesign)
            on(control("Zib"), &frmTick::Zib_Click);
    }

private:
    void Zib_Click() {}
    void Tick_Timer()
    {
        const auto ideal = running->epoch + runtime().now();
        if (started_)
            fired(ideal);
        started_ = true;
        const std::size_t n = running->lateness.size();
        if (n == running->intervals.size())
            End();
        else
            tick_.Interval(running->intervals[n]);
    }

    forms::Control& tick_ = control("Tick");
    bool started_ = false;
};

enum class Way { Plain, ZibEnabled, DefaultSlice };

Samples driverChain(const std::vector<int>& intervals, Way way)
{
    Chain chain{intervals, {}, {}};
    running = &chain;
    forms::Runtime runtime;
    forms::qt::Driver driver(runtime);
    if (way == Way::DefaultSlice)
        bench::defaultSlices(getpid());
    chain.epoch = driver.epoch();
    if (way == Way::ZibEnabled)
        runtime.start<frmTick<zibDesign>>();
    else
        runtime.start<frmTick<plainDesign>>();
    driver.exec();
    running = nullptr;
    return chain.lateness;
}

// A repeating precise QTimer for each run of equal intervals.
Samples qtimerChain(const std::vector<int>& intervals)
{
    Chain chain{intervals, {}, {}};
    running = &chain;
    for (std::size_t from = 0; from < intervals.size();) {
        const int interval = intervals[from];
        std::size_t to = from;
        while (to < intervals.size() && intervals[to] == interval)
            ++to;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(interval);
        int firings = 0;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            fired(chain.epoch + std::chrono::milliseconds(++firings * interval));
            if (firings == static_cast<int>(to - from))
                QCoreApplication::exit(0);
        });
        chain.epoch = Clock::now();
        timer.start();
        QCoreApplication::exec();
        from = to;
    }
    running = nullptr;
    return chain.lateness;
}

// The floor: a bare timerfd, the thread blocked in poll() and nothing else
// between the kernel and the clock reading.
Samples bareChain(const std::vector<int>& intervals)
{
    Chain chain{intervals, Clock::now(), {}};
    running = &chain;
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    auto ideal = chain.epoch;
    for (int interval : intervals) {
        ideal += std::chrono::milliseconds(interval);
        const auto since = ideal.time_since_epoch();
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
        itimerspec when{};
        when.it_value.tv_sec = static_cast<time_t>(seconds.count());
        when.it_value.tv_nsec = static_cast<long>(std::chrono::nanoseconds(since - seconds).count());
        timerfd_settime(fd, TFD_TIMER_ABSTIME, &when, nullptr);
        pollfd ready{fd, POLLIN, 0};
        poll(&ready, 1, -1);
        fired(ideal);
        std::uint64_t expirations = 0;
        [[maybe_unused]] auto got = read(fd, &expirations, sizeof expirations);
    }
    close(fd);
    running = nullptr;
    return chain.lateness;
}

std::string figures(const Samples& samples)
{
    return bench::text("median %.3f / p99 %.3f", bench::median(samples), bench::percentile(samples, 99));
}

void details(const char* what, const Samples& samples)
{
    for (std::size_t n = 0; n < samples.size(); ++n)
        if (samples[n] >= 0.5)
            std::fprintf(stderr, "    %s, firing %zu: %.3f ms late\n", what, n + 1, samples[n]);
}

}  // namespace

int main(int argc, char** argv)
{
    const bench::Args args(argc, argv);
    QApplication app(argc, argv);

    // The drop steps, then each level's reaction time from the game's own
    // table (with --quick only the fastest), the outcome pause and the result
    // window's time.
    std::vector<int> intervals(args.quick() ? 5 : 60, 50);
    for (const auto& level : duel::frmzib::skillLevels)
        if (!args.quick() || &level == std::end(duel::frmzib::skillLevels) - 1)
            intervals.push_back(level.reaction);
    if (!args.quick())
        intervals.insert(intervals.end(), {500, 1000});
    const int rounds = args.quick() ? 1 : 3;

    // A short chain of each kind first, not counted: the first firings of a
    // fresh process pay for page faults and lazy symbol binding.
    driverChain({50, 50}, Way::Plain);
    qtimerChain({50, 50});

    for (bool busy : {false, true}) {
        if (!busy && !args.quick())
            bench::CpuPressure::noteIfBusyNow("the idle timer runs");
        const bench::Hogs hogs(busy);
        Samples plain, zib, slice, qtimer, bare;
        for (int round = 0; round < rounds; ++round) {
            bench::append(plain, driverChain(intervals, Way::Plain));
            bench::append(zib, driverChain(intervals, Way::ZibEnabled));
            bench::append(slice, driverChain(intervals, Way::DefaultSlice));
            bench::append(qtimer, qtimerChain(intervals));
            bench::append(bare, bareChain(intervals));
        }
        if (args.verbose()) {
            details("driver", plain);
            details("driver, ZIB! enabled", zib);
            details("bare timerfd", bare);
        }
        const double target = bench::percentile(bare, 99) + 0.1;
        bench::figure("timer events after their moment (%s), %zu firings: %s ms  [floor, bare timerfd: %s; target p99 "
                      "<= floor + 0.1 = %.3f ms; kernel's default slice: %s; QTimer precise: %s]",
                      hogs.name(), plain.size(), figures(plain).c_str(), figures(bare).c_str(), target,
                      figures(slice).c_str(), figures(qtimer).c_str());
        bench::figure("timer events after their moment while ZIB! is enabled (%s): %s ms  [floor, bare timerfd: %s; "
                      "target p99 <= %.3f ms; ZIB! disabled: %s]",
                      hogs.name(), figures(zib).c_str(), figures(bare).c_str(), target, figures(plain).c_str());
    }
    return 0;
}
