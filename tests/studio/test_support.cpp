#include "test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include "qks/studio/bridge.h"

namespace qks::studio::test {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

qks::contract::BomRow bracketBomRow() {
    return {"k1",
            "A-01",
            "支架",
            4,
            "Q235",
            2,
            7.85,
            200,
            100,
            15000,
            700,
            3,
            qks::contract::weightKg(15000, 2, 7.85),
            qks::contract::weightKg(20000, 2, 7.85),
            "/d/a.dxf",
            qks::contract::kDefaultedNone};
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Lives on the server thread; all socket work happens there.
struct BridgeServer::Worker : QObject {
    explicit Worker(Reply r) : reply(std::move(r)) {}
    Reply reply;
    QLocalServer* server = nullptr;
    mutable QMutex mutex;
    QList<QByteArray> messages;

    void start() {
        server = new QLocalServer(this);
        QLocalServer::removeServer(kBridgeServerName);
        if (!server->listen(kBridgeServerName)) qFatal("test bridge cannot listen");
        QObject::connect(server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* client = server->nextPendingConnection()) {
                client->setParent(this);
                QObject::connect(client, &QLocalSocket::readyRead, this, [this, client] {
                    const QByteArray message = client->readAll();
                    {
                        QMutexLocker lock(&mutex);
                        messages.append(message);
                    }
                    if (const std::optional<QByteArray> answer = reply(message)) {
                        client->write(*answer);
                        client->flush();
                    }
                });
            }
        });
    }
    void stop() {
        dropAll();
        server->close();
    }
    void dropAll() {
        for (QLocalSocket* client : findChildren<QLocalSocket*>()) {
            client->disconnectFromServer();
            client->deleteLater();
        }
    }
};

BridgeServer::BridgeServer(Reply reply) : thread_(std::make_unique<QThread>()) {
    worker_ = new Worker(std::move(reply));
    worker_->moveToThread(thread_.get());
    thread_->start();
    QMetaObject::invokeMethod(
        worker_, [w = worker_] { w->start(); }, Qt::BlockingQueuedConnection);
}

BridgeServer::~BridgeServer() {
    QMetaObject::invokeMethod(
        worker_, [w = worker_] { w->stop(); }, Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(
        worker_, [w = worker_] { delete w; }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
}

QList<QByteArray> BridgeServer::received() const {
    QMutexLocker lock(&worker_->mutex);
    return worker_->messages;
}

void BridgeServer::clearReceived() {
    QMutexLocker lock(&worker_->mutex);
    worker_->messages.clear();
}

void BridgeServer::dropClients() {
    QMetaObject::invokeMethod(
        worker_, [w = worker_] { w->dropAll(); }, Qt::BlockingQueuedConnection);
}

bool lastReceived(const BridgeServer& server, const QByteArray& message, int timeoutMs) {
    return waitUntil(
        [&] {
            const QList<QByteArray> received = server.received();
            return !received.isEmpty() && received.last() == message;
        },
        timeoutMs);
}

std::optional<QByteArray> BridgeServer::pluginLike(const QByteArray& message) {
    QByteArray line = message;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line == "PING") return QByteArray("PONG 4.4.0");
    if (line == "PLOT" || line == "NESTPICK" || line.startsWith("PLOTFILES ") ||
        line.startsWith("MERGE ") || line.startsWith("NEST ") || line.startsWith("BOM ") ||
        line.startsWith("TOOLS "))
        return QByteArray("QUEUED");
    if (line == "NESTSTOP") return QByteArray("OK");
    return QByteArray("ERR unknown");
}

}  // namespace qks::studio::test
