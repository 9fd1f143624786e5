#!/usr/bin/env python3
"""The contract a script relies on, taken from the programming reference
(docs/scpi-commands.md) itself, so a command added to the reference is covered
at once: every setter with a query and a keyword list or a whole-number range
is set to a value other than the one in force, `*OPC?` is waited for, and the
query must answer the value set (then the old value is put back). This runs in
each state users combine: running, stopped, zoom, a 10X probe, after `*RST`
and after a setup recall (SYSTem:SETup). The settings that change the record
(V/div, offset, position, probe, time base, depth, acquisition mode) are then
checked against the applied sine with numpy: WAVeform:DATA? through
WAVeform:PREamble? (crossings at whole periods from the trigger, crest and
trough at the amplitude at the probe tip) and three measurements (VPP,
FREQuency, VRMS).

Usage: python3 test_scpi_contract.py --build <builddir>
"""
import math
import re
import sys

try:
    import numpy as np  # noqa: F401 - the record checks need it
    import pyvisa
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-numpy and python3-pyvisa-py")

from scope_support import drain_errors, wait_frames, wait_until
from test_scpi_reference import entries
from test_vxi11 import open_instr, run_cases
from test_waveform_timing import check_sine

FREQ, AMP = 1000.0, 1.0  # the applied sine on CH1: 1 kHz, 1 V peak
QUERY_MS = 10000         # a documented query answers well within this

# Setters of the reference that are no setting to read back: they act on the
# link or start what a read-back cannot undo.
NOT_SETTINGS = {
    "SYSTem:LOCK": "locks the front panel for the rest of the run",
    "RECord:STARt": "starts a recording",
    "RECord:ENABle": "switches the recorder, which takes the acquisitions",
    "WAVeform:MODE": "starts a RAW read of the record",
    "WAVeform:STARt": "a read position, moved by each RAW block",
    "RECord:CURRent": "plays a recorded frame",
    "RECord:PLAY": "plays recorded frames, and so reads 1 only with a recording",
    "FUNCtion:FFT:MARK:SOURce": "takes only a trace that is on (refused otherwise)",
}

# Keywords that step a setting rather than name a value.
STEPS = {"UP", "DOWN"}

# Setters the reference says are refused in some states, as header: (the
# states, None for all; words of its "outside the range" text that say so).
# A value there that does not read back must have been refused: an error
# queued and the setting left as it was.
DOCUMENTED_REFUSALS = {
    "SBUS:SPI:CS:SOURce": (None, "`SBUS:SPI:CS:SOURce` always"),
    "STORage:DISK:SELect": (None, "`UDISK` also while no USB disk is plugged in"),
    "PF:ENABle": ({"zoom"}, "also in zoom"),
    "FUNCtion:FFT:DISPlay": ({"zoom"}, "also in zoom"),
    "TIMebase:INDPendent": ({"zoom"}, "also in zoom"),
}


def short_form(keyword):
    return "".join(c for c in keyword if c.isupper() or c.isdigit() or c in "._-")


def settable():
    """(header, kind, choices) of every setter with a query whose answer the
    reference gives in every state: kind "keyword" (choices: the keywords) or
    "whole" (choices: the range's ends)."""
    found = []
    for headers, fields in entries():
        param, answers = fields.get("parameter", ""), fields.get("query answers", "")
        if "nothing" in answers or "not text" in answers:
            continue  # answers only in some states, or binary
        for h in headers:
            if h.endswith("?") or h + "?" not in headers or h in NOT_SETTINGS or "#" in h:
                continue
            words = re.match(r"`([^`<>]+\|[^`<>]+)`", param)
            whole = re.match(r"whole number(?:, [^:.]*)? (-?\d+) \.\. (-?\d+)", param)
            if words:
                choices = [w for w in words.group(1).split("|") if w not in STEPS]
                found.append((h, "keyword", choices))
            elif whole:
                found.append((h, "whole", (int(whole.group(1)), int(whole.group(2)))))
    return found


