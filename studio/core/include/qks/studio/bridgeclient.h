#pragma once
// The Studio's one link to the plug-in's bridge: a QLocalSocket the client owns, one typed
// command per bridge word the Studio sends, and replies handed back asynchronously on the
// thread the client lives on (the GUI thread). Nothing here waits in a blocking call.
//
// The bridge reads one message per read and answers it before the next: the client sends one
// request at a time and the next only after the reply came or its wait (kReplyWaitMs,
// kHandshakeWaitMs for PING) ran out. Silence is an answer: the callback gets no reply; so is
// a link that breaks while a request waits for its reply. Requests the link broke before they
// went out are refused (job and nest commands hear that the link is down; others nothing). A
// command sent from inside a reply's callback goes out before the commands already waiting, as
// it would have after a blocking exchange.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>
#include <optional>

#include "qks/studio/bridge.h"

class QLocalSocket;
class QTimer;

namespace qks::studio {

class BridgeClient : public QObject {
    Q_OBJECT
  public:
    explicit BridgeClient(QObject* parent = nullptr);
    ~BridgeClient() override;

    bool isConnected() const;
    // Starts connecting when the link is down (an up link is left alone). True when the link
    // is up, or still coming up, when this returns; commands sent meanwhile wait for it. A
    // link still not up after `waitMs` is given up (linkError). On this platform a local
    // connect completes inside the call, `connected` included.
    bool connectToBridge(int waitMs);
    // Drops the link at once, without the disconnected signal (waiting commands as above).
    void abort();

    // Replies. Callbacks run on the client's thread and only while `receiver` lives; a null
    // receiver means no callback.
    using VersionReply = std::function<void(std::optional<QString> version)>;
    // Null when the job was queued (or nothing came back), else the warning line for the log.
    using JobReply = std::function<void(std::optional<QString> warning)>;
    using NestCommandReply = std::function<void(NestReply reply)>;
    using TextReply = std::function<void(QString reply)>;  // empty when nothing came back

    // "PING\n": the version after "PONG" (possibly empty); null for silence or another reply.
    void ping(QObject* receiver, VersionReply done);

    // Job submissions ("PLOT\n", "<WORD> <config path>\n" with the path in the platform's
    // separators). Sent once the link is up; the page has asked for it (connectToBridge).
    void plot(QObject* receiver, JobReply done);
    void plotFiles(const QString& configPath, QObject* receiver, JobReply done);
    void merge(const QString& configPath, QObject* receiver, JobReply done);
    void bom(const QString& configPath, QObject* receiver, JobReply done);
    void tools(const QString& configPath, QObject* receiver, JobReply done);

    // The nest page's commands, without a line end ("NEST <config path>", "NESTPICK",
    // "NESTSTOP"). Not sent while the link is down: `done` then gets the refusal at once.
    // "QUEUED", "OK" and silence accept a command.
    void nest(const QString& configPath, QObject* receiver, NestCommandReply done);
    void nestPick(QObject* receiver, NestCommandReply done);
    void nestStop(QObject* receiver, NestCommandReply done);

    // The drawing window's commands; false (nothing sent) while the link is down.
    // "VIEW [layout]\n", "OPEN <path>\n", "NESTADJUST <layout path>\n": their replies are not
    // needed (the host answers by the files it writes).
    bool view(const QString& layout = QString());
    bool open(const QString& absolutePath);
    bool nestAdjust(const QString& layoutPath);
    // "SELECT <serial>[ <selection line>]\n": answers the selection prompt `serial`; an empty
    // line cancels it.
    bool select(quint64 serial, const QString& selectionLine, QObject* receiver, TextReply done);

  signals:
    void connected();
    void disconnected();
    // The link broke or could not be made: every socket error (no server, refused, the peer
    // closed) and a connect given up after its wait.
    void linkError();

  private:
    // `sent` false: the request never went out; else the reply, null for silence.
    using RawReply = std::function<void(bool sent, std::optional<QByteArray> reply)>;
    struct Request {
        QByteArray bytes;
        int waitMs;
        QPointer<QObject> receiver;
        RawReply done;
    };
    void send(QByteArray bytes, int waitMs, QObject* receiver, RawReply done);
    void sendJob(QByteArray bytes, QObject* receiver, JobReply done);
    void sendNest(QByteArray bytes, QObject* receiver, NestCommandReply done);
    void pump();
    void finish(std::optional<QByteArray> reply);
    void dropWaiting();

    QLocalSocket* socket_;
    QTimer* replyTimer_;
    QTimer* connectTimer_;
    std::deque<Request> waiting_;
    std::optional<Request> inFlight_;
    // While a reply's callback runs: where its own commands join the queue.
    std::optional<std::size_t> insertAt_;
};

}  // namespace qks::studio
