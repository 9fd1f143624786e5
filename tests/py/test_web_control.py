#!/usr/bin/env python3
"""Web control against standard clients: Python's websockets library on the
command server (JSON requests, login, heartbeat, keys, screen input) and the
picture server (JPEG decoded with PIL against the frame buffer), and headless
Chromium driving the page of tools/webcontrol. Runs scopeapp from the build
tree with a fresh instrument root on loopback ports.

Usage: python3 test_web_control.py --build <builddir>
"""
import argparse
import asyncio
import base64
import io
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

try:
    import websockets
    import pyvisa
    from PIL import Image, ImageChops, ImageStat
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-websockets, python3-pyvisa-py and python3-pil")

from scope_support import WAIT_LIMIT, Tally, free_port
from test_vxi11 import Instrument, open_instr

CHROMIUM = "/usr/bin/chromium"
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
JPEG_TOLERANCE = 12  # mean absolute difference per colour byte, JPEG at quality 80 and a live screen


def wait_listening(port, limit=WAIT_LIMIT):
    """Start-up opens the web servers after the instrument answers; wait for them."""
    end = time.monotonic() + limit
    while time.monotonic() < end:
        try:
            socket.create_connection(("127.0.0.1", port), 0.5).close()
            return
        except OSError:
            time.sleep(0.1)
    raise AssertionError("nothing listens on port %d" % port)


class Web:
    def __init__(self, root, ctrl, pic):
        self.root, self.ctrl, self.pic = root, ctrl, pic
        self.ctrl_url = "ws://127.0.0.1:%d/" % ctrl
        self.pic_url = "ws://127.0.0.1:%d/" % pic

    def password(self):
        with open(os.path.join(self.root, "WebServer/static/password.json")) as f:
            return json.load(f)["password"]

    def screen(self):
        """The frame buffer as shown (800 x 480, 0x00RRGGBB little-endian)."""
        with open(os.path.join(self.root, "dev/fb0"), "rb") as f:
            raw = f.read(800 * 480 * 4)
        return Image.frombytes("RGB", (800, 480), raw, "raw", "BGRX")

    def shell_log(self):
        with open(os.path.join(self.root, "dev/shell.log")) as f:
            return f.read()


async def request(ws, obj, expect_reply=True, timeout=WAIT_LIMIT):
    await ws.send(json.dumps(obj))
    if not expect_reply:
        return None
    return await asyncio.wait_for(ws.recv(), timeout)


async def no_reply(ws, obj, wait=0.5):
    await ws.send(json.dumps(obj))
    try:
        text = await asyncio.wait_for(ws.recv(), wait)
    except asyncio.TimeoutError:
        return True
    raise AssertionError("unexpected reply %r" % text)


async def closed_by_server(ws, timeout=WAIT_LIMIT):
    try:
        await asyncio.wait_for(ws.recv(), timeout)
    except websockets.ConnectionClosed:
        return True
    return False


async def login(web, uuid):
    """A session for `uuid`. After a wrong password the address waits a while
    before a login is checked again, so a refused one is tried again."""
    ws = await websockets.connect(web.ctrl_url)
    end = time.monotonic() + WAIT_LIMIT
    while True:
        reply = await request(ws, {"req_type": "login", "uuid": uuid, "user_name": "admin",
                                   "password": web.password()})
        if reply != '{"reply_type":"login_res","status":"failed"}' or time.monotonic() > end:
            break
        await asyncio.sleep(0.2)
    assert reply == '{"reply_type":"login_res","status":"success"}', reply
    return ws


def visa(rm, line):
    s = open_instr(rm)
    try:
        return s.query(line).strip()
    finally:
        s.close()


