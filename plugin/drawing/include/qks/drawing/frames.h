// Drawing frames: block references whose block name, and closed four-vertex polylines whose
// layer name, contain a frame keyword, titled from their title-block attributes; frames drawn
// as loose lines (see findDrawnFrames), untitled; and frames drawn as lines inside the block of
// a reference, placed by it (where it keeps them upright) and titled from its attributes.
// Duplicates dropped (the first found wins); in reading order (rows top to bottom, left to
// right).
#pragma once

#include <string>
#include <vector>

#include "qks/drawing/window.h"
#include "qks/host/drawing.h"

namespace qks::drawing {

// The frames of model space.
std::vector<PlotWindow> findFrames(host::DrawingAccess& ds, host::DatabaseId database);
// The frames of each paper-space layout, layout by layout, each naming its layout.
std::vector<PlotWindow> findLayoutFrames(host::DrawingAccess& ds, host::DatabaseId database);
bool isFrameName(const std::string& name);
// The first attribute whose tag is a title tag and whose trimmed text is not empty.
std::string readTitleAttribute(host::DrawingAccess& ds, host::ObjectId reference);

// A frame drawn as loose geometry. Windows in drawing units; names empty.
struct DrawnFrame {
    PlotWindow window;      // the outer rectangle
    PlotWindow border;      // the inner border; the outer rectangle when there is none
    PlotWindow titleBlock;  // the box of the title-block grid, when hasTitleBlock
    bool hasTitleBlock = false;
    double scale = 1.0;  // drawing units per millimetre of sheet
    // The entities recognised as the frame: the outer rectangle, the inner border and all
    // lines, polylines and texts of the title block; with their handles, in the same order.
    std::vector<host::ObjectId> members;
    std::vector<std::string> handles;
};

// Frames among `entities` (the entities of one space or one block; references are not
// followed): an axis-aligned rectangle the size of a standard sheet (GB/ISO A0 to A4 either
// way up, the GB lengthened sizes, ANSI A to E; in millimetres or inches) at a common scale
// (1:1 to 1:5, 1:10, 1:15, 1:20, 1:25, 1:50, 1:100, 2:1, 5:1) whose four corners are marked by
// LINEs and straight polyline edges: the whole rectangle (a side may be drawn in collinear
// pieces), its corner pieces, or trim marks (two perpendicular lines at least 3 sheet
// millimetres long meeting at each corner). The sheet must also hold an inner border inset
// by 2 to 40 sheet millimetres on every side, or a title-block grid in its lower-right corner
// (at least two row lines reaching the border's right side and two column lines standing on
// its bottom). A frame word in the corner marks' layer names (框, 标题栏, frame, border,
// title, Schriftfeld, Rahmen, Plankopf) lets one row and one column do; corners alone are never
// a frame, whatever their layer. The window is the sheet's rectangle. Largest frames first.
// After them, templates that draw no sheet edge: a closed rectangle (a polyline, or lines from
// corner to corner) the size of such a sheet less an inset of 2 to 40 sheet millimetres on each
// side, with a whole title-block grid in its lower-right corner, is the border of that sheet
// (the most common scale first, then the closest fit). The window is the sheet around it:
// top and bottom inset alike, on the left a binding margin (20 or 25 sheet millimetres) and on
// the right the others' inset where the room says so, else half the room each side.
std::vector<DrawnFrame> findDrawnFrames(host::DrawingAccess& ds,
                                        const std::vector<host::ObjectId>& entities);

}  // namespace qks::drawing
