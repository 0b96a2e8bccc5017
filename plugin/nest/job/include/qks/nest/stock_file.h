// The job's stock drawing: its closed outlines become irregular stock pieces, placed before the
// sheets of the config.
#pragma once

#include <vector>

#include "qks/host/drawing.h"
#include "qks/nest/config.h"
#include "qks/nest/part.h"

namespace qks::nest {

// Reads config.stockFile (when set) with the part extraction and puts one stock piece per closed
// outline, its holes as defects, in front of config.sheets, in the order the extraction finds
// them (the drawing's entity order). A drawing that cannot be read or holds no closed outline
// leaves the sheets as they are, with a WARN line in the nest log; so do pieces on which none of
// `parts` finds room (the stock-first fill places nothing there). Returns the pieces added.
std::size_t addStockPieces(host::DrawingAccess* ds, NestConfig& config,
                           const std::vector<NestPart>& parts);

}  // namespace qks::nest
