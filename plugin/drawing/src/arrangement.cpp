// Joining, noding and face taking on the geometry engine GEOS (its reentrant C API).
#include "qks/drawing/arrangement.h"

#include <geos_c.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <numeric>
#include <unordered_map>
#include <utility>

#include "qks/drawing/figures.h"
#include "qks/geometry/plane.h"

namespace qks::drawing {

using geometry::polygonArea;
namespace {

// Coordinates beyond a thousand kilometres are no sheet-metal part; they would only cost the
// noding its precision.
constexpr double kLargestCoordinate = 1e9;
// Noding snaps to this grid (mm): copies of one curve a rounding error apart become one.
constexpr double kNodingGrid = 1e-3;
// A piece lies on a ring when a sample of it is this close (mm): the grid's rounding and no
// more, so a neighbour's edge half a millimetre away is not taken for one's own.
constexpr double kOnRingDistance = 5e-3;
// Outlines grow and holes shrink by the chord error with mitred corners, a mitre reaching at
// most this many times the distance: corners stay within twice the chord error.
constexpr double kMitreLimit = 2.0;
// Faces thinner than this on average (twice the area over the perimeter, mm) are the space
// between two copies of one curve drawn a little apart: neither material nor hole.
constexpr double kSliverWidth = 0.05;
// Neighbouring ends each end offers for joining, nearest first.
constexpr std::size_t kNeighboursPerEnd = 4;
constexpr double kFineCells = 16;
// Groups of pieces farther apart than the join tolerance and this are arranged apart (mm):
// more than the noding grid's rounding and the on-ring distance.
constexpr double kSeparation = 0.01;
// Groups whose pieces match this closely after a translation are copies (mm); their first
// points, on a grid of this size, make the key they are looked up by.
constexpr double kCopyTolerance = 1e-6;
constexpr double kCopyKeyGrid = 1e-3;
// Smallest part kept by the arrangement (the caller's own limits apply after).
constexpr double kSmallestFaceArea = 1e-6;

bool finitePoint(const Point& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::fabs(p.x) < kLargestCoordinate &&
           std::fabs(p.y) < kLargestCoordinate;
}

// The piece's points with repeats removed; empty when it is unusable.
std::vector<Point> cleanPoints(const CurvePiece& piece) {
    std::vector<Point> out;
    out.reserve(piece.points.size());
    for (const Point& p : piece.points) {
        if (!finitePoint(p)) return {};
        if (out.empty() || !(out.back() == p)) out.push_back(p);
    }
    if (piece.closed && out.size() > 1 && out.front() == out.back()) out.pop_back();
    if (out.size() < 2) return {};
    return out;
}

struct Box {
    double minX = std::numeric_limits<double>::infinity(), minY = minX;
    double maxX = -minX, maxY = -minX;
    void add(const Point& p) {
        minX = std::min(minX, p.x), minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x), maxY = std::max(maxY, p.y);
    }
    void add(const Box& b) {
        minX = std::min(minX, b.minX), minY = std::min(minY, b.minY);
        maxX = std::max(maxX, b.maxX), maxY = std::max(maxY, b.maxY);
    }
    double extent() const { return std::max(maxX - minX, maxY - minY); }
    bool overlaps(const Box& b, double margin) const {
        return minX <= b.maxX + margin && b.minX <= maxX + margin && minY <= b.maxY + margin &&
               b.minY <= maxY + margin;
    }
};

Box boxOf(const std::vector<Point>& points) {
    Box box;
    for (const Point& p : points)
        box.add(p);
    return box;
}

// ---------------------------------------------------------------- joining

struct UnionFind {
    std::vector<std::size_t> parent;
    explicit UnionFind(std::size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
    std::size_t find(std::size_t i) {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    }
};

// Grid cell of a point for the end search; cells far off are clamped, which only makes the
// search slower there, never wrong.
std::int64_t cellIndex(double v, double size) {
    const double c = std::floor(v / size);
    return static_cast<std::int64_t>(std::max(-1e15, std::min(1e15, c)));
}

struct CellKey {
    std::int64_t x, y;
    bool operator==(const CellKey& o) const { return x == o.x && y == o.y; }
};
struct CellHash {
    std::size_t operator()(const CellKey& k) const {
        // Unsigned: cells far off the grid wrap around instead of overflowing.
        return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(k.x) * 73856093u ^
                                          static_cast<std::uint64_t>(k.y) * 19349663u);
    }
};

}  // namespace

