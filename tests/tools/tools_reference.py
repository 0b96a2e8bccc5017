#!/usr/bin/python3
"""Drawings for the drawing-tools job's tests, and independent checks of what it wrote.

make DIR        writes DIR/parts.dxf (loose, doubled and overlapping lines, holes, a bend
                line, a frame with attributes) and DIR/expected.json
check DIR OPS   checks DIR/out/parts_整理.dxf and DIR/out/标注清理.xlsx after the operations
                OPS (a comma list): ezdxf audit, linework kept (shapely), fillets within the
                radius, areas against shapely, attributes, dimensions against the geometry
Prints FAIL lines and exits 1 on any failure.
"""
import json
import math
import os
import sys

import ezdxf
from ezdxf import path as ezpath
from shapely.geometry import LineString, MultiLineString, Polygon
from shapely.ops import unary_union, polygonize

SKIP = ("QKS_", "标注", "文字", "图框", "折弯")


def linework(doc):
    """The cut linework: curves, leaving out the tools' own layers and dashed bend lines."""
    lines = []
    for e in doc.modelspace():
        if e.dxftype() not in ("LINE", "ARC", "CIRCLE", "LWPOLYLINE"):
            continue
        linetype = e.dxf.get("linetype", "ByLayer")
        if linetype.upper() == "BYLAYER" and e.dxf.layer in doc.layers:
            linetype = doc.layers.get(e.dxf.layer).dxf.linetype
        if e.dxf.layer.upper().startswith(SKIP) or linetype.upper() in ("DASHED", "HIDDEN"):
            continue
        pts = [(v.x, v.y) for v in ezpath.make_path(e).flattening(0.001)]
        if len(pts) >= 2:
            lines.append(LineString(pts))
    return unary_union(MultiLineString(lines))


def make(folder):
    os.makedirs(folder, exist_ok=True)
    doc = ezdxf.new("R2010", setup=True)
    doc.header["$INSUNITS"] = 4
    msp = doc.modelspace()
    doc.layers.add("折弯")
    frame = doc.blocks.new("A3_TK")
    frame.add_lwpolyline([(0, 0), (420, 0), (420, 297), (0, 297)], close=True)
    frame.add_attdef("图号", (300, 10), dxfattribs={"height": 3})
    frame.add_attdef("名称", (300, 20), dxfattribs={"height": 3})
    msp.add_blockref("A3_TK", (0, 0)).add_auto_attribs({"图号": "T-1", "名称": "底板"})
    # Part A: a 120 × 80 plate of loose lines, one doubled, one in two overlapping pieces.
    for a, b in (((20, 20), (140, 20)), ((140, 20), (140, 100)), ((140, 100), (20, 100)),
                 ((20, 100), (20, 20)), ((140, 20), (20, 20)), ((20, 100), (80, 100)),
                 ((70, 100), (140, 100))):
        msp.add_line(a, b)
    msp.add_line((50, 50), (50, 50))  # zero length
    for cx, cy in ((35, 35), (125, 35), (35, 85), (125, 85)):
        msp.add_circle((cx, cy), 5)
    msp.add_line((80, 20), (80, 100), dxfattribs={"layer": "折弯", "linetype": "DASHED"})
    # Part B: an L as one polyline, with a Ø20 hole.
    msp.add_lwpolyline([(200, 20), (300, 20), (300, 60), (240, 60), (240, 120), (200, 120)],
                       close=True)
    msp.add_circle((220, 40), 10)
    msp.add_text("注意", height=3.5).set_placement((200, 150))
    doc.saveas(os.path.join(folder, "parts.dxf"))
    a = Polygon([(20, 20), (140, 20), (140, 100), (20, 100)],
                [Polygon([(cx + 5 * math.cos(t / 64 * 2 * math.pi),
                           cy + 5 * math.sin(t / 64 * 2 * math.pi)) for t in range(64)]).exterior.coords
                 for cx, cy in ((35, 35), (125, 35), (35, 85), (125, 85))])
    b = Polygon([(200, 20), (300, 20), (300, 60), (240, 60), (240, 120), (200, 120)],
                [Polygon([(220 + 10 * math.cos(t / 64 * 2 * math.pi),
                           40 + 10 * math.sin(t / 64 * 2 * math.pi)) for t in range(64)]).exterior.coords])
    json.dump({"parts": [{"area": 120 * 80 - 4 * math.pi * 25, "length": 400 + 4 * math.pi * 10,
                          "holes": 4, "diameters": [10, 10, 10, 10], "box": [20, 20, 140, 100]},
                         {"area": 100 * 40 + 40 * 60 - math.pi * 100,
                          "length": 2 * (100 + 100) + math.pi * 20, "holes": 1, "diameters": [20],
                          "box": [200, 20, 300, 120]}],
               "wkt": [a.wkt, b.wkt]}, open(os.path.join(folder, "expected.json"), "w"))


def close(a, b, tol):
    return a is not None and abs(a - b) <= tol


