#include "qks/studio/instance.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <memory>
#include <string>
#include <vector>

#include "qks/contract/handover.h"

namespace qks::studio {

QString studioInstanceName() {
    return QStringLiteral("qksstudio-window-%1").arg(::getuid());
}

bool handOverToRunningStudio(const QStringList& drawings, int waitMs) {
    QLocalSocket socket;
    socket.connectToServer(studioInstanceName());
    if (!socket.waitForConnected(waitMs)) return false;
    std::vector<std::string> paths;
    for (const QString& drawing : drawings)
        paths.push_back(QFileInfo(drawing).absoluteFilePath().toStdString());
    const std::string message = contract::composeHandOver(paths);
    socket.write(message.data(), static_cast<qint64>(message.size()));
    if (!socket.waitForBytesWritten(waitMs)) return false;
    QByteArray reply;
    while (!reply.contains('\n') && socket.waitForReadyRead(waitMs))
        reply += socket.readAll();
    return reply.trimmed() == QByteArray(contract::kHandOverReply.data(),
                                         static_cast<int>(contract::kHandOverReply.size()));
}

StudioInstance::StudioInstance(QObject* parent) : QObject(parent) {}

bool StudioInstance::listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(studioInstanceName())) {
        // A socket file left by a Studio that died: nobody answers on it, so it is taken over.
        QLocalSocket probe;
        probe.connectToServer(studioInstanceName());
        if (probe.waitForConnected(500)) return false;
        QLocalServer::removeServer(studioInstanceName());
        if (!server_->listen(studioInstanceName())) return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
                *buffer += socket->readAll();
                if (static_cast<std::size_t>(buffer->size()) > contract::kHandOverLimit) {
                    socket->abort();
                    return;
                }
                const auto paths = contract::parseHandOver(std::string_view(
                    buffer->constData(), static_cast<std::size_t>(buffer->size())));
                if (!paths) return;  // more to come, or never complete: dropped on disconnect
                socket->write(QByteArray(contract::kHandOverReply.data(),
                                         static_cast<int>(contract::kHandOverReply.size())) +
                              '\n');
                socket->flush();
                QStringList drawings;
                for (const std::string& path : *paths)
                    drawings << QString::fromStdString(path);
                buffer->clear();
                emit handedOver(drawings);
            });
        }
    });
    return true;
}

}  // namespace qks::studio