async def gate_and_login(web, rm):
    async with websockets.connect(web.ctrl_url) as ws:
        assert await request(ws, {"req_type": "ping", "uuid": "a"}) == '{"reply_type":"pong"}'
        reply = await request(ws, {"req_type": "login", "uuid": "a", "user_name": "admin", "password": "wrong"})
        assert reply == '{"reply_type":"login_res","status":"failed"}', reply
        await ws.send(json.dumps({"req_type": "led_status", "uuid": "a"}))
        assert await closed_by_server(ws), "a request without a session keeps its connection"
    ws = await login(web, "owner")
    try:
        # A second login, even with the right password, loses its connection.
        other = await websockets.connect(web.ctrl_url)
        await other.send(json.dumps({"req_type": "login", "uuid": "other", "user_name": "admin",
                                     "password": web.password()}))
        assert await closed_by_server(other)
        # The session's uuid from another connection does not pass.
        thief = await websockets.connect(web.ctrl_url)
        await thief.send(json.dumps({"req_type": "led_status", "uuid": "owner"}))
        assert await closed_by_server(thief)
        # Bad requests are ignored and the server keeps serving.
        for bad in ("not json", "[1,2]", '{"uuid":"owner"}', '{"req_type":"lcd_area_control","uuid":"owner","x":"a"}',
                    '{"req_type":"lcd_area_control","uuid":"owner","event_type":1,"x":70000,"y":1}',
                    '{"req_type":"web_control_password_remember","uuid":"owner","password_remember":"yes"}'):
            await ws.send(bad)
        assert await request(ws, {"req_type": "ping", "uuid": "owner"}) == '{"reply_type":"pong"}'
        # The LEDs as the instrument reports them over VXI-11.
        led = visa(rm, ":KEY:LED?")
        on = lambda c: "on" if c == "1" else "off"
        expected = json.dumps({"reply_type": "led_status", "run": "off" if led[3] == "0" else "on",
                               "math": on(led[2]), "ch1": on(led[0]), "ch2": on(led[1])}, separators=(",", ":"))
        assert await request(ws, {"req_type": "led_status", "uuid": "owner"}) == expected
        # RUN/STOP by button name: no reply, the run LED follows.
        await no_reply(ws, {"req_type": "key", "uuid": "owner", "key_id": "RUN_STOP"})
        assert (await answer_until(rm, ":KEY:LED?", lambda a: a[3] != led[3]))[3] != led[3], \
            "RUN_STOP did not change the run state"
        await no_reply(ws, {"req_type": "key", "uuid": "owner", "key_id": "RUN_STOP"})
        assert await answer_until(rm, ":KEY:LED?", lambda a: a == led) == led
        await no_reply(ws, {"req_type": "key", "uuid": "owner", "key_id": "NO SUCH KEY"})
        # info and lan_info carry what the instrument reports over VXI-11.
        lan = {k: visa(rm, ":SYSTem:COMMunicate:LAN:%s?" % q).strip('"')
               for k, q in (("ip", "IPADdress"), ("mask", "SMASK"), ("gateway", "GATEway"))}
        idn = visa(rm, "*IDN?").split(",")
        info = json.loads(await request(ws, {"req_type": "info", "uuid": "x"}))
        assert info["status"] == "success", info
        assert [info[k] for k in ("manufactures", "model", "sn", "firmware_version")] == idn, (info, idn)
        assert {k: info[k] for k in lan} == lan, (info, lan)
        assert info["mac"] == visa(rm, ":SYSTem:COMMunicate:LAN:MAC?").strip('"'), info
        lan_info = json.loads(await request(ws, {"req_type": "lan_info", "uuid": "owner"}))
        dhcp = "DHCP" if "1" in visa(rm, ":SYSTem:COMMunicate:LAN:DHCP?") else "STATIC"
        assert lan_info["status"] == "success" and lan_info["type"] == dhcp, lan_info
        assert {k: lan_info[k] for k in lan} == lan, (lan_info, lan)
        # DHCP only posts its command and restarts nothing.
        before = web.shell_log()
        assert await request(ws, {"req_type": "lan_config", "uuid": "owner", "type": "DHCP"}) == \
            '{"reply_type":"lan_config","status":"success"}'
        assert web.shell_log() == before
        # A configuration with any field refused changes nothing: DHCP stays on,
        # the addresses stay, nothing is restarted.
        kept = {q: visa(rm, ":SYSTem:COMMunicate:LAN:%s?" % q) for q in ("DHCP", "IPADdress", "SMASK", "GATEway")}
        assert "1" in kept["DHCP"], kept
        for ip, mask, gateway in (("300.1.1.1", "255.0.0.0", "10.0.0.1"), ("10.0.0.300", "255.0.0.0", "10.0.0.1"),
                                  ("10.0.0.9", "255.0.255.0", "10.0.0.1"), ("10.0.0.9", "255.0.0.0", "10.0.0"),
                                  ("10.0.0.9", "255.0.0.0", "10.0.0.1 "), ("10.0.0.9", "", "10.0.0.1"),
                                  ("10.0.0.9\"\n*RST", "255.0.0.0", "10.0.0.1")):
            reply = await request(ws, {"req_type": "lan_config", "uuid": "owner", "type": "STATIC", "ip": ip,
                                       "mask": mask, "gateway": gateway})
            assert reply == '{"reply_type":"lan_config","status":"failed"}', (ip, mask, gateway, reply)
        assert {q: visa(rm, ":SYSTem:COMMunicate:LAN:%s?" % q) for q in kept} == kept
        assert web.shell_log() == before, web.shell_log()[len(before):]
        # A static address is reported as taken once the instrument reports it
        # back; the web server and the relay client are then restarted.
        reply = await request(ws, {"req_type": "lan_config", "uuid": "owner", "type": "STATIC", "ip": "10.0.0.9",
                                   "mask": "255.0.0.0", "gateway": "10.0.0.1"})
        assert reply == '{"reply_type":"lan_config","status":"success"}', reply
        assert visa(rm, ":SYSTem:COMMunicate:LAN:IPADdress?").strip('"') == "10.0.0.9"
        assert visa(rm, ":SYSTem:COMMunicate:LAN:GATEway?").strip('"') == "10.0.0.1"
        assert "killall webserver" in web.shell_log()[len(before):]
        before = web.shell_log()
        reply = await request(ws, {"req_type": "frp_config", "uuid": "owner", "frp_server_ip": "relay.example",
                                   "web_port": "19000", "pic_port": "19002", "ctrl_port": "19001"})
        assert reply == '{"reply_type":"frp_config","status":"success"}', reply
        assert "killall frpc" in web.shell_log()[len(before):]
        reply = await request(ws, {"req_type": "web_control_password_config", "uuid": "owner", "password": "n3w"})
        assert reply == '{"reply_type":"web_control_password_config","status":"success"}'
        assert web.password() == "n3w"
        await no_reply(ws, {"req_type": "signout", "uuid": "owner"})
    finally:
        # Signed out even when a check failed, so later cases get the session.
        await request(ws, {"req_type": "signout", "uuid": "owner"}, expect_reply=False)
        await ws.close()
    # Signed out: a new login succeeds.
    ws = await login(web, "again")
    await request(ws, {"req_type": "signout", "uuid": "again"}, expect_reply=False)
    await ws.close()


