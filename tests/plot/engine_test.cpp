// The PDF plot engine against the real qkshost: media choice, the page set-up attempts with
// failures injected through qkshost's plot fault seam, restoring the page setup, the publish
// engine's order, and what lands in the PDF (page size, text, fonts, where the drawing sits).
#include <gtest/gtest.h>

#include <cmath>

#include "plot_fixture.h"
#include "qks/plot/engine.h"
#include "qkshost/pdf/media.h"

namespace {

using namespace qks::plot;
using namespace qks::plot::testing;
namespace host = qks::host;
namespace pdft = qkshost::pdf::testing;

const std::string kA3 = "ISO_A3_(420.00_x_297.00_MM)";
const std::string kA4 = "ISO_A4_(297.00_x_210.00_MM)";
const std::string kA1 = "ISO_A1_(841.00_x_594.00_MM)";
const std::string kA3FullBleed = "ISO_full_bleed_A3_(420.00_x_297.00_MM)";
const std::string kA4FullBleed = "ISO_full_bleed_A4_(297.00_x_210.00_MM)";

TEST(PlotEngine, MediaChoice) {
    PlotFixture f;
    const auto device = f.ds().canonicalMediaNames(kPdfDevice);
    ASSERT_FALSE(device.empty());
    struct Case {
        const char* what;
        std::vector<std::string> media;  // empty: the PDF device's list
        std::string current;
        std::vector<std::string> keywords;
        std::string expected;
    } cases[] = {
        {"the current medium of the device is kept whatever its size", {}, kA1, {"a3", "a4"}, kA1},
        {"a full-bleed current medium is replaced", {}, kA3FullBleed, {"a3"}, kA3},
        {"a medium the device lacks is replaced", {}, "A3", {"a3"}, kA3},
        {"the first keyword wins", {}, "", {"a4", "a3"}, kA4},
        {"keywords ignore case", {}, "", {"A3"}, kA3},
        {"an ordinary A4 beats full-bleed A3",
         {kA3FullBleed, "ISO_expand_A3_full_bleed", kA4},
         "",
         {"a3", "a4"},
         kA4},
        {"full-bleed only when no ordinary medium matches",
         {kA3FullBleed, kA4FullBleed, "LETTER"},
         "",
         {"a3", "a4"},
         kA3FullBleed},
        {"FullBleed spelt together is full-bleed too",
         {"ISO_A3_FullBleed", kA4},
         "",
         {"a3"},
         "ISO_A3_FullBleed"},
        {"no keyword matches: the first medium", {"LETTER", "LEGAL"}, "", {"a3", "a4"}, "LETTER"},
        {"current medium compared exactly", {"LETTER", "iso_a3"}, "ISO_A3", {"x"}, "LETTER"},
        {"empty list: no medium", {"__empty__"}, "", {"a3"}, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> media = c.media.empty() ? device : c.media;
        if (!media.empty() && media[0] == "__empty__") media.clear();
        EXPECT_EQ(chooseMediaFromList(media, c.current, c.keywords), c.expected) << c.what;
        if (c.media.empty()) {
            EXPECT_EQ(chooseMedia(f.ds(), kPdfDevice, c.current, c.keywords), c.expected) << c.what;
        }
    }
    EXPECT_EQ(chooseMedia(f.ds(), "", "whatever", {"a3"}), "whatever") << "no device: kept";
}

TEST(PlotEngine, FullBleedAndPaperKeywords) {
    const std::pair<std::string, bool> fullBleed[] = {
        {kA3FullBleed, true}, {"ISO_FULL_BLEED_A3", true}, {"x_FullBleed", true},
        {kA3, false},         {"full bleed", false},       {"", false}};
    for (const auto& [name, expected] : fullBleed)
        EXPECT_EQ(isFullBleedMedia(name), expected) << name;
    const std::pair<double, std::vector<std::string>> sizes[] = {
        {420, {"a3"}},   {297, {"a4"}},         {1189, {"a0"}},    {1190.9, {"a0"}},
        {841, {"a1"}},   {594, {"a2"}},         {210, {"a5"}},     {431.8, {"a4", "a3"}},
        {418.1, {"a3"}}, {418.0, {"a4", "a3"}}, {0, {"a4", "a3"}}, {279.4 * 2, {"a4", "a3"}}};
    for (const auto& [side, keywords] : sizes)
        EXPECT_EQ(paperKeywords(side), keywords) << side;
}

// A drawing whose Layout1 is an A3 PDF page at 1:1 and whose model space holds a few shapes.
struct PageFixture : PlotFixture {
    drawing::Database* db = nullptr;
    host::ObjectId layout, model;
    PlotSession session;
    PageFixture() {
        db = &newDrawing();
        usePdfMedia(*db, "Layout1", kA3);
        addRectangle(*db, 10, 10, 400, 280, {}, db->paperSpace());
        addText(*db, "图纸 SHEET", 20, 20, 5, db->paperSpace());
        addRectangle(*db, 0, 0, 400, 200);
        addText(*db, "模型 MODEL", 10, 10, 8);
        layout = layoutId(*db, "Layout1");
        model = layoutId(*db, "Model");
        std::string message;
        EXPECT_TRUE(openPlotSession(ds(), session, message)) << message;
        startLog();
    }
    ~PageFixture() { closePlotSession(ds(), session); }
    host::PlotSettings settings(host::ObjectId id) {
        host::PlotSettings s;
        ds().getPlotSettings(id, s);
        return s;
    }
};

TEST(PlotEngine, LayoutPlotWritesOneA3PageAndRestoresThePageSetup) {
    PageFixture f;
    const host::PlotSettings before = f.settings(f.layout);
    std::string message;
    const std::string pdf = f.file("Layout1.pdf");
    ASSERT_TRUE(plotLayoutToPdf(f.ds(), f.session.engine, f.layout, "Layout1", f.session.device,
                                "monochrome.ctb", pdf, message))
        << message;
    EXPECT_EQ(f.settings(f.layout), before);
    EXPECT_EQ(effectiveStyleSheet(), "monochrome.ctb");
    double w = 0, h = 0;
    ASSERT_TRUE(pdft::pdfPageSize(pdf, w, h));
    EXPECT_NEAR(w, 1190.55, 0.01);
    EXPECT_NEAR(h, 841.89, 0.01);
    EXPECT_EQ(pdft::pdfinfoField(pdf, "Pages"), "1");
    EXPECT_TRUE(f.logLines().empty()) << "no fall-back, no line";

    std::string text;
    ASSERT_EQ(pdft::run("pdftotext " + pdft::quote(pdf) + " -", text), 0);
    EXPECT_NE(text.find("图纸"), std::string::npos) << text;
    EXPECT_NE(text.find("SHEET"), std::string::npos) << text;
    std::string fonts;
    ASSERT_EQ(pdft::run("pdffonts " + pdft::quote(pdf), fonts), 0);
    bool cjkEmbedded = false;
    std::istringstream lines(fonts);
    for (std::string line; std::getline(lines, line);)
        if ((line.find("WenQuanYi") != std::string::npos || line.find("CJK") != std::string::npos ||
             line.find("Hei") != std::string::npos) &&
            line.find(" yes ") != std::string::npos)
            cjkEmbedded = true;
    EXPECT_TRUE(cjkEmbedded) << fonts;

    // An 11 x 17 inch layout asks for "a4" before "a3" and so is plotted on A4.
    usePdfMedia(*f.db, "Layout1", "");
    auto* l = f.db->get<drawing::Layout>(f.db->findLayout("Layout1"));
    l->plot.paperWidth = 431.8;
    l->plot.paperHeight = 279.4;
    l->plot.paperUnits = 0;
    const host::PlotSettings inches = f.settings(f.layout);
    EXPECT_NEAR(inches.paperWidth, 17, 1e-9);
    ASSERT_TRUE(plotLayoutToPdf(f.ds(), f.session.engine, f.layout, "Layout1", f.session.device, "",
                                f.file("tabloid.pdf"), message))
        << message;
    ASSERT_TRUE(pdft::pdfPageSize(f.file("tabloid.pdf"), w, h));
    EXPECT_NEAR(w, 841.89, 0.01);
    EXPECT_NEAR(h, 595.28, 0.01);
    EXPECT_EQ(f.settings(f.layout), inches);
    EXPECT_EQ(effectiveStyleSheet(), "<沿用布局>");
}

// Refuses the page setups a predicate picks, through qkshost's validator.
void refuse(bool (*which)(const host::PlotSettings&)) {
    qkshost::PlotFaults faults;
    faults.validate = [which](const host::PlotSettings& s) {
        return which(s) ? host::Status::Failed : host::Status::Ok;
    };
    qkshost::setPlotFaults(std::move(faults));
}

bool isFirstAttempt(const host::PlotSettings& s) {
    return s.styleSheet == "monochrome.ctb";
}
bool isOwnSetup(const host::PlotSettings& s) {
    return s.plotType == host::PlotType::Layout || s.plotType == host::PlotType::Limits;
}

TEST(PlotEngine, LayoutAndModelFallBacks) {
    const std::string refused = "布局设置校验失败 (status=8 validated=0 style=monochrome.ctb)";
    struct Case {
        const char* what;
        bool model;
        bool (*refuse)(const host::PlotSettings&);
        bool ok;
        std::vector<std::string> log;
        std::string message;
    } cases[] = {
        {"layout, first attempt",
         false,
         [](const host::PlotSettings&) { return false; },
         true,
         {},
         ""},
        {"layout, own page setup",
         false,
         isFirstAttempt,
         true,
         {"WARN Layout1 改用布局原设置"},
         refused},
        {"layout, own paper at extents",
         false,
         [](const host::PlotSettings& s) { return isFirstAttempt(s) || isOwnSetup(s); },
         true,
         {"WARN Layout1 改用布局原纸张尺寸"},
         ""},
        {"layout, nothing works",
         false,
         [](const host::PlotSettings&) { return true; },
         false,
         {},
         refused + "；原设置: " + refused + "；重试: " + refused},
        {"model, own page setup",
         true,
         isFirstAttempt,
         true,
         {"WARN 模型 改用布局原设置"},
         refused},
        {"model, own paper at extents",
         true,
         [](const host::PlotSettings& s) { return isFirstAttempt(s) || isOwnSetup(s); },
         true,
         {"WARN 模型 改用布局原纸张尺寸"},
         ""},
        {"model, nothing works",
         true,
         [](const host::PlotSettings&) { return true; },
         false,
         {},
         refused + "；原设置: " + refused + "；重试: " + refused},
    };
    for (const auto& c : cases) {
        PageFixture f;
        if (c.model) {
            usePdfMedia(*f.db, "Model", kA4);
            f.db->get<drawing::Layout>(f.db->findLayout("Model"))->plot.plotType = 2;  // limits
        }
        const host::ObjectId id = c.model ? f.model : f.layout;
        const host::PlotSettings before = f.settings(id);
        refuse(c.refuse);
        std::string message;
        const std::string pdf = f.file("page.pdf");
        const bool ok =
            c.model ? plotModelExtentsToPdf(f.ds(), f.session.engine, id, "模型", f.session.device,
                                            "monochrome.ctb", pdf, message)
                    : plotLayoutToPdf(f.ds(), f.session.engine, id, "Layout1", f.session.device,
                                      "monochrome.ctb", pdf, message);
        EXPECT_EQ(ok, c.ok) << c.what << ": " << message;
        EXPECT_EQ(f.logLines(), c.log) << c.what;
        if (!c.message.empty()) {
            EXPECT_EQ(message, c.message) << c.what;
        }
        EXPECT_EQ(f.settings(id), before) << c.what << ": page setup not restored";
        EXPECT_EQ(pdft::pdfinfoField(pdf, "Pages"), ok ? "1" : "") << c.what;
    }
}

TEST(PlotEngine, WindowFallBack) {
    const std::string refused = "布局设置校验失败 (status=8 validated=0 style=monochrome.ctb)";
    struct Case {
        const char* what;
        bool (*refuse)(const host::PlotSettings&);
        bool ok;
        std::vector<std::string> log;
        std::string message;
    } cases[] = {
        {"first attempt", [](const host::PlotSettings&) { return false; }, true, {}, ""},
        {"own paper", isFirstAttempt, true, {"WARN A-01 改用布局原纸张尺寸"}, refused},
        {"nothing works",
         [](const host::PlotSettings&) { return true; },
         false,
         {},
         refused + "；原纸张重试: " + refused},
    };
    for (const auto& c : cases) {
        PageFixture f;
        usePdfMedia(*f.db, "Model", kA4);
        const host::PlotSettings before = f.settings(f.model);
        refuse(c.refuse);
        std::string message;
        const bool ok =
            plotWindowToPdf(f.ds(), f.session.engine, f.model, {0, 0, 400, 200, "A-01"}, "A-01",
                            f.session.device, "monochrome.ctb", f.file("A-01.pdf"), message);
        EXPECT_EQ(ok, c.ok) << c.what;
        EXPECT_EQ(f.logLines(), c.log) << c.what;
        EXPECT_EQ(message, c.message) << c.what;
        EXPECT_EQ(f.settings(f.model), before) << c.what;
    }
}

TEST(PlotEngine, ValidatedPageReportsEveryFailedStep) {
    struct Case {
        const char* call;  // publish call made to fail, or "write" for the PDF engine
        std::string message;
    } cases[] = {
        {"beginDocument", "开始出图失败"},
        {"beginPage", "生成 PDF 失败"},
        {"write", "生成 PDF 失败"},
        {"beginGenerateGraphics", "生成 PDF 失败"},
        {"endGenerateGraphics", "生成 PDF 失败"},
        {"endPage", "生成 PDF 失败"},
        {"endDocument", "生成 PDF 失败"},
    };
    for (const auto& c : cases) {
        PageFixture f;
        qkshost::PlotFaults faults;
        const std::string call = c.call;
        if (call == "write")
            faults.engine = [](qkshost::pdf::PlotStage stage, const qkshost::pdf::PlotSettings&,
                               const std::string&) {
                return stage == qkshost::pdf::PlotStage::Write
                           ? qkshost::pdf::PlotStatus::WriteFailed
                           : qkshost::pdf::PlotStatus::Ok;
            };
        qkshost::setPlotFaults(std::move(faults));
        if (call != "write") failPublishCall(call);
        std::string message;
        EXPECT_FALSE(plotValidatedPage(f.ds(), f.session.engine, f.layout, "Layout1",
                                       f.session.device, f.file("p.pdf"), message))
            << c.call;
        EXPECT_EQ(message, c.message) << c.call;
    }
    // Missing output folder: the document cannot begin.
    PageFixture f;
    std::string message;
    EXPECT_FALSE(plotValidatedPage(f.ds(), f.session.engine, f.layout, "Layout1", f.session.device,
                                   f.file("missing/p.pdf"), message));
    EXPECT_EQ(message, "开始出图失败");
    // A layout without a usable device fails validation with the status number.
    effectiveStyleSheet() = "<沿用布局>";
    EXPECT_FALSE(plotValidatedPage(f.ds(), f.session.engine, f.model, "Model", "", f.file("m.pdf"),
                                   message));
    EXPECT_EQ(message, "布局设置校验失败 (status=2 validated=0 style=<沿用布局>)");
}

TEST(PlotEngine, PublishEngineKeepsStrictOrder) {
    PlotFixture f;
    auto& db = f.newDrawing();
    usePdfMedia(db, "Layout1", kA3);
    host::DrawingServices& ds = f.ds();
    host::PlotInfo info{f.layoutId(db, "Layout1"), kPdfDevice, false};
    ASSERT_EQ(ds.validatePlotInfo(info, host::kMediaMatchingWithCustomSize), host::Status::Ok);
    const std::string pdf = f.file("order.pdf");
    const host::PublishEngineId e = ds.createPublishEngine();
    ASSERT_TRUE(e);
    using S = host::Status;
    EXPECT_EQ(ds.beginDocument(e, info, "d", 1, pdf), S::NotApplicable) << "before beginPlot";
    EXPECT_EQ(ds.endPlot(e), S::NotApplicable);
    EXPECT_EQ(ds.beginPlot(e), S::Ok);
    EXPECT_EQ(ds.beginPlot(e), S::NotApplicable);
    EXPECT_EQ(ds.beginPage(e, info, true), S::NotApplicable) << "no document";
    EXPECT_EQ(ds.beginDocument(e, info, "d", 0, pdf), S::InvalidInput) << "no copies";
    EXPECT_EQ(ds.beginDocument(e, info, "d", 1, pdf), S::Ok);
    EXPECT_EQ(ds.beginGenerateGraphics(e), S::NotApplicable) << "no page";
    EXPECT_EQ(ds.endPage(e), S::NotApplicable);
    host::PlotInfo unvalidated = info;
    unvalidated.validated = false;
    EXPECT_EQ(ds.beginPage(e, unvalidated, true), S::InvalidInput);
    EXPECT_EQ(ds.beginPage(e, info, true), S::Ok);
    EXPECT_EQ(pdft::pdfinfoField(pdf, "Pages"), "1") << "written at beginPage";
    EXPECT_EQ(ds.endDocument(e), S::NotApplicable) << "page still open";
    EXPECT_EQ(ds.endGenerateGraphics(e), S::NotApplicable);
    EXPECT_EQ(ds.beginGenerateGraphics(e), S::Ok);
    EXPECT_EQ(ds.endPage(e), S::NotApplicable) << "graphics still open";
    EXPECT_EQ(ds.endGenerateGraphics(e), S::Ok);
    EXPECT_EQ(ds.endPage(e), S::Ok);
    EXPECT_EQ(ds.endDocument(e), S::Ok);
    EXPECT_EQ(ds.endPlot(e), S::Ok);
    ds.destroyPublishEngine(e);
    EXPECT_EQ(ds.beginPlot(e), S::NotApplicable) << "destroyed";
    EXPECT_EQ(ds.beginPlot(host::PublishEngineId{}), S::NotApplicable);

    // The output folder must exist and be writable.
    const host::PublishEngineId e2 = ds.createPublishEngine();
    ds.beginPlot(e2);
    EXPECT_EQ(ds.beginDocument(e2, info, "d", 1, f.file("none/x.pdf")), S::NotFound);
    EXPECT_EQ(ds.beginDocument(e2, info, "d", 1, f.file("order.pdf/x.pdf")), S::NotFound);
    ds.destroyPublishEngine(e2);
}

TEST(PlotEngine, PlotInfoValidation) {
    PlotFixture f;
    auto& db = f.newDrawing();
    auto* layout = db.get<drawing::Layout>(db.findLayout("Layout1"));
    const host::ObjectId id = f.layoutId(db, "Layout1");
    // Each case starts from the PDF device with canonical A3 and changes what it names.
    struct Case {
        const char* what;
        std::string device, media;
        double paperWidth, paperHeight;
        std::string style;
        int plotType;
        double windowWidth;
        std::string deviceOverride;
        int policy;
        host::Status status;
    } cases[] = {
        {"canonical A3", kPdfDevice, kA3, 0, 0, "", 5, 0, "", 4, host::Status::Ok},
        {"no device", "none_device", kA3, 0, 0, "", 5, 0, "", 4, host::Status::InvalidInput},
        {"device override", "none_device", kA3, 0, 0, "", 5, 0, kPdfDevice, 4, host::Status::Ok},
        {"unknown device override", kPdfDevice, kA3, 0, 0, "", 5, 0, "Plotter.pc3", 4,
         host::Status::InvalidInput},
        {"other name, same size, matched", kPdfDevice, "A3", 297, 420, "", 5, 0, "", 4,
         host::Status::Ok},
        {"other name, same size, no matching", kPdfDevice, "A3", 420, 297, "", 5, 0, "", 0,
         host::Status::InvalidInput},
        {"other name, no such size", kPdfDevice, "Odd", 123, 45, "", 5, 0, "", 4,
         host::Status::InvalidInput},
        {"unknown style sheet", kPdfDevice, kA3, 0, 0, "x.ctb", 5, 0, "", 4,
         host::Status::InvalidInput},
        {"known style sheet", kPdfDevice, kA3, 0, 0, "grayscale.ctb", 5, 0, "", 4,
         host::Status::Ok},
        {"empty window", kPdfDevice, kA3, 0, 0, "", 4, 0, "", 4, host::Status::InvalidInput},
        {"window", kPdfDevice, kA3, 0, 0, "", 4, 5, "", 4, host::Status::Ok},
    };
    for (const auto& c : cases) {
        layout->plot = drawing::PlotSettings{};
        layout->plot.device = c.device;
        layout->plot.media = c.media;
        layout->plot.paperWidth = c.paperWidth;
        layout->plot.paperHeight = c.paperHeight;
        layout->plot.styleSheet = c.style;
        layout->plot.plotType = c.plotType;
        layout->plot.windowMinX = 5;
        layout->plot.windowMaxX = 5 + c.windowWidth;
        layout->plot.windowMaxY = 10;
        host::PlotInfo info{id, c.deviceOverride, true};
        EXPECT_EQ(f.ds().validatePlotInfo(info, c.policy), c.status) << c.what;
        EXPECT_EQ(info.validated, c.status == host::Status::Ok) << c.what;
    }
    host::PlotInfo missing{host::ObjectId{12345}, kPdfDevice, true};
    EXPECT_EQ(f.ds().validatePlotInfo(missing, 4), host::Status::NotFound);
    EXPECT_FALSE(missing.validated);
}

TEST(PlotEngine, WindowIsScaledToFitAndCentred) {
    PlotFixture f;
    auto& db = f.newDrawing();
    // Window 400 x 100 units: a red square at its lower-left quarter, a blue one at its right end.
    addSolid(db, 0, 0, 100, 100, 1);
    addSolid(db, 350, 50, 400, 100, 5);
    addSolid(db, 1000, 1000, 1100, 1100, 3);  // outside the window: not on the page
    PlotSession session;
    std::string message;
    ASSERT_TRUE(openPlotSession(f.ds(), session, message));
    const std::string pdf = f.file("window.pdf");
    ASSERT_TRUE(plotWindowToPdf(f.ds(), session.engine, f.layoutId(db, "Model"),
                                {0, 0, 400, 100, ""}, "w", session.device, "", pdf, message))
        << message;
    closePlotSession(f.ds(), session);

    const auto* media = qkshost::pdf::pdfPlotDevice().findMedia(kA3);
    ASSERT_NE(media, nullptr);
    const double k = 72.0 / 25.4;
    const double pw = media->printableWidthMm() * k, ph = media->printableHeightMm() * k;
    const double scale = std::min(pw / 400, ph / 100);
    const double left = media->margins.left * k + (pw - 400 * scale) / 2;
    const double bottom = media->margins.bottom * k + (ph - 100 * scale) / 2;
    const double pageH = media->heightMm * k;

    pdft::Image image;
    ASSERT_TRUE(pdft::rasterise(pdf, 72, image));
    EXPECT_NEAR(image.width, media->widthMm * k, 1.0);
    struct Expect {
        const char* what;
        bool (*select)(qkshost::pdf::Rgb);
        double x0, y0, x1, y1;  // drawing units
    } expects[] = {
        {"red", [](qkshost::pdf::Rgb c) { return c.r > 200 && c.g < 80 && c.b < 80; }, 0, 0, 100,
         100},
        {"blue", [](qkshost::pdf::Rgb c) { return c.b > 200 && c.r < 80 && c.g < 80; }, 350, 50,
         400, 100},
    };
    for (const auto& e : expects) {
        pdft::PixelBox box;
        ASSERT_TRUE(pdft::findPixels(image, e.select, box)) << e.what;
        const double tol = 0.01 * image.width;
        EXPECT_NEAR(box.minX, left + e.x0 * scale, tol) << e.what;
        EXPECT_NEAR(box.maxX + 1, left + e.x1 * scale, tol) << e.what;
        EXPECT_NEAR(box.minY, pageH - (bottom + e.y1 * scale), tol) << e.what;
        EXPECT_NEAR(box.maxY + 1, pageH - (bottom + e.y0 * scale), tol) << e.what;
    }
    pdft::PixelBox green;
    EXPECT_FALSE(pdft::findPixels(
        image, [](qkshost::pdf::Rgb c) { return c.g > 150 && c.r < 80 && c.b < 80; }, green));
}

TEST(PlotEngine, SessionFailures) {
    PlotFixture f;
    failPublishCall("createPublishEngine");
    PlotSession session;
    std::string message;
    EXPECT_FALSE(openPlotSession(f.ds(), session, message));
    EXPECT_EQ(message, "无法创建出版引擎");
    EXPECT_FALSE(session.engine);
    closePlotSession(f.ds(), session);  // harmless on an empty session

    // Layouts that do not exist: nothing is plotted.
    qkshost::clearPlotFaults();
    ASSERT_TRUE(openPlotSession(f.ds(), session, message));
    const host::ObjectId none{0xFFFF00000001ull};
    EXPECT_FALSE(plotLayoutToPdf(f.ds(), session.engine, none, "x", session.device, "",
                                 f.file("x.pdf"), message));
    EXPECT_EQ(message, "无法打开布局");
    EXPECT_FALSE(plotModelExtentsToPdf(f.ds(), session.engine, none, "x", session.device, "",
                                       f.file("x.pdf"), message));
    EXPECT_EQ(message, "无法打开模型布局");
    EXPECT_FALSE(plotWindowToPdf(f.ds(), session.engine, none, {0, 0, 1, 1, ""}, "x",
                                 session.device, "", f.file("x.pdf"), message));
    EXPECT_EQ(message, "无法打开模型布局");
    closePlotSession(f.ds(), session);
}

}  // namespace
