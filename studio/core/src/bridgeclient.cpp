#include "qks/studio/bridgeclient.h"

#include <QDir>
#include <QLocalSocket>
#include <QTimer>
#include <utility>

#include "qks/contract/names.h"

namespace qks::studio {
namespace {

QByteArray word(std::string_view w) {
    return QByteArray(w.data(), static_cast<int>(w.size()));
}

// "<WORD> <config path>\n", the path in the platform's separators.
QByteArray jobLine(std::string_view jobWord, const QString& configPath) {
    return word(jobWord) + ' ' + QDir::toNativeSeparators(configPath).toUtf8() + '\n';
}

bool startsWith(const QByteArray& reply, std::string_view w) {
    return reply.startsWith(word(w));
}

}  // namespace

BridgeClient::BridgeClient(QObject* parent)
    : QObject(parent),
      socket_(new QLocalSocket(this)),
      replyTimer_(new QTimer(this)),
      connectTimer_(new QTimer(this)) {
    replyTimer_->setSingleShot(true);
    connectTimer_->setSingleShot(true);
    connect(replyTimer_, &QTimer::timeout, this, [this] { finish(std::nullopt); });
    connect(connectTimer_, &QTimer::timeout, this, [this] {
        if (socket_->state() == QLocalSocket::ConnectedState) return;
        socket_->abort();
        dropWaiting();
        emit linkError();
    });
    connect(socket_, &QLocalSocket::connected, this, [this] {
        connectTimer_->stop();
        emit connected();
        pump();
    });
    connect(socket_, &QLocalSocket::disconnected, this, [this] {
        dropWaiting();
        emit disconnected();
    });
    connect(socket_, &QLocalSocket::errorOccurred, this,
            [this](QLocalSocket::LocalSocketError error) {
                if (error == QLocalSocket::SocketTimeoutError) return;
                if (socket_->state() != QLocalSocket::ConnectedState) dropWaiting();
                emit linkError();
            });
    connect(socket_, &QLocalSocket::readyRead, this, [this] {
        const QByteArray bytes = socket_->readAll();
        // Bytes no request waits for (a reply that came after its wait) answer nothing.
        if (inFlight_) finish(bytes.trimmed());
    });
}

BridgeClient::~BridgeClient() {
    // Closing a connected socket signals "disconnected": no one listens any more.
    socket_->disconnect(this);
    socket_->abort();
}

bool BridgeClient::isConnected() const {
    return socket_->state() == QLocalSocket::ConnectedState;
}

bool BridgeClient::connectToBridge(int waitMs) {
    if (isConnected()) return true;
    socket_->abort();
    socket_->connectToServer(kBridgeServerName, QIODevice::ReadWrite);
    const QLocalSocket::LocalSocketState state = socket_->state();
    if (state == QLocalSocket::ConnectingState) connectTimer_->start(waitMs);
    return state == QLocalSocket::ConnectedState || state == QLocalSocket::ConnectingState;
}

void BridgeClient::abort() {
    socket_->blockSignals(true);
    socket_->abort();
    socket_->blockSignals(false);
    connectTimer_->stop();
    dropWaiting();
}

void BridgeClient::send(QByteArray bytes, int waitMs, QObject* receiver, RawReply done) {
    Request request{std::move(bytes), waitMs, receiver, std::move(done)};
    if (insertAt_) {
        waiting_.insert(waiting_.begin() + static_cast<std::ptrdiff_t>(*insertAt_),
                        std::move(request));
        ++*insertAt_;
    } else {
        waiting_.push_back(std::move(request));
    }
    pump();
}

void BridgeClient::pump() {
    if (inFlight_ || insertAt_ || waiting_.empty() || !isConnected()) return;
    inFlight_ = std::move(waiting_.front());
    waiting_.pop_front();
    socket_->write(inFlight_->bytes);
    socket_->flush();
    replyTimer_->start(inFlight_->waitMs);
}

void BridgeClient::finish(std::optional<QByteArray> reply) {
    replyTimer_->stop();
    if (!inFlight_) return;
    Request done = std::move(*inFlight_);
    inFlight_.reset();
    if (done.receiver && done.done) {
        insertAt_ = 0;
        done.done(true, std::move(reply));
        insertAt_.reset();
    }
    pump();
}

void BridgeClient::dropWaiting() {
    // The link is gone: the request out there hears silence, the ones not sent are refused.
    replyTimer_->stop();
    std::optional<Request> out = std::move(inFlight_);
    inFlight_.reset();
    std::deque<Request> unsent = std::move(waiting_);
    waiting_.clear();
    if (out && out->receiver && out->done) out->done(true, std::nullopt);
    for (Request& request : unsent)
        if (request.receiver && request.done) request.done(false, std::nullopt);
}

void BridgeClient::ping(QObject* receiver, VersionReply done) {
    send(word(contract::kPingWord) + '\n', kHandshakeWaitMs, receiver,
         [done = std::move(done)](bool sent, std::optional<QByteArray> reply) {
             if (!sent) return;
             if (!reply || !startsWith(*reply, contract::kPongWord)) return done(std::nullopt);
             done(QString::fromUtf8(reply->mid(static_cast<int>(contract::kPongWord.size()) + 1))
                      .trimmed());
         });
}

void BridgeClient::sendJob(QByteArray bytes, QObject* receiver, JobReply done) {
    send(std::move(bytes), kReplyWaitMs, receiver,
         [done = std::move(done)](bool sent, std::optional<QByteArray> reply) {
             if (!sent) return done(kNotConnectedJobLine);
             if (!reply || startsWith(*reply, contract::kQueuedReply)) return done(std::nullopt);
             done(warningReplyLine(*reply));
         });
}

void BridgeClient::plot(QObject* receiver, JobReply done) {
    sendJob(word(contract::kPlotWord) + '\n', receiver, std::move(done));
}

void BridgeClient::plotFiles(const QString& configPath, QObject* receiver, JobReply done) {
    sendJob(jobLine(contract::kPlotFilesWord, configPath), receiver, std::move(done));
}

void BridgeClient::merge(const QString& configPath, QObject* receiver, JobReply done) {
    sendJob(jobLine(contract::kMergeWord, configPath), receiver, std::move(done));
}

void BridgeClient::bom(const QString& configPath, QObject* receiver, JobReply done) {
    sendJob(jobLine(contract::kBomWord, configPath), receiver, std::move(done));
}

void BridgeClient::tools(const QString& configPath, QObject* receiver, JobReply done) {
    sendJob(jobLine(contract::kToolsWord, configPath), receiver, std::move(done));
}

void BridgeClient::sendNest(QByteArray bytes, QObject* receiver, NestCommandReply done) {
    if (!isConnected()) {
        if (receiver && done) done({false, kNotConnectedNestLine});
        return;
    }
    send(std::move(bytes), kReplyWaitMs, receiver,
         [done = std::move(done)](bool sent, std::optional<QByteArray> reply) {
             if (!sent) return done({false, kNotConnectedNestLine});
             if (!reply || startsWith(*reply, contract::kQueuedReply) ||
                 startsWith(*reply, contract::kOkReply))
                 return done({true, {}});
             done({false, warningReplyLine(*reply)});
         });
}

void BridgeClient::nest(const QString& configPath, QObject* receiver, NestCommandReply done) {
    sendNest(word(contract::kNestWord) + ' ' + configPath.toUtf8(), receiver, std::move(done));
}

void BridgeClient::nestPick(QObject* receiver, NestCommandReply done) {
    sendNest(word(contract::kNestPickWord), receiver, std::move(done));
}

void BridgeClient::nestStop(QObject* receiver, NestCommandReply done) {
    sendNest(word(contract::kNestStopWord), receiver, std::move(done));
}

bool BridgeClient::view(const QString& layout) {
    if (!isConnected()) return false;
    QByteArray line = word(contract::kViewWord);
    if (!layout.isEmpty()) line += ' ' + layout.toUtf8();
    send(line + '\n', kReplyWaitMs, nullptr, {});
    return true;
}

bool BridgeClient::open(const QString& absolutePath) {
    if (!isConnected()) return false;
    send(word(contract::kOpenWord) + ' ' + absolutePath.toUtf8() + '\n', kReplyWaitMs, nullptr, {});
    return true;
}

bool BridgeClient::nestAdjust(const QString& layoutPath) {
    if (!isConnected()) return false;
    send(jobLine(contract::kNestAdjustWord, layoutPath), kReplyWaitMs, nullptr, {});
    return true;
}

bool BridgeClient::select(quint64 serial, const QString& selectionLine, QObject* receiver,
                          TextReply done) {
    if (!isConnected()) return false;
    const QByteArray line = word(contract::kSelectWord) + ' ' + QByteArray::number(serial) +
                            (selectionLine.isEmpty() ? QByteArray() : ' ' + selectionLine.toUtf8());
    send(line + '\n', kReplyWaitMs, receiver,
         [done = std::move(done)](bool sent, std::optional<QByteArray> reply) {
             if (sent) done(reply ? QString::fromUtf8(*reply) : QString());
         });
    return true;
}

}  // namespace qks::studio
