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

// One line family of a pattern hatch, in the hatch's object coordinates (the file stores them
// already scaled and turned): lines in direction `angle` (degrees) through base + k * offset for
// every integer k, drawn with `dashes` (positive dash, negative gap, zero dot; none: solid).
struct PatternLine {
    double angle = 0.0;
    drawing::Point3d base, offset;
    std::vector<double> dashes;
};

// The pattern definition lines of a hatch; none for a solid hatch or malformed data.
std::vector<PatternLine> hatchPatternLines(const drawing::Hatch& hatch);

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
