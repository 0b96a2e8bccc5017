#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>

#include "polygon_check.h"
#include "qks/common/job_log.h"
#include "qks/common/messages.h"
#include "qks/host/host.h"
#include "qks/nest/progress.h"
#include "qks/nest/runtime.h"
#include "qks/nest/session.h"
#include "qks/testing/process.h"
#include "qks/testing/temp_dir.h"

namespace qks::nest {
namespace {

using testing::checkLayout;
using testing::discPart;
using testing::lPart;
using testing::rectanglePart;

// Stands in for the host's message window only: records posts and the background-work count.
class RecordingHost : public host::ApplicationServices {
  public:
    struct Event {
        std::string what;
        std::uint32_t message = 0;
        std::uintptr_t wParam = 0;
        std::intptr_t lParam = 0;
        std::uint64_t window = 0;
    };
    std::vector<Event> events() {
        std::lock_guard<std::mutex> guard(lock_);
        return events_;
    }
    bool postMessage(host::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                     std::intptr_t lParam) override {
        record({"post", message, wParam, lParam, window.value});
        return true;
    }
    void beginBackgroundWork() override { record({"begin"}); }
    void endBackgroundWork() override { record({"end"}); }

    bool addCommand(std::string_view, std::string_view, std::string_view, int,
                    host::CommandFunction) override {
        return false;
    }
    void removeCommandGroup(std::string_view) override {}
    void print(std::string_view) override {}
    host::DocumentId currentDocument() override { return {}; }
    std::string documentFileName(host::DocumentId) override { return {}; }
    bool sendStringToExecute(host::DocumentId, std::string_view, bool, bool, bool) override {
        return false;
    }
    bool executeInApplicationContext(std::function<void()>) override { return false; }
    void setDrawingWindow(const std::string&) override {}
    bool answerPrompt(std::uint64_t, std::string_view) override { return false; }
    host::WindowHandle createMessageWindow(std::string_view, std::string_view,
                                           host::WindowProcedure) override {
        return {};
    }
    bool destroyWindow(host::WindowHandle) override { return false; }
    std::string modulePath(const void*) override { return {}; }
    host::StartResult startProgram(const std::string&, const std::string&) override { return {}; }

  private:
    void record(Event e) {
        std::lock_guard<std::mutex> guard(lock_);
        events_.push_back(std::move(e));
    }
    std::mutex lock_;
    std::vector<Event> events_;
};

struct Publication {
    std::string state;
    int unplaced = 0;
    double utilisation = 0;
    std::int32_t highRow = 0;
    std::size_t placed = 0;
    std::string fileState;  // what the progress file said right after
    int fileUnplaced = -1;
};

// A session over a temporary progress file, recording every publication on the worker thread.
struct WatchedRun {
    qks::testing::TempDir dir;
    std::shared_ptr<NestSession> session;
    std::mutex lock;
    std::vector<Publication> published;

