#!/usr/bin/python3
"""Describes what the drawing window should show of a drawing's model space, as ezdxf reads it,
one fact per line:

  LAYER <frozen 0|1> <name>                    every layer of the layer table
  LAYOUT <name>                                every layout, model space first, then tab order
  ENTITY <handle> <type> <x0> <y0> <x1> <y1> <layer>
      every entity of model space; the box of lines, circles, arcs and light polylines without
      widths from ezdxf's own bounding box (curves flattened to 0.1 um), "-" for the other kinds
      and for polylines with widths (whose outlines the window draws as their centre lines)
Numbers are printed with repr(float); names come last on their line."""
import sys

import ezdxf
from ezdxf import bbox

BOXED = {"LINE", "CIRCLE", "ARC", "LWPOLYLINE"}


def main(path):
    doc = ezdxf.readfile(path)
    for layer in doc.layers:
        print("LAYER", 1 if layer.is_frozen() else 0, layer.dxf.name)
    for name in doc.layouts.names_in_taborder():
        print("LAYOUT", name)
    for entity in doc.modelspace():
        kind = entity.dxftype()
        box = "- - - -"
        wide = kind == "LWPOLYLINE" and (
            entity.dxf.get("const_width", 0) or any(p[2] or p[3] for p in entity.get_points()))
        if kind in BOXED and not wide:
            extents = bbox.extents([entity], flatten=0.0001)
            if extents.has_data:
                box = " ".join(repr(v) for v in (extents.extmin.x, extents.extmin.y,
                                                  extents.extmax.x, extents.extmax.y))
        print("ENTITY", entity.dxf.handle, kind, box, entity.dxf.layer)


if __name__ == "__main__":
    main(sys.argv[1])
