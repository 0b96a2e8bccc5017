#!/usr/bin/python3
"""Writes the sample sheet-metal drawings in samples/ (run with /usr/bin/python3; needs ezdxf).

Each drawing shows one way parts arrive in real drawings: closed polylines, circles, loose
lines and arcs meeting end to end, and block references standing for one part each.
"""
import math
import os
import sys

import ezdxf

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(os.path.dirname(HERE), "samples")


def new_doc():
    doc = ezdxf.new("R2018", setup=False)
    doc.header["$INSUNITS"] = 4  # millimetres
    doc.layers.add("CUT", color=7)
    doc.layers.add("NOTES", color=1)
    return doc


def brackets(path):
    """L brackets as closed polylines with round holes; one slotted bracket with a bulge end."""
    doc = new_doc()
    msp = doc.modelspace()
    for i in range(2):
        x0 = i * 260.0
        outline = [(x0, 0), (x0 + 200, 0), (x0 + 200, 40), (x0 + 40, 40), (x0 + 40, 160),
                   (x0, 160)]
        msp.add_lwpolyline(outline, close=True, dxfattribs={"layer": "CUT"})
        for cx, cy in ((x0 + 20, 20), (x0 + 120, 20), (x0 + 180, 20), (x0 + 20, 130)):
            msp.add_circle((cx, cy), 6, dxfattribs={"layer": "CUT"})
    # A flat bar with rounded ends: straight segments joined by bulges.
    msp.add_lwpolyline([(0, 220, 0, 0, 0), (180, 220, 0, 0, 1), (180, 260, 0, 0, 0),
                        (0, 260, 0, 0, 1)], format="xyseb", close=True,
                       dxfattribs={"layer": "CUT"})
    msp.add_circle((0, 240), 8, dxfattribs={"layer": "CUT"})
    msp.add_circle((180, 240), 8, dxfattribs={"layer": "CUT"})
    msp.add_text("BRACKETS", dxfattribs={"layer": "NOTES", "height": 10}).set_placement((0, -30))
    doc.saveas(path)


def flanges(path):
    """Round flanges with a bore and a bolt circle, and square flanges with four holes."""
    doc = new_doc()
    msp = doc.modelspace()
    for k in range(3):
        cx = k * 200.0
        msp.add_circle((cx, 0), 80, dxfattribs={"layer": "CUT"})
        msp.add_circle((cx, 0), 30, dxfattribs={"layer": "CUT"})
        for j in range(6):
            a = 2 * math.pi * j / 6
            msp.add_circle((cx + 55 * math.cos(a), 55 * math.sin(a)), 7,
                           dxfattribs={"layer": "CUT"})
    for k in range(2):
        x0 = k * 170.0
        msp.add_lwpolyline([(x0, 150), (x0 + 140, 150), (x0 + 140, 290), (x0, 290)],
                           close=True, dxfattribs={"layer": "CUT"})
        msp.add_circle((x0 + 70, 220), 35, dxfattribs={"layer": "CUT"})
        for dx, dy in ((15, 15), (125, 15), (125, 125), (15, 125)):
            msp.add_circle((x0 + dx, 150 + dy), 6, dxfattribs={"layer": "CUT"})
    doc.saveas(path)


def channels(path):
    """L and U profiles drawn as loose lines and arcs, in mixed directions."""
    doc = new_doc()
    msp = doc.modelspace()
    cut = {"layer": "CUT"}
    # U shape: outer 240 x 120, legs 30 wide, inner corners rounded with arcs of radius 10.
    for k in range(2):
        y0 = k * 160.0
        msp.add_line((0, y0), (240, y0), cut)
        msp.add_line((240, y0 + 120), (240, y0), cut)           # drawn downwards
        msp.add_line((240, y0 + 120), (210, y0 + 120), cut)
        msp.add_line((210, y0 + 120), (210, y0 + 40), cut)
        msp.add_arc((200, y0 + 40), 10, 270, 360, dxfattribs=cut)
        msp.add_line((200, y0 + 30), (40, y0 + 30), cut)
        msp.add_arc((40, y0 + 40), 10, 180, 270, dxfattribs=cut)
        msp.add_line((30, y0 + 40), (30, y0 + 120), cut)
        msp.add_line((0, y0 + 120), (30, y0 + 120), cut)        # drawn rightwards
        msp.add_line((0, y0 + 120), (0, y0), cut)
    # L shape from lines, 150 x 100, 25 thick.
    x0 = 300.0
    pts = [(x0, 0), (x0 + 150, 0), (x0 + 150, 25), (x0 + 25, 25), (x0 + 25, 100), (x0, 100)]
    for i in range(len(pts)):
        a, b = pts[i], pts[(i + 1) % len(pts)]
        if i % 2:
            a, b = b, a
        msp.add_line(a, b, cut)
    doc.saveas(path)


def gussets(path):
    """Triangular gussets with a lightening hole, as references of one block, some turned."""
    doc = new_doc()
    block = doc.blocks.new("GUSSET")
    block.add_lwpolyline([(0, 0), (120, 0), (0, 120)], close=True, dxfattribs={"layer": "CUT"})
    block.add_circle((32, 32), 14, dxfattribs={"layer": "CUT"})
    plate = doc.blocks.new("BASEPLATE")
    plate.add_lwpolyline([(0, 0), (160, 0), (160, 100), (0, 100)], close=True,
                         dxfattribs={"layer": "CUT"})
    for dx, dy in ((20, 20), (140, 20), (140, 80), (20, 80)):
        plate.add_circle((dx, dy), 7, dxfattribs={"layer": "CUT"})
    msp = doc.modelspace()
    for k in range(6):
        # A quarter turn about the insertion point swings the gusset to its left: the turned
        # ones are inserted at the right corner of their place, so no two overlap.
        msp.add_blockref("GUSSET", (k * 150.0 + 120.0 * (k % 2), 0),
                         dxfattribs={"rotation": 90 * (k % 2)})
    for k in range(2):
        msp.add_blockref("BASEPLATE", (k * 200.0, 200))
    doc.saveas(path)


def discs(path):
    """Plain discs and washers of two sizes."""
    doc = new_doc()
    msp = doc.modelspace()
    for k in range(4):
        msp.add_circle((k * 130.0, 0), 55, dxfattribs={"layer": "CUT"})
    for k in range(4):
        msp.add_circle((k * 90.0, 150), 40, dxfattribs={"layer": "CUT"})
        msp.add_circle((k * 90.0, 150), 15, dxfattribs={"layer": "CUT"})
    doc.saveas(path)


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, make in (("brackets.dxf", brackets), ("flanges.dxf", flanges),
                       ("channels.dxf", channels), ("gussets.dxf", gussets),
                       ("discs.dxf", discs)):
        make(os.path.join(OUT, name))
        print(os.path.join(OUT, name))
    return 0


if __name__ == "__main__":
    sys.exit(main())
