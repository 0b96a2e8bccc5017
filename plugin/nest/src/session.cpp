#include "qks/nest/session.h"

#include <algorithm>
#include <string>

#include "qks/common/job_log.h"
#include "qks/contract/config_keys.h"
#include "qks/nest/progress.h"
#include "text_format.h"

namespace qks::nest {
namespace {

// Writes what the search publishes: the progress file, the session's own observer and the job
// log's two lines.
class SessionObserver final : public SearchObserver {
  public:
    explicit SessionObserver(NestSession& session) : s_(session) {}

    void published(const Layout& layout, contract::JobState state, double elapsed,
                   int unplaced) override {
        const std::string_view word = contract::jobStateWord(state);
        writeProgressFile(s_, layout, word, elapsed, unplaced);
        if (s_.onPublish) s_.onPublish(layout, std::string(word), elapsed, unplaced);
    }

    void firstLayout(const Layout& layout, double utilisation, int unplaced) override {
        std::string line = "NEST 首版 板=";
        detail::appendInt(line, static_cast<long long>(layout.size()));
        line += " 利用率=";
        detail::appendFixed(line, utilisation * 100.0, 6);
        line += "% 未放=";
        detail::appendInt(line, unplaced);
        appendJobLog(LogChannel::Nest, line);
    }

    void finished(const NestOutcome& outcome) override {
        std::string line = "NEST 优化结束 迭代=";
        detail::appendInt(line, outcome.stats.iterations);
        line += " 板=";
        detail::appendInt(line, static_cast<long long>(outcome.layout.size()));
        line += " 利用率=";
        detail::appendFixed(line, outcome.utilisation * 100.0, 6);
        line += "%";
        appendJobLog(LogChannel::Nest, line);
    }

  private:
    NestSession& s_;
};

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
        if (part.quantity > contract::kQuantityCap) part.quantity = contract::kQuantityCap;
        if (part.quantity < 1) part.quantity = 0;
    }
}

void removeUnwantedKinds(std::vector<NestPart>& parts) {
    parts.erase(std::remove_if(parts.begin(), parts.end(),
                               [](const NestPart& p) { return p.quantity <= 0; }),
                parts.end());
}

void runNestSearch(NestSession& session) {
    SessionObserver observer(session);
    runSearch(session, session, observer);
}

}  // namespace qks::nest
