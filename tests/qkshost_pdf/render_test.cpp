#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "pdf_fonts.h"
#include "pdf_tools.h"
#include "qkshost/pdf/pdf_engine.h"

namespace qkshost::pdf {
namespace {

using testing::Image;
using testing::PixelBox;
using testing::TempDir;

PlotSettings windowSettings(const std::string& media, const PlotRect& window,
                            const std::string& style = "") {
    PlotSettings s;
    EXPECT_EQ(PlotSettingsValidator::setPlotConfiguration(s, "DWG To PDF.pc3", media),
              PlotStatus::Ok);
    EXPECT_EQ(PlotSettingsValidator::setStyleSheet(s, style), PlotStatus::Ok);
    s.plotType = PlotType::Window;
    s.window = window;
    return s;
}

std::vector<PolylineVertex> rectangle(double x0, double y0, double x1, double y1) {
    return {{{x0, y0}}, {{x1, y0}}, {{x1, y1}}, {{x0, y1}}};
}

void fillRect(DisplayList& list, PlotColour colour, double x0, double y0, double x1, double y1) {
    list.add({colour}, FillPrimitive{{rectangle(x0, y0, x1, y1)}});
}

bool isRed(Rgb c) {
    return c.r > 200 && c.g < 60 && c.b < 60;
}
bool isBlue(Rgb c) {
    return c.b > 200 && c.r < 60 && c.g < 60;
}

// A full-bleed A3 landscape sheet plotting the window (0, 0)-(420, 297): one drawing unit is one
// millimetre on paper, measured from the sheet's lower-left corner.
struct Sheet {
    TempDir dir;
    Image image;
    double pxPerMm = 0;

    std::string pdf() const { return dir.file("sheet.pdf"); }

    // Plots and rasterises (dpi 0: no raster); false (with a test failure) when a step fails.
    bool plot(const DisplayList& list, int dpi, const std::string& style = "") {
        const std::string pdf = this->pdf();
        const PlotResult r = PdfPlotEngine().plotToFile(
            windowSettings("ISO_full_bleed_A3_(420.00_x_297.00_MM)", {0, 0, 420, 297}, style), list,
            pdf);
        EXPECT_TRUE(r.ok()) << r.message;
        const bool rasterised = r.ok() && (dpi == 0 || testing::rasterise(pdf, dpi, image));
        EXPECT_TRUE(rasterised);
        pxPerMm = image.width / 420.0;
        return rasterised;
    }
    // The colour at a point of the sheet (millimetres, y up).
    Rgb at(double xMm, double yMm) const {
        return image.at(static_cast<int>(xMm * pxPerMm), static_cast<int>((297 - yMm) * pxPerMm));
    }
    // Box (millimetres, y up) of the pixels `select` picks; false when there are none.
    template <class Select>
    bool ink(Select select, PlotRect& box) const {
        PixelBox px;
        if (!testing::findPixels(image, select, px)) return false;
        box = {px.minX / pxPerMm, 297 - (px.maxY + 1) / pxPerMm, (px.maxX + 1) / pxPerMm,
               297 - px.minY / pxPerMm};
        return true;
    }
};

void expectBox(const PlotRect& got, const PlotRect& expected, double slackMm) {
    EXPECT_NEAR(got.minX, expected.minX, slackMm);
    EXPECT_NEAR(got.minY, expected.minY, slackMm);
    EXPECT_NEAR(got.maxX, expected.maxX, slackMm);
    EXPECT_NEAR(got.maxY, expected.maxY, slackMm);
}

TEST(PdfRender, OnePageOfTheChosenMediaSize) {
    struct Case {
        const char* media;
        double w, h;
    };
    const Case cases[] = {{"ISO_full_bleed_A3_(420.00_x_297.00_MM)", 1190.55, 841.89},
                          {"ISO_A3_(297.00_x_420.00_MM)", 841.89, 1190.55},
                          {"ISO_expand_A1_(841.00_x_594.00_MM)", 2383.94, 1683.78},
                          {"ANSI_full_bleed_A_(11.00_x_8.50_Inches)", 792, 612}};
    TempDir dir;
    DisplayList list;
    list.add({}, LinePrimitive{{0, 0}, {100, 50}});
    PdfPlotEngine engine;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.media);
        const std::string pdf = dir.file("page.pdf");
        const PlotResult r = engine.plotToFile(windowSettings(c.media, {0, 0, 100, 50}), list, pdf);
        ASSERT_TRUE(r.ok()) << r.message;
        double w = 0, h = 0;
        ASSERT_TRUE(testing::pdfPageSize(pdf, w, h));
        EXPECT_NEAR(w, c.w, 0.01);
        EXPECT_NEAR(h, c.h, 0.01);
        EXPECT_EQ(testing::pdfinfoField(pdf, "Pages"), "1");
    }
    EXPECT_EQ(engine.pagesWritten(), 4);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"page.pdf"});
}

