# SPDX-License-Identifier: MIT
"""The game as shipped on real desktops, in the story named on the command
line: under a window manager as a screen reader meets it, or where Wayland
is the only display."""

import desktop
from desktop import check, equal

SCREEN = (1280, 1024)
SKILLS = ["Very Easy", "Easy", "Medium", "Hard", "Very Hard"]


def framed(env):
    """The duel window, and the frame the window manager draws around it once
    it has said so: left, right, top and bottom."""
    def look():
        found = desktop.run(["xdotool", "search", "--onlyvisible", "--name", "^Zib!$"], env).split()
        said = desktop.run(["xprop", "-id", found[0], "_NET_FRAME_EXTENTS"], env) if found else ""
        return "=" in said and (found[0], tuple(int(n) for n in said.split("=")[1].split(",")))
    return desktop.eventually(look, 10, waiting_for="the window manager's frame around the duel window")


def centred(x, y, width, height, left, right, top, bottom):
    """Whether the window, with its frame, lies in the middle of the screen."""
    return abs(2 * (x - left) + width + left + right - SCREEN[0]) <= 2 and \
        abs(2 * (y - top) + height + top + bottom - SCREEN[1]) <= 2


def window_manager_and_screen_reader(zib):
    # Openbox frames the duel window, centred with its frame; a screen reader
    # hears its buttons and skill items, and a duel won by accessible actions
    # alone shows the win window, then the duel window back in its place and
    # active. The window manager's close ends the game.
    with desktop.session() as env, desktop.x_server(env, SCREEN), desktop.screen_reader(env) as reader, \
            desktop.running("the game", [zib], env, quiet=False) as game:
        at = reader.at
        duel = desktop.eventually(lambda: reader.window(game.pid, "Zib!"), 10, waiting_for='a frame named "Zib!"')
        window, frame = framed(env)
        check("the duel window is framed", frame[2] > 0, frame)
        check("the duel window is centred with its frame",
              desktop.eventually(lambda: centred(*reader.extents(duel), *frame)), reader.extents(duel))
        where = reader.extents(duel)

        buttons = reader.find(duel, at.ROLE_PUSH_BUTTON)
        pressable = lambda: sorted(name for name, button in buttons.items() if reader.has(button, at.STATE_SENSITIVE))
        equal("at idle Start alone can be pressed", pressable(), ["Start"])
        items = {name: item for name, item in reader.find(duel, at.ROLE_MENU_ITEM).items() if name in SKILLS}
        equal("the skill items in order", list(items), SKILLS)
        checked = lambda: [name for name, item in items.items() if reader.has(item, at.STATE_CHECKED)]
        reader.press(items["Very Easy"])
        equal("Very Easy is ticked once chosen", desktop.eventually(checked), ["Very Easy"])

        # The draw comes 500 ms after Start, and at Very Easy the computer
        # takes 450 ms more: pressed as soon as it can be, ZIB! wins. A duel
        # still running when the start-up hand-back comes, a second after
        # start-up, is cut off, so it is played again. The win window shows
        # for a second, so the duel window is looked at as it is found.
        def duel_won():
            reader.press(buttons["Start"])
            if desktop.eventually(lambda: reader.has(buttons["ZIB!"], at.STATE_SENSITIVE), timeout=2, interval=0.005):
                reader.press(buttons["ZIB!"])
                return desktop.eventually(lambda: reader.window(game.pid, "You Win!!!") and
                                          not reader.has(duel, at.STATE_SHOWING), timeout=2)

        check("a duel won by accessible actions shows the win window in place of the duel window",
              duel_won() or duel_won())
        desktop.eventually(lambda: reader.window(game.pid, "Zib!"), 5, waiting_for="the duel window back")
        check("the win window has gone", not reader.window(game.pid, "You Win!!!"))
        check("the duel window comes back in its place", desktop.eventually(lambda: reader.extents(duel) == where),
              reader.extents(duel))
        check("the duel window is active again", desktop.eventually(lambda: reader.has(duel, at.STATE_ACTIVE)))
        equal("back at idle Start alone can be pressed", pressable(), ["Start"])
        equal("the level chosen outlives the duel", checked(), ["Very Easy"])
        desktop.run(["wmctrl", "-i", "-c", window], env)
        equal("the window manager's close ends the game with status 0", game.wait(timeout=10), 0)


def wayland_only(zib):
    # Weston's headless back end and no X server: the game starts, and its
    # duel window reaches the accessibility bus, on show, as a frame named
    # "Zib!". Where the window goes is the compositor's business.
    with desktop.session() as env, desktop.wayland_compositor(env), desktop.screen_reader(env) as reader, \
            desktop.running("the game", [zib], env, quiet=False) as game:
        check('the duel window on show, a frame named "Zib!"',
              desktop.eventually(lambda: reader.window(game.pid, "Zib!"), timeout=15))


if __name__ == "__main__":
    desktop.main({"WindowManagerAndScreenReader": window_manager_and_screen_reader, "WaylandOnly": wayland_only})
