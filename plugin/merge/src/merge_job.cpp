// The merge job as the Studio and the QKMERGE command start it: config, log, merge, and the
// optional PDF of the merged drawing's model space.
#include <filesystem>
#include <optional>
#include <string>

#include "qks/common/environment.h"
#include "qks/common/job_log.h"
#include "qks/contract/log_words.h"
#include "qks/contract/names.h"
#include "qks/job/driver.h"
#include "qks/job/read_rules.h"
#include "qks/merge/merge.h"
#include "qks/plot/jobs.h"

namespace qks::merge {
namespace {

using contract::kLogDone;
using contract::kLogError;
using contract::kLogFatal;

constexpr job::ChannelLog logLine{LogChannel::Plot};

// Opens the merged drawing as a document and plots its model space to one PDF named after
// the drawing. Ends the job's log with its DONE line either way.
void plotMergedDrawing(host::Host& host, const contract::MergeJobConfig& config,
                       const std::string& drawing, int count) {
    host::DrawingServices& ds = *host.drawingServices();
    const std::string noPdf = "merged=" + std::to_string(count) + " pdf=0";
    logLine("PDF 输出合并图纸");
    const std::string pdfFolder = config.outDir.empty() ? folderOfPath(drawing) : config.outDir;
    if (!pdfFolder.empty()) {
        std::error_code ignored;  // a missing folder shows up as a failed page
        std::filesystem::create_directories(pdfFolder, ignored);
    }

    const host::DocumentId previous = host.currentDocument();
    std::string openMessage;
    const host::DocumentId document = ds.openDocument(drawing, &openMessage);
    if (!document || !host.currentDocument()) {
        logLine(kLogError, "无法打开合并图纸");
        logLine(kLogDone, noPdf);
        return;
    }
    // A drawing the user already had current stays open after the job.
    const bool openedHere = document != previous;
    const auto finish = [&] {
        if (openedHere) ds.closeDocument(document);
        if (previous && openedHere) ds.makeDocumentCurrent(previous);
    };
    if (host::succeeded(ds.makeDocumentCurrent(document)))
        ds.activateDocument(document);
    else if (!host::succeeded(ds.activateDocument(document)))
        logLine(contract::kLogWarning, "无法激活合并图纸");

    contract::PlotJobConfig plotConfig;
    plotConfig.scope = "model";
    plotConfig.outDir = pdfFolder;
    plotConfig.style = config.style.empty() ? "monochrome.ctb" : config.style;
    plotConfig.log = config.log;

    plot::PlotSession session;
    std::string sessionMessage;
    if (!plot::openPlotSession(ds, session, sessionMessage)) {
        logLine(kLogError, sessionMessage);
        finish();
        logLine(kLogDone, noPdf);
        return;
    }
    const bool locked = host::succeeded(ds.lockDocument(document));
    drawing::NameCounts names;
    plot::PlotTally tally;
    plot::plotDatabase(ds, session, ds.documentDatabase(document), plotConfig,
                       drawing::fileStemLabel(drawing), names, tally);
    if (locked) ds.unlockDocument(document);
    plot::closePlotSession(ds, session);
    finish();
    plot::logPlotSummary(tally, plotConfig);
}

}  // namespace

void runMergeJob(host::Host& host, const std::string& configPath) {
    const std::optional<contract::MergeJobConfig> started =
        job::startJob(JobKind::Merge, LogChannel::Plot, configPath, contract::readMergeConfig,
                      contract::kPlotLogFile);
    if (!started) return;
    const contract::MergeJobConfig& config = *started;
    logLine("QKS 合并 DWG 开始 files=" + std::to_string(config.files.size()));
    if (config.outDwg.empty()) {
        logLine(kLogFatal, "未设置合并输出路径");
        return;
    }
    host::DrawingServices* ds = host.drawingServices();
    if (ds == nullptr) {
        logLine(kLogFatal, "保存合并图纸失败");
        return;
    }

    int count = 0;
    std::string written, message;
    try {
        if (!mergeDrawings(*ds, config, message, count, &written)) {
            logLine(kLogFatal, message);
            return;
        }
    } catch (...) {
        // Out of memory on a huge input: the job ends with its FATAL line, nothing escapes.
        logLine(kLogFatal, "保存合并图纸失败");
        return;
    }
    const std::string counted = std::to_string(count);
    logLine(contract::kLogMerged, "count=" + counted + " dwg=" + written);
    if (!config.pdf) {
        logLine(kLogDone, "merged=" + counted + " dwg=" + written);
        return;
    }
    try {
        plotMergedDrawing(host, config, written, count);
    } catch (...) {
        logLine(kLogError, "生成 PDF 失败");
        logLine(kLogDone, "merged=" + counted + " pdf=0");
    }
}

}  // namespace qks::merge
