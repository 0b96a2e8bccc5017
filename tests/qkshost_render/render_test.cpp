// The renderer against drawings written by ezdxf and drawings built here: what each entity
// becomes in the display list, how colours, layers and block references pass down, viewports,
// and every drawing of the reader's corpora rendered without a fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "hatch.h"
#include "linetype.h"
#include "mtext_runs.h"
#include "qkshost/drawing/database.h"
#include "qkshost/dxf/dxf.h"
#include "qkshost/pdf/text_metrics.h"
#include "qkshost/render/renderer.h"
#include "text_wrap.h"

namespace {

namespace drawing = qkshost::drawing;
namespace pdf = qkshost::pdf;
using qkshost::render::plainMTextContents;
using qkshost::render::renderLayout;

constexpr double kPi = 3.14159265358979323846;
const std::string kFixtures = std::string(QKS_SOURCE_DIR) + "/tests/fixtures/plot/";

std::unique_ptr<drawing::Database> readFixture(const std::string& path) {
    auto db = std::make_unique<drawing::Database>(false);
    const drawing::ReadResult r = qkshost::dxf::readDxfFile(*db, path);
    if (r.status != drawing::Status::Ok) return nullptr;
    return db;
}

drawing::ObjectIndex layoutNamed(const drawing::Database& db, const std::string& name) {
    return db.findLayout(name);
}

std::vector<const pdf::TextPrimitive*> texts(const pdf::DisplayList& list) {
    std::vector<const pdf::TextPrimitive*> out;
    for (const auto& item : list.items())
        if (auto* t = std::get_if<pdf::TextPrimitive>(&item.primitive)) out.push_back(t);
    return out;
}

bool hasText(const pdf::DisplayList& list, const std::string& text) {
    for (auto* t : texts(list))
        if (t->text == text) return true;
    return false;
}

template <class T>
std::vector<std::pair<pdf::Pen, T>> itemsOf(const pdf::DisplayList& list) {
    std::vector<std::pair<pdf::Pen, T>> out;
    for (const auto& item : list.items())
        if (auto* p = std::get_if<T>(&item.primitive)) out.push_back({item.pen, *p});
    return out;
}

bool near(double a, double b, double tolerance = 1e-6) {
    return std::fabs(a - b) <= tolerance;
}

TEST(Renderer, EveryEntityKindOfTheFixtureModelSpace) {
    auto db = readFixture(kFixtures + "entities.dxf");
    ASSERT_TRUE(db);
    const pdf::DisplayList list = renderLayout(*db, layoutNamed(*db, "Model"));

    const auto lines = itemsOf<pdf::LinePrimitive>(list);
    bool visibleLine = false;
    for (const auto& [pen, line] : lines) {
        EXPECT_FALSE(near(line.start.y, -20)) << "line on a layer that is off was drawn";
        if (near(line.start.x, 0) && near(line.start.y, 0) && near(line.end.x, 100)) {
            visibleLine = true;
            EXPECT_EQ(pen.colour, pdf::PlotColour::aci(1)) << "ByLayer colour of layer VISIBLE";
        }
    }
    EXPECT_TRUE(visibleLine);

    const auto circles = itemsOf<pdf::CirclePrimitive>(list);
    bool circle = false;
    for (const auto& [pen, c] : circles)
        circle = circle || (near(c.centre.x, 50) && near(c.centre.y, 50) && near(c.radius, 20));
    EXPECT_TRUE(circle);

    const auto arcs = itemsOf<pdf::ArcPrimitive>(list);
    bool arc = false;
    for (const auto& [pen, a] : arcs)
        arc = arc || (near(a.centre.x, 150) && near(a.radius, 20) && near(a.startAngle, 0) &&
                      near(a.endAngle, kPi / 2));
    EXPECT_TRUE(arc);

    const auto ellipses = itemsOf<pdf::EllipsePrimitive>(list);
    ASSERT_FALSE(ellipses.empty());
    EXPECT_TRUE(near(ellipses[0].second.majorAxis.x, 30) && near(ellipses[0].second.ratio, 0.5));

    bool widePolyline = false, spline = false;
    for (const auto& [pen, p] : itemsOf<pdf::PolylinePrimitive>(list)) {
        if (p.closed && p.vertices.size() == 3 && near(p.vertices[0].point.y, 200)) {
            widePolyline = near(p.vertices[0].bulge, 0.5) && near(p.vertices[0].startWidth, 1);
        }
        if (!p.closed && p.vertices.size() > 10 && near(p.vertices.front().point.x, 100, 1e-3) &&
            near(p.vertices.back().point.x, 160, 1e-3))
            spline = true;
    }
    EXPECT_TRUE(widePolyline);
    EXPECT_TRUE(spline);

    // The solid (one loop of four corners) and the solid hatch (a square and a half disc).
    const auto fills = itemsOf<pdf::FillPrimitive>(list);
    bool solid = false, hatch = false;
    for (const auto& [pen, f] : fills) {
        if (f.loops.size() == 1 && f.loops[0].size() == 4) solid = true;
        if (f.loops.size() == 2) {
            hatch = pen.colour == pdf::PlotColour::aci(5);
            double top = 0;
            for (const auto& v : f.loops[1])
                top = std::max(top, v.point.y);
            EXPECT_NEAR(top, 20, 0.1) << "the arc edge of the hatch is sampled around its centre";
        }
    }
    EXPECT_TRUE(solid);
    EXPECT_TRUE(hatch);

    for (const char* expected : {"直径\xC3\x98"
                                 "20 TEXTONE",
                                 "标题文字", "第二行 SECONDLINE", "NESTEDATTR", "TOPATTR"})
        EXPECT_TRUE(hasText(list, expected)) << expected;
    EXPECT_FALSE(hasText(list, "FROZENTEXT"));
    EXPECT_FALSE(hasText(list, "PARTNO")) << "attribute definitions inside blocks are templates";
    bool dimensionText = false;
    for (auto* t : texts(list))
        dimensionText = dimensionText || t->text.find("80") != std::string::npos;
    EXPECT_TRUE(dimensionText) << "the dimension is drawn through its block";
}

TEST(Renderer, PaperLayoutShowsModelSpaceThroughItsViewport) {
    auto db = readFixture(kFixtures + "entities.dxf");
    ASSERT_TRUE(db);
    const pdf::DisplayList list = renderLayout(*db, layoutNamed(*db, "Sheet"));
    int pushes = 0, pops = 0;
    for (const auto& item : list.items()) {
        if (auto* push = std::get_if<pdf::ClipPush>(&item.primitive)) {
            ++pushes;
            EXPECT_NEAR(push->rect.minX, 10, 1e-6);
            EXPECT_NEAR(push->rect.maxY, 283.5, 1e-6);
        }
        pops += std::holds_alternative<pdf::ClipPop>(item.primitive);
    }
    EXPECT_EQ(pushes, 1);
    EXPECT_EQ(pops, 1);
    // Model (50, 50) r 20 through a viewport 270 high showing 500 units around (250, 150).
    bool circle = false;
    for (const auto& [pen, c] : itemsOf<pdf::CirclePrimitive>(list))
        circle =
            circle || (near(c.centre.x, 102) && near(c.centre.y, 94.5) && near(c.radius, 10.8));
    EXPECT_TRUE(circle);
    EXPECT_TRUE(hasText(list, "SHEETNOTE"));
}

TEST(Renderer, LayersFrozenInAViewportAreHiddenThroughItOnly) {
    // two viewports on the same model space; the second freezes VP_HIDDEN and 细节, which
    // hold one circle each
    auto db =
        readFixture(std::string(QKS_SOURCE_DIR) + "/tests/fixtures/dxf/viewport_frozen_r2018.dxf");
    ASSERT_TRUE(db);
    const pdf::DisplayList list = renderLayout(*db, layoutNamed(*db, "Layout1"));
    std::vector<double> circleCentresX;
    for (const auto& [pen, c] : itemsOf<pdf::CirclePrimitive>(list))
        circleCentresX.push_back(c.centre.x);
    ASSERT_EQ(circleCentresX.size(), 2u) << "both circles through the first viewport only";
    for (double x : circleCentresX)
        EXPECT_LT(x, 210) << "a circle drawn through the viewport that freezes its layer";
    // the 200 x 100 outline on layer 0 shows through both, 200/120 times larger (the
    // viewports' own borders are 200 wide)
    int outlines = 0;
    for (const auto& [pen, p] : itemsOf<pdf::PolylinePrimitive>(list)) {
        if (p.vertices.size() != 4) continue;
        double minX = 1e300, maxX = -1e300;
        for (const auto& v : p.vertices) {
            minX = std::min(minX, v.point.x);
            maxX = std::max(maxX, v.point.x);
        }
        outlines += near(maxX - minX, 200.0 * 200 / 120, 1e-6);
    }
    EXPECT_EQ(outlines, 2);
}

// A database with layers L3 (colour 3, weight 0.35) and a block "B" holding one entity.
struct BlockFixture {
    drawing::Database db;
    drawing::ObjectIndex block = 0, layer = 0;
    BlockFixture() {
        db.addLayer("L3", 3, &layer);
        db.get<drawing::LayerRecord>(layer)->lineweight = 35;
        db.addBlock("B", &block);
    }
    drawing::BlockReference& insert(double sx = 1, double sy = 1, int colour = 256) {
        auto ref = std::make_unique<drawing::BlockReference>();
        ref->block = block;
        ref->scaleX = sx;
        ref->scaleY = sy;
        ref->color = std::int16_t(colour);
        ref->layer = layer;
        const drawing::ObjectIndex i = db.appendEntity(std::move(ref));
        return *db.get<drawing::BlockReference>(i);
    }
    pdf::DisplayList render() { return renderLayout(db, db.findLayout("Model")); }
};

TEST(Renderer, PropertiesPassDownThroughBlockReferences) {
    struct Case {
        const char* what;
        int entityColour;
        int entityWeight;
        std::int32_t trueColour;
        bool onLayer0;
        pdf::PlotColour colour;
        double weight;
    } cases[] = {
        {"ByBlock takes the reference's colour and weight", 0, -2, -1, true,
         pdf::PlotColour::aci(6), 0.35},
        {"ByLayer on layer 0 takes the reference's layer", 256, -1, -1, true,
         pdf::PlotColour::aci(3), 0.35},
        {"an own colour and weight stay", 4, 50, -1, true, pdf::PlotColour::aci(4), 0.5},
        {"true colour", 4, -3, 0x112233, false, pdf::PlotColour::trueColour(0x11, 0x22, 0x33),
         -1.0},
    };
    for (const auto& c : cases) {
        BlockFixture f;
        auto line = std::make_unique<drawing::Line>();
        line->end = {10, 0, 0};
        line->color = std::int16_t(c.entityColour);
        line->lineweight = std::int16_t(c.entityWeight);
        line->trueColor = c.trueColour;
        if (!c.onLayer0) line->layer = f.layer;
        f.db.appendEntity(std::move(line), f.block);
        f.insert(1, 1, c.entityColour == 0 ? 6 : 256);
        const auto lines = itemsOf<pdf::LinePrimitive>(f.render());
        ASSERT_EQ(lines.size(), 1u) << c.what;
        EXPECT_EQ(lines[0].first.colour, c.colour) << c.what;
        EXPECT_DOUBLE_EQ(lines[0].first.lineWeightMm, c.weight) << c.what;
    }
}

TEST(Renderer, LayersOffFrozenOrNotPlottedLeaveTheirEntitiesOut) {
    struct Case {
        const char* what;
        void (*change)(drawing::LayerRecord&);
        int expectedInBlock;  // lines drawn from the block (its line on layer 0)
    } cases[] = {
        {"on", [](drawing::LayerRecord&) {}, 1},
        {"off: the reference still shows its block", [](drawing::LayerRecord& l) { l.off = true; },
         0},
        {"frozen", [](drawing::LayerRecord& l) { l.setFrozen(true); }, 0},
        {"not plotted", [](drawing::LayerRecord& l) { l.plot = false; }, 0},
    };
    for (const auto& c : cases) {
        BlockFixture f;
        auto inBlock = std::make_unique<drawing::Line>();
        inBlock->end = {10, 0, 0};
        f.db.appendEntity(std::move(inBlock), f.block);  // layer 0: follows the reference
        auto own = std::make_unique<drawing::Line>();
        own->start = {0, 5, 0};
        own->end = {10, 5, 0};
        own->layer = f.db.layer0();
        own->color = 1;
        f.db.appendEntity(std::move(own), f.block);
        f.insert();
        c.change(*f.db.get<drawing::LayerRecord>(f.layer));
        const auto lines = itemsOf<pdf::LinePrimitive>(f.render());
        int fromLayer0 = 0;
        for (const auto& [pen, l] : lines)
            fromLayer0 += near(l.start.y, 0);
        EXPECT_EQ(fromLayer0, c.expectedInBlock) << c.what;
    }
}

TEST(Renderer, MirroredAndStretchedReferencesKeepCurvesExact) {
    {
        BlockFixture f;
        auto arc = std::make_unique<drawing::Arc>();
        arc->radius = 10;
        arc->startAngle = 0;
        arc->endAngle = kPi / 2;
        f.db.appendEntity(std::move(arc), f.block);
        f.insert(-1, 1);
        const auto arcs = itemsOf<pdf::ArcPrimitive>(f.render());
        ASSERT_EQ(arcs.size(), 1u);
        EXPECT_NEAR(std::fmod(arcs[0].second.startAngle + 4 * kPi, 2 * kPi), kPi / 2, 1e-9);
        EXPECT_NEAR(std::fmod(arcs[0].second.endAngle + 4 * kPi, 2 * kPi), kPi, 1e-9);
    }
    {
        BlockFixture f;
        auto circle = std::make_unique<drawing::Circle>();
        circle->radius = 10;
        f.db.appendEntity(std::move(circle), f.block);
        f.insert(2, 1);
        const auto ellipses = itemsOf<pdf::EllipsePrimitive>(f.render());
        ASSERT_EQ(ellipses.size(), 1u);
        EXPECT_NEAR(ellipses[0].second.majorAxis.x, 20, 1e-9);
        EXPECT_NEAR(ellipses[0].second.ratio, 0.5, 1e-9);
    }
}

TEST(Renderer, RecursiveAndDeepBlocksStop) {
    // A block that holds a reference to itself.
    {
        drawing::Database db;
        drawing::ObjectIndex loop = 0;
        db.addBlock("LOOP", &loop);
        auto line = std::make_unique<drawing::Line>();
        line->end = {1, 0, 0};
        db.appendEntity(std::move(line), loop);
        auto self = std::make_unique<drawing::BlockReference>();
        self->block = loop;
        db.appendEntity(std::move(self), loop);
        auto top = std::make_unique<drawing::BlockReference>();
        top->block = loop;
        db.appendEntity(std::move(top));
        EXPECT_EQ(itemsOf<pdf::LinePrimitive>(renderLayout(db, db.findLayout("Model"))).size(), 1u);
    }
    // A chain of 40 blocks, each with a line and a reference to the next.
    {
        drawing::Database db;
        std::vector<drawing::ObjectIndex> blocks(40);
        for (int i = 0; i < 40; ++i)
            db.addBlock("CHAIN" + std::to_string(i), &blocks[i]);
        for (int i = 0; i < 40; ++i) {
            auto line = std::make_unique<drawing::Line>();
            line->end = {1, 0, 0};
            db.appendEntity(std::move(line), blocks[i]);
            if (i + 1 < 40) {
                auto next = std::make_unique<drawing::BlockReference>();
                next->block = blocks[i + 1];
                db.appendEntity(std::move(next), blocks[i]);
            }
        }
        auto top = std::make_unique<drawing::BlockReference>();
        top->block = blocks[0];
        db.appendEntity(std::move(top));
        EXPECT_EQ(itemsOf<pdf::LinePrimitive>(renderLayout(db, db.findLayout("Model"))).size(),
                  std::size_t(qkshost::render::kMaxBlockDepth));
    }
}

TEST(Renderer, DegenerateValuesStayBounded) {
    drawing::Database db;
    auto arc = std::make_unique<drawing::Arc>();
    arc->radius = 5;
    arc->startAngle = 1e300;
    arc->endAngle = -1e300;
    db.appendEntity(std::move(arc));
    auto nan = std::make_unique<drawing::Circle>();
    nan->radius = std::nan("");
    db.appendEntity(std::move(nan));
    auto ellipse = std::make_unique<drawing::Ellipse>();
    ellipse->majorAxis = {10, 0, 0};
    ellipse->ratio = 0.5;
    ellipse->startParam = 1e30;
    ellipse->endParam = 1e30 + 1;
    db.appendEntity(std::move(ellipse));
    auto spline = std::make_unique<drawing::Spline>();
    spline->degree = 30;
    spline->controlPoints.assign(40, drawing::Point3d{1, 2, 0});
    spline->knots.assign(71, 0.0);
    db.appendEntity(std::move(spline));
    auto text = std::make_unique<drawing::Text>();
    text->text = "x";
    text->height = -1;
    db.appendEntity(std::move(text));
    // A 100 x 100 array of a block holding a 100 x 100 array of a block of 100 lines.
    drawing::ObjectIndex inner = 0, outer = 0;
    db.addBlock("INNER", &inner);
    db.addBlock("OUTER", &outer);
    // The lines sit on a frozen layer: they cost a visit each but add nothing to the list.
    drawing::ObjectIndex frozen = 0;
    db.addLayer("FROZEN", 1, &frozen);
    db.get<drawing::LayerRecord>(frozen)->setFrozen(true);
    for (int i = 0; i < 100; ++i) {
        auto line = std::make_unique<drawing::Line>();
        line->end = {1, 0, 0};
        line->layer = frozen;
        db.appendEntity(std::move(line), inner);
    }
    for (auto [block, owner] :
         {std::pair{inner, outer}, std::pair{outer, drawing::ObjectIndex(0)}}) {
        auto ref = std::make_unique<drawing::BlockReference>();
        ref->block = block;
        ref->columns = ref->rows = 100;
        ref->columnSpacing = ref->rowSpacing = 2;
        db.appendEntity(std::move(ref), owner);
    }
    const pdf::DisplayList list = renderLayout(db, db.findLayout("Model"));
    EXPECT_LE(list.size(), 3u) << "a billion visits are cut short by the entity budget";
    for (const auto& [pen, a] : itemsOf<pdf::ArcPrimitive>(list))
        EXPECT_LE(a.endAngle - a.startAngle, 2 * kPi);
    EXPECT_TRUE(itemsOf<pdf::CirclePrimitive>(list).empty()) << "no circle of NaN radius";
}

TEST(Renderer, MTextCodesBecomePlainText) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"a\\Pb", "a\nb"},
        {"{\\fSimSun|b1|i0;粗体}\\P第二段", "粗体\n第二段"},
        {"\\H2.5x;\\C1;red\\W0.8;narrow", "rednarrow"},
        {"\\S1/2;\" and \\S3^4;", "1/2\" and 3/4"},
        {"\\\\ \\{ \\}", "\\ { }"},
        {"\\LUnder\\l \\OOver\\o \\Kstrike\\k", "Under Over strike"},
        {"a\\~b", "a b"},
        {"\\U+4E2D\\U+6587", "中文"},
        {"%%c10 %%d %%p0.1",
         "\xC3\x98"
         "10 \xC2\xB0 \xC2\xB1"
         "0.1"},
        {"\\A1;\\pxi-3,l3,t4;\\Qslant;\\Ttrack;text", "text"},
        {"{{nested}}", "nested"},
        {"trailing\\", "trailing\\"},
        {"\\S unfinished", " unfinished"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(plainMTextContents(in), out) << in;
}

