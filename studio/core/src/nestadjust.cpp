#include "qks/studio/nestadjust.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "qks/geometry/plane.h"

namespace qks::studio {
namespace {

using contract::LayoutPlacement;
using contract::PlacedPart;

// Grid offsets within `reach` cells, nearest first (then bottom-left first, so ties go the way
// the search packs).
const std::vector<std::pair<int, int>>& offsetsWithin(int reach) {
    static std::map<int, std::vector<std::pair<int, int>>> cache;
    auto& offsets = cache[reach];
    if (!offsets.empty()) return offsets;
    for (int dr = -reach; dr <= reach; ++dr)
        for (int dc = -reach; dc <= reach; ++dc)
            if (dc * dc + dr * dr <= reach * reach) offsets.emplace_back(dc, dr);
    std::stable_sort(offsets.begin(), offsets.end(), [](const auto& a, const auto& b) {
        return a.first * a.first + a.second * a.second < b.first * b.first + b.second * b.second;
    });
    return offsets;
}

PlacedPart shifted(PlacedPart part, double dx, double dy) {
    const auto move = [&](contract::Outline& ring) {
        for (contract::Point& p : ring) {
            p.x += dx;
            p.y += dy;
        }
    };
    move(part.shape.outline);
    for (contract::Outline& hole : part.shape.holes)
        move(hole);
    part.box = {part.box.minX + dx, part.box.minY + dy, part.box.maxX + dx, part.box.maxY + dy};
    return part;
}

double boxDistance(const geometry::Bounds& a, const geometry::Bounds& b) {
    return std::max({a.minX - b.maxX, b.minX - a.maxX, a.minY - b.maxY, b.minY - a.maxY});
}

QString quoted(const contract::PartRecord* kind) {
    if (!kind) return QStringLiteral("「?」");
    const QString name = QString::fromStdString(kind->name);
    return QStringLiteral("「%1」").arg(name.isEmpty() ? QString::number(kind->id) : name);
}

}  // namespace

NestAdjustModel::NestAdjustModel(contract::NestLayout layout) : layout_(std::move(layout)) {
    rebuild();
}

double NestAdjustModel::sheetX(std::size_t sheet) const {
    double x = 0.0;
    for (std::size_t s = 0; s < sheet && s < layout_.sheets.size(); ++s)
        x += layout_.sheets[s].width + contract::kNestSheetSpacing;
    return x;
}

std::optional<std::size_t> NestAdjustModel::sheetAt(double x, double y) const {
    for (std::size_t s = 0; s < layout_.sheets.size(); ++s) {
        const double x0 = sheetX(s);
        if (x >= x0 && x <= x0 + layout_.sheets[s].width && y >= 0 && y <= layout_.sheets[s].height)
            return s;
    }
    return std::nullopt;
}

const PlacedPart& NestAdjustModel::placed(const PartRef& part) const {
    return placed_[part.sheet][part.index];
}

std::optional<PartRef> NestAdjustModel::partAt(double x, double y) const {
    const std::optional<std::size_t> sheet = sheetAt(x, y);
    if (!sheet) return std::nullopt;
    const double lx = x - sheetX(*sheet);
    std::optional<PartRef> outline;
    for (std::size_t k = placed_[*sheet].size(); k-- > 0;) {
        const PlacedPart& p = placed_[*sheet][k];
        if (!geometry::pointInPolygon(p.shape.outline, lx, y)) continue;
        const bool inHole = std::any_of(
            p.shape.holes.begin(), p.shape.holes.end(),
            [&](const contract::Outline& hole) { return geometry::pointInPolygon(hole, lx, y); });
        if (!inHole) return PartRef{*sheet, k};
        if (!outline) outline = PartRef{*sheet, k};
    }
    return outline;
}

QString NestAdjustModel::selectedName() const {
    if (!selected_) return {};
    return quoted(kindOf(layout_.sheets[selected_->sheet].placements[selected_->index]));
}

const contract::PartRecord* NestAdjustModel::kindOf(const LayoutPlacement& at) const {
    return contract::findKind(layout_, at.partId);
}

const contract::LayoutTurns* NestAdjustModel::turnsOf(std::int32_t partId) const {
    for (const contract::LayoutTurns& turn : layout_.turns)
        if (turn.partId == partId) return &turn;
    return nullptr;
}

PlacedPart NestAdjustModel::shapeOf(const LayoutPlacement& at) const {
    const contract::PartRecord* kind = kindOf(at);
    return kind ? contract::placePart(*kind, at) : PlacedPart{};
}

double NestAdjustModel::snap(double position) const {
    const contract::LayoutSettings& s = layout_.settings;
    return s.gridOrigin + std::round((position - s.gridOrigin) / s.cell) * s.cell;
}

std::optional<LayoutPlacement> NestAdjustModel::nearestFit(std::size_t sheet, LayoutPlacement at,
                                                           int reach, int ignore) const {
    if (!kindOf(at)) return std::nullopt;
    const double cell = layout_.settings.cell;
    at.x = snap(at.x);
    at.y = snap(at.y);
    const PlacedPart base = shapeOf(at);
    for (const auto& [dc, dr] : offsetsWithin(reach)) {
        const double dx = dc * cell, dy = dr * cell;
        const PlacedPart moved = shifted(base, dx, dy);
        if (contract::placementFits(layout_, sheet, moved, placed_[sheet], ignore)) {
            LayoutPlacement found = at;
            found.x = at.x + dx;
            found.y = at.y + dy;
            return found;
        }
    }
    return std::nullopt;
}

void NestAdjustModel::rebuild() {
    placed_.assign(layout_.sheets.size(), {});
    for (std::size_t s = 0; s < layout_.sheets.size(); ++s)
        for (const LayoutPlacement& at : layout_.sheets[s].placements)
            placed_[s].push_back(shapeOf(at));
    if (selected_ && (selected_->sheet >= placed_.size() ||
                      selected_->index >= placed_[selected_->sheet].size()))
        selected_.reset();
}

void NestAdjustModel::commit(const Sheets& before, const QString& message) {
    undo_.push_back(before);
    redo_.clear();
    modified_ = true;
    message_ = message;
    rebuild();
}

bool NestAdjustModel::refuse(const QString& message) {
    message_ = message;
    return false;
}

bool NestAdjustModel::replaceSelected(const LayoutPlacement& at, const QString& message) {
    const Sheets before = layout_.sheets;
    layout_.sheets[selected_->sheet].placements[selected_->index] = at;
    commit(before, message);
    return true;
}

void NestAdjustModel::beginDrag(double x, double y) {
    preview_.reset();
    if (!selected_) return;
    const LayoutPlacement& at = layout_.sheets[selected_->sheet].placements[selected_->index];
    grabX_ = x - sheetX(selected_->sheet) - at.x;
    grabY_ = y - at.y;
}

std::optional<NestAdjustModel::Preview> NestAdjustModel::dragTo(double x, double y) {
    if (!selected_) return std::nullopt;
    Preview preview;
    preview.sheet = sheetAt(x, y).value_or(selected_->sheet);
    preview.at = layout_.sheets[selected_->sheet].placements[selected_->index];
    preview.at.x = snap(x - sheetX(preview.sheet) - grabX_);
    preview.at.y = snap(y - grabY_);
    const int ignore = preview.sheet == selected_->sheet ? static_cast<int>(selected_->index) : -1;
    if (const auto fit = nearestFit(preview.sheet, preview.at, kSnapCells, ignore)) {
        preview.at = *fit;
        preview.fits = true;
    }
    preview.shape = shapeOf(preview.at);
    preview_ = preview;
    return preview_;
}

bool NestAdjustModel::endDrag() {
    const std::optional<Preview> preview = std::exchange(preview_, std::nullopt);
    if (!selected_ || !preview) return false;
    const LayoutPlacement& from = layout_.sheets[selected_->sheet].placements[selected_->index];
    if (preview->sheet == selected_->sheet && preview->at == from) return false;
    const QString name = selectedName();
    if (!preview->fits)
        return refuse(QStringLiteral("不能放在这里：%1会与其他零件、板边或缺陷冲突").arg(name));
    if (preview->sheet == selected_->sheet)
        return replaceSelected(preview->at, QStringLiteral("已移动%1").arg(name));
    const Sheets before = layout_.sheets;
    auto& source = layout_.sheets[selected_->sheet].placements;
    source.erase(source.begin() + static_cast<std::ptrdiff_t>(selected_->index));
    auto& target = layout_.sheets[preview->sheet].placements;
    target.push_back(preview->at);
    selected_ = PartRef{preview->sheet, target.size() - 1};
    commit(before, QStringLiteral("已移动%1到板%2").arg(name).arg(preview->sheet + 1));
    return true;
}

bool NestAdjustModel::turn() {
    if (!selected_) return refuse(QStringLiteral("请先点选一个零件"));
    LayoutPlacement at = layout_.sheets[selected_->sheet].placements[selected_->index];
    const contract::LayoutTurns* turns = turnsOf(at.partId);
    if (!turns || turns->angles.size() < 2)
        return refuse(QStringLiteral("%1不允许旋转").arg(selectedName()));
    const auto now = std::find(turns->angles.begin(), turns->angles.end(), at.angle);
    at.angle = now == turns->angles.end() || now + 1 == turns->angles.end() ? turns->angles.front()
                                                                            : *(now + 1);
    const auto fit =
        nearestFit(selected_->sheet, at, kSnapCells, static_cast<int>(selected_->index));
    if (!fit) return refuse(QStringLiteral("旋转后放不下%1").arg(selectedName()));
    return replaceSelected(*fit,
                           QStringLiteral("已将%1转到 %2°").arg(selectedName()).arg(at.angle));
}

bool NestAdjustModel::mirror() {
    if (!selected_) return refuse(QStringLiteral("请先点选一个零件"));
    LayoutPlacement at = layout_.sheets[selected_->sheet].placements[selected_->index];
    const contract::LayoutTurns* turns = turnsOf(at.partId);
    if (!turns || !turns->mirror) return refuse(QStringLiteral("%1不允许镜像").arg(selectedName()));
    at.mirrored = !at.mirrored;
    const auto fit =
        nearestFit(selected_->sheet, at, kSnapCells, static_cast<int>(selected_->index));
    if (!fit) return refuse(QStringLiteral("镜像后放不下%1").arg(selectedName()));
    return replaceSelected(*fit, QStringLiteral("已镜像%1").arg(selectedName()));
}

bool NestAdjustModel::nudge(int columns, int rows) {
    if (!selected_) return refuse(QStringLiteral("请先点选一个零件"));
    LayoutPlacement at = layout_.sheets[selected_->sheet].placements[selected_->index];
    at.x += columns * layout_.settings.cell;
    at.y += rows * layout_.settings.cell;
    const auto fit = nearestFit(selected_->sheet, at, 0, static_cast<int>(selected_->index));
    if (!fit) return refuse(QStringLiteral("不能移动%1：会碰撞或超出边距").arg(selectedName()));
    return replaceSelected(*fit, QStringLiteral("已移动%1").arg(selectedName()));
}

bool NestAdjustModel::toggleLock() {
    if (!selected_) return refuse(QStringLiteral("请先点选一个零件"));
    LayoutPlacement at = layout_.sheets[selected_->sheet].placements[selected_->index];
    at.locked = !at.locked;
    return replaceSelected(
        at,
        (at.locked ? QStringLiteral("已锁定%1") : QStringLiteral("已解锁%1")).arg(selectedName()));
}

bool NestAdjustModel::remove() {
    if (!selected_) return refuse(QStringLiteral("请先点选一个零件"));
    const QString name = selectedName();
    const Sheets before = layout_.sheets;
    auto& list = layout_.sheets[selected_->sheet].placements;
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(selected_->index));
    selected_.reset();
    commit(before, QStringLiteral("已删除%1").arg(name));
    return true;
}

