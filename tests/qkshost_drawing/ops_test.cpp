// Drawings inserted into drawings, entities written out with a base point, creation helpers and
// selection lines.
#include "qkshost/drawing/blockops.h"
#include "qkshost/drawing/creation.h"
#include "qkshost/drawing/selection.h"
#include "qkshost/dxf/testing.h"

#include <algorithm>
#include <cmath>

using namespace qkshost::drawing;
using namespace qkshost::dxf;
using namespace qkshost::dxf::testing;

namespace {

constexpr double kPi = 3.14159265358979323846;

void expectAuditClean(const std::string& file) {
    if (!haveEzdxf()) return;
    std::string out;
    EXPECT_EQ(runChecker("audit", file, out), 0) << out;
    EXPECT_EQ(out, "OK\n") << file;
}

// Entity facts without owner names, sorted: what a copy must keep.
std::vector<std::string> geometryOf(const Database& db, ObjectIndex block) {
    std::vector<std::string> out;
    auto* rec = db.get<BlockRecord>(block);
    for (ObjectIndex i : rec->entities) {
        auto* e = dynamic_cast<const Entity*>(db.object(i));
        if (!e) continue;
        EntityFacts f = facts(db, *e);
        std::ostringstream s;
        s.precision(12);
        s << f.type << " " << f.layer << " " << f.text;
        for (double v : f.numbers)
            s << " " << v;
        out.push_back(s.str());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::map<std::string, std::vector<double>> ezdxfExtents(const std::string& file) {
    std::string out;
    EXPECT_EQ(runChecker("geometry", file, out), 0) << out;
    std::map<std::string, std::vector<double>> boxes;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string kind, handle;
        in >> kind >> handle;
        if (kind != "E") continue;
        std::vector<double> v(6);
        for (double& x : v)
            in >> x;
        boxes[handle] = v;
    }
    return boxes;
}

}  // namespace

TEST(DrawingOps, InsertedDrawingKeepsItsGeometry) {
    TempDir dir;
    auto source = readFixture("entities_r2018.dxf");
    Database target;
    ObjectIndex blk = 0;
    CopyReport report;
    ASSERT_EQ(insertAsBlock(target, *source, "SRC", &blk, &report), Status::Ok);
    EXPECT_EQ(report.notCarried, 0);
    EXPECT_EQ(report.warning(), "");
    EXPECT_EQ(geometryOf(*source, source->modelSpace()), geometryOf(target, blk));
    // tables and nested blocks came along
    auto* cut = target.get<LayerRecord>(target.findLayer("CUT"));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->color, 1);
    EXPECT_EQ(target.get<LinetypeRecord>(cut->linetype)->name, "DASHED");
    EXPECT_EQ(target.get<TextStyleRecord>(target.findTextStyle("CN"))->typeface, "SimSun");
    for (const char* b : {"A3_TK", "INNER"}) {
        ASSERT_TRUE(target.findBlock(b)) << b;
        EXPECT_EQ(geometryOf(*source, source->findBlock(b)),
                  geometryOf(target, target.findBlock(b)));
    }
    // the same name twice is refused; so are names the host does not accept
    EXPECT_EQ(insertAsBlock(target, *source, "src"), Status::Duplicate);
    EXPECT_EQ(insertAsBlock(target, *source, "a/b"), Status::InvalidInput);
    EXPECT_EQ(insertAsBlock(target, *source, ""), Status::InvalidInput);
    // a second copy: anonymous dimension blocks get names of their own
    ASSERT_EQ(insertAsBlock(target, *source, "SRC2"), Status::Ok);
    ObjectIndex ref = addBlockReference(target, 0, blk, {0, 0, 0});
    ASSERT_TRUE(ref);
    std::string path = dir.file("inserted.dxf");
    ASSERT_EQ(saveDxf(target, path), Status::Ok);
    expectAuditClean(path);
    Database back(false);
    ReadResult r = readDxfFile(back, path);
    ASSERT_EQ(r.status, Status::Ok) << r.message;
    EXPECT_EQ(r.warnings, 0);
    EXPECT_EQ(geometryOf(*source, source->modelSpace()), geometryOf(back, back.findBlock("SRC")));
    if (!haveEzdxf()) return;
    // written back out, ezdxf sees the reference covering exactly what the source covered
    auto srcBoxes = ezdxfExtents(fixture("entities_r2018.dxf"));
    auto outBoxes = ezdxfExtents(path);
    std::vector<double> all{1e300, 1e300, 1e300, -1e300, -1e300, -1e300};
    for (auto& [h, v] : srcBoxes)
        for (int k = 0; k < 3; ++k) {
            all[k] = std::min(all[k], v[k]);
            all[k + 3] = std::max(all[k + 3], v[k + 3]);
        }
    std::string refHandle = Database::handleText(target.object(ref)->handle);
    ASSERT_TRUE(outBoxes.count(refHandle));
    for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(outBoxes[refHandle][k], all[k], 1e-6) << k;
}

