// The nest job from config to nest drawing with qkshost in-process: the driver on the main
// thread, the engine's worker, the finish message and the output step, checked through the
// job log, the parts file and an independent reading of the drawing (ezdxf + shapely).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "nest_job_support.h"
#include "qks/common/job_log.h"
#include "qks/common/messages.h"
#include "qks/contract/nest_layout_format.h"
#include "qks/drawing/extraction.h"
#include "qks/nest/job.h"
#include "qks/nest/output.h"
#include "qks/nest/parts_file.h"
#include "qks/nest/runtime.h"
#include "qks/testing/checkers.h"
#include "qkshost/app/host_application.h"
#include "qkshost/drawing/creation.h"
#include "qkshost/drawing/database.h"
#include "qkshost/dxf/dxf.h"

namespace qks::testing {
namespace {

namespace fs = std::filesystem;
namespace host = qks::host;

// "P" lines of a parts file: id -> quantity, in file order.
std::vector<std::pair<int, int>> partsFileQuantities(const std::string& path) {
    std::vector<std::pair<int, int>> out;
    std::istringstream in(readAll(path));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("P\t", 0) != 0) continue;
        int id = 0, quantity = 0;
        std::sscanf(line.c_str() + 2, "%d\t%d", &id, &quantity);
        out.emplace_back(id, quantity);
    }
    return out;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

// One host with the finish message wired as the plug-in wires it, a private temporary folder
// and the job's output folder.
class NestJobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = app_.createMessageWindow(
            "NestTest", "NestTest",
            [this](host::WindowHandle, std::uint32_t message, std::uintptr_t, std::intptr_t) {
                if (message == qks::nestFinishedMessage)
                    app_.executeInApplicationContext(
                        [this] { qks::nest::finishNestJob(app_, nest_); });
                return std::intptr_t{0};
            });
        nest_.setNestMessageTarget(&app_, window_);
    }
    void TearDown() override {
        nest_.abandonNestJob();
        nest_.setNestMessageTarget(nullptr, {});
        qks::setJobLogPath(qks::LogChannel::Nest, {});
        qks::setJobLogPath(qks::LogChannel::Plot, {});
        app_.destroyWindow(window_);
    }

    // Pumps the host until the job slot is free again (the output step ran).
    void waitForJob() {
        for (int i = 0; i < 6000 && nest_.nestJobActive().load(); ++i)
            app_.processEventsFor(std::chrono::milliseconds(50));
        app_.processPendingEvents();
        ASSERT_FALSE(nest_.nestJobActive().load());
    }

    // Writes the job config (source and body lines) into the temporary folder.
    std::string writeConfig(const std::string& body, const std::string& name = "qks_nest.cfg") {
        const std::string text = "outDir=" + out() + "\nlog=" + log() +
                                 "\nsheet=1000x500\nsheet=600x400x1\ngap=4\nmargin=10\ncell=2\n"
                                 "seconds=1\n" +
                                 body;
        return dir_.write(name, text);
    }
    std::string out() const { return dir_.file("out"); }
    std::string log() const { return dir_.file("nest.log"); }

    TempDir dir_;
    ScopedTempFolder tmp_{dir_.path()};
    qkshost::HostApplication app_;
    qks::nest::NestRuntime nest_;
    host::WindowHandle window_;
};

TEST_F(NestJobTest, FilesSourceNestsTheReadableDrawings) {
    const std::string missing = dir_.file("missing.dxf");
    // The first bytes of a real 2018 DWG file: not a drawing this host can read.
    const std::string dwg = dir_.write(
        "part.dwg", std::string("AC1032\0\0\0\0\0\x0f\x01", 13) + std::string(400, '\x5a'));
    // A drawing a document-protection system has encrypted, wrapper header and all.
    const std::string locked =
        dir_.write("locked.dwg", "%TSD-Header-###%" + std::string(400, '\x3c'));
    const std::string plates = kNestFixtures + "PLATES.DXF";
    writeConfig("source=files\nfile=" + missing + "\nfile=" + dwg + "\nfile=" + locked +
                "\nfile=" + plates + "\noutDwg=" + out() +
                "/nest.DWG\nprefix=P\npdf=1\n"
                "partcount 1=3\npartcount 77=4\n");
    qks::nest::runNestJob(app_, nest_, {});
    waitForJob();

    const std::vector<std::string> lines = logLines(log());
    ASSERT_GE(lines.size(), 11u);
    EXPECT_EQ(lines[0], "QKNEST 开始 source=files");
    EXPECT_EQ(lines[1], "WARN 文件不存在 " + missing);
    EXPECT_EQ(lines[2], "WARN 读取失败 " + dwg);
    EXPECT_EQ(lines[3], "WARN 读取失败 " + locked + " 图纸已加密");
    EXPECT_EQ(lines[4], "NEST 零件种类=2");
    EXPECT_EQ(lines[5], "PARTS " + dir_.file("qks_nest_parts.txt"));
    EXPECT_TRUE(startsWith(lines[6], "NEST 首版 ")) << lines[6];
    EXPECT_TRUE(startsWith(lines[7], "NEST ")) << lines[7];
    EXPECT_EQ(lines[8], "NEST 正在生成套料图");
    const std::string written = out() + "/nest.dxf";
    EXPECT_TRUE(startsWith(lines[9], "DONE 板=1 件=4 利用率=")) << lines[9];
    const std::string tail = "% 未放=0 文件=" + written;
    EXPECT_EQ(lines[9].substr(lines[9].size() - std::min(lines[9].size(), tail.size())), tail);
    EXPECT_EQ(lines[10], "NEST 已生成 " + written);
    EXPECT_EQ(lines.size(), 11u);

    // Counts: id 1 takes 3, the unknown id 77 changes nothing, id 2 keeps its 1.
    EXPECT_EQ(partsFileQuantities(dir_.file("qks_nest_parts.txt")),
              (std::vector<std::pair<int, int>>{{1, 3}, {2, 1}}));
    EXPECT_TRUE(fs::exists(written));
    EXPECT_FALSE(fs::exists(out() + "/nest.DWG"));
    EXPECT_TRUE(
        startsWith(checkNestDrawing(written, 10, 2), "OK sheets=1 parts=4 blocks=4 outlines=0"))
        << checkNestDrawing(written, 10, 2);
    EXPECT_TRUE(fs::exists(out() + "/P_板1.pdf"));
}

