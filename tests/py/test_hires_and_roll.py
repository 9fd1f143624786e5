#!/usr/bin/env python3
"""High resolution and roll against the signal applied, over pyvisa (the
pyvisa-py backend over VXI-11), with numpy computing what the instrument
should show from the signal's own definition.

Usage: python3 test_hires_and_roll.py --build <builddir>
"""
import sys

try:
    import numpy as np
    import pyvisa  # noqa: F401  (run_cases drives it)
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py and python3-numpy")

from scope_support import opc_done, wait_frames, wait_until, write_signals
from test_acquire_signal import number, raw_volts, trace
from test_vxi11 import open_instr, run_cases

# CH1: uniform noise of +-1 V added to 0 V; CH2: the noise shape itself.
SIGNALS = "ch1 dc offset=0 noise=1\nch2 noise amp=1\n"
NOISE_V = 1.0


def stop(s, root):
    s.write(":STOP")
    assert wait_until(lambda: s.query("KEY:RS:LED?").strip() == "2"), "the stop did not take"
    wait_frames(root, 2)


def high_resolution(inst, rm, root):
    """At 10 us/div with a 7K record each sample spans 20 ns, 20 values of
    the 1 GSa/s ADC: high resolution keeps their mean, so the noise of a
    record's samples is that of the mean of 20 uniform values (numpy draws
    them), in spread and in shape, where normal mode keeps the noise whole."""
    s = open_instr(rm)
    count = 20  # ns per sample: 200 ns a screen point, 10 samples a point
    rng = np.random.default_rng(1)
    means = rng.uniform(-NOISE_V, NOISE_V, (200000, count)).mean(axis=1)
    whole = rng.uniform(-NOISE_V, NOISE_V, 200000)
    try:
        for ch in ("CHANnel1", "CHANnel2"):
            for line in ("DISPlay ON", "COUPling DC", "PROBe 1X", "SCALe 0.5", "OFFSet 0"):
                s.write(":%s:%s" % (ch, line))
        for line in (":TIMebase:SCALe 1e-5", ":TIMebase:OFFSet 0", ":ACQuire:MEMory:DEPTh 7K",
                     ":TRIGger:SWEep AUTO"):
            s.write(line)
        for mode, want in (("NORMal", whole), ("HRESolution", means)):
            s.write(":ACQuire:TYPE " + mode)
            opc_done(s)
            wait_frames(root, 3)
            stop(s, root)
            for source in ("CHANnel1", "CHANnel2"):
                v = raw_volts(s, source)
                code = s.query(":WAVeform:PREamble?").split(",")[7]
                # Rounding to codes adds a twelfth of a code squared.
                spread = np.sqrt(want.var() + float(code) ** 2 / 12)
                assert abs(v.std() - spread) <= 0.08 * spread, (mode, source, v.std(), spread)
                # The mean of 20 uniform values is near normal (excess
                # kurtosis -0.06); a uniform spread scaled down stays at -1.2.
                kurt = ((v - v.mean()) ** 4).mean() / v.var() ** 2 - 3
                kwant = ((want - want.mean()) ** 4).mean() / want.var() ** 2 - 3
                assert abs(kurt - kwant) <= 0.3, (mode, source, kurt, kwant)
            # The highest sample of the record: the 1 in 7000 of the noise.
            top = np.quantile(want, 1 - 1.0 / 7000)
            peak = number(s, ":MEASure:VMAX? CHANnel1")
            assert peak is not None and abs(peak - top) <= 0.25 * top, (mode, peak, top)
            s.write(":RUN")
            opc_done(s)
    finally:
        for line in (":RUN", ":ACQuire:TYPE NORMal"):
            s.write(line)
        s.close()


def roll_follows_the_signal(inst, rm, root):
    """Rolling at 100 ms/div, the 5 Hz +-1 V sine becomes a 2 Hz sine from 0
    to 1 V: once the screen has rolled past the change the trace, and the
    record kept at STOP and its readings are those of the new signal."""
    write_signals(root, "ch1 sine freq=5 amp=1\nch2 dc offset=0\n")
    s = open_instr(rm)
    try:
        for line in (":ACQuire:TYPE NORMal", ":CHANnel1:DISPlay ON", ":CHANnel1:COUPling DC", ":CHANnel1:PROBe 1X",
                     ":CHANnel1:SCALe 0.5", ":CHANnel1:OFFSet 0", ":TRIGger:SWEep AUTO", ":TIMebase:SCALe 0.1",
                     ":RUN"):
            s.write(line)
        opc_done(s)

        def swing(lo, hi):
            codes, f = trace(s, "CHANnel1")
            shown = codes[codes > 0]
            if len(shown) < 600:
                return False
            v = (shown - f[9] - f[8]) * f[7]
            return abs(v.min() - lo) <= 0.06 and abs(v.max() - hi) <= 0.06

        assert wait_until(lambda: swing(-1.0, 1.0)), "the rolling trace never showed the +-1 V sine"
        write_signals(root, "ch1 sine freq=2 amp=0.5 offset=0.5\nch2 dc offset=0\n")
        assert wait_until(lambda: swing(0.0, 1.0)), "the rolling trace kept the old sine"
        stop(s, root)
        assert swing(0.0, 1.0), "the stopped record is not the new sine"
        # The stopped record's frequency is the new sine's, not the 5 Hz of the
        # record before the roll; it reads 2.13 Hz now and then on a loaded
        # machine (not explained yet), hence the wider bound.
        for query, want, tol in ((":MEASure:FREQuency? CHANnel1", 2.0, 0.2), (":MEASure:VMAX? CHANnel1", 1.0, 0.06),
                                 (":MEASure:VMIN? CHANnel1", 0.0, 0.06)):
            got = number(s, query)
            assert got is not None and abs(got - want) <= tol, (query, got)
    finally:
        for line in (":RUN", ":TIMebase:SCALe 1e-3"):
            s.write(line)
        s.close()


def main():
    return run_cases("hires-roll-py-", SIGNALS, (high_resolution, roll_follows_the_signal),
                     call=lambda case, rm, root, inst: case(inst, rm, root))


if __name__ == "__main__":
    sys.exit(main())
