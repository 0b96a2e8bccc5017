// Boundary loops of a HATCH kept as raw groups.
#pragma once

#include <vector>

#include "qkshost/drawing/database.h"

namespace qkshost::render::detail {

struct HatchLoops {
    bool solid = false;
    // Closed loops in the hatch's object coordinate system, curves already sampled.
    std::vector<std::vector<drawing::Point3d>> loops;
};

// Reads the boundary paths of `hatch`; malformed data ends the loop it is in.
HatchLoops hatchLoops(const drawing::Hatch& hatch);

// Points along a bulged segment from p to q (q excluded), at most one per 10 degrees.
void appendBulge(std::vector<drawing::Point3d>& out, const drawing::Point3d& p,
                 const drawing::Point3d& q, double bulge);

}  // namespace qkshost::render::detail
