#!/usr/bin/python3
"""Drives the real NvbMan window through its accessibility interface (AT-SPI), as a screen
reader user would: a fresh settings folder, the built-in software keyboard chosen in the
preferences, Get/Update List clicked with the pointer left resting on the button (the status
line must read "Get list..." meanwhile), three rows of the keyboard list read, the window's
accessibility tree counted after one listing and after twenty more (it must not grow), and again
with the MIDI log shown (it may grow only by the log's bounded view), a row's pop-up
menu read twice and its Properties read (values, not captions), one slot imported and the new
file's row found in the PC list, a second row added to the selection and both imported in one go
(the status line read, and the Import button heard going insensitive while the command ran and
sensitive again after it), the details view chosen through the button's toggle action.
With --screenshot FILE it then saves the window's picture.

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
from gi.repository import GLib

TIMEOUT = 30  # seconds for anything the window must show


def log(text):
    print(f"window-e2e: {text}", flush=True)


def fail(text):
    log(f"FAILED: {text}")
    sys.exit(1)


APP = None  # the window's application, once found: its error boxes end the run


def pump(seconds):
    """Waits, delivering the bus's events to our listeners meanwhile."""
    context = GLib.MainContext.default()
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        while context.pending():
            context.iteration(False)
        time.sleep(0.01)


SHOWN_MENUS = []  # pop-up menus as they open: Qt lists no pop-up among the application's windows


def on_showing(event):
    try:
        if event.detail1 == 1 and event.source.getRoleName() == "popup menu":
            SHOWN_MENUS.append(event.source)
    except Exception:
        pass


IMPORT_SENSITIVE = []  # the Import button's "sensitive" state changes, as the bus reports them


def on_sensitive(event):
    try:
        if event.source.name == "Import" and event.source.getRole() == pyatspi.ROLE_PUSH_BUTTON:
            IMPORT_SENSITIVE.append(event.detail1)
    except Exception:
        pass


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
        pump(0.2)
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
    code = {"End": 0xFF57, "Return": 0xFF0D, "Escape": 0xFF1B, "Up": 0xFF52,
            "F5": 0xFFC2}[keysym_name]
    pyatspi.Registry.generateKeyboardEvent(code, None, pyatspi.KEY_SYM)
    time.sleep(0.2)


def selected_count(list_acc):
    try:
        return list_acc.queryTable().nSelectedRows
    except NotImplementedError:
        return list_acc.querySelection().nSelectedChildren


def all_named(root, name):
    found, queue = [], [root]
    while queue:
        acc = queue.pop(0)
        try:
            if acc.name == name and acc != root:
                found.append(acc)
            queue.extend(child for child in acc if child is not None)
        except Exception:
            continue
    return found


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


def center(acc):
    box = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x + box.width // 2, box.y + box.height // 2


def mouse(acc, event):
    """A pointer event at the middle of `acc` ("abs" moves there, "b1c" and "b3c" click)."""
    x, y = center(acc)
    pyatspi.Registry.generateMouseEvent(x, y, event)


def showing(acc):
    return acc.getState().contains(pyatspi.STATE_SHOWING)


def status_line(window):
    labels = [acc for acc in all_with_role(window, pyatspi.ROLE_LABEL)
              if acc.description == "Status"]
    return labels[0] if labels else None


def open_menu_items():
    """The item names of the pop-up menu that opened last and still shows, or None."""
    if not SHOWN_MENUS or not showing(SHOWN_MENUS[-1]):
        return None
    names = [item.name for item in SHOWN_MENUS[-1] if item is not None]
    return names or None


def list_status_while_pointer_rests(main_window):
    """Clicks Get/Update List and leaves the pointer on the button; returns what the status
    line read during the command and whether the progress bar stayed on screen."""
    button = wait_for("Get/Update List button",
                      lambda: named(main_window, "Get/Update List", pyatspi.ROLE_PUSH_BUTTON))
    status = wait_for("status line", lambda: status_line(main_window))
    bar = wait_for("progress bar", lambda: named(main_window, "Progress"))
    mouse(button, "abs")
    pump(0.5)  # the pointer rests: a status tip would show now
    mouse(button, "b1c")
    heard, bar_hidden = set(), False
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        try:
            heard.add(status.name)
            bar_hidden = bar_hidden or not showing(bar) or not showing(status)
        except Exception:
            pass
        if "Get list..." in heard and status.name == "":
            break
        pump(0.02)
    return heard, bar_hidden


def object_count(acc):
    """The objects a screen reader's full walk of the tree below `acc` meets."""
    count = 1
    for i in range(acc.childCount):
        try:
            child = acc.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None:
            count += object_count(child)
    return count