async def heartbeat(web, rm):
    kept = await login(web, "kept")
    for _ in range(4):  # a ping every 3 s keeps the session past the 9 s limit
        await asyncio.sleep(3)
        assert await request(kept, {"req_type": "ping", "uuid": "kept"}) == '{"reply_type":"pong"}'
    await kept.send(json.dumps({"req_type": "led_status", "uuid": "kept"}))
    assert "led_status" in await asyncio.wait_for(kept.recv(), WAIT_LIMIT)
    # Silence: the session goes and its connection is closed.
    assert await closed_by_server(kept), "a silent session was kept"
    ws = await login(web, "after")  # the slot is free again
    await request(ws, {"req_type": "signout", "uuid": "after"}, expect_reply=False)
    await ws.close()


async def lcd(ws, uuid, event, x, y, wheel=0, key=""):
    await ws.send(json.dumps({"req_type": "lcd_area_control", "uuid": uuid, "event_type": event, "x": x, "y": y,
                              "wheel_direction": wheel, "key_code": key}))


async def click(ws, uuid, x, y):
    await lcd(ws, uuid, 1, x, y)
    await lcd(ws, uuid, 2, x, y)


async def screen_input(web, rm):
    ws = await login(web, "mouse")
    try:
        # The wheel over the time-base label turns the time base one step.
        before = float(visa(rm, ":TIMebase:SCALe?"))
        await lcd(ws, "mouse", 4, 140, 14, wheel=0)
        after = float(await answer_until(rm, ":TIMebase:SCALe?", lambda a: float(a) > before))
        assert after > before, (before, after)
        await lcd(ws, "mouse", 4, 140, 14, wheel=1)
        assert float(await answer_until(rm, ":TIMebase:SCALe?", lambda a: float(a) == before)) == before
        # A click on the CH2 label switches CH2 on, as its key does.
        await click(ws, "mouse", 260, 460)
        assert (await answer_until(rm, ":KEY:LED?", lambda a: a[1] == "1"))[1] == "1"
        # A click in the first soft-key box opens CH2's first item (its choice list).
        pop = (575, 35, 675, 435)
        shot = web.screen().crop(pop)
        await click(ws, "mouse", 730, 70)
        changed = lambda: max(ImageStat.Stat(ImageChops.difference(shot, web.screen().crop(pop))).mean) > 5
        assert await until(changed), "the soft key's list did not open"
        await click(ws, "mouse", 730, 70)  # closes it again
    finally:
        await request(ws, {"req_type": "signout", "uuid": "mouse"}, expect_reply=False)
        await ws.close()


