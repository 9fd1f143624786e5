#!/usr/bin/env python3
"""A pass/fail test run remotely over VXI-11 with pyvisa and the pyvisa-py
backend: the mask built from a clean sine on CH1, the test run on it (only
passes), then a larger sine written to the simulated board's signal file
(fails counted), the counts read with PF:RESult? and checked against the
state queries.

Usage: python3 test_passfail_vxi11.py --build <builddir>
"""
import argparse
import math
import os
import sys
import tempfile
import time

try:
    import pyvisa
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py")

from scope_support import Tally, wait_until
from test_vxi11 import Instrument, open_instr


def set_signal(root, line):
    with open(os.path.join(root, "dev", "signals"), "w") as f:
        f.write(line + "\n")


def result(s):
    passes, fails, total = (int(v) for v in s.query("PF:RESult?").strip().split(","))
    assert total == passes + fails, (passes, fails, total)
    return passes, fails


def wait_for(check):
    return wait_until(check, interval=0.2)


def near(s, query, expected, tolerance):
    return abs(float(s.query(query)) - expected) <= tolerance


def pass_fail_run(inst, rm, root):
    s = open_instr(rm)
    try:
        s.write("TIMebase:SCALe 5e-4")  # two periods of the 1 kHz sine across the screen
        s.write("CHANnel1:SCALe 0.5")
        # The template is built from the next record once asked for (the
        # template items ask too): records at the new scales come first. At
        # 500 mV/div the sine is 2 V peak to peak; over 14 divisions of 500 us
        # the area of |sine| is 14 x 500 us x 2/pi of its 1 V peak.
        assert wait_for(lambda: near(s, ":MEASure:VPP? CHANnel1", 2.0, 0.06))
        area = 14 * 5e-4 * 2 / math.pi
        assert wait_for(lambda: near(s, ":MEASure:AREa? DISPlay,CHANnel1", area, 0.05 * area))
        s.write("PF:TEMPlate:SOURce CHANnel1")
        s.write("PF:SOURCe CHANnel1")
        s.write("PF:TEMPlate:X 5")
        s.write("PF:TEMPlate:Y 5")
        s.write("PF:STOP:THReshold 30000")
        assert s.query("PF:STOP:THReshold?").strip() == "30000"
        s.write("PF:ENABle ON")
        assert s.query("PF:ENABle?").strip() == "1"
        s.write("PF:OPERate RUN")
        assert s.query("PF:OPERate?").strip() == "RUN"
        assert wait_for(lambda: result(s)[0] > 0), result(s)
        passes, fails = result(s)
        assert fails == 0, (passes, fails)

        set_signal(root, "ch1 sine freq=1000 amp=1.6")
        assert wait_for(lambda: result(s)[1] > 0), result(s)
        s.write("PF:OPERate STOP")
        assert s.query("PF:OPERate?").strip() == "STOP"
        stopped = result(s)
        time.sleep(0.5)
        assert result(s) == stopped  # nothing counted once stopped
    finally:
        s.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="passfail-py-")
    root = os.path.join(tmp, "root")
    os.makedirs(os.path.join(root, "dev"), exist_ok=True)
    set_signal(root, "ch1 sine freq=1000 amp=1")
    inst = Instrument(build, root, False)
    if inst.portmap != 111:
        rpc.PMAP_PORT = inst.portmap
    rm = pyvisa.ResourceManager("@py")
    tally = Tally()
    tally.run("pass_fail_run", lambda: pass_fail_run(inst, rm, root))
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
