#include <gtest/gtest.h>

#include <cmath>

#include "qks/common/plane.h"

namespace qks {
namespace {

TEST(Plane, BulgeArcs) {
    const struct {
        double ax, ay, bx, by, bulge;
        bool curved;
        double cx, cy, radius, start, sweep;
    } cases[] = {
        // a half circle below the chord, counter-clockwise from (0,0) to (2,0)
        {0, 0, 2, 0, 1, true, 1, 0, 1, kPi, kPi},
        // the same clockwise: above the chord
        {0, 0, 2, 0, -1, true, 1, 0, 1, kPi, -kPi},
        // a quarter circle: bulge tan(pi / 8)
        {1, 0, 0, 1, std::tan(kPi / 8), true, 0, 0, 1, 0, kPi / 2},
        // three quarters of a turn round the centre on the chord's left
        {1, 0, 0, -1, std::tan(3 * kPi / 8), true, 0, 0, 1, 0, 3 * kPi / 2},
        {0, 0, 2, 0, 0, false, 0, 0, 0, 0, 0},
        {0, 0, 2, 0, 1e-12, false, 0, 0, 0, 0, 0},
        {3, 3, 3, 3, 1, false, 0, 0, 0, 0, 0},
        {0, 0, 2, 0, NAN, false, 0, 0, 0, 0, 0},
        {0, 0, 2, 0, INFINITY, false, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        BulgeArc arc;
        ASSERT_EQ(bulgeArc(c.ax, c.ay, c.bx, c.by, c.bulge, arc), c.curved) << c.bulge;
        if (!c.curved) continue;
        EXPECT_NEAR(arc.centreX, c.cx, 1e-12) << c.bulge;
        EXPECT_NEAR(arc.centreY, c.cy, 1e-12) << c.bulge;
        EXPECT_NEAR(arc.radius, c.radius, 1e-12) << c.bulge;
        EXPECT_NEAR(std::remainder(arc.startAngle - c.start, 2 * kPi), 0, 1e-12) << c.bulge;
        EXPECT_NEAR(arc.sweep, c.sweep, 1e-12) << c.bulge;
        // The arc ends at b.
        const double end = arc.startAngle + arc.sweep;
        EXPECT_NEAR(arc.centreX + arc.radius * std::cos(end), c.bx, 1e-12) << c.bulge;
        EXPECT_NEAR(arc.centreY + arc.radius * std::sin(end), c.by, 1e-12) << c.bulge;
    }
}

}  // namespace
}  // namespace qks
