#!/usr/bin/env python3
"""Waveform read-out and screen pictures of the running instrument, read as a
user's script does: pyvisa with the pyvisa-py backend over VXI-11, numpy for
the volts and the frequency, PIL for the pictures, python-lzo and hashlib for
the compressed frames. Starts scopeapp with a fresh root, a 1 kHz, 2 Vpp sine
on CH1 and the time base turned to 1 ms/div with the panel knob (or, where
the knob is not followed, the sine scaled to the time base in force).

Usage: python3 test_waveform.py --build <builddir>
"""
import argparse
import hashlib
import io
import os
import sys
import tempfile

try:
    import lzo
    import numpy as np
    import pyvisa
    from PIL import Image
    from pyvisa_py.protocols import rpc
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-pyvisa-py, python3-numpy, python3-pil and python3-lzo")

from scope_support import Tally, wait_until
from test_vxi11 import Instrument, open_instr

TB_RIGHT, TB_LEFT = 86, 87  # time-base knob bytes of the front panel
MS_PER_DIV_XINC = 2e-5      # 1 ms/div: 50 points a division
WIDTH, HEIGHT = 800, 480


# How long one knob step may take to show in the read-out before the knob
# counts as not followed: far more than a loaded machine needs.
KNOB_LIMIT = 20.0


def set_time_base(root, session):
    """Turns the time-base knob towards 1 ms/div. Where the instrument does not
    follow the knob, the applied sine is scaled to the time base in force
    instead (1 kHz at 1 ms/div: 14 periods on the screen); the samples read
    then show that frequency before the cases start. Returns the applied
    frequency."""
    keys = os.path.join(root, "dev", "keys")
    xinc_now = lambda: float(session.query(":WAVeform:XINCrement?"))  # noqa: E731
    for _ in range(12):
        xinc = xinc_now()
        if abs(xinc - MS_PER_DIV_XINC) < 1e-12:
            break
        with open(keys, "wb") as f:
            f.write(bytes([TB_LEFT if xinc < MS_PER_DIV_XINC else TB_RIGHT]))  # right: finer
        if not wait_until(lambda: xinc_now() != xinc, KNOB_LIMIT):
            break  # the knob is not followed
    xinc = xinc_now()
    freq = 1000.0 * MS_PER_DIV_XINC / xinc
    with open(os.path.join(root, "dev", "signals"), "w") as f:
        f.write(f"ch1 sine freq={freq:.6g} amp=1\n")
    print(f"  {xinc * 50:g} s/div, CH1 sine of {freq:g} Hz, 2 Vpp")

    def shows_applied():
        session.write(":WAVeform:SOURce CHANnel1")
        session.write(":WAVeform:MODE NORMal")
        session.write(":WAVeform:FORMat BYTE")
        codes = session.query_binary_values(":WAVeform:DATA?", datatype="B", container=np.array)
        _, measured = volts_and_frequency(codes, session.query(":WAVeform:PREamble?"))
        return abs(measured - freq) <= 0.005 * freq

    assert wait_until(shows_applied), "the samples never showed the applied sine"
    return freq


def volts_and_frequency(codes, preamble):
    """Peak-to-peak volts and frequency from the samples and the preamble, as a user computes them."""
    fields = preamble.strip().split(",")
    xinc, yinc, yorg, yref = float(fields[4]), float(fields[7]), float(fields[8]), float(fields[9])
    v = (np.asarray(codes, dtype=float) - yref - yorg) * yinc
    centred = v - (v.max() + v.min()) / 2
    rising = np.where((centred[:-1] < 0) & (centred[1:] >= 0))[0]
    # Linear interpolation of each rising crossing.
    t = rising + (-centred[rising]) / (centred[rising + 1] - centred[rising])
    period = (t[-1] - t[0]) / (len(t) - 1) * xinc
    return v.max() - v.min(), 1.0 / period


APPLIED = {"freq": 1000.0}


