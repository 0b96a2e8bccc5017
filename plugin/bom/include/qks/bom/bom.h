// The 钣金 BOM job (QKBOM, and "BOM <config>" over the bridge): part lists with weights, cut
// lengths and pierces from the drawings' title blocks and cut geometry, flat blanks of bent
// parts, the utilisation of a finished nest, and delivery packages; one workbook.
//
// Threads: main thread, in application context (it reads drawings through the host). It
// reports on its own log channel and never throws.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qks/contract/bom.h"
#include "qks/contract/job_configs.h"
#include "qks/host/host.h"

namespace qks::bom {

// The config as the contract reads it: files, currentDrawing, outDir and log as every drawing
// job's; bad values keep the default and add a problem.
using BomConfig = contract::BomJobConfig;

// The material of that name (ASCII case ignored), or null.
const contract::Material* findMaterial(const BomConfig& config, const std::string& name);

void runBomJob(host::Host& host, const std::string& configPathFromBridge);

}  // namespace qks::bom
