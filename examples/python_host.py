#!/usr/bin/python3
"""python_host.py [--key K] [--secret S] [--quit-after SECONDS]: a PyGObject GTK window
hosting qvad's three ad formats through the Python binding (bindings/python/qvad.py).
Gtk.main() runs the library; every callback prints one line. The ad platform comes from
QVAD_API_BASE_URL and QVAD_CA_FILE; the library from QVAD_LIBRARY or the loader's path."""
import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "bindings", "python"))

import gi  # noqa: E402

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402

import qvad  # noqa: E402


def said(event, error=None):
    print(f"{event}: {error.code} {error.description}" if error else event, flush=True)


class PythonHost:
    def __init__(self, key, secret):
        self.window = Gtk.Window(title="Python host")
        self.window.set_default_size(480, 640)
        box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=12, margin=20)
        self.status = Gtk.Label(label="starting")
        self.reward_button = Gtk.Button(label="Watch a video", sensitive=False)
        self.interstitial_button = Gtk.Button(label="Interstitial", sensitive=False)
        text = Gtk.TextView()
        text.get_buffer().set_text("A GTK window of a Python program; qvad's ads show over it.")
        box.pack_start(text, True, True, 0)
        for w in (self.reward_button, self.interstitial_button, self.status):
            box.pack_start(w, False, False, 0)
        self.window.add(box)
        self.window.connect("destroy", lambda _w: self.close())
        self.window.show_all()

        self.host = qvad.Host.attach_gtk(self.window)
        self.reward = qvad.RewardAd(
            "reward-1",
            did_load=lambda ad: self.ready(self.reward_button, "reward video loaded"),
            did_fail=lambda ad, e: self.event("reward video failed to load", e),
            did_show=lambda ad, e: self.event("reward video failed to show" if e else "reward video shown", e),
            complete=lambda ad: self.event("reward granted"),
            did_close=lambda ad: self.event("reward video closed"))
        self.interstitial = qvad.InterstitialAd(
            "interstitial-1",
            did_load=lambda ad: self.ready(self.interstitial_button, "interstitial loaded"),
            did_fail=lambda ad, e: self.event("interstitial failed to load", e),
            did_show=lambda ad, e: self.event("interstitial failed to show" if e else "interstitial shown", e),
            did_close=lambda ad: self.event("interstitial closed"))
        self.reward_button.connect("clicked", lambda _b: self.reward.show(self.host))
        self.interstitial_button.connect("clicked", lambda _b: self.interstitial.show(self.host))
        qvad.start(key, secret, self.started)

    def event(self, text, error=None):
        said(text, error)
        self.status.set_text(text)

    def ready(self, button, text):
        button.set_sensitive(True)
        self.event(text)

    def started(self, error):
        if error:
            self.event("start failed", error)
            return
        self.event("started")
        qvad.show_floating_ad(self.host, shown=lambda: self.event("badge shown"),
                              clicked=lambda: self.event("badge clicked"), closed=lambda: self.event("badge closed"),
                              failed=lambda e: self.event("badge failed", e))
        self.reward.load()
        self.interstitial.load()

    def close(self):
        # Ads first, then the host window: its release closes what is still up.
        self.reward.close()
        self.interstitial.close()
        self.host.close()
        Gtk.main_quit()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--key", default="demo-app")
    parser.add_argument("--secret", default="demo-secret")
    parser.add_argument("--quit-after", type=float, default=0, help="close the window after SECONDS (0: never)")
    args = parser.parse_args()
    print(f"qvad {qvad.version()}", flush=True)
    app = PythonHost(args.key, args.secret)
    if args.quit_after > 0:
        GLib.timeout_add(int(args.quit_after * 1000), lambda: app.window.destroy() and False)
    Gtk.main()


if __name__ == "__main__":
    main()
