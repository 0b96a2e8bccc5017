#include "qks/nest/session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>

#include "qks/common/job_log.h"
#include "qks/common/messages.h"
#include "qks/host/host.h"
#include "qks/nest/progress.h"
#include "text_format.h"

namespace qks::nest {
namespace {

using Clock = std::chrono::steady_clock;

struct MessageTarget {
    std::mutex lock;
    host::ApplicationServices* host = nullptr;
    host::WindowHandle window{};
};

MessageTarget& messageTarget() {
    static MessageTarget target;
    return target;
}

host::ApplicationServices* targetHost() {
    MessageTarget& t = messageTarget();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.host;
}

void postFinished() {
    MessageTarget& t = messageTarget();
    host::ApplicationServices* host = nullptr;
    host::WindowHandle window{};
    {
        std::lock_guard<std::mutex> guard(t.lock);
        host = t.host;
        window = t.window;
    }
    if (host != nullptr && window) host->postMessage(window, nestFinishedMessage, 0, 0);
}

bool stopRequested() {
    return nestStopRequested().load();
}

// The worker's search state. The best layout is the one published; its unplaced count travels
// with it (the current layout always places exactly as many instances as the best once a
// restart has been settled, so local moves compare on utilisation alone).
class Search {
  public:
    explicit Search(NestSession& session) : s_(session), t0_(Clock::now()) {}

    void run();

  private:
    double elapsed() const { return std::chrono::duration<double>(Clock::now() - t0_).count(); }
    double since(Clock::time_point t) const {
        return std::chrono::duration<double>(Clock::now() - t).count();
    }
    void publish(std::string_view state) {
        const double e = elapsed();
        writeProgressFile(s_, best_, state, e, bestUnplaced_);
        if (s_.onPublish) s_.onPublish(best_, std::string(state), e, bestUnplaced_);
    }
    void takeAsBest(double u, std::int32_t h, int unplaced) {
        best_ = s_.layout;
        bestUtil_ = u;
        bestHigh_ = h;
        bestUnplaced_ = unplaced;
    }
    void restart();
    void localMove(std::int64_t i);

