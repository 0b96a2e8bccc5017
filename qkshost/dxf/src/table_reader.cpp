#include "table_reader.h"

#include "dimstyle_codes.h"

#include <algorithm>
#include <cstdlib>

namespace qkshost::dxf::detail {

void TableReader::readTables() {
    ctx_.beginSection();
    Tag t;
    while (true) {
        in_.expectNext(t, "TABLES");
        if (t.is(0, "ENDSEC")) return;
        if (!t.is(0, "TABLE")) in_.fail(t, "expected TABLE, found '" + in_.shown(t) + "'");
        in_.readRecord("TABLE");
        std::string name;
        Handle h = 0;
        for (auto& g : tags_) {
            if (g.code == 2 && name.empty())
                name = std::string(g.text);
            else if (g.code == 5)
                h = in_.handle(g);
        }
        int slot = tableSlot(name);
        if (slot >= 0 && h) db_.tableHandles[slot] = h;
        while (true) {
            in_.expectNext(t, "TABLE");
            if (t.is(0, "ENDTAB")) break;
            if (t.code != 0) in_.fail(t, "unexpected '" + in_.shown(t) + "' in table");
            if (t.is(0, "ENDSEC") || t.is(0, "EOF"))
                in_.fail(t, "table " + name + " without ENDTAB");
            std::string_view type = t.text;
            in_.readRecord("table record");
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

int TableReader::tableSlot(const std::string& name) {
    static const char* const names[] = {"VPORT", "LTYPE", "LAYER",    "STYLE",       "VIEW",
                                        "UCS",   "APPID", "DIMSTYLE", "BLOCK_RECORD"};
    for (int i = 0; i < 9; ++i)
        if (name == names[i]) return i;
    return -1;
}

// Common record groups; returns false for groups the caller interprets.
bool TableReader::recordCommon(SymbolRecord& r, const Tag& g, std::size_t& i) {
    switch (g.code) {
        case 5:
        case 105:
            r.handle = in_.handle(g);
            return true;
        case 2:
            r.name = in_.str(g);
            return true;
        case 70:
            r.flags = in_.int32(g);
            return true;
        case 330:
        case 100:
            return true;
        case 102:
            in_.skipGroup(i);
            return true;
        default:
            return false;
    }
}

ObjectIndex TableReader::addRecord(std::unique_ptr<SymbolRecord> r, ObjectIndex existing) {
    if (r->name.empty()) {
        in_.warn();
        return 0;
    }
    if (existing) {  // duplicate name: the first record wins
        in_.warn();
        return 0;
    }
    ObjectIndex i = db_.add(std::move(r));
    db_.addToTable(i);
    return i;
}

void TableReader::readLayer() {
    auto l = std::make_unique<LayerRecord>();
    std::string ltype;
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const Tag& g = tags_[i];
        if (recordCommon(*l, g, i)) continue;
        switch (g.code) {
            case 62: {
                int c = in_.int32(g);
                l->off = c < 0;
                l->color = std::abs(c);
                if (l->color < 1 || l->color > 255) l->color = 7;
                break;
            }
            case 6:
                ltype = in_.str(g);
                break;
            case 290:
                l->plot = in_.integer(g) != 0;
                break;
            case 370:
                l->lineweight = in_.int32(g);
                break;
            case 420:
                l->trueColor = in_.int32(g);
                break;
            case 1001:
                i = tags_.size();
                break;
            default:
                break;
        }
    }
    ObjectIndex existing = db_.findLayer(l->name);
    auto* raw = l.get();
    if (ObjectIndex idx = addRecord(std::move(l), existing)) {
        (void)idx;
        ctx_.pendingLayerLtype.push_back({raw->self, std::move(ltype)});
    }
}

void TableReader::readStyle() {
    auto s = std::make_unique<TextStyleRecord>();
    bool acadXdata = false;
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const Tag& g = tags_[i];
        if (g.code == 1001) {
            acadXdata = g.text == "ACAD";
            continue;
        }
        if (g.code >= 1000) {
            if (acadXdata && g.code == 1000) s->typeface = in_.str(g);
            if (acadXdata && g.code == 1071) {
                long long f = in_.integer(g);
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
                s->fontFile = in_.str(g);
                break;
            case 4:
                s->bigFont = in_.str(g);
                break;
            case 40:
                s->height = in_.num(g);
                break;
            case 41:
                s->widthFactor = in_.num(g);
                break;
            case 42:
                s->lastHeight = in_.num(g);
                break;
            case 50:
                s->oblique = in_.num(g);
                break;
            case 71:
                s->generation = in_.int32(g);
                break;
            default:
                break;
        }
    }
    if (s->name.empty() && (s->flags & 1)) return;  // shape file entry, not a text style
    ObjectIndex existing = db_.findTextStyle(s->name);
    addRecord(std::move(s), existing);
}

void TableReader::readLtype() {
    auto l = std::make_unique<LinetypeRecord>();
    std::vector<Handle> styleRefs;
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const Tag& g = tags_[i];
        if (g.code == 1001) break;
        if (recordCommon(*l, g, i)) continue;
        LinetypeElement* e = l->elements.empty() ? nullptr : &l->elements.back();
        switch (g.code) {
            case 3:
                l->description = in_.str(g);
                break;
            case 40:
                l->patternLength = in_.num(g);
                break;
            case 49:
                if (l->elements.size() > 1000) in_.fail(g, "too many linetype elements");
                l->elements.push_back({});
                l->elements.back().length = in_.num(g);
                styleRefs.push_back(0);
                break;
            case 74:
                if (e) e->type = in_.int32(g);
                break;
            case 75:
                if (e) e->shape = in_.int32(g);
                break;
            case 340:
                if (e) styleRefs.back() = in_.handle(g);
                break;
            case 46:
                if (e) e->scale = in_.num(g);
                break;
            case 50:
                if (e) e->rotation = in_.num(g) * kDeg;
                break;
            case 44:
                if (e) e->dx = in_.num(g);
                break;
            case 45:
                if (e) e->dy = in_.num(g);
                break;
            case 9:
                if (e) e->text = in_.str(g);
                break;
            default:
                break;
        }
    }
    ObjectIndex existing = db_.findLinetype(l->name);
    auto* raw = l.get();
    if (addRecord(std::move(l), existing))
        for (std::size_t k = 0; k < styleRefs.size(); ++k)
            if (styleRefs[k]) ctx_.pendingLtypeStyle.push_back({raw->self, k, styleRefs[k]});
}

void TableReader::readBlockRecord() {
    auto b = std::make_unique<BlockRecord>();
    Handle layout = 0;
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const Tag& g = tags_[i];
        if (g.code == 1001) break;
        if (recordCommon(*b, g, i)) continue;
        switch (g.code) {
            case 340:
                layout = in_.handle(g);
                break;
            case 70:
                b->units = in_.int32(g);
                break;
            case 280:
                b->explodable = in_.integer(g) != 0;
                break;
            case 281:
                b->scalable = in_.integer(g) != 0;
                break;
            default:
                break;
        }
    }
    b->flags = 0;
    ObjectIndex existing = db_.findBlock(b->name);
    auto* raw = b.get();
    if (addRecord(std::move(b), existing) && layout)
        ctx_.pendingRecordLayout.push_back({raw->self, layout});
}

void TableReader::readDimStyle() {
    auto d = std::make_unique<DimStyleRecord>();
    Handle textStyle = 0;
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const Tag& g = tags_[i];
        if (g.code == 1001) break;
        if (recordCommon(*d, g, i)) continue;
        if (g.code == 340) {
            textStyle = in_.handle(g);
            continue;
        }
        if (g.code >= 300 && g.code < 370) continue;  // pointers and their kin
        if (g.code == 1 || g.code == 2 || g.code == 3 || g.code == 4 || g.code == 5 ||
            g.code == 6 || g.code == 7)
            if (g.code != 3 && g.code != 4) continue;  // only DIMBLK-free text vars kept
        if (std::optional<double>* variable =
                dimVariable(kDimVariableCodes, d->variables, g.code)) {
            *variable = in_.num(g);
            continue;
        }
        if (std::optional<int>* variable = dimVariable(kDimIntegerCodes, d->variables, g.code)) {
            *variable = in_.int32(g);
            continue;
        }
        if (d->otherValues.size() > 500) in_.fail(g, "too many dimension style groups");
        d->otherValues.push_back({g.code, in_.rawText(g)});
    }
    ObjectIndex existing = db_.findDimStyle(d->name);
    auto* raw = d.get();
    if (addRecord(std::move(d), existing) && textStyle)
        ctx_.pendingDimText.push_back({raw->self, textStyle});
}

void TableReader::readAppId() {
    auto a = std::make_unique<AppIdRecord>();
    for (std::size_t i = 0; i < tags_.size(); ++i)
        recordCommon(*a, tags_[i], i);
    ObjectIndex existing = db_.findAppId(a->name);
    addRecord(std::move(a), existing);
}

}  // namespace qkshost::dxf::detail
