#include "fill_renderer.h"

#include "hatch.h"

namespace qkshost::render::detail {

void FillRenderer::solid(const pdf::Pen& pen, const drawing::Solid& s, const Context& ctx) {
    const Matrix3d m = ctx.m * drawing::ocsToWcs(s.extrusion);
    std::vector<pdf::PolylineVertex> loop;
    for (int k : {0, 1, 3, 2})
        loop.push_back({xy(m.transform(s.corners[k]))});
    target_.addFill(pen, {std::move(loop)});
}

void FillRenderer::hatch(const pdf::Pen& pen, const drawing::Hatch& h, const Context& ctx) {
    const HatchLoops loops = hatchLoops(h);
    if (loops.loops.empty()) return;
    const Matrix3d m = ctx.m * drawing::ocsToWcs(h.extrusion);
    if (!loops.solid) {
        const PatternSegments pattern = clipPatternLines(h.patternLines, loops.loops);
        for (const auto& [a, b] : pattern.segments)
            target_.add(pen, pdf::LinePrimitive{xy(m.transform(Point3d{a.x, a.y, h.elevation})),
                                                xy(m.transform(Point3d{b.x, b.y, h.elevation}))});
        return;
    }
    std::vector<std::vector<pdf::PolylineVertex>> fill;
    for (const auto& loop : loops.loops) {
        std::vector<pdf::PolylineVertex> vertices;
        vertices.reserve(loop.size());
        for (const auto& p : loop)
            vertices.push_back({xy(m.transform(Point3d{p.x, p.y, h.elevation}))});
        fill.push_back(std::move(vertices));
    }
    target_.addFill(pen, std::move(fill));
}

}  // namespace qkshost::render::detail
