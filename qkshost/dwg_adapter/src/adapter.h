// The DWG adapter: fills the drawing database from the decoded records, as the DXF reader fills
// it from the DXF twin. Its parts are split by object family (adapter.cpp: the entry points,
// the header and the final links; adapter_tables.cpp: symbol tables and blocks;
// adapter_entities.cpp: placing entities with what they own; adapter_objects.cpp: layouts);
// the EntityConverter turns each entity record into the kernel's entity.
#pragma once

#include <qkshost/drawing/geometry.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_map>
#include <variant>
#include <vector>

#include "conversions.h"
#include "entity_converter.h"
#include "qks/common/plane.h"
#include "qkshost/drawing/database.h"
#include "qkshost/dwg/dwg.h"

namespace qkshost::dwg::detail {

// What a read could not take over: entities, which a user sees missing, apart from the other
// objects.
struct Skipped {
    int entities = 0;
    int others = 0;
};

// $DWGCODEPAGE numbers as the header stores them, with the names DXF writes for them.
inline const char* codePageName(int cp) {
    static const char* const names[] = {
        "",          "US_ASCII",  "ISO8859-1", "ISO8859-2", "ISO8859-3", "ISO8859-4", "ISO8859-5",
        "ISO8859-6", "ISO8859-7", "ISO8859-8", "ISO8859-9", "DOS437",    "DOS850",    "DOS852",
        "DOS855",    "DOS857",    "DOS860",    "DOS861",    "DOS863",    "DOS864",    "DOS865",
        "DOS869",    "DOS932",    "MACINTOSH", "BIG5",      "KSC5601",   "JOHAB",     "DOS866",
        "ANSI_1250", "ANSI_1251", "ANSI_1252", "GB2312",    "ANSI_1253", "ANSI_1254", "ANSI_1255",
        "ANSI_1256", "ANSI_1257", "ANSI_874",  "ANSI_932",  "ANSI_936",  "ANSI_949",  "ANSI_950",
        "ANSI_1361", "ANSI_1200", "ANSI_1258"};
    if (cp <= 0 || cp >= int(sizeof names / sizeof names[0])) return "ANSI_1252";
    return names[cp];
}

class Adapter {
  public:
    Adapter(const Drawing& d, dr::Database& db) : d_(d), db_(db), converter_(db) {}
    Adapter(const Adapter&) = delete;
    Adapter& operator=(const Adapter&) = delete;

    Skipped run() {
        header();
        tables();
        blocks();
        layouts();
        finish();
        return skipped_;
    }

  private:
    dr::ObjectIndex index(Handle h) const { return h ? db_.indexFromHandle(h) : 0; }

    void header();

    template <class R>
    dr::ObjectIndex addRecord(std::unique_ptr<R> r, const Record& rec, dr::ObjectIndex existing) {
        if (r->name.empty() || existing) {
            ++skipped_.others;  // a nameless or second record of a name: the first one wins
            return 0;
        }
        r->handle = rec.common.handle;
        r->flags &= ~64;  // "referenced" is a state of the session, not kept in DXF either
        dr::ObjectIndex i = db_.add(std::move(r));
        db_.addToTable(i);
        return i;
    }

    void tables();
    // Only a handle that names a marker is taken: a block record pointing elsewhere must not
    // take the handle of one of its entities.
    template <class Marker>
    Handle claim(Handle h) {
        const Record* r = d_.find(h);
        if (!r || !std::holds_alternative<Marker>(r->data) || index(h) || claimed_.count(h))
            return 0;
        claimed_[h] = true;
        db_.setHandSeedAtLeast(h + 1);
        return h;
    }

    // Entities in the order of their block record's list; an entity that names the record as
    // its owner but is missing from the list follows, in handle order.
    void blocks();
    void place(const Record& r, dr::ObjectIndex block);

    void common(const Record& r, dr::Entity& e);
    dr::ObjectIndex own(std::unique_ptr<dr::Entity> e, dr::ObjectIndex owner);

    // One entity of a block; 0 when it is not taken over (counted as skipped).
    dr::ObjectIndex entity(const Record& r, dr::ObjectIndex block);
    // What an entity owns or points to, once it is in the database as `i`.
    void attributes(dr::ObjectIndex i, const EntityLinks& links);
    void vertices(dr::ObjectIndex i, const EntityLinks& links);
    void frozenLayers(dr::Viewport& vp, const EntityLinks& links);
    dr::ObjectIndex seq(Handle h, dr::ObjectIndex owner);
    void layouts();

    void finish();

    struct StylePtr {
        dr::ObjectIndex record;
        std::size_t element;
        Handle target;
    };

    const Drawing& d_;
    dr::Database& db_;
    Skipped skipped_;
    std::unordered_map<Handle, bool> claimed_;
    EntityConverter converter_;
    std::vector<std::pair<dr::ObjectIndex, const BlockRecordRec*>> blocks_;
    std::vector<std::pair<dr::ObjectIndex, Handle>> layerLtype_, dimText_, pendingBlock_;
    std::vector<StylePtr> ltypeStyle_;
};

}  // namespace qkshost::dwg::detail
