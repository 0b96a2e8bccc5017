#include "qks/nest/placement.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "qks/common/messages.h"
#include "qks/nest/session.h"

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

// Sliding maximum of the skyline over windows of `w` columns, for every start column
// 0 .. columns - w (van Herk / Gil-Werman: block prefix and suffix maxima).
void windowMaxima(const std::vector<std::int32_t>& sky, int w, PlacementCache& cache) {
    const int n = static_cast<int>(sky.size());
    cache.prefix.resize(n);
    cache.suffix.resize(n);
    cache.windowMax.resize(n - w + 1);
    std::int32_t* g = cache.prefix.data();
    std::int32_t* h = cache.suffix.data();
    for (int i = 0; i < n; ++i)
        g[i] = (i % w == 0) ? sky[i] : std::max(g[i - 1], sky[i]);
    for (int i = n - 1; i >= 0; --i)
        h[i] = (i == n - 1 || (i + 1) % w == 0) ? sky[i] : std::max(h[i + 1], sky[i]);
    std::int32_t* out = cache.windowMax.data();
    for (int x = 0; x + w <= n; ++x)
        out[x] = std::max(h[x], g[x + w - 1]);
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

// Searches one sheet over the orientation set and improves `best` (positions on this sheet
// must beat `bound`, the best score of earlier sheets, strictly).
void searchSheet(const SheetLayout& sheet, const OrientationSet& set, PlacementCache& cache,
                 std::int32_t boundTop, Best& best) {
    std::int32_t minSky = std::numeric_limits<std::int32_t>::max();
    for (std::int32_t v : sheet.skyline)
        minSky = std::min(minSky, v);
    for (int oi : set.byHeight) {
        const PartRaster& r = *set.rasters[oi];
        if (r.oversize || r.width > sheet.columns || r.height > sheet.rows) continue;
        const int w = r.width;
        const int h = r.height;
        const bool hasCells = r.maxBottom >= 0;
        const std::int32_t threshold = std::min(boundTop, best.topBound());
        const std::int32_t lowestTop = h + (hasCells ? std::max(0, minSky - r.maxBottom) : 0);
        if (lowestTop > threshold) continue;
        windowMaxima(sheet.skyline, w, cache);
        const std::int32_t* wm = cache.windowMax.data();
        const std::int32_t* rest = set.rest[oi].data();
        const Orientation& o = set.orientations[oi];
        for (int x = 0; x + w <= sheet.columns; ++x) {
            if (x > 0 && wm[x] == wm[x - 1]) continue;
            const std::int32_t limitTop = std::min(boundTop, best.topBound());
            if (r.allColumnsSet && std::max(0, wm[x] - r.maxBottom) + h > limitTop) continue;
            const std::int32_t y = restingRow(sheet.skyline.data() + x, rest, w, limitTop - h);
            if (y + h > limitTop || y + h > sheet.rows) continue;
            const std::int32_t top = y + h;
            const std::int64_t score = scoreOf(top, x, o);
            if (best.found() &&
                (score > best.score || (score == best.score && oi > best.orientation)))
                continue;
            if (collides(sheet, r, x, y)) continue;
            best.score = score;
            best.orientation = oi;
            best.column = x;
            best.row = y;
            best.top = top;
        }
    }
}

OrientationSet makeSet(const std::vector<Orientation>& orientations, NestSession& session,
                       int partIndex, const NestPart& part) {
    OrientationSet set;
    set.orientations = orientations;
    for (const Orientation& o : orientations) {
        const PartRaster& r = rasterFor(session.rasterCache, partIndex, part, o.angle, o.mirrored,
                                        session.config.cell, session.config.gap);
        set.rasters.push_back(&r);
        std::vector<std::int32_t> rest(r.bottom.size());
        for (std::size_t i = 0; i < rest.size(); ++i)
            rest[i] = r.bottom[i] >= 0 ? r.bottom[i] : kFarBelow;
        set.rest.push_back(std::move(rest));
    }
    set.byHeight.resize(orientations.size());
    for (std::size_t i = 0; i < orientations.size(); ++i)
        set.byHeight[i] = static_cast<int>(i);
    std::stable_sort(set.byHeight.begin(), set.byHeight.end(),
                     [&](int a, int b) { return set.rasters[a]->height < set.rasters[b]->height; });
    set.valid = true;
    return set;
}

const OrientationSet& orientationSet(NestSession& session, int partIndex) {
    auto& sets = session.placementCache.sets;
    if (sets.size() < session.parts.size()) sets.resize(session.parts.size());
    OrientationSet& set = sets[partIndex];
    const NestConfig& c = session.config;
    if (!set.valid || set.step != session.angleStep || set.rotate != c.rotate ||
        set.mirror != c.mirror) {
        const NestPart& part = session.parts[partIndex];
        set = makeSet(orientationsFor(session, part), session, partIndex, part);
        set.step = session.angleStep;
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

std::vector<Orientation> orientationsFor(const NestSession& session, const NestPart& part) {
    std::vector<Orientation> out;
    const bool mirror = session.config.mirror;
    if (session.config.rotate) {
        std::int32_t step = session.angleStep < 1 ? 10 : session.angleStep;
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
    return sheet;
}

std::optional<Candidate> bestOnSheet(const SheetLayout& sheet, const NestPart& part, int partIndex,
                                     const std::vector<Orientation>& orientations,
                                     NestSession& session) {
    const OrientationSet set = makeSet(orientations, session, partIndex, part);
    Best best;
    searchSheet(sheet, set, session.placementCache, std::numeric_limits<std::int32_t>::max(), best);
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
    }
    sheet.placements.push_back(placement);
}

bool placeInstance(Layout& layout, int partIndex, NestSession& session,
                   std::vector<std::int32_t>& usage, bool allowNewSheet) {
    const NestPart& part = session.parts[partIndex];
    const OrientationSet& set = orientationSet(session, partIndex);
    Best chosen;
    int chosenSheet = -1;
    for (std::size_t s = 0; s < layout.size(); ++s) {
        Best onSheet;
        searchSheet(layout[s], set, session.placementCache, chosen.topBound(), onSheet);
        if (onSheet.found() && onSheet.score < chosen.score) {
            chosen = onSheet;
            chosenSheet = static_cast<int>(s);
        }
    }
    if (chosenSheet >= 0) {
        stampBest(layout[chosenSheet], set, chosen, part, partIndex);
        return true;
    }
    if (!allowNewSheet) return false;

    const NestConfig& c = session.config;
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
        const double area = stock.width * stock.height;
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

void rebuildSheet(SheetLayout& sheet, NestSession& session) {
    std::fill(sheet.occupancy.begin(), sheet.occupancy.end(), 0);
    std::fill(sheet.skyline.begin(), sheet.skyline.end(), 0);
    sheet.usedArea = 0.0;
    std::vector<Placement> old;
    old.swap(sheet.placements);
    for (const Placement& p : old) {
        if (p.partIndex < 0 || p.partIndex >= static_cast<int>(session.parts.size())) continue;
        const NestPart& part = session.parts[p.partIndex];
        const PartRaster& raster = rasterFor(session.rasterCache, p.partIndex, part, p.angle,
                                             p.mirrored, session.config.cell, session.config.gap);
        stamp(sheet, raster, p.column, p.row, p);
        sheet.usedArea += part.area;
    }
}

int greedyFill(Layout& layout, std::vector<std::int32_t>& usage,
               const std::vector<int>& instanceOrder, NestSession& session) {
    int unplaced = 0;
    for (int partIndex : instanceOrder) {
        if (nestStopRequested().load()) break;
        if (!placeInstance(layout, partIndex, session, usage, true)) ++unplaced;
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
        total += sheet.width * sheet.height;
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
