#include "entity_writer.h"

namespace qkshost::dxf::detail {

void EntityWriter::blocks() {
    o_.str(0, "SECTION");
    o_.str(2, "BLOCKS");
    for (ObjectIndex bi : db_.blocks()) {
        auto* b = db_.get<BlockRecord>(bi);
        if (b->erased) continue;
        auto mk = ctx_.markers[bi];
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

void EntityWriter::entitiesSection() {
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

void EntityWriter::entity(ObjectIndex i, bool paper) {
    ctx_.flush(false);
    const Object* obj = db_.object(i);
    if (!obj || obj->erased || !obj->isEntity()) return;
    const auto& e = static_cast<const Entity&>(*obj);
    // An arc is written as a circle followed by its angles.
    const auto circle = [&](const auto& c) {
        common_.common(e, paper);
        o_.str(100, "AcDbCircle");
        common_.thickness(c);
        o_.point(10, c.center);
        o_.num(40, c.radius);
        common_.extrusion(c);
    };
    switch (obj->kind()) {
        case Kind::Line: {
            auto& l = static_cast<const Line&>(e);
            common_.common(e, paper);
            o_.str(100, "AcDbLine");
            common_.thickness(l);
            o_.point(10, l.start);
            o_.point(11, l.end);
            common_.extrusion(l);
            break;
        }
        case Kind::Circle:
            circle(static_cast<const Circle&>(e));
            break;
        case Kind::Arc: {
            auto& c = static_cast<const Arc&>(e);
            circle(c);
            o_.str(100, "AcDbArc");
            o_.num(50, c.startAngle * kRadToDeg);
            o_.num(51, c.endAngle * kRadToDeg);
            break;
        }
        case Kind::Ellipse: {
            auto& c = static_cast<const Ellipse&>(e);
            common_.common(e, paper);
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
            curves_.lwpolyline(static_cast<const LwPolyline&>(e), paper);
            break;
        case Kind::Polyline:
            curves_.polyline(static_cast<const Polyline&>(e), paper);
            return;
        case Kind::Spline:
            curves_.spline(static_cast<const Spline&>(e), paper);
            break;
        case Kind::Point: {
            auto& p = static_cast<const PointEntity&>(e);
            common_.common(e, paper);
            o_.str(100, "AcDbPoint");
            o_.point(10, p.position);
            common_.thickness(p);
            common_.extrusion(p);
            if (p.angle != 0) o_.num(50, p.angle * kRadToDeg);
            break;
        }
        case Kind::Text:
        case Kind::Attribute:
        case Kind::AttributeDefinition:
            annotations_.text(static_cast<const TextBase&>(e), paper);
            break;
        case Kind::MText:
            annotations_.mtext(static_cast<const MText&>(e), paper);
            break;
        case Kind::BlockReference:
            annotations_.insert(static_cast<const BlockReference&>(e), paper);
            return;
        case Kind::Solid: {
            auto& s = static_cast<const Solid&>(e);
            common_.common(e, paper);
            o_.str(100, "AcDbTrace");
            for (int k = 0; k < 4; ++k)
                o_.point(10 + k, s.corners[k]);
            common_.thickness(s);
            common_.extrusion(s);
            break;
        }
        case Kind::Hatch:
            if (static_cast<const RawEntity&>(e).tail.empty()) {
                hatches_.hatch(static_cast<const Hatch&>(e), paper);
                break;
            }
            [[fallthrough]];
        case Kind::UnknownEntity: {
            auto& r = static_cast<const RawEntity&>(e);
            common_.common(
                e, paper,
                r.kind() == Kind::Hatch ? std::string_view("HATCH") : std::string_view(r.type));
            for (auto& t : r.tail)
                o_.str(t.code, t.value);
            break;
        }
        case Kind::Dimension:
            annotations_.dimension(static_cast<const Dimension&>(e), paper);
            break;
        case Kind::Viewport:
            annotations_.viewport(static_cast<const Viewport&>(e), paper);
            break;
        default:
            return;
    }
    common_.xdata(e);
}

}  // namespace qkshost::dxf::detail
