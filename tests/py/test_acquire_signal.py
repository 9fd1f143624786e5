#!/usr/bin/env python3
"""Acquisition modes, measurements, multi-scope and triggers against the
signal applied, as a user's script sees them: pyvisa with the pyvisa-py
backend over VXI-11, and numpy computing what the instrument should show from
the signal's own formula (a seeded simulated board, so the noise is the
board's; the checks hold for any noise of that amplitude).

Usage: python3 test_acquire_signal.py --build <builddir>
"""
import sys

try:
    import numpy as np
    import pyvisa  # noqa: F401  (run_cases drives it)
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py and python3-numpy")

from scope_support import wait_frames, wait_until, write_signals
from test_vxi11 import open_instr, run_cases

SIGNALS = "ch1 sine freq=1000 amp=1 noise=0.3\nch2 dc offset=0 noise=0.3\n"



def trace(s, source="CHANnel1"):
    """The 700 codes of the displayed trace and the preamble's fields."""
    s.write(":WAVeform:SOURce " + source)
    s.write(":WAVeform:MODE NORMal")
    s.write(":WAVeform:FORMat BYTE")
    codes = s.query_binary_values(":WAVeform:DATA?", datatype="B", container=np.array).astype(float)
    fields = [float(f) for f in s.query(":WAVeform:PREamble?").split(",")]
    return codes, fields


def number(s, query):
    reply = s.query(query).strip()
    try:
        return float(reply)
    except ValueError:
        return None


def settle(s, query, ok):
    """The reply of `query` once ok(reply) holds (records taken before the
    settings arrived are measured first); the last reply when it never does."""
    last = []

    def check():
        last[:] = [number(s, query)]
        return last[0] is not None and ok(last[0])

    wait_until(check)
    return last[0]


def averaging(inst, rm, root):
    """256 averaged records of a noisy 1 kHz sine lie within a code of the
    sine itself (the mean of the records); normal mode keeps the noise."""
    s = open_instr(rm)
    try:
        for line in (":CHANnel1:DISPlay ON", ":CHANnel1:COUPling DC", ":CHANnel1:PROBe 1X", ":CHANnel1:SCALe 0.5",
                     ":CHANnel1:OFFSet 0", ":TIMebase:SCALe 2e-4", ":TIMebase:OFFSet 0", ":ACQuire:MEMory:DEPTh 7K",
                     ":TRIGger:EDGe:SOURce CHANnel1", ":TRIGger:EDGe:SLOPe POSitive", ":TRIGger:LEVel 0",
                     ":ACQuire:TYPE NORMal"):
            s.write(line)
        worst = []

        def near_sine():
            codes, f = trace(s)
            xinc, xorg, yinc, yorg, yref = f[4], f[5], f[7], f[8], f[9]
            # Each column's samples span one x increment from its time.
            t = xorg + (np.arange(700)[:, None] + (np.arange(20)[None, :] + 0.5) / 20) * xinc
            want = np.sin(2 * np.pi * 1000 * t).mean(axis=1) / yinc + yref + yorg
            worst[:] = [np.abs(codes - want).max(), np.abs(codes - want).mean()]
            return worst[0] <= 1.5 and worst[1] <= 0.5

        # Normal mode: a single noisy record, far from the sine.
        s.write(":ACQuire:TYPE NORMal")
        assert not near_sine(), "a normal record of the noisy sine lies on the sine"
        s.write(":ACQuire:AVERages:COUNt 256")
        assert s.query(":ACQuire:TYPE?").strip() == "AVERage"
        assert wait_until(near_sine), "averaged trace off the sine by %.2f codes (mean %.2f)" % tuple(worst)
        vpp = settle(s, ":MEASure:VPP? CHANnel1", lambda v: abs(v - 2.0) <= 0.08)
        assert vpp is not None and abs(vpp - 2.0) <= 0.08, vpp
        s.write(":ACQuire:TYPE NORMal")
    finally:
        s.close()


def raw_volts(s, source):
    """The RAW record of `source` in volts, converted through the preamble."""
    s.write(":WAVeform:SOURce " + source)
    s.write(":WAVeform:FORMat BYTE")
    s.write(":WAVeform:POINts 2500")
    s.write(":WAVeform:MODE RAW")
    codes = []
    while len(codes) < 7000:
        block = s.query_binary_values(":WAVeform:DATA?", datatype="B")
        assert block, len(codes)
        codes.extend(block)
    fields = [float(f) for f in s.query(":WAVeform:PREamble?").split(",")]
    s.write(":WAVeform:MODE NORMal")
    assert len(codes) == 7000, len(codes)
    return (np.asarray(codes, dtype=float) - fields[9] - fields[8]) * fields[7]


