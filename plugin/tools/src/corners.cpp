// 倒角与圆角: each corner of a closed straight-edged polyline gets a fillet (an arc of the radius,
// tangent to both edges) or a chamfer (a cut the given length back along each edge).
#include <algorithm>
#include <cmath>

#include "qks/drawing/extraction.h"
#include "qks/tools/operations.h"

namespace qks::tools {
namespace {

struct Corner {
    bool done = false;
    double cut = 0.0;    // length taken off each neighbouring edge
    double bulge = 0.0;  // of the arc from the first cut point to the second
};

}  // namespace

CornerCounts roundCorners(host::DrawingEdits& ds, host::ObjectId space, double radius,
                          double chamfer) {
    CornerCounts counts;
    if (!(radius > 0) && !(chamfer > 0)) return counts;
    // Outlines only: closed polylines on cut layers that no other one holds (those are holes).
    struct Outline {
        host::ObjectId id;
        host::LwPolylineInfo polyline;
    };
    std::vector<Outline> outlines;
    const std::vector<std::string> skipped = drawing::ExtractionOptions{}.skipLayers;
    for (const host::ObjectId entity : ds.blockEntities(space)) {
        host::EntityInfo info;
        host::LwPolylineInfo polyline;
        if (host::succeeded(ds.entityInfo(entity, info)) &&
            info.type == host::EntityType::LwPolyline &&
            !drawing::layerSkipped(skipped, info.layer) &&
            host::succeeded(ds.lwPolyline(entity, polyline)) && polyline.closed &&
            polyline.vertices.size() >= 3)
            outlines.push_back({entity, std::move(polyline)});
    }
    const auto holds = [](const host::LwPolylineInfo& outer, const host::Point3d& p) {
        bool in = false;
        const auto& r = outer.vertices;
        for (std::size_t i = 0, j = r.size() - 1; i < r.size(); j = i++)
            if ((r[i].y > p.y) != (r[j].y > p.y) &&
                p.x < (r[j].x - r[i].x) * (p.y - r[i].y) / (r[j].y - r[i].y) + r[i].x)
                in = !in;
        return in;
    };
    std::vector<host::ObjectId> replaced;
    for (const Outline& candidate : outlines) {
        const bool hole = std::any_of(outlines.begin(), outlines.end(), [&](const Outline& other) {
            return other.id != candidate.id &&
                   holds(other.polyline, candidate.polyline.vertices[0]);
        });
        if (hole) continue;
        const host::ObjectId entity = candidate.id;
        const host::LwPolylineInfo& polyline = candidate.polyline;
        const auto& v = polyline.vertices;
        const std::size_t n = v.size();
        const auto bulgeOf = [&](std::size_t i) {
            return i < polyline.bulges.size() ? polyline.bulges[i] : 0.0;
        };
        std::vector<double> edge(n);  // from vertex i to i + 1
        for (std::size_t i = 0; i < n; ++i)
            edge[i] = std::hypot(v[(i + 1) % n].x - v[i].x, v[(i + 1) % n].y - v[i].y);
        std::vector<Corner> corners(n);
        std::vector<double> used(n, 0.0);  // of each edge, by the corners at its ends
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t before = (i + n - 1) % n;
            if (bulgeOf(before) != 0.0 || bulgeOf(i) != 0.0 || edge[before] <= 0 || edge[i] <= 0) {
                ++counts.leftAlone;
                continue;
            }
            const double ax = (v[i].x - v[before].x) / edge[before];
            const double ay = (v[i].y - v[before].y) / edge[before];
            const double bx = (v[(i + 1) % n].x - v[i].x) / edge[i];
            const double by = (v[(i + 1) % n].y - v[i].y) / edge[i];
            const double turn = std::atan2(ax * by - ay * bx, ax * bx + ay * by);
            if (std::fabs(turn) < 1e-9) continue;  // no corner: a straight run
            const double cut = radius > 0 ? radius * std::tan(std::fabs(turn) / 2) : chamfer;
            // Each edge gives up to its whole length to the two corners at its ends.
            if (cut > edge[before] - used[before] + 1e-9 || cut > edge[i] - used[i] + 1e-9 ||
                !std::isfinite(cut)) {
                ++counts.leftAlone;
                continue;
            }
            used[before] += cut;
            used[i] += cut;
            corners[i] = {true, cut, radius > 0 ? std::tan(turn / 4) : 0.0};
        }
        const bool any =
            std::any_of(corners.begin(), corners.end(), [](const Corner& c) { return c.done; });
        if (!any) continue;
        std::vector<host::Point3d> out;
        std::vector<double> bulges;
        for (std::size_t i = 0; i < n; ++i) {
            if (!corners[i].done) {
                out.push_back(v[i]);
                bulges.push_back(bulgeOf(i));
                continue;
            }
            const std::size_t before = (i + n - 1) % n;
            const double t = corners[i].cut;
            const host::Point3d& p = v[i];
            const host::Point3d& a = v[before];
            const host::Point3d& b = v[(i + 1) % n];
            out.push_back(
                {p.x + (a.x - p.x) * t / edge[before], p.y + (a.y - p.y) * t / edge[before], p.z});
            bulges.push_back(corners[i].bulge);
            out.push_back({p.x + (b.x - p.x) * t / edge[i], p.y + (b.y - p.y) * t / edge[i], p.z});
            bulges.push_back(0.0);
        }
        host::EntityProperties properties;
        host::ObjectId made;
        if (!host::succeeded(ds.entityProperties(entity, properties)) ||
            !host::succeeded(
                ds.addBulgedPolyline(space, out, bulges, true, properties.layer, &made)))
            continue;
        ds.setEntityProperties(made, properties);
        replaced.push_back(entity);
        counts.rounded += static_cast<int>(
            std::count_if(corners.begin(), corners.end(), [](const Corner& c) { return c.done; }));
    }
    ds.eraseEntities(replaced);
    return counts;
}

}  // namespace qks::tools
