#include <gtest/gtest.h>

#include <cmath>

#include "qkshost/pdf/plot_settings.h"

namespace qkshost::pdf {
namespace {

using V = PlotSettingsValidator;

PlotSettings a3(const char* media = "ISO_full_bleed_A3_(420.00_x_297.00_MM)") {
    PlotSettings s;
    EXPECT_EQ(V::setPlotConfiguration(s, "DWG To PDF.pc3", media), PlotStatus::Ok);
    return s;
}

TEST(PlotSettingsValidator, RejectedChangesLeaveTheRecordAsItWas) {
    struct Case {
        const char* what;
        PlotStatus (*change)(PlotSettings&);
        PlotStatus expected;
    };
    const Case cases[] = {
        {"unknown device",
         [](PlotSettings& s) { return V::setPlotConfiguration(s, "Plotter.pc3", ""); },
         PlotStatus::UnknownDevice},
        {"device name case",
         [](PlotSettings& s) { return V::setPlotConfiguration(s, "dwg to pdf.pc3", ""); },
         PlotStatus::UnknownDevice},
        {"unknown media",
         [](PlotSettings& s) { return V::setPlotConfiguration(s, "DWG To PDF.pc3", "Letter"); },
         PlotStatus::UnknownMedia},
        {"unknown media alone",
         [](PlotSettings& s) { return V::setCanonicalMediaName(s, "ISO_A3"); },
         PlotStatus::UnknownMedia},
        {"unknown style", [](PlotSettings& s) { return V::setStyleSheet(s, "fancy.ctb"); },
         PlotStatus::UnknownStyleSheet},
        {"units", [](PlotSettings& s) { return V::setPaperUnits(s, static_cast<PaperUnits>(7)); },
         PlotStatus::InvalidPaperUnits},
        {"window NaN",
         [](PlotSettings& s) {
             return V::setPlotWindow(s, {0, 0, NAN, 1});
         },
         PlotStatus::InvalidPlotWindow},
        {"scale zero", [](PlotSettings& s) { return V::setCustomScale(s, 0, 1); },
         PlotStatus::InvalidScale},
        {"scale negative", [](PlotSettings& s) { return V::setCustomScale(s, 1, -100); },
         PlotStatus::InvalidScale},
        {"origin", [](PlotSettings& s) { return V::setOrigin(s, INFINITY, 0); },
         PlotStatus::InvalidOrigin},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlotSettings s = a3();
        V::setStyleSheet(s, "monochrome.ctb");
        const PlotSettings before = s;
        EXPECT_EQ(c.change(s), c.expected);
        EXPECT_EQ(s, before);
    }
}

TEST(PlotSettingsValidator, AcceptedChanges) {
    PlotSettings s = a3();
    EXPECT_EQ(s.mediaName, "ISO_full_bleed_A3_(420.00_x_297.00_MM)");
    // No media named: a medium the device has is kept, otherwise the device's first is taken.
    EXPECT_EQ(V::setPlotConfiguration(s, "DWG To PDF.pc3", ""), PlotStatus::Ok);
    EXPECT_EQ(s.mediaName, "ISO_full_bleed_A3_(420.00_x_297.00_MM)");
    s.mediaName = "Letter";
    EXPECT_EQ(V::setPlotConfiguration(s, "DWG To PDF.pc3", ""), PlotStatus::Ok);
    EXPECT_EQ(s.mediaName, pdfPlotDevice().media.front().canonicalName);

    EXPECT_EQ(V::setPlotWindow(s, {10, 20, -5, 3}), PlotStatus::Ok);
    EXPECT_EQ(s.window, (PlotRect{-5, 3, 10, 20}));
    EXPECT_EQ(V::setCustomScale(s, 1, 100), PlotStatus::Ok);
    EXPECT_FALSE(s.scale.scaleToFit);
    EXPECT_EQ(V::setScaleToFit(s), PlotStatus::Ok);
    EXPECT_TRUE(s.scale.scaleToFit);
    EXPECT_EQ(V::setStyleSheet(s, "grayscale.ctb"), PlotStatus::Ok);
    EXPECT_EQ(V::setStyleSheet(s, ""), PlotStatus::Ok);
    EXPECT_EQ(s.styleSheet, "");
    EXPECT_EQ(V::setRotation(s, PlotRotation::Deg270), PlotStatus::Ok);
    EXPECT_EQ(s.rotation, PlotRotation::Deg270);
}

TEST(PlotSettingsValidator, WholeRecord) {
    struct Case {
        const char* what;
        void (*edit)(PlotSettings&);
        PlotStatus expected;
    };
    const Case cases[] = {
        {"good", [](PlotSettings&) {}, PlotStatus::Ok},
        {"no media", [](PlotSettings& s) { s.mediaName.clear(); }, PlotStatus::UnknownMedia},
        {"device", [](PlotSettings& s) { s.deviceName = "None"; }, PlotStatus::UnknownDevice},
        {"style", [](PlotSettings& s) { s.styleSheet = "x.stb"; }, PlotStatus::UnknownStyleSheet},
        {"empty window",
         [](PlotSettings& s) {
             s.plotType = PlotType::Window;
             s.window = {5, 5, 5, 5};
         },
         PlotStatus::InvalidPlotWindow},
        {"inverted window",
         [](PlotSettings& s) {
             s.plotType = PlotType::Window;
             s.window = {5, 5, 0, 0};
         },
         PlotStatus::InvalidPlotWindow},
        {"line window",
         [](PlotSettings& s) {
             s.plotType = PlotType::Window;
             s.window = {0, 5, 100, 5};
         },
         PlotStatus::Ok},
        {"window unused",
         [](PlotSettings& s) {
             s.window = {5, 5, 0, 0};
         },
         PlotStatus::Ok},
        {"scale",
         [](PlotSettings& s) {
             s.scale = {false, 1, 0};
         },
         PlotStatus::InvalidScale},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlotSettings s = a3();
        c.edit(s);
        const PlotResult r = V::validate(s);
        EXPECT_EQ(r.status, c.expected);
        EXPECT_EQ(r.message.empty(), r.ok());
    }
    EXPECT_EQ(static_cast<int>(PlotStatus::Ok), 0);
    EXPECT_STREQ(plotStatusName(PlotStatus::UnknownMedia), "UnknownMedia");
}

// Where a 400 x 200 window lands on A3 sheets: its corners (in page points, y up) after fit,
// centring, rotation, custom scale and origin.
TEST(PageGeometry, LaysTheAreaOntoThePrintableArea) {
    const double mm = kPointsPerMm;
    struct Case {
        const char* what;
        const char* media;
        PlotRotation rotation;
        bool fit;
        double paper, drawing;  // custom scale
        bool centred;
        double originX, originY;
        PlotRect expectedMm;  // footprint on the page in millimetres
        double llx, lly;      // where the window's (minX, minY) corner lands, millimetres
    };
    const Case cases[] = {
        {"fit full bleed",
         "ISO_full_bleed_A3_(420.00_x_297.00_MM)",
         PlotRotation::Deg0,
         true,
         1,
         1,
         true,
         0,
         0,
         {0, 43.5, 420, 253.5},
         0,
         43.5},
        {"fit plain",
         "ISO_A3_(420.00_x_297.00_MM)",
         PlotRotation::Deg0,
         true,
         1,
         1,
         true,
         0,
         0,
         {5, 46, 415, 251},
         5,
         46},
        {"fit portrait",
         "ISO_full_bleed_A3_(297.00_x_420.00_MM)",
         PlotRotation::Deg0,
         true,
         1,
         1,
         true,
         0,
         0,
         {0, 135.75, 297, 284.25},
         0,
         135.75},
        {"rotated 90",
         "ISO_full_bleed_A3_(297.00_x_420.00_MM)",
         PlotRotation::Deg90,
         true,
         1,
         1,
         true,
         0,
         0,
         {43.5, 0, 253.5, 420},
         253.5,
         0},
        {"rotated 180",
         "ISO_full_bleed_A3_(420.00_x_297.00_MM)",
         PlotRotation::Deg180,
         true,
         1,
         1,
         true,
         0,
         0,
         {0, 43.5, 420, 253.5},
         420,
         253.5},
        {"rotated 270",
         "ISO_full_bleed_A3_(297.00_x_420.00_MM)",
         PlotRotation::Deg270,
         true,
         1,
         1,
         true,
         0,
         0,
         {43.5, 0, 253.5, 420},
         43.5,
         420},
        {"1:2 centred",
         "ISO_full_bleed_A3_(420.00_x_297.00_MM)",
         PlotRotation::Deg0,
         false,
         1,
         2,
         true,
         0,
         0,
         {110, 98.5, 310, 198.5},
         110,
         98.5},
        {"1:2 at origin",
         "ISO_A3_(420.00_x_297.00_MM)",
         PlotRotation::Deg0,
         false,
         1,
         2,
         false,
         10,
         20,
         {15, 25, 215, 125},
         15,
         25},
        {"inches 1:200",
         "ANSI_full_bleed_B_(17.00_x_11.00_Inches)",
         PlotRotation::Deg0,
         false,
         1,
         200,
         false,
         0,
         0,
         {0, 0, 50.8, 25.4},
         0,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlotSettings s = a3(c.media);
        if (std::string(c.media).find("Inches") != std::string::npos)
            s.paperUnits = PaperUnits::Inches;
        s.plotType = PlotType::Window;
        s.window = {1000, 500, 1400, 700};
        s.rotation = c.rotation;
        s.scale = {c.fit, c.paper, c.drawing};
        s.centred = c.centred;
        s.originXMm = c.originX;
        s.originYMm = c.originY;
        PageGeometry g;
        const PlotResult r = computePageGeometry(s, s.window, g);
        ASSERT_TRUE(r.ok()) << r.message;
        EXPECT_NEAR(g.plotAreaPt.minX / mm, c.expectedMm.minX, 1e-6);
        EXPECT_NEAR(g.plotAreaPt.minY / mm, c.expectedMm.minY, 1e-6);
        EXPECT_NEAR(g.plotAreaPt.maxX / mm, c.expectedMm.maxX, 1e-6);
        EXPECT_NEAR(g.plotAreaPt.maxY / mm, c.expectedMm.maxY, 1e-6);
        double px, py;
        g.toPage(1000, 500, px, py);
        EXPECT_NEAR(px / mm, c.llx, 1e-6);
        EXPECT_NEAR(py / mm, c.lly, 1e-6);
        // The window's centre lands on the footprint's centre whatever the rotation.
        g.toPage(1200, 600, px, py);
        EXPECT_NEAR(px, (g.plotAreaPt.minX + g.plotAreaPt.maxX) / 2, 1e-6);
        EXPECT_NEAR(py, (g.plotAreaPt.minY + g.plotAreaPt.maxY) / 2, 1e-6);
    }
}

TEST(PageGeometry, PageSizesInPoints) {
    struct Case {
        const char* media;
        double w, h;
    };
    const Case cases[] = {{"ISO_full_bleed_A3_(420.00_x_297.00_MM)", 1190.55, 841.89},
                          {"ISO_A3_(420.00_x_297.00_MM)", 1190.55, 841.89},
                          {"ISO_expand_A4_(210.00_x_297.00_MM)", 595.28, 841.89},
                          {"ANSI_A_(11.00_x_8.50_Inches)", 792, 612},
                          {"ARCH_full_bleed_D_(24.00_x_36.00_Inches)", 1728, 2592}};
    for (const Case& c : cases) {
        PageGeometry g;
        ASSERT_TRUE(computePageGeometry(a3(c.media), {0, 0, 10, 10}, g).ok());
        EXPECT_NEAR(g.pageWidthPt, c.w, 0.005) << c.media;
        EXPECT_NEAR(g.pageHeightPt, c.h, 0.005) << c.media;
    }
}

TEST(PlotSettings, PaperSizeInItsUnits) {
    struct Case {
        const char* media;
        PaperUnits units;
        double w, h;
    };
    const Case cases[] = {
        {"ISO_A3_(420.00_x_297.00_MM)", PaperUnits::Millimeters, 420, 297},
        {"ISO_A3_(420.00_x_297.00_MM)", PaperUnits::Inches, 420 / 25.4, 297 / 25.4},
        {"ANSI_B_(11.00_x_17.00_Inches)", PaperUnits::Inches, 11, 17},
        {"ANSI_B_(11.00_x_17.00_Inches)", PaperUnits::Millimeters, 279.4, 431.8},
    };
    for (const Case& c : cases) {
        PlotSettings s = a3(c.media);
        s.paperUnits = c.units;
        double w = 0, h = 0;
        ASSERT_TRUE(plotPaperSize(s, w, h)) << c.media;
        EXPECT_NEAR(w, c.w, 1e-9) << c.media;
        EXPECT_NEAR(h, c.h, 1e-9) << c.media;
    }
    PlotSettings unknown;
    unknown.mediaName = "Letter";
    double w = -1, h = -1;
    EXPECT_FALSE(plotPaperSize(unknown, w, h));
}

TEST(PageGeometry, DegenerateAreas) {
    PageGeometry g;
    EXPECT_EQ(computePageGeometry(a3(), {3, 3, 3, 3}, g).status, PlotStatus::EmptyPlotArea);
    EXPECT_EQ(computePageGeometry(a3(), {0, 0, NAN, 1}, g).status, PlotStatus::EmptyPlotArea);
    // A horizontal line fits by its length.
    ASSERT_TRUE(computePageGeometry(a3(), {0, 5, 210, 5}, g).ok());
    EXPECT_NEAR(g.pointsPerUnit, 2 * kPointsPerMm, 1e-9);
    PlotSettings bad = a3();
    bad.mediaName = "nope";
    EXPECT_EQ(computePageGeometry(bad, {0, 0, 1, 1}, g).status, PlotStatus::UnknownMedia);
}

}  // namespace
}  // namespace qkshost::pdf