std::vector<JoinedChain> joinPieces(const std::vector<CurvePiece>& pieces, double tolerance) {
    std::vector<JoinedChain> chains;
    std::vector<std::vector<Point>> open;  // cleaned points of the open pieces
    std::vector<std::size_t> openIndex;    // their piece numbers
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        std::vector<Point> points = cleanPoints(pieces[i]);
        if (points.empty()) continue;
        if (pieces[i].closed && points.size() >= 3) {
            chains.push_back({std::move(points), true, {i}});
        } else {
            open.push_back(std::move(points));
            openIndex.push_back(i);
        }
    }
    const std::size_t n = open.size();
    if (n == 0) return chains;
    tolerance = std::isfinite(tolerance) && tolerance > 0 ? tolerance : 0.0;
    auto endPoint = [&](std::size_t end) -> const Point& {
        const std::vector<Point>& p = open[end / 2];
        return end % 2 == 0 ? p.front() : p.back();
    };

    // Every pair of ends within the tolerance, nearest first.
    struct Candidate {
        double gap;
        std::size_t a, b;
    };
    std::vector<Candidate> candidates;
    // Two grids: a coarse one of the tolerance's size that holds every neighbour, and a fine
    // one in which an end among many (outlines of pieces far shorter than the tolerance) finds
    // its nearest few without scanning hundreds.
    const double coarse = std::max(tolerance, 1e-9), fine = coarse / kFineCells;
    using Grid = std::unordered_map<CellKey, std::vector<std::size_t>, CellHash>;
    Grid coarseGrid, fineGrid;
    coarseGrid.reserve(2 * n);
    fineGrid.reserve(2 * n);
    for (std::size_t end = 0; end < 2 * n; ++end) {
        const Point& p = endPoint(end);
        coarseGrid[{cellIndex(p.x, coarse), cellIndex(p.y, coarse)}].push_back(end);
        fineGrid[{cellIndex(p.x, fine), cellIndex(p.y, fine)}].push_back(end);
    }
    const auto nearer = [](const Candidate& x, const Candidate& y) {
        if (x.gap != y.gap) return x.gap < y.gap;
        if (x.a != y.a) return x.a < y.a;
        return x.b < y.b;
    };
    std::vector<Candidate> around;  // gaps squared while searching
    const double limit = tolerance * tolerance;
    // The ends in the 3 x 3 cells of `grid` around `p`, within `reach` (squared).
    const auto gather = [&](const Grid& grid, double size, std::size_t end, double reach) {
        const Point& p = endPoint(end);
        const std::int64_t cx = cellIndex(p.x, size), cy = cellIndex(p.y, size);
        around.clear();
        for (std::int64_t dx = -1; dx <= 1; ++dx)
            for (std::int64_t dy = -1; dy <= 1; ++dy) {
                const auto found = grid.find({cx + dx, cy + dy});
                if (found == grid.end()) continue;
                for (const std::size_t other : found->second) {
                    if (other == end) continue;
                    const Point& q = endPoint(other);
                    const double ex = q.x - p.x, ey = q.y - p.y;
                    const double squared = ex * ex + ey * ey;
                    if (squared <= reach)
                        around.push_back({squared, std::min(end, other), std::max(end, other)});
                }
            }
    };
    for (std::size_t end = 0; end < 2 * n; ++end) {
        // Each end offers only its few nearest neighbours. When the fine cells around it hold
        // that many within one fine cell's width, no nearer one can lie outside them.
        gather(fineGrid, fine, end, std::min(limit, fine * fine));
        if (around.size() < kNeighboursPerEnd) gather(coarseGrid, coarse, end, limit);
        const std::size_t keep = std::min(around.size(), kNeighboursPerEnd);
        std::partial_sort(around.begin(), around.begin() + keep, around.end(), nearer);
        for (std::size_t k = 0; k < keep; ++k)
            candidates.push_back({std::sqrt(around[k].gap), around[k].a, around[k].b});
    }
    std::sort(candidates.begin(), candidates.end(), nearer);
    candidates.erase(std::unique(candidates.begin(), candidates.end(),
                                 [](const Candidate& x, const Candidate& y) {
                                     return x.a == y.a && x.b == y.b;
                                 }),
                     candidates.end());

    std::vector<std::size_t> partner(2 * n, SIZE_MAX);
    UnionFind components(n);
    std::vector<Box> extent(n);
    for (std::size_t i = 0; i < n; ++i)
        extent[i] = boxOf(open[i]);
    for (const Candidate& c : candidates) {
        if (partner[c.a] != SIZE_MAX || partner[c.b] != SIZE_MAX) continue;
        const std::size_t ra = components.find(c.a / 2), rb = components.find(c.b / 2);
        if (ra == rb) {
            // Both are the free ends of one chain: it closes only when it is more than the
            // short run of pieces the tolerance could fold onto itself.
            if (!(extent[ra].extent() > tolerance)) continue;
        } else {
            components.parent[rb] = ra;
            extent[ra].add(extent[rb]);
        }
        partner[c.a] = c.b;
        partner[c.b] = c.a;
    }

    // Walk each component from a free end (or anywhere, for a ring).
    std::vector<bool> used(n, false);
    auto walk = [&](std::size_t startEnd, bool ring) {
        JoinedChain chain;
        std::size_t end = startEnd;  // the end of the current piece we enter by
        while (true) {
            const std::size_t piece = end / 2;
            if (used[piece]) break;
            used[piece] = true;
            chain.pieces.push_back(openIndex[piece]);
            const std::vector<Point>& p = open[piece];
            const bool forward = end % 2 == 0;
            for (std::size_t k = 0; k < p.size(); ++k) {
                const Point& q = forward ? p[k] : p[p.size() - 1 - k];
                if (chain.points.empty() || !(chain.points.back() == q)) chain.points.push_back(q);
            }
            const std::size_t exit = forward ? 2 * piece + 1 : 2 * piece;
            const std::size_t next = partner[exit];
            if (next == SIZE_MAX) break;
            end = next;
        }
        if (ring && chain.points.size() > 1 && chain.points.front() == chain.points.back())
            chain.points.pop_back();
        chain.closed = ring && chain.points.size() >= 3;
        if (chain.points.size() >= 2) chains.push_back(std::move(chain));
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (used[i]) continue;
        // Find a free end of i's chain by walking backwards from i's start.
        std::size_t end = 2 * i;
        bool ring = false;
        std::size_t steps = 0;
        while (partner[end] != SIZE_MAX) {
            const std::size_t other = partner[end];
            const std::size_t piece = other / 2;
            end = other % 2 == 0 ? 2 * piece + 1 : 2 * piece;
            if (end / 2 == i || ++steps > n) {
                ring = true;
                break;
            }
        }
        if (ring) {
            walk(2 * i, true);
        } else {
            walk(end, false);
        }
    }
    return chains;
}

