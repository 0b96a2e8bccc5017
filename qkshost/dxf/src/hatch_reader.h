// HATCH entity records: the raw groups kept for writing back, and the boundary loops and
// pattern parsed into the kernel's structure for drawing.
#pragma once

#include <vector>

#include "entity_common.h"

namespace qkshost::dxf::detail {

class HatchReader {
  public:
    HatchReader(ReadContext& ctx, EntityCommonReader& common) : in_(ctx.in), common_(common) {}

    // Reads the HATCH record in the cursor's record() into `block` (0: the record's space).
    void hatch(ObjectIndex block);

  private:
    void parseHatch(Hatch& e, const CommonGroups& c);
    static bool endsHatchPath(int code);
    void hatchPolylineLoop(const std::vector<const Tag*>& tags, std::size_t& i, HatchLoop& loop);
    void hatchEdgeLoop(const std::vector<const Tag*>& tags, std::size_t& i, HatchLoop& loop,
                       Point3d& p10, Point3d& p11, double& r, double& a0, double& a1);
    void hatchPattern(const std::vector<const Tag*>& tags, std::size_t i, Hatch& e);

    TagCursor& in_;
    EntityCommonReader& common_;
};

}  // namespace qkshost::dxf::detail
