#include "qks/studio/preview.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qks::studio {

std::optional<PlacedPart> placePart(const PartRow& part, const Placement& placement,
                                    const GridFrame& frame) {
    if (part.outline.size() < 3) return std::nullopt;
    const double theta = placement.angle * M_PI / 180.0;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    double minX = std::numeric_limits<double>::infinity();
    double minY = minX;
    // Mirror about the reference corner first, then rotate; the grid position fixes the
    // lower-left corner of the oriented bounding box.
    auto orient = [&](const Contour& in) {
        Contour out;
        out.reserve(in.size());
        for (const QPointF& p : in) {
            double dx = p.x() - part.refX;
            const double dy = p.y() - part.refY;
            if (placement.mirrored) dx = -dx;
            const double rx = dx * c - dy * s;
            const double ry = dx * s + dy * c;
            minX = std::min(minX, rx);
            minY = std::min(minY, ry);
            out.append(QPointF(rx, ry));
        }
        return out;
    };
    PlacedPart placed;
    placed.outer = orient(part.outline);
    placed.holes.reserve(part.holes.size());
    for (const Contour& hole : part.holes)
        placed.holes.append(orient(hole));
    const double base = frame.margin + frame.pad;
    const QPointF shift(placement.column * frame.cell + base - minX,
                        placement.row * frame.cell + base - minY);
    for (QPointF& p : placed.outer)
        p += shift;
    for (Contour& hole : placed.holes) {
        for (QPointF& p : hole)
            p += shift;
    }
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
