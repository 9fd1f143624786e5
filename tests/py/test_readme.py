#!/usr/bin/env python3
"""The README's commands, run as a newcomer runs them, against scopeapp from
the build tree: the start-up line with every served port, the pyvisa-py call
for an instrument whose portmapper is not on port 111, the screen and
screenshot commands, and a second instrument whose web port is taken. The
commands are taken from README.md itself, so a README that drifts fails here.

Usage: python3 test_readme.py --build <builddir>
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

try:
    from PIL import Image
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pil")

from scope_support import LineProcess, Tally, free_port, wait_until

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SERVING = re.compile(r"^scopeapp: serving VXI-11 portmapper (\S+):(\d+) \(tcp(?: and udp|; udp (\d+))\), core (\d+), abort (\d+); "
                     r"web control: commands (.*), pictures (.*)$")
VXI_LINE = re.compile(r"vxi11: \S+ portmapper tcp (\d+) udp (\d+), core (\d+), abort (\d+)")


def readme():
    with open(os.path.join(SOURCE, "README.md")) as f:
        return f.read()


def readme_block_with(text):
    """The indented code block of the README that holds `text`, unindented."""
    for block in re.findall(r"(?:\n    [^\n]*)+", readme()):
        if text in block:
            return "\n".join(line[4:] for line in block.strip("\n").split("\n"))
    raise AssertionError("README has no command block with %r" % text)


class Instrument(LineProcess):
    """scopeapp with its own root and ports, as the README starts several."""

    def __init__(self, build, root, env_ports):
        env = dict(os.environ, SCOPE_VXI11_PMAP_PORT="0", **env_ports)
        super().__init__([os.path.join(build, "scopeapp"), "--root", root], stderr=subprocess.STDOUT,
                         env=env, errors="replace")
        self.seen = []
        line = self.wait_line(self._keep(SERVING.match), 120)
        if not line:
            raise RuntimeError("no 'scopeapp: serving' line; last lines: %r" % self.seen[-5:])
        self.serving = SERVING.match(line)

    def _keep(self, match):
        def check(line):
            self.seen.append(line)
            return match(line)
        return check

    def stop(self):
        self.proc.terminate()
        return self.wait_exit(20)


def the_ports_line_names_every_port(inst, other):
    """The one line agrees with the VXI-11 server's own line and the web ports asked for."""
    vxi = [VXI_LINE.search(line) for line in inst.seen if VXI_LINE.search(line)]
    assert vxi, "no vxi11 line"
    pmap, udp, core, abort = map(int, vxi[0].groups())
    s = inst.serving
    assert (int(s.group(2)), int(s.group(3) or s.group(2)), int(s.group(4)), int(s.group(5))) == \
        (pmap, udp, core, abort), s.group(0)
    assert s.group(6) == "ws://127.0.0.1:%d" % inst.ctrl and s.group(7) == "ws://127.0.0.1:%d" % inst.pic, s.group(0)


def pyvisa_with_the_portmapper_port(inst, other):
    """The README's pyvisa-py call for a portmapper off port 111, with the printed port."""
    code = readme_block_with("rpc.PMAP_PORT = 40111").replace("40111", inst.serving.group(2))
    assert code.startswith('python3 -c "') and code.endswith('"'), code
    out = subprocess.run(["/usr/bin/python3", "-c", code[len('python3 -c "'):-1]], capture_output=True,
                         text=True, timeout=60)
    assert out.returncode == 0, out.stderr
    fields = out.stdout.strip().split(",")
    assert len(fields) == 4 and fields[2] == open(os.path.join(inst.root, "SN.txt")).read().split()[-1], out.stdout


def shell(command, inst):
    """A README command run in the folder that holds the root, the build as ./build."""
    subprocess.run(["sh", "-c", command.replace("./build/", inst.build + "/")], cwd=inst.cwd, check=True,
                   timeout=60)


def screen_to_png(inst, other):
    line = [l for l in readme_block_with("scope-screen-png").split("\n") if "scope-screen-png" in l][0]
    shell(line, inst)
    with Image.open(os.path.join(inst.cwd, "screen.png")) as png:
        assert png.size == (800, 480), png.size
        assert len(png.getcolors(800 * 480)) > 4  # a drawn screen, not a blank one


def screenshot_key(inst, other):
    """Plug the disk in, then press the key: until the instrument has seen the
    disk a press is refused, so the key is pressed again until the file comes."""
    plug, press = readme_block_with("printf '\\067' > root/dev/keys").split("\n")
    shell(plug, inst)
    bmp = os.path.join(inst.root, "udisk", "QelPrtSc", "QelPrtsc-001.bmp")

    def written():
        return os.path.exists(bmp) and os.path.getsize(bmp) >= 800 * 480 * 3

    end = time.monotonic() + 60
    while not written() and time.monotonic() < end:
        shell(press, inst)
        wait_until(written, 3)  # none: refused, the disk was not seen yet
    assert written(), "no screenshot file within 60 s"
    with Image.open(bmp) as picture:
        assert picture.size == (800, 480) and picture.mode == "RGB", (picture.size, picture.mode)


def a_taken_web_port_is_named(inst, other):
    """A second instrument asked for the first's command port says which port and
    runs on without web control; its VXI-11 server is its own."""
    message = readme_block_with("cannot listen on").replace("9001", str(inst.ctrl))
    assert any(line == message for line in other.seen), (message, other.seen[-20:])
    assert other.serving.group(6) == "off (port %d not available)" % inst.ctrl, other.serving.group(0)
    assert other.serving.group(4) != inst.serving.group(4)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="readme-py-")
    ctrl, pic = free_port(), free_port()
    inst = Instrument(build, os.path.join(tmp, "root"),
                      {"SCOPE_WS_CMD_PORT": str(ctrl), "SCOPE_WS_PIC_PORT": str(pic)})
    inst.build, inst.cwd, inst.root, inst.ctrl, inst.pic = build, tmp, os.path.join(tmp, "root"), ctrl, pic
    other = Instrument(build, os.path.join(tmp, "root2"),
                       {"SCOPE_WS_CMD_PORT": str(ctrl), "SCOPE_WS_PIC_PORT": "0"})
    tally = Tally()
    for case in (the_ports_line_names_every_port, pyvisa_with_the_portmapper_port, screen_to_png, screenshot_key,
                 a_taken_web_port_is_named):
        tally.run(case.__name__, lambda: case(inst, other))
    if other.stop() != 0:
        tally.fail("the second scopeapp's exit status")
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