TEST_F(NestJobTest, AllCountsZeroWritesThePartsFileAndStops) {
    writeConfig("source=files\nfile=" + kNestFixtures +
                "PLATES.DXF\npartcount 1=0\n"
                "partcount 2=0\n");
    qks::nest::runNestJob(app_, nest_, {});
    EXPECT_FALSE(nest_.nestJobActive().load());
    const std::vector<std::string> lines = logLines(log());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "FATAL 没有勾选需要套料的零件");
    EXPECT_EQ(partsFileQuantities(dir_.file("qks_nest_parts.txt")),
              (std::vector<std::pair<int, int>>{{1, 0}, {2, 0}}));
    EXPECT_FALSE(fs::exists(dir_.file("qks_nest_progress.txt")));
}

TEST_F(NestJobTest, BusyJobIgnoresQknestAndCountsAreCapped) {
    writeConfig("source=files\nfile=" + kNestFixtures +
                "PLATES.DXF\nseconds=60\n"
                "partcount 2=5000\n");
    qks::nest::runNestJob(app_, nest_, {});
    ASSERT_TRUE(nest_.nestJobActive().load());
    EXPECT_EQ(partsFileQuantities(dir_.file("qks_nest_parts.txt")),
              (std::vector<std::pair<int, int>>{{1, 1}, {2, 999}}));
    const std::string before = readAll(log());

    // A second job while the first runs: nothing at all, not even its log.
    const std::string other = dir_.file("other.log");
    const std::string second = dir_.write(
        "second.cfg", "source=files\nfile=" + kNestFixtures + "PLATES.DXF\noutDir=" + out() +
                          "\nlog=" + other + "\nsheet=1000x500\n");
    qks::nest::runNestJob(app_, nest_, second);
    EXPECT_FALSE(fs::exists(other));
    EXPECT_TRUE(startsWith(readAll(log()), before));

    // Stopped at once: the job ends and frees its slot whatever it had placed.
    nest_.nestStopRequested().store(true);
    waitForJob();
    const std::vector<std::string> lines = logLines(log());
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(startsWith(lines.back(), "NEST 已生成 ") ||
                lines.back() == "FATAL 没有生成排样结果")
        << lines.back();
}

// Outlines hold the real parts: toothed parts nested tightly keep the gap in the drawing, and
// an inch drawing is nested and drawn at its true size in a millimetre drawing.
TEST_F(NestJobTest, RealPartsKeepTheGapAndTheirSize) {
    writeConfig("source=files\nfile=" + kNestFixtures + "gear40.dxf\nfile=" + kNestFixtures +
                "inch_plate.dxf\nstrategy=dense\ngap=1\ncell=1\nseconds=3\n"
                "partcount 1=8\npartcount 2=4\n");
    qks::nest::runNestJob(app_, nest_, {});
    waitForJob();
    std::vector<qks::nest::NestPart> parts;
    ASSERT_TRUE(qks::nest::readPartsFile(dir_.file("qks_nest_parts.txt"), parts));
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_NEAR(parts[1].width, 101.6, 1e-3);
    EXPECT_EQ(parts[1].drawingScale, 25.4);
    double area = 0.0;  // of the material: outlines less holes
    for (const qks::nest::NestPart& part : parts) {
        double one = qks::nest::polygonArea(part.outline);
        for (const auto& hole : part.holes)
            one -= qks::nest::polygonArea(hole);
        area += one * part.quantity;
    }
    const std::string drawing = out() + "/套料图.dxf";
    const std::string checked = checkNestDrawing(drawing, 10, 1, 1.0);
    ASSERT_TRUE(startsWith(checked, "OK sheets=1 parts=12 blocks=12 outlines=0 area=")) << checked;
    // The real geometry lies within the outlines, a few hundredths of a millimetre inside.
    const double drawn = std::stod(checked.substr(checked.find("area=") + 5));
    EXPECT_NEAR(drawn, area, area * 0.002);
}

TEST_F(NestJobTest, StopKeepsTheBestLayout) {
    writeConfig("source=files\nfile=" + kNestFixtures +
                "PLATES.DXF\nseconds=60\n"
                "partcount 1=6\npartcount 2=6\n");
    qks::nest::runNestJob(app_, nest_, {});
    ASSERT_TRUE(nest_.nestJobActive().load());
    // Stop once the first layout stands: the output step then draws the best one so far.
    for (int i = 0; i < 6000 && readAll(log()).find("NEST 首版") == std::string::npos; ++i)
        app_.processEventsFor(std::chrono::milliseconds(50));
    nest_.nestStopRequested().store(true);
    waitForJob();
    const std::vector<std::string> lines = logLines(log());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(startsWith(lines[lines.size() - 2], "DONE 板=1 件=12 ")) << lines[lines.size() - 2];
    const std::string drawing = out() + "/套料图.dxf";
    EXPECT_EQ(lines.back(), "NEST 已生成 " + drawing);
    EXPECT_TRUE(startsWith(checkNestDrawing(drawing, 10, 2), "OK sheets=1 parts=12 blocks=12"))
        << checkNestDrawing(drawing, 10, 2);
    const std::string progress = readAll(dir_.file("qks_nest_progress.txt"));
    EXPECT_NE(progress.find("STATE\tstopped"), std::string::npos) << progress;
}

