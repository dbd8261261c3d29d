#!/usr/bin/python3
"""The installed program, started by an unprivileged user on a Wayland desktop.

Installs the build into a temporary folder (the command's folder moved there), makes a
sandbox machine, and as the user nobody, with Debian's usual user PATH (no sbin folder),
starts weston's headless compositor and the command `bootwright` on it with
QT_QPA_PLATFORM=wayland and no X display. Driven through AT-SPI actions (a Wayland
compositor takes no synthetic keys), the wizard runs "Create New Filesystem" on the sandbox
key; the key's new partition table and the trace lines on standard error (the environment
reached the program, mkfs.fat was found) are checked. A second start without
QT_QPA_PLATFORM, beside an X display that does not exist, must open on Wayland all the same.

    wayland_route.py BUILD_DIR MAKE_SANDBOX

Exit status 77: weston, dbus-run-session, setpriv or python3-pyatspi is missing, or the
test cannot switch to the user nobody: the test is skipped.
"""

import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "accessibility"))
from screen_reader_tour import CANCEL, NEXT, Failure, Wizard, wait_for  # noqa: E402

SKIP = 77
INNER = "BOOTWRIGHT_WAYLAND_INNER"
USER_PATH = "/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games"
SOCKET = "bw-wayland"


# ---- as root: the installed tree, the machine, the user ------------------------------------

def install(build, stage):
    """The build installed under stage, moved there whole: returns the command, rewritten to
    start the staged program."""
    subprocess.run(["cmake", "--install", build], env=dict(os.environ, DESTDIR=stage), check=True,
                   stdout=subprocess.DEVNULL)
    command = os.path.join(stage, "usr", "bin", "bootwright")
    with open(command) as f:
        text = f.read()
    folder = "'/usr/lib/bootwright/bootwright'"
    if folder not in text:
        raise Failure(f"the command does not start {folder}:\n{text}")
    with open(command, "w") as f:
        f.write(text.replace(folder, f"'{stage}/usr/lib/bootwright/bootwright'"))
    # The UEFI loader links lead into the packages the package depends on, as installed.
    for package_folder in ("shim", "grub"):
        os.symlink(f"/usr/lib/{package_folder}", os.path.join(stage, "usr", "lib", package_folder))
    return command


def outer(argv):
    build, make_sandbox = os.path.abspath(argv[0]), os.path.abspath(argv[1])
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        print("SKIP: python3-pyatspi is not installed")
        return SKIP
    for tool in ("weston", "dbus-run-session", "setpriv"):
        if not shutil.which(tool):
            print(f"SKIP: {tool} is not installed (scripts/setup installs it)")
            return SKIP
    if os.getuid() != 0:
        print("SKIP: the test switches to the user nobody, which needs root")
        return SKIP
    nobody = pwd.getpwnam("nobody")
    work = tempfile.mkdtemp(prefix="bw-wayland-")
    try:
        os.chmod(work, 0o755)
        command = install(build, os.path.join(work, "stage"))
        machine = os.path.join(work, "machine")
        subprocess.run([make_sandbox, machine], check=True, stdout=subprocess.DEVNULL)
        home = os.path.join(work, "home")
        runtime = os.path.join(work, "runtime")
        os.mkdir(home)
        os.mkdir(runtime, 0o700)
        for folder in (machine, home, runtime):
            for root, dirs, files in os.walk(folder):
                for name in [root] + [os.path.join(root, n) for n in dirs + files]:
                    os.chown(name, nobody.pw_uid, nobody.pw_gid)
        env = {"HOME": home, "XDG_RUNTIME_DIR": runtime, "PATH": USER_PATH, "LANG": "C.UTF-8", INNER: "1"}
        # The sanitizers' settings of the suite (no leak report for the display libraries' own).
        env.update({k: v for k, v in os.environ.items() if k in ("ASAN_OPTIONS", "UBSAN_OPTIONS")})
        cmd = ["setpriv", f"--reuid={nobody.pw_uid}", f"--regid={nobody.pw_gid}", "--clear-groups",
               "dbus-run-session", "--", sys.executable, os.path.abspath(__file__), command, machine]
        return subprocess.run(cmd, env=env, timeout=170).returncode
    except Failure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


# ---- as nobody: the compositor, the program, the route -------------------------------------

