# SPDX-License-Identifier: MIT
"""The game under a real X window manager (openbox on a virtual screen): the
framed duel window centred as the player sees it, its size fixed, a duel
ending in an unframed result window in the middle of the screen, the duel
window back in its place and active, and the manager's close ending the
game cleanly. With no window manager, the client area is centred."""

import desktop

# The duel window's buttons, in pixels from the top-left corner of its
# client area below the menu bar.
START = (264 + 16, 256 + 16)
CLIENT_HEIGHT = 399


def duel_window(game, env):
    return desktop.wait_for("the duel window", lambda: [
        w for w in desktop.visible_windows(game.pid, env) if desktop.title(w, env) == "Zib!"])[0]


def test(zib, checks):
    with desktop.session() as env, desktop.x_server(env):
        screen_width, screen_height = desktop.screen_size(env)
        # With nobody to draw a frame, the client area is what is centred.
        with desktop.game(zib, env) as game:
            x, y, width, height = desktop.geometry(duel_window(game, env), env)
            checks.true("without a window manager the client area is centred across the screen",
                        abs(2 * x + width - screen_width) <= 1, f"{width} wide at x {x}")
            checks.true("without a window manager the client area is centred down the screen",
                        abs(2 * y + height - screen_height) <= 1, f"{height} high at y {y}")
        with desktop.window_manager(env), desktop.game(zib, env) as game:
            duel = duel_window(game, env)
            frame = desktop.frame_of(duel, env)
            first_seen = desktop.geometry(frame, env)
            x, y, width, height = desktop.geometry(duel, env)
            menu_bar = height - CLIENT_HEIGHT
            checks.equal("the duel window's client area is 600 pixels wide", width, 600)
            checks.true("the duel window has a menu bar above its client area", 10 <= menu_bar <= 40,
                        f"{menu_bar} pixels")
            checks.true("the duel window has a frame", frame != duel)

            frame_x, frame_y, frame_width, frame_height = desktop.geometry(frame, env)
            print(f"screen {screen_width}x{screen_height}, frame {frame_width}x{frame_height} "
                  f"at {frame_x},{frame_y}, client {width}x{height} at {x},{y}", flush=True)
            checks.near("the frame is centred across the screen", frame_x, (screen_width - frame_width) / 2, 2)
            checks.near("the frame is centred down the screen", frame_y, (screen_height - frame_height) / 2, 2)
            checks.equal("the frame does not move after it first shows", (frame_x, frame_y), first_seen[:2])

            desktop.run(["xdotool", "windowsize", str(duel), "800", "600"], env)
            desktop.caught_up(duel, env)
            checks.equal("a resize request leaves the size unchanged", desktop.geometry(duel, env)[2:],
                         (width, height))
            desktop.run(["wmctrl", "-i", "-r", str(duel), "-b", "add,maximized_vert,maximized_horz"], env)
            desktop.caught_up(duel, env)
            checks.equal("a maximise request leaves the size unchanged", desktop.geometry(duel, env)[2:],
                         (width, height))
            checks.equal("the requests leave the frame in place", desktop.geometry(frame, env)[:2],
                         (frame_x, frame_y))

            # Very Easy from the Skill menu, then Start; nobody presses ZIB!,
            # so the computer wins.
            desktop.run(["xdotool", "mousemove", "--window", str(duel), "20", str(menu_bar // 2), "click", "1"], env)
            desktop.wait_for("the Skill menu open", lambda: len(desktop.visible_windows(game.pid, env)) > 1)
            desktop.run(["xdotool", "key", "Down", "Return"], env)
            desktop.wait_for("the Skill menu closed", lambda: desktop.visible_windows(game.pid, env) == [duel])
            # The result windows hidden at start-up reset the duel window a
            # second later, cutting off a duel begun before. Start is pressed
            # every half second until a result shows, for up to 7.5 s: while
            # a duel runs the button is disabled and a press does nothing.
            result = []
            for presses in range(1, 16):
                desktop.run(["xdotool", "mousemove", "--window", str(duel), str(START[0]),
                             str(menu_bar + START[1]), "click", "1"], env)
                result = desktop.eventually(lambda: [w for w in desktop.visible_windows(game.pid, env) if w != duel],
                                            timeout=0.5)
                if result:
                    break
            print(f"Start pressed {presses} time(s)", flush=True)
            result = result[0]
            rx, ry, rwidth, rheight = desktop.geometry(result, env)
            checks.equal("the result window is the loss window's size", (rwidth, rheight), (268, 121))
            checks.equal("the result window has no frame", desktop.geometry(desktop.frame_of(result, env), env),
                         (rx, ry, rwidth, rheight))
            checks.true("the result window is centred across the screen",
                        abs(2 * rx + rwidth - screen_width) <= 1, f"at x {rx}")
            checks.true("the result window is centred down the screen",
                        abs(2 * ry + rheight - screen_height) <= 1, f"at y {ry}")
            checks.true("the duel window is hidden under the result",
                        duel not in desktop.visible_windows(game.pid, env))

            desktop.wait_for("the duel window back", lambda: desktop.visible_windows(game.pid, env) == [duel],
                             timeout=5)
            frame = desktop.frame_of(duel, env)
            checks.equal("the duel window comes back in its place", desktop.geometry(frame, env),
                         (frame_x, frame_y, frame_width, frame_height))
            active = lambda: desktop.run(["xdotool", "getactivewindow"], env, check=False).strip() == str(duel)
            checks.true("the duel window is the active window", desktop.eventually(active))

            desktop.run(["wmctrl", "-i", "-c", str(duel)], env)
            checks.equal("the window manager's close ends the game with status 0", desktop.ended(game), 0)


if __name__ == "__main__":
    desktop.main(test)
