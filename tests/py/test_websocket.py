#!/usr/bin/env python3
"""The websocket layer against standard clients: Python's websockets library
and, when it is installed, headless Chromium. Runs tests/ws_echo_server from
the build tree on a loopback port with a fresh instrument root.

Usage: python3 test_websocket.py --build <builddir>
"""
import argparse
import asyncio
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

try:
    import websockets
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-websockets")

from scope_support import WAIT_LIMIT, LineProcess, Tally

CHROMIUM = "/usr/bin/chromium"


class EchoServer(LineProcess):
    """The echo server process and the lines it prints, one per callback."""

    def __init__(self, build, root):
        exe = os.path.join(build, "tests", "ws_echo_server")
        super().__init__([exe, "--root", root, "--port", "0"], stdin=subprocess.PIPE)
        first = self.next_line(WAIT_LIMIT)
        if not first or not first.startswith("listening "):
            raise RuntimeError("echo server did not start: %r" % first)
        self.port = int(first.split()[1])

    def wait_for(self, wanted, timeout=WAIT_LIMIT):
        """Skips lines until one equals `wanted`; True when it came in time."""
        return self.wait_line(lambda line: line == wanted, timeout) is not None

    def stop(self):
        self.proc.stdin.close()
        return self.wait_exit(10)


async def echo_text_and_binary(srv, url):
    async with websockets.connect(url, max_size=None) as ws:
        await ws.send("hello \u00fc\u00f1\u00ee\u00e7\u00f8d\u00e9 \u2603")
        assert await ws.recv() == "hello \u00fc\u00f1\u00ee\u00e7\u00f8d\u00e9 \u2603"
        data = bytes(range(256)) * 16
        await ws.send(data)
        assert await ws.recv() == data
        big = bytes((i * 7) & 255 for i in range(1048576))
        await ws.send(big)
        assert await ws.recv() == big
        await ws.send(b"")
        assert await ws.recv() == b""
    assert srv.wait_for("close"), "close callback after the client's close"


async def fragments_and_ping(srv, url):
    async with websockets.connect(url) as ws:
        await ws.send(["one ", "two ", "three"])  # three frames
        assert await ws.recv() == "one two three"
        pong = await ws.ping(b"are you there")
        await asyncio.wait_for(pong, WAIT_LIMIT)
    assert srv.wait_for("message 1 13 one two three")


async def client_close_code(srv, url):
    ws = await websockets.connect(url)
    await ws.close(1000, "bye")
    # The server answers with a close frame without a status.
    assert ws.close_code == 1005, ws.close_code


async def too_big_is_1009(srv, url):
    async with websockets.connect(url, max_size=None) as ws:
        try:
            # Refused from the header alone: the close may come while sending.
            await ws.send(bytes(1048577))
            await asyncio.wait_for(ws.recv(), WAIT_LIMIT)
            raise AssertionError("a frame over 1 MiB was accepted")
        except websockets.ConnectionClosed as e:
            assert e.rcvd is not None and e.rcvd.code == 1009, e
            assert e.rcvd.reason == "Frame is too big", e.rcvd.reason


async def close_from_own_callback(srv, url):
    ws = await websockets.connect(url)
    await ws.send("close-me")
    try:
        await asyncio.wait_for(ws.recv(), WAIT_LIMIT)
        raise AssertionError("connection stayed open")
    except websockets.ConnectionClosed as e:
        assert e.rcvd is None, "no close frame is sent"
    async with websockets.connect(url) as again:
        await again.send("after")
        assert await again.recv() == "after"
    assert srv.alive()


async def many_clients(srv, url):
    async def one(i):
        async with websockets.connect(url) as ws:
            for j in range(10):
                await ws.send("c%d-%d" % (i, j))
                assert await ws.recv() == "c%d-%d" % (i, j)
    await asyncio.wait_for(asyncio.gather(*(one(i) for i in range(40))), 60)


PAGE = """<!doctype html><html><body><script>
const ws = new WebSocket("ws://127.0.0.1:%d/page");
ws.binaryType = "arraybuffer";
let step = 0;
function fail(why) { ws.send("chromium-fail " + why); }
ws.onopen = () => ws.send("chromium text \\u00fc\\u2603");
ws.onmessage = (e) => {
  if (step === 0) {
    if (e.data !== "chromium text \\u00fc\\u2603") return fail("text");
    step = 1;
    const b = new Uint8Array(70000);
    for (let i = 0; i < b.length; i++) b[i] = (i * 13) & 255;
    ws.send(b);
  } else if (step === 1) {
    const b = new Uint8Array(e.data);
    if (b.length !== 70000) return fail("length " + b.length);
    for (let i = 0; i < b.length; i++) if (b[i] !== ((i * 13) & 255)) return fail("byte " + i);
    step = 2;
    ws.send("chromium-ok");
  } else {
    ws.close(1000);
  }
};
</script></body></html>
"""


def chromium_check(srv, tmp):
    if not os.path.exists(CHROMIUM):
        print("skipped: chromium (not installed at %s)" % CHROMIUM)
        return None
    page = os.path.join(tmp, "page.html")
    with open(page, "w") as f:
        f.write(PAGE % srv.port)
    profile = tempfile.mkdtemp(prefix="ws-chromium-")
    args = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
            "--no-first-run", "--disable-background-networking", "--disable-component-update",
            "--disable-sync", "--user-data-dir=" + profile, "file://" + page]
    srv.drain()
    proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    try:
        ok = srv.wait_for("message 1 11 chromium-ok", 60)
        closed = ok and srv.wait_for("close", 10)
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
    assert ok, "chromium did not echo text and binary"
    assert closed, "chromium's close did not reach the close callback"
    return True


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    build = os.path.abspath(ap.parse_args().build)
    tmp = tempfile.mkdtemp(prefix="ws-py-")
    srv = EchoServer(build, os.path.join(tmp, "root"))
    url = "ws://127.0.0.1:%d/" % srv.port
    tally = Tally()
    for case in (echo_text_and_binary, fragments_and_ping, client_close_code, too_big_is_1009,
                 close_from_own_callback, many_clients):
        tally.run(case.__name__, lambda: asyncio.run(asyncio.wait_for(case(srv, url), 90)))
    tally.run("chromium_check",
              lambda: None if chromium_check(srv, tmp) is not None else "chromium is not installed")
    return tally.finish(srv, "echo server", tmp)

if __name__ == "__main__":
    sys.exit(main())
