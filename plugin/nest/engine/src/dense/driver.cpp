// The dense search's driver. After the same first layout as the standard search, lanes (one per
// thread) each take the best layout and try to make it smaller:
//   - move parts off the last sheet onto the others, or empty it altogether;
//   - shrink the used length of the last sheet, pushing what stands above the new length inside;
//   - put instances that are still unplaced onto a sheet;
//   - with mixed stock, move a sheet onto smaller stock, what it cannot take going to free
//     positions on the others.
// A part goes first to the lowest free position over the whole sheet bitmap (cavities and, with
// part-in-part, holes included). What finds no free position is dropped where it overlaps least,
// and the overlaps are then removed (separation.h). An attempt counts once no overlap is left;
// otherwise the lane goes back to its layout.
//
// On a layout of one sheet with everything placed each lane keeps to its own descent, offering
// what beats the best layout but never taking another lane's.
//
// A first layout of more than one sheet also gets the exact fill (exact_fill.h): after the lanes'
// first share of the time it builds layouts on the true outlines for a probe, and the rest of the
// time goes to whichever is ahead. Its layouts stand apart from the lanes' (their rasters may
// overlap where the outlines only touch), so the lanes never take one up; the better is the
// result, and a run whose fill reaches the sheet bound ends there.
//
// Threads: the lanes share only the best layout, under a mutex; the calling thread publishes.
// With one lane, a seed and an iteration limit, a run does not depend on the machine's speed.
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "dense/chooser.h"
#include "dense/exact_fill.h"
#include "dense/moves.h"
#include "qks/nest/dense_search.h"
#include "qks/nest/stock.h"

namespace qks::nest {
namespace {

using Clock = std::chrono::steady_clock;
using namespace dense;

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// The best layout the lanes have found, and how often it changed.
struct SharedBest {
    std::mutex lock;
    State state;
    Score score;
    std::uint64_t generation = 0;
    // The used length of `state` while it is one sheet with every instance placed; read by the
    // lanes without the lock to give up work another lane has made pointless.
    std::atomic<std::int32_t> oneSheetLength{Lane::kNoLength};

    void publish(const State& s, const Score& sc) {
        state = s;
        score = sc;
        ++generation;
        if (s.sheets.size() == 1 && s.unplaced.empty())
            oneSheetLength.store(sc.lastLength, std::memory_order_relaxed);
    }
};

// One lane's loop: attempts on its own copy of the best layout, equal or better results kept,
// strictly better ones offered to the others.
class LaneRunner {
  public:
    LaneRunner(Lane& lane, SharedBest& shared, std::atomic<std::int64_t>& attempts,
               std::int64_t attemptLimit)
        : lane_(lane),
          chooser_(lane.tuning),
          shared_(shared),
          attempts_(attempts),
          attemptLimit_(attemptLimit) {}

    void run() {
        {
            std::lock_guard<std::mutex> guard(shared_.lock);
            base_ = shared_.state;
            baseScore_ = shared_.score;
            seen_ = shared_.generation;
        }
        const Model& model = lane_.model;
        while (!lane_.stopping()) {
            if (attemptLimit_ > 0 && attempts_.fetch_add(1) >= attemptLimit_) break;
            if (attemptLimit_ <= 0) attempts_.fetch_add(1);
            adoptShared();
            State trial = base_;
            // Everything on stock pieces costs nothing: no layout beats it.
            if (trial.sheets.empty() && (trial.unplaced.empty() || trial.pieces.empty())) break;
            lane_.sharedLength = &shared_.oneSheetLength;
            lane_.baseLength =
                lone(trial) && !lane_.tuning.lanesApart ? baseScore_.lastLength : Lane::kNoLength;
            const Move move = chooser_.choose(allowedMoves(lane_, trial), lane_.gen());
            const std::int64_t before = lane_.spent;
            const bool ok = runMove(lane_, trial, move);
            chooser_.charge(move, lane_.spent - before);
            if (!ok) continue;
            // Equal layouts are taken too: compacting a sheet changes nothing the score sees,
            // but makes room for what comes off the last sheet later.
            const Score s = model.score(trial);
            const bool worse = baseScore_.betterThan(s);
            const bool better = s.betterThan(baseScore_);
            chooser_.credit(move, better, !worse);
            if (worse) continue;
            base_ = std::move(trial);
            baseScore_ = s;
            // Less left on the last sheet may now fit smaller stock at free positions alone.
            if (better) {
                State settled = base_;
                if (settleOnSmallestStock(lane_, settled)) {
                    const Score t = model.score(settled);
                    if (t.betterThan(baseScore_)) {
                        base_ = std::move(settled);
                        baseScore_ = t;
                    }
                }
            }
            std::lock_guard<std::mutex> guard(shared_.lock);
            if (baseScore_.betterThan(shared_.score)) {
                shared_.publish(base_, baseScore_);
                seen_ = shared_.generation;
            }
        }
    }

