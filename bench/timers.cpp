// SPDX-License-Identifier: MIT
// Timer lateness: how long after its due time a timer's handler starts
// running, over the game's own intervals.
//
// The game's timers run through forms::qt::Driver, which arms the runtime's
// next due time as an absolute CLOCK_MONOTONIC deadline on a timerfd, half a
// millisecond early, and waits out the rest. Here a small form with one timer
// is driven by that same driver through a chain of firings: sixty at the
// drop's 50 ms, then one at each other interval the game uses. Its handler
// takes the time first thing and compares it with the ideal due time: the
// driver's epoch plus the runtime's now(), which inside a Timer handler is
// the event's due time.
//
// The driver is measured three ways:
//   - on a window with nothing to press, as the game's timers run while no
//     window takes input;
//   - on a window with a button, so that before each timer event the driver
//     asks the X server twice whether a press made earlier is still on its
//     way (the fence; only on X11): the difference is its cost;
//   - on the window with nothing to press, with the kernel's default time
//     slice put back on every thread after the driver asked for its short
//     one.
// Beside them, a repeating QTimer with Qt::PreciseTimer measured the same way,
// and the floor: a bare timerfd with the thread blocked in poll(), which
// shows what the machine itself takes to wake a sleeping thread.
//
// Each runs on an idle machine, then with two CPU hogs per core at the same
// ordinary priority; the X server, which answers the fence, runs ahead of
// them.
//
//   --quick    a few firings only
//   --verbose  every firing more than 0.5 ms late, on standard error
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <poll.h>
#include <string>
#include <sys/timerfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "forms/qt/driver.h"
#include "forms/runtime.h"
#include "load.h"
#include "stats.h"

namespace {

using Clock = std::chrono::steady_clock;

// The chain being run: its intervals in turn, and where the lateness of each
// firing goes.
struct Chain {
    std::vector<int> intervals;
    Clock::time_point epoch;
    std::vector<double> lateness;
    std::vector<double> queued;  // run-queue wait since the previous firing, ms
};
Chain* running = nullptr;

// The time this thread has spent runnable but waiting for a CPU, in ms
// (/proc/thread-self/schedstat, second field); negative when unknown. It
// tells a late firing that waited behind another task from one that did not.
double runQueueWaitMs()
{
    std::FILE* file = std::fopen("/proc/thread-self/schedstat", "r");
    if (!file)
        return -1;
    unsigned long long onCpu = 0;
    unsigned long long waiting = 0;
    const int read = std::fscanf(file, "%llu %llu", &onCpu, &waiting);
    std::fclose(file);
    return read == 2 ? static_cast<double>(waiting) / 1e6 : -1;
}

constexpr forms::ControlDesign tickControls[] = {
    {.name = "Tick", .kind = forms::Kind::Timer, .interval = 0},
};
constexpr forms::ControlDesign goControls[] = {
    {.name = "Go", .kind = forms::Kind::CommandButton, .box = {150, 150, 1200, 450}, .caption = "Go", .tabIndex = 0},
    {.name = "Tick", .kind = forms::Kind::Timer, .interval = 0},
};

constexpr forms::FormDesign tickDesign{
    .name = "frmTick", .caption = "Tick", .width = 1500, .height = 1500, .controls = tickControls};
constexpr forms::FormDesign goDesign{
    .name = "frmGo", .caption = "Go", .width = 1500, .height = 1500, .controls = goControls};

// A window with a timer and nothing the player could press, so that its
// timer events come as the game's do while no window takes input.
class frmTick : public forms::Form {
public:
    static const forms::FormDesign& design() { return tickDesign; }

    explicit frmTick(forms::Runtime& runtime, const forms::FormDesign& d = tickDesign) : Form(runtime, d)
    {
        onLoad(&frmTick::Form_Load);
        on(tick_, &frmTick::Tick_Timer);
    }

protected:
    virtual void Form_Load() { tick_.Interval(running->intervals[0]); }
    forms::Control& tick_ = control("Tick");

private:
    void Tick_Timer()
    {
        const auto now = Clock::now();
        const auto ideal = running->epoch + runtime().now();
        running->lateness.push_back(bench::milliseconds(now - ideal));
        running->queued.push_back(runQueueWaitMs());
        if (running->lateness.size() == running->intervals.size())
            End();
        else
            tick_.Interval(running->intervals[running->lateness.size()]);
    }
};

// The same with a button the player could press: before each timer event the
// driver makes sure no press made earlier is still on its way. The timer
// starts when Go is clicked, once the driver has asked the server its time.
class frmGo : public frmTick {
public:
    static const forms::FormDesign& design() { return goDesign; }

