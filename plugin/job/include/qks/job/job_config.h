// Where each job finds its config and its log. The configs themselves are the contract's
// (qks/contract/job_configs.h), read with pluginReadRules().
#pragma once

#include <string>
#include <string_view>

namespace qks {

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

// The job's log: the config's when it names one, else `fileName` in the temporary folder.
std::string jobLogPath(const std::string& configured, std::string_view fileName);

}  // namespace qks
