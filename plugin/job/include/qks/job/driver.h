// The job driver the plot, plot-files, merge, BOM and drawing-tools jobs share: the config
// read (with the FATAL line in the fallback log when it cannot be), the job's own log
// started, each drawing handed to the job's step with the tally kept and no exception leaving
// the job, and the DONE line. The per-drawing work stays in each job.
//
// Threads: the thread the job runs on; lines go to the job's log channel.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qks/common/job_log.h"
#include "qks/host/drawing.h"
#include "qks/host/host.h"
#include "qks/job/job_config.h"
#include "qks/job/read_rules.h"

namespace qks::job {

// What a job counts for its DONE line: drawings, or pages for the plot jobs.
struct Tally {
    std::int32_t total = 0;
    std::int32_t ok = 0;
    std::int32_t fail = 0;
};

// Appends "<word> <rest>" to the channel's log.
void log(LogChannel channel, std::string_view word, std::string_view rest);

// A job's log, bound to its channel: `log(line)` appends a line as it is, `log(word, rest)` a
// "<word> <rest>" entry.
struct ChannelLog {
    LogChannel channel;
    void operator()(std::string_view line) const { appendJobLog(channel, line); }
    void operator()(std::string_view word, std::string_view rest) const {
        job::log(channel, word, rest);
    }
};

// Reads the job's config file into `bytes`. When `path` is empty or cannot be read, the job
// kind's fallback log is reset and gets one FATAL line: `failure`, or "读取配置失败: <path>"
// when that is empty. False then, and the job ends.
bool readConfig(JobKind kind, LogChannel channel, const std::string& path, std::string& bytes,
                std::string_view failure = {});

// Points the channel at the log the config names and empties it.
void startLog(LogChannel channel, const std::string& path);

// A job's start: its config file (jobConfigPath) read as readConfig does, parsed by `read`
// (a contract reader) under the plug-in's rules, and the job's log (the record's `log`, else
// `defaultLog` in the temporary folder) started. Empty when the config cannot be read; the
// FATAL line is then written.
template <class Read>
auto startJob(JobKind kind, LogChannel channel, const std::string& bridgePath, Read read,
              std::string_view defaultLog, std::string_view failure = {})
    -> std::optional<decltype(read(std::string_view(), pluginReadRules()))> {
    std::string text;
    if (!readConfig(kind, channel, jobConfigPath(kind, bridgePath), text, failure))
        return std::nullopt;
    auto config = read(text, pluginReadRules());
    startLog(channel, jobLogPath(config.log, defaultLog));
    return config;
}

// One drawing of the job: the host's current drawing, or a file of the config's list.
struct Drawing {
    bool current = false;
    std::string path;  // empty for the current drawing
};

// The current drawing first when the config asks for it, then the files in order.
std::vector<Drawing> drawingList(bool currentDrawing, const std::vector<std::string>& files);

// What became of one drawing. Ok and Failed count it as one of the tally; Counted: the step
// counted what it did itself (the plot jobs count pages); Stop: as Counted, and no further
// drawing is stepped.
enum class Outcome { Ok, Failed, Counted, Stop };
using Step = std::function<Outcome(const Drawing& drawing, Tally& tally)>;

// Steps through the drawings in order. An exception from a step (out of memory on a huge
// drawing) ends the loop with "ERR 处理图纸时内存不足" and that drawing counted as failed, so
// the job still writes what it has and its DONE line; false then.
bool forEachDrawing(LogChannel channel, const std::vector<Drawing>& drawings, const Step& step,
                    Tally& tally);

// "DONE total=<n> ok=<n> fail=<n>" followed by `more` (" dir=...", " rows=...").
void logDone(LogChannel channel, const Tally& tally, std::string_view more = {});

// The host's current drawing for a step: its database (null after "ERR 没有当前图纸") and
// its file path (empty when never saved), "OPEN <path>" or "OPEN 当前图纸" logged.
struct CurrentDrawing {
    host::DatabaseId database;
    std::string path;
};
CurrentDrawing openCurrentDrawing(host::Host& host, host::DrawingAccess& ds, LogChannel channel);

// A drawing file of the list read into a new database, after "OPEN <path>". Empty after
// "ERR 文件不存在 <path>" or "ERR 无法读取 <path> <reason>" (an encrypted drawing says so).
host::ScopedDatabase readDrawing(host::DrawingAccess& ds, LogChannel channel,
                                 const std::string& path);

// A drawing opened for a step: the host's current one, or a file of the list read into a
// database that lives while the step runs.
struct OpenDrawing {
    host::DatabaseId database;
    std::string path;  // empty for a current drawing never saved
    bool current = false;
};
using OpenStep = std::function<Outcome(const OpenDrawing& drawing, Tally& tally)>;

// forEachDrawing over opened drawings: each is opened as openCurrentDrawing or readDrawing do
// (with their OPEN and ERR lines), one that cannot be counts as failed, and the step gets the
// rest.
bool forEachOpenDrawing(host::Host& host, host::DrawingAccess& ds, LogChannel channel,
                        const std::vector<Drawing>& drawings, const OpenStep& step, Tally& tally);

}  // namespace qks::job