  private:
    static bool lone(const State& s) { return s.sheets.size() == 1 && s.unplaced.empty(); }

    void adoptShared() {
        if (lane_.tuning.lanesApart && lone(base_)) return;
        std::lock_guard<std::mutex> guard(shared_.lock);
        if (shared_.generation == seen_) return;
        seen_ = shared_.generation;
        if (shared_.score.betterThan(baseScore_)) {
            base_ = shared_.state;
            baseScore_ = shared_.score;
        }
    }

    Lane& lane_;
    MoveChooser chooser_;
    SharedBest& shared_;
    std::atomic<std::int64_t>& attempts_;
    std::int64_t attemptLimit_;
    State base_;
    Score baseScore_;
    std::uint64_t seen_ = 0;
};

// Starts `body` on a thread of its own, counted in `running` until it ends; a body that throws
// (out of memory) ends its thread alone. False when no thread could be started.
template <typename Body>
bool startCounted(std::vector<std::thread>& threads, std::atomic<unsigned>& running, Body body) {
    running.fetch_add(1);
    try {
        threads.emplace_back([body, &running] {
            try {
                body();
            } catch (...) {
                // Whatever the thread found stays with the shared best layout.
            }
            running.fetch_sub(1);
        });
    } catch (const std::exception&) {
        running.fetch_sub(1);
        return false;
    }
    return true;
}

// Lanes, one per thread, working on `shared` until the stop, `seconds` since `t0` or
// `attemptLimit` attempts (none when 0); `publish` is called on the calling thread with the best
// state whenever it has changed, at most once per publication interval. Returns the attempts
// made.
template <typename Publish>
std::int64_t runLanes(const Model& model, SharedBest& shared, std::uint32_t seed, double seconds,
                      std::int64_t attemptLimit, Clock::time_point t0, Publish&& publish) {
    const NestContext& c = model.context;
    const DenseTuning& tuning = c.denseTuning;
    std::atomic<bool> quit{false};
    unsigned laneCount = c.config.threads > 0 ? static_cast<unsigned>(c.config.threads)
                                              : std::thread::hardware_concurrency();
    laneCount = std::max(1u, laneCount);
    std::atomic<std::int64_t> attemptCount{0};
    std::atomic<unsigned> running{0};
    std::vector<std::unique_ptr<Lane>> lanes;
    std::vector<std::unique_ptr<LaneRunner>> runners;
    std::vector<std::thread> threads;
    for (unsigned k = 0; k < laneCount; ++k) {
        // A lane's own context copies the rasters; past a bound of memory the lanes do without
        // skyline refills.
        std::unique_ptr<NestContext> own;
        if (c.rasterCache.bytes() * laneCount <= tuning.mostCopiedRasterBytes) {
            own = std::make_unique<NestContext>(c);
            own->stopRequested = [&quit] { return quit.load(std::memory_order_relaxed); };
        }
        lanes.push_back(
            std::make_unique<Lane>(model, seed + tuning.laneSeedStride * k, quit, std::move(own)));
        runners.push_back(
            std::make_unique<LaneRunner>(*lanes.back(), shared, attemptCount, attemptLimit));
        LaneRunner* runner = runners.back().get();
        if (!startCounted(threads, running, [runner] { runner->run(); })) break;
    }
    std::uint64_t published = 0;
    Clock::time_point lastPublish = Clock::now();
    while (running.load() > 0 && !c.shouldStop() && seconds > secondsSince(t0)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(tuning.pollMilliseconds));
        if (secondsSince(lastPublish) < c.tuning.publishIntervalSeconds) continue;
        State snapshot;
        {
            std::lock_guard<std::mutex> guard(shared.lock);
            if (shared.generation == published) continue;
            published = shared.generation;
            snapshot = shared.state;
        }
        lastPublish = Clock::now();
        publish(snapshot);
    }
    quit.store(true);
    for (std::thread& t : threads)
        t.join();
    return std::min<std::int64_t>(attemptCount.load(),
                                  attemptLimit > 0 ? attemptLimit : attemptCount.load());
}

// The exact fill (exact_fill.h) on one thread per lane until `until` seconds after `t0`, the stop,
// the sheet bound or, under an iteration limit, `builds` layouts per thread; `publish` is called
// on the calling thread with each better layout. Returns the best layout built, with its score.
template <typename Publish>
std::optional<std::pair<State, Score>> runExactFill(const Model& model, const ExactFiller& filler,
                                                    std::uint32_t seed, double until, int builds,
                                                    Clock::time_point t0, Publish&& publish) {
    const NestContext& c = model.context;
    const DenseTuning& tuning = c.denseTuning;
    unsigned threadCount = c.config.threads > 0 ? static_cast<unsigned>(c.config.threads)
                                                : std::thread::hardware_concurrency();
    threadCount = std::max(1u, threadCount);
    std::atomic<bool> quit{false};
    std::atomic<unsigned> running{0};
    SharedBest best;
    bool any = false;
    std::pair<unsigned, int> bestKey{0, 0};
    auto reached = [&](const State& s) {
        return filler.sheetBound() > 0 && s.unplaced.empty() &&
               static_cast<int>(s.sheets.size()) <= filler.sheetBound();
    };
    std::vector<std::thread> threads;
    for (unsigned k = 0; k < threadCount; ++k) {
        const bool started = startCounted(threads, running, [&, k] {
            std::mt19937 gen(seed + tuning.laneSeedStride * k);
            for (int n = 0; builds <= 0 || n < builds; ++n) {
                std::optional<State> s = filler.build(gen, k == 0 && n == 0, quit);
                if (!s) break;
                const Score score = model.score(*s);
                std::lock_guard<std::mutex> guard(best.lock);
                // Equal layouts go to the earlier build of the lower thread, so a run under a
                // limit does not depend on which thread ends first.
                const std::pair<unsigned, int> key{k, n};
                if (!any || score.betterThan(best.score) ||
                    (!best.score.betterThan(score) && key < bestKey)) {
                    any = true;
                    bestKey = key;
                    best.publish(*s, score);
                }
                if (reached(best.state)) quit.store(true);
                if (quit.load()) break;
            }
        });
        if (!started) break;
    }
    std::uint64_t published = 0;
    while (running.load() > 0 && !c.shouldStop() && (builds > 0 || until > secondsSince(t0))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(tuning.pollMilliseconds));
        std::optional<std::pair<State, Score>> snapshot;
        {
            std::lock_guard<std::mutex> guard(best.lock);
            if (best.generation == published) continue;
            published = best.generation;
            snapshot.emplace(best.state, best.score);
        }
        publish(snapshot->first, snapshot->second);
    }
    quit.store(true);
    for (std::thread& t : threads)
        t.join();
    if (!any) return std::nullopt;
    return std::make_pair(std::move(best.state), best.score);
}

