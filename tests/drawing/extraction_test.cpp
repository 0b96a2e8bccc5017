// Part extraction on real DXF drawings read by qkshost in-process.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "nest_job_support.h"
#include "qks/common/job_log.h"
#include "qks/drawing/extraction.h"
#include "qks/testing/process.h"
#include "qkshost/app/host_application.h"

namespace {

namespace host = qks::host;
using qks::contract::PartRecord;
using qks::testing::kNestFixtures;
using qks::testing::logLines;
using qks::testing::TempDir;

struct Extracted {
    std::vector<PartRecord> parts;
    std::vector<std::string> log;
    std::vector<std::string> modelHandles;  // handles of the model space, record order
};

// "made/NAME" is a fixture the fixture script writes into a folder of this test program's own
// (not kept in the project), once; other names are those of tests/fixtures/nest.
std::string fixturePath(const std::string& fixture) {
    static const TempDir made;
    static const std::string written = qks::testing::runCommand(
        "/usr/bin/python3 " + kNestFixtures + "make_fixtures.py extraction " + made.path());
    if (fixture.rfind("made/", 0) != 0) return kNestFixtures + fixture;
    EXPECT_EQ(written, "");
    return made.path() + fixture.substr(4);
}

Extracted extract(const std::string& fixture, const std::vector<std::string>& layers = {}) {
    const std::string path = fixturePath(fixture);
    qkshost::HostApplication app;
    host::DrawingServices& ds = *app.drawingServices();
    TempDir dir;
    qks::setJobLogPath(qks::LogChannel::Nest, dir.file("nest.log"));
    qks::resetJobLog(qks::LogChannel::Nest);
    Extracted result;
    host::ScopedDatabase database(&ds, ds.createDatabase(false));
    std::string message;
    EXPECT_EQ(ds.readDrawingFile(database.get(), path, &message), host::Status::Ok) << message;
    for (const host::ObjectId id : ds.blockEntities(ds.modelSpace(database.get()))) {
        host::EntityInfo info;
        ds.entityInfo(id, info);
        result.modelHandles.push_back(info.handle);
    }
    std::int32_t nextId = 1;
    qks::drawing::ExtractionOptions options;
    options.layers = layers;
    qks::drawing::extractModelSpace(ds, database.get(), path, "stem", options, result.parts,
                                    nextId);
    qks::drawing::mergeIdenticalKinds(result.parts);
    result.log = logLines(dir.file("nest.log"));
    qks::setJobLogPath(qks::LogChannel::Nest, {});
    return result;
}

TEST(NestExtraction, FixtureCases) {
    struct Case {
        std::string fixture;
        std::vector<std::string> layers;
        std::size_t kinds;
        double area, width, height;  // of the first kind
        std::size_t holes;
        int quantity;
        std::vector<std::string> log;
        std::string name = "stem";  // of the first kind
    };
    const std::vector<Case> cases = {
        {"rect_hole.dxf", {}, 1, 5000, 100, 50, 1, 1, {}},
        {"loose_lines.dxf", {}, 1, 3200, 80, 40, 0, 1, {}},
        {"open_u.dxf", {}, 0, 0, 0, 0, 0, 0, {"WARN 有 1 段开放线未闭合，已忽略"}},
        // Parts from block references are parts found: no warning that none were.
        {"ten_refs.dxf", {}, 1, 1800, 60, 30, 0, 10, {}, "PLATE"},
        // Block contents join the arrangement: a block of two rectangles gives both, each
        // named after the block; holes in an anonymous block are the plate's holes; a block
        // per contour gives panels with holes; nested blocks and the same block turned and
        // mirrored give one kind.
        {"two_rects_block.dxf", {}, 2, 5000, 100, 50, 0, 1, {}, "TWIN"},
        {"anon_holes_block.dxf", {}, 1, 20000, 200, 100, 4, 1, {}},
        {"block_per_contour.dxf", {}, 2, 5000, 100, 50, 3, 1, {}, "P1"},
        {"nested_blocks.dxf", {}, 1, 7200, 120, 60, 2, 2, {}, "PANEL"},
        {"twelve_refs.dxf", {}, 1, 1800, 60, 30, 1, 12, {}, "BRACKET"},
        // Circles on a layer "dim" inside the part are its holes; the centre-mark cross, the
        // circle off the part, the dimension and the note are left out.
        {"dim_layer_holes.dxf", {}, 1, 20000, 200, 100, 3, 1, {"NEST 略过非切割图形 图层 5"}},
        // The same for the holes an anonymous block on "dim" draws through nested references;
        // the block's centre mark, note and circle off the plate stay out.
        {"made/dim_block_holes.dxf", {}, 1, 60000, 300, 200, 18, 1, {"NEST 略过非切割图形 图层 4"}},
        // A field of holes drawn as one multiple insert, turned: each cell of its grid is a hole.
        {"made/minsert_holes.dxf", {}, 1, 60000, 300, 200, 12, 1, {}},
        // A dimension on "dim" with dots for arrowheads, and a reference of its block: no holes.
        {"made/dim_block_dimension.dxf",
         {},
         1,
         20000,
         200,
         100,
         1,
         1,
         {"NEST 略过非切割图形 图层 2"}},
        // Fold lines do not cut the plate.
        {"fold_lines.dxf", {}, 1, 20000, 200, 100, 0, 1, {"NEST 略过非切割图形 图层 2"}},
        {"layers.dxf", {"cut"}, 1, 2100, 70, 30, 0, 1, {}},
        {"layers.dxf", {}, 2, 2100, 70, 30, 0, 1, {}},
        {"layers.dxf", {"zzz"}, 0, 0, 0, 0, 0, 0, {"WARN 选择中没有找到闭合轮廓"}},
        // The disc inside the square's hole is a part of its own, not a second hole.
        {"circle_in_hole.dxf", {}, 2, 40000, 200, 200, 1, 1, {}},
        {"sliver.dxf", {}, 1, 100, 10, 10, 0, 1, {}},
        // Millimetres whatever the drawing's unit; a header's metres that would make a
        // 100-metre part are taken for millimetres.
        {"inch_plate.dxf", {}, 1, 5161.28, 101.6, 50.8, 1, 1, {"NEST 图纸单位 英寸 ×25.4 $SRC"}},
        {"metres_header.dxf",
         {},
         1,
         5000,
         100,
         50,
         0,
         1,
         {"NEST 图纸单位 米 与图形尺寸不符，按毫米读取 $SRC"}},
        // Frame and title block, a centre line and a closed rectangle on a dimension layer
        // are left out, by count.
        {"drawing_sheet.dxf",
         {},
         1,
         5000,
         100,
         50,
         1,
         1,
         {"NEST 略过非切割图形 图框/标题栏 2，图层 1，线型 1"}},
        // A frame drawn as lines, with its border and title block, around two plates; a
        // bare rectangle of the sheet's size is a part.
        {"line_frame.dxf", {}, 2, 5000, 100, 50, 1, 1, {"NEST 略过非切割图形 图框/标题栏 14"}},
        {"plain_a3.dxf", {}, 1, 124740, 420, 297, 0, 1, {}},
        // Frames on layer 0 marked only by their corners (A3 at 1:1 with border and title grid,
        // at 1:2 with border) and one drawn in a block, each around the same plate.
        {"made/corner_frames.dxf",
         {},
         1,
         5000,
         100,
         50,
         1,
         3,
         {"NEST 略过非切割图形 图框/标题栏 44"}},
        // A DIN A4 template's border with its title grid, the sheet's edge not drawn: the
        // frame, not a part cut by its grid.
        {"made/border_frame.dxf",
         {},
         1,
         5000,
         100,
         50,
         1,
         1,
         {"NEST 略过非切割图形 图框/标题栏 10"}},
        // A German A3 template: its second border (the layer written after the line's own
        // subclass marker) and title block are on Rahmen and Plankopf layers, left out.
        {"made/german_frame.dxf",
         {},
         1,
         5000,
         100,
         50,
         1,
         1,
         {"NEST 略过非切割图形 图框/标题栏 8，图层 8"}},
        // A frame block at a scale of its own, its title block (with a projection symbol in a
        // cell) and revision table drawn beside it as loose lines reaching its border: the
        // frame's, not cells to cut.
        {"made/frame_block_tables.dxf",
         {},
         1,
         5000,
         100,
         50,
         1,
         1,
         {"NEST 略过非切割图形 图框/标题栏 12"}},
        // One outline with the bore elsewhere is another kind; turned a quarter, the same.
        {"bores_placed.dxf", {}, 2, 5000, 100, 50, 1, 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const Extracted got = extract(c.fixture, c.layers);
        std::vector<std::string> log = c.log;
        for (std::string& line : log)
            if (const auto at = line.find("$SRC"); at != std::string::npos)
                line.replace(at, 4, fixturePath(c.fixture));
        EXPECT_EQ(got.log, log);
        ASSERT_EQ(got.parts.size(), c.kinds);
        if (c.kinds == 0) continue;
        const PartRecord& part = got.parts.front();
        EXPECT_NEAR(part.area, c.area, 1e-6);
        EXPECT_NEAR(part.width, c.width, 1e-6);
        EXPECT_NEAR(part.height, c.height, 1e-6);
        EXPECT_EQ(part.holes.size(), c.holes);
        EXPECT_EQ(part.quantity, c.quantity);
        EXPECT_EQ(part.source, fixturePath(c.fixture));
        EXPECT_EQ(part.name, c.name);
    }
}

TEST(NestExtraction, HandlesAndIds) {
    // The four loose lines make one part that carries every line's handle.
    const Extracted lines = extract("loose_lines.dxf");
    ASSERT_EQ(lines.parts.size(), 1u);
    std::vector<std::string> handles = lines.parts[0].handles;
    std::vector<std::string> model = lines.modelHandles;
    std::sort(handles.begin(), handles.end());
    std::sort(model.begin(), model.end());
    EXPECT_EQ(handles, model);
    EXPECT_EQ(lines.parts[0].name, "stem");

    // Ten references merge into one kind that keeps only the first reference's handle and
    // the block's name.
    const Extracted refs = extract("ten_refs.dxf");
    ASSERT_EQ(refs.parts.size(), 1u);
    EXPECT_EQ(refs.parts[0].handles, std::vector<std::string>{refs.modelHandles.front()});
    EXPECT_EQ(refs.parts[0].name, "PLATE");

    // A reference that draws two parts is no part's source geometry: both keep no handles
    // and are drawn from their outlines. Holes in an anonymous block stay with the plate.
    const Extracted twin = extract("two_rects_block.dxf");
    ASSERT_EQ(twin.parts.size(), 2u);
    EXPECT_TRUE(twin.parts[0].handles.empty());
    EXPECT_TRUE(twin.parts[1].handles.empty());
    const Extracted plate = extract("anon_holes_block.dxf");
    ASSERT_EQ(plate.parts.size(), 1u);
    EXPECT_EQ(plate.parts[0].handles, plate.modelHandles);
    // A reference on "dim" that draws a note beside the holes would bring it along.
    const Extracted perforated = extract("made/dim_block_holes.dxf");
    ASSERT_EQ(perforated.parts.size(), 1u);
    EXPECT_TRUE(perforated.parts[0].handles.empty());

    // A dropped sliver keeps its id used.
    const Extracted sliver = extract("sliver.dxf");
    ASSERT_EQ(sliver.parts.size(), 1u);
    EXPECT_EQ(sliver.parts[0].id, 2);

    // Outline and holes: the outline's handle first, then the holes'; the disc in the hole
    // is a part of its own.
    const Extracted nested = extract("circle_in_hole.dxf");
    ASSERT_EQ(nested.parts.size(), 2u);
    const std::vector<std::string>& model3 = nested.modelHandles;
    ASSERT_EQ(model3.size(), 3u);
    EXPECT_EQ(nested.parts[0].handles, (std::vector<std::string>{model3[0], model3[1]}));
    EXPECT_EQ(nested.parts[1].handles, std::vector<std::string>{model3[2]});
}

TEST(NestExtraction, LayerFilterMatchesSubstringsIgnoringCase) {
    using qks::drawing::layerAccepted;
    EXPECT_TRUE(qks::drawing::layerAccepted({}, "anything"));
    EXPECT_TRUE(qks::drawing::layerAccepted({"cut"}, "CUT"));
    EXPECT_TRUE(qks::drawing::layerAccepted({"cut"}, "Cut-2"));
    EXPECT_TRUE(qks::drawing::layerAccepted({"cut"}, "outer_cut"));
    EXPECT_TRUE(qks::drawing::layerAccepted({"x", "cut"}, "CUT_OUTER"));
    EXPECT_FALSE(qks::drawing::layerAccepted({"cut"}, "0"));
}

}  // namespace
