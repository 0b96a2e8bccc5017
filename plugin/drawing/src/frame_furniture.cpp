#include "frame_furniture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <map>
#include <utility>

#include "qks/drawing/frames.h"
#include "qks/geometry/plane.h"

namespace qks::drawing {
namespace {

using geometry::Point;

// The largest share of the frame's area a group of lines may box in for what lies within it to
// be the frame's: a title block with its tables covers well under a quarter of a sheet.
constexpr double kLargestGroupShare = 0.25;

struct Segment {
    Point a, b;
};

// The straight pieces of a line or polyline (bulged polyline segments are arcs: left out).
std::vector<Segment> segmentsOf(host::DrawingAccess& ds, host::ObjectId entity,
                                host::EntityType type, const host::Matrix3d& placed) {
    std::vector<Segment> out;
    const auto add = [&](const host::Point3d& p, const host::Point3d& q) {
        const host::Point3d a = placed.transform(p), b = placed.transform(q);
        out.push_back({{a.x, a.y}, {b.x, b.y}});
    };
    if (type == host::EntityType::Line) {
        std::vector<host::Point3d> points;
        bool closed = false;
        if (host::succeeded(ds.curvePoints(entity, 1.0, points, closed)) && points.size() == 2)
            add(points[0], points[1]);
    } else if (type == host::EntityType::LwPolyline) {
        host::LwPolylineInfo polyline;
        if (!host::succeeded(ds.lwPolyline(entity, polyline))) return out;
        const std::size_t n = polyline.vertices.size();
        const std::size_t edges = n < 2 ? 0 : polyline.closed ? n : n - 1;
        for (std::size_t k = 0; k < edges; ++k)
            if (k >= polyline.bulges.size() || polyline.bulges[k] == 0.0)
                add(polyline.vertices[k], polyline.vertices[(k + 1) % n]);
    }
    return out;
}

// Whether an end of one segment list lies within `tolerance` of a segment of the other.
bool meet(const std::vector<Segment>& x, const std::vector<Segment>& y, double tolerance) {
    for (int pass = 0; pass < 2; ++pass) {
        const std::vector<Segment>& ends = pass == 0 ? x : y;
        const std::vector<Segment>& along = pass == 0 ? y : x;
        for (const Segment& e : ends)
            for (const Point& p : {e.a, e.b})
                for (const Segment& s : along)
                    if (geometry::pointSegmentDistance(p, s.a, s.b) <= tolerance) return true;
    }
    return false;
}

struct Loose {
    std::string handle;
    std::vector<Segment> segments;
};

// Loose lines of one frame reference's extents, bucketed by grid cell for the search.
class LooseIndex {
  public:
    LooseIndex(std::vector<Loose> loose, const host::Extents3d& region, double tolerance)
        : loose_(std::move(loose)),
          minX_(region.min.x),
          minY_(region.min.y),
          tolerance_(tolerance) {
        const double extent = std::max(region.max.x - region.min.x, region.max.y - region.min.y);
        cell_ = std::max(extent / 64.0, 4.0 * tolerance);
        for (std::size_t i = 0; i < loose_.size(); ++i)
            forCells(loose_[i].segments, [&](std::int64_t key) { cells_[key].push_back(i); });
    }

    const std::vector<Loose>& loose() const { return loose_; }

    // Calls `visit` with every line that may meet the given segments.
    template <class Visit>
    void near(const std::vector<Segment>& segments, Visit&& visit) const {
        forCells(segments, [&](std::int64_t key) {
            const auto found = cells_.find(key);
            if (found == cells_.end()) return;
            for (const std::size_t i : found->second)
                visit(i);
        });
    }

  private:
    template <class Take>
    void forCells(const std::vector<Segment>& segments, Take&& take) const {
        for (const Segment& s : segments) {
            const auto cellOf = [&](double v, double origin) {
                return static_cast<std::int64_t>(std::floor((v - origin) / cell_));
            };
            const std::int64_t x0 = cellOf(std::min(s.a.x, s.b.x) - tolerance_, minX_);
            const std::int64_t x1 = cellOf(std::max(s.a.x, s.b.x) + tolerance_, minX_);
            const std::int64_t y0 = cellOf(std::min(s.a.y, s.b.y) - tolerance_, minY_);
            const std::int64_t y1 = cellOf(std::max(s.a.y, s.b.y) + tolerance_, minY_);
            for (std::int64_t x = x0; x <= x1; ++x)
                for (std::int64_t y = y0; y <= y1; ++y)
                    take(x * 1000003 + y);
        }
    }

