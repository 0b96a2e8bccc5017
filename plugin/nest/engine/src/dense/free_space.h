// Free positions: a sheet's occupancy as a bit grid with its window table, the lowest position a
// part fits without overlap, and random drops where overlaps are allowed (to be removed later).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dense/lane.h"

namespace qks::nest::dense {

// A sheet's occupancy with its window table, kept up to date as parts are stamped in.
struct FreeSpace {
    BitGrid grid;
    std::unique_ptr<WindowTable> table;

    FreeSpace(BitGrid g, std::int32_t longestRun)
        : grid(std::move(g)), table(std::make_unique<WindowTable>(grid, longestRun)) {}
    FreeSpace(FreeSpace&&) = delete;
    void stamp(const PartRaster& raster, std::int32_t x, std::int32_t y) {
        stampInto(grid, raster, x, y);
        table->refresh(y, y + raster.height);
    }
};
// Indexed by sheet; a null entry is a sheet not opened for free positions.
using FreeSpaces = std::vector<std::unique_ptr<FreeSpace>>;

// The occupancy of `sheet` as the state has it, and of an empty sheet.
std::unique_ptr<FreeSpace> freeSpaceOf(const Model& model, const State& s, int sheet);
std::unique_ptr<FreeSpace> emptySpace(const Model& model, const SheetInfo& sheet);

// The lowest free position of the part on the sheet over its orientations (lowest top, then
// leftmost), its top at most `topLimit`; written into `item` (part set by the caller).
bool lowestFree(Lane& lane, const WindowTable& table, const SheetInfo& info, Item& item,
                std::int32_t topLimit);

// Puts the part on one of `sheets` at its lowest free position, trying them in order; the item
// is added to the state and stamped into that sheet's space.
bool placeFree(Lane& lane, State& s, Item item, const std::vector<int>& sheets, FreeSpaces& spaces);

// A random orientation that fits a sheet `limit` rows long, and a random position for it.
bool dropAnywhere(Lane& lane, const SheetInfo& info, std::int32_t limit, Item& item);

// Drops every part of `sheet` reaching above `limit` at random below it; false when one cannot
// stand below it at all.
bool dropBelow(Lane& lane, State& s, int sheet, std::int32_t limit);

// Takes `length - limit` rows out of `sheet` at a random height: what stands above moves down by
// as much, and what then still reaches above `limit` is pushed down under it (a part taller than
// `limit` turned, as when dropped). The layout keeps its shape, and the overlaps are thin ones
// along the cut. False when a part cannot stand below `limit` at all.
bool slideBelow(Lane& lane, State& s, int sheet, std::int32_t length, std::int32_t limit);

}  // namespace qks::nest::dense
