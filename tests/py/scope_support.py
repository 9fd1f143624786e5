"""Shared by the Python tests: the interpreter that has Debian's client
packages, the program under test and its printed lines, the tally of cases."""
import collections
import os
import queue
import shutil
import socket
import subprocess
import sys
import threading
import time


def system_python_or_exit(package):
    """Called when a client library cannot be imported: Debian's python3-*
    packages belong to the system interpreter, so the script is re-run there;
    without it the test fails with a line naming the package."""
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != "/usr/bin/python3":
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    print(f"{package} is not installed (scripts/install-deps.sh)")
    sys.exit(1)


# Seconds a test waits for what the instrument does in its own time (a reply,
# a setting followed, a file written); only a fault waits this long, so a
# loaded machine makes a test slower, never failing.
WAIT_LIMIT = 60.0
LAST_LINES = 200  # of a program's output, shown when it fails


def wait_until(check, timeout=WAIT_LIMIT, interval=0.05):
    """Calls check() until it returns a true value and returns that value;
    None when `timeout` seconds passed first. An exception check() raises
    counts as not yet (the last one is raised when time runs out)."""
    end = time.monotonic() + timeout
    while True:
        error = None
        try:
            value = check()
            if value:
                return value
        except Exception as e:  # noqa: BLE001 - the state is not there yet
            error = e
        if time.monotonic() >= end:
            if error is not None:
                raise error
            return None
        time.sleep(interval)


def frames_shown(root):
    """Frames the main loop has shown so far: the simulated LCD's counter
    (root/dev/frames, made with the first frame)."""
    try:
        with open(os.path.join(root, "dev", "frames"), "rb") as f:
            return int.from_bytes(f.read(8), sys.byteorder)
    except FileNotFoundError:
        return 0


def wait_frames(root, count):
    """Returns once the main loop has shown `count` more frames: a pass begun
    before the call has ended, and its results are on the screen."""
    start = frames_shown(root)
    assert wait_until(lambda: frames_shown(root) >= start + count), "no frames shown"


def free_port():
    """A TCP port free on loopback now (for a server's port variable)."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def opc_done(s):
    """Waits for *OPC? (asked over pyvisa session `s`) to answer 1: what the
    commands sent before it set is then in force."""
    assert wait_until(lambda: s.query("*OPC?").strip() == "1"), "*OPC? never answered 1"


NO_ERROR = '0,"No error"'


def drain_errors(ask):
    """Every error `ask("SYSTem:ERRor?")` still has queued, oldest first."""
    errors = []
    while True:
        e = ask("SYSTem:ERRor?")
        if e == NO_ERROR:
            return errors
        errors.append(e)


def write_signals(root, text):
    """The instrument root's test-signal file (dev/signals), its folders made."""
    os.makedirs(os.path.join(root, "dev"), exist_ok=True)
    with open(os.path.join(root, "dev", "signals"), "w") as f:
        f.write(text)


class LineProcess:
    """A program of the build and the lines it prints, read on a thread."""

    def __init__(self, args, **popen):
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, text=True, **popen)
        self.lines = queue.Queue()
        self.last = collections.deque(maxlen=LAST_LINES)  # what a failure report shows
        self.pump = threading.Thread(target=self._pump, daemon=True)
        self.pump.start()

    def _pump(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\n"))
            self.last.append(line.rstrip("\n"))

    def print_last(self):
        """The program's last lines (a sanitizer's report among them)."""
        self.pump.join(timeout=5)
        print("--- the last %d lines it printed:" % len(self.last))
        for line in self.last:
            print("  " + line)

    def next_line(self, timeout):
        try:
            return self.lines.get(timeout=timeout)
        except queue.Empty:
            return None

    def wait_line(self, match, timeout):
        """Skips lines until match(line); the line, or None when none came in time."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            line = self.next_line(max(0.01, end - time.monotonic()))
            if line is None:
                return None
            if match(line):
                return line
        return None

    def drain(self):
        while not self.lines.empty():
            self.lines.get_nowait()

    def alive(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout):
        """The exit status, or -1 after killing a program that did not end in time."""
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            return -1


class Tally:
    """Runs the cases of one script and reports them, a line each."""

    def __init__(self):
        self.passed = self.failed = self.skipped = 0

    def fail(self, text):
        print("FAIL: %s" % text)
        self.failed += 1

    def run(self, name, call):
        """One case: call() returns None, or the reason it was skipped."""
        try:
            why = call()
        except Exception as e:  # noqa: BLE001 - every failure is reported
            self.fail("%s: %r" % (name, e))
            return
        if why:
            print("skipped: %s (%s)" % (name, why))
            self.skipped += 1
        else:
            print("ok: %s" % name)
            self.passed += 1

    def finish(self, program, label, tmp):
        """Stops the program under test, checks it ran to the end cleanly,
        removes the scratch folder; the script's exit status."""
        if not program.alive():
            self.fail("%s ended" % label)
        rc = program.stop()
        if rc != 0:
            self.fail("%s exit status %d" % (label, rc))
            if hasattr(program, "print_last"):
                program.print_last()
        shutil.rmtree(tmp, ignore_errors=True)
        print("%d passed, %d failed, %d skipped" % (self.passed, self.failed, self.skipped))
        return 1 if self.failed else 0
