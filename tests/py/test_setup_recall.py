#!/usr/bin/env python3
"""Setups recalled whole, as a user's script recalls them over VXI-11 with
pyvisa and the pyvisa-py backend: every setting the programming reference
(docs/scpi-commands.md) gives with a query is set away from its default, the
setup saved with FILE:SAVE and taken with SYSTem:SETup?, the instrument reset
with *RST and the setup recalled (FILE:LOAD, and the block uploaded after
SYSTem:SETup in a message of its own): every query answers as before and
the recall leaves no error, for a setup saved while acquiring and for one
saved while stopped (which comes back stopped). A
zoomed setup comes back with its own zoom window: the zoom pane and
WAV:DATA? show the part of the 1 kHz sine the zoom time base spans (numpy,
from the signal written to dev/signals), and the recall leaves no error.

Usage: python3 test_setup_recall.py --build <builddir>
"""
import os
import re
import sys

try:
    import numpy as np
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-numpy")

from scope_support import wait_frames, wait_until
from test_record_states import CENTRE, CODES_PER_DIV, COLUMNS, ZOOMED, expect_screen, settle, trace
from test_vxi11 import open_instr, run_cases

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
FREQ = 1000.0
SIGNAL = f"ch1 sine freq={FREQ:g} amp=1\n"
DIVS = 14  # divisions across the wave area
NO_ERROR = '0,"No error"'
RUN_STATE_LABEL = b"TASK-SYSTEM\r\n"

# Settings a setup does not hold, or that act rather than set: the panel and
# key locks, the errors, the identity, the clock and the network, the
# recorder's run and play, the pass/fail run, the read-out's own parameters,
# the selections of a trace, a command accepted and ignored, what only a
# stopped spectrum or an independent time base serves, the STORAGE menu (its
# block is never part of a setup) and the cursor lines (the cursor block holds
# its menu items, not where the lines stand).
NOT_IN_A_SETUP = re.compile(
    r"^(SYSTem:(LOCK|ERRor|SETup|RTC|COMMunicate:.*)|CONFIG|FACTory:.*|KEY:.*|RECord:(ENABle|STARt|PLAY|CURRent)"
    r"|PF:(ENABle|OPERate)|WAVeform:.*|CHANnel\d:SELect|TRIGger:DELay:MODE|FUNCtion:FFT:WATerfall:SLICe"
    r"|TIMebase:INDPendent|TIMebase[12]:SCALe|TIMebase:SPLit:SCReen|DISPlay:TYPE|SYSTem:LANGuage"
    r"|CHANnel[2567]:POSition|TIMebase\d:POSition|STORage:.*|REF:DISK:SELect|CURSor:CUR[AB])$")
# Not held by a setup either, though the default setup puts it back: which
# source of a delay or setup/hold trigger the level knob serves.
KNOB_SELECTIONS = re.compile(r"^TRIGger:(DELay|SHOLd):SELect$")

# Values for settings whose parameter the reference gives as a quantity: the
# first that changes the answer is kept.
QUANTITIES = {
    "seconds": ["2us", "20ms", "40ns"],
    "volts": ["0.4", "-0.6", "2"],
    "hertz": ["1K", "100K", "3M"],
}
# Where a listed value or a range alone would leave the default.
VALUES = {
    "TIMebase:SCALe": ["2e-4"],
    "TIMebase1:SCALe": ["2e-4"],
    "TIMebase:WINDow:SCALe": ["2e-5"],
    "TIMebase:OFFSet": ["2e-4"],
    "TIMebase:WINDow:OFFSet": ["2e-5"],
    "TIMebase:MODE": ["WINDow"],
    # A type of two levels on a channel: both level queries answer.
    "TRIGger:MODE": ["SLOPe"],
    "TRIGger:SOURce": ["CHANnel2"],
    # Acquiring: a single sweep stops once it triggers.
    "TRIGger:SWEep": ["NORMal"],
    "SBUS:TRIGger:SWEep": ["NORMal"],
    "CHANnel1:SCALe": ["0.5"],
    "CHANnel2:SCALe": ["2"],
    "CHANnel1:DISPlay": ["ON"],
    "CHANnel2:DISPlay": ["ON"],
    "SBUS:I2C:ADDRess": ['"1010011"'],
    "SBUS:I2C:DATA": ['"10100101"'],
    "SBUS:SPI:DATA": ['"1011"'],
    "SBUS:CAN:ID": ['"10100110011"'],
    "SBUS:CAN:DATA": ['"10100101"'],
    "SBUS:LIN:ID": ['"101001"'],
    "SBUS:RS232:DATA": ['"01001000"'],
    "SBUS:RS232:BAUDrate": ["9600"],
    "SBUS:CAN:SIGNal:BAUDrate": ["250000"],
    "SBUS:LIN:SIGNal:BAUDrate": ["19200"],
    "FUNCtion:EXPRession": ['"CH1*CH2"'],
    # The voltmeter on CH2, DC-coupled, beside an AC-coupled CH1: its mode
    # is its own.
    "CHANnel1:COUPling": ["AC"],
    "DVM:SOURCe": ["CHANnel2"],
    "DVM:MODE": ["DCRMs"],
    "TRIGger:POSition": ["20"],
    "TRIGger:VIDeo:LINE": ["100"],
    "FUNCtion:FFT:DETEction:AVERage:COUNt": ["4"],
    "FUNCtion:FFT:MARK:POINts": ["3"],
    "FUNCtion:FFT:MARK:THReshold:LEVel": ["0.5V", "2dB"],
}


