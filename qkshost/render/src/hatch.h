// Hatch boundaries sampled into closed loops, and pattern lines clipped to them.
#pragma once

#include <vector>

#include "qkshost/drawing/database.h"

namespace qkshost::render::detail {

struct HatchLoops {
    bool solid = false;
    // Closed loops in the hatch's object coordinate system, curves already sampled.
    std::vector<std::vector<drawing::Point3d>> loops;
};

// The boundary loops of `hatch` with their curves sampled; loops of fewer than three points
// are left out.
HatchLoops hatchLoops(const drawing::Hatch& hatch);

// Points along a bulged segment from p to q (q excluded), at most one per 10 degrees.
void appendBulge(std::vector<drawing::Point3d>& out, const drawing::Point3d& p,
                 const drawing::Point3d& q, double bulge);

// A line family of a pattern (angle in degrees, lines already scaled and turned).
using PatternLine = drawing::HatchPatternLine;

// Hatch pattern lines clipped to loops (even-odd: a loop inside another is a hole), as
// segments in object coordinates. More lines or dashes than a page can show (a tiny pattern
// scale) give nothing: the result is empty and `tooDense` is set.
struct PatternSegments {
    std::vector<std::pair<drawing::Point3d, drawing::Point3d>> segments;
    bool tooDense = false;
};
PatternSegments clipPatternLines(const std::vector<PatternLine>& lines,
                                 const std::vector<std::vector<drawing::Point3d>>& loops);

// Caps of the above: lines of all families together, and segments after dashing.
inline constexpr std::size_t kMaxHatchLines = 20000;
inline constexpr std::size_t kMaxHatchSegments = 200000;

}  // namespace qkshost::render::detail
