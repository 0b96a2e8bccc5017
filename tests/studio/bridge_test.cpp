// The bridge client against a real local server (Qt's QLocalServer) on its own thread.
#include <gtest/gtest.h>

#include <functional>

#include "qks/studio/bridgeclient.h"
#include "test_support.h"

using namespace qks::studio;
using qks::studio::test::BridgeServer;
using qks::studio::test::waitUntil;

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

// What a command's callback made of the reply, as one text per command.
using Outcome = std::optional<QString>;
using Send = std::function<void(BridgeClient&, QObject*, std::function<void(QString)>)>;

QString nestText(const NestReply& reply) {
    return QStringLiteral("%1 %2").arg(reply.accepted ? "accepted" : "refused", reply.logLine);
}

// Every command the Studio sends: its bytes on the wire and, for one reply, what its caller gets.
TEST(BridgeClient, CommandsBytesAndReplies) {
    const auto job = [](auto command, QString path) -> Send {
        return [command, path](BridgeClient& c, QObject* r, std::function<void(QString)> out) {
            (c.*command)(path, r, [out](std::optional<QString> w) {
                out(w ? *w : QStringLiteral("queued"));
            });
        };
    };
    const auto nestCall = [](auto call) -> Send {
        return [call](BridgeClient& c, QObject* r, std::function<void(QString)> out) {
            call(c, r, [out](NestReply reply) { out(nestText(reply)); });
        };
    };
    const auto noReply = [](std::function<bool(BridgeClient&)> call) -> Send {
        return [call](BridgeClient& c, QObject*, std::function<void(QString)> out) {
            out(call(c) ? QStringLiteral("sent") : QStringLiteral("not sent"));
        };
    };
    const QString cfg = QStringLiteral("/t/配置.cfg");
    const struct {
        const char* what;
        Send send;
        std::optional<QByteArray> answer;
        QByteArray wire;
        const char* result;
    } cases[] = {
        {"ping",
         [](BridgeClient& c, QObject* r, std::function<void(QString)> out) {
             c.ping(r, [out](std::optional<QString> v) { out(v ? *v : QStringLiteral("none")); });
         },
         QByteArray("PONG  版本 5 \r\n"), "PING\n", "版本 5"},
        {"ping",
         [](BridgeClient& c, QObject* r, std::function<void(QString)> out) {
             c.ping(r, [out](std::optional<QString> v) { out(v ? *v : QStringLiteral("none")); });
         },
         QByteArray("ERR unknown"), "PING\n", "none"},
        {"plot",
         [](BridgeClient& c, QObject* r, std::function<void(QString)> out) {
             c.plot(r, [out](std::optional<QString> w) { out(w ? *w : QStringLiteral("queued")); });
         },
         QByteArray("QUEUED"), "PLOT\n", "queued"},
        {"plotFiles", job(&BridgeClient::plotFiles, cfg), std::nullopt,
         QStringLiteral("PLOTFILES /t/配置.cfg\n").toUtf8(), "queued"},
        {"merge", job(&BridgeClient::merge, cfg), QByteArray("OK"),
         QStringLiteral("MERGE /t/配置.cfg\n").toUtf8(), "[警告] qkshost 返回：OK"},
        {"bom", job(&BridgeClient::bom, cfg), QByteArray("ERR unknown\n"),
         QStringLiteral("BOM /t/配置.cfg\n").toUtf8(), "[警告] qkshost 返回：ERR unknown"},
        {"tools", job(&BridgeClient::tools, cfg), QByteArray("QUEUED"),
         QStringLiteral("TOOLS /t/配置.cfg\n").toUtf8(), "queued"},
        {"nest", nestCall([cfg](BridgeClient& c, QObject* r, BridgeClient::NestCommandReply d) {
             c.nest(cfg, r, d);
         }),
         QByteArray("QUEUED"), QStringLiteral("NEST /t/配置.cfg").toUtf8(), "accepted "},
        {"nestPick", nestCall([](BridgeClient& c, QObject* r, BridgeClient::NestCommandReply d) {
             c.nestPick(r, d);
         }),
         std::nullopt, "NESTPICK", "accepted "},
        {"nestStop", nestCall([](BridgeClient& c, QObject* r, BridgeClient::NestCommandReply d) {
             c.nestStop(r, d);
         }),
         QByteArray("ERR unknown"), "NESTSTOP", "refused [警告] qkshost 返回：ERR unknown"},
        {"view", noReply([](BridgeClient& c) { return c.view(); }), QByteArray("OK"), "VIEW\n",
         "sent"},
        {"view layout", noReply([](BridgeClient& c) { return c.view(QStringLiteral("布局1")); }),
         QByteArray("OK"), QStringLiteral("VIEW 布局1\n").toUtf8(), "sent"},
        {"open", noReply([](BridgeClient& c) { return c.open(QStringLiteral("/d/零件 a.dxf")); }),
         QByteArray("OK"), QStringLiteral("OPEN /d/零件 a.dxf\n").toUtf8(), "sent"},
        {"nestAdjust", noReply([cfg](BridgeClient& c) { return c.nestAdjust(cfg); }), std::nullopt,
         QStringLiteral("NESTADJUST /t/配置.cfg\n").toUtf8(), "sent"},
        {"select",
         [](BridgeClient& c, QObject* r, std::function<void(QString)> out) {
             c.select(7, QStringLiteral("2A 2B"), r, out);
         },
         QByteArray("OK\n"), "SELECT 7 2A 2B\n", "OK"},
        {"select cancel",
         [](BridgeClient& c, QObject* r, std::function<void(QString)> out) {
             c.select(8, QString(), r, out);
         },
         std::nullopt, "SELECT 8\n", ""},
    };
    for (const auto& c : cases) {
        BridgeServer server(fixed(c.answer));
        BridgeClient client;
        ASSERT_TRUE(client.connectToBridge(kConnectWaitMs)) << c.what;
        Outcome outcome;
        c.send(client, &client, [&outcome](QString text) { outcome = text; });
        ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, 3000)) << c.what;
        EXPECT_EQ(*outcome, QString::fromUtf8(c.result)) << c.what;
        ASSERT_TRUE(waitUntil([&] { return !server.received().isEmpty(); })) << c.what;
        EXPECT_EQ(server.received(), QList<QByteArray>({c.wire})) << c.what;
    }
}

