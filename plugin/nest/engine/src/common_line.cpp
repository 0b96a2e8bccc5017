#include "qks/nest/common_line.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numeric>

#include "qks/nest/geometry.h"

namespace qks::nest {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Points this close to a line lie on it: far below any drawing's precision, far above the
// rounding of a slide.
constexpr double kOnLine = 1e-6;
// Stretches shorter than this are not worth a line of their own.
constexpr double kShortest = 0.01;

using Rings = std::vector<std::vector<Point>>;

// How far an index widens an edge's extent: far above the rounding of a bin's arithmetic, below
// every tolerance the checks use, so a point within an edge's extent always finds the edge.
constexpr double kIndexSlack = 1e-6;
// Reach of the proximity queries: twice the tolerance of a collinear or touching edge, and what
// an edge crossing another may stick out past it where the crossing is found with a tolerance
// relative to the edges' lengths.
constexpr double kTouchReach = 2 * kOnLine;
constexpr double kCrossReach = 1e-3;

// An edge of a shape: from point `index` of ring `ring` to the next. Edges are numbered over
// the rings in order (outline first, then holes), the order every check visits them in: a sum
// taken in number order over the edges an index returns adds up exactly as one over all edges.
struct EdgeRef {
    std::uint32_t ring;
    std::uint32_t index;
};

// Edges by bins: start[b] .. start[b + 1] index `edges`, each bin's edge numbers ascending.
struct Bins {
    std::vector<std::uint32_t> start;
    std::vector<std::uint32_t> edges;
};

// Edges by one coordinate (x or y) in equal bins from `origin`: bin b holds every edge whose
// extent in that coordinate, widened by kIndexSlack, meets it. A value's bin thus holds, once,
// every edge whose widened extent holds the value.
struct Strips {
    double origin = 0.0;
    double size = 1.0;
    long count = 0;
    Bins bins;
};

// Edges by the cells of a uniform grid over the shape's box, each in every cell its box
// (widened by kIndexSlack) meets.
struct Grid {
    double x0 = 0.0;
    double y0 = 0.0;
    double size = 1.0;
    long nx = 0;
    long ny = 0;
    Bins bins;
};

// A placed part in sheet coordinates with its edges indexed. The checks below compare edges of
// two parts only where the parts come close: a hole's edges take part only where the other part
// reaches into the hole's box, and along a slide only edges across the slide's line are met.
struct Shape {
    Rings rings;  // outline first, then holes; empty for a placement outside the part list
    Bounds box;
    std::vector<Bounds> ringBoxes;
    std::vector<EdgeRef> edges;
    Strips byX;  // for slides along y: a ray along y meets the edges spanning its x
    Strips byY;  // for slides along x, and the even-odd test's rays along x
    Grid grid;
};

const Point& edgeFrom(const Shape& s, std::uint32_t e) {
    return s.rings[s.edges[e].ring][s.edges[e].index];
}
const Point& edgeTo(const Shape& s, std::uint32_t e) {
    const auto& ring = s.rings[s.edges[e].ring];
    return ring[(s.edges[e].index + 1) % ring.size()];
}

Bounds edgeBox(const Point& a, const Point& b, double widen) {
    return {std::min(a.x, b.x) - widen, std::min(a.y, b.y) - widen, std::max(a.x, b.x) + widen,
            std::max(a.y, b.y) + widen};
}

// Whether the boxes are more than `reach` apart along x or y.
bool apart(const Bounds& a, const Bounds& b, double reach) {
    return a.minX > b.maxX + reach || b.minX > a.maxX + reach || a.minY > b.maxY + reach ||
           b.minY > a.maxY + reach;
}

// The bin of v. Monotonic in v, so a value within an extent falls within the extent's bins.
double binOf(double v, double origin, double size) {
    return std::floor((v - origin) / size);
}

long clampBin(double bin, long count) {
    return static_cast<long>(std::clamp(bin, 0.0, static_cast<double>(count - 1)));
}

// Fills `bins` with `count` bins; binsOf(e, add) calls add(b) for each bin edge e goes into.
template <typename BinsOf>
void fillBins(Bins& bins, std::size_t count, std::size_t edgeCount, BinsOf&& binsOf) {
    bins.start.assign(count + 1, 0);
    for (std::size_t e = 0; e < edgeCount; ++e)
        binsOf(e, [&](std::size_t b) { ++bins.start[b + 1]; });
    std::partial_sum(bins.start.begin(), bins.start.end(), bins.start.begin());
    bins.edges.resize(bins.start.back());
    std::vector<std::uint32_t> next(bins.start.begin(), bins.start.end() - 1);
    for (std::size_t e = 0; e < edgeCount; ++e)
        binsOf(e, [&](std::size_t b) { bins.edges[next[b]++] = static_cast<std::uint32_t>(e); });
}

// Up to this many bins per strip index, cells per grid side: enough for a part of thousands of
// edges to find a handful per bin, small enough to rebuild on every slide tried.
constexpr long kMostStrips = 1024;
constexpr long kMostCells = 128;

Strips stripsOf(const Shape& s, bool byY) {
    Strips strips;
    const double lo = byY ? s.box.minY : s.box.minX, hi = byY ? s.box.maxY : s.box.maxX;
    strips.count = std::clamp(static_cast<long>(s.edges.size()), 1L, kMostStrips);
    strips.origin = lo - 2 * kIndexSlack;
    strips.size = std::max((hi - lo + 4 * kIndexSlack) / static_cast<double>(strips.count), 1e-3);
    fillBins(strips.bins, static_cast<std::size_t>(strips.count), s.edges.size(),
             [&](std::size_t e, auto add) {
                 const auto e32 = static_cast<std::uint32_t>(e);
                 const double a = byY ? edgeFrom(s, e32).y : edgeFrom(s, e32).x;
                 const double b = byY ? edgeTo(s, e32).y : edgeTo(s, e32).x;
                 const long first = clampBin(
                     binOf(std::min(a, b) - kIndexSlack, strips.origin, strips.size), strips.count);
                 const long last = clampBin(
                     binOf(std::max(a, b) + kIndexSlack, strips.origin, strips.size), strips.count);
                 for (long bin = first; bin <= last; ++bin)
                     add(static_cast<std::size_t>(bin));
             });
    return strips;
}

Grid gridOf(const Shape& s) {
    Grid grid;
    const double w = s.box.maxX - s.box.minX + 4 * kIndexSlack;
    const double h = s.box.maxY - s.box.minY + 4 * kIndexSlack;
    // About two edges per cell on average.
    const double cells = std::max(1.0, static_cast<double>(s.edges.size()) / 2);
    grid.size = std::max({std::sqrt(w * h / cells), std::max(w, h) / kMostCells, 1e-3});
    grid.x0 = s.box.minX - 2 * kIndexSlack;
    grid.y0 = s.box.minY - 2 * kIndexSlack;
    grid.nx = std::min(kMostCells, static_cast<long>(w / grid.size) + 1);
    grid.ny = std::min(kMostCells, static_cast<long>(h / grid.size) + 1);
    fillBins(grid.bins, static_cast<std::size_t>(grid.nx * grid.ny), s.edges.size(),
             [&](std::size_t e, auto add) {
                 const auto e32 = static_cast<std::uint32_t>(e);
                 const Bounds b = edgeBox(edgeFrom(s, e32), edgeTo(s, e32), kIndexSlack);
                 const long x0 = clampBin(binOf(b.minX, grid.x0, grid.size), grid.nx);
                 const long x1 = clampBin(binOf(b.maxX, grid.x0, grid.size), grid.nx);
                 const long y0 = clampBin(binOf(b.minY, grid.y0, grid.size), grid.ny);
                 const long y1 = clampBin(binOf(b.maxY, grid.y0, grid.size), grid.ny);
                 for (long y = y0; y <= y1; ++y)
                     for (long x = x0; x <= x1; ++x)
                         add(static_cast<std::size_t>(y * grid.nx + x));
             });
    return grid;
}

// Boxes, edge list and indexes from the rings; after every change to them.
void reindex(Shape& s) {
    s.box = Bounds{};
    s.ringBoxes.clear();
    s.edges.clear();
    for (std::size_t r = 0; r < s.rings.size(); ++r) {
        const Bounds b = boundsOf(s.rings[r]);
        s.ringBoxes.push_back(b);
        s.box.minX = std::min(s.box.minX, b.minX);
        s.box.minY = std::min(s.box.minY, b.minY);
        s.box.maxX = std::max(s.box.maxX, b.maxX);
        s.box.maxY = std::max(s.box.maxY, b.maxY);
        for (std::size_t k = 0; k < s.rings[r].size(); ++k)
            s.edges.push_back({static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(k)});
    }
    if (s.edges.empty()) return;
    s.byX = stripsOf(s, false);
    s.byY = stripsOf(s, true);
    s.grid = gridOf(s);
}

void shiftShape(Shape& s, double dx, double dy) {
    for (auto& ring : s.rings)
        for (Point& p : ring) {
            p.x += dx;
            p.y += dy;
        }
    reindex(s);
}

template <typename F>
void forEachEdge(const Shape& s, F&& f) {
    for (const auto& ring : s.rings)
        for (std::size_t k = 0; k < ring.size(); ++k)
            f(ring[k], ring[(k + 1) % ring.size()]);
}

// f(a, b, e) for s's edges that come within `reach` of `box`, in number order: rings whose box
// stays further off (a hole the other part does not reach into) are passed over whole.
template <typename F>
void forEachEdgeNear(const Shape& s, const Bounds& box, double reach, F&& f) {
    std::uint32_t e = 0;
    for (std::size_t r = 0; r < s.rings.size(); ++r) {
        const auto& ring = s.rings[r];
        if (apart(s.ringBoxes[r], box, reach)) {
            e += static_cast<std::uint32_t>(ring.size());
            continue;
        }
        for (std::size_t k = 0; k < ring.size(); ++k, ++e) {
            const Point& a = ring[k];
            const Point& b = ring[(k + 1) % ring.size()];
            if (!apart(edgeBox(a, b, 0.0), box, reach)) f(a, b, e);
        }
    }
}

// f(c, d, e) for at least every edge of s whose box meets `box`, each once, in number order.
// `scratch` is the caller's, to keep its memory between queries.
template <typename F>
void forEachEdgeIn(const Shape& s, const Bounds& box, std::vector<std::uint32_t>& scratch, F&& f) {
    if (s.edges.empty()) return;
    const Grid& g = s.grid;
    const double x0 = binOf(box.minX, g.x0, g.size), x1 = binOf(box.maxX, g.x0, g.size);
    const double y0 = binOf(box.minY, g.y0, g.size), y1 = binOf(box.maxY, g.y0, g.size);
    if (x1 < 0 || y1 < 0 || x0 >= static_cast<double>(g.nx) || y0 >= static_cast<double>(g.ny))
        return;
    scratch.clear();
    for (long y = clampBin(y0, g.ny); y <= clampBin(y1, g.ny); ++y)
        for (long x = clampBin(x0, g.nx); x <= clampBin(x1, g.nx); ++x) {
            const auto cell = static_cast<std::size_t>(y * g.nx + x);
            scratch.insert(scratch.end(), g.bins.edges.begin() + g.bins.start[cell],
                           g.bins.edges.begin() + g.bins.start[cell + 1]);
        }
    std::sort(scratch.begin(), scratch.end());
    scratch.erase(std::unique(scratch.begin(), scratch.end()), scratch.end());
    for (const std::uint32_t e : scratch)
        f(edgeFrom(s, e), edgeTo(s, e), e);
}

// f(a, b) for every edge of s whose extent in the strips' coordinate (widened by
// kIndexSlack) holds v, each once, and maybe a few more.
template <typename F>
void forEachEdgeAcross(const Shape& s, const Strips& strips, double v, F&& f) {
    if (s.edges.empty()) return;
    const double bin = binOf(v, strips.origin, strips.size);
    if (!(bin >= 0 && bin < static_cast<double>(strips.count))) return;
    const auto b = static_cast<std::size_t>(bin);
    for (std::uint32_t k = strips.bins.start[b]; k < strips.bins.start[b + 1]; ++k) {
        const std::uint32_t e = strips.bins.edges[k];
        f(edgeFrom(s, e), edgeTo(s, e));
    }
}

// Coordinates along the slide (u) and across it (v).
double along(const Point& p, bool alongY) {
    return alongY ? p.y : p.x;
}
double across(const Point& p, bool alongY) {
    return alongY ? p.x : p.y;
}

// Whether a ray through a segment's end meets it. Where an outline's corner only grazes
// another's, the first contact is ambiguous; each rule gives a candidate slide, and the exact
// check of the end position (interiorsOverlap and the gap) decides which one stands.
enum class Ends { Open, Low, High, Closed };

using RuleDistances = std::array<double, 4>;  // by Ends

// How far w may travel in direction `sign` along u before it meets the segment (a, b), under
// each rule; each entry of `best` only lowered, and left alone where it never does. A segment
// running along the slide is left out: touching it, w slides along it, and whatever stops w
// there is the next segment, which shares the end.
void meetSegment(const Point& w, double sign, const Point& a, const Point& b, bool alongY,
                 RuleDistances& best) {
    const double va = across(a, alongY), vb = across(b, alongY), vw = across(w, alongY);
    if (std::fabs(va - vb) <= 1e-12) return;
    const double lo = std::min(va, vb), hi = std::max(va, vb);
    if (vw < lo - 1e-9 || vw > hi + 1e-9) return;  // past both ends: no rule meets it
    const double lambda = std::clamp((vw - va) / (vb - va), 0.0, 1.0);
    const double uHit = along(a, alongY) + lambda * (along(b, alongY) - along(a, alongY));
    const double t = sign * (uHit - along(w, alongY));
    if (t < -1e-7) return;
    const double distance = std::max(t, 0.0);
    // Clear of the low end, of the high end: what the rules that leave that end out ask.
    const bool offLow = vw > lo + 1e-9, offHigh = vw < hi - 1e-9;
    const bool meets[] = {offLow && offHigh, offHigh, offLow, true};  // by Ends
    for (std::size_t r = 0; r < 4; ++r)
        if (meets[r]) best[r] = std::min(best[r], distance);
}

// How far `moving` may slide towards -u before its boundary meets `fixed`'s, under each rule;
// each entry only lowered.
void slideDistances(const Shape& moving, const Shape& fixed, bool alongY, RuleDistances& best) {
    // A ray meets only edges spanning its line; a ring wholly off the other part's span meets
    // nothing, and a ring whose rays all travel further to reach the other part's box than
    // every rule's contact so far changes nothing (the outline, looked at first, mostly keeps
    // the holes out).
    const auto rays = [&](const Shape& from, const Shape& to, double sign) {
        const Strips& strips = alongY ? to.byX : to.byY;
        const double lo = alongY ? to.box.minX : to.box.minY;
        const double hi = alongY ? to.box.maxX : to.box.maxY;
        const double toNear =
            sign < 0 ? (alongY ? to.box.maxY : to.box.maxX) : (alongY ? to.box.minY : to.box.minX);
        for (std::size_t r = 0; r < from.rings.size(); ++r) {
            const Bounds& b = from.ringBoxes[r];
            if ((alongY ? b.maxX : b.maxY) < lo - kIndexSlack ||
                (alongY ? b.minX : b.minY) > hi + kIndexSlack)
                continue;
            const double ringNear =
                sign < 0 ? (alongY ? b.minY : b.minX) : (alongY ? b.maxY : b.maxX);
            const double least = sign * (toNear - ringNear);
            if (least - kIndexSlack > *std::max_element(best.begin(), best.end())) continue;
            for (const Point& w : from.rings[r])
                forEachEdgeAcross(to, strips, across(w, alongY),
                                  [&](const Point& a, const Point& b) {
                                      meetSegment(w, sign, a, b, alongY, best);
                                  });
        }
    };
    rays(moving, fixed, -1.0);
    rays(fixed, moving, 1.0);
}

// Distance between the boundaries where it is below `limit`; else some distance not below it
// (kInf when no edges come that close). A slide stops at the first contact, so a part never
// gets inside another (or out of a hole) without the boundaries meeting first.
double boundaryDistance(const Shape& p, const Shape& q, double limit) {
    double best = kInf;
    std::vector<std::uint32_t> scratch;
    forEachEdgeNear(p, q.box, limit, [&](const Point& a, const Point& b, std::uint32_t) {
        forEachEdgeIn(q, edgeBox(a, b, limit), scratch,
                      [&](const Point& c, const Point& d, std::uint32_t) {
                          best = std::min(best, segmentDistance(a, b, c, d));
                      });
    });
    return best;
}

double boxDistance(const Bounds& a, const Bounds& b) {
    const double dx = std::max({0.0, b.minX - a.maxX, a.minX - b.maxX});
    const double dy = std::max({0.0, b.minY - a.maxY, a.minY - b.maxY});
    return std::hypot(dx, dy);
}

// The stretch of edge (a, b) that edge (c, d) covers when the two lie on one line, as
// parameters along (a, b) measured in length; false when they do not or barely meet.
bool collinearOverlap(const Point& a, const Point& b, const Point& c, const Point& d, double& lo,
                      double& hi) {
    const double len = std::hypot(b.x - a.x, b.y - a.y);
    if (len < kShortest) return false;
    const double ux = (b.x - a.x) / len, uy = (b.y - a.y) / len;
    const auto off = [&](const Point& p) { return (p.x - a.x) * uy - (p.y - a.y) * ux; };
    if (std::fabs(off(c)) > kOnLine || std::fabs(off(d)) > kOnLine) return false;
    const double tc = (c.x - a.x) * ux + (c.y - a.y) * uy;
    const double td = (d.x - a.x) * ux + (d.y - a.y) * uy;
    lo = std::max(0.0, std::min(tc, td));
    hi = std::min(len, std::max(tc, td));
    return hi - lo >= kShortest;
}

// f(ep, eq, lo, hi) for every edge ep of p and eq of q that lie on one line and overlap, as
// collinearOverlap measures it along ep: p's edges in number order, and q's for each.
template <typename F>
void forEachCollinearPair(const Shape& p, const Shape& q, F&& f) {
    std::vector<std::uint32_t> scratch;
    forEachEdgeNear(p, q.box, kTouchReach, [&](const Point& a, const Point& b, std::uint32_t ep) {
        forEachEdgeIn(q, edgeBox(a, b, kTouchReach), scratch,
                      [&](const Point& c, const Point& d, std::uint32_t eq) {
                          double lo = 0, hi = 0;
                          if (collinearOverlap(a, b, c, d, lo, hi)) f(ep, eq, lo, hi);
                      });
    });
}

double sharedLength(const Shape& p, const Shape& q) {
    if (boxDistance(p.box, q.box) > kOnLine) return 0.0;
    double total = 0.0;
    forEachCollinearPair(
        p, q, [&](std::uint32_t, std::uint32_t, double lo, double hi) { total += hi - lo; });
    return total;
}

// Even-odd over all rings: inside the material (inside the outline, outside its holes). Only
// edges spanning p's y can cross the ray, and each is taken from its end to its start, as the
// crossing's x rounds differently the other way round.
bool insideMaterial(const Shape& s, const Point& p) {
    bool in = false;
    forEachEdgeAcross(s, s.byY, p.y, [&](const Point& b, const Point& a) {
        if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (b.x - a.x) * (p.y - a.y) / (b.y - a.y))
            in = !in;
    });
    return in;
}

