#include "dense/model.h"

#include <algorithm>
#include <cmath>

#include "qks/nest/stock.h"

namespace qks::nest::dense {

Shapes buildShapes(NestContext& c) {
    Shapes shapes;
    const std::size_t n = c.parts.size();
    shapes.orientations.resize(n);
    shapes.rasters.resize(n);
    shapes.runs.resize(n);
    shapes.fitOrder.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const NestPart& part = c.parts[i];
        shapes.orientations[i] = orientationsFor(c, part);
        for (const Orientation& o : shapes.orientations[i]) {
            const PartRaster* r = nullptr;
            if (c.config.partInPart && !part.holes.empty()) {
                shapes.owned.push_back(std::make_unique<PartRaster>(
                    c.rasterCache.exactGap()
                        ? buildExactGapRaster(part, o.angle, o.mirrored, c.config.cell,
                                              c.config.gap, true)
                        : buildHoledRaster(part, o.angle, o.mirrored, c.config.cell,
                                           c.config.gap)));
                r = shapes.owned.back().get();
            } else {
                r = &c.rasterCache.get(static_cast<int>(i), part, o.angle, o.mirrored,
                                       c.config.cell, c.config.gap);
            }
            shapes.rasters[i].push_back(r);
            shapes.runs[i].push_back(runsOf(*r));
            shapes.longestRun = std::max(shapes.longestRun, shapes.runs[i].back().longest);
        }
        // Under free rotation, the right angles: sheet-metal parts pack tightest edge to edge,
        // and an even sample of a fine angle step may miss them (every 60 degrees of a
        // 10-degree step). A list of the part's own angles is taken as it is.
        const int count = static_cast<int>(shapes.orientations[i].size());
        const auto own = c.config.partRotations.find(part.id);
        const bool listed = own != c.config.partRotations.end() && !own->second.free;
        if (!listed)
            for (int k = 0; k < count; ++k)
                if (shapes.orientations[i][k].angle % 90 == 0) shapes.fitOrder[i].push_back(k);
        if (shapes.fitOrder[i].empty()) {
            const int sample = c.denseTuning.fitOrientations;
            const int stride = std::max(1, (count + sample - 1) / sample);
            for (int k = 0; k < count; k += stride)
                shapes.fitOrder[i].push_back(k);
        }
    }
    return shapes;
}

bool Score::betterThan(const Score& o) const {
    if (unplaced != o.unplaced) return unplaced < o.unplaced;
    if (std::fabs(sheetArea - o.sheetArea) > 1e-6) return sheetArea < o.sheetArea;
    if (lastLength != o.lastLength) return lastLength < o.lastLength;
    if (std::fabs(lastPartArea - o.lastPartArea) > 1e-6) return lastPartArea < o.lastPartArea;
    return sheetPartArea < o.sheetPartArea - 1e-6;
}

double Model::stockArea(int entry) const {
    const SheetStock& stock = context.config.sheets[entry];
    return stock.width * stock.height;
}

Score Model::score(const State& s) const {
    Score out;
    out.unplaced = static_cast<std::int64_t>(s.unplaced.size());
    for (const SheetInfo& sheet : s.sheets)
        out.sheetArea += sheet.width * sheet.height;
    const int last = static_cast<int>(s.sheets.size()) - 1;
    const bool besidePieces = !s.pieces.empty();
    for (const Item& item : s.items) {
        if (besidePieces) out.sheetPartArea += partArea(item);
        if (item.sheet != last) continue;
        out.lastLength = std::max(out.lastLength, item.y + raster(item).height);
        out.lastPartArea += partArea(item);
    }
    return out;
}

std::int32_t Model::usedLength(const State& s, int sheet) const {
    std::int32_t length = 0;
    for (const Item& item : s.items)
        if (item.sheet == sheet) length = std::max(length, item.y + raster(item).height);
    return length;
}

State Model::fromLayout(const Layout& layout, const Layout& pieceLayout) const {
    State s;
    std::vector<std::int32_t> placed(context.parts.size(), 0);
    auto take = [&](const Layout& from, std::vector<SheetInfo>& infos, std::vector<Item>& items) {
        for (std::size_t k = 0; k < from.size(); ++k) {
            const SheetLayout& sheet = from[k];
            infos.push_back(
                {sheet.stockIndex, sheet.width, sheet.height, sheet.columns, sheet.rows});
            for (const Placement& p : sheet.placements) {
                const auto& list = shapes.orientations[p.partIndex];
                int found = 0;
                for (std::size_t o = 0; o < list.size(); ++o)
                    if (list[o].angle == p.angle && list[o].mirrored == p.mirrored)
                        found = static_cast<int>(o);
                items.push_back(
                    {p.partIndex, found, static_cast<std::int32_t>(k), p.column, p.row});
                ++placed[p.partIndex];
            }
        }
    };
    take(layout, s.sheets, s.items);
    take(pieceLayout, s.pieces, s.pieceItems);
    for (std::size_t i = 0; i < context.parts.size(); ++i)
        for (std::int32_t q = placed[i]; q < context.parts[i].quantity; ++q)
            s.unplaced.push_back(static_cast<std::int32_t>(i));
    return s;
}