TEST(PdfRender, TextIsRealGlyphsInEmbeddedSubsetFonts) {
    struct Case {
        const char* text;
        const char* font;
        TextHAlign h;
        TextVAlign v;
    };
    const Case cases[] = {
        {"板1  1000 x 500  利用率 78.5%", "SimSun", TextHAlign::Left, TextVAlign::Baseline},
        {"图号 A-01 机箱侧板", "Microsoft YaHei UI", TextHAlign::Center, TextVAlign::Middle},
        {"Title Block QKS", "Arial", TextHAlign::Right, TextVAlign::Top},
        {"零件清单 x3", "simplex.shx", TextHAlign::Left, TextVAlign::Bottom},
        {"钣金展开", "", TextHAlign::Left, TextVAlign::Baseline},
    };
    TempDir dir;
    DisplayList list;
    double y = 250;
    for (const Case& c : cases) {
        TextPrimitive t;
        t.text = c.text;
        t.fontFamily = c.font;
        t.position = {c.h == TextHAlign::Left     ? 20.0
                      : c.h == TextHAlign::Center ? 200.0
                                                  : 400.0,
                      y};
        t.height = 12;
        t.hAlign = c.h;
        t.vAlign = c.v;
        list.add({PlotColour::aci(7)}, t);
        y -= 40;
    }
    const std::string pdf = dir.file("text.pdf");
    PdfPlotEngine engine;
    const PlotResult r = engine.plotToFile(
        windowSettings("ISO_full_bleed_A3_(420.00_x_297.00_MM)", {0, 0, 420, 297}), list, pdf,
        {std::nullopt, "文字 page"});
    ASSERT_TRUE(r.ok()) << r.message;

    std::string text;
    ASSERT_EQ(testing::run("pdftotext -enc UTF-8 " + testing::quote(pdf) + " -", text), 0);
    // pdftotext may fold runs of spaces, so each word is looked up.
    for (const Case& c : cases) {
        std::istringstream words(c.text);
        std::string word;
        while (words >> word)
            EXPECT_NE(text.find(word), std::string::npos) << word << "\n" << text;
    }

    std::string fonts;
    ASSERT_EQ(testing::run("pdffonts " + testing::quote(pdf), fonts), 0);
    // Every font is embedded as a subset; one of them is the CJK fallback.
    EXPECT_NE(fonts.find("WenQuanYi"), std::string::npos) << fonts;
    std::istringstream lines(fonts);
    std::string line;
    int fontLines = 0;
    while (std::getline(lines, line)) {
        if (line.size() < 10 || line.find('+') == std::string::npos) continue;
        ++fontLines;
        EXPECT_NE(line.find(" yes yes yes "), std::string::npos)
            << "not an embedded subset with a ToUnicode map: " << line;
    }
    EXPECT_GE(fontLines, 2) << fonts;
    EXPECT_EQ(testing::pdfinfoField(pdf, "Title"), "文字 page");

    // Every code shows the glyph of the character it is read back as, with that glyph's
    // advance (checked against the installed fonts by fontTools); subsets stay small.
    std::string glyphs;
    EXPECT_EQ(testing::run(std::string("/usr/bin/python3 ") + QKS_PDF_GLYPHS_SCRIPT + " " +
                               testing::quote(pdf) + " 2>&1",
                           glyphs),
              0)
        << glyphs;
    const std::size_t codes = glyphs.find("codes=");
    ASSERT_NE(codes, std::string::npos) << glyphs;
    EXPECT_GE(std::atoi(glyphs.c_str() + codes + 6), 30) << glyphs;
    EXPECT_LT(testing::readFile(pdf).size(), 80u * 1024);
    EXPECT_EQ(testing::qpdfProblems(pdf), "");
}

// A filled rectangle exactly covering the plotted area shows where fit, centring and rotation
// put the area: checked on the rasterised page against the sheet's printable area.
TEST(PdfRender, ScaleToFitAndCentringPlaceTheArea) {
    struct Case {
        const char* media;
        PlotRotation rotation;
        double pageWmm, pageHmm;
        PlotRect expectedMm;  // red footprint, y up
    };
    const Case cases[] = {
        {"ISO_full_bleed_A3_(420.00_x_297.00_MM)",
         PlotRotation::Deg0,
         420,
         297,
         {0, 43.5, 420, 253.5}},
        {"ISO_A3_(420.00_x_297.00_MM)", PlotRotation::Deg0, 420, 297, {5, 46, 415, 251}},
        {"ISO_full_bleed_A4_(210.00_x_297.00_MM)", PlotRotation::Deg0, 210, 297, {0, 96, 210, 201}},
        {"ISO_full_bleed_A4_(210.00_x_297.00_MM)",
         PlotRotation::Deg90,
         210,
         297,
         {30.75, 0, 179.25, 297}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.media) + " rotation " + std::to_string(int(c.rotation)));
        DisplayList list;
        fillRect(list, PlotColour::aci(1), 1000, 500, 1400, 700);
        // A blue mark in the area's lower-left corner tells the orientation.
        fillRect(list, PlotColour::aci(5), 1000, 500, 1040, 540);
        PlotSettings s = windowSettings(c.media, {1000, 500, 1400, 700});
        s.rotation = c.rotation;
        const std::string pdf = dir.file("fit.pdf");
        ASSERT_TRUE(PdfPlotEngine().plotToFile(s, list, pdf).ok());
        Image image;
        ASSERT_TRUE(testing::rasterise(pdf, 50, image));
        const double pxPerMmX = image.width / c.pageWmm, pxPerMmY = image.height / c.pageHmm;
        PixelBox red;
        ASSERT_TRUE(testing::findPixels(
            image, [](Rgb p) { return isRed(p) || isBlue(p); }, red));
        const double tolX = 0.01 * image.width, tolY = 0.01 * image.height;
        EXPECT_NEAR(red.minX, c.expectedMm.minX * pxPerMmX, tolX);
        EXPECT_NEAR(red.maxX + 1, c.expectedMm.maxX * pxPerMmX, tolX);
        EXPECT_NEAR(red.minY, (c.pageHmm - c.expectedMm.maxY) * pxPerMmY, tolY);
        EXPECT_NEAR(red.maxY + 1, (c.pageHmm - c.expectedMm.minY) * pxPerMmY, tolY);
        PixelBox blue;
        ASSERT_TRUE(testing::findPixels(image, isBlue, blue));
        const double bx = (blue.minX + blue.maxX) / 2.0, by = (blue.minY + blue.maxY) / 2.0;
        const double cx = (red.minX + red.maxX) / 2.0, cy = (red.minY + red.maxY) / 2.0;
        if (c.rotation == PlotRotation::Deg0) {  // lower left stays lower left
            EXPECT_LT(bx, cx);
            EXPECT_GT(by, cy);
        } else {  // a quarter turn counter-clockwise brings it to the lower right
            EXPECT_GT(bx, cx);
            EXPECT_GT(by, cy);
        }
    }
}

