// The annotation calls of the host interface: dimension styles, dimensions with their geometry
// blocks, block definitions with attributes, exploding block references. Saved drawings are
// read back with ezdxf (tests/qkshost_app/check_annotation.py); dimensions are plotted with
// the host's own renderer and PDF writer and read back with poppler.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "qks/host/drawing.h"
#include "qks/testing/checkers.h"
#include "qks/testing/temp_dir.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/app/host_application.h"
#include "qkshost/pdf/pdf_engine.h"
#include "qkshost/render/renderer.h"

namespace qkshost {
namespace {

namespace host = qks::host;
using host::Status;
using qks::testing::TempDir;

constexpr double kPi = 3.14159265358979323846;

// The checker's lines of one kind, split at blanks into at most `fields` fields (the last
// keeps its blanks).
std::vector<std::vector<std::string>> facts(const std::string& output, const std::string& kind,
                                            std::size_t fields) {
    std::vector<std::vector<std::string>> out;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(kind + " ", 0) != 0) continue;
        std::vector<std::string> f;
        std::size_t at = kind.size() + 1;
        while (f.size() + 1 < fields && at <= line.size()) {
            const std::size_t blank = std::min(line.find(' ', at), line.size());
            f.push_back(line.substr(at, blank - at));
            at = blank + 1;
        }
        f.push_back(at <= line.size() ? line.substr(at) : std::string());
        out.push_back(f);
    }
    return out;
}

class AnnotationTest : public ::testing::Test {
  protected:
    AnnotationTest() : services_(*app_.drawingServices()) {
        app_.setOutputSink([](std::string_view) {});
        db_ = services_.createDatabase(true);
        owner_ = host::ScopedDatabase(&services_, db_);
        model_ = services_.modelSpace(db_);
    }
    std::string handleOf(host::ObjectId id) {
        host::EntityInfo info;
        EXPECT_EQ(services_.entityInfo(id, info), Status::Ok);
        return info.handle;
    }
    // The drawing saved and described by the checker, whose first line must be the audit's OK.
    std::string savedAndChecked(const std::string& name) {
        std::string written, message;
        EXPECT_EQ(services_.saveDatabase(db_, dir_.file(name), &written, &message), Status::Ok)
            << message;
        const std::string out =
            qks::testing::runChecker("tests/qkshost_app/check_annotation.py", {written});
        EXPECT_EQ(out.substr(0, out.find('\n')), "OK") << out;
        return out;
    }

    HostApplication app_;
    host::DrawingServices& services_;
    TempDir dir_;
    host::DatabaseId db_;
    host::ScopedDatabase owner_;
    host::ObjectId model_;
};

