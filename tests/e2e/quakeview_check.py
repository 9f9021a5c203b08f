"""The checks of check_quakeview.sh; arguments BUILD_DIR SOURCE_DIR."""
import csv
import gzip
import io
import json
import os
import subprocess
import sys
import tempfile

build, src = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
quakeview = os.path.join(build, "quakeview", "quakeview")
examples = os.path.join(src, "examples", "expected")
data = os.path.join(src, "tests", "data", "quakeview")
failures = []


def check(what, ok):
    if not ok:
        failures.append(what)
        print("FAILED:", what)


def run(*args, cwd=None):
    p = subprocess.run([quakeview, *args], capture_output=True, cwd=cwd)
    return p.returncode, p.stdout, p.stderr.decode()


def expected(name):
    for path in (os.path.join(data, name), os.path.join(examples, "quakeview", name)):
        if os.path.exists(path):
            return open(path, "rb").read()
        if os.path.exists(path + ".gz"):
            return gzip.open(path + ".gz").read()
    raise SystemExit("no expected file " + name)


# Pair line: twinquake's layout, longitude before latitude.
def pair(g, r, lon2, lat2, lon1, lat1, dist="    10.0", t2="2011-03-11T05:46:24.120Z", name="N"):
    line = (f"{g:>4}{r:>4}  {t2:<24}{lon2:>8}{lat2:>8}{'29.0':>7}{'7.1':>7}   {'2011-03-09T02:45:20.330Z':<24}"
            f"{lon1:>8}{lat1:>8}{'32.0':>7}{'6.5':>7}{dist:>8}{'2.125000':>11}{'40612.24055694':>16}   {name:<30}")
    assert len(line) == 189
    return line + "\n"


def geojson_rules(what, doc, lonlat_of):
    """RFC 7946: a FeatureCollection of Features; positions [lon, lat] within
    range; no segment longer than half the globe in longitude (such lines are
    split at the antimeridian); lonlat_of(properties) gives the later event."""
    check(what + ": a FeatureCollection", doc.get("type") == "FeatureCollection" and "crs" not in doc)
    for f in doc["features"]:
        g = f["geometry"]
        ok = f["type"] == "Feature" and isinstance(f["properties"], dict)
        parts = {"Point": lambda c: [[c]], "LineString": lambda c: [c], "MultiLineString": lambda c: c}[g["type"]](
            g["coordinates"])
        for part in parts:
            ok = ok and all(len(p) == 2 and -180 <= p[0] <= 180 and -90 <= p[1] <= 90 for p in part)
            ok = ok and all(abs(b[0] - a[0]) <= 180 for a, b in zip(part, part[1:]))
            ok = ok and (g["type"] == "Point" or len(part) >= 2)
        ok = ok and tuple(parts[-1][-1]) == lonlat_of(f["properties"])  # longitude first, ends at the later event
        if not ok:
            check(what + ": RFC 7946 rules hold for " + json.dumps(f)[:200], False)
            return


