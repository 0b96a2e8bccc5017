#include "qks/studio/ui/layerrulespage.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "widgets.h"

namespace qks::studio {

LayerRulesPage::LayerRulesPage(QString iniPath, QWidget* parent)
    : QWidget(parent), iniPath_(std::move(iniPath)), rules_(loadLayerRules(iniPath_)) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(12);

    backButton = addBackHeader(
        page, QStringLiteral("图层与颜色规则"),
        QStringLiteral("图层规范按顺序取第一条匹配的规则；空白表示任意（匹配）或不变（设置）"),
        this);
    ruleTable = makeSettingsTable(
        {QStringLiteral("匹配图层（可用 * ?）"), QStringLiteral("匹配颜色"),
         QStringLiteral("匹配线型"), QStringLiteral("对象类型"), QStringLiteral("设为图层"),
         QStringLiteral("设为颜色"), QStringLiteral("设为线型"), QStringLiteral("设为线宽")},
        this);
    ruleTable->setSelectionMode(QAbstractItemView::SingleSelection);
    page->addWidget(ruleTable, 1);

    addButton = makeButton(QStringLiteral("添加规则"), "ghostButton", this);
    removeButton = makeButton(QStringLiteral("删除选中"), "ghostButton", this);
    upButton = makeButton(QStringLiteral("上移"), "ghostButton", this);
    downButton = makeButton(QStringLiteral("下移"), "ghostButton", this);
    restoreButton = makeButton(QStringLiteral("恢复默认"), "ghostButton", this);
    addButtonRow(page, {addButton, removeButton, upButton, downButton, restoreButton},
                 QStringLiteral("颜色为 AutoCAD 颜色号 0–256；线宽以 0.01 mm 计（50 即 0.5 mm）；"
                                "对象类型如 LINE、TEXT"),
                 this);
    saveButton = makeButton(QStringLiteral("保存"), "primaryButton", this);
    messageLabel = addButtonRow(page, {saveButton}, QString(), this);

    showRules(rules_);
    connect(backButton, &QPushButton::clicked, this, &LayerRulesPage::backRequested);
    connect(addButton, &QPushButton::clicked, this, &LayerRulesPage::addRule);
    connect(removeButton, &QPushButton::clicked, this, &LayerRulesPage::removeSelected);
    connect(upButton, &QPushButton::clicked, this, [this] { moveCurrent(-1); });
    connect(downButton, &QPushButton::clicked, this, [this] { moveCurrent(1); });
    connect(restoreButton, &QPushButton::clicked, this, &LayerRulesPage::restoreDefaults);
    connect(saveButton, &QPushButton::clicked, this, &LayerRulesPage::save);
}

void LayerRulesPage::showRules(const LayerRules& rules) {
    ruleTable->setRowCount(0);
    for (const contract::LayerRule& rule : rules)
        appendTableRow(ruleTable, layerRuleCells(rule));
}

void LayerRulesPage::addRule() {
    // A new rule goes after the chosen one, so it can stand before a catch-all rule.
    const int current = ruleTable->currentRow();
    const int row = current < 0 ? ruleTable->rowCount() : current + 1;
    appendTableRow(ruleTable, QVector<QString>(kLayerRuleFieldCount).toList(), row);
    ruleTable->setCurrentCell(row, kMatchLayer);
    ruleTable->editItem(ruleTable->item(row, kMatchLayer));
}

void LayerRulesPage::removeSelected() {
    removeSelectedRows(ruleTable);
}

void LayerRulesPage::moveCurrent(int step) {
    const int row = ruleTable->currentRow();
    const int target = row + step;
    if (row < 0 || target < 0 || target >= ruleTable->rowCount()) return;
    for (int column = 0; column < ruleTable->columnCount(); ++column) {
        QTableWidgetItem* moving = ruleTable->takeItem(row, column);
        ruleTable->setItem(row, column, ruleTable->takeItem(target, column));
        ruleTable->setItem(target, column, moving);
    }
    ruleTable->setCurrentCell(target, ruleTable->currentColumn());
}

void LayerRulesPage::restoreDefaults() {
    showRules(contract::defaultLayerRules());
    messageLabel->setText(QStringLiteral("[提示] 已恢复默认规则，点「保存」后生效"));
}

void LayerRulesPage::save() {
    LayerRules edited;
    for (int row = 0; row < ruleTable->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < kLayerRuleFieldCount; ++column)
            cells << cellText(ruleTable, row, column);
        const std::optional<contract::LayerRule> rule = layerRuleFromCells(cells);
        if (!rule) {
            messageLabel->setText(
                QStringLiteral("[错误] 第 %1 行：至少设置一项；不含逗号；颜色为 0–256 的整数，"
                               "线宽为 -3–211 的整数；图层名不含 <>/\\\":;?*|=`")
                    .arg(row + 1));
            return;
        }
        edited.push_back(*rule);
    }
    if (edited.empty()) {
        messageLabel->setText(QStringLiteral("[错误] 至少保留一条规则"));
        return;
    }
    if (!saveLayerRules(iniPath_, edited)) {
        messageLabel->setText(QStringLiteral("[错误] 无法写入设置：%1").arg(iniPath_));
        return;
    }
    rules_ = edited;
    messageLabel->setText(QStringLiteral("[提示] 已保存，下次图层规范时生效"));
    emit saved(rules_);
}

}  // namespace qks::studio
