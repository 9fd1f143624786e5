#!/usr/bin/env python3
"""The USBTMC device of the running instrument, on the simulated board's USB
device port (sim_usb.py): at the endpoints, against the bytes the USBTMC and
USB488 documents publish (descriptors, capabilities, class replies, bulk
headers, packets and zero-length packets), then through pyvisa-py's USB
resources over a pyusb backend, as a user's script talks to a USB
instrument. Starts scopeapp from the build tree with a fresh root holding an
"SN.txt" and ends it with SIGINT.

Usage: python3 test_usbtmc.py --build <builddir>
"""
import argparse
import os
import signal
import struct
import sys
import tempfile
import time

try:
    import numpy as np
    import pyvisa
    import usb.core  # noqa: F401 - pyvisa-py's USB resources need pyusb
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py, python3-usb and python3-numpy")

import sim_usb
from scope_support import WAIT_LIMIT, Tally, wait_until
from test_vxi11 import Instrument

EP_IN, EP_OUT = 0x81, 0x03
SERIAL = "AB12345"
RESOURCE = "USB0::4617::1::%s::0::INSTR" % SERIAL  # vendor 0x1209, product 0x0001
DEV_DEP_MSG_OUT, REQUEST_DEV_DEP_MSG_IN = 1, 2
HEADER = struct.Struct("<BBBxIBBxx")


def out_message(tag, text, eom=True):
    """A DEV_DEP_MSG_OUT transfer as USBTMC 1.0 table 3 lays it out, padded to 4."""
    body = HEADER.pack(DEV_DEP_MSG_OUT, tag, ~tag & 0xFF, len(text), 1 if eom else 0, 0) + text
    return body + b"\0" * (-len(body) % 4)


def request_in(tag, size, term=None):
    return HEADER.pack(REQUEST_DEV_DEP_MSG_IN, tag, ~tag & 0xFF, size, 0 if term is None else 2, term or 0)


class Tags:
    """bTag values as a host hands them out: 1 to 255, then 1 again."""

    def __init__(self):
        self.tag = 0

    def next(self):
        self.tag = self.tag % 255 + 1
        return self.tag


def wait_not_pending(ask):
    """Repeats a status request while it answers STATUS_PENDING (2); the last reply."""
    last = []

    def done():
        last[:] = [ask()]
        return last[0][0] != 2

    wait_until(done, interval=0.01)
    return last[0]


def wait_reply(ask, want):
    """Repeats a request until it gives `want`; the last reply."""
    last = []

    def done():
        last[:] = [ask()]
        return last[0] == want

    wait_until(done, interval=0.01)
    return last[0] if last else None


def packets_of_transfer(port, timeout=WAIT_LIMIT):
    """The packets of one bulk-IN transfer, up to a short (or zero-length) one."""
    packets = []
    while True:
        p = port.packet(EP_IN, timeout)
        packets.append(p)
        if len(p) < sim_usb.PACKET:
            return packets


def parse_in(transfer, tag):
    """Checks a DEV_DEP_MSG_IN header (MsgID 2, bTag and its inverse); its size, attributes and data."""
    msg_id, btag, inverse, size, attributes, _ = HEADER.unpack_from(transfer)
    assert (msg_id, btag, inverse) == (2, tag, ~tag & 0xFF), transfer[:12].hex()
    data = transfer[12:]
    assert len(data) == size, (len(data), size)  # the header counts the data exactly, no padding
    return attributes, data


def command(port, tags, text):
    port.write(EP_OUT, out_message(tags.next(), text))


def query(port, tags, text, size=1 << 20):
    tag = tags.next()
    port.write(EP_OUT, out_message(tag, text))
    tag = tags.next()
    port.write(EP_OUT, request_in(tag, size))
    return parse_in(b"".join(packets_of_transfer(port)), tag)


class Case:
    def __init__(self, port):
        self.port = port
        self.tags = Tags()


def plug(root):
    port = sim_usb.Port(root)
    port.control(0x00, 9, 1, 0, b"")  # SET_CONFIGURATION 1
    return Case(port)


