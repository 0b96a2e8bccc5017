// What travels with a part into the nest drawing: the plane geometry that decides whether
// non-cut geometry (bend lines, marks, texts) lies on a part, and where a placed part's label
// goes. Millimetres, in the part's own frame (the source drawing's position).
#pragma once

#include <vector>

#include "qks/contract/part.h"

namespace qks::drawing {

using contract::PartRecord;
using geometry::Outline;
using geometry::Point;

// Distance from `p` to the nearest edge of the part's outline or holes, positive when `p` lies
// on the material (inside the outline, outside every hole), negative off it.
double materialDepth(const PartRecord& part, const Point& p);

// Whether the flattened geometry (a polyline, or a ring when `closed`) lies wholly on the part's
// material: no point farther than `tolerance` off it and no edge crossing its boundary. Ends
// drawn up to the outline, as bend lines are, count as inside.
bool liesOnPart(const std::vector<Point>& points, bool closed, const PartRecord& part,
                double tolerance);

// A point on the part's material as far from its edges as a few rounds of grid search find
// (near the pole of inaccessibility): where a label sits inside the part whatever its shape.
// The second value is its depth.
Point labelPoint(const PartRecord& part, double* depth = nullptr);

}  // namespace qks::drawing