def check_signal(pp, freq, what):
    """2.0 Vpp within 3 %, the applied frequency within 0.5 %."""
    applied = APPLIED["freq"]
    print(f"  {what}: {pp:.3f} Vpp, {freq:.6g} Hz (applied {applied:g} Hz)")
    assert abs(pp - 2.0) <= 0.06, f"{what}: {pp:.3f} Vpp"
    assert abs(freq - applied) <= 0.005 * applied, f"{what}: {freq:.6g} Hz"


def normal_data(inst, rm):
    s = open_instr(rm)
    try:
        s.write(":WAVeform:SOURce CHANnel1")
        s.write(":WAVeform:MODE NORMal")
        s.write(":WAVeform:FORMat BYTE")
        codes = s.query_binary_values(":WAVeform:DATA?", datatype="B", container=np.array)
        assert len(codes) == 700, len(codes)
        pre = s.query(":WAVeform:PREamble?")
        assert pre.startswith("0,") and pre.strip().endswith(",127"), pre
        check_signal(*volts_and_frequency(codes, pre), "NORMal BYTE")
        s.write(":WAVeform:FORMat WORD")
        words = s.query_binary_values(":WAVeform:DATA?", datatype="H", container=np.array)
        assert len(words) == 700 and words.max() < 256
        check_signal(*volts_and_frequency(words, s.query(":WAV:PRE?")), "NORMal WORD")
        s.write(":WAVeform:FORMat ASCII")
        s.write(":WAVeform:DATA?")
        block = s.read_raw()
        digits = int(block[1:2])
        length = int(block[2:2 + digits])
        text = block[2 + digits:2 + digits + length].decode()
        assert block[2 + digits + length:] == b"\r\n" and not text.endswith(",")
        volts = np.array([float(v) for v in text.split(",")])
        assert len(volts) == 700
        # The same trace as bytes, scaled with the preamble, gives these volts.
        s.write(":WAVeform:FORMat BYTE")
        again = s.query_binary_values(":WAVeform:DATA?", datatype="B", container=np.array)
        fields = [float(f) for f in s.query(":WAVeform:PREamble?").split(",")]
        scaled = (again.astype(float) - fields[9] - fields[8]) * fields[7]
        # Another acquisition of the steady sine: its extremes are the same codes.
        for got, want in ((volts.max(), scaled.max()), (volts.min(), scaled.min())):
            assert abs(got - want) < fields[7] / 2, (got, want, fields[7])
        assert abs((volts.max() - volts.min()) - 2.0) <= 0.06, volts.max() - volts.min()
        s.write(":WAVeform:FORMat BYTE")
    finally:
        s.close()


def raw_data(inst, rm):
    s = open_instr(rm, 60000)
    try:
        s.write(":ACQuire:MEMory:DEPTh 7K")
        s.write(":WAVeform:FORMat BYTE")
        s.write(":WAVeform:MODE RAW")
        s.write(":WAVeform:POINts 2500")
        codes = []
        for _ in range(3):
            codes.extend(s.query_binary_values(":WAVeform:DATA?", datatype="B"))
        assert len(codes) == 7000, len(codes)
        assert s.query(":WAVeform:STARt?").strip() == "-1"
        check_signal(*volts_and_frequency(codes, s.query(":WAVeform:PREamble?")), "RAW 7K")
        s.write(":WAVeform:MODE NORMal")
        s.write(":ACQuire:MEMory:DEPTh AUTO")
    finally:
        s.close()


def framebuffer(root):
    with open(os.path.join(root, "dev", "fb0"), "rb") as f:
        data = f.read(WIDTH * HEIGHT * 4)
    px = np.frombuffer(data, dtype="<u4").reshape(HEIGHT, WIDTH)
    return np.stack([(px >> 16) & 255, (px >> 8) & 255, px & 255], axis=-1).astype(np.uint8)


def unpack_zbmp(zbmp, size):
    """The picture in a DISPlay:ZBMP? block, its marker and length rule checked."""
    n = zbmp.rfind(b"\x89\xab\xcd\xef")
    pad = n % 512 == 487 or (n >= 487 and (n - 487) % 512 in (509, 510, 511))
    assert len(zbmp) == n + (8 if pad else 4), (len(zbmp), n)
    return lzo.decompress(zbmp[:n], False, size)