TEST(PdfRender, StyleTablesDecideTheInk) {
    const PlotColour colours[] = {PlotColour::aci(1), PlotColour::aci(3), PlotColour::aci(5),
                                  PlotColour::aci(7), PlotColour::trueColour(200, 100, 50)};
    DisplayList list;
    for (int i = 0; i < 5; ++i)
        fillRect(list, colours[i], i * 80.0, 0, i * 80.0 + 60, 60);
    TempDir dir;
    for (const char* table : {"acad.ctb", "grayscale.ctb", "monochrome.ctb"}) {
        SCOPED_TRACE(table);
        const std::string pdf = dir.file("style.pdf");
        ASSERT_TRUE(PdfPlotEngine()
                        .plotToFile(windowSettings("ISO_full_bleed_A3_(420.00_x_297.00_MM)",
                                                   {0, 0, 380, 60}, table),
                                    list, pdf)
                        .ok());
        Image image;
        ASSERT_TRUE(testing::rasterise(pdf, 40, image));
        // The 380 x 60 area fills the sheet's width: 1 unit = 420/380 mm, centred vertically.
        const double pxPerUnit = image.width / 380.0;
        const double y = image.height / 2.0;
        for (int i = 0; i < 5; ++i) {
            const Rgb expected = findPlotStyleTable(table)->map(colours[i]);
            const Rgb got =
                image.at(static_cast<int>((i * 80 + 30) * pxPerUnit), static_cast<int>(y));
            EXPECT_NEAR(got.r, expected.r, 3) << i;
            EXPECT_NEAR(got.g, expected.g, 3) << i;
            EXPECT_NEAR(got.b, expected.b, 3) << i;
        }
    }
}

TEST(PdfRender, ClipRectanglesLimitWhatIsDrawn) {
    DisplayList list;
    list.pushClip({100, 100, 200, 200});
    fillRect(list, PlotColour::aci(1), -1000, -1000, 1000, 1000);  // only the clip shows
    list.pushClip({150, 150, 400, 400});                           // nested: 150..200 left
    fillRect(list, PlotColour::aci(5), -1000, -1000, 1000, 1000);
    list.popClip();
    list.popClip();
    list.popClip();                                       // unmatched: ignored
    fillRect(list, PlotColour::aci(5), 300, 0, 400, 50);  // after the pops: unclipped
    list.pushClip({0, 0, 10, 10});                        // left open: closed at the end
    Sheet sheet;
    ASSERT_TRUE(sheet.plot(list, 50));
    PlotRect red, blue;
    ASSERT_TRUE(sheet.ink(isRed, red));
    expectBox(red, {100, 100, 200, 200}, 1.0);
    ASSERT_TRUE(sheet.ink(isBlue, blue));
    // From the nested clip's corner to the unclipped rectangle at (300..400, 0..50).
    expectBox(blue, {150, 0, 400, 200}, 1.0);
    // Inside the nested clip the later blue covers the red; outside it nothing spilled.
    EXPECT_TRUE(isBlue(sheet.at(175, 175)));
    EXPECT_TRUE(isRed(sheet.at(125, 125)));
    EXPECT_EQ(sheet.at(250, 250), (Rgb{255, 255, 255}));
}

// A window plot shows the window only, even where the sheet has room beside it: the next nest
// sheet 20 units to the right stays off the page. An extents plot of the same drawing shows both.
TEST(PdfRender, WindowPlotsShowOnlyTheWindow) {
    DisplayList list;
    fillRect(list, PlotColour::aci(1), 0, 0, 500, 500);
    fillRect(list, PlotColour::aci(5), 520, 0, 700, 500);
    TempDir dir;
    for (bool window : {true, false}) {
        SCOPED_TRACE(window ? "window" : "extents");
        PlotSettings s = windowSettings("ISO_full_bleed_A3_(420.00_x_297.00_MM)", {0, 0, 500, 500});
        if (!window) s.plotType = PlotType::Extents;
        const std::string pdf = dir.file("window.pdf");
        ASSERT_TRUE(PdfPlotEngine().plotToFile(s, list, pdf).ok());
        Image image;
        ASSERT_TRUE(testing::rasterise(pdf, 30, image));
        PixelBox red, blue;
        EXPECT_TRUE(testing::findPixels(image, isRed, red));
        EXPECT_EQ(testing::findPixels(image, isBlue, blue), !window);
    }
}

