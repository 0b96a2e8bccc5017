// Drawing frames in model space: block references whose block name, and closed four-vertex
// polylines whose layer name, contain a frame keyword; titled from their title-block
// attributes; duplicates dropped; in reading order (rows top to bottom, left to right).
#pragma once

#include <string>
#include <vector>

#include "qks/host/drawing.h"
#include "qks/plot/engine.h"

namespace qks::plot {

std::vector<PlotWindow> findFrames(host::DrawingServices& ds, host::DatabaseId database);
bool isFrameName(const std::string& name);
// The first attribute whose tag is a title tag and whose trimmed text is not empty.
std::string readTitleAttribute(host::DrawingServices& ds, host::ObjectId reference);

}  // namespace qks::plot
