// Curve parameters, points, extents and block transforms, checked against ezdxf's construction
// tools on the fixture corpus and against hand-worked cases.
#include "qkshost/dxf/testing.h"

#include <cmath>

using namespace qkshost::drawing;
using namespace qkshost::dxf::testing;

namespace {

constexpr double kPi = 3.14159265358979323846;

void expectPoint(const Point3d& a, const Point3d& b, double tol, const std::string& what) {
    EXPECT_NEAR(a.x, b.x, tol) << what;
    EXPECT_NEAR(a.y, b.y, tol) << what;
    EXPECT_NEAR(a.z, b.z, tol) << what;
}

// Extents of an entity as ezdxf's reference computes them: texts (attributes) left out.
Extents3d extentsWithoutAttributes(Database& db, ObjectIndex i) {
    Extents3d box;
    auto* ref = db.get<BlockReference>(i);
    std::vector<ObjectIndex> saved;
    if (ref) saved.swap(ref->attributes);
    entityExtents(db, i, box);
    if (ref) saved.swap(ref->attributes);
    return box;
}

}  // namespace

TEST(DrawingGeometry, AgreesWithEzdxfOnTheCorpus) {
    if (!haveEzdxf()) GTEST_SKIP() << "python3-ezdxf is not installed";
    for (const char* name : {"entities_r2018.dxf", "mirrored_r2000.dxf", "nested_r2010.dxf"}) {
        SCOPED_TRACE(name);
        auto db = readFixture(name);
        std::string out;
        ASSERT_EQ(runChecker("geometry", fixture(name), out), 0) << out;
        std::istringstream lines(out);
        std::string line;
        int checked[4] = {0, 0, 0, 0};
        while (std::getline(lines, line)) {
            std::istringstream in(line);
            std::string kind, handle;
            in >> kind >> handle;
            ObjectIndex i = db->indexFromHandleText(handle);
            ASSERT_TRUE(i) << line;
            std::string what = std::string(db->object(i)->dxfName()) + " " + line;
            if (kind == "R") {
                int closed;
                double t0, t1, m0, m1;
                in >> closed >> t0 >> t1;
                bool myClosed;
                ASSERT_EQ(curveIsClosed(*db, i, myClosed), Status::Ok) << what;
                EXPECT_EQ(myClosed, closed != 0) << what;
                ASSERT_EQ(curveStartParam(*db, i, m0), Status::Ok) << what;
                ASSERT_EQ(curveEndParam(*db, i, m1), Status::Ok) << what;
                EXPECT_NEAR(m0, t0, 1e-9) << what;
                EXPECT_NEAR(m1, t1, 1e-9) << what;
                ++checked[0];
            } else if (kind == "P") {
                double t;
                Point3d p, mine;
                in >> t >> p.x >> p.y >> p.z;
                ASSERT_EQ(curvePointAtParam(*db, i, t, mine), Status::Ok) << what;
                expectPoint(mine, p, 1e-6, what);
                ++checked[1];
            } else if (kind == "E") {
                Point3d lo, hi;
                in >> lo.x >> lo.y >> lo.z >> hi.x >> hi.y >> hi.z;
                Extents3d box = extentsWithoutAttributes(*db, i);
                ASSERT_FALSE(box.isEmpty()) << what;
                expectPoint(box.min, lo, 1e-6, what);
                expectPoint(box.max, hi, 1e-6, what);
                ++checked[2];
            } else if (kind == "M") {
                auto* ref = db->get<BlockReference>(i);
                ASSERT_TRUE(ref) << what;
                Matrix3d m = blockTransform(*db, *ref);
                // ezdxf's matrix maps block coordinates including the base point offset
                for (int r = 0; r < 3; ++r)
                    for (int c = 0; c < 4; ++c) {
                        double v;
                        in >> v;
                        EXPECT_NEAR(m.m[r][c], v, 1e-9) << what << " [" << r << "][" << c << "]";
                    }
                ++checked[3];
            }
        }
        bool onlyReferences = std::string(name) == "nested_r2010.dxf";
        EXPECT_EQ(checked[0] > 0, !onlyReferences);
        EXPECT_EQ(checked[1] > 0, !onlyReferences);
        EXPECT_GT(checked[2], 0);
        EXPECT_EQ(checked[3] > 0, std::string(name) != "mirrored_r2000.dxf");
    }
}

