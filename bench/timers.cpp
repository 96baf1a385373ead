// SPDX-License-Identifier: MIT
// Timer lateness over the game's own intervals: how long after its due time
// a timer's handler starts running.
//
// The game's timers run through forms::qt::Driver, which arms the runtime's
// next due time as an absolute CLOCK_MONOTONIC deadline on a timerfd, half a
// millisecond early, and waits out the rest. Here a small hidden form with
// one timer is driven by that same driver, in a chain of firings at each
// interval the game uses; its handler takes the time first thing and
// compares it with the ideal due time: the driver's epoch plus the runtime's
// now(), which inside a Timer handler is the event's due time.
//
// Beside it, at each interval: the same driver woken at the due time itself
// (what the early wake buys), a repeating QTimer with Qt::PreciseTimer
// measured the same way, and the floor: the same chain on a bare timerfd
// with the thread blocked in poll(), which shows what the machine itself
// takes to wake a sleeping thread.
//
// Two configurations: the machine idle, and the other core busy with a
// spinning child process pinned to it. Each runs three times; every figure
// is printed as the min / median / max of the three runs.
//
//   --quick    a few firings at two intervals only
//   --idle     the idle configuration only
//   --busy     the busy configuration only
//   --verbose  per-interval figures on standard error
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <string>
#include <vector>

#include "forms/qt/driver.h"
#include "forms/runtime.h"
#include "stats.h"

namespace {

using Clock = std::chrono::steady_clock;

// The chain being run: its interval, how many firings, and where the
// lateness of each goes.
struct Chain {
    int interval = 0;
    int firings = 0;
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
    {.name = "Tick", .kind = forms::Kind::Timer, .interval = 0},  // set at Load
};

constexpr forms::FormDesign tickDesign{
    .name = "frmTick",
    .caption = "Tick",
    .width = 1500,
    .height = 1500,
    .controls = tickControls,
};

// Never shown, so the driver makes no window for it: only its timer runs.
class frmTick : public forms::Form {
public:
    static const forms::FormDesign& design() { return tickDesign; }

    explicit frmTick(forms::Runtime& runtime) : Form(runtime, tickDesign)
    {
        onLoad(&frmTick::Form_Load);
        on(tick_, &frmTick::Tick_Timer);
    }

private:
    void Form_Load() { tick_.Interval(running->interval); }

    void Tick_Timer()
    {
        const auto now = Clock::now();
        const auto ideal = running->epoch + runtime().now();
        running->lateness.push_back(bench::milliseconds(now - ideal));
        running->queued.push_back(runQueueWaitMs());
        if (++fired_ == running->firings)
            End();
    }

    forms::Control& tick_ = control("Tick");
    int fired_ = 0;
};

std::vector<double> driverChain(int interval, int firings, forms::qt::Driver::Options options = {},
                                bool verbose = false)
{
    Chain chain{interval, firings, {}, {}, {}};
    chain.lateness.reserve(static_cast<std::size_t>(firings));
    chain.queued.reserve(static_cast<std::size_t>(firings) + 1);
    chain.queued.push_back(runQueueWaitMs());
    running = &chain;
    forms::Runtime runtime;
    forms::qt::Driver driver(runtime, options);
    chain.epoch = driver.epoch();
    runtime.start<frmTick>();
    driver.exec();
    running = nullptr;
    if (verbose)
        for (std::size_t n = 0; n < chain.lateness.size(); ++n)
            if (chain.lateness[n] >= 0.5)
                std::fprintf(stderr, "    driver %d ms firing %zu: %.3f ms late, %.3f ms of it waiting for a CPU\n",
                             interval, n + 1, chain.lateness[n], chain.queued[n + 1] - chain.queued[n]);
    return chain.lateness;
}

std::vector<double> qtimerChain(int interval, int firings)
{
    std::vector<double> lateness;
    lateness.reserve(static_cast<std::size_t>(firings));
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(interval);
    int fired = 0;
    Clock::time_point epoch;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        ++fired;
        const auto ideal = epoch + std::chrono::milliseconds(static_cast<long>(fired) * interval);
        lateness.push_back(bench::milliseconds(now - ideal));
        if (fired == firings) {
            timer.stop();
            QCoreApplication::exit(0);
        }
    });
    epoch = Clock::now();
    timer.start();
    QCoreApplication::exec();
    return lateness;
}

// The floor: the same chain on a bare timerfd, the thread blocked in poll()
// and nothing else between the kernel and the clock reading. What this
// takes is the machine's own wake-up latency.
std::vector<double> bareChain(int interval, int firings)
{
    std::vector<double> lateness;
    lateness.reserve(static_cast<std::size_t>(firings));
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (fd < 0)
        return lateness;
    const auto epoch = Clock::now();
    for (int n = 1; n <= firings; ++n) {
        const auto ideal = epoch + std::chrono::milliseconds(static_cast<long>(n) * interval);
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

// A child process spinning on one core until it is stopped, as another busy
// program would.
class BusyLoad {
public:
    explicit BusyLoad(int cpu)
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (cpu >= 0) {
                cpu_set_t set;
                CPU_ZERO(&set);
                CPU_SET(cpu, &set);
                ::sched_setaffinity(0, sizeof set, &set);
            }
            volatile unsigned long spins = 0;
            for (;;)
                spins = spins + 1;
        }
    }
    ~BusyLoad()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    BusyLoad(const BusyLoad&) = delete;
    BusyLoad& operator=(const BusyLoad&) = delete;

    bool running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

// The core the load spins on: the last one this process may use. The bench
// itself is not pinned, as the game would not be; the scheduler wakes it on
// the idle core.
int otherCore()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0 || CPU_COUNT(&set) < 2)
        return -1;
    int last = -1;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &set))
            last = cpu;
    return last;
}

