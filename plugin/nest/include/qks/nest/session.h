// A nest session: one run of the engine for one nest job, with its worker thread (started by
// the nest runtime, runtime.h).
//
// Ownership: the session is shared (std::shared_ptr) by the job driver, the runtime's slot
// and the worker. Threads: while the worker runs, it alone touches parts, layout, the raster
// cache and the totals; the main thread reads them only after joining the worker.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "qks/nest/context.h"
#include "qks/nest/placement.h"
#include "qks/nest/search.h"

namespace qks::nest {

// Called on the worker thread after every publication of the best layout, with what was
// published (the same as the progress file). For observers outside the job; must not touch the
// session.
using PublishObserver = std::function<void(const Layout& layout, const std::string& state,
                                           double elapsed, int unplaced)>;

// The session is the engine's context (config, parts, caches, stop predicate) and its outcome
// (layout, totals, statistics), with what the runtime adds: the worker thread and the files it
// writes. A session made by the runtime stops when the runtime's stop flag is set.
struct NestSession : NestContext, NestOutcome {
    std::thread worker;
    std::string partsFilePath;
    std::string progressFilePath;
    PublishObserver onPublish;

    NestSession() = default;
    NestSession(const NestSession&) = delete;
    NestSession& operator=(const NestSession&) = delete;
    // Joins a worker that is still running; when the worker itself drops the last reference,
    // its thread object is detached instead (it is about to end).
    ~NestSession();
};

// The job's part counts applied as the job driver does: a kind whose id has a count takes it,
// an id listed with a quantity below 1 takes 0, quantities are capped at 999 and those below 1
// become 0. Kinds the config does not mention keep their quantity.
void applyPartCounts(const NestConfig& config, std::vector<NestPart>& parts);
// Removes kinds of quantity 0 (or less), keeping the order of the others.
void removeUnwantedKinds(std::vector<NestPart>& parts);

// The worker's whole run, on the calling thread: the search the config selects, each
// publication written to the progress file, and the two log lines. Does not post anything.
void runNestSearch(NestSession& session);

}  // namespace qks::nest
