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
    timer.armedAt_ = ++armings_;
}

Control* Runtime::nextTimer() const
{
    Control* next = nullptr;
    for (const auto& form : loaded_)
        for (auto& c : form->controls_) {
            if (!c.due_)
                continue;
            if (!next || *c.due_ < *next->due_ || (*c.due_ == *next->due_ && c.armedAt_ < next->armedAt_))
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
        now_ = delivered_ = *timer->due_;
        // The next firing is counted from this one's due time, not from when
        // its handler ran, so a repeating timer never drifts.
        timer->due_ = now_ + milliseconds(timer->interval_);
        timer->armedAt_ = ++armings_;
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
        std::find_if(loaded_.begin(), loaded_.end(), [loading](const auto& f) { return f->serial() == loading; });
    return it == loaded_.end() ? nullptr : it->get();
}

Target Target::of(const Control& button)
{
    return {button.form().serial(), Kind::Button,
            static_cast<std::size_t>(&button - button.form().controls().data())};
}

Target Target::of(const MenuItem& item)
{
    return {item.form().serial(), Kind::MenuItem, static_cast<std::size_t>(&item - item.form().menuItems().data())};
}

Target Target::of(const Form& window) { return {window.serial(), Kind::Window, 0}; }

void Runtime::input(Target target, milliseconds moment)
{
    if (ended_)
        return;
    if (delivering_) {
        queue_.push_back(target);
        return;
    }
    const milliseconds at = std::max(moment, delivered_);
    runTimers(at);
    if (ended_)
        return;
    now_ = delivered_ = at;
    deliver([this, target] { dispatch(target); });
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
    }
}

void Runtime::End(int status)
{
    if (ended_)
        return;
    ended_ = true;
    exitStatus_ = status;
    queue_.clear();
    if (delivering_)
        throw Stopped{};
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
    if (afterEvent_)
        afterEvent_();
}

}  // namespace forms
