#!/usr/bin/env python3
"""The README's commands, run as a newcomer runs them, against scopeapp from
the build tree: the start-up line with every served port and its documented
forms, the pyvisa-py call for an instrument whose portmapper is not on port
111, the front-panel key example, the headless web page command, the SPI
traffic example, the screen
and screenshot commands, a second instrument whose web port is taken, the
start-up lines a fresh root prints, and what makes a second start quick (one package query, a build that compiles
nothing, a build folder configured for Ninja once). The commands are taken
from README.md itself, so a README that drifts fails here.

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
    import pyvisa
    from PIL import Image
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pil and python3-pyvisa-py")

from scope_support import WAIT_LIMIT, LineProcess, Tally, free_port, wait_until

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SERVING = re.compile(r"^scopeapp: serving VXI-11 portmapper (\S+):(\d+) \(tcp(?: and udp|; udp (\d+))\), core (\d+), abort (\d+); "
                     r"web control: commands (.*), pictures (.*)$")
VXI_LINE = re.compile(r"vxi11: \S+ portmapper tcp (\d+) udp (\d+), core (\d+), abort (\d+)")


def readme():
    with open(os.path.join(SOURCE, "README.md")) as f:
        return f.read()


def readme_forms(part):
    """The documented forms of one part of the ports line, as patterns: the
    code spans of its row in the README's table, placeholders any text."""
    row = re.search(r"^\| %s \| (.*) \|$" % part, readme(), re.M)
    assert row, "README has no row for the ports line's %s" % part
    return [re.compile("^" + re.sub(r"<[^>]*>", lambda m: r"\S+", re.escape(form)) + "$")
            for form in re.findall(r"`([^`]+)`", row.group(1)) if "<" in form]


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


def the_ports_line_has_a_documented_form(inst, other):
    """Each part of both instruments' ports lines has one of the forms the
    README's table gives, so a parser written from it reads them."""
    for line in (inst.serving.group(0), other.serving.group(0)):
        vxi, web = line[len("scopeapp: serving VXI-11 "):].split("; web control: ")
        pmap, channels = vxi.split(", core ")
        servers = re.match(r"^commands (.*), pictures (.*)$", web)
        assert servers, web
        for part, text in (("portmapper", pmap), ("channels", "core " + channels),
                           ("web control", servers.group(1)), ("web control", servers.group(2))):
            assert any(f.match(text) for f in readme_forms(part)), (part, text)
    # Port 0 gives the portmapper's TCP and UDP ports apart: the form with both.
    assert inst.serving.group(3), inst.serving.group(0)


def pyvisa_with_the_portmapper_port(inst, other):
    """The README's pyvisa-py call for a portmapper off port 111, with the printed port."""
    code = readme_block_with("rpc.PMAP_PORT = 40111").replace("40111", inst.serving.group(2))
    assert code.startswith('/usr/bin/python3 -c "') and code.endswith('"'), code
    out = subprocess.run(["/usr/bin/python3", "-c", code[len('/usr/bin/python3 -c "'):-1]], capture_output=True,
                         text=True, timeout=60)
    assert out.returncode == 0, out.stderr
    fields = out.stdout.strip().split(",")
    assert len(fields) == 4 and fields[2] == open(os.path.join(inst.root, "SN.txt")).read().split()[-1], out.stdout


def shell(command, inst):
    """A README command run in the folder that holds the root, the build as ./build."""
    subprocess.run(["sh", "-c", command.replace("./build/", inst.build + "/")], cwd=inst.cwd, check=True,
                   timeout=60)


def visa(inst):
    from pyvisa_py.protocols import rpc

    rpc.PMAP_PORT = int(inst.serving.group(2))
    link = pyvisa.ResourceManager("@py").open_resource("TCPIP::127.0.0.1::INSTR")
    link.timeout = int(WAIT_LIMIT * 1000)
    return link


def front_panel_key_example(inst, other):
    """The README's key sequence from the start-up screen does what it says:
    the query it names answers the value it names; CH1 stays on."""
    block = readme_block_with("> root/dev/keys    # CH2")
    query, answer = re.search(r"`([A-Za-z0-9:]+\?)` then answers `([^`]+)`", readme()).groups()
    link = visa(inst)
    try:
        assert link.query(query).strip() != answer
        for line in block.split("\n"):
            shell(line, inst)
        assert wait_until(lambda: link.query(query).strip() == answer), link.query(query)
        assert link.query("CHANnel1:DISPlay?").strip() == "1"
        assert link.query("CHANnel2:DISPlay?").strip() == "1"
    finally:
        link.close()


def fresh_root_start_up_lines(inst, other):
    """A fresh root prints no damaged-setting line but the one the README
    names as expected there."""
    expected = re.search(r"`(Utility Language: stored 255 lies outside its\s+range; 0 taken)`", readme())
    assert expected, "README does not name the fresh root's language line"
    allowed = " ".join(expected.group(1).split())
    damaged = [line for line in inst.seen + other.seen if "lies outside its range" in line and line != allowed]
    assert not damaged, damaged


