#!/usr/bin/env python3
"""Drags and clicks on the web screen in the zoom, alternate and XY-with-cursors
layouts and on the math expression keypad, sent with Python's websockets to
the command server of a running scopeapp; each checked through VXI-11
(pyvisa) by the setting it changed, and against the same change made with
the front-panel keys (KEY: commands).

Usage: python3 test_web_screen_layouts.py --build <builddir>
"""
import asyncio
import sys
import time

try:
    import websockets  # noqa: F401  (the helpers below use it)
    import pyvisa  # noqa: F401
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-websockets and python3-pyvisa-py")

from scope_support import WAIT_LIMIT, Tally, wait_frames
from test_vxi11 import open_instr
from test_web_control import lcd, login, request, start_web_instrument

PRESS, RELEASE, MOVE = 1, 2, 3
# Waits count the frames the main loop shows (the simulated LCD's counter, root/dev/frames),
# so a loaded machine makes them slower, never too short.
SETTLE = 3  # the main loop has taken the posted keys and input and drawn the result
RELOAD = 30  # the independent time bases have reloaded the FPGA in the main loop
ROOT = None  # the instrument's root, set by main()


def settle(count=SETTLE):
    """Returns once the main loop has shown `count` more frames."""
    wait_frames(ROOT, count)


class Scope:
    def __init__(self, rm):
        self.s = open_instr(rm)

    def set(self, *lines):
        for line in lines:
            self.s.write(line)
        self.ask("*OPC?")
        settle()

    def ask(self, line):
        return self.s.query(line).strip()

    def num(self, line):
        return int(float(self.ask(line)))

    def position(self, ch):
        """A trace position: the answer is a little-endian 16-bit code."""
        self.s.write(":CHANnel%d:POSition?" % ch)
        return int.from_bytes(self.s.read_raw()[:2], "little", signed=True)

    def until(self, read, want, limit=WAIT_LIMIT):
        """`read()` once it gives `want` (the main loop has taken the posted keys), or its last answer."""
        end = time.monotonic() + limit
        got = read()
        while got != want and time.monotonic() < end:
            time.sleep(0.2)
            got = read()
        return got

    def keys(self, name, count):
        for _ in range(count):
            self.s.write(":KEY:" + name)
        self.ask("*OPC?")
        settle()


async def drag(ws, uuid, x0, y0, x1, y1):
    """A press, a 6-pixel move that makes it a drag, the move to the end, the release."""
    sx = (x1 > x0) - (x1 < x0)
    sy = (y1 > y0) - (y1 < y0)
    await lcd(ws, uuid, PRESS, x0, y0)
    await lcd(ws, uuid, MOVE, x0 + 6 * sx, y0 + 6 * sy)
    await lcd(ws, uuid, MOVE, x1, y1)
    await lcd(ws, uuid, RELEASE, x1, y1)
    settle()


async def click(ws, uuid, x, y):
    await lcd(ws, uuid, PRESS, x, y)
    await lcd(ws, uuid, RELEASE, x, y)
    settle()


async def session(web, body):
    ws = await login(web, "layouts")
    try:
        await body(ws)
    finally:
        await request(ws, {"req_type": "signout", "uuid": "layouts"}, expect_reply=False)
        await ws.close()


def zoom_drag(web, scope):
    """Zoom: CH1's marker at 305 - 1.4 (p - 127); 28 pixels up are 20 steps of its knob."""
    scope.set(":TIMebase:MODE WINDow")
    assert scope.ask(":TIMebase:MODE?") == "WINDow"
    start = scope.position(1)
    row = int(305 - 1.4 * (start - 127))

    async def body(ws):
        await drag(ws, "layouts", 300, row, 300, row - 28)

    try:
        asyncio.run(session(web, body))
        assert scope.until(lambda: scope.position(1), start + 20) == start + 20
        scope.keys("VPKNLeft", 20)  # the knob's 20 steps back
        assert scope.until(lambda: scope.position(1), start) == start
    finally:
        scope.set(":TIMebase:MODE MAIN")


def alternate_halves(web, scope):
    """Independent time bases: a press in a half selects its channel, a drag there moves it by the pixels."""
    scope.set(":CHANnel2:DISPlay ON", ":TIMebase:INDPendent ON")
    settle(RELOAD)
    try:
        ch1, ch2 = scope.position(1), scope.position(2)
        row = 333 + 127 - ch2

        async def body(ws):
            await click(ws, "layouts", 300, 180)  # CH1's half: CH1 becomes the active channel
            await click(ws, "layouts", 300, 420)  # CH2's half: CH2 becomes the active one
            await drag(ws, "layouts", 300, row, 300, row + 24)

        asyncio.run(session(web, body))
        assert scope.until(lambda: scope.position(2), ch2 - 24) == ch2 - 24, (ch2, scope.position(2))
        assert scope.position(1) == ch1
        scope.keys("VPKNRight", 24)  # the same knob, on the active channel, brings CH2 back
        assert scope.until(lambda: scope.position(2), ch2) == ch2
    finally:
        scope.set(":TIMebase:INDPendent OFF")
        settle(RELOAD)


def xy_cursor_lines(web, scope):
    """XY with amplitude cursors: grabbing Y line B makes it the knob's line and moves it with the pointer."""
    scope.set(":DISPlay:TYPE XY12")
    scope.set(":KEY:CURSor")
    try:
        scope.set(":CURSor:TYPE Y")
        assert scope.ask(":CURSor:TYPE?") == "AMPlitude"
        x_b = scope.num(":CURSor:CURB?")  # the X-axis lines are the knob's first

        async def body(ws):
            # Y line B starts at row 340, 70 rows under line A and 35 under CH2's row.
            await drag(ws, "layouts", 60, 340, 60, 315)

        asyncio.run(session(web, body))
        # The pushes made Y line B the knob's: its row from the grid's top.
        moved = scope.until(lambda: scope.num(":CURSor:CURB?"), 315 - 165)
        assert moved == 315 - 165, (x_b, moved)
        scope.keys("FKNRight", 25)  # the select knob lowers an XY Y line by a row a step
        assert scope.until(lambda: scope.num(":CURSor:CURB?"), moved + 25) == moved + 25
    finally:
        scope.set(":CURSor:TYPE CLOSe", ":DISPlay:TYPE YT")


def math_keypad(web, scope):
    """The expression keypad: clicks on CH1, "*" and CH2 write the expression; its close box closes it."""
    scope.set(":KEY:MATH")
    scope.set(":FUNCtion:MATH:MODE ADVance")
    scope.set(":KEY:F2")  # the keypad opens on CH1

    async def body(ws):
        await click(ws, "layouts", 208, 216)  # row 0, key 0: CH1
        await click(ws, "layouts", 184 + 2 * 32 + 16, 266)  # row 2, key 12: "*"
        await click(ws, "layouts", 184 + 48 + 24, 216)  # row 0, key 1: CH2
        await click(ws, "layouts", 184 + 3 * 48 + 24, 241)  # a function may not follow a source here
        await click(ws, "layouts", 600, 160)  # the close box (F2)

    asyncio.run(session(web, body))
    assert scope.until(lambda: scope.ask(":FUNCtion:EXPRession?"), "CH1*CH2") == "CH1*CH2"


def main():
    global ROOT
    inst, rm, web, tmp = start_web_instrument("web-layouts-")
    ROOT = web.root
    scope = Scope(rm)
    tally = Tally()
    for case in (zoom_drag, alternate_halves, xy_cursor_lines, math_keypad):
        tally.run(case.__name__, lambda: case(web, scope))
    scope.s.close()
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
