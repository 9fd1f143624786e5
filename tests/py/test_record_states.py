#!/usr/bin/env python3
"""The trace and the :WAVeform read-out of the running instrument in the
states a user combines with a setting: a record kept by STOP and then looked
at with another time base or V/div, the zoom window over a real-time main
time base, the read-out's volts in every format with the position moved and
a probe, NORMal data while the display rolls, a memory depth chosen while
stopped, and the display's wave brightness and colour grading. Read as a user's script does, pyvisa with the pyvisa-py backend over
VXI-11; the expected cycles, columns and codes come from the sine written to
dev/signals (numpy), the screen from dev/fb0. The helpers serve the state
oracle (test_state_oracle.py) too.

Usage: python3 test_record_states.py --build <builddir>
"""
import os
import sys

try:
    import numpy as np
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-numpy")

from scope_support import opc_done, wait_frames, wait_until, write_signals
from test_vxi11 import open_instr, run_cases

FREQ, AMP = 1000.0, 1.0  # the CH1 sine: 1 kHz, 1 V peak
SIGNAL = f"ch1 sine freq={FREQ:g} amp={AMP:g}\n"
COLUMNS, CENTRE, CODES_PER_DIV, POINTS_PER_DIV = 700, 127, 25, 50
TB_RIGHT = 86  # the time-base knob's byte, one step finer
WIDTH, HEIGHT = 800, 480
WAVE_LEFT = 30  # the wave area's first screen column
# Panes of the screen as (row of the centre code, rows of 200 codes): the
# whole wave area, and in the zoom layout the strip and the zoom pane.
FULL, STRIP, ZOOMED = (233, 400), (93, 120), (305, 280)
CH1_MARK = 0x00CCCC  # CH1's own colour: its labels and marks
VISIBLE_CODES = 99  # codes from the centre the wave area shows
SCREEN_COLUMNS = 615  # the wave-area columns left of the menu and its tab
SCREEN_SLACK = 30     # of them hidden by the grid and labels, or off by them


def ch1_pixels(px):
    """The pixels CH1's palette paints at a brightness (colour grading off):
    the raster's intensity levels are shades of cyan, no red, green and blue
    alike."""
    px = px & 0xFFFFFF
    green, blue = (px >> 8) & 0xFF, px & 0xFF
    return ((px >> 16) == 0) & (green == blue) & (blue > 0)


def settle(s, *settings):
    """Settings, each read back before the next (so none is dropped)."""
    for setting in settings:
        s.write(setting)
        opc_done(s)


def trace(s):
    """The NORMal column maxima of CH1 (0: a column without data)."""
    s.write(":WAVeform:SOURce CHANnel1")
    s.write(":WAVeform:MODE NORMal")
    s.write(":WAVeform:FORMat BYTE")
    codes = np.array(s.query_binary_values(":WAVeform:DATA?", datatype="B", container=list), dtype=int)
    assert len(codes) == COLUMNS, len(codes)
    return codes