with tempfile.TemporaryDirectory() as work:
    later = {
        "pairs": lambda p: (p["e2_lon"], p["e2_lat"]),
        "e1pairs": lambda p: (p["later_lon"], p["later_lat"]),
        "Aftershocks": lambda p: (p["lon"], p["lat"]),
        "pickout": lambda p: (p["lon"], p["lat"]),
    }
    reports = {"pairs": "twinquake/pairs.out", "e1pairs": "twinquake/e1pairs.out",
               "Aftershocks": "twinquake/Aftershocks", "pickout": "ringpick/pickout"}
    for name, report in reports.items():
        path = os.path.join(examples, report)
        lines = open(path, "rb").read().count(b"\n")
        for to in ("csv", "geojson"):
            status, out, err = run("--to", to, path)
            check(f"{to} of {report}: status 0, nothing on standard error", status == 0 and err == "")
            check(f"{to} of {report} as checked in", out == expected(f"{name}.{to}"))
        status, out, err = run("--to", "geojson", path)
        doc = json.loads(out)
        check(f"GeoJSON of {report}: one Feature per line", len(doc["features"]) == lines)
        geojson_rules("GeoJSON of " + report, doc, later[name])
        rows = list(csv.reader(io.StringIO(expected(name + ".csv").decode(), newline="")))
        check(f"CSV of {report}: a header and one row per line", len(rows) == lines + 1 and
              all(len(r) == len(rows[0]) for r in rows))

    # Across the antimeridian: east from 179.9 to -179.9, west from -179.5 to
    # 179.5, and a pair that does not cross though far apart.
    fixture = os.path.join(work, "pairs.out")
    with open(fixture, "w") as f:
        f.write(pair(1, 1, "-179.900", "10.000", "179.900", "10.200"))
        f.write(pair(1, 2, "179.500", "-20.000", "-179.500", "-21.000"))
        f.write(pair(2, 1, "100.000", "0.000", "-70.000", "0.000"))
        f.write(pair(3, 1, "200.000", "5.000", "150.000", "5.000"))  # a longitude past 180
    fixture_anti = os.path.join(work, "anti.out")
    with open(fixture_anti, "w") as f:
        f.write(open(fixture).read())
    status, out, err = run("--to", "geojson", fixture)
    doc = json.loads(out)
    g = [f["geometry"] for f in doc["features"]]
    check("east across the antimeridian: split at 180 and -180 at latitude 10.100",
          g[0] == {"type": "MultiLineString",
                   "coordinates": [[[179.9, 10.2], [180, 10.1]], [[-180, 10.1], [-179.9, 10.0]]]})
    check("west across the antimeridian: split at -180 and 180 at latitude -20.500",
          g[1] == {"type": "MultiLineString",
                   "coordinates": [[[-179.5, -21.0], [-180, -20.5]], [[180, -20.5], [179.5, -20.0]]]})
    check("170 degrees apart: one LineString", g[2]["type"] == "LineString")
    check("longitude 200 given as -160, and the way from 150 east across 180",
          g[3] == {"type": "MultiLineString", "coordinates": [[[150.0, 5.0], [180, 5.0]], [[-180, 5.0], [-160.0, 5.0]]]})
    geojson_rules("fixture", {"type": doc["type"], "features": doc["features"][:3]}, later["pairs"])

    # Asterisks: an empty CSV field (null in GeoJSON), counted on standard error;
    # a label with a comma and a quote is one quoted CSV field.
    with open(fixture, "w") as f:
        f.write(pair(1, 1, "142.000", "38.000", "142.100", "38.100", dist="********", name='a, "b"'))
        f.write(pair(1, 2, "142.000", "38.000", "142.100", "38.100"))
    status, out, err = run(fixture)
    rows = list(csv.reader(io.StringIO(out.decode(), newline="")))
    check("CSV lines end in CR LF", out.count(b"\r\n") == 3 and out.count(b"\n") == 3)
    check("asterisks give an empty field", rows[1][12] == "" and rows[2][12] == "10.0")
    check("a label with a comma and quotes stays one field", rows[1][15] == 'a, "b"' and len(rows[1]) == 16)
    check("standard error counts the asterisks",
          status == 0 and err == "quakeview: 1 field of asterisks (values too wide for their columns) left without a value\n")
    status, out, err = run("--to", "geojson", fixture)
    check("asterisks are null in GeoJSON", json.loads(out)["features"][0]["properties"]["distance_km"] is None)

    # Failures: status 2, the diagnostic, the named output kept as it was and
    # no temporary file beside it.
    out_csv = os.path.join(work, "out.csv")
    with open(out_csv, "w") as f:
        f.write("earlier run\n")
    bad = os.path.join(work, "bad.out")
    good = pair(1, 1, "142.000", "38.000", "142.100", "38.100")
    cases = [
        (good + good[:100] + "\n", ["-o", out_csv], "bad.out:2: a line of 100 columns where a line of pairs has 189"),
        (good.replace(" 142.000", " 142.0x0", 1), ["-o", out_csv], "bad.out:1:35: e2_lon is neither a number nor asterisks ( 142.0x0)"),
        (good, ["-o", out_csv, os.path.join(examples, "ringpick/pickout")], "CSV holds one kind of report"),
        (good, ["-o", out_csv, "--kind", "pickout"], "bad.out:1: a line of 189 columns where a line of pickout has 82"),
        (good, ["-o", out_csv, os.path.join(work, "missing.out")], "cannot open " + os.path.join(work, "missing.out")),
        (good, ["--to", "pdf"], "--to: pdf not in"),
    ]
    for text, args, message in cases:
        with open(bad, "w") as f:
            f.write(text)
        status, out, err = run(*args, bad)
        check(f"{message}: status 2 and the diagnostic", status == 2 and err.startswith("quakeview: ") and message in err)
        check(f"{message}: the earlier output stays, nothing beside it",
              open(out_csv).read() == "earlier run\n" and sorted(os.listdir(work)) == ["anti.out", "bad.out", "out.csv", "pairs.out"])
    status, out, err = run(fixture, "-o", out_csv)
    check("-o replaces the earlier output", status == 0 and open(out_csv, "rb").read().startswith(b"group,e1_rank,"))
    # The map alone is well-formed SVG; the page fetches nothing: no
    # src or href attribute, no URL but the SVG namespace.
    import re
    import xml.etree.ElementTree as ET
    paths = [os.path.join(examples, r) for r in reports.values()]
    status, out, err = run("--to", "svg", *paths, "--catalog", os.path.join(src, "examples", "nejapan_m45_1964_2011.cat"))
    root = ET.fromstring(out)
    check("the map is one SVG with land and the layers", status == 0 and root.tag == "{http://www.w3.org/2000/svg}svg" and
          root.find(".//{http://www.w3.org/2000/svg}path[@id='land']") is not None and
          root.find(".//{http://www.w3.org/2000/svg}g[@id='layer-e2']") is not None)
    # A map across the antimeridian: land rings joined across it (Fiji,
    # Chukotka) stay whole, no edge runs across the map; 180 is unlabelled E or W.
    status, out, err = run("--to", "svg", fixture_anti)
    land = ET.fromstring(out).find(".//{http://www.w3.org/2000/svg}path[@id='land']").get("d")
    longest = 0
    for ring in re.findall(r"M([^MZ]*)Z", land):
        xs = [float(p.split()[0]) for p in ring.split("L")]
        longest = max([longest] + [abs(b - a) for a, b in zip(xs, xs[1:])])
    check(f"no land edge runs across the map (longest {longest:.0f} px)", status == 0 and 0 < longest < 200)
    check("the 180th meridian labelled 180\u00b0", ">180\u00b0<" in out.decode())
    status, out, err = run("--to", "html", *paths)
    urls = set(re.findall(rb"[a-z]+://[^\s\"'<>)]*", out))
    check("the page fetches nothing", status == 0 and not re.search(rb"\s(src|href)=", out) and
          urls <= {b"http://www.w3.org/2000/svg"})
    status, out, err = run("--version")
    check("--version", status == 0 and out == b"quakeview (quaketools) 1.1.0\n")

if failures:
    sys.exit(1)
print("check_quakeview: ok")
