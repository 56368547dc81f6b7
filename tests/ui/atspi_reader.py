#!/usr/bin/python3
"""Reads a running program's accessible objects over the AT-SPI bus, as a screen reader
does, and prints them as one JSON document. Optionally moves the focus to, or presses,
objects found by name first (each NAME once, in the order given).

usage: atspi_reader.py PID [--focus NAME] [--press NAME] ... [--wait SECONDS]
"""
import json
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

MAX_NODES = 3000
MAX_DEPTH = 40


def find_application(pid, wait_s):
    end = time.monotonic() + wait_s
    while True:
        desktop = Atspi.get_desktop(0)
        for i in range(min(desktop.get_child_count(), 200)):
            app = desktop.get_child_at_index(i)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except GLib.Error:
                pass
        if time.monotonic() > end:
            return None
        time.sleep(0.2)


def safe(call, default=None):
    try:
        return call()
    except GLib.Error:
        return default


def describe(node):
    states = safe(lambda: node.get_state_set().get_states(), [])
    labelled_by = []
    for relation in safe(node.get_relation_set, []) or []:
        if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY:
            for i in range(relation.get_n_targets()):
                labelled_by.append(safe(relation.get_target(i).get_name, ""))
    actions = []
    if safe(node.get_action_iface) is not None:
        for i in range(min(safe(node.get_n_actions, 0), 20)):
            actions.append(safe(lambda: node.get_action_name(i), ""))
    return {
        "role": safe(node.get_role_name, ""),
        "name": safe(node.get_name, ""),
        "description": safe(node.get_description, ""),
        "states": sorted(s.value_nick for s in states),
        "labelledBy": labelled_by,
        "actions": actions,
    }


def walk(root):
    found = []
    stack = [(root, 0)]
    while stack and len(found) < MAX_NODES:
        node, depth = stack.pop()
        if node is None:
            continue
        found.append((node, describe(node)))
        if depth >= MAX_DEPTH:
            continue
        count = min(safe(node.get_child_count, 0), 500)
        children = [safe(lambda i=i: node.get_child_at_index(i)) for i in range(count)]
        stack.extend((child, depth + 1) for child in reversed(children))
    return found


def main(argv):
    pid = int(argv[1])
    steps = []
    wait_s = 20.0
    i = 2
    while i < len(argv):
        if argv[i] in ("--focus", "--press") and i + 1 < len(argv):
            steps.append((argv[i][2:], argv[i + 1]))
            i += 2
        elif argv[i] == "--wait" and i + 1 < len(argv):
            wait_s = float(argv[i + 1])
            i += 2
        else:
            print("bad argument: " + argv[i], file=sys.stderr)
            return 2
    # Each call to the program is bounded: a program that stops answering fails the read.
    Atspi.set_timeout(5000, 5000)
    app = find_application(pid, wait_s)
    if app is None:
        print("no accessible application with process id %d" % pid, file=sys.stderr)
        return 1
    nodes = walk(app)
    done = []
    for what, name in steps:
        node = next((n for n, d in nodes if d["name"] == name), None)
        if node is None:
            print("no object named " + name, file=sys.stderr)
            return 1
        if what == "focus":
            ok = safe(lambda: node.grab_focus(), False)
        else:
            names = [safe(lambda k=k: node.get_action_name(k), "") for k in range(safe(node.get_n_actions, 0))]
            index = names.index("Press") if "Press" in names else None
            ok = index is not None and safe(lambda: node.do_action(index), False)
        done.append({"step": what, "name": name, "ok": bool(ok)})
    json.dump({"nodes": [d for _, d in nodes], "steps": done}, sys.stdout, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
