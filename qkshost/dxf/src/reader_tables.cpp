#include "reader.h"

#include "dimstyle_codes.h"

#include <algorithm>
#include <cstdlib>

namespace qkshost::dxf::detail {

// ---------- tables ----------
void Reader::readTables() {
    sawSection_ = true;
    if (!codecSet_) configureCodec();
    Tag t;
    while (true) {
        expectNext(t, "TABLES");
        if (t.is(0, "ENDSEC")) return;
        if (!t.is(0, "TABLE")) fail(t, "expected TABLE, found '" + shown(t) + "'");
        collect(buf_, "TABLE");
        std::string name;
        Handle h = 0;
        for (auto& g : buf_) {
            if (g.code == 2 && name.empty())
                name = std::string(g.text);
            else if (g.code == 5)
                h = handle(g);
        }
        int slot = tableSlot(name);
        if (slot >= 0 && h) db_.tableHandles[slot] = h;
        while (true) {
            expectNext(t, "TABLE");
            if (t.is(0, "ENDTAB")) break;
            if (t.code != 0) fail(t, "unexpected '" + shown(t) + "' in table");
            if (t.is(0, "ENDSEC") || t.is(0, "EOF")) fail(t, "table " + name + " without ENDTAB");
            std::string_view type = t.text;
            collect(buf_, "table record");
            if (type == "LAYER")
                readLayer();
            else if (type == "STYLE")
                readStyle();
            else if (type == "LTYPE")
                readLtype();
            else if (type == "BLOCK_RECORD")
                readBlockRecord();
            else if (type == "DIMSTYLE")
                readDimStyle();
            else if (type == "APPID")
                readAppId();
        }
    }
}

int Reader::tableSlot(const std::string& name) {
    static const char* const names[] = {"VPORT", "LTYPE", "LAYER",    "STYLE",       "VIEW",
                                        "UCS",   "APPID", "DIMSTYLE", "BLOCK_RECORD"};
    for (int i = 0; i < 9; ++i)
        if (name == names[i]) return i;
    return -1;
}

// Common record groups; returns false for groups the caller interprets.
bool Reader::recordCommon(SymbolRecord& r, const Tag& g, std::size_t& i) {
    switch (g.code) {
        case 5:
        case 105:
            r.handle = handle(g);
            return true;
        case 2:
            r.name = str(g);
            return true;
        case 70:
            r.flags = int32(g);
            return true;
        case 330:
        case 100:
            return true;
        case 102:
            skipGroup(i);
            return true;
        default:
            return false;
    }
}

void Reader::skipGroup(std::size_t& i) {
    if (!buf_[i].text.empty() && buf_[i].text[0] == '{')
        while (i + 1 < buf_.size() && buf_[i + 1].code != 102)
            ++i;
    if (i + 1 < buf_.size() && buf_[i + 1].code == 102) ++i;
}

ObjectIndex Reader::addRecord(std::unique_ptr<SymbolRecord> r, ObjectIndex existing) {
    if (r->name.empty()) {
        ++warnings_;
        return 0;
    }
    if (existing) {  // duplicate name: the first record wins
        ++warnings_;
        return 0;
    }
    ObjectIndex i = db_.add(std::move(r));
    db_.addToTable(i);
    return i;
}

void Reader::readLayer() {
    auto l = std::make_unique<LayerRecord>();
    std::string ltype;
    for (std::size_t i = 0; i < buf_.size(); ++i) {
        const Tag& g = buf_[i];
        if (recordCommon(*l, g, i)) continue;
        switch (g.code) {
            case 62: {
                int c = int32(g);
                l->off = c < 0;
                l->color = std::abs(c);
                if (l->color < 1 || l->color > 255) l->color = 7;
                break;
            }
            case 6:
                ltype = str(g);
                break;
            case 290:
                l->plot = integer(g) != 0;
                break;
            case 370:
                l->lineweight = int32(g);
                break;
            case 420:
                l->trueColor = int32(g);
                break;
            case 1001:
                i = buf_.size();
                break;
            default:
                break;
        }
    }
    ObjectIndex existing = db_.findLayer(l->name);
    auto* raw = l.get();
    if (ObjectIndex idx = addRecord(std::move(l), existing)) {
        (void)idx;
        pendingLayerLtype_.push_back({raw->self, std::move(ltype)});
    }
}

void Reader::readStyle() {
    auto s = std::make_unique<TextStyleRecord>();
    bool acadXdata = false;
    for (std::size_t i = 0; i < buf_.size(); ++i) {
        const Tag& g = buf_[i];
        if (g.code == 1001) {
            acadXdata = g.text == "ACAD";
            continue;
        }
        if (g.code >= 1000) {
            if (acadXdata && g.code == 1000) s->typeface = str(g);
            if (acadXdata && g.code == 1071) {
                long long f = integer(g);
                s->pitchAndFamily = int(f & 0xff);
                s->charset = int((f >> 8) & 0xff);
                s->italic = (f & 0x01000000) != 0;
                s->bold = (f & 0x02000000) != 0;
            }
            continue;
        }
        if (recordCommon(*s, g, i)) continue;
        switch (g.code) {
            case 3:
                s->fontFile = str(g);
                break;
            case 4:
                s->bigFont = str(g);
                break;
            case 40:
                s->height = num(g);
                break;
            case 41:
                s->widthFactor = num(g);
                break;
            case 42:
                s->lastHeight = num(g);
                break;
            case 50:
                s->oblique = num(g);
                break;
            case 71:
                s->generation = int32(g);
                break;
            default:
                break;
        }
    }
    if (s->name.empty() && (s->flags & 1)) return;  // shape file entry, not a text style
    ObjectIndex existing = db_.findTextStyle(s->name);
    addRecord(std::move(s), existing);
}

void Reader::readLtype() {
    auto l = std::make_unique<LinetypeRecord>();
    std::vector<Handle> styleRefs;
    for (std::size_t i = 0; i < buf_.size(); ++i) {
        const Tag& g = buf_[i];
        if (g.code == 1001) break;
        if (recordCommon(*l, g, i)) continue;
        LinetypeElement* e = l->elements.empty() ? nullptr : &l->elements.back();
        switch (g.code) {
            case 3:
                l->description = str(g);
                break;
            case 40:
                l->patternLength = num(g);
                break;
            case 49:
                if (l->elements.size() > 1000) fail(g, "too many linetype elements");
                l->elements.push_back({});
                l->elements.back().length = num(g);
                styleRefs.push_back(0);
                break;
            case 74:
                if (e) e->type = int32(g);
                break;
            case 75:
                if (e) e->shape = int32(g);
                break;
            case 340:
                if (e) styleRefs.back() = handle(g);
                break;
            case 46:
                if (e) e->scale = num(g);
                break;
            case 50:
                if (e) e->rotation = num(g) * kDeg;
                break;
            case 44:
                if (e) e->dx = num(g);
                break;
            case 45:
                if (e) e->dy = num(g);
                break;
            case 9:
                if (e) e->text = str(g);
                break;
            default:
                break;
        }
    }
    ObjectIndex existing = db_.findLinetype(l->name);
    auto* raw = l.get();
    if (addRecord(std::move(l), existing))
        for (std::size_t k = 0; k < styleRefs.size(); ++k)
            if (styleRefs[k]) pendingLtypeStyle_.push_back({raw->self, k, styleRefs[k]});
}

void Reader::readBlockRecord() {
    auto b = std::make_unique<BlockRecord>();
    Handle layout = 0;
    for (std::size_t i = 0; i < buf_.size(); ++i) {
        const Tag& g = buf_[i];
        if (g.code == 1001) break;
        if (recordCommon(*b, g, i)) continue;
        switch (g.code) {
            case 340:
                layout = handle(g);
                break;
            case 70:
                b->units = int32(g);
                break;
            case 280:
                b->explodable = integer(g) != 0;
                break;
            case 281:
                b->scalable = integer(g) != 0;
                break;
            default:
                break;
        }
    }
    b->flags = 0;
    ObjectIndex existing = db_.findBlock(b->name);
    auto* raw = b.get();
    if (addRecord(std::move(b), existing) && layout)
        pendingRecordLayout_.push_back({raw->self, layout});
}

void Reader::readDimStyle() {
    auto d = std::make_unique<DimStyleRecord>();
    Handle textStyle = 0;
    for (std::size_t i = 0; i < buf_.size(); ++i) {
        const Tag& g = buf_[i];
        if (g.code == 1001) break;
        if (recordCommon(*d, g, i)) continue;
        if (g.code == 340) {
            textStyle = handle(g);
            continue;
        }
        if (g.code >= 300 && g.code < 370) continue;  // pointers and their kin
        if (g.code == 1 || g.code == 2 || g.code == 3 || g.code == 4 || g.code == 5 ||
            g.code == 6 || g.code == 7)
            if (g.code != 3 && g.code != 4) continue;  // only DIMBLK-free text vars kept
        if (std::optional<double>* variable =
                dimVariable(kDimVariableCodes, d->variables, g.code)) {
            *variable = num(g);
            continue;
        }
        if (std::optional<int>* variable = dimVariable(kDimIntegerCodes, d->variables, g.code)) {
            *variable = int32(g);
            continue;
        }
        if (d->otherValues.size() > 500) fail(g, "too many dimension style groups");
        d->otherValues.push_back({g.code, rawText(g)});
    }
    ObjectIndex existing = db_.findDimStyle(d->name);
    auto* raw = d.get();
    if (addRecord(std::move(d), existing) && textStyle)
        pendingDimText_.push_back({raw->self, textStyle});
}

void Reader::readAppId() {
    auto a = std::make_unique<AppIdRecord>();
    for (std::size_t i = 0; i < buf_.size(); ++i)
        recordCommon(*a, buf_[i], i);
    ObjectIndex existing = db_.findAppId(a->name);
    addRecord(std::move(a), existing);
}

}  // namespace qkshost::dxf::detail