bool strictlyInside(const Shape& s, const Point& p) {
    if (!insideMaterial(s, p)) return false;
    bool clear = true;
    std::vector<std::uint32_t> scratch;
    forEachEdgeIn(s, edgeBox(p, p, kTouchReach), scratch,
                  [&](const Point& a, const Point& b, std::uint32_t) {
                      if (clear && pointSegmentDistance(p, a, b) <= kOnLine) clear = false;
                  });
    return clear;
}

// Whether some of p's boundary runs strictly inside q's material: p's edges are cut wherever
// q's boundary meets them, and the middle of every piece is tested.
bool boundaryEnters(const Shape& p, const Shape& q) {
    bool enters = false;
    std::vector<double> cuts;
    std::vector<std::uint32_t> scratch;
    // An edge further from q's box than any cut reaches has no cut, and its middle lies
    // outside q.
    forEachEdgeNear(p, q.box, kCrossReach, [&](const Point& a, const Point& b, std::uint32_t) {
        if (enters) return;
        const double ex = b.x - a.x, ey = b.y - a.y;
        const double len2 = ex * ex + ey * ey;
        if (len2 <= 0) return;
        cuts.assign({0.0, 1.0});
        forEachEdgeIn(q, edgeBox(a, b, kCrossReach), scratch,
                      [&](const Point& c, const Point& d, std::uint32_t) {
                          const double fx = d.x - c.x, fy = d.y - c.y;
                          const double denom = ex * fy - ey * fx;
                          const double cx = c.x - a.x, cy = c.y - a.y;
                          if (std::fabs(denom) > 1e-12 * std::sqrt(len2 * (fx * fx + fy * fy))) {
                              const double t = (cx * fy - cy * fx) / denom;
                              const double u = (cx * ey - cy * ex) / denom;
                              if (t >= -1e-9 && t <= 1 + 1e-9 && u >= -1e-9 && u <= 1 + 1e-9)
                                  cuts.push_back(std::clamp(t, 0.0, 1.0));
                          } else {
                              // Parallel: where q's edge lies along p's, its ends cut p's.
                              for (const Point& e : {c, d})
                                  if (pointSegmentDistance(e, a, b) <= kOnLine)
                                      cuts.push_back(std::clamp(
                                          ((e.x - a.x) * ex + (e.y - a.y) * ey) / len2, 0.0, 1.0));
                          }
                      });
        std::sort(cuts.begin(), cuts.end());
        for (std::size_t k = 0; k + 1 < cuts.size() && !enters; ++k) {
            if (cuts[k + 1] - cuts[k] < 1e-9) continue;
            const double m = (cuts[k] + cuts[k + 1]) / 2;
            enters = strictlyInside(q, {a.x + m * ex, a.y + m * ey});
        }
    });
    return enters;
}

