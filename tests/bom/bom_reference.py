#!/usr/bin/python3
"""Drawings for the BOM job's tests, and an independent check of what the job wrote.

make DIR   writes the drawings and DIR/expected.json (what each part list row must say)
real DIR EXPECTED.tsv  pieces per drawing of DIR/out/BOM.xlsx against the corpus's counts
check DIR  reads DIR/out/BOM.xlsx with openpyxl and compares every row with the parts'
           geometry measured by shapely from the drawings (ezdxf), the flat-blank drawing
           (ezdxf audit), the CSV and the package zip; prints FAIL lines, exits 1 on any
"""
import json
import math
import os
import sys
import zipfile

import ezdxf
from ezdxf import path as ezpath
from shapely.geometry import Polygon

MATERIALS = {"Q235": 7.85, "SUS304": 7.93, "AL5052": 2.68}


def ring(entity, scale):
    pts = [(p.x * scale, p.y * scale) for p in ezpath.make_path(entity).flattening(0.001)]
    return Polygon(pts)


def plate(msp, x, y, holes=True):
    msp.add_lwpolyline([(x, y), (x + 200, y), (x + 200, y + 100), (x, y + 100)], close=True)
    if holes:
        for cx, cy in ((20, 20), (180, 20), (20, 80), (180, 80)):
            msp.add_circle((x + cx, y + cy), 5)
        msp.add_lwpolyline([(x + 90, y + 45), (x + 110, y + 45), (x + 110, y + 55),
                            (x + 90, y + 55)], close=True)


def make(folder):
    os.makedirs(folder, exist_ok=True)
    expected = []
    # 1. Title blocks as attributes, two frames; millimetres. Each states a scale and a weight:
    #    BP-001's bare number within 5 % of one piece, FL-002's "0.15kg" 11 % above it.
    doc = ezdxf.new("R2010")
    doc.header["$INSUNITS"] = 4
    msp = doc.modelspace()
    frame = doc.blocks.new("A3_TK")
    frame.add_lwpolyline([(0, 0), (420, 0), (420, 297), (0, 297)], close=True)
    tags = ("图号", "名称", "材料", "厚度", "数量", "比例", "重量")
    for i, tag in enumerate(tags):
        frame.add_attdef(tag, (300, 10 + 8 * i), dxfattribs={"height": 3})
    doc.layers.add("折弯")
    for x0, values in ((0, ("BP-001", "底板", "Q235B", "3", "3", "1:2", "0.46")),
                       (500, ("FL-002", "法兰", "SUS304", "2mm", "4", "1:1", "0.15kg"))):
        ref = msp.add_blockref("A3_TK", (x0, 0))
        ref.add_auto_attribs(dict(zip(tags, values)))
    plate(msp, 20, 20)
    plate(msp, 20, 150)
    msp.add_circle((700, 150), 60)
    msp.add_circle((700, 150), 30)
    msp.add_lwpolyline([(820, 250), (820, 200), (880, 200)], dxfattribs={"layer": "折弯"})
    doc.saveas(os.path.join(folder, "attrs.dxf"))
    plate_geom = Polygon([(20, 20), (220, 20), (220, 120), (20, 120)],
                         [ring(c, 1).exterior.coords for c in msp.query("CIRCLE")
                          if c.dxf.center.y < 120] +
                         [[(110, 65), (130, 65), (130, 75), (110, 75)]])
    flange = Polygon(ring(msp.query("CIRCLE")[-2], 1).exterior.coords,
                     [ring(msp.query("CIRCLE")[-1], 1).exterior.coords])
    expected.append({"number": "BP-001", "name": "底板", "quantity": 6, "material": "Q235B",
                     "density": 7.85, "thickness": 3.0, "geom": plate_geom.wkt,
                     "pierces": 6, "source": "attrs.dxf", "scale": "1:2", "weight": 0.46})
    expected.append({"number": "FL-002", "name": "法兰", "quantity": 4, "material": "SUS304",
                     "density": 7.93, "thickness": 2.0, "geom": flange.wkt, "pierces": 2,
                     "source": "attrs.dxf", "scale": "1:1", "weight": "0.15kg", "differs": True})
    # 2. A plain-text title block, inches; no quantity (1 by default).
    doc = ezdxf.new("R2010")
    doc.header["$INSUNITS"] = 1
    msp = doc.modelspace()
    doc.layers.add("图框")
    msp.add_lwpolyline([(0, 0), (16, 0), (16, 11), (0, 11)], close=True,
                       dxfattribs={"layer": "图框"})
    msp.add_text("图号", height=0.15).set_placement((11, 1.0))
    msp.add_text("P-100", height=0.15).set_placement((12.5, 1.0))
    msp.add_text("材质：AL5052", height=0.15).set_placement((11, 0.6))
    msp.add_mtext("板厚", dxfattribs={"char_height": 0.15, "insert": (11, 0.45)})
    msp.add_text("1.5", height=0.15).set_placement((12.5, 0.3))
    shape = msp.add_lwpolyline([(1, 1), (5, 1, 0.5), (5, 4), (1, 4)], format="xyb", close=True)
    doc.saveas(os.path.join(folder, "text.dxf"))
    expected.append({"number": "P-100", "name": "", "quantity": 1, "material": "AL5052",
                     "density": 2.68, "thickness": 1.5, "geom": ring(shape, 25.4).wkt,
                     "pierces": 1, "source": "text.dxf", "defaulted": 4})
    # 3. A finished nest: two sheets, a 100 × 50 plate with a 20 × 20 hole placed 3 + 1 times.
    os.makedirs(os.path.join(folder, "nest"), exist_ok=True)
    with open(os.path.join(folder, "nest", "qks_nest_parts.txt"), "w") as f:
        f.write("# QKS-PARTS 2\nP\t1\t4\t5000\t0\t0\t100\t50\tCURRENT\t1F\tplate\n"
                "O\t1\t0,0;100,0;100,50;0,50\nH\t1\t40,15;60,15;60,35;40,35\n")
    with open(os.path.join(folder, "nest", "qks_nest_progress.txt"), "w") as f:
        f.write("CFG\t10\t2\t0\nSHEET\t1000\t500\nPLACE\t1\t0\t0\t0\t0\n"
                "PLACE\t1\t0\t0\t60\t0\nPLACE\t1\t0\t0\t120\t0\nSHEET\t500\t400\n"
                "PLACE\t1\t0\t0\t0\t0\nSTATE\tdone\n")
    with open(os.path.join(folder, "broken.dxf"), "w") as f:
        f.write("0\nSECTION\n2\nENTITIES\n0\nLINE\n")
    with open(os.path.join(folder, "expected.json"), "w") as f:
        json.dump(expected, f, ensure_ascii=False)


