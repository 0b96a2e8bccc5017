#pragma once
// The submit-and-follow cycle the plot and merge pages share: truncate the job log, send
// the command, then tail the log each time the job file watcher sees it change until a chunk
// holds "FATAL" or "DONE".

#include <QObject>
#include <QString>

#include <functional>

#include "qks/studio/bridgeclient.h"
#include "qks/studio/jobfilewatcher.h"
#include "qks/studio/logtail.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace qks::studio {

struct JobTexts {
    QString busy;    // status while running
    QString failed;  // after "FATAL"
    QString done;    // after "DONE"
};

class JobFollow : public QObject {
    Q_OBJECT
  public:
    // `files` (not owned; nullptr: the log is read only when tick() is called) tells of the
    // log's changes.
    JobFollow(JobFileWatcher* files, QPlainTextEdit* log, QPushButton* startButton, QLabel* status,
              JobTexts texts, QObject* parent);

    bool running() const { return running_; }

    // Re-connects once when the link is down; false means the page must not submit. A link
    // still coming up counts as up: the submission waits for it.
    static bool ensureConnected(BridgeClient* bridge);

    using Submit = std::function<void(BridgeClient&, QObject*, BridgeClient::JobReply)>;
    // After the job config was written: empties `logPath`, shows the submission, submits the
    // job through `submit` and starts following the log. A warning reply joins the log when it
    // comes.
    void submit(BridgeClient& bridge, const QString& logPath, const Submit& submit);

    void tick();

  signals:
    // The log's end arrived: the page is idle again.
    void ended(qks::studio::JobEnd end);

  private:
    JobFileWatcher* files_;
    QPlainTextEdit* log_;
    QPushButton* startButton_;
    QLabel* status_;
    JobTexts texts_;
    JobLogTail tail_;
    bool running_ = false;
};

}  // namespace qks::studio
