#include "qks/geometry/turns.h"

#include <cmath>

namespace qks::geometry {

std::vector<Point> orient(const std::vector<Point>& outline, double refX, double refY, int angle,
                          bool mirrored) {
    const double theta = angle * M_PI / 180.0;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    std::vector<Point> out;
    out.reserve(outline.size());
    for (const Point& p : outline) {
        double dx = p.x - refX;
        if (mirrored) dx = -dx;
        const double dy = p.y - refY;
        out.push_back({dx * c - dy * s, dx * s + dy * c});
    }
    return out;
}

}  // namespace qks::geometry
