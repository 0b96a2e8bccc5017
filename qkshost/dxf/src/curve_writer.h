// Written entities of the curve family with more than a few groups of their own: light and
// heavy polylines (with their vertices) and splines. Lines, arcs and the other short kinds
// are written by the EntityWriter itself.
#pragma once

#include "entity_common_writer.h"

namespace qkshost::dxf::detail {

class CurveWriter {
  public:
    CurveWriter(WriteContext& ctx, EntityCommonWriter& common)
        : o_(ctx.out), db_(ctx.db), common_(common) {}

    void lwpolyline(const LwPolyline& p, bool paper);
    // With its vertices and SEQEND, each with its xdata.
    void polyline(const Polyline& p, bool paper);
    void spline(const Spline& s, bool paper);

  private:
    Out& o_;
    const Database& db_;
    EntityCommonWriter& common_;
};

}  // namespace qkshost::dxf::detail
