#include "qks/studio/ui/plotsettingspage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "qks/studio/ui/dialogs.h"
#include "widgets.h"

namespace qks::studio {
namespace {

void choose(QComboBox* combo, const QString& value) {
    combo->setCurrentIndex(std::max(0, combo->findData(value)));
}

}  // namespace

PlotSettingsPage::PlotSettingsPage(QString iniPath, const PlotDefaults& fallback, QWidget* parent)
    : QWidget(parent),
      iniPath_(std::move(iniPath)),
      defaults_(loadPlotDefaults(iniPath_, fallback)) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(12);
    backButton = addBackHeader(page, QStringLiteral("打印机与纸张"),
                               QStringLiteral("批量出图的默认设置，出图页以此为初始值"), this);

    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    // One device and automatic paper: shown so the person knows what the PDFs are made with.
    deviceCombo = makeChoiceCombo({{kPlotDeviceName, kPlotDeviceName}}, this);
    deviceCombo->setEnabled(false);
    paperCombo =
        makeChoiceCombo({{QStringLiteral("按图框或布局大小自动选择（A4–A0）"), QString()}}, this);
    paperCombo->setEnabled(false);
    styleCombo = makeChoiceCombo(plotStyleChoices(), this);
    scopeCombo = makeChoiceCombo(plotScopeChoices(), this);
    outDirEdit = makeInput(defaults_.outDir, QString(), this);
    chooseButton = makeButton(QStringLiteral("选择"), "ghostButton", this);
    prefixEdit = makeInput(defaults_.prefix, QStringLiteral("可留空，例如：项目号"), this);

    const auto addField = [this, grid](int row, int column, const char* label, QWidget* field,
                                       int span) {
        grid->addWidget(makeLabel(QString::fromUtf8(label), "formLabel", this), row, column);
        grid->addWidget(field, row, column + 1, 1, span);
    };
    addField(0, 0, "PDF 打印机", deviceCombo, 1);
    addField(0, 2, "纸张", paperCombo, 1);
    addField(1, 0, "打印样式", styleCombo, 1);
    addField(1, 2, "出图范围", scopeCombo, 1);
    addField(2, 0, "输出目录", outDirEdit, 2);
    grid->addWidget(chooseButton, 2, 3, Qt::AlignLeft);
    addField(3, 0, "文件名前缀", prefixEdit, 3);
    page->addLayout(grid);
    page->addWidget(makeHint(QStringLiteral("PDF 由 qkshost 的 DWG To PDF.pc3 输出，纸张随每张图的"
                                            "图框或布局大小选取；其余各项在批量出图页仍可逐次修改"),
                             this));

    saveButton = makeButton(QStringLiteral("保存"), "primaryButton", this);
    messageLabel = addButtonRow(page, {saveButton}, QString(), this);
    page->addStretch(1);

    choose(styleCombo, defaults_.style);
    choose(scopeCombo, defaults_.scope);
    connect(backButton, &QPushButton::clicked, this, &PlotSettingsPage::backRequested);
    connect(saveButton, &QPushButton::clicked, this, &PlotSettingsPage::save);
    connect(chooseButton, &QPushButton::clicked, this, [this] {
        const QString folder =
            studioDialogs().folder(this, QStringLiteral("选择 PDF 输出目录"), outDirEdit->text());
        if (!folder.isEmpty()) outDirEdit->setText(folder);
    });
}

void PlotSettingsPage::save() {
    PlotDefaults edited;
    edited.outDir = outDirEdit->text().trimmed();
    edited.prefix = prefixEdit->text().trimmed();
    edited.style = styleCombo->currentData().toString();
    edited.scope = scopeCombo->currentData().toString();
    if (edited.outDir.isEmpty()) {
        messageLabel->setText(QStringLiteral("[错误] 请填写输出目录"));
        return;
    }
    if (!savePlotDefaults(iniPath_, edited)) {
        messageLabel->setText(QStringLiteral("[错误] 无法写入设置：%1").arg(iniPath_));
        return;
    }
    defaults_ = edited;
    messageLabel->setText(QStringLiteral("[提示] 已保存，批量出图页已采用这些设置"));
    emit saved(defaults_);
}

}  // namespace qks::studio
