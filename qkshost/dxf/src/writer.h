// The DXF writer: AC1032, UTF-8, with the structure other programs expect (HEADER, CLASSES,
// TABLES, BLOCKS, ENTITIES, OBJECTS with the root dictionary, ACAD_GROUP, ACAD_LAYOUT and
// LAYOUT objects linked both ways with their block records). Numbers use the shortest text
// that reads back to the same double. It writes the HEADER and CLASSES sections itself; the
// others have their writers, all writing through one write context.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "entity_writer.h"
#include "object_writer.h"
#include "table_writer.h"
#include "write_context.h"

namespace qkshost::dxf::detail {

class Writer {
  public:
    // With a sink, the text goes out in pieces of about a megabyte instead of one string.
    Writer(const Database& db, std::string& s,
           const std::function<bool(std::string_view)>* sink = nullptr)
        : ctx_(db, s, sink),
          o_(ctx_.out),
          db_(db),
          tables_(ctx_),
          entities_(ctx_),
          objects_(ctx_) {}
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // False when the sink refused a piece.
    bool run() {
        ctx_.ext = db_.extents();
        ctx_.assignHandles();
        header();
        classes();
        tables_.tables();
        entities_.blocks();
        entities_.entitiesSection();
        objects_.objects();
        o_.str(0, "EOF");
        ctx_.flush(true);
        return ctx_.ok;
    }

  private:
    void header();
    std::string nameOf(ObjectIndex i, const char* fallback);
    void classes();

    WriteContext ctx_;
    Out& o_;
    const Database& db_;
    TableWriter tables_;
    EntityWriter entities_;
    ObjectWriter objects_;
};

}  // namespace qkshost::dxf::detail
