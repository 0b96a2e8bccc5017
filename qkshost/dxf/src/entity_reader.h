// Entity records, in the ENTITIES section or inside a block: each record goes to the reader
// of its family (curves, annotation, hatches); viewports and kinds the kernel does not model
// are read here, the latter kept as raw groups and written back as read.
#pragma once

#include <string>

#include "annotation_reader.h"
#include "curve_reader.h"
#include "entity_common.h"
#include "hatch_reader.h"

namespace qkshost::dxf::detail {

class EntityReader {
  public:
    explicit EntityReader(ReadContext& ctx)
        : ctx_(ctx),
          in_(ctx.in),
          common_(ctx),
          curves_(ctx, common_),
          annotations_(ctx, common_),
          hatches_(ctx, common_) {}
    EntityReader(const EntityReader&) = delete;
    EntityReader& operator=(const EntityReader&) = delete;

    // After "2 ENTITIES": reads up to and including ENDSEC.
    void readEntities();
    // After the "0 TYPE" tag `head` of an entity: reads it into `block` (0: the record's
    // space).
    void readEntity(const Tag& head, ObjectIndex block);

  private:
    void viewport(ObjectIndex block);
    void unknown(std::string type, ObjectIndex block);

    ReadContext& ctx_;
    TagCursor& in_;
    EntityCommonReader common_;
    CurveReader curves_;
    AnnotationReader annotations_;
    HatchReader hatches_;
};

}  // namespace qkshost::dxf::detail