// Curves: a bulged closed polyline (a circle of radius 50 made of two half-circle bulges), an
// arc, an ellipse and a tapered wide polyline land where their geometry says.
TEST(PdfRender, CurvesAndWidePolylines) {
    struct Case {
        const char* what;
        Primitive primitive;
        bool fill;
        PlotRect expected;  // bounding box, drawing units (= mm on this page)
    };
    const Case cases[] = {
        {"bulged fill",
         FillPrimitive{{{{{100, 150}, 1.0}, {{200, 150}, 1.0}}}},
         true,
         {100, 100, 200, 200}},
        {"arc", ArcPrimitive{{150, 150}, 60, 0.0, M_PI}, false, {90, 150, 210, 210}},
        {"wrapped arc",
         ArcPrimitive{{150, 150}, 60, 1.5 * M_PI, 0.5 * M_PI},
         false,
         {150, 90, 210, 210}},
        {"ellipse", EllipsePrimitive{{200, 150}, {0, 100}, 0.5}, false, {150, 50, 250, 250}},
        {"wide polyline",
         PolylinePrimitive{{{{50, 150}, 0, 20, 20}, {{350, 150}, 0, 20, 20}}, false},
         true,
         {50, 140, 350, 160}},
        {"tapered polyline",
         PolylinePrimitive{{{{50, 150}, 0, 40, 10}, {{350, 150}, 0, 0, 0}}, false},
         true,
         {50, 130, 350, 170}},
        {"wide bulge",
         PolylinePrimitive{{{{100, 150}, -1.0, 10, 10}, {{200, 150}, 0, 10, 10}}, false},
         true,
         {95, 150, 205, 205}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DisplayList list;
        list.add({PlotColour::aci(1), 1.0}, c.primitive);
        Sheet sheet;
        ASSERT_TRUE(sheet.plot(list, 50));
        PlotRect got;
        ASSERT_TRUE(sheet.ink(isRed, got));
        expectBox(got, c.expected, c.fill ? 1.0 : 1.5);  // strokes are 1 mm wide
        // The display list's own extents hold what was drawn, wide lines by their full width
        // around every vertex.
        const auto extents = list.extents();
        ASSERT_TRUE(extents);
        const double allowance = c.fill ? 20.01 : 0.01;
        EXPECT_LE(extents->minX, c.expected.minX + 0.01);
        EXPECT_GE(extents->minX, c.expected.minX - allowance);
        EXPECT_GE(extents->maxY, c.expected.maxY - 0.01);
        EXPECT_LE(extents->maxY, c.expected.maxY + allowance);
    }
}

// Circles, arcs, ellipses and bulges reach the PDF as a few Bezier curves, not as polygons;
// consecutive strokes of one pen share one stroke operator.
TEST(PdfRender, CurvesStayCurvesAndStrokesAreBatched) {
    DisplayList list;
    const Pen pen{PlotColour::aci(1), 0.35};
    list.add(pen, CirclePrimitive{{100, 100}, 50});
    list.add(pen, ArcPrimitive{{250, 100}, 50, 0, M_PI / 2});
    list.add(pen, EllipsePrimitive{{100, 220}, {60, 20}, 0.4});
    list.add(pen, PolylinePrimitive{{{{200, 200}, 1.0}, {{300, 200}, 1.0}}, true});
    list.add(pen, PolylinePrimitive{{{{200, 260}, 0, 4, 4}, {{300, 260}, -0.4, 4, 4}, {{350, 280}}},
                                    false});
    Sheet sheet;
    ASSERT_TRUE(sheet.plot(list, 0));
    std::string out;
    ASSERT_EQ(testing::run(std::string("/usr/bin/python3 ") + QKS_PDF_OPS_SCRIPT + " " +
                               testing::quote(sheet.pdf()),
                           out),
              0);
    std::map<std::string, int> ops;
    std::istringstream words(out);
    std::string word;
    while (words >> word)
        ops[word.substr(0, word.find('='))] = std::stoi(word.substr(word.find('=') + 1));
    EXPECT_GE(ops["c"],
              4 + 1 + 4 + 4 + 1);  // circle, quarter arc, ellipse, two half circles, bulge
    EXPECT_LE(ops["c"], 30) << out;
    EXPECT_LE(ops["l"], 6) << out;  // the wide polyline's straight edges, nothing tessellated
    EXPECT_EQ(ops["S"], 2) << out;  // the four thin shapes in one stroke; the wide one alone
}

// Block references kept as transforms: the geometry follows the map exactly (mirrored arcs turn
// the other way, unequal scales make ellipses of circles), pen weights stay millimetres, and a
// flattening transform hides what it holds.
TEST(PdfRender, TransformsPlaceBlockContents) {
    struct Case {
        const char* what;
        void (*build)(DisplayList&);
        PlotRect expected;  // red ink, drawing units (= mm on this sheet)
        double slack;       // millimetres
    };
    static const Pen pen{PlotColour::aci(1), 0.5};
    const Case cases[] = {
        {"mirrored arc",
         [](DisplayList& l) {
             l.pushTransform(Affine2::placement({200, 150}, 0, -1, 1));
             l.add(pen, ArcPrimitive{{0, 0}, 50, 0, M_PI / 2});
             l.popTransform();
         },
         {150, 150, 200, 200},
         0.6},
        {"circle under unequal scales",
         [](DisplayList& l) {
             l.pushTransform(Affine2::placement({100, 100}, 0, 3, 1));
             l.add(pen, CirclePrimitive{{0, 0}, 20});
             l.popTransform();
         },
         {40, 80, 160, 120},
         0.6},
        {"nested: turned a quarter inside a moved block",
         [](DisplayList& l) {
             l.pushTransform(Affine2::placement({300, 100}, 0, 1, 1));
             l.pushTransform(Affine2::placement({0, 0}, M_PI / 2, 2, 2));
             l.add(pen, FillPrimitive{{{{{0, 0}}, {{40, 0}}, {{40, 10}}, {{0, 10}}}}});
             l.popTransform();
             l.popTransform();
             l.popTransform();  // unmatched: ignored
         },
         {280, 100, 300, 180},
         0.3},
        {"flattened block hidden, later items drawn",
         [](DisplayList& l) {
             l.pushTransform(Affine2::placement({0, 0}, 0, 0, 1));
             l.add(pen, CirclePrimitive{{100, 100}, 50});
             l.pushClip({0, 0, 1, 1});
             l.popClip();
             l.popTransform();
             l.add(pen, FillPrimitive{{{{{10, 10}}, {{20, 10}}, {{20, 20}}, {{10, 20}}}}});
         },
         {10, 10, 20, 20},
         0.3},
        {"clip inside a block",
         [](DisplayList& l) {
             l.pushTransform(Affine2::placement({100, 100}, 0, 2, 2));
             l.pushClip({0, 0, 10, 10});
             l.add(pen, FillPrimitive{{{{{-50, -50}}, {{50, -50}}, {{50, 50}}, {{-50, 50}}}}});
             l.popClip();
             l.popTransform();
         },
         {100, 100, 120, 120},
         0.3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DisplayList list;
        c.build(list);
        Sheet sheet;
        ASSERT_TRUE(sheet.plot(list, 100));
        PlotRect got;
        ASSERT_TRUE(sheet.ink(isRed, got));
        expectBox(got, c.expected, c.slack + 0.3);
        const auto extents = list.extents();
        ASSERT_TRUE(extents);
        EXPECT_LE(extents->minX, c.expected.minX + 0.01);
        EXPECT_GE(extents->maxX, c.expected.maxX - 0.01);
    }
}

// A pen of 1 mm is 1 mm on paper whether the line sits in a block scaled by 10 or not.
TEST(PdfRender, PenWeightsIgnoreBlockScale) {
    DisplayList list;
    const Pen pen{PlotColour::aci(1), 1.0};
    list.add(pen, LinePrimitive{{50, 100}, {150, 100}});
    list.pushTransform(Affine2::placement({250, 200}, 0, 10, 10));
    list.add(pen, LinePrimitive{{0, 0}, {10, 0}});
    list.popTransform();
    Sheet sheet;
    ASSERT_TRUE(sheet.plot(list, 254));  // 10 pixels per millimetre
    auto thickness = [&](double xMm) {
        int n = 0;
        const int x = static_cast<int>(xMm * 10);
        for (int y = 0; y < sheet.image.height; ++y)
            n += isRed(sheet.image.at(x, y));
        return n;
    };
    EXPECT_NEAR(thickness(100), 10, 1.5);
    EXPECT_NEAR(thickness(300), 10, 1.5);
}

// A busy sheet of 12,000 entities stays a small, purely vector file.
TEST(PdfRender, LargePagesStaySmall) {
    DisplayList list;
    list.reserve(12000);
    for (int i = 0; i < 12000; ++i) {
        const double x = (i % 120) * 10.0, y = (i / 120) * 8.0;
        const Pen pen{PlotColour::aci(1 + i % 7), 0.18};
        switch (i % 6) {
            case 0:
                list.add(pen, LinePrimitive{{x, y}, {x + 8, y + 6}});
                break;
            case 1:
                list.add(pen, CirclePrimitive{{x + 4, y + 4}, 3});
                break;
            case 2:
                list.add(pen, ArcPrimitive{{x + 4, y + 4}, 3, 0, 2});
                break;
            case 3:
                list.add(pen,
                         PolylinePrimitive{{{{x, y}, 0.4}, {{x + 8, y}}, {{x + 8, y + 6}}}, true});
                break;
            case 4: {
                TextPrimitive t;
                t.text = (i % 12 == 4) ? "件" + std::to_string(i) : "P" + std::to_string(i);
                t.position = {x, y};
                t.height = 2.5;
                t.fontFamily = "SimSun";
                list.add(pen, t);
                break;
            }
            default:
                fillRect(list, pen.colour, x, y, x + 3, y + 3);
                break;
        }
    }
    TempDir dir;
    const std::string pdf = dir.file("big.pdf");
    PlotSettings s;
    PlotSettingsValidator::setPlotConfiguration(s, "DWG To PDF.pc3",
                                                "ISO_full_bleed_A1_(841.00_x_594.00_MM)");
    s.plotType = PlotType::Extents;
    const PlotResult r = PdfPlotEngine().plotToFile(s, list, pdf);
    ASSERT_TRUE(r.ok()) << r.message;
    const std::size_t size = testing::readFile(pdf).size();
    EXPECT_LT(size, 1500u * 1024u) << size;
    std::string images;
    ASSERT_EQ(testing::run("pdfimages -list " + testing::quote(pdf), images), 0);
    EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2) << images;  // header only
    std::string text;
    ASSERT_EQ(testing::run("pdftotext -enc UTF-8 " + testing::quote(pdf) + " -", text), 0);
    EXPECT_NE(text.find("件4"), std::string::npos);
    EXPECT_NE(text.find("P11998"), std::string::npos);
}

}  // namespace
}  // namespace qkshost::pdf