def close(a, b, rel=2e-3, abs_=0.05):
    return abs(a - b) <= max(abs_, rel * abs(b))


def check(folder):
    import openpyxl
    from shapely.geometry import shape  # noqa: F401  (shapely present)
    from shapely import wkt
    failures = []
    expected = json.load(open(os.path.join(folder, "expected.json")))
    book = openpyxl.load_workbook(os.path.join(folder, "out", "BOM.xlsx"), data_only=True)
    for name in ("明细", "汇总", "展开", "排版", "目录"):
        if name not in book.sheetnames:
            failures.append("sheet missing " + name)
    detail = book["明细"]
    header = [c.value for c in detail[1]]
    rows = [dict(zip(header, [c.value for c in r])) for r in detail.iter_rows(min_row=2)]
    cells = [dict(zip(header, r)) for r in detail.iter_rows(min_row=2)]
    total = rows.pop()
    if total["图号"] != "合计":
        failures.append("no totals row")
    if detail.freeze_panes != "A2":
        failures.append("header not frozen: %s" % detail.freeze_panes)
    if len(rows) != len(expected):
        failures.append("rows %d, expected %d" % (len(rows), len(expected)))
    net_total = 0.0
    for want, got, cell in zip(expected, rows, cells):
        g = wkt.loads(want["geom"])
        rect = g.minimum_rotated_rectangle
        sides = sorted({round(math.dist(a, b), 6) for a, b in
                        zip(rect.exterior.coords, rect.exterior.coords[1:])}, reverse=True)
        length, width = (sides + sides)[0], (sides + sides)[-1]
        t, rho = want["thickness"], want["density"]
        checks = [
            ("图号", got["图号"] == want["number"]),
            ("数量 (件)", got["数量 (件)"] == want["quantity"]),
            ("材料", got["材料"] == want["material"]),
            ("厚度 (mm)", close(got["厚度 (mm)"], t)),
            ("净面积 (mm²)", close(got["净面积 (mm²)"], g.area)),
            ("切割长度 (mm)", close(got["切割长度 (mm)"], g.length)),
            ("穿孔数", got["穿孔数"] == want["pierces"]),
            ("下料长 (mm)", close(got["下料长 (mm)"], length)),
            ("下料宽 (mm)", close(got["下料宽 (mm)"], width)),
            ("单件净重 (kg)", close(got["单件净重 (kg)"], g.area * t * rho * 1e-6, abs_=1e-4)),
            ("单件毛重 (kg)", close(got["单件毛重 (kg)"], length * width * t * rho * 1e-6,
                               abs_=1e-4)),
            ("来源文件", os.path.basename(got["来源文件"] or "") == want["source"]),
        ]
        if want["name"]:
            checks.append(("名称", got["名称"] == want["name"]))
        # The title block's scale and weight as written; a weight off the computed one by
        # more than 5 % is filled and carries a note giving the computed weight.
        net = g.area * t * rho * 1e-6
        weight = cell.get("重量")
        marked = weight is not None and weight.fill.fgColor.rgb == "FFFFC7CE"
        note = weight.comment.text if weight is not None and weight.comment else ""
        checks += [("比例", got.get("比例") == want.get("scale")),
                   ("重量", got.get("重量") == want.get("weight")),
                   ("重量", marked == bool(want.get("differs"))),
                   ("重量", ("%.3f kg" % net in note) == bool(want.get("differs")))]
        for column, ok in checks:
            if not ok:
                failures.append("%s %s: %r" % (want["number"], column, got.get(column)))
        net_total += want["quantity"] * g.area * t * rho * 1e-6
    if not close(total["净重小计 (kg)"] or 0, net_total, abs_=1e-3):
        failures.append("net weight total %r, expected %r" % (total["净重小计 (kg)"], net_total))
    summary = book["汇总"]
    pieces = sum(r[3].value for r in summary.iter_rows(min_row=2) if r[0].value != "合计")
    if pieces != sum(w["quantity"] for w in expected):
        failures.append("summary pieces %r" % pieces)
    # The flat blank of the L profile: 50 + 60 drawn to the corner, T 2, R 2, K of SUS304 (0.43).
    blank = book["展开"]
    flat = blank.cell(row=2, column=8).value
    want_flat = 50 + 60 - 2 * 2 * math.tan(math.pi / 4) + math.pi / 2 * (2 + 0.43 * 2)
    if flat is None or not close(flat, want_flat, abs_=1e-3):
        failures.append("flat length %r, expected %r" % (flat, want_flat))
    flat_doc = ezdxf.readfile(os.path.join(folder, "out", "attrs_展开.dxf"))
    auditor = flat_doc.audit()
    if auditor.has_errors or auditor.has_fixes:
        failures.append("flat-blank drawing needs audit fixes")
    bends = [e for e in flat_doc.modelspace() if e.dxf.layer == "QKS_BEND" and
             e.dxftype() == "LWPOLYLINE"]
    if len(bends) != 1 or flat_doc.layers.get("QKS_BEND").dxf.linetype.upper() != "DASHED":
        failures.append("bend lines: %d, layer line type %s" %
                        (len(bends), flat_doc.layers.get("QKS_BEND").dxf.linetype))
    nest = [[c.value for c in r] for r in book["排版"].iter_rows(min_row=2)]
    want_nest = [["#1", 1000, 500, 0.5, 3, 0.0138, 0.0276], ["#2", 500, 400, 0.2, 1, 0.0046, 0.023],
                 ["合计", None, None, 0.7, 4, 0.0184, 0.0184 / 0.7]]
    for got, want in zip(nest, want_nest):
        if got[0] != want[0] or any(w is not None and not close(g or 0, w, abs_=1e-4)
                                    for g, w in zip(got[1:7], want[1:])):
            failures.append("排版 row %r, expected %r" % (got[:7], want))
    if len(nest) != 3 or len(book["排版"]._charts) != 1:
        failures.append("排版: %d rows, %d charts" % (len(nest), len(book["排版"]._charts)))
    csv = open(os.path.join(folder, "out", "BOM.csv"), encoding="utf-8-sig").read()
    if len(csv.strip().splitlines()) != len(expected) + 1 or "BP-001" not in csv:
        failures.append("csv rows")
    if "厚度 (mm),比例," not in csv or "单件毛重 (kg),重量," not in csv or ",0.15kg," not in csv:
        failures.append("csv lacks 比例 or 重量")
    names = zipfile.ZipFile(os.path.join(folder, "out", "BOM_交付.zip")).namelist()
    for want in ("BOM_交付/BP-001.dxf", "BOM_交付/P-100.dxf", "BOM_交付/BP-001.pdf",
                 "BOM_交付/FL-002.pdf", "BOM_交付/P-100.pdf", "BOM_交付/BOM.xlsx"):
        if want not in names:
            failures.append("zip lacks %s: %s" % (want, names))
    for line in failures:
        print("FAIL", line)
    print("CHECKED", len(rows), "rows")
    return 1 if failures else 0


def real(folder, expected_tsv):
    """Pieces per drawing of the real-drawing corpus: the workbook's quantities (one per title
    block, so copies) against the pieces a person counts (expected.tsv)."""
    import collections
    import openpyxl
    sheet = openpyxl.load_workbook(os.path.join(folder, "out", "BOM.xlsx"), data_only=True)["明细"]
    header = [c.value for c in sheet[1]]
    pieces = collections.Counter()
    for r in sheet.iter_rows(min_row=2):
        row = dict(zip(header, [c.value for c in r]))
        if row["图号"] != "合计":
            pieces[os.path.basename(row["来源文件"])] += row["数量 (件)"]
    failures = 0
    for line in open(expected_tsv, encoding="utf-8"):
        if line.startswith("#") or not line.strip():
            continue
        fields = line.split("\t")
        if pieces[fields[0]] != int(fields[2]):
            print("FAIL", fields[0], pieces[fields[0]], "pieces, expected", fields[2])
            failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    elif sys.argv[1] == "real":
        sys.exit(real(sys.argv[2], sys.argv[3]))
    else:
        sys.exit(check(sys.argv[2]))