bool NestAdjustModel::addCopy() {
    if (!selected_) return refuse(QStringLiteral("请先点选一个零件"));
    LayoutPlacement copy = layout_.sheets[selected_->sheet].placements[selected_->index];
    copy.locked = false;
    const QString name = selectedName();
    const contract::LayoutSettings& s = layout_.settings;
    const PlacedPart origin = [&] {
        LayoutPlacement at = copy;
        at.x = at.y = s.gridOrigin;
        return shapeOf(at);
    }();
    const double w = origin.box.maxX - origin.box.minX, h = origin.box.maxY - origin.box.minY;
    // Bottom row first, left to right: the first position whose box keeps the gap to every part's
    // box, judged exactly at last (an irregular piece's outline decides only there).
    for (std::size_t sheet = 0; sheet < layout_.sheets.size(); ++sheet) {
        const contract::LayoutSheet& target = layout_.sheets[sheet];
        const int columns = static_cast<int>((target.width - s.gridOrigin - w) / s.cell);
        const int rows = static_cast<int>((target.height - s.gridOrigin - h) / s.cell);
        for (int r = 0; r <= rows; ++r)
            for (int c = 0; c <= columns; ++c) {
                const double dx = c * s.cell, dy = r * s.cell;
                const geometry::Bounds box{origin.box.minX + dx, origin.box.minY + dy,
                                           origin.box.maxX + dx, origin.box.maxY + dy};
                const bool clear = std::all_of(
                    placed_[sheet].begin(), placed_[sheet].end(),
                    [&](const PlacedPart& p) { return boxDistance(box, p.box) >= s.gap; });
                if (!clear) continue;
                LayoutPlacement at = copy;
                at.x = s.gridOrigin + dx;
                at.y = s.gridOrigin + dy;
                if (!contract::placementFits(layout_, sheet, shapeOf(at), placed_[sheet], -1))
                    continue;
                const Sheets before = layout_.sheets;
                layout_.sheets[sheet].placements.push_back(at);
                selected_ = PartRef{sheet, layout_.sheets[sheet].placements.size() - 1};
                commit(before, QStringLiteral("已添加一件%1到板%2").arg(name).arg(sheet + 1));
                return true;
            }
    }
    return refuse(QStringLiteral("没有空位放下%1").arg(name));
}