TEST_F(NestJobTest, StopPressedWhileDrawingsAreReadIsKept) {
    // A drawing big enough that reading and extracting it takes a while.
    const std::string big = dir_.file("many.dxf");
    {
        qkshost::drawing::Database db;
        for (int n = 0; n < 4000; ++n) {
            const double x = (n % 80) * 30.0, y = (n / 80) * 30.0;
            qkshost::drawing::addLwPolyline(
                db, 0, {{x, y, 0}, {x + 20, y, 0}, {x + 20, y + 10 + n % 7, 0}, {x, y + 10, 0}},
                true, "0");
        }
        ASSERT_EQ(qkshost::dxf::saveDxf(db, big), qkshost::drawing::Status::Ok);
    }
    writeConfig("source=files\nfile=" + big + "\nseconds=30\n");
    // Stop as soon as the job has begun: while its drawing is being read, before any worker.
    std::atomic<bool> done{false};
    std::thread stopper([&] {
        while (!done.load() && readAll(log()).find("QKNEST 开始") == std::string::npos)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        nest_.nestStopRequested().store(true);
    });
    qks::nest::runNestJob(app_, nest_, {});
    done.store(true);
    stopper.join();
    waitForJob();
    const std::string progress = readAll(dir_.file("qks_nest_progress.txt"));
    EXPECT_NE(progress.find("STATE\tstopped"), std::string::npos) << progress;
}

TEST_F(NestJobTest, CurrentAndPickedSources) {
    std::string error;
    ASSERT_TRUE(app_.openDocument(kNestFixtures + "layers.dxf", error)) << error;

    // The current drawing with a layer filter: only the part on CUT_OUTER.
    writeConfig("source=current\nlayer=cut\n");
    qks::nest::runNestJob(app_, nest_, {});
    waitForJob();
    std::vector<std::string> lines = logLines(log());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "QKNEST 开始 source=current");
    EXPECT_EQ(lines[1], "NEST 零件种类=1");
    EXPECT_EQ(lines.back(), "NEST 已生成 " + out() + "/套料图.dxf");
    EXPECT_TRUE(
        startsWith(checkNestDrawing(out() + "/套料图.dxf", 10, 2), "OK sheets=1 parts=1 blocks=1"));

    // QKNESTPICK answered with a selection line, then a job on the picked parts.
    app_.queueInputLine("ALL");
    qks::nest::runNestPick(app_);
    lines = logLines(dir_.file("qks_nest.log"));
    EXPECT_EQ(lines, (std::vector<std::string>{"PICK 已提取 2 种，2 件",
                                               "PARTS " + dir_.file("qks_nest_parts.txt")}));
    // Parts no block names are called by the drawing's file stem and a number.
    std::vector<qks::nest::NestPart> picked;
    ASSERT_TRUE(qks::nest::readPartsFile(dir_.file("qks_nest_parts.txt"), picked));
    std::vector<std::string> names;
    for (const auto& part : picked)
        names.push_back(part.name);
    EXPECT_EQ(names, (std::vector<std::string>{"layers-1", "layers-2"}));
    writeConfig("source=picked\npartsFile=" + dir_.file("qks_nest_parts.txt") +
                "\noutDwg=" + out() + "/picked.dxf\n");
    qks::nest::runNestJob(app_, nest_, {});
    waitForJob();
    lines = logLines(log());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "NEST 零件种类=2");
    EXPECT_TRUE(
        startsWith(checkNestDrawing(out() + "/picked.dxf", 10, 2), "OK sheets=1 parts=2 blocks=2"))
        << checkNestDrawing(out() + "/picked.dxf", 10, 2);

    // An empty selection is reported and no job is started.
    app_.endInput();
    qks::nest::runNestPick(app_);
    EXPECT_EQ(logLines(dir_.file("qks_nest.log")), std::vector<std::string>{"PICK 未选择零件"});
}

// Four flanges fill a sheet; their discs need a second one unless they go into the bores,
// where the drawing must show them.
TEST_F(NestJobTest, DenseSearchPutsDiscsIntoTheBores) {
    const std::string drawing = kNestFixtures + "flange_and_disc.dxf";
    for (const bool inHoles : {false, true}) {
        dir_.write("qks_nest.cfg", "outDir=" + out() + "\nlog=" + log() +
                                       "\nsource=files\nfile=" + drawing +
                                       "\nsheet=440x440\ngap=4\nmargin=10\ncell=2\n"
                                       "seconds=2\nrotate=0\nmirror=0\nstrategy=dense\n"
                                       "threads=1\npartcount 1=4\npartcount 2=4\npartInPart=" +
                                       (inHoles ? "1" : "0") + "\n");
        qks::nest::runNestJob(app_, nest_, {});
        waitForJob();
        const std::string written = out() + "/套料图.dxf";
        const std::string sheets = inHoles ? "1" : "2";
        EXPECT_TRUE(startsWith(checkNestDrawing(written, 10, 2),
                               "OK sheets=" + sheets + " parts=8 blocks=8"))
            << checkNestDrawing(written, 10, 2);
    }
}