TEST(Renderer, PlotAreaOfEachPlotType) {
    auto db = readFixture(kFixtures + "entities.dxf");
    ASSERT_TRUE(db);
    const drawing::ObjectIndex model = layoutNamed(*db, "Model");
    const pdf::DisplayList list = renderLayout(*db, model);
    const auto extents = qkshost::render::plotArea(*db, model, pdf::PlotType::Extents, list);
    ASSERT_TRUE(extents);
    EXPECT_EQ(*extents, *list.extents());
    EXPECT_LT(extents->minY, -40) << "the dimension below the drawing counts";

    drawing::Database empty;
    const drawing::ObjectIndex emptyModel = empty.findLayout("Model");
    const pdf::DisplayList nothing = renderLayout(empty, emptyModel);
    EXPECT_TRUE(nothing.empty());
    EXPECT_FALSE(qkshost::render::plotArea(empty, emptyModel, pdf::PlotType::Extents, nothing));
    const auto limits =
        qkshost::render::plotArea(empty, emptyModel, pdf::PlotType::Limits, nothing);
    ASSERT_TRUE(limits);
    EXPECT_EQ(*limits, (pdf::PlotRect{0, 0, 420, 297}));
    EXPECT_TRUE(renderLayout(empty, 0).empty());
    EXPECT_TRUE(renderLayout(empty, empty.modelSpace()).empty()) << "not a layout";
}

