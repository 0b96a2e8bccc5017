#include "qks/studio/ui/jobpage.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include "jobfollow.h"
#include "qks/studio/bridge.h"
#include "qks/studio/files.h"
#include "qks/studio/jobconfig.h"
#include "qks/studio/logtail.h"
#include "qks/studio/ui/dialogs.h"
#include "widgets.h"

namespace qks::studio {
namespace {

const QString kCurrentSource = QStringLiteral("current");

}  // namespace

JobPage::JobPage(BridgeClient* bridge, JobFileWatcher* files, QString filesTitle, QWidget* parent)
    : QWidget(parent), bridge_(bridge), files_(files), filesTitle_(std::move(filesTitle)) {
    pageLayout = new QVBoxLayout(this);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(12);
}

bool JobPage::running() const {
    return follow_->running();
}

void JobPage::addFiles() {
    addDrawingPaths(fileList, studioDialogs().openFiles(this, filesTitle_, drawingFileFilters()));
}

void JobPage::addFolder() {
    const QString folder =
        studioDialogs().folder(this, QStringLiteral("选择包含图纸的文件夹"), QString());
    if (!folder.isEmpty()) addDrawingPaths(fileList, drawingFilesInFolder(folder));
}

QHBoxLayout* JobPage::addHeader(const QString& title, const QString& idleStatus) {
    auto* header = new QHBoxLayout();
    header->addWidget(makeLabel(title, "sectionTitle", this));
    header->addStretch();
    statusLabel = makeLabel(idleStatus, "sectionCount", this);
    header->addWidget(statusLabel);
    pageLayout->addLayout(header);
    return header;
}

QPushButton* JobPage::addToolHeader(const QString& title, const QString& idleStatus) {
    QHBoxLayout* header = addHeader(title, idleStatus);
    QPushButton* back = makeButton(QStringLiteral("返回"), "ghostButton", this);
    header->addSpacing(6);
    header->addWidget(back);
    return back;
}

QGridLayout* JobPage::addFormGrid() {
    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    pageLayout->addLayout(grid);
    return grid;
}

JobPage::PathRow JobPage::addPathRow(QGridLayout* grid, int row, const QString& label,
                                     const QString& path) {
    auto* edit = new QLineEdit(path, this);
    edit->setObjectName(QStringLiteral("formInput"));
    QPushButton* choose = makeButton(QStringLiteral("选择"), "ghostButton", this);
    grid->addWidget(makeLabel(label, "formLabel", this), row, 0);
    grid->addWidget(edit, row, 1, 1, 3);
    grid->addWidget(choose, row, 4);
    return {edit, choose};
}

QListWidget* JobPage::makeFileList() {
    auto* list = new QListWidget(this);
    list->setObjectName(QStringLiteral("fileList"));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    return list;
}

QWidget* JobPage::makeFileButtons() {
    auto* row = new QWidget(this);
    auto* buttons = new QHBoxLayout(row);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(8);
    QPushButton* addFilesButton = makeButton(QStringLiteral("添加文件"), "ghostButton", row);
    QPushButton* addFolderButton = makeButton(QStringLiteral("添加文件夹"), "ghostButton", row);
    QPushButton* clearButton = makeButton(QStringLiteral("清空"), "ghostButton", row);
    for (QPushButton* button : {addFilesButton, addFolderButton, clearButton})
        buttons->addWidget(button);
    buttons->addStretch();
    connect(addFilesButton, &QPushButton::clicked, this, &JobPage::addFiles);
    connect(addFolderButton, &QPushButton::clicked, this, &JobPage::addFolder);
    // The list may be made after its buttons.
    connect(clearButton, &QPushButton::clicked, this, [this] { fileList->clear(); });
    return row;
}

void JobPage::showFilesWhileChosen(QComboBox* target, QWidget* fileButtons) {
    const auto show = [this, target, fileButtons] {
        const bool files = target->currentData().toString() == QLatin1String("files");
        fileButtons->setVisible(files);
        fileList->setVisible(files);
    };
    show();
    connect(target, QOverload<int>::of(&QComboBox::currentIndexChanged), this, show);
}

JobPage::SourceColumn JobPage::makeSourceColumn() {
    auto* column = new QWidget(this);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    QComboBox* source = makeChoiceCombo({{QStringLiteral("多个文件"), QStringLiteral("files")},
                                         {QStringLiteral("当前图纸"), kCurrentSource}},
                                        column);
    QWidget* fileButtons = makeFileButtons();
    auto* sourceRow = new QHBoxLayout();
    sourceRow->addWidget(makeLabel(QStringLiteral("图纸来源"), "formLabel", column));
    sourceRow->addWidget(source, 1);
    layout->addLayout(sourceRow);
    layout->addWidget(fileButtons);
    fileList = makeFileList();
    fileList->setMinimumHeight(60);
    fileList->setMaximumHeight(90);
    layout->addWidget(fileList);
    // Beside a taller form the column keeps its rows together at the top.
    layout->addStretch();
    showFilesWhileChosen(source, fileButtons);
    return {column, source, fileButtons};
}

bool JobPage::currentDrawingChosen(const QComboBox* source) {
    return source->currentData().toString() == kCurrentSource;
}

QHBoxLayout* JobPage::addActions(const QString& startText, const QString& hint) {
    auto* actions = new QHBoxLayout();
    startButton = makeButton(startText, "primaryButton", this);
    openButton = makeButton(QStringLiteral("打开输出目录"), "ghostButton", this);
    drawingButton = makeButton(kOpenInDrawingWindow, "ghostButton", this);
    drawingButton->hide();
    actions->addWidget(startButton);
    actions->addWidget(openButton);
    actions->addWidget(drawingButton);
    connect(drawingButton, &QPushButton::clicked, this, [this] {
        const QStringList drawings = drawingsWritten(readWholeFile(logPath_));
        if (!drawings.isEmpty()) emit openDrawingsRequested(drawings);
    });
    actions->addSpacing(6);
    actions->addWidget(makeLabel(hint, "sectionCount", this));
    actions->addStretch();
    pageLayout->addLayout(actions);
    return actions;
}

void JobPage::addLog(const QString& placeholder, const JobTexts& texts) {
    logView = new QPlainTextEdit(this);
    logView->setObjectName(QStringLiteral("plotLog"));
    logView->setReadOnly(true);
    logView->setPlaceholderText(placeholder);
    pageLayout->addWidget(logView, 1);

    follow_ = new JobFollow(files_, logView, startButton, statusLabel, texts, this);
    connect(follow_, &JobFollow::ended, this, &JobPage::jobEnded);
    connect(follow_, &JobFollow::ended, this, &JobPage::offerDrawings);
}

void JobPage::addResultsAndLog(QWidget* results, const QString& placeholder,
                               const JobTexts& texts) {
    addLog(placeholder, texts);
    pageLayout->removeWidget(logView);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(results);
    split->addWidget(logView);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);
    logView->setMinimumHeight(48);
    pageLayout->addWidget(split, 1);
}

