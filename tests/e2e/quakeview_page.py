"""The checks of check_quakeview_page.sh; arguments BUILD_DIR SOURCE_DIR
[SCREENSHOT], the last to keep the screenshot (the README's picture)."""
import base64
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp_pipe  # noqa: E402

build, src = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
keep = sys.argv[3] if len(sys.argv) > 3 else None
quakeview = os.path.join(build, "quakeview", "quakeview")
ex = os.path.join(src, "examples")
failures = []


def check(what, ok):
    if not ok:
        failures.append(what)
        print("FAILED:", what)


chromium = cdp_pipe.find_chromium()
if chromium is None:
    print("FAILED: no chromium; tools/ensure_deps.sh installs the Debian package chromium")
    sys.exit(1)

reports = ["twinquake/pairs.out", "twinquake/e1pairs.out", "twinquake/Aftershocks", "ringpick/pickout"]
counts = {r: open(os.path.join(ex, "expected", r)).read().count("\n") for r in reports}
with tempfile.TemporaryDirectory() as work:
    page = os.path.join(work, "page.html")
    # Names relative to the folder, as a user types them.
    subprocess.run([quakeview, *reports, "--catalog", "../nejapan_m45_1964_2011.cat", "-o", page],
                   cwd=os.path.join(ex, "expected"), check=True)
    b = cdp_pipe.Browser(chromium)
    try:
        b.open_page()
        b.send("Page.navigate", {"url": "file://" + page})
        b.wait_event("Page.loadEventFired")
        check("the page's script ran to its end", b.evaluate("document.body.dataset.ready") == "1")

        # One drawn pair per pair: as many E2 markers, E1 markers and pair
        # lines (one subpath each) as the pair file has lines, on the map and
        # in the chart; likewise the other layers.
        def subpaths(layer):
            return b.evaluate(f"""(() => {{ const e = document.getElementById("{layer}"); if (!e) return -1;
                const ps = e.tagName === "path" ? [e] : [...e.querySelectorAll("path")];
                return ps.reduce((n, p) => n + (p.getAttribute("d").match(/M/g) || []).length, 0); }})()""")
        n = counts["twinquake/pairs.out"]
        for layer in ("layer-e2", "layer-e1", "layer-pair-lines", "chart-e2", "chart-e1", "chart-pair-lines"):
            check(f"{layer}: one element per pair ({n})", subpaths(layer) == n)
        check("E1 pairs: a line each", subpaths("layer-e1pair-lines") == counts["twinquake/e1pairs.out"])
        check("aftershocks: a line each", subpaths("layer-aftershock-lines") == counts["twinquake/Aftershocks"])
        check("selected events: a marker each", subpaths("layer-pickout") == counts["ringpick/pickout"])
        check("the catalog as dots", subpaths("layer-catalog") == 4256)
        check("the table tells the records", b.evaluate("document.getElementById('count').textContent")
              == f"{n} records of twinquake/pairs.out")
        check("the table is virtualised: few rows in the document",
              0 < b.evaluate("document.querySelectorAll('#rows tbody tr').length") < 100)
        check("the land is drawn", len(b.evaluate("document.getElementById('land').getAttribute('d')")) > 1000)

        # Sort by magnitude of the E2, descending, then click the fourth row.
        b.evaluate("document.querySelector('#head th[data-col=\"6\"]').click()")
        b.evaluate("document.querySelector('#head th[data-col=\"6\"]').click()")
        first = b.evaluate("document.querySelector('#rows tbody tr').children[6].textContent")
        check("sorted by e2_mag, largest first (9.1, the 2011 Tohoku event)", first == "9.1")
        box = b.evaluate("""(() => { const r = document.querySelectorAll('#rows tbody tr')[3];
            r.scrollIntoView({block: "center"}); const q = r.getBoundingClientRect();
            return [q.x + 30, q.y + q.height / 2, Number(r.dataset.record)]; })()""")
        b.click(box[0], box[1])
        chosen = b.evaluate("(() => { const r = document.querySelector('#rows tr.selected');"
                            " return r ? Number(r.dataset.record) : -1; })()")
        check("the clicked row is the one selected", chosen == box[2])
        check("the map highlights that record",
              b.evaluate("document.getElementById('map-highlight').dataset.record") == str(box[2]))
        check("the chart highlights that record",
              b.evaluate("document.getElementById('chart-highlight').dataset.record") == str(box[2]))
        # The highlight's last ring sits on one of the E2 markers.
        ring = b.evaluate("""(() => { const c = [...document.querySelectorAll('#map-highlight circle')].pop();
            return [Number(c.getAttribute('cx')), Number(c.getAttribute('cy'))]; })()""")
        e2 = b.evaluate("[...document.querySelectorAll('#layer-e2 path')].map(p => p.getAttribute('d')).join('')")
        # A marker is "Mx y" at its left end, then two arcs of its radius.
        dots = [(float(x) + float(r), float(y)) for x, y, r in re.findall(r"M([-\d.]+) ([-\d.]+)a([\d.]+) ", e2)]
        check("the highlight rings the pair's E2 marker",
              any(abs(x - ring[0]) < 0.11 and abs(y - ring[1]) < 0.06 for x, y in dots))
        line = open(os.path.join(ex, "expected", "twinquake/pairs.out")).read().split("\n")[box[2]]
        check("the selected row is that line of the pair file",
              b.evaluate("[...document.querySelector('#rows tr.selected').children].map(td => td.textContent)"
                         ".slice(2, 5).join(' ')") == " ".join(line[10:50].split()))

        # The screenshot: land, water and markers of their colours.
        b.evaluate("window.scrollTo(0, 0)")
        shot = b.send("Page.captureScreenshot", {"format": "png"})["data"]
        png = base64.b64decode(shot)
        if keep:  # the map, chart and histograms, at a little over half size
            clip = b.evaluate("(() => { const r = document.getElementById('top').getBoundingClientRect();"
                              " return {x: 0, y: 0, width: r.right + 8, height: r.bottom + 4, scale: 0.6}; })()")
            small = b.send("Page.captureScreenshot", {"format": "png", "clip": clip})["data"]
            open(keep, "wb").write(base64.b64decode(small))
        w, h, rows = cdp_pipe.png_pixels(png)
        seen = {"land": 0, "water": 0, "red": 0, "blue": 0, "orange": 0}
        for row in rows:
            for r, g, bl in row:
                if abs(r - 236) < 6 and abs(g - 230) < 6 and abs(bl - 210) < 6:
                    seen["land"] += 1
                elif abs(r - 212) < 6 and abs(g - 230) < 6 and abs(bl - 245) < 6:
                    seen["water"] += 1
                elif r > 170 and g < 90 and bl < 90:
                    seen["red"] += 1
                elif bl > 150 and r < 90 and g < 140:
                    seen["blue"] += 1
                elif r > 200 and 100 < g < 180 and bl < 80:
                    seen["orange"] += 1
        print("screenshot pixels:", seen)
        check("the screenshot shows land", seen["land"] > 0.02 * w * h)
        check("the screenshot shows water", seen["water"] > 0.02 * w * h)
        check("the screenshot shows E2, E1 and aftershock markers",
              seen["red"] > 500 and seen["blue"] > 500 and seen["orange"] > 200)
        errors = b.errors()
        check("no console errors: " + "; ".join(errors), not errors)
    finally:
        b.close()

if failures:
    sys.exit(1)
print("check_quakeview_page: ok")
