#!/usr/bin/env python3
"""Storage over VXI-11 with pyvisa and the pyvisa-py backend, as a user's
script does it: a setup saved with FILE:SAVE, the instrument changed and the
setup recalled with FILE:LOAD, on the internal memory and on the USB disk; a
CH1 record saved as CSV to the USB disk and read with pandas, its times and
volts against the applied 1 kHz sine, at the screen's depth and at 70,000
points (read from the sample memory in chunks); a waveform loaded into a
reference.

Usage: python3 test_storage.py --build <builddir>
"""
import math
import os
import sys

try:
    import pandas
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pandas")

from scope_support import wait_until
from test_vxi11 import open_instr, run_cases

SIGNAL = "ch1 sine freq=1000 amp=1\n"
# Seconds a saved file may take to be whole once it is there.
SAVE_LIMIT = 10


def wait_file(path):
    return wait_until(lambda: os.path.exists(path), interval=0.1)


def saved(s, command, path, check):
    """Sends the save `command` until the file it writes at `path` passes
    `check(path)` (which raises when it does not): the first save may take a
    record made before the settings arrived. The file is written after the
    command returns: it is waited for, and read again while it is still
    being written."""
    def attempt():
        if os.path.exists(path):
            os.remove(path)
        s.write(command)
        assert wait_file(path), "not saved: " + path
        return wait_until(lambda: check(path) is None, SAVE_LIMIT, interval=0.2)

    assert wait_until(attempt, interval=0.5)


def setup_round_trip(rm, root):
    s = open_instr(rm)
    try:
        for disk, folder in (("FLASH", "Data/Storage/Set"), ("UDISK", "udisk/KOLV/Set")):
            s.write(":CHANnel1:SCALe 1")
            s.write(":TIMebase:SCALe 0.001")
            assert s.query(":CHANnel1:SCALe?").strip() == "1.000000e+00"
            s.write(':FILE:SAVE "PYSET.dat",%s' % disk)
            assert wait_file(os.path.join(root, folder, "PYSET.dat")), "not saved on " + disk
            s.write(":CHANnel1:SCALe 0.2")
            s.write(":TIMebase:SCALe 0.0002")
            assert s.query(":CHANnel1:SCALe?").strip() == "2.000000e-01"
            s.write(':FILE:LOAD "PYSET.dat",%s' % disk)
            loaded = wait_until(lambda: s.query(":CHANnel1:SCALe?").strip() == "1.000000e+00", interval=0.2)
            assert loaded, "not loaded from " + disk
            assert float(s.query(":TIMebase:SCALe?")) == 0.001, disk
        # A name that leaves its folder writes nothing.
        s.write(':FILE:SAVE "../../escape.dat",FLASH')
        assert s.query(":STORage:TYPE?").strip() == "WAVE"
        assert not os.path.exists(os.path.join(root, "escape.dat"))
    finally:
        s.close()


def csv_with_pandas(rm, root):
    s = open_instr(rm)
    try:
        s.write(":CHANnel1:SCALe 0.5")
        s.write(":TIMebase:SCALe 0.0005")
        s.write(":ACQuire:MEMory:DEPTh 7K")

        def check(path):
            with open(path) as f:
                head = [next(f).strip() for _ in range(3)]
            assert head == ["Channel=CH1", "X=500.00us", "Y=500.00mV"], head
            table = pandas.read_csv(path, skiprows=3)
            assert list(table.columns) == ["CH1_s", "CH1_V"], table.columns
            assert len(table) == 7000, len(table)
            t, v = table["CH1_s"], table["CH1_V"]
            assert abs(t.iloc[0] + 3.5e-3) < 1e-6, t.iloc[0]
            assert abs((t.iloc[1] - t.iloc[0]) - 1e-6) < 1e-9
            err = (v - (2 * math.pi * 1000 * t).map(math.sin)).abs()
            assert (err < 0.06).mean() > 0.98, err.describe()

        saved(s, ':FILE:SAVE "PYWAVE.csv",CHANnel1,UDISK', os.path.join(root, "udisk", "KOLV", "Wave", "PYWAVE.csv"),
              check)
    finally:
        s.close()


def deep_csv_with_pandas(rm, root):
    s = open_instr(rm, 30000)
    try:
        # Each setting read back before the next (a command sent while two
        # are pending is dropped).
        for setting, reply in ((":CHANnel1:SCALe 0.5", "5.000000e-01"), (":TIMebase:SCALe 0.0005", "5.000000e-04"),
                               (":ACQuire:MEMory:DEPTh 70K", "70K")):
            s.write(setting)
            assert s.query(setting.split()[0] + "?").strip() == reply, setting

        def check(path):
            table = pandas.read_csv(path, skiprows=3)
            assert list(table.columns) == ["CH1_s", "CH1_V"], table.columns
            assert len(table) == 70000, len(table)
            t, v = table["CH1_s"], table["CH1_V"]
            # 70,000 points across the 7 ms screen, 100 ns apart, the trigger
            # (the sine rising through 0 V) in the middle.
            assert abs(t.iloc[0] + 3.5e-3) < 1e-9, t.iloc[0]
            assert (t.diff().dropna() - 1e-7).abs().max() < 1e-12
            err = (v - (2 * math.pi * 1000 * t).map(math.sin)).abs()
            assert (err < 0.06).mean() > 0.98, err.describe()

        saved(s, ':FILE:SAVE "PYDEEP.csv",CHANnel1,UDISK', os.path.join(root, "udisk", "KOLV", "Wave", "PYDEEP.csv"),
              check)
        s.write(":ACQuire:MEMory:DEPTh 7K")
        assert s.query(":ACQuire:MEMory:DEPTh?").strip() == "7K"
    finally:
        s.close()


def reference(rm, root):
    s = open_instr(rm)
    try:
        s.write(':FILE:SAVE "PYREF.wav",CHANnel1,FLASH')
        path = os.path.join(root, "Data", "Storage", "Wave", "PYREF.wav")
        assert wait_file(path)
        assert os.path.getsize(path) == 24499
        s.write(':FILE:LOAD "PYREF.wav",REFB,FLASH')
        s.write(":CHANnel7:SELect")
        assert s.query(":CHANnel7:SELect?").strip() == "1"
    finally:
        s.close()


def main():
    # The setups last: a setup load holds the main loop for several seconds
    # (the system block's waits) after its first settings already read back.
    return run_cases("storage-py-", SIGNAL,
                     (csv_with_pandas, deep_csv_with_pandas, reference, setup_round_trip),
                     call=lambda case, rm, root, inst: case(rm, root),
                     prepare=lambda root: os.makedirs(os.path.join(root, "udisk")))


if __name__ == "__main__":
    sys.exit(main())
