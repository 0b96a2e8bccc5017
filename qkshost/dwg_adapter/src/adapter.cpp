#include "qkshost/dwg/reader.h"

#include <qkshost/drawing/geometry.h>
#include <qkshost/drawing/text_decoder.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "qks/common/file_io.h"
#include "qks/common/plane.h"
#include "qkshost/dwg/dwg.h"

namespace qkshost::dwg {

namespace dr = qkshost::drawing;

namespace {

// What a read could not take over: entities, which a user sees missing, apart from the other
// objects.
struct Skipped {
    int entities = 0;
    int others = 0;
};

constexpr double kToDeg = 180.0 / qks::kPi;

// $DWGCODEPAGE numbers as the header stores them, with the names DXF writes for them.
const char* codePageName(int cp) {
    static const char* const names[] = {
        "",          "US_ASCII",  "ISO8859-1", "ISO8859-2", "ISO8859-3", "ISO8859-4", "ISO8859-5",
        "ISO8859-6", "ISO8859-7", "ISO8859-8", "ISO8859-9", "DOS437",    "DOS850",    "DOS852",
        "DOS855",    "DOS857",    "DOS860",    "DOS861",    "DOS863",    "DOS864",    "DOS865",
        "DOS869",    "DOS932",    "MACINTOSH", "BIG5",      "KSC5601",   "JOHAB",     "DOS866",
        "ANSI_1250", "ANSI_1251", "ANSI_1252", "GB2312",    "ANSI_1253", "ANSI_1254", "ANSI_1255",
        "ANSI_1256", "ANSI_1257", "ANSI_874",  "ANSI_936",  "ANSI_932",  "ANSI_949",  "ANSI_950",
        "ANSI_1361", "ANSI_1200", "ANSI_1258"};
    if (cp <= 0 || cp >= int(sizeof names / sizeof names[0])) return "ANSI_1252";
    return names[cp];
}

dr::Point3d pt(const Vec3& v) {
    return {v.x, v.y, v.z};
}
dr::Vector3d vec(const Vec3& v) {
    return {v.x, v.y, v.z};
}
dr::Vector3d normal(const Vec3& v) {
    double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(l > 1e-12)) return {0, 0, 1};
    return {v.x / l, v.y / l, v.z / l};
}

class Adapter {
  public:
    Adapter(const Drawing& d, dr::Database& db) : d_(d), db_(db) {}

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

    void header() {
        const Header& h = d_.header;
        db_.readVersion = h.acadver;
        db_.codePage = codePageName(h.codePage);
        db_.insBase = pt(h.insbase);
        db_.tileMode = h.tilemode;
        db_.insUnits = h.insunits;
        if (h.measurement >= 0) db_.measurement = h.measurement;
        if (h.ltscale > 0) db_.linetypeScale = h.ltscale;
        db_.paperLinetypeScale = h.psltscale;
        db_.setHandSeedAtLeast(h.handseed);
        const Handle controls[9] = {h.vportControl, h.linetypeControl, h.layerControl,
                                    h.styleControl, h.viewControl,     h.ucsControl,
                                    h.appidControl, h.dimstyleControl, h.blockControl};
        for (int i = 0; i < 9; ++i)
            db_.tableHandles[i] = controls[i];
    }

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

