#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "polygon_check.h"
#include "qks/nest/placement.h"
#include "qks/nest/session.h"

namespace qks::nest {
namespace {

using testing::checkLayout;
using testing::discPart;
using testing::lPart;
using testing::randomParts;
using testing::rectanglePart;

void setUp(NestSession& s, std::vector<NestPart> parts, std::vector<SheetStock> sheets,
           double gap = 5, double margin = 10, double cell = 2, bool rotate = true,
           bool mirror = true) {
    s.parts = std::move(parts);
    s.config.sheets = std::move(sheets);
    s.config.gap = gap;
    s.config.margin = margin;
    s.config.cell = cell;
    s.config.rotate = rotate;
    s.config.mirror = mirror;
    s.angleStep = angleStepFor(firstInstanceOrder(s.parts).size());
}

// ---- A literal, unoptimised reading of the placement rules, to hold the engine to. ----

bool bitAt(const std::vector<std::uint64_t>& bits, int words, int x, int y) {
    return (bits[static_cast<std::size_t>(y) * words + x / 64] >> (x % 64)) & 1;
}

std::optional<Candidate> referenceBest(const SheetLayout& sheet, int partIndex, NestSession& s) {
    const NestPart& part = s.parts[partIndex];
    std::optional<Candidate> best;
    for (const Orientation& o : orientationsFor(s, part)) {
        const PartRaster& r = rasterFor(s.rasterCache, partIndex, part, o.angle, o.mirrored,
                                        s.config.cell, s.config.gap);
        if (r.width > sheet.columns || r.height > sheet.rows) continue;
        std::vector<int> windowMax(sheet.columns, 0);
        for (int x = 0; x + r.width <= sheet.columns; ++x)
            windowMax[x] =
                *std::max_element(sheet.skyline.begin() + x, sheet.skyline.begin() + x + r.width);
        for (int x = 0; x + r.width <= sheet.columns; ++x) {
            if (x > 0 && windowMax[x] == windowMax[x - 1]) continue;
            int y = 0;
            for (int i = 0; i < r.width; ++i)
                if (r.bottom[i] >= 0) y = std::max(y, sheet.skyline[x + i] - r.bottom[i]);
            if (y + r.height > sheet.rows) continue;
            bool hit = false;
            for (int i = 0; i < r.height && !hit; ++i)
                for (int c = 0; c < r.width && !hit; ++c)
                    hit = bitAt(r.bits, r.wordsPerRow, c, i) &&
                          bitAt(sheet.occupancy, sheet.wordsPerRow, x + c, y + i);
            if (hit) continue;
            const std::int64_t top = y + r.height;
            const std::int64_t score =
                (top * 1000000 + x) * 1000 + (o.angle != 0 ? 1 : 0) + (o.mirrored ? 2 : 0);
            if (!best || score < best->score)
                best =
                    Candidate{-1, o.angle, o.mirrored, x, y, static_cast<std::int32_t>(top), score};
        }
    }
    return best;
}

void referenceStamp(SheetLayout& sheet, const NestPart& part, int partIndex, const Candidate& c,
                    NestSession& s) {
    const PartRaster& r =
        rasterFor(s.rasterCache, partIndex, part, c.angle, c.mirrored, s.config.cell, s.config.gap);
    for (int i = 0; i < r.height; ++i)
        for (int x = 0; x < r.width; ++x)
            if (bitAt(r.bits, r.wordsPerRow, x, i)) {
                const int col = c.column + x;
                sheet.occupancy[static_cast<std::size_t>(c.row + i) * sheet.wordsPerRow +
                                col / 64] |= std::uint64_t{1} << (col % 64);
            }
    for (int i = 0; i < r.width; ++i)
        if (r.top[i] >= 0)
            sheet.skyline[c.column + i] =
                std::max(sheet.skyline[c.column + i], r.top[i] + c.row + 1);
    sheet.placements.push_back({part.id, partIndex, c.angle, c.mirrored, c.column, c.row});
    sheet.usedArea += part.area;
}

bool referencePlace(Layout& layout, int partIndex, NestSession& s, std::vector<int>& usage,
                    bool allowNewSheet) {
    const NestPart& part = s.parts[partIndex];
    std::optional<Candidate> best;
    for (std::size_t k = 0; k < layout.size(); ++k) {
        auto c = referenceBest(layout[k], partIndex, s);
        if (c && (!best || c->score < best->score)) {
            best = c;
            best->sheet = static_cast<int>(k);
        }
    }
    if (best) {
        referenceStamp(layout[best->sheet], part, partIndex, *best, s);
        return true;
    }
    if (!allowNewSheet) return false;
    int chosen = -1;
    double chosenArea = 0;
    for (std::size_t k = 0; k < s.config.sheets.size(); ++k) {
        const SheetStock& stock = s.config.sheets[k];
        if (stock.count >= 1 && usage[k] >= stock.count) continue;
        const SheetLayout scratch =
            openSheet(static_cast<int>(k), stock, s.config.margin, s.config.cell);
        auto c = referenceBest(scratch, partIndex, s);
        if (!c) continue;
        const double area = stock.width * stock.height;
        if (chosen < 0 || area < chosenArea - 1e-6 ||
            (std::fabs(area - chosenArea) < 1e-6 && c->score < best->score)) {
            chosen = static_cast<int>(k);
            chosenArea = area;
            best = c;
        }
    }
    if (chosen < 0) return false;
    layout.push_back(openSheet(chosen, s.config.sheets[chosen], s.config.margin, s.config.cell));
    referenceStamp(layout.back(), part, partIndex, *best, s);
    ++usage[chosen];
    return true;
}

void expectSameLayout(const Layout& a, const Layout& b, const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t k = 0; k < a.size(); ++k) {
        EXPECT_EQ(a[k].stockIndex, b[k].stockIndex) << what;
        ASSERT_EQ(a[k].placements.size(), b[k].placements.size()) << what << " sheet " << k;
        for (std::size_t j = 0; j < a[k].placements.size(); ++j)
            EXPECT_TRUE(a[k].placements[j] == b[k].placements[j])
                << what << " sheet " << k << " placement " << j;
        EXPECT_EQ(a[k].occupancy, b[k].occupancy) << what;
        EXPECT_EQ(a[k].skyline, b[k].skyline) << what;
        EXPECT_DOUBLE_EQ(a[k].usedArea, b[k].usedArea) << what;
    }
}

TEST(Placement, EngineMatchesTheLiteralRulesOnRandomJobs) {
    std::mt19937 gen(20261207);
    for (int round = 0; round < 12; ++round) {
        NestSession s;
        const double cell = round % 3 == 0 ? 5 : 2;
        const double gap = round % 4 == 0 ? 0 : 4;
        std::vector<SheetStock> sheets{
            {900, 500, round % 2 == 0 ? 2 : 0}, {700, 600, 1}, {1200, 400, 0}};
        setUp(s, randomParts(gen, 5, 6, 260, cell), sheets, gap, 10, cell, round % 5 != 4,
              round % 3 != 2);
        s.angleStep = round % 2 == 0 ? 30 : 45;  // fewer orientations keep the reference quick
        std::vector<int> order = firstInstanceOrder(s.parts);
        if (round % 2 == 1) std::shuffle(order.begin(), order.end(), gen);
        Layout engine, reference;
        std::vector<std::int32_t> usageEngine(sheets.size(), 0);
        std::vector<int> usageReference(sheets.size(), 0);
        int unplacedEngine = greedyFill(engine, usageEngine, order, s);
        int unplacedReference = 0;
        for (int p : order)
            if (!referencePlace(reference, p, s, usageReference, true)) ++unplacedReference;
        EXPECT_EQ(unplacedEngine, unplacedReference) << "round " << round;
        expectSameLayout(engine, reference, "fill round " + std::to_string(round));
        // Take placements out of a sheet, rebuild it and put them back without new sheets.
        for (int move = 0; move < 4 && !engine.empty(); ++move) {
            const std::size_t sheet = gen() % engine.size();
            auto& list = engine[sheet].placements;
            if (list.empty()) continue;
            const std::size_t at = gen() % list.size();
            const Placement taken = list[at];
            list.erase(list.begin() + at);
            reference[sheet].placements.erase(reference[sheet].placements.begin() + at);
            rebuildSheet(engine[sheet], s);
            // The reference rebuilds by restamping through its own stamp.
            SheetLayout& ref = reference[sheet];
            std::vector<Placement> keep;
            keep.swap(ref.placements);
            std::fill(ref.occupancy.begin(), ref.occupancy.end(), 0);
            std::fill(ref.skyline.begin(), ref.skyline.end(), 0);
            ref.usedArea = 0;
            for (const Placement& p : keep)
                referenceStamp(ref, s.parts[p.partIndex], p.partIndex,
                               Candidate{-1, p.angle, p.mirrored, p.column, p.row, 0, 0}, s);
            const bool a = placeInstance(engine, taken.partIndex, s, usageEngine, false);
            const bool b = referencePlace(reference, taken.partIndex, s, usageReference, false);
            EXPECT_EQ(a, b) << "round " << round << " move " << move;
            expectSameLayout(engine, reference,
                             "round " + std::to_string(round) + " move " + std::to_string(move));
        }
        // The public single-sheet search agrees with the reference on every sheet.
        for (std::size_t k = 0; k < engine.size(); ++k)
            for (std::size_t p = 0; p < s.parts.size(); ++p) {
                const auto a = bestOnSheet(engine[k], s.parts[p], static_cast<int>(p),
                                           orientationsFor(s, s.parts[p]), s);
                const auto b = referenceBest(engine[k], static_cast<int>(p), s);
                ASSERT_EQ(a.has_value(), b.has_value());
                if (a) {
                    EXPECT_EQ(a->score, b->score);
                }
            }
    }
}

TEST(Placement, InvariantsHoldOnRandomPartSets) {
    std::mt19937 gen(7);
    for (int round = 0; round < 40; ++round) {
        NestSession s;
        const double cells[] = {1, 2, 3.5};
        const double cell = cells[round % 3];
        const double gaps[] = {0, 5, 3, 12};
        const bool limited = round % 2 == 0;
        std::vector<SheetStock> sheets{{1500, 800, limited ? 2 : 0}, {1000, 1000, limited ? 1 : 0}};
        if (round % 5 == 0) sheets.push_back({600, 300, 0});
        setUp(s, randomParts(gen, 4 + round % 5, 8, 420, cell), sheets, gaps[round % 4],
              round % 3 == 0 ? 0 : 15, cell, round % 7 != 3, round % 2 == 1);
        if (round % 3 == 1) s.angleStep = 20;
        std::vector<int> order = firstInstanceOrder(s.parts);
        if (round % 2) std::shuffle(order.begin(), order.end(), gen);
        Layout layout;
        std::vector<std::int32_t> usage(sheets.size(), 0);
        const int unplaced = greedyFill(layout, usage, order, s);
        const std::string what = "round " + std::to_string(round);
        checkLayout(s.parts, s.config, layout, what.c_str());
        EXPECT_EQ(placementCount(layout) + unplaced, order.size()) << what;
        std::vector<std::int32_t> recount(sheets.size(), 0);
        recountUsage(layout, recount);
        EXPECT_EQ(recount, usage) << what;
    }
}

TEST(Placement, EdgeCases) {
    // A part larger than every sheet: unplaced, no sheet opened for it.
    {
        NestSession s;
        setUp(s, {rectanglePart(1, 5000, 5000, 2), rectanglePart(2, 100, 50, 1)},
              {{3000, 1500, 0}, {2000, 1000, 0}});
        Layout layout;
        std::vector<std::int32_t> usage(2, 0);
        EXPECT_EQ(greedyFill(layout, usage, firstInstanceOrder(s.parts), s), 2);
        ASSERT_EQ(layout.size(), 1u);
        EXPECT_EQ(layout[0].stockIndex, 1) << "the smaller sheet takes the small part";
    }
    // Limited stock: a count of 2 yields at most two sheets, the rest goes elsewhere or stays.
    {
        NestSession s;
        setUp(s, {rectanglePart(1, 900, 900, 5)}, {{1000, 1000, 2}, {1500, 1000, 1}});
        Layout layout;
        std::vector<std::int32_t> usage(2, 0);
        EXPECT_EQ(greedyFill(layout, usage, firstInstanceOrder(s.parts), s), 2);
        EXPECT_EQ(usage, (std::vector<std::int32_t>{2, 1}));
        EXPECT_EQ(placementCount(layout), 3u);
    }
    // Rotate and mirror off: only the plain orientation.
    {
        NestSession s;
        setUp(s, {lPart(1, 300, 200, 12), discPart(2, 80, 20, 5)}, {{1500, 1000, 0}}, 5, 10, 2,
              false, false);
        Layout layout;
        std::vector<std::int32_t> usage(1, 0);
        greedyFill(layout, usage, firstInstanceOrder(s.parts), s);
        for (const SheetLayout& sheet : layout)
            for (const Placement& p : sheet.placements) {
                EXPECT_EQ(p.angle, 0);
                EXPECT_FALSE(p.mirrored);
            }
    }
    // Equal stock areas are decided by the candidate score, then by list order.
    {
        NestSession s;
        // Wider than tall: lies flat on the 3000 x 1500 sheet but must stand up on
        // 2250 x 2000, which scores worse (higher top).
        setUp(s, {rectanglePart(1, 2100, 300, 1)}, {{2250, 2000, 0}, {3000, 1500, 0}}, 0, 10, 2,
              true, false);
        s.angleStep = 90;
        Layout layout;
        std::vector<std::int32_t> usage(2, 0);
        ASSERT_TRUE(placeInstance(layout, 0, s, usage, true));
        EXPECT_EQ(layout[0].stockIndex, 0) << "2100 fits 2250 flat too: equal scores, first";
        // A long strip fits the 2250 x 2000 sheet only diagonally (high top) and the
        // 3000 x 1500 sheet lying flat (low top): the score picks the later entry.
        NestSession t;
        setUp(t, {rectanglePart(1, 2600, 100, 1)}, {{2250, 2000, 0}, {3000, 1500, 0}}, 0, 10, 2,
              true, false);
        t.angleStep = 45;
        Layout other;
        std::vector<std::int32_t> usage2(2, 0);
        ASSERT_TRUE(placeInstance(other, 0, t, usage2, true));
        EXPECT_EQ(other[0].stockIndex, 1);
        EXPECT_EQ(other[0].placements[0].angle, 0);
        t.config.sheets.pop_back();
        Layout alone;
        ASSERT_TRUE(placeInstance(alone, 0, t, usage2, true));
        EXPECT_EQ(alone[0].placements[0].angle % 90, 45) << "it does fit diagonally";
    }
    // A sheet narrower than twice the margin plus a cell still has a one-cell grid.
    {
        const SheetLayout tiny = openSheet(0, {21, 15, 0}, 10, 2);
        EXPECT_EQ(tiny.columns, 1);
        EXPECT_EQ(tiny.rows, 1);
        EXPECT_EQ(tiny.wordsPerRow, 1);
        const SheetLayout grid = openSheet(1, {3000, 1500, 0}, 10, 2);
        EXPECT_EQ(grid.columns, 1490);
        EXPECT_EQ(grid.rows, 740);
        EXPECT_EQ(grid.wordsPerRow, 24);
        EXPECT_EQ(grid.occupancy.size(), 740u * 24u);
        EXPECT_EQ(grid.stockIndex, 1);
    }
    // Empty layout.
    EXPECT_EQ(utilisation({}), 0.0);
    EXPECT_EQ(highestRow({}), 0);
    // Stop flag: instances not tried are not counted.
    {
        NestSession s;
        setUp(s, {rectanglePart(1, 5000, 5000, 3)}, {{3000, 1500, 0}});
        Layout layout;
        std::vector<std::int32_t> usage(1, 0);
        bool stop = true;
        s.stopRequested = [&stop] { return stop; };
        EXPECT_EQ(greedyFill(layout, usage, firstInstanceOrder(s.parts), s), 0);
        stop = false;
        EXPECT_EQ(greedyFill(layout, usage, firstInstanceOrder(s.parts), s), 3);
    }
}

TEST(Placement, OrientationListsAndAngleSteps) {
    struct Case {
        bool rotate, mirror;
        int step;
        double area;
        std::size_t count;
        int secondAngle;
    };
    const Case cases[] = {
        {true, true, 10, 100, 72, 10},     {true, false, 10, 100, 36, 10},
        {true, true, 0, 100, 72, 10},      {true, false, 5, 100, 72, 5},
        {true, false, 5, 800001, 24, 15},  {true, false, 5, 800000, 72, 5},
        {true, false, 20, 900000, 18, 20}, {false, true, 5, 100, 2, 0},
        {false, false, 5, 100, 1, -1},     {true, false, 7, 100, 52, 7},
    };
    for (const Case& c : cases) {
        NestSession s;
        s.config.rotate = c.rotate;
        s.config.mirror = c.mirror;
        s.angleStep = c.step;
        NestPart part;
        part.area = c.area;
        const auto list = orientationsFor(s, part);
        EXPECT_EQ(list.size(), c.count) << c.step << " " << c.area;
        if (c.secondAngle >= 0) {
            EXPECT_EQ(list[1].angle, c.secondAngle);
        }
        for (std::size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list[i].mirrored, c.mirror && i >= list.size() / 2);
            EXPECT_GE(list[i].angle, 0);
            EXPECT_LT(list[i].angle, 360);
        }
    }
    const std::pair<std::size_t, int> steps[] = {{0, 5}, {80, 5}, {81, 10}, {200, 10}, {201, 15}};
    for (auto [n, step] : steps)
        EXPECT_EQ(angleStepFor(n), step) << n;
}

