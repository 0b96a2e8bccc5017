#include <gtest/gtest.h>

#include "qks/nest/config.h"
#include "qks/nest/config_file.h"
#include "qks/testing/temp_dir.h"

namespace qks::nest {
namespace {

NestConfig parse(const std::string& text, bool expectOk = true) {
    NestConfig config;
    std::string message;
    EXPECT_EQ(nestConfigFromText("sheet=3000x1500\noutDir=/out\n" + text, config, message),
              expectOk)
        << message;
    return config;
}

TEST(NestConfigReader, StrategyPartInPartRotationsAndThreads) {
    struct Case {
        const char* text;
        NestStrategy strategy;
        bool partInPart;
        std::int32_t threads;
        std::map<std::int32_t, std::vector<std::int32_t>> angles;  // empty list: free
    };
    const Case cases[] = {
        {"", NestStrategy::Standard, false, 0, {}},
        {"strategy=dense\npartInPart=1\nthreads=3", NestStrategy::Dense, true, 3, {}},
        {"strategy=Dense\npartInPart=0\nthreads=-4", NestStrategy::Standard, false, 0, {}},
        {"strategy=\npartInPart=yes\nthreads=100000", NestStrategy::Standard, true, 256, {}},
        {"partrotate 7=0,180\npartrotate 8=free\npartrotate 9=90, x, 45deg,-90,450,90",
         NestStrategy::Standard,
         false,
         0,
         {{7, {0, 180}}, {8, {}}, {9, {90, 270}}}},
        {"partrotate 5=\npartrotate 6=a,b\npartrotate 6=0,90,180,270\npartrotate 4= 45 ",
         NestStrategy::Standard,
         false,
         0,
         {{5, {0}}, {6, {0, 90, 180, 270}}, {4, {45}}}},
        {"partrotate 3=1.5,2\npartrotate 2=+30,99999999999",
         NestStrategy::Standard,
         false,
         0,
         {{3, {2}}, {2, {30}}}},
    };
    for (const Case& c : cases) {
        const NestConfig config = parse(c.text);
        EXPECT_EQ(config.strategy, c.strategy) << c.text;
        EXPECT_EQ(config.partInPart, c.partInPart) << c.text;
        EXPECT_EQ(config.threads, c.threads) << c.text;
        ASSERT_EQ(config.partRotations.size(), c.angles.size()) << c.text;
        for (const auto& [id, angles] : c.angles) {
            const PartRotation& r = config.partRotations.at(id);
            EXPECT_EQ(r.free, angles.empty()) << c.text << " id " << id;
            if (!angles.empty()) {
                EXPECT_EQ(r.angles, angles) << c.text << " id " << id;
            }
        }
    }
}

TEST(NestConfigReader, ListsLayersAndPartCounts) {
    const NestConfig config = parse(
        "layer=Cut, 0 ,CUT2\nlayer=,,Ätzen\nfile=a.dxf\nfile=\nfile=b.dwg\n"
        "partcount 12=0\npartcount=5\npartcount 7=3\npartcount 7=9\npartcount x=4\n"
        "partcount 3 = -2\nsheet=bad\nsheet=2500x1250x4\nunknown=1\nSource=files\n");
    EXPECT_EQ(config.layers, (std::vector<std::string>{"cut", "0", "cut2", "ätzen"}));
    EXPECT_EQ(config.files, (std::vector<std::string>{"a.dxf", "b.dwg"}));
    EXPECT_EQ(config.partCounts,
              (std::map<std::int32_t, std::int32_t>{{0, 4}, {3, -2}, {7, 9}, {12, 0}}));
    EXPECT_EQ(config.zeroCountIds, (std::set<std::int32_t>{3, 12}));
    ASSERT_EQ(config.sheets.size(), 2u);
    EXPECT_EQ(config.sheets[1].count, 4);
    EXPECT_EQ(config.source, "current");
}

TEST(NestConfigReader, FailuresAndDerivedOutput) {
    struct Case {
        const char* text;
        bool ok;
        const char* message;
        const char* outDwg;
    };
    const Case cases[] = {
        {"sheet=3000x1500\n", false, "请设置输出目录", ""},
        {"outDir=/x\n", false, "请至少填写一种板材尺寸", ""},
        {"", false, "请至少填写一种板材尺寸", ""},
        {"sheet=9x3000\noutDir=/x\n", false, "请至少填写一种板材尺寸", ""},
        // Folders are joined with '/', the separator of this platform (both are accepted).
        {"sheet=3000x1500\noutDir=D:\\nest\n", true, "", "D:\\nest/套料图.dxf"},
        {"sheet=3000x1500\noutDir=D:\\nest\\\n", true, "", "D:\\nest\\套料图.dxf"},
        {"sheet=3000x1500\noutDir=/home/u/nest\n", true, "", "/home/u/nest/套料图.dxf"},
        {"sheet=3000x1500\noutDir=/home/u/nest/\n", true, "", "/home/u/nest/套料图.dxf"},
        {"sheet=3000x1500\noutDir=/o\noutDwg=/p/q.dwg\n", true, "", "/p/q.dwg"},
        {"\xEF\xBB\xBFsheet=3000x1500\r\n  outDir = /o  \r\n# outDir=\n", true, "",
         "/o/套料图.dxf"},
    };
    for (const Case& c : cases) {
        NestConfig config;
        std::string message;
        EXPECT_EQ(nestConfigFromText(c.text, config, message), c.ok) << c.text;
        EXPECT_EQ(message, c.message) << c.text;
        if (c.ok) {
            EXPECT_EQ(config.outDwg, c.outDwg) << c.text;
        }
    }
}

TEST(NestConfigReader, ReadsFilesAndReportsAMissingOne) {
    testing::TempDir dir;
    NestConfig config;
    std::string message;
    EXPECT_FALSE(readNestConfig(dir.file("missing.cfg"), config, message));
    EXPECT_EQ(message, "无法读取套料配置");
    message.clear();
    EXPECT_FALSE(readNestConfig(dir.path(), config, message)) << "a folder is no config";
    EXPECT_EQ(message, "无法读取套料配置");
    const std::string path =
        dir.write("qks_nest.cfg", "source=picked\nsheet=3000 × 1500\noutDir=/o\ngap=0\n");
    NestConfig read;
    ASSERT_TRUE(readNestConfig(path, read, message));
    EXPECT_EQ(read.source, "picked");
    EXPECT_EQ(read.gap, 0.0);
    EXPECT_EQ(read.sheets[0].width, 3000);
}

}  // namespace
}  // namespace qks::nest
