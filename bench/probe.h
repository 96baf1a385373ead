// SPDX-License-Identifier: MIT
#pragma once

// What the two programs bench_launch starts have in common: the start-up
// stamp handed over on the command line, the catch of the first frame, and
// the peak memory report.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

namespace bench {

// A CLOCK_MONOTONIC time written as "seconds.nanoseconds".
inline double monotonicMs(const char* stamp)
{
    char* end = nullptr;
    const long long seconds = std::strtoll(stamp, &end, 10);
    const long long nanoseconds = (end && *end == '.') ? std::strtoll(end + 1, nullptr, 10) : 0;
    return static_cast<double>(seconds) * 1e3 + static_cast<double>(nanoseconds) / 1e6;
}

inline double monotonicNowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Marks on the way from exec to the first frame, printed to standard error
// with the first frame when ZIB_BENCH_PHASES is set (bench_launch --verbose
// sets it).
class Phases {
public:
    explicit Phases(double stampMs) : stamp_(stampMs), on_(std::getenv("ZIB_BENCH_PHASES") != nullptr) {}
    void mark(const char* what)
    {
        if (on_ && count_ < max)
            marks_[count_++] = {what, monotonicNowMs()};
    }
    void print() const
    {
        if (!on_)
            return;
        double previous = stamp_;
        for (int i = 0; i < count_; ++i) {
            std::fprintf(stderr, "    %-28s at %7.2f ms (+%6.2f)\n", marks_[i].what, marks_[i].at - stamp_,
                         marks_[i].at - previous);
            previous = marks_[i].at;
        }
    }

private:
    static constexpr int max = 16;
    struct Mark {
        const char* what = "";
        double at = 0;
    };
    double stamp_;
    bool on_;
    Mark marks_[max];
    int count_ = 0;
};

// Watches every event of the application for the first paint of a widget in
// the window `target` names (it may name none yet), then calls `caught` once.
class FirstPaint : public QObject {
public:
    FirstPaint(std::function<QWidget*()> target, std::function<void()> caught)
        : target_(std::move(target)), caught_(std::move(caught))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !done_ && watched->isWidgetType()) {
            QWidget* window = target_();
            if (window && static_cast<QWidget*>(watched)->window() == window) {
                done_ = true;
                caught_();
            }
        }
        return false;
    }

private:
    std::function<QWidget*()> target_;
    std::function<void()> caught_;
    bool done_ = false;
};

// Prints the time since the stamp and ends the program at once.
[[noreturn]] inline void reportFirstFrame(double stampMs, Phases& phases)
{
    const double elapsed = monotonicNowMs() - stampMs;
    phases.mark("first paint");
    phases.print();
    std::printf("first-frame-ms %.3f\n", elapsed);
    std::fflush(stdout);
    std::_Exit(0);
}

inline long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace bench
