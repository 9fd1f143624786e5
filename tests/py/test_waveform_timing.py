#!/usr/bin/env python3
"""Where :WAVeform:DATA? puts the applied sine in time, through the preamble's x
increment and origin, at the interpolated time bases (20, 10 and 5 ns/div), at
a real-time one, in zoom (over an interpolated and over a real-time main
time base, the window moved off the centre too), and of a record stopped at
one time base and shown at another, to or from an interpolated one (the main
and the zoom time base changed after the stop): the trigger (0 V, rising) is
t = 0, so the trace's rising crossings of 0 V must lie at whole periods of the
applied frequency (numpy), the crest and the trough at the applied amplitude.

Usage: python3 test_waveform_timing.py --build <builddir>
"""
import sys

try:
    import numpy as np
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-numpy")

from scope_support import wait_frames, write_signals
from test_record_states import settle
from test_vxi11 import open_instr, run_cases

AMP = 1.0


def trace_volts(s):
    """Times (s) and volts of the NORMal CH1 trace through the preamble; columns without data dropped."""
    settle(s, ":WAVeform:SOURce CHANnel1", ":WAVeform:MODE NORMal", ":WAVeform:FORMat BYTE")
    codes = np.array(s.query_binary_values(":WAVeform:DATA?", datatype="B", container=list), dtype=float)
    f = [float(v) for v in s.query(":WAVeform:PREamble?").split(",")]
    points, xinc, xorg, yinc, yorg, yref = int(f[2]), f[4], f[5], f[7], f[8], f[9]
    assert points == len(codes) == 700, (points, len(codes))
    t = xorg + xinc * np.arange(len(codes))
    keep = codes > 0
    return t[keep], (codes[keep] - yref - yorg) * yinc, xinc


def check_sine(s, freq, amp, what, columns=700):
    """The trace is the applied sine `amp` sin(2 pi freq t): its rising crossings of 0 V at
    whole periods (within two points and a column's maximum), crest and trough at +-amp."""
    t, v, xinc = trace_volts(s)
    assert len(t) >= columns - 2, (what, len(t))
    rising = np.nonzero((v[:-1] < 0) & (v[1:] >= 0))[0]
    at = t[rising] + (0 - v[rising]) / (v[rising + 1] - v[rising]) * (t[rising + 1] - t[rising])
    period = 1.0 / freq
    expected = int(round((t[-1] - t[0]) / period))
    assert abs(len(at) - expected) <= 1, (what, len(at), expected)
    off = (at + period / 2) % period - period / 2  # from the nearest whole period
    tol = 2.5 * xinc + 0.01 * period
    assert np.all(np.abs(off) <= tol), (what, (off / xinc).round(1).tolist(), "points off")
    yinc_tol = 0.06 * amp
    assert abs(v.max() - amp) <= yinc_tol and abs(v.min() + amp) <= yinc_tol, (what, v.max(), v.min())


def time_bases(rm, root, inst):
    s = open_instr(rm)
    try:
        settle(s, ":TRIGger:SWEep AUTO", ":TRIGger:LEVel 0", ":CHANnel1:SCALe 0.5")
        cases = [(1e7, 2e-8, None, 0), (1e7, 1e-8, None, 0), (1e7, 5e-9, None, 0), (1e7, 5e-7, None, 0),
                 (1e7, 2e-8, 1e-8, 0), (1e7, 2e-8, 1e-8, 5e-8), (1e6, 1e-5, 2e-6, 0), (1e6, 1e-5, 2e-6, -2.5e-6)]
        for freq, tb, zoom, offset in cases:
            write_signals(root, f"ch1 sine freq={freq:g} amp={AMP:g}\n")
            settle(s, ":TIMebase:MODE MAIN", ":TIMebase:OFFSet 0", f":TIMebase:SCALe {tb:g}")
            what = f"{freq:g} Hz at {tb:g} s/div"
            if zoom:
                settle(s, ":TIMebase:MODE WINDow", f":TIMebase:WINDow:SCALe {zoom:g}",
                       f":TIMebase:WINDow:OFFSet {offset:g}")
                what += f", zoom {zoom:g} s/div at {s.query(':TIMebase:WINDow:OFFSet?').strip()} s"
            wait_frames(root, 3)
            check_sine(s, freq, AMP * 1.0, what)
            print("  ok:", what)
        settle(s, ":TIMebase:MODE MAIN")
    finally:
        s.close()


def stopped_time_bases(rm, root, inst):
    s = open_instr(rm)
    try:
        settle(s, ":TRIGger:SWEep AUTO", ":TRIGger:LEVel 0", ":CHANnel1:SCALe 0.5")
        # (frequency, acquired at, shown at, zoom after the stop)
        cases = [(1e7, 5e-8, 2e-8, None), (1e7, 2e-8, 5e-8, None), (2e7, 2e-8, 1e-8, None),
                 (2e7, 1e-8, 2e-8, None), (1e7, 5e-8, 5e-8, 2e-8), (2e7, 5e-8, 2e-8, 1e-8)]
        for freq, acquired, shown, zoom in cases:
            write_signals(root, f"ch1 sine freq={freq:g} amp={AMP:g}\n")
            settle(s, ":RUN", ":TIMebase:MODE MAIN", ":TIMebase:OFFSet 0", f":TIMebase:SCALe {acquired:g}")
            wait_frames(root, 3)
            settle(s, ":STOP", f":TIMebase:SCALe {shown:g}")
            what = f"{freq:g} Hz acquired at {acquired:g} s/div, shown at {shown:g} s/div"
            if zoom:
                settle(s, ":TIMebase:MODE WINDow", f":TIMebase:WINDow:SCALe {zoom:g}")
                what += f", zoom {zoom:g} s/div"
            wait_frames(root, 3)
            check_sine(s, freq, AMP * 1.0, what)
            print("  ok:", what)
        settle(s, ":TIMebase:MODE MAIN", ":RUN")
    finally:
        s.close()


if __name__ == "__main__":
    sys.exit(run_cases("waveform-timing-py-", f"ch1 sine freq=1e7 amp={AMP:g}\n", [time_bases, stopped_time_bases],
                       call=lambda case, rm, root, inst: case(rm, root, inst)))
