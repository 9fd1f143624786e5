#!/usr/bin/env python3
"""Benchmark (not a test): pyvisa-py query round trips per second over VXI-11
on one link and in total with 8 links, and the CPU the running scopeapp uses
while idle with and without a client connected.

Usage: python3 bench_vxi11.py --build <builddir> [--seconds 5]
"""
import argparse
import multiprocessing
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

QUERIES = ("*OPC?", ":CHANnel1:COUPling?")


def one_link(args):
    """Round trips per second of one session in a process of its own (the
    client's interpreter, not the instrument, would bound threads)."""
    pmap, query, seconds = args
    rpc.PMAP_PORT = pmap
    rm = pyvisa.ResourceManager("@py")
    session = open_instr(rm, 10000)
    count, start = 0, time.monotonic()
    while time.monotonic() - start < seconds:
        session.query(query)
        count += 1
    elapsed = time.monotonic() - start
    session.close()
    rm.close()
    return count / elapsed


def rate(inst, links, query, seconds):
    with multiprocessing.Pool(links) as pool:
        return sum(pool.map(one_link, [(inst.portmap, query, seconds)] * links))


def cpu_seconds(path):
    with open(path) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def remote_threads(pid):
    """The stat files of the VXI-11 and SCPI threads."""
    out = []
    for tid in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{tid}/comm") as f:
            name = f.read().strip()
        if name.startswith(("vxi", "Scpi")):
            out.append(f"/proc/{pid}/task/{tid}/stat")
    return out


def idle_cpu(pid, seconds):
    """CPU of the whole process and of its remote-control threads, in % of a core."""
    paths = [f"/proc/{pid}/stat"] + remote_threads(pid)
    before, start = [cpu_seconds(p) for p in paths], time.monotonic()
    time.sleep(seconds)
    wall = time.monotonic() - start
    used = [100.0 * (cpu_seconds(p) - b) / wall for p, b in zip(paths, before)]
    return used[0], sum(used[1:])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--seconds", type=float, default=5)
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    tmp = tempfile.mkdtemp(prefix="vxi11-bench-")
    inst = Instrument(build, os.path.join(tmp, "root"), port_free(111))
    if inst.portmap != 111:
        rpc.PMAP_PORT = inst.portmap
    rm = pyvisa.ResourceManager("@py")
    time.sleep(2)  # start-up settles
    for query in QUERIES:
        one = rate(inst, 1, query, args.seconds)
        eight = rate(inst, 8, query, args.seconds)
        print(f"{query:24s} 1 link: {one:7.0f}/s   8 links: {eight:7.0f}/s in total")
    whole, remote = idle_cpu(inst.proc.pid, args.seconds)
    print(f"idle, no client:  scopeapp {whole:5.1f} %, VXI-11 and SCPI threads {remote:4.2f} % of one core")
    session = open_instr(rm)
    session.query("*OPC?")
    whole, remote = idle_cpu(inst.proc.pid, args.seconds)
    print(f"idle, one client: scopeapp {whole:5.1f} %, VXI-11 and SCPI threads {remote:4.2f} % of one core")
    session.close()
    rm.close()
    inst.stop()


if __name__ == "__main__":
    sys.exit(main())
