// The bridge client against a real local server on its own thread.
#include <gtest/gtest.h>

#include <QLocalSocket>

#include "qks/studio/bridge.h"
#include "test_support.h"

using namespace qks::studio;
using qks::studio::test::BridgeServer;

namespace {

BridgeServer::Reply fixed(std::optional<QByteArray> answer) {
    return [answer](const QByteArray&) { return answer; };
}

TEST(Bridge, LinkViews) {
    const struct {
        LinkState state;
        std::optional<QString> version;
        bool connected;
        const char* text;
    } cases[] = {
        {LinkState::Initial, std::nullopt, false, "未连接 qkshost"},
        {LinkState::Connecting, std::nullopt, false, "正在连接..."},
        {LinkState::Connected, QStringLiteral("4.4.0"), true, "已连接 qkshost · 4.4.0"},
        {LinkState::Connected, QString(), true, "已连接 qkshost · "},
        {LinkState::Connected, std::nullopt, true, "已连接 qkshost"},
        {LinkState::Unreachable, std::nullopt, false, "未连接 qkshost（主机未启动）"},
        {LinkState::Disconnected, std::nullopt, false, "连接已断开"},
    };
    for (const auto& c : cases) {
        const LinkView view = linkView(c.state, c.version);
        EXPECT_EQ(view.connected, c.connected);
        EXPECT_EQ(view.text, QString::fromUtf8(c.text));
    }
    EXPECT_EQ(dotStyle(true), QStringLiteral("background:#35C07A;border-radius:4px;"));
    EXPECT_EQ(dotStyle(false), QStringLiteral("background:#6B7688;border-radius:4px;"));
    EXPECT_EQ(connectCaption(true), QStringLiteral("重新连接"));
    EXPECT_EQ(connectCaption(false), QStringLiteral("连接 qkshost"));
}

TEST(Bridge, NoServerMeansNoConnection) {
    QLocalSocket socket;
    EXPECT_FALSE(connectBridge(&socket, kConnectWaitMs));
    const NestReply reply = sendNestCommand(&socket, QStringLiteral("NESTPICK"));
    EXPECT_FALSE(reply.accepted);
    EXPECT_EQ(reply.logLine, kNotConnectedNestLine);
    EXPECT_EQ(sendNestCommand(nullptr, QStringLiteral("NESTSTOP")).logLine, kNotConnectedNestLine);

    // The same socket connects once the bridge is up.
    BridgeServer server(BridgeServer::pluginLike);
    EXPECT_TRUE(connectBridge(&socket, kConnectWaitMs)) << socket.errorString().toStdString();
    EXPECT_EQ(handshake(&socket), QStringLiteral("4.4.0"));
}

TEST(Bridge, HandshakeReplies) {
    const struct {
        std::optional<QByteArray> answer;
        std::optional<QString> version;
    } cases[] = {
        {QByteArray("PONG 4.4.0"), QStringLiteral("4.4.0")},
        {QByteArray("PONG 4.4.0\r\n"), QStringLiteral("4.4.0")},
        {QByteArray("PONG"), QString()},
        {QByteArray("PONG  版本 5 "), QStringLiteral("版本 5")},
        {QByteArray("ERR unknown"), std::nullopt},
        {std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        BridgeServer server(fixed(c.answer));
        QLocalSocket socket;
        ASSERT_TRUE(connectBridge(&socket, kConnectWaitMs));
        EXPECT_EQ(handshake(&socket), c.version);
        EXPECT_EQ(server.received(), QList<QByteArray>({"PING\n"}));
    }
}

TEST(Bridge, JobRepliesAcceptOnlyQueued) {
    const struct {
        std::optional<QByteArray> answer;
        std::optional<QString> warning;
    } cases[] = {
        {QByteArray("QUEUED"), std::nullopt},
        {std::nullopt, std::nullopt},
        {QByteArray("OK"), QStringLiteral("[警告] qkshost 返回：OK")},
        {QByteArray("ERR unknown\n"), QStringLiteral("[警告] qkshost 返回：ERR unknown")},
    };
    for (const auto& c : cases) {
        BridgeServer server(fixed(c.answer));
        QLocalSocket socket;
        ASSERT_TRUE(connectBridge(&socket, kPageConnectWaitMs));
        EXPECT_EQ(submitJob(&socket, "MERGE /t/qks_merge.cfg\n"), c.warning);
        EXPECT_EQ(server.received(), QList<QByteArray>({"MERGE /t/qks_merge.cfg\n"}));
    }
}

TEST(Bridge, NestRepliesAcceptQueuedOkAndSilence) {
    const struct {
        std::optional<QByteArray> answer;
        bool accepted;
        const char* line;
    } cases[] = {
        {QByteArray("QUEUED"), true, ""},
        {QByteArray("OK"), true, ""},
        {std::nullopt, true, ""},
        {QByteArray("ERR unknown"), false, "[警告] qkshost 返回：ERR unknown"},
    };
    for (const auto& c : cases) {
        BridgeServer server(fixed(c.answer));
        QLocalSocket socket;
        ASSERT_TRUE(connectBridge(&socket, kConnectWaitMs));
        const NestReply reply = sendNestCommand(&socket, QStringLiteral("NEST /t/套料.cfg"));
        EXPECT_EQ(reply.accepted, c.accepted);
        EXPECT_EQ(reply.logLine, QString::fromUtf8(c.line));
        EXPECT_EQ(server.received(),
                  QList<QByteArray>({QStringLiteral("NEST /t/套料.cfg").toUtf8()}));
    }
}

TEST(Bridge, SeveralCommandsOnOneConnection) {
    BridgeServer server(BridgeServer::pluginLike);
    QLocalSocket socket;
    ASSERT_TRUE(connectBridge(&socket, kConnectWaitMs));
    EXPECT_EQ(handshake(&socket), QStringLiteral("4.4.0"));
    EXPECT_TRUE(sendNestCommand(&socket, QStringLiteral("NESTPICK")).accepted);
    EXPECT_TRUE(sendNestCommand(&socket, QStringLiteral("NESTSTOP")).accepted);
    EXPECT_EQ(submitJob(&socket, "PLOT\n"), std::nullopt);
    EXPECT_EQ(server.received(), QList<QByteArray>({"PING\n", "NESTPICK", "NESTSTOP", "PLOT\n"}));
}

}  // namespace