    NestSession& s_;
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
    Clock::time_point lastProgress_;
    std::mt19937 gen_;
};

void Search::restart() {
    std::vector<int> shuffled = order_;
    std::shuffle(shuffled.begin(), shuffled.end(), gen_);
    s_.layout.clear();
    std::fill(usage_.begin(), usage_.end(), 0);
    const int n = greedyFill(s_.layout, usage_, shuffled, s_);
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
        publish("running");
        curUtil_ = u;
    } else if (n > bestUnplaced_) {
        s_.layout = best_;
        recountUsage(s_.layout, usage_);
        curUtil_ = bestUtil_;
    }
    lastImprovement_ = Clock::now();
}

void Search::localMove(std::int64_t i) {
    Layout& layout = s_.layout;
    if (layout.empty()) return;  // nothing to move: the iteration only counts
    saved_ = layout;
    const std::int32_t hBefore = highestRow(layout);
    bool ok = true;
    if (i % 7 == 0 && layout.size() >= 2) {
        SheetLayout last = std::move(layout.back());
        layout.pop_back();
        --usage_[last.stockIndex];
        for (const Placement& p : last.placements) {
            if (!placeInstance(layout, p.partIndex, s_, usage_, false)) {
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
            rebuildSheet(layout[sheet], s_);
            for (const Placement& p : taken) {
                if (!placeInstance(layout, p.partIndex, s_, usage_, false)) {
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
    if (equal && h <= hBefore) sideways = gen_() % 100 < 30;
    if (u < curUtil_ - 1e-9 || (!better && !sideways)) {
        std::swap(layout, saved_);
        recountUsage(layout, usage_);
        return;
    }
    curUtil_ = u;
    if (u > bestUtil_ + 1e-9 || (std::fabs(u - bestUtil_) <= 1e-9 && h < bestHigh_)) {
        takeAsBest(u, h, bestUnplaced_);
        lastImprovement_ = Clock::now();
    }
    if (since(lastProgress_) >= 0.3) {
        lastProgress_ = Clock::now();
        publish("running");
    }
}

void Search::run() {
    usage_.assign(s_.config.sheets.size(), 0);
    order_ = firstInstanceOrder(s_.parts);
    s_.angleStep = angleStepFor(order_.size());
    s_.layout.clear();
    const int first = greedyFill(s_.layout, usage_, order_, s_);
    s_.unplaced = first;
    curUtil_ = utilisation(s_.layout);
    takeAsBest(curUtil_, highestRow(s_.layout), first);
    s_.stats.firstLayoutSeconds = elapsed();
    publish("running");
    {
        std::string line = "NEST 首版 板=";
        detail::appendInt(line, static_cast<long long>(best_.size()));
        line += " 利用率=";
        detail::appendFixed(line, curUtil_ * 100.0, 6);
        line += "% 未放=";
        detail::appendInt(line, first);
        appendJobLog(LogChannel::Nest, line);
    }
    gen_.seed(s_.seed
                  ? *s_.seed
                  : static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                   Clock::now().time_since_epoch())
                                                   .count()));
    lastProgress_ = lastImprovement_ = Clock::now();
    std::int64_t i = 0;
    if (!stopRequested()) {
        while (s_.config.seconds > elapsed()) {
            ++i;
            if (i >= 5 && since(lastImprovement_) > 1.6 && s_.config.seconds - 0.8 > elapsed())
                restart();
            else
                localMove(i);
            if (stopRequested()) break;
        }
    }
    s_.layout = std::move(best_);
    best_ = s_.layout;  // publish() shows the final layout
    s_.unplaced = bestUnplaced_;
    s_.usedArea = 0.0;
    s_.sheetArea = 0.0;
    for (const SheetLayout& sheet : s_.layout) {
        s_.usedArea += sheet.usedArea;
        s_.sheetArea += sheet.width * sheet.height;
    }
    s_.utilisation = s_.sheetArea > 0.0 ? s_.usedArea / s_.sheetArea : 0.0;
    const bool stopped = stopRequested();
    s_.stats.iterations = i;
    s_.stats.stopped = stopped;
    s_.stats.seconds = elapsed();
    publish(stopped ? "stopped" : "done");
    std::string line = "NEST 优化结束 迭代=";
    detail::appendInt(line, i);
    line += " 板=";
    detail::appendInt(line, static_cast<long long>(s_.layout.size()));
    line += " 利用率=";
    detail::appendFixed(line, s_.utilisation * 100.0, 6);
    line += "%";
    appendJobLog(LogChannel::Nest, line);
}

}  // namespace

NestSession::~NestSession() {
    if (worker.joinable()) {
        if (worker.get_id() == std::this_thread::get_id())
            worker.detach();
        else
            worker.join();
    }
}

void applyPartCounts(const NestConfig& config, std::vector<NestPart>& parts) {
    for (NestPart& part : parts) {
        const auto count = config.partCounts.find(part.id);
        if (count != config.partCounts.end()) part.quantity = count->second;
        if (config.zeroCountIds.count(part.id) != 0) part.quantity = 0;
        if (part.quantity > 999) part.quantity = 999;
        if (part.quantity < 1) part.quantity = 0;
    }
}

void removeUnwantedKinds(std::vector<NestPart>& parts) {
    parts.erase(std::remove_if(parts.begin(), parts.end(),
                               [](const NestPart& p) { return p.quantity <= 0; }),
                parts.end());
}

void runNestSearch(NestSession& session) {
    Search(session).run();
}

bool startNestWorker(const std::shared_ptr<NestSession>& session) {
    if (!session || session->worker.joinable()) return false;  // one worker per session
    auto work = std::make_unique<host::BackgroundWork>(targetHost());
    try {
        session->worker = std::thread([session, work = std::move(work)]() mutable {
            runNestSearch(*session);
            postFinished();
            work.reset();
        });
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void setNestMessageTarget(host::ApplicationServices* host, host::WindowHandle window) {
    MessageTarget& t = messageTarget();
    std::lock_guard<std::mutex> guard(t.lock);
    t.host = host;
    t.window = host ? window : host::WindowHandle{};
}

std::atomic<bool>& nestJobActive() {
    static std::atomic<bool> active{false};
    return active;
}

std::mutex& currentNestSessionMutex() {
    static std::mutex mutex;
    return mutex;
}

namespace {
std::shared_ptr<NestSession>& slot() {
    static std::shared_ptr<NestSession> session;
    return session;
}
}  // namespace

std::shared_ptr<NestSession> currentNestSession() {
    std::lock_guard<std::mutex> guard(currentNestSessionMutex());
    return slot();
}

void setCurrentNestSession(std::shared_ptr<NestSession> session) {
    std::shared_ptr<NestSession> previous;
    {
        std::lock_guard<std::mutex> guard(currentNestSessionMutex());
        previous = std::exchange(slot(), std::move(session));
    }
    // `previous` is released outside the lock: its destructor may join a worker.
}

void clearCurrentNestSession(const std::shared_ptr<NestSession>& session) {
    std::shared_ptr<NestSession> previous;
    {
        std::lock_guard<std::mutex> guard(currentNestSessionMutex());
        if (slot() == session) previous = std::move(slot());
    }
    nestJobActive().store(false);
}

}  // namespace qks::nest
