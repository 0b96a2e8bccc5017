// The bridge over its real socket, with the real qkshost main-thread loop in-process.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <future>
#include <random>
#include <thread>
#include <vector>

#include "qks/bridge/bridge.h"
#include "qks/common/messages.h"
#include "qks/testing/bridge_client.h"
#include "qks/testing/temp_dir.h"
#include "qkshost/app/host_application.h"

#include "qks/contract/version.h"

// What the bridge and the version command report: the project's own version.
static const std::string kVersion{qks::contract::kProductVersion};
static const std::string kPong = "PONG " + kVersion;

namespace qks {
namespace {

using namespace std::chrono_literals;
using qks::testing::BridgeClient;

struct JobRun {
    std::string kind;
    std::string path;
    std::thread::id thread;
};

class BridgeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = host_.createMessageWindow(
            "QksStudioBridge", "QksStudioBridge",
            [this](host::WindowHandle w, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) {
                return bridge_.windowProcedure(w, m, wp, lp);
            });
        bridge_.setWindow(&host_, window_);
        BridgeJobs jobs;
        jobs.plotFiles = [this](const std::string& p) { record("plotfiles", p); };
        jobs.merge = [this](const std::string& p) { record("merge", p); };
        jobs.nest = [this](const std::string& p) { record("nest", p); };
        jobs.bom = [this](const std::string& p) { record("bom", p); };
        jobs.tools = [this](const std::string& p) { record("tools", p); };
        jobs.nestAdjust = [this](const std::string& p) { record("nestadjust", p); };
        jobs.nestFinished = [this] { record("nestfinished", ""); };
        bridge_.setJobs(jobs);
        ASSERT_TRUE(bridge_.startBridge());
        ASSERT_TRUE(waitListening());
    }
    void TearDown() override {
        bridge_.stopBridge();
        host_.destroyWindow(window_);
    }
    bool waitListening() {
        for (int i = 0; i < 500 && !bridge_.bridgeListening(); ++i)
            std::this_thread::sleep_for(10ms);
        return bridge_.bridgeListening();
    }
    void record(const std::string& kind, const std::string& path) {
        runs_.push_back({kind, path, std::this_thread::get_id()});
    }
    // Pumps the host's loop until `count` jobs ran (or a few seconds passed).
    void pumpUntil(std::size_t count) {
        for (int i = 0; i < 500 && runs_.size() < count; ++i)
            host_.processEventsFor(10ms);
    }

    qks::testing::TempDir dir_;
    qks::testing::ScopedTempFolder tmp_{dir_.path()};
    qkshost::HostApplication host_;
    std::atomic<bool> nestStop_{false};
    Bridge bridge_{nestStop_};
    host::WindowHandle window_;
    std::vector<JobRun> runs_;
};

TEST_F(BridgeTest, ProtocolTable) {
    struct Case {
        std::string request;
        std::string reply;
    } cases[] = {
        {"PING\r\n", kPong},
        {"PING\n", kPong},
        {"PING", kPong},
        {"PING\r\n\r\n", kPong},
        {"PING ", "ERR unknown"},
        {"ping", "ERR unknown"},
        {" PING", "ERR unknown"},
        {"VERSION\n", kVersion},
        {"NEST", "ERR unknown"},
        {"NEST ", "QUEUED"},
        {"NEST /tmp/qks_nest.cfg\n", "QUEUED"},
        {"PLOTFILES", "ERR unknown"},
        {"PLOTFILES /a b/c.cfg", "QUEUED"},
        {"MERGE ", "QUEUED"},
        {"BOM", "ERR unknown"},
        {"BOM /b.cfg", "QUEUED"},
        {"TOOLS", "ERR unknown"},
        {"TOOLS /t.cfg", "QUEUED"},
        {"NESTADJUST", "ERR unknown"},
        {"NESTADJUST /tmp/qks_nest_adjust.txt", "QUEUED"},
        {"PLOT", "QUEUED"},
        {"PLOT ", "ERR unknown"},
        {"NESTPICK", "QUEUED"},
        {"NESTSTOP", "OK"},
        {"PING\nPLOT", "ERR unknown"},
        {"\r\n", "ERR unknown"},
    };
    BridgeClient client;
    ASSERT_TRUE(client.connect(bridgeSocketPath()));
    for (const auto& c : cases)
        EXPECT_EQ(client.request(c.request), c.reply) << c.request;
}

