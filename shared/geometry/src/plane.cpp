#include "qks/geometry/plane.h"

#include <algorithm>
#include <cmath>

namespace qks::geometry {

double pointSegmentDistance(const Point& p, const Point& a, const Point& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

double cross(const Point& o, const Point& a, const Point& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

Bounds boundsOf(const std::vector<Point>& points) {
    Bounds b;
    for (const Point& p : points) {
        b.minX = std::min(b.minX, p.x);
        b.minY = std::min(b.minY, p.y);
        b.maxX = std::max(b.maxX, p.x);
        b.maxY = std::max(b.maxY, p.y);
    }
    return b;
}

double polygonArea(const std::vector<Point>& points) {
    const std::size_t n = points.size();
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const Point& a = points[i];
        const Point& b = points[(i + 1) % n];
        sum += a.x * b.y - b.x * a.y;
    }
    return std::fabs(sum) * 0.5;
}

double ringLength(const std::vector<Point>& ring) {
    if (ring.size() < 2) return 0.0;
    double total = 0.0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const Point& a = ring[i];
        const Point& b = ring[(i + 1) % ring.size()];
        total += std::hypot(b.x - a.x, b.y - a.y);
    }
    return total;
}

bool pointInPolygon(const std::vector<Point>& points, double x, double y) {
    const std::size_t n = points.size();
    bool inside = false;
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const Point& pi = points[i];
        const Point& pj = points[j];
        if ((y < pi.y) != (y < pj.y) && x < (pj.x - pi.x) * (y - pi.y) / (pj.y - pi.y) + pi.x)
            inside = !inside;
    }
    return inside;
}

bool properlyCross(const Point& a, const Point& b, const Point& c, const Point& d) {
    const double d1 = cross(a, b, c), d2 = cross(a, b, d), d3 = cross(c, d, a), d4 = cross(c, d, b);
    return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

double segmentDistance(const Point& a, const Point& b, const Point& c, const Point& d) {
    if (properlyCross(a, b, c, d)) return 0.0;
    return std::min({pointSegmentDistance(a, c, d), pointSegmentDistance(b, c, d),
                     pointSegmentDistance(c, a, b), pointSegmentDistance(d, a, b)});
}

std::vector<Point> convexHull(std::vector<Point> points) {
    std::sort(points.begin(), points.end(), [](const Point& a, const Point& b) {
        return a.x < b.x || (a.x == b.x && a.y < b.y);
    });
    points.erase(std::unique(points.begin(), points.end()), points.end());
    if (points.size() < 3) return points;
    std::vector<Point> hull(2 * points.size());
    std::size_t k = 0;
    for (const Point& p : points) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], p) <= 0)
            --k;
        hull[k++] = p;
    }
    for (std::size_t i = points.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i]) <= 0)
            --k;
        hull[k++] = points[i];
    }
    hull.resize(k - 1);
    return hull;
}

}  // namespace qks::geometry
