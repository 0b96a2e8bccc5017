// Drawings written by ezdxf, rendered and plotted to PDF, checked with poppler: what the
// pattern hatches, line patterns and wrapped texts look like on paper.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "pdf_tools.h"
#include "qkshost/drawing/database.h"
#include "qkshost/dxf/dxf.h"
#include "qkshost/pdf/pdf_engine.h"
#include "qkshost/pdf/text_metrics.h"
#include "qkshost/render/renderer.h"

namespace {

namespace drawing = qkshost::drawing;
namespace pdf = qkshost::pdf;
namespace tools = qkshost::pdf::testing;

const std::string kFixtures = std::string(QKS_SOURCE_DIR) + "/tests/fixtures/render/";

// Plots the model space of `db` as the window (0,0)-(420,297) on a full-bleed A3 sheet, so one
// drawing unit is one millimetre on paper, into `name` in `dir`; empty path when a step fails.
std::string plotModelOf(const drawing::Database& db, const tools::TempDir& dir,
                        const std::string& name) {
    const pdf::DisplayList list = qkshost::render::renderLayout(db, db.findLayout("Model"));
    pdf::PlotSettings s;
    pdf::PlotSettingsValidator::setPlotConfiguration(s, "DWG To PDF.pc3",
                                                     "ISO_full_bleed_A3_(420.00_x_297.00_MM)");
    s.plotType = pdf::PlotType::Window;
    s.window = {0, 0, 420, 297};
    const std::string out = dir.file(name);
    const pdf::PlotResult r = pdf::PdfPlotEngine().plotToFile(s, list, out);
    EXPECT_TRUE(r.ok()) << r.message;
    return r.ok() ? out : std::string();
}

// The same for a fixture of the render suite.
std::string plotModel(const tools::TempDir& dir, const std::string& fixture) {
    drawing::Database db(false);
    if (qkshost::dxf::readDxfFile(db, kFixtures + fixture).status != drawing::Status::Ok) return {};
    return plotModelOf(db, dir, fixture + ".pdf");
}

// Plots the model space of `db` and rasterises the sheet at `dpi`; false (with a test failure)
// when a step fails.
bool rasteriseModelOf(const drawing::Database& db, const tools::TempDir& dir,
                      const std::string& name, int dpi, tools::Image& image) {
    const std::string out = plotModelOf(db, dir, name);
    const bool rasterised = !out.empty() && tools::rasterise(out, dpi, image);
    EXPECT_TRUE(rasterised);
    return rasterised;
}

// Adds a single-line text to the model space of `db`; the text to adjust further.
drawing::Text& addText(drawing::Database& db, const std::string& contents,
                       const drawing::Point3d& position, double height) {
    auto t = std::make_unique<drawing::Text>();
    t->text = contents;
    t->position = position;
    t->height = height;
    drawing::Text& added = *t;
    db.appendEntity(std::move(t));
    return added;
}

TEST(RenderedPages, PatternHatchLinesStayInsideTheBoundaryAndOutOfTheHole) {
    tools::TempDir dir;
    const std::string pdfPath = plotModel(dir, "hatches.dxf");
    ASSERT_FALSE(pdfPath.empty());
    tools::Image image;
    ASSERT_TRUE(tools::rasterise(pdfPath, 40, image));
    const double pxPerMm = image.width / 420.0;
    // Ink in millimetre boxes of the sheet (y up), counted in pixels.
    auto inkIn = [&](double x0, double y0, double x1, double y1) {
        int n = 0;
        for (int y = int((297 - y1) * pxPerMm); y < int((297 - y0) * pxPerMm); ++y)
            for (int x = int(x0 * pxPerMm); x < int(x1 * pxPerMm); ++x)
                n += image.isInk(x, y) ? 1 : 0;
        return n;
    };
    const int area = int(10 * pxPerMm) * int(10 * pxPerMm);
    // Lines 6.35 mm apart cover a fair share of any 10 mm box of the hatched area...
    for (const auto& [x, y] : {std::pair{5.0, 5.0}, {25.0, 35.0}, {75.0, 10.0}, {85.0, 35.0}}) {
        SCOPED_TRACE(::testing::Message() << x << "," << y);
        const int n = inkIn(x, y, x + 10, y + 10);
        EXPECT_GT(n, area / 20);
        EXPECT_LT(n, area / 2) << "lines, not a solid fill";
    }
    // ...and none of the hole, nor of the paper around the boundary.
    EXPECT_EQ(inkIn(42, 22, 58, 28), 0);
    EXPECT_EQ(inkIn(102, 2, 190, 48), 0);
    EXPECT_EQ(inkIn(2, 52, 98, 90), 0);
    // The cross hatch is lines too; the solid hatch is solid.
    EXPECT_GT(inkIn(210, 10, 240, 40), 30 * 30 * pxPerMm * pxPerMm / 20);
    EXPECT_LT(inkIn(210, 10, 240, 40), 30 * 30 * pxPerMm * pxPerMm / 2);
    EXPECT_GT(inkIn(305, 5, 345, 45), 40 * 40 * pxPerMm * pxPerMm * 0.95);
}

TEST(RenderedPages, WrappedTextReadsBackLineByLine) {
    tools::TempDir dir;
    const std::string pdfPath = plotModel(dir, "mtext.dxf");
    ASSERT_FALSE(pdfPath.empty());
    std::string text;
    ASSERT_EQ(tools::run("pdftotext -enc UTF-8 -raw " + tools::quote(pdfPath) + " -", text), 0);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line != "\f") lines.push_back(line);
    auto count = [&](const std::string& wanted) {
        return std::count(lines.begin(), lines.end(), wanted);
    };
    EXPECT_EQ(count("零件清单"), 4) << text;
    EXPECT_EQ(count("first"), 1) << text;
    EXPECT_EQ(count("second"), 1) << text;
    // Every Latin line is a run of whole words, at most as wide as its text's width allows.
    for (const std::string& line : lines) {
        if (line.find("alpha") != std::string::npos || line.find("kappa") != std::string::npos) {
            EXPECT_LT(line.size(), std::string("alpha beta gamma delta epsilon").size()) << line;
        }
    }
    EXPECT_NE(text.find("kappa"), std::string::npos);
}

}  // namespace

