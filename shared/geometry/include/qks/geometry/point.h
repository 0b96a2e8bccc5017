// Points and rings of the plane. Units are the caller's; y up.
#pragma once

#include <vector>

namespace qks::geometry {

struct Point {
    double x = 0.0;
    double y = 0.0;
    friend bool operator==(const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }
};

// A closed ring; the last point joins the first and is not repeated. Orientation carries no
// meaning (areas are absolute, inside follows the even-odd rule).
using Outline = std::vector<Point>;

// A part's material: its outer ring and the rings cut out of it.
struct Part {
    Outline outline;
    std::vector<Outline> holes;
};

}  // namespace qks::geometry
