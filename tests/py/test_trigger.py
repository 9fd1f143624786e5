#!/usr/bin/env python3
"""A user's trigger script over VXI-11 with pyvisa and the pyvisa-py backend:
a pulse train on CH1 of the simulated board (pulses of 1, 2, 5 and 10 us,
5 us apart, once a millisecond), a pulse-width trigger "positive pulses
wider than 4 us" in normal sweep set with the TRIGger commands, and the
waveform read back: at the trigger point, the centre of the record, the
5 us pulse ends.

Usage: python3 test_trigger.py --build <builddir>
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

from scope_support import Tally, wait_until
from test_vxi11 import Instrument, open_instr

SIGNAL = "ch1 train freq=1000 widths=1e-6,2e-6,5e-6,10e-6 gap=5e-6\n"
SETTINGS = (":TRIGger:MODE PULSe", ":TRIGger:SOURce CHANnel1", ":TRIGger:PULSe:POLarity POSitive",
            ":TRIGger:PULSe:QUALifier GREaterthan", ":TRIGger:PULSe:TIME 4us", ":TRIGger:SWEep NORMal")


def pulse_at_trigger(codes, xinc):
    """The width of the pulse that ends at the record's trigger point (the
    centre); raises when no pulse ends there."""
    mid = (max(codes) + min(codes)) / 2
    high = [c > mid for c in codes]
    centre = len(codes) // 2
    falls = [i for i in range(len(high) - 1) if high[i] and not high[i + 1]]
    assert falls, "no falling edge in the record"
    end = min(falls, key=lambda i: abs(i - centre))
    assert abs(end - centre) <= 2, "the pulse ends at point %d, the trigger point is %d" % (end, centre)
    start = end
    while start > 0 and high[start - 1]:
        start -= 1
    width = (end - start + 1) * xinc
    assert 4.5e-6 < width < 5.5e-6, "the pulse at the trigger is %g s wide" % width
    return width


def pulse_width_trigger(inst, rm, root):
    with open(os.path.join(root, "dev", "signals"), "w") as f:
        f.write(SIGNAL)
    s = open_instr(rm)
    try:
        for command in SETTINGS:
            s.write(command)
        assert s.query(":TRIGger:MODE?").strip() == "PULSe"
        assert s.query(":TRIGger:PULSe:POLarity?").strip() == "POSitive"
        assert s.query(":TRIGger:PULSe:TIME?").strip() == "4.000000e-06"
        assert s.query(":TRIGger:SWEep?").strip() == "NORMal"
        s.write(":WAVeform:SOURce CHANnel1")
        s.write(":WAVeform:MODE NORMal")
        s.write(":WAVeform:FORMat BYTE")

        # Records made before the new trigger arrived are read until one
        # made with it comes.
        def triggered():
            codes = s.query_binary_values(":WAVeform:DATA?", datatype="B", container=list)
            xinc = float(s.query(":WAVeform:PREamble?").split(",")[4])
            return pulse_at_trigger(codes, xinc)

        width = wait_until(triggered, interval=0.2)
    finally:
        s.close()
    print("  the pulse ending at the trigger point is %.2f us wide" % (width * 1e6))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="trigger-py-")
    root = os.path.join(tmp, "root")
    inst = Instrument(build, root, False)
    rpc.PMAP_PORT = inst.portmap  # port 111 is left to the VXI-11 test beside this one
    rm = pyvisa.ResourceManager("@py")
    tally = Tally()
    tally.run("pulse_width_trigger", lambda: pulse_width_trigger(inst, rm, root))
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
