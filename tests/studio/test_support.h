#pragma once
// Shared test fixtures: a scratch folder and a bridge server on its own thread, so the
// client on the test's thread talks to a real socket that answers while the test waits.

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

#include "qks/contract/bom.h"

class QThread;
class QLocalServer;

#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace qks::studio::test {

// Writes `bytes` to `path`, replacing it; fails the test on error.
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

// A row of the BOM job's rows file: 4 brackets "A-01" of 2 mm Q235 (7.85 g/cm³), blank
// 200 × 100, net area 15000 mm², cut length 700 mm, 3 pierces, weights from those.
qks::contract::BomRow bracketBomRow();

// Spins the event loop until `done` or `timeoutMs` passed; returns `done()`.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 3000);

// Serves the bridge name "qksstudio" in the (private) temporary folder. Every received
// message is recorded; `reply` decides the answer (null: stay silent).
class BridgeServer {
  public:
    using Reply = std::function<std::optional<QByteArray>(const QByteArray&)>;
    explicit BridgeServer(Reply reply);
    ~BridgeServer();
    QList<QByteArray> received() const;
    void clearReceived();
    // Drops every client connection (as when the host closes the pipe).
    void dropClients();

    // Answers like the plug-in: PING -> "PONG 4.4.0", jobs (BOM and TOOLS too) -> "QUEUED",
    // NESTSTOP -> "OK".
    static std::optional<QByteArray> pluginLike(const QByteArray& message);

  private:
    struct Worker;
    std::unique_ptr<QThread> thread_;
    Worker* worker_ = nullptr;
};

// Waits until the last message `server` received is `message`.
bool lastReceived(const BridgeServer& server, const QByteArray& message, int timeoutMs = 3000);

}  // namespace qks::studio::test
