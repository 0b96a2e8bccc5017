// The drawing tools' operations on drawings built in the test with the real host, in-process.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "qks/bom/sheet_metal.h"
#include "qks/drawing/extraction.h"
#include "qks/tools/operations.h"
#include "qks/tools/tools.h"
#include "qkshost/app/host_application.h"

namespace qks::tools {
namespace {

constexpr double kPi = 3.14159265358979323846;

class ToolsTest : public ::testing::Test {
  public:  // the table cases draw through the fixture
    ToolsTest() : ds_(*app_.drawingServices()) {}
    ~ToolsTest() override {
        for (const host::DatabaseId db : databases_)
            ds_.deleteDatabase(db);
    }
    host::DatabaseId newDrawing() {
        databases_.push_back(ds_.createDatabase(true));
        return databases_.back();
    }
    host::ObjectId space(host::DatabaseId db) { return ds_.modelSpace(db); }
    void line(host::DatabaseId db, double ax, double ay, double bx, double by,
              const char* layer = "0") {
        ds_.addLayer(db, layer, 7, nullptr);
        ASSERT_EQ(ds_.addLine(space(db), {ax, ay, 0}, {bx, by, 0}, layer, nullptr),
                  host::Status::Ok);
    }
    // Entities of model space by DXF name, e.g. {"LINE", 2}.
    std::map<std::string, int> census(host::DatabaseId db) {
        std::map<std::string, int> out;
        for (const host::ObjectId entity : ds_.blockEntities(space(db))) {
            host::EntityInfo info;
            if (host::succeeded(ds_.entityInfo(entity, info))) ++out[info.dxfName];
        }
        return out;
    }
    host::LwPolylineInfo onlyPolyline(host::DatabaseId db) {
        host::LwPolylineInfo info;
        for (const host::ObjectId entity : ds_.blockEntities(space(db)))
            if (host::succeeded(ds_.lwPolyline(entity, info))) break;
        return info;
    }