def listed_once_more(main_window):
    """F5, Get/Update List from the keyboard, and the command followed on the status line to
    its end. (A press through the accessibility interface would return only once the command
    had ended, with nothing left to see of it.)"""
    status = wait_for("status line", lambda: status_line(main_window))
    key("F5")
    heard = set()
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        try:
            heard.add(status.name)
        except Exception:
            pass
        if "Get list..." in heard and status.name == "":
            return
        pump(0.02)
    fail(f"F5 did not list the keyboard (the status line read {sorted(heard)})")


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
    pyatspi.Registry.registerEventListener(on_showing, "object:state-changed:showing")
    pyatspi.Registry.registerEventListener(on_sensitive, "object:state-changed:sensitive")
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
        heard, bar_hidden = list_status_while_pointer_rests(main_window)
        log(f"status line read during the list: {sorted(heard)}")
        if "Get list..." not in heard:
            fail("the status line never read \"Get list...\"")
        if bar_hidden:
            fail("the status line or the progress bar was hidden during the list")
        kbd_list = wait_for("keyboard list", lambda: named(main_window, "Keyboard items"))
        listed = wait_for("fetched rows", lambda: rows(kbd_list)[:1] != ["User 0"]
                          and len(rows(kbd_list)) >= 3 and rows(kbd_list))
        log(f"keyboard list: {listed[:3]}")
        if listed[:3] != ["Velvet  ", "Glass EP", "Brass Up"]:
            fail(f"unexpected rows {listed[:3]}")

        # The accessibility tree does not grow with use (the hidden MIDI log once added a cell
        # per message): counted after the first listing and after twenty more.
        started = time.monotonic()
        after_one = object_count(main_window)
        walk = time.monotonic() - started
        for _ in range(20):
            listed_once_more(main_window)
        after_many = object_count(main_window)
        log(f"accessible objects: {after_one} after one listing ({walk:.2f} s to walk), "
            f"{after_many} after 21")
        if after_many > after_one * 1.1:
            fail(f"the accessibility tree grew from {after_one} to {after_many} objects")
        # Shown, the log's table exposes the messages it shows, a bounded number of them.
        toggle = wait_for("the MIDI Log menu item",
                          lambda: named(app, "MIDI Log", pyatspi.ROLE_MENU_ITEM))
        press(toggle)
        wait_for("the MIDI log's table", lambda: showing(named(main_window, "MIDI messages")))
        log_shown = object_count(main_window)
        for _ in range(20):
            listed_once_more(main_window)
        log_many = object_count(main_window)
        log(f"with the MIDI log shown: {log_shown} objects, {log_many} after 20 more listings")
        if log_many - log_shown >= 500:
            fail(f"the shown log's tree grew from {log_shown} to {log_many} objects")
        press(toggle)
        wait_for("the MIDI log to hide",
                 lambda: not showing(named(main_window, "MIDI messages")))

        # A right-click chooses the row, and the same menu reads in full every time it opens.
        menus = []
        for _ in range(2):
            mouse(kbd_list.queryTable().getAccessibleAt(1, 0), "b3c")
            menus.append(wait_for("the keyboard list's pop-up menu", open_menu_items))
            if len(menus) == 1:
                key("Escape")
                wait_for("the menu to close", lambda: open_menu_items() is None)
        log(f"pop-up menu read twice: {menus}")
        if menus[0] != menus[1] or "Properties" not in menus[0]:
            fail(f"the pop-up menu read differently: {menus}")
        key("Up")  # Properties, the last item
        key("Return")
        dialog = wait_for("Property dialog", lambda: named(app, "Property", pyatspi.ROLE_DIALOG))
        values = wait_for("the property values", lambda: {
            acc.description: acc.name for acc in all_with_role(dialog, pyatspi.ROLE_LABEL)
            if acc.description in ("Type", "Size", "File name") and acc.name} or None)
        log(f"property values read: {values}")
        if values != {"File name": "Glass EP", "Type": "Tone", "Size": "60byte(s)"}:
            fail(f"the property dialog read {values}")
        key("Escape")
        wait_for("the dialog to close", lambda: named(app, "Property", pyatspi.ROLE_DIALOG) is None)

        press(wait_for("Import button",
                       lambda: named(main_window, "Import", pyatspi.ROLE_PUSH_BUTTON)))
        local_list = wait_for("PC list", lambda: named(main_window, "PC files"))
        wait_for("the imported file's row",
                 lambda: "TON_Glass EP.nvb" in rows(local_list))
        if not os.path.exists(os.path.join(work, "TON_Glass EP.nvb")):
            fail("the file is not on disk")
        log("imported TON_Glass EP.nvb, and its row is in the PC list")

        # Several rows, chosen as a screen reader chooses them: Glass EP is selected, Brass Up
        # is added to the selection; one Import then saves both, and the status line says so.
        kbd_list.queryTable().addRowSelection(2)
        wait_for("two selected rows", lambda: selected_count(kbd_list) == 2)
        IMPORT_SENSITIVE.clear()
        press(wait_for("Import button",
                       lambda: named(main_window, "Import", pyatspi.ROLE_PUSH_BUTTON)))
        wait_for("both files", lambda: os.path.exists(os.path.join(work, "TON_Brass Up.nvb")))
        status = wait_for("the status line's summary",
                          lambda: (status_line(main_window).name or None)
                          if "imported" in (status_line(main_window).name or "") else None)
        log(f"two rows imported in one command; status line: {status!r}")
        if status != "2 items imported":
            fail(f"the status line read {status!r}")
        # The busy guard as a screen reader hears it: Import goes insensitive while the command
        # runs (a second one cannot start) and sensitive again once it has ended.
        changes = wait_for("the Import button's busy guard",
                           lambda: 0 in IMPORT_SENSITIVE and IMPORT_SENSITIVE[-1] == 1
                           and list(IMPORT_SENSITIVE))
        log(f"Import button's sensitivity during the command: {changes}")

        # The keyboard pane's "Detailed" button (the lower of the two) through its toggle
        # action, as a screen reader presses a check box.
        detailed = max(wait_for("the Detailed buttons",
                                lambda: len(all_named(main_window, "Detailed")) == 2
                                and all_named(main_window, "Detailed")),
                       key=lambda acc: center(acc)[1])
        action = detailed.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        action.doAction(names.index("Toggle"))
        wait_for("the keyboard list's details", lambda: any(
            showing(acc) and acc.getRole() == pyatspi.ROLE_TREE
            for acc in all_named(main_window, "Keyboard items")))
        log("details view chosen through the toggle action")
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
