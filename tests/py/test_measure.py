#!/usr/bin/env python3
"""A user's measurement script over VXI-11 with pyvisa and the pyvisa-py
backend: a 1 kHz sine of 2 V peak to peak on CH1 of the simulated board, the
instrument at 500 mV/div and 200 us/div, and its frequency, peak-to-peak and
RMS read with the measure commands; then the rest of the measure family as a
script sees it (replies in "%e" form, "*" for a switched-off source,
MEASure:DATA? with its 36 fields).

The script sets 500 mV/div with CHANnel1:SCALe. The instrument has no
time-base scale command yet, so 200 us/div is its stored setting: a first
start formats the settings memory, the time base (and 1 V/div, which the
script then changes) are written into it and the instrument starts again
with them, as after a power cycle.

Usage: python3 test_measure.py --build <builddir>
"""
import argparse
import math
import os
import sys
import tempfile

try:
    import pyvisa
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py")

from scope_support import Tally, wait_until, write_signals
from test_vxi11 import Instrument, open_instr

TIMEBASE_BYTE, VDIV_BYTE = 42, 62  # stored time base of block 0, V/div of CH1
TIMEBASE_200US, VDIV_1V = 19, 12
SIGNAL = "ch1 sine freq=1000 amp=1\nch2 square freq=1000 amp=0.5\n"
NUMBER = r"^-?\d\.\d{6}e[+-]\d\d$"


def start(build, root):
    """scopeapp with its portmapper on a free port (port 111 is left to the
    VXI-11 test that may run beside this one); pyvisa-py asks there."""
    inst = Instrument(build, root, False)
    rpc.PMAP_PORT = inst.portmap
    return inst


def store_scales(build, root):
    """First start, then the scales written into the stored settings."""
    inst = start(build, root)
    rc = inst.stop()
    assert rc == 0, "first start ended with %d" % rc
    path = os.path.join(root, "dev", "eeprom.bin")
    with open(path, "r+b") as f:
        for address, value in ((TIMEBASE_BYTE, TIMEBASE_200US), (VDIV_BYTE, VDIV_1V)):
            f.seek(address)
            f.write(bytes([value]))


def number(reply):
    import re

    assert re.match(NUMBER, reply), "not a %%e number: %r" % reply
    return float(reply)


def measured(session, query, expected, tolerance):
    """The reply once it is a number within `tolerance` of `expected`: the
    first replies may still measure a record taken before the settings
    arrived, or none ("*"). Asked again until then; the last reply is
    reported when it never comes."""
    last = []

    def close_enough():
        last[:] = [session.query(query).strip()]
        return abs(number(last[0]) - expected) <= tolerance

    if not wait_until(close_enough):
        raise AssertionError("%s gave %r, not %g within %g" % (query, last[0] if last else None, expected, tolerance))
    return number(last[0])


def user_script(rm):
    s = open_instr(rm)
    try:
        for line in (":CHANnel1:DISPlay ON", ":CHANnel1:COUPling DC", ":CHANnel1:PROBe 1X", ":CHANnel1:SCALe 0.5"):
            s.write(line)
        assert s.query(":CHANnel1:PROBe?").strip() == "1X"
        assert float(s.query(":CHANnel1:SCALe?")) == 0.5
        measured(s, ":MEASure:FREQuency? CHANnel1", 1000, 5)
        measured(s, ":MEASure:VPP? CHANnel1", 2.0, 0.06)
        measured(s, ":MEASure:VRMS? DISPlay,CHANnel1", 1 / math.sqrt(2), 0.03 * 0.707)
        # The area over the screen shows the time base in force: 14 divisions
        # of 200 us of |sine|, whose mean is 2/pi of its 1 V peak (the
        # neighbouring time bases give half or twice as much, or more).
        area = 14 * 200e-6 * 2 / math.pi
        measured(s, ":MEASure:AREa? DISPlay,CHANnel1", area, 0.05 * area)
    finally:
        s.close()


def measure_family(rm):
    s = open_instr(rm)
    try:
        s.write(":CHANnel2:DISPlay ON")
        s.write(":CHANnel2:PROBe 1X")
        assert s.query(":MEASure:SOURce?").strip() == "CHANnel1"
        s.write(":MEASure:SLAVe:SOURce CHANnel2")
        assert s.query(":MEAS:SLAV:SOUR?").strip() == "CHANnel2"
        measured(s, ":MEASure:PERiod? CHAN1", 1e-3, 5e-6)
        measured(s, ":MEASure:PDUTy? CHAN2", 50, 1)
        assert number(s.query(":MEASure:PDELay? CHAN1,CHAN1").strip()) == 0
        fields = s.query(":MEASure:DATA?").strip().split(",")
        assert len(fields) == 37 and fields[-1] == "", fields
        assert abs(float(fields[16]) - 1000) <= 5, fields  # the frequency
        for f in fields[:-1]:
            assert f == "*" or number(f) is not None
        s.write(":CHANnel2:DISPlay OFF")
        assert wait_until(lambda: s.query(":MEASure:VPP? CHANnel2").strip() == "*")
        assert s.query(":MEASure:VPP? MATH").strip() == "*"
        fields = s.query(":MEASure:DATA?").strip().split(",")
        assert fields[23:34] == ["*"] * 11, fields
        s.write(":DVM:ENABle ON")
        assert s.query(":DVM:ENABle?").strip() == "1"
        assert s.query(":DVM:MODE?").strip() in ("DC", "DCRMs", "ACRMs")
        s.write(":DVM:ENABle OFF")
        assert s.query(":DVM:ENAB?").strip() == "0"
    finally:
        s.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="measure-py-")
    root = os.path.join(tmp, "root")
    write_signals(root, SIGNAL)
    store_scales(build, root)
    inst = start(build, root)
    rm = pyvisa.ResourceManager("@py")
    tally = Tally()
    for case in (user_script, measure_family):
        tally.run(case.__name__, lambda: case(rm))
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
