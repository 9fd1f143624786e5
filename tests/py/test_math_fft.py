#!/usr/bin/env python3
"""A user's FFT script over VXI-11 with pyvisa and the pyvisa-py backend: a
100 kHz sine on CH1 of the simulated board at 500 us/div, so the FFT of 8K
points runs at 50 / 500 us x 10 = 1 MSa/s and a bin is 1e6 / 8192 Hz. The
script turns the math channel on as an FFT of CH1, sets its window, scale and
points and reads them back, sets the shown span by start and end and by
centre and width and reads the frequencies back in whole bins, then asks for
the mark data block (any mark found lies on the sine).

Usage: python3 test_math_fft.py --build <builddir>
"""
import os
import re
import sys
import time

from scope_support import wait_until
from test_sbus import block
from test_vxi11 import open_instr, run_cases

SINE_HZ = 100e3
SIGNAL = "ch1 sine freq=%d amp=1\n" % SINE_HZ
BIN = 1e6 / 8192
NUMBER = r"^-?\d\.\d{6}e[+-]\d\d$"


def hz(session, query):
    reply = session.query(query).strip()
    assert re.match(NUMBER, reply), "not a %%e number: %r" % reply
    return float(reply)


def near_bins(value, bins):
    """True when `value` is the frequency of bin `bins` as "%e" shows it."""
    return abs(value - bins * BIN) <= 1e-6 * bins * BIN + 1e-9


def fft_settings(rm):
    s = open_instr(rm)
    try:
        for line in (":CHANnel1:DISPlay ON", ":CHANnel1:SCALe 0.5", ":TIMebase:SCALe 0.0005"):
            s.write(line)
        s.write("FUNC:MATH:MODE FFT")
        assert s.query("FUNC:MATH:MODE?").strip() == "FFT"
        if s.query("KEY:MATH:LED?").strip() != "1":
            s.write("KEY:MATH")  # the math key, handled on the main loop
        assert wait_until(lambda: s.query("KEY:MATH:LED?").strip() == "1")
        s.write("FUNC:SOUR1 CHAN1")
        s.write("FUNC:FFT:WIND RECT")
        s.write("FUNC:FFT:VTYP DBRMS")
        s.write("FUNC:FFT:POIN 8K")
        assert s.query("FUNC:SOUR1?").strip() == "CHANnel1"
        assert s.query("FUNC:FFT:WIND?").strip() == "RECTangular"
        assert s.query("FUNC:FFT:VTYP?").strip() == "DBRMS"
        assert s.query("FUNC:FFT:POIN?").strip() == "8K"
        s.write("FUNC:FFT:DISP SPLIt")
        assert s.query("FUNC:FFT:DISP?").strip() == "SPLIt"
        s.write("FUNC:FFT:DISP FULL")
    finally:
        s.close()


def fft_span(rm):
    s = open_instr(rm)
    try:
        s.write("FUNC:FFT:FREQ:END 200K")
        s.write("FUNC:FFT:FREQ:STAR 1K")
        start, end = hz(s, "FUNC:FFT:FREQ:STAR?"), hz(s, "FUNC:FFT:FREQ:END?")
        assert near_bins(start, 8), start  # 1000 / 122.07 = 8.19 bins
        assert near_bins(end, 1638), end  # 200000 / 122.07 = 1638.4
        assert near_bins(hz(s, "FUNC:FFT:FREQ:BW?"), 1630)
        assert near_bins(hz(s, "FUNC:FFT:FREQ:CENT?"), 8 + 815)
        # The sine in the middle of a span of 81 bins.
        s.write("FUNC:FFT:FREQ:CENT %d" % SINE_HZ)
        s.write("FUNC:FFT:FREQ:BW 10K")
        centre = hz(s, "FUNC:FFT:FREQ:CENT?")
        assert abs(centre - SINE_HZ) <= BIN, centre
        assert near_bins(hz(s, "FUNC:FFT:FREQ:BW?"), 81)
        s.write("FUNC:FFT:MARK:TYPE AUTO")
        s.write("FUNC:FFT:MARK:POIN 1")
        assert s.query("FUNC:FFT:MARK:POIN?").strip() == "1"
        # The marker follows once frames at the new span are drawn.
        def marker_on_sine():
            s.write("FUNC:FFT:MARK:DATA?")
            lines = block(s.read_raw()).splitlines()
            assert lines[:2] == ["FFT", "ID,Freq,Amp"], lines
            assert len(lines) > 2, lines
            for line in lines[2:]:
                fields = line.split(",")
                assert fields[0] == "1" and fields[3] == "", fields
                assert abs(float(fields[1]) - SINE_HZ) <= 2 * BIN, fields
            return True

        assert wait_until(marker_on_sine, interval=0.2)
    finally:
        s.close()


def main():
    return run_cases("math-fft-py-", SIGNAL, (fft_settings, fft_span))


if __name__ == "__main__":
    sys.exit(main())
