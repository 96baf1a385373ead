# SPDX-License-Identifier: MIT
"""The game where Wayland is the only display (weston's headless back end,
no X server): it starts, its duel window reaches the accessibility bus as a
frame named "Zib!", and Quit, pressed through that bus, ends it with status
0. Where the window goes is the compositor's business, so it is not looked
at."""

import os

import desktop


def test(zib, checks):
    with desktop.session() as env, desktop.wayland_compositor(env), desktop.accessibility_bus(env):
        os.environ.update(env)
        import pyatspi

        def children(node):
            node.clear_cache()
            return [child for child in node if child is not None]

        def frame():
            for app in children(pyatspi.Registry.getDesktop(0)):
                if app.get_process_id() == game.pid:
                    found = [w for w in children(app) if w.getRole() == pyatspi.ROLE_FRAME and w.name == "Zib!"]
                    return found[0] if found else None
            return None

        def find(node, role, name):
            if node.getRole() == role and node.name == name:
                return node
            for child in children(node):
                found = find(child, role, name)
                if found:
                    return found
            return None

        with desktop.game(zib, env) as game:
            window = desktop.wait_for('a frame named "Zib!"', frame, timeout=15)
            checks.true("the game is running", game.poll() is None)
            checks.true("the duel window is on show", window.getState().contains(pyatspi.STATE_SHOWING))
            quit_item = find(window, pyatspi.ROLE_MENU_ITEM, "Quit")
            checks.true("the menu bar offers Quit", quit_item is not None)
            action = quit_item.queryAction()
            action.doAction([action.getName(i) for i in range(action.nActions)].index("Press"))
            checks.equal("Quit ends the game with status 0", desktop.ended(game), 0)


if __name__ == "__main__":
    desktop.main(test)