namespace qkshost::pdf {
namespace {

// Text height is the height of capitals; alignment, rotation and width factor move and shape
// the ink as the insertion point and the text's direction say. "HHHH" at height 20 on a 1:1
// sheet (1 unit = 1 mm).
TEST(PdfRender, TextHeightAlignmentAndDirection) {
    struct Case {
        const char* what;
        TextHAlign h;
        TextVAlign v;
        double rotation, widthFactor;
        // Checks in millimetres on the ink box (x right, y up).
        void (*check)(const PlotRect& ink, double plainWidth);
    };
    const Case cases[] = {
        {"left baseline", TextHAlign::Left, TextVAlign::Baseline, 0, 1,
         [](const PlotRect& ink, double) {
             EXPECT_NEAR(ink.minY, 150, 0.6);
             EXPECT_NEAR(ink.height(), 20, 1.2);
             EXPECT_GE(ink.minX, 199.5);
             EXPECT_LE(ink.minX, 203);
         }},
        {"right top", TextHAlign::Right, TextVAlign::Top, 0, 1,
         [](const PlotRect& ink, double) {
             EXPECT_NEAR(ink.maxY, 150, 1.0);
             EXPECT_LE(ink.maxX, 200.5);
             EXPECT_GE(ink.maxX, 197);
         }},
        {"centre middle", TextHAlign::Center, TextVAlign::Middle, 0, 1,
         [](const PlotRect& ink, double) {
             EXPECT_NEAR((ink.minX + ink.maxX) / 2, 200, 0.8);
             EXPECT_NEAR((ink.minY + ink.maxY) / 2, 150, 0.8);
         }},
        {"bottom", TextHAlign::Left, TextVAlign::Bottom, 0, 1,
         [](const PlotRect& ink, double) {
             EXPECT_GT(ink.minY, 152);  // the descent lies below the capitals
             EXPECT_LT(ink.minY, 158);
         }},
        {"rotated 90", TextHAlign::Left, TextVAlign::Baseline, M_PI / 2, 1,
         [](const PlotRect& ink, double) {
             EXPECT_NEAR(ink.maxX, 200, 0.6);  // capitals stand to the left of the baseline
             EXPECT_NEAR(ink.width(), 20, 1.2);
             EXPECT_GT(ink.height(), 40);  // the text runs upwards
             EXPECT_GE(ink.minY, 199.5 - 50);
         }},
        {"width factor 2", TextHAlign::Left, TextVAlign::Baseline, 0, 2,
         [](const PlotRect& ink, double plainWidth) {
             EXPECT_GT(plainWidth, 40);
             EXPECT_NEAR(ink.width(), 2 * plainWidth, 2.0);  // the run doubles, not the height
             EXPECT_NEAR(ink.height(), 20, 1.2);
         }},
    };
    double plainWidth = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TextPrimitive t;
        t.text = "HHHH";
        t.fontFamily = "Arial";
        t.position = {200, 150};
        t.height = 20;
        t.hAlign = c.h;
        t.vAlign = c.v;
        t.rotation = c.rotation;
        t.widthFactor = c.widthFactor;
        DisplayList list;
        list.add({PlotColour::aci(1)}, t);
        Sheet sheet;
        ASSERT_TRUE(sheet.plot(list, 200));
        PlotRect ink;
        ASSERT_TRUE(sheet.ink([](Rgb p) { return p.r > 128 && p.g < 128; }, ink));
        if (plainWidth == 0) plainWidth = ink.width();  // the first case is plain
        c.check(ink, plainWidth);
    }
}

// Hostile values from a damaged drawing never crash the renderer or spoil the page: the item is
// skipped and the rest of the sheet is drawn.
// Items of one ink are painted in batches and items off the sheet are left out: neither may
// change what shows. Overlapping fills of one colour stay filled where they overlap (no
// even-odd cancelling between different fills), a later item of another ink stays on top, and
// items that only reach into the window from outside it still show.
TEST(PdfRender, BatchedAndCulledItemsShowAsDrawn) {
    DisplayList list;
    fillRect(list, PlotColour::aci(1), 20, 20, 80, 80);
    list.add({PlotColour::aci(1), 0.5}, LinePrimitive{{20, 100}, {80, 100}});
    fillRect(list, PlotColour::aci(1), 50, 50, 110, 110);  // overlaps the first fill
    fillRect(list, PlotColour::aci(5), 60, 60, 70, 70);    // on top of both
    fillRect(list, PlotColour::aci(1), 200, 200, 210, 210);
    // From far outside the window into it: a line, a wide polyline and a text whose insertion
    // point lies left of the sheet.
    list.add({PlotColour::aci(5), 1.0}, LinePrimitive{{-5000, 250}, {300, 250}});
    list.add({PlotColour::aci(5)},
             PolylinePrimitive{{{{-900, 150}, 0, 4, 4}, {{330, 150}, 0, 4, 4}}, false});
    TextPrimitive far;
    far.text = "WWWWWWWWWWWWWWWWWWWW";
    far.position = {-150, 270};
    far.height = 10;
    list.add({PlotColour::aci(5)}, far);
    // Wholly outside: never drawn, whatever it is.
    fillRect(list, PlotColour::aci(5), 1000, 1000, 1100, 1100);
    list.add({PlotColour::aci(5)}, CirclePrimitive{{-500, -500}, 100});

    Sheet sheet;
    ASSERT_TRUE(sheet.plot(list, 40));
    EXPECT_TRUE(isRed(sheet.at(30, 30)));
    EXPECT_TRUE(isRed(sheet.at(75, 75))) << "overlap of two fills of one ink";
    EXPECT_TRUE(isRed(sheet.at(100, 100)));
    EXPECT_TRUE(isBlue(sheet.at(65, 65))) << "a later ink stays on top";
    EXPECT_TRUE(isRed(sheet.at(205, 205)));
    EXPECT_TRUE(isBlue(sheet.at(150, 250)));
    EXPECT_TRUE(isBlue(sheet.at(300, 150)));
    PlotRect box;
    ASSERT_TRUE(sheet.ink([](Rgb c) { return isBlue(c); }, box));
    EXPECT_LT(box.minX, 1.0) << "the line and polyline run in from the sheet's left edge";
    bool textInk = false;
    for (double x = 1; x < 40 && !textInk; x += 0.25)
        for (double y = 268; y < 282 && !textInk; y += 0.25)
            textInk = isBlue(sheet.at(x, y));
    EXPECT_TRUE(textInk) << "the text started left of the sheet reaches into it";
}

// Dash patterns are drawn on paper where they can be seen; a pattern that would take
// thousands of dashes on one item, or whose period is below what paper shows, draws solid.
TEST(PdfRender, DashedStrokesAndTheSolidFallback) {
    DisplayList list;
    const int dashed = list.addDashPattern({{10, 5}, 0});
    const int shifted = list.addDashPattern({{10, 5}, 12});  // starts inside the first gap
    const int fine = list.addDashPattern({{0.002, 0.001}, 0});
    EXPECT_EQ(list.addDashPattern({{1, -1}, 0}), 0) << "negative lengths are refused";
    EXPECT_EQ(list.addDashPattern({{0, 0}, 0}), 0) << "a period of zero is refused";
    Pen pen{PlotColour::aci(1), 1.0, dashed};
    list.add(pen, LinePrimitive{{20, 100}, {400, 100}});
    pen.dash = shifted;
    list.add(pen, PolylinePrimitive{{{{20, 150}}, {{200, 150}}, {{400, 150}}}, false});
    pen.dash = fine;
    list.add(pen, LinePrimitive{{20, 200}, {400, 200}});
    // A wide polyline in a block scaled twice: 8 units wide on the sheet, dashed by the same
    // pattern in drawing units.
    pen.dash = dashed;
    list.pushTransform(Affine2::placement({0, 0}, 0, 2, 2));
    list.add(pen, PolylinePrimitive{{{{10, 125}, 0, 4, 4}, {{200, 125}, 0, 4, 4}}, false});
    list.popTransform();
    Sheet sheet;
    ASSERT_TRUE(sheet.plot(list, 50));
    // Pattern from x = 20: ink on [20, 30], gap on (30, 35), ...
    for (int k = 0; k < 20; ++k) {
        SCOPED_TRACE(k);
        EXPECT_TRUE(isRed(sheet.at(20 + 15 * k + 5, 100)));
        EXPECT_FALSE(sheet.image.isInk(int((20 + 15 * k + 12.5) * sheet.pxPerMm),
                                       int((297 - 100) * sheet.pxPerMm)));
        // Offset 12: the polyline starts 3 units before the end of the first gap.
        EXPECT_TRUE(isRed(sheet.at(20 + 15 * k + 8, 150)));
        EXPECT_FALSE(sheet.image.isInk(int((20 + 15 * k + 1) * sheet.pxPerMm),
                                       int((297 - 150) * sheet.pxPerMm)));
        // The wide one: ink across its width in each dash, none in each gap.
        for (double dy : {-3.0, 0.0, 3.0}) {
            EXPECT_TRUE(isRed(sheet.at(20 + 15 * k + 5, 250 + dy)));
            EXPECT_FALSE(sheet.image.isInk(int((20 + 15 * k + 12.5) * sheet.pxPerMm),
                                           int((297 - 250 - dy) * sheet.pxPerMm)));
        }
    }
    for (double x = 21; x < 400; x += 0.7)
        ASSERT_TRUE(isRed(sheet.at(x, 200))) << x << ": the fine pattern draws solid";
}

TEST(PdfRender, HostileValuesAreSkipped) {
    const double nan = std::nan(""), inf = HUGE_VAL;
    const Primitive hostile[] = {
        LinePrimitive{{nan, 0}, {10, 10}},
        LinePrimitive{{0, 0}, {inf, 10}},
        LinePrimitive{{-1e300, -1e300}, {1e300, 1e300}},
        CirclePrimitive{{10, 10}, -5},
        CirclePrimitive{{10, 10}, nan},
        CirclePrimitive{{10, 10}, 1e308},
        ArcPrimitive{{10, 10}, 5, nan, 1},
        EllipsePrimitive{{10, 10}, {0, 0}, 0.5},
        EllipsePrimitive{{10, 10}, {5, 0}, -1},
        EllipsePrimitive{{10, 10}, {5, 0}, 0.5, 0, inf},
        PolylinePrimitive{{}, true},
        PolylinePrimitive{{{{0, 0}, nan}, {{10, 0}}}, false},
        PolylinePrimitive{{{{0, 0}, 1e300}, {{10, 0}}}, false},
        PolylinePrimitive{{{{0, 0}, 0, 1e300, 1e300}, {{10, 0}}}, false},
        PolylinePrimitive{{{{5, 5}}, {{5, 5}, 1.0}, {{5, 5}}}, true},
        FillPrimitive{{{}}},
        FillPrimitive{{{{{0, 0}}, {{nan, 1}}, {{1, 1}}}}},
        TextPrimitive{"\xff\xfe bad \xe6\x9d", {10, 10}, 5, 0, 1, 0, {}, {}, ""},
        TextPrimitive{"zero", {10, 10}, 0, 0, 1, 0, {}, {}, ""},
        TextPrimitive{"flat", {10, 10}, 5, 0, 0, 0, {}, {}, ""},
        TextPrimitive{"huge", {10, 10}, 1e200, 0, 1, 0, {}, {}, ""},
        TextPrimitive{"slanted", {10, 10}, 5, 0, 1, M_PI / 2, {}, {}, ""},
        // Line spans backwards, past the end, inside a character, and over replaced bytes.
        TextPrimitive{"板1", {10, 10}, 5, 0, 1, 0, {}, {}, "", {{3, 1}, {0, 99}, {1, 2}}, {{0, 0}}},
        TextPrimitive{"\xff ok", {10, 10}, 5, 0, 1, 0, {}, {}, "", {{0, 4}}, {}},
        ClipPush{{nan, 0, 1, 1}},
        ClipPop{},
    };
    for (std::size_t i = 0; i < std::size(hostile); ++i) {
        SCOPED_TRACE(i);
        DisplayList list;
        list.add({PlotColour::aci(5), 1e300}, hostile[i]);
        if (std::holds_alternative<ClipPush>(hostile[i])) list.popClip();  // clips all it holds
        fillRect(list, PlotColour::aci(1), 100, 100, 200, 200);
        Sheet sheet;
        ASSERT_TRUE(sheet.plot(list, 20));
        EXPECT_TRUE(isRed(sheet.at(150, 150)));
    }
}

}  // namespace
}  // namespace qkshost::pdf

