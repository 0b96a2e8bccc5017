// 清理冗余: zero-length and short curves, exact and overlapping duplicates, and curves that
// meet end to end joined into polylines.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "qks/common/plane.h"
#include "qks/tools/operations.h"

namespace qks::tools {
namespace {

struct P {
    double x = 0.0, y = 0.0;
};

double distance(const P& a, const P& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

enum class PieceKind { Line, Arc, Circle, Polyline };

struct Piece {
    host::ObjectId id;
    PieceKind kind = PieceKind::Line;
    int style =
        0;   // layer, line type, colour and weight, numbered: only alike curves merge or join
    P a, b;  // ends (lines, arcs, open polylines)
    host::ArcInfo arc;
    host::LwPolylineInfo polyline;
    double length = 0.0;
    bool erased = false;
};

double sweepOf(const host::ArcInfo& arc) {
    double sweep = std::fmod(arc.endAngle - arc.startAngle, 2 * kPi);
    if (sweep <= 0) sweep += 2 * kPi;
    return arc.fullCircle ? 2 * kPi : sweep;
}

// Styles numbered in the order met; the last one is kept aside, as neighbours mostly share it.
struct StyleNumbers {
    std::unordered_map<std::string, int> numbers;
    std::string last;
    int lastNumber = -1;
    int numberOf(const std::string& style) {
        if (lastNumber >= 0 && style == last) return lastNumber;
        last = style;
        lastNumber = numbers.emplace(style, static_cast<int>(numbers.size())).first->second;
        return lastNumber;
    }
};

bool readPiece(host::DrawingAccess& ds, host::ObjectId id, StyleNumbers& styles, Piece& piece) {
    const host::EntityType type = ds.entityType(id);
    if (type != host::EntityType::Line && type != host::EntityType::Arc &&
        type != host::EntityType::Circle && type != host::EntityType::LwPolyline)
        return false;
    host::EntityProperties properties;
    if (!host::succeeded(ds.entityProperties(id, properties))) return false;
    piece.id = id;
    const std::string style = properties.layer + '\n' + properties.linetype + '\n' +
                              std::to_string(properties.colorIndex) + '\n' +
                              std::to_string(properties.lineweight);
    piece.style = styles.numberOf(style);
    switch (type) {
        case host::EntityType::Line: {
            // One call for both ends; a zero-length line has no curve points, only its ends.
            std::vector<host::Point3d> ends;
            bool closed = false;
            if (!host::succeeded(ds.curvePoints(id, 1.0, ends, closed)) || ends.size() != 2) {
                double s = 0, e = 0;
                ends.assign(2, {});
                if (!host::succeeded(ds.curveParameterRange(id, s, e)) ||
                    !host::succeeded(ds.curvePointAt(id, s, ends[0])) ||
                    !host::succeeded(ds.curvePointAt(id, e, ends[1])))
                    return false;
            }
            piece.kind = PieceKind::Line;
            piece.a = {ends[0].x, ends[0].y};
            piece.b = {ends[1].x, ends[1].y};
            piece.length = distance(piece.a, piece.b);
            return true;
        }
        case host::EntityType::Arc:
        case host::EntityType::Circle: {
            if (!host::succeeded(ds.arcInfo(id, piece.arc))) return false;
            const host::ArcInfo& arc = piece.arc;
            piece.kind = arc.fullCircle ? PieceKind::Circle : PieceKind::Arc;
            piece.a = {arc.centre.x + arc.radius * std::cos(arc.startAngle),
                       arc.centre.y + arc.radius * std::sin(arc.startAngle)};
            piece.b = {arc.centre.x + arc.radius * std::cos(arc.endAngle),
                       arc.centre.y + arc.radius * std::sin(arc.endAngle)};
            piece.length = arc.radius * sweepOf(arc);
            return true;
        }
        case host::EntityType::LwPolyline: {
            if (!host::succeeded(ds.lwPolyline(id, piece.polyline))) return false;
            const auto& v = piece.polyline.vertices;
            if (v.empty()) return false;
            piece.kind = PieceKind::Polyline;
            piece.a = {v.front().x, v.front().y};
            piece.b = {v.back().x, v.back().y};
            const std::size_t segments = piece.polyline.closed ? v.size() : v.size() - 1;
            for (std::size_t i = 0; i < segments; ++i) {
                const host::Point3d& p = v[i];
                const host::Point3d& q = v[(i + 1) % v.size()];
                const double chord = std::hypot(q.x - p.x, q.y - p.y);
                const double bulge =
                    i < piece.polyline.bulges.size() ? piece.polyline.bulges[i] : 0;
                const double sweep = 4 * std::atan(std::fabs(bulge));
                piece.length += sweep > 1e-12 ? chord * sweep / (2 * std::sin(sweep / 2)) : chord;
            }
            return true;
        }
        default:
            return false;
    }
}

// Erasures wait in `pending` and are made together at the end: one by one they would cost a
// pass over model space each.
void erase(std::vector<host::ObjectId>& pending, Piece& piece) {
    if (piece.erased) return;
    piece.erased = true;
    pending.push_back(piece.id);
}

// Exact copies of arcs, circles and polylines: the first stays.
int removeCopies(std::vector<host::ObjectId>& pending, std::vector<Piece>& pieces,
                 double tolerance) {
    const auto q = [tolerance](double v) { return std::llround(v / tolerance); };
    std::unordered_set<std::string> seen;  // keys as bytes: hashing beats ordering here
    seen.reserve(pieces.size());
    int removed = 0;
    std::vector<long long> key;  // one buffer for every piece's key
    for (Piece& piece : pieces) {
        if (piece.erased || piece.kind == PieceKind::Line) continue;
        key.assign({static_cast<long long>(piece.kind), piece.style});
        if (piece.kind != PieceKind::Polyline) {
            const host::ArcInfo& arc = piece.arc;
            key.insert(key.end(), {q(arc.centre.x), q(arc.centre.y), q(arc.radius)});
            if (!arc.fullCircle)
                key.insert(key.end(), {q(piece.a.x), q(piece.a.y), q(piece.b.x), q(piece.b.y)});
        } else {
            // Either direction draws the same: the smaller key of the two.
            std::vector<long long> forward, backward;
            const auto& v = piece.polyline.vertices;
            const auto& bulges = piece.polyline.bulges;
            const std::size_t n = v.size();
            for (std::size_t i = 0; i < n; ++i) {
                forward.insert(forward.end(),
                               {q(v[i].x), q(v[i].y),
                                std::llround((i < bulges.size() ? bulges[i] : 0) * 1e9)});
                const std::size_t j = n - 1 - i;
                const double back = j >= 1 && j - 1 < bulges.size() ? -bulges[j - 1] : 0;
                backward.insert(backward.end(), {q(v[j].x), q(v[j].y), std::llround(back * 1e9)});
            }
            if (piece.polyline.closed) forward.push_back(1), backward.push_back(1);
            const auto& smaller = piece.polyline.closed ? forward : std::min(forward, backward);
            key.insert(key.end(), smaller.begin(), smaller.end());
        }
        if (!seen.emplace(reinterpret_cast<const char*>(key.data()), key.size() * sizeof(long long))
                 .second) {
            erase(pending, piece);
            ++removed;
        }
    }
    return removed;
}

// Lines on one infinite line that overlap or touch become one line; a line another one covers
// goes.
void mergeCollinearLines(host::DrawingEdits& ds, host::ObjectId space,
                         std::vector<host::ObjectId>& pending, std::vector<Piece>& pieces,
                         double tolerance, CleanCounts& counts) {
    struct Carrier {
        std::size_t piece;
        double angle, offset, s1, s2;
    };
    std::vector<Carrier> lines;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const Piece& p = pieces[i];
        if (p.erased || p.kind != PieceKind::Line) continue;
        double angle = std::atan2(p.b.y - p.a.y, p.b.x - p.a.x);
        if (angle < 0) angle += kPi;
        if (angle >= kPi - 1e-9) angle -= kPi;
        const double ux = std::cos(angle), uy = std::sin(angle);
        double s1 = ux * p.a.x + uy * p.a.y, s2 = ux * p.b.x + uy * p.b.y;
        if (s1 > s2) std::swap(s1, s2);
        lines.push_back({i, angle, -uy * p.a.x + ux * p.a.y, s1, s2});
    }
    std::sort(lines.begin(), lines.end(), [&](const Carrier& a, const Carrier& b) {
        return std::tie(pieces[a.piece].style, a.angle, a.offset, a.s1) <
               std::tie(pieces[b.piece].style, b.angle, b.offset, b.s1);
    });
    constexpr double kAngleTolerance = 1e-7;
    for (std::size_t begin = 0; begin < lines.size();) {
        std::size_t end = begin + 1;
        while (end < lines.size() &&
               pieces[lines[end].piece].style == pieces[lines[begin].piece].style &&
               lines[end].angle - lines[end - 1].angle <= kAngleTolerance &&
               std::fabs(lines[end].offset - lines[begin].offset) <= tolerance)
            ++end;
        std::vector<Carrier> group(lines.begin() + begin, lines.begin() + end);
        std::sort(group.begin(), group.end(),
                  [](const Carrier& a, const Carrier& b) { return a.s1 < b.s1; });
        for (std::size_t i = 0; i < group.size();) {
            std::size_t j = i + 1;
            double reach = group[i].s2;
            std::size_t widest = i;
            while (j < group.size() && group[j].s1 <= reach + tolerance) {
                if (group[j].s2 > reach) reach = group[j].s2;
                if (group[j].s2 - group[j].s1 > group[widest].s2 - group[widest].s1) widest = j;
                ++j;
            }
            if (j - i > 1) {
                const Carrier& keep = group[widest];
                const bool covered =
                    keep.s1 <= group[i].s1 + tolerance && keep.s2 >= reach - tolerance;
                if (covered) {
                    for (std::size_t k = i; k < j; ++k) {
                        if (k == widest) continue;
                        const Carrier& c = group[k];
                        const bool same = std::fabs(c.s1 - keep.s1) <= tolerance &&
                                          std::fabs(c.s2 - keep.s2) <= tolerance;
                        ++(same ? counts.duplicates : counts.overlapsMerged);
                        erase(pending, pieces[c.piece]);
                    }
                } else {
                    // One new line over the whole run, drawn like the first.
                    const double ux = std::cos(keep.angle), uy = std::sin(keep.angle);
                    const double o = keep.offset;
                    const host::Point3d a{ux * group[i].s1 - uy * o, uy * group[i].s1 + ux * o, 0};
                    const host::Point3d b{ux * reach - uy * o, uy * reach + ux * o, 0};
                    host::EntityProperties properties;
                    host::ObjectId made;
                    if (host::succeeded(ds.entityProperties(pieces[keep.piece].id, properties)) &&
                        host::succeeded(ds.addLine(space, a, b, properties.layer, &made))) {
                        ds.setEntityProperties(made, properties);
                        for (std::size_t k = i; k < j; ++k)
                            erase(pending, pieces[group[k].piece]);
                        counts.overlapsMerged += static_cast<int>(j - i) - 1;
                        Piece merged = pieces[keep.piece];
                        merged.id = made;
                        merged.erased = false;
                        merged.a = {a.x, a.y};
                        merged.b = {b.x, b.y};
                        merged.length = distance(merged.a, merged.b);
                        pieces.push_back(merged);
                    }
                }
            }
            i = j;
        }
        begin = end;
    }
}

// The piece as vertices and bulges, from its start when `forward`, else from its end.
void appendPath(const Piece& piece, bool forward, std::vector<host::Point3d>& vertices,
                std::vector<double>& bulges) {
    const auto add = [&](const P& p, double bulge) {
        vertices.push_back({p.x, p.y, 0});
        bulges.push_back(bulge);
    };
    if (piece.kind == PieceKind::Line) {
        add(forward ? piece.a : piece.b, 0.0);
    } else if (piece.kind == PieceKind::Arc) {
        const double bulge = std::tan(sweepOf(piece.arc) / 4);
        add(forward ? piece.a : piece.b, forward ? bulge : -bulge);
    } else {
        const auto& v = piece.polyline.vertices;
        const auto& b = piece.polyline.bulges;
        const std::size_t n = v.size();
        for (std::size_t k = 0; k + 1 < n; ++k) {
            const std::size_t i = forward ? k : n - 1 - k;
            const double bulge = forward ? (i < b.size() ? b[i] : 0.0)
                                         : (i >= 1 && i - 1 < b.size() ? -b[i - 1] : 0.0);
            add({v[i].x, v[i].y}, bulge);
        }
    }
}

// Curves that meet end to end, two ends at a point, become one polyline: a point where three
// or more ends meet is a junction and stays one.
void joinChains(host::DrawingEdits& ds, host::ObjectId space, std::vector<host::ObjectId>& pending,
                std::vector<Piece>& pieces, double tolerance, CleanCounts& counts) {
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const Piece& p = pieces[i];
        if (p.erased || p.kind == PieceKind::Circle) continue;
        if (p.kind == PieceKind::Polyline && p.polyline.closed) continue;
        open.push_back(i);
    }
    // Ends in cells of the tolerance, sorted by cell: an end's candidates lie in the 3 × 3
    // cells around it, three runs of the sorted list (one per column).
    const double cell = std::max(tolerance, 1e-9);
    const auto endPoint = [&](std::size_t end) -> const P& {
        const Piece& p = pieces[open[end / 2]];
        return end % 2 == 0 ? p.a : p.b;
    };
    struct CellEnd {
        long long cx, cy;
        std::size_t end;  // 2 * slot + side
        bool operator<(const CellEnd& o) const { return cx < o.cx || (cx == o.cx && cy < o.cy); }
    };
    std::vector<CellEnd> cells(2 * open.size());
    for (std::size_t e = 0; e < cells.size(); ++e) {
        const P& p = endPoint(e);
        cells[e] = {static_cast<long long>(std::floor(p.x / cell)),
                    static_cast<long long>(std::floor(p.y / cell)), e};
    }
    std::vector<CellEnd> sorted = cells;
    std::sort(sorted.begin(), sorted.end());
    std::vector<long long> partner(2 * open.size(), -1);
    for (std::size_t e = 0; e < cells.size(); ++e) {
        const P& p = endPoint(e);
        const int style = pieces[open[e / 2]].style;
        long long found = -1;
        bool several = false;
        for (long long dx = -1; dx <= 1 && !several; ++dx) {
            const CellEnd from{cells[e].cx + dx, cells[e].cy - 1, 0};
            for (auto it = std::lower_bound(sorted.begin(), sorted.end(), from);
                 it != sorted.end() && it->cx == from.cx && it->cy <= cells[e].cy + 1; ++it) {
                const std::size_t other = it->end;
                if (other / 2 == e / 2 || distance(p, endPoint(other)) > tolerance ||
                    pieces[open[other / 2]].style != style)
                    continue;
                if (found >= 0 && found != static_cast<long long>(other)) {
                    several = true;
                    break;
                }
                found = static_cast<long long>(other);
            }
        }
        if (!several) partner[e] = found;
    }
    // Mutual pairs only: an end whose partner sees others is at a junction.
    for (std::size_t e = 0; e < partner.size(); ++e)
        if (partner[e] >= 0 &&
            partner[static_cast<std::size_t>(partner[e])] != static_cast<long long>(e))
            partner[e] = -1;
    std::vector<bool> used(open.size(), false);
    const auto walk = [&](std::size_t start, std::size_t startEnd) {
        // From the end `startEnd` of `start` outwards through the other end.
        std::vector<std::pair<std::size_t, bool>> chain;  // slot, forward
        std::size_t slot = start;
        std::size_t entry = startEnd;
        while (true) {
            used[slot] = true;
            const bool forward = entry % 2 == 0;
            chain.push_back({slot, forward});
            const std::size_t exit = forward ? 2 * slot + 1 : 2 * slot;
            const long long next = partner[exit];
            if (next < 0 || used[static_cast<std::size_t>(next) / 2]) break;
            slot = static_cast<std::size_t>(next) / 2;
            entry = static_cast<std::size_t>(next);
        }
        return chain;
    };
    const auto emit = [&](const std::vector<std::pair<std::size_t, bool>>& chain) {
        if (chain.size() < 2) return;
        std::vector<host::Point3d> vertices;
        std::vector<double> bulges;
        for (const auto& [slot, forward] : chain)
            appendPath(pieces[open[slot]], forward, vertices, bulges);
        const Piece& last = pieces[open[chain.back().first]];
        const P end = chain.back().second ? last.b : last.a;
        const Piece& first = pieces[open[chain.front().first]];
        const P begin = chain.front().second ? first.a : first.b;
        const bool closed = distance(begin, end) <= tolerance;
        if (!closed) {
            vertices.push_back({end.x, end.y, 0});
            bulges.push_back(0.0);
        }
        host::EntityProperties properties;
        host::ObjectId made;
        if (!host::succeeded(ds.entityProperties(first.id, properties)) ||
            !host::succeeded(
                ds.addBulgedPolyline(space, vertices, bulges, closed, properties.layer, &made)))
            return;
        ds.setEntityProperties(made, properties);
        for (const auto& link : chain)
            erase(pending, pieces[open[link.first]]);
        ++counts.chains;
        counts.chainPieces += static_cast<int>(chain.size());
    };
    // Chains from free ends first, then what is left are loops.
    for (std::size_t slot = 0; slot < open.size(); ++slot) {
        if (used[slot]) continue;
        if (partner[2 * slot] < 0)
            emit(walk(slot, 2 * slot));
        else if (partner[2 * slot + 1] < 0)
            emit(walk(slot, 2 * slot + 1));
    }
    for (std::size_t slot = 0; slot < open.size(); ++slot)
        if (!used[slot]) emit(walk(slot, 2 * slot));
}

}  // namespace