    qkshost::HostApplication app_;
    host::DrawingServices& ds_;
    std::vector<host::DatabaseId> databases_;
};

double polylineArea(const host::LwPolylineInfo& p) {
    // Shoelace plus each bulged segment's circular segment.
    double area = 0;
    const std::size_t n = p.vertices.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto& a = p.vertices[i];
        const auto& b = p.vertices[(i + 1) % n];
        area += (a.x * b.y - b.x * a.y) / 2;
        const double bulge = i < p.bulges.size() ? p.bulges[i] : 0;
        if (bulge == 0) continue;
        const double chord = std::hypot(b.x - a.x, b.y - a.y);
        const double sweep = 4 * std::atan(bulge);
        const double r = chord / (2 * std::sin(std::fabs(sweep) / 2));
        area += (sweep > 0 ? 1 : -1) * r * r * (std::fabs(sweep) - std::sin(std::fabs(sweep))) / 2;
    }
    return std::fabs(area);
}

TEST_F(ToolsTest, CleanUpTable) {
    struct Case {
        const char* name;
        std::function<void(ToolsTest&, host::DatabaseId)> draw;
        double shortLength;
        CleanCounts expected;
        std::map<std::string, int> left;
    } cases[] = {
        {"doubled and reversed",
         [](ToolsTest& t, host::DatabaseId db) {
             t.line(db, 0, 0, 10, 0);
             t.line(db, 10, 0, 0, 0);
         },
         0,
         {0, 0, 0, 0, 1, 0, 0, 0},
         {{"LINE", 1}}},
        {"overlapping run",
         [](ToolsTest& t, host::DatabaseId db) {
             t.line(db, 0, 5, 10, 5);
             t.line(db, 6, 5, 15, 5);
             t.line(db, 14, 5, 20, 5);
         },
         0,
         {0, 0, 0, 0, 0, 2, 0, 0},
         {{"LINE", 1}}},
        {"covered, and another layer's copy kept",
         [](ToolsTest& t, host::DatabaseId db) {
             t.line(db, 0, 0, 10, 0);
             t.line(db, 2, 0, 5, 0);
             t.line(db, 0, 0, 10, 0, "other");
         },
         0,
         {0, 0, 0, 0, 0, 1, 0, 0},
         {{"LINE", 2}}},
        {"zero-length and short",
         [](ToolsTest& t, host::DatabaseId db) {
             t.line(db, 3, 3, 3, 3);
             t.line(db, 0, 0, 0.3, 0);
             t.line(db, 0, 10, 50, 10);
         },
         0.5,
         {0, 0, 1, 1, 0, 0, 0, 0},
         {{"LINE", 1}}},
        {"loose rectangle closes",
         [](ToolsTest& t, host::DatabaseId db) {
             t.line(db, 0, 0, 100, 0);
             t.line(db, 100, 0.2, 100, 50);  // a gap within the tolerance
             t.line(db, 0, 50, 100, 50);
             t.line(db, 0, 50, 0, 0);
         },
         0,
         {0, 0, 0, 0, 0, 0, 1, 4},
         {{"LWPOLYLINE", 1}}},
        {"line, arc, line",
         [](ToolsTest& t, host::DatabaseId db) {
             t.line(db, 0, 0, 10, 0);
             t.ds_.addArc(t.space(db), {10, 5, 0}, 5, -kPi / 2, kPi / 2, "0", nullptr);
             t.line(db, 10, 10, 0, 10);
         },
         0,
         {0, 0, 0, 0, 0, 0, 1, 3},
         {{"LWPOLYLINE", 1}}},
        {"a junction of three stays",
         [](ToolsTest& t, host::DatabaseId db) {
             t.line(db, 0, 0, 10, 0);
             t.line(db, 10, 0, 20, 0.5);
             t.line(db, 10, 0, 10, 10);
         },
         0,
         {0, 0, 0, 0, 0, 0, 0, 0},
         {{"LINE", 3}}},
        {"circles once",
         [](ToolsTest& t, host::DatabaseId db) {
             for (int i = 0; i < 3; ++i)
                 t.ds_.addCircle(t.space(db), {5, 5, 0}, 2, "0", nullptr);
             t.ds_.addCircle(t.space(db), {5, 5, 0}, 3, "0", nullptr);
         },
         0,
         {0, 0, 0, 0, 2, 0, 0, 0},
         {{"CIRCLE", 2}}},
    };
    for (const Case& c : cases) {
        const host::DatabaseId db = newDrawing();
        c.draw(*this, db);
        CleanOptions options;
        options.shortLength = c.shortLength;
        const CleanCounts got = cleanDrawing(ds_, space(db), options);
        const CleanCounts& want = c.expected;
        EXPECT_EQ(got.zeroLength, want.zeroLength) << c.name;
        EXPECT_EQ(got.shortLines, want.shortLines) << c.name;
        EXPECT_EQ(got.duplicates, want.duplicates) << c.name;
        EXPECT_EQ(got.overlapsMerged, want.overlapsMerged) << c.name;
        EXPECT_EQ(got.chains, want.chains) << c.name;
        EXPECT_EQ(got.chainPieces, want.chainPieces) << c.name;
        EXPECT_EQ(census(db), c.left) << c.name;
    }
}

TEST_F(ToolsTest, JoinedChainsKeepTheirGeometry) {
    // The line-arc-line chain: a 10 × 10 slot end; its area is the rectangle plus a half disc.
    const host::DatabaseId db = newDrawing();
    line(db, 0, 0, 10, 0);
    ds_.addArc(space(db), {10, 5, 0}, 5, -kPi / 2, kPi / 2, "0", nullptr);
    line(db, 10, 10, 0, 10);
    line(db, 0, 10, 0, 0);
    cleanDrawing(ds_, space(db), {});
    const host::LwPolylineInfo p = onlyPolyline(db);
    EXPECT_TRUE(p.closed);
    EXPECT_NEAR(polylineArea(p), 100 + kPi * 25 / 2, 1e-9);
}

// What parts measure comes from their true curves, not from the nest's outline grown by the
// chord error: the area table and the BOM agree with the exact figures to 0.01 mm and mm².
TEST_F(ToolsTest, TrueFiguresTable) {
    const double r4 = std::tan(kPi / 8);  // the bulge of a quarter turn
    struct Case {
        const char* name;
        std::function<void(ToolsTest&, host::DatabaseId)> draw;
        double area, perimeter, width, height;
    } cases[] = {
        {"plate 200 x 100, four holes Ø10",
         [](ToolsTest& t, host::DatabaseId db) {
             t.ds_.addLwPolyline(t.space(db), {{0, 0, 0}, {200, 0, 0}, {200, 100, 0}, {0, 100, 0}},
                                 true, "0", nullptr);
             for (const auto& [x, y] : {std::pair{20, 20}, {180, 20}, {20, 80}, {180, 80}})
                 t.ds_.addCircle(t.space(db), {double(x), double(y), 0}, 5, "0", nullptr);
         },
         20000 - 4 * kPi * 25, 600 + 4 * kPi * 10, 200, 100},
        // Off the origin and off the noding grid.
        {"flange Ø120, six holes Ø12 on Ø90",
         [](ToolsTest& t, host::DatabaseId db) {
             const double cx = 1234.5678, cy = -876.54321;
             t.ds_.addCircle(t.space(db), {cx, cy, 0}, 60, "0", nullptr);
             for (int k = 0; k < 6; ++k)
                 t.ds_.addCircle(
                     t.space(db),
                     {cx + 45 * std::cos(k * kPi / 3), cy + 45 * std::sin(k * kPi / 3), 0}, 6, "0",
                     nullptr);
         },
         kPi * (3600 - 6 * 36), kPi * (120 + 6 * 12), 120, 120},
        {"plate 100 x 60, bulged corners R10",
         [r4](ToolsTest& t, host::DatabaseId db) {
             t.ds_.addBulgedPolyline(t.space(db),
                                     {{10, 0, 0},
                                      {90, 0, 0},
                                      {100, 10, 0},
                                      {100, 50, 0},
                                      {90, 60, 0},
                                      {10, 60, 0},
                                      {0, 50, 0},
                                      {0, 10, 0}},
                                     {0, r4, 0, r4, 0, r4, 0, r4}, true, "0", nullptr);
         },
         6000 - (4 - kPi) * 100, 240 + 20 * kPi, 100, 60},
        {"blank 220 x 40 of lines, a slot of lines and arcs",
         [](ToolsTest& t, host::DatabaseId db) {
             t.line(db, 0, 0, 220, 0);
             t.line(db, 220, 0, 220, 40);
             t.line(db, 220, 40, 0, 40);
             t.line(db, 0, 40, 0, 0);
             t.line(db, 50, 15, 170, 15);
             t.line(db, 170, 25, 50, 25);
             t.ds_.addArc(t.space(db), {170, 20, 0}, 5, -kPi / 2, kPi / 2, "0", nullptr);
             t.ds_.addArc(t.space(db), {50, 20, 0}, 5, kPi / 2, 3 * kPi / 2, "0", nullptr);
         },
         8800 - 1200 - 25 * kPi, 520 + 240 + 10 * kPi, 220, 40},
    };
    for (const Case& c : cases) {
        const host::DatabaseId db = newDrawing();
        ds_.setDrawingUnits(db, 4);
        c.draw(*this, db);
        const std::vector<PartMeasure> measured =
            measureParts(ds_, db, "t", 0.6, LogChannel::Tools);
        ASSERT_EQ(measured.size(), 1u) << c.name;
        const PartMeasure& m = measured[0];
        EXPECT_NEAR(m.area, c.area, 0.01) << c.name;
        EXPECT_NEAR(m.perimeter, c.perimeter, 0.01) << c.name;
        EXPECT_NEAR(m.maxX - m.minX, c.width, 0.01) << c.name;
        EXPECT_NEAR(m.maxY - m.minY, c.height, 0.01) << c.name;
        // The BOM's rows, from the same extraction its job runs.
        qks::drawing::ExtractionOptions options;
        options.fineFreeForm = true;
        std::vector<contract::PartRecord> parts;
        std::int32_t nextId = 1;
        qks::drawing::extractModelSpace(ds_, db, "t", "t", options, parts, nextId);
        ASSERT_EQ(parts.size(), 1u) << c.name;
        const bom::PartFigures figures = bom::measurePart(parts[0]);
        EXPECT_NEAR(figures.netArea, c.area, 0.01) << c.name;
        EXPECT_NEAR(figures.cutLength, c.perimeter, 0.01) << c.name;
        EXPECT_NEAR(figures.blank.length, c.width, 0.01) << c.name;
        EXPECT_NEAR(figures.blank.width, c.height, 0.01) << c.name;
    }
}

TEST_F(ToolsTest, CornersTable) {
    struct Case {
        const char* name;
        double radius, chamfer;
        int rounded, left, vertices;
        double area;
    } cases[] = {
        {"fillet 5", 5, 0, 4, 0, 8, 5000 - (4 - kPi) * 25},
        {"fillet 30: the short sides hold one each", 30, 0, 2, 2, 6,
         5000 - 2 * (30 * 30 - kPi * 900 / 4)},
        {"chamfer 5", 0, 5, 4, 0, 8, 5000 - 4 * 12.5},
        {"nothing asked", 0, 0, 0, 0, 4, 5000},
    };
    for (const Case& c : cases) {
        const host::DatabaseId db = newDrawing();
        ds_.addLwPolyline(space(db), {{0, 0, 0}, {100, 0, 0}, {100, 50, 0}, {0, 50, 0}}, true, "0",
                          nullptr);
        // A hole: not an outline, left as it is.
        ds_.addLwPolyline(space(db), {{40, 20, 0}, {60, 20, 0}, {60, 30, 0}, {40, 30, 0}}, true,
                          "0", nullptr);
        const CornerCounts got = roundCorners(ds_, space(db), c.radius, c.chamfer);
        EXPECT_EQ(got.rounded, c.rounded) << c.name;
        EXPECT_EQ(got.leftAlone, c.left) << c.name;
        std::vector<host::LwPolylineInfo> polylines;
        for (const host::ObjectId entity : ds_.blockEntities(space(db))) {
            host::LwPolylineInfo p;
            if (host::succeeded(ds_.lwPolyline(entity, p))) polylines.push_back(p);
        }
        ASSERT_EQ(polylines.size(), 2u) << c.name;
        const host::LwPolylineInfo& part =
            polylineArea(polylines[0]) > polylineArea(polylines[1]) ? polylines[0] : polylines[1];
        EXPECT_EQ(static_cast<int>(part.vertices.size()), c.vertices) << c.name;
        EXPECT_NEAR(polylineArea(part), c.area, 1e-6) << c.name;
    }
}

TEST_F(ToolsTest, LayerRulesTable) {
    const host::DatabaseId db = newDrawing();
    ds_.addLayer(db, "A3图框", 7, nullptr);
    host::ObjectId center;
    ds_.addLinetype(db, "CENTER", "", {10, -2, 2, -2}, &center);
    host::ObjectId centreLine, outline, frame, label;
    ds_.addLine(space(db), {0, 0, 0}, {10, 0, 0}, "0", &centreLine);
    host::EntityProperties properties;
    ds_.entityProperties(centreLine, properties);
    properties.linetype = "CENTER";
    ds_.setEntityProperties(centreLine, properties);
    ds_.addCircle(space(db), {0, 0, 0}, 5, "0", &outline);
    ds_.addLwPolyline(space(db), {{0, 0, 0}, {420, 0, 0}, {420, 297, 0}, {0, 297, 0}}, true,
                      "A3图框", &frame);
    host::TextSpec text;
    text.contents = "注";
    ds_.addText(space(db), text, &label);
    const LayerCounts counts = applyLayerRules(ds_, db, space(db), contract::defaultLayerRules());
    EXPECT_EQ(counts.changed, 4);
    EXPECT_EQ(counts.layersCreated, 4);
    const struct {
        host::ObjectId entity;
        const char* layer;
        const char* linetype;
        int lineweight;
    } expected[] = {{centreLine, "中心线", "CENTER", 18},
                    {outline, "轮廓线", "ByLayer", 50},
                    {frame, "图框", "ByLayer", -1},
                    {label, "文字", "ByLayer", -1}};
    for (const auto& e : expected) {
        host::EntityProperties got;
        ASSERT_EQ(ds_.entityProperties(e.entity, got), host::Status::Ok);
        EXPECT_EQ(got.layer, e.layer);
        EXPECT_EQ(got.linetype, e.linetype) << e.layer;
        EXPECT_EQ(got.lineweight, e.lineweight) << e.layer;
    }
    // Matching by pattern: "*" and "?" over Chinese names, ASCII case ignored.
    EXPECT_TRUE(layerPatternMatches("*图框*", "A3图框"));
    EXPECT_TRUE(layerPatternMatches("a?图框", "A3图框"));
    EXPECT_TRUE(layerPatternMatches("?3*", "图3x"));
    EXPECT_FALSE(layerPatternMatches("*frame", "frames"));
}

TEST(ToolsConfigTest, OperationsOptionsAndRules) {
    const ToolsConfig config = parseToolsConfig(
        "op=clean, layers,bogus,area\nradius=3\nchamfer=-1\nrule=*,,,LINE,L1,1,,25\n"
        "rule=bad\nfile=/a.dxf\nout=x/y.xlsx\n");
    EXPECT_EQ(config.operations,
              (std::vector<Operation>{Operation::Clean, Operation::Layers, Operation::Area}));
    EXPECT_EQ(config.radius, 3.0);
    EXPECT_EQ(config.chamfer, 0.0);
    ASSERT_EQ(config.rules.size(), 1u);
    EXPECT_EQ(config.rules[0].newLayer, "L1");
    EXPECT_EQ(contract::formatLayerRule(config.rules[0]), "*,,,LINE,L1,1,,25");
    EXPECT_EQ(config.problems.size(), 4u);  // bogus, chamfer, the bad rule, the path
    EXPECT_EQ(config.workbook, contract::kDefaultToolsWorkbook);
}

}  // namespace
}  // namespace qks::tools
