// The page renderer: polylines (with their widths as bands) and ellipses.
#include "page_renderer.h"

namespace qkshost::pdf::detail {

void PageRenderer::appendSegment(const PolylineVertex& from, const Point2& to) {
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

void PageRenderer::drawPolyline(const Pen& pen, const PolylinePrimitive& poly) {
    const auto& v = poly.vertices;
    if (v.empty() || !finiteVertices(v)) return;
    if (v.size() == 1) {  // a single vertex plots as a dot
        beginStroke(pen, 0.0);
        canvas_.moveTo(v[0].point.x, v[0].point.y);
        canvas_.closePath();
        return;
    }
    const std::size_t segments = poly.closed ? v.size() : v.size() - 1;
    const double w0 = v[0].startWidth;
    bool constant = true;
    for (std::size_t i = 0; i < segments; ++i)
        if (v[i].startWidth != w0 || v[i].endWidth != w0) constant = false;
    // Length along the polyline, in its own units.
    double length = 0.0;
    for (std::size_t i = 0; i < segments; ++i) {
        const Point2& to = v[(i + 1) % v.size()].point;
        BulgeArc arc;
        length += curvedSegment(v[i], to, arc)
                      ? arc.radius * std::fabs(arc.sweep)
                      : std::hypot(to.x - v[i].point.x, to.y - v[i].point.y);
    }
    if (constant && w0 == 0.0) {
        beginStroke(pen, length);
        appendLoop(v, poly.closed);
        return;
    }
    useInk(pen);
    flushStroke();
    if (constant) {
        if (!drawable(w0)) return;
        canvas_.save();
        canvas_.setLineWidth(std::fabs(w0));
        canvas_.setLineCap(LineCap::Butt);
        canvas_.setLineJoin(LineJoin::Miter);
        // A wide polyline is dashed as a thin one: the pattern is in drawing units, the
        // stroke happens in the polyline's own.
        const double toDrawing = unitScale_ / g_.pointsPerUnit;
        std::vector<double> dashes;
        double offset = 0.0;
        if (const DashPattern* p = list_->dashPattern(dashFor(pen, length * toDrawing))) {
            for (double l : p->lengths)
                dashes.push_back(l / toDrawing);
            offset = p->offset / toDrawing;
        }
        canvas_.setDash(dashes, offset);
        appendLoop(v, poly.closed);
        canvas_.stroke();
        canvas_.restore();
        return;
    }
    // Tapered segments: each is a filled band, and a disc fills the wedge between two bands
    // at a bend. All of them run clockwise, so the non-zero rule unites their overlaps.
    canvas_.save();
    canvas_.setFillRule(FillRule::NonZero);
    for (std::size_t i = 0; i < segments; ++i) {
        const std::size_t next = (i + 1) % v.size();
        appendBand(v[i], v[next].point);
        if (i + 1 == segments && !poly.closed) continue;
        const double joint =
            std::min(std::fabs(v[i].endWidth), std::fabs(v[next].startWidth)) / 2.0;
        if (joint > 0) {
            canvas_.newSubPath();
            canvas_.arcNegative(v[next].point.x, v[next].point.y, joint, 0, -kTwoPi);
            canvas_.closePath();
        }
    }
    canvas_.fill();
    canvas_.restore();
}

// Band from `from` to `to` whose width runs from from.startWidth to from.endWidth: left edge
// forwards, right edge backwards.
void PageRenderer::appendBand(const PolylineVertex& from, const Point2& to) {
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

void PageRenderer::drawEllipse(const Pen& pen, const EllipsePrimitive& el) {
    const double major = std::hypot(el.majorAxis.x, el.majorAxis.y);
    if (!finite(el.centre) || !drawable(major) || !(el.ratio > 0) || !drawable(major * el.ratio) ||
        !std::isfinite(el.startParam) || !std::isfinite(el.endParam))
        return;
    // Perimeter share of the drawn part (Ramanujan's perimeter of the whole ellipse).
    const double a = major, b = major * el.ratio;
    const double perimeter = qks::kPi * (3 * (a + b) - std::sqrt((3 * a + b) * (a + 3 * b)));
    beginStroke(pen, perimeter * (ccwEnd(el.startParam, el.endParam) - el.startParam) / kTwoPi);
    // The path is built in the ellipse's own frame; the stroke happens later under the
    // drawing transform, so the line keeps its weight.
    const Affine2 saved = canvas_.matrix();
    canvas_.translate(el.centre.x, el.centre.y);
    canvas_.rotate(std::atan2(el.majorAxis.y, el.majorAxis.x));
    canvas_.scale(major, major * el.ratio);
    canvas_.newSubPath();
    canvas_.arc(0, 0, 1, el.startParam, ccwEnd(el.startParam, el.endParam));
    canvas_.setMatrix(saved);
}

}  // namespace qkshost::pdf::detail
