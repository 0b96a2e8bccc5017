#include "qks/studio/ui/nestpage.h"

#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "qks/contract/nest_layout_format.h"
#include "qks/studio/bridge.h"
#include "qks/studio/jobconfig.h"
#include "qks/studio/logtail.h"
#include "qks/studio/ui/dialogs.h"
#include "qks/studio/ui/nestform.h"
#include "qks/studio/ui/nestparts.h"
#include "qks/studio/ui/nestpreview.h"
#include "widgets.h"

namespace qks::studio {
namespace {

// How long a DONE line waits for the drawing's line before the run counts as ended.
constexpr int kDrawingLineWaitMs = 400;

QFrame* makePanel(QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(QStringLiteral("panelCard"));
    return frame;
}

}  // namespace

NestPage::NestPage(BridgeClient* bridge, JobFileWatcher* files, QWidget* parent)
    : QWidget(parent), bridge_(bridge) {
    // The form is larger than the smallest window: it scrolls instead of overlapping. The
    // actions stay below it, in reach whatever the window's height.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("scroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);
    auto* content = new QWidget(scroll);
    auto* page = new QVBoxLayout(content);
    page->setContentsMargins(0, 0, 8, 0);
    page->setSpacing(12);

    auto* header = new QHBoxLayout();
    header->addWidget(makeLabel(QStringLiteral("自动套料"), "sectionTitle", this));
    header->addWidget(makeLabel(QStringLiteral("框选零件 · 实时预览 · 后台优化 · 越算越省料"),
                                "sectionCount", this));
    header->addStretch();
    stateChip_ = makeLabel(QStringLiteral("待命"), "chip", this);
    header->addWidget(stateChip_);
    page->addLayout(header);

    // Body: parts on the left, preview and log on the right, in equal halves so the parts
    // table shows all its columns, names included, at the default window width.
    auto* body = new QHBoxLayout();
    QFrame* left = makePanel(this);
    auto* leftColumn = new QVBoxLayout(left);
    leftColumn->setContentsMargins(14, 12, 14, 12);
    leftColumn->setSpacing(8);
    auto* sourceRow = new QHBoxLayout();
    sourceRow->addWidget(makeLabel(QStringLiteral("零件来源"), "panelTitle", left));
    sourceRow->addStretch();
    partCountLabel_ = makeLabel(QStringLiteral("尚未选择零件"), "sectionCount", left);
    sourceRow->addWidget(partCountLabel_);
    leftColumn->addLayout(sourceRow);
    auto* sourceButtons = new QHBoxLayout();
    sourceButtons->setSpacing(6);
    QPushButton* pickButton = makeButton(QStringLiteral("在图纸窗口中框选"), "primaryButton", left);
    QPushButton* filesButton = makeButton(QStringLiteral("选择 DWG"), "ghostButton", left);
    QPushButton* currentButton = makeButton(QStringLiteral("当前图全部"), "ghostButton", left);
    sourceButtons->addWidget(pickButton);
    sourceButtons->addWidget(filesButton);
    sourceButtons->addWidget(currentButton);
    leftColumn->addLayout(sourceButtons);
    hintLabel_ = makeLabel(QStringLiteral("提示：在图纸窗口中框选后回车确认，零件自动载入列表"),
                           "sectionCount", left);
    hintLabel_->setWordWrap(true);
    leftColumn->addWidget(hintLabel_);
    table_ = new NestPartsTable(left);
    leftColumn->addWidget(table_, 1);
    body->addWidget(left, 1);

    preview_ = new NestPreview(this);
    logView_ = new QPlainTextEdit(preview_);
    logView_->setObjectName(QStringLiteral("plotLog"));
    logView_->setReadOnly(true);
    logView_->setMaximumBlockCount(400);
    logView_->setMinimumHeight(96);
    logView_->setMaximumHeight(130);
    preview_->addBelow(logView_);
    body->addWidget(preview_, 1);
    page->addLayout(body, 1);

    form_ = new NestSettingsForm(this);
    page->addWidget(form_);

    auto* actions = new QHBoxLayout();
    startButton_ = makeButton(QStringLiteral("开始套料"), "primaryButton", this);
    startButton_->setMinimumSize(150, 38);
    stopButton_ = makeButton(QStringLiteral("停止并采用当前最优"), "ghostButton", this);
    stopButton_->setFixedHeight(38);
    stopButton_->setEnabled(false);
    QPushButton* openButton = makeButton(QStringLiteral("打开输出目录"), "ghostButton", this);
    openButton->setFixedHeight(38);
    actions->addWidget(startButton_);
    actions->addWidget(stopButton_);
    drawingButton_ = makeButton(kOpenInDrawingWindow, "ghostButton", this);
    drawingButton_->setFixedHeight(38);
    actions->addStretch();
    actions->addWidget(drawingButton_);
    actions->addWidget(openButton);
    actions->setContentsMargins(0, 8, 8, 0);
    scroll->setWidget(content);
    outer->addLayout(actions);

    connect(pickButton, &QPushButton::clicked, this, &NestPage::pickFromCad);
    connect(filesButton, &QPushButton::clicked, this, &NestPage::chooseFiles);
    connect(currentButton, &QPushButton::clicked, this, &NestPage::useCurrentDrawing);
    connect(startButton_, &QPushButton::clicked, this, &NestPage::start);
    connect(stopButton_, &QPushButton::clicked, this, &NestPage::stop);
    connect(openButton, &QPushButton::clicked, this,
            [this] { studioDialogs().openFolder(form_->values().outDirText.trimmed()); });
    connect(table_, &NestPartsTable::partsEdited, this, &NestPage::showTally);
    // The nest drawing is written after the search ends, so the log is read when asked.
    connect(drawingButton_, &QPushButton::clicked, this, [this] {
        const QStringList drawings = drawingsWritten(readWholeFile(tempFilePath(kNestLogName)));
        if (drawings.isEmpty())
            appendLog(QStringLiteral("[提示] 还没有生成套料图"));
        else
            emit openDrawingsRequested(drawings);
    });

    // Whatever an earlier run left behind is shown at once.
    if (partsWatch_.changed(tempFilePath(kNestPartsName))) loadPartsFile();
    if (progressWatch_.changed(tempFilePath(kNestProgressName)))
        loadProgressFile();
    else
        preview_->redraw();
    if (files)
        files->subscribe({tempFilePath(kNestPartsName), tempFilePath(kNestProgressName),
                          tempFilePath(kNestLogName)},
                         this, [this](const QString&) { poll(); });
}

const QVector<PartRow>& NestPage::parts() const {
    return table_->parts();
}

bool NestPage::canStart() const {
    return startButton_->isEnabled();
}

bool NestPage::canStop() const {
    return stopButton_->isEnabled();
}

QString NestPage::stateText() const {
    return stateChip_->text();
}

QString NestPage::partCountText() const {
    return partCountLabel_->text();
}

QString NestPage::hintText() const {
    return hintLabel_->text();
}

QStringList NestPage::logLines() const {
    return logView_->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QWidget* NestPage::field(const QString& name) const {
    if (name == QLatin1String("parts")) return partCountLabel_;
    if (name == QLatin1String("state")) return stateChip_;
    if (name == QLatin1String("log")) return logView_;
    if (QWidget* widget = form_->field(name)) return widget;
    return preview_->field(name);
}

void NestPage::appendLog(const QString& line) {
    appendLogLine(logView_, line);
}

void NestPage::setParts(QVector<PartRow> parts) {
    preview_->setParts(parts);
    table_->setParts(std::move(parts));
}

void NestPage::pickFromCad() {
    // With nothing in the drawing window the host would ask for a selection no one can make.
    if (pickPrecheck_ && !pickPrecheck_()) {
        appendLog(QStringLiteral("[提示] 请先在图纸窗口中打开图纸，再框选零件"));
        emit drawingWindowNeeded();
        return;
    }
    source_ = contract::PartSource::Picked;
    setParts({});
    partCountLabel_->setText(QStringLiteral("等待框选"));
    hintLabel_->setText(QStringLiteral("请在图纸窗口中框选零件，回车确认"));
    appendLog(QStringLiteral("[操作] 已发送框选命令，请在图纸窗口中选择零件"));
    partsWatch_.forget();
    sendNest(&BridgeClient::nestPick, [this](const NestReply& reply) {
        if (!reply.logLine.isEmpty()) appendLog(reply.logLine);
        if (reply.accepted) startButton_->setEnabled(true);
    });
}

void NestPage::sendNest(void (BridgeClient::*command)(QObject*, BridgeClient::NestCommandReply),
                        BridgeClient::NestCommandReply done) {
    if (bridge_)
        (bridge_->*command)(this, std::move(done));
    else
        done({false, kNotConnectedNestLine});
}

void NestPage::chooseFiles() {
    const QStringList chosen = studioDialogs().openFiles(this, QStringLiteral("选择零件图纸"),
                                                         QStringLiteral("CAD 图纸 (*.dwg *.dxf)"));
    if (chosen.isEmpty()) return;
    source_ = contract::PartSource::Files;
    files_ = chosen;
    setParts({});
    partCountLabel_->setText(QStringLiteral("已选 %1 个文件").arg(files_.size()));
    QStringList names;
    for (const QString& path : files_)
        names.append(QFileInfo(path).fileName());
    hintLabel_->setText(names.join(QStringLiteral("、")));
    partsWatch_.forget();
    appendLog(QStringLiteral("[操作] 将套料 %1 个 DWG 文件").arg(files_.size()));
}

void NestPage::useCurrentDrawing() {
    source_ = contract::PartSource::Current;
    setParts({});
    partCountLabel_->setText(QStringLiteral("当前图纸全部轮廓"));
    hintLabel_->setText(QStringLiteral("套料当前图纸模型空间中的全部闭合轮廓"));
    partsWatch_.forget();
    appendLog(QStringLiteral("[操作] 使用当前图纸全部闭合轮廓"));
}

void NestPage::start() {
    if (startSent_) return;
    if (source_ == contract::PartSource::Picked && table_->parts().isEmpty()) {
        appendLog(QStringLiteral("[提示] 请先在图纸窗口中框选零件"));
        return;
    }
    if (source_ == contract::PartSource::Files && files_.isEmpty()) {
        appendLog(QStringLiteral("[提示] 请先选择 DWG 文件"));
        return;
    }
    refreshLockedLayout();
    NestForm form = form_->values();
    form.source = source_;
    form.files = files_;
    const QString configPath = tempFilePath(kNestConfigName);
    // Without a fresh config the plug-in would run whatever an earlier job left there.
    if (!writeJobFile(configPath, jobFileBytes(contract::writeNestConfig(nestJobConfig(
                                      form, table_->parts(), tempFilePath(kNestPartsName),
                                      tempFilePath(kNestLogName)))))) {
        appendLog(kConfigWriteFailedLine);
        return;
    }
    logView_->clear();
    appendLog(QStringLiteral("[套料] 已开始，先出首版预览，随后持续优化..."));
    preview_->forgetRun();
    partsWatch_.forget();
    jobState_ = contract::JobState::Running;
    // What the log holds now is an earlier job's: only lines written after this are ours.
    logWatch_.forget();
    logWatch_.changed(tempFilePath(kNestLogName));
    logChanged_ = false;
    doneSeen_ = false;
    const auto started = [this](const NestReply& reply) {
        startSent_ = false;
        if (!reply.logLine.isEmpty()) appendLog(reply.logLine);
        if (!reply.accepted) return;
        running_ = true;
        startButton_->setEnabled(false);
        stopButton_->setEnabled(true);
        drawingButton_->setEnabled(false);
        stateChip_->setText(QStringLiteral("优化中"));
        // What the job wrote before its answer came is read now.
        poll();
    };
    startSent_ = true;
    if (bridge_)
        bridge_->nest(configPath, this, started);
    else
        started({false, kNotConnectedNestLine});
}

void NestPage::stop() {
    if (!running_) return;
    sendNest(&BridgeClient::nestStop, [this](const NestReply& reply) {
        if (!reply.logLine.isEmpty()) appendLog(reply.logLine);
    });
    stateChip_->setText(QStringLiteral("正在停止，采用当前最优"));
}

void NestPage::poll() {
    if (partsWatch_.changed(tempFilePath(kNestPartsName))) loadPartsFile();
    if (progressWatch_.changed(tempFilePath(kNestProgressName))) loadProgressFile();
    if (!running_) return;
    if (logWatch_.changed(tempFilePath(kNestLogName))) logChanged_ = true;
    showLogTail(120, false);
    finishIfEnded();
}

void NestPage::finishIfEnded() {
    const QByteArray log = readWholeFile(tempFilePath(kNestLogName));
    const JobEnd end = logChanged_ ? JobLogTail::interpret(log).end : JobEnd::None;
    const bool searchEnded =
        jobState_ == contract::JobState::Done || jobState_ == contract::JobState::Stopped;
    if (end == JobEnd::Done && searchEnded && drawingsWritten(log).isEmpty() && !doneSeen_) {
        // The drawing's line follows the DONE line: one more poll reads it, when the log grows
        // or a moment later.
        doneSeen_ = true;
        QTimer::singleShot(kDrawingLineWaitMs, this, &NestPage::poll);
        return;
    }
    if (end == JobEnd::Failed || (end == JobEnd::Done && searchEnded)) {
        showEnded(end == JobEnd::Failed, true);
        return;
    }
    if (!searchEnded) return;
    // The search has ended and the output step is writing the drawing.
    stopButton_->setEnabled(false);
    stateChip_->setText(QStringLiteral("正在生成套料图…"));
}

void NestPage::showEnded(bool failed, bool followed) {
    running_ = false;
    startButton_->setEnabled(true);
    stopButton_->setEnabled(false);
    drawingButton_->setEnabled(true);
    if (failed)
        stateChip_->setText(QStringLiteral("套料失败"));
    else
        stateChip_->setText(jobState_ == contract::JobState::Done
                                ? QStringLiteral("优化完成")
                                : QStringLiteral("已停止 · 采用最优"));
    showLogTail(80, true);
    const QStringList drawings = followed && !failed
                                     ? drawingsWritten(readWholeFile(tempFilePath(kNestLogName)))
                                     : QStringList();
    if (!drawings.isEmpty()) {
        appendLog(QStringLiteral("[套料] 套料图已生成，可在图纸窗口打开"));
        addSessionDrawings(drawings);
        emit nestDrawingsWritten(drawings);
    }
}

void NestPage::addSessionDrawings(const QStringList& drawings) {
    for (const QString& drawing : drawings) {
        sessionDrawings_.removeAll(drawing);
        sessionDrawings_.append(drawing);
    }
    refreshLockedLayout();
}

void NestPage::refreshLockedLayout() {
    QString locked;
    if (!sessionDrawings_.isEmpty()) {
        const QString path = QString::fromStdString(
            contract::layoutPathFor(sessionDrawings_.constLast().toStdString()));
        std::string error;
        const std::optional<contract::NestLayout> layout =
            contract::readLayout(readWholeFile(path).toStdString(), &error);
        for (std::size_t s = 0; layout && s < layout->sheets.size() && locked.isEmpty(); ++s)
            for (const contract::LayoutPlacement& at : layout->sheets[s].placements)
                if (at.locked) locked = path;
    }
    form_->setLockedLayout(locked);
}

void NestPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refreshLockedLayout();
}

void NestPage::showLogTail(int lines, bool trim) {
    const QStringList tail = lastLogLines(readWholeFile(tempFilePath(kNestLogName)), lines, trim);
    if (trim) {
        logView_->clear();
        for (const QString& line : tail)
            appendLog(line);
    } else {
        logView_->setPlainText(tail.join(QLatin1Char('\n')));
    }
    logView_->verticalScrollBar()->setValue(logView_->verticalScrollBar()->maximum());
}

void NestPage::loadPartsFile() {
    QVector<PartRow> fresh = parsePartsFile(readWholeFile(tempFilePath(kNestPartsName)));
    keepUserChoices(table_->parts(), fresh);
    setParts(std::move(fresh));
    showTally();
    hintLabel_->setText(QStringLiteral("已载入零件轮廓，可在下方调整数量后开始套料"));
}

void NestPage::showTally() {
    const auto [kinds, pieces] = partTally(table_->parts());
    partCountLabel_->setText(QStringLiteral("%1 种 / %2 件").arg(kinds).arg(pieces));
}

void NestPage::loadProgressFile() {
    const ProgressSnapshot records =
        parseProgressFile(readWholeFile(tempFilePath(kNestProgressName)));
    if (records.state) jobState_ = contract::jobStateFromWord(records.state->toStdString());
    preview_->showProgress(records);

    if (jobState_ != contract::JobState::Done && jobState_ != contract::JobState::Stopped) return;
    // A run this page started is followed to its DONE line (poll reads the log); one found at
    // start-up has ended.
    if (!running_) showEnded(false, false);
}

}  // namespace qks::studio
