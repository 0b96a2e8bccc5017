#include "qks/plot/engine.h"

#include <algorithm>
#include <cmath>

#include "qks/common/job_log.h"
#include "qks/common/utf8.h"
#include "qks/contract/log_words.h"

namespace qks::plot {
namespace {

constexpr double kMmPerInch = 25.4;
constexpr const char* kKeepLayoutStyle = "<沿用布局>";

// Long side of an A-size sheet (millimetres) and its keyword.
struct SizeKeyword {
    double longSideMm;
    const char* keyword;
};
constexpr SizeKeyword kSizeKeywords[] = {{1189, "a0"}, {841, "a1"}, {594, "a2"},
                                         {420, "a3"},  {297, "a4"}, {210, "a5"}};
constexpr double kSizeTolerance = 2.0;

void warn(const std::string& name, const char* what) {
    appendJobLog(LogChannel::Plot, contract::logEntry(contract::kLogWarning, name + " " + what));
}

// One attempt's page setup change: read the layout's page setup, change it, write it back.
// False (with the attempt's message) when the layout cannot be written.
template <class Change>
bool changePageSetup(host::PlotServices& ds, host::ObjectId layout, Change change,
                     std::string& message) {
    host::PlotSettings settings;
    if (!host::succeeded(ds.getPlotSettings(layout, settings))) {
        message = "无法写入布局打印设置";
        return false;
    }
    change(settings);
    if (!host::succeeded(ds.setPlotSettings(layout, settings))) {
        message = "无法写入布局打印设置";
        return false;
    }
    return true;
}

// The layout/model page: three attempts, the backup always restored.
bool plotWithFallbacks(host::PlotServices& ds, host::PublishEngineId engine, host::ObjectId layout,
                       const std::string& name, const std::string& device, const std::string& style,
                       const std::string& pdfPath, const char* readFailure, bool keywordsFromPaper,
                       std::string& message) {
    host::PlotSettings backup;
    if (!host::succeeded(ds.getPlotSettings(layout, backup))) {
        message = readFailure;
        return false;
    }
    std::vector<std::string> keywords{"a3", "a4"};
    if (keywordsFromPaper) {
        double w = backup.paperWidth, h = backup.paperHeight;
        if (backup.paperUnits == host::PaperUnits::Inches) {
            w *= kMmPerInch;
            h *= kMmPerInch;
        }
        keywords = paperKeywords(std::max(w, h));
    }

    std::string message1, message2, message3;
    bool ok = changePageSetup(
        ds, layout,
        [&](host::PlotSettings& s) {
            applyPdfDevice(ds, s, device, style, keywords);
            setExtentsFit(ds, s);
        },
        message1);
    if (ok) ok = plotValidatedPage(ds, engine, layout, name, device, pdfPath, message1);
    message = message1;
    if (!ok) {
        ok = changePageSetup(
            ds, layout, [&](host::PlotSettings& s) { s = backup; }, message);
        if (ok) ok = plotValidatedPage(ds, engine, layout, name, device, pdfPath, message);
        if (ok) warn(name, "改用布局原设置");
        message2 = message;
    }
    if (!ok) {
        ok = changePageSetup(
            ds, layout,
            [&](host::PlotSettings& s) {
                s = backup;
                setExtentsFit(ds, s);
            },
            message);
        if (ok) ok = plotValidatedPage(ds, engine, layout, name, device, pdfPath, message);
        if (ok) warn(name, "改用布局原纸张尺寸");
        message3 = message;
    }
    ds.setPlotSettings(layout, backup);
    if (!ok) message = message1 + "；原设置: " + message2 + "；重试: " + message3;
    return ok;
}

}  // namespace

std::string& effectiveStyleSheet() {
    static std::string value;
    return value;
}

std::vector<std::string> paperKeywords(double longSideMm) {
    for (const auto& row : kSizeKeywords)
        if (std::fabs(longSideMm - row.longSideMm) < kSizeTolerance) return {row.keyword};
    return {"a4", "a3"};
}

bool openPlotSession(host::PlotServices& ds, PlotSession& session, std::string& message) {
    session = PlotSession{};
    if (!ds.hasPlotDevice(kPdfDevice)) {
        message = "无法加载 DWG To PDF.pc3";
        return false;
    }
    const host::PublishEngineId engine = ds.createPublishEngine();
    if (!engine) {
        message = "无法创建出版引擎";
        return false;
    }
    ds.beginPlot(engine);
    session.device = kPdfDevice;
    session.engine = engine;
    return true;
}

void closePlotSession(host::PlotServices& ds, PlotSession& session) {
    if (session.engine) {
        ds.endPlot(session.engine);
        ds.destroyPublishEngine(session.engine);
    }
    session = PlotSession{};
}

bool isFullBleedMedia(const std::string& media) {
    const std::string lower = toLowerUtf8(media);
    return lower.find("full_bleed") != std::string::npos ||
           lower.find("fullbleed") != std::string::npos;
}

std::string chooseMedia(host::PlotServices& ds, const std::string& device,
                        const std::string& currentMedia, const std::vector<std::string>& keywords) {
    if (device.empty()) return currentMedia;
    return chooseMediaFromList(ds.canonicalMediaNames(device), currentMedia, keywords);
}

std::string chooseMediaFromList(const std::vector<std::string>& media,
                                const std::string& currentMedia,
                                const std::vector<std::string>& keywords) {
    if (!currentMedia.empty() && !isFullBleedMedia(currentMedia) &&
        std::find(media.begin(), media.end(), currentMedia) != media.end())
        return currentMedia;
    std::vector<std::string> lowered;
    lowered.reserve(media.size());
    for (const auto& m : media)
        lowered.push_back(toLowerUtf8(m));
    for (const bool skipFullBleed : {true, false})
        for (const auto& keyword : keywords) {
            const std::string k = toLowerUtf8(keyword);
            for (std::size_t i = 0; i < media.size(); ++i) {
                if (skipFullBleed && isFullBleedMedia(media[i])) continue;
                if (lowered[i].find(k) != std::string::npos) return media[i];
            }
        }
    return media.empty() ? std::string() : media.front();
}

void applyPdfDevice(host::PlotServices& ds, host::PlotSettings& pageSetup,
                    const std::string& device, const std::string& style,
                    const std::vector<std::string>& keywords) {
    const std::string media = chooseMedia(ds, device, pageSetup.media, keywords);
    ds.setPlotDeviceAndMedia(pageSetup, device.empty() ? std::string(kPdfDevice) : device, media);
    ds.setPaperUnits(pageSetup, host::PaperUnits::Millimeters);
    effectiveStyleSheet() = kKeepLayoutStyle;
    if (!style.empty() && host::succeeded(ds.setStyleSheet(pageSetup, style)))
        effectiveStyleSheet() = style;
}

void setExtentsFit(host::PlotServices& ds, host::PlotSettings& pageSetup) {
    ds.setPlotType(pageSetup, host::PlotType::Extents);
    ds.setStandardScale(pageSetup, true, host::kScaleToFit);
    ds.setCentered(pageSetup, true);
    ds.setPlotOrigin(pageSetup, 0.0, 0.0);
    ds.setPlotRotation(pageSetup, 0);
}

void setWindowFit(host::PlotServices& ds, host::PlotSettings& pageSetup,
                  const drawing::PlotWindow& window) {
    ds.setPlotType(pageSetup, host::PlotType::Window);
    ds.setPlotWindow(pageSetup, window.minX, window.minY, window.maxX, window.maxY);
    ds.setStandardScale(pageSetup, true, host::kScaleToFit);
    ds.setCentered(pageSetup, true);
    ds.setPlotOrigin(pageSetup, 0.0, 0.0);
    ds.setPlotRotation(pageSetup, 0);
}

bool plotValidatedPage(host::PlotServices& ds, host::PublishEngineId engine, host::ObjectId layout,
                       const std::string& documentName, const std::string& device,
                       const std::string& pdfPath, std::string& message) {
    host::PlotInfo info;
    info.layout = layout;
    info.deviceOverride = device;
    const host::Status status = ds.validatePlotInfo(info, host::kMediaMatchingWithCustomSize);
    if (!host::succeeded(status) || !info.validated) {
        message = "布局设置校验失败 (status=" + std::to_string(static_cast<int>(status)) +
                  " validated=" + (info.validated ? "1" : "0") + " style=" + effectiveStyleSheet() +
                  ")";
        return false;
    }
    if (!host::succeeded(ds.beginDocument(engine, info, documentName, 1, pdfPath))) {
        message = "开始出图失败";
        return false;
    }
    if (!host::succeeded(ds.beginPage(engine, info, true))) {
        ds.endDocument(engine);
        message = "生成 PDF 失败";
        return false;
    }
    // Every later step must succeed too: a document that did not end cleanly is no PDF.
    bool ok = host::succeeded(ds.beginGenerateGraphics(engine));
    if (ok) ok = host::succeeded(ds.endGenerateGraphics(engine));
    ok = host::succeeded(ds.endPage(engine)) && ok;
    ok = host::succeeded(ds.endDocument(engine)) && ok;
    if (!ok) {
        message = "生成 PDF 失败";
        return false;
    }
    return true;
}

bool plotLayoutToPdf(host::PlotServices& ds, host::PublishEngineId engine, host::ObjectId layout,
                     const std::string& layoutName, const std::string& device,
                     const std::string& style, const std::string& pdfPath, std::string& message) {
    return plotWithFallbacks(ds, engine, layout, layoutName, device, style, pdfPath, "无法打开布局",
                             true, message);
}

bool plotModelExtentsToPdf(host::PlotServices& ds, host::PublishEngineId engine,
                           host::ObjectId modelLayout, const std::string& name,
                           const std::string& device, const std::string& style,
                           const std::string& pdfPath, std::string& message) {
    return plotWithFallbacks(ds, engine, modelLayout, name, device, style, pdfPath,
                             "无法打开模型布局", false, message);
}

bool plotWindowToPdf(host::PlotServices& ds, host::PublishEngineId engine,
                     host::ObjectId modelLayout, const drawing::PlotWindow& window,
                     const std::string& name, const std::string& device, const std::string& style,
                     const std::string& pdfPath, std::string& message) {
    host::PlotSettings backup;
    if (!host::succeeded(ds.getPlotSettings(modelLayout, backup))) {
        message = "无法打开模型布局";
        return false;
    }
    std::string message1, message2;
    bool ok = changePageSetup(
        ds, modelLayout,
        [&](host::PlotSettings& s) {
            applyPdfDevice(ds, s, device, style, {"a3", "a4"});
            setWindowFit(ds, s, window);
        },
        message1);
    if (ok) ok = plotValidatedPage(ds, engine, modelLayout, name, device, pdfPath, message1);
    message = message1;
    if (!ok) {
        ok = changePageSetup(
            ds, modelLayout,
            [&](host::PlotSettings& s) {
                s = backup;
                setWindowFit(ds, s, window);
            },
            message2);
        if (ok) ok = plotValidatedPage(ds, engine, modelLayout, name, device, pdfPath, message2);
        if (ok) warn(name, "改用布局原纸张尺寸");
    }
    ds.setPlotSettings(modelLayout, backup);
    if (!ok) message = message1 + "；原纸张重试: " + message2;
    return ok;
}

}  // namespace qks::plot
