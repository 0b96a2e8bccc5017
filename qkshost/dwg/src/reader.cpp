#include "sections.h"

#include <algorithm>
#include <unordered_map>

namespace qkshost::dwg {

std::string latin1ToUtf8(std::string_view bytes, int) {
    std::string s;
    s.reserve(bytes.size());
    for (unsigned char c : bytes)
        appendUtf8(s, c);
    return s;
}

bool looksLikeDwg(std::string_view b) {
    return b.size() >= 6 && b.substr(0, 4) == "AC10" && b[4] >= '0' && b[4] <= '9' && b[5] >= '0' &&
           b[5] <= '9';
}

const Record* Drawing::find(Handle h) const {
    auto it = std::lower_bound(records.begin(), records.end(), h,
                               [](const Record& r, Handle x) { return r.common.handle < x; });
    return it != records.end() && it->common.handle == h ? &*it : nullptr;
}

namespace {

// Before 2004 the owners list their children only by first and last handle: gather the
// children by owner, in handle order, so every version gives the same lists.
void fillChildLists(Drawing& d) {
    std::unordered_map<Handle, std::vector<Handle>> children;
    for (const Record& r : d.records) {
        if (!r.isEntity || !r.common.owner) continue;
        if (std::holds_alternative<BlockBegin>(r.data) || std::holds_alternative<BlockEnd>(r.data))
            continue;
        if (std::holds_alternative<SeqEndRec>(r.data)) continue;
        children[r.common.owner].push_back(r.common.handle);
    }
    for (Record& r : d.records) {
        auto it = children.find(r.common.handle);
        if (it == children.end()) continue;
        if (auto* b = std::get_if<BlockRecordRec>(&r.data); b && b->entities.empty())
            b->entities = it->second;
        else if (auto* p = std::get_if<PolylineRec>(&r.data); p && p->vertices.empty())
            p->vertices = it->second;
        else if (auto* i = std::get_if<InsertRec>(&r.data); i && i->attributes.empty())
            i->attributes = it->second;
    }
}

}  // namespace

Result readDwg(std::string_view bytes, Drawing& out, const ReadOptions& options) {
    out = Drawing{};
    Sections s;
    if (Result r = openContainer(bytes, s); r.status != Status::Ok) return r;
    TextContext tc;
    tc.version = s.version;
    tc.codePage = s.codePage;
    tc.decode = options.decodeCodePage ? options.decodeCodePage : latin1ToUtf8;
    out.header.acadver = std::string(bytes.substr(0, 6));
    out.header.maintenance = s.maintenance;
    out.header.codePage = s.codePage;
    if (Result r = readHeaderVariables(s, tc, out.header); r.status != Status::Ok) return r;
    if (Result r = readClasses(s, tc, out.classes); r.status != Status::Ok) return r;
    if (Result r = readObjectMap(s, out.objectMap); r.status != Status::Ok) return r;
    std::stable_sort(
        out.objectMap.begin(), out.objectMap.end(),
        [](const ObjectMapEntry& a, const ObjectMapEntry& b) { return a.handle < b.handle; });
    if (Result r = readObjects(s, tc, out); r.status != Status::Ok) return r;
    fillChildLists(out);
    return {};
}

}  // namespace qkshost::dwg