// Bend lines, marks and texts drawn on a part travel with it through turns and mirroring; a
// line crossing the outline and the frame's title-block texts stay behind; labels stand inside
// the placed parts. Without carrying the blocks hold the cut geometry alone.
TEST_F(NestJobTest, LinesTravelWithTheirPart) {
    struct Case {
        const char* keys;
        const char* carriedLog;  // "" when no such line
        const char* carried;     // check_carried.py's line after "parts=6 "
        const char* turned;      // "" when the search chooses
    };
    const Case cases[] = {
        {"strategy=dense\nlabels=1\n", "NEST 随零件携带 折弯线 3，标记 2，跨越轮廓未携带 1",
         "bend=9 mark=6 labels=6", ""},
        {"partrotate 1=90\npartrotate 2=180\ncarry=1\n",
         "NEST 随零件携带 折弯线 3，标记 2，跨越轮廓未携带 1", "bend=9 mark=6 labels=0",
         " turned=6 "},
        {"carry=0\nlabels=0\n", "", "bend=0 mark=0 labels=0", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        writeConfig("source=files\nfile=" + kNestFixtures +
                    "carried.dxf\nsheet=700x300\nseconds=2\npartcount 1=3\npartcount 2=3\n" +
                    c.keys);
        qks::nest::runNestJob(app_, nest_, {});
        waitForJob();
        const std::vector<std::string> lines = logLines(log());
        const bool logged = std::find(lines.begin(), lines.end(), c.carriedLog) != lines.end();
        EXPECT_EQ(logged, *c.carriedLog != '\0') << readAll(log());
        const std::string drawing = out() + "/套料图.dxf";
        const std::string nest = checkNestDrawing(drawing, 10, 2, 4);
        EXPECT_TRUE(startsWith(nest, "OK sheets=")) << nest;
        EXPECT_NE(nest.find(" parts=6 blocks=6 outlines=0"), std::string::npos) << nest;
        const std::string carried = runChecker("tests/nest_job/check_carried.py", {drawing});
        EXPECT_TRUE(startsWith(carried, std::string("OK parts=6 ") + c.carried)) << carried;
        EXPECT_NE(carried.find(c.turned), std::string::npos) << carried;
        // The plate's mark text travels, the title block's texts never.
        const bool carries = std::string(c.keys).find("carry=0") == std::string::npos;
        EXPECT_NE(carried.find(carries ? "texts=A-01;A-01;A-01\n" : "texts=\n"), std::string::npos)
            << carried;
    }
}

// Rectangles and L-shapes in rows: with common line the drawing cuts each shared stretch once,
// on its own layer, the parts never overlap and the rest keep the gap; without it the gap holds
// everywhere and nothing is said about common lines. Round parts have no straight stretch to
// share: the log says common line saved nothing.
TEST_F(NestJobTest, CommonLineCutsSharedEdgesOnce) {
    struct Case {
        bool common;
        const char* strategy;
    };
    for (const Case& c : {Case{true, "standard"}, Case{true, "dense"}, Case{false, "standard"}}) {
        SCOPED_TRACE(std::string(c.strategy) + (c.common ? " common" : " plain"));
        dir_.write("qks_nest.cfg",
                   "outDir=" + out() + "\nlog=" + log() + "\nsource=files\nfile=" + kNestFixtures +
                       "rects_and_ls.dxf\nsheet=1000x500\ngap=6\nmargin=10\n"
                       "cell=2\nseconds=2\nthreads=1\nstrategy=" +
                       c.strategy + "\npartcount 1=6\npartcount 2=6\npartcount 3=6\n" +
                       (c.common ? "commonline=1\n" : ""));
        qks::nest::runNestJob(app_, nest_, {});
        waitForJob();
        const std::vector<std::string> lines = logLines(log());
        const auto done = std::find_if(lines.begin(), lines.end(),
                                       [](const std::string& l) { return startsWith(l, "DONE "); });
        ASSERT_NE(done, lines.end());
        ASSERT_TRUE(startsWith(*done, "DONE 板=1 件=18 ")) << *done;
        const std::string drawing = out() + "/套料图.dxf";
        if (!c.common) {
            EXPECT_EQ(readAll(log()).find("共边"), std::string::npos);
            EXPECT_TRUE(startsWith(checkNestDrawing(drawing, 10, 2, 6),
                                   "OK sheets=1 parts=18 blocks=18 outlines=0"))
                << checkNestDrawing(drawing, 10, 2, 6);
            continue;
        }
        ASSERT_NE(done, lines.begin());
        EXPECT_TRUE(startsWith(*(done - 1), "NEST 共边 节省切割长度 ")) << *(done - 1);
        const std::size_t field = done->rfind(" 共边节省=");
        ASSERT_NE(field, std::string::npos) << *done;
        EXPECT_EQ(done->substr(done->size() - 1), "m");
        const double saved =
            std::stod(done->substr(field + std::string(" 共边节省=").size())) * 1000;
        EXPECT_GT(saved, 0.0);
        std::vector<qks::nest::NestPart> parts;
        ASSERT_TRUE(qks::nest::readPartsFile(dir_.file("qks_nest_parts.txt"), parts));
        std::string areas;
        for (const qks::nest::NestPart& part : parts)
            areas += (areas.empty() ? "" : ",") + std::to_string(part.area);
        const std::string checked = runChecker("tests/nest_job/check_common_line.py",
                                               {drawing, "6", "18", std::to_string(saved), areas});
        EXPECT_TRUE(startsWith(checked, "OK parts=18 ")) << checked;
    }
    dir_.write("qks_nest.cfg", "outDir=" + out() + "\nlog=" + log() +
                                   "\nsource=files\nfile=" + kNestFixtures +
                                   "flange_and_disc.dxf\nsheet=440x440\ngap=4\nmargin=10\n"
                                   "cell=2\nseconds=1\nthreads=1\nrotate=0\nmirror=0\n"
                                   "partcount 1=1\npartcount 2=1\ncommonline=1\n");
    qks::nest::runNestJob(app_, nest_, {});
    waitForJob();
    const std::vector<std::string> lines = logLines(log());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "NEST 共边 节省切割长度 0.0 m");
    EXPECT_TRUE(startsWith(lines[lines.size() - 2], "DONE 板=1 件=2 ")) << lines[lines.size() - 2];
    EXPECT_NE(lines[lines.size() - 2].find(" 共边节省=0.000m"), std::string::npos)
        << lines[lines.size() - 2];
}

