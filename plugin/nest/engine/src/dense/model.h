// The dense search's view of a layout: every part's orientations with their rasters, the items
// standing on sheets (in cells), and the score that orders layouts.
//
// Threads: Shapes and Model are built before the lanes start and only read afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "qks/nest/context.h"
#include "qks/nest/placement.h"
#include "qks/nest/raster_overlap.h"

namespace qks::nest::dense {

// Every part's orientations with their rasters (holed with part-in-part).
struct Shapes {
    std::vector<std::vector<Orientation>> orientations;
    std::vector<std::vector<const PartRaster*>> rasters;
    std::vector<std::vector<RasterRuns>> runs;
    // The orientations the search uses: for a free position, a drop and a turn while overlaps
    // are removed.
    std::vector<std::vector<int>> fitOrder;
    std::vector<std::unique_ptr<PartRaster>> owned;
    std::int32_t longestRun = 1;
};

// Takes the rasters from the context's cache (which it fills) or, for holed parts under
// part-in-part, builds its own.
Shapes buildShapes(NestContext& context);

// One placed instance; x and y are cells of its sheet's grid.
struct Item {
    std::int32_t part = 0;
    std::int32_t orientation = 0;  // index into the part's orientations
    std::int32_t sheet = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct SheetInfo {
    std::int32_t stockIndex = 0;
    double width = 0.0;
    double height = 0.0;
    std::int32_t columns = 1;
    std::int32_t rows = 1;  // a sheet being shortened may stand longer than its stock a while
};

// Lexicographic: unplaced instances, sheet area, used length of the last sheet, the part area
// left on the last sheet (so moving parts off it counts before it empties), then the part area
// on all sheets (which only stock pieces, costing nothing, can take off them).
struct Score {
    std::int64_t unplaced = 0;
    double sheetArea = 0.0;
    std::int32_t lastLength = 0;
    double lastPartArea = 0.0;
    double sheetPartArea = 0.0;

    bool betterThan(const Score& o) const;
};

// The job's stock pieces stand apart from its sheets: they cost nothing, so the score never
// sees them, and their outlines and defects are taken cells that only free positions respect
// (overlap removal would not), so parts reach them and move on them by free positions alone.
// A piece's stockIndex is its entry in the job's config; an item on a piece has `sheet` set to
// the piece's index in `pieces`.
struct State {
    std::vector<SheetInfo> sheets;
    std::vector<Item> items;
    std::vector<std::int32_t> unplaced;  // part indices, one per instance
    std::vector<SheetInfo> pieces;
    std::vector<Item> pieceItems;
};

// The context and shapes a search runs on, with what is computed from them alone. With stock
// pieces, the context's stock is the job's sheets alone and `pieceStock` the job's pieces (its
// first config entries): the sheets' stock indices are then counted after the pieces' in the
// layouts the model gives out, and part quantities count the instances on pieces too.
struct Model {
    const NestContext& context;
    const Shapes& shapes;
    std::vector<SheetStock> pieceStock = {};

    const PartRaster& raster(const Item& item) const {
        return *shapes.rasters[item.part][item.orientation];
    }
    double partArea(const Item& item) const { return context.parts[item.part].area; }
    double stockArea(int entry) const;
    Score score(const State& s) const;
    std::int32_t usedLength(const State& s, int sheet) const;
    // `pieceLayout` holds one sheet per piece entry, in order (an empty one for a piece without
    // parts).
    State fromLayout(const Layout& layout, const Layout& pieceLayout = {}) const;
    // The pieces that hold parts first, in their order, then the sheets.
    Layout toLayout(const State& s) const;
    // The cells a piece leaves free, its parts stamped in.
    BitGrid pieceGrid(const State& s, int piece) const;
};

// `fresh`'s pieces made those of `from`, and as many unplaced instances of each kind dropped as
// `from`'s pieces hold (a layout refilled on the sheets alone counts them unplaced).
void carryPieces(State& fresh, const State& from);

// Sheets left without parts are given up, the later ones moving down.
void dropEmptySheets(State& s);
// Every sheet's own length, as the limits of an overlap removal that shortens none.
std::vector<std::int32_t> fullLimits(const State& s);
// Indices of the items on `sheet`.
std::vector<int> itemsOn(const State& s, int sheet);
// Of every pair of items on `sheet` whose rasters overlap, the smaller part (indices into
// `s.items`); empty when nothing on the sheet overlaps.
std::vector<int> smallerOfOverlapping(const Model& model, const State& s, int sheet);

}  // namespace qks::nest::dense
