// SPDX-License-Identifier: MIT
// What a player sees and does, measured from outside the game through a
// second connection to the X server. XTest presses the buttons, XInput 2 raw
// events give the server's stamp on each press, and DAMAGE events give the
// server's stamp on each drawing that reaches a window: nothing reads the
// screen back while it is measured. Every moment is counted from the server's
// stamp on the release of Start, when it counts (the server counts the monotonic clock's
// milliseconds, as the game does): drop step k at Start + 50 k ms, the draw
// at + 500, the Very Hard opponent at + 573, the result window at + 1073.
//
// Each program plays duels at Very Hard, ZIB! pressed 1, 2 or 5 ms before or
// after the opponent's moment in turn. Every fourth duel runs on to its
// result window and the hand-back; the others end with Stop once the race is
// decided. The programs take turns, a third of their duels at a time. Figures, on an idle machine and with two CPU hogs per core:
//   - each drop step's pencil, the draw (ZIB! enabled) and the opponent's
//     "ZIB!" drawn after their moments (DAMAGE stamps, whole milliseconds);
//   - the result window mapped after its moment (MapNotify as this program
//     receives it) and drawn (DAMAGE stamp);
//   - the race judged right, and judged as the server stamped the press (the
//     player's "ZIB!" read once from the screen after the opponent's moment).
// Beside the game as it ships (zib_probe screen): the game before this work
// (the same probe built from an earlier version, given with --baseline), a
// bare hidden QWidget shown on the result window's moment (minimal_probe map),
// and, with the hogs, the game with the kernel's default time slice put back
// on its threads.
//
// This program and the X server run at real-time priority (or failing that at
// nice -10), being the instrument; the games and the hogs at an ordinary one. A witness thread
// beside the game wakes every millisecond at real-time priority: a duel whose
// frames were late while the witness, too, was kept from running for 4 ms or
// more was hit by a stall of the whole machine, and is set apart.
//
//   bench_screen [--quick] [--verbose] [--baseline ZIB_PROBE_OF_AN_EARLIER_VERSION]
#include <QPoint>
#include <QRect>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <utility>
#include <unistd.h>
#include <vector>

#include "duel/frmzib.h"
#include "forms/scene.h"
#include "load.h"
#include "stats.h"

// Last: Xlib's macros (None, Bool, Status) would clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>

namespace {

using Samples = std::vector<double>;
constexpr int opponentMs = 73;  // Very Hard
constexpr double stallMs = 4;

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Sleeps to within a fraction of a millisecond of `ms`, then spins to it.
void sleepUntil(double ms)
{
    const double early = ms - 0.3;
    if (early > nowMs()) {
        timespec t{static_cast<time_t>(early / 1e3), static_cast<long>(std::fmod(early, 1e3) * 1e6)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr);
    }
    while (nowMs() < ms) {
    }
}

// A thread that wakes every millisecond at real-time priority and notes each
// time it was kept from running for longer than a stall.
class Witness {
public:
    Witness()
        : thread_([this] { run(); })
    {
        // Above the rest of the instrument, which runs at the lowest
        // real-time priority: only a stall of the whole machine holds it up.
        sched_param param{sched_get_priority_min(SCHED_FIFO) + 1};
        realTime_ = pthread_setschedparam(thread_.native_handle(), SCHED_FIFO, &param) == 0;
    }
    ~Witness()
    {
        stop_ = true;
        thread_.join();
    }
    bool realTime() const { return realTime_; }
    // Whether the witness stalled at some time within [from, to].
    bool stalled(double from, double to) const
    {
        const std::lock_guard lock(mutex_);
        for (const auto& [start, end] : stalls_)
            if (start < to && end > from)
                return true;
        return false;
    }

private:
    void run()
    {
        double last = nowMs();
        while (!stop_) {
            timespec tick{0, 1'000'000};
            clock_nanosleep(CLOCK_MONOTONIC, 0, &tick, nullptr);
            const double now = nowMs();
            if (now - last > 1 + stallMs) {
                const std::lock_guard lock(mutex_);
                stalls_.emplace_back(last + 1, now);
            }
            last = now;
        }
    }

