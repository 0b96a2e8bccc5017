#include "qks/studio/ui/plotpage.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "jobfollow.h"
#include "qks/studio/bridge.h"
#include "qks/studio/files.h"
#include "qks/studio/jobconfig.h"
#include "qks/studio/plotdefaults.h"
#include "qks/studio/ui/dialogs.h"
#include "widgets.h"

namespace qks::studio {
namespace {

const QString kIdleStatus = QStringLiteral("多个 DWG/DXF 一次转 PDF，支持按图框拆图");

}  // namespace

PlotPage::PlotPage(BridgeClient* bridge, JobFileWatcher* files, QWidget* parent)
    : JobPage(bridge, files, QStringLiteral("选择要出图的图纸"), parent) {
    addHeader(QStringLiteral("批量出图"), kIdleStatus);

    QGridLayout* grid = addFormGrid();
    const PathRow outRow =
        addPathRow(grid, 0, QStringLiteral("输出目录"), builtInDefaults().outDir);
    outDirEdit = outRow.edit;

    prefixEdit = new QLineEdit(this);
    prefixEdit->setObjectName(QStringLiteral("formInput"));
    prefixEdit->setPlaceholderText(QStringLiteral("可留空，例如：项目号"));
    grid->addWidget(makeLabel(QStringLiteral("文件名前缀"), "formLabel", this), 1, 0);
    grid->addWidget(prefixEdit, 1, 1, 1, 3);

    styleCombo = makeChoiceCombo(plotStyleChoices(), this);
    scopeCombo = makeChoiceCombo(plotScopeChoices(), this);
    targetCombo = makeChoiceCombo({{QStringLiteral("当前图纸"), QStringLiteral("current")},
                                   {QStringLiteral("多个文件"), QStringLiteral("files")}},
                                  this);
    grid->addWidget(makeLabel(QStringLiteral("打印样式"), "formLabel", this), 2, 0);
    grid->addWidget(styleCombo, 2, 1);
    grid->addWidget(makeLabel(QStringLiteral("出图范围"), "formLabel", this), 2, 2);
    grid->addWidget(scopeCombo, 2, 3);

    fileButtons = makeFileButtons();
    grid->addWidget(makeLabel(QStringLiteral("出图对象"), "formLabel", this), 3, 0);
    grid->addWidget(targetCombo, 3, 1);
    grid->addWidget(fileButtons, 3, 2, 1, 3);

    fileList = makeFileList();
    fileList->setMinimumHeight(96);
    fileList->setMaximumHeight(150);
    pageLayout->addWidget(fileList);

    addActions(QStringLiteral("开始出图"),
               QStringLiteral("使用 DWG To PDF.pc3，按图框出图时自动识别图框与图号"));
    addLog(QStringLiteral("出图日志会显示在这里：每张图纸的开始、成功、失败原因"),
           {QStringLiteral("出图中..."), QStringLiteral("出图失败"), QStringLiteral("出图完成")});

    showFilesWhileChosen(targetCombo, fileButtons);
    connect(outRow.choose, &QPushButton::clicked, this, &PlotPage::chooseOutDir);
    connect(startButton, &QPushButton::clicked, this, &PlotPage::start);
    connect(openButton, &QPushButton::clicked, this,
            [this] { studioDialogs().openFolder(outDirEdit->text().trimmed()); });
}

PlotDefaults PlotPage::builtInDefaults() {
    return {inDocuments(QStringLiteral("QKS 出图")), QString(), plotStyleChoices().front().second,
            plotScopeChoices().front().second};
}

void PlotPage::applyDefaults(const PlotDefaults& defaults) {
    outDirEdit->setText(defaults.outDir);
    prefixEdit->setText(defaults.prefix);
    styleCombo->setCurrentIndex(std::max(0, styleCombo->findData(defaults.style)));
    scopeCombo->setCurrentIndex(std::max(0, scopeCombo->findData(defaults.scope)));
}

void PlotPage::chooseOutDir() {
    const QString folder =
        studioDialogs().folder(this, QStringLiteral("选择 PDF 输出目录"), outDirEdit->text());
    if (!folder.isEmpty()) outDirEdit->setText(folder);
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
    if (!prepareJob(outDir)) return;
    PlotForm form;
    form.outDir = outDir;
    form.prefixText = prefixEdit->text();
    form.style = styleCombo->currentData().toString();
    form.scope = scopeCombo->currentData().toString();
    form.logPath = tempFilePath(filesTarget ? kPlotFilesLogName : kPlotLogName);
    form.filesTarget = filesTarget;
    form.files = drawingPaths(fileList);
    const QString configPath = tempFilePath(filesTarget ? kPlotFilesConfigName : kPlotConfigName);
    const JobSubmit command = filesTarget ? withConfig(&BridgeClient::plotFiles, configPath)
                                          : JobSubmit(&BridgeClient::plot);
    const std::string config = filesTarget
                                   ? contract::writePlotFilesConfig(plotFilesJobConfig(form))
                                   : contract::writePlotConfig(plotJobConfig(form));
    sendJob(configPath, jobFileBytes(config), form.logPath, command);
}

}  // namespace qks::studio
