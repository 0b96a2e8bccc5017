#include "polygon_check.h"

#include "qks/nest/stock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace qks::nest::testing {
namespace {

double turnOf(const Point& o, const Point& a, const Point& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

bool onSegment(const Point& p, const Point& a, const Point& b) {
    return std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= p.y &&
           p.y <= std::max(a.y, b.y);
}

bool segmentsIntersect(const Point& a, const Point& b, const Point& c, const Point& d) {
    const double d1 = turnOf(c, d, a), d2 = turnOf(c, d, b), d3 = turnOf(a, b, c),
                 d4 = turnOf(a, b, d);
    if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0)))
        return true;
    return (d1 == 0 && onSegment(a, c, d)) || (d2 == 0 && onSegment(b, c, d)) ||
           (d3 == 0 && onSegment(c, a, b)) || (d4 == 0 && onSegment(d, a, b));
}

double pointSegment(const Point& p, const Point& a, const Point& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len = dx * dx + dy * dy;
    double t = len > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

bool ringContains(const std::vector<Point>& ring, const Point& p) {
    bool inside = false;
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        const Point& a = ring[i];
        const Point& b = ring[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside;
}

double ringToPoint(const std::vector<Point>& ring, const Point& p) {
    double best = HUGE_VAL;
    for (std::size_t i = 0; i < ring.size(); ++i)
        best = std::min(best, pointSegment(p, ring[i], ring[(i + 1) % ring.size()]));
    return best;
}

// Whether the insides of two rings overlap, beyond touching: two edges cross with each one's
// ends more than `tolerance` on either side of the other, or a corner of one lies inside the
// other more than `tolerance` from its edges.
bool insidesOverlap(const std::vector<Point>& a, const std::vector<Point>& b, double tolerance) {
    const auto side = [&](const Point& o, const Point& e, const Point& p) {
        const double length = std::hypot(e.x - o.x, e.y - o.y);
        const double c = turnOf(o, e, p);
        return length > 0 && std::fabs(c) > tolerance * length ? (c > 0 ? 1 : -1) : 0;
    };
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Point& p = a[i];
        const Point& q = a[(i + 1) % a.size()];
        for (std::size_t j = 0; j < b.size(); ++j) {
            const Point& r = b[j];
            const Point& t = b[(j + 1) % b.size()];
            if (side(r, t, p) * side(r, t, q) < 0 && side(p, q, r) * side(p, q, t) < 0) return true;
        }
    }
    for (const auto& [ring, other] : {std::pair{&a, &b}, std::pair{&b, &a}})
        for (const Point& p : *ring)
            if (ringContains(*other, p) && ringToPoint(*other, p) > tolerance) return true;
    return false;
}

}  // namespace

double ringDistance(const std::vector<Point>& a, const std::vector<Point>& b) {
    if (a.empty() || b.empty()) return HUGE_VAL;
    if (ringContains(b, a[0]) || ringContains(a, b[0])) return 0.0;
    return edgeDistance(a, b);
}

double edgeDistance(const std::vector<Point>& a, const std::vector<Point>& b) {
    if (a.empty() || b.empty()) return HUGE_VAL;
    double best = HUGE_VAL;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Point& p = a[i];
        const Point& q = a[(i + 1) % a.size()];
        for (std::size_t j = 0; j < b.size(); ++j) {
            const Point& r = b[j];
            const Point& s = b[(j + 1) % b.size()];
            if (segmentsIntersect(p, q, r, s)) return 0.0;
            best = std::min({best, pointSegment(p, r, s), pointSegment(q, r, s),
                             pointSegment(r, p, q), pointSegment(s, p, q)});
        }
    }
    return best;
}

namespace {
NestPart finish(NestPart p) {
    measureOutline(p);
    p.name = "part" + std::to_string(p.id);
    p.source = "CURRENT";
    return p;
}
}  // namespace

NestPart polygonPart(int id, std::vector<Point> outline, int quantity) {
    NestPart p;
    p.id = id;
    p.quantity = quantity;
    p.outline = std::move(outline);
    return finish(p);
}

NestPart rectanglePart(int id, double w, double h, int quantity) {
    return polygonPart(id, {{0, 0}, {w, 0}, {w, h}, {0, h}}, quantity);
}

NestPart lPart(int id, double w, double h, int quantity) {
    return polygonPart(
        id, {{0, 0}, {w, 0}, {w, h * 0.35}, {w * 0.35, h * 0.35}, {w * 0.35, h}, {0, h}}, quantity);
}

