// The planar arrangement on curves built in the test: joining, noding, faces by depth, and
// outlines that hold the curves they were flattened from.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "qks/drawing/arrangement.h"
#include "qks/geometry/plane.h"

namespace {

using qks::drawing::ArrangementOptions;
using qks::drawing::CurvePiece;
using qks::geometry::Point;

constexpr double kPi = 3.14159265358979323846;

qks::drawing::CurvePiece piece(std::vector<Point> points, bool closed = false,
                               double chordError = 0.0) {
    static int handle = 0;
    qks::drawing::CurvePiece p;
    p.points = std::move(points);
    p.closed = closed;
    p.chordError = chordError;
    p.handle = std::to_string(++handle);
    return p;
}

qks::drawing::CurvePiece rectangle(double x, double y, double w, double h) {
    return piece({{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}, true);
}

// A circle as chords whose corners lie on it, the way flattening draws one.
std::vector<Point> circlePoints(double cx, double cy, double r, int n) {
    std::vector<Point> points;
    for (int k = 0; k < n; ++k)
        points.push_back({cx + r * std::cos(2 * kPi * k / n), cy + r * std::sin(2 * kPi * k / n)});
    return points;
}

// The circle cut into `count` open runs, each end moved by `gap` along the circle.
std::vector<qks::drawing::CurvePiece> circleInRuns(double cx, double cy, double r, int count,
                                                   double gap) {
    std::vector<qks::drawing::CurvePiece> runs;
    const int per = 4;
    for (int k = 0; k < count; ++k) {
        std::vector<Point> points;
        const double a0 = 2 * kPi * k / count + gap / r / 2,
                     a1 = 2 * kPi * (k + 1) / count - gap / r / 2;
        for (int j = 0; j <= per; ++j) {
            const double a = a0 + (a1 - a0) * j / per;
            points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
        }
        runs.push_back(piece(points));
    }
    return runs;
}

std::vector<qks::drawing::CurvePiece> join(std::vector<qks::drawing::CurvePiece> a,
                                           const std::vector<qks::drawing::CurvePiece>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Arrangement, PartsHolesAndDanglingPieces) {
    struct Case {
        std::string name;
        std::vector<qks::drawing::CurvePiece> pieces;
        std::vector<std::size_t> holesPerPart;  // in part order
        std::vector<double> areas;              // outline areas, 0.5 % play
        int dangling;
    };
    const std::vector<Case> cases = {
        {"plate, bore and a disc in the bore",
         {rectangle(0, 0, 100, 100), piece(circlePoints(50, 50, 20, 64), true),
          piece(circlePoints(50, 50, 5, 32), true)},
         {1, 0},
         {10000, 78.0},
         0},
        {"four loose lines with gaps under the tolerance",
         {piece({{0, 0}, {80, 0}}), piece({{80.3, 40}, {80, 0.3}}), piece({{0, 40}, {80, 40}}),
          piece({{0, 40}, {0, 0.4}})},
         {0},
         {3200},
         0},
        {"common-line layout: one outline and a divider",
         {rectangle(0, 0, 200, 50), piece({{100, 0}, {100, 50}})},
         {0, 0},
         {5000, 5000},
         0},
        {"a loop drawn twice is one part",
         {rectangle(0, 0, 60, 30), rectangle(0, 0, 60, 30)},
         {0},
         {1800},
         0},
        {"an outline of 400 short runs with small gaps",
         circleInRuns(0, 0, 30, 400, 0.05),
         {0},
         {2827},
         0},
        {"short runs whose ends fold back within the tolerance stay open",
         {piece({{0, 0}, {0.3, 0.2}}), piece({{0.3, 0.2}, {0.1, 0.4}}),
          piece({{0.1, 0.4}, {0, 0.1}})},
         {},
         {},
         1},
        {"a line from the outline into the part dangles; the part stays whole",
         {rectangle(0, 0, 100, 50), piece({{50, 0}, {50, 20}})},
         {0},
         {5000},
         1},
        {"a part drawn in another's cut-out, touching nothing",
         join({rectangle(0, 0, 300, 300), rectangle(50, 50, 200, 200)},
              {rectangle(100, 100, 50, 50), piece(circlePoints(125, 125, 10, 48), true)}),
         {1, 1},
         {90000, 2500},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const qks::drawing::Arrangement got =
            qks::drawing::arrangePieces(c.pieces, qks::drawing::ArrangementOptions{});
        EXPECT_FALSE(got.failed) << got.message;
        EXPECT_EQ(got.danglingPieces, c.dangling);
        ASSERT_EQ(got.parts.size(), c.holesPerPart.size());
        for (std::size_t i = 0; i < got.parts.size(); ++i) {
            EXPECT_EQ(got.parts[i].holes.size(), c.holesPerPart[i]) << i;
            EXPECT_NEAR(got.parts[i].area, c.areas[i], c.areas[i] * 0.005) << i;
        }
    }
}

// Copies of one part apart from each other are arranged once: each keeps its own place,
// pieces and handles, in the order it was drawn.
TEST(Arrangement, CopiesApartKeepTheirPlacesAndHandles) {
    std::vector<qks::drawing::CurvePiece> pieces;
    for (const double x : {300.0, 0.0, 150.0})
        pieces =
            join(pieces, {rectangle(x, 0, 100, 50), piece(circlePoints(x + 30, 25, 10, 64), true)});
    const qks::drawing::Arrangement got =
        qks::drawing::arrangePieces(pieces, qks::drawing::ArrangementOptions{});
    ASSERT_EQ(got.parts.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const qks::drawing::ArrangedPart& part = got.parts[i];
        EXPECT_EQ(part.firstPiece, 2 * i);
        EXPECT_EQ(part.outlinePieces, std::vector<std::size_t>{2 * i});
        EXPECT_EQ(part.handles,
                  (std::vector<std::string>{pieces[2 * i].handle, pieces[2 * i + 1].handle}));
        const qks::geometry::Bounds box = qks::geometry::boundsOf(part.outline);
        EXPECT_DOUBLE_EQ(box.minX, pieces[2 * i].points[0].x);
        ASSERT_EQ(part.holes.size(), 1u);
        EXPECT_NEAR(qks::geometry::boundsOf(part.holes[0]).minX, box.minX + 20, 1e-9);
    }
}

// Flattened arcs have their chords inside the curve: the outline grows by the chord error and
// the bore shrinks by it, so the real part lies inside the outline and outside the hole, and
// neither strays further than twice that error.
TEST(Arrangement, OutlinesHoldTheCurvesTheyWereFlattenedFrom) {
    const double error = 0.01;
    // A disc of radius 50 flattened to 0.01 mm: chords over angles whose sagitta is the error.
    const int n = static_cast<int>(std::ceil(kPi / std::acos(1 - error / 50)));
    const std::vector<qks::drawing::CurvePiece> pieces = {
        piece(circlePoints(0, 0, 50, n), true, error),
        piece(circlePoints(0, 0, 10, 80), true, error)};
    const qks::drawing::Arrangement got =
        qks::drawing::arrangePieces(pieces, qks::drawing::ArrangementOptions{});
    ASSERT_EQ(got.parts.size(), 1u);
    ASSERT_EQ(got.parts[0].holes.size(), 1u);
    const auto radii = [](const std::vector<Point>& ring, double& low, double& high) {
        low = 1e300, high = 0;
        for (const Point& p : ring) {
            low = std::fmin(low, std::hypot(p.x, p.y));
            high = std::fmax(high, std::hypot(p.x, p.y));
        }
    };
    double low = 0, high = 0;
    radii(got.parts[0].outline, low, high);
    // Every chord of the outline stays outside the real circle: its corners at least the
    // error further out than the sagitta took in.
    EXPECT_GE(low, 50.0);
    EXPECT_LE(high, 50.0 + 3 * error);
    radii(got.parts[0].holes[0], low, high);
    EXPECT_LE(high, 10.0);
    EXPECT_GE(low, 10.0 - 3 * error);
}

}  // namespace