namespace qkshost::pdf {
namespace {

// A face without TrueType outlines (CFF-flavoured OpenType, as Noto Sans CJK is) is drawn as
// Type 3 fonts of up to 255 glyphs each, from its outlines: the text shows and reads back. The
// face is made for the test by fontTools and shown to fontconfig through a configuration of the
// test's own, which must be in place before this process first looks up a font.
TEST(PdfRender, FacesWithOtherOutlinesBecomeType3Fonts) {
    TempDir fontDir;
    std::string made;
    ASSERT_EQ(testing::run(std::string("/usr/bin/python3 ") + QKS_MAKE_CFF_FONT_SCRIPT + " " +
                               testing::quote(fontDir.file("probe.otf")) + " 2>&1",
                           made),
              0)
        << made;
    testing::writeFile(fontDir.file("fonts.conf"),
                       "<?xml version=\"1.0\"?>\n<fontconfig>\n"
                       "<include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n"
                       "<dir>" +
                           fontDir.path() + "</dir>\n<cachedir>" + fontDir.path() +
                           "/cache</cachedir>\n</fontconfig>\n");
    ::setenv("FONTCONFIG_FILE", fontDir.file("fonts.conf").c_str(), 1);
    std::string match;
    testing::run("fc-match -f '%{family}:%{fontformat}' QksCffProbe", match);
    ASSERT_EQ(match, "QksCffProbe:CFF");
    TempDir dir;
    DisplayList list;
    // Over 255 different glyphs: ASCII, Latin-1 letters and Latin Extended-A.
    std::string many;
    for (char c = '!'; c <= '~'; ++c)
        many += c;
    for (unsigned cp = 0xC0; cp < 0x180; ++cp) {
        many += char(0xC0 | (cp >> 6));
        many += char(0x80 | (cp & 0x3F));
    }
    TextPrimitive t;
    t.fontFamily = "QksCffProbe";
    t.height = 6;
    t.text = "QksCffProbe Type3 probe";
    t.position = {20, 250};
    list.add({PlotColour::aci(1)}, t);
    for (std::size_t line = 0; line * 64 < many.size(); ++line) {
        t.text = many.substr(line * 64, 64);  // whole characters: ASCII, then two bytes each
        t.position = {20, 230 - 12.0 * double(line)};
        list.add({PlotColour::aci(1)}, t);
    }
    const std::string pdf = dir.file("type3.pdf");
    const PlotResult r = PdfPlotEngine().plotToFile(
        windowSettings("ISO_full_bleed_A3_(420.00_x_297.00_MM)", {0, 0, 420, 297}), list, pdf);
    ASSERT_TRUE(r.ok()) << r.message;

    std::string fonts;
    ASSERT_EQ(testing::run("pdffonts " + testing::quote(pdf), fonts), 0);
    std::istringstream lines(fonts);
    int type3 = 0;
    for (std::string line; std::getline(lines, line);)
        if (line.find("Type 3") != std::string::npos) {
            ++type3;
            EXPECT_NE(line.find(" yes "), std::string::npos) << "no ToUnicode map: " << line;
        }
    if (type3 == 0)
        GTEST_SKIP() << "fonts were looked up before the test's configuration was set: run the "
                        "case on its own";
    EXPECT_GE(type3, 2) << fonts;
    EXPECT_EQ(testing::qpdfProblems(pdf), "");

    std::string text;
    ASSERT_EQ(testing::run("pdftotext -enc UTF-8 " + testing::quote(pdf) + " -", text), 0);
    EXPECT_NE(text.find("QksCffProbe Type3 probe"), std::string::npos) << text;
    EXPECT_NE(text.find("\xC3\x80\xC3\x81\xC3\x82"), std::string::npos) << text;  // ÀÁÂ
    EXPECT_NE(text.find("\xC5\xBD\xC5\xBE"), std::string::npos) << text;          // Žž

    // The glyphs are drawn: the probe's boxes are red ink from the first line's start.
    Image image;
    ASSERT_TRUE(testing::rasterise(pdf, 50, image));
    PixelBox px;
    ASSERT_TRUE(testing::findPixels(image, isRed, px));
    const double k = image.width / 420.0;
    EXPECT_NEAR(px.minX / k, 20, 1.5);
    // Boxes 0.7 em high, set at an em of height / 0.75.
    EXPECT_NEAR(297 - px.minY / k, 250 + 6 * 0.7 / 0.75, 1.0);
}

}  // namespace
}  // namespace qkshost::pdf

