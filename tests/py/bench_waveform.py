#!/usr/bin/env python3
"""Benchmark (not a test): waveform and picture read-out over VXI-11 with
pyvisa-py on loopback: NORMal 700-byte DATA? reads per second, a RAW read of a
7,000,000-sample record (the record read, then the DATA? blocks) in MB/s, and
DISPlay:DATA? pictures per second.

Usage: python3 bench_waveform.py --build <builddir> [--seconds 5]
"""
import argparse
import os
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


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--seconds", type=float, default=5)
    ap.add_argument("--lean", action="store_true",
                    help="receive records without pyvisa-py's debug text, and read in 4 MiB pieces "
                         "instead of the link's 1024-byte maximum receive size")
    args = ap.parse_args()
    if args.lean:
        rpc._recvrecord = lean_recvrecord
    tmp = tempfile.mkdtemp(prefix="waveform-bench-")
    inst = Instrument(os.path.abspath(args.build), os.path.join(tmp, "root"), port_free(111))
    if inst.portmap != 111:
        rpc.PMAP_PORT = inst.portmap
    rm = pyvisa.ResourceManager("@py")
    s = open_instr(rm, 120000)
    s.chunk_size = 4 * 1024 * 1024  # large blocks: fewer read calls
    if args.lean:
        # pyvisa-py reads no more than the link's maximum receive size (1024) a call.
        s.visalib.sessions[s.session].max_recv_size = 4 * 1024 * 1024
    time.sleep(2)  # start-up settles
    s.write(":WAVeform:FORMat BYTE")
    s.write(":WAVeform:MODE NORMal")
    rate = per_second(lambda: s.query_binary_values(":WAVeform:DATA?", datatype="B", container=bytes),
                      args.seconds)
    print(f"NORMal DATA? (700 bytes): {rate:7.0f} reads/s")

    s.write(":ACQuire:MEMory:DEPTh 7M")
    s.write(":WAVeform:POINts %d" % RAW_BLOCK)
    start = time.monotonic()
    s.write(":WAVeform:MODE RAW")
    s.query(":WAVeform:MODE?")  # runs on the worker after the record read
    read = time.monotonic() - start
    got, start = 0, time.monotonic()
    while got < RAW_DEPTH:
        block = s.query_binary_values(":WAVeform:DATA?", datatype="B", container=bytes)
        if not block:
            break
        got += len(block)
    transfer = time.monotonic() - start
    mb = RAW_DEPTH / 1e6
    print(f"RAW {RAW_DEPTH} samples: record read {read:.2f} s ({mb / read:.0f} MB/s), "
          f"DATA? transfer {transfer:.2f} s ({mb / transfer:.0f} MB/s), together {mb / (read + transfer):.0f} MB/s "
          f"({got} samples read)")
    s.write(":WAVeform:MODE NORMal")
    s.write(":ACQuire:MEMory:DEPTh AUTO")

    rate = per_second(lambda: s.query_binary_values(":DISPlay:DATA?", datatype="B", container=bytes),
                      args.seconds)
    print(f"DISPlay:DATA? (1,152,054 bytes): {rate:5.1f} pictures/s")
    s.close()
    rm.close()
    inst.stop()


if __name__ == "__main__":
    sys.exit(main())
