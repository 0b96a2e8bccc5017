#include "curve_reader.h"

#include <algorithm>
#include <cstdlib>

namespace qkshost::dxf::detail {

void CurveReader::line(ObjectIndex block) {
    auto e = std::make_unique<Line>();
    CommonGroups c = common_.parseCommon(*e);
    common_.own(c, [&](const Tag& g) {
        common_.coord(g, 10, e->start) || common_.coord(g, 11, e->end) || common_.planar(*e, g);
        return true;
    });
    common_.fixExtrusion(*e);
    common_.place(std::move(e), block, c);
}

void CurveReader::circle(ObjectIndex block, bool arc) {
    std::unique_ptr<Curve> e;
    Point3d center;
    double r = 0, a0 = 0, a1 = 0;
    if (arc)
        e = std::make_unique<Arc>();
    else
        e = std::make_unique<Circle>();
    CommonGroups c = common_.parseCommon(*e);
    common_.own(c, [&](const Tag& g) {
        if (common_.coord(g, 10, center) || common_.planar(*e, g)) return true;
        if (g.code == 40)
            r = in_.num(g);
        else if (g.code == 50)
            a0 = in_.num(g);
        else if (g.code == 51)
            a1 = in_.num(g);
        return true;
    });
    common_.fixExtrusion(*e);
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
    common_.place(std::move(e), block, c);
}

void CurveReader::ellipse(ObjectIndex block) {
    auto e = std::make_unique<Ellipse>();
    CommonGroups c = common_.parseCommon(*e);
    Point3d major{1, 0, 0};
    common_.own(c, [&](const Tag& g) {
        static constexpr Field<Ellipse> kFields[] = {
            {40, &Ellipse::ratio}, {41, &Ellipse::startParam}, {42, &Ellipse::endParam}};
        common_.coord(g, 10, e->center) || common_.coord(g, 11, major) || common_.planar(*e, g) ||
            common_.assign(*e, g, kFields);
        return true;
    });
    e->majorAxis = {major.x, major.y, major.z};
    common_.fixExtrusion(*e);
    if (!(e->ratio > 1e-9) || e->ratio > 1.0 + 1e-9) {
        in_.warn();
        e->ratio = std::min(1.0, std::max(1e-6, std::fabs(e->ratio)));
    }
    common_.place(std::move(e), block, c);
}

void CurveReader::lwpolyline(ObjectIndex block) {
    auto e = std::make_unique<LwPolyline>();
    CommonGroups c = common_.parseCommon(*e);
    common_.own(c, [&](const Tag& g) {
        if (common_.planar(*e, g)) return true;
        LwVertex* v = e->vertices.empty() ? nullptr : &e->vertices.back();
        switch (g.code) {
            case 10:
                e->vertices.push_back({});
                e->vertices.back().x = in_.num(g);
                if (e->hasConstantWidth)
                    e->vertices.back().startWidth = e->vertices.back().endWidth = e->constantWidth;
                break;
            case 20:
                if (v) v->y = in_.num(g);
                break;
            case 40:
                if (v) v->startWidth = in_.num(g);
                break;
            case 41:
                if (v) v->endWidth = in_.num(g);
                break;
            case 42:
                if (v) v->bulge = in_.num(g);
                break;
            case 43:
                e->constantWidth = in_.num(g);
                e->hasConstantWidth = true;
                break;
            case 38:
                e->elevation = in_.num(g);
                break;
            case 90:  // vertex count: a hint only, bounded by the groups present
                e->vertices.reserve(std::min<std::size_t>(std::max(0, in_.int32(g)), tags_.size()));
                break;
            case 70:
                e->flags = in_.int32(g);
                break;
            default:
                break;
        }
        return true;
    });
    common_.fixExtrusion(*e);
    common_.place(std::move(e), block, c);
}

void CurveReader::polyline(ObjectIndex block) {
    auto e = std::make_unique<Polyline>();
    CommonGroups c = common_.parseCommon(*e);
    common_.own(c, [&](const Tag& g) {
        static constexpr Field<Polyline> kFields[] = {
            {30, &Polyline::elevation}, {70, &Polyline::flags},   {40, &Polyline::startWidth},
            {41, &Polyline::endWidth},  {71, &Polyline::meshM},   {72, &Polyline::meshN},
            {73, &Polyline::smoothM},   {74, &Polyline::smoothN}, {75, &Polyline::curveType}};
        common_.planar(*e, g) || common_.assign(*e, g, kFields);
        return true;
    });
    common_.fixExtrusion(*e);
    ObjectIndex pl = common_.place(std::move(e), block, c);
    Tag t;
    while (true) {
        in_.expectNext(t, "POLYLINE");
        if (t.is(0, "VERTEX")) {
            in_.readRecord("VERTEX");
            auto v = std::make_unique<Vertex>();
            CommonGroups vc = common_.parseCommon(*v);
            common_.own(vc, [&](const Tag& g) {
                static constexpr Field<Vertex> kFields[] = {{40, &Vertex::startWidth},
                                                            {41, &Vertex::endWidth},
                                                            {42, &Vertex::bulge},
                                                            {50, &Vertex::tangent, kDeg},
                                                            {70, &Vertex::flags}};
                if (common_.coord(g, 10, v->position) || common_.assign(*v, g, kFields))
                    return true;
                switch (g.code) {
                    case 71:
                    case 72:
                    case 73:
                    case 74:
                        v->faces[g.code - 71] = in_.int32(g);
                        break;
                    default:
                        break;
                }
                return true;
            });
            ObjectIndex vi = common_.addOwned(std::move(v), pl);
            db_.get<Polyline>(pl)->vertices.push_back(vi);
        } else if (t.is(0, "SEQEND")) {
            in_.readRecord("SEQEND");
            auto s = std::make_unique<SeqEnd>();
            common_.parseCommon(*s);
            db_.get<Polyline>(pl)->seqEnd = common_.addOwned(std::move(s), pl);
            return;
        } else {
            // a polyline without SEQEND: end it here
            in_.warn();
            in_.pushBack(t);
            auto s = std::make_unique<SeqEnd>();
            db_.get<Polyline>(pl)->seqEnd = common_.addOwned(std::move(s), pl);
            return;
        }
    }
}

void CurveReader::spline(ObjectIndex block) {
    auto e = std::make_unique<Spline>();
    CommonGroups c = common_.parseCommon(*e);
    Point3d st, et;
    common_.own(c, [&](const Tag& g) {
        static constexpr Field<Spline> kFields[] = {{70, &Spline::flags},
                                                    {71, &Spline::degree},
                                                    {42, &Spline::knotTolerance},
                                                    {43, &Spline::controlTolerance},
                                                    {44, &Spline::fitTolerance}};
        if (common_.assign(*e, g, kFields)) return true;
        switch (g.code) {
            case 210:
                e->normal.x = in_.num(g);
                break;
            case 220:
                e->normal.y = in_.num(g);
                break;
            case 230:
                e->normal.z = in_.num(g);
                break;
            case 40:
                e->knots.push_back(in_.num(g));
                break;
            case 41:
                e->weights.push_back(in_.num(g));
                break;
            case 10:
                e->controlPoints.push_back({in_.num(g), 0, 0});
                break;
            case 20:
                if (!e->controlPoints.empty()) e->controlPoints.back().y = in_.num(g);
                break;
            case 30:
                if (!e->controlPoints.empty()) e->controlPoints.back().z = in_.num(g);
                break;
            case 11:
                e->fitPoints.push_back({in_.num(g), 0, 0});
                break;
            case 21:
                if (!e->fitPoints.empty()) e->fitPoints.back().y = in_.num(g);
                break;
            case 31:
                if (!e->fitPoints.empty()) e->fitPoints.back().z = in_.num(g);
                break;
            case 12:
                st.x = in_.num(g);
                e->hasStartTangent = true;
                break;
            case 22:
                st.y = in_.num(g);
                break;
            case 32:
                st.z = in_.num(g);
                break;
            case 13:
                et.x = in_.num(g);
                e->hasEndTangent = true;
                break;
            case 23:
                et.y = in_.num(g);
                break;
            case 33:
                et.z = in_.num(g);
                break;
            default:
                break;
        }
        return true;
    });
    e->startTangent = {st.x, st.y, st.z};
    e->endTangent = {et.x, et.y, et.z};
    if (e->degree < 1 || e->degree > 25) {
        in_.warn();
        e->degree = std::max(1, std::min(25, e->degree));
    }
    if (!e->weights.empty() && e->weights.size() != e->controlPoints.size()) {
        in_.warn();
        e->weights.clear();
    }
    common_.place(std::move(e), block, c);
}

void CurveReader::point(ObjectIndex block) {
    auto e = std::make_unique<PointEntity>();
    CommonGroups c = common_.parseCommon(*e);
    common_.own(c, [&](const Tag& g) {
        if (common_.coord(g, 10, e->position) || common_.planar(*e, g)) return true;
        if (g.code == 50) e->angle = in_.num(g) * kDeg;
        return true;
    });
    common_.fixExtrusion(*e);
    common_.place(std::move(e), block, c);
}

void CurveReader::solid(ObjectIndex block) {
    auto e = std::make_unique<Solid>();
    CommonGroups c = common_.parseCommon(*e);
    bool has3 = false;
    common_.own(c, [&](const Tag& g) {
        if (common_.coord(g, 10, e->corners[0]) || common_.coord(g, 11, e->corners[1]) ||
            common_.coord(g, 12, e->corners[2]) || common_.planar(*e, g))
            return true;
        if (common_.coord(g, 13, e->corners[3])) has3 = true;
        return true;
    });
    if (!has3) e->corners[3] = e->corners[2];
    common_.fixExtrusion(*e);
    common_.place(std::move(e), block, c);
}

}  // namespace qkshost::dxf::detail
