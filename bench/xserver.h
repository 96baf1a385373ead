// SPDX-License-Identifier: MIT
#pragma once

// The instrument the on-screen benchmarks watch and play the real game with:
// a connection of their own to the X server. XTest presses the buttons and
// keys, XInput 2 raw events give the server's stamp on each press, and
// DAMAGE events give the server's stamp on each drawing that reaches a
// window. Every top-level window is watched from its creation, so a window
// made ahead and mapped later is seen from its first drawing. The server
// stamps in whole milliseconds of the monotonic clock, as the game counts.

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "forms/scene.h"

namespace bench {

using Window = unsigned long;

// A drawing the X server reported, on the window it reached, in that
// window's pixels.
struct Drawing {
    Window window;
    unsigned long stamp;
    forms::Rect area;
};

class XServer {
public:
    XServer();
    ~XServer();
    // Whether there is a display with the XInput, XTest and DAMAGE extensions.
    bool ok() const;

    // The mapped top-level window with this title, waiting up to `ms`.
    std::optional<Window> find(const char* title, double ms);
    // Where the window is on the screen, and its size.
    forms::Rect geometry(Window window);

    // Presses and releases the left button at a point on the screen; the
    // server's stamps on the press and the release.
    struct Stamps {
        unsigned long press, release;
    };
    std::optional<Stamps> click(forms::Point at);
    void moveTo(forms::Point at);
    // Presses and releases a key, by its keysym, `times` over.
    void key(unsigned long keysym, int times = 1);
    // Whether any pixel in the box on the screen has the colour (0xRRGGBB):
    // reads the screen back, so only once a measurement is over.
    bool shows(forms::Rect box, unsigned long rgb);

    // Waits up to `ms` for a window other than `except` to map, to unmap,
    // or to pop up (map with no window manager's say: a menu); the window
    // and when this program saw it (nowMs).
    enum class Change { Map, Unmap, PopUp };
    std::optional<std::pair<Window, double>> waitMap(Window except, double ms, Change change = Change::Map);
    // Waits up to `ms` for a drawing on the window reaching into the box,
    // stamped at or after `moment`.
    bool waitDrawing(Window window, forms::Rect box, double moment, double ms);
    // The drawings reported since the last call, in the order they were made.
    std::vector<Drawing> takeDrawings();

private:
    struct Connection;
    std::unique_ptr<Connection> x_;
};

// The first of the drawings on the window that reaches into the box, at or
// after `moment`: how long after it, in whole milliseconds; and its place
// among the drawings.
struct Drawn {
    double after;
    std::size_t order;
};
std::optional<Drawn> drawnAfter(const std::vector<Drawing>& drawings, Window window, forms::Rect box, double moment);

// The duel window of a game on the screen, played from outside as a player
// plays it: where its buttons and labels are comes from its design.
struct DuelOnScreen {
    Window window = 0;
    forms::Point start, stop, zib, skillMenu;  // on the screen
    forms::Rect zibButton, zibyou, ziboppo;     // in the window
    forms::Rect zibyouOnScreen;
    std::vector<forms::Rect> pencils;  // in the window, set 1 first

    // Waits up to `ms` for a game's duel window, then for its start-up
    // hand-back to pass.
    static std::optional<DuelOnScreen> find(XServer& x, double ms);
    // Chooses the level at `index` in the Skill menu: the menu opened with a
    // click on the menu bar, the level chosen with the arrow keys and Enter.
    bool pickLevel(XServer& x, int index) const;
};

}  // namespace bench
