#!/usr/bin/env python3
"""Readings a remote script takes right after it changed something, over
VXI-11 with pyvisa and the pyvisa-py backend, against values worked out
with numpy from the signals applied to the simulated board.

- A measurement asked for right after a setting, and after STOP, answers
  from a record acquired with that setting: each query is asked once, never
  again until it agrees.
- AC RMS is the RMS about the mean; a clean pulse has no overshoot nor
  preshoot.
- The expression math trace follows FUNCtion:EXPRession whichever page is
  shown; CHANnel5:SCALe? is the math trace's; the FFT refuses waterfall
  views with more than 64K points as the panel does.
- SBUS:DATA? never answers a decode made under other lines, sources or bus
  type than those in force, and has nothing once the traffic is gone; the
  decode lane and its list give way to the spectrum however it came on.

Usage: python3 test_readings.py --build <builddir>
"""
import sys

try:
    import numpy as np
    import pyvisa
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py and python3-numpy")

from scope_support import wait_until, write_signals
from test_vxi11 import open_instr, run_cases

CODE = 1 / 25  # one sample code at 1 V/div, in divisions


def value(session, query):
    reply = session.query(query).strip()
    assert reply != "*", "%s gave no value" % query
    return float(reply)


def sine(amp, offset, points=100000):
    """One period of the applied sine, finely sampled."""
    return offset + amp * np.sin(np.linspace(0, 2 * np.pi, points, endpoint=False))


def fresh_after_change_and_stop(rm, root):
    # A 10 kHz sine from -1 V to 2 V; the maximum at each V/div is 2 V within
    # one code of that V/div.
    write_signals(root, "ch1 sine freq=10000 amp=1.5 offset=0.5\n")
    vmax = float(np.max(sine(1.5, 0.5)))
    s = open_instr(rm)
    try:
        s.write(":TIMebase:SCALe 5e-5")
        s.write(":STOP")
        got = value(s, ":MEASure:VMAX? CHANnel1")
        assert abs(got - vmax) <= CODE + 1e-6, got  # at the 1 V/div it starts with
        for volts in (0.5, 1, 0.5, 1):
            s.write(":RUN")
            s.write(":CHANnel1:SCALe %g" % volts)
            s.write(":STOP")
            got = value(s, ":MEASure:VMAX? CHANnel1")
            assert abs(got - vmax) <= volts * CODE + 1e-6, (volts, got)
        # Running: the first answer after the change already follows it.
        s.write(":RUN")
        for volts in (0.5, 1):
            s.write(":CHANnel1:SCALe %g" % volts)
            got = value(s, ":MEASure:VMAX? CHANnel1")
            assert abs(got - vmax) <= volts * CODE + 1e-6, (volts, got)
    finally:
        s.close()


def pulse_levels(rm, root):
    # A 30 % pulse from -1.5 V to 0.5 V, seven periods on the screen.
    write_signals(root, "ch1 pulse freq=10000 amp=1 offset=-0.5 duty=0.3\n")
    t = np.arange(100000) / 100000
    wave = np.where(t < 0.3, 0.5, -1.5)
    ac_rms = float(np.sqrt(np.mean((wave - wave.mean()) ** 2)))  # 0.917 V
    s = open_instr(rm)
    try:
        s.write(":RUN")
        s.write(":TIMebase:SCALe 5e-5")
        s.write(":CHANnel1:SCALe 0.5")
        # A screen column holds its highest sample: an edge's column counts
        # high, a point (1 %) of duty at most.
        edge = float(np.sqrt(0.31 * 0.69) * 2 - np.sqrt(0.3 * 0.7) * 2)
        got = value(s, ":MEASure:ACRMs? CHANnel1")
        assert abs(got - ac_rms) <= edge + 0.02, (got, ac_rms)
        assert value(s, ":MEASure:OVERshoot? CHANnel1") == 0
        assert value(s, ":MEASure:PREShoot? CHANnel1") == 0
        s.write(":STOP")
        got = value(s, ":MEASure:ACRMs? CHANnel1")
        assert abs(got - ac_rms) <= edge + 0.02, (got, ac_rms)
        s.write(":RUN")
    finally:
        s.close()


I2C_SENT = [0x50, 0xA5, 0x01, 0x23, 0x42]  # 50w:a5.01 then 23r:42


def decode_rows(s):
    """The rows of SBUS:DATA?, or None when it answers nothing (no rows)."""
    s.write("SBUS:DATA?")
    try:
        raw = s.read_raw()
    except pyvisa.errors.VisaIOError:
        return None
    assert raw[:1] == b"#", raw[:20]
    digits = int(raw[1:2])
    return raw[2 + digits:2 + digits + int(raw[2:2 + digits])].decode().splitlines()


def i2c_bytes(rows):
    return [int(line.split(",")[1].split(":")[-1], 16) for line in rows[2:]] if rows else None


