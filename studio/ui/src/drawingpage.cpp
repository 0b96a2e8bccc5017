#include "qks/studio/ui/drawingpage.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>
#include <deque>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "qks/contract/log_words.h"
#include "qks/studio/bomsettings.h"
#include "qks/studio/bridgeclient.h"
#include "qks/studio/jobconfig.h"
#include "qks/studio/jobfilewatcher.h"
#include "qks/studio/recentdrawings.h"
#include "qks/studio/ui/dialogs.h"
#include "widgets.h"

namespace qks::studio {
namespace {

using contract::ViewItem;
using contract::ViewItemKind;

const QColor kBackground("#11151a");
const QColor kHighlight("#f0a32a");
// Within this many pixels of the cursor a click takes an entity, as in the CAD program.
constexpr double kPickPixels = 5.0;
// A press that moves less than this many pixels is a click.
constexpr double kDragPixels = 4.0;
const QString kDefaultPrompt = QStringLiteral("请在图纸窗口中框选零件，回车确认");
const QString kAdjustHelp = QStringLiteral(
    "点选零件后拖动；R 旋转，M 镜像，L 锁定，方向键移动一格（Shift 十格），Delete 删除，"
    "Ctrl+Z 撤销，Ctrl+Y 重做");
// 调整: parts as the nest drawing shows them, the one chosen, locked ones, and where a dragged
// part would land (green) or may not (red).
const QColor kSheetPen("#8a94a3");
const QColor kPartFill(34, 197, 94, 70);
const QColor kLockedFill(59, 130, 246, 90);
const QColor kChosenFill(240, 163, 42, 150);
const QColor kFitsFill(34, 197, 94, 160);
const QColor kCollidesFill(239, 68, 68, 170);

QColor colourOf(std::uint32_t rgb) {
    return QColor((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
}

// Pen width on screen for a weight in millimetres on paper: thin lines one pixel, the heavy
// ones (from 0.5 mm) two, as the CAD program shows weights on screen.
qreal penWidth(float weightMm) {
    return weightMm >= 0.5f ? 2.0 : 1.0;
}

}  // namespace

// ---------------------------------------------------------------- canvas

DrawingCanvas::DrawingCanvas(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("drawingCanvas"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 240);
}

void DrawingCanvas::setIndex(std::shared_ptr<DrawingIndex> index, bool keepView) {
    index_ = std::move(index);
    selected_.assign(static_cast<std::size_t>(index_ ? index_->entityCount() : 0), 0);
    if (!keepView || !hasView_) zoomExtents();
    emit selectionChanged(0);
    update();
}

void DrawingCanvas::zoomExtents() {
    if (!index_ || index_->extents().empty()) {
        scale_ = 1;
        centre_ = {};
        update();
        return;
    }
    const ViewBox& e = index_->extents();
    const double w = std::max<double>(e.maxX - e.minX, 1e-6);
    const double h = std::max<double>(e.maxY - e.minY, 1e-6);
    // A margin of 5 % on each side, as a zoom to extents leaves in the CAD program.
    scale_ = std::min(width() / w, height() / h) * 0.9;
    if (!(scale_ > 0) || !std::isfinite(scale_)) scale_ = 1;
    centre_ = {(e.minX + e.maxX) / 2.0, (e.minY + e.maxY) / 2.0};
    hasView_ = true;
    update();
}

void DrawingCanvas::startWindowZoom() {
    windowZoom_ = true;
    setCursor(Qt::CrossCursor);
}

void DrawingCanvas::setPicking(bool picking) {
    picking_ = picking;
    if (picking) {
        clearSelection();
        setFocus();
    }
    setCursor(picking ? Qt::CrossCursor : Qt::ArrowCursor);
    update();
}

QStringList DrawingCanvas::selectedHandles() const {
    QStringList handles;
    if (!index_) return handles;
    for (std::size_t e = 0; e < selected_.size(); ++e)
        if (selected_[e]) handles << index_->handle(static_cast<int>(e));
    return handles;
}

int DrawingCanvas::selectedCount() const {
    return static_cast<int>(std::count(selected_.begin(), selected_.end(), 1));
}

void DrawingCanvas::clearSelection() {
    std::fill(selected_.begin(), selected_.end(), 0);
    emit selectionChanged(0);
    update();
}

void DrawingCanvas::layersChanged() {
    // What a hidden layer shows can no longer be chosen.
    if (index_)
        for (std::size_t e = 0; e < selected_.size(); ++e)
            if (selected_[e] && !index_->entityShown(static_cast<int>(e))) selected_[e] = 0;
    emit selectionChanged(selectedCount());
    update();
}

QPointF DrawingCanvas::toScreen(float x, float y) const {
    return {width() / 2.0 + (x - centre_.x()) * scale_,
            height() / 2.0 - (y - centre_.y()) * scale_};
}

QPointF DrawingCanvas::toWorld(const QPointF& s) const {
    return {centre_.x() + (s.x() - width() / 2.0) / scale_,
            centre_.y() - (s.y() - height() / 2.0) / scale_};
}

namespace {

struct PenKey {
    QRgb colour;
    int width;
    int dash;
    bool operator==(const PenKey& o) const {
        return colour == o.colour && width == o.width && dash == o.dash;
    }
};

// Paints display-list items on one painter for one view (`scale` pixels per unit, drawing
// origin at (`cx`, `cy`) on screen). Strokes are gathered as segments per pen and drawn in one
// call per pen when flushed: a quarter of a million entities are then a few calls, not a
// million. Entities shown as pixels are gathered by colour and drawn by finish().
class ItemPainter {
  public:
    ItemPainter(QPainter& painter, const contract::ViewFile& view, double scale, double cx,
                double cy)
        : painter_(painter), view_(view), scale_(scale), cx_(cx), cy_(cy) {}

    QPointF screen(std::uint32_t point) const {
        return QPointF(cx_ + view_.x(point) * scale_, cy_ - view_.y(point) * scale_);
    }
    void dot(QRgb colour, const QPointF& at) { dotsOf(colour) << at; }
    void fill(const ViewItem& item, const QColor& colour);
    // A line item with `key`'s pen; dashed ones are drawn at once, whole.
    void stroke(const ViewItem& item, bool closed, const PenKey& key);
    // Draws the strokes gathered so far (before a clip changes, and at the end).
    void flush();
    // Draws everything still gathered, pixels last.
    void finish();

  private:
    QPen penFor(const PenKey& key) const;
    QVector<QLineF>& batchFor(const PenKey& key);
    QVector<QPointF>& dotsOf(QRgb colour);

    QPainter& painter_;
    const contract::ViewFile& view_;
    const double scale_, cx_, cy_;
    // A deque keeps each batch where it is while more are added.
    std::deque<std::pair<PenKey, QVector<QLineF>>> batches_;
    std::deque<std::pair<QRgb, QVector<QPointF>>> dots_;
    PenKey lastKey_{0, 0, -1};
    QVector<QLineF>* lastBatch_ = nullptr;
    QPolygonF polygon_;
};

QPen ItemPainter::penFor(const PenKey& key) const {
    QPen pen(QColor::fromRgb(key.colour), key.width);
    pen.setCosmetic(true);
    const std::size_t d = static_cast<std::size_t>(key.dash);
    if (key.dash > 0 && d <= view_.dashes.size()) {
        // Pattern lengths are drawing units; Qt measures dashes in pen widths.
        QVector<qreal> pattern;
        double period = 0;
        for (const float length : view_.dashes[d - 1].lengths) {
            pattern << std::max(length * scale_ / key.width, 1.0);
            period += pattern.back();
        }
        if (pattern.size() % 2 == 1) pattern << pattern.back();
        // A pattern finer than a few pixels reads as a solid line.
        if (pattern.size() >= 2 && period * key.width >= 6) pen.setDashPattern(pattern);
    }
    return pen;
}

QVector<QLineF>& ItemPainter::batchFor(const PenKey& key) {
    for (auto& batch : batches_)
        if (batch.first == key) return batch.second;
    batches_.emplace_back(key, QVector<QLineF>());
    return batches_.back().second;
}

QVector<QPointF>& ItemPainter::dotsOf(QRgb colour) {
    if (!dots_.empty() && dots_.back().first == colour) return dots_.back().second;
    for (auto& batch : dots_)
        if (batch.first == colour) return batch.second;
    dots_.emplace_back(colour, QVector<QPointF>());
    return dots_.back().second;
}

void ItemPainter::flush() {
    for (auto& [key, lines] : batches_) {
        painter_.setPen(penFor(key));
        painter_.drawLines(lines);
    }
    batches_.clear();
    lastBatch_ = nullptr;
    lastKey_ = {0, 0, -1};
}

void ItemPainter::finish() {
    flush();
    for (const auto& [colour, points] : dots_) {
        painter_.setPen(QColor::fromRgb(colour));
        painter_.drawPoints(points.constData(), points.size());
    }
}

void ItemPainter::fill(const ViewItem& item, const QColor& colour) {
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    const contract::ViewLoops& loops = view_.fills[item.detail];
    const std::uint32_t* starts = view_.loopStarts.data() + loops.firstLoop;
    for (std::uint32_t loop = 0; loop < loops.loopCount; ++loop) {
        const std::uint32_t begin = starts[loop];
        const std::uint32_t end = loop + 1 < loops.loopCount ? starts[loop + 1] : item.pointCount;
        polygon_.resize(static_cast<int>(end - begin));
        for (std::uint32_t i = begin; i < end; ++i)
            polygon_[static_cast<int>(i - begin)] = screen(item.firstPoint + i);
        path.addPolygon(polygon_);
        path.closeSubpath();
    }
    painter_.fillPath(path, colour);
}

void ItemPainter::stroke(const ViewItem& item, bool closed, const PenKey& key) {
    if (key.dash > 0) {
        // Dashes run on across a polyline's vertices only when it is drawn whole.
        polygon_.resize(static_cast<int>(item.pointCount));
        for (std::uint32_t i = 0; i < item.pointCount; ++i)
            polygon_[static_cast<int>(i)] = screen(item.firstPoint + i);
        if (closed && polygon_.size() > 2) polygon_ << polygon_.front();
        painter_.setPen(penFor(key));
        painter_.drawPolyline(polygon_);
        return;
    }
    if (!lastBatch_ || !(key == lastKey_)) {
        lastBatch_ = &batchFor(key);
        lastKey_ = key;
    }
    QPointF previous = screen(item.firstPoint);
    if (item.pointCount == 1) lastBatch_->append(QLineF(previous, previous));
    // Points closer than half a pixel to the last one drawn add nothing to see; the last point
    // is always drawn, so the stroke ends where it does.
    const std::uint32_t last = item.pointCount - 1;
    for (std::uint32_t i = 1; i < item.pointCount; ++i) {
        const QPointF next = screen(item.firstPoint + i);
        if (i < last && std::fabs(next.x() - previous.x()) < 0.5 &&
            std::fabs(next.y() - previous.y()) < 0.5)
            continue;
        lastBatch_->append(QLineF(previous, next));
        previous = next;
    }
    if (closed && item.pointCount > 2)
        lastBatch_->append(QLineF(previous, screen(item.firstPoint)));
}

}  // namespace

void DrawingCanvas::paintEntities(QPainter& painter, const int* first, const int* last) {
    const contract::ViewFile& view = index_->view();
    const double cx = width() / 2.0 - centre_.x() * scale_;
    const double cy = height() / 2.0 + centre_.y() * scale_;
    ItemPainter items(painter, view, scale_, cx, cy);
    for (const int* at = first; at != last; ++at) {
        const int e = *at;
        const bool highlighted = selected_[static_cast<std::size_t>(e)] != 0;
        const ViewBox& box = index_->box(e);
        // An entity of two pixels or less shows as a pixel: its shape cannot be seen anyway.
        const bool tiny =
            (box.maxX - box.minX) * scale_ < 2.0 && (box.maxY - box.minY) * scale_ < 2.0;
        for (const ViewItem* it = index_->itemsBegin(e); it != index_->itemsEnd(e); ++it) {
            const ViewItem& item = *it;
            const contract::ViewStyle& style = view.styles[item.style];
            if (!index_->layerShown(style.layer) || item.pointCount == 0) continue;
            const QRgb colour = highlighted ? kHighlight.rgb() : (0xff000000u | style.rgb);
            if (tiny) {
                items.dot(colour, QPointF(cx + box.minX * scale_, cy - box.minY * scale_));
                break;
            }
            const bool clipped = style.clip > 0;
            if (clipped) {
                items.flush();
                const auto& c = view.clips[style.clip - 1u];
                painter.setClipRect(QRectF(toScreen(c.x0, c.y1), toScreen(c.x1, c.y0)));
            }
            if (style.kind == ViewItemKind::Text)
                drawText(painter, item, QColor::fromRgb(colour));
            else if (style.kind == ViewItemKind::Fill)
                items.fill(item, highlighted ? QColor(240, 163, 42, 140) : QColor::fromRgb(colour));
            else
                items.stroke(item, style.closed,
                             {colour, highlighted ? 2 : int(penWidth(style.weightMm)),
                              highlighted ? 0 : style.dash});
            if (clipped) {
                items.flush();
                painter.setClipping(false);
            }
        }
    }
    items.finish();
}

void DrawingCanvas::paintEvent(QPaintEvent*) {
    QElapsedTimer clock;
    clock.start();
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    if (adjust_) {
        paintAdjust(painter);
        lastPaintMs_ = clock.nsecsElapsed() / 1e6;
        return;
    }
    if (!index_) return;
    const QPointF topLeft = toWorld({0, 0});
    const QPointF bottomRight = toWorld(QPointF(width(), height()));
    const ViewBox visible{static_cast<float>(topLeft.x()), static_cast<float>(bottomRight.y()),
                          static_cast<float>(bottomRight.x()), static_cast<float>(topLeft.y())};
    const std::vector<int> shown = index_->query(visible);
    // Smoothing costs more than it shows on a crowded screen.
    painter.setRenderHint(QPainter::Antialiasing, shown.size() < 20000);
    // A crowded screen is painted in two halves at once: the later entities on a transparent
    // layer of their own, laid over the earlier ones, so what is drawn later stays on top.
    const int* first = shown.data();
    const int* last = first + shown.size();
    std::thread helper;
    QImage upper;
    if (shown.size() >= 50000 && std::thread::hardware_concurrency() > 1) {
        const qreal ratio = devicePixelRatioF();
        upper = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
        upper.setDevicePixelRatio(ratio);
        upper.fill(Qt::transparent);
        const int* middle = first + shown.size() / 2;
        try {
            helper = std::thread([this, &upper, middle, last] {
                QPainter layer(&upper);
                paintEntities(layer, middle, last);
            });
            last = middle;
        } catch (const std::system_error&) {
        }
    }
    paintEntities(painter, first, last);
    if (helper.joinable()) {
        helper.join();
        painter.drawImage(QPointF(0, 0), upper);
    }
    if (banding_) {
        // Left to right: a window (blue, solid); right to left: crossing (green, dashed).
        const bool window = lastAt_.x() >= pressAt_.x() || windowZoom_;
        QPen band(window ? QColor("#3b82f6") : QColor("#22c55e"), 1,
                  window ? Qt::SolidLine : Qt::DashLine);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(band);
        painter.setBrush(window ? QColor(59, 130, 246, 40) : QColor(34, 197, 94, 40));
        painter.drawRect(QRectF(pressAt_, lastAt_).normalized());
    }
    lastPaintMs_ = clock.nsecsElapsed() / 1e6;
}

void DrawingCanvas::drawText(QPainter& painter, const ViewItem& item, const QColor& colour) {
    const contract::ViewFile& view = index_->view();
    const contract::ViewText& text = view.texts[item.detail];
    const contract::ViewStyle& style = view.styles[item.style];
    const double pixels = text.height * scale_;
    if (pixels < 3) {
        // Too small to read: a stroke where the text runs, as the CAD program shows it.
        if (pixels >= 1) {
            const ViewBox t = DrawingIndex::textBox(view, item);
            painter.setPen(colour);
            painter.drawLine(toScreen(t.minX, (t.minY + t.maxY) / 2),
                             toScreen(t.maxX, (t.minY + t.maxY) / 2));
        }
        return;
    }
    painter.save();
    painter.translate(toScreen(view.x(item.firstPoint), view.y(item.firstPoint)));
    painter.rotate(-text.rotation * 180.0 / M_PI);
    const std::string& family = view.strings[text.font];
    QFont font(family.empty() ? QStringLiteral("Microsoft YaHei UI")
                              : QString::fromStdString(family));
    // The height is that of capitals, about 0.7 of the font's em.
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels / 0.7))));
    painter.setFont(font);
    painter.scale(std::max(0.05f, text.widthFactor), 1.0);
    painter.setPen(colour);
    const QString words = QString::fromStdString(view.strings[text.text]);
    const QFontMetricsF metrics(font);
    double x = 0, y = 0;
    const double advance = metrics.horizontalAdvance(words);
    if (style.hAlign == contract::ViewHAlign::Center) x = -advance / 2;
    if (style.hAlign == contract::ViewHAlign::Right) x = -advance;
    if (style.vAlign == contract::ViewVAlign::Middle) y = pixels / 2;
    if (style.vAlign == contract::ViewVAlign::Top) y = pixels;
    if (style.vAlign == contract::ViewVAlign::Bottom) y = -metrics.descent();
    painter.drawText(QPointF(x, y), words);
    painter.restore();
}

