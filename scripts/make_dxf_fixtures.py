#!/usr/bin/python3
"""Writes the DXF fixture corpus of the qkshost drawing tests with ezdxf, an independent
DXF library. Run with the system Python: /usr/bin/python3 scripts/make_dxf_fixtures.py
[output folder]. The files are committed; the tests read them and check their values."""
import math
import os
import sys

import ezdxf
from ezdxf.enums import TextEntityAlignment

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixtures", "dxf")
MIRROR = (0, 0, -1)


def add_tables(doc):
    doc.linetypes.add("DASHED", [0.6, 0.5, -0.1], description="Dashed __ __ __")
    cut = doc.layers.add("CUT", color=1, linetype="DASHED")
    cut.dxf.lineweight = 35
    doc.layers.add("HIDDEN_OFF", color=5).off()
    doc.layers.add("FROZEN", color=6).freeze()
    doc.layers.add("Text", color=2)
    if doc.dxfversion > "AC1009":
        style = doc.styles.add("CN", font="simsun.ttc")
        style.set_extended_font_data(family="SimSun", italic=False, bold=True)
        style.dxf.bigfont = ""
    else:
        doc.styles.add("CN", font="simsun.ttf")


def add_entities(msp, doc, chinese="中文标题 零件"):
    msp.add_line((0, 0), (100, 50), dxfattribs={"layer": "CUT", "color": 3})
    msp.add_line((10, 10, 5), (20, 30, 5), dxfattribs={"linetype": "DASHED", "lineweight": 50})
    msp.add_circle((50, 50), 25, dxfattribs={"layer": "CUT"})
    msp.add_arc((200, 0), 30, 30, 120)
    msp.add_arc((300, 0), 20, 300, 45)  # crosses 0 degrees
    if doc.dxfversion > "AC1009":
        msp.add_ellipse((400, 100), major_axis=(50, 20), ratio=0.4, start_param=0.3,
                        end_param=4.0)
        msp.add_ellipse((500, 100), major_axis=(0, 40), ratio=0.5)
        msp.add_lwpolyline([(0, 200, 0, 0, 0.5), (100, 200, 2, 1, 0), (100, 260, 0, 0, -1),
                            (0, 260, 0, 0, 0)], format="xyseb", close=True,
                           dxfattribs={"layer": "CUT"})
        msp.add_lwpolyline([(200, 200), (260, 230), (300, 200)], format="xy")
        sp = msp.add_open_spline([(0, 400), (50, 450), (100, 380), (150, 460), (200, 400)],
                                 degree=3)
        sp.dxf.layer = "CUT"
        msp.add_rational_spline([(300, 400), (350, 480), (400, 400), (450, 480)],
                                weights=[1, 3, 0.5, 1], degree=2)
        msp.add_spline([(500, 400), (550, 450), (600, 420), (650, 470)])  # fit points only
        msp.add_spline_control_frame([(700, 400), (750, 450), (800, 420), (850, 470)])
        msp.add_mtext(chinese + "\\P第二行 second line", dxfattribs={
            "char_height": 5, "width": 80, "attachment_point": 7, "style": "CN",
            "insert": (0, 600), "layer": "Text"})
        mt = msp.add_mtext("rotated", dxfattribs={"char_height": 3, "insert": (100, 600)})
        mt.dxf.rotation = 30
        hatch = msp.add_hatch(color=4)
        hatch.paths.add_polyline_path([(0, 700), (50, 700), (50, 750), (0, 750)],
                                      is_closed=True)
        edge = hatch.paths.add_edge_path()
        edge.add_line((100, 700), (150, 700))
        edge.add_arc((150, 725), 25, -90, 90)
        edge.add_line((150, 750), (100, 750))
        edge.add_line((100, 750), (100, 700))
        dim = msp.add_linear_dim(base=(0, -20), p1=(0, 0), p2=(100, 0))
        dim.render()
        msp.add_3dface([(600, 0, 0), (650, 0, 0), (650, 50, 10), (600, 50, 10)])
    msp.add_polyline2d([(0, 300, 0.0), (80, 300, 1.0), (80, 340, 0.0), (0, 340, -0.4)],
                       format="xyb", close=True)
    msp.add_point((5, 5, 1))
    msp.add_text("Hello", dxfattribs={"height": 4, "rotation": 15, "width": 0.8,
                                      "insert": (0, 500)})
    t = msp.add_text(chinese, dxfattribs={"height": 6, "style": "CN", "layer": "Text"})
    t.set_placement((100, 500), align=TextEntityAlignment.MIDDLE_CENTER)
    msp.add_solid([(0, 800), (40, 800), (0, 840), (40, 840)])