def noisy_measurements(inst, rm, root):
    """A noisy 0 V line measures a mean of 0 V, a noisy sine its frequency;
    RMS, AC RMS and area are those of the samples, noise included."""
    s = open_instr(rm)
    try:
        for line in (":CHANnel2:DISPlay ON", ":CHANnel2:COUPling DC", ":CHANnel2:PROBe 1X", ":CHANnel2:SCALe 0.5",
                     ":CHANnel2:OFFSet 0", ":CHANnel1:DISPlay ON", ":CHANnel1:COUPling DC", ":CHANnel1:PROBe 1X",
                     ":CHANnel1:SCALe 0.5", ":CHANnel1:OFFSet 0", ":TIMebase:SCALe 2e-4", ":TIMebase:OFFSet 0",
                     ":ACQuire:MEMory:DEPTh 7K", ":ACQuire:TYPE NORMal"):
            s.write(line)
        # Uniform noise of +-0.3 V: the mean of 7000 samples is 0 within
        # 0.3 / sqrt(3 x 7000) x 6; the column maxima would read +0.25 V.
        mean = settle(s, ":MEASure:VAVerage? CHANnel2", lambda v: abs(v) <= 0.02)
        assert mean is not None and abs(mean) <= 0.02, mean
        freq = settle(s, ":MEASure:FREQuency? CHANnel1", lambda v: abs(v - 1000) <= 10)
        assert freq is not None and abs(freq - 1000) <= 10, freq
        # Running: the noise's own RMS, 0.3 / sqrt(3), about 0 V and about
        # the mean (each record's within 2 %; the means of the columns alone
        # would read a third of it).
        noise = 0.3 / np.sqrt(3)
        for query in (":MEASure:ACRMs? CHANnel2", ":MEASure:VRMS? CHANnel2"):
            got = settle(s, query, lambda v: abs(v - noise) <= 0.05 * noise)
            assert got is not None and abs(got - noise) <= 0.05 * noise, (query, got, noise)
        against_record(s, root, ("CHANnel2", "CHANnel1"))
        # At 10 V/div the noise spans three codes, which rounded screen points
        # would bias.
        s.write(":RUN")
        s.write(":CHANnel2:SCALe 10")
        assert wait_until(lambda: number(s, ":CHANnel2:SCALe?") == 10), "no 10 V/div"
        wait_frames(root, 2)
        against_record(s, root, ("CHANnel2",))
    finally:
        for line in (":RUN", ":CHANnel2:SCALe 0.5"):
            s.write(line)
        s.close()


def against_record(s, root, sources):
    """Stopped: RMS, AC RMS and area of each source against the same
    record's samples, the screen spanning the whole 7K record (14 divisions
    of 200 us)."""
    s.write(":STOP")
    assert wait_until(lambda: s.query("KEY:RS:LED?").strip() == "2"), "the stop did not take"
    wait_frames(root, 2)
    for source in sources:
        got = {q: number(s, ":MEASure:%s? %s" % (q, source)) for q in ("ACRMs", "VRMS", "AREa")}
        v = raw_volts(s, source)
        want = {"ACRMs": v.std(), "VRMS": np.sqrt((v * v).mean()), "AREa": np.abs(v).mean() * 14 * 2e-4}
        for q, w in want.items():
            assert got[q] is not None and abs(got[q] - w) <= 0.015 * w, (source, q, got[q], w)


def crossing_at_centre(codes, f, volts, slope, rising=True):
    """The trace crosses `volts` at its trigger point (the centre column)
    the way the edge says, within 2 columns and the time the signal takes,
    at `slope` volts a second, to pass the level's resolution of a code."""
    v = (codes - f[9] - f[8]) * f[7]
    above = v > volts
    edges = np.where(above[1:] != above[:-1])[0]
    edges = [i for i in edges if above[i + 1] == rising]
    assert edges, "no crossing of %g V" % volts
    near = min(edges, key=lambda i: abs(i - 350))
    columns = 2 + f[7] / slope / f[4]
    assert abs(near - 350) <= columns, "crossing of %g V at column %d" % (volts, near)
    return near


