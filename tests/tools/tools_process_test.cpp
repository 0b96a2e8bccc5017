// The drawing-tools job through the qkshost program; what it writes is checked by ezdxf,
// shapely and openpyxl (tools_reference.py).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "qks/testing/process.h"
#include "qks/testing/temp_dir.h"

namespace qks::testing {
namespace {

using namespace std::chrono_literals;

const std::string kReference = std::string(QKS_TEST_SOURCE_DIR) + "/tests/tools/tools_reference.py";

struct ToolsRun {
    TempDir dir;
    std::string made = runCommand("/usr/bin/python3 " + kReference + " make " + dir.path());

    std::string run(const std::string& ops, const std::string& extra = {}) {
        dir.write("qks_tools.cfg", "outDir=" + dir.file("out") + "\nlog=" + dir.file("tools.log") +
                                       "\nfile=" + dir.file("parts.dxf") + "\nfile=" +
                                       dir.file("missing.dxf") + "\nop=" + ops + "\n" + extra);
        ChildProcess host(
            {hostProgram(), "--no-stdin", "-c", "QKTOOLS"}, dir.file("out.txt"),
            hostEnvironment(dir.path(), {"QKS_TOOLS_CFG=" + dir.file("qks_tools.cfg")}));
        if (!host.started() || host.wait(120s) != 0) return "host failed";
        return readAll(dir.file("tools.log"));
    }
    std::string check(const std::string& ops) {
        return runCommand("/usr/bin/python3 " + kReference + " check " + dir.path() + " " + ops);
    }
};

TEST(ToolsProcess, CleanLayersAreasAndAttributes) {
    ToolsRun run;
    ASSERT_EQ(run.made, "");
    // A drawing a document-protection system has encrypted is named as such.
    const std::string locked =
        run.dir.write("locked.dwg", "%TSD-Header-###%" + std::string(400, '\x3c'));
    const std::string log =
        run.run("clean,layers,area,attrs", "arealabels=1\nfile=" + locked + "\n");
    EXPECT_NE(
        log.find("CLEAN parts 炸开 0，零长 1，短线 0，重复 1，重叠合并 2，连接 4 段为 1 条多段线"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("AREA parts 零件 2，标注 2\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ERR 无法读取 " + locked + " 图纸已加密\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("DONE total=3 ok=1 fail=2\r\n"), std::string::npos) << log;
    EXPECT_EQ(run.check("clean,layers,area,attrs"), "");
}

TEST(ToolsProcess, CornersKeepPartsWithinTheRadius) {
    ToolsRun run;
    ASSERT_EQ(run.made, "");
    const std::string log = run.run("clean,corners", "radius=3\n");
    EXPECT_NE(log.find("CORNERS parts 处理角 10，未处理 0"), std::string::npos) << log;
    EXPECT_EQ(run.check("clean,corners"), "");
}

TEST(ToolsProcess, DimensionsHolesAndBalloons) {
    ToolsRun run;
    ASSERT_EQ(run.made, "");
    const std::string log = run.run("clean,dims,holes,balloons");
    // Two parts: two overall dimensions each; holes: one group per size and the ordinates of
    // the centres and the bend line; a balloon each.
    for (const char* line :
         {"DIMS parts 添加 4\r\n", "HOLES parts 添加 13\r\n", "BALLOONS parts 添加 2\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << log;
    EXPECT_EQ(run.check("clean,dims,holes,balloons"), "");
}

// What qksparts reads from a drawing: kinds, pieces and holes.
std::string partsOf(const std::string& drawing) {
    return runCommand(std::string(QKS_QKSPARTS) + " '" + drawing +
                      "' 2>/dev/null | awk -F'\t' '/^P/{k++; q+=$3} /^H/{h++} END{print k+0, q+0, "
                      "h+0}'");
}

// Drawings from eleven other programs go through clean-up and dimensions without a failure,
// and the cleaned copies give the nest the same parts.
TEST(ToolsProcess, RealDrawingsKeepTheirParts) {
    if (sharedDrawings(kRealDrawings).empty()) GTEST_SKIP() << sharedDrawingsAbsent(kRealDrawings);
    TempDir dir;
    ASSERT_EQ(unpackRealDrawings(dir.file("d")), "");
    dir.write("qks_tools.cfg", "outDir=" + dir.file("out") + "\nlog=" + dir.file("tools.log") +
                                   "\nfile=" + dir.file("d") + "\nop=clean,dims\n");
    ASSERT_EQ(runHostCommand("QKTOOLS", "QKS_TOOLS_CFG", dir.file("qks_tools.cfg"), dir.path()), 0);
    EXPECT_NE(readAll(dir.file("tools.log")).find(realDrawingsDone()), std::string::npos)
        << realDrawingsDone();
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("d"))) {
        const std::string stem = entry.path().stem().string();
        EXPECT_EQ(partsOf(dir.file("out/" + stem + "_整理.dxf")), partsOf(entry.path().string()))
            << stem;
    }
}

// The area table of drawings from other programs against their true curves as ezdxf and
// shapely measure them (true_figures.py), to 0.01 mm² and 0.01 mm.
TEST(ToolsProcess, AreasMatchTheTrueCurves) {
    if (sharedDrawings(kRealDrawings).empty()) GTEST_SKIP() << sharedDrawingsAbsent(kRealDrawings);
    TempDir dir;
    ASSERT_EQ(unpackRealDrawings(dir.file("d")), "");
    std::string config =
        "outDir=" + dir.file("out") + "\nlog=" + dir.file("tools.log") + "\nop=area\n";
    std::string drawings;
    for (const char* stem :
         {"laser4diy_backplate_flat", "laser4diy_bracket_flat_2pcs", "penguincam_test_part",
          "printnc_faceplate_80x50", "voron0_old_door_x1", "wemaker_braking_arm_solidworks"}) {
        config += "file=" + dir.file(std::string("d/") + stem + ".dxf") + "\n";
        drawings += " '" + dir.file(std::string("d/") + stem + ".dxf") + "'";
    }
    dir.write("qks_tools.cfg", config);
    ASSERT_EQ(runHostCommand("QKTOOLS", "QKS_TOOLS_CFG", dir.file("qks_tools.cfg"), dir.path()), 0);
    EXPECT_EQ(runCommand("/usr/bin/python3 " + std::string(QKS_TEST_SOURCE_DIR) +
                         "/tests/tools/true_figures.py '" + dir.file("out/标注清理.xlsx") + "'" +
                         drawings),
              "");
}

}  // namespace
}  // namespace qks::testing
