// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "forms/form.h"

namespace forms {

using std::chrono::milliseconds;

// Where a piece of the player's input goes: one loading of a form, and on it
// a button or a menu item by its place in the design, or the window itself.
// Input for a loading since unloaded finds nothing and is lost.
struct Target {
    enum class Kind : std::uint8_t { Button, MenuItem, Window };
    std::uint64_t loading = 0;
    Kind kind = Kind::Window;
    std::size_t index = 0;

    static Target of(const Control& button);
    static Target of(const MenuItem& item);
    static Target of(const Form& window);
};

// The program: its loaded forms, one global instance slot per form, the timers
// and the one event queue. Events are delivered one at a time, each handler to
// its end. The runtime never reads a clock: whoever drives it (a test, or the
// real-time backend) tells it what time it is, and advancing delivers every
// event due up to then, in due order.
class Runtime {
public:
    Runtime();
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // Loads F as the start-up form, raises its Load event and shows it when
    // the handler returns.
    // Returns nullptr if a run-time error ended the program on the way.
    template <class F>
    F* start()
    {
        deliver([this] { instance<F>().Show(); });
        return ended_ ? nullptr : find<F>();
    }

    // The form in F's global instance slot, loaded first if the slot is empty.
    template <class F>
    F& instance()
    {
        if (Form* form = find(F::design().name))
            return static_cast<F&>(*form);
        auto made = std::make_unique<F>(*this);
        F& form = *made;
        adopt(std::move(made));
        return form;
    }

    // The form in F's slot, or nullptr when it is not loaded.
    template <class F>
    F* find() const
    {
        return static_cast<F*>(find(F::design().name));
    }

    Form* find(std::string_view name) const;
    // The form, if this very loading of it is still loaded.
    Form* find(std::uint64_t loading) const;
    // The loaded forms, in the order they were loaded.
    const std::vector<std::unique_ptr<Form>>& forms() const { return loaded_; }

    milliseconds now() const { return now_; }
    // When the next timer event falls due, or nothing while no timer runs.
    std::optional<milliseconds> nextDue() const;
    // Delivers every timer event due up to `time`, each at its own instant.
    void advanceTo(milliseconds time);
    void advance(milliseconds span) { advanceTo(now_ + span); }

    // Input from the player, made at `moment`: the clock goes to that moment
    // (back, if it was made before the time the runtime was advanced to).
    // Every timer event due up to it is delivered first, then the input: a
    // moment is a whole millisecond, and input stamped in the millisecond a
    // timer falls due was made at or after that instant. A moment before the
    // last delivered event counts as that event's time. A disabled button or
    // menu item, one on a hidden window, or anything on a window unloaded
    // meanwhile raises nothing; a close request (Target::Kind::Window) does
    // what the form's design says.
    void input(Target target, milliseconds moment);

    // The same input made now.
    void click(const Control& button) { input(Target::of(button), now_); }
    void click(const MenuItem& item) { input(Target::of(item), now_); }
    void close(const Form& form) { input(Target::of(form), now_); }

    void End(int status = 0);
    bool ended() const { return ended_; }
    int exitStatus() const { return exitStatus_; }

    // Where run-time errors are reported; by default standard error.
    void onError(std::function<void(std::string_view)> report) { report_ = std::move(report); }
    // Called after each delivered event, once its handler has returned.
    void afterEvent(std::function<void()> observer) { afterEvent_ = std::move(observer); }

    // Forms not yet destroyed: the loaded ones and any unloaded from inside
    // the handler now running.
    std::size_t liveForms() const { return loaded_.size() + unloaded_.size(); }

private:
    friend class Form;
    friend class Control;

    void adopt(std::unique_ptr<Form> form);
    void unload(Form& form);
    void arm(Control& timer);
    Control* nextTimer() const;
    // Delivers the timer events due up to `time`, each at its own instant.
    void runTimers(milliseconds time);
    void dispatch(Target target);
    void deliver(const std::function<void()>& event);
    void run(const std::function<void()>& event);
    void fail(std::string_view message);

    std::vector<std::unique_ptr<Form>> loaded_;
    std::vector<std::unique_ptr<Form>> unloaded_;
    std::deque<Target> queue_;  // input made from inside the handler now running
    milliseconds now_{0};
    milliseconds delivered_{0};  // the moment of the last event delivered
    std::uint64_t armings_ = 0;
    std::uint64_t loadings_ = 0;
    bool delivering_ = false;
    bool ended_ = false;
    int exitStatus_ = 0;
    std::function<void(std::string_view)> report_;
    std::function<void()> afterEvent_;
};

// A global instance slot, named like its form: using it loads the form if it
// is not loaded.
template <class F>
class Slot {
public:
    explicit Slot(Runtime& runtime) : runtime_(&runtime) {}

    F* operator->() const { return &runtime_->instance<F>(); }
    F& operator*() const { return runtime_->instance<F>(); }

private:
    Runtime* runtime_;
};

}  // namespace forms
