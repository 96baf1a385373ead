// SPDX-License-Identifier: MIT
// Start-up time, peak memory and idle wake-ups of the game, each beside a
// minimal Qt window program measured the same way in the same run.
//
// Start-up: this launcher forks, and the child takes CLOCK_MONOTONIC just
// before it execs the program, handing the stamp over on the command line.
// zib_probe (the game as app/main.cpp wires it) and minimal_probe print the
// time from that stamp to the first paint of their window and exit. The two
// run alternately; the median of each is reported, after one run of each
// that is not counted.
//
// Peak memory: zib_probe plays one duel through its windows and prints its
// getrusage ru_maxrss once the duel window is handed back; minimal_probe
// prints its own half a second after its first paint.
//
// Idle wake-ups: the game itself (the zib executable) and minimal_probe run
// side by side; once the game's start-up reset (~1 s) is well past, this
// launcher reads the voluntary context switches of every thread of each
// (/proc/PID/task/*/status), waits, reads them again and stops both. A
// thread that sleeps in its event loop and is never woken switches zero
// times. Reading /proc from outside does not wake the program read.
//
//   --quick    2 start-ups of each, one duel, 1 s of idle
//   --verbose  every run's figures on standard error
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "stats.h"

namespace {

// Starts `argv[0]` with its standard output on a pipe. When `stampSlot` is
// given, argv[stampSlot] is overwritten in the child with CLOCK_MONOTONIC
// taken just before exec.
pid_t spawn(std::vector<std::string> args, int* out, int stampSlot = -1)
{
    int pipeFds[2] = {-1, -1};
    if (out && ::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    char stamp[64] = {};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        if (out) {
            ::dup2(pipeFds[1], STDOUT_FILENO);
        } else {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
        }
        if (stampSlot >= 0) {
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            std::snprintf(stamp, sizeof stamp, "%lld.%09ld", static_cast<long long>(now.tv_sec), now.tv_nsec);
            argv[static_cast<std::size_t>(stampSlot)] = stamp;
        }
        ::execv(argv[0], argv.data());
        std::_Exit(127);
    }
    if (out) {
        ::close(pipeFds[1]);
        *out = pipeFds[0];
    }
    return pid;
}

std::string readAll(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    ::close(fd);
    return text;
}

// Runs a program to its end and returns the number after `key` in its
// output, or NaN when it failed or printed none.
double runFor(const std::vector<std::string>& args, const char* key, int stampSlot = -1)
{
    int out = -1;
    const pid_t pid = spawn(args, &out, stampSlot);
    if (pid < 0)
        return std::nan("");
    const std::string text = readAll(out);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const auto at = text.find(key);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || at == std::string::npos) {
        std::fprintf(stderr, "bench_launch: %s failed (status %d): %s\n", args[0].c_str(), status, text.c_str());
        return std::nan("");
    }
    return std::strtod(text.c_str() + at + std::strlen(key), nullptr);
}

// The voluntary context switches of each thread of a process so far, by
// thread id, with the thread's name.
struct ThreadSwitches {
    std::string name;
    long count = 0;
};
using Switches = std::map<std::string, ThreadSwitches>;

bool voluntarySwitches(pid_t pid, Switches& threads)
{
    threads.clear();
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = ::opendir(tasks.c_str());
    if (!dir)
        return false;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string path = tasks + "/" + entry->d_name + "/status";
        FILE* file = std::fopen(path.c_str(), "r");
        if (!file)
            continue;
        ThreadSwitches thread;
        char line[256];
        while (std::fgets(line, sizeof line, file)) {
            char name[64] = "";
            if (std::sscanf(line, "Name: %63[^\n]", name) == 1)
                thread.name = name;
            std::sscanf(line, "voluntary_ctxt_switches: %ld", &thread.count);
        }
        std::fclose(file);
        threads[entry->d_name] = thread;
    }
    ::closedir(dir);
    return true;
}

// Switches between two readings, over the threads alive at both; a thread
// started in between counts from zero.
long switchesBetween(const Switches& before, const Switches& after, bool verbose, const char* program)
{
    long total = 0;
    for (const auto& [tid, thread] : after) {
        const auto was = before.find(tid);
        const long delta = thread.count - (was == before.end() ? 0 : was->second.count);
        total += delta;
        if (verbose)
            std::fprintf(stderr, "  %s thread %s (%s): %ld voluntary switches while idle\n", program, tid.c_str(),
                         thread.name.c_str(), delta);
    }
    return total;
}

