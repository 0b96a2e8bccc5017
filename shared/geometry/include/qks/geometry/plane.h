// Plane geometry on part outlines that both sides need exactly alike: the plug-in's engine and
// layout check, and the Studio's adjusting of a nest. Units are the caller's; y up.
#pragma once

#include <vector>

#include "qks/geometry/point.h"

namespace qks::geometry {

// Axis-aligned bounds; an empty list gives min above max (+1e300 / -1e300).
struct Bounds {
    double minX = 1e300;
    double minY = 1e300;
    double maxX = -1e300;
    double maxY = -1e300;
};
Bounds boundsOf(const std::vector<Point>& points);

// Absolute shoelace area; 0 for an empty list.
double polygonArea(const std::vector<Point>& points);
// Length of the closed ring (the last point joins the first); 0 below two points.
double ringLength(const std::vector<Point>& ring);
// Distance from `p` to the segment from `a` to `b` (to `a` when the segment has no length).
double pointSegmentDistance(const Point& p, const Point& a, const Point& b);
// Twice the signed area of the triangle o, a, b: positive when a to b turns left about o.
double cross(const Point& o, const Point& a, const Point& b);
// Even-odd rule with half-open edge comparisons; an empty list is outside.
bool pointInPolygon(const std::vector<Point>& points, double x, double y);
// Shortest distance between the segments ab and cd: 0 where they cross.
double segmentDistance(const Point& a, const Point& b, const Point& c, const Point& d);
// Whether the segments cross with each one's ends strictly on either side of the other
// (touching and running along each other are no crossings).
bool properlyCross(const Point& a, const Point& b, const Point& c, const Point& d);
// The convex hull, counter-clockwise from the lowest-leftmost point, without repeated points or
// points on a straight run; fewer than three distinct points come back as they are, sorted.
std::vector<Point> convexHull(std::vector<Point> points);

}  // namespace qks::geometry