TEST(Renderer, EveryDrawingOfTheCorporaRendersWithoutFault) {
    int files = 0, layouts = 0;
    for (const char* folder :
         {"/fuzz/qkshost_dxf/corpus", "/tests/fixtures/dxf", "/tests/fixtures/plot"}) {
        const std::filesystem::path dir = std::string(QKS_SOURCE_DIR) + folder;
        if (!std::filesystem::is_directory(dir)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (!entry.is_regular_file()) continue;
            auto db = readFixture(entry.path().string());
            ++files;
            if (!db) continue;
            for (drawing::ObjectIndex layout : db->layouts()) {
                const pdf::DisplayList list = renderLayout(*db, layout);
                for (auto type :
                     {pdf::PlotType::Extents, pdf::PlotType::Limits, pdf::PlotType::Layout})
                    qkshost::render::plotArea(*db, layout, type, list);
                ++layouts;
            }
        }
    }
    EXPECT_GT(files, 5);
    EXPECT_GT(layouts, 5);
}

}  // namespace

namespace {

const std::string kRenderFixtures = std::string(QKS_SOURCE_DIR) + "/tests/fixtures/render/";

// The pattern a stroke of the list is drawn with, as (lengths, offset); empty lengths: solid.
std::vector<double> dashLengths(const pdf::DisplayList& list, const pdf::Pen& pen) {
    const pdf::DashPattern* p = list.dashPattern(pen.dash);
    return p ? p->lengths : std::vector<double>{};
}

TEST(Renderer, LinetypePatternsByLayerByBlockAndScale) {
    auto db = readFixture(kRenderFixtures + "linetypes.dxf");
    ASSERT_TRUE(db);
    const pdf::DisplayList list = renderLayout(*db, layoutNamed(*db, "Model"));
    // QKDASH: dash 10, gap 5, dot, gap 5 -> drawn 10, skipped 5, drawn 0, skipped 5.
    const std::vector<double> qkdash{10, 5, 0, 5};
    auto scaled = [](std::vector<double> v, double k) {
        for (double& x : v)
            x *= k;
        return v;
    };
    const auto lines = itemsOf<pdf::LinePrimitive>(list);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(dashLengths(list, lines[0].first), qkdash) << "ByLayer line on DASHES";
    EXPECT_EQ(dashLengths(list, lines[1].first), (std::vector<double>{0.002, 0.001}))
        << "TINY keeps its pattern in the list; the page draws it solid";
    EXPECT_EQ(dashLengths(list, lines[2].first), qkdash) << "ByBlock line of a QKDASH reference";
    const auto polylines = itemsOf<pdf::PolylinePrimitive>(list);
    ASSERT_EQ(polylines.size(), 1u);
    EXPECT_EQ(dashLengths(list, polylines[0].first), qkdash);
    const auto circles = itemsOf<pdf::CirclePrimitive>(list);
    ASSERT_EQ(circles.size(), 1u);
    EXPECT_EQ(dashLengths(list, circles[0].first), scaled(qkdash, 2)) << "linetype scale 2";
    const auto arcs = itemsOf<pdf::ArcPrimitive>(list);
    ASSERT_EQ(arcs.size(), 1u);
    EXPECT_TRUE(dashLengths(list, arcs[0].first).empty()) << "Continuous on a dashed layer";

    // Through a viewport at half size the lines shrink but their patterns are paper lengths.
    const pdf::DisplayList sheet = renderLayout(*db, layoutNamed(*db, "Sheet"));
    const auto seen = itemsOf<pdf::LinePrimitive>(sheet);
    ASSERT_FALSE(seen.empty());
    EXPECT_NEAR(seen[0].second.end.x - seen[0].second.start.x, 100, 1e-9);
    EXPECT_EQ(dashLengths(sheet, seen[0].first), qkdash);

    // The drawing's global scale ($LTSCALE) applies everywhere; with $PSLTSCALE 0 a viewport
    // shows patterns in model units at its own scale.
    db->linetypeScale = 3;
    const pdf::DisplayList model3 = renderLayout(*db, layoutNamed(*db, "Model"));
    EXPECT_EQ(dashLengths(model3, itemsOf<pdf::LinePrimitive>(model3)[0].first), scaled(qkdash, 3));
    const pdf::DisplayList sheet3 = renderLayout(*db, layoutNamed(*db, "Sheet"));
    EXPECT_EQ(dashLengths(sheet3, itemsOf<pdf::LinePrimitive>(sheet3)[0].first), scaled(qkdash, 3));
    db->paperLinetypeScale = false;
    const pdf::DisplayList modelUnits = renderLayout(*db, layoutNamed(*db, "Sheet"));
    EXPECT_EQ(dashLengths(modelUnits, itemsOf<pdf::LinePrimitive>(modelUnits)[0].first),
              scaled(qkdash, 1.5));
}

TEST(Renderer, DashPatternsFromLinetypeElements) {
    using qkshost::render::detail::dashPattern;
    struct Case {
        std::vector<double> elements;
        double scale;
        std::vector<double> lengths;
        double offset;
    };
    const Case cases[] = {
        {{10, -5}, 1, {10, 5}, 0},
        {{10, -5}, 3, {30, 15}, 0},
        {{-5, 10}, 1, {10, 5}, 10},              // leading gap: starts 10 into (10, 5)
        {{10, -5, 0, -5}, 1, {10, 5, 0, 5}, 0},  // dot
        {{4, -2, 6}, 1, {10, 2}, 6},             // last dash joins the first
        {{0, -2}, 1, {0, 2}, 0},
        {{10}, 1, {}, 0},  // a dash alone is solid
        {{-10}, 1, {}, 0},
        {{}, 1, {}, 0},
        {{10, HUGE_VAL}, 1, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.elements));
        const pdf::DashPattern p = dashPattern(c.elements, c.scale);
        EXPECT_EQ(p.lengths, c.lengths);
        EXPECT_NEAR(p.offset, c.offset, 1e-12);
    }
}

