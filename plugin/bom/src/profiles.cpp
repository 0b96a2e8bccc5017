#include "profiles.h"

#include <cmath>

namespace qks::bom {
namespace {

// Ends closer than this (mm) meet.
constexpr double kJoinDistance = 0.01;

Point scaled(const host::Point3d& p, double scale) {
    return {p.x * scale, p.y * scale};
}

double distance(const Point& a, const Point& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

// The piece of a curve between two parameters: straight, or the arc through its middle.
ProfileSegment segmentThrough(const Point& a, const Point& middle, const Point& b) {
    ProfileSegment segment;
    segment.start = a;
    segment.end = b;
    const double chord = distance(a, b);
    const Point half{(a.x + b.x) / 2, (a.y + b.y) / 2};
    const double sagitta = distance(middle, half);
    if (chord <= 0.0 || sagitta <= 1e-6 * chord) return segment;
    // The middle lies right of the chord for a counter-clockwise arc.
    const double side = (b.x - a.x) * (middle.y - a.y) - (b.y - a.y) * (middle.x - a.x);
    const double sweep = 4.0 * std::atan(2.0 * sagitta / chord);
    segment.arc = true;
    segment.sweep = side < 0.0 ? sweep : -sweep;
    segment.radius = (chord * chord / 4 + sagitta * sagitta) / (2 * sagitta);
    // The centre lies on the chord's bisector, beyond the middle point's opposite side.
    const double ux = (half.x - middle.x) / sagitta, uy = (half.y - middle.y) / sagitta;
    segment.centre = {middle.x + ux * segment.radius, middle.y + uy * segment.radius};
    return segment;
}

ProfileSegment reversed(const ProfileSegment& segment) {
    ProfileSegment back = segment;
    std::swap(back.start, back.end);
    back.sweep = -segment.sweep;
    return back;
}

std::vector<ProfileSegment> reversed(const std::vector<ProfileSegment>& chain) {
    std::vector<ProfileSegment> back;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        back.push_back(reversed(*it));
    return back;
}

bool curveSegments(host::DrawingAccess& ds, host::ObjectId entity, const host::EntityInfo& info,
                   double scale, std::vector<ProfileSegment>& out) {
    bool closed = false;
    if (!host::succeeded(ds.curveIsClosed(entity, closed)) || closed) return false;
    double start = 0.0, end = 0.0;
    if (!host::succeeded(ds.curveParameterRange(entity, start, end)) || !(end > start))
        return false;
    const auto pointAt = [&](double parameter, Point& point) {
        host::Point3d p;
        if (!host::succeeded(ds.curvePointAt(entity, parameter, p))) return false;
        point = scaled(p, scale);
        return std::isfinite(point.x) && std::isfinite(point.y);
    };
    // Polylines have one parameter step per vertex; lines and arcs are one piece.
    const bool polyline =
        info.type == host::EntityType::LwPolyline || info.type == host::EntityType::Polyline2d;
    const double step = polyline ? 1.0 : end - start;
    for (double p = start; p < end - 1e-9; p += step) {
        const double q = std::min(end, p + step);
        Point a, m, b;
        if (!pointAt(p, a) || !pointAt((p + q) / 2, m) || !pointAt(q, b)) return false;
        if (distance(a, b) > 0.0) out.push_back(segmentThrough(a, m, b));
    }
    return !out.empty();
}

}  // namespace

std::vector<Profile> readProfiles(host::DrawingAccess& ds,
                                  const std::vector<host::ObjectId>& entities, double scale) {
    std::vector<std::vector<ProfileSegment>> pieces;
    std::vector<host::ObjectId> pieceEntities;
    for (const host::ObjectId entity : entities) {
        host::EntityInfo info;
        if (!host::succeeded(ds.entityInfo(entity, info)) || !info.isCurve) continue;
        std::vector<ProfileSegment> segments;
        if (!curveSegments(ds, entity, info, scale, segments)) continue;
        pieces.push_back(std::move(segments));
        pieceEntities.push_back(entity);
    }
    // Greedy chaining from pieces with a free end: a profile is a simple open path, so each
    // end meets at most one other end.
    std::vector<bool> used(pieces.size(), false);
    const auto endsMeet = [](const Point& a, const Point& b) {
        return distance(a, b) <= kJoinDistance;
    };
    // An end is free when no other piece has an end there.
    const auto isFree = [&](std::size_t i, const Point& end) {
        for (std::size_t j = 0; j < pieces.size(); ++j)
            if (j != i &&
                (endsMeet(end, pieces[j].front().start) || endsMeet(end, pieces[j].back().end)))
                return false;
        return true;
    };
    std::vector<Profile> profiles;
    // From free ends, so a chain is read whole from one end; pieces left over form loops.
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (used[i]) continue;
        std::vector<ProfileSegment> chain = pieces[i];
        if (!isFree(i, chain.front().start)) {
            if (!isFree(i, chain.back().end)) continue;
            chain = reversed(chain);
        }
        {
            Profile profile;
            profile.entities.push_back(pieceEntities[i]);
            used[i] = true;
            for (bool grown = true; grown;) {
                grown = false;
                for (std::size_t j = 0; j < pieces.size(); ++j) {
                    if (used[j]) continue;
                    if (endsMeet(chain.back().end, pieces[j].front().start)) {
                        chain.insert(chain.end(), pieces[j].begin(), pieces[j].end());
                    } else if (endsMeet(chain.back().end, pieces[j].back().end)) {
                        const auto back = reversed(pieces[j]);
                        chain.insert(chain.end(), back.begin(), back.end());
                    } else {
                        continue;
                    }
                    used[j] = true;
                    profile.entities.push_back(pieceEntities[j]);
                    grown = true;
                }
            }
            if (endsMeet(chain.front().start, chain.back().end)) continue;
            profile.segments = std::move(chain);
            profiles.push_back(std::move(profile));
        }
    }
    return profiles;
}

}  // namespace qks::bom
