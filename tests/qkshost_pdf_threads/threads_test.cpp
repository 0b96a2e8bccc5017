// Engines on different threads plot at the same time: each thread has its own font map,
// compressor and page buffers, and the fonts prepared for subsetting are shared under a lock.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "pdf_tools.h"
#include "qkshost/pdf/pdf_engine.h"

namespace qkshost::pdf {
namespace {

using testing::TempDir;

PlotSettings a3Window() {
    PlotSettings s;
    EXPECT_EQ(PlotSettingsValidator::setPlotConfiguration(s, "DWG To PDF.pc3",
                                                          "ISO_full_bleed_A3_(420.00_x_297.00_MM)"),
              PlotStatus::Ok);
    s.plotType = PlotType::Window;
    s.window = {0, 0, 420, 297};
    return s;
}

DisplayList page(int thread, int index) {
    DisplayList list;
    for (int i = 0; i < 50; ++i) {
        list.add({PlotColour::aci(1 + i % 7)}, LinePrimitive{{double(i), 0}, {double(i), 100}});
        list.add({}, CirclePrimitive{{150, 100}, 1.0 + i});
    }
    TextPrimitive t;
    t.text = "线程" + std::to_string(thread) + " 第" + std::to_string(index) + "页 Sheet";
    t.position = {20, 150};
    t.height = 8;
    list.add({}, t);
    return list;
}

TEST(PdfThreads, EnginesOnSeveralThreadsPlotAtOnce) {
    constexpr int kThreads = 4, kPages = 6;
    TempDir dir;
    std::vector<std::string> failures(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            PdfPlotEngine engine;
            for (int p = 0; p < kPages; ++p) {
                const std::string pdf =
                    dir.file("t" + std::to_string(t) + "_" + std::to_string(p) + ".pdf");
                const PlotResult r = engine.plotToFile(a3Window(), page(t, p), pdf);
                if (!r.ok()) failures[t] += r.message + "\n";
            }
        });
    for (std::thread& t : threads)
        t.join();
    for (const std::string& f : failures)
        EXPECT_TRUE(f.empty()) << f;
    // Every page reads back with its own text.
    for (int t = 0; t < kThreads; ++t)
        for (int p = 0; p < kPages; ++p) {
            std::string text;
            const std::string pdf =
                dir.file("t" + std::to_string(t) + "_" + std::to_string(p) + ".pdf");
            ASSERT_EQ(testing::run("pdftotext -enc UTF-8 " + testing::quote(pdf) + " -", text), 0);
            EXPECT_NE(text.find("线程" + std::to_string(t) + " 第" + std::to_string(p) + "页"),
                      std::string::npos)
                << text;
        }
}

// Threads that plot and end, one after the other, each with faces of its own: the faces they
// leave behind are let go once there are many, and every page still comes out whole.
TEST(PdfThreads, ThreadsComingAndGoingKeepPlotting) {
    constexpr int kThreads = 20;
    TempDir dir;
    for (int t = 0; t < kThreads; ++t) {
        std::string failure;
        std::thread([&] {
            PdfPlotEngine engine;
            for (int p = 0; p < 2; ++p) {
                const PlotResult r = engine.plotToFile(
                    a3Window(), page(t, p),
                    dir.file("t" + std::to_string(t) + "_" + std::to_string(p) + ".pdf"));
                if (!r.ok()) failure += r.message + "\n";
            }
        }).join();
        ASSERT_TRUE(failure.empty()) << failure;
    }
    for (int t = 0; t < kThreads; t += 7) {
        std::string text;
        const std::string pdf = dir.file("t" + std::to_string(t) + "_1.pdf");
        ASSERT_EQ(testing::run("pdftotext -enc UTF-8 " + testing::quote(pdf) + " -", text), 0);
        EXPECT_NE(text.find("线程" + std::to_string(t) + " 第1页"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace qkshost::pdf
