#!/usr/bin/python3
"""Reads the program through the Linux accessibility bus, as a screen reader does.

Starts `kl516 --simulate`, triggers Data Logger > Load Data through the menu item's accessible
action, waits for the DataLogger window and reads the statistics panel's fields by their
accessible names. The expected figures come from the same simulated logger downloaded with
`kl516-cli download --simulate` and exported as text, computed here from the levels.

Usage: test_atspi.py KL516 KL516_CLI   (run inside tests/accessibility/run_atspi.sh)
"""
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

TIMEOUT = float(os.environ.get("KL516_ATSPI_TIMEOUT", "240"))


LOG = None  # the program's output, shown when the test fails


def fail(message):
    print("FAIL: " + message, flush=True)
    if LOG and os.path.exists(LOG):
        with open(LOG, errors="replace") as f:
            print("--- kl516 output (end) ---\n" + "".join(f.readlines()[-30:]), flush=True)
    sys.exit(1)


def poll(what, probe, timeout=TIMEOUT, interval=0.25):
    """Calls probe until it returns something other than None; fails after timeout seconds."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            found = probe()
        except Exception:  # the tree changes under the walk; try again
            found = None
        if found is not None:
            return found
        time.sleep(interval)
    fail("timed out waiting for " + what)


def children(node):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield child


def walk(node):
    yield node
    for child in children(node):
        yield from walk(child)


def find(root, name, role=None):
    for node in walk(root):
        if node.name == name and (role is None or node.getRoleName() == role):
            return node
    return None


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click", "Click"):
            try:
                action.doAction(i)
            except Exception:
                pass  # the press may keep the program busy past the bus's reply time
            return
    fail("%r has no press action" % node.name)


def expected_figures(cli, work):
    """The first data set of the simulated logger, computed from its exported levels."""
    rec = os.path.join(work, "logger.rec")
    out = os.path.join(work, "set1.txt")
    subprocess.run([cli, "download", "--simulate", "--out", rec], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([cli, "export", rec, "--set", "1", "--iso", "--out", out], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    levels = []
    with open(out, encoding="latin-1") as f:
        for line in f:
            if line.strip():
                levels.append(float(line.split("\t")[2]))
    n = len(levels)
    a, b = n // 3, 2 * n // 3
    between = levels[a:b + 1]
    energy = sum(10 ** (l / 10) for l in between) / len(between)
    return n, {
        "Maximum": max(levels),
        "Minimum": min(levels),
        "Average": sum(levels) / n,
        "Cursor A level": levels[a],
        "Cursor B level": levels[b],
        "Maximum between A and B": max(between),
        "Minimum between A and B": min(between),
        "Average between A and B": sum(between) / len(between),
        "Leq between A and B": 10 * math.log10(energy),
    }


def level_of(text):
    """A level field's text as a number: one decimal, an optional "dB"."""
    words = text.replace("dB", " ").split()
    if len(words) != 1:
        return None
    try:
        value = float(words[0].replace(",", "."))
    except ValueError:
        return None
    return value if len(words[0].split(".")[-1]) == 1 else None


def main():
    kl516, cli = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="kl516-atspi-")
    count, figures = expected_figures(cli, work)

    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, ".config"),
               XDG_DATA_HOME=os.path.join(work, ".local", "share"))
    global LOG
    LOG = os.path.join(work, "kl516.log")
    app_log = open(LOG, "w")
    program = subprocess.Popen([kl516, "--simulate"], env=env, stdout=app_log,
                               stderr=subprocess.STDOUT)
    try:
        def application():
            if program.poll() is not None:
                fail("kl516 ended with status %d" % program.returncode)
            desktop = pyatspi.Registry.getDesktop(0)
            for app in children(desktop):
                if app.name == "KL516":
                    return app
            return None

        app = poll("the program on the accessibility bus", application)
        main_frame = poll("the main window",
                          lambda: next((c for c in children(app)
                                        if c.getRoleName() == "frame" and c.name == "KL516"),
                                       None))
        poll("the connection to the simulated meter",
             lambda: find(main_frame, "On Connection"))
        # Data Logger > Load Data, through the menu item's own action.
        menu_item = poll("the Load Data menu item",
                         lambda: find(main_frame, "Load Data", "menu item"))
        press(menu_item)

        logger = poll("the DataLogger window",
                      lambda: find(main_frame, "DataLogger", "frame")
                      or find(main_frame, "DataLogger", "internal frame"))

        def field(name):
            node = find(logger, name, "text")  # the field, not the label of the same words
            if node is None:
                fail("no field named %r" % name)
            return node

        poll("Data No. to show the set's %d points" % count,
             lambda: True if text_of(field("Data No.")).strip() == str(count) else None)
        failures = []
        for name, value in figures.items():
            text = text_of(field(name))
            shown = level_of(text)
            # The window shows one decimal of a 32-bit level.
            if shown is None or abs(shown - value) > 0.051:
                failures.append("%s shows %r, expected %.2f dB" % (name, text, value))
            else:
                print("%s: %s (computed %.3f)" % (name, text.strip(), value))
        for name in ("Maximum time", "Minimum time", "Cursor A time", "Start Time"):
            if not text_of(field(name)).strip():
                failures.append("%s is empty" % name)
        # The control panel: its keys are push buttons named for the key, and its LCD reads
        # as a line of text once the meter's status has been drawn.
        panel = find(main_frame, "Control Panel", "internal frame") or find(
            main_frame, "Control Panel", "frame")
        if panel is None:
            failures.append("no control panel")
        else:
            for key in ("REC key", "MAX/MIN key", "Light key", "FAST/SLOW key"):
                if find(panel, key, "push button") is None:
                    failures.append("no push button %r in the control panel" % key)
            lcd_pattern = re.compile(r"^\d+\.\d dB[AC] (FAST|SLOW)\b.*, \d\d:\d\d:\d\d$")

            def lcd():
                for node in walk(panel):
                    if node.getRoleName() == "label" and lcd_pattern.match(node.name or ""):
                        return node.name
                return None

            before = poll("the LCD's reading", lcd, timeout=60)
            print("LCD: %s" % before)
            # Pressing FAST/SLOW through its accessible action switches the meter's time
            # weighting, which the LCD's reading shows after the next status poll.
            weighting = "SLOW" if " FAST" in before else "FAST"
            fast_slow = find(panel, "FAST/SLOW key", "push button")
            if fast_slow is not None:
                press(fast_slow)
                after = poll("the LCD to read %s" % weighting,
                             lambda: next((r for r in [lcd()] if r and " %s" % weighting in r),
                                          None), timeout=60)
                print("LCD after FAST/SLOW: %s" % after)
        if failures:
            fail("; ".join(failures))
        print("PASS", flush=True)
    finally:
        program.terminate()
        try:
            program.wait(30)
        except subprocess.TimeoutExpired:
            program.kill()
            program.wait()
    shutil.rmtree(work, ignore_errors=True)  # kept when the test fails, for its log


if __name__ == "__main__":
    main()
