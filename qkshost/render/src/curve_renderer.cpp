#include "curve_renderer.h"

#include "hatch.h"

namespace qkshost::render::detail {

void CurveRenderer::circle(const pdf::Pen& pen, const drawing::Circle& c, const Context& ctx) {
    conic(pen, ctx.m * drawing::ocsToWcs(c.extrusion), c.center, {c.radius, 0, 0}, {0, c.radius, 0},
          0, kTwoPi, true);
}

void CurveRenderer::arc(const pdf::Pen& pen, const drawing::Arc& a, const Context& ctx) {
    conic(pen, ctx.m * drawing::ocsToWcs(a.extrusion), a.center, {a.radius, 0, 0}, {0, a.radius, 0},
          a.startAngle, a.endAngle, false);
}

void CurveRenderer::ellipse(const pdf::Pen& pen, const drawing::Ellipse& el, const Context& ctx) {
    const Vector3d n = el.extrusion;
    const Vector3d minor{(n.y * el.majorAxis.z - n.z * el.majorAxis.y) * el.ratio,
                         (n.z * el.majorAxis.x - n.x * el.majorAxis.z) * el.ratio,
                         (n.x * el.majorAxis.y - n.y * el.majorAxis.x) * el.ratio};
    const bool full = std::fabs(std::fabs(el.endParam - el.startParam) - kTwoPi) < 1e-9;
    conic(pen, ctx.m, el.center, el.majorAxis, minor, el.startParam, el.endParam, full);
}

void CurveRenderer::conic(const pdf::Pen& pen, const Matrix3d& m, const Point3d& centre,
                          const Vector3d& u3, const Vector3d& v3, double t0, double t1, bool full) {
    const Point2 c = xy(m.transform(centre));
    const Vector3d tu = m.transform(u3), tv = m.transform(v3);
    const Point2 u{tu.x, tu.y}, v{tv.x, tv.y};
    if (!finitePoint(c) || !finitePoint(u) || !finitePoint(v)) return;
    if (!full) {
        // The end follows the start counter-clockwise by less than a full turn.
        if (!std::isfinite(t0) || !std::isfinite(t1)) return;
        double span = std::fmod(t1 - t0, kTwoPi);
        if (span <= 0) span += kTwoPi;
        t0 = std::fmod(t0, kTwoPi);
        t1 = t0 + span;
    }
    const double nu = norm(u), nv = norm(v);
    const bool perpendicular = nu > 0 && nv > 0 && std::fabs(dot(u, v)) <= 1e-9 * nu * nv;
    const bool mirrored = cross(u, v) < 0;
    if (perpendicular && std::fabs(nu - nv) <= 1e-9 * std::max(nu, nv)) {
        if (full) {
            target_.add(pen, pdf::CirclePrimitive{c, nu});
            return;
        }
        const double offset = std::atan2(u.y, u.x);
        if (mirrored)
            target_.add(pen, pdf::ArcPrimitive{c, nu, offset - t1, offset - t0});
        else
            target_.add(pen, pdf::ArcPrimitive{c, nu, offset + t0, offset + t1});
        return;
    }
    if (perpendicular && nv < nu) {
        if (full)
            target_.add(pen, pdf::EllipsePrimitive{c, u, nv / nu, 0, kTwoPi});
        else if (mirrored)
            target_.add(pen, pdf::EllipsePrimitive{c, u, nv / nu, -t1, -t0});
        else
            target_.add(pen, pdf::EllipsePrimitive{c, u, nv / nu, t0, t1});
        return;
    }
    if (nu == 0 && nv == 0) return;
    const int steps = std::max(8, int(std::ceil((full ? kTwoPi : t1 - t0) / (kPi / 90))));
    std::vector<pdf::PolylineVertex> points;
    points.reserve(steps + 1);
    const double span = full ? kTwoPi : t1 - t0;
    for (int k = 0; k <= steps; ++k) {
        const double t = (full ? 0 : t0) + span * k / steps;
        points.push_back({Point2{c.x + u.x * std::cos(t) + v.x * std::sin(t),
                                 c.y + u.y * std::cos(t) + v.y * std::sin(t)}});
    }
    if (full) points.pop_back();
    target_.add(pen, pdf::PolylinePrimitive{std::move(points), full});
}

// Vertices in the space of m; bulges stay arcs when m keeps circles circles.
void CurveRenderer::emitPolyline(const pdf::Pen& pen, const Matrix3d& m,
                                 const std::vector<pdf::PolylineVertex>& source, double z,
                                 bool closed) {
    if (source.empty()) return;
    const Frame frame = frameOf(m);
    std::vector<pdf::PolylineVertex> out;
    if (frame.conformal()) {
        out.reserve(source.size());
        const double s = frame.scale();
        for (const auto& v : source) {
            pdf::PolylineVertex t;
            t.point = xy(m.transform(Point3d{v.point.x, v.point.y, z}));
            t.bulge = frame.mirrored() ? -v.bulge : v.bulge;
            t.startWidth = v.startWidth * s;
            t.endWidth = v.endWidth * s;
            out.push_back(t);
        }
    } else {
        // Arcs of a distorted polyline are drawn as short chords; widths are not kept.
        std::vector<Point3d> sampled;
        const std::size_t n = source.size();
        for (std::size_t k = 0; k < n; ++k) {
            const bool last = k + 1 == n;
            const auto& a = source[k];
            const auto& b = source[(k + 1) % n];
            if (last && !closed) {
                sampled.push_back({a.point.x, a.point.y, z});
                break;
            }
            detail::appendBulge(sampled, {a.point.x, a.point.y, z}, {b.point.x, b.point.y, z},
                                a.bulge);
        }
        for (const auto& p : sampled)
            out.push_back({xy(m.transform(p))});
    }
    for (const auto& v : out)
        if (!finitePoint(v.point)) return;
    target_.add(pen, pdf::PolylinePrimitive{std::move(out), closed});
}

void CurveRenderer::lwPolyline(const pdf::Pen& pen, const drawing::LwPolyline& p,
                               const Context& ctx) {
    bool anyWidth = false;
    for (const auto& v : p.vertices)
        anyWidth = anyWidth || v.startWidth != 0 || v.endWidth != 0;
    std::vector<pdf::PolylineVertex> vertices;
    vertices.reserve(p.vertices.size());
    for (const auto& v : p.vertices) {
        pdf::PolylineVertex t{{v.x, v.y}, v.bulge, v.startWidth, v.endWidth};
        if (!anyWidth && p.hasConstantWidth) t.startWidth = t.endWidth = p.constantWidth;
        vertices.push_back(t);
    }
    emitPolyline(pen, ctx.m * drawing::ocsToWcs(p.extrusion), vertices, p.elevation, p.closed());
}

void CurveRenderer::polyline(const pdf::Pen& pen, const drawing::Polyline& p, const Context& ctx) {
    if (p.isMesh()) return;
    std::vector<pdf::PolylineVertex> vertices;
    double z = p.elevation;
    for (ObjectIndex i : p.vertices) {
        const auto* v = db_.get<drawing::Vertex>(i);
        if (v == nullptr || v->erased || (v->flags & 16)) continue;  // spline frame points
        double sw = v->startWidth, ew = v->endWidth;
        if (sw == 0 && ew == 0) {
            sw = p.startWidth;
            ew = p.endWidth;
        }
        vertices.push_back({{v->position.x, v->position.y},
                            p.is3d() ? 0.0 : v->bulge,
                            p.is3d() ? 0.0 : sw,
                            p.is3d() ? 0.0 : ew});
        if (p.is3d()) z = 0;
    }
    if (p.is3d()) {
        std::vector<pdf::PolylineVertex> points;
        for (ObjectIndex i : p.vertices) {
            const auto* v = db_.get<drawing::Vertex>(i);
            if (v == nullptr || v->erased || (v->flags & 16)) continue;
            points.push_back({xy(ctx.m.transform(v->position))});
        }
        if (!points.empty())
            target_.add(pen, pdf::PolylinePrimitive{std::move(points), p.closed()});
        return;
    }
    emitPolyline(pen, ctx.m * drawing::ocsToWcs(p.extrusion), vertices, z, p.closed());
}

void CurveRenderer::spline(const pdf::Pen& pen, const drawing::Spline& s, const Context& ctx) {
    std::vector<pdf::PolylineVertex> points;
    const std::size_t n = s.controlPoints.size();
    const bool usable = s.degree >= 1 && s.degree <= kMaxSplineDegree &&
                        n > std::size_t(s.degree) &&
                        s.knots.size() == n + std::size_t(s.degree) + 1;
    if (usable) {
        const double t0 = s.knots[s.degree], t1 = s.knots[n];
        const int steps = int(std::min<std::size_t>(4000, std::max<std::size_t>(16, n * 12)));
        for (int k = 0; k <= steps && t1 > t0; ++k) {
            Point3d p;
            if (drawing::evalSpline(s.degree, s.knots, s.controlPoints, s.weights,
                                    t0 + (t1 - t0) * k / steps, p))
                points.push_back({xy(ctx.m.transform(p))});
        }
    }
    if (points.empty() && s.fitPoints.size() >= 2) {
        // Fit points only: a Catmull-Rom curve through them, close to the CAD program's
        // interpolation and exact at every fit point.
        const auto& f = s.fitPoints;
        const std::size_t n = f.size();
        for (std::size_t k = 0; k + 1 < n; ++k) {
            const Point3d& p0 = f[k == 0 ? 0 : k - 1];
            const Point3d& p1 = f[k];
            const Point3d& p2 = f[k + 1];
            const Point3d& p3 = f[k + 2 < n ? k + 2 : n - 1];
            for (int j = 0; j < 16; ++j) {
                const double t = j / 16.0, t2 = t * t, t3 = t2 * t;
                const auto blend = [&](double a, double b, double c, double d) {
                    return 0.5 * (2 * b + (c - a) * t + (2 * a - 5 * b + 4 * c - d) * t2 +
                                  (3 * b - a - 3 * c + d) * t3);
                };
                const Point3d p{blend(p0.x, p1.x, p2.x, p3.x), blend(p0.y, p1.y, p2.y, p3.y),
                                blend(p0.z, p1.z, p2.z, p3.z)};
                points.push_back({xy(ctx.m.transform(p))});
            }
        }
        points.push_back({xy(ctx.m.transform(f.back()))});
    }
    if (points.empty()) {
        for (const auto& p : s.controlPoints)
            points.push_back({xy(ctx.m.transform(p))});
    }
    for (const auto& v : points)
        if (!finitePoint(v.point)) return;
    if (points.size() >= 2) target_.add(pen, pdf::PolylinePrimitive{std::move(points), false});
}

}  // namespace qkshost::render::detail
