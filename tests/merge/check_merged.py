#!/usr/bin/python3
"""Describes a merged drawing as ezdxf reads it, one fact per line, for the merge suite.

  AUDIT OK | AUDIT <problem>          the drawing database suite's audit (scripts/check_dxf.py)
  BLOCK <name>                        every named (non-layout) block definition
  INSERT <x> <y> <rotation> <name>    every block reference of model space
  MTEXT <x> <y> <height> <width> <attachment> <style> <plain text>
  STYLE <name> <font file> <charset> <typeface>   text styles with a TrueType typeface
  LAYER <name>
  BTEXT <rotation> <type> <block>     every TEXT, MTEXT and ATTDEF inside a block definition
Numbers are printed with repr(float); names come last on their line (they may hold blanks)."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import check_dxf  # noqa: E402
import ezdxf  # noqa: E402


def num(v):
    return repr(float(v))


def main(path):
    for problem in check_dxf.check_raw(path):
        print("AUDIT", problem)
    doc = ezdxf.readfile(path)
    auditor = doc.audit()
    problems = [e.message for e in auditor.errors] + [e.message for e in auditor.fixes]
    if doc.dxfversion != "AC1032":
        problems.append("version " + doc.dxfversion)
    for p in problems:
        print("AUDIT", p)
    if not problems:
        print("AUDIT OK")
    for block in doc.blocks:
        if block.name.startswith("*"):
            continue
        print("BLOCK", block.name)
        for e in block:
            t = e.dxftype()
            if t == "MTEXT":
                print("BTEXT", num(e.get_rotation()), t, block.name)
            elif t in ("TEXT", "ATTDEF"):
                print("BTEXT", num(e.dxf.rotation), t, block.name)
    for e in doc.modelspace():
        t = e.dxftype()
        if t == "INSERT":
            print("INSERT", num(e.dxf.insert.x), num(e.dxf.insert.y), num(e.dxf.rotation), e.dxf.name)
        elif t == "MTEXT":
            print("MTEXT", num(e.dxf.insert.x), num(e.dxf.insert.y), num(e.dxf.char_height),
                  num(e.dxf.get("width", 0.0)), e.dxf.attachment_point, e.dxf.style, e.plain_text())
    for style in doc.styles:
        if style.has_xdata("ACAD"):
            tags = style.get_xdata("ACAD")
            typeface = next((v for c, v in tags if c == 1000), "")
            flags = next((v for c, v in tags if c == 1071), 0)
            print("STYLE", style.dxf.name, style.dxf.font, (int(flags) >> 8) & 0xFF, typeface)
    for layer in doc.layers:
        print("LAYER", layer.dxf.name)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
