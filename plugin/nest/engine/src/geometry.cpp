#include "qks/nest/geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qks::nest {

int padCells(double gap, double cell) {
    if (!(gap > 1e-9) || !(cell > 0.0)) return 0;
    const double pad = std::ceil(gap * 0.5 / cell);
    if (!(pad < kMaxGridSide)) return kMaxGridSide;
    return static_cast<int>(pad);
}

double padLength(double gap, double cell) {
    return padCells(gap, cell) * cell;
}

namespace {

void setColumns(std::uint64_t* row, int lo, int hi) {
    for (int c = lo; c <= hi;) {
        const int word = c >> 6;
        const int bit = c & 63;
        const int span = std::min(64 - bit, hi - c + 1);
        const std::uint64_t mask =
            span == 64 ? ~std::uint64_t{0} : ((std::uint64_t{1} << span) - 1) << bit;
        row[word] |= mask;
        c += span;
    }
}

// Sets, in rows of ceil(w / 64) words, the cells of a w x h grid whose centres the ring holds
// (even-odd rule), each run of cells grown by `pad` columns on both sides.
void fillRing(const std::vector<Point>& pts, double cell, int w, int h, int pad,
              std::vector<std::uint64_t>& rows) {
    const int words = (w + 63) / 64;
    std::vector<double> crossings;
    const std::size_t n = pts.size();
    for (int r = 0; r < h; ++r) {
        const double y = (r + 0.5) * cell;
        crossings.clear();
        for (std::size_t j = 0; j < n; ++j) {
            const Point& a = pts[j];
            const Point& b = pts[(j + 1) % n];
            if ((y >= a.y && y < b.y) || (y >= b.y && y < a.y))
                crossings.push_back(a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y));
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
            const double first = std::ceil(crossings[k] / cell - 0.5);
            const double last = std::floor(crossings[k + 1] / cell - 0.5);
            const double lo = std::max(0.0, std::max(0.0, first) - pad);
            const double hi = std::min(std::min(last, double(w - 1)) + pad, double(w - 1));
            if (lo <= hi)
                setColumns(&rows[static_cast<std::size_t>(r) * words], static_cast<int>(lo),
                           static_cast<int>(hi));
        }
    }
}

}  // namespace

void describeRows(PartRaster& raster) {
    const int words = raster.wordsPerRow;
    raster.rowLeft.assign(raster.height, 0);
    raster.rowRight.assign(raster.height, 0);
    raster.rowSolid.assign(raster.height, 0);
    for (int r = 0; r < raster.height; ++r) {
        const std::uint64_t* bits = &raster.bits[static_cast<std::size_t>(r) * words];
        int first = 0;
        while (first < words && bits[first] == 0)
            ++first;
        if (first == words) continue;
        int last = words - 1;
        while (bits[last] == 0)
            --last;
        raster.rowLeft[r] = 64 * first + __builtin_ctzll(bits[first]);
        raster.rowRight[r] = 64 * last + 64 - __builtin_clzll(bits[last]);
        std::int32_t set = 0;
        for (int k = first; k <= last; ++k)
            set += __builtin_popcountll(bits[k]);
        raster.rowSolid[r] = set == raster.rowRight[r] - raster.rowLeft[r];
    }
    constexpr std::int32_t kNone = 1 << 29;  // far past any column, and safe to shift
    raster.blockLeft.assign(raster.height, kNone);
    raster.blockRight.assign(raster.height, -kNone);
    for (int r = 0; r < raster.height; ++r)
        for (int q = r; q < std::min(raster.height, r + kRowBlock); ++q) {
            if (raster.rowLeft[q] >= raster.rowRight[q]) continue;
            raster.blockLeft[r] = std::min(raster.blockLeft[r], raster.rowLeft[q]);
            raster.blockRight[r] = std::max(raster.blockRight[r], raster.rowRight[q]);
        }
}

