#include "qks/nest/runtime.h"

#include <exception>
#include <utility>

#include "qks/common/messages.h"
#include "qks/host/host.h"

namespace qks::nest {

NestRuntime::~NestRuntime() {
    setNestMessageTarget(nullptr, {});
    abandonNestJob();
}

std::shared_ptr<NestSession> NestRuntime::newSession() {
    auto session = std::make_shared<NestSession>();
    session->stopRequested = [this] { return nestStopRequested_.load(); };
    return session;
}

std::shared_ptr<NestSession> NestRuntime::currentNestSession() const {
    std::lock_guard<std::mutex> guard(currentNestSessionMutex_);
    return currentNestSession_;
}

void NestRuntime::setCurrentNestSession(std::shared_ptr<NestSession> session) {
    std::shared_ptr<NestSession> previous;
    {
        std::lock_guard<std::mutex> guard(currentNestSessionMutex_);
        previous = std::exchange(currentNestSession_, std::move(session));
    }
    // `previous` is released outside the lock: its destructor may join a worker.
}

void NestRuntime::clearCurrentNestSession(const std::shared_ptr<NestSession>& session) {
    std::shared_ptr<NestSession> previous;
    {
        std::lock_guard<std::mutex> guard(currentNestSessionMutex_);
        if (currentNestSession_ == session) previous = std::move(currentNestSession_);
    }
    nestJobActive_.store(false);
}

void NestRuntime::setNestMessageTarget(host::ApplicationServices* host, host::WindowHandle window) {
    std::lock_guard<std::mutex> guard(targetLock_);
    targetHost_ = host;
    targetWindow_ = host ? window : host::WindowHandle{};
}

void NestRuntime::postFinished() {
    host::ApplicationServices* host = nullptr;
    host::WindowHandle window{};
    {
        std::lock_guard<std::mutex> guard(targetLock_);
        host = targetHost_;
        window = targetWindow_;
    }
    if (host != nullptr && window) host->postMessage(window, nestFinishedMessage, 0, 0);
}

bool NestRuntime::startNestWorker(const std::shared_ptr<NestSession>& session) {
    if (!session || session->worker.joinable()) return false;  // one worker per session
    host::ApplicationServices* host = nullptr;
    {
        std::lock_guard<std::mutex> guard(targetLock_);
        host = targetHost_;
    }
    auto work = std::make_unique<host::BackgroundWork>(host);
    try {
        session->worker = std::thread([this, session, work = std::move(work)]() mutable {
            runNestSearch(*session);
            postFinished();
            work.reset();
        });
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void NestRuntime::abandonNestJob() {
    std::shared_ptr<NestSession> session = currentNestSession();
    if (!session) return;
    nestStopRequested_.store(true);
    if (session->worker.joinable()) session->worker.join();
    clearCurrentNestSession(session);
}

}  // namespace qks::nest