def descriptors(c):
    device = c.port.control(0x80, 6, 0x0100, 0, 18)
    assert device == bytes([18, 1, 0x00, 0x02, 0, 0, 0, 64, 0x09, 0x12, 0x01, 0x00, 0x00, 0x01, 1, 2, 3, 1]), device.hex()
    config = c.port.control(0x80, 6, 0x0200, 0, 255)
    assert config == bytes([9, 2, 32, 0, 1, 1, 4, 0x80, 1,           # configuration, bus-powered, 2 mA
                            9, 4, 0, 0, 2, 0xFE, 3, 1, 5,            # interface: USBTMC, USB488
                            7, 5, 0x81, 2, 0x00, 0x02, 0,            # bulk-IN, 512 bytes
                            7, 5, 0x03, 2, 0x00, 0x02, 0]), config.hex()  # bulk-OUT, 512 bytes
    assert c.port.control(0x80, 6, 0x0300, 0, 255) == bytes([4, 3, 0x09, 0x04])
    for index, text in ((1, "KOLVET"), (2, "QEL2200KS"), (3, SERIAL), (4, "DEMO"), (5, "Source/Sink")):
        raw = text.encode("utf-16-le")
        assert c.port.control(0x80, 6, 0x0300 | index, 0x0409, 255) == bytes([2 + len(raw), 3]) + raw, index
    assert c.port.control(0x80, 6, 0x0302, 0x0409, 6) == bytes([20, 3]) + "QE".encode("utf-16-le")  # cut to wLength
    for bad in ((0x80, 6, 0x0309, 0x0409), (0x80, 6, 0x0302, 0x0407), (0xA1, 64, 0, 0), (0xA1, 99, 0, 0)):
        try:
            c.port.control(*bad, 8)
            raise AssertionError("not stalled: %r" % (bad,))
        except sim_usb.Stall:
            pass


def expect(c, request, reply):
    got = c.port.control(*request)
    assert got == reply, (request, got.hex())


def class_replies(c):
    caps = c.port.control(0xA1, 7, 0, 0, 24)
    # USBTMC table 37 and USB488 table 8: success, bcdUSBTMC 1.00, TermChar; bcdUSB488 1.00, 0x07, 0x0F.
    assert caps == bytes([1, 0, 0x00, 0x01, 0x00, 0x01, 0, 0, 0, 0, 0, 0,
                          0x00, 0x01, 0x07, 0x0F, 0, 0, 0, 0, 0, 0, 0, 0]), caps.hex()
    expect(c, (0xA1, 5, 0, 0, 1), b"\x01")             # INITIATE_CLEAR
    assert wait_not_pending(lambda: c.port.control(0xA1, 6, 0, 0, 2)) == b"\x01\x00"  # CHECK_CLEAR_STATUS
    expect(c, (0xA1, 160, 1, 0, 1), b"\x01")           # REN_CONTROL
    expect(c, (0xA1, 161, 0, 0, 1), b"\x01")           # GO_TO_LOCAL
    expect(c, (0xA1, 162, 0, 0, 1), b"\x01")           # LOCAL_LOCKOUT
    expect(c, (0xA1, 128, 2, 0, 3), b"\x01\x02\x00")   # READ_STATUS_BYTE: status, bTag, STB
    # No transfer in progress: the aborts fail (USBTMC 4.2.1.2, 4.2.1.4), the status requests answer in full.
    expect(c, (0xA2, 1, 7, EP_OUT, 2), b"\x80\x07")
    expect(c, (0xA2, 3, 7, EP_IN, 2), b"\x80\x07")
    expect(c, (0xA2, 2, 0, EP_OUT, 8), b"\x01" + b"\0" * 7)
    expect(c, (0xA2, 4, 0, EP_IN, 8), b"\x01" + b"\0" * 7)
    expect(c, (0x81, 10, 0, 0, 1), b"\x00")            # GET_INTERFACE
    c.port.control(0x01, 11, 0, 0, b"")                            # SET_INTERFACE 0


def identity_and_tags(c):
    attributes, data = query(c.port, c.tags, b"*IDN?")  # EOM without a line end: the device adds it
    assert attributes == 1 and data.startswith(b"KOLVET Technologies,QEL2200KS,") and data.endswith(b"\r\n"), data
    # A header whose bTagInverse is wrong is dropped, as is bTag 0: nothing answers.
    bad = bytearray(out_message(9, b":CHANnel1:COUPling AC"))
    bad[2] = 0x00  # the inverse of 9 is 0xF6
    c.port.write(EP_OUT, bytes(bad))
    c.port.write(EP_OUT, HEADER.pack(REQUEST_DEV_DEP_MSG_IN, 0, 0xFF, 100, 0, 0))
    try:
        c.port.packet(EP_IN, 0.5)
        raise AssertionError("a request with bTag 0 was answered")
    except sim_usb.Timeout:
        pass
    assert query(c.port, c.tags, b"*OPC?\n")[1] == b"1\r\n"
    # The answer to a query that is MAV in the status byte until it is read.
    c.port.write(EP_OUT, out_message(c.tags.next(), b"*OPC?\n"))
    assert wait_reply(lambda: c.port.control(0xA1, 128, 3, 0, 3), b"\x01\x03\x10") == b"\x01\x03\x10"
    tag = c.tags.next()
    c.port.write(EP_OUT, request_in(tag, 100))
    assert parse_in(b"".join(packets_of_transfer(c.port)), tag)[1] == b"1\r\n"
    assert c.port.control(0xA1, 128, 4, 0, 3) == b"\x01\x04\x00"


