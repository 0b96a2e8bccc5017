// The DWG adapter: symbol tables and block records with their entities.
#include "adapter.h"

namespace qkshost::dwg::detail {

void Adapter::tables() {
    for (const Record& rec : d_.records) {
        if (auto* l = std::get_if<LayerRec>(&rec.data)) {
            auto o = std::make_unique<dr::LayerRecord>();
            o->name = l->name;
            o->flags = l->flags;
            o->off = l->off;
            o->color = std::abs(l->color.index);
            if (o->color < 1 || o->color > 255) o->color = 7;
            o->trueColor = l->color.rgb;
            o->lineweight = l->lineweight;
            o->plot = l->plot;
            dr::ObjectIndex existing = db_.findLayer(o->name);
            if (dr::ObjectIndex i = addRecord(std::move(o), rec, existing))
                layerLtype_.push_back({i, l->linetype});
        } else if (auto* a = std::get_if<AppIdRec>(&rec.data)) {
            auto o = std::make_unique<dr::AppIdRecord>();
            o->name = a->name;
            o->flags = a->flags;
            dr::ObjectIndex existing = db_.findAppId(o->name);
            addRecord(std::move(o), rec, existing);
        } else if (auto* s = std::get_if<StyleRec>(&rec.data)) {
            if (s->name.empty() && (s->flags & 1)) continue;  // a shape file, not a style
            auto o = std::make_unique<dr::TextStyleRecord>();
            o->name = s->name;
            o->flags = s->flags;
            o->fontFile = s->fontFile;
            o->bigFont = s->bigFont;
            o->height = s->height;
            o->widthFactor = s->widthFactor;
            o->oblique = s->oblique;
            o->lastHeight = s->lastHeight;
            o->generation = s->generation;
            dr::ObjectIndex existing = db_.findTextStyle(o->name);
            addRecord(std::move(o), rec, existing);
        } else if (auto* t = std::get_if<LinetypeRec>(&rec.data)) {
            auto o = std::make_unique<dr::LinetypeRecord>();
            o->name = t->name;
            o->flags = t->flags;
            o->description = t->description;
            o->patternLength = t->patternLength;
            for (const LinetypeDash& dash : t->dashes) {
                dr::LinetypeElement e;
                e.length = dash.length;
                e.type = dash.shapeFlags;
                e.shape = dash.shape;
                e.scale = dash.scale;
                e.rotation = dash.rotation;
                e.dx = dash.xOffset;
                e.dy = dash.yOffset;
                e.text = dash.text;
                o->elements.push_back(std::move(e));
            }
            dr::ObjectIndex existing = db_.findLinetype(o->name);
            if (dr::ObjectIndex i = addRecord(std::move(o), rec, existing))
                for (std::size_t k = 0; k < t->dashes.size(); ++k)
                    if (t->dashes[k].style) ltypeStyle_.push_back({i, k, t->dashes[k].style});
        } else if (auto* b = std::get_if<BlockRecordRec>(&rec.data)) {
            auto o = std::make_unique<dr::BlockRecord>();
            o->name = b->name;
            o->flags = b->flags;
            o->base = pt(b->base);
            o->xrefPath = b->xrefPath;
            o->description = b->description;
            o->units = b->units;
            o->explodable = b->explodable;
            o->scalable = b->scalable;
            dr::ObjectIndex existing = db_.findBlock(o->name);
            if (dr::ObjectIndex i = addRecord(std::move(o), rec, existing))
                blocks_.push_back({i, b});
        } else if (auto* ds = std::get_if<DimStyleRec>(&rec.data)) {
            auto o = std::make_unique<dr::DimStyleRecord>();
            o->name = ds->name;
            o->flags = ds->flags;
            dr::DimStyleVariables& vars = o->variables;
            vars.scale = ds->dimscale;
            vars.arrowSize = ds->dimasz;
            vars.extensionOffset = ds->dimexo;
            vars.baselineSpacing = ds->dimdli;
            vars.extensionExtend = ds->dimexe;
            vars.textHeight = ds->dimtxt;
            vars.centerMark = ds->dimcen;
            vars.textGap = ds->dimgap;
            vars.linearFactor = ds->dimlfac;
            dr::ObjectIndex existing = db_.findDimStyle(o->name);
            if (dr::ObjectIndex i = addRecord(std::move(o), rec, existing))
                dimText_.push_back({i, ds->textStyle});
        }
    }
    // Markers of blocks are not objects of the model: their handles are kept reserved.
    // A record whose pointer misses its marker finds it by the marker's owner.
    std::unordered_map<Handle, Handle> begins, ends;
    for (const Record& r : d_.records) {
        if (std::holds_alternative<BlockBegin>(r.data)) begins[r.common.owner] = r.common.handle;
        if (std::holds_alternative<BlockEnd>(r.data)) ends[r.common.owner] = r.common.handle;
    }
    for (auto& [i, b] : blocks_) {
        auto* br = db_.get<dr::BlockRecord>(i);
        br->beginHandle = claim<BlockBegin>(b->block);
        if (!br->beginHandle) br->beginHandle = claim<BlockBegin>(begins[br->handle]);
        br->endHandle = claim<BlockEnd>(b->endBlock);
        if (!br->endHandle) br->endHandle = claim<BlockEnd>(ends[br->handle]);
    }
    for (auto& [i, lt] : layerLtype_) {
        dr::ObjectIndex t = index(lt);
        db_.get<dr::LayerRecord>(i)->linetype = db_.get<dr::LinetypeRecord>(t) ? t : 0;
    }
    for (auto& p : ltypeStyle_) {
        dr::ObjectIndex s = index(p.target);
        if (db_.get<dr::TextStyleRecord>(s))
            db_.get<dr::LinetypeRecord>(p.record)->elements[p.element].style = s;
    }
    for (auto& [i, ts] : dimText_) {
        dr::ObjectIndex s = index(ts);
        if (db_.get<dr::TextStyleRecord>(s)) db_.get<dr::DimStyleRecord>(i)->textStyle = s;
    }
}

// Entities in the order of their block record's list; an entity that names the record as
// its owner but is missing from the list follows, in handle order.
void Adapter::blocks() {
    std::unordered_map<Handle, dr::ObjectIndex> byRecord;
    std::unordered_map<Handle, bool> listed;
    for (auto& [i, b] : blocks_) {
        byRecord[db_.object(i)->handle] = i;
        for (Handle h : b->entities)
            if (const Record* r = d_.find(h); r && !listed.count(h)) {
                listed[h] = true;
                place(*r, i);
            }
    }
    for (const Record& r : d_.records) {
        if (!r.isEntity || listed.count(r.common.handle)) continue;
        auto owner = byRecord.find(r.common.owner);
        if (owner == byRecord.end() || std::holds_alternative<BlockBegin>(r.data) ||
            std::holds_alternative<BlockEnd>(r.data))
            continue;
        place(r, owner->second);
    }
}

}  // namespace qkshost::dwg::detail