namespace {

// The column lists and bounds the placement engine reads, from the raster's bits.
void describeColumns(PartRaster& raster) {
    describeRows(raster);
    const int w = raster.width;
    const int h = raster.height;
    const int words = raster.wordsPerRow;
    // Per column, the first set row met when the rows are visited bottom-up (bottom) and
    // top-down (top); each column is assigned once, a word at a time.
    auto firstSetRows = [&](std::vector<std::int32_t>& out, int from, int step) {
        out.assign(w, -1);
        std::vector<std::uint64_t> seen(words, 0);
        for (int row = from; row >= 0 && row < h; row += step) {
            const std::uint64_t* bits = &raster.bits[static_cast<std::size_t>(row) * words];
            for (int k = 0; k < words; ++k) {
                std::uint64_t fresh = bits[k] & ~seen[k];
                seen[k] |= bits[k];
                while (fresh) {
                    out[64 * k + __builtin_ctzll(fresh)] = row;
                    fresh &= fresh - 1;
                }
            }
        }
    };
    firstSetRows(raster.bottom, 0, 1);
    firstSetRows(raster.top, h - 1, -1);
    raster.allColumnsSet = true;
    raster.maxBottom = -1;
    for (int c = 0; c < w; ++c) {
        const std::int32_t b = raster.bottom[c];
        if (b < 0) {
            raster.allColumnsSet = false;
            continue;
        }
        raster.maxBottom = std::max(raster.maxBottom, b);
        if (raster.minBottom < 0 || b < raster.minBottom) {
            raster.minBottom = b;
            raster.lowestColumn = c;
        }
    }
}

PartRaster oversizeRaster(int angle, bool mirrored) {
    PartRaster raster;
    raster.angle = angle;
    raster.mirrored = mirrored;
    raster.width = kMaxGridSide + 1;
    raster.height = kMaxGridSide + 1;
    raster.wordsPerRow = (raster.width + 63) / 64;
    raster.oversize = true;
    return raster;
}

// An empty raster of the given extent in cells, or the oversize one past the grid's bounds.
PartRaster sizedRaster(int angle, bool mirrored, double cellsX, double cellsY) {
    if (cellsX > kMaxGridSide || cellsY > kMaxGridSide || cellsX * cellsY > double(kMaxGridCells))
        return oversizeRaster(angle, mirrored);
    PartRaster raster;
    raster.angle = angle;
    raster.mirrored = mirrored;
    raster.width = static_cast<std::int32_t>(cellsX);
    raster.height = static_cast<std::int32_t>(cellsY);
    raster.wordsPerRow = (raster.width + 63) / 64;
    return raster;
}

}  // namespace

PartRaster buildRaster(const NestPart& part, int angle, bool mirrored, double cell, double gap) {
    std::vector<Point> pts = orient(part.outline, part.refX, part.refY, angle, mirrored);
    double minX = 1e300, minY = 1e300;
    for (const Point& p : pts) {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
    }
    double maxX = -1e300, maxY = -1e300;
    bool finite = true;
    for (Point& p : pts) {
        p.x -= minX;
        p.y -= minY;
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
        finite = finite && std::isfinite(p.x) && std::isfinite(p.y);
    }
    if (pts.empty()) maxX = maxY = 0.0;
    if (!finite || !(cell > 0.0)) return oversizeRaster(angle, mirrored);

    const int pad = padCells(gap, cell);
    const double cellsX = std::max(1.0, std::ceil(maxX / cell)) + 2.0 * pad;
    const double cellsY = std::max(1.0, std::ceil(maxY / cell)) + 2.0 * pad;
    PartRaster raster = sizedRaster(angle, mirrored, cellsX, cellsY);
    if (raster.oversize) return raster;
    const double shift = pad * cell;
    for (Point& p : pts) {
        p.x += shift;
        p.y += shift;
    }
    raster.shape = pts;

    const int w = raster.width;
    const int h = raster.height;
    const int words = raster.wordsPerRow;
    // Scan-line fill, each run grown by pad columns; rows are grown by pad afterwards.
    std::vector<std::uint64_t> runs(static_cast<std::size_t>(h) * words, 0);
    fillRing(pts, cell, w, h, pad, runs);
    raster.bits.assign(runs.size(), 0);
    for (int r = 0; r < h; ++r) {
        const std::uint64_t* source = &runs[static_cast<std::size_t>(r) * words];
        bool any = false;
        for (int k = 0; k < words; ++k)
            any = any || source[k] != 0;
        if (!any) continue;
        for (int row = std::max(0, r - pad); row <= std::min(r + pad, h - 1); ++row) {
            std::uint64_t* target = &raster.bits[static_cast<std::size_t>(row) * words];
            for (int k = 0; k < words; ++k)
                target[k] |= source[k];
        }
    }

    describeColumns(raster);
    return raster;
}

