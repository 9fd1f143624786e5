#!/usr/bin/env python3
"""Readings a remote script takes right after it changed something, over
VXI-11 with pyvisa and the pyvisa-py backend, against values worked out
with numpy from the signals applied to the simulated board.

- A measurement asked for right after a setting, and after STOP, answers
  from a record acquired with that setting: each query is asked once, never
  again until it agrees.
- AC RMS is the RMS about the mean; a clean pulse has no overshoot nor
  preshoot.

Usage: python3 test_readings.py --build <builddir>
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

from scope_support import Tally, write_signals
from test_vxi11 import Instrument, open_instr

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


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="readings-py-")
    root = os.path.join(tmp, "root")
    write_signals(root, "ch1 sine freq=10000 amp=1.5 offset=0.5\n")
    inst = Instrument(build, root, False)
    rpc.PMAP_PORT = inst.portmap
    rm = pyvisa.ResourceManager("@py")
    tally = Tally()
    for case in (fresh_after_change_and_stop, pulse_levels):
        tally.run(case.__name__, lambda: case(rm, root))
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
