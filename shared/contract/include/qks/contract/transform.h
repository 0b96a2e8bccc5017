// The placement transform: where a part placed at a grid cell of a sheet lands. The plug-in
// draws the result with it and the Studio's preview shows the same.
//
// Units: layout (drawing) units, angles in whole degrees counter-clockwise, y up; grid row 0
// is the bottom of a sheet.
#pragma once

#include <vector>

#include "qks/contract/part.h"
#include "qks/geometry/turns.h"

namespace qks::contract {

using geometry::orient;

// A placement on a sheet whose lower-left corner is (sheetX, sheetY): the bounding box of the
// oriented outline and holes together lands with its lower-left corner at
// (sheet + margin + pad + column * cell, sheet + margin + pad + row * cell).
struct SheetPosition {
    double sheetX = 0.0;
    double sheetY = 0.0;
    double margin = 0.0;
    double pad = 0.0;
    double cell = 0.0;
    int angle = 0;
    bool mirrored = false;
    int column = 0;
    int row = 0;
};

using PlacedShape = geometry::Part;

PlacedShape placeShape(const PartRecord& part, const SheetPosition& at);

// One point of the part's frame (outline, hole or attached geometry) under the same placement.
Point placePoint(const Point& point, const PartRecord& part, const SheetPosition& at);

}  // namespace qks::contract
