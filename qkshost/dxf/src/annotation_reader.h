// Entity records of the annotation family: texts and attribute definitions, multiline texts,
// block references (with the attributes that follow them) and dimensions.
#pragma once

#include <memory>

#include "entity_common.h"

namespace qkshost::dxf::detail {

class AnnotationReader {
  public:
    AnnotationReader(ReadContext& ctx, EntityCommonReader& common)
        : ctx_(ctx), in_(ctx.in), db_(ctx.db), common_(common) {}

    // Each reads the entity record in the cursor's record() into `block` (0: the record's
    // space).
    void text(ObjectIndex block);
    void attributeDefinition(ObjectIndex block);
    void mtext(ObjectIndex block);
    // Also reads the ATTRIB records and SEQEND that follow the INSERT.
    void insert(ObjectIndex block);
    void dimension(ObjectIndex block);

  private:
    template <class T>
    std::unique_ptr<T> parseText(CommonGroups& c);
    template <class T>
    void placeText(ObjectIndex block);
    static Vector3d cross(const Vector3d& a, const Vector3d& b);
    static Vector3d ocsXAxis(const Vector3d& n);

    ReadContext& ctx_;
    TagCursor& in_;
    Database& db_;
    EntityCommonReader& common_;
};

}  // namespace qkshost::dxf::detail
