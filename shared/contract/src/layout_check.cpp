#include "qks/contract/layout_check.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "qks/contract/text_format.h"
#include "qks/geometry/plane.h"

namespace qks::contract {
namespace {

using geometry::Bounds;
using geometry::boundsOf;
using geometry::pointInPolygon;
using geometry::segmentDistance;

constexpr double kFar = std::numeric_limits<double>::infinity();

// A lower bound of the distance between anything inside the two boxes (0 when they meet).
double boxGap(const Bounds& a, const Bounds& b) {
    return std::max({a.minX - b.maxX, b.minX - a.maxX, a.minY - b.maxY, b.minY - a.maxY, 0.0});
}

struct Edge {
    Point a, b;
    Bounds box;
};

// The edges of `rings` that come within `reach` of `near`: only they can decide a distance
// below `reach`, or a crossing.
std::vector<Edge> edgesNear(const std::vector<const Outline*>& rings, const Bounds& near,
                            double reach) {
    std::vector<Edge> edges;
    for (const Outline* ring : rings)
        for (std::size_t i = 0, n = ring->size(); i < n; ++i) {
            const Point& a = (*ring)[i];
            const Point& b = (*ring)[(i + 1) % n];
            const Bounds box{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x),
                             std::max(a.y, b.y)};
            if (boxGap(box, near) < reach) edges.push_back({a, b, box});
        }
    return edges;
}

std::vector<const Outline*> ringsOf(const PlacedPart& part, bool holesFree) {
    std::vector<const Outline*> rings{&part.shape.outline};
    if (holesFree)
        for (const Outline& hole : part.shape.holes)
            rings.push_back(&hole);
    return rings;
}

bool inMaterial(const PlacedPart& part, const Point& p, bool holesFree) {
    if (!pointInPolygon(part.shape.outline, p.x, p.y)) return false;
    if (holesFree)
        for (const Outline& hole : part.shape.holes)
            if (pointInPolygon(hole, p.x, p.y)) return false;
    return true;
}

double distanceToEdges(const Point& p, const std::vector<Edge>& edges) {
    double best = kFar;
    for (const Edge& e : edges)
        best = std::min(best, pointSegmentDistance(p, e.a, e.b));
    return best;
}

// Whether `inner`'s material lies in `outer`'s where their boundaries neither cross nor meet:
// judged at a vertex (else an edge's middle) of `inner` off `outer`'s boundary. When every
// such point lies on it, the two outlines coincide and so does their material.
bool inside(const PlacedPart& inner, const PlacedPart& outer, const std::vector<Edge>& outerEdges,
            bool holesFree) {
    const Outline& ring = inner.shape.outline;
    for (int pass = 0; pass < 2; ++pass)
        for (std::size_t i = 0, n = ring.size(); i < n; ++i) {
            const Point& a = ring[i];
            const Point& b = ring[(i + 1) % n];
            const Point p = pass == 0 ? a : Point{(a.x + b.x) / 2, (a.y + b.y) / 2};
            if (distanceToEdges(p, outerEdges) > kLayoutTolerance)
                return inMaterial(outer, p, holesFree);
        }
    return true;
}

std::string partName(const NestLayout& layout, std::size_t sheet, std::size_t index) {
    const LayoutPlacement& at = layout.sheets[sheet].placements[index];
    const PartRecord* kind = findKind(layout, at.partId);
    const std::string name =
        kind && !kind->name.empty() ? kind->name : "编号 " + std::to_string(at.partId);
    return "「" + name + "」(第 " + std::to_string(index + 1) + " 件)";
}

std::string millimetres(double value) {
    return fixed(value, 2) + " mm";
}

struct SheetCheck {
    const NestLayout& layout;
    std::size_t sheet;
    std::vector<LayoutIssue>& issues;

    std::string where() const { return "板" + std::to_string(sheet + 1) + "："; }

    void add(LayoutFault fault, int placement, int other, const std::string& text) {
        LayoutIssue issue;
        issue.fault = fault;
        issue.sheet = static_cast<int>(sheet);
        issue.placement = placement;
        issue.other = other;
        issue.message = where() + text;
        issues.push_back(std::move(issue));
    }

