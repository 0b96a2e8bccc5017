// The nest job through the qkshost program: QKNEST typed on its command line over the sample
// drawings (the demo's run), QKNESTPICK answered on the console, and a job requested and
// stopped over the bridge. Drawings are checked independently with ezdxf and shapely.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "qks/testing/bridge_client.h"
#include "qks/testing/checkers.h"
#include "qks/testing/process.h"
#include "qks/testing/temp_dir.h"

namespace qks::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kHost = hostProgram();
const std::string kSource = QKS_TEST_SOURCE_DIR;

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

// A private temporary folder holding the job config qks_nest.cfg.
struct NestSetup {
    TempDir dir;
    std::string log = dir.file("qks_nest.log");
    std::string drawing = dir.file("out/套料图.dxf");

    void writeConfig(const std::string& body, int seconds) const {
        dir.write("qks_nest.cfg", "outDir=" + dir.file("out") + "\noutDwg=" + dir.file("out") +
                                      "/套料图.dwg\nlog=" + log +
                                      "\nprefix=套料\nsheet=3000x1500x5\nsheet=2500x1250x10\n"
                                      "sheet=2000x1000\ngap=5\nmargin=10\ncell=2\nrotate=1\n"
                                      "mirror=1\nseconds=" +
                                      std::to_string(seconds) + "\n" + body);
    }
    std::vector<std::string> env() const { return hostEnvironment(dir.path()); }
    std::string check() const { return checkNestDrawing(drawing, 10, 2); }
};

TEST(NestProcess, TypedQknestNestsTheSamplesAndPlotsEverySheet) {
    NestSetup setup;
    std::string files;
    for (const char* name : {"brackets", "flanges", "channels", "gussets", "discs"})
        files += "file=" + kSource + "/samples/" + name + ".dxf\n";
    setup.writeConfig("source=files\n" + files + "pdf=1\n", 1);
    ChildProcess host({kHost, "--no-stdin", "-c", "QKNEST"}, setup.dir.file("out.txt"),
                      setup.env());
    ASSERT_TRUE(host.started());
    EXPECT_EQ(host.wait(120s), 0) << host.output();
    const std::string log = readAll(setup.log);
    EXPECT_TRUE(startsWith(log,
                           "QKNEST 开始 source=files\n"
                           "WARN 选择中没有找到闭合轮廓\n"
                           "NEST 零件种类=10\n"
                           "PARTS " +
                               setup.dir.file("qks_nest_parts.txt") + "\nNEST 首版 "))
        << log;
    const std::string done =
        "% 未放=0 文件=" + setup.drawing + "\nNEST 已生成 " + setup.drawing + "\n";
    ASSERT_GE(log.size(), done.size());
    EXPECT_EQ(log.substr(log.size() - done.size()), done) << log;
    const std::size_t sheetsAt = log.find("DONE 板=");
    ASSERT_NE(sheetsAt, std::string::npos);
    const int sheets = std::stoi(log.substr(sheetsAt + 9));
    EXPECT_NE(log.find("DONE 板=" + std::to_string(sheets) + " 件=27 "), std::string::npos);
    EXPECT_TRUE(startsWith(
        setup.check(), "OK sheets=" + std::to_string(sheets) + " parts=27 blocks=27 outlines=0"))
        << setup.check();
    for (int n = 1; n <= sheets; ++n) {
        const std::string pdf = setup.dir.file("out/套料_板" + std::to_string(n) + ".pdf");
        const std::string info = pdfInfo(pdf);
        EXPECT_NE(info.find("Pages:           1"), std::string::npos) << info;
        EXPECT_NE(info.find("(A"), std::string::npos) << info;  // an ISO A-size medium
        // Every sheet shows its parts: their numbers are on the page.
        const std::string text = pdfText(pdf);
        EXPECT_NE(text.find_first_of("0123456789"), std::string::npos) << text;
    }
    EXPECT_FALSE(fs::exists(setup.dir.file("out/套料_板" + std::to_string(sheets + 1) + ".pdf")));
}

TEST(NestProcess, PickedPartsThenQknest) {
    NestSetup setup;
    setup.writeConfig("source=picked\n", 1);
    ChildProcess host({kHost, "--no-stdin", kSource + "/tests/fixtures/nest/layers.dxf", "-c",
                       "QKNESTPICK", "-c", "ALL", "-c", "QKNEST"},
                      setup.dir.file("out.txt"), setup.env());
    ASSERT_TRUE(host.started());
    EXPECT_EQ(host.wait(60s), 0) << host.output();
    EXPECT_NE(host.output().find("[QKS] 已框选 2 种 / 2 件，正在准备套料..."), std::string::npos)
        << host.output();
    const std::string log = readAll(setup.log);
    EXPECT_TRUE(startsWith(log, "QKNEST 开始 source=picked\nNEST 零件种类=2\n")) << log;
    EXPECT_NE(log.find("NEST 已生成 " + setup.drawing + "\n"), std::string::npos) << log;
    EXPECT_TRUE(startsWith(setup.check(), "OK sheets=1 parts=2 blocks=2")) << setup.check();
}

TEST(NestProcess, NeststopOverTheBridgeKeepsTheBestLayout) {
    NestSetup setup;
    setup.writeConfig("source=files\nfile=" + kSource + "/samples/flanges.dxf\n", 120);
    ChildProcess host({kHost, "--no-stdin", "--serve"}, setup.dir.file("out.txt"), setup.env());
    BridgeClient client;
    ASSERT_TRUE(client.connectWithin(setup.dir.file("qksstudio"), 10s)) << host.output();
    EXPECT_EQ(client.request("NEST " + setup.dir.file("qks_nest.cfg") + "\n"), "QUEUED");
    EXPECT_TRUE(
        eventually([&] { return readAll(setup.log).find("NEST 首版") != std::string::npos; }, 60s))
        << readAll(setup.log);
    client.request("NESTSTOP\n");
    client.close();
    EXPECT_TRUE(eventually(
        [&] { return readAll(setup.log).find("NEST 已生成 ") != std::string::npos; }, 60s))
        << readAll(setup.log) << host.output();
    host.signal(SIGTERM);
    EXPECT_EQ(host.wait(20s), 0) << host.output();
    const std::string progress = readAll(setup.dir.file("qks_nest_progress.txt"));
    EXPECT_NE(progress.find("STATE\tstopped"), std::string::npos) << progress;
    EXPECT_TRUE(startsWith(setup.check(), "OK sheets=1 parts=5 blocks=5")) << setup.check();
}

}  // namespace
}  // namespace qks::testing
