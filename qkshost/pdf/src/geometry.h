// Geometry shared by the display list's extents and the renderer. Drawing units, radians.
#pragma once

#include <cmath>

#include "qks/common/plane.h"
#include "qkshost/pdf/display_list.h"

namespace qkshost::pdf::detail {

constexpr double kTwoPi = 2 * qks::kPi;

inline bool finite(const Point2& p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// The circular arc of a bulged polyline segment from a to b. False when the segment is straight
// (bulge about zero or a and b coincide).
struct BulgeArc {
    Point2 centre;
    double radius = 0.0;
    double startAngle = 0.0;
    double sweep = 0.0;  // signed: positive counter-clockwise
};
inline bool bulgeArc(const Point2& a, const Point2& b, double bulge, BulgeArc& out) {
    qks::BulgeArc arc;
    if (!qks::bulgeArc(a.x, a.y, b.x, b.y, bulge, arc)) return false;
    out.centre = {arc.centreX, arc.centreY};
    out.radius = arc.radius;
    out.startAngle = arc.startAngle;
    out.sweep = arc.sweep;
    return true;
}

// End parameter of a counter-clockwise sweep from start to end, wrapped into (start,
// start + 2 pi]; equal values mean a full turn.
// Not finite when either value is not.
inline double ccwEnd(double start, double end) {
    double d = std::fmod(end - start, kTwoPi);
    if (!(d > 0)) d += kTwoPi;
    return start + d;
}

// A transform that maps the plane onto the plane with finite numbers.
inline bool usableTransform(const Affine2& t) {
    const double values[6] = {t.xx, t.yx, t.xy, t.yy, t.x0, t.y0};
    for (double v : values)
        if (!std::isfinite(v)) return false;
    const double det = t.determinant();
    return std::isfinite(det) && std::fabs(det) > 1e-12;
}

// Running bounding box.
struct Bounds {
    double minX = HUGE_VAL, minY = HUGE_VAL, maxX = -HUGE_VAL, maxY = -HUGE_VAL;
    void add(double x, double y) {
        if (!std::isfinite(x) || !std::isfinite(y)) return;
        minX = std::fmin(minX, x);
        minY = std::fmin(minY, y);
        maxX = std::fmax(maxX, x);
        maxY = std::fmax(maxY, y);
    }
    bool empty() const { return minX > maxX; }
};

// Adds what one primitive draws (drawing units of the primitive itself, pen weight excluded;
// texts by the estimate DisplayList::extents documents). Clips and transforms add nothing.
void itemBounds(Bounds& box, const Primitive& p);

// Adds the extremes of the elliptical arc c + u cos t + v sin t for t from t0 to t1 (t1 >= t0).
inline void addConicArc(Bounds& box, const Point2& c, const Point2& u, const Point2& v, double t0,
                        double t1) {
    auto at = [&](double t) {
        box.add(c.x + u.x * std::cos(t) + v.x * std::sin(t),
                c.y + u.y * std::cos(t) + v.y * std::sin(t));
    };
    at(t0);
    at(t1);
    const double candidates[4] = {std::atan2(v.x, u.x), std::atan2(v.x, u.x) + qks::kPi,
                                  std::atan2(v.y, u.y), std::atan2(v.y, u.y) + qks::kPi};
    if (!std::isfinite(t0) || !std::isfinite(t1)) return;
    for (double t : candidates) {
        double d = std::fmod(t - t0, kTwoPi);
        if (d < 0) d += kTwoPi;
        if (t0 + d <= t1) at(t0 + d);
    }
}

}  // namespace qkshost::pdf::detail