// The coarse search's context: the job's own with cells `factor` times as large and rasters of
// its own (built field by field, since a copy would copy the job's rasters only to drop them).
NestContext coarserContext(const NestContext& c, int factor) {
    NestContext coarse;
    coarse.config = c.config;
    coarse.config.cell = c.config.cell * factor;
    coarse.parts = c.parts;
    coarse.angleStep = c.angleStep;
    coarse.rasterCache.setExactGap(c.rasterCache.exactGap());
    coarse.stopRequested = c.stopRequested;
    coarse.tuning = c.tuning;
    coarse.denseTuning = c.denseTuning;
    coarse.seed = c.seed;
    coarse.iterationLimit = c.iterationLimit;
    return coarse;
}

// A coarse layout on the job's grid: every part where it stood, to the nearest fine cell (with a
// gap the padding before the outlines differs between the grids), the sheet's length taken
// along. Nothing when a part leaves the fine sheet or two parts overlap there; on a grid that
// divides the coarse one neither happens without a gap, since a coarse raster covers the fine
// one.
std::optional<State> onFinerGrid(const Model& coarse, const Model& fine, const State& s) {
    const NestConfig& cc = coarse.context.config;
    const NestConfig& fc = fine.context.config;
    const double shift = gapPadLength(cc) - gapPadLength(fc);
    State out;
    for (const SheetInfo& info : s.sheets) {
        const SheetLayout opened =
            openSheet(info.stockIndex, {info.width, info.height, 0}, fc.margin, fc.cell);
        const auto rows = static_cast<std::int32_t>(std::ceil(info.rows * cc.cell / fc.cell));
        out.sheets.push_back({info.stockIndex, info.width, info.height, opened.columns,
                              std::max(opened.rows, rows)});
    }
    out.unplaced = s.unplaced;
    for (Item item : s.items) {
        item.x = static_cast<std::int32_t>(std::lround((item.x * cc.cell + shift) / fc.cell));
        item.y = static_cast<std::int32_t>(std::lround((item.y * cc.cell + shift) / fc.cell));
        const PartRaster& r = fine.raster(item);
        const SheetInfo& info = out.sheets[item.sheet];
        if (item.x < 0 || item.y < 0 || item.x + r.width > info.columns ||
            item.y + r.height > info.rows)
            return std::nullopt;
        out.items.push_back(item);
    }
    for (std::size_t k = 0; k < out.sheets.size(); ++k)
        if (!smallerOfOverlapping(fine, out, static_cast<int>(k)).empty()) return std::nullopt;
    return out;
}

