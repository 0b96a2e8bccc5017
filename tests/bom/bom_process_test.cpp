// The BOM job through the qkshost program on drawings made by ezdxf; the workbook, CSV, flat
// blank and package are checked by an independent reader (openpyxl, shapely, ezdxf, zipfile).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "qks/testing/process.h"
#include "qks/testing/temp_dir.h"

namespace qks::testing {
namespace {

using namespace std::chrono_literals;

const std::string kReference = std::string(QKS_TEST_SOURCE_DIR) + "/tests/bom/bom_reference.py";

struct BomSetup {
    TempDir dir;
    std::string made = runCommand("/usr/bin/python3 " + kReference + " make " + dir.path());

    void writeConfig(const std::string& outDir) {
        dir.write("qks_bom.cfg",
                  "outDir=" + outDir + "\nlog=" + dir.file("bom.log") +
                      "\nfile=" + dir.file("attrs.dxf") + "\nfile=" + dir.file("text.dxf") +
                      "\nfile=" + dir.file("broken.dxf") + "\nfile=" + dir.file("missing.dxf") +
                      "\ncsv=1\npackage=1\nzip=1\nnest=" + dir.file("nest") +
                      "\n"
                      "material Q235=7.85,0.44,1:0.38,3:0.42\n"
                      "material SUS304=7.93,0.45,1:0.4,3:0.43\nmaterial AL5052=2.68,0.42\n");
    }
    int runJob() {
        return runHostCommand("QKBOM", "QKS_BOM_CFG", dir.file("qks_bom.cfg"), dir.path());
    }
};

TEST(BomProcess, WorkbookMatchesTheDrawingsGeometry) {
    BomSetup setup;
    ASSERT_EQ(setup.made, "");
    setup.writeConfig(setup.dir.file("out"));
    ASSERT_EQ(setup.runJob(), 0);
    const std::string log = readAll(setup.dir.file("bom.log"));
    EXPECT_NE(log.find("WARN P-100 未找到数量，按 1 件\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("DONE total=4 ok=2 fail=2 rows=3"), std::string::npos) << log;
    const std::string checked =
        runCommand("/usr/bin/python3 " + kReference + " check " + setup.dir.path());
    EXPECT_EQ(checked, "CHECKED 3 rows\n");
    EXPECT_NE(readAll(setup.dir.file("qks_bom_rows.txt")).find("\tP-100\t"), std::string::npos);
}

TEST(BomProcess, AWorkbookThatCannotBeWrittenLeavesNoFile) {
    BomSetup setup;
    ASSERT_EQ(setup.made, "");
    // A folder where the workbook should go: the rename over it must fail.
    std::filesystem::create_directories(setup.dir.file("out/BOM.xlsx/keep"));
    setup.writeConfig(setup.dir.file("out"));
    ASSERT_EQ(setup.runJob(), 0);
    const std::string log = readAll(setup.dir.file("bom.log"));
    EXPECT_NE(log.find("ERR 写入工作簿失败 " + setup.dir.file("out/BOM.xlsx")), std::string::npos)
        << log;
    EXPECT_FALSE(std::filesystem::exists(setup.dir.file("out/BOM.xlsx.tmp")));
    EXPECT_TRUE(std::filesystem::exists(setup.dir.file("out/BOM.xlsx/keep")));
    EXPECT_NE(log.find("DONE total=4 ok=2 fail=2 rows=3 xlsx=\r\n"), std::string::npos) << log;
}

// Drawings from eleven other programs: every piece a person counts is listed, none twice,
// and CAM layers named "…PROFILES" stay cut outlines, not bend profiles.
TEST(BomProcess, RealDrawingsListEveryPiece) {
    const std::string corpus = sharedDrawings(kRealDrawings);
    if (corpus.empty()) GTEST_SKIP() << sharedDrawingsAbsent(kRealDrawings);
    TempDir dir;
    ASSERT_EQ(unpackRealDrawings(dir.file("d")), "");
    dir.write("qks_bom.cfg", "outDir=" + dir.file("out") + "\nlog=" + dir.file("bom.log") +
                                 "\nfile=" + dir.file("d") + "\n");
    ASSERT_EQ(runHostCommand("QKBOM", "QKS_BOM_CFG", dir.file("qks_bom.cfg"), dir.path()), 0);
    EXPECT_NE(readAll(dir.file("bom.log")).find(realDrawingsDone()), std::string::npos)
        << realDrawingsDone();
    EXPECT_EQ(runCommand("/usr/bin/python3 " + kReference + " real " + dir.path() + " " + corpus +
                         "/expected.tsv"),
              "");
}

}  // namespace
}  // namespace qks::testing
