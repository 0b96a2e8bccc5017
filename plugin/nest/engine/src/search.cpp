#include "qks/nest/search.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <string>

#include "qks/contract/states.h"
#include "qks/nest/stock.h"

namespace qks::nest {
namespace {

using Clock = std::chrono::steady_clock;

// The worker's search state. The best layout is the one published; its unplaced count travels
// with it (the current layout always places exactly as many instances as the best once a
// restart has been settled, so local moves compare on utilisation alone).
class Search {
  public:
    Search(NestContext& context, NestOutcome& outcome, SearchObserver& observer)
        : c_(context), s_(outcome), observer_(observer), t0_(Clock::now()) {}

    void run();

  private:
    double elapsed() const { return std::chrono::duration<double>(Clock::now() - t0_).count(); }
    double since(Clock::time_point t) const {
        return std::chrono::duration<double>(Clock::now() - t).count();
    }
    void publish(contract::JobState state) {
        const double e = elapsed();
        observer_.published(best_, state, e, bestUnplaced_);
    }
    void takeAsBest(double u, std::int32_t h, int unplaced) {
        best_ = s_.layout;
        bestUtil_ = u;
        bestHigh_ = h;
        bestUnplaced_ = unplaced;
    }
    void restart();
    void localMove(std::int64_t i);

