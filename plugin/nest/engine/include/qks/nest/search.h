// The searches: a first layout at once, then improvements until the time limit, the iteration
// limit or a stop. The standard search rebuilds layouts on the skyline; the dense one
// (config strategy "dense") moves parts anywhere that is free and squeezes the last sheet.
//
// Threads: runSearch runs on the calling thread and calls the observer there; the dense search
// may run helper threads of its own, which never call the observer.
#pragma once

#include "qks/nest/context.h"
#include "qks/nest/dense_search.h"
#include "qks/nest/outcome.h"

namespace qks::nest {

// Runs the search the config selects.
void runSearch(NestContext& context, NestOutcome& outcome, SearchObserver& observer);

// The standard search, for tests and benchmarks that pick one regardless of the config (the
// dense one is in dense_search.h).
void runStandardSearch(NestContext& context, NestOutcome& outcome, SearchObserver& observer);

}  // namespace qks::nest
