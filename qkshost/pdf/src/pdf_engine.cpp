#include "qkshost/pdf/pdf_engine.h"

#include "pdf_file.h"
#include "pdf_renderer.h"

namespace qkshost::pdf {
namespace {

const char* stageName(PlotStage stage) {
    switch (stage) {
        case PlotStage::Validate:
            return "validation";
        case PlotStage::BeginDocument:
            return "begin document";
        case PlotStage::BeginPage:
            return "begin page";
        case PlotStage::Write:
            return "write";
    }
    return "plot";
}

}  // namespace

PlotResult PdfPlotEngine::stage(PlotStage stage, const PlotSettings& settings,
                                const std::string& pdfPath) {
    if (!faultHook_) return PlotResult::success();
    const PlotStatus status = faultHook_(stage, settings, pdfPath);
    if (status == PlotStatus::Ok) return PlotResult::success();
    return PlotResult::failure(
        status, std::string(stageName(stage)) + " refused (" + plotStatusName(status) + ")");
}

PlotResult PdfPlotEngine::plotToFile(const PlotSettings& settings, const DisplayList& list,
                                     const std::string& pdfPath, const PlotPageOptions& options) {
    PlotResult r = stage(PlotStage::Validate, settings, pdfPath);
    if (!r.ok()) return r;
    r = PlotSettingsValidator::validate(settings);
    if (!r.ok()) return r;

    PlotRect area;
    if (settings.plotType == PlotType::Window) {
        area = settings.window;
    } else if (options.area) {
        area = *options.area;
    } else if (auto extents = list.extents()) {
        area = *extents;
    } else {
        // Nothing drawn and no area given: a blank sheet, laid out over any area.
        area = {0.0, 0.0, 1.0, 1.0};
    }
    PageGeometry geometry;
    r = computePageGeometry(settings, area, geometry);
    if (!r.ok()) return r;
    const PlotStyleTable& style = settings.styleSheet.empty()
                                      ? defaultPlotStyleTable()
                                      : *findPlotStyleTable(settings.styleSheet);

    r = stage(PlotStage::BeginDocument, settings, pdfPath);
    if (!r.ok()) return r;
    detail::AtomicOutputFile file;
    r = file.open(pdfPath);
    if (!r.ok()) return r;

    r = stage(PlotStage::BeginPage, settings, pdfPath);
    if (!r.ok()) return r;
    r = detail::renderPdfPage(geometry, style, list, settings.plotType == PlotType::Window,
                              options.title, file);
    if (!r.ok()) {
        // A failed write is explained best by the system's error the file kept.
        if (r.status == PlotStatus::WriteFailed && !file.writeErrorText().empty())
            r.message = "writing " + pdfPath + " failed: " + file.writeErrorText();
        return r;
    }

    r = stage(PlotStage::Write, settings, pdfPath);
    if (!r.ok()) return r;
    r = file.commit();
    if (r.ok()) ++pagesWritten_;
    return r;
}

}  // namespace qkshost::pdf
