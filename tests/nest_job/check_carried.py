#!/usr/bin/python3
"""Independent check of what travels with the parts of a nest drawing (ezdxf and shapely).

usage: check_carried.py DRAWING
Every part reference is exploded (nested references too); its cut geometry (everything not on
QKS_BEND or QKS_MARK) gives the placed part's region, and every carried entity must lie on it:
curves within 0.05 mm of it, texts (of the part's block itself) with their insertion point
inside. Labels (MTEXT on
QKS_LABEL in model space) must stand inside a placed part, one per part. Prints one line
"OK parts=P bend=B mark=M labels=L mirrored=X turned=T texts=A;B" (the carried texts, sorted)
or "FAIL <reason>" lines; exits 1 on any failure.
"""
import os
import sys

import ezdxf
from shapely.geometry import LineString, Point, Polygon

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_nest_drawing import flat_entities, outer_polygon, ring_of  # noqa: E402

CARRIED = ("QKS_BEND", "QKS_MARK")


def main():
    failures = []
    doc = ezdxf.readfile(sys.argv[1])
    auditor = doc.audit()
    if auditor.has_errors or auditor.has_fixes:
        failures.append("audit errors=%d fixes=%d" % (len(auditor.errors), len(auditor.fixes)))
    msp = doc.modelspace()
    for e in msp:
        if e.dxf.layer in CARRIED:
            failures.append("%s on %s outside a part" % (e.dxftype(), e.dxf.layer))
    counts = {layer: 0 for layer in CARRIED}
    texts, regions = [], []
    mirrored = turned = 0
    for ins in msp.query("INSERT"):
        if ins.dxf.xscale < 0:
            mirrored += 1
        if abs(ins.dxf.rotation) % 360 > 1e-9:
            turned += 1
        entities = flat_entities(ins)
        region = outer_polygon([e for e in entities if e.dxf.layer not in CARRIED])
        if region is None:
            failures.append("%s has no outline" % ins.dxf.name)
            continue
        regions.append(region)
        zone = region.buffer(0.05)
        # Texts by the reference's own matrix: ezdxf's exploded TEXT of a mirrored reference
        # puts its insertion point elsewhere.
        matrix = ins.matrix44()
        for e in ins.block():
            if e.dxf.layer in CARRIED and e.dxftype() in ("TEXT", "MTEXT"):
                entities.append(e)
        for e in entities:
            if e.dxf.layer not in CARRIED:
                continue
            if e.dxftype() in ("TEXT", "MTEXT"):
                if e.is_virtual:
                    continue
                counts[e.dxf.layer] += 1
                texts.append(e.plain_text() if e.dxftype() == "MTEXT" else e.dxf.text)
                at = matrix.transform(e.dxf.insert)
                shape = Point(at.x, at.y)
            else:
                counts[e.dxf.layer] += 1
                pts = ring_of(e)
                shape = LineString(pts) if len(pts) > 1 else Point(pts[0])
            if not zone.covers(shape):
                failures.append("%s on %s of %s strays %.3f off the part" % (
                    e.dxftype(), e.dxf.layer, ins.dxf.name,
                    shape.difference(region).length if shape.length else -1))
    labels = 0
    for t in msp.query("MTEXT[layer=='QKS_LABEL']"):
        labels += 1
        at = Point(t.dxf.insert.x, t.dxf.insert.y)
        if not any(r.contains(at) for r in regions):
            failures.append("label %r at %s not inside a part" % (t.text, (at.x, at.y)))
    if labels and labels != len(regions):
        failures.append("%d labels for %d parts" % (labels, len(regions)))
    for line in failures:
        print("FAIL " + line)
    if failures:
        return 1
    print("OK parts=%d bend=%d mark=%d labels=%d mirrored=%d turned=%d texts=%s" % (
        len(regions), counts["QKS_BEND"], counts["QKS_MARK"], labels, mirrored, turned,
        ";".join(sorted(texts))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
