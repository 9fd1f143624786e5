#!/usr/bin/env python3
"""A user's FFT script over VXI-11 with pyvisa and the pyvisa-py backend: a
100 kHz sine on CH1 of the simulated board at 500 us/div, so the FFT of 8K
points runs at 50 / 500 us x 10 = 1 MSa/s and a bin is 1e6 / 8192 Hz. The
script turns the math channel on as an FFT of CH1, sets its window, scale and
points and reads them back, sets the shown span by start and end and by
centre and width and reads the frequencies back in whole bins, writes the
answers back (an exponent and all) and has an unknown unit refused, then asks for
the mark data block (any mark found lies on the sine). Then the readings
against numpy: sines of 10 mV to 10 V through each window, the largest mark
read in dBVrms and in Vrms against the rms value numpy finds in the same
windowed record (its window's gain taken out), within 0.5 dB; and with a
10X probe, the tip's volts.

Usage: python3 test_math_fft.py --build <builddir>
"""
import math
import os
import re
import sys
import time

from scope_support import system_python_or_exit, wait_until, write_signals

try:
    import numpy as np
except ImportError:
    system_python_or_exit("numpy")

from test_sbus import block
from test_setup_recall import Link
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
        # Every answer written back sets what it answered; a unit the
        # commands do not know is refused with the parameter error.
        while s.query("SYSTem:ERRor?").strip() != '0,"No error"':
            pass
        s.write("FUNC:FFT:FREQ:END 4.998779e+05")
        assert near_bins(hz(s, "FUNC:FFT:FREQ:END?"), 4095)
        for query in ("FUNC:FFT:FREQ:END", "FUNC:FFT:FREQ:STAR", "FUNC:FFT:FREQ:CENT", "FUNC:FFT:FREQ:BW"):
            answer = s.query(query + "?").strip()
            s.write("%s %s" % (query, answer))
            assert s.query(query + "?").strip() == answer, (query, answer)
        assert s.query("SYSTem:ERRor?").strip() == '0,"No error"'
        spans = [s.query(q + "?") for q in ("FUNC:FFT:FREQ:STAR", "FUNC:FFT:FREQ:END")]
        for bad in ("5Q", "5e+05xyz"):
            s.write("FUNC:FFT:FREQ:END " + bad)
            assert s.query("SYSTem:ERRor?").startswith("72,"), bad
        assert [s.query(q + "?") for q in ("FUNC:FFT:FREQ:STAR", "FUNC:FFT:FREQ:END")] == spans
        s.write("FUNC:FFT:FREQ:END 200K")
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