def multi_scope(inst, rm, root):
    """Multi-scope: each channel read with its own time base, and each
    triggered at its own level, which the 0 V line never crosses."""
    write_signals(root, "ch1 sine freq=1000 amp=1 offset=2\nch2 sine freq=200 amp=1 offset=-2\n")
    s = open_instr(rm)
    try:
        for line in (":ACQuire:TYPE NORMal", ":CHANnel1:DISPlay ON", ":CHANnel2:DISPlay ON", ":CHANnel1:PROBe 1X",
                     ":CHANnel2:PROBe 1X", ":CHANnel1:COUPling DC", ":CHANnel2:COUPling DC"):
            s.write(line)
        s.write(":TIMebase:INDPendent ON")
        # The main loop reloads the FPGA and sets both channels up afresh:
        # the settings follow once that pass has ended.
        assert inst.wait_line(lambda line: "Independ Offset = 0x3f0" in line, 30), "no multi-scope reload"
        wait_frames(root, 3)
        settings = (":CHANnel1:SCALe 1", ":CHANnel2:SCALe 1", ":TIMebase1:SCALe 2e-4", ":TIMebase2:SCALe 2e-3",
                    ":TRIGger:EDGe:SOURce CHANnel2", ":TRIGger:EDGe:SLOPe POSitive", ":TRIGger:LEVel -1.5",
                    ":TRIGger:EDGe:SOURce CHANnel1", ":TRIGger:EDGe:SLOPe POSitive", ":TRIGger:LEVel 2.5")

        def settled():
            """The settings hold once the multi-scope set-up is over; until
            then they are sent again."""
            try:
                held = (float(s.query(":TIMebase1:SCALe?")) == 2e-4 and float(s.query(":TIMebase2:SCALe?")) == 2e-3
                        and abs(float(s.query(":TRIGger:LEVel?")) - 2.5) < 0.05)
            except ValueError:
                held = False
            if not held:
                for line in settings:
                    s.write(line)
            return held

        assert wait_until(settled), "the multi-scope settings never held"

        def channel(source, div, level, freq, offset):
            codes, f = trace(s, source)
            assert abs(float(s.query(":WAVeform:XINCrement?")) - div / 50) < 1e-12 * div, source
            assert abs(f[4] - div / 50) < 1e-12 * div, ("preamble", source, f)
            # Its own trigger: the level crossed rising at the centre, and the
            # sine's own period in its own time scale.
            crossing_at_centre(codes, f, level, 2 * np.pi * freq * np.sqrt(1 - (level - offset) ** 2))
            v = (codes - f[9] - f[8]) * f[7] - offset
            up = np.where((v[:-1] < 0) & (v[1:] >= 0))[0]
            assert len(up) >= 2, source
            period = (up[-1] - up[0]) / (len(up) - 1) * f[4]
            assert abs(period * freq - 1) < 0.03, (source, period)
            return True

        assert wait_until(lambda: channel("CHANnel1", 2e-4, 2.5, 1000, 2) and channel("CHANnel2", 2e-3, -1.5, 200, -2))
        s.write(":TIMebase:INDPendent OFF")
        assert inst.wait_line(lambda line: "Independ Offset = 0x3ff" in line, 30), "no normal reload"
        wait_frames(root, 3)
    finally:
        s.close()


BURSTS = "ch1 train freq=50000 widths=" + ",".join(["1e-6"] * 8) + " gap=1e-6\n"


def burst_start(codes):
    """Column of the last burst start up to the trigger point (the centre):
    a rising edge after 3 us (30 columns) low."""
    high = codes > (codes.max() + codes.min()) / 2
    starts = [i for i in range(30, 353) if high[i] and not high[i - 1] and not high[i - 30:i].any()]
    return starts[-1] if starts else None


def burst_triggers(inst, rm, root):
    """Bursts of eight 1 us pulses 1 us apart after 4 us of quiet: the third
    rising edge after an idle time of 1.5 us (no edge of either slope) comes
    4 us after the burst starts; a hold-off longer than a burst triggers on
    the burst's first edge only (without it, on any of its eight)."""
    write_signals(root, BURSTS)
    s = open_instr(rm)
    try:
        for line in (":ACQuire:TYPE NORMal", ":CHANnel1:DISPlay ON", ":CHANnel1:SCALe 0.5", ":CHANnel1:OFFSet 0",
                     ":TIMebase:SCALe 5e-6", ":TIMebase:OFFSet 0", ":TRIGger:SWEep NORMal",
                     ":TRIGger:MODE NE", ":TRIGger:SOURce CHANnel1", ":TRIGger:NEDGE:SLOPe POSitive",
                     ":TRIGger:NEDGE:TIME 1.5us", ":TRIGger:NEDGE:VALue 3", ":TRIGger:LEVel 0"):
            s.write(line)
        # The n-th rising edge comes 2(n - 1) us after the burst's first, 20
        # columns of 100 ns each.
        starts = lambda: burst_start(trace(s)[0])  # noqa: E731
        for count, column in ((3, 310), (2, 330), (8, 210)):
            s.write(":TRIGger:NEDGE:VALue %d" % count)
            assert wait_until(lambda: burst_start(trace(s)[0]) in range(column - 2, column + 3)), (count, starts())
        s.write(":TRIGger:MODE EDGE")
        s.write(":TRIGger:EDGe:SLOPe POSitive")
        s.write(":TIMebase:HOLDoff 17us")
        assert s.query(":TIMebase:HOLDoff?").strip() == "1.700000e-05"
        wait_frames(root, 3)
        starts = []
        for _ in range(12):  # records of their own: the first edge, every time
            wait_frames(root, 1)
            starts.append(burst_start(trace(s)[0]))
        assert all(i in range(348, 353) for i in starts), starts
        s.write(":TIMebase:HOLDoff 100ns")
        s.write(":TRIGger:SWEep AUTO")
    finally:
        s.close()


def main():
    # The portmapper on a free port: 111 is left to the VXI-11 test beside this one.
    return run_cases("acquire-signal-py-", SIGNALS, (averaging, noisy_measurements, burst_triggers, multi_scope),
                     call=lambda case, rm, root, inst: case(inst, rm, root))

if __name__ == "__main__":
    sys.exit(main())
