// How the display list's items map to paper under the block transforms in force: the page
// renderer keeps it current, and its writers of paths and texts read it.
#pragma once

#include <cmath>

namespace qkshost::pdf::detail {

// Sizes on paper (points) beyond which geometry from a damaged drawing is not drawn as such:
// a curve kilometres across would take unbounded time to draw, and transforms that scale to
// nothing or to near infinity cannot be inverted.
inline constexpr double kLargestOnPaper = 1e7;
inline constexpr double kSmallestOnPaper = 1e-6;
struct ItemScale {
    double pointsPerUnit = 1.0;  // points per item unit (geometric mean over directions)

    // True when a length in the item's units is drawable on paper.
    bool drawable(double length) const {
        const double onPaper = std::fabs(length) * pointsPerUnit;
        return std::isfinite(onPaper) && onPaper <= kLargestOnPaper && onPaper >= kSmallestOnPaper;
    }
};

}  // namespace qkshost::pdf::detail