def add_blocks(doc, msp):
    inner = doc.blocks.new("INNER", base_point=(5, 5))
    inner.add_line((0, 0), (10, 0))
    inner.add_arc((5, 5), 5, 0, 180)
    inner.add_circle((5, 5), 2)
    frame = doc.blocks.new("A3_TK", base_point=(0, 0))
    frame.add_lwpolyline([(0, 0), (420, 0), (420, 297), (0, 297)], close=True)
    frame.add_blockref("INNER", (400, 10), dxfattribs={"xscale": 2, "yscale": 2,
                                                       "rotation": 30})
    frame.add_attdef("图号", (300, 10), dxfattribs={"height": 5, "prompt": "number"})
    frame.add_attdef("TITLE", (300, 20), dxfattribs={"height": 5})
    ref = msp.add_blockref("A3_TK", (1000, 0))
    ref.add_auto_attribs({"图号": "QKS-001", "TITLE": "第一张"})
    ref = msp.add_blockref("A3_TK", (1500, 0), dxfattribs={"xscale": -0.5, "yscale": 0.5,
                                                          "rotation": 90})
    ref.add_auto_attribs({"图号": "QKS-002", "TITLE": "mirrored"})
    msp.add_blockref("INNER", (1000, 500), dxfattribs={"xscale": 1, "yscale": -3,
                                                       "rotation": 200})
    msp.add_blockref("INNER", (1100, 500, 0), dxfattribs={"extrusion": MIRROR,
                                                          "rotation": 10})


def entities():
    doc = ezdxf.new("R2018")
    add_tables(doc)
    msp = doc.modelspace()
    add_entities(msp, doc)
    add_blocks(doc, msp)
    doc.saveas(os.path.join(OUT, "entities_r2018.dxf"))
    doc.saveas(os.path.join(OUT, "entities_r2018_binary.dxf"), fmt="bin")


def mirrored():
    doc = ezdxf.new("R2000")
    msp = doc.modelspace()
    attribs = {"extrusion": MIRROR, "layer": "MIRROR"}
    doc.layers.add("MIRROR", color=1)
    msp.add_arc((-100, 0, 0), 30, 10, 100, dxfattribs=attribs)
    msp.add_arc((-200, 50, 2), 10, 200, 20, dxfattribs=attribs)
    msp.add_circle((-50, -50, 0), 12, dxfattribs=attribs)
    msp.add_lwpolyline([(0, 0, 0, 0, 0.4), (50, 0, 0, 0, -1), (50, 40, 0, 0, 0)],
                       format="xyseb", close=True, dxfattribs=dict(attribs, elevation=3))
    msp.add_polyline2d([(10, 10, 0.5), (60, 10, 0), (60, 70, 0)], format="xyb",
                       dxfattribs=attribs)
    msp.add_ellipse((0, 0, 0), major_axis=(30, 10, 0), ratio=0.3, start_param=1,
                    end_param=5, dxfattribs={"extrusion": MIRROR})
    msp.add_text("mirror", dxfattribs={"extrusion": MIRROR, "insert": (-10, 5), "height": 3})
    msp.add_lwpolyline([(0, 0), (10, 0), (10, 10)],
                       dxfattribs={"extrusion": (0.6, 0, 0.8)})
    doc.saveas(os.path.join(OUT, "mirrored_r2000.dxf"))


def nested():
    doc = ezdxf.new("R2010")
    msp = doc.modelspace()
    leaf = doc.blocks.new("LEAF", base_point=(1, 1))
    leaf.add_lwpolyline([(0, 0, 0), (4, 0, 1), (4, 2, 0)], format="xyb", close=True)
    leaf.add_attdef("NAME", (0, 3), dxfattribs={"height": 1})
    mid = doc.blocks.new("MID", base_point=(0, 0))
    r = mid.add_blockref("LEAF", (10, 0), dxfattribs={"xscale": -1, "rotation": 45})
    r.add_auto_attribs({"NAME": "leaf-in-mid"})
    mid.add_blockref("LEAF", (20, 5), dxfattribs={"xscale": 2, "yscale": 0.5, "zscale": 1})
    mid.add_circle((0, 0), 3)
    top = doc.blocks.new("TOP", base_point=(-5, 2))
    top.add_blockref("MID", (0, 0), dxfattribs={"rotation": -30, "xscale": 1.5,
                                                "yscale": -1.5})
    top.add_ellipse((3, 3), major_axis=(6, 2), ratio=0.5, start_param=0.5, end_param=2.5)
    msp.add_blockref("TOP", (100, 100), dxfattribs={"rotation": 15, "xscale": 2, "yscale": 2})
    msp.add_blockref("TOP", (300, 100), dxfattribs={"xscale": -1, "rotation": 170})
    msp.add_blockref("TOP", (500, 100, 4), dxfattribs={"extrusion": MIRROR, "xscale": 0.75,
                                                       "yscale": 0.75})
    ref = msp.add_blockref("LEAF", (700, 0), dxfattribs={"xscale": 3, "yscale": -3})
    ref.add_auto_attribs({"NAME": "top-leaf"})
    doc.saveas(os.path.join(OUT, "nested_r2010.dxf"))


