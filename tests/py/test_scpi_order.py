#!/usr/bin/env python3
"""What a script finds in force once *OPC? answers 1, over VXI-11 with pyvisa
and the pyvisa-py backend: commands take effect in the order sent (a reset
or an auto-set the main loop runs included), volts per division at the
probe tip, a position that keeps the trigger level's volts, the errors
refused parameters leave, the logic operator before its page is shown, and
a setup block in its command's message.

Usage: python3 test_scpi_order.py --build <builddir>
"""
import sys

try:
    import pyvisa  # noqa: F401 - the cases talk through it
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py")

from scope_support import opc_done as done
from scope_support import wait_frames, wait_until
from test_vxi11 import open_instr, run_cases

NO_ERROR = '0,"No error"'


def number(s, query):
    return float(s.query(query))


def reset_then_commands_in_order(rm, root, inst):
    s = open_instr(rm)
    try:
        s.write("CHANnel1:SCALe 0.5")
        done(s)
        # *OPC? right after the reset: never 1 before the reset is in force.
        s.write("*RST")
        while s.query("*OPC?").strip() != "1":
            pass
        assert number(s, "CHANnel1:SCALe?") == 1.0
        # A command sent after the reset is applied after it, in its own
        # message or in the reset's.
        for sequence in (("*RST", ":CHANnel2:DISPlay ON"), ("*RST;:CHANnel2:DISPlay ON",)):
            s.write("CHANnel1:SCALe 0.5")
            for command in sequence:
                s.write(command)
            done(s)
            assert s.query("CHANnel2:DISPlay?").strip() == "1", sequence
            assert number(s, "CHANnel1:SCALe?") == 1.0, sequence
            # CH2 switched on after the reset is the active channel (its side
            # menu takes the keys and knobs that follow).
            assert s.query("CHSEL?").strip() == "1", sequence
    finally:
        s.close()


def auto_set_is_done_when_opc_answers(rm, root, inst):
    # The applied 1 kHz sine: auto-set settles on a time base and keeps it.
    s = open_instr(rm)
    try:
        s.write("TIMebase:SCALe 10ms")
        done(s)
        s.write("AUTO")
        done(s)
        first = s.query("TIMebase:SCALe?").strip()
        wait_frames(root, 5)
        assert s.query("TIMebase:SCALe?").strip() == first, first
        assert first != "10ms" and number(s, "TIMebase:SCALe?") < 0.01, first
    finally:
        s.close()


def scale_is_at_the_probe_tip(rm, root, inst):
    s = open_instr(rm)
    try:
        for state in ("RUN", "STOP"):
            s.write(state)
            s.write("CHANnel1:PROBe 10X")
            for volts in (5, 2, 0.5, 50):
                s.write("CHANnel1:SCALe %g" % volts)
                done(s)
                assert number(s, "CHANnel1:SCALe?") == volts, (state, volts)
            s.write("CHANnel1:PROBe 1X")
            # The nearest range in proportion: 0.3 is nearer 0.2 than 0.5.
            for volts, taken in ((0.3, 0.2), (0.35, 0.5), (0.7, 0.5), (1.3, 1.0), (1.5, 2.0), (1000, 20.0)):
                s.write("CHANnel1:SCALe %g" % volts)
                done(s)
                assert number(s, "CHANnel1:SCALe?") == taken, (state, volts)
            s.write("CHANnel1:SCALe 1")
        s.write("RUN")
        done(s)
    finally:
        s.close()


def position_keeps_the_trigger_level(rm, root, inst):
    s = open_instr(rm)
    try:
        s.write("TRIGger:SOURce CH1")
        s.write("CHANnel1:SCALe 1")
        for state in ("RUN", "STOP"):
            s.write(state)
            s.write("CHANnel1:POSition 127")
            s.write("TRIGger:LEVel 0.5")
            done(s)
            level = number(s, "TRIGger:LEVel?")
            assert abs(level - 0.5) <= 0.04 / 2 + 1e-9, level  # the nearest code at 40 mV a code
            for position in (100, 180, 127):
                s.write("CHANnel1:POSition %d" % position)
                done(s)
                assert abs(number(s, "TRIGger:LEVel?") - level) < 1e-6, (state, position)
        s.write("RUN")
        done(s)
    finally:
        s.close()


def refusals_leave_errors(rm, root, inst):
    s = open_instr(rm)
    try:
        def error():
            return s.query("SYSTem:ERRor?").strip()

        while error() != NO_ERROR:
            pass
        before = s.query("SYSTem:RTC?").strip()
        for command, code in (("SYSTem:RTC 2026,13,10,14,30,0", 72), ("SYSTem:RTC 2026,4,31,14,30,0", 72),
                              ("SYSTem:RTC 2026,4,30,25,30,0", 72), ("X" * 5000, -113), (":::", -113),
                              ("CHANnel1:DISPlay ON;FOO", -113), ("NOSUch:COMMand 1", -113)):
            s.write(command)
            got = wait_until(lambda: (lambda e: e if e != NO_ERROR else None)(error()))
            assert got and got.startswith("%d," % code), (command[:30], got)
            assert error() == NO_ERROR, command[:30]
        assert s.query("SYSTem:RTC?").strip()[:8] == before[:8]
        # The units before the unknown one ran.
        s.write("CHANnel1:DISPlay OFF")
        s.write("CHANnel1:DISPlay ON;FOO")
        assert s.query("CHANnel1:DISPlay?").strip() == "1"
        # A unit relative to the header before it, and a quoted ';'.
        s.write("CHANnel1:COUPling AC;SCALe 0.5")
        done(s)
        assert s.query("CHANnel1:COUPling?").strip() == "AC"
        assert number(s, "CHANnel1:SCALe?") == 0.5
        s.write("CHANnel1:COUPling DC;:CHANnel1:SCALe 1")
        assert s.query("CHANnel1:SCALe?;:CHANnel1:COUPling?").strip() == "DC"
        assert number(s, "CHANnel1:SCALe?") == 1.0
        while error() != NO_ERROR:
            pass
        # A switched-off channel answers the range a reset gave it.
        s.write("CHANnel2:DISPlay ON")
        s.write("CHANnel2:SCALe 0.2")
        s.write("CHANnel2:DISPlay OFF")
        s.write("*RST")
        done(s)
        assert s.query("CHANnel2:DISPlay?").strip() == "0"
        assert number(s, "CHANnel2:SCALe?") == 1.0
        s.write("CHANnel2:DISPlay ON")
        done(s)
        assert number(s, "CHANnel2:SCALe?") == 1.0
        s.write("CHANnel2:DISPlay OFF")
        done(s)
    finally:
        s.close()


