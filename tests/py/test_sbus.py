#!/usr/bin/env python3
"""The serial-bus commands of the running instrument through pyvisa with the
pyvisa-py backend over VXI-11: UART traffic written into the simulated
board's signal file is decoded, and SBUS:DATA? returns it as a
definite-length block holding exactly the bytes sent, and the decode menu's
CSV export on the USB disk reads with pandas into the columns and bytes
sent. Starts scopeapp from the build tree with a fresh instrument root and
its own portmapper port.

Usage: python3 test_sbus.py --build <builddir>
"""
import argparse
import os
import sys
import tempfile
import time

try:
    import pandas
    import pyvisa
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py python3-pandas")

from scope_support import WAIT_LIMIT, Tally, wait_until
from test_vxi11 import Instrument, open_instr

SENT = [0x48, 0x69, 0x21]


def block(raw):
    """The data of a definite-length block "#<n><length><data>"."""
    assert raw[:1] == b"#", raw[:20]
    digits = int(raw[1:2])
    length = int(raw[2:2 + digits])
    data = raw[2 + digits:2 + digits + length]
    assert len(data) == length, (len(data), length)
    return data.decode()


def uart_traffic(inst, rm, root):
    with open(os.path.join(root, "dev", "signals"), "w") as f:
        f.write("bus uart rate=9600 parity=even interval=0.02 data=%s\n" % ",".join("%x" % b for b in SENT))
    s = open_instr(rm)
    try:
        s.write("TIMebase:SCALe 5e-4")
        s.write("SBUS:MODE RS232")
        assert s.query("SBUS:MODE?") == "RS232\r\n"
        s.write("SBUS:RS232:BAUDrate 9600")
        s.write("SBUS:RS232:PARity EVEN")
        # The traffic's framing: idle high, 8 data bits, LSB first.
        s.write("SBUS:RS232:POLarity POSitive")
        s.write("SBUS:RS232:DATA:BIT 8")
        s.write("SBUS:RS232:BITorder LSBFirst")
        s.write("SBUS:BASE HEX")
        # Normal sweep: every record holds a burst (an auto record may fall between them).
        s.write("SBUS:TRIGger:SWEep NORMal")
        assert s.query("SBUS:RS232:BAUDrate?") == "9600\r\n"
        assert s.query("SBUS:TRIGger:SWEep?").strip().upper().startswith("NORM")
        rows = []
        # Until a record holds decoded rows SBUS:DATA? gives no answer at all: each read
        # waits a few seconds, and the question is asked again until the deadline.
        s.timeout = 5000
        deadline = time.monotonic() + WAIT_LIMIT
        while time.monotonic() < deadline:
            s.write("SBUS:DATA?")
            try:
                text = block(s.read_raw())
            except pyvisa.errors.VisaIOError:
                continue
            lines = text.splitlines()
            assert lines[:2] == ["RS232", "TIME,DATA,CHECK"], lines[:3]
            rows = [line.split(",") for line in lines[2:]]
            if [int(r[1], 16) for r in rows] == SENT:
                break
            time.sleep(0.2)
        assert [int(r[1], 16) for r in rows] == SENT, rows
        assert all(r[2] == "1" for r in rows), rows  # good bytes: event 1
    finally:
        s.close()


def csv_with_pandas(inst, rm, root):
    """The decode menu's save (trigger menu, decode key, Next, save Set, save) writes the
    table of the traffic as udisk/Storage/Decode/Decode.csv: a title row,
    then the time and data columns."""
    path = os.path.join(root, "udisk", "Storage", "Decode", "Decode.csv")
    s = open_instr(rm)
    inst.drain()
    try:
        for key in ("KEY:TMENu", "KEY:DECode", "KEY:F5", "KEY:F2", "KEY:F2"):
            s.write(key)
            time.sleep(0.3)
        wait_until(lambda: os.path.exists(path), interval=0.2)
    finally:
        s.close()
    if not os.path.exists(path):
        seen = []
        while True:
            line = inst.next_line(0.1)
            if line is None:
                break
            seen.append(line)
        print("\n".join(l for l in seen if "Sent" not in l and "0x" not in l)[-6000:])
    with open(path) as f:
        assert f.readline() == "Decode:RS232\n"
    table = pandas.read_csv(path, skiprows=1)
    assert list(table.columns) == ["time", "data"], table.columns
    assert table["data"].tolist() == SENT, table
    assert str(table["data"].dtype) == "int64"
    assert all(t[-2:] in ("ns", "us", "ms") or t[-1] == "s" for t in table["time"]), table


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="sbus-py-")
    root = os.path.join(tmp, "root")
    os.makedirs(os.path.join(root, "udisk"))
    inst = Instrument(build, root, False)
    rpc.PMAP_PORT = inst.portmap
    rm = pyvisa.ResourceManager("@py")
    tally = Tally()
    tally.run("uart_traffic", lambda: uart_traffic(inst, rm, root))
    tally.run("csv_with_pandas", lambda: csv_with_pandas(inst, rm, root))
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
