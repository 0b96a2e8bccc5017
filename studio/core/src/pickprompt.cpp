#include "qks/studio/pickprompt.h"

#include <optional>

#include "qks/contract/view_format.h"
#include "qks/studio/bridgeclient.h"
#include "qks/studio/files.h"

namespace qks::studio {

QString selectionLine(const QStringList& handles) {
    if (handles.isEmpty()) return {};
    return QStringLiteral("H ") + handles.join(QLatin1Char(' '));
}

PickPrompt::PickPrompt(BridgeClient* bridge, QObject* parent) : QObject(parent), bridge_(bridge) {}

void PickPrompt::poll() {
    const QString path = tempFilePath(fromContract(contract::kViewPromptFile));
    const QString signature = fileSignature(path);
    if (signature == signature_) return;
    signature_ = signature;
    const std::optional<contract::ViewPrompt> prompt =
        signature.isEmpty() ? std::nullopt
                            : contract::readViewPrompt(readWholeFile(path).toStdString());
    if (prompt) {
        serial_ = prompt->serial;
        asking_ = true;
        emit started();
    } else if (asking_) {
        asking_ = false;
        emit ended();
    }
}

bool PickPrompt::answer(bool confirmed, const QStringList& handles) {
    if (!asking_ || !bridge_) return false;
    const QString line = confirmed ? selectionLine(handles) : QString();
    const bool sent = bridge_->select(serial_, line, this, [this](const QString& reply) {
        if (!reply.startsWith(fromContract(contract::kOkReply)))
            emit warning(QStringLiteral("[警告] qkshost 返回：%1").arg(reply));
    });
    if (!sent) return false;
    asking_ = false;
    emit ended();
    return true;
}

}  // namespace qks::studio