class Program:
    """The command started on the compositor, found on the accessibility bus."""

    def __init__(self, pyatspi, atspi, command, env, log):
        self.at = pyatspi
        self.atspi = atspi
        self.log = log
        with open(log, "w") as stderr:
            self.proc = subprocess.Popen([command], cwd=os.environ["HOME"], env=env,
                                         stdout=subprocess.DEVNULL, stderr=stderr)

    def started(self):
        """Waits for the program's window on the accessibility bus; returns the wizard."""
        self.app = wait_for("the program on the accessibility bus",
                            lambda: self.proc.poll() is not None or self.find(), timeout=30)
        if self.proc.poll() is not None:
            raise Failure(f"the program ended at start with status {self.proc.returncode}")
        self.app.set_cache_mask(self.atspi.Cache.NONE)   # read everything live
        wizard = Wizard(self.at, self.app, self.proc, None, False)
        wait_for("the wizard window", wizard.dialog)
        return wizard

    def find(self):
        desktop = self.at.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.get_process_id() == self.proc.pid:
                return app
        return None

    def stderr(self):
        with open(self.log) as f:
            return f.read()

    def end(self, wizard):
        wizard.press(CANCEL)
        wait_for("the program to end", lambda: self.proc.poll() is not None)
        if self.proc.returncode != 0:
            raise Failure(f"the program ended with status {self.proc.returncode}:\n{self.stderr()}")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def create_new_filesystem(wizard):
    wizard.expect_page("Bootwright", "Welcome.")
    wizard.press(NEXT)
    wizard.expect_page("Find")
    wizard.press(NEXT)
    wizard.expect_page("Task")
    wizard.choose("Create New or Replace Existing Configuration")
    wizard.press(NEXT)
    wizard.expect_page("Role")
    wizard.choose("Hard Drive")
    wizard.press(NEXT)
    wizard.expect_page("Filesystem")
    wizard.choose("Create New Filesystem")
    wizard.press(NEXT)   # blank, boot code, partition table, format, SYSLINUX
    wizard.expect_page("Configuration")


def check_key(machine):
    """One active FAT16 partition one track in, where the sandbox key came with FAT32 from 1 MiB."""
    with open(os.path.join(machine, "key.img"), "rb") as key:
        mbr = key.read(512)
    entry = mbr[446:462]
    if mbr[510:512] != b"\x55\xaa" or entry[0] != 0x80 or entry[4] != 0x06 or int.from_bytes(entry[8:12], "little") != 63:
        raise Failure(f"the key was not prepared: partition entry {entry.hex()}")


def check_trace(text):
    """The trace reached the program through the command, and mkfs.fat, which lies off the
    user's PATH, was found and ran."""
    lines = text.splitlines()
    if not any(line.startswith("bootwright: discovery: disk 1") for line in lines):
        raise Failure(f"no discovery line on standard error:\n{text}")
    if not any(line.startswith("bootwright: run mkfs.fat") and line.endswith(": exit 0") for line in lines):
        raise Failure(f"no run of mkfs.fat that succeeded on standard error:\n{text}")


def inner(argv):
    import pyatspi
    from gi.repository import Atspi
    command, machine = argv[0], argv[1]
    Atspi.set_timeout(10000, 15000)
    runtime = os.environ["XDG_RUNTIME_DIR"]
    weston = subprocess.Popen(["weston", "--backend=headless-backend.so", f"--socket={SOCKET}", "--idle-time=0",
                               f"--log={runtime}/weston.log"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    programs = []
    try:
        wait_for("weston's socket", lambda: weston.poll() is not None or os.path.exists(os.path.join(runtime, SOCKET)))
        if weston.poll() is not None:
            raise Failure(f"weston ended at start with status {weston.returncode}")
        base = dict(os.environ, WAYLAND_DISPLAY=SOCKET, BOOTWRIGHT_MACHINE=machine,
                    QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
        for name in ("DISPLAY", "QT_QPA_PLATFORM", INNER):
            base.pop(name, None)

        # As asked for: Wayland, the trace on.
        env = dict(base, QT_QPA_PLATFORM="wayland", BOOTWRIGHT_TRACE="1")
        programs.append(Program(pyatspi, Atspi, command, env, os.path.join(runtime, "first.log")))
        wizard = programs[-1].started()
        create_new_filesystem(wizard)
        check_key(machine)
        programs[-1].end(wizard)
        check_trace(programs[-1].stderr())

        # As a desktop starts it: Wayland chosen by the program itself, beside a dead X display.
        env = dict(base, DISPLAY=":77")
        programs.append(Program(pyatspi, Atspi, command, env, os.path.join(runtime, "second.log")))
        wizard = programs[-1].started()
        wizard.expect_page("Bootwright", "Welcome.")
        programs[-1].end(wizard)
        print(f"wayland route: the installed command ran as {pwd.getpwuid(os.getuid()).pw_name} on weston "
              "(headless), prepared the key with \"Create New Filesystem\", and opened on Wayland by itself")
        return 0
    except Failure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        if programs:
            print(f"the program's standard error:\n{programs[-1].stderr()}", file=sys.stderr)
        return 1
    finally:
        for program in programs:
            program.stop()
        weston.terminate()
        weston.wait()


if __name__ == "__main__":
    args = sys.argv[1:]
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(inner(args) if os.environ.get(INNER) == "1" else outer(args))