def logic_operator_without_its_page(rm, root, inst):
    s = open_instr(rm)
    try:
        s.write("FUNCtion:OPERation SUBTract")
        s.write("FUNCtion:OPERation XOR")
        done(s)
        assert s.query("FUNCtion:OPERation?").strip() == "SUBTract"
        s.write("FUNCtion:MATH:MODE LOGic")
        done(s)
        assert s.query("FUNCtion:OPERation?").strip() == "XOR"
        s.write("FUNCtion:MATH:MODE MATH")
        s.write("FUNCtion:OPERation ADD")
        done(s)
        assert s.query("FUNCtion:OPERation?").strip() == "ADD"
    finally:
        s.close()


def setup_block_in_its_message(rm, root, inst):
    s = open_instr(rm)
    try:
        s.write("CHANnel1:SCALe 2")
        done(s)
        s.write("SYSTem:SETup?")
        raw = s.read_raw()
        assert raw[:1] == b"#" and raw.endswith(b"\r\n"), raw[:8]
        digits = int(raw[1:2])
        length = int(raw[2:2 + digits])
        data = raw[2 + digits:2 + digits + length]
        assert len(data) == length
        block = raw[:2 + digits + length]

        while s.query("SYSTem:ERRor?").strip() != NO_ERROR:
            pass

        def load(message, want, error=NO_ERROR):
            s.write("CHANnel1:SCALe 0.5")
            done(s)
            s.write_raw(message)
            done(s)
            assert number(s, "CHANnel1:SCALe?") == want, message[:20]
            got = s.query("SYSTem:ERRor?").strip()
            assert got.startswith(error), (message[:20], got)
            while s.query("SYSTem:ERRor?").strip() != NO_ERROR:
                pass

        # The block in the command's message, as write_raw and
        # write_binary_values send it, with a line end or none, both headers.
        load(b"SYSTem:SETup " + block, 2.0)
        load(b"SYST:SET " + block + b"\n", 2.0)
        load(b"CONFIG " + block + b"\r\n", 2.0)
        s.write("CHANnel1:SCALe 0.5")
        done(s)
        s.write_binary_values("SYSTem:SETup ", list(data), datatype="B")
        done(s)
        assert number(s, "CHANnel1:SCALe?") == 2.0
        # A length that does not fit the bytes sent: refused, nothing loaded.
        short = b"#%d%d" % (len(str(length + 10)), length + 10) + data
        load(b"SYSTem:SETup " + short, 0.5, "13,")
        long_ = b"#%d%d" % (len(str(length - 10)), length - 10) + data
        load(b"SYSTem:SETup " + long_, 0.5, "13,")
        load(b"SYSTem:SETup #9x", 0.5, "13,")
        # The two-message form still loads.
        s.write("CHANnel1:SCALe 0.5")
        done(s)
        s.write("SYSTem:SETup")
        s.write_raw(block + b"\n")
        done(s)
        assert number(s, "CHANnel1:SCALe?") == 2.0
        s.write("CHANnel1:SCALe 1")
        done(s)
    finally:
        s.close()


def recall_is_done_when_opc_answers(rm, root, inst):
    """*OPC? right after a recall (a saved file, an uploaded block) answers 1
    only once the recalled settings are in force."""
    s = open_instr(rm)
    try:
        s.write("CHANnel1:SCALe 2")
        s.write(":TIMebase:SCALe 2e-4")
        done(s)
        s.write('FILE:SAVE "opcrecall.dat",FLASH')
        done(s)
        s.write("SYSTem:SETup?")
        raw = s.read_raw()
        digits = int(raw[1:2])
        block = raw[:2 + digits + int(raw[2:2 + digits])]  # without the answer's line end
        for recall in ('FILE:LOAD "opcrecall.dat",FLASH', None):
            s.write("*RST")
            done(s)
            assert number(s, "CHANnel1:SCALe?") == 1.0, recall
            if recall:
                s.write(recall)
            else:
                s.write_raw(b"SYSTem:SETup " + block + b"\n")
            while s.query("*OPC?").strip() != "1":
                pass
            assert number(s, "CHANnel1:SCALe?") == 2.0, recall or "upload"
            assert number(s, ":TIMebase:SCALe?") == 2e-4, recall or "upload"
    finally:
        s.close()


def main():
    return run_cases("scpi-order-py-", "ch1 sine freq=1000 amp=1\nch2 sine freq=1000 amp=1\n",
                     (reset_then_commands_in_order, auto_set_is_done_when_opc_answers, scale_is_at_the_probe_tip,
                      position_keeps_the_trigger_level, refusals_leave_errors, logic_operator_without_its_page,
                      setup_block_in_its_message, recall_is_done_when_opc_answers),
                     call=lambda case, rm, root, inst: case(rm, root, inst))


if __name__ == "__main__":
    sys.exit(main())
