// Value types that cross the seam between the plug-in and its drawing host.
// Everything here is plain data: copying is cheap and nothing is owned.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

namespace qks::host {

// Coordinates are drawing units; angles are radians unless a name says degrees.
struct Point3d {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    friend bool operator==(const Point3d& a, const Point3d& b) {
        return a.x == b.x && a.y == b.y && a.z == b.z;
    }
    friend bool operator!=(const Point3d& a, const Point3d& b) { return !(a == b); }
};

struct Vector3d {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// Axis-aligned box; empty until the first point is added.
struct Extents3d {
    Point3d min{HUGE_VAL, HUGE_VAL, HUGE_VAL};
    Point3d max{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    bool isEmpty() const { return min.x > max.x || min.y > max.y; }
    void add(const Point3d& p) {
        min = {std::fmin(min.x, p.x), std::fmin(min.y, p.y), std::fmin(min.z, p.z)};
        max = {std::fmax(max.x, p.x), std::fmax(max.y, p.y), std::fmax(max.z, p.z)};
    }
    void add(const Extents3d& e) {
        if (!e.isEmpty()) {
            add(e.min);
            add(e.max);
        }
    }
};

// Affine 3-D transform as a row-major 4x4 matrix acting on column vectors:
// p' = M * [x y z 1]^T. The last row is always 0 0 0 1.
struct Matrix3d {
    std::array<std::array<double, 4>, 4> m{
        {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

    static Matrix3d identity() { return {}; }
    static Matrix3d scaling(double s, const Point3d& center = {}) {
        Matrix3d r;
        for (int i = 0; i < 3; ++i)
            r.m[i][i] = s;
        r.m[0][3] = center.x * (1 - s);
        r.m[1][3] = center.y * (1 - s);
        r.m[2][3] = center.z * (1 - s);
        return r;
    }
    static Matrix3d translation(const Vector3d& v) {
        Matrix3d r;
        r.m[0][3] = v.x;
        r.m[1][3] = v.y;
        r.m[2][3] = v.z;
        return r;
    }
    // Counter-clockwise rotation about the z axis through `center`.
    static Matrix3d rotationZ(double radians, const Point3d& center = {}) {
        Matrix3d r;
        const double c = std::cos(radians), s = std::sin(radians);
        r.m[0][0] = c;
        r.m[0][1] = -s;
        r.m[1][0] = s;
        r.m[1][1] = c;
        r.m[0][3] = center.x - c * center.x + s * center.y;
        r.m[1][3] = center.y - s * center.x - c * center.y;
        return r;
    }

    Point3d transform(const Point3d& p) const {
        return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3],
                m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3],
                m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]};
    }
    Vector3d transform(const Vector3d& v) const {
        return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
                m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
    }
    // this * other: apply `other` first, then this.
    Matrix3d operator*(const Matrix3d& other) const {
        Matrix3d r;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                double sum = 0;
                for (int k = 0; k < 4; ++k)
                    sum += m[i][k] * other.m[k][j];
                r.m[i][j] = sum;
            }
        return r;
    }
};

// Identifies an object (entity, table record, dictionary entry) in any open database of the
// host. 0 is the null id. Ids stay valid while their database is open.
struct ObjectId {
    std::uint64_t value = 0;
    explicit operator bool() const { return value != 0; }
    friend bool operator==(ObjectId a, ObjectId b) { return a.value == b.value; }
    friend bool operator!=(ObjectId a, ObjectId b) { return a.value != b.value; }
    friend bool operator<(ObjectId a, ObjectId b) { return a.value < b.value; }
};

// Identifies an open document (a drawing shown in the host). 0 means none.
struct DocumentId {
    std::uint64_t value = 0;
    explicit operator bool() const { return value != 0; }
    friend bool operator==(DocumentId a, DocumentId b) { return a.value == b.value; }
    friend bool operator!=(DocumentId a, DocumentId b) { return a.value != b.value; }
};

// A message window created through the host. 0 means none.
struct WindowHandle {
    std::uint64_t value = 0;
    explicit operator bool() const { return value != 0; }
    friend bool operator==(WindowHandle a, WindowHandle b) { return a.value == b.value; }
    friend bool operator!=(WindowHandle a, WindowHandle b) { return a.value != b.value; }
};

}  // namespace qks::host
