// Counting and searching on occupancy rasters: cells two placed rasters share, cells of a placed
// raster that are already taken on a sheet, and the lowest free position over a whole sheet
// bitmap (cavities and holes included, not only the skyline).
//
// Grid coordinates: (column, row) of a raster's bottom-left cell; bit b of word k in row r is
// column 64k + b, rows bottom-up, as in PartRaster and SheetLayout.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "qks/nest/geometry.h"

namespace qks::nest {

// Cells set in both `a` at (ax, ay) and `b` at (bx, by). Any offsets, negative ones included.
std::int64_t rasterOverlap(const PartRaster& a, int ax, int ay, const PartRaster& b, int bx,
                           int by);
// The same count over the rows whose grid row is a multiple of `rowStride` only (a quick
// estimate of 1 / rowStride of it; grid rows, so every pair on a grid samples the same rows),
// given up once it exceeds `stopAbove` (some count above it is returned then).
std::int64_t rasterOverlapUpTo(const PartRaster& a, int ax, int ay, const PartRaster& b, int bx,
                               int by, std::int64_t stopAbove, int rowStride = 1);

// A sheet-sized bit grid: rows x wordsPerRow words, bits past `columns` always clear.
struct BitGrid {
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    std::int32_t wordsPerRow = 0;
    std::vector<std::uint64_t> bits;

    BitGrid() = default;
    BitGrid(std::int32_t columnCount, std::int32_t rowCount);
    bool test(int column, int row) const {
        return ((bits[static_cast<std::size_t>(row) * wordsPerRow + (column >> 6)] >>
                 (column & 63)) &
                1) != 0;
    }
};

// ORs the raster into the grid at (x, y); cells outside the grid are dropped.
void stampInto(BitGrid& grid, const PartRaster& raster, int x, int y);

// Cells of the raster at (x, y) that are set in the grid; cells outside the grid count as
// `outsideWeight` each (0: ignored).
std::int64_t gridOverlap(const BitGrid& grid, const PartRaster& raster, int x, int y,
                         std::int64_t outsideWeight = 0);

// The run-length form of a raster that the bottom-left search works on: per row, the runs of
// set columns (first column, length).
struct RasterRuns {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t longest = 0;            // longest run
    std::vector<std::int32_t> rowStart;  // height + 1 offsets into runs
    std::vector<std::pair<std::int32_t, std::int32_t>> runs;
    std::vector<std::int32_t> rowOrder;  // rows with runs, longest run first
};
RasterRuns runsOf(const PartRaster& raster);

// Window maxima of a grid, built once and queried for many rasters: level L of row r has bit p
// set when any of columns p .. p + 2^L - 1 of that row is set.
class WindowTable {
  public:
    // Levels up to the longest run any query will use.
    WindowTable(const BitGrid& grid, std::int32_t longestRun);
    // Brings rows [fromRow, toRow) up to date after the grid changed there.
    void refresh(std::int32_t fromRow, std::int32_t toRow);
    // The lowest position (then the leftmost) at which the raster touches no set cell, its top
    // (row + height) at most `topLimit`, inside the grid. None when there is no such position.
    std::optional<std::pair<std::int32_t, std::int32_t>> lowestFit(const RasterRuns& runs,
                                                                   std::int32_t topLimit) const;

  private:
    const BitGrid& grid_;
    std::int32_t levels_ = 1;
    std::vector<std::vector<std::uint64_t>> table_;  // per level, rows x wordsPerRow
    mutable std::vector<std::uint64_t> blocked_;
    std::vector<std::int32_t> longestFree_;  // per row, the longest run of clear cells
};

}  // namespace qks::nest

namespace qks::nest {

// The pairwise overlaps of rasters placed on one grid, kept up to date as single members move
// (the overlap removal of the dense search). Members are numbered in the order they are added.
// A bucket grid over the sheet finds a box's neighbours without visiting every member.
class OverlapTracker {
  public:
    struct Touch {
        std::int32_t other = 0;
        std::int64_t cells = 0;
    };

    // Forgets every member; buckets of `bucketSide` cells cover a grid of the given size. About
    // the members' size is best: smaller ones make a box visit many buckets, larger ones list
    // many members far from it.
    void reset(std::int32_t columns, std::int32_t rows, std::int32_t bucketSide = 32);
    // Adds a member and counts its overlaps with the others; returns its number.
    int add(const PartRaster* raster, std::int32_t x, std::int32_t y);
    // Moves member i (optionally to another raster) and recounts its overlaps.
    void move(int i, const PartRaster* raster, std::int32_t x, std::int32_t y);

    int size() const { return static_cast<int>(members_.size()); }
    std::int64_t total() const { return total_; }             // sum over pairs
    std::int64_t of(int i) const { return members_[i].sum; }  // sum over member i's pairs
    const std::vector<Touch>& touching(int i) const { return members_[i].touching; }

    // Calls f(j) once for every member whose box meets the box [x, x + w) x [y, y + h), until
    // f returns false.
    template <typename F>
    void near(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, F&& f) const {
        if (++round_ == 0) {
            std::fill(mark_.begin(), mark_.end(), 0);
            round_ = 1;
        }
        const std::int32_t x1 = x + w, y1 = y + h;
        const int bx0 = std::clamp(x / side_, 0, across_ - 1);
        const int bx1 = std::clamp((x1 - 1) / side_, 0, across_ - 1);
        const int by0 = std::clamp(y / side_, 0, up_ - 1);
        const int by1 = std::clamp((y1 - 1) / side_, 0, up_ - 1);
        for (int by = by0; by <= by1; ++by)
            for (int bx = bx0; bx <= bx1; ++bx)
                for (const Entry& e : buckets_[by * across_ + bx]) {
                    if (e.x0 >= x1 || x >= e.x1 || e.y0 >= y1 || y >= e.y1) continue;
                    if (mark_[e.member] == round_) continue;
                    mark_[e.member] = round_;
                    if (!f(e.member)) return;
                }
    }

    // The overlaps counted from scratch, pair by pair (tests).
    std::int64_t recountTotal() const;

  private:
    struct Member {
        const PartRaster* raster = nullptr;
        std::int32_t x = 0;
        std::int32_t y = 0;
        std::int64_t sum = 0;
        std::vector<Touch> touching;
    };
    // A member in a bucket, with its box, so a query skips it without looking it up.
    struct Entry {
        std::int32_t member = 0;
        std::int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    };
    template <typename F>
    void forBuckets(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, F&& f) const {
        const int x0 = std::clamp(x / side_, 0, across_ - 1);
        const int x1 = std::clamp((x + w - 1) / side_, 0, across_ - 1);
        const int y0 = std::clamp(y / side_, 0, up_ - 1);
        const int y1 = std::clamp((y + h - 1) / side_, 0, up_ - 1);
        for (int by = y0; by <= y1; ++by)
            for (int bx = x0; bx <= x1; ++bx)
                f(by * across_ + bx);
    }
    void link(int i);
    void unlink(int i);

    int side_ = 32;
    int across_ = 1;
    int up_ = 1;
    std::vector<std::vector<Entry>> buckets_;
    std::vector<Member> members_;
    std::int64_t total_ = 0;
    mutable std::vector<std::uint32_t> mark_;
    mutable std::uint32_t round_ = 0;
};

}  // namespace qks::nest
