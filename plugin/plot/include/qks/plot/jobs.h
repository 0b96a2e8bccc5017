// The batch plot jobs: QKPLOT (the current drawing) and plot-files (a list of drawings), both
// through plotDatabase, reporting on the plot log channel.
//
// Threads: main thread; plot-files in application context (it opens and closes documents).
#pragma once

#include <string>

#include "qks/common/job_config.h"
#include "qks/drawing/naming.h"
#include "qks/host/host.h"
#include "qks/plot/engine.h"

namespace qks::plot {

void runPlotJob(host::Host& host);
void runPlotFilesJob(host::Host& host, const std::string& configPath);
void plotDatabase(host::DrawingServices& ds, const PlotSession& session, host::DatabaseId database,
                  const PlotMergeConfig& config, const std::string& label,
                  drawing::NameCounts& counts, PlotTally& tally);
void logPlotSummary(const PlotTally& tally, const PlotMergeConfig& config);

}  // namespace qks::plot
