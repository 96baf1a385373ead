// SPDX-License-Identifier: MIT
#pragma once

// Small helpers shared by the benchmark programs: order statistics and the
// command line every program understands.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace bench {

// Nearest-rank percentile, p in (0, 100]: the smallest sample that at least
// p per cent of the samples do not exceed. NaN for no samples.
inline double percentile(std::vector<double> samples, double p)
{
    if (samples.empty())
        return std::nan("");
    std::ranges::sort(samples);
    const double n = static_cast<double>(samples.size());
    auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * n));
    rank = std::clamp<std::size_t>(rank, 1, samples.size());
    return samples[rank - 1];
}

// The middle sample, or the mean of the two middle ones.
inline double median(std::vector<double> samples)
{
    if (samples.empty())
        return std::nan("");
    std::ranges::sort(samples);
    const std::size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
}

// "min / median / max" of the samples, each printed with `format`.
inline std::string spread(const std::vector<double>& samples, const char* format = "%.3f")
{
    if (samples.empty())
        return "no samples";
    std::string text;
    for (double value : {*std::ranges::min_element(samples), median(samples), *std::ranges::max_element(samples)}) {
        char part[32];
        std::snprintf(part, sizeof part, format, value);
        text += (text.empty() ? "" : " / ") + std::string(part);
    }
    return text;
}

inline double milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// True when `flag` is among the arguments.
inline bool hasFlag(int argc, char** argv, const char* flag)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], flag) == 0)
            return true;
    return false;
}

// The value given after `flag`, or nullptr.
inline const char* argument(int argc, char** argv, const char* flag)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], flag) == 0)
            return argv[i + 1];
    return nullptr;
}

// One figure, on one line of standard output, flushed at once so that a
// long run shows its progress.
template <class... Args>
void figure(const char* format, Args... args)
{
    std::printf(format, args...);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// How much of a stretch of time other work kept runnable tasks waiting for
// a CPU, from the kernel's pressure stall information ("some" line of
// /proc/pressure/cpu): 0 % on an idle machine. Benchmarks that want an idle
// machine note on standard output when it was not.
class CpuPressure {
public:
    CpuPressure() : start_(stalledMicroseconds()), since_(std::chrono::steady_clock::now()) {}

    // Percentage of the time since construction; negative when unknown.
    double percent() const
    {
        const double now = stalledMicroseconds();
        const double wall = milliseconds(std::chrono::steady_clock::now() - since_) * 1000.0;
        if (start_ < 0 || now < 0 || wall <= 0)
            return -1;
        return 100.0 * (now - start_) / wall;
    }

    // A "# note" line when the machine was busier than an idle one. Only
    // for a measurement that keeps no task waiting itself, as a chain of
    // timer firings does; one that keeps the display server and its own
    // threads busy at once makes its own pressure (see noteIfBusyNow).
    void noteIfBusy(const char* what) const
    {
        const double p = percent();
        if (p >= 10.0) {
            std::printf("# note: during %s other programs kept the CPUs busy (CPU pressure %.0f %%); "
                        "these figures are not those of an idle machine\n",
                        what, p);
            std::fflush(stdout);
        }
    }

    // Looks at the machine for half a second before a measurement, and
    // notes when other programs kept it busy.
    static void noteIfBusyNow(const char* what)
    {
        const CpuPressure pressure;
        timespec half{0, 500'000'000};
        nanosleep(&half, nullptr);
        const double p = pressure.percent();
        if (p >= 10.0) {
            std::printf("# note: other programs kept the CPUs busy as %s began (CPU pressure %.0f %%); "
                        "these figures are not those of an idle machine\n",
                        what, p);
            std::fflush(stdout);
        }
    }

private:
    static double stalledMicroseconds()
    {
        std::FILE* file = std::fopen("/proc/pressure/cpu", "r");
        if (!file)
            return -1;
        double total = -1;
        char line[256];
        while (std::fgets(line, sizeof line, file))
            if (std::strncmp(line, "some ", 5) == 0)
                if (const char* at = std::strstr(line, "total="))
                    total = std::strtod(at + 6, nullptr);
        std::fclose(file);
        return total;
    }

    double start_;
    std::chrono::steady_clock::time_point since_;
};

}  // namespace bench
