// What the renderer's parts share: the limits of a drawing pass, what an entity inherits
// from the references that show it (Context), and the plane geometry of the output.
#pragma once

#include "qkshost/render/renderer.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "qks/common/plane.h"
#include "qkshost/drawing/geometry.h"

namespace qkshost::render::detail {

using drawing::Database;
using drawing::Kind;
using drawing::Matrix3d;
using drawing::ObjectIndex;
using drawing::Point3d;
using drawing::Vector3d;
using pdf::PlotColour;
using pdf::Point2;

using qks::kPi;
constexpr double kTwoPi = 2 * kPi;
constexpr int kMaxArrayCells = 10000;
// Highest spline degree evaluated (the evaluator's working arrays hold degree + 1 points);
// higher ones are drawn through their control points.
constexpr int kMaxSplineDegree = 25;
// Entities drawn for one layout at the most: nested arrays of block references could
// otherwise multiply into more than any page can show.
constexpr std::size_t kMaxEntityVisits = 5'000'000;

inline bool equalsNoCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == 0;
}

// What an entity inherits from the block references (or dimension) that show it.
struct Context {
    Matrix3d m;                              // entity space to output space
    ObjectIndex layer = 0;                   // layer that replaces "0" inside blocks
    PlotColour colour = PlotColour::aci(7);  // ByBlock colour
    double weightMm = -1.0;                  // ByBlock weight
    ObjectIndex linetype = 0;                // ByBlock linetype (0: solid)
    // Paper units per model unit of the viewport model space is drawn through (1 outside
    // viewports): line patterns there are measured on paper, as they are by default in the
    // CAD program.
    double viewportScale = 1.0;
    int depth = 0;
    std::vector<ObjectIndex>* blocks = nullptr;  // block records being drawn (cycle guard)
    // layers frozen in the viewport model space is drawn through (none outside viewports)
    const std::vector<ObjectIndex>* frozenInViewport = nullptr;
};

inline Point2 xy(const Point3d& p) {
    return {p.x, p.y};
}
inline Point2 linearXY(const Matrix3d& m, double x, double y) {
    return {m.m[0][0] * x + m.m[0][1] * y, m.m[1][0] * x + m.m[1][1] * y};
}
inline double norm(const Point2& v) {
    return std::hypot(v.x, v.y);
}
inline double cross(const Point2& a, const Point2& b) {
    return a.x * b.y - a.y * b.x;
}
inline double dot(const Point2& a, const Point2& b) {
    return a.x * b.x + a.y * b.y;
}
inline bool finitePoint(const Point2& p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// The plane's x and y axes after the transform, as seen on the output plane.
struct Frame {
    Point2 u, v;
    bool conformal() const {
        const double nu = norm(u), nv = norm(v);
        if (nu <= 0 || nv <= 0 || !std::isfinite(nu) || !std::isfinite(nv)) return false;
        return std::fabs(nu - nv) <= 1e-9 * std::max(nu, nv) &&
               std::fabs(dot(u, v)) <= 1e-9 * nu * nv;
    }
    bool mirrored() const { return cross(u, v) < 0; }
    double scale() const { return norm(u); }
};
inline Frame frameOf(const Matrix3d& m) {
    return {linearXY(m, 1, 0), linearXY(m, 0, 1)};
}

}  // namespace qkshost::render::detail
