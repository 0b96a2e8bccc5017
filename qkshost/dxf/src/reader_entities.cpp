#include "reader.h"

#include <algorithm>
#include <cstdlib>

namespace qkshost::dxf::detail {

void Reader::line_(ObjectIndex block) {
    auto e = std::make_unique<Line>();
    Common c = parseCommon(*e);
    own(c, [&](const Tag& g) {
        coord(g, 10, e->start) || coord(g, 11, e->end) || planar(*e, g);
        return true;
    });
    fixExtrusion(*e);
    place(std::move(e), block, c);
}

void Reader::circle(ObjectIndex block, bool arc) {
    std::unique_ptr<Curve> e;
    Point3d center;
    double r = 0, a0 = 0, a1 = 0;
    if (arc)
        e = std::make_unique<Arc>();
    else
        e = std::make_unique<Circle>();
    Common c = parseCommon(*e);
    own(c, [&](const Tag& g) {
        if (coord(g, 10, center) || planar(*e, g)) return true;
        if (g.code == 40)
            r = num(g);
        else if (g.code == 50)
            a0 = num(g);
        else if (g.code == 51)
            a1 = num(g);
        return true;
    });
    fixExtrusion(*e);
    if (arc) {
        auto* a = static_cast<Arc*>(e.get());
        a->center = center;
        a->radius = r;
        a->startAngle = a0 * kDeg;
        a->endAngle = a1 * kDeg;
    } else {
        auto* ci = static_cast<Circle*>(e.get());
        ci->center = center;
        ci->radius = r;
    }
    place(std::move(e), block, c);
}

void Reader::ellipse(ObjectIndex block) {
    auto e = std::make_unique<Ellipse>();
    Common c = parseCommon(*e);
    Point3d major{1, 0, 0};
    own(c, [&](const Tag& g) {
        static constexpr Field<Ellipse> kFields[] = {
            {40, &Ellipse::ratio}, {41, &Ellipse::startParam}, {42, &Ellipse::endParam}};
        coord(g, 10, e->center) || coord(g, 11, major) || planar(*e, g) || assign(*e, g, kFields);
        return true;
    });
    e->majorAxis = {major.x, major.y, major.z};
    fixExtrusion(*e);
    if (!(e->ratio > 1e-9) || e->ratio > 1.0 + 1e-9) {
        ++warnings_;
        e->ratio = std::min(1.0, std::max(1e-6, std::fabs(e->ratio)));
    }
    place(std::move(e), block, c);
}

void Reader::lwpolyline(ObjectIndex block) {
    auto e = std::make_unique<LwPolyline>();
    Common c = parseCommon(*e);
    own(c, [&](const Tag& g) {
        if (planar(*e, g)) return true;
        LwVertex* v = e->vertices.empty() ? nullptr : &e->vertices.back();
        switch (g.code) {
            case 10:
                e->vertices.push_back({});
                e->vertices.back().x = num(g);
                if (e->hasConstantWidth)
                    e->vertices.back().startWidth = e->vertices.back().endWidth = e->constantWidth;
                break;
            case 20:
                if (v) v->y = num(g);
                break;
            case 40:
                if (v) v->startWidth = num(g);
                break;
            case 41:
                if (v) v->endWidth = num(g);
                break;
            case 42:
                if (v) v->bulge = num(g);
                break;
            case 43:
                e->constantWidth = num(g);
                e->hasConstantWidth = true;
                break;
            case 38:
                e->elevation = num(g);
                break;
            case 90:  // vertex count: a hint only, bounded by the groups present
                e->vertices.reserve(std::min<std::size_t>(std::max(0, int32(g)), buf_.size()));
                break;
            case 70:
                e->flags = int32(g);
                break;
            default:
                break;
        }
        return true;
    });
    fixExtrusion(*e);
    place(std::move(e), block, c);
}

void Reader::polyline(ObjectIndex block) {
    auto e = std::make_unique<Polyline>();
    Common c = parseCommon(*e);
    own(c, [&](const Tag& g) {
        static constexpr Field<Polyline> kFields[] = {
            {30, &Polyline::elevation}, {70, &Polyline::flags},   {40, &Polyline::startWidth},
            {41, &Polyline::endWidth},  {71, &Polyline::meshM},   {72, &Polyline::meshN},
            {73, &Polyline::smoothM},   {74, &Polyline::smoothN}, {75, &Polyline::curveType}};
        planar(*e, g) || assign(*e, g, kFields);
        return true;
    });
    fixExtrusion(*e);
    ObjectIndex pl = place(std::move(e), block, c);
    Tag t;
    while (true) {
        expectNext(t, "POLYLINE");
        if (t.is(0, "VERTEX")) {
            collect(buf_, "VERTEX");
            auto v = std::make_unique<Vertex>();
            Common vc = parseCommon(*v);
            own(vc, [&](const Tag& g) {
                static constexpr Field<Vertex> kFields[] = {{40, &Vertex::startWidth},
                                                            {41, &Vertex::endWidth},
                                                            {42, &Vertex::bulge},
                                                            {50, &Vertex::tangent, kDeg},
                                                            {70, &Vertex::flags}};
                if (coord(g, 10, v->position) || assign(*v, g, kFields)) return true;
                switch (g.code) {
                    case 71:
                    case 72:
                    case 73:
                    case 74:
                        v->faces[g.code - 71] = int32(g);
                        break;
                    default:
                        break;
                }
                return true;
            });
            ObjectIndex vi = addOwned(std::move(v), pl);
            db_.get<Polyline>(pl)->vertices.push_back(vi);
        } else if (t.is(0, "SEQEND")) {
            collect(buf_, "SEQEND");
            auto s = std::make_unique<SeqEnd>();
            parseCommon(*s);
            db_.get<Polyline>(pl)->seqEnd = addOwned(std::move(s), pl);
            return;
        } else {
            // a polyline without SEQEND: end it here
            ++warnings_;
            tok_.pushBack(t);
            auto s = std::make_unique<SeqEnd>();
            db_.get<Polyline>(pl)->seqEnd = addOwned(std::move(s), pl);
            return;
        }
    }
}

void Reader::spline(ObjectIndex block) {
    auto e = std::make_unique<Spline>();
    Common c = parseCommon(*e);
    Point3d st, et;
    own(c, [&](const Tag& g) {
        static constexpr Field<Spline> kFields[] = {{70, &Spline::flags},
                                                    {71, &Spline::degree},
                                                    {42, &Spline::knotTolerance},
                                                    {43, &Spline::controlTolerance},
                                                    {44, &Spline::fitTolerance}};
        if (assign(*e, g, kFields)) return true;
        switch (g.code) {
            case 210:
                e->normal.x = num(g);
                break;
            case 220:
                e->normal.y = num(g);
                break;
            case 230:
                e->normal.z = num(g);
                break;
            case 40:
                e->knots.push_back(num(g));
                break;
            case 41:
                e->weights.push_back(num(g));
                break;
            case 10:
                e->controlPoints.push_back({num(g), 0, 0});
                break;
            case 20:
                if (!e->controlPoints.empty()) e->controlPoints.back().y = num(g);
                break;
            case 30:
                if (!e->controlPoints.empty()) e->controlPoints.back().z = num(g);
                break;
            case 11:
                e->fitPoints.push_back({num(g), 0, 0});
                break;
            case 21:
                if (!e->fitPoints.empty()) e->fitPoints.back().y = num(g);
                break;
            case 31:
                if (!e->fitPoints.empty()) e->fitPoints.back().z = num(g);
                break;
            case 12:
                st.x = num(g);
                e->hasStartTangent = true;
                break;
            case 22:
                st.y = num(g);
                break;
            case 32:
                st.z = num(g);
                break;
            case 13:
                et.x = num(g);
                e->hasEndTangent = true;
                break;
            case 23:
                et.y = num(g);
                break;
            case 33:
                et.z = num(g);
                break;
            default:
                break;
        }
        return true;
    });
    e->startTangent = {st.x, st.y, st.z};
    e->endTangent = {et.x, et.y, et.z};
    if (e->degree < 1 || e->degree > 25) {
        ++warnings_;
        e->degree = std::max(1, std::min(25, e->degree));
    }
    if (!e->weights.empty() && e->weights.size() != e->controlPoints.size()) {
        ++warnings_;
        e->weights.clear();
    }
    place(std::move(e), block, c);
}

void Reader::point(ObjectIndex block) {
    auto e = std::make_unique<PointEntity>();
    Common c = parseCommon(*e);
    own(c, [&](const Tag& g) {
        if (coord(g, 10, e->position) || planar(*e, g)) return true;
        if (g.code == 50) e->angle = num(g) * kDeg;
        return true;
    });
    fixExtrusion(*e);
    place(std::move(e), block, c);
}

ObjectIndex Reader::defaultStyle() {
    ObjectIndex i = db_.findTextStyle("Standard");
    if (!i) db_.addTextStyle("Standard", "txt", &i);
    return i;
}

void Reader::mtext(ObjectIndex block) {
    auto e = std::make_unique<MText>();
    Common c = parseCommon(*e);
    std::string chunks;
    std::string last;
    bool hasDirection = false;
    Point3d dir;
    own(c, [&](const Tag& g) {
        if (g.code == 101) return false;
        if (coord(g, 10, e->position)) return true;
        if (coord(g, 11, dir)) {
            hasDirection = true;
            return true;
        }
        static constexpr Field<MText> kFields[] = {
            {40, &MText::height},          {41, &MText::width},      {44, &MText::lineSpacing},
            {50, &MText::rotation, kDeg},  {71, &MText::attachment}, {72, &MText::drawingDirection},
            {73, &MText::lineSpacingStyle}};
        if (planar(*e, g) || assign(*e, g, kFields)) return true;
        switch (g.code) {
            case 1:
                last = str(g);
                break;
            case 3:
                chunks += str(g);
                break;
            case 7:
                e->style = styleFor(g);
                break;
            default:
                break;
        }
        return true;
    });
    fixExtrusion(*e);
    e->text = chunks + last;
    if (hasDirection && (dir.x != 0 || dir.y != 0 || dir.z != 0)) {
        e->direction = {dir.x, dir.y, dir.z};
        e->rotation = 0;
    } else {
        // rotation angle in the OCS of the extrusion
        Vector3d ax = ocsXAxis(e->extrusion);
        Vector3d ay = cross(e->extrusion, ax);
        double cs = std::cos(e->rotation), sn = std::sin(e->rotation);
        e->direction = {ax.x * cs + ay.x * sn, ax.y * cs + ay.y * sn, ax.z * cs + ay.z * sn};
    }
    if (e->attachment < 1 || e->attachment > 9) e->attachment = 1;
    if (!e->style) e->style = defaultStyle();
    place(std::move(e), block, c);
}

Vector3d Reader::cross(const Vector3d& a, const Vector3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vector3d Reader::ocsXAxis(const Vector3d& n) {
    Vector3d ax = (std::fabs(n.x) < 1.0 / 64 && std::fabs(n.y) < 1.0 / 64) ? cross({0, 1, 0}, n)
                                                                           : cross({0, 0, 1}, n);
    double l = std::sqrt(ax.x * ax.x + ax.y * ax.y + ax.z * ax.z);
    return {ax.x / l, ax.y / l, ax.z / l};
}

void Reader::insert(ObjectIndex block) {
    auto e = std::make_unique<BlockReference>();
    Common c = parseCommon(*e);
    std::string name;
    own(c, [&](const Tag& g) {
        static constexpr Field<BlockReference> kFields[] = {
            {41, &BlockReference::scaleX},        {42, &BlockReference::scaleY},
            {43, &BlockReference::scaleZ},        {50, &BlockReference::rotation, kDeg},
            {44, &BlockReference::columnSpacing}, {45, &BlockReference::rowSpacing}};
        if (coord(g, 10, e->position) || planar(*e, g) || assign(*e, g, kFields)) return true;
        switch (g.code) {
            case 2:
                name = str(g);
                break;
            case 70:
                e->columns = std::max(1, int32(g));
                break;
            case 71:
                e->rows = std::max(1, int32(g));
                break;
            default:
                break;
        }
        return true;
    });
    fixExtrusion(*e);
    ObjectIndex ins = place(std::move(e), block, c);
    pendingBlockNames_.push_back({ins, std::move(name)});
    Tag t;
    // attributes follow until SEQEND (the 66 flag is not trusted either way)
    bool sawAttrib = false;
    while (true) {
        expectNext(t, "INSERT");
        if (t.is(0, "ATTRIB")) {
            collect(buf_, "ATTRIB");
            Common ac;
            auto a = parseText<Attribute>(ac);
            ObjectIndex ai = addOwned(std::move(a), ins);
            db_.get<BlockReference>(ins)->attributes.push_back(ai);
            sawAttrib = true;
        } else if (t.is(0, "SEQEND") && sawAttrib) {
            collect(buf_, "SEQEND");
            auto s = std::make_unique<SeqEnd>();
            parseCommon(*s);
            db_.get<BlockReference>(ins)->seqEnd = addOwned(std::move(s), ins);
            return;
        } else {
            tok_.pushBack(t);
            if (sawAttrib) {
                ++warnings_;
                db_.get<BlockReference>(ins)->seqEnd = addOwned(std::make_unique<SeqEnd>(), ins);
            }
            return;
        }
    }
}

void Reader::solid(ObjectIndex block) {
    auto e = std::make_unique<Solid>();
    Common c = parseCommon(*e);
    bool has3 = false;
    own(c, [&](const Tag& g) {
        if (coord(g, 10, e->corners[0]) || coord(g, 11, e->corners[1]) ||
            coord(g, 12, e->corners[2]) || planar(*e, g))
            return true;
        if (coord(g, 13, e->corners[3])) has3 = true;
        return true;
    });
    if (!has3) e->corners[3] = e->corners[2];
    fixExtrusion(*e);
    place(std::move(e), block, c);
}

void Reader::dimension(ObjectIndex block) {
    auto e = std::make_unique<Dimension>();
    Common c = parseCommon(*e);
    std::string name, style;
    own(c, [&](const Tag& g) {
        if (coord(g, 10, e->defPoint) || coord(g, 11, e->textMid) || coord(g, 12, e->insertPoint) ||
            coord(g, 13, e->p13) || coord(g, 14, e->p14) || coord(g, 15, e->p15) ||
            coord(g, 16, e->p16) || planar(*e, g))
            return true;
        static constexpr Field<Dimension> kFields[] = {
            {70, &Dimension::dimType},          {71, &Dimension::attachment},
            {72, &Dimension::lineSpacingStyle}, {41, &Dimension::lineSpacing},
            {42, &Dimension::measurement},      {50, &Dimension::angle, kDeg},
            {52, &Dimension::oblique, kDeg},    {53, &Dimension::textRotation, kDeg},
            {40, &Dimension::leaderLength}};
        if (assign(*e, g, kFields)) return true;
        switch (g.code) {
            case 2:
                name = str(g);
                break;
            case 3:
                style = str(g);
                break;
            case 1:
                e->text = str(g);
                break;
            default:
                break;
        }
        return true;
    });
    fixExtrusion(*e);
    e->dimStyle = db_.findDimStyle(style.empty() ? "Standard" : style);
    ObjectIndex i = place(std::move(e), block, c);
    if (!name.empty()) pendingBlockNames_.push_back({i, std::move(name)});
}

void Reader::viewport(ObjectIndex block) {
    auto e = std::make_unique<Viewport>();
    Common c = parseCommon(*e);
    Point3d dir{0, 0, 1}, target;
    std::vector<Handle> frozen;
    own(c, [&](const Tag& g) {
        static constexpr Field<Viewport> kFields[] = {
            {40, &Viewport::width},       {41, &Viewport::height},
            {68, &Viewport::status},      {69, &Viewport::id},
            {42, &Viewport::lensLength},  {45, &Viewport::viewHeight},
            {51, &Viewport::twist, kDeg}, {90, &Viewport::flags},
            {281, &Viewport::renderMode}};
        if (coord(g, 10, e->center) || coord(g, 17, target) || coord(g, 16, dir) ||
            assign(*e, g, kFields))
            return true;
        switch (g.code) {
            case 12:
                e->viewCenter.x = num(g);
                break;
            case 22:
                e->viewCenter.y = num(g);
                break;
            case 331:  // frozen layers; older writers used 341
            case 341:
                if (Handle h = handle(g)) frozen.push_back(h);
                break;
            default:
                break;
        }
        return true;
    });
    e->viewDirection = {dir.x, dir.y, dir.z};
    e->viewTarget = target;
    ObjectIndex placed = place(std::move(e), block, c);
    for (Handle h : frozen)
        pendingViewportLayer_.push_back({placed, h});
}

void Reader::unknown(std::string type, ObjectIndex block) {
    auto e = std::make_unique<UnknownEntity>();
    e->type = std::move(type);
    Common c = parseCommon(*e);
    fillTail(*e, c);
    for (auto& t : e->tail)
        if ((t.code >= 320 && t.code <= 369) || (t.code >= 390 && t.code <= 399) || t.code == 480 ||
            t.code == 481)
            e->hasPointers = true;
    place(std::move(e), block, c);
}

}  // namespace qkshost::dxf::detail
