#!/usr/bin/python3
"""The wizard as a screen reader sees it.

Starts the real program on a fresh sandbox machine under Xvfb, with its own session bus
and accessibility bus, and reads it through AT-SPI (pyatspi), as Orca would: on every page
the role, name and state of each control, and which one has the focus; meanwhile it walks
the fresh firmware-flash route by control names alone, pressing through AT-SPI actions,
and with the keyboard where the keys are the point (arrows within a radio group, Enter for
Next, Tab to the wizard's buttons and back, Esc to leave).

    screen_reader_tour.py PROGRAM MAKE_SANDBOX [--dump]

--dump prints each page's tree as it is reached. Exit status 77: a tool is missing
(python3-pyatspi, Xvfb, dbus-run-session), the test is skipped.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
INNER = "BOOTWRIGHT_A11Y_INNER"


# ---- starting up ---------------------------------------------------------------------------

def outer(argv):
    """Checks the tools, then runs this script again on its own X server and session bus."""
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        print("SKIP: python3-pyatspi is not installed")
        return SKIP
    for tool in ("Xvfb", "dbus-run-session"):
        if not shutil.which(tool):
            print(f"SKIP: {tool} is not installed")
            return SKIP
    # Xvfb picks a free display itself (-displayfd): other X servers on this machine,
    # started at the same moment, cannot take it. -noreset: the accessibility bus connects
    # and leaves first, and a server that resets then refuses the program for a moment.
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-noreset",
                             "-screen", "0", "1024x768x24"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    try:
        with os.fdopen(read_end) as displayfd:
            display = displayfd.readline().strip()
        if not display:
            print("FAIL: Xvfb did not start", file=sys.stderr)
            return 1
        env = dict(os.environ, DISPLAY=":" + display)
        env[INNER] = "1"
        for name in ("QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "XAUTHORITY"):
            env.pop(name, None)   # the suite runs offscreen; this test has its own X and buses
        cmd = ["dbus-run-session", "--", sys.executable, os.path.abspath(__file__)] + argv
        return subprocess.run(cmd, env=env, timeout=110).returncode
    finally:
        xvfb.terminate()
        xvfb.wait()


class Failure(Exception):
    pass


def wait_for(what, probe, timeout=15.0):
    """Polls probe until it returns something true; the program may be busy meanwhile."""
    from gi.repository import GLib
    end = time.monotonic() + timeout
    while True:
        try:
            value = probe()
            if value:
                return value
        except GLib.GError:
            pass   # the program did not answer in time; ask again
        if time.monotonic() > end:
            raise Failure(f"timed out waiting for {what}")
        time.sleep(0.1)


# ---- reading the tree ----------------------------------------------------------------------

class Wizard:
    def __init__(self, pyatspi, app, proc, machine, dump):
        self.machine = machine
        self.at = pyatspi
        self.app = app
        self.proc = proc
        self.dump = dump

    def dialog(self):
        for i in range(self.app.childCount):
            child = self.app.getChildAtIndex(i)
            if child is not None and child.getRoleName() == "dialog":
                return child
        return None

    def states(self, acc):
        return {self.at.stateToString(s) for s in acc.getState().getStates()}

    def children(self, acc):
        return [acc.getChildAtIndex(i) for i in range(acc.childCount)]

    def page(self):
        """The page shown: the showing pane among the dialog's children."""
        dialog = self.dialog()
        panes = [c for c in self.children(dialog) if c.getRoleName() == "filler" and "showing" in self.states(c)]
        if len(panes) != 1:
            raise Failure(f"{len(panes)} pages are showing")
        return panes[0]

    def controls(self):
        return self.children(self.page())

    def sheet_button(self, name):
        for c in self.children(self.dialog()):
            if c.getRoleName() == "push button" and c.name == name:
                return c
        raise Failure(f"the wizard has no button {name!r}")

    def control(self, role, name):
        found = [c for c in self.controls() if c.getRoleName() == role and c.name == name]
        if len(found) != 1:
            raise Failure(f"{len(found)} controls {role} {name!r} on page {self.page().name!r}")
        return found[0]

    def describe(self, acc, depth=0):
        states = sorted(self.states(acc) & {"checked", "focused", "enabled", "editable", "showing", "is default"})
        text = f"{'  ' * depth}{acc.getRoleName()} {acc.name!r} {' '.join(states)}"
        try:
            value = acc.queryText().getText(0, -1) if acc.getRoleName() == "text" else ""
            if value:
                text += f" text={value!r}"
        except NotImplementedError:
            pass
        return text

    def tree(self):
        lines = [self.describe(self.dialog())]
        for c in self.children(self.dialog()):
            if "showing" in self.states(c):
                lines.append(self.describe(c, 1))
                if c.getRoleName() == "filler":
                    lines += [self.describe(k, 2) for k in self.children(c)]
        return "\n".join(lines)

    # ---- what the page must look like --------------------------------------------------

    def expect_page(self, caption, first_text=None):
        """Waits until the page with this caption (and first control text) is shown."""
        def shown():
            try:
                page = self.page()
            except Failure:
                return False   # between two pages
            if page.name != caption or self.dialog().name != caption:
                return False
            return first_text is None or (self.controls() and self.controls()[0].name.startswith(first_text))
        wait_for(f"page {caption!r}", shown, timeout=45)   # Next may prepare the key first
        if self.dump:
            print(self.tree() + "\n", flush=True)

    def expect_controls(self, expected):
        """expected: (role, name, states) for each control of the page, in order. states
        is a string of words: a word must be a state of the control, -word must not."""
        actual = self.controls()
        summary = "\n".join(self.describe(c) for c in actual)
        if len(actual) != len(expected):
            raise Failure(f"page {self.page().name!r}: {len(actual)} controls, expected {len(expected)}:\n{summary}")
        for acc, (role, name, states) in zip(actual, expected):
            where = f"page {self.page().name!r}, {role} {name!r}"
            if acc.getRoleName() != role:
                raise Failure(f"{where}: role is {acc.getRoleName()!r}\n{summary}")
            if acc.name != name:
                raise Failure(f"{where}: name is {acc.name!r}\n{summary}")
            self.expect_states(acc, states, where)

    def expect_states(self, acc, states, where):
        have = self.states(acc)
        for word in states.split():
            state = word.lstrip("-").replace("_", " ")
            if word.startswith("-") == (state in have):
                raise Failure(f"{where}: {'has' if word.startswith('-') else 'lacks'} state {state!r}; has {sorted(have)}")

    def expect_focus(self, role, name):
        wait_for(f"the focus on {role} {name!r}", lambda: "focused" in self.states(self.control(role, name)))

    # ---- doing things ------------------------------------------------------------------

    def act(self, acc, *names):
        action = acc.queryAction()
        available = [action.getName(i) for i in range(action.nActions)]
        for i, n in enumerate(available):
            if n.lower() in names:
                action.doAction(i)
                return
        raise Failure(f"{acc.getRoleName()} {acc.name!r} offers {available}, not {names}")

    def press(self, name):
        """A wizard button (Back, Next, Finish, Cancel) or a push button on the page."""
        try:
            button = self.sheet_button(name)
        except Failure:
            button = self.control("push button", name)
        if "enabled" not in self.states(button):
            raise Failure(f"button {name!r} is disabled")
        self.act(button, "press", "click")

    def choose(self, name):
        """Presses a radio button; it must come out checked."""
        radio = self.control("radio button", name)
        self.act(radio, "toggle", "press", "click")
        wait_for(f"{name!r} checked", lambda: "checked" in self.states(self.control("radio button", name)))

    def key(self, keysym, shift=False):
        """A key pressed on the keyboard, into the window that has the keyboard."""
        generate = self.at.Registry.generateKeyboardEvent
        if shift:
            generate(SHIFT_MASK, None, self.at.KEY_LOCKMODIFIERS)
        generate(keysym, None, self.at.KEY_SYM)
        if shift:
            generate(SHIFT_MASK, None, self.at.KEY_UNLOCKMODIFIERS)
        time.sleep(0.15)

    def expect_button_focus(self, name):
        wait_for(f"the focus on button {name!r}", lambda: "focused" in self.states(self.sheet_button(name)))


