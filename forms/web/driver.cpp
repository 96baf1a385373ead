// SPDX-License-Identifier: MIT
#include "forms/web/driver.h"

#include <emscripten.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "forms/web/page.h"

namespace forms::web {

namespace {

// The page's one driver, which the page script's calls reach.
Driver* active = nullptr;

std::optional<std::uint64_t> stampOf(double stamp)
{
    if (!(stamp >= 0))
        return std::nullopt;
    return static_cast<std::uint64_t>(std::floor(stamp));
}

// The order a screen reader and the Tab key meet the controls in: those
// with a tab order by it, buttons and labels alike, then the rest.
std::vector<std::size_t> readingOrder(const Scene& scene)
{
    std::vector<std::size_t> order(scene.items.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto key = [&](std::size_t i) {
        const int tab = scene.items[i].design->tabIndex;
        return tab < 0 ? INT_MAX : tab;
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    return order;
}

}  // namespace

Driver::Driver(Runtime& runtime)
    : runtime_(runtime)
    // The runtime's milliseconds are whole ones of the page clock, the clock
    // the browser stamps its events with.
    , epoch_(std::floor(emscripten_get_now()))
    , inputClock_(milliseconds(static_cast<long long>(epoch_)))
{
    inputClock_.trust();
    active = this;
    page::start(epoch_);
    runtime_.afterEvent([this] {
        page::event(static_cast<int>(cause_), static_cast<double>(runtime_.now().count()));
        sync();
    });
}

Driver::~Driver()
{
    runtime_.afterEvent(nullptr);
    if (active == this)
        active = nullptr;
}

void Driver::start()
{
    sync();
}

milliseconds Driver::now() const
{
    return milliseconds(static_cast<long long>(std::floor(emscripten_get_now()) - epoch_));
}

void Driver::deliver(Cause cause, const std::function<void()>& run)
{
    cause_ = cause;
    run();
    cause_ = Cause::Timer;
}

void Driver::input(int window, Target::Kind kind, std::size_t index, double stamp)
{
    if (window < 0 || static_cast<std::size_t>(window) >= windows_.size() || !windows_[window].loading)
        return;
    const Target target{windows_[window].loading, kind, index};
    const milliseconds moment = inputClock_.moment(stampOf(stamp), now());
    // Timer events due before the input was made go first, as their own.
    deliver(Cause::Timer, [&] { runtime_.advanceTo(moment); });
    deliver(Cause::Input, [&] { runtime_.input(target, moment); });
}

bool Driver::press(double stamp)
{
    const milliseconds moment = inputClock_.moment(stampOf(stamp), now());
    // Whether there is a button to press depends on what the timers due
    // before the key was pressed have done.
    deliver(Cause::Timer, [&] { runtime_.advanceTo(moment); });
    const Control* button = pressable();
    if (!button)
        return false;
    deliver(Cause::Input, [&] { runtime_.input(Target::of(*button), moment); });
    return true;
}

void Driver::lag(double ms)
{
    // A stamp from the future, or one older than any input the input clock
    // would take, says nothing about how long input takes.
    if (!(ms >= 0) || ms > 1000)
        return;
    lags_[lagCount_++ % lags_.size()] = ms;
}

double Driver::hold() const
{
    if (lagCount_ == 0)
        return holdUnmeasured;
    const auto end = lags_.begin() + static_cast<std::ptrdiff_t>(std::min(lagCount_, lags_.size()));
    const double longest = std::ceil(*std::max_element(lags_.begin(), end) * 10) / 10;
    return std::clamp(longest, holdFloor, holdCap);
}

void Driver::deadline()
{
    if (armed_) {
        const milliseconds due = *armed_;
        armed_.reset();
        deliver(Cause::Timer, [&] { runtime_.advanceTo(due); });
    }
    arm();
}

void Driver::close()
{
    // The page is gone with its windows, whatever they are showing.
    runtime_.End();
    sync();
}

Driver::Window& Driver::windowFor(const Form& form)
{
    for (Window& w : windows_)
        if (w.design == &form.design())
            return w;
    const int id = static_cast<int>(windows_.size());
    windows_.push_back({.design = &form.design()});
    const Scene s = scene(form);
    const FormDesign& d = form.design();
    page::window(id, d, s.background);
    for (std::size_t i = 0; i < d.menus.size(); ++i) {
        int parent = -1;
        for (std::size_t j = 0; j < d.menus.size(); ++j)
            if (!d.menus[i].parent.empty() && d.menus[j].name == d.menus[i].parent)
                parent = static_cast<int>(j);
        page::menu(id, static_cast<int>(i), d.menus[i], parent, opensSubmenu(d, d.menus[i]));
    }
    for (std::size_t i : readingOrder(s))
        page::control(id, s.items[i], static_cast<int>(i));
    return windows_.back();
}

void Driver::update(int id, Window& window, const Form& form)
{
    if (window.drawn && window.revision == form.revision())
        return;
    const bool fresh = !std::exchange(window.drawn, true);
    window.revision = form.revision();
    Scene s = scene(form);
    for (std::size_t i = 0; i < s.items.size(); ++i) {
        const Item& is = s.items[i];
        if (fresh || window.items[i].visible != is.visible || window.items[i].enabled != is.enabled)
            page::state(id, static_cast<int>(is.index), is.visible, is.enabled);
    }
    window.items = std::move(s.items);
    const auto items = form.menuItems();
    window.menus.resize(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::array<bool, 2> now{items[i].Checked(), items[i].Enabled()};
        if (fresh || window.menus[i] != now)
            page::check(id, static_cast<int>(i), now[0], now[1]);
        window.menus[i] = now;
    }
}

void Driver::sync()
{
    if (runtime_.ended()) {
        if (!std::exchange(ended_, true)) {
            windows_.clear();
            armed_.reset();
            page::arm(-1, 0, false);
            page::ended();
        }
        return;
    }

    // A window whose form was unloaded shows nothing until the form's next
    // loading.
    for (Window& w : windows_)
        if (w.loading && !runtime_.find(w.loading))
            w.loading = 0;
    for (const auto& form : runtime_.forms()) {
        Window& w = windowFor(*form);
        if (w.loading != form->loading()) {
            w.loading = form->loading();
            w.drawn = false;
        }
        update(static_cast<int>(&w - windows_.data()), w, *form);
    }

    // Hide before showing: the page never shows two windows at once.
    for (bool showing : {false, true})
        for (std::size_t id = 0; id < windows_.size(); ++id) {
            Window& w = windows_[id];
            const Form* form = w.loading ? runtime_.find(w.loading) : nullptr;
            const bool visible = form && form->Visible();
            if (visible != w.visible && visible == showing) {
                page::show(static_cast<int>(id), visible, form ? spokenName(*form) : std::string());
                w.visible = visible;
            }
        }
    arm();
}

const Control* Driver::pressable() const
{
    for (const auto& form : runtime_.forms())
        if (form->Visible())
            for (const Control& c : form->controls())
                if (c.kind() == Kind::CommandButton && c.design().clickOnPress && c.Visible() && c.Enabled())
                    return &c;
    return nullptr;
}

void Driver::arm()
{
    const auto due = runtime_.nextDue();
    const bool inputPossible = std::any_of(runtime_.forms().begin(), runtime_.forms().end(),
                                           [](const auto& form) { return takesInput(*form); });
    const double held = due && inputPossible ? hold() : 0;
    // While a button that counts at the press can be pressed, the player is
    // racing the timers: a press made before a timer's moment must count
    // first, even if a frame goes by meanwhile.
    const bool race = held > 0 && pressable();
    if (due == armed_ && held == armedHold_ && race == armedRace_)
        return;
    armed_ = due;
    armedHold_ = held;
    armedRace_ = race;
    page::arm(due ? epoch_ + static_cast<double>(due->count()) : -1, held, race);
}

}  // namespace forms::web

// What the page script calls.
extern "C" {

EMSCRIPTEN_KEEPALIVE void zib_input(int window, int kind, int index, double stamp)
{
    using forms::Target;
    if (forms::web::active && kind >= 0 && kind <= 2 && index >= 0)
        forms::web::active->input(window, static_cast<Target::Kind>(kind), static_cast<std::size_t>(index), stamp);
}

EMSCRIPTEN_KEEPALIVE int zib_press(double stamp) { return forms::web::active && forms::web::active->press(stamp); }

EMSCRIPTEN_KEEPALIVE void zib_lag(double ms)
{
    if (forms::web::active)
        forms::web::active->lag(ms);
}

EMSCRIPTEN_KEEPALIVE double zib_hold() { return forms::web::active ? forms::web::active->hold() : 0; }

EMSCRIPTEN_KEEPALIVE void zib_deadline()
{
    if (forms::web::active)
        forms::web::active->deadline();
}

EMSCRIPTEN_KEEPALIVE void zib_close()
{
    if (forms::web::active)
        forms::web::active->close();
}

}  // extern "C"