TEST(Renderer, PatternHatchesAreClippedLineFamilies) {
    auto db = readFixture(kRenderFixtures + "hatches.dxf");
    ASSERT_TRUE(db);
    const pdf::DisplayList list = renderLayout(*db, layoutNamed(*db, "Model"));
    std::map<int, std::vector<pdf::LinePrimitive>> byColour;
    for (const auto& [pen, line] : itemsOf<pdf::LinePrimitive>(list))
        byColour[pen.colour.index].push_back(line);

    // ANSI31 at scale 2: 45-degree lines 6.35 apart, inside the rectangle, never in the hole.
    const auto& ansi31 = byColour[1];
    ASSERT_GT(ansi31.size(), 15u);
    std::vector<double> offsets;
    for (const auto& l : ansi31) {
        for (const pdf::Point2& p : {l.start, l.end}) {
            EXPECT_GE(p.x, -1e-6);
            EXPECT_LE(p.x, 100 + 1e-6);
            EXPECT_GE(p.y, -1e-6);
            EXPECT_LE(p.y, 50 + 1e-6);
        }
        EXPECT_NEAR(std::atan2(l.end.y - l.start.y, l.end.x - l.start.x), kPi / 4, 1e-9);
        for (double f : {0.01, 0.25, 0.5, 0.75, 0.99}) {
            const double x = l.start.x + (l.end.x - l.start.x) * f;
            const double y = l.start.y + (l.end.y - l.start.y) * f;
            EXPECT_FALSE(x > 40 + 1e-6 && x < 60 - 1e-6 && y > 20 + 1e-6 && y < 30 - 1e-6)
                << "a pattern line crosses the hole at " << x << "," << y;
        }
        offsets.push_back((l.start.y - l.start.x) / std::sqrt(2.0));
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end(),
                              [](double a, double b) { return std::fabs(a - b) < 1e-6; }),
                  offsets.end());
    for (std::size_t i = 1; i < offsets.size(); ++i)
        EXPECT_NEAR(offsets[i] - offsets[i - 1], 3.175 * 2, 1e-6);
    // Total length of the lines: the area over the spacing (rectangle less the hole).
    double length = 0;
    for (const auto& l : ansi31)
        length += std::hypot(l.end.x - l.start.x, l.end.y - l.start.y);
    EXPECT_NEAR(length, (100 * 50 - 20 * 10) / 6.35, 25.0);

    // ANSI37: two families crossing at right angles, both clipped to (200,0)-(250,50).
    int rising = 0, falling = 0;
    for (const auto& l : byColour[3]) {
        const double slope = (l.end.y - l.start.y) / (l.end.x - l.start.x);
        (slope > 0 ? rising : falling) += 1;
        for (const pdf::Point2& p : {l.start, l.end}) {
            EXPECT_GE(p.x, 200 - 1e-6);
            EXPECT_LE(p.x, 250 + 1e-6);
        }
    }
    EXPECT_GT(rising, 5);
    EXPECT_GT(falling, 5);

    // A solid hatch stays a fill; a pattern at scale 1e-5 would be billions of lines: none.
    const auto fills = itemsOf<pdf::FillPrimitive>(list);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].first.colour.index, 5);
    EXPECT_TRUE(byColour[2].empty());
}