void DrawingCanvas::setAdjust(NestAdjustModel* model) {
    adjust_ = model;
    movingPart_ = false;
    if (model) setFocus();
    setCursor(Qt::ArrowCursor);
    update();
}

QPointF DrawingCanvas::adjustPoint(const QPointF& screen) const {
    const QPointF world = toWorld(screen);
    if (!index_) return world;
    return {world.x() + index_->view().originX, world.y() + index_->view().originY};
}

void DrawingCanvas::paintAdjust(QPainter& painter) {
    const double ox = index_ ? index_->view().originX : 0.0;
    const double oy = index_ ? index_->view().originY : 0.0;
    const auto screen = [&](double x, double y) {
        return QPointF(width() / 2.0 + (x - ox - centre_.x()) * scale_,
                       height() / 2.0 - (y - oy - centre_.y()) * scale_);
    };
    const auto path = [&](const contract::PlacedShape& shape, double x0) {
        QPainterPath out;
        out.setFillRule(Qt::OddEvenFill);
        const auto add = [&](const contract::Outline& ring) {
            QPolygonF polygon;
            for (const contract::Point& p : ring)
                polygon << screen(x0 + p.x, p.y);
            out.addPolygon(polygon);
            out.closeSubpath();
        };
        add(shape.outline);
        for (const contract::Outline& hole : shape.holes)
            add(hole);
        return out;
    };
    painter.setRenderHint(QPainter::Antialiasing, true);
    const contract::NestLayout& layout = adjust_->layout();
    const std::optional<NestAdjustModel::Preview>& preview = adjust_->preview();
    for (std::size_t s = 0; s < layout.sheets.size(); ++s) {
        const contract::LayoutSheet& sheet = layout.sheets[s];
        const double x0 = adjust_->sheetX(s);
        QPen pen(kSheetPen, 1);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        if (sheet.stock.empty()) {
            painter.drawRect(QRectF(screen(x0, sheet.height), screen(x0 + sheet.width, 0)));
        } else {
            contract::PlacedShape piece{sheet.stock.front(),
                                        {sheet.stock.begin() + 1, sheet.stock.end()}};
            painter.drawPath(path(piece, x0));
        }
        for (std::size_t k = 0; k < sheet.placements.size(); ++k) {
            const PartRef ref{s, k};
            const bool chosen = adjust_->selected() == ref;
            QColor fill = sheet.placements[k].locked ? kLockedFill : kPartFill;
            if (chosen) fill = preview ? QColor(240, 163, 42, 50) : kChosenFill;
            painter.setPen(QPen(fill.darker(110), 1));
            painter.setBrush(fill);
            painter.drawPath(path(adjust_->placed(ref).shape, x0));
        }
    }
    if (preview) {
        const QColor fill = preview->fits ? kFitsFill : kCollidesFill;
        painter.setPen(QPen(fill.lighter(130), 2));
        painter.setBrush(fill);
        painter.drawPath(path(preview->shape.shape, adjust_->sheetX(preview->sheet)));
    }
}

