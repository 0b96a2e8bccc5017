#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QLocalSocket>

#include <atomic>
#include <thread>

#include "qks/bridge/bridge.h"
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

class QLocalSocketBridge : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = host_.createMessageWindow(
            "QksStudioBridge", "QksStudioBridge",
            [this](host::WindowHandle w, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) {
                return bridge_.windowProcedure(w, m, wp, lp);
            });
        bridge_.setWindow(&host_, window_);
        BridgeJobs jobs;
        jobs.nest = [this](const std::string& path) { nestPaths_.push_back(path); };
        bridge_.setJobs(jobs);
        ASSERT_TRUE(bridge_.startBridge());
        for (int i = 0; i < 500 && !bridge_.bridgeListening(); ++i)
            std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(bridge_.bridgeListening());
    }
    void TearDown() override {
        bridge_.stopBridge();
        host_.destroyWindow(window_);
    }
    // The Studio's way: write, wait for bytes, read what is there.
    static QByteArray ask(QLocalSocket& socket, const QByteArray& request) {
        socket.write(request);
        socket.flush();
        if (!socket.waitForReadyRead(3000)) return "<no reply>";
        return socket.readAll();
    }

    qks::testing::TempDir dir_;
    qks::testing::ScopedTempFolder tmp_{dir_.path()};
    qkshost::HostApplication host_;
    std::atomic<bool> nestStop_{false};
    Bridge bridge_{nestStop_};
    host::WindowHandle window_;
    std::vector<std::string> nestPaths_;
};

TEST_F(QLocalSocketBridge, ProtocolThroughTheStudiosClient) {
    QLocalSocket socket;
    socket.connectToServer("qksstudio");
    ASSERT_TRUE(socket.waitForConnected(3000)) << socket.errorString().toStdString();
    struct Case {
        QByteArray request;
        QByteArray reply;
    } cases[] = {
        {"PING\r\n", QByteArray::fromStdString(kPong)},
        {"PING\n", QByteArray::fromStdString(kPong)},
        {"PING", QByteArray::fromStdString(kPong)},
        {"PING ", "ERR unknown"},
        {"NEST", "ERR unknown"},
        {"NEST ", "QUEUED"},
        {"PING\nPLOT", "ERR unknown"},
        {"NESTSTOP", "OK"},
        {"VERSION", QByteArray::fromStdString(kVersion)},
        {"NEST C:/Users/\xE5\xBC\xA0/qks_nest.cfg", "QUEUED"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ask(socket, c.request), c.reply) << c.request.toStdString();
    for (int i = 0; i < 200 && nestPaths_.size() < 2; ++i)
        host_.processEventsFor(10ms);
    ASSERT_EQ(nestPaths_.size(), 2u);
    EXPECT_EQ(nestPaths_.back(), "C:/Users/\xE5\xBC\xA0/qks_nest.cfg");
    socket.disconnectFromServer();

    // A new client after the first one closed.
    QLocalSocket next;
    next.connectToServer("qksstudio");
    ASSERT_TRUE(next.waitForConnected(3000));
    EXPECT_EQ(ask(next, "PING\n"), QByteArray::fromStdString(kPong));
}

TEST_F(QLocalSocketBridge, OversizedMessageDisconnectsWithoutReply) {
    QLocalSocket socket;
    socket.connectToServer("qksstudio");
    ASSERT_TRUE(socket.waitForConnected(3000));
    socket.write(QByteArray(40000, 'x'));
    socket.flush();
    socket.waitForBytesWritten(3000);
    const bool gotBytes = socket.waitForReadyRead(3000);
    EXPECT_TRUE(socket.readAll().isEmpty());
    (void)gotBytes;
    EXPECT_TRUE(socket.state() == QLocalSocket::UnconnectedState ||
                socket.waitForDisconnected(3000));
}

}  // namespace
}  // namespace qks

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
