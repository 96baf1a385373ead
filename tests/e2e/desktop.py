# SPDX-License-Identifier: MIT
"""Private desktops for the end-to-end tests, each with an accessibility bus,
and the game as shipped on them. Whatever is started here is stopped again
however the test ends; nothing is written outside a temporary directory."""

import contextlib
import ctypes
import functools
import os
import signal
import subprocess
import sys
import tempfile
import time
import traceback

# Should the test itself be killed (a CTest timeout), what it started goes
# with it: PR_SET_PDEATHSIG (1) sends it SIGTERM.
_die_with_test = functools.partial(ctypes.CDLL(None).prctl, 1, signal.SIGTERM)


@contextlib.contextmanager
def running(what, args, env, ready=lambda: True, quiet=True, **kwargs):
    """A program started for the test, once `ready()` holds; stopped when the
    block ends, if it has not ended by then."""
    output = subprocess.DEVNULL if quiet else None
    process = subprocess.Popen(args, env=env, preexec_fn=_die_with_test, stdout=output, stderr=output, **kwargs)
    try:
        eventually(ready, 10, waiting_for=what)
        yield process
    finally:
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


def eventually(probe, timeout=3.0, interval=0.02, waiting_for=None):
    """Polls `probe` until it gives something true or the time is up, and
    returns what it gave last; giving up on what it was `waiting_for` fails."""
    deadline = time.monotonic() + timeout
    while not (value := probe()) and time.monotonic() <= deadline:
        time.sleep(interval)
    if waiting_for and not value:
        raise TimeoutError(f"gave up waiting for {waiting_for} after {timeout} s")
    return value


def run(args, env):
    """Runs a command line tool and returns what it printed."""
    return subprocess.run(args, env=env, capture_output=True, text=True, timeout=30).stdout


# One line per fact, so that a failure names what broke; a test goes on after
# a failed check and fails at the end.
failures = []


def check(fact, ok, detail=""):
    print(f"{'ok' if ok else 'FAIL'}: {fact}{'' if ok else f': {detail or ok!r}'}", flush=True)
    if not ok:
        failures.append(fact)


def equal(fact, actual, expected):
    check(fact, actual == expected, f"got {actual!r}, expected {expected!r}")


def main(stories):
    """Plays the story named on the command line with the game's path after
    it; an error on the way (a timeout, a tool failing) fails the test too."""
    try:
        stories[sys.argv[1]](sys.argv[2])
    except Exception as error:  # noqa: BLE001 - any failure ends the story
        traceback.print_exc()
        check(f"the story ran to its end ({type(error).__name__}: {error})", False)
    print(f"{len(failures)} check(s) failed: " + "; ".join(failures) if failures else "all checks passed", flush=True)
    sys.exit(1 if failures else 0)


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
def x_server(env, size):
    """A virtual X server of that size, on a display number it picks itself,
    so that tests running side by side never meet, and a window manager
    (openbox) on it, ready once it has announced itself on the root window."""
    read, write = os.pipe()
    with running("the X server", ["Xvfb", "-displayfd", str(write), "-screen", "0", "%dx%dx24" % size,
                                  "-nolisten", "tcp", "-noreset"], env, pass_fds=(write,)):
        os.close(write)
        with os.fdopen(read) as pipe:
            env["DISPLAY"] = ":" + pipe.readline().strip()
        managed = lambda: "window id" in run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env)
        with running("the window manager", ["openbox", "--sm-disable"], env, ready=managed):
            yield


@contextlib.contextmanager
def wayland_compositor(env):
    """Weston on its headless back end, with its socket in the private
    runtime directory; WAYLAND_DISPLAY is set in `env`."""
    env["WAYLAND_DISPLAY"] = f"zib-{os.getpid()}"
    socket = os.path.join(env["XDG_RUNTIME_DIR"], env["WAYLAND_DISPLAY"])
    with running("the Wayland compositor", ["weston", "--backend=headless-backend.so",
                                            f"--socket={env['WAYLAND_DISPLAY']}", "--idle-time=0"],
                 env, ready=lambda: os.path.exists(socket)):
        yield


@contextlib.contextmanager
def screen_reader(env):
    """The accessibility bus on the session bus this test runs in (under
    dbus-run-session), switched on as a desktop does it, through
    org.a11y.Status IsEnabled, and a screen reader's view of it."""
    enable = ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
              "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
              "variant:boolean:true"]
    with running("the accessibility bus", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env,
                 ready=lambda: subprocess.run(enable, env=env, capture_output=True, timeout=10).returncode == 0):
        # The library finds the accessibility bus through the session bus.
        os.environ.update(env)
        yield ScreenReader()


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

    def find(self, node, role):
        """Every element of that role from `node` down, by name."""
        found = {node.name: node} if node.getRole() == role else {}
        for child in self.children(node):
            found.update(self.find(child, role))
        return found

    def press(self, node):
        action = node.queryAction()
        action.doAction([action.getName(i) for i in range(action.nActions)].index("Press"))

    def extents(self, node):
        """Where the element lies on the screen: x, y, width, height."""
        node.clear_cache()
        return tuple(node.queryComponent().getExtents(self.at.DESKTOP_COORDS))

    def window(self, pid, name):
        """The program's top-level window of that name, if it is on show. Qt
        gives every top-level window the role AT-SPI calls a frame."""
        try:
            app = next((a for a in self.children(self.at.Registry.getDesktop(0)) if a.get_process_id() == pid), None)
            found = [w for w in self.children(app) if w.getRole() == self.at.ROLE_FRAME and w.name == name] \
                if app else []
            return found[0] if found and self.has(found[0], self.at.STATE_SHOWING) else None
        except self._gone:
            return None  # a window going as it was looked at
