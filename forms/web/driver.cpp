// SPDX-License-Identifier: MIT
#include "forms/web/driver.h"

#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <string>
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
        page::event(static_cast<double>(runtime_.now().count()));
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

milliseconds Driver::momentOf(double stamp)
{
    return inputClock_.moment(stampOf(stamp), now());
}

Form* Driver::formOf(int window) const
{
    if (window < 0 || static_cast<std::size_t>(window) >= windows_.size() || !windows_[window].loading)
        return nullptr;
    return runtime_.find(windows_[window].loading);
}

void Driver::input(int window, Target::Kind kind, std::size_t index, double stamp)
{
    if (const Form* form = formOf(window))
        runtime_.input({form->loading(), kind, index}, momentOf(stamp));
}

void Driver::key(int window, Keystroke stroke, std::optional<std::size_t> focused, double stamp)
{
    if (const Form* form = formOf(window); form && counts(stroke))
        runtime_.input(Target::of(*form, stroke.key, focused), momentOf(stamp));
}

void Driver::deadline()
{
    if (armed_) {
        // Should the page have fallen behind (a tab in the background, say),
        // every event due by now goes, each at its own moment.
        const milliseconds due = std::max(*armed_, now());
        armed_.reset();
        runtime_.advanceTo(due);
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
        page::control(id, s.items[i], static_cast<int>(i), s.client);
    return windows_.back();
}

void Driver::draw(Window& window, const Form& form)
{
    if (window.drawnRevision == form.revision())
        return;
    Scene now = scene(form);
    // A loading not drawn yet is drawn whole: its controls start as its
    // design has them, not as the last loading left them.
    const auto changed = window.drawnRevision ? changedItems(window.scene, now) : std::nullopt;
    const auto put = [&](const Item& item) {
        page::state(idOf(window), static_cast<int>(item.index), item.visible, item.enabled);
    };
    if (changed)
        for (std::size_t i : *changed)
            put(now.items[i]);
    else
        for (const Item& item : now.items)
            put(item);
    // The page notes only the check marks that change.
    const auto items = form.menuItems();
    for (std::size_t i = 0; i < items.size(); ++i)
        page::check(idOf(window), static_cast<int>(i), items[i].Checked(), items[i].Enabled());
    window.scene = std::move(now);
    window.drawnRevision = form.revision();
}

void Driver::sync()
{
    if (runtime_.ended()) {
        if (!std::exchange(ended_, true)) {
            windows_.clear();
            armed_.reset();
            page::arm(-1);
            page::ended();
        }
        return;
    }

    // A window whose form was unloaded shows nothing until the form's next
    // loading.
    for (Window& w : windows_)
        if (w.loading && !runtime_.find(w.loading))
            w.loading = 0;
    for (const Form* form : presentationOrder(runtime_.forms())) {
        Window& w = windowFor(*form);
        if (w.loading != form->loading()) {
            w.loading = form->loading();
            w.drawnRevision.reset();
        }
        draw(w, *form);
        if (w.visible != form->Visible()) {
            w.visible = form->Visible();
            page::show(idOf(w), w.visible, w.visible ? spokenName(*form) : std::string());
        }
    }
    for (Window& w : windows_)
        if (!w.loading && std::exchange(w.visible, false))
            page::show(idOf(w), false, {});
    arm();
}

void Driver::arm()
{
    const auto due = runtime_.nextDue();
    if (due == armed_)
        return;
    armed_ = due;
    page::arm(due ? epoch_ + static_cast<double>(due->count()) : -1);
}

}  // namespace forms::web

// What the page script calls.
extern "C" {

EMSCRIPTEN_KEEPALIVE void zib_input(int window, int kind, int index, double stamp)
{
    using forms::Target;
    // Keys come through zib_key.
    if (forms::web::active && kind >= 0 && kind <= static_cast<int>(Target::Kind::Window) && index >= 0)
        forms::web::active->input(window, static_cast<Target::Kind>(kind), static_cast<std::size_t>(index), stamp);
}

EMSCRIPTEN_KEEPALIVE void zib_key(int window, int key, int modified, int repeat, int focused, double stamp)
{
    using forms::Key;
    if (!forms::web::active || key < 0 || key > static_cast<int>(Key::Escape))
        return;
    const forms::Keystroke stroke{.key = static_cast<Key>(key), .modified = modified != 0, .repeat = repeat != 0};
    forms::web::active->key(window, stroke,
                            focused >= 0 ? std::optional<std::size_t>(focused) : std::nullopt, stamp);
}

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

// How many inputs came late enough to make the runtime go back: a figure of
// the game, read from outside.
EMSCRIPTEN_KEEPALIVE double zib_rewinds()
{
    return forms::web::active ? static_cast<double>(forms::web::active->runtime().rewinds()) : 0;
}

}  // extern "C"