TEST_F(NestJobTest, PartWhoseSourceIsGoneIsDrawnAsOutlines) {
    const std::string copy = dir_.file("plates.dxf");
    fs::copy_file(kNestFixtures + "PLATES.DXF", copy);
    writeConfig("source=files\nfile=" + copy + "\n");
    qks::nest::runNestJob(app_, nest_, {});
    ASSERT_TRUE(nest_.nestJobActive().load());
    fs::remove(copy);
    waitForJob();
    const std::string drawing = out() + "/套料图.dxf";
    EXPECT_TRUE(
        startsWith(checkNestDrawing(drawing, 10, 2), "OK sheets=1 parts=2 blocks=0 outlines=2"))
        << checkNestDrawing(drawing, 10, 2);
}

// Remnants come before the sheets, in the stock drawing's order: with either search the parts on
// them stay inside the stock, the margin from its edge and the gap from its defect; an offcut is
// a rectangle no part touches, drawn and logged; a stock drawing that is not there leaves the job
// on its sheets.
TEST_F(NestJobTest, RemnantsComeFirstAndHoldTheirParts) {
    const std::string many = "file=" + kNestFixtures + "rect_hole.dxf\nfile=" + kNestFixtures +
                             "loose_lines.dxf\npartcount 1=200\npartcount 2=100\n";
    const std::string few = "file=" + kNestFixtures + "rect_hole.dxf\npartcount 1=4\n";
    const std::string remnants = kNestFixtures + "remnants.dxf";
    runChecker("tests/fixtures/nest/make_fixtures.py", {"stock", dir_.path()});
    const std::string slanted = dir_.file("slanted_remnant.dxf");
    const std::string narrow = dir_.file("narrow_remnant.dxf");
    ASSERT_TRUE(std::filesystem::exists(slanted) && std::filesystem::exists(narrow));
    const std::string gone = dir_.file("gone.dxf");
    struct Row {
        std::string parts;
        std::string stock;
        std::string keys;
        std::string checked;  // the stock checker's line up to the counts on pieces; empty: no
                              // piece is used, and the warning below is logged instead
        std::string warning;
        bool offcut = false;
    };
    const std::vector<Row> rows = {
        // More than the pieces hold, however densely packed: the rest goes onto the sheets.
        {many, remnants, "", "OK pieces=2 parts=300 ", ""},
        {many, remnants, "strategy=dense\nthreads=1\noffcut=1\n", "OK pieces=2 parts=300 ", "",
         true},
        // A few plates and one remnant: every plate goes onto the remnant, whatever the
        // strategy, and no sheet is opened.
        {few, slanted, "", "OK pieces=1 parts=4 onpieces=4 sheets=1 ", ""},
        {few, slanted, "strategy=dense\nthreads=1\n", "OK pieces=1 parts=4 onpieces=4 sheets=1 ",
         ""},
        {many, gone, "", "", "WARN 余料图纸不存在 " + gone + "，改用板材"},
        {few, narrow, "strategy=dense\nthreads=1\n", "",
         "WARN 余料图纸中没有可放零件的余料 " + narrow},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stock + " " + row.keys);
        writeConfig("source=files\n" + row.parts + "stockfile=" + row.stock + "\n" + row.keys);
        qks::nest::runNestJob(app_, nest_, {});
        waitForJob();
        const std::vector<std::string> lines = logLines(log());
        auto logged = [&](const std::string& prefix) {
            return std::any_of(lines.begin(), lines.end(),
                               [&](const std::string& l) { return startsWith(l, prefix); });
        };
        ASSERT_TRUE(logged("DONE ")) << readAll(log());
        const std::string drawing = out() + "/套料图.dxf";
        EXPECT_EQ(logged("NEST 余料="), row.warning.empty());
        if (!row.warning.empty()) {
            EXPECT_TRUE(logged(row.warning)) << readAll(log());
            EXPECT_TRUE(startsWith(checkNestDrawing(drawing, 10, 2, 4), "OK "))
                << checkNestDrawing(drawing, 10, 2, 4);
            continue;
        }
        EXPECT_EQ(logged("NEST 余料 板"), row.offcut);
        const std::string checked =
            runChecker("tests/nest_job/check_stock_nest.py",
                       {drawing, row.stock, "10", "4", row.offcut ? "1" : "0"});
        ASSERT_TRUE(startsWith(checked, row.checked)) << checked;
        if (row.parts != many) continue;
        int first = 0, second = 0, sheets = 0;
        ASSERT_EQ(std::sscanf(checked.c_str() + checked.find("onpieces="),
                              "onpieces=%d,%d sheets=%d", &first, &second, &sheets),
                  3)
            << checked;
        EXPECT_GT(first, 0) << checked;
        EXPECT_GT(second, 0) << checked;
        EXPECT_GT(sheets, 2) << checked;  // what the pieces cannot take goes onto the sheets
    }
}

