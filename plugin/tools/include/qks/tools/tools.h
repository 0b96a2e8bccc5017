// The 标注清理 drawing-tools job (QKTOOLS, and "TOOLS <config>" over the bridge): clean-up,
// layer rules, areas, attribute extraction, dimensions, hole dimensions, balloons and corner
// rounding, run in the order the config names them. Drawing files are never changed: each
// result is a new drawing "<stem>_整理.dxf"; the current drawing is changed in memory.
//
// Threads: main thread, in application context. Reports on its own log channel; never throws.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qks/contract/config_keys.h"
#include "qks/contract/job_configs.h"
#include "qks/contract/tools.h"
#include "qks/host/host.h"

namespace qks::tools {

using Operation = contract::ToolOperation;

// The config as the contract reads it: files, currentDrawing, outDir and log as every drawing
// job's; bad values keep the default and add a problem.
using ToolsConfig = contract::ToolsJobConfig;

void runToolsJob(host::Host& host, const std::string& configPathFromBridge);

}  // namespace qks::tools
