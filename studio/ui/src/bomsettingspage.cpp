#include "qks/studio/ui/bomsettingspage.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "qks/studio/jobconfig.h"
#include "widgets.h"

namespace qks::studio {
namespace {

enum Column { kNameColumn, kDensityColumn, kKColumn, kRangesColumn, kColumnCount };

QDoubleSpinBox* makeLengthSpin(double low, double value, QWidget* parent) {
    return makeNumberSpin(low, contract::kLargestThickness, 2, value, parent);
}

}  // namespace

BomSettingsPage::BomSettingsPage(QString iniPath, QWidget* parent)
    : QWidget(parent), iniPath_(std::move(iniPath)), settings_(loadBomSettings(iniPath_)) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(12);

    backButton =
        addBackHeader(page, QStringLiteral("钣金参数"),
                      QStringLiteral("材质密度、折弯 K 因子与默认板厚，供钣金 BOM 使用"), this);
    materialTable = makeSettingsTable(
        {QStringLiteral("材料"), QStringLiteral("密度 (g/cm³)"), QStringLiteral("K 因子"),
         QStringLiteral("按板厚的 K 因子（板厚上限:K）")},
        this);
    page->addWidget(materialTable, 1);

    addButton = makeButton(QStringLiteral("添加材料"), "ghostButton", this);
    removeButton = makeButton(QStringLiteral("删除选中"), "ghostButton", this);
    restoreButton = makeButton(QStringLiteral("恢复默认"), "ghostButton", this);
    addButtonRow(page, {addButton, removeButton, restoreButton},
                 QStringLiteral("例：1:0.38, 3:0.42 表示板厚 ≤1 mm 取 0.38，≤3 mm 取 0.42，"
                                "更厚取 K 因子列"),
                 this);

    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(10);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 1);
    defaultMaterialCombo = new QComboBox(this);
    defaultMaterialCombo->setObjectName(QStringLiteral("formInput"));
    thicknessSpin = makeLengthSpin(0.01, settings_.defaultThickness, this);
    radiusSpin = makeLengthSpin(0, settings_.defaultRadius, this);
    grid->addWidget(makeLabel(QStringLiteral("默认材料"), "formLabel", this), 0, 0);
    grid->addWidget(defaultMaterialCombo, 0, 1);
    grid->addWidget(makeLabel(QStringLiteral("默认板厚 (mm)"), "formLabel", this), 0, 2);
    grid->addWidget(thicknessSpin, 0, 3);
    grid->addWidget(makeLabel(QStringLiteral("内折弯半径 (mm)"), "formLabel", this), 0, 4);
    grid->addWidget(radiusSpin, 0, 5);
    page->addLayout(grid);

    saveButton = makeButton(QStringLiteral("保存"), "primaryButton", this);
    messageLabel = addButtonRow(page, {saveButton}, QString(), this);

    showSettings(settings_);
    connect(materialTable, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == kNameColumn) refreshMaterialChoices();
    });
    connect(backButton, &QPushButton::clicked, this, &BomSettingsPage::backRequested);
    connect(addButton, &QPushButton::clicked, this, &BomSettingsPage::addMaterial);
    connect(removeButton, &QPushButton::clicked, this, &BomSettingsPage::removeSelected);
    connect(restoreButton, &QPushButton::clicked, this, &BomSettingsPage::restoreDefaults);
    connect(saveButton, &QPushButton::clicked, this, &BomSettingsPage::save);
}

void BomSettingsPage::showSettings(const BomSettings& settings) {
    {
        const QSignalBlocker blocker(materialTable);
        materialTable->setRowCount(0);
        for (const contract::Material& material : settings.materials)
            appendTableRow(materialTable,
                           {QString::fromStdString(material.name), formatGeneral(material.density),
                            formatGeneral(material.kFactor), kFactorRangesText(material)});
    }
    refreshMaterialChoices();
    defaultMaterialCombo->setCurrentIndex(defaultMaterialCombo->findText(settings.defaultMaterial));
    thicknessSpin->setValue(settings.defaultThickness);
    radiusSpin->setValue(settings.defaultRadius);
}

void BomSettingsPage::refreshMaterialChoices() {
    const QString chosen = defaultMaterialCombo->currentText();
    const QSignalBlocker blocker(defaultMaterialCombo);
    defaultMaterialCombo->clear();
    for (int row = 0; row < materialTable->rowCount(); ++row) {
        const QString name = cellText(materialTable, row, kNameColumn);
        if (usableMaterialName(name) && defaultMaterialCombo->findText(name) < 0)
            defaultMaterialCombo->addItem(name);
    }
    defaultMaterialCombo->setCurrentIndex(std::max(0, defaultMaterialCombo->findText(chosen)));
}

void BomSettingsPage::addMaterial() {
    appendTableRow(materialTable,
                   {QString(), QString(), formatGeneral(contract::kDefaultKFactor), QString()});
    materialTable->editItem(materialTable->item(materialTable->rowCount() - 1, kNameColumn));
}

void BomSettingsPage::removeSelected() {
    removeSelectedRows(materialTable);
    refreshMaterialChoices();
}

void BomSettingsPage::restoreDefaults() {
    showSettings(defaultBomSettings());
    messageLabel->setText(QStringLiteral("[提示] 已恢复默认材料表，点「保存」后生效"));
}

void BomSettingsPage::save() {
    BomSettings edited;
    QSet<QString> names;
    for (int row = 0; row < materialTable->rowCount(); ++row) {
        const QString name = cellText(materialTable, row, kNameColumn);
        const std::optional<contract::Material> material = materialFromCells(
            name, cellText(materialTable, row, kDensityColumn),
            cellText(materialTable, row, kKColumn), cellText(materialTable, row, kRangesColumn));
        if (!material || names.contains(name)) {
            messageLabel->setText(
                QStringLiteral("[错误] 第 %1 行：材料名须唯一且不含「=」，密度为正数，K 因子在 0 "
                               "到 1 之间")
                    .arg(row + 1));
            return;
        }
        names.insert(name);
        edited.materials.push_back(*material);
    }
    if (edited.materials.empty()) {
        messageLabel->setText(QStringLiteral("[错误] 至少保留一种材料"));
        return;
    }
    edited.defaultMaterial = defaultMaterialCombo->currentText();
    edited.defaultThickness = thicknessSpin->value();
    edited.defaultRadius = radiusSpin->value();
    if (!saveBomSettings(iniPath_, edited)) {
        messageLabel->setText(QStringLiteral("[错误] 无法写入设置：%1").arg(iniPath_));
        return;
    }
    settings_ = edited;
    messageLabel->setText(QStringLiteral("[提示] 已保存，下次生成 BOM 时生效"));
    emit saved(settings_);
}

}  // namespace qks::studio
