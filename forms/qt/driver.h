// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <chrono>
#include <map>
#include <memory>
#include <optional>

#include "forms/runtime.h"

class QSocketNotifier;
class QTimer;
class QWidget;

namespace forms::qt {

class FormWindow;

// Drives a forms runtime in real time with Qt: one top-level window for each
// visible form, drawn after each event's handler has returned, the player's
// input passed in, and the runtime's next timer event armed as an absolute
// deadline on the monotonic clock.
class Driver : public QObject {
public:
    explicit Driver(Runtime& runtime);
    ~Driver() override;

    // Runs the Qt event loop until the program ends; returns its exit status.
    int exec();

    // Milliseconds since the driver started: the runtime's time.
    milliseconds now() const;

    // Input from the windows. Every timer event due before the moment of the
    // input is delivered first, so a press races the timers fairly.
    void click(Control& button);
    void click(MenuItem& item);
    void close(Form& form);

    // The window showing the form, if it has one.
    QWidget* window(const Form& form) const;

private:
    void catchUp();
    template <class Deliver>
    void input(const Form& form, Deliver deliver);
    void sync();
    void armNext();
    void onDeadline();

    Runtime& runtime_;
    std::chrono::steady_clock::time_point epoch_;
    std::map<std::uint64_t, std::unique_ptr<FormWindow>> windows_;  // by the form's loading
    std::optional<milliseconds> armed_;
    int timerFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* fallback_ = nullptr;  // where there is no timerfd: a Qt::PreciseTimer
};

}  // namespace forms::qt
