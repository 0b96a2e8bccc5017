#include "write_context.h"

namespace qkshost::dxf::detail {

void WriteContext::assignHandles() {
    seed = db.handSeed();
    for (ObjectIndex b : db.blocks()) {
        auto* r = db.get<BlockRecord>(b);
        used_.insert(r->beginHandle);
        used_.insert(r->endHandle);
    }
    for (int i = 0; i < 9; ++i)
        tables[i] = fresh(db.tableHandles[i]);
    vportRecord = seed++;
    rootDict = fresh(db.rootDictHandle);
    groupDict = fresh(db.groupDictHandle);
    layoutDict = fresh(db.layoutDictHandle);
    plotStyleDict = seed++;
    placeholder = seed++;
    // begin/end handles that collide with objects (after a copy) get fresh ones
    for (ObjectIndex b : db.blocks()) {
        auto* r = db.get<BlockRecord>(b);
        Handle bh = r->beginHandle, eh = r->endHandle;
        if (!bh || db.indexFromHandle(bh) || begin_.count(bh)) bh = seed++;
        begin_.insert(bh);
        if (!eh || db.indexFromHandle(eh) || begin_.count(eh)) eh = seed++;
        begin_.insert(eh);
        markers[b] = {bh, eh};
    }
}

}  // namespace qkshost::dxf::detail
