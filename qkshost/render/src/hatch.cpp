#include "hatch.h"

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

}  // namespace qkshost::render::detail
