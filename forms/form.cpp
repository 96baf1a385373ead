// SPDX-License-Identifier: MIT
#include "forms/form.h"

#include <algorithm>
#include <string>

#include "forms/runtime.h"
#include "forms/scene.h"

namespace forms {

namespace {

bool hasVisible(Kind kind) { return kind != Kind::Timer; }
bool hasEnabled(Kind kind) { return kind != Kind::Shape && kind != Kind::Line; }
bool hasCaption(Kind kind) { return kind == Kind::Label || kind == Kind::CommandButton; }
// The event a kind of control raises, if any.
std::string_view eventOf(Kind kind)
{
    return kind == Kind::CommandButton ? "Click" : kind == Kind::Timer ? "Timer" : "";
}

[[noreturn]] void fail(const Form& form, std::string_view name, std::string_view property, std::string_view why)
{
    throw Error(std::string(form.Name()) + "." + std::string(name) + "." + std::string(property) + ": " +
                std::string(why));
}

}  // namespace

// -- Control ---------------------------------------------------------------

Control::Control(Form& form, const ControlDesign& design)
    : form_(&form)
    , design_(&design)
    , visible_(design.visible)
    , enabled_(design.enabled)
    , interval_(design.interval)
{
    if (kind() == Kind::Timer)
        rearm();
}

void Control::fail(std::string_view property, std::string_view why) const
{
    forms::fail(*form_, Name(), property, why);
}

void Control::check(std::string_view property, bool supported) const
{
    if (!form_->loaded())
        fail(property, "the form has been unloaded");
    if (!supported)
        fail(property, "this kind of control has no such property");
}

bool Control::Visible() const
{
    check("Visible", hasVisible(kind()));
    return visible_;
}

void Control::Visible(bool value)
{
    check("Visible", hasVisible(kind()));
    if (visible_ == value)
        return;
    visible_ = value;
    form_->changed();
}

bool Control::Enabled() const
{
    check("Enabled", hasEnabled(kind()));
    return enabled_;
}

void Control::Enabled(bool value)
{
    check("Enabled", hasEnabled(kind()));
    if (enabled_ == value)
        return;
    enabled_ = value;
    if (kind() == Kind::Timer)
        rearm();  // enabling starts a fresh interval; disabling stops the timer
    else
        form_->changed();
}

int Control::Interval() const
{
    check("Interval", kind() == Kind::Timer);
    return interval_;
}

void Control::Interval(int value)
{
    check("Interval", kind() == Kind::Timer);
    if (value < 0 || value > 65535)
        fail("Interval", "invalid property value " + std::to_string(value) + " (0 to 65535)");
    if (interval_ == value)
        return;
    interval_ = value;
    rearm();
}

std::string_view Control::Caption() const
{
    check("Caption", hasCaption(kind()));
    return design_->caption;
}

void Control::rearm()
{
    form_->runtime().arm(*this);
}

// -- MenuItem --------------------------------------------------------------

MenuItem::MenuItem(Form& form, const MenuDesign& design) : form_(&form), design_(&design) {}

void MenuItem::check(std::string_view property) const
{
    if (!form_->loaded())
        fail(*form_, Name(), property, "the form has been unloaded");
}

bool MenuItem::Checked() const
{
    check("Checked");
    return checked_;
}

void MenuItem::Checked(bool value)
{
    check("Checked");
    if (checked_ == value)
        return;
    checked_ = value;
    form_->changed();
}

bool MenuItem::Enabled() const
{
    check("Enabled");
    return enabled_;
}

void MenuItem::Enabled(bool value)
{
    check("Enabled");
    if (enabled_ == value)
        return;
    enabled_ = value;
    form_->changed();
}

// -- Form ------------------------------------------------------------------

Form::Form(Runtime& runtime, const FormDesign& design)
    : runtime_(&runtime), design_(&design), loading_(++runtime.loadings_)
{
    // Controls hold their place for the form's whole life: handlers keep
    // references to them.
    controls_.reserve(design.controls.size());
    for (const auto& c : design.controls)
        controls_.emplace_back(*this, c);
    menuItems_.reserve(design.menus.size());
    for (const auto& m : design.menus)
        menuItems_.emplace_back(*this, m);
}

void Form::check(std::string_view operation) const
{
    if (!loaded_)
        throw Error(std::string(Name()) + "." + std::string(operation) + ": the form has been unloaded");
}

void Form::Show()
{
    Visible(true);
}

bool Form::Visible() const
{
    check("Visible");
    return visible_;
}

void Form::Visible(bool value)
{
    check("Visible");
    if (visible_ == value)
        return;
    visible_ = value;
    changed();
    // What a screen reader has announced cannot be taken back.
    runtime_->closeJournal();
}

void Form::Unload()
{
    if (!loaded_)
        return;
    loaded_ = false;
    visible_ = false;
    for (auto& c : controls_)
        c.due_.reset();  // the form's timers end with it
    changed();
    runtime_->unload(*this);
}

void Form::End()
{
    runtime_->End();
}

Control& Form::control(std::string_view name)
{
    auto it = std::find_if(controls_.begin(), controls_.end(), [name](const Control& c) { return c.Name() == name; });
    if (it == controls_.end())
        throw Error(std::string(Name()) + " has no control named " + std::string(name));
    return *it;
}

MenuItem& Form::menuItem(std::string_view name)
{
    auto it =
        std::find_if(menuItems_.begin(), menuItems_.end(), [name](const MenuItem& m) { return m.Name() == name; });
    if (it == menuItems_.end())
        throw Error(std::string(Name()) + " has no menu item named " + std::string(name));
    return *it;
}

void Form::bind(Control& control, std::function<void()> run)
{
    if (&control.form() != this)
        control.fail("event", "the control belongs to another form");
    if (eventOf(control.kind()).empty())
        control.fail("event", "this kind of control raises no event");
    control.handler_ = std::move(run);
}

void Form::bind(MenuItem& item, std::function<void()> run)
{
    if (&item.form() != this)
        fail(*this, item.Name(), "Click", "the menu item belongs to another form");
    item.handler_ = std::move(run);
}

void Form::checkHandlers() const
{
    for (const auto& c : controls_)
        if (!eventOf(c.kind()).empty() && !c.handler_)
            c.fail(eventOf(c.kind()), "no handler bound");
    for (const auto& item : menuItems_)
        if (!item.handler_ && !opensSubmenu(*design_, item.design()))
            fail(*this, item.Name(), "Click", "no handler bound");
}

}  // namespace forms
