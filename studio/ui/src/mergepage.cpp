#include "qks/studio/ui/mergepage.h"

#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

#include "jobfollow.h"
#include "qks/studio/bridge.h"
#include "qks/studio/files.h"
#include "qks/studio/jobconfig.h"
#include "qks/studio/ui/dialogs.h"
#include "widgets.h"

namespace qks::studio {

MergePage::MergePage(BridgeClient* bridge, JobFileWatcher* files, QWidget* parent)
    : JobPage(bridge, files, QStringLiteral("选择要合并的图纸"), parent) {
    addHeader(QStringLiteral("图纸合并"),
              QStringLiteral("多个 DWG/DXF 排成一张图，文件名标在零件图下方"));

    QGridLayout* grid = addFormGrid();
    fileList = makeFileList();
    fileList->setMinimumHeight(150);
    grid->addWidget(makeLabel(QStringLiteral("合并文件"), "formLabel", this), 0, 0, Qt::AlignTop);
    grid->addWidget(fileList, 0, 1, 1, 3);

    auto* buttons = new QHBoxLayout();
    buttons->setSpacing(8);
    QPushButton* addFilesButton = makeButton(QStringLiteral("添加文件"), "ghostButton", this);
    QPushButton* addFolderButton = makeButton(QStringLiteral("添加文件夹"), "ghostButton", this);
    QPushButton* removeButton = makeButton(QStringLiteral("移除选中"), "ghostButton", this);
    QPushButton* clearButton = makeButton(QStringLiteral("清空"), "ghostButton", this);
    for (QPushButton* b : {addFilesButton, addFolderButton, removeButton, clearButton})
        buttons->addWidget(b);
    buttons->addStretch();
    grid->addLayout(buttons, 1, 1, 1, 3);

    const PathRow outRow = addPathRow(grid, 2, QStringLiteral("合并输出"),
                                      inDocuments(QStringLiteral("QKS 合并.dwg")));
    outEdit = outRow.edit;

    columnsSpin = new QSpinBox(this);
    columnsSpin->setObjectName(QStringLiteral("formInput"));
    columnsSpin->setRange(1, 8);
    columnsSpin->setValue(3);
    spacingSpin = new QDoubleSpinBox(this);
    spacingSpin->setObjectName(QStringLiteral("formInput"));
    spacingSpin->setRange(0.02, 1);
    spacingSpin->setSingleStep(0.02);
    spacingSpin->setDecimals(2);
    spacingSpin->setValue(0.12);
    grid->addWidget(makeLabel(QStringLiteral("每行列数"), "formLabel", this), 3, 0);
    grid->addWidget(columnsSpin, 3, 1);
    grid->addWidget(makeLabel(QStringLiteral("图间距比例"), "formLabel", this), 3, 2);
    grid->addWidget(spacingSpin, 3, 3);

    pdfCheck = new QCheckBox(QStringLiteral("同时输出合并图 PDF"), this);
    pdfCheck->setObjectName(QStringLiteral("formCheck"));
    pdfCheck->setChecked(true);
    grid->addWidget(pdfCheck, 4, 1, 1, 3);

    addActions(QStringLiteral("开始合并"), QStringLiteral("按文件名顺序排版，重名自动加序号"));
    addLog(QStringLiteral("合并日志会显示在这里：读取、插入、保存结果"),
           {QStringLiteral("合并中..."), QStringLiteral("合并失败"), QStringLiteral("合并完成")});

    connect(addFilesButton, &QPushButton::clicked, this, &MergePage::addFiles);
    connect(addFolderButton, &QPushButton::clicked, this, &MergePage::addFolder);
    connect(removeButton, &QPushButton::clicked, this, &MergePage::removeSelected);
    connect(clearButton, &QPushButton::clicked, fileList, &QListWidget::clear);
    connect(outRow.choose, &QPushButton::clicked, this, &MergePage::chooseOutput);
    connect(startButton, &QPushButton::clicked, this, &MergePage::start);
    connect(openButton, &QPushButton::clicked, this, [this] {
        studioDialogs().openFolder(QFileInfo(outEdit->text().trimmed()).absolutePath());
    });
}

void MergePage::removeSelected() {
    qDeleteAll(fileList->selectedItems());
}

void MergePage::chooseOutput() {
    const QString path =
        studioDialogs().saveFile(this, QStringLiteral("合并图纸保存为"), outEdit->text(),
                                 QStringLiteral("DWG 图纸 (*.dwg)"));
    if (!path.isEmpty()) outEdit->setText(path);
}

void MergePage::start() {
    if (running()) return;
    if (fileList->count() == 0) {
        appendLogLine(logView, QStringLiteral("[错误] 请先添加要合并的图纸"));
        return;
    }
    QString out = outEdit->text().trimmed();
    if (out.isEmpty()) {
        appendLogLine(logView, QStringLiteral("[错误] 请先设置合并输出路径"));
        return;
    }
    if (withDwgSuffix(out) != out) {
        out = withDwgSuffix(out);
        outEdit->setText(out);
    }
    const QString folder = QFileInfo(out).absolutePath();
    if (!prepareJob(folder)) return;
    MergeForm form;
    form.out = out;
    form.outFolder = folder;
    form.columns = columnsSpin->value();
    form.spacing = spacingSpin->value();
    form.pdf = pdfCheck->isChecked();
    form.logPath = tempFilePath(kMergeLogName);
    form.files = drawingPaths(fileList);
    const QString configPath = tempFilePath(kMergeConfigName);
    sendJob(configPath, jobFileBytes(contract::writeMergeConfig(mergeJobConfig(form))),
            form.logPath, withConfig(&BridgeClient::merge, configPath));
}

}  // namespace qks::studio