namespace {

// Every drawing of the reader's fuzz corpus and the fixtures, each layout plotted to its
// extents: a page is written (or the plot refused with a reason), passes qpdf's structural
// check and poppler reads it cleanly.
TEST(RenderedPages, EveryDrawingOfTheCorporaPlotsToAReadablePage) {
    tools::TempDir dir;
    int pages = 0;
    for (const char* folder :
         {"/fuzz/qkshost_dxf/corpus", "/tests/fixtures/dxf", "/tests/fixtures/render"}) {
        const std::filesystem::path path = std::string(QKS_SOURCE_DIR) + folder;
        if (!std::filesystem::is_directory(path)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(path)) {
            if (!entry.is_regular_file()) continue;
            drawing::Database db(false);
            if (qkshost::dxf::readDxfFile(db, entry.path().string()).status != drawing::Status::Ok)
                continue;
            for (drawing::ObjectIndex layout : db.layouts()) {
                SCOPED_TRACE(entry.path().filename().string());
                const pdf::DisplayList list = qkshost::render::renderLayout(db, layout);
                pdf::PlotSettings s;
                pdf::PlotSettingsValidator::setPlotConfiguration(
                    s, "DWG To PDF.pc3", "ISO_full_bleed_A3_(420.00_x_297.00_MM)");
                s.plotType = pdf::PlotType::Extents;
                const std::string out = dir.file("page" + std::to_string(pages) + ".pdf");
                const pdf::PlotResult r = pdf::PdfPlotEngine().plotToFile(s, list, out);
                if (!r.ok()) {
                    EXPECT_FALSE(r.message.empty());
                    continue;
                }
                std::string info;
                ASSERT_EQ(tools::run("pdfinfo " + tools::quote(out) + " 2>&1", info), 0) << info;
                EXPECT_EQ(info.find("Error"), std::string::npos) << info;
                EXPECT_EQ(tools::pdfinfoField(out, "Pages"), "1");
                EXPECT_EQ(tools::qpdfProblems(out), "");
                std::string text;
                EXPECT_EQ(tools::run("pdftotext " + tools::quote(out) + " - 2>&1", text), 0);
                EXPECT_EQ(text.find("Error"), std::string::npos) << text;
                ++pages;
            }
        }
    }
    EXPECT_GT(pages, 20);
}

}  // namespace

