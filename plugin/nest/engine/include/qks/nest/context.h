// What the nesting engine works from: the job's config and parts, the caches built from them and
// the knobs of its searches. The engine knows no threads of the plug-in, no session slot and no
// host; whoever runs it hands it a context and an observer.
//
// Threads: a context is used by one thread at a time (the dense search copies what its own
// threads need).
#pragma once

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

struct NestContext {
    NestConfig config;
    std::vector<NestPart> parts;
    std::int32_t angleStep = 0;  // set by the search before the first layout
    RasterCache rasterCache;
    PlacementCache placementCache;  // per-part orientation lookup, beside the rasters
    // Asked between placements and between search steps; empty means never stop.
    std::function<bool()> stopRequested;
    NestTuning tuning;
    // A fixed generator seed instead of the clock's nanoseconds (tests, benchmarks, qksnest).
    std::optional<std::uint32_t> seed;
    // A new sheet comes from the largest stock entry that fits instead of the smallest.
    bool largestStockFirst = false;
    // Steps of improvement after which the search ends, whatever time is left; 0: no limit.
    std::int64_t iterationLimit = 0;

    bool shouldStop() const { return stopRequested && stopRequested(); }
};

}  // namespace qks::nest
