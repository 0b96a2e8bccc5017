#include "qks/studio/ui/plotpage.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalSocket>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "jobfollow.h"
#include "qks/studio/bridge.h"
#include "qks/studio/files.h"
#include "qks/studio/jobconfig.h"
#include "qks/studio/ui/dialogs.h"
#include "widgets.h"

namespace qks::studio {
namespace {

const QString kIdleStatus = QStringLiteral("多个 DWG/DXF 一次转 PDF，支持按图框拆图");

QComboBox* makeCombo(const QVector<QPair<QString, QString>>& items, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QStringLiteral("formInput"));
    for (const auto& item : items)
        combo->addItem(item.first, item.second);
    combo->setCurrentIndex(0);
    return combo;
}

}  // namespace

PlotPage::PlotPage(QLocalSocket* socket, QWidget* parent) : QWidget(parent), socket(socket) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(12);

    auto* header = new QHBoxLayout();
    header->addWidget(makeLabel(QStringLiteral("批量出图"), "sectionTitle", this));
    header->addStretch();
    statusLabel = makeLabel(kIdleStatus, "sectionCount", this);
    header->addWidget(statusLabel);
    page->addLayout(header);

    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    outDirEdit = new QLineEdit(inDocuments(QStringLiteral("QKS 出图")), this);
    outDirEdit->setObjectName(QStringLiteral("formInput"));
    QPushButton* chooseButton = makeButton(QStringLiteral("选择"), "ghostButton", this);
    grid->addWidget(makeLabel(QStringLiteral("输出目录"), "formLabel", this), 0, 0);
    grid->addWidget(outDirEdit, 0, 1, 1, 3);
    grid->addWidget(chooseButton, 0, 4);

    prefixEdit = new QLineEdit(this);
    prefixEdit->setObjectName(QStringLiteral("formInput"));
    prefixEdit->setPlaceholderText(QStringLiteral("可留空，例如：项目号"));
    grid->addWidget(makeLabel(QStringLiteral("文件名前缀"), "formLabel", this), 1, 0);
    grid->addWidget(prefixEdit, 1, 1, 1, 3);

    styleCombo =
        makeCombo({{QStringLiteral("黑白 monochrome.ctb"), QStringLiteral("monochrome.ctb")},
                   {QStringLiteral("灰度 grayscale.ctb"), QStringLiteral("grayscale.ctb")},
                   {QStringLiteral("沿用布局样式"), QString()}},
                  this);
    scopeCombo = makeCombo({{QStringLiteral("全部布局"), QStringLiteral("all")},
                            {QStringLiteral("仅当前布局"), QStringLiteral("current")},
                            {QStringLiteral("按图框拆图"), QStringLiteral("frames")},
                            {QStringLiteral("仅模型空间"), QStringLiteral("model")}},
                           this);
    targetCombo = makeCombo({{QStringLiteral("当前图纸"), QStringLiteral("current")},
                             {QStringLiteral("多个文件"), QStringLiteral("files")}},
                            this);
    grid->addWidget(makeLabel(QStringLiteral("打印样式"), "formLabel", this), 2, 0);
    grid->addWidget(styleCombo, 2, 1);
    grid->addWidget(makeLabel(QStringLiteral("出图范围"), "formLabel", this), 2, 2);
    grid->addWidget(scopeCombo, 2, 3);

    fileButtons = new QWidget(this);
    auto* buttons = new QHBoxLayout(fileButtons);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(8);
    QPushButton* addFilesButton =
        makeButton(QStringLiteral("添加文件"), "ghostButton", fileButtons);
    QPushButton* addFolderButton =
        makeButton(QStringLiteral("添加文件夹"), "ghostButton", fileButtons);
    QPushButton* clearButton = makeButton(QStringLiteral("清空"), "ghostButton", fileButtons);
    buttons->addWidget(addFilesButton);
    buttons->addWidget(addFolderButton);
    buttons->addWidget(clearButton);
    buttons->addStretch();
    grid->addWidget(makeLabel(QStringLiteral("出图对象"), "formLabel", this), 3, 0);
    grid->addWidget(targetCombo, 3, 1);
    grid->addWidget(fileButtons, 3, 2, 1, 3);
    page->addLayout(grid);

    fileList = new QListWidget(this);
    fileList->setObjectName(QStringLiteral("fileList"));
    fileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fileList->setMinimumHeight(96);
    fileList->setMaximumHeight(150);
    page->addWidget(fileList);

    auto* actions = new QHBoxLayout();
    startButton = makeButton(QStringLiteral("开始出图"), "primaryButton", this);
    openButton = makeButton(QStringLiteral("打开输出目录"), "ghostButton", this);
    actions->addWidget(startButton);
    actions->addWidget(openButton);
    actions->addSpacing(6);
    actions->addWidget(
        makeLabel(QStringLiteral("使用 DWG To PDF.pc3，按图框出图时自动识别图框与图号"),
                  "sectionCount", this));
    actions->addStretch();
    page->addLayout(actions);

    logView = new QPlainTextEdit(this);
    logView->setObjectName(QStringLiteral("plotLog"));
    logView->setReadOnly(true);
    logView->setPlaceholderText(
        QStringLiteral("出图日志会显示在这里：每张图纸的开始、成功、失败原因"));
    page->addWidget(logView, 1);

    pollTimer = new QTimer(this);
    follow_ = new JobFollow(
        pollTimer, logView, startButton, statusLabel,
        {QStringLiteral("出图中..."), QStringLiteral("出图失败"), QStringLiteral("出图完成")},
        this);

    auto showFiles = [this] {
        const bool files = targetCombo->currentData().toString() == QLatin1String("files");
        fileButtons->setVisible(files);
        fileList->setVisible(files);
    };
    showFiles();
    connect(targetCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, showFiles);
    connect(chooseButton, &QPushButton::clicked, this, &PlotPage::chooseOutDir);
    connect(addFilesButton, &QPushButton::clicked, this, &PlotPage::addFiles);
    connect(addFolderButton, &QPushButton::clicked, this, &PlotPage::addFolder);
    connect(clearButton, &QPushButton::clicked, fileList, &QListWidget::clear);
    connect(startButton, &QPushButton::clicked, this, &PlotPage::start);
    connect(openButton, &QPushButton::clicked, this,
            [this] { studioDialogs().openFolder(outDirEdit->text().trimmed()); });
}

