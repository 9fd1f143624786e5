#!/usr/bin/env python3
"""Benchmark (not a test): how long a remote user waits while the instrument
works. One pyvisa-py link over VXI-11 asks *IDN? back to back and each round
trip is timed:
- during a long operation: the panel AUTO key, RUN/STOP pressed in roll
  (stop, then run), a setup recall (FILE:LOAD of a setup file, run by the
  main loop), a CSV save of a 56M record sent on another link, and the
  multi-scope switch on and off again (TIMebase:INDPendent, run by the main
  loop); the longest round trip from the operation's start to its end;
- in steady modes: p50 and p99 of the round trips at the start-up defaults,
  in roll (100 ms/div), with the FFT of CH1 at 1M points and with the
  UART decode lane shown.
For one build or several side by side (--before, --also: each scenario runs
on each build in turn, on a fresh root). The machine's load average is printed
with each figure: on a shared machine the figures are only as steady as the
load.

Usage: python3 bench_remote_waits.py --build <builddir> [--before <builddir>]
           [--also <label>=<builddir>] [--scenarios auto,runstop_roll,...]
           [--queries 600] [--repeats 3]
"""
import argparse
import os
import shutil
import statistics
import sys
import tempfile
import threading
import time

try:
    import pyvisa
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py")

from bench_cpu_modes import set_mode
from scope_support import wait_frames, wait_until, write_signals
from test_vxi11 import Instrument, open_instr

KEY_AUTO, KEY_RUNSTOP = 63, 59
os.environ.update(SCOPE_WS_CMD_PORT="0", SCOPE_WS_PIC_PORT="0")
# Frames the main loop shows once a key's handler has returned: a key read
# from the FIFO is routed in the next pass, and no frame is shown while its
# handler runs, so these frames come after the operation's end.
SETTLE_FRAMES = 10
BASELINE_QUERIES = 50  # the probe's round trips before an operation starts
UART = "bus uart rate=9600 parity=even interval=0.02 data=48,69,21\n"
STEADY = {
    "defaults": [],
    "roll": [":TIMebase:SCALe 0.1"],
    "fft1m": ["FUNC:MATH:MODE FFT", "math on", "FUNC:SOUR1 CHAN1", "FUNC:FFT:POIN 1M"],
    "decode": ["TIMebase:SCALe 5e-4", "SBUS:MODE RS232", "SBUS:RS232:BAUDrate 9600", "SBUS:RS232:PARity EVEN",
               "SBUS:DISPlay ON"],
}


class Probe:
    """*IDN? back to back on a link of its own; (start, seconds) of each."""

    def __init__(self, rm):
        self.session = open_instr(rm, 300000)
        self.times = []
        self.running = True
        self.thread = threading.Thread(target=self._run)
        self.thread.start()

    def _run(self):
        while self.running:
            t0 = time.monotonic()
            try:
                self.session.query("*IDN?")
            except pyvisa.errors.VisaIOError:  # no answer in 300 s: counted as that long
                pass
            self.times.append((t0, time.monotonic() - t0))

    def stop(self):
        self.running = False
        self.thread.join()
        self.session.close()

    def longest(self, start, end):
        """The longest round trip that overlapped [start, end]."""
        return max((d for t, d in self.times if t + d >= start and t <= end), default=0.0)


def key(root, code):
    with open(os.path.join(root, "dev", "keys"), "wb") as f:
        f.write(bytes([code]))


def started(build, signals=None):
    """scopeapp on a fresh root (removed by finished)."""
    root = os.path.join(tempfile.mkdtemp(prefix="remote-waits-"), "root")
    if signals:
        write_signals(root, signals)
    os.makedirs(os.path.join(root, "udisk"), exist_ok=True)
    inst = Instrument(build, root, False)
    rpc.PMAP_PORT = inst.portmap
    return inst, root, pyvisa.ResourceManager("@py")


def finished(inst, root, rm):
    rm.close()
    inst.stop()
    shutil.rmtree(os.path.dirname(root), ignore_errors=True)


def idle(s):
    """Waits until the instrument has run every command sent so far."""
    assert wait_until(lambda: s.query("*OPC?").strip() == "1", 300, interval=0.02)


def op_auto(root, s):
    key(root, KEY_AUTO)
    wait_frames(root, SETTLE_FRAMES)


def op_runstop_roll(root, s):
    for _ in range(2):  # stop, then run
        key(root, KEY_RUNSTOP)
        wait_frames(root, SETTLE_FRAMES)


def op_recall(root, s):
    s.write(':FILE:LOAD "BENCH.dat",FLASH')
    assert wait_until(lambda: s.query(":CHANnel1:SCALe?").strip() == "1.000000e+00", 60, interval=0.05)
    wait_frames(root, SETTLE_FRAMES)  # the recall's last step has run


