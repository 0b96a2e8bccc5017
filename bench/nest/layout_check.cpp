#include "layout_check.h"

#include <geos_c.h>

#include <algorithm>
#include <memory>

#include "qks/nest/geometry.h"

namespace {

using qks::nest::Outline;

// A GEOS handle of its own for each check, so checks may run on any thread.
struct Geos {
    GEOSContextHandle_t handle = GEOS_init_r();
    ~Geos() { GEOS_finish_r(handle); }
};

struct GeometryDeleter {
    GEOSContextHandle_t handle;
    void operator()(GEOSGeometry* g) const {
        if (g) GEOSGeom_destroy_r(handle, g);
    }
};
using Geometry = std::unique_ptr<GEOSGeometry, GeometryDeleter>;

GEOSGeometry* ringOf(GEOSContextHandle_t h, const Outline& ring) {
    if (ring.size() < 3) return nullptr;
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(h, static_cast<unsigned>(ring.size() + 1), 2);
    for (std::size_t k = 0; k <= ring.size(); ++k) {
        const qks::nest::Point& p = ring[k % ring.size()];
        GEOSCoordSeq_setXY_r(h, seq, static_cast<unsigned>(k), p.x, p.y);
    }
    return GEOSGeom_createLinearRing_r(h, seq);
}

// The part as a GEOS polygon; null when GEOS cannot make a valid one of it.
Geometry polygonOf(GEOSContextHandle_t h, const PlacedPart& part) {
    GEOSGeometry* shell = ringOf(h, part.outline);
    if (!shell) return Geometry(nullptr, {h});
    std::vector<GEOSGeometry*> holes;
    for (const Outline& hole : part.holes)
        if (GEOSGeometry* r = ringOf(h, hole)) holes.push_back(r);
    Geometry polygon(GEOSGeom_createPolygon_r(h, shell, holes.empty() ? nullptr : holes.data(),
                                              static_cast<unsigned>(holes.size())),
                     {h});
    if (!polygon || GEOSisValid_r(h, polygon.get()) == 1) return polygon;
    return Geometry(GEOSMakeValid_r(h, polygon.get()), {h});
}

double areaOf(GEOSContextHandle_t h, const GEOSGeometry* g) {
    double area = 0.0;
    if (g) GEOSArea_r(h, g, &area);
    return area;
}

}  // namespace

void checkSheet(const std::vector<PlacedPart>& parts, double width, double height, double tolerance,
                LayoutCheck& result) {
    const Geos geos;
    GEOSContextHandle_t h = geos.handle;
    const Outline frame{{0, 0}, {width, 0}, {width, height}, {0, height}};
    const Geometry sheet = polygonOf(h, {frame, {}});
    std::vector<Geometry> polygons;
    std::vector<qks::nest::Bounds> boxes;
    for (const PlacedPart& part : parts) {
        polygons.push_back(polygonOf(h, part));
        boxes.push_back(qks::nest::boundsOf(part.outline));
        if (!polygons.back()) {
            ++result.invalid;
            continue;
        }
        // What of the part the sheet does not hold.
        const Geometry inside(GEOSIntersection_r(h, polygons.back().get(), sheet.get()), {h});
        const double outside = areaOf(h, polygons.back().get()) - areaOf(h, inside.get());
        if (outside > tolerance) {
            result.outsideArea += outside;
            ++result.partsOutside;
        }
    }
    for (std::size_t i = 0; i < parts.size(); ++i)
        for (std::size_t j = i + 1; j < parts.size(); ++j) {
            if (!polygons[i] || !polygons[j]) continue;
            const qks::nest::Bounds& a = boxes[i];
            const qks::nest::Bounds& b = boxes[j];
            if (std::min(a.maxX, b.maxX) <= std::max(a.minX, b.minX) ||
                std::min(a.maxY, b.maxY) <= std::max(a.minY, b.minY))
                continue;
            const Geometry shared(GEOSIntersection_r(h, polygons[i].get(), polygons[j].get()), {h});
            const double area = areaOf(h, shared.get());
            if (area > tolerance) {
                result.overlapArea += area;
                ++result.overlappingPairs;
            }
        }
}