    // The part against the sheet's edge, or the piece's outline and defects.
    void againstSheet(const PlacedPart& part, int index, const std::string& name) {
        const LayoutSettings& s = layout.settings;
        const LayoutSheet& sheet = layout.sheets[this->sheet];
        const Bounds& box = part.box;
        const double tol = kLayoutTolerance;
        if (sheet.stock.empty()) {
            if (box.minX < -tol || box.minY < -tol || box.maxX > sheet.width + tol ||
                box.maxY > sheet.height + tol) {
                add(LayoutFault::Outside, index, -1, name + " 超出板材");
                return;
            }
            const double edge =
                std::min({box.minX, box.minY, sheet.width - box.maxX, sheet.height - box.maxY});
            if (edge < s.margin - tol)
                add(LayoutFault::Margin, index, -1,
                    name + " 距板边 " + millimetres(edge) + "，小于边距 " + millimetres(s.margin));
            return;
        }
        PlacedPart piece;
        piece.shape.outline = sheet.stock.front();
        piece.box = boundsOf(piece.shape.outline);
        const std::vector<Edge> rim = edgesNear({&piece.shape.outline}, box, s.margin + tol);
        const std::vector<Edge> own = edgesNear({&part.shape.outline}, piece.box, kFar);
        double edge = kFar;
        bool crosses = false;
        for (const Edge& e : own)
            for (const Edge& r : rim) {
                if (boxGap(e.box, r.box) >= edge) continue;
                crosses = crosses || properlyCross(e.a, e.b, r.a, r.b);
                edge = std::min(edge, segmentDistance(e.a, e.b, r.a, r.b));
            }
        if (crosses || !inside(part, piece, rim, false)) {
            add(LayoutFault::Outside, index, -1, name + " 超出余料轮廓");
            return;
        }
        if (edge < s.margin - tol)
            add(LayoutFault::Margin, index, -1,
                name + " 距余料边 " + millimetres(edge) + "，小于边距 " + millimetres(s.margin));
        for (std::size_t d = 1; d < sheet.stock.size(); ++d) {
            PlacedPart defect;
            defect.shape.outline = sheet.stock[d];
            defect.box = boundsOf(defect.shape.outline);
            const double apart = clearance(part, defect, s.gap + tol, s.partInPart);
            if (apart < 0)
                add(LayoutFault::Defect, index, -1, name + " 压在缺陷上");
            else if (apart < s.gap - tol)
                add(LayoutFault::Defect, index, -1,
                    name + " 距缺陷 " + millimetres(apart) + "，小于间距 " + millimetres(s.gap));
        }
    }

    void betweenParts(const PlacedPart& a, int ia, const std::string& nameA, const PlacedPart& b,
                      int ib, const std::string& nameB) {
        const LayoutSettings& s = layout.settings;
        const double apart = clearance(a, b, s.gap + kLayoutTolerance, s.partInPart);
        if (apart < 0)
            add(LayoutFault::Overlap, ia, ib, nameA + " 与 " + nameB + " 重叠");
        else if (apart < s.gap - kLayoutTolerance)
            add(LayoutFault::Gap, ia, ib,
                nameA + " 与 " + nameB + " 间距 " + millimetres(apart) + "，小于 " +
                    millimetres(s.gap));
    }
};

bool onGrid(double value, const LayoutSettings& s) {
    const double steps = (value - s.gridOrigin) / s.cell;
    return std::fabs(value - s.gridOrigin - std::round(steps) * s.cell) <= kLayoutTolerance;
}

bool turnAllowed(const NestLayout& layout, const LayoutPlacement& at) {
    for (const LayoutTurns& turn : layout.turns)
        if (turn.partId == at.partId)
            return (!at.mirrored || turn.mirror) &&
                   std::find(turn.angles.begin(), turn.angles.end(), at.angle) != turn.angles.end();
    return at.angle == 0 && !at.mirrored;
}

}  // namespace

PlacedPart placePart(const PartRecord& part, const LayoutPlacement& at) {
    SheetPosition position;
    position.sheetX = at.x;
    position.sheetY = at.y;
    position.angle = at.angle;
    position.mirrored = at.mirrored;
    PlacedPart placed;
    placed.shape = placeShape(part, position);
    placed.box = boundsOf(placed.shape.outline);
    return placed;
}

