#include "qkshost/drawing/geometry.h"

#include <algorithm>
#include <cmath>

#include "qks/common/plane.h"

namespace qkshost::drawing {

namespace {

using qks::kPi;
constexpr double kDeg = kPi / 180.0;
constexpr double kTwoPi = 2 * kPi;
constexpr int kMaxDepth = 16;  // nested block references followed for extents

Vector3d cross(const Vector3d& a, const Vector3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double length(const Vector3d& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}
Vector3d unit(const Vector3d& v) {
    double l = length(v);
    return l > 0 ? Vector3d{v.x / l, v.y / l, v.z / l} : Vector3d{0, 0, 1};
}
Vector3d scaled(const Vector3d& v, double s) {
    return {v.x * s, v.y * s, v.z * s};
}
Point3d add(const Point3d& p, const Vector3d& v) {
    return {p.x + v.x, p.y + v.y, p.z + v.z};
}

Matrix3d fromAxes(const Vector3d& x, const Vector3d& y, const Vector3d& z, const Point3d& o) {
    Matrix3d m;
    m.m[0] = {x.x, y.x, z.x, o.x};
    m.m[1] = {x.y, y.y, z.y, o.y};
    m.m[2] = {x.z, y.z, z.z, o.z};
    return m;
}

// Normalised angle sweep: end in (start, start + 2pi].
void sweep(double& a0, double& a1) {
    a0 = std::fmod(a0, kTwoPi);
    if (a0 < 0) a0 += kTwoPi;
    a1 = std::fmod(a1, kTwoPi);
    if (a1 < 0) a1 += kTwoPi;
    while (a1 <= a0 + 1e-12)
        a1 += kTwoPi;
}

bool inSweep(double a, double a0, double a1) {
    double d = std::fmod(a - a0, kTwoPi);
    if (d < 0) d += kTwoPi;
    return d <= (a1 - a0) + 1e-12;
}

// Points c + u cos a + v sin a for a in [a0, a1]: exact extents from the end points and the
// angles where a coordinate is extremal.
void addEllipticArc(Extents3d& box, const Point3d& c, const Vector3d& u, const Vector3d& v,
                    double a0, double a1, bool full) {
    auto at = [&](double a) {
        double ca = std::cos(a), sa = std::sin(a);
        return Point3d{c.x + u.x * ca + v.x * sa, c.y + u.y * ca + v.y * sa,
                       c.z + u.z * ca + v.z * sa};
    };
    if (!full) {
        box.add(at(a0));
        box.add(at(a1));
    }
    const double uk[3] = {u.x, u.y, u.z}, vk[3] = {v.x, v.y, v.z};
    for (int k = 0; k < 3; ++k) {
        if (uk[k] == 0 && vk[k] == 0) continue;
        double a = std::atan2(vk[k], uk[k]);
        for (double cand : {a, a + kPi})
            if (full || inSweep(cand, a0, a1)) box.add(at(cand));
    }
}

// Points of a hatch's boundary for its extents (OCS): vertices and edge end points, the
// middle of every bulged segment, arcs at 65 points, splines by their control points.
std::vector<Point3d> hatchBoundarySamples(const Hatch& h) {
    using Type = HatchEdge::Type;
    std::vector<Point3d> out;
    auto sampleArc = [&](const HatchEdge& e, bool ellipse) {
        double s0 = e.startAngle * kDeg, s1 = e.endAngle * kDeg;
        if (!e.counterClockwise) {
            const double t0 = -s1, t1 = -s0;
            s0 = t0, s1 = t1;
        }
        if (!(std::fabs(s0) < 1e6 && std::fabs(s1) < 1e6)) return;  // no sensible arc
        while (s1 <= s0)
            s1 += 2 * kPi;
        for (int k = 0; k <= 64; ++k) {
            const double a = s0 + (s1 - s0) * k / 64;
            const double ca = std::cos(a), sa = std::sin(a);
            if (ellipse) {
                const double mx = e.majorAxis.x, my = e.majorAxis.y, ratio = e.radius;
                out.push_back({e.centre.x + mx * ca - my * ratio * sa,
                               e.centre.y + my * ca + mx * ratio * sa, 0});
            } else {
                out.push_back({e.centre.x + e.radius * ca, e.centre.y + e.radius * sa, 0});
            }
        }
    };
    for (const HatchLoop& loop : h.loops) {
        const auto& v = loop.vertices;
        for (const HatchVertex& p : v)
            out.push_back({p.x, p.y, 0});
        for (std::size_t k = 0; loop.hasBulge && k < v.size(); ++k) {
            const HatchVertex& a = v[k];
            const HatchVertex& b = v[(k + 1) % v.size()];
            if (a.bulge == 0) continue;
            // the arc's middle: the sagitta (bulge * chord / 2) off the chord's middle
            const double dx = b.x - a.x, dy = b.y - a.y, s = a.bulge / 2;
            out.push_back({(a.x + b.x) / 2 + dy * s, (a.y + b.y) / 2 - dx * s, 0});
        }
        for (const HatchEdge& e : loop.edges) {
            if (e.type == Type::Line) {
                out.push_back(e.start);
                out.push_back(e.end);
            } else if (e.type == Type::CircularArc || e.type == Type::EllipticArc) {
                sampleArc(e, e.type == Type::EllipticArc);
            } else if (e.type == Type::Spline) {
                out.insert(out.end(), e.controlPoints.begin(), e.controlPoints.end());
            }
        }
    }
    return out;
}

struct Seg {
    Point3d a, b;
    double bulge;
};

// Polyline vertices (OCS for 2-D kinds) with the matrix to WCS.
bool polylineData(const Database& db, const Object& o, std::vector<Seg>& segs, bool& closed,
                  Matrix3d& toWcs, std::vector<Point3d>* verts = nullptr) {
    std::vector<Point3d> pts;
    std::vector<double> bulges;
    if (o.kind() == Kind::LwPolyline) {
        auto& p = static_cast<const LwPolyline&>(o);
        for (auto& v : p.vertices) {
            pts.push_back({v.x, v.y, p.elevation});
            bulges.push_back(v.bulge);
        }
        closed = p.closed();
        toWcs = ocsToWcs(p.extrusion);
    } else if (o.kind() == Kind::Polyline) {
        auto& p = static_cast<const Polyline&>(o);
        if (p.isMesh()) return false;
        for (ObjectIndex vi : p.vertices) {
            auto* v = db.get<Vertex>(vi);
            if (!v || v->erased || (v->flags & 16)) continue;  // spline frame control point
            Point3d q = v->position;
            if (!p.is3d()) q.z = p.elevation;
            pts.push_back(q);
            bulges.push_back(p.is3d() ? 0 : v->bulge);
        }
        closed = p.closed();
        toWcs = p.is3d() ? Matrix3d::identity() : ocsToWcs(p.extrusion);
    } else {
        return false;
    }
    if (pts.empty()) return false;
    std::size_t n = pts.size(), count = closed ? n : n - 1;
    for (std::size_t i = 0; i < count; ++i)
        segs.push_back({pts[i], pts[(i + 1) % n], bulges[i]});
    if (verts) *verts = pts;
    return true;
}

Point3d segPoint(const Seg& s, double f) {
    qks::BulgeArc arc;
    if (!qks::bulgeArc(s.a.x, s.a.y, s.b.x, s.b.y, s.bulge, arc))
        return {s.a.x + (s.b.x - s.a.x) * f, s.a.y + (s.b.y - s.a.y) * f,
                s.a.z + (s.b.z - s.a.z) * f};
    double a = arc.startAngle + arc.sweep * f;
    return {arc.centreX + arc.radius * std::cos(a), arc.centreY + arc.radius * std::sin(a), s.a.z};
}

void addSegment(Extents3d& box, const Seg& s, const Matrix3d& m) {
    box.add(m.transform(s.a));
    box.add(m.transform(s.b));
    qks::BulgeArc arc;
    if (!qks::bulgeArc(s.a.x, s.a.y, s.b.x, s.b.y, s.bulge, arc)) return;
    double a0 = arc.startAngle, a1 = arc.startAngle + arc.sweep;
    if (a1 < a0) std::swap(a0, a1);
    Point3d c = m.transform(Point3d{arc.centreX, arc.centreY, s.a.z});
    Vector3d u = m.transform(Vector3d{arc.radius, 0, 0}),
             v = m.transform(Vector3d{0, arc.radius, 0});
    addEllipticArc(box, c, u, v, a0, a1, false);
}

// ---- B-splines ----
std::vector<double> splineKnots(const Spline& s) {
    std::size_t n = s.controlPoints.size();
    std::size_t need = n + s.degree + 1;
    if (s.knots.size() == need) return s.knots;
    // missing or inconsistent knots: clamped uniform vector
    std::vector<double> k(need);
    int p = s.degree;
    for (std::size_t i = 0; i < need; ++i) {
        if (i <= std::size_t(p))
            k[i] = 0;
        else if (i >= n)
            k[i] = double(n - p);
        else
            k[i] = double(i - p);
    }
    return k;
}

bool splineUsable(const Spline& s) {
    return s.controlPoints.size() > std::size_t(s.degree) && s.degree >= 1;
}

void splineRange(const Spline& s, const std::vector<double>& k, double& t0, double& t1) {
    t0 = k[s.degree];
    t1 = k[s.controlPoints.size()];
}

void addSplineExtents(Extents3d& box, const Spline& s, const Matrix3d& m) {
    if (!splineUsable(s)) {
        for (auto& p : s.fitPoints)
            box.add(m.transform(p));
        return;
    }
    std::vector<Point3d> ctrl;
    ctrl.reserve(s.controlPoints.size());
    for (auto& p : s.controlPoints)
        ctrl.push_back(m.transform(p));  // affine invariance
    std::vector<double> k = splineKnots(s);
    double t0, t1;
    splineRange(s, k, t0, t1);
    auto eval = [&](double t) {
        Point3d p;
        evalSpline(s.degree, k, ctrl, s.weights, t, p);
        return p;
    };
    // sample every knot span densely, then refine each local extreme of each coordinate
    std::vector<double> ts;
    for (std::size_t i = s.degree; i < s.controlPoints.size(); ++i) {
        double a = k[i], b = k[i + 1];
        if (b <= a) continue;
        for (int j = 0; j < 32; ++j)
            ts.push_back(a + (b - a) * j / 32);
    }
    ts.push_back(t1);
    std::vector<Point3d> ps;
    ps.reserve(ts.size());
    for (double t : ts)
        ps.push_back(eval(t));
    for (auto& p : ps)
        box.add(p);
    auto coord = [](const Point3d& p, int c) { return c == 0 ? p.x : c == 1 ? p.y : p.z; };
    for (int c = 0; c < 3; ++c)
        for (std::size_t i = 1; i + 1 < ps.size(); ++i) {
            double a = coord(ps[i - 1], c), b = coord(ps[i], c), d = coord(ps[i + 1], c);
            for (int sign : {1, -1}) {
                if (!(sign * b >= sign * a && sign * b >= sign * d)) continue;
                double lo = ts[i - 1], hi = ts[i + 1];
                for (int it = 0; it < 60; ++it) {  // golden-section search
                    double m1 = lo + (hi - lo) * 0.381966, m2 = lo + (hi - lo) * 0.618034;
                    if (sign * coord(eval(m1), c) >= sign * coord(eval(m2), c))
                        hi = m2;
                    else
                        lo = m1;
                }
                box.add(eval((lo + hi) / 2));
            }
        }
}

// ---- text boxes ----
// Visible characters of a text (formatting codes of multiline texts skipped) per line.
std::vector<std::size_t> lineLengths(const std::string& s, bool mtext) {
    std::vector<std::size_t> lines(1, 0);
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if ((c & 0xC0) == 0x80) continue;  // UTF-8 continuation
        if (mtext && (c == '{' || c == '}')) continue;
        if (c == '%' && i + 2 < s.size() && s[i + 1] == '%') {  // %%c, %%d, %%p
            i += 2;
            ++lines.back();
            continue;
        }
        if (mtext && c == '\\' && i + 1 < s.size()) {
            char k = s[i + 1];
            if (k == 'P') {
                lines.push_back(0);
                ++i;
                continue;
            }
            if (k == '\\' || k == '{' || k == '}') {
                ++i;
                ++lines.back();
                continue;
            }
            if (std::string_view("fFHWQTACcpS").find(k) != std::string_view::npos) {
                std::size_t e = s.find(';', i);
                i = e == std::string::npos ? s.size() : e;
                continue;
            }
            ++i;  // \L \l \O \o \K \k \~ and the like
            continue;
        }
        ++lines.back();
    }
    return lines;
}

}  // namespace

Matrix3d ocsToWcs(const Vector3d& extrusion) {
    Vector3d n = unit(extrusion);
    if (n.x == 0 && n.y == 0 && n.z == 1) return Matrix3d::identity();
    Vector3d ax = (std::fabs(n.x) < 1.0 / 64 && std::fabs(n.y) < 1.0 / 64)
                      ? unit(cross({0, 1, 0}, n))
                      : unit(cross({0, 0, 1}, n));
    Vector3d ay = unit(cross(n, ax));
    return fromAxes(ax, ay, n, {0, 0, 0});
}

Matrix3d inverse(const Matrix3d& a) {
    const auto& m = a.m;
    double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                 m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                 m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Matrix3d r;
    if (det == 0) return r;
    double id = 1 / det;
    r.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * id;
    r.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * id;
    r.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * id;
    r.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * id;
    r.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * id;
    r.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * id;
    r.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * id;
    r.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * id;
    r.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * id;
    for (int i = 0; i < 3; ++i)
        r.m[i][3] = -(r.m[i][0] * m[0][3] + r.m[i][1] * m[1][3] + r.m[i][2] * m[2][3]);
    return r;
}

Matrix3d wcsToOcs(const Vector3d& extrusion) {
    return inverse(ocsToWcs(extrusion));
}

Matrix3d blockTransform(const Database& db, const BlockReference& ref) {
    Point3d base;
    if (auto* b = db.get<BlockRecord>(ref.block)) base = b->base;
    Matrix3d scale;
    scale.m[0][0] = ref.scaleX;
    scale.m[1][1] = ref.scaleY;
    scale.m[2][2] = ref.scaleZ;
    return ocsToWcs(ref.extrusion) *
           Matrix3d::translation({ref.position.x, ref.position.y, ref.position.z}) *
           Matrix3d::rotationZ(ref.rotation) * scale *
           Matrix3d::translation({-base.x, -base.y, -base.z});
}

bool evalSpline(int p, const std::vector<double>& U, const std::vector<Point3d>& P,
                const std::vector<double>& W, double t, Point3d& out) {
    std::size_t n = P.size();
    if (p < 1 || n <= std::size_t(p) || U.size() != n + p + 1) return false;
    bool rational = W.size() == n;
    // span k with U[k] <= t < U[k+1], clamped to the valid range
    std::size_t k = p;
    if (t >= U[n]) {
        k = n - 1;
        while (k > std::size_t(p) && U[k] >= U[k + 1])
            --k;
    } else {
        while (k + 1 < n && U[k + 1] <= t)
            ++k;
    }
    double dx[26], dy[26], dz[26], dw[26];
    for (int j = 0; j <= p; ++j) {
        std::size_t i = k - p + j;
        double w = rational ? W[i] : 1.0;
        dx[j] = P[i].x * w;
        dy[j] = P[i].y * w;
        dz[j] = P[i].z * w;
        dw[j] = w;
    }
    for (int r = 1; r <= p; ++r)
        for (int j = p; j >= r; --j) {
            std::size_t i = k - p + j;
            double den = U[i + p - r + 1] - U[i];
            double a = den == 0 ? 0 : (t - U[i]) / den;
            dx[j] = (1 - a) * dx[j - 1] + a * dx[j];
            dy[j] = (1 - a) * dy[j - 1] + a * dy[j];
            dz[j] = (1 - a) * dz[j - 1] + a * dz[j];
            dw[j] = (1 - a) * dw[j - 1] + a * dw[j];
        }
    if (dw[p] == 0) return false;
    out = {dx[p] / dw[p], dy[p] / dw[p], dz[p] / dw[p]};
    return true;
}

bool isCurve(const Object& o) {
    switch (o.kind()) {
        case Kind::Line:
        case Kind::Arc:
        case Kind::Circle:
        case Kind::Ellipse:
        case Kind::LwPolyline:
        case Kind::Spline:
            return true;
        case Kind::Polyline:
            return !static_cast<const Polyline&>(o).isMesh();
        default:
            return false;
    }
}

namespace {
const Object* liveCurve(const Database& db, ObjectIndex i) {
    const Object* o = db.object(i);
    return o && !o->erased && isCurve(*o) ? o : nullptr;
}
}  // namespace

Status curveIsClosed(const Database& db, ObjectIndex i, bool& closed) {
    const Object* o = liveCurve(db, i);
    if (!o) return Status::WrongType;
    switch (o->kind()) {
        case Kind::Line:
        case Kind::Arc:
            closed = false;
            break;
        case Kind::Circle:
            closed = true;
            break;
        case Kind::Ellipse: {
            auto& e = static_cast<const Ellipse&>(*o);
            double a0 = e.startParam, a1 = e.endParam;
            sweep(a0, a1);
            closed = std::fabs(a1 - a0 - kTwoPi) < 1e-9;
            break;
        }
        case Kind::LwPolyline:
            closed = static_cast<const LwPolyline&>(*o).closed();
            break;
        case Kind::Polyline:
            closed = static_cast<const Polyline&>(*o).closed();
            break;
        case Kind::Spline:
            closed = (static_cast<const Spline&>(*o).flags & 1) != 0;
            break;
        default:
            return Status::WrongType;
    }
    return Status::Ok;
}

namespace {
Status paramRange(const Database& db, ObjectIndex i, double& t0, double& t1) {
    const Object* o = liveCurve(db, i);
    if (!o) return Status::WrongType;
    switch (o->kind()) {
        case Kind::Line: {
            auto& l = static_cast<const Line&>(*o);
            t0 = 0;
            t1 = length({l.end.x - l.start.x, l.end.y - l.start.y, l.end.z - l.start.z});
            return Status::Ok;
        }
        case Kind::Circle:
            t0 = 0, t1 = kTwoPi;
            return Status::Ok;
        case Kind::Arc: {
            auto& a = static_cast<const Arc&>(*o);
            t0 = a.startAngle, t1 = a.endAngle;
            sweep(t0, t1);
            return Status::Ok;
        }
        case Kind::Ellipse: {
            auto& e = static_cast<const Ellipse&>(*o);
            t0 = e.startParam, t1 = e.endParam;
            sweep(t0, t1);
            return Status::Ok;
        }
        case Kind::LwPolyline:
        case Kind::Polyline: {
            std::vector<Seg> segs;
            bool closed;
            Matrix3d m;
            std::vector<Point3d> verts;
            if (!polylineData(db, *o, segs, closed, m, &verts)) return Status::InvalidInput;
            t0 = 0;
            t1 = double(segs.size());
            return Status::Ok;
        }
        case Kind::Spline: {
            auto& s = static_cast<const Spline&>(*o);
            if (!splineUsable(s)) return Status::InvalidInput;
            std::vector<double> k = splineKnots(s);
            splineRange(s, k, t0, t1);
            return Status::Ok;
        }
        default:
            return Status::WrongType;
    }
}
}  // namespace

Status curveStartParam(const Database& db, ObjectIndex i, double& t) {
    double t1;
    return paramRange(db, i, t, t1);
}

Status curveEndParam(const Database& db, ObjectIndex i, double& t) {
    double t0;
    return paramRange(db, i, t0, t);
}

Status curvePointAtParam(const Database& db, ObjectIndex i, double t, Point3d& p) {
    double t0, t1;
    Status st = paramRange(db, i, t0, t1);
    if (st != Status::Ok) return st;
    const double tol = 1e-9 * std::max(1.0, std::fabs(t1));
    if (!std::isfinite(t) || t < t0 - tol || t > t1 + tol) return Status::InvalidInput;
    t = std::min(std::max(t, t0), t1);
    const Object* o = db.object(i);
    switch (o->kind()) {
        case Kind::Line: {
            auto& l = static_cast<const Line&>(*o);
            double f = t1 > 0 ? t / t1 : 0;
            p = {l.start.x + (l.end.x - l.start.x) * f, l.start.y + (l.end.y - l.start.y) * f,
                 l.start.z + (l.end.z - l.start.z) * f};
            return Status::Ok;
        }
        case Kind::Circle:
        case Kind::Arc: {
            const Point3d& c = o->kind() == Kind::Circle ? static_cast<const Circle&>(*o).center
                                                         : static_cast<const Arc&>(*o).center;
            double r = o->kind() == Kind::Circle ? static_cast<const Circle&>(*o).radius
                                                 : static_cast<const Arc&>(*o).radius;
            auto& pe = static_cast<const PlanarEntity&>(*o);
            p = ocsToWcs(pe.extrusion)
                    .transform(Point3d{c.x + r * std::cos(t), c.y + r * std::sin(t), c.z});
            return Status::Ok;
        }
        case Kind::Ellipse: {
            auto& e = static_cast<const Ellipse&>(*o);
            Vector3d minor = scaled(cross(unit(e.extrusion), e.majorAxis), e.ratio);
            p = add(add(e.center, scaled(e.majorAxis, std::cos(t))), scaled(minor, std::sin(t)));
            return Status::Ok;
        }
        case Kind::LwPolyline:
        case Kind::Polyline: {
            std::vector<Seg> segs;
            bool closed;
            Matrix3d m;
            std::vector<Point3d> verts;
            polylineData(db, *o, segs, closed, m, &verts);
            if (segs.empty()) {
                p = m.transform(verts.front());
                return Status::Ok;
            }
            std::size_t k = std::min(segs.size() - 1, std::size_t(std::floor(t)));
            p = m.transform(segPoint(segs[k], t - double(k)));
            return Status::Ok;
        }
        case Kind::Spline: {
            auto& s = static_cast<const Spline&>(*o);
            return evalSpline(s.degree, splineKnots(s), s.controlPoints, s.weights, t, p)
                       ? Status::Ok
                       : Status::InvalidInput;
        }
        default:
            return Status::WrongType;
    }
}

bool textBox(const Database& db, const Object& o, Point3d corners[4]) {
    double w = 0, h = 0, x0 = 0, y0 = 0;
    Matrix3d m;
    if (o.kind() == Kind::MText) {
        auto& t = static_cast<const MText&>(o);
        auto lines = lineLengths(t.text, true);
        std::size_t longest = 0;
        for (auto n : lines)
            longest = std::max(longest, n);
        if (longest == 0 && lines.size() == 1) return false;
        w = t.width > 0 ? t.width : double(longest) * t.height;
        h = t.height + double(lines.size() - 1) * t.height * 5.0 / 3.0 * t.lineSpacing;
        int col = (t.attachment - 1) % 3, row = (t.attachment - 1) / 3;
        x0 = -w * col / 2.0;
        y0 = row == 0 ? -h : row == 1 ? -h / 2 : 0;
        Vector3d xd = unit(t.direction);
        Vector3d yd = unit(cross(unit(t.extrusion), xd));
        m = fromAxes(xd, yd, unit(t.extrusion), t.position);
    } else if (o.kind() == Kind::Text || o.kind() == Kind::Attribute ||
               o.kind() == Kind::AttributeDefinition) {
        auto& t = static_cast<const TextBase&>(o);
        auto lines = lineLengths(t.text, false);
        if (lines[0] == 0) return false;
        w = double(lines[0]) * t.height * t.widthFactor;
        h = t.height;
        Point3d anchor = t.position;
        double rot = t.rotation;
        if (t.hAlign == 3 || t.hAlign == 5) {  // aligned / fit: between the two points
            double dx = t.alignment.x - t.position.x, dy = t.alignment.y - t.position.y;
            w = std::sqrt(dx * dx + dy * dy);
            rot = std::atan2(dy, dx);
        } else if (t.hAlign != 0 || t.vAlign != 0) {
            anchor = t.hasAlignment ? t.alignment : t.position;
            if (t.hAlign == 1 || t.hAlign == 4)
                x0 = -w / 2;
            else if (t.hAlign == 2)
                x0 = -w;
            if (t.hAlign == 4 || t.vAlign == 2)
                y0 = -h / 2;
            else if (t.vAlign == 3)
                y0 = -h;
            else if (t.vAlign == 1)
                y0 = -h * 0.25;
        }
        if (t.generation & 2) {
            w = -w;
            x0 = -x0;
        }
        if (t.generation & 4) {
            y0 = -y0 - h;
        }
        m = ocsToWcs(t.extrusion) * Matrix3d::translation({anchor.x, anchor.y, anchor.z}) *
            Matrix3d::rotationZ(rot);
    } else {
        return false;
    }
    corners[0] = m.transform(Point3d{x0, y0, 0});
    corners[1] = m.transform(Point3d{x0 + w, y0, 0});
    corners[2] = m.transform(Point3d{x0 + w, y0 + h, 0});
    corners[3] = m.transform(Point3d{x0, y0 + h, 0});
    (void)db;
    return true;
}

namespace {

// Entities visited for one extents call: nested references multiply, so a drawing made to
// explode (blocks of many references to blocks of many references) is cut off here.
thread_local long visitBudget = 0;
constexpr long kVisitBudget = 4'000'000;

void collect(const Database& db, const Object& o, const Matrix3d& m, Extents3d& box, int depth);

void collectBlock(const Database& db, ObjectIndex block, const Matrix3d& m, Extents3d& box,
                  int depth) {
    auto* b = db.get<BlockRecord>(block);
    if (!b || depth > kMaxDepth) return;
    for (ObjectIndex e : b->entities) {
        if (--visitBudget < 0) return;
        if (const Object* eo = db.object(e); eo && !eo->erased) collect(db, *eo, m, box, depth + 1);
    }
}

void collect(const Database& db, const Object& o, const Matrix3d& m, Extents3d& box, int depth) {
    switch (o.kind()) {
        case Kind::Line: {
            auto& l = static_cast<const Line&>(o);
            box.add(m.transform(l.start));
            box.add(m.transform(l.end));
            break;
        }
        case Kind::Circle:
        case Kind::Arc: {
            bool full = o.kind() == Kind::Circle;
            const Point3d& c =
                full ? static_cast<const Circle&>(o).center : static_cast<const Arc&>(o).center;
            double r =
                full ? static_cast<const Circle&>(o).radius : static_cast<const Arc&>(o).radius;
            Matrix3d mm = m * ocsToWcs(static_cast<const PlanarEntity&>(o).extrusion);
            double a0 = 0, a1 = kTwoPi;
            if (!full) {
                a0 = static_cast<const Arc&>(o).startAngle;
                a1 = static_cast<const Arc&>(o).endAngle;
                sweep(a0, a1);
            }
            addEllipticArc(box, mm.transform(c), mm.transform(Vector3d{r, 0, 0}),
                           mm.transform(Vector3d{0, r, 0}), a0, a1, full);
            break;
        }
        case Kind::Ellipse: {
            auto& e = static_cast<const Ellipse&>(o);
            Vector3d minor = scaled(cross(unit(e.extrusion), e.majorAxis), e.ratio);
            double a0 = e.startParam, a1 = e.endParam;
            sweep(a0, a1);
            bool full = std::fabs(a1 - a0 - kTwoPi) < 1e-12;
            addEllipticArc(box, m.transform(e.center), m.transform(e.majorAxis), m.transform(minor),
                           a0, a1, full);
            break;
        }
        case Kind::LwPolyline:
        case Kind::Polyline: {
            std::vector<Seg> segs;
            bool closed;
            Matrix3d toWcs;
            std::vector<Point3d> verts;
            if (o.kind() == Kind::Polyline && static_cast<const Polyline&>(o).isMesh()) {
                for (ObjectIndex vi : static_cast<const Polyline&>(o).vertices)
                    if (auto* v = db.get<Vertex>(vi); v && !(v->flags & 128 && !(v->flags & 64)))
                        box.add(m.transform(v->position));
                break;
            }
            if (!polylineData(db, o, segs, closed, toWcs, &verts)) break;
            Matrix3d mm = m * toWcs;
            for (auto& v : verts)
                box.add(mm.transform(v));
            for (auto& s : segs)
                addSegment(box, s, mm);
            break;
        }
        case Kind::Spline:
            addSplineExtents(box, static_cast<const Spline&>(o), m);
            break;
        case Kind::Point:
            box.add(m.transform(static_cast<const PointEntity&>(o).position));
            break;
        case Kind::Text:
        case Kind::Attribute:
        case Kind::AttributeDefinition:
        case Kind::MText: {
            if (o.kind() == Kind::AttributeDefinition && depth > 0) break;  // not shown in refs
            if (o.kind() == Kind::Attribute && (static_cast<const Attribute&>(o).attribFlags & 1))
                break;  // invisible
            Point3d c[4];
            if (textBox(db, o, c))
                for (auto& p : c)
                    box.add(m.transform(p));
            break;
        }
        case Kind::BlockReference: {
            auto& r = static_cast<const BlockReference&>(o);
            if (depth > kMaxDepth) break;
            Matrix3d bt = blockTransform(db, r);
            int cols = std::min(r.columns, 10000), rows = std::min(r.rows, 10000);
            for (int row = 0; row < rows; row += std::max(1, rows - 1))
                for (int col = 0; col < cols; col += std::max(1, cols - 1)) {
                    Matrix3d cell = bt;
                    if (row || col) {
                        Matrix3d off = ocsToWcs(r.extrusion) * Matrix3d::rotationZ(r.rotation);
                        Vector3d d =
                            off.transform(Vector3d{col * r.columnSpacing, row * r.rowSpacing, 0});
                        cell = Matrix3d::translation(d) * bt;
                    }
                    collectBlock(db, r.block, m * cell, box, depth);
                }
            for (ObjectIndex a : r.attributes)
                if (const Object* ao = db.object(a); ao && !ao->erased)
                    collect(db, *ao, m, box, depth + 1);
            break;
        }
        case Kind::Solid: {
            auto& s = static_cast<const Solid&>(o);
            Matrix3d mm = m * ocsToWcs(s.extrusion);
            for (auto& p : s.corners)
                box.add(mm.transform(p));
            break;
        }
        case Kind::Hatch: {
            auto& h = static_cast<const Hatch&>(o);
            Matrix3d mm = m * ocsToWcs(h.extrusion);
            for (Point3d p : hatchBoundarySamples(h)) {
                p.z = h.elevation;
                box.add(mm.transform(p));
            }
            break;
        }
        case Kind::Dimension: {
            auto& d = static_cast<const Dimension&>(o);
            if (depth <= kMaxDepth) collectBlock(db, d.block, m, box, depth);
            break;
        }
        case Kind::Viewport: {
            auto& v = static_cast<const Viewport&>(o);
            box.add(m.transform(Point3d{v.center.x - v.width / 2, v.center.y - v.height / 2, 0}));
            box.add(m.transform(Point3d{v.center.x + v.width / 2, v.center.y + v.height / 2, 0}));
            break;
        }
        default:
            break;
    }
}

}  // namespace

Status entityExtents(const Database& db, ObjectIndex i, Extents3d& box) {
    box = Extents3d{};
    const Object* o = db.object(i);
    if (!o || o->erased) return Status::NotFound;
    if (!o->isEntity()) return Status::WrongType;
    visitBudget = kVisitBudget;
    collect(db, *o, Matrix3d::identity(), box, 0);
    return box.isEmpty() ? Status::NotFound : Status::Ok;
}

namespace {

// The three non-zero cubic basis values at the knot t = U[span] of a clamped knot vector, for
// the control points span-3 .. span-1 (the fourth is zero there).
void cubicBasisAtKnot(const std::vector<double>& U, std::size_t span, double out[3]) {
    double left[4], right[4], N[4] = {1, 0, 0, 0};
    const double t = U[span];
    for (int j = 1; j <= 3; ++j) {
        left[j] = t - U[span + 1 - j];
        right[j] = U[span + j] - t;
        double saved = 0;
        for (int r = 0; r < j; ++r) {
            const double denom = right[r + 1] + left[j - r];
            const double temp = denom != 0 ? N[r] / denom : 0;
            N[r] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        N[j] = saved;
    }
    // N[0..3] belong to control points span-3 .. span; at the knot itself N[3] is 0.
    out[0] = N[0];
    out[1] = N[1];
    out[2] = N[2];
}

Vector3d unitOr(const Vector3d& v, bool& ok) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    ok = length > 0 && std::isfinite(length);
    return ok ? Vector3d{v.x / length, v.y / length, v.z / length} : Vector3d{0, 0, 0};
}

}  // namespace

bool interpolateFitPoints(Spline& s) {
    if (s.degree != 3) return false;
    std::vector<Point3d> q;
    for (const Point3d& p : s.fitPoints) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
        if (q.empty() || p.x != q.back().x || p.y != q.back().y || p.z != q.back().z)
            q.push_back(p);
    }
    const std::size_t n = q.size();
    if (n < 2) return false;
    std::vector<double> t(n, 0.0);
    for (std::size_t k = 1; k < n; ++k)
        t[k] = t[k - 1] + std::sqrt((q[k].x - q[k - 1].x) * (q[k].x - q[k - 1].x) +
                                    (q[k].y - q[k - 1].y) * (q[k].y - q[k - 1].y) +
                                    (q[k].z - q[k - 1].z) * (q[k].z - q[k - 1].z));
    const double total = t[n - 1];
    if (!(total > 0) || !std::isfinite(total)) return false;
    std::vector<double> U(4, 0.0);
    for (std::size_t k = 1; k + 1 < n; ++k)
        U.push_back(t[k]);
    U.insert(U.end(), 4, total);
    // Unknowns P0 .. P(n+1); each row touches at most three neighbouring ones, so the system
    // is tridiagonal: a[r] P(r-1) + b[r] P(r) + c[r] P(r+1) = d[r].
    const std::size_t m = n + 2;
    std::vector<double> a(m, 0), b(m, 0), c(m, 0);
    std::vector<Point3d> d(m);
    b[0] = 1;
    d[0] = q[0];
    b[m - 1] = 1;
    d[m - 1] = q[n - 1];
    const double firstSpan = U[4], lastSpan = total - U[m - 1];
    bool given = false;
    Vector3d start = unitOr(s.startTangent, given);
    if (s.hasStartTangent && given) {  // P1 - P0 = firstSpan / 3 * D0
        a[1] = -1;
        b[1] = 1;
        d[1] = {start.x * firstSpan / 3, start.y * firstSpan / 3, start.z * firstSpan / 3};
    } else {  // second derivative 0: (P2 - P1) / U[5] = (P1 - P0) / U[4]
        a[1] = -U[5];
        b[1] = U[4] + U[5];
        c[1] = -U[4];
    }
    Vector3d end = unitOr(s.endTangent, given);
    if (s.hasEndTangent && given) {  // P(n+1) - P(n) = lastSpan / 3 * D1
        a[m - 2] = 0;
        b[m - 2] = -1;
        c[m - 2] = 1;
        d[m - 2] = {end.x * lastSpan / 3, end.y * lastSpan / 3, end.z * lastSpan / 3};
    } else {
        const double before = total - U[m - 2];
        a[m - 2] = -lastSpan;
        b[m - 2] = lastSpan + before;
        c[m - 2] = -before;
    }
    for (std::size_t k = 1; k + 1 < n; ++k) {  // through fit point k, at knot U[k+3]
        double N[3];
        cubicBasisAtKnot(U, k + 3, N);
        a[k + 1] = N[0];
        b[k + 1] = N[1];
        c[k + 1] = N[2];
        d[k + 1] = q[k];
    }
    // Thomas algorithm; the rows are diagonally dominant or close to it for chord-length knots.
    for (std::size_t r = 1; r < m; ++r) {
        if (b[r - 1] == 0) return false;
        const double f = a[r] / b[r - 1];
        b[r] -= f * c[r - 1];
        d[r] = {d[r].x - f * d[r - 1].x, d[r].y - f * d[r - 1].y, d[r].z - f * d[r - 1].z};
    }
    std::vector<Point3d> P(m);
    for (std::size_t r = m; r-- > 0;) {
        if (b[r] == 0) return false;
        const Point3d next = r + 1 < m ? P[r + 1] : Point3d{0, 0, 0};
        const double cr = r + 1 < m ? c[r] : 0;
        P[r] = {(d[r].x - cr * next.x) / b[r], (d[r].y - cr * next.y) / b[r],
                (d[r].z - cr * next.z) / b[r]};
        if (!std::isfinite(P[r].x) || !std::isfinite(P[r].y) || !std::isfinite(P[r].z))
            return false;
    }
    s.knots = std::move(U);
    s.controlPoints = std::move(P);
    s.weights.clear();
    return true;
}

}  // namespace qkshost::drawing

