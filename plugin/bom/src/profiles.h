// Bend profiles in a drawing: open chains of lines and arcs on profile layers, as segments in
// millimetres.
#pragma once

#include <vector>

#include "qks/bom/sheet_metal.h"
#include "qks/host/drawing.h"

namespace qks::bom {

// Chains the curves among `entities` (lines, arcs, open polylines with arcs) end to end;
// `scale` is millimetres per drawing unit. Closed curves are not profiles and are skipped.
std::vector<std::vector<ProfileSegment>> readProfiles(host::DrawingServices& ds,
                                                      const std::vector<host::ObjectId>& entities,
                                                      double scale);

}  // namespace qks::bom
