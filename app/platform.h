// SPDX-License-Identifier: MIT
#pragma once

namespace zib {

// Picks the window system the game runs on, before Qt starts, from
// QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY: the platform set, if one
// is; X11 where both X11 and Wayland are offered; otherwise Qt's own
// choice. False, having said why on standard error, when there is no
// display to run on.
bool useDisplay();

}  // namespace zib
