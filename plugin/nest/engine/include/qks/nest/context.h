// What the nesting engine works from: the job's config and parts, the caches built from them and
// the knobs of its searches. The engine knows no threads of the plug-in, no session slot and no
// host; whoever runs it hands it a context and an observer.
//
// Threads: a context is used by one thread at a time (the dense search copies what its own
// threads need).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "qks/nest/config.h"
#include "qks/nest/geometry.h"
#include "qks/nest/part.h"
#include "qks/nest/placement.h"

namespace qks::nest {

// Tuning constants of the standard search. Changing any of them changes its layouts for a given
// seed, so they are fixed for the product; tests and benchmarks may vary them.
struct NestTuning {
    // Every n-th local move tries to spread the last sheet's parts over the other sheets.
    std::int64_t emptyLastSheetEvery = 7;
    // Chance, in percent, of accepting a move that leaves the layout equally good.
    std::uint32_t sidewaysPercent = 30;
    // A restart from a shuffled order follows this long without an improvement ...
    double restartAfterSeconds = 1.6;
    // ... unless the time limit is nearer than this.
    double restartReserveSeconds = 0.8;
    // Under an iteration limit, a restart follows this many steps without an improvement
    // instead (about the time rule's count at the search's usual pace).
    std::int64_t restartAfterSteps = 2000;
    // Least time between two publications of the best layout while the search runs.
    double publishIntervalSeconds = 0.3;
};

// Tuning constants of the dense search, with the same rule: fixed for the product, varied by tests
// and benchmarks only.
struct DenseTuning {
    // Overlap removal (guided local search). Random positions tried per move of an overlapping
    // part: anywhere on the sheet, and near where it stands (every n-th near one also turns it).
    int globalSamples = 12;
    int localSamples = 12;
    int turnEveryLocalSample = 4;
    // Samples and long descent steps count overlaps on every n-th grid row only, n at most
    // `sampleRowStride` and leaving a part at least `rowsPerSampledRow` rows per sampled row:
    // the count costs a row at a time, and tall parts (hundreds of rows) rank positions as well
    // from a quarter of them.
    int sampleRowStride = 4;
    int rowsPerSampledRow = 32;
    // Passes without a smaller overlap before a strike, and strikes before the try is given up:
    // each strike goes back to the least overlapping arrangement seen, weights kept. A layout of
    // one sheet gets the patient count, since shortening it is then the only way forward: on the
    // ESICUP strips at 20 s, 24 passes left the dense search 5.7 points below the best published
    // densities on average, 48 passes 5.3, 96 to 400 passes 4.4 (bench/nest). With more sheets
    // the moves between them gain more from many quick tries: on the large bench job the patient
    // count cost a quarter of a square metre at 60 s.
    int stallPasses = 24;
    int patientStallPasses = 200;
    int strikes = 3;
    // Weight factor of a pair still overlapping after a pass, and of a pair apart again (never
    // below 1): pairs that keep overlapping get pushed apart harder.
    double weightGrowth = 1.3;
    double weightDecay = 0.95;
    // An overlapping pair costs, besides the cells it shares, as many cells as this many strips
    // one cell wide across the narrowest side of the two parts. On cells alone a part settles
    // a few cells into each of several neighbours as readily as into one, and each such pair
    // must then be parted again; the charge makes the removal clear pairs. On the ESICUP strips
    // (two threads, seed 1) the sum of swim, shirts, mao, shapes1 and fu at 20 s went from
    // 401.4 % to 407.3 % (with 1 strip 403.0, 3: 403.8, 30: 404.7, 100: 402.6), and of shapes1,
    // jakobs2, swim, shirts and fu at 60 s on cell 1 from 403.1 % to 405.6 %.
    double pairOverlapStrips = 10.0;
    // Parts on one sheet beyond which overlaps are not removed (their pair weights would take
    // hundreds of megabytes); free positions still serve such sheets.
    int mostSeparated = 4000;

    // Orientations sampled for a free position under free rotation when a part has no right
    // angles to offer.
    int fitOrientations = 12;

    // Shortening a sheet: the share of its used length taken off at first and at most; the step
    // grows by `shrinkGrowth` after a success and falls by `shrinkDecay` after a failure, back to
    // the first step once it is down to a cell.
    double firstShrink = 0.03;
    double shrinkGrowth = 1.2;
    double shrinkDecay = 0.6;

    // Parts moved between sheets that may miss a free position: the overlap removal settles a
    // few, while many at once fail slowly ...
    int mostDropped = 4;
    // ... and onto a fresh sheet of smaller stock, where nothing else stands in their way.
    int mostDroppedOnNewSheet = 12;
    // Parts of the last sheet offered to the others in one move (a quarter of them when more).
    std::size_t moveOffBatch = 8;
    // Tries to empty the last sheet at a sheet count before stock in the middle may change: a
    // sheet given up saves more, and after such a restock the last sheet is harder to empty.
    int emptyTriesBeforeRestock = 40;
    // Neighbours in the largest-first order swapped, one in n, when one sheet is packed anew and
    // when the whole layout is refilled on the skyline.
    std::uint32_t repackSwapOdds = 4;
    std::uint32_t refillSwapOdds = 3;

    // Whether two parts of a layout of one sheet may change places (a move that keeps its
    // length). With more sheets it took the moves between them their time: the large bench job
    // lost half a square metre at 60 s.
    bool swapPairs = true;

