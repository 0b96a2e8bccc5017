// Reading the fixture corpus written by ezdxf, and refusing bad input with one clear error.
#include "qkshost/dxf/testing.h"

#include <algorithm>
#include <cmath>

using namespace qkshost::drawing;
using namespace qkshost::dxf;
using namespace qkshost::dxf::testing;

namespace {
constexpr double kPi = 3.14159265358979323846;

const TextStyleRecord* style(const Database& db, const char* name) {
    return db.get<TextStyleRecord>(db.findTextStyle(name));
}
}  // namespace

TEST(DrawingRead, EveryFixtureReadsWithoutRepairs) {
    for (const auto& name : fixtureNames()) {
        ReadResult r;
        auto db = readFixture(name, &r);
        EXPECT_EQ(r.warnings, 0) << name;
        EXPECT_TRUE(db->get<BlockRecord>(db->modelSpace())) << name;
        EXPECT_GT(db->get<BlockRecord>(db->modelSpace())->entities.size(), 0u) << name;
        // handles unique and below the seed
        std::map<Handle, int> seen;
        for (std::size_t i = 1; i <= db->objectCount(); ++i) {
            Handle h = db->object(ObjectIndex(i))->handle;
            EXPECT_LT(h, db->handSeed()) << name;
            EXPECT_EQ(++seen[h], 1) << name << " duplicate handle " << h;
        }
    }
}

TEST(DrawingRead, TablesOfTheEntityFixture) {
    for (const char* name : {"entities_r2018.dxf", "entities_r2018_binary.dxf"}) {
        auto db = readFixture(name);
        auto* cut = db->get<LayerRecord>(db->findLayer("cut"));
        ASSERT_TRUE(cut) << name;
        EXPECT_EQ(cut->name, "CUT");
        EXPECT_EQ(cut->color, 1);
        EXPECT_EQ(cut->lineweight, 35);
        ASSERT_TRUE(db->get<LinetypeRecord>(cut->linetype));
        EXPECT_EQ(db->get<LinetypeRecord>(cut->linetype)->name, "DASHED");
        EXPECT_EQ(db->get<LinetypeRecord>(cut->linetype)->elements.size(), 2u);
        EXPECT_TRUE(db->get<LayerRecord>(db->findLayer("HIDDEN_OFF"))->off);
        EXPECT_TRUE(db->get<LayerRecord>(db->findLayer("FROZEN"))->frozen());
        auto* cn = style(*db, "CN");
        ASSERT_TRUE(cn);
        EXPECT_EQ(cn->fontFile, "simsun.ttc");
        EXPECT_EQ(cn->typeface, "SimSun");
        // the fixture writer sets 0x01000000, which the CAD program's files use for italic
        // (ezdxf 0.18 names that bit "bold")
        EXPECT_TRUE(cn->italic);
        EXPECT_FALSE(cn->bold);
        for (const char* lt : {"ByBlock", "ByLayer", "Continuous"})
            EXPECT_TRUE(db->findLinetype(lt)) << lt;
        EXPECT_TRUE(db->findBlock("A3_TK"));
        EXPECT_TRUE(db->findBlock("INNER"));
    }
}

