#!/usr/bin/python3
"""Independent check of a common-line nest drawing with ezdxf and shapely.

usage: check_common_line.py DRAWING GAP PLACED SAVED_MM AREA[,AREA...] [bounds]
The cuts are rebuilt from the drawing alone: every entity on QKS_NEST_PART and QKS_COMMON and
the exploded part references, flattened into segments. Then
  - no stretch is drawn twice (two segments never overlap along a line);
  - the faces the cuts enclose include PLACED faces of a part kind's area (AREA list), and their
    areas add up: parts that overlapped would cut each other into other faces;
  - two parts either share a stretch of their boundary or stand at least GAP apart;
  - the lines on QKS_COMMON are exactly the stretches two parts share, and add up to SAVED_MM.
Prints "OK parts=N shared=L cut=C" or "FAIL <reason>" lines; exits 1 on any failure. With
"bounds" a line "PART minx miny maxx maxy" per part follows.
"""
import math
import sys

import ezdxf
from ezdxf import path as ezpath
from shapely.geometry import LineString
from shapely.ops import polygonize, unary_union

failures = []


def fail(text):
    failures.append(text)


def flat(entity, depth=0):
    if entity.dxftype() == "INSERT":
        out = []
        if depth < 8:
            for e in entity.virtual_entities():
                out.extend(flat(e, depth + 1))
        return out
    if entity.dxftype() not in ("LINE", "ARC", "CIRCLE", "LWPOLYLINE", "POLYLINE", "ELLIPSE",
                                "SPLINE"):
        return []
    pts = [(v.x, v.y) for v in ezpath.make_path(entity).flattening(0.01)]
    if entity.dxftype() == "LWPOLYLINE" and entity.closed and pts and pts[0] != pts[-1]:
        pts.append(pts[0])
    return [(pts[k], pts[k + 1]) for k in range(len(pts) - 1)
            if math.dist(pts[k], pts[k + 1]) > 1e-9]


def overlap_along(s, t, tol=1e-4):
    """Length two segments share along one line; 0 when they do not lie on one."""
    (ax, ay), (bx, by) = s
    length = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / length, (by - ay) / length
    for p in t:
        if abs((p[0] - ax) * uy - (p[1] - ay) * ux) > tol:
            return 0.0
    ts = sorted((p[0] - ax) * ux + (p[1] - ay) * uy for p in t)
    return max(0.0, min(length, ts[1]) - max(0.0, ts[0]))


def main():
    drawing, gap, placed, saved = sys.argv[1], float(sys.argv[2]), int(sys.argv[3]), \
        float(sys.argv[4])
    kinds = [float(a) for a in sys.argv[5].split(",")]
    doc = ezdxf.readfile(drawing)
    auditor = doc.audit()
    if auditor.has_errors or auditor.has_fixes:
        fail("audit errors=%d fixes=%d" % (len(auditor.errors), len(auditor.fixes)))
    if not doc.layers.has_entry("QKS_COMMON"):
        fail("layer QKS_COMMON missing")
    msp = doc.modelspace()
    cuts, common = [], []
    for e in msp:
        layer = e.dxf.layer
        if e.dxftype() == "INSERT" or layer == "QKS_NEST_PART":
            cuts.extend(flat(e))
        elif layer == "QKS_COMMON":
            if e.dxftype() != "LINE":
                fail("%s on QKS_COMMON" % e.dxftype())
            common.extend(flat(e))
    segments = cuts + common
    for i in range(len(segments)):
        for j in range(i + 1, len(segments)):
            s, t = segments[i], segments[j]
            if max(s[0][0], s[1][0]) < min(t[0][0], t[1][0]) - 1e-3 or \
                    max(t[0][0], t[1][0]) < min(s[0][0], s[1][0]) - 1e-3 or \
                    max(s[0][1], s[1][1]) < min(t[0][1], t[1][1]) - 1e-3 or \
                    max(t[0][1], t[1][1]) < min(s[0][1], s[1][1]) - 1e-3:
                continue
            if overlap_along(s, t) > 0.01:
                fail("cut twice: %s and %s" % (s, t))

    # Ends meet only up to rounding: snap them before noding.
    def snap(p):
        return (round(p[0], 3), round(p[1], 3))

    lines = unary_union([LineString([snap(a), snap(b)]) for a, b in segments
                         if snap(a) != snap(b)])
    faces = list(polygonize(lines))
    parts = [f for f in faces if any(abs(f.area - k) < 0.05 * k for k in kinds)]
    # Faces left over are room closed in by parts, never a piece of one.
    for f in faces:
        if f not in parts and any(f.intersection(p).area > 0.5 for p in parts):
            fail("face of area %.1f inside a part" % f.area)
    if len(parts) != placed:
        fail("%d part faces for %d placed (faces %s)"
             % (len(parts), placed, sorted(round(f.area) for f in faces)))
    shared_total = 0.0
    for i in range(len(parts)):
        for j in range(i + 1, len(parts)):
            a, b = parts[i], parts[j]
            if a.distance(b) > gap + 1:
                continue
            if a.intersection(b).area > 0.5:
                fail("parts at %s and %s overlap" % (a.bounds, b.bounds))
            along = a.boundary.intersection(b.boundary).length
            if along > 0.01:
                shared_total += along
            elif a.distance(b) < gap - 0.01:
                fail("parts at %s and %s only %.3f apart" % (a.bounds, b.bounds, a.distance(b)))
    drawn = sum(math.dist(a, b) for a, b in common)
    if abs(drawn - shared_total) > 0.1:
        fail("QKS_COMMON holds %.3f, parts share %.3f" % (drawn, shared_total))
    if abs(drawn - saved) > 1.0:
        fail("QKS_COMMON holds %.3f, the log says %.3f saved" % (drawn, saved))
    for line in failures:
        print("FAIL " + line)
    if failures:
        return 1
    cut = sum(math.dist(a, b) for a, b in segments)
    print("OK parts=%d shared=%.1f cut=%.1f" % (len(parts), drawn, cut))
    if len(sys.argv) > 6 and sys.argv[6] == "bounds":
        for p in parts:
            print("PART %.3f %.3f %.3f %.3f" % p.bounds)
    return 0


if __name__ == "__main__":
    sys.exit(main())