double clearance(const PlacedPart& a, const PlacedPart& b, double reach, bool holesFree) {
    const double apart = boxGap(a.box, b.box);
    if (apart >= reach) return apart;
    const std::vector<Edge> edgesA = edgesNear(ringsOf(a, holesFree), b.box, reach);
    const std::vector<Edge> edgesB = edgesNear(ringsOf(b, holesFree), a.box, reach);
    double best = reach;
    for (const Edge& ea : edgesA)
        for (const Edge& eb : edgesB) {
            if (boxGap(ea.box, eb.box) >= best) continue;
            if (properlyCross(ea.a, ea.b, eb.a, eb.b)) return -1.0;
            best = std::min(best, segmentDistance(ea.a, ea.b, eb.a, eb.b));
        }
    if (apart <= 0.0 && (inside(b, a, edgesA, holesFree) || inside(a, b, edgesB, holesFree)))
        return -1.0;
    return best;
}

const PartRecord* findKind(const NestLayout& layout, std::int32_t id) {
    for (const PartRecord& part : layout.parts)
        if (part.id == id) return &part;
    return nullptr;
}

std::vector<LayoutIssue> checkLayout(const NestLayout& layout) {
    std::vector<LayoutIssue> issues;
    for (std::size_t s = 0; s < layout.sheets.size(); ++s) {
        SheetCheck check{layout, s, issues};
        const std::vector<LayoutPlacement>& list = layout.sheets[s].placements;
        std::vector<PlacedPart> placed(list.size());
        std::vector<bool> known(list.size(), false);
        std::vector<std::string> names(list.size());
        for (std::size_t k = 0; k < list.size(); ++k) {
            const int index = static_cast<int>(k);
            names[k] = partName(layout, s, k);
            const PartRecord* kind = findKind(layout, list[k].partId);
            if (!kind) {
                check.add(LayoutFault::UnknownPart, index, -1,
                          "第 " + std::to_string(k + 1) + " 件的零件编号 " +
                              std::to_string(list[k].partId) + " 不在排版的零件中");
                continue;
            }
            if (!turnAllowed(layout, list[k]))
                check.add(LayoutFault::Turn, index, -1,
                          names[k] + " 的角度 " + std::to_string(list[k].angle) + "°" +
                              (list[k].mirrored ? "（镜像）" : "") + " 不被允许");
            if (!onGrid(list[k].x, layout.settings) || !onGrid(list[k].y, layout.settings))
                check.add(LayoutFault::Grid, index, -1, names[k] + " 的位置不在套料网格上");
            known[k] = true;
            placed[k] = placePart(*kind, list[k]);
            check.againstSheet(placed[k], index, names[k]);
        }
        for (std::size_t i = 0; i < list.size(); ++i)
            for (std::size_t j = i + 1; j < list.size(); ++j)
                if (known[i] && known[j])
                    check.betweenParts(placed[i], static_cast<int>(i), names[i], placed[j],
                                       static_cast<int>(j), names[j]);
    }
    return issues;
}

std::vector<LayoutIssue> checkPlacement(const NestLayout& layout, std::size_t sheet,
                                        const LayoutPlacement& at, int ignore) {
    std::vector<LayoutIssue> issues;
    const PartRecord* kind = findKind(layout, at.partId);
    if (sheet >= layout.sheets.size() || !kind) return issues;
    SheetCheck check{layout, sheet, issues};
    const PlacedPart moving = placePart(*kind, at);
    const std::string name =
        "「" + (kind->name.empty() ? std::to_string(kind->id) : kind->name) + "」";
    check.againstSheet(moving, ignore, name);
    const std::vector<LayoutPlacement>& list = layout.sheets[sheet].placements;
    for (std::size_t k = 0; k < list.size(); ++k) {
        if (static_cast<int>(k) == ignore) continue;
        const PartRecord* other = findKind(layout, list[k].partId);
        if (!other) continue;
        check.betweenParts(moving, ignore, name, placePart(*other, list[k]), static_cast<int>(k),
                           partName(layout, sheet, k));
    }
    return issues;
}

bool placementFits(const NestLayout& layout, std::size_t sheet, const PlacedPart& part,
                   const std::vector<PlacedPart>& placed, int ignore) {
    if (sheet >= layout.sheets.size()) return false;
    std::vector<LayoutIssue> issues;
    SheetCheck check{layout, sheet, issues};
    check.againstSheet(part, ignore, {});
    for (std::size_t k = 0; k < placed.size() && issues.empty(); ++k)
        if (static_cast<int>(k) != ignore)
            check.betweenParts(part, ignore, {}, placed[k], static_cast<int>(k), {});
    return issues.empty();
}

}  // namespace qks::contract