TEST(DrawingRead, EntitiesOfTheEntityFixture) {
    for (const char* name : {"entities_r2018.dxf", "entities_r2018_binary.dxf"}) {
        SCOPED_TRACE(name);
        auto db = readFixture(name);
        auto lines = entitiesOf<Line>(*db);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(db->layerName(*lines[0]), "CUT");
        EXPECT_EQ(lines[0]->color, 3);
        EXPECT_EQ(lines[0]->end, (Point3d{100, 50, 0}));
        EXPECT_EQ(db->linetypeName(*lines[1]), "DASHED");
        EXPECT_EQ(lines[1]->lineweight, 50);
        EXPECT_EQ(lines[1]->start.z, 5);
        auto arcs = entitiesOf<Arc>(*db);
        ASSERT_EQ(arcs.size(), 2u);
        EXPECT_NEAR(arcs[0]->startAngle, kPi / 6, 1e-12);
        EXPECT_NEAR(arcs[0]->endAngle, 2 * kPi / 3, 1e-12);
        auto polys = entitiesOf<LwPolyline>(*db);
        ASSERT_EQ(polys.size(), 2u);
        EXPECT_TRUE(polys[0]->closed());
        ASSERT_EQ(polys[0]->vertices.size(), 4u);
        EXPECT_EQ(polys[0]->vertices[0].bulge, 0.5);
        EXPECT_EQ(polys[0]->vertices[1].startWidth, 2);
        EXPECT_EQ(polys[0]->vertices[1].endWidth, 1);
        EXPECT_EQ(polys[0]->vertices[2].bulge, -1);
        EXPECT_FALSE(polys[1]->closed());
        auto splines = entitiesOf<Spline>(*db);
        ASSERT_EQ(splines.size(), 4u);
        EXPECT_EQ(splines[0]->degree, 3);
        EXPECT_EQ(splines[0]->controlPoints.size(), 5u);
        EXPECT_EQ(splines[0]->knots.size(), 9u);
        EXPECT_EQ(splines[1]->weights, (std::vector<double>{1, 3, 0.5, 1}));
        EXPECT_EQ(splines[2]->fitPoints.size(), 4u);
        auto p2d = entitiesOf<Polyline>(*db);
        ASSERT_EQ(p2d.size(), 1u);
        EXPECT_TRUE(p2d[0]->closed());
        ASSERT_EQ(p2d[0]->vertices.size(), 4u);
        EXPECT_EQ(db->get<Vertex>(p2d[0]->vertices[1])->bulge, 1.0);
        EXPECT_EQ(entitiesOf<Ellipse>(*db).size(), 2u);
        EXPECT_EQ(entitiesOf<PointEntity>(*db).size(), 1u);
        auto texts = entitiesOf<Text>(*db);
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0]->text, "Hello");
        EXPECT_NEAR(texts[0]->rotation, 15 * kPi / 180, 1e-12);
        EXPECT_EQ(texts[0]->widthFactor, 0.8);
        EXPECT_EQ(texts[1]->text, "中文标题 零件");
        EXPECT_EQ(texts[1]->hAlign, 1);
        EXPECT_EQ(texts[1]->vAlign, 2);
        EXPECT_EQ(texts[1]->alignment, (Point3d{100, 500, 0}));
        EXPECT_EQ(db->get<TextStyleRecord>(texts[1]->style)->name, "CN");
        auto mtexts = entitiesOf<MText>(*db);
        ASSERT_EQ(mtexts.size(), 2u);
        EXPECT_EQ(mtexts[0]->text, "中文标题 零件\\P第二行 second line");
        EXPECT_EQ(mtexts[0]->attachment, 7);
        EXPECT_EQ(mtexts[0]->width, 80);
        EXPECT_EQ(mtexts[0]->height, 5);
        EXPECT_NEAR(mtexts[1]->direction.x, std::cos(kPi / 6), 1e-12);
        EXPECT_EQ(entitiesOf<Solid>(*db).size(), 1u);
        EXPECT_EQ(entitiesOf<Hatch>(*db).size(), 1u);
        auto dims = entitiesOf<Dimension>(*db);
        ASSERT_EQ(dims.size(), 1u);
        ASSERT_TRUE(db->get<BlockRecord>(dims[0]->block));
        EXPECT_GT(db->get<BlockRecord>(dims[0]->block)->entities.size(), 0u);
        auto unknown = entitiesOf<UnknownEntity>(*db);
        ASSERT_EQ(unknown.size(), 1u);
        EXPECT_EQ(unknown[0]->type, "3DFACE");
        auto refs = entitiesOf<BlockReference>(*db);
        ASSERT_EQ(refs.size(), 4u);
        EXPECT_EQ(db->blockName(refs[0]->block), "A3_TK");
        ASSERT_EQ(refs[0]->attributes.size(), 2u);
        auto* a0 = db->get<Attribute>(refs[0]->attributes[0]);
        EXPECT_EQ(a0->tag, "图号");
        EXPECT_EQ(a0->text, "QKS-001");
        EXPECT_EQ(db->get<Attribute>(refs[0]->attributes[1])->text, "第一张");
        EXPECT_EQ(refs[1]->scaleX, -0.5);
        EXPECT_NEAR(refs[1]->rotation, kPi / 2, 1e-12);
        EXPECT_EQ(refs[3]->extrusion.z, -1);
        auto defs = entitiesOf<AttributeDefinition>(*db, db->findBlock("A3_TK"));
        ASSERT_EQ(defs.size(), 2u);
        EXPECT_EQ(defs[0]->prompt, "number");
    }
}