NestPart discPart(int id, double radius, double holeRadius, int quantity) {
    std::vector<Point> ring, hole;
    for (int i = 0; i < 48; ++i) {
        const double t = 2 * M_PI * i / 48;
        ring.push_back({radius + radius * std::cos(t), radius + radius * std::sin(t)});
        hole.push_back({radius + holeRadius * std::cos(t), radius + holeRadius * std::sin(t)});
    }
    NestPart p = polygonPart(id, ring, quantity);
    if (holeRadius > 0) p.holes.push_back(hole);
    return p;
}

std::vector<NestPart> randomParts(std::mt19937& gen, int kinds, int maxQuantity, double maxSize,
                                  double cell) {
    std::uniform_real_distribution<double> size(maxSize * 0.05, maxSize);
    std::uniform_int_distribution<int> quantity(1, maxQuantity);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_real_distribution<double> shift(-500, 500);
    std::vector<NestPart> parts;
    for (int k = 0; k < kinds; ++k) {
        const int id = 100 + k;
        NestPart p;
        switch (kind(gen)) {
            case 0:
            case 1:
            case 2:
                p = rectanglePart(id, size(gen), size(gen), quantity(gen));
                break;
            case 3:
            case 4:
                p = lPart(id, size(gen), size(gen), quantity(gen));
                break;
            case 5:
            case 6: {
                const double r = size(gen) / 2;
                p = discPart(id, r, r * 0.5, quantity(gen));
                break;
            }
            case 7:
            case 8:
                // Slivers a little over half a cell thick and more: thinner features can fall
                // between the raster's scan lines and occupy nothing.
                p = rectanglePart(id, size(gen), cell * (0.6 + 0.3 * (gen() % 4)), quantity(gen));
                break;
            default:
                p = rectanglePart(id, maxSize * 40, maxSize * 40, 1);  // larger than any sheet
                break;
        }
        const double dx = shift(gen), dy = shift(gen);
        for (Point& q : p.outline) {
            q.x += dx;
            q.y += dy;
        }
        for (auto& hole : p.holes)
            for (Point& q : hole) {
                q.x += dx;
                q.y += dy;
            }
        p.refX += dx;
        p.refY += dy;
        parts.push_back(p);
    }
    return parts;
}