bool DrawingCanvas::adjustKey(QKeyEvent* event) {
    const bool control = event->modifiers() & Qt::ControlModifier;
    const int step = (event->modifiers() & Qt::ShiftModifier) ? 10 : 1;
    switch (event->key()) {
        case Qt::Key_R:
            adjust_->turn();
            break;
        case Qt::Key_M:
            adjust_->mirror();
            break;
        case Qt::Key_L:
            adjust_->toggleLock();
            break;
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            adjust_->remove();
            break;
        case Qt::Key_Left:
            adjust_->nudge(-step, 0);
            break;
        case Qt::Key_Right:
            adjust_->nudge(step, 0);
            break;
        case Qt::Key_Up:
            adjust_->nudge(0, step);
            break;
        case Qt::Key_Down:
            adjust_->nudge(0, -step);
            break;
        case Qt::Key_Z:
            if (!control) return false;
            if (event->modifiers() & Qt::ShiftModifier)
                adjust_->redo();
            else
                adjust_->undo();
            break;
        case Qt::Key_Y:
            if (!control) return false;
            adjust_->redo();
            break;
        case Qt::Key_Escape:
            adjust_->select(std::nullopt);
            break;
        default:
            return false;
    }
    emit adjustChanged();
    update();
    return true;
}

void DrawingCanvas::setSelected(const std::vector<int>& entities, bool remove) {
    for (const int e : entities)
        selected_[static_cast<std::size_t>(e)] = remove ? 0 : 1;
    emit selectionChanged(selectedCount());
    update();
}

