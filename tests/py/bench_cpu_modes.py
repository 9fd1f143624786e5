#!/usr/bin/env python3
"""Benchmark (not a test): the CPU the running scopeapp takes in each of a few
modes, and the frames a second it shows, for one build or for two side by
side (--before: each mode runs on the other build right before this one).

Modes: the start-up defaults; roll (100 ms/div); high resolution at 200 us/div
with a 7K record (400 ADC values a sample); the FFT of CH1 at 1M points.
Each mode starts scopeapp on a fresh root, sets the mode over VXI-11, closes
the link, lets it settle, then takes the process's user + system time
(/proc/<pid>/stat) and the frames the simulated LCD was sent (the count in
root/dev/frames, where the build keeps one) over fixed intervals. The
machine's load average is printed with each figure: on a shared machine the
figures are only as steady as the load.

Usage: python3 bench_cpu_modes.py --build <builddir> [--before <builddir>]
                                  [--seconds 20] [--repeats 3] [--modes defaults,roll,hres,fft1m]
"""
import argparse
import os
import statistics
import struct
import sys
import tempfile
import time

try:
    import pyvisa
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py")

from test_vxi11 import Instrument, open_instr

SETTLE_S = 5
MODES = {
    "defaults": [],
    "roll": [":TIMebase:SCALe 0.1"],
    "zoom": [":TIMebase:MODE WINDow"],
    "persist": [":DISPlay:GRAD:TIME 500MS"],
    "hres": [":ACQuire:TYPE HRESolution", ":ACQuire:MEMory:DEPTh 7K", ":TIMebase:SCALe 2e-4"],
    "fft1m": ["FUNC:MATH:MODE FFT", "math on", "FUNC:SOUR1 CHAN1", "FUNC:FFT:POIN 1M"],
}


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def frames(root):
    """The frames shown so far; None when the build keeps no count."""
    try:
        with open(os.path.join(root, "dev", "frames"), "rb") as f:
            data = f.read(8)
        return struct.unpack("=Q", data)[0] if len(data) == 8 else None
    except OSError:
        return None


def set_mode(rm, lines):
    s = open_instr(rm, 20000)
    try:
        for line in lines:
            if line == "math on":
                if s.query("KEY:MATH:LED?").strip() != "1":
                    s.write("KEY:MATH")  # the math key, handled on the main loop
                deadline = time.monotonic() + 20
                while s.query("KEY:MATH:LED?").strip() != "1" and time.monotonic() < deadline:
                    time.sleep(0.1)
            else:
                s.write(line)
        s.query("*OPC?")
    finally:
        s.close()


def run_mode(build, mode, seconds, repeats):
    """[(cpu % of a core, frames/s or None, load average)] per interval."""
    root = os.path.join(tempfile.mkdtemp(prefix="cpu-modes-"), "root")
    inst = Instrument(build, root, False)
    rpc.PMAP_PORT = inst.portmap
    rm = pyvisa.ResourceManager("@py")
    out = []
    try:
        set_mode(rm, MODES[mode])
        time.sleep(SETTLE_S)
        pid = inst.proc.pid
        for _ in range(repeats):
            inst.drain()
            c0, f0, t0 = cpu_seconds(pid), frames(root), time.monotonic()
            time.sleep(seconds)
            c1, f1, t1 = cpu_seconds(pid), frames(root), time.monotonic()
            rate = None if f0 is None or f1 is None else (f1 - f0) / (t1 - t0)
            out.append((100.0 * (c1 - c0) / (t1 - t0), rate, os.getloadavg()[0]))
    finally:
        rm.close()
        inst.stop()
    return out


def show(label, mode, runs):
    cpu = [r[0] for r in runs]
    fps = [r[1] for r in runs if r[1] is not None]
    load = [r[2] for r in runs]
    fps_text = f"{statistics.median(fps):6.1f} frames/s" if fps else "     - frames/s"
    print(f"{mode:9s} {label:7s} CPU {statistics.median(cpu):6.1f} % of a core "
          f"(min {min(cpu):5.1f}, max {max(cpu):5.1f}), {fps_text}, load {min(load):4.1f}-{max(load):4.1f}",
          flush=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--before", help="a second build, measured right before --build in each mode")
    ap.add_argument("--seconds", type=float, default=20)
    ap.add_argument("--repeats", type=int, default=3)
    ap.add_argument("--modes", default=",".join(MODES))
    ap.add_argument("--rounds", type=int, default=1,
                    help="times the modes are gone through in turn; the summary takes every round")
    args = ap.parse_args()
    print(f"{os.cpu_count()} cores; {args.repeats} intervals of {args.seconds:.0f} s per mode, "
          f"{SETTLE_S} s after the mode is set; median CPU (utime + stime) and frames a second", flush=True)
    builds = ([("before", os.path.abspath(args.before))] if args.before else []) + [
        ("after" if args.before else "", os.path.abspath(args.build))]
    modes = args.modes.split(",")
    runs = {}
    for _ in range(args.rounds):
        for mode in modes:
            for label, build in builds:
                got = run_mode(build, mode, args.seconds, args.repeats)
                show(label, mode, got)
                runs.setdefault((mode, label), []).extend(got)
    if args.rounds > 1:
        print("summary over every round:")
        for mode in modes:
            for label, _ in builds:
                show(label, mode, runs[(mode, label)])
    if "defaults" in modes:
        for label, _ in builds:
            base = statistics.median(r[0] for r in runs[("defaults", label)])
            ratios = ", ".join(f"{m} {statistics.median(r[0] for r in runs[(m, label)]) / base:.2f}x"
                               for m in modes if m != "defaults")
            print(f"{label or 'build'}: to the defaults: {ratios}", flush=True)


if __name__ == "__main__":
    sys.exit(main())
