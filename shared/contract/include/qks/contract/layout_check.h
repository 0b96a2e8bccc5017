// The exact check of a nest layout on the parts' outlines (never a raster): what the plug-in
// refuses an adjusted layout for, and what the Studio asks while a part is being moved, so that
// both sides judge alike.
//
// Rules (lengths in mm, within kLayoutTolerance): every part is of a kind the layout lists, in
// an orientation its TURN record allows, at a position on the grid; it lies on its sheet at
// least the margin from the sheet's edge (an irregular piece's outline) and at least the gap
// from the piece's defects, as the search keeps them; two parts on one sheet do not overlap and
// keep at least the gap between them. Without part-in-part a part's holes count as material.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "qks/contract/nest_layout_format.h"
#include "qks/contract/transform.h"
#include "qks/geometry/plane.h"

namespace qks::contract {

// What the check lets pass: the layout file keeps lengths to a thousandth of a millimetre.
inline constexpr double kLayoutTolerance = 0.002;

// A part at its place on the sheet: its rings and their bounds.
struct PlacedPart {
    PlacedShape shape;
    geometry::Bounds box;
};
PlacedPart placePart(const PartRecord& part, const LayoutPlacement& at);

// How far apart the material of two placed parts is: negative when they overlap, and when the
// parts are `reach` or more apart some value not below `reach`. With `holesFree` the holes are
// no material, so a part inside another's hole is as far from it as from the hole's edge.
double clearance(const PlacedPart& a, const PlacedPart& b, double reach, bool holesFree);

enum class LayoutFault { UnknownPart, Turn, Grid, Outside, Margin, Defect, Overlap, Gap };

struct LayoutIssue {
    LayoutFault fault = LayoutFault::Overlap;
    int sheet = 0;        // index in the layout
    int placement = 0;    // index in the sheet's list
    int other = -1;       // the other part's index, for Overlap and Gap
    std::string message;  // names the sheet and the parts, in the UI's language
};

// The kind of `id`, or null.
const PartRecord* findKind(const NestLayout& layout, std::int32_t id);

// Every fault of the layout, sheet by sheet; empty when the plug-in may draw it.
std::vector<LayoutIssue> checkLayout(const NestLayout& layout);

// The faults of one part of kind `partId` placed as `at` on sheet `sheet`, against the sheet
// and every part there except placement `ignore` (-1: none). The Studio asks this for a part it
// is moving; grid and turns are left to the caller, who snaps to them.
std::vector<LayoutIssue> checkPlacement(const NestLayout& layout, std::size_t sheet,
                                        const LayoutPlacement& at, int ignore);

// The same question, yes or no, for a part already placed against the sheet's parts already
// placed (`placed` in the sheet's order): for trying many positions in a row.
bool placementFits(const NestLayout& layout, std::size_t sheet, const PlacedPart& part,
                   const std::vector<PlacedPart>& placed, int ignore);

}  // namespace qks::contract