TEST_F(BridgeTest, JobsRunOnTheMainThreadInPostingOrder) {
    BridgeClient client;
    ASSERT_TRUE(client.connect(bridgeSocketPath()));
    EXPECT_EQ(client.request("PLOTFILES /jobs/\xE5\x87\xBA\xE5\x9B\xBE.cfg"), "QUEUED");
    pumpUntil(1);
    EXPECT_EQ(client.request("MERGE /jobs/m.cfg"), "QUEUED");
    pumpUntil(2);
    EXPECT_EQ(client.request("NEST "), "QUEUED");
    pumpUntil(3);
    ASSERT_TRUE(host_.postMessage(window_, nestFinishedMessage, 0, 0));
    pumpUntil(4);
    EXPECT_EQ(client.request("BOM /jobs/b.cfg"), "QUEUED");
    pumpUntil(5);
    EXPECT_EQ(client.request("TOOLS /jobs/t.cfg"), "QUEUED");
    pumpUntil(6);
    EXPECT_EQ(client.request("NESTADJUST /jobs/套料图.qkslayout"), "QUEUED");
    pumpUntil(7);
    ASSERT_EQ(runs_.size(), 7u);
    const char* kinds[] = {"plotfiles", "merge", "nest",      "nestfinished",
                           "bom",       "tools", "nestadjust"};
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        EXPECT_EQ(runs_[i].kind, kinds[i]);
        EXPECT_EQ(runs_[i].thread, std::this_thread::get_id()) << "job ran off the main thread";
    }
    EXPECT_EQ(runs_[0].path, "/jobs/\xE5\x87\xBA\xE5\x9B\xBE.cfg");
    EXPECT_EQ(runs_[2].path, "");  // the job falls back to its default config
    EXPECT_EQ(runs_[6].path, "/jobs/套料图.qkslayout");
}

TEST_F(BridgeTest, TheLastRequestOfAKindWins) {
    BridgeClient client;
    ASSERT_TRUE(client.connect(bridgeSocketPath()));
    EXPECT_EQ(client.request("NEST /first.cfg"), "QUEUED");
    EXPECT_EQ(client.request("NEST /second.cfg"), "QUEUED");
    EXPECT_EQ(client.request("MERGE /m\xFF.cfg"), "QUEUED");
    pumpUntil(3);
    ASSERT_EQ(runs_.size(), 3u);
    EXPECT_EQ(runs_[0].path, "/second.cfg");
    EXPECT_EQ(runs_[1].path, "/second.cfg");
    EXPECT_EQ(runs_[2].path, "/m\xEF\xBF\xBD.cfg");  // invalid UTF-8 arrives as U+FFFD
    EXPECT_EQ(bridge_.pendingPaths().nest, "/second.cfg");
}

TEST_F(BridgeTest, NestStopSetsTheFlagWithNoJobRunning) {
    BridgeClient client;
    ASSERT_TRUE(client.connect(bridgeSocketPath()));
    EXPECT_EQ(client.request("NESTSTOP"), "OK");
    EXPECT_TRUE(nestStop_.load());
}

TEST_F(BridgeTest, DocumentCommandsNeedTheirCommandAndADocument) {
    // Without the plot and pick commands in this build, nothing is typed anywhere.
    host_.newDocument();
    std::string output;
    host_.setOutputSink([&](std::string_view text) { output += text; });
    BridgeClient client;
    ASSERT_TRUE(client.connect(bridgeSocketPath()));
    EXPECT_EQ(client.request("PLOT"), "QUEUED");
    EXPECT_EQ(client.request("NESTPICK"), "QUEUED");
    for (int i = 0; i < 20; ++i)
        host_.processEventsFor(5ms);
    EXPECT_EQ(output, "");
    // With the command present, it is typed into the current document.
    int plots = 0;
    ASSERT_TRUE(host_.addCommand("T", "QKPLOT", "QKPLOT", 0, [&] { ++plots; }));
    BridgeJobs jobs;
    jobs.plotCommand = true;
    bridge_.setJobs(jobs);
    EXPECT_EQ(client.request("PLOT"), "QUEUED");
    for (int i = 0; i < 100 && plots == 0; ++i)
        host_.processEventsFor(10ms);
    EXPECT_EQ(plots, 1);
}