TEST(DrawingGeometry, ParameterConventions) {
    Database db;
    auto add = [&](std::unique_ptr<Entity> e) { return db.appendEntity(std::move(e)); };
    auto line = std::make_unique<Line>();
    line->start = {1, 1, 0};
    line->end = {4, 5, 0};
    ObjectIndex li = add(std::move(line));
    auto arc = std::make_unique<Arc>();
    arc->center = {10, 0, 0};
    arc->radius = 2;
    arc->startAngle = 3 * kPi / 2;  // crosses 0
    arc->endAngle = kPi / 2;
    ObjectIndex ai = add(std::move(arc));
    auto mirrored = std::make_unique<Arc>();
    mirrored->center = {10, 0, 0};
    mirrored->radius = 2;
    mirrored->startAngle = 0;
    mirrored->endAngle = kPi / 2;
    mirrored->extrusion = {0, 0, -1};
    ObjectIndex mi = add(std::move(mirrored));
    auto pl = std::make_unique<LwPolyline>();
    pl->vertices = {{0, 0, 0, 0, 1}, {2, 0, 0, 0, 0}, {2, 2, 0, 0, 0}};
    ObjectIndex pi = add(std::move(pl));
    struct Case {
        ObjectIndex id;
        double t0, t1, t;
        Point3d at;
    };
    const Case cases[] = {
        {li, 0, 5, 2.5, {2.5, 3, 0}},
        {ai, 3 * kPi / 2, 5 * kPi / 2, 2 * kPi, {12, 0, 0}},
        // OCS with extrusion 0,0,-1 mirrors x: the arc runs clockwise in the WCS
        {mi, 0, kPi / 2, kPi / 2, {-10, 2, 0}},
        // half-circle bulge from (0,0) to (2,0): its middle lies below the chord
        {pi, 0, 2, 0.5, {1, -1, 0}},
        {pi, 0, 2, 1.5, {2, 1, 0}},
    };
    for (const Case& c : cases) {
        double t0, t1;
        Point3d p;
        ASSERT_EQ(curveStartParam(db, c.id, t0), Status::Ok);
        ASSERT_EQ(curveEndParam(db, c.id, t1), Status::Ok);
        EXPECT_NEAR(t0, c.t0, 1e-12);
        EXPECT_NEAR(t1, c.t1, 1e-12);
        ASSERT_EQ(curvePointAtParam(db, c.id, c.t, p), Status::Ok);
        expectPoint(p, c.at, 1e-12, std::to_string(c.t));
        EXPECT_EQ(curvePointAtParam(db, c.id, c.t1 + 1, p), Status::InvalidInput);
    }
    // not a curve
    auto text = std::make_unique<Text>();
    text->text = "x";
    ObjectIndex ti = add(std::move(text));
    double t;
    EXPECT_EQ(curveStartParam(db, ti, t), Status::WrongType);
    bool closed;
    EXPECT_EQ(curveIsClosed(db, ti, closed), Status::WrongType);
}

