// The DXF reader: one pass over the tags of a file into an empty database. It reads the file
// and its header and settles, at the end, what the sections left pending in the read context;
// each other section has its reader (tables, blocks, entities by family, objects), all reading
// through one tag cursor.
#pragma once

#include <string_view>

#include "block_reader.h"
#include "entity_reader.h"
#include "object_reader.h"
#include "read_context.h"
#include "table_reader.h"

namespace qkshost::dxf::detail {

class Reader {
  public:
    Reader(Database& db, std::string_view data)
        : ctx_(db, data),
          in_(ctx_.in),
          db_(db),
          tables_(ctx_),
          entities_(ctx_),
          blocks_(ctx_, entities_),
          objects_(ctx_) {}
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // `bytes`: the file's size, to reserve the database's object table.
    ReadResult run(std::size_t bytes);

  private:
    void readFile();
    void readHeader();
    void setCoord(Point3d& p, const Tag& t);

    void finish();
    void resolvePointers();
    void resolveLayouts();
    void setCurrentRecords();
    void reserveMarkerHandles();

    ReadContext ctx_;
    TagCursor& in_;
    Database& db_;
    TableReader tables_;
    EntityReader entities_;
    BlockReader blocks_;
    ObjectReader objects_;
};

}  // namespace qkshost::dxf::detail