def long_command_posted_once(c):
    command(c.port, c.tags, b":CHANnel1:COUPling DC")
    long_line = b":CHANnel1:COUPling AC" + b" " * (1000 - 21)
    transfer = out_message(c.tags.next(), long_line)
    assert len(transfer) == 1012  # 12 + 1000, a multiple of 4: packets of 512 and 500
    c.port.write(EP_OUT, transfer)
    assert query(c.port, c.tags, b":CHANnel1:COUPling?")[1] == b"AC\r\n"
    # A command in two transfers, EOM on the second only, is one command.
    c.port.write(EP_OUT, out_message(c.tags.next(), b":CHANnel1:", eom=False))
    c.port.write(EP_OUT, out_message(c.tags.next(), b"COUPling DC\n"))
    assert query(c.port, c.tags, b":CHANnel1:COUPling?")[1] == b"DC\r\n"


def layout(size):
    """The packets of a bulk-IN transfer of `size` data bytes after the 12-byte
    header: full packets, then a short one, a zero-length one when the last is full."""
    total = 12 + size
    return [sim_usb.PACKET] * (total // sim_usb.PACKET) + [total % sim_usb.PACKET]


def waveform_block(c):
    """NORMal ASCII data, several kilobytes, read in pieces of 1,024, 500 and the rest."""
    for line in (b":WAVeform:SOURce CHANnel1", b":WAVeform:MODE NORMal", b":WAVeform:FORMat ASCII"):
        command(c.port, c.tags, line)
    c.port.write(EP_OUT, out_message(c.tags.next(), b":WAVeform:DATA?"))
    pieces, layouts = [], []
    for size in (1024, 500, 1 << 20):
        tag = c.tags.next()
        c.port.write(EP_OUT, request_in(tag, size))
        packets = packets_of_transfer(c.port, 20)
        layouts.append([len(p) for p in packets])
        pieces.append(parse_in(b"".join(packets), tag))
    block = b"".join(d for _, d in pieces)
    rest = len(block) - 1524
    # TransferSize 1,024: header and data in one transfer of 512 + 512 + 12 bytes, no EOM yet;
    # 500: one full packet, ended by a zero-length packet; then the rest with EOM.
    assert layouts == [[512, 512, 12], [512, 0], layout(rest)], layouts
    assert [a for a, _ in pieces] == [0, 0, 1] and [len(d) for _, d in pieces] == [1024, 500, rest]
    digits = int(block[1:2])
    length = int(block[2:2 + digits])
    assert block[:1] == b"#" and block[2 + digits + length:] == b"\r\n", block[-20:]
    volts = [float(v) for v in block[2 + digits:2 + digits + length].split(b",")]
    assert len(volts) == 700, len(volts)
    command(c.port, c.tags, b":WAVeform:FORMat BYTE")


def term_char(c):
    c.port.write(EP_OUT, out_message(c.tags.next(), b"*IDN?"))
    tag = c.tags.next()
    c.port.write(EP_OUT, request_in(tag, 1000, term=ord(",")))  # TermChar ','
    attributes, data = parse_in(b"".join(packets_of_transfer(c.port)), tag)
    assert data == b"KOLVET Technologies," and attributes == 2, (attributes, data)
    tag = c.tags.next()
    c.port.write(EP_OUT, request_in(tag, 1000))
    attributes, rest = parse_in(b"".join(packets_of_transfer(c.port)), tag)
    assert attributes == 1 and rest.startswith(b"QEL2200KS,")


def abort_bulk_in(c):
    c.port.write(EP_OUT, out_message(c.tags.next(), b"NOSuch:COMMand?"))  # nothing answers
    tag = c.tags.next()
    c.port.write(EP_OUT, request_in(tag, 1000))
    # Until the device has taken the request in, no transfer is in progress (0x80); then another bTag
    # is refused as not in progress (0x81), naming the transfer that is.
    other = (tag + 1) & 0xFF or 1
    assert wait_reply(lambda: c.port.control(0xA2, 3, other, EP_IN, 2), bytes([0x81, tag])) == bytes([0x81, tag])
    assert c.port.control(0xA2, 3, tag, EP_IN, 2) == bytes([1, tag])
    assert c.port.packet(EP_IN, 2) == b""  # the transfer ends with a short packet
    status = wait_not_pending(lambda: c.port.control(0xA2, 4, 0, EP_IN, 8))
    assert status == b"\x01" + b"\0" * 7, status.hex()
    assert query(c.port, c.tags, b"*OPC?")[1] == b"1\r\n"


def abort_after_part_read(c):
    """A long answer the host has read part of: its transfer is in progress until the host has
    taken its packets, so INITIATE_ABORT_BULK_IN with its bTag succeeds; the host reads what the
    FIFO holds up to the short packet while CHECK_ABORT_BULK_IN_STATUS is pending with
    bmAbortBulkIn set (USBTMC 4.2.1.4, 4.2.1.5), and the rest of the answer is gone: the next
    query reads its own answer under its own bTag."""
    command(c.port, c.tags, b":WAVeform:FORMat ASCII")
    c.port.write(EP_OUT, out_message(c.tags.next(), b":WAVeform:DATA?"))
    tag = c.tags.next()
    c.port.write(EP_OUT, request_in(tag, 1 << 20))
    first = c.port.packet(EP_IN, WAIT_LIMIT)
    size = HEADER.unpack_from(first)[3]
    assert len(first) == sim_usb.PACKET and size > 4 * sim_usb.PACKET, size
    assert len(c.port.packet(EP_IN, WAIT_LIMIT)) == sim_usb.PACKET
    assert c.port.control(0xA2, 3, tag, EP_IN, 2) == bytes([1, tag])
    drained = []

    def abort_done():
        status = c.port.control(0xA2, 4, 0, EP_IN, 8)
        if status[0] == 2 and status[1] & 1:
            drained.extend(packets_of_transfer(c.port))
        return status if status[0] != 2 else None

    status = wait_until(abort_done, interval=0.01)
    assert status is not None and status[:4] == b"\x01\0\0\0", status
    assert struct.unpack_from("<I", status, 4)[0] <= size, status.hex()
    assert sum(len(p) for p in drained) <= 12 + size - 2 * sim_usb.PACKET
    command(c.port, c.tags, b":WAVeform:FORMat BYTE")
    attributes, data = query(c.port, c.tags, b"*IDN?")
    assert attributes == 1 and data.startswith(b"KOLVET Technologies,"), data[:40]


def clear_drops_answer(c):
    c.port.write(EP_OUT, out_message(c.tags.next(), b"*IDN?"))
    # The answer waits (MAV in the status byte) before the clear drops it.
    assert wait_reply(lambda: c.port.control(0xA1, 128, 3, 0, 3)[2] & 0x10, 0x10) == 0x10
    assert c.port.control(0xA1, 5, 0, 0, 1) == b"\x01"
    assert wait_not_pending(lambda: c.port.control(0xA1, 6, 0, 0, 2)) == b"\x01\x00"
    assert query(c.port, c.tags, b"*OPC?")[1] == b"1\r\n"


def hostile_packets(c):
    # A transfer that announces 4 GB: INITIATE_ABORT_BULK_OUT ends it, reporting the bytes received.
    c.port.write(EP_OUT, HEADER.pack(1, 5, 0xFA, 0xFFFFFFF0, 1, 0) + b"x" * 500)
    # Asked again until the device has taken the transfer in.
    assert wait_reply(lambda: c.port.control(0xA2, 1, 5, EP_OUT, 2), b"\x01\x05") == b"\x01\x05"
    status = wait_not_pending(lambda: c.port.control(0xA2, 2, 0, EP_OUT, 8))
    assert status == b"\x01\0\0\0" + struct.pack("<I", 500), status.hex()
    # Short packets, bytes that are no header, an unknown MsgID, a zero-length packet, a message
    # longer than the 65,536-byte buffer: none is answered, and the device goes on.
    for junk in (b"\x01\x02", b"\xff" * 512, HEADER.pack(0x7E, 6, 0xF9, 10, 1, 0) + b"0123456789\0\0", b"",
                 out_message(7, b"*OPC?" + b" " * 70000)):
        c.port.write(EP_OUT, junk)
    assert query(c.port, c.tags, b"*OPC?")[1] == b"1\r\n"


def endpoint_cases(tally, root):
    c = plug(root)
    try:
        for case in (descriptors, class_replies, identity_and_tags, long_command_posted_once, waveform_block,
                     term_char, abort_bulk_in, abort_after_part_read, clear_drops_answer, hostile_packets):
            tally.run(case.__name__, lambda: case(c))
    finally:
        c.port.close()


def open_usb(rm, timeout_ms=int(WAIT_LIMIT * 1000)):
    session = rm.open_resource(RESOURCE)
    session.timeout = timeout_ms
    return session


def pyvisa_cases(tally, root):
    sim_usb.install(root)
    rm = pyvisa.ResourceManager("@py")

    def listed():
        assert RESOURCE in rm.list_resources("USB?*"), rm.list_resources("USB?*")

    def identity_and_channels():
        s = open_usb(rm)
        try:
            assert s.query("*IDN?").startswith("KOLVET Technologies,QEL2200KS,")
            s.write(":CHANnel1:COUPling AC")
            assert s.query(":CHANnel1:COUPling?") == "AC\r\n"
            s.write(":CHAN1:PROB 2.5")
            assert s.query(":CHAN1:PROB?").strip() == "2.500X"
            s.write(":CHANnel1:COUPling DC")
            s.write(":CHAN1:PROB 1")
            assert s.query(":CHANnel1:COUPling?").strip() == "DC"
        finally:
            s.close()

    def thousand_queries():
        s = open_usb(rm)
        try:
            for i in range(1000):  # 2,000 bTags: they wrap 255 -> 1 seven times
                assert s.query("*OPC?") == "1\r\n", i
        finally:
            s.close()

    def waveform_7000_points():
        from test_waveform import APPLIED, check_signal, set_time_base, volts_and_frequency

        s = open_usb(rm, 60000)
        try:
            APPLIED["freq"] = set_time_base(root, s)
            s.write(":ACQuire:MEMory:DEPTh 7K")
            s.write(":WAVeform:SOURce CHANnel1")
            s.write(":WAVeform:FORMat BYTE")
            s.write(":WAVeform:MODE RAW")
            s.write(":WAVeform:POINts 2500")
            codes = []
            for _ in range(3):
                codes.extend(s.query_binary_values(":WAVeform:DATA?", datatype="B"))
            assert len(codes) == 7000, len(codes)
            check_signal(*volts_and_frequency(codes, s.query(":WAVeform:PREamble?")), "RAW 7K over USB")
            s.write(":WAVeform:MODE NORMal")
            s.write(":ACQuire:MEMory:DEPTh AUTO")
        finally:
            s.close()

    def aborted_read_then_query():
        s = open_usb(rm, 500)
        try:
            start = time.monotonic()
            try:
                s.query("NOSuch:COMMand?")
                raise AssertionError("a query nothing answers returned")
            except pyvisa.errors.VisaIOError as e:
                assert e.error_code == pyvisa.constants.StatusCode.error_timeout, e
            took = time.monotonic() - start
            assert took < WAIT_LIMIT, took  # the abort ended the read
            s.timeout = int(WAIT_LIMIT * 1000)
            got = s.query("*OPC?"), s.query(":CHANnel1:COUPling?")
            assert got == ("1\r\n", "DC\r\n"), got
        finally:
            s.close()

    for case in (listed, identity_and_channels, thousand_queries, waveform_7000_points, aborted_read_then_query):
        tally.run("pyvisa " + case.__name__, case)
    rm.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="usbtmc-py-")
    root = os.path.join(tmp, "root")
    os.makedirs(os.path.join(root, "dev"))
    with open(os.path.join(root, "SN.txt"), "w") as f:
        f.write("[MODEL] QEL2200KS\n[SERIAL] %s\n" % SERIAL)
    with open(os.path.join(root, "dev", "signals"), "w") as f:
        f.write("ch1 sine freq=1000 amp=1\n")
    inst = Instrument(build, root, False)
    tally = Tally()
    # pyvisa first: its waveform case turns the time base to where the sine shows.
    pyvisa_cases(tally, root)
    endpoint_cases(tally, root)
    # SIGINT, as Ctrl-C, still ends the instrument.
    inst.stop = lambda: (inst.proc.send_signal(signal.SIGINT), inst.wait_exit(20))[1]
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
