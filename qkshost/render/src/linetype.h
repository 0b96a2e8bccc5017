// Line patterns of linetypes and hatch pattern lines.
#pragma once

#include <vector>

#include "qkshost/drawing/database.h"
#include "qkshost/pdf/display_list.h"

namespace qkshost::render::detail {

// The dash pattern of pattern elements as the drawing stores them (positive: a dash of that
// length, negative: a gap, zero: a dot), every length multiplied by `scale`. No lengths when
// the elements draw solid (none, only dashes, only gaps).
pdf::DashPattern dashPattern(const std::vector<double>& elements, double scale);
pdf::DashPattern dashPattern(const drawing::LinetypeRecord& linetype, double scale);

}  // namespace qkshost::render::detail
