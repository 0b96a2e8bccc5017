#pragma once
// The submit-and-follow cycle the plot and merge pages share: truncate the job log, send
// the command, then tail the log every 350 ms until a chunk holds "FATAL" or "DONE".

#include <QObject>
#include <QString>

#include <functional>

#include "qks/studio/bridgeclient.h"
#include "qks/studio/logtail.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace qks::studio {

struct JobTexts {
    QString busy;    // status while running
    QString failed;  // after "FATAL"
    QString done;    // after "DONE"
};

class JobFollow : public QObject {
    Q_OBJECT
  public:
    JobFollow(QTimer* timer, QPlainTextEdit* log, QPushButton* startButton, QLabel* status,
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
    QTimer* timer_;
    QPlainTextEdit* log_;
    QPushButton* startButton_;
    QLabel* status_;
    JobTexts texts_;
    JobLogTail tail_;
    bool running_ = false;
};

}  // namespace qks::studio
