// The nest job driver.
#include "qks/nest/job.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <system_error>

#include "extraction_options.h"
#include "part_names.h"
#include "qks/common/environment.h"
#include "qks/common/job_config.h"
#include "qks/common/job_log.h"
#include "qks/common/utf8.h"
#include "qks/contract/log_words.h"
#include "qks/contract/names.h"
#include "qks/contract/states.h"
#include "qks/host/drawing.h"
#include "qks/job/driver.h"
#include "qks/nest/locked_parts.h"
#include "qks/nest/parts_file.h"
#include "qks/nest/progress.h"
#include "qks/nest/session.h"
#include "qks/nest/stock_file.h"

namespace qks::nest {
namespace {

constexpr job::ChannelLog logLine{LogChannel::Nest};

void gatherFromFiles(host::DrawingServices& ds, NestSession& session) {
    std::int32_t nextId = 1;
    for (const std::string& path : session.config.files) {
        std::error_code error;
        // A path that cannot even be examined is treated as missing.
        if (!std::filesystem::exists(std::filesystem::u8path(path), error) || error) {
            logLine(contract::kLogWarning, "文件不存在 " + path);
            continue;
        }
        // The host reads any drawing content whatever the extension, so ".dxf" and the DWG
        // route differ only in name here; a real DWG file fails like any unreadable one.
        host::ScopedDatabase database(&ds, ds.createDatabase(false));
        std::string message;
        const host::Status read =
            database ? ds.readDrawingFile(database.get(), path, &message) : host::Status::Failed;
        if (!host::succeeded(read)) {
            logLine(contract::kLogWarning,
                    "读取失败 " + path + (read == host::Status::Encrypted ? " 图纸已加密" : ""));
            continue;
        }
        extractModelSpace(ds, database.get(), path, drawingStem(path),
                          extractionOptions(session.config), session.parts, nextId);
    }
    drawing::mergeIdenticalKinds(session.parts, session.config.rotate, session.config.mirror);
    if (session.parts.empty()) logLine(contract::kLogFatal, "没有找到可套料的闭合轮廓");
}

void gatherFromCurrent(host::Host& host, host::DrawingServices* ds, NestSession& session) {
    const host::DocumentId document = host.currentDocument();
    const host::DatabaseId database =
        document && ds ? ds->documentDatabase(document) : host::DatabaseId{};
    if (!database) {
        logLine(contract::kLogFatal, "没有当前图纸");
        return;
    }
    std::int32_t nextId = 1;
    const std::string name = currentDrawingPartName(host);
    extractModelSpace(*ds, database, {}, name, extractionOptions(session.config), session.parts,
                      nextId);
    drawing::mergeIdenticalKinds(session.parts, session.config.rotate, session.config.mirror);
    numberUnnamedKinds(session.parts, name);
    if (session.parts.empty())
        logLine(contract::kLogFatal, "当前图没有找到闭合轮廓（块或多段线需闭合）");
}

// Clears the job flag when the driver gives up before the worker runs.
struct ActiveGuard {
    std::atomic<bool>& active;
    bool keep = false;
    ~ActiveGuard() {
        if (!keep) active.store(false);
    }
};

}  // namespace

void runNestJob(host::Host& host, NestRuntime& runtime, const std::string& configPath) {
    bool expected = false;
    if (!runtime.nestJobActive().compare_exchange_strong(expected, true)) return;
    ActiveGuard guard{runtime.nestJobActive()};
    // A stop left from an earlier job is forgotten here, when this job takes the slot, not when
    // its worker starts: reading large drawings takes seconds, and a stop pressed meanwhile
    // belongs to this job.
    runtime.nestStopRequested().store(false);
    try {
        const std::string path = jobConfigPath(JobKind::Nest, configPath);
        const std::shared_ptr<NestSession> session = runtime.newSession();
        std::string message;
        if (!readNestConfig(path, session->config, message)) {
            setJobLogPath(LogChannel::Nest, tempFilePath(contract::kNestLogFile));
            resetJobLog(LogChannel::Nest);
            logLine(contract::kLogFatal, message);
            return;
        }
        const NestConfig& config = session->config;
        setJobLogPath(LogChannel::Nest,
                      config.log.empty() ? tempFilePath(contract::kNestLogFile) : config.log);
        resetJobLog(LogChannel::Nest);
        logLine("QKNEST 开始 source=" + config.source);

        host::DrawingServices* ds = host.drawingServices();
        const contract::PartSource source = contract::partSourceFromConfig(config.source);
        if (source == contract::PartSource::Picked) {
            const std::string partsPath = config.partsFile.empty()
                                              ? tempFilePath(contract::kNestPartsFile)
                                              : config.partsFile;
            if (!readPartsFile(partsPath, session->parts))
                logLine(contract::kLogFatal, "未找到框选结果，请先在图纸窗口中框选零件");
        } else if (source == contract::PartSource::Files) {
            if (ds)
                gatherFromFiles(*ds, *session);
            else
                logLine(contract::kLogFatal, "没有找到可套料的闭合轮廓");
        } else {
            gatherFromCurrent(host, ds, *session);
        }
        if (session->parts.empty()) {
            if (source == contract::PartSource::Picked)
                logLine(contract::kLogFatal, "框选结果为空");
            return;
        }

        applyPartCounts(config, session->parts);
        session->partsFilePath = tempFilePath(contract::kNestPartsFile);
        session->progressFilePath = tempFilePath(contract::kNestProgressFile);
        writePartsFile(session->partsFilePath, session->parts);
        removeUnwantedKinds(session->parts);
        if (session->parts.empty()) {
            logLine(contract::kLogFatal, "没有勾选需要套料的零件");
            return;
        }
        addStockPieces(ds, session->config, session->parts);
        if (!keepLockedParts(*session)) return;
        session->unplaced = 0;
        writeProgressFile(*session, Layout{}, contract::jobStateWord(contract::JobState::Running),
                          0.0, 0);
        logLine("NEST 零件种类=" + std::to_string(session->parts.size()));
        logLine("PARTS " + session->partsFilePath);

        runtime.setCurrentNestSession(session);
        if (!runtime.startNestWorker(session)) {
            logLine(contract::kLogFatal, "无法启动套料线程");
            runtime.clearCurrentNestSession(session);
            return;
        }
        guard.keep = true;
    } catch (...) {
        // Out of memory or a host failure: the job ends here and the slot is free again.
        runtime.setCurrentNestSession(nullptr);
    }
}

}  // namespace qks::nest