def check(folder, ops):
    import openpyxl
    failures = []
    expected = json.load(open(os.path.join(folder, "expected.json")))
    before = ezdxf.readfile(os.path.join(folder, "parts.dxf"))
    after = ezdxf.readfile(os.path.join(folder, "out", "parts_整理.dxf"))
    auditor = after.audit()
    if auditor.has_errors or auditor.has_fixes:
        failures.append("audit: %d errors, %d fixes" % (len(auditor.errors), len(auditor.fixes)))
    if after.header.get("$INSUNITS") != 4:
        failures.append("INSUNITS not kept")
    msp = after.modelspace()
    if "clean" in ops:
        lines = [e for e in msp.query("LINE") if not e.dxf.layer.startswith("QKS_")]
        if len(lines) != 1:  # the bend line stays a line
            failures.append("lines left: %d" % len(lines))
        kept, was = linework(after), linework(before)
        if "corners" not in ops and (kept.hausdorff_distance(was) > 0.6 or
                                     abs(kept.length - was.length) > 1.0):
            failures.append("linework changed: hausdorff %.3f, length %.3f -> %.3f" %
                            (kept.hausdorff_distance(was), was.length, kept.length))
    if "corners" in ops:
        # Rounding moves an outline by at most the radius (3), and each corner changes the area
        # by less than r² (a right angle: r²(1 - π/4)).
        from shapely import wkt
        faces = [Polygon(f.exterior) for f in polygonize(linework(after))]
        for part in expected["wkt"]:
            shape = Polygon(wkt.loads(part).exterior)
            rounded = max((f for f in faces if f.intersects(shape)), key=lambda f: f.area)
            corners = len(shape.exterior.coords) - 1
            if rounded.hausdorff_distance(shape) > 3 + 1e-6 or \
                    rounded.symmetric_difference(shape).area > corners * 9 or \
                    rounded.symmetric_difference(shape).area < 1:
                failures.append("fillets of %s: moved %.3f, area %.3f" % (
                    shape.bounds, rounded.hausdorff_distance(shape),
                    rounded.symmetric_difference(shape).area))
    if "layers" in ops:
        layers = {e.dxf.layer for e in msp if e.dxftype() in ("LWPOLYLINE", "CIRCLE")}
        if "轮廓线" not in layers or any(e.dxf.layer != "文字" for e in msp.query("TEXT")):
            failures.append("layers: %s" % sorted(layers))
    if "area" in ops or "attrs" in ops:
        book = openpyxl.load_workbook(os.path.join(folder, "out", "标注清理.xlsx"))
        if "area" in ops:
            labels = [e for e in msp.query("MTEXT") if e.dxf.layer == "QKS_AREA"]
            if len(labels) != 2 or any(e.dxf.style != "QKS" for e in labels):
                failures.append("area labels: %d" % len(labels))
            rows = list(book["面积周长"].iter_rows(min_row=2, values_only=True))
            got = sorted(rows, key=lambda r: r[3])
            want = sorted(expected["parts"], key=lambda p: p["area"])
            if len(got) != 2:
                failures.append("area rows: %r" % rows)
            for g, w in zip(got, want):
                if not close(g[3], w["area"], 0.01 * w["area"]) or not close(g[4], w["length"], 1.0) \
                        or g[6] != w["holes"]:
                    failures.append("area row %r, expected %r" % (g, w))
        if "attrs" in ops:
            rows = list(book["A3_TK"].iter_rows(values_only=True))
            if rows[0][4:6] != ("图号", "名称") or rows[1][4:6] != ("T-1", "底板"):
                failures.append("attributes: %r" % rows)
    if "dims" in ops or "holes" in ops:
        dims = list(msp.query("DIMENSION"))
        if not dims:
            failures.append("no dimensions")
        for dim in dims:
            block = after.blocks.get(dim.dxf.geometry)
            if block is None:
                failures.append("dimension without its block")
            measured = dim.get_measurement()
            kind = dim.dimtype  # ezdxf gives the kind without the flags
            if kind == 0:
                p1, p2 = dim.dxf.defpoint2, dim.dxf.defpoint3
                angle = math.radians(dim.dxf.get("angle", 0))
                geometry = abs((p2.x - p1.x) * math.cos(angle) + (p2.y - p1.y) * math.sin(angle))
            elif kind == 3:
                geometry = dim.dxf.defpoint.distance(dim.dxf.defpoint4)
            elif kind == 6:
                # ezdxf measures an ordinate as the feature's offset from the origin (a vector).
                axis = 0 if dim.dxf.dimtype & 64 else 1
                measured = abs(measured[axis])
                geometry = abs(dim.dxf.defpoint2[axis] - dim.dxf.defpoint[axis])
            else:
                geometry = None
            if geometry is None or not close(measured, geometry, 1e-6):
                failures.append("dimension type %d measures %r, geometry %r" %
                                (kind, measured, geometry))
        if "dims" in ops:
            linear = sorted(round(d.get_measurement(), 3) for d in dims if d.dimtype == 0)
            for size in (80.0, 100.0, 120.0):
                if size not in linear:
                    failures.append("no overall dimension of %s: %r" % (size, linear))
        if "holes" in ops:
            texts = [d.dxf.get("text", "") for d in dims if d.dimtype == 3]
            if "4×%%c<>" not in texts:
                failures.append("hole groups: %r" % texts)
    if "balloons" in ops:
        balloons = [(i.dxf.insert.y, i.get_attrib_text("NO")) for i in msp.query("INSERT")
                    if i.dxf.name == "QKS_BALLOON"]
        if sorted(n for _, n in balloons) != ["1", "2"]:
            failures.append("balloons: %r" % balloons)
    for line in failures:
        print("FAIL", line)
    return 1 if failures else 0


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        sys.exit(check(sys.argv[2], sys.argv[3].split(",")))
