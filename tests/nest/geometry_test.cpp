#include <gtest/gtest.h>

#include <cmath>

#include "polygon_check.h"
#include "qks/nest/geometry.h"
#include "qks/nest/raster_overlap.h"

namespace qks::nest {
namespace {

using testing::discPart;
using testing::lPart;
using testing::polygonPart;
using testing::rectanglePart;

int setCells(const PartRaster& r) {
    int n = 0;
    for (std::uint64_t w : r.bits)
        n += __builtin_popcountll(w);
    return n;
}

bool cellSet(const PartRaster& r, int x, int y) {
    return (r.bits[y * r.wordsPerRow + x / 64] >> (x % 64)) & 1;
}

TEST(Geometry, AreaAndPointInPolygon) {
    const std::vector<Point> square{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    const std::vector<Point> clockwise{{0, 0}, {0, 10}, {10, 10}, {10, 0}};
    EXPECT_EQ(polygonArea(square), 100);
    EXPECT_EQ(polygonArea(clockwise), 100);
    EXPECT_EQ(polygonArea({}), 0);
    struct Case {
        double x, y;
        bool inside;
    };
    const Case cases[] = {{5, 5, true}, {-1, 5, false}, {11, 5, false}, {5, 10, false},
                          {5, 0, true}, {0, 5, true},   {10, 5, false}, {5, -0.001, false}};
    for (const Case& c : cases)
        EXPECT_EQ(pointInPolygon(square, c.x, c.y), c.inside) << c.x << "," << c.y;
    EXPECT_FALSE(pointInPolygon({}, 0, 0));
    // Even-odd: the inner square of a self-overlapping ring counts as outside.
    const std::vector<Point> twice{{0, 0}, {10, 0}, {10, 10}, {0, 10},
                                   {0, 0}, {10, 0}, {10, 10}, {0, 10}};
    EXPECT_FALSE(pointInPolygon(twice, 5, 5));
}

TEST(Geometry, OrientMirrorsThenRotatesAboutTheReference) {
    const std::vector<Point> pts{{12, 5}, {15, 5}, {12, 7}};
    const auto plain = orient(pts, 10, 5, 0, false);
    const auto mirrored = orient(pts, 10, 5, 0, true);
    const auto turned = orient(pts, 10, 5, 90, true);
    ASSERT_EQ(plain.size(), 3u);
    EXPECT_EQ(plain[1].x, 5);
    EXPECT_EQ(mirrored[1].x, -5);
    EXPECT_EQ(mirrored[2].y, 2);
    EXPECT_NEAR(turned[1].x, 0, 1e-12);
    EXPECT_NEAR(turned[1].y, -5, 1e-12);
    EXPECT_NEAR(turned[2].x, -2, 1e-12);
    EXPECT_NEAR(turned[2].y, -2, 1e-12);
}

TEST(Geometry, RasterEdgeCases) {
    struct Case {
        const char* name;
        NestPart part;
        int angle;
        bool mirrored;
        double cell, gap;
        int width, height, cells;
    };
    const Case cases[] = {
        {"gap 0: exactly the filled outline", rectanglePart(1, 10, 6), 0, false, 2, 0, 5, 3, 15},
        {"gap 1e-9 is no gap", rectanglePart(1, 10, 6), 0, false, 2, 1e-9, 5, 3, 15},
        {"cell 2 gap 5: pad 2", rectanglePart(1, 10, 6), 0, false, 2, 5, 9, 7, 63},
        // cos 90° is not exactly 0 in floating point: the extent comes out a hair above 6 and
        // the column count rounds up; the extra column stays empty.
        {"rotated a quarter", rectanglePart(1, 10, 6), 90, false, 2, 0, 4, 5, 15},
        {"smaller than a cell, nothing inside", rectanglePart(1, 0.4, 0.4), 0, false, 2, 0, 1, 1,
         0},
        {"smaller than a cell, padded", rectanglePart(1, 0.4, 0.4), 0, false, 2, 5, 5, 5, 0},
        {"cell centre inside a small part",
         polygonPart(1, {{0, 0}, {1.5, 0}, {1.5, 1.5}, {0, 1.5}}), 0, false, 2, 0, 1, 1, 1},
        {"fine cell", rectanglePart(1, 3, 1), 0, false, 0.5, 0, 6, 2, 12},
    };
    for (const Case& c : cases) {
        const PartRaster r = buildRaster(c.part, c.angle, c.mirrored, c.cell, c.gap);
        EXPECT_EQ(r.width, c.width) << c.name;
        EXPECT_EQ(r.height, c.height) << c.name;
        EXPECT_EQ(r.wordsPerRow, (c.width + 63) / 64) << c.name;
        EXPECT_EQ(setCells(r), c.cells) << c.name;
        EXPECT_EQ(r.angle, c.angle) << c.name;
        EXPECT_FALSE(r.oversize) << c.name;
        for (int x = 0; x < r.width; ++x) {
            int low = -1, high = -1;
            for (int y = 0; y < r.height; ++y)
                if (cellSet(r, x, y)) {
                    if (low < 0) low = y;
                    high = y;
                }
            EXPECT_EQ(r.bottom[x], low) << c.name << " column " << x;
            EXPECT_EQ(r.top[x], high) << c.name << " column " << x;
        }
    }
    EXPECT_EQ(padCells(5, 2), 2);
    EXPECT_EQ(padLength(5, 2), 4);
    EXPECT_EQ(padCells(0, 2), 0);
    EXPECT_EQ(padCells(1e-9, 2), 0);
    EXPECT_EQ(padCells(4, 2), 1);
}

// Two copies side by side, one above the other and diagonally, each at the nearest grid offset
// where their rasters are apart: the outlines keep the gap (padded rasters can miss it by a hair
// or, for slivers, wholly), and flat sides stand no more than a cell beyond it (a quarter more
// when the gap is no multiple of a quarter cell).
TEST(Geometry, ExactGapRastersKeepTheGapAndNoMore) {
    struct Case {
        const char* name;
        NestPart part;
        int angle;
        bool mirrored;
        double cell, gap;
        bool boxy;  // flat sides facing each other along both axes
    };
    const Case cases[] = {
        {"rectangle, cell 2 gap 5", rectanglePart(1, 100.7, 41.3), 0, false, 2, 5, true},
        {"rectangle on its side", rectanglePart(1, 100.7, 41.3), 90, true, 2, 5, true},
        {"rectangle, gap a cell multiple", rectanglePart(1, 33, 20.01), 0, false, 2, 4, true},
        {"rectangle, gap no quarter cell", rectanglePart(1, 33.3, 20), 0, false, 1.5, 5.1, true},
        {"L shape turned 35 degrees", lPart(1, 60, 30), 35, false, 2, 5, false},
        {"disc", discPart(1, 25.3, 10), 0, false, 2, 6, false},
        {"sliver thinner than a cell", rectanglePart(1, 50, 0.7), 0, false, 2, 5, true},
    };
    for (const Case& c : cases) {
        const PartRaster exact =
            buildExactGapRaster(c.part, c.angle, c.mirrored, c.cell, c.gap, false);
        const double pad = padLength(c.gap, c.cell);
        const auto outline = [&](int column, int row) {
            return placeShape(c.part, c.angle, c.mirrored, 0, 0, 0, pad, c.cell, column, row)
                .outline;
        };
        const auto nearest = [](const PartRaster& r, int dx, int dy) {
            int k = 1;
            while (rasterOverlap(r, 0, 0, r, k * dx, k * dy) != 0)
                ++k;
            return k;
        };
        const double extent[2] = {boundsOf(outline(0, 0)).maxX - boundsOf(outline(0, 0)).minX,
                                  boundsOf(outline(0, 0)).maxY - boundsOf(outline(0, 0)).minY};
        const bool quarter = std::fabs(c.gap / c.cell * 4 - std::round(c.gap / c.cell * 4)) < 1e-9;
        for (int axis = 0; axis < 2; ++axis) {
            const int dx = axis == 0, dy = axis == 1;
            const int k = nearest(exact, dx, dy);
            EXPECT_GE(testing::ringDistance(outline(0, 0), outline(k * dx, k * dy)), c.gap - 1e-9)
                << c.name << " axis " << axis;
            if (c.boxy) {
                EXPECT_LT(k * c.cell - extent[axis], c.gap + c.cell * (quarter ? 1.0 : 1.25))
                    << c.name << " axis " << axis;
            }
        }
        // Diagonal neighbours keep the gap too.
        for (const auto& [dx, dy] : {std::pair{1, 1}, std::pair{1, -1}}) {
            const int k = nearest(exact, dx, dy);
            EXPECT_GE(testing::ringDistance(outline(0, 0), outline(k * dx, k * dy)), c.gap - 1e-9)
                << c.name << " diagonal";
        }
    }
}

TEST(Geometry, MirroredRasterFlipsLeftRight) {
    const NestPart l = lPart(1, 40, 20);
    const PartRaster a = buildRaster(l, 0, false, 2, 0);
    const PartRaster b = buildRaster(l, 0, true, 2, 0);
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            EXPECT_EQ(cellSet(a, x, y), cellSet(b, a.width - 1 - x, y)) << x << "," << y;
}

TEST(Geometry, HostileCoordinatesGiveAnUnplaceableRaster) {
    NestPart nan = rectanglePart(1, 10, 10);
    nan.outline[2].x = NAN;
    NestPart huge = rectanglePart(2, 1e12, 10);
    NestPart empty = rectanglePart(3, 10, 10);
    empty.outline.clear();
    EXPECT_TRUE(buildRaster(nan, 0, false, 2, 0).oversize);
    EXPECT_TRUE(buildExactGapRaster(nan, 0, false, 2, 5, false).oversize);
    NestPart nanHole = discPart(4, 20, 5);
    nanHole.holes[0][3].y = NAN;
    EXPECT_FALSE(buildExactGapRaster(nanHole, 0, false, 2, 5, true).oversize);
    EXPECT_TRUE(buildRaster(huge, 0, false, 2, 0).oversize);
    EXPECT_GT(buildRaster(huge, 0, false, 2, 0).width, kMaxGridSide);
    const PartRaster none = buildRaster(empty, 0, false, 2, 5);
    EXPECT_FALSE(none.oversize);
    EXPECT_EQ(none.width, 5);
    EXPECT_EQ(setCells(none), 0);
}

TEST(Geometry, RasterCacheBuildsOncePerOrientation) {
    RasterCache cache;
    const NestPart part = discPart(1, 20, 5);
    const PartRaster& a = rasterFor(cache, 0, part, 30, false, 2, 5);
    const PartRaster& b = rasterFor(cache, 0, part, 30, false, 2, 5);
    const PartRaster& c = rasterFor(cache, 0, part, 30, true, 2, 5);
    EXPECT_EQ(&a, &b);
    EXPECT_NE(&a, &c);
    EXPECT_EQ(cache.size(), 2u);
}

TEST(Geometry, PlacementMappingMatchesTheRaster) {
    const NestPart part = discPart(1, 30, 10);
    for (int angle : {0, 35, 90, 270}) {
        for (bool mirrored : {false, true}) {
            const double cell = 2, margin = 10, pad = padLength(5, cell);
            const PartRaster r = buildRaster(part, angle, mirrored, cell, 5);
            const PlacedShape s =
                placeShape(part, angle, mirrored, 1000, 50, margin, pad, cell, 7, 3);
            const Bounds box = boundsOf(s.outline);
            // The bounding box corner lands on grid cell (column + pad, row + pad).
            EXPECT_NEAR(box.minX, 1000 + margin + pad + 7 * cell, 1e-9);
            EXPECT_NEAR(box.minY, 50 + margin + pad + 3 * cell, 1e-9);
            // Raster shape and mapped outline differ by one translation.
            for (std::size_t i = 0; i < s.outline.size(); ++i) {
                EXPECT_NEAR(s.outline[i].x - r.shape[i].x, 1000 + margin + 7 * cell, 1e-9);
                EXPECT_NEAR(s.outline[i].y - r.shape[i].y, 50 + margin + 3 * cell, 1e-9);
            }
            const Point one = placementPoint(part.holes[0][5], part, angle, mirrored, 1000, 50,
                                             margin, pad, cell, 7, 3);
            EXPECT_NEAR(one.x, s.holes[0][5].x, 1e-9);
            EXPECT_NEAR(one.y, s.holes[0][5].y, 1e-9);
        }
    }
}

}  // namespace
}  // namespace qks::nest
