#include "qks/studio/bridge.h"

#include <QDir>
#include <QLocalSocket>

#include "qks/contract/names.h"

namespace qks::studio {
namespace {

QByteArray word(std::string_view w) {
    return QByteArray(w.data(), static_cast<int>(w.size()));
}

}  // namespace

LinkView linkView(LinkState state, const std::optional<QString>& version) {
    switch (state) {
        case LinkState::Initial:
            return {false, QStringLiteral("未连接 qkshost")};
        case LinkState::Connecting:
            return {false, QStringLiteral("正在连接...")};
        case LinkState::Connected:
            if (version) return {true, QStringLiteral("已连接 qkshost · %1").arg(*version)};
            return {true, QStringLiteral("已连接 qkshost")};
        case LinkState::Unreachable:
            return {false, QStringLiteral("未连接 qkshost（主机未启动）")};
        case LinkState::Disconnected:
            return {false, QStringLiteral("连接已断开")};
    }
    return {false, QString()};
}

QString dotStyle(bool connected) {
    return connected ? QStringLiteral("background:#35C07A;border-radius:4px;")
                     : QStringLiteral("background:#6B7688;border-radius:4px;");
}

QString connectCaption(bool connected) {
    return connected ? QStringLiteral("重新连接") : QStringLiteral("连接 qkshost");
}

bool connectBridge(QLocalSocket* socket, int waitMs) {
    socket->abort();
    socket->connectToServer(kBridgeServerName, QIODevice::ReadWrite);
    // The connected signal may already have run a handshake inside connectToServer.
    if (socket->state() == QLocalSocket::ConnectedState) return true;
    return socket->waitForConnected(waitMs);
}

std::optional<QByteArray> exchange(QLocalSocket* socket, const QByteArray& request, int waitMs) {
    socket->write(request);
    socket->flush();
    if (socket->bytesAvailable() == 0 && !socket->waitForReadyRead(waitMs)) return std::nullopt;
    return socket->readAll().trimmed();
}

std::optional<QString> handshake(QLocalSocket* socket) {
    const std::optional<QByteArray> reply =
        exchange(socket, word(contract::kPingWord) + '\n', kHandshakeWaitMs);
    if (!reply || !reply->startsWith(word(contract::kPongWord))) return std::nullopt;
    return QString::fromUtf8(reply->mid(static_cast<int>(contract::kPongWord.size()) + 1))
        .trimmed();
}

QString warningReplyLine(const QByteArray& reply) {
    return QStringLiteral("[警告] qkshost 返回：%1").arg(QString::fromUtf8(reply));
}

QByteArray jobCommand(std::string_view jobWord, const QString& configPath) {
    return word(jobWord) + ' ' + QDir::toNativeSeparators(configPath).toUtf8() + '\n';
}

std::optional<QString> submitJob(QLocalSocket* socket, const QByteArray& command) {
    const std::optional<QByteArray> reply = exchange(socket, command, kReplyWaitMs);
    if (!reply || reply->startsWith(word(contract::kQueuedReply))) return std::nullopt;
    return warningReplyLine(*reply);
}

NestReply sendNestCommand(QLocalSocket* socket, const QString& command) {
    if (!socket || socket->state() != QLocalSocket::ConnectedState)
        return {false, kNotConnectedNestLine};
    const std::optional<QByteArray> reply = exchange(socket, command.toUtf8(), kReplyWaitMs);
    if (!reply || reply->startsWith(word(contract::kQueuedReply)) ||
        reply->startsWith(word(contract::kOkReply)))
        return {true, {}};
    return {false, warningReplyLine(*reply)};
}

}  // namespace qks::studio
