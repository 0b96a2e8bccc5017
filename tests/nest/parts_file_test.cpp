#include <gtest/gtest.h>

#include <sys/stat.h>

#include "qks/nest/parts_file.h"
#include "qks/testing/temp_dir.h"

namespace qks::nest {
namespace {

NestPart plate() {
    NestPart p;
    p.id = 7;
    p.name = "法兰";
    p.quantity = 3;
    p.area = 2500000;
    p.refX = 0;
    p.refY = -0.5;
    p.width = 1234.5678;
    p.height = 600;
    p.source = "/drawings/a b.dxf";
    p.handles = {"1F", "2A"};
    p.outline = {{0, 0}, {1200.5, 0}, {1200.5, 600}, {0, 600.0004}};
    p.holes = {{{10, 10}, {20, 10}, {20, 20}}, {{100, 100}, {110, 100}, {110, 110.1236}}};
    return p;
}

TEST(PartsFile, WritesTheExactText) {
    NestPart bare;
    bare.id = 8;
    bare.name = "零件";
    bare.quantity = 1;
    bare.area = 0.5;
    bare.width = 1e6 + 0.7;
    bare.source = "CURRENT";
    bare.outline = {{0, 0}, {1, 0}, {0, 1}};
    const std::string text = formatPartsFile({plate(), bare});
    EXPECT_EQ(text,
              "# QKS-PARTS 2\n"
              "P\t7\t3\t2.5e+06\t0\t-0.5\t1234.57\t600\t/drawings/a b.dxf\t1F;2A\t法兰\n"
              "O\t7\t0.000,0.000;1200.500,0.000;1200.500,600.000;0.000,600.000\n"
              "H\t7\t10.000,10.000;20.000,10.000;20.000,20.000\n"
              "H\t7\t100.000,100.000;110.000,100.000;110.000,110.124\n"
              "P\t8\t1\t0.5\t0\t0\t1e+06\t0\tCURRENT\t\t零件\n"
              "O\t8\t0.000,0.000;1.000,0.000;0.000,1.000\n");
    EXPECT_EQ(formatPartsFile({}), "# QKS-PARTS 2\n");
}

TEST(PartsFile, RoundTripRoundsAsWrittenAndDropsZeroQuantities) {
    testing::TempDir dir;
    const std::string path = dir.file("deep/er/qks_nest_parts.txt");
    NestPart zero = plate();
    zero.id = 9;
    zero.quantity = 0;
    ASSERT_TRUE(writePartsFile(path, {plate(), zero}));
    EXPECT_FALSE(testing::readAll(path).empty());
    std::vector<NestPart> read;
    ASSERT_TRUE(readPartsFile(path, read));
    ASSERT_EQ(read.size(), 1u);
    const NestPart& p = read[0];
    EXPECT_EQ(p.id, 7);
    EXPECT_EQ(p.name, "法兰");
    EXPECT_EQ(p.quantity, 3);
    EXPECT_EQ(p.area, 2500000);
    EXPECT_EQ(p.refY, -0.5);
    EXPECT_EQ(p.width, 1234.57);
    EXPECT_EQ(p.source, "/drawings/a b.dxf");
    EXPECT_EQ(p.handles, (std::vector<std::string>{"1F", "2A"}));
    ASSERT_EQ(p.outline.size(), 4u);
    EXPECT_EQ(p.outline[3].y, 600.0);
    ASSERT_EQ(p.holes.size(), 2u);
    EXPECT_EQ(p.holes[1][2].y, 110.124);
}

TEST(PartsFile, ReaderToleratesOddFiles) {
    struct Case {
        const char* name;
        std::string text;
        std::size_t parts;
    };
    const std::string p1 = "P\t1\t2\t100\t0\t0\t10\t10\tCURRENT\t\tA\n";
    const std::string o1 = "O\t1\t0,0;10,0;10,10;0,10\n";
    const Case cases[] = {
        {"plain", p1 + o1, 1},
        {"crlf",
         "# QKS-PARTS 2\r\nP\t1\t2\t100\t0\t0\t10\t10\tCURRENT\t\tA\r\nO\t1\t0,0;10,0;10,10\r\n",
         1},
        {"bom and other version", "\xEF\xBB\xBF# QKS-PARTS 9\n" + p1 + o1, 1},
        {"outline before its P line", o1 + p1, 0},
        {"hole of unknown id", p1 + o1 + "H\t5\t1,1;2,1;2,2\n", 1},
        {"too few outline points", p1 + "O\t1\t0,0;10,0\n", 0},
        {"pieces without comma skipped", p1 + "O\t1\t0,0;junk;10,0;;10,10\n", 1},
        {"outline with an overflowing exponent", p1 + "O\t1\t0,0;10,1E999;10,10\n", 0},
        {"short P line", "P\t1\t2\t100\t0\t0\t10\t10\tCURRENT\t\n" + o1, 0},
        {"negative quantity", "P\t1\t-2\t100\t0\t0\t10\t10\tCURRENT\t\tA\n" + o1, 0},
        {"repeated id maps to later part", p1 + "P\t1\t5\t100\t0\t0\t10\t10\tCURRENT\t\tB\n" + o1,
         1},
        {"unknown record", p1 + o1 + "Q\t1\t2\t3\n", 1},
        {"empty", "", 0},
        {"header only", "# QKS-PARTS 2\n", 0},
        {"binary junk", std::string("\0\xff\xfe\t\t\n\t", 7), 0},
    };
    for (const Case& c : cases) {
        const std::vector<NestPart> parts = parsePartsText(c.text);
        EXPECT_EQ(parts.size(), c.parts) << c.name;
    }
    const std::vector<NestPart> later =
        parsePartsText(p1 + "P\t1\t5\t100\t0\t0\t10\t10\tCURRENT\t\tB\n" + o1);
    ASSERT_EQ(later.size(), 1u) << "the first P has no outline";
    EXPECT_EQ(later[0].name, "B");
    EXPECT_EQ(later[0].quantity, 5);
}

TEST(PartsFile, FailedWritesKeepTheOldFile) {
    testing::TempDir dir;
    const std::string path = dir.file("parts.txt");
    ASSERT_TRUE(writePartsFile(path, {plate()}));
    const std::string before = testing::readAll(path);
    // The temporary file cannot be created in a read-only folder (skipped when run as root,
    // whom permissions do not stop).
    ::chmod(dir.path().c_str(), 0555);
    if (::geteuid() != 0) {
        EXPECT_FALSE(writePartsFile(path, {}));
    }
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(testing::readAll(path), before);
    std::vector<NestPart> none;
    std::string message;
    EXPECT_FALSE(readPartsFile(dir.file("missing.txt"), none, &message));
    EXPECT_NE(message.find("missing.txt"), std::string::npos);
    ASSERT_TRUE(writePartsFile(path, {}));
    EXPECT_FALSE(readPartsFile(path, none, &message));
    EXPECT_TRUE(none.empty());
}

}  // namespace
}  // namespace qks::nest
