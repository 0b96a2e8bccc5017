#pragma once
// The drawing host the Studio runs its jobs in. A desktop user starts only the Studio: when no
// bridge answers, the Studio starts the qkshost it was installed with and owns it (stops it when
// it closes, restarts it once when it dies); a host that was already running is left alone.
// Everything here runs on the GUI thread; the waits for the bridge are timer ticks, so the
// window stays responsive while a host starts.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;
class QTimer;

namespace qks::studio {

// Where the host program may be, in the order tried.
struct HostSearch {
    QString fromEnvironment;  // QKS_HOST
    QString fromSettings;     // the path kept in 偏好设置
    QString studioFolder;     // the Studio's own folder: the host is ../bin/qkshost beside it
};

// The search of this process: QKS_HOST, the settings in `iniPath`, the application's folder.
HostSearch hostSearchFor(const QString& iniPath, const QString& studioFolder);

// Every place `search` names, in order, as absolute paths; empty entries are left out. A name
// without a slash in QKS_HOST is looked up on PATH.
QStringList hostCandidates(const HostSearch& search);
// The first candidate that is an executable file; empty when none is.
QString findHostProgram(const HostSearch& search);

// The host path kept in the Studio's settings file ("host/program"); empty when none is set.
QString loadHostProgramSetting(const QString& iniPath);
// An empty `program` removes the setting. False when the file could not be written.
bool saveHostProgramSetting(const QString& iniPath, const QString& program);

// Texts of the host's fate for the footer; the page logs put "[警告]" or "[错误]" before them.
// `reason` says what happened to the process ("退出码 3").
QString hostExitedText(const QString& reason);  // while a restart follows
QString hostFailedText(const QString& reason);  // with what the user must do

class HostKeeper : public QObject {
    Q_OBJECT
  public:
    enum class State {
        Idle,      // nothing started; the bridge was not looked at yet
        External,  // a bridge answered that this keeper did not start: left alone
        Starting,  // our host runs, its bridge has not answered yet
        Running,   // our host's bridge answered
        Failed,    // no host could be started; ensureHost() tries again
    };

    // Waits, in milliseconds.
    static constexpr int kPollMs = 250;
    static constexpr int kStartLimitMs = 20000;
    static constexpr int kStopWaitMs = 5000;
    // A host that dies within this time of its restart is not restarted again.
    static constexpr int kRestartSpacingMs = 60000;

    // `iniPath`: the settings file holding the user's host path; `studioFolder`: where the
    // Studio's program is (QCoreApplication::applicationDirPath() in the real program).
    HostKeeper(QString iniPath, QString studioFolder, QObject* parent = nullptr);
    // Stops the host this keeper started.
    ~HostKeeper() override;

    State state() const { return state_; }
    // The process id of the host this keeper started and that still runs; 0 otherwise.
    qint64 hostPid() const;
    // The program of the last host started; empty when none was.
    QString hostProgram() const { return program_; }

    // Looks for a bridge; when none answers, starts the host (QKS_HOST, the settings' path,
    // ../bin/qkshost) as "qkshost --serve --no-stdin" with the Studio's environment. Does
    // nothing while a host it started is starting or running, or a bridge it did not start
    // answers.
    void ensureHost();
    // Stops the host this keeper started: SIGTERM, then SIGKILL after kStopWaitMs. A host it
    // did not start is never touched.
    void stopHost();

  signals:
    // A host process was started; the bridge is awaited.
    void hostStarting(const QString& program);
    // A bridge answers (ours or one already running): the window may connect now.
    void bridgeReady();
    // Our host ended while the Studio runs; a restart is under way.
    void hostExited(const QString& reason);
    // No host could be started, or the restarted one failed too: the user must act.
    void hostFailed(const QString& reason);

  private:
    void startProcess();
    void pollBridge();
    void processEnded(const QString& reason);
    void fail(const QString& reason);
    void discardProcess();

    QString iniPath_;
    QString studioFolder_;
    State state_ = State::Idle;
    QString program_;
    QProcess* process_ = nullptr;
    QTimer* pollTimer_ = nullptr;
    QElapsedTimer startClock_;
    QElapsedTimer restartClock_;  // since the last restart; invalid before the first
    bool restarting_ = false;     // the current start replaces a host that died
};

}  // namespace qks::studio
