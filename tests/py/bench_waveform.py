#!/usr/bin/env python3
"""Benchmark (not a test): waveform and picture read-out over VXI-11 with
pyvisa-py on loopback, for one build or for two side by side (--before: the
other build measured right before this one):
- NORMal 700-byte DATA? reads per second;
- the record read of a 7,000,000-sample RAW record (WAV:MODE RAW until its
  answer), running (a fresh acquisition first: the board's sweep, depth x
  sample period, then the read of its memory) and stopped (the memory read
  alone, what the instrument does to get the record), median of a few reads;
- the DATA? transfer of that record in 65,535-sample blocks: MB/s end to end,
  the read RPCs it took and the CPU the instrument's VXI-11 and SCPI threads
  spent per RPC (the rest of the time is the client's);
- DISPlay:DATA? pictures per second.

Usage: python3 bench_waveform.py --build <builddir> [--before <builddir>] [--seconds 5] [--lean]
"""
import argparse
import os
import statistics
import sys
import tempfile
import time

try:
    import pyvisa
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py")

from test_vxi11 import Instrument, open_instr, port_free

RAW_DEPTH = 7000000
RAW_BLOCK = 65535


def lean_recvrecord(sock, timeout, read_fun=None, min_packages=0):
    """pyvisa-py's record receive without its per-read debug text (it formats
    every received chunk whatever the log level, which bounds large reads):
    shows what the instrument's side of the transfer reaches."""
    sock.settimeout(timeout)
    record = bytearray()

    def exact(n):
        buf = bytearray(n)
        view, got = memoryview(buf), 0
        while got < n:
            k = sock.recv_into(view[got:])
            if not k:
                raise ConnectionError("closed")
            got += k
        return buf

    while True:
        mark = int.from_bytes(exact(4), "big")
        record += exact(mark & 0x7FFFFFFF)
        if mark & 0x80000000:
            return bytes(record)


def per_second(call, seconds):
    count, start = 0, time.monotonic()
    while time.monotonic() - start < seconds:
        call()
        count += 1
    return count / (time.monotonic() - start)


def cpu_seconds(path):
    with open(path) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def remote_threads(pid):
    """The stat files of the VXI-11 and SCPI threads."""
    out = []
    for tid in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{tid}/comm") as f:
            if f.read().strip().startswith(("vxi", "Scpi")):
                out.append(f"/proc/{pid}/task/{tid}/stat")
    return out


def read_rpcs(samples, max_recv):
    """The device_read calls of one block's reply (IEEE header, samples, line end)."""
    reply = 2 + len(str(samples)) + samples + 2
    return -(-reply // max_recv)


def record_read(s):
    """Seconds from MODE RAW to its answer (the record read in the middle)."""
    start = time.monotonic()
    s.write(":WAVeform:MODE RAW")
    s.query(":WAVeform:MODE?")  # runs on the worker after the record read
    return time.monotonic() - start


def record_reads(s, repeats):
    times = []
    for _ in range(repeats):
        times.append(record_read(s))
        s.write(":WAVeform:MODE NORMal")
    return statistics.median(times)


def measure(build, seconds, lean, repeats):
    tmp = tempfile.mkdtemp(prefix="waveform-bench-")
    inst = Instrument(build, os.path.join(tmp, "root"), port_free(111))
    rpc.PMAP_PORT = inst.portmap
    rm = pyvisa.ResourceManager("@py")
    s = open_instr(rm, 120000)
    s.chunk_size = 4 * 1024 * 1024  # large blocks: fewer read calls
    max_recv = s.visalib.sessions[s.session].max_recv_size
    if lean:
        # pyvisa-py reads no more than the link's maximum receive size (1024) a call.
        s.visalib.sessions[s.session].max_recv_size = max_recv = 4 * 1024 * 1024
    out = {}
    try:
        time.sleep(2)  # start-up settles
        s.write(":WAVeform:FORMat BYTE")
        s.write(":WAVeform:MODE NORMal")
        out["normal"] = per_second(
            lambda: s.query_binary_values(":WAVeform:DATA?", datatype="B", container=bytes), seconds)

        s.write(":ACQuire:MEMory:DEPTh 7M")
        s.write(":WAVeform:POINts %d" % RAW_BLOCK)
        out["running"] = record_reads(s, repeats)
        s.write(":STOP")
        s.query("*OPC?")
        out["stopped"] = record_reads(s, repeats)

        record_read(s)
        paths = remote_threads(inst.proc.pid)
        cpu0 = sum(cpu_seconds(p) for p in paths)
        got, rpcs, start = 0, 0, time.monotonic()
        while got < RAW_DEPTH:
            block = s.query_binary_values(":WAVeform:DATA?", datatype="B", container=bytes)
            if not block:
                break
            got += len(block)
            rpcs += 1 + read_rpcs(len(block), max_recv)
        out["transfer"] = time.monotonic() - start
        out["remote_cpu"] = sum(cpu_seconds(p) for p in paths) - cpu0
        out["rpcs"] = rpcs
        out["got"] = got
        s.write(":WAVeform:MODE NORMal")
        s.write(":RUN")
        s.write(":ACQuire:MEMory:DEPTh AUTO")

        out["pictures"] = per_second(
            lambda: s.query_binary_values(":DISPlay:DATA?", datatype="B", container=bytes), seconds)
    finally:
        s.close()
        rm.close()
        inst.stop()
    return out


def show(label, r):
    mb = RAW_DEPTH / 1e6
    tag = f"{label:7s}" if label else ""
    print(f"{tag}NORMal DATA? (700 bytes): {r['normal']:7.0f} reads/s")
    print(f"{tag}RAW {RAW_DEPTH} samples, record read: running {r['running']:.3f} s ({mb / r['running']:.0f} MB/s, "
          f"with the sweep), stopped {r['stopped']:.3f} s ({mb / r['stopped']:.0f} MB/s, the memory read)")
    print(f"{tag}RAW DATA? transfer: {r['transfer']:.2f} s ({mb / r['transfer']:.1f} MB/s, {r['got']} samples), "
          f"{r['rpcs']} RPCs, instrument's remote threads {r['remote_cpu']:.2f} s "
          f"({1e6 * r['remote_cpu'] / max(1, r['rpcs']):.0f} us per RPC, "
          f"{100 * r['remote_cpu'] / r['transfer']:.0f} % of the transfer)")
    print(f"{tag}DISPlay:DATA? (1,152,054 bytes): {r['pictures']:5.1f} pictures/s", flush=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--before", help="a second build, measured right before --build")
    ap.add_argument("--seconds", type=float, default=5)
    ap.add_argument("--repeats", type=int, default=5, help="record reads per figure (median)")
    ap.add_argument("--lean", action="store_true",
                    help="receive records without pyvisa-py's debug text, and read in 4 MiB pieces "
                         "instead of the link's 1024-byte maximum receive size")
    args = ap.parse_args()
    if args.lean:
        rpc._recvrecord = lean_recvrecord
    builds = ([("before", os.path.abspath(args.before))] if args.before else []) + [
        ("after" if args.before else "", os.path.abspath(args.build))]
    print(f"{os.cpu_count()} cores, load {os.getloadavg()[0]:.1f}", flush=True)
    for label, build in builds:
        show(label, measure(build, args.seconds, args.lean, args.repeats))


if __name__ == "__main__":
    sys.exit(main())
