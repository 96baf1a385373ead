// SPDX-License-Identifier: MIT
#pragma once

namespace zib {

// Which window system the game asks Qt for, by the environment's
// QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY (null or empty where unset).
enum class Display {
    AsGiven,  // Qt's own choice, or the platform set in QT_QPA_PLATFORM
    X11,      // both X11 and Wayland are offered
    None,     // no display at all
};
Display chooseDisplay(const char* qtPlatform, const char* x11, const char* wayland);

// Makes that choice for this process before Qt starts. False, having said
// why on standard error, when there is no display to run on.
bool useDisplay();

}  // namespace zib