PartRaster buildHoledRaster(const NestPart& part, int angle, bool mirrored, double cell,
                            double gap) {
    PartRaster raster = buildRaster(part, angle, mirrored, cell, gap);
    if (raster.oversize || part.holes.empty()) return raster;
    // The same frame as the outline's raster: oriented, moved to its bounding minimum, then
    // shifted by the pad.
    double minX = 1e300, minY = 1e300;
    for (const Point& p : orient(part.outline, part.refX, part.refY, angle, mirrored)) {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
    }
    const int pad = padCells(gap, cell);
    const double shift = pad * cell;
    const int w = raster.width;
    const int h = raster.height;
    const int words = raster.wordsPerRow;
    // Cells whose centre lies in a hole, by the same scan-line rule as the outline.
    std::vector<std::uint64_t> inHole(static_cast<std::size_t>(h) * words, 0);
    for (const Outline& hole : part.holes) {
        std::vector<Point> pts = orient(hole, part.refX, part.refY, angle, mirrored);
        for (Point& p : pts) {
            p.x += shift - minX;
            p.y += shift - minY;
            if (!std::isfinite(p.x) || !std::isfinite(p.y)) return raster;
        }
        fillRing(pts, cell, w, h, 0, inHole);
    }
    // A hole is free space only where a cell is more than the pad away from its edge: the part
    // that goes in keeps its own pad, so the two stay the gap apart as they do outside.
    auto at = [&](int r, int c) {
        if (r < 0 || r >= h || c < 0 || c >= w) return false;
        return ((inHole[static_cast<std::size_t>(r) * words + (c >> 6)] >> (c & 63)) & 1) != 0;
    };
    for (int r = pad; r < h - pad; ++r) {
        for (int c = pad; c < w - pad; ++c) {
            if (!at(r, c)) continue;
            bool deep = true;
            for (int dr = -pad; dr <= pad && deep; ++dr)
                for (int dc = -pad; dc <= pad && deep; ++dc)
                    deep = at(r + dr, c + dc);
            if (deep)
                raster.bits[static_cast<std::size_t>(r) * words + (c >> 6)] &=
                    ~(std::uint64_t{1} << (c & 63));
        }
    }
    describeRows(raster);
    return raster;
}

namespace {

// Every sub-cell of a w x h grid of side `s` whose inside the region bounded by `rings`
// (even-odd rule) meets, as runs handed to `emit(row, first, last)` (they may overlap): the
// cells crossed by an edge, and those whose centre lies inside. A cell the region meets without
// any edge crossing it lies wholly inside, so its centre does.
template <typename Emit>
void coverRegion(const std::vector<std::vector<Point>>& rings, double s, int w, int h,
                 const Emit& emit) {
    constexpr double kTouch = 1e-9;  // an edge merely touching a cell line does not enter
    // Cell numbers of finite coordinates far off the grid (a hole of a hostile part) are held
    // just outside it, where the int conversion is defined and the runs come out empty.
    const auto cellIndex = [&](double v) {
        if (!(v == v)) return -2;  // infinities met along an edge
        return static_cast<int>(std::clamp(v, -2.0, double(std::max(w, h)) + 2.0));
    };
    for (const auto& ring : rings) {
        const std::size_t n = ring.size();
        for (std::size_t j = 0; j < n; ++j) {
            const Point& a = ring[j];
            const Point& b = ring[(j + 1) % n];
            const double y0 = std::min(a.y, b.y), y1 = std::max(a.y, b.y);
            const int lo = std::max(0, cellIndex(std::floor(y0 / s + kTouch)));
            const int hi = std::min(h - 1, cellIndex(std::ceil(y1 / s - kTouch)) - 1);
            for (int r = lo; r <= hi; ++r) {
                const double ya = std::max(y0, r * s), yb = std::min(y1, (r + 1) * s);
                double xa = a.x, xb = b.x;
                if (b.y != a.y) {
                    xa = a.x + (b.x - a.x) * (ya - a.y) / (b.y - a.y);
                    xb = a.x + (b.x - a.x) * (yb - a.y) / (b.y - a.y);
                }
                const int first = std::max(0, cellIndex(std::floor(std::min(xa, xb) / s + kTouch)));
                const int last =
                    std::min(w - 1, cellIndex(std::ceil(std::max(xa, xb) / s - kTouch)) - 1);
                if (first <= last) emit(r, first, last);
            }
        }
    }
    std::vector<double> crossings;
    for (int r = 0; r < h; ++r) {
        const double y = (r + 0.5) * s;
        crossings.clear();
        for (const auto& ring : rings)
            for (std::size_t j = 0; j < ring.size(); ++j) {
                const Point& a = ring[j];
                const Point& b = ring[(j + 1) % ring.size()];
                if ((y >= a.y && y < b.y) || (y >= b.y && y < a.y))
                    crossings.push_back(a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y));
            }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
            const int first = std::max(0, cellIndex(std::ceil(crossings[k] / s - 0.5)));
            const int last = std::min(w - 1, cellIndex(std::floor(crossings[k + 1] / s - 0.5)));
            if (first <= last) emit(r, first, last);
        }
    }
}