KEY_UP, KEY_DOWN, KEY_RETURN, KEY_TAB, KEY_ESCAPE = 0xFF52, 0xFF54, 0xFF0D, 0xFF09, 0xFF1B
SHIFT_MASK = 1

BACK, NEXT, FINISH, CANCEL = "< Back", "Next >", "Finish", "Cancel"


# ---- the route -----------------------------------------------------------------------------

def welcome(w):
    w.expect_page("Bootwright", "Welcome.")
    w.expect_controls([("label", w.controls()[0].name, "")])
    for name, states in ((BACK, "-enabled"), (NEXT, "enabled is_default focused"), (CANCEL, "enabled")):
        w.expect_states(w.sheet_button(name), states, f"welcome page, button {name!r}")
    w.press(NEXT)


def find_key(w):
    w.expect_page("Find")
    controls = w.controls()
    w.expect_controls([
        ("label", "Choose the drive letter your key drive is currently using:", ""),
        ("label", "Drive Letter:", ""),
        ("combo box", "Drive Letter:", "enabled focused"),
        ("label", controls[3].name, ""),
    ])
    # The sandbox key is listed and chosen (the selected entry of the list), and the line
    # under the list names it.
    combo = controls[2]
    entries = {e.name: "selected" in w.states(e) for e in w.children(combo.getChildAtIndex(0))}
    if len(entries) != 1 or not all(len(e) == 2 and e.endswith(":") and chosen for e, chosen in entries.items()):
        raise Failure(f"the drive list holds {entries} (entry: chosen)")
    if "Virtual Kivra 256 MB" not in controls[3].name:
        raise Failure(f"the key description reads {controls[3].name!r}")
    relations = [r.getRelationType() for r in combo.getRelationSet()]
    if w.at.RELATION_LABELLED_BY not in relations:
        raise Failure("the drive list is not labelled by its label")
    w.press(NEXT)


