// Counting and searching on occupancy rasters: cells two placed rasters share, cells of a placed
// raster that are already taken on a sheet, and the lowest free position over a whole sheet
// bitmap (cavities and holes included, not only the skyline).
//
// Grid coordinates: (column, row) of a raster's bottom-left cell; bit b of word k in row r is
// column 64k + b, rows bottom-up, as in PartRaster and SheetLayout.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "qks/nest/geometry.h"

namespace qks::nest {

// Cells set in both `a` at (ax, ay) and `b` at (bx, by). Any offsets, negative ones included.
std::int64_t rasterOverlap(const PartRaster& a, int ax, int ay, const PartRaster& b, int bx,
                           int by);

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
    // The lowest position (then the leftmost) at which the raster touches no set cell, its top
    // (row + height) at most `topLimit`, inside the grid. None when there is no such position.
    std::optional<std::pair<std::int32_t, std::int32_t>> lowestFit(const RasterRuns& runs,
                                                                   std::int32_t topLimit) const;

  private:
    const BitGrid& grid_;
    std::int32_t levels_ = 1;
    std::vector<std::vector<std::uint64_t>> table_;  // per level, rows x wordsPerRow
    mutable std::vector<std::uint64_t> blocked_;
};

}  // namespace qks::nest
