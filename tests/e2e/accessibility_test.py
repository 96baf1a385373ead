# SPDX-License-Identifier: MIT
"""The game as a screen reader meets it, through AT-SPI itself: the duel
window as a frame named "Zib!", its buttons with their sensitive states at
idle and at the draw, the skill items with their check marks, the labels on
show, and a duel played by accessible actions alone, ending in the win
window. Runs on a private session bus (dbus-run-session) with the
accessibility bus switched on as a desktop does it."""

import desktop

SKILLS = ["Very Easy", "Easy", "Medium", "Hard", "Very Hard"]
BUTTONS = ["ZIB!", "Start", "Stop"]


def test(zib, checks):
    with desktop.session() as env, desktop.x_server(env), desktop.accessibility_bus(env) as reader, \
            desktop.game(zib, env) as game:
        at = reader.at
        frame = desktop.wait_for('a frame named "Zib!"', lambda: reader.window(game.pid, "Zib!"))
        print("the tree as AT-SPI shows it:", flush=True)
        for node, depth in reader.walk(reader.application(game.pid)):
            print(f"  {'  ' * depth}{node.getRoleName()} {node.name!r}", flush=True)

        buttons = {b.name: b for b in reader.find(frame, at.ROLE_PUSH_BUTTON)}
        checks.equal("the duel window's buttons", sorted(buttons), sorted(BUTTONS))
        menu_bar = reader.find(frame, at.ROLE_MENU_BAR)
        checks.equal("the menu bar's items", [item.name for item in menu_bar[0]] if menu_bar else [],
                     ["Skill", "Quit"])
        items = {i.name: i for i in reader.find(frame, at.ROLE_MENU_ITEM) if i.name in SKILLS}
        checks.equal("the skill items in order", list(items), SKILLS)

        sensitive = lambda name: reader.has(buttons[name], at.STATE_SENSITIVE)
        checks.equal("at idle Start alone is sensitive", [b for b in BUTTONS if sensitive(b)], ["Start"])
        labels = reader.find(frame, at.ROLE_LABEL)
        shown = sorted(l.name for l in labels if reader.has(l, at.STATE_VISIBLE))
        hidden = sorted(l.name for l in labels if not reader.has(l, at.STATE_VISIBLE))
        checks.equal("at idle the labels on show", shown, ["Opponent", "You"])
        checks.equal("at idle the labels hidden", hidden, ["Select a Skill Level!!", "ZIB!", "ZIB!"])

        checked = lambda: [n for n, i in items.items() if reader.has(i, at.STATE_CHECKED)]
        checks.equal("no skill item is checked at start-up", checked(), [])
        reader.press(items["Medium"])
        desktop.wait_for("Medium checked", lambda: checked() == ["Medium"], timeout=3)
        reader.press(items["Very Easy"])
        checks.equal("after choosing Very Easy only it is checked",
                     desktop.eventually(checked, lambda items: items == ["Very Easy"]), ["Very Easy"])

        # The draw comes 500 ms after Start, and at Very Easy the computer
        # takes 450 ms more: pressed as soon as it can be, ZIB! wins. A duel
        # still running when the start-up reset comes, a second after
        # start-up, is cut off: Start is back, and the duel is played again.
        # The press action holds a button down for a moment, so each one is
        # pressed once and then waited for.
        def draw():
            reader.press(buttons["Start"])
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
            reader.press(buttons["ZIB!"])
            checks.true("at the draw Stop is sensitive, Start is not", sensitive("Stop") and not sensitive("Start"))
            win = desktop.wait_for("the win window, or Start back after the start-up reset",
                                   lambda: reader.window(game.pid, "You Win!!!") or sensitive("Start"), timeout=5)
            win = None if win is True else win
        checks.true("the duel window is hidden under the win window", not reader.has(frame, at.STATE_SHOWING))
        desktop.wait_for("the duel window back", lambda: reader.window(game.pid, "Zib!"), timeout=5)
        desktop.wait_for("Start sensitive again", lambda: sensitive("Start"), timeout=3)
        checks.equal("back at idle Start alone is sensitive", [b for b in BUTTONS if sensitive(b)], ["Start"])
        checks.equal("the chosen skill survives the duel", checked(), ["Very Easy"])


if __name__ == "__main__":
    desktop.main(test)