def task(w):
    w.expect_page("Task")
    w.expect_controls([
        ("label", "Choose what task you would like to perform:", ""),
        ("radio button", "Backup / Restore", "enabled -checked"),
        ("radio button", "Create New or Replace Existing Configuration", "enabled checked focused"),
        ("radio button", "Add Configuration to Existing Key", "enabled -checked"),
        ("check box", "Backup Existing Contents", "enabled -checked"),
        ("label", "Create fresh configuration files to allow your key to boot.  (Recommended)", ""),
        ("label", "Modify the configuration of an existing key to add a boot choice.", ""),
        ("label", "Perform a backup or restore operation on a key.", ""),
    ])
    # With the keyboard: the arrows move the check within the group, the check box follows
    # the task, and Enter is Next.
    w.key(KEY_DOWN)
    w.expect_focus("radio button", "Add Configuration to Existing Key")
    w.expect_controls([
        ("label", "Choose what task you would like to perform:", ""),
        ("radio button", "Backup / Restore", "-checked"),
        ("radio button", "Create New or Replace Existing Configuration", "-checked"),
        ("radio button", "Add Configuration to Existing Key", "checked focused"),
        ("check box", "Backup Existing Contents", "-enabled"),
        ("label", "Create fresh configuration files to allow your key to boot.  (Recommended)", ""),
        ("label", "Modify the configuration of an existing key to add a boot choice.", ""),
        ("label", "Perform a backup or restore operation on a key.", ""),
    ])
    w.key(KEY_UP)
    w.expect_focus("radio button", "Create New or Replace Existing Configuration")
    w.choose("Create New or Replace Existing Configuration")
    w.key(KEY_RETURN)


def role(w):
    w.expect_page("Role")
    w.expect_controls([
        ("label", "Choose role you wish the key to serve", ""),
        ("radio button", "Hard Drive", "enabled checked focused"),
        ("radio button", "Floppy Disk", "enabled -checked"),
        ("label", "Format Kivra as a fixed disk, mapping it to drive C: under DOS.", ""),
        ("label", "Format Kivra as a floppy disk to give it DOS based floppy disk functionallity.  "
                  "Warning, this will erase the selected Kivra.", ""),
    ])
    # Tab leaves the radio group for the wizard's buttons, Shift+Tab comes back to it.
    w.key(KEY_TAB)
    w.expect_button_focus(BACK)
    w.key(KEY_TAB)
    w.expect_button_focus(NEXT)
    w.key(KEY_TAB, shift=True)
    w.expect_button_focus(BACK)
    w.key(KEY_TAB, shift=True)
    w.expect_focus("radio button", "Hard Drive")
    w.choose("Hard Drive")
    w.press(NEXT)