TEST(Renderer, PatternLinesDashedFromTheirBasePoint) {
    using namespace qkshost::render::detail;
    const std::vector<std::vector<drawing::Point3d>> square{
        {{0, 0, 0}, {20, 0, 0}, {20, 20, 0}, {0, 20, 0}}};
    PatternLine line;
    line.offset = {0, 10, 0};
    line.base = {2, 0, 0};
    line.dashes = {5, -5};
    const PatternSegments dashed = clipPatternLines({line}, square);
    EXPECT_FALSE(dashed.tooDense);
    // Rows y = 0 and y = 10; dashes from x = 2: [2,7], [12,17]; the row after the next would
    // start at x = 2 + 0 (the offset has no part along the lines).
    ASSERT_EQ(dashed.segments.size(), 4u);
    for (const auto& [a, b] : dashed.segments) {
        EXPECT_NEAR(b.x - a.x, 5, 1e-9);
        EXPECT_TRUE(std::fabs(a.x - 2) < 1e-9 || std::fabs(a.x - 12) < 1e-9) << a.x;
    }
    line.dashes = {0.0001, -0.0001};
    EXPECT_TRUE(clipPatternLines({line}, square).tooDense) << "millions of dashes";
    line.dashes.clear();
    line.offset = {0, 1e-6, 0};
    EXPECT_TRUE(clipPatternLines({line}, square).tooDense) << "millions of lines";
}