TEST(DrawingOps, WriteBlockOutWithBasePointAndInsertIt) {
    TempDir dir;
    auto source = readFixture("entities_r2018.dxf");
    auto polys = entitiesOf<LwPolyline>(*source);
    auto circles = entitiesOf<Circle>(*source);
    auto refs = entitiesOf<BlockReference>(*source);
    std::vector<ObjectIndex> ids{polys[0]->self, circles[0]->self, refs[0]->self};
    std::unique_ptr<Database> part;
    CopyReport report;
    ASSERT_EQ(writeBlockOut(*source, ids, {0, 200, 0}, part, &report), Status::Ok);
    EXPECT_GE(report.copied, 3);  // block contents count too
    EXPECT_EQ(part->insBase, (Point3d{0, 200, 0}));
    EXPECT_EQ(part->get<BlockRecord>(part->modelSpace())->entities.size(), 3u);
    EXPECT_TRUE(part->findBlock("A3_TK"));
    EXPECT_TRUE(part->findBlock("INNER"));
    Extents3d srcBox;
    for (ObjectIndex i : ids) {
        Extents3d e;
        ASSERT_EQ(entityExtents(*source, i, e), Status::Ok);
        srcBox.add(e);
    }
    Database nest;
    ObjectIndex blk;
    ASSERT_EQ(insertAsBlock(nest, *part, "QKS_PART_1", &blk), Status::Ok);
    EXPECT_EQ(nest.get<BlockRecord>(blk)->base, (Point3d{0, 200, 0}));
    ObjectIndex ref = addBlockReference(nest, 0, blk, {1000, 0, 0}, -1, 1, 1, kPi / 2);
    Extents3d box;
    ASSERT_EQ(entityExtents(nest, ref, box), Status::Ok);
    // mirrored then turned a quarter about the base point, which lands on (1000, 0)
    Matrix3d m = Matrix3d::translation({1000, 0, 0}) * Matrix3d::rotationZ(kPi / 2);
    Extents3d expected;
    for (double x : {srcBox.min.x, srcBox.max.x})
        for (double y : {srcBox.min.y, srcBox.max.y})
            expected.add(m.transform(Point3d{-(x - 0), y - 200, 0}));
    EXPECT_NEAR(box.min.x, expected.min.x, 1e-9);
    EXPECT_NEAR(box.min.y, expected.min.y, 1e-9);
    EXPECT_NEAR(box.max.x, expected.max.x, 1e-9);
    EXPECT_NEAR(box.max.y, expected.max.y, 1e-9);
    std::string path = dir.file("nest.dxf");
    ASSERT_EQ(saveDxf(nest, path), Status::Ok);
    expectAuditClean(path);
    // nothing to write
    std::unique_ptr<Database> none;
    EXPECT_EQ(writeBlockOut(*source, {}, {}, none), Status::InvalidInput);
    EXPECT_EQ(writeBlockOut(*source, {source->layer0()}, {}, none), Status::InvalidInput);
    EXPECT_FALSE(none);
}

TEST(DrawingOps, UnknownEntitiesAreCarriedOrCounted) {
    const std::string dxf =
        "0\nSECTION\n2\nENTITIES\n"
        "0\nIMAGE\n5\nA1\n100\nAcDbEntity\n8\n0\n100\nAcDbRasterImage\n10\n0\n20\n0\n30\n0\n"
        "340\nFF\n"
        "0\nTRACE\n5\nA2\n100\nAcDbEntity\n8\n0\n100\nAcDbTrace\n10\n1\n20\n1\n30\n0\n"
        "1001\nQKSAPP\n1000\nnote\n"
        "0\nENDSEC\n0\nEOF\n";
    Database src(false);
    ASSERT_EQ(readDxf(src, dxf).status, Status::Ok);
    auto unknown = entitiesOf<UnknownEntity>(src);
    ASSERT_EQ(unknown.size(), 2u);
    EXPECT_TRUE(unknown[0]->hasPointers);
    EXPECT_FALSE(unknown[1]->hasPointers);
    // kept and written back within the same drawing
    Database again(false);
    ASSERT_EQ(readDxf(again, writeDxf(src)).status, Status::Ok);
    EXPECT_EQ(entitiesOf<UnknownEntity>(again).size(), 2u);
    // copied elsewhere: the one with links is counted, never dropped silently
    Database target;
    CopyReport report;
    ASSERT_EQ(insertAsBlock(target, src, "X", nullptr, &report), Status::Ok);
    EXPECT_EQ(report.copied, 1);
    EXPECT_EQ(report.notCarried, 1);
    EXPECT_TRUE(target.findAppId("QKSAPP")) << "the copy's extended data keeps its application";
    EXPECT_EQ(report.warning(),
              "1 entities of types that cannot be copied to another drawing were left out");
}

