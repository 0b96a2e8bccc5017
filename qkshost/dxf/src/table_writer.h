// The TABLES section: one table a symbol kind (the one active viewport, linetypes, layers,
// text styles, views and user coordinate systems empty, application ids, dimension styles,
// block records), erased records left out.
#pragma once

#include <string>
#include <vector>

#include "write_context.h"

namespace qkshost::dxf::detail {

class TableWriter {
  public:
    explicit TableWriter(WriteContext& ctx) : ctx_(ctx), o_(ctx.out), db_(ctx.db) {}

    void tables();

  private:
    void tableHead(const char* name, int slot, std::size_t count);
    void recordHead(const char* type, const SymbolRecord& r, int slot, const char* subclass);
    template <class T>
    std::vector<const T*> live(const std::vector<ObjectIndex>& table) {
        std::vector<const T*> v;
        for (ObjectIndex i : table)
            if (auto* r = db_.get<T>(i))
                if (!r->erased) v.push_back(r);
        return v;
    }
    std::string lineTypeName(ObjectIndex i, const char* fallback);

    WriteContext& ctx_;
    Out& o_;
    const Database& db_;
};

}  // namespace qkshost::dxf::detail
