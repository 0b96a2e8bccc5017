#include "dense/separation.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "dense/free_space.h"

namespace qks::nest::dense {
namespace {

double weightOf(const Lane& lane, int i, int j) {
    return lane.weights[static_cast<std::size_t>(i) * lane.members + j];
}

// Weighted overlap of `item` (member `self`) with the other members, stopping once above
// `bound`; over every `rowStride`-th grid row only (an estimate) when more than 1. Each
// overlapping pair adds its cells and the pair charge (DenseTuning::pairOverlapStrips), both
// in the units of the rows counted.
double cost(Lane& lane, const Item& item, int self, const std::vector<int>& members, double bound,
            int rowStride) {
    if (bound <= 0.0) return 0.0;
    const PartRaster& r = lane.model.raster(item);
    const double stripsPerRow = lane.tuning.pairOverlapStrips / rowStride;
    double total = 0.0;
    lane.tracker.near(item.x, item.y, r.width, r.height, [&](int j) {
        if (j == self) return true;
        const Item& other = lane.work[members[j]];
        const PartRaster& o = lane.model.raster(other);
        ++lane.spent;
        const double charge = stripsPerRow * std::min({r.width, r.height, o.width, o.height});
        // Counting stops once this pair alone takes the total past the bound.
        const double weight = weightOf(lane, self, j);
        const double room = std::max(0.0, (bound - total) / weight - charge);
        const std::int64_t stopAbove = room < 9e18 ? static_cast<std::int64_t>(room)
                                                   : std::numeric_limits<std::int64_t>::max();
        const std::int64_t cells =
            rasterOverlapUpTo(r, item.x, item.y, o, other.x, other.y, stopAbove, rowStride);
        if (cells != 0) total += weight * (static_cast<double>(cells) + charge);
        return total < bound;
    });
    return total;
}

void moveToLeastOverlap(Lane& lane, int i, const std::vector<int>& members, const SheetInfo& info,
                        std::int32_t limit, bool estimates) {
    const DenseTuning& t = lane.tuning;
    constexpr double kNoBound = std::numeric_limits<double>::max();
    Item current = lane.work[members[i]];
    const double exact = cost(lane, current, i, members, kNoBound, 1);
    if (exact == 0.0) return;
    const auto& rasters = lane.model.shapes.rasters[current.part];
    const PartRaster& own = *rasters[current.orientation];
    // Samples and the long steps compare estimates over every stride-th row; the steps shorter
    // than the stride compare exact counts, so the part ends where it truly overlaps least.
    int stride = estimates ? std::clamp(own.height / t.rowsPerSampledRow, 1, t.sampleRowStride) : 1;
    Item best = current;
    double bestCost = stride == 1 ? exact : cost(lane, current, i, members, kNoBound, stride);
    auto consider = [&](Item trial) {
        if (lane.stopping()) return;
        const PartRaster& r = *rasters[trial.orientation];
        if (r.oversize || r.width > info.columns || r.height > limit) return;
        trial.x = std::clamp(trial.x, 0, info.columns - r.width);
        trial.y = std::clamp(trial.y, 0, limit - r.height);
        const double c = cost(lane, trial, i, members, bestCost, stride);
        if (c < bestCost) {
            bestCost = c;
            best = trial;
        }
    };
    const auto& usable = lane.model.shapes.fitOrder[current.part];
    for (int k = 0; k < t.globalSamples && bestCost > 0.0; ++k) {
        Item trial = current;
        if (dropAnywhere(lane, info, limit, trial)) consider(trial);
    }
    const int reachX = std::max(2, own.width / 2);
    const int reachY = std::max(2, own.height / 2);
    for (int k = 0; k < t.localSamples && bestCost > 0.0; ++k) {
        Item trial = best;
        if (k % t.turnEveryLocalSample == t.turnEveryLocalSample - 1)
            trial.orientation = usable[lane.pick(static_cast<std::uint32_t>(usable.size()))];
        trial.x += static_cast<std::int32_t>(lane.pick(2 * reachX + 1)) - reachX;
        trial.y += static_cast<std::int32_t>(lane.pick(2 * reachY + 1)) - reachY;
        consider(trial);
    }
    // Coordinate descent from the best sample, halving the step down to one cell.
    for (int step = std::max(own.width, own.height) / 4; step >= 1; step /= 2) {
        if (step < stride) {
            stride = 1;
            bestCost = cost(lane, best, i, members, kNoBound, 1);
        }
        if (bestCost == 0.0) {
            if (stride == 1) break;
            continue;
        }
        bool moved = true;
        while (moved && bestCost > 0.0 && !lane.stopping()) {
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
    lane.work[members[i]] = best;
}

bool separateSheet(Lane& lane, State& s, int sheet, std::int32_t limit, int stallPasses) {
    const DenseTuning& t = lane.tuning;
    const std::vector<int> members = itemsOn(s, sheet);
    const int n = static_cast<int>(members.size());
    const SheetInfo& info = s.sheets[sheet];
    lane.work = s.items;
    // A lone sheet (a strip) gets buckets of its parts' mean size and estimated samples: on the
    // ESICUP strips, parts hundreds of cells across, they and the row bounds took the shortening
    // tries of jakobs2 in 20 s from 38 to 99. With more sheets they were measured no help (the
    // large bench job ended no better at 60 s), and such runs stay as they were.
    const bool lone = s.sheets.size() == 1;
    std::int64_t sides = 0;
    for (int m : members) {
        const PartRaster& r = lane.model.raster(s.items[m]);
        sides += std::max(r.width, r.height);
    }
    const auto bucketSide = static_cast<std::int32_t>(
        lone && n > 0 ? std::clamp<std::int64_t>(sides / n, 16, 1024) : 32);
    auto track = [&]() {
        lane.tracker.reset(info.columns, info.rows, bucketSide);
        for (int m = 0; m < n; ++m) {
            const Item& item = lane.work[members[m]];
            lane.tracker.add(&lane.model.raster(item), item.x, item.y);
        }
    };
    track();
    if (lane.tracker.total() == 0) return true;
    // The pair weights grow with the square of the parts on a sheet.
    if (n > t.mostSeparated) return false;
    lane.members = n;
    lane.weights.assign(static_cast<std::size_t>(n) * n, 1.0f);
    std::vector<std::pair<int, int>> heavy;  // pairs (i < j) weighing more than 1
    std::int64_t best = lane.tracker.total();
    std::vector<Item> bestItems = lane.work;
    std::vector<int> moving;
    for (int strike = 0; strike < t.strikes; ++strike) {
        for (int stall = 0; stall < stallPasses;) {
            if (lane.stopping() || lane.outrun(limit)) return false;
            moving.clear();
            for (int i = 0; i < n; ++i)
                if (lane.tracker.of(i) != 0) moving.push_back(i);
            std::shuffle(moving.begin(), moving.end(), lane.gen);
            for (int i : moving) {
                if (lane.tracker.of(i) == 0) continue;
                moveToLeastOverlap(lane, i, members, info, limit, lone);
                const Item& item = lane.work[members[i]];
                lane.tracker.move(i, &lane.model.raster(item), item.x, item.y);
            }
            if (lane.tracker.total() == 0) {
                s.items = lane.work;
                return true;
            }
            if (lane.tracker.total() < best) {
                best = lane.tracker.total();
                bestItems = lane.work;
                stall = 0;
            } else {
                ++stall;
            }
            // Pairs still overlapping weigh more; the others drift back towards 1.
            const auto growth = static_cast<float>(t.weightGrowth);
            const auto decay = static_cast<float>(t.weightDecay);
            for (std::size_t k = 0; k < heavy.size();) {
                const auto [i, j] = heavy[k];
                bool still = false;
                for (const auto& touch : lane.tracker.touching(i))
                    still = still || touch.other == j;
                float& w = lane.weights[static_cast<std::size_t>(i) * n + j];
                if (!still) w = std::max(1.0f, w * decay);
                lane.weights[static_cast<std::size_t>(j) * n + i] = w;
                if (w <= 1.0f) {
                    heavy[k] = heavy.back();
                    heavy.pop_back();
                } else {
                    ++k;
                }
            }
            for (int i = 0; i < n; ++i) {
                for (const auto& touch : lane.tracker.touching(i)) {
                    if (touch.other < i) continue;
                    float& w = lane.weights[static_cast<std::size_t>(i) * n + touch.other];
                    if (w <= 1.0f) heavy.push_back({i, touch.other});
                    w *= growth;
                    lane.weights[static_cast<std::size_t>(touch.other) * n + i] = w;
                }
            }
        }
        // Back to the least overlapping arrangement seen, with the weights kept.
        lane.work = bestItems;
        track();
    }
    lane.leftOverlap = best;
    return false;
}

}  // namespace

bool separate(Lane& lane, State& s, const std::vector<int>& sheets,
              const std::vector<std::int32_t>& limits, int stallPasses) {
    if (stallPasses <= 0) stallPasses = lane.tuning.stallPasses;
    lane.leftOverlap = -1;
    for (int sheet : sheets)
        if (!separateSheet(lane, s, sheet, limits[sheet], stallPasses)) return false;
    return true;
}

}  // namespace qks::nest::dense