TEST(DrawingGeometry, TextExtentsFollowHeightWidthAndRotation) {
    Database db;
    auto t = std::make_unique<Text>();
    t->text = "ABCD";
    t->height = 2;
    t->widthFactor = 0.5;
    t->position = {10, 20, 0};
    t->rotation = kPi / 2;
    ObjectIndex ti = db.appendEntity(std::move(t));
    Extents3d box;
    ASSERT_EQ(entityExtents(db, ti, box), Status::Ok);
    // 4 characters x height 2 x width factor 0.5 = 4 long, turned upright
    expectPoint(box.min, {8, 20, 0}, 1e-12, "min");
    expectPoint(box.max, {10, 24, 0}, 1e-12, "max");
    auto m = std::make_unique<MText>();
    m->text = "one\\Ptwo";
    m->height = 3;
    m->width = 40;
    m->attachment = 7;  // bottom left
    m->position = {0, 0, 0};
    ObjectIndex mi = db.appendEntity(std::move(m));
    ASSERT_EQ(entityExtents(db, mi, box), Status::Ok);
    expectPoint(box.min, {0, 0, 0}, 1e-12, "mtext min");
    EXPECT_NEAR(box.max.x, 40, 1e-12);
    EXPECT_NEAR(box.max.y, 3 + 5, 1e-12);  // two lines, spacing 5/3 of the height
    auto empty = std::make_unique<Text>();
    ObjectIndex ei = db.appendEntity(std::move(empty));
    EXPECT_EQ(entityExtents(db, ei, box), Status::NotFound);
}

TEST(DrawingGeometry, BlockTransformMapsBlockSpace) {
    Database db;
    ObjectIndex blk;
    ASSERT_EQ(db.addBlock("B", &blk), Status::Ok);
    db.get<BlockRecord>(blk)->base = {1, 1, 0};
    auto line = std::make_unique<Line>();
    line->start = {1, 1, 0};
    line->end = {3, 1, 0};
    db.appendEntity(std::move(line), blk);
    auto ref = std::make_unique<BlockReference>();
    ref->block = blk;
    ref->position = {10, 0, 0};
    ref->scaleX = -1;  // mirrored
    ref->rotation = kPi / 2;
    ObjectIndex ri = db.appendEntity(std::move(ref));
    Matrix3d m = blockTransform(db, *db.get<BlockReference>(ri));
    expectPoint(m.transform(Point3d{1, 1, 0}), {10, 0, 0}, 1e-12, "base");
    // (3,1) is 2 along x from the base: mirrored to -2, then turned a quarter: (0,-2)
    expectPoint(m.transform(Point3d{3, 1, 0}), {10, -2, 0}, 1e-12, "end");
    Extents3d box;
    ASSERT_EQ(entityExtents(db, ri, box), Status::Ok);
    expectPoint(box.min, {10, -2, 0}, 1e-12, "min");
    expectPoint(box.max, {10, 0, 0}, 1e-12, "max");
    // extrusion 0,0,-1 on the reference mirrors the insertion point's x
    db.get<BlockReference>(ri)->extrusion = {0, 0, -1};
    m = blockTransform(db, *db.get<BlockReference>(ri));
    expectPoint(m.transform(Point3d{1, 1, 0}), {-10, 0, 0}, 1e-12, "ocs base");
    // a block that contains a reference to itself ends at the depth limit
    auto self = std::make_unique<BlockReference>();
    self->block = blk;
    db.appendEntity(std::move(self), blk);
    EXPECT_EQ(entityExtents(db, ri, box), Status::Ok);
    // database extents cover model space
    Extents3d all = db.extents();
    EXPECT_FALSE(all.isEmpty());
}

TEST(DrawingGeometry, ExplodingNestingIsCutOff) {
    // ten levels of ten references each would be 10^10 entities to visit
    Database db;
    ObjectIndex inner;
    ASSERT_EQ(db.addBlock("L0", &inner), Status::Ok);
    auto line = std::make_unique<Line>();
    line->end = {1, 1, 0};
    db.appendEntity(std::move(line), inner);
    for (int level = 1; level <= 10; ++level) {
        ObjectIndex outer;
        ASSERT_EQ(db.addBlock("L" + std::to_string(level), &outer), Status::Ok);
        for (int k = 0; k < 10; ++k) {
            auto r = std::make_unique<BlockReference>();
            r->block = inner;
            r->position = {double(k), 0, 0};
            db.appendEntity(std::move(r), outer);
        }
        inner = outer;
    }
    auto top = std::make_unique<BlockReference>();
    top->block = inner;
    ObjectIndex ti = db.appendEntity(std::move(top));
    Extents3d box;
    EXPECT_EQ(entityExtents(db, ti, box), Status::Ok);
    EXPECT_GE(box.max.x, 1);
}

