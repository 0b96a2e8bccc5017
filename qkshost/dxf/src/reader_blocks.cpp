#include "reader.h"

#include <algorithm>
#include <cstdlib>

namespace qkshost::dxf::detail {

// ---------- blocks ----------
void Reader::readBlocks() {
    sawSection_ = true;
    if (!codecSet_) configureCodec();
    Tag t;
    while (true) {
        expectNext(t, "BLOCKS");
        if (t.is(0, "ENDSEC")) return;
        if (!t.is(0, "BLOCK")) fail(t, "expected BLOCK, found '" + shown(t) + "'");
        std::size_t blockLine = t.pos;
        collect(buf_, "BLOCK");
        std::string name, xref, desc;
        Handle h = 0;
        Point3d base;
        int flags = 0;
        for (auto& g : buf_) {
            switch (g.code) {
                case 2:
                    name = str(g);
                    break;
                case 3:
                    if (name.empty()) name = str(g);
                    break;
                case 5:
                    h = handle(g);
                    break;
                case 70:
                    flags = int32(g);
                    break;
                case 1:
                    xref = str(g);
                    break;
                case 4:
                    desc = str(g);
                    break;
                case 10:
                    base.x = num(g);
                    break;
                case 20:
                    base.y = num(g);
                    break;
                case 30:
                    base.z = num(g);
                    break;
                default:
                    break;
            }
        }
        if (name.empty()) tok_.fail(blockLine, "BLOCK without a name");
        ObjectIndex rec = db_.findBlock(name);
        if (rec && blocksSeen_.count(rec)) {
            ++warnings_;  // second definition of a name: its entities go to a fresh block
            rec = 0;
            name += "_" + std::to_string(++dupBlocks_);
        }
        if (!rec) {
            auto b = std::make_unique<BlockRecord>();
            b->name = name;
            rec = db_.add(std::move(b));
            db_.addToTable(rec);
        }
        blocksSeen_[rec] = true;
        auto* br = db_.get<BlockRecord>(rec);
        br->base = base;
        br->flags = flags;
        br->xrefPath = xref;
        br->description = desc;
        br->beginHandle = claimHandle(h);
        while (true) {
            expectNext(t, "BLOCK");
            if (t.is(0, "ENDBLK")) break;
            if (t.code != 0) fail(t, "unexpected '" + shown(t) + "' in block");
            if (t.is(0, "ENDSEC") || t.is(0, "EOF") || t.is(0, "BLOCK"))
                fail(t, "block " + name + " without ENDBLK");
            readEntity(t, rec);
        }
        collect(buf_, "ENDBLK");
        Handle eh = 0;
        for (auto& g : buf_)
            if (g.code == 5) eh = handle(g);
        br->endHandle = claimHandle(eh);
    }
}

// Block begin/end markers are not objects of the model: their handles are reserved.
Handle Reader::claimHandle(Handle h) {
    if (h && !db_.indexFromHandle(h) && !claimed_.count(h)) {
        claimed_[h] = true;
        db_.setHandSeedAtLeast(h + 1);
        return h;
    }
    return 0;
}

// ---------- entities ----------
void Reader::readEntities() {
    sawSection_ = true;
    if (!codecSet_) configureCodec();
    Tag t;
    while (true) {
        expectNext(t, "ENTITIES");
        if (t.is(0, "ENDSEC")) return;
        if (t.code != 0) fail(t, "unexpected '" + shown(t) + "' in ENTITIES");
        if (t.is(0, "EOF")) fail(t, "unexpected EOF in ENTITIES");
        readEntity(t, 0);
    }
}

// Parses the common entity groups from buf_ into e; records where the type's own groups
// start (R2000+: the first subclass marker after AcDbEntity) and where xdata starts.
Reader::Common Reader::parseCommon(Entity& e) {
    Common c;
    c.xdataStart = buf_.size();
    bool inCommon = true;
    bool layerGiven = false;
    c.tailStart = buf_.size();
    for (std::size_t i = 0; i < buf_.size(); ++i) {
        const Tag& g = buf_[i];
        if (g.code >= 1000) {
            c.xdataStart = i;
            break;
        }
        if (g.code == 100) {
            c.markers = true;
            if (g.text != "AcDbEntity" && inCommon) {
                inCommon = false;
                c.tailStart = i;
            }
            continue;
        }
        if (!inCommon) {
            // QCAD writes the layer after the type's own subclass marker (AcDbEntity, AcDbLine,
            // then 8); no entity's own groups use 8, so it is still the entity's layer.
            if (g.code == 8 && !layerGiven) {
                e.layer = layerFor(g.text);
                layerGiven = true;
            }
            continue;
        }
        switch (g.code) {
            case 5:
                e.handle = handle(g);
                break;
            case 8:
                e.layer = layerFor(g.text);
                layerGiven = true;
                break;
            case 6:
                e.linetype = linetypeFor(g.text);
                break;
            case 62: {
                int v = int32(g);
                e.color = std::int16_t(v < -257 || v > 257 ? 256 : v);
                break;
            }
            case 370:
                e.lineweight = std::int16_t(std::max(-3, std::min(211, int32(g))));
                break;
            case 420:
                e.trueColor = int32(g);
                break;
            case 48:
                e.linetypeScale = num(g);
                break;
            case 60:
                e.invisible = integer(g) != 0;
                break;
            case 67:
                c.paperSpace = integer(g) != 0;
                break;
            case 102:
                skipGroup(i);
                break;
            default:
                break;
        }
    }
    if (!c.markers) c.tailStart = 0;
    if (c.xdataStart < buf_.size()) {
        for (std::size_t i = c.xdataStart; i < buf_.size(); ++i) {
            if (buf_[i].code == 1001) {
                e.xdataApplications.push_back(str(buf_[i]));
                db_.ensureAppId(e.xdataApplications.back());
            }
            e.xdata.push_back({buf_[i].code, rawText(buf_[i])});
        }
    }
    return c;
}

bool Reader::commonCode(int code) {
    return code == 5 || code == 8 || code == 6 || code == 62 || code == 370 || code == 420 ||
           code == 48 || code == 60 || code == 67 || code == 330 || code == 100 || code == 410 ||
           code == 347 || code == 390 || code == 440 || code == 284;
}

ObjectIndex Reader::layerFor(std::string_view raw) {
    if (raw == lastLayerRaw_ && lastLayer_) return lastLayer_;
    auto it = layerCache_.find(raw);
    ObjectIndex idx;
    if (it != layerCache_.end()) {
        idx = it->second;
    } else {
        std::string name = codec_.decode(trim(raw));
        idx = db_.findLayer(name);
        if (!idx) {
            if (db_.addLayer(name, 7, &idx) != Status::Ok) {
                ++warnings_;
                idx = db_.findLayer("0");
                if (!idx) db_.addLayer("0", 7, &idx);
            }
        }
        layerCache_[raw] = idx;
    }
    lastLayerRaw_ = raw;
    lastLayer_ = idx;
    return idx;
}

ObjectIndex Reader::linetypeFor(std::string_view raw) {
    std::string name = codec_.decode(trim(raw));
    if (equalsNoCase(name, "BYLAYER")) return 0;
    ObjectIndex i = db_.findLinetype(name);
    if (!i) ++warnings_;  // unknown linetype: drawn ByLayer
    return i;
}

ObjectIndex Reader::styleFor(const Tag& g) {
    if (g.text == lastStyleRaw_ && lastStyle_) return lastStyle_;
    lastStyleRaw_ = g.text;
    lastStyle_ = styleByName(g);
    return lastStyle_;
}

ObjectIndex Reader::styleByName(const Tag& g) {
    std::string name = str(g);
    ObjectIndex i = db_.findTextStyle(name);
    if (!i) {
        ++warnings_;
        i = db_.findTextStyle("Standard");
        if (!i) db_.addTextStyle("Standard", "txt", &i);
    }
    return i;
}

ObjectIndex Reader::place(std::unique_ptr<Entity> e, ObjectIndex block, const Common& c) {
    if (!block) {
        if (c.paperSpace) {
            block = db_.findBlock("*Paper_Space");
            if (!block) db_.addBlock("*Paper_Space", &block);
        } else {
            block = db_.findBlock("*Model_Space");
            if (!block) db_.addBlock("*Model_Space", &block);
        }
    }
    if (!e->layer) e->layer = layerFor("0");
    e->owner = block;
    Handle h = e->handle;
    if (h && (db_.indexFromHandle(h) || claimed_.count(h))) {
        ++warnings_;  // duplicate handle: the later object gets a fresh one
        e->handle = 0;
    }
    ObjectIndex i = db_.add(std::move(e));
    db_.get<BlockRecord>(block)->entities.push_back(i);
    return i;
}

ObjectIndex Reader::addOwned(std::unique_ptr<Entity> e, ObjectIndex owner) {
    if (!e->layer) e->layer = layerFor("0");
    e->owner = owner;
    if (e->handle && (db_.indexFromHandle(e->handle) || claimed_.count(e->handle))) {
        ++warnings_;
        e->handle = 0;
    }
    return db_.add(std::move(e));
}

void Reader::readEntity(const Tag& head, ObjectIndex block) {
    std::string_view type = head.text;
    std::size_t line = head.pos;
    for (const char* reserved :
         {"SECTION", "ENDSEC", "TABLE", "ENDTAB", "BLOCK", "ENDBLK", "EOF", "CLASS"})
        if (type == reserved) tok_.fail(line, "unexpected " + std::string(type));
    if (type.find('\0') != std::string_view::npos) tok_.fail(line, "invalid entity type");
    collect(buf_, "entity");
    if (type == "LINE")
        line_(block);
    else if (type == "CIRCLE" || type == "ARC")
        circle(block, type == "ARC");
    else if (type == "ELLIPSE")
        ellipse(block);
    else if (type == "LWPOLYLINE")
        lwpolyline(block);
    else if (type == "POLYLINE")
        polyline(block);
    else if (type == "SPLINE")
        spline(block);
    else if (type == "POINT")
        point(block);
    else if (type == "TEXT")
        text<Text>(block);
    else if (type == "ATTDEF")
        text<AttributeDefinition>(block);
    else if (type == "MTEXT")
        mtext(block);
    else if (type == "INSERT")
        insert(block);
    else if (type == "SOLID")
        solid(block);
    else if (type == "HATCH")
        hatch(block);
    else if (type == "DIMENSION")
        dimension(block);
    else if (type == "VIEWPORT")
        viewport(block);
    else if (type == "VERTEX" || type == "SEQEND" || type == "ATTRIB") {
        ++warnings_;  // stray sequence member outside its owner: dropped
    } else {
        if (type.empty()) tok_.fail(line, "entity without a type");
        unknown(std::string(type), block);
    }
}

// coordinate groups base, base+10, base+20 into p
bool Reader::coord(const Tag& g, int base, Point3d& p) {
    if (g.code == base)
        p.x = num(g);
    else if (g.code == base + 10)
        p.y = num(g);
    else if (g.code == base + 20)
        p.z = num(g);
    else
        return false;
    return true;
}

bool Reader::planar(PlanarEntity& e, const Tag& g) {
    if (g.code == 39)
        e.thickness = num(g);
    else if (g.code == 210)
        e.extrusion.x = num(g);
    else if (g.code == 220)
        e.extrusion.y = num(g);
    else if (g.code == 230)
        e.extrusion.z = num(g);
    else
        return false;
    return true;
}

void Reader::fixExtrusion(PlanarEntity& e) {
    double l = std::sqrt(e.extrusion.x * e.extrusion.x + e.extrusion.y * e.extrusion.y +
                         e.extrusion.z * e.extrusion.z);
    if (!(l > 1e-12)) {
        e.extrusion = {0, 0, 1};
        ++warnings_;
    } else {
        e.extrusion = {e.extrusion.x / l, e.extrusion.y / l, e.extrusion.z / l};
    }
}

// tail of a raw entity: the type's own groups, written back as read
void Reader::fillTail(RawEntity& e, const Common& c) {
    e.r12Style = !c.markers;
    for (std::size_t i = c.tailStart; i < c.xdataStart; ++i) {
        const Tag& g = buf_[i];
        if (g.code == 102) {
            skipGroup(i);
            continue;
        }
        if (!c.markers && commonCode(g.code)) continue;
        e.tail.push_back({g.code, rawText(g)});
    }
}

}  // namespace qkshost::dxf::detail
