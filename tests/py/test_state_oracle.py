#!/usr/bin/env python3
"""A state oracle over the settings users combine: running and stopped, the
time base and the V/div changed after STOP (x0.2 .. x5), the zoom window over
a real-time and an interpolated main time base, a 1X and a 10X probe, the
position moved, memory depths 7K, 70K and AUTO, and roll. For each state the
cycles, the columns filled and the codes' span a correct screen shows are
computed from the sine written to dev/signals and the settings alone
(numpy), and compared with :WAVeform:DATA? in BYTE, WORD and ASCII (through
the preamble) and with the trace found in dev/fb0. The grid is reduced: each
axis is taken at least once in combination with the others.

Usage: python3 test_state_oracle.py --build <builddir>
"""
import sys

try:
    import numpy as np
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-numpy")

from scope_support import wait_frames, wait_until, write_signals
from test_record_states import (COLUMNS, CENTRE, CODES_PER_DIV, FULL, SCREEN_COLUMNS, SCREEN_SLACK, STRIP, ZOOMED,
                                screen_columns, settle, volts_of_block)
from test_vxi11 import open_instr, run_cases

AMP = 1.0  # volts peak of every sine, at the input
DIVS = 14  # divisions across the screen
ROLL_COLUMNS = 175  # 0.7 s at 200 ms/div: over a cycle of the 2 Hz sine


class State:
    """One combination: what to set, and what a correct screen then shows."""

    def __init__(self, name, freq, tb, depth="7K", probe=1, divs=0.0, stop=None, zoom=None, roll=False):
        self.name, self.freq, self.tb, self.depth = name, freq, tb, depth
        self.probe, self.divs = probe, divs  # the position moved by `divs` divisions
        self.stop = stop  # (time-base factor, V/div factor) applied after STOP
        self.zoom = zoom  # the zoom window's s/div
        self.roll = roll

    def shown(self):
        """Time base, V/div at the input and the seconds of record the screen holds."""
        tb, vdiv, span = self.tb, 1.0, self.tb * DIVS
        if self.stop:
            tb, vdiv = self.tb * self.stop[0], self.stop[1]
        if self.zoom:
            tb, span = self.zoom, self.zoom * DIVS
        return tb, vdiv, span

    def expected(self):
        """Cycles, columns filled, the codes of the crest and the trough, and the
        position's code."""
        tb, vdiv, span = self.shown()
        seconds = min(span, tb * DIVS)
        columns = round(COLUMNS * seconds / (tb * DIVS))
        centre = CENTRE + self.divs * CODES_PER_DIV
        half = AMP / vdiv * CODES_PER_DIV
        return self.freq * seconds, columns, min(254, centre + half), max(1, centre - half), centre


GRID = [
    State("running, 7K, 1X", 1000, 1e-3),
    State("running, 70K, 10X probe, position +1.5 div", 1000, 1e-3, depth="70K", probe=10, divs=1.5),
    State("running, AUTO, position -1 div", 1000, 1e-3, depth="AUTO", divs=-1.0),
    State("stopped 7K, time base x0.2, V/div x2", 1000, 1e-3, stop=(0.2, 2.0)),
    State("stopped 70K, 10X, position +1 div, time base x5, V/div x0.5", 1000, 1e-3, depth="70K", probe=10,
          divs=1.0, stop=(5.0, 0.5)),
    State("stopped AUTO, position -1 div, time base x2, V/div x5", 1000, 1e-3, depth="AUTO", divs=-1.0,
          stop=(2.0, 5.0)),
    State("stopped 7K, time base x0.5, V/div x0.2", 1000, 1e-3, stop=(0.5, 0.2)),
    State("zoom 200 ns/div over a real-time 1 us/div, 10X", 1e7, 1e-6, probe=10, zoom=2e-7),
    State("zoom 10 ns/div over an interpolated 20 ns/div", 2.5e7, 2e-8, zoom=1e-8),
    State("roll at 200 ms/div, position +1 div", 2, 0.2, divs=1.0, roll=True),
]


def rolled(s):
    settle(s, ":WAVeform:SOURce CHANnel1", ":WAVeform:MODE NORMal", ":WAVeform:FORMat BYTE")
    return np.array(s.query_binary_values(":WAVeform:DATA?", datatype="B", container=list), dtype=int)


def crossings(codes, centre):
    """Rising crossings of `centre` between two filled columns."""
    c = np.asarray(codes, dtype=float)
    both = (c[:-1] > 0) & (c[1:] > 0)
    return int(((c[:-1] < centre) & (c[1:] >= centre) & both).sum())


def set_scale(s, tip, probe):
    """`tip` volts a division at the probe tip (SCALe takes the input's volts,
    SCALe? answers the tip's: either way round, the answer is checked)."""
    settle(s, f":CHANnel1:SCALe {tip / probe:g}")
    if abs(float(s.query(":CHANnel1:SCALe?")) - tip) > 1e-9 * tip:
        settle(s, f":CHANnel1:SCALe {tip:g}")
    assert abs(float(s.query(":CHANnel1:SCALe?")) - tip) <= 1e-9 * tip, s.query(":CHANnel1:SCALe?")


