#!/usr/bin/python3
"""Writes the extraction benchmark's large drawing: 200 plates of 30 curves each (6,000 in all):
outlines of lines, bulged polylines and splines, bores as circles and arcs, in millimetres.

usage: make_drawing.py OUT.dxf
"""
import math
import sys

import ezdxf


def plate(msp, x0, y0):
    # Outline: bottom of lines, right side a spline, top a polyline with a bulged corner, left
    # side two arcs; then bores and slots inside.
    w, h = 120.0, 80.0
    for k in range(6):
        msp.add_line((x0 + k * w / 6, y0), (x0 + (k + 1) * w / 6, y0))
    fit = [(x0 + w + 4 * math.sin(t * math.pi / 6), y0 + t * h / 6) for t in range(7)]
    msp.add_spline(fit)
    msp.add_lwpolyline([(x0 + w, y0 + h, 0, 0, 0), (x0 + w / 2, y0 + h, 0, 0, 0.4),
                        (x0 + 20, y0 + h + 10, 0, 0, 0), (x0, y0 + h, 0, 0, 0)], format="xyseb")
    msp.add_arc((x0, y0 + h * 0.75), h / 4, 90, 270)
    msp.add_arc((x0, y0 + h * 0.25), h / 4, 90, 270)
    for k in range(8):
        msp.add_circle((x0 + 15 + k * 12, y0 + 15), 3)
    for k in range(3):
        cx, cy = x0 + 25 + k * 25, y0 + 45
        msp.add_arc((cx, cy), 4, 180, 360)
        msp.add_arc((cx, cy + 10), 4, 0, 180)
        msp.add_line((cx - 4, cy), (cx - 4, cy + 10))
        msp.add_line((cx + 4, cy), (cx + 4, cy + 10))
    # 30 curves: 6 lines, a spline, a polyline and 2 arcs of outline, 8 bores and 3 slots of
    # two arcs and two lines each.


def main():
    doc = ezdxf.new("R2018", setup=False)
    doc.units = 4
    msp = doc.modelspace()
    for i in range(200):
        plate(msp, (i % 20) * 160.0, (i // 20) * 130.0)
    doc.saveas(sys.argv[1])
    print("%d curves" % len(msp))


if __name__ == "__main__":
    main()
