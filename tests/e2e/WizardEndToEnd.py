#!/usr/bin/python3
"""A whole use of the main window, driven as a user would through the desktop's
accessibility interface. The program starts with two sources on its command line; a No to the
quit question changes nothing; Back keeps the list; OGG is chosen and the run's summary is read;
the log and About windows open and close; Finish empties the list; a third source is added
through the open dialog and converted; Exit with Yes ends the program. Buttons are pressed by
their accessible names and every output is checked with ffprobe.

Usage: WizardEndToEnd.py PROGRAM WORKDIR. Runs inside a D-Bus session and an X server with
the accessibility bus started (see run-wizard-e2e.sh). Exit 0: passed, else failed."""

import os
import re
import shutil
import signal
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

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


def button(root, name, role=pyatspi.ROLE_PUSH_BUTTON):
    """The showing, enabled widget of `role` called `name` below `root`."""
    matches = find_all(root, lambda n: n.getRole() == role and n.name == name
                       and showing(n) and enabled(n))
    return matches[0] if matches else None


def activate(found):
    action = found.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    for wanted in ("press", "click", "activate"):
        if wanted in names:
            action.doAction(names.index(wanted))
            return
    action.doAction(0)


def press(root, name, role=pyatspi.ROLE_PUSH_BUTTON):
    activate(wait_for("the %s %r" % (role, name), lambda: button(root, name, role)))


def dialog(app, title):
    """The showing dialog (or window) whose caption is `title`."""
    matches = find_all(app, lambda n: n.getRole() in (pyatspi.ROLE_DIALOG, pyatspi.ROLE_FRAME,
                                                      pyatspi.ROLE_WINDOW)
                       and n.name == title and showing(n))
    return matches[0] if matches else None


def closed(app, title):
    return dialog(app, title) is None


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
                      and n.description == caption.rstrip(":") and showing(n))
    return labels[0].name if labels else None


# Controls a screen reader names to its user: none may be nameless.
NAMED_ROLES = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_RADIO_BUTTON,
               pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_TEXT, pyatspi.ROLE_COMBO_BOX,
               pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE,
               pyatspi.ROLE_LIST, pyatspi.ROLE_PROGRESS_BAR, pyatspi.ROLE_FRAME,
               pyatspi.ROLE_DIALOG, pyatspi.ROLE_WINDOW, pyatspi.ROLE_MENU_ITEM,
               pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_LINK}
# A name made of words run together with capitals inside ("labHomePage", "ButtonNext"), or a
# role's filler: the object's name or nothing a user would say.
OBJECT_LIKE = re.compile(r"^[A-Za-z]+[a-z][A-Z][A-Za-z0-9]*$")


def badly_named(app):
    """The showing nodes with an empty name (controls) or an object-like one (any node)."""
    def bad(node):
        if not showing(node):
            return False
        name = node.name or ""
        if OBJECT_LIKE.match(name):
            return True
        return node.getRole() in NAMED_ROLES and not name.strip()

    def described(node):
        try:
            extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            children = [c.name for c in node][:4]
        except Exception:
            extents, children = None, []
        return "%s %r at %s holding %s" % (node.getRoleName(), node.name, extents, children)

    return [described(n) for n in find_all(app, bad)]


def check_names(app, where):
    found = badly_named(app)
    print("names checked at %s" % where, flush=True)
    if found:
        fail("at %s, controls without a name a user would say: %s" % (where, found))


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                          "stream=codec_name:format=duration", "-of",
                          "default=noprint_wrappers=1", path],
                         capture_output=True, text=True)
    facts = dict(line.split("=", 1) for line in out.stdout.split() if "=" in line)
    return out.returncode, facts


def shot(name):
    """With E2E_SHOTS set to a folder, saves a picture of the whole virtual screen there (for a
    person to look at; nothing checks it)."""
    folder = os.environ.get("E2E_SHOTS")
    if not folder:
        return
    os.makedirs(folder, exist_ok=True)
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f",
                    "x11grab", "-video_size", "1280x1024", "-i", os.environ["DISPLAY"],
                    "-frames:v", "1", os.path.join(folder, name + ".png")])