// The search after its first layout: the lanes on the job's sheets from the better of the two
// greedy fills, a coarse-grid start for a lone sheet, and the exact fill beside the lanes for
// several sheets. One run, on the caller's thread; the lanes run threads of their own.
class DenseRun {
  public:
    DenseRun(NestContext& c, const Model& model, SharedBest& shared, SearchObserver& observer,
             Clock::time_point t0)
        : c_(c),
          model_(model),
          shared_(shared),
          observer_(observer),
          t0_(t0),
          tuning_(c.denseTuning) {}

    // The layout the run ends with: the exact fill's where it beats the lanes'.
    const State& result() const {
        return exact_ && exact_->second.betterThan(shared_.score) ? exact_->first : shared_.state;
    }
    std::int64_t attempts() const { return attempts_; }

    // Before the lanes start, the first layouts' last sheets go to smaller stock where free
    // positions alone take their parts (each settling from the same generator seed).
    void settleFirstLayout() {
        std::atomic<bool> quit{false};
        Lane setup(model_, 0, quit);
        State settled = shared_.state;
        if (settleOnSmallestStock(setup, settled) &&
            model_.score(settled).betterThan(shared_.score)) {
            shared_.state = std::move(settled);
            shared_.score = model_.score(shared_.state);
            publishFine(shared_.state);
        }
    }

    // The same fill on the largest stock first; the better of the two is where the lanes start.
    void tryLargestStockFirst(const std::vector<int>& order, const Layout& pieceLayout) {
        if (c_.config.sheets.size() <= 1 || c_.shouldStop()) return;
        Layout other;
        std::vector<std::int32_t> usage(c_.config.sheets.size(), 0);
        c_.largestStockFirst = true;
        const int otherUnplaced = greedyFill(other, usage, order, c_);
        c_.largestStockFirst = false;
        if (placementCount(other) + static_cast<std::size_t>(otherUnplaced) < order.size()) return;
        State state = model_.fromLayout(other, pieceLayout);
        std::atomic<bool> quit{false};
        Lane setup(model_, 0, quit);
        settleOnSmallestStock(setup, state);
        const Score score = model_.score(state);
        if (score.betterThan(shared_.score)) {
            shared_.state = std::move(state);
            shared_.score = score;
            publishFine(shared_.state);
        }
    }