def prepare_recall(s):
    s.write(":CHANnel1:SCALe 1")
    s.write(':FILE:SAVE "BENCH.dat",FLASH')
    idle(s)
    s.write(":CHANnel1:SCALe 0.2")
    idle(s)


def op_csv56m(root, s):
    path = os.path.join(root, "udisk", "KOLV", "Wave", "DEEP.csv")
    s.write(':FILE:SAVE "DEEP.csv",CHANnel1,UDISK')
    # Renamed into place once whole (*OPC? would wait for the probe's queries too).
    if not wait_until(lambda: os.path.exists(path), 300, interval=0.05):
        folder = os.path.dirname(path)
        raise AssertionError("no CSV: %s" % (os.listdir(folder) if os.path.isdir(folder) else "no folder"))


def op_multiscope(root, s):
    for on in ("1", "0"):  # switched on, then off: each reloads the FPGA and re-syncs the ADCs
        s.write(":TIMebase:INDPendent " + on)
        assert wait_until(lambda: s.query(":TIMebase:INDPendent?").strip() == on, 60, interval=0.05)
        wait_frames(root, SETTLE_FRAMES)


OPERATIONS = {
    "auto": (None, op_auto),
    "runstop_roll": (lambda s: (s.write(":TIMebase:SCALe 0.1"), idle(s)), op_runstop_roll),
    "recall": (prepare_recall, op_recall),
    "csv56m": (lambda s: (s.write(":ACQuire:MEMory:DEPTh 56M"), idle(s)), op_csv56m),
    "multiscope": (None, op_multiscope),
}


def run_operation(build, name):
    prepare, operate = OPERATIONS[name]
    inst, root, rm = started(build)
    try:
        other = open_instr(rm, 120000)
        if prepare:
            prepare(other)
        idle(other)
        if name == "runstop_roll":
            wait_frames(root, SETTLE_FRAMES)  # rolling
        probe = Probe(rm)
        try:
            assert wait_until(lambda: len(probe.times) >= BASELINE_QUERIES, 60)
            start = time.monotonic()
            try:
                operate(root, other)
            except AssertionError:
                lines = []
                while (line := inst.next_line(0.1)) is not None:
                    lines.append(line)
                print("\n".join(l for l in lines if any(w in l for w in ("Stor", "SAVE", "DEEP", "rror", "USB", "disk", "Msg", "ailed")))[-4000:])
                raise
            end = time.monotonic()
        finally:
            probe.stop()
        other.close()
        return probe.longest(start, end), len(probe.times)
    finally:
        finished(inst, root, rm)


def run_steady(build, name, queries):
    inst, root, rm = started(build, UART if name == "decode" else None)
    try:
        set_mode(rm, STEADY[name])
        wait_frames(root, SETTLE_FRAMES)
        s = open_instr(rm, 60000)
        times = []
        for _ in range(queries):
            t0 = time.monotonic()
            s.query("*IDN?")
            times.append(time.monotonic() - t0)
        s.close()
        times.sort()
        return times[len(times) // 2], times[min(len(times) - 1, int(len(times) * 0.99))]
    finally:
        finished(inst, root, rm)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--before", help="the build before the change, measured beside --build")
    ap.add_argument("--also", action="append", default=[], help="<label>=<builddir>, measured too")
    ap.add_argument("--scenarios", default=",".join(list(OPERATIONS) + list(STEADY)))
    ap.add_argument("--queries", type=int, default=600)
    ap.add_argument("--repeats", type=int, default=3)
    args = ap.parse_args()
    builds = [tuple(a.split("=", 1)) for a in args.also]
    if args.before:
        builds.append(("before", args.before))
    builds.append(("after" if args.before or builds else "", args.build))
    builds = [(label, os.path.abspath(path)) for label, path in builds]
    print(f"{os.cpu_count()} cores; *IDN? round trips on one VXI-11 link, in ms", flush=True)
    for name in args.scenarios.split(","):
        for label, build in builds:
            if name in OPERATIONS:
                runs = [run_operation(build, name) for _ in range(args.repeats)]
                worst = max(r[0] for r in runs)
                print(f"{name:13s} {label:7s} longest {1000 * worst:8.1f} "
                      f"(runs {', '.join('%.1f' % (1000 * r[0]) for r in runs)}; "
                      f"{sum(r[1] for r in runs)} queries), load {os.getloadavg()[0]:4.1f}", flush=True)
            else:
                runs = [run_steady(build, name, args.queries) for _ in range(args.repeats)]
                p50 = statistics.median(r[0] for r in runs)
                p99 = statistics.median(r[1] for r in runs)
                print(f"{name:13s} {label:7s} p50 {1000 * p50:7.2f}  p99 {1000 * p99:7.2f} "
                      f"(medians of {args.repeats} x {args.queries}), load {os.getloadavg()[0]:4.1f}", flush=True)


if __name__ == "__main__":
    sys.exit(main())
