# SPDX-License-Identifier: MIT
"""The game where Wayland is the only display (weston's headless back end,
no X server): it starts, and its duel window reaches the accessibility bus,
on show, as a frame named "Zib!". Where the window goes is the compositor's
business, so it is not looked at."""

import desktop


def test(zib, checks):
    with desktop.session() as env, desktop.wayland_compositor(env), desktop.accessibility_bus(env) as reader, \
            desktop.game(zib, env) as game:
        checks.true('the duel window on show, a frame named "Zib!"',
                    desktop.eventually(lambda: reader.window(game.pid, "Zib!"), timeout=15))


if __name__ == "__main__":
    desktop.main(test)