// One request at a time, each after the last one's reply; what a reply's callback sends goes
// before what already waits. Without a bridge nothing goes out and nest commands are refused.
TEST(BridgeClient, OrderAndTheLinkDown) {
    BridgeClient client;
    EXPECT_FALSE(client.connectToBridge(kConnectWaitMs));
    std::optional<NestReply> refused;
    client.nestPick(&client, [&](NestReply r) { refused = r; });
    ASSERT_TRUE(refused);
    EXPECT_EQ(nestText(*refused), QStringLiteral("refused ") + kNotConnectedNestLine);
    EXPECT_FALSE(client.view());

    BridgeServer server(BridgeServer::pluginLike);
    ASSERT_TRUE(client.connectToBridge(kConnectWaitMs));
    bool done = false;
    client.ping(&client, [&](std::optional<QString>) { client.view(); });
    client.nestStop(&client, [&](NestReply) {});
    client.plot(&client, [&](std::optional<QString>) { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(server.received(), QList<QByteArray>({"PING\n", "VIEW\n", "NESTSTOP", "PLOT\n"}));

    // A receiver that is gone gets no callback.
    bool called = false;
    {
        QObject gone;
        client.ping(&gone, [&](std::optional<QString>) { called = true; });
    }
    done = false;
    client.plot(&client, [&](std::optional<QString>) { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_FALSE(called);
}

}  // namespace