TEST(Renderer, MTextWrapsToItsWidth) {
    auto db = readFixture(kRenderFixtures + "mtext.dxf");
    ASSERT_TRUE(db);
    const pdf::DisplayList list = renderLayout(*db, layoutNamed(*db, "Model"));
    std::map<double, std::vector<const pdf::TextPrimitive*>> byColumn;  // by insertion x
    for (auto* t : texts(list))
        byColumn[t->position.x].push_back(t);
    const double pitch = 5 * 5.0 / 3.0;
    auto joined = [](const std::vector<const pdf::TextPrimitive*>& lines, const char* sep) {
        std::string out;
        for (auto* t : lines)
            out += (out.empty() ? "" : sep) + t->text;
        return out;
    };

    // Latin words at width 60: several lines, none wider than the width, words in order, the
    // tops one pitch apart from the insertion point down.
    std::vector<const pdf::TextPrimitive*> latin, bottom;
    for (auto* t : byColumn[0])
        (t->position.y > 50 ? latin : bottom).push_back(t);
    ASSERT_GE(latin.size(), 3u);
    EXPECT_EQ(joined(latin, " "), "alpha beta gamma delta epsilon zeta eta theta iota kappa");
    for (std::size_t k = 0; k < latin.size(); ++k) {
        SCOPED_TRACE(latin[k]->text);
        EXPECT_LE(pdf::textWidth(latin[k]->text, latin[k]->fontFamily, 5), 60.0);
        EXPECT_EQ(latin[k]->vAlign, pdf::TextVAlign::Top);
        EXPECT_NEAR(latin[k]->position.y, 100 - pitch * double(k), 1e-9);
        if (k + 1 < latin.size()) {
            const std::string longer =
                latin[k]->text + " " + latin[k + 1]->text.substr(0, latin[k + 1]->text.find(' '));
            EXPECT_GT(pdf::textWidth(longer, latin[k]->fontFamily, 5), 60.0)
                << "the next word would have fitted";
        }
    }

    // Chinese without spaces at width 32: broken between characters, four (6.7 units) a line.
    const auto& cjk = byColumn[100];
    ASSERT_EQ(cjk.size(), 4u);
    for (auto* t : cjk)
        EXPECT_EQ(t->text, "零件清单");

    // Explicit breaks without a width: one line each.
    EXPECT_EQ(joined(byColumn[200], "|"), "first|second|third");

    // Attached bottom-left at (0, 0): the wrapped block's last line rests on the insertion
    // point, so the first top is the block's height above it.
    ASSERT_GE(bottom.size(), 2u);
    EXPECT_EQ(joined(bottom, " "), "one two three four five six seven eight nine ten");
    const double height = 5 + pitch * double(bottom.size() - 1);
    EXPECT_NEAR(bottom.front()->position.y, height, 1e-9);
    EXPECT_NEAR(bottom.back()->position.y, 5, 1e-9);
}

TEST(Renderer, ParagraphsWrapAtSpacesAndBetweenChineseCharacters) {
    using qkshost::render::detail::wrapParagraph;
    // One unit per byte: easy widths.
    const auto bytes = [](const std::string& s) { return double(s.size()); };
    struct Case {
        std::string text;
        double width;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"aaa bbb ccc", 7, {"aaa bbb", "ccc"}},
        {"aaa bbb ccc", 100, {"aaa bbb ccc"}},
        {"aaa   bbb", 4, {"aaa", "bbb"}},  // the break's spaces vanish
        {"averylongword x", 4, {"averylongword", "x"}},
        {"中文字符", 6, {"中文", "字符"}},  // three bytes a character
        {"ab中文", 6, {"ab中", "文"}},
        {"", 5, {""}},
        {"\xff\xfe ok", 2, {"\xff\xfe", "ok"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(wrapParagraph(c.text, c.width, bytes), c.lines);
    }
}

}  // namespace

