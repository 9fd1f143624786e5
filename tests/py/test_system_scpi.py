#!/usr/bin/env python3
"""The system commands of the running instrument over VXI-11 with pyvisa and
the pyvisa-py backend: identification, the error query, a channel scale,
STOP and RUN, a remote knob turn (seen in the EEPROM file the instrument
keeps), a screenshot on the simulated USB disk (checked as a BMP and
converted to PNG by the project's screen tool), and the errors refused
commands leave, each with the text of the message pack the screen shows.

Usage: python3 test_system_scpi.py --build <builddir>
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import time

try:
    import pyvisa
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py")

from scope_support import WAIT_LIMIT, Tally, wait_until
from test_vxi11 import Instrument, open_instr

EE_TIMEBASE = 42


def wait_for(check, timeout=WAIT_LIMIT):
    return bool(wait_until(check, timeout))


def eeprom_byte(root, address):
    """The byte, or None when the instrument never finished rewriting the file."""
    def image():
        with open(os.path.join(root, "dev", "eeprom.bin"), "rb") as f:
            data = f.read()
        return data if len(data) > address else None

    data = wait_until(image, interval=0.01)
    return data[address] if data else None


def identity(inst, rm, root, build):
    s = open_instr(rm)
    try:
        fields = s.query("*IDN?").strip().split(",")
        assert len(fields) == 4, fields
        assert fields[0] == "KOLVET Technologies" and fields[1] == "QEL2200KS", fields
        # The serial number the board keeps in SN.txt beside the application.
        with open(os.path.join(root, "SN.txt")) as f:
            serial = f.read().split("[SERIAL]", 1)[1].split()[0]
        assert fields[2] == serial and serial, fields
        assert s.query("SYSTem:ERRor?").strip() == '0,"No error"'
    finally:
        s.close()


def channel_scale(inst, rm, root, build):
    s = open_instr(rm)
    try:
        s.write("CHANnel1:SCALe 0.5")
        assert float(s.query("CHANnel1:SCALe?")) == 0.5
        s.write("CHANnel1:SCALe 1")
        assert float(s.query("CHANnel1:SCALe?")) == 1.0
    finally:
        s.close()


def stop_and_run(inst, rm, root, build):
    s = open_instr(rm)
    try:
        s.write(":STOP")
        assert s.query("KEY:RS:LED?").strip() == "2"
        s.write(":RUN")
        assert s.query("KEY:RS:LED?").strip() == "1"
    finally:
        s.close()


def time_base_knob(inst, rm, root, build):
    before = eeprom_byte(root, EE_TIMEBASE)
    assert before is not None
    s = open_instr(rm)
    try:
        s.write("KEY:TBKNRight")  # one step faster
        assert wait_for(lambda: eeprom_byte(root, EE_TIMEBASE) == before - 1), eeprom_byte(root, EE_TIMEBASE)
        s.write("KEY:TBKNLeft")
        assert wait_for(lambda: eeprom_byte(root, EE_TIMEBASE) == before)
    finally:
        s.close()


def screenshot(inst, rm, root, build):
    os.makedirs(os.path.join(root, "udisk"), exist_ok=True)
    shot = os.path.join(root, "udisk", "QelPrtSc", "QelPrtsc-001.bmp")
    s = open_instr(rm)
    try:
        # The key does nothing until the disk watcher has seen the disk:
        # pressed again until the picture is there.
        def pressed():
            s.write("KEY:PSCReen")
            return wait_for(lambda: os.path.exists(shot) and os.path.getsize(shot) == 1152054, 5)

        assert wait_for(pressed), shot
    finally:
        s.close()
    with open(shot, "rb") as f:
        head = f.read(54)
    magic, size, _, offset, info, width, height, planes, bits = struct.unpack("<2sIIIIiiHH", head[:30])
    assert (magic, size, offset, info, width, height, planes, bits) == (b"BM", 1152054, 54, 40, 800, 480, 1, 24)
    png = shot + ".png"
    tool = os.path.join(build, "tools", "screenpng", "scope-screen-png")
    subprocess.run([tool, shot, png], check=True, capture_output=True, timeout=30)
    with open(png, "rb") as f:
        assert f.read(8) == b"\x89PNG\r\n\x1a\n"


def pack_text(root, number):
    """Message `number`'s text in the English message pack the instrument reads."""
    with open(os.path.join(root, "Data", "Message", "MessageEnglish.txt"), "rb") as f:
        rows = [line[1:] for line in f.read().decode("utf-16").splitlines() if line.startswith("#")]
    return rows[number]


