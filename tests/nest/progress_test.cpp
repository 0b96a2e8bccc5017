#include <gtest/gtest.h>

#include "polygon_check.h"
#include "qks/nest/progress.h"
#include "qks/nest/session.h"
#include "qks/testing/temp_dir.h"

namespace qks::nest {
namespace {

TEST(ProgressFile, ExactTextOfTheExampleLayout) {
    NestConfig config;
    config.margin = 10;
    config.cell = 2;
    config.gap = 5;
    SheetLayout sheet;
    sheet.width = 3000;
    sheet.height = 1500;
    sheet.usedArea = 0.352 * 3000 * 1500;
    sheet.placements = {{1, 0, 0, false, 0, 0}, {2, 1, 90, true, 212, 0}};
    EXPECT_EQ(formatProgress(config, {sheet}, "running", 3.0712, 0),
              "CFG\t10.000\t2.000\t4.000\n"
              "SHEET\t3000.000\t1500.000\n"
              "PLACE\t1\t0\t0\t0\t0\n"
              "PLACE\t2\t90\t1\t212\t0\n"
              "UTIL\t35.20\n"
              "UNPLACED\t0\n"
              "ELAPSED\t3.07\n"
              "STATE\trunning\n");
}

TEST(ProgressFile, EdgeCases) {
    struct Case {
        const char* name;
        double gap, margin, cell;
        Layout layout;
        const char* state;
        int unplaced;
        std::string expected;
    };
    SheetLayout a;
    a.width = 1000.25;
    a.height = 500.0004;
    a.usedArea = 0;
    const Case cases[] = {
        {"empty layout",
         5,
         10,
         2,
         {},
         "running",
         0,
         "CFG\t10.000\t2.000\t4.000\nUTIL\t0.00\nUNPLACED\t0\nELAPSED\t0.00\nSTATE\trunning\n"},
        {"gap 0",
         0,
         0,
         0.5,
         {},
         "done",
         3,
         "CFG\t0.000\t0.500\t0.000\nUTIL\t0.00\nUNPLACED\t3\nELAPSED\t0.00\nSTATE\tdone\n"},
        {"sheet without placements",
         1e-10,
         7.5,
         10,
         {a},
         "stopped",
         0,
         "CFG\t7.500\t10.000\t0.000\nSHEET\t1000.250\t500.000\nUTIL\t0.00\nUNPLACED\t0\n"
         "ELAPSED\t0.00\nSTATE\tstopped\n"},
    };
    for (const Case& c : cases) {
        NestConfig config;
        config.gap = c.gap;
        config.margin = c.margin;
        config.cell = c.cell;
        EXPECT_EQ(formatProgress(config, c.layout, c.state, 0.0, c.unplaced), c.expected) << c.name;
        const ProgressFile back = parseProgressText(c.expected);
        EXPECT_EQ(back.state, c.state) << c.name;
        EXPECT_EQ(back.unplaced, c.unplaced) << c.name;
        EXPECT_EQ(back.sheets.size(), c.layout.size()) << c.name;
        EXPECT_EQ(back.cfgLines, 1) << c.name;
    }
}

TEST(ProgressFile, WriterReplacesTheFileWhole) {
    qks::testing::TempDir dir;
    NestSession session;
    session.config.gap = 0;
    EXPECT_FALSE(writeProgressFile(session, {}, "running", 0, 0)) << "no path, no file";
    session.progressFilePath = dir.file("qks_nest_progress.txt");
    ASSERT_TRUE(writeProgressFile(session, {}, "running", 0, 0));
    const std::string first = qks::testing::readAll(session.progressFilePath);
    EXPECT_EQ(first.substr(0, 4), "CFG\t");
    SheetLayout sheet;
    sheet.width = 100;
    sheet.height = 50;
    sheet.usedArea = 2500;
    ASSERT_TRUE(writeProgressFile(session, {sheet}, "done", 1.5, 2));
    const ProgressFile back = parseProgressText(qks::testing::readAll(session.progressFilePath));
    EXPECT_EQ(back.utilisationPercent, 50.0);
    EXPECT_EQ(back.elapsed, 1.5);
    EXPECT_EQ(back.state, "done");
    EXPECT_FALSE(std::ifstream(session.progressFilePath + ".tmp").good());
    session.progressFilePath = dir.file("no/such/folder/p.txt");
    EXPECT_FALSE(writeProgressFile(session, {}, "running", 0, 0));
}

}  // namespace
}  // namespace qks::nest