namespace {

using qkshost::render::detail::MTextFormat;
using qkshost::render::detail::MTextRun;
using qkshost::render::detail::parseMText;

// Inline format codes split the contents into runs: heights absolute or relative, fonts by
// family (a shape font's file name too), width factors, obliquing, colours by number or as
// true colour; a group's changes end with the group; codes that change nothing drawn here are
// dropped without a new run.
TEST(Renderer, MTextFormatCodesMakeRuns) {
    struct Expected {
        std::string text;
        double height;
        std::string font;
        double widthFactor, obliqueDeg;
        int aci;  // 0: the entity's colour; -1: true colour 0x102030
    };
    struct Case {
        std::string contents;
        std::vector<Expected> runs;
    };
    const Case cases[] = {
        {"plain", {{"plain", 5, "", 1, 0, 0}}},
        {"{\\H2x;big} small", {{"big", 10, "", 1, 0, 0}, {" small", 5, "", 1, 0, 0}}},
        {"\\H3;abs\\H1.5x;rel", {{"abs", 3, "", 1, 0, 0}, {"rel", 4.5, "", 1, 0, 0}}},
        {"{\\fSimSun|b1|i0|c134;宋体}x", {{"宋体", 5, "SimSun", 1, 0, 0}, {"x", 5, "", 1, 0, 0}}},
        {"\\Ftxt.shx,hztxt.shx|c134;A", {{"A", 5, "txt.shx", 1, 0, 0}}},
        {"\\W0.5;narrow\\Q15;slant", {{"narrow", 5, "", 0.5, 0, 0}, {"slant", 5, "", 0.5, 15, 0}}},
        {"\\C1;red\\C256;layer", {{"red", 5, "", 1, 0, 1}, {"layer", 5, "", 1, 0, 0}}},
        {"\\c1056816;true", {{"true", 5, "", 1, 0, -1}}},
        {"{a{\\H2x;b}c}d", {{"a", 5, "", 1, 0, 0}, {"b", 10, "", 1, 0, 0}, {"cd", 5, "", 1, 0, 0}}},
        {"\\H5;same\\T1.2;\\A1;\\Ku\\k", {{"sameu", 5, "", 1, 0, 0}}},
        {"\\H0;\\H-2;\\Hnan;\\Q90;\\W0;kept", {{"kept", 5, "", 1, 0, 0}}},
        {"a\\Pb", {{"a\nb", 5, "", 1, 0, 0}}},
        {"}}unbalanced{", {{"unbalanced", 5, "", 1, 0, 0}}},
    };
    MTextFormat base;
    base.height = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contents);
        const std::vector<MTextRun> runs = parseMText(c.contents, base);
        ASSERT_EQ(runs.size(), c.runs.size());
        for (std::size_t k = 0; k < runs.size(); ++k) {
            const Expected& e = c.runs[k];
            EXPECT_EQ(runs[k].text, e.text);
            EXPECT_DOUBLE_EQ(runs[k].format.height, e.height);
            EXPECT_EQ(runs[k].format.font, e.font);
            EXPECT_DOUBLE_EQ(runs[k].format.widthFactor, e.widthFactor);
            EXPECT_NEAR(runs[k].format.oblique, e.obliqueDeg * M_PI / 180, 1e-12);
            EXPECT_EQ(runs[k].format.hasColour, e.aci != 0);
            if (e.aci > 0) EXPECT_EQ(runs[k].format.colour, pdf::PlotColour::aci(e.aci));
            if (e.aci < 0)
                EXPECT_EQ(runs[k].format.colour, pdf::PlotColour::trueColour(0x10, 0x20, 0x30));
        }
    }
    // Underlining and overlining are formats too.
    const std::vector<MTextRun> lined = parseMText("\\Lunder\\l \\O{over}\\o\\L\\Lx", base);
    ASSERT_EQ(lined.size(), 4u);
    EXPECT_TRUE(lined[0].format.underline);
    EXPECT_EQ(lined[0].text, "under");
    EXPECT_FALSE(lined[1].format.underline || lined[1].format.overline);
    EXPECT_TRUE(lined[2].format.overline);
    EXPECT_EQ(lined[2].text, "over");
    EXPECT_TRUE(lined[3].format.underline);
    EXPECT_EQ(lined[3].text, "x");
}

// %%u and %%o toggle underlining and overlining of single-line texts: the parts between the
// toggles, as byte ranges of the plain text; a toggle left open runs to the end.
TEST(Renderer, TextLineTogglesBecomeSpans) {
    using Span = pdf::TextPrimitive::Span;
    struct Case {
        std::string contents, text;
        std::vector<std::pair<std::size_t, std::size_t>> under, over;
    };
    const Case cases[] = {
        {"plain", "plain", {}, {}},
        {"%%uAB%%uCD", "ABCD", {{0, 2}}, {}},
        {"%%oX", "X", {}, {{0, 1}}},
        {"%%u%%uempty", "empty", {}, {}},
        {"%%d%%uab",
         "\xC2\xB0"
         "ab",
         {{2, 4}},
         {}},
        {"%%U技术%%u要求 %%O%%oz", "技术要求 z", {{0, 6}}, {}},
        {"a%%ub%%oc%%ud%%o", "abcd", {{1, 3}}, {{2, 4}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contents);
        std::vector<Span> under, over;
        EXPECT_EQ(qkshost::render::detail::plainTextWithLines(c.contents, &under, &over), c.text);
        EXPECT_EQ(qkshost::render::plainTextContents(c.contents), c.text);
        ASSERT_EQ(under.size(), c.under.size());
        for (std::size_t k = 0; k < under.size(); ++k)
            EXPECT_EQ(std::make_pair(under[k].begin, under[k].end), c.under[k]);
        ASSERT_EQ(over.size(), c.over.size());
        for (std::size_t k = 0; k < over.size(); ++k)
            EXPECT_EQ(std::make_pair(over[k].begin, over[k].end), c.over[k]);
    }
}

// Adds a multiline text to the model space of `db`.
void addMText(drawing::Database& db, const drawing::Point3d& position, double height,
              const std::string& contents, double width = 0) {
    auto m = std::make_unique<drawing::MText>();
    m->position = position;
    m->height = height;
    m->width = width;
    m->text = contents;
    db.appendEntity(std::move(m));
}

// A formatted multiline text becomes one text per run: runs follow each other along the line
// at their measured widths, a line is as tall as its tallest run and the next line follows at
// 5/3 of its own height, colours and fonts go with their runs, and wrapping measures every run
// in its format.
TEST(Renderer, FormattedMTextPlacesEveryRun) {
    drawing::Database db;
    addMText(db, {10, 100, 0}, 5, "{\\H2x;BIG} small \\C1;red\\Pnext {\\fSimSun;宋体}");
    addMText(db, {200, 100, 0}, 5, "one {\\H2x;two} three four five six seven eight", 60);
    const pdf::DisplayList list = renderLayout(db, db.findLayout("Model"));

    std::vector<const pdf::TextPrimitive*> first, second;
    std::vector<pdf::Pen> pens;
    for (const pdf::DisplayItem& item : list.items())
        if (auto* t = std::get_if<pdf::TextPrimitive>(&item.primitive)) {
            (t->position.x < 150 ? first : second).push_back(t);
            if (t->position.x < 150) pens.push_back(item.pen);
        }
    ASSERT_EQ(first.size(), 5u);
    EXPECT_EQ(first[0]->text, "BIG");
    EXPECT_EQ(first[1]->text, " small ");
    EXPECT_EQ(first[2]->text, "red");
    EXPECT_EQ(first[3]->text, "next ");
    EXPECT_EQ(first[4]->text, "宋体");
    EXPECT_DOUBLE_EQ(first[0]->height, 10);
    EXPECT_DOUBLE_EQ(first[1]->height, 5);
    // Along the first line: each run starts where the one before ends.
    EXPECT_NEAR(first[0]->position.x, 10, 1e-9);
    EXPECT_NEAR(first[1]->position.x, 10 + pdf::textWidth("BIG", first[0]->fontFamily, 10), 1e-6);
    EXPECT_NEAR(first[2]->position.x,
                first[1]->position.x + pdf::textWidth(" small ", first[1]->fontFamily, 5), 1e-6);
    // Baselines: the first line is as tall as BIG; the second follows at 5/3 of its 5 units.
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(first[std::size_t(k)]->position.y, 90, 1e-9);
    EXPECT_NEAR(first[3]->position.y, 90 - 5 * 5.0 / 3.0, 1e-9);
    EXPECT_EQ(first[3]->vAlign, pdf::TextVAlign::Baseline);
    EXPECT_EQ(pens[2].colour, pdf::PlotColour::aci(1));
    EXPECT_NE(pens[1].colour, pdf::PlotColour::aci(1));
    EXPECT_EQ(pens[3].colour, pdf::PlotColour::aci(1)) << "the colour holds to the end";
    EXPECT_EQ(first[4]->fontFamily, "SimSun");

    // Wrapped at 60: no line wider than that, the words in order.
    std::map<double, std::string> lines;  // by baseline, top first
    std::map<double, double> widths;
    for (auto* t : second) {
        lines[-t->position.y] += t->text;
        widths[-t->position.y] += pdf::textWidth(t->text, t->fontFamily, t->height);
    }
    ASSERT_GE(lines.size(), 3u);
    std::string all;
    for (const auto& [y, text] : lines)
        all += (all.empty() ? "" : " ") + text;
    EXPECT_EQ(all, "one two three four five six seven eight");
    for (const auto& [y, w] : widths)
        EXPECT_LE(w, 60.0 + 1e-9) << lines[y];
}

}  // namespace

