#include "qks/contract/transform.h"

#include "qks/geometry/plane.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qks::contract {
namespace {

// Bounding minimum of the oriented outline and holes together. It starts at infinity, so an axis
// on which every coordinate is NaN gets no finite position; the plug-in never places such a
// part anyway (its raster is oversize).
Point orientedMinimum(const std::vector<Point>& outline,
                      const std::vector<std::vector<Point>>& holes) {
    constexpr double kNone = std::numeric_limits<double>::infinity();
    Point low{kNone, kNone};
    auto take = [&](const std::vector<Point>& pts) {
        for (const Point& p : pts) {
            low.x = std::min(low.x, p.x);
            low.y = std::min(low.y, p.y);
        }
    };
    take(outline);
    for (const auto& hole : holes)
        take(hole);
    return low;
}

}  // namespace

PlacedShape placeShape(const PartRecord& part, const SheetPosition& at) {
    PlacedShape shape;
    shape.outline = orient(part.outline, part.refX, part.refY, at.angle, at.mirrored);
    for (const Outline& hole : part.holes)
        shape.holes.push_back(orient(hole, part.refX, part.refY, at.angle, at.mirrored));
    const Point low = orientedMinimum(shape.outline, shape.holes);
    const double ox = at.sheetX + at.margin + at.pad + at.column * at.cell - low.x;
    const double oy = at.sheetY + at.margin + at.pad + at.row * at.cell - low.y;
    auto move = [&](std::vector<Point>& pts) {
        for (Point& p : pts) {
            p.x += ox;
            p.y += oy;
        }
    };
    move(shape.outline);
    for (auto& hole : shape.holes)
        move(hole);
    return shape;
}

Point placePoint(const Point& point, const PartRecord& part, const SheetPosition& at) {
    std::vector<std::vector<Point>> holes;
    for (const Outline& hole : part.holes)
        holes.push_back(orient(hole, part.refX, part.refY, at.angle, at.mirrored));
    const Point low =
        orientedMinimum(orient(part.outline, part.refX, part.refY, at.angle, at.mirrored), holes);
    const Point p = orient({point}, part.refX, part.refY, at.angle, at.mirrored).front();
    return {at.sheetX + at.margin + at.pad + at.column * at.cell + p.x - low.x,
            at.sheetY + at.margin + at.pad + at.row * at.cell + p.y - low.y};
}

void measureOutline(PartRecord& part) {
    const geometry::Bounds b = geometry::boundsOf(part.outline);
    part.area = geometry::polygonArea(part.outline);
    part.refX = b.minX;
    part.refY = b.minY;
    part.width = b.maxX - b.minX;
    part.height = b.maxY - b.minY;
}

}  // namespace qks::contract