// Whether the process has ended (it is reaped if so).
bool ended(pid_t pid)
{
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

void stop(pid_t pid)
{
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::hasFlag(argc, argv, "--quick");
    const bool verbose = bench::hasFlag(argc, argv, "--verbose");
    bool failed = false;
    if (verbose)
        ::setenv("ZIB_BENCH_PHASES", "1", 1);
    if (!quick)
        bench::CpuPressure::noteIfBusyNow("the start-ups");

    // -- Start-up -----------------------------------------------------------
    {
        const int runs = quick ? 2 : 10;
        std::vector<double> game;
        std::vector<double> minimal;
        for (int i = quick ? 0 : -1; i < runs; ++i) {
            // Each start-up on a settled machine and display, the two programs
            // taking turns at going first.
            double g = 0;
            double m = 0;
            for (int turn = 0; turn < 2; ++turn) {
                std::this_thread::sleep_for(std::chrono::milliseconds(quick ? 50 : 300));
                if ((turn == 0) == (i % 2 == 0))
                    g = runFor({ZIB_PROBE, "startup", "STAMP"}, "first-frame-ms", 2);
                else
                    m = runFor({MINIMAL_PROBE, "startup", "STAMP"}, "first-frame-ms", 2);
            }
            if (verbose)
                std::fprintf(stderr, "  start-up %d: game %.3f ms, minimal window %.3f ms%s\n", i, g, m,
                             i < 0 ? " (not counted)" : "");
            failed = failed || std::isnan(g) || std::isnan(m);
            if (i >= 0) {
                game.push_back(g);
                minimal.push_back(m);
            }
        }
        const double base = bench::median(minimal);
        bench::figure("start-up, exec to the duel window's first frame, min / median / max of %d: %s ms  [baseline "
                      "minimal Qt window: %s ms; target median <= 1.2 x baseline = %.1f ms]",
                      runs, bench::spread(game, "%.1f").c_str(), bench::spread(minimal, "%.1f").c_str(), 1.2 * base);
    }

    // -- Peak memory --------------------------------------------------------
    {
        const int runs = quick ? 1 : 5;
        std::vector<double> game;
        std::vector<double> minimal;
        for (int i = 0; i < runs; ++i) {
            const double g = runFor({ZIB_PROBE, "duel"}, "maxrss-kb");
            const double m = runFor({MINIMAL_PROBE, "rss"}, "maxrss-kb");
            if (verbose)
                std::fprintf(stderr, "  peak RSS %d: game %.0f KiB, minimal window %.0f KiB\n", i, g, m);
            failed = failed || std::isnan(g) || std::isnan(m);
            game.push_back(g / 1024.0);
            minimal.push_back(m / 1024.0);
        }
        const double base = bench::median(minimal);
        bench::figure("peak RSS after one duel, min / median / max of %d: %s MiB  [baseline minimal Qt window: %s MiB; "
                      "target median <= baseline + 5 MiB = %.1f MiB]",
                      runs, bench::spread(game, "%.1f").c_str(), bench::spread(minimal, "%.1f").c_str(), base + 5.0);
    }

    // -- Idle wake-ups ------------------------------------------------------
    {
        const auto settle = std::chrono::milliseconds(quick ? 2000 : 3000);
        const auto idle = std::chrono::seconds(quick ? 1 : 10);
        const pid_t game = spawn({ZIB_GAME}, nullptr);
        const pid_t minimal = spawn({MINIMAL_PROBE, "idle"}, nullptr);
        std::this_thread::sleep_for(settle);
        Switches game0;
        Switches game1;
        Switches minimal0;
        Switches minimal1;
        bool read = voluntarySwitches(game, game0) && voluntarySwitches(minimal, minimal0);
        std::this_thread::sleep_for(idle);
        read = read && voluntarySwitches(game, game1) && voluntarySwitches(minimal, minimal1);
        const bool gameEnded = ended(game);
        const bool minimalEnded = ended(minimal);
        if (!read || gameEnded || minimalEnded) {
            std::fputs("bench_launch: a program ended before its idle time was over\n", stderr);
            failed = true;
        }
        if (!gameEnded)
            stop(game);
        if (!minimalEnded)
            stop(minimal);
        const long g = switchesBetween(game0, game1, verbose, "game");
        const long m = switchesBetween(minimal0, minimal1, verbose, "minimal window");
        bench::figure("idle wake-ups in %lld s after the start-up reset: %ld  [baseline minimal Qt window: %ld; "
                      "target 0]",
                      static_cast<long long>(idle.count()), g, m);
    }
    return failed ? 1 : 0;
}
