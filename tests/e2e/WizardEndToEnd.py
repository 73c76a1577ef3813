#!/usr/bin/python3
"""A whole use of the main window, driven as a user would through the desktop's
accessibility interface: the program is started with two sources on its command line, the
buttons are pressed by their names (Next, Convert, Finish, Exit and Yes), the summary is read
and the outputs are checked with ffprobe.

Usage: WizardEndToEnd.py PROGRAM WORKDIR. Runs inside a D-Bus session and an X server with
the accessibility bus started (see run-wizard-e2e.sh). Exit 0: passed, 77: skipped, else
failed."""

import os
import shutil
import signal
import subprocess
import sys
import time

import pyatspi

SKIP = 77
TIMEOUT = 60.0


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def wait_for(what, probe, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            found = probe()
        except Exception:  # the tree changes under us while the window builds
            found = None
        if found:
            return found
        time.sleep(0.2)
    fail("timed out waiting for " + what)


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def find_all(root, predicate):
    found = []

    def visit(node, depth):
        if node is None or depth > 40:
            return
        try:
            if predicate(node):
                found.append(node)
            for child in node:
                visit(child, depth + 1)
        except Exception:
            pass

    visit(root, 0)
    return found


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def enabled(node):
    return node.getState().contains(pyatspi.STATE_ENABLED)


def button(app, name):
    """The showing, enabled push button called `name`."""
    matches = find_all(app, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON
                       and n.name == name and showing(n) and enabled(n))
    return matches[0] if matches else None


def press(app, name):
    found = wait_for("the button " + repr(name), lambda: button(app, name))
    action = found.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    action.doAction(names.index("press") if "press" in names else 0)


def source_rows(app):
    tables = find_all(app, lambda n: n.getRole() == pyatspi.ROLE_TABLE and showing(n))
    for table in tables:
        try:
            return table.queryTable().nRows
        except NotImplementedError:
            continue
    return 0


def count(app, caption):
    labels = find_all(app, lambda n: n.getRole() == pyatspi.ROLE_LABEL
                      and n.description == caption and showing(n))
    return labels[0].name if labels else None


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                          "stream=codec_name:format=duration", "-of",
                          "default=noprint_wrappers=1", path],
                         capture_output=True, text=True)
    facts = dict(line.split("=", 1) for line in out.stdout.split() if "=" in line)
    return out.returncode, facts


def main():
    program, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    sources = os.path.join(work, "sources")
    documents = os.path.join(work, "documents")
    config = os.path.join(work, "config")
    for folder in (sources, documents, config):
        os.makedirs(folder)
    names = ["first", "second"]
    for i, name in enumerate(names):
        subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                        "-f", "lavfi", "-i", "sine=frequency=%d:duration=2" % (400 + 200 * i),
                        "-ac", "2", "-ar", "44100", os.path.join(sources, name + ".wav")],
                       check=True)

    env = dict(os.environ, XDG_CONFIG_HOME=config, XDG_DOCUMENTS_DIR=documents,
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    proc = subprocess.Popen([program] + [os.path.join(sources, n + ".wav") for n in names],
                            env=env)
    try:
        app = wait_for("the program on the accessibility bus", lambda: application(proc.pid))
        wait_for("the main window", lambda: button(app, "Next"))
        rows = 0
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and rows == 0:
            rows = source_rows(app)
            time.sleep(0.2)
        if rows == 0:
            print("SKIP: the source list has no rows after start-up: this build does not add "
                  "the files named on its command line", flush=True)
            return SKIP
        if rows != len(names):
            fail("the source list shows %d rows, not %d" % (rows, len(names)))

        press(app, "Next")       # step 1 -> step 2
        press(app, "Convert")    # step 2 -> the run
        wait_for("the summary", lambda: button(app, "Finish"))
        summary = {c: count(app, c) for c in ("Total files:", "Successed:", "Failed:")}
        print("summary:", summary, flush=True)
        if summary != {"Total files:": "2", "Successed:": "2", "Failed:": "0"}:
            fail("the summary reads %s" % summary)
        for name in names:
            output = os.path.join(documents, name + ".mp3")
            code, facts = probe(output)
            if code != 0 or facts.get("codec_name") != "mp3" or \
                    abs(float(facts.get("duration", "0")) - 2.0) > 0.2:
                fail("%s: ffprobe says %s" % (output, facts))

        press(app, "Finish")     # back to an empty step 1
        wait_for("step 1", lambda: button(app, "Exit") and source_rows(app) == 0)
        press(app, "Exit")
        press(app, "Yes")        # "Are you sure to quit now?"
        try:
            code = proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            fail("the program did not quit after Yes")
        if code != 0:
            fail("the program ended with %d" % code)
        print("PASS", flush=True)
        return 0
    finally:
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
