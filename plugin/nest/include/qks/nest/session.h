// A nest session: one run of the engine for one nest job, its worker thread and the
// process-wide state that admits one job at a time.
//
// Ownership: the session is shared (std::shared_ptr) by the job driver, the process-wide slot
// and the worker. Threads: while the worker runs, it alone touches parts, layout, the raster
// cache and the totals; the main thread reads them only after joining the worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "qks/nest/context.h"
#include "qks/nest/placement.h"
#include "qks/nest/search.h"

#include "qks/host/types.h"

namespace qks::host {
class ApplicationServices;
}  // namespace qks::host

namespace qks::nest {

// Called on the worker thread after every publication of the best layout, with what was
// published (the same as the progress file). For observers outside the job; must not touch the
// session.
using PublishObserver = std::function<void(const Layout& layout, const std::string& state,
                                           double elapsed, int unplaced)>;

// The session is the engine's context (config, parts, caches, stop predicate) and its outcome
// (layout, totals, statistics), with what the runtime adds: the worker thread and the files it
// writes. Its stop predicate is the process-wide stop flag.
struct NestSession : NestContext, NestOutcome {
    std::thread worker;
    std::string partsFilePath;
    std::string progressFilePath;
    PublishObserver onPublish;

    NestSession();
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

// Starts the worker thread with its own reference to the session (kept in session->worker).
// The worker holds the host's background-work count from now until it has posted the
// nest-finished message to the message target (when one is set). False when the thread cannot
// be started.
bool startNestWorker(const std::shared_ptr<NestSession>& session);

// The host and window the worker posts nestFinishedMessage to when it ends. Called by the
// plug-in entry at load and (with null, 0) at unload; any thread.
void setNestMessageTarget(qks::host::ApplicationServices* host, qks::host::WindowHandle window);

// Process-wide job state. nestJobActive admits one nest job at a time.
std::atomic<bool>& nestJobActive();
std::mutex& currentNestSessionMutex();
// Copy of the current session slot, taken under the mutex.
std::shared_ptr<NestSession> currentNestSession();
void setCurrentNestSession(std::shared_ptr<NestSession> session);
// Under the mutex, empties the slot when it holds `session`; then clears nestJobActive.
void clearCurrentNestSession(const std::shared_ptr<NestSession>& session);

}  // namespace qks::nest
