#!/usr/bin/python3
"""Independent check of a nest drawing made on irregular stock, with ezdxf and shapely.

usage: check_stock_nest.py DRAWING STOCK_DRAWING MARGIN GAP OFFCUT
The stock drawing's closed outlines (holes inside them are defects) must come first in the nest
drawing, in the stock drawing's entity order, drawn on QKS_NEST_FRAME. Every placed part (block
references exploded) must lie inside its sheet at least MARGIN from the stock's edge and at
least GAP from every defect. With OFFCUT 1, every line on QKS_OFFCUT must cut off a rectangle
of its sheet that no part touches, with its size written beside it.
Prints "OK pieces=N parts=P onpieces=A,B,... sheets=S offcuts=K" or "FAIL" lines (exit 1).
"""
import os
import re
import sys

import ezdxf
from shapely.geometry import Point, Polygon, box

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_nest_drawing import flat_entities, outer_polygon, ring_of  # noqa: E402

failures = []


def fail(text):
    failures.append(text)


def regions(entities):
    """Closed outlines with the closed curves inside them as holes, in entity order."""
    rings = []
    for e in entities:
        if e.dxftype() not in ("LWPOLYLINE", "CIRCLE"):
            continue
        pts = ring_of(e)
        if len(pts) >= 3:
            rings.append(Polygon(pts).buffer(0))
    outers = [r for r in rings if not any(o is not r and o.contains(r) for o in rings)]
    return [(o, [r for r in rings if r is not o and o.contains(r)]) for o in outers]


def same_shape(a, b):
    return abs(a.area - b.area) < 1.0 and \
        abs((a.bounds[2] - a.bounds[0]) - (b.bounds[2] - b.bounds[0])) < 1e-3 and \
        abs((a.bounds[3] - a.bounds[1]) - (b.bounds[3] - b.bounds[1])) < 1e-3


def main():
    drawing, stock_path = sys.argv[1], sys.argv[2]
    margin, gap, offcut = float(sys.argv[3]), float(sys.argv[4]), sys.argv[5] == "1"
    doc = ezdxf.readfile(drawing)
    auditor = doc.audit()
    if auditor.has_errors or auditor.has_fixes:
        fail("audit errors=%d fixes=%d" % (len(auditor.errors), len(auditor.fixes)))
    msp = doc.modelspace()
    stock = regions(ezdxf.readfile(stock_path).modelspace())
    sheets = regions(msp.query("LWPOLYLINE[layer=='QKS_NEST_FRAME']"))
    sheets.sort(key=lambda s: s[0].bounds[0])
    for k, (outline, defects) in enumerate(stock):
        if k >= len(sheets) or not same_shape(outline, sheets[k][0]) or \
                len(defects) != len(sheets[k][1]):
            fail("stock piece %d is not sheet %d" % (k + 1, k + 1))

    parts = []
    for ins in msp.query("INSERT"):
        poly = outer_polygon(flat_entities(ins))
        if poly is None:
            fail("block %s has no outline" % ins.dxf.name)
        else:
            parts.append(poly)
    on_sheet = [0] * len(sheets)
    for part in parts:
        home = [k for k, s in enumerate(sheets) if s[0].intersects(part)]
        if len(home) != 1:
            fail("part at %s on %d sheets" % (part.bounds, len(home)))
            continue
        outline, defects = sheets[home[0]]
        on_sheet[home[0]] += 1
        if not outline.contains(part):
            fail("part at %s leaves its stock" % (part.bounds,))
        elif outline.exterior.distance(part) < margin - 0.01:
            fail("part at %s %.3f from the stock's edge" % (part.bounds,
                                                            outline.exterior.distance(part)))
        for d in defects:
            if d.distance(part) < gap - 0.01:
                fail("part at %s %.3f from a defect" % (part.bounds, d.distance(part)))

    offcuts = 0
    texts = [t for t in msp.query("MTEXT[layer=='QKS_OFFCUT']")]
    for line in msp.query("LINE[layer=='QKS_OFFCUT']"):
        s, e = line.dxf.start, line.dxf.end
        home = [k for k, sh in enumerate(sheets)
                if sh[0].bounds[0] - 1e-6 <= min(s.x, e.x)
                and max(s.x, e.x) <= sh[0].bounds[2] + 1e-6]
        if len(home) != 1:
            fail("offcut line %s-%s on no sheet" % (s, e))
            continue
        x0, y0, x1, y1 = sheets[home[0]][0].bounds
        rect = box(x0, s.y, x1, y1) if abs(s.y - e.y) < 1e-9 else box(s.x, y0, x1, y1)
        offcuts += 1
        for part in parts:
            if part.intersects(rect):
                fail("part at %s inside the offcut %s" % (part.bounds, rect.bounds))
        size = "余料 %.0f x %.0f mm" % (rect.bounds[2] - rect.bounds[0],
                                       rect.bounds[3] - rect.bounds[1])
        if not any(t.text == size and rect.contains(Point(t.dxf.insert.x, t.dxf.insert.y))
                   for t in texts):
            fail("no text %r inside the offcut" % size)
    if offcut and offcuts == 0:
        fail("no offcut line")
    if not offcut and (offcuts or texts or doc.layers.has_entry("QKS_OFFCUT")):
        fail("offcut drawn without being asked")
    for line in failures:
        print("FAIL " + line)
    if failures:
        return 1
    print("OK pieces=%d parts=%d onpieces=%s sheets=%d offcuts=%d" % (
        len(stock), len(parts), ",".join(str(n) for n in on_sheet[:len(stock)]), len(sheets),
        offcuts))
    return 0


if __name__ == "__main__":
    sys.exit(main())