// An adjusted layout goes back to the plug-in: the job's own layout file, edited as the Studio
// edits it, is refused with the parts named when a rule is broken and drawn when it holds.
TEST_F(NestJobTest, AdjustedLayoutIsCheckedOnTheOutlinesAndDrawn) {
    writeConfig("source=files\nfile=" + kNestFixtures + "PLATES.DXF\nrotate=0\nmirror=0\n");
    qks::nest::runNestJob(app_, nest_, {});
    waitForJob();
    const std::string drawing = out() + "/套料图.dxf";
    std::string error;
    const auto written = contract::readLayout(readAll(out() + "/套料图.qkslayout"), &error);
    ASSERT_TRUE(written) << error;
    ASSERT_EQ(written->parts.size(), 2u);
    EXPECT_EQ(written->settings.outDwg, drawing);
    EXPECT_EQ(written->settings.gridOrigin, 12.0);  // margin 10, gap 4 on 2 mm cells: one cell

    // Both kinds side by side on the first sheet, on the grid, the gap kept.
    const contract::PartRecord& a = written->parts[0];
    const contract::PartRecord& b = written->parts[1];
    const auto onGrid = [](double length) { return 12.0 + 2.0 * std::ceil(length / 2.0); };
    contract::NestLayout base = *written;
    base.sheets.resize(1);
    base.sheets[0].width = 1000;
    base.sheets[0].height = 500;
    base.sheets[0].placements = {{a.id, 12, 12, 0, false, false},
                                 {b.id, onGrid(a.width + 4), 12, 0, false, true}};
    using Edit = std::function<void(contract::NestLayout&)>;
    const auto placed = [](contract::NestLayout& l) -> std::vector<contract::LayoutPlacement>& {
        return l.sheets[0].placements;
    };
    struct Case {
        const char* what;
        Edit edit;
        const char* answer;  // in the FATAL line; null: drawn
    };
    const std::string nameA = "「" + a.name + "」(第 1 件)";
    const std::vector<Case> cases = {
        {"moved up", [&](auto& l) { placed(l)[0].y = onGrid(b.height + 4); }, nullptr},
        {"overlap", [&](auto& l) { placed(l)[1].x = 12; }, " 重叠"},
        {"gap", [&](auto& l) { placed(l)[1].x = onGrid(a.width + 1); }, " 间距 "},
        {"margin", [&](auto& l) { placed(l)[0].x = 8; }, " 距板边 "},
        {"outside", [&](auto& l) { placed(l)[1].x = 1000; }, " 超出板材"},
        {"defect",
         [&](auto& l) {
             l.sheets[0].stock = {{{0, 0}, {1000, 0}, {1000, 500}, {0, 500}},
                                  {{600, 200}, {640, 200}, {640, 240}, {600, 240}}};
             placed(l)[0] = {a.id, 600, 200, 0, false, false};
         },
         " 压在缺陷上"},
        {"unknown kind", [&](auto& l) { placed(l)[1].partId = 99; }, "编号 99 不在排版的零件中"},
        {"turn not allowed", [&](auto& l) { placed(l)[0].angle = 90; }, " 不被允许"},
        {"off the grid", [&](auto& l) { placed(l)[0].x = 13; }, "不在套料网格上"},
    };
    const std::string adjustLog = dir_.file("qks_nest_adjust.log");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        contract::NestLayout layout = base;
        c.edit(layout);
        const std::string path = dir_.write("edited.txt", contract::formatLayout(layout));
        qks::nest::runNestAdjust(app_, nest_, path);
        const std::vector<std::string> lines = logLines(adjustLog);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), "QKNESTADJUST 开始 " + path);
        if (c.answer) {
            EXPECT_TRUE(startsWith(lines.back(), "FATAL 排版未通过检查：板1：")) << lines.back();
            EXPECT_NE(lines.back().find(c.answer), std::string::npos) << lines.back();
            continue;
        }
        EXPECT_EQ(lines.back(), "NEST 已生成 " + drawing);
        EXPECT_TRUE(startsWith(lines[lines.size() - 2], "DONE 板=1 件=2 ")) << readAll(adjustLog);
        EXPECT_TRUE(startsWith(checkNestDrawing(drawing, 10, 2, 4), "OK sheets=1 parts=2 "))
            << checkNestDrawing(drawing, 10, 2, 4);
        const auto kept = contract::readLayout(readAll(out() + "/套料图.qkslayout"), &error);
        ASSERT_TRUE(kept) << error;
        EXPECT_EQ(kept->sheets.size(), 1u);
        EXPECT_EQ(kept->sheets[0].placements, layout.sheets[0].placements);
    }
    // A file that is no layout, and one that is not there.
    for (const std::string& path :
         {dir_.write("bad.txt", "hello\n"), dir_.file("missing.qkslayout")}) {
        qks::nest::runNestAdjust(app_, nest_, path);
        const std::string answer = logLines(adjustLog).back();
        EXPECT_TRUE(answer == "FATAL 排版文件第 1 行：不是套料排版文件" ||
                    answer == "FATAL 无法读取排版文件 " + path)
            << answer;
    }
}

