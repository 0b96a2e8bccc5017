#!/usr/bin/python3
"""Independent check of a nest drawing with ezdxf and shapely.

usage: check_nest_drawing.py DRAWING MARGIN CELL [GAP [bounds]]
Prints one line "OK sheets=N parts=P blocks=B outlines=O" or "FAIL <reason>" lines; exits 1
on any failure. With GAP, every two parts must stand at least GAP apart (not merely not
overlap), the drawing must say it is in millimetres, and the OK line ends with the parts' total
area ("area=A", holes subtracted); with "bounds" a line "PART minx miny maxx maxy" per part follows. Every placed part is rebuilt from the drawing itself: block references through
their own block geometry, outline fall-backs from the closed polylines on QKS_NEST_PART.
"""
import re
import sys

import ezdxf
from ezdxf import path as ezpath
from shapely.geometry import LineString, Polygon, box
from shapely.ops import polygonize, unary_union

failures = []


def fail(text):
    failures.append(text)


def ring_of(entity):
    p = ezpath.make_path(entity)
    # Chord corners lie on the curve and chords inside it, so distances measured between
    # flattened parts are never shorter than the real ones.
    pts = [(v.x, v.y) for v in p.flattening(0.01)]
    return pts


def flat_entities(insert, depth=0):
    """The reference's geometry in model space, nested references expanded."""
    out = []
    for e in insert.virtual_entities():
        if e.dxftype() == "INSERT" and depth < 8:
            out.extend(flat_entities(e, depth + 1))
        else:
            out.append(e)
    return out


def outer_polygon(entities):
    """Largest region formed by the entities (closed curves, or open pieces end to end), less
    the closed regions inside it."""
    polygons, lines = [], []
    for e in entities:
        if e.dxftype() not in ("LINE", "ARC", "CIRCLE", "LWPOLYLINE", "POLYLINE", "ELLIPSE",
                               "SPLINE"):
            continue
        pts = ring_of(e)
        if len(pts) < 2:
            continue
        closed = e.dxftype() == "CIRCLE" or (e.dxftype() == "LWPOLYLINE" and e.closed) or \
            (abs(pts[0][0] - pts[-1][0]) < 1e-6 and abs(pts[0][1] - pts[-1][1]) < 1e-6
             and len(pts) > 3)
        if closed and len(pts) >= 3:
            poly = Polygon(pts).buffer(0)
            if not poly.is_empty:
                polygons.append(poly)
        else:
            lines.append(LineString(pts))
    if lines:
        # Ends of pieces that meet are equal only up to rounding after the block transform.
        ends = []

        def snap(point):
            for e in ends:
                if abs(e[0] - point[0]) < 1e-3 and abs(e[1] - point[1]) < 1e-3:
                    return e
            ends.append(point)
            return point

        lines = [LineString([snap(l.coords[0])] + list(l.coords[1:-1]) + [snap(l.coords[-1])])
                 for l in lines]
        snapped = unary_union(lines)
        polygons.extend(p.buffer(0) for p in polygonize(snapped))
    if not polygons:
        return None
    outer = max(polygons, key=lambda p: p.area)
    # Closed curves inside the outline are its holes: another part may stand in them.
    for p in polygons:
        if p is not outer and outer.contains(p):
            outer = outer.difference(p)
    return outer