// The raster's cells whose window [k c - below, k (c + 1) + above) of sub-cells, in both axes,
// holds a sub-cell of the region the rings bound, on a ws x hs sub-grid.
void coverCells(const std::vector<std::vector<Point>>& rings, double s, int ws, int hs, int k,
                int below, int above, PartRaster& raster) {
    const int w = raster.width;
    const int h = raster.height;
    const int words = raster.wordsPerRow;
    // Per sub-row, the raster columns whose window holds a covered sub-cell: columns c with
    // k c - below <= last and k (c + 1) + above > first.
    std::vector<std::uint64_t> across(static_cast<std::size_t>(hs) * words, 0);
    coverRegion(rings, s, ws, hs, [&](int r, int first, int last) {
        const int n = first - above;
        const int lo = std::max(0, n >= 0 ? n / k : -((k - 1 - n) / k));
        const int hi = std::min(w - 1, (last + below) / k);
        if (lo <= hi) setColumns(&across[static_cast<std::size_t>(r) * words], lo, hi);
    });
    raster.bits.assign(static_cast<std::size_t>(h) * words, 0);
    for (int row = 0; row < h; ++row) {
        std::uint64_t* target = &raster.bits[static_cast<std::size_t>(row) * words];
        const int lo = std::clamp(k * row - below, 0, hs);
        const int hi = std::clamp(k * (row + 1) + above, 0, hs);
        for (int r = lo; r < hi; ++r) {
            const std::uint64_t* source = &across[static_cast<std::size_t>(r) * words];
            for (int q = 0; q < words; ++q)
                target[q] |= source[q];
        }
    }
}

}  // namespace

