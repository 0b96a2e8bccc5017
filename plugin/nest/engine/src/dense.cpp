// The dense search. After the same first layout as the standard search, lanes (one per thread)
// each take the best layout and try to make it smaller:
//   - move parts off the last sheet onto the others, or empty it altogether;
//   - shrink the used length of the last sheet, pushing what stands above the new length inside;
//   - put instances that are still unplaced onto a sheet;
//   - with mixed stock, move a sheet onto smaller stock, what it cannot take going to free
//     positions on the others.
// A part goes first to the lowest free position over the whole sheet bitmap (cavities and, with
// part-in-part, holes included). What finds no free position is dropped where it overlaps least,
// and the overlaps are then removed by guided local search: overlapping parts move to the
// sampled position of least weighted overlap, and the weight of a pair that keeps overlapping
// grows. An attempt counts once no overlap is left; otherwise the lane goes back to its layout.
//
// Threads: the lanes share only the best layout, under a mutex; the calling thread publishes.
// With one lane, a seed and an iteration limit, a run does not depend on the machine's speed.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "qks/nest/raster_overlap.h"
#include "qks/nest/search.h"

namespace qks::nest {
namespace {

using Clock = std::chrono::steady_clock;

// Knobs of the overlap removal, fixed for the product.
constexpr int kGlobalSamples = 12;     // random positions anywhere per move
constexpr int kLocalSamples = 12;      // random positions near the current one per move
constexpr int kStallPasses = 24;       // passes without a smaller overlap before a strike
constexpr int kStrikes = 3;            // strikes before the attempt is given up
constexpr double kWeightGrowth = 1.3;  // weight factor of a pair still overlapping after a pass
constexpr double kWeightDecay = 0.95;  // weight factor of a pair apart again (never below 1)
constexpr int kFitOrientations = 12;   // orientations tried for a free position per part
constexpr double kFirstShrink = 0.03;  // share of the last sheet's length taken off at first
// Parts moved between sheets that may miss a free position: the overlap removal settles a few,
// while many at once fail slowly.
constexpr int kMostDropped = 4;
// ... and onto a fresh sheet of smaller stock, where nothing else stands in their way.
constexpr int kMostDroppedOnNewSheet = 12;
// Parts on one sheet beyond which overlaps are not removed (their pair weights would take
// hundreds of megabytes); free positions still serve such sheets.
constexpr int kMostSeparated = 4000;
// Memory the lanes' copies of the rasters may take together.
constexpr std::size_t kMostCopiedRasterBytes = std::size_t{256} << 20;
// Parts of the last sheet offered to the others in one move (a quarter of them when more).
constexpr std::size_t kMoveOffBatch = 8;
constexpr int kEmptyTriesBeforeRestock = 40;
// Regrouping onto cheaper stock: the highest fill of the new sheets' area inside the margins
// worth a try, and the shortening steps one try may take.
constexpr double kRegroupFill = 0.85;
constexpr int kRegroupSheets = 3;  // the most sheets given up at once
constexpr int kRegroupRounds = 300;
constexpr int kRegroupPushes = 150;        // parts one try may move off its long sheet
constexpr int kRegroupStalledPushes = 30;  // ... and such moves in a row leaving it no shorter
constexpr int kPollMilliseconds = 20;      // the calling thread's publication and stop check
constexpr double kWorkUnit = 10000.0;      // overlap counts that make one unit of a move's work

// Every part's orientations with their rasters (holed with part-in-part), built before the
// lanes start and only read afterwards.
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
            const int stride = std::max(1, (count + kFitOrientations - 1) / kFitOrientations);
            for (int k = 0; k < count; k += stride)
                shapes.fitOrder[i].push_back(k);
        }
    }
    return shapes;
}

struct Item {
    std::int32_t part = 0;
    std::int32_t orientation = 0;
    std::int32_t sheet = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct SheetInfo {
    std::int32_t stockIndex = 0;
    double width = 0.0;
    double height = 0.0;
    std::int32_t columns = 1;
    std::int32_t rows = 1;
};

// Lexicographic: unplaced instances, sheet area, used length of the last sheet, then the part
// area left on the last sheet (so moving parts off it counts before it empties).
struct Score {
    std::int64_t unplaced = 0;
    double sheetArea = 0.0;
    std::int32_t lastLength = 0;
    double lastPartArea = 0.0;

    bool betterThan(const Score& o) const {
        if (unplaced != o.unplaced) return unplaced < o.unplaced;
        if (std::fabs(sheetArea - o.sheetArea) > 1e-6) return sheetArea < o.sheetArea;
        if (lastLength != o.lastLength) return lastLength < o.lastLength;
        return lastPartArea < o.lastPartArea - 1e-6;
    }
};

struct State {
    std::vector<SheetInfo> sheets;
    std::vector<Item> items;
    std::vector<std::int32_t> unplaced;  // part indices, one per instance
};

class Engine {
  public:
    Engine(const NestContext& context, const Shapes& shapes) : c_(context), shapes_(shapes) {}

    const PartRaster& raster(const Item& item) const {
        return *shapes_.rasters[item.part][item.orientation];
    }

    Score score(const State& s) const {
        Score out;
        out.unplaced = static_cast<std::int64_t>(s.unplaced.size());
        for (const SheetInfo& sheet : s.sheets)
            out.sheetArea += sheet.width * sheet.height;
        const int last = static_cast<int>(s.sheets.size()) - 1;
        for (const Item& item : s.items) {
            if (item.sheet != last) continue;
            out.lastLength = std::max(out.lastLength, item.y + raster(item).height);
            out.lastPartArea += c_.parts[item.part].area;
        }
        return out;
    }

    State fromLayout(const Layout& layout) const {
        State s;
        std::vector<std::int32_t> placed(c_.parts.size(), 0);
        for (std::size_t k = 0; k < layout.size(); ++k) {
            const SheetLayout& sheet = layout[k];
            s.sheets.push_back(
                {sheet.stockIndex, sheet.width, sheet.height, sheet.columns, sheet.rows});
            for (const Placement& p : sheet.placements) {
                const auto& list = shapes_.orientations[p.partIndex];
                int found = 0;
                for (std::size_t o = 0; o < list.size(); ++o)
                    if (list[o].angle == p.angle && list[o].mirrored == p.mirrored)
                        found = static_cast<int>(o);
                s.items.push_back(
                    {p.partIndex, found, static_cast<std::int32_t>(k), p.column, p.row});
                ++placed[p.partIndex];
            }
        }
        for (std::size_t i = 0; i < c_.parts.size(); ++i)
            for (std::int32_t q = placed[i]; q < c_.parts[i].quantity; ++q)
                s.unplaced.push_back(static_cast<std::int32_t>(i));
        return s;
    }

