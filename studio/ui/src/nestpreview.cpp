#include "qks/studio/ui/nestpreview.h"

#include <QComboBox>
#include <QGraphicsPathItem>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainterPath>
#include <QVBoxLayout>
#include <algorithm>

#include "qks/studio/preview.h"
#include "widgets.h"

namespace qks::studio {
namespace {

// Keeps the scene's rectangle fitted when the view changes size.
class PreviewView : public QGraphicsView {
  public:
    using QGraphicsView::QGraphicsView;

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QGraphicsView::resizeEvent(event);
        if (scene()) fitInView(sceneRect(), Qt::KeepAspectRatio);
    }
};

QString number0(double value) {
    return QString::number(value, 'f', 0);
}

QPolygonF toPolygon(const Contour& contour) {
    QPolygonF polygon(contour);
    if (!polygon.isEmpty()) polygon.append(polygon.first());
    return polygon;
}

}  // namespace

NestPreview::NestPreview(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("panelCard"));
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(10, 10, 10, 10);
    auto* utilRow = new QHBoxLayout();
    utilLabel_ = makeLabel(QStringLiteral("利用率 --"), "utilValue", this);
    summaryLabel_ = makeLabel(QStringLiteral("等待套料"), "sectionCount", this);
    sheetCombo_ = new QComboBox(this);
    sheetCombo_->setObjectName(QStringLiteral("formInput"));
    sheetCombo_->setMinimumWidth(160);
    utilRow->addWidget(utilLabel_);
    utilRow->addWidget(summaryLabel_);
    utilRow->addStretch();
    utilRow->addWidget(sheetCombo_);
    column_->addLayout(utilRow);
    scene_ = new QGraphicsScene(this);
    view_ = new PreviewView(scene_, this);
    view_->setObjectName(QStringLiteral("nestView"));
    view_->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    view_->setDragMode(QGraphicsView::ScrollHandDrag);
    view_->setMinimumHeight(320);
    column_->addWidget(view_, 1);

    connect(sheetCombo_, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) {
                currentSheet_ = index;
                redraw();
            });
    fields_ = {{QStringLiteral("util"), utilLabel_},
               {QStringLiteral("summary"), summaryLabel_},
               {QStringLiteral("sheet"), sheetCombo_}};
}

void NestPreview::addBelow(QWidget* widget) {
    column_->addWidget(widget);
}

void NestPreview::setParts(QVector<PartRow> parts) {
    parts_ = std::move(parts);
}

void NestPreview::forgetRun() {
    sheets_.clear();
    utilisation_ = 0;
    unplaced_ = 0;
}

void NestPreview::showSheet(int index) {
    sheetCombo_->setCurrentIndex(index);
}

QStringList NestPreview::sheetChoices() const {
    QStringList choices;
    for (int i = 0; i < sheetCombo_->count(); ++i)
        choices << sheetCombo_->itemText(i);
    return choices;
}

QString NestPreview::utilisationText() const {
    return utilLabel_->text();
}

QString NestPreview::summaryText() const {
    return summaryLabel_->text();
}

void NestPreview::showProgress(const ProgressSnapshot& records) {
    if (records.frame) frame_ = *records.frame;
    if (records.utilisation) utilisation_ = *records.utilisation;
    if (records.unplaced) unplaced_ = *records.unplaced;
    if (records.elapsed) elapsed_ = *records.elapsed;
    sheets_ = records.sheets;

    if (!sheets_.isEmpty()) {
        const QSignalBlocker blocker(sheetCombo_);
        sheetCombo_->clear();
        for (int i = 0; i < sheets_.size(); ++i) {
            sheetCombo_->addItem(QStringLiteral("板 %1 · %2×%3")
                                     .arg(i + 1)
                                     .arg(number0(sheets_[i].width), number0(sheets_[i].height)));
        }
        currentSheet_ = std::min(currentSheet_, int(sheets_.size()) - 1);
        sheetCombo_->setCurrentIndex(currentSheet_);
        summaryLabel_->setText(QStringLiteral("%1 张板 · 未放 %2 件 · %3s")
                                   .arg(sheets_.size())
                                   .arg(unplaced_)
                                   .arg(QString::number(elapsed_, 'f', 1)));
    }
    utilLabel_->setText(QStringLiteral("利用率 %1%").arg(QString::number(utilisation_, 'f', 1)));
    redraw();
}