def headless_web_page_command(inst, other):
    """The README's headless Chromium command (the one that works as root
    without a display) writes the page it shows."""
    if not os.path.exists("/usr/bin/chromium"):
        return "chromium is not installed"
    command = " ".join(re.search(r"`(chromium --headless[^`]*)`", readme()).group(1).split())
    picture = os.path.join(inst.cwd, "web-page.png")
    command = command.replace("--screenshot=page.png", "--screenshot=" + picture)
    profile = os.path.join(inst.cwd, "chromium-profile")
    subprocess.run(command.split() + ["--user-data-dir=" + profile], cwd=SOURCE, capture_output=True, timeout=120,
                   check=True)
    with Image.open(picture) as png:
        assert png.size[0] > 100 and len(png.getcolors(png.size[0] * png.size[1])) > 2


def spi_example(inst, other):
    """The README's SPI traffic with the commands it gives decodes to the
    words it sent (on the second instrument, whose settings no other case
    changed)."""
    signals = readme_block_with("bus spi ")
    words = re.search(r"data=([0-9a-f,]+)", signals).group(1).upper().split(",")
    commands = readme_block_with("SBUS:SPI:TRIGger:TIMeout").split("\n")
    shell(signals.replace("> root/", "> root2/"), inst)  # the second instrument's root, beside the first
    link = visa(other)
    try:
        for command in commands:
            link.write(command)
        link.timeout = 5000

        def decoded():
            # Until a record holds decoded words SBUS:DATA? gives no answer: ask again.
            link.write("SBUS:DATA?")
            try:
                text = link.read_raw().decode()
            except pyvisa.errors.VisaIOError:
                return None
            lines = text[2 + int(text[1]):].split("\n")
            rows = [line.split(",") for line in lines[2:] if line.strip()]
            return lines[:2] == ["SPI", "TIME,DATA,CHECK"] and [r[1] for r in rows] == words and \
                all(r[2] == "1" for r in rows)

        assert wait_until(decoded), "no decode of %s" % words
    finally:
        link.close()


def bus_examples(inst, other):
    """The README's UART, CAN and I2C traffic, each with the commands it gives, decodes to
    what it sent: the bytes, the identifiers with their data, the address and data (on a
    fresh instrument, whose settings no other case changed)."""
    with tempfile.TemporaryDirectory(prefix="readme-bus-") as tmp:
        fresh = Instrument(inst.build, os.path.join(tmp, "root"), {"SCOPE_WS_CMD_PORT": "0", "SCOPE_WS_PIC_PORT": "0"})
        try:
            for kind, command in (("uart", "SBUS:RS232:POLarity"), ("can", "SBUS:CAN:SIGNal:BAUDrate"),
                                  ("i2c", "SBUS:I2C:DATA:SOURce")):
                signals = readme_block_with("bus %s " % kind)
                items = re.search(r"data=([0-9a-fwrx,.:]+)", signals).group(1)
                # Identifiers, addresses and bytes as the decode prints them: flags (w, r, x) and
                # leading zeros off.
                sent = [re.sub(r"[WRX]+$", "", v).lstrip("0") or "0" for v in re.split(r"[,.:]", items.upper())]
                os.makedirs(os.path.join(tmp, "root", "dev"), exist_ok=True)
                with open(os.path.join(tmp, "root", "dev", "signals"), "w") as f:
                    f.write(re.search(r"printf '(.*)\\n'", signals).group(1) + "\n")
                link = visa(fresh)
                try:
                    for line in readme_block_with(command).split("\n"):
                        link.write(line)
                    link.timeout = 5000

                    def decoded():
                        link.write("SBUS:DATA?")
                        try:
                            text = link.read_raw().decode()
                        except pyvisa.errors.VisaIOError:
                            return None
                        rows = [line.split(",") for line in text[2 + int(text[1]):].split("\n")[2:] if "," in line]
                        got = [r[1].lstrip("0") or "0" for r in rows]
                        return all(v in got for v in sent)

                    assert wait_until(decoded), "%s: no decode of %s" % (kind, sent)
                finally:
                    link.close()
        finally:
            fresh.stop()


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


SHIM = """#!/bin/sh
printf '%%s\\n' "$0 $*" >> "%(log)s"
case "$(basename "$0")" in
  dpkg-query)
    for a in "$@"; do
      case "$a" in
        -*|*'${'*) ;;
        %(missing)s) echo "un $a" ;;
        *) echo "ii $a" ;;
      esac
    done ;;
  sudo) exec "$@" ;;
esac
exit 0
"""


def shims(folder, missing="no-such-package"):
    """dpkg-query (every package installed but `missing`), apt-get and sudo
    that write their calls into folder/calls; the PATH that finds them first."""
    os.makedirs(folder, exist_ok=True)
    for name in ("dpkg-query", "apt-get", "sudo"):
        path = os.path.join(folder, name)
        with open(path, "w") as f:
            f.write(SHIM % {"log": os.path.join(folder, "calls"), "missing": missing})
        os.chmod(path, 0o755)
    return folder + os.pathsep + os.environ["PATH"]


