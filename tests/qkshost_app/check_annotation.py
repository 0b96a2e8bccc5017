#!/usr/bin/python3
"""Describes the annotation of a drawing as ezdxf reads it, one fact per line.

  OK | <problem>                      first: scripts/check_dxf.py's audit (any ezdxf fix fails)
  DIMSTYLE <dimtxt> <dimasz> <dimexo> <dimexe> <dimgap> <dimdec> <text style> <name>
  DIM <handle> <type> <stored> <measured> <solids> <lines> <block text>
      stored: group 42; measured: ezdxf's get_measurement() (of an ordinate, the x or y its
      type measures); solids and lines: what the geometry block holds ("-" for the counts and
      text when the block is missing); block text: its MTEXT and TEXT contents, joined by "|"
  ATTRIB <insert handle> <x> <y> <tag> <value>    the alignment point of every attribute
  ENTITY <type> <layer>               every entity of model space
Numbers are printed with repr(float); names and texts come last on their line."""
import contextlib
import io
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import check_dxf  # noqa: E402
import ezdxf  # noqa: E402


def num(v):
    return repr(float(v))


def measured(dim):
    value = dim.get_measurement()
    if dim.dimtype == 6:
        return value.x if dim.dxf.dimtype & 64 else value.y
    return value


def main(path):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        check_dxf.audit(path)
    print(out.getvalue().strip().replace("\n", " / "))
    doc = ezdxf.readfile(path)
    for style in doc.dimstyles:
        d = style.dxf
        print("DIMSTYLE", num(d.dimtxt), num(d.dimasz), num(d.dimexo), num(d.dimexe),
              num(d.dimgap), d.dimdec, d.dimtxsty, d.name)
    for e in doc.modelspace():
        print("ENTITY", e.dxftype(), e.dxf.layer)
        if e.dxftype() == "DIMENSION":
            block = e.get_geometry_block()
            if block is None:
                print("DIM", e.dxf.handle, e.dimtype, num(e.dxf.actual_measurement),
                      num(measured(e)), "- - -")
                continue
            kinds = [g.dxftype() for g in block]
            texts = [g.text if g.dxftype() == "MTEXT" else g.dxf.text
                     for g in block if g.dxftype() in ("MTEXT", "TEXT")]
            print("DIM", e.dxf.handle, e.dimtype, num(e.dxf.actual_measurement),
                  num(measured(e)), kinds.count("SOLID"), kinds.count("LINE"), "|".join(texts))
        elif e.dxftype() == "INSERT":
            for a in e.attribs:
                p = a.dxf.align_point
                print("ATTRIB", e.dxf.handle, num(p.x), num(p.y), a.dxf.tag, a.dxf.text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
