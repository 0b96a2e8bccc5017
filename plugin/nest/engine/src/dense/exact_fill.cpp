#include "dense/exact_fill.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace qks::nest::dense {
namespace {

// Rings longer than this give their convex hull (convex.h): cutting them costs more than the
// notches they would lend to others.
constexpr std::size_t kMostCutPoints = 96;
// Corners kept of a shape with more (its extremes), and the largest number of corner pairs a
// placement may try over the sheet: shapes' corners times instances, squared.
constexpr std::size_t kMostCorners = 24;
constexpr double kMostWork = 2.5e7;
// Sides of the polygon a round piece is held in (convex.h): 24 sides hold a circle within 0.9 %
// of its radius.
constexpr int kRoundSides = 24;
// Corner tests (corners of both pieces summed) after which a sheet gets no more tries: the
// first try always runs.
constexpr std::int64_t kMostTryChecks = 20'000'000;

// The points furthest out along the axes and the diagonals.
std::vector<Point> extremes(const std::vector<Point>& points) {
    std::vector<Point> out;
    const double directions[8][2] = {{1, 0}, {-1, 0}, {0, 1},  {0, -1},
                                     {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    for (const auto& d : directions) {
        const Point* best = &points.front();
        for (const Point& q : points)
            if (q.x * d[0] + q.y * d[1] > best->x * d[0] + best->y * d[1]) best = &q;
        if (std::none_of(out.begin(), out.end(),
                         [&](const Point& k) { return k.x == best->x && k.y == best->y; }))
            out.push_back(*best);
    }
    return out;
}

Bounds shifted(const Bounds& b, double dx, double dy) {
    return {b.minX + dx, b.minY + dy, b.maxX + dx, b.maxY + dy};
}

bool boxesMeet(const Bounds& a, const Bounds& b) {
    return a.minX < b.maxX - kExactTolerance && b.minX < a.maxX - kExactTolerance &&
           a.minY < b.maxY - kExactTolerance && b.minY < a.maxY - kExactTolerance;
}

// Length along which the edge p-q and the edge r-s run against each other, facing, at most
// `reach` apart: the edges' projections' overlap when they are opposite in direction and s-r
// lies on p-q's outer side within the reach.
double facing(const Point& p, const Point& q, const Point& r, const Point& s, double reach) {
    const double ux = q.x - p.x, uy = q.y - p.y;
    const double len = std::hypot(ux, uy);
    if (len <= 0) return 0.0;
    const double vx = s.x - r.x, vy = s.y - r.y;
    const double vlen = std::hypot(vx, vy);
    if (vlen <= 0 || ux * vx + uy * vy > -(1 - 1e-9) * len * vlen) return 0.0;
    // Outward of a counter-clockwise ring is to the right: distance = -cross / len.
    const double dr = -(ux * (r.y - p.y) - uy * (r.x - p.x)) / len;
    const double ds = -(ux * (s.y - p.y) - uy * (s.x - p.x)) / len;
    if (dr < -kExactTolerance || ds < -kExactTolerance || dr > reach || ds > reach) return 0.0;
    const double a = ((r.x - p.x) * ux + (r.y - p.y) * uy) / len;
    const double b = ((s.x - p.x) * ux + (s.y - p.y) * uy) / len;
    return std::max(0.0, std::min(len, std::max(a, b)) - std::max(0.0, std::min(a, b)));
}

constexpr double kTwoPi = 6.283185307179586;
constexpr double kAngleTolerance = 1e-9;

double angleOf(double x, double y) {
    const double a = std::atan2(y, x);
    return a < 0 ? a + kTwoPi : a;
}

using Wedge = ExactFiller::Wedge;

// The directions at `p` that no wedge covers, as wedges, counter-clockwise from direction 0.
std::vector<Wedge> freeWedges(std::vector<Wedge> covered) {
    std::vector<std::pair<double, double>> spans;
    for (const Wedge& w : covered) {
        const double end = w.start + w.size;
        if (end <= kTwoPi) {
            spans.push_back({w.start, end});
        } else {
            spans.push_back({w.start, kTwoPi});
            spans.push_back({0.0, end - kTwoPi});
        }
    }
    std::sort(spans.begin(), spans.end());
    std::vector<Wedge> out;
    double reached = 0.0;
    for (const auto& [a, b] : spans) {
        if (a > reached + kAngleTolerance) out.push_back({reached, a - reached});
        reached = std::max(reached, b);
    }
    if (kTwoPi > reached + kAngleTolerance) out.push_back({reached, kTwoPi - reached});
    // A free wedge across direction 0 is one wedge.
    if (out.size() >= 2 && out.front().start <= kAngleTolerance &&
        out.back().start + out.back().size >= kTwoPi - kAngleTolerance) {
        out.back().size += out.front().size;
        out.erase(out.begin());
    }
    return out;
}

}  // namespace

double ExactFiller::usableArea(const SheetStock& stock) const {
    const double margin = model_.context.config.margin;
    return std::max(0.0, stock.width - margin - lowest_) *
           std::max(0.0, stock.height - margin - lowest_);
}

ExactFiller::ExactFiller(const Model& model) : model_(model) {
    const NestContext& c = model.context;
    const NestConfig& config = c.config;
    if (config.sheets.empty()) return;
    for (const SheetStock& stock : config.sheets)
        if (stock.shape) return;
    gap_ = config.gap;
    lowest_ = config.margin + gapPadLength(config);
    double widest = 0.0, tallest = 0.0;
    for (const SheetStock& stock : config.sheets) {
        widest = std::max(widest, stock.width - config.margin - lowest_);
        tallest = std::max(tallest, stock.height - config.margin - lowest_);
    }
    const double grow = gap_ > 0 ? gap_ / 2 + kExactTolerance : 0.0;
    double total = 0.0, work = 0.0, instances = 0.0;
    kinds_.resize(c.parts.size());
    for (std::size_t i = 0; i < c.parts.size(); ++i) {
        const NestPart& part = c.parts[i];
        Kind& kind = kinds_[i];
        kind.area = part.area;
        kind.perimeter = std::max(ringLength(part.outline), 1e-9);
        total += part.area * std::max(0, part.quantity);
        instances += std::max(0, part.quantity);
        largestArea_ = std::max(largestArea_, part.area);
        const std::vector<Orientation>& list = model.shapes.orientations[i];
        for (std::size_t o = 0; o < list.size(); ++o) {
            if (list[o].angle % 90 != 0) continue;
            const std::vector<Point> turned =
                orient(part.outline, part.refX, part.refY, list[o].angle, list[o].mirrored);
            const Bounds box = boundsOf(turned);
            Shape shape;
            shape.orientation = static_cast<std::int32_t>(o);
            for (const Point& q : turned)
                shape.outline.push_back({q.x - box.minX, q.y - box.minY});
            shape.outline = cleanRing(shape.outline);
            if (shape.outline.size() < 3) continue;
            shape.width = box.maxX - box.minX;
            shape.height = box.maxY - box.minY;
            if (shape.width > widest + kExactTolerance || shape.height > tallest + kExactTolerance)
                continue;
            for (std::vector<Point>& ring : convexPieces(shape.outline, kMostCutPoints)) {
                std::vector<Point> outer = grow > 0 ? grownRing(ring, grow) : std::move(ring);
                if (outer.size() > kMostCorners) outer = circumscribed(outer, kRoundSides);
                ConvexPiece piece = pieceOf(std::move(outer));
                shape.grownBox.minX = std::min(shape.grownBox.minX, piece.box.minX);
                shape.grownBox.minY = std::min(shape.grownBox.minY, piece.box.minY);
                shape.grownBox.maxX = std::max(shape.grownBox.maxX, piece.box.maxX);
                shape.grownBox.maxY = std::max(shape.grownBox.maxY, piece.box.maxY);
                for (const Point& q : piece.ring) {
                    const bool seen = std::any_of(
                        shape.corners.begin(), shape.corners.end(), [&](const Point& k) {
                            return std::abs(k.x - q.x) <= kExactTolerance &&
                                   std::abs(k.y - q.y) <= kExactTolerance;
                        });
                    if (!seen) shape.corners.push_back(q);
                }
                shape.pieces.push_back(std::move(piece));
            }
            // A round outline has corners all along it, and none where a neighbour would meet
            // it better than at its extremes.
            if (shape.corners.size() > kMostCorners) shape.corners = extremes(shape.corners);
            work += static_cast<double>(shape.corners.size()) * std::max(0, part.quantity);
            kind.shapes.push_back(std::move(shape));
        }
        if (kind.shapes.empty() && part.quantity > 0) return;
    }
    // Each placement tries every corner of every shape left at every corner on the sheet: past
    // a bound the fill would take longer than the search it serves.
    instances = std::max(instances, 1.0);
    if (work * instances > kMostWork) return;
    usable_ = true;
    const SheetStock& only = config.sheets.front();
    if (config.sheets.size() == 1 && only.count <= 0 && only.width * only.height > 0)
        sheetBound_ = static_cast<int>(std::ceil(total / (only.width * only.height) - 1e-9));
}

bool ExactFiller::fits(const std::vector<Placed>& placed, const Shape& shape, double x, double y,
                       std::int64_t& checks) const {
    const Bounds box = shifted(shape.grownBox, x, y);
    for (const Placed& other : placed) {
        if (!boxesMeet(box, shifted(other.shape->grownBox, other.x, other.y))) continue;
        for (const ConvexPiece& a : other.shape->pieces)
            for (const ConvexPiece& b : shape.pieces) {
                checks += static_cast<std::int64_t>(a.ring.size() + b.ring.size());
                if (insidesMeet(a, b, x - other.x, y - other.y)) return false;
            }
    }
    return true;
}

double ExactFiller::contact(const std::vector<Placed>& placed, const Shape& shape, double x,
                            double y, double lowX, double lowY, double highX, double highY) const {
    const std::vector<Point>& ring = shape.outline;
    const std::size_t n = ring.size();
    double total = 0.0;
    // Round outlines share no edge worth the count of their many short ones.
    if (n > kMostCorners) return 0.0;
    // Along the sheet's edges (as far in as the outlines may come).
    for (std::size_t i = 0; i < n; ++i) {
        const Point& p = ring[i];
        const Point& q = ring[(i + 1) % n];
        const double len = std::hypot(q.x - p.x, q.y - p.y);
        if (std::abs(p.y - q.y) <= kExactTolerance &&
            ((q.x < p.x && std::abs(y + p.y - lowY) <= kExactTolerance) ||
             (q.x > p.x && std::abs(y + p.y - highY) <= kExactTolerance)))
            total += len;
        if (std::abs(p.x - q.x) <= kExactTolerance &&
            ((q.y > p.y && std::abs(x + p.x - lowX) <= kExactTolerance) ||
             (q.y < p.y && std::abs(x + p.x - highX) <= kExactTolerance)))
            total += len;
    }
    const double reach = gap_ + 1e-6;
    const Bounds box = shifted({0, 0, shape.width, shape.height}, x - reach, y - reach);
    const Bounds near{box.minX, box.minY, box.maxX + 2 * reach, box.maxY + 2 * reach};
    for (const Placed& other : placed) {
        const Bounds ob{other.x, other.y, other.x + other.shape->width,
                        other.y + other.shape->height};
        if (ob.maxX < near.minX || near.maxX < ob.minX || ob.maxY < near.minY ||
            near.maxY < ob.minY)
            continue;
        const std::vector<Point>& o = other.shape->outline;
        const std::size_t m = o.size();
        if (m > kMostCorners) continue;
        for (std::size_t i = 0; i < n; ++i) {
            const Point p{ring[i].x + x, ring[i].y + y};
            const Point q{ring[(i + 1) % n].x + x, ring[(i + 1) % n].y + y};
            for (std::size_t j = 0; j < m; ++j) {
                const Point r{o[j].x + other.x, o[j].y + other.y};
                const Point s{o[(j + 1) % m].x + other.x, o[(j + 1) % m].y + other.y};
                total += facing(p, q, r, s, reach);
            }
        }
    }
    return total;
}

ExactFiller::SheetFill ExactFiller::fillSheet(int stock, std::vector<std::int32_t>& left,
                                              const Weights& weights, std::mt19937& gen,
                                              const std::atomic<bool>& quit) const {
    const NestConfig& config = model_.context.config;
    const SheetStock& sheet = config.sheets[stock];
    const double cell = config.cell;
    const double lowX = lowest_, lowY = lowest_;
    const double highX = sheet.width - config.margin, highY = sheet.height - config.margin;
    SheetFill fill;
    fill.stock = stock;
    // The corners parts may meet: the sheet's, then those of every part placed.
    std::vector<Point> anchors{{lowX, lowY}, {highX, lowY}, {lowX, highY}, {highX, highY}};
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    // Positions on the grid: the outline's box starts at lowest_ + k cell.
    auto onGrid = [&](double v) { return lowest_ + std::round((v - lowest_) / cell) * cell; };
    while (!quit.load(std::memory_order_relaxed)) {
        double bestScore = -1e300;
        int bestKind = -1;
        Placed best;
        for (std::size_t k = 0; k < kinds_.size(); ++k) {
            if (left[k] <= 0) continue;
            const Kind& kind = kinds_[k];
            for (const Shape& shape : kind.shapes) {
                auto consider = [&](double x, double y) {
                    x = onGrid(x);
                    y = onGrid(y);
                    if (x < lowX - kExactTolerance || y < lowY - kExactTolerance ||
                        x + shape.width > highX + kExactTolerance ||
                        y + shape.height > highY + kExactTolerance)
                        return;
                    // The shared edge counts at most the whole perimeter: a position that
                    // cannot win even so is not worth the checks.
                    const double base = weights.area * kind.area / largestArea_ -
                                        weights.low * (y + x * 1e-3) / sheet.height +
                                        weights.noise * unit(gen);
                    if (base + weights.contact <= bestScore) return;
                    if (!fits(fill.placed, shape, x, y, fill.checks)) return;
                    const double touch =
                        contact(fill.placed, shape, x, y, lowX, lowY, highX, highY);
                    const double score = base + weights.contact * touch / kind.perimeter;
                    if (score > bestScore) {
                        bestScore = score;
                        bestKind = static_cast<int>(k);
                        best = {&shape, x, y};
                    }
                };
                // The sheet's corners take the outline's box; the parts' corners take the
                // shape's own.
                consider(lowX, lowY);
                consider(highX - shape.width, lowY);
                consider(lowX, highY - shape.height);
                consider(highX - shape.width, highY - shape.height);
                for (std::size_t a = 4; a < anchors.size(); ++a)
                    for (const Point& corner : shape.corners)
                        consider(anchors[a].x - corner.x, anchors[a].y - corner.y);
            }
        }
        if (bestKind < 0) break;
        fill.placed.push_back(best);
        fill.kinds.push_back(bestKind);
        fill.area += kinds_[bestKind].area;
        --left[bestKind];
        for (const Point& corner : best.shape->corners)
            anchors.push_back({corner.x + best.x, corner.y + best.y});
    }
    return fill;
}

std::optional<ExactFiller::Wedge> ExactFiller::openCorner(const std::vector<Placed>& placed,
                                                          const std::vector<Point>& anchors,
                                                          double lowX, double lowY, double highX,
                                                          double highY, Point& corner) const {
    std::vector<std::size_t> order(anchors.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const Point& p = anchors[a];
        const Point& q = anchors[b];
        if (std::abs(p.y - q.y) > kExactTolerance) return p.y < q.y;
        return p.x < q.x;
    });
    const double t = kExactTolerance;
    for (std::size_t i : order) {
        const Point p = anchors[i];
        std::vector<Wedge> covered;
        // Outside the sheet counts as covered.
        if (p.y <= lowY + t) covered.push_back({kTwoPi / 2, kTwoPi / 2});
        if (p.y >= highY - t) covered.push_back({0.0, kTwoPi / 2});
        if (p.x <= lowX + t) covered.push_back({kTwoPi / 4, kTwoPi / 2});
        if (p.x >= highX - t) covered.push_back({kTwoPi * 3 / 4, kTwoPi / 2});
        bool inside = false;
        for (const Placed& other : placed) {
            const Shape& shape = *other.shape;
            if (p.x < other.x - t || p.x > other.x + shape.width + t || p.y < other.y - t ||
                p.y > other.y + shape.height + t)
                continue;
            const std::vector<Point>& ring = shape.outline;
            const std::size_t n = ring.size();
            // A corner of the part covers its inside angle there, counter-clockwise from the
            // edge out to the edge in; a point along an edge the half-plane on its left.
            bool onEdge = false;
            for (std::size_t k = 0; k < n && !onEdge; ++k) {
                const Point a{ring[k].x + other.x, ring[k].y + other.y};
                if (std::abs(a.x - p.x) > t || std::abs(a.y - p.y) > t) continue;
                const Point& next = ring[(k + 1) % n];
                const Point& before = ring[(k + n - 1) % n];
                const double out = angleOf(next.x + other.x - a.x, next.y + other.y - a.y);
                double size = angleOf(before.x + other.x - a.x, before.y + other.y - a.y) - out;
                if (size <= 0) size += kTwoPi;
                covered.push_back({out, size});
                onEdge = true;
            }
            for (std::size_t k = 0; k < n && !onEdge; ++k) {
                const Point a{ring[k].x + other.x, ring[k].y + other.y};
                const Point b{ring[(k + 1) % n].x + other.x, ring[(k + 1) % n].y + other.y};
                if (pointSegmentDistance(p, a, b) > t) continue;
                covered.push_back({angleOf(b.x - a.x, b.y - a.y), kTwoPi / 2});
                onEdge = true;
            }
            if (!onEdge && pointInPolygon(shape.outline, p.x - other.x, p.y - other.y)) {
                inside = true;
                break;
            }
        }
        if (inside) continue;
        const std::vector<Wedge> open = freeWedges(std::move(covered));
        if (open.empty()) continue;
        corner = p;
        return open.front();
    }
    return std::nullopt;
}

bool ExactFiller::tileSheet(int stock, std::vector<std::int32_t>& left, const Weights& weights,
                            std::mt19937& gen, const std::atomic<bool>& quit,
                            SheetFill& fill) const {
    const NestConfig& config = model_.context.config;
    const SheetStock& sheet = config.sheets[stock];
    const double lowX = lowest_, lowY = lowest_;
    const double highX = sheet.width - config.margin, highY = sheet.height - config.margin;
    const double full = usableArea(sheet) * (1 - 1e-9);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Point> anchors{{lowX, lowY}, {highX, lowY}, {lowX, highY}, {highX, highY}};
    fill = SheetFill{};
    fill.stock = stock;
    int nodes = 0;
    struct Option {
        int kind;
        const Shape* shape;
        double x, y, score;
    };
    // Depth first: the lowest, leftmost open corner is filled from the direction where its
    // covered side ends, by every part that has a corner there and fits; the best neighbours
    // first.
    std::function<bool()> descend = [&]() -> bool {
        if (fill.area >= full) return true;
        if (++nodes > tileNodes_ || quit.load(std::memory_order_relaxed)) return false;
        Point p;
        const std::optional<Wedge> open =
            openCorner(fill.placed, anchors, lowX, lowY, highX, highY, p);
        if (!open) return false;
        std::vector<Option> options;
        for (std::size_t k = 0; k < kinds_.size(); ++k) {
            if (left[k] <= 0) continue;
            const Kind& kind = kinds_[k];
            for (const Shape& shape : kind.shapes) {
                const std::vector<Point>& ring = shape.outline;
                const std::size_t n = ring.size();
                for (std::size_t v = 0; v < n; ++v) {
                    const Point& a = ring[v];
                    const Point& b = ring[(v + 1) % n];
                    const Point& before = ring[(v + n - 1) % n];
                    const double out = angleOf(b.x - a.x, b.y - a.y);
                    double turn = out - open->start;
                    if (turn > kTwoPi / 2) turn -= kTwoPi;
                    if (std::abs(turn) > kAngleTolerance) continue;
                    double size = angleOf(before.x - a.x, before.y - a.y) - out;
                    if (size <= 0) size += kTwoPi;
                    if (size > open->size + kAngleTolerance) continue;
                    const double x = p.x - a.x, y = p.y - a.y;
                    if (x < lowX - kExactTolerance || y < lowY - kExactTolerance ||
                        x + shape.width > highX + kExactTolerance ||
                        y + shape.height > highY + kExactTolerance)
                        continue;
                    if (!fits(fill.placed, shape, x, y, fill.checks)) continue;
                    const double touch =
                        contact(fill.placed, shape, x, y, lowX, lowY, highX, highY);
                    options.push_back({static_cast<int>(k), &shape, x, y,
                                       weights.contact * touch / kind.perimeter +
                                           weights.area * kind.area / largestArea_ +
                                           weights.noise * unit(gen)});
                }
            }
        }
        std::sort(options.begin(), options.end(),
                  [](const Option& a, const Option& b) { return a.score > b.score; });
        for (const Option& o : options) {
            fill.placed.push_back({o.shape, o.x, o.y});
            fill.kinds.push_back(o.kind);
            fill.area += kinds_[o.kind].area;
            --left[o.kind];
            const std::size_t anchorCount = anchors.size();
            for (const Point& q : o.shape->outline)
                anchors.push_back({q.x + o.x, q.y + o.y});
            if (descend()) return true;
            anchors.resize(anchorCount);
            ++left[o.kind];
            fill.area -= kinds_[o.kind].area;
            fill.kinds.pop_back();
            fill.placed.pop_back();
            if (nodes > tileNodes_) return false;
        }
        return false;
    };
    return descend();
}

std::optional<State> ExactFiller::build(std::mt19937& gen, bool plain,
                                        const std::atomic<bool>& quit) const {
    const NestContext& c = model_.context;
    const NestConfig& config = c.config;
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto drawWeights = [&] {
        Weights w;
        w.area = 0.1 + 0.9 * unit(gen);
        w.low = 0.2 * unit(gen);
        w.noise = 0.15 * unit(gen);
        return w;
    };
    const Weights weights = plain ? Weights{} : drawWeights();
    std::vector<std::int32_t> left(kinds_.size());
    std::int64_t remaining = 0;
    for (std::size_t k = 0; k < kinds_.size(); ++k) {
        left[k] = std::max(0, c.parts[k].quantity);
        remaining += left[k];
    }
    std::vector<std::int32_t> used(config.sheets.size(), 0);
    State state;
    const double pad = gapPadLength(config);
    while (remaining > 0) {
        // Each stock entry still in stock is tried: the one that holds everything left at the
        // least area, else the one it fills best.
        std::optional<SheetFill> chosen;
        std::vector<std::int32_t> chosenLeft;
        double chosenRank = -1.0;
        for (std::size_t s = 0; s < config.sheets.size(); ++s) {
            const SheetStock& stock = config.sheets[s];
            if (stock.count > 0 && used[s] >= stock.count) continue;
            // A sheet is filled several times over, with weights of its own after the first,
            // and the fullest kept: a sheet that only a jigsaw of its parts fills is found by
            // trying, not by one greedy pass. A full sheet ends the tries.
            const double area = stock.width * stock.height;
            std::vector<std::int32_t> trial = left;
            SheetFill fill;
            // Without a gap a sheet may be tiled whole, corner by corner, when enough is left
            // to cover it.
            double leftArea = 0.0;
            for (std::size_t k = 0; k < kinds_.size(); ++k)
                leftArea += kinds_[k].area * left[k];
            const bool tiled = gap_ <= 0 && leftArea >= usableArea(stock) * (1 - 1e-9) &&
                               tileSheet(static_cast<int>(s), trial, weights, gen, quit, fill);
            if (quit.load(std::memory_order_relaxed)) return std::nullopt;
            std::int64_t spent = 0;
            for (int t = 0; t < sheetTries_ && !tiled && (t == 0 || spent < kMostTryChecks); ++t) {
                std::vector<std::int32_t> tried = left;
                SheetFill f = fillSheet(static_cast<int>(s), tried,
                                        t == 0 ? weights : drawWeights(), gen, quit);
                if (quit.load(std::memory_order_relaxed)) return std::nullopt;
                spent += f.checks;
                if (t > 0 && f.area <= fill.area) continue;
                fill = std::move(f);
                trial = std::move(tried);
                if (fill.area >= usableArea(stock) * (1 - 1e-9)) break;
            }
            if (fill.placed.empty()) continue;
            const bool all = static_cast<std::int64_t>(fill.placed.size()) == remaining;
            const double rank = all ? 2.0 + 1.0 / area : fill.area / area;
            if (rank > chosenRank) {
                chosenRank = rank;
                chosen = std::move(fill);
                chosenLeft = std::move(trial);
            }
        }
        if (!chosen) break;
        const SheetStock& stock = config.sheets[chosen->stock];
        const SheetLayout opened = openSheet(chosen->stock, stock, config.margin, config.cell);
        const auto index = static_cast<std::int32_t>(state.sheets.size());
        state.sheets.push_back(
            {chosen->stock, stock.width, stock.height, opened.columns, opened.rows});
        for (std::size_t i = 0; i < chosen->placed.size(); ++i) {
            const Placed& p = chosen->placed[i];
            const auto column =
                static_cast<std::int32_t>(std::lround((p.x - config.margin - pad) / config.cell));
            const auto row =
                static_cast<std::int32_t>(std::lround((p.y - config.margin - pad) / config.cell));
            state.items.push_back({chosen->kinds[i], p.shape->orientation, index, column, row});
        }
        remaining -= static_cast<std::int64_t>(chosen->placed.size());
        left = std::move(chosenLeft);
        ++used[chosen->stock];
    }
    for (std::size_t k = 0; k < left.size(); ++k)
        for (std::int32_t q = 0; q < left[k]; ++q)
            state.unplaced.push_back(static_cast<std::int32_t>(k));
    return state;
}

}  // namespace qks::nest::dense
