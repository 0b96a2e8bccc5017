// Frame recognition on drawings built in the real qkshost database and on the ezdxf fixture.
#include <gtest/gtest.h>

#include "plot_fixture.h"
#include "qks/plot/frames.h"

namespace {

using namespace qks::plot;
using namespace qks::plot::testing;

TEST(Frames, FrameNames) {
    const std::pair<std::string, bool> cases[] = {
        {"A3_TK", true},    {"Title-Block", true}, {"A5", false}, {"0图框", true},
        {"FRAME", true},    {"Border_1", true},    {"a0", true},  {"A4图", true},
        {"Part", false},    {"", false},           {"ΤΚ", false}, {"tK", true},
        {"a5_frame", true}, {"图", false},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(isFrameName(name), expected) << name;
}

std::vector<std::string> names(const std::vector<PlotWindow>& frames) {
    std::vector<std::string> out;
    for (const auto& f : frames)
        out.push_back(f.name);
    return out;
}

TEST(Frames, PolylineFramesAndTheirOrder) {
    struct Case {
        const char* what;
        void (*build)(drawing::Database&);
        std::vector<std::vector<double>> boxes;  // min x, min y, max x, max y in order
    } cases[] = {
        {"rows top to bottom, left to right",
         [](drawing::Database& db) {
             addRectangle(db, 0, 0, 420, 297, "0图框");
             addRectangle(db, 500, 0, 920, 297, "0图框");
             addRectangle(db, 0, 400, 420, 697, "0图框");
         },
         {{0, 400, 420, 697}, {0, 0, 420, 297}, {500, 0, 920, 297}}},
        {"tops within 0.8 are one row",
         [](drawing::Database& db) {
             addRectangle(db, 500, 0, 920, 297.8, "FRAME");
             addRectangle(db, 0, -10, 420, 297, "FRAME");
         },
         {{0, -10, 420, 297}, {500, 0, 920, 297.8}}},
        {"five vertices, open, tiny and off-layer polylines are no frames",
         [](drawing::Database& db) {
             addRectangle(db, 0, 0, 420, 297, "0图框", 0, true, 5);
             addRectangle(db, 0, 0, 420, 297, "0图框", 0, false);
             addRectangle(db, 0, 0, 0.5, 297, "0图框");
             addRectangle(db, 0, 0, 420, 297, "PARTS");
             addRectangle(db, 10, 10, 20, 20, "A3");
         },
         {{10, 10, 20, 20}}},
        {"a repeated frame is found once",
         [](drawing::Database& db) {
             addRectangle(db, 0, 0, 420, 297, "tk");
             addRectangle(db, 0.5, 0.5, 420.5, 296.5, "tk");
         },
         {{0, 0, 420, 297}}},
        {"frames inside blocks and in paper space are not searched",
         [](drawing::Database& db) {
             drawing::ObjectIndex block = 0;
             db.addBlock("HOLDER", &block);
             addRectangle(db, 0, 0, 420, 297, "0图框", block);
             addReference(db, block, 0, 0);
             addRectangle(db, 0, 0, 420, 297, "0图框", db.paperSpace());
         },
         {}},
    };
    for (const auto& c : cases) {
        PlotFixture f;
        auto& db = f.newDrawing();
        c.build(db);
        const auto frames = findFrames(f.ds(), f.databaseId(db));
        ASSERT_EQ(frames.size(), c.boxes.size()) << c.what;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_NEAR(frames[i].minX, c.boxes[i][0], 1e-9) << c.what;
            EXPECT_NEAR(frames[i].minY, c.boxes[i][1], 1e-9) << c.what;
            EXPECT_NEAR(frames[i].maxX, c.boxes[i][2], 1e-9) << c.what;
            EXPECT_NEAR(frames[i].maxY, c.boxes[i][3], 1e-9) << c.what;
            EXPECT_EQ(frames[i].name, "") << c.what;
        }
    }
}

TEST(Frames, TitlesFromAttributes) {
    struct Case {
        const char* what;
        std::string block;
        std::vector<std::pair<std::string, std::string>> attributes;
        std::string title;
        bool frame;
    } cases[] = {
        {"drawing number", "A3_TK", {{"图号", "QK-01"}}, "QK-01", true},
        {"first qualifying attribute wins",
         "A3_TK",
         {{"图名", "总装图"}, {"图号", "QK-01"}},
         "总装图",
         true},
        {"blank titles do not count",
         "Title-Block",
         {{"图名", "   "}, {"DwgNo", " X-1 "}},
         "X-1",
         true},
        {"tags ignore case", "FRAME", {{"dwgno", "lower"}}, "lower", true},
        {"other tags are not titles", "FRAME", {{"DATE", "2026"}, {"title", "T"}}, "T", true},
        {"no title: the block name", "Border", {{"图名", " \t"}, {"DATE", "2026"}}, "Border", true},
        {"not a frame block", "PART", {{"NAME", "bolt"}}, "bolt", false},
    };
    for (const auto& c : cases) {
        PlotFixture f;
        auto& db = f.newDrawing();
        const drawing::ObjectIndex block = addFrameBlock(db, c.block, 420, 297);
        const drawing::ObjectIndex ref = addReference(db, block, 100, 50, c.attributes);
        EXPECT_EQ(readTitleAttribute(f.ds(), db.idOf(ref)),
                  c.title == c.block ? std::string() : c.title)
            << c.what;
        const auto frames = findFrames(f.ds(), f.databaseId(db));
        ASSERT_EQ(frames.size(), c.frame ? 1u : 0u) << c.what;
        if (!c.frame) continue;
        EXPECT_EQ(frames[0].name, c.title) << c.what;
        EXPECT_NEAR(frames[0].minX, 100, 1e-9);
        EXPECT_NEAR(frames[0].maxY, 347, 1e-9);
    }
}

TEST(Frames, FirstOfTwoCoincidentFramesWins) {
    PlotFixture f;
    auto& db = f.newDrawing();
    const drawing::ObjectIndex block = addFrameBlock(db, "A3_TK", 420, 297);
    addReference(db, block, 0, 0, {{"图号", "FIRST"}});
    addReference(db, block, 0, 0, {{"图号", "SECOND"}});
    addRectangle(db, 0, 0, 420, 297, "0图框");
    EXPECT_EQ(names(findFrames(f.ds(), f.databaseId(db))), std::vector<std::string>{"FIRST"});
}

TEST(Frames, EzdxfFixture) {
    PlotFixture f;
    std::string error;
    const auto doc = f.app().openDocument(
        std::string(QKS_TEST_SOURCE_DIR) + "/tests/fixtures/plot/frames.dxf", error);
    ASSERT_TRUE(doc) << error;
    const auto frames = findFrames(f.ds(), f.databaseId(f.database(doc)));
    EXPECT_EQ(names(frames), (std::vector<std::string>{"QK-001", "", "QK-002 图纸"}));
}

TEST(Frames, NoDatabaseNoFrames) {
    PlotFixture f;
    EXPECT_TRUE(findFrames(f.ds(), qks::host::DatabaseId{}).empty());
    EXPECT_TRUE(findFrames(f.ds(), qks::host::DatabaseId{987654}).empty());
}

}  // namespace
