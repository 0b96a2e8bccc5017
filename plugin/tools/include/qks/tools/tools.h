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

#include "qks/common/job_config.h"
#include "qks/contract/config_keys.h"
#include "qks/contract/tools.h"
#include "qks/host/host.h"

namespace qks::tools {

enum class Operation { Clean, Layers, Area, Attributes, Dimensions, Holes, Balloons, Corners };

// files, currentDrawing, outDir and log (never empty after reading) as every drawing job's.
struct ToolsConfig : DrawingJobInputs {
    std::vector<Operation> operations;
    double joinTolerance = contract::kDefaultJoinTolerance;  // mm
    double shortLength = contract::kDefaultShortLength;      // mm
    bool explode = false;
    double radius = 0.0;   // mm; corners: a fillet when > 0
    double chamfer = 0.0;  // mm; corners: a chamfer when > 0 and no radius
    bool areaLabels = false;
    double textHeight = contract::kDefaultAnnotationTextHeight;
    std::vector<contract::LayerRule> rules;  // the config's, else the defaults
    std::string workbook = std::string(contract::kDefaultToolsWorkbook);
    std::vector<std::string> problems;  // lines refused, for WARN lines
};

ToolsConfig parseToolsConfig(std::string_view text);

void runToolsJob(host::Host& host, const std::string& configPathFromBridge);

}  // namespace qks::tools