def apply(s, root, st):
    write_signals(root, f"ch1 sine freq={st.freq:g} amp={AMP:g}\n")
    settle(s, ":RUN", ":TIMebase:MODE MAIN", ":TIMebase:OFFSet 0", ":TRIGger:SWEep AUTO", ":TRIGger:LEVel 0",
           f":ACQuire:MEMory:DEPTh {st.depth}", f":CHANnel1:PROBe {st.probe}")
    set_scale(s, st.probe, st.probe)
    settle(s, f":CHANnel1:OFFSet {st.divs * st.probe:g}", f":TIMebase:SCALe {st.tb:g}")
    if st.zoom:
        settle(s, ":TIMebase:MODE WINDow", f":TIMebase:WINDow:SCALe {st.zoom:g}")
        assert float(s.query(":TIMebase:WINDow:SCALe?")) == st.zoom
    wait_frames(root, 3)
    if st.roll:
        # Over a cycle of the sine rolled in (a frame's columns vary with the machine's pace).
        assert wait_until(lambda: (rolled(s) > 0).sum() >= ROLL_COLUMNS), "the roll never filled a cycle"
    if st.stop:
        settle(s, ":STOP")
        wait_frames(root, 2)
        settle(s, f":TIMebase:SCALe {st.tb * st.stop[0]:g}")
        set_scale(s, st.probe * st.stop[1], st.probe)
        wait_frames(root, 2)


def check(s, root, st):
    periods, columns, crest, trough, centre = st.expected()
    raw = rolled(s)
    tip = AMP * st.probe
    _, vdiv, _ = st.shown()
    yinc = vdiv * st.probe / CODES_PER_DIV
    for fmt in ("BYTE", "WORD", "ASCII"):
        volts = volts_of_block(s, fmt)
        what = f"{st.name}, {fmt}"
        assert len(volts) == COLUMNS, (what, len(volts))
        # Back to codes from the settings alone; a column without data (code 0)
        # comes back as 0 give or take the position's rounding.
        got = np.rint(volts / yinc + centre).astype(int)
        mask = got >= 1 if st.roll else raw > 0  # the roll moves on between the reads
        on = got[mask]
        n = int(mask.sum())
        cycles = crossings(np.where(mask, got, 0), centre)
        print(f"  {what}: {cycles} cycles, {n} columns, codes {on.min() if n else 0}..{on.max() if n else 0}")
        assert n > 0, f"{what}: no data"
        if st.roll:  # the cycles of the seconds rolled in so far
            periods = st.freq * n * st.tb / (COLUMNS / DIVS)
        else:
            assert abs(n - columns) <= 2, f"{what}: {n} columns filled, expected {columns}"
        assert abs(cycles - periods) <= 1, f"{what}: {cycles} cycles, expected {periods:g}"
        # The crest is a column's maximum; the trough's column maximum may lie a
        # little above the trough itself.
        assert abs(on.max() - crest) <= 2, f"{what}: crest at {on.max()}, expected {crest:g}"
        if periods >= 1:
            slack = 2 + 0.1 * (crest - trough)
            assert abs(on.min() - trough) <= slack, f"{what}: trough at {on.min()}, expected {trough:g}"
        if fmt == "ASCII" and crest < 254:
            assert abs(volts[mask].max() - tip) <= 0.05 * tip + yinc, f"{what}: crest {volts[mask].max()} V"
    if not st.roll:
        check_screen(root, st, raw)


def check_screen(root, st, codes):
    """The trace in dev/fb0 fills the same columns with the same crest; in the
    zoom layout the strip above shows the main window."""
    wait_frames(root, 2)
    pane = ZOOMED if st.zoom else FULL
    top = screen_columns(root, pane)[1:SCREEN_COLUMNS]
    here = np.asarray(codes)[1:SCREEN_COLUMNS]
    visible = (here > 0) & (np.abs(here - CENTRE) < 99) & (np.abs(here - CENTRE) > 3)
    missing = int((visible & (top < 0)).sum()) + int(((here == 0) & (top >= 0)).sum())
    assert missing <= SCREEN_SLACK, f"{st.name}: {missing} columns of the screen and the data disagree"
    both = visible & (top >= 0)
    if both.any():
        assert abs(top[both].max() - here[both].max()) <= 3, f"{st.name}: screen crest {top[both].max()}"
    if st.zoom:
        strip = screen_columns(root, STRIP, level_line=False)[1:SCREEN_COLUMNS]
        assert (strip >= 0).sum() >= SCREEN_COLUMNS - SCREEN_SLACK, f"{st.name}: the overview strip is empty"


def oracle(rm, root):
    s = open_instr(rm)
    failures = []
    try:
        for st in GRID:
            try:
                apply(s, root, st)
                check(s, root, st)
            except AssertionError as e:
                failures.append(str(e) or st.name)
                print(f"  FAILED: {e}")
    finally:
        write_signals(root, "ch1 sine freq=1000 amp=1\n")
        settle(s, ":RUN", ":TIMebase:MODE MAIN", ":CHANnel1:PROBe 1", ":CHANnel1:OFFSet 0")
        s.close()
    assert not failures, "; ".join(failures)


if __name__ == "__main__":
    sys.exit(run_cases("state-oracle-py-", "ch1 sine freq=1000 amp=1\n", [oracle],
                       call=lambda case, rm, root, inst: case(rm, root)))
