// The TABLES section: layers, text styles, linetypes, block records, dimension styles and
// application ids into the database's symbol tables. Pointers between records (a layer's
// linetype, a dimension style's text style, a block record's layout) are left in the read
// context for the Reader to resolve once the whole file is read.
#pragma once

#include <memory>
#include <string>

#include "read_context.h"

namespace qkshost::dxf::detail {

class TableReader {
  public:
    explicit TableReader(ReadContext& ctx)
        : ctx_(ctx), in_(ctx.in), db_(ctx.db), tags_(ctx.in.record()) {}

    // After "2 TABLES": reads up to and including ENDSEC.
    void readTables();

  private:
    static int tableSlot(const std::string& name);
    bool recordCommon(SymbolRecord& r, const Tag& g, std::size_t& i);
    ObjectIndex addRecord(std::unique_ptr<SymbolRecord> r, ObjectIndex existing);
    void readLayer();
    void readStyle();
    void readLtype();
    void readBlockRecord();
    void readDimStyle();
    void readAppId();

    ReadContext& ctx_;
    TagCursor& in_;
    Database& db_;
    const std::vector<Tag>& tags_;
};

}  // namespace qkshost::dxf::detail
