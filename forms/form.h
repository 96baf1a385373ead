// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "forms/design.h"

namespace forms {

class Form;
class Runtime;

// A failed property or form operation. The runtime reports it and ends the
// program; the game's handlers never catch it.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Control {
public:
    Control(Form& form, const ControlDesign& design);

    const ControlDesign& design() const { return *design_; }
    std::string_view Name() const { return design_->name; }
    Kind kind() const { return design_->kind; }
    Form& form() const { return *form_; }

    bool Visible() const;
    void Visible(bool value);
    bool Enabled() const;
    void Enabled(bool value);
    int Interval() const;
    void Interval(int value);  // milliseconds
    std::string_view Caption() const;

private:
    friend class Form;
    friend class Runtime;

    void check(std::string_view property, bool supported) const;
    [[noreturn]] void fail(std::string_view property, std::string_view why) const;
    void rearm();

    Form* form_;
    const ControlDesign* design_;
    bool visible_;
    bool enabled_;
    int interval_;

    // Timers only: when the next Timer event is due, and which arming of the
    // program's timers this was, counted from one, so that timers due at the
    // same instant fire in the order they were armed.
    std::optional<std::chrono::milliseconds> due_;
    std::uint64_t arming_ = 0;

    std::function<void()> handler_;
};

class MenuItem {
public:
    MenuItem(Form& form, const MenuDesign& design);

    const MenuDesign& design() const { return *design_; }
    std::string_view Name() const { return design_->name; }
    std::string_view Caption() const { return design_->caption; }
    Form& form() const { return *form_; }

    bool Checked() const;
    void Checked(bool value);
    bool Enabled() const;
    void Enabled(bool value);

private:
    friend class Form;
    friend class Runtime;

    void check(std::string_view property) const;

    Form* form_;
    const MenuDesign* design_;
    bool checked_ = false;
    bool enabled_ = true;
    std::function<void()> handler_;
};

// One loaded instance of a form. It lives from its loading until it is
// unloaded; hiding it keeps every control value.
class Form {
public:
    Form(Runtime& runtime, const FormDesign& design);
    virtual ~Form() = default;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const FormDesign& design() const { return *design_; }
    std::string_view Name() const { return design_->name; }
    Runtime& runtime() const { return *runtime_; }

    // Shows the form, modeless and without an owner.
    void Show();
    bool Visible() const;
    void Visible(bool value);
    // Discards the form and its controls; the next use of its slot loads it
    // afresh. Unloading from inside one of its own handlers is safe: the
    // object stays valid until the handler returns.
    void Unload();
    // Stops the program at once; no further event is delivered.
    void End();

    bool loaded() const { return loaded_; }

    Control& control(std::string_view name);
    MenuItem& menuItem(std::string_view name);
    std::span<Control> controls() { return controls_; }
    std::span<const Control> controls() const { return controls_; }
    std::span<MenuItem> menuItems() { return menuItems_; }
    std::span<const MenuItem> menuItems() const { return menuItems_; }

    // Goes up with every change that shows on screen, so a backend knows
    // when to draw again.
    std::uint64_t revision() const { return revision_; }
    // Which loading of the form this is, counted across the program from one:
    // a form loaded again is a new window.
    std::uint64_t loading() const { return loading_; }

protected:
    // Binds a handler of this form to the event a control raises: Click for
    // a button, Timer for a timer. Any other kind of control is an Error.
    // Every button, timer and menu item that opens no submenu needs its
    // handler by the end of the constructor: loading the form checks.
    template <class F>
    void on(Control& control, void (F::*handler)())
    {
        bind(control, member(handler));
    }
    // Binds a handler to a menu item's Click.
    template <class F>
    void on(MenuItem& item, void (F::*handler)())
    {
        bind(item, member(handler));
    }
    // Binds a handler to the form's Load event.
    template <class F>
    void onLoad(void (F::*handler)())
    {
        load_ = member(handler);
    }

private:
    friend class Control;
    friend class MenuItem;
    friend class Runtime;

    template <class F>
    std::function<void()> member(void (F::*handler)())
    {
        static_assert(std::is_base_of_v<Form, F>, "a handler is a member function of the form");
        return [this, handler] { (static_cast<F*>(this)->*handler)(); };
    }
    void bind(Control& control, std::function<void()> run);
    void bind(MenuItem& item, std::function<void()> run);
    void changed() { ++revision_; }
    void check(std::string_view operation) const;
    // Every button, timer and menu item without a submenu has a handler,
    // or this is an Error naming the first without.
    void checkHandlers() const;

    Runtime* runtime_;
    const FormDesign* design_;
    std::vector<Control> controls_;
    std::vector<MenuItem> menuItems_;
    std::function<void()> load_;
    bool loaded_ = true;
    bool visible_ = false;
    std::uint64_t revision_ = 0;
    std::uint64_t loading_;
};

}  // namespace forms
