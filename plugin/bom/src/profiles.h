// Bend profiles in a drawing: open chains of lines and arcs on profile layers, as segments in
// millimetres.
#pragma once

#include <vector>

#include "qks/bom/sheet_metal.h"
#include "qks/host/drawing.h"

namespace qks::bom {

struct Profile {
    std::vector<ProfileSegment> segments;
    std::vector<host::ObjectId> entities;  // the curves it was chained from
};

// Chains the curves among `entities` (lines, arcs, open polylines with arcs) end to end;
// `scale` is millimetres per drawing unit. Only open chains are profiles: closed curves and
// chains that close are outlines (CAM programs name their cut layers "…PROFILES").
std::vector<Profile> readProfiles(host::DrawingAccess& ds,
                                  const std::vector<host::ObjectId>& entities, double scale);

}  // namespace qks::bom
