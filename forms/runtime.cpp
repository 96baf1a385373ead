// SPDX-License-Identifier: MIT
#include "forms/runtime.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace forms {

namespace {

// Thrown by End to leave the running handler at once.
struct Stopped {};

}  // namespace

Runtime::Runtime()
    : report_([](std::string_view message) {
          std::fprintf(stderr, "run-time error: %.*s\n", static_cast<int>(message.size()), message.data());
      })
{
}

Runtime::~Runtime()
{
    // Unload in reverse order of loading, so a form never outlives a form it
    // was loaded by.
    while (!loaded_.empty())
        loaded_.pop_back();
}

Form* Runtime::find(std::string_view name) const
{
    auto it = std::find_if(loaded_.begin(), loaded_.end(), [name](const auto& f) { return f->Name() == name; });
    return it == loaded_.end() ? nullptr : it->get();
}

void Runtime::adopt(std::unique_ptr<Form> made)
{
    // The form's constructor has bound its handlers by now. A control left
    // without one would swallow the player's click, or its timer, unseen.
    made->checkHandlers();
    Form& form = *made;
    closeJournal();
    loaded_.push_back(std::move(made));
    if (form.load_)
        form.load_();
}

void Runtime::unload(Form& form)
{
    auto it = std::find_if(loaded_.begin(), loaded_.end(), [&form](const auto& f) { return f.get() == &form; });
    if (it == loaded_.end())
        return;  // made outside the runtime, as a test may to draw it
    // The form may be unloading itself from inside its own handler: keep the
    // object until the event has been delivered.
    closeJournal();
    unloaded_.push_back(std::move(*it));
    loaded_.erase(it);
    if (!delivering_)
        unloaded_.clear();
}

void Runtime::arm(Control& timer)
{
    timer.due_.reset();
    if (timer.enabled_ && timer.interval_ > 0)
        timer.due_ = now_ + milliseconds(timer.interval_);
    timer.arming_ = ++armings_;
}

Control* Runtime::nextTimer() const
{
    Control* next = nullptr;
    for (const auto& form : loaded_)
        for (auto& c : form->controls_) {
            if (!c.due_)
                continue;
            if (!next || *c.due_ < *next->due_ || (*c.due_ == *next->due_ && c.arming_ < next->arming_))
                next = &c;
        }
    return next;
}

std::optional<milliseconds> Runtime::nextDue() const
{
    if (ended_)
        return std::nullopt;
    const Control* next = nextTimer();
    return next ? next->due_ : std::nullopt;
}

void Runtime::runTimers(milliseconds time)
{
    while (!ended_) {
        Control* timer = nextTimer();
        if (!timer || *timer->due_ > time)
            break;
        record(*timer->due_, std::nullopt);
        now_ = delivered_ = *timer->due_;
        // The next firing is counted from this one's due time, not from when
        // its handler ran, so a repeating timer never drifts.
        timer->due_ = now_ + milliseconds(timer->interval_);
        timer->arming_ = ++armings_;
        deliver(timer->handler_);
    }
}

void Runtime::advanceTo(milliseconds time)
{
    if (delivering_)
        return;
    runTimers(time);
    if (!ended_ && time > now_)
        now_ = time;
}

Form* Runtime::find(std::uint64_t loading) const
{
    auto it =
        std::find_if(loaded_.begin(), loaded_.end(), [loading](const auto& f) { return f->loading() == loading; });
    return it == loaded_.end() ? nullptr : it->get();
}

Target Target::of(const Control& button)
{
    return {button.form().loading(), Kind::Button,
            static_cast<std::size_t>(&button - button.form().controls().data())};
}

Target Target::of(const MenuItem& item)
{
    return {item.form().loading(), Kind::MenuItem,
            static_cast<std::size_t>(&item - item.form().menuItems().data())};
}

Target Target::of(const Form& window) { return {window.loading(), Kind::Window}; }

Target Target::of(const Form& window, Key key, std::optional<std::size_t> focused)
{
    return {window.loading(), Kind::Key, 0, key, focused};
}

void Runtime::input(Target target, milliseconds moment)
{
    if (ended_)
        return;
    if (delivering_) {
        queue_.push_back(target);
        return;
    }
    // Every event delivered is journaled until something closes the
    // journal, so a journal that holds anything ends with the last event.
    // Input older than the journal goes at its start, which may be the
    // moment of every event in it: then there is nothing to replay.
    if (!journal_.empty() && std::max(moment, journal_.front().before.delivered) < delivered_) {
        rewind(target, moment);
        return;
    }
    const milliseconds clock = now_;
    take(target, moment);
    catchUp(clock);
}

void Runtime::catchUp(milliseconds clock)
{
    // Timers the input started may fall due before the time the runtime
    // had already reached; the clock never goes back.
    runTimers(clock);
    if (!ended_ && clock > now_)
        now_ = clock;
}

