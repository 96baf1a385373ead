# SPDX-License-Identifier: MIT
"""Private desktops for the end-to-end tests: an X server, a window manager,
an accessibility bus or a Wayland compositor of their own, and the game as
shipped running on them. Whatever is started here is stopped again however
the test ends, and nothing is written outside a temporary directory."""

import contextlib
import ctypes
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import traceback

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _die_with_test():
    # Should the test itself be killed (a CTest timeout), what it started
    # goes with it.
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


def start(args, env, **kwargs):
    """Starts a helper program that ends when the test does."""
    return subprocess.Popen(args, env=env, preexec_fn=_die_with_test, **kwargs)


def stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def eventually(probe, done=bool, timeout=3.0, interval=0.02):
    """Polls `probe` until `done` holds for what it gives or the time is up,
    and returns what it gave last, for a check to judge."""
    deadline = time.monotonic() + timeout
    while not done(value := probe()) and time.monotonic() <= deadline:
        time.sleep(interval)
    return value


def wait_for(what, probe, timeout=10.0, interval=0.02):
    """Polls `probe` until it gives something true, and returns that."""
    value = eventually(probe, timeout=timeout, interval=interval)
    if not value:
        raise TimeoutError(f"gave up waiting for {what} after {timeout} s")
    return value


def run(args, env, check=True):
    """Runs a command line tool and returns what it printed."""
    result = subprocess.run(args, env=env, capture_output=True, text=True, timeout=30)
    if check and result.returncode != 0:
        raise RuntimeError(f"{' '.join(args)} failed ({result.returncode}): {result.stderr.strip()}")
    return result.stdout


class Checks:
    """One line per fact, so that a failure names what broke; the test goes
    on after a failed check and fails at the end."""

    def __init__(self):
        self.failures = []

    def _record(self, fact, ok, detail):
        print(f"{'ok' if ok else 'FAIL'}: {fact}{'' if ok else ': ' + detail}", flush=True)
        if not ok:
            self.failures.append(fact)

    def equal(self, fact, actual, expected):
        self._record(fact, actual == expected, f"got {actual!r}, expected {expected!r}")

    def near(self, fact, actual, expected, tolerance):
        self._record(fact, abs(actual - expected) <= tolerance,
                     f"got {actual}, expected {expected} within {tolerance}")

    def true(self, fact, value, detail=""):
        self._record(fact, bool(value), detail or f"got {value!r}")

    def status(self):
        if self.failures:
            print(f"{len(self.failures)} check(s) failed: " + "; ".join(self.failures), flush=True)
        return 1 if self.failures else 0


def main(test):
    """Runs `test(zib, checks)` with the game's path from the command line;
    an error on the way (a timeout, a tool failing) fails the test too."""
    checks = Checks()
    try:
        test(sys.argv[1], checks)
    except Exception as error:  # noqa: BLE001 - any failure ends the story
        traceback.print_exc()
        checks.true(f"the story ran to its end ({type(error).__name__}: {error})", False)
    sys.exit(checks.status())


@contextlib.contextmanager
def session():
    """An environment of its own: a temporary home and runtime directory, and
    none of the caller's display, Wayland or Qt platform settings."""
    with tempfile.TemporaryDirectory(prefix="zib-e2e-") as home:
        runtime = os.path.join(home, "runtime")
        os.mkdir(runtime, 0o700)
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XAUTHORITY",
                            "XDG_SESSION_TYPE", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON")}
        env.update(HOME=home, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=os.path.join(home, "config"),
                   XDG_CACHE_HOME=os.path.join(home, "cache"), XDG_DATA_HOME=os.path.join(home, "data"),
                   GSETTINGS_BACKEND="memory")
        yield env


@contextlib.contextmanager
def x_server(env, width=1280, height=1024):
    """A virtual X server on a display number it picks itself, so that tests
    running side by side never meet; DISPLAY is set in `env`."""
    read, write = os.pipe()
    server = start(["Xvfb", "-displayfd", str(write), "-screen", "0", f"{width}x{height}x24",
                    "-nolisten", "tcp", "-noreset"], env, pass_fds=(write,),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    try:
        with os.fdopen(read) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        env["DISPLAY"] = f":{number}"
        yield env["DISPLAY"]
    finally:
        stop(server)


@contextlib.contextmanager
def window_manager(env):
    """Openbox, ready once it has announced itself on the root window."""
    manager = start(["openbox", "--sm-disable"], env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_for("the window manager",
                 lambda: "window id" in run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env, check=False))
        yield manager
    finally:
        stop(manager)


@contextlib.contextmanager
def accessibility_bus(env):
    """The accessibility bus on the session bus this test runs in, switched
    on as a desktop does it (through org.a11y.Status IsEnabled), and a
    screen reader's view of it."""
    if "DBUS_SESSION_BUS_ADDRESS" not in env:
        raise RuntimeError("needs a session bus of its own: run under dbus-run-session")
    launcher = start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env,
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        enable = ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                  "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
                  "variant:boolean:true"]
        wait_for("the accessibility bus", lambda: subprocess.run(
            enable, env=env, capture_output=True, timeout=10).returncode == 0)
        # The library finds the accessibility bus through the session bus.
        os.environ.update(env)
        yield ScreenReader()
    finally:
        stop(launcher)


