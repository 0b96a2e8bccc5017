#include "qks/plot/jobs.h"

#include <filesystem>

#include "qks/common/environment.h"
#include "qks/common/file_io.h"
#include "qks/common/job_log.h"
#include "qks/contract/log_words.h"
#include "qks/contract/names.h"
#include "qks/drawing/frames.h"
#include "qks/host/drawing.h"
#include "qks/job/driver.h"
#include "qks/job/read_rules.h"

namespace qks::plot {
namespace {

using contract::kLogError;
using contract::kLogFatal;
using contract::kLogOpen;
using job::Outcome;

constexpr job::ChannelLog log{LogChannel::Plot};

// Creates the folder with its parents; a failure shows later as pages that cannot be written.
void createOutputFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::u8path(folder), error);
}

std::string pdfPathFor(const contract::PlotJobConfig& config, const std::string& name) {
    return joinPath(config.outDir, name + ".pdf");
}

// Paths name the same file when their absolute, canonical forms are equal.
bool samePath(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code e1, e2;
    const auto ca = std::filesystem::weakly_canonical(std::filesystem::u8path(a), e1);
    const auto cb = std::filesystem::weakly_canonical(std::filesystem::u8path(b), e2);
    if (e1 || e2) return a == b;
    return ca == cb;
}

void countResult(bool ok, const std::string& name, const std::string& message, PlotTally& tally) {
    if (ok) {
        ++tally.ok;
        log(contract::kLogOk, name);
    } else {
        ++tally.fail;
        log(kLogError, name + " " + message);
    }
}

}  // namespace

void logPlotSummary(const PlotTally& tally, const contract::PlotJobConfig& config) {
    job::logDone(LogChannel::Plot, tally, " dir=" + config.outDir);
}

void plotDatabase(host::DrawingServices& ds, const PlotSession& session, host::DatabaseId database,
                  const contract::PlotJobConfig& config, const std::string& label,
                  drawing::NameCounts& counts, PlotTally& tally) {
    const std::vector<host::LayoutInfo> layouts =
        database ? ds.layouts(database) : std::vector<host::LayoutInfo>{};
    if (layouts.empty()) {
        log(kLogError, "无法读取布局字典");
        ++tally.fail;
        return;
    }
    const host::LayoutInfo* model = nullptr;
    for (const auto& layout : layouts)
        if (layout.isModel) {
            model = &layout;
            break;
        }
    const std::string active = ds.activeLayoutName();

    bool plotLayouts = true;
    if (config.scope == "frames") {
        // Model space's frames, then those of the paper-space layouts, each plotted on its own.
        std::vector<drawing::PlotWindow> frames = drawing::findFrames(ds, database);
        for (drawing::PlotWindow& frame : drawing::findLayoutFrames(ds, database))
            frames.push_back(std::move(frame));
        if (frames.empty()) {
            log(contract::kLogWarning, "未识别到图框，按布局输出");
        } else {
            plotLayouts = false;
            int n = 0;
            for (const auto& frame : frames) {
                const host::LayoutInfo* on = frame.layout.empty() ? model : nullptr;
                for (const auto& layout : layouts)
                    if (!frame.layout.empty() && !layout.isModel && layout.name == frame.layout)
                        on = &layout;
                if (on) ds.setCurrentLayout(on->id);
                ++n;
                ++tally.total;
                const std::string base =
                    frame.name.empty() ? "frame_" + std::to_string(n) : frame.name;
                const std::string name = drawing::uniqueOutputName(
                    drawing::composeOutputName(label, config.prefix, base), counts);
                log("RUN " + name);
                std::string message;
                const bool ok = on != nullptr && plotWindowToPdf(ds, session.engine, on->id, frame,
                                                                 name, session.device, config.style,
                                                                 pdfPathFor(config, name), message);
                if (on == nullptr) message = "无法打开模型布局";
                countResult(ok, name, message, tally);
            }
        }
    } else if (config.scope == "model") {
        plotLayouts = false;
        if (model) {
            ds.setCurrentLayout(model->id);
            ++tally.total;
            const std::string name = drawing::uniqueOutputName(
                drawing::composeOutputName(label, config.prefix, "model"), counts);
            log("RUN " + name);
            std::string message;
            const bool ok =
                plotModelExtentsToPdf(ds, session.engine, model->id, model->name, session.device,
                                      config.style, pdfPathFor(config, name), message);
            countResult(ok, name, message, tally);
        }
    }
    if (plotLayouts) {
        for (const auto& layout : layouts) {
            const std::string layoutName = layout.name.empty() ? "layout" : layout.name;
            if (config.currentScope() && !active.empty() && layoutName != active) continue;
            ds.setCurrentLayout(layout.id);
            ++tally.total;
            const std::string name = drawing::uniqueOutputName(
                drawing::composeOutputName(label, config.prefix, layoutName), counts);
            const std::string path = pdfPathFor(config, name);
            log("RUN " + layoutName + " -> " + path);
            std::string message;
            const bool ok = plotLayoutToPdf(ds, session.engine, layout.id, layoutName,
                                            session.device, config.style, path, message);
            countResult(ok, layoutName, message, tally);
        }
    }
    if (!active.empty()) ds.setCurrentLayoutByName(active);
}

