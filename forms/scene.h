// SPDX-License-Identifier: MIT
#pragma once

// What a form shows, in pixels: every backend draws this and nothing else.
// The layout in twips becomes pixel boxes at 96 dots per inch, the window
// system's named colours are resolved, and the controls come in the order
// they are drawn, the bottom one first and the buttons last, above
// everything. Comparing two scenes of the same form tells what changed on
// screen, so a backend redraws only that.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "forms/form.h"

namespace forms {

struct Point {
    int x = 0;
    int y = 0;
    friend constexpr bool operator==(Point, Point) = default;
};

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    constexpr bool empty() const { return width <= 0 || height <= 0; }
    constexpr int right() const { return x + width; }    // one past the last column
    constexpr int bottom() const { return y + height; }  // one past the last row
    constexpr bool intersects(Rect other) const
    {
        return !empty() && !other.empty() && x < other.right() && other.x < right() && y < other.bottom() &&
               other.y < bottom();
    }
    friend constexpr bool operator==(Rect, Rect) = default;
};

// The smallest rectangle holding both.
Rect united(Rect a, Rect b);

constexpr int pixels(int twips) { return twips / twipsPerPixel; }
constexpr Rect pixels(Box box) { return {pixels(box.left), pixels(box.top), pixels(box.width), pixels(box.height)}; }

// The window system's named colours, as the backend finds them; the
// standard scheme unless it says otherwise.
struct SystemColours {
    std::uint32_t highlightText = 0xFFFFFF;
    std::uint32_t windowText = 0x000000;
};

// A colour as 0xRRGGBB.
std::uint32_t resolve(Colour colour, const SystemColours& system);

// A font's size in pixels, drawn at 96 dots per inch as the layout in twips
// assumes. A control with no font of its own has the window's default, a
// small dialog font of 8 points.
int fontPixels(const Font& font);

// One control as it is drawn.
struct Item {
    std::size_t index = 0;  // the control's place in the form's design
    const ControlDesign* design = nullptr;
    Rect box;          // where it draws; for a line, every pixel its pen can touch
    Point from, to;    // lines: the two ends
    std::uint32_t fore = 0;  // text, line or border
    std::uint32_t back = 0;  // label background, shape fill
    int fontPixels = 0;      // labels and buttons
    bool visible = true;
    bool enabled = true;

    Kind kind() const { return design->kind; }
};

// Where a caption's ink lies, drawn at some size, in pixels from the point it
// hangs from: the middle of its box's top edge, since a label centres its
// caption across the box and starts it at the top.
struct Ink {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// The size in pixels to draw a label's caption at, measured by `inkAt` (the
// caption's ink at a size) in the font it is drawn with. A caption whose ink
// keeps a pixel clear of the edges of its box, where the window shows the
// box, is drawn at its design size. One set in a font wider or taller than
// the one it was designed for is drawn at the largest size that fits, as it
// shrinks towards the point it hangs from; nothing is cut off at the box's
// or the window's edge. Glyphs do not shrink exactly in proportion, so each
// size tried is measured again.
int captionPixels(const Item& label, Rect client, const std::function<Ink(int pixels)>& inkAt);

struct Scene {
    Rect client;  // the client area: everything outside it is clipped
    std::uint32_t background = 0;
    std::vector<Item> items;  // bottom first, buttons last; no timers
};

// The form as it is now.
Scene scene(const Form& form, const SystemColours& system = {});

// Which items two scenes of the same form draw differently (shown or
// hidden, enabled or disabled), as places in `after.items`, in drawing
// order; nothing if the scenes are of different forms or backgrounds, so
// that all of it is new. A backend that redraws by control uses this one.
std::optional<std::vector<std::size_t>> changedItems(const Scene& before, const Scene& after);

// Where two scenes of the same form differ on screen: the boxes of the
// changed items, in drawing order. A different form, or a different
// background, is the whole client area.
std::vector<Rect> damage(const Scene& before, const Scene& after);

// A form's command buttons in tab order, by their place in its design.
std::vector<std::size_t> tabOrder(const FormDesign& design);

// The order a screen reader meets a scene's items in, as places in
// `scene.items`: those with a tab index by it, buttons and labels alike, then
// the rest in drawing order.
std::vector<std::size_t> readingOrder(const Scene& scene);

// The loaded forms in the order a backend brings their windows up to date
// after an event: those to be seen first, then those to be hidden, each in
// the order they were loaded. Showing the new window before hiding the old
// one never leaves the screen without one of the game's windows.
std::vector<const Form*> presentationOrder(std::span<const std::unique_ptr<Form>> forms);

// Whether a menu item opens a submenu of its own, rather than being a
// command.
bool opensSubmenu(const FormDesign& design, const MenuDesign& item);

// Whether the player could use anything on the form now: it is shown, with
// a menu, or with a button that is visible and enabled.
bool takesInput(const Form& form);

// What a screen reader calls the form's window. A window with a title bar
// is known by its caption; one without shows no caption, so it is known by
// what it says: its visible labels in tab order.
std::string spokenName(const Form& form);

}  // namespace forms
