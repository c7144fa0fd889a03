#!/usr/bin/python3
"""Prints the accessibility tree a screen reader sees for one process, one node a line:
depth, role, name, states, description, value (sliders) and text (text boxes), separated
by tabs.

usage: atspi_tree.py PID SECONDS
Waits up to SECONDS for the process to appear on the AT-SPI desktop with a window in it.
"""
import signal
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

# Debian 12's get_value_iface and get_text_iface warn in favour of names it does not have.
warnings.simplefilter("ignore", DeprecationWarning)


def find_application(pid):
    desktop = Atspi.get_desktop(0)
    # The desktop's list of applications is cached and only refreshed by events this
    # script has no main loop to receive.
    desktop.clear_cache()
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_process_id() == pid and app.get_child_count() > 0:
            return app
    return None


def clean(text):
    return (text or "").replace("\t", " ").replace("\n", " ")


def walk(node, depth):
    states = [s.value_nick for s in node.get_state_set().get_states()]
    name = clean(node.get_name())
    description = clean(node.get_description())
    value = node.get_value_iface()
    value = "" if value is None else f"{value.get_current_value():g}"
    text = node.get_text_iface()
    text = "" if text is None else clean(text.get_text(0, text.get_character_count()))
    print(f"{depth}\t{node.get_role_name()}\t{name}\t{','.join(states)}"
          f"\t{description}\t{value}\t{text}")
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            walk(child, depth + 1)


def main():
    pid, seconds = int(sys.argv[1]), float(sys.argv[2])
    # A D-Bus call to a hung application would otherwise block for good.
    signal.alarm(int(seconds) + 30)
    Atspi.init()
    deadline = time.monotonic() + seconds
    app = None
    while app is None:
        try:
            app = find_application(pid)
        except GLib.Error:
            app = None  # the application is still registering
        if app is None:
            if time.monotonic() > deadline:
                print(f"process {pid} did not appear on the AT-SPI desktop", file=sys.stderr)
                return 1
            time.sleep(0.2)
    walk(app, 0)
    return 0


if __name__ == "__main__":
    sys.exit(main())
