#include "qks/common/plane.h"

#include <cmath>

namespace qks {

bool bulgeArc(double ax, double ay, double bx, double by, double bulge, BulgeArc& out) {
    const double dx = bx - ax, dy = by - ay;
    const double chord = std::hypot(dx, dy);
    if (!(std::fabs(bulge) > 1e-9) || !(chord > 0) || !std::isfinite(bulge)) return false;
    // The centre lies on the chord's left normal at half-chord * cot(sweep / 2) from the middle.
    const double offset = (1.0 - bulge * bulge) / (4.0 * bulge);
    BulgeArc arc;
    arc.centreX = (ax + bx) / 2.0 - dy * offset;
    arc.centreY = (ay + by) / 2.0 + dx * offset;
    arc.radius = std::hypot(ax - arc.centreX, ay - arc.centreY);
    arc.startAngle = std::atan2(ay - arc.centreY, ax - arc.centreX);
    arc.sweep = 4.0 * std::atan(bulge);
    if (!(std::isfinite(arc.radius) && arc.radius > 0)) return false;
    out = arc;
    return true;
}

}  // namespace qks
