#include "jobfollow.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTime>
#include <QTimer>

#include "qks/studio/bridge.h"
#include "qks/studio/jobconfig.h"
#include "widgets.h"

namespace qks::studio {

JobFollow::JobFollow(QTimer* timer, QPlainTextEdit* log, QPushButton* startButton, QLabel* status,
                     JobTexts texts, QObject* parent)
    : QObject(parent),
      timer_(timer),
      log_(log),
      startButton_(startButton),
      status_(status),
      texts_(std::move(texts)) {
    timer_->setInterval(350);
    connect(timer_, &QTimer::timeout, this, &JobFollow::tick);
}

bool JobFollow::ensureConnected(BridgeClient* bridge) {
    return bridge && bridge->connectToBridge(kPageConnectWaitMs);
}

void JobFollow::submit(BridgeClient& bridge, const QString& logPath, const Submit& submit) {
    truncateFile(logPath);
    log_->clear();
    appendLogLine(log_, QStringLiteral("[%1] 已提交，等待 qkshost 执行")
                            .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
    tail_.restart(logPath);
    running_ = true;
    startButton_->setEnabled(false);
    status_->setText(texts_.busy);
    submit(bridge, this, [this](std::optional<QString> warning) {
        if (warning) appendLogLine(log_, *warning);
    });
    timer_->start();
}

void JobFollow::tick() {
    const TailChunk chunk = tail_.poll();
    for (const QString& line : chunk.lines)
        appendLogLine(log_, line);
    if (chunk.end == JobEnd::None) return;
    timer_->stop();
    running_ = false;
    startButton_->setEnabled(true);
    status_->setText(chunk.end == JobEnd::Failed ? texts_.failed : texts_.done);
    emit ended(chunk.end);
}

}  // namespace qks::studio
