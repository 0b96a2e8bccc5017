#include "dense/moves.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "dense/free_space.h"
#include "dense/separation.h"

namespace qks::nest::dense {
namespace {

std::vector<int> allSheetsBefore(int end) {
    std::vector<int> order(end);
    for (int k = 0; k < end; ++k)
        order[k] = k;
    return order;
}

void largestFirst(const Model& model, const State& s, std::vector<int>& indices) {
    std::sort(indices.begin(), indices.end(), [&](int a, int b) {
        return model.partArea(s.items[a]) > model.partArea(s.items[b]);
    });
}

void keepUnmarked(State& s, const std::vector<bool>& marked) {
    std::vector<Item> kept;
    for (std::size_t k = 0; k < s.items.size(); ++k)
        if (k >= marked.size() || !marked[k]) kept.push_back(s.items[k]);
    s.items = std::move(kept);
}

// Moves the given items of the last sheet onto the others; the free positions first, the rest
// dropped and separated.
bool spreadOntoOthers(Lane& lane, State& s, std::vector<int> movers) {
    const int last = static_cast<int>(s.sheets.size()) - 1;
    largestFirst(lane.model, s, movers);
    std::vector<Item> moving;
    for (int k : movers)
        moving.push_back(s.items[k]);
    std::vector<bool> gone(s.items.size(), false);
    for (int k : movers)
        gone[k] = true;
    keepUnmarked(s, gone);
    FreeSpaces spaces;
    for (int k = 0; k < last; ++k)
        spaces.push_back(freeSpaceOf(lane.model, s, k));
    std::vector<int> order = allSheetsBefore(last);
    std::vector<int> touched;
    int dropped = 0;
    for (Item item : moving) {
        if (lane.stopping()) return false;
        std::shuffle(order.begin(), order.end(), lane.gen);
        if (placeFree(lane, s, item, order, spaces)) continue;
        const int sheet = order.front();
        item.sheet = sheet;
        if (++dropped > lane.tuning.mostDropped) return false;
        if (!dropAnywhere(lane, s.sheets[sheet], s.sheets[sheet].rows, item)) return false;
        s.items.push_back(item);
        spaces[sheet]->stamp(lane.model.raster(item), item.x, item.y);
        if (std::find(touched.begin(), touched.end(), sheet) == touched.end())
            touched.push_back(sheet);
    }
    if (!touched.empty() && !separate(lane, s, touched, fullLimits(s))) return false;
    dropEmptySheets(s);
    return true;
}

// How many more sheets of each stock entry may be opened once the sheets `from` .. `to` are
// given up; a negative count means no bound.
std::vector<int> entriesLeft(const Model& model, const State& s, int from, int to) {
    const NestConfig& config = model.context.config;
    std::vector<int> left(config.sheets.size(), -1);
    for (std::size_t k = 0; k < config.sheets.size(); ++k)
        if (config.sheets[k].count >= 1) left[k] = config.sheets[k].count;
    for (int j = 0; j < static_cast<int>(s.sheets.size()); ++j) {
        const int entry = s.sheets[j].stockIndex;
        if ((j < from || j > to) && entry >= 0 && entry < static_cast<int>(left.size()) &&
            left[entry] > 0)
            --left[entry];
    }
    return left;
}

// Sets of up to `most` sheets of the stock `left` (as entriesLeft counts it) costing less than
// `area`, in ascending entry order so each comes once; `room` says whether the area of a set
// inside the margins is enough.
std::vector<std::vector<int>> cheaperStockSets(const Model& model, std::vector<int> left,
                                               double area, int most,
                                               const std::function<bool(double)>& room) {
    const NestConfig& config = model.context.config;
    const auto usable = [&](int entry) {
        const SheetStock& stock = config.sheets[entry];
        return std::max(0.0, stock.width - 2 * config.margin) *
               std::max(0.0, stock.height - 2 * config.margin);
    };
    std::vector<std::vector<int>> sets;
    std::vector<int> set;
    const std::function<void(int, double, double)> grow = [&](int from, double cost,
                                                              double inside) {
        if (!set.empty() && cost < area - 1e-6 && room(inside)) sets.push_back(set);
        if (static_cast<int>(set.size()) >= most) return;
        for (int e = from; e < static_cast<int>(left.size()); ++e) {
            if (left[e] == 0 || cost + model.stockArea(e) >= area - 1e-6) continue;
            --left[e];
            set.push_back(e);
            grow(e, cost + model.stockArea(e), inside + usable(e));
            set.pop_back();
            ++left[e];
        }
    };
    grow(0, 0.0, 0.0);
    return sets;
}

// The parts of `sheet` moved onto fresh sheets of the stock `entries` (the first takes the
// sheet's place, a second is added at the end): lowest free positions there first, then free
// positions on the other sheets; the rest dropped and separated when `separateRest`.
bool restock(Lane& lane, State& s, int sheet, const std::vector<int>& entries, bool separateRest) {
    const NestConfig& config = lane.model.context.config;
    std::vector<int> targets;
    FreeSpaces spaces(s.sheets.size() + entries.size() - 1);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const SheetStock& stock = config.sheets[entries[k]];
        const SheetLayout grid = openSheet(entries[k], stock, config.margin, config.cell);
        const SheetInfo info{entries[k], stock.width, stock.height, grid.columns, grid.rows};
        const int at = k == 0 ? sheet : static_cast<int>(s.sheets.size());
        if (k == 0)
            s.sheets[sheet] = info;
        else
            s.sheets.push_back(info);
        spaces[at] = emptySpace(lane.model, info);
        targets.push_back(at);
    }
    std::vector<int> movers = itemsOn(s, sheet);
    largestFirst(lane.model, s, movers);
    // What the new sheets cannot take goes to free positions on the others, so a sheet need
    // not first be thinned out by other moves to fit smaller stock.
    std::vector<int> others;
    for (int j = 0; j < static_cast<int>(s.sheets.size()); ++j)
        if (std::find(targets.begin(), targets.end(), j) == targets.end()) others.push_back(j);
    bool othersOpen = false;
    std::vector<bool> spilled(s.items.size(), false);
    int dropped = 0;
    std::vector<int> touched;
    for (int k : movers) {
        if (lane.stopping()) return false;
        Item item = s.items[k];
        bool placed = false;
        for (int target : targets) {
            if (!lowestFree(lane, *spaces[target]->table, s.sheets[target], item,
                            s.sheets[target].rows))
                continue;
            item.sheet = target;
            placed = true;
            break;
        }
        if (!placed && !others.empty()) {
            if (!othersOpen)
                for (int j : others)
                    spaces[j] = freeSpaceOf(lane.model, s, j);
            othersOpen = true;
            std::shuffle(others.begin(), others.end(), lane.gen);
            if (placeFree(lane, s, item, others, spaces)) {
                spilled.resize(s.items.size(), false);
                spilled[k] = true;
                continue;
            }
        }
        if (!placed) {
            item.sheet = targets[lane.pick(static_cast<std::uint32_t>(targets.size()))];
            if (!separateRest ||
                !dropAnywhere(lane, s.sheets[item.sheet], s.sheets[item.sheet].rows, item))
                return false;
            if (++dropped > lane.tuning.mostDroppedOnNewSheet) return false;
            if (std::find(touched.begin(), touched.end(), item.sheet) == touched.end())
                touched.push_back(item.sheet);
        }
        spaces[item.sheet]->stamp(lane.model.raster(item), item.x, item.y);
        s.items[k] = item;
    }
    keepUnmarked(s, spilled);
    if (!touched.empty() && !separate(lane, s, touched, fullLimits(s))) return false;
    dropEmptySheets(s);
    return true;
}

// The part of `sheet` reaching highest dropped onto one of the sheets first .. sheet - 1 and the
// overlaps removed there; `s` is unchanged when that fails.
bool pushHighest(Lane& lane, State& s, int first, int sheet) {
    const Model& model = lane.model;
    int highest = -1;
    for (std::size_t k = 0; k < s.items.size(); ++k)
        if (s.items[k].sheet == sheet &&
            (highest < 0 || s.items[k].y + model.raster(s.items[k]).height >
                                s.items[highest].y + model.raster(s.items[highest]).height))
            highest = static_cast<int>(k);
    if (highest < 0) return false;
    State trial = s;
    Item& item = trial.items[highest];
    item.sheet = first + static_cast<int>(lane.pick(static_cast<std::uint32_t>(sheet - first)));
    const int target = item.sheet;
    if (!dropAnywhere(lane, trial.sheets[target], trial.sheets[target].rows, item) ||
        !separate(lane, trial, {target}, fullLimits(trial)))
        return false;
    s = std::move(trial);
    return true;
}

// Patience of the overlap removal when one sheet is shortened or rearranged in place.
int stallPassesFor(const Lane& lane, const State& s) {
    return s.sheets.size() == 1 ? lane.tuning.patientStallPasses : lane.tuning.stallPasses;
}

// The next shortening step after one that succeeded or failed on a sheet `length` rows long:
// smaller steps after a failure, back to the first step once they are down to a cell.
double nextShrink(const DenseTuning& t, double step, bool ok, std::int32_t length) {
    if (ok) return std::min(t.firstShrink, step * t.shrinkGrowth);
    return step * length <= 1.0 ? t.firstShrink : step * t.shrinkDecay;
}

}  // namespace