bool PlotPage::running() const {
    return follow_->running();
}

void PlotPage::chooseOutDir() {
    const QString folder =
        studioDialogs().folder(this, QStringLiteral("选择 PDF 输出目录"), outDirEdit->text());
    if (!folder.isEmpty()) outDirEdit->setText(folder);
}

void PlotPage::addFiles() {
    addDrawingPaths(fileList, studioDialogs().openFiles(this, QStringLiteral("选择要出图的图纸"),
                                                        drawingFileFilters()));
}

void PlotPage::addFolder() {
    const QString folder =
        studioDialogs().folder(this, QStringLiteral("选择包含图纸的文件夹"), QString());
    if (!folder.isEmpty()) addDrawingPaths(fileList, drawingFilesInFolder(folder));
}

void PlotPage::start() {
    if (running()) return;
    const QString outDir = outDirEdit->text().trimmed();
    if (outDir.isEmpty()) {
        appendLogLine(logView, QStringLiteral("[错误] 请先选择输出目录"));
        return;
    }
    const bool filesTarget = targetCombo->currentData().toString() == QLatin1String("files");
    if (filesTarget && fileList->count() == 0) {
        appendLogLine(logView, QStringLiteral("[错误] 请先添加要出图的 DWG/DXF"));
        return;
    }
    if (!QDir().mkpath(outDir)) {
        appendLogLine(logView, QStringLiteral("[错误] 无法创建目录：%1").arg(outDir));
        return;
    }
    if (!JobFollow::ensureConnected(socket)) {
        appendLogLine(logView, kNotConnectedJobLine);
        return;
    }
    PlotForm form;
    form.outDir = outDir;
    form.prefixText = prefixEdit->text();
    form.style = styleCombo->currentData().toString();
    form.scope = scopeCombo->currentData().toString();
    form.logPath = tempFilePath(filesTarget ? kPlotFilesLogName : kPlotLogName);
    form.filesTarget = filesTarget;
    form.files = drawingPaths(fileList);
    const QString configPath = tempFilePath(filesTarget ? kPlotFilesConfigName : kPlotConfigName);
    if (!writeJobFile(configPath, composePlotConfig(form))) {
        appendLogLine(logView, kConfigWriteFailedLine);
        return;
    }
    const QByteArray command =
        filesTarget ? "PLOTFILES " + QDir::toNativeSeparators(configPath).toUtf8() + "\n"
                    : QByteArray("PLOT\n");
    follow_->submit(socket, form.logPath, command);
}

}  // namespace qks::studio
