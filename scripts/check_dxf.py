#!/usr/bin/python3
"""Independent checks of DXF files written by qkshost, done with ezdxf.

  check_dxf.py audit FILE      ezdxf's audit (any error or fix fails) and a check of the raw
                               tags: unique handles, $HANDSEED above them, every owner handle
                               pointing at an object, LAYOUT and BLOCK_RECORD linked both ways.
  check_dxf.py geometry FILE   ezdxf's values for every model-space entity, one per line:
                                 R handle closed t0 t1        parameter range of a curve
                                 P handle t x y z             point at parameter t
                                 E handle x0 y0 z0 x1 y1 z1   extents
                                 M handle m00 .. m23          block reference matrix
  check_dxf.py entities FILE   type, layer and defining points of every entity (all blocks).
Exit status 0 when the file passes (audit) or was read (geometry, entities)."""
import math
import sys

import ezdxf
from ezdxf.math import Vec3, OCS, bulge_to_arc

HANDLE_CODES = {5, 105}


def raw_tags(path):
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode("utf-8")
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    lines = [l.rstrip("\r") for l in lines]
    if len(lines) % 2:
        raise ValueError("odd number of lines")
    return [(int(lines[i]), lines[i + 1]) for i in range(0, len(lines), 2)]


def check_raw(path):
    problems = []
    tags = raw_tags(path)
    handseed = None
    for i, (code, value) in enumerate(tags):
        if code == 9 and value == "$HANDSEED":
            handseed = int(tags[i + 1][1], 16)
    # split into structures starting at group 0
    objects = []
    current = None
    for code, value in tags:
        if code == 0:
            current = {"type": value, "tags": []}
            objects.append(current)
        elif current is not None:
            current["tags"].append((code, value))
    handles = {}
    for obj in objects:
        t = obj["type"]
        if t in ("SECTION", "ENDSEC", "EOF", "CLASS", "ENDTAB"):
            continue
        h = None
        owner = None
        in_group = False
        for code, value in obj["tags"]:
            if code == 102:
                in_group = value.startswith("{")
                continue
            if in_group:
                continue
            if code in HANDLE_CODES and h is None:
                h = int(value, 16)
            elif code == 330 and owner is None and h is not None:
                owner = int(value, 16)
        if t == "TABLE":
            h = next((int(v, 16) for c, v in obj["tags"] if c == 5), None)
        if h is None:
            problems.append(f"{t} without a handle")
            continue
        if h in handles:
            problems.append(f"duplicate handle {h:X} ({t} and {handles[h]['type']})")
        obj["handle"] = h
        obj["owner"] = owner
        handles[h] = obj
    if handseed is None:
        problems.append("no $HANDSEED")
    elif handles and handseed <= max(handles):
        problems.append(f"$HANDSEED {handseed:X} not above the largest handle {max(handles):X}")
    for h, obj in handles.items():
        owner = obj["owner"]
        if owner is None:
            problems.append(f"{obj['type']} {h:X} has no owner")
        elif owner != 0 and owner not in handles:
            problems.append(f"{obj['type']} {h:X} owner {owner:X} does not exist")
        elif owner == 0 and obj["type"] not in ("TABLE", "DICTIONARY"):
            problems.append(f"{obj['type']} {h:X} has owner 0")
    # layouts and block records linked both ways
    for h, obj in handles.items():
        if obj["type"] == "LAYOUT":
            sub = None
            block = None
            for code, value in obj["tags"]:
                if code == 100:
                    sub = value
                elif code == 330 and sub == "AcDbLayout":
                    block = int(value, 16)
            rec = handles.get(block)
            if rec is None or rec["type"] != "BLOCK_RECORD":
                problems.append(f"LAYOUT {h:X} names no block record")
                continue
            back = next((int(v, 16) for c, v in rec["tags"] if c == 340), None)
            if back != h:
                problems.append(f"BLOCK_RECORD {block:X} does not point back at LAYOUT {h:X}")
        if obj["type"] == "BLOCK_RECORD":
            name = next((v for c, v in obj["tags"] if c == 2), "")
            if name.lower().startswith(("*model_space", "*paper_space")):
                back = next((int(v, 16) for c, v in obj["tags"] if c == 340), 0)
                lay = handles.get(back)
                if lay is None or lay["type"] != "LAYOUT":
                    problems.append(f"layout block {name} has no LAYOUT")
    return problems


