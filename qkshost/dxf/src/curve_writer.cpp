#include "curve_writer.h"

namespace qkshost::dxf::detail {

void CurveWriter::lwpolyline(const LwPolyline& p, bool paper) {
    common_.common(p, paper);
    o_.str(100, "AcDbPolyline");
    o_.integer(90, static_cast<long long>(p.vertices.size()));
    o_.integer(70, p.flags);
    bool constant = p.hasConstantWidth;
    for (auto& v : p.vertices)
        if (v.startWidth != p.constantWidth || v.endWidth != p.constantWidth) constant = false;
    if (constant) o_.num(43, p.constantWidth);
    if (p.elevation != 0) o_.num(38, p.elevation);
    common_.thickness(p);
    for (auto& v : p.vertices) {
        o_.num(10, v.x);
        o_.num(20, v.y);
        if (!constant && (v.startWidth != 0 || v.endWidth != 0)) {
            o_.num(40, v.startWidth);
            o_.num(41, v.endWidth);
        }
        if (v.bulge != 0) o_.num(42, v.bulge);
    }
    common_.extrusion(p);
}

void CurveWriter::polyline(const Polyline& p, bool paper) {
    common_.common(p, paper);
    const char* sub = p.flags & 64   ? "AcDbPolyFaceMesh"
                      : p.flags & 16 ? "AcDbPolygonMesh"
                      : p.flags & 8  ? "AcDb3dPolyline"
                                     : "AcDb2dPolyline";
    o_.str(100, sub);
    o_.integer(66, 1);
    o_.point(10, {0, 0, p.elevation});
    common_.thickness(p);
    o_.integer(70, p.flags);
    if (p.startWidth != 0) o_.num(40, p.startWidth);
    if (p.endWidth != 0) o_.num(41, p.endWidth);
    if (p.meshM) o_.integer(71, p.meshM);
    if (p.meshN) o_.integer(72, p.meshN);
    if (p.smoothM) o_.integer(73, p.smoothM);
    if (p.smoothN) o_.integer(74, p.smoothN);
    if (p.curveType) o_.integer(75, p.curveType);
    common_.extrusion(p);
    common_.xdata(p);
    for (ObjectIndex vi : p.vertices) {
        auto* v = db_.get<Vertex>(vi);
        if (!v || v->erased) continue;
        common_.common(*v, paper);
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
        common_.xdata(*v);
    }
    common_.seqend(p.seqEnd, p, paper);
}

void CurveWriter::spline(const Spline& s, bool paper) {
    common_.common(s, paper);
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

}  // namespace qkshost::dxf::detail