TEST_F(BridgeTest, ClientsComeAndGoOneAtATime) {
    BridgeClient first;
    ASSERT_TRUE(first.connect(bridgeSocketPath()));
    EXPECT_EQ(first.request("PING"), kPong);
    // A second client while the first is served is refused at once.
    BridgeClient second;
    ASSERT_TRUE(second.connect(bridgeSocketPath()));
    bool closed = false;
    second.receive(&closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(first.request("VERSION"), kVersion);
    first.close();
    BridgeClient third;
    ASSERT_TRUE(third.connect(bridgeSocketPath()));
    EXPECT_EQ(third.request("PING"), kPong);
}

TEST_F(BridgeTest, OversizedMessageDisconnectsWithoutReply) {
    BridgeClient client;
    ASSERT_TRUE(client.connect(bridgeSocketPath()));
    EXPECT_EQ(client.request(std::string(32767, 'A')), "ERR unknown");
    EXPECT_EQ(client.request("NEST /" + std::string(32761, 'p')), "QUEUED");
    ASSERT_TRUE(client.send(std::string(40000, 'A')));
    bool closed = false;
    EXPECT_EQ(client.receive(&closed), "");
    EXPECT_TRUE(closed);
    BridgeClient next;
    ASSERT_TRUE(next.connect(bridgeSocketPath()));
    EXPECT_EQ(next.request("PING"), kPong);
}

TEST_F(BridgeTest, StopReturnsPromptlyWhileAnIdleClientStaysConnected) {
    BridgeClient idle;
    ASSERT_TRUE(idle.connect(bridgeSocketPath()));
    EXPECT_EQ(idle.request("PING"), kPong);
    auto stopped = std::async(std::launch::async, [this] { bridge_.stopBridge(); });
    EXPECT_EQ(stopped.wait_for(1s), std::future_status::ready);
    stopped.wait();
    EXPECT_FALSE(bridge_.bridgeRunning());
    struct stat info {};
    EXPECT_NE(::lstat(bridgeSocketPath().c_str(), &info), 0) << "socket file left behind";
    // Start and stop are idempotent, and a restarted bridge serves again.
    bridge_.stopBridge();
    ASSERT_TRUE(bridge_.startBridge());
    ASSERT_TRUE(bridge_.startBridge());
    ASSERT_TRUE(waitListening());
    BridgeClient again;
    ASSERT_TRUE(again.connect(bridgeSocketPath()));
    EXPECT_EQ(again.request("PING"), kPong);
}

TEST_F(BridgeTest, SocketIsPrivateToTheUser) {
    struct stat info {};
    ASSERT_EQ(::lstat(bridgeSocketPath().c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(BridgeTest, ManyConnectionsLoseNoReplyAndLeakNoDescriptor) {
    // Warm up once so lazily opened descriptors do not count as leaks.
    {
        BridgeClient warm;
        ASSERT_TRUE(warm.connect(bridgeSocketPath()));
        ASSERT_EQ(warm.request("PING"), kPong);
    }
    std::this_thread::sleep_for(50ms);
    const int before = qks::testing::openDescriptorCount();
    int replies = 0;
    for (int c = 0; c < 100; ++c) {
        BridgeClient client;
        ASSERT_TRUE(client.connectWithin(bridgeSocketPath(), 2s));
        for (int i = 0; i < 100; ++i) {
            const bool ping = (i % 3) != 0;
            const std::string reply = client.request(ping ? "PING\n" : "VERSION");
            EXPECT_EQ(reply, ping ? kPong : kVersion);
            replies += reply.empty() ? 0 : 1;
        }
        client.close();
        // The server lets go of a client as soon as it hangs up: the next one is served.
        BridgeClient next;
        ASSERT_TRUE(next.connect(bridgeSocketPath()));
        EXPECT_EQ(next.request("PING"), kPong);
    }
    EXPECT_EQ(replies, 100 * 100);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(qks::testing::openDescriptorCount(), before);
}

TEST_F(BridgeTest, RandomBytesNeitherCrashNorHangTheServer) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> size(1, 32767), byte(0, 255);
    for (int i = 0; i < 10000; ++i) {
        std::string message(
            static_cast<std::size_t>(i % 10 == 0 ? size(random) : size(random) % 64), '\0');
        for (char& c : message)
            c = static_cast<char>(byte(random));
        BridgeClient client;
        ASSERT_TRUE(client.connectWithin(bridgeSocketPath(), 2s)) << i;
        ASSERT_TRUE(client.send(message)) << i;
        client.shutdownWrite();
        // Read replies until the server hangs up; it must never stall.
        for (int guard = 0; guard < 8; ++guard) {
            bool closed = false;
            const std::string reply = client.receive(&closed);
            ASSERT_NE(reply, "<timeout>") << i;
            if (closed) break;
        }
    }
    BridgeClient client;
    ASSERT_TRUE(client.connectWithin(bridgeSocketPath(), 2s));
    EXPECT_EQ(client.request("PING"), kPong);
}

// The socket name is shared by every host of the user: a stale one is replaced, anything
// else is left alone and the bridge stays off.
TEST(BridgeSocketFile, StaleSocketIsReplacedForeignFileIsKept) {
    qks::testing::TempDir dir;
    qks::testing::ScopedTempFolder tmp(dir.path());
    std::atomic<bool> nestStop{false};
    Bridge bridge(nestStop);
    {
        // A socket left by a killed host: bound, never unlinked, nobody listening.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, bridgeSocketPath().c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    ASSERT_TRUE(bridge.startBridge());
    for (int i = 0; i < 500 && !bridge.bridgeListening(); ++i)
        std::this_thread::sleep_for(10ms);
    BridgeClient client;
    ASSERT_TRUE(client.connect(bridgeSocketPath()));
    EXPECT_EQ(client.request("PING"), kPong);
    client.close();
    bridge.stopBridge();

    const std::string path = dir.write("qksstudio", "not a socket");
    ASSERT_TRUE(bridge.startBridge());
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(bridge.bridgeListening());
    bridge.stopBridge();
    EXPECT_EQ(qks::testing::readAll(path), "not a socket");
}

}  // namespace
}  // namespace qks
