// What a search run hands back and whom it tells while it runs: the outcome with its totals and
// the observer of publications. Shared by the standard and the dense search.
//
// Threads: a search calls its observer on the thread that runs it.
#pragma once

#include <cstdint>

#include "qks/contract/states.h"
#include "qks/nest/placement.h"

namespace qks::nest {

// What a run learned about itself (for the command-line program, benchmarks and tests).
struct NestRunStats {
    std::int64_t iterations = 0;
    std::int64_t restarts = 0;
    double firstLayoutSeconds = 0.0;  // time from the start to the first layout
    double seconds = 0.0;             // time from the start to the final publication
    bool stopped = false;             // the final state was "stopped"
};

// The run's result: the best layout with its own unplaced count and totals.
struct NestOutcome {
    Layout layout;  // the current layout while the search runs, the best once it has ended
    std::int32_t unplaced = 0;  // instances missing from the layout
    double usedArea = 0.0;
    double sheetArea = 0.0;
    double utilisation = 0.0;  // fraction, not percent
    NestRunStats stats;
};

class SearchObserver {
  public:
    virtual ~SearchObserver() = default;
    // The best layout, after the first fill, after improvements (at most every publication
    // interval) and once at the end with state Stopped or Done. The published layout never
    // gets worse; `unplaced` is its own count.
    virtual void published(const Layout& layout, contract::JobState state, double elapsed,
                           int unplaced) = 0;
    // The first layout has been built (after its publication).
    virtual void firstLayout(const Layout& layout, double utilisation, int unplaced) {
        (void)layout, (void)utilisation, (void)unplaced;
    }
    // The search has ended; `outcome` holds the final layout and totals.
    virtual void finished(const NestOutcome& outcome) { (void)outcome; }
};

// Sets the outcome's totals from its layout.
void settleTotals(NestOutcome& outcome);

}  // namespace qks::nest