namespace {

// \S stacks: a fraction stands centred over a bar, a tolerance stands left-aligned without
// one, both at 70 % of the height around the middle of the capitals; a slanted fraction runs
// small, slash, small. An escaped or missing separator leaves plain text.
TEST(Renderer, StackedTextsStandOverAndUnder) {
    MTextFormat base;
    base.height = 10;
    const std::vector<MTextRun> runs = parseMText("a\\S+0.1^-0.2;\\S1/2;\\S3#4;\\S5\\/6;", base);
    ASSERT_EQ(runs.size(), 5u);
    EXPECT_EQ(runs[0].stack, 0);
    EXPECT_EQ(runs[1].stack, '^');
    EXPECT_EQ(runs[1].text, "+0.1");
    EXPECT_EQ(runs[1].lower, "-0.2");
    EXPECT_EQ(runs[2].stack, '/');
    EXPECT_EQ(runs[3].stack, '#');
    EXPECT_EQ(runs[4].stack, 0);
    EXPECT_EQ(runs[4].text, "5/6");

    drawing::Database db;
    addMText(db, {0, 100, 0}, 10, "A\\S+0.1^-0.2;B\\S1/2;");
    const pdf::DisplayList list = renderLayout(db, db.findLayout("Model"));
    std::map<std::string, const pdf::TextPrimitive*> byText;
    std::vector<pdf::LinePrimitive> bars;
    for (const pdf::DisplayItem& item : list.items()) {
        if (auto* t = std::get_if<pdf::TextPrimitive>(&item.primitive)) byText[t->text] = t;
        if (auto* l = std::get_if<pdf::LinePrimitive>(&item.primitive)) bars.push_back(*l);
    }
    ASSERT_EQ(byText.size(), 6u);
    const double baseline = 90;  // one line, as tall as its 10 units
    const auto* plus = byText["+0.1"];
    const auto* minus = byText["-0.2"];
    EXPECT_DOUBLE_EQ(plus->height, 7);
    EXPECT_NEAR(plus->position.y, baseline + 5 + 0.5, 1e-9);
    EXPECT_NEAR(minus->position.y, baseline + 5 - 0.5 - 7, 1e-9);
    EXPECT_EQ(plus->hAlign, pdf::TextHAlign::Left);
    EXPECT_DOUBLE_EQ(plus->position.x, minus->position.x);
    EXPECT_NEAR(plus->position.x, pdf::textWidth("A", "", 10), 1e-9);
    // The fraction: centred over one bar as wide as its wider part, at the middle height.
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_NEAR(bars[0].start.y, baseline + 5, 1e-9);
    const double barWidth = bars[0].end.x - bars[0].start.x;
    EXPECT_NEAR(barWidth, std::max(pdf::textWidth("1", "", 7), pdf::textWidth("2", "", 7)), 1e-9);
    EXPECT_EQ(byText["1"]->hAlign, pdf::TextHAlign::Center);
    EXPECT_NEAR(byText["1"]->position.x, (bars[0].start.x + bars[0].end.x) / 2, 1e-9);
    EXPECT_GT(byText["1"]->position.y, bars[0].start.y);
    EXPECT_LT(byText["2"]->position.y + 7, bars[0].start.y);
    // B follows the tolerance at the width of its wider part.
    EXPECT_NEAR(
        byText["B"]->position.x,
        plus->position.x + std::max(pdf::textWidth("+0.1", "", 7), pdf::textWidth("-0.2", "", 7)),
        1e-9);
}

}  // namespace