    Layout toLayout(const State& s) const {
        Layout layout;
        for (const SheetInfo& info : s.sheets)
            layout.push_back(openSheet(info.stockIndex, {info.width, info.height, 0},
                                       c_.config.margin, c_.config.cell));
        for (const Item& item : s.items) {
            const NestPart& part = c_.parts[item.part];
            const Orientation& o = shapes_.orientations[item.part][item.orientation];
            SheetLayout& sheet = layout[item.sheet];
            stamp(sheet, raster(item), item.x, item.y,
                  Placement{part.id, item.part, o.angle, o.mirrored, item.x, item.y});
            sheet.usedArea += part.area;
        }
        return layout;
    }

    const NestContext& c_;
    const Shapes& shapes_;
};

// The best layout the lanes have found, and how often it changed.
struct SharedBest {
    std::mutex lock;
    State state;
    Score score;
    std::uint64_t generation = 0;
};

class Lane {
  public:
    // `own` is the lane's own copy of the context for skyline refills (its caches change as it
    // places); null when the lane makes none.
    Lane(const Engine& engine, SharedBest& shared, std::atomic<bool>& quit,
         std::atomic<std::int64_t>& attempts, std::int64_t attemptLimit, std::uint32_t seed,
         std::unique_ptr<NestContext> own = nullptr)
        : own_(std::move(own)),
          e_(engine),
          shared_(shared),
          quit_(quit),
          attempts_(attempts),
          attemptLimit_(attemptLimit),
          gen_(seed) {}

    void run() {
        {
            std::lock_guard<std::mutex> guard(shared_.lock);
            base_ = shared_.state;
            baseScore_ = shared_.score;
            seen_ = shared_.generation;
        }
        while (!quit_.load(std::memory_order_relaxed)) {
            if (attemptLimit_ > 0 && attempts_.fetch_add(1) >= attemptLimit_) break;
            if (attemptLimit_ <= 0) attempts_.fetch_add(1);
            adoptShared();
            State trial = base_;
            if (!attempt(trial)) continue;
            // Equal layouts are taken too: compacting a sheet changes nothing the score sees,
            // but makes room for what comes off the last sheet later.
            const Score s = e_.score(trial);
            const bool worse = baseScore_.betterThan(s);
            const bool better = s.betterThan(baseScore_);
            credit(better, !worse);
            if (worse) continue;
            base_ = std::move(trial);
            baseScore_ = s;
            // Less left on the last sheet may now fit smaller stock at free positions alone.
            if (better) {
                State settled = base_;
                if (settleOnSmallestStock(settled)) {
                    const Score t = e_.score(settled);
                    if (t.betterThan(baseScore_)) {
                        base_ = std::move(settled);
                        baseScore_ = t;
                    }
                }
            }
            std::lock_guard<std::mutex> guard(shared_.lock);
            if (baseScore_.betterThan(shared_.score)) {
                shared_.state = base_;
                shared_.score = baseScore_;
                seen_ = ++shared_.generation;
            }
        }
    }

  private:
    std::uint32_t pick(std::uint32_t n) { return n == 0 ? 0 : gen_() % n; }

    void adoptShared() {
        std::lock_guard<std::mutex> guard(shared_.lock);
        if (shared_.generation == seen_) return;
        seen_ = shared_.generation;
        if (shared_.score.betterThan(baseScore_)) {
            base_ = shared_.state;
            baseScore_ = shared_.score;
        }
    }

    enum Move {
        InsertUnplaced,
        SmallerStock,
        EmptyLast,
        MoveOffLast,
        ShrinkOther,
        ShrinkLast,
        Repack,
        Refill,
        PushOne,
        RestockOther,
        Regroup,
        kMoves
    };

    // Picks a move by the gains it brought per unit of work so far (a bandit over the moves),
    // each applicable move keeping a floor share so none is starved. Work is counted, not
    // timed, so a run does not depend on the machine's speed.
    bool attempt(State& s) {
        const int sheets = static_cast<int>(s.sheets.size());
        if (sheets == 0) return false;
        const bool allowed[kMoves] = {
            !s.unplaced.empty(),
            !smallerStockSets(s).empty(),
            sheets >= 2,
            sheets >= 2,
            sheets >= 2,
            true,
            true,
            sheets >= 2 && own_ != nullptr,
            sheets >= 2,
            sheets >= 2 && e_.c_.config.sheets.size() > 1 &&
                emptyTries_[std::min(sheets, kSheetsTracked - 1)] >= kEmptyTriesBeforeRestock,
            e_.c_.config.sheets.size() > 1};
        double rate[kMoves] = {};
        double sum = 0.0;
        for (int m = 0; m < kMoves; ++m) {
            if (!allowed[m]) continue;
            rate[m] = (1.0 + gains_[m]) / (1.0 + moveWork_[m] / kWorkUnit);
            sum += rate[m];
        }
        double floorShare = 0.0;
        for (int m = 0; m < kMoves; ++m)
            if (allowed[m]) floorShare += 1.0;
        double point = (gen_() / 4294967296.0) * (sum + 0.05 * sum * floorShare);
        int move = ShrinkLast;
        for (int m = 0; m < kMoves; ++m) {
            if (!allowed[m]) continue;
            point -= rate[m] + 0.05 * sum;
            if (point < 0.0) {
                move = m;
                break;
            }
        }
        lastMove_ = move;
        const std::int64_t before = spent_;
        bool ok = false;
        switch (move) {
            case InsertUnplaced:
                ok = insertUnplaced(s);
                break;
            case SmallerStock:
                ok = smallerStock(s);
                break;
            case EmptyLast:
                ok = emptyLastSheet(s);
                emptyTries_[std::min(sheets, kSheetsTracked - 1)] += 1;
                break;
            case MoveOffLast:
                ok = moveOffLastSheet(s);
                break;
            case ShrinkOther:
                ok = shrinkSheet(s, static_cast<int>(pick(sheets - 1)));
                break;
            case Repack:
                ok = repack(s, static_cast<int>(pick(sheets)));
                break;
            case Refill:
                ok = refill(s);
                break;
            case PushOne:
                ok = pushOneOffLastSheet(s);
                break;
            case RestockOther:
                ok = restockOther(s);
                break;
            case Regroup:
                ok = regroup(s);
                break;
            default:
                ok = shrinkSheet(s, sheets - 1);
                break;
        }
        // Every attempt costs something, so moves that fail at once do not look free.
        moveWork_[move] += static_cast<double>(spent_ - before) + kWorkUnit / 20;
        return ok;
    }

