#!/usr/bin/env python3
"""Readings of the record in force, over VXI-11 with pyvisa and the pyvisa-py
backend, against values worked out with numpy from the signals applied to
the simulated board:

- a record kept by STOP and then shown at another V/div, offset or time base
  reads as acquired (its codes at the scale they were taken with, only the
  columns that hold samples);
- a noisy sine keeps its edges, its period and its top and base;
- a time cursor on the grid's right edge reads the last column;
- the voltmeter follows an AC coupling set by a command;
- SBUS:DATA? answers the rows of the window a stopped record is shown in,
  timed from its left edge, as the decode lane draws them.

Each reading is asked after the settings were read back with *OPC?; it is
asked once, never again until it agrees.

Usage: python3 test_kept_readings.py --build <builddir>
"""
import sys

try:
    import numpy as np
    import pyvisa
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py and python3-numpy")

from scope_support import opc_done, wait_until, write_signals
from test_readings import decode_rows
from test_record_states import cycles
from test_vxi11 import open_instr, run_cases

FREQ = 1000.0
SIGNAL = "ch1 sine freq=1000 amp=1\n"
CODES_PER_DIV, POINTS_PER_DIV = 25, 50


def settle(s, *settings):
    for setting in settings:
        s.write(setting)
        opc_done(s)


def stop(s):
    """STOP, and the acquisition stopped (its key may wait in the ring)."""
    settle(s, ":STOP")
    assert wait_until(lambda: s.query(":TRIGger:STATus?").strip() == "STOP")


def value(s, query):
    reply = s.query(query).strip()
    assert reply != "*", "%s gave no value" % query
    return float(reply)


def near(s, query, want, tolerance):
    got = value(s, query)
    assert abs(got - want) <= tolerance, "%s: %g, expected %g within %g" % (query, got, want, tolerance)
    return got


def sine(amp=1.0, points=200000):
    """One period of the applied sine, finely sampled, from its rising zero."""
    t = np.arange(points) / points / FREQ
    return t, amp * np.sin(2 * np.pi * FREQ * t)