MoveMask allowedMoves(const Lane& lane, const State& s) {
    const int sheets = static_cast<int>(s.sheets.size());
    const bool mixedStock = lane.model.context.config.sheets.size() > 1;
    MoveMask allowed{};
    auto set = [&](Move m, bool on) { allowed[static_cast<int>(m)] = on; };
    if (sheets == 0) {
        set(Move::IntoPieces, !s.pieces.empty() && !s.unplaced.empty());
        return allowed;
    }
    set(Move::InsertUnplaced, !s.unplaced.empty());
    set(Move::SmallerStock, !smallerStockSets(lane.model, s).empty());
    set(Move::EmptyLast, sheets >= 2);
    set(Move::MoveOffLast, sheets >= 2);
    set(Move::ShrinkOther, sheets >= 2);
    set(Move::ShrinkLast, true);
    // Packing a lone sheet anew only rebuilds a first layout, which its shortening has long
    // passed: on the ESICUP strips it took three fifths of the search time for nothing.
    set(Move::Repack, sheets >= 2);
    set(Move::Refill, sheets >= 2 && lane.own != nullptr);
    set(Move::PushOne, sheets >= 2);
    set(Move::RestockOther, sheets >= 2 && mixedStock &&
                                lane.emptyTries[std::min(sheets, Lane::kSheetsTracked - 1)] >=
                                    lane.tuning.emptyTriesBeforeRestock);
    set(Move::Regroup, mixedStock);
    set(Move::SwapPair, sheets == 1 && lane.tuning.swapPairs);
    set(Move::IntoPieces, !s.pieces.empty());
    set(Move::RepackPiece, !s.pieces.empty());
    return allowed;
}