def screen_columns(root, pane=FULL, level_line=True):
    """Per wave-area column the highest code CH1's colour covers in `pane` (the
    row of the centre code and the rows of 200 codes) on the screen, -1 where
    the column shows none of it. Rows the colour covers over a third of the
    width are the channel's level line, not its trace (`level_line` False: a
    pane without one, whose dense trace may cover as much)."""
    centre, height = pane
    first = centre - height // 2
    with open(os.path.join(root, "dev", "fb0"), "rb") as f:
        px = np.frombuffer(f.read(WIDTH * HEIGHT * 4), dtype="<u4").reshape(HEIGHT, WIDTH)
    area = ch1_pixels(px[first:first + height, WAVE_LEFT:WAVE_LEFT + COLUMNS])
    if level_line:
        area[area[:, :SCREEN_COLUMNS].sum(axis=1) > SCREEN_COLUMNS // 3] = False
    top = np.where(area, np.arange(height)[:, None], height).min(axis=0)
    code = CENTRE + np.round((centre - first - top) / (height / 200)).astype(int)
    return np.where(top < height, code, -1)


def cycles(codes):
    """Rising crossings of the centre between two filled columns."""
    c = np.asarray(codes)
    filled = (c[:-1] > 0) & (c[1:] > 0)
    return int(((c[:-1] < CENTRE) & (c[1:] >= CENTRE) & filled).sum())


def filled(codes):
    """The first and last column with data and their count."""
    at = np.flatnonzero(np.asarray(codes) > 0)
    return (int(at[0]), int(at[-1]), len(at)) if len(at) else (-1, -1, 0)


def expect_view(codes, periods, columns, what, first=None):
    """`periods` cycles (give or take one) on `columns` filled columns."""
    lo, hi, n = filled(codes)
    got = cycles(codes)
    print(f"  {what}: {got} cycles on columns {lo}..{hi}")
    assert abs(n - columns) <= 2, f"{what}: {n} columns filled, expected {columns}"
    assert abs(got - periods) <= 1, f"{what}: {got} cycles, expected {periods:g}"
    if first is not None:
        assert abs(lo - first) <= 2, f"{what}: data from column {lo}, expected {first}"


def expect_screen(root, codes, what, pane=FULL):
    """The screen shows the read-out's trace: its maxima on the same columns
    (left of the menu, inside the wave area's codes and off its level line), give or take the vector
    to the next column."""
    wait_frames(root, 2)
    top = screen_columns(root, pane)[1:SCREEN_COLUMNS]
    c = np.asarray(codes)
    here = c[1:SCREEN_COLUMNS]
    data, on = (here > 0) & (np.abs(here - CENTRE) < VISIBLE_CODES) & (np.abs(here - CENTRE) > 3), top >= 0
    # The grid's dots and the position label hide a few of the trace's pixels.
    assert (data & ~on).sum() + (on & (here == 0)).sum() <= SCREEN_SLACK, \
        f"{what}: the screen fills {on.sum()} columns, the data {data.sum()}"
    near = np.maximum(np.abs(here - c[:SCREEN_COLUMNS - 1]), np.abs(c[2:SCREEN_COLUMNS + 1] - here)) + 2
    off = data & on & (np.abs(top - here) > near)
    assert off.sum() <= SCREEN_SLACK, f"{what}: {off.sum()} columns of the screen stand away from the data"


def acquire_then_stop(s, root, depth, scale="1"):
    settle(s, ":RUN", f":CHANnel1:SCALe {scale}", ":CHANnel1:OFFSet 0", ":TIMebase:OFFSet 0",
           ":TIMebase:SCALe 0.001", f":ACQuire:MEMory:DEPTh {depth}", ":TRIGger:LEVel 0")
    wait_frames(root, 3)
    expect_view(trace(s), 14, COLUMNS, f"{depth} running at 1 ms/div")
    settle(s, ":STOP")
    wait_frames(root, 2)


def stopped_record_rewindowed(rm, root):
    """A record kept at 1 ms/div (14 cycles on 700 columns) shown at 500 us/div
    is its middle half (7 cycles on all columns); at 2 ms/div it is all 14
    cycles squeezed on the middle 350 columns. Each depth, the knob as well as
    SCPI, and a pan of the stopped record."""
    s = open_instr(rm)
    try:
        for depth in ("7K", "70K", "AUTO"):
            acquire_then_stop(s, root, depth)
            settle(s, ":TIMebase:SCALe 5e-4")
            wait_frames(root, 2)
            codes = trace(s)
            expect_view(codes, FREQ * 5e-4 * 14, COLUMNS, f"{depth} stopped, 500 us/div")
            expect_screen(root, codes, f"{depth} at 500 us/div")
            settle(s, ":TIMebase:SCALe 2e-3")
            wait_frames(root, 2)
            codes = trace(s)
            expect_view(codes, 14, COLUMNS // 2, f"{depth} stopped, 2 ms/div", first=COLUMNS // 4)
            expect_screen(root, codes, f"{depth} at 2 ms/div")
        # The knob one step finer from 2 ms/div: 1 ms/div, the record as taken.
        with open(os.path.join(root, "dev", "keys"), "wb") as f:
            f.write(bytes([TB_RIGHT]))
        wait_frames(root, 3)
        assert float(s.query(":TIMebase:SCALe?")) == 1e-3
        expect_view(trace(s), 14, COLUMNS, "AUTO stopped, the knob back to 1 ms/div")
        # Panned by a division at 2 ms/div: the record moves 50 columns.
        settle(s, ":TIMebase:SCALe 2e-3", ":TIMebase:OFFSet 0.002")
        wait_frames(root, 2)
        lo, hi, n = filled(trace(s))
        assert abs(abs(lo - COLUMNS // 4) - POINTS_PER_DIV) <= 2 and abs(n - COLUMNS // 2) <= 2, (lo, hi, n)
    finally:
        settle(s, ":TIMebase:OFFSet 0", ":RUN")
        s.close()


def stopped_record_rescaled(rm, root):
    """A record kept at 1 V/div (+-25 codes) shown at V/div x0.2 .. x5: the
    codes span 25 / factor, clipped at the screen's edges."""
    s = open_instr(rm)
    try:
        acquire_then_stop(s, root, "7K")
        for scale in (0.2, 0.5, 2, 5, 1):
            settle(s, f":CHANnel1:SCALe {scale:g}")
            wait_frames(root, 2)
            codes = trace(s)
            half = AMP / scale * CODES_PER_DIV
            want_hi, want_lo = min(254, CENTRE + half), max(1, CENTRE - half)
            print(f"  {scale:g} V/div: codes {codes.min()}..{codes.max()}")
            assert abs(codes.max() - want_hi) <= 2 and abs(codes.min() - want_lo) <= 2, (scale, codes.min(),
                                                                                          codes.max())
            expect_screen(root, codes, f"stopped at {scale:g} V/div")
    finally:
        settle(s, ":CHANnel1:SCALe 1", ":RUN")
        s.close()


def zoom_over_real_time_main(rm, root):
    """A 10 MHz sine with the zoom window over a real-time main time base: the
    zoom pane and WAV:DATA? show the zoom window's cycles (28 at 200 ns/div
    over 1 us/div, 1.4 at 10 ns/div over 100 ns/div), and the strip above
    shows the main window's."""
    s = open_instr(rm)
    try:
        write_signals(root, "ch1 sine freq=1e7 amp=1\n")
        for main, zoom in ((1e-6, 2e-7), (1e-7, 1e-8)):
            settle(s, ":TIMebase:MODE MAIN", ":CHANnel1:SCALe 1", ":TIMebase:OFFSet 0", ":ACQuire:MEMory:DEPTh 7K",
                   ":TRIGger:LEVel 0", f":TIMebase:SCALe {main:g}", ":TIMebase:MODE WINDow",
                   f":TIMebase:WINDow:SCALe {zoom:g}")
            assert float(s.query(":TIMebase:WINDow:SCALe?")) == zoom
            wait_frames(root, 3)
            codes = trace(s)
            expect_view(codes, 1e7 * zoom * 14, COLUMNS, f"zoom {zoom:g} s/div over {main:g} s/div")
            expect_screen(root, codes, "the zoom pane", ZOOMED)
            strip = screen_columns(root, STRIP, level_line=False)[1:SCREEN_COLUMNS]
            assert (strip >= 0).sum() >= SCREEN_COLUMNS - SCREEN_SLACK, f"the strip shows {(strip >= 0).sum()} columns"
            assert strip.max() - strip.min() >= 40, "the strip shows no sine"
    finally:
        write_signals(root, SIGNAL)
        settle(s, ":TIMebase:MODE MAIN", ":TIMebase:SCALe 0.001")
        s.close()


def volts_of_block(s, fmt):
    """The volts of a NORMal DATA? block in `fmt`: ASCII as sent, BYTE and
    WORD through the preamble, (code - yref - yorg) x yinc."""
    s.write(f":WAVeform:FORMat {fmt}")
    if fmt == "ASCII":
        s.write(":WAVeform:DATA?")
        block = s.read_raw()
        digits = int(block[1:2])
        text = block[2 + digits:2 + digits + int(block[2:2 + digits])].decode()
        return np.array([float(v) for v in text.split(",")])
    codes = np.array(s.query_binary_values(":WAVeform:DATA?", datatype="B" if fmt == "BYTE" else "H",
                                           container=list), dtype=float)
    fields = s.query(":WAVeform:PREamble?").strip().split(",")
    yinc, yorg, yref = float(fields[7]), float(fields[8]), float(fields[9])
    assert yinc == float(s.query(":WAVeform:YINCrement?")), "YINCrement? is not the preamble's"
    return (codes - yref - yorg) * yinc


def read_out_volts(rm, root):
    """Every format and the preamble give the volts at the probe tip: the sine
    of +-1 V at the input reads +-1 V with a 1X probe and +-10 V with a 10X
    one, wherever the offset puts the trace."""
    s = open_instr(rm)
    try:
        settle(s, ":RUN", ":TIMebase:SCALe 0.001", ":TIMebase:OFFSet 0", ":ACQuire:MEMory:DEPTh 7K",
               ":TRIGger:LEVel 0", ":WAVeform:SOURce CHANnel1", ":WAVeform:MODE NORMal")
        for probe in (1, 10):
            for offset in (0, 1.5):
                # 1 V/div at the input: the scale at the tip is the probe's ratio
                # (SCALe takes the input's volts, SCALe? answers the tip's).
                settle(s, f":CHANnel1:PROBe {probe}", ":CHANnel1:SCALe 1")
                if float(s.query(":CHANnel1:SCALe?")) != probe:
                    settle(s, f":CHANnel1:SCALe {probe}")
                assert float(s.query(":CHANnel1:SCALe?")) == probe
                settle(s, f":CHANnel1:OFFSet {offset * probe:g}")
                wait_frames(root, 3)
                tip = AMP * probe
                for fmt in ("BYTE", "WORD", "ASCII"):
                    v = volts_of_block(s, fmt)
                    what = f"{fmt} with a {probe}X probe, offset {offset * probe:g} V"
                    print(f"  {what}: {v.min():.3f} .. {v.max():.3f} V")
                    assert abs(v.max() - tip) <= 0.05 * tip and abs(v.min() + tip) <= 0.05 * tip, what
    finally:
        settle(s, ":CHANnel1:PROBe 1", ":CHANnel1:SCALe 1", ":CHANnel1:OFFSet 0", ":WAVeform:FORMat BYTE")
        s.close()


def normal_data_while_rolling(rm, root):
    """WAV:DATA? in NORMal while the display rolls is the rolling trace: a 2 Hz
    sine at 200 ms/div, +-25 codes at 1 V/div, on the columns rolled so far."""
    s = open_instr(rm)
    try:
        write_signals(root, "ch1 sine freq=2 amp=1\n")
        settle(s, ":RUN", ":CHANnel1:SCALe 1", ":CHANnel1:OFFSet 0", ":TRIGger:SWEep AUTO", ":TIMebase:SCALe 0.2")
        # A few frames after the roll began: at 10 columns a second some columns hold samples.
        wait_frames(root, 20)
        codes = trace(s)
        lo, hi, n = filled(codes)
        print(f"  rolling: {n} columns, codes {codes[codes > 0].min() if n else 0}..{codes.max()}")
        assert n > 0, "the rolling trace read as no data"
        on = codes[codes > 0]
        assert on.max() <= CENTRE + AMP * CODES_PER_DIV + 2 and on.min() >= CENTRE - AMP * CODES_PER_DIV - 2, on
    finally:
        write_signals(root, SIGNAL)
        settle(s, ":TIMebase:SCALe 0.001")
        s.close()


def raw_record(s, points=60000):
    """CH1's RAW record, DATA? blocks until STARt? answers -1."""
    settle(s, ":WAVeform:SOURce CHANnel1", ":WAVeform:FORMat BYTE", f":WAVeform:POINts {points}",
           ":WAVeform:STARt 0", ":WAVeform:STOP -1", ":WAVeform:MODE RAW")
    out = bytearray()
    for _ in range(64):
        out += s.query_binary_values(":WAVeform:DATA?", datatype="B", container=bytes)
        if s.query(":WAVeform:STARt?").strip() == "-1":
            return np.frombuffer(bytes(out), dtype=np.uint8)
    raise AssertionError("the RAW read never ended")


def memory_depth_set_while_stopped(rm, root):
    """A depth chosen while stopped is refused and the depth in force answered,
    so the RAW record after RUN is as long as ACQuire:MEMory:DEPTh? says; a
    depth chosen while running is the record's length."""
    s = open_instr(rm, 60000)
    s.chunk_size = 1 << 20
    try:
        settle(s, ":RUN", ":CHANnel1:SCALe 1", ":TIMebase:SCALe 0.001", ":ACQuire:MEMory:DEPTh 7K", ":STOP",
               ":ACQuire:MEMory:DEPTh 70K")
        answered = s.query(":ACQuire:MEMory:DEPTh?").strip()
        settle(s, ":RUN")
        wait_frames(root, 3)
        record = raw_record(s)
        sizes = {"7K": 7000, "70K": 70000}
        print(f"  set while stopped: DEPTh? {answered}, a RAW record of {len(record)} samples")
        assert answered in sizes and len(record) == sizes[answered], (answered, len(record))
        assert abs(float(s.query(":WAVeform:XINCrement?")) * len(record) - 0.014) < 1e-6
        settle(s, ":WAVeform:MODE NORMal", ":ACQuire:MEMory:DEPTh 70K")
        wait_frames(root, 3)
        assert s.query(":ACQuire:MEMory:DEPTh?").strip() == "70K"
        assert len(raw_record(s)) == 70000
    finally:
        settle(s, ":RUN", ":WAVeform:MODE NORMal", ":ACQuire:MEMory:DEPTh 7K")
        s.close()


def wave_area(root):
    """The wave area's pixels (rows of 200 codes, columns left of the menu)."""
    with open(os.path.join(root, "dev", "fb0"), "rb") as f:
        px = np.frombuffer(f.read(WIDTH * HEIGHT * 4), dtype="<u4").reshape(HEIGHT, WIDTH)
    return px[FULL[0] - 199:FULL[0] + 199, WAVE_LEFT + 1:WAVE_LEFT + SCREEN_COLUMNS] & 0xFFFFFF


def display_wave_settings(rm, root):
    """Wave brightness scales the trace's intensity, colour grading paints it
    from the grading palette and its inversion from the inverted one, running
    and after STOP. The trace's pixels are those CH1's palette paints at the
    factory brightness 50; each setting's colour is the one most of them
    take."""
    s = open_instr(rm)
    where = None

    def shown(*settings):
        settle(s, *settings)
        wait_frames(root, 2)
        area = wave_area(root)
        if where is None:
            return area
        colours, counts = np.unique(area[where], return_counts=True)
        lit = colours != 0
        assert lit.any() and counts[lit].sum() > where.sum() // 2, "the trace moved"
        return int(colours[lit][counts[lit].argmax()])

    def cyan(colour):
        return colour >> 16 == 0 and (colour >> 8) & 0xFF == colour & 0xFF

    try:
        for state in (":RUN", ":STOP"):
            where = None
            settle(s, ":RUN", ":CHANnel1:SCALe 1", ":CHANnel1:OFFSet 0", ":TIMebase:SCALe 0.001",
                   ":TRIGger:LEVel 0")
            wait_frames(root, 3)
            area = shown(state, ":DISPlay:WAVE:BRIGhtness 50")
            # The channel's marks keep its own colour, which the raster's
            # levels never reach at 50.
            where = ch1_pixels(area) & ((area & 0xFFFFFF) != CH1_MARK)
            assert where.sum() > 1000, f"only {where.sum()} trace pixels"
            dim = shown(":DISPlay:WAVE:BRIGhtness 10")
            bright = shown(":DISPlay:WAVE:BRIGhtness 100")
            graded = shown(":DISPlay:COLOR ON")
            inverted = shown(":DISPlay:COLOR:INVERt ON")
            plain = shown(":DISPlay:COLOR:INVERt OFF", ":DISPlay:COLOR OFF")
            print(f"  {state[1:]}: brightness 10 {dim:06X}, 100 {bright:06X}; "
                  f"graded {graded:06X}, inverted {inverted:06X}, off again {plain:06X}")
            assert cyan(dim) and 0 < (dim & 0xFF) < 0xCC // 2, f"brightness 10: {dim:06X}"
            assert cyan(bright) and (bright & 0xFF) > 0xCC, f"brightness 100: {bright:06X}"
            assert not cyan(graded) and graded != inverted and not cyan(inverted), (graded, inverted)
            assert cyan(plain) and (plain & 0xFF) > 0xCC, f"colour off: {plain:06X}"
    finally:
        settle(s, ":RUN", ":DISPlay:COLOR:INVERt OFF", ":DISPlay:COLOR OFF", ":DISPlay:WAVE:BRIGhtness 50")
        s.close()


def persistence(rm, root):
    """With infinite persistence the trace of a 1 V sine (crest +25 codes at
    1 V/div) stays on the screen after the signal drops to 0.5 V (crest +12.5)
    until DISPlay:CLEar; at the minimum only the live trace shows."""
    s = open_instr(rm)
    full, half = AMP * CODES_PER_DIV, AMP * CODES_PER_DIV / 2

    def crest():
        wait_frames(root, 3)
        top = screen_columns(root)[1:SCREEN_COLUMNS]
        assert (top >= 0).sum() > SCREEN_COLUMNS // 2, "no trace on the screen"
        return int(top.max()) - CENTRE

    def signal(amp, want):
        """A new sine, waited for in the read-out (the acquired record)."""
        write_signals(root, f"ch1 sine freq={FREQ:g} amp={amp:g}\n")
        assert wait_until(lambda: abs(int(trace(s).max()) - CENTRE - want) <= 2), f"no {amp} V sine acquired"

    try:
        settle(s, ":RUN", ":CHANnel1:SCALe 1", ":CHANnel1:OFFSet 0", ":TIMebase:SCALe 0.001", ":TRIGger:LEVel 0",
               ":DISPlay:GRAD:TIME INFinite")
        assert s.query(":DISPlay:GRAD:TIME?").strip().upper().startswith("INF")
        signal(AMP, full)
        big = crest()
        signal(AMP / 2, half)
        kept = crest()
        settle(s, ":DISPlay:CLEar")
        cleared = crest()
        signal(AMP, full)
        settle(s, ":DISPlay:GRAD:TIME MINimum")
        signal(AMP / 2, half)
        live = crest()
        print(f"  crest {big}, kept {kept}, after CLEar {cleared}, at the minimum {live}")
        assert abs(big - full) <= 2 and abs(kept - full) <= 2, (big, kept)
        assert abs(cleared - half) <= 2 and abs(live - half) <= 2, (cleared, live)
    finally:
        write_signals(root, SIGNAL)
        settle(s, ":DISPlay:GRAD:TIME MINimum")
        s.close()

CASES = [stopped_record_rewindowed, stopped_record_rescaled, zoom_over_real_time_main, read_out_volts,
         normal_data_while_rolling, memory_depth_set_while_stopped, display_wave_settings,
         persistence]

if __name__ == "__main__":
    sys.exit(run_cases("record-states-py-", SIGNAL, CASES, call=lambda case, rm, root, inst: case(rm, root)))