namespace {

// ---------------------------------------------------------------- the geometry engine

class Engine {
  public:
    Engine() : handle_(GEOS_init_r()) {
        GEOSContext_setErrorMessageHandler_r(handle_, &Engine::onError, this);
    }
    ~Engine() { GEOS_finish_r(handle_); }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    GEOSContextHandle_t handle() const { return handle_; }
    const std::string& error() const { return error_; }

  private:
    static void onError(const char* message, void* user) {
        static_cast<Engine*>(user)->error_ = message ? message : "";
    }
    GEOSContextHandle_t handle_;
    std::string error_;
};

struct GeometryDeleter {
    GEOSContextHandle_t handle;
    void operator()(GEOSGeometry* g) const {
        if (g) GEOSGeom_destroy_r(handle, g);
    }
};
using Geometry = std::unique_ptr<GEOSGeometry, GeometryDeleter>;

struct PreparedDeleter {
    GEOSContextHandle_t handle;
    void operator()(const GEOSPreparedGeometry* g) const {
        if (g) GEOSPreparedGeom_destroy_r(handle, g);
    }
};
using Prepared = std::unique_ptr<const GEOSPreparedGeometry, PreparedDeleter>;

GEOSCoordSequence* sequenceOf(GEOSContextHandle_t h, const std::vector<Point>& points, bool close) {
    std::vector<double> xy;
    xy.reserve(2 * points.size() + 2);
    for (const Point& p : points) {
        xy.push_back(p.x);
        xy.push_back(p.y);
    }
    if (close) {
        xy.push_back(points.front().x);
        xy.push_back(points.front().y);
    }
    return GEOSCoordSeq_copyFromBuffer_r(h, xy.data(), xy.size() / 2, 0, 0);
}

std::vector<Point> ringPoints(GEOSContextHandle_t h, const GEOSGeometry* ring) {
    std::vector<Point> out;
    const GEOSCoordSequence* seq = GEOSGeom_getCoordSeq_r(h, ring);
    unsigned int size = 0;
    if (!seq || !GEOSCoordSeq_getSize_r(h, seq, &size)) return out;
    out.reserve(size);
    for (unsigned int i = 0; i < size; ++i) {
        double x = 0, y = 0;
        GEOSCoordSeq_getXY_r(h, seq, i, &x, &y);
        out.push_back({x, y});
    }
    if (out.size() > 1 && out.front() == out.back()) out.pop_back();
    return out;
}

Geometry polygonOfRing(GEOSContextHandle_t h, const std::vector<Point>& ring) {
    GEOSGeometry* shell = GEOSGeom_createLinearRing_r(h, sequenceOf(h, ring, true));
    if (!shell) return Geometry(nullptr, {h});
    return Geometry(GEOSGeom_createPolygon_r(h, shell, nullptr, 0), {h});
}

// The ring moved outward (distance > 0) or inward by |distance|, mitred; the largest piece
// when it falls apart, empty when it vanishes.
std::vector<Point> offsetRing(GEOSContextHandle_t h, const std::vector<Point>& ring,
                              double distance) {
    if (distance == 0.0) return ring;
    Geometry polygon = polygonOfRing(h, ring);
    if (!polygon) return ring;
    Geometry moved(GEOSBufferWithStyle_r(h, polygon.get(), distance, 8, GEOSBUF_CAP_FLAT,
                                         GEOSBUF_JOIN_MITRE, kMitreLimit),
                   {h});
    if (!moved) return distance > 0 ? ring : std::vector<Point>{};
    const GEOSGeometry* best = nullptr;
    double bestArea = 0.0;
    const int count = GEOSGetNumGeometries_r(h, moved.get());
    for (int i = 0; i < count; ++i) {
        const GEOSGeometry* g = GEOSGetGeometryN_r(h, moved.get(), i);
        double area = 0.0;
        if (GEOSGeomTypeId_r(h, g) == GEOS_POLYGON && GEOSArea_r(h, g, &area) && area > bestArea) {
            best = g;
            bestArea = area;
        }
    }
    if (!best) return distance > 0 ? ring : std::vector<Point>{};
    std::vector<Point> out = ringPoints(h, GEOSGetExteriorRing_r(h, best));
    if (out.size() < 3) return distance > 0 ? ring : std::vector<Point>{};
    return out;
}

// A face of the arrangement.
struct Face {
    const GEOSGeometry* polygon = nullptr;  // owned by the polygonize result
    Box box;
    double area = 0.0;
    Prepared shell;           // the face with its holes filled
    double x = 0.0, y = 0.0;  // a point inside the face
    int depth = 0;
};

// Pieces (by number) that run along `ring`, and the largest chord error among them.
struct RingPieces {
    std::vector<std::size_t> pieces;
    double chordError = 0.0;
};

// The segments of one ring in a grid of buckets, for asking which points lie on it.
class RingIndex {
  public:
    explicit RingIndex(const std::vector<Point>& ring) : ring_(ring), box_(boxOf(ring)) {
        const std::size_t n = ring.size();
        side_ = std::max<std::size_t>(1, static_cast<std::size_t>(std::sqrt(double(n)) / 2));
        cellW_ = std::max((box_.maxX - box_.minX) / double(side_), 1e-9);
        cellH_ = std::max((box_.maxY - box_.minY) / double(side_), 1e-9);
        cells_.assign(side_ * side_, {});
        for (std::size_t i = 0; i < n; ++i) {
            const Point& a = ring[i];
            const Point& b = ring[(i + 1) % n];
            const std::size_t x0 = column(std::min(a.x, b.x) - kOnRingDistance);
            const std::size_t x1 = column(std::max(a.x, b.x) + kOnRingDistance);
            const std::size_t y0 = row(std::min(a.y, b.y) - kOnRingDistance);
            const std::size_t y1 = row(std::max(a.y, b.y) + kOnRingDistance);
            for (std::size_t y = y0; y <= y1; ++y)
                for (std::size_t x = x0; x <= x1; ++x)
                    cells_[y * side_ + x].push_back(i);
        }
    }
    const Box& box() const { return box_; }
    bool near(const Point& p) const {
        if (p.x < box_.minX - kOnRingDistance || p.x > box_.maxX + kOnRingDistance ||
            p.y < box_.minY - kOnRingDistance || p.y > box_.maxY + kOnRingDistance)
            return false;
        const std::size_t n = ring_.size();
        for (const std::size_t i : cells_[row(p.y) * side_ + column(p.x)]) {
            const Point& a = ring_[i];
            const Point& b = ring_[(i + 1) % n];
            const double dx = b.x - a.x, dy = b.y - a.y;
            const double length = dx * dx + dy * dy;
            double t = length > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length : 0.0;
            t = std::min(1.0, std::max(0.0, t));
            if (std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy) <= kOnRingDistance) return true;
        }
        return false;
    }

