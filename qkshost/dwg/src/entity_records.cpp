// The entities kept. Kinds whose own handles follow the common entity handles read both here;
// for the others the dispatcher reads the common entity handles after their data.
#include <cmath>

#include "object_decoder.h"

namespace qkshost::dwg {

void ObjectDecoder::decodeBlock(Record& record, int) {
    record.data = BlockBegin{readText()};
}

void ObjectDecoder::decodeEndblk(Record& record, int) {
    record.data = BlockEnd{};
}

void ObjectDecoder::decodeSeqend(Record& record, int) {
    record.data = SeqEndRec{};
}

void ObjectDecoder::decodeLine(Record& record, int) {
    LineRec line;
    if (version <= R14) {
        line.start = data().BD3();
        line.end = data().BD3();
    } else {
        const bool zIsZero = data().B();
        line.start.x = data().RD();
        line.end.x = data().DD(line.start.x);
        line.start.y = data().RD();
        line.end.y = data().DD(line.start.y);
        if (!zIsZero) {
            line.start.z = data().RD();
            line.end.z = data().DD(line.start.z);
        }
    }
    line.thickness = data().BT();
    line.extrusion = data().BE();
    record.data = line;
}

void ObjectDecoder::decodeCircle(Record& record, int type) {
    CircleRec circle;
    circle.center = data().BD3();
    circle.radius = data().BD();
    circle.thickness = data().BT();
    circle.extrusion = data().BE();
    circle.isArc = type == kArc;
    if (circle.isArc) {
        circle.startAngle = data().BD();
        circle.endAngle = data().BD();
    } else {
        circle.endAngle = 2 * M_PI;
    }
    record.data = circle;
}

void ObjectDecoder::decodePoint(Record& record, int) {
    PointRec point;
    point.position = data().BD3();
    point.thickness = data().BT();
    point.extrusion = data().BE();
    point.angle = data().BD();
    record.data = point;
}

void ObjectDecoder::decodeEllipse(Record& record, int) {
    EllipseRec ellipse;
    ellipse.center = data().BD3();
    ellipse.majorAxis = data().BD3();
    ellipse.extrusion = data().BD3();
    ellipse.ratio = data().BD();
    ellipse.startParam = data().BD();
    ellipse.endParam = data().BD();
    record.data = ellipse;
}

void ObjectDecoder::decodeText(Record& record, int type) {
    TextRec text;
    if (version <= R14) {
        text.elevation = data().BD();
        text.position = readPoint2RD(text.elevation);
        text.alignment = readPoint2RD(text.elevation);
        text.extrusion = data().BD3();
        text.thickness = data().BD();
        text.oblique = data().BD();
        text.rotation = data().BD();
        text.height = data().BD();
        text.widthFactor = data().BD();
        text.text = readText();
        text.generation = data().BS();
        text.hAlign = data().BS();
        text.vAlign = data().BS();
        text.hasAlignment = text.hAlign != 0 || text.vAlign != 0;
    } else {
        const int defaults = data().RC();
        if (!(defaults & kTextNoElevation)) text.elevation = data().RD();
        text.position = readPoint2RD(text.elevation);
        if (!(defaults & kTextNoAlignment)) {
            text.alignment.x = data().DD(text.position.x);
            text.alignment.y = data().DD(text.position.y);
            text.alignment.z = text.elevation;
            text.hasAlignment = true;
        }
        text.extrusion = data().BE();
        text.thickness = data().BT();
        if (!(defaults & kTextNoOblique)) text.oblique = data().RD();
        if (!(defaults & kTextNoRotation)) text.rotation = data().RD();
        text.height = data().RD();
        if (!(defaults & kTextNoWidthFactor)) text.widthFactor = data().RD();
        text.text = readText();
        if (!(defaults & kTextNoGeneration)) text.generation = data().BS();
        if (!(defaults & kTextNoHAlign)) text.hAlign = data().BS();
        if (!(defaults & kTextNoVAlign)) text.vAlign = data().BS();
    }
    if (type != kText) {
        int attributeType = kAttributeSingleLine;
        if (version >= R2010) data().RC();  // version
        if (version >= R2018) attributeType = data().RC();
        if (attributeType == kAttributeSingleLine) {
            text.tag = readText();
            text.fieldLength = data().BS();
            text.attribFlags = data().RC();
            if (version >= R2007) text.lockPosition = data().B();
            if (type == kAttdef) {
                if (version >= R2010) data().RC();  // version
                text.prompt = readText();
            }
        }
    }
    readEntityHandles(record);
    text.style = readHandle();
    record.data = std::move(text);
}

void ObjectDecoder::decodeInsert(Record& record, int type) {
    InsertRec insert;
    insert.position = data().BD3();
    if (version <= R14) {
        insert.scale = data().BD3();
    } else {
        switch (data().BB()) {
            case kScaleUnit:
                insert.scale = {1, 1, 1};
                break;
            case kScaleXIsOne:
                insert.scale.x = 1;
                insert.scale.y = data().DD(1);
                insert.scale.z = data().DD(1);
                break;
            case kScaleUniform:
                insert.scale.x = data().RD();
                insert.scale.y = insert.scale.z = insert.scale.x;
                break;
            default:  // kScaleAllStored
                insert.scale.x = data().RD();
                insert.scale.y = data().DD(insert.scale.x);
                insert.scale.z = data().DD(insert.scale.x);
        }
    }
    insert.rotation = data().BD();
    insert.extrusion = data().BD3();
    const bool hasAttributes = data().B();
    const std::uint32_t ownedCount = (version >= R2004 && hasAttributes) ? readCount(0) : 0;
    if (type == kMinsert) {
        insert.columns = data().BS();
        insert.rows = data().BS();
        insert.columnSpacing = data().BD();
        insert.rowSpacing = data().BD();
    }
    readEntityHandles(record);
    insert.block = readHandle();
    if (hasAttributes) {
        if (version <= R2000) {
            insert.firstAttrib = readHandle();
            insert.lastAttrib = readHandle();
        } else {
            insert.attributes = readHandles(ownedCount);
        }
        insert.seqEnd = readHandle();
    }
    record.data = std::move(insert);
}

void ObjectDecoder::decodeVertex(Record& record, int type) {
    VertexRec vertex;
    if (type == kVertexPfaceFace) {  // a face: four vertex numbers, no flags nor position
        vertex.flags = kVertexOfPolyface;
        vertex.is3d = true;
        for (int& face : vertex.faces)
            face = std::int16_t(data().BS());
        record.data = vertex;
        return;
    }
    vertex.flags = data().RC();
    vertex.position = data().BD3();
    if (type == kVertex2d) {
        vertex.startWidth = data().BD();
        if (vertex.startWidth < 0)  // a negative start width stands for both
            vertex.endWidth = vertex.startWidth = -vertex.startWidth;
        else
            vertex.endWidth = data().BD();
        vertex.bulge = data().BD();
        if (version >= R2010) data().BL();  // vertex id
        vertex.tangent = data().BD();
    } else {
        vertex.is3d = true;
        // DXF marks what kind of polyline a vertex belongs to
        if (type == kVertexMesh) vertex.flags |= kVertexOfMesh;
        if (type == kVertexPface) vertex.flags |= kVertexOfMesh | kVertexOfPolyface;
    }
    record.data = vertex;
}

void ObjectDecoder::decodePolyline(Record& record, int type) {
    PolylineRec polyline;
    if (type == kPolyline2d) {
        polyline.flags = data().BS();
        polyline.curveType = data().BS();
        polyline.startWidth = data().BD();
        polyline.endWidth = data().BD();
        polyline.thickness = data().BT();
        polyline.elevation = data().BD();
        polyline.extrusion = data().BE();
    } else if (type == kPolylinePface) {
        polyline.is3d = true;
        polyline.flags = kPolylineFlagPolyface;
        polyline.meshM = data().BS();  // vertices
        polyline.meshN = data().BS();  // faces
    } else if (type == kPolylineMesh) {
        polyline.is3d = true;
        polyline.flags = data().BS() | kPolylineFlagMesh;
        polyline.curveType = data().BS();
        polyline.meshM = data().BS();
        polyline.meshN = data().BS();
        polyline.smoothM = data().BS();
        polyline.smoothN = data().BS();
    } else {
        polyline.is3d = true;
        const int splineFlags = data().RC();
        const int closedFlags = data().RC();
        polyline.flags = kPolylineFlag3d | (closedFlags & kPolylineFlagClosed) |
                         ((splineFlags & 0xFF) ? kPolylineFlagSplineFit : 0);
    }
    const std::uint32_t ownedCount = version >= R2004 ? readCount(0) : 0;
    readEntityHandles(record);
    if (version <= R2000) {
        polyline.firstVertex = readHandle();
        polyline.lastVertex = readHandle();
    } else {
        polyline.vertices = readHandles(ownedCount);
    }
    polyline.seqEnd = readHandle();
    record.data = std::move(polyline);
}

void ObjectDecoder::decodeSolid(Record& record, int) {
    SolidRec solid;
    solid.thickness = data().BT();
    const double elevation = data().BD();
    for (auto& corner : solid.corners)
        corner = readPoint2RD(elevation);
    solid.extrusion = data().BE();
    record.data = solid;
}

void ObjectDecoder::decodeLwPolyline(Record& record, int) {
    LwPolylineRec polyline;
    polyline.flags = data().BS();
    if (polyline.flags & kLwConstantWidth) polyline.constantWidth = data().BD();
    if (polyline.flags & kLwElevation) polyline.elevation = data().BD();
    if (polyline.flags & kLwThickness) polyline.thickness = data().BD();
    if (polyline.flags & kLwExtrusion) polyline.extrusion = data().BD3();
    const std::uint32_t vertexCount = readCount(2);
    const std::uint32_t bulgeCount = (polyline.flags & kLwBulges) ? readCount(2) : 0;
    const std::uint32_t idCount =
        (version >= R2010 && (polyline.flags & kLwVertexIds)) ? readCount(2) : 0;
    const std::uint32_t widthCount = (polyline.flags & kLwWidths) ? readCount(4) : 0;
    polyline.vertices.resize(vertexCount);
    for (std::uint32_t i = 0; i < vertexCount && !data().failed(); ++i) {
        auto& vertex = polyline.vertices[i];
        if (version <= R14 || i == 0) {
            vertex.x = data().RD();
            vertex.y = data().RD();
        } else {  // later vertices as differences to the one before
            vertex.x = data().DD(polyline.vertices[i - 1].x);
            vertex.y = data().DD(polyline.vertices[i - 1].y);
        }
    }
    for (std::uint32_t i = 0; i < bulgeCount && !data().failed(); ++i) {
        const double bulge = data().BD();
        if (i < vertexCount) polyline.vertices[i].bulge = bulge;
    }
    for (std::uint32_t i = 0; i < idCount && !data().failed(); ++i)
        data().BL();
    for (std::uint32_t i = 0; i < widthCount && !data().failed(); ++i) {
        const double startWidth = data().BD(), endWidth = data().BD();
        if (i < vertexCount) {
            polyline.vertices[i].startWidth = startWidth;
            polyline.vertices[i].endWidth = endWidth;
        }
    }
    record.data = std::move(polyline);
}

void ObjectDecoder::decodeSpline(Record& record, int) {
    SplineRec spline;
    spline.scenario = data().BL();
    if (version >= R2013) {
        const int splineFlags = data().BL();
        data().BL();  // knot parameterisation
        spline.scenario =
            (splineFlags & kSplineByFitPoints) ? kScenarioFitPoints : kScenarioControlPoints;
    }
    spline.degree = data().BL();
    std::uint32_t knotCount = 0, controlCount = 0, fitCount = 0;
    bool weighted = false;
    if (spline.scenario == kScenarioFitPoints) {
        spline.fitTolerance = data().BD();
        spline.startTangent = data().BD3();
        spline.endTangent = data().BD3();
        fitCount = readCount(6);
    } else if (spline.scenario == kScenarioControlPoints) {
        spline.rational = data().B();
        spline.closed = data().B();
        spline.periodic = data().B();
        spline.knotTolerance = data().BD();
        spline.controlTolerance = data().BD();
        knotCount = readCount(2);
        controlCount = readCount(6);
        weighted = data().B();
    } else {
        data().fail();
    }
    for (std::uint32_t i = 0; i < knotCount && !data().failed(); ++i)
        spline.knots.push_back(data().BD());
    for (std::uint32_t i = 0; i < controlCount && !data().failed(); ++i) {
        spline.controlPoints.push_back(data().BD3());
        if (weighted) spline.weights.push_back(data().BD());
    }
    for (std::uint32_t i = 0; i < fitCount && !data().failed(); ++i)
        spline.fitPoints.push_back(data().BD3());
    record.data = std::move(spline);
}

void ObjectDecoder::decodeMText(Record& record, int) {
    MTextRec mtext;
    mtext.position = data().BD3();
    mtext.extrusion = data().BD3();
    mtext.direction = data().BD3();
    mtext.width = data().BD();
    if (version >= R2007) mtext.height = data().BD();
    mtext.textHeight = data().BD();
    mtext.attachment = data().BS();
    mtext.drawingDirection = data().BS();
    data().BD();  // extents height
    data().BD();  // extents width
    mtext.text = readText();
    if (version >= R2000) {
        mtext.lineSpacingStyle = data().BS();
        mtext.lineSpacing = data().BD();
    }
    readEntityHandles(record);
    mtext.style = readHandle();
    record.data = std::move(mtext);
}

void ObjectDecoder::decodeDimension(Record& record, int type) {
    DimensionRec dimension;
    if (version >= R2010) data().RC();  // version
    dimension.extrusion = data().BD3();
    dimension.textMid = data().RD2();
    dimension.elevation = data().BD();
    dimension.textMid.z = dimension.elevation;
    dimension.flags = data().RC();
    dimension.text = readText();
    dimension.textRotation = data().BD();
    dimension.horizontalDirection = data().BD();
    data().BD3();  // insertion scale
    data().BD();   // insertion rotation
    if (version >= R2000) {
        dimension.attachment = data().BS();
        dimension.lineSpacingStyle = data().BS();
        dimension.lineSpacing = data().BD();
        dimension.measurement = data().BD();
    }
    if (version >= R2007) {
        data().B();
        data().B();
        data().B();
    }
    dimension.insertPoint = readPoint2RD(dimension.elevation);
    switch (type) {
        case kDimOrdinate:
            dimension.dimType = kDimTypeOrdinate;
            dimension.defPoint = data().BD3();
            dimension.p13 = data().BD3();
            dimension.p14 = data().BD3();
            if (data().RC() & 1) dimension.dimType |= kDimOrdinateXType;
            break;
        case kDimLinear:
        case kDimAligned:
            dimension.dimType = type == kDimLinear ? kDimTypeLinear : kDimTypeAligned;
            dimension.p13 = data().BD3();
            dimension.p14 = data().BD3();
            dimension.defPoint = data().BD3();
            dimension.oblique = data().BD();
            if (type == kDimLinear) dimension.angle = data().BD();
            break;
        case kDimAng3pt:
            dimension.dimType = kDimTypeAngular3Point;
            dimension.defPoint = data().BD3();
            dimension.p13 = data().BD3();
            dimension.p14 = data().BD3();
            dimension.p15 = data().BD3();
            break;
        case kDimAng2ln:
            dimension.dimType = kDimTypeAngular2Line;
            dimension.p16 = data().RD2();
            dimension.p13 = data().BD3();
            dimension.p14 = data().BD3();
            dimension.p15 = data().BD3();
            dimension.defPoint = data().BD3();
            break;
        default:  // radius, diameter
            dimension.dimType = type == kDimRadius ? kDimTypeRadius : kDimTypeDiameter;
            dimension.defPoint = data().BD3();
            dimension.p15 = data().BD3();
            dimension.leaderLength = data().BD();
    }
    readEntityHandles(record);
    dimension.dimStyle = readHandle();
    dimension.block = readHandle();
    record.data = std::move(dimension);
}

void ObjectDecoder::decodeViewport(Record& record, int) {
    ViewportRec viewport;
    viewport.center = data().BD3();
    viewport.width = data().BD();
    viewport.height = data().BD();
    if (version >= R2000) {
        viewport.viewTarget = data().BD3();
        viewport.viewDirection = data().BD3();
        viewport.twist = data().BD();
        viewport.viewHeight = data().BD();
        viewport.lensLength = data().BD();
        data().BD();  // front clip
        data().BD();  // back clip
        data().BD();  // snap angle
        viewport.viewCenterX = data().RD();
        viewport.viewCenterY = data().RD();
        data().RD2();                       // snap base
        data().RD2();                       // snap spacing
        data().RD2();                       // grid spacing
        data().BS();                        // circle zoom
        if (version >= R2007) data().BS();  // grid major
        const std::uint32_t frozenCount = readCount(0);
        viewport.statusFlags = data().BL();
        readText();  // style sheet
        viewport.renderMode = data().RC();
        readEntityHandles(record);
        if (version <= R2000) readHandle();  // viewport entity header
        viewport.frozenLayers = readHandles(frozenCount);
    } else {
        readEntityHandles(record);
    }
    record.data = std::move(viewport);
}

HatchSegment ObjectDecoder::readHatchEdge() {
    HatchSegment edge;
    edge.type = data().RC();
    switch (edge.type) {
        case kEdgeLine:
            edge.x0 = data().RD();
            edge.y0 = data().RD();
            edge.x1 = data().RD();
            edge.y1 = data().RD();
            break;
        case kEdgeCircularArc:
            edge.x0 = data().RD();
            edge.y0 = data().RD();
            edge.radius = data().BD();
            edge.start = data().BD();
            edge.end = data().BD();
            edge.ccw = data().B();
            break;
        case kEdgeEllipticArc:
            edge.x0 = data().RD();
            edge.y0 = data().RD();
            edge.x1 = data().RD();
            edge.y1 = data().RD();
            edge.ratio = data().BD();
            edge.start = data().BD();
            edge.end = data().BD();
            edge.ccw = data().B();
            break;
        case kEdgeSpline: {
            edge.degree = data().BL();
            edge.rational = data().B();
            edge.periodic = data().B();
            const std::uint32_t knotCount = readCount(2), controlCount = readCount(2);
            for (std::uint32_t i = 0; i < knotCount && !data().failed(); ++i)
                edge.knots.push_back(data().BD());
            for (std::uint32_t i = 0; i < controlCount && !data().failed(); ++i) {
                edge.points.push_back(data().RD());
                edge.points.push_back(data().RD());
                if (edge.rational) edge.weights.push_back(data().BD());
            }
            if (version >= R2010) {
                const std::uint32_t fitCount = readCount(128);
                if (fitCount) {
                    data().skipBits(std::size_t(fitCount) * 128);
                    data().RD2();  // start tangent
                    data().RD2();  // end tangent
                }
            }
            break;
        }
        default:
            data().fail();
    }
    return edge;
}

void ObjectDecoder::decodeHatch(Record& record, int) {
    HatchRec hatch;
    if (version >= R2004) {  // gradient fill: read past
        data().BL();
        data().BL();
        data().BD();
        data().BD();
        data().BL();
        data().BD();
        const std::uint32_t colorCount = readCount(8);
        for (std::uint32_t i = 0; i < colorCount && !data().failed(); ++i) {
            data().BD();
            data().BS();
            data().BL();
            data().RC();
        }
        readText();
    }
    hatch.elevation = data().BD();
    hatch.extrusion = data().BD3();
    hatch.pattern = readText();
    hatch.solid = data().B();
    hatch.associative = data().B();
    const std::uint32_t loopCount = readCount(8);
    std::vector<std::uint32_t> sourceCounts;
    bool hasPixelSize = false;
    for (std::uint32_t i = 0; i < loopCount && !data().failed(); ++i) {
        HatchLoop loop;
        loop.flags = data().BL();
        if (loop.flags & kLoopDerived) hasPixelSize = true;
        if (!(loop.flags & kLoopPolyline)) {
            const std::uint32_t edgeCount = readCount(8);
            for (std::uint32_t k = 0; k < edgeCount && !data().failed(); ++k)
                loop.edges.push_back(readHatchEdge());
        } else {
            const bool hasBulges = data().B();
            loop.closed = data().B();
            const std::uint32_t pointCount = readCount(hasBulges ? 130 : 128);
            for (std::uint32_t k = 0; k < pointCount && !data().failed(); ++k) {
                LwVertexRec point;
                point.x = data().RD();
                point.y = data().RD();
                if (hasBulges) point.bulge = data().BD();
                loop.polyline.push_back(point);
            }
        }
        sourceCounts.push_back(readCount(0));
        hatch.loops.push_back(std::move(loop));
    }
    hatch.style = data().BS();
    hatch.patternType = data().BS();
    if (!hatch.solid) {
        hatch.angle = data().BD();
        hatch.scale = data().BD();
        hatch.isDouble = data().B();
        const int lineCount = std::uint16_t(data().BS());
        for (int i = 0; i < lineCount && !data().failed(); ++i) {
            HatchPatternLine line;
            line.angle = data().BD();
            line.baseX = data().BD();
            line.baseY = data().BD();
            line.offsetX = data().BD();
            line.offsetY = data().BD();
            const int dashCount = std::uint16_t(data().BS());
            for (int k = 0; k < dashCount && !data().failed(); ++k)
                line.dashes.push_back(data().BD());
            hatch.lines.push_back(std::move(line));
        }
    }
    if (hasPixelSize) data().BD();
    const std::uint32_t seedCount = readCount(128);
    data().skipBits(std::size_t(seedCount) * 128);
    readEntityHandles(record);
    for (std::size_t i = 0; i < hatch.loops.size(); ++i)
        hatch.loops[i].sources = readHandles(sourceCounts[i]);
    record.data = std::move(hatch);
}

}  // namespace qkshost::dwg
