#!/usr/bin/env python3
"""The horizontal commands of the running instrument through pyvisa with the
pyvisa-py backend over VXI-11: the time base, hold-off, display format and
the independent time bases, answered byte for byte. Starts scopeapp from the
build tree with a fresh instrument root and its own portmapper port.

Usage: python3 test_hori_vxi11.py --build <builddir>
"""
import argparse
import os
import sys
import tempfile

try:
    import pyvisa
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py")

from scope_support import Tally
from test_vxi11 import Instrument, open_instr


def time_base(inst, rm):
    s = open_instr(rm)
    try:
        for command, reply in (("TIMebase:SCALe 1e-3", "1.000000e-03 \r\n"), ("TIM:SCAL UP", "2.000000e-03 \r\n"),
                               ("TIM:SCAL 5e-4", "5.000000e-04 \r\n")):
            s.write(command)
            got = s.query("TIM:SCAL?")
            assert got == reply, f"{command}: {got!r}"
    finally:
        s.close()


def hold_off(inst, rm):
    s = open_instr(rm)
    try:
        s.write("TIMebase:HOLDoff 1us")
        assert s.query("TIMebase:HOLDoff?") == "1.000000e-06\r\n"
        s.write("TIM:HOLD 20")
        assert s.query("TIM:HOLD?") == "1.000000e+01\r\n"
        s.write("TIM:HOLD 100ns")
        assert s.query("TIM:HOLD?") == "1.000000e-07\r\n"
    finally:
        s.close()


def format_and_mode(inst, rm):
    s = open_instr(rm)
    try:
        assert s.query("DISPlay:TYPE?") == "YT \r\n"
        s.write("DISPlay:TYPE XY12")
        assert s.query("DISP:TYPE?") == "XY12 \r\n"
        s.write("DISP:TYPE YT")
        assert s.query("DISP:TYPE?") == "YT \r\n"
        assert s.query("TIMebase:MODE?") == "MAIN\r\n"
    finally:
        s.close()


def independent_time_bases(inst, rm):
    s = open_instr(rm)
    try:
        assert s.query("TIMebase:INDPendent?") == "0\r\n"
        s.write("TIMebase:INDPendent ON")
        # The main loop switches it: the item shows it at once, the split too.
        assert s.query("TIM:INDP?") == "1\r\n"
        assert s.query("TIM:SPL:SCR?") == "1\r\n"
        # The FPGA is reloaded with the multi-scope configuration, then back.
        assert inst.wait_line(lambda l: "Independ Offset = 0x3f0" in l, 20), "no multi-scope reload"
        s.write("TIM:INDP OFF")
        assert s.query("TIM:INDP?") == "0\r\n"
        assert inst.wait_line(lambda l: "Independ Offset = 0x3ff" in l, 20), "no normal reload"
    finally:
        s.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="hori-py-")
    # A portmapper on a free port of its own: port 111 is left to the
    # VXI-11 tests that run beside this one.
    inst = Instrument(build, os.path.join(tmp, "root"), False)
    rpc.PMAP_PORT = inst.portmap
    rm = pyvisa.ResourceManager("@py")
    tally = Tally()
    for case in (time_base, hold_off, format_and_mode, independent_time_bases):
        tally.run(case.__name__, lambda: case(inst, rm))
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