def make_source(path, frequency):
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                    "-f", "lavfi", "-i", "sine=frequency=%d:duration=2" % frequency,
                    "-ac", "2", "-ar", "44100", path], check=True)


def wait_rows(app, wanted, what):
    wait_for("%s (%d rows)" % (what, wanted), lambda: source_rows(app) == wanted or None)


def check_outputs(folder, names, codec):
    for name in names:
        output = os.path.join(folder, name)
        code, facts = probe(output)
        if code != 0 or facts.get("codec_name") != codec or \
                abs(float(facts.get("duration", "0")) - 2.0) > 0.2:
            fail("%s: ffprobe says %s" % (output, facts))


def convert_and_read_summary(app, total):
    press(app, "Convert")
    wait_for("the summary", lambda: button(app, "Finish"))
    summary = {c: count(app, c) for c in ("Total files:", "Successed:", "Failed:")}
    print("summary:", summary, flush=True)
    wanted = {"Total files:": str(total), "Successed:": str(total), "Failed:": "0"}
    if summary != wanted:
        fail("the summary reads %s, not %s" % (summary, wanted))


def open_and_close(app, opener, content, role):
    """Presses `opener`, waits for the window holding a widget of `role` named `content` and
    closes it with its OK button."""
    press(app, opener)
    holder = wait_for("the window of " + repr(opener), lambda: find_all(
        app, lambda n: n.getRole() == role and n.name == content and showing(n)))
    window = holder[0]
    while window is not None and window.getRole() not in (pyatspi.ROLE_DIALOG,
                                                           pyatspi.ROLE_FRAME):
        window = window.parent
    press(window, "OK")
    wait_for("the window of %r to close" % opener,
             lambda: not find_all(app, lambda n: n.getRole() == role and n.name == content
                                  and showing(n)))


def popup_of(app, opener):
    """Presses `opener` and returns the popup menu it shows. Popups are not listed among the
    application's windows: a screen reader learns of them from the event that they show."""
    popups = []

    def shown(event):
        try:
            if event.detail1 == 1 and event.source.getRole() == pyatspi.ROLE_POPUP_MENU:
                popups.append(event.source)
        except Exception:
            pass

    kind = "object:state-changed:showing"
    pyatspi.Registry.registerEventListener(shown, kind)
    try:
        press(app, opener)
        context = GLib.MainContext.default()

        def delivered():
            while context.iteration(False):
                pass
            return popups[-1] if popups else None

        return wait_for("the menu of " + repr(opener), delivered)
    finally:
        pyatspi.Registry.deregisterEventListener(shown, kind)


def add_through_dialog(app, path):
    press(app, "Add")
    opened = wait_for("the open dialog", lambda: dialog(app, "Open"))
    field = wait_for("the file name field",
                     lambda: button(opened, "File name:", pyatspi.ROLE_TEXT))
    field.queryEditableText().setTextContents(path)
    shot("7-open-dialog")
    press(opened, "Open")
    wait_for("the open dialog to close", lambda: closed(app, "Open"))


