"""A small client of the DevTools protocol of a headless Chromium, over the
pipe of --remote-debugging-pipe (commands on descriptor 3, replies and
events on descriptor 4, messages ended by a NUL byte): nothing but the
standard library, nothing downloaded."""
import json
import os
import shutil
import subprocess
import tempfile
import time
import zlib

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--remote-debugging-pipe", "--hide-scrollbars", "--window-size=1400,1000"]


def find_chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


class Browser:
    def __init__(self, binary):
        self.profile = tempfile.mkdtemp(prefix="quakeview-chromium-")
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()
        # Descriptors 3 and 4 of the browser are the ends of the two pipes
        # (copied high first, so that neither end is overwritten by the other);
        # every other descriptor of ours closes on exec.
        def wire():
            a, b = os.dup(to_browser_r), os.dup(from_browser_w)
            os.dup2(a, 3)
            os.dup2(b, 4)
        self.proc = subprocess.Popen([binary, *FLAGS, "--user-data-dir=" + self.profile, "about:blank"],
                                     preexec_fn=wire, close_fds=False,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.next_id = 0
        self.pending = b""
        self.events = []
        self.session = None

    def close(self):
        try:
            self.send("Browser.close", session=False, wait=False)
            self.proc.wait(timeout=10)
        except Exception:
            self.proc.kill()
            self.proc.wait()
        os.close(self.to_browser)
        os.close(self.from_browser)
        shutil.rmtree(self.profile, ignore_errors=True)

    def _read_message(self, deadline):
        while b"\0" not in self.pending:
            if time.time() > deadline:
                raise TimeoutError("no answer from the browser")
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise RuntimeError("the browser closed its pipe")
            self.pending += chunk
        msg, self.pending = self.pending.split(b"\0", 1)
        return json.loads(msg)

    def send(self, method, params=None, session=True, wait=True, timeout=120):
        self.next_id += 1
        msg = {"id": self.next_id, "method": method, "params": params or {}}
        if session and self.session:
            msg["sessionId"] = self.session
        os.write(self.to_browser, json.dumps(msg).encode() + b"\0")
        if not wait:
            return None
        deadline = time.time() + timeout
        while True:
            m = self._read_message(deadline)
            if m.get("id") == self.next_id:
                if "error" in m:
                    raise RuntimeError(method + ": " + json.dumps(m["error"]))
                return m.get("result", {})
            self.events.append(m)

    def wait_event(self, method, timeout=120):
        deadline = time.time() + timeout
        for i, m in enumerate(self.events):
            if m.get("method") == method:
                return self.events.pop(i)
        while True:
            m = self._read_message(deadline)
            if m.get("method") == method:
                return m
            self.events.append(m)

    def open_page(self):
        """Attaches to the first page and switches on what the checks read."""
        targets = self.send("Target.getTargets", session=False)["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.send("Target.attachToTarget", {"targetId": page["targetId"], "flatten": True},
                                 session=False)["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.send(domain + ".enable")

    def evaluate(self, expression):
        r = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True, "awaitPromise": True})
        if "exceptionDetails" in r:
            raise RuntimeError("page script failed: " + json.dumps(r["exceptionDetails"])[:500])
        return r["result"].get("value")

    def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.send("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "button": "left", "clickCount": 1})

    def errors(self):
        """Console errors and uncaught exceptions seen so far."""
        out = []
        for m in self.events:
            p = m.get("params", {})
            if m.get("method") == "Runtime.exceptionThrown":
                out.append(json.dumps(p)[:300])
            elif m.get("method") == "Runtime.consoleAPICalled" and p.get("type") == "error":
                out.append(json.dumps(p)[:300])
            elif m.get("method") == "Log.entryAdded" and p.get("entry", {}).get("level") == "error":
                out.append(json.dumps(p)[:300])
        return out


def png_pixels(data):
    """Width, height and rows of (r, g, b) of an 8-bit RGB or RGBA PNG."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat = 8, b""
    while pos < len(data):
        n = int.from_bytes(data[pos:pos + 4], "big")
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            w, h = int.from_bytes(body[0:4], "big"), int.from_bytes(body[4:8], "big")
            depth, colour, interlace = body[8], body[9], body[12]
            assert depth == 8 and colour in (2, 6) and interlace == 0, "unexpected PNG form"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = w * bpp
    rows, prev = [], bytearray(stride)
    for y in range(h):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(w)])
        prev = line
    return w, h, rows