void Runtime::take(Target target, milliseconds moment)
{
    const milliseconds at = std::max(moment, delivered_);
    runTimers(at);
    if (ended_)
        return;
    record(at, target);
    now_ = delivered_ = at;
    deliver([this, target] { dispatch(target); });
}

void Runtime::rewind(Target target, milliseconds moment)
{
    // Back to just before the first event after the input's moment; input
    // older than the journal goes at its start.
    const milliseconds start = journal_.front().before.delivered;
    moment = std::max(moment, start);
    const auto first = std::find_if(journal_.begin(), journal_.end(),
                                    [moment](const Entry& e) { return e.moment > moment; });
    std::vector<std::pair<milliseconds, Target>> since;
    for (auto e = first; e != journal_.end(); ++e)
        if (e->input)
            since.emplace_back(e->moment, *e->input);
    const milliseconds clock = now_;
    restore(first->before);
    journal_.erase(first, journal_.end());
    ++rewinds_;

    replaying_ = true;
    take(target, moment);
    for (const auto& [at, given] : since)
        take(given, at);
    catchUp(clock);
    replaying_ = false;
    if (afterEvent_)
        afterEvent_();
}

void Runtime::snapshot(Snapshot& s) const
{
    s.now = now_;
    s.delivered = delivered_;
    s.armings = armings_;
    s.controls.clear();
    s.menus.clear();
    for (const auto& form : loaded_) {
        for (const Control& c : form->controls_)
            s.controls.push_back({c.visible_, c.enabled_, c.interval_, c.due_, c.arming_});
        for (const MenuItem& m : form->menuItems_)
            s.menus.push_back({m.checked_, m.enabled_});
    }
}

void Runtime::restore(const Snapshot& s)
{
    now_ = s.now;
    delivered_ = s.delivered;
    armings_ = s.armings;
    auto control = s.controls.begin();
    auto menu = s.menus.begin();
    for (const auto& form : loaded_) {
        for (Control& c : form->controls_) {
            c.visible_ = control->visible;
            c.enabled_ = control->enabled;
            c.interval_ = control->interval;
            c.due_ = control->due;
            c.arming_ = control->arming;
            ++control;
        }
        for (MenuItem& m : form->menuItems_) {
            m.checked_ = (*menu)[0];
            m.enabled_ = (*menu)[1];
            ++menu;
        }
        // Revisions only go up, so a backend draws what was put back.
        form->changed();
    }
}

void Runtime::dispatch(Target target)
{
    // The one check for input that arrives too late: its window's loading is
    // gone, or hidden, or the control no longer takes it.
    Form* form = find(target.loading);
    if (!form)
        return;
    switch (target.kind) {
    case Target::Kind::Button: {
        const Control& button = form->controls_.at(target.index);
        if (form->visible_ && button.kind() == Kind::CommandButton && button.enabled_ && button.visible_)
            button.handler_();
        break;
    }
    case Target::Kind::MenuItem: {
        const MenuItem& item = form->menuItems_.at(target.index);
        // An item that opens a submenu may have no handler.
        if (form->visible_ && item.enabled_ && item.handler_)
            item.handler_();
        break;
    }
    case Target::Kind::Window:
        if (form->design().onClose == OnClose::EndProgram)
            End();
        break;
    case Target::Kind::Key:
        if (const Control* button = keyTarget(*form, target.key, target.focused); button && form->visible_)
            button->handler_();
        break;
    }
}

void Runtime::End(int status)
{
    if (ended_)
        return;
    ended_ = true;
    exitStatus_ = status;
    queue_.clear();
    closeJournal();
    if (delivering_)
        throw Stopped{};
}

void Runtime::record(milliseconds moment, std::optional<Target> input)
{
    // An entry is dropped only once it is a span older than the newest, so
    // the journal reaches at least that far back from the moment any later
    // input arrives. A dropped entry's room is used again.
    Snapshot room;
    while (!journal_.empty() &&
           (journal_.size() >= journalCap || journal_.front().moment + journalSpan <= moment)) {
        room = std::move(journal_.front().before);
        journal_.pop_front();
    }
    snapshot(room);
    journal_.push_back({moment, input, std::move(room)});
}

void Runtime::deliver(const std::function<void()>& event)
{
    run(event);
    // Input made from inside a handler comes after it, in the order it was made.
    while (!queue_.empty()) {
        const Target next = queue_.front();
        queue_.pop_front();
        run([this, next] { dispatch(next); });
    }
}

void Runtime::fail(std::string_view message)
{
    report_(message);
    ended_ = true;
    exitStatus_ = 1;
    queue_.clear();
    closeJournal();
}

void Runtime::run(const std::function<void()>& event)
{
    delivering_ = true;
    try {
        event();
    } catch (const Stopped&) {
    } catch (const std::exception& e) {
        // A failed operation, or anything else (out of memory, say): a
        // run-time error either way, never a stuck queue.
        fail(e.what());
    }
    delivering_ = false;
    unloaded_.clear();
    if (afterEvent_ && !replaying_)
        afterEvent_();
}

}  // namespace forms
