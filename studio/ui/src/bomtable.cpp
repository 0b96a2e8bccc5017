#include "qks/studio/ui/bomtable.h"

#include <QComboBox>
#include <QHeaderView>

#include "qks/studio/jobconfig.h"
#include "widgets.h"

namespace qks::studio {
namespace {

const QString kDefaultedTip = QStringLiteral("图纸中未注明，取自默认值");

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QString fixed(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

// Defaulted values stay visible as such, so a reader knows which ones to check.
void markDefaulted(QWidget* widget, QTableWidgetItem* item, bool defaulted) {
    if (item) {
        QFont font = item->font();
        font.setItalic(defaulted);
        item->setFont(font);
        item->setToolTip(defaulted ? kDefaultedTip : QString());
    }
    if (widget) {
        QFont font = widget->font();
        font.setItalic(defaulted);
        widget->setFont(font);
        widget->setToolTip(defaulted ? kDefaultedTip : QString());
    }
}

}  // namespace

BomRowsTable::BomRowsTable(QWidget* parent) : QTableWidget(0, kColumnCount, parent) {
    setObjectName(QStringLiteral("partTable"));
    setHorizontalHeaderLabels(
        {QStringLiteral("图号"), QStringLiteral("名称"), QStringLiteral("数量"),
         QStringLiteral("材料"), QStringLiteral("厚度 (mm)"), QStringLiteral("展开/下料 L×W (mm)"),
         QStringLiteral("净面积 (mm²)"), QStringLiteral("切割长度 (mm)"), QStringLiteral("穿孔数"),
         QStringLiteral("单件净重 (kg)"), QStringLiteral("单件毛重 (kg)"),
         QStringLiteral("总重 (kg)"), QStringLiteral("来源")});
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setItemDelegateForColumn(kMaterialColumn, new WholeCellDelegate(this));
    verticalHeader()->setVisible(false);
    setSelectionMode(QAbstractItemView::NoSelection);
    setAlternatingRowColors(true);
    connect(this, &QTableWidget::itemChanged, this, &BomRowsTable::onItemChanged);
}

void BomRowsTable::setRows(const QVector<BomRow>& rows, const BomSettings& settings) {
    read_ = rows;
    shown_ = rows;
    settings_ = settings;
    const QSignalBlocker blocker(this);
    setRowCount(0);
    setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        auto* material = new QComboBox();
        material->setObjectName(QStringLiteral("materialCombo"));
        setCellWidget(r, kMaterialColumn, material);
        fillMaterials(r);
        connect(material, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this, r, material] {
                    if (r < shown_.size())
                        edit(r, material->currentText(), shown_[r].thickness, shown_[r].quantity);
                });
        fillRow(r);
    }
}

void BomRowsTable::setSettings(const BomSettings& settings) {
    settings_ = settings;
    for (int r = 0; r < shown_.size(); ++r)
        fillMaterials(r);
}

QComboBox* BomRowsTable::materialCombo(int row) const {
    return qobject_cast<QComboBox*>(cellWidget(row, kMaterialColumn));
}

void BomRowsTable::fillMaterials(int row) {
    QComboBox* combo = materialCombo(row);
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (const contract::Material& material : settings_.materials)
        combo->addItem(text(material.name));
    // A material the settings do not know stays as the job found it, not silently replaced.
    const QString current = text(shown_[row].material);
    if (combo->findText(current) < 0) combo->addItem(current);
    combo->setCurrentIndex(combo->findText(current));
}

void BomRowsTable::fillRow(int row) {
    const BomRow& bom = shown_[row];
    const QSignalBlocker blocker(this);
    const auto cell = [&](int column, const QString& value, std::uint32_t defaultedFlag = 0) {
        QTableWidgetItem* item = this->item(row, column);
        if (!item) {
            item = new QTableWidgetItem();
            const bool editable = column == kQuantityColumn || column == kThicknessColumn;
            item->setFlags(editable ? Qt::ItemIsEnabled | Qt::ItemIsEditable : Qt::ItemIsEnabled);
            setItem(row, column, item);
        }
        item->setText(value);
        markDefaulted(nullptr, item, (bom.defaulted & defaultedFlag) != 0);
    };
    cell(kNumberColumn, text(bom.drawingNumber), contract::kDefaultedNumber);
    cell(kNameColumn, text(bom.name));
    cell(kQuantityColumn, QString::number(bom.quantity), contract::kDefaultedQuantity);
    cell(kThicknessColumn, formatGeneral(bom.thickness), contract::kDefaultedThickness);
    cell(kBlankColumn,
         QStringLiteral("%1 × %2").arg(fixed(bom.blankLength, 1), fixed(bom.blankWidth, 1)));
    cell(kAreaColumn, fixed(bom.netArea, 0));
    cell(kCutColumn, fixed(bom.cutLength, 1));
    cell(kPierceColumn, QString::number(bom.pierces));
    cell(kNetColumn, fixed(bom.netWeight, 3));
    cell(kGrossColumn, fixed(bom.grossWeight, 3));
    cell(kTotalColumn, fixed(totalWeight(bom), 3));
    cell(kSourceColumn, text(bom.source));
    item(row, kSourceColumn)->setToolTip(text(bom.source));
    markDefaulted(materialCombo(row), nullptr, (bom.defaulted & contract::kDefaultedMaterial) != 0);
}

void BomRowsTable::edit(int row, const QString& material, double thickness, int quantity) {
    shown_[row] = editBomRow(shown_[row], settings_, material, thickness, quantity);
    fillRow(row);
    emit rowsEdited();
}

void BomRowsTable::onItemChanged(QTableWidgetItem* item) {
    const int r = item ? item->row() : -1;
    if (r < 0 || r >= shown_.size()) return;
    const BomRow& bom = shown_[r];
    const QString typed = item->text().trimmed();
    bool ok = false;
    int quantity = bom.quantity;
    double thickness = bom.thickness;
    if (item->column() == kQuantityColumn) {
        quantity = typed.toInt(&ok);
        ok = ok && quantity >= 0;
    } else if (item->column() == kThicknessColumn) {
        thickness = typed.toDouble(&ok);
        ok = ok && thickness > 0 && thickness <= contract::kLargestThickness;
    }
    if (ok)
        edit(r, text(bom.material), thickness, quantity);
    else
        fillRow(r);  // a rejected entry shows the value that stands
}

}  // namespace qks::studio