// A point of the part's material a little inside the longest edge of its outline.
Point innerPoint(const Shape& s) {
    const auto& ring = s.rings.front();
    std::size_t longest = 0;
    double best = -1.0;
    for (std::size_t k = 0; k < ring.size(); ++k) {
        const Point& a = ring[k];
        const Point& b = ring[(k + 1) % ring.size()];
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        if (len > best) {
            best = len;
            longest = k;
        }
    }
    const Point& a = ring[longest];
    const Point& b = ring[(longest + 1) % ring.size()];
    const double len = std::max(best, 1e-12);
    const double nx = -(b.y - a.y) / len * 1e-4, ny = (b.x - a.x) / len * 1e-4;
    const Point m{(a.x + b.x) / 2 + nx, (a.y + b.y) / 2 + ny};
    return insideMaterial(s, m) ? m : Point{(a.x + b.x) / 2 - nx, (a.y + b.y) / 2 - ny};
}

// Whether the two parts' material overlaps. When neither boundary runs inside the other's
// material, the two either only touch, or one lies on the other with its boundary on the
// other's (a part slid exactly onto one of its kind): then a point inside one is inside both.
bool interiorsOverlap(const Shape& p, const Shape& q) {
    if (boxDistance(p.box, q.box) > kOnLine) return false;
    return boundaryEnters(p, q) || boundaryEnters(q, p) || strictlyInside(q, innerPoint(p)) ||
           strictlyInside(p, innerPoint(q));
}

