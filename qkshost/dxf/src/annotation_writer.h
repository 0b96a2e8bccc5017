// Written entities of the annotation family: texts and attributes, multiline texts, block
// references (with their attributes and SEQEND), dimensions, and paper-space viewports.
#pragma once

#include <string>

#include "entity_common_writer.h"

namespace qkshost::dxf::detail {

class EntityWriter;

class AnnotationWriter {
  public:
    // `entities` writes an insert's attributes, as any entity.
    AnnotationWriter(WriteContext& ctx, EntityCommonWriter& common, EntityWriter& entities)
        : o_(ctx.out), db_(ctx.db), common_(common), entities_(entities) {}

    void text(const TextBase& t, bool paper);
    void mtext(const MText& m, bool paper);
    void insert(const BlockReference& r, bool paper);
    void dimension(const Dimension& d, bool paper);
    void viewport(const Viewport& v, bool paper);

  private:
    std::string styleName(ObjectIndex s);

    Out& o_;
    const Database& db_;
    EntityCommonWriter& common_;
    EntityWriter& entities_;
};

}  // namespace qkshost::dxf::detail