    // Called with the outcome of the last attempt: a strict gain of the score counts most, an
    // equal layout (compaction) a little.
    void credit(bool better, bool equal) {
        if (better)
            gains_[lastMove_] += 1.0;
        else if (equal)
            gains_[lastMove_] += 0.1;
    }

    // ---- free positions ----

    BitGrid gridOf(const State& s, int sheet, int skip = -1) const {
        const SheetInfo& info = s.sheets[sheet];
        BitGrid grid(info.columns, info.rows);
        for (std::size_t k = 0; k < s.items.size(); ++k)
            if (s.items[k].sheet == sheet && static_cast<int>(k) != skip)
                stampInto(grid, e_.raster(s.items[k]), s.items[k].x, s.items[k].y);
        return grid;
    }

    // The lowest free position of the part on the sheet over its orientations (lowest top,
    // then leftmost); writes it into `item` (part set by the caller).
    bool lowestFree(const WindowTable& table, const SheetInfo& info, Item& item,
                    std::int32_t topLimit) const {
        std::int32_t bestTop = std::min(topLimit, info.rows);
        bool found = false;
        for (int o : e_.shapes_.fitOrder[item.part]) {
            if (quit_.load(std::memory_order_relaxed)) return false;
            const RasterRuns& runs = e_.shapes_.runs[item.part][o];
            if (runs.height > bestTop || runs.width > info.columns) continue;
            spent_ += 50;
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
    using FreeSpaces = std::vector<std::unique_ptr<FreeSpace>>;

    std::unique_ptr<FreeSpace> freeSpaceOf(const State& s, int sheet) const {
        return std::make_unique<FreeSpace>(gridOf(s, sheet), e_.shapes_.longestRun);
    }

    // Puts the part on one of `sheets` at its lowest free position, trying them in order.
    bool placeFree(State& s, Item item, const std::vector<int>& sheets, FreeSpaces& spaces) {
        for (int sheet : sheets) {
            if (!lowestFree(*spaces[sheet]->table, s.sheets[sheet], item, s.sheets[sheet].rows))
                continue;
            item.sheet = sheet;
            spaces[sheet]->stamp(e_.raster(item), item.x, item.y);
            s.items.push_back(item);
            return true;
        }
        return false;
    }

    // A random orientation that fits a sheet `limit` rows long, and a random position for it.
    bool dropAnywhere(const SheetInfo& info, std::int32_t limit, Item& item) {
        const auto& rasters = e_.shapes_.rasters[item.part];
        const auto& usable = e_.shapes_.fitOrder[item.part];
        const int count = static_cast<int>(usable.size());
        const int start = static_cast<int>(pick(count));
        for (int k = 0; k < count; ++k) {
            const int o = usable[(start + k) % count];
            const PartRaster& r = *rasters[o];
            if (r.oversize || r.width > info.columns || r.height > limit) continue;
            item.orientation = o;
            item.x = static_cast<std::int32_t>(pick(info.columns - r.width + 1));
            item.y = static_cast<std::int32_t>(pick(limit - r.height + 1));
            return true;
        }
        return false;
    }

    // ---- moves ----

    bool insertUnplaced(State& s) {
        const std::size_t at = pick(static_cast<std::uint32_t>(s.unplaced.size()));
        Item item;
        item.part = s.unplaced[at];
        std::vector<int> order(s.sheets.size());
        for (std::size_t k = 0; k < order.size(); ++k)
            order[k] = static_cast<int>(k);
        FreeSpaces spaces;
        for (std::size_t k = 0; k < s.sheets.size(); ++k)
            spaces.push_back(freeSpaceOf(s, static_cast<int>(k)));
        if (!placeFree(s, item, order, spaces)) {
            const int sheet = static_cast<int>(pick(static_cast<std::uint32_t>(s.sheets.size())));
            item.sheet = sheet;
            if (!dropAnywhere(s.sheets[sheet], s.sheets[sheet].rows, item)) return false;
            s.items.push_back(item);
            std::vector<std::int32_t> limits = fullLimits(s);
            if (!separate(s, {sheet}, limits)) return false;
        }
        s.unplaced.erase(s.unplaced.begin() + static_cast<std::ptrdiff_t>(at));
        return true;
    }

    std::vector<std::int32_t> fullLimits(const State& s) const {
        std::vector<std::int32_t> limits;
        for (const SheetInfo& info : s.sheets)
            limits.push_back(info.rows);
        return limits;
    }

    // Moves the items of the last sheet onto the others; the free positions first, the rest
    // dropped and separated.
    bool spreadOntoOthers(State& s, std::vector<int> movers) {
        const int last = static_cast<int>(s.sheets.size()) - 1;
        std::sort(movers.begin(), movers.end(), [&](int a, int b) {
            return e_.c_.parts[s.items[a].part].area > e_.c_.parts[s.items[b].part].area;
        });
        std::vector<Item> moving;
        for (int k : movers)
            moving.push_back(s.items[k]);
        std::vector<bool> gone(s.items.size(), false);
        for (int k : movers)
            gone[k] = true;
        std::vector<Item> kept;
        for (std::size_t k = 0; k < s.items.size(); ++k)
            if (!gone[k]) kept.push_back(s.items[k]);
        s.items = std::move(kept);
        FreeSpaces spaces;
        for (int k = 0; k < last; ++k)
            spaces.push_back(freeSpaceOf(s, k));
        std::vector<int> order(last);
        for (int k = 0; k < last; ++k)
            order[k] = k;
        std::vector<int> touched;
        int dropped = 0;
        for (Item item : moving) {
            if (quit_.load(std::memory_order_relaxed)) return false;
            std::shuffle(order.begin(), order.end(), gen_);
            if (placeFree(s, item, order, spaces)) continue;
            const int sheet = order.front();
            item.sheet = sheet;
            if (++dropped > kMostDropped) return false;
            if (!dropAnywhere(s.sheets[sheet], s.sheets[sheet].rows, item)) return false;
            s.items.push_back(item);
            spaces[sheet]->stamp(e_.raster(item), item.x, item.y);
            if (std::find(touched.begin(), touched.end(), sheet) == touched.end())
                touched.push_back(sheet);
        }
        if (!touched.empty() && !separate(s, touched, fullLimits(s))) return false;
        dropEmptySheets(s);
        return true;
    }

    // Sheets left without parts are given up, the later ones moving down.
    void dropEmptySheets(State& s) const {
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

    // Packs one sheet and the last one again, largest parts first with a little shuffling,
    // each at its lowest free position on that sheet, else on the last (the last alone when
    // `sheet` is the last).
    bool repack(State& s, int sheet) {
        const int last = static_cast<int>(s.sheets.size()) - 1;
        std::vector<Item> moving, kept;
        for (const Item& item : s.items)
            (item.sheet == sheet || item.sheet == last ? moving : kept).push_back(item);
        std::stable_sort(moving.begin(), moving.end(), [&](const Item& a, const Item& b) {
            return e_.c_.parts[a.part].area > e_.c_.parts[b.part].area;
        });
        for (std::size_t k = 0; k + 1 < moving.size(); ++k)
            if (pick(4) == 0) std::swap(moving[k], moving[k + 1]);
        s.items = std::move(kept);
        FreeSpaces spaces(s.sheets.size());
        for (int k : {sheet, last})
            if (!spaces[k])
                spaces[k] = std::make_unique<FreeSpace>(
                    BitGrid(s.sheets[k].columns, s.sheets[k].rows), e_.shapes_.longestRun);
        const std::vector<int> order =
            sheet == last ? std::vector<int>{last} : std::vector<int>{sheet, last};
        for (const Item& item : moving) {
            if (quit_.load(std::memory_order_relaxed)) return false;
            if (!placeFree(s, item, order, spaces)) return false;
        }
        dropEmptySheets(s);
        return true;
    }

    // A new skyline layout from the largest-first order with neighbours swapped at random, on
    // the smallest or the largest stock first, its last sheet then moved to smaller stock when
    // its parts fit there.
    bool refill(State& s) {
        std::vector<int> order = firstInstanceOrder(own_->parts);
        for (std::size_t k = 0; k + 1 < order.size(); ++k)
            if (pick(3) == 0) std::swap(order[k], order[k + 1]);
        own_->largestStockFirst = pick(2) == 0;
        Layout layout;
        std::vector<std::int32_t> usage(own_->config.sheets.size(), 0);
        const int unplaced = greedyFill(layout, usage, order, *own_);
        if (placementCount(layout) + static_cast<std::size_t>(unplaced) < order.size() ||
            layout.empty())
            return false;
        State fresh = e_.fromLayout(layout);
        settleOnSmallestStock(fresh);
        s = std::move(fresh);
        return true;
    }

    bool emptyLastSheet(State& s) {
        const int last = static_cast<int>(s.sheets.size()) - 1;
        std::vector<int> movers;
        for (std::size_t k = 0; k < s.items.size(); ++k)
            if (s.items[k].sheet == last) movers.push_back(static_cast<int>(k));
        return spreadOntoOthers(s, movers);
    }

    // One part of the last sheet onto another sheet, into a free position or else dropped
    // there with the overlaps removed.
    bool pushOneOffLastSheet(State& s) {
        const int last = static_cast<int>(s.sheets.size()) - 1;
        std::vector<int> onLast;
        for (std::size_t k = 0; k < s.items.size(); ++k)
            if (s.items[k].sheet == last) onLast.push_back(static_cast<int>(k));
        if (onLast.empty()) return false;
        return spreadOntoOthers(s, {onLast[pick(static_cast<std::uint32_t>(onLast.size()))]});
    }

    // Moves what it can of a batch of the last sheet's parts to free positions on the other
    // sheets, largest first; a part that finds none stays where it is, so nothing overlaps.
    bool moveOffLastSheet(State& s) {
        const int last = static_cast<int>(s.sheets.size()) - 1;
        std::vector<int> onLast;
        for (std::size_t k = 0; k < s.items.size(); ++k)
            if (s.items[k].sheet == last) onLast.push_back(static_cast<int>(k));
        if (onLast.empty()) return false;
        std::shuffle(onLast.begin(), onLast.end(), gen_);
        const std::size_t batch = std::max<std::size_t>(kMoveOffBatch, onLast.size() / 4);
        if (onLast.size() > batch) onLast.resize(batch);
        std::sort(onLast.begin(), onLast.end(), [&](int a, int b) {
            return e_.c_.parts[s.items[a].part].area > e_.c_.parts[s.items[b].part].area;
        });
        FreeSpaces spaces;
        for (int k = 0; k < last; ++k)
            spaces.push_back(freeSpaceOf(s, k));
        std::vector<int> order(last);
        for (int k = 0; k < last; ++k)
            order[k] = k;
        std::vector<bool> moved(s.items.size(), false);
        bool any = false;
        for (int k : onLast) {
            if (quit_.load(std::memory_order_relaxed)) return false;
            std::shuffle(order.begin(), order.end(), gen_);
            if (!placeFree(s, s.items[k], order, spaces)) continue;
            moved.resize(s.items.size(), false);
            moved[k] = true;
            any = true;
        }
        if (!any) return false;
        std::vector<Item> kept;
        for (std::size_t k = 0; k < s.items.size(); ++k)
            if (!moved[k]) kept.push_back(s.items[k]);
        s.items = std::move(kept);
        dropEmptySheets(s);
        return true;
    }

    // Takes a share off the used length of one sheet: what stands above the new length is
    // dropped below it and the overlaps removed.
    bool shrinkSheet(State& s, int sheet) {
        const std::int32_t length = usedLength(s, sheet);
        if (length <= 1) return false;
        const std::int32_t cut =
            std::max<std::int32_t>(1, static_cast<std::int32_t>(std::lround(length * shrink_)));
        const std::int32_t limit = length - cut;
        std::vector<std::int32_t> limits = fullLimits(s);
        limits[sheet] = limit;
        if (!dropBelow(s, sheet, limit)) {
            shrink_ = kFirstShrink;
            return false;
        }
        const bool ok = separate(s, {sheet}, limits);
        // Smaller steps after a failure, back to the first step once they are down to a cell.
        if (ok)
            shrink_ = std::min(kFirstShrink, shrink_ * 1.2);
        else
            shrink_ = shrink_ * length <= 1.0 ? kFirstShrink : shrink_ * 0.6;
        return ok;
    }

    double stockArea(int entry) const {
        const SheetStock& stock = e_.c_.config.sheets[entry];
        return stock.width * stock.height;
    }

    // How many more sheets of each stock entry may be opened once the sheets `from` .. `to` are
    // given up; a negative count means no bound.
    std::vector<int> entriesLeft(const State& s, int from, int to) const {
        const NestConfig& config = e_.c_.config;
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

    // Sets of up to `most` sheets of the stock `left` (as entriesLeft counts it) costing less
    // than `area`, in ascending entry order so each comes once; `room` says whether the area
    // of a set inside the margins is enough.
    std::vector<std::vector<int>> cheaperStockSets(std::vector<int> left, double area, int most,
                                                   const std::function<bool(double)>& room) const {
        const NestConfig& config = e_.c_.config;
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
                if (left[e] == 0 || cost + stockArea(e) >= area - 1e-6) continue;
                --left[e];
                set.push_back(e);
                grow(e, cost + stockArea(e), inside + usable(e));
                set.pop_back();
                ++left[e];
            }
        };
        grow(0, 0.0, 0.0);
        return sets;
    }

    // Stock for the last sheet's parts of less area than the last sheet, still free for them:
    // one sheet or two, smallest total area first. Two sheets take a thin last sheet that no
    // single smaller sheet holds.
    std::vector<std::vector<int>> smallerStockSets(const State& s) const {
        const int last = static_cast<int>(s.sheets.size()) - 1;
        std::vector<std::vector<int>> sets = cheaperStockSets(
            entriesLeft(s, last, last), s.sheets[last].width * s.sheets[last].height, 2,
            [](double) { return true; });
        const auto total = [&](const std::vector<int>& set) {
            double sum = 0.0;
            for (int e : set)
                sum += stockArea(e);
            return sum;
        };
        std::stable_sort(sets.begin(), sets.end(),
                         [&](const auto& x, const auto& y) { return total(x) < total(y); });
        return sets;
    }

  public:
    // Puts the last sheet's parts on the smallest free stock that takes them all at free
    // positions there or on the other sheets (no overlap removal); false when none does.
    bool settleOnSmallestStock(State& s) {
        const int last = static_cast<int>(s.sheets.size()) - 1;
        for (const std::vector<int>& set : smallerStockSets(s)) {
            State trial = s;
            if (restock(trial, last, set, false)) {
                s = std::move(trial);
                return true;
            }
        }
        return false;
    }

  private:
    bool smallerStock(State& s) {
        const std::vector<std::vector<int>> sets = smallerStockSets(s);
        if (sets.empty()) return false;
        const int last = static_cast<int>(s.sheets.size()) - 1;
        return restock(s, last, sets[pick(static_cast<std::uint32_t>(sets.size()))], true);
    }

    // Another sheet than the last onto a smaller stock sheet: with mixed stock, sheet area can
    // also be saved in the middle of the layout. (Opening more sheets of smaller stock to save
    // area was tried: it trades the chance of emptying the last sheet for a small step.)
    bool restockOther(State& s) {
        const int sheet = static_cast<int>(pick(static_cast<std::uint32_t>(s.sheets.size() - 1)));
        const double area = s.sheets[sheet].width * s.sheets[sheet].height;
        const std::vector<int> left = entriesLeft(s, sheet, sheet);
        std::vector<int> options;
        for (int entry = 0; entry < static_cast<int>(left.size()); ++entry)
            if (left[entry] != 0 && stockArea(entry) < area - 1e-6) options.push_back(entry);
        if (options.empty()) return false;
        return restock(s, sheet, {options[pick(static_cast<std::uint32_t>(options.size()))]}, true);
    }

    // The last one to three sheets onto up to one sheet more of other stock of less area, a
    // lengthened last one taking what the others cannot; that sheet is then shortened step by
    // step, the overlaps removed each time, until it is back to its stock's length. Moves
    // between sheets alone cannot reach such stock when every sheet is well filled.
    bool regroup(State& s) {
        const NestConfig& config = e_.c_.config;
        const int count = static_cast<int>(s.sheets.size());
        const int first = count - 1 - static_cast<int>(pick(std::min(count, kRegroupSheets)));
        double area = 0.0, partArea = 0.0;
        for (int j = first; j < count; ++j)
            area += s.sheets[j].width * s.sheets[j].height;
        for (const Item& item : s.items)
            if (item.sheet >= first) partArea += e_.c_.parts[item.part].area;
        // Sets of stock left once the group is given up that cost less and leave the parts a
        // fill below the bound.
        const std::vector<std::vector<int>> sets =
            cheaperStockSets(entriesLeft(s, first, count - 1), area, count - first + 1,
                             [&](double inside) { return partArea < kRegroupFill * inside; });
        if (sets.empty()) return false;
        const std::vector<int> entries = sets[pick(static_cast<std::uint32_t>(sets.size()))];

        // The group's parts, largest first, leave; the new sheets take the group's place.
        std::vector<Item> moving, kept;
        for (const Item& item : s.items)
            (item.sheet >= first ? moving : kept).push_back(item);
        std::stable_sort(moving.begin(), moving.end(), [&](const Item& a, const Item& b) {
            return e_.c_.parts[a.part].area > e_.c_.parts[b.part].area;
        });
        s.items = std::move(kept);
        s.sheets.resize(first);
        std::int32_t stockRows = 0;
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const SheetStock& stock = config.sheets[entries[k]];
            const SheetLayout grid = openSheet(entries[k], stock, config.margin, config.cell);
            stockRows = grid.rows;
            s.sheets.push_back({entries[k], stock.width, stock.height, grid.columns, grid.rows});
        }
        const int longSheet = static_cast<int>(s.sheets.size()) - 1;
        s.sheets[longSheet].rows = stockRows * 2;
        FreeSpaces spaces;
        for (int j = 0; j < static_cast<int>(s.sheets.size()); ++j)
            spaces.push_back(freeSpaceOf(s, j));
        // The other sheets' gaps before the long sheet, which is to shrink.
        std::vector<int> order;
        for (int j = first; j < longSheet; ++j)
            order.push_back(j);
        for (int j = 0; j < first; ++j)
            order.push_back(j);
        order.push_back(longSheet);
        for (const Item& item : moving) {
            if (quit_.load(std::memory_order_relaxed)) return false;
            if (!placeFree(s, item, order, spaces)) return false;
        }
        double step = kFirstShrink;
        // Half the tries end where the long sheet stops shortening: on large sheets moving
        // parts one by one is slow, and a quick try may find another set of stock instead.
        const int pushBudget = pick(2) == 0 ? kRegroupPushes : 0;
        int pushes = 0, sinceShorter = 0;
        std::int32_t shortest = std::numeric_limits<std::int32_t>::max();
        for (int round = 0; round < kRegroupRounds; ++round) {
            const std::int32_t length = usedLength(s, longSheet);
            if (length <= stockRows) {
                s.sheets[longSheet].rows = stockRows;
                dropEmptySheets(s);
                return true;
            }
            if (quit_.load(std::memory_order_relaxed)) return false;
            const std::int32_t cut =
                std::max<std::int32_t>(1, static_cast<std::int32_t>(std::lround(length * step)));
            const std::int32_t limit = std::max(stockRows, length - cut);
            State trial = s;
            std::vector<std::int32_t> limits = fullLimits(trial);
            limits[longSheet] = limit;
            if (dropBelow(trial, longSheet, limit) && separate(trial, {longSheet}, limits)) {
                s = std::move(trial);
                step = std::min(kFirstShrink, step * 1.2);
                continue;
            }
            if (step * length > 1.0) {
                step *= 0.6;
                continue;
            }
            // Not a row more: the highest part of the long sheet goes into another new sheet,
            // which removes the overlaps it makes, and the shortening starts again. The greedy
            // fill leaves the new sheets unevenly full; this evens them out.
            if (length < shortest) {
                shortest = length;
                sinceShorter = 0;
            }
            if (longSheet == first || ++pushes > pushBudget ||
                ++sinceShorter > kRegroupStalledPushes)
                return false;
            if (pushHighest(s, first, longSheet)) step = kFirstShrink;
        }
        return false;
    }

    // Drops every part of `sheet` reaching above `limit` at random below it; false when one
    // cannot stand below it at all.
    bool dropBelow(State& s, int sheet, std::int32_t limit) {
        for (Item& item : s.items)
            if (item.sheet == sheet && item.y + e_.raster(item).height > limit &&
                !dropAnywhere(s.sheets[sheet], limit, item))
                return false;
        return true;
    }

    std::int32_t usedLength(const State& s, int sheet) const {
        std::int32_t length = 0;
        for (const Item& item : s.items)
            if (item.sheet == sheet) length = std::max(length, item.y + e_.raster(item).height);
        return length;
    }

    // The part of `sheet` reaching highest dropped onto one of the sheets first .. sheet - 1 and
    // the overlaps removed there; `s` is unchanged when that fails.
    bool pushHighest(State& s, int first, int sheet) {
        int highest = -1;
        for (std::size_t k = 0; k < s.items.size(); ++k)
            if (s.items[k].sheet == sheet &&
                (highest < 0 || s.items[k].y + e_.raster(s.items[k]).height >
                                    s.items[highest].y + e_.raster(s.items[highest]).height))
                highest = static_cast<int>(k);
        if (highest < 0) return false;
        State trial = s;
        Item& item = trial.items[highest];
        item.sheet = first + static_cast<int>(pick(static_cast<std::uint32_t>(sheet - first)));
        const int target = item.sheet;
        if (!dropAnywhere(trial.sheets[target], trial.sheets[target].rows, item) ||
            !separate(trial, {target}, fullLimits(trial)))
            return false;
        s = std::move(trial);
        return true;
    }

    // The parts of `sheet` moved onto fresh sheets of the stock `entries` (the first takes the
    // sheet's place, a second is added at the end): lowest free positions there first, then free
    // positions on the other sheets; the rest dropped and separated when `separateRest`.
    bool restock(State& s, int sheet, const std::vector<int>& entries, bool separateRest) {
        const NestConfig& config = e_.c_.config;
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
            spaces[at] = std::make_unique<FreeSpace>(BitGrid(grid.columns, grid.rows),
                                                     e_.shapes_.longestRun);
            targets.push_back(at);
        }
        std::vector<int> movers;
        for (std::size_t k = 0; k < s.items.size(); ++k)
            if (s.items[k].sheet == sheet) movers.push_back(static_cast<int>(k));
        std::sort(movers.begin(), movers.end(), [&](int a, int b) {
            return e_.c_.parts[s.items[a].part].area > e_.c_.parts[s.items[b].part].area;
        });
        // What the new sheets cannot take goes to free positions on the others, so a sheet need
        // not first be thinned out by other moves to fit smaller stock.
        std::vector<int> others;
        for (int j = 0; j < static_cast<int>(s.sheets.size()); ++j)
            if (std::find(targets.begin(), targets.end(), j) == targets.end()) others.push_back(j);
        bool othersOpen = false;
        std::vector<bool> spilled(s.items.size(), false);
        bool anySpilled = false;
        int dropped = 0;
        std::vector<int> touched;
        for (int k : movers) {
            if (quit_.load(std::memory_order_relaxed)) return false;
            Item item = s.items[k];
            bool placed = false;
            for (int target : targets) {
                if (!lowestFree(*spaces[target]->table, s.sheets[target], item,
                                s.sheets[target].rows))
                    continue;
                item.sheet = target;
                placed = true;
                break;
            }
            if (!placed && !others.empty()) {
                if (!othersOpen)
                    for (int j : others)
                        spaces[j] = freeSpaceOf(s, j);
                othersOpen = true;
                std::shuffle(others.begin(), others.end(), gen_);
                if (placeFree(s, item, others, spaces)) {
                    spilled.resize(s.items.size(), false);
                    spilled[k] = true;
                    anySpilled = true;
                    continue;
                }
            }
            if (!placed) {
                item.sheet = targets[pick(static_cast<std::uint32_t>(targets.size()))];
                if (!separateRest ||
                    !dropAnywhere(s.sheets[item.sheet], s.sheets[item.sheet].rows, item))
                    return false;
                if (++dropped > kMostDroppedOnNewSheet) return false;
                if (std::find(touched.begin(), touched.end(), item.sheet) == touched.end())
                    touched.push_back(item.sheet);
            }
            spaces[item.sheet]->stamp(e_.raster(item), item.x, item.y);
            s.items[k] = item;
        }
        if (anySpilled) {
            std::vector<Item> kept;
            for (std::size_t k = 0; k < s.items.size(); ++k)
                if (!spilled[k]) kept.push_back(s.items[k]);
            s.items = std::move(kept);
        }
        if (!touched.empty() && !separate(s, touched, fullLimits(s))) return false;
        dropEmptySheets(s);
        return true;
    }