class SheetPass {
  public:
    // The first `fixed` shapes stay where they are; the others may slide up to them.
    SheetPass(std::vector<Shape>& shapes, double gap, double margin, std::size_t fixed)
        : s_(shapes), gap_(gap), margin_(margin), fixed_(fixed) {}

    // One slide of part i towards -u; true when kept. Each contact rule proposes a slide
    // distance; the longest one whose end position passes the exact check is taken.
    bool slide(std::size_t i, bool alongY) {
        const Shape& p = s_[i];
        if (i < fixed_ || p.rings.empty() || !hasLongEdge(p)) return false;
        const double pMinU = alongY ? p.box.minY : p.box.minX;
        const double pMaxU = alongY ? p.box.maxY : p.box.maxX;
        const double pMinV = alongY ? p.box.minX : p.box.minY;
        const double pMaxV = alongY ? p.box.maxX : p.box.maxY;
        // Parts across the slide's path, nearest first: once one lies further off than every
        // rule's contact so far, so do the rest.
        std::vector<std::pair<double, std::size_t>> inPath;
        for (std::size_t j = 0; j < s_.size(); ++j) {
            const Shape& q = s_[j];
            if (j == i || q.rings.empty()) continue;
            const double qMinU = alongY ? q.box.minY : q.box.minX;
            const double qMaxU = alongY ? q.box.maxY : q.box.maxX;
            const double qMinV = alongY ? q.box.minX : q.box.minY;
            const double qMaxV = alongY ? q.box.maxX : q.box.maxY;
            if (qMinU > pMaxU || qMaxV < pMinV - 1e-6 || qMinV > pMaxV + 1e-6) continue;
            inPath.emplace_back(std::max(0.0, pMinU - qMaxU), j);
        }
        std::sort(inPath.begin(), inPath.end());
        RuleDistances best;
        best.fill(kInf);
        // A rule that has met nothing yet may still meet a part further off, up to a part's
        // length beyond the contacts so far; a longer slide is given up (every candidate is
        // checked anyway, so this only costs a chance).
        double reach = -1.0;
        for (const auto& [offset, j] : inPath) {
            if ((reach >= 0.0 && offset > reach + (pMaxU - pMinU)) || offset > pMinU - margin_)
                break;
            slideDistances(p, s_[j], alongY, best);
            reach = -1.0;
            for (const double distance : best)
                if (distance < kInf) reach = std::max(reach, distance);
        }
        std::vector<double> candidates;
        for (const double distance : best)
            // Something met before the margin, and not already touching.
            if (distance > 1e-6 && distance <= pMinU - margin_) candidates.push_back(distance);
        std::sort(candidates.begin(), candidates.end(), std::greater<double>());
        candidates.erase(std::unique(candidates.begin(), candidates.end(),
                                     [](double a, double b) { return std::fabs(a - b) < 1e-7; }),
                         candidates.end());
        for (const double distance : candidates) {
            Shape moved = p;
            shiftShape(moved, alongY ? 0.0 : -distance, alongY ? -distance : 0.0);
            if (acceptable(i, moved)) {
                s_[i] = std::move(moved);
                return true;
            }
        }
        return false;
    }