def rise_time(t, v, top, base):
    """The first 13 % to 86 % rise of v between base and top, as the
    instrument's levels stand: from the last point below 13 % before the
    peak to the first at or above 86 %."""
    lo, hi = base + 0.13 * (top - base), base + 0.86 * (top - base)
    # From the trough (a quarter period before the end) round to the peak.
    v2, t2 = np.concatenate([v, v]), np.concatenate([t, t + 1 / FREQ])
    start = int(np.argmin(v))
    up = slice(start, start + len(v) // 2)
    above_lo = np.flatnonzero(v2[up] >= lo)[0]
    above_hi = np.flatnonzero(v2[up] >= hi)[0]
    return float(t2[up][above_hi] - t2[up][above_lo])


def start_ch1(s, volts, seconds):
    settle(s, ":RUN", ":CHANnel1:DISPlay ON", ":CHANnel1:COUPling DC", ":CHANnel1:PROBe 1X",
           ":CHANnel1:OFFSet 0", ":CHANnel1:SCALe %g" % volts, ":TIMebase:SCALe %g" % seconds,
           ":TRIGger:SOURce CHANnel1")


def running_value(s, query, want, tolerance):
    """A running instrument's reading once a record at the settings is in."""
    last = []

    def agrees():
        last[:] = [s.query(query).strip()]
        return last[0] != "*" and abs(float(last[0]) - want) <= tolerance

    assert wait_until(agrees), "%s gave %r, expected %g" % (query, last[0] if last else None, want)


def stopped_scale_change(rm, root):
    # A 2 Vpp sine kept at 0.5 V/div, then shown at 1 V/div, 0.2 V/div and
    # with the offset moved: each reading is that of the sine, within a code
    # of the V/div it was acquired at.
    write_signals(root, SIGNAL)
    t, v = sine()
    vpp, vmax, vrms = float(v.max() - v.min()), float(v.max()), float(np.sqrt(np.mean(v ** 2)))
    rise = rise_time(t, v, v.max(), v.min())
    code = 0.5 / CODES_PER_DIV
    point = 5e-4 / POINTS_PER_DIV
    s = open_instr(rm)
    try:
        start_ch1(s, 0.5, 5e-4)
        running_value(s, ":MEASure:VPP? CHANnel1", vpp, 2 * code)
        stop(s)
        for change in (":CHANnel1:SCALe 1", ":CHANnel1:SCALe 0.2", ":CHANnel1:SCALe 0.5", ":CHANnel1:OFFSet 0.5",
                       ":CHANnel1:SCALe 2"):
            settle(s, change)
            print("  after %s" % change)
            near(s, ":MEASure:VPP? CHANnel1", vpp, 2 * code)
            near(s, ":MEASure:VMAX? CHANnel1", vmax, 2 * code)
            near(s, ":MEASure:VRMS? CHANnel1", vrms, 2 * code)
            near(s, ":MEASure:RISetime? CHANnel1", rise, 2 * point)
            near(s, ":MEASure:PERiod? CHANnel1", 1 / FREQ, 2 * point)
            # Seven periods on the 14 divisions.
            near(s, ":MEASure:PULSes? CHANnel1", 7, 1)
        settle(s, ":RUN", ":CHANnel1:OFFSet 0")
    finally:
        s.close()


def stopped_time_base_change(rm, root):
    # Kept at 200 us/div and shown at 500 us/div, the record fills the middle
    # 40 % of the screen: the rise and the period are the sine's, never an
    # edge between the empty columns and the record.
    write_signals(root, SIGNAL)
    t, v = sine()
    rise = rise_time(t, v, v.max(), v.min())
    s = open_instr(rm)
    try:
        start_ch1(s, 0.5, 2e-4)
        settle(s, ":WAVeform:SOURce CHANnel1", ":WAVeform:MODE NORMal", ":WAVeform:FORMat BYTE")
        trace = lambda: np.array(s.query_binary_values(":WAVeform:DATA?", datatype="B", container=list))
        # A record at 200 us/div is in: 2.8 periods on the screen, not 7.
        assert wait_until(lambda: cycles(trace()) <= 3)
        running_value(s, ":MEASure:RISetime? CHANnel1", rise, 2 * 2e-4 / POINTS_PER_DIV)
        stop(s)
        settle(s, ":TIMebase:SCALe 5e-4")
        # The screen shows it: the trace's data columns are the middle ones.
        filled = np.flatnonzero(trace() > 0)
        assert 250 <= len(filled) <= 310 and filled[0] > 150, (len(filled), filled[:1])
        point = 5e-4 / POINTS_PER_DIV
        near(s, ":MEASure:RISetime? CHANnel1", rise, 2 * point)
        near(s, ":MEASure:FALLtime? CHANnel1", rise, 2 * point)
        near(s, ":MEASure:PERiod? CHANnel1", 1 / FREQ, 2 * point)
        near(s, ":MEASure:VMIN? CHANnel1", -1, 2 * 0.5 / CODES_PER_DIV)
        settle(s, ":RUN")
    finally:
        s.close()


def noisy_sine(rm, root):
    # Uniform noise of 0.2 V peak on the 2 Vpp sine: the noise's extremes
    # are the maximum and minimum; the top, base, edges, widths and duties
    # are the sine's own.
    write_signals(root, "ch1 sine freq=1000 amp=1 noise=0.2\n")
    t, v = sine()
    rise = rise_time(t, v, v.max(), v.min())
    # The clean sine's histogram peaks at its extremes.
    counts, edges = np.histogram(v, bins=200)
    top, base = float(edges[np.argmax(counts[100:]) + 101]), float(edges[np.argmax(counts[:100])])
    code = 0.5 / CODES_PER_DIV
    point = 5e-4 / POINTS_PER_DIV
    s = open_instr(rm)
    try:
        start_ch1(s, 0.5, 5e-4)
        running_value(s, ":MEASure:VMAX? CHANnel1", 1.2, 3 * code)
        for state in (":RUN", ":STOP"):
            stop(s) if state == ":STOP" else settle(s, state)
            print("  %s" % state)
            # The top and base: the histogram's modes. The noise spreads the
            # sine's extremes over its own width: the mode lies in that
            # plateau, never out at the noise's extremes (1.2 V).
            near(s, ":MEASure:VTOP? CHANnel1", top - 0.025, 0.125)
            near(s, ":MEASure:VBASe? CHANnel1", base + 0.025, 0.125)
            # The rise and fall: the mean of the seven edges shown, each off
            # by the noise by a few points (a record's mean within 15 %).
            near(s, ":MEASure:RISetime? CHANnel1", rise, 0.15 * rise)
            near(s, ":MEASure:FALLtime? CHANnel1", rise, 0.15 * rise)
            near(s, ":MEASure:PERiod? CHANnel1", 1 / FREQ, 0.02 / FREQ)
            near(s, ":MEASure:NWIDth? CHANnel1", 0.5 / FREQ, 4 * point)
            near(s, ":MEASure:PWIDth? CHANnel1", 0.5 / FREQ, 4 * point)
            near(s, ":MEASure:PDUTy? CHANnel1", 50, 5)
            near(s, ":MEASure:NDUTy? CHANnel1", 50, 5)
            near(s, ":MEASure:VAVerage? CYCLe,CHANnel1", float(v.mean()), 3 * code)
            near(s, ":MEASure:PULSes? CHANnel1", 7, 1)
        settle(s, ":RUN")
    finally:
        s.close()
        write_signals(root, SIGNAL)


def cursor_on_right_edge(rm, root):
    # An 800 Hz square, rising at the trigger (column 350): 3.5 ms later, at
    # the grid's right edge, it is low; column 0 (3.5 ms before) is high.
    write_signals(root, "ch1 square freq=800 amp=1\n")
    phase = lambda ms: (ms * 1e-3 * 800) % 1
    assert phase(3.5) > 0.5 and phase(-3.5) < 0.5
    s = open_instr(rm)
    try:
        start_ch1(s, 0.5, 5e-4)
        settle(s, ":TRIGger:LEVel 0", ":CURSor:TYPE TIME", ":CURSor:SOURce CHANnel1", ":CURSor:CURA 0",
               ":CURSor:CURB 700")
        assert int(s.query(":CURSor:CURB?")) == 700
        low = []

        def reads_low():
            low[:] = [value(s, ":CURSor:AYValue?"), value(s, ":CURSor:BYValue?")]
            return abs(low[0] - 1) <= 0.06 and abs(low[1] + 1) <= 0.06

        assert wait_until(reads_low), low
        stop(s)
        assert abs(value(s, ":CURSor:BYValue?") + 1) <= 0.06
        settle(s, ":CURSor:TYPE CLOSe", ":RUN")
    finally:
        s.close()
        write_signals(root, SIGNAL)


def dvm_follows_ac_coupling(rm, root):
    # AC coupled by a command, the voltmeter's channel reads AC RMS only, as
    # after the coupling key.
    s = open_instr(rm)
    try:
        mode = lambda: s.query(":DVM:MODE?").strip()
        error = lambda: s.query(":SYSTem:ERRor?").split(",")[0].strip()
        start_ch1(s, 0.5, 5e-4)
        assert wait_until(lambda: error() == "0")  # the queue read out
        settle(s, ":DVM:ENABle ON", ":DVM:SOURCe CHANnel1", ":DVM:MODE DC")
        assert mode() == "DC"
        assert error() == "0"
        settle(s, ":CHANnel1:COUPling AC")
        assert mode() == "ACRMs"
        s.write(":DVM:MODE DC")  # refused: AC coupled, the DC modes are out
        assert error() != "0"
        assert mode() == "ACRMs"
        settle(s, ":CHANnel1:COUPling DC", ":DVM:MODE DC")
        assert mode() == "DC"
        assert error() == "0"
        settle(s, ":DVM:ENABle OFF")
    finally:
        s.close()


UART_SENT = [0x48, 0x69, 0x0A, 0x7F, 0xC8, 0x00]
UNITS = (("ns", 1e-9), ("us", 1e-6), ("ms", 1e-3), ("s", 1.0))


def decoded(s):
    """SBUS:DATA?'s rows as (seconds, byte); None without rows."""
    rows = decode_rows(s)
    if not rows:
        return None
    assert rows[:2] == ["RS232", "TIME,DATA,CHECK"], rows[:3]
    out = []
    for line in rows[2:]:
        time, data, _ = line.split(",")
        unit, scale = next((u, k) for u, k in UNITS if time.endswith(u))
        out.append((float(time[:-len(unit)]) * scale, int(data, 16)))
    return out


def in_sent_order(rows):
    """The bytes follow one another as sent, round the repeated burst."""
    data = [d for _, d in rows]
    first = UART_SENT.index(data[0])
    return data == [UART_SENT[(first + i) % len(UART_SENT)] for i in range(len(data))]


def decode_of_rewindowed_record(rm, root):
    # The burst of six bytes every 10 ms, kept at 1 ms/div (14 ms shown) and
    # shown at 500 us/div: the screen is the middle 7 ms of the one read,
    # 3.5 ms in. SBUS:DATA? answers the rows the lane shows there, each timed
    # from the left edge shown; 200 us/div the middle 2.8 ms.
    write_signals(root, "bus uart rate=9600 interval=0.01 data=%s\n" % ",".join("%x" % b for b in UART_SENT))
    s = open_instr(rm)
    s.timeout = 5000  # SBUS:DATA? without rows answers nothing
    byte_time = 11 / 9600  # the longest frame: start, 8 data, parity, stop
    try:
        settle(s, ":RUN", ":TIMebase:SCALe 1e-3", "SBUS:MODE RS232", "SBUS:RS232:BAUDrate 9600",
               "SBUS:RS232:PARity NONE", "SBUS:RS232:POLarity POSitive", "SBUS:RS232:DATA:BIT 8",
               "SBUS:RS232:BITorder LSBFirst", "SBUS:BASE HEX", "SBUS:TRIGger:SWEep NORMal")
        assert wait_until(lambda: (lambda r: r is not None and len(r) >= 6)(decoded(s)))
        stop(s)
        # A frame the record's start cut decodes as what the line held from
        # there: the rows from a whole frame in.
        kept = [(t, d) for t, d in decoded(s) or [] if t >= byte_time]
        assert kept and in_sent_order(kept), kept
        for seconds, left in ((5e-4, 3.5e-3), (2e-4, 5.6e-3)):
            settle(s, ":TIMebase:SCALe %g" % seconds)
            shown = decoded(s)
            width = 14 * seconds
            expected = [(t - left, d) for t, d in kept if left <= t < left + width]
            cut = [(t - left, d) for t, d in kept if left - byte_time < t < left]
            print("  %g s/div: %s" % (seconds, shown))
            assert shown is not None and in_sent_order(shown), shown
            whole = [(t, d) for t, d in shown if t >= 0]
            assert [d for _, d in whole] == [d for _, d in expected], (shown, expected)
            assert all(abs(a - b) <= 1e-4 for (a, _), (b, _) in zip(whole, expected)), (shown, expected)
            # An entry cut by the left edge, as the lane draws it.
            early = [(t, d) for t, d in shown if t < 0]
            assert [d for _, d in early] == [d for _, d in cut][:len(early)], (shown, cut)
        settle(s, ":RUN", "SBUS:MODE OFF", ":TRIGger:MODE EDGE")
    finally:
        s.close()
        write_signals(root, SIGNAL)


def main():
    return run_cases("kept-readings-py-", SIGNAL,
                     (stopped_scale_change, stopped_time_base_change, noisy_sine, cursor_on_right_edge,
                      dvm_follows_ac_coupling, decode_of_rewindowed_record),
                     call=lambda case, rm, root, inst: case(rm, root))


if __name__ == "__main__":
    sys.exit(main())