TEST(DrawingOps, CreationHelpers) {
    TempDir dir;
    Database db;
    ObjectIndex frame = ensureLayer(db, "QKS_NEST_FRAME", 8);
    ASSERT_TRUE(frame);
    EXPECT_EQ(ensureLayer(db, "qks_nest_frame", 3), frame);  // existing layer left as it is
    EXPECT_EQ(db.get<LayerRecord>(frame)->color, 8);
    EXPECT_EQ(ensureLayer(db, "bad|name", 1), 0u);
    ObjectIndex pl = addLwPolyline(db, 0, {{0, 0, 0}, {100, 0, 0}, {100, 50, 0}, {0, 50, 0}}, true,
                                   "QKS_NEST_FRAME");
    ASSERT_TRUE(pl);
    EXPECT_TRUE(db.get<LwPolyline>(pl)->closed());
    EXPECT_EQ(db.layerName(*db.get<LwPolyline>(pl)), "QKS_NEST_FRAME");
    FontDescription font{"simsun.ttc", "SimSun", false, false, 134, 0};
    ObjectIndex style = ensureTextStyle(db, "QKS_LABEL", font);
    ASSERT_TRUE(style);
    EXPECT_EQ(ensureTextStyle(db, "QKS_LABEL", {}), style);
    ObjectIndex mt =
        addMText(db, 0, {1, 2, 0}, "板1  1000 x 500\\P第二行", 28, 0, 7, style, "QKS_NEST_TEXT");
    ASSERT_TRUE(mt);
    EXPECT_EQ(db.get<MText>(mt)->attachment, 7);
    EXPECT_EQ(db.get<LayerRecord>(db.findLayer("QKS_NEST_TEXT"))->color, 7);
    ObjectIndex tx = addText(db, 0, {5, 5, 0}, 2.5, "文字", kPi / 4);
    ASSERT_TRUE(tx);
    // a block with attribute definitions gives references with attributes
    ObjectIndex blk;
    ASSERT_EQ(db.addBlock("TB", &blk), Status::Ok);
    auto def = std::make_unique<AttributeDefinition>();
    def->tag = "图号";
    def->text = "X-1";
    def->position = {10, 0, 0};
    db.appendEntity(std::move(def), blk);
    ObjectIndex ref = addBlockReference(db, 0, blk, {100, 100, 0}, 2, 2, 1, kPi / 2);
    ASSERT_TRUE(ref);
    auto* r = db.get<BlockReference>(ref);
    ASSERT_EQ(r->attributes.size(), 1u);
    auto* a = db.get<Attribute>(r->attributes[0]);
    EXPECT_EQ(a->tag, "图号");
    EXPECT_EQ(a->text, "X-1");
    EXPECT_NEAR(a->position.x, 100, 1e-12);
    EXPECT_NEAR(a->position.y, 120, 1e-12);
    EXPECT_EQ(addBlockReference(db, 0, db.modelSpace(), {}), 0u);  // layouts cannot be inserted
    EXPECT_EQ(addLwPolyline(db, 12345, {{0, 0, 0}}, false), 0u);
    std::string path = dir.file("created.dxf");
    ASSERT_EQ(saveDxf(db, path), Status::Ok);
    expectAuditClean(path);
    Database back(false);
    ASSERT_EQ(readDxfFile(back, path).status, Status::Ok);
    auto* st = back.get<TextStyleRecord>(back.findTextStyle("QKS_LABEL"));
    ASSERT_TRUE(st);
    EXPECT_EQ(st->fontFile, "simsun.ttc");
    EXPECT_EQ(st->typeface, "SimSun");
    EXPECT_EQ(st->charset, 134);
    EXPECT_EQ(entitiesOf<MText>(back)[0]->text, "板1  1000 x 500\\P第二行");
    EXPECT_EQ(back.get<Attribute>(entitiesOf<BlockReference>(back)[0]->attributes[0])->text, "X-1");
}

