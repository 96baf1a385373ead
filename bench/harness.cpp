// SPDX-License-Identifier: MIT
#include "harness.h"

#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "forms/qt/time_slices.h"

namespace bench {

// -- Arguments ---------------------------------------------------------------

bool Args::flag(const char* name) const { return std::ranges::find(argv_, name) != argv_.end(); }

std::optional<std::string> Args::value(const char* name) const
{
    const auto at = std::ranges::find(argv_, name);
    if (at == argv_.end() || at + 1 == argv_.end())
        return std::nullopt;
    return *(at + 1);
}

// -- Statistics and figures ----------------------------------------------------

void append(Samples& to, const Samples& more) { to.insert(to.end(), more.begin(), more.end()); }

double percentile(Samples samples, double p)
{
    if (samples.empty())
        return std::nan("");
    std::ranges::sort(samples);
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(samples.size())));
    return samples[std::clamp<std::size_t>(rank, 1, samples.size()) - 1];
}

double median(Samples samples)
{
    if (samples.empty())
        return std::nan("");
    std::ranges::sort(samples);
    const std::size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
}

std::string spread(const Samples& samples, const char* format)
{
    if (samples.empty())
        return "no samples";
    std::string all;
    for (double value : {*std::ranges::min_element(samples), median(samples), *std::ranges::max_element(samples)}) {
        char part[32];
        std::snprintf(part, sizeof part, format, value);
        all += (all.empty() ? "" : " / ") + std::string(part);
    }
    return all;
}

std::string distribution(const Samples& samples)
{
    if (samples.empty())
        return "no samples";
    return text("median %.2f / p99 %.2f / max %.2f ms over %zu", median(samples), percentile(samples, 99),
                *std::ranges::max_element(samples), samples.size());
}

std::string p99(const Samples& samples)
{
    return samples.empty() ? "not measured" : text("p99 %.2f ms", percentile(samples, 99));
}

std::string text(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

void figure(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

double milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void sleepUntil(double ms)
{
    const double early = ms - 0.3;
    if (early > nowMs()) {
        timespec t{static_cast<time_t>(early / 1e3), static_cast<long>(std::fmod(early, 1e3) * 1e6)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr);
    }
    while (nowMs() < ms) {
    }
}

// -- The machine ---------------------------------------------------------------

namespace {

double stalledMicroseconds()
{
    std::ifstream file("/proc/pressure/cpu");
    std::string line;
    while (std::getline(file, line))
        if (line.starts_with("some ") && line.find("total=") != std::string::npos)
            return std::strtod(line.c_str() + line.find("total=") + 6, nullptr);
    return -1;
}

void notePressure(double percent, const char* when, const char* what)
{
    if (percent >= 10.0)
        figure("# note: other programs kept the CPUs busy %s %s (CPU pressure %.0f %%); these figures are not those "
               "of an idle machine",
               when, what, percent);
}

// The thread ids of a process.
std::vector<std::string> tasks(pid_t pid)
{
    std::vector<std::string> ids;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error))
        ids.push_back(entry.path().filename());
    return ids;
}

// A program's exit status from what waitpid() says of it; 128 + N when signal N ended it.
int exitStatus(int waited) { return WIFEXITED(waited) ? WEXITSTATUS(waited) : 128 + WTERMSIG(waited); }

// Like a player's program: an ordinary priority, whatever the instrument's.
void ordinaryPriority()
{
    const sched_param ordinary{0};
    sched_setscheduler(0, SCHED_OTHER, &ordinary);
    setpriority(PRIO_PROCESS, 0, 0);
}

}  // namespace

CpuPressure::CpuPressure() : start_(stalledMicroseconds()), since_(std::chrono::steady_clock::now()) {}

double CpuPressure::percent() const
{
    const double now = stalledMicroseconds();
    const double wall = milliseconds(std::chrono::steady_clock::now() - since_) * 1000.0;
    return start_ < 0 || now < 0 || wall <= 0 ? -1 : 100.0 * (now - start_) / wall;
}

void CpuPressure::noteIfBusy(const char* what) const { notePressure(percent(), "during", what); }

void CpuPressure::noteIfBusyNow(const char* what)
{
    const CpuPressure pressure;
    timespec half{0, 500'000'000};
    nanosleep(&half, nullptr);
    notePressure(pressure.percent(), "as this began:", what);
}

Hogs::Hogs(bool on)
{
    const long n = on ? 2 * sysconf(_SC_NPROCESSORS_ONLN) : 0;
    for (long i = 0; i < n; ++i)
        if (const pid_t pid = fork(); pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            ordinaryPriority();
            for (;;)
                asm volatile("");
        } else if (pid > 0) {
            pids_.push_back(pid);
        }
}