async def pictures(web, rm):
    async with websockets.connect(web.pic_url, max_size=None) as ws:
        for message in ("", "any text", b"\x00\x01"):
            await ws.send(message)
            data = await asyncio.wait_for(ws.recv(), WAIT_LIMIT)
            assert isinstance(data, bytes) and data[:2] == b"\xff\xd8", "not a JPEG"
            picture = Image.open(io.BytesIO(data))
            assert picture.size == (800, 480)
            diff = ImageStat.Stat(ImageChops.difference(picture.convert("RGB"), web.screen())).mean
            assert max(diff) < JPEG_TOLERANCE, diff
        # Pictures per second served to one client.
        start, n = time.monotonic(), 0
        while time.monotonic() - start < 3:
            await ws.send("p")
            await ws.recv()
            n += 1
        print("pictures per second: %.1f" % (n / (time.monotonic() - start)))


class Cdp:
    """Chromium's DevTools protocol over its websocket."""

    def __init__(self, ws):
        self.ws, self.id = ws, 0

    async def call(self, method, **params):
        self.id += 1
        await self.ws.send(json.dumps({"id": self.id, "method": method, "params": params}))
        while True:
            msg = json.loads(await asyncio.wait_for(self.ws.recv(), WAIT_LIMIT))
            if msg.get("id") == self.id:
                if "error" in msg:
                    raise RuntimeError(msg["error"])
                return msg.get("result", {})

    async def eval(self, expression):
        r = await self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        return r.get("result", {}).get("value")

    async def wait(self, expression, timeout=WAIT_LIMIT):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if await self.eval(expression):
                return True
            await asyncio.sleep(0.2)
        return False

    async def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            await self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)

    async def drag(self, x, y, steps):
        """The left button pressed at (x, y), moved across by each of `steps` pixels, released there."""
        await self.call("Input.dispatchMouseEvent", type="mousePressed", x=x, y=y, button="left", clickCount=1)
        for dx in steps:
            await self.call("Input.dispatchMouseEvent", type="mouseMoved", x=x + dx, y=y, button="left", buttons=1)
        await self.call("Input.dispatchMouseEvent", type="mouseReleased", x=x + steps[-1], y=y, button="left",
                        clickCount=1)


async def drive_page(web, rm, port):
    targets = []
    end = time.monotonic() + WAIT_LIMIT
    while time.monotonic() < end:
        try:
            targets = json.load(urllib.request.urlopen("http://127.0.0.1:%d/json" % port, timeout=5))
        except OSError:
            targets = []
        if any(t.get("type") == "page" for t in targets):
            break
        await asyncio.sleep(0.2)
    page = next(t for t in targets if t.get("type") == "page")
    async with websockets.connect(page["webSocketDebuggerUrl"], max_size=None) as ws:
        cdp = Cdp(ws)
        await cdp.call("Runtime.enable")
        # The target starts on about:blank, itself complete: wait for the page's own document.
        assert await cdp.wait("document.getElementById('go') !== null && document.readyState === 'complete'"), \
            "the page did not load"
        await cdp.eval("document.getElementById('password').value = 'wrong'; document.getElementById('go').click()")
        assert await cdp.wait("document.body.dataset.login === 'failed'"), \
            "a wrong password was taken: %r" % await cdp.eval("document.getElementById('status').textContent")
        # A wrong password costs its address a wait: the right one is sent again
        # until it is taken.
        end = time.monotonic() + WAIT_LIMIT
        while True:
            await cdp.eval("delete document.body.dataset.login; document.getElementById('password').value = %s;"
                           " document.getElementById('go').click()" % json.dumps(web.password()))
            assert await cdp.wait("document.body.dataset.login !== undefined"), "no answer to the login"
            if await cdp.eval("document.body.dataset.login") != "failed" or time.monotonic() > end:
                break
            await asyncio.sleep(0.2)
        assert await cdp.wait("document.body.dataset.login === 'success'"), "the page did not log in"
        assert await cdp.wait("Number(document.body.dataset.pictures || 0) >= 3"), "no picture stream"
        box = await cdp.eval("(() => { const r = document.getElementById('screen').getBoundingClientRect();"
                             " return [r.left, r.top]; })()")
        shot = await cdp.call("Page.captureScreenshot", format="png")
        image = Image.open(io.BytesIO(base64.b64decode(shot["data"]))).convert("RGB")
        left, top = int(round(box[0])), int(round(box[1]))
        shown = image.crop((left, top, left + 800, top + 480))
        diff = ImageStat.Stat(ImageChops.difference(shown, web.screen())).mean
        assert max(diff) < JPEG_TOLERANCE, "the browser does not show the instrument's screen: %r" % diff
        # The mouse wheel over the time-base label in the browser turns the time base.
        before = float(visa(rm, ":TIMebase:SCALe?"))
        await cdp.call("Input.dispatchMouseEvent", type="mouseWheel", x=left + 140, y=top + 14, deltaX=0,
                       deltaY=-100)
        assert float(await answer_until(rm, ":TIMebase:SCALe?", lambda a: float(a) > before)) > before, \
            "the browser's wheel did not reach the instrument"
        # A click on the CH1 label in the browser presses CH1, as on the panel.
        led = visa(rm, ":KEY:LED?")
        await cdp.click(left + 80, top + 460)
        await cdp.click(left + 80, top + 460)
        assert (await answer_until(rm, ":KEY:LED?", lambda a: a[0] != led[0]))[0] != led[0], \
            "the browser's click did not reach the instrument"
        # Drags in the browser over the background move the pre-trigger, 40 steps right and back.
        before = visa(rm, ":TIMebase:OFFSet?")
        await cdp.drag(left + 300, top + 100, (6, 40))
        moved = await answer_until(rm, ":TIMebase:OFFSet?", lambda a: a != before)
        assert moved != before, "the browser's drag did not reach the instrument"
        await cdp.drag(left + 340, top + 100, (-6, -40))
        back = await answer_until(rm, ":TIMebase:OFFSet?", lambda a: a == before)
        assert back == before, (before, moved, back)


