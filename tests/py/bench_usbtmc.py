#!/usr/bin/env python3
"""Benchmark (not a test): pyvisa-py over the simulated USB path (USBTMC on
the simulated board's USB port, sim_usb.py) beside the same over VXI-11 on
loopback: query round trips per second, and a large block (the 1,152,054-byte
DISPlay:DATA? picture; the SCPI response buffer holds 2 MiB) in MB/s.

Usage: python3 bench_usbtmc.py --build <builddir> [--seconds 5]
"""
import argparse
import os
import sys
import tempfile
import time

try:
    import pyvisa
    import usb.core  # noqa: F401
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py and python3-usb")

import sim_usb
from test_vxi11 import Instrument, open_instr

SERIAL = "BENCH01"


def per_second(call, seconds):
    count, start = 0, time.monotonic()
    while time.monotonic() - start < seconds:
        call()
        count += 1
    return count / (time.monotonic() - start)


def measure(name, session, seconds):
    # Queries with the client's default read size: a large chunk_size makes
    # pyusb allocate that much for every read, and the figure would be the
    # client's.
    qps = per_second(lambda: session.query("*OPC?"), seconds)
    # The large block in large reads: fewer read calls.
    session.chunk_size = 4 * 1024 * 1024
    sizes = []
    mbps = per_second(lambda: sizes.append(len(session.query_binary_values(":DISPlay:DATA?", datatype="B",
                                                                            container=bytes))), seconds)
    print(f"{name:8s} *OPC? {qps:7.0f} queries/s   DISPlay:DATA? ({sizes[0]} bytes) "
          f"{mbps:5.1f} blocks/s = {mbps * sizes[0] / 1e6:6.1f} MB/s")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--seconds", type=float, default=5)
    args = ap.parse_args()
    tmp = tempfile.mkdtemp(prefix="usbtmc-bench-")
    root = os.path.join(tmp, "root")
    os.makedirs(root)
    with open(os.path.join(root, "SN.txt"), "w") as f:
        f.write("[SERIAL] %s\n" % SERIAL)
    inst = Instrument(os.path.abspath(args.build), root, False)
    rpc.PMAP_PORT = inst.portmap
    sim_usb.install(root)
    rm = pyvisa.ResourceManager("@py")
    usb_session = rm.open_resource("USB0::4617::1::%s::0::INSTR" % SERIAL)
    usb_session.timeout = 60000
    measure("USBTMC", usb_session, args.seconds)
    usb_session.close()
    vxi = open_instr(rm, 60000)
    measure("VXI-11", vxi, args.seconds)
    vxi.close()
    rm.close()
    inst.stop()


if __name__ == "__main__":
    sys.exit(main())