namespace qkshost::drawing {
namespace {

// Equal steps over a sweep of a circle of radius `radius` whose chords stay within `error`.
int arcSteps(double radius, double sweepAngle, double error) {
    const double r = std::fabs(radius), s = std::fabs(sweepAngle);
    if (!(r > 0) || !(s > 0)) return 1;
    // the sagitta of a chord over angle a is r (1 - cos(a / 2))
    const double step = error >= r ? kPi / 2 : 2 * std::acos(1 - error / r);
    const double steps = std::ceil(s / std::max(step, 1e-9));
    // a quarter turn per chord at most, however coarse the error
    const double least = std::ceil(s / (kPi / 2));
    return int(std::min(std::max(steps, least), 65536.0));
}

bool finite(const Point3d& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

void pushPoint(std::vector<Point3d>& out, const Point3d& p) {
    if (out.size() >= kMaxCurvePoints) return;
    if (!out.empty() && out.back().x == p.x && out.back().y == p.y && out.back().z == p.z) return;
    out.push_back(p);
}

// Points of an elliptic arc c + u cos a + v sin a for a in [a0, a1], end points included.
// |u| >= |v| is not required: the step follows the longer axis, which bounds the chord error
// of the affine image of a circle of that radius.
void ellipticArcPoints(std::vector<Point3d>& out, const Point3d& c, const Vector3d& u,
                       const Vector3d& v, double a0, double a1, double error) {
    const double radius = std::max(length(u), length(v));
    const int n = arcSteps(radius, a1 - a0, error);
    for (int k = 0; k <= n; ++k) {
        const double a = k == n ? a1 : a0 + (a1 - a0) * k / n;
        const double ca = std::cos(a), sa = std::sin(a);
        pushPoint(
            out, {c.x + u.x * ca + v.x * sa, c.y + u.y * ca + v.y * sa, c.z + u.z * ca + v.z * sa});
    }
}

double distanceToChord(const Point3d& p, const Point3d& a, const Point3d& b) {
    const double dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
    const double px = p.x - a.x, py = p.y - a.y, pz = p.z - a.z;
    const double ll = dx * dx + dy * dy + dz * dz;
    double t = ll > 0 ? (px * dx + py * dy + pz * dz) / ll : 0;
    t = std::min(1.0, std::max(0.0, t));
    const double ex = px - t * dx, ey = py - t * dy, ez = pz - t * dz;
    return std::sqrt(ex * ex + ey * ey + ez * ez);
}

struct SplineFlattener {
    const Spline& spline;
    const std::vector<double>& knots;
    double error;
    std::vector<Point3d>& out;
    bool ok = true;

    Point3d at(double t) {
        Point3d p;
        if (!evalSpline(spline.degree, knots, spline.controlPoints, spline.weights, t, p) ||
            !finite(p))
            ok = false;
        return p;
    }

    // Adds the points after `a` up to and including `b`.
    void refine(double ta, const Point3d& a, double tb, const Point3d& b, int depth) {
        const double tm = (ta + tb) / 2;
        const Point3d m = at(tm);
        if (!ok) return;
        bool flat = depth >= 24 || out.size() >= kMaxCurvePoints;
        if (!flat) {
            const Point3d q1 = at((ta + tm) / 2), q3 = at((tm + tb) / 2);
            flat = distanceToChord(m, a, b) <= error && distanceToChord(q1, a, b) <= error &&
                   distanceToChord(q3, a, b) <= error;
        }
        if (flat) {
            pushPoint(out, b);
            return;
        }
        refine(ta, a, tm, m, depth + 1);
        refine(tm, m, tb, b, depth + 1);
    }
};

}  // namespace

Status curvePoints(const Database& db, ObjectIndex i, double error, std::vector<Point3d>& out,
                   bool& closed) {
    out.clear();
    const Object* o = liveCurve(db, i);
    if (!o) return Status::WrongType;
    if (!(error > 0) || !std::isfinite(error)) return Status::InvalidInput;
    Status st = curveIsClosed(db, i, closed);
    if (st != Status::Ok) return st;
    switch (o->kind()) {
        case Kind::Line: {
            auto& l = static_cast<const Line&>(*o);
            pushPoint(out, l.start);
            pushPoint(out, l.end);
            break;
        }
        case Kind::Circle:
        case Kind::Arc: {
            const bool full = o->kind() == Kind::Circle;
            const Point3d& c =
                full ? static_cast<const Circle&>(*o).center : static_cast<const Arc&>(*o).center;
            const double r =
                full ? static_cast<const Circle&>(*o).radius : static_cast<const Arc&>(*o).radius;
            const Matrix3d m = ocsToWcs(static_cast<const PlanarEntity&>(*o).extrusion);
            double a0 = 0, a1 = kTwoPi;
            if (!full) {
                a0 = static_cast<const Arc&>(*o).startAngle;
                a1 = static_cast<const Arc&>(*o).endAngle;
                sweep(a0, a1);
            }
            ellipticArcPoints(out, m.transform(c), m.transform(Vector3d{r, 0, 0}),
                              m.transform(Vector3d{0, r, 0}), a0, a1, error);
            break;
        }
        case Kind::Ellipse: {
            auto& e = static_cast<const Ellipse&>(*o);
            const Vector3d minor = scaled(cross(unit(e.extrusion), e.majorAxis), e.ratio);
            double a0 = e.startParam, a1 = e.endParam;
            sweep(a0, a1);
            ellipticArcPoints(out, e.center, e.majorAxis, minor, a0, a1, error);
            break;
        }
        case Kind::LwPolyline:
        case Kind::Polyline: {
            std::vector<Seg> segs;
            Matrix3d m;
            std::vector<Point3d> verts;
            if (!polylineData(db, *o, segs, closed, m, &verts)) return Status::InvalidInput;
            pushPoint(out, m.transform(verts.front()));
            for (const Seg& s : segs) {
                qks::BulgeArc arc;
                if (qks::bulgeArc(s.a.x, s.a.y, s.b.x, s.b.y, s.bulge, arc)) {
                    const int n = arcSteps(arc.radius, arc.sweep, error);
                    for (int k = 1; k < n; ++k) {
                        const double a = arc.startAngle + arc.sweep * k / n;
                        pushPoint(out, m.transform(Point3d{arc.centreX + arc.radius * std::cos(a),
                                                           arc.centreY + arc.radius * std::sin(a),
                                                           s.a.z}));
                    }
                }
                pushPoint(out, m.transform(s.b));
            }
            break;
        }
        case Kind::Spline: {
            // A spline saved with its fit points only (as DXF allows) is the curve through
            // them: interpolated here, on a copy, so the drawing is written back as it came.
            Spline fitted;
            const Spline* source = static_cast<const Spline*>(o);
            if (source->controlPoints.empty() && source->fitPoints.size() >= 2) {
                fitted = *source;
                if (!interpolateFitPoints(fitted)) return Status::InvalidInput;
                source = &fitted;
            }
            const Spline& s = *source;
            if (!splineUsable(s)) return Status::InvalidInput;
            const std::vector<double> knots = splineKnots(s);
            double t0, t1;
            splineRange(s, knots, t0, t1);
            SplineFlattener f{s, knots, error, out};
            Point3d a = f.at(t0);
            pushPoint(out, a);
            // Every knot span is cut in four first, so that no wiggle between samples of one
            // span goes unseen by the chord test.
            for (std::size_t k = std::size_t(s.degree); k < s.controlPoints.size() && f.ok; ++k) {
                const double ka = std::max(knots[k], t0), kb = std::min(knots[k + 1], t1);
                if (!(kb > ka)) continue;
                for (int q = 1; q <= 4 && f.ok; ++q) {
                    const double ta = ka + (kb - ka) * (q - 1) / 4;
                    const double tb = q == 4 ? kb : ka + (kb - ka) * q / 4;
                    const Point3d b = f.at(tb);
                    f.refine(ta, a, tb, b, 0);
                    a = b;
                }
            }
            if (!f.ok) return Status::InvalidInput;
            break;
        }
        default:
            return Status::WrongType;
    }
    for (const Point3d& p : out)
        if (!finite(p)) return Status::InvalidInput;
    if (closed && out.size() > 1) {
        const Point3d& f = out.front();
        const Point3d& b = out.back();
        if (f.x == b.x && f.y == b.y && f.z == b.z) out.pop_back();
    }
    if (out.empty()) return Status::InvalidInput;
    return Status::Ok;
}

}  // namespace qkshost::drawing