    explicit frmGo(forms::Runtime& runtime) : frmTick(runtime, goDesign) { on(control("Go"), &frmGo::Go_Click); }

private:
    void Form_Load() override {}
    void Go_Click() { tick_.Interval(running->intervals[0]); }
};

enum class Way { Plain, Shown, DefaultSlice };

std::vector<double> driverChain(const std::vector<int>& intervals, Way way, bool verbose, const char* label)
{
    Chain chain{intervals, {}, {}, {}};
    chain.queued.push_back(runQueueWaitMs());
    running = &chain;
    forms::Runtime runtime;
    forms::qt::Driver driver(runtime);
    if (way == Way::DefaultSlice)
        bench::defaultSlices(getpid());
    chain.epoch = driver.epoch();
    if (way == Way::Shown) {
        // The driver asks the server its time once the window is first drawn
        // and the program is idle; the chain starts after that.
        if (auto* form = runtime.start<frmGo>())
            QTimer::singleShot(300, &driver, [&driver, form] { driver.click(form->control("Go")); });
    } else {
        runtime.start<frmTick>();
    }
    driver.exec();
    running = nullptr;
    if (verbose)
        for (std::size_t n = 0; n < chain.lateness.size(); ++n)
            if (chain.lateness[n] >= 0.5)
                std::fprintf(stderr, "    %s, firing %zu (%d ms): %.3f ms late, %.3f ms of it waiting for a CPU\n",
                             label, n + 1, intervals[n], chain.lateness[n], chain.queued[n + 1] - chain.queued[n]);
    return chain.lateness;
}

// A repeating precise QTimer for each run of equal intervals.
std::vector<double> qtimerChain(const std::vector<int>& intervals)
{
    std::vector<double> lateness;
    for (std::size_t from = 0; from < intervals.size();) {
        const int interval = intervals[from];
        std::size_t to = from;
        while (to < intervals.size() && intervals[to] == interval)
            ++to;
        const int firings = static_cast<int>(to - from);
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(interval);
        int fired = 0;
        Clock::time_point epoch;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            ++fired;
            lateness.push_back(bench::milliseconds(now - (epoch + std::chrono::milliseconds(fired * interval))));
            if (fired == firings) {
                timer.stop();
                QCoreApplication::exit(0);
            }
        });
        epoch = Clock::now();
        timer.start();
        QCoreApplication::exec();
        from = to;
    }
    return lateness;
}

// The floor: a bare timerfd, the thread blocked in poll() and nothing else
// between the kernel and the clock reading.
std::vector<double> bareChain(const std::vector<int>& intervals)
{
    std::vector<double> lateness;
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (fd < 0)
        return lateness;
    auto ideal = Clock::now();
    for (int interval : intervals) {
        ideal += std::chrono::milliseconds(interval);
        const auto sinceZero = ideal.time_since_epoch();
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceZero);
        itimerspec when{};
        when.it_value.tv_sec = static_cast<time_t>(seconds.count());
        when.it_value.tv_nsec = static_cast<long>(std::chrono::nanoseconds(sinceZero - seconds).count());
        ::timerfd_settime(fd, TFD_TIMER_ABSTIME, &when, nullptr);
        pollfd ready{fd, POLLIN, 0};
        ::poll(&ready, 1, -1);
        const auto now = Clock::now();
        std::uint64_t expirations = 0;
        [[maybe_unused]] auto got = ::read(fd, &expirations, sizeof expirations);
        lateness.push_back(bench::milliseconds(now - ideal));
    }
    ::close(fd);
    return lateness;
}

std::string figures(const std::vector<double>& samples)
{
    char text[64];
    std::snprintf(text, sizeof text, "median %.3f / p99 %.3f", bench::median(samples), bench::percentile(samples, 99));
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::hasFlag(argc, argv, "--quick");
    const bool verbose = bench::hasFlag(argc, argv, "--verbose");

    QApplication app(argc, argv);
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    // The X server answers the fence's questions: like every instrument, it
    // runs ahead of the hogs. This program is the game measured and does not.
    if (x11 && !bench::raiseXServer())
        std::puts("# note: bench_timers could not raise the X server's priority; the fence's figures include its "
                  "lateness");

    std::vector<int> intervals(quick ? 5 : 60, 50);
    for (int interval : {73, 175, 260, 350, 450, 500, 1000})
        if (!quick || interval == 73)
            intervals.push_back(interval);

    // A short chain of each kind first, not counted: the first firings of a
    // fresh process pay for page faults and lazy symbol binding.
    driverChain({50, 50}, Way::Plain, false, "");
    qtimerChain({50, 50});

    for (bool busy : {false, true}) {
        const char* load = busy ? "two hogs per core" : "idle";
        if (!busy && !quick)
            bench::CpuPressure::noteIfBusyNow("the idle timer runs");
        const bench::Hogs hogs(busy);
        const auto plain = driverChain(intervals, Way::Plain, verbose, "driver");
        const auto shown = driverChain(intervals, Way::Shown, verbose, "driver, fence");
        const auto slice = driverChain(intervals, Way::DefaultSlice, verbose, "driver, default slice");
        const auto qtimer = qtimerChain(intervals);
        const auto bare = bareChain(intervals);
        bench::figure("timer lateness (%s), %zu firings: %s ms  [kernel's default slice: %s; QTimer precise: %s; "
                      "floor bare timerfd: %s%s]",
                      load, intervals.size(), figures(plain).c_str(), figures(slice).c_str(), figures(qtimer).c_str(),
                      figures(bare).c_str(), busy ? "" : "; target p99 <= 0.25 ms");
        if (x11)
            bench::figure("timer lateness with the fence, two questions to the X server (%s): %s ms  [without: %s; "
                          "cost per timer event: %.3f ms at the median]",
                          load, figures(shown).c_str(), figures(plain).c_str(),
                          bench::median(shown) - bench::median(plain));
        else
            bench::figure("# timer lateness with the fence (%s): not measured, no X server", load);
    }
    return 0;
}
