"""The area table against the parts' true curves, measured with ezdxf and shapely alone.

usage: true_figures.py WORKBOOK DRAWING...

Each drawing's parts are found the way reference_extraction.py finds them, with one change:
curves are flattened on the curve itself (ezdxf's paths stand Bezier curves in for arcs, which
stray by 0.0003 of the radius), arcs and circles to 1e-6 mm so that the chords' shortfall is
far below the tolerance, ellipses and splines to 0.001 mm as the job flattens them. Every
part's area and perimeter (outline and holes) in the workbook's 面积周长 sheet must match to
0.01 mm² and 0.01 mm, besides the sheet's rounding to 0.001. Prints one line per difference,
nothing when all agree.
"""
import math
import os
import sys

import openpyxl
from ezdxf.math import Vec3

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "drawing"))
import reference_extraction as ref  # noqa: E402

ARC_SAGITTA = 1e-6
FREE_FORM_CHORD = 1e-3
TOLERANCE = 0.01 + 0.0005


def arc_points(centre, radius, start, sweep, ocs):
    """Points on a circle (OCS angles in radians, counter-clockwise), in WCS."""
    step = 2 * math.acos(1 - ARC_SAGITTA / radius) if radius > ARC_SAGITTA else sweep
    n = max(1, math.ceil(abs(sweep) / step))
    pts = [Vec3(centre[0] + radius * math.cos(start + sweep * k / n),
                 centre[1] + radius * math.sin(start + sweep * k / n), centre[2]) for k in range(n + 1)]
    return [(p.x, p.y) for p in ocs.points_to_wcs(pts)]


def true_points(entity):
    kind = entity.dxftype()
    if kind == "LINE":
        return [(entity.dxf.start.x, entity.dxf.start.y), (entity.dxf.end.x, entity.dxf.end.y)]
    if kind in ("ARC", "CIRCLE"):
        start, end = (0.0, 360.0) if kind == "CIRCLE" else (entity.dxf.start_angle,
                                                             entity.dxf.end_angle)
        sweep = (end - start) % 360.0 or 360.0
        return arc_points(entity.dxf.center, entity.dxf.radius, math.radians(start),
                          math.radians(sweep), entity.ocs())
    if kind in ("LWPOLYLINE", "POLYLINE"):
        # Arcs of clockwise bulges run counter-clockwise, from the segment's end: each run is
        # turned to start where its neighbour ends.
        runs = [true_points(part) for part in entity.virtual_entities()]
        if len(runs) > 1 and min(math.dist(runs[0][0], q) for q in (runs[1][0], runs[1][-1])) < \
                min(math.dist(runs[0][-1], q) for q in (runs[1][0], runs[1][-1])):
            runs[0].reverse()
        pts = []
        for run in runs:
            if pts and math.dist(pts[-1], run[-1]) < math.dist(pts[-1], run[0]):
                run.reverse()
            for q in run:
                if not pts or pts[-1] != q:
                    pts.append(q)
        return pts
    return [(v.x, v.y) for v in entity.flattening(FREE_FORM_CHORD)]


def flatten(entity, scale):
    try:
        pts = true_points(entity)
    except Exception:
        return []
    clean = []
    for x, y in pts:
        q = (x * scale, y * scale)
        if not clean or abs(q[0] - clean[-1][0]) > 1e-9 or abs(q[1] - clean[-1][1]) > 1e-9:
            clean.append(q)
    return clean


def main(workbook, drawings):
    ref.flatten = flatten
    rows = list(openpyxl.load_workbook(workbook)["面积周长"].iter_rows(min_row=2, values_only=True))
    failures = []
    for drawing in drawings:
        name = os.path.basename(drawing)
        got = sorted((float(r[3]), float(r[4])) for r in rows
                     if os.path.basename(str(r[0])) == name)
        want = sorted((p["polygon"].area, p["polygon"].length) for p in ref.extract(drawing))
        if len(got) != len(want):
            failures.append("%s: %d parts, reference %d" % (name, len(got), len(want)))
            continue
        for (area, length), (true_area, true_length) in zip(got, want):
            if abs(area - true_area) > TOLERANCE or abs(length - true_length) > TOLERANCE:
                failures.append("%s: area %.3f perimeter %.3f, reference %.4f %.4f" %
                                (name, area, length, true_area, true_length))
    if failures:
        print("\n".join(failures))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
