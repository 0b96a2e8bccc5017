// The paths of a page's line work: polyline loops with their bulges, the bands of wide
// polylines, ellipse arcs and fill loops, added to the canvas's current path in the items'
// own units. Stroking and filling are the page renderer's.
#pragma once

#include <vector>

#include "geometry.h"
#include "item_scale.h"
#include "pdf_canvas.h"
#include "qkshost/pdf/display_list.h"

namespace qkshost::pdf::detail {

inline bool finiteVertices(const std::vector<PolylineVertex>& vertices) {
    for (const PolylineVertex& v : vertices)
        if (!finite(v.point) || !std::isfinite(v.bulge) || !std::isfinite(v.startWidth) ||
            !std::isfinite(v.endWidth))
            return false;
    return true;
}

class PagePathWriter {
  public:
    PagePathWriter(PdfCanvas& canvas, const ItemScale& scale) : canvas_(canvas), scale_(scale) {}

    // A bulged segment whose circle is too large to draw is as good as straight on paper.
    bool curvedSegment(const PolylineVertex& from, const Point2& to, BulgeArc& arc) const {
        return bulgeArc(from.point, to, from.bulge, arc) && scale_.drawable(arc.radius);
    }

    void appendSegment(const PolylineVertex& from, const Point2& to);

    void appendLoop(const std::vector<PolylineVertex>& v, bool closed) {
        canvas_.moveTo(v[0].point.x, v[0].point.y);
        const std::size_t segments = closed ? v.size() : v.size() - 1;
        for (std::size_t i = 0; i < segments; ++i)
            appendSegment(v[i], v[(i + 1) % v.size()].point);
        if (closed) canvas_.closePath();
    }

    // Band from `from` to `to` whose width runs from from.startWidth to from.endWidth: left edge
    // forwards, right edge backwards.
    void appendBand(const PolylineVertex& from, const Point2& to);

    // The ellipse's arc, `major` its major radius; built in the ellipse's own frame, the
    // canvas transform left as it was.
    void appendEllipse(const EllipsePrimitive& el, double major);

    // Adds the fill's loops to the current path; false when it has none to draw.
    bool appendFill(const FillPrimitive& fill) {
        bool any = false;
        for (const auto& loop : fill.loops)
            if (loop.size() >= 2 && finiteVertices(loop)) {
                appendLoop(loop, true);
                any = true;
            }
        return any;
    }

  private:
    PdfCanvas& canvas_;
    const ItemScale& scale_;
};

}  // namespace qkshost::pdf::detail
