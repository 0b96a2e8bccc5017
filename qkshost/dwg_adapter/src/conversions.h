// Plain conversions from the decoder's values to the drawing kernel's.
#pragma once

#include <cmath>

#include "qks/common/plane.h"
#include "qkshost/drawing/database.h"
#include "qkshost/drawing/geometry.h"
#include "qkshost/dwg/dwg.h"

namespace qkshost::dwg::detail {

namespace dr = qkshost::drawing;

inline constexpr double kToDeg = 180.0 / qks::kPi;

inline dr::Point3d pt(const Vec3& v) {
    return {v.x, v.y, v.z};
}
inline dr::Vector3d vec(const Vec3& v) {
    return {v.x, v.y, v.z};
}
inline dr::Vector3d normal(const Vec3& v) {
    double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(l > 1e-12)) return {0, 0, 1};
    return {v.x / l, v.y / l, v.z / l};
}

}  // namespace qkshost::dwg::detail
