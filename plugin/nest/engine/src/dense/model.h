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

// Lexicographic: unplaced instances, sheet area, used length of the last sheet, then the part
// area left on the last sheet (so moving parts off it counts before it empties).
struct Score {
    std::int64_t unplaced = 0;
    double sheetArea = 0.0;
    std::int32_t lastLength = 0;
    double lastPartArea = 0.0;

    bool betterThan(const Score& o) const;
};

struct State {
    std::vector<SheetInfo> sheets;
    std::vector<Item> items;
    std::vector<std::int32_t> unplaced;  // part indices, one per instance
};

// The context and shapes a search runs on, with what is computed from them alone.
struct Model {
    const NestContext& context;
    const Shapes& shapes;

    const PartRaster& raster(const Item& item) const {
        return *shapes.rasters[item.part][item.orientation];
    }
    double partArea(const Item& item) const { return context.parts[item.part].area; }
    double stockArea(int entry) const;
    Score score(const State& s) const;
    std::int32_t usedLength(const State& s, int sheet) const;
    State fromLayout(const Layout& layout) const;
    Layout toLayout(const State& s) const;
};

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
