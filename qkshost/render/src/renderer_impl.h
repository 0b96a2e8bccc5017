// The renderer of a drawing's entities into the display list. Its parts are split by entity
// kind (renderer.cpp: the entry points, the entity dispatch and what every entity inherits;
// renderer_blocks.cpp: block references and viewports; renderer_curves.cpp: arcs, ellipses,
// polylines and splines; renderer_text.cpp: texts and multiline texts; hatch.cpp: hatch loops).
#pragma once

#include "qkshost/render/renderer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "mtext_runs.h"
#include "qks/common/plane.h"
#include "qkshost/drawing/geometry.h"

namespace qkshost::render::detail {

using drawing::Database;
using drawing::Kind;
using drawing::Matrix3d;
using drawing::ObjectIndex;
using drawing::Point3d;
using drawing::Vector3d;
using pdf::PlotColour;
using pdf::Point2;

using qks::kPi;
constexpr double kTwoPi = 2 * kPi;
constexpr int kMaxArrayCells = 10000;
// Highest spline degree evaluated (the evaluator's working arrays hold degree + 1 points);
// higher ones are drawn through their control points.
constexpr int kMaxSplineDegree = 25;
// Entities drawn for one layout at the most: nested arrays of block references could
// otherwise multiply into more than any page can show.
constexpr std::size_t kMaxEntityVisits = 5'000'000;

inline bool equalsNoCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == 0;
}

// What an entity inherits from the block references (or dimension) that show it.
struct Context {
    Matrix3d m;                              // entity space to output space
    ObjectIndex layer = 0;                   // layer that replaces "0" inside blocks
    PlotColour colour = PlotColour::aci(7);  // ByBlock colour
    double weightMm = -1.0;                  // ByBlock weight
    ObjectIndex linetype = 0;                // ByBlock linetype (0: solid)
    // Paper units per model unit of the viewport model space is drawn through (1 outside
    // viewports): line patterns there are measured on paper, as they are by default in the
    // CAD program.
    double viewportScale = 1.0;
    int depth = 0;
    std::vector<ObjectIndex>* blocks = nullptr;  // block records being drawn (cycle guard)
    // layers frozen in the viewport model space is drawn through (none outside viewports)
    const std::vector<ObjectIndex>* frozenInViewport = nullptr;
};

