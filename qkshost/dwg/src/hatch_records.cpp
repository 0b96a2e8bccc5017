#include "hatch_records.h"

namespace qkshost::dwg {

HatchSegment HatchRecordDecoder::readHatchEdge() {
    HatchSegment edge;
    edge.type = in_.data().RC();
    switch (edge.type) {
        case kEdgeLine:
            edge.x0 = in_.data().RD();
            edge.y0 = in_.data().RD();
            edge.x1 = in_.data().RD();
            edge.y1 = in_.data().RD();
            break;
        case kEdgeCircularArc:
            edge.x0 = in_.data().RD();
            edge.y0 = in_.data().RD();
            edge.radius = in_.data().BD();
            edge.start = in_.data().BD();
            edge.end = in_.data().BD();
            edge.ccw = in_.data().B();
            break;
        case kEdgeEllipticArc:
            edge.x0 = in_.data().RD();
            edge.y0 = in_.data().RD();
            edge.x1 = in_.data().RD();
            edge.y1 = in_.data().RD();
            edge.ratio = in_.data().BD();
            edge.start = in_.data().BD();
            edge.end = in_.data().BD();
            edge.ccw = in_.data().B();
            break;
        case kEdgeSpline: {
            edge.degree = in_.data().BL();
            edge.rational = in_.data().B();
            edge.periodic = in_.data().B();
            const std::uint32_t knotCount = in_.readCount(2), controlCount = in_.readCount(2);
            for (std::uint32_t i = 0; i < knotCount && !in_.data().failed(); ++i)
                edge.knots.push_back(in_.data().BD());
            for (std::uint32_t i = 0; i < controlCount && !in_.data().failed(); ++i) {
                edge.points.push_back(in_.data().RD());
                edge.points.push_back(in_.data().RD());
                if (edge.rational) edge.weights.push_back(in_.data().BD());
            }
            if (in_.version >= R2010) {
                const std::uint32_t fitCount = in_.readCount(128);
                if (fitCount) {
                    in_.data().skipBits(std::size_t(fitCount) * 128);
                    in_.data().RD2();  // start tangent
                    in_.data().RD2();  // end tangent
                }
            }
            break;
        }
        default:
            in_.data().fail();
    }
    return edge;
}

void HatchRecordDecoder::decodeHatch(Record& record, int) {
    HatchRec hatch;
    if (in_.version >= R2004) {  // gradient fill: read past
        in_.data().BL();
        in_.data().BL();
        in_.data().BD();
        in_.data().BD();
        in_.data().BL();
        in_.data().BD();
        const std::uint32_t colorCount = in_.readCount(8);
        for (std::uint32_t i = 0; i < colorCount && !in_.data().failed(); ++i) {
            in_.data().BD();
            in_.data().BS();
            in_.data().BL();
            in_.data().RC();
        }
        in_.readText();
    }
    hatch.elevation = in_.data().BD();
    hatch.extrusion = in_.data().BD3();
    hatch.pattern = in_.readText();
    hatch.solid = in_.data().B();
    hatch.associative = in_.data().B();
    const std::uint32_t loopCount = in_.readCount(8);
    std::vector<std::uint32_t> sourceCounts;
    bool hasPixelSize = false;
    for (std::uint32_t i = 0; i < loopCount && !in_.data().failed(); ++i) {
        HatchLoop loop;
        loop.flags = in_.data().BL();
        if (loop.flags & kLoopDerived) hasPixelSize = true;
        if (!(loop.flags & kLoopPolyline)) {
            const std::uint32_t edgeCount = in_.readCount(8);
            for (std::uint32_t k = 0; k < edgeCount && !in_.data().failed(); ++k)
                loop.edges.push_back(readHatchEdge());
        } else {
            const bool hasBulges = in_.data().B();
            loop.closed = in_.data().B();
            const std::uint32_t pointCount = in_.readCount(hasBulges ? 130 : 128);
            for (std::uint32_t k = 0; k < pointCount && !in_.data().failed(); ++k) {
                LwVertexRec point;
                point.x = in_.data().RD();
                point.y = in_.data().RD();
                if (hasBulges) point.bulge = in_.data().BD();
                loop.polyline.push_back(point);
            }
        }
        sourceCounts.push_back(in_.readCount(0));
        hatch.loops.push_back(std::move(loop));
    }
    hatch.style = in_.data().BS();
    hatch.patternType = in_.data().BS();
    if (!hatch.solid) {
        hatch.angle = in_.data().BD();
        hatch.scale = in_.data().BD();
        hatch.isDouble = in_.data().B();
        const int lineCount = std::uint16_t(in_.data().BS());
        for (int i = 0; i < lineCount && !in_.data().failed(); ++i) {
            HatchPatternLine line;
            line.angle = in_.data().BD();
            line.baseX = in_.data().BD();
            line.baseY = in_.data().BD();
            line.offsetX = in_.data().BD();
            line.offsetY = in_.data().BD();
            const int dashCount = std::uint16_t(in_.data().BS());
            for (int k = 0; k < dashCount && !in_.data().failed(); ++k)
                line.dashes.push_back(in_.data().BD());
            hatch.lines.push_back(std::move(line));
        }
    }
    if (hasPixelSize) in_.data().BD();
    const std::uint32_t seedCount = in_.readCount(128);
    in_.data().skipBits(std::size_t(seedCount) * 128);
    in_.readEntityHandles(record);
    for (std::size_t i = 0; i < hatch.loops.size(); ++i)
        hatch.loops[i].sources = in_.readHandles(sourceCounts[i]);
    record.data = std::move(hatch);
}

}  // namespace qkshost::dwg
