#pragma once
// "自动套料": parts from a selection in the host or from drawings, sheet stock and
// parameters, the nest job, and a live preview drawn from the files the job rewrites.
// The page joins three parts, each with its own interface: the settings form, the parts
// table and the preview.

#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

#include "qks/contract/states.h"
#include "qks/studio/bridgeclient.h"
#include "qks/studio/files.h"
#include "qks/studio/jobfilewatcher.h"
#include "qks/studio/partsfile.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace qks::studio {

class NestPartsTable;
class NestPreview;
class NestSettingsForm;

class NestPage : public QWidget {
    Q_OBJECT
  public:
    // `bridge` is the window's bridge client, `files` its job file watcher, neither owned
    // (nullptr: never connected; the files read only when poll() is called). Loads what an
    // earlier run left in the temporary folder and follows its changes.
    NestPage(BridgeClient* bridge, JobFileWatcher* files, QWidget* parent);

    NestSettingsForm& form() const { return *form_; }
    NestPartsTable& partsTable() const { return *table_; }
    NestPreview& preview() const { return *preview_; }

    // State read from the job's files and the user's choices.
    const QVector<PartRow>& parts() const;
    contract::PartSource source() const { return source_; }
    // Nothing before a run and after a STATE word this Studio does not know.
    std::optional<contract::JobState> jobState() const { return jobState_; }
    bool running() const { return running_; }
    bool canStart() const;
    bool canStop() const;

    // What the page shows of itself: the state chip, the part count beside the source
    // buttons, the hint under them and the log's lines.
    QString stateText() const;
    QString partCountText() const;
    QString hintText() const;
    QStringList logLines() const;
    void appendLog(const QString& line);

    // The field a script names: parts, state, log, and those of the form and the preview;
    // nullptr when unknown.
    QWidget* field(const QString& name) const;

    // Asked before a pick is sent: false when there is nothing to pick in (the drawing window
    // shows no drawing). Unset: every pick is sent.
    void setPickPrecheck(std::function<bool()> precheck) { pickPrecheck_ = std::move(precheck); }

    // Nest drawings written in this session. 保留已锁定零件 can be ticked while the layout file
    // beside the latest of them holds locked parts (looked at again whenever the page is shown
    // and before a start, since 调整 in the drawing window rewrites it).
    void addSessionDrawings(const QStringList& drawings);
    void refreshLockedLayout();

  signals:
    // The person asks to see drawings a job wrote in the drawing window.
    void openDrawingsRequested(const QStringList& drawings);
    // A run this page followed wrote these nest drawings (each with its layout file beside it).
    void nestDrawingsWritten(const QStringList& drawings);
    // A pick needs a drawing in the drawing window first.
    void drawingWindowNeeded();

  public slots:
    void pickFromCad();
    void chooseFiles();
    void useCurrentDrawing();
    void start();
    void stop();
    void poll();
    void loadPartsFile();
    void loadProgressFile();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::function<bool()> pickPrecheck_;
    QStringList sessionDrawings_;
    void setParts(QVector<PartRow> parts);
    void showTally();
    void showLogTail(int lines, bool trim);

    // Sends a nest command, or refuses it as the client does while the link is down.
    void sendNest(void (BridgeClient::*command)(QObject*, BridgeClient::NestCommandReply),
                  BridgeClient::NestCommandReply done);

    BridgeClient* bridge_ = nullptr;
    bool startSent_ = false;  // a start waits for the bridge's answer
    NestSettingsForm* form_ = nullptr;
    NestPartsTable* table_ = nullptr;
    NestPreview* preview_ = nullptr;
    QLabel* stateChip_ = nullptr;
    QLabel* partCountLabel_ = nullptr;
    QLabel* hintLabel_ = nullptr;
    QPlainTextEdit* logView_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;

    QStringList files_;
    contract::PartSource source_ = contract::PartSource::Picked;
    SignatureWatch partsWatch_;
    SignatureWatch progressWatch_;
    SignatureWatch logWatch_;
    std::optional<contract::JobState> jobState_;
    // From an accepted start until the job's DONE or FATAL line: the search, then the output
    // step, which writes the drawing after the search has ended.
    bool running_ = false;
    bool logChanged_ = false;  // the log was written since the start (its last lines are ours)
    bool doneSeen_ = false;    // the DONE line was read, the drawing's line not yet
    QPushButton* drawingButton_ = nullptr;
    void finishIfEnded();
    // `followed`: the run was followed from its start (not found ended at start-up).
    void showEnded(bool failed, bool followed);
};

}  // namespace qks::studio