    void chooseSeed() {
        seed_ =
            c_.seed
                ? *c_.seed
                : static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                 Clock::now().time_since_epoch())
                                                 .count());
        attemptLimit_ = c_.iterationLimit;
    }

    // A lone sheet may first be shortened on a coarser grid, where a part has a quarter of the
    // cells to count, the rest of the time going to the job's own grid, which wastes less around
    // every outline. (Not beside stock pieces, whose masks the coarse grid does not carry.)
    void shortenOnCoarseGrid(const std::vector<int>& order, std::size_t pieceCount) {
        const int factor = tuning_.coarseFactor;
        if (!(factor > 1 && c_.config.cell * factor <= tuning_.coarsestCell + 1e-9 &&
              pieceCount == 0 && shared_.state.sheets.size() == 1 &&
              shared_.state.unplaced.empty() && !c_.shouldStop()))
            return;
        NestContext coarse = coarserContext(c_, factor);
        Layout coarseFirst;
        std::vector<std::int32_t> coarseUsage(coarse.config.sheets.size(), 0);
        const int coarseUnplaced = greedyFill(coarseFirst, coarseUsage, order, coarse);
        if (coarseUnplaced != 0 || coarseFirst.size() != 1) return;
        const Shapes coarseShapes = buildShapes(coarse);
        const Model coarseModel{coarse, coarseShapes};
        SharedBest coarseShared;
        coarseShared.state = coarseModel.fromLayout(coarseFirst);
        coarseShared.score = coarseModel.score(coarseShared.state);
        const double until = c_.config.seconds * tuning_.coarseShare;
        const std::int64_t coarseLimit =
            attemptLimit_ > 0
                ? std::max<std::int64_t>(
                      1, static_cast<std::int64_t>(attemptLimit_ * tuning_.coarseShare))
                : 0;
        // Only what beats the best layout on the job's grid is published or kept.
        auto adopt = [&](const State& s) {
            std::optional<State> fine = onFinerGrid(coarseModel, model_, s);
            if (!fine) return false;
            const Score score = model_.score(*fine);
            if (!score.betterThan(shared_.score)) return false;
            shared_.state = std::move(*fine);
            shared_.score = score;
            return true;
        };
        const std::int64_t coarseAttempts = runLanes(coarseModel, coarseShared, seed_, until,
                                                     coarseLimit, t0_, [&](const State& s) {
                                                         if (adopt(s)) publishFine(shared_.state);
                                                     });
        adopt(coarseShared.state);
        attempts_ += coarseAttempts;
        if (attemptLimit_ > 0)
            attemptLimit_ = std::max<std::int64_t>(1, attemptLimit_ - coarseAttempts);
    }

    // More than one sheet: the exact fill may find what no raster layout can hold. The lanes go
    // first; the fill then gets a probe, and the rest of the time goes to whichever of the two is
    // ahead. (Under an iteration limit the lanes make all their attempts first.) Otherwise the
    // lanes have all the time.
    void searchToTheEnd(std::size_t pieceCount) {
        std::optional<ExactFiller> filler;
        if (pieceCount == 0 && shared_.state.sheets.size() > 1) {
            filler.emplace(model_);
            if (!filler->usable()) filler.reset();
        }
        if (!filler) {
            if (timeLeft(c_.config.seconds))
                attempts_ += runLanes(model_, shared_, seed_, c_.config.seconds, attemptLimit_, t0_,
                                      publishFineFunction());
            return;
        }
        const double seconds = c_.config.seconds;
        if (timeLeft(seconds * tuning_.exactAfter))
            attempts_ += runLanes(model_, shared_, seed_, seconds * tuning_.exactAfter,
                                  attemptLimit_, t0_, publishFineFunction());
        const int builds = attemptLimit_ > 0 ? tuning_.exactBuilds : 0;
        auto publishExact = [&](const State& s, const Score& score) {
            if (score.betterThan(shared_.score) && (!exact_ || score.betterThan(exact_->second)))
                observer_.published(model_.toLayout(s), contract::JobState::Running,
                                    secondsSince(t0_), static_cast<int>(s.unplaced.size()));
        };
        if (!c_.shouldStop())
            exact_ = runExactFill(model_, *filler, seed_,
                                  seconds * (tuning_.exactAfter + tuning_.exactProbe), builds, t0_,
                                  publishExact);
        if (exact_ && !exact_->second.betterThan(shared_.score)) exact_.reset();
        const bool atBound = exact_ && exact_->first.unplaced.empty() &&
                             static_cast<int>(exact_->first.sheets.size()) <= filler->sheetBound();
        if (exact_ && !atBound && (attemptLimit_ > 0 || timeLeft(seconds))) {
            auto more =
                runExactFill(model_, *filler, seed_ + 1, seconds, builds, t0_, publishExact);
            if (more && more->second.betterThan(exact_->second)) exact_ = std::move(more);
        } else if (!exact_ && attemptLimit_ <= 0 && timeLeft(seconds)) {
            attempts_ += runLanes(model_, shared_, seed_, seconds, 0, t0_, publishFineFunction());
        }
    }

  private:
    // The exact fill's best layout, once it has one: the lanes' layouts are published only where
    // they beat it.
    void publishFine(const State& s) {
        if (exact_ && !model_.score(s).betterThan(exact_->second)) return;
        observer_.published(model_.toLayout(s), contract::JobState::Running, secondsSince(t0_),
                            static_cast<int>(s.unplaced.size()));
    }
    std::function<void(const State&)> publishFineFunction() {
        return [this](const State& s) { publishFine(s); };
    }
    bool timeLeft(double until) const { return !c_.shouldStop() && until > secondsSince(t0_); }

    NestContext& c_;
    const Model& model_;
    SharedBest& shared_;
    SearchObserver& observer_;
    const Clock::time_point t0_;
    const DenseTuning& tuning_;
    std::uint32_t seed_ = 0;
    std::int64_t attemptLimit_ = 0;
    std::int64_t attempts_ = 0;
    std::optional<std::pair<State, Score>> exact_;
};