bool runMove(Lane& lane, State& s, Move move) {
    const int sheets = static_cast<int>(s.sheets.size());
    switch (move) {
        case Move::InsertUnplaced:
            return insertUnplaced(lane, s);
        case Move::SmallerStock:
            return smallerStock(lane, s);
        case Move::EmptyLast: {
            const bool ok = emptyLastSheet(lane, s);
            lane.emptyTries[std::min(sheets, Lane::kSheetsTracked - 1)] += 1;
            return ok;
        }
        case Move::MoveOffLast:
            return moveOffLastSheet(lane, s);
        case Move::ShrinkOther:
            return shrinkSheet(lane, s, static_cast<int>(lane.pick(sheets - 1)));
        case Move::ShrinkLast:
            return shrinkSheet(lane, s, sheets - 1);
        case Move::Repack:
            return repack(lane, s, static_cast<int>(lane.pick(sheets)));
        case Move::Refill:
            return refill(lane, s);
        case Move::PushOne:
            return pushOneOffLastSheet(lane, s);
        case Move::RestockOther:
            return restockOther(lane, s);
        case Move::Regroup:
            return regroup(lane, s);
        case Move::SwapPair:
            return swapPair(lane, s);
        case Move::IntoPieces:
            return intoPieces(lane, s);
        case Move::RepackPiece:
            return repackPiece(lane, s);
    }
    return false;
}

