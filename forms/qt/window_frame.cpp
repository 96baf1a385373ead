// SPDX-License-Identifier: MIT
#include "forms/qt/window_frame.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "forms/qt/x11.h"

namespace forms::qt {

#ifdef ZIB_ASK_X11

namespace {

// How long the game waits for the window manager's answer: long enough for
// any manager that is running, short enough not to delay the window.
constexpr auto patience = std::chrono::milliseconds(100);

template <class Reply>
using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

template <class Reply>
Owned<Reply> own(Reply* reply)
{
    return Owned<Reply>(reply, &std::free);
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const auto reply = own(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The 32-bit values of a property, or none.
std::vector<std::uint32_t> property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name,
                                    xcb_atom_t type)
{
    const auto reply = own(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, name, type, 0, 1024), nullptr));
    if (!reply || reply->format != 32)
        return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {values, values + xcb_get_property_value_length(reply.get()) / 4};
}

// A window manager that follows the desktop conventions names a check
// window of its own, which names itself again: a stale name left by a
// manager that has gone does not.
bool managerRunning(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t check)
{
    const auto named = property(connection, root, check, XCB_ATOM_WINDOW);
    if (named.empty())
        return false;
    const auto self = property(connection, named.front(), check, XCB_ATOM_WINDOW);
    return !self.empty() && self.front() == named.front();
}

}  // namespace

QMargins expectedFrame(QWidget& window)
{
    xcb_connection_t* connection = window.isVisible() ? nullptr : x11Connection();
    if (!connection)
        return {};
    const auto id = static_cast<xcb_window_t>(window.winId());  // made now, not yet mapped
    const auto tree = own(xcb_query_tree_reply(connection, xcb_query_tree(connection, id), nullptr));
    if (!tree)
        return {};
    const xcb_window_t root = tree->root;

    const xcb_atom_t check = atom(connection, "_NET_SUPPORTING_WM_CHECK");
    const xcb_atom_t supported = atom(connection, "_NET_SUPPORTED");
    const xcb_atom_t request = atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    const xcb_atom_t extents = atom(connection, "_NET_FRAME_EXTENTS");
    if (!managerRunning(connection, root, check) ||
        !std::ranges::count(property(connection, root, supported, XCB_ATOM_ATOM), request))
        return {};

    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = request;
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);

    // Qt reads the connection's events on a thread of its own, so the answer
    // is looked for in the property itself rather than in its notification.
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    do {
        const auto frame = property(connection, id, extents, XCB_ATOM_CARDINAL);
        if (frame.size() == 4) {
            const qreal ratio = window.devicePixelRatio();
            return QMargins(qRound(frame[0] / ratio), qRound(frame[2] / ratio), qRound(frame[1] / ratio),
                            qRound(frame[3] / ratio));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (std::chrono::steady_clock::now() < giveUp);
    return {};
}

#else

QMargins expectedFrame(QWidget&) { return {}; }

#endif

}  // namespace forms::qt