// Locked parts of a layout file stay exactly where they lie while the rest is nested around them
// (the gap kept to them, checked on the drawing with ezdxf and shapely), with either search and
// with the common line; the kinds are found again by their outlines, whatever their ids and
// names; a locked part the job cannot keep is said in a WARN line, and a layout made on another
// grid is refused.
TEST_F(NestJobTest, LockedPartsStayWhereTheyLie) {
    const std::string head = "outDir=" + out() + "\nlog=" + log() +
                             "\nsource=files\nfile=" + kNestFixtures +
                             "rects_and_ls.dxf\ngap=4\nmargin=10\nseconds=1\nthreads=1\nrotate=0\n";
    dir_.write("qks_nest.cfg", head + "sheet=1000x500\ncell=2\n");
    qks::nest::runNestJob(app_, nest_, {});
    waitForJob();
    std::string error;
    const auto first = contract::readLayout(readAll(out() + "/套料图.qkslayout"), &error);
    ASSERT_TRUE(first) << error;
    ASSERT_EQ(first->parts.size(), 3u);
    const auto kindOf = [&](double width, double height) {
        for (const contract::PartRecord& part : first->parts)
            if (part.width == width && part.height == height) return part;
        ADD_FAILURE() << "no kind " << width << " x " << height;
        return contract::PartRecord{};
    };
    const contract::PartRecord rect = kindOf(120, 60), square = kindOf(80, 80),
                               ell = kindOf(100, 100);
    // Two plates and a square locked in the middle of the sheet (grid origin 12, cells of 2), an
    // L placed but not locked, and a second sheet without locked parts.
    const std::vector<contract::LayoutPlacement> locked = {{rect.id, 500, 200, 0, false, true},
                                                           {rect.id, 700, 200, 0, false, true},
                                                           {square.id, 500, 300, 0, false, true}};
    const std::vector<const contract::PartRecord*> lockedKinds = {&rect, &rect, &square};
    contract::NestLayout base = *first;
    base.sheets.assign(2, contract::LayoutSheet{0, 1000, 500, {}, {}});
    base.sheets[0].placements = locked;
    base.sheets[0].placements.push_back({ell.id, 12, 12, 0, false, false});
    base.sheets[1].placements = {{ell.id, 12, 12, 0, false, false}};
    const auto counts = [&](int rects, int squares, int ells) {
        return "partcount " + std::to_string(rect.id) + "=" + std::to_string(rects) +
               "\npartcount " + std::to_string(square.id) + "=" + std::to_string(squares) +
               "\npartcount " + std::to_string(ell.id) + "=" + std::to_string(ells) + "\n";
    };
    using Edit = std::function<void(contract::NestLayout&)>;
    struct Row {
        const char* what;
        std::string keys;
        Edit edit;
        std::vector<int> kept;  // of `locked`
        std::vector<std::string> warnings;
        std::string done;  // the DONE line's start; empty: refused with `fatal`
        std::string fatal;
        bool common = false;
    };
    const std::string sheetOne = "（板1）";
    const std::string plain = "sheet=1000x500\ncell=2\n";
    const std::vector<int> all = {0, 1, 2};
    const std::string full = "DONE 板=1 件=18 ";
    const std::vector<Row> rows = {
        {"standard", plain + counts(6, 6, 6), {}, all, {}, full},
        {"dense", plain + "strategy=dense\n" + counts(6, 6, 6), {}, all, {}, full},
        {"common line", plain + "commonline=1\n" + counts(6, 6, 6), {}, all, {}, full, "", true},
        {"kind renumbered and renamed",
         plain + counts(6, 6, 6),
         // As read from the drawing moved and renamed, another kind read before it.
         [&](contract::NestLayout& l) {
             for (contract::PartRecord& part : l.parts) {
                 if (part.id != rect.id) continue;
                 part.id = 70;
                 part.name = "旧零件";
                 part.refX += 33;
                 part.refY -= 7;
                 for (contract::Point& p : part.outline)
                     p = {p.x + 33, p.y - 7};
             }
             for (contract::LayoutPlacement& at : l.sheets[0].placements)
                 if (at.partId == rect.id) at.partId = 70;
         },
         all,
         {},
         full},
        {"kind gone",
         plain + counts(6, 0, 6),
         [&](contract::NestLayout& l) {
             l.sheets[0].placements.push_back({99, 12, 400, 0, false, true});
         },
         {0, 1},
         {"WARN 已锁定零件「" + square.name + "」" + sheetOne + "不在本次套料的零件中，未保留",
          "WARN 已锁定零件编号 99" + sheetOne + "不在本次套料的零件中，未保留"},
         "DONE 板=1 件=12 "},
        {"beyond the quantity",
         plain + counts(1, 6, 6),
         {},
         {0, 2},
         {"WARN 已锁定零件「" + rect.name + "」多于本次数量 1 件，多出的 1 件未保留"},
         "DONE 板=1 件=13 "},
        // The one sheet in stock is the locked one: what does not fit around the locked parts
        // stays unplaced.
        {"stock used up",
         "sheet=1000x500x1\ncell=2\n" + counts(70, 6, 6),
         {},
         all,
         {},
         "DONE 板=1 "},
        {"other grid",
         "sheet=1000x500\ncell=2.5\n" + counts(6, 6, 6),
         {},
         {},
         {},
         "",
         "FATAL "
         "排版文件的网格与本次套料不同（零件间距、板边距或网格精度已改），无法保留已锁定零件 "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        contract::NestLayout layout = base;
        if (row.edit) row.edit(layout);
        const std::string path = dir_.write("locked.qkslayout", contract::formatLayout(layout));
        dir_.write("qks_nest.cfg", head + row.keys + "keeplocked=" + path + "\n");
        qks::nest::runNestJob(app_, nest_, {});
        waitForJob();
        const std::vector<std::string> lines = logLines(log());
        ASSERT_FALSE(lines.empty());
        if (row.done.empty()) {
            EXPECT_EQ(lines.back(), row.fatal + path) << readAll(log());
            continue;
        }
        for (const std::string& warning : row.warnings)
            EXPECT_NE(std::find(lines.begin(), lines.end(), warning), lines.end())
                << warning << "\n"
                << readAll(log());
        EXPECT_NE(std::find(lines.begin(), lines.end(),
                            "NEST 保留已锁定零件=" + std::to_string(row.kept.size()) + " 板=1"),
                  lines.end())
            << readAll(log());
        const auto done = std::find_if(lines.begin(), lines.end(),
                                       [](const std::string& l) { return startsWith(l, "DONE "); });
        ASSERT_NE(done, lines.end()) << readAll(log());
        EXPECT_TRUE(startsWith(*done, row.done)) << *done;
        if (row.keys.find("x1\n") != std::string::npos)
            EXPECT_EQ(done->find(" 未放=0 "), std::string::npos) << *done;

        // The locked parts lead the first sheet, still locked, and no other part is.
        const auto again = contract::readLayout(readAll(out() + "/套料图.qkslayout"), &error);
        ASSERT_TRUE(again) << error;
        ASSERT_FALSE(again->sheets.empty());
        const std::vector<contract::LayoutPlacement>& placed = again->sheets[0].placements;
        ASSERT_GE(placed.size(), row.kept.size());
        std::size_t lockedCount = 0;
        for (const contract::LayoutSheet& sheet : again->sheets)
            for (const contract::LayoutPlacement& at : sheet.placements)
                lockedCount += at.locked;
        EXPECT_EQ(lockedCount, row.kept.size());
        for (std::size_t k = 0; k < row.kept.size(); ++k) {
            contract::LayoutPlacement want = locked[static_cast<std::size_t>(row.kept[k])];
            EXPECT_EQ(placed[k], want) << k;
        }

        // The drawing, read on its own: no overlap, the gap and margin kept, and a part exactly
        // on each locked part's box.
        const std::string drawing = out() + "/套料图.dxf";
        std::string checked;
        if (row.common) {
            std::vector<qks::nest::NestPart> parts;
            ASSERT_TRUE(qks::nest::readPartsFile(dir_.file("qks_nest_parts.txt"), parts));
            std::string areas;
            for (const qks::nest::NestPart& part : parts)
                areas += (areas.empty() ? "" : ",") + std::to_string(part.area);
            const std::size_t at = done->find(" 共边节省=");
            ASSERT_NE(at, std::string::npos) << *done;
            const std::string saved = std::to_string(
                std::stod(done->substr(at + std::string(" 共边节省=").size())) * 1000);
            checked = runChecker("tests/nest_job/check_common_line.py",
                                 {drawing, "4", "18", saved, areas, "bounds"});
        } else {
            checked = runChecker("tests/nest_job/check_nest_drawing.py",
                                 {drawing, "10", "2", "4", "bounds"});
        }
        ASSERT_TRUE(startsWith(checked, "OK ")) << checked;
        for (const int k : row.kept) {
            const contract::LayoutPlacement& at = locked[static_cast<std::size_t>(k)];
            const contract::PartRecord& kind = *lockedKinds[static_cast<std::size_t>(k)];
            char box[128];
            std::snprintf(box, sizeof box, "PART %.3f %.3f %.3f %.3f", at.x, at.y,
                          at.x + kind.width, at.y + kind.height);
            EXPECT_NE(checked.find(box), std::string::npos) << box << "\n" << checked;
        }
    }
}

// With parts in holes, a locked flange lends its bore: the next run puts the disc there although
// the locked sheet was the only one in stock, and the plug-in's own check takes that layout.
TEST_F(NestJobTest, ALockedPartsHoleTakesAPart) {
    const std::string config = "outDir=" + out() + "\nlog=" + log() +
                               "\nsource=files\nfile=" + kNestFixtures +
                               "flange_and_disc.dxf\nsheet=230x230x1\ngap=4\nmargin=10\n"
                               "cell=2\nseconds=1\nthreads=1\nrotate=0\nmirror=0\n"
                               "strategy=dense\npartInPart=1\npartcount 1=1\npartcount 2=1\n";
    dir_.write("qks_nest.cfg", config);
    qks::nest::runNestJob(app_, nest_, {});
    waitForJob();
    std::string error;
    auto layout = contract::readLayout(readAll(out() + "/套料图.qkslayout"), &error);
    ASSERT_TRUE(layout) << error;
    ASSERT_EQ(layout->sheets.size(), 1u);
    // The flange (the larger kind) alone, locked where it lies.
    std::vector<contract::LayoutPlacement>& placed = layout->sheets[0].placements;
    const auto flange =
        std::max_element(layout->parts.begin(), layout->parts.end(),
                         [](const auto& a, const auto& b) { return a.width < b.width; });
    placed.erase(std::remove_if(placed.begin(), placed.end(),
                                [&](const auto& at) { return at.partId != flange->id; }),
                 placed.end());
    ASSERT_EQ(placed.size(), 1u);
    placed[0].locked = true;
    const std::string locked = dir_.write("locked.qkslayout", contract::formatLayout(*layout));
    dir_.write("qks_nest.cfg", config + "keeplocked=" + locked + "\n");
    qks::nest::runNestJob(app_, nest_, {});
    waitForJob();
    const std::vector<std::string> lines = logLines(log());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(startsWith(lines[lines.size() - 2], "DONE 板=1 件=2 ")) << readAll(log());
    EXPECT_NE(lines[lines.size() - 2].find(" 未放=0"), std::string::npos)
        << lines[lines.size() - 2];
    const std::string again = out() + "/套料图.qkslayout";
    qks::nest::runNestAdjust(app_, nest_, again);
    EXPECT_EQ(logLines(dir_.file("qks_nest_adjust.log")).back(),
              "NEST 已生成 " + out() + "/套料图.dxf");
}

}  // namespace
}  // namespace qks::testing
