// SPDX-License-Identifier: MIT
#pragma once

// A form is declared as data: the window's own properties, its controls with
// their design-time values, and its menu tree. Loading a form builds its
// controls from these tables; nothing else holds design values.
//
// Positions and sizes are in twips (1440 per inch, 15 per pixel at 96 dpi),
// measured from the top-left corner of the client area, y downwards.

#include <cstdint>
#include <span>
#include <string_view>

namespace forms {

enum class Kind : std::uint8_t { Label, CommandButton, Image, Shape, Line, Timer };

enum class SystemColour : std::uint8_t { None, HighlightText, WindowText };

// Either a fixed 0xRRGGBB colour or one of the window system's named colours.
struct Colour {
    std::uint32_t rgb = 0;
    SystemColour system = SystemColour::None;

    friend constexpr bool operator==(Colour, Colour) = default;
};

constexpr Colour rgb(std::uint32_t value) { return {value, SystemColour::None}; }
constexpr Colour systemColour(SystemColour which) { return {0, which}; }

struct Font {
    std::string_view family;  // empty: the window's default font
    double points = 0;
    bool bold = false;

    friend constexpr bool operator==(const Font&, const Font&) = default;
};

// A box in twips. For a line, (left, top) is its first point and
// (width, height) holds its second point.
struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

constexpr Box segment(int x1, int y1, int x2, int y2) { return {x1, y1, x2, y2}; }

struct ControlDesign {
    std::string_view name;
    Kind kind = Kind::Label;
    Box box = {};
    std::string_view caption = {};
    Font font = {};
    Colour foreColour = systemColour(SystemColour::WindowText);  // text, line or border
    Colour backColour = systemColour(SystemColour::HighlightText);  // label background, shape fill
    bool transparent = false;  // labels: let the window show through
    bool visible = true;
    bool enabled = true;
    int interval = 0;      // timers, in milliseconds
    int lineWidth = 1;     // lines and shape borders, in pixels
    std::string_view picture = {};  // images: the bitmap's resource name
    int tabIndex = -1;
    bool clickOnPress = false;  // buttons: Click counts at the press, not the release
    // Buttons: Escape presses it. While it can be pressed, something is under
    // way that it cancels, and Space and Enter belong to the button that
    // counts at the press (see forms/keys.h).
    bool cancel = false;
    // Labels: a message to the player, which a screen reader says aloud
    // whenever it shows.
    bool alert = false;
};

struct MenuDesign {
    std::string_view name;
    std::string_view caption;
    std::string_view parent = {};  // empty: on the menu bar
};

enum class Border : std::uint8_t { FixedSingle, None };

// What a close request from the window system does to the form.
enum class OnClose : std::uint8_t { Ignore, EndProgram };

struct FormDesign {
    std::string_view name;
    std::string_view caption;
    Border border = Border::FixedSingle;
    int width = 0;   // client area, twips
    int height = 0;
    Colour backColour = systemColour(SystemColour::HighlightText);
    bool showInTaskbar = true;
    OnClose onClose = OnClose::Ignore;
    std::span<const ControlDesign> controls = {};  // topmost first
    std::span<const MenuDesign> menus = {};
};

constexpr int twipsPerPixel = 15;

}  // namespace forms