def screen_pictures(inst, rm, root):
    """Both pictures equal the frame buffer, taken while the screen held still
    (the picture is the page shown last, copied as the main loop goes on)."""
    s = open_instr(rm)

    def matched():
        before = framebuffer(root)
        bmp = s.query_binary_values(":DISPlay:DATA?", datatype="B", container=bytes)
        zbmp = s.query_binary_values(":DISPlay:ZBMP?", datatype="B", container=bytes)
        after = framebuffer(root)
        assert len(bmp) == 1152054
        image = Image.open(io.BytesIO(bmp))
        assert image.format == "BMP" and image.size == (WIDTH, HEIGHT) and image.mode == "RGB"
        unpacked = unpack_zbmp(zbmp, len(bmp))
        return np.array_equal(before, after) and np.array_equal(np.asarray(image), after) and unpacked == bmp

    try:
        assert wait_until(matched, interval=0.1), "DISPlay:DATA? and ZBMP? never matched a still frame buffer"
    finally:
        s.close()


def viewer_frames(inst, rm):
    s = open_instr(rm)
    try:
        s.write(":WAVeform:MODE NORMal")
        s.write_raw(b"FrameStart?\n")
        description = s.read_raw()
        assert description.startswith(b'{"CHANNEL_PARAM":[{"Channel":"1"') and description.endswith(b"}}\r\n")
        div_ps = round(float(s.query(":WAVeform:XINCrement?")) * 50 * 1e12)
        assert f'"SampleRate":"{div_ps // 50}"'.encode() in description, description
        assert f'"xScale":"{div_ps}"'.encode() in description, description
        frame = lzo.decompress(s.query_binary_values("Frame?", datatype="B", container=bytes), False, 300000)
        head, payload = frame[:96], frame[96:]
        assert head[:4] == bytes([1, 1, 4, 3]) and int.from_bytes(head[8:12], "little") == 1
        assert int.from_bytes(head[12:16], "little") == len(payload) == 280000
        assert head[16:32] == hashlib.md5(payload).digest(), "Frame? digest"
        colours = lzo.decompress(s.query_binary_values("FrameColor?", datatype="B", container=bytes), False, 4096)
        assert len(colours) == 96 + 2048 and colours[16:32] == hashlib.md5(colours[96:]).digest()
        message = lzo.decompress(s.query_binary_values("Waveform1:DAT?", datatype="B", container=bytes),
                                 False, 65536)
        end = message.index(b"\r\n") + 2
        head = message[end:end + 96]
        packed = message[end + 96:]
        assert head[0] == 1 and head[2] == 0 and head[32] == 8
        assert int.from_bytes(head[12:16], "little") == len(packed)
        assert head[16:32] == hashlib.md5(packed).digest(), "Waveform1:DAT? digest"
        assert len(lzo.decompress(packed, False, 4096)) == 1400
    finally:
        s.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="waveform-py-")
    root = os.path.join(tmp, "root")
    os.makedirs(os.path.join(root, "dev"), exist_ok=True)
    with open(os.path.join(root, "dev", "signals"), "w") as f:
        f.write("ch1 sine freq=1000 amp=1\n")
    # The portmapper on a port of its own: port 111 may be another test's.
    inst = Instrument(build, root, False)
    rpc.PMAP_PORT = inst.portmap
    rm = pyvisa.ResourceManager("@py")
    tally = Tally()
    session = open_instr(rm)
    tally.run("time base", lambda: APPLIED.update(freq=set_time_base(root, session)))
    session.close()
    for case in (normal_data, raw_data):
        tally.run(case.__name__, lambda: case(inst, rm))
    tally.run("screen_pictures", lambda: screen_pictures(inst, rm, root))
    tally.run("viewer_frames", lambda: viewer_frames(inst, rm))
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
