// The DXF writer's entity kinds with more than a few groups of their own.
#include "writer.h"

namespace qkshost::dxf::detail {

// A hatch read from anything but DXF has no groups kept: it is written from its structure
// (non-associative, normal style, angles in degrees as the structure holds them).
void Writer::hatch(const Hatch& h, bool paper) {
    using Type = HatchEdge::Type;
    common(h, paper, "HATCH");
    o_.str(100, "AcDbHatch");
    o_.point(10, {0, 0, h.elevation});
    o_.vec(210, h.extrusion);
    o_.str(2, h.patternName);
    o_.integer(70, h.solidFill ? 1 : 0);
    o_.integer(71, 0);
    o_.integer(91, static_cast<long long>(h.loops.size()));
    for (const HatchLoop& l : h.loops) {
        o_.integer(92, l.flags);
        if (l.isPolyline()) {
            o_.integer(72, l.hasBulge ? 1 : 0);
            o_.integer(73, l.closed ? 1 : 0);
            o_.integer(93, static_cast<long long>(l.vertices.size()));
            for (const HatchVertex& v : l.vertices) {
                o_.point(10, {v.x, v.y, 0}, false);
                if (l.hasBulge) o_.num(42, v.bulge);
            }
        } else {
            o_.integer(93, static_cast<long long>(l.edges.size()));
            for (const HatchEdge& d : l.edges) {
                o_.integer(72, d.type == Type::Other ? 1 : int(d.type));
                if (d.type == Type::Spline) {
                    o_.integer(94, d.degree);
                    o_.integer(73, d.rational ? 1 : 0);
                    o_.integer(74, d.periodic ? 1 : 0);
                    o_.integer(95, static_cast<long long>(d.knots.size()));
                    o_.integer(96, static_cast<long long>(d.controlPoints.size()));
                    for (double k : d.knots)
                        o_.num(40, k);
                    for (std::size_t k = 0; k < d.controlPoints.size(); ++k) {
                        o_.point(10, d.controlPoints[k], false);
                        if (d.rational && k < d.weights.size()) o_.num(42, d.weights[k]);
                    }
                    o_.integer(97, 0);
                } else if (d.type == Type::CircularArc || d.type == Type::EllipticArc) {
                    o_.point(10, d.centre, false);
                    if (d.type == Type::EllipticArc)
                        o_.point(11, {d.majorAxis.x, d.majorAxis.y, 0}, false);
                    o_.num(40, d.radius);
                    o_.num(50, d.startAngle);
                    o_.num(51, d.endAngle);
                    o_.integer(73, d.counterClockwise ? 1 : 0);
                } else {
                    o_.point(10, d.start, false);
                    o_.point(11, d.end, false);
                }
            }
        }
        o_.integer(97, 0);
    }
    o_.integer(75, 0);
    o_.integer(76, 1);
    if (!h.solidFill) {
        o_.num(52, h.patternAngle);
        o_.num(41, h.patternScale);
        o_.integer(77, 0);
        o_.integer(78, static_cast<long long>(h.patternLines.size()));
        for (const HatchPatternLine& l : h.patternLines) {
            o_.num(53, l.angle);
            o_.num(43, l.base.x);
            o_.num(44, l.base.y);
            o_.num(45, l.offset.x);
            o_.num(46, l.offset.y);
            o_.integer(79, static_cast<long long>(l.dashes.size()));
            for (double d : l.dashes)
                o_.num(49, d);
        }
    }
    o_.integer(98, 0);
}

void Writer::lwpolyline(const LwPolyline& p, bool paper) {
    common(p, paper);
    o_.str(100, "AcDbPolyline");
    o_.integer(90, static_cast<long long>(p.vertices.size()));
    o_.integer(70, p.flags);
    bool constant = p.hasConstantWidth;
    for (auto& v : p.vertices)
        if (v.startWidth != p.constantWidth || v.endWidth != p.constantWidth) constant = false;
    if (constant) o_.num(43, p.constantWidth);
    if (p.elevation != 0) o_.num(38, p.elevation);
    thickness(p);
    for (auto& v : p.vertices) {
        o_.num(10, v.x);
        o_.num(20, v.y);
        if (!constant && (v.startWidth != 0 || v.endWidth != 0)) {
            o_.num(40, v.startWidth);
            o_.num(41, v.endWidth);
        }
        if (v.bulge != 0) o_.num(42, v.bulge);
    }
    extrusion(p);
}

void Writer::polyline(const Polyline& p, bool paper) {
    common(p, paper);
    const char* sub = p.flags & 64   ? "AcDbPolyFaceMesh"
                      : p.flags & 16 ? "AcDbPolygonMesh"
                      : p.flags & 8  ? "AcDb3dPolyline"
                                     : "AcDb2dPolyline";
    o_.str(100, sub);
    o_.integer(66, 1);
    o_.point(10, {0, 0, p.elevation});
    thickness(p);
    o_.integer(70, p.flags);
    if (p.startWidth != 0) o_.num(40, p.startWidth);
    if (p.endWidth != 0) o_.num(41, p.endWidth);
    if (p.meshM) o_.integer(71, p.meshM);
    if (p.meshN) o_.integer(72, p.meshN);
    if (p.smoothM) o_.integer(73, p.smoothM);
    if (p.smoothN) o_.integer(74, p.smoothN);
    if (p.curveType) o_.integer(75, p.curveType);
    extrusion(p);
    xdata(p);
    for (ObjectIndex vi : p.vertices) {
        auto* v = db_.get<Vertex>(vi);
        if (!v || v->erased) continue;
        common(*v, paper);
        o_.str(100, "AcDbVertex");
        bool face = (p.flags & 64) && (v->flags & 128) && !(v->flags & 64);
        const char* vs = face           ? "AcDbFaceRecord"
                         : p.flags & 64 ? "AcDbPolyFaceMeshVertex"
                         : p.flags & 16 ? "AcDbPolygonMeshVertex"
                         : p.flags & 8  ? "AcDb3dPolylineVertex"
                                        : "AcDb2dVertex";
        o_.str(100, vs);
        o_.point(10, face ? Point3d{} : v->position);
        if (v->startWidth != 0) o_.num(40, v->startWidth);
        if (v->endWidth != 0) o_.num(41, v->endWidth);
        if (v->bulge != 0) o_.num(42, v->bulge);
        o_.integer(70, v->flags);
        if (v->tangent != 0) o_.num(50, v->tangent * kRadToDeg);
        if (face)
            for (int k = 0; k < 4; ++k)
                if (v->faces[k] || k < 3) o_.integer(71 + k, v->faces[k]);
        xdata(*v);
    }
    seqend(p.seqEnd, p, paper);
}

void Writer::seqend(ObjectIndex si, const Entity& owner, bool paper) {
    auto* s = db_.get<SeqEnd>(si);
    o_.str(0, "SEQEND");
    o_.handle(5, s && !s->erased ? s->handle : seed_++);
    o_.handle(330, owner.handle);
    o_.str(100, "AcDbEntity");
    if (paper) o_.integer(67, 1);
    o_.str(8, db_.layerName(owner));
}

void Writer::spline(const Spline& s, bool paper) {
    common(s, paper);
    o_.str(100, "AcDbSpline");
    if (s.normal.x != 0 || s.normal.y != 0 || s.normal.z != 0) o_.vec(210, s.normal);
    o_.integer(70, s.flags);
    o_.integer(71, s.degree);
    o_.integer(72, static_cast<long long>(s.knots.size()));
    o_.integer(73, static_cast<long long>(s.controlPoints.size()));
    o_.integer(74, static_cast<long long>(s.fitPoints.size()));
    o_.num(42, s.knotTolerance);
    o_.num(43, s.controlTolerance);
    o_.num(44, s.fitTolerance);
    if (s.hasStartTangent) o_.vec(12, s.startTangent);
    if (s.hasEndTangent) o_.vec(13, s.endTangent);
    for (double k : s.knots)
        o_.num(40, k);
    for (double w : s.weights)
        o_.num(41, w);
    for (auto& p : s.controlPoints)
        o_.point(10, p);
    for (auto& p : s.fitPoints)
        o_.point(11, p);
}

void Writer::text(const TextBase& t, bool paper) {
    common(t, paper);
    o_.str(100, "AcDbText");
    thickness(t);
    o_.point(10, t.position);
    o_.num(40, t.height);
    o_.str(1, t.text);
    if (t.rotation != 0) o_.num(50, t.rotation * kRadToDeg);
    if (t.widthFactor != 1) o_.num(41, t.widthFactor);
    if (t.oblique != 0) o_.num(51, t.oblique * kRadToDeg);
    o_.str(7, styleName(t.style));
    if (t.generation) o_.integer(71, t.generation);
    if (t.hAlign) o_.integer(72, t.hAlign);
    if (t.hasAlignment) o_.point(11, t.alignment);
    extrusion(t);
    if (t.kind() == Kind::Text) {
        o_.str(100, "AcDbText");
        if (t.vAlign) o_.integer(73, t.vAlign);
    } else if (t.kind() == Kind::Attribute) {
        auto& a = static_cast<const Attribute&>(t);
        o_.str(100, "AcDbAttribute");
        o_.integer(280, 0);
        o_.str(2, a.tag);
        o_.integer(70, a.attribFlags);
        if (a.fieldLength) o_.integer(73, a.fieldLength);
        if (t.vAlign) o_.integer(74, t.vAlign);
    } else {
        auto& a = static_cast<const AttributeDefinition&>(t);
        o_.str(100, "AcDbAttributeDefinition");
        o_.integer(280, 0);
        o_.str(3, a.prompt);
        o_.str(2, a.tag);
        o_.integer(70, a.attribFlags);
        if (a.fieldLength) o_.integer(73, a.fieldLength);
        if (t.vAlign) o_.integer(74, t.vAlign);
    }
}

std::string Writer::styleName(ObjectIndex s) {
    auto* st = db_.get<TextStyleRecord>(s);
    return st && !st->erased ? st->name : "Standard";
}

void Writer::mtext(const MText& m, bool paper) {
    common(m, paper);
    o_.str(100, "AcDbMText");
    o_.point(10, m.position);
    o_.num(40, m.height);
    o_.num(41, m.width);
    o_.integer(71, m.attachment);
    o_.integer(72, m.drawingDirection);
    // chunks of at most 250 bytes, never splitting a UTF-8 sequence
    std::string_view rest = m.text;
    while (rest.size() > 250) {
        std::size_t n = 250;
        while (n > 0 && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80)
            --n;
        if (n == 0) n = 250;
        o_.str(3, rest.substr(0, n));
        rest.remove_prefix(n);
    }
    o_.str(1, rest);
    o_.str(7, styleName(m.style));
    extrusion(m);
    o_.vec(11, m.direction);
    o_.integer(73, m.lineSpacingStyle);
    o_.num(44, m.lineSpacing);
}

void Writer::insert(const BlockReference& r, bool paper) {
    common(r, paper);
    o_.str(100, "AcDbBlockReference");
    bool attribs = false;
    for (ObjectIndex a : r.attributes)
        if (auto* ao = db_.object(a); ao && !ao->erased) attribs = true;
    if (attribs) o_.integer(66, 1);
    o_.str(2, db_.blockName(r.block));
    o_.point(10, r.position);
    if (r.scaleX != 1) o_.num(41, r.scaleX);
    if (r.scaleY != 1) o_.num(42, r.scaleY);
    if (r.scaleZ != 1) o_.num(43, r.scaleZ);
    if (r.rotation != 0) o_.num(50, r.rotation * kRadToDeg);
    if (r.columns > 1) o_.integer(70, r.columns);
    if (r.rows > 1) o_.integer(71, r.rows);
    if (r.columnSpacing != 0) o_.num(44, r.columnSpacing);
    if (r.rowSpacing != 0) o_.num(45, r.rowSpacing);
    extrusion(r);
    xdata(r);
    if (!attribs) return;
    for (ObjectIndex a : r.attributes)
        entity(a, paper);
    seqend(r.seqEnd, r, paper);
}

void Writer::dimension(const Dimension& d, bool paper) {
    common(d, paper);
    o_.str(100, "AcDbDimension");
    o_.integer(280, 0);
    if (auto* b = db_.get<BlockRecord>(d.block))
        if (!b->erased) o_.str(2, b->name);
    o_.point(10, d.defPoint);
    o_.point(11, d.textMid);
    o_.integer(70, d.dimType);
    o_.integer(71, d.attachment);
    o_.integer(72, d.lineSpacingStyle);
    o_.num(41, d.lineSpacing);
    if (d.measurement != 0) o_.num(42, d.measurement);
    o_.str(1, d.text);
    if (d.textRotation != 0) o_.num(53, d.textRotation * kRadToDeg);
    extrusion(d);
    auto* ds = db_.get<DimStyleRecord>(d.dimStyle);
    o_.str(3, ds && !ds->erased ? ds->name : "Standard");
    switch (d.dimType & 0x0F) {
        case 0:
        case 1:
            o_.str(100, "AcDbAlignedDimension");
            o_.point(12, d.insertPoint);
            o_.point(13, d.p13);
            o_.point(14, d.p14);
            if ((d.dimType & 0x0F) == 0) {
                o_.num(50, d.angle * kRadToDeg);
                if (d.oblique != 0) o_.num(52, d.oblique * kRadToDeg);
                o_.str(100, "AcDbRotatedDimension");
            } else if (d.oblique != 0) {
                o_.num(52, d.oblique * kRadToDeg);
            }
            break;
        case 2:
            o_.str(100, "AcDb2LineAngularDimension");
            o_.point(13, d.p13);
            o_.point(14, d.p14);
            o_.point(15, d.p15);
            o_.point(16, d.p16);
            break;
        case 3:
        case 4:
            o_.str(100, (d.dimType & 0x0F) == 3 ? "AcDbDiametricDimension" : "AcDbRadialDimension");
            o_.point(15, d.p15);
            o_.num(40, d.leaderLength);
            break;
        case 5:
            o_.str(100, "AcDb3PointAngularDimension");
            o_.point(13, d.p13);
            o_.point(14, d.p14);
            o_.point(15, d.p15);
            break;
        case 6:
            o_.str(100, "AcDbOrdinateDimension");
            o_.point(13, d.p13);
            o_.point(14, d.p14);
            break;
        default:
            break;
    }
}

void Writer::viewport(const Viewport& v, bool paper) {
    common(v, paper);
    o_.str(100, "AcDbViewport");
    o_.point(10, v.center);
    o_.num(40, v.width);
    o_.num(41, v.height);
    o_.integer(68, v.status);
    o_.integer(69, v.id);
    o_.point(12, v.viewCenter, false);
    o_.point(13, {0, 0, 0}, false);
    o_.point(14, {10, 10, 0}, false);
    o_.point(15, {10, 10, 0}, false);
    o_.vec(16, v.viewDirection);
    o_.point(17, v.viewTarget);
    o_.num(42, v.lensLength);
    o_.num(43, 0);
    o_.num(44, 0);
    o_.num(45, v.viewHeight);
    o_.num(50, 0);
    o_.num(51, v.twist * kRadToDeg);
    o_.integer(72, 1000);
    for (ObjectIndex l : v.frozenLayers)
        if (const Object* layer = db_.get<LayerRecord>(l)) o_.handle(331, layer->handle);
    o_.integer(90, v.flags);
    o_.integer(281, v.renderMode);
    o_.integer(71, 1);
    o_.integer(74, 0);
    o_.point(110, {0, 0, 0});
    o_.vec(111, {1, 0, 0});
    o_.vec(112, {0, 1, 0});
    o_.integer(79, 0);
    o_.num(146, 0);
    o_.integer(170, 0);
}

}  // namespace qkshost::dxf::detail
