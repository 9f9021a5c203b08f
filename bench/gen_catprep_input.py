#!/usr/bin/env python3
"""Synthetic earthquake exports of any size, for catprep's tests and benchmark.

Usage: gen_catprep_input.py FORMAT N [SEED] > FILE
  FORMAT  csv (ComCat CSV, 22 columns), text (FDSN event text, 14 columns with
          EventType) or quakeml (QuakeML 1.2 as USGS fdsnws-event writes it)
  N       number of events; SEED (default 1) fixes them

The same N and SEED give the same events in every format: one origin time
(3 decimals), position, depth (whole metres, so km with up to 3 decimals),
magnitude and id each, so catprep makes one catalog of all three. About 2 %
are quarry blasts, 1 % have no magnitude; times rise from 1970 with about
a minute between events, with a few equal times; places hold commas.
"""
import random
import sys

DAY0_1970 = 25567  # days from 1900-01-01 to 1970-01-01


def civil(days):
    """(y, m, d) of the day `days` after 1970-01-01 (days >= 0)."""
    z = days + 719468
    era = z // 146097
    doe = z - era * 146097
    yoe = (doe - doe // 1460 + doe // 36524 - doe // 146096) // 365
    doy = doe - (365 * yoe + yoe // 4 - yoe // 100)
    mp = (5 * doy + 2) // 153
    d = doy - (153 * mp + 2) // 5 + 1
    m = mp + 3 if mp < 10 else mp - 9
    return yoe + era * 400 + (1 if m <= 2 else 0), m, d


def km(metres):
    """The km text of whole metres, as catprep writes QuakeML depths."""
    sign = "-" if metres < 0 else ""
    whole, part = divmod(abs(metres), 1000)
    text = f"{sign}{whole}.{part:03d}".rstrip("0").rstrip(".")
    return "0" if text in ("-0", "") else text


def events(n, seed):
    rng = random.Random(seed)
    ms = 0  # milliseconds since 1970
    for i in range(1, n + 1):
        if rng.random() > 0.01:
            ms += rng.randrange(1, 120000)
        days, rest = divmod(ms, 86400000)
        y, mo, d = civil(days)
        h, rest = divmod(rest, 3600000)
        mi, rest = divmod(rest, 60000)
        s, frac = divmod(rest, 1000)
        date = f"{y:04d}-{mo:02d}-{d:02d}T{h:02d}:{mi:02d}:{s:02d}.{frac:03d}"
        lat = f"{rng.uniform(-70, 70):.4f}"
        lon = f"{rng.uniform(-180, 180):.4f}"
        metres = rng.randrange(-2000, 650000)
        mag = "" if rng.random() < 0.01 else f"{rng.uniform(2.5, 8.5):.1f}"
        kind = "quarry blast" if rng.random() < 0.02 else "earthquake"
        yield date, lat, lon, metres, mag, f"gen{i:08d}", kind, f"{rng.randrange(1, 300)} km N of Place {i % 97}, Region"


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("csv", "text", "quakeml"):
        sys.exit(__doc__)
    fmt, n = sys.argv[1], int(sys.argv[2])
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    out = sys.stdout
    chunk = []
    if fmt == "csv":
        out.write("time,latitude,longitude,depth,mag,magType,nst,gap,dmin,rms,net,id,updated,place,type,"
                  "horizontalError,depthError,magError,magNst,status,locationSource,magSource\n")
        for t, la, lo, m, mg, i, k, p in events(n, seed):
            chunk.append(f"{t}Z,{la},{lo},{km(m)},{mg},mb,40,50,1.2,0.9,us,{i},2020-01-01T00:00:00.000Z,"
                         f"\"{p}\",{k},5.1,1.9,0.05,30,reviewed,us,us\n")
            if len(chunk) >= 10000:
                out.write("".join(chunk))
                chunk.clear()
    elif fmt == "text":
        out.write("#EventID|Time|Latitude|Longitude|Depth/km|Author|Catalog|Contributor|ContributorID|MagType|"
                  "Magnitude|MagAuthor|EventLocationName|EventType\n")
        for t, la, lo, m, mg, i, k, p in events(n, seed):
            chunk.append(f"{i}|{t}|{la}|{lo}|{km(m)}|us|us|us|{i}|mb|{mg}|us|{p}|{k}\n")
            if len(chunk) >= 10000:
                out.write("".join(chunk))
                chunk.clear()
    else:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n<q:quakeml xmlns="http://quakeml.org/xmlns/bed/1.2" '
                  'xmlns:catalog="http://anss.org/xmlns/catalog/0.1" xmlns:q="http://quakeml.org/xmlns/quakeml/1.2">'
                  '\n<eventParameters publicID="quakeml:earthquake.usgs.gov/fdsnws/event/1/query">\n')
        base = "quakeml:earthquake.usgs.gov/product/origin/"
        for t, la, lo, m, mg, i, k, p in events(n, seed):
            src, code = i[:3], i[3:]
            magnitude = (f'<magnitude publicID="{base}{i}/us/1#magnitude"><mag><value>{mg}</value>'
                         f'<uncertainty>0.05</uncertainty></mag><type>mb</type><stationCount>30</stationCount>'
                         f'</magnitude><preferredMagnitudeID>{base}{i}/us/1#magnitude</preferredMagnitudeID>'
                         if mg else "")
            chunk.append(
                f'<event catalog:datasource="{src}" catalog:eventsource="{src}" catalog:eventid="{code}" '
                f'publicID="quakeml:earthquake.usgs.gov/fdsnws/event/1/query?eventid={i}&amp;format=quakeml">'
                f'<description><type>earthquake name</type><text>{p}</text></description>'
                f'<origin catalog:datasource="us" publicID="{base}{i}/us/1"><time><value>{t}Z</value></time>'
                f'<longitude><value>{lo}</value></longitude><latitude><value>{la}</value></latitude>'
                f'<depth><value>{m}</value><uncertainty>1900</uncertainty></depth>'
                f'<quality><usedPhaseCount>40</usedPhaseCount><standardError>0.9</standardError></quality>'
                f'<evaluationMode>manual</evaluationMode></origin>{magnitude}'
                f'<preferredOriginID>{base}{i}/us/1</preferredOriginID><type>{k}</type>'
                f'<creationInfo><agencyID>us</agencyID></creationInfo></event>\n')
            if len(chunk) >= 5000:
                out.write("".join(chunk))
                chunk.clear()
    out.write("".join(chunk))
    if fmt == "quakeml":
        out.write("</eventParameters>\n</q:quakeml>\n")


if __name__ == "__main__":
    main()