    // A layout of one sheet that overlap removal could not shorten keeps the least overlapping
    // arrangement it reached: the next tries start from it with two larger parts swapped, up to
    // `stuckRetries` times before a new, smaller cut. `disturbAttempts` bounds the draws of a
    // pair that fits the other's room. With the sliding cut below, 3 retries left a mean gap to
    // the best published densities of 2.7 points at 20 s, 1 retry 3.1 and 8 retries 2.9.
    int stuckRetries = 3;
    int disturbAttempts = 16;
    // A lone sheet is shortened by taking rows out at a random height, what stands above sliding
    // down, rather than by dropping what reaches past the new length anywhere: the layout keeps
    // its shape and the overlaps to remove are thin ones along the cut. On the ESICUP strips at
    // 20 s it took the mean gap to the best published densities from 3.4 to 2.9 points.
    bool slideCut = true;
    // A shortening of a lone sheet whose overlap removal gave up takes the smaller part of every
    // pair still overlapping out and puts it back at its lowest free position below the new
    // length: the removal often ends a few cells short. On the ESICUP strips at 20 s the mean
    // gap to the best published densities went from 2.7 to 2.6 points (measured before the
    // rasters without a gap held every cell an outline meets).
    bool refitStuck = true;

    // A lone sheet shortened first on a grid of cells `coarseFactor` times as large (1: never),
    // for `coarseShare` of the time, then on the job's own grid from the best layout reached; only
    // while the coarse cell is at most `coarsestCell` mm. On the ESICUP strips (3,000 wide) at
    // 120 s, cell 1 after cell 2 beat cell 2 alone on fu (89.75 % against 88.87 %) and jakobs2
    // (80.15 against 80.05); at 20 s it was behind (mean gap to the best published 3.6 points
    // against 3.2), and cell 2 after cell 4 was behind too (3.8): too coarse a cell loses the
    // small parts' fit.
    int coarseFactor = 2;
    double coarseShare = 0.5;
    double coarsestCell = 2.0;
    // Whether the lanes on a layout of one sheet with everything placed keep to their own
    // descents (each going on from the grid's start, the best of them kept) rather than all
    // taking the shortest layout any of them found: a strip's descent settles into one
    // arrangement within seconds, and lanes that share it all settle into the same one. On the
    // ESICUP strips at 60 s (cell 1, two threads) shapes1 went from 71.24 % (as in both runs at
    // 120 s before) to 72.96 %, and at 120 s to 73.69 %; jakobs2, swim and shirts stayed within
    // their spread.
    bool lanesApart = true;

    // Regrouping onto cheaper stock: the highest fill of the new sheets' area inside the margins
    // worth a try, the most sheets given up at once, the shortening steps of one try, and the
    // parts one try may move off its long sheet (and such moves in a row leaving it no shorter).
    double regroupFill = 0.85;
    int regroupSheets = 3;
    int regroupRounds = 300;
    int regroupPushes = 150;
    int regroupStalledPushes = 30;

    // The move chooser, a bandit over the moves by gains per unit of work. Work is counted, not
    // timed, so a run does not depend on the machine's speed: overlap counts, a free-position
    // search counting as `freePositionWork`, and every attempt costing `attemptWork` so moves
    // that fail at once do not look free.
    double workUnit = 10000.0;
    std::int64_t freePositionWork = 50;
    double attemptWork = 500.0;
    // Share of the total rate every allowed move keeps, so none is starved.
    double floorShare = 0.05;
    // Credit of an attempt that left the score equal (a compaction); a strict gain counts 1.
    double equalCredit = 0.1;

    // Memory the lanes' copies of the rasters may take together; past it the lanes do without
    // skyline refills.
    std::size_t mostCopiedRasterBytes = std::size_t{256} << 20;
    // Lane k's generator seed is the run's seed plus k times this prime, so lanes differ.
    std::uint32_t laneSeedStride = 7919;
    // How often the calling thread looks for a better layout to publish and for a stop.
    int pollMilliseconds = 20;

    // A job the first layout puts on more than one sheet is also built anew on the true
    // outlines (the exact fill), every lane's thread building layouts of its own: the lanes run
    // for `exactAfter` of the time, the fill for `exactProbe`, and the rest goes to whichever is
    // ahead. Under an iteration limit the lanes make all their attempts first and each thread
    // builds `exactBuilds` layouts (twice when the fill is ahead), so a run does not depend on
    // the machine's speed.
    double exactAfter = 0.4;
    double exactProbe = 0.2;
    int exactBuilds = 4;
};

// A sheet of an earlier layout whose parts stay exactly where they lie (the user locked them).
struct KeptSheet {
    SheetStock stock;                   // the sheet itself (count 1): a rectangle or its piece
    std::vector<Placement> placements;  // on the job's grid; partIndex into the context's parts
};

struct NestContext {
    NestConfig config;
    std::vector<NestPart> parts;
    // Sheets whose parts stay where they lie, the run nesting the rest around them. The first
    // keptSheets.size() entries of config.sheets are their `stock`, and the parts' quantities
    // count their kept parts too (runSearch takes them off for the search; stock.h).
    std::vector<KeptSheet> keptSheets;
    std::int32_t angleStep = 0;  // set by the search before the first layout
    RasterCache rasterCache;
    PlacementCache placementCache;  // per-part orientation lookup, beside the rasters
    // Asked between placements and between search steps; empty means never stop.
    std::function<bool()> stopRequested;
    NestTuning tuning;
    DenseTuning denseTuning;
    // A fixed generator seed instead of the clock's nanoseconds (tests, benchmarks, qksnest).
    std::optional<std::uint32_t> seed;
    // A new sheet comes from the largest stock entry that fits instead of the smallest.
    bool largestStockFirst = false;
    // Steps of improvement after which the search ends, whatever time is left; 0: no limit.
    std::int64_t iterationLimit = 0;

    bool shouldStop() const { return stopRequested && stopRequested(); }
};

}  // namespace qks::nest