def decode_follows_settings(rm, root):
    write_signals(root, "bus i2c rate=100000 interval=0.02 data=50w:a5.01,23r:42\n")
    s = open_instr(rm)
    s.timeout = 5000  # SBUS:DATA? without rows answers nothing
    try:
        for line in ("RUN", "TIMebase:SCALe 5e-4", "CHANnel1:SCALe 1", "CHANnel2:SCALe 1", "CHANnel2:DISPlay ON",
                     "SBUS:MODE I2C", "SBUS:I2C:CLOCk:SOURce CHANnel1", "SBUS:I2C:DATA:SOURce CHANnel2",
                     "SBUS:BASE HEX", "SBUS:TRIGger:SWEep NORMal"):
            s.write(line)
        good = wait_until(lambda: (lambda r: r if i2c_bytes(r) == I2C_SENT else None)(decode_rows(s)))
        assert good, "the I2C traffic never decoded"
        # The lines swapped: the first answer is not the decode of the lines before.
        s.write("SBUS:I2C:CLOCk:SOURce CHANnel2")
        s.write("SBUS:I2C:DATA:SOURce CHANnel1")
        assert decode_rows(s) != good
        s.write("SBUS:I2C:CLOCk:SOURce CHANnel1")
        s.write("SBUS:I2C:DATA:SOURce CHANnel2")
        assert wait_until(lambda: i2c_bytes(decode_rows(s)) == I2C_SENT)
        # Another bus type: no I2C rows under its heading.
        s.write("SBUS:MODE SPI")
        rows = decode_rows(s)
        assert rows is None or not rows[0].startswith("I2C") and i2c_bytes(rows) != I2C_SENT, rows
        s.write("SBUS:MODE I2C")
        assert wait_until(lambda: i2c_bytes(decode_rows(s)) == I2C_SENT)
        # The spectrum shown: the lane and its list give way, and stay off.
        s.write("SBUS:DISPlay ON")
        s.write("SBUS:EVENt ON")
        assert s.query("SBUS:DISPlay?").strip() == "1"
        s.write("FUNCtion:MATH:MODE FFT")
        if s.query("KEY:MATH:LED?").strip() != "1":
            s.write("KEY:MATH")
        assert wait_until(lambda: s.query("KEY:MATH:LED?").strip() == "1")
        assert wait_until(lambda: s.query("SBUS:DISPlay?").strip() == "0" and s.query("SBUS:EVENt?").strip() == "0")
        s.write("SBUS:DISPlay ON")
        s.write("SBUS:EVENt ON")
        assert s.query("SBUS:DISPlay?").strip() == "0" and s.query("SBUS:EVENt?").strip() == "0"
        s.write("FUNCtion:MATH:MODE MATH")  # no spectrum: the lane may come back
        s.write("SBUS:DISPlay ON")
        assert s.query("SBUS:DISPlay?").strip() == "1"
        # Both lines at 0 V: once a record without traffic is decoded, nothing.
        s.write("SBUS:TRIGger:SWEep AUTO")
        write_signals(root, "ch1 dc offset=0\nch2 dc offset=0\n")
        assert wait_until(lambda: decode_rows(s) is None)
    finally:
        s.close()


def math_follows_its_settings(rm, root):
    # CH1 a 1 V sine, CH2 0.5 V DC: CH1-CH2 peaks at 0.5 V, Exp(CH2) is e^0.5.
    write_signals(root, "ch1 sine freq=10000 amp=1\nch2 dc offset=0.5\n")
    s = open_instr(rm)
    try:
        for line in ("RUN", "TIMebase:SCALe 5e-5", "CHANnel1:SCALe 1", "CHANnel2:SCALe 1", "CHANnel2:DISPlay ON",
                     "FUNCtion:MATH:MODE ADVance"):
            s.write(line)
        if s.query("KEY:MATH:LED?").strip() != "1":
            s.write("KEY:MATH")
        assert wait_until(lambda: s.query("KEY:MATH:LED?").strip() == "1")
        # The FFT: waterfall with more than 64K points refused either way round.
        s.write("FUNCtion:MATH:MODE FFT")
        s.write("FUNCtion:FFT:POINts 8K")
        s.write("FUNCtion:FFT:DISPlay WATerfall1")
        assert s.query("FUNCtion:FFT:DISPlay?").strip() == "WATerfall1"
        s.write("FUNCtion:FFT:POINts 128K")
        assert s.query("FUNCtion:FFT:POINts?").strip() == "8K"
        s.write("FUNCtion:FFT:DISPlay FULL")
        s.write("FUNCtion:FFT:POINts 128K")
        assert s.query("FUNCtion:FFT:POINts?").strip() == "128K"
        s.write("FUNCtion:FFT:DISPlay WATerfall2")
        assert s.query("FUNCtion:FFT:DISPlay?").strip() == "FULL"
        s.write("FUNCtion:FFT:POINts 8K")
        s.write("FUNCtion:MATH:MODE ADVance")
        s.write("CHANnel5:SCALe 2")
        assert float(s.query("CHANnel5:SCALe?")) == 2
        s.write("CHANnel5:SCALe 1")
        ch1 = np.sin(np.linspace(0, 2 * np.pi, 100000, endpoint=False))
        expected = {"CH1-CH2": float(np.max(ch1 - 0.5)), "Exp(CH2)": float(np.exp(0.5)),
                    "CH1+CH2": float(np.max(ch1 + 0.5))}
        for round_ in range(2):
            for text, vmax in expected.items():
                s.write("KEY:MEASure")  # another module's page in front
                s.write("FUNCtion:EXPRession %s" % text)
                assert s.query("FUNCtion:EXPRession?").strip() == text
                # The trace follows within a pass or two; its maximum then
                # stays within two codes of numpy's.
                assert wait_until(lambda: abs(value(s, "MEASure:VMAX? MATH") - vmax) <= 2 * CODE), (round_, text)
        s.write("FUNCtion:MATH:MODE MATH")
    finally:
        s.close()


def main():
    return run_cases("readings-py-", "ch1 sine freq=10000 amp=1.5 offset=0.5\n",
                     (fresh_after_change_and_stop, pulse_levels, math_follows_its_settings, decode_follows_settings),
                     call=lambda case, rm, root, inst: case(rm, root))

if __name__ == "__main__":
    sys.exit(main())
