#include "hatch.h"

#include <algorithm>
#include <cmath>

#include "qks/common/plane.h"
#include "qkshost/drawing/geometry.h"

namespace qkshost::render::detail {
namespace {

using drawing::Point3d;
using qks::kPi;

// Samples an arc of a circle or ellipse (degrees as stored), counter-clockwise or not.
void appendArc(std::vector<Point3d>& out, const Point3d& c, double mx, double my, double ratio,
               double a0deg, double a1deg, bool ccw, bool ellipse) {
    double a0 = a0deg * kPi / 180.0, a1 = a1deg * kPi / 180.0;
    if (!ccw) {
        const double t0 = -a1, t1 = -a0;
        a0 = t0;
        a1 = t1;
    }
    if (!std::isfinite(a0) || !std::isfinite(a1)) return;
    // The end follows the start by at most one turn (a full circle when they coincide).
    double span = std::fmod(a1 - a0, 2 * kPi);
    if (span <= 0) span += 2 * kPi;
    a0 = std::fmod(a0, 2 * kPi);
    a1 = a0 + span;
    const int steps = std::max(4, int(std::ceil((a1 - a0) / (kPi / 36))));
    for (int k = 0; k <= steps; ++k) {
        double a = a0 + (a1 - a0) * k / steps;
        if (!ccw) a = -a;
        if (ellipse) {
            const double ca = std::cos(a), sa = std::sin(a);
            out.push_back({c.x + mx * ca - my * ratio * sa, c.y + my * ca + mx * ratio * sa, 0});
        } else {
            out.push_back({c.x + mx * std::cos(a), c.y + mx * std::sin(a), 0});
        }
    }
}

}  // namespace

void appendBulge(std::vector<Point3d>& out, const Point3d& p, const Point3d& q, double bulge) {
    out.push_back(p);
    qks::BulgeArc arc;
    if (!qks::bulgeArc(p.x, p.y, q.x, q.y, bulge, arc)) return;
    const int steps = std::max(2, int(std::ceil(std::fabs(arc.sweep) / (kPi / 18))));
    for (int k = 1; k < steps; ++k) {
        const double a = arc.startAngle + arc.sweep * k / steps;
        out.push_back(
            {arc.centreX + arc.radius * std::cos(a), arc.centreY + arc.radius * std::sin(a), p.z});
    }
}

HatchLoops hatchLoops(const drawing::Hatch& hatch) {
    using Type = drawing::HatchEdge::Type;
    HatchLoops result;
    result.solid = hatch.solidFill;
    for (const drawing::HatchLoop& path : hatch.loops) {
        std::vector<Point3d> loop;
        if (path.isPolyline()) {
            const auto& v = path.vertices;
            for (std::size_t k = 0; k < v.size(); ++k) {
                const auto& next = v[(k + 1) % v.size()];
                appendBulge(loop, {v[k].x, v[k].y, 0}, {next.x, next.y, 0},
                            path.hasBulge ? v[k].bulge : 0.0);
            }
        } else {
            for (const drawing::HatchEdge& edge : path.edges) {
                switch (edge.type) {
                    case Type::Line:
                        loop.push_back(edge.start);
                        loop.push_back(edge.end);
                        break;
                    case Type::CircularArc:
                        appendArc(loop, edge.centre, edge.radius, 0, 1, edge.startAngle,
                                  edge.endAngle, edge.counterClockwise, false);
                        break;
                    case Type::EllipticArc:
                        appendArc(loop, edge.centre, edge.majorAxis.x, edge.majorAxis.y,
                                  edge.radius, edge.startAngle, edge.endAngle,
                                  edge.counterClockwise, true);
                        break;
                    case Type::Spline:
                        loop.insert(loop.end(), edge.controlPoints.begin(),
                                    edge.controlPoints.end());
                        break;
                    case Type::Other:
                        break;
                }
            }
        }
        if (loop.size() >= 3) result.loops.push_back(std::move(loop));
    }
    return result;
}

PatternSegments clipPatternLines(const std::vector<drawing::HatchPatternLine>& lines,
                                 const std::vector<std::vector<Point3d>>& loops) {
    PatternSegments out;
    double minX = HUGE_VAL, minY = HUGE_VAL, maxX = -HUGE_VAL, maxY = -HUGE_VAL;
    for (const auto& loop : loops)
        for (const Point3d& p : loop) {
            minX = std::fmin(minX, p.x);
            minY = std::fmin(minY, p.y);
            maxX = std::fmax(maxX, p.x);
            maxY = std::fmax(maxY, p.y);
        }
    if (!(minX <= maxX && minY <= maxY)) return out;

    // Each family in its own frame: t along the lines (d), c across them (n).
    struct Family {
        double dx, dy, nx, ny, c0, spacing, shift;
        long long first, last;
        const drawing::HatchPatternLine* line;
    };
    std::vector<Family> families;
    double total = 0.0;
    for (const drawing::HatchPatternLine& line : lines) {
        const double a = line.angle * kPi / 180.0;
        Family f{std::cos(a), std::sin(a), -std::sin(a), std::cos(a), 0, 0, 0, 0, 0, &line};
        f.spacing = line.offset.x * f.nx + line.offset.y * f.ny;
        f.shift = line.offset.x * f.dx + line.offset.y * f.dy;
        f.c0 = line.base.x * f.nx + line.base.y * f.ny;
        if (!std::isfinite(f.spacing) || !std::isfinite(f.c0) || std::fabs(f.spacing) < 1e-12)
            continue;
        double lo = HUGE_VAL, hi = -HUGE_VAL;
        for (double x : {minX, maxX})
            for (double y : {minY, maxY}) {
                const double c = x * f.nx + y * f.ny;
                lo = std::fmin(lo, c);
                hi = std::fmax(hi, c);
            }
        const double k0 = (lo - f.c0) / f.spacing, k1 = (hi - f.c0) / f.spacing;
        const double kFirst = std::ceil(std::fmin(k0, k1)), kLast = std::floor(std::fmax(k0, k1));
        total += std::fmax(0.0, kLast - kFirst + 1);
        if (!(total <= double(kMaxHatchLines))) {
            out.tooDense = true;
            return out;
        }
        f.first = static_cast<long long>(kFirst);
        f.last = static_cast<long long>(kLast);
        families.push_back(f);
    }

    std::vector<double> cuts;
    double expected = 0.0;  // dashes the runs so far take at most
    for (const Family& f : families) {
        const std::vector<double>& dashes = f.line->dashes;
        double period = 0.0;
        for (double d : dashes)
            period += std::fabs(d);
        const bool dashed = dashes.size() >= 2 && period > 0 && std::isfinite(period);
        for (long long k = f.first; k <= f.last; ++k) {
            const double c = f.c0 + double(k) * f.spacing;
            cuts.clear();
            for (const auto& loop : loops)
                for (std::size_t j = 0; j < loop.size(); ++j) {
                    const Point3d& p = loop[j];
                    const Point3d& q = loop[(j + 1) % loop.size()];
                    const double cp = p.x * f.nx + p.y * f.ny, cq = q.x * f.nx + q.y * f.ny;
                    if ((cp > c) == (cq > c)) continue;
                    const double tp = p.x * f.dx + p.y * f.dy, tq = q.x * f.dx + q.y * f.dy;
                    cuts.push_back(tp + (c - cp) / (cq - cp) * (tq - tp));
                }
            std::sort(cuts.begin(), cuts.end());
            // Where the dash pattern of this line starts, along the line.
            const double origin =
                f.line->base.x * f.dx + f.line->base.y * f.dy + double(k) * f.shift;
            auto emit = [&](double t0, double t1) {
                out.segments.push_back({{f.dx * t0 + f.nx * c, f.dy * t0 + f.ny * c, 0},
                                        {f.dx * t1 + f.nx * c, f.dy * t1 + f.ny * c, 0}});
            };
            for (std::size_t j = 0; j + 1 < cuts.size(); j += 2) {
                const double t0 = cuts[j], t1 = cuts[j + 1];
                if (!dashed) {
                    emit(t0, t1);
                } else {
                    expected += ((t1 - t0) / period + 1.0) * double(dashes.size());
                    if (!(expected <= double(kMaxHatchSegments))) {
                        out.segments.clear();
                        out.tooDense = true;
                        return out;
                    }
                    // Walk the pattern from the period that holds t0.
                    double t = origin + std::floor((t0 - origin) / period) * period;
                    while (t < t1) {
                        for (double d : dashes) {
                            const double len = std::fabs(d);
                            if (d >= 0) {
                                const double a = std::fmax(t, t0), b = std::fmin(t + len, t1);
                                if (a <= b && b >= t0 && a <= t1) emit(a, b);
                            }
                            t += len;
                            if (t >= t1) break;
                        }
                        if (out.segments.size() > kMaxHatchSegments) break;
                    }
                }
                if (out.segments.size() > kMaxHatchSegments) {
                    out.segments.clear();
                    out.tooDense = true;
                    return out;
                }
            }
        }
    }
    return out;
}

}  // namespace qkshost::render::detail