    // ---- overlap removal ----

    // Removes every overlap among the items of `sheets`, each sheet's items kept below its
    // limit. False when the strikes are used up (the state is then left overlapping).
    bool separate(State& s, const std::vector<int>& sheets,
                  const std::vector<std::int32_t>& limits) {
        for (int sheet : sheets)
            if (!separateSheet(s, sheet, limits[sheet])) return false;
        return true;
    }

    std::int64_t pairOverlap(const Item& a, const Item& b) const {
        return rasterOverlap(e_.raster(a), a.x, a.y, e_.raster(b), b.x, b.y);
    }

    double weightOf(int i, int j) const {
        return weights_[static_cast<std::size_t>(i) * members_ + j];
    }

    // Weighted overlap of `item` (member `self`) with the other members, stopping once above
    // `bound`.
    double cost(const Item& item, int self, const std::vector<int>& members, double bound) {
        const PartRaster& r = e_.raster(item);
        double total = 0.0;
        tracker_.near(item.x, item.y, r.width, r.height, [&](int j) {
            if (j == self || total >= bound) return;
            const Item& other = work_[members[j]];
            const PartRaster& o = e_.raster(other);
            if (item.x >= other.x + o.width || other.x >= item.x + r.width ||
                item.y >= other.y + o.height || other.y >= item.y + r.height)
                return;
            ++spent_;
            const std::int64_t cells = rasterOverlap(r, item.x, item.y, o, other.x, other.y);
            if (cells != 0) total += weightOf(self, j) * static_cast<double>(cells);
        });
        return total;
    }

