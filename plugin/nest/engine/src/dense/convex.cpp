#include "dense/convex.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace qks::nest::dense {
namespace {

double length(const Point& a, const Point& b) {
    return std::hypot(b.x - a.x, b.y - a.y);
}

// Whether `b` turns neither left nor right between `a` and `c`, within the tolerance over the
// longer of its edges.
bool straight(const Point& a, const Point& b, const Point& c) {
    const double run = std::max(length(a, b), length(b, c));
    return std::abs(cross(a, b, c)) <= kExactTolerance * std::max(run, 1.0);
}

bool samePoint(const Point& a, const Point& b) {
    return std::abs(a.x - b.x) <= kExactTolerance && std::abs(a.y - b.y) <= kExactTolerance;
}

// Points on a straight run dropped, a ring being closed.
std::vector<Point> withoutStraightRuns(std::vector<Point> ring) {
    bool changed = true;
    while (changed && ring.size() > 3) {
        changed = false;
        for (std::size_t i = 0; i < ring.size() && ring.size() > 3; ++i) {
            const Point& a = ring[(i + ring.size() - 1) % ring.size()];
            const Point& c = ring[(i + 1) % ring.size()];
            if (samePoint(a, ring[i]) || straight(a, ring[i], c)) {
                ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(i));
                changed = true;
                --i;
            }
        }
    }
    return ring;
}

// Closed triangle test: whether p lies in or on the counter-clockwise triangle a, b, c.
bool inTriangle(const Point& p, const Point& a, const Point& b, const Point& c) {
    return cross(a, b, p) >= -kExactTolerance && cross(b, c, p) >= -kExactTolerance &&
           cross(c, a, p) >= -kExactTolerance;
}

bool convexRing(const std::vector<Point>& ring) {
    const std::size_t n = ring.size();
    for (std::size_t i = 0; i < n; ++i)
        if (cross(ring[i], ring[(i + 1) % n], ring[(i + 2) % n]) < -kExactTolerance) return false;
    return true;
}

// Ear clipping by index; empty when no ear is left before the ring is cut up.
std::vector<std::vector<int>> triangles(const std::vector<Point>& p) {
    std::vector<int> left(p.size());
    std::iota(left.begin(), left.end(), 0);
    std::vector<std::vector<int>> out;
    while (left.size() > 3) {
        const std::size_t m = left.size();
        bool cut = false;
        for (std::size_t i = 0; i < m && !cut; ++i) {
            const int a = left[(i + m - 1) % m], b = left[i], c = left[(i + 1) % m];
            if (cross(p[a], p[b], p[c]) <= kExactTolerance) continue;
            bool empty = true;
            for (int j : left)
                if (j != a && j != b && j != c && inTriangle(p[j], p[a], p[b], p[c])) {
                    empty = false;
                    break;
                }
            if (!empty) continue;
            out.push_back({a, b, c});
            left.erase(left.begin() + static_cast<std::ptrdiff_t>(i));
            cut = true;
        }
        if (!cut) return {};
    }
    out.push_back(left);
    return out;
}

// Merges neighbouring index rings (sharing an edge, once each way round) while the result is
// convex.
void mergeConvex(const std::vector<Point>& p, std::vector<std::vector<int>>& pieces) {
    bool merged = true;
    while (merged) {
        merged = false;
        for (std::size_t i = 0; i < pieces.size() && !merged; ++i)
            for (std::size_t j = i + 1; j < pieces.size() && !merged; ++j) {
                const std::vector<int>& a = pieces[i];
                const std::vector<int>& b = pieces[j];
                for (std::size_t ea = 0; ea < a.size() && !merged; ++ea) {
                    const int u = a[ea], v = a[(ea + 1) % a.size()];
                    const auto at = std::find(b.begin(), b.end(), v);
                    if (at == b.end()) continue;
                    const std::size_t eb = static_cast<std::size_t>(at - b.begin());
                    if (b[(eb + 1) % b.size()] != u) continue;
                    // a from v round to u, then b's points strictly between u and v.
                    std::vector<int> ring;
                    for (std::size_t k = 0; k < a.size(); ++k)
                        ring.push_back(a[(ea + 1 + k) % a.size()]);
                    for (std::size_t k = 2; k < b.size(); ++k)
                        ring.push_back(b[(eb + k) % b.size()]);
                    std::vector<Point> points;
                    for (int k : ring)
                        points.push_back(p[k]);
                    if (!convexRing(points)) continue;
                    pieces[i] = std::move(ring);
                    pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(j));
                    merged = true;
                }
            }
    }
}

}  // namespace

