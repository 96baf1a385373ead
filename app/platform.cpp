// SPDX-License-Identifier: MIT
#include "app/platform.h"

#include <QByteArray>
#include <cstdio>
#include <cstdlib>

namespace zib {

namespace {

bool set(const char* name) { return std::getenv(name) && *std::getenv(name); }

}  // namespace

bool useDisplay()
{
    if (set("QT_QPA_PLATFORM"))
        return true;
    if (!set("DISPLAY") && !set("WAYLAND_DISPLAY")) {
        std::fputs("zib: no display found; run it under a display, or headless with xvfb-run\n", stderr);
        return false;
    }
    // Wayland cannot centre windows; where X11 is offered too, use it.
    if (set("WAYLAND_DISPLAY") && set("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    return true;
}

}  // namespace zib
