#pragma once
// The frame the plot and merge pages share: a title with the page's status, a drawing-file
// list fed from the file dialogs, start and open-folder buttons, and a log that follows the
// job the page submitted over the bridge.

#include <QString>
#include <QWidget>
#include <functional>

#include "qks/studio/bridgeclient.h"
#include "qks/studio/jobconfig.h"
#include "qks/studio/jobfilewatcher.h"
#include "qks/studio/logtail.h"

class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace qks::studio {

class JobFollow;
struct JobTexts;

class JobPage : public QWidget {
    Q_OBJECT
  public:
    bool running() const;

    // Widgets; public so tests and scripted runs can drive the form.
    QListWidget* fileList = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* openButton = nullptr;
    // "在图纸窗口打开": shown once a job's log names drawings it wrote.
    QPushButton* drawingButton = nullptr;
    QPlainTextEdit* logView = nullptr;
    QLabel* statusLabel = nullptr;

  signals:
    // The person asks to see drawings a job wrote in the drawing window.
    void openDrawingsRequested(const QStringList& drawings);

  public slots:
    void addFiles();
    void addFolder();

  protected:
    // `bridge` is the window's bridge client and `files` its job file watcher (which follows the
    // job's log), neither owned (both may be nullptr: never connected, the log never followed);
    // `filesTitle` titles the dialog of addFiles().
    JobPage(BridgeClient* bridge, JobFileWatcher* files, QString filesTitle, QWidget* parent);

    // How a page submits its job: one of the bridge client's job commands.
    using JobSubmit =
        std::function<void(BridgeClient& bridge, QObject* receiver, BridgeClient::JobReply done)>;
    using ConfigCommand = void (BridgeClient::*)(const QString& configPath, QObject* receiver,
                                                 BridgeClient::JobReply done);
    // `command` for the config at `configPath`.
    static JobSubmit withConfig(ConfigCommand command, const QString& configPath);

    // Builders of the page's rows, top to bottom. The pages call them in the order their
    // widgets are made, which is also the keyboard focus order.
    // The header row and the actions row are returned so a page can add its own buttons.
    QHBoxLayout* addHeader(const QString& title, const QString& idleStatus);
    // addHeader for a page a card opens, with its "返回" button last; returns the button.
    QPushButton* addToolHeader(const QString& title, const QString& idleStatus);
    QGridLayout* addFormGrid();
    // A form row: `label`, a line edit holding `path` and a "选择" button after it.
    struct PathRow {
        QLineEdit* edit;
        QPushButton* choose;
    };
    PathRow addPathRow(QGridLayout* grid, int row, const QString& label, const QString& path);
    QListWidget* makeFileList();
    // "添加文件", "添加文件夹" and "清空" for `fileList`, in a widget of their own.
    QWidget* makeFileButtons();
    // Shows `fileButtons` and `fileList` only while `target` chooses files (item data
    // "files") rather than the current drawing.
    void showFilesWhileChosen(QComboBox* target, QWidget* fileButtons);
    // The drawings a job reads, in a column of its own: a "图纸来源" choice between several
    // files (`fileList` with its buttons) and the host's current drawing.
    struct SourceColumn {
        QWidget* column;
        QComboBox* source;
        QWidget* fileButtons;
    };
    SourceColumn makeSourceColumn();
    // True when `source` of a source column chooses the host's current drawing.
    static bool currentDrawingChosen(const QComboBox* source);
    QHBoxLayout* addActions(const QString& startText, const QString& hint);
    // The log view, filling the rest of the page, and what follows the job's log into it.
    void addLog(const QString& placeholder, const JobTexts& texts);
    // addLog with `results` above the log: the two share the height the form leaves, and the
    // person decides how.
    void addResultsAndLog(QWidget* results, const QString& placeholder, const JobTexts& texts);
    // Puts the folder the person chose into `edit`; a cancelled dialog leaves it.
    void chooseFolder(QLineEdit* edit, const QString& title);

    // Makes `folder`, then the bridge link; false (with the reason in the log) means the
    // page must not send anything.
    bool prepareJob(const QString& folder);
    // Fills the output folder and drawings of `form` from the page's source column; prepared
    // as prepareJob does. False (with the reason in the log) means the page must not send
    // anything; `noFilesLine` is the reason when files are chosen but none is listed.
    bool prepareDrawingJob(DrawingJobForm& form, const QLineEdit* outDirEdit,
                           const QComboBox* source, const QString& noFilesLine);
    // Writes `config` to `configPath` and submits the job with `command`, then follows
    // `logPath`. Sends nothing when the config cannot be written.
    void sendJob(const QString& configPath, const QByteArray& config, const QString& logPath,
                 const JobSubmit& command);
    // Called once the followed log reached its end.
    virtual void jobEnded(JobEnd end) { Q_UNUSED(end); }

    QVBoxLayout* pageLayout = nullptr;

  private:
    void offerDrawings();

    BridgeClient* bridge_ = nullptr;
    JobFileWatcher* files_ = nullptr;
    QString filesTitle_;
    QString logPath_;
    JobFollow* follow_ = nullptr;
};

}  // namespace qks::studio
