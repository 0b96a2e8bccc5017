#include "entity_common.h"

#include <algorithm>
#include <cstdlib>

namespace qkshost::dxf::detail {

// Parses the common entity groups from tags_ into e; records where the type's own groups
// start (R2000+: the first subclass marker after AcDbEntity) and where xdata starts.
CommonGroups EntityCommonReader::parseCommon(Entity& e) {
    CommonGroups c;
    c.xdataStart = tags_.size();
    bool inCommon = true;
    bool layerGiven = false;
    c.tailStart = tags_.size();
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const Tag& g = tags_[i];
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
                e.handle = in_.handle(g);
                break;
            case 8:
                e.layer = layerFor(g.text);
                layerGiven = true;
                break;
            case 6:
                e.linetype = linetypeFor(g.text);
                break;
            case 62: {
                int v = in_.int32(g);
                e.color = std::int16_t(v < -257 || v > 257 ? 256 : v);
                break;
            }
            case 370:
                e.lineweight = std::int16_t(std::max(-3, std::min(211, in_.int32(g))));
                break;
            case 420:
                e.trueColor = in_.int32(g);
                break;
            case 48:
                e.linetypeScale = in_.num(g);
                break;
            case 60:
                e.invisible = in_.integer(g) != 0;
                break;
            case 67:
                c.paperSpace = in_.integer(g) != 0;
                break;
            case 102:
                in_.skipGroup(i);
                break;
            default:
                break;
        }
    }
    if (!c.markers) c.tailStart = 0;
    if (c.xdataStart < tags_.size()) {
        for (std::size_t i = c.xdataStart; i < tags_.size(); ++i) {
            if (tags_[i].code == 1001) {
                e.xdataApplications.push_back(in_.str(tags_[i]));
                db_.ensureAppId(e.xdataApplications.back());
            }
            e.xdata.push_back({tags_[i].code, in_.rawText(tags_[i])});
        }
    }
    return c;
}

bool EntityCommonReader::commonCode(int code) {
    return code == 5 || code == 8 || code == 6 || code == 62 || code == 370 || code == 420 ||
           code == 48 || code == 60 || code == 67 || code == 330 || code == 100 || code == 410 ||
           code == 347 || code == 390 || code == 440 || code == 284;
}

ObjectIndex EntityCommonReader::layerFor(std::string_view raw) {
    if (raw == lastLayerRaw_ && lastLayer_) return lastLayer_;
    auto it = layerCache_.find(raw);
    ObjectIndex idx;
    if (it != layerCache_.end()) {
        idx = it->second;
    } else {
        std::string name = in_.decode(trim(raw));
        idx = db_.findLayer(name);
        if (!idx) {
            if (db_.addLayer(name, 7, &idx) != Status::Ok) {
                in_.warn();
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

ObjectIndex EntityCommonReader::linetypeFor(std::string_view raw) {
    std::string name = in_.decode(trim(raw));
    if (equalsNoCase(name, "BYLAYER")) return 0;
    ObjectIndex i = db_.findLinetype(name);
    if (!i) in_.warn();  // unknown linetype: drawn ByLayer
    return i;
}

ObjectIndex EntityCommonReader::styleFor(const Tag& g) {
    if (g.text == lastStyleRaw_ && lastStyle_) return lastStyle_;
    lastStyleRaw_ = g.text;
    lastStyle_ = styleByName(g);
    return lastStyle_;
}

ObjectIndex EntityCommonReader::styleByName(const Tag& g) {
    std::string name = in_.str(g);
    ObjectIndex i = db_.findTextStyle(name);
    if (!i) {
        in_.warn();
        i = db_.findTextStyle("Standard");
        if (!i) db_.addTextStyle("Standard", "txt", &i);
    }
    return i;
}

ObjectIndex EntityCommonReader::place(std::unique_ptr<Entity> e, ObjectIndex block,
                                      const CommonGroups& c) {
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
    if (ctx_.handleTaken(e->handle)) {
        in_.warn();  // duplicate handle: the later object gets a fresh one
        e->handle = 0;
    }
    ObjectIndex i = db_.add(std::move(e));
    db_.get<BlockRecord>(block)->entities.push_back(i);
    return i;
}

ObjectIndex EntityCommonReader::addOwned(std::unique_ptr<Entity> e, ObjectIndex owner) {
    if (!e->layer) e->layer = layerFor("0");
    e->owner = owner;
    if (ctx_.handleTaken(e->handle)) {
        in_.warn();
        e->handle = 0;
    }
    return db_.add(std::move(e));
}

// coordinate groups base, base+10, base+20 into p
bool EntityCommonReader::coord(const Tag& g, int base, Point3d& p) {
    if (g.code == base)
        p.x = in_.num(g);
    else if (g.code == base + 10)
        p.y = in_.num(g);
    else if (g.code == base + 20)
        p.z = in_.num(g);
    else
        return false;
    return true;
}

bool EntityCommonReader::planar(PlanarEntity& e, const Tag& g) {
    if (g.code == 39)
        e.thickness = in_.num(g);
    else if (g.code == 210)
        e.extrusion.x = in_.num(g);
    else if (g.code == 220)
        e.extrusion.y = in_.num(g);
    else if (g.code == 230)
        e.extrusion.z = in_.num(g);
    else
        return false;
    return true;
}

void EntityCommonReader::fixExtrusion(PlanarEntity& e) {
    double l = std::sqrt(e.extrusion.x * e.extrusion.x + e.extrusion.y * e.extrusion.y +
                         e.extrusion.z * e.extrusion.z);
    if (!(l > 1e-12)) {
        e.extrusion = {0, 0, 1};
        in_.warn();
    } else {
        e.extrusion = {e.extrusion.x / l, e.extrusion.y / l, e.extrusion.z / l};
    }
}

ObjectIndex EntityCommonReader::defaultStyle() {
    ObjectIndex i = db_.findTextStyle("Standard");
    if (!i) db_.addTextStyle("Standard", "txt", &i);
    return i;
}

// tail of a raw entity: the type's own groups, written back as read
void EntityCommonReader::fillTail(RawEntity& e, const CommonGroups& c) {
    e.r12Style = !c.markers;
    tail(c, [&](const Tag& g) {
        e.tail.push_back({g.code, in_.rawText(g)});
        return true;
    });
}

}  // namespace qkshost::dxf::detail
