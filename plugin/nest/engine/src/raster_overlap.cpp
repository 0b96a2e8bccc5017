#include "qks/nest/raster_overlap.h"

#include <algorithm>
#include <limits>

namespace qks::nest {
namespace {

// Machines without the population-count instruction take the library's loop; the hot callers
// are compiled twice (target_clones) so those with it use the instruction.
#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define QKS_POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define QKS_POPCOUNT_CLONES
#endif

inline int popcount(std::uint64_t w) {
    return __builtin_popcountll(w);
}

// Cells set in both rows when row `a`'s bit j stands on row `b`'s bit j + shift (shift >= 0).
inline std::int64_t rowAnd(const std::uint64_t* a, int aWords, const std::uint64_t* b, int bWords,
                           int shift) {
    const int s = shift >> 6;
    const int r = shift & 63;
    std::int64_t n = 0;
    for (int k = 0; k < aWords; ++k) {
        const std::uint64_t w = a[k];
        if (w == 0) continue;
        const int t = k + s;
        if (t >= bWords) break;
        n += popcount((w << r) & b[t]);
        if (r != 0 && t + 1 < bWords) n += popcount((w >> (64 - r)) & b[t + 1]);
    }
    return n;
}

inline std::int64_t shiftedAnd(const std::uint64_t* a, int aWords, int ax, const std::uint64_t* b,
                               int bWords, int bx) {
    return ax >= bx ? rowAnd(a, aWords, b, bWords, ax - bx) : rowAnd(b, bWords, a, aWords, bx - ax);
}

// Set bits of the row in columns [from, to).
std::int64_t bitsBetween(const std::uint64_t* row, int words, int from, int to) {
    from = std::max(from, 0);
    to = std::min(to, 64 * words);
    std::int64_t n = 0;
    for (int c = from; c < to;) {
        const int k = c >> 6;
        const int bit = c & 63;
        const int span = std::min(64 - bit, to - c);
        const std::uint64_t mask =
            span == 64 ? ~std::uint64_t{0} : ((std::uint64_t{1} << span) - 1) << bit;
        n += popcount(row[k] & mask);
        c += span;
    }
    return n;
}

// dst |= src shifted towards lower columns by n (src's bit p + n lands on bit p).
void orShiftedDown(std::uint64_t* dst, const std::uint64_t* src, int words, int n) {
    const int q = n >> 6;
    const int r = n & 63;
    for (int k = 0; k + q < words; ++k) {
        std::uint64_t w = src[k + q] >> r;
        if (r != 0 && k + q + 1 < words) w |= src[k + q + 1] << (64 - r);
        dst[k] |= w;
    }
}

// Longest run of clear bits among the first `columns` bits of the row.
std::int32_t longestClearRun(const std::uint64_t* row, int columns) {
    std::int32_t best = 0, run = 0;
    for (int c = 0; c < columns;) {
        const std::uint64_t w = row[c >> 6];
        const int span = std::min(64, columns - c);
        if ((c & 63) == 0 && span == 64 && w == 0) {
            run += 64;
            c += 64;
            continue;
        }
        if (((w >> (c & 63)) & 1) == 0) {
            best = std::max(best, ++run);
        } else {
            run = 0;
        }
        ++c;
    }
    return std::max(best, run);
}

int floorLog2(std::int32_t v) {
    return 31 - __builtin_clz(static_cast<unsigned>(v));
}

}  // namespace

QKS_POPCOUNT_CLONES std::int64_t rasterOverlapUpTo(const PartRaster& a, int ax, int ay,
                                                   const PartRaster& b, int bx, int by,
                                                   std::int64_t stopAbove, int rowStride) {
    if (a.oversize || b.oversize) return 0;
    if (ax >= bx + b.width || bx >= ax + a.width) return 0;
    // `right` stands at or right of `left`, so its bits shift up onto the other's.
    const bool aRight = ax >= bx;
    const PartRaster& right = aRight ? a : b;
    const PartRaster& left = aRight ? b : a;
    const int rx = aRight ? ax : bx, ry = aRight ? ay : by;
    const int lx = aRight ? bx : ax, ly = aRight ? by : ay;
    const int shift = rx - lx;
    const bool bounded = !right.rowLeft.empty() && !left.rowLeft.empty();
    const bool solids = bounded && !right.rowSolid.empty() && !left.rowSolid.empty();
    const bool blocked = bounded && !right.blockLeft.empty() && !left.blockLeft.empty();
    const int stride = std::max(1, rowStride);
    // Rows skipped when a block's bounds miss: whole strides within the block.
    const int blockSkip = stride >= kRowBlock ? stride : kRowBlock - kRowBlock % stride;
    int y0 = std::max(ay, by);
    // The first row at or above y0 that is a multiple of the stride (rows may be negative).
    const int past = ((y0 % stride) + stride) % stride;
    if (past != 0) y0 += stride - past;
    const int y1 = std::min(ay + a.height, by + b.height);
    const int s = shift >> 6;
    const int r = shift & 63;
    std::int64_t n = 0;
    for (int y = y0; y < y1 && n <= stopAbove;) {
        int yEnd = y1;
        if (blocked) {
            const int ri = y - ry, li = y - ly;
            if (std::max(right.blockLeft[ri], left.blockLeft[li] - shift) >=
                std::min(right.blockRight[ri], left.blockRight[li] - shift)) {
                y += blockSkip;
                continue;
            }
            yEnd = std::min(y1, y + blockSkip);
        }
        for (; y < yEnd && n <= stopAbove; y += stride) {
            const int ri = y - ry, li = y - ly;
            // Columns of `right`'s frame where both rows may have cells.
            int from = 0, to = right.width;
            if (bounded) {
                from = std::max(right.rowLeft[ri], left.rowLeft[li] - shift);
                to = std::min(right.rowRight[ri], left.rowRight[li] - shift);
                if (from >= to) continue;
                if (solids && right.rowSolid[ri] && left.rowSolid[li]) {
                    n += to - from;
                    continue;
                }
            }
            const std::uint64_t* rw = &right.bits[static_cast<std::size_t>(ri) * right.wordsPerRow];
            const std::uint64_t* lw = &left.bits[static_cast<std::size_t>(li) * left.wordsPerRow];
            const int kEnd = std::min((to + 63) >> 6, left.wordsPerRow - s);
            for (int k = from >> 6; k < kEnd; ++k) {
                const std::uint64_t w = rw[k];
                if (w == 0) continue;
                const int t = k + s;
                n += popcount((w << r) & lw[t]);
                if (r != 0 && t + 1 < left.wordsPerRow) n += popcount((w >> (64 - r)) & lw[t + 1]);
            }
        }
    }
    return n;
}

std::int64_t rasterOverlap(const PartRaster& a, int ax, int ay, const PartRaster& b, int bx,
                           int by) {
    return rasterOverlapUpTo(a, ax, ay, b, bx, by, std::numeric_limits<std::int64_t>::max(), 1);
}

BitGrid::BitGrid(std::int32_t columnCount, std::int32_t rowCount)
    : columns(std::max(columnCount, 0)),
      rows(std::max(rowCount, 0)),
      wordsPerRow((columns + 63) / 64),
      bits(static_cast<std::size_t>(rows) * wordsPerRow, 0) {}

void stampInto(BitGrid& grid, const PartRaster& raster, int x, int y) {
    if (raster.oversize) return;
    const int words = grid.wordsPerRow;
    for (int i = 0; i < raster.height; ++i) {
        const int gy = y + i;
        if (gy < 0 || gy >= grid.rows) continue;
        const std::uint64_t* src = &raster.bits[static_cast<std::size_t>(i) * raster.wordsPerRow];
        std::uint64_t* dst = &grid.bits[static_cast<std::size_t>(gy) * words];
        for (int k = 0; k < raster.wordsPerRow; ++k) {
            std::uint64_t w = src[k];
            if (w == 0) continue;
            const int e = x + 64 * k;
            if (e < 0) {
                const int drop = -e;
                if (drop >= 64) continue;
                w >>= drop;
                dst[0] |= w;
                continue;
            }
            const int s = e >> 6;
            const int r = e & 63;
            if (s >= words) break;
            dst[s] |= w << r;
            if (r != 0 && s + 1 < words) dst[s + 1] |= w >> (64 - r);
        }
        // Bits past the last column are not cells.
        if ((grid.columns & 63) != 0)
            dst[words - 1] &= (std::uint64_t{1} << (grid.columns & 63)) - 1;
    }
}

QKS_POPCOUNT_CLONES std::int64_t gridOverlap(const BitGrid& grid, const PartRaster& raster, int x,
                                             int y, std::int64_t outsideWeight) {
    if (raster.oversize) return 0;
    std::int64_t n = 0;
    for (int i = 0; i < raster.height; ++i) {
        const std::uint64_t* src = &raster.bits[static_cast<std::size_t>(i) * raster.wordsPerRow];
        const int gy = y + i;
        if (gy < 0 || gy >= grid.rows) {
            if (outsideWeight != 0)
                n += outsideWeight * bitsBetween(src, raster.wordsPerRow, 0, raster.width);
            continue;
        }
        n += shiftedAnd(src, raster.wordsPerRow, x,
                        &grid.bits[static_cast<std::size_t>(gy) * grid.wordsPerRow],
                        grid.wordsPerRow, 0);
        if (outsideWeight != 0)
            n += outsideWeight *
                 (bitsBetween(src, raster.wordsPerRow, 0, -x) +
                  bitsBetween(src, raster.wordsPerRow, grid.columns - x, raster.width));
    }
    return n;
}

RasterRuns runsOf(const PartRaster& raster) {
    RasterRuns out;
    out.width = raster.width;
    out.height = raster.height;
    out.rowStart.push_back(0);
    for (int r = 0; r < raster.height && !raster.oversize; ++r) {
        const std::uint64_t* row = &raster.bits[static_cast<std::size_t>(r) * raster.wordsPerRow];
        int c = 0;
        while (c < raster.width) {
            while (c < raster.width && ((row[c >> 6] >> (c & 63)) & 1) == 0)
                ++c;
            const int start = c;
            while (c < raster.width && ((row[c >> 6] >> (c & 63)) & 1) != 0)
                ++c;
            if (c > start) {
                out.runs.push_back({start, c - start});
                out.longest = std::max(out.longest, c - start);
            }
        }
        out.rowStart.push_back(static_cast<std::int32_t>(out.runs.size()));
    }
    // Rows with the longest runs block the most positions: visited first, a hopeless row of
    // the sheet is given up after a row or two of the raster.
    std::vector<std::int32_t> longest(out.height, 0);
    for (int r = 0; r < out.height && !raster.oversize; ++r)
        for (int j = out.rowStart[r]; j < out.rowStart[r + 1]; ++j)
            longest[r] = std::max(longest[r], out.runs[j].second);
    for (int r = 0; r < out.height && !raster.oversize; ++r)
        if (longest[r] > 0) out.rowOrder.push_back(r);
    std::stable_sort(out.rowOrder.begin(), out.rowOrder.end(),
                     [&](int a, int b) { return longest[a] > longest[b]; });
    return out;
}

WindowTable::WindowTable(const BitGrid& grid, std::int32_t longestRun) : grid_(grid) {
    levels_ = 1 + (longestRun > 1 ? floorLog2(longestRun) : 0);
    table_.assign(levels_, std::vector<std::uint64_t>(grid.bits.size(), 0));
    longestFree_.assign(grid.rows, 0);
    refresh(0, grid.rows);
    blocked_.resize(grid.wordsPerRow);
}

void WindowTable::refresh(std::int32_t fromRow, std::int32_t toRow) {
    fromRow = std::max(fromRow, 0);
    toRow = std::min(toRow, grid_.rows);
    if (fromRow >= toRow) return;
    const int words = grid_.wordsPerRow;
    for (int r = fromRow; r < toRow; ++r)
        longestFree_[r] =
            longestClearRun(&grid_.bits[static_cast<std::size_t>(r) * words], grid_.columns);
    const std::size_t begin = static_cast<std::size_t>(fromRow) * words;
    const std::size_t end = static_cast<std::size_t>(toRow) * words;
    std::copy(grid_.bits.begin() + begin, grid_.bits.begin() + end, table_[0].begin() + begin);
    for (int level = 1; level < levels_; ++level) {
        std::copy(table_[level - 1].begin() + begin, table_[level - 1].begin() + end,
                  table_[level].begin() + begin);
        const int half = 1 << (level - 1);
        for (std::size_t at = begin; at < end; at += words)
            orShiftedDown(&table_[level][at], &table_[level - 1][at], words, half);
    }
}

std::optional<std::pair<std::int32_t, std::int32_t>> WindowTable::lowestFit(
    const RasterRuns& runs, std::int32_t topLimit) const {
    const int words = grid_.wordsPerRow;
    const int maxX = grid_.columns - runs.width;
    const int top = std::min(topLimit, grid_.rows);
    if (maxX < 0 || runs.height > top || runs.runs.empty() || words == 0) return std::nullopt;
    // Positions past maxX are blocked from the start.
    std::vector<std::uint64_t> invalid(words, 0);
    for (int k = 0; k < words; ++k) {
        const int first = 64 * k;
        if (first > maxX)
            invalid[k] = ~std::uint64_t{0};
        else if (maxX - first < 63)
            invalid[k] = ~((std::uint64_t{2} << (maxX - first)) - 1);
    }
    std::uint64_t* blocked = blocked_.data();
    // The raster's widest row needs a clear run at least as long in the sheet row under it.
    const int widestRow = runs.rowOrder.front();
    for (int y = 0; y + runs.height <= top; ++y) {
        if (longestFree_[y + widestRow] < runs.longest) continue;
        std::copy(invalid.begin(), invalid.end(), blocked);
        bool full = false;
        for (std::size_t n = 0; n < runs.rowOrder.size() && !full; ++n) {
            const int i = runs.rowOrder[n];
            const std::size_t at = static_cast<std::size_t>(y + i) * words;
            for (int j = runs.rowStart[i]; j < runs.rowStart[i + 1]; ++j) {
                const auto [a, len] = runs.runs[j];
                // Windows of one power of two covering the run, the last one flush with its end
                // (a run longer than the table's widest window takes several).
                const int level = std::min(floorLog2(len), levels_ - 1);
                const int span = 1 << level;
                const std::uint64_t* t = &table_[level][at];
                for (int p = a;; p += span) {
                    if (p + span >= a + len) {
                        orShiftedDown(blocked, t, words, a + len - span);
                        break;
                    }
                    orShiftedDown(blocked, t, words, p);
                }
            }
            full = true;
            for (int k = 0; k < words && full; ++k)
                full = blocked[k] == ~std::uint64_t{0};
        }
        if (full) continue;
        for (int k = 0; k < words; ++k)
            if (blocked[k] != ~std::uint64_t{0})
                return std::make_pair(64 * k + __builtin_ctzll(~blocked[k]), y);
    }
    return std::nullopt;
}

}  // namespace qks::nest

