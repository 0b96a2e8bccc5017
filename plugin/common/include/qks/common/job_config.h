// The job config shared by the plot, plot-files and merge jobs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qks {

// Defaults are the values a job uses for keys its config leaves out.
struct PlotMergeConfig {
    std::string outDir;
    std::string prefix;
    std::string style;
    std::string log;  // after reading: never empty (falls back to the temporary "qks_plot.log")
    std::string scope = "all";
    std::string mode = "batch";
    std::string outDwg;
    std::vector<std::string> files;
    std::int32_t columns = 3;
    double spacing = 0.12;
    bool pdf = false;
    bool currentScope = false;
};

// Reads `path` into `config`, which the caller constructed with the defaults. Keys are exact
// bytes (not trimmed); values are trimmed of code points <= U+0020. Unknown keys and lines
// without '=' are skipped. Fails only when the file cannot be opened; `message` then reads
// "读取配置失败: " followed by the path.
bool readJobConfig(const std::string& path, PlotMergeConfig& config, std::string& message);

// The same rules on bytes already in memory (never fails).
void parseJobConfig(std::string_view bytes, PlotMergeConfig& config);

}  // namespace qks
