// The plot-info validator and the publish engine of the drawing services.
//
// A publish engine is a small state machine: beginPlot, then per PDF file beginDocument,
// beginPage, begin/endGenerateGraphics, endPage, endDocument, and finally endPlot. A call made
// out of that order returns NotApplicable and changes nothing. The page is rendered and the
// PDF written at beginPage, so a page that cannot be written fails there.
#include <unistd.h>

#include <cmath>
#include <map>

#include "plot_services.h"
#include "qks/common/environment.h"
#include "qks/common/file_io.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/app/plot_faults.h"
#include "qkshost/pdf/media.h"
#include "qkshost/pdf/pdf_engine.h"
#include "qkshost/pdf/plot_style.h"
#include "qkshost/render/renderer.h"

namespace qkshost {

namespace host = qks::host;

namespace {

constexpr double kMmPerInch = 25.4;
// Two sheets are the same size when both sides agree within this (millimetres).
constexpr double kMediaSizeTolerance = 0.5;

PlotFaults& faults() {
    static PlotFaults instance;
    return instance;
}

host::Status injected(const char* call) {
    return faults().publish ? faults().publish(call) : host::Status::Ok;
}

// Paper units = drawing units of the standard scale types, in the CAD program's numbering
// (1..15 architectural scales in inches per foot, 16.. metric ratios).
bool standardScale(int type, double& paper, double& drawing) {
    static const double kTable[][2] = {
        {0, 0},  {1, 1536}, {1, 768}, {1, 384}, {1, 192}, {1, 128}, {1, 96}, {1, 64}, {1, 48},
        {1, 32}, {1, 24},   {1, 16},  {1, 12},  {1, 4},   {1, 2},   {1, 1},  {1, 1},  {1, 2},
        {1, 4},  {1, 8},    {1, 10},  {1, 16},  {1, 20},  {1, 30},  {1, 40}, {1, 50}, {1, 100},
        {2, 1},  {4, 1},    {8, 1},   {10, 1},  {100, 1}, {1000, 1}};
    if (type < 1 || type > 32) return false;
    paper = kTable[type][0];
    drawing = kTable[type][1];
    return true;
}

// The device's medium for a page setup: its own name, or with `matchBySize` a medium of the
// same size (either orientation, any variant). Null when there is none.
const pdf::Media* mediaFor(const pdf::PlotDevice& device, const host::PlotSettings& s,
                           bool matchBySize) {
    if (const pdf::Media* exact = device.findMedia(s.media)) return exact;
    if (!matchBySize) return nullptr;
    const double toMm = s.paperUnits == host::PaperUnits::Inches ? kMmPerInch : 1.0;
    const double w = s.paperWidth * toMm, h = s.paperHeight * toMm;
    if (!(w > 0) || !(h > 0)) return nullptr;
    for (const auto variant :
         {pdf::MediaVariant::Plain, pdf::MediaVariant::Expand, pdf::MediaVariant::FullBleed}) {
        if (const pdf::Media* m = device.findMediaBySize(w, h, variant, kMediaSizeTolerance))
            return m;
        if (const pdf::Media* m = device.findMediaBySize(h, w, variant, kMediaSizeTolerance))
            return m;
    }
    return nullptr;
}

}  // namespace

void setPlotFaults(PlotFaults f) {
    faults() = std::move(f);
}
void clearPlotFaults() {
    faults() = PlotFaults{};
}

namespace {

struct PublishEngine {
    enum class State { Idle, Plot, Document, Page, Graphics };
    State state = State::Idle;
    bool graphicsDone = false;
    std::string documentName;
    std::string pdfPath;
};

std::map<std::uint32_t, PublishEngine>& engines() {
    static std::map<std::uint32_t, PublishEngine> instance;
    return instance;
}

PublishEngine* findEngine(host::PublishEngineId id) {
    auto it = engines().find(id.value);
    return it == engines().end() ? nullptr : &it->second;
}

// Moves the engine from `from` to `to` if it is in `from` and no fault is injected.
host::Status step(host::PublishEngineId id, PublishEngine::State from, PublishEngine::State to,
                  const char* call) {
    PublishEngine* e = findEngine(id);
    if (e == nullptr || e->state != from) return host::Status::NotApplicable;
    const host::Status fault = injected(call);
    if (fault != host::Status::Ok) return fault;
    e->state = to;
    return host::Status::Ok;
}

// A page setup of the plug-in's interface as the PDF layer's settings record. Unknown media,
// devices and style sheets are passed on; the PDF layer's validation names them.
pdf::PlotSettings toPdfSettings(const host::PlotSettings& s, const std::string& device,
                                const std::string& media) {
    pdf::PlotSettings p;
    p.deviceName = device;
    p.mediaName = media;
    p.paperUnits = static_cast<pdf::PaperUnits>(static_cast<int>(s.paperUnits));
    p.styleSheet = s.styleSheet;
    p.plotType = static_cast<pdf::PlotType>(static_cast<int>(s.plotType));
    p.window = {s.windowMinX, s.windowMinY, s.windowMaxX, s.windowMaxY};
    double paper = 1, drawingUnits = 1;
    if (s.useStandardScale && s.standardScaleType == host::kScaleToFit) {
        p.scale = {true, 1.0, 1.0};
    } else if (s.useStandardScale && standardScale(s.standardScaleType, paper, drawingUnits)) {
        p.scale = {false, paper, drawingUnits};
    } else {
        p.scale = {false, s.customNumerator, s.customDenominator};
    }
    p.centred = s.centered;
    p.originXMm = s.originX;
    p.originYMm = s.originY;
    p.rotation = static_cast<pdf::PlotRotation>(s.rotation & 3);
    return p;
}

}  // namespace

// Resolves what a plot info would plot; false with a status when it cannot be plotted.
static host::Status resolvePlot(HostDrawingServices& services, const host::PlotInfo& info,
                                int matchingPolicy, host::PlotSettings& resolved,
                                pdf::PlotSettings& out) {
    if (!succeeded(services.getPlotSettings(info.layout, resolved))) return host::Status::NotFound;
    const std::string device = info.deviceOverride.empty() ? resolved.device : info.deviceOverride;
    const pdf::PlotDevice* plotDevice = pdf::findPlotDevice(device);
    if (plotDevice == nullptr) return host::Status::InvalidInput;
    const pdf::Media* media =
        mediaFor(*plotDevice, resolved, matchingPolicy == host::kMediaMatchingWithCustomSize);
    if (media == nullptr) return host::Status::InvalidInput;
    if (!resolved.styleSheet.empty() && pdf::findPlotStyleTable(resolved.styleSheet) == nullptr)
        return host::Status::InvalidInput;
    if (resolved.plotType == host::PlotType::Window) {
        const pdf::PlotRect window = pdf::PlotRect::normalised(
            resolved.windowMinX, resolved.windowMinY, resolved.windowMaxX, resolved.windowMaxY);
        if (!window.isValid() || window.width() <= 0 || window.height() <= 0)
            return host::Status::InvalidInput;
    }
    resolved.device = plotDevice->name;
    resolved.media = media->canonicalName;
    out = toPdfSettings(resolved, plotDevice->name, media->canonicalName);
    if (!pdf::PlotSettingsValidator::validate(out).ok()) return host::Status::InvalidInput;
    return host::Status::Ok;
}

host::Status PlotPublisher::validatePlotInfo(host::PlotInfo& info, int mediaMatchingPolicy) {
    info.validated = false;
    host::PlotSettings resolved;
    pdf::PlotSettings settings;
    const host::Status status =
        resolvePlot(services_, info, mediaMatchingPolicy, resolved, settings);
    if (status != host::Status::Ok) return status;
    if (faults().validate) {
        const host::Status fault = faults().validate(resolved);
        if (fault != host::Status::Ok) return fault;
    }
    info.validated = true;
    return host::Status::Ok;
}

host::PublishEngineId PlotPublisher::createPublishEngine() {
    static std::uint32_t next = 1;
    if (injected("createPublishEngine") != host::Status::Ok) return {};
    const host::PublishEngineId id{next++};
    engines()[id.value] = PublishEngine{};
    return id;
}

void PlotPublisher::destroyPublishEngine(host::PublishEngineId engine) {
    engines().erase(engine.value);
}

host::Status PlotPublisher::beginPlot(host::PublishEngineId engine) {
    return step(engine, PublishEngine::State::Idle, PublishEngine::State::Plot, "beginPlot");
}

host::Status PlotPublisher::endPlot(host::PublishEngineId engine) {
    return step(engine, PublishEngine::State::Plot, PublishEngine::State::Idle, "endPlot");
}

host::Status PlotPublisher::beginDocument(host::PublishEngineId engine, const host::PlotInfo& info,
                                          std::string_view documentName, int copies,
                                          const std::string& pdfPath) {
    PublishEngine* e = findEngine(engine);
    if (e == nullptr || e->state != PublishEngine::State::Plot) return host::Status::NotApplicable;
    if (copies < 1 || pdfPath.empty() || !info.layout) return host::Status::InvalidInput;
    std::string folder = qks::folderOfPath(pdfPath);
    if (folder.empty()) folder = ".";
    if (!qks::isDirectory(folder)) return host::Status::NotFound;
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return host::Status::WriteError;
    const host::Status fault = injected("beginDocument");
    if (fault != host::Status::Ok) return fault;
    e->documentName = std::string(documentName);
    e->pdfPath = pdfPath;
    e->state = PublishEngine::State::Document;
    return host::Status::Ok;
}

host::Status PlotPublisher::beginPage(host::PublishEngineId engine, const host::PlotInfo& info,
                                      bool) {
    PublishEngine* e = findEngine(engine);
    if (e == nullptr || e->state != PublishEngine::State::Document)
        return host::Status::NotApplicable;
    if (!info.validated) return host::Status::InvalidInput;
    const host::Status fault = injected("beginPage");
    if (fault != host::Status::Ok) return fault;
    host::PlotSettings resolved;
    pdf::PlotSettings settings;
    const host::Status status =
        resolvePlot(services_, info, host::kMediaMatchingWithCustomSize, resolved, settings);
    if (status != host::Status::Ok) return status;
    drawing::ObjectIndex layout = 0;
    drawing::Database* db = dbs_.resolve(info.layout, layout);
    if (db == nullptr) return host::Status::NotFound;

    const pdf::DisplayList list = render::renderLayout(*db, layout);
    pdf::PlotPageOptions options;
    options.title = e->documentName;
    if (settings.plotType != pdf::PlotType::Window)
        options.area = render::plotArea(*db, layout, settings.plotType, list);
    pdf::PdfPlotEngine pdfEngine;
    if (faults().engine) pdfEngine.setFaultHook(faults().engine);
    const pdf::PlotResult result = pdfEngine.plotToFile(settings, list, e->pdfPath, options);
    if (!result.ok()) {
        return result.status == pdf::PlotStatus::EngineFailed ? host::Status::Failed
                                                              : host::Status::WriteError;
    }
    e->graphicsDone = false;
    e->state = PublishEngine::State::Page;
    return host::Status::Ok;
}

host::Status PlotPublisher::beginGenerateGraphics(host::PublishEngineId engine) {
    return step(engine, PublishEngine::State::Page, PublishEngine::State::Graphics,
                "beginGenerateGraphics");
}

host::Status PlotPublisher::endGenerateGraphics(host::PublishEngineId engine) {
    const host::Status status = step(engine, PublishEngine::State::Graphics,
                                     PublishEngine::State::Page, "endGenerateGraphics");
    if (status == host::Status::Ok) findEngine(engine)->graphicsDone = true;
    return status;
}

host::Status PlotPublisher::endPage(host::PublishEngineId engine) {
    return step(engine, PublishEngine::State::Page, PublishEngine::State::Document, "endPage");
}

host::Status PlotPublisher::endDocument(host::PublishEngineId engine) {
    return step(engine, PublishEngine::State::Document, PublishEngine::State::Plot, "endDocument");
}

}  // namespace qkshost