void NestPreview::redraw() {
    scene_->clear();
    if (sheets_.isEmpty()) {
        scene_->setSceneRect(0, 0, 100, 100);
        QGraphicsSimpleTextItem* text =
            scene_->addSimpleText(QStringLiteral("框选零件并开始套料后，这里实时显示排样预览"));
        text->setBrush(QColor(QStringLiteral("#94a3b8")));
        text->setPos(10, 40);
        // The text is far wider than the 100-unit scene at any font size; shrink it to
        // stay readable inside the fitted rectangle instead of being cut off.
        const qreal width = text->boundingRect().width();
        if (width > 80) text->setScale(80 / width);
        view_->fitInView(scene_->sceneRect(), Qt::KeepAspectRatio);
        return;
    }
    if (currentSheet_ < 0 || currentSheet_ >= sheets_.size()) currentSheet_ = 0;
    const SheetPlacements& sheet = sheets_[currentSheet_];
    const double w = sheet.width;
    const double h = sheet.height;

    const QPen stockPen(QColor(QStringLiteral("#64748b")), std::max(w / 1500, 1.0));
    if (sheet.stock.empty()) {
        scene_->addRect(0, 0, w, h, stockPen, QBrush(Qt::white));
    } else {
        // An irregular piece: its outline with its defects left open, y turned as for parts.
        QPainterPath stock;
        stock.setFillRule(Qt::OddEvenFill);
        for (const contract::Outline& ring : sheet.stock) {
            QPolygonF polygon;
            for (const contract::Point& p : ring)
                polygon << QPointF(p.x, h - p.y);
            stock.addPolygon(polygon);
            stock.closeSubpath();
        }
        scene_->addRect(0, 0, w, h, QPen(QColor(QStringLiteral("#cbd5e1")), 0, Qt::DashLine));
        scene_->addPath(stock, stockPen, QBrush(Qt::white));
    }
    QFont captionFont = font();
    captionFont.setBold(true);
    captionFont.setPointSizeF(std::max(w / 90, 12.0));
    QGraphicsSimpleTextItem* caption = scene_->addSimpleText(
        QStringLiteral("板 %1  %2×%3").arg(currentSheet_ + 1).arg(number0(w), number0(h)),
        captionFont);
    caption->setBrush(QColor(QStringLiteral("#334155")));
    caption->setPos(8, 4);

    QFont labelFont = font();
    labelFont.setBold(true);
    labelFont.setPointSizeF(std::max(std::min(w, h) / 70, 10.0));
    const QPen partPen(QColor(QStringLiteral("#2563eb")), std::max(w / 2200, 0.8));
    QColor fill(QStringLiteral("#2563eb"));
    fill.setAlpha(46);
    const QBrush partBrush(fill);
    const QColor labelColor(QStringLiteral("#1e3a8a"));

    const QHash<int, int> rowOfId = indexPartsById(parts_);
    for (const Placement& placement : sheet.placements) {
        const auto row = rowOfId.constFind(placement.partId);
        if (row == rowOfId.constEnd()) continue;
        const PartRow& part = parts_[*row];
        const std::optional<PlacedPart> placed = placePart(part, placement, frame_);
        if (!placed) continue;
        const PlacedPart shown = toScene(*placed, h);
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        const QPolygonF outer = toPolygon(shown.outer);
        path.addPolygon(outer);
        for (const Contour& hole : shown.holes)
            path.addPolygon(toPolygon(hole));
        scene_->addPath(path, partPen, partBrush);
        QGraphicsSimpleTextItem* label = scene_->addSimpleText(QString::number(part.id), labelFont);
        label->setBrush(labelColor);
        label->setPos(outer.boundingRect().topLeft() + QPointF(6, 6));
    }
    scene_->setSceneRect(-0.02 * w, -0.02 * h, 1.04 * w, 1.06 * h);
    view_->fitInView(scene_->sceneRect(), Qt::KeepAspectRatio);
}

}  // namespace qks::studio
