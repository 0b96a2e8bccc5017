// The merge job through the qkshost program: typed as QKMERGE with its config named by
// $QKS_MERGE_CFG, and requested over the bridge with "MERGE ".
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

const std::string kHost = hostProgram();
const std::string kFixtures = std::string(QKS_TEST_SOURCE_DIR) + "/tests/fixtures/merge/";

// Prepares two inputs and a config in a private temporary folder.
struct MergeSetup {
    TempDir dir;
    std::string config = dir.file("qks_merge.cfg");
    std::string log = dir.file("merge.log");
    std::string drawing = dir.file("out/merged.dxf");

    MergeSetup() {
        std::filesystem::copy_file(kFixtures + "rect_100x50.dxf", dir.file("a.dxf"));
        std::filesystem::copy_file(kFixtures + "offset_60x30.dxf", dir.file("b.dxf"));
        dir.write("qks_merge.cfg", "log=" + log + "\r\noutDwg=" + dir.file("out/merged.dwg") +
                                       "\r\ncolumns=2\r\npdf=1\r\nfile=" + dir.file("a.dxf") +
                                       "\r\nfile=" + dir.file("missing.dxf") +
                                       "\r\nfile=" + dir.file("b.dxf") + "\r\n");
    }
    std::vector<std::string> env() const {
        return hostEnvironment(dir.path(), {"QKS_MERGE_CFG=" + config});
    }
    std::string expectedLog() const {
        return "QKS 合并 DWG 开始 files=3\r\n"
               "ERR 文件不存在 " +
               dir.file("missing.dxf") +
               "\r\n"
               "MERGE a\r\n"
               "MERGE b\r\n"
               "MERGED count=2 dwg=" +
               drawing +
               "\r\n"
               "PDF 输出合并图纸\r\n"
               "RUN merged_model\r\n"
               "OK merged_model\r\n"
               "DONE total=1 ok=1 fail=0 dir=" +
               dir.file("out") + "\r\n";
    }
    void checkOutputs() const {
        const std::string facts = checkMergedDrawing(drawing);
        EXPECT_NE(facts.find("AUDIT OK\n"), std::string::npos) << facts;
        EXPECT_NE(facts.find("BLOCK QKS_a_0\n"), std::string::npos) << facts;
        EXPECT_NE(facts.find("BLOCK QKS_b_2\n"), std::string::npos) << facts;
        EXPECT_NE(facts.find("INSERT 0.0 -50.0 0.0 QKS_a_0\n"), std::string::npos) << facts;
        EXPECT_NE(facts.find("INSERT -888.0 -2030.0 0.0 QKS_b_2\n"), std::string::npos) << facts;
        const std::string info = pdfInfo(dir.file("out/merged_model.pdf"));
        const std::size_t pages = info.find("Pages:");
        ASSERT_NE(pages, std::string::npos) << info;
        EXPECT_EQ(std::stoi(info.substr(pages + 6)), 1) << info;
    }
};

TEST(MergeProcess, TypedCommandReadsTheConfigFromTheEnvironment) {
    MergeSetup setup;
    ChildProcess host({kHost, "--no-stdin", "-c", "QKMERGE"}, setup.dir.file("out.txt"),
                      setup.env());
    ASSERT_TRUE(host.started());
    EXPECT_EQ(host.wait(60s), 0) << host.output();
    EXPECT_EQ(readAll(setup.log), setup.expectedLog());
    setup.checkOutputs();
}

TEST(MergeProcess, BridgeRequestRunsTheJobOnTheHost) {
    MergeSetup setup;
    ChildProcess host({kHost, "--no-stdin", "--serve"}, setup.dir.file("out.txt"), setup.env());
    BridgeClient client;
    ASSERT_TRUE(client.connectWithin(setup.dir.file("qksstudio"), 10s)) << host.output();
    // The path sent over the bridge wins over the environment's.
    const std::string config = setup.dir.file("bridge.cfg");
    std::filesystem::copy_file(setup.config, config);
    std::filesystem::remove(setup.config);
    EXPECT_EQ(client.request("MERGE " + config + "\n"), "QUEUED");
    client.close();
    EXPECT_TRUE(
        eventually([&] { return readAll(setup.log).find("DONE ") != std::string::npos; }, 60s))
        << readAll(setup.log) << host.output();
    host.signal(SIGTERM);
    EXPECT_EQ(host.wait(20s), 0) << host.output();
    EXPECT_EQ(readAll(setup.log), setup.expectedLog());
    setup.checkOutputs();
}

}  // namespace
}  // namespace qks::testing
