// SPDX-License-Identifier: MIT
#pragma once

// What the benchmarks do to the machine and to the programs they measure:
// CPU hogs beside them, and the kernel's time slice of a program's threads.

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
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

}  // namespace bench
