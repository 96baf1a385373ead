// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "forms/input_clock.h"
#include "forms/keys.h"
#include "forms/runtime.h"
#include "forms/scene.h"

namespace forms::web {

// Drives a forms runtime in a web page: one page element for each form's
// window, brought up to date after each event's handler has returned, the
// player's input passed on with the browser's own stamps, and the runtime's
// next timer event armed on the page's clock, performance.now().
//
// Timer events are delivered at their moments. Input that reaches the page
// after a timer event it was made before is put right by the runtime, which
// goes back to the input's moment; the page then shows the result.
class Driver {
public:
    explicit Driver(Runtime& runtime);
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Brings the page up to date with the forms loaded so far and arms the
    // first timer event.
    void start();

    // Whole milliseconds since the driver started: the runtime's time.
    milliseconds now() const;
    // The page clock's reading at the runtime's time 0, a whole millisecond.
    double epoch() const { return epoch_; }

    // The player used a button, menu item or window shown by the page's
    // window `window`, in an event the browser stamped `stamp`.
    void input(int window, Target::Kind kind, std::size_t index, double stamp);
    // A key went down in the page's window `window`, the button `focused`
    // holding the focus, if one of the window's did.
    void key(int window, Keystroke stroke, std::optional<std::size_t> focused, double stamp);
    // The armed timer event's moment has come.
    void deadline();
    // The page is going away: the program ends.
    void close();

    const Runtime& runtime() const { return runtime_; }

private:
    // A page element showing one form's design; it shows one loading of the
    // form at a time.
    struct Window {
        const FormDesign* design = nullptr;
        std::uint64_t loading = 0;                 // 0: none
        std::optional<std::uint64_t> drawnRevision;  // of this loading, once the page shows it
        Scene scene;                               // as the page shows it
        bool visible = false;
    };

    Window& windowFor(const Form& form);
    int idOf(const Window& window) const { return static_cast<int>(&window - windows_.data()); }
    Form* formOf(int window) const;
    void draw(Window& window, const Form& form);
    void sync();
    void arm();
    milliseconds momentOf(double stamp);

    Runtime& runtime_;
    double epoch_;
    InputClock inputClock_;
    std::vector<Window> windows_;  // by their page id
    std::optional<milliseconds> armed_;
    bool ended_ = false;
};

}  // namespace forms::web