bool insertUnplaced(Lane& lane, State& s) {
    if (s.unplaced.empty() || s.sheets.empty()) return false;
    const std::size_t at = lane.pick(static_cast<std::uint32_t>(s.unplaced.size()));
    Item item;
    item.part = s.unplaced[at];
    const std::vector<int> order = allSheetsBefore(static_cast<int>(s.sheets.size()));
    FreeSpaces spaces;
    for (std::size_t k = 0; k < s.sheets.size(); ++k)
        spaces.push_back(freeSpaceOf(lane.model, s, static_cast<int>(k)));
    if (!placeFree(lane, s, item, order, spaces)) {
        const int sheet = static_cast<int>(lane.pick(static_cast<std::uint32_t>(s.sheets.size())));
        item.sheet = sheet;
        if (!dropAnywhere(lane, s.sheets[sheet], s.sheets[sheet].rows, item)) return false;
        s.items.push_back(item);
        if (!separate(lane, s, {sheet}, fullLimits(s))) return false;
    }
    s.unplaced.erase(s.unplaced.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

bool emptyLastSheet(Lane& lane, State& s) {
    if (s.sheets.size() < 2) return false;
    return spreadOntoOthers(lane, s, itemsOn(s, static_cast<int>(s.sheets.size()) - 1));
}

bool pushOneOffLastSheet(Lane& lane, State& s) {
    if (s.sheets.size() < 2) return false;
    const std::vector<int> onLast = itemsOn(s, static_cast<int>(s.sheets.size()) - 1);
    if (onLast.empty()) return false;
    return spreadOntoOthers(lane, s,
                            {onLast[lane.pick(static_cast<std::uint32_t>(onLast.size()))]});
}

// What it can of a batch of the last sheet's parts goes to free positions on the other sheets,
// largest first; a part that finds none stays where it is, so nothing overlaps.
bool moveOffLastSheet(Lane& lane, State& s) {
    if (s.sheets.size() < 2) return false;
    const int last = static_cast<int>(s.sheets.size()) - 1;
    std::vector<int> onLast = itemsOn(s, last);
    if (onLast.empty()) return false;
    std::shuffle(onLast.begin(), onLast.end(), lane.gen);
    const std::size_t batch = std::max<std::size_t>(lane.tuning.moveOffBatch, onLast.size() / 4);
    if (onLast.size() > batch) onLast.resize(batch);
    largestFirst(lane.model, s, onLast);
    FreeSpaces spaces;
    for (int k = 0; k < last; ++k)
        spaces.push_back(freeSpaceOf(lane.model, s, k));
    std::vector<int> order = allSheetsBefore(last);
    std::vector<bool> moved(s.items.size(), false);
    bool any = false;
    for (int k : onLast) {
        if (lane.stopping()) return false;
        std::shuffle(order.begin(), order.end(), lane.gen);
        if (!placeFree(lane, s, s.items[k], order, spaces)) continue;
        moved.resize(s.items.size(), false);
        moved[k] = true;
        any = true;
    }
    if (!any) return false;
    keepUnmarked(s, moved);
    dropEmptySheets(s);
    return true;
}

namespace {

// Two items change places, each kept inside the sheet's columns and below `limit`; false when
// one of them is too large for the other's room.
bool swapPlaces(Lane& lane, State& s, int a, int b, std::int32_t limit) {
    Item& first = s.items[a];
    Item& second = s.items[b];
    std::swap(first.x, second.x);
    std::swap(first.y, second.y);
    for (Item* item : {&first, &second}) {
        const PartRaster& r = lane.model.raster(*item);
        if (r.height > limit || r.width > s.sheets[item->sheet].columns) return false;
        item->x = std::min(item->x, s.sheets[item->sheet].columns - r.width);
        item->y = std::min(item->y, limit - r.height);
    }
    return true;
}

// Shakes a stuck arrangement: two of the larger parts of different kinds change places, so the
// next overlap removal does not fall back into the same arrangement.
void disturb(Lane& lane, State& s, std::int32_t limit) {
    std::vector<int> larger(s.items.size());
    for (std::size_t k = 0; k < larger.size(); ++k)
        larger[k] = static_cast<int>(k);
    largestFirst(lane.model, s, larger);
    larger.resize(std::max(std::min<std::size_t>(2, larger.size()), larger.size() / 2));
    const auto count = static_cast<std::uint32_t>(larger.size());
    for (int attempt = 0; attempt < lane.tuning.disturbAttempts; ++attempt) {
        const int a = larger[lane.pick(count)];
        const int b = larger[lane.pick(count)];
        if (s.items[a].part == s.items[b].part) continue;
        const Item keepA = s.items[a];
        const Item keepB = s.items[b];
        if (swapPlaces(lane, s, a, b, limit)) return;
        s.items[a] = keepA;
        s.items[b] = keepB;
    }
}

// A near miss of overlap removal settled another way: of every pair of the arrangement still
// overlapping the smaller part is taken out, and those taken out go back, largest first, to their
// lowest free positions below `limit`. Overlap removal often stalls on a few cells that its
// sampled moves do not clear while a hole elsewhere takes the small part whole. Writes the
// arrangement into `s` on success; `s` is untouched otherwise.
bool refitOverlapping(Lane& lane, State& s, int sheet, const std::vector<Item>& arrangement,
                      std::int32_t limit) {
    const Model& model = lane.model;
    State trial = s;
    trial.items = arrangement;
    const std::vector<int> smaller = smallerOfOverlapping(model, trial, sheet);
    if (smaller.empty()) return false;
    std::vector<bool> out(trial.items.size(), false);
    std::vector<Item> evicted;
    for (int k : smaller) {
        out[k] = true;
        evicted.push_back(trial.items[k]);
    }
    keepUnmarked(trial, out);
    std::stable_sort(evicted.begin(), evicted.end(), [&](const Item& a, const Item& b) {
        return model.partArea(a) > model.partArea(b);
    });
    const std::unique_ptr<FreeSpace> space = freeSpaceOf(model, trial, sheet);
    for (Item item : evicted) {
        if (!lowestFree(lane, *space->table, trial.sheets[sheet], item, limit)) return false;
        space->stamp(model.raster(item), item.x, item.y);
        trial.items.push_back(item);
    }
    s = std::move(trial);
    return true;
}

// Overlap removal again from the lane's stuck arrangement, disturbed. A failure that leaves less
// overlap becomes the new stuck arrangement; after `stuckRetries` failures the lane cuts anew,
// with a smaller step.
bool retryStuck(Lane& lane, State& s, std::int32_t length) {
    Lane::Stuck& stuck = *lane.stuck;
    State trial = s;
    trial.items = stuck.items;
    disturb(lane, trial, stuck.limit);
    const bool ok = separate(lane, trial, {0}, {stuck.limit}, stallPassesFor(lane, trial));
    if (ok) {
        s = std::move(trial);
        lane.stuck.reset();
        lane.shrink = nextShrink(lane.tuning, lane.shrink, true, length);
        return true;
    }
    if (lane.leftOverlap >= 0 && lane.tuning.refitStuck &&
        refitOverlapping(lane, s, 0, lane.work, stuck.limit)) {
        lane.stuck.reset();
        lane.shrink = nextShrink(lane.tuning, lane.shrink, true, length);
        return true;
    }
    if (lane.leftOverlap >= 0 && lane.leftOverlap < stuck.overlap) {
        stuck.items = lane.work;
        stuck.overlap = lane.leftOverlap;
    }
    if (++stuck.tries >= lane.tuning.stuckRetries) {
        lane.stuck.reset();
        lane.shrink = nextShrink(lane.tuning, lane.shrink, false, length);
    }
    return false;
}

}  // namespace

// A share off the used length of one sheet: what stands above the new length is dropped below
// it and the overlaps removed.
bool shrinkSheet(Lane& lane, State& s, int sheet) {
    const std::int32_t length = lane.model.usedLength(s, sheet);
    if (length <= 1) return false;
    // Only a layout of one sheet keeps what a failed shortening reached: with more sheets the
    // moves between them change the layout under it.
    const bool keepStuck =
        s.sheets.size() == 1 && s.unplaced.empty() && lane.tuning.stuckRetries > 0;
    if (keepStuck && lane.stuck && lane.stuck->limit < length &&
        lane.stuck->items.size() == s.items.size())
        return retryStuck(lane, s, length);
    lane.stuck.reset();
    const std::int32_t cut =
        std::max<std::int32_t>(1, static_cast<std::int32_t>(std::lround(length * lane.shrink)));
    const std::int32_t limit = length - cut;
    std::vector<std::int32_t> limits = fullLimits(s);
    limits[sheet] = limit;
    const bool slid = keepStuck && lane.tuning.slideCut;
    if (!(slid ? slideBelow(lane, s, sheet, length, limit) : dropBelow(lane, s, sheet, limit))) {
        lane.shrink = lane.tuning.firstShrink;
        return false;
    }
    const bool ok = separate(lane, s, {sheet}, limits, stallPassesFor(lane, s));
    if (!ok && keepStuck && lane.leftOverlap >= 0 && lane.tuning.refitStuck &&
        refitOverlapping(lane, s, sheet, lane.work, limit)) {
        lane.shrink = nextShrink(lane.tuning, lane.shrink, true, length);
        return true;
    }
    if (!ok && keepStuck && lane.leftOverlap >= 0) {
        lane.stuck = Lane::Stuck{lane.work, limit, lane.leftOverlap, 0};
        return false;
    }
    lane.shrink = nextShrink(lane.tuning, lane.shrink, ok, length);
    return ok;
}

// One sheet and the last packed again, largest parts first with a little shuffling, each at its
// lowest free position on that sheet, else on the last (the last alone when `sheet` is the
// last).
bool repack(Lane& lane, State& s, int sheet) {
    const Model& model = lane.model;
    const int last = static_cast<int>(s.sheets.size()) - 1;
    std::vector<Item> moving, kept;
    for (const Item& item : s.items)
        (item.sheet == sheet || item.sheet == last ? moving : kept).push_back(item);
    std::stable_sort(moving.begin(), moving.end(), [&](const Item& a, const Item& b) {
        return model.partArea(a) > model.partArea(b);
    });
    for (std::size_t k = 0; k + 1 < moving.size(); ++k)
        if (lane.pick(lane.tuning.repackSwapOdds) == 0) std::swap(moving[k], moving[k + 1]);
    s.items = std::move(kept);
    FreeSpaces spaces(s.sheets.size());
    for (int k : {sheet, last})
        if (!spaces[k]) spaces[k] = emptySpace(model, s.sheets[k]);
    const std::vector<int> order =
        sheet == last ? std::vector<int>{last} : std::vector<int>{sheet, last};
    for (const Item& item : moving) {
        if (lane.stopping()) return false;
        if (!placeFree(lane, s, item, order, spaces)) return false;
    }
    dropEmptySheets(s);
    return true;
}

// A new skyline layout from the largest-first order with neighbours swapped at random, on the
// smallest or the largest stock first, its last sheet then moved to smaller stock when its
// parts fit there.
bool refill(Lane& lane, State& s) {
    if (!lane.own) return false;
    NestContext& own = *lane.own;
    std::vector<int> order = firstInstanceOrder(own.parts);
    // What the stock pieces hold stays there: the sheets are refilled with the rest.
    for (const Item& item : s.pieceItems) {
        const auto at = std::find(order.begin(), order.end(), item.part);
        if (at != order.end()) order.erase(at);
    }
    for (std::size_t k = 0; k + 1 < order.size(); ++k)
        if (lane.pick(lane.tuning.refillSwapOdds) == 0) std::swap(order[k], order[k + 1]);
    own.largestStockFirst = lane.pick(2) == 0;
    Layout layout;
    std::vector<std::int32_t> usage(own.config.sheets.size(), 0);
    const int unplaced = greedyFill(layout, usage, order, own);
    if (placementCount(layout) + static_cast<std::size_t>(unplaced) < order.size() ||
        layout.empty())
        return false;
    State fresh = lane.model.fromLayout(layout);
    carryPieces(fresh, s);
    settleOnSmallestStock(lane, fresh);
    s = std::move(fresh);
    return true;
}

std::vector<std::vector<int>> smallerStockSets(const Model& model, const State& s) {
    const int last = static_cast<int>(s.sheets.size()) - 1;
    // Two sheets take a thin last sheet that no single smaller sheet holds.
    std::vector<std::vector<int>> sets = cheaperStockSets(
        model, entriesLeft(model, s, last, last), s.sheets[last].width * s.sheets[last].height, 2,
        [](double) { return true; });
    const auto total = [&](const std::vector<int>& set) {
        double sum = 0.0;
        for (int e : set)
            sum += model.stockArea(e);
        return sum;
    };
    std::stable_sort(sets.begin(), sets.end(),
                     [&](const auto& x, const auto& y) { return total(x) < total(y); });
    return sets;
}

bool settleOnSmallestStock(Lane& lane, State& s) {
    if (s.sheets.empty()) return false;
    const int last = static_cast<int>(s.sheets.size()) - 1;
    for (const std::vector<int>& set : smallerStockSets(lane.model, s)) {
        State trial = s;
        if (restock(lane, trial, last, set, false)) {
            s = std::move(trial);
            return true;
        }
    }
    return false;
}

bool smallerStock(Lane& lane, State& s) {
    if (s.sheets.empty()) return false;
    const std::vector<std::vector<int>> sets = smallerStockSets(lane.model, s);
    if (sets.empty()) return false;
    const int last = static_cast<int>(s.sheets.size()) - 1;
    return restock(lane, s, last, sets[lane.pick(static_cast<std::uint32_t>(sets.size()))], true);
}

// Another sheet than the last onto a smaller stock sheet: with mixed stock, sheet area can also
// be saved in the middle of the layout. (Opening more sheets of smaller stock to save area was
// tried: it trades the chance of emptying the last sheet for a small step.)
bool restockOther(Lane& lane, State& s) {
    if (s.sheets.size() < 2) return false;
    const int sheet = static_cast<int>(lane.pick(static_cast<std::uint32_t>(s.sheets.size() - 1)));
    const double area = s.sheets[sheet].width * s.sheets[sheet].height;
    const std::vector<int> left = entriesLeft(lane.model, s, sheet, sheet);
    std::vector<int> options;
    for (int entry = 0; entry < static_cast<int>(left.size()); ++entry)
        if (left[entry] != 0 && lane.model.stockArea(entry) < area - 1e-6) options.push_back(entry);
    if (options.empty()) return false;
    return restock(lane, s, sheet, {options[lane.pick(static_cast<std::uint32_t>(options.size()))]},
                   true);
}

// The last one to three sheets onto up to one sheet more of other stock of less area, a
// lengthened last one taking what the others cannot; that sheet is then shortened step by step,
// the overlaps removed each time, until it is back to its stock's length. Moves between sheets
// alone cannot reach such stock when every sheet is well filled.
bool regroup(Lane& lane, State& s) {
    const Model& model = lane.model;
    const DenseTuning& t = lane.tuning;
    const NestConfig& config = model.context.config;
    const int count = static_cast<int>(s.sheets.size());
    if (count == 0) return false;
    const int first = count - 1 - static_cast<int>(lane.pick(std::min(count, t.regroupSheets)));
    double area = 0.0, partArea = 0.0;
    for (int j = first; j < count; ++j)
        area += s.sheets[j].width * s.sheets[j].height;
    for (const Item& item : s.items)
        if (item.sheet >= first) partArea += model.partArea(item);
    // Sets of stock left once the group is given up that cost less and leave the parts a fill
    // below the bound.
    const std::vector<std::vector<int>> sets =
        cheaperStockSets(model, entriesLeft(model, s, first, count - 1), area, count - first + 1,
                         [&](double inside) { return partArea < t.regroupFill * inside; });
    if (sets.empty()) return false;
    const std::vector<int> entries = sets[lane.pick(static_cast<std::uint32_t>(sets.size()))];

    // The group's parts, largest first, leave; the new sheets take the group's place.
    std::vector<Item> moving, kept;
    for (const Item& item : s.items)
        (item.sheet >= first ? moving : kept).push_back(item);
    std::stable_sort(moving.begin(), moving.end(), [&](const Item& a, const Item& b) {
        return model.partArea(a) > model.partArea(b);
    });
    s.items = std::move(kept);
    s.sheets.resize(first);
    std::int32_t stockRows = 0;
    for (int entry : entries) {
        const SheetStock& stock = config.sheets[entry];
        const SheetLayout grid = openSheet(entry, stock, config.margin, config.cell);
        stockRows = grid.rows;
        s.sheets.push_back({entry, stock.width, stock.height, grid.columns, grid.rows});
    }
    const int longSheet = static_cast<int>(s.sheets.size()) - 1;
    s.sheets[longSheet].rows = stockRows * 2;
    FreeSpaces spaces;
    for (int j = 0; j < static_cast<int>(s.sheets.size()); ++j)
        spaces.push_back(freeSpaceOf(model, s, j));
    // The other sheets' gaps before the long sheet, which is to shrink.
    std::vector<int> order;
    for (int j = first; j < longSheet; ++j)
        order.push_back(j);
    for (int j = 0; j < first; ++j)
        order.push_back(j);
    order.push_back(longSheet);
    for (const Item& item : moving) {
        if (lane.stopping()) return false;
        if (!placeFree(lane, s, item, order, spaces)) return false;
    }
    double step = t.firstShrink;
    // Half the tries end where the long sheet stops shortening: on large sheets moving parts
    // one by one is slow, and a quick try may find another set of stock instead.
    const int pushBudget = lane.pick(2) == 0 ? t.regroupPushes : 0;
    int pushes = 0, sinceShorter = 0;
    std::int32_t shortest = std::numeric_limits<std::int32_t>::max();
    for (int round = 0; round < t.regroupRounds; ++round) {
        const std::int32_t length = model.usedLength(s, longSheet);
        if (length <= stockRows) {
            s.sheets[longSheet].rows = stockRows;
            dropEmptySheets(s);
            return true;
        }
        if (lane.stopping()) return false;
        const std::int32_t cut =
            std::max<std::int32_t>(1, static_cast<std::int32_t>(std::lround(length * step)));
        const std::int32_t limit = std::max(stockRows, length - cut);
        State trial = s;
        std::vector<std::int32_t> limits = fullLimits(trial);
        limits[longSheet] = limit;
        if (dropBelow(lane, trial, longSheet, limit) &&
            separate(lane, trial, {longSheet}, limits)) {
            s = std::move(trial);
            step = std::min(t.firstShrink, step * t.shrinkGrowth);
            continue;
        }
        if (step * length > 1.0) {
            step *= t.shrinkDecay;
            continue;
        }
        // Not a row more: the highest part of the long sheet goes into another new sheet, which
        // removes the overlaps it makes, and the shortening starts again. The greedy fill leaves
        // the new sheets unevenly full; this evens them out.
        if (length < shortest) {
            shortest = length;
            sinceShorter = 0;
        }
        if (longSheet == first || ++pushes > pushBudget || ++sinceShorter > t.regroupStalledPushes)
            return false;
        if (pushHighest(lane, s, first, longSheet)) step = t.firstShrink;
    }
    return false;
}

// Two parts of different kinds on one sheet change places, each keeping its orientation, its
// corner where the other's was; the sheet's used length is the limit and the overlaps are
// removed. Shortening alone settles into one arrangement; this one is as long and different, so
// shortening may go on from it.
bool swapPair(Lane& lane, State& s) {
    if (s.sheets.empty()) return false;
    const int sheet = static_cast<int>(lane.pick(static_cast<std::uint32_t>(s.sheets.size())));
    const std::vector<int> on = itemsOn(s, sheet);
    if (on.size() < 2) return false;
    const int a = on[lane.pick(static_cast<std::uint32_t>(on.size()))];
    const int b = on[lane.pick(static_cast<std::uint32_t>(on.size()))];
    if (s.items[a].part == s.items[b].part) return false;
    const std::int32_t length = lane.model.usedLength(s, sheet);
    if (!swapPlaces(lane, s, a, b, length)) return false;
    std::vector<std::int32_t> limits = fullLimits(s);
    limits[sheet] = length;
    return separate(lane, s, {sheet}, limits, stallPassesFor(lane, s));
}

namespace {

// Up to four instances that could go onto a piece: the unplaced ones first, then parts of the
// last sheet (or, one time in four, of another sheet), as indices into `s.items` (unplaced ones
// as -1 - their index into `s.unplaced`). Largest first.
std::vector<int> pieceCandidates(Lane& lane, const State& s) {
    std::vector<int> picked;
    constexpr std::size_t kMost = 4;
    for (std::size_t k = 0; k < s.unplaced.size() && picked.size() < kMost; ++k)
        picked.push_back(-1 - static_cast<int>(k));
    if (!s.sheets.empty() && picked.size() < kMost) {
        const int sheets = static_cast<int>(s.sheets.size());
        const int from = lane.pick(4) == 0 ? static_cast<int>(lane.pick(sheets)) : sheets - 1;
        std::vector<int> on = itemsOn(s, from);
        std::shuffle(on.begin(), on.end(), lane.gen);
        const std::size_t take = 1 + lane.pick(static_cast<std::uint32_t>(kMost - picked.size()));
        for (std::size_t k = 0; k < on.size() && k < take; ++k)
            picked.push_back(on[k]);
    }
    const auto area = [&](int k) {
        return lane.model.context.parts[k < 0 ? s.unplaced[-1 - k] : s.items[k].part].area;
    };
    std::stable_sort(picked.begin(), picked.end(), [&](int a, int b) { return area(a) > area(b); });
    return picked;
}

// The candidates that found a place (`moved`) leave the sheets or the unplaced list.
void removeMoved(State& s, const std::vector<int>& candidates, const std::vector<bool>& moved) {
    std::vector<bool> gone(s.items.size(), false);
    std::vector<int> unplacedGone;
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        if (!moved[k]) continue;
        if (candidates[k] >= 0)
            gone[candidates[k]] = true;
        else
            unplacedGone.push_back(-1 - candidates[k]);
    }
    keepUnmarked(s, gone);
    std::sort(unplacedGone.rbegin(), unplacedGone.rend());
    for (int k : unplacedGone)
        s.unplaced.erase(s.unplaced.begin() + k);
    dropEmptySheets(s);
}

// The lowest free position of `item` over the pieces in `order`, stamped into its grid.
bool placeOnPieces(Lane& lane, State& s, Item item, const std::vector<int>& order,
                   std::vector<std::unique_ptr<FreeSpace>>& spaces) {
    for (int p : order) {
        if (!spaces[p]) continue;
        if (!lowestFree(lane, *spaces[p]->table, s.pieces[p], item, s.pieces[p].rows)) continue;
        item.sheet = p;
        spaces[p]->stamp(lane.model.raster(item), item.x, item.y);
        s.pieceItems.push_back(item);
        return true;
    }
    return false;
}

Item candidateItem(const State& s, int k) {
    Item item;
    item.part = k < 0 ? s.unplaced[-1 - k] : s.items[k].part;
    return item;
}

// The candidates (as pieceCandidates gives them), in turn, at their lowest free positions on
// the pieces; those that found one leave their sheets or the unplaced list. A kind that found no
// room finds none later either (the pieces only fill up), so its other instances are not tried.
bool candidatesIntoPieces(Lane& lane, State& s, const std::vector<int>& candidates) {
    if (candidates.empty()) return false;
    std::vector<std::unique_ptr<FreeSpace>> spaces;
    std::vector<int> order;
    for (std::size_t p = 0; p < s.pieces.size(); ++p) {
        spaces.push_back(std::make_unique<FreeSpace>(lane.model.pieceGrid(s, static_cast<int>(p)),
                                                     lane.model.shapes.longestRun));
        order.push_back(static_cast<int>(p));
    }
    std::vector<bool> moved(candidates.size(), false);
    std::vector<bool> noRoom(lane.model.context.parts.size(), false);
    bool any = false;
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        if (lane.stopping()) return false;
        const Item item = candidateItem(s, candidates[k]);
        if (noRoom[item.part]) continue;
        moved[k] = placeOnPieces(lane, s, item, order, spaces);
        noRoom[item.part] = !moved[k];
        any = any || moved[k];
    }
    if (!any) return false;
    removeMoved(s, candidates, moved);
    return true;
}

}  // namespace

