// Plane geometry of carried geometry and labels.
#include "qks/drawing/carry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "qks/geometry/plane.h"

namespace qks::drawing {

using geometry::Bounds;
using geometry::boundsOf;
using geometry::cross;
using geometry::pointInPolygon;
using geometry::pointSegmentDistance;
namespace {

double ringDistance(const Point& p, const Outline& ring) {
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0, n = ring.size(); i < n; ++i)
        best = std::min(best, pointSegmentDistance(p, ring[i], ring[(i + 1) % n]));
    return best;
}

// Where segment ab crosses segment cd with each pair's ends strictly on either side of the
// other (touching and overlapping are no crossings); false when they do not.
bool properCrossing(const Point& a, const Point& b, const Point& c, const Point& d, Point& at) {
    const double d1 = cross(c, d, a), d2 = cross(c, d, b);
    const double d3 = cross(a, b, c), d4 = cross(a, b, d);
    if (!((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0))) return false;
    if (!((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) return false;
    const double t = d1 / (d1 - d2);
    at = {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
    return true;
}

bool crossesRing(const Point& a, const Point& b, const Outline& ring, double tolerance) {
    Point at;
    for (std::size_t i = 0, n = ring.size(); i < n; ++i) {
        if (!properCrossing(a, b, ring[i], ring[(i + 1) % n], at)) continue;
        // A crossing at the segment's own end is an end drawn onto the edge.
        if (std::hypot(at.x - a.x, at.y - a.y) > tolerance &&
            std::hypot(at.x - b.x, at.y - b.y) > tolerance)
            return true;
    }
    return false;
}

}  // namespace

double materialDepth(const PartRecord& part, const Point& p) {
    if (part.outline.size() < 3) return -std::numeric_limits<double>::infinity();
    double distance = ringDistance(p, part.outline);
    bool inside = pointInPolygon(part.outline, p.x, p.y);
    for (const Outline& hole : part.holes) {
        if (hole.size() < 3) continue;
        distance = std::min(distance, ringDistance(p, hole));
        if (inside && pointInPolygon(hole, p.x, p.y)) inside = false;
    }
    return inside ? distance : -distance;
}

bool liesOnPart(const std::vector<Point>& points, bool closed, const PartRecord& part,
                double tolerance) {
    if (points.empty() || part.outline.size() < 3) return false;
    const Bounds box = boundsOf(part.outline);
    for (const Point& p : points)
        if (p.x < box.minX - tolerance || p.x > box.maxX + tolerance ||
            p.y < box.minY - tolerance || p.y > box.maxY + tolerance)
            return false;
    const std::size_t edges = closed ? points.size() : points.size() - 1;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (materialDepth(part, points[i]) < -tolerance) return false;
        if (i >= edges) continue;
        const Point& a = points[i];
        const Point& b = points[(i + 1) % points.size()];
        // The middle catches an edge that leaves the part through one of its corners.
        if (materialDepth(part, {(a.x + b.x) / 2, (a.y + b.y) / 2}) < -tolerance) return false;
        if (crossesRing(a, b, part.outline, tolerance)) return false;
        for (const Outline& hole : part.holes)
            if (crossesRing(a, b, hole, tolerance)) return false;
    }
    return true;
}

Point labelPoint(const PartRecord& part, double* depth) {
    const Bounds box = boundsOf(part.outline);
    Point best{(box.minX + box.maxX) / 2, (box.minY + box.maxY) / 2};
    double bestDepth = materialDepth(part, best);
    // A grid over the box, then finer grids around the best point so far.
    constexpr int kSteps = 16;
    double spanX = box.maxX - box.minX, spanY = box.maxY - box.minY;
    Point centre = best;
    for (int round = 0; round < 6 && spanX > 0 && spanY > 0; ++round) {
        for (int i = 0; i <= kSteps; ++i)
            for (int j = 0; j <= kSteps; ++j) {
                const Point p{centre.x - spanX / 2 + spanX * i / kSteps,
                              centre.y - spanY / 2 + spanY * j / kSteps};
                const double d = materialDepth(part, p);
                if (d > bestDepth) {
                    bestDepth = d;
                    best = p;
                }
            }
        centre = best;
        spanX *= 0.25;
        spanY *= 0.25;
    }
    if (depth) *depth = bestDepth;
    return best;
}

}  // namespace qks::drawing
