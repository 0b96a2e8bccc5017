// The nest module's share of the plug-in's runtime: the flags and the session slot that admit
// one nest job at a time, the stop request, and the worker that runs a session and reports back
// to the main thread. The plug-in's runtime owns one NestRuntime from load to unload.
//
// Threads:
//   nestStopRequested  set by the bridge thread ("NESTSTOP") and by abandonNestJob; cleared by
//                      the job driver on the main thread; read by the worker.
//   nestJobActive      main thread (the job driver sets it, the output step or an early failure
//                      clears it); any thread may read it.
//   the session slot   any thread, under its mutex; the output step copies the pointer and
//                      works on the copy outside the lock.
//   the message target set on the main thread, read by the worker when it ends (own lock).
// Lifetime: a runtime outlives every worker it starts. The plug-in's runtime abandons the job
// in the slot (stop and join) before it goes, and every worker it starts is first put in the
// slot.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "qks/host/types.h"
#include "qks/nest/session.h"

namespace qks::host {
class ApplicationServices;
}  // namespace qks::host

namespace qks::nest {

class NestRuntime {
  public:
    NestRuntime() = default;
    // Abandons a job still in the slot.
    ~NestRuntime();
    NestRuntime(const NestRuntime&) = delete;
    NestRuntime& operator=(const NestRuntime&) = delete;

    std::atomic<bool>& nestStopRequested() { return nestStopRequested_; }
    std::atomic<bool>& nestJobActive() { return nestJobActive_; }

    // A new session whose stop predicate is this runtime's stop flag.
    std::shared_ptr<NestSession> newSession();

    // Copy of the slot, taken under its mutex.
    std::shared_ptr<NestSession> currentNestSession() const;
    void setCurrentNestSession(std::shared_ptr<NestSession> session);
    // Under the mutex, empties the slot when it holds `session`; then clears nestJobActive.
    void clearCurrentNestSession(const std::shared_ptr<NestSession>& session);

    // The host and window the worker posts nestFinishedMessage to when it ends (null, 0: none).
    void setNestMessageTarget(host::ApplicationServices* host, host::WindowHandle window);

    // Starts the worker thread with its own reference to the session (kept in session->worker).
    // The worker holds the host's background-work count from now until it has posted the
    // nest-finished message to the message target (when one is set). False when the thread
    // cannot be started.
    bool startNestWorker(const std::shared_ptr<NestSession>& session);

    // Stops a running worker and waits for it, without an output step; the slot is freed.
    // For unloading the plug-in.
    void abandonNestJob();

  private:
    void postFinished();

    std::atomic<bool> nestStopRequested_{false};
    std::atomic<bool> nestJobActive_{false};

    mutable std::mutex currentNestSessionMutex_;
    std::shared_ptr<NestSession> currentNestSession_;

    std::mutex targetLock_;
    host::ApplicationServices* targetHost_ = nullptr;
    host::WindowHandle targetWindow_{};
};

}  // namespace qks::nest
