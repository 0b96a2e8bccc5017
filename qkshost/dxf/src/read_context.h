// What the section readers of one DXF read share: the database being filled, the tag cursor
// over the file, and what can only be settled once the whole file is read (pointers by handle
// or name, the layout order, the current layer and styles). The Reader owns it; the section
// readers hold it by reference for the length of the read.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tag_cursor.h"

namespace qkshost::dxf::detail {

struct PendingPointer {
    ObjectIndex from;
    Handle target;
};

struct DictionaryData {
    Handle handle = 0, owner = 0;
    std::vector<std::pair<std::string, Handle>> entries;
};

// A linetype element's text style, given by handle.
struct PendingLinetypeStyle {
    ObjectIndex record;
    std::size_t element;
    Handle target;
};

struct ReadContext {
    ReadContext(Database& database, std::string_view data) : db(database), in(data) {}

    // Called as a section other than HEADER starts: the file has sections, and a file
    // without a header still gets its texts decoded.
    void beginSection() {
        sawSection = true;
        if (!in.codecSet()) in.configureCodec(db);
    }
    // True when an object read with handle `h` must get a fresh one instead: another object
    // or a block's begin/end marker already has it.
    bool handleTaken(Handle h) const { return h && (db.indexFromHandle(h) || claimed.count(h)); }
    // Block begin/end markers are not objects of the model: their handles are reserved.
    // Returns `h` when it was free, else 0.
    Handle claimHandle(Handle h) {
        if (h && !db.indexFromHandle(h) && !claimed.count(h)) {
            claimed[h] = true;
            db.setHandSeedAtLeast(h + 1);
            return h;
        }
        return 0;
    }

    Database& db;
    TagCursor in;
    bool sawSection = false;
    std::unordered_map<Handle, bool> claimed;

    // resolved by the Reader at the end of the file
    std::vector<std::pair<ObjectIndex, std::string>> pendingLayerLtype, pendingBlockNames;
    std::vector<PendingLinetypeStyle> pendingLtypeStyle;
    std::vector<PendingPointer> pendingDimText, pendingLayoutBlock, pendingRecordLayout,
        pendingViewportLayer;
    std::vector<DictionaryData> dicts;
    Handle rootDict = 0;
    std::vector<ObjectIndex> layoutsRead;
    std::string clayer, ctextstyle, cdimstyle;
};

}  // namespace qkshost::dxf::detail