    NestContext& c_;
    NestOutcome& s_;
    SearchObserver& observer_;
    Clock::time_point t0_;
    std::vector<std::int32_t> usage_;
    std::vector<int> order_;
    Layout best_;
    Layout saved_;
    double curUtil_ = 0.0;
    double bestUtil_ = 0.0;
    std::int32_t bestHigh_ = 0;
    int bestUnplaced_ = 0;
    Clock::time_point lastImprovement_;
    std::int64_t stepsSinceImprovement_ = 0;
    Clock::time_point lastProgress_;
    std::mt19937 gen_;
};

void Search::restart() {
    std::vector<int> shuffled = order_;
    std::shuffle(shuffled.begin(), shuffled.end(), gen_);
    s_.layout.clear();
    std::fill(usage_.begin(), usage_.end(), 0);
    const int n = greedyFill(s_.layout, usage_, shuffled, c_);
    ++s_.stats.restarts;
    const bool interrupted =
        placementCount(s_.layout) + static_cast<std::size_t>(n) < shuffled.size();
    if (interrupted) {
        // A stop arrived during the fill: the layout lacks instances that were never tried,
        // and its count does not say so. It must not compete with the best.
        s_.layout = best_;
        recountUsage(s_.layout, usage_);
        curUtil_ = bestUtil_;
    } else if (!s_.layout.empty() && n <= bestUnplaced_) {
        const double u = utilisation(s_.layout);
        const std::int32_t h = highestRow(s_.layout);
        if (n < bestUnplaced_ || u > bestUtil_ + 1e-9 ||
            (std::fabs(u - bestUtil_) <= 1e-9 && h < bestHigh_))
            takeAsBest(u, h, n);
        publish(contract::JobState::Running);
        curUtil_ = u;
    } else if (n > bestUnplaced_) {
        s_.layout = best_;
        recountUsage(s_.layout, usage_);
        curUtil_ = bestUtil_;
    }
    lastImprovement_ = Clock::now();
    stepsSinceImprovement_ = 0;
}

void Search::localMove(std::int64_t i) {
    Layout& layout = s_.layout;
    if (layout.empty()) return;  // nothing to move: the iteration only counts
    saved_ = layout;
    const std::int32_t hBefore = highestRow(layout);
    bool ok = true;
    if (i % c_.tuning.emptyLastSheetEvery == 0 && layout.size() >= 2) {
        SheetLayout last = std::move(layout.back());
        layout.pop_back();
        --usage_[last.stockIndex];
        for (const Placement& p : last.placements) {
            if (!placeInstance(layout, p.partIndex, c_, usage_, false)) {
                ok = false;
                break;
            }
        }
    } else {
        const std::size_t sheet = gen_() % layout.size();
        std::vector<Placement>& placements = layout[sheet].placements;
        if (placements.empty()) {
            if (i % 3 != 0) {
                ok = false;
            } else {
                --usage_[layout[sheet].stockIndex];
                layout.erase(layout.begin() + static_cast<std::ptrdiff_t>(sheet));
            }
        } else {
            const std::size_t k = 1 + gen_() % std::min<std::size_t>(placements.size(), 4);
            std::vector<Placement> taken;
            for (std::size_t j = 0; j < k; ++j) {
                const std::size_t at = gen_() % placements.size();
                taken.push_back(placements[at]);
                placements.erase(placements.begin() + static_cast<std::ptrdiff_t>(at));
            }
            rebuildSheet(layout[sheet], c_);
            for (const Placement& p : taken) {
                if (!placeInstance(layout, p.partIndex, c_, usage_, false)) {
                    ok = false;
                    break;
                }
            }
        }
    }
    if (!ok) {
        std::swap(layout, saved_);
        recountUsage(layout, usage_);
        return;
    }
    const double u = utilisation(layout);
    const std::int32_t h = highestRow(layout);
    const bool equal = std::fabs(u - curUtil_) <= 1e-9;
    const bool better = u > curUtil_ + 1e-9 || (equal && h < hBefore);
    bool sideways = false;
    if (equal && h <= hBefore) sideways = gen_() % 100 < c_.tuning.sidewaysPercent;
    if (u < curUtil_ - 1e-9 || (!better && !sideways)) {
        std::swap(layout, saved_);
        recountUsage(layout, usage_);
        return;
    }
    curUtil_ = u;
    if (u > bestUtil_ + 1e-9 || (std::fabs(u - bestUtil_) <= 1e-9 && h < bestHigh_)) {
        takeAsBest(u, h, bestUnplaced_);
        lastImprovement_ = Clock::now();
        stepsSinceImprovement_ = 0;
    }
    if (since(lastProgress_) >= c_.tuning.publishIntervalSeconds) {
        lastProgress_ = Clock::now();
        publish(contract::JobState::Running);
    }
}

void Search::run() {
    usage_.assign(c_.config.sheets.size(), 0);
    order_ = firstInstanceOrder(c_.parts);
    c_.angleStep = angleStepFor(order_.size());
    s_.layout.clear();
    const int first = greedyFill(s_.layout, usage_, order_, c_);
    s_.unplaced = first;
    curUtil_ = utilisation(s_.layout);
    takeAsBest(curUtil_, highestRow(s_.layout), first);
    s_.stats.firstLayoutSeconds = elapsed();
    publish(contract::JobState::Running);
    observer_.firstLayout(best_, curUtil_, first);
    gen_.seed(c_.seed
                  ? *c_.seed
                  : static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                   Clock::now().time_since_epoch())
                                                   .count()));
    lastProgress_ = lastImprovement_ = Clock::now();
    const NestTuning& t = c_.tuning;
    std::int64_t i = 0;
    if (!c_.shouldStop()) {
        while (c_.config.seconds > elapsed() && (c_.iterationLimit <= 0 || i < c_.iterationLimit)) {
            ++i;
            ++stepsSinceImprovement_;
            // Under a step budget the restarts are counted in steps too, so the run does not
            // depend on the machine's speed.
            const bool stale = c_.iterationLimit > 0
                                   ? stepsSinceImprovement_ > t.restartAfterSteps
                                   : since(lastImprovement_) > t.restartAfterSeconds &&
                                         c_.config.seconds - t.restartReserveSeconds > elapsed();
            if (i >= 5 && stale)
                restart();
            else
                localMove(i);
            if (c_.shouldStop()) break;
        }
    }
    s_.layout = std::move(best_);
    best_ = s_.layout;  // publish() shows the final layout
    s_.unplaced = bestUnplaced_;
    settleTotals(s_);
    const bool stopped = c_.shouldStop();
    s_.stats.iterations = i;
    s_.stats.stopped = stopped;
    s_.stats.seconds = elapsed();
    publish(stopped ? contract::JobState::Stopped : contract::JobState::Done);
    observer_.finished(s_);
}

}  // namespace

void runStandardSearch(NestContext& context, NestOutcome& outcome, SearchObserver& observer) {
    Search(context, outcome, observer).run();
}

void runSearch(NestContext& context, NestOutcome& outcome, SearchObserver& observer) {
    // Kept parts first become defects of their sheets, which then are stock pieces like any.
    // The dense search fills and moves stock pieces itself; the standard one nests the rest after
    // the stock-first fill.
    if (!context.keptSheets.empty())
        runAroundKeptParts(context, outcome, observer);
    else if (context.config.strategy == NestStrategy::Dense)
        runDenseSearch(context, outcome, observer);
    else if (stockPieceCount(context.config) > 0)
        runWithStockPieces(context, outcome, observer, runStandardSearch);
    else
        runStandardSearch(context, outcome, observer);
}

}  // namespace qks::nest