    // Only a part with a straight edge as long as a shared stretch must be can gain one.
    static bool hasLongEdge(const Shape& s) {
        bool found = false;
        forEachEdge(s, [&](const Point& a, const Point& b) {
            found = found || std::hypot(b.x - a.x, b.y - a.y) >= kMinSharedLength;
        });
        return found;
    }

    // The end position of part i's slide: no overlap with any part; a new common stretch of at
    // least kMinSharedLength with one; every part it shares no such stretch with at least the
    // gap away (or as far as before, where the search left a pair closer).
    bool acceptable(std::size_t i, const Shape& moved) const {
        const Shape& p = s_[i];
        std::vector<std::size_t> near, sharing;
        bool newContact = false;
        for (std::size_t j = 0; j < s_.size(); ++j) {
            const Shape& q = s_[j];
            if (j == i || q.rings.empty()) continue;
            if (boxDistance(moved.box, q.box) >= std::max(gap_, 2 * kOnLine)) continue;
            if (sharedLength(moved, q) >= kMinSharedLength) {
                newContact = newContact || sharedLength(p, q) < kMinSharedLength;
                sharing.push_back(j);
            } else {
                near.push_back(j);
            }
        }
        // The cheap test first: most slides that end somewhere gain nothing.
        if (!newContact) return false;
        for (const std::size_t j : sharing)
            if (interiorsOverlap(moved, s_[j])) return false;
        for (const std::size_t j : near) {
            const Shape& q = s_[j];
            // Distances from the gap up are all alike here.
            const double limit = std::max(gap_, 1.0);
            const bool sharedBefore = sharedLength(p, q) >= kMinSharedLength;
            const double before = sharedBefore ? gap_ : boundaryDistance(p, q, limit);
            const double need = std::min(gap_, before) - 1e-6;
            const double distance = boundaryDistance(moved, q, limit);
            if (distance < need) return false;
            // Boundaries apart: the material overlaps only if one part lies inside the other.
            if (distance > kOnLine
                    ? strictlyInside(q, innerPoint(moved)) || strictlyInside(moved, innerPoint(q))
                    : interiorsOverlap(moved, q))
                return false;
        }
        return true;
    }