// Flattened curves: corners on the curve, vertices and ends exact, chords within the error;
// a spline saved with fit points only runs through them.
TEST(DrawingGeometry, CurvePointsStayWithinTheChordError) {
    Database db;
    auto add = [&](std::unique_ptr<Entity> e) { return db.appendEntity(std::move(e)); };
    auto circle = std::make_unique<Circle>();
    circle->center = {5, 5, 0};
    circle->radius = 40;
    const ObjectIndex ci = add(std::move(circle));
    auto pl = std::make_unique<LwPolyline>();
    // a square with one side bulged to a half circle of radius 10 around (10, 0)
    pl->vertices = {{0, 0, 0, 0, 1}, {20, 0, 0, 0, 0}, {20, 20, 0, 0, 0}, {0, 20, 0, 0, 0}};
    pl->flags = 1;
    const ObjectIndex pi = add(std::move(pl));
    auto spline = std::make_unique<Spline>();
    spline->degree = 3;
    spline->fitPoints = {{0, 0, 0}, {10, 5, 0}, {20, 0, 0}, {30, 8, 0}};
    const ObjectIndex si = add(std::move(spline));
    const double error = 0.01;
    auto distanceToChain = [](const std::vector<Point3d>& chain, const Point3d& p) {
        double best = 1e300;
        for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
            const Point3d& a = chain[i];
            const Point3d& b = chain[i + 1];
            const double dx = b.x - a.x, dy = b.y - a.y, l = dx * dx + dy * dy;
            double t = l > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l : 0;
            t = std::fmin(1, std::fmax(0, t));
            best = std::fmin(best, std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy));
        }
        return best;
    };

    std::vector<Point3d> points;
    bool closed = false;
    ASSERT_EQ(curvePoints(db, ci, error, points, closed), Status::Ok);
    EXPECT_TRUE(closed);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point3d& a = points[i];
        const Point3d& b = points[(i + 1) % points.size()];
        EXPECT_NEAR(std::hypot(a.x - 5, a.y - 5), 40, 1e-9);
        const double middle = std::hypot((a.x + b.x) / 2 - 5, (a.y + b.y) / 2 - 5);
        EXPECT_LE(40 - middle, error + 1e-12);
    }

    ASSERT_EQ(curvePoints(db, pi, error, points, closed), Status::Ok);
    EXPECT_TRUE(closed);
    EXPECT_EQ(points.front().x, 0);
    EXPECT_EQ(points.front().y, 0);
    for (const Point3d& corner : {Point3d{20, 0, 0}, Point3d{20, 20, 0}, Point3d{0, 20, 0}})
        EXPECT_NE(
            std::find_if(points.begin(), points.end(),
                         [&](const Point3d& p) { return p.x == corner.x && p.y == corner.y; }),
            points.end());
    for (const Point3d& p : points)
        if (p.y < -1e-9) EXPECT_NEAR(std::hypot(p.x - 10, p.y), 10, 1e-9);

    ASSERT_EQ(curvePoints(db, si, error, points, closed), Status::Ok);
    EXPECT_FALSE(closed);
    expectPoint(points.front(), {0, 0, 0}, 1e-9, "spline start");
    expectPoint(points.back(), {30, 8, 0}, 1e-9, "spline end");
    for (const Point3d& fit : {Point3d{10, 5, 0}, Point3d{20, 0, 0}})
        EXPECT_LE(distanceToChain(points, fit), error);

    EXPECT_EQ(curvePoints(db, ci, 0.0, points, closed), Status::InvalidInput);
}
