// SPDX-License-Identifier: MIT
#include "xserver.h"

#include <map>
#include <poll.h>
#include <string_view>
#include <unistd.h>

#include "duel/frmzib.h"
#include "harness.h"

// Last: Xlib's macros (None, Bool, Status) would clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>

namespace bench {

namespace {

// Windows go as the programs measured end; asking about them then is no fault.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

struct XServer::Connection {
    Display* d = XOpenDisplay(nullptr);
    ::Window root = d ? DefaultRootWindow(d) : 0;
    int xi = -1;
    bool damage = false, xtest = false;
    int damageEvent = 0;
    // Each window watched, with the request that began watching it: a new
    // damage object reports everything the window already shows, and that
    // report is no drawing.
    std::map<::Window, unsigned long> watched;
    std::vector<Drawing> drawings;
    std::optional<unsigned long> pressStamp, releaseStamp;

    void watch(::Window w)
    {
        if (watched.contains(w))
            return;
        watched[w] = NextRequest(d);
        XDamageCreate(d, w, XDamageReportRawRectangles);
        XNoOp(d);  // whatever the server reports after this comes with a later request's number
        XFlush(d);
    }

    // Takes in what one event says; true for a map or unmap of interest.
    void note(XEvent& e)
    {
        if (e.type == DestroyNotify) {
            watched.erase(e.xdestroywindow.window);  // its damage goes with it, and its id may come back
        } else if (e.type == CreateNotify && e.xcreatewindow.parent == root) {
            watch(e.xcreatewindow.window);
        } else if (e.type == damageEvent + XDamageNotify) {
            const auto& n = reinterpret_cast<const XDamageNotifyEvent&>(e);
            if (const auto w = watched.find(n.drawable); w != watched.end() && n.serial != w->second)
                drawings.push_back({n.drawable, n.timestamp, {n.area.x, n.area.y, n.area.width, n.area.height}});
        } else if (e.type == GenericEvent && e.xcookie.extension == xi && XGetEventData(d, &e.xcookie)) {
            const auto time = static_cast<XIRawEvent*>(e.xcookie.data)->time;
            if (e.xcookie.evtype == XI_RawButtonPress)
                pressStamp = time;
            if (e.xcookie.evtype == XI_RawButtonRelease)
                releaseStamp = time;
            XFreeEventData(d, &e.xcookie);
        }
    }

    void drain()
    {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            note(e);
        }
    }

    // Waits for the server to say something, until `until` (nowMs).
    bool wait(double until)
    {
        const double left = until - nowMs();
        if (left <= 0)
            return false;
        pollfd fd{ConnectionNumber(d), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(left) + 1);
        return true;
    }
};

XServer::XServer() : x_(std::make_unique<Connection>())
{
    if (!x_->d)
        return;
    XSetErrorHandler(ignoreErrors);
    XSelectInput(x_->d, x_->root, SubstructureNotifyMask);
    int event = 0, error = 0, major = 0, minor = 0;
    if (XQueryExtension(x_->d, "XInputExtension", &x_->xi, &event, &error)) {
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawButtonPress);
        XISetMask(bits, XI_RawButtonRelease);
        XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
        XISelectEvents(x_->d, x_->root, &mask, 1);
    }
    x_->damage = XDamageQueryExtension(x_->d, &x_->damageEvent, &error);
    x_->xtest = XTestQueryExtension(x_->d, &event, &error, &major, &minor);
    XSync(x_->d, False);
}

XServer::~XServer()
{
    if (x_->d)
        XCloseDisplay(x_->d);
}

bool XServer::ok() const { return x_->d && x_->xi >= 0 && x_->damage && x_->xtest; }

std::optional<Window> XServer::find(const char* title, double ms)
{
    const double until = nowMs() + ms;
    do {
        x_->drain();
        ::Window rootOut = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        XQueryTree(x_->d, x_->root, &rootOut, &parent, &children, &n);
        std::optional<Window> found;
        for (unsigned i = 0; i < n && !found; ++i) {
            char* name = nullptr;
            XWindowAttributes a{};
            if (XFetchName(x_->d, children[i], &name) && name && std::string_view(name) == title &&
                XGetWindowAttributes(x_->d, children[i], &a) && a.map_state == IsViewable)
                found = children[i];
            if (name)
                XFree(name);
        }
        if (children)
            XFree(children);
        if (!found)
            continue;
        // Its creation may still wait to be read.
        x_->drain();
        x_->watch(*found);
        return found;
    } while (x_->wait(std::min(until, nowMs() + 2)));
    return std::nullopt;
}

forms::Rect XServer::geometry(Window w)
{
    XWindowAttributes a{};
    XGetWindowAttributes(x_->d, w, &a);
    int x = 0, y = 0;
    ::Window child = 0;
    XTranslateCoordinates(x_->d, w, x_->root, 0, 0, &x, &y, &child);
    return {x, y, a.width, a.height};
}

std::optional<XServer::Stamps> XServer::click(forms::Point at)
{
    XTestFakeMotionEvent(x_->d, -1, at.x, at.y, CurrentTime);
    XTestFakeButtonEvent(x_->d, 1, True, CurrentTime);
    XTestFakeButtonEvent(x_->d, 1, False, CurrentTime);
    XSync(x_->d, False);
    x_->pressStamp.reset();
    x_->releaseStamp.reset();
    x_->drain();
    if (!x_->pressStamp || !x_->releaseStamp)
        return std::nullopt;
    return Stamps{*x_->pressStamp, *x_->releaseStamp};
}

