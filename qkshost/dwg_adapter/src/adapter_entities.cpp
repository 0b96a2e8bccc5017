// The DWG adapter: entity kinds.
#include "adapter.h"

namespace qkshost::dwg::detail {

void Adapter::place(const Record& r, dr::ObjectIndex block) {
    if (dr::ObjectIndex e = entity(r, block))
        db_.get<dr::BlockRecord>(block)->entities.push_back(e);
}

void Adapter::common(const Record& r, dr::Entity& e) {
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

dr::ObjectIndex Adapter::own(std::unique_ptr<dr::Entity> e, dr::ObjectIndex owner) {
    if (!e->layer) e->layer = db_.layer0() ? db_.layer0() : db_.findLayer("0");
    e->owner = owner;
    if (e->handle && (index(e->handle) || claimed_.count(e->handle))) e->handle = 0;
    return db_.add(std::move(e));
}

// One entity of a block; 0 when it is not taken over (counted as skipped).
dr::ObjectIndex Adapter::entity(const Record& r, dr::ObjectIndex block) {
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

dr::ObjectIndex Adapter::seq(Handle h, dr::ObjectIndex owner) {
    auto s = std::make_unique<dr::SeqEnd>();
    if (const Record* r = d_.find(h)) common(*r, *s);
    return own(std::move(s), owner);
}

dr::ObjectIndex Adapter::style(Handle h) {
    dr::ObjectIndex s = index(h);
    if (db_.get<dr::TextStyleRecord>(s)) return s;
    s = db_.findTextStyle("Standard");
    if (!s) db_.addTextStyle("Standard", "txt", &s);
    return s;
}

std::unique_ptr<dr::Entity> Adapter::lwpolyline(const LwPolylineRec& x) {
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

std::unique_ptr<dr::Entity> Adapter::spline(const SplineRec& x) {
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
std::unique_ptr<dr::Entity> Adapter::hatch(const HatchRec& x) {
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

}  // namespace qkshost::dwg::detail