namespace {

// Backward and upside-down texts (generation flags 2 and 4) are the text reflected about its
// insertion point; the ink on the sheet lies where the reflection puts it.
TEST(RenderedPages, BackwardAndUpsideDownTextsAreReflected) {
    struct Case {
        int generation;
        double rotation;
        bool inkLeft, inkBelow;  // of the insertion point, in the unrotated case
    };
    const Case cases[] = {
        {0, 0, false, false}, {2, 0, true, false},         {4, 0, false, true},
        {6, 0, true, true},   {2, M_PI / 2, false, false},  // turned a quarter: backward runs
                                                            // downwards
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "generation " << c.generation << " rotation " << c.rotation);
        drawing::Database db;
        drawing::Text& t = addText(db, "HHHHH", {200, 150, 0}, 20);
        t.rotation = c.rotation;
        t.generation = c.generation;
        tools::TempDir dir;
        tools::Image image;
        ASSERT_TRUE(rasteriseModelOf(db, dir, "text.pdf", 50, image));
        tools::PixelBox px;
        ASSERT_TRUE(tools::findPixels(
            image, [](qkshost::pdf::Rgb p) { return p.r < 128; }, px));
        const double k = image.width / 420.0;
        const double minX = px.minX / k, maxX = (px.maxX + 1) / k;
        const double minY = 297 - (px.maxY + 1) / k, maxY = 297 - px.minY / k;
        if (c.rotation == 0) {
            EXPECT_NEAR(c.inkLeft ? maxX : minX, 200, 3.0);
            EXPECT_GT(maxX - minX, 60);  // five capitals of height 20
            EXPECT_NEAR(c.inkBelow ? maxY : minY, 150, 1.0);
            EXPECT_NEAR(maxY - minY, 20, 1.5);
        } else {
            // Turned upwards, then reflected along its direction: the capitals still stand to
            // the left of the baseline, and the run goes down from the insertion point.
            EXPECT_NEAR(maxX, 200, 1.0);
            EXPECT_NEAR(maxY, 150, 3.0);
            EXPECT_GT(maxY - minY, 60);
        }
    }
}

}  // namespace

