# SPDX-License-Identifier: MIT
"""The game as a screen reader meets it, through AT-SPI itself: the duel
window as a frame named "Zib!", its buttons with their sensitive states at
idle and at the draw, the skill items with their check marks, the labels on
show, and a duel played by accessible actions alone, ending in the win
window. Runs on a private session bus (dbus-run-session) with the
accessibility bus switched on as a desktop does it."""

import os
import time

import desktop

SKILLS = ["Very Easy", "Easy", "Medium", "Hard", "Very Hard"]
BUTTONS = ["ZIB!", "Start", "Stop"]


def test(zib, checks):
    with desktop.session() as env, desktop.x_server(env), desktop.accessibility_bus(env):
        # The library finds the accessibility bus through the session bus.
        os.environ.update(env)
        import pyatspi
        from gi.repository import GLib

        def fresh(node):
            # What the library remembers of an element is refreshed only by
            # events nobody here listens to: ask the game each time.
            node.clear_cache()
            return node

        def states(node):
            return fresh(node).getState()

        def walk(node):
            yield node
            for child in fresh(node):
                if child is not None:
                    yield from walk(child)

        def find(root, role, name=None):
            return [n for n in walk(root) if n.getRole() == role and (name is None or n.name == name)]

        def press(node):
            action = node.queryAction()
            names = [action.getName(i) for i in range(action.nActions)]
            action.doAction(names.index("Press"))

        def application():
            for app in fresh(pyatspi.Registry.getDesktop(0)):
                if app is not None and app.get_process_id() == game.pid:
                    return app
            return None

        def window(role, name):
            try:
                app = application()
                found = [w for w in fresh(app) if w is not None and w.getRole() == role and w.name == name] \
                    if app else []
                return found[0] if found and states(found[0]).contains(pyatspi.STATE_SHOWING) else None
            except GLib.Error:
                return None  # a result window going as it was looked at

        with desktop.game(zib, env) as game:
            frame = desktop.wait_for('a frame named "Zib!"', lambda: window(pyatspi.ROLE_FRAME, "Zib!"))
            app = application()
            print("the tree as AT-SPI shows it:", flush=True)
            for node in walk(app):
                depth, parent = 0, node
                while parent is not None and parent != app:
                    parent, depth = parent.parent, depth + 1
                print(f"  {'  ' * depth}{node.getRoleName()} {node.name!r}", flush=True)

            checks.equal("the duel window is a frame", frame.getRoleName(), "frame")
            buttons = {b.name: b for b in find(frame, pyatspi.ROLE_PUSH_BUTTON)}
            checks.equal("the duel window's buttons", sorted(buttons), sorted(BUTTONS))
            menu_bar = find(frame, pyatspi.ROLE_MENU_BAR)
            checks.equal("the menu bar's items", [item.name for item in menu_bar[0]] if menu_bar else [],
                         ["Skill", "Quit"])
            items = {i.name: i for i in find(frame, pyatspi.ROLE_MENU_ITEM) if i.name in SKILLS}
            checks.equal("the skill items in order", [i.name for i in find(frame, pyatspi.ROLE_MENU_ITEM)
                                                     if i.name in SKILLS], SKILLS)

            sensitive = lambda name: states(buttons[name]).contains(pyatspi.STATE_SENSITIVE)
            checks.true("at idle Start is sensitive", sensitive("Start"))
            checks.true("at idle Stop is not sensitive", not sensitive("Stop"))
            checks.true("at idle ZIB! is not sensitive", not sensitive("ZIB!"))
            labels = find(frame, pyatspi.ROLE_LABEL)
            shown = sorted(l.name for l in labels if states(l).contains(pyatspi.STATE_VISIBLE))
            hidden = sorted(l.name for l in labels if not states(l).contains(pyatspi.STATE_VISIBLE))
            checks.equal("at idle the labels on show", shown, ["Opponent", "You"])
            checks.equal("at idle the labels hidden", hidden, ["Select a Skill Level!!", "ZIB!", "ZIB!"])

            checked = lambda: [n for n, i in items.items() if states(i).contains(pyatspi.STATE_CHECKED)]
            checks.equal("no skill item is checked at start-up", checked(), [])
            press(items["Medium"])
            desktop.wait_for("Medium checked", lambda: checked() == ["Medium"], timeout=3)
            press(items["Very Easy"])
            checks.equal("after choosing Very Easy only it is checked",
                         desktop.eventually(checked, lambda items: items == ["Very Easy"]), ["Very Easy"])

            # The draw comes 500 ms after Start, and at Very Easy the computer
            # takes 450 ms more: pressed as soon as it can be, ZIB! wins. A
            # duel still running when the start-up reset comes, a second after
            # start-up, is cut off: Start is back, and the duel is played again.
            # The press action holds a button down for a moment, so each one
            # is pressed once and then waited for.
            def draw():
                press(buttons["Start"])
                began = [False]

                def state():
                    if sensitive("ZIB!"):
                        return "draw"
                    began[0] = began[0] or sensitive("Stop")
                    return "cut off" if began[0] and sensitive("Start") else None

                try:
                    return desktop.wait_for("the draw, or Start back after the start-up reset", state,
                                            timeout=2, interval=0.005) == "draw"
                except TimeoutError:
                    return False  # begun and cut off between two looks

            win = None
            while win is None:
                desktop.wait_for("Start", lambda: sensitive("Start"), timeout=3)
                if not draw():
                    continue
                press(buttons["ZIB!"])
                checks.true("at the draw Start is not sensitive", not sensitive("Start"))
                checks.true("at the draw Stop is sensitive", sensitive("Stop"))
                # Qt gives every top-level window the role AT-SPI calls a frame.
                win = desktop.wait_for("the win window, or Start back after the start-up reset",
                                       lambda: window(pyatspi.ROLE_FRAME, "You Win!!!") or sensitive("Start"),
                                       timeout=5)
                win = None if win is True else win
            print(f"then: {win.getRoleName()} {win.name!r}", flush=True)
            checks.true("the duel window is hidden under the win window",
                        not states(frame).contains(pyatspi.STATE_SHOWING))
            desktop.wait_for("the duel window back", lambda: window(pyatspi.ROLE_FRAME, "Zib!"), timeout=5)
            desktop.wait_for("Start sensitive again", lambda: sensitive("Start"), timeout=3)
            checks.true("back at idle ZIB! is not sensitive", not sensitive("ZIB!"))
            checks.equal("the chosen skill survives the duel", checked(), ["Very Easy"])

            quit_item = [i for i in find(frame, pyatspi.ROLE_MENU_ITEM) if i.name == "Quit"]
            press(quit_item[0])
            checks.equal("Quit ends the game with status 0", desktop.ended(game), 0)


if __name__ == "__main__":
    desktop.main(test)
