#include "qks/studio/bridge.h"

namespace qks::studio {

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

QString warningReplyLine(const QByteArray& reply) {
    return QStringLiteral("[警告] qkshost 返回：%1").arg(QString::fromUtf8(reply));
}

}  // namespace qks::studio