TEST(Placement, FirstOrderIsLargestFirstAndRebuildKeepsPositions) {
    std::vector<NestPart> parts{rectanglePart(1, 10, 10, 2), rectanglePart(2, 30, 30, 1),
                                rectanglePart(3, 20, 20, 0), rectanglePart(4, 5, 5, -1)};
    parts[0].area = NAN;  // a broken record must not break the ordering
    EXPECT_EQ(firstInstanceOrder(parts), (std::vector<int>{1, 0, 0}));

    NestSession s;
    setUp(s, {rectanglePart(1, 100, 40, 6)}, {{500, 300, 0}});
    Layout layout;
    std::vector<std::int32_t> usage(1, 0);
    greedyFill(layout, usage, firstInstanceOrder(s.parts), s);
    ASSERT_EQ(layout.size(), 1u);
    SheetLayout copy = layout[0];
    copy.placements.erase(copy.placements.begin());
    copy.placements.push_back({1, 99, 0, false, 0, 0});  // unknown part index: dropped
    rebuildSheet(copy, s);
    EXPECT_EQ(copy.placements.size(), layout[0].placements.size() - 1);
    for (std::size_t i = 0; i < copy.placements.size(); ++i)
        EXPECT_TRUE(copy.placements[i] == layout[0].placements[i + 1]);
    EXPECT_NEAR(copy.usedArea, layout[0].usedArea - 4000, 1e-9);
}

}  // namespace
}  // namespace qks::nest
