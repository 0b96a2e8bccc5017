// The BLOCKS and ENTITIES sections: each block with its begin and end markers, and every
// entity through the writer of its family (curves, hatches, annotation); lines, arcs and the
// other kinds of a few groups, and entities kept as raw groups, are written here.
#pragma once

#include "annotation_writer.h"
#include "curve_writer.h"
#include "entity_common_writer.h"
#include "hatch_writer.h"

namespace qkshost::dxf::detail {

class EntityWriter {
  public:
    explicit EntityWriter(WriteContext& ctx)
        : ctx_(ctx),
          o_(ctx.out),
          db_(ctx.db),
          common_(ctx),
          curves_(ctx, common_),
          hatches_(ctx, common_),
          annotations_(ctx, common_, *this) {}
    EntityWriter(const EntityWriter&) = delete;
    EntityWriter& operator=(const EntityWriter&) = delete;

    void blocks();
    void entitiesSection();
    // One entity with its xdata (and what it owns); erased ones and non-entities write
    // nothing. `paper`: it lies in a paper-space block.
    void entity(ObjectIndex i, bool paper);

  private:
    WriteContext& ctx_;
    Out& o_;
    const Database& db_;
    EntityCommonWriter common_;
    CurveWriter curves_;
    HatchWriter hatches_;
    AnnotationWriter annotations_;
};

}  // namespace qkshost::dxf::detail
