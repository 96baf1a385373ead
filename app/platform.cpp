// SPDX-License-Identifier: MIT
#include "app/platform.h"

#include <QByteArray>
#include <cstdio>
#include <cstdlib>

namespace zib {

namespace {

bool set(const char* value) { return value && *value; }

}  // namespace

Display chooseDisplay(const char* qtPlatform, const char* x11, const char* wayland)
{
    if (set(qtPlatform))
        return Display::AsGiven;
    if (!set(x11) && !set(wayland))
        return Display::None;
    // Wayland cannot centre windows; where X11 is offered too, use it.
    return set(x11) && set(wayland) ? Display::X11 : Display::AsGiven;
}

bool useDisplay()
{
    switch (chooseDisplay(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"))) {
    case Display::None:
        std::fputs("zib: no display found; run it under a display, or headless with xvfb-run\n", stderr);
        return false;
    case Display::X11:
        qputenv("QT_QPA_PLATFORM", "xcb");
        break;
    case Display::AsGiven:
        break;
    }
    return true;
}

}  // namespace zib