void DrawingCanvas::pickAt(const QPointF& screen, bool remove) {
    if (!index_) return;
    const QPointF world = toWorld(screen);
    const auto hit = index_->nearest(static_cast<float>(world.x()), static_cast<float>(world.y()),
                                     static_cast<float>(kPickPixels / scale_));
    if (hit) setSelected({*hit}, remove);
}

void DrawingCanvas::pickBox(const QPointF& from, const QPointF& to, bool remove) {
    if (!index_) return;
    const QPointF a = toWorld(from), b = toWorld(to);
    ViewBox box;
    box.add(static_cast<float>(a.x()), static_cast<float>(a.y()));
    box.add(static_cast<float>(b.x()), static_cast<float>(b.y()));
    // The CAD program's convention: dragged to the right a window, to the left a crossing.
    const PickRule rule = to.x() >= from.x() ? PickRule::Window : PickRule::Crossing;
    setSelected(index_->pick(box, rule), remove);
}

void DrawingCanvas::mousePressEvent(QMouseEvent* event) {
    setFocus();
    if (dragButton_ != Qt::NoButton) return;
    if (event->button() == Qt::RightButton) {
        if (picking_) emit confirmed();
        return;
    }
    dragButton_ = event->button();
    pressAt_ = lastAt_ = event->localPos();
    banding_ = false;
    if (adjust_ && dragButton_ == Qt::LeftButton) {
        const QPointF at = adjustPoint(pressAt_);
        adjust_->select(adjust_->partAt(at.x(), at.y()));
        movingPart_ = adjust_->selected().has_value();
        if (movingPart_) adjust_->beginDrag(at.x(), at.y());
        emit adjustChanged();
        update();
    }
}

void DrawingCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->localPos();
    const QPointF world = toWorld(at);
    emit cursorMoved(world.x(), world.y());
    if (dragButton_ == Qt::NoButton) return;
    if (adjust_ && movingPart_ && dragButton_ == Qt::LeftButton) {
        // The part follows the pointer once it is dragged, not at a click's small slip.
        if (QLineF(pressAt_, at).length() >= kDragPixels) {
            const QPointF to = adjustPoint(at);
            adjust_->dragTo(to.x(), to.y());
            update();
        }
        return;
    }
    const bool selecting = dragButton_ == Qt::LeftButton && (picking_ || windowZoom_);
    if (selecting) {
        if (QLineF(pressAt_, at).length() >= kDragPixels) banding_ = true;
        lastAt_ = at;
        update();
        return;
    }
    if (dragButton_ == Qt::LeftButton || dragButton_ == Qt::MiddleButton) {
        centre_ -= QPointF((at.x() - lastAt_.x()) / scale_, -(at.y() - lastAt_.y()) / scale_);
        lastAt_ = at;
        update();
    }
}

void DrawingCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != dragButton_) return;
    const QPointF at = event->localPos();
    const bool remove = event->modifiers() & Qt::ShiftModifier;
    if (adjust_ && dragButton_ == Qt::LeftButton) {
        if (movingPart_ && adjust_->preview()) adjust_->endDrag();
        movingPart_ = false;
        dragButton_ = Qt::NoButton;
        emit adjustChanged();
        update();
        return;
    }
    if (dragButton_ == Qt::LeftButton && windowZoom_) {
        if (QLineF(pressAt_, at).length() >= kDragPixels) {
            const QPointF a = toWorld(pressAt_), b = toWorld(at);
            const double w = std::max(std::fabs(a.x() - b.x()), 1e-9);
            const double h = std::max(std::fabs(a.y() - b.y()), 1e-9);
            scale_ = std::min(width() / w, height() / h);
            centre_ = (a + b) / 2;
            windowZoom_ = false;
            setCursor(picking_ ? Qt::CrossCursor : Qt::ArrowCursor);
        }
    } else if (dragButton_ == Qt::LeftButton) {
        if (banding_)
            pickBox(pressAt_, at, remove);
        else if (QLineF(pressAt_, at).length() < kDragPixels)
            pickAt(at, remove);
    }
    dragButton_ = Qt::NoButton;
    banding_ = false;
    update();
}

void DrawingCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click of the wheel shows the whole drawing, as in the CAD program.
    if (event->button() == Qt::MiddleButton) zoomExtents();
}

void DrawingCanvas::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) return;
    // The point under the cursor stays where it is.
    const QPointF at = event->position();
    const QPointF before = toWorld(at);
    scale_ = std::clamp(scale_ * std::pow(1.25, steps), 1e-9, 1e9);
    const QPointF after = toWorld(at);
    centre_ += before - after;
    update();
}