async def until(done, limit=WAIT_LIMIT):
    """Whether `done()` comes to hold within `limit` seconds (the main loop takes posted keys and
    redraws in its own time)."""
    end = time.monotonic() + limit
    while not done():
        if time.monotonic() >= end:
            return False
        await asyncio.sleep(0.1)
    return True


async def answer_until(rm, line, done, limit=WAIT_LIMIT):
    """The answer once `done` holds for it, or the last one."""
    answer = [visa(rm, line)]

    def check():
        answer[0] = visa(rm, line)
        return done(answer[0])

    if not done(answer[0]):
        await until(check, limit)
    return answer[0]


def chromium_page(web, rm, tmp):
    if not os.path.exists(CHROMIUM):
        return "chromium is not installed"
    page = os.path.join(SOURCE, "tools", "webcontrol", "index.html")
    url = "file://%s?ctrl=ws://127.0.0.1:%d&pic=ws://127.0.0.1:%d" % (page, web.ctrl, web.pic)
    port = free_port()
    profile = tempfile.mkdtemp(prefix="web-chromium-")
    args = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--window-size=1000,800", "--remote-debugging-address=127.0.0.1",
            "--remote-debugging-port=%d" % port, "--user-data-dir=" + profile, url]
    proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        asyncio.run(asyncio.wait_for(drive_page(web, rm, port), 4 * WAIT_LIMIT))
    finally:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait(timeout=10)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        shutil.rmtree(profile, ignore_errors=True)
    return None


def start_web_instrument(prefix):
    """scopeapp from --build with a fresh root under a new temporary folder and
    its web servers on free loopback ports: (instrument, VISA manager, Web, folder)."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix=prefix)
    ctrl, pic = free_port(), free_port()
    os.environ["SCOPE_WS_CMD_PORT"] = str(ctrl)
    os.environ["SCOPE_WS_PIC_PORT"] = str(pic)
    root = os.path.join(tmp, "root")
    inst = Instrument(build, root, False)
    import pyvisa_py.protocols.rpc as rpc
    rpc.PMAP_PORT = inst.portmap
    rm = pyvisa.ResourceManager("@py")
    wait_listening(ctrl)
    wait_listening(pic)
    return inst, rm, Web(root, ctrl, pic), tmp


def main():
    inst, rm, web, tmp = start_web_instrument("web-py-")
    tally = Tally()
    for case in (gate_and_login, screen_input, pictures, heartbeat):
        tally.run(case.__name__, lambda: asyncio.run(asyncio.wait_for(case(web, rm), 90)))
    tally.run("chromium_page", lambda: chromium_page(web, rm, tmp))
    rm.close()
    return tally.finish(inst, "scopeapp", tmp)


if __name__ == "__main__":
    sys.exit(main())