    bool pass(bool alongY) {
        std::vector<std::size_t> order(s_.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return alongY ? s_[a].box.minY < s_[b].box.minY : s_[a].box.minX < s_[b].box.minX;
        });
        bool any = false;
        for (const std::size_t i : order)
            any = slide(i, alongY) || any;
        return any;
    }

  private:
    std::vector<Shape>& s_;
    double gap_;
    double margin_;
    std::size_t fixed_;
};

struct Interval {
    double lo;
    double hi;
};

// What is left of a ring once the stretches on its edges (per edge, parameters in length) are
// taken out: the whole ring when nothing is, else open chains in ring order.
std::vector<CutChain> cutRing(const std::vector<Point>& ring,
                              std::vector<std::vector<Interval>>& onEdge) {
    struct Piece {
        Point a, b;
        bool fromStart, toEnd;
        std::size_t edge;
    };
    std::vector<Piece> pieces;
    bool anyCut = false;
    const std::size_t n = ring.size();
    for (std::size_t k = 0; k < n; ++k) {
        const Point& a = ring[k];
        const Point& b = ring[(k + 1) % n];
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        auto& cuts = onEdge[k];
        std::sort(cuts.begin(), cuts.end(),
                  [](const Interval& x, const Interval& y) { return x.lo < y.lo; });
        const auto at = [&](double t) {
            const double f = len > 0 ? t / len : 0.0;
            return Point{a.x + f * (b.x - a.x), a.y + f * (b.y - a.y)};
        };
        double from = 0.0;
        for (const Interval& c : cuts) {
            anyCut = true;
            if (c.lo - from >= kShortest)
                pieces.push_back({at(from), at(c.lo), from == 0.0, false, k});
            from = std::max(from, c.hi);
        }
        if (len - from >= kShortest || (cuts.empty() && len < kShortest))
            pieces.push_back({at(from), b, from == 0.0, true, k});
    }
    if (!anyCut) return {CutChain{ring, true}};
    std::vector<CutChain> chains;
    if (pieces.empty()) return chains;
    // A piece goes on from the one before it when that one runs to the end of the edge before.
    const auto continues = [&](std::size_t k) {
        const Piece& prev = pieces[(k + pieces.size() - 1) % pieces.size()];
        return prev.toEnd && pieces[k].fromStart && (prev.edge + 1) % n == pieces[k].edge;
    };
    std::size_t start = 0;
    while (start < pieces.size() && continues(start))
        ++start;
    for (std::size_t m = 0; m < pieces.size(); ++m) {
        const std::size_t k = (start + m) % pieces.size();
        const Piece& piece = pieces[k];
        if (m == 0 || !continues(k)) chains.push_back(CutChain{{piece.a}, false});
        chains.back().points.push_back(piece.b);
    }
    return chains;
}

}  // namespace

