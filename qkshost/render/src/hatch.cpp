#include "hatch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "qkshost/drawing/geometry.h"

namespace qkshost::render::detail {
namespace {

using drawing::Point3d;
constexpr double kPi = 3.14159265358979323846;

double number(const drawing::RawTag& t) {
    const double v = std::strtod(t.value.c_str(), nullptr);
    return std::isfinite(v) ? v : 0.0;
}
int integer(const drawing::RawTag& t) {
    return std::atoi(t.value.c_str());
}

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
    if (bulge == 0 || !std::isfinite(bulge)) return;
    const double dx = q.x - p.x, dy = q.y - p.y;
    const double chord = std::hypot(dx, dy);
    if (chord <= 0) return;
    const double sweep = 4 * std::atan(bulge);
    // centre on the chord's left normal for a positive bulge, at (1 - b^2) / (4 b) chords
    const double k = (1 - bulge * bulge) / (4 * bulge);
    const double cx = (p.x + q.x) / 2 - dy * k, cy = (p.y + q.y) / 2 + dx * k;
    const double radius = std::hypot(p.x - cx, p.y - cy);
    const double start = std::atan2(p.y - cy, p.x - cx);
    const int steps = std::max(2, int(std::ceil(std::fabs(sweep) / (kPi / 18))));
    for (int k = 1; k < steps; ++k) {
        const double a = start + sweep * k / steps;
        out.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a), p.z});
    }
}

HatchLoops hatchLoops(const drawing::Hatch& hatch) {
    HatchLoops result;
    const auto& tail = hatch.tail;
    std::size_t i = 0;
    // header: up to the loop count
    for (; i < tail.size(); ++i) {
        if (tail[i].code == 70) result.solid = integer(tail[i]) == 1;
        if (tail[i].code == 91) {
            ++i;
            break;
        }
    }
    while (i < tail.size()) {
        if (tail[i].code != 92) {
            // past the last boundary path (hatch style, pattern data, seed points)
            if (tail[i].code == 75 || tail[i].code == 76 || tail[i].code == 98) break;
            ++i;
            continue;
        }
        const int type = integer(tail[i]);
        ++i;
        std::vector<Point3d> loop;
        if (type & 2) {  // polyline path
            bool hasBulge = false;
            std::vector<std::pair<Point3d, double>> vertices;
            for (; i < tail.size() && tail[i].code != 92 && tail[i].code != 97; ++i) {
                const auto& t = tail[i];
                if (t.code == 72) hasBulge = integer(t) != 0;
                if (t.code == 10) vertices.push_back({{number(t), 0, 0}, 0.0});
                if (t.code == 20 && !vertices.empty()) vertices.back().first.y = number(t);
                if (t.code == 42 && hasBulge && !vertices.empty())
                    vertices.back().second = number(t);
            }
            for (std::size_t k = 0; k < vertices.size(); ++k)
                appendBulge(loop, vertices[k].first, vertices[(k + 1) % vertices.size()].first,
                            vertices[k].second);
        } else {  // edge path
            int edge = 0;
            Point3d p10, p11;
            double r = 0, a0 = 0, a1 = 0;
            bool ccw = true, have = false;
            std::vector<Point3d> splinePoints;
            auto flush = [&]() {
                if (!have) return;
                if (edge == 1) {
                    loop.push_back(p10);
                    loop.push_back(p11);
                } else if (edge == 2) {
                    appendArc(loop, p10, r, 0, 1, a0, a1, ccw, false);
                } else if (edge == 3) {
                    appendArc(loop, p10, p11.x, p11.y, r, a0, a1, ccw, true);
                } else if (edge == 4) {
                    loop.insert(loop.end(), splinePoints.begin(), splinePoints.end());
                }
                splinePoints.clear();
                have = false;
            };
            int coordinate = 0;  // which x of an edge the next 10/11 group is
            for (; i < tail.size() && tail[i].code != 92; ++i) {
                const auto& t = tail[i];
                if (t.code == 97 && edge != 4) break;  // source-object count ends the path
                switch (t.code) {
                    case 72:
                        flush();
                        edge = integer(t);
                        have = true;
                        ccw = true;
                        coordinate = 0;
                        break;
                    case 10:
                        if (edge == 4)
                            splinePoints.push_back({number(t), 0, 0});
                        else
                            p10.x = number(t);
                        break;
                    case 20:
                        if (edge == 4) {
                            if (!splinePoints.empty()) splinePoints.back().y = number(t);
                        } else {
                            p10.y = number(t);
                        }
                        break;
                    case 11:
                        if (edge != 4) p11.x = number(t);
                        break;
                    case 21:
                        if (edge != 4) p11.y = number(t);
                        break;
                    case 40:
                        if (edge != 4) r = number(t);
                        break;
                    case 50:
                        a0 = number(t);
                        break;
                    case 51:
                        a1 = number(t);
                        break;
                    case 73:
                        if (edge == 2 || edge == 3) ccw = integer(t) != 0;
                        break;
                    default:
                        break;
                }
                (void)coordinate;
            }
            flush();
            if (i < tail.size() && tail[i].code == 97) ++i;
        }
        // skip the source-object count and handles of this path
        while (i < tail.size() && (tail[i].code == 97 || tail[i].code == 330))
            ++i;
        if (loop.size() >= 3) result.loops.push_back(std::move(loop));
    }
    return result;
}

std::vector<PatternLine> hatchPatternLines(const drawing::Hatch& hatch) {
    std::vector<PatternLine> lines;
    const auto& tail = hatch.tail;
    std::size_t i = 0;
    while (i < tail.size() && tail[i].code != 78)
        ++i;
    if (i == tail.size()) return lines;
    const int count = integer(tail[i]);
    ++i;
    for (int n = 0; n < count && i < tail.size() && tail[i].code == 53; ++n) {
        PatternLine line;
        line.angle = number(tail[i++]);
        int dashes = 0;
        for (; i < tail.size() && tail[i].code != 53; ++i) {
            const auto& t = tail[i];
            if (t.code == 43)
                line.base.x = number(t);
            else if (t.code == 44)
                line.base.y = number(t);
            else if (t.code == 45)
                line.offset.x = number(t);
            else if (t.code == 46)
                line.offset.y = number(t);
            else if (t.code == 79)
                dashes = integer(t);
            else if (t.code == 49 && int(line.dashes.size()) < dashes)
                line.dashes.push_back(number(t));
            else if (t.code != 49)
                break;  // past the pattern data
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

PatternSegments clipPatternLines(const std::vector<PatternLine>& lines,
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
        const PatternLine* line;
    };
    std::vector<Family> families;
    double total = 0.0;
    for (const PatternLine& line : lines) {
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
