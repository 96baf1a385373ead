// SPDX-License-Identifier: MIT
#include "forms/qt/server_clock.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <utility>

#include "forms/qt/x11.h"

namespace forms::qt {

#ifdef ZIB_ASK_X11

namespace {

// A property change on a window of ours comes back stamped with the server's
// time, in order with every other event.
class X11Clock : public ServerClock, public QAbstractNativeEventFilter {
public:
    explicit X11Clock(xcb_connection_t* connection) : connection_(connection), window_(xcb_generate_id(connection))
    {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(connection_, 0, window_, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
        xcb_flush(connection_);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~X11Clock() override
    {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
        xcb_destroy_window(connection_, window_);
        xcb_flush(connection_);
    }

    void ask(std::function<void(std::uint32_t)> answer) override
    {
        answer_ = std::move(answer);
        xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0,
                            nullptr);
        xcb_flush(connection_);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
        if (notify->window != window_)
            return false;
        if (auto answer = std::exchange(answer_, nullptr))
            answer(notify->time);
        return true;
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t window_;
    std::function<void(std::uint32_t)> answer_;
};

}  // namespace

std::unique_ptr<ServerClock> ServerClock::x11()
{
    xcb_connection_t* connection = x11Connection();
    return connection ? std::make_unique<X11Clock>(connection) : nullptr;
}

#else

std::unique_ptr<ServerClock> ServerClock::x11() { return nullptr; }

#endif

}  // namespace forms::qt