CommonLineResult shareCommonLines(const NestConfig& config, const std::vector<NestPart>& parts,
                                  const Layout& layout, const std::vector<std::size_t>& kept) {
    CommonLineResult result;
    const double pad = gapPadLength(config);
    for (std::size_t sheetIndex = 0; sheetIndex < layout.size(); ++sheetIndex) {
        const SheetLayout& sheet = layout[sheetIndex];
        std::vector<Shape> shapes(sheet.placements.size());
        for (std::size_t i = 0; i < shapes.size(); ++i) {
            const Placement& pl = sheet.placements[i];
            if (pl.partIndex < 0 || static_cast<std::size_t>(pl.partIndex) >= parts.size())
                continue;
            const NestPart& part = parts[static_cast<std::size_t>(pl.partIndex)];
            PlacedShape placed = placeShape(part, pl.angle, pl.mirrored, 0.0, 0.0, config.margin,
                                            pad, config.cell, pl.column, pl.row);
            if (placed.outline.size() < 3) continue;
            shapes[i].rings.push_back(std::move(placed.outline));
            for (auto& hole : placed.holes)
                if (hole.size() >= 3) shapes[i].rings.push_back(std::move(hole));
            reindex(shapes[i]);
        }
        const std::vector<Shape> original = shapes;
        SheetPass pass(shapes, config.gap, config.margin,
                       sheetIndex < kept.size() ? kept[sheetIndex] : 0);
        // The pass knows a sheet's margin, not an irregular stock piece's outline or defects: a
        // slide there could leave the piece, so its parts stay where the search put them.
        const auto stock = static_cast<std::size_t>(sheet.stockIndex);
        const bool irregular =
            sheet.stockIndex >= 0 && stock < config.sheets.size() && config.sheets[stock].shape;
        for (int round = 0; round < 8 && !irregular; ++round) {
            const bool x = pass.pass(false);
            const bool y = pass.pass(true);
            if (!x && !y) break;
        }

        CommonLineSheet out;
        out.placements.resize(shapes.size());
        // Per shape, ring and edge: the stretches it shares.
        std::vector<std::vector<std::vector<std::vector<Interval>>>> cuts(shapes.size());
        for (std::size_t i = 0; i < shapes.size(); ++i) {
            cuts[i].resize(shapes[i].rings.size());
            for (std::size_t r = 0; r < shapes[i].rings.size(); ++r)
                cuts[i][r].resize(shapes[i].rings[r].size());
            for (const auto& ring : shapes[i].rings)
                result.cutLength += ringLength(ring);
            if (!shapes[i].rings.empty()) {
                const Point& now = shapes[i].rings[0][0];
                const Point& was = original[i].rings[0][0];
                out.placements[i].shift = {now.x - was.x, now.y - was.y};
            }
        }
        for (std::size_t i = 0; i < shapes.size(); ++i) {
            for (std::size_t j = i + 1; j < shapes.size(); ++j) {
                if (shapes[i].rings.empty() || shapes[j].rings.empty() ||
                    boxDistance(shapes[i].box, shapes[j].box) > kOnLine)
                    continue;
                const Shape& si = shapes[i];
                const Shape& sj = shapes[j];
                forEachCollinearPair(
                    si, sj, [&](std::uint32_t ei, std::uint32_t ej, double lo, double hi) {
                        const Point& a = edgeFrom(si, ei);
                        const Point& b = edgeTo(si, ei);
                        const Point& c = edgeFrom(sj, ej);
                        const Point& d = edgeTo(sj, ej);
                        const double len = std::hypot(b.x - a.x, b.y - a.y);
                        const Point p0{a.x + (b.x - a.x) * lo / len, a.y + (b.y - a.y) * lo / len};
                        const Point p1{a.x + (b.x - a.x) * hi / len, a.y + (b.y - a.y) * hi / len};
                        out.shared.push_back({p0, p1});
                        result.savedLength += hi - lo;
                        cuts[i][si.edges[ei].ring][si.edges[ei].index].push_back({lo, hi});
                        // The same stretch measured along the other part's edge.
                        const double lenJ = std::hypot(d.x - c.x, d.y - c.y);
                        const auto param = [&](const Point& p) {
                            return ((p.x - c.x) * (d.x - c.x) + (p.y - c.y) * (d.y - c.y)) / lenJ;
                        };
                        const double t0 = param(p0), t1 = param(p1);
                        cuts[j][sj.edges[ej].ring][sj.edges[ej].index].push_back(
                            {std::min(t0, t1), std::max(t0, t1)});
                        out.placements[i].shares = out.placements[j].shares = true;
                    });
            }
        }
        for (std::size_t i = 0; i < shapes.size(); ++i) {
            if (!out.placements[i].shares) continue;
            for (std::size_t r = 0; r < shapes[i].rings.size(); ++r)
                for (CutChain& chain : cutRing(shapes[i].rings[r], cuts[i][r]))
                    out.placements[i].chains.push_back(std::move(chain));
        }
        result.sheets.push_back(std::move(out));
    }
    return result;
}

}  // namespace qks::nest
