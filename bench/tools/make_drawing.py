#!/usr/bin/python3
"""Writes a drawing of about N entities (default 250,000) for the clean-up bench: plates of
loose lines (a tenth of them doubled, a tenth split into overlapping pieces), round holes with
copies, and zero-length lines, on a grid."""
import sys

import ezdxf


def main(path, count):
    doc = ezdxf.new("R2010")
    doc.header["$INSUNITS"] = 4
    msp = doc.modelspace()
    made = 0
    k = 0
    while made < count:
        x, y = (k % 200) * 150.0, (k // 200) * 120.0
        k += 1
        corners = [(x, y), (x + 120, y), (x + 120, y + 90), (x, y + 90)]
        for i in range(4):
            a, b = corners[i], corners[(i + 1) % 4]
            if k % 10 == 0 and i == 0:  # overlapping pieces
                msp.add_line(a, (x + 70, y))
                msp.add_line((x + 50, y), b)
                made += 2
            else:
                msp.add_line(a, b)
                made += 1
            if k % 10 == 1:  # doubled
                msp.add_line(b, a)
                made += 1
        for hx in (20, 50, 80, 100):
            msp.add_circle((x + hx, y + 45), 4)
            made += 1
        if k % 5 == 0:
            msp.add_circle((x + 20, y + 45), 4)
            msp.add_line((x + 60, y + 60), (x + 60, y + 60))
            made += 2
    doc.saveas(path)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 250000)