void runPlotJob(host::Host& host) {
    host::DrawingServices* ds = host.drawingServices();
    std::string bytes;
    if (!job::readConfig(JobKind::Plot, LogChannel::Plot, jobConfigPath(JobKind::Plot, {}), bytes))
        return;
    const contract::PlotJobConfig config = contract::readPlotConfig(bytes, pluginReadRules());
    // The log may sit in the output folder: the folder first.
    if (!config.outDir.empty()) createOutputFolder(config.outDir);
    job::startLog(LogChannel::Plot, jobLogPath(config.log, contract::kPlotLogFile));
    if (config.outDir.empty()) {
        log(kLogFatal, "未设置输出目录");
        return;
    }
    log("QKS 批量出图开始 scope=" + config.scope);
    PlotSession session;
    if (ds == nullptr) {
        log(kLogFatal, "无法加载 DWG To PDF.pc3");
        return;
    }
    std::string message;
    if (!openPlotSession(*ds, session, message)) {
        log(kLogFatal, message);
        return;
    }
    drawing::NameCounts counts;
    PlotTally tally;
    job::forEachDrawing(
        LogChannel::Plot, job::drawingList(true, {}),
        [&](const job::Drawing&, PlotTally& pages) {
            plotDatabase(*ds, session, ds->documentDatabase(host.currentDocument()), config, {},
                         counts, pages);
            return Outcome::Counted;
        },
        tally);
    closePlotSession(*ds, session);
    logPlotSummary(tally, config);
}

void runPlotFilesJob(host::Host& host, const std::string& configPathFromBridge) {
    host::DrawingServices* ds = host.drawingServices();
    const std::optional<contract::PlotFilesJobConfig> started =
        job::startJob(JobKind::PlotFiles, LogChannel::Plot, configPathFromBridge,
                      contract::readPlotFilesConfig, contract::kPlotLogFile, "未找到批量文件配置");
    if (!started) return;
    const contract::PlotFilesJobConfig& config = *started;
    log("QKS 批量文件出图开始 files=" + std::to_string(config.files.size()));
    if (config.outDir.empty()) {
        log(kLogFatal, "未设置输出目录");
        return;
    }
    createOutputFolder(config.outDir);

    if (ds == nullptr) {
        log(kLogFatal, "无法加载 DWG To PDF.pc3");
        logPlotSummary(PlotTally{}, config);
        return;
    }
    const host::DocumentId previous = host.currentDocument();
    drawing::NameCounts counts;
    PlotTally tally;
    // A file of the list that never reaches plotting is still one failed item of the job, so a
    // job whose every file is missing does not end with a summary that reads as success.
    const auto plotFile = [&](const job::Drawing& drawing, PlotTally& pages) {
        const std::string& path = drawing.path;
        if (!fileExists(path)) {
            log(kLogError, "文件不存在 " + path);
            return Outcome::Failed;
        }
        log(kLogOpen, path);
        host::DocumentId document;
        bool openedHere = false;
        if (previous && samePath(host.documentFileName(previous), path)) {
            document = previous;
        } else {
            std::string openError;
            const host::DocumentId opened = ds->openDocument(path, &openError);
            document = host.currentDocument();
            if (!opened || !document) {
                log(kLogError, "无法打开 " + path);
                return Outcome::Failed;
            }
            openedHere = true;
            if (host::succeeded(ds->makeDocumentCurrent(document)))
                ds->activateDocument(document);
            else if (!host::succeeded(ds->activateDocument(document)))
                log(contract::kLogWarning, "无法激活文档 " + path);
        }
        PlotSession session;
        std::string message;
        if (!openPlotSession(*ds, session, message)) {
            log(kLogFatal, message);
            if (openedHere) ds->closeDocument(document);
            return Outcome::Stop;
        }
        const bool locked = host::succeeded(ds->lockDocument(document));
        plotDatabase(*ds, session, ds->documentDatabase(document), config,
                     drawing::fileStemLabel(path), counts, pages);
        if (locked) ds->unlockDocument(document);
        closePlotSession(*ds, session);
        if (openedHere) ds->closeDocument(document);
        return Outcome::Counted;
    };
    job::forEachDrawing(LogChannel::Plot, job::drawingList(false, config.files), plotFile, tally);
    if (previous) {
        ds->makeDocumentCurrent(previous);
        ds->activateDocument(previous);
    }
    logPlotSummary(tally, config);
}

}  // namespace qks::plot