std::vector<Point> cleanRing(const std::vector<Point>& ring) {
    std::vector<Point> out;
    for (const Point& q : ring)
        if (out.empty() || !samePoint(out.back(), q)) out.push_back(q);
    while (out.size() > 1 && samePoint(out.front(), out.back()))
        out.pop_back();
    double twice = 0.0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const Point& a = out[i];
        const Point& b = out[(i + 1) % out.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    if (twice < 0) std::reverse(out.begin(), out.end());
    return withoutStraightRuns(std::move(out));
}

std::vector<std::vector<Point>> convexPieces(const std::vector<Point>& ring,
                                             std::size_t mostPoints) {
    if (ring.size() < 3) return {};
    if (convexRing(ring)) return {ring};
    std::vector<std::vector<int>> pieces;
    if (ring.size() <= mostPoints) pieces = triangles(ring);
    if (pieces.empty()) return {withoutStraightRuns(geometry::convexHull(ring))};
    mergeConvex(ring, pieces);
    std::vector<std::vector<Point>> out;
    for (const std::vector<int>& piece : pieces) {
        std::vector<Point> points;
        for (int k : piece)
            points.push_back(ring[k]);
        out.push_back(withoutStraightRuns(std::move(points)));
    }
    return out;
}

std::vector<Point> grownRing(const std::vector<Point>& convex, double d) {
    const std::size_t n = convex.size();
    std::vector<Point> out;
    for (std::size_t i = 0; i < n; ++i) {
        const Point& prev = convex[(i + n - 1) % n];
        const Point& v = convex[i];
        const Point& next = convex[(i + 1) % n];
        const double l1 = std::max(length(prev, v), 1e-300);
        const double l2 = std::max(length(v, next), 1e-300);
        const Point e1{(v.x - prev.x) / l1, (v.y - prev.y) / l1};
        const Point e2{(next.x - v.x) / l2, (next.y - v.y) / l2};
        // Outward normals of a counter-clockwise ring point right of the edge.
        const Point n1{e1.y, -e1.x};
        const Point n2{e2.y, -e2.x};
        // The corner is cut by the tangent square to the bisector: each end lies tan(turn / 4)
        // times d along its edge from where the offset edges end.
        const double turn = std::atan2(e1.x * e2.y - e1.y * e2.x, e1.x * e2.x + e1.y * e2.y);
        const double t = d * std::tan(std::max(turn, 0.0) / 4);
        out.push_back({v.x + d * n1.x + t * e1.x, v.y + d * n1.y + t * e1.y});
        out.push_back({v.x + d * n2.x - t * e2.x, v.y + d * n2.y - t * e2.y});
    }
    return withoutStraightRuns(std::move(out));
}

std::vector<Point> circumscribed(const std::vector<Point>& convex, int sides) {
    // Each side supports the ring (touches it, with all of it on the inner side), so the sides'
    // half-planes meet in a polygon around it; neighbours meet at its corners.
    std::vector<double> cosines(sides), sines(sides), support(sides);
    for (int k = 0; k < sides; ++k) {
        const double a = 6.283185307179586 * k / sides;
        cosines[k] = std::cos(a);
        sines[k] = std::sin(a);
        support[k] = -1e300;
        for (const Point& q : convex)
            support[k] = std::max(support[k], q.x * cosines[k] + q.y * sines[k]);
    }
    const double det = std::sin(6.283185307179586 / sides);
    std::vector<Point> out;
    for (int k = 0; k < sides; ++k) {
        const int j = (k + 1) % sides;
        out.push_back({(support[k] * sines[j] - support[j] * sines[k]) / det,
                       (cosines[k] * support[j] - cosines[j] * support[k]) / det});
    }
    return withoutStraightRuns(std::move(out));
}

ConvexPiece pieceOf(std::vector<Point> ring) {
    ConvexPiece piece;
    piece.box = boundsOf(ring);
    for (const Point& q : ring) {
        piece.middle.x += q.x / static_cast<double>(ring.size());
        piece.middle.y += q.y / static_cast<double>(ring.size());
    }
    piece.ring = std::move(ring);
    return piece;
}

bool insidesMeet(const ConvexPiece& a, const ConvexPiece& b, double dx, double dy) {
    if (a.box.maxX <= b.box.minX + dx + kExactTolerance ||
        b.box.maxX + dx <= a.box.minX + kExactTolerance ||
        a.box.maxY <= b.box.minY + dy + kExactTolerance ||
        b.box.maxY + dy <= a.box.minY + kExactTolerance)
        return false;
    // A corner of one inside the other overlaps at once; most positions that overlap at all
    // are found so, without the sweep over every pair of edges below.
    auto holds = [](const std::vector<Point>& ring, double rx, double ry, const Point& q) {
        const std::size_t n = ring.size();
        for (std::size_t i = 0; i < n; ++i) {
            const Point& p = ring[i];
            const Point& r = ring[(i + 1) % n];
            const double ux = r.x - p.x, uy = r.y - p.y;
            const double c = ux * (q.y - p.y - ry) - uy * (q.x - p.x - rx);
            if (c <= kExactTolerance * (std::abs(ux) + std::abs(uy))) return false;
        }
        return true;
    };
    if (holds(a.ring, 0, 0, {b.middle.x + dx, b.middle.y + dy}) || holds(b.ring, dx, dy, a.middle))
        return true;
    // A separating line runs along an edge of one of them: the other lies wholly on its outer
    // side, or within the tolerance of it.
    auto separates = [](const std::vector<Point>& edges, double ex, double ey,
                        const std::vector<Point>& other, double ox, double oy) {
        const std::size_t n = edges.size();
        for (std::size_t i = 0; i < n; ++i) {
            const double px = edges[i].x + ex, py = edges[i].y + ey;
            const double qx = edges[(i + 1) % n].x + ex, qy = edges[(i + 1) % n].y + ey;
            const double ux = qx - px, uy = qy - py;
            // Within the tolerance of the line: cross <= tolerance * |u|, compared squared.
            const double limit = kExactTolerance * kExactTolerance * (ux * ux + uy * uy);
            bool apart = true;
            for (const Point& o : other) {
                const double c = ux * (o.y + oy - py) - uy * (o.x + ox - px);
                if (c > 0 && c * c > limit) {
                    apart = false;
                    break;
                }
            }
            if (apart) return true;
        }
        return false;
    };
    return !separates(a.ring, 0, 0, b.ring, dx, dy) && !separates(b.ring, dx, dy, a.ring, 0, 0);
}

}  // namespace qks::nest::dense
