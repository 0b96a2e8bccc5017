#include "page_path_writer.h"

#include <algorithm>

namespace qkshost::pdf::detail {

void PagePathWriter::appendSegment(const PolylineVertex& from, const Point2& to) {
    BulgeArc arc;
    if (!curvedSegment(from, to, arc)) {
        canvas_.lineTo(to.x, to.y);
    } else if (arc.sweep > 0) {
        canvas_.arc(arc.centre.x, arc.centre.y, arc.radius, arc.startAngle,
                    arc.startAngle + arc.sweep);
    } else {
        canvas_.arcNegative(arc.centre.x, arc.centre.y, arc.radius, arc.startAngle,
                            arc.startAngle + arc.sweep);
    }
}

void PagePathWriter::appendBand(const PolylineVertex& from, const Point2& to) {
    const double w0 = std::fabs(from.startWidth) / 2.0, w1 = std::fabs(from.endWidth) / 2.0;
    BulgeArc arc;
    std::vector<Point2> left, right;
    if (!curvedSegment(from, to, arc)) {
        const double dx = to.x - from.point.x, dy = to.y - from.point.y;
        const double len = std::hypot(dx, dy);
        if (!(len > 0)) return;
        const double nx = -dy / len, ny = dx / len;
        left = {{from.point.x + nx * w0, from.point.y + ny * w0}, {to.x + nx * w1, to.y + ny * w1}};
        right = {{from.point.x - nx * w0, from.point.y - ny * w0},
                 {to.x - nx * w1, to.y - ny * w1}};
    } else if (w0 == w1) {
        // Constant width: two true arcs, the left edge forwards and the right one back.
        const double a0 = arc.startAngle, a1 = arc.startAngle + arc.sweep;
        const double inner = std::max(0.0, arc.radius - w0), outer = arc.radius + w0;
        canvas_.newSubPath();
        if (arc.sweep > 0) {
            canvas_.arc(arc.centre.x, arc.centre.y, inner, a0, a1);
            canvas_.arcNegative(arc.centre.x, arc.centre.y, outer, a1, a0);
        } else {
            canvas_.arcNegative(arc.centre.x, arc.centre.y, outer, a0, a1);
            canvas_.arc(arc.centre.x, arc.centre.y, inner, a1, a0);
        }
        canvas_.closePath();
        return;
    } else {
        const int steps =
            std::max(4, static_cast<int>(std::ceil(std::fabs(arc.sweep) / (qks::kPi / 36))));
        const double side = arc.sweep > 0 ? -1.0 : 1.0;  // left of travel: inwards when CCW
        for (int k = 0; k <= steps; ++k) {
            const double f = static_cast<double>(k) / steps;
            const double t = arc.startAngle + arc.sweep * f;
            const double half = w0 + (w1 - w0) * f;
            const double cx = std::cos(t), sy = std::sin(t);
            left.push_back({arc.centre.x + cx * (arc.radius + side * half),
                            arc.centre.y + sy * (arc.radius + side * half)});
            right.push_back({arc.centre.x + cx * (arc.radius - side * half),
                             arc.centre.y + sy * (arc.radius - side * half)});
        }
    }
    canvas_.moveTo(left[0].x, left[0].y);
    for (std::size_t k = 1; k < left.size(); ++k)
        canvas_.lineTo(left[k].x, left[k].y);
    for (std::size_t k = right.size(); k-- > 0;)
        canvas_.lineTo(right[k].x, right[k].y);
    canvas_.closePath();
}

void PagePathWriter::appendEllipse(const EllipsePrimitive& el, double major) {
    const Affine2 saved = canvas_.matrix();
    canvas_.translate(el.centre.x, el.centre.y);
    canvas_.rotate(std::atan2(el.majorAxis.y, el.majorAxis.x));
    canvas_.scale(major, major * el.ratio);
    canvas_.newSubPath();
    canvas_.arc(0, 0, 1, el.startParam, ccwEnd(el.startParam, el.endParam));
    canvas_.setMatrix(saved);
}

}  // namespace qkshost::pdf::detail
