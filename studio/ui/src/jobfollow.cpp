#include "jobfollow.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTime>

#include "qks/studio/bridge.h"
#include "qks/studio/jobconfig.h"
#include "widgets.h"

namespace qks::studio {

JobFollow::JobFollow(JobFileWatcher* files, QPlainTextEdit* log, QPushButton* startButton,
                     QLabel* status, JobTexts texts, QObject* parent)
    : QObject(parent),
      files_(files),
      log_(log),
      startButton_(startButton),
      status_(status),
      texts_(std::move(texts)) {}

bool JobFollow::ensureConnected(BridgeClient* bridge) {
    return bridge && bridge->connectToBridge(kPageConnectWaitMs);
}

void JobFollow::submit(BridgeClient& bridge, const QString& logPath, const Submit& submit) {
    truncateFile(logPath);
    log_->clear();
    appendLogLine(log_, QStringLiteral("[%1] 已提交，等待 qkshost 执行")
                            .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
    tail_.restart(logPath);
    // Subscribed before the command leaves: whatever the job writes is a change.
    if (files_) {
        files_->unsubscribe(this);
        files_->subscribe({logPath}, this, [this](const QString&) { tick(); });
    }
    running_ = true;
    startButton_->setEnabled(false);
    status_->setText(texts_.busy);
    submit(bridge, this, [this](std::optional<QString> warning) {
        if (warning) appendLogLine(log_, *warning);
    });
}

void JobFollow::tick() {
    const TailChunk chunk = tail_.poll();
    for (const QString& line : chunk.lines)
        appendLogLine(log_, line);
    if (chunk.end == JobEnd::None) return;
    if (files_) files_->unsubscribe(this);
    running_ = false;
    startButton_->setEnabled(true);
    status_->setText(chunk.end == JobEnd::Failed ? texts_.failed : texts_.done);
    emit ended(chunk.end);
}

}  // namespace qks::studio
