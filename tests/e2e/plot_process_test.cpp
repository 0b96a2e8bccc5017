// qkshost as a program running the plot jobs of the plug-in: QKPLOTFILES with a config in a
// private temporary folder, QKPLOT on a drawing opened from the command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "qks/testing/checkers.h"
#include "qks/testing/process.h"
#include "qks/testing/temp_dir.h"

namespace qks::testing {
namespace {

using namespace std::chrono_literals;

const std::string kHost = hostProgram();
const std::string kFrames = std::string(QKS_TEST_SOURCE_DIR) + "/tests/fixtures/plot/frames.dxf";
const std::string kEntities =
    std::string(QKS_TEST_SOURCE_DIR) + "/tests/fixtures/plot/entities.dxf";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(!line.empty() && line.back() == '\r') << "plot log lines end in CR LF";
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// A DWG drawing and the DXF the CAD program saved of it give the same page, pixel for pixel.
TEST(PlotProcess, DwgDrawingsPlotAsTheirDxfTwins) {
    const std::string samples = sharedDrawings(kDwgSamples);
    if (samples.empty()) GTEST_SKIP() << sharedDrawingsAbsent(kDwgSamples);
    TempDir dir;
    const std::string out = dir.file("out");
    const std::vector<std::string> years = {"2000", "2004", "2007", "2010", "2013", "2018"};
    std::string config = "outDir=" + out + "\nprefix=P\nscope=model\nstyle=monochrome.ctb\n";
    for (const std::string& year : years)
        config += "file=" + samples + "/example_" + year + ".dwg\nfile=" + samples + "/example_" +
                  year + ".dxf\n";
    dir.write("qks_plot_files.cfg", config);
    ChildProcess host({kHost, "--no-stdin", "-c", "QKPLOTFILES"}, dir.file("console.txt"),
                      hostEnvironment(dir.path(), {"QKS_PLOT_CFG="}));
    ASSERT_TRUE(host.started());
    EXPECT_EQ(host.wait(120s), 0) << host.output();
    for (const std::string& year : years) {
        const std::string fromDwg = pdfPageRaster(out + "/example_" + year + "_P_model.pdf", 100);
        const std::string fromDxf = pdfPageRaster(out + "/example_" + year + "_P_model_2.pdf", 100);
        EXPECT_GT(fromDwg.size(), 1000u) << year;
        EXPECT_TRUE(fromDwg == fromDxf) << year;
    }
}

TEST(PlotProcess, PlotFilesFromTheTemporaryFolder) {
    TempDir dir;
    const std::string out = dir.file("pdf out");
    const std::string missing = dir.file("missing.dxf");
    dir.write("qks_plot_files.cfg", "\xEF\xBB\xBFoutDir=" + out +
                                        "\r\nprefix=P\r\nscope=frames\r\n" +
                                        "style=monochrome.ctb\r\nfile=" + kFrames +
                                        "\r\nfile=" + missing + "\r\nfile=" + kEntities + "\r\n");
    ChildProcess host({kHost, "--no-stdin", "-c", "QKPLOTFILES"}, dir.file("console.txt"),
                      hostEnvironment(dir.path(), {"QKS_PLOT_CFG="}));
    ASSERT_TRUE(host.started());
    EXPECT_EQ(host.wait(120s), 0) << host.output();

    const std::vector<std::string> expected = {
        "QKS 批量文件出图开始 files=3",
        "OPEN " + kFrames,
        "RUN frames_P_QK-001",
        "OK frames_P_QK-001",
        "RUN frames_P_frame_2",
        "OK frames_P_frame_2",
        "RUN frames_P_QK-002 图纸",
        "OK frames_P_QK-002 图纸",
        "ERR 文件不存在 " + missing,
        "OPEN " + kEntities,
        "WARN 未识别到图框，按布局输出",
        "RUN Model -> " + out + "/entities_P_Model.pdf",
        "OK Model",
        "RUN Sheet -> " + out + "/entities_P_Sheet.pdf",
        "OK Sheet",
        "DONE total=6 ok=5 fail=1 dir=" + out,
    };
    EXPECT_EQ(lines(readAll(dir.file("qks_plot.log"))), expected);
    EXPECT_EQ(folderEntries(out),
              (std::vector<std::string>{"entities_P_Model.pdf", "entities_P_Sheet.pdf",
                                        "frames_P_QK-001.pdf", "frames_P_QK-002 图纸.pdf",
                                        "frames_P_frame_2.pdf"}));
    for (const auto& name : folderEntries(out)) {
        const std::string info = pdfInfo(out + "/" + name);
        EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << name << info;
        EXPECT_NE(info.find("1190.55 x 841.89 pts"), std::string::npos) << name << info;
    }
    const std::string text = pdfText(out + "/frames_P_QK-001.pdf");
    EXPECT_NE(text.find("第一张"), std::string::npos) << text;
    EXPECT_EQ(text.find("第二张"), std::string::npos) << "the other frame is outside the window";
    const std::string sheet = pdfText(out + "/entities_P_Sheet.pdf");
    EXPECT_NE(sheet.find("SHEETNOTE"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("标题文字"), std::string::npos) << "model text seen through the viewport";
}

TEST(PlotProcess, PlotCommandOnTheCurrentDrawing) {
    TempDir dir;
    const std::string out = dir.file("out");
    dir.write("qks_plot.cfg",
              "outDir=" + out + "\nscope=current\nlog=" + dir.file("job.log") + "\n");
    ChildProcess host({kHost, "--no-stdin", "-c", "QKPLOT", kEntities}, dir.file("console.txt"),
                      hostEnvironment(dir.path()));
    ASSERT_TRUE(host.started());
    EXPECT_EQ(host.wait(120s), 0) << host.output();
    const auto log = lines(readAll(dir.file("job.log")));
    ASSERT_FALSE(log.empty()) << host.output();
    EXPECT_EQ(log.front(), "QKS 批量出图开始 scope=current");
    EXPECT_EQ(log.back(), "DONE total=1 ok=1 fail=0 dir=" + out);
    EXPECT_EQ(folderEntries(out).size(), 1u);
}

}  // namespace
}  // namespace qks::testing