    WatchedRun(NestRuntime& runtime, std::vector<NestPart> parts, std::vector<SheetStock> sheets,
               double seconds)
        : session(runtime.newSession()) {
        NestSession& s = *session;
        s.parts = std::move(parts);
        s.config.sheets = std::move(sheets);
        s.config.seconds = seconds;
        s.progressFilePath = dir.file("qks_nest_progress.txt");
        s.seed = 12345;
        s.onPublish = [this](const Layout& layout, const std::string& state, double, int unplaced) {
            const ProgressFile file =
                parseProgressText(qks::testing::readAll(session->progressFilePath));
            std::lock_guard<std::mutex> guard(lock);
            published.push_back({state, unplaced, utilisation(layout), highestRow(layout),
                                 placementCount(layout), file.state, file.unplaced});
        };
    }
    std::size_t instances() const {
        std::size_t n = 0;
        for (const NestPart& p : session->parts)
            n += p.quantity;
        return n;
    }
};

// The published layout never gets worse: fewer unplaced first, then utilisation, then the
// highest row.
void expectNeverWorse(const std::vector<Publication>& list) {
    for (std::size_t i = 1; i < list.size(); ++i) {
        const Publication& a = list[i - 1];
        const Publication& b = list[i];
        EXPECT_LE(b.unplaced, a.unplaced) << "publication " << i;
        if (b.unplaced != a.unplaced) continue;
        EXPECT_GE(b.utilisation, a.utilisation - 1e-9) << "publication " << i;
        if (std::fabs(b.utilisation - a.utilisation) <= 1e-9) {
            EXPECT_LE(b.highRow, a.highRow) << "publication " << i;
        }
    }
}

// The progress file and the session totals describe the same layout.
void expectFileMatchesSession(const NestSession& s) {
    const ProgressFile file = parseProgressText(qks::testing::readAll(s.progressFilePath));
    ASSERT_EQ(file.sheets.size(), s.layout.size());
    for (std::size_t k = 0; k < s.layout.size(); ++k) {
        ASSERT_EQ(file.sheets[k].placements.size(), s.layout[k].placements.size());
        EXPECT_EQ(file.sheets[k].width, s.layout[k].width);
        for (std::size_t j = 0; j < s.layout[k].placements.size(); ++j) {
            const Placement& a = file.sheets[k].placements[j];
            const Placement& b = s.layout[k].placements[j];
            EXPECT_EQ(a.partId, b.partId);
            EXPECT_EQ(a.angle, b.angle);
            EXPECT_EQ(a.mirrored, b.mirrored);
            EXPECT_EQ(a.column, b.column);
            EXPECT_EQ(a.row, b.row);
        }
    }
    EXPECT_EQ(file.unplaced, s.unplaced);
    EXPECT_NEAR(file.utilisationPercent, s.utilisation * 100, 0.0051);
    EXPECT_NEAR(s.utilisation, utilisation(s.layout), 1e-12);
}

class NestSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        runtime_.nestStopRequested().store(false);
        setJobLogPath(LogChannel::Nest, log_.file("qks_nest.log"));
        resetJobLog(LogChannel::Nest);
    }
    void TearDown() override {
        runtime_.nestStopRequested().store(false);
        runtime_.setNestMessageTarget(nullptr, {});
        setJobLogPath(LogChannel::Nest, "");
    }
    std::string log() { return qks::testing::readAll(log_.file("qks_nest.log")); }
    qks::testing::TempDir log_;
    NestRuntime runtime_;
};

TEST_F(NestSessionTest, WorkerRunsToItsLimitAndPostsWhenDone) {
    RecordingHost host;
    runtime_.setNestMessageTarget(&host, host::WindowHandle{77});
    WatchedRun run(runtime_,
                   {rectanglePart(1, 400, 300, 6), lPart(2, 500, 400, 4), discPart(3, 150, 40, 5),
                    rectanglePart(4, 1200, 30, 3)},
                   {{2000, 1000, 0}, {1500, 1500, 2}},
                   3.0);  // room for iterations under sanitizers
    ASSERT_TRUE(runtime_.startNestWorker(run.session));
    run.session->worker.join();
    const NestSession& s = *run.session;

    const auto events = host.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].what, "begin");
    EXPECT_EQ(events[1].what, "post");
    EXPECT_EQ(events[1].message, nestFinishedMessage);
    EXPECT_EQ(events[1].wParam, 0u);
    EXPECT_EQ(events[1].lParam, 0);
    EXPECT_EQ(events[1].window, 77u);
    EXPECT_EQ(events[2].what, "end") << "the host keeps running until the post is made";

    EXPECT_GT(s.stats.iterations, 0);
    EXPECT_EQ(s.angleStep, 5);
    EXPECT_FALSE(s.stats.stopped);
    ASSERT_GE(run.published.size(), 2u);
    EXPECT_EQ(run.published.front().state, "running");
    EXPECT_EQ(run.published.back().state, "done");
    for (const Publication& p : run.published) {
        EXPECT_EQ(p.fileState, p.state);
        EXPECT_EQ(p.fileUnplaced, p.unplaced);
        EXPECT_EQ(p.unplaced + p.placed, run.instances()) << "a layout's own count";
    }
    expectNeverWorse(run.published);
    expectFileMatchesSession(s);
    EXPECT_EQ(s.unplaced + placementCount(s.layout), run.instances());
    checkLayout(s.parts, s.config, s.layout, "worker");

    const std::string text = log();
    const auto first = text.find("NEST 首版 板=");
    const auto last = text.find("NEST 优化结束 迭代=");
    ASSERT_NE(first, std::string::npos) << text;
    ASSERT_NE(last, std::string::npos) << text;
    EXPECT_LT(first, last);
    EXPECT_NE(text.find(" 利用率="), std::string::npos);
    EXPECT_NE(text.find("% 未放="), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(NestSessionTest, WithoutAMessageTargetNothingIsPosted) {
    RecordingHost host;
    runtime_.setNestMessageTarget(&host, host::WindowHandle{0});  // no window: nothing to post to
    WatchedRun run(runtime_, {rectanglePart(1, 100, 100, 2)}, {{1000, 1000, 0}}, 1.0);
    run.session->config.seconds = 0.01;
    ASSERT_TRUE(runtime_.startNestWorker(run.session));
    run.session->worker.join();
    const auto events = host.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].what, "begin");
    EXPECT_EQ(events[1].what, "end");
    runtime_.setNestMessageTarget(nullptr, host::WindowHandle{5});
    WatchedRun again(runtime_, {rectanglePart(1, 100, 100, 2)}, {{1000, 1000, 0}}, 1.0);
    again.session->config.seconds = 0.01;
    ASSERT_TRUE(runtime_.startNestWorker(again.session));
    again.session->worker.join();
    EXPECT_EQ(host.events().size(), 2u);
}

