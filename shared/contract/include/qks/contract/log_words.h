// The words job log lines start with, where the Studio's log tail reads them: how a job ended
// and which drawings it wrote. A line is the word, one blank and the rest (logEntry).
#pragma once

#include <string>
#include <string_view>

namespace qks::contract {

// The job stopped without doing its work. Anywhere in a chunk of the log, it ends the job as
// failed for the Studio, even when a DONE follows.
inline constexpr std::string_view kLogFatal = "FATAL";
// The job's last line, with its counts.
inline constexpr std::string_view kLogDone = "DONE";
// One drawing, page or output failed; the job goes on.
inline constexpr std::string_view kLogError = "ERR";
// Something was assumed or skipped; the result is still written.
inline constexpr std::string_view kLogWarning = "WARN";
// A drawing a job opens, followed by its path ("当前图纸" for the host's current drawing never
// saved).
inline constexpr std::string_view kLogOpen = "OPEN";
// One drawing or page done; followed by a path, that of a written drawing when it is one.
inline constexpr std::string_view kLogOk = "OK";
// The merged drawing: "MERGED count=<n> dwg=<path written>".
inline constexpr std::string_view kLogMerged = "MERGED";
// A flat-blank drawing written by the BOM job, followed by its path.
inline constexpr std::string_view kLogBlank = "BLANK";
// The nest drawing written, followed by its path.
inline constexpr std::string_view kLogNestWritten = "NEST 已生成";
// The search is over and the output step draws the nest (common-line pass included): a line of
// its own, as that step can take a while after the last layout was published.
inline constexpr std::string_view kLogNestDrawing = "NEST 正在生成套料图";

// One log line: `word`, a blank, `rest`.
inline std::string logEntry(std::string_view word, std::string_view rest) {
    std::string line;
    line.reserve(word.size() + 1 + rest.size());
    line.append(word).append(1, ' ').append(rest);
    return line;
}

}  // namespace qks::contract
