// SPDX-License-Identifier: MIT
#pragma once

// Qt's own connection to the X server, for the few things the game asks the
// server itself: the window manager's frame, and the server's clock.

#include <QGuiApplication>

#if defined(ZIB_HAVE_XCB) && QT_CONFIG(xcb)
#define ZIB_ASK_X11 1
#include <xcb/xcb.h>

namespace forms::qt {

// Null off X11. Qt's offscreen platform may offer the X11 interface too,
// with no connection behind it.
inline xcb_connection_t* x11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* native = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return native ? native->connection() : nullptr;
}

}  // namespace forms::qt
#endif
