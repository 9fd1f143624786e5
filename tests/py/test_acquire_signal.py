#!/usr/bin/env python3
"""Acquisition modes and measurements against the
signal applied, as a user's script sees them: pyvisa with the pyvisa-py
backend over VXI-11, and numpy computing what the instrument should show from
the signal's own formula (a seeded simulated board, so the noise is the
board's; the checks hold for any noise of that amplitude).

Usage: python3 test_acquire_signal.py --build <builddir>
"""
import argparse
import os
import sys
import tempfile

try:
    import numpy as np
    import pyvisa
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py and python3-numpy")

from scope_support import Tally, wait_until, write_signals
from test_vxi11 import Instrument, open_instr

SIGNALS = "ch1 sine freq=1000 amp=1 noise=0.3\nch2 dc offset=0 noise=0.3\n"


def signals(root, text):
    with open(os.path.join(root, "dev", "signals"), "w") as f:
        f.write(text)


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


def noisy_measurements(inst, rm, root):
    """A noisy 0 V line measures a mean of 0 V, a noisy sine its frequency."""
    s = open_instr(rm)
    try:
        for line in (":CHANnel2:DISPlay ON", ":CHANnel2:COUPling DC", ":CHANnel2:PROBe 1X", ":CHANnel2:SCALe 0.5",
                     ":CHANnel2:OFFSet 0", ":ACQuire:TYPE NORMal"):
            s.write(line)
        # Uniform noise of +-0.3 V: the mean of 7000 samples is 0 within
        # 0.3 / sqrt(3 x 7000) x 6; the column maxima would read +0.25 V.
        mean = settle(s, ":MEASure:VAVerage? CHANnel2", lambda v: abs(v) <= 0.02)
        assert mean is not None and abs(mean) <= 0.02, mean
        freq = settle(s, ":MEASure:FREQuency? CHANnel1", lambda v: abs(v - 1000) <= 10)
        assert freq is not None and abs(freq - 1000) <= 10, freq
    finally:
        s.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="acquire-signal-py-")
    root = os.path.join(tmp, "root")
    write_signals(root, SIGNALS)
    inst = Instrument(build, root, False)
    rpc.PMAP_PORT = inst.portmap  # port 111 is left to the VXI-11 test beside this one
    rm = pyvisa.ResourceManager("@py")
    tally = Tally()
    for case in (averaging, noisy_measurements):
        tally.run(case.__name__, lambda: case(inst, rm, root))
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
