// Geometry shared by the nesting subsystem: areas and bounds of outlines, the orientation
// transform, the gap-grown occupancy raster of a part and the mapping of a placed
// part back to drawing coordinates.
//
// Units: lengths in drawing units, angles in whole degrees counter-clockwise, y up. Grid row 0
// is the bottom of a sheet.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "qks/contract/transform.h"
#include "qks/geometry/plane.h"
#include "qks/nest/part.h"

namespace qks::nest {

using geometry::cross;
using geometry::pointSegmentDistance;
using geometry::polygonArea;
using geometry::ringLength;
using geometry::segmentDistance;

using geometry::Bounds;
using geometry::boundsOf;

using contract::measureOutline;

using geometry::pointInPolygon;

using geometry::orient;

// Cells by which every raster is grown on each side to keep parts `gap` apart:
// ceil(gap / 2 / cell) for gap > 1e-9, else 0.
int padCells(double gap, double cell);
// padCells(gap, cell) * cell.
double padLength(double gap, double cell);

// Occupancy of one part in one orientation, gap folded in. Bit b of word k in row r is column
// 64k + b; rows run bottom-up.
struct PartRaster {
    std::int32_t angle = 0;
    bool mirrored = false;
    std::int32_t width = 0;   // columns, >= 1 + 2 pad
    std::int32_t height = 0;  // rows, >= 1 + 2 pad
    std::int32_t wordsPerRow = 0;
    std::vector<std::uint64_t> bits;
    std::vector<std::int32_t> bottom;  // per column, lowest set row, -1 when empty
    std::vector<std::int32_t> top;     // per column, highest set row, -1 when empty
    std::vector<Point> shape;          // oriented outline, bounding box at (pad cell, pad cell)
    // Largest bottom[] value over the non-empty columns (-1 when no cell is set), and whether
    // every column has a cell; the placement engine derives lower bounds from them.
    std::int32_t maxBottom = -1;
    std::int32_t minBottom = -1;     // smallest bottom[] value, -1 when no cell is set
    std::int32_t lowestColumn = -1;  // first column whose bottom is minBottom
    bool allColumnsSet = false;
    // Per row, bounds of its set columns: every set cell of row r lies in [rowLeft[r],
    // rowRight[r]) (both 0 for an empty row). Overlap counts visit only where two rows' bounds
    // meet. Empty vectors stand for the whole width.
    std::vector<std::int32_t> rowLeft;
    std::vector<std::int32_t> rowRight;
    // Per row, 1 when every column in [rowLeft, rowRight) is set: two such rows share the cells
    // where their bounds meet, counted without visiting a word. Empty: no row known to be solid.
    std::vector<std::uint8_t> rowSolid;
    // Per row r, bounds of the set columns of rows r .. r + kRowBlock - 1 (an empty start bound
    // past its end when those rows are empty): a count skips such a block where they miss.
    std::vector<std::int32_t> blockLeft;
    std::vector<std::int32_t> blockRight;
    // Set when the part cannot be rasterised at all (coordinates not finite, or a shape far
    // larger than any sheet grid can be): width and height then exceed every grid, bits and
    // column lists are empty, and the engine never places it.
    bool oversize = false;
};

// Largest grid or raster extent in cells per axis, and largest cell count of one grid. Sheets
// and parts beyond these are far outside any real job (kilometres at the finest cell).
inline constexpr std::int32_t kMaxGridSide = 1 << 20;
inline constexpr std::int64_t kMaxGridCells = std::int64_t{1} << 28;

// Rows of a raster's row blocks (PartRaster::blockLeft).
inline constexpr int kRowBlock = 8;

PartRaster buildRaster(const NestPart& part, int angle, bool mirrored, double cell, double gap);

// Sets the row bounds (rowLeft, rowRight, rowSolid, the blocks) from the raster's bits. The
// builders call it; a raster made otherwise may too. Bits cleared afterwards leave the bounds loose
// but still true, but not the solid rows: whoever clears bits calls it again.
void describeRows(PartRaster& raster);

// The same raster with the part's holes left free where a cell lies more than the pad inside
// a hole, so another part placed there keeps the gap to the hole's edge. The column lists
// (bottom, top) still describe the outline's raster.
PartRaster buildHoledRaster(const NestPart& part, int angle, bool mirrored, double cell,
                            double gap);

// A raster that keeps parts the gap apart and no further: the cells the outline meets once
// grown by the pad towards the grid origin and by the rest of the gap (gap - pad cells, not
// below 0) away from it, counted exactly to a quarter cell. Two such rasters that do not
// overlap keep their outlines at least `gap` apart, where buildRaster's keep up to two cells
// more (or, at a notch, can come a cell too close). The outline's bounding box sits at
// (pad cell, pad cell) as in buildRaster, so placements map to the drawing the same way. With
// `holesFree`, the holes are free space as far as the gap allows; the column lists still
// describe the outline's raster.
PartRaster buildExactGapRaster(const NestPart& part, int angle, bool mirrored, double cell,
                               double gap, bool holesFree);

// Rasters of a session, built on first use and never invalidated (cell and gap are fixed for
// the session). References stay valid for the cache's lifetime.
class RasterCache {
  public:
    const PartRaster& get(int partIndex, const NestPart& part, int angle, bool mirrored,
                          double cell, double gap);
    // Builds buildExactGapRaster's rasters (without holes) instead of buildRaster's from now on;
    // a change forgets the rasters built so far, so references to them dangle.
    void setExactGap(bool exact);
    bool exactGap() const { return exactGap_; }
    std::size_t size() const;
    std::size_t bytes() const;  // memory held by the rasters' cells, roughly
    void clear() { byPart_.clear(); }

  private:
    std::map<int, std::map<std::pair<int, bool>, PartRaster>> byPart_;
    bool exactGap_ = false;
};

const PartRaster& rasterFor(RasterCache& cache, int partIndex, const NestPart& part, int angle,
                            bool mirrored, double cell, double gap);

// Drawing position of `point` (of the part's outline, holes or attached geometry) for the part
// placed at grid (column, row) in the given orientation on a sheet whose lower-left corner is
// (sheetX0, sheetY0). The bounding box of the oriented outline and holes lands on grid cell
// (column + pad, row + pad).
Point placementPoint(const Point& point, const NestPart& part, int angle, bool mirrored,
                     double sheetX0, double sheetY0, double margin, double padLength, double cell,
                     int column, int row);

// The whole part (outline, then holes) mapped as placementPoint does, computing the bounding
// minimum once.
using contract::PlacedShape;
PlacedShape placeShape(const NestPart& part, int angle, bool mirrored, double sheetX0,
                       double sheetY0, double margin, double padLength, double cell, int column,
                       int row);

}  // namespace qks::nest