def filesystem(w):
    w.expect_page("Filesystem")
    w.expect_controls([
        ("radio button", "Create New Filesystem", "enabled checked focused"),
        ("radio button", "Leave current filesystem entact", "enabled -checked"),
        ("label", "Removes current contents of the key.  This will repartition and reformat the key to "
                  "utilize it's maximum capacity.  (Recomended)", ""),
        ("label", "Leaves current contents of the key unchanged.  This will preserve any existing or "
                  "data currently on the key.", ""),
        ("label", "", ""),   # the status line
    ])
    w.choose("Create New Filesystem")
    w.press(NEXT)   # prepares the key: partition table, format, SYSLINUX


def configuration(w):
    w.expect_page("Configuration")
    w.expect_controls([
        ("radio button", "Korvel Firmware Flash Package", "enabled focused"),
        ("radio button", "Floppy Image", "enabled -checked"),
        ("label", "Drive:", ""),
        ("combo box", "Drive:", ""),
        ("panel", "Menu Text", ""),
        ("label", "Short name:", ""),
        ("label", "Long name:", ""),
        ("text", "Short name:", ""),
        ("text", "Long name:", ""),
        ("label", "", ""),   # the status line
        ("label", "This option will prepare this key as a Korvel firmware flash device. (recommended)", ""),
        ("label", "This option will add a floppy image as a boot option for this key.", ""),
    ])
    # The preparation really ran: the key's partition table is new (one active FAT16
    # partition one track in, where the key came with FAT32 from 1 MiB).
    with open(os.path.join(w.machine, "key.img"), "rb") as key:
        mbr = key.read(512)
    entry = mbr[446:462]
    if mbr[510:512] != b"\x55\xaa" or entry[0] != 0x80 or entry[4] != 0x06 or int.from_bytes(entry[8:12], "little") != 63:
        raise Failure(f"the key was not prepared: partition entry {entry.hex()}")
    w.choose("Korvel Firmware Flash Package")
    w.press(NEXT)
    w.expect_page("Bootwright", "Configuration Succesful!")
    w.expect_states(w.sheet_button(FINISH), "enabled is_default focused", "completion page, Finish")
    w.press(FINISH)
    wait_for("the program to end", lambda: w.proc.poll() is not None)


def leave(w):
    """Esc is Cancel: a wizard still open closes, and the program ends."""
    if w.proc.poll() is None:
        w.key(KEY_ESCAPE)
    wait_for("the program to end", lambda: w.proc.poll() is not None)
    if w.proc.returncode != 0:
        raise Failure(f"the program ended with status {w.proc.returncode}")


ROUTE = [welcome, find_key, task, role, filesystem, configuration, leave]


# ---- the run -------------------------------------------------------------------------------

def inner(argv):
    import pyatspi
    from gi.repository import Atspi
    program, make_sandbox = os.path.abspath(argv[0]), os.path.abspath(argv[1])
    dump = "--dump" in argv
    # The preparation keeps the program busy for a second or two; calls wait that long.
    Atspi.set_timeout(10000, 15000)
    work = tempfile.mkdtemp(prefix="bw-a11y-")
    proc = None
    try:
        machine = os.path.join(work, "machine")
        subprocess.run([make_sandbox, machine], check=True, stdout=subprocess.DEVNULL)
        env = dict(os.environ, BOOTWRIGHT_MACHINE=machine, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   QT_ACCESSIBILITY="1", LANG="C.UTF-8")
        proc = subprocess.Popen([program], cwd=os.path.dirname(program), env=env)

        def find_app():
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is not None and app.get_process_id() == proc.pid:
                    return app
            return None
        app = wait_for("the program on the accessibility bus", lambda: proc.poll() is not None or find_app(), timeout=30)
        if proc.poll() is not None:
            raise Failure(f"the program ended at start with status {proc.returncode}")
        # Read everything live: what a cache holds depends on when events arrive.
        app.set_cache_mask(Atspi.Cache.NONE)
        wizard = Wizard(pyatspi, app, proc, machine, dump)
        wait_for("the wizard window", wizard.dialog)
        for step in ROUTE:
            try:
                step(wizard)
            except Failure:
                if proc.poll() is None:
                    print(wizard.tree(), file=sys.stderr)
                elif step is not leave:
                    raise Failure(f"the program ended with status {proc.returncode}")
                raise
        print("screen reader tour: every page of the route read, walked and left")
        return 0
    except Failure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    finally:
        if proc is not None:
            proc.terminate()
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    args = sys.argv[1:]
    if len(args) < 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(inner(args) if os.environ.get(INNER) == "1" else outer(args))
