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
import threading
import time

try:
    import pyvisa
    from pyvisa_py.protocols import rpc, vxi11
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py")

from scope_support import WAIT_LIMIT, LineProcess, Tally, wait_until, write_signals

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
        # Start-up's ADC phase check runs for a second or more at its own time
        # base while the servers already answer, then puts the settings back:
        # cases begin once it has.
        self.wait_line(lambda text: text.startswith("PhaseDetection settings restored"), WAIT_LIMIT)

    def stop(self):
        """SIGTERM, as the instrument is ended; its exit status."""
        self.proc.send_signal(signal.SIGTERM)
        return self.wait_exit(20)


def open_instr(rm, timeout_ms=int(WAIT_LIMIT * 1000)):
    inst = rm.open_resource(RESOURCE)
    inst.timeout = timeout_ms
    return inst


def pyvisa_queries(inst, rm):
    with_lines = open_instr(rm)
    try:
        # *OPC? answers 0 until start-up lets the SCPI worker go.
        assert wait_until(lambda: with_lines.query("*OPC?").strip() == "1")
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
        assert 0.4 < time.monotonic() - start < WAIT_LIMIT
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


def silent_sockets_shut_no_one_out(inst, rm):
    """Sockets that connect and send nothing fill the portmapper's and the
    core channel's tables; a new pyvisa-py session is served all the same."""
    silent = []
    try:
        for port, count in ((inst.portmap, 8), (inst.core, 128)):
            for _ in range(count):
                silent.append(socket.create_connection(("127.0.0.1", port), timeout=WAIT_LIMIT))
        session = open_instr(rm)
        try:
            assert session.query("*OPC?").strip() == "1"
        finally:
            session.close()
    finally:
        for s in silent:
            s.close()


# Queries whose answers differ from each other at the state set_known_state()
# leaves: a client given another's answer notices.
KNOWN = {":CHANnel1:COUPling?": "DC", ":CHANnel1:PROBe?": "1X", ":CHANnel2:PROBe?": "10X",
         ":CHANnel1:UNITs?": "VOLTs", ":CHANnel1:INVert?": "0", ":CHANnel1:DISPlay?": "1"}


def set_known_state(rm):
    session = open_instr(rm)
    try:
        for line in (":CHANnel1:COUPling DC", ":CHANnel1:PROBe 1X", ":CHANnel2:PROBe 10X", ":CHANnel1:INVert OFF",
                     ":CHANnel1:DISPlay ON"):
            session.write(line)
        for query, answer in KNOWN.items():
            assert session.query(query).strip() == answer, query
    finally:
        session.close()


def parallel_clients(rm, clients, seconds):
    """`clients` sessions query in parallel for `seconds`; every answer must
    be the one of the session's own query. Returns the queries per second."""
    set_known_state(rm)
    queries = list(KNOWN.items())
    sessions = [open_instr(rm, 10000) for _ in range(clients)]
    counts, wrong, errors = [0] * clients, [], []
    end = time.monotonic() + seconds

    def run(i):
        try:
            k = i
            while time.monotonic() < end:
                query, answer = queries[k % len(queries)]
                got = sessions[i].query(query).strip()
                if got != answer:
                    wrong.append((i, query, got))
                counts[i] += 1
                k += 1
        except Exception as e:  # noqa: BLE001 - reported below
            errors.append((i, repr(e)))

    threads = [threading.Thread(target=run, args=(i,)) for i in range(clients)]
    start = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.monotonic() - start
    for s in sessions:
        s.close()
    assert not errors, errors[:5]
    assert not wrong, f"{len(wrong)} wrong answers of {sum(counts)}, e.g. {wrong[:5]}"
    assert all(counts), counts
    return sum(counts) / elapsed


def two_clients_in_parallel(inst, rm):
    print(f"2 clients: {parallel_clients(rm, 2, 3):.0f} queries/s")


def fifty_clients_in_parallel(inst, rm):
    print(f"50 clients: {parallel_clients(rm, 50, 4):.0f} queries/s")


def burst_of_setters(inst, rm):
    """100 setters written back to back: each runs, in order, none is lost
    (a channel setter takes tens of milliseconds: the final query waits)."""
    session = open_instr(rm, 60000)
    try:
        ratios = [1.25 + 0.25 * i for i in range(100)]
        for r in ratios:
            session.write(f":CHAN1:PROB {r}")
        assert session.query(":CHAN1:PROB?").strip() == f"{ratios[-1]:.3f}X"
        couplings = [("AC", "DC", "GND")[i % 3] for i in range(101)]
        for c in couplings:
            session.write(":CHAN1:COUP " + c)
        assert session.query(":CHAN1:COUP?").strip() == couplings[-1]
        session.write(":CHAN1:PROB 1X")
    finally:
        session.close()


class AbortClient(rpc.RawTCPClient):
    """The abort channel, as a VXI-11 client opens it from create_link's port."""

    def __init__(self, host, port):
        self.packer = vxi11.Vxi11Packer()
        self.unpacker = vxi11.Vxi11Unpacker("")
        super().__init__(host, vxi11.DEVICE_ASYNC_PROG, vxi11.DEVICE_ASYNC_VERS, port)

    def abort(self, link):
        return self.make_call(vxi11.DEVICE_ABORT, link, self.packer.pack_device_link,
                              self.unpacker.unpack_device_error)