CleanCounts cleanDrawing(host::DrawingEdits& ds, host::ObjectId space,
                         const CleanOptions& options) {
    CleanCounts counts;
    if (options.explode) {
        for (const host::ObjectId entity : ds.blockEntities(space)) {
            host::EntityInfo info;
            if (!host::succeeded(ds.entityInfo(entity, info)) ||
                info.type != host::EntityType::BlockReference)
                continue;
            ++(host::succeeded(ds.explodeBlockReference(entity, nullptr)) ? counts.exploded
                                                                          : counts.notExploded);
        }
    }
    std::vector<host::ObjectId> pending;
    StyleNumbers styles;
    std::vector<Piece> pieces;
    const std::vector<host::ObjectId> entities = ds.blockEntities(space);
    pieces.reserve(entities.size() + entities.size() / 4);  // room for merged lines
    for (const host::ObjectId entity : entities) {
        Piece piece;
        if (readPiece(ds, entity, styles, piece)) pieces.push_back(std::move(piece));
    }
    for (Piece& piece : pieces) {
        // Zero means zero, to rounding: small drawings (a unitless inch drawing read in
        // millimetres) have real curves far below any length tolerance.
        const double zero = 1e-9 * (1 + std::fmax(std::fabs(piece.a.x), std::fabs(piece.a.y)));
        const bool degenerate =
            piece.length <= zero || (piece.kind != PieceKind::Line &&
                                     piece.kind != PieceKind::Polyline && piece.arc.radius <= zero);
        if (degenerate) {
            erase(pending, piece);
            ++counts.zeroLength;
        } else if (piece.kind == PieceKind::Line && piece.length < options.shortLength) {
            erase(pending, piece);
            ++counts.shortLines;
        }
    }
    counts.duplicates += removeCopies(pending, pieces, options.tolerance);
    mergeCollinearLines(ds, space, pending, pieces, options.tolerance, counts);
    if (options.joinTolerance > 0)
        joinChains(ds, space, pending, pieces, options.joinTolerance, counts);
    ds.eraseEntities(pending);
    return counts;
}

}  // namespace qks::tools
