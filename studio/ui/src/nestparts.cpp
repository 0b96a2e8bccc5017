#include "qks/studio/ui/nestparts.h"

#include <QComboBox>
#include <QHeaderView>
#include <QStyledItemDelegate>

namespace qks::studio {
namespace {

enum Column {
    kUseColumn,
    kIdColumn,
    kNameColumn,
    kQuantityColumn,
    kSizeColumn,
    kRotationColumn,
    kColumnCount
};

const QPair<const char*, PartRotation> kRotationChoices[] = {
    {"随全局", PartRotation::Global},
    {"固定 0°", PartRotation::Fixed0},
    {"0°/180°", PartRotation::HalfTurn},
    {"90° 步进", PartRotation::QuarterTurns}};

// Lays the rotation combo over the whole width of its cell: the table's item padding is
// meant for text and would leave the combo narrower than the column sized to fit it.
class WholeCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex&) const override {
        editor->setGeometry(option.rect.adjusted(0, 2, 0, -2));
    }
};

QTableWidgetItem* readOnlyItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

}  // namespace

NestPartsTable::NestPartsTable(QWidget* parent) : QTableWidget(0, kColumnCount, parent) {
    setObjectName(QStringLiteral("partTable"));
    setHorizontalHeaderLabels({QStringLiteral("参与"), QStringLiteral("件号"),
                               QStringLiteral("名称"), QStringLiteral("数量"),
                               QStringLiteral("轮廓尺寸"), QStringLiteral("旋转")});
    for (int c = 0; c < kColumnCount; ++c) {
        horizontalHeader()->setSectionResizeMode(
            c, c == kNameColumn ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    }
    setItemDelegateForColumn(kRotationColumn, new WholeCellDelegate(this));
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(28);
    setSelectionMode(QAbstractItemView::NoSelection);
    setAlternatingRowColors(true);
    connect(this, &QTableWidget::itemChanged, this, &NestPartsTable::onItemChanged);
}

void NestPartsTable::setParts(QVector<PartRow> parts) {
    parts_ = std::move(parts);
    filling_ = true;
    const QSignalBlocker blocker(this);
    setRowCount(parts_.size());
    for (int r = 0; r < parts_.size(); ++r) {
        const PartRow& part = parts_[r];
        auto* use = new QTableWidgetItem();
        use->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        use->setCheckState(part.enabled ? Qt::Checked : Qt::Unchecked);
        setItem(r, kUseColumn, use);
        setItem(r, kIdColumn, readOnlyItem(QString::number(part.id)));
        setItem(r, kNameColumn, readOnlyItem(part.name));
        auto* quantity = new QTableWidgetItem(QString::number(part.quantity));
        quantity->setFlags(Qt::ItemIsEnabled | Qt::ItemIsEditable);
        setItem(r, kQuantityColumn, quantity);
        setItem(r, kSizeColumn,
                readOnlyItem(QStringLiteral("%1 × %2").arg(QString::number(part.width, 'f', 0),
                                                           QString::number(part.height, 'f', 0))));
        auto* rotation = new QComboBox();
        rotation->setObjectName(QStringLiteral("rotationCombo"));
        for (const auto& choice : kRotationChoices)
            rotation->addItem(QString::fromUtf8(choice.first), int(choice.second));
        rotation->setCurrentIndex(rotation->findData(int(part.rotation)));
        // Connected after the row's own choice is shown: filling is not an edit.
        connect(rotation, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this, r, rotation] {
                    if (r < parts_.size())
                        parts_[r].rotation = PartRotation(rotation->currentData().toInt());
                });
        setCellWidget(r, kRotationColumn, rotation);
    }
    filling_ = false;
}

QComboBox* NestPartsTable::rotationCombo(int row) const {
    return qobject_cast<QComboBox*>(cellWidget(row, kRotationColumn));
}

void NestPartsTable::onItemChanged(QTableWidgetItem* item) {
    if (filling_ || !item) return;
    const int r = item->row();
    if (r < 0 || r >= parts_.size()) return;
    PartRow& part = parts_[r];
    if (QTableWidgetItem* use = this->item(r, kUseColumn))
        part.enabled = use->checkState() == Qt::Checked;
    if (QTableWidgetItem* quantity = this->item(r, kQuantityColumn)) {
        part.quantity = editedQuantity(quantity->text(), part.quantity);
        // Show the quantity that will be nested, not a rejected or capped entry.
        const QSignalBlocker blocker(this);
        quantity->setText(QString::number(part.quantity));
    }
    emit partsEdited();
}

}  // namespace qks::studio