TEST_F(NestSessionTest, StopBeforeOrDuringTheFirstFill) {
    // Stopped before the first instance: the empty layout is the first version, no iteration.
    {
        WatchedRun run(runtime_, {rectanglePart(1, 100, 100, 20)}, {{1000, 1000, 0}}, 20);
        runtime_.nestStopRequested().store(true);
        runNestSearch(*run.session);
        ASSERT_EQ(run.published.size(), 2u);
        EXPECT_EQ(run.published[0].state, "running");
        EXPECT_EQ(run.published[1].state, "stopped");
        EXPECT_EQ(run.session->stats.iterations, 0);
        EXPECT_EQ(run.session->unplaced, 0) << "instances not tried are not unplaced";
        EXPECT_TRUE(run.session->layout.empty());
        expectFileMatchesSession(*run.session);
        EXPECT_NE(log().find("NEST 优化结束 迭代=0 板=0 利用率=0.000000%"), std::string::npos)
            << log();
    }
    // Stopped from another thread while a large first fill runs.
    {
        runtime_.nestStopRequested().store(false);
        std::vector<NestPart> parts;
        for (int k = 0; k < 12; ++k)
            parts.push_back(lPart(k + 1, 120 + 17 * k, 90 + 11 * k, 60));
        WatchedRun run(runtime_, parts, {{3000, 1500, 0}}, 600);
        ASSERT_TRUE(runtime_.startNestWorker(run.session));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        runtime_.nestStopRequested().store(true);
        run.session->worker.join();
        const NestSession& s = *run.session;
        EXPECT_TRUE(s.stats.stopped);
        EXPECT_EQ(run.published.back().state, "stopped");
        EXPECT_LT(s.stats.seconds, 60);
        if (run.published.size() == 2) {
            EXPECT_EQ(s.stats.iterations, 0);
        }
        expectFileMatchesSession(s);
        checkLayout(s.parts, s.config, s.layout, "stopped");
    }
}

