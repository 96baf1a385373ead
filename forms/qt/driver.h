// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <chrono>
#include <map>
#include <memory>
#include <optional>

#include "forms/input_clock.h"
#include "forms/qt/server_clock.h"
#include "forms/runtime.h"

class QSocketNotifier;
class QTimer;
class QWidget;

namespace forms::qt {

class FormWindow;

// Drives a forms runtime in real time with Qt: one top-level window for each
// visible form, drawn after each event's handler has returned, the player's
// input passed in with the moment it was made, and the runtime's next timer
// event armed as an absolute deadline on the monotonic clock. It never
// waits for input that may still be on its way: input made before events
// already delivered is put in its place by the runtime.
class Driver : public QObject {
public:
    // The runtime's clock goes on in real time from where it stands, and its
    // windows are made for the forms already loaded.
    explicit Driver(Runtime& runtime);
    // With a stand-in for the window system's clock, which tests control.
    Driver(Runtime& runtime, std::unique_ptr<ServerClock> server);
    ~Driver() override;

    // Runs the Qt event loop until the program ends; returns its exit status.
    int exec();

    // The runtime's time now: whole milliseconds of the monotonic clock
    // since the epoch.
    milliseconds now() const;
    // Where the runtime's clock reads zero on the steady clock.
    std::chrono::steady_clock::time_point epoch() const { return epoch_; }

    // Input from the windows, stamped by the window system if it was. The
    // runtime takes it at the moment it was made.
    void input(Target target, std::optional<std::uint64_t> stamp);
    void click(const Control& button) { input(Target::of(button), std::nullopt); }
    void click(const MenuItem& item) { input(Target::of(item), std::nullopt); }
    void close(const Form& form) { input(Target::of(form), std::nullopt); }

    // The window showing the form, if it has one.
    QWidget* window(const Form& form) const;

private:
    void sync();
    void armNext();
    void onDeadline();
    void onFirstIdle();
    FormWindow& windowFor(const Form& form);

    Runtime& runtime_;
    std::chrono::steady_clock::time_point epoch_;
    InputClock inputClock_;
    std::unique_ptr<ServerClock> server_;  // on X11, once start-up is done
    std::map<std::uint64_t, std::unique_ptr<FormWindow>> windows_;  // by the form's loading
    // Windows whose form was unloaded, by design, kept for its next loading.
    std::map<const FormDesign*, std::unique_ptr<FormWindow>> spares_;
    std::optional<milliseconds> armed_;
    bool readied_ = false;  // windows made ahead, input clock calibrated
    int timerFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* fallback_ = nullptr;  // where there is no timerfd: a Qt::PreciseTimer
};

}  // namespace forms::qt