  private:
    std::size_t clampCell(double v) const {
        if (!(v > 0)) return 0;
        return std::min(side_ - 1, static_cast<std::size_t>(v));
    }
    std::size_t column(double x) const { return clampCell((x - box_.minX) / cellW_); }
    std::size_t row(double y) const { return clampCell((y - box_.minY) / cellH_); }

    const std::vector<Point>& ring_;
    Box box_;
    std::size_t side_ = 1;
    double cellW_ = 1, cellH_ = 1;
    std::vector<std::vector<std::size_t>> cells_;
};

RingPieces piecesOnRing(const std::vector<Point>& ring, const std::vector<CurvePiece>& pieces,
                        const std::vector<Box>& boxes) {
    RingPieces found;
    const RingIndex index(ring);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::vector<Point>& p = pieces[i].points;
        if (p.size() < 2 || !index.box().overlaps(boxes[i], kOnRingDistance)) continue;
        const std::size_t segments = pieces[i].closed ? p.size() : p.size() - 1;
        // Short pieces are sampled along each segment: one line may bound two parts of a
        // common-line layout, each along a part of it.
        const int samples = segments <= 4 ? 7 : 1;
        bool on = false;
        for (std::size_t s = 0; s < segments && !on; ++s) {
            const Point& a = p[s];
            const Point& b = p[(s + 1) % p.size()];
            for (int k = 1; k <= samples && !on; ++k) {
                const double f = double(k) / (samples + 1);
                on = index.near({a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f});
            }
        }
        if (!on) continue;
        found.pieces.push_back(i);
        found.chordError = std::max(found.chordError, pieces[i].chordError);
    }
    return found;
}

