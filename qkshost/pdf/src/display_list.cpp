#include "qkshost/pdf/display_list.h"

#include "geometry.h"

namespace qkshost::pdf {
namespace {

using detail::Bounds;

void addVertices(Bounds& box, const std::vector<PolylineVertex>& vertices, bool closed) {
    const std::size_t n = vertices.size();
    for (std::size_t i = 0; i < n; ++i) {
        const PolylineVertex& v = vertices[i];
        const double halfWidth = std::fmax(std::fabs(v.startWidth), std::fabs(v.endWidth)) / 2.0;
        box.add(v.point.x - halfWidth, v.point.y - halfWidth);
        box.add(v.point.x + halfWidth, v.point.y + halfWidth);
        if (i + 1 == n && !closed) break;
        detail::BulgeArc arc;
        if (detail::bulgeArc(v.point, vertices[(i + 1) % n].point, v.bulge, arc)) {
            const double t0 = arc.sweep >= 0 ? arc.startAngle : arc.startAngle + arc.sweep;
            const double r = arc.radius + halfWidth;
            detail::addConicArc(box, arc.centre, {r, 0}, {0, r}, t0, t0 + std::fabs(arc.sweep));
        }
    }
}

void addText(Bounds& box, const TextPrimitive& t) {
    // Count code points, not bytes: a Chinese character is three bytes but one glyph, and a
    // wide one. Generous advances: an extents plot had better leave a little room than cut.
    double advance = 0.0;
    for (unsigned char ch : t.text) {
        if (ch < 0x80)
            advance += 1.0;
        else if ((ch & 0xC0) != 0x80)
            advance += 1.4;
    }
    const double h = t.height;
    const double w = h * advance * std::fabs(t.widthFactor);
    double x0 = 0.0;
    if (t.hAlign == TextHAlign::Center) x0 = -w / 2.0;
    if (t.hAlign == TextHAlign::Right) x0 = -w;
    double base = 0.0;  // baseline relative to the insertion point
    if (t.vAlign == TextVAlign::Bottom) base = 0.3 * h;
    if (t.vAlign == TextVAlign::Middle) base = -0.5 * h;
    if (t.vAlign == TextVAlign::Top) base = -h;
    const double c = std::cos(t.rotation), s = std::sin(t.rotation);
    for (double x : {x0, x0 + w})
        for (double y : {base - 0.3 * h, base + h})
            box.add(t.position.x + x * c - y * s, t.position.y + x * s + y * c);
}

}  // namespace

void detail::itemBounds(Bounds& box, const Primitive& p) {
    if (auto* line = std::get_if<LinePrimitive>(&p)) {
        box.add(line->start.x, line->start.y);
        box.add(line->end.x, line->end.y);
    } else if (auto* poly = std::get_if<PolylinePrimitive>(&p)) {
        addVertices(box, poly->vertices, poly->closed);
    } else if (auto* circle = std::get_if<CirclePrimitive>(&p)) {
        const double r = circle->radius;
        box.add(circle->centre.x - r, circle->centre.y - r);
        box.add(circle->centre.x + r, circle->centre.y + r);
    } else if (auto* arc = std::get_if<ArcPrimitive>(&p)) {
        const double r = arc->radius;
        detail::addConicArc(box, arc->centre, {r, 0}, {0, r}, arc->startAngle,
                            detail::ccwEnd(arc->startAngle, arc->endAngle));
    } else if (auto* el = std::get_if<EllipsePrimitive>(&p)) {
        const Point2 minor{-el->majorAxis.y * el->ratio, el->majorAxis.x * el->ratio};
        detail::addConicArc(box, el->centre, el->majorAxis, minor, el->startParam,
                            detail::ccwEnd(el->startParam, el->endParam));
    } else if (auto* fill = std::get_if<FillPrimitive>(&p)) {
        for (const auto& loop : fill->loops)
            addVertices(box, loop, true);
    } else if (auto* text = std::get_if<TextPrimitive>(&p)) {
        if (!text->text.empty()) addText(box, *text);
    }
}

Affine2 Affine2::placement(const Point2& position, double rotation, double scaleX, double scaleY) {
    const double c = std::cos(rotation), s = std::sin(rotation);
    return {c * scaleX, s * scaleX, -s * scaleY, c * scaleY, position.x, position.y};
}

int DisplayList::addDashPattern(DashPattern pattern) {
    double period = 0.0;
    for (double l : pattern.lengths) {
        if (!std::isfinite(l) || l < 0) return 0;
        period += l;
    }
    if (pattern.lengths.size() < 2 || !(period > 0) || !std::isfinite(period) ||
        !std::isfinite(pattern.offset))
        return 0;
    dashes_.push_back(std::move(pattern));
    return int(dashes_.size());
}

std::optional<PlotRect> DisplayList::extents() const {
    Bounds box;
    // Transforms in force; a null entry hides its contents (a transform that is not usable).
    std::vector<std::optional<Affine2>> transforms{Affine2{}};
    for (const DisplayItem& item : items_) {
        const Primitive& p = item.primitive;
        if (auto* push = std::get_if<TransformPush>(&p)) {
            const std::optional<Affine2>& outer = transforms.back();
            if (outer && detail::usableTransform(push->transform) &&
                detail::usableTransform(*outer * push->transform))
                transforms.push_back(*outer * push->transform);
            else
                transforms.push_back(std::nullopt);
            continue;
        }
        if (std::holds_alternative<TransformPop>(p)) {
            if (transforms.size() > 1) transforms.pop_back();
            continue;
        }
        if (!transforms.back()) continue;
        Bounds local;
        detail::itemBounds(local, p);
        if (local.empty()) continue;
        if (transforms.size() == 1) {
            box.add(local.minX, local.minY);
            box.add(local.maxX, local.maxY);
            continue;
        }
        const Affine2& t = *transforms.back();
        for (double x : {local.minX, local.maxX})
            for (double y : {local.minY, local.maxY}) {
                const Point2 q = t.apply({x, y});
                box.add(q.x, q.y);
            }
    }
    if (box.empty()) return std::nullopt;
    return PlotRect{box.minX, box.minY, box.maxX, box.maxY};
}

}  // namespace qkshost::pdf
