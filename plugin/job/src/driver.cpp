#include "qks/job/driver.h"

#include "qks/common/file_io.h"
#include "qks/contract/log_words.h"

namespace qks::job {

void log(LogChannel channel, std::string_view word, std::string_view rest) {
    appendJobLog(channel, contract::logEntry(word, rest));
}

bool readConfig(JobKind kind, LogChannel channel, const std::string& path, std::string& bytes,
                std::string_view failure) {
    if (!path.empty() && readFileBytes(path, bytes)) return true;
    setJobLogPath(channel, fallbackJobLogPath(kind));
    resetJobLog(channel);
    log(channel, contract::kLogFatal,
        failure.empty() ? "读取配置失败: " + path : std::string(failure));
    return false;
}

void startLog(LogChannel channel, const std::string& path) {
    setJobLogPath(channel, path);
    resetJobLog(channel);
}

std::vector<Drawing> drawingList(bool currentDrawing, const std::vector<std::string>& files) {
    std::vector<Drawing> drawings;
    drawings.reserve(files.size() + 1);
    if (currentDrawing) drawings.push_back({true, {}});
    for (const std::string& path : files)
        drawings.push_back({false, path});
    return drawings;
}

bool forEachDrawing(LogChannel channel, const std::vector<Drawing>& drawings, const Step& step,
                    Tally& tally) {
    for (const Drawing& drawing : drawings) {
        try {
            switch (step(drawing, tally)) {
                case Outcome::Ok:
                    ++tally.total;
                    ++tally.ok;
                    break;
                case Outcome::Failed:
                    ++tally.total;
                    ++tally.fail;
                    break;
                case Outcome::Counted:
                    break;
                case Outcome::Stop:
                    return true;
            }
        } catch (...) {
            // Out of memory on a huge drawing: the rest of the job still reports.
            // The drawing whose step threw is one failed item.
            log(channel, contract::kLogError, "处理图纸时内存不足");
            ++tally.total;
            ++tally.fail;
            return false;
        }
    }
    return true;
}

void logDone(LogChannel channel, const Tally& tally, std::string_view more) {
    std::string rest = "total=" + std::to_string(tally.total) + " ok=" + std::to_string(tally.ok) +
                       " fail=" + std::to_string(tally.fail);
    rest.append(more);
    log(channel, contract::kLogDone, rest);
}

CurrentDrawing openCurrentDrawing(host::Host& host, host::DrawingAccess& ds, LogChannel channel) {
    CurrentDrawing current;
    const host::DocumentId document = host.currentDocument();
    current.database = document ? ds.documentDatabase(document) : host::DatabaseId{};
    if (!current.database) {
        log(channel, contract::kLogError, "没有当前图纸");
        return current;
    }
    current.path = host.documentFileName(document);
    appendJobLog(channel, contract::logEntry(contract::kLogOpen,
                                             current.path.empty() ? "当前图纸" : current.path));
    return current;
}

host::ScopedDatabase readDrawing(host::DrawingAccess& ds, LogChannel channel,
                                 const std::string& path) {
    appendJobLog(channel, contract::logEntry(contract::kLogOpen, path));
    if (!isRegularFile(path)) {
        log(channel, contract::kLogError, "文件不存在 " + path);
        return {};
    }
    host::ScopedDatabase database(&ds, ds.createDatabase(false));
    std::string message;
    const host::Status read =
        database ? ds.readDrawingFile(database.get(), path, &message) : host::Status::Failed;
    if (host::succeeded(read)) return database;
    // An encrypted drawing is said to be one: the host's own words would only say it could
    // not be read.
    if (read == host::Status::Encrypted) message = "图纸已加密";
    log(channel, contract::kLogError, "无法读取 " + path + (message.empty() ? "" : " " + message));
    return {};
}

bool forEachOpenDrawing(host::Host& host, host::DrawingAccess& ds, LogChannel channel,
                        const std::vector<Drawing>& drawings, const OpenStep& step, Tally& tally) {
    const auto open = [&](const Drawing& drawing, Tally& counted) {
        if (drawing.current) {
            const CurrentDrawing current = openCurrentDrawing(host, ds, channel);
            if (!current.database) return Outcome::Failed;
            return step({current.database, current.path, true}, counted);
        }
        const host::ScopedDatabase database = readDrawing(ds, channel, drawing.path);
        if (!database) return Outcome::Failed;
        return step({database.get(), drawing.path, false}, counted);
    };
    return forEachDrawing(channel, drawings, open, tally);
}

}  // namespace qks::job
