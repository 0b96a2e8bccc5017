#pragma once
// Client side of the bridge to the plug-in: one QLocalSocket, blocking request/reply on
// the GUI thread, and how the connection is shown in the header chip.

#include <QByteArray>
#include <QString>
#include <optional>

#include "qks/studio/files.h"

class QLocalSocket;

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

// Aborts whatever the socket had and connects to the bridge; true when connected within
// `waitMs`.
bool connectBridge(QLocalSocket* socket, int waitMs);

// Writes `request` in one write, flushes, waits up to `waitMs` and returns whatever is
// readable then, trimmed; null when nothing came.
std::optional<QByteArray> exchange(QLocalSocket* socket, const QByteArray& request, int waitMs);

// Sends "PING\n". A "PONG" reply gives the version after it (possibly empty); no reply or
// another reply gives null: the link is still treated as up.
std::optional<QString> handshake(QLocalSocket* socket);

// The request of a job that reads its config: "<WORD> <config path>\n", the path in the
// platform's separators.
QByteArray jobCommand(std::string_view word, const QString& configPath);

// A plot or merge submission: null when the reply is absent or "QUEUED", else the
// warning line for the page log.
std::optional<QString> submitJob(QLocalSocket* socket, const QByteArray& command);

struct NestReply {
    bool accepted = false;
    QString logLine;  // empty when nothing is to be logged
};
// A nest-page command: not sent when disconnected; "QUEUED", "OK" or silence accept it.
NestReply sendNestCommand(QLocalSocket* socket, const QString& command);

// Log lines shared by the pages.
QString warningReplyLine(const QByteArray& reply);
inline const QString kNotConnectedJobLine =
    QStringLiteral("[错误] 未连接 qkshost，请先点右上角「连接 qkshost」启动主机");
inline const QString kNotConnectedNestLine =
    QStringLiteral("[提示] 未连接 qkshost，请先点右上角连接");
inline const QString kConfigWriteFailedLine = QStringLiteral("[错误] 无法写入临时配置");

}  // namespace qks::studio