void DrawingCanvas::keyPressEvent(QKeyEvent* event) {
    if (adjust_ && adjustKey(event)) return;
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            if (picking_) emit confirmed();
            return;
        case Qt::Key_Escape:
            windowZoom_ = false;
            if (picking_)
                emit cancelled();
            else
                clearSelection();
            setCursor(picking_ ? Qt::CrossCursor : Qt::ArrowCursor);
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void DrawingCanvas::resizeEvent(QResizeEvent*) {
    if (!hasView_ && index_) zoomExtents();
}

// ---------------------------------------------------------------- page

DrawingPage::DrawingPage(BridgeClient* bridge, JobFileWatcher* files, QWidget* parent)
    : QWidget(parent), bridge_(bridge), pick_(new PickPrompt(bridge, this)) {
    setAcceptDrops(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);

    auto* bar = new QHBoxLayout();
    bar->setSpacing(8);
    QPushButton* open = makeButton(QStringLiteral("打开图纸"), "primaryButton", this);
    recentButton_ = makeButton(QStringLiteral("最近打开"), "ghostButton", this);
    recentButton_->setMenu(new QMenu(recentButton_));
    documents_ = new QComboBox(this);
    documents_->setObjectName(QStringLiteral("formInput"));
    documents_->setMinimumWidth(220);
    layouts_ = new QComboBox(this);
    layouts_->setObjectName(QStringLiteral("formInput"));
    QPushButton* extents = makeButton(QStringLiteral("全部缩放"), "ghostButton", this);
    QPushButton* window = makeButton(QStringLiteral("窗口缩放"), "ghostButton", this);
    bar->addWidget(open);
    bar->addWidget(recentButton_);
    bar->addWidget(documents_, 1);
    bar->addWidget(layouts_);
    bar->addWidget(extents);
    bar->addWidget(window);
    adjustButton_ = makeButton(QStringLiteral("调整"), "primaryButton", this);
    adjustButton_->setToolTip(QStringLiteral("手动调整本次生成的套料图"));
    adjustButton_->hide();
    bar->addWidget(adjustButton_);
    column->addLayout(bar);

    promptRow_ = new QWidget(this);
    auto* promptLine = new QHBoxLayout(promptRow_);
    promptLine->setContentsMargins(0, 0, 0, 0);
    promptBar_ = makeLabel(QString(), "chip", promptRow_);
    QPushButton* confirm = makeButton(QStringLiteral("确认 (Enter)"), "primaryButton", promptRow_);
    QPushButton* cancel = makeButton(QStringLiteral("取消 (Esc)"), "ghostButton", promptRow_);
    promptLine->addWidget(promptBar_, 1);
    promptLine->addWidget(confirm);
    promptLine->addWidget(cancel);
    promptRow_->hide();
    column->addWidget(promptRow_);

    adjustRow_ = new QWidget(this);
    auto* adjustLine = new QHBoxLayout(adjustRow_);
    adjustLine->setContentsMargins(0, 0, 0, 0);
    adjustTotals_ = makeLabel(QString(), "chip", adjustRow_);
    adjustLine->addWidget(adjustTotals_, 1);
    const auto adjustAction = [this, adjustLine](const QString& text,
                                                 bool (NestAdjustModel::*act)()) {
        QPushButton* button = makeButton(text, "ghostButton", adjustRow_);
        adjustLine->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, act] {
            if (!adjustModel_) return;
            ((*adjustModel_).*act)();
            canvas_->update();
            showAdjustState();
            canvas_->setFocus();
        });
        return button;
    };
    adjustAction(QStringLiteral("旋转 (R)"), &NestAdjustModel::turn);
    adjustAction(QStringLiteral("镜像 (M)"), &NestAdjustModel::mirror);
    adjustAction(QStringLiteral("锁定 (L)"), &NestAdjustModel::toggleLock);
    adjustAction(QStringLiteral("删除 (Del)"), &NestAdjustModel::remove);
    adjustAction(QStringLiteral("添加一件"), &NestAdjustModel::addCopy);
    undoButton_ = adjustAction(QStringLiteral("撤销"), &NestAdjustModel::undo);
    redoButton_ = adjustAction(QStringLiteral("重做"), &NestAdjustModel::redo);
    QPushButton* save = makeButton(QStringLiteral("保存"), "primaryButton", adjustRow_);
    QPushButton* leave = makeButton(QStringLiteral("退出调整"), "ghostButton", adjustRow_);
    adjustLine->addWidget(save);
    adjustLine->addWidget(leave);
    adjustRow_->hide();
    column->addWidget(adjustRow_);

    auto* body = new QHBoxLayout();
    body->setSpacing(8);
    canvas_ = new DrawingCanvas(this);
    layers_ = new QListWidget(this);
    layers_->setObjectName(QStringLiteral("fileList"));
    layers_->setFixedWidth(200);
    body->addWidget(canvas_, 1);
    body->addWidget(layers_);
    column->addLayout(body, 1);

    auto* footer = new QHBoxLayout();
    status_ = makeLabel(QStringLiteral("未打开图纸"), "formLabel", this);
    cursor_ = makeLabel(QString(), "formLabel", this);
    adjustMessage_ = makeLabel(QString(), "formLabel", this);
    footer->addWidget(status_, 1);
    footer->addWidget(adjustMessage_, 2);
    footer->addWidget(cursor_);
    column->addLayout(footer);

    connect(open, &QPushButton::clicked, this, [this] {
        for (const QString& path : acceptedDrawingPaths(
                 {}, studioDialogs().openFiles(this, QStringLiteral("打开图纸"),
                                               QStringLiteral("图纸 (*.dwg *.dxf)"))))
            openDrawing(path);
    });
    connect(recentButton_->menu(), &QMenu::aboutToShow, this, &DrawingPage::fillRecentMenu);
    connect(extents, &QPushButton::clicked, canvas_, &DrawingCanvas::zoomExtents);
    connect(window, &QPushButton::clicked, canvas_, &DrawingCanvas::startWindowZoom);
    connect(documents_, QOverload<int>::of(&QComboBox::activated), this, [this](int row) {
        const QString path = documents_->itemData(row).toString();
        if (!path.isEmpty() && path != shownDocument_) openDrawing(path);
    });
    connect(layouts_, QOverload<int>::of(&QComboBox::activated), this, [this](int row) {
        const QString layout = layouts_->itemText(row);
        if (layout != shownLayout_) requestView(layout);
    });
    connect(layers_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (filling_ || !canvas_->index()) return;
        auto* index = const_cast<DrawingIndex*>(canvas_->index());
        index->setLayerShown(item->data(Qt::UserRole).toUInt(), item->checkState() == Qt::Checked);
        canvas_->layersChanged();
    });
    connect(canvas_, &DrawingCanvas::cursorMoved, this, [this](double x, double y) {
        if (!canvas_->index()) return;
        const auto& view = canvas_->index()->view();
        cursor_->setText(QStringLiteral("%1, %2")
                             .arg(x + view.originX, 0, 'f', 3)
                             .arg(y + view.originY, 0, 'f', 3));
    });
    connect(canvas_, &DrawingCanvas::selectionChanged, this, [this](int count) {
        if (pick_->asking())
            promptBar_->setText(promptBar_->property("prompt").toString() +
                                QStringLiteral("  · 已选 %1 个对象").arg(count));
    });
    connect(canvas_, &DrawingCanvas::confirmed, this, [this] { answerPrompt(true); });
    connect(canvas_, &DrawingCanvas::cancelled, this, [this] { answerPrompt(false); });
    connect(adjustButton_, &QPushButton::clicked, this, &DrawingPage::startAdjust);
    connect(save, &QPushButton::clicked, this, &DrawingPage::saveAdjusted);
    connect(leave, &QPushButton::clicked, this, &DrawingPage::endAdjust);
    connect(canvas_, &DrawingCanvas::adjustChanged, this, &DrawingPage::showAdjustState);
    connect(confirm, &QPushButton::clicked, this, [this] { answerPrompt(true); });
    connect(cancel, &QPushButton::clicked, this, [this] { answerPrompt(false); });
    connect(pick_, &PickPrompt::started, this, [this] { showPrompt(true); });
    connect(pick_, &PickPrompt::ended, this, [this] { showPrompt(false); });
    connect(pick_, &PickPrompt::warning, this, &DrawingPage::logLine);

    if (files)
        files->subscribe({tempFilePath(fromContract(contract::kViewFile)),
                          tempFilePath(fromContract(contract::kViewPromptFile)),
                          tempFilePath(fromContract(contract::kNestAdjustLogFile))},
                         this, [this](const QString&) { poll(); });
}

