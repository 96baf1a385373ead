// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "forms/input_clock.h"
#include "forms/runtime.h"
#include "forms/scene.h"

namespace forms::web {

// Drives a forms runtime in a web page: one page element for each form's
// window, brought up to date after each event's handler has returned, the
// player's input passed in with the browser's own stamps, and the runtime's
// next timer event armed on the page's clock, performance.now().
//
// A page's script runs on one thread, so input made just before a timer
// falls due may still be on its way while we wait for the timer. While the
// player could press something, a timer event is held back for as long as
// input has recently taken to reach the page, so that a press made before
// the timer's moment counts first.
class Driver {
public:
    // How long a timer event may be held back, and for how long before the
    // player's first input tells us how long input takes.
    static constexpr double holdCap = 8;
    static constexpr double holdFloor = 1;
    static constexpr double holdUnmeasured = 4;

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
    // A key that presses the button which counts at the press, wherever the
    // focus is, stamped `stamp`. True if there was one to press.
    bool press(double stamp);
    // An input event reached the page's script `ms` after its stamp.
    void lag(double ms);
    // How long a timer event is held back while the player could press
    // something.
    double hold() const;
    // The armed timer event's moment has come and its hold is over.
    void deadline();
    // The page is going away: the program ends.
    void close();

private:
    // A page element showing one form's design; it shows one loading of the
    // form at a time.
    struct Window {
        const FormDesign* design = nullptr;
        std::uint64_t loading = 0;  // 0: none
        std::uint64_t revision = 0;
        bool drawn = false;       // the page shows this loading's state
        std::vector<Item> items;  // as the page shows them
        std::vector<std::array<bool, 2>> menus;  // checked, enabled
        bool visible = false;
    };

    enum class Cause : std::uint8_t { Start, Timer, Input };

    // The button on a window shown that counts at the press, if it can be
    // pressed now.
    const Control* pressable() const;

    Window& windowFor(const Form& form);
    void update(int id, Window& window, const Form& form);
    void sync();
    void arm();
    void deliver(Cause cause, const std::function<void()>& run);

    Runtime& runtime_;
    double epoch_;
    InputClock inputClock_;
    std::vector<Window> windows_;  // by their page id
    std::optional<milliseconds> armed_;
    double armedHold_ = 0;
    bool armedRace_ = false;
    bool ended_ = false;
    Cause cause_ = Cause::Start;
    std::array<double, 16> lags_{};
    std::size_t lagCount_ = 0;
};

}  // namespace forms::web