// The dense search's lanes are threads of their own: a stop reaches them while they remove
// overlaps, and the worker ends soon after with the best layout, whole and published.
TEST_F(NestSessionTest, DenseSearchAnswersAStopUnderLoad) {
    runtime_.nestStopRequested().store(false);
    std::vector<NestPart> parts;
    for (int k = 0; k < 8; ++k)
        parts.push_back(lPart(k + 1, 150 + 23 * k, 110 + 13 * k, 25));
    parts.push_back(discPart(20, 90, 40, 30));
    WatchedRun run(runtime_, parts, {{2000, 1000, 0}, {1200, 800, 0}}, 600);
    run.session->config.strategy = NestStrategy::Dense;
    run.session->config.threads = 3;
    run.session->config.partInPart = true;
    ASSERT_TRUE(runtime_.startNestWorker(run.session));
    ASSERT_TRUE(qks::testing::eventually(
        [&] {
            std::lock_guard<std::mutex> guard(run.lock);
            return !run.published.empty();
        },
        std::chrono::seconds(60)));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    const auto stop = std::chrono::steady_clock::now();
    runtime_.nestStopRequested().store(true);
    run.session->worker.join();
    const double answer =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - stop).count();
    // 0.2 s on a release build; sanitizers slow every step of the lanes down.
    EXPECT_LT(answer, 2.0);
    const NestSession& s = *run.session;
    EXPECT_TRUE(s.stats.stopped);
    EXPECT_EQ(run.published.back().state, "stopped");
    EXPECT_EQ(s.unplaced, 0);
    EXPECT_EQ(placementCount(s.layout), run.instances());
    expectFileMatchesSession(s);
    checkLayout(s.parts, s.config, s.layout, "dense stopped");
}

TEST_F(NestSessionTest, NoIterationWhenTheLimitHasPassedAfterTheFirstLayout) {
    WatchedRun run(runtime_, {rectanglePart(1, 300, 200, 5)}, {{1000, 1000, 0}}, 20);
    run.session->config.seconds = 1e-6;
    runNestSearch(*run.session);
    EXPECT_EQ(run.session->stats.iterations, 0);
    ASSERT_EQ(run.published.size(), 2u);
    EXPECT_EQ(run.published[1].state, "done");
    EXPECT_NE(log().find("NEST 优化结束 迭代=0 板=1"), std::string::npos) << log();
    expectFileMatchesSession(*run.session);
}

TEST_F(NestSessionTest, NothingPlaceableKeepsCountingWithoutMoves) {
    WatchedRun run(runtime_, {rectanglePart(1, 5000, 5000, 3)}, {{1000, 1000, 0}}, 20);
    run.session->config.seconds = 0.05;
    runNestSearch(*run.session);
    EXPECT_TRUE(run.session->layout.empty());
    EXPECT_EQ(run.session->unplaced, 3);
    EXPECT_EQ(run.published.back().unplaced, 3);
    expectFileMatchesSession(*run.session);
}

// Limited stock where the largest-first layout leaves eight small parts off, while any restart
// that begins with a small part places all of them (and leaves the big one off) at a much lower
// utilisation. The layout with fewer unplaced instances must become the best, and the count
// published with a layout must be that layout's own.
TEST_F(NestSessionTest, ARestartPlacingMoreInstancesBecomesTheBest) {
    std::vector<NestPart> parts{rectanglePart(1, 950, 950, 1), rectanglePart(2, 300, 300, 8)};
    int morePlaced = 0;
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        WatchedRun run(runtime_, parts, {{1000, 1000, 1}}, 2.5);
        NestSession& s = *run.session;
        s.config.gap = 0;
        s.config.margin = 0;
        s.config.cell = 10;
        s.config.rotate = false;
        s.config.mirror = false;
        s.seed = seed;
        // Restarts sooner than the product does, so a loaded machine still sees several within
        // the time limit.
        s.tuning.restartAfterSeconds = 0.4;
        runNestSearch(s);
        ASSERT_FALSE(run.published.empty());
        EXPECT_EQ(run.published.front().unplaced, 8) << "first layout: the big part only";
        EXPECT_GE(s.stats.restarts, 1);
        for (const Publication& p : run.published) {
            EXPECT_EQ(p.unplaced + p.placed, run.instances()) << "seed " << seed;
            EXPECT_EQ(p.fileUnplaced, p.unplaced);
        }
        expectNeverWorse(run.published);
        expectFileMatchesSession(s);
        EXPECT_EQ(s.unplaced + placementCount(s.layout), run.instances());
        checkLayout(s.parts, s.config, s.layout, "restart");
        // One restart shuffles nine instances; the big one comes first one time in nine.
        if (s.layout.size() == 1 && s.layout[0].placements.size() == 8) {
            EXPECT_EQ(s.unplaced, 1);
            EXPECT_LT(s.utilisation, 0.9);
            ++morePlaced;
        }
    }
    EXPECT_GE(morePlaced, 1) << "no seed produced the situation";
}

