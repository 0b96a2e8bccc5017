// The adjusted-layout job: a layout the Studio edited, checked exactly and drawn as the nest
// job's output step draws a search's layout.
#include <atomic>
#include <memory>

#include "qks/common/atomic_file.h"
#include "qks/common/environment.h"
#include "qks/common/file_io.h"
#include "qks/common/job_log.h"
#include "qks/contract/layout_check.h"
#include "qks/contract/log_words.h"
#include "qks/job/driver.h"
#include "qks/nest/job.h"
#include "qks/nest/layout_file.h"
#include "qks/nest/output.h"

namespace qks::nest {
namespace {

constexpr job::ChannelLog logLine{LogChannel::Nest};

// Faults listed one per line before the refusal; the rest are counted.
constexpr std::size_t kListedFaults = 20;

// The layout to draw, or null after its FATAL line.
std::optional<contract::NestLayout> checkedLayout(const std::string& path) {
    std::string bytes, error;
    if (!readFileBytes(path, bytes, &error)) {
        logLine(contract::kLogFatal, "无法读取排版文件 " + path);
        return std::nullopt;
    }
    std::optional<contract::NestLayout> layout = contract::readLayout(bytes, &error);
    if (!layout) {
        logLine(contract::kLogFatal, error);
        return std::nullopt;
    }
    if (layout->settings.outDwg.empty()) {
        logLine(contract::kLogFatal, "排版文件没有套料图路径");
        return std::nullopt;
    }
    if (!layoutGridMatches(layout->settings)) {
        logLine(contract::kLogFatal, "排版文件的网格与间距、边距不符");
        return std::nullopt;
    }
    const std::vector<contract::LayoutIssue> issues = contract::checkLayout(*layout);
    if (issues.empty()) return layout;
    for (std::size_t k = 0; k < issues.size() && k < kListedFaults; ++k)
        logLine(contract::kLogError, issues[k].message);
    std::string refusal = "排版未通过检查：" + issues.front().message;
    if (issues.size() > 1) refusal += " 等 " + std::to_string(issues.size()) + " 处";
    logLine(contract::kLogFatal, refusal);
    return std::nullopt;
}

// The host's current document when it is the drawing about to be replaced: closed now, so that
// opening it afterwards reads the new file instead of finding the old one open.
bool closeIfCurrent(host::Host& host, const std::string& drawingPath) {
    host::DocumentServices* ds = host.drawingServices();
    const host::DocumentId current = host.currentDocument();
    if (!ds || !current || host.documentFileName(current) != drawingPath) return false;
    return host::succeeded(ds->closeDocument(current));
}

}  // namespace

void runNestAdjust(host::Host& host, NestRuntime& runtime, const std::string& layoutPath) {
    const std::string logPath = tempFilePath(contract::kNestAdjustLogFile);
    bool expected = false;
    if (!runtime.nestJobActive().compare_exchange_strong(expected, true)) {
        // The nest log channel belongs to the running job: the refusal goes to this log alone.
        writeFileAtomically(
            logPath,
            contract::logEntry(contract::kLogFatal, "套料任务正在运行，请稍后再保存") + "\n");
        return;
    }
    setJobLogPath(LogChannel::Nest, logPath);
    resetJobLog(LogChannel::Nest);
    try {
        appendJobLog(LogChannel::Nest, "QKNESTADJUST 开始 " + layoutPath);
        if (const std::optional<contract::NestLayout> layout = checkedLayout(layoutPath)) {
            NestSession session;
            sessionFromLayout(*layout, session);
            // What the file keeps is what was drawn: sheets left empty are gone.
            contract::NestLayout kept = *layout;
            kept.sheets.clear();
            for (const contract::LayoutSheet& sheet : layout->sheets)
                if (!sheet.placements.empty()) kept.sheets.push_back(sheet);
            const bool reopen = closeIfCurrent(host, layout->settings.outDwg);
            writeNestOutput(host, session, &kept);
            host::DocumentServices* ds = host.drawingServices();
            if (reopen && ds) {
                std::string message;
                const host::DocumentId opened = ds->openDocument(layout->settings.outDwg, &message);
                if (opened) ds->makeDocumentCurrent(opened);
            }
        }
    } catch (...) {
        logLine(contract::kLogFatal, "无法写入套料图纸");
    }
    runtime.nestJobActive().store(false);
}

}  // namespace qks::nest
