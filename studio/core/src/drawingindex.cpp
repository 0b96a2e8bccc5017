#include "qks/studio/drawingindex.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <system_error>
#include <thread>

namespace qks::studio {
namespace {

using contract::ViewItem;
using contract::ViewItemKind;

// Cells per side of the grid: about one entity a cell, capped so the grid stays small.
constexpr int kMaxGridSide = 512;

float segmentDistance(float px, float py, float ax, float ay, float bx, float by) {
    const float dx = bx - ax, dy = by - ay;
    const float length2 = dx * dx + dy * dy;
    float t = length2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / length2 : 0;
    t = std::clamp(t, 0.0f, 1.0f);
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// Whether segment a-b meets the box (Liang-Barsky clipping).
bool segmentMeets(const ViewBox& box, float ax, float ay, float bx, float by) {
    if (box.contains(ax, ay) || box.contains(bx, by)) return true;
    float t0 = 0, t1 = 1;
    const float dx = bx - ax, dy = by - ay;
    const float p[4] = {-dx, dx, -dy, dy};
    const float q[4] = {ax - box.minX, box.maxX - ax, ay - box.minY, box.maxY - ay};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const float t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    return true;
}

// Calls `segment(ax, ay, bx, by)` for every drawn segment of a stroke or fill; a lone point
// is a segment of no length. Stops when it returns true.
template <typename F>
bool anySegment(const contract::ViewFile& view, const ViewItem& item, F&& segment) {
    const std::size_t n = item.pointCount;
    if (n == 0) return false;
    const float* p = view.points.data() + 2 * std::size_t(item.firstPoint);
    if (n == 1) return segment(p[0], p[1], p[0], p[1]);
    const contract::ViewStyle& style = view.styles[item.style];
    if (style.kind == ViewItemKind::Fill) {
        const contract::ViewLoops& loops = view.fills[item.detail];
        const std::uint32_t* starts = view.loopStarts.data() + loops.firstLoop;
        for (std::size_t loop = 0; loop < loops.loopCount; ++loop) {
            const std::size_t begin = starts[loop];
            const std::size_t end = loop + 1 < loops.loopCount ? starts[loop + 1] : n;
            for (std::size_t i = begin; i < end; ++i) {
                const std::size_t j = i + 1 < end ? i + 1 : begin;
                if (segment(p[2 * i], p[2 * i + 1], p[2 * j], p[2 * j + 1])) return true;
            }
        }
        return false;
    }
    for (std::size_t i = 0; i + 1 < n; ++i)
        if (segment(p[2 * i], p[2 * i + 1], p[2 * i + 2], p[2 * i + 3])) return true;
    if (style.closed && n > 2) return segment(p[2 * n - 2], p[2 * n - 1], p[0], p[1]);
    return false;
}

}  // namespace

void ViewBox::add(float x, float y) {
    if (empty()) {
        minX = maxX = x;
        minY = maxY = y;
        return;
    }
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
    minY = std::min(minY, y);
    maxY = std::max(maxY, y);
}

void ViewBox::add(const ViewBox& other) {
    if (other.empty()) return;
    add(other.minX, other.minY);
    add(other.maxX, other.maxY);
}

bool ViewBox::meets(const ViewBox& o) const {
    return !empty() && !o.empty() && minX <= o.maxX && o.minX <= maxX && minY <= o.maxY &&
           o.minY <= maxY;
}

bool ViewBox::contains(const ViewBox& o) const {
    return !empty() && !o.empty() && minX <= o.minX && o.maxX <= maxX && minY <= o.minY &&
           o.maxY <= maxY;
}

bool ViewBox::contains(float x, float y) const {
    return !empty() && minX <= x && x <= maxX && minY <= y && y <= maxY;
}

ViewBox DrawingIndex::textBox(const contract::ViewFile& view, const ViewItem& item) {
    ViewBox box;
    if (item.pointCount < 1) return box;
    const contract::ViewText& text = view.texts[item.detail];
    const contract::ViewStyle& style = view.styles[item.style];
    // Latin characters are about as wide as 0.7 of the height, CJK ones a whole height.
    double advance = 0;
    for (const QChar c : QString::fromStdString(view.strings[text.text]))
        advance += c.unicode() < 0x2e80 ? 0.7 : 1.0;
    const double width = advance * text.height * std::max(0.01f, text.widthFactor);
    double x0 = 0;
    if (style.hAlign == contract::ViewHAlign::Center) x0 = -width / 2;
    if (style.hAlign == contract::ViewHAlign::Right) x0 = -width;
    double y0 = -0.3 * text.height;  // descenders
    if (style.vAlign == contract::ViewVAlign::Middle) y0 -= text.height / 2;
    if (style.vAlign == contract::ViewVAlign::Top) y0 -= text.height;
    const double c = std::cos(text.rotation), s = std::sin(text.rotation);
    for (const double u : {x0, x0 + width})
        for (const double v : {y0, y0 + 1.3 * text.height})
            box.add(static_cast<float>(view.x(item.firstPoint) + u * c - v * s),
                    static_cast<float>(view.y(item.firstPoint) + u * s + v * c));
    return box;
}

QString DrawingIndex::handle(int entity) const {
    return QString::fromStdString(
        contract::viewHandleText(view_.entities[static_cast<std::size_t>(entity)].handle));
}

DrawingIndex::DrawingIndex(contract::ViewFile view) : view_(std::move(view)) {
    layerShown_.resize(view_.layers.size());
    for (std::size_t i = 0; i < view_.layers.size(); ++i)
        layerShown_[i] = view_.layers[i].on && !view_.layers[i].frozen;
    boxes_.resize(view_.entities.size());
    // Boxes of a large drawing are found on two threads, each over half the entities.
    const auto boxRange = [this](std::size_t first, std::size_t last, ViewBox& extents) {
        for (std::size_t e = first; e < last; ++e) {
            ViewBox& box = boxes_[e];
            for (const ViewItem* item = itemsBegin(int(e)); item != itemsEnd(int(e)); ++item) {
                if (item->pointCount == 0) continue;
                if (view_.styles[item->style].kind == ViewItemKind::Text) {
                    box.add(textBox(view_, *item));
                    continue;
                }
                const float* p = view_.points.data() + 2 * std::size_t(item->firstPoint);
                for (std::uint32_t i = 0; i < item->pointCount; ++i) {
                    const float x = p[2 * i], y = p[2 * i + 1];
                    if (box.empty()) {
                        box = {x, y, x, y};
                        continue;
                    }
                    box.minX = std::min(box.minX, x);
                    box.maxX = std::max(box.maxX, x);
                    box.minY = std::min(box.minY, y);
                    box.maxY = std::max(box.maxY, y);
                }
            }
            extents.add(box);
        }
    };
    const std::size_t count = view_.entities.size();
    ViewBox secondHalf;
    std::thread helper;
    if (count >= 50000) {
        try {
            helper = std::thread(boxRange, count / 2, count, std::ref(secondHalf));
        } catch (const std::system_error&) {
        }
    }
    const std::size_t firstEnd = helper.joinable() ? count / 2 : count;
    boxRange(0, firstEnd, extents_);
    if (helper.joinable()) {
        helper.join();
        extents_.add(secondHalf);
    }
    seen_.assign(view_.entities.size(), 0);
    if (extents_.empty()) return;
    const int side =
        std::clamp(static_cast<int>(std::sqrt(double(view_.entities.size()))), 1, kMaxGridSide);
    columns_ = rows_ = side;
    cellWidth_ = std::max((extents_.maxX - extents_.minX) / side, 1e-6f);
    cellHeight_ = std::max((extents_.maxY - extents_.minY) / side, 1e-6f);
    // Counted first, then filled: two passes over the boxes and no list per cell.
    const std::size_t cells = static_cast<std::size_t>(columns_) * rows_;
    cellStart_.assign(cells + 1, 0);
    const auto eachCell = [&](auto&& visit) {
        for (std::size_t e = 0; e < boxes_.size(); ++e) {
            if (boxes_[e].empty()) continue;
            int c0, r0, c1, r1;
            cellRange(boxes_[e], c0, r0, c1, r1);
            for (int r = r0; r <= r1; ++r)
                for (int c = c0; c <= c1; ++c)
                    visit(static_cast<std::size_t>(r) * columns_ + c, static_cast<int>(e));
        }
    };
    eachCell([&](std::size_t cell, int) { ++cellStart_[cell + 1]; });
    for (std::size_t c = 0; c < cells; ++c)
        cellStart_[c + 1] += cellStart_[c];
    cellEntities_.resize(cellStart_[cells]);
    std::vector<std::uint32_t> next(cellStart_.begin(), cellStart_.end() - 1);
    eachCell([&](std::size_t cell, int e) { cellEntities_[next[cell]++] = e; });
}

void DrawingIndex::cellRange(const ViewBox& box, int& c0, int& r0, int& c1, int& r1) const {
    // Coordinates near the float range overflow to infinities and NaNs: those take the edge.
    const auto cell = [](float v, float origin, float size, int count) {
        const float f = std::floor((v - origin) / size);
        if (!(f > 0)) return 0;
        return f >= float(count - 1) ? count - 1 : static_cast<int>(f);
    };
    c0 = cell(box.minX, extents_.minX, cellWidth_, columns_);
    c1 = cell(box.maxX, extents_.minX, cellWidth_, columns_);
    r0 = cell(box.minY, extents_.minY, cellHeight_, rows_);
    r1 = cell(box.maxY, extents_.minY, cellHeight_, rows_);
}

void DrawingIndex::setLayerShown(std::uint32_t layer, bool shown) {
    if (layer < layerShown_.size()) layerShown_[layer] = shown;
}

bool DrawingIndex::entityShown(int entity) const {
    for (const ViewItem* item = itemsBegin(entity); item != itemsEnd(entity); ++item)
        if (layerShown(view_.styles[item->style].layer)) return true;
    return false;
}

std::vector<int> DrawingIndex::query(const ViewBox& box) const {
    std::vector<int> found;
    if (cellStart_.empty() || !box.meets(extents_)) return found;
    int c0, r0, c1, r1;
    cellRange(box, c0, r0, c1, r1);
    if (std::size_t(c1 - c0 + 1) * std::size_t(r1 - r0 + 1) * 4 >= std::size_t(columns_) * rows_) {
        // A quarter of the grid or more (the whole drawing in view): one pass over the boxes
        // finds them in order, where the cells would find them out of order and many twice.
        for (std::size_t e = 0; e < boxes_.size(); ++e)
            if (boxes_[e].meets(box)) found.push_back(static_cast<int>(e));
        return found;
    }
    if (++stamp_ == 0) {
        std::fill(seen_.begin(), seen_.end(), 0);
        stamp_ = 1;
    }
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c)
            for (std::uint32_t k = cellStart_[static_cast<std::size_t>(r) * columns_ + c],
                               end = cellStart_[static_cast<std::size_t>(r) * columns_ + c + 1];
                 k < end; ++k) {
                const int e = cellEntities_[k];
                if (seen_[static_cast<std::size_t>(e)] == stamp_) continue;
                seen_[static_cast<std::size_t>(e)] = stamp_;
                if (boxes_[static_cast<std::size_t>(e)].meets(box)) found.push_back(e);
            }
    std::sort(found.begin(), found.end());
    return found;
}

float DrawingIndex::distance(int entity, float x, float y) const {
    float best = std::numeric_limits<float>::infinity();
    for (const ViewItem* it = itemsBegin(entity); it != itemsEnd(entity); ++it) {
        const ViewItem& item = *it;
        const contract::ViewStyle& style = view_.styles[item.style];
        if (!layerShown(style.layer) || item.pointCount == 0) continue;
        if (style.kind == ViewItemKind::Text) {
            // A text is picked anywhere on its box.
            const ViewBox box = textBox(view_, item);
            const float dx = std::max({box.minX - x, 0.0f, x - box.maxX});
            const float dy = std::max({box.minY - y, 0.0f, y - box.maxY});
            best = std::min(best, std::hypot(dx, dy));
            continue;
        }
        anySegment(view_, item, [&](float ax, float ay, float bx, float by) {
            best = std::min(best, segmentDistance(x, y, ax, ay, bx, by));
            return false;
        });
    }
    return best;
}

std::optional<int> DrawingIndex::nearest(float x, float y, float tolerance) const {
    const ViewBox around{x - tolerance, y - tolerance, x + tolerance, y + tolerance};
    std::optional<int> best;
    float bestDistance = tolerance;
    for (const int e : query(around)) {
        const float d = distance(e, x, y);
        // The later of two equally near entities is drawn on top, so it is the one taken.
        if (d <= bestDistance) {
            bestDistance = d;
            best = e;
        }
    }
    return best;
}

bool DrawingIndex::crosses(int entity, const ViewBox& box) const {
    for (const ViewItem* it = itemsBegin(entity); it != itemsEnd(entity); ++it) {
        const ViewItem& item = *it;
        const contract::ViewStyle& style = view_.styles[item.style];
        if (!layerShown(style.layer) || item.pointCount == 0) continue;
        if (style.kind == ViewItemKind::Text) {
            if (textBox(view_, item).meets(box)) return true;
            continue;
        }
        if (anySegment(view_, item, [&](float ax, float ay, float bx, float by) {
                return segmentMeets(box, ax, ay, bx, by);
            }))
            return true;
    }
    return false;
}

std::vector<int> DrawingIndex::pick(const ViewBox& box, PickRule rule) const {
    std::vector<int> picked;
    for (const int e : query(box)) {
        if (!entityShown(e)) continue;
        if (rule == PickRule::Window ? box.contains(boxes_[static_cast<std::size_t>(e)])
                                     : crosses(e, box))
            picked.push_back(e);
    }
    return picked;
}

}  // namespace qks::studio