def walk_through(app, proc, sources, documents, names):
    wait_rows(app, len(names), "the sources named on the command line")
    shot("1-step1")
    check_names(app, "step 1")

    press(app, "Exit")
    wait_for("the question", lambda: button(app, "No"))
    shot("2-quit-question")
    press(app, "No")             # "Are you sure to quit now?" answered No: nothing changes
    time.sleep(0.5)
    if proc.poll() is not None:
        fail("the program quit although the question was answered No")
    wait_rows(app, len(names), "the list after No")

    press(app, "Next")           # step 1 -> step 2
    press(app, "Back")           # back to step 1: the list stays
    wait_rows(app, len(names), "the list after Back")
    press(app, "Next")
    press(app, "OGG", pyatspi.ROLE_RADIO_BUTTON)
    # A press is an animated click that lands a moment later: wait for the format to show as
    # chosen before going on.
    wait_for("OGG chosen", lambda: find_all(app, lambda n: n.name == "OGG" and showing(n) and
                                            n.getState().contains(pyatspi.STATE_CHECKED)))
    shot("3-step2-ogg")
    check_names(app, "step 2")
    convert_and_read_summary(app, len(names))
    shot("4-summary")
    check_names(app, "the summary")
    check_outputs(documents, [n + ".ogg" for n in names], "vorbis")

    open_and_close(app, "Log", "Log", pyatspi.ROLE_TEXT)
    menu = popup_of(app, "Help")
    entries = [n.name for n in menu if n.getRole() == pyatspi.ROLE_MENU_ITEM]
    wanted = ["Help Content", "Home Page", "Check for Updates...",
              "Contact Technical Support...", "About"]
    if entries != wanted:
        fail("the help menu holds %s, not %s" % (entries, wanted))
    shot("5-help-menu")
    activate(button(menu, "About", pyatspi.ROLE_MENU_ITEM))
    about = wait_for("the About window", lambda: find_all(
        app, lambda n: n.getRole() == pyatspi.ROLE_DIALOG and n.name.startswith("About ")
        and showing(n)))
    shot("6-about")
    check_names(app, "the About window")
    press(about[0], "OK")
    wait_for("the About window to close", lambda: not find_all(
        app, lambda n: n.getRole() == pyatspi.ROLE_DIALOG and n.name.startswith("About ")
        and showing(n)))

    press(app, "Finish")         # back to an empty step 1
    wait_for("step 1", lambda: button(app, "Exit") and source_rows(app) == 0)

    third = os.path.join(sources, "third.wav")
    make_source(third, 1000)
    add_through_dialog(app, third)
    wait_rows(app, 1, "the list after adding through the dialog")
    press(app, "Next")
    convert_and_read_summary(app, 1)
    check_outputs(documents, ["third.ogg"], "vorbis")

    press(app, "Finish")
    wait_for("step 1", lambda: button(app, "Exit") and source_rows(app) == 0)
    press(app, "Exit")
    press(app, "Yes")            # "Are you sure to quit now?"
    try:
        code = proc.wait(timeout=30)
    except subprocess.TimeoutExpired:
        fail("the program did not quit after Yes")
    if code != 0:
        fail("the program ended with %d" % code)


def start(program, arguments, env, work):
    """Starts the program and waits for its main window on the accessibility bus. A start
    that fails because the fresh virtual display refused the connection (seen on a loaded
    machine) is tried once more; any other early end fails at once with what it printed."""
    for attempt in (1, 2):
        errors = open(os.path.join(work, "stderr-%d.txt" % attempt), "w+")
        proc = subprocess.Popen([program] + arguments, env=env, stderr=errors)

        def up():
            if proc.poll() is not None:
                return "ended"
            return application(proc.pid)

        try:
            found = wait_for("the program on the accessibility bus", up)
            if found != "ended":
                wait_for("the main window", lambda: button(found, "Next"))
                return proc, found
        except SystemExit:
            proc.kill()
            raise
        finally:
            errors.seek(0)
            printed = errors.read()
            sys.stderr.write(printed)
        if attempt == 1 and "could not connect to display" in printed:
            print("the display refused the program; starting it once more", flush=True)
            continue
        fail("the program ended with %d before its window showed" % proc.returncode)


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
        make_source(os.path.join(sources, name + ".wav"), 400 + 200 * i)

    env = dict(os.environ, XDG_CONFIG_HOME=config, XDG_DOCUMENTS_DIR=documents,
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    proc, app = start(program, [os.path.join(sources, n + ".wav") for n in names], env, work)
    try:
        walk_through(app, proc, sources, documents, names)
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