    bool separateSheet(State& s, int sheet, std::int32_t limit) {
        std::vector<int> members;
        for (std::size_t k = 0; k < s.items.size(); ++k)
            if (s.items[k].sheet == sheet) members.push_back(static_cast<int>(k));
        const int n = static_cast<int>(members.size());
        const SheetInfo& info = s.sheets[sheet];
        work_ = s.items;
        auto track = [&]() {
            tracker_.reset(info.columns, info.rows);
            for (int m = 0; m < n; ++m) {
                const Item& item = work_[members[m]];
                tracker_.add(&e_.raster(item), item.x, item.y);
            }
        };
        track();
        if (tracker_.total() == 0) return true;
        // The pair weights grow with the square of the parts on a sheet.
        if (n > kMostSeparated) return false;
        members_ = n;
        weights_.assign(static_cast<std::size_t>(n) * n, 1.0f);
        std::vector<std::pair<int, int>> heavy;  // pairs (i < j) weighing more than 1
        std::int64_t best = tracker_.total();
        std::vector<Item> bestItems = work_;
        std::vector<int> moving;
        for (int strike = 0; strike < kStrikes; ++strike) {
            for (int stall = 0; stall < kStallPasses;) {
                if (quit_.load(std::memory_order_relaxed)) return false;
                moving.clear();
                for (int i = 0; i < n; ++i)
                    if (tracker_.of(i) != 0) moving.push_back(i);
                std::shuffle(moving.begin(), moving.end(), gen_);
                for (int i : moving) {
                    if (tracker_.of(i) == 0) continue;
                    moveToLeastOverlap(i, members, info, limit);
                    const Item& item = work_[members[i]];
                    tracker_.move(i, &e_.raster(item), item.x, item.y);
                }
                if (tracker_.total() == 0) {
                    s.items = work_;
                    return true;
                }
                if (tracker_.total() < best) {
                    best = tracker_.total();
                    bestItems = work_;
                    stall = 0;
                } else {
                    ++stall;
                }
                // Pairs still overlapping weigh more; the others drift back towards 1.
                for (std::size_t k = 0; k < heavy.size();) {
                    const auto [i, j] = heavy[k];
                    bool still = false;
                    for (const auto& t : tracker_.touching(i))
                        still = still || t.other == j;
                    float& w = weights_[static_cast<std::size_t>(i) * n + j];
                    if (!still) w = std::max(1.0f, w * static_cast<float>(kWeightDecay));
                    weights_[static_cast<std::size_t>(j) * n + i] = w;
                    if (w <= 1.0f) {
                        heavy[k] = heavy.back();
                        heavy.pop_back();
                    } else {
                        ++k;
                    }
                }
                for (int i = 0; i < n; ++i) {
                    for (const auto& t : tracker_.touching(i)) {
                        if (t.other < i) continue;
                        float& w = weights_[static_cast<std::size_t>(i) * n + t.other];
                        if (w <= 1.0f) heavy.push_back({i, t.other});
                        w *= static_cast<float>(kWeightGrowth);
                        weights_[static_cast<std::size_t>(t.other) * n + i] = w;
                    }
                }
            }
            // Back to the least overlapping arrangement seen, with the weights kept.
            work_ = bestItems;
            track();
        }
        return false;
    }

