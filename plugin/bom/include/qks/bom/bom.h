// The 钣金 BOM job (QKBOM, and "BOM <config>" over the bridge): part lists with weights, cut
// lengths and pierces from the drawings' title blocks and cut geometry, flat blanks of bent
// parts, the utilisation of a finished nest, and delivery packages; one workbook.
//
// Threads: main thread, in application context (it reads drawings through the host). It
// reports on its own log channel and never throws.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "qks/common/job_config.h"
#include "qks/contract/bom.h"
#include "qks/host/host.h"

namespace qks::bom {

struct RowEdit {
    std::string material;    // empty: keep
    double thickness = 0.0;  // 0: keep
    int quantity = 0;        // 0: keep
};

// files, currentDrawing, outDir and log (never empty after reading) as every drawing job's.
struct BomConfig : DrawingJobInputs {
    std::string workbook = std::string(contract::kDefaultBomWorkbook);
    bool csv = false;
    bool package = false;
    bool zip = false;
    std::vector<std::string> profileLayerWords;  // lower case
    double profileWidth = contract::kDefaultProfileWidth;
    std::string nestFolder;
    std::vector<contract::Material> materials;  // the config's, else the defaults
    std::string defaultMaterial = std::string(contract::kDefaultMaterial);
    double defaultThickness = contract::kDefaultThickness;
    double defaultRadius = contract::kDefaultBendRadius;
    std::map<std::string, RowEdit> edits;  // by row key
    std::vector<std::string> problems;     // lines refused, for WARN lines
};

// The config's lines over the defaults. Bad values keep the default and add a problem.
BomConfig parseBomConfig(std::string_view text);

// The material of that name (ASCII case ignored), or null.
const contract::Material* findMaterial(const BomConfig& config, const std::string& name);

void runBomJob(host::Host& host, const std::string& configPathFromBridge);

}  // namespace qks::bom