def audit(path):
    problems = check_raw(path)
    doc = ezdxf.readfile(path)
    if doc.dxfversion != "AC1032":
        problems.append(f"version {doc.dxfversion}")
    auditor = doc.audit()
    for e in auditor.errors:
        problems.append(f"ezdxf audit error: {e.message}")
    for e in auditor.fixes:
        problems.append(f"ezdxf audit fix: {e.message}")
    for p in problems:
        print(p)
    if not problems:
        print("OK")
    return 0 if not problems else 1


def fmt(*values):
    return " ".join(repr(float(v)) for v in values)


def curve_function(e):
    """(t0, t1, closed, point(t)) from ezdxf's construction tools, or None."""
    t = e.dxftype()
    if t == "LINE":
        s, d = Vec3(e.dxf.start), Vec3(e.dxf.end)
        length = (d - s).magnitude
        return 0.0, length, False, lambda u: s + (d - s) * (u / length if length else 0)
    if t in ("CIRCLE", "ARC"):
        ocs = OCS(e.dxf.extrusion)
        c = Vec3(e.dxf.center)
        r = e.dxf.radius
        if t == "CIRCLE":
            a0, a1 = 0.0, 2 * math.pi
        else:
            a0 = math.radians(e.dxf.start_angle) % (2 * math.pi)
            a1 = math.radians(e.dxf.end_angle) % (2 * math.pi)
            while a1 <= a0 + 1e-12:
                a1 += 2 * math.pi
        return a0, a1, t == "CIRCLE", lambda u: ocs.to_wcs(c + Vec3.from_angle(u, r))
    if t == "ELLIPSE":
        ce = e.construction_tool()
        a0 = e.dxf.start_param % (2 * math.pi)
        a1 = e.dxf.end_param % (2 * math.pi)
        while a1 <= a0 + 1e-12:
            a1 += 2 * math.pi
        closed = abs(a1 - a0 - 2 * math.pi) < 1e-9
        return a0, a1, closed, lambda u: list(ce.vertices([u]))[0]
    if t in ("LWPOLYLINE", "POLYLINE"):
        if t == "POLYLINE":
            if not e.is_2d_polyline and not e.is_3d_polyline:
                return None
            verts = [v for v in e.vertices if not v.dxf.flags & 16]
            pts = [(Vec3(v.dxf.location), v.dxf.bulge if e.is_2d_polyline else 0) for v in verts]
            elevation = e.dxf.elevation.z
            ocs = OCS(e.dxf.extrusion) if e.is_2d_polyline else None
            closed = e.is_closed
        else:
            pts = [(Vec3(x, y), b) for x, y, s, w, b in e.get_points("xyseb")]
            elevation = e.dxf.elevation
            ocs = OCS(e.dxf.extrusion)
            closed = e.closed
        n = len(pts)
        if n == 0:
            return None
        segs = n if closed else n - 1

        def point(u):
            if segs == 0:
                p = pts[0][0]
            else:
                k = min(segs - 1, int(math.floor(u)))
                f = u - k
                a, bulge = pts[k]
                b = pts[(k + 1) % n][0]
                if bulge == 0 or (a.x == b.x and a.y == b.y):
                    p = a.lerp(b, f)
                else:
                    center, sa, ea, r = bulge_to_arc(a, b, bulge)
                    start = math.atan2(a.y - center.y, a.x - center.x)
                    ang = start + 4 * math.atan(bulge) * f
                    p = Vec3(center.x + r * math.cos(ang), center.y + r * math.sin(ang), a.z)
            if ocs is None:
                return p
            return ocs.to_wcs(Vec3(p.x, p.y, elevation))
        return 0.0, float(segs), closed, point
    if t == "SPLINE":
        if e.dxf.n_control_points == 0:
            return None
        bs = e.construction_tool()
        knots = list(bs.knots())
        p = bs.degree
        t0, t1 = knots[p], knots[bs.count]
        return t0, t1, bool(e.closed), lambda u: bs.point(u)
    return None