inline Point2 xy(const Point3d& p) {
    return {p.x, p.y};
}
inline Point2 linearXY(const Matrix3d& m, double x, double y) {
    return {m.m[0][0] * x + m.m[0][1] * y, m.m[1][0] * x + m.m[1][1] * y};
}
inline double norm(const Point2& v) {
    return std::hypot(v.x, v.y);
}
inline double cross(const Point2& a, const Point2& b) {
    return a.x * b.y - a.y * b.x;
}
inline double dot(const Point2& a, const Point2& b) {
    return a.x * b.x + a.y * b.y;
}
inline bool finitePoint(const Point2& p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// The plane's x and y axes after the transform, as seen on the output plane.
struct Frame {
    Point2 u, v;
    bool conformal() const {
        const double nu = norm(u), nv = norm(v);
        if (nu <= 0 || nv <= 0 || !std::isfinite(nu) || !std::isfinite(nv)) return false;
        return std::fabs(nu - nv) <= 1e-9 * std::max(nu, nv) &&
               std::fabs(dot(u, v)) <= 1e-9 * nu * nv;
    }
    bool mirrored() const { return cross(u, v) < 0; }
    double scale() const { return norm(u); }
};
inline Frame frameOf(const Matrix3d& m) {
    return {linearXY(m, 1, 0), linearXY(m, 0, 1)};
}

class Renderer {
  public:
    Renderer(const Database& db, pdf::DisplayList& out) : db_(db), out_(out) {
        for (ObjectIndex lt : db.linetypes()) {
            const auto* record = db.get<drawing::LinetypeRecord>(lt);
            if (record && equalsNoCase(record->name, "ByLayer")) byLayer_ = lt;
            if (record && equalsNoCase(record->name, "ByBlock")) byBlock_ = lt;
        }
    }

    void drawBlock(ObjectIndex block, const Context& ctx, std::size_t first = 0,
                   std::size_t last = ~std::size_t(0)) {
        const auto* record = db_.get<drawing::BlockRecord>(block);
        if (record == nullptr) return;
        last = std::min(last, record->entities.size());
        for (std::size_t i = first; i < last; ++i)
            drawEntity(record->entities[i], ctx, /*inPaperLayout=*/false);
    }

    void drawPaperLayout(ObjectIndex block, const Context& ctx) {
        const auto* record = db_.get<drawing::BlockRecord>(block);
        if (record == nullptr) return;
        for (ObjectIndex i : record->entities)
            drawEntity(i, ctx, /*inPaperLayout=*/true);
    }

  private:
    const drawing::LayerRecord* effectiveLayer(const drawing::Entity& e, const Context& ctx) const {
        ObjectIndex layer = e.layer ? e.layer : db_.layer0();
        if (ctx.layer && layer == db_.layer0()) layer = ctx.layer;
        return db_.get<drawing::LayerRecord>(layer);
    }
    bool hidden(const drawing::LayerRecord* layer) const {
        if (view_ != nullptr) return layer != nullptr && layer->frozen();
        return layer != nullptr && (layer->off || layer->frozen() || !layer->plot);
    }
    bool frozen(const drawing::LayerRecord* layer) const {
        if (view_ != nullptr) return layer != nullptr && layer->frozen();
        return layer != nullptr && (layer->frozen() || !layer->plot);
    }
    static bool frozenIn(const drawing::LayerRecord* layer, const Context& ctx) {
        if (layer == nullptr || ctx.frozenInViewport == nullptr) return false;
        const auto& list = *ctx.frozenInViewport;
        return std::find(list.begin(), list.end(), layer->self) != list.end();
    }

    PlotColour colourOf(const drawing::Entity& e, const drawing::LayerRecord* layer,
                        const Context& ctx) const;

    double weightOf(const drawing::Entity& e, const drawing::LayerRecord* layer,
                    const Context& ctx) const;

    void drawEntity(ObjectIndex index, const Context& ctx, bool inPaperLayout);

    // The linetype record an entity is drawn with: ByLayer and ByBlock resolved; 0 when it
    // resolves to nothing (solid).
    ObjectIndex linetypeOf(const drawing::Entity& e, const drawing::LayerRecord* layer,
                           const Context& ctx) const;

    // The display list's pattern for the entity's linetype at the entity's scale; 0 solid.
    int dashOf(const drawing::Entity& e, const drawing::LayerRecord* layer, const Context& ctx);

    Context childContext(const pdf::Pen& pen, const drawing::LayerRecord* layer,
                         const Context& ctx) const;

    // Draws a block record's entities with `ctx`, unless it is already being drawn.
    void enterBlock(ObjectIndex block, const Context& ctx);

    void reference(const pdf::Pen& pen, const drawing::BlockReference& r,
                   const drawing::LayerRecord* layer, const Context& ctx);

    void viewport(const pdf::Pen& pen, const drawing::Viewport& vp, const Context& ctx);

    // c + u cos t + v sin t for t from t0 to t1 (counter-clockwise), in the space of m.
    void conic(const pdf::Pen& pen, const Matrix3d& m, const Point3d& centre, const Vector3d& u3,
               const Vector3d& v3, double t0, double t1, bool full);

    // Vertices in the space of m; bulges stay arcs when m keeps circles circles.
    void emitPolyline(const pdf::Pen& pen, const Matrix3d& m,
                      const std::vector<pdf::PolylineVertex>& source, double z, bool closed);

    void lwPolyline(const pdf::Pen& pen, const drawing::LwPolyline& p, const Context& ctx);

    void polyline(const pdf::Pen& pen, const drawing::Polyline& p, const Context& ctx);

    void spline(const pdf::Pen& pen, const drawing::Spline& s, const Context& ctx);

    std::string fontOf(ObjectIndex style) const;

    void text(const pdf::Pen& pen, const drawing::TextBase& t, const Context& ctx);

    void placeText(pdf::TextPrimitive& prim, const Matrix3d& m, const Point3d& anchor,
                   double rotation, double height, double widthFactor, double oblique,
                   ObjectIndex style);

    void mtext(const pdf::Pen& pen, const drawing::MText& t, const Context& ctx);

    // Multiline text whose characters change format: each line is laid out run by run, every
    // run a text of its own placed after the ones before it; a line is as tall as its tallest
    // run, and lines follow at 5/3 of that height times the line spacing.
    void formattedMText(const pdf::Pen& pen, const drawing::MText& t, const Context& ctx,
                        const std::vector<detail::MTextRun>& runs);

    void add(const pdf::Pen& pen, pdf::Primitive primitive) {
        if (view_ != nullptr) {
            // Clips and transforms are pushed past add(): they take the layer of what follows.
            view_->itemLayers.resize(out_.size(), currentLayer_);
            view_->itemLayers.push_back(currentLayer_);
        }
        out_.add(pen, std::move(primitive));
    }

  public:
    // Makes this renderer draw for the drawing window (see renderLayoutForView).
    void drawForView(ViewRendering* view) { view_ = view; }

  private:
    ViewRendering* view_ = nullptr;
    ObjectIndex currentLayer_ = 0;
    int entityNesting_ = 0;
    void addFill(const pdf::Pen& pen, std::vector<std::vector<pdf::PolylineVertex>> loops) {
        for (const auto& loop : loops)
            for (const auto& v : loop)
                if (!finitePoint(v.point)) return;
        add(pen, pdf::FillPrimitive{std::move(loops)});
    }

    const Database& db_;
    pdf::DisplayList& out_;
    std::size_t visits_ = 0;
    std::map<std::pair<ObjectIndex, double>, int> dashes_;  // (linetype, scale) -> pattern
    ObjectIndex byLayer_ = 0, byBlock_ = 0;                 // the two pseudo linetypes
};

}  // namespace qkshost::render::detail
