// The BLOCKS section: each block's header into its block record (made here when the tables
// did not list it), its entities through the entity reader, and the handles of its begin and
// end markers. A name defined twice gets its second set of entities under a fresh name.
#pragma once

#include <unordered_map>

#include "entity_reader.h"

namespace qkshost::dxf::detail {

class BlockReader {
  public:
    BlockReader(ReadContext& ctx, EntityReader& entities)
        : ctx_(ctx), in_(ctx.in), db_(ctx.db), tags_(ctx.in.record()), entities_(entities) {}

    // After "2 BLOCKS": reads up to and including ENDSEC.
    void readBlocks();

  private:
    ReadContext& ctx_;
    TagCursor& in_;
    Database& db_;
    const std::vector<Tag>& tags_;
    EntityReader& entities_;
    std::unordered_map<ObjectIndex, bool> blocksSeen_;
    int duplicates_ = 0;  // blocks renamed for a name defined twice
};

}  // namespace qkshost::dxf::detail