def extreme_extents(fn, t0, t1, samples=256):
    """Extents of the points fn(t), t in [t0, t1], refined around every local extreme."""
    ts = [t0 + (t1 - t0) * i / samples for i in range(samples + 1)]
    ps = [fn(u) for u in ts]
    lo = [min(p[k] for p in ps) for k in range(3)]
    hi = [max(p[k] for p in ps) for k in range(3)]
    for k in range(3):
        for i in range(1, samples):
            a, b, c = ps[i - 1][k], ps[i][k], ps[i + 1][k]
            for sign in (1, -1):
                if sign * b >= sign * a and sign * b >= sign * c:
                    l, h = ts[i - 1], ts[i + 1]
                    for _ in range(64):
                        m1, m2 = l + (h - l) * 0.381966, l + (h - l) * 0.618034
                        if sign * fn(m1)[k] >= sign * fn(m2)[k]:
                            h = m2
                        else:
                            l = m1
                    v = fn((l + h) / 2)[k]
                    lo[k] = min(lo[k], v)
                    hi[k] = max(hi[k], v)
    return lo, hi


def entity_extents(e, depth=0):
    t = e.dxftype()
    if t == "INSERT":
        lo, hi = [math.inf] * 3, [-math.inf] * 3
        for v in e.virtual_entities():
            if v.dxftype() == "ATTDEF":
                continue
            r = entity_extents(v, depth + 1)
            if r:
                lo = [min(a, b) for a, b in zip(lo, r[0])]
                hi = [max(a, b) for a, b in zip(hi, r[1])]
        for a in e.attribs:
            pass  # texts: extents depend on font metrics, compared elsewhere
        return (lo, hi) if lo[0] != math.inf else None
    if t in ("POINT",):
        p = Vec3(e.dxf.location)
        return list(p), list(p)
    if t in ("SOLID",):
        ocs = OCS(e.dxf.extrusion)
        pts = [ocs.to_wcs(Vec3(p)) for p in e.vertices()]
        return [min(p[k] for p in pts) for k in range(3)], [max(p[k] for p in pts) for k in range(3)]
    cf = curve_function(e)
    if cf is None:
        return None
    t0, t1, closed, fn = cf
    if t in ("LWPOLYLINE", "POLYLINE"):
        # per segment, so that corners are exact
        lo, hi = [math.inf] * 3, [-math.inf] * 3
        segs = int(round(t1))
        if segs == 0:
            p = fn(0.0)
            return list(p), list(p)
        for k in range(segs):
            a, b = extreme_extents(fn, k, k + 1 - 1e-15, 32)
            lo = [min(x, y) for x, y in zip(lo, a)]
            hi = [max(x, y) for x, y in zip(hi, b)]
        end = fn(float(segs)) if not closed else fn(0.0)
        lo = [min(x, y) for x, y in zip(lo, end)]
        hi = [max(x, y) for x, y in zip(hi, end)]
        return lo, hi
    return extreme_extents(fn, t0, t1)


def geometry(path):
    doc = ezdxf.readfile(path)
    for e in doc.modelspace():
        h = e.dxf.handle
        cf = curve_function(e)
        if cf is not None:
            t0, t1, closed, fn = cf
            print(f"R {h} {int(closed)} {fmt(t0, t1)}")
            for i in range(9):
                u = t0 + (t1 - t0) * i / 8
                print(f"P {h} {fmt(u, *fn(u))}")
        ext = entity_extents(e)
        if ext is not None:
            print(f"E {h} {fmt(*ext[0], *ext[1])}")
        if e.dxftype() == "INSERT":
            m = e.matrix44()
            # ezdxf stores row vectors: column j of our column-vector matrix is row j
            rows = [[m[j, i] for j in range(4)] for i in range(3)]
            print(f"M {h} {fmt(*[v for r in rows for v in r])}")
    return 0


def entities(path):
    doc = ezdxf.readfile(path)
    for block in doc.blocks:
        for e in block:
            line = [block.name, e.dxftype(), e.dxf.get("layer", "0")]
            for key in ("start", "end", "center", "insert", "location", "radius",
                        "start_angle", "end_angle", "text"):
                if e.dxf.hasattr(key):
                    v = e.dxf.get(key)
                    line.append(f"{key}={v}")
            if e.dxftype() == "VIEWPORT":
                line.append("frozen=" + ",".join(sorted(e.frozen_layers)))
            print("\t".join(str(x) for x in line))
    return 0


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    cmd, path = sys.argv[1], sys.argv[2]
    try:
        if cmd == "audit":
            return audit(path)
        if cmd == "geometry":
            return geometry(path)
        if cmd == "entities":
            return entities(path)
    except Exception as exc:  # report, never hide
        print(f"ERROR {type(exc).__name__}: {exc}")
        return 1
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main())