// Without a search (no sheet to search on, or no time), what the first fills left over still
// goes wherever the pieces have room beyond their skyline's reach (above a defect, in a kept
// part's hole).
void fillPiecesFreely(NestContext& c, const std::vector<SheetStock>& pieceStock,
                      const Layout& sheets, const Layout& pieceLayout, NestOutcome& out) {
    if (pieceStock.empty() || out.unplaced <= 0 || c.shouldStop()) return;
    const Shapes shapes = buildShapes(c);
    const Model model{c, shapes, pieceStock};
    State state = model.fromLayout(sheets, pieceLayout);
    const std::atomic<bool> quit{false};
    Lane lane(model, c.seed.value_or(1), quit);
    if (!unplacedIntoPieces(lane, state)) return;
    out.layout = model.toLayout(state);
    out.unplaced = static_cast<std::int32_t>(state.unplaced.size());
}

}  // namespace

void runDenseSearch(NestContext& job, NestOutcome& out, SearchObserver& observer) {
    const Clock::time_point t0 = Clock::now();
    // Every layout of this search, the first one included, is made of rasters that keep the gap
    // and no more: the padded ones waste up to two cells between neighbours.
    if (job.rasterCache.exactGap() != exactGapRasters(job.config)) {
        job.rasterCache.setExactGap(exactGapRasters(job.config));
        job.placementCache = PlacementCache{};
    }
    std::vector<int> order = firstInstanceOrder(job.parts);
    job.angleStep = angleStepFor(order.size());
    // Stock pieces are filled first, as in the standard search; the search then works on the
    // job's sheets with the pieces beside them (model.h), so `c` holds the sheets alone.
    const std::size_t pieceCount = stockPieceCount(job.config);
    Layout pieceLayout;
    std::optional<NestContext> sheetsOnly;
    if (pieceCount > 0) {
        pieceLayout = fillStockPieces(job, order, true);
        sheetsOnly.emplace(job);
        sheetsOnly->config.sheets.erase(
            sheetsOnly->config.sheets.begin(),
            sheetsOnly->config.sheets.begin() + static_cast<std::ptrdiff_t>(pieceCount));
    }
    NestContext& c = sheetsOnly ? *sheetsOnly : job;
    const std::vector<SheetStock> pieceStock(
        job.config.sheets.begin(),
        job.config.sheets.begin() + static_cast<std::ptrdiff_t>(pieceCount));
    std::vector<std::int32_t> usage(c.config.sheets.size(), 0);
    Layout firstSheets;
    const int first = pieceCount > 0 && (order.empty() || c.config.sheets.empty())
                          ? static_cast<int>(order.size())
                          : greedyFill(firstSheets, usage, order, c);
    out.layout = withStockPieces(pieceLayout, firstSheets, pieceCount);
    out.unplaced = first;
    out.stats.firstLayoutSeconds = secondsSince(t0);
    observer.published(out.layout, contract::JobState::Running, out.stats.firstLayoutSeconds,
                       first);
    observer.firstLayout(out.layout, utilisation(out.layout), first);
    const bool complete =
        placementCount(firstSheets) + static_cast<std::size_t>(first) >= order.size();

    std::int64_t attempts = 0;
    if (complete && !firstSheets.empty() && !c.shouldStop() &&
        c.config.seconds > secondsSince(t0)) {
        const Shapes shapes = buildShapes(c);
        const Model model{c, shapes, pieceStock};
        SharedBest shared;
        shared.state = model.fromLayout(firstSheets, pieceLayout);
        shared.score = model.score(shared.state);
        DenseRun run(c, model, shared, observer, t0);
        run.settleFirstLayout();
        run.tryLargestStockFirst(order, pieceLayout);
        run.chooseSeed();
        run.shortenOnCoarseGrid(order, pieceCount);
        run.searchToTheEnd(pieceCount);
        const State& result = run.result();
        out.layout = model.toLayout(result);
        out.unplaced = static_cast<std::int32_t>(result.unplaced.size());
        attempts = run.attempts();
    } else {
        fillPiecesFreely(c, pieceStock, firstSheets, pieceLayout, out);
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