def pending_read_blocks_no_one(inst, rm):
    """A raw RPC client's read waits for an answer that never comes; pyvisa
    sessions, the portmapper and the abort channel are served meanwhile, and
    the abort ends the read at once with the abort error."""
    core = vxi11.CoreClient("127.0.0.1")
    error, link, abort_port, _ = core.create_link(7, 0, 0, "inst0")
    assert error == 0 and abort_port == inst.abort, (error, abort_port)
    assert core.device_write(link, 1000, 0, 8, b"NOSuch:COMMand?")[0] == 0
    result = {}
    # The read waits far longer than any case here takes, so a query that
    # waited for it could not end in time.
    read_ms = int(10 * WAIT_LIMIT * 1000)
    reader = threading.Thread(target=lambda: result.update(read=core.device_read(link, 100, read_ms, 0, 0, 0)))
    reader.start()
    session = open_instr(rm)
    try:
        for _ in range(5):
            assert session.query(":CHANnel2:PROBe?").strip() == "10X"
    finally:
        session.close()
    pmap = rpc.TCPPortMapperClient("127.0.0.1", 2000)
    assert pmap.get_port((vxi11.DEVICE_CORE_PROG, vxi11.DEVICE_CORE_VERS, rpc.IPPROTO_TCP, 0)) == inst.core
    pmap.close()
    aborter = AbortClient("127.0.0.1", abort_port)
    # An abort ends a read the server holds: asked again until it holds this one.
    def aborted():
        assert aborter.abort(link) == 0
        reader.join(0.2)
        return not reader.is_alive()
    assert wait_until(aborted), "the aborted read did not end"
    assert result["read"][0] == vxi11.ErrorCodes.abort, result
    aborter.close()
    assert core.destroy_link(link) == 0
    core.close()


def lxi_scpi(inst, rm):
    if not LXI:
        return "lxi-tools not installed"
    if inst.portmap != 111:
        return "portmapper not on port 111"
    for query in ("*OPC?", "*OPC?\n"):
        out = subprocess.run([LXI, "scpi", "--address", "127.0.0.1", "--timeout", "30", query],
                             capture_output=True, text=True, timeout=2 * WAIT_LIMIT)
        assert out.returncode == 0, out
        assert out.stdout.strip() == "1", out
    # Several lxi clients at once beside a pyvisa session: each its own answer.
    set_known_state(rm)
    session = open_instr(rm)
    try:
        procs = [(q, subprocess.Popen([LXI, "scpi", "--address", "127.0.0.1", "--timeout", "30", q],
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True))
                 for q in list(KNOWN) * 2]
        for _ in range(10):
            assert session.query(":CHANnel1:UNITs?").strip() == "VOLTs"
        for q, p in procs:
            out, err = p.communicate(timeout=2 * WAIT_LIMIT)
            assert p.returncode == 0 and out.strip() == KNOWN[q], (q, out, err)
    finally:
        session.close()
    return None



def listen_backlog(inst, rm):
    """The TCP listeners (portmapper, core, abort) take the system's backlog, so a
    burst of connects is queued whole, none waiting for a SYN retry: `ss` reads
    each listener's backlog from the kernel."""
    with open("/proc/sys/net/core/somaxconn") as f:
        want = min(socket.SOMAXCONN, int(f.read()))
    for port in (inst.portmap, inst.core, inst.abort):
        out = subprocess.run(["ss", "-ltnH", "sport = :%d" % port], capture_output=True, text=True,
                             check=True).stdout.split()
        # State, Recv-Q, Send-Q (the backlog of a listener), local address, ...
        assert len(out) >= 4 and out[0] == "LISTEN", (port, out)
        assert int(out[2]) == want, (port, out[2], want)


def run_cases(prefix, signals, cases, call=lambda case, rm, root, inst: case(rm), prepare=None):
    """Runs `cases` over VXI-11 (pyvisa-py) against a fresh instrument whose
    inputs carry `signals`; `prepare(root)` runs before it starts. Each case
    is called as call(case, resource_manager, root, instrument). The script's exit status."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix=prefix)
    root = os.path.join(tmp, "root")
    write_signals(root, signals)
    if prepare:
        prepare(root)
    inst = Instrument(build, root, False)
    rpc.PMAP_PORT = inst.portmap
    rm = pyvisa.ResourceManager("@py")
    first = open_instr(rm)
    try:  # cases begin once start-up has let the SCPI worker go (*OPC? answers 1)
        wait_until(lambda: first.query("*OPC?").strip() == "1")
    finally:
        first.close()
    tally = Tally()
    for case in cases:
        tally.run(case.__name__, lambda: call(case, rm, root, inst))
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)


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
                 hostile_bytes_leave_it_serving, silent_sockets_shut_no_one_out, two_clients_in_parallel, fifty_clients_in_parallel,
                 burst_of_setters, pending_read_blocks_no_one, listen_backlog, lxi_scpi):
        tally.run(case.__name__, lambda: case(inst, rm))
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)

if __name__ == "__main__":
    sys.exit(main())