bool NestAdjustModel::undo() {
    return walk(undo_, redo_, QStringLiteral("已撤销"), QStringLiteral("没有可撤销的操作"));
}

bool NestAdjustModel::redo() {
    return walk(redo_, undo_, QStringLiteral("已重做"), QStringLiteral("没有可重做的操作"));
}

bool NestAdjustModel::walk(std::vector<Sheets>& from, std::vector<Sheets>& to, const QString& done,
                           const QString& none) {
    if (from.empty()) return refuse(none);
    to.push_back(std::exchange(layout_.sheets, std::move(from.back())));
    from.pop_back();
    modified_ = true;
    message_ = done;
    rebuild();
    return true;
}

AdjustTotals NestAdjustModel::totals() const {
    AdjustTotals totals;
    double used = 0.0, stock = 0.0;
    std::map<std::int32_t, int> placed;
    for (const contract::LayoutSheet& sheet : layout_.sheets) {
        if (sheet.placements.empty()) continue;
        ++totals.sheetsUsed;
        double area = sheet.width * sheet.height;
        if (!sheet.stock.empty()) {
            area = geometry::polygonArea(sheet.stock.front());
            for (std::size_t d = 1; d < sheet.stock.size(); ++d)
                area -= geometry::polygonArea(sheet.stock[d]);
        }
        stock += area;
        for (const LayoutPlacement& at : sheet.placements) {
            ++placed[at.partId];
            if (const contract::PartRecord* kind = kindOf(at)) used += kind->area;
        }
    }
    for (const contract::PartRecord& kind : layout_.parts)
        totals.unplaced += std::max(0, kind.quantity - placed[kind.id]);
    totals.utilisationPercent = stock > 0.0 ? used / stock * 100.0 : 0.0;
    return totals;
}

}  // namespace qks::studio
