// The placement engine: part instances dropped one at a time onto the skyline of sheets cut
// from the job's stock. The lowest top edge wins, then the leftmost column, then the
// unrotated and unmirrored orientation; a new sheet comes from the smallest stock entry that
// fits.
//
// Threads: everything here works on layouts and a context that one thread owns at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "qks/nest/config.h"
#include "qks/nest/geometry.h"
#include "qks/nest/part.h"

namespace qks::nest {

struct NestContext;
struct StockMask;

struct Placement {
    std::int32_t partId = 0;
    std::int32_t partIndex = 0;  // position in the context's part list
    std::int32_t angle = 0;      // degrees, 0 .. 359
    bool mirrored = false;
    std::int32_t column = 0;  // grid cell of the raster's bottom-left cell
    std::int32_t row = 0;
    friend bool operator==(const Placement& a, const Placement& b) {
        return a.partId == b.partId && a.partIndex == b.partIndex && a.angle == b.angle &&
               a.mirrored == b.mirrored && a.column == b.column && a.row == b.row;
    }
};

// One opened sheet with its occupancy grid. Grid cell (c, r) covers x from margin + c cell and
// y from margin + r cell, measured from the sheet's lower-left corner.
struct SheetLayout {
    std::int32_t stockIndex = 0;
    double width = 0.0;
    double height = 0.0;
    std::int32_t columns = 1;
    std::int32_t rows = 1;
    std::int32_t wordsPerRow = 1;
    std::vector<std::uint64_t> occupancy;  // rows x wordsPerRow, layout as PartRaster::bits
    std::vector<std::int32_t> skyline;     // per column, first row above everything stamped
    std::vector<Placement> placements;     // in stamping order
    double usedArea = 0.0;
    // An irregular stock piece: the cells that are not stock, taken from the start, and the
    // piece's own area. Null and 0 for a rectangular sheet.
    std::shared_ptr<const StockMask> mask;
    double stockArea = 0.0;
};

// The sheet's area of stock: the piece's own, or width x height.
inline double sheetArea(const SheetLayout& sheet) {
    return sheet.mask ? sheet.stockArea : sheet.width * sheet.height;
}

// A layout is the sheets in the order they were opened.
using Layout = std::vector<SheetLayout>;

struct Orientation {
    std::int32_t angle = 0;
    bool mirrored = false;
};

struct Candidate {
    std::int32_t sheet = -1;  // filled by the caller
    std::int32_t angle = 0;
    bool mirrored = false;
    std::int32_t column = 0;
    std::int32_t row = 0;
    std::int32_t top = 0;  // row + raster height
    std::int64_t score = 0;
};

// Per-context lookup that the engine keeps beside the raster cache: for each part index, its
// orientation list with the cached rasters, and scratch buffers for the skyline sweep. Filled
// on first use; rebuilt for a part when the angle step or the rotate/mirror switches change.
struct OrientationSet {
    bool valid = false;
    std::int32_t step = 0;
    bool rotate = false;
    bool mirror = false;
    std::vector<Orientation> orientations;
    std::vector<const PartRaster*> rasters;       // same order; owned by the RasterCache
    std::vector<std::vector<std::int32_t>> rest;  // bottom[] with empty columns far away
    std::vector<std::vector<int>> samples;        // a few occupied columns per raster
    // Per raster and level L: the smallest, over runs of 2^L adjacent columns, of the largest
    // bottom[] in the run. With the sheet's matching skyline figure it bounds the resting row.
    std::vector<std::vector<std::int32_t>> runBottom;
    std::vector<int> byHeight;  // orientation indices, lowest raster first
};
struct PlacementCache {
    std::vector<OrientationSet> sets;                // by part index
    std::vector<std::vector<std::int32_t>> skyRuns;  // per level L: max of skyline[x, x + 2^L)
    std::vector<std::int32_t> windowMax;
    std::vector<std::pair<std::int32_t, int>> sheetOrder;
    std::vector<std::pair<std::int32_t, std::int32_t>> positions;  // (column, lower bound)
    std::vector<std::int32_t> skyLevels;  // per level L: the smallest of skyRuns[L]
};

// Angle step for a run of `instanceCount` instances: 5 up to 80, 10 up to 200, else 15.
std::int32_t angleStepFor(std::size_t instanceCount);

// The orientations the part may take: its own "partrotate" list when the config gives one (with
// the mirrored versions when mirroring is on), else every angle of the step when rotating (15
// degrees at least for parts above 800,000 square units), else 0 only; mirrored after unmirrored.
std::vector<Orientation> orientationsFor(const NestContext& context, const NestPart& part);

SheetLayout openSheet(std::int32_t stockIndex, const SheetStock& stock, double margin, double cell);

// The lowest-scoring resting position of the part on this sheet over the orientations, or none.
std::optional<Candidate> bestOnSheet(const SheetLayout& sheet, const NestPart& part, int partIndex,
                                     const std::vector<Orientation>& orientations,
                                     NestContext& context);

// ORs the raster into the occupancy at (column, row), raises the skyline and appends
// `placement`. Does not touch usedArea.
void stamp(SheetLayout& sheet, const PartRaster& raster, int column, int row,
           const Placement& placement);

// Places one instance of part `partIndex` on the best open sheet, or on a new sheet from the
// stock when allowed and nothing open fits. `usage` counts the layout's sheets per stock entry.
bool placeInstance(Layout& layout, int partIndex, NestContext& context,
                   std::vector<std::int32_t>& usage, bool allowNewSheet);

// Restamps the sheet from its own placement list (placements keep their positions).
void rebuildSheet(SheetLayout& sheet, NestContext& context);

// Places the instances in order, opening sheets as needed, and returns how many could not be
// placed. Stops before the next instance once the context asks to stop; instances not tried
// are not counted.
int greedyFill(Layout& layout, std::vector<std::int32_t>& usage,
               const std::vector<int>& instanceOrder, NestContext& context);

// One entry per instance: each part index repeated quantity times, sorted by part area, largest
// first.
std::vector<int> firstInstanceOrder(const std::vector<NestPart>& parts);

// Sum of placed part areas over sum of sheet areas; 0 without sheets.
double utilisation(const Layout& layout);
// Largest placement row in the layout; 0 when empty.
std::int32_t highestRow(const Layout& layout);
// Number of placements over all sheets.
std::size_t placementCount(const Layout& layout);

// Recounts the usage counters (one per stock entry) from the layout's stockIndex values.
void recountUsage(const Layout& layout, std::vector<std::int32_t>& usage);

}  // namespace qks::nest
