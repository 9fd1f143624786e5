#!/usr/bin/env python3
"""A command accepted during start-up is kept: scopeapp is started and, once
its ADC phase detection runs (it measures at a time base of its own and then
puts the settings back), pyvisa-py sends a time base over VXI-11. After
start-up the instrument answers with that time base, not the one start-up
put back. From its first line on the instrument ignores SIGPIPE.

Usage: python3 test_startup_commands.py --build <builddir>
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

try:
    import pyvisa
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py")

from scope_support import LineProcess, Tally, write_signals
from test_vxi11 import open_instr

PORTS = re.compile(r"vxi11: \S+ portmapper tcp (\d+) udp (\d+), core (\d+), abort (\d+)")


class Starting(LineProcess):
    """scopeapp from its first line on, with a portmapper of its own."""

    def __init__(self, build, root):
        super().__init__([os.path.join(build, "scopeapp"), "--root", root], stderr=subprocess.STDOUT,
                         env=dict(os.environ, SCOPE_VXI11_PMAP_PORT="0"), errors="replace")

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        return self.wait_exit(20)


def sigpipe_ignored(pid):
    """The kernel's record of the signals process `pid` ignores."""
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("SigIgn:"):
                return int(line.split()[1], 16) >> (signal.SIGPIPE - 1) & 1 == 1
    return False


def time_base_sent_during_phase_detection(build, root):
    inst = Starting(build, root)
    try:
        line = inst.wait_line(PORTS.search, 90)
        assert line, "no VXI-11 server"
        # Its servers write to peers that may have gone: SIGPIPE is ignored
        # from the start (Popen restores the default for the child).
        assert sigpipe_ignored(inst.proc.pid), "SIGPIPE is not ignored"
        rpc.PMAP_PORT = int(PORTS.search(line).group(1))
        assert inst.wait_line(lambda text: text.startswith("PhaseDetection Cnt"), 60), "no phase detection"
        rm = pyvisa.ResourceManager("@py")
        s = open_instr(rm, 30000)
        try:
            s.write(":TIMebase:SCALe 1e-3")
            # The line is in the queue even when it came before the write ended.
            assert inst.wait_line(lambda text: text.startswith("PhaseDetection settings restored"), 60), \
                "start-up did not end"
            assert float(s.query(":TIMebase:SCALe?")) == 1e-3, s.query(":TIMebase:SCALe?")
        finally:
            s.close()
            rm.close()
    finally:
        rc = inst.stop()
    assert rc == 0, "exit status %d" % rc


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="startup-py-")
    root = os.path.join(tmp, "root")
    write_signals(root, "ch1 sine freq=1000 amp=1\n")
    tally = Tally()
    tally.run("time_base_sent_during_phase_detection", lambda: time_base_sent_during_phase_detection(build, root))
    shutil.rmtree(tmp, ignore_errors=True)
    print("%d passed, %d failed, %d skipped" % (tally.passed, tally.failed, tally.skipped))
    return 1 if tally.failed else 0


if __name__ == "__main__":
    sys.exit(main())