    void tables() {
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
            if (std::holds_alternative<BlockBegin>(r.data))
                begins[r.common.owner] = r.common.handle;
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
    void blocks() {
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
    void place(const Record& r, dr::ObjectIndex block) {
        if (dr::ObjectIndex e = entity(r, block))
            db_.get<dr::BlockRecord>(block)->entities.push_back(e);
    }

    void common(const Record& r, dr::Entity& e) {
        const EntityCommon& c = r.entity;
        e.handle = r.common.handle;
        dr::ObjectIndex l = index(c.layer);
        e.layer = db_.get<dr::LayerRecord>(l) ? l : 0;
        if (c.linetype) {
            dr::ObjectIndex t = index(c.linetype);
            auto* rec = db_.get<dr::LinetypeRecord>(t);
            e.linetype = rec && !dr::equalsNoCase(rec->name, "ByLayer") ? t : 0;
        } else if (c.linetypeFlags == 1) {
            e.linetype = db_.findLinetype("ByBlock");
        } else if (c.linetypeFlags == 2) {
            e.linetype = db_.findLinetype("Continuous");
        }
        int color = c.color.index;
        e.color = std::int16_t(color < -257 || color > 257 ? 256 : color);
        e.trueColor = c.color.rgb;
        e.lineweight = std::int16_t(std::max(-3, std::min(211, c.lineweight)));
        e.linetypeScale = c.linetypeScale;
        e.invisible = c.invisible;
    }
    void planar(dr::PlanarEntity& e, const Vec3& extrusion, double thickness) {
        e.extrusion = normal(extrusion);
        e.thickness = thickness;
    }
    dr::ObjectIndex own(std::unique_ptr<dr::Entity> e, dr::ObjectIndex owner) {
        if (!e->layer) e->layer = db_.layer0() ? db_.layer0() : db_.findLayer("0");
        e->owner = owner;
        if (e->handle && (index(e->handle) || claimed_.count(e->handle))) e->handle = 0;
        return db_.add(std::move(e));
    }

    // One entity of a block; 0 when it is not taken over (counted as skipped).
    dr::ObjectIndex entity(const Record& r, dr::ObjectIndex block) {
        std::unique_ptr<dr::Entity> out;
        std::vector<Handle> members;  // vertices or attributes
        Handle seqEnd = 0;
        Handle blockRef = 0, dimStyle = 0;
        std::vector<Handle> frozen;
        std::visit(
            [&](const auto& x) {
                using T = std::decay_t<decltype(x)>;
                if constexpr (std::is_same_v<T, LineRec>) {
                    auto e = std::make_unique<dr::Line>();
                    e->start = pt(x.start);
                    e->end = pt(x.end);
                    planar(*e, x.extrusion, x.thickness);
                    out = std::move(e);
                } else if constexpr (std::is_same_v<T, CircleRec>) {
                    if (x.isArc) {
                        auto e = std::make_unique<dr::Arc>();
                        e->center = pt(x.center);
                        e->radius = x.radius;
                        e->startAngle = x.startAngle;
                        e->endAngle = x.endAngle;
                        planar(*e, x.extrusion, x.thickness);
                        out = std::move(e);
                    } else {
                        auto e = std::make_unique<dr::Circle>();
                        e->center = pt(x.center);
                        e->radius = x.radius;
                        planar(*e, x.extrusion, x.thickness);
                        out = std::move(e);
                    }
                } else if constexpr (std::is_same_v<T, EllipseRec>) {
                    auto e = std::make_unique<dr::Ellipse>();
                    e->center = pt(x.center);
                    e->majorAxis = vec(x.majorAxis);
                    e->ratio = std::min(1.0, std::max(1e-6, std::fabs(x.ratio)));
                    e->startParam = x.startParam;
                    e->endParam = x.endParam;
                    planar(*e, x.extrusion, 0);
                    out = std::move(e);
                } else if constexpr (std::is_same_v<T, LwPolylineRec>) {
                    out = lwpolyline(x);
                } else if constexpr (std::is_same_v<T, PolylineRec>) {
                    auto e = std::make_unique<dr::Polyline>();
                    e->flags = x.flags;
                    e->curveType = x.curveType;
                    e->meshM = x.meshM;
                    e->meshN = x.meshN;
                    e->smoothM = x.smoothM;
                    e->smoothN = x.smoothN;
                    e->startWidth = x.startWidth;
                    e->endWidth = x.endWidth;
                    e->elevation = x.elevation;
                    planar(*e, x.extrusion, x.thickness);
                    members = x.vertices;
                    seqEnd = x.seqEnd;
                    out = std::move(e);
                } else if constexpr (std::is_same_v<T, SplineRec>) {
                    out = spline(x);
                } else if constexpr (std::is_same_v<T, PointRec>) {
                    auto e = std::make_unique<dr::PointEntity>();
                    e->position = pt(x.position);
                    e->angle = x.angle;
                    planar(*e, x.extrusion, x.thickness);
                    out = std::move(e);
                } else if constexpr (std::is_same_v<T, TextRec>) {
                    if (r.common.dxfName == "ATTDEF") {
                        auto e = text<dr::AttributeDefinition>(x);
                        e->tag = x.tag;
                        e->prompt = x.prompt;
                        e->attribFlags = x.attribFlags;
                        e->fieldLength = x.fieldLength;
                        e->lockPosition = x.lockPosition;
                        out = std::move(e);
                    } else if (r.common.dxfName == "TEXT") {
                        out = text<dr::Text>(x);
                    }  // ATTRIB: only through its INSERT
                } else if constexpr (std::is_same_v<T, MTextRec>) {
                    auto e = std::make_unique<dr::MText>();
                    e->position = pt(x.position);
                    e->direction = vec(x.direction);
                    e->height = x.textHeight;
                    e->width = x.width;
                    e->lineSpacing = x.lineSpacing;
                    e->attachment = x.attachment >= 1 && x.attachment <= 9 ? x.attachment : 1;
                    e->drawingDirection = x.drawingDirection;
                    e->lineSpacingStyle = x.lineSpacingStyle;
                    e->style = style(x.style);
                    e->text = x.text;
                    planar(*e, x.extrusion, 0);
                    out = std::move(e);
                } else if constexpr (std::is_same_v<T, InsertRec>) {
                    auto e = std::make_unique<dr::BlockReference>();
                    e->position = pt(x.position);
                    e->scaleX = x.scale.x;
                    e->scaleY = x.scale.y;
                    e->scaleZ = x.scale.z;
                    e->rotation = x.rotation;
                    e->columns = std::max(1, x.columns);
                    e->rows = std::max(1, x.rows);
                    e->columnSpacing = x.columnSpacing;
                    e->rowSpacing = x.rowSpacing;
                    planar(*e, x.extrusion, 0);
                    blockRef = x.block;
                    members = x.attributes;
                    seqEnd = x.seqEnd;
                    out = std::move(e);
                } else if constexpr (std::is_same_v<T, SolidRec>) {
                    auto e = std::make_unique<dr::Solid>();
                    for (int k = 0; k < 4; ++k)
                        e->corners[k] = pt(x.corners[k]);
                    planar(*e, x.extrusion, x.thickness);
                    out = std::move(e);
                } else if constexpr (std::is_same_v<T, HatchRec>) {
                    out = hatch(x);
                } else if constexpr (std::is_same_v<T, DimensionRec>) {
                    auto e = std::make_unique<dr::Dimension>();
                    // DXF's 70: 32 = the block belongs to this dimension alone, 128 = the
                    // text was moved off its default place (DWG: flag bit 0 clear)
                    e->dimType = x.dimType | (x.block ? 32 : 0) | (x.flags & 1 ? 0 : 128);
                    e->defPoint = pt(x.defPoint);
                    e->textMid = pt(x.textMid);
                    e->insertPoint = pt(x.insertPoint);
                    e->p13 = pt(x.p13);
                    e->p14 = pt(x.p14);
                    e->p15 = pt(x.p15);
                    e->p16 = pt(x.p16);
                    e->angle = x.angle;
                    e->oblique = x.oblique;
                    e->textRotation = x.textRotation;
                    e->leaderLength = x.leaderLength;
                    e->measurement = x.measurement;
                    e->attachment = x.attachment;
                    e->lineSpacingStyle = x.lineSpacingStyle;
                    e->lineSpacing = x.lineSpacing;
                    e->text = x.text;
                    planar(*e, x.extrusion, 0);
                    blockRef = x.block;
                    dimStyle = x.dimStyle;
                    out = std::move(e);
                } else if constexpr (std::is_same_v<T, ViewportRec>) {
                    auto e = std::make_unique<dr::Viewport>();
                    e->center = pt(x.center);
                    e->width = x.width;
                    e->height = x.height;
                    e->viewCenter = {x.viewCenterX, x.viewCenterY, 0};
                    e->viewDirection = vec(x.viewDirection);
                    e->viewTarget = pt(x.viewTarget);
                    e->viewHeight = x.viewHeight;
                    e->lensLength = x.lensLength;
                    e->twist = x.twist;
                    e->flags = x.statusFlags;
                    // DWG keeps no viewport number. As the CAD program writes DXF: the
                    // current layout's viewports count from 1 (its sheet) in block order,
                    // the other layouts' are 0 and inactive.
                    auto* rec = db_.get<dr::BlockRecord>(block);
                    bool current = rec && rec->name == "*Paper_Space";
                    e->id = current ? ++viewports_[block] : 0;
                    e->status = e->id;
                    e->renderMode = x.renderMode;
                    frozen = x.frozenLayers;
                    out = std::move(e);
                }
            },
            r.data);
        if (!out) {
            // A block's own BLOCK and ENDBLK are taken over with its record, not as entities.
            if (!std::holds_alternative<BlockBegin>(r.data) &&
                !std::holds_alternative<BlockEnd>(r.data))
                ++skipped_.entities;
            return 0;
        }
        common(r, *out);
        dr::ObjectIndex i = own(std::move(out), block);
        if (auto* ins = db_.get<dr::BlockReference>(i)) {
            pendingBlock_.push_back({i, blockRef});
            for (Handle h : members)
                if (const Record* a = d_.find(h))
                    if (auto* t = std::get_if<TextRec>(&a->data)) {
                        auto e = text<dr::Attribute>(*t);
                        e->tag = t->tag;
                        e->attribFlags = t->attribFlags;
                        e->fieldLength = t->fieldLength;
                        e->lockPosition = t->lockPosition;
                        common(*a, *e);
                        dr::ObjectIndex ai = own(std::move(e), i);
                        db_.get<dr::BlockReference>(i)->attributes.push_back(ai);
                    }
            if (!ins->attributes.empty()) db_.get<dr::BlockReference>(i)->seqEnd = seq(seqEnd, i);
        } else if (db_.get<dr::Polyline>(i)) {
            for (Handle h : members)
                if (const Record* v = d_.find(h))
                    if (auto* x = std::get_if<VertexRec>(&v->data)) {
                        auto e = std::make_unique<dr::Vertex>();
                        e->position = pt(x->position);
                        e->startWidth = x->startWidth;
                        e->endWidth = x->endWidth;
                        e->bulge = x->bulge;
                        e->tangent = x->tangent;
                        e->flags = x->flags;
                        std::copy(std::begin(x->faces), std::end(x->faces), std::begin(e->faces));
                        common(*v, *e);
                        dr::ObjectIndex vi = own(std::move(e), i);
                        db_.get<dr::Polyline>(i)->vertices.push_back(vi);
                    }
            db_.get<dr::Polyline>(i)->seqEnd = seq(seqEnd, i);
        } else if (auto* dim = db_.get<dr::Dimension>(i)) {
            dr::ObjectIndex s = index(dimStyle);
            dim->dimStyle = db_.get<dr::DimStyleRecord>(s) ? s : db_.findDimStyle("Standard");
            pendingBlock_.push_back({i, blockRef});
        } else if (auto* vp = db_.get<dr::Viewport>(i)) {
            for (Handle h : frozen) {
                dr::ObjectIndex l = index(h);
                if (db_.get<dr::LayerRecord>(l) &&
                    std::find(vp->frozenLayers.begin(), vp->frozenLayers.end(), l) ==
                        vp->frozenLayers.end())
                    vp->frozenLayers.push_back(l);
            }
        }
        return i;
    }
    dr::ObjectIndex seq(Handle h, dr::ObjectIndex owner) {
        auto s = std::make_unique<dr::SeqEnd>();
        if (const Record* r = d_.find(h)) common(*r, *s);
        return own(std::move(s), owner);
    }
    dr::ObjectIndex style(Handle h) {
        dr::ObjectIndex s = index(h);
        if (db_.get<dr::TextStyleRecord>(s)) return s;
        s = db_.findTextStyle("Standard");
        if (!s) db_.addTextStyle("Standard", "txt", &s);
        return s;
    }
    template <class T>
    std::unique_ptr<T> text(const TextRec& x) {
        auto e = std::make_unique<T>();
        e->position = pt(x.position);
        e->alignment = pt(x.alignment);
        e->hasAlignment = x.hasAlignment;
        e->height = x.height;
        e->rotation = x.rotation;
        e->widthFactor = x.widthFactor;
        e->oblique = x.oblique;
        e->generation = x.generation;
        e->hAlign = x.hAlign;
        e->vAlign = x.vAlign;
        e->style = style(x.style);
        e->text = x.text;
        planar(*e, x.extrusion, x.thickness);
        return e;
    }
    std::unique_ptr<dr::Entity> lwpolyline(const LwPolylineRec& x) {
        auto e = std::make_unique<dr::LwPolyline>();
        e->flags = (x.flags & 512 ? 1 : 0) | (x.flags & 256 ? 128 : 0);
        e->constantWidth = x.constantWidth;
        e->elevation = x.elevation;
        bool widths = false;
        for (const LwVertexRec& v : x.vertices) {
            e->vertices.push_back({v.x, v.y, v.startWidth, v.endWidth, v.bulge});
            widths = widths || v.startWidth != 0 || v.endWidth != 0;
        }
        // without widths per vertex the constant width stands for every vertex
        e->hasConstantWidth = !widths;
        if (e->hasConstantWidth)
            for (auto& v : e->vertices)
                v.startWidth = v.endWidth = x.constantWidth;
        planar(*e, x.extrusion, x.thickness);
        return e;
    }
    std::unique_ptr<dr::Entity> spline(const SplineRec& x) {
        auto e = std::make_unique<dr::Spline>();
        e->flags = (x.closed ? 1 : 0) | (x.periodic ? 2 : 0) | (x.rational ? 4 : 0);
        e->degree = std::max(1, std::min(25, x.degree));
        e->knots = x.knots;
        e->weights = x.weights;
        for (const Vec3& p : x.controlPoints)
            e->controlPoints.push_back(pt(p));
        for (const Vec3& p : x.fitPoints)
            e->fitPoints.push_back(pt(p));
        if (!e->weights.empty() && e->weights.size() != e->controlPoints.size()) e->weights.clear();
        e->knotTolerance = x.knotTolerance;
        e->controlTolerance = x.controlTolerance;
        e->fitTolerance = x.fitTolerance;
        auto zero = [](const Vec3& v) { return v.x == 0 && v.y == 0 && v.z == 0; };
        e->hasStartTangent = x.scenario == 2 && !zero(x.startTangent);
        e->hasEndTangent = x.scenario == 2 && !zero(x.endTangent);
        e->startTangent = vec(x.startTangent);
        e->endTangent = vec(x.endTangent);
        // DWG keeps a fit-point spline without its control points, which DXF and every curve
        // query need.
        if (x.scenario == 2 && e->controlPoints.empty()) dr::interpolateFitPoints(*e);
        return e;
    }
    // Hatch angles are degrees in the database, as drawings keep them for hatches.
    std::unique_ptr<dr::Entity> hatch(const HatchRec& x) {
        auto e = std::make_unique<dr::Hatch>();
        e->type = "HATCH";
        e->patternName = x.pattern;
        e->solidFill = x.solid;
        e->elevation = x.elevation;
        e->patternAngle = x.angle * kToDeg;
        e->patternScale = x.scale;
        planar(*e, x.extrusion, 0);
        for (const HatchLoop& l : x.loops) {
            dr::HatchLoop loop;
            loop.flags = l.flags;
            if (loop.isPolyline()) {
                loop.closed = l.closed;
                for (const LwVertexRec& v : l.polyline) {
                    loop.vertices.push_back({v.x, v.y, v.bulge});
                    loop.hasBulge = loop.hasBulge || v.bulge != 0;
                }
            }
            for (const HatchSegment& s : l.edges) {
                using Type = dr::HatchEdge::Type;
                dr::HatchEdge edge;
                edge.type = s.type >= 1 && s.type <= 4 ? Type(s.type) : Type::Other;
                if (s.type == 1) {
                    edge.start = {s.x0, s.y0, 0};
                    edge.end = {s.x1, s.y1, 0};
                } else if (s.type == 2 || s.type == 3) {
                    edge.centre = {s.x0, s.y0, 0};
                    edge.radius = s.type == 2 ? s.radius : s.ratio;
                    edge.majorAxis = {s.x1, s.y1, 0};
                    edge.startAngle = s.start * kToDeg;
                    edge.endAngle = s.end * kToDeg;
                    edge.counterClockwise = s.ccw;
                } else if (s.type == 4) {
                    edge.degree = s.degree;
                    edge.rational = s.rational;
                    edge.periodic = s.periodic;
                    edge.knots = s.knots;
                    edge.weights = s.weights;
                    for (std::size_t k = 0; k + 1 < s.points.size(); k += 2)
                        edge.controlPoints.push_back({s.points[k], s.points[k + 1], 0});
                }
                loop.edges.push_back(std::move(edge));
            }
            e->loops.push_back(std::move(loop));
        }
        for (const HatchPatternLine& l : x.lines) {
            dr::HatchPatternLine line;
            line.angle = l.angle * kToDeg;
            line.base = {l.baseX, l.baseY, 0};
            line.offset = {l.offsetX, l.offsetY, 0};
            line.dashes = l.dashes;
            e->patternLines.push_back(std::move(line));
        }
        return e;
    }

    void layouts() {
        std::vector<dr::ObjectIndex> read;
        for (const Record& rec : d_.records) {
            auto* x = std::get_if<LayoutRec>(&rec.data);
            if (!x) continue;
            auto l = std::make_unique<dr::Layout>();
            l->handle = rec.common.handle;
            if (index(l->handle) || claimed_.count(l->handle)) l->handle = 0;
            l->name = x->name;
            l->layoutFlags = x->flags;
            l->tabOrder = x->tabOrder;
            l->limMin = pt(x->limMin);
            l->limMax = pt(x->limMax);
            l->insBase = pt(x->insBase);
            l->extMin = pt(x->extMin);
            l->extMax = pt(x->extMax);
            const PlotSettingsRec& s = x->plot;
            dr::PlotSettings& p = l->plot;
            p.pageSetupName = s.pageSetupName;
            p.device = s.device;
            p.media = s.media;
            p.viewName = s.viewName;
            p.styleSheet = s.styleSheet;
            p.marginLeft = s.marginLeft;
            p.marginBottom = s.marginBottom;
            p.marginRight = s.marginRight;
            p.marginTop = s.marginTop;
            p.paperWidth = s.paperWidth;
            p.paperHeight = s.paperHeight;
            p.originX = s.originX;
            p.originY = s.originY;
            p.windowMinX = s.windowMinX;
            p.windowMinY = s.windowMinY;
            p.windowMaxX = s.windowMaxX;
            p.windowMaxY = s.windowMaxY;
            p.numerator = s.numerator;
            p.denominator = s.denominator;
            p.flags = s.flags;
            p.paperUnits = s.paperUnits;
            p.rotation = s.rotation;
            p.plotType = s.plotType;
            p.standardScaleType = s.standardScaleType;
            p.shadePlotMode = s.shadePlotMode;
            p.shadePlotResolution = s.shadePlotResolution;
            p.shadePlotDpi = s.shadePlotDpi;
            p.scaleFactor = s.scaleFactor;
            p.imageOriginX = s.imageOriginX;
            p.imageOriginY = s.imageOriginY;
            dr::ObjectIndex b = index(x->block);
            if (db_.get<dr::BlockRecord>(b)) l->block = b;
            read.push_back(db_.add(std::move(l)));
        }
        for (auto& [i, b] : blocks_) {
            dr::ObjectIndex l = index(b->layout);
            if (db_.get<dr::Layout>(l)) db_.get<dr::BlockRecord>(i)->layout = l;
        }
        // the order of the layout dictionary
        std::vector<dr::ObjectIndex> order;
        if (const Record* dict = d_.find(d_.header.layoutsDictionary))
            if (auto* x = std::get_if<DictionaryRec>(&dict->data))
                for (auto& [name, h] : x->entries) {
                    dr::ObjectIndex li = index(h);
                    if (auto* l = db_.get<dr::Layout>(li)) {
                        if (l->name.empty()) l->name = name;
                        order.push_back(li);
                    }
                }
        for (dr::ObjectIndex li : read)
            if (std::find(order.begin(), order.end(), li) == order.end()) order.push_back(li);
        for (dr::ObjectIndex li : order) {
            auto* l = db_.get<dr::Layout>(li);
            auto* b = db_.get<dr::BlockRecord>(l->block);
            if (b && !b->layout) b->layout = li;
            if (b && b->layout == li && !l->name.empty())
                db_.addLayout(li);
            else
                l->erased = true;
        }
    }

    void finish() {
        for (auto& [i, h] : pendingBlock_) {
            dr::ObjectIndex b = index(h);
            if (!db_.get<dr::BlockRecord>(b)) b = 0;
            if (auto* r = db_.get<dr::BlockReference>(i))
                r->block = b;
            else if (auto* d = db_.get<dr::Dimension>(i))
                d->block = b;
        }
        db_.ensureStructure();
        dr::ObjectIndex l = index(d_.header.clayer);
        if (db_.get<dr::LayerRecord>(l)) db_.currentLayer = l;
        dr::ObjectIndex s = index(d_.header.textstyle);
        if (db_.get<dr::TextStyleRecord>(s)) db_.currentTextStyle = s;
        for (dr::ObjectIndex b : db_.blocks()) {
            auto* br = db_.get<dr::BlockRecord>(b);
            if (!br->beginHandle) br->beginHandle = db_.newHandle();
            if (!br->endHandle) br->endHandle = db_.newHandle();
        }
    }

    struct StylePtr {
        dr::ObjectIndex record;
        std::size_t element;
        Handle target;
    };

    const Drawing& d_;
    dr::Database& db_;
    Skipped skipped_;
    std::unordered_map<Handle, bool> claimed_;
    std::unordered_map<dr::ObjectIndex, int> viewports_;  // per block record
    std::vector<std::pair<dr::ObjectIndex, const BlockRecordRec*>> blocks_;
    std::vector<std::pair<dr::ObjectIndex, Handle>> layerLtype_, dimText_, pendingBlock_;
    std::vector<StylePtr> ltypeStyle_;
};

}  // namespace

dr::ReadResult readDwg(dr::Database& db, std::string_view bytes) {
    dr::ReadResult result;
    if (db.objectCount() != 0) {
        result.status = dr::Status::InvalidInput;
        result.message = "DWG read error: the database is not empty";
        return result;
    }
    Drawing d;
    ReadOptions options;
    // Texts before 2007 in the drawing's code page, decoded as the DXF reader decodes them.
    dr::TextDecoder decoder;
    int decoderPage = -1;
    options.decodeCodePage = [&](std::string_view text, int page) {
        if (page != decoderPage) {
            decoder.setCodePage(codePageName(page), false);
            decoderPage = page;
        }
        return decoder.decode(text);
    };
    DecodeResult decoded = decode(bytes, d, options);
    if (decoded.status != Status::Ok) {
        result.status =
            decoded.status == Status::Encrypted ? dr::Status::Encrypted : dr::Status::ReadError;
        result.message = decoded.message;
        return result;
    }
    Adapter a(d, db);
    const Skipped skipped = a.run();
    result.skippedEntities = skipped.entities + int(d.skippedEntities);
    result.skippedOthers = skipped.others + int(d.skipped() - d.skippedEntities);
    return result;
}

bool isDwgContent(std::string_view head) {
    return looksLikeDwg(head) || isProtectionWrapper(head);
}

dr::ReadResult readDwgFile(dr::Database& db, const std::string& path) {
    std::string bytes, error;
    if (!qks::readFileBytes(path, bytes, &error))
        return {dr::Status::ReadError, "cannot read " + path + ": " + error, 0};
    return readDwg(db, bytes);
}

}  // namespace qkshost::dwg
