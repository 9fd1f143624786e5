#!/usr/bin/env python3
"""The VXI-11 server of the running instrument against the clients users have:
pyvisa with the pyvisa-py backend and lxi-tools' `lxi scpi`. Starts scopeapp
from the build tree with a fresh instrument root. The portmapper takes port
111 when it is free (lxi can only ask there); otherwise it runs on a free port,
pyvisa-py is pointed at it and the lxi case is skipped.

Usage: python3 test_vxi11.py --build <builddir>
"""
import argparse
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

try:
    import pyvisa
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py")

from scope_support import LineProcess, Tally

RESOURCE = "TCPIP::127.0.0.1::INSTR"
LXI = shutil.which("lxi")


def port_free(port):
    """True when this process could bind `port` on loopback for TCP and UDP."""
    for kind in (socket.SOCK_STREAM, socket.SOCK_DGRAM):
        s = socket.socket(socket.AF_INET, kind)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(("127.0.0.1", port))
        except OSError:
            return False
        finally:
            s.close()
    return True


class Instrument(LineProcess):
    """scopeapp on the simulated board and the lines it prints."""

    PORTS = re.compile(r"vxi11: \S+ portmapper tcp (\d+) udp (\d+), core (\d+), abort (\d+)")

    def __init__(self, build, root, own_portmapper):
        env = dict(os.environ)
        if not own_portmapper:
            env["SCOPE_VXI11_PMAP_PORT"] = "0"
        super().__init__([os.path.join(build, "scopeapp"), "--root", root], stderr=subprocess.STDOUT,
                         env=env, errors="replace")
        line = self.wait_line(self.PORTS.search, 90)
        if not line:
            raise RuntimeError("scopeapp did not start its VXI-11 server")
        self.portmap, self.udp, self.core, self.abort = map(int, self.PORTS.search(line).groups())

    def stop(self):
        """SIGTERM, as the instrument is ended; its exit status."""
        self.proc.send_signal(signal.SIGTERM)
        return self.wait_exit(20)


def open_instr(rm, timeout_ms=3000):
    inst = rm.open_resource(RESOURCE)
    inst.timeout = timeout_ms
    return inst


def pyvisa_queries(inst, rm):
    with_lines = open_instr(rm)
    try:
        for _ in range(20):
            assert with_lines.query("*OPC?").strip() == "1"
        # A write without a line end: END completes it.
        with_lines.write_raw(b"*OPC?")
        assert with_lines.read_raw() == b"1\r\n"
        # Calls that do nothing still answer success.
        with_lines.clear()
        assert with_lines.read_stb() == 0
    finally:
        with_lines.close()


def pyvisa_channel_setting(inst, rm):
    session = open_instr(rm)
    try:
        session.write(":CHANnel1:COUPling AC")
        assert session.query(":CHANnel1:COUPling?") == "AC\r\n"
        session.write(":CHAN1:PROB 2.5")
        assert session.query(":CHAN1:PROB?").strip() == "2.500X"
        session.write(":CHANnel1:COUPling DC")
        assert session.query(":CHANnel1:COUPling?").strip() == "DC"
    finally:
        session.close()


def pyvisa_timeout_then_recovers(inst, rm):
    session = open_instr(rm, 500)
    try:
        start = time.monotonic()
        try:
            session.query("NOSuch:COMMand?")
            raise AssertionError("a query nothing answers returned")
        except pyvisa.errors.VisaIOError as e:
            assert e.error_code == pyvisa.constants.StatusCode.error_timeout, e
        assert 0.4 < time.monotonic() - start < 5
        assert session.query("*OPC?").strip() == "1"
    finally:
        session.close()


def two_sessions(inst, rm):
    a, b = open_instr(rm), open_instr(rm)
    try:
        for _ in range(5):
            assert a.query("*OPC?").strip() == "1"
            assert b.query("*OPC?").strip() == "1"
    finally:
        a.close()
        b.close()


def hostile_bytes_leave_it_serving(inst, rm):
    for payload in (b"\xff\xff\xff\xff", b"\x80\x00\x00\x08" + b"\x00" * 8,
                    b"\x80\x00\x00\x2c" + struct.pack(">11I", 1, 0, 2, 0x0607AF, 1, 11, 0, 0, 0, 0, 1),
                    os.urandom(4096)):
        with socket.create_connection(("127.0.0.1", inst.core), timeout=5) as s:
            s.sendall(payload)
            s.settimeout(0.5)
            try:
                s.recv(4096)
            except (socket.timeout, ConnectionResetError):
                pass
    session = open_instr(rm)
    try:
        assert session.query("*OPC?").strip() == "1"
    finally:
        session.close()


def lxi_scpi(inst, rm):
    if not LXI:
        return "lxi-tools not installed"
    if inst.portmap != 111:
        return "portmapper not on port 111"
    for query in ("*OPC?", "*OPC?\n"):
        out = subprocess.run([LXI, "scpi", "--address", "127.0.0.1", "--timeout", "5", query],
                             capture_output=True, text=True, timeout=30)
        assert out.returncode == 0, out
        assert out.stdout.strip() == "1", out
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="vxi11-py-")
    own = port_free(111)
    inst = Instrument(build, os.path.join(tmp, "root"), own)
    if inst.portmap != 111:
        rpc.PMAP_PORT = inst.portmap  # pyvisa-py asks the portmapper there
    rm = pyvisa.ResourceManager("@py")
    tally = Tally()
    for case in (pyvisa_queries, pyvisa_channel_setting, pyvisa_timeout_then_recovers, two_sessions,
                 hostile_bytes_leave_it_serving, lxi_scpi):
        tally.run(case.__name__, lambda: case(inst, rm))
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)

if __name__ == "__main__":
    sys.exit(main())
