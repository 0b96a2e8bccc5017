#include "qks/studio/preview.h"

#include "contract_text.h"
#include "qks/contract/transform.h"

#include <algorithm>
#include <cmath>

namespace qks::studio {
namespace {

struct Bounds {
    double minX = HUGE_VAL;
    double minY = HUGE_VAL;
    double maxX = -HUGE_VAL;
    double maxY = -HUGE_VAL;

    bool holds(const Bounds& inner) const {
        return inner.minX >= minX && inner.maxX <= maxX && inner.minY >= minY && inner.maxY <= maxY;
    }
};

// The box around `contour`; null when it has fewer than 3 points or a point not finite.
std::optional<Bounds> drawableBounds(const Contour& contour) {
    if (contour.size() < 3) return std::nullopt;
    Bounds bounds;
    for (const QPointF& p : contour) {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y())) return std::nullopt;
        bounds.minX = std::min(bounds.minX, p.x());
        bounds.minY = std::min(bounds.minY, p.y());
        bounds.maxX = std::max(bounds.maxX, p.x());
        bounds.maxY = std::max(bounds.maxY, p.y());
    }
    return bounds;
}

}  // namespace

std::optional<PlacedPart> placePart(const PartRow& part, const Placement& placement,
                                    const GridFrame& frame) {
    if (part.outline.size() < 3) return std::nullopt;
    contract::PartRecord record;
    record.refX = part.refX;
    record.refY = part.refY;
    record.outline = detail::toPoints(part.outline);
    record.holes.reserve(static_cast<std::size_t>(part.holes.size()));
    for (const Contour& hole : part.holes)
        record.holes.push_back(detail::toPoints(hole));
    // A sheet drawn at the origin.
    const contract::PlacedShape shape = contract::placeShape(
        record, {0.0, 0.0, frame.margin, frame.pad, frame.cell, placement.angle, placement.mirrored,
                 placement.column, placement.row});
    PlacedPart placed;
    placed.outer = detail::toContour(shape.outline);
    placed.holes.reserve(static_cast<int>(shape.holes.size()));
    for (const auto& hole : shape.holes)
        placed.holes.append(detail::toContour(hole));
    return placed;
}

PlacedPart toScene(const PlacedPart& placed, double sheetHeight) {
    auto flip = [sheetHeight](const Contour& in) {
        Contour out;
        out.reserve(in.size());
        for (const QPointF& p : in)
            out.append(QPointF(p.x(), sheetHeight - p.y()));
        return out;
    };
    PlacedPart scene;
    scene.outer = flip(placed.outer);
    scene.holes.reserve(placed.holes.size());
    for (const Contour& hole : placed.holes)
        scene.holes.append(flip(hole));
    return scene;
}

std::optional<PlacedPart> fitInSquare(const PartRow& part, double side, double pad) {
    const std::optional<Bounds> box = drawableBounds(part.outline);
    const double room = side - 2 * pad;
    if (!box || !(room > 0)) return std::nullopt;
    const double width = box->maxX - box->minX;
    const double height = box->maxY - box->minY;
    // Finite corners far apart can still give an infinite extent, and a tiny extent an
    // infinite scale.
    const double scale = room / std::max(width, height);
    if (!(width > 0 && height > 0) || !std::isfinite(width) || !std::isfinite(height) ||
        !std::isfinite(scale))
        return std::nullopt;
    const double left = pad + (room - width * scale) / 2;
    const double top = pad + (room - height * scale) / 2;
    auto fit = [&](const Contour& in) {
        Contour out;
        out.reserve(in.size());
        for (const QPointF& p : in)
            out.append(
                QPointF(left + (p.x() - box->minX) * scale, top + (box->maxY - p.y()) * scale));
        return out;
    };
    PlacedPart fitted;
    fitted.outer = fit(part.outline);
    for (const Contour& hole : part.holes) {
        const std::optional<Bounds> holeBox = drawableBounds(hole);
        if (holeBox && box->holds(*holeBox)) fitted.holes.append(fit(hole));
    }
    return fitted;
}

QHash<int, int> indexPartsById(const QVector<PartRow>& parts) {
    QHash<int, int> index;
    index.reserve(parts.size());
    for (int i = 0; i < parts.size(); ++i)
        index.insert(parts[i].id, i);
    return index;
}

}  // namespace qks::studio