struct Result {
    std::vector<double> driver;
    std::vector<double> late;  // the same driver woken at the due time, not before it
    std::vector<double> qtimer;
    std::vector<double> bare;
};

Result measure(const std::vector<int>& intervals, bool quick, bool verbose, const char* label)
{
    Result all;
    for (int interval : intervals) {
        const int firings = quick ? 3 : std::max(5, 1000 / interval);
        auto d = driverChain(interval, firings, {}, verbose);
        auto l = driverChain(interval, firings, {.wakeEarly = std::chrono::microseconds(0)});
        auto q = qtimerChain(interval, firings);
        auto b = bareChain(interval, firings);
        if (verbose)
            std::fprintf(stderr,
                         "  %-16s %4d ms x %3d: driver median %.3f p99 %.3f max %.3f | QTimer median %.3f p99 %.3f "
                         "max %.3f | bare timerfd median %.3f p99 %.3f\n",
                         label, interval, firings, bench::median(d), bench::percentile(d, 99),
                         bench::percentile(d, 100), bench::median(q), bench::percentile(q, 99),
                         bench::percentile(q, 100), bench::median(b), bench::percentile(b, 99));
        all.driver.insert(all.driver.end(), d.begin(), d.end());
        all.late.insert(all.late.end(), l.begin(), l.end());
        all.qtimer.insert(all.qtimer.end(), q.begin(), q.end());
        all.bare.insert(all.bare.end(), b.begin(), b.end());
    }
    return all;
}

// A figure over the repetitions: min / median / max of what `of` takes from
// each.
template <class Of>
std::string spread(const std::vector<Result>& runs, Of of)
{
    std::vector<double> values;
    for (const Result& r : runs)
        values.push_back(of(r));
    return bench::spread(values);
}

void report(const std::vector<Result>& runs, const char* label, double target)
{
    for (double p : {99.0, 50.0}) {
        auto at = [p](std::vector<double> Result::*chain) {
            return [p, chain](const Result& r) { return bench::percentile(r.*chain, p); };
        };
        bench::figure("timer lateness %s (%s), min / median / max of %zu runs: %s ms  [driver without its early wake: "
                      "%s; QTimer precise: %s; floor bare timerfd: %s%s]",
                      p == 99 ? "p99" : "median", label, runs.size(), spread(runs, at(&Result::driver)).c_str(),
                      spread(runs, at(&Result::late)).c_str(), spread(runs, at(&Result::qtimer)).c_str(),
                      spread(runs, at(&Result::bare)).c_str(),
                      p == 99 ? ("; target <= " + std::to_string(target).substr(0, 4) + " ms").c_str() : "");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::hasFlag(argc, argv, "--quick");
    const bool verbose = bench::hasFlag(argc, argv, "--verbose");
    const bool onlyIdle = bench::hasFlag(argc, argv, "--idle");
    const bool onlyBusy = bench::hasFlag(argc, argv, "--busy");

    QApplication app(argc, argv);

    const int repetitions = quick ? 1 : 3;
    const std::vector<int> intervals =
        quick ? std::vector<int>{50, 73} : std::vector<int>{50, 73, 175, 260, 350, 450, 500, 1000};

    // A short chain of each kind first, not counted: the first firings of a
    // fresh process pay for page faults and lazy symbol binding.
    driverChain(50, 2);
    qtimerChain(50, 2);

    if (!onlyBusy) {
        const bench::CpuPressure pressure;
        std::vector<Result> idle;
        for (int run = 0; run < repetitions; ++run)
            idle.push_back(measure(intervals, quick, verbose, "idle"));
        pressure.noteIfBusy("the idle timer runs");
        report(idle, "idle", 0.25);
    }

    if (!onlyIdle) {
        const int cpu = otherCore();
        BusyLoad load(cpu);
        if (!load.running()) {
            std::perror("bench_timers: cannot start the load");
            return 1;
        }
        if (cpu < 0)
            std::fputs("bench_timers: only one core; the load shares it\n", stderr);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        // The load spins alone on its core and keeps no task waiting: any CPU
        // pressure seen now comes from other programs.
        const bench::CpuPressure pressure;
        std::vector<Result> busy;
        for (int run = 0; run < repetitions; ++run)
            busy.push_back(measure(intervals, quick, verbose, "other core busy"));
        pressure.noteIfBusy("the timer runs with the other core busy");
        report(busy, "other core busy", 1.2);
    }
    return 0;
}
