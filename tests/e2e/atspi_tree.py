#!/usr/bin/python3
# Prints what a screen reader sees of process PID, one node a line, tab-separated: depth, role,
# name, states, description, value (sliders) and text (text boxes).
# usage: atspi_tree.py PID SECONDS (waits that long for the process to show a window)
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
    desktop.clear_cache()  # refreshed only by events, and this script has no main loop
    apps = (desktop.get_child_at_index(i) for i in range(desktop.get_child_count()))
    return next((a for a in apps if a and a.get_process_id() == pid and a.get_child_count()), None)


def walk(node, depth):
    value, text = node.get_value_iface(), node.get_text_iface()
    fields = [str(depth), node.get_role_name(), node.get_name(),
              ",".join(s.value_nick for s in node.get_state_set().get_states()),
              node.get_description(), "" if value is None else f"{value.get_current_value():g}",
              "" if text is None else text.get_text(0, text.get_character_count())]
    print("\t".join((f or "").replace("\t", " ").replace("\n", " ") for f in fields))
    for child in (node.get_child_at_index(i) for i in range(node.get_child_count())):
        if child is not None:
            walk(child, depth + 1)


pid, seconds = int(sys.argv[1]), float(sys.argv[2])
signal.alarm(int(seconds) + 30)  # a D-Bus call to a hung application would block for good
Atspi.init()
deadline = time.monotonic() + seconds
while True:
    try:
        app = find_application(pid)
    except GLib.Error:
        app = None  # the application is still registering
    if app is not None:
        sys.exit(walk(app, 0))
    if time.monotonic() > deadline:
        sys.exit(f"process {pid} did not appear on the AT-SPI desktop")
    time.sleep(0.2)