namespace qkshost::pdf {
namespace {

// When subsetting fails, each face goes in whole, rebuilt as a font file of its own (the CJK
// face comes from a collection, which is no font file by itself): the page still shows and
// reads back every glyph.
TEST(PdfRender, FacesThatCannotBeSubsetGoInWhole) {
    struct Restore {
        ~Restore() { detail::embedWholeFacesForTesting(false); }
    } restore;
    detail::embedWholeFacesForTesting(true);
    DisplayList list;
    TextPrimitive t;
    t.text = "钣金展开 Sheet 01";
    t.position = {20, 150};
    t.height = 10;
    list.add({PlotColour::aci(7)}, t);
    TempDir dir;
    const std::string pdf = dir.file("whole.pdf");
    const PlotResult r = PdfPlotEngine().plotToFile(
        windowSettings("ISO_full_bleed_A3_(420.00_x_297.00_MM)", {0, 0, 420, 297}), list, pdf);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(testing::qpdfProblems(pdf), "");
    std::string text;
    ASSERT_EQ(testing::run("pdftotext -enc UTF-8 " + testing::quote(pdf) + " -", text), 0);
    EXPECT_NE(text.find("钣金展开 Sheet 01"), std::string::npos) << text;
    std::string glyphs;
    EXPECT_EQ(testing::run(std::string("/usr/bin/python3 ") + QKS_PDF_GLYPHS_SCRIPT + " " +
                               testing::quote(pdf) + " 2>&1",
                           glyphs),
              0)
        << glyphs;
    // Whole faces: far larger than any subset.
    EXPECT_GT(testing::readFile(pdf).size(), 1000u * 1024);
}

}  // namespace
}  // namespace qkshost::pdf
