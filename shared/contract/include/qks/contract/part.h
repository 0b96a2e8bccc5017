// The part-kind record that the parts file carries between the plug-in and the Studio.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qks/geometry/point.h"

namespace qks::contract {

using geometry::Outline;
using geometry::Point;

// What a part's true curves measure, as against its outline grown by the flattening's chord
// error (mm, mm²): arcs and circles exactly, free-form curves flattened to a thousandth of a
// millimetre. For reports only, never for placing; not written to the parts file.
struct TrueFigures {
    bool known = false;
    double outlineArea = 0.0;  // absolute, holes not subtracted
    double holesArea = 0.0;
    double outlineLength = 0.0;
    double holesLength = 0.0;
    Outline boundary;  // points on the outline's true curve, dense enough for its extents
};

// Layers of the nest drawing that hold what is drawn with a part but not cut: bend lines to be
// engraved, engraving and marking geometry with texts, and the labels of placed parts.
inline constexpr std::string_view kBendLayer = "QKS_BEND";
inline constexpr std::string_view kMarkLayer = "QKS_MARK";
inline constexpr std::string_view kLabelLayer = "QKS_LABEL";

// Entities of the source drawing (handles) lying inside a part that travel with it into its
// block, there put on `layer` (kBendLayer or kMarkLayer).
struct CarriedGroup {
    std::string layer;
    std::vector<std::string> handles;
    friend bool operator==(const CarriedGroup& a, const CarriedGroup& b) {
        return a.layer == b.layer && a.handles == b.handles;
    }
};

// One part kind: its outline and holes (geometry::Part) with what the jobs know of it.
// Coordinates are millimetres, in the source drawing's position scaled by drawingScale.
// Its holes serve only to draw the result, never to place it.
struct PartRecord : geometry::Part {
    std::int32_t id = 0;  // unique within one extraction run; key of "partcount" lines
    std::string name;
    std::int32_t quantity = 0;  // pieces to nest
    double area = 0.0;          // absolute area of the outer outline, holes not subtracted
    double refX = 0.0;          // lower-left corner of the outline's bounding box: the
    double refY = 0.0;          // reference point of mirroring and rotation
    double width = 0.0;
    double height = 0.0;
    std::string source;  // drawing file path, or kCurrentDrawingSource
    std::vector<std::string> handles;
    // Millimetres per unit of the source drawing: its entities (handles) are inserted at this
    // scale. Written to the parts file only when it is not 1.
    double drawingScale = 1.0;
    TrueFigures figures;
    // Written to the parts file as one "C" line per group; files without them read as before.
    std::vector<CarriedGroup> carried;
};

// Sets the part's area, reference corner (refX, refY) and width and height from its outline.
void measureOutline(PartRecord& part);

}  // namespace qks::contract
