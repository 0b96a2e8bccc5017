// Part kinds by shape: outline and holes compared through measures that turning (and, where
// allowed, mirroring) leaves alone.
#include <algorithm>
#include <cmath>

#include "qks/drawing/extraction.h"

namespace qks::drawing {
namespace {

// Lengths that agree to this (mm) are one length; areas agree to it times the perimeter.
constexpr double kShapeTolerance = 0.01;
// Chords of arcs drawn at another angle, and the mitred growth around them, give lengths a
// little more play than straight edges.
constexpr double kLengthTolerance = 2 * kShapeTolerance;

struct RingMeasure {
    double area = 0.0;  // absolute
    double perimeter = 0.0;
    double cx = 0.0, cy = 0.0;               // area centroid
    double sxx = 0.0, syy = 0.0, sxy = 0.0;  // second moments about the centroid
};

RingMeasure measureRing(const Outline& ring) {
    RingMeasure m;
    const std::size_t n = ring.size();
    if (n < 3) return m;
    // Relative to the first point, so that far-off drawings keep their digits.
    const double ox = ring[0].x, oy = ring[0].y;
    double a = 0, cx = 0, cy = 0, xx = 0, yy = 0, xy = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Point& p = ring[i];
        const Point& q = ring[(i + 1) % n];
        const double x0 = p.x - ox, y0 = p.y - oy, x1 = q.x - ox, y1 = q.y - oy;
        const double c = x0 * y1 - x1 * y0;
        a += c;
        cx += (x0 + x1) * c;
        cy += (y0 + y1) * c;
        xx += (x0 * x0 + x0 * x1 + x1 * x1) * c;
        yy += (y0 * y0 + y0 * y1 + y1 * y1) * c;
        xy += (x0 * y1 + 2 * x0 * y0 + 2 * x1 * y1 + x1 * y0) * c;
        m.perimeter += std::hypot(x1 - x0, y1 - y0);
    }
    a /= 2;
    if (a == 0) return m;
    const double ccx = cx / (6 * a), ccy = cy / (6 * a);
    const double sign = a < 0 ? -1.0 : 1.0;
    m.area = std::fabs(a);
    m.cx = ccx + ox;
    m.cy = ccy + oy;
    m.sxx = sign * (xx / 12 - a * ccx * ccx);
    m.syy = sign * (yy / 12 - a * ccy * ccy);
    m.sxy = sign * (xy / 24 - a * ccx * ccy);
    return m;
}

struct HoleMeasure {
    double area, perimeter;
    double distance;      // of its centroid from the outline's
    double major, minor;  // |offset| along the outline's principal axes
    double dx, dy;        // offset in the drawing's axes
};

struct Shape {
    RingMeasure outline;
    double gyrationMajor = 0.0, gyrationMinor = 0.0;  // lengths: sqrt(moment / area)
    double width = 0.0, height = 0.0;
    std::vector<HoleMeasure> holes;  // by area, then distance
};

Shape shapeOf(const PartRecord& part) {
    Shape s;
    s.outline = measureRing(part.outline);
    s.width = part.width;
    s.height = part.height;
    const RingMeasure& o = s.outline;
    const double mean = (o.sxx + o.syy) / 2, half = (o.sxx - o.syy) / 2;
    const double spread = std::sqrt(half * half + o.sxy * o.sxy);
    const double area = o.area > 0 ? o.area : 1.0;
    s.gyrationMajor = std::sqrt(std::max(0.0, (mean + spread) / area));
    s.gyrationMinor = std::sqrt(std::max(0.0, (mean - spread) / area));
    const double angle = 0.5 * std::atan2(2 * o.sxy, o.sxx - o.syy);
    const double ux = std::cos(angle), uy = std::sin(angle);
    for (const Outline& ring : part.holes) {
        const RingMeasure h = measureRing(ring);
        const double dx = h.cx - o.cx, dy = h.cy - o.cy;
        s.holes.push_back({h.area, h.perimeter, std::hypot(dx, dy), std::fabs(dx * ux + dy * uy),
                           std::fabs(-dx * uy + dy * ux), dx, dy});
    }
    std::sort(s.holes.begin(), s.holes.end(), [](const HoleMeasure& a, const HoleMeasure& b) {
        if (std::fabs(a.area - b.area) > 1e-6) return a.area < b.area;
        return a.distance < b.distance;
    });
    return s;
}

bool near(double a, double b, double tolerance) {
    return std::fabs(a - b) <= tolerance;
}

bool sameRing(double areaA, double perimeterA, double areaB, double perimeterB) {
    const double perimeter = std::max(perimeterA, perimeterB);
    return near(perimeterA, perimeterB, kLengthTolerance) &&
           near(areaA, areaB, kShapeTolerance * perimeter + 1e-9);
}

bool sameShape(const Shape& a, const Shape& b, bool rotations, bool mirroring) {
    if (a.holes.size() != b.holes.size()) return false;
    if (!sameRing(a.outline.area, a.outline.perimeter, b.outline.area, b.outline.perimeter))
        return false;
    if (!near(a.gyrationMajor, b.gyrationMajor, kShapeTolerance) ||
        !near(a.gyrationMinor, b.gyrationMinor, kShapeTolerance))
        return false;
    if (!rotations &&
        !(near(a.width, b.width, kLengthTolerance) && near(a.height, b.height, kLengthTolerance)))
        return false;
    // Principal axes mean something only where the outline is longer one way than the other.
    const bool axes = a.gyrationMajor - a.gyrationMinor > 5 * kShapeTolerance;
    for (std::size_t i = 0; i < a.holes.size(); ++i) {
        const HoleMeasure& p = a.holes[i];
        const HoleMeasure& q = b.holes[i];
        if (!sameRing(p.area, p.perimeter, q.area, q.perimeter)) return false;
        if (!near(p.distance, q.distance, kLengthTolerance)) return false;
        if (axes &&
            !(near(p.major, q.major, kLengthTolerance) && near(p.minor, q.minor, kLengthTolerance)))
            return false;
        if (!rotations) {
            const bool flipped = mirroring && near(p.dx, -q.dx, kLengthTolerance);
            if (!(near(p.dx, q.dx, kLengthTolerance) || flipped) ||
                !near(p.dy, q.dy, kLengthTolerance))
                return false;
        }
    }
    return true;
}

std::size_t carriedOn(const PartRecord& part, std::string_view layer) {
    std::size_t count = 0;
    for (const contract::CarriedGroup& group : part.carried)
        if (group.layer == layer) count += group.handles.size();
    return count;
}

// One kind's carried geometry stands for all its pieces. Bend lines follow from the shape, so
// kinds with as many merge; marks (engraved numbers, names) may differ, so kinds with any stay
// apart.
bool sameCarried(const PartRecord& a, const PartRecord& b) {
    return carriedOn(a, contract::kMarkLayer) == 0 && carriedOn(b, contract::kMarkLayer) == 0 &&
           carriedOn(a, contract::kBendLayer) == carriedOn(b, contract::kBendLayer);
}

}  // namespace

void mergeIdenticalKinds(std::vector<PartRecord>& parts, bool rotations, bool mirroring) {
    std::vector<PartRecord> merged;
    std::vector<Shape> shapes;
    for (PartRecord& part : parts) {
        Shape shape = shapeOf(part);
        bool found = false;
        for (std::size_t i = 0; i < merged.size() && !found; ++i) {
            if (!sameShape(shapes[i], shape, rotations, mirroring) || !sameCarried(merged[i], part))
                continue;
            merged[i].quantity += part.quantity;
            found = true;
        }
        if (found) continue;
        shapes.push_back(std::move(shape));
        merged.push_back(std::move(part));
    }
    parts = std::move(merged);
}

}  // namespace qks::drawing
