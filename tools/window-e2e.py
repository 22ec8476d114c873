#!/usr/bin/python3
"""Drives the real NvbMan window through its accessibility interface (AT-SPI), as a screen
reader user would: a fresh settings folder, the built-in software keyboard chosen in the
preferences, Get/Update List, three rows of the keyboard list read, one slot imported and the
new file's row found in the PC list. With --screenshot FILE it then saves the window's picture.

Run it inside an X server with an accessibility bus (tools/window-e2e.sh does both):
    window-e2e.py [--program PATH] [--screenshot FILE]
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

TIMEOUT = 30  # seconds for anything the window must show


def log(text):
    print(f"window-e2e: {text}", flush=True)


def fail(text):
    log(f"FAILED: {text}")
    sys.exit(1)


APP = None  # the window's application, once found: its error boxes end the run


def wait_for(what, find):
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        try:
            found = find()
        except Exception:  # the tree changes while we walk it
            found = None
        if found:
            return found
        if APP is not None and (text := error_box(APP)):
            fail(f"error box while waiting for {what}: {text}")
        time.sleep(0.2)
    fail(f"no {what} after {TIMEOUT} s")


def named(root, name, role=None):
    """The first accessible below `root`, breadth first, with this name (and role)."""
    queue = [root]
    while queue:
        acc = queue.pop(0)
        try:
            if acc.name == name and (role is None or acc.getRole() == role) and acc != root:
                return acc
            queue.extend(child for child in acc if child is not None)
        except Exception:  # an object that went away while we looked
            continue
    return None


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def press(acc):
    """Presses a button. A keyboard command answers the press only when it has ended, which
    may outlast the bus's reply time: the caller waits for the command's result instead."""
    action = acc.queryAction()
    index = next((i for i in range(action.nActions)
                  if action.getName(i) in ("Press", "press", "click")), 0)
    try:
        action.doAction(index)
    except Exception as error:  # GLib.GError: no reply yet
        log(f"(no answer to the press yet: {error})")


def error_box(app):
    """The text of an error box the window shows, if any."""
    for alert in all_with_role(app, pyatspi.ROLE_ALERT):
        texts = [acc.name for acc in all_with_role(alert, pyatspi.ROLE_LABEL) if acc.name]
        return " / ".join(texts) or alert.name
    return None


def key(keysym_name):
    code = {"End": 0xFF57, "Return": 0xFF0D}[keysym_name]
    pyatspi.Registry.generateKeyboardEvent(code, None, pyatspi.KEY_SYM)
    time.sleep(0.2)


def all_with_role(root, role):
    found, queue = [], [root]
    while queue:
        acc = queue.pop(0)
        try:
            if acc.getRole() == role:
                found.append(acc)
            queue.extend(child for child in acc if child is not None)
        except Exception:
            continue
    return found


def rows(list_acc):
    """The captions of a list's rows (its cells of the first column)."""
    table = list_acc.queryTable()
    return [table.getAccessibleAt(row, 0).name for row in range(table.nRows)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", default="nvbman")
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    if os.sep in args.program:  # a path, not a name on PATH: the program starts elsewhere
        args.program = os.path.abspath(args.program)

    root = tempfile.mkdtemp(prefix="nvbman-e2e-")
    home = os.path.join(root, "home")
    work = os.path.join(home, "Music")
    os.makedirs(work)
    # A home of its own: fresh settings, a fresh built-in keyboard, and its own lock file, so
    # another copy of NvbMan (a test, the user's) does not count as this one.
    # Its folders are hidden ones, so the PC pane shows Music alone.
    env = dict(os.environ, HOME=home, TMPDIR=os.path.join(home, ".cache"),
               XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local", "share"),
               XDG_RUNTIME_DIR=os.path.join(home, ".runtime"), LANG="C.UTF-8", LC_ALL="C.UTF-8",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1", QT_QPA_PLATFORM="xcb")
    # The first start's default folder is the folder the program starts in.
    for hidden in (".cache", ".runtime"):
        os.makedirs(os.path.join(home, hidden), mode=0o700)
    window = subprocess.Popen([args.program], cwd=work, env=env)
    try:
        global APP
        app = APP = wait_for("NvbMan on the accessibility bus", lambda: application(window.pid))
        log(f"found {app.name}")

        # First start: the preferences come first. The built-in keyboard is listed last.
        prefs = wait_for("Preference dialog", lambda: named(app, "Preference"))
        # The two device lists, input first; a combo box is named by its current entry.
        combos = wait_for("device lists",
                          lambda: len(all_with_role(prefs, pyatspi.ROLE_COMBO_BOX)) == 2
                          and all_with_role(prefs, pyatspi.ROLE_COMBO_BOX))
        for box, combo in zip(("input", "output"), combos):
            combo.queryComponent().grabFocus()
            time.sleep(0.2)
            key("End")
            wait_for(f"the built-in keyboard as {box}", lambda: "(built-in)" in combo.name)
            log(f"{box} device: {combo.name}")
        press(wait_for("OK", lambda: named(prefs, "OK", pyatspi.ROLE_PUSH_BUTTON)))

        main_window = wait_for("main window",
                               lambda: named(app, "MLS-850 MUSIC DATA MANAGEMENT SOFTWARE",
                                             pyatspi.ROLE_FRAME))
        press(wait_for("Get/Update List button",
                       lambda: named(main_window, "Get/Update List", pyatspi.ROLE_PUSH_BUTTON)))
        kbd_list = wait_for("keyboard list", lambda: named(main_window, "KbdFileView"))
        listed = wait_for("fetched rows", lambda: rows(kbd_list)[:1] != ["User 0"]
                          and len(rows(kbd_list)) >= 3 and rows(kbd_list))
        log(f"keyboard list: {listed[:3]}")
        if listed[:3] != ["Velvet  ", "Glass EP", "Brass Up"]:
            fail(f"unexpected rows {listed[:3]}")

        kbd_list.queryTable().addRowSelection(1)
        press(wait_for("Import button",
                       lambda: named(main_window, "Import", pyatspi.ROLE_PUSH_BUTTON)))
        local_list = wait_for("PC list", lambda: named(main_window, "LocalFileView"))
        wait_for("the imported file's row",
                 lambda: "TON_Glass EP.nvb" in rows(local_list))
        if not os.path.exists(os.path.join(work, "TON_Glass EP.nvb")):
            fail("the file is not on disk")
        log("imported TON_Glass EP.nvb, and its row is in the PC list")
        if args.screenshot:
            from PIL import ImageGrab
            time.sleep(1)  # the last repaint
            box = main_window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            ImageGrab.grab(bbox=(box.x, box.y, box.x + box.width, box.y + box.height),
                           xdisplay=os.environ.get("DISPLAY")).save(args.screenshot)
            log(f"saved {args.screenshot}")

    finally:
        window.terminate()
        window.wait(10)
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
