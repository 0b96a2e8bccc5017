// The dense search's raster counting and its layouts, checked against cell-by-cell counts and
// the independent polygon checker.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <random>

#include "dense/chooser.h"
#include "dense/model.h"
#include "dense/moves.h"
#include "polygon_check.h"
#include "qks/nest/raster_overlap.h"
#include "qks/nest/search.h"
#include "qks/nest/stock.h"

namespace qks::nest {
namespace {

bool cellOf(const PartRaster& r, int x, int y) {
    return x >= 0 && y >= 0 && x < r.width && y < r.height &&
           ((r.bits[static_cast<std::size_t>(y) * r.wordsPerRow + x / 64] >> (x % 64)) & 1);
}

// Random blobs: a few filled rectangles, so rows have runs and gaps (with one, every row is empty
// or solid).
PartRaster randomRaster(std::mt19937& gen, int w, int h, int blobs = 4) {
    PartRaster r;
    r.width = w;
    r.height = h;
    r.wordsPerRow = (w + 63) / 64;
    r.bits.assign(static_cast<std::size_t>(h) * r.wordsPerRow, 0);
    for (int k = 0; k < blobs; ++k) {
        const int x0 = gen() % w, y0 = gen() % h;
        const int x1 = x0 + gen() % (w - x0), y1 = y0 + gen() % (h - y0);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                r.bits[static_cast<std::size_t>(y) * r.wordsPerRow + x / 64] |= std::uint64_t{1}
                                                                                << (x % 64);
    }
    return r;
}

TEST(RasterOverlap, CountsMatchCellByCell) {
    std::mt19937 gen(5);
    struct Case {
        int aw, ah, bw, bh, dx, dy;
    };
    // Shifts on and around word boundaries, both ways, and rasters of one word and more.
    const Case cases[] = {{70, 20, 70, 20, 0, 0},   {70, 20, 90, 15, 63, 3},
                          {130, 9, 70, 9, 64, 0},   {130, 9, 140, 12, -63, -2},
                          {64, 30, 65, 30, -64, 5}, {1, 1, 200, 3, 127, 1},
                          {200, 5, 1, 1, -199, -4}, {65, 40, 129, 33, 17, -20}};
    for (const Case& c : cases) {
        for (int trial = 0; trial < 5; ++trial) {
            const PartRaster a = randomRaster(gen, c.aw, c.ah, 1 + trial % 4);
            const PartRaster b = randomRaster(gen, c.bw, c.bh, 1 + trial % 3);
            const int ax = 300, ay = 100, bx = ax - c.dx, by = ay - c.dy;
            std::int64_t want = 0, wantEveryThirdRow = 0;
            for (int y = 0; y < a.height; ++y)
                for (int x = 0; x < a.width; ++x) {
                    const bool both = cellOf(a, x, y) && cellOf(b, ax + x - bx, ay + y - by);
                    want += both;
                    wantEveryThirdRow += both && (ay + y) % 3 == 0;
                }
            EXPECT_EQ(rasterOverlap(a, ax, ay, b, bx, by), want) << c.dx << "," << c.dy;
            EXPECT_EQ(rasterOverlap(b, bx, by, a, ax, ay), want) << c.dx << "," << c.dy;
            // With row bounds the count visits less and stays the same; a bounded count stops
            // only past its bound.
            PartRaster boundedA = a, boundedB = b;
            describeRows(boundedA);
            describeRows(boundedB);
            EXPECT_EQ(rasterOverlap(boundedA, ax, ay, boundedB, bx, by), want);
            EXPECT_EQ(rasterOverlap(boundedB, bx, by, a, ax, ay), want);
            const std::int64_t half = want / 2;
            const std::int64_t upTo = rasterOverlapUpTo(boundedA, ax, ay, boundedB, bx, by, half);
            EXPECT_TRUE(want <= half ? upTo == want : upTo > half && upTo <= want);
            EXPECT_EQ(rasterOverlapUpTo(boundedB, bx, by, boundedA, ax, ay, want, 3),
                      wantEveryThirdRow);

            // On a sheet grid, clipped at its edges: cells outside count with their weight.
            BitGrid grid(150, 40);
            stampInto(grid, b, 40 - c.dx % 40, 10);
            for (const auto& [x, y] : {std::pair{-5, -3}, std::pair{150 - a.width / 2, 30},
                                       std::pair{0, 0}, std::pair{-64, 12}}) {
                std::int64_t inside = 0, outside = 0;
                for (int ry = 0; ry < a.height; ++ry)
                    for (int rx = 0; rx < a.width; ++rx) {
                        if (!cellOf(a, rx, ry)) continue;
                        const int gx = x + rx, gy = y + ry;
                        if (gx < 0 || gy < 0 || gx >= grid.columns || gy >= grid.rows)
                            ++outside;
                        else
                            inside += grid.test(gx, gy);
                    }
                EXPECT_EQ(gridOverlap(grid, a, x, y, 3), inside + 3 * outside) << x << "," << y;
            }
        }
    }
}

TEST(RasterOverlap, LowestFitIsTheFirstFreePositionRowByRow) {
    std::mt19937 gen(11);
    for (const int columns : {40, 64, 65, 150}) {
        for (int trial = 0; trial < 12; ++trial) {
            BitGrid grid(columns, 60);
            for (int k = 0; k < 6; ++k)
                stampInto(grid, randomRaster(gen, 4 + gen() % 30, 3 + gen() % 12), gen() % columns,
                          gen() % 55);
            const PartRaster part = randomRaster(gen, 3 + gen() % 36, 2 + gen() % 10);
            std::optional<std::pair<int, int>> want;
            for (int y = 0; y + part.height <= grid.rows && !want; ++y)
                for (int x = 0; x + part.width <= grid.columns && !want; ++x)
                    if (gridOverlap(grid, part, x, y) == 0) want = std::pair{x, y};
            const RasterRuns runs = runsOf(part);
            // A table narrower than the longest run covers it with several windows.
            for (const int longest : {runs.longest, 4}) {
                const WindowTable table(grid, longest);
                const auto got = table.lowestFit(runs, grid.rows);
                EXPECT_EQ(got.has_value(), want.has_value()) << columns << " " << trial;
                if (got && want) {
                    EXPECT_EQ(*got, *want) << columns << " " << trial;
                }
            }
        }
    }
}

TEST(RasterOverlap, IncrementalOverlapsEqualAFullRecountAfterRandomMoves) {
    std::mt19937 gen(3);
    std::vector<PartRaster> shapes;
    for (int k = 0; k < 6; ++k)
        shapes.push_back(randomRaster(gen, 5 + gen() % 90, 5 + gen() % 40));
    OverlapTracker tracker;
    tracker.reset(300, 200);
    std::vector<std::array<int, 4>> boxes;  // each member's x0, y0, x1, y1, as placed here
    auto place = [&](int i, const PartRaster& r, int x, int y) {
        if (i == tracker.size()) {
            tracker.add(&r, x, y);
            boxes.emplace_back();
        } else {
            tracker.move(i, &r, x, y);
        }
        boxes[i] = {x, y, x + r.width, y + r.height};
    };
    for (int k = 0; k < 30; ++k)
        place(k, shapes[k % shapes.size()], gen() % 250, gen() % 170);
    for (int step = 1; step <= 3000; ++step) {
        place(gen() % tracker.size(), shapes[gen() % shapes.size()], gen() % 260, gen() % 180);
        if (step % 100 != 0) continue;
        ASSERT_EQ(tracker.total(), tracker.recountTotal()) << step;
        std::int64_t sum = 0;
        for (int m = 0; m < tracker.size(); ++m)
            sum += tracker.of(m);
        ASSERT_EQ(sum, 2 * tracker.total()) << step;
        // A box query visits exactly the members whose boxes meet it, once each, and stops when
        // told to.
        const int qx = gen() % 280, qy = gen() % 190, qw = 1 + gen() % 60, qh = 1 + gen() % 40;
        std::vector<int> want, seen;
        for (int m = 0; m < tracker.size(); ++m)
            if (boxes[m][0] < qx + qw && qx < boxes[m][2] && boxes[m][1] < qy + qh &&
                qy < boxes[m][3])
                want.push_back(m);
        tracker.near(qx, qy, qw, qh, [&](int m) {
            seen.push_back(m);
            return true;
        });
        std::sort(seen.begin(), seen.end());
        ASSERT_EQ(seen, want) << step;
        int calls = 0;
        tracker.near(qx, qy, qw, qh, [&](int) { return ++calls < 2; });
        ASSERT_EQ(calls, std::min<int>(2, want.size())) << step;
    }
}

// Records what was published, for the "only ever better" rule.
class Recorder final : public SearchObserver {
  public:
    void published(const Layout& layout, qks::contract::JobState, double, int unplaced) override {
        double area = 0;
        for (const SheetLayout& sheet : layout)
            area += sheet.width * sheet.height;
        if (!seen.empty()) {
            const auto& [lastUnplaced, lastArea] = seen.back();
            EXPECT_TRUE(unplaced < lastUnplaced ||
                        (unplaced == lastUnplaced && area <= lastArea + 1e-6))
                << "a publication got worse";
        }
        seen.push_back({unplaced, area});
    }
    std::vector<std::pair<int, double>> seen;
};

NestContext denseContext(std::vector<NestPart> parts, std::vector<SheetStock> sheets, double gap,
                         double margin, double cell) {
    NestContext c;
    c.parts = std::move(parts);
    c.config.sheets = std::move(sheets);
    c.config.gap = gap;
    c.config.margin = margin;
    c.config.cell = cell;
    c.config.strategy = NestStrategy::Dense;
    c.config.threads = 1;
    c.config.seconds = 600;
    c.seed = 1;
    return c;
}

// Every instance is on a sheet or counted as unplaced, never twice; orientations are allowed.
void checkCountsAndOrientations(const NestContext& c, const NestOutcome& out, const char* what) {
    std::vector<int> placed(c.parts.size(), 0);
    int wanted = 0;
    for (const NestPart& p : c.parts)
        wanted += p.quantity;
    for (const SheetLayout& sheet : out.layout)
        for (const Placement& p : sheet.placements) {
            ++placed[p.partIndex];
            EXPECT_TRUE(!p.mirrored || c.config.mirror) << what;
            const auto own = c.config.partRotations.find(p.partId);
            if (own != c.config.partRotations.end() && !own->second.free) {
                const auto& list = own->second.angles;
                EXPECT_NE(std::find(list.begin(), list.end(), p.angle), list.end())
                    << what << ": angle " << p.angle << " of part " << p.partId;
            }
        }
    int total = 0;
    for (std::size_t i = 0; i < c.parts.size(); ++i) {
        EXPECT_LE(placed[i], c.parts[i].quantity) << what << ": part " << c.parts[i].id;
        total += placed[i];
    }
    EXPECT_EQ(total + out.unplaced, wanted) << what;
}

TEST(DenseSearch, RandomJobsGiveValidLayouts) {
    std::mt19937 gen(17);
    for (int job = 0; job < 8; ++job) {
        const double cell = 2.0 + (gen() % 3);
        std::vector<NestPart> parts = testing::randomParts(gen, 5, 6, 300, cell);
        std::vector<SheetStock> sheets{{900, 600, static_cast<std::int32_t>(gen() % 3)},
                                       {700, 500, 0}};
        NestContext c = denseContext(parts, sheets, gen() % 2 ? 6.0 : 0.0, 10, cell);
        c.config.rotate = gen() % 2;
        c.config.mirror = gen() % 2;
        c.config.partInPart = gen() % 2;
        c.config.partRotations[c.parts[0].id] = PartRotation{false, {0, 180}};
        c.config.partRotations[c.parts[1].id] = PartRotation{false, {90}};
        c.iterationLimit = 40;
        NestOutcome out;
        Recorder recorder;
        runSearch(c, out, recorder);
        const std::string what = "job " + std::to_string(job);
        testing::checkLayout(c.parts, c.config, out.layout, what.c_str());
        checkCountsAndOrientations(c, out, what.c_str());
        EXPECT_GE(recorder.seen.size(), 2u);
    }
}

// A lone sheet on a fine grid is shortened on the grid twice as coarse first; what the coarse
// search reached comes back onto the job's grid, with a gap (paddings differ) and without, from
// one lane and from lanes that each keep to their own descent.
TEST(DenseSearch, ALoneSheetSearchedOnACoarserGridFirstStaysValid) {
    std::mt19937 gen(41);
    const std::vector<NestPart> parts = testing::randomParts(gen, 4, 5, 120, 1);
    for (const double gap : {0.0, 3.0})
        for (const int threads : {1, 2}) {
            NestContext c = denseContext(parts, {{800, 3000, 1}}, gap, 0, 1);
            c.config.partInPart = false;
            c.config.threads = threads;
            c.iterationLimit = 30;
            NestOutcome out;
            Recorder recorder;
            runSearch(c, out, recorder);
            const std::string what =
                "gap " + std::to_string(gap) + ", threads " + std::to_string(threads);
            testing::checkLayout(c.parts, c.config, out.layout, what.c_str());
            checkCountsAndOrientations(c, out, what.c_str());
            EXPECT_EQ(out.layout.size(), 1u) << what;
            EXPECT_EQ(out.stats.iterations, 30) << what;
        }
}

// Sheets cut into bands and each band into slanted slices, on whole units: only the jigsaw
// itself fills them, and a raster never can (it holds every cell a slanted edge meets). The
// parts are built again on their true outlines: without a gap every sheet is filled whole, with
// one (and a margin) the outlines keep both.
TEST(DenseSearch, SlicedSheetsAreFilledWholeOnTheTrueOutlines) {
    std::mt19937 gen(5);
    const double width = 600, height = 400;
    const int sheetCount = 3;
    std::vector<NestPart> parts;
    for (int sheet = 0; sheet < sheetCount; ++sheet)
        for (double y0 = 0; y0 < height;) {
            const double y1 = std::min(height, y0 + 100 + gen() % 150);
            double bottom = 0, top = 0;
            while (bottom < width) {
                double nextBottom = std::min(width, bottom + 60 + gen() % 200);
                double nextTop = std::min(width, top + 60 + gen() % 200);
                if (width - nextBottom < 40 || width - nextTop < 40) nextBottom = nextTop = width;
                std::vector<Point> ring{{bottom, y0}, {nextBottom, y0}, {nextTop, y1}, {top, y1}};
                parts.push_back(testing::polygonPart(static_cast<int>(parts.size()) + 1, ring));
                bottom = nextBottom;
                top = nextTop;
            }
            y0 = y1;
        }
    std::shuffle(parts.begin(), parts.end(), gen);
    for (std::size_t k = 0; k < parts.size(); ++k)
        parts[k].id = static_cast<int>(k) + 1;
    for (const double gap : {0.0, 4.0}) {
        NestContext c = denseContext(parts, {{width, height, 0}}, gap, gap > 0 ? 5 : 0, 1);
        c.config.rotate = false;
        c.config.mirror = false;
        for (const NestPart& part : c.parts)
            c.config.partRotations[part.id] = PartRotation{false, {0, 180}};
        c.iterationLimit = 20;
        NestOutcome out;
        Recorder recorder;
        runSearch(c, out, recorder);
        const std::string what = "gap " + std::to_string(gap);
        testing::checkLayout(c.parts, c.config, out.layout, what.c_str());
        checkCountsAndOrientations(c, out, what.c_str());
        EXPECT_EQ(out.unplaced, 0) << what;
        if (gap == 0) {
            EXPECT_EQ(out.layout.size(), static_cast<std::size_t>(sheetCount)) << what;
        }
    }
}

TEST(DenseSearch, PartsInHolesSaveSheets) {
    // Flanges with wide bores and discs that fit them: on their own the discs need sheets of
    // their own, in the bores they need none.
    std::vector<NestPart> parts{testing::discPart(1, 200, 140, 4), testing::discPart(2, 120, 0, 4)};
    const std::vector<SheetStock> sheet{{900, 450, 0}};
    int sheetsUsed[2] = {};
    for (const bool inHoles : {false, true}) {
        NestContext c = denseContext(parts, sheet, 5, 5, 2);
        c.config.rotate = false;
        c.config.mirror = false;
        c.config.partInPart = inHoles;
        c.iterationLimit = 200;
        NestOutcome out;
        Recorder recorder;
        runSearch(c, out, recorder);
        testing::checkLayout(c.parts, c.config, out.layout, inHoles ? "in holes" : "apart");
        checkCountsAndOrientations(c, out, "holes");
        EXPECT_EQ(out.unplaced, 0);
        sheetsUsed[inHoles] = static_cast<int>(out.layout.size());
    }
    EXPECT_LT(sheetsUsed[1], sheetsUsed[0]);

    // A flange kept where it lies (a locked part) lends its bore alike: the disc, which finds no
    // room beside it, goes into the bore instead of onto a sheet of its own, also when no other
    // stock is left.
    const std::vector<NestPart> pair{testing::discPart(1, 200, 140, 1),
                                     testing::discPart(2, 120, 0, 1)};
    const struct {
        bool inHoles, moreStock;
        std::size_t sheets;
        int unplaced;
    } rows[] = {{false, true, 2, 0}, {true, true, 1, 0}, {false, false, 1, 1}, {true, false, 1, 0}};
    for (const auto& row : rows) {
        std::vector<SheetStock> stock{{450, 450, 1}};
        if (row.moreStock) stock.push_back({300, 300, 0});
        NestContext c = denseContext(pair, stock, 5, 5, 2);
        c.config.rotate = false;
        c.config.mirror = false;
        c.config.partInPart = row.inHoles;
        const Placement flange{1, 0, 0, false, 10, 10};
        c.keptSheets = {KeptSheet{SheetStock(450, 450, 1), {flange}}};
        c.iterationLimit = 50;
        NestOutcome out;
        Recorder recorder;
        runSearch(c, out, recorder);
        const std::string what =
            std::string(row.inHoles ? "in holes" : "apart") + (row.moreStock ? ", more stock" : "");
        checkCountsAndOrientations(c, out, what.c_str());
        EXPECT_EQ(out.unplaced, row.unplaced) << what;
        ASSERT_EQ(out.layout.size(), row.sheets) << what;
        EXPECT_EQ(out.layout[0].placements.front(), flange) << what;
        if (!row.inHoles) continue;
        // On the outlines: the disc within the bore, the gap kept to its edge.
        ASSERT_EQ(out.layout[0].placements.size(), 2u) << what;
        const double pad = padLength(c.config.gap, c.config.cell);
        auto placed = [&](const Placement& p) {
            return placeShape(c.parts[p.partIndex], p.angle, p.mirrored, 0, 0, c.config.margin, pad,
                              c.config.cell, p.column, p.row);
        };
        const PlacedShape host = placed(flange), guest = placed(out.layout[0].placements[1]);
        EXPECT_GE(testing::edgeDistance(host.holes.front(), guest.outline), c.config.gap - 1e-6)
            << what;
        EXPECT_TRUE(
            pointInPolygon(host.holes.front(), guest.outline.front().x, guest.outline.front().y))
            << what;
    }
}

TEST(DenseSearch, OneThreadASeedAndAnIterationLimitRepeatTheLayout) {
    std::mt19937 gen(23);
    const std::vector<NestPart> parts = testing::randomParts(gen, 6, 8, 250, 2);
    std::vector<Layout> layouts;
    for (int run = 0; run < 2; ++run) {
        NestContext c = denseContext(parts, {{1000, 500, 0}, {600, 400, 0}}, 5, 10, 2);
        c.iterationLimit = 60;
        NestOutcome out;
        Recorder recorder;
        runSearch(c, out, recorder);
        EXPECT_EQ(out.stats.iterations, 60);
        layouts.push_back(out.layout);
    }
    ASSERT_EQ(layouts[0].size(), layouts[1].size());
    for (std::size_t s = 0; s < layouts[0].size(); ++s)
        EXPECT_EQ(layouts[0][s].placements, layouts[1][s].placements) << "sheet " << s;
}

// Each move on its own, from layouts of one sheet and more, with and without unplaced instances,
// on mixed stock: when it reports success the layout holds no overlap (checked on the polygons)
// and every instance is still placed or listed as unplaced, once.
TEST(DenseMoves, EveryMoveKeepsTheLayoutValidAndThePartsCounted) {
    using dense::Move;
    std::mt19937 gen(31);
    const std::vector<NestPart> parts = testing::randomParts(gen, 6, 8, 250, 2);
    NestContext c = denseContext(parts, {{600, 400, 0}, {450, 300, 3}}, 5, 10, 2);
    c.rasterCache.setExactGap(exactGapRasters(c.config));
    std::vector<std::int32_t> usage(c.config.sheets.size(), 0);
    const std::vector<int> order = firstInstanceOrder(c.parts);
    c.angleStep = angleStepFor(order.size());
    c.largestStockFirst = true;  // a last sheet of large stock leaves smaller stock to move to
    Layout first;
    ASSERT_EQ(greedyFill(first, usage, order, c), 0);
    c.largestStockFirst = false;
    const dense::Shapes shapes = dense::buildShapes(c);
    const dense::Model model{c, shapes};
    dense::State full = model.fromLayout(first);
    ASSERT_GE(full.sheets.size(), 2u);
    // The top of the first sheet taken off: room there, and instances to insert.
    dense::State missing = full;
    std::vector<dense::Item> kept;
    const std::int32_t top = model.usedLength(full, 0) * 6 / 10;
    for (const dense::Item& item : full.items)
        if (item.sheet == 0 && item.y + model.raster(item).height > top)
            missing.unplaced.push_back(item.part);
        else
            kept.push_back(item);
    missing.items = kept;
    // The first sheet alone, the rest unplaced: moves that keep to one sheet.
    dense::State single = full;
    single.items.clear();
    single.unplaced.clear();
    single.sheets.resize(1);
    for (const dense::Item& item : full.items)
        (item.sheet == 0 ? single.items.push_back(item) : single.unplaced.push_back(item.part));
    const dense::State* starts[] = {&full, &missing, &single};

    std::atomic<bool> quit{false};
    // The moves onto stock pieces come below, beside pieces.
    for (int m = 0; m < static_cast<int>(Move::IntoPieces); ++m) {
        const Move move = static_cast<Move>(m);
        int applied = 0;
        for (std::uint32_t seed = 1; seed <= 9; ++seed) {
            dense::Lane lane(model, seed, quit, std::make_unique<NestContext>(c));
            // Stock in the middle changes only once emptying the last sheet has had its tries.
            for (int& tries : lane.emptyTries)
                tries = lane.tuning.emptyTriesBeforeRestock;
            dense::State s = *starts[seed % 3];
            if (!dense::allowedMoves(lane, s)[m] || !dense::runMove(lane, s, move)) continue;
            ++applied;
            const std::string what = "move " + std::to_string(m) + ", seed " + std::to_string(seed);
            NestOutcome out;
            out.layout = model.toLayout(s);
            out.unplaced = static_cast<std::int32_t>(s.unplaced.size());
            testing::checkLayout(c.parts, c.config, out.layout, what.c_str());
            checkCountsAndOrientations(c, out, what.c_str());
            for (const dense::SheetInfo& sheet : s.sheets)
                EXPECT_LE(sheet.rows, openSheet(sheet.stockIndex, c.config.sheets[sheet.stockIndex],
                                                c.config.margin, c.config.cell)
                                          .rows)
                    << what;
        }
        EXPECT_GT(applied, 0) << "move " << m << " never applied";
    }

    // Beside stock pieces (an L with a round defect, then a plain rectangle), which the search
    // keeps apart from the sheets: every move leaves the pieces' parts inside them, off the
    // defect and counted, and the piece moves find room there.
    NestContext job = c;
    Outline ring = {{0, 0}, {420, 0}, {420, 160}, {200, 160}, {200, 300}, {0, 300}};
    Outline defect;
    for (int k = 0; k < 24; ++k)
        defect.push_back({100 + 30 * std::cos(k * M_PI / 12), 80 + 30 * std::sin(k * M_PI / 12)});
    job.config.sheets.insert(job.config.sheets.begin(),
                             {stockPiece(ring, {defect}, job.config.gap),
                              stockPiece({{0, 0}, {300, 0}, {300, 200}, {0, 200}}, {}, 5)});
    std::vector<int> left = order;
    const Layout pieces = fillStockPieces(job, left, true);
    ASSERT_EQ(pieces.size(), 2u);
    Layout rest;
    usage.assign(c.config.sheets.size(), 0);
    greedyFill(rest, usage, left, c);
    const dense::Model beside{c, shapes, {job.config.sheets[0], job.config.sheets[1]}};
    dense::State start = beside.fromLayout(rest, pieces);
    // Room on the pieces: a few of their parts back onto the sheets' unplaced list.
    for (std::size_t k = 0; k < 3 && !start.pieceItems.empty(); ++k) {
        start.unplaced.push_back(start.pieceItems.back().part);
        start.pieceItems.pop_back();
    }
    int pieceMoves = 0;
    for (int m = 0; m < dense::kMoveCount; ++m)
        for (std::uint32_t seed = 1; seed <= 3; ++seed) {
            dense::Lane lane(beside, seed, quit, std::make_unique<NestContext>(c));
            dense::State s = start;
            if (!dense::allowedMoves(lane, s)[m] || !dense::runMove(lane, s, Move(m))) continue;
            const std::string what =
                "beside pieces, move " + std::to_string(m) + ", seed " + std::to_string(seed);
            pieceMoves += m >= static_cast<int>(Move::IntoPieces);
            NestOutcome out;
            out.layout = beside.toLayout(s);
            out.unplaced = static_cast<std::int32_t>(s.unplaced.size());
            testing::checkLayout(job.parts, job.config, out.layout, what.c_str());
            checkCountsAndOrientations(job, out, what.c_str());
            bool sheetSeen = false;  // the pieces come first
            for (const SheetLayout& sheet : out.layout) {
                EXPECT_FALSE(sheet.mask && sheetSeen) << what;
                sheetSeen = sheetSeen || !sheet.mask;
            }
        }
    EXPECT_GT(pieceMoves, 0) << "no piece move applied";
}

// A lone sheet shortened again and again on one lane (rows taken out at random heights): failed
// cuts leave a stuck arrangement that later tries start from, and every success is a valid,
// shorter layout with every part on it.
TEST(DenseMoves, ShorteningALoneSheetFromAStuckArrangementStaysValid) {
    std::mt19937 gen(47);
    const std::vector<NestPart> parts = testing::randomParts(gen, 5, 6, 200, 2);
    NestContext c = denseContext(parts, {{500, 5000, 0}}, 5, 10, 2);
    c.denseTuning.patientStallPasses = 6;  // quick failures, so stuck arrangements come often
    c.denseTuning.strikes = 1;
    c.rasterCache.setExactGap(exactGapRasters(c.config));
    std::vector<std::int32_t> usage(c.config.sheets.size(), 0);
    const std::vector<int> order = firstInstanceOrder(c.parts);
    c.angleStep = angleStepFor(order.size());
    Layout first;
    ASSERT_EQ(greedyFill(first, usage, order, c), 0);
    const dense::Shapes shapes = dense::buildShapes(c);
    const dense::Model model{c, shapes};
    dense::State s = model.fromLayout(first);
    ASSERT_EQ(s.sheets.size(), 1u);
    std::atomic<bool> quit{false};
    dense::Lane lane(model, 3, quit);
    int shortened = 0, retried = 0;
    for (int k = 0; k < 60; ++k) {
        const bool retry = lane.stuck.has_value();
        dense::State trial = s;
        const bool ok = dense::shrinkSheet(lane, trial, 0);
        retried += retry;
        if (!ok) continue;
        ASSERT_LT(model.usedLength(trial, 0), model.usedLength(s, 0));
        ASSERT_EQ(trial.items.size(), s.items.size());
        s = std::move(trial);
        ++shortened;
        NestOutcome out;
        out.layout = model.toLayout(s);
        testing::checkLayout(c.parts, c.config, out.layout, "shortened");
        checkCountsAndOrientations(c, out, "shortened");
    }
    EXPECT_GT(shortened, 0);
    EXPECT_GT(retried, 0);
}

// The chooser over an even sweep of its random input: a move not allowed never comes, none
// allowed gives ShrinkLast, every allowed move keeps at least its floor share, and credit and work
// move the shares the right way.
TEST(DenseMoves, TheChooserPicksAllowedMovesByGainPerWork) {
    using dense::Move;
    const DenseTuning tuning;
    dense::MoveChooser chooser(tuning);
    auto shares = [&](const dense::MoveMask& allowed) {
        std::vector<double> count(dense::kMoveCount, 0.0);
        const int draws = 20000;
        for (int k = 0; k < draws; ++k)
            count[static_cast<int>(chooser.choose(
                allowed, static_cast<std::uint32_t>(4294967295.0 * (k + 0.5) / draws)))] +=
                1.0 / draws;
        return count;
    };
    dense::MoveMask none{};
    EXPECT_EQ(chooser.choose(none, 12345), Move::ShrinkLast);
    dense::MoveMask some{};
    for (Move m : {Move::ShrinkLast, Move::Repack, Move::SwapPair})
        some[static_cast<int>(m)] = true;
    const std::vector<double> even = shares(some);
    for (int m = 0; m < dense::kMoveCount; ++m)
        EXPECT_NEAR(even[m], some[m] ? 1.0 / 3 : 0.0, 0.01) << m;
    chooser.credit(Move::SwapPair, true, true);
    chooser.charge(Move::Repack, 100 * static_cast<std::int64_t>(tuning.workUnit));
    const std::vector<double> learnt = shares(some);
    EXPECT_GT(learnt[static_cast<int>(Move::SwapPair)], even[static_cast<int>(Move::SwapPair)]);
    EXPECT_LT(learnt[static_cast<int>(Move::Repack)], even[static_cast<int>(Move::Repack)]);
    const double floor = tuning.floorShare / (1.0 + 3 * tuning.floorShare);
    for (int m = 0; m < dense::kMoveCount; ++m) {
        if (some[m]) {
            EXPECT_GE(learnt[m], floor - 0.01) << m;
        }
    }
}

}  // namespace
}  // namespace qks::nest
