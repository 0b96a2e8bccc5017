// Draws the curve entities: lines, points, circles, arcs, ellipses, light and heavy
// polylines, and splines, in the output space of the entity's context.
#pragma once

#include <vector>

#include "render_target.h"

namespace qkshost::render::detail {

class CurveRenderer {
  public:
    CurveRenderer(const Database& db, RenderTarget& target) : db_(db), target_(target) {}

    void line(const pdf::Pen& pen, const drawing::Line& l, const Context& ctx) {
        target_.add(pen,
                    pdf::LinePrimitive{xy(ctx.m.transform(l.start)), xy(ctx.m.transform(l.end))});
    }
    void point(const pdf::Pen& pen, const drawing::PointEntity& p, const Context& ctx) {
        const Point2 at = xy(ctx.m.transform(p.position));
        target_.add(pen, pdf::LinePrimitive{at, at});
    }
    void circle(const pdf::Pen& pen, const drawing::Circle& c, const Context& ctx);
    void arc(const pdf::Pen& pen, const drawing::Arc& a, const Context& ctx);
    void ellipse(const pdf::Pen& pen, const drawing::Ellipse& el, const Context& ctx);
    void lwPolyline(const pdf::Pen& pen, const drawing::LwPolyline& p, const Context& ctx);
    void polyline(const pdf::Pen& pen, const drawing::Polyline& p, const Context& ctx);
    void spline(const pdf::Pen& pen, const drawing::Spline& s, const Context& ctx);

  private:
    // c + u cos t + v sin t for t from t0 to t1 (counter-clockwise), in the space of m.
    void conic(const pdf::Pen& pen, const Matrix3d& m, const Point3d& centre, const Vector3d& u3,
               const Vector3d& v3, double t0, double t1, bool full);

    // Vertices in the space of m; bulges stay arcs when m keeps circles circles.
    void emitPolyline(const pdf::Pen& pen, const Matrix3d& m,
                      const std::vector<pdf::PolylineVertex>& source, double z, bool closed);

    const Database& db_;
    RenderTarget& target_;
};

}  // namespace qkshost::render::detail