TEST(DrawingRead, HatchBoundariesAndPatterns) {
    using Type = HatchEdge::Type;
    auto db = readFixture("hatches_r2018.dxf");
    const auto hatches = entitiesOf<Hatch>(*db);
    ASSERT_EQ(hatches.size(), 5u);

    const Hatch& bulged = *hatches[0];
    EXPECT_TRUE(bulged.solidFill);
    ASSERT_EQ(bulged.loops.size(), 2u);
    ASSERT_TRUE(bulged.loops[0].isPolyline());
    EXPECT_TRUE(bulged.loops[0].hasBulge);
    std::vector<double> bulges;
    for (const HatchVertex& v : bulged.loops[0].vertices)
        bulges.push_back(v.bulge);
    EXPECT_EQ(bulges, (std::vector<double>{0, 0.5, 0, -1}));
    EXPECT_EQ(bulged.loops[1].vertices.size(), 4u) << "the hole";

    const Hatch& edges = *hatches[1];
    EXPECT_FALSE(edges.solidFill);
    EXPECT_EQ(edges.patternName, "ANSI31");
    EXPECT_EQ(edges.patternScale, 2);
    EXPECT_EQ(edges.patternAngle, 15);
    ASSERT_EQ(edges.loops.size(), 1u);
    const auto& e = edges.loops[0].edges;
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].type, Type::Line);
    EXPECT_EQ(e[0].start, (Point3d{200, 0, 0}));
    EXPECT_EQ(e[0].end, (Point3d{300, 0, 0}));
    EXPECT_EQ(e[1].type, Type::CircularArc);
    EXPECT_EQ(e[1].centre, (Point3d{300, 25, 0}));
    EXPECT_EQ(e[1].radius, 25);
    EXPECT_EQ(e[1].startAngle, -90);
    EXPECT_EQ(e[1].endAngle, 90);
    EXPECT_EQ(e[2].type, Type::EllipticArc);
    EXPECT_EQ(e[2].majorAxis.x, 50);
    EXPECT_EQ(e[2].majorAxis.y, 0);
    EXPECT_EQ(e[2].radius, 0.3);
    EXPECT_EQ(e[3].type, Type::Line);
    ASSERT_EQ(edges.patternLines.size(), 1u);
    EXPECT_NEAR(edges.patternLines[0].angle, 60, 1e-9) << "ANSI31's 45 degrees turned by 15";

    const auto& spline = hatches[2]->loops.at(0).edges;
    ASSERT_EQ(spline.size(), 2u);
    EXPECT_EQ(spline[0].type, Type::Spline);
    EXPECT_EQ(spline[0].degree, 2);
    EXPECT_EQ(spline[0].knots.size(), 6u);
    EXPECT_EQ(spline[0].controlPoints,
              (std::vector<Point3d>{{400, 0, 0}, {450, 40, 0}, {500, 0, 0}}));
    EXPECT_EQ(spline[1].type, Type::CircularArc);
    EXPECT_FALSE(spline[1].counterClockwise);
    EXPECT_EQ(hatches[2]->patternLines.size(), 2u) << "ANSI37 crosses";

    EXPECT_EQ(hatches[3]->patternName, "BRICK");
    EXPECT_FALSE(hatches[3]->patternLines.empty());
    for (const auto& line : hatches[3]->patternLines)
        EXPECT_NEAR(std::remainder(line.angle - 30, 90), 0, 1e-9) << line.angle;

    // Extents come from the structure: sampled arcs, bulges by their middle, splines by
    // their control points.
    const struct {
        Point3d min, max;
    } boxes[] = {{{0, 0, 0}, {112.5, 50, 0}},
                 {{200, 0, 0}, {325, 65, 0}},
                 {{400, -50, 0}, {500, 40, 0}},
                 {{600, 0, 0}, {700, 100, 0}}};
    for (std::size_t k = 0; k < std::size(boxes); ++k) {
        Extents3d box;
        ASSERT_EQ(entityExtents(*db, hatches[k]->self, box), Status::Ok) << k;
        EXPECT_NEAR(box.min.x, boxes[k].min.x, 1e-9) << k;
        EXPECT_NEAR(box.min.y, boxes[k].min.y, 1e-9) << k;
        EXPECT_NEAR(box.max.x, boxes[k].max.x, 1e-9) << k;
        EXPECT_NEAR(box.max.y, boxes[k].max.y, 1e-9) << k;
    }
}

