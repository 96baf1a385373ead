// SPDX-License-Identifier: MIT
#pragma once

// What every benchmark needs: its named arguments, order statistics, one line
// per figure, the load it puts on the machine, and the game it measures,
// either as a program of its own (the real zib, watched from outside) or
// wired in this process as the tests wire it (the runtime and the real
// driver).
//
// A figure is printed on one line of standard output with its baseline and
// target beside it; notes and details go to standard error.

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "forms/runtime.h"

class QPushButton;
class QWidget;

namespace forms::qt {
class Driver;
}
namespace duel {
class frmzib;
}

namespace bench {

// -- Arguments ---------------------------------------------------------------

// The command line: flags such as --quick, and named values such as
// --baseline PATH.
class Args {
public:
    Args(int argc, char** argv) : argv_(argv + 1, argv + argc) {}

    bool flag(const char* name) const;
    // The value after `name`, or nothing.
    std::optional<std::string> value(const char* name) const;
    std::string value(const char* name, const char* otherwise) const { return value(name).value_or(otherwise); }

    // A few samples of each figure, to keep the programs working.
    bool quick() const { return flag("--quick"); }
    // Per-sample details on standard error.
    bool verbose() const { return flag("--verbose"); }

private:
    std::vector<std::string> argv_;
};

// -- Statistics and figures ----------------------------------------------------

using Samples = std::vector<double>;

// Adds `more` to the end of `to`.
void append(Samples& to, const Samples& more);

// Nearest rank, p in (0, 100]: the smallest sample that at least p per cent
// of the samples do not exceed. NaN for no samples.
double percentile(Samples samples, double p);
// The middle sample, or the mean of the two middle ones.
double median(Samples samples);
// "min / median / max", each printed with `format`.
std::string spread(const Samples& samples, const char* format = "%.3f");
// "median M / p99 P / max X ms over N".
std::string distribution(const Samples& samples);
// "p99 P ms", or "not measured".
std::string p99(const Samples& samples);

// printf into a string.
std::string text(const char* format, ...) __attribute__((format(printf, 1, 2)));
// One figure: a line of standard output, flushed at once so that a long run
// shows its progress.
void figure(const char* format, ...) __attribute__((format(printf, 1, 2)));

double milliseconds(std::chrono::steady_clock::duration d);
// CLOCK_MONOTONIC in milliseconds: the clock the game and the X server count.
double nowMs();
// Sleeps to within a fraction of a millisecond of `ms`, then spins to it.
void sleepUntil(double ms);

// -- The machine ---------------------------------------------------------------

// How much of a stretch of time other programs kept runnable tasks waiting
// for a CPU (/proc/pressure/cpu, "some"): 0 % on an idle machine.
class CpuPressure {
public:
    CpuPressure();
    // Percentage of the time since construction; negative when unknown.
    double percent() const;
    // A "# note" line when other programs kept the machine busy during a
    // measurement that itself keeps nothing waiting.
    void noteIfBusy(const char* what) const;
    // Looks at the machine for half a second before a measurement.
    static void noteIfBusyNow(const char* what);

private:
    double start_;
    std::chrono::steady_clock::time_point since_;
};

// "Busy": two CPU hogs per core at nice 0, as other programs would keep the
// machine busy, for as long as the object lives. Not pinned.
class Hogs {
public:
    explicit Hogs(bool on);
    ~Hogs();
    Hogs(const Hogs&) = delete;
    Hogs& operator=(const Hogs&) = delete;
    const char* name() const { return pids_.empty() ? "idle" : "two hogs per core"; }

private:
    std::vector<pid_t> pids_;
};

// Gives every thread of a process the kernel's default time slice, taking
// back the short one the game's driver asks for. Returns how many it set.
int defaultSlices(pid_t pid);
// Puts a thread (0: this one) at the lowest real-time priority, or failing
// that at nice -10: the instrument runs ahead of what it measures. Programs
// it starts run at an ordinary priority again.
bool raisePriority(pid_t thread);
// The same for the local X server this program draws on.
bool raiseXServer();

// -- The game as a program of its own -------------------------------------------

// A program started at nice 0 and SCHED_OTHER, as a player starts it; it
// ends with this one, and is stopped when the object goes.
class Program {
public:
    // With `capture`, its standard output is kept for output(); otherwise
    // it goes nowhere.
    explicit Program(std::vector<std::string> args, bool capture = false);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    pid_t pid() const { return pid_; }
    // nowMs() just before it was started.
    double startedAt() const { return startedAt_; }
    bool running();
    // Everything it printed, once it has ended; nothing if it failed.
    std::optional<std::string> output();
    // Its peak resident memory so far, in KiB (VmHWM); negative when unknown.
    long peakRssKiB() const;
    // Voluntary context switches so far of each of its threads, by thread
    // id, with the thread's name: a thread asleep that nothing wakes makes
    // none.
    struct Thread {
        std::string name;
        long switches = 0;
    };
    std::map<std::string, Thread> threads() const;

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    double startedAt_ = 0;
};

// -- The game wired in this process ------------------------------------------------

// The duel window on the real driver, in this process, wired as the tests
// wire it: a runtime, the Qt driver and frmzib started. Needs a
// QApplication set up with zib::prepare.
class InProcessGame {
public:
    InProcessGame();
    ~InProcessGame();

    forms::Runtime runtime;
    forms::qt::Driver& driver() { return *driver_; }
    duel::frmzib& duel() { return *duel_; }
    QWidget* window() const { return window_; }
    // The duel window's button with this caption.
    QPushButton* button(const char* caption) const;

    // Waits, in real time, until the window is on screen and the start-up
    // hand-back is over; false if that did not come within `timeout`.
    bool idle(std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    std::unique_ptr<forms::qt::Driver> driver_;
    duel::frmzib* duel_ = nullptr;
    QWidget* window_ = nullptr;
};

}  // namespace bench
