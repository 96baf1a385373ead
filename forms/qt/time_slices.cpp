// SPDX-License-Identifier: MIT
#include "forms/qt/time_slices.h"

#ifdef __linux__
#include <dirent.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#endif

namespace forms::qt {

int setTimeSlices([[maybe_unused]] int pid, [[maybe_unused]] std::uint64_t ns)
{
    int set = 0;
#ifdef __linux__
    // The kernel's scheduling attributes of a thread (sched_setattr(2)).
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
    const std::string folder = "/proc/" + (pid ? std::to_string(pid) : std::string("self")) + "/task";
    DIR* tasks = ::opendir(folder.c_str());
    if (!tasks)
        return 0;
    while (const dirent* entry = ::readdir(tasks)) {
        const auto thread = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
        SchedAttr attr{};
        if (thread <= 0 || ::syscall(SYS_sched_getattr, thread, &attr, sizeof attr, 0) != 0 ||
            attr.policy != SCHED_OTHER)
            continue;
        attr.size = sizeof attr;
        attr.flags = 0;
        attr.runtime = ns;
        set += ::syscall(SYS_sched_setattr, thread, &attr, 0) == 0 ? 1 : 0;
    }
    ::closedir(tasks);
#endif
    return set;
}

}  // namespace forms::qt
