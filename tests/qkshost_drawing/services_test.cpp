// The database half of the host interface, driven through ids as the plug-in drives it.
#include "qkshost/drawing/services.h"
#include "test_support.h"

#include <cmath>

using namespace qkshost::drawing;
using namespace qkshost::drawing::testing;
namespace host = qks::host;

TEST(DrawingServices, JobsCallsThroughIds) {
    TempDir dir;
    DrawingStore store;
    host::DatabaseId out = store.createDatabase(true);
    ASSERT_TRUE(out);
    host::ObjectId layer;
    EXPECT_EQ(store.addLayer(out, "QKS_NEST_PART", 3, &layer), host::Status::Ok);
    EXPECT_EQ(store.addLayer(out, "qks_nest_part", 5, &layer), host::Status::Duplicate);
    EXPECT_EQ(store.symbolName(layer), "QKS_NEST_PART");
    host::TextStyleSpec spec{"QKS_LABEL", "simsun.ttc", "SimSun", false, false, 134, 0};
    host::ObjectId style;
    ASSERT_EQ(store.addTextStyle(out, spec, &style), host::Status::Ok);
    EXPECT_EQ(store.findTextStyle(out, "qks_label"), style);
    host::ObjectId ms = store.modelSpace(out);
    host::ObjectId pl;
    ASSERT_EQ(
        store.addLwPolyline(ms, {{0, 0, 0}, {100, 0, 0}, {100, 50, 0}}, true, "QKS_NEST_PART", &pl),
        host::Status::Ok);
    host::EntityInfo info;
    ASSERT_EQ(store.entityInfo(pl, info), host::Status::Ok);
    EXPECT_EQ(info.type, host::EntityType::LwPolyline);
    EXPECT_EQ(info.layer, "QKS_NEST_PART");
    EXPECT_TRUE(info.isCurve);
    EXPECT_EQ(store.objectIdFromHandle(out, info.handle), pl);
    double t0, t1;
    ASSERT_EQ(store.curveParameterRange(pl, t0, t1), host::Status::Ok);
    EXPECT_EQ(t1, 3);
    Point3d p;
    ASSERT_EQ(store.curvePointAt(pl, 2.5, p), host::Status::Ok);
    EXPECT_NEAR(p.x, 50, 1e-12);
    EXPECT_NEAR(p.y, 25, 1e-12);
    host::MTextSpec mt;
    mt.contents = "板1";
    mt.height = 28;
    mt.attachment = host::MTextAttachment::BottomLeft;
    mt.textStyle = style;
    host::ObjectId mid;
    ASSERT_EQ(store.addMText(ms, mt, &mid), host::Status::Ok);
    ASSERT_EQ(store.setTextRotation(mid, M_PI / 2), host::Status::Ok);
    host::TextInfo ti;
    ASSERT_EQ(store.textInfo(mid, ti), host::Status::Ok);
    EXPECT_NEAR(ti.rotation, M_PI / 2, 1e-12);
    EXPECT_EQ(ti.text, "板1");
    // a part written out and brought back as a block, then referenced mirrored
    host::DatabaseId part;
    ASSERT_EQ(store.writeBlockOut({pl}, {0, 0, 0}, &part), host::Status::Ok);
    host::ObjectId blk;
    int notCarried = -1;
    ASSERT_EQ(store.insertDatabaseAsBlock(out, "QKS_PART_1", part, &blk, &notCarried),
              host::Status::Ok);
    EXPECT_EQ(notCarried, 0);
    store.deleteDatabase(part);
    EXPECT_FALSE(store.database(part));
    host::BlockReferenceSpec rs;
    rs.blockRecord = blk;
    rs.position = {500, 0, 0};
    rs.scale = {-1, 1, 1};
    rs.rotation = M_PI / 2;
    host::ObjectId ref;
    ASSERT_EQ(store.addBlockReference(ms, rs, &ref), host::Status::Ok);
    host::BlockReferenceInfo bi;
    ASSERT_EQ(store.blockReference(ref, bi), host::Status::Ok);
    EXPECT_EQ(bi.blockName, "QKS_PART_1");
    EXPECT_EQ(store.blockEntities(bi.blockRecord).size(), 1u);
    Extents3d box;
    ASSERT_EQ(store.geometricExtents(ref, box), host::Status::Ok);
    // (x, y) mirrored to (-x, y), then a quarter turn: (-y, -x)
    EXPECT_NEAR(box.min.x, 450, 1e-9);
    EXPECT_NEAR(box.max.x, 500, 1e-9);
    EXPECT_NEAR(box.min.y, -100, 1e-9);
    EXPECT_NEAR(box.max.y, 0, 1e-9);
    // selection lines
    std::vector<host::ObjectId> sel;
    EXPECT_TRUE(store.selectByLine(out, "L QKS_NEST_PART", sel, nullptr));
    EXPECT_EQ(sel, std::vector<host::ObjectId>{pl});
    EXPECT_FALSE(store.selectByLine(out, "", sel, nullptr));
    // layouts and plot settings
    auto layouts = store.layouts(out);
    ASSERT_EQ(layouts.size(), 2u);
    EXPECT_TRUE(layouts[0].isModel);
    EXPECT_EQ(store.activeLayoutName(out), "Model");
    host::PlotSettings ps;
    ASSERT_EQ(store.getPlotSettings(layouts[1].id, ps), host::Status::Ok);
    ps.device = "DWG To PDF.pc3";
    ps.media = "ISO_A3_(420.00_x_297.00_MM)";
    ps.plotType = host::PlotType::Window;
    ps.windowMaxX = 420;
    ps.centered = true;
    ps.standardScaleType = host::kScaleToFit;
    ASSERT_EQ(store.setPlotSettings(layouts[1].id, ps), host::Status::Ok);
    ASSERT_EQ(store.setCurrentLayout(layouts[1].id), host::Status::Ok);
    EXPECT_EQ(store.activeLayoutName(out), "Layout1");
    std::string written, message;
    ASSERT_EQ(store.saveDatabase(out, dir.file("nest.dwg"), &written, &message), host::Status::Ok)
        << message;
    EXPECT_EQ(written, dir.file("nest.dxf"));
    host::DatabaseId back = store.createDatabase(false);
    ASSERT_EQ(store.readDrawingFile(back, written, &message), host::Status::Ok) << message;
    host::PlotSettings again;
    auto backLayouts = store.layouts(back);
    ASSERT_EQ(backLayouts.size(), 2u);
    ASSERT_EQ(store.getPlotSettings(backLayouts[1].id, again), host::Status::Ok);
    EXPECT_TRUE(again == ps);
    EXPECT_EQ(store.activeLayoutName(back), "Layout1");
    EXPECT_EQ(store.setCurrentLayoutByName(back, "Model"), host::Status::Ok);
    // ids of deleted databases and bad input
    host::DatabaseId gone = store.createDatabase(false);
    EXPECT_EQ(store.readDrawingFile(gone, dir.file("missing.dxf"), &message),
              host::Status::ReadError);
    store.deleteDatabase(gone);
    EXPECT_EQ(store.readDrawingFile(gone, written, &message), host::Status::NotFound);
    EXPECT_EQ(store.entityInfo(host::ObjectId{12345}, info), host::Status::WrongType);
    bool closed = false;
    EXPECT_EQ(store.curveIsClosed(mid, closed), host::Status::WrongType);
}
