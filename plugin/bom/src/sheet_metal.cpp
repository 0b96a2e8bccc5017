#include "qks/bom/sheet_metal.h"

#include <algorithm>
#include <cmath>

#include "qks/common/plane.h"
#include "qks/geometry/plane.h"

namespace qks::bom {
using geometry::convexHull;
using geometry::cross;

namespace {

// Turns smaller than this are drawing noise, not bends (radians: half a degree).
constexpr double kSmallestTurn = 0.5 * kPi / 180.0;
// A turn this close to a full fold-back has no finite set-back.
constexpr double kLargestTurn = 179.5 * kPi / 180.0;

struct Direction {
    double x = 1.0, y = 0.0;
};

Direction unit(double x, double y) {
    const double length = std::hypot(x, y);
    if (!(length > 0.0)) return {};
    return {x / length, y / length};
}

Direction tangentAt(const ProfileSegment& segment, const Point& at) {
    if (!segment.arc) return unit(segment.end.x - segment.start.x, segment.end.y - segment.start.y);
    const double rx = at.x - segment.centre.x, ry = at.y - segment.centre.y;
    return segment.sweep > 0.0 ? unit(-ry, rx) : unit(ry, -rx);
}

// Signed angle turning from a to b, positive counter-clockwise.
double turnBetween(const Direction& a, const Direction& b) {
    return std::atan2(a.x * b.y - a.y * b.x, a.x * b.x + a.y * b.y);
}

struct Piece {
    bool bend = false;
    double straight = 0.0;
    Bend data;
};

}  // namespace

EnclosingRectangle smallestEnclosingRectangle(const std::vector<Point>& points) {
    EnclosingRectangle best;
    const std::vector<Point> hull = convexHull(points);
    if (hull.empty()) return best;
    double bestArea = INFINITY;
    // The smallest rectangle has one side on a hull edge, so the edges' directions are the
    // only candidates.
    for (std::size_t i = 0; i < hull.size(); ++i) {
        const Point& a = hull[i];
        const Point& b = hull[(i + 1) % hull.size()];
        const Direction d = unit(b.x - a.x, b.y - a.y);
        double minU = INFINITY, maxU = -INFINITY, minV = INFINITY, maxV = -INFINITY;
        for (const Point& p : hull) {
            const double u = p.x * d.x + p.y * d.y;
            const double v = -p.x * d.y + p.y * d.x;
            minU = std::min(minU, u);
            maxU = std::max(maxU, u);
            minV = std::min(minV, v);
            maxV = std::max(maxV, v);
        }
        const double along = maxU - minU, across = maxV - minV;
        const double area = along * across;
        if (area < bestArea - 1e-9) {
            bestArea = area;
            double angle = std::atan2(d.y, d.x);
            if (across > along) angle += kPi / 2;
            angle = std::fmod(angle + 2 * kPi, kPi);
            best = {std::max(along, across), std::min(along, across), angle};
        }
    }
    return best;
}

PartFigures measurePart(const contract::PartRecord& part) {
    PartFigures figures;
    figures.netArea = std::fabs(part.area);
    figures.cutLength = geometry::ringLength(part.outline);
    figures.pierces = part.outline.size() >= 3 ? 1 : 0;
    for (const contract::Outline& hole : part.holes) {
        figures.netArea -= geometry::polygonArea(hole);
        figures.cutLength += geometry::ringLength(hole);
        if (hole.size() >= 3) ++figures.pierces;
    }
    figures.netArea = std::max(0.0, figures.netArea);
    figures.blank = smallestEnclosingRectangle(part.outline);
    // The outline is grown by the flattening's chord error for nesting; what the part
    // measures comes from its true curves where extraction knew them.
    if (part.figures.known) {
        figures.netArea = std::max(0.0, part.figures.outlineArea - part.figures.holesArea);
        figures.cutLength = part.figures.outlineLength + part.figures.holesLength;
        figures.blank = smallestEnclosingRectangle(part.figures.boundary);
    }
    return figures;
}

FlatBlank unfoldProfile(const std::vector<ProfileSegment>& segments, double thickness,
                        double kFactor, double defaultRadius) {
    FlatBlank blank;
    if (segments.empty()) {
        blank.message = "折弯轮廓为空";
        return blank;
    }
    const auto allowance = [&](double angle, double radius) {
        return angle * (radius + kFactor * thickness);
    };
    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const ProfileSegment& segment = segments[i];
        if (i > 0) {
            const double turn = turnBetween(tangentAt(segments[i - 1], segments[i - 1].end),
                                            tangentAt(segment, segment.start));
            const double angle = std::fabs(turn);
            if (angle > kLargestTurn) {
                blank.message = "折弯角过大（接近 180°）";
                return blank;
            }
            if (angle > kSmallestTurn) {
                const double setBack = defaultRadius * std::tan(angle / 2);
                if (!pieces.empty() && !pieces.back().bend) pieces.back().straight -= setBack;
                Piece corner{true, 0.0, {}};
                corner.data = {angle * 180.0 / kPi, defaultRadius, allowance(angle, defaultRadius),
                               turn > 0.0,          true,          0.0};
                pieces.push_back(corner);
                if (!segment.arc) {
                    pieces.push_back({false,
                                      std::hypot(segment.end.x - segment.start.x,
                                                 segment.end.y - segment.start.y) -
                                          setBack,
                                      {}});
                    continue;
                }
            }
        }
        if (segment.arc) {
            const double angle = std::fabs(segment.sweep);
            if (angle > kLargestTurn) {
                blank.message = "折弯角过大（接近 180°）";
                return blank;
            }
            Piece bend{true, 0.0, {}};
            bend.data = {angle * 180.0 / kPi, segment.radius, allowance(angle, segment.radius),
                         segment.sweep > 0.0, false,          0.0};
            pieces.push_back(bend);
        } else {
            pieces.push_back(
                {false,
                 std::hypot(segment.end.x - segment.start.x, segment.end.y - segment.start.y),
                 {}});
        }
    }
    double running = 0.0;
    for (Piece& piece : pieces) {
        if (piece.bend) {
            piece.data.position = running + piece.data.allowance / 2;
            running += piece.data.allowance;
            blank.bends.push_back(piece.data);
        } else {
            running += piece.straight;
            blank.straights.push_back(piece.straight);
            if (piece.straight < 0.0) blank.message = "折弯间直边短于折弯让位";
        }
    }
    blank.flatLength = running;
    blank.ok = running > 0.0;
    if (!blank.ok && blank.message.empty()) blank.message = "展开长度为零";
    return blank;
}

}  // namespace qks::bom