// Groups of pieces (by number) whose boxes, each grown by `margin`, meet no other group's:
// what lies in one group can neither touch, join nor enclose what lies in another. Unusable
// pieces (no box) belong to no group.
std::vector<std::vector<std::size_t>> separateGroups(const std::vector<Box>& boxes, double margin) {
    struct Unit {
        Box box;
        std::size_t root;
    };
    std::vector<Unit> units;
    for (std::size_t i = 0; i < boxes.size(); ++i)
        if (boxes[i].minX <= boxes[i].maxX) units.push_back({boxes[i], i});
    UnionFind groups(boxes.size());
    // Merged groups have larger boxes that may meet further groups: repeat until none merge.
    while (true) {
        std::sort(units.begin(), units.end(),
                  [](const Unit& a, const Unit& b) { return a.box.minX < b.box.minX; });
        bool merged = false;
        std::vector<std::size_t> active;  // units whose box may still reach the sweep line
        for (std::size_t k = 0; k < units.size(); ++k) {
            const Box& box = units[k].box;
            active.erase(std::remove_if(
                             active.begin(), active.end(),
                             [&](std::size_t a) { return units[a].box.maxX + margin < box.minX; }),
                         active.end());
            for (const std::size_t a : active) {
                if (!units[a].box.overlaps(box, margin)) continue;
                const std::size_t ra = groups.find(units[a].root);
                const std::size_t rb = groups.find(units[k].root);
                if (ra == rb) continue;
                groups.parent[rb] = ra;
                merged = true;
            }
            active.push_back(k);
        }
        if (!merged) break;
        std::unordered_map<std::size_t, Box> grown;
        for (const Unit& unit : units)
            grown[groups.find(unit.root)].add(unit.box);
        units.clear();
        for (const auto& [root, box] : grown)
            units.push_back({box, root});
    }
    std::unordered_map<std::size_t, std::size_t> slot;
    std::vector<std::vector<std::size_t>> out;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (!(boxes[i].minX <= boxes[i].maxX)) continue;
        const auto [at, added] = slot.emplace(groups.find(i), out.size());
        if (added) out.emplace_back();
        out[at->second].push_back(i);
    }
    return out;
}

// One group's arrangement in the group's own piece numbers (firstPiece, outlinePieces), its
// parts' handles not yet filled in.
struct GroupArrangement {
    Arrangement arrangement;
    std::vector<std::vector<std::size_t>> ringPieces;  // per part: the outline's, then the holes'
};

// Arranges one group: `pieces` and `boxes` are the group's.
// Where the curves put each point before the noding grid rounded it, by grid cell.
struct GridCellHash {
    std::size_t operator()(const std::pair<std::int64_t, std::int64_t>& cell) const {
        // Unsigned: the product wraps rather than overflows.
        return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(cell.first) * 2654435761ULL ^
                                          static_cast<std::uint64_t>(cell.second));
    }
};
using ExactPoints = std::unordered_map<std::pair<std::int64_t, std::int64_t>, Point, GridCellHash>;

std::pair<std::int64_t, std::int64_t> gridCell(const Point& p) {
    return {std::llround(p.x / kNodingGrid), std::llround(p.y / kNodingGrid)};
}