bool DrawingPage::linkUp() {
    if (bridge_ != nullptr && bridge_->isConnected()) return true;
    emit logLine(kNotConnectedNestLine);
    return false;
}

void DrawingPage::requestView(const QString& layout) {
    if (linkUp()) bridge_->view(layout);
}

bool DrawingPage::openDrawing(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!linkUp()) return false;
    bridge_->open(absolute);
    rememberRecent(absolute);
    status_->setText(QStringLiteral("正在打开 %1 ...").arg(QFileInfo(absolute).fileName()));
    return true;
}

QStringList DrawingPage::openDocuments() const {
    QStringList paths;
    QString current;
    if (!canvas_->index()) return paths;
    for (const auto& document : canvas_->index()->view().documents) {
        const QString path = QString::fromStdString(document.path);
        // Drawings never saved ("Drawing1.dwg") have no file to open again.
        if (!QFileInfo(path).isAbsolute()) continue;
        if (document.current)
            current = path;
        else
            paths << path;
    }
    if (!current.isEmpty()) paths << current;
    return paths;
}

QString DrawingPage::notice() const {
    return canvas_->index() ? QString::fromStdString(canvas_->index()->view().notice) : QString();
}

void DrawingPage::poll() {
    followAdjustSave();
    if (viewWatch_.changed(tempFilePath(fromContract(contract::kViewFile)))) loadView();
    pick_->poll();
}

void DrawingPage::showPrompt(bool asking) {
    if (asking) {
        // The host's own prompt is an English console word; the window says what to do.
        promptBar_->setProperty("prompt", kDefaultPrompt);
        promptBar_->setText(kDefaultPrompt);
        promptRow_->show();
        canvas_->setPicking(true);
        emit promptStarted();
        return;
    }
    promptBar_->clear();
    promptRow_->hide();
    canvas_->setPicking(false);
    emit promptEnded();
}

void DrawingPage::answerPrompt(bool confirmed) {
    if (!pick_->asking()) return;
    if (!linkUp()) return;
    if (pick_->answer(confirmed, canvas_->selectedHandles())) canvas_->clearSelection();
}

void DrawingPage::loadView() {
    // Mapped, not read: the tables are copied once, from the page cache into the index. The
    // host renames a new list over the name, so the mapped one stays whole while it is read.
    QFile file(tempFilePath(fromContract(contract::kViewFile)));
    uchar* mapped = nullptr;
    if (file.open(QIODevice::ReadOnly) && file.size() > 0) mapped = file.map(0, file.size());
    std::string error;
    std::optional<contract::ViewFile> view =
        mapped == nullptr
            ? std::nullopt
            : contract::readView(std::string_view(reinterpret_cast<const char*>(mapped),
                                                  static_cast<std::size_t>(file.size())),
                                 &error);
    if (mapped != nullptr) file.unmap(mapped);
    if (!view) {
        viewWatch_.forget();  // half a file cannot be here (it is renamed into place): retry
        return;
    }
    QString current;
    for (const auto& d : view->documents)
        if (d.current) current = QString::fromStdString(d.path);
    const QString space = QString::fromStdString(view->space);
    const bool sameSpace = current == shownDocument_ && space == shownLayout_;
    const QString noticeText = QString::fromStdString(view->notice);

    filling_ = true;
    documents_->clear();
    for (const auto& d : view->documents) {
        const QString path = QString::fromStdString(d.path);
        documents_->addItem(QFileInfo(path).fileName(), path);
        documents_->setItemData(documents_->count() - 1, path, Qt::ToolTipRole);
        if (d.current) documents_->setCurrentIndex(documents_->count() - 1);
    }
    layouts_->clear();
    for (const auto& l : view->layouts)
        layouts_->addItem(QString::fromStdString(l));
    layouts_->setCurrentText(space);
    filling_ = false;

    shownDocument_ = current;
    shownLayout_ = space;
    canvas_->setIndex(std::make_shared<DrawingIndex>(std::move(*view)), sameSpace);
    showLayers();
    const int entities = canvas_->index()->entityCount();
    status_->setText(current.isEmpty() ? QStringLiteral("未打开图纸")
                                       : QStringLiteral("%1 · %2 · %3 个对象")
                                             .arg(QFileInfo(current).fileName(), space)
                                             .arg(entities));
    if (!noticeText.isEmpty()) {
        status_->setText(noticeText);
        emit logLine(QStringLiteral("[错误] %1").arg(noticeText));
    }
    showAdjustOffer();
}

void DrawingPage::addNestDrawing(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (!canonical.isEmpty() && !nestDrawings_.contains(canonical)) nestDrawings_ << canonical;
    showAdjustOffer();
}

