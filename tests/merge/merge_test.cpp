// The merge job on real drawings with qkshost in-process; every merged drawing is checked
// independently with ezdxf.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "qks/common/job_log.h"
#include "qks/merge/merge.h"
#include "qks/testing/temp_dir.h"
#include "qkshost/app/host_application.h"
#include "qkshost/app/plot_faults.h"

namespace {

namespace fs = std::filesystem;
namespace host = qks::host;
using MergeConfig = qks::contract::MergeJobConfig;
using qks::merge::MergeItem;
using qks::testing::readAll;
using qks::testing::ScopedTempFolder;
using qks::testing::TempDir;

const std::string kFixtures = std::string(QKS_TEST_SOURCE_DIR) + "/tests/fixtures/merge/";
const std::string kChecker = std::string(QKS_TEST_SOURCE_DIR) + "/tests/merge/check_merged.py";

std::string quote(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The checker's lines for a drawing; "EXIT n" last when it failed.
std::vector<std::string> describe(const std::string& drawing) {
    std::vector<std::string> lines;
    FILE* pipe = ::popen(
        ("/usr/bin/python3 " + quote(kChecker) + " " + quote(drawing) + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {"EXIT popen"};
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    const int status = ::pclose(pipe);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    if (status != 0) lines.push_back("EXIT " + std::to_string(status));
    return lines;
}

std::vector<std::string> withKind(const std::vector<std::string>& lines, const std::string& kind) {
    std::vector<std::string> out;
    for (const auto& line : lines)
        if (line.rfind(kind + " ", 0) == 0) out.push_back(line.substr(kind.size() + 1));
    return out;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines)
        out += line + "\n";
    return out;
}

struct Reference {
    double x, y;
    std::string name;
};
std::vector<Reference> references(const std::vector<std::string>& lines) {
    std::vector<Reference> out;
    for (const auto& line : withKind(lines, "INSERT")) {
        std::istringstream in(line);
        Reference r;
        double rotation;
        in >> r.x >> r.y >> rotation;
        std::getline(in >> std::ws, r.name);
        out.push_back(r);
    }
    return out;
}

struct Label {
    double x, y, height, width;
    int attachment;
    std::string style, text;
};
std::vector<Label> labels(const std::vector<std::string>& lines) {
    std::vector<Label> out;
    for (const auto& line : withKind(lines, "MTEXT")) {
        std::istringstream in(line);
        Label l;
        in >> l.x >> l.y >> l.height >> l.width >> l.attachment >> l.style;
        std::getline(in >> std::ws, l.text);
        out.push_back(l);
    }
    return out;
}

// Log lines, each checked to end in CR LF.
std::vector<std::string> logLines(const std::string& path) {
    const std::string text = readAll(path);
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "unterminated log line: " << text.substr(start);
            break;
        }
        std::string line = text.substr(start, end - start);
        EXPECT_TRUE(!line.empty() && line.back() == '\r') << line;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
        start = end + 1;
    }
    return out;
}

void copyFile(const std::string& from, const std::string& to) {
    fs::create_directories(fs::path(to).parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

class MergeTest : public ::testing::Test {
  protected:
    MergeTest() : tempFolder_(dir_.path()), ds_(*app_.drawingServices()) {
        app_.setOutputSink([](std::string_view) {});
        qks::setJobLogPath(qks::LogChannel::Plot, log_);
        qks::resetJobLog(qks::LogChannel::Plot);
    }
    ~MergeTest() override { qks::setJobLogPath(qks::LogChannel::Plot, {}); }

    std::string input(const std::string& fixture, const std::string& as) {
        const std::string path = dir_.file(as);
        copyFile(kFixtures + fixture, path);
        return path;
    }
    std::string writeConfig(const std::vector<std::string>& lines) {
        std::string text;
        for (const auto& line : lines)
            text += line + "\r\n";
        return dir_.write("merge.cfg", text);
    }

    TempDir dir_;
    ScopedTempFolder tempFolder_;
    qkshost::HostApplication app_;
    host::DrawingServices& ds_;
    const std::string log_ = dir_.file("job.log");
};

// ---------------------------------------------------------------- the grid

TEST(MergeGrid, RowsColumnsGapAndLabelAllowance) {
    const auto box = [](double w, double h, std::string label, double x0 = 0, double y0 = 0) {
        return MergeItem{{}, x0, y0, x0 + w, y0 + h, std::move(label)};
    };
    struct Placed {
        double blockX, blockY, labelX, labelY;
        int lines;
    };
    struct Case {
        const char* what;
        std::vector<MergeItem> items;
        int columns;
        double spacing;
        double gap, h;
        std::vector<Placed> expected;
    } cases[] = {
        {"five 100 x 50 in two columns",
         {box(100, 50, "a"), box(100, 50, "b"), box(100, 50, "c"), box(100, 50, "d"),
          box(100, 50, "e")},
         2,
         0.12,
         12,
         3,
         {{0, -50, 0, -55.4, 1},
          {112, -50, 112, -55.4, 1},
          {0, -122.2, 0, -127.6, 1},
          {112, -122.2, 112, -127.6, 1},
          {0, -194.4, 0, -199.8, 1}}},
        {"a 40-character label under a 60-wide block takes two lines",
         {box(60, 50, std::string(40, 'L')), box(100, 50, "b"), box(100, 50, "c")},
         2,
         0.12,
         12,
         3,
         {{0, -50, 0, -55.4, 2}, {72, -50, 72, -55.4, 1}, {0, -127, 0, -132.4, 1}}},
        {"characters, not bytes: 20 Chinese characters fit one line of 60",
         {box(60, 50, "零一二三四五六七八九零一二三四五六七八九")},
         3,
         0.12,
         10,
         3,
         {{0, -50, 0, -55.4, 1}}},
        {"extents away from the origin are moved onto the grid; columns 0 means one",
         {box(60, 30, "off", 1000, 2000), box(100, 50, "b")},
         0,
         0.5,
         50,
         3,
         {{-1000, -2030, 0, -35.4, 1}, {0, -30 - 50 - 10.2 - 50, 0, -145.6, 1}}},
        {"a tall drawing raises the text height, capped at 20; a narrow one is one wide",
         {box(0, 2000, "x"), box(0.5, 100, "yy")},
         5,
         0.12,
         10,
         20,
         {{0, -2000, 0, -2036, 20}, {10, -100, 10, -136, 40}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto grid = qks::merge::layoutGrid(c.items, c.columns, c.spacing);
        EXPECT_DOUBLE_EQ(grid.gap, c.gap);
        EXPECT_DOUBLE_EQ(grid.textHeight, c.h);
        ASSERT_EQ(grid.placements.size(), c.expected.size());
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            SCOPED_TRACE(i);
            const auto& got = grid.placements[i];
            EXPECT_NEAR(got.blockPosition.x, c.expected[i].blockX, 1e-9);
            EXPECT_NEAR(got.blockPosition.y, c.expected[i].blockY, 1e-9);
            EXPECT_NEAR(got.labelPosition.x, c.expected[i].labelX, 1e-9);
            EXPECT_NEAR(got.labelPosition.y, c.expected[i].labelY, 1e-9);
            EXPECT_EQ(got.labelLines, c.expected[i].lines);
            const double w = c.items[i].maxX - c.items[i].minX;
            EXPECT_DOUBLE_EQ(got.labelWidth, std::max(1.0, w));
        }
    }
}

// ---------------------------------------------------------------- merged drawings

TEST_F(MergeTest, FiveDrawingsInTwoColumnsAsEzdxfSeesThem) {
    MergeConfig config;
    for (int i = 0; i < 5; ++i)
        config.files.push_back(input("rect_100x50.dxf", "in/d" + std::to_string(i) + ".dxf"));
    config.columns = 2;
    config.outDwg = dir_.file("out/merged.dxf");
    std::string message, written;
    int count = 0;
    ASSERT_TRUE(qks::merge::mergeDrawings(ds_, config, message, count, &written)) << message;
    EXPECT_EQ(count, 5);
    EXPECT_EQ(written, config.outDwg);
    EXPECT_EQ(logLines(log_), (std::vector<std::string>{"MERGE d0", "MERGE d1", "MERGE d2",
                                                        "MERGE d3", "MERGE d4"}));

    const auto facts = describe(written);
    EXPECT_EQ(withKind(facts, "AUDIT"), std::vector<std::string>{"OK"}) << joined(facts);
    EXPECT_EQ(
        withKind(facts, "BLOCK"),
        (std::vector<std::string>{"QKS_d0_0", "QKS_d1_1", "QKS_d2_2", "QKS_d3_3", "QKS_d4_4"}));
    // Second row's top at -72.2, the fifth drawing alone in a third row at x = 0.
    const std::vector<Reference> expected = {{0, -50, "QKS_d0_0"},
                                             {112, -50, "QKS_d1_1"},
                                             {0, -122.2, "QKS_d2_2"},
                                             {112, -122.2, "QKS_d3_3"},
                                             {0, -194.4, "QKS_d4_4"}};
    const auto refs = references(facts);
    ASSERT_EQ(refs.size(), expected.size()) << joined(facts);
    const auto texts = labels(facts);
    ASSERT_EQ(texts.size(), expected.size()) << joined(facts);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(refs[i].x, expected[i].x, 1e-9);
        EXPECT_NEAR(refs[i].y, expected[i].y, 1e-9);
        EXPECT_EQ(refs[i].name, expected[i].name);
        EXPECT_NEAR(texts[i].x, expected[i].x, 1e-9);
        EXPECT_NEAR(texts[i].y, expected[i].y - 5.4, 1e-9);  // 1.8 h below the block
        EXPECT_DOUBLE_EQ(texts[i].height, 3);
        EXPECT_DOUBLE_EQ(texts[i].width, 100);
        EXPECT_EQ(texts[i].attachment, 1);  // top left
        EXPECT_EQ(texts[i].style, "QKS_LABEL");
        EXPECT_EQ(texts[i].text, "d" + std::to_string(i));
    }
    EXPECT_EQ(withKind(facts, "STYLE"),
              std::vector<std::string>{"QKS_LABEL simsun.ttc 134 SimSun"});

    // Layers: prefixed per input, "0" and "defpoints" kept.
    std::vector<std::string> layers = withKind(facts, "LAYER");
    for (int i = 0; i < 5; ++i) {
        const std::string prefix = "d" + std::to_string(i) + "_" + std::to_string(i) + "_";
        for (const char* name : {"WALL", "TXT"})
            EXPECT_NE(std::find(layers.begin(), layers.end(), prefix + name), layers.end())
                << prefix + name << "\n"
                << joined(layers);
    }
    EXPECT_NE(std::find(layers.begin(), layers.end(), "0"), layers.end());
    EXPECT_NE(std::find(layers.begin(), layers.end(), "Defpoints"), layers.end());
    for (const auto& layer : layers)
        EXPECT_TRUE(layer == "0" || layer == "Defpoints" ||
                    layer.find("_WALL") != std::string::npos ||
                    layer.find("_TXT") != std::string::npos ||
                    layer.find("_Defpoints") == std::string::npos)
            << layer;

    // Every text inside the blocks is horizontal (they were turned 30, 45 and 60 degrees).
    const auto blockTexts = withKind(facts, "BTEXT");
    EXPECT_EQ(blockTexts.size(), 15u) << joined(facts);
    for (const auto& line : blockTexts)
        EXPECT_EQ(line.rfind("0.0 ", 0), 0u) << line;
}

// A drawing saved with its insertion base point away from the origin becomes a block with that
// base point; the reference must still put the drawing on its grid box.
TEST_F(MergeTest, ADrawingWithAnInsertionBasePointStaysOnTheGrid) {
    const std::string moved = dir_.file("in/moved.dxf");
    fs::create_directories(dir_.file("in"));
    const std::string script =
        "import ezdxf,sys\n"
        "d=ezdxf.readfile(sys.argv[1])\n"
        "d.header['$INSBASE']=(30,20,0)\n"
        "d.saveas(sys.argv[2])\n";
    ASSERT_EQ(std::system(("/usr/bin/python3 -c " + quote(script) + " " +
                           quote(kFixtures + "rect_100x50.dxf") + " " + quote(moved))
                              .c_str()),
              0);
    MergeConfig config;
    config.files = {input("rect_100x50.dxf", "in/plain.dxf"), moved};
    config.columns = 2;
    config.outDwg = dir_.file("out/merged.dxf");
    std::string message, written;
    int count = 0;
    ASSERT_TRUE(qks::merge::mergeDrawings(ds_, config, message, count, &written)) << message;
    const auto refs = references(describe(written));
    ASSERT_EQ(refs.size(), 2u);
    // Same grid box as an ordinary drawing would get, shifted by the base point it carries.
    EXPECT_NEAR(refs[0].x, 0, 1e-9);
    EXPECT_NEAR(refs[0].y, -50, 1e-9);
    EXPECT_NEAR(refs[1].x, 112 + 30, 1e-9);
    EXPECT_NEAR(refs[1].y, -50 + 20, 1e-9);
}

TEST_F(MergeTest, InputsThatCannotBeMergedAreLoggedAndTheOthersMerged) {
    fs::create_directories(dir_.file("a"));
    MergeConfig config;
    config.files = {
        dir_.file("missing.dxf"),                         // 0
        dir_.write("garbage.dxf", "this is no drawing"),  // 1
        input("empty.dxf", "empty.dxf"),                  // 2
        input("rect_100x50.dxf", "PART.DXF"),             // 3
        input("rect_100x50.dxf", "a/plan.dxf"),           // 4
        input("offset_60x30.dxf", "b/plan.dxf"),          // 5
        input("rect_100x50.dxf", "semi;colon.dxf"),       // 6: no block may be named so
        input("offset_60x30.dxf", "c/plan.dwg"),          // 7: DXF content behind .dwg
        dir_.file("a"),                                   // 8: a folder
        input("rect_100x50.dxf", "d/PLAN.dxf"),           // 9: another stem, same block name
        input("offset_60x30.dxf", "e/a{1}.dxf"),          // 10: braces shown as typed
    };
    config.outDwg = dir_.file("merged.DWG");
    std::string message, written;
    int count = 0;
    ASSERT_TRUE(qks::merge::mergeDrawings(ds_, config, message, count, &written)) << message;
    EXPECT_EQ(count, 6);
    EXPECT_EQ(written, dir_.file("merged.dxf"));
    EXPECT_FALSE(fs::exists(config.outDwg));
    EXPECT_EQ(logLines(log_), (std::vector<std::string>{
                                  "ERR 文件不存在 " + config.files[0],
                                  "ERR 读取失败 " + config.files[1],
                                  "ERR 图形为空 " + config.files[2],
                                  "ERR 插入失败 " + config.files[6],
                                  "ERR 读取失败 " + config.files[8],
                                  "MERGE PART",
                                  "MERGE plan",
                                  "MERGE plan (2)",
                                  "MERGE plan (3)",
                                  "MERGE PLAN",
                                  "MERGE a{1}",
                              }));

    const auto facts = describe(written);
    EXPECT_EQ(withKind(facts, "AUDIT"), std::vector<std::string>{"OK"}) << joined(facts);
    EXPECT_EQ(withKind(facts, "BLOCK"),
              (std::vector<std::string>{"QKS_PART_3", "QKS_plan_4", "QKS_plan_5", "QKS_plan_7",
                                        "QKS_PLAN_9", "QKS_a{1}_10"}));
    std::vector<std::string> texts;
    for (const auto& label : labels(facts))
        texts.push_back(label.text);
    EXPECT_EQ(texts,
              (std::vector<std::string>{"PART", "plan", "plan (2)", "plan (3)", "PLAN", "a{1}"}));
    const auto layers = withKind(facts, "LAYER");
    for (const char* name : {"PART_3_WALL", "plan_4_WALL", "plan_5_WALL", "plan_7_WALL",
                             "PLAN_9_WALL", "plan_4_TXT", "PLAN_9_TXT"})
        EXPECT_NE(std::find(layers.begin(), layers.end(), name), layers.end()) << name << "\n"
                                                                               << joined(layers);
}

TEST_F(MergeTest, NamesAlreadyTakenGetSuffixes) {
    // Layer names are made unique ignoring case with _2, _3 against earlier inputs' layers;
    // "0" and "defpoints" in any case stay.
    const host::DatabaseId source = ds_.createDatabase(true);
    for (const char* name : {"WALL", "wall_2", "DEFPOINTS", "Holes"})
        ASSERT_EQ(ds_.addLayer(source, name, 1, nullptr), host::Status::Ok) << name;
    std::set<std::string> used = {"p_wall", "p_wall_2", "p_holes"};
    qks::merge::prefixLayerNames(ds_, source, "P", used);
    std::set<std::string> names;
    for (const host::ObjectId layer : ds_.layers(source))
        names.insert(ds_.symbolName(layer));
    ds_.deleteDatabase(source);
    for (const char* name : {"0", "P_WALL_3", "P_wall_2_2", "DEFPOINTS", "P_Holes_2"})
        EXPECT_EQ(names.count(name), 1u) << name;
    EXPECT_EQ(names.count("WALL") + names.count("Holes") + names.count("wall_2"), 0u);
    EXPECT_EQ(used, (std::set<std::string>{"p_wall", "p_wall_2", "p_holes", "p_wall_3",
                                           "p_wall_2_2", "p_holes_2"}));

    // A long name is cut to 250 characters before its number.
    const host::DatabaseId longNames = ds_.createDatabase(true);
    ASSERT_EQ(ds_.addLayer(longNames, std::string(200, 'L'), 1, nullptr), host::Status::Ok);
    std::set<std::string> taken = {std::string(100, 'p') + "_" + std::string(149, 'l')};
    qks::merge::prefixLayerNames(ds_, longNames, std::string(100, 'p'), taken);
    EXPECT_TRUE(
        ds_.findLayer(longNames, std::string(100, 'p') + "_" + std::string(149, 'L') + "_2"));
    ds_.deleteDatabase(longNames);

    // A merged drawing merged again brings its blocks along; a new block whose name is taken
    // by one of them gets "_x" instead of failing.
    MergeConfig first;
    first.files = {input("rect_100x50.dxf", "x.dxf"), input("offset_60x30.dxf", "d.dxf")};
    first.outDwg = dir_.file("first.dxf");
    std::string message;
    int count = 0;
    ASSERT_TRUE(qks::merge::mergeDrawings(ds_, first, message, count)) << message;
    MergeConfig again;
    again.files = {first.outDwg, input("rect_100x50.dxf", "again/d.dxf")};
    again.outDwg = dir_.file("again.dxf");
    ASSERT_TRUE(qks::merge::mergeDrawings(ds_, again, message, count)) << message;
    EXPECT_EQ(count, 2);
    const auto facts = describe(again.outDwg);
    EXPECT_EQ(withKind(facts, "AUDIT"), std::vector<std::string>{"OK"}) << joined(facts);
    auto blocks = withKind(facts, "BLOCK");
    std::sort(blocks.begin(), blocks.end());
    EXPECT_EQ(blocks, (std::vector<std::string>{"QKS_d_1", "QKS_d_1_x", "QKS_first_0", "QKS_x_0"}));
    const auto refs = references(facts);
    ASSERT_EQ(refs.size(), 2u);
    EXPECT_EQ(refs[0].name, "QKS_first_0");
    EXPECT_EQ(refs[1].name, "QKS_d_1_x");
}

// ---------------------------------------------------------------- the job

TEST_F(MergeTest, JobLogsFromConfigToDone) {
    const std::string a = input("rect_100x50.dxf", "in/a.dxf");
    const std::string b = input("offset_60x30.dxf", "in/b.dxf");
    const std::string missing = dir_.file("in/none.dxf");
    struct Case {
        const char* what;
        std::vector<std::string> config;  // empty: no config file at all
        std::string log;                  // where the lines go
        std::vector<std::string> lines;
    } cases[] = {
        {"no config",
         {},
         dir_.file("qks_merge.log"),
         {"FATAL 读取配置失败: " + dir_.file("merge.cfg")}},
        {"no output path",
         {"log=" + log_, "file=" + a},
         log_,
         {"QKS 合并 DWG 开始 files=1", "FATAL 未设置合并输出路径"}},
        {"no files",
         {"log=" + log_, "outDwg=" + dir_.file("o.dxf")},
         log_,
         {"QKS 合并 DWG 开始 files=0", "FATAL 没有待合并的文件"}},
        {"nothing mergeable",
         {"log=" + log_, "outDwg=" + dir_.file("o.dxf"), "file=" + missing},
         log_,
         {"QKS 合并 DWG 开始 files=1", "ERR 文件不存在 " + missing, "FATAL 没有可合并的有效图形"}},
        {"merged without a log key, .dwg written as .dxf",
         {"outDwg=" + dir_.file("out/m.dwg"), "file=" + a, "file=" + missing, "file=" + b,
          "pdf=no"},
         dir_.file("qks_plot.log"),
         {"QKS 合并 DWG 开始 files=3", "ERR 文件不存在 " + missing, "MERGE a", "MERGE b",
          "MERGED count=2 dwg=" + dir_.file("out/m.dxf"),
          "DONE merged=2 dwg=" + dir_.file("out/m.dxf")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dir_.file("merge.cfg"));
        fs::remove(c.log);
        if (!c.config.empty()) writeConfig(c.config);
        qks::merge::runMergeJob(app_, dir_.file("merge.cfg"));
        EXPECT_EQ(logLines(c.log), c.lines);
    }
    EXPECT_TRUE(fs::exists(dir_.file("out/m.dxf")));
    EXPECT_FALSE(fs::exists(dir_.file("o.dxf")));
    const auto facts = describe(dir_.file("out/m.dxf"));
    EXPECT_EQ(withKind(facts, "AUDIT"), std::vector<std::string>{"OK"}) << joined(facts);
    EXPECT_EQ(withKind(facts, "BLOCK"), (std::vector<std::string>{"QKS_a_0", "QKS_b_2"}));

    // Without a path the job looks at $QKS_MERGE_CFG.
    writeConfig({"log=" + log_, "outDwg=" + dir_.file("env.dxf"), "file=" + a});
    ::setenv("QKS_MERGE_CFG", dir_.file("merge.cfg").c_str(), 1);
    qks::merge::runMergeJob(app_, "");
    ::unsetenv("QKS_MERGE_CFG");
    EXPECT_EQ(logLines(log_).back(), "DONE merged=1 dwg=" + dir_.file("env.dxf"));
}

TEST_F(MergeTest, AnExistingDrawingSurvivesAsBackupAndAFailedSaveTouchesNothing) {
    const std::string out = dir_.write("out.dxf", "the user's old drawing");
    writeConfig({"log=" + log_, "outDwg=" + out, "file=" + input("rect_100x50.dxf", "a.dxf")});
    qks::merge::runMergeJob(app_, dir_.file("merge.cfg"));
    EXPECT_EQ(logLines(log_).back(), "DONE merged=1 dwg=" + out);
    EXPECT_EQ(readAll(out + ".bak"), "the user's old drawing");
    const std::string merged = readAll(out);
    EXPECT_NE(merged.find("QKS_a_0"), std::string::npos);

    // The save cannot create its temporary file: the drawing and its backup stay as they were.
    fs::create_directories(out + ".tmp");
    writeConfig({"log=" + log_, "outDwg=" + out, "file=" + input("offset_60x30.dxf", "b.dxf")});
    qks::merge::runMergeJob(app_, dir_.file("merge.cfg"));
    EXPECT_EQ(logLines(log_), (std::vector<std::string>{"QKS 合并 DWG 开始 files=1", "MERGE b",
                                                        "FATAL 保存合并图纸失败"}));
    EXPECT_EQ(readAll(out), merged);
    EXPECT_EQ(readAll(out + ".bak"), "the user's old drawing");
}

TEST_F(MergeTest, PdfOfTheMergedDrawingGoesBesideItWithoutOutDir) {
    const host::DocumentId userDocument = app_.newDocument();
    const std::size_t documents = app_.documents().size();
    writeConfig({"log=" + log_, "outDwg=" + dir_.file("job/merged.dwg"), "pdf=1",
                 "file=" + input("rect_100x50.dxf", "a.dxf"),
                 "file=" + input("offset_60x30.dxf", "b.dxf")});
    qks::merge::runMergeJob(app_, dir_.file("merge.cfg"));
    const auto lines = logLines(log_);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[3], "MERGED count=2 dwg=" + dir_.file("job/merged.dxf"));
    EXPECT_EQ(lines[4], "PDF 输出合并图纸");
    EXPECT_EQ(lines[5], "RUN merged_model");
    EXPECT_EQ(lines.back(), "DONE total=1 ok=1 fail=0 dir=" + dir_.file("job")) << lines.back();
    EXPECT_EQ(lines[lines.size() - 2], "OK merged_model");
    const std::string pdf = readAll(dir_.file("job/merged_model.pdf"));
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    // The merged drawing was closed again and the user's drawing is current as before.
    EXPECT_EQ(app_.documents().size(), documents);
    EXPECT_EQ(app_.currentDocument(), userDocument);

    // With outDir set, the PDF goes there (created with its parents).
    writeConfig({"log=" + log_, "outDwg=" + dir_.file("job/merged.dwg"), "pdf=TRUE",
                 "outDir=" + dir_.file("pdfs/deep"), "file=" + dir_.file("a.dxf")});
    qks::merge::runMergeJob(app_, dir_.file("merge.cfg"));
    EXPECT_EQ(logLines(log_).back(), "DONE total=1 ok=1 fail=0 dir=" + dir_.file("pdfs/deep"));
    EXPECT_TRUE(fs::exists(dir_.file("pdfs/deep/merged_model.pdf")));
}

TEST_F(MergeTest, APdfThatCannotBeMadeLeavesTheDrawingStanding) {
    const host::DocumentId userDocument = app_.newDocument();
    const std::size_t documents = app_.documents().size();
    const std::string drawing = dir_.file("m.dxf");
    const auto failing = [](std::string call) {
        qkshost::PlotFaults faults;
        faults.publish = [call](const char* name) {
            return call == name ? host::Status::Failed : host::Status::Ok;
        };
        return faults;
    };
    struct Case {
        const char* what;
        qkshost::PlotFaults faults;
        std::vector<std::string> tail;
    } cases[] = {
        {"no publish engine",
         failing("createPublishEngine"),
         {"PDF 输出合并图纸", "ERR 无法创建出版引擎", "DONE merged=1 pdf=0"}},
        {"every page refused",
         failing("beginDocument"),
         {"ERR", "DONE total=1 ok=0 fail=1 dir=" + dir_.path()}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeConfig({"log=" + log_, "outDwg=" + drawing, "pdf=1",
                     "file=" + input("rect_100x50.dxf", "a.dxf")});
        qkshost::setPlotFaults(std::move(c.faults));
        qks::merge::runMergeJob(app_, dir_.file("merge.cfg"));
        qkshost::clearPlotFaults();
        const auto lines = logLines(log_);
        ASSERT_GE(lines.size(), c.tail.size() + 3);
        EXPECT_EQ(lines[2], "MERGED count=1 dwg=" + drawing);
        for (std::size_t i = 0; i < c.tail.size(); ++i) {
            const std::string& got = lines[lines.size() - c.tail.size() + i];
            EXPECT_EQ(got.substr(0, c.tail[i].size()), c.tail[i]) << got;
        }
        EXPECT_FALSE(fs::exists(dir_.file("m_model.pdf")));
        EXPECT_EQ(withKind(describe(drawing), "AUDIT"), std::vector<std::string>{"OK"});
        EXPECT_EQ(app_.documents().size(), documents);
        EXPECT_EQ(app_.currentDocument(), userDocument);
    }
}

}  // namespace
