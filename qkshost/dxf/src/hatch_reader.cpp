#include "hatch_reader.h"

#include <algorithm>
#include <cstdlib>

namespace qkshost::dxf::detail {

void HatchReader::hatch(ObjectIndex block) {
    auto e = std::make_unique<Hatch>();
    CommonGroups c = common_.parseCommon(*e);
    common_.fillTail(*e, c);
    // the source-boundary links are dropped: the hatch is kept as non-associative
    RawTags clean;
    clean.reserve(e->tail.size());
    for (auto& t : e->tail) {
        if (t.code == 330) continue;
        if (t.code == 97 || t.code == 71) t.value = "0";
        clean.push_back(std::move(t));
    }
    e->tail = std::move(clean);
    parseHatch(*e, c);
    common_.fixExtrusion(*e);
    common_.place(std::move(e), block, c);
}

// Boundary loops and pattern of a HATCH into its structure. Groups a path leaves out keep
// the value of the edge before (as the CAD program reads them); malformed data ends the
// loop it is in. The geometry groups are checked as numbers like every entity's.
void HatchReader::parseHatch(Hatch& e, const CommonGroups& c) {
    std::vector<const Tag*> tags;
    common_.own(c, [&](const Tag& g) {
        tags.push_back(&g);
        return true;
    });
    const std::size_t n = tags.size();
    std::size_t i = 0;
    for (; i < n; ++i) {
        const Tag& g = *tags[i];
        if (g.code == 91) {
            ++i;
            break;
        }
        if (g.code == 10)
            (void)in_.num(g);  // the elevation point's x and y are always zero
        else if (g.code == 30)
            e.elevation = in_.num(g);
        else if (g.code == 2)
            e.patternName = in_.str(g);
        else if (g.code == 70)
            e.solidFill = in_.looseInt(g) == 1;
        else
            common_.planar(e, g);
    }
    Point3d p10, p11;
    double r = 0, a0 = 0, a1 = 0;
    while (i < n) {
        const Tag& g = *tags[i];
        if (g.code != 92) {
            if (g.code == 75 || g.code == 76 || g.code == 98) break;  // past the paths
            ++i;
            continue;
        }
        HatchLoop loop;
        loop.flags = in_.int32(g);
        ++i;
        if (loop.isPolyline())
            hatchPolylineLoop(tags, i, loop);
        else
            hatchEdgeLoop(tags, i, loop, p10, p11, r, a0, a1);
        while (i < n && tags[i]->code == 97)  // source-object count (the links are dropped)
            ++i;
        e.loops.push_back(std::move(loop));
    }
    hatchPattern(tags, i, e);
}

bool HatchReader::endsHatchPath(int code) {
    return code == 92 || code == 75 || code == 76 || code == 98;
}

void HatchReader::hatchPolylineLoop(const std::vector<const Tag*>& tags, std::size_t& i,
                                    HatchLoop& loop) {
    for (; i < tags.size() && tags[i]->code != 97 && !endsHatchPath(tags[i]->code); ++i) {
        const Tag& g = *tags[i];
        auto& v = loop.vertices;
        if (g.code == 72)
            loop.hasBulge = in_.integer(g) != 0;
        else if (g.code == 73)
            loop.closed = in_.looseInt(g) != 0;
        else if (g.code == 10)
            v.push_back({in_.num(g), 0, 0});
        else if (g.code == 20 && !v.empty())
            v.back().y = in_.num(g);
        else if (g.code == 42 && !v.empty())
            v.back().bulge = in_.num(g);
    }
}

void HatchReader::hatchEdgeLoop(const std::vector<const Tag*>& tags, std::size_t& i,
                                HatchLoop& loop, Point3d& p10, Point3d& p11, double& r, double& a0,
                                double& a1) {
    using Type = HatchEdge::Type;
    // The plain edges take their values when the next edge starts or the path ends.
    auto finish = [&]() {
        if (loop.edges.empty()) return;
        HatchEdge& edge = loop.edges.back();
        if (edge.type == Type::Line) {
            edge.start = p10;
            edge.end = p11;
        } else if (edge.type == Type::CircularArc || edge.type == Type::EllipticArc) {
            edge.centre = p10;
            edge.majorAxis = {p11.x, p11.y, 0};
            edge.radius = r;
            edge.startAngle = a0;
            edge.endAngle = a1;
        }
    };
    const std::size_t n = tags.size();
    for (; i < n && !endsHatchPath(tags[i]->code); ++i) {
        const Tag& g = *tags[i];
        HatchEdge* edge = loop.edges.empty() ? nullptr : &loop.edges.back();
        if (g.code == 72) {
            finish();
            const int type = in_.int32(g);
            HatchEdge next;
            next.type = type >= 1 && type <= 4 ? Type(type) : Type::Other;
            loop.edges.push_back(std::move(next));
            continue;
        }
        const bool spline = edge && edge->type == Type::Spline;
        if (g.code == 97) {
            // In a spline edge a count of fit data comes before its points, its tangents,
            // the next edge or the path's own count; otherwise the count of source
            // objects ends the path.
            const int after = i + 1 < n ? tags[i + 1]->code : 0;
            if (spline && (after == 11 || after == 12 || after == 13 || after == 97 || after == 72))
                continue;
            break;
        }
        if (!edge) continue;
        if (spline) {
            auto& cp = edge->controlPoints;
            auto& fit = edge->fitPoints;
            switch (g.code) {
                case 94:
                    edge->degree = in_.looseInt(g);
                    break;
                case 73:
                    edge->rational = in_.looseInt(g) != 0;
                    break;
                case 74:
                    edge->periodic = in_.looseInt(g) != 0;
                    break;
                case 40:
                    edge->knots.push_back(in_.num(g));
                    break;
                case 10:
                    cp.push_back({in_.num(g), 0, 0});
                    break;
                case 20:
                    if (!cp.empty()) cp.back().y = in_.num(g);
                    break;
                case 42:
                    edge->weights.push_back(in_.loose(g));
                    break;
                case 11:
                    fit.push_back({in_.loose(g), 0, 0});
                    break;
                case 21:
                    if (!fit.empty()) fit.back().y = in_.loose(g);
                    break;
                default:
                    break;
            }
            continue;
        }
        switch (g.code) {
            case 10:
                p10.x = in_.num(g);
                break;
            case 20:
                p10.y = in_.num(g);
                break;
            case 11:
                p11.x = in_.num(g);
                break;
            case 21:
                p11.y = in_.num(g);
                break;
            case 40:
                r = in_.num(g);
                break;
            case 50:
                a0 = in_.num(g);
                break;
            case 51:
                a1 = in_.num(g);
                break;
            case 73:
                if (edge->type == Type::CircularArc || edge->type == Type::EllipticArc)
                    edge->counterClockwise = in_.integer(g) != 0;
                break;
            default:
                break;
        }
    }
    finish();
}

void HatchReader::hatchPattern(const std::vector<const Tag*>& tags, std::size_t i, Hatch& e) {
    const std::size_t n = tags.size();
    for (; i < n && tags[i]->code != 78; ++i) {
        if (tags[i]->code == 52)
            e.patternAngle = in_.loose(*tags[i]);
        else if (tags[i]->code == 41)
            e.patternScale = in_.loose(*tags[i]);
    }
    if (i == n) return;
    const int count = in_.looseInt(*tags[i]);
    ++i;
    for (int k = 0; k < count && i < n && tags[i]->code == 53; ++k) {
        HatchPatternLine line;
        line.angle = in_.loose(*tags[i++]);
        int dashes = 0;
        for (; i < n && tags[i]->code != 53; ++i) {
            const Tag& g = *tags[i];
            if (g.code == 43)
                line.base.x = in_.loose(g);
            else if (g.code == 44)
                line.base.y = in_.loose(g);
            else if (g.code == 45)
                line.offset.x = in_.loose(g);
            else if (g.code == 46)
                line.offset.y = in_.loose(g);
            else if (g.code == 79)
                dashes = in_.looseInt(g);
            else if (g.code == 49 && int(line.dashes.size()) < dashes)
                line.dashes.push_back(in_.loose(g));
            else if (g.code != 49)
                break;  // past the pattern data
        }
        e.patternLines.push_back(std::move(line));
    }
}

}  // namespace qkshost::dxf::detail
