// The job-log channels. Each channel has a process-wide current path that a job sets
// before resetting the log; the Studio tails the file while the plug-in appends to it.
//
// Threads: any thread may append; setting the path, resetting and appending take one lock per
// channel, so a path never changes in the middle of an append.
#pragma once

#include <string>
#include <string_view>

namespace qks {

enum class LogChannel {
    Plot,   // plot, plot-files and merge jobs; lines end in CR LF
    Nest,   // nest job, nest pick and the nest output step; lines end in LF
    Bom,    // the BOM job; lines end in CR LF as the plot jobs' do
    Tools,  // the drawing-tools job; CR LF
};

void setJobLogPath(LogChannel channel, std::string path);
std::string jobLogPath(LogChannel channel);

// Truncates (creating if missing) the channel's current file. Nothing happens when the path
// is empty.
void resetJobLog(LogChannel channel);

// Appends `line` and the channel's line end in one write and closes the file again, so a
// reader never sees a file held open between lines. Nothing happens when the path is empty;
// a file that cannot be opened loses the line silently. Line breaks inside `line` become
// blanks (a file name with a line feed must not forge a second log line) and bad UTF-8
// becomes U+FFFD.
void appendJobLog(LogChannel channel, std::string_view line);

}  // namespace qks
