// Entity records of the curve family: lines, circles and arcs, ellipses, light and heavy
// polylines (with their vertices), splines, points and solids.
#pragma once

#include "entity_common.h"

namespace qkshost::dxf::detail {

class CurveReader {
  public:
    CurveReader(ReadContext& ctx, EntityCommonReader& common)
        : in_(ctx.in), db_(ctx.db), common_(common), tags_(ctx.in.record()) {}

    // Each reads the entity record in the cursor's record() into `block` (0: the record's
    // space).
    void line(ObjectIndex block);
    void circle(ObjectIndex block, bool arc);
    void ellipse(ObjectIndex block);
    void lwpolyline(ObjectIndex block);
    void polyline(ObjectIndex block);
    void spline(ObjectIndex block);
    void point(ObjectIndex block);
    void solid(ObjectIndex block);

  private:
    TagCursor& in_;
    Database& db_;
    EntityCommonReader& common_;
    const std::vector<Tag>& tags_;
};

}  // namespace qkshost::dxf::detail