void checkLayout(const std::vector<NestPart>& parts, const NestConfig& config, const Layout& layout,
                 const char* what) {
    const double cell = config.cell;
    const double pad = padLength(config.gap, cell);
    std::vector<int> perStock(config.sheets.size(), 0);
    for (std::size_t s = 0; s < layout.size(); ++s) {
        const SheetLayout& sheet = layout[s];
        ASSERT_GE(sheet.stockIndex, 0) << what;
        ASSERT_LT(sheet.stockIndex, static_cast<int>(config.sheets.size())) << what;
        ++perStock[sheet.stockIndex];
        // Raster level: inside the grid, pairwise disjoint and, on a stock piece, clear of the
        // cells its outline and defects take (restamp into the empty sheet).
        std::vector<std::uint64_t> bits =
            sheet.mask ? sheet.mask->bits : std::vector<std::uint64_t>(sheet.occupancy.size(), 0);
        std::vector<PlacedShape> shapes;
        std::vector<std::array<double, 4>> boxes;
        double used = 0;
        RasterCache cache;
        const bool exact = exactGapRasters(config);
        cache.setExactGap(exact);
        for (const Placement& p : sheet.placements) {
            ASSERT_GE(p.partIndex, 0) << what;
            ASSERT_LT(p.partIndex, static_cast<int>(parts.size())) << what;
            const NestPart& part = parts[p.partIndex];
            EXPECT_EQ(p.partId, part.id) << what;
            used += part.area;
            // With parts in holes the holes are free space of the raster too.
            PartRaster holed;
            if (config.partInPart)
                holed = exact
                            ? buildExactGapRaster(part, p.angle, p.mirrored, cell, config.gap, true)
                            : buildHoledRaster(part, p.angle, p.mirrored, cell, config.gap);
            const PartRaster& r = config.partInPart ? holed
                                                    : cache.get(p.partIndex, part, p.angle,
                                                                p.mirrored, cell, config.gap);
            ASSERT_GE(p.column, 0) << what;
            ASSERT_GE(p.row, 0) << what;
            // The dense search's layouts built on the true outlines keep them apart, not their
            // rasters: there the outlines' own checks below are the ones that count.
            const bool rastersApart = config.strategy != NestStrategy::Dense;
            if (rastersApart) {
                ASSERT_LE(p.column + r.width, sheet.columns) << what;
                ASSERT_LE(p.row + r.height, sheet.rows) << what;
            }
            for (int y = 0; y < r.height && p.row + y < sheet.rows; ++y)
                for (int x = 0; x < r.width && p.column + x < 64 * sheet.wordsPerRow; ++x) {
                    if (!((r.bits[y * r.wordsPerRow + x / 64] >> (x % 64)) & 1)) continue;
                    const int c = p.column + x, row = p.row + y;
                    std::uint64_t& word = bits[row * sheet.wordsPerRow + c / 64];
                    const std::uint64_t mask = std::uint64_t{1} << (c % 64);
                    if (rastersApart) {
                        ASSERT_EQ(word & mask, 0u) << what << ": rasters overlap on sheet " << s;
                    }
                    word |= mask;
                }
            PlacedShape shape = placeShape(part, p.angle, p.mirrored, 0, 0, config.margin, pad,
                                           cell, p.column, p.row);
            const Bounds box = boundsOf(shape.outline);
            const double x0 = box.minX, y0 = box.minY, x1 = box.maxX, y1 = box.maxY;
            // The real outline inside the sheet less its margin, within one cell.
            EXPECT_GE(x0, config.margin - cell - 1e-6) << what;
            EXPECT_GE(y0, config.margin - cell - 1e-6) << what;
            EXPECT_LE(x1, sheet.width - config.margin + cell + 1e-6) << what;
            EXPECT_LE(y1, sheet.height - config.margin + cell + 1e-6) << what;
            shapes.push_back(std::move(shape));
            boxes.push_back({x0, y0, x1, y1});
        }
        EXPECT_EQ(bits, sheet.occupancy) << what << ": occupancy differs from its placements";
        EXPECT_NEAR(used, sheet.usedArea, 1e-6 * (1 + used)) << what;
        if (config.gap <= 0 && config.strategy == NestStrategy::Dense) {
            // Without a gap the dense search's outlines may touch and no more (its rasters hold
            // every cell an outline meets, not only those whose centres it holds).
            const auto inAHole = [](const PlacedShape& host, const PlacedShape& guest) {
                for (const auto& hole : host.holes)
                    if (ringContains(hole, guest.outline[0])) return true;
                return false;
            };
            for (std::size_t i = 0; i < shapes.size(); ++i)
                for (std::size_t j = i + 1; j < shapes.size(); ++j)
                    if (!inAHole(shapes[i], shapes[j]) && !inAHole(shapes[j], shapes[i])) {
                        EXPECT_FALSE(insidesOverlap(shapes[i].outline, shapes[j].outline, 1e-6))
                            << what << ": parts " << i << " and " << j << " overlap on sheet " << s;
                    }
        }
        if (config.gap > 0) {
            // Rasters that keep the gap exactly keep it to rounding; padded ones to two cells.
            const double need = config.gap - (exact ? 1e-6 : 2 * cell + 1e-6);
            for (std::size_t i = 0; i < shapes.size(); ++i)
                for (std::size_t j = i + 1; j < shapes.size(); ++j) {
                    const auto& a = boxes[i];
                    const auto& b = boxes[j];
                    if (a[0] - b[2] > need || b[0] - a[2] > need || a[1] - b[3] > need ||
                        b[1] - a[3] > need)
                        continue;  // boxes alone are far enough apart
                    // A part standing in the other's hole lies wholly inside that hole, the
                    // gap away from its edge.
                    const auto inHoleOf = [&](const PlacedShape& host, const PlacedShape& guest) {
                        for (const auto& hole : host.holes)
                            if (ringContains(hole, guest.outline[0])) return &hole;
                        return static_cast<const std::vector<Point>*>(nullptr);
                    };
                    const std::vector<Point>* hole = inHoleOf(shapes[i], shapes[j]);
                    const PlacedShape* guest = &shapes[j];
                    if (!hole) {
                        hole = inHoleOf(shapes[j], shapes[i]);
                        guest = &shapes[i];
                    }
                    if (hole) {
                        EXPECT_TRUE(config.partInPart) << what << ": a part in a hole";
                        for (const Point& q : guest->outline)
                            EXPECT_TRUE(ringContains(*hole, q)) << what << ": part leaves its hole";
                        EXPECT_GE(edgeDistance(*hole, guest->outline), need)
                            << what << ": parts " << i << " and " << j << " in a hole, sheet " << s;
                        continue;
                    }
                    EXPECT_GE(ringDistance(shapes[i].outline, shapes[j].outline), need)
                        << what << ": parts " << i << " and " << j << " on sheet " << s;
                }
        }
    }
    for (std::size_t k = 0; k < config.sheets.size(); ++k)
        if (config.sheets[k].count >= 1) {
            EXPECT_LE(perStock[k], config.sheets[k].count) << what;
        }
}

}  // namespace qks::nest::testing