TEST_F(AnnotationTest, DimensionsMeasureTheirGeometryAndShowTheirText) {
    const host::DimensionStyleSpec style{"QKS_DIM", 3.5, 3.0, 1.0, 2.0, 1.0, 1, {}};
    host::ObjectId styleId, again;
    ASSERT_EQ(services_.addDimensionStyle(db_, style, &styleId), Status::Ok);
    EXPECT_EQ(services_.addDimensionStyle(db_, style, &again), Status::Duplicate);
    EXPECT_EQ(again, styleId);

    using Kind = host::DimensionKind;
    struct Case {
        Kind kind;
        host::Point3d first, second, line;
        double rotation;
        bool ordinateX;
        host::Point3d origin;
        std::string text;
        double measurement;  // as stored: an ordinate's with its sign
        std::string shown;
        int arrows;
    };
    const Case cases[] = {
        {Kind::Linear, {0, 0, 0}, {100, 0, 0}, {0, -20, 0}, 0, true, {}, "", 100, "100", 2},
        {Kind::Linear,
         {0, 0, 0},
         {0, 50.26, 0},
         {-15, 0, 0},
         kPi / 2,
         true,
         {},
         "",
         50.26,
         "50.3",
         2},
        {Kind::Linear,
         {10, 10, 0},
         {60, 40, 0},
         {0, 60, 0},
         kPi / 6,
         true,
         {},
         "L=<>",
         25 * std::sqrt(3.0) + 15,
         "L=58.3",
         2},
        {Kind::Diameter, {190, 0, 0}, {210, 0, 0}, {}, 0, true, {}, "4×%%c<>", 20, "4×%%c20", 2},
        {Kind::Diameter, {300, 0, 0}, {400, 0, 0}, {}, 0, true, {}, "", 100, "100", 2},
        {Kind::Ordinate, {30, 10, 0}, {30, 40, 0}, {}, 0, true, {0, 0, 0}, "", 30, "30", 0},
        {Kind::Ordinate, {80, 70, 0}, {50, 75, 0}, {}, 0, false, {100, 100, 0}, "", -30, "30", 0},
    };
    std::map<std::string, const Case*> byHandle;
    for (const Case& c : cases) {
        host::DimensionSpec request;
        request.kind = c.kind;
        request.first = c.first;
        request.second = c.second;
        request.line = c.line;
        request.rotation = c.rotation;
        request.ordinateX = c.ordinateX;
        request.origin = c.origin;
        request.text = c.text;
        request.style = styleId;
        host::ObjectId id;
        ASSERT_EQ(services_.addDimension(model_, request, &id), Status::Ok) << c.shown;
        byHandle[handleOf(id)] = &c;
    }
    host::DimensionSpec nothing;  // both points on one line across the measuring direction
    nothing.second = {0, 10, 0};
    EXPECT_EQ(services_.addDimension(model_, nothing, nullptr), Status::InvalidInput);
    nothing.second = {10, 0, 0};
    nothing.layer = "NO_SUCH_LAYER";
    EXPECT_EQ(services_.addDimension(model_, nothing, nullptr), Status::NotFound);

    const std::string out = savedAndChecked("dimensions.dxf");
    EXPECT_NE(out.find("DIMSTYLE 3.5 3.0 1.0 2.0 1.0 1 Standard QKS_DIM"), std::string::npos)
        << out;
    const auto dims = facts(out, "DIM", 7);
    ASSERT_EQ(dims.size(), std::size(cases)) << out;
    for (const auto& d : dims) {
        const Case& c = *byHandle.at(d[0]);
        EXPECT_EQ(d[1], std::to_string(static_cast<int>(c.kind))) << c.shown;
        EXPECT_NEAR(std::stod(d[2]), c.measurement, 1e-9) << c.shown;
        EXPECT_NEAR(std::stod(d[3]), c.measurement, 1e-9) << c.shown;
        EXPECT_EQ(d[4], std::to_string(c.arrows)) << c.shown;
        ASSERT_NE(d[5], "-") << "no geometry block for " << c.shown;
        EXPECT_GE(std::stoi(d[5]), 1) << c.shown;
        EXPECT_EQ(d[6], c.shown);
    }

    // The host's own plot shows the dimension texts, the diameter code as its sign.
    auto* host = static_cast<HostDrawingServices*>(&services_);
    const drawing::Database& database = *host->database(db_);
    const pdf::DisplayList list = render::renderLayout(database, database.findLayout("Model"));
    pdf::PlotSettings settings;
    pdf::PlotSettingsValidator::setPlotConfiguration(settings, "DWG To PDF.pc3",
                                                     "ISO_full_bleed_A3_(420.00_x_297.00_MM)");
    const std::string pdfPath = dir_.file("dimensions.pdf");
    const pdf::PlotResult plotted = pdf::PdfPlotEngine().plotToFile(settings, list, pdfPath);
    ASSERT_TRUE(plotted.ok()) << plotted.message;
    const std::string text = qks::testing::pdfText(pdfPath);
    EXPECT_NE(text.find("4×Ø20"), std::string::npos) << text;
    EXPECT_NE(text.find("100"), std::string::npos) << text;
}

TEST_F(AnnotationTest, ReferencesGetAnAttributeForEveryDefinition) {
    host::ObjectId balloon, taken;
    ASSERT_EQ(services_.addBlock(db_, "BALLOON", {0, 0, 0}, &balloon), Status::Ok);
    EXPECT_EQ(services_.addBlock(db_, "balloon", {1, 1, 0}, &taken), Status::Duplicate);
    EXPECT_EQ(taken, balloon);
    EXPECT_EQ(services_.addBlock(db_, "*D1", {0, 0, 0}, nullptr), Status::InvalidInput);
    ASSERT_EQ(services_.addCircle(balloon, {0, 0, 0}, 5, "0", nullptr), Status::Ok);
    const host::AttributeDefinitionSpec number{"NO", "Item number", "?", {0, 0, 0}, 3.5, {}};
    const host::AttributeDefinitionSpec count{"QTY", "Quantity", "1", {0, -8, 0}, 2.5, {}};
    ASSERT_EQ(services_.addAttributeDefinition(balloon, number, nullptr), Status::Ok);
    ASSERT_EQ(services_.addAttributeDefinition(balloon, count, nullptr), Status::Ok);
    EXPECT_EQ(
        services_.addAttributeDefinition(balloon, {"TWO WORDS", "", "", {}, 2.5, {}}, nullptr),
        Status::InvalidInput);

    host::BlockReferenceSpec request;
    request.blockRecord = balloon;
    request.position = {100, 50, 0};
    request.rotation = kPi / 2;
    request.scale = {2, 2, 2};
    request.attributes = {{"no", "7"}};
    host::ObjectId reference;
    ASSERT_EQ(services_.addBlockReference(model_, request, &reference), Status::Ok);
    const auto attributes = services_.attributes(reference);
    ASSERT_EQ(attributes.size(), 2u);
    host::TextInfo first, second;
    ASSERT_EQ(services_.textInfo(attributes[0], first), Status::Ok);
    ASSERT_EQ(services_.textInfo(attributes[1], second), Status::Ok);
    EXPECT_EQ(first.tag + "=" + first.text, "NO=7");
    EXPECT_EQ(second.tag + "=" + second.text, "QTY=1");
    // (0, -8) turned a quarter and doubled lands 16 to the right of the insertion point.
    EXPECT_NEAR(second.position.x, 116, 1e-9);
    EXPECT_NEAR(second.position.y, 50, 1e-9);
    EXPECT_NEAR(second.height, 5, 1e-12);
    EXPECT_NEAR(second.rotation, kPi / 2, 1e-12);

    const std::string out = savedAndChecked("balloons.dxf");
    const auto read = facts(out, "ATTRIB", 5);
    ASSERT_EQ(read.size(), 2u) << out;
    EXPECT_EQ(read[0][3] + "=" + read[0][4], "NO=7");
    EXPECT_NEAR(std::stod(read[0][1]), 100, 1e-9);
    EXPECT_EQ(read[1][3] + "=" + read[1][4], "QTY=1");
    EXPECT_NEAR(std::stod(read[1][1]), 116, 1e-9);
    EXPECT_NEAR(std::stod(read[1][2]), 50, 1e-9);
}