    std::atomic<bool> stop_ = false;
    bool realTime_ = false;
    mutable std::mutex mutex_;
    std::vector<std::pair<double, double>> stalls_;
    std::thread thread_;
};

// A program under test, run until the object goes.
class Child {
public:
    explicit Child(std::vector<std::string> args)
    {
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            setpriority(PRIO_PROCESS, 0, 0);  // the game runs as a player runs it
            sched_param param{0};
            sched_setscheduler(0, SCHED_OTHER, &param);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Child()
    {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_;
};

int ignoreErrors(Display*, XErrorEvent*) { return 0; }

// A drawing the X server reported, on the window it reached.
struct Drawing {
    Window window;
    unsigned long stamp;
    QRect area;
};

// Our own connection to the X server.
class XServer {
public:
    XServer() : d_(XOpenDisplay(nullptr))
    {
        if (!d_)
            return;
        // Windows go as the programs measured end; asking about them then is
        // no fault.
        XSetErrorHandler(ignoreErrors);
        root_ = DefaultRootWindow(d_);
        XSelectInput(d_, root_, SubstructureNotifyMask);
        int event = 0, error = 0;
        if (XQueryExtension(d_, "XInputExtension", &xi_, &event, &error)) {
            unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
            XISetMask(bits, XI_RawButtonPress);
            XISetMask(bits, XI_RawButtonRelease);
            XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
            XISelectEvents(d_, root_, &mask, 1);
        }
        damage_ = XDamageQueryExtension(d_, &damageEvent_, &error);
        XSync(d_, False);
    }
    ~XServer()
    {
        if (d_)
            XCloseDisplay(d_);
    }
    bool ok() const { return d_ != nullptr && xi_ >= 0 && damage_; }

    // The mapped top-level window called `name`, waiting up to `ms` for it.
    std::optional<Window> find(const char* name, double ms)
    {
        const double until = nowMs() + ms;
        do {
            drain();
            Window rootOut = 0, parent = 0, *children = nullptr;
            unsigned n = 0;
            XQueryTree(d_, root_, &rootOut, &parent, &children, &n);
            std::optional<Window> found;
            for (unsigned i = 0; i < n && !found; ++i) {
                char* title = nullptr;
                XWindowAttributes a{};
                if (XFetchName(d_, children[i], &title) && title && std::strcmp(title, name) == 0 &&
                    XGetWindowAttributes(d_, children[i], &a) && a.map_state == IsViewable)
                    found = children[i];
                if (title)
                    XFree(title);
            }
            if (children)
                XFree(children);
            if (found) {
                watch(*found);
                return found;
            }
            usleep(20'000);
        } while (nowMs() < until);
        return std::nullopt;
    }

    // Where the window is on the screen, and its size.
    QRect geometry(Window w)
    {
        XWindowAttributes a{};
        XGetWindowAttributes(d_, w, &a);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(d_, w, root_, 0, 0, &x, &y, &child);
        return {x, y, a.width, a.height};
    }

    // Presses and releases the left button at a point; returns the server's
    // stamps on the press and on the release.
    struct Stamps {
        unsigned long press, release;
    };
    std::optional<Stamps> click(QPoint at)
    {
        XTestFakeMotionEvent(d_, -1, at.x(), at.y(), CurrentTime);
        XTestFakeButtonEvent(d_, 1, True, CurrentTime);
        XTestFakeButtonEvent(d_, 1, False, CurrentTime);
        XSync(d_, False);
        pressStamp_.reset();
        releaseStamp_.reset();
        drain();
        if (!pressStamp_ || !releaseStamp_)
            return std::nullopt;
        return Stamps{*pressStamp_, *releaseStamp_};
    }
    void moveTo(QPoint at)
    {
        XTestFakeMotionEvent(d_, -1, at.x(), at.y(), CurrentTime);
        XSync(d_, False);
    }

    // Whether any pixel in the box (on the screen) has the colour.
    bool shows(QRect box, unsigned long rgb)
    {
        XImage* image = XGetImage(d_, root_, box.x(), box.y(), static_cast<unsigned>(box.width()),
                                  static_cast<unsigned>(box.height()), AllPlanes, ZPixmap);
        bool found = false;
        for (int y = 0; image && y < box.height() && !found; ++y)
            for (int x = 0; x < box.width() && !found; ++x)
                found = (XGetPixel(image, x, y) & 0xFFFFFF) == rgb;
        if (image)
            XDestroyImage(image);
        return found;
    }

    // Waits up to `ms` for a window other than `except` to map (or, with
    // `unmap`, to unmap); returns the window and when we saw it.
    std::optional<std::pair<Window, double>> waitMap(Window except, double ms, bool unmap = false)
    {
        const double until = nowMs() + ms;
        while (true) {
            while (XPending(d_)) {
                XEvent e;
                XNextEvent(d_, &e);
                const double seen = nowMs();
                note(e);
                if (!unmap && e.type == MapNotify && e.xmap.window != except)
                    return std::pair{e.xmap.window, seen};
                if (unmap && e.type == UnmapNotify && e.xunmap.window != except)
                    return std::pair{e.xunmap.window, seen};
            }
            const double left = until - nowMs();
            if (left <= 0)
                return std::nullopt;
            pollfd fd{ConnectionNumber(d_), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(left) + 1);
        }
    }

    // Waits up to `ms` for a drawing on `window` reaching into `box`,
    // stamped at or after `moment`.
    bool waitDrawing(Window window, QRect box, double moment, double ms)
    {
        const double until = nowMs() + ms;
        for (;;) {
            drain();
            for (const Drawing& d : drawings_)
                if (d.window == window && d.area.intersects(box) && static_cast<double>(d.stamp) >= moment)
                    return true;
            const double left = until - nowMs();
            if (left <= 0)
                return false;
            pollfd fd{ConnectionNumber(d_), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(left) + 1);
        }
    }

    void drain()
    {
        while (XPending(d_)) {
            XEvent e;
            XNextEvent(d_, &e);
            note(e);
        }
    }

    // The drawings reported since the last call.
    std::vector<Drawing> takeDrawings()
    {
        drain();
        return std::exchange(drawings_, {});
    }

private:
    void watch(Window w)
    {
        if (!watched_.contains(w))
            watched_[w] = XDamageCreate(d_, w, XDamageReportRawRectangles);
    }

    void note(XEvent& e)
    {
        if (e.type == DestroyNotify) {
            // The window's damage goes with it, and its id may come back.
            watched_.erase(e.xdestroywindow.window);
            return;
        }
        if (e.type == CreateNotify && e.xcreatewindow.parent == root_) {
            // Result windows are made ahead, unmapped: watched from the start.
            watch(e.xcreatewindow.window);
            return;
        }
        if (e.type == damageEvent_ + XDamageNotify) {
            const auto& d = reinterpret_cast<const XDamageNotifyEvent&>(e);
            drawings_.push_back({d.drawable, d.timestamp, QRect(d.area.x, d.area.y, d.area.width, d.area.height)});
            return;
        }
        if (e.type != GenericEvent || e.xcookie.extension != xi_ || !XGetEventData(d_, &e.xcookie))
            return;
        if (e.xcookie.evtype == XI_RawButtonPress)
            pressStamp_ = static_cast<XIRawEvent*>(e.xcookie.data)->time;
        if (e.xcookie.evtype == XI_RawButtonRelease)
            releaseStamp_ = static_cast<XIRawEvent*>(e.xcookie.data)->time;
        XFreeEventData(d_, &e.xcookie);
    }

    Display* d_;
    Window root_ = 0;
    int xi_ = -1;
    bool damage_ = false;
    int damageEvent_ = 0;
    std::map<Window, Damage> watched_;
    std::vector<Drawing> drawings_;
    std::optional<unsigned long> pressStamp_, releaseStamp_;
};

// Where things are on the duel window, from its design: on the screen for
// presses, and within the window for what is drawn.
struct Layout {
    QPoint start, stop, zib;
    QRect zibyou;                 // on the screen
    QRect zibButton, ziboppo;     // in the window
    std::vector<QRect> pencils;   // in the window, set 1 first

    explicit Layout(QRect window)
    {
        const forms::FormDesign& design = duel::frmzib::design();
        // The menu bar lies above the client area, at the top of the window.
        const QPoint canvas(0, window.height() - forms::pixels(design.height));
        forms::Runtime runtime;
        const forms::Scene scene = forms::scene(runtime.instance<duel::frmzib>());
        pencils.resize(10);
        for (const forms::Item& item : scene.items) {
            const std::string_view name = item.design->name;
            const QRect box = QRect(item.box.x, item.box.y, item.box.width, item.box.height).translated(canvas);
            if (name == "cbStart")
                start = box.center() + window.topLeft();
            else if (name == "cbStop")
                stop = box.center() + window.topLeft();
            else if (name == "Zib") {
                zib = box.center() + window.topLeft();
                zibButton = box;
            } else if (name == "zibyou")
                zibyou = box.translated(window.topLeft());
            else if (name == "ziboppo")
                ziboppo = box;
            else if (name.size() == 3 && name[0] == 'p') {
                const int set = name[1] == '0' ? 10 : name[1] - '0';
                pencils[static_cast<std::size_t>(set - 1)] |= box;
            }
        }
    }
};

struct Figures {
    Samples steps, draws, opponent, mapped, drawn;
    int duels = 0, setApart = 0;
    Samples stepsAll, mappedAll;  // with the duels set apart
    int right[3] = {}, presses[3] = {};  // by |offset|: 1, 2, 5 ms
    int offStamp = 0;                    // presses the server stamped other than meant
    int byStamp = 0, stamped = 0;        // judged as the server's stamp says
    int missing = 0;                     // frames never seen

    Figures& operator+=(const Figures& more)
    {
        for (auto part : {&Figures::steps, &Figures::draws, &Figures::opponent, &Figures::mapped, &Figures::drawn,
                          &Figures::stepsAll, &Figures::mappedAll})
            (this->*part).insert((this->*part).end(), (more.*part).begin(), (more.*part).end());
        for (int k = 0; k < 3; ++k) {
            right[k] += more.right[k];
            presses[k] += more.presses[k];
        }
        duels += more.duels;
        setApart += more.setApart;
        offStamp += more.offStamp;
        byStamp += more.byStamp;
        stamped += more.stamped;
        missing += more.missing;
        return *this;
    }
};

// The first drawing on `window` reaching into `box` at or after `moment`:
// how long after it, in whole milliseconds.
std::optional<double> drawnAfter(const std::vector<Drawing>& drawings, Window window, QRect box, double moment)
{
    for (const Drawing& d : drawings)
        if (d.window == window && d.area.intersects(box) && static_cast<double>(d.stamp) >= moment)
            return static_cast<double>(d.stamp) - moment;
    return std::nullopt;
}

// Plays duels `first` to `last` (excluded) at Very Hard on the program that
// shows the window "Zib!". A probe with no pencil (the bare window) only
// gives result windows.
Figures play(XServer& x, const Witness& witness, int first, int last, bool pencil, pid_t slices, bool verbose)
{
    Figures f;
    const auto duel = x.find("Zib!", 10'000);
    if (!duel) {
        std::fputs("bench_screen: the window never showed\n", stderr);
        return f;
    }
    usleep(1'300'000);  // past the start-up hand-back
    if (slices > 0)
        bench::defaultSlices(slices);
    const Layout at(x.geometry(*duel));
    x.takeDrawings();

    const int offsets[] = {-1, 1, -2, 2, -5, 5};
    for (int n = first; n < last; ++n) {
        const bool outcome = n % 4 == 0 || !pencil;
        // Start counts when it is released, ZIB! when it is pressed.
        const auto start = x.click(at.start);
        if (!start)
            continue;
        const auto s = static_cast<double>(start->release);
        const double opponent = s + 500 + opponentMs;
        std::optional<std::pair<Window, double>> mapped;
        bool won = false;
        std::optional<double> press;
        const int offset = offsets[n % 6];
        if (pencil) {
            x.moveTo(at.zib);
            // In the middle of the millisecond meant, so the server's stamp is that millisecond.
            sleepUntil(opponent + offset + 0.5);
            if (const auto zib = x.click(at.zib))
                press = static_cast<double>(zib->press);
            // Once the opponent's "ZIB!" is drawn, the player's shows if the
            // press came first: the game draws each event in turn.
            x.waitDrawing(*duel, at.ziboppo, opponent, 1000);
            won = x.shows(at.zibyou, 0xFF0000);
        }
        if (outcome) {
            mapped = x.waitMap(*duel, 2500);
            x.waitMap(*duel, 2500, true);  // the hand-back
            usleep(100'000);
        } else {
            x.click(at.stop);
            usleep(60'000);
        }
        // The server's stamps say when each drawing was made, however late
        // this program looks at them.
        const auto drawings = x.takeDrawings();

        // Frames, each with its moment; a duel is set apart when a late one
        // coincides with a stall of the witness.
        Samples steps;
        std::optional<double> drawFrame, opponentFrame, mapLate, drawnLate;
        bool stalled = false;
        auto late = [&](std::optional<double> l, double moment) {
            if (!l)
                ++f.missing;
            else if (witness.stalled(moment, moment + *l + 1))
                stalled = true;
            return l;
        };
        if (pencil) {
            for (std::size_t k = 1; k < 10; ++k)
                if (auto l = late(drawnAfter(drawings, *duel, at.pencils[k], s + 50.0 * static_cast<double>(k)),
                                  s + 50.0 * static_cast<double>(k)))
                    steps.push_back(*l);
            drawFrame = late(drawnAfter(drawings, *duel, at.zibButton, s + 500), s + 500);
            opponentFrame = late(drawnAfter(drawings, *duel, at.ziboppo, opponent), opponent);
        }
        if (outcome && mapped) {
            mapLate = mapped->second - (s + 1000 + opponentMs);
            stalled = stalled || witness.stalled(s + 1073, mapped->second);
            drawnLate = late(drawnAfter(drawings, mapped->first, QRect(0, 0, 10000, 10000), s + 1073), s + 1073);
        } else if (outcome) {
            ++f.missing;
        }

        ++f.duels;
        f.stepsAll.insert(f.stepsAll.end(), steps.begin(), steps.end());
        if (mapLate)
            f.mappedAll.push_back(*mapLate);
        if (stalled) {
            ++f.setApart;
        } else {
            f.steps.insert(f.steps.end(), steps.begin(), steps.end());
            if (drawFrame)
                f.draws.push_back(*drawFrame);
            if (opponentFrame)
                f.opponent.push_back(*opponentFrame);
            if (mapLate)
                f.mapped.push_back(*mapLate);
            if (drawnLate)
                f.drawn.push_back(*drawnLate);
        }

        if (pencil) {
            const int k = std::abs(offset) == 1 ? 0 : std::abs(offset) == 2 ? 1 : 2;
            f.presses[k] += 1;
            f.right[k] += won == (offset < 0) ? 1 : 0;
            f.offStamp += press && *press != opponent + offset ? 1 : 0;
            if (press) {
                f.stamped += 1;
                f.byStamp += won == (*press < opponent) ? 1 : 0;
            }
        }
        if (verbose) {
            std::fprintf(stderr, "  duel %d:", n);
            if (pencil)
                std::fprintf(stderr,
                             " steps max %.0f, draw %.0f, opponent %.0f ms late; press %+d ms, stamped %+.0f, %s;",
                             steps.empty() ? -1.0 : *std::ranges::max_element(steps), drawFrame.value_or(-1),
                             opponentFrame.value_or(-1), offset,
                             press ? *press - opponent : std::nan(""), won ? "won" : "lost");
            if (mapLate)
                std::fprintf(stderr, " result mapped %+.2f, drawn %.0f ms late;", *mapLate, drawnLate.value_or(-1));
            std::fprintf(stderr, "%s\n", stalled ? " set apart: the witness stalled too" : "");
        }
    }
    return f;
}

std::string distribution(const Samples& s)
{
    if (s.empty())
        return "no samples";
    char text[96];
    std::snprintf(text, sizeof text, "median %.1f / p99 %.1f / max %.1f ms over %zu", bench::median(s),
                  bench::percentile(s, 99), *std::ranges::max_element(s), s.size());
    return text;
}

std::string p99(const Samples& s)
{
    char text[32];
    std::snprintf(text, sizeof text, "p99 %.1f ms", bench::percentile(s, 99));
    return s.empty() ? "not measured" : text;
}

std::string judged(const Figures& f)
{
    std::string text;
    const char* names[] = {"±1 ms", "±2 ms", "±5 ms"};
    for (int k = 0; k < 3; ++k) {
        char part[64];
        std::snprintf(part, sizeof part, "%s%s %d/%d", k ? ", " : "", names[k], f.right[k], f.presses[k]);
        text += part;
    }
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::hasFlag(argc, argv, "--quick");
    const bool verbose = bench::hasFlag(argc, argv, "--verbose");
    const char* baselineProbe = bench::argument(argc, argv, "--baseline");
    const char* baselineName = bench::argument(argc, argv, "--baseline-name");
    const int duels = quick ? 6 : 60;
    const std::string before = baselineName ? baselineName : "an earlier version";

    XServer x;
    if (!x.ok()) {
        std::puts("# bench_screen: no X display with the XInput and DAMAGE extensions; skipped");
        return 0;
    }
    // The presses are the measuring instrument, and the X server stamps
    // them: neither may be late.
    const bool raised = bench::raisePriority(0) && bench::raiseXServer();
    if (!raised)
        std::puts("# note: bench_screen could not raise its own and the X server's priority; busy figures include "
                  "their lateness");
    const Witness witness;
    if (!witness.realTime())
        std::puts("# note: the witness could not run at real-time priority; with the hogs it may stall on its own");

    for (bool busy : {false, true}) {
        const char* load = busy ? "two hogs per core" : "idle";
        const bench::Hogs hogs(busy);
        // The programs take turns, a third of their duels at a time, so that
        // other programs' load falls on each of them alike.
        Figures today, earlier, slice, bare;
        const int rounds = quick ? 1 : 3;
        for (int round = 0; round < rounds; ++round) {
            const int first = duels * round / rounds, last = duels * (round + 1) / rounds;
            {
                const Child game({ZIB_PROBE, "screen"});
                today += play(x, witness, first, last, true, 0, verbose);
            }
            if (baselineProbe) {
                const Child game({baselineProbe, "screen"});
                earlier += play(x, witness, first, last, true, 0, verbose);
            }
            if (busy) {
                const Child game({ZIB_PROBE, "screen"});
                slice += play(x, witness, first, last, true, game.pid(), verbose);
            }
            const Child game({MINIMAL_PROBE, "map"});
            bare += play(x, witness, first / 4, quick ? 2 : last / 4, false, 0, verbose);
        }
        const std::string beside = busy ? "; kernel's default slice: " : "";
        auto besides = [&](const Samples Figures::*of) {
            return "before, " + before + ": " + p99(earlier.*of) + (busy ? beside + p99(slice.*of) : std::string());
        };
        bench::figure("drop steps drawn after their moments (%s): %s  [%s; target p99 <= %d ms]", load,
                      distribution(today.steps).c_str(), besides(&Figures::steps).c_str(), busy ? 8 : 4);
        bench::figure("draw frame, ZIB! enabled, after its moment (%s): %s  [%s; target p99 <= %d ms]", load,
                      distribution(today.draws).c_str(), besides(&Figures::draws).c_str(), busy ? 8 : 4);
        bench::figure("opponent's ZIB! drawn after its moment (%s): %s  [%s]", load,
                      distribution(today.opponent).c_str(), besides(&Figures::opponent).c_str());
        const double bareP99 = bench::percentile(bare.mapped, 99);
        char target[64];
        std::snprintf(target, sizeof target, busy ? "p99 <= 8 ms" : "p99 <= bare window + 1 ms = %.1f ms",
                      bareP99 + 1);
        bench::figure("result window mapped after its moment (%s): %s  [bare hidden QWidget shown: %s; %s; target %s]",
                      load, distribution(today.mapped).c_str(), p99(bare.mapped).c_str(),
                      besides(&Figures::mapped).c_str(), target);
        bench::figure("result window drawn after its moment (%s): %s  [bare hidden QWidget shown: %s; %s]", load,
                      distribution(today.drawn).c_str(), p99(bare.drawn).c_str(), besides(&Figures::drawn).c_str());
        bench::figure("race judged right, ZIB! pressed before / after the opponent's moment (%s): %s  [before, %s: %s; "
                      "target all]",
                      load, judged(today).c_str(), before.c_str(), judged(earlier).c_str());
        bench::figure("race judged as the X server stamped the press (%s): %d of %d  [before, %s: %d of %d; "
                      "target all]",
                      load, today.byStamp, today.stamped, before.c_str(), earlier.byStamp, earlier.stamped);
        const int apart = today.setApart + earlier.setApart + slice.setApart + bare.setApart;
        const int played = today.duels + earlier.duels + slice.duels + bare.duels;
        bench::figure("# %s: %d of %d duels set apart, a stall of %.0f ms or more seen by the witness too (the game "
                      "alone: %d of %d; its drop steps with them: %s); %d of %d presses stamped in another millisecond "
                      "than meant; %d frames never seen",
                      load, apart, played, stallMs, today.setApart, today.duels, distribution(today.stepsAll).c_str(),
                      today.offStamp + earlier.offStamp + slice.offStamp,
                      today.stamped + earlier.stamped + slice.stamped,
                      today.missing + earlier.missing + slice.missing + bare.missing);
    }
    return 0;
}