TEST(DrawingRead, ChineseTextByCodePage) {
    for (const char* name : {"gbk_r12.dxf", "gbk_r12_binary.dxf", "gbk_r2000.dxf"}) {
        SCOPED_TRACE(name);
        ReadResult r;
        auto db = readFixture(name, &r);
        EXPECT_EQ(db->codePage, "ANSI_936");
        auto texts = entitiesOf<Text>(*db);
        ASSERT_GE(texts.size(), 2u);
        EXPECT_EQ(texts[0]->text, "钣金零件 第1号");
        EXPECT_EQ(db->layerName(*texts[0]), "轮廓线");
        EXPECT_EQ(texts[1]->text, "€ and ☃ beyond GBK");
        EXPECT_TRUE(db->findLayer("轮廓线"));
        EXPECT_EQ(db->get<LayerRecord>(db->findLayer("轮廓线"))->color, 3);
    }
    auto db = readFixture("gbk_r2000.dxf");
    auto mt = entitiesOf<MText>(*db);
    ASSERT_GE(mt.size(), 1u);
    EXPECT_EQ(mt[0]->text, "多行文字\\P第二行");
}

TEST(DrawingRead, EscapesAndCodePagesDecode) {
    struct Case {
        const char* codepage;
        const char* version;
        std::string raw;
        std::string expected;
    };
    const Case cases[] = {
        {"ANSI_936", "AC1015", "\xD6\xD0\xCE\xC4", "中文"},
        {"ANSI_936", "AC1015", "A\\U+4E2DB", "A中B"},
        {"ANSI_1252", "AC1009", "caf\xE9", "café"},
        {"ANSI_1252", "AC1015", "\\M+5D6D0", "中"},
        {"ANSI_1252", "AC1032", "UTF-8 \xE4\xB8\xAD", "UTF-8 中"},
        {"ANSI_1252", "AC1032", "bad \xFF end", "bad \xEF\xBF\xBD end"},
        {"ANSI_1252", "AC1032", "\\U+D83D\\U+DE00", "\xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) {
        std::string dxf = std::string("0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\n") + c.version +
                          "\n9\n$DWGCODEPAGE\n3\n" + c.codepage +
                          "\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nTEXT\n8\n0\n10\n0\n20\n0\n40\n"
                          "1\n1\n" +
                          c.raw + "\n0\nENDSEC\n0\nEOF\n";
        Database db(false);
        ReadResult r = readDxf(db, dxf);
        ASSERT_EQ(r.status, Status::Ok) << r.message;
        auto t = entitiesOf<Text>(db);
        ASSERT_EQ(t.size(), 1u);
        EXPECT_EQ(t[0]->text, c.expected) << c.raw;
    }
}

TEST(DrawingRead, LayoutsAndPlotSettings) {
    auto db = readFixture("layouts_r2018.dxf");
    std::vector<std::string> names;
    for (ObjectIndex l : db->layouts())
        names.push_back(db->get<Layout>(l)->name);
    EXPECT_EQ(names, (std::vector<std::string>{"Model", "Layout1", "图纸 A4", "Third"}));
    // model space is active ($TILEMODE 1); the paper layout last active is 图纸 A4
    auto* active = db->get<Layout>(db->activeLayout());
    ASSERT_TRUE(active);
    EXPECT_EQ(active->name, "Model");
    auto* l1 = db->get<Layout>(db->findLayout("Layout1"));
    EXPECT_EQ(l1->plot.device, "DWG To PDF.pc3");
    EXPECT_EQ(l1->plot.paperWidth, 420);
    EXPECT_EQ(l1->plot.paperHeight, 297);
    EXPECT_EQ(l1->plot.paperUnits, 1);
    EXPECT_EQ(l1->plot.marginLeft, 5);
    EXPECT_FALSE(l1->isModel());
    auto* a4 = db->get<Layout>(db->findLayout("图纸 A4"));
    EXPECT_EQ(a4->plot.paperUnits, 0);
    EXPECT_NEAR(a4->plot.paperWidth, 279.4, 1e-9);
    EXPECT_EQ(a4->plot.media, "ezdxf_(11.00_x_8.50_Inches)");
    auto* model = db->get<Layout>(db->findLayout("Model"));
    EXPECT_TRUE(model->isModel());
    EXPECT_EQ(model->block, db->modelSpace());
    // every layout's block points back at it; paper layouts hold viewports
    for (ObjectIndex li : db->layouts()) {
        auto* l = db->get<Layout>(li);
        auto* b = db->get<BlockRecord>(l->block);
        ASSERT_TRUE(b) << l->name;
        EXPECT_EQ(b->layout, li) << l->name;
    }
    EXPECT_EQ(entitiesOf<Viewport>(*db, a4->block).size(), 2u);
    EXPECT_EQ(entitiesOf<Text>(*db, a4->block).size(), 1u);
    EXPECT_EQ(entitiesOf<Line>(*db, db->get<Layout>(db->findLayout("Third"))->block).size(), 1u);
    EXPECT_EQ(a4->block, db->paperSpace());
    EXPECT_TRUE(db->tileMode);
    // making another paper layout current moves the *Paper_Space name to its block
    EXPECT_EQ(db->setCurrentLayout("Third"), Status::Ok);
    EXPECT_EQ(db->get<Layout>(db->activeLayout())->name, "Third");
    EXPECT_EQ(db->blockName(db->paperSpace()), "*Paper_Space");
    EXPECT_NE(db->blockName(a4->block), "*Paper_Space");
    EXPECT_EQ(db->setCurrentLayout(db->findLayout("Model")), Status::Ok);
    EXPECT_TRUE(db->tileMode);
    EXPECT_EQ(db->get<Layout>(db->activeLayout())->name, "Model");
    EXPECT_EQ(db->setCurrentLayout("nope"), Status::NotFound);
}

TEST(DrawingRead, ViewportFrozenLayersAreKeptThroughASave) {
    auto db = readFixture("viewport_frozen_r2018.dxf");
    auto viewports = entitiesOf<Viewport>(*db, db->paperSpace());
    // the layout's own overall viewport (id 1) comes first
    ASSERT_EQ(viewports.size(), 3u);
    auto names = [](const Database& d, const Viewport& v) {
        std::vector<std::string> out;
        for (ObjectIndex l : v.frozenLayers)
            out.push_back(d.get<LayerRecord>(l)->name);
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_TRUE(viewports[1]->frozenLayers.empty());
    EXPECT_EQ(names(*db, *viewports[2]), (std::vector<std::string>{"VP_HIDDEN", "细节"}));
    // and written back
    TempDir dir;
    ASSERT_EQ(saveDxf(*db, dir.file("saved.dxf")), Status::Ok);
    Database back(false);
    ASSERT_EQ(readDxfFile(back, dir.file("saved.dxf")).status, Status::Ok);
    auto again = entitiesOf<Viewport>(back, back.paperSpace());
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(names(back, *again[2]), (std::vector<std::string>{"VP_HIDDEN", "细节"}));
}

TEST(DrawingRead, BadInputGivesOneClearError) {
    std::string good;
    {
        std::ifstream in(fixture("entities_r2018.dxf"), std::ios::binary);
        good.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string binary;
    {
        std::ifstream in(fixture("entities_r2018_binary.dxf"), std::ios::binary);
        binary.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    struct Case {
        const char* what;
        std::string data;
        const char* expected;
    };
    std::string dwg("AC1032\0\0\0\0\0\x1f\x01\x03\x00\x00\x00\x00\x00", 20);
    const Case cases[] = {
        {"truncated", good.substr(0, good.size() / 2), "DXF read error at line"},
        {"truncated binary", binary.substr(0, binary.size() / 2), "DXF read error at byte offset"},
        {"cut in a section", good.substr(0, good.find("ENTITIES")), "unexpected end of file"},
        {"cut after a section", good.substr(0, good.rfind("ENDSEC") + 7), "truncated: no EOF"},
        {"bad group code", "0\nSECTION\n2\nENTITIES\nxx\nLINE\n",
         "line 5: invalid group code 'xx'"},
        {"group code out of range", "0\nSECTION\n2\nENTITIES\n0\nLINE\n99999\n1\n",
         "line 7: invalid group code"},
        {"absurd number", "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n1e999\n0\nENDSEC\n0\nEOF\n",
         "line 7: number out of range"},
        {"nan", "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nnan\n0\nENDSEC\n0\nEOF\n",
         "line 7: number out of range"},
        {"not a number", "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n1.2.3\n0\nENDSEC\n0\nEOF\n",
         "line 7: invalid number '1.2.3'"},
        {"huge integer",
         "0\nSECTION\n2\nENTITIES\n0\nLWPOLYLINE\n70\n99999999999999999999\n0\nENDSEC\n0\nEOF\n",
         "line 7: number out of range"},
        {"binary DWG", dwg, "this is a DWG drawing (AC1032)"},
        {"empty", "", "no DXF sections"},
        {"text", "hello world\n", "invalid group code 'hello world'"},
    };
    for (const Case& c : cases) {
        Database db(false);
        ReadResult r = readDxf(db, c.data);
        EXPECT_EQ(r.status, Status::ReadError) << c.what;
        EXPECT_NE(r.message.find(c.expected), std::string::npos) << c.what << ": " << r.message;
        EXPECT_EQ(r.message.find('\n'), std::string::npos) << c.what;
    }
}

TEST(DrawingRead, HandlesAndIds) {
    auto db = readFixture("entities_r2018.dxf");
    auto lines = entitiesOf<Line>(*db);
    ASSERT_FALSE(lines.empty());
    std::string text = Database::handleText(lines[0]->handle);
    for (char c : text)
        EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
    EXPECT_EQ(db->indexFromHandleText(text), lines[0]->self);
    std::string lower = text;
    for (char& c : lower)
        c = char(std::tolower(c));
    EXPECT_EQ(db->indexFromHandleText(lower), lines[0]->self);
    EXPECT_EQ(db->indexFromHandleText("ZZ"), 0u);
    EXPECT_EQ(db->indexFromHandleText(""), 0u);
    EXPECT_EQ(db->indexFromHandleText("FFFFFFFFFFFFFFFFF"), 0u);
    ObjectId id = db->idOf(lines[0]->self);
    EXPECT_EQ(db->indexOf(id), lines[0]->self);
    Database other;
    EXPECT_EQ(other.indexOf(id), 0u);  // ids of one database mean nothing in another
    EXPECT_EQ(Database::fromSerial(std::uint32_t(id.value >> 32)), db.get());
    // open and close bookkeeping
    Object* o = nullptr;
    EXPECT_EQ(db->open(lines[0]->self, OpenMode::Write, &o), Status::Ok);
    EXPECT_EQ(db->open(lines[0]->self, OpenMode::Read, &o), Status::WasOpenForWrite);
    db->close(lines[0]->self, OpenMode::Write);
    EXPECT_EQ(db->open(lines[0]->self, OpenMode::Read, &o), Status::Ok);
    EXPECT_EQ(db->open(lines[0]->self, OpenMode::Read, &o), Status::Ok);
    Object* other2 = nullptr;
    EXPECT_EQ(db->open(lines[0]->self, OpenMode::Write, &other2), Status::WasOpenForWrite);
    EXPECT_EQ(other2, nullptr);
    // class tests by derivation
    EXPECT_TRUE(dynamic_cast<Curve*>(o));
    EXPECT_TRUE(dynamic_cast<Entity*>(o));
    EXPECT_FALSE(dynamic_cast<TextBase*>(o));
}
