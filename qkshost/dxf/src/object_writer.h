// The OBJECTS section: the root dictionary, the group, layout and plot style dictionaries,
// and the layouts with their plot settings, each linked to its block record.
#pragma once

#include "write_context.h"

namespace qkshost::dxf::detail {

class ObjectWriter {
  public:
    explicit ObjectWriter(WriteContext& ctx) : ctx_(ctx), o_(ctx.out), db_(ctx.db) {}

    void objects();

  private:
    void reactors(Handle owner);
    void dictionaryHead(Handle hd);
    void layout(const Layout& l);

    WriteContext& ctx_;
    Out& o_;
    const Database& db_;
};

}  // namespace qkshost::dxf::detail
