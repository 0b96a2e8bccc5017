#include "qks/drawing/figures.h"

#include <algorithm>
#include <cmath>

#include "qks/drawing/extraction.h"

namespace qks::drawing {

using geometry::cross;
namespace {

// A vertex this close to a circle (mm) lies on it: flattening and joining leave less.
constexpr double kOnCircle = 2e-3;
// Segments of arcs in `dense` stray at most this far from the curve (mm).
constexpr double kDenseChordError = 1e-3;

double cross(double ax, double ay, double bx, double by) {
    return ax * by - ay * bx;
}

bool onCircle(const Point& p, const PieceArc& arc) {
    return std::fabs(std::hypot(p.x - arc.centre.x, p.y - arc.centre.y) - arc.radius) <= kOnCircle;
}

}  // namespace

double flatteningChordError(host::EntityType type, bool fineFreeForm) {
    const bool freeForm = type == host::EntityType::Spline || type == host::EntityType::Ellipse;
    return fineFreeForm && freeForm ? kFigureChordError : kChordError;
}

std::vector<PieceArc> curveArcs(host::DrawingAccess& ds, host::ObjectId curve,
                                const host::EntityInfo& info, const host::Matrix3d& transform,
                                double scale) {
    std::vector<PieceArc> arcs;
    const double a = transform.m[0][0], b = transform.m[0][1];
    const double c = transform.m[1][0], d = transform.m[1][1];
    const double stretch = std::sqrt(std::fabs(a * d - b * c));
    const double size = a * a + b * b + c * c + d * d;
    // Only rotations, mirrors and uniform scales keep circles circles.
    if (!(stretch > 0) || std::fabs(a * a + c * c - b * b - d * d) > 1e-9 * size ||
        std::fabs(a * b + c * d) > 1e-9 * size)
        return arcs;
    const auto add = [&](const host::Point3d& centre, double radius) {
        const host::Point3d q = transform.transform(centre);
        const PieceArc arc{{q.x * scale, q.y * scale}, radius * stretch * scale};
        if (std::isfinite(arc.centre.x) && std::isfinite(arc.centre.y) && arc.radius > 0 &&
            std::isfinite(arc.radius))
            arcs.push_back(arc);
    };
    if (info.type == host::EntityType::Arc || info.type == host::EntityType::Circle) {
        host::ArcInfo arc;
        if (host::succeeded(ds.arcInfo(curve, arc))) add(arc.centre, arc.radius);
    } else if (info.type == host::EntityType::LwPolyline) {
        host::LwPolylineInfo polyline;
        if (!host::succeeded(ds.lwPolyline(curve, polyline))) return arcs;
        const std::size_t n = polyline.vertices.size();
        const std::size_t segments = polyline.closed ? n : (n > 0 ? n - 1 : 0);
        for (std::size_t i = 0; i < segments && i < polyline.bulges.size(); ++i) {
            const double bulge = polyline.bulges[i];
            const host::Point3d& p = polyline.vertices[i];
            const host::Point3d& q = polyline.vertices[(i + 1) % n];
            const double chord = std::hypot(q.x - p.x, q.y - p.y);
            if (bulge == 0.0 || !(chord > 0) || !std::isfinite(bulge)) continue;
            // The centre lies left of p→q for a counter-clockwise (positive) bulge under a
            // half turn, at chord (1 − b²) / 4b from the chord's middle.
            const double ux = (q.x - p.x) / chord, uy = (q.y - p.y) / chord;
            const double offset = chord * (1 - bulge * bulge) / (4 * bulge);
            add({(p.x + q.x) / 2 - uy * offset, (p.y + q.y) / 2 + ux * offset, 0},
                chord * (1 + bulge * bulge) / (4 * std::fabs(bulge)));
        }
    }
    return arcs;
}

RingFigures ringFigures(const std::vector<Point>& ring, const std::vector<PieceArc>& arcs,
                        double chordError) {
    RingFigures out;
    const std::size_t n = ring.size();
    if (n < 3) return out;
    std::vector<Point> at = ring;
    for (Point& p : at)
        for (const PieceArc& arc : arcs)
            if (onCircle(p, arc)) {
                const double dx = p.x - arc.centre.x, dy = p.y - arc.centre.y;
                const double r = std::hypot(dx, dy);
                if (r > 0)
                    p = {arc.centre.x + dx * arc.radius / r, arc.centre.y + dy * arc.radius / r};
                break;
            }
    // Shoelace about the first vertex: far from the origin, absolute coordinates lose digits.
    const Point origin = at[0];
    const double largestSagitta = 1.5 * chordError + kOnCircle;
    for (std::size_t i = 0; i < n; ++i) {
        const Point& p = at[i];
        const Point& q = at[(i + 1) % n];
        out.dense.push_back(p);
        out.area += cross(p.x - origin.x, p.y - origin.y, q.x - origin.x, q.y - origin.y) / 2;
        const double chord = std::hypot(q.x - p.x, q.y - p.y);
        const PieceArc* on = nullptr;
        for (const PieceArc& arc : arcs) {
            if (!(chord > 0) || chord >= 2 * arc.radius || !onCircle(p, arc) || !onCircle(q, arc))
                continue;
            const double half = chord / 2;
            if (arc.radius - std::sqrt(arc.radius * arc.radius - half * half) > largestSagitta)
                continue;
            on = &arc;
            break;
        }
        if (on == nullptr) {
            out.length += chord;
            continue;
        }
        // The flattening's chords span minor arcs, bulging away from the centre.
        const double r = on->radius;
        const double ax = p.x - on->centre.x, ay = p.y - on->centre.y;
        const double bx = q.x - on->centre.x, by = q.y - on->centre.y;
        const double sweep = std::atan2(cross(ax, ay, bx, by), ax * bx + ay * by);
        const double angle = std::fabs(sweep);
        const double segment = r * r / 2 * (angle - std::sin(angle));
        const bool centreLeft =
            cross(q.x - p.x, q.y - p.y, on->centre.x - p.x, on->centre.y - p.y) > 0;
        out.area += centreLeft ? segment : -segment;
        out.length += r * angle;
        const double step = r > kDenseChordError ? 2 * std::acos(1 - kDenseChordError / r) : angle;
        const int splits = std::min(10000, static_cast<int>(std::ceil(angle / step)));
        for (int k = 1; k < splits; ++k) {
            const double t = sweep * k / splits;
            out.dense.push_back({on->centre.x + ax * std::cos(t) - ay * std::sin(t),
                                 on->centre.y + ax * std::sin(t) + ay * std::cos(t)});
        }
    }
    return out;
}

}  // namespace qks::drawing
