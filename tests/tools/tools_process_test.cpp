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
    const std::string log = run.run("clean,layers,area,attrs");
    EXPECT_NE(
        log.find("CLEAN parts 炸开 0，零长 1，短线 0，重复 1，重叠合并 2，连接 4 段为 1 条多段线"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("AREA parts 零件 2\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("DONE total=2 ok=1 fail=1\r\n"), std::string::npos) << log;
    EXPECT_EQ(run.check("clean,layers,area,attrs"), "");
}

TEST(ToolsProcess, CornersKeepPartsWithinTheRadius) {
    ToolsRun run;
    ASSERT_EQ(run.made, "");
    const std::string log = run.run("clean,corners", "radius=3\n");
    EXPECT_NE(log.find("CORNERS parts 处理角 10，未处理 0"), std::string::npos) << log;
    EXPECT_EQ(run.check("clean,corners"), "");
}

}  // namespace
}  // namespace qks::testing
