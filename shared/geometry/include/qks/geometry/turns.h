// Turning and mirroring rings. Angles in whole degrees counter-clockwise; y up.
#pragma once

#include <vector>

#include "qks/geometry/point.h"

namespace qks::geometry {

// Mirror about the vertical line through (refX, refY) when asked, then rotate counter-clockwise
// by `angle` degrees about that point; the result is relative to the reference point.
std::vector<Point> orient(const std::vector<Point>& outline, double refX, double refY, int angle,
                          bool mirrored);

}  // namespace qks::geometry