// A face ring's true figures: its vertices put back unrounded (rounding by half the grid moves
// a 200 mm edge's area by a tenth of a mm²), its chords on the arcs of its pieces measured as
// arcs.
RingFigures trueRing(const std::vector<Point>& ring, const RingPieces& on,
                     const std::vector<CurvePiece>& pieces, const ExactPoints& exact) {
    std::vector<Point> unrounded = ring;
    for (Point& p : unrounded)
        if (const auto it = exact.find(gridCell(p)); it != exact.end()) p = it->second;
    std::vector<PieceArc> arcs;
    for (const std::size_t i : on.pieces)
        arcs.insert(arcs.end(), pieces[i].arcs.begin(), pieces[i].arcs.end());
    return ringFigures(unrounded, arcs, on.chordError);
}

GroupArrangement arrangeGroup(Engine& engine, const std::vector<CurvePiece>& pieces,
                              const std::vector<Box>& boxes, double tolerance) {
    GroupArrangement group;
    Arrangement& result = group.arrangement;
    const std::vector<JoinedChain> chains = joinPieces(pieces, tolerance);
    if (chains.empty()) return group;
    const GEOSContextHandle_t h = engine.handle();
    std::vector<GEOSGeometry*> lines;
    lines.reserve(chains.size());
    std::vector<Point> rounded;
    ExactPoints exact;
    for (const JoinedChain& chain : chains) {
        rounded.clear();
        for (const Point& p : chain.points) {
            exact.emplace(gridCell(p), p);
            const Point q{std::round(p.x / kNodingGrid) * kNodingGrid,
                          std::round(p.y / kNodingGrid) * kNodingGrid};
            if (rounded.empty() || !(rounded.back() == q)) rounded.push_back(q);
        }
        if (chain.closed && rounded.size() > 1 && rounded.front() == rounded.back())
            rounded.pop_back();
        const bool closed = chain.closed && rounded.size() >= 3;
        if (rounded.size() < 2) continue;
        GEOSGeometry* line = GEOSGeom_createLineString_r(h, sequenceOf(h, rounded, closed));
        if (line) lines.push_back(line);
    }
    Geometry all(GEOSGeom_createCollection_r(h, GEOS_MULTILINESTRING, lines.data(),
                                             static_cast<unsigned>(lines.size())),
                 {h});
    if (!all) {
        for (GEOSGeometry* line : lines)
            GEOSGeom_destroy_r(h, line);
        result.failed = true;
        result.message = engine.error();
        return group;
    }
    // Noding on a fine grid also merges doubled and overlapping curves.
    // The coordinates are on the grid already, so copies of one curve are equal and the
    // noder drops them; snap-rounding (three times slower) is kept for input the floating
    // noder cannot take.
    Geometry noded(GEOSNode_r(h, all.get()), {h});
    if (!noded) noded.reset(GEOSUnaryUnionPrec_r(h, all.get(), kNodingGrid));
    if (!noded) {
        result.failed = true;
        result.message = engine.error();
        return group;
    }
    GEOSGeometry* cuts = nullptr;
    GEOSGeometry* dangles = nullptr;
    GEOSGeometry* invalid = nullptr;
    Geometry faces(GEOSPolygonize_full_r(h, noded.get(), &cuts, &dangles, &invalid), {h});
    Geometry cutsOwned(cuts, {h}), danglesOwned(dangles, {h}), invalidOwned(invalid, {h});
    if (!faces) {
        result.failed = true;
        result.message = engine.error();
        return group;
    }
    if (dangles && !GEOSisEmpty_r(h, dangles)) {
        Geometry merged(GEOSLineMerge_r(h, dangles), {h});
        if (merged) result.danglingPieces += GEOSGetNumGeometries_r(h, merged.get());
    }

    // Faces, slivers between copies of one curve left out.
    std::vector<Geometry> filledShells;  // declared first: the prepared shells refer to them
    std::vector<Face> kept;
    const int count = GEOSGetNumGeometries_r(h, faces.get());
    for (int i = 0; i < count; ++i) {
        const GEOSGeometry* polygon = GEOSGetGeometryN_r(h, faces.get(), i);
        double area = 0.0, perimeter = 0.0;
        if (!GEOSArea_r(h, polygon, &area) || !GEOSLength_r(h, polygon, &perimeter)) continue;
        if (!(area > kSmallestFaceArea) || 2.0 * area < kSliverWidth * perimeter) continue;
        Face face;
        face.polygon = polygon;
        face.area = area;
        const std::vector<Point> shell = ringPoints(h, GEOSGetExteriorRing_r(h, polygon));
        if (shell.size() < 3) continue;
        face.box = boxOf(shell);
        Geometry inside(GEOSPointOnSurface_r(h, polygon), {h});
        if (!inside || GEOSisEmpty_r(h, inside.get())) continue;
        GEOSGeomGetX_r(h, inside.get(), &face.x);
        GEOSGeomGetY_r(h, inside.get(), &face.y);
        Geometry filled = polygonOfRing(h, shell);
        if (!filled) continue;
        // The prepared geometry refers to `filled`, which must outlive it: kept alongside.
        face.shell = Prepared(GEOSPrepare_r(h, filled.get()), {h});
        if (!face.shell) continue;
        kept.push_back(std::move(face));
        filledShells.push_back(std::move(filled));
    }

    // Nesting depth: how many other faces' filled shells hold a face's inner point.
    for (std::size_t i = 0; i < kept.size(); ++i) {
        Geometry point(GEOSGeom_createPointFromXY_r(h, kept[i].x, kept[i].y), {h});
        if (!point) continue;
        for (std::size_t j = 0; j < kept.size(); ++j) {
            if (i == j) continue;
            const Box& b = kept[j].box;
            if (kept[i].x < b.minX || kept[i].x > b.maxX || kept[i].y < b.minY ||
                kept[i].y > b.maxY)
                continue;
            if (GEOSPreparedContains_r(h, kept[j].shell.get(), point.get()) == 1) ++kept[i].depth;
        }
    }

    for (const Face& face : kept) {
        if (face.depth % 2 != 0) continue;
        const std::vector<Point> shell = ringPoints(h, GEOSGetExteriorRing_r(h, face.polygon));
        const RingPieces outer = piecesOnRing(shell, pieces, boxes);
        ArrangedPart part;
        part.outline = offsetRing(h, shell, outer.chordError);
        if (part.outline.size() < 3) continue;
        part.area = polygonArea(part.outline);
        part.firstPiece = outer.pieces.empty() ? SIZE_MAX : outer.pieces.front();
        part.outlinePieces = outer.pieces;
        RingFigures outerFigures = trueRing(shell, outer, pieces, exact);
        part.figures.known = true;
        part.figures.outlineArea = std::fabs(outerFigures.area);
        part.figures.outlineLength = outerFigures.length;
        part.figures.boundary = std::move(outerFigures.dense);
        std::vector<std::size_t> ringPieces = outer.pieces;
        const int holes = GEOSGetNumInteriorRings_r(h, face.polygon);
        for (int k = 0; k < holes; ++k) {
            const std::vector<Point> ring =
                ringPoints(h, GEOSGetInteriorRingN_r(h, face.polygon, k));
            if (ring.size() < 3) continue;
            const RingPieces inner = piecesOnRing(ring, pieces, boxes);
            std::vector<Point> hole = offsetRing(h, ring, -inner.chordError);
            if (hole.size() < 3) continue;
            part.holes.push_back(std::move(hole));
            const RingFigures holeFigures = trueRing(ring, inner, pieces, exact);
            part.figures.holesArea += std::fabs(holeFigures.area);
            part.figures.holesLength += holeFigures.length;
            ringPieces.insert(ringPieces.end(), inner.pieces.begin(), inner.pieces.end());
        }
        result.parts.push_back(std::move(part));
        group.ringPieces.push_back(std::move(ringPieces));
    }
    return group;
}