def calls(folder, program):
    try:
        with open(os.path.join(folder, "calls")) as f:
            return [line.split(" ", 1)[1].strip() for line in f if os.path.basename(line.split()[0]) == program]
    except FileNotFoundError:
        return []


def second_start_installs_nothing(inst, other):
    """install-deps.sh asks dpkg-query once for every package and runs apt-get
    only for a package that is missing, and then for that one alone."""
    folder = os.path.join(inst.cwd, "shims-all")
    path = shims(folder)
    subprocess.run(["sh", os.path.join(SOURCE, "scripts", "install-deps.sh")], env=dict(os.environ, PATH=path),
                   check=True, timeout=60)
    assert len(calls(folder, "dpkg-query")) == 1, calls(folder, "dpkg-query")
    assert "cmake" in calls(folder, "dpkg-query")[0].split()
    assert calls(folder, "apt-get") == [], calls(folder, "apt-get")
    folder = os.path.join(inst.cwd, "shims-one")
    path = shims(folder, missing="ninja-build")
    subprocess.run(["sh", os.path.join(SOURCE, "scripts", "install-deps.sh")], env=dict(os.environ, PATH=path),
                   check=True, timeout=60)
    assert len(calls(folder, "dpkg-query")) == 1
    install = [c for c in calls(folder, "apt-get") if " install " in " " + c + " "]
    assert len(install) == 1 and install[0].split()[-1] == "ninja-build" and \
        "cmake" not in install[0].split(), calls(folder, "apt-get")


def second_start_builds_nothing(inst, other):
    """Once built, building scopeapp again compiles nothing (no source
    compiled, no rule run for ever); run.sh builds with Ninja, configuring a
    folder another generator made once, and leaves a Ninja folder as it is."""
    def build_scopeapp():
        out = subprocess.run(["cmake", "--build", inst.build, "--target", "scopeapp"], capture_output=True, text=True,
                             timeout=1800)
        assert out.returncode == 0, out.stderr[-2000:]
        return out.stdout

    build_scopeapp()  # the first start's build, which the suite's own build has done already
    again = build_scopeapp()
    work = [line for line in again.split("\n") if re.search(r"Building C|Linking|Generating|Re-running CMake", line)]
    assert not work, work[:5]
    if "CMAKE_GENERATOR:INTERNAL=Ninja" in open(os.path.join(inst.build, "CMakeCache.txt")).read():
        assert "no work to do" in again, again[-500:]
    build = os.path.join(inst.cwd, "run-build")
    os.makedirs(build)
    folder = os.path.join(inst.cwd, "shims-run")
    path = shims(folder)
    with open(os.path.join(folder, "cmake"), "w") as f:  # configures a Ninja cache, builds nothing
        f.write('#!/bin/sh\nprintf "%%s\\n" "$0 $*" >> "%s"\n[ "$1" = -S ] && echo CMAKE_GENERATOR:INTERNAL=Ninja > "%s"\n'
                'exit 0\n' % (os.path.join(folder, "calls"), os.path.join(build, "CMakeCache.txt")))
    with open(os.path.join(build, "scopeapp"), "w") as f:
        f.write("#!/bin/sh\necho started\n")
    os.chmod(os.path.join(folder, "cmake"), 0o755)
    os.chmod(os.path.join(build, "scopeapp"), 0o755)
    env = dict(os.environ, PATH=path, SCOPE_BUILD_DIR=build, SCOPE_ROOT=os.path.join(inst.cwd, "run-root"))

    def run():
        before = len(calls(folder, "cmake"))
        out = subprocess.run(["sh", os.path.join(SOURCE, "scripts", "run.sh")], env=env, capture_output=True,
                             text=True, timeout=120)
        assert out.returncode == 0 and out.stdout.strip().endswith("started"), (out.stdout, out.stderr)
        return calls(folder, "cmake")[before:]

    with open(os.path.join(build, "CMakeCache.txt"), "w") as f:
        f.write("CMAKE_GENERATOR:INTERNAL=Unix Makefiles\n")
    first = run()
    assert len(first) == 2 and "-G Ninja" in first[0] and first[1].startswith("--build"), first
    second = run()
    assert len(second) == 1 and second[0].startswith("--build"), second


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
    for case in (the_ports_line_names_every_port, the_ports_line_has_a_documented_form,
                 pyvisa_with_the_portmapper_port, front_panel_key_example, fresh_root_start_up_lines,
                 headless_web_page_command, spi_example, bus_examples, screen_to_png,
                 screenshot_key, a_taken_web_port_is_named, second_start_installs_nothing,
                 second_start_builds_nothing):
        tally.run(case.__name__, lambda: case(inst, other))
    if other.stop() != 0:
        tally.fail("the second scopeapp's exit status")
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