def gbk(version, name):
    doc = ezdxf.new(version)
    doc.encoding = "gbk"
    add_tables(doc)
    doc.layers.add("轮廓线", color=3)
    msp = doc.modelspace()
    msp.add_text("钣金零件 第1号", dxfattribs={"height": 5, "layer": "轮廓线",
                                                "insert": (0, 0)})
    msp.add_text("€ and ☃ beyond GBK", dxfattribs={"height": 5, "insert": (0, 10)})
    msp.add_line((0, 0), (10, 0), dxfattribs={"layer": "轮廓线"})
    if version != "R12":
        msp.add_mtext("多行文字\\P第二行", dxfattribs={"char_height": 4, "insert": (0, 30)})
    add_entities(msp, doc)
    doc.saveas(os.path.join(OUT, name), encoding="gbk")
    if version == "R12":  # binary with one-byte group codes
        doc.saveas(os.path.join(OUT, name.replace(".dxf", "_binary.dxf")), fmt="bin")


def layouts():
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    msp.add_lwpolyline([(0, 0), (420, 0), (420, 297), (0, 297)], close=True)
    msp.add_circle((210, 148.5), 100)
    l1 = doc.layouts.get("Layout1")
    l1.page_setup(size=(420, 297), margins=(5, 5, 5, 5), units="mm", device="DWG To PDF.pc3")
    l1.add_viewport(center=(210, 148.5), size=(400, 280), view_center_point=(210, 148.5),
                    view_height=300)
    l2 = doc.layouts.new("图纸 A4")
    l2.page_setup(size=(11, 8.5), margins=(0.5, 0.5, 0.5, 0.5), units="inch")
    l2.add_viewport(center=(5.5, 4.25), size=(10, 7.5), view_center_point=(100, 100),
                    view_height=200)
    l2.add_text("paper text", dxfattribs={"height": 0.2, "insert": (1, 1)})
    l3 = doc.layouts.new("Third")
    l3.add_line((0, 0), (100, 100))
    doc.layouts.set_active_layout("图纸 A4")
    doc.saveas(os.path.join(OUT, "layouts_r2018.dxf"))


def viewport_frozen():
    """Two viewports on one model space; the second hides layer VP_HIDDEN."""
    doc = ezdxf.new("R2018")
    doc.layers.add("VP_HIDDEN", color=1)
    doc.layers.add("细节", color=3)
    msp = doc.modelspace()
    msp.add_lwpolyline([(0, 0), (200, 0), (200, 100), (0, 100)], close=True)
    msp.add_circle((50, 50), 30, dxfattribs={"layer": "VP_HIDDEN"})
    msp.add_circle((150, 50), 30, dxfattribs={"layer": "细节"})
    layout = doc.layouts.get("Layout1")
    layout.page_setup(size=(420, 297), margins=(5, 5, 5, 5), units="mm")
    layout.add_viewport(center=(105, 148.5), size=(200, 200), view_center_point=(100, 50),
                        view_height=120)
    hiding = layout.add_viewport(center=(315, 148.5), size=(200, 200),
                                 view_center_point=(100, 50), view_height=120)
    hiding.frozen_layers = ["VP_HIDDEN", "细节"]
    doc.saveas(os.path.join(OUT, "viewport_frozen_r2018.dxf"))


def main():
    os.makedirs(OUT, exist_ok=True)
    entities()
    mirrored()
    nested()
    gbk("R12", "gbk_r12.dxf")
    gbk("R2000", "gbk_r2000.dxf")
    layouts()
    viewport_frozen()


if __name__ == "__main__":
    main()
