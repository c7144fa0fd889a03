#!/usr/bin/python3
# Prints what a screen reader sees of process PID, one node a line, tab-separated: role, name,
# states and description.
# usage: atspi_tree.py PID SECONDS [BUTTON] (waits that long for the process to show a window;
# given the name of a push button, presses it instead, as a screen reader's user would)
import signal
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402


def find_application(pid):
    desktop = Atspi.get_desktop(0)
    desktop.clear_cache()  # refreshed only by events, and this script has no main loop
    apps = (desktop.get_child_at_index(i) for i in range(desktop.get_child_count()))
    return next((a for a in apps if a and a.get_process_id() == pid and a.get_child_count()), None)


def walk(node):
    states = ",".join(s.value_nick for s in node.get_state_set().get_states())
    line = f"{node.get_role_name()}\t{node.get_name()}\t{states}\t{node.get_description()}"
    print(line.replace("\n", " "))
    for child in (node.get_child_at_index(i) for i in range(node.get_child_count())):
        if child is not None:
            walk(child)


def button(node, name):
    if node.get_role_name() == "push button" and node.get_name() == name:
        return node
    children = (node.get_child_at_index(i) for i in range(node.get_child_count()))
    return next((b for b in (button(c, name) for c in children if c is not None) if b), None)


pid, seconds = int(sys.argv[1]), float(sys.argv[2])
press = sys.argv[3] if len(sys.argv) > 3 else None
signal.alarm(int(seconds) + 30)  # a D-Bus call to a hung application would block for good
Atspi.init()
deadline = time.monotonic() + seconds
while time.monotonic() < deadline:
    try:
        app = find_application(pid)
    except GLib.Error:
        app = None  # the application is still registering
    if app is not None and press is None:
        sys.exit(walk(app))
    if app is not None and button(app, press) is not None:
        sys.exit(not button(app, press).do_action(0))
    time.sleep(0.2)
sys.exit(f"process {pid} did not appear on the AT-SPI desktop")
