#include "qks/nest/placement.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "qks/nest/context.h"
#include "qks/nest/stock.h"

namespace qks::nest {
namespace {

constexpr std::int32_t kFarBelow = 1 << 29;  // rest value of an empty raster column
constexpr std::int64_t kNoScore = std::numeric_limits<std::int64_t>::max();

std::int64_t scoreOf(std::int32_t top, std::int32_t column, const Orientation& o) {
    return (std::int64_t{top} * 1000000 + column) * 1000 + (o.angle != 0 ? 1 : 0) +
           (o.mirrored ? 2 : 0);
}

void gridSize(const SheetStock& stock, double margin, double cell, std::int32_t& columns,
              std::int32_t& rows) {
    auto cells = [&](double length) {
        const double n = std::floor((length - 2.0 * margin) / cell);
        if (!(n >= 1.0)) return std::int32_t{1};
        return static_cast<std::int32_t>(std::min(n, double(kMaxGridSide)));
    };
    columns = cells(stock.width);
    rows = cells(stock.height);
    // Far beyond any real sheet; kept bounded so one sheet's bitmap stays addressable.
    if (std::int64_t{columns} * rows > kMaxGridCells)
        rows = static_cast<std::int32_t>(kMaxGridCells / columns);
}

// The best position found so far: the lowest score, then the earliest orientation in list
// order (only orientations of equal angle flags can tie).
struct Best {
    std::int64_t score = kNoScore;
    int orientation = -1;
    std::int32_t column = 0;
    std::int32_t row = 0;
    std::int32_t top = 0;
    bool found() const { return orientation >= 0; }
    std::int32_t topBound() const {
        return found() ? top : std::numeric_limits<std::int32_t>::max();
    }
};

bool collides(const SheetLayout& sheet, const PartRaster& raster, int x, int y) {
    const int words = sheet.wordsPerRow;
    for (int i = 0; i < raster.height; ++i) {
        const std::uint64_t* rowBits =
            &raster.bits[static_cast<std::size_t>(i) * raster.wordsPerRow];
        const std::uint64_t* occ = &sheet.occupancy[static_cast<std::size_t>(y + i) * words];
        for (int k = 0; k < raster.wordsPerRow; ++k) {
            const std::uint64_t g = rowBits[k];
            if (g == 0) continue;
            const int e = x + 64 * k;
            const int s = e / 64;
            const int shift = e % 64;
            if (s >= words) continue;
            if ((g << shift) & occ[s]) return true;
            if (shift > 0 && s + 1 < words && ((g >> (64 - shift)) & occ[s + 1])) return true;
        }
    }
    return false;
}

// Maxima of the skyline over runs of 2^L columns for every level L (a sparse table), and per
// level the smallest of them. Built once per sheet and search.
void skylineLevels(const SheetLayout& sheet, PlacementCache& cache) {
    const int n = sheet.columns;
    cache.skyLevels.clear();
    int levels = 0;
    for (int width = 1; width <= n; width *= 2)
        ++levels;
    if (static_cast<int>(cache.skyRuns.size()) < levels) cache.skyRuns.resize(levels);
    cache.skyRuns[0].assign(sheet.skyline.begin(), sheet.skyline.end());
    for (int level = 0, width = 1; level < levels; ++level, width *= 2) {
        std::vector<std::int32_t>& run = cache.skyRuns[level];
        if (level > 0) {
            const std::vector<std::int32_t>& prev = cache.skyRuns[level - 1];
            const int half = width / 2;
            run.resize(n - width + 1);
            for (int x = 0; x + width <= n; ++x)
                run[x] = std::max(prev[x], prev[x + half]);
        }
        cache.skyLevels.push_back(*std::min_element(run.begin(), run.end()));
    }
}

// Sliding maximum of the skyline over windows of `w` columns for every start column
// 0 .. columns - w: two overlapping power-of-two runs cover each window.
void windowMaxima(int columns, int w, PlacementCache& cache) {
    int level = 0;
    while ((2 << level) <= w)
        ++level;
    const std::int32_t* m = cache.skyRuns[level].data();
    const int shift = w - (1 << level);
    cache.windowMax.resize(columns - w + 1);
    std::int32_t* out = cache.windowMax.data();
    for (int x = 0; x + w <= columns; ++x)
        out[x] = std::max(m[x], m[x + shift]);
}

// Resting row of a raster at column x: the lowest row at which every occupied raster column
// sits on or above the skyline. Gives up (returns a value above `limit`) as soon as the row
// exceeds `limit`.
std::int32_t restingRow(const std::int32_t* sky, const std::int32_t* rest, int w,
                        std::int32_t limit) {
    std::int32_t y = 0;
    constexpr int kChunk = 32;
    for (int i0 = 0; i0 < w; i0 += kChunk) {
        const int end = std::min(w, i0 + kChunk);
        std::int32_t m = y;
        for (int i = i0; i < end; ++i)
            m = std::max(m, sky[i] - rest[i]);
        y = m;
        if (y > limit) return y;
    }
    return y;
}

// For levels L = 0, 1, ... while 2^L <= values.size(): the minimum over start positions of the
// maximum of 2^L consecutive values (doubling: a run of 2W is two runs of W).
void runLevels(const std::int32_t* values, int n, std::vector<std::int32_t>& run,
               std::vector<std::int32_t>& next, std::vector<std::int32_t>& levels) {
    levels.clear();
    run.assign(values, values + n);
    for (int width = 1; width <= n; width *= 2) {
        const int count = n - width + 1;
        std::int32_t low = std::numeric_limits<std::int32_t>::max();
        for (int x = 0; x < count; ++x)
            low = std::min(low, run[x]);
        levels.push_back(low);
        if (width * 2 > n) break;
        const int nextCount = n - 2 * width + 1;
        next.resize(nextCount);
        for (int x = 0; x < nextCount; ++x)
            next[x] = std::max(run[x], run[x + width]);
        run.swap(next);
    }
}

std::int32_t lowestSkyline(const SheetLayout& sheet) {
    std::int32_t low = std::numeric_limits<std::int32_t>::max();
    for (std::int32_t v : sheet.skyline)
        low = std::min(low, v);
    return low;
}

// Searches one sheet over the orientation set and improves `best`. Positions whose top lies
// above `boundTop` (the best top found on other sheets) cannot win and are not evaluated.
//
// Pruning keeps the result exact: every resting row is at least skyline[x + i] - bottom[i] for
// each occupied raster column i, so the lowest column of the raster and the window maximum
// give lower bounds of the top edge, and a position whose bound is above the best top so far
// cannot have a lower score.
void searchSheet(const SheetLayout& sheet, const OrientationSet& set, PlacementCache& cache,
                 std::int32_t boundTop, std::int32_t minSky, Best& best) {
    const std::int32_t* sky = sheet.skyline.data();
    skylineLevels(sheet, cache);
    const std::vector<std::int32_t>& skyLevels = cache.skyLevels;
    for (int oi : set.byHeight) {
        const PartRaster& r = *set.rasters[oi];
        if (r.oversize || r.width > sheet.columns || r.height > sheet.rows) continue;
        const int w = r.width;
        const int h = r.height;
        const bool hasCells = r.minBottom >= 0;
        std::int32_t lowestRow = 0;
        if (hasCells) {
            lowestRow = std::max(0, minSky - r.minBottom);
            const std::vector<std::int32_t>& runs = set.runBottom[oi];
            for (std::size_t level = 1; level < runs.size() && level < skyLevels.size(); ++level)
                lowestRow = std::max(lowestRow, skyLevels[level] - runs[level]);
        }
        const std::int32_t lowestTop = h + lowestRow;
        if (lowestTop > std::min(boundTop, best.topBound())) continue;
        windowMaxima(sheet.columns, w, cache);
        const std::int32_t* wm = cache.windowMax.data();
        const std::int32_t* rest = set.rest[oi].data();
        const Orientation& o = set.orientations[oi];
        const std::vector<int>& samples = set.samples[oi];
        // First pass: the columns the sweep evaluates, each with a cheap lower bound of its
        // resting row.
        auto& positions = cache.positions;
        positions.clear();
        std::int32_t lowestBound = std::numeric_limits<std::int32_t>::max();
        int probe = -1;
        {
            const std::int32_t limitTop = std::min(boundTop, best.topBound());
            for (int x = 0; x + w <= sheet.columns; ++x) {
                if (x > 0 && wm[x] == wm[x - 1]) continue;
                std::int32_t lb = 0;
                for (int c : samples)
                    lb = std::max(lb, sky[x + c] - rest[c]);
                if (r.allColumnsSet) lb = std::max(lb, wm[x] - r.maxBottom);
                if (lb + h > limitTop || lb + h > sheet.rows) continue;
                positions.push_back({x, lb});
                if (lb < lowestBound) {
                    lowestBound = lb;
                    probe = static_cast<int>(positions.size()) - 1;
                }
            }
        }
        if (positions.empty()) continue;
        // The most promising column first gives a tight bound for the rest.
        auto evaluate = [&](int x, std::int32_t lb) {
            const std::int32_t limitTop = std::min(boundTop, best.topBound());
            if (lb + h > limitTop) return;
            const std::int32_t y = restingRow(sky + x, rest, w, limitTop - h);
            if (y + h > limitTop || y + h > sheet.rows) return;
            const std::int32_t top = y + h;
            const std::int64_t score = scoreOf(top, x, o);
            if (best.found() &&
                (score > best.score || (score == best.score && oi > best.orientation)))
                return;
            if (collides(sheet, r, x, y)) return;
            best.score = score;
            best.orientation = oi;
            best.column = x;
            best.row = y;
            best.top = top;
        };
        evaluate(positions[probe].first, positions[probe].second);
        for (const auto& [x, lb] : positions)
            evaluate(x, lb);
    }
}

OrientationSet makeSet(const std::vector<Orientation>& orientations, NestContext& context,
                       int partIndex, const NestPart& part) {
    OrientationSet set;
    set.orientations = orientations;
    for (const Orientation& o : orientations) {
        const PartRaster& r = rasterFor(context.rasterCache, partIndex, part, o.angle, o.mirrored,
                                        context.config.cell, context.config.gap);
        set.rasters.push_back(&r);
        std::vector<std::int32_t> rest(r.bottom.size());
        for (std::size_t i = 0; i < rest.size(); ++i)
            rest[i] = r.bottom[i] >= 0 ? r.bottom[i] : kFarBelow;
        // Occupied columns spread over the width, the lowest one first: cheap lower bounds of
        // the resting row before the full sweep.
        std::vector<int> samples;
        if (r.lowestColumn >= 0) samples.push_back(r.lowestColumn);
        constexpr int kSamples = 8;
        for (int k = 0; k < kSamples && r.width > 0; ++k) {
            const int c =
                static_cast<int>((static_cast<long long>(r.width - 1) * k) / (kSamples - 1));
            if (c < static_cast<int>(r.bottom.size()) && r.bottom[c] >= 0 && c != r.lowestColumn)
                samples.push_back(c);
        }
        std::vector<std::int32_t> runBottom, run, next;
        runLevels(rest.data(), static_cast<int>(rest.size()), run, next, runBottom);
        set.rest.push_back(std::move(rest));
        set.samples.push_back(std::move(samples));
        set.runBottom.push_back(std::move(runBottom));
    }
    set.byHeight.resize(orientations.size());
    for (std::size_t i = 0; i < orientations.size(); ++i)
        set.byHeight[i] = static_cast<int>(i);
    std::stable_sort(set.byHeight.begin(), set.byHeight.end(),
                     [&](int a, int b) { return set.rasters[a]->height < set.rasters[b]->height; });
    set.valid = true;
    return set;
}

const OrientationSet& orientationSet(NestContext& context, int partIndex) {
    auto& sets = context.placementCache.sets;
    if (sets.size() < context.parts.size()) sets.resize(context.parts.size());
    OrientationSet& set = sets[partIndex];
    const NestConfig& c = context.config;
    if (!set.valid || set.step != context.angleStep || set.rotate != c.rotate ||
        set.mirror != c.mirror) {
        const NestPart& part = context.parts[partIndex];
        set = makeSet(orientationsFor(context, part), context, partIndex, part);
        set.step = context.angleStep;
        set.rotate = c.rotate;
        set.mirror = c.mirror;
    }
    return set;
}

// The position an empty sheet of the given grid offers: the bottom-left corner, in the
// orientation of the lowest raster (then the angle and mirror preference, then list order).
Best emptySheetBest(std::int32_t columns, std::int32_t rows, const OrientationSet& set) {
    Best best;
    for (std::size_t oi = 0; oi < set.rasters.size(); ++oi) {
        const PartRaster& r = *set.rasters[oi];
        if (r.oversize || r.width > columns || r.height > rows) continue;
        const std::int64_t score = scoreOf(r.height, 0, set.orientations[oi]);
        if (score < best.score) {
            best.score = score;
            best.orientation = static_cast<int>(oi);
            best.column = 0;
            best.row = 0;
            best.top = r.height;
        }
    }
    return best;
}

void stampBest(SheetLayout& sheet, const OrientationSet& set, const Best& best,
               const NestPart& part, int partIndex) {
    const Orientation& o = set.orientations[best.orientation];
    stamp(sheet, *set.rasters[best.orientation], best.column, best.row,
          Placement{part.id, partIndex, o.angle, o.mirrored, best.column, best.row});
    sheet.usedArea += part.area;
}

}  // namespace

std::int32_t angleStepFor(std::size_t instanceCount) {
    if (instanceCount <= 80) return 5;
    if (instanceCount <= 200) return 10;
    return 15;
}

std::vector<Orientation> orientationsFor(const NestContext& context, const NestPart& part) {
    std::vector<Orientation> out;
    const bool mirror = context.config.mirror;
    const auto own = context.config.partRotations.find(part.id);
    if (own != context.config.partRotations.end() && !own->second.free) {
        for (int pass = 0; pass < (mirror ? 2 : 1); ++pass)
            for (std::int32_t a : own->second.angles)
                out.push_back({a, pass == 1});
        return out;
    }
    const bool rotate =
        own != context.config.partRotations.end() ? own->second.free : context.config.rotate;
    if (rotate) {
        std::int32_t step = context.angleStep < 1 ? 10 : context.angleStep;
        if (part.area > 800000 && step < 15) step = 15;
        for (int pass = 0; pass < (mirror ? 2 : 1); ++pass)
            for (std::int32_t a = 0; a < 360; a += step)
                out.push_back({a, pass == 1});
    } else {
        out.push_back({0, false});
        if (mirror) out.push_back({0, true});
    }
    return out;
}

SheetLayout openSheet(std::int32_t stockIndex, const SheetStock& stock, double margin,
                      double cell) {
    SheetLayout sheet;
    sheet.stockIndex = stockIndex;
    sheet.width = stock.width;
    sheet.height = stock.height;
    gridSize(stock, margin, cell, sheet.columns, sheet.rows);
    sheet.wordsPerRow = (sheet.columns + 63) / 64;
    sheet.occupancy.assign(static_cast<std::size_t>(sheet.rows) * sheet.wordsPerRow, 0);
    sheet.skyline.assign(sheet.columns, 0);
    if (stock.shape) {
        sheet.mask = stock.shape->mask(margin, cell, sheet.columns, sheet.rows);
        sheet.occupancy = sheet.mask->bits;
        sheet.skyline = sheet.mask->floor;
        sheet.stockArea = stock.shape->area;
    }
    return sheet;
}

std::optional<Candidate> bestOnSheet(const SheetLayout& sheet, const NestPart& part, int partIndex,
                                     const std::vector<Orientation>& orientations,
                                     NestContext& context) {
    const OrientationSet set = makeSet(orientations, context, partIndex, part);
    Best best;
    searchSheet(sheet, set, context.placementCache, std::numeric_limits<std::int32_t>::max(),
                lowestSkyline(sheet), best);
    if (!best.found()) return std::nullopt;
    const Orientation& o = set.orientations[best.orientation];
    return Candidate{-1, o.angle, o.mirrored, best.column, best.row, best.top, best.score};
}

void stamp(SheetLayout& sheet, const PartRaster& raster, int column, int row,
           const Placement& placement) {
    const int words = sheet.wordsPerRow;
    for (int i = 0; i < raster.height && !raster.oversize; ++i) {
        if (row + i < 0 || row + i >= sheet.rows) continue;
        const std::uint64_t* rowBits =
            &raster.bits[static_cast<std::size_t>(i) * raster.wordsPerRow];
        std::uint64_t* occ = &sheet.occupancy[static_cast<std::size_t>(row + i) * words];
        for (int k = 0; k < raster.wordsPerRow; ++k) {
            const std::uint64_t g = rowBits[k];
            if (g == 0) continue;
            const int e = column + 64 * k;
            const int s = e / 64;
            const int shift = e % 64;
            if (s >= words) continue;
            occ[s] |= g << shift;
            if (shift > 0 && s + 1 < words) occ[s + 1] |= g >> (64 - shift);
        }
    }
    for (int i = 0; i < static_cast<int>(raster.top.size()); ++i) {
        if (raster.top[i] < 0 || column + i >= sheet.columns) continue;
        std::int32_t& sky = sheet.skyline[column + i];
        sky = std::max(sky, raster.top[i] + row + 1);
        // On a stock piece nothing can rest on cells that are not stock: the column goes on
        // above them (a defect), so later parts may stand beyond it.
        if (sheet.mask) {
            const std::uint64_t* bits = sheet.mask->bits.data();
            const int c = column + i;
            while (sky < sheet.rows &&
                   ((bits[static_cast<std::size_t>(sky) * words + c / 64] >> (c % 64)) & 1) != 0)
                ++sky;
        }
    }
    sheet.placements.push_back(placement);
}

bool placeInstance(Layout& layout, int partIndex, NestContext& context,
                   std::vector<std::int32_t>& usage, bool allowNewSheet) {
    const NestPart& part = context.parts[partIndex];
    const OrientationSet& set = orientationSet(context, partIndex);
    Best chosen;
    int chosenSheet = -1;
    // Sheets with the lowest skyline first, so a good bound prunes the others early; the
    // result is the same as visiting them in layout order (equal scores go to the earlier
    // sheet).
    auto& visit = context.placementCache.sheetOrder;
    visit.clear();
    for (std::size_t s = 0; s < layout.size(); ++s)
        visit.push_back({lowestSkyline(layout[s]), static_cast<int>(s)});
    std::sort(visit.begin(), visit.end());
    for (const auto& [minSky, s] : visit) {
        Best onSheet;
        searchSheet(layout[s], set, context.placementCache, chosen.topBound(), minSky, onSheet);
        if (onSheet.found() &&
            (onSheet.score < chosen.score || (onSheet.score == chosen.score && s < chosenSheet))) {
            chosen = onSheet;
            chosenSheet = s;
        }
    }
    if (chosenSheet >= 0) {
        stampBest(layout[chosenSheet], set, chosen, part, partIndex);
        return true;
    }
    if (!allowNewSheet) return false;

    const NestConfig& c = context.config;
    if (usage.size() < c.sheets.size()) usage.resize(c.sheets.size(), 0);
    int entry = -1;
    double entryArea = 0.0;
    for (std::size_t k = 0; k < c.sheets.size(); ++k) {
        const SheetStock& stock = c.sheets[k];
        if (stock.count >= 1 && usage[k] >= stock.count) continue;
        std::int32_t columns = 1, rows = 1;
        gridSize(stock, c.margin, c.cell, columns, rows);
        const Best fit = emptySheetBest(columns, rows, set);
        if (!fit.found()) continue;
        // The dense search also builds layouts on the largest stock first: fewer sheet edges
        // often waste less than the smallest sheets do.
        const double area =
            context.largestStockFirst ? -stock.width * stock.height : stock.width * stock.height;
        if (entry < 0 || area < entryArea - 1e-6 ||
            (std::fabs(area - entryArea) < 1e-6 && fit.score < chosen.score)) {
            entry = static_cast<int>(k);
            entryArea = area;
            chosen = fit;
        }
    }
    if (entry < 0) return false;
    layout.push_back(openSheet(entry, c.sheets[entry], c.margin, c.cell));
    stampBest(layout.back(), set, chosen, part, partIndex);
    ++usage[entry];
    return true;
}

void rebuildSheet(SheetLayout& sheet, NestContext& context) {
    if (sheet.mask) {
        sheet.occupancy = sheet.mask->bits;
        sheet.skyline = sheet.mask->floor;
    } else {
        std::fill(sheet.occupancy.begin(), sheet.occupancy.end(), 0);
        std::fill(sheet.skyline.begin(), sheet.skyline.end(), 0);
    }
    sheet.usedArea = 0.0;
    std::vector<Placement> old;
    old.swap(sheet.placements);
    for (const Placement& p : old) {
        if (p.partIndex < 0 || p.partIndex >= static_cast<int>(context.parts.size())) continue;
        const NestPart& part = context.parts[p.partIndex];
        const PartRaster& raster = rasterFor(context.rasterCache, p.partIndex, part, p.angle,
                                             p.mirrored, context.config.cell, context.config.gap);
        stamp(sheet, raster, p.column, p.row, p);
        sheet.usedArea += part.area;
    }
}

int greedyFill(Layout& layout, std::vector<std::int32_t>& usage,
               const std::vector<int>& instanceOrder, NestContext& context) {
    int unplaced = 0;
    for (int partIndex : instanceOrder) {
        if (context.shouldStop()) break;
        if (!placeInstance(layout, partIndex, context, usage, true)) ++unplaced;
    }
    return unplaced;
}

std::vector<int> firstInstanceOrder(const std::vector<NestPart>& parts) {
    std::vector<int> order;
    for (std::size_t i = 0; i < parts.size(); ++i)
        for (std::int32_t q = 0; q < parts[i].quantity; ++q)
            order.push_back(static_cast<int>(i));
    // A part whose area is not a number sorts last rather than breaking the ordering.
    auto key = [&](int i) {
        const double a = parts[i].area;
        return std::isnan(a) ? -std::numeric_limits<double>::infinity() : a;
    };
    std::sort(order.begin(), order.end(), [&](int a, int b) { return key(a) > key(b); });
    return order;
}

double utilisation(const Layout& layout) {
    double used = 0.0, total = 0.0;
    for (const SheetLayout& sheet : layout) {
        used += sheet.usedArea;
        total += sheetArea(sheet);
    }
    if (layout.empty() || !(total > 0.0)) return 0.0;
    return used / total;
}

std::int32_t highestRow(const Layout& layout) {
    std::int32_t high = 0;
    for (const SheetLayout& sheet : layout)
        for (const Placement& p : sheet.placements)
            high = std::max(high, p.row);
    return high;
}

std::size_t placementCount(const Layout& layout) {
    std::size_t n = 0;
    for (const SheetLayout& sheet : layout)
        n += sheet.placements.size();
    return n;
}

void recountUsage(const Layout& layout, std::vector<std::int32_t>& usage) {
    std::fill(usage.begin(), usage.end(), 0);
    for (const SheetLayout& sheet : layout)
        if (sheet.stockIndex >= 0 && sheet.stockIndex < static_cast<int>(usage.size()))
            ++usage[sheet.stockIndex];
}

}  // namespace qks::nest
