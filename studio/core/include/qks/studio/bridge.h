#pragma once
// What the bridge's client and the window share: the waits, how the connection is shown in
// the header chip, the answer to a nest command and the log lines about the link.

#include <QByteArray>
#include <QString>
#include <optional>

#include "qks/studio/files.h"

namespace qks::studio {

inline const QString kBridgeServerName = fromContract(contract::kBridgeServerName);

// Waits, in milliseconds.
constexpr int kConnectWaitMs = 400;
constexpr int kHandshakeWaitMs = 600;
constexpr int kPageConnectWaitMs = 800;
constexpr int kReplyWaitMs = 800;

enum class LinkState { Initial, Connecting, Connected, Unreachable, Disconnected };

struct LinkView {
    bool connected = false;
    QString text;
};

// The chip for a state; `version` is shown only for Connected, and only when the
// handshake got a PONG (`version` engaged, possibly empty).
LinkView linkView(LinkState state, const std::optional<QString>& version = std::nullopt);
QString dotStyle(bool connected);
QString connectCaption(bool connected);

struct NestReply {
    bool accepted = false;
    QString logLine;  // empty when nothing is to be logged
};

// Log lines shared by the pages.
QString warningReplyLine(const QByteArray& reply);
inline const QString kNotConnectedJobLine =
    QStringLiteral("[错误] 未连接 qkshost，请先点右上角「连接 qkshost」启动主机");
inline const QString kNotConnectedNestLine =
    QStringLiteral("[提示] 未连接 qkshost，请先点右上角连接");
inline const QString kConfigWriteFailedLine = QStringLiteral("[错误] 无法写入临时配置");

}  // namespace qks::studio