RATE = 1e6
POINTS = 8192
WINDOWS = ("HAMMing", "BMAN", "RECTangular", "HANNing")
COLUMN_HZ = BIN * (POINTS // 2 - 1) / 700  # the whole half-spectrum over 700 columns


def window(name, n):
    """The window as the instrument defines it (2 pi i / (n - 1))."""
    a = 2 * np.pi * np.arange(n) / (n - 1)
    return {"HAMMing": 0.54 - 0.46 * np.cos(a),
            "BMAN": 0.42 - 0.5 * np.cos(a) + 0.08 * np.cos(2 * a),
            "RECTangular": np.ones(n),
            "HANNing": 0.5 - 0.5 * np.cos(a)}[name]


def numpy_rms(amp, name):
    """The rms value of the largest bin of the windowed record, the window's
    coherent gain taken out."""
    w = window(name, POINTS)
    x = amp * np.sin(2 * np.pi * SINE_HZ * np.arange(POINTS) / RATE)
    spectrum = np.abs(np.fft.rfft(x * w))[1:POINTS // 2]
    return spectrum.max() * 2 / w.sum() / math.sqrt(2)


def largest_mark(s):
    """(frequency, amplitude) of mark 1, or None while there is none."""
    s.write("FUNC:FFT:MARK:DATA?")
    lines = block(s.read_raw()).splitlines()
    if len(lines) < 3:
        return None
    fields = lines[2].split(",")
    return float(fields[1]), float(fields[2])


def reading_near(s, expected, to_db, deadline_s=60):
    """Polls mark 1 until it lies on the sine and reads within 0.5 dB of
    `expected` (the frames after a change take their time); the last reading."""
    end = time.monotonic() + deadline_s
    last = seen = None
    while time.monotonic() < end:
        mark = largest_mark(s)
        seen = mark
        if mark and abs(mark[0] - SINE_HZ) <= 2 * COLUMN_HZ:
            last = mark[1]
            if abs(to_db(last) - expected) <= 0.5:
                return last
        time.sleep(0.2)
    raise AssertionError("reading %r, numpy %.2f dB, mark %r" % (last, expected, seen))


def fft_readings(rm, root):
    s = open_instr(rm, 5000)
    try:
        s.write("FUNC:FFT:FREQ:STAR 0")
        s.write("FUNC:FFT:FREQ:END 500K")
        s.write("FUNC:FFT:MARK:TYPE AUTO")
        s.write("FUNC:FFT:MARK:POIN 1")
        s.write("FUNC:FFT:MARK:SOUR REAL")
        for amp, vdiv in ((0.01, 0.005), (0.1, 0.05), (1.0, 0.5), (10.0, 5.0)):
            write_signals(root, "ch1 sine freq=%d amp=%g\n" % (SINE_HZ, amp))
            s.write(":CHANnel1:SCALe %g" % vdiv)
            for name in WINDOWS:
                rms = numpy_rms(amp, name)
                s.write("FUNC:FFT:WIND %s" % name)
                s.write("FUNC:FFT:VTYP DBRMS")
                reading_near(s, 20 * math.log10(rms), lambda v: v)
                s.write("FUNC:FFT:VTYP VRMS")
                reading_near(s, 20 * math.log10(rms), lambda v: 20 * math.log10(max(v, 1e-12)))
    finally:
        s.close()


def fft_probe(rm, root):
    """A 10X probe: 1 V peak at the input is 10 V at the tip, as CH1 shows
    it, and the spectrum reads the tip's volts."""
    s = open_instr(rm, 5000)
    try:
        write_signals(root, "ch1 sine freq=%d amp=1\n" % SINE_HZ)
        s.write(":CHANnel1:PROBe 10X")
        s.write(":CHANnel1:SCALe 5")
        s.write("FUNC:FFT:WIND RECT")
        rms = numpy_rms(10.0, "RECTangular")
        s.write("FUNC:FFT:VTYP DBRMS")
        reading_near(s, 20 * math.log10(rms), lambda v: v)
        s.write("FUNC:FFT:VTYP VRMS")
        reading_near(s, 20 * math.log10(rms), lambda v: 20 * math.log10(max(v, 1e-12)))
    finally:
        s.write(":CHANnel1:PROBe 1X")
        s.close()


def zoom_shows_the_spectrum_full(rm):
    """The zoomed time base has no room for the split and waterfall views,
    which FUNC:FFT:DISPlay refuses there: zoom taken with one of them shown,
    from the panel (HORI, then the Type soft key) or with TIMebase:MODE
    WINDow, is taken and shows the spectrum full (the screen tells so: no
    error). A setup saved then comes back as it was in force."""
    link = Link(rm)
    try:
        link.reset()
        link.set("FUNC:MATH:MODE FFT")
        if link.ask("KEY:MATH:LED?") != "1":
            link.set("KEY:MATH")
        assert wait_until(lambda: link.ask("KEY:MATH:LED?") == "1")
        for view in ("SPLIt", "WATerfall1", "WATerfall2"):
            for way in ("the panel", "TIMebase:MODE"):
                link.set(":TIMebase:MODE MAIN")
                link.set("FUNC:FFT:DISPlay " + view)
                assert link.ask("FUNC:FFT:DISPlay?") == view, view
                link.drain_errors()
                if way == "the panel":
                    link.set("KEY:HMENu")
                    link.set("KEY:F2")  # the horizontal menu's "Type"
                else:
                    link.set(":TIMebase:MODE WINDow")
                shown = (link.ask(":TIMebase:MODE?"), link.ask("FUNC:FFT:DISPlay?"))
                assert shown == ("WINDow", "FULL"), (view, way, shown)
                assert link.drain_errors() == [], (view, way)  # taken: the screen's notice is no error
        in_force = link.snapshot([":TIMebase:MODE", "FUNC:FFT:DISPlay", "FUNC:MATH:MODE"])
        data = link.setup_block()
        link.reset()
        link.upload(data)
        assert wait_until(lambda: link.ask(":TIMebase:MODE?") == "WINDow"), "the setup was not loaded"
        assert link.snapshot(in_force) == in_force, link.snapshot(in_force)
        assert link.drain_errors() == []
    finally:
        link.set(":TIMebase:MODE MAIN")
        link.reset()
        link.close()


def main():
    with_root = (fft_readings, fft_probe)
    return run_cases("math-fft-py-", SIGNAL, (fft_settings, fft_span, fft_readings, fft_probe, zoom_shows_the_spectrum_full),
                     call=lambda case, rm, root, inst: case(rm, root) if case in with_root else case(rm))


if __name__ == "__main__":
    sys.exit(main())