def entries(in_a_setup=True):
    """(setting header, parameter text) of each setting with a query that a
    setup holds (`in_a_setup`) or that the default setup puts back, in the
    reference's order."""
    with open(os.path.join(SOURCE, "docs", "scpi-commands.md")) as f:
        text = f.read()
    found = []
    for block in re.split(r"\n### ", text)[1:]:
        head, _, body = block.partition("\n")
        fields = dict(re.findall(r"^- ([a-z ]+): (.*)$", body, re.M))
        headers = re.findall(r"`([^`]+)`", head)
        for h in headers:
            # A query that answers only in some states is left out.
            if "nothing" in fields.get("query answers", ""):
                continue
            if h.endswith("?") or h + "?" not in headers or NOT_IN_A_SETUP.match(h):
                continue
            if not (in_a_setup and KNOB_SELECTIONS.match(h)):
                found.append((h, fields.get("parameter", "")))
    return found


def values_to_try(header, parameter):
    if header in VALUES:
        return VALUES[header]
    listed = re.match(r"`([^`]+)`", parameter)
    if listed and "|" in listed.group(1):
        return [v for v in listed.group(1).split("|") if v not in ("UP", "DOWN")][::-1]
    whole = re.match(r"whole number (-?\d+) \.\. (-?\d+)", parameter)
    if whole:
        low, high = int(whole.group(1)), int(whole.group(2))
        return [str(low + (high - low) // 3 + 1), str(high)]
    if parameter.startswith("whole number"):
        return ["3", "60"]
    for quantity, values in QUANTITIES.items():
        if parameter.startswith(quantity):
            return values
    return []


class Link:
    def __init__(self, rm):
        self.s = open_instr(rm)

    def ask(self, query):
        """The answer as its bytes (a position's is binary)."""
        self.s.write(query)
        return self.s.read_raw().decode("latin-1").rstrip("\r\n")

    def idle(self):
        assert wait_until(lambda: self.ask("*OPC?") == "1"), "a command never ended"

    def set(self, line):
        self.s.write(line)
        self.idle()

    def snapshot(self, headers):
        return {h: self.ask(h + "?") for h in headers}

    def drain_errors(self):
        errors = []
        while True:
            e = self.ask("SYSTem:ERRor?")
            if e == NO_ERROR:
                return errors
            errors.append(e)

    def reset(self):
        self.set("*RST")
        self.drain_errors()

    def setup_block(self):
        """The setup SYSTem:SETup? gives, without its block header."""
        self.s.write("SYSTem:SETup?")
        raw = self.s.read_raw()
        assert raw[:1] == b"#", raw[:16]
        digits = int(raw[1:2])
        length = int(raw[2:2 + digits])
        data = raw[2 + digits:2 + digits + length]
        assert len(data) == length, (len(data), length)
        return data

    def upload(self, data):
        """The setup block after SYSTem:SETup, each in its own message."""
        head = str(len(data)).encode()
        self.s.write("SYSTem:SETup")
        self.s.write_raw(b"#%d%s%s" % (len(head), head, data))
        self.idle()

    def close(self):
        self.s.close()


def set_everything(link, in_a_setup=True):
    """Each setting of entries(in_a_setup) away from its default: the values
    are tried in turn and the first the query answers other than before
    stays. The headers set, and those no value moved."""
    moved, stayed = [], []
    for header, parameter in entries(in_a_setup):
        before = link.ask(header + "?")
        for value in values_to_try(header, parameter):
            link.set(f"{header} {value}")
            if link.ask(header + "?") != before:
                moved.append(header)
                break
        else:
            stayed.append(header)
    link.drain_errors()
    return moved, stayed


def expect_recalled(link, want, changed, check, source):
    """Once `check` shows the recall, every setting of `want` is back and no error is left."""
    assert wait_until(lambda: link.ask(check + "?") == want[check]), f"{source} was not loaded"
    link.idle()
    got = link.snapshot(want)
    lost = [f"{h}: {want[h]!r} before, {got[h]!r} recalled" for h in want if got[h] != want[h]]
    assert not lost, f"{len(lost)} of {len(changed)} settings lost by {source}: {lost}"
    errors = link.drain_errors()
    assert not errors, f"{source}'s recall: {errors}"


def recall_everywhere(link, root, fresh, name, stopped):
    """The setup in force saved as `name` and taken with SYSTem:SETup?; after
    *RST each recall brings back every setting away from `fresh` and refuses
    nothing; a setup saved while stopped comes back stopped."""
    want = link.snapshot(fresh)
    changed = [h for h in want if want[h] != fresh[h]]
    assert len(changed) >= 180, f"only {len(changed)} settings away from their default"
    check = "CHANnel1:SCALe"
    assert want[check] != fresh[check]
    state = link.ask(":TRIGger:STATus?")
    assert (state == "STOP") == stopped, state

    path = os.path.join(root, "Data", "Storage", "Set", name)
    link.set(f'FILE:SAVE "{name}",FLASH')
    assert wait_until(lambda: os.path.exists(path) and os.path.getsize(path) > 17456), "not saved"
    data = link.setup_block()
    for source in ("the file", "the block"):
        link.reset()
        assert link.ask(check + "?") == fresh[check]
        if source == "the file":
            link.set(f'FILE:LOAD "{name}",FLASH')
        else:
            link.upload(data)
        expect_recalled(link, want, changed, check, source)
        if stopped:
            assert link.ask(":TRIGger:STATus?") == "STOP", f"{source} left the acquisition running"


def every_setting_comes_back(rm, root):
    """Every setting of the reference that a setup holds, set away from its
    default, comes back from the setup file and from the uploaded block; and
    so it does from a setup saved while stopped, whose recall refuses none of
    the settings that may not change while stopped (the acquisition mode, the
    memory depth, the time-base format)."""
    link = Link(rm)
    try:
        link.reset()
        fresh = link.snapshot([h for h, _ in entries()])
        moved, stayed = set_everything(link)
        print(f"  {len(moved)} settings moved, {len(stayed)} kept their value: {stayed}")
        recall_everywhere(link, root, fresh, "ALL.dat", stopped=False)
        # The block's recall left every setting in force: stopped, it is saved again.
        link.set(":STOP")
        assert wait_until(lambda: link.ask(":TRIGger:STATus?") == "STOP"), "not stopped"
        recall_everywhere(link, root, fresh, "STOPPED.dat", stopped=True)
    finally:
        link.reset()
        link.close()


def zoomed_setup_keeps_its_window(rm, root):
    """Main 200 us/div with the zoom at 20 us/div: the recalled setup shows
    14 x 20 us of the 1 kHz sine in the zoom pane, the rising stretch about
    the trigger point, and refuses nothing. The setup holds the run state
    once."""
    link = Link(rm)
    try:
        link.reset()
        for line in (":CHANnel1:SCALe 1", ":CHANnel1:OFFSet 0", ":TIMebase:OFFSet 0", ":TRIGger:LEVel 0",
                     ":ACQuire:MEMory:DEPTh 7K", ":TIMebase:SCALe 2e-4", ":TIMebase:MODE WINDow",
                     ":TIMebase:WINDow:SCALe 2e-5"):
            link.set(line)
        assert float(link.ask(":TIMebase:WINDow:SCALe?")) == 2e-5
        data = link.setup_block()
        assert data.count(RUN_STATE_LABEL) == 1, data.count(RUN_STATE_LABEL)
        link.reset()
        assert link.ask(":TIMebase:MODE?") == "MAIN"
        link.upload(data)
        assert wait_until(lambda: link.ask(":TIMebase:MODE?") == "WINDow"), "the block was not loaded"
        errors = link.drain_errors()
        assert not errors, errors
        assert float(link.ask(":TIMebase:SCALe?")) == 2e-4
        assert float(link.ask(":TIMebase:WINDow:SCALe?")) == 2e-5

        # The sine over the zoom window, the trigger's rising crossing at its centre.
        t = (np.arange(COLUMNS) - COLUMNS / 2) * 2e-5 * DIVS / COLUMNS
        expected = CENTRE + CODES_PER_DIV * np.sin(2 * np.pi * FREQ * t)

        def shown():
            wait_frames(root, 2)
            codes = trace(link.s)
            return [codes] if np.percentile(np.abs(codes - expected), 90) <= 4 else None

        found = wait_until(shown)
        if found:
            codes = found[0]
        else:
            codes = trace(link.s)
            raise AssertionError(f"the zoom pane spans codes {codes.min()}..{codes.max()}, the window "
                                 f"{expected.min():.0f}..{expected.max():.0f}")
        expect_screen(root, codes, "the recalled zoom pane", ZOOMED)
        assert link.drain_errors() == []
    finally:
        settle(link.s, ":TIMebase:MODE MAIN")
        link.reset()
        link.close()


if __name__ == "__main__":
    sys.exit(run_cases("setup-recall-py-", SIGNAL, [zoomed_setup_keeps_its_window, every_setting_comes_back],
                       call=lambda case, rm, root, inst: case(rm, root)))
