// SPDX-License-Identifier: MIT
#include "forms/qt/server_clock.h"

#include <QCoreApplication>

#include "forms/qt/x11.h"

namespace forms::qt {

#ifdef ZIB_ASK_X11

namespace {

xcb_connection_t* x11(void* connection) { return static_cast<xcb_connection_t*>(connection); }

}  // namespace

std::unique_ptr<ServerClock> ServerClock::make()
{
    xcb_connection_t* c = x11Connection();
    if (!c)
        return nullptr;
    std::unique_ptr<ServerClock> clock(new ServerClock);
    clock->connection_ = c;
    clock->window_ = xcb_generate_id(c);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, 0, clock->window_, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                      XCB_CW_EVENT_MASK, &events);
    xcb_flush(c);
    QCoreApplication::instance()->installNativeEventFilter(clock.get());
    return clock;
}

ServerClock::~ServerClock()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    xcb_destroy_window(x11(connection_), window_);
    xcb_flush(x11(connection_));
}

std::optional<std::uint32_t> ServerClock::ask(std::chrono::microseconds patience)
{
    send();
    return await(patience);
}

void ServerClock::send()
{
    answer_.reset();
    xcb_change_property(x11(connection_), XCB_PROP_MODE_APPEND, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0,
                        nullptr);
    xcb_flush(x11(connection_));
}

std::optional<std::uint32_t> ServerClock::await(std::chrono::microseconds patience)
{
    // The answer comes in through Qt's own event handling, with the events
    // before it: each one handled as it comes.
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    while (!answer_ && std::chrono::steady_clock::now() < giveUp)
        QCoreApplication::processEvents();
    return answer_;
}

bool ServerClock::nativeEventFilter(const QByteArray& type, void* message, qintptr*)
{
    if (type != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
    if (notify->window != window_)
        return false;
    answer_ = notify->time;
    return true;
}

#else

std::unique_ptr<ServerClock> ServerClock::make() { return nullptr; }
ServerClock::~ServerClock() = default;
std::optional<std::uint32_t> ServerClock::ask(std::chrono::microseconds) { return std::nullopt; }
void ServerClock::send() {}
std::optional<std::uint32_t> ServerClock::await(std::chrono::microseconds) { return std::nullopt; }
bool ServerClock::nativeEventFilter(const QByteArray&, void*, qintptr*) { return false; }

#endif

}  // namespace forms::qt