def refusals_are_errors(inst, rm, root, build):
    s = open_instr(rm)
    try:
        def next_error():
            return s.query("SYSTem:ERRor?").strip()

        def expect(command, number, text=None):
            s.write(command)
            want = '%d,"%s"' % (number, text if text is not None else pack_text(root, number))
            # A command the main loop runs (a setup load) reports once it has run.
            got = wait_until(lambda: (lambda e: e if e != '0,"No error"' else None)(next_error()))
            assert got == want, (command, got, want)
            assert next_error() == '0,"No error"', command

        assert next_error() == '0,"No error"'
        s.write("CHANnel1:SCALe 1")
        assert float(s.query("CHANnel1:SCALe?")) == 1.0
        assert next_error() == '0,"No error"'
        # Names the disk cannot take, a path, one too long: "Invalid parameter entered!".
        for name in ("a b.dat", "a;b.dat", "a'b.dat", "../x.dat", "x" * 48 + ".dat"):
            expect('FILE:SAVE "%s"' % name, 72)
        assert not os.listdir(os.path.join(root, "Data", "Storage", "Set"))
        expect("FUNCtion:EXPRession CH1#CH2", 37)  # "Invalid expression !"
        expect('FILE:SAVE "v.mp4"', 75)  # nothing recorded: "Not record yet!"
        expect('FILE:LOAD "absent.dat"', 13)  # run by the main loop: "Load failed !"
        expect("ACQuire:MEMory:DEPTh 9K", 72)
        expect("NOSUCh:COMMand 1", -113, "Undefined header")
        # A refused parameter of each command family, or a state the command
        # cannot run in: the error, and the setting as it was; running and
        # stopped alike.
        refusals = (
            ("TRIGger:SWEep SOMETIMES", 72, "TRIGger:SWEep?"),
            ("TRIGger:EDGE:SLOPe UPWARD", 72, "TRIGger:EDGE:SLOPe?"),
            ("CHANnel1:COUPling XYZ", 72, "CHANnel1:COUPling?"),
            ("CHANnel1:PROBe many", 72, "CHANnel1:PROBe?"),
            ("CHANnel1:OFFSet 1q", 72, "CHANnel1:OFFSet?"),
            ("TIMebase:SCALe fast", 72, "TIMebase:SCALe?"),
            ("TIMebase:WINDow:OFFSet 1ms", 72, "TIMebase:MODE?"),  # no window shown
            ("ACQuire:TYPE SMOOTH", 72, "ACQuire:TYPE?"),
            ("DISPlay:GRAD:TIME FOREVER", 72, "DISPlay:GRAD:TIME?"),
            ("SYSTem:MNUDisplay 7S", 72, "SYSTem:MNUDisplay?"),
            ("MEASure:SOURce CHANnel9", 72, "MEASure:SOURce?"),
            ("DVM:MODE PEAK", 72, "DVM:MODE?"),
            ("FUNCtion:FFT:WINDow SQUARE", 72, "FUNCtion:FFT:WINDow?"),
            # The marks on the average trace while it is off: the panel's message.
            ("FUNCtion:FFT:MARK:SOURce AVERage", 68, "FUNCtion:FFT:MARK:SOURce?"),
            ("CURSor:MODE SOMETIMES", 72, "CURSor:MODE?"),
            ("CURSor:CURA left", 72, "CURSor:CURA?"),
            ("SYSTem:SQUare:SELect 5Hz", 72, "SYSTem:SQUare:SELect?"),
            ("RECord:CURRent 3", 75, "RECord:CURRent?"),  # nothing recorded: "Not record yet!"
            ("STORage:TYPE FOLDER", 72, "STORage:TYPE?"),
            ("REF:DISK:SELect UDISK", 72, "STORage:TYPE?"),  # not on the reference page
            ("SBUS:BASE OCTAL", 72, "SBUS:BASE?"),
            ("SBUS:RS232:STOP:BIT 3", 72, "SBUS:RS232:STOP:BIT?"),
            ("SBUS:RS232:DATA 10201", 72, "SBUS:RS232:DATA?"),
            ("KEY:CH1:LOCK MAYBE", 72, "KEY:CH1:LOCK?"),
        )
        for state, led in ((":STOP", "2"), (":RUN", "1")):
            s.write(state)
            assert s.query("KEY:RS:LED?").strip() == led
            for command, number, query in refusals:
                before = s.query(query).strip()
                expect(command, number)
                assert s.query(query).strip() == before, (state, command, before)
        # Errors wait in order until read.
        s.write('FILE:SAVE "a b.dat"')
        s.write('FILE:SAVE "v.mp4"')
        assert next_error() == '72,"%s"' % pack_text(root, 72)
        assert next_error() == '75,"%s"' % pack_text(root, 75)
        assert next_error() == '0,"No error"'
    finally:
        s.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="system-scpi-py-")
    root = os.path.join(tmp, "root")
    inst = Instrument(build, root, False)  # a portmapper of its own on a free port
    if inst.portmap != 111:
        rpc.PMAP_PORT = inst.portmap
    rm = pyvisa.ResourceManager("@py")
    tally = Tally()
    for case in (identity, channel_scale, stop_and_run, time_base_knob, screenshot, refusals_are_errors):
        tally.run(case.__name__, lambda: case(inst, rm, root, build))
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
