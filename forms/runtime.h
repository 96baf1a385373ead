// SPDX-License-Identifier: MIT
#pragma once

#include <array>
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
#include "forms/keys.h"

namespace forms {

using std::chrono::milliseconds;

// Where a piece of the player's input goes: one loading of a form, and on it
// a button or a menu item by its place in the design, the window itself, or
// a key pressed in the window (with the button that held the focus, if
// any). Input for a loading since unloaded finds nothing and is lost.
struct Target {
    enum class Kind : std::uint8_t { Button, MenuItem, Window, Key };
    std::uint64_t loading = 0;
    Kind kind = Kind::Window;
    std::size_t index = 0;                 // the button or menu item
    Key key = Key::Space;                  // Kind::Key only
    std::optional<std::size_t> focused{};  // Kind::Key only: the focused button

    static Target of(const Control& button);
    static Target of(const MenuItem& item);
    static Target of(const Form& window);
    // A key in the window; what it presses is decided at its moment, by
    // keyTarget(), so that a key judged late is judged as things stood then.
    static Target of(const Form& window, Key key, std::optional<std::size_t> focused);
};

// The program: its loaded forms, one global instance slot per form, the timers
// and the one event queue. Events are delivered one at a time, each handler to
// its end. The runtime never reads a clock: whoever drives it (a test, or the
// real-time backend) tells it what time it is, and advancing delivers every
// event due up to then, in due order.
//
// Timer events are delivered on time, never held back for input that may
// still be on its way. When input arrives stamped before events already
// delivered, the runtime puts the program back as it was at the input's
// moment, delivers the input there and delivers again, in order, everything
// that followed: the timers due since, and the input given since. It can,
// because a game keeps all its state in control properties and timers: its
// handlers are fixed sequences of property operations and keep nothing of
// their own, so the journal of those properties is the whole program. A
// handler that kept state elsewhere would see it replayed wrongly.
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

    // How far back the journal reaches at least: 250 ms covers input held up
    // by a stalled machine, and ends well before a duel's result window,
    // whose showing closes the journal anyway.
    static constexpr milliseconds journalSpan{250};
    // The journal never holds more events than this, so that a flood of
    // input cannot make each rewind long: a flood shortens its reach.
    static constexpr std::size_t journalCap = 64;

    // Input from the player, made at `moment`. Every timer event due up to
    // that moment is delivered first, then the input: a moment is a whole
    // millisecond, and input stamped in the millisecond a timer falls due
    // was made at or after that instant; input with the same moment comes in
    // the order it was given. Input made before events already delivered
    // rewinds the program to its moment and replays what followed (see
    // above); the backend hears of it once, when the replay is done. Input
    // older than the journal reaches (at least journalSpan, but never back
    // across a form loaded, unloaded, shown or hidden, End or a run-time
    // error) is taken at the journal's start. The clock never goes back: after
    // the input it reads as late as before, or the input's moment if later.
    // A disabled button or menu item, one on a hidden window, or anything on
    // a window unloaded meanwhile raises nothing; a close request
    // (Target::Kind::Window) does what the form's design says; a key presses
    // what keyTarget() says.
    void input(Target target, milliseconds moment);

    // How many inputs came late enough to rewind the program.
    std::uint64_t rewinds() const { return rewinds_; }

    // The same input made now.
    void click(const Control& button) { input(Target::of(button), now_); }
    void click(const MenuItem& item) { input(Target::of(item), now_); }
    void close(const Form& form) { input(Target::of(form), now_); }

    void End(int status = 0);
    bool ended() const { return ended_; }
    int exitStatus() const { return exitStatus_; }

    // Where run-time errors are reported; by default standard error.
    void onError(std::function<void(std::string_view)> report) { report_ = std::move(report); }
    // Called after each delivered event, once its handler has returned, and
    // once after a rewind's replay rather than for each event replayed.
    void afterEvent(std::function<void()> observer) { afterEvent_ = std::move(observer); }

    // Forms not yet destroyed: the loaded ones and any unloaded from inside
    // the handler now running.
    std::size_t liveForms() const { return loaded_.size() + unloaded_.size(); }

private:
    friend class Form;
    friend class Control;

    // What a journal entry holds of the program before an event: every
    // control's and menu item's changeable properties, form by form, and the
    // clock. The forms loaded and shown are the same throughout the journal.
    struct Snapshot {
        struct ControlState {
            bool visible, enabled;
            int interval;
            std::optional<milliseconds> due;
            std::uint64_t arming;
        };
        milliseconds now{0}, delivered{0};
        std::uint64_t armings = 0;
        std::vector<ControlState> controls;
        std::vector<std::array<bool, 2>> menus;  // checked, enabled
    };
    // One event delivered while the journal was open: its moment, the input
    // if it was one (a timer event is found again by advancing), and the
    // program as it was before it.
    struct Entry {
        milliseconds moment;
        std::optional<Target> input;
        Snapshot before;
    };

    void adopt(std::unique_ptr<Form> form);
    void unload(Form& form);
    void arm(Control& timer);
    Control* nextTimer() const;
    // Delivers the timer events due up to `time`, each at its own instant.
    void runTimers(milliseconds time);
    // Delivers the input at `moment`, not before the last delivered event.
    void take(Target target, milliseconds moment);
    void rewind(Target target, milliseconds moment);
    // Delivers what fell due up to `clock`, the time reached before an
    // input, and leaves the clock there or later.
    void catchUp(milliseconds clock);
    void dispatch(Target target);
    // Journals the program as it is, before an event at `moment`.
    void record(milliseconds moment, std::optional<Target> input);
    void deliver(const std::function<void()>& event);
    void run(const std::function<void()>& event);
    void fail(std::string_view message);

    // Takes the program as it is into `into`, whose room is used again.
    void snapshot(Snapshot& into) const;
    void restore(const Snapshot& snapshot);
    // Anything that cannot be replayed: the journal starts again after it.
    void closeJournal() { journal_.clear(); }

    std::vector<std::unique_ptr<Form>> loaded_;
    std::vector<std::unique_ptr<Form>> unloaded_;
    std::deque<Target> queue_;  // input made from inside the handler now running
    std::deque<Entry> journal_;
    milliseconds now_{0};
    milliseconds delivered_{0};  // the moment of the last event delivered
    std::uint64_t armings_ = 0;
    std::uint64_t loadings_ = 0;
    std::uint64_t rewinds_ = 0;
    bool delivering_ = false;
    bool replaying_ = false;
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