TEST_F(NestSessionTest, RandomJobsPublishOnlyImprovementsAndEndConsistent) {
    std::mt19937 gen(99);
    for (int round = 0; round < 6; ++round) {
        const bool limited = round % 2 == 0;
        WatchedRun run(runtime_, testing::randomParts(gen, 5 + round, 6, 500, 2),
                       {{1500, 1000, limited ? 2 : 0}, {1200, 800, limited ? 1 : 0}}, 1);
        NestSession& s = *run.session;
        s.config.seconds = 0.4;
        s.config.gap = round % 3 == 0 ? 0 : 6;
        s.seed = 1000 + round;
        runNestSearch(s);
        const std::string what = "round " + std::to_string(round);
        ASSERT_GE(run.published.size(), 2u) << what;
        EXPECT_EQ(run.published.back().state, "done") << what;
        for (const Publication& p : run.published) {
            EXPECT_EQ(p.unplaced + p.placed, run.instances()) << what;
            EXPECT_EQ(p.fileState, p.state) << what;
            EXPECT_EQ(p.fileUnplaced, p.unplaced) << what;
        }
        expectNeverWorse(run.published);
        expectFileMatchesSession(s);
        checkLayout(s.parts, s.config, s.layout, what.c_str());
    }
}

TEST(NestSessionState, PartCountsAndTheSessionSlot) {
    NestConfig config;
    config.partCounts = {{1, 5000}, {2, 0}, {3, -4}, {4, 7}};
    config.zeroCountIds = {2, 3};
    std::vector<NestPart> parts{rectanglePart(1, 10, 10, 1), rectanglePart(2, 10, 10, 3),
                                rectanglePart(3, 10, 10, 3), rectanglePart(4, 10, 10, 1),
                                rectanglePart(5, 10, 10, 2), rectanglePart(6, 10, 10, 1200)};
    applyPartCounts(config, parts);
    std::vector<int> quantities;
    for (const NestPart& p : parts)
        quantities.push_back(p.quantity);
    EXPECT_EQ(quantities, (std::vector<int>{999, 0, 0, 7, 2, 999}));
    removeUnwantedKinds(parts);
    std::vector<int> ids;
    for (const NestPart& p : parts)
        ids.push_back(p.id);
    EXPECT_EQ(ids, (std::vector<int>{1, 4, 5, 6}));

    NestRuntime runtime;
    auto a = std::make_shared<NestSession>();
    auto b = std::make_shared<NestSession>();
    runtime.nestJobActive().store(true);
    runtime.setCurrentNestSession(a);
    EXPECT_EQ(runtime.currentNestSession(), a);
    runtime.clearCurrentNestSession(b);
    EXPECT_EQ(runtime.currentNestSession(), a) << "another session leaves the slot alone";
    EXPECT_FALSE(runtime.nestJobActive().load());
    runtime.clearCurrentNestSession(a);
    EXPECT_EQ(runtime.currentNestSession(), nullptr);
}

TEST_F(NestSessionTest, TheWorkerMayHoldTheLastReference) {
    qks::testing::TempDir dir;
    std::weak_ptr<NestSession> watch;
    {
        auto session = std::make_shared<NestSession>();
        session->parts = {rectanglePart(1, 100, 100, 3)};
        session->config.sheets = {{1000, 1000, 0}};
        session->config.seconds = 0.2;
        session->progressFilePath = dir.file("p.txt");
        ASSERT_TRUE(runtime_.startNestWorker(session));
        watch = session;
    }  // the worker's own reference keeps the session alive, and ends it
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!watch.expired() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace qks::nest
