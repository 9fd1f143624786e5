#!/usr/bin/env python3
"""The trigger level survives a restart: over VXI-11 (pyvisa-py) CH1 is set to
1 V/div, the level to 0.5 V and the trace moved to position 100, with the
trigger coupling DC and then AC. The instrument is ended and started again on
the same root, so on the EEPROM it wrote: the level, the first level and the
position read as before. The EEPROM's words are checked against the layout
(tests/bench/eeprom_addresses.h): the position, and each level's code in the
origin its coupling gives, worked out here from the volts and the position.

Usage: python3 test_level_restart.py --build <builddir>
"""
import argparse
import math
import os
import re
import shutil
import sys
import tempfile

try:
    import pyvisa
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py")

from scope_support import Tally, wait_until, write_signals
from test_vxi11 import Instrument, open_instr

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
CENTRE = 127         # the position code of the screen centre
CODES_PER_DIV = 25   # level and position codes per division
VOLTS_DIV, LEVEL, POSITION = 1.0, 0.5, 100


def eeprom_layout():
    """The addresses the bench's header writes out from the EEPROM layout."""
    with open(os.path.join(SOURCE, "tests", "bench", "eeprom_addresses.h")) as f:
        return {name: int(v) for name, v in re.findall(r"\b(k\w+) = (\d+)", f.read())}


def word(image, address):
    """A 16-bit value as the EEPROM stores it: big-endian, signed."""
    return int.from_bytes(image[address:address + 2], "big", signed=True)


class Session:
    """The instrument started on `root`, one VXI-11 link to it."""

    def __init__(self, build, root):
        self.inst = Instrument(build, root, False)
        rpc.PMAP_PORT = self.inst.portmap
        self.rm = pyvisa.ResourceManager("@py")
        self.s = open_instr(self.rm)
        assert wait_until(lambda: self.ask("*OPC?") == "1"), "start-up never let the commands in"

    def ask(self, query):
        self.s.write(query)
        return self.s.read_raw().decode("latin-1").strip()

    def position(self):
        self.s.write("CHANnel1:POSition?")
        return int.from_bytes(self.s.read_raw()[:2], "little", signed=True)

    def set(self, line):
        self.s.write(line)
        assert wait_until(lambda: self.ask("*OPC?") == "1"), line

    def readings(self):
        return {"level": float(self.ask("TRIGger:LEVel?")), "first level": float(self.ask("TRIGger:LEVel:LOW?")),
                "position": self.position(), "coupling": self.ask("TRIGger:COUPling?")}

    def end(self):
        self.s.close()
        self.rm.close()
        rc = self.inst.stop()
        assert rc == 0, "scopeapp exit status %d" % rc


def level_kept_over_a_restart(build, coupling):
    tmp = tempfile.mkdtemp(prefix="level-restart-py-")
    try:
        restarted_on(build, os.path.join(tmp, "root"), coupling)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def restarted_on(build, root, coupling):
    write_signals(root, "ch1 sine freq=1000 amp=1\n")
    unit = VOLTS_DIV / CODES_PER_DIV
    step = math.floor(LEVEL / unit + 0.5)  # the nearest level code
    first = Session(build, root)
    try:
        for line in ("CHANnel1:SCALe %g" % VOLTS_DIV, "TRIGger:COUPling %s" % coupling, "TRIGger:LEVel %g" % LEVEL):
            first.set(line)
        set_at = float(first.ask("TRIGger:LEVel?"))
        assert abs(set_at - step * unit) < 1e-6, (set_at, step * unit)
        first.set("CHANnel1:POSition %d" % POSITION)
        before = first.readings()
        assert before["level"] == set_at, ("the position moved the level", set_at, before)
        assert before["position"] == POSITION and before["coupling"] == coupling, before
    finally:
        first.end()

    with open(os.path.join(root, "dev", "eeprom.bin"), "rb") as f:
        image = f.read()
    ee = eeprom_layout()
    assert word(image, ee["kCh1Position"]) == POSITION, word(image, ee["kCh1Position"])
    # DC-referenced codes count from the screen centre, AC-referenced ones
    # from the channel's zero line.
    origin = POSITION - CENTRE if coupling == "DC" else 0
    assert word(image, ee["kCh1SecondLevel"]) == step + origin, (word(image, ee["kCh1SecondLevel"]), step + origin)
    first_code = word(image, ee["kCh1FirstLevel"])
    assert abs((first_code - origin) * unit - before["first level"]) < 1e-6, (first_code, before)

    again = Session(build, root)
    try:
        after = again.readings()
    finally:
        again.end()
    assert after == before, "after the restart %r, before %r" % (after, before)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tally = Tally()
    for coupling in ("DC", "AC"):
        tally.run("level_kept_over_a_restart (%s)" % coupling, lambda: level_kept_over_a_restart(build, coupling))
    print("%d passed, %d failed, %d skipped" % (tally.passed, tally.failed, tally.skipped))
    return 1 if tally.failed else 0


if __name__ == "__main__":
    sys.exit(main())