class ScreenReader:
    """A program's windows as a screen reader finds them through AT-SPI. What
    the library remembers of an element is refreshed only by events nobody
    here listens to, so each look asks the program afresh."""

    def __init__(self):
        import pyatspi
        from gi.repository import GLib
        self.at, self._gone = pyatspi, GLib.Error

    def children(self, node):
        node.clear_cache()
        return [child for child in node if child is not None]

    def has(self, node, state):
        node.clear_cache()
        return node.getState().contains(state)

    def walk(self, node, depth=0):
        """Every element from `node` down, each with its depth."""
        yield node, depth
        for child in self.children(node):
            yield from self.walk(child, depth + 1)

    def find(self, root, role, name=None):
        return [n for n, _ in self.walk(root) if n.getRole() == role and name in (None, n.name)]

    def press(self, node):
        action = node.queryAction()
        action.doAction([action.getName(i) for i in range(action.nActions)].index("Press"))

    def application(self, pid):
        return next((a for a in self.children(self.at.Registry.getDesktop(0)) if a.get_process_id() == pid), None)

    def window(self, pid, name):
        """The program's top-level window of that name, if it is on show. Qt
        gives every top-level window the role AT-SPI calls a frame."""
        try:
            app = self.application(pid)
            found = [w for w in self.children(app) if w.getRole() == self.at.ROLE_FRAME and w.name == name] \
                if app else []
            return found[0] if found and self.has(found[0], self.at.STATE_SHOWING) else None
        except self._gone:
            return None  # a window going as it was looked at


@contextlib.contextmanager
def wayland_compositor(env):
    """Weston on its headless back end, with its socket in the private
    runtime directory; WAYLAND_DISPLAY is set in `env`."""
    socket = f"zib-{os.getpid()}"
    compositor = start(["weston", "--backend=headless-backend.so", f"--socket={socket}", "--idle-time=0"],
                       env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_for("the Wayland compositor",
                 lambda: os.path.exists(os.path.join(env["XDG_RUNTIME_DIR"], socket)))
        env["WAYLAND_DISPLAY"] = socket
        yield socket
    finally:
        stop(compositor)


@contextlib.contextmanager
def game(zib, env):
    """The game as shipped; it is still running or has ended when the block
    ends, and is stopped if it has not."""
    process = start([zib], env)
    try:
        yield process
    finally:
        stop(process)


def ended(process, timeout=10.0):
    """The game's exit status once it has ended, or None."""
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


# Reading X windows through the usual tools.

def geometry(window, env):
    """A window's absolute position and size, (x, y, width, height)."""
    info = run(["xwininfo", "-id", str(window)], env)
    field = lambda name: int(re.search(rf"{name}:\s+(-?\d+)", info).group(1))
    return (field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height"))


def frame_of(window, env):
    """The window the window manager draws around `window`: its ancestor
    just below the root window (the window itself where there is none)."""
    while True:
        tree = run(["xwininfo", "-tree", "-id", str(window)], env)
        root = re.search(r"Root window id: (0x[0-9a-f]+)", tree).group(1)
        parent = re.search(r"Parent window id: (0x[0-9a-f]+)", tree).group(1)
        if parent == root:
            return window
        window = int(parent, 16)


def screen_size(env):
    info = run(["xwininfo", "-root"], env)
    return (int(re.search(r"Width:\s+(\d+)", info).group(1)), int(re.search(r"Height:\s+(\d+)", info).group(1)))


def caught_up(window, env):
    """Waits until the window manager has acted on every request made so far,
    even one it refused, which leaves no trace: it takes requests in order,
    so once it has flipped the window's "above" state, asked for after them,
    it has taken them too."""
    above = lambda: "_NET_WM_STATE_ABOVE" in run(["xprop", "-id", str(window), "_NET_WM_STATE"], env, check=False)
    before = above()
    run(["wmctrl", "-i", "-r", str(window), "-b", "toggle,above"], env)
    wait_for("the window manager to catch up", lambda: above() != before)


def visible_windows(pid, env):
    """The game's windows that are on the screen."""
    out = run(["xdotool", "search", "--onlyvisible", "--pid", str(pid), "."], env, check=False)
    return [int(line) for line in out.split()]


def title(window, env):
    out = run(["xprop", "-id", str(window), "_NET_WM_NAME"], env, check=False)
    match = re.search(r'= "(.*)"', out)
    return match.group(1) if match else None