namespace qks::nest {

void OverlapTracker::reset(std::int32_t columns, std::int32_t rows, std::int32_t bucketSide) {
    side_ = std::max(1, bucketSide);
    across_ = std::max(1, (columns + side_ - 1) / side_);
    up_ = std::max(1, (rows + side_ - 1) / side_);
    buckets_.assign(static_cast<std::size_t>(across_) * up_, {});
    members_.clear();
    mark_.clear();
    round_ = 0;
    total_ = 0;
}

int OverlapTracker::add(const PartRaster* raster, std::int32_t x, std::int32_t y) {
    members_.push_back({raster, x, y, 0, {}});
    mark_.push_back(0);
    const int i = size() - 1;
    link(i);
    return i;
}

void OverlapTracker::move(int i, const PartRaster* raster, std::int32_t x, std::int32_t y) {
    unlink(i);
    Member& m = members_[i];
    m.raster = raster;
    m.x = x;
    m.y = y;
    link(i);
}

// Enters member i into its buckets and counts its overlaps with the members near it.
void OverlapTracker::link(int i) {
    Member& m = members_[i];
    const PartRaster& r = *m.raster;
    near(m.x, m.y, r.width, r.height, [&](int j) {
        const Member& o = members_[j];
        const std::int64_t cells = rasterOverlap(r, m.x, m.y, *o.raster, o.x, o.y);
        if (cells == 0) return true;
        m.touching.push_back({j, cells});
        members_[j].touching.push_back({i, cells});
        m.sum += cells;
        members_[j].sum += cells;
        total_ += cells;
        return true;
    });
    const Entry entry{i, m.x, m.y, m.x + r.width, m.y + r.height};
    forBuckets(m.x, m.y, r.width, r.height, [&](int bucket) { buckets_[bucket].push_back(entry); });
}

void OverlapTracker::unlink(int i) {
    Member& m = members_[i];
    const PartRaster& r = *m.raster;
    forBuckets(m.x, m.y, r.width, r.height, [&](int bucket) {
        std::vector<Entry>& list = buckets_[bucket];
        list.erase(
            std::find_if(list.begin(), list.end(), [i](const Entry& e) { return e.member == i; }));
    });
    for (const Touch& t : m.touching) {
        Member& o = members_[t.other];
        o.touching.erase(std::find_if(o.touching.begin(), o.touching.end(),
                                      [i](const Touch& e) { return e.other == i; }));
        o.sum -= t.cells;
        total_ -= t.cells;
    }
    m.touching.clear();
    m.sum = 0;
}

std::int64_t OverlapTracker::recountTotal() const {
    std::int64_t n = 0;
    for (int i = 0; i < size(); ++i)
        for (int j = i + 1; j < size(); ++j)
            n += rasterOverlap(*members_[i].raster, members_[i].x, members_[i].y,
                               *members_[j].raster, members_[j].x, members_[j].y);
    return n;
}

}  // namespace qks::nest
