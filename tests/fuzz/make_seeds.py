#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: valid inputs taken from a
build's factory image and from what the tests send. Run it again after a
format changes: python3 tests/fuzz/make_seeds.py build-test/factory"""
import pathlib
import struct
import sys

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = HERE / "corpus"


def put(target, name, data):
    d = CORPUS / target
    d.mkdir(parents=True, exist_ok=True)
    (d / name).write_bytes(data if isinstance(data, bytes) else data.encode())


# ONC RPC call (AUTH_NONE) and the VXI-11 procedures, as XDR.
def u32(*words):
    return b"".join(struct.pack(">I", w) for w in words)


def opaque(b):
    return u32(len(b)) + b + b"\0" * (-len(b) % 4)


def call(xid, prog, vers, proc, args=b""):
    return u32(xid, 0, 2, prog, vers, proc) + u32(0) + opaque(b"") + u32(0) + opaque(b"") + args


# Requests of the web page to the command-control server.
WEB_CMD_SEEDS = [
    ("login", '{"req_type":"login","uuid":"u","user_name":"admin","password":"zad-i"}'),
    ("ping", '{"req_type":"ping","uuid":"u"}'),
    ("key", '{"req_type":"key","uuid":"u","key_id":"RUN_STOP"}'),
    ("led", '{"req_type":"led_status","uuid":"u"}'),
    ("click", '{"req_type":"lcd_area_control","uuid":"u","event_type":1,"x":730,"y":70,"wheel_direction":0,"key_code":""}'),
    ("wheel", '{"req_type":"lcd_area_control","uuid":"u","event_type":4,"x":140,"y":14,"wheel_direction":1,"key_code":""}'),
    ("lan", '{"req_type":"lan_config","uuid":"u","type":"DHCP"}'),
    ("signout", '{"req_type":"signout","uuid":"u"}'),
]

CORE, PMAP = 0x0607AF, 100000
create_link = call(1, CORE, 1, 10, u32(7, 0, 0) + opaque(b"inst0"))
write_idn = call(2, CORE, 1, 11, u32(1, 1000, 0, 8) + opaque(b"*IDN?\n"))
read = call(3, CORE, 1, 12, u32(1, 1024, 1000, 0, 0x80, 10))
destroy = call(4, CORE, 1, 23, u32(1))
getport = call(5, PMAP, 2, 3, u32(CORE, 1, 6, 0))
dump = call(6, PMAP, 2, 4)


def record(*msgs):
    return b"".join(u32(0x80000000 | len(m)) + m for m in msgs)


def datagrams(*msgs):
    return b"".join(struct.pack(">H", len(m)) + m for m in msgs)


def two_fragments(m):
    half = len(m) // 2
    return u32(half) + m[:half] + u32(0x80000000 | (len(m) - half)) + m[half:]


def ws_frame(opcode, payload, fin=True, mask=b"\x12\x34\x56\x78"):
    head = bytes([(0x80 if fin else 0) | opcode])
    n = len(payload)
    if n < 126:
        head += bytes([0x80 | n])
    elif n < 65536:
        head += bytes([0x80 | 126]) + struct.pack(">H", n)
    else:
        head += bytes([0x80 | 127]) + struct.pack(">Q", n)
    return head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload))


HANDSHAKE = (b"GET / HTTP/1.1\r\nHost: 127.0.0.1:9001\r\nUpgrade: websocket\r\n"
             b"Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
             b"Origin: http://127.0.0.1\r\nSec-WebSocket-Version: 13\r\n\r\n")

SCPI_LINES = [
    "*IDN?\n", "*OPC?\n", ":CHANnel1:COUPling AC\n", "CHAN1:COUP?\n", "CHAN1:PROB 100X\n",
    "CHAN1:PROB:TYP AMP\n", "CHAN2:UNIT WATT\n", "CHAN1:BWLimit ON\n", "CHAN1:VERNier ON\n",
    "KEY:CH1:LOCK ON\n", "KEY:CH2:LED?\n", "TRAC:DATA?\n", "KEY:DEFault\n", "NOSuch:COMMand?\n",
    "CHAN1:DISP OFF;:CHAN2:DISP ON\n",
    "SBUS:MODE CAN;:SBUS:CAN:ID \"1X0\"\n", "SBUS:DATA?\n", "SBUS:LIN:DATA \"\\\"01X\"\n",
    "SBUS:RS232:BAUDrate -5;:SBUS:I2C:ADDRess \"1111111111111\"\n",
    "FUNC:DIG1:THR -1-2.5mV;:FUNC:FILT:FREQ:LOW 99999999999999999999K\n",
    "FUNC:FFT:FREQ:CENT 1.5M;:FUNC:FFT:FREQ:BW?;:FUNC:FFT:MARK:THR:LEV 3dBVrms\n",
    "FUNC:FFT:WAT:SLIC -7;:FUNC:FFT:MARK:DATA?\n",
    "SBUS:SPI:WIDTh 4;:SBUS:SPI:FRAMelen 99;:SBUS:SPI:WIDTh 32;:SBUS:SPI:DATA \"1X\"\n",
    "SBUS:I2C:DATA:LEN 9;:SBUS:I2C:DATA \"0000111111110000\";:SBUS:CAN:DATA:LEN -3\n",
    "SBUS:LIN:ID \\\"1X\\\";:SBUS:SPI:TRIGger:TIMeout 1e300;:SBUS:SPI:TRIG:TIM?\n",
]


# USBTMC bulk-OUT transfers (little-endian 12-byte headers, data padded to 4);
# 0xFF 0xFE ends a packet in the usbtmc target's input.
def tmc_out(tag, text, eom=1):
    body = struct.pack("<BBBxIBxxx", 1, tag, ~tag & 0xFF, len(text), eom) + text
    return body + b"\0" * (-len(body) % 4)


def tmc_request(tag, size, term=None):
    return struct.pack("<BBBxIBBxx", 2, tag, ~tag & 0xFF, size, 0 if term is None else 2, term or 0)


PACKET_END = b"\xff\xfe"


def main():
    factory = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build-test/factory")
    data = factory / "Data"
    for f in sorted((data / "Menu/English").glob("*.txt")):
        put("menu_text", f.name, f.read_bytes())
    put("language_list", "Language.txt", (data / "Menu/Language.txt").read_bytes())
    put("msg_text", "MessageEnglish.txt", (data / "Message/MessageEnglish.txt").read_bytes())
    put("help_text", "QelHelpEnglish.txt", (data / "Help/QelHelpEnglish.txt").read_bytes())
    for name in ["ArrowMark/CH1.bmp", "ArrowMark/PreTriger.bmp", "Menu/PageMark.bmp"]:
        put("picture", name.replace("/", "_"), (data / "PicResource" / name).read_bytes())
    put("font", "Arial_9", b"\x00" + (data / "ASCII/Arial_9.dat").read_bytes())
    put("font", "symbol-glyphs", b"\x0c" + (data / "ASCII/SpecialChar.dat").read_bytes())
    put("device_info", "Information", b"\x00" + (data / "Information").read_bytes())
    put("device_info", "SN.txt", b"\x01[SERIAL] QX0001\n")
    bmp_head = b"BM" + struct.pack("<IHHIIiiHHIIiiII", 1152054, 0, 0, 54, 40, 800, 480, 1, 24, 0, 1152000,
                                   2835, 2835, 0, 0)
    put("screenshot_view", "header_only.bmp", bmp_head)
    put("screenshot_view", "short_rows.bmp", bmp_head + bytes(range(256)) * 40)
    cali = factory / "home/user/Hardware/ChCaliDataForQEL2200KS.bin"
    put("cali", "factory.bin", cali.read_bytes())
    put("web_json", "password", b"\x00" + b'{"user_name":"admin","password":"admin"}')
    put("web_json", "remember", b"\x01" + b'{"password_remember":true}')
    for name, text in WEB_CMD_SEEDS:
        put("web_cmd", name, text)
    put("web_json", "config", b"\x02" + b'{"show_material_download_page":false,'
        b'"web_port":9000,"pic_port":9002,"ctrl_port":9001}')
    ini = "[common]\nserver_addr = relay.example.com\nserver_port = 7000\nlogin_fail_exit = false\n"
    for remote, local in [("9000", "9000"), ("9002", "9002"), ("9001", "9001")]:
        ini += (f"[{remote}]\ntype = tcp\nlocal_ip = 127.0.0.1\nlocal_port = {local}\n"
                f"remote_port = {remote}\n")
    put("relay_ini", "factory.ini", ini)
    # Math expressions: a remote text (first byte 0) and a setup block.
    put("math_expr", "text", b"\0Sqrt(CH1*CH1)+Diff(CH2)")
    put("math_expr", "compare", b"\0CH1>=CH2&&CH2<CH1")
    infix = bytes([0, 12, 1]) + b"\xff" * 57
    text = b"CH1*CH2".ljust(60, b"\0")
    adv = (bytes([0, 3]) + infix + b"\xff" * 60 + b"\0" + text + text + b"\1" +
           struct.pack("<IHH", 0x00FFBC00, 3, 0))
    assert len(adv) == 252
    put("math_expr", "setup", b"\1TASK-MATH\r\n" + bytes(23 * 40) + b"\r\n" + adv + b"\r\n\0\1\r\n")
    put("signal_file", "two", "ch1 sine freq=1000 amp=1\n"
        "ch2 pulse freq=10000 amp=1.65 offset=1.65 duty=0.1\n")
    put("signal_file", "all", "# inputs\nch1 square freq=500000 amp=2\n\n"
        "ch2 noise amp=0.5\next triangle freq=1e3 offset=-1\nch1 dc offset=3.3 noise=0.2\n")
    put("signal_file", "buses", "bus uart rate=9600 parity=even interval=0.01 error=2 data=48,69\n"
        "bus i2c rate=100000 interval=0.01 data=50w:a5.01,23r:42\n"
        "bus spi rate=1e6 width=12 interval=0.01 data=abc,123\n"
        "bus can rate=500000 interval=0.01 error=1 data=123:11.22,1abcdefx:01,7f0r\n"
        "bus lin rate=19200 interval=0.02 version=2 on=ch2 data=21:11.22,3c:01\n")
    for i, line in enumerate(SCPI_LINES):
        put("scpi", f"line{i:02}", line)
    put("scpi", "lines", "".join(SCPI_LINES[:5]))
    put("scpi", "setup_block", b"SYSTem:SETup\r\n#210ABCDEFGHIJ\n")
    put("scpi", "config_block", b"CONFIG\r\n#14\x01\x02\x03\x04\n")
    put("vxi11_tcp", "session", b"\x00" + record(create_link, write_idn, read, destroy))
    put("vxi11_tcp", "split", b"\x02" + two_fragments(create_link) + record(write_idn, read))
    put("vxi11_tcp", "portmap", b"\x40" + record(getport, dump))
    put("vxi11_udp", "getport", datagrams(getport))
    put("vxi11_udp", "dump_null", datagrams(dump, call(7, PMAP, 2, 0)))
    put("vxi11_udp", "session", datagrams(create_link, write_idn, read, destroy))
    put("usbtmc", "idn", tmc_out(1, b"*IDN?") + PACKET_END + tmc_request(2, 1000))
    put("usbtmc", "two_transfers", tmc_out(3, b":CHANnel1:", 0) + PACKET_END + tmc_out(4, b"COUPling AC\n"))
    put("usbtmc", "long", tmc_out(5, b":CHANnel1:COUPling DC" + b" " * 979))
    put("usbtmc", "term_char", tmc_out(6, b"*IDN?\n") + PACKET_END + tmc_request(7, 100, ord(",")))
    put("usbtmc", "setup_block", tmc_out(8, b"SYSTem:SETup\r\n") + PACKET_END + tmc_out(9, b"#210ABCDEFGHIJ"))
    put("ws_handshake", "request", HANDSHAKE)
    put("ws_handshake", "request_and_frame", HANDSHAKE + ws_frame(1, b"hello"))
    put("ws_frames", "text", ws_frame(1, b'{"cmd":"run"}'))
    put("ws_frames", "binary", ws_frame(2, bytes(range(200))))
    put("ws_frames", "fragments", ws_frame(1, b"hel", fin=False) + ws_frame(9, b"p")
        + ws_frame(0, b"lo"))
    put("ws_frames", "ping_close", ws_frame(9, b"x") + ws_frame(8, b"\x03\xe8"))
    # Stored files: the setup and the waveform file the instrument writes
    # (FILE:SAVE "SEED.dat",FLASH and FILE:SAVE "SEED.wav",CHANnel1,FLASH)
    # are kept as corpus/setup_file/instrument.dat and corpus/wave_file/ch1.wav;
    # the seeds made here are cut or hand-made from them.
    setup = (CORPUS / "setup_file" / "instrument.dat").read_bytes()
    put("setup_file", "cut.dat", setup[:20000])
    wave = (CORPUS / "wave_file" / "ch1.wav").read_bytes()
    put("wave_file", "ch2_ref.wav", wave[:12] + b"1" + wave[13:])
    put("wave_file", "short.wav", wave[:17473 + 100])


if __name__ == "__main__":
    main()
