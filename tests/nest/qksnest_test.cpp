// The command-line program, run as a real process.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

#include "polygon_check.h"
#include "qks/nest/parts_file.h"
#include "qks/nest/progress.h"
#include "qks/testing/process.h"
#include "qks/testing/temp_dir.h"

namespace qks::nest {
namespace {

using qks::testing::ChildProcess;
using qks::testing::readAll;

class QksNestProgram : public ::testing::Test {
  protected:
    std::string partsFile(int quantity) {
        std::vector<NestPart> parts{testing::rectanglePart(1, 300, 200, quantity),
                                    testing::lPart(2, 400, 300, quantity),
                                    testing::discPart(3, 120, 30, quantity)};
        const std::string path = dir_.file("parts.txt");
        EXPECT_TRUE(writePartsFile(path, parts));
        return path;
    }
    ChildProcess run(const std::vector<std::string>& args) {
        std::vector<std::string> argv{QKSNEST_PROGRAM};
        argv.insert(argv.end(), args.begin(), args.end());
        return ChildProcess(argv, dir_.file("out.txt"), {"TMPDIR=" + dir_.path()});
    }
    qks::testing::TempDir dir_;
};

TEST_F(QksNestProgram, NestsAndPrintsOneSummaryLine) {
    const std::string config =
        dir_.write("job.cfg", "sheet=2000x1000x2\noutDir=/nowhere\nseconds=1\npartcount 2=0\n");
    ChildProcess child = run({config, partsFile(4), "--seed", "9"});
    ASSERT_EQ(child.wait(), 0) << child.output();
    const std::string out = child.output();
    int sheets = -1, placed = -1, unplaced = -1, consumed = 0;
    long long iterations = -1;
    double utilisation = -1, seconds = -1;
    ASSERT_EQ(
        std::sscanf(out.c_str(),
                    "sheets=%d placed=%d unplaced=%d utilisation=%lf%% iterations=%lld "
                    "seconds=%lf\n%n",
                    &sheets, &placed, &unplaced, &utilisation, &iterations, &seconds, &consumed),
        6)
        << out;
    EXPECT_EQ(static_cast<std::size_t>(consumed), out.size()) << "one line only: " << out;
    EXPECT_EQ(placed + unplaced, 8) << "kind 2 was counted out";
    // The default progress file is the temporary folder's.
    const ProgressFile file = parseProgressText(readAll(dir_.file("qks_nest_progress.txt")));
    EXPECT_EQ(file.state, "done");
    EXPECT_EQ(static_cast<int>(file.sheets.size()), sheets);
    EXPECT_EQ(file.unplaced, unplaced);
}

TEST_F(QksNestProgram, InterruptStopsAndKeepsTheBestLayout) {
    const std::string config = dir_.write("job.cfg", "sheet=3000x1500\noutDir=/o\nseconds=600\n");
    const std::string progress = dir_.file("elsewhere.txt");
    ChildProcess child = run({config, partsFile(40), "--progress", progress});
    ASSERT_TRUE(qks::testing::eventually(
        [&] { return parseProgressText(readAll(progress)).sheets.size() > 0; },
        std::chrono::seconds(30)));
    child.signal(SIGINT);
    ASSERT_EQ(child.wait(std::chrono::seconds(30)), 0) << child.output();
    EXPECT_NE(child.output().find("placed=120 unplaced=0"), std::string::npos) << child.output();
    EXPECT_EQ(parseProgressText(readAll(progress)).state, "stopped");
}

TEST_F(QksNestProgram, RunsRepeatWithOneThreadASeedAndAnIterationLimit) {
    const std::string parts = partsFile(6);
    for (const std::string strategy : {"dense", "standard"}) {
        const std::string config =
            dir_.write("job.cfg",
                       "sheet=1500x1000\nsheet=800x600\noutDir=/o\nseconds=600\nthreads=1\n"
                       "partrotate 2=0,180\nstrategy=" +
                           strategy + "\n");
        const std::string steps = strategy == "dense" ? "40" : "3000";
        std::string placements[2];
        for (int run = 0; run < 2; ++run) {
            const std::string progress = dir_.file("progress" + std::to_string(run) + ".txt");
            ChildProcess child = this->run(
                {config, parts, "--seed", "4", "--iterations", steps, "--progress", progress});
            ASSERT_EQ(child.wait(std::chrono::seconds(120)), 0) << child.output();
            EXPECT_NE(child.output().find("iterations=" + steps + " "), std::string::npos)
                << child.output();
            for (const ProgressSheet& sheet : parseProgressText(readAll(progress)).sheets)
                for (const Placement& p : sheet.placements) {
                    if (p.partId == 2) {
                        EXPECT_TRUE(p.angle == 0 || p.angle == 180) << p.angle;
                    }
                    placements[run] += std::to_string(p.partId) + " " + std::to_string(p.angle) +
                                       " " + std::to_string(p.column) + " " +
                                       std::to_string(p.row) + "\n";
                }
        }
        EXPECT_FALSE(placements[0].empty()) << strategy;
        EXPECT_EQ(placements[0], placements[1]) << strategy;
    }
}

TEST_F(QksNestProgram, BadInputGivesTheReadersMessage) {
    struct Case {
        const char* name;
        std::string config;
        bool goodParts;
        const char* message;
    };
    const Case cases[] = {
        {"no output folder", "sheet=3000x1500\n", true, "请设置输出目录"},
        {"no sheet", "outDir=/o\nsheet=5x5\n", true, "请至少填写一种板材尺寸"},
        {"parts file missing", "sheet=3000x1500\noutDir=/o\n", false, "无法读取零件文件"},
        {"every kind counted out",
         "sheet=3000x1500\noutDir=/o\npartcount 1=0\npartcount 2=0\npartcount 3=0\n", true,
         "没有勾选需要套料的零件"},
    };
    for (const Case& c : cases) {
        const std::string config = dir_.write("job.cfg", c.config);
        const std::string parts = c.goodParts ? partsFile(1) : dir_.file("none.txt");
        ChildProcess child = run({config, parts});
        EXPECT_NE(child.wait(), 0) << c.name;
        EXPECT_NE(child.output().find(c.message), std::string::npos) << c.name << child.output();
    }
    ChildProcess missing = run({dir_.file("no.cfg"), partsFile(1)});
    EXPECT_NE(missing.wait(), 0);
    EXPECT_NE(missing.output().find("无法读取套料配置"), std::string::npos);
    ChildProcess usage = run({"only-one"});
    EXPECT_EQ(usage.wait(), 2);
}

}  // namespace
}  // namespace qks::nest
