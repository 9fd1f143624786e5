#!/usr/bin/env python3
"""The default setup puts every setting back: over VXI-11 (pyvisa-py) every
setting the programming reference (docs/scpi-commands.md) gives with a query
and a setup holds (and the knob's selections a setup does not hold) is set
away from its default, then `*RST` is sent and
`*OPC?` waited for: each query answers as on the fresh instrument, whose
answers are the reference's defaults (test_scpi_reference.py checks those).
The same again with `KEY:DEFault`, the DEFAULT key's default setup.

Usage: python3 test_reset_defaults.py --build <builddir>
"""
import sys

from test_setup_recall import SIGNAL, Link, entries, set_everything
from test_vxi11 import run_cases

MOVED_AT_LEAST = 180  # settings a value moves away from the default


def back_to_defaults(rm):
    link = Link(rm)
    try:
        headers = [h for h, _ in entries(in_a_setup=False)]
        fresh = link.snapshot(headers)
        for reset in ("*RST", "KEY:DEFault"):
            moved, _ = set_everything(link, in_a_setup=False)
            assert len(moved) >= MOVED_AT_LEAST, f"only {len(moved)} settings moved"
            link.set(reset)
            got = link.snapshot(headers)
            kept = [f"{h}: {got[h]!r}, default {fresh[h]!r}" for h in moved if got[h] != fresh[h]]
            assert not kept, f"{reset} left {len(kept)} of {len(moved)} settings: {kept}"
            assert link.drain_errors() == [], reset
    finally:
        link.close()


if __name__ == "__main__":
    sys.exit(run_cases("reset-defaults-py-", SIGNAL, [back_to_defaults]))
