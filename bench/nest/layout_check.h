// Exact check of a layout on the true outlines (GEOS): the area where placed parts overlap and
// the area that lies outside their sheet. A raster search keeps parts apart on its cells, so
// this is what tells whether its layouts hold on the real geometry, and whether a peer's do.
#pragma once

#include <vector>

#include "qks/nest/part.h"

// One placed part: its outline and holes already moved to where it lies on the sheet.
struct PlacedPart {
    qks::nest::Outline outline;
    std::vector<qks::nest::Outline> holes;
};

struct LayoutCheck {
    double overlapArea = 0.0;  // summed over the pairs of parts on one sheet
    double outsideArea = 0.0;  // part area outside the sheet's rectangle
    int overlappingPairs = 0;  // pairs sharing more than the tolerance
    int partsOutside = 0;      // parts reaching out by more than the tolerance
    int invalid = 0;           // outlines GEOS could not take (self-crossing or degenerate)
};

// Checks the parts of one width x height sheet (lower-left corner at the origin). An overlap or
// overhang counts when its area exceeds `tolerance` (square units): shared edges and corners
// have none, and rounding in the placements leaves slivers far below it.
void checkSheet(const std::vector<PlacedPart>& parts, double width, double height, double tolerance,
                LayoutCheck& result);
