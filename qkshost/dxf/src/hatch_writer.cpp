#include "hatch_writer.h"

namespace qkshost::dxf::detail {

void HatchWriter::hatch(const Hatch& h, bool paper) {
    using Type = HatchEdge::Type;
    common_.common(h, paper, "HATCH");
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

}  // namespace qkshost::dxf::detail