class Link:
    def __init__(self, s):
        self.s = s

    def ask(self, query):
        self.s.write(query)
        return self.s.read_raw().decode(errors="replace").strip()

    def ask_int16(self, query):
        """A query the reference answers with a 2-byte little-endian integer."""
        self.s.write(query)
        return str(int.from_bytes(self.s.read_raw()[:2], "little", signed=True))

    def drain_errors(self):
        return drain_errors(self.ask)

    def set(self, command):
        """Sends a setting and waits for `*OPC?` to answer 1."""
        self.s.write(command)
        assert wait_until(lambda: self.ask("*OPC?") == "1", interval=0.01), command


def same_keyword(answer, keyword, switch=False):
    """`answer` names `keyword`; a switch (an ON|OFF list) answers 1 or 0."""
    if switch and keyword in ("ON", "OFF"):
        return answer == ("1" if keyword == "ON" else "0")
    return answer.upper() in (keyword.upper(), short_form(keyword).upper())


def other_value(kind, choices, now):
    """A value other than `now`, and how the query must answer it."""
    if kind == "keyword":
        switch = "ON" in choices and "OFF" in choices
        for k in choices:
            if switch and k in ("ON", "OFF"):
                k = "0" if now == "1" else "1"
            if not same_keyword(now, k, switch):
                return k, lambda a, k=k: same_keyword(a, k, switch)
        return None, None
    low, high = choices
    for v in (low + (high - low) // 3, low + 2 * (high - low) // 3, low, high):
        if str(v) != now:
            return str(v), lambda a, v=v: a == str(v)
    return None, None


def reference_refusals():
    """The "outside the range" text of each documented refusal's entry."""
    texts = {}
    for headers, fields in entries():
        for h in headers:
            if h in DOCUMENTED_REFUSALS:
                texts[h] = fields.get("outside the range", "")
    return texts


def refused_as_documented(link, state, header, before, got, faults):
    """A value the reference says is refused in `state`: true when the setter
    queued an error and left the setting as it was (a fault is noted if not)."""
    if header not in DOCUMENTED_REFUSALS:
        return False
    states, words = DOCUMENTED_REFUSALS[header]
    if states is not None and state not in states:
        return False
    assert words in reference_refusals().get(header, ""), "the reference no longer says: %s %s" % (header, words)
    errors = link.drain_errors()
    if not errors:
        faults.append("%s: %s refused with no error" % (state, header))
    if got != before:
        faults.append("%s: %s refused but moved from %r to %r" % (state, header, before, got))
    return True


def read_back_all(link, state, faults):
    """Sets, reads back and puts back every setting the reference lists."""
    checked = 0
    for header, kind, choices in settable():
        now = link.ask(header + "?")
        value, answers_it = other_value(kind, choices, now)
        if value is None:
            continue
        link.drain_errors()
        link.set("%s %s" % (header, value))
        got = link.ask(header + "?")
        if not answers_it(got) and not refused_as_documented(link, state, header, now, got, faults):
            faults.append("%s: %s %s reads back %r" % (state, header, value, got))
        link.set("%s %s" % (header, now))
        checked += 1
    return checked


def tip_amplitude(link):
    probe = link.ask(":CHANnel1:PROBe?").rstrip("X")
    return AMP * float(probe)


def check_record(link, root, state, what, faults):
    """Three measurements, then the record against the applied sine through the
    preamble: a measurement waits for records acquired after the settings, so
    the trace read next is of one of them."""
    wait_frames(root, 3)
    amp = tip_amplitude(link)
    label = "%s: after %s" % (state, what)
    for query, want, tol in ((":MEASure:VPP?", 2 * amp, 0.06), (":MEASure:FREQuency?", FREQ, 0.02),
                             (":MEASure:VRMS?", amp / math.sqrt(2), 0.06)):
        text = link.ask(query)
        try:
            ok = abs(float(text) - want) <= tol * want
        except ValueError:
            ok = False
        if not ok:
            faults.append("%s: %s answers %r, the signal gives %g" % (label, query, text, want))
    try:
        check_sine(link.s, FREQ, amp, label, columns=690)
    except AssertionError as e:
        faults.append("%s: WAVeform:DATA? %s" % (label, e))


# Record settings: the command, its value, and what the query must read back.
RECORD = [
    (":CHANnel1:SCALe", "{tip_half}", "{tip_half}"),
    (":CHANnel1:OFFSet", "{tip_fifth}", "{tip_fifth}"),  # ten position steps at the V/div before
    (":CHANnel1:POSition", "140", "140"),  # answered as a 2-byte integer
    (":TIMebase:SCALe", "2e-4", "2e-4"),
    (":ACQuire:MEMory:DEPTh", "70K", "70K"),
    (":ACQuire:TYPE", "PEAK", "PEAK"),
    (":ACQuire:AVERages:COUNt", "16", "16"),
]


def check_record_settings(link, root, state, faults):
    amp = tip_amplitude(link)
    read = lambda h: link.ask_int16(h + "?") if h.endswith(":POSition") else link.ask(h + "?")
    keep = {h: read(h) for h, _, _ in RECORD}
    fill = {"tip_half": "%g" % (amp / 2), "tip_fifth": "%g" % (amp / 5)}
    check_record(link, root, state, "the state alone", faults)
    for header, value, expect in RECORD:
        value, expect = value.format(**fill), expect.format(**fill)
        link.set("%s %s" % (header, value))
        got = read(header)
        try:
            same = abs(float(got) - float(expect)) <= 1e-6 * abs(float(expect))
        except ValueError:
            same = got.upper().startswith(expect.upper())
        if not same:
            faults.append("%s: %s %s reads back %r" % (state, header.lstrip(":"), value, got))
        check_record(link, root, state, "%s %s" % (header.lstrip(":"), value), faults)
        if header == ":ACQuire:AVERages:COUNt":
            count = link.ask(":WAVeform:PREamble?").split(",")[3]
            if count != expect:
                faults.append("%s: WAVeform:PREamble? count %s after %s %s" % (state, count, header, value))
        link.set("%s %s" % (header, keep[header]))


def enter(link, state):
    """Puts the instrument in `state` from the base settings."""
    link.set(":RUN")
    if state == "stopped":
        link.set(":STOP")
    elif state == "zoom":
        link.set(":TIMebase:MODE WINDow")
    elif state == "10X probe":
        link.set(":CHANnel1:PROBe 10X")
    elif state == "after *RST":
        link.set("*RST")
        base(link)
    elif state == "after a setup recall":
        link.set(":CHANnel1:SCALe 1")  # the whole sine on the screen, as at the base 0.5
        link.s.write(":SYSTem:SETup?")
        block = link.s.read_raw()
        link.set(":CHANnel1:SCALe 2")
        link.s.write_raw(b":SYSTem:SETup\n")
        digits = int(block[1:2])
        link.s.write_raw(block[:2 + digits + int(block[2:2 + digits])])  # the block, without the answer's line end
        assert wait_until(lambda: link.ask("*OPC?") == "1" and link.ask(":CHANnel1:SCALe?") != "", interval=0.01)
        got = float(link.ask(":CHANnel1:SCALe?"))
        assert abs(got - 1.0) < 1e-9, ("the recalled setup's V/div", got)


def leave(link, state):
    if state == "zoom":
        link.set(":TIMebase:MODE MAIN")
    elif state == "10X probe":
        link.set(":CHANnel1:PROBe 1X")
    link.set(":RUN")
    base(link)


def base(link):
    for command in (":TIMebase:MODE MAIN", ":TIMebase:SCALe 5e-4", ":TIMebase:OFFSet 0", ":CHANnel1:SCALe 0.5",
                    ":CHANnel1:OFFSet 0", ":TRIGger:SWEep AUTO", ":TRIGger:LEVel 0", ":ACQuire:TYPE NORMal",
                    ":ACQuire:MEMory:DEPTh AUTO"):
        link.set(command)


STATES = ["running", "stopped", "zoom", "10X probe", "after *RST", "after a setup recall"]


def contract(rm, root, inst):
    s = open_instr(rm, QUERY_MS)
    link = Link(s)
    faults = []
    try:
        base(link)
        assert len(settable()) > 100, len(settable())
        for state in STATES:
            enter(link, state)
            n = read_back_all(link, state, faults)
            check_record_settings(link, root, state, faults)
            print("  %s: %d settings read back" % (state, n), flush=True)
            leave(link, state)
    finally:
        s.close()
    assert not faults, "\n".join(faults)


if __name__ == "__main__":
    sys.exit(run_cases("scpi-contract-py-", "ch1 sine freq=%g amp=%g\n" % (FREQ, AMP), [contract],
                       call=lambda case, rm, root, inst: case(rm, root, inst)))
