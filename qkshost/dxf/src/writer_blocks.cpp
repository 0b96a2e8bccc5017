// The DXF writer's BLOCKS and ENTITIES sections: the data every entity shares and the entity
// kinds written in a few groups.
#include "writer.h"

namespace qkshost::dxf::detail {

void Writer::blocks() {
    o_.str(0, "SECTION");
    o_.str(2, "BLOCKS");
    for (ObjectIndex bi : db_.blocks()) {
        auto* b = db_.get<BlockRecord>(bi);
        if (b->erased) continue;
        auto mk = markers_[bi];
        bool paper = b->isPaperSpace();
        o_.str(0, "BLOCK");
        o_.handle(5, mk.first);
        o_.handle(330, b->handle);
        o_.str(100, "AcDbEntity");
        if (paper) o_.integer(67, 1);
        o_.str(8, "0");
        o_.str(100, "AcDbBlockBegin");
        o_.str(2, b->name);
        int flags = b->flags & ~1;
        if (b->isAnonymous()) flags |= 1;
        o_.integer(70, flags);
        o_.point(10, b->base);
        o_.str(3, b->name);
        o_.str(1, b->xrefPath);
        if (!b->description.empty()) o_.str(4, b->description);
        if (bi != db_.modelSpace() && bi != db_.paperSpace())
            for (ObjectIndex e : b->entities)
                entity(e, paper);
        o_.str(0, "ENDBLK");
        o_.handle(5, mk.second);
        o_.handle(330, b->handle);
        o_.str(100, "AcDbEntity");
        if (paper) o_.integer(67, 1);
        o_.str(8, "0");
        o_.str(100, "AcDbBlockEnd");
    }
    o_.str(0, "ENDSEC");
}

void Writer::entitiesSection() {
    o_.str(0, "SECTION");
    o_.str(2, "ENTITIES");
    if (auto* m = db_.get<BlockRecord>(db_.modelSpace()))
        for (ObjectIndex e : m->entities)
            entity(e, false);
    if (auto* p = db_.get<BlockRecord>(db_.paperSpace()))
        for (ObjectIndex e : p->entities)
            entity(e, true);
    o_.str(0, "ENDSEC");
}

void Writer::common(const Entity& e, bool paper, std::string_view type) {
    o_.str(0, type.empty() ? std::string_view(e.dxfName()) : type);
    o_.handle(5, e.handle);
    o_.handle(330, h(e.owner));
    o_.str(100, "AcDbEntity");
    if (paper) o_.integer(67, 1);
    o_.str(8, db_.layerName(e));
    if (auto* lt = db_.get<LinetypeRecord>(e.linetype))
        if (!lt->erased) o_.str(6, lt->name);
    if (e.color != 256) o_.integer(62, e.color);
    if (e.trueColor >= 0) o_.integer(420, e.trueColor);
    if (e.lineweight != -1) o_.integer(370, e.lineweight);
    if (e.linetypeScale != 1) o_.num(48, e.linetypeScale);
    if (e.invisible) o_.integer(60, 1);
}

void Writer::entity(ObjectIndex i, bool paper) {
    flush(false);
    const Object* obj = db_.object(i);
    if (!obj || obj->erased || !obj->isEntity()) return;
    const auto& e = static_cast<const Entity&>(*obj);
    switch (obj->kind()) {
        case Kind::Line: {
            auto& l = static_cast<const Line&>(e);
            common(e, paper);
            o_.str(100, "AcDbLine");
            thickness(l);
            o_.point(10, l.start);
            o_.point(11, l.end);
            extrusion(l);
            break;
        }
        case Kind::Circle: {
            auto& c = static_cast<const Circle&>(e);
            common(e, paper);
            o_.str(100, "AcDbCircle");
            thickness(c);
            o_.point(10, c.center);
            o_.num(40, c.radius);
            extrusion(c);
            break;
        }
        case Kind::Arc: {
            auto& c = static_cast<const Arc&>(e);
            common(e, paper);
            o_.str(100, "AcDbCircle");
            thickness(c);
            o_.point(10, c.center);
            o_.num(40, c.radius);
            extrusion(c);
            o_.str(100, "AcDbArc");
            o_.num(50, c.startAngle * kRadToDeg);
            o_.num(51, c.endAngle * kRadToDeg);
            break;
        }
        case Kind::Ellipse: {
            auto& c = static_cast<const Ellipse&>(e);
            common(e, paper);
            o_.str(100, "AcDbEllipse");
            o_.point(10, c.center);
            o_.vec(11, c.majorAxis);
            o_.vec(210, c.extrusion);
            o_.num(40, c.ratio);
            o_.num(41, c.startParam);
            o_.num(42, c.endParam);
            break;
        }
        case Kind::LwPolyline:
            lwpolyline(static_cast<const LwPolyline&>(e), paper);
            break;
        case Kind::Polyline:
            polyline(static_cast<const Polyline&>(e), paper);
            return;
        case Kind::Spline:
            spline(static_cast<const Spline&>(e), paper);
            break;
        case Kind::Point: {
            auto& p = static_cast<const PointEntity&>(e);
            common(e, paper);
            o_.str(100, "AcDbPoint");
            o_.point(10, p.position);
            thickness(p);
            extrusion(p);
            if (p.angle != 0) o_.num(50, p.angle * kRadToDeg);
            break;
        }
        case Kind::Text:
        case Kind::Attribute:
        case Kind::AttributeDefinition:
            text(static_cast<const TextBase&>(e), paper);
            break;
        case Kind::MText:
            mtext(static_cast<const MText&>(e), paper);
            break;
        case Kind::BlockReference:
            insert(static_cast<const BlockReference&>(e), paper);
            return;
        case Kind::Solid: {
            auto& s = static_cast<const Solid&>(e);
            common(e, paper);
            o_.str(100, "AcDbTrace");
            for (int k = 0; k < 4; ++k)
                o_.point(10 + k, s.corners[k]);
            thickness(s);
            extrusion(s);
            break;
        }
        case Kind::Hatch:
            if (static_cast<const RawEntity&>(e).tail.empty()) {
                hatch(static_cast<const Hatch&>(e), paper);
                break;
            }
            [[fallthrough]];
        case Kind::UnknownEntity: {
            auto& r = static_cast<const RawEntity&>(e);
            common(e, paper,
                   r.kind() == Kind::Hatch ? std::string_view("HATCH") : std::string_view(r.type));
            for (auto& t : r.tail)
                o_.str(t.code, t.value);
            break;
        }
        case Kind::Dimension:
            dimension(static_cast<const Dimension&>(e), paper);
            break;
        case Kind::Viewport:
            viewport(static_cast<const Viewport&>(e), paper);
            break;
        default:
            return;
    }
    xdata(e);
}

}  // namespace qkshost::dxf::detail
