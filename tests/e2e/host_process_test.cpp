// qkshost as a program: scripted sessions, serving until told to stop, and two hosts
// sharing one temporary folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "qks/testing/bridge_client.h"
#include "qks/testing/process.h"
#include "qks/testing/temp_dir.h"

#include "qks/contract/version.h"

// What the bridge and the version command report: the project's own version.
static const std::string kVersion{qks::contract::kProductVersion};
static const std::string kPong = "PONG " + kVersion;

namespace qks::testing {
namespace {

using namespace std::chrono_literals;

const std::string kHost = hostProgram();

std::vector<std::string> envFor(const TempDir& dir) {
    return hostEnvironment(dir.path());
}

ino_t inodeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

TEST(HostProcess, ScriptedSessionsEndWhenInputEnds) {
    TempDir dir;
    struct Case {
        std::vector<std::string> args;
        std::string stdinText;
        std::vector<std::string> expected;
    } cases[] = {
        {{kHost, "--no-stdin", "-c", "QKVER"},
         "",
         {"[QKS] Corvane Studio " + kVersion, "[QKS] 适配 AutoCAD 24"}},
        {{kHost, "--plugin", std::string(QKS_TEST_BIN_DIR) + "/libqks23.so", "-c", "qkver"},
         "\n",
         {"[QKS] 适配 AutoCAD 23"}},
        {{kHost},
         "QKVER\nfrobnicate\n",
         {"[QKS] Corvane Studio " + kVersion, "Unknown command \"frobnicate\"."}},
        {{kHost, "--no-plugin", "--no-stdin", "-c", "QKVER"}, "", {"Unknown command \"QKVER\"."}},
        {{kHost, "--no-stdin", "-c", "OPEN /nonexistent/a.dxf", "-c", "QUIT", "-c", "QKVER"},
         "",
         {"Cannot open /nonexistent/a.dxf"}},
    };
    for (const auto& c : cases) {
        ChildProcess host(c.args, dir.file("out.txt"), envFor(dir), c.stdinText);
        ASSERT_TRUE(host.started());
        if (c.stdinText.empty()) host.closeInput();
        EXPECT_EQ(host.wait(20s), 0) << host.output();
        const std::string output = host.output();
        for (const auto& line : c.expected)
            EXPECT_NE(output.find(line), std::string::npos) << output;
    }
    // QUIT ends the session before the lines after it.
    ChildProcess quitting({kHost, "--no-stdin", "-c", "QUIT", "-c", "QKVER"}, dir.file("q.txt"),
                          envFor(dir));
    EXPECT_EQ(quitting.wait(20s), 0);
    EXPECT_EQ(quitting.output().find("Corvane"), std::string::npos);
}

TEST(HostProcess, ServesUntilSignalledAndCleansUp) {
    const int signals[] = {SIGTERM, SIGINT};
    for (const int signalNumber : signals) {
        TempDir dir;
        const std::string socket = dir.file("qksstudio");
        ChildProcess host({kHost, "--no-stdin", "--serve"}, dir.file("out.txt"), envFor(dir));
        BridgeClient client;
        ASSERT_TRUE(client.connectWithin(socket, 10s));
        EXPECT_EQ(client.request("PING\n"), kPong);
        client.close();
        host.signal(signalNumber);
        EXPECT_EQ(host.wait(20s), 0) << host.output();
        EXPECT_EQ(inodeOf(socket), 0u) << "socket left behind";
    }
}

TEST(HostProcess, SecondHostLeavesTheFirstOnesBridgeAlone) {
    TempDir dir;
    const std::string socket = dir.file("qksstudio");
    ChildProcess first({kHost, "--no-stdin", "--serve"}, dir.file("first.txt"), envFor(dir));
    BridgeClient client;
    ASSERT_TRUE(client.connectWithin(socket, 10s));
    EXPECT_EQ(client.request("PING"), kPong);
    client.close();
    const ino_t firstSocket = inodeOf(socket);

    // The second host works (its commands run) but serves no bridge.
    ChildProcess second({kHost, "--serve", "-c", "QKVER"}, dir.file("second.txt"), envFor(dir));
    ASSERT_TRUE(
        eventually([&] { return second.output().find("Corvane Studio") != std::string::npos; }));
    second.signal(SIGTERM);
    EXPECT_EQ(second.wait(20s), 0);
    EXPECT_EQ(inodeOf(socket), firstSocket);
    ASSERT_TRUE(client.connect(socket));
    EXPECT_EQ(client.request("VERSION"), kVersion);
    client.close();
    first.signal(SIGTERM);
    EXPECT_EQ(first.wait(20s), 0);
}

TEST(HostProcess, StaleSocketOfAKilledHostIsReplaced) {
    TempDir dir;
    const std::string socket = dir.file("qksstudio");
    {
        ChildProcess killed({kHost, "--no-stdin", "--serve"}, dir.file("a.txt"), envFor(dir));
        BridgeClient client;
        ASSERT_TRUE(client.connectWithin(socket, 10s));
        client.close();
        killed.signal(SIGKILL);
        EXPECT_EQ(killed.wait(20s), 128 + SIGKILL);
    }
    ASSERT_NE(inodeOf(socket), 0u) << "a killed host leaves its socket";
    ChildProcess next({kHost, "--no-stdin", "--serve"}, dir.file("b.txt"), envFor(dir));
    BridgeClient client;
    ASSERT_TRUE(
        eventually([&] { return client.connect(socket) && client.request("PING") == kPong; }));
    client.close();
    next.signal(SIGTERM);
    EXPECT_EQ(next.wait(20s), 0);
}

}  // namespace
}  // namespace qks::testing
