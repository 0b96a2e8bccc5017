#include "sections.h"

#include <algorithm>
#include <cctype>
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

bool isProtectionWrapper(std::string_view b) {
    // The wrappers write their marker at the very start; a little slack for a leading length.
    const std::string_view head = b.substr(0, 64);
    for (const std::string_view marker :
         {std::string_view("%TSD-Header-###%"), std::string_view("E-SafeNet")})
        if (head.find(marker) != std::string_view::npos) return true;
    return false;
}

const Record* Drawing::find(Handle h) const {
    auto it = std::lower_bound(records.begin(), records.end(), h,
                               [](const Record& r, Handle x) { return r.common.handle < x; });
    return it != records.end() && it->common.handle == h ? &*it : nullptr;
}

std::string TextContext::unescapeUnicode(std::string s) {
    std::size_t at = s.find("\\U+");
    if (at == std::string::npos) return s;
    std::string out;
    std::size_t from = 0;
    for (; at != std::string::npos; at = s.find("\\U+", from)) {
        std::uint32_t cp = 0;
        std::size_t k = 0;
        for (; k < 4 && at + 3 + k < s.size() && std::isxdigit((unsigned char)s[at + 3 + k]); ++k)
            cp = cp * 16 + std::uint32_t(std::stoi(std::string(1, s[at + 3 + k]), nullptr, 16));
        out.append(s, from, at - from);
        if (k == 4)
            appendUtf8(out, cp);
        else
            out.append(s, at, 3 + k);
        from = at + 3 + k;
    }
    out.append(s, from, std::string::npos);
    return out;
}

namespace {

// Anonymous blocks are stored as "*D", "*T", "*U" ... and numbered on loading: the number
// is the record's position among the block records less one; extra paper-space blocks are
// numbered apart from 0 (the numbering the CAD program gives them in its DXF output).
void numberAnonymousBlocks(Drawing& d) {
    int index = 0, paper = 0;
    for (Record& r : d.records) {
        auto* b = std::get_if<BlockRecordRec>(&r.data);
        if (!b) continue;
        if (b->name == "*Paper_Space" && r.common.handle != d.header.paperSpaceBlock)
            b->name += std::to_string(paper++);
        else if (b->name.size() == 2 && b->name[0] == '*' && index > 0)
            b->name += std::to_string(index - 1);
        ++index;
        for (Record& e : d.records)
            if (e.common.handle == b->block)
                if (auto* begin = std::get_if<BlockBegin>(&e.data)) begin->name = b->name;
    }
}

// Before 2004 an owner names its first and last child and each entity its neighbours (or
// none, when the next one is the next handle). Empty when the chain is broken.
std::vector<Handle> chain(const Drawing& d, Handle first, Handle last) {
    std::vector<Handle> out;
    for (Handle h = first; out.size() < d.records.size();) {
        const Record* r = d.find(h);
        if (!r || !r->isEntity) return {};
        out.push_back(h);
        if (h == last) return out;
        h = r->entity.next ? r->entity.next : h + 1;
    }
    return {};
}

// Children of owners whose list is still empty (a broken chain): gathered by owner, in handle
// order, so every version gives the lists.
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
        if (auto* b = std::get_if<BlockRecordRec>(&r.data); b && b->firstEntity)
            b->entities = chain(d, b->firstEntity, b->lastEntity);
        else if (auto* p = std::get_if<PolylineRec>(&r.data); p && p->firstVertex)
            p->vertices = chain(d, p->firstVertex, p->lastVertex);
        else if (auto* i = std::get_if<InsertRec>(&r.data); i && i->firstAttrib)
            i->attributes = chain(d, i->firstAttrib, i->lastAttrib);
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

DecodeResult decode(std::string_view bytes, Drawing& out, const ReadOptions& options) {
    out = Drawing{};
    Sections s;
    if (DecodeResult r = openContainer(bytes, s); r.status != Status::Ok) return r;
    TextContext tc;
    tc.version = s.version;
    tc.codePage = s.codePage;
    if (options.decodeCodePage)
        tc.decode = options.decodeCodePage;
    else
        tc.decode = latin1ToUtf8;
    out.header.acadver = std::string(bytes.substr(0, 6));
    out.header.maintenance = s.maintenance;
    out.header.codePage = s.codePage;
    if (DecodeResult r = readHeaderVariables(s, tc, out.header); r.status != Status::Ok) return r;
    if (DecodeResult r = readClasses(s, tc, out.classes); r.status != Status::Ok) return r;
    if (DecodeResult r = readObjectMap(s, out.objectMap); r.status != Status::Ok) return r;
    std::stable_sort(
        out.objectMap.begin(), out.objectMap.end(),
        [](const ObjectMapEntry& a, const ObjectMapEntry& b) { return a.handle < b.handle; });
    if (DecodeResult r = readObjects(s, tc, out); r.status != Status::Ok) return r;
    fillChildLists(out);
    numberAnonymousBlocks(out);
    return {};
}

}  // namespace qkshost::dwg