    std::vector<Loose> loose_;
    double minX_, minY_, tolerance_, cell_ = 1.0;
    std::map<std::int64_t, std::vector<std::size_t>> cells_;
};

}  // namespace

std::vector<std::string> frameFurniture(host::DrawingAccess& ds,
                                        const std::vector<host::ObjectId>& entities,
                                        double tolerance) {
    std::vector<std::string> handles;
    if (!(tolerance > 0.0)) return handles;
    for (const host::ObjectId reference : entities) {
        host::BlockReferenceInfo block;
        host::Extents3d region;
        if (ds.entityType(reference) != host::EntityType::BlockReference ||
            !host::succeeded(ds.blockReference(reference, block)) ||
            !isFrameName(block.blockName) || block.columns > 1 || block.rows > 1 ||
            !host::succeeded(ds.geometricExtents(reference, region)))
            continue;
        std::vector<Segment> frame;
        for (const host::ObjectId entity : ds.blockEntities(block.blockRecord)) {
            const std::vector<Segment> s =
                segmentsOf(ds, entity, ds.entityType(entity), block.transform);
            frame.insert(frame.end(), s.begin(), s.end());
        }
        if (frame.empty()) continue;
        std::vector<Loose> loose;
        for (const host::ObjectId entity : entities) {
            const host::EntityType type = ds.entityType(entity);
            if (type != host::EntityType::Line && type != host::EntityType::LwPolyline) continue;
            host::Extents3d box;
            if (!host::succeeded(ds.geometricExtents(entity, box)) ||
                box.min.x < region.min.x - tolerance || box.min.y < region.min.y - tolerance ||
                box.max.x > region.max.x + tolerance || box.max.y > region.max.y + tolerance)
                continue;
            host::EntityInfo info;
            std::vector<Segment> segments = segmentsOf(ds, entity, type, host::Matrix3d{});
            if (segments.empty() || !host::succeeded(ds.entityInfo(entity, info))) continue;
            loose.push_back({info.handle, std::move(segments)});
        }
        const LooseIndex index(std::move(loose), region, tolerance);
        std::vector<bool> taken(index.loose().size(), false);
        std::vector<host::Extents3d> groups;  // the box of each group of lines reached
        const auto grow = [&](std::size_t seed) {
            std::deque<std::size_t> queue{seed};
            taken[seed] = true;
            host::Extents3d box{{1e300, 1e300, 0}, {-1e300, -1e300, 0}};
            while (!queue.empty()) {
                const std::size_t at = queue.front();
                queue.pop_front();
                handles.push_back(index.loose()[at].handle);
                for (const Segment& s : index.loose()[at].segments)
                    for (const Point& p : {s.a, s.b}) {
                        box.min.x = std::min(box.min.x, p.x), box.min.y = std::min(box.min.y, p.y);
                        box.max.x = std::max(box.max.x, p.x), box.max.y = std::max(box.max.y, p.y);
                    }
                index.near(index.loose()[at].segments, [&](std::size_t i) {
                    if (!taken[i] &&
                        meet(index.loose()[i].segments, index.loose()[at].segments, tolerance)) {
                        taken[i] = true;
                        queue.push_back(i);
                    }
                });
            }
            // A group as large as a good part of the sheet (a border drawn again over the
            // block's) holds the drawing itself, not a title block's contents.
            const double area = (box.max.x - box.min.x) * (box.max.y - box.min.y);
            const double sheet = (region.max.x - region.min.x) * (region.max.y - region.min.y);
            if (area <= kLargestGroupShare * sheet) groups.push_back(box);
        };
        index.near(frame, [&](std::size_t i) {
            if (!taken[i] && meet(index.loose()[i].segments, frame, tolerance)) grow(i);
        });
        // What such a group closes in (the projection symbol of a title block, its texts) is
        // the frame's too.
        for (const host::ObjectId entity : entities) {
            host::Extents3d box;
            host::EntityInfo info;
            if (ds.entityType(entity) == host::EntityType::BlockReference ||
                !host::succeeded(ds.geometricExtents(entity, box)))
                continue;
            const bool within = std::any_of(groups.begin(), groups.end(), [&](const auto& g) {
                return box.min.x >= g.min.x - tolerance && box.min.y >= g.min.y - tolerance &&
                       box.max.x <= g.max.x + tolerance && box.max.y <= g.max.y + tolerance;
            });
            if (within && host::succeeded(ds.entityInfo(entity, info)) &&
                std::find(handles.begin(), handles.end(), info.handle) == handles.end())
                handles.push_back(info.handle);
        }
    }
    return handles;
}

}  // namespace qks::drawing
