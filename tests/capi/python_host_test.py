"""python_host_test.py SANDBOX: examples/python_host.py against a sandbox of its own, on
a display, clicked as a person does through the display server (XTest): start-up, the
badge, both full-screen ads from the host's buttons to their close from the title bar's
back button, and the host window's close. Checks the callback sequence and that the
sandbox counted the badge's impression once."""
import ctypes
import json
import os
import pathlib
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.request

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "examples"))

# The title bar's back button of a full-screen ad, in the host view's points: a 44-point
# square at the left of the bar under the 20-point status bar.
BACK_BUTTON = (24, 42)


class Person:
    """Moves the display's pointer and clicks, as a real mouse would."""

    def __init__(self):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(None)
        if not self.display:
            raise SystemExit("no X display")

    def click(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.display, -1, int(x), int(y), 0)
        self.xtst.XTestFakeButtonEvent(self.display, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.display, 1, 0, 30)
        self.x11.XFlush(self.display)


def start_sandbox(binary, state):
    proc = subprocess.Popen([binary, "--port", "0", "--state", state], stdout=subprocess.PIPE, text=True)
    line = proc.stdout.readline().split()
    if len(line) != 3 or line[0] != "listening":
        proc.kill()
        raise SystemExit(f"the sandbox did not start: {line}")
    return proc, line[1], line[2][len("ca="):]


def main():
    with tempfile.TemporaryDirectory() as tmp:
        sandbox, base, ca = start_sandbox(sys.argv[1], os.path.join(tmp, "sandbox"))
        try:
            # The library's and the engine's files stay in the test's own directory.
            for name in ("QVAD_DATA_DIR", "QVAD_DOCUMENTS_DIR", "XDG_CACHE_HOME", "XDG_DATA_HOME"):
                os.environ[name] = os.path.join(tmp, name.lower())
            os.environ["QVAD_API_BASE_URL"], os.environ["QVAD_CA_FILE"] = base, ca
            return run(base, ca)
        finally:
            sandbox.terminate()
            sandbox.wait()


def run(base, ca):
    import python_host  # noqa: E402 (after the environment is set)
    from gi.repository import GLib, Gtk

    # An instrumented library is preloaded into this interpreter only, not into the
    # engine's processes.
    os.environ.pop("LD_PRELOAD", None)

    events = []

    def recorded(event, error=None):
        events.append(event)
        print(f"{event}: {error.code} {error.description}" if error else event, flush=True)

    python_host.said = recorded
    person = Person()
    app = python_host.PythonHost("demo-app", "demo-secret")

    def click_widget(widget):
        x, y = widget.translate_coordinates(app.window, widget.get_allocated_width() // 2,
                                            widget.get_allocated_height() // 2)
        ox, oy = app.window.get_window().get_origin()[1:]
        person.click(ox + x, oy + y)

    def click_window_point(point):
        ox, oy = app.window.get_window().get_origin()[1:]
        person.click(ox + point[0], oy + point[1])

    def happened(event):
        return lambda: event in events

    def wait(seconds):
        end = time.monotonic() + seconds
        return lambda: time.monotonic() >= end

    # Each step: what to do, then what must happen within how many seconds.
    steps = [
        (None, lambda: all(e in events for e in ("started", "badge shown", "reward video loaded",
                                                 "interstitial loaded")), 40),
        (None, wait(0.5), 1),
        (lambda: click_widget(app.reward_button), happened("reward video shown"), 40),
        (None, wait(1.0), 2),  # the presentation's animation
        (lambda: click_window_point(BACK_BUTTON), happened("reward video closed"), 15),
        (None, wait(0.5), 1),
        (lambda: click_widget(app.interstitial_button), happened("interstitial shown"), 40),
        (None, wait(1.0), 2),
        (lambda: click_window_point(BACK_BUTTON), happened("interstitial closed"), 15),
        (None, wait(0.3), 1),
    ]
    state = {"step": -1, "deadline": 0.0, "failure": None}

    def advance():
        if state["step"] >= 0:
            _, done, _ = steps[state["step"]]
            if not done():
                if time.monotonic() < state["deadline"]:
                    return True
                state["failure"] = f"step {state['step']} did not complete; events: {events}"
                app.window.destroy()
                return False
        state["step"] += 1
        if state["step"] == len(steps):
            app.window.destroy()  # the host's close: ads, then the host window, are released
            return False
        action, _, seconds = steps[state["step"]]
        if action:
            action()
        state["deadline"] = time.monotonic() + seconds
        return True

    GLib.timeout_add(20, advance)
    Gtk.main()

    if state["failure"]:
        print(state["failure"], file=sys.stderr)
        return 1
    order = ["started", "reward video loaded", "reward video shown", "reward video closed", "interstitial shown",
             "interstitial closed"]
    positions = [events.index(e) for e in order]
    if positions != sorted(positions):
        print(f"callbacks out of order: {events}", file=sys.stderr)
        return 1
    if any("failed" in e for e in events):
        print(f"a failure was reported: {events}", file=sys.stderr)
        return 1
    context = ssl.create_default_context(cafile=ca)
    with urllib.request.urlopen(f"{base}/_sandbox/counts", context=context, timeout=10) as reply:
        counts = json.load(reply)
    if counts.get("impl", {}).get("badge") != 1:
        print(f"the sandbox counted {counts}, not one impression", file=sys.stderr)
        return 1
    try:
        app.reward.load()
    except ValueError:
        pass  # released with the window, as the binding promises
    else:
        print("a released ad still took calls", file=sys.stderr)
        return 1
    print(f"python host: {len(events)} callbacks in order; impressions {counts['impl']}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