    void moveToLeastOverlap(int i, const std::vector<int>& members, const SheetInfo& info,
                            std::int32_t limit) {
        Item current = work_[members[i]];
        double bestCost = cost(current, i, members, std::numeric_limits<double>::max());
        Item best = current;
        if (bestCost == 0.0) return;
        const auto& rasters = e_.shapes_.rasters[current.part];
        auto consider = [&](Item trial) {
            if (quit_.load(std::memory_order_relaxed)) return;
            const PartRaster& r = *rasters[trial.orientation];
            if (r.oversize || r.width > info.columns || r.height > limit) return;
            trial.x = std::clamp(trial.x, 0, info.columns - r.width);
            trial.y = std::clamp(trial.y, 0, limit - r.height);
            const double c = cost(trial, i, members, bestCost);
            if (c < bestCost) {
                bestCost = c;
                best = trial;
            }
        };
        const auto& usable = e_.shapes_.fitOrder[current.part];
        for (int k = 0; k < kGlobalSamples && bestCost > 0.0; ++k) {
            Item trial = current;
            if (dropAnywhere(info, limit, trial)) consider(trial);
        }
        const PartRaster& own = *rasters[current.orientation];
        const int reachX = std::max(2, own.width / 2);
        const int reachY = std::max(2, own.height / 2);
        for (int k = 0; k < kLocalSamples && bestCost > 0.0; ++k) {
            Item trial = best;
            if (k % 4 == 3)
                trial.orientation = usable[pick(static_cast<std::uint32_t>(usable.size()))];
            trial.x += static_cast<std::int32_t>(pick(2 * reachX + 1)) - reachX;
            trial.y += static_cast<std::int32_t>(pick(2 * reachY + 1)) - reachY;
            consider(trial);
        }
        // Coordinate descent from the best sample, halving the step down to one cell.
        for (int step = std::max(own.width, own.height) / 4; step >= 1 && bestCost > 0.0;
             step /= 2) {
            bool moved = true;
            while (moved && bestCost > 0.0 && !quit_.load(std::memory_order_relaxed)) {
                moved = false;
                const Item from = best;
                for (const auto& [dx, dy] : {std::pair{step, 0}, std::pair{-step, 0},
                                             std::pair{0, step}, std::pair{0, -step}}) {
                    Item trial = from;
                    trial.x += dx;
                    trial.y += dy;
                    const double before = bestCost;
                    consider(trial);
                    moved = moved || bestCost < before;
                }
            }
        }
        work_[members[i]] = best;
    }