void XServer::moveTo(forms::Point at)
{
    XTestFakeMotionEvent(x_->d, -1, at.x, at.y, CurrentTime);
    XSync(x_->d, False);
}

void XServer::key(unsigned long keysym, int times)
{
    const KeyCode code = XKeysymToKeycode(x_->d, keysym);
    for (int i = 0; i < times; ++i) {
        XTestFakeKeyEvent(x_->d, code, True, CurrentTime);
        XTestFakeKeyEvent(x_->d, code, False, CurrentTime);
        XSync(x_->d, False);
        usleep(20'000);  // one key at a time, as a player types
    }
}

bool XServer::shows(forms::Rect box, unsigned long rgb)
{
    XImage* image = XGetImage(x_->d, x_->root, box.x, box.y, static_cast<unsigned>(box.width),
                              static_cast<unsigned>(box.height), AllPlanes, ZPixmap);
    bool found = false;
    for (int y = 0; image && y < box.height && !found; ++y)
        for (int x = 0; x < box.width && !found; ++x)
            found = (XGetPixel(image, x, y) & 0xFFFFFF) == rgb;
    if (image)
        XDestroyImage(image);
    return found;
}

std::optional<std::pair<Window, double>> XServer::waitMap(Window except, double ms, Change change)
{
    const double until = nowMs() + ms;
    do {
        while (XPending(x_->d)) {
            XEvent e;
            XNextEvent(x_->d, &e);
            const double seen = nowMs();
            x_->note(e);
            if (e.type == MapNotify && e.xmap.window != except &&
                (change == Change::Map || (change == Change::PopUp && e.xmap.override_redirect)))
                return std::pair{e.xmap.window, seen};
            if (change == Change::Unmap && e.type == UnmapNotify && e.xunmap.window != except)
                return std::pair{e.xunmap.window, seen};
        }
    } while (x_->wait(until));
    return std::nullopt;
}

bool XServer::waitDrawing(Window window, forms::Rect box, double moment, double ms)
{
    const double until = nowMs() + ms;
    do {
        x_->drain();
        if (drawnAfter(x_->drawings, window, box, moment))
            return true;
    } while (x_->wait(until));
    return false;
}

std::vector<Drawing> XServer::takeDrawings()
{
    x_->drain();
    return std::exchange(x_->drawings, {});
}

std::optional<Drawn> drawnAfter(const std::vector<Drawing>& drawings, Window window, forms::Rect box, double moment)
{
    for (std::size_t k = 0; k < drawings.size(); ++k) {
        const Drawing& d = drawings[k];
        if (d.window == window && d.area.intersects(box) && static_cast<double>(d.stamp) >= moment)
            return Drawn{static_cast<double>(d.stamp) - moment, k};
    }
    return std::nullopt;
}

std::optional<DuelOnScreen> DuelOnScreen::find(XServer& x, double ms)
{
    const auto window = x.find("Zib!", ms);
    if (!window)
        return std::nullopt;
    DuelOnScreen duel;
    duel.window = *window;
    const forms::Rect frame = x.geometry(*window);
    const forms::Point corner{frame.x, frame.y};
    auto onScreen = [&](forms::Rect r) { return forms::Rect{r.x + corner.x, r.y + corner.y, r.width, r.height}; };
    auto centre = [&](forms::Rect r) { return forms::Point{r.x + r.width / 2, r.y + r.height / 2}; };
    // The menu bar lies above the client area, at the top of the window.
    const int menuBar = frame.height - forms::pixels(duel::frmzib::design().height);
    duel.skillMenu = {corner.x + 20, corner.y + menuBar / 2};
    forms::Runtime runtime;
    duel.pencils.resize(10);
    for (forms::Item item : forms::scene(runtime.instance<duel::frmzib>()).items) {
        item.box.y += menuBar;
        const std::string_view name = item.design->name;
        if (name == "cbStart")
            duel.start = centre(onScreen(item.box));
        else if (name == "cbStop")
            duel.stop = centre(onScreen(item.box));
        else if (name == "Zib")
            duel.zib = centre(onScreen(duel.zibButton = item.box));
        else if (name == "zibyou")
            duel.zibyouOnScreen = onScreen(duel.zibyou = item.box);
        else if (name == "ziboppo")
            duel.ziboppo = item.box;
        else if (name.size() == 3 && name[0] == 'p') {
            auto& set = duel.pencils[static_cast<std::size_t>((name[1] == '0' ? 10 : name[1] - '0') - 1)];
            set = set.empty() ? item.box : forms::united(set, item.box);
        }
    }
    // Both hidden result windows hand the duel window back about a second
    // after start-up; until then Start does nothing.
    usleep(1'300'000);
    x.takeDrawings();
    return duel;
}

bool DuelOnScreen::pickLevel(XServer& x, int index) const
{
    x.click(skillMenu);
    if (!x.waitMap(window, 3000, XServer::Change::PopUp))
        return false;
    x.key(XK_Down, index + 1);
    x.key(XK_Return);
    return x.waitMap(window, 3000, XServer::Change::Unmap).has_value();
}

}  // namespace bench
