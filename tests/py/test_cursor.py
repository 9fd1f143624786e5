#!/usr/bin/env python3
"""A user's cursor script over VXI-11 with pyvisa and the pyvisa-py backend:
a 1 kHz square of +-1 V on CH1 of the simulated board at 500 mV/div and
500 us/div (the trigger on its rising edge at the screen centre). The script
switches the time cursors on, puts them on two rising edges a period apart
and reads the time between them, then reads the square's levels under the
cursors; then amplitude cursors a volt above and below the centre line.

Usage: python3 test_cursor.py --build <builddir>
"""
import os
import re
import sys

from scope_support import wait_until
from test_vxi11 import open_instr, run_cases

SIGNAL = "ch1 square freq=1000 amp=1\n"
NUMBER = r"^-?\d\.\d{6}e[+-]\d\d$"
# Positions of the time cursors are columns from the wave area's left edge:
# the trigger at 350, a period of 1 ms is 100 columns at 500 us/div.
TRIGGER, PERIOD = 350, 100


def number(reply):
    reply = reply.strip()
    assert re.match(NUMBER, reply), "not a %%e number: %r" % reply
    return float(reply)


def settled(session, query, want, tolerance):
    """The reply once it is within `tolerance` of `want` (the cursors read
    the trace the instrument refreshes twice a second); the last reply when
    it never comes."""
    last = []

    def close_enough():
        last[:] = [number(session.query(query))]
        return abs(last[0] - want) <= tolerance

    wait_until(close_enough)
    return last[0]


def time_cursors(rm):
    s = open_instr(rm)
    try:
        for line in (":CHANnel1:DISPlay ON", ":CHANnel1:PROBe 1X", ":CHANnel1:SCALe 0.5", ":TIMebase:SCALe 0.0005"):
            s.write(line)
        assert s.query(":CURSor:TYPE?").strip() == "CLOSe"
        s.write(":CURSor:TYPE TIME")
        assert s.query(":CURSor:TYPE?").strip() == "TIME"
        s.write(":CURSor:SOURce CHANnel1")
        s.write(":CURSor:CURA %d" % TRIGGER)
        s.write(":CURSor:CURB %d" % (TRIGGER + PERIOD))
        assert int(s.query(":CURSor:CURA?")) == TRIGGER
        assert int(s.query(":CURSor:CURB?")) == TRIGGER + PERIOD
        ta, tb = number(s.query(":CURSor:AXValue?")), number(s.query(":CURSor:BXValue?"))
        assert abs(ta) < 1e-9 and abs(tb - 1e-3) < 1e-9, (ta, tb)
        fields = s.query(":CURSor:MEASure?").strip().split(",")
        assert len(fields) == 7 and fields[6] == "1", fields
        assert abs(float(fields[2]) - 1e-3) < 1e-9, fields
        assert abs(1 / float(fields[2]) - 1000) < 1e-3, fields
        # A fifth of a period after the edge the square is high, a fifth
        # before the next edge low.
        s.write(":CURSor:CURA %d" % (TRIGGER + PERIOD // 5))
        s.write(":CURSor:CURB %d" % (TRIGGER + PERIOD - PERIOD // 5))
        high = settled(s, ":CURSor:AYValue?", 1.0, 0.06)
        low = settled(s, ":CURSor:BYValue?", -1.0, 0.06)
        assert abs(high - 1.0) <= 0.06, high
        assert abs(low + 1.0) <= 0.06, low
    finally:
        s.close()


def amplitude_cursors(rm):
    s = open_instr(rm)
    try:
        s.write(":CURSor:TYPE AMPlitude")
        assert s.query(":CURSor:TYPE?").strip() == "AMPlitude"
        # Positions run from 28 (bottom) to 228 (top), 128 the centre line:
        # 50 positions are two divisions, 1 V at 500 mV/div.
        s.write(":CURSor:CURA 178")
        s.write(":CURSor:CURB 78")
        a, b = number(s.query(":CURSor:AYValue?")), number(s.query(":CURSor:BYValue?"))
        assert abs(a - 1.0) < 1e-6 and abs(b + 1.0) < 1e-6, (a, b)
        fields = s.query(":CURSor:MEASure?").strip().split(",")
        assert abs(float(fields[5]) + 2.0) < 1e-6, fields
        assert number(s.query(":CURSor:AXValue?")) == 0
        s.write(":CURSor:MODE TRACK")
        assert s.query(":CURSor:MODE?").strip() == "TRACK"
        s.write(":CURSor:TYPE CLOSe")
        assert s.query(":CURSor:TYPE?").strip() == "CLOSe"
    finally:
        s.close()


def main():
    return run_cases("cursor-py-", SIGNAL, (time_cursors, amplitude_cursors))


if __name__ == "__main__":
    sys.exit(main())
