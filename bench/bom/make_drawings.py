#!/usr/bin/python3
"""Writes N part drawings (default 500) into a folder: each an A3 frame block whose title block
carries drawing number, name, material, thickness and quantity as attributes, and one plate
with holes and a slot inside it, of a size and hole count that vary with the drawing."""
import os
import sys

import ezdxf


def main(folder, count):
    os.makedirs(folder, exist_ok=True)
    materials = ("Q235", "SUS304", "AL5052", "SPCC")
    for n in range(count):
        doc = ezdxf.new("R2010")
        doc.header["$INSUNITS"] = 4
        msp = doc.modelspace()
        frame = doc.blocks.new("A3_TK")
        frame.add_lwpolyline([(0, 0), (420, 0), (420, 297), (0, 297)], close=True)
        for i, tag in enumerate(("图号", "名称", "材料", "厚度", "数量")):
            frame.add_attdef(tag, (300, 10 + 8 * i), dxfattribs={"height": 3})
        ref = msp.add_blockref("A3_TK", (0, 0))
        ref.add_auto_attribs({"图号": "P-%04d" % n, "名称": "零件%d" % n,
                              "材料": materials[n % 4], "厚度": str(1 + n % 5), "数量": str(1 + n % 7)})
        w, h = 120 + n % 150, 80 + (7 * n) % 120
        msp.add_lwpolyline([(20, 20), (20 + w, 20), (20 + w, 20 + h, 0.3), (20, 20 + h)],
                           format="xyb", close=True)
        for k in range(2 + n % 6):
            msp.add_circle((35 + k * (w - 30) / (2 + n % 6), 35), 4)
        msp.add_lwpolyline([(40, 60), (70, 60), (70, 68), (40, 68)], close=True)
        doc.saveas(os.path.join(folder, "part_%04d.dxf" % n))


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 500)