// A group's pieces seen from the lower-left corner of their box, for finding copies.
std::size_t shapeKey(const std::vector<CurvePiece>& pieces, const Point& origin) {
    std::size_t key = pieces.size();
    const auto mix = [&key](std::size_t v) {
        key ^= v + 0x9e3779b97f4a7c15ULL + (key << 6) + (key >> 2);
    };
    for (const CurvePiece& piece : pieces) {
        mix(piece.points.size() * 2 + (piece.closed ? 1 : 0));
        if (piece.points.empty()) continue;
        mix(static_cast<std::size_t>(std::llround((piece.points[0].x - origin.x) / kCopyKeyGrid)));
        mix(static_cast<std::size_t>(std::llround((piece.points[0].y - origin.y) / kCopyKeyGrid)));
    }
    return key;
}

// Whether two groups are the same pieces moved by the difference of their origins.
bool sameShape(const std::vector<CurvePiece>& a, const Point& originA,
               const std::vector<CurvePiece>& b, const Point& originB) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const CurvePiece& p = a[i];
        const CurvePiece& q = b[i];
        if (p.closed != q.closed || p.chordError != q.chordError ||
            p.points.size() != q.points.size())
            return false;
        for (std::size_t k = 0; k < p.points.size(); ++k)
            if (std::fabs((p.points[k].x - originA.x) - (q.points[k].x - originB.x)) >
                    kCopyTolerance ||
                std::fabs((p.points[k].y - originA.y) - (q.points[k].y - originB.y)) >
                    kCopyTolerance)
                return false;
    }
    return true;
}

