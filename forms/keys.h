// SPDX-License-Identifier: MIT
#pragma once

// What a key means in a game's window, the same on every backend. The game
// takes three keys for itself: Space, Enter and Escape. Every other key is
// the toolkit's: Tab and the arrows move the focus, F10 and the menu key
// open the menu bar, and an open menu takes every key until it closes.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "forms/form.h"

namespace forms {

enum class Key : std::uint8_t { Space, Enter, Escape };

// A key going down, as the platform reports it.
struct Keystroke {
    Key key = Key::Space;
    bool modified = false;  // with Ctrl, Alt or Meta held: a shortcut, never a press
    bool repeat = false;    // the platform repeating a held key
};

// Whether the keystroke is handed to the runtime at all. A backend keeps all
// three keys from its toolkit either way, so that a shortcut or a held key
// neither presses a button nor lets the toolkit press the focused one.
constexpr bool counts(Keystroke stroke) { return !stroke.modified && !stroke.repeat; }

// The button a key presses on the form as it is now, if any; `focused` is the
// button holding the keyboard focus, by its place in the design.
//
// While the form's Cancel button can be pressed, something is under way (a
// duel, from Start until it is over) and an early or late key must not end
// it unseen: Space and Enter press only the button that counts at the
// press, when it is enabled, and nothing otherwise; Escape presses Cancel.
// At other times Space and Enter press the focused button, as they do in
// any window, and Escape does nothing.
const Control* keyTarget(const Form& form, Key key, std::optional<std::size_t> focused);

}  // namespace forms