TEST(DrawingOps, SelectionLines) {
    Database db;
    ObjectIndex cut = ensureLayer(db, "CUT", 1);
    ObjectIndex frozen = ensureLayer(db, "FROZEN", 2);
    db.get<LayerRecord>(frozen)->setFrozen(true);
    auto line = [&](Point3d a, Point3d b, std::string_view layer) {
        auto l = std::make_unique<Line>();
        l->start = a;
        l->end = b;
        l->layer = layer.empty() ? db.layer0() : db.findLayer(layer);
        return db.appendEntity(std::move(l));
    };
    ObjectIndex inside = line({1, 1, 0}, {2, 2, 0}, "CUT");
    ObjectIndex crossing = line({5, 5, 0}, {15, 5, 0}, "");
    ObjectIndex diagonal = line({-10, 21, 0}, {10, 41, 0}, "");  // box overlaps, line misses
    ObjectIndex far = line({100, 100, 0}, {101, 101, 0}, "cut");
    ObjectIndex hidden = line({1, 1, 0}, {2, 2, 0}, "FROZEN");
    (void)cut;
    (void)hidden;
    auto h = [&](ObjectIndex i) { return Database::handleText(db.object(i)->handle); };
    std::string lowerFar = h(far);
    for (char& c : lowerFar)
        c = char(std::tolower(c));
    struct Case {
        std::string line;
        Status status;
        std::vector<ObjectIndex> expected;
    };
    const Case cases[] = {
        {"ALL", Status::Ok, {inside, crossing, diagonal, far}},
        {"  all  ", Status::Ok, {inside, crossing, diagonal, far}},
        {"W 0,0 10,10", Status::Ok, {inside}},
        {"w 10,10 0,0", Status::Ok, {inside}},
        {"C 0,0 10,30", Status::Ok, {inside, crossing}},
        {"C 0,0 10,35", Status::Ok, {inside, crossing, diagonal}},
        {"L cut", Status::Ok, {inside, far}},
        {"L 0, CUT", Status::Ok, {inside, crossing, diagonal, far}},
        {"L FROZEN", Status::Ok, {}},
        {"H " + lowerFar + " " + h(inside), Status::Ok, {inside, far}},
        {"ALL x", Status::InvalidInput, {}},
        {"W 0,0", Status::InvalidInput, {}},
        {"W a,b 1,1", Status::InvalidInput, {}},
        {"Q", Status::InvalidInput, {}},
        {"H", Status::InvalidInput, {}},
    };
    for (const Case& c : cases) {
        SelectionResult r;
        EXPECT_EQ(evaluateSelection(db, c.line, r), c.status) << c.line;
        EXPECT_FALSE(r.cancelled) << c.line;
        EXPECT_EQ(r.entities, c.expected) << c.line;
        if (c.status != Status::Ok) {
            EXPECT_FALSE(r.message.empty()) << c.line;
        }
    }
    SelectionResult r;
    EXPECT_EQ(evaluateSelection(db, "   ", r), Status::Ok);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(evaluateSelection(db, "H ZZZ " + h(inside), r), Status::Ok);
    EXPECT_EQ(r.entities, (std::vector<ObjectIndex>{inside}));
    EXPECT_EQ(r.message, "not found: ZZZ");
}

TEST(DrawingOps, AnonymousNamesAndDimensionStylesAfterAFile) {
    Database db;
    for (const char* name : {"*D1", "*d7", "*U3", "*DX"})
        ASSERT_EQ(db.addBlock(name), Status::Ok) << name;
    ObjectIndex style = 0;
    ASSERT_EQ(db.addDimStyle("QKS", &style), Status::Ok);
    EXPECT_EQ(db.addDimStyle("qks"), Status::Duplicate);
    db.get<DimStyleRecord>(style)->variables.decimals = 1;
    db.get<DimStyleRecord>(style)->variables.textAbove = 1;
    db.currentDimStyle = style;
    Database back(false);
    ASSERT_EQ(readDxf(back, writeDxf(db)).status, Status::Ok);
    const auto* read = back.get<DimStyleRecord>(back.findDimStyle("QKS"));
    ASSERT_TRUE(read);
    EXPECT_EQ(back.currentDimStyle, back.findDimStyle("QKS"));
    EXPECT_EQ(read->variables.decimals, 1);
    EXPECT_EQ(read->variables.textAbove, 1);
    EXPECT_FALSE(read->variables.zeroSuppression);
    // New names go on above those read; names given since are stepped over.
    EXPECT_EQ(back.blockName(back.addAnonymousBlock("*D")), "*D8");
    ASSERT_EQ(back.addBlock("*D9"), Status::Ok);
    EXPECT_EQ(back.blockName(back.addAnonymousBlock("*D")), "*D10");
    EXPECT_EQ(back.blockName(back.addAnonymousBlock("*U")), "*U4");
}
