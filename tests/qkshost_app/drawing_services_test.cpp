// The drawing half of the host interface as qkshost provides it, on real DXF files.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "qks/host/drawing.h"
#include "qks/testing/temp_dir.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/app/host_application.h"

namespace qkshost {
namespace {

namespace host = qks::host;
using qks::testing::TempDir;

const std::string kFixtures = std::string(QKS_TEST_SOURCE_DIR) + "/tests/fixtures/dxf/";

class DrawingServicesTest : public ::testing::Test {
  protected:
    DrawingServicesTest() : services_(*app_.drawingServices()) {
        app_.setOutputSink([](std::string_view) {});
    }
    host::DatabaseId openFixture(const std::string& name) {
        std::string error;
        const host::DocumentId document = app_.openDocument(kFixtures + name, error);
        EXPECT_TRUE(document) << error;
        return services_.documentDatabase(document);
    }

    HostApplication app_;
    host::DrawingServices& services_;
};

TEST_F(DrawingServicesTest, ModelSpaceEntitiesOfADrawingFile) {
    const host::DatabaseId db = openFixture("entities_r2018.dxf");
    ASSERT_TRUE(db);
    const auto entities = services_.blockEntities(services_.modelSpace(db));
    ASSERT_GE(entities.size(), 20u);
    int curves = 0, references = 0;
    for (const host::ObjectId id : entities) {
        host::EntityInfo info;
        ASSERT_EQ(services_.entityInfo(id, info), host::Status::Ok);
        EXPECT_FALSE(info.handle.empty());
        // A handle leads back to the same object.
        EXPECT_EQ(services_.objectIdFromHandle(db, info.handle), id) << info.handle;
        if (info.isCurve) {
            ++curves;
            double start = 0, end = 0;
            // A spline given only by fit points has no parameter range until it is fitted.
            if (services_.curveParameterRange(id, start, end) != host::Status::Ok) {
                EXPECT_EQ(info.type, host::EntityType::Spline) << info.dxfName;
                continue;
            }
            host::Point3d p;
            EXPECT_EQ(services_.curvePointAt(id, (start + end) / 2, p), host::Status::Ok);
            EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
        }
        if (info.type == host::EntityType::BlockReference) {
            ++references;
            host::BlockReferenceInfo ref;
            ASSERT_EQ(services_.blockReference(id, ref), host::Status::Ok);
            EXPECT_FALSE(ref.blockName.empty());
            EXPECT_EQ(services_.symbolName(ref.blockRecord), ref.blockName);
        }
    }
    EXPECT_GE(curves, 10);
    EXPECT_EQ(references, 4);
    // Ids of the wrong kind or of no database are refused, never crash.
    host::BlockReferenceInfo ref;
    EXPECT_EQ(services_.blockReference(entities.front(), ref), host::Status::WrongType);
    host::EntityInfo info;
    EXPECT_EQ(services_.entityInfo(host::ObjectId{0xFFFF00000001ull}, info),
              host::Status::NotFound);
    EXPECT_FALSE(services_.objectIdFromHandle(db, "FFFFFF"));
    EXPECT_FALSE(services_.objectIdFromHandle(db, "not hex"));
}

TEST_F(DrawingServicesTest, CreatedDrawingIsSavedAsDxfAndReadsBack) {
    TempDir dir;
    const host::DatabaseId db = services_.createDatabase(true);
    host::ScopedDatabase owner(&services_, db);
    host::ObjectId layer;
    ASSERT_EQ(services_.addLayer(db, "QKS_NEST_PART", 3, &layer), host::Status::Ok);
    EXPECT_EQ(services_.addLayer(db, "qks_nest_part", 5, &layer), host::Status::Duplicate);
    EXPECT_EQ(services_.symbolName(layer), "QKS_NEST_PART");
    const host::ObjectId model = services_.modelSpace(db);
    host::ObjectId polyline;
    ASSERT_EQ(services_.addLwPolyline(model, {{0, 0, 0}, {100, 0, 0}, {100, 50, 0}, {0, 50, 0}},
                                      true, "QKS_NEST_PART", &polyline),
              host::Status::Ok);
    EXPECT_EQ(
        services_.addLwPolyline(model, {{0, 0, 0}, {1, 1, 0}}, false, "NO_SUCH_LAYER", nullptr),
        host::Status::NotFound);
    host::MTextSpec label;
    label.position = {2, 2, 0};
    label.contents = "板1  1000 x 500";
    label.height = 10;
    label.attachment = host::MTextAttachment::BottomLeft;
    ASSERT_EQ(services_.addMText(model, label, nullptr), host::Status::Ok);
    host::TextStyleSpec style{"QKS_LABEL", "simsun.ttc", "SimSun", false, false, 134, 0};
    host::ObjectId styleId;
    ASSERT_EQ(services_.addTextStyle(db, style, &styleId), host::Status::Ok);
    EXPECT_EQ(services_.findTextStyle(db, "qks_label"), styleId);

    std::string written, message;
    ASSERT_EQ(services_.saveDatabase(db, dir.file("nest.DWG"), &written, &message),
              host::Status::Ok)
        << message;
    EXPECT_EQ(written, dir.file("nest.dxf"));
    const host::DatabaseId back = services_.createDatabase(false);
    host::ScopedDatabase backOwner(&services_, back);
    ASSERT_EQ(services_.readDrawingFile(back, written, &message), host::Status::Ok) << message;
    const auto entities = services_.blockEntities(services_.modelSpace(back));
    ASSERT_EQ(entities.size(), 2u);
    host::LwPolylineInfo outline;
    ASSERT_EQ(services_.lwPolyline(entities[0], outline), host::Status::Ok);
    EXPECT_TRUE(outline.closed);
    ASSERT_EQ(outline.vertices.size(), 4u);
    EXPECT_EQ(outline.vertices[2], (host::Point3d{100, 50, 0}));
    host::TextInfo text;
    ASSERT_EQ(services_.textInfo(entities[1], text), host::Status::Ok);
    EXPECT_EQ(text.text, "板1  1000 x 500");
    // A real DWG (binary, not DXF) fails with a message.
    const std::string dwg =
        dir.write("real.dwg", std::string("AC1032\0\0\0\0\0\x01", 12) + std::string(200, '\x7f'));
    const host::DatabaseId bad = services_.createDatabase(false);
    host::ScopedDatabase badOwner(&services_, bad);
    EXPECT_NE(services_.readDrawingFile(bad, dwg, &message), host::Status::Ok);
    EXPECT_FALSE(message.empty());
}

TEST_F(DrawingServicesTest, LayoutsAndPageSetupsSurviveARoundTrip) {
    const host::DatabaseId db = openFixture("layouts_r2018.dxf");
    ASSERT_TRUE(db);
    const auto layouts = services_.layouts(db);
    ASSERT_EQ(layouts.size(), 4u);
    EXPECT_TRUE(layouts[0].isModel);
    std::vector<std::string> names;
    for (const auto& l : layouts)
        names.push_back(l.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Model", "Layout1", "图纸 A4", "Third"}));
    auto* database = static_cast<HostDrawingServices&>(services_).database(db);
    for (const auto& l : layouts) {
        const auto* layout = database->get<drawing::Layout>(database->indexOf(l.id));
        ASSERT_NE(layout, nullptr);
        const drawing::PlotSettings before = layout->plot;
        host::PlotSettings settings;
        ASSERT_EQ(services_.getPlotSettings(l.id, settings), host::Status::Ok);
        ASSERT_EQ(services_.setPlotSettings(l.id, settings), host::Status::Ok);
        EXPECT_TRUE(layout->plot == before) << l.name;
        ASSERT_EQ(services_.setCurrentLayout(l.id), host::Status::Ok);
        EXPECT_EQ(services_.activeLayoutName(), l.name);
    }
    EXPECT_EQ(services_.setCurrentLayoutByName("layout1"), host::Status::Ok);
    EXPECT_EQ(services_.activeLayoutName(), "Layout1");
    EXPECT_EQ(services_.setCurrentLayoutByName("Nope"), host::Status::NotFound);
}

TEST_F(DrawingServicesTest, SettingsValidatorAcceptsOnlyWhatTheDeviceOffers) {
    host::PlotSettings s;
    const std::string a3 = "ISO_A3_(420.00_x_297.00_MM)";
    ASSERT_TRUE(services_.hasPlotDevice("DWG To PDF.pc3"));
    const auto media = services_.canonicalMediaNames("DWG To PDF.pc3");
    ASSERT_NE(std::find(media.begin(), media.end(), a3), media.end());
    struct Case {
        const char* device;
        const char* media;
        host::Status status;
    } cases[] = {
        {"DWG To PDF.pc3", "ISO_A3_(420.00_x_297.00_MM)", host::Status::Ok},
        {"DWG To PDF.pc3", "Letter", host::Status::InvalidInput},
        {"No Such.pc3", "ISO_A3_(420.00_x_297.00_MM)", host::Status::InvalidInput},
    };
    for (const auto& c : cases) {
        host::PlotSettings t = s;
        EXPECT_EQ(services_.setPlotDeviceAndMedia(t, c.device, c.media), c.status) << c.media;
        if (c.status != host::Status::Ok) {
            EXPECT_TRUE(t == s) << "a refused change altered the settings";
        }
    }
    ASSERT_EQ(services_.setPlotDeviceAndMedia(s, "DWG To PDF.pc3", a3), host::Status::Ok);
    EXPECT_DOUBLE_EQ(s.paperWidth, 420.0);
    EXPECT_DOUBLE_EQ(s.paperHeight, 297.0);
    ASSERT_EQ(services_.setPaperUnits(s, host::PaperUnits::Inches), host::Status::Ok);
    EXPECT_NEAR(s.paperWidth, 420.0 / 25.4, 1e-12);
    EXPECT_EQ(services_.setPaperUnits(s, host::PaperUnits::Pixels), host::Status::InvalidInput);
    EXPECT_EQ(services_.setStyleSheet(s, "monochrome.ctb"), host::Status::Ok);
    EXPECT_EQ(services_.setStyleSheet(s, "nonexistent.ctb"), host::Status::InvalidInput);
    EXPECT_EQ(s.styleSheet, "monochrome.ctb");
    EXPECT_EQ(services_.setPlotRotation(s, 4), host::Status::InvalidInput);
    EXPECT_EQ(services_.setPlotWindow(s, 0, 0, NAN, 1), host::Status::InvalidInput);
}

TEST_F(DrawingServicesTest, TextsAreLevelled) {
    const host::DatabaseId db = services_.createDatabase(true);
    host::ScopedDatabase owner(&services_, db);
    host::MTextSpec text;
    text.contents = "x";
    host::ObjectId mtext;
    ASSERT_EQ(services_.addMText(services_.modelSpace(db), text, &mtext), host::Status::Ok);
    ASSERT_EQ(services_.setTextRotation(mtext, 1.0), host::Status::Ok);
    host::TextInfo info;
    ASSERT_EQ(services_.textInfo(mtext, info), host::Status::Ok);
    EXPECT_DOUBLE_EQ(info.rotation, 1.0);
    ASSERT_EQ(services_.setTextRotation(mtext, 0.0), host::Status::Ok);
    auto* database = static_cast<HostDrawingServices&>(services_).database(db);
    const auto* m = database->get<drawing::MText>(database->indexOf(mtext));
    EXPECT_DOUBLE_EQ(m->direction.x, 1.0);
    EXPECT_DOUBLE_EQ(m->direction.y, 0.0);
    EXPECT_EQ(services_.setTextRotation(services_.modelSpace(db), 0.0), host::Status::WrongType);
}

}  // namespace
}  // namespace qkshost

namespace qkshost {
namespace {

TEST_F(DrawingServicesTest, SelectionLinesAnswerThePrompt) {
    const host::DatabaseId db = openFixture("layouts_r2018.dxf");
    ASSERT_TRUE(db);
    const std::size_t all = services_.blockEntities(services_.modelSpace(db)).size();
    struct Case {
        std::vector<std::string> lines;
        bool chosen;
        std::size_t count;
    } cases[] = {
        {{"ALL"}, true, all},
        {{"all"}, true, all},
        {{""}, false, 0},
        {{"bogus", "ALL"}, true, all},  // asked again after a line it cannot read
        {{"W -1e9,-1e9 -1e9,-1e9"}, false, 0},
    };
    for (const auto& c : cases) {
        for (const auto& line : c.lines)
            app_.queueInputLine(line);
        std::vector<host::ObjectId> selection;
        EXPECT_EQ(services_.selectObjects("Select objects: ", selection), c.chosen)
            << c.lines.front();
        EXPECT_EQ(selection.size(), c.count) << c.lines.front();
    }
    app_.endInput();
    std::vector<host::ObjectId> selection;
    EXPECT_FALSE(services_.selectObjects("Select objects: ", selection));
}

TEST_F(DrawingServicesTest, ADrawingBecomesABlockAndEntitiesAreWrittenOut) {
    const host::DatabaseId target = services_.createDatabase(true);
    host::ScopedDatabase targetOwner(&services_, target);
    const host::DatabaseId source = services_.createDatabase(false);
    host::ScopedDatabase sourceOwner(&services_, source);
    std::string message;
    ASSERT_EQ(services_.readDrawingFile(source, kFixtures + "entities_r2018.dxf", &message),
              host::Status::Ok)
        << message;
    host::ObjectId block;
    int notCarried = -1;
    ASSERT_EQ(services_.insertDatabaseAsBlock(target, "QKS_part_0", source, &block, &notCarried),
              host::Status::Ok);
    EXPECT_GE(notCarried, 0);
    EXPECT_EQ(services_.findBlock(target, "qks_PART_0"), block);
    EXPECT_FALSE(services_.blockEntities(block).empty());
    EXPECT_EQ(services_.insertDatabaseAsBlock(target, "QKS_part_0", source, &block, nullptr),
              host::Status::Duplicate);

    const auto entities = services_.blockEntities(services_.modelSpace(source));
    host::DatabaseId written;
    ASSERT_EQ(services_.writeBlockOut({entities[0], entities[2]}, {10, 20, 0}, &written),
              host::Status::Ok);
    host::ScopedDatabase writtenOwner(&services_, written);
    EXPECT_EQ(services_.blockEntities(services_.modelSpace(written)).size(), 2u);
    EXPECT_EQ(services_.writeBlockOut({}, {0, 0, 0}, &written), host::Status::InvalidInput);
}

}  // namespace
}  // namespace qkshost