void JobPage::chooseFolder(QLineEdit* edit, const QString& title) {
    const QString folder = studioDialogs().folder(this, title, edit->text());
    if (!folder.isEmpty()) edit->setText(folder);
}

bool JobPage::prepareJob(const QString& folder) {
    if (!QDir().mkpath(folder)) {
        appendLogLine(logView, QStringLiteral("[错误] 无法创建目录：%1").arg(folder));
        return false;
    }
    if (!JobFollow::ensureConnected(bridge_)) {
        appendLogLine(logView, kNotConnectedJobLine);
        return false;
    }
    return true;
}

bool JobPage::prepareDrawingJob(DrawingJobForm& form, const QLineEdit* outDirEdit,
                                const QComboBox* source, const QString& noFilesLine) {
    form.outDir = outDirEdit->text().trimmed();
    if (form.outDir.isEmpty()) {
        appendLogLine(logView, QStringLiteral("[错误] 请先选择输出目录"));
        return false;
    }
    form.currentDrawing = currentDrawingChosen(source);
    form.files = drawingPaths(fileList);
    if (!form.currentDrawing && form.files.isEmpty()) {
        appendLogLine(logView, noFilesLine);
        return false;
    }
    return prepareJob(form.outDir);
}

void JobPage::sendJob(const QString& configPath, const QByteArray& config, const QString& logPath,
                      const JobSubmit& command) {
    if (!writeJobFile(configPath, config)) {
        appendLogLine(logView, kConfigWriteFailedLine);
        return;
    }
    logPath_ = logPath;
    if (drawingButton) drawingButton->hide();
    follow_->submit(*bridge_, logPath, command);
}

JobPage::JobSubmit JobPage::withConfig(ConfigCommand command, const QString& configPath) {
    return [command, configPath](BridgeClient& bridge, QObject* receiver,
                                 BridgeClient::JobReply done) {
        (bridge.*command)(configPath, receiver, std::move(done));
    };
}

void JobPage::offerDrawings() {
    if (drawingButton)
        drawingButton->setVisible(!drawingsWritten(readWholeFile(logPath_)).isEmpty());
}

}  // namespace qks::studio
