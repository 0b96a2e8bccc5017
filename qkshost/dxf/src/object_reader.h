// The OBJECTS section: dictionaries (kept in the read context for the layout order) and
// layouts with their plot settings. Other objects are not modelled and are skipped.
#pragma once

#include "read_context.h"

namespace qkshost::dxf::detail {

class ObjectReader {
  public:
    explicit ObjectReader(ReadContext& ctx)
        : ctx_(ctx), in_(ctx.in), db_(ctx.db), tags_(ctx.in.record()) {}

    // After "2 OBJECTS": reads up to and including ENDSEC.
    void readObjects();

  private:
    void readDictionary();
    void readLayout();
    void plotSettingsGroup(PlotSettings& p, const Tag& g);
    void layoutGroup(Layout& l, const Tag& g, Handle& blockHandle);

    ReadContext& ctx_;
    TagCursor& in_;
    Database& db_;
    const std::vector<Tag>& tags_;
};

}  // namespace qkshost::dxf::detail
