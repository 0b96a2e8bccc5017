#include "qks/studio/ui/nestparts.h"

#include <QComboBox>
#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <algorithm>
#include <optional>

#include "qks/studio/preview.h"
#include "widgets.h"

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

// Side of a part's picture in the name column, in device-independent pixels.
constexpr int kThumbnailSide = 48;

const QPair<const char*, RotationChoice> kRotationChoices[] = {
    {"随全局", RotationChoice::Global},
    {"固定 0°", RotationChoice::Fixed0},
    {"0°/180°", RotationChoice::HalfTurn},
    {"90° 步进", RotationChoice::QuarterTurns}};

// Puts the part's picture above its name: beside it, the picture would take all the width a
// narrow window leaves the name column, and the name would not show at all.
class PictureAboveDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->decorationPosition = QStyleOptionViewItem::Top;
        option->displayAlignment = Qt::AlignHCenter | Qt::AlignVCenter;
    }
};

QTableWidgetItem* readOnlyItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

void addClosed(QPainterPath& path, const Contour& contour) {
    path.addPolygon(QPolygonF(contour));
    path.closeSubpath();
}

}  // namespace

QImage partThumbnail(const PartRow& part, int side) {
    QImage image(std::max(side, 0), std::max(side, 0), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // The edge keeps its look at any pixel density; the pad keeps it inside the picture.
    const qreal edge = std::max(1.0, side / qreal(kThumbnailSide));
    const std::optional<PlacedPart> shape = fitInSquare(part, side, edge + 1);
    if (!shape) return image;
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    addClosed(path, shape->outer);
    for (const Contour& hole : shape->holes)
        addClosed(path, hole);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(QStringLiteral("#2563eb")), edge));
    painter.setBrush(QColor(QStringLiteral("#dbeafe")));
    painter.drawPath(path);
    return image;
}

NestPartsTable::NestPartsTable(QWidget* parent) : QTableWidget(0, kColumnCount, parent) {
    setObjectName(QStringLiteral("partTable"));
    setHorizontalHeaderLabels({QStringLiteral("参与"), QStringLiteral("件号"),
                               QStringLiteral("名称"), QStringLiteral("数量"),
                               QStringLiteral("轮廓尺寸"), QStringLiteral("旋转")});
    for (int c = 0; c < kColumnCount; ++c) {
        horizontalHeader()->setSectionResizeMode(
            c, c == kNameColumn ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    }
    setItemDelegateForColumn(kNameColumn, new PictureAboveDelegate(this));
    setItemDelegateForColumn(kRotationColumn, new WholeCellDelegate(this));
    verticalHeader()->setVisible(false);
    setIconSize(QSize(kThumbnailSide, kThumbnailSide));
    // The picture, a line of name and the item padding of the style sheet.
    verticalHeader()->setDefaultSectionSize(kThumbnailSide + fontMetrics().height() + 12);
    setSelectionMode(QAbstractItemView::NoSelection);
    setAlternatingRowColors(true);
    connect(this, &QTableWidget::itemChanged, this, &NestPartsTable::onItemChanged);
}

void NestPartsTable::setParts(QVector<PartRow> parts) {
    parts_ = std::move(parts);
    filling_ = true;
    const QSignalBlocker blocker(this);
    setRowCount(parts_.size());
    // Pictures drawn for the screen's pixels stay sharp on a scaled display.
    const qreal dpr = devicePixelRatioF();
    int rotationWidth = horizontalHeader()->sectionSizeHint(kRotationColumn);
    for (int r = 0; r < parts_.size(); ++r) {
        const PartRow& part = parts_[r];
        auto* use = new QTableWidgetItem();
        use->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        use->setCheckState(part.enabled ? Qt::Checked : Qt::Unchecked);
        setItem(r, kUseColumn, use);
        setItem(r, kIdColumn, readOnlyItem(QString::number(part.id)));
        QTableWidgetItem* name = readOnlyItem(part.name);
        QImage picture = partThumbnail(part, qRound(kThumbnailSide * dpr));
        picture.setDevicePixelRatio(dpr);
        name->setIcon(QIcon(QPixmap::fromImage(picture)));
        setItem(r, kNameColumn, name);
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
                        parts_[r].rotation = RotationChoice(rotation->currentData().toInt());
                });
        setCellWidget(r, kRotationColumn, rotation);
        // A column sized to its contents does not see cell widgets: it is made as wide as the
        // widest choice box, styled, so none is cut off at its arrow.
        rotation->ensurePolished();
        rotationWidth = std::max(rotationWidth, rotation->sizeHint().width());
    }
    horizontalHeader()->setSectionResizeMode(kRotationColumn, QHeaderView::Fixed);
    horizontalHeader()->resizeSection(kRotationColumn, rotationWidth);
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