PartRaster buildExactGapRaster(const NestPart& part, int angle, bool mirrored, double cell,
                               double gap, bool holesFree) {
    std::vector<Point> outline = orient(part.outline, part.refX, part.refY, angle, mirrored);
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    bool finite = true;
    for (const Point& p : outline) {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
        finite = finite && std::isfinite(p.x) && std::isfinite(p.y);
    }
    // What cannot be counted (no outline, a coordinate or extent not finite) is the padded
    // raster's case: empty or oversize.
    if (outline.empty() || !finite || !std::isfinite(maxX - minX) || !std::isfinite(maxY - minY) ||
        !(cell > 0.0) || !(gap >= 0.0) || !std::isfinite(gap))
        return buildRaster(part, angle, mirrored, cell, gap);

    // The outline grown by `pad` cells towards the origin, where its bounding box starts, and by
    // the rest of the gap away from it: two such rasters apart keep the outlines the gap apart
    // along both axes, hence at least as far in any direction. Sub-cells of 1/k cell carry the
    // fraction of the gap and of the outline's extent.
    const int pad = padCells(gap, cell);
    const double across = gap / cell;
    int k = 1;
    while (k < 4 && std::fabs(across * k - std::round(across * k)) > 1e-9)
        k *= 2;
    const double spanX = (maxX - minX) / cell, spanY = (maxY - minY) / cell;
    if (spanX + pad + across + 2 > kMaxGridSide || spanY + pad + across + 2 > kMaxGridSide)
        return oversizeRaster(angle, mirrored);
    auto subExtent = [&](double span, int kk) {
        return std::max(pad * kk + 1, static_cast<int>(std::ceil(kk * (pad + span) - 1e-9)));
    };
    const int above = pad * k;
    const int below = std::max(0, static_cast<int>(std::ceil((across - pad) * k - 1e-9)));
    const int ws = subExtent(spanX, k), hs = subExtent(spanY, k);
    const double cellsX = (ws - 1 + below) / k + 1, cellsY = (hs - 1 + below) / k + 1;
    PartRaster raster = sizedRaster(angle, mirrored, cellsX, cellsY);
    if (raster.oversize) return raster;
    const double shift = pad * cell;
    auto place = [&](std::vector<Point>& ring) {
        for (Point& p : ring) {
            p.x += shift - minX;
            p.y += shift - minY;
        }
    };
    place(outline);
    raster.shape = outline;
    std::vector<std::vector<Point>> rings{outline};
    coverCells(rings, cell / k, ws, hs, k, below, above, raster);
    describeColumns(raster);
    if (holesFree && !part.holes.empty()) {
        // The column lists keep describing the outline's raster; only the bits open the holes.
        for (const Outline& hole : part.holes) {
            rings.push_back(orient(hole, part.refX, part.refY, angle, mirrored));
            place(rings.back());
            for (const Point& p : rings.back())
                if (!std::isfinite(p.x) || !std::isfinite(p.y)) return raster;  // holes shut
        }
        coverCells(rings, cell / k, ws, hs, k, below, above, raster);
        describeRows(raster);
    }
    return raster;
}

const PartRaster& RasterCache::get(int partIndex, const NestPart& part, int angle, bool mirrored,
                                   double cell, double gap) {
    auto& forPart = byPart_[partIndex];
    const auto key = std::make_pair(angle, mirrored);
    auto found = forPart.find(key);
    if (found == forPart.end())
        found = forPart
                    .emplace(key, exactGap_
                                      ? buildExactGapRaster(part, angle, mirrored, cell, gap, false)
                                      : buildRaster(part, angle, mirrored, cell, gap))
                    .first;
    return found->second;
}

void RasterCache::setExactGap(bool exact) {
    if (exact == exactGap_) return;
    exactGap_ = exact;
    byPart_.clear();
}

std::size_t RasterCache::bytes() const {
    std::size_t n = 0;
    for (const auto& entry : byPart_)
        for (const auto& raster : entry.second)
            n += raster.second.bits.size() * sizeof(std::uint64_t) +
                 (raster.second.bottom.size() + raster.second.top.size()) * sizeof(std::int32_t);
    return n;
}

std::size_t RasterCache::size() const {
    std::size_t n = 0;
    for (const auto& entry : byPart_)
        n += entry.second.size();
    return n;
}

const PartRaster& rasterFor(RasterCache& cache, int partIndex, const NestPart& part, int angle,
                            bool mirrored, double cell, double gap) {
    return cache.get(partIndex, part, angle, mirrored, cell, gap);
}

PlacedShape placeShape(const NestPart& part, int angle, bool mirrored, double sheetX0,
                       double sheetY0, double margin, double padLength, double cell, int column,
                       int row) {
    return contract::placeShape(
        part, {sheetX0, sheetY0, margin, padLength, cell, angle, mirrored, column, row});
}

Point placementPoint(const Point& point, const NestPart& part, int angle, bool mirrored,
                     double sheetX0, double sheetY0, double margin, double padLength, double cell,
                     int column, int row) {
    return contract::placePoint(
        point, part, {sheetX0, sheetY0, margin, padLength, cell, angle, mirrored, column, row});
}

}  // namespace qks::nest
