#include "entity_converter.h"

#include <algorithm>

namespace qkshost::dwg::detail {

ConvertedEntity EntityConverter::convert(const Record& r, dr::ObjectIndex block) {
    ConvertedEntity converted;
    std::unique_ptr<dr::Entity>& out = converted.entity;
    EntityLinks& links = converted.links;
    std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, LineRec>)
                out = line(x);
            else if constexpr (std::is_same_v<T, CircleRec>)
                out = circle(x);
            else if constexpr (std::is_same_v<T, EllipseRec>)
                out = ellipse(x);
            else if constexpr (std::is_same_v<T, LwPolylineRec>)
                out = lwpolyline(x);
            else if constexpr (std::is_same_v<T, PolylineRec>)
                out = polyline(x, links);
            else if constexpr (std::is_same_v<T, SplineRec>)
                out = spline(x);
            else if constexpr (std::is_same_v<T, PointRec>)
                out = point(x);
            else if constexpr (std::is_same_v<T, TextRec>)
                out = text(x, r.common.dxfName);
            else if constexpr (std::is_same_v<T, MTextRec>)
                out = mtext(x);
            else if constexpr (std::is_same_v<T, InsertRec>)
                out = insert(x, links);
            else if constexpr (std::is_same_v<T, SolidRec>)
                out = solid(x);
            else if constexpr (std::is_same_v<T, HatchRec>)
                out = hatch(x);
            else if constexpr (std::is_same_v<T, DimensionRec>)
                out = dimension(x, links);
            else if constexpr (std::is_same_v<T, ViewportRec>)
                out = viewport(x, block, links);
        },
        r.data);
    return converted;
}

std::unique_ptr<dr::Entity> EntityConverter::line(const LineRec& x) {
    auto e = std::make_unique<dr::Line>();
    e->start = pt(x.start);
    e->end = pt(x.end);
    planar(*e, x.extrusion, x.thickness);
    return e;
}

std::unique_ptr<dr::Entity> EntityConverter::circle(const CircleRec& x) {
    if (x.isArc) {
        auto e = std::make_unique<dr::Arc>();
        e->center = pt(x.center);
        e->radius = x.radius;
        e->startAngle = x.startAngle;
        e->endAngle = x.endAngle;
        planar(*e, x.extrusion, x.thickness);
        return e;
    } else {
        auto e = std::make_unique<dr::Circle>();
        e->center = pt(x.center);
        e->radius = x.radius;
        planar(*e, x.extrusion, x.thickness);
        return e;
    }
}

std::unique_ptr<dr::Entity> EntityConverter::ellipse(const EllipseRec& x) {
    auto e = std::make_unique<dr::Ellipse>();
    e->center = pt(x.center);
    e->majorAxis = vec(x.majorAxis);
    e->ratio = std::min(1.0, std::max(1e-6, std::fabs(x.ratio)));
    e->startParam = x.startParam;
    e->endParam = x.endParam;
    planar(*e, x.extrusion, 0);
    return e;
}

std::unique_ptr<dr::Entity> EntityConverter::polyline(const PolylineRec& x, EntityLinks& links) {
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
    links.members = x.vertices;
    links.seqEnd = x.seqEnd;
    return e;
}

std::unique_ptr<dr::Entity> EntityConverter::point(const PointRec& x) {
    auto e = std::make_unique<dr::PointEntity>();
    e->position = pt(x.position);
    e->angle = x.angle;
    planar(*e, x.extrusion, x.thickness);
    return e;
}

std::unique_ptr<dr::Entity> EntityConverter::text(const TextRec& x, std::string_view dxfName) {
    if (dxfName == "ATTDEF") {
        auto e = makeText<dr::AttributeDefinition>(x);
        e->tag = x.tag;
        e->prompt = x.prompt;
        e->attribFlags = x.attribFlags;
        e->fieldLength = x.fieldLength;
        e->lockPosition = x.lockPosition;
        return e;
    } else if (dxfName == "TEXT") {
        return makeText<dr::Text>(x);
    }  // ATTRIB: only through its INSERT
    return nullptr;
}

std::unique_ptr<dr::Entity> EntityConverter::mtext(const MTextRec& x) {
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
    return e;
}

std::unique_ptr<dr::Entity> EntityConverter::insert(const InsertRec& x, EntityLinks& links) {
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
    links.block = x.block;
    links.members = x.attributes;
    links.seqEnd = x.seqEnd;
    return e;
}

std::unique_ptr<dr::Entity> EntityConverter::solid(const SolidRec& x) {
    auto e = std::make_unique<dr::Solid>();
    for (int k = 0; k < 4; ++k)
        e->corners[k] = pt(x.corners[k]);
    planar(*e, x.extrusion, x.thickness);
    return e;
}

std::unique_ptr<dr::Entity> EntityConverter::dimension(const DimensionRec& x, EntityLinks& links) {
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
    links.block = x.block;
    links.dimStyle = x.dimStyle;
    return e;
}

std::unique_ptr<dr::Entity> EntityConverter::viewport(const ViewportRec& x, dr::ObjectIndex block,
                                                      EntityLinks& links) {
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
    links.frozenLayers = x.frozenLayers;
    return e;
}

dr::ObjectIndex EntityConverter::style(Handle h) {
    dr::ObjectIndex s = h ? db_.indexFromHandle(h) : 0;
    if (db_.get<dr::TextStyleRecord>(s)) return s;
    s = db_.findTextStyle("Standard");
    if (!s) db_.addTextStyle("Standard", "txt", &s);
    return s;
}

std::unique_ptr<dr::Entity> EntityConverter::lwpolyline(const LwPolylineRec& x) {
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

std::unique_ptr<dr::Entity> EntityConverter::spline(const SplineRec& x) {
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

std::unique_ptr<dr::Entity> EntityConverter::hatch(const HatchRec& x) {
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
