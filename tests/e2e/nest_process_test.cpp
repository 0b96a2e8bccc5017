// The nest job through the qkshost program: QKNEST typed on its command line over the sample
// drawings (the demo's run), QKNESTPICK answered on the console, and a job requested and
// stopped over the bridge. Drawings are checked independently with ezdxf and shapely.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
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

// The parts of a parts file, keyed by "kind name|source handles" (the source file's name left
// out): count, area, bounding box and the areas of outline and holes. Areas, not vertex lists:
// a DWG keeps every double exactly where DXF rounds to 16 digits, and an offset outline may
// then keep one more collinear vertex.
std::map<std::string, std::vector<double>> partsByKind(const std::string& text) {
    std::map<std::string, std::vector<double>> out;
    std::map<std::string, std::string> keyOfId;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            f.push_back(field);
        if (f.size() >= 11 && f[0] == "P") {
            const std::string key = f[10] + "|" + f[9];
            keyOfId[f[1]] = key;
            for (int k = 2; k <= 7; ++k)
                out[key].push_back(std::stod(f[k]));
        } else if (f.size() >= 3 && (f[0] == "O" || f[0] == "H") && keyOfId.count(f[1])) {
            double twice = 0, x0 = 0, y0 = 0, px = 0, py = 0;
            std::istringstream points(f[2]);
            bool first = true;
            for (std::string point; std::getline(points, point, ';');) {
                const double x = std::stod(point), y = std::stod(point.substr(point.find(',') + 1));
                if (first)
                    x0 = x, y0 = y, first = false;
                else
                    twice += px * y - x * py;
                px = x, py = y;
            }
            twice += px * y0 - x0 * py;
            out[keyOfId[f[1]]].push_back(std::fabs(twice) / 2);
        }
    }
    return out;
}

// The files source reads DWG drawings: the same parts, and the same warnings, as from their
// DXF twins.
TEST(NestProcess, DwgSourcesGiveTheSamePartsAsTheirDxfTwins) {
    const std::string samples = sharedDrawings(kDwgSamples);
    if (samples.empty()) GTEST_SKIP() << sharedDrawingsAbsent(kDwgSamples);
    std::string logs[2], parts[2];
    for (int way = 0; way < 2; ++way) {
        NestSetup setup;
        std::string files;
        for (const char* year : {"2000", "2018"}) {
            files += "file=" + samples + "/example_" + year + (way == 0 ? ".dwg" : ".dxf") + "\n";
        }
        setup.writeConfig("source=files\n" + files, 1);
        ChildProcess host({kHost, "--no-stdin", "-c", "QKNEST"}, setup.dir.file("out.txt"),
                          setup.env());
        ASSERT_TRUE(host.started());
        EXPECT_EQ(host.wait(120s), 0) << host.output();
        logs[way] = readAll(setup.log);
        logs[way] = logs[way].substr(0, logs[way].find("PARTS "));
        parts[way] = readAll(setup.dir.file("qks_nest_parts.txt"));
    }
    EXPECT_EQ(logs[0], logs[1]);
    const auto fromDwg = partsByKind(parts[0]), fromDxf = partsByKind(parts[1]);
    ASSERT_EQ(fromDwg.size(), fromDxf.size()) << parts[0] << parts[1];
    ASSERT_FALSE(fromDwg.empty());
    for (const auto& [key, want] : fromDxf) {
        const auto got = fromDwg.find(key);
        ASSERT_NE(got, fromDwg.end()) << key;
        ASSERT_EQ(got->second.size(), want.size()) << key;
        for (std::size_t k = 0; k < want.size(); ++k)
            EXPECT_NEAR(got->second[k], want[k], 1e-6 * std::max(1.0, std::fabs(want[k])))
                << key << " value " << k;
    }
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
