"""Prints the records of a DXF drawing, read by ezdxf, one per line, in the form the DWG test
builds from its own decoding: kind, handle, layer and the numbers and text of each entity.
Texts and names are hex-encoded UTF-8, so every line splits on blanks."""
import math
import re
import sys

import ezdxf


def hx(s):
    return (s or "").encode("utf-8").hex() or "-"


def nums(*values):
    out = []
    for v in values:
        if isinstance(v, (tuple, list)) or hasattr(v, "x"):
            out.extend(float(c) for c in v)
        else:
            out.append(float(v))
    return " ".join(repr(x) for x in out)


def unescape(s):
    """DXF files before 2007 write non-ASCII characters as \\U+XXXX."""
    return re.sub(r"\\U\+([0-9A-Fa-f]{4})", lambda m: chr(int(m.group(1), 16)), s or "")


def entity(e):
    t = e.dxftype()
    d = e.dxf
    text = ""
    if t == "LINE":
        n = nums(d.start, d.end)
    elif t == "CIRCLE":
        n = nums(d.center, d.radius)
    elif t == "ARC":
        n = nums(d.center, d.radius, math.radians(d.start_angle), math.radians(d.end_angle))
    elif t == "POINT":
        n = nums(d.location)
    elif t == "ELLIPSE":
        n = nums(d.center, d.major_axis, d.ratio, d.start_param, d.end_param)
    elif t == "LWPOLYLINE":
        n = nums(*[(x, y, b) for x, y, b in e.get_points("xyb")])
    elif t in ("TEXT", "ATTRIB", "ATTDEF"):
        n = nums(d.insert, d.height)
        text = d.text
    elif t == "MTEXT":
        n = nums(d.insert, d.char_height)
        text = e.text
    elif t == "INSERT":
        n = nums(d.insert, d.xscale, d.yscale, d.zscale)
    elif t == "SOLID":
        n = nums(d.vtx0, d.vtx1, d.vtx2, d.vtx3)
    elif t == "VERTEX":
        n = nums(d.location)
    elif t == "SPLINE":
        fit = list(e.fit_points)
        n = nums(*fit) if fit else nums(*e.control_points, *e.knots)
    elif t == "DIMENSION":
        n = nums(d.defpoint)
    else:
        n = ""
    layer = d.layer if d.is_supported("layer") else "0"
    return f"E {d.handle} {t} {hx(layer)} {hx(unescape(text))} {n}".rstrip()


def main(path):
    doc = ezdxf.readfile(path)
    lines = []
    for var in ("$INSUNITS", "$LTSCALE", "$PSLTSCALE", "$EXTMIN", "$EXTMAX"):
        value = doc.header.get(var, 0)
        if var in ("$EXTMIN", "$EXTMAX"):
            value = tuple(value)[:2]  # the twins differ in z (saved at another state)
        lines.append(f"V {var} {nums(value)}")
    for layer in doc.layers:
        lines.append(f"L {hx(layer.dxf.name)} {abs(layer.dxf.color)} {int(layer.is_off())}")
    for block in doc.blocks:
        lines.append(f"B {hx(block.name)} " + " ".join(e.dxf.handle for e in block))
        for e in block:
            lines.append(entity(e))
            subs = list(e.vertices) if e.dxftype() == "POLYLINE" else []
            subs += list(e.attribs) if e.dxftype() == "INSERT" else []
            for sub in subs:
                lines.append(entity(sub))
    for layout in doc.layouts:
        lines.append(f"Y {hx(layout.name)}")
    sys.stdout.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1])