Layout Model::toLayout(const State& s) const {
    Layout layout;
    const NestConfig& config = context.config;
    auto place = [&](SheetLayout& sheet, const Item& item) {
        const NestPart& part = context.parts[item.part];
        const Orientation& o = shapes.orientations[item.part][item.orientation];
        stamp(sheet, raster(item), item.x, item.y,
              Placement{part.id, item.part, o.angle, o.mirrored, item.x, item.y});
        sheet.usedArea += part.area;
    };
    for (std::size_t p = 0; p < s.pieces.size(); ++p) {
        const SheetInfo& info = s.pieces[p];
        SheetLayout sheet =
            openSheet(info.stockIndex, pieceStock[info.stockIndex], config.margin, config.cell);
        for (const Item& item : s.pieceItems)
            if (item.sheet == static_cast<std::int32_t>(p)) place(sheet, item);
        if (!sheet.placements.empty()) layout.push_back(std::move(sheet));
    }
    const std::size_t first = layout.size();
    const auto offset = static_cast<std::int32_t>(pieceStock.size());
    for (const SheetInfo& info : s.sheets)
        layout.push_back(openSheet(info.stockIndex + offset, {info.width, info.height, 0},
                                   config.margin, config.cell));
    for (const Item& item : s.items)
        place(layout[first + item.sheet], item);
    return layout;
}

BitGrid Model::pieceGrid(const State& s, int piece) const {
    const SheetInfo& info = s.pieces[piece];
    BitGrid grid(info.columns, info.rows);
    const SheetStock& stock = pieceStock[info.stockIndex];
    if (stock.shape) {
        const std::shared_ptr<const StockMask> mask =
            stock.shape->mask(context.config.margin, context.config.cell, info.columns, info.rows);
        if (mask->bits.size() == grid.bits.size()) grid.bits = mask->bits;
    }
    for (const Item& item : s.pieceItems)
        if (item.sheet == piece) stampInto(grid, raster(item), item.x, item.y);
    return grid;
}

void carryPieces(State& fresh, const State& from) {
    fresh.pieces = from.pieces;
    fresh.pieceItems = from.pieceItems;
    for (const Item& item : from.pieceItems) {
        const auto at = std::find(fresh.unplaced.begin(), fresh.unplaced.end(), item.part);
        if (at != fresh.unplaced.end()) fresh.unplaced.erase(at);
    }
}

void dropEmptySheets(State& s) {
    std::vector<int> count(s.sheets.size(), 0);
    for (const Item& item : s.items)
        ++count[item.sheet];
    std::vector<int> renumbered(s.sheets.size(), -1);
    std::vector<SheetInfo> kept;
    for (std::size_t j = 0; j < s.sheets.size(); ++j) {
        if (count[j] == 0) continue;
        renumbered[j] = static_cast<int>(kept.size());
        kept.push_back(s.sheets[j]);
    }
    if (kept.size() == s.sheets.size()) return;
    for (Item& item : s.items)
        item.sheet = renumbered[item.sheet];
    s.sheets = std::move(kept);
}

std::vector<std::int32_t> fullLimits(const State& s) {
    std::vector<std::int32_t> limits;
    for (const SheetInfo& info : s.sheets)
        limits.push_back(info.rows);
    return limits;
}

std::vector<int> itemsOn(const State& s, int sheet) {
    std::vector<int> on;
    for (std::size_t k = 0; k < s.items.size(); ++k)
        if (s.items[k].sheet == sheet) on.push_back(static_cast<int>(k));
    return on;
}

std::vector<int> smallerOfOverlapping(const Model& model, const State& s, int sheet) {
    const std::vector<int> members = itemsOn(s, sheet);
    OverlapTracker overlaps;
    overlaps.reset(s.sheets[sheet].columns, s.sheets[sheet].rows, 64);
    for (int m : members)
        overlaps.add(&model.raster(s.items[m]), s.items[m].x, s.items[m].y);
    std::vector<int> touched;
    for (int i = 0; i < overlaps.size(); ++i)
        if (overlaps.of(i) != 0) touched.push_back(i);
    std::stable_sort(touched.begin(), touched.end(), [&](int a, int b) {
        return model.partArea(s.items[members[a]]) < model.partArea(s.items[members[b]]);
    });
    std::vector<bool> out(members.size(), false);
    std::vector<int> smaller;
    for (int i : touched) {
        bool partnerIn = false;
        for (const auto& touch : overlaps.touching(i))
            partnerIn = partnerIn || !out[touch.other];
        if (!partnerIn) continue;
        out[i] = true;
        smaller.push_back(members[i]);
    }
    return smaller;
}

}  // namespace qks::nest::dense
