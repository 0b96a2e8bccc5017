#include "qks/studio/preview.h"

#include "contract_text.h"
#include "qks/contract/transform.h"

namespace qks::studio {

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

QHash<int, int> indexPartsById(const QVector<PartRow>& parts) {
    QHash<int, int> index;
    index.reserve(parts.size());
    for (int i = 0; i < parts.size(); ++i)
        index.insert(parts[i].id, i);
    return index;
}

}  // namespace qks::studio
