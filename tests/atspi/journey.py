#!/usr/bin/python3
"""The start, add, close, start-again journey on the real program binary, read as a screen reader
reads it.

Makes a program folder with a starter table in a temporary place, starts a virtual X server, a
private D-Bus session and the accessibility bus, starts the real program there with Qt's
accessibility switched on, and then works only from outside the process: key presses through the
X server's test extension (xdotool) and everything it checks through the accessibility bus (the
tree's rows, the memo's text, the navigator buttons' states and descriptions, the dialogs' fields
and buttons, and the focus events a screen reader announces). It adds a child note with F6, a
title and Enter, types its text into the memo (Tab) and reads it back after moving away and
back; finds a note with the F7 locate window and narrows the tree with the F8 filter window,
reading each window's fields, their names and its default button, and hearing the found note
announced as the current row; checks that the window's class is the desktop entry's
StartupWMClass and its title exactly the program's caption; closes the program with Alt+X,
starts it again and finds the note and its text there, keeps a screenshot of the virtual screen
as an artifact, types more into the memo and ends the program with a SIGTERM, and finally reads
the table back with the table tool (the typing before the SIGTERM stored).

    journey.py --program PATH/tindrel --table-tool PATH/tindrel-table
               --desktop-entry PATH/desktop-entry.sh --icons BUILD/app/icons [--artifacts FOLDER]

Exit status: 0 when the journey passed, 1 when a check failed, 77 when a required tool is not
installed (scripts/setup.sh installs them all).
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
TITLE = "Journey note from outside"
MEMO = "Seeds to buy: basil, dill"
PACK_NOTE = "Pack removes deleted notes for good"
CAPTION_START = "Tindrel II"
CAPTION = "Tindrel II  - (Desktop Edition)"
PENDING = "Chives too. "

REQUIRED_TOOLS = ["Xvfb", "xdotool", "dbus-daemon", "dbus-send", "import"]
BUS_LAUNCHERS = ["/usr/libexec/at-spi-bus-launcher", "/usr/lib/at-spi2-core/at-spi-bus-launcher"]


class JourneyFailed(Exception):
    pass


class ProcessEnded(JourneyFailed):
    """A process the journey needs has ended: waiting longer cannot help."""


def log(message):
    print(f"[atspi] {message}", flush=True)


def wait_for(what, condition, timeout=30.0, interval=0.2):
    """Polls condition() until it returns something true, and returns that; fails after timeout."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = condition()
            if value:
                return value
        except ProcessEnded:
            raise
        except Exception as error:  # the bus may answer with errors while the window is being built
            last_error = error
        if time.monotonic() >= deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise JourneyFailed(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


def check(condition, message):
    if not condition:
        raise JourneyFailed(message)


def end_with_parent():
    """Runs in each child before it starts: it gets SIGTERM when the journey itself dies, even by
    SIGKILL (a test runner's timeout), so no server outlives the journey."""
    try:
        import ctypes

        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except Exception:
        pass


class Processes:
    """Every process the journey starts, each leading its own process group (with whatever it
    starts itself), ended group by group in reverse order."""

    def __init__(self):
        self.started = []

    def start(self, name, argv, env, **kwargs):
        process = subprocess.Popen(argv, env=env, start_new_session=True, preexec_fn=end_with_parent, **kwargs)
        self.started.append((name, process))
        return process

    def stop(self, process, timeout=10.0):
        # The group goes even when its leader has ended already: a launcher's children stay in it.
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(process.pid, sig)
            except ProcessLookupError:
                break
            try:
                process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                continue
            if not self.group_alive(process.pid):
                break
            time.sleep(0.2)
        if process.poll() is None:
            process.wait()

    @staticmethod
    def group_alive(pgid):
        try:
            os.killpg(pgid, 0)
            return True
        except (ProcessLookupError, PermissionError):
            return False

    def stop_all(self):
        for _, process in reversed(self.started):
            self.stop(process)
        self.started.clear()


def find_bus_launcher():
    for path in BUS_LAUNCHERS:
        if os.access(path, os.X_OK):
            return path
    return None


def missing_tools():
    missing = [tool for tool in REQUIRED_TOOLS if shutil.which(tool) is None]
    if find_bus_launcher() is None:
        missing.append("at-spi-bus-launcher")
    try:
        import gi

        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi  # noqa: F401
    except (ImportError, ValueError):
        missing.append("the Atspi introspection module (gir1.2-atspi-2.0, python3-gi)")
    return missing


def start_x_server(processes, env, log_path):
    """Starts Xvfb on a free display number it chooses itself and returns ':N'. The server must not
    reset when its last client leaves (the readiness probe is such a client): while it resets it
    refuses connections, and the program's own would fail."""
    read_end, write_end = os.pipe()
    log_file = open(log_path, "a")
    processes.start(
        "Xvfb",
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24", "-dpi", "96", "-nolisten", "tcp", "-noreset"],
        env,
        pass_fds=(write_end,),
        stdout=log_file,
        stderr=log_file,
    )
    log_file.close()
    os.close(write_end)
    with os.fdopen(read_end) as reader:
        number = reader.readline().strip()
    check(number.isdigit(), "the virtual X server did not report its display")
    display = f":{number}"
    server = processes.started[-1][1]

    def answers():
        if server.poll() is not None:
            raise ProcessEnded(f"the virtual X server ended with status {server.returncode}")
        probe = subprocess.run(
            ["xdotool", "getdisplaygeometry"], env=dict(env, DISPLAY=display), capture_output=True, timeout=10
        )
        return probe.returncode == 0

    wait_for(f"the virtual X server on {display}", answers, timeout=30)
    return display


def start_session_bus(processes, env):
    process = processes.start(
        "dbus-daemon",
        ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
        env,
        stdout=subprocess.PIPE,
        stderr=subprocess.DEVNULL,
        text=True,
    )
    address = process.stdout.readline().strip()
    check(address, "the private D-Bus session did not report its address")
    return address


class Announcements:
    """The focus events of the accessibility bus, as a screen reader hears them: the role and name
    of each object that gained the focus, in order."""

    def __init__(self, Atspi):
        from gi.repository import GLib

        self.context = GLib.MainContext.default()
        self.heard = []
        self.listener = Atspi.EventListener.new(self.on_event)
        self.listener.register("object:state-changed:focused")

    def on_event(self, event):
        if not event.detail1:
            return
        try:
            self.heard.append((event.source.get_role_name(), event.source.get_name()))
        except Exception:  # the object went away before it could be asked
            pass

    def pump(self):
        while self.context.pending():
            self.context.iteration(False)

    def since(self, mark):
        self.pump()
        return self.heard[mark:]

    def mark(self):
        self.pump()
        return len(self.heard)


class Journey:
    def __init__(self, args, work):
        self.args = args
        self.work = work
        self.folder = os.path.join(work, "TindrelII")
        self.processes = Processes()
        self.env = dict(os.environ)
        self.program = None
        self.Atspi = None

    # ---- the surroundings --------------------------------------------------------------------

    def set_up(self):
        os.makedirs(self.folder)
        shutil.copy2(self.args.program, os.path.join(self.folder, "tindrel"))
        subprocess.run([self.args.table_tool, "create", self.folder], check=True, stdout=subprocess.DEVNULL)

        for name in ("DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            self.env.pop(name, None)
        self.env["XDG_RUNTIME_DIR"] = os.path.join(self.work, "runtime")
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700)
        self.env["HOME"] = os.path.join(self.work, "home")
        os.makedirs(self.env["HOME"])
        self.env["DISPLAY"] = start_x_server(self.processes, self.env, os.path.join(self.work, "xvfb.log"))
        self.env["DBUS_SESSION_BUS_ADDRESS"] = start_session_bus(self.processes, self.env)
        log(f"virtual display {self.env['DISPLAY']}, private session bus")

        self.processes.start(
            "at-spi-bus-launcher",
            [find_bus_launcher(), "--launch-immediately"],
            self.env,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
        )
        wait_for("the accessibility bus", self.accessibility_bus_ready, timeout=30)

        # This process reads the bus too: the library finds it through these variables.
        for name in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"):
            os.environ[name] = self.env[name]
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        import gi

        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi

        self.Atspi = Atspi
        check(Atspi.init() in (0, 1), "the accessibility library did not start")
        self.announcements = Announcements(Atspi)

    def accessibility_bus_ready(self):
        answer = subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
            env=self.env,
            capture_output=True,
            text=True,
            timeout=10,
        )
        return answer.returncode == 0 and "unix:" in answer.stdout

    # ---- the program -------------------------------------------------------------------------

    def start_program(self):
        env = dict(self.env)
        env.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1", QT_QPA_PLATFORM="xcb")
        log_file = open(os.path.join(self.work, "tindrel.log"), "a")
        self.program = self.processes.start(
            "tindrel", [os.path.join(self.folder, "tindrel")], env, cwd=self.work, stdout=log_file, stderr=log_file
        )
        log_file.close()
        app = wait_for("the program on the accessibility bus", self.find_application, timeout=60)
        tree = wait_for("the tree of notes", lambda: self.find(app, self.Atspi.Role.TREE, "Notes"), timeout=30)
        rows = wait_for("the tree's rows", lambda: self.row_titles(tree), timeout=30)
        window = wait_for("the program's X window", self.find_x_window, timeout=30)
        return app, tree, rows, window

    def find_application(self):
        if self.program.poll() is not None:
            raise ProcessEnded(f"the program ended at start with status {self.program.returncode}")
        desktop = self.Atspi.get_desktop(0)
        for index in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(index)
            if app is None:
                continue
            try:
                if app.get_process_id() == self.program.pid:
                    return app
            except Exception:
                continue
        return None

    def find_x_window(self):
        answer = subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--pid", str(self.program.pid), "--name", CAPTION_START],
            env=self.env,
            capture_output=True,
            text=True,
            timeout=10,
        )
        windows = answer.stdout.split()
        return windows[0] if windows else None

    def close_program(self, window):
        self.focus(window)
        self.keys("alt+x")
        try:
            self.program.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise JourneyFailed("Alt+X did not end the program within 30 s")
        check(self.program.returncode == 0, f"the program ended with status {self.program.returncode}")
        log("Alt+X closed the program")

    # ---- reading the window through the accessibility bus ------------------------------------

    def walk(self, node, depth=0, limit=40):
        if node is None or depth > limit:
            return
        yield node
        try:
            count = node.get_child_count()
        except Exception:
            return
        for index in range(count):
            try:
                child = node.get_child_at_index(index)
            except Exception:
                continue
            yield from self.walk(child, depth + 1, limit)

    def find(self, root, role, name=None):
        for node in self.walk(root):
            try:
                if node.get_role() == role and (name is None or node.get_name() == name):
                    return node
            except Exception:
                continue
        return None

    def row_titles(self, tree, with_empty=False):
        """The titles of the tree's rows as the bus presents them (its items, top to bottom)."""
        titles = []
        for node in self.walk(tree):
            if node is tree:
                continue
            try:
                role = node.get_role()
                name = node.get_name()
            except Exception:
                continue
            if role in (self.Atspi.Role.TREE_ITEM, self.Atspi.Role.TABLE_CELL, self.Atspi.Role.LIST_ITEM) and (
                name or with_empty
            ):
                titles.append(name)
        return titles

    def memo_text(self, app):
        memo = self.find(app, self.Atspi.Role.TEXT, "Note text") or self.find(app, self.Atspi.Role.ENTRY, "Note text")
        check(memo is not None, "no memo named 'Note text' on the accessibility bus")
        return self.Atspi.Text.get_text(memo, 0, self.Atspi.Text.get_character_count(memo))

    def navigator_buttons(self, app):
        navigator = self.find(app, self.Atspi.Role.FILLER, "Record navigator") or self.find_named(app, "Record navigator")
        check(navigator is not None, "no 'Record navigator' on the accessibility bus")
        buttons = []
        for node in self.walk(navigator):
            if node.get_role() != self.Atspi.Role.PUSH_BUTTON:
                continue
            states = node.get_state_set()
            buttons.append(
                {
                    "name": node.get_name(),
                    "description": node.get_description(),
                    "enabled": states.contains(self.Atspi.StateType.ENABLED)
                    and states.contains(self.Atspi.StateType.SENSITIVE),
                }
            )
        return buttons

    def states(self, node):
        state_set = node.get_state_set()
        return {nick for value, nick in self.state_nicks if state_set.contains(value)}

    @property
    def state_nicks(self):
        return [(value, value.value_nick) for value in self.Atspi.StateType.__enum_values__.values()]

    def focused(self, root, role, name):
        node = self.find(root, role, name)
        return node is not None and "focused" in self.states(node)

    def dialog(self, app, title):
        return self.find(app, self.Atspi.Role.DIALOG, title)

    def controls(self, dialog):
        """The dialog's named controls by role, and the name of its default button."""
        named, default = {}, None
        for node in self.walk(dialog):
            try:
                role, name = node.get_role_name(), node.get_name()
            except Exception:
                continue
            if node is dialog:
                continue
            named.setdefault(role, []).append(name)
            if role == "push button" and "is-default" in self.states(node):
                default = name
        return named, default

    def announced(self, mark, role, name):
        return (role, name) in self.announcements.since(mark)

    def find_named(self, root, name):
        for node in self.walk(root):
            try:
                if node.get_name() == name:
                    return node
            except Exception:
                continue
        return None

    # ---- key presses from outside ------------------------------------------------------------

    def focus(self, window):
        subprocess.run(["xdotool", "mousemove", "400", "300"], env=self.env, check=True, timeout=10)
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=self.env, check=True, timeout=10)

    def keys(self, *keys):
        subprocess.run(["xdotool", "key", "--delay", "40", *keys], env=self.env, check=True, timeout=20)

    def type_text(self, text):
        subprocess.run(["xdotool", "type", "--delay", "30", text], env=self.env, check=True, timeout=30)

    def screenshot(self):
        folder = self.args.artifacts or self.work
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(os.path.abspath(folder), "atspi-journey.png")
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True, timeout=30)
        check(os.path.getsize(path) > 0, "the screenshot is empty")
        return path

    # ---- the journey -------------------------------------------------------------------------

    def run(self):
        self.set_up()

        # First start: the starter table's notes are in the tree, the memo shows the first one.
        app, tree, rows, window = self.start_program()
        log(f"first start: {len(rows)} rows, first {rows[0]!r}")
        check(TITLE not in rows, "the starter table already holds the journey's note")
        check(any(row.startswith("Welcome to Tindrel II") for row in rows), f"no welcome note among the rows {rows}")
        memo = wait_for("the memo's text", lambda: self.memo_text(app), timeout=20)
        check("keeps your notes in a tree" in memo, f"the memo does not show the first note: {memo!r}")
        log(f"memo reads {memo.splitlines()[0]!r}")

        buttons = wait_for("the navigator's buttons", lambda: self.navigator_buttons(app), timeout=20)
        described = [b for b in buttons if b["description"]]
        check(described, "no navigator button carries a description")
        check(any(b["enabled"] for b in buttons), "every navigator button is disabled on a table with notes")
        check(self.post_and_cancel(app) == (False, False), "Post or Cancel is enabled before anything was changed")
        log("navigator: " + ", ".join(f"{b['description'] or b['name']!r} {'on' if b['enabled'] else 'off'}" for b in buttons))

        # F6 adds a child of the selected note: a new row appears with its label open and the
        # record in insert state, so the navigator offers Post and Cancel; the typed title and
        # Enter post it, and both are disabled again.
        self.focus(window)
        before = len(rows)
        self.keys("F6")
        wait_for("a new row in the tree", lambda: len(self.row_titles(tree, with_empty=True)) > before, timeout=20)
        wait_for(
            "Post and Cancel enabled while the new note is being inserted",
            lambda: self.post_and_cancel(app) == (True, True),
            timeout=20,
        )
        self.type_text(TITLE)
        self.keys("Return")
        rows = wait_for("the new note among the rows", lambda: self.rows_with(tree, TITLE), timeout=20)
        log(f"after F6: {len(rows)} rows, the new one is {TITLE!r}")
        wait_for(
            "Post and Cancel disabled once the new note is stored",
            lambda: self.post_and_cancel(app) == (False, False),
            timeout=20,
        )
        wait_for("the memo of the new note, empty", lambda: self.memo_text(app) == "", timeout=20)

        self.write_memo(app, tree, window)
        self.locate(app, window, "Pack", PACK_NOTE)
        check("A deleted note keeps its space" in self.memo_text(app), "the memo does not show the found note")
        self.filter(app, tree, window, before + 1)
        self.check_window_class(window)
        self.check_window_title(window)

        self.close_program(window)

        # Second start: the note was stored and comes back.
        expected = len(rows)
        app, tree, rows, window = self.start_program()
        rows = wait_for("the new note among the rows after starting again", lambda: self.rows_with(tree, TITLE), timeout=20)
        check(len(rows) == expected, f"after starting again the tree has {len(rows)} rows, not {expected}: {rows}")
        log(f"second start: {len(rows)} rows, {TITLE!r} among them")
        self.locate(app, window, "Journey", TITLE)
        wait_for("the new note's text after starting again", lambda: self.memo_text(app) == MEMO, timeout=20)
        log(f"the memo of {TITLE!r} reads {MEMO!r} after starting again")
        shot = self.screenshot()
        print(f"Screenshot of the journey's window: {shot}", flush=True)
        self.end_with_sigterm(app, window)

        dump = subprocess.run(
            [self.args.table_tool, "dump", os.path.join(self.folder, "Tindrel.dbf")],
            check=True,
            capture_output=True,
            text=True,
        ).stdout
        records = [chunk for chunk in dump.split("\n#") if f"TEXT    {TITLE}\n" in chunk]
        check(len(records) == 1, f"the table holds {len(records)} records titled {TITLE!r}, not one")
        check("PARENT  1\n" in records[0], f"the new note is not a child of the first note:\n{records[0]}")
        check(f"MEMO    {PENDING}{MEMO}" in records[0],
              f"the new note's memo, typed before the SIGTERM, is not stored:\n{records[0]}")
        checked = subprocess.run(
            [self.args.table_tool, "check", os.path.join(self.folder, "Tindrel.dbf")], capture_output=True, text=True
        )
        check(checked.returncode == 0, f"the table check failed: {checked.stdout}{checked.stderr}")
        log("the table holds the new note and passes its check")

    def write_memo(self, app, tree, window):
        """Tab from the tree into the memo, type the note's text, go to the note above and back:
        the text was stored and reads back."""
        self.focus(window)
        self.keys("Tab")
        wait_for("the memo focused after Tab", lambda: self.focused(app, self.Atspi.Role.TEXT, "Note text"), timeout=20)
        self.type_text(MEMO)
        wait_for("the typed text in the memo", lambda: self.memo_text(app) == MEMO, timeout=20)
        check(self.post_and_cancel(app) == (True, True), "typing into the memo did not offer Post and Cancel")
        self.keys("shift+Tab", "Up")
        wait_for("another note's text after moving up", lambda: self.memo_text(app) not in ("", MEMO), timeout=20)
        wait_for("Post and Cancel disabled once the text is stored", lambda: self.post_and_cancel(app) == (False, False))
        self.keys("Down")
        wait_for("the typed text read back", lambda: self.memo_text(app) == MEMO, timeout=20)
        log(f"memo typed and read back: {MEMO!r}")

    def locate(self, app, window, value, found):
        """F7: the locate window's fields by name, First as its default button; the value typed
        and Enter find the note, which the bus announces as the focused row."""
        self.focus(window)
        mark = self.announcements.mark()
        self.keys("F7")
        dialog = wait_for("the locate window", lambda: self.dialog(app, "Locate Field Value"), timeout=20)
        named, default = wait_for("the locate window's controls", lambda: self.controls(dialog), timeout=20)
        check(named.get("text") == ["Field Value"], f"the locate window's value field is named {named.get('text')}")
        check("Case-sensitive" in named.get("check box", []), f"no 'Case-sensitive' check box: {named}")
        for option in ("Exact Match", "Partial Match at Beginning", "Partial Match Anywhere"):
            check(option in named.get("radio button", []), f"no {option!r} option in the locate window: {named}")
        check({"First", "Next", "Cancel"} <= set(named.get("push button", [])), f"the locate buttons: {named}")
        check(default == "First", f"the locate window's default button is {default!r}, not 'First'")
        check(self.announced(mark, "text", "Field Value"), "the value field was not announced when the window opened")
        log(f"F7 window: fields {named.get('text')}, options {named.get('radio button')}, default {default!r}")
        mark = self.announcements.mark()
        self.type_text(value)
        self.keys("Return")
        wait_for(f"{found!r} announced as the current row", lambda: self.announced(mark, "table cell", found), timeout=20)
        wait_for("the locate window closed", lambda: self.dialog(app, "Locate Field Value") is None, timeout=20)
        log(f"F7 {value!r}: {found!r} announced as the current row")

    def filter(self, app, tree, window, all_rows):
        """F8: the filter window's fields by name, OK as its default button; a value narrows the
        tree to the matching note, announced as the current row; New Search and OK bring every
        note back."""
        self.focus(window)
        mark = self.announcements.mark()
        self.keys("F8")
        dialog = wait_for("the filter window", lambda: self.dialog(app, "Filter Tindrels"), timeout=20)
        named, default = wait_for("the filter window's controls", lambda: self.controls(dialog), timeout=20)
        check("Fields" in named.get("list", []), f"the filter window's field list has no name: {named.get('list')}")
        check("Field Value" in named.get("text", []), f"the filter window's value field: {named.get('text')}")
        check("Case Sensitive" in named.get("check box", []), f"no 'Case Sensitive' check box: {named}")
        check({"OK", "Cancel", "New Search"} <= set(named.get("push button", [])), f"the filter buttons: {named}")
        check(default == "OK", f"the filter window's default button is {default!r}, not 'OK'")
        check(self.announced(mark, "text", "Field Value"), "the value field was not announced when the window opened")
        log(f"F8 window: list {named.get('list')}, fields {named.get('text')}, default {default!r}")
        mark = self.announcements.mark()
        self.type_text("Journey")
        self.keys("Return")
        wait_for(f"{TITLE!r} announced as the current row", lambda: self.announced(mark, "table cell", TITLE), timeout=20)
        wait_for("the tree narrowed to the matching note", lambda: self.row_titles(tree) == [TITLE], timeout=20)
        wait_for("the filter window closed", lambda: self.dialog(app, "Filter Tindrels") is None, timeout=20)
        log(f"F8 'Journey': the tree holds only {TITLE!r}, announced as the current row")

        self.focus(window)
        mark = self.announcements.mark()
        self.keys("F8")
        wait_for("the filter window again, its value field focused",
                 lambda: self.announced(mark, "text", "Field Value"), timeout=20)
        mark = self.announcements.mark()
        self.keys("alt+n")
        # New Search clears every criterion and puts the focus on the field list.
        wait_for("the field list focused by New Search", lambda: self.announced(mark, "list", "Fields"), timeout=20)
        self.keys("Return")
        wait_for("every note back", lambda: len(self.row_titles(tree)) == all_rows, timeout=20)
        log(f"F8 New Search: {all_rows} rows again")

    def check_window_class(self, window):
        """The desktop groups the window with its entry by the window's class, which must be the
        entry's StartupWMClass."""
        data_home = os.path.join(self.work, "data")
        env = dict(self.env, XDG_DATA_HOME=data_home)
        subprocess.run(["bash", self.args.desktop_entry, "install", self.folder, self.args.icons], env=env, check=True,
                       stdout=subprocess.DEVNULL, timeout=60)
        with open(os.path.join(data_home, "applications", "tindrel.desktop")) as entry:
            wm_class = [line.split("=", 1)[1] for line in entry.read().splitlines() if line.startswith("StartupWMClass=")]
        check(len(wm_class) == 1, "the desktop entry has no StartupWMClass")
        answer = subprocess.run(
            ["xdotool", "search", "--all", "--pid", str(self.program.pid), "--class", f"^{wm_class[0]}$"],
            env=self.env, capture_output=True, text=True, timeout=10)
        check(window in answer.stdout.split(), f"the window's class is not the entry's StartupWMClass {wm_class[0]!r}")
        log(f"the window's class is the desktop entry's StartupWMClass {wm_class[0]!r}")

    def check_window_title(self, window):
        """The window's title on the desktop is exactly the program's caption, with nothing
        appended."""
        answer = subprocess.run(["xdotool", "getwindowname", window], env=self.env, capture_output=True, text=True,
                                timeout=10)
        title = answer.stdout.rstrip("\n")
        check(title == CAPTION, f"the window's title is {title!r}, not {CAPTION!r}")
        log(f"the window's title is {title!r}")

    def end_with_sigterm(self, app, window):
        """Word wrap switched on and typing left pending in the memo, then the SIGTERM a desktop
        sends at logout or shutdown: the program ends as by a close, the typing stored and the
        settings written."""
        self.focus(window)
        self.keys("ctrl+w")
        self.keys("Tab")
        wait_for("the memo focused after Tab", lambda: self.focused(app, self.Atspi.Role.TEXT, "Note text"), timeout=20)
        self.type_text(PENDING)  # at the caret, which a browsing memo keeps at its start
        try:
            wait_for("the pending typing in the memo", lambda: self.memo_text(app) == PENDING + MEMO, timeout=20)
        except JourneyFailed:
            raise JourneyFailed(f"the memo reads {self.memo_text(app)!r}, not {PENDING + MEMO!r}")
        check(self.post_and_cancel(app) == (True, True), "the typing is not pending before the SIGTERM")
        self.program.send_signal(signal.SIGTERM)
        try:
            self.program.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise JourneyFailed("a SIGTERM did not end the program within 30 s")
        check(self.program.returncode == 0, f"after a SIGTERM the program ended with status {self.program.returncode}")
        with open(os.path.join(self.folder, "TindrelII.ini")) as settings:
            written = settings.read()
        check("MemoWordWrap=1" in written, f"the settings were not written at the SIGTERM:\n{written}")
        log("a SIGTERM with typing pending ended the program as a close, settings written")

    def rows_with(self, tree, title):
        rows = self.row_titles(tree)
        return rows if title in rows else None

    def post_and_cancel(self, app):
        """Whether the navigator's Post and Cancel buttons are enabled, found by their descriptions."""
        buttons = self.navigator_buttons(app)
        post = [b["enabled"] for b in buttons if b["description"].startswith("Post")]
        cancel = [b["enabled"] for b in buttons if b["description"].startswith("Cancel")]
        check(post and cancel, "the navigator has no Post or no Cancel button described on the bus")
        return post[0], cancel[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--table-tool", required=True)
    parser.add_argument("--desktop-entry", required=True)
    parser.add_argument("--icons", required=True)
    parser.add_argument("--artifacts")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()

    missing = missing_tools()
    if missing:
        print("skipped: missing " + ", ".join(missing) + " (run scripts/setup.sh)", flush=True)
        return SKIP

    work = tempfile.mkdtemp(prefix="tindrel-atspi-")
    journey = Journey(args, work)

    def ended(signum, _frame):
        journey.processes.stop_all()
        sys.exit(128 + signum)

    signal.signal(signal.SIGTERM, ended)
    signal.signal(signal.SIGINT, ended)
    try:
        journey.run()
        print("atspi journey passed", flush=True)
        return 0
    except JourneyFailed as failure:
        print(f"FAILED: {failure}", flush=True)
        for name in ("tindrel.log", "xvfb.log"):
            log_path = os.path.join(work, name)
            if os.path.exists(log_path):
                with open(log_path) as log_file:
                    print(f"--- {name}")
                    sys.stdout.write(log_file.read()[-4000:])
        return 1
    finally:
        journey.processes.stop_all()
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
        else:
            print(f"kept {work}")


if __name__ == "__main__":
    sys.exit(main())