Hogs::~Hogs()
{
    for (pid_t pid : pids_)
        kill(pid, SIGKILL);
    for (pid_t pid : pids_)
        waitpid(pid, nullptr, 0);
}

int defaultSlices(pid_t pid) { return forms::qt::setTimeSlices(pid, 0); }

bool raisePriority(pid_t thread)
{
    const sched_param lowest{sched_get_priority_min(SCHED_FIFO)};
    return sched_setscheduler(thread, SCHED_FIFO | SCHED_RESET_ON_FORK, &lowest) == 0 ||
           setpriority(PRIO_PROCESS, static_cast<id_t>(thread), -10) == 0;
}

bool raiseXServer()
{
    // The server started with this display's number (DISPLAY=:N, started with ":N").
    const char* display = std::getenv("DISPLAY");
    if (!display || display[0] != ':')
        return false;
    const std::string number(display, std::strcspn(display, "."));
    bool raised = false;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const auto pid = static_cast<pid_t>(std::strtol(entry.path().filename().c_str(), nullptr, 10));
        std::ifstream file(entry.path() / "cmdline");
        std::vector<std::string> words;
        for (std::string word; pid > 0 && std::getline(file, word, '\0');)
            words.push_back(word);
        if (words.empty())
            continue;
        const std::string name = std::filesystem::path(words[0]).filename();
        if ((name == "Xvfb" || name == "Xorg") && std::ranges::find(words, number) != words.end())
            raised = raisePriority(pid) || raised;
    }
    return raised;
}

// -- The game as a program of its own -------------------------------------------

Program::Program(std::vector<std::string> args, bool capture)
{
    int pipeFds[2] = {-1, -1};
    if (capture && pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    startedAt_ = nowMs();
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        ordinaryPriority();
        const int out = capture ? pipeFds[1] : open("/dev/null", O_WRONLY);
        dup2(out, STDOUT_FILENO);
        execv(argv[0], argv.data());
        std::_Exit(127);
    }
    if (capture) {
        close(pipeFds[1]);
        out_ = pipeFds[0];
    }
}

Program::~Program()
{
    if (running())
        kill(pid_, SIGTERM);
    if (pid_ > 0 && status_ < 0)
        waitpid(pid_, nullptr, 0);
    if (out_ >= 0)
        close(out_);
}

bool Program::running()
{
    if (pid_ <= 0 || status_ >= 0)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_)
        status_ = exitStatus(status);
    return status_ < 0;
}

std::optional<std::string> Program::output()
{
    std::string all;
    char buffer[4096];
    for (ssize_t n; out_ >= 0 && (n = read(out_, buffer, sizeof buffer)) != 0;)
        if (n > 0)
            all.append(buffer, static_cast<std::size_t>(n));
        else if (errno != EINTR)
            break;
    int status = 0;
    if (pid_ > 0 && status_ < 0 && waitpid(pid_, &status, 0) == pid_)
        status_ = exitStatus(status);
    if (status_ != 0)
        return std::nullopt;
    return all;
}

long Program::peakRssKiB() const
{
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:"))
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

std::map<std::string, Program::Thread> Program::threads() const
{
    std::map<std::string, Thread> all;
    for (const std::string& id : tasks(pid_)) {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/task/" + id + "/status");
        Thread thread;
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("Name:"))
                thread.name = line.substr(line.find_first_not_of(" \t", 5));
            if (line.starts_with("voluntary_ctxt_switches:"))
                thread.switches = std::strtol(line.c_str() + 24, nullptr, 10);
        }
        all[id] = thread;
    }
    return all;
}

// -- The game wired in this process ------------------------------------------------

InProcessGame::InProcessGame()
    : driver_(std::make_unique<forms::qt::Driver>(runtime)), duel_(runtime.start<duel::frmzib>()),
      window_(duel_ ? driver_->window(*duel_) : nullptr)
{
}

InProcessGame::~InProcessGame() = default;

QPushButton* InProcessGame::button(const char* caption) const
{
    for (auto* b : window_ ? window_->findChildren<QPushButton*>() : QList<QPushButton*>())
        if (b->text() == QLatin1String(caption))
            return b;
    return nullptr;
}

bool InProcessGame::idle(std::chrono::milliseconds timeout)
{
    // Both hidden result windows hand the duel window back about a second
    // after start-up.
    const int ms = static_cast<int>(timeout.count());
    return window_ && QTest::qWaitForWindowExposed(window_, ms) &&
           QTest::qWaitFor([this] { return runtime.forms().size() == 1; }, ms);
}

}  // namespace bench
