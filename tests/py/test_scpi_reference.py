#!/usr/bin/env python3
"""The programming reference, docs/scpi-commands.md, read as a user programs
from it and checked against a fresh instrument through pyvisa-py: every
entry gives the parameter of its command form and the answer of its query
form; each default written as a code span is what the query answers on a
fresh root; each whole-number range said to be clamped is clamped at both
ends; each setting said to refuse what is out of range keeps its value; the
file-saving example writes where the entry says.

Usage: python3 test_scpi_reference.py --build <builddir>
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

try:
    import pyvisa
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py")

from scope_support import WAIT_LIMIT, LineProcess, Tally, wait_until

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SERVING = re.compile(r"^scopeapp: serving VXI-11 portmapper \S+:(\d+) ")


def entries():
    """(headers with their `?`, {field: text}) of every entry, in file order."""
    with open(os.path.join(SOURCE, "docs", "scpi-commands.md")) as f:
        text = f.read()
    found = []
    for block in re.split(r"\n### ", text)[1:]:
        head, _, body = block.partition("\n")
        fields = dict(re.findall(r"^- ([a-z ]+): (.*)$", body, re.M))
        found.append((re.findall(r"`([^`]+)`", head), fields))
    return found


class Instrument(LineProcess):
    def __init__(self, build, root):
        env = dict(os.environ, SCOPE_VXI11_PMAP_PORT="0", SCOPE_WS_CMD_PORT="0", SCOPE_WS_PIC_PORT="0")
        super().__init__([os.path.join(build, "scopeapp"), "--root", root], stderr=subprocess.STDOUT, env=env,
                         errors="replace")
        self.root = root
        line = self.wait_line(SERVING.match, 120)
        if not line:
            raise RuntimeError("no 'scopeapp: serving' line")
        rpc.PMAP_PORT = int(SERVING.match(line).group(1))
        self.link = pyvisa.ResourceManager("@py").open_resource("TCPIP::127.0.0.1::INSTR")
        self.link.timeout = int(WAIT_LIMIT * 1000)

    def ask(self, query):
        self.link.write(query)
        return self.link.read_raw().decode(errors="replace").rstrip("\r\n")

    def stop(self):
        self.link.close()
        self.proc.terminate()
        return self.wait_exit(20)


def same(answer, documented):
    """The answer is the documented value: the same text (blanks at the end
    aside) or the same number."""
    if answer.rstrip() == documented.rstrip():
        return True
    try:
        return float(answer) == float(documented)
    except ValueError:
        return False


def every_form_is_described(inst):
    """A command form has its parameter, a query form its answer; the entries
    users asked for say what they need."""
    missing = []
    by_header = {}
    for headers, fields in entries():
        for h in headers:
            by_header[h] = fields
            key = "query answers" if h.endswith("?") else "parameter"
            if not fields.get(key):
                missing.append("%s: no %s" % (h, key))
    assert not missing, missing
    assert "`DC|AC|GND`" in by_header["CHANnel1:COUPling"]["parameter"]
    assert "refused" in by_header["CHANnel1:COUPling"]["outside the range"]
    assert "udisk/KOLV/Wave/x.csv" in by_header["FILE:SAVE"]["parameter"]
    assert "starts a recording" in by_header["RECord:ENABle"]["parameter"]
    assert "V" in by_header["MEASure:VPP?"]["query answers"]
    assert all(h in by_header for h in ("SBUS:MODE", "SBUS:SPI:TRIGger:TIMeout", "SBUS:CAN:ID", "SBUS:DATA?"))


def documented_defaults_are_a_fresh_answer(inst):
    """Each default written as a code span is what the query answers before
    anything was set (binary answers aside)."""
    wrong, checked = [], 0
    for headers, fields in entries():
        m = re.match(r"`([^`]*)`", fields.get("default", ""))
        if not m or "not text" in fields.get("query answers", ""):
            continue
        for h in headers:
            if h.endswith("?"):
                answer = inst.ask(h)
                checked += 1
                if not same(answer, m.group(1)):
                    wrong.append("%s answers %r, the reference says %r" % (h, answer, m.group(1)))
    assert checked > 150, checked
    assert not wrong, wrong


def documented_clamps_hold(inst):
    """A whole number beyond a range the reference says is clamped takes the
    range's nearer end (where the query always answers)."""
    checked = 0
    for headers, fields in entries():
        clamp = re.match(r"clamped to (-?\d+) \.\. (-?\d+)", fields.get("outside the range", ""))
        if not clamp or not fields.get("parameter", "").startswith("whole number"):
            continue
        answers = fields.get("query answers", "")
        if "the number" not in answers or "nothing" in answers:
            continue  # no answer to check it by, or one only in some states
        low, high = int(clamp.group(1)), int(clamp.group(2))
        for h in headers:
            if h.endswith("?") or h + "?" not in headers:
                continue
            for sent, expected in ((high + 1000, high), (low - 1000, low)):
                inst.link.write("%s %d" % (h, sent))
                assert wait_until(lambda: inst.ask(h + "?") == str(expected)), (h, sent, inst.ask(h + "?"))
            checked += 1
    assert checked >= 6, checked


def documented_refusals_hold(inst):
    """A setting whose entry says a value out of its range is refused keeps
    its value when given a keyword it does not know, and leaves an error
    SYSTem:ERRor? reports."""
    def drain():
        error = inst.ask("SYSTem:ERRor?")
        while error != '0,"No error"':
            error = inst.ask("SYSTem:ERRor?")

    drain()
    checked = 0
    for headers, fields in entries():
        if fields.get("outside the range") != "refused" or "nothing" in fields.get("query answers", ""):
            continue
        for h in headers:
            if h.endswith("?") or h + "?" not in headers:
                continue
            before = inst.ask(h + "?")
            inst.link.write(h + " XYZZY")
            assert inst.ask(h + "?") == before, (h, before)
            assert inst.ask("SYSTem:ERRor?") != '0,"No error"', h
            drain()
            checked += 1
    assert checked > 100, checked


def file_save_example(inst):
    """The FILE:SAVE example of the reference writes the file it names."""
    (headers, fields), = [(h, f) for h, f in entries() if "FILE:SAVE" in h]
    example = re.search(r"Example: `(FILE:SAVE [^`]*)` writes `([^`]*)`", fields["parameter"])
    command, path = example.groups()
    os.makedirs(os.path.join(inst.root, "udisk"), exist_ok=True)
    written = os.path.join(inst.root, path)

    def saved():
        # The instrument sees a disk plugged within a second: until then the save is refused.
        if not os.path.exists(written):
            inst.link.write(command)
            inst.ask("*OPC?")
        return os.path.exists(written) and os.path.getsize(written) > 0

    assert wait_until(saved, interval=0.5), "no %s" % written


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="scpi-reference-py-")
    inst = Instrument(build, os.path.join(tmp, "root"))
    tally = Tally()
    for case in (every_form_is_described, documented_defaults_are_a_fresh_answer, documented_clamps_hold,
                 documented_refusals_hold, file_save_example):
        tally.run(case.__name__, lambda: case(inst))
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
