#!/usr/bin/env python3
"""Converts Natural Earth's 1:110m land (public domain), as the TopoJSON file
land-110m.json of the npm package world-atlas, into the compact land file
that quakeview embeds: one ring per line, points in hundredths of a degree,
the first point absolute and each later one as the step from the one before.

Usage (once, when the outlines are to be renewed):
    npm install --prefix /tmp/atlas world-atlas@2.0.2
    python3 quakeview/tools/make_land.py \
        /tmp/atlas/node_modules/world-atlas/land-110m.json > quakeview/land/ne_110m_land.txt
"""
import json
import sys


def arcs_in_degrees(topo):
    """The arcs of a quantized topology as lists of (lon, lat) in degrees."""
    sx, sy = topo["transform"]["scale"]
    tx, ty = topo["transform"]["translate"]
    arcs = []
    for arc in topo["arcs"]:
        x = y = 0
        points = []
        for dx, dy in arc:
            x += dx
            y += dy
            points.append((x * sx + tx, y * sy + ty))
        arcs.append(points)
    return arcs


def ring_points(arcs, indices):
    """One closed ring from its arcs; a negative index ~k is arc k reversed."""
    points = []
    for k in indices:
        arc = arcs[k] if k >= 0 else arcs[~k][::-1]
        points.extend(arc if not points else arc[1:])  # arcs share their end points
    return points


def polygons(geometry):
    kind = geometry["type"]
    if kind == "GeometryCollection":
        for g in geometry["geometries"]:
            yield from polygons(g)
    elif kind == "Polygon":
        yield geometry["arcs"]
    elif kind == "MultiPolygon":
        yield from geometry["arcs"]


def main():
    topo = json.load(open(sys.argv[1]))
    arcs = arcs_in_degrees(topo)
    out = sys.stdout
    out.write("# Natural Earth 1:110m land (public domain), from world-atlas 2.0.2 land-110m.json.\n")
    out.write("# One ring per line; points in 0.01 degree as lon,lat: the first absolute, then steps.\n")
    for polygon in polygons(topo["objects"]["land"]):
        for ring in polygon:
            cells = []
            for lon, lat in ring_points(arcs, ring):
                cell = (round(lon * 100), round(lat * 100))
                if not cells or cell != cells[-1]:
                    cells.append(cell)
            if len(cells) < 4:
                continue
            words = ["%d,%d" % cells[0]]
            for (x0, y0), (x1, y1) in zip(cells, cells[1:]):
                words.append("%d,%d" % (x1 - x0, y1 - y0))
            out.write(" ".join(words) + "\n")


main()
