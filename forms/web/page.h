// SPDX-License-Identifier: MIT
#pragma once

// What the driver asks of the page's script (page.js): elements for the
// windows and their controls, their state, and the timer. Windows are known by their page id, controls and menu
// items by their place in the form's design. Boxes are in CSS pixels from
// the top-left corner of the window's client area; colours are 0xRRGGBB.

#include <cstdint>
#include <string_view>

#include "forms/scene.h"

namespace forms::web::page {

// The page clock's reading at the runtime's time 0.
void start(double epoch);

// A window: its client area and, if it has a title bar, its caption. The
// page title is the caption of the window shown that has a place in the
// task bar.
void window(int id, const FormDesign& design, std::uint32_t background);
// A menu item, on the bar (parent -1) or in the menu opened by the item
// `parent`.
void menu(int window, int index, const MenuDesign& design, int parent, bool opensSubmenu);
// A control as the scene draws it, `z` its place in the stacking order, in a
// window whose client area is `client`. A caption that does not fit its box
// in the font the page has is set smaller (see captionPixels). The page adds
// them in reading order.
void control(int window, const Item& item, int z, Rect client);

// A control, shown or hidden, enabled or disabled.
void state(int window, int index, bool visible, bool enabled);
// A menu item's check mark and whether it can be chosen.
void check(int window, int index, bool checked, bool enabled);
// Shows or hides a window; `name` is what a screen reader calls it.
void show(int window, bool visible, std::string_view name);

// The next timer event falls due at `at` on the page clock (none if
// negative): the page calls back at that moment.
void arm(double at);
// The runtime has delivered its events up to `moment` (runtime ms): the
// changes that follow are theirs.
void event(double moment);
// The program has ended.
void ended();

}  // namespace forms::web::page
