// SPDX-License-Identifier: MIT
#pragma once

// What the benchmarks do to the machine and to the programs they measure:
// CPU hogs beside them, the kernel's time slice of a program's threads, and
// the priority of the instrument: the benchmark itself and the X server.

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <sched.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench {

// Two busy loops per core at an ordinary priority, as other programs would
// keep a machine busy, for as long as the object lives. Not pinned: the
// scheduler places them as it places any program.
class Hogs {
public:
    explicit Hogs(bool on)
    {
        const long n = on ? 2 * sysconf(_SC_NPROCESSORS_ONLN) : 0;
        for (long i = 0; i < n; ++i)
            if (const pid_t pid = fork(); pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                const sched_param ordinary{0};
                sched_setscheduler(0, SCHED_OTHER, &ordinary);
                setpriority(PRIO_PROCESS, 0, 0);
                for (;;)
                    asm volatile("");
            } else if (pid > 0) {
                pids_.push_back(pid);
            }
    }
    ~Hogs()
    {
        for (pid_t pid : pids_)
            kill(pid, SIGKILL);
        for (pid_t pid : pids_)
            waitpid(pid, nullptr, 0);
    }
    Hogs(const Hogs&) = delete;
    Hogs& operator=(const Hogs&) = delete;

private:
    std::vector<pid_t> pids_;
};

// Gives every thread of a process the kernel's default time slice, taking
// back the short one the game's driver asks for: the baseline for what that
// request buys. Never more than an ordinary program has. Returns how many
// threads it set.
inline int defaultSlices(pid_t pid)
{
    struct SchedAttr {
        std::uint32_t size;
        std::uint32_t policy;
        std::uint64_t flags;
        std::int32_t nice;
        std::uint32_t priority;
        std::uint64_t runtime;
        std::uint64_t deadline;
        std::uint64_t period;
    };
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (!dir)
        return 0;
    int set = 0;
    while (const dirent* entry = readdir(dir)) {
        const auto thread = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
        SchedAttr attr{};
        if (thread <= 0 || syscall(SYS_sched_getattr, thread, &attr, sizeof attr, 0) != 0 || attr.policy != SCHED_OTHER)
            continue;
        attr.size = sizeof attr;
        attr.flags = 0;
        attr.runtime = 0;  // the default slice
        set += syscall(SYS_sched_setattr, thread, &attr, 0) == 0 ? 1 : 0;
    }
    closedir(dir);
    return set;
}

// Puts a thread (0: this one) at the lowest real-time priority, ahead of
// every ordinary program, or failing that at nice -10. Programs it starts run
// at an ordinary priority again.
inline bool raisePriority(pid_t thread)
{
    const sched_param lowest{sched_get_priority_min(SCHED_FIFO)};
    return sched_setscheduler(thread, SCHED_FIFO | SCHED_RESET_ON_FORK, &lowest) == 0 ||
           setpriority(PRIO_PROCESS, static_cast<id_t>(thread), -10) == 0;
}

// Raises the priority of the local X server this program draws on: the one
// started with this display's number (DISPLAY=:N, started with ":N").
inline bool raiseXServer()
{
    const char* display = std::getenv("DISPLAY");
    if (!display || display[0] != ':')
        return false;
    const std::string number(display, std::strcspn(display, "."));
    bool raised = false;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const auto pid = std::strtol(entry.path().filename().c_str(), nullptr, 10);
        std::FILE* f = pid > 0 ? std::fopen((entry.path() / "cmdline").c_str(), "r") : nullptr;
        if (!f)
            continue;
        char line[4096] = {};
        const std::size_t n = std::fread(line, 1, sizeof line - 1, f);
        std::fclose(f);
        const char* name = std::strrchr(line, '/') ? std::strrchr(line, '/') + 1 : line;
        if (std::strcmp(name, "Xvfb") != 0 && std::strcmp(name, "Xorg") != 0)
            continue;
        for (std::size_t at = std::strlen(line) + 1; at < n; at += std::strlen(line + at) + 1)
            if (number == line + at && raisePriority(static_cast<pid_t>(pid)))
                raised = true;
    }
    return raised;
}

}  // namespace bench
