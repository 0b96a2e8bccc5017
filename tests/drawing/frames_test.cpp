// Frame recognition on drawings built in the real qkshost database and on the ezdxf fixture.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "plot_fixture.h"
#include "qks/drawing/frames.h"

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
        EXPECT_EQ(qks::drawing::isFrameName(name), expected) << name;
}

std::vector<std::string> names(const std::vector<qks::drawing::PlotWindow>& frames) {
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
        {"polyline frames inside blocks, and those of paper space, are not model space's",
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
        const auto frames = qks::drawing::findFrames(f.ds(), f.databaseId(db));
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
        EXPECT_EQ(qks::drawing::readTitleAttribute(f.ds(), db.idOf(ref)),
                  c.title == c.block ? std::string() : c.title)
            << c.what;
        const auto frames = qks::drawing::findFrames(f.ds(), f.databaseId(db));
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
    EXPECT_EQ(names(qks::drawing::findFrames(f.ds(), f.databaseId(db))),
              std::vector<std::string>{"FIRST"});
}

// A rectangle of LINEs through the host, each side drawn in `pieces` collinear parts.
void addLineRect(qks::host::DrawingServices& ds, qks::host::ObjectId model, double x0, double y0,
                 double x1, double y1, const std::string& layer, int pieces = 1) {
    ds.addLayer(ds.databaseOf(model), layer, 7, nullptr);
    const double xs[] = {x0, x1, x1, x0, x0}, ys[] = {y0, y0, y1, y1, y0};
    for (int side = 0; side < 4; ++side)
        for (int k = 0; k < pieces; ++k) {
            const double a = double(k) / pieces, b = double(k + 1) / pieces;
            ds.addLine(model,
                       {xs[side] + a * (xs[side + 1] - xs[side]),
                        ys[side] + a * (ys[side + 1] - ys[side]), 0},
                       {xs[side] + b * (xs[side + 1] - xs[side]),
                        ys[side] + b * (ys[side + 1] - ys[side]), 0},
                       layer, nullptr);
        }
}

// Row lines from `left` to the border's right side and column lines up from its bottom: the
// cells of a title block, in sheet millimetres times `s` from the border's corner (x1, y0).
void addTitleGrid(qks::host::DrawingServices& ds, qks::host::ObjectId model, double x1, double y0,
                  double s, const std::string& layer) {
    ds.addLayer(ds.databaseOf(model), layer, 7, nullptr);
    for (const double v : {20.0, 38.0, 56.0})
        ds.addLine(model, {x1 - 180 * s, y0 + v * s, 0}, {x1, y0 + v * s, 0}, layer, nullptr);
    for (const double u : {180.0, 100.0, 50.0})
        ds.addLine(model, {x1 - u * s, y0, 0}, {x1 - u * s, y0 + 56 * s, 0}, layer, nullptr);
}

// Two lines of `length` from each corner of the rectangle along its sides: trim marks when
// short, the rectangle's corner pieces when long.
void addCornerMarks(qks::host::DrawingServices& ds, qks::host::ObjectId space, double x0, double y0,
                    double x1, double y1, double length, const std::string& layer) {
    ds.addLayer(ds.databaseOf(space), layer, 7, nullptr);
    for (const auto& [x, y, dx, dy] : {std::array<double, 4>{x0, y0, 1, 1},
                                       {x1, y0, -1, 1},
                                       {x1, y1, -1, -1},
                                       {x0, y1, 1, -1}}) {
        ds.addLine(space, {x, y, 0}, {x + dx * length, y, 0}, layer, nullptr);
        ds.addLine(space, {x, y, 0}, {x, y + dy * length, 0}, layer, nullptr);
    }
}

TEST(Frames, FramesDrawnAsLines) {
    using Ds = qks::host::DrawingServices;
    using Id = qks::host::ObjectId;
    struct Case {
        const char* what;
        void (*build)(Ds&, Id, drawing::Database&);
        std::vector<std::vector<double>> boxes;
        std::vector<std::string> names;
        std::vector<std::string> layouts = {};  // of each frame; empty: all in model space
    } cases[] = {
        {"GB A3 at 1:2, sides in pieces, with its inner border",
         [](Ds& ds, Id model, drawing::Database&) {
             addLineRect(ds, model, 0, 0, 840, 594, "6外框", 3);
             addLineRect(ds, model, 50, 10, 830, 584, "6内框");
         },
         {{0, 0, 840, 594}},
         {""}},
        {"ISO A3 on FRAME layers with border and title grid",
         [](Ds& ds, Id model, drawing::Database&) {
             addLineRect(ds, model, 0, 0, 420, 297, "FRAME050");
             addLineRect(ds, model, 20, 10, 410, 287, "FRAME070");
             addTitleGrid(ds, model, 410, 10, 1, "FRAME200");
         },
         {{0, 0, 420, 297}},
         {""}},
        {"a bare A3 rectangle is a part, even on a frame-worded layer",
         [](Ds& ds, Id model, drawing::Database& db) {
             addLineRect(ds, model, 0, 0, 420, 297, "0");
             addRectangle(db, 500, 0, 920, 297, "外框");
             addLineRect(ds, model, 1000, 0, 1420, 297, "0");
             addLineRect(ds, model, 1100, 100, 1200, 150, "0");  // a plate inside is no border
         },
         {},
         {}},
        {"closed A3 polyline with a title grid in its lower-right corner",
         [](Ds& ds, Id model, drawing::Database& db) {
             addRectangle(db, 0, 0, 297, 420);
             addTitleGrid(ds, model, 297, 0, 1, "0");
         },
         {{0, 0, 297, 420}},
         {""}},
        {"two frames edge to edge, their long lines shared",
         [](Ds& ds, Id model, drawing::Database&) {
             ds.addLine(model, {0, 0, 0}, {840, 0, 0}, "0", nullptr);
             ds.addLine(model, {0, 297, 0}, {840, 297, 0}, "0", nullptr);
             for (const double x : {0.0, 420.0, 840.0})
                 ds.addLine(model, {x, 0, 0}, {x, 297, 0}, "0", nullptr);
             addLineRect(ds, model, 25, 5, 415, 292, "0");
             addLineRect(ds, model, 445, 5, 835, 292, "0");
         },
         {{0, 0, 420, 297}, {420, 0, 840, 297}},
         {"", ""}},
        {"ISO A3 by its trim corners, with border and title grid: the sheet is the frame",
         [](Ds& ds, Id model, drawing::Database&) {
             addCornerMarks(ds, model, 0, 0, 420, 297, 10, "0");
             addLineRect(ds, model, 10, 10, 410, 287, "0");
             addTitleGrid(ds, model, 410, 10, 1, "0");
         },
         {{0, 0, 420, 297}},
         {""}},
        {"A3 at 1:2 by its trim corners, with its border",
         [](Ds& ds, Id model, drawing::Database&) {
             addCornerMarks(ds, model, 0, 0, 840, 594, 20, "0");
             addLineRect(ds, model, 20, 20, 820, 574, "0");
         },
         {{0, 0, 840, 594}},
         {""}},
        {"trim corners and a bare rectangle on the same corners, no border or grid: parts",
         [](Ds& ds, Id model, drawing::Database&) {
             addCornerMarks(ds, model, 0, 0, 420, 297, 10, "FRAME200");
             addLineRect(ds, model, 0, 0, 420, 297, "0");
         },
         {},
         {}},
        {"1:3, 1:4, 1:15 and 1:25, by corner pieces, each with its border 10 sheet mm in",
         [](Ds& ds, Id model, drawing::Database&) {
             const double sheets[][3] = {
                 {297, 210, 3}, {1189, 841, 4}, {420, 297, 15}, {297, 210, 25}};
             double x = 0;
             for (const auto& [w, h, s] : sheets) {
                 addCornerMarks(ds, model, x, 0, x + w * s, h * s, 100 * s, "0");
                 addLineRect(ds, model, x + 10 * s, 10 * s, x + (w - 10) * s, (h - 10) * s, "0");
                 x += w * s + 1000;
             }
         },
         {{14947, 0, 22372, 5250}, {7647, 0, 13947, 4455}, {1891, 0, 6647, 3364}, {0, 0, 891, 630}},
         {"", "", "", ""}},
        {"ISO A3 drawn in inches (an imperial template), with border and title grid",
         [](Ds& ds, Id model, drawing::Database&) {
             const double in = 1 / 25.4;
             addLineRect(ds, model, 0, 0, 420 * in, 297 * in, "0");
             addLineRect(ds, model, 10 * in, 10 * in, 410 * in, 287 * in, "0");
             addTitleGrid(ds, model, 410 * in, 10 * in, in, "0");
         },
         {{0, 0, 420 * (1 / 25.4), 297 * (1 / 25.4)}},
         {""}},
        {"borders with a title grid, the sheet not drawn: the sheet around them (A4 10 in all "
         "round, an A3 polyline with the 20 mm binding margin); a bare one is a part",
         [](Ds& ds, Id model, drawing::Database& db) {
             addLineRect(ds, model, 10, 10, 200, 287, "0");
             addTitleGrid(ds, model, 200, 10, 1, "0");
             addRectangle(db, 1020, 10, 1410, 287, "0");
             addTitleGrid(ds, model, 1410, 10, 1, "0");
             addLineRect(ds, model, 2010, 10, 2200, 287, "0");
         },
         {{0, 0, 210, 297}, {1000, 0, 1420, 297}},
         {"", ""}},
        {"a frame block of LINEs shown at 1:2 and turned a quarter, titled by its reference",
         [](Ds& ds, Id, drawing::Database& db) {
             drawing::ObjectIndex block = 0;
             db.addBlock("SHEET", &block);
             addLineRect(ds, db.idOf(block), 0, 0, 420, 297, "0");
             addLineRect(ds, db.idOf(block), 25, 5, 415, 292, "0");
             auto* doubled = db.get<drawing::BlockReference>(
                 addReference(db, block, 0, 0, {{"图号", "QK-05"}}));
             doubled->scaleX = doubled->scaleY = 2;
             db.get<drawing::BlockReference>(addReference(db, block, 1000, 0))->rotation = M_PI / 2;
         },
         {{0, 0, 840, 594}, {703, 0, 1000, 420}},
         {"QK-05", ""}},
        {"a frame in paper space by its trim corners, after model space's, on its layout",
         [](Ds& ds, Id model, drawing::Database& db) {
             addLineRect(ds, model, 0, 0, 420, 297, "0");
             addLineRect(ds, model, 25, 5, 415, 292, "0");
             const Id paper = db.idOf(db.paperSpace());
             addCornerMarks(ds, paper, 0, 0, 420, 297, 10, "0");
             addLineRect(ds, paper, 10, 10, 410, 287, "0");
             addTitleGrid(ds, paper, 410, 10, 1, "0");
         },
         {{0, 0, 420, 297}, {0, 0, 420, 297}},
         {"", ""},
         {"", "Layout1"}},
        {"frames by name and drawn ones, once each, in reading order",
         [](Ds& ds, Id model, drawing::Database& db) {
             addLineRect(ds, model, 500, 0, 920, 297, "0");
             addLineRect(ds, model, 525, 5, 915, 292, "0");
             addRectangle(db, 0, 0, 420, 297, "0图框");
             addLineRect(ds, model, 25, 5, 415, 292, "0");
             addReference(db, addFrameBlock(db, "A3_TK", 420, 297), 0, 400);
         },
         {{0, 400, 420, 697}, {0, 0, 420, 297}, {500, 0, 920, 297}},
         {"A3_TK", "", ""}},
    };
    for (const auto& c : cases) {
        PlotFixture f;
        auto& db = f.newDrawing();
        const Id model = f.ds().modelSpace(f.databaseId(db));
        c.build(f.ds(), model, db);
        auto frames = qks::drawing::findFrames(f.ds(), f.databaseId(db));
        for (qks::drawing::PlotWindow& frame :
             qks::drawing::findLayoutFrames(f.ds(), f.databaseId(db)))
            frames.push_back(std::move(frame));
        ASSERT_EQ(frames.size(), c.boxes.size()) << c.what;
        EXPECT_EQ(names(frames), c.names) << c.what;
        std::vector<std::string> layouts;
        for (const qks::drawing::PlotWindow& frame : frames)
            layouts.push_back(frame.layout);
        EXPECT_EQ(layouts, c.layouts.empty() ? std::vector<std::string>(frames.size()) : c.layouts)
            << c.what;
        for (std::size_t i = 0; i < frames.size(); ++i)
            EXPECT_EQ((std::vector<double>{frames[i].minX, frames[i].minY, frames[i].maxX,
                                           frames[i].maxY}),
                      c.boxes[i])
                << c.what;
    }
}

TEST(Frames, EzdxfFixture) {
    PlotFixture f;
    std::string error;
    const auto doc = f.app().openDocument(
        std::string(QKS_TEST_SOURCE_DIR) + "/tests/fixtures/plot/frames.dxf", error);
    ASSERT_TRUE(doc) << error;
    const auto frames = qks::drawing::findFrames(f.ds(), f.databaseId(f.database(doc)));
    EXPECT_EQ(names(frames), (std::vector<std::string>{"QK-001", "", "QK-002 图纸"}));
}

TEST(Frames, NoDatabaseNoFrames) {
    PlotFixture f;
    EXPECT_TRUE(qks::drawing::findFrames(f.ds(), qks::host::DatabaseId{}).empty());
    EXPECT_TRUE(qks::drawing::findFrames(f.ds(), qks::host::DatabaseId{987654}).empty());
}

}  // namespace
