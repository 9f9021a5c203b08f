#!/usr/bin/env python3
"""How long quakeview's page takes to open in headless Chromium, and how it
answers a sort and a row click, for a pair report of N pairs (default
100,000, synthetic, in the NE Japan box) against the bundled example's page
(1,571 pairs) opened in the same run.

Usage: python3 bench/quakeview_open.py BUILD_DIR [N]
"""
import os
import random
import subprocess
import sys
import tempfile
import time

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(top, "tests", "e2e"))
import cdp_pipe  # noqa: E402

build = os.path.abspath(sys.argv[1])
n = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
quakeview = os.path.join(build, "quakeview", "quakeview")


def pair_line(g, r, rnd):
    lon2, lat2 = rnd.uniform(139, 145), rnd.uniform(35, 42)
    lon1, lat1 = lon2 + rnd.uniform(-0.8, 0.8), lat2 + rnd.uniform(-0.8, 0.8)
    dat = rnd.uniform(23741, 40800)
    dt = rnd.uniform(0.001, 365)
    m2 = rnd.uniform(5, 8)
    g_text = f"{g:4d}" if g < 10000 else "****"
    return (f"{g_text}{r:4d}  {'1990-01-01T00:00:00.000Z':<24}{lon2:8.3f}{lat2:8.3f}{rnd.uniform(0, 80):7.1f}{m2:7.1f}"
            f"   {'1989-06-01T00:00:00.000Z':<24}{lon1:8.3f}{lat1:8.3f}{rnd.uniform(0, 80):7.1f}"
            f"{rnd.uniform(4.5, m2):7.1f}{rnd.uniform(0, 100):8.1f}{dt:11.6f}{dat:16.8f}   {'synthetic':<30}\n")


def measure(b, page):
    b.send("Page.navigate", {"url": "file://" + page})
    b.wait_event("Page.loadEventFired", timeout=600)
    # Milliseconds from the start of the navigation to the second frame after the script ran.
    opened = b.evaluate("new Promise(r => requestAnimationFrame(() => requestAnimationFrame(() => r(performance.now()))))")
    t = time.time()
    b.evaluate("document.querySelector('#head th[data-col=\"12\"]').click()")
    b.evaluate("new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))")
    sort_ms = (time.time() - t) * 1000
    t = time.time()
    b.evaluate("document.querySelectorAll('#rows tbody tr')[2].click()")
    b.evaluate("new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))")
    click_ms = (time.time() - t) * 1000
    return opened, sort_ms, click_ms


with tempfile.TemporaryDirectory() as work:
    ex = os.path.join(top, "examples", "expected", "twinquake", "pairs.out")
    small = os.path.join(work, "example.html")
    subprocess.run([quakeview, ex, "-o", small], check=True)
    big_report = os.path.join(work, "pairs.out")
    rnd = random.Random(15)
    with open(big_report, "w") as f:
        for i in range(n):
            f.write(pair_line(1 + i // 10, 1 + i % 10, rnd))
    big = os.path.join(work, "big.html")
    t = time.time()
    subprocess.run([quakeview, big_report, "-o", big], check=True, stderr=subprocess.DEVNULL)
    write_s = time.time() - t
    b = cdp_pipe.Browser(cdp_pipe.find_chromium())
    try:
        b.open_page()
        measure(b, small)  # warms the browser up
        base = measure(b, small)
        large = measure(b, big)
        errors = b.errors()
    finally:
        b.close()
    print(f"example page: 1571 pairs, {os.path.getsize(small) / 1e6:.1f} MB; "
          f"opens in {base[0]:.0f} ms, sort {base[1]:.0f} ms, row click {base[2]:.0f} ms")
    print(f"large page:   {n} pairs, {os.path.getsize(big) / 1e6:.1f} MB, written in {write_s:.1f} s; "
          f"opens in {large[0]:.0f} ms, sort {large[1]:.0f} ms, row click {large[2]:.0f} ms")
    print(f"ratios large/example: open {large[0] / base[0]:.1f}, sort {large[1] / base[1]:.1f}, "
          f"click {large[2] / base[2]:.1f}; console errors: {len(errors)}")