bool intoPieces(Lane& lane, State& s) {
    if (s.pieces.empty()) return false;
    return candidatesIntoPieces(lane, s, pieceCandidates(lane, s));
}

bool unplacedIntoPieces(Lane& lane, State& s) {
    if (s.pieces.empty()) return false;
    std::vector<int> candidates;
    for (std::size_t k = 0; k < s.unplaced.size(); ++k)
        candidates.push_back(-1 - static_cast<int>(k));
    const auto area = [&](int k) { return lane.model.context.parts[s.unplaced[-1 - k]].area; };
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](int a, int b) { return area(a) > area(b); });
    return candidatesIntoPieces(lane, s, candidates);
}

bool repackPiece(Lane& lane, State& s) {
    if (s.pieces.empty()) return false;
    const int piece = static_cast<int>(lane.pick(static_cast<std::uint32_t>(s.pieces.size())));
    std::vector<Item> own, others;
    for (const Item& item : s.pieceItems)
        (item.sheet == piece ? own : others).push_back(item);
    const std::vector<int> candidates = pieceCandidates(lane, s);
    // Its own parts largest first, neighbours swapped now and then; the newcomers after them,
    // so that a repack never loses a part the piece held.
    std::stable_sort(own.begin(), own.end(), [&](const Item& a, const Item& b) {
        return lane.model.partArea(a) > lane.model.partArea(b);
    });
    for (std::size_t k = 0; k + 1 < own.size(); ++k)
        if (lane.pick(lane.tuning.repackSwapOdds) == 0) std::swap(own[k], own[k + 1]);
    s.pieceItems = std::move(others);
    std::vector<std::unique_ptr<FreeSpace>> spaces(s.pieces.size());
    spaces[piece] =
        std::make_unique<FreeSpace>(lane.model.pieceGrid(s, piece), lane.model.shapes.longestRun);
    const std::vector<int> order{piece};
    for (const Item& item : own) {
        if (lane.stopping()) return false;
        if (!placeOnPieces(lane, s, item, order, spaces)) return false;
    }
    std::vector<bool> moved(candidates.size(), false);
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        if (lane.stopping()) return false;
        moved[k] = placeOnPieces(lane, s, candidateItem(s, candidates[k]), order, spaces);
    }
    removeMoved(s, candidates, moved);
    return true;
}

}  // namespace qks::nest::dense