// Every kind of entity through every kind of placement, and refusals, are the drawing suite's
// (Explode); here what the interface adds: layers, nested references, attributes.
TEST_F(AnnotationTest, ExplodedReferencesKeepLayersAndAttributes) {
    ASSERT_EQ(services_.addLayer(db_, "CUT", 1, nullptr), Status::Ok);
    ASSERT_EQ(services_.addLayer(db_, "REF", 3, nullptr), Status::Ok);
    host::ObjectId tag, plate;
    ASSERT_EQ(services_.addBlock(db_, "TAG", {0, 0, 0}, &tag), Status::Ok);
    ASSERT_EQ(services_.addAttributeDefinition(tag, {"NO", "", "1", {0, 0, 0}, 2.5, {}}, nullptr),
              Status::Ok);
    ASSERT_EQ(services_.addBlock(db_, "PLATE", {10, 5, 0}, &plate), Status::Ok);
    ASSERT_EQ(services_.addLine(plate, {10, 5, 0}, {60, 5, 0}, "0", nullptr), Status::Ok);
    ASSERT_EQ(services_.addArc(plate, {40, 20, 0}, 10, 0.2, kPi / 2, "CUT", nullptr), Status::Ok);
    host::BlockReferenceSpec nested;
    nested.blockRecord = tag;
    nested.position = {50, 40, 0};
    nested.rotation = 0.3;
    ASSERT_EQ(services_.addBlockReference(plate, nested, nullptr), Status::Ok);
    ASSERT_EQ(
        services_.addAttributeDefinition(plate, {"NAME", "", "P1", {35, 0, 0}, 2.5, {}}, nullptr),
        Status::Ok);
    const auto inside = services_.blockEntities(plate);

    for (const host::Vector3d& scale : {host::Vector3d{1, 1, 1}, host::Vector3d{-1.5, -1.5, 1.5}}) {
        host::BlockReferenceSpec request;
        request.blockRecord = plate;
        request.position = {100, -100, 0};
        request.rotation = 2.0;
        request.scale = scale;
        request.layer = "REF";
        host::ObjectId reference;
        ASSERT_EQ(services_.addBlockReference(model_, request, &reference), Status::Ok);
        host::BlockReferenceInfo placed, was, now;
        ASSERT_EQ(services_.blockReference(reference, placed), Status::Ok);
        std::vector<host::ObjectId> created;
        ASSERT_EQ(services_.explodeBlockReference(reference, &created), Status::Ok);
        host::EntityInfo gone;
        EXPECT_EQ(services_.entityInfo(reference, gone), Status::NotFound);
        // The line, arc and reference, then the attribute as a text.
        ASSERT_EQ(created.size(), 4u);
        std::string layers;
        for (const host::ObjectId id : created) {
            host::EntityInfo info;
            ASSERT_EQ(services_.entityInfo(id, info), Status::Ok);
            layers += info.dxfName + "@" + info.layer + " ";
        }
        EXPECT_EQ(layers, "LINE@REF ARC@CUT INSERT@REF TEXT@REF ");
        ASSERT_EQ(services_.blockReference(inside[2], was), Status::Ok);
        ASSERT_EQ(services_.blockReference(created[2], now), Status::Ok);
        const host::Matrix3d want = placed.transform * was.transform;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j)
                EXPECT_NEAR(now.transform.m[i][j], want.m[i][j], 1e-9) << scale.x;
        EXPECT_EQ(services_.attributes(created[2]).size(), 1u);
        host::TextInfo name;
        ASSERT_EQ(services_.textInfo(created[3], name), Status::Ok);
        EXPECT_EQ(name.text, "P1");
        const host::Point3d at = placed.transform.transform(host::Point3d{35, 0, 0});
        EXPECT_NEAR(name.position.x, at.x, 1e-9);
        EXPECT_NEAR(name.position.y, at.y, 1e-9);
    }

    const std::string out = savedAndChecked("exploded.dxf");
    EXPECT_EQ(facts(out, "ENTITY INSERT", 1).size(), 2u) << out;
}

}  // namespace
}  // namespace qkshost
