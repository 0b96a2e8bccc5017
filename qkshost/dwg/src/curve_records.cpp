#include <cmath>

#include "curve_records.h"

namespace qkshost::dwg {

void CurveRecordDecoder::decodeBlock(Record& record, int) {
    record.data = BlockBegin{in_.readText()};
}

void CurveRecordDecoder::decodeEndblk(Record& record, int) {
    record.data = BlockEnd{};
}

void CurveRecordDecoder::decodeSeqend(Record& record, int) {
    record.data = SeqEndRec{};
}

void CurveRecordDecoder::decodeLine(Record& record, int) {
    LineRec line;
    if (in_.version <= R14) {
        line.start = in_.data().BD3();
        line.end = in_.data().BD3();
    } else {
        const bool zIsZero = in_.data().B();
        line.start.x = in_.data().RD();
        line.end.x = in_.data().DD(line.start.x);
        line.start.y = in_.data().RD();
        line.end.y = in_.data().DD(line.start.y);
        if (!zIsZero) {
            line.start.z = in_.data().RD();
            line.end.z = in_.data().DD(line.start.z);
        }
    }
    line.thickness = in_.data().BT();
    line.extrusion = in_.data().BE();
    record.data = line;
}

void CurveRecordDecoder::decodeCircle(Record& record, int type) {
    CircleRec circle;
    circle.center = in_.data().BD3();
    circle.radius = in_.data().BD();
    circle.thickness = in_.data().BT();
    circle.extrusion = in_.data().BE();
    circle.isArc = type == kArc;
    if (circle.isArc) {
        circle.startAngle = in_.data().BD();
        circle.endAngle = in_.data().BD();
    } else {
        circle.endAngle = 2 * M_PI;
    }
    record.data = circle;
}

void CurveRecordDecoder::decodePoint(Record& record, int) {
    PointRec point;
    point.position = in_.data().BD3();
    point.thickness = in_.data().BT();
    point.extrusion = in_.data().BE();
    point.angle = in_.data().BD();
    record.data = point;
}

void CurveRecordDecoder::decodeEllipse(Record& record, int) {
    EllipseRec ellipse;
    ellipse.center = in_.data().BD3();
    ellipse.majorAxis = in_.data().BD3();
    ellipse.extrusion = in_.data().BD3();
    ellipse.ratio = in_.data().BD();
    ellipse.startParam = in_.data().BD();
    ellipse.endParam = in_.data().BD();
    record.data = ellipse;
}

void CurveRecordDecoder::decodeVertex(Record& record, int type) {
    VertexRec vertex;
    if (type == kVertexPfaceFace) {  // a face: four vertex numbers, no flags nor position
        vertex.flags = kVertexOfPolyface;
        vertex.is3d = true;
        for (int& face : vertex.faces)
            face = std::int16_t(in_.data().BS());
        record.data = vertex;
        return;
    }
    vertex.flags = in_.data().RC();
    vertex.position = in_.data().BD3();
    if (type == kVertex2d) {
        vertex.startWidth = in_.data().BD();
        if (vertex.startWidth < 0)  // a negative start width stands for both
            vertex.endWidth = vertex.startWidth = -vertex.startWidth;
        else
            vertex.endWidth = in_.data().BD();
        vertex.bulge = in_.data().BD();
        if (in_.version >= R2010) in_.data().BL();  // vertex id
        vertex.tangent = in_.data().BD();
    } else {
        vertex.is3d = true;
        // DXF marks what kind of polyline a vertex belongs to
        if (type == kVertexMesh) vertex.flags |= kVertexOfMesh;
        if (type == kVertexPface) vertex.flags |= kVertexOfMesh | kVertexOfPolyface;
    }
    record.data = vertex;
}

void CurveRecordDecoder::decodePolyline(Record& record, int type) {
    PolylineRec polyline;
    if (type == kPolyline2d) {
        polyline.flags = in_.data().BS();
        polyline.curveType = in_.data().BS();
        polyline.startWidth = in_.data().BD();
        polyline.endWidth = in_.data().BD();
        polyline.thickness = in_.data().BT();
        polyline.elevation = in_.data().BD();
        polyline.extrusion = in_.data().BE();
    } else if (type == kPolylinePface) {
        polyline.is3d = true;
        polyline.flags = kPolylineFlagPolyface;
        polyline.meshM = in_.data().BS();  // vertices
        polyline.meshN = in_.data().BS();  // faces
    } else if (type == kPolylineMesh) {
        polyline.is3d = true;
        polyline.flags = in_.data().BS() | kPolylineFlagMesh;
        polyline.curveType = in_.data().BS();
        polyline.meshM = in_.data().BS();
        polyline.meshN = in_.data().BS();
        polyline.smoothM = in_.data().BS();
        polyline.smoothN = in_.data().BS();
    } else {
        polyline.is3d = true;
        const int splineFlags = in_.data().RC();
        const int closedFlags = in_.data().RC();
        polyline.flags = kPolylineFlag3d | (closedFlags & kPolylineFlagClosed) |
                         ((splineFlags & 0xFF) ? kPolylineFlagSplineFit : 0);
    }
    const std::uint32_t ownedCount = in_.version >= R2004 ? in_.readCount(0) : 0;
    in_.readEntityHandles(record);
    if (in_.version <= R2000) {
        polyline.firstVertex = in_.readHandle();
        polyline.lastVertex = in_.readHandle();
    } else {
        polyline.vertices = in_.readHandles(ownedCount);
    }
    polyline.seqEnd = in_.readHandle();
    record.data = std::move(polyline);
}

void CurveRecordDecoder::decodeSolid(Record& record, int) {
    SolidRec solid;
    solid.thickness = in_.data().BT();
    const double elevation = in_.data().BD();
    for (auto& corner : solid.corners)
        corner = in_.readPoint2RD(elevation);
    solid.extrusion = in_.data().BE();
    record.data = solid;
}

void CurveRecordDecoder::decodeLwPolyline(Record& record, int) {
    LwPolylineRec polyline;
    polyline.flags = in_.data().BS();
    if (polyline.flags & kLwConstantWidth) polyline.constantWidth = in_.data().BD();
    if (polyline.flags & kLwElevation) polyline.elevation = in_.data().BD();
    if (polyline.flags & kLwThickness) polyline.thickness = in_.data().BD();
    if (polyline.flags & kLwExtrusion) polyline.extrusion = in_.data().BD3();
    const std::uint32_t vertexCount = in_.readCount(2);
    const std::uint32_t bulgeCount = (polyline.flags & kLwBulges) ? in_.readCount(2) : 0;
    const std::uint32_t idCount =
        (in_.version >= R2010 && (polyline.flags & kLwVertexIds)) ? in_.readCount(2) : 0;
    const std::uint32_t widthCount = (polyline.flags & kLwWidths) ? in_.readCount(4) : 0;
    polyline.vertices.resize(vertexCount);
    for (std::uint32_t i = 0; i < vertexCount && !in_.data().failed(); ++i) {
        auto& vertex = polyline.vertices[i];
        if (in_.version <= R14 || i == 0) {
            vertex.x = in_.data().RD();
            vertex.y = in_.data().RD();
        } else {  // later vertices as differences to the one before
            vertex.x = in_.data().DD(polyline.vertices[i - 1].x);
            vertex.y = in_.data().DD(polyline.vertices[i - 1].y);
        }
    }
    for (std::uint32_t i = 0; i < bulgeCount && !in_.data().failed(); ++i) {
        const double bulge = in_.data().BD();
        if (i < vertexCount) polyline.vertices[i].bulge = bulge;
    }
    for (std::uint32_t i = 0; i < idCount && !in_.data().failed(); ++i)
        in_.data().BL();
    for (std::uint32_t i = 0; i < widthCount && !in_.data().failed(); ++i) {
        const double startWidth = in_.data().BD(), endWidth = in_.data().BD();
        if (i < vertexCount) {
            polyline.vertices[i].startWidth = startWidth;
            polyline.vertices[i].endWidth = endWidth;
        }
    }
    record.data = std::move(polyline);
}

void CurveRecordDecoder::decodeSpline(Record& record, int) {
    SplineRec spline;
    spline.scenario = in_.data().BL();
    if (in_.version >= R2013) {
        const int splineFlags = in_.data().BL();
        in_.data().BL();  // knot parameterisation
        spline.scenario =
            (splineFlags & kSplineByFitPoints) ? kScenarioFitPoints : kScenarioControlPoints;
    }
    spline.degree = in_.data().BL();
    std::uint32_t knotCount = 0, controlCount = 0, fitCount = 0;
    bool weighted = false;
    if (spline.scenario == kScenarioFitPoints) {
        spline.fitTolerance = in_.data().BD();
        spline.startTangent = in_.data().BD3();
        spline.endTangent = in_.data().BD3();
        fitCount = in_.readCount(6);
    } else if (spline.scenario == kScenarioControlPoints) {
        spline.rational = in_.data().B();
        spline.closed = in_.data().B();
        spline.periodic = in_.data().B();
        spline.knotTolerance = in_.data().BD();
        spline.controlTolerance = in_.data().BD();
        knotCount = in_.readCount(2);
        controlCount = in_.readCount(6);
        weighted = in_.data().B();
    } else {
        in_.data().fail();
    }
    for (std::uint32_t i = 0; i < knotCount && !in_.data().failed(); ++i)
        spline.knots.push_back(in_.data().BD());
    for (std::uint32_t i = 0; i < controlCount && !in_.data().failed(); ++i) {
        spline.controlPoints.push_back(in_.data().BD3());
        if (weighted) spline.weights.push_back(in_.data().BD());
    }
    for (std::uint32_t i = 0; i < fitCount && !in_.data().failed(); ++i)
        spline.fitPoints.push_back(in_.data().BD3());
    record.data = std::move(spline);
}

}  // namespace qkshost::dwg
