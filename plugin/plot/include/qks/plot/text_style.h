// The text style of what the plug-in writes into drawings: a TrueType font with Chinese glyphs,
// so labels read the same in every program and in our own PDFs.
#pragma once

#include <string_view>

#include "qks/host/drawing.h"

namespace qks::plot {

// The style `name` of the drawing, made with SimSun (GB2312) when missing; null on failure.
host::ObjectId ensureChineseTextStyle(host::DrawingServices& ds, host::DatabaseId database,
                                      std::string_view name);

}  // namespace qks::plot