// Adds a group's arrangement to `result`, moved by (dx, dy), in the caller's piece numbers
// (`global`), with the handles of the group's own pieces.
void placeGroup(const GroupArrangement& group, double dx, double dy,
                const std::vector<CurvePiece>& pieces, const std::vector<std::size_t>& global,
                Arrangement& result) {
    const Arrangement& arranged = group.arrangement;
    result.danglingPieces += arranged.danglingPieces;
    if (arranged.failed) {
        result.failed = true;
        result.message = arranged.message;
    }
    const auto move = [dx, dy](Outline& ring) {
        for (Point& p : ring) {
            p.x += dx;
            p.y += dy;
        }
    };
    for (std::size_t k = 0; k < arranged.parts.size(); ++k) {
        ArrangedPart part = arranged.parts[k];
        move(part.outline);
        move(part.figures.boundary);
        for (Outline& hole : part.holes)
            move(hole);
        if (part.firstPiece != SIZE_MAX) part.firstPiece = global[part.firstPiece];
        for (std::size_t& i : part.outlinePieces)
            i = global[i];
        for (const std::size_t i : group.ringPieces[k]) {
            const std::string& handle = pieces[i].handle;
            if (!handle.empty() &&
                std::find(part.handles.begin(), part.handles.end(), handle) == part.handles.end())
                part.handles.push_back(handle);
        }
        result.parts.push_back(std::move(part));
    }
}

}  // namespace

Arrangement arrangePieces(const std::vector<CurvePiece>& input, const ArrangementOptions& options) {
    Arrangement result;
    const double tolerance = std::isfinite(options.joinTolerance) && options.joinTolerance > 0
                                 ? options.joinTolerance
                                 : 0.0;
    // The pieces as the arrangement sees them: repeats removed, unusable ones emptied.
    std::vector<CurvePiece> pieces = input;
    std::vector<Box> boxes(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        pieces[i].points = cleanPoints(pieces[i]);
        if (!std::isfinite(pieces[i].chordError) || pieces[i].chordError < 0)
            pieces[i].chordError = 0.0;
        pieces[i].chordError = std::min(pieces[i].chordError, 1.0);
        boxes[i] = boxOf(pieces[i].points);
    }
    Engine engine;
    // Groups arranged so far, for their copies (a block inserted many times, a part drawn
    // again): a copy moved by a translation takes the first one's parts moved alike, which
    // differ from its own arrangement by the noding grid's rounding at most.
    struct Arranged {
        std::vector<CurvePiece> pieces;
        Point origin;
        GroupArrangement group;
    };
    std::deque<Arranged> arranged;
    std::unordered_map<std::size_t, std::vector<std::size_t>> byKey;
    // Farther apart than the join tolerance and the noding grid's rounding, nothing meets.
    const double margin = tolerance + kSeparation;
    for (const std::vector<std::size_t>& group : separateGroups(boxes, margin)) {
        std::vector<CurvePiece> groupPieces;
        std::vector<Box> groupBoxes;
        Box all;
        groupPieces.reserve(group.size());
        groupBoxes.reserve(group.size());
        for (const std::size_t i : group) {
            groupPieces.push_back(std::move(pieces[i]));
            groupBoxes.push_back(boxes[i]);
            all.add(boxes[i]);
        }
        const Point origin{all.minX, all.minY};
        std::vector<std::size_t>& candidates = byKey[shapeKey(groupPieces, origin)];
        const Arranged* same = nullptr;
        for (const std::size_t k : candidates)
            if (sameShape(arranged[k].pieces, arranged[k].origin, groupPieces, origin)) {
                same = &arranged[k];
                break;
            }
        if (same) {
            placeGroup(same->group, origin.x - same->origin.x, origin.y - same->origin.y,
                       groupPieces, group, result);
            continue;
        }
        GroupArrangement own = arrangeGroup(engine, groupPieces, groupBoxes, tolerance);
        candidates.push_back(arranged.size());
        arranged.push_back({std::move(groupPieces), origin, std::move(own)});
        placeGroup(arranged.back().group, 0.0, 0.0, arranged.back().pieces, group, result);
    }
    std::stable_sort(result.parts.begin(), result.parts.end(),
                     [](const ArrangedPart& a, const ArrangedPart& b) {
                         if (a.firstPiece != b.firstPiece) return a.firstPiece < b.firstPiece;
                         return a.area > b.area;
                     });
    return result;
}

}  // namespace qks::drawing
