#include "dense/free_space.h"

#include <algorithm>

namespace qks::nest::dense {

std::unique_ptr<FreeSpace> freeSpaceOf(const Model& model, const State& s, int sheet) {
    const SheetInfo& info = s.sheets[sheet];
    BitGrid grid(info.columns, info.rows);
    for (const Item& item : s.items)
        if (item.sheet == sheet) stampInto(grid, model.raster(item), item.x, item.y);
    return std::make_unique<FreeSpace>(std::move(grid), model.shapes.longestRun);
}

std::unique_ptr<FreeSpace> emptySpace(const Model& model, const SheetInfo& sheet) {
    return std::make_unique<FreeSpace>(BitGrid(sheet.columns, sheet.rows), model.shapes.longestRun);
}

bool lowestFree(Lane& lane, const WindowTable& table, const SheetInfo& info, Item& item,
                std::int32_t topLimit) {
    std::int32_t bestTop = std::min(topLimit, info.rows);
    bool found = false;
    for (int o : lane.model.shapes.fitOrder[item.part]) {
        if (lane.stopping()) return false;
        const RasterRuns& runs = lane.model.shapes.runs[item.part][o];
        if (runs.height > bestTop || runs.width > info.columns) continue;
        lane.spent += lane.tuning.freePositionWork;
        const auto at = table.lowestFit(runs, found ? bestTop - 1 : bestTop);
        if (!at) continue;
        const std::int32_t top = at->second + runs.height;
        if (!found || top < bestTop) {
            found = true;
            bestTop = top;
            item.orientation = o;
            item.x = at->first;
            item.y = at->second;
        }
    }
    return found;
}

bool placeFree(Lane& lane, State& s, Item item, const std::vector<int>& sheets,
               FreeSpaces& spaces) {
    for (int sheet : sheets) {
        if (!lowestFree(lane, *spaces[sheet]->table, s.sheets[sheet], item, s.sheets[sheet].rows))
            continue;
        item.sheet = sheet;
        spaces[sheet]->stamp(lane.model.raster(item), item.x, item.y);
        s.items.push_back(item);
        return true;
    }
    return false;
}

bool dropAnywhere(Lane& lane, const SheetInfo& info, std::int32_t limit, Item& item) {
    const auto& rasters = lane.model.shapes.rasters[item.part];
    const auto& usable = lane.model.shapes.fitOrder[item.part];
    const int count = static_cast<int>(usable.size());
    const int start = static_cast<int>(lane.pick(count));
    for (int k = 0; k < count; ++k) {
        const int o = usable[(start + k) % count];
        const PartRaster& r = *rasters[o];
        if (r.oversize || r.width > info.columns || r.height > limit) continue;
        item.orientation = o;
        item.x = static_cast<std::int32_t>(lane.pick(info.columns - r.width + 1));
        item.y = static_cast<std::int32_t>(lane.pick(limit - r.height + 1));
        return true;
    }
    return false;
}

bool dropBelow(Lane& lane, State& s, int sheet, std::int32_t limit) {
    for (Item& item : s.items)
        if (item.sheet == sheet && item.y + lane.model.raster(item).height > limit &&
            !dropAnywhere(lane, s.sheets[sheet], limit, item))
            return false;
    return true;
}

bool slideBelow(Lane& lane, State& s, int sheet, std::int32_t length, std::int32_t limit) {
    const std::int32_t cut = length - limit;
    const std::int32_t split = static_cast<std::int32_t>(lane.pick(limit + 1));
    for (Item& item : s.items) {
        if (item.sheet != sheet) continue;
        const std::int32_t height = lane.model.raster(item).height;
        if (item.y >= split) item.y = std::max(0, item.y - cut);
        if (item.y + height <= limit) continue;
        if (height <= limit)
            item.y = limit - height;
        else if (!dropAnywhere(lane, s.sheets[sheet], limit, item))
            return false;
    }
    return true;
}

}  // namespace qks::nest::dense
