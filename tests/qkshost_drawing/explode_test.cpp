// Exploding block references: the copies cover what the reference covered, for every kind of
// entity a block holds, through turns, scales and mirrors; the result reads back clean.
#include "qkshost/drawing/annotation.h"
#include "qkshost/drawing/creation.h"
#include "qkshost/drawing/geometry.h"
#include "qkshost/drawing/transform.h"
#include "qkshost/dxf/testing.h"

using namespace qkshost::drawing;
using namespace qkshost::dxf;
using namespace qkshost::dxf::testing;

namespace {

constexpr double kPi = 3.14159265358979323846;

template <class T>
T& append(Database& db, ObjectIndex block, std::unique_ptr<T> e) {
    T& placed = *e;
    db.appendEntity(std::move(e), block);
    return placed;
}

// Blocks holding one entity each, of every kind explode places, on layer "0" unless named.
std::vector<ObjectIndex> everyKind(Database& db) {
    std::vector<ObjectIndex> blocks;
    const auto next = [&] {
        blocks.push_back(db.addAnonymousBlock("*U"));
        db.get<BlockRecord>(blocks.back())->base = {5, 5, 0};
        return blocks.back();
    };
    ObjectIndex tag = 0;
    db.addBlock("TAG", &tag);
    auto definition = std::make_unique<AttributeDefinition>();
    definition->tag = "NO";
    definition->text = "12";
    append(db, tag, std::move(definition));

    auto arc = std::make_unique<Arc>();
    arc->center = {30, 10, 0};
    arc->radius = 8;
    arc->startAngle = 0.3;
    arc->endAngle = 2.0;
    append(db, next(), std::move(arc)).layer = ensureLayer(db, "CUT", 1);
    auto ellipse = std::make_unique<Ellipse>();
    ellipse->center = {60, 10, 0};
    ellipse->majorAxis = {10, 4, 0};
    ellipse->ratio = 0.4;
    ellipse->startParam = 0.5;
    ellipse->endParam = 4.0;
    append(db, next(), std::move(ellipse));
    const ObjectIndex lw = addLwPolyline(db, next(), {{0, 30, 0}, {20, 30, 0}, {20, 50, 0}}, false);
    db.get<LwPolyline>(lw)->vertices[0].bulge = 0.6;
    auto polyline = std::make_unique<Polyline>();
    const ObjectIndex owner = db.appendEntity(std::move(polyline), next());
    for (const Point3d& p : {Point3d{30, 30, 0}, Point3d{45, 35, 0}, Point3d{40, 50, 0}}) {
        auto v = std::make_unique<Vertex>();
        v->position = p;
        v->bulge = -0.3;
        v->owner = owner;
        db.get<Polyline>(owner)->vertices.push_back(db.add(std::move(v)));
    }
    auto end = std::make_unique<SeqEnd>();
    end->owner = owner;
    db.get<Polyline>(owner)->seqEnd = db.add(std::move(end));
    auto spline = std::make_unique<Spline>();
    spline->controlPoints = {{50, 30, 0}, {60, 50, 0}, {70, 25, 0}, {80, 45, 0}};
    spline->knots = {0, 0, 0, 0, 1, 1, 1, 1};
    append(db, next(), std::move(spline));
    addText(db, next(), {0, -10, 0}, 3, "SIDE A", 0.4);
    addMText(db, next(), {40, -10, 0}, "板 B\\P2 mm", 3, 0, 1);
    auto solid = std::make_unique<Solid>();
    solid->corners[0] = {90, 0, 0};
    solid->corners[1] = {100, 0, 0};
    solid->corners[2] = {90, 8, 0};
    solid->corners[3] = {100, 12, 0};
    append(db, next(), std::move(solid));
    auto hatch = std::make_unique<Hatch>();
    hatch->patternName = "ANSI31";
    hatch->patternLines.push_back({45, {0, 0, 0}, {-2, 2, 0}, {}});
    HatchLoop square;
    square.flags = 3;
    square.hasBulge = true;
    square.vertices = {{90, 30, 0.5}, {110, 30, 0}, {110, 50, 0}, {90, 50, 0}};
    HatchLoop edges;
    edges.flags = 1;
    HatchEdge line, round, oval;
    line.type = HatchEdge::Type::Line;
    line.start = {120, 30, 0};
    line.end = {140, 30, 0};
    round.type = HatchEdge::Type::CircularArc;
    round.centre = {130, 30, 0};
    round.radius = 10;
    round.startAngle = 0;
    round.endAngle = 180;
    HatchEdge clockwise = round;
    clockwise.centre = {130, 40, 0};
    clockwise.counterClockwise = false;
    clockwise.startAngle = 200;  // complements: from -200° clockwise to -340°
    clockwise.endAngle = 340;
    oval.type = HatchEdge::Type::EllipticArc;
    oval.centre = {150, 30, 0};
    oval.majorAxis = {6, 2, 0};
    oval.radius = 0.5;
    oval.startAngle = 30;
    oval.endAngle = 250;
    edges.edges = {line, round, clockwise, oval};
    hatch->loops = {square, edges};
    append(db, next(), std::move(hatch));
    addBlockReference(db, next(), tag, {70, -20, 0}, 1, 1, 1, 0.5);
    DimensionRequest dimension;
    dimension.first = {0, 60, 0};
    dimension.second = {40, 70, 0};
    dimension.line = {0, 80, 0};
    dimension.text = "%%c<>";
    addDimension(db, next(), dimension);
    auto definition2 = std::make_unique<AttributeDefinition>();
    definition2->tag = "C";
    definition2->text = "FIXED";
    definition2->position = {0, -20, 0};
    append(db, next(), std::move(definition2));
    return blocks;
}

TEST(Explode, CopiesCoverWhatTheReferenceCovered) {
    Database db;
    const ObjectIndex layer = ensureLayer(db, "REF", 3);
    struct Case {
        Point3d at;
        double rotation;
        double sx, sy, sz;
    };
    const Case cases[] = {{{0, 0, 0}, 0, 1, 1, 1},
                          {{300, 200, 0}, kPi / 5, 2, 2, 2},
                          {{-100, 50, 0}, 0, -1, 1, 1},
                          {{100, -200, 0}, 2.5, 1.5, -1.5, 1.5},
                          {{0, 400, 0}, 1.0, -1, -1, -1}};
    for (const ObjectIndex block : everyKind(db)) {
        const std::string kind = db.object(db.get<BlockRecord>(block)->entities.front())->dxfName();
        for (const Case& c : cases) {
            const ObjectIndex ref =
                addBlockReference(db, 0, block, c.at, c.sx, c.sy, c.sz, c.rotation);
            db.get<BlockReference>(ref)->layer = layer;
            Extents3d want, got;
            ASSERT_EQ(entityExtents(db, ref, want), Status::Ok) << kind;
            std::vector<ObjectIndex> created;
            ASSERT_EQ(explodeReference(db, ref, &created), Status::Ok) << kind;
            EXPECT_TRUE(db.object(ref)->erased);
            // One copy, or for a definition its attribute as a text.
            ASSERT_EQ(created.size(), 1u) << kind;
            const auto& copy = *static_cast<const Entity*>(db.object(created[0]));
            EXPECT_NE(copy.layer, db.layer0()) << kind;
            ASSERT_EQ(entityExtents(db, created[0], got), Status::Ok) << kind;
            for (const auto& [a, b] :
                 {std::pair{want.min, got.min}, std::pair{want.max, got.max}}) {
                EXPECT_NEAR(a.x, b.x, 1e-6) << kind << " " << c.rotation << " " << c.sx;
                EXPECT_NEAR(a.y, b.y, 1e-6) << kind << " " << c.rotation << " " << c.sx;
            }
        }
    }
    const ObjectIndex uneven = addBlockReference(db, 0, db.findBlock("TAG"), {}, 1, 2, 1);
    const std::size_t before = db.get<BlockRecord>(db.modelSpace())->entities.size();
    EXPECT_EQ(explodeReference(db, uneven), Status::NotApplicable);
    EXPECT_EQ(db.get<BlockRecord>(db.modelSpace())->entities.size(), before);
    EXPECT_EQ(explodeReference(db, layer), Status::WrongType);

    TempDir dir;
    const std::string path = dir.file("exploded.dxf");
    ASSERT_EQ(saveDxf(db, path), Status::Ok);
    if (!haveEzdxf()) return;
    std::string out;
    EXPECT_EQ(runChecker("audit", path, out), 0) << out;
    EXPECT_EQ(out, "OK\n");
}

}  // namespace
