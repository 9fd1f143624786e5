#!/usr/bin/env python3
"""Benchmark (not a test): the pictures a second the web page of
tools/webcontrol asks for and shows in headless Chromium, on an idle
instrument, while the page is shown and while it is hidden (its
visibilityState made "hidden" and the change announced, as a browser does for
a background tab). With --before <page.html> the same runs with that page
first (an older version of the page, e.g. `git show <rev>:tools/webcontrol/index.html`).

Usage: python3 bench_web_page.py --build <builddir> [--before <page.html>] [--seconds 10]
"""
import argparse
import asyncio
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

try:
    import websockets
    import pyvisa
except ImportError:
    from scope_support import system_python_or_exit

    system_python_or_exit("python3-websockets and python3-pyvisa-py")

import pyvisa_py.protocols.rpc as rpc
from scope_support import WAIT_LIMIT, free_port
from test_vxi11 import Instrument
from test_web_control import CHROMIUM, SOURCE, Cdp, Web, wait_listening

HIDE = ("Object.defineProperty(document, 'visibilityState', {value: 'hidden', configurable: true});"
        " document.dispatchEvent(new Event('visibilitychange'))")
SHOW = ("Object.defineProperty(document, 'visibilityState', {value: 'visible', configurable: true});"
        " document.dispatchEvent(new Event('visibilitychange'))")
COUNT = "Number(document.body.dataset.pictures || 0)"


async def rates(port, password, seconds):
    targets = []
    end = time.monotonic() + WAIT_LIMIT
    while time.monotonic() < end and not any(t.get("type") == "page" for t in targets):
        try:
            targets = json.load(urllib.request.urlopen("http://127.0.0.1:%d/json" % port, timeout=5))
        except OSError:
            await asyncio.sleep(0.2)
    page = next(t for t in targets if t.get("type") == "page")
    async with websockets.connect(page["webSocketDebuggerUrl"], max_size=None) as ws:
        cdp = Cdp(ws)
        await cdp.call("Runtime.enable")
        assert await cdp.wait("document.getElementById('go') !== null && document.readyState === 'complete'")
        await cdp.eval("document.getElementById('password').value = %s; document.getElementById('go').click()"
                       % json.dumps(password))
        assert await cdp.wait("document.body.dataset.login === 'success'"), "no login"
        assert await cdp.wait(COUNT + " >= 3"), "no pictures"
        out = {}
        for state, script in (("shown", None), ("hidden", HIDE)):
            if script:
                await cdp.eval(script)
                await asyncio.sleep(1)  # the request in flight is answered
            n0, t0 = await cdp.eval(COUNT), time.monotonic()
            await asyncio.sleep(seconds)
            n1, t1 = await cdp.eval(COUNT), time.monotonic()
            out[state] = (n1 - n0) / (t1 - t0)
        await cdp.eval(SHOW)
        assert await cdp.wait(COUNT + " >= %d" % (n1 + 3)), "the pictures did not resume once shown"
        return out


def run(build, page, seconds):
    tmp = tempfile.mkdtemp(prefix="bench-web-")
    ctrl, pic = free_port(), free_port()
    os.environ["SCOPE_WS_CMD_PORT"] = str(ctrl)
    os.environ["SCOPE_WS_PIC_PORT"] = str(pic)
    root = os.path.join(tmp, "root")
    inst = Instrument(build, root, False)
    rpc.PMAP_PORT = inst.portmap
    wait_listening(ctrl)
    wait_listening(pic)
    web = Web(root, ctrl, pic)
    port = free_port()
    url = "file://%s?ctrl=ws://127.0.0.1:%d&pic=ws://127.0.0.1:%d" % (page, ctrl, pic)
    args = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--window-size=1000,800", "--remote-debugging-address=127.0.0.1",
            "--remote-debugging-port=%d" % port, "--user-data-dir=" + os.path.join(tmp, "profile"), url]
    proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        return asyncio.run(asyncio.wait_for(rates(port, web.password(), seconds), 4 * WAIT_LIMIT))
    finally:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait(timeout=10)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            os.killpg(proc.pid, signal.SIGKILL)
        inst.stop()
        shutil.rmtree(tmp, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--before", help="an older page, measured first")
    ap.add_argument("--seconds", type=float, default=10)
    args = ap.parse_args()
    pages = ([("before", os.path.abspath(args.before))] if args.before else []) + [
        ("after" if args.before else "", os.path.join(SOURCE, "tools", "webcontrol", "index.html"))]
    for label, page in pages:
        r = run(os.path.abspath(args.build), page, args.seconds)
        print(f"{label:7s} page asks {r['shown']:6.1f} pictures/s shown, {r['hidden']:6.1f} hidden", flush=True)


if __name__ == "__main__":
    sys.exit(main())
