#include "qks/studio/hostkeeper.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include "qks/studio/bridge.h"
#include "settings_store.h"

namespace qks::studio {
namespace {

const QString kHostGroup = QStringLiteral("host");
const QString kProgramKey = QStringLiteral("program");
constexpr int kProbeWaitMs = 200;
constexpr int kKillWaitMs = 1000;

// The host dies with the Studio even when the Studio cannot stop it (killed, crashed): a host
// left behind would hold the user's one bridge socket, and the next Studio would take it for
// one the user started and never stop it. It has a process group of its own, so Ctrl+C in the
// Studio's terminal reaches only the Studio, which then stops the host instead of taking its
// end for a crash.
class HostProcess : public QProcess {
  public:
    using QProcess::QProcess;

  protected:
    // Runs in the child between fork and exec.
    void setupChildProcess() override {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    }
};

// True when something accepts a connection on the bridge name. The probe hangs up at once;
// the bridge serves its next client as soon as it sees that.
bool bridgeAnswers() {
    QLocalSocket probe;
    probe.connectToServer(kBridgeServerName, QIODevice::ReadWrite);
    const bool answered =
        probe.state() == QLocalSocket::ConnectedState || probe.waitForConnected(kProbeWaitMs);
    probe.abort();
    return answered;
}

QString exitReason(int exitCode, QProcess::ExitStatus status) {
    if (status == QProcess::CrashExit) return QStringLiteral("进程被终止");
    return QStringLiteral("退出码 %1").arg(exitCode);
}

}  // namespace

HostSearch hostSearchFor(const QString& iniPath, const QString& studioFolder) {
    return {qEnvironmentVariable("QKS_HOST"), loadHostProgramSetting(iniPath), studioFolder};
}

QStringList hostCandidates(const HostSearch& search) {
    QStringList candidates;
    const auto add = [&candidates](const QString& entry) {
        const QString path = entry.trimmed();
        if (path.isEmpty()) return;
        if (!path.contains(QLatin1Char('/'))) {
            const QString found = QStandardPaths::findExecutable(path);
            if (!found.isEmpty()) candidates << found;
            return;
        }
        candidates << QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    };
    add(search.fromEnvironment);
    add(search.fromSettings);
    if (!search.studioFolder.isEmpty())
        add(QDir(search.studioFolder).filePath(QStringLiteral("../bin/qkshost")));
    return candidates;
}

QString findHostProgram(const HostSearch& search) {
    for (const QString& candidate : hostCandidates(search)) {
        const QFileInfo file(candidate);
        if (file.isFile() && file.isExecutable()) return candidate;
    }
    return {};
}

QString loadHostProgramSetting(const QString& iniPath) {
    const std::unique_ptr<QSettings> store = detail::openSettings(iniPath);
    return detail::settingsText(store->value(kHostGroup + QLatin1Char('/') + kProgramKey))
        .trimmed();
}

bool saveHostProgramSetting(const QString& iniPath, const QString& program) {
    const std::unique_ptr<QSettings> store = detail::openSettings(iniPath);
    const QString key = kHostGroup + QLatin1Char('/') + kProgramKey;
    if (program.trimmed().isEmpty())
        store->remove(key);
    else
        store->setValue(key, program.trimmed());
    store->sync();
    return store->status() == QSettings::NoError;
}

QString hostExitedText(const QString& reason) {
    return QStringLiteral("qkshost 意外退出（%1），正在重新启动").arg(reason);
}

QString hostFailedText(const QString& reason) {
    return QStringLiteral(
               "qkshost 无法启动：%1。请在 偏好设置 中指定 qkshost 路径，或设置 QKS_HOST")
        .arg(reason);
}

HostKeeper::HostKeeper(QString iniPath, QString studioFolder, QObject* parent)
    : QObject(parent), iniPath_(std::move(iniPath)), studioFolder_(std::move(studioFolder)) {
    pollTimer_ = new QTimer(this);
    pollTimer_->setInterval(kPollMs);
    connect(pollTimer_, &QTimer::timeout, this, &HostKeeper::pollBridge);
}

HostKeeper::~HostKeeper() {
    stopHost();
}

qint64 HostKeeper::hostPid() const {
    return process_ && process_->state() != QProcess::NotRunning ? process_->processId() : 0;
}

void HostKeeper::ensureHost() {
    if (state_ == State::Starting || state_ == State::Running) return;
    if (bridgeAnswers()) {
        state_ = State::External;
        emit bridgeReady();
        return;
    }
    // A start the person asked for (or the first) earns a fresh restart.
    restarting_ = false;
    restartClock_.invalidate();
    startProcess();
}

void HostKeeper::startProcess() {
    discardProcess();
    const HostSearch search = hostSearchFor(iniPath_, studioFolder_);
    program_ = findHostProgram(search);
    if (program_.isEmpty()) {
        fail(QStringLiteral("未找到可执行的 qkshost（已查找：%1）")
                 .arg(hostCandidates(search).join(QStringLiteral("、"))));
        return;
    }
    process_ = new HostProcess(this);
    process_->setProgram(program_);
    process_->setArguments({QStringLiteral("--serve"), QStringLiteral("--no-stdin")});
    // The host's console goes where the Studio's does (a terminal, the session's journal);
    // nothing of it is buffered here.
    process_->setProcessChannelMode(QProcess::ForwardedChannels);
    QProcess* started = process_;
    connect(process_, &QProcess::errorOccurred, this,
            [this, started](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart && started == process_)
                    processEnded(started->errorString());
            });
    connect(process_, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this, started](int exitCode, QProcess::ExitStatus status) {
                if (started == process_) processEnded(exitReason(exitCode, status));
            });
    state_ = State::Starting;
    startClock_.start();
    emit hostStarting(program_);
    process_->start();
    if (state_ == State::Starting) pollTimer_->start();
}

void HostKeeper::pollBridge() {
    if (state_ != State::Starting) return;
    if (bridgeAnswers()) {
        pollTimer_->stop();
        state_ = State::Running;
        restarting_ = false;
        emit bridgeReady();
        return;
    }
    if (startClock_.elapsed() < kStartLimitMs) return;
    stopHost();
    fail(QStringLiteral("%1 秒内没有应答").arg(kStartLimitMs / 1000));
}

void HostKeeper::processEnded(const QString& reason) {
    pollTimer_->stop();
    const bool wasRunning = state_ == State::Running;
    discardProcess();
    const bool restartedLately =
        restartClock_.isValid() && restartClock_.elapsed() < kRestartSpacingMs;
    if (wasRunning && !restartedLately) {
        emit hostExited(reason);
        restartClock_.start();
        restarting_ = true;
        startProcess();
        return;
    }
    fail(restarting_ || wasRunning ? QStringLiteral("重新启动后再次退出（%1）").arg(reason)
                                   : reason);
}

void HostKeeper::fail(const QString& reason) {
    pollTimer_->stop();
    state_ = State::Failed;
    restarting_ = false;
    emit hostFailed(reason);
}

void HostKeeper::discardProcess() {
    if (!process_) return;
    process_->disconnect(this);
    // An ended process may be inside one of its own signals: it goes once that returns.
    process_->deleteLater();
    process_ = nullptr;
}

void HostKeeper::stopHost() {
    pollTimer_->stop();
    if (!process_) return;
    QProcess* const process = process_;
    process->disconnect(this);
    process_ = nullptr;
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        if (!process->waitForFinished(kStopWaitMs)) {
            process->kill();
            process->waitForFinished(kKillWaitMs);
        }
    }
    delete process;
    if (state_ == State::Starting || state_ == State::Running) state_ = State::Idle;
}

}  // namespace qks::studio
