// Convex pieces of part outlines for the exact fill: an outline cut into convex pieces, a piece
// grown by half the gap, and whether two pieces share inside points.
//
// Units: drawing units. Rings are counter-clockwise and open (the last point joins the first).
#pragma once

#include <cstddef>
#include <vector>

#include "qks/nest/geometry.h"

namespace qks::nest::dense {

// Lengths below this count as touching: parts may meet along an edge (a gap of 0) without
// counting as overlapping, and a placement may be off the true position by this much.
inline constexpr double kExactTolerance = 1e-7;

struct ConvexPiece {
    std::vector<Point> ring;  // counter-clockwise, convex, without repeated points
    Bounds box;
    Point middle;  // the corners' mean: inside the piece
};

// The ring counter-clockwise, without repeated points or vertices on a straight run.
std::vector<Point> cleanRing(const std::vector<Point>& ring);

// Convex rings whose union is the inside of `ring` (a clean ring): its triangles, neighbours then
// merged while the merge stays convex. A ring of more than `mostPoints` points, or one the
// triangulation cannot cut (it touches itself), gives its convex hull: a piece that holds the
// outline keeps every other part off it, at the price of the space in its notches.
std::vector<std::vector<Point>> convexPieces(const std::vector<Point>& ring,
                                             std::size_t mostPoints);

// The convex ring grown by `d` (> 0) with a cut at each corner: it holds every point within `d`
// of the ring.
std::vector<Point> grownRing(const std::vector<Point>& convex, double d);

// A convex polygon of `sides` sides around the convex ring, each side touching it: a round piece
// with a few sides instead of hundreds, never smaller than the ring.
std::vector<Point> circumscribed(const std::vector<Point>& convex, int sides);

ConvexPiece pieceOf(std::vector<Point> ring);

// Whether the insides of `a` and of `b` shifted by (dx, dy) share a point; pieces that overlap
// by no more than kExactTolerance only touch.
bool insidesMeet(const ConvexPiece& a, const ConvexPiece& b, double dx, double dy);

}  // namespace qks::nest::dense