namespace {

// Inline formats of a multiline text on paper: the doubled run stands twice as tall as the
// plain one beside it, the red run follows in red, and every word reads back.
TEST(RenderedPages, FormattedMTextShowsEachRunInItsFormat) {
    drawing::Database db;
    auto m = std::make_unique<drawing::MText>();
    m->position = {20, 200, 0};
    m->height = 10;
    m->text = "{\\H2x;HH}HH{\\C1;HH}\\Pnext line";
    db.appendEntity(std::move(m));
    tools::TempDir dir;
    const std::string out = plotModelOf(db, dir, "mtext.pdf");
    ASSERT_FALSE(out.empty());
    std::string text;
    ASSERT_EQ(tools::run("pdftotext -enc UTF-8 " + tools::quote(out) + " -", text), 0);
    EXPECT_NE(text.find("next line"), std::string::npos) << text;

    tools::Image image;
    ASSERT_TRUE(tools::rasterise(out, 100, image));
    const double k = image.width / 420.0;
    auto box = [&](auto select, double x0, double x1) {
        tools::PixelBox px;
        px.minX = px.minY = 1 << 30;
        px.maxX = px.maxY = -1;
        // The first line only: between the second line's tops (173.3) and the page's top.
        for (int y = 0; y < int((297 - 175) * k); ++y)
            for (int x = int(x0 * k); x < int(x1 * k) && x < image.width; ++x)
                if (select(image.at(x, y))) {
                    px.minX = std::min(px.minX, x);
                    px.maxX = std::max(px.maxX, x);
                    px.minY = std::min(px.minY, y);
                    px.maxY = std::max(px.maxY, y);
                }
        return px;
    };
    auto dark = [](pdf::Rgb p) { return p.r < 100 && p.g < 100 && p.b < 100; };
    auto red = [](pdf::Rgb p) { return p.r > 150 && p.g < 100 && p.b < 100; };
    const tools::PixelBox redInk = box(red, 0, 420);
    ASSERT_GE(redInk.maxX, 0) << "no red run";
    const double bigEnd = 20 + pdf::textWidth("HH", "", 20);
    const tools::PixelBox big = box(dark, 0, bigEnd),
                          plain = box(dark, bigEnd + 0.3, redInk.minX / k);
    ASSERT_GE(big.maxX, 0);
    ASSERT_GE(plain.maxX, 0);
    const double bigHeight = (big.maxY - big.minY + 1) / k;
    const double plainHeight = (plain.maxY - plain.minY + 1) / k;
    EXPECT_NEAR(bigHeight, 20, 1.0);
    EXPECT_NEAR(plainHeight, 10, 1.0);
    EXPECT_NEAR((redInk.maxY - redInk.minY + 1) / k, 10, 1.0);
    // One baseline for the three runs, 20 below the top.
    EXPECT_NEAR(297 - (big.maxY + 1) / k, 180, 0.5);
    EXPECT_NEAR(big.maxY, plain.maxY, 1);
    EXPECT_NEAR(redInk.maxY, plain.maxY, 1);
}

}  // namespace

namespace {

// Underlined and overlined parts on paper: a line under the baseline and one over the
// capitals, each as long as its part.
TEST(RenderedPages, UnderlinesAndOverlinesRunUnderAndOverTheirParts) {
    drawing::Database db;
    addText(db, "%%uHHHH%%u HHHH %%oHHHH", {20, 150, 0}, 10);
    tools::TempDir dir;
    tools::Image image;
    ASSERT_TRUE(rasteriseModelOf(db, dir, "lines.pdf", 100, image));
    const double k = image.width / 420.0;
    // Dark pixels in a horizontal band (millimetres, y up): their x extent.
    auto band = [&](double y0, double y1, double& x0, double& x1) {
        x0 = 1e9;
        x1 = -1e9;
        for (int y = int((297 - y1) * k); y <= int((297 - y0) * k); ++y)
            for (int x = 0; x < image.width; ++x)
                if (image.isInk(x, y)) {
                    x0 = std::min(x0, x / k);
                    x1 = std::max(x1, (x + 1) / k);
                }
        return x1 > x0;
    };
    const double word = pdf::textWidth("HHHH", "", 10);
    const double upToLast = pdf::textWidth("HHHH HHHH ", "", 10);
    const double all = pdf::textWidth("HHHH HHHH HHHH", "", 10);
    double x0 = 0, x1 = 0;
    // Under the baseline (the line sits a tenth of the em, 1.3 mm, below it): the first word.
    ASSERT_TRUE(band(147.6, 149.2, x0, x1));
    EXPECT_NEAR(x0, 20, 0.3);
    EXPECT_NEAR(x1, 20 + word, 0.3);
    // Over the capitals (10 mm) by 0.15 em (2 mm): the last word.
    ASSERT_TRUE(band(160.8, 162.4, x0, x1));
    EXPECT_NEAR(x0, 20 + upToLast, 0.3);
    EXPECT_NEAR(x1, 20 + all, 0.3);
}

}  // namespace
