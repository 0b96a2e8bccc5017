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

enum class JobKind { Plot, PlotFiles, Merge, Nest, Bom, Tools };

// The config a job reads. Plot: always "qks_plot.cfg" in the temporary folder. The others:
// the path that came over the bridge when not empty, then (plot-files) $QKS_PLOT_CFG or
// (merge) $QKS_MERGE_CFG when not empty, then "qks_plot_files.cfg", "qks_merge.cfg" or
// "qks_nest.cfg" in the temporary folder; the BOM job: the bridge's path, then $QKS_BOM_CFG,
// then "qks_bom.cfg"; the drawing tools likewise with $QKS_TOOLS_CFG and "qks_tools.cfg". Whether
// the file exists is found out by reading it.
std::string jobConfigPath(JobKind kind, const std::string& bridgePath);

// The log a job resets and writes its one FATAL line to when its config cannot be read.
std::string fallbackJobLogPath(JobKind kind);

// Reads `path` into `config`, which the caller constructed with the defaults. Keys are exact
// bytes (not trimmed); values are trimmed of code points <= U+0020. Unknown keys and lines
// without '=' are skipped. Fails only when the file cannot be opened; `message` then reads
// "读取配置失败: " followed by the path.
bool readJobConfig(const std::string& path, PlotMergeConfig& config, std::string& message);

// The keys every job over a list of drawings shares: file (one per drawing or folder), scope
// (current: the current drawing), outDir and log. Takes the line and returns true when its
// key is one of them.
struct DrawingJobInputs {
    std::vector<std::string> files;
    bool currentDrawing = false;
    std::string outDir;
    std::string log;
};
bool takeDrawingJobKey(std::string_view key, const std::string& value, DrawingJobInputs& inputs);

// The same rules on bytes already in memory (never fails).
void parseJobConfig(std::string_view bytes, PlotMergeConfig& config);

}  // namespace qks