    std::unique_ptr<NestContext> own_;
    const Engine& e_;
    SharedBest& shared_;
    std::atomic<bool>& quit_;
    std::atomic<std::int64_t>& attempts_;
    std::int64_t attemptLimit_;
    std::mt19937 gen_;
    State base_;
    Score baseScore_;
    std::uint64_t seen_ = 0;
    double shrink_ = kFirstShrink;
    int lastMove_ = 0;
    // Attempts to empty the last sheet made at each sheet count: a sheet given up saves more
    // than smaller stock in the middle, and after such a restock the last sheet is harder to
    // empty, so that restock waits until emptying has had its chance.
    static constexpr int kSheetsTracked = 64;
    int emptyTries_[kSheetsTracked] = {};
    double gains_[kMoves] = {};
    double moveWork_[kMoves] = {};

    mutable std::int64_t spent_ = 0;  // overlap counts and free-position searches done
    std::vector<Item> work_;          // the items while one sheet's overlaps are removed
    OverlapTracker tracker_;
    std::vector<float> weights_;  // members x members, while one sheet's overlaps are removed
    int members_ = 0;
};

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

}  // namespace

void runDenseSearch(NestContext& c, NestOutcome& out, SearchObserver& observer) {
    const Clock::time_point t0 = Clock::now();
    // Every layout of this search, the first one included, is made of rasters that keep the gap
    // and no more: the padded ones waste up to two cells between neighbours.
    if (c.rasterCache.exactGap() != exactGapRasters(c.config)) {
        c.rasterCache.setExactGap(exactGapRasters(c.config));
        c.placementCache = PlacementCache{};
    }
    std::vector<std::int32_t> usage(c.config.sheets.size(), 0);
    const std::vector<int> order = firstInstanceOrder(c.parts);
    c.angleStep = angleStepFor(order.size());
    out.layout.clear();
    const int first = greedyFill(out.layout, usage, order, c);
    out.unplaced = first;
    out.stats.firstLayoutSeconds = secondsSince(t0);
    observer.published(out.layout, contract::JobState::Running, out.stats.firstLayoutSeconds,
                       first);
    observer.firstLayout(out.layout, utilisation(out.layout), first);
    const bool complete =
        placementCount(out.layout) + static_cast<std::size_t>(first) >= order.size();

    std::int64_t attempts = 0;
    if (complete && !out.layout.empty() && !c.shouldStop() && c.config.seconds > secondsSince(t0)) {
        const Shapes shapes = buildShapes(c);
        const Engine engine(c, shapes);
        SharedBest shared;
        shared.state = engine.fromLayout(out.layout);
        shared.score = engine.score(shared.state);
        {
            std::atomic<bool> never{false};
            std::atomic<std::int64_t> none{0};
            State settled = shared.state;
            if (Lane(engine, shared, never, none, 0, 0).settleOnSmallestStock(settled) &&
                engine.score(settled).betterThan(shared.score)) {
                shared.state = std::move(settled);
                shared.score = engine.score(shared.state);
                observer.published(engine.toLayout(shared.state), contract::JobState::Running,
                                   secondsSince(t0),
                                   static_cast<int>(shared.state.unplaced.size()));
            }
        }
        // The same fill on the largest stock first; the better of the two is where the lanes
        // start.
        if (c.config.sheets.size() > 1 && !c.shouldStop()) {
            Layout other;
            std::fill(usage.begin(), usage.end(), 0);
            c.largestStockFirst = true;
            const int otherUnplaced = greedyFill(other, usage, order, c);
            c.largestStockFirst = false;
            if (placementCount(other) + static_cast<std::size_t>(otherUnplaced) >= order.size()) {
                State state = engine.fromLayout(other);
                std::atomic<bool> never{false};
                std::atomic<std::int64_t> none{0};
                Lane(engine, shared, never, none, 0, 0).settleOnSmallestStock(state);
                const Score score = engine.score(state);
                if (score.betterThan(shared.score)) {
                    shared.state = std::move(state);
                    shared.score = score;
                    observer.published(engine.toLayout(shared.state), contract::JobState::Running,
                                       secondsSince(t0),
                                       static_cast<int>(shared.state.unplaced.size()));
                }
            }
        }
        const std::uint32_t seed =
            c.seed
                ? *c.seed
                : static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                 Clock::now().time_since_epoch())
                                                 .count());
        unsigned lanes = c.config.threads > 0 ? static_cast<unsigned>(c.config.threads)
                                              : std::thread::hardware_concurrency();
        lanes = std::max(1u, lanes);
        std::atomic<bool> quit{false};
        std::atomic<std::int64_t> attemptCount{0};
        std::atomic<unsigned> running{0};
        std::vector<std::unique_ptr<Lane>> laneObjects;
        std::vector<std::thread> threads;
        for (unsigned k = 0; k < lanes; ++k) {
            // A lane's own context copies the rasters; past a bound of memory the lanes do
            // without skyline refills.
            std::unique_ptr<NestContext> own;
            if (c.rasterCache.bytes() * lanes <= kMostCopiedRasterBytes) {
                own = std::make_unique<NestContext>(c);
                own->stopRequested = [&quit] { return quit.load(std::memory_order_relaxed); };
            }
            laneObjects.push_back(std::make_unique<Lane>(engine, shared, quit, attemptCount,
                                                         c.iterationLimit, seed + 7919u * k,
                                                         std::move(own)));
            Lane* lane = laneObjects.back().get();
            running.fetch_add(1);
            try {
                threads.emplace_back([lane, &running] {
                    try {
                        lane->run();
                    } catch (...) {
                        // Out of memory in one lane ends that lane; the best layout stays.
                    }
                    running.fetch_sub(1);
                });
            } catch (const std::exception&) {
                running.fetch_sub(1);
                break;
            }
        }
        std::uint64_t published = 0;
        Clock::time_point lastPublish = Clock::now();
        while (running.load() > 0 && !c.shouldStop() && c.config.seconds > secondsSince(t0)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMilliseconds));
            if (secondsSince(lastPublish) < c.tuning.publishIntervalSeconds) continue;
            State snapshot;
            {
                std::lock_guard<std::mutex> guard(shared.lock);
                if (shared.generation == published) continue;
                published = shared.generation;
                snapshot = shared.state;
            }
            lastPublish = Clock::now();
            observer.published(engine.toLayout(snapshot), contract::JobState::Running,
                               secondsSince(t0), static_cast<int>(snapshot.unplaced.size()));
        }
        quit.store(true);
        for (std::thread& t : threads)
            t.join();
        attempts = std::min<std::int64_t>(
            attemptCount.load(), c.iterationLimit > 0 ? c.iterationLimit : attemptCount.load());
        out.layout = engine.toLayout(shared.state);
        out.unplaced = static_cast<std::int32_t>(shared.state.unplaced.size());
    }
    settleTotals(out);
    const bool stopped = c.shouldStop();
    out.stats.iterations = attempts;
    out.stats.stopped = stopped;
    out.stats.seconds = secondsSince(t0);
    observer.published(out.layout, stopped ? contract::JobState::Stopped : contract::JobState::Done,
                       out.stats.seconds, out.unplaced);
    observer.finished(out);
}

}  // namespace qks::nest