void DrawingPage::showAdjustOffer() {
    const QString layout =
        QString::fromStdString(contract::layoutPathFor(shownDocument_.toStdString()));
    const QString canonical = QFileInfo(shownDocument_).canonicalFilePath();
    adjustButton_->setVisible(!adjustModel_ && !canonical.isEmpty() &&
                              nestDrawings_.contains(canonical) && QFileInfo::exists(layout));
}

void DrawingPage::startAdjust() {
    const QString drawing = shownDocument_;
    const QString path = QString::fromStdString(contract::layoutPathFor(drawing.toStdString()));
    std::string error;
    std::optional<contract::NestLayout> layout =
        contract::readLayout(readWholeFile(path).toStdString(), &error);
    if (!layout) {
        adjustMessage_->setText(QStringLiteral("无法调整：%1").arg(QString::fromStdString(error)));
        return;
    }
    adjustModel_ = std::make_unique<NestAdjustModel>(std::move(*layout));
    adjustDrawing_ = drawing;
    canvas_->setAdjust(adjustModel_.get());
    adjustRow_->show();
    adjustButton_->hide();
    showAdjustState();
    adjustMessage_->setText(kAdjustHelp);
}

void DrawingPage::endAdjust() {
    canvas_->setAdjust(nullptr);
    adjustModel_.reset();
    adjustRow_->hide();
    showAdjustOffer();
}

void DrawingPage::showAdjustState() {
    if (!adjustModel_) return;
    const AdjustTotals totals = adjustModel_->totals();
    adjustTotals_->setText(
        QStringLiteral("利用率 %1% · 板 %2 张 · 未放 %3 件%4")
            .arg(totals.utilisationPercent, 0, 'f', 1)
            .arg(totals.sheetsUsed)
            .arg(totals.unplaced)
            .arg(adjustModel_->selected()
                     ? QStringLiteral(" · 已选 %1").arg(adjustModel_->selectedName())
                     : QString()));
    if (!adjustModel_->message().isEmpty()) adjustMessage_->setText(adjustModel_->message());
    undoButton_->setEnabled(adjustModel_->canUndo());
    redoButton_->setEnabled(adjustModel_->canRedo());
}

void DrawingPage::saveAdjusted() {
    if (!adjustModel_ || saving_) return;
    const QString path = tempFilePath(fromContract(contract::kNestAdjustFile));
    const QString log = tempFilePath(fromContract(contract::kNestAdjustLogFile));
    if (!writeJobFile(path,
                      QByteArray::fromStdString(contract::formatLayout(adjustModel_->layout())))) {
        adjustMessage_->setText(kConfigWriteFailedLine);
        return;
    }
    // The answer is the log the plug-in starts afresh; an old one must not answer for it.
    QFile::remove(log);
    if (!linkUp()) return;
    bridge_->nestAdjust(path);
    saving_ = true;
    adjustTail_.restart(log);
    adjustMessage_->setText(QStringLiteral("正在检查并生成套料图…"));
}

void DrawingPage::followAdjustSave() {
    if (!saving_) return;
    const TailChunk chunk = adjustTail_.poll();
    if (chunk.end == JobEnd::None) return;
    saving_ = false;
    if (chunk.end == JobEnd::Failed) {
        // The plug-in's answer: its FATAL line names the parts the check refused.
        const QString fatal = fromContract(contract::kLogFatal) + QLatin1Char(' ');
        QString answer;
        for (const QString& line : chunk.lines)
            if (line.startsWith(fatal)) answer = line.mid(fatal.size());
        adjustMessage_->setText(QStringLiteral("未保存：%1").arg(answer));
        emit logLine(QStringLiteral("[错误] 调整未保存：%1").arg(answer));
        return;
    }
    adjustMessage_->setText(QStringLiteral("已保存：%1 已按调整后的排版重新生成")
                                .arg(QFileInfo(adjustDrawing_).fileName()));
    endAdjust();
    requestView();
}

void DrawingPage::showLayers() {
    filling_ = true;
    layers_->clear();
    const DrawingIndex* index = canvas_->index();
    if (index) {
        const auto& layers = index->view().layers;
        for (std::size_t i = 0; i < layers.size(); ++i) {
            auto* item = new QListWidgetItem(QString::fromStdString(layers[i].name), layers_);
            QPixmap swatch(12, 12);
            swatch.fill(colourOf(layers[i].rgb));
            item->setIcon(QIcon(swatch));
            item->setData(Qt::UserRole, static_cast<uint>(i));
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(index->layerShown(static_cast<std::uint32_t>(i)) ? Qt::Checked
                                                                                 : Qt::Unchecked);
        }
    }
    filling_ = false;
}

QStringList DrawingPage::recentDrawings() const {
    return qks::studio::recentDrawings(studioSettingsPath());
}

void DrawingPage::rememberRecent(const QString& path) {
    rememberRecentDrawing(studioSettingsPath(), path);
}

void DrawingPage::fillRecentMenu() {
    QMenu* menu = recentButton_->menu();
    menu->clear();
    const QStringList recent = recentDrawings();
    if (recent.isEmpty()) menu->addAction(QStringLiteral("（无）"))->setEnabled(false);
    for (const QString& path : recent)
        menu->addAction(path, this, [this, path] { openDrawing(path); });
}

namespace {

// The drawings among dropped URLs (local .dxf and .dwg files, any case), in order.
QStringList droppedDrawings(const QMimeData* data) {
    QStringList paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    return acceptedDrawingPaths({}, paths);
}

}  // namespace

void DrawingPage::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedDrawings(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void DrawingPage::dropEvent(QDropEvent* event) {
    for (const QString& path : droppedDrawings(event->mimeData()))
        openDrawing(path);
    event->acceptProposedAction();
}

}  // namespace qks::studio