def main():
    drawing, margin, cell = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
    gap = float(sys.argv[4]) if len(sys.argv) > 4 else None
    doc = ezdxf.readfile(drawing)
    if gap is not None and doc.header.get("$INSUNITS") != 4:
        fail("$INSUNITS %s, not millimetres" % doc.header.get("$INSUNITS"))
    auditor = doc.audit()
    if auditor.has_errors or auditor.has_fixes:
        fail("audit errors=%d fixes=%d" % (len(auditor.errors), len(auditor.fixes)))
    for name, colour in (("QKS_NEST_FRAME", 8), ("QKS_NEST_PART", 3), ("QKS_NEST_TEXT", 2)):
        if not doc.layers.has_entry(name):
            fail("layer %s missing" % name)
        elif doc.layers.get(name).color != colour:
            fail("layer %s colour %d" % (name, doc.layers.get(name).color))
    msp = doc.modelspace()
    frames = []
    for e in msp.query("LWPOLYLINE[layer=='QKS_NEST_FRAME']"):
        xs = [p[0] for p in e.get_points()]
        ys = [p[1] for p in e.get_points()]
        frames.append((min(xs), min(ys), max(xs), max(ys)))
    frames.sort()
    for a, b in zip(frames, frames[1:]):
        if abs(b[0] - a[2] - 300) > 1e-6:
            fail("sheets %s and %s not 300 apart" % (a, b))
    for f in frames:
        if f[1] != 0:
            fail("sheet %s not on y=0" % (f,))

    parts = []  # (polygon, label)
    blocks = 0
    for ins in msp.query("INSERT"):
        name = ins.dxf.name
        if not re.fullmatch(r"QKS_PART_\d+", name):
            fail("unexpected block reference %s" % name)
            continue
        blocks += 1
        # Bend lines and marks carried into the block lie on the part, they do not bound it.
        poly = outer_polygon([e for e in flat_entities(ins)
                              if e.dxf.layer not in ("QKS_BEND", "QKS_MARK")])
        if poly is None:
            fail("block %s has no outline" % name)
            continue
        parts.append((poly, name))
    rings = []
    for e in msp.query("LWPOLYLINE[layer=='QKS_NEST_PART']"):
        pts = [(p[0], p[1]) for p in e.get_points()]
        if len(pts) >= 3:
            rings.append(Polygon(pts).buffer(0))
    outlines = 0
    for i, r in enumerate(rings):
        inside_other = any(j != i and o.area > r.area and o.contains(r.representative_point())
                           for j, o in enumerate(rings))
        if not inside_other:
            parts.append((r, "outline%d" % i))
            outlines += 1

    usable = [box(f[0] + margin - cell, f[1] + margin - cell, f[2] - margin + cell,
                  f[3] - margin + cell) for f in frames]
    for poly, label in parts:
        if not any(u.contains(poly) for u in usable):
            fail("%s at %s not inside a sheet less its margin" % (label, poly.bounds))
    for i in range(len(parts)):
        for j in range(i + 1, len(parts)):
            a, b = parts[i][0], parts[j][0]
            if a.bounds[2] < b.bounds[0] or b.bounds[2] < a.bounds[0] or \
                    a.bounds[3] < b.bounds[1] or b.bounds[3] < a.bounds[1]:
                continue
            if gap is not None:
                # Three decimals in the parts file and the placement's rounding.
                if a.distance(b) < gap - 0.01:
                    fail("%s and %s only %.3f apart" % (parts[i][1], parts[j][1], a.distance(b)))
                continue
            overlap = a.intersection(b).area
            if overlap > 0.5:
                fail("%s and %s overlap by %.2f" % (parts[i][1], parts[j][1], overlap))

    texts = [t.text for t in msp.query("MTEXT[layer=='QKS_NEST_TEXT']")]
    titles = [t for t in texts if t.startswith("板")]
    if len(titles) != len(frames):
        fail("%d titles for %d sheets" % (len(titles), len(frames)))
    placed_in_titles = 0
    for t in titles:
        m = re.search(r"件数 (\d+)$", t)
        if not m:
            fail("title %r" % t)
        else:
            placed_in_titles += int(m.group(1))
    listed = 0
    for t in texts:
        for line in t.split("\\P"):
            m = re.fullmatch(r"\d+  .*  x(\d+)", line)
            if m:
                listed += int(m.group(1))
    numbers = [t for t in texts if re.fullmatch(r"\d+", t)]
    if not (placed_in_titles == listed == len(numbers) == len(parts)):
        fail("counts: titles %d, lists %d, numbers %d, parts %d"
             % (placed_in_titles, listed, len(numbers), len(parts)))
    for line in failures:
        print("FAIL " + line)
    if failures:
        return 1
    summary = "OK sheets=%d parts=%d blocks=%d outlines=%d" % (len(frames), len(parts), blocks,
                                                               outlines)
    if gap is not None:
        summary += " area=%.0f" % sum(p.area for p, _ in parts)
    print(summary)
    if len(sys.argv) > 5 and sys.argv[5] == "bounds":
        for poly, _ in parts:
            print("PART %.3f %.3f %.3f %.3f" % poly.bounds)
    return 0


if __name__ == "__main__":
    sys.exit(main())
