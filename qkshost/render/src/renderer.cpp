#include "qkshost/render/renderer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "hatch.h"
#include "linetype.h"
#include "mtext_runs.h"
#include "qks/common/plane.h"
#include "qkshost/drawing/geometry.h"
#include "qkshost/pdf/text_metrics.h"
#include "text_wrap.h"

namespace qkshost::render {
namespace {

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

bool equalsNoCase(const std::string& a, const char* b) {
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

Point2 xy(const Point3d& p) {
    return {p.x, p.y};
}
Point2 linearXY(const Matrix3d& m, double x, double y) {
    return {m.m[0][0] * x + m.m[0][1] * y, m.m[1][0] * x + m.m[1][1] * y};
}
double norm(const Point2& v) {
    return std::hypot(v.x, v.y);
}
double cross(const Point2& a, const Point2& b) {
    return a.x * b.y - a.y * b.x;
}
double dot(const Point2& a, const Point2& b) {
    return a.x * b.x + a.y * b.y;
}
bool finitePoint(const Point2& p) {
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
Frame frameOf(const Matrix3d& m) {
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
                        const Context& ctx) const {
        if (e.trueColor >= 0 && e.color != 0 && e.color != 256)
            return PlotColour::trueColour(std::uint8_t(e.trueColor >> 16),
                                          std::uint8_t(e.trueColor >> 8),
                                          std::uint8_t(e.trueColor));
        if (e.color == 0) return ctx.colour;
        if (e.color == 256 || e.color > 256 || e.color < -256) {
            if (layer == nullptr) return PlotColour::aci(7);
            if (layer->trueColor >= 0)
                return PlotColour::trueColour(std::uint8_t(layer->trueColor >> 16),
                                              std::uint8_t(layer->trueColor >> 8),
                                              std::uint8_t(layer->trueColor));
            const int index = std::abs(layer->color);
            return PlotColour::aci(index >= 1 && index <= 255 ? index : 7);
        }
        if (e.trueColor >= 0)
            return PlotColour::trueColour(std::uint8_t(e.trueColor >> 16),
                                          std::uint8_t(e.trueColor >> 8),
                                          std::uint8_t(e.trueColor));
        return PlotColour::aci(std::abs(e.color));
    }

    double weightOf(const drawing::Entity& e, const drawing::LayerRecord* layer,
                    const Context& ctx) const {
        int w = e.lineweight;
        if (w == -1) w = layer ? layer->lineweight : -3;
        if (w == -2) return ctx.weightMm;
        if (w < 0) return -1.0;
        return w / 100.0;
    }

    void drawEntity(ObjectIndex index, const Context& ctx, bool inPaperLayout) {
        if (++visits_ > kMaxEntityVisits) return;
        const drawing::Object* o = db_.object(index);
        if (o == nullptr || o->erased || !o->isEntity()) return;
        const auto& e = static_cast<const drawing::Entity&>(*o);
        if (e.invisible) return;
        const drawing::LayerRecord* layer = effectiveLayer(e, ctx);
        // For the drawing window: which entity of the layout's own block each item belongs to,
        // and the layer that shows it.
        struct ViewScope {
            Renderer& r;
            ObjectIndex previousLayer;
            ViewScope(Renderer& renderer, ObjectIndex entity, const drawing::LayerRecord* layer)
                : r(renderer), previousLayer(renderer.currentLayer_) {
                if (r.view_ == nullptr) return;
                if (r.entityNesting_++ == 0)
                    r.view_->entityStarts.emplace_back(entity, r.out_.size());
                r.currentLayer_ = layer != nullptr ? layer->self : 0;
            }
            ~ViewScope() {
                if (r.view_ == nullptr) return;
                --r.entityNesting_;
                r.currentLayer_ = previousLayer;
            }
        } viewScope(*this, index, layer);
        const Kind kind = o->kind();
        pdf::Pen pen{colourOf(e, layer, ctx), weightOf(e, layer, ctx)};
        if (kind != Kind::Text && kind != Kind::MText && kind != Kind::Attribute &&
            kind != Kind::AttributeDefinition && kind != Kind::Solid && kind != Kind::Hatch)
            pen.dash = dashOf(e, layer, ctx);
        // A reference on a layer that is off still shows what its block holds on other layers;
        // freezing, in the drawing or in the viewport, hides the reference with its contents.
        if (frozenIn(layer, ctx)) return;
        if (kind == Kind::BlockReference || kind == Kind::Dimension) {
            if (frozen(layer)) return;
        } else if (hidden(layer)) {
            return;
        }
        switch (kind) {
            case Kind::Line: {
                const auto& l = static_cast<const drawing::Line&>(e);
                add(pen,
                    pdf::LinePrimitive{xy(ctx.m.transform(l.start)), xy(ctx.m.transform(l.end))});
                break;
            }
            case Kind::Circle: {
                const auto& c = static_cast<const drawing::Circle&>(e);
                conic(pen, ctx.m * drawing::ocsToWcs(c.extrusion), c.center, {c.radius, 0, 0},
                      {0, c.radius, 0}, 0, kTwoPi, true);
                break;
            }
            case Kind::Arc: {
                const auto& a = static_cast<const drawing::Arc&>(e);
                conic(pen, ctx.m * drawing::ocsToWcs(a.extrusion), a.center, {a.radius, 0, 0},
                      {0, a.radius, 0}, a.startAngle, a.endAngle, false);
                break;
            }
            case Kind::Ellipse: {
                const auto& el = static_cast<const drawing::Ellipse&>(e);
                const Vector3d n = el.extrusion;
                const Vector3d minor{(n.y * el.majorAxis.z - n.z * el.majorAxis.y) * el.ratio,
                                     (n.z * el.majorAxis.x - n.x * el.majorAxis.z) * el.ratio,
                                     (n.x * el.majorAxis.y - n.y * el.majorAxis.x) * el.ratio};
                const bool full = std::fabs(std::fabs(el.endParam - el.startParam) - kTwoPi) < 1e-9;
                conic(pen, ctx.m, el.center, el.majorAxis, minor, el.startParam, el.endParam, full);
                break;
            }
            case Kind::LwPolyline:
                lwPolyline(pen, static_cast<const drawing::LwPolyline&>(e), ctx);
                break;
            case Kind::Polyline:
                polyline(pen, static_cast<const drawing::Polyline&>(e), ctx);
                break;
            case Kind::Spline:
                spline(pen, static_cast<const drawing::Spline&>(e), ctx);
                break;
            case Kind::Point: {
                const Point2 p =
                    xy(ctx.m.transform(static_cast<const drawing::PointEntity&>(e).position));
                add(pen, pdf::LinePrimitive{p, p});
                break;
            }
            case Kind::Solid: {
                const auto& s = static_cast<const drawing::Solid&>(e);
                const Matrix3d m = ctx.m * drawing::ocsToWcs(s.extrusion);
                std::vector<pdf::PolylineVertex> loop;
                for (int k : {0, 1, 3, 2})
                    loop.push_back({xy(m.transform(s.corners[k]))});
                addFill(pen, {std::move(loop)});
                break;
            }
            case Kind::Hatch: {
                const auto& h = static_cast<const drawing::Hatch&>(e);
                const detail::HatchLoops loops = detail::hatchLoops(h);
                if (loops.loops.empty()) break;
                const Matrix3d m = ctx.m * drawing::ocsToWcs(h.extrusion);
                if (!loops.solid) {
                    const detail::PatternSegments pattern =
                        detail::clipPatternLines(h.patternLines, loops.loops);
                    for (const auto& [a, b] : pattern.segments)
                        add(pen,
                            pdf::LinePrimitive{xy(m.transform(Point3d{a.x, a.y, h.elevation})),
                                               xy(m.transform(Point3d{b.x, b.y, h.elevation}))});
                    break;
                }
                std::vector<std::vector<pdf::PolylineVertex>> fill;
                for (const auto& loop : loops.loops) {
                    std::vector<pdf::PolylineVertex> vertices;
                    vertices.reserve(loop.size());
                    for (const auto& p : loop)
                        vertices.push_back({xy(m.transform(Point3d{p.x, p.y, h.elevation}))});
                    fill.push_back(std::move(vertices));
                }
                addFill(pen, std::move(fill));
                break;
            }
            case Kind::Text:
                text(pen, static_cast<const drawing::TextBase&>(e), ctx);
                break;
            case Kind::Attribute:
                if ((static_cast<const drawing::Attribute&>(e).attribFlags & 1) == 0)
                    text(pen, static_cast<const drawing::TextBase&>(e), ctx);
                break;
            case Kind::AttributeDefinition: {
                // Inside a block a definition is a template; at top level it shows its tag.
                if (ctx.depth > 0) break;
                drawing::AttributeDefinition shown =
                    static_cast<const drawing::AttributeDefinition&>(e);
                shown.text = shown.tag;
                text(pen, shown, ctx);
                break;
            }
            case Kind::MText:
                mtext(pen, static_cast<const drawing::MText&>(e), ctx);
                break;
            case Kind::BlockReference:
                reference(pen, static_cast<const drawing::BlockReference&>(e), layer, ctx);
                break;
            case Kind::Dimension: {
                const auto& d = static_cast<const drawing::Dimension&>(e);
                Context child = childContext(pen, layer, ctx);
                child.linetype = linetypeOf(e, layer, ctx);
                if (child.depth > kMaxBlockDepth) break;
                enterBlock(d.block, child);
                break;
            }
            case Kind::Viewport:
                if (inPaperLayout && ctx.depth == 0)
                    viewport(pen, static_cast<const drawing::Viewport&>(e), ctx);
                break;
            default:
                break;
        }
    }

    // The linetype record an entity is drawn with: ByLayer and ByBlock resolved; 0 when it
    // resolves to nothing (solid).
    ObjectIndex linetypeOf(const drawing::Entity& e, const drawing::LayerRecord* layer,
                           const Context& ctx) const {
        ObjectIndex lt = e.linetype;
        if (lt == 0 || lt == byLayer_ || !db_.get<drawing::LinetypeRecord>(lt)) {
            lt = layer ? layer->linetype : 0;
            if (lt == byLayer_ || lt == byBlock_) return 0;
        } else if (lt == byBlock_) {
            return ctx.linetype;
        }
        return db_.get<drawing::LinetypeRecord>(lt) ? lt : 0;
    }

    // The display list's pattern for the entity's linetype at the entity's scale; 0 solid.
    int dashOf(const drawing::Entity& e, const drawing::LayerRecord* layer, const Context& ctx) {
        const ObjectIndex lt = linetypeOf(e, layer, ctx);
        if (lt == 0) return 0;
        // Through a viewport the pattern is measured on paper ($PSLTSCALE 1) or in model units
        // shown at the viewport's scale ($PSLTSCALE 0).
        const double scale = db_.linetypeScale * e.linetypeScale * frameOf(ctx.m).scale() /
                             (db_.paperLinetypeScale ? ctx.viewportScale : 1.0);
        if (!(scale > 0) || !std::isfinite(scale)) return 0;
        const auto key = std::make_pair(lt, scale);
        const auto found = dashes_.find(key);
        if (found != dashes_.end()) return found->second;
        const int dash =
            out_.addDashPattern(detail::dashPattern(*db_.get<drawing::LinetypeRecord>(lt), scale));
        dashes_.emplace(key, dash);
        return dash;
    }

    Context childContext(const pdf::Pen& pen, const drawing::LayerRecord* layer,
                         const Context& ctx) const {
        Context child = ctx;
        child.layer = layer ? layer->self : ctx.layer;
        child.colour = pen.colour;
        child.weightMm = pen.lineWeightMm;
        child.depth = ctx.depth + 1;
        return child;
    }

    // Draws a block record's entities with `ctx`, unless it is already being drawn.
    void enterBlock(ObjectIndex block, const Context& ctx) {
        const auto* record = db_.get<drawing::BlockRecord>(block);
        if (record == nullptr || record->isLayout()) return;
        auto& stack = *ctx.blocks;
        if (std::find(stack.begin(), stack.end(), block) != stack.end()) return;
        stack.push_back(block);
        for (ObjectIndex i : record->entities)
            drawEntity(i, ctx, false);
        stack.pop_back();
    }

    void reference(const pdf::Pen& pen, const drawing::BlockReference& r,
                   const drawing::LayerRecord* layer, const Context& ctx) {
        Context child = childContext(pen, layer, ctx);
        child.linetype = linetypeOf(r, layer, ctx);
        if (child.depth <= kMaxBlockDepth) {
            const Matrix3d bt = drawing::blockTransform(db_, r);
            const int cols = std::clamp(r.columns, 1, kMaxArrayCells);
            const int rows = std::clamp(r.rows, 1, kMaxArrayCells / cols);
            const Matrix3d offsetFrame =
                drawing::ocsToWcs(r.extrusion) * Matrix3d::rotationZ(r.rotation);
            for (int row = 0; row < rows; ++row)
                for (int col = 0; col < cols; ++col) {
                    Matrix3d cell = bt;
                    if (row || col)
                        cell = Matrix3d::translation(offsetFrame.transform(
                                   Vector3d{col * r.columnSpacing, row * r.rowSpacing, 0})) *
                               bt;
                    child.m = ctx.m * cell;
                    enterBlock(r.block, child);
                }
        }
        // Attributes live in the reference's own space.
        for (ObjectIndex a : r.attributes)
            drawEntity(a, ctx, false);
    }

    void viewport(const pdf::Pen& pen, const drawing::Viewport& vp, const Context& ctx) {
        if (vp.id == 1 || vp.status == 0 || vp.width <= 0 || vp.height <= 0) return;
        const double hw = vp.width / 2, hh = vp.height / 2;
        const Point2 c = xy(ctx.m.transform(vp.center));
        std::vector<pdf::PolylineVertex> border;
        for (const auto& corner :
             {Point2{-hw, -hh}, Point2{hw, -hh}, Point2{hw, hh}, Point2{-hw, hh}})
            border.push_back({Point2{c.x + corner.x, c.y + corner.y}});
        if (vp.viewHeight > 0 && std::isfinite(vp.viewHeight)) {
            const double scale = vp.height / vp.viewHeight;
            // Plan view: model point p lands at centre + scale * R(-twist) (p - target -
            // viewCentre).
            Context model = ctx;
            model.m = ctx.m * Matrix3d::translation(Vector3d{vp.center.x, vp.center.y, 0}) *
                      Matrix3d::scaling(scale) * Matrix3d::rotationZ(-vp.twist) *
                      Matrix3d::translation(Vector3d{-vp.viewTarget.x - vp.viewCenter.x,
                                                     -vp.viewTarget.y - vp.viewCenter.y, 0});
            if (!vp.frozenLayers.empty()) model.frozenInViewport = &vp.frozenLayers;
            model.viewportScale = scale * frameOf(ctx.m).scale();
            out_.pushClip(pdf::PlotRect::normalised(c.x - hw, c.y - hh, c.x + hw, c.y + hh));
            drawBlock(db_.modelSpace(), model);
            out_.popClip();
        }
        add(pen, pdf::PolylinePrimitive{std::move(border), true});
    }

    // c + u cos t + v sin t for t from t0 to t1 (counter-clockwise), in the space of m.
    void conic(const pdf::Pen& pen, const Matrix3d& m, const Point3d& centre, const Vector3d& u3,
               const Vector3d& v3, double t0, double t1, bool full) {
        const Point2 c = xy(m.transform(centre));
        const Vector3d tu = m.transform(u3), tv = m.transform(v3);
        const Point2 u{tu.x, tu.y}, v{tv.x, tv.y};
        if (!finitePoint(c) || !finitePoint(u) || !finitePoint(v)) return;
        if (!full) {
            // The end follows the start counter-clockwise by less than a full turn.
            if (!std::isfinite(t0) || !std::isfinite(t1)) return;
            double span = std::fmod(t1 - t0, kTwoPi);
            if (span <= 0) span += kTwoPi;
            t0 = std::fmod(t0, kTwoPi);
            t1 = t0 + span;
        }
        const double nu = norm(u), nv = norm(v);
        const bool perpendicular = nu > 0 && nv > 0 && std::fabs(dot(u, v)) <= 1e-9 * nu * nv;
        const bool mirrored = cross(u, v) < 0;
        if (perpendicular && std::fabs(nu - nv) <= 1e-9 * std::max(nu, nv)) {
            if (full) {
                add(pen, pdf::CirclePrimitive{c, nu});
                return;
            }
            const double offset = std::atan2(u.y, u.x);
            if (mirrored)
                add(pen, pdf::ArcPrimitive{c, nu, offset - t1, offset - t0});
            else
                add(pen, pdf::ArcPrimitive{c, nu, offset + t0, offset + t1});
            return;
        }
        if (perpendicular && nv < nu) {
            if (full)
                add(pen, pdf::EllipsePrimitive{c, u, nv / nu, 0, kTwoPi});
            else if (mirrored)
                add(pen, pdf::EllipsePrimitive{c, u, nv / nu, -t1, -t0});
            else
                add(pen, pdf::EllipsePrimitive{c, u, nv / nu, t0, t1});
            return;
        }
        if (nu == 0 && nv == 0) return;
        const int steps = std::max(8, int(std::ceil((full ? kTwoPi : t1 - t0) / (kPi / 90))));
        std::vector<pdf::PolylineVertex> points;
        points.reserve(steps + 1);
        const double span = full ? kTwoPi : t1 - t0;
        for (int k = 0; k <= steps; ++k) {
            const double t = (full ? 0 : t0) + span * k / steps;
            points.push_back({Point2{c.x + u.x * std::cos(t) + v.x * std::sin(t),
                                     c.y + u.y * std::cos(t) + v.y * std::sin(t)}});
        }
        if (full) points.pop_back();
        add(pen, pdf::PolylinePrimitive{std::move(points), full});
    }

    // Vertices in the space of m; bulges stay arcs when m keeps circles circles.
    void emitPolyline(const pdf::Pen& pen, const Matrix3d& m,
                      const std::vector<pdf::PolylineVertex>& source, double z, bool closed) {
        if (source.empty()) return;
        const Frame frame = frameOf(m);
        std::vector<pdf::PolylineVertex> out;
        if (frame.conformal()) {
            out.reserve(source.size());
            const double s = frame.scale();
            for (const auto& v : source) {
                pdf::PolylineVertex t;
                t.point = xy(m.transform(Point3d{v.point.x, v.point.y, z}));
                t.bulge = frame.mirrored() ? -v.bulge : v.bulge;
                t.startWidth = v.startWidth * s;
                t.endWidth = v.endWidth * s;
                out.push_back(t);
            }
        } else {
            // Arcs of a distorted polyline are drawn as short chords; widths are not kept.
            std::vector<Point3d> sampled;
            const std::size_t n = source.size();
            for (std::size_t k = 0; k < n; ++k) {
                const bool last = k + 1 == n;
                const auto& a = source[k];
                const auto& b = source[(k + 1) % n];
                if (last && !closed) {
                    sampled.push_back({a.point.x, a.point.y, z});
                    break;
                }
                detail::appendBulge(sampled, {a.point.x, a.point.y, z}, {b.point.x, b.point.y, z},
                                    a.bulge);
            }
            for (const auto& p : sampled)
                out.push_back({xy(m.transform(p))});
        }
        for (const auto& v : out)
            if (!finitePoint(v.point)) return;
        add(pen, pdf::PolylinePrimitive{std::move(out), closed});
    }

    void lwPolyline(const pdf::Pen& pen, const drawing::LwPolyline& p, const Context& ctx) {
        bool anyWidth = false;
        for (const auto& v : p.vertices)
            anyWidth = anyWidth || v.startWidth != 0 || v.endWidth != 0;
        std::vector<pdf::PolylineVertex> vertices;
        vertices.reserve(p.vertices.size());
        for (const auto& v : p.vertices) {
            pdf::PolylineVertex t{{v.x, v.y}, v.bulge, v.startWidth, v.endWidth};
            if (!anyWidth && p.hasConstantWidth) t.startWidth = t.endWidth = p.constantWidth;
            vertices.push_back(t);
        }
        emitPolyline(pen, ctx.m * drawing::ocsToWcs(p.extrusion), vertices, p.elevation,
                     p.closed());
    }

    void polyline(const pdf::Pen& pen, const drawing::Polyline& p, const Context& ctx) {
        if (p.isMesh()) return;
        std::vector<pdf::PolylineVertex> vertices;
        double z = p.elevation;
        for (ObjectIndex i : p.vertices) {
            const auto* v = db_.get<drawing::Vertex>(i);
            if (v == nullptr || v->erased || (v->flags & 16)) continue;  // spline frame points
            double sw = v->startWidth, ew = v->endWidth;
            if (sw == 0 && ew == 0) {
                sw = p.startWidth;
                ew = p.endWidth;
            }
            vertices.push_back({{v->position.x, v->position.y},
                                p.is3d() ? 0.0 : v->bulge,
                                p.is3d() ? 0.0 : sw,
                                p.is3d() ? 0.0 : ew});
            if (p.is3d()) z = 0;
        }
        if (p.is3d()) {
            std::vector<pdf::PolylineVertex> points;
            for (ObjectIndex i : p.vertices) {
                const auto* v = db_.get<drawing::Vertex>(i);
                if (v == nullptr || v->erased || (v->flags & 16)) continue;
                points.push_back({xy(ctx.m.transform(v->position))});
            }
            if (!points.empty()) add(pen, pdf::PolylinePrimitive{std::move(points), p.closed()});
            return;
        }
        emitPolyline(pen, ctx.m * drawing::ocsToWcs(p.extrusion), vertices, z, p.closed());
    }

    void spline(const pdf::Pen& pen, const drawing::Spline& s, const Context& ctx) {
        std::vector<pdf::PolylineVertex> points;
        const std::size_t n = s.controlPoints.size();
        const bool usable = s.degree >= 1 && s.degree <= kMaxSplineDegree &&
                            n > std::size_t(s.degree) &&
                            s.knots.size() == n + std::size_t(s.degree) + 1;
        if (usable) {
            const double t0 = s.knots[s.degree], t1 = s.knots[n];
            const int steps = int(std::min<std::size_t>(4000, std::max<std::size_t>(16, n * 12)));
            for (int k = 0; k <= steps && t1 > t0; ++k) {
                Point3d p;
                if (drawing::evalSpline(s.degree, s.knots, s.controlPoints, s.weights,
                                        t0 + (t1 - t0) * k / steps, p))
                    points.push_back({xy(ctx.m.transform(p))});
            }
        }
        if (points.empty() && s.fitPoints.size() >= 2) {
            // Fit points only: a Catmull-Rom curve through them, close to the CAD program's
            // interpolation and exact at every fit point.
            const auto& f = s.fitPoints;
            const std::size_t n = f.size();
            for (std::size_t k = 0; k + 1 < n; ++k) {
                const Point3d& p0 = f[k == 0 ? 0 : k - 1];
                const Point3d& p1 = f[k];
                const Point3d& p2 = f[k + 1];
                const Point3d& p3 = f[k + 2 < n ? k + 2 : n - 1];
                for (int j = 0; j < 16; ++j) {
                    const double t = j / 16.0, t2 = t * t, t3 = t2 * t;
                    const auto blend = [&](double a, double b, double c, double d) {
                        return 0.5 * (2 * b + (c - a) * t + (2 * a - 5 * b + 4 * c - d) * t2 +
                                      (3 * b - a - 3 * c + d) * t3);
                    };
                    const Point3d p{blend(p0.x, p1.x, p2.x, p3.x), blend(p0.y, p1.y, p2.y, p3.y),
                                    blend(p0.z, p1.z, p2.z, p3.z)};
                    points.push_back({xy(ctx.m.transform(p))});
                }
            }
            points.push_back({xy(ctx.m.transform(f.back()))});
        }
        if (points.empty()) {
            for (const auto& p : s.controlPoints)
                points.push_back({xy(ctx.m.transform(p))});
        }
        for (const auto& v : points)
            if (!finitePoint(v.point)) return;
        if (points.size() >= 2) add(pen, pdf::PolylinePrimitive{std::move(points), false});
    }

    std::string fontOf(ObjectIndex style) const {
        const auto* record = db_.get<drawing::TextStyleRecord>(style);
        if (record == nullptr)
            record = db_.get<drawing::TextStyleRecord>(db_.findTextStyle("Standard"));
        if (record == nullptr) return {};
        return record->typeface.empty() ? record->fontFile : record->typeface;
    }

    void text(const pdf::Pen& pen, const drawing::TextBase& t, const Context& ctx) {
        pdf::TextPrimitive prim;
        prim.text = detail::plainTextWithLines(t.text, &prim.underlined, &prim.overlined);
        if (prim.text.empty() || !(t.height > 0)) return;
        const Matrix3d m = ctx.m * drawing::ocsToWcs(t.extrusion);
        Point3d anchor = t.position;
        double rotation = t.rotation;
        const bool aligned = t.hAlign != 0 || t.vAlign != 0;
        if (aligned && t.hasAlignment) anchor = t.alignment;
        switch (t.hAlign) {
            case 1:
                prim.hAlign = pdf::TextHAlign::Center;
                break;
            case 2:
                prim.hAlign = pdf::TextHAlign::Right;
                break;
            case 3:
            case 5:  // aligned, fit: centred between the two points along their direction
                prim.hAlign = pdf::TextHAlign::Center;
                if (t.hasAlignment) {
                    anchor = {(t.position.x + t.alignment.x) / 2,
                              (t.position.y + t.alignment.y) / 2, t.position.z};
                    rotation =
                        std::atan2(t.alignment.y - t.position.y, t.alignment.x - t.position.x);
                }
                break;
            case 4:
                prim.hAlign = pdf::TextHAlign::Center;
                prim.vAlign = pdf::TextVAlign::Middle;
                break;
            default:
                break;
        }
        if (t.hAlign != 4) {
            prim.vAlign = t.vAlign == 1   ? pdf::TextVAlign::Bottom
                          : t.vAlign == 2 ? pdf::TextVAlign::Middle
                          : t.vAlign == 3 ? pdf::TextVAlign::Top
                                          : pdf::TextVAlign::Baseline;
        }
        placeText(prim, m, anchor, rotation, t.height, t.widthFactor, t.oblique, t.style);
        // Backward (2) and upside-down (4) texts are the normal text reflected about the
        // insertion point: along the text's direction, and across its baseline.
        const bool backward = (t.generation & 2) != 0, upsideDown = (t.generation & 4) != 0;
        if (backward || upsideDown) {
            const double c = std::cos(prim.rotation), s = std::sin(prim.rotation);
            const double sx = backward ? -1.0 : 1.0, sy = upsideDown ? -1.0 : 1.0;
            // rotate(r) * scale(sx, sy) * rotate(-r), fixing the insertion point
            pdf::Affine2 reflect;
            reflect.xx = sx * c * c + sy * s * s;
            reflect.yx = (sx - sy) * c * s;
            reflect.xy = (sx - sy) * c * s;
            reflect.yy = sx * s * s + sy * c * c;
            reflect.x0 =
                prim.position.x - (reflect.xx * prim.position.x + reflect.xy * prim.position.y);
            reflect.y0 =
                prim.position.y - (reflect.yx * prim.position.x + reflect.yy * prim.position.y);
            out_.pushTransform(reflect);
            add(pen, std::move(prim));
            out_.popTransform();
            return;
        }
        add(pen, std::move(prim));
    }

    void placeText(pdf::TextPrimitive& prim, const Matrix3d& m, const Point3d& anchor,
                   double rotation, double height, double widthFactor, double oblique,
                   ObjectIndex style) {
        const Vector3d dir = m.transform(Vector3d{std::cos(rotation), std::sin(rotation), 0});
        const Vector3d up = m.transform(Vector3d{-std::sin(rotation), std::cos(rotation), 0});
        const double along = std::hypot(dir.x, dir.y), across = std::hypot(up.x, up.y);
        prim.position = xy(m.transform(anchor));
        prim.rotation = std::atan2(dir.y, dir.x);
        prim.height = height * across;
        prim.widthFactor =
            (widthFactor > 0 ? widthFactor : 1.0) * (across > 0 ? along / across : 1.0);
        prim.oblique = std::isfinite(oblique) ? oblique : 0.0;
        prim.fontFamily = fontOf(style);
    }

    void mtext(const pdf::Pen& pen, const drawing::MText& t, const Context& ctx) {
        if (!(t.height > 0)) return;
        detail::MTextFormat base;
        base.height = t.height;
        const std::vector<detail::MTextRun> runs = detail::parseMText(t.text, base);
        if (runs.empty()) return;
        if (runs.size() > 1 || runs[0].format != base || runs[0].stack) {
            formattedMText(pen, t, ctx, runs);
            return;
        }
        const std::string& plain = runs[0].text;
        if (plain.empty()) return;
        const std::string font = fontOf(t.style);
        const bool wrap = t.width > 0 && std::isfinite(t.width);
        const auto measure = [&](const std::string& s) {
            return pdf::textWidth(s, font, t.height);
        };
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = plain.find('\n', start);
            std::string paragraph =
                plain.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (wrap) {
                for (std::string& line : detail::wrapParagraph(paragraph, t.width, measure))
                    lines.push_back(std::move(line));
            } else {
                lines.push_back(std::move(paragraph));
            }
            if (end == std::string::npos) break;
            start = end + 1;
        }
        const double dirLength = std::hypot(t.direction.x, t.direction.y);
        const double rotation =
            dirLength > 0 ? std::atan2(t.direction.y, t.direction.x) : t.rotation;
        const double pitch = t.height * 5.0 / 3.0 * (t.lineSpacing > 0 ? t.lineSpacing : 1.0);
        const double total = t.height + pitch * double(lines.size() - 1);
        const int attachment = std::clamp(t.attachment, 1, 9);
        const int column = (attachment - 1) % 3, row = (attachment - 1) / 3;
        // Distance from the insertion point up to the top of the first line.
        const double top = row == 0 ? 0.0 : row == 1 ? total / 2 : total;
        const double ux = -std::sin(rotation), uy = std::cos(rotation);
        for (std::size_t k = 0; k < lines.size(); ++k) {
            if (lines[k].find_first_not_of(' ') == std::string::npos) continue;
            pdf::TextPrimitive prim;
            prim.text = lines[k];
            prim.hAlign = column == 0   ? pdf::TextHAlign::Left
                          : column == 1 ? pdf::TextHAlign::Center
                                        : pdf::TextHAlign::Right;
            prim.vAlign = pdf::TextVAlign::Top;
            const double offset = top - double(k) * pitch;
            const Point3d anchor{t.position.x + ux * offset, t.position.y + uy * offset,
                                 t.position.z};
            placeText(prim, ctx.m, anchor, rotation, t.height, 1.0, 0.0, t.style);
            add(pen, std::move(prim));
        }
    }

    // Multiline text whose characters change format: each line is laid out run by run, every
    // run a text of its own placed after the ones before it; a line is as tall as its tallest
    // run, and lines follow at 5/3 of that height times the line spacing.
    void formattedMText(const pdf::Pen& pen, const drawing::MText& t, const Context& ctx,
                        const std::vector<detail::MTextRun>& runs) {
        const std::string styleFont = fontOf(t.style);
        auto fontFor = [&](const detail::MTextFormat& f) {
            return f.font.empty() ? styleFont : f.font;
        };
        auto width = [&](const std::string& text, const detail::MTextFormat& f, double height) {
            return pdf::textWidth(text, fontFor(f), height, f.widthFactor);
        };
        auto measure = [&](const detail::MTextRun& r) {
            const double h = r.format.height, small = h * detail::kStackScale;
            if (r.stack == '#')
                return width(r.text, r.format, small) + width("/", r.format, h) +
                       width(r.lower, r.format, small);
            if (r.stack)
                return std::max(width(r.text, r.format, small), width(r.lower, r.format, small));
            return width(r.text, r.format, h);
        };
        const bool wrap = t.width > 0 && std::isfinite(t.width);
        const auto lines = detail::layoutMTextLines(runs, wrap ? t.width : 0.0, measure);
        const double dirLength = std::hypot(t.direction.x, t.direction.y);
        const double rotation =
            dirLength > 0 ? std::atan2(t.direction.y, t.direction.x) : t.rotation;
        const double spacing = t.lineSpacing > 0 ? t.lineSpacing : 1.0;
        // Baselines, measured down from the top of the first line.
        std::vector<double> baseline(lines.size());
        for (std::size_t k = 0; k < lines.size(); ++k) {
            double h = 0.0;
            for (const detail::MTextRun& r : lines[k])
                if (r.stack || r.text.find_first_not_of(' ') != std::string::npos)
                    h = std::max(h, r.format.height);
            if (h == 0.0) h = lines[k].front().format.height;
            baseline[k] = k == 0 ? h : baseline[k - 1] + h * 5.0 / 3.0 * spacing;
        }
        const double total = baseline.back();
        const int attachment = std::clamp(t.attachment, 1, 9);
        const int column = (attachment - 1) % 3, row = (attachment - 1) / 3;
        const double top = row == 0 ? 0.0 : row == 1 ? total / 2 : total;
        const double dx = std::cos(rotation), dy = std::sin(rotation);
        const double ux = -dy, uy = dx;
        for (std::size_t k = 0; k < lines.size(); ++k) {
            std::vector<double> widths;
            double lineWidth = 0.0;
            for (const detail::MTextRun& r : lines[k]) {
                widths.push_back(r.text.empty() && !r.stack ? 0.0 : measure(r));
                lineWidth += widths.back();
            }
            double x = column == 0 ? 0.0 : column == 1 ? -lineWidth / 2 : -lineWidth;
            const double up = top - baseline[k];
            for (std::size_t r = 0; r < lines[k].size(); ++r) {
                const detail::MTextRun& run = lines[k][r];
                pdf::Pen runPen = pen;
                if (run.format.hasColour) runPen.colour = run.format.colour;
                // A point `along` the line from the run's start and `above` its baseline.
                auto at = [&](double along, double above) {
                    const double a = x + along, b = up + above;
                    return Point3d{t.position.x + dx * a + ux * b, t.position.y + dy * a + uy * b,
                                   t.position.z};
                };
                auto put = [&](const std::string& text, double along, double above, double height,
                               pdf::TextHAlign align) {
                    if (text.find_first_not_of(' ') == std::string::npos) return;
                    pdf::TextPrimitive prim;
                    prim.text = text;
                    prim.hAlign = align;
                    placeText(prim, ctx.m, at(along, above), rotation, height,
                              run.format.widthFactor, run.format.oblique, t.style);
                    if (!run.format.font.empty()) prim.fontFamily = run.format.font;
                    if (run.format.underline) prim.underlined.push_back({0, prim.text.size()});
                    if (run.format.overline) prim.overlined.push_back({0, prim.text.size()});
                    add(runPen, std::move(prim));
                };
                const double h = run.format.height, small = h * detail::kStackScale;
                if (run.stack == '/' || run.stack == '^') {
                    // The parts stand over and under the middle of the capitals; a fraction
                    // is centred over its bar, a tolerance aligned left.
                    const bool fraction = run.stack == '/';
                    const double gap = fraction ? h * 0.15 : h * 0.05;
                    const auto align = fraction ? pdf::TextHAlign::Center : pdf::TextHAlign::Left;
                    const double along = fraction ? widths[r] / 2 : 0.0;
                    put(run.text, along, h / 2 + gap, small, align);
                    put(run.lower, along, h / 2 - gap - small, small, align);
                    if (fraction)
                        add(runPen, pdf::LinePrimitive{xy(ctx.m.transform(at(0, h / 2))),
                                                       xy(ctx.m.transform(at(widths[r], h / 2)))});
                } else if (run.stack == '#') {
                    const double upperWidth = width(run.text, run.format, small);
                    const double slash = width("/", run.format, h);
                    put(run.text, 0.0, h - small, small, pdf::TextHAlign::Left);
                    put("/", upperWidth, 0.0, h, pdf::TextHAlign::Left);
                    put(run.lower, upperWidth + slash, 0.0, small, pdf::TextHAlign::Left);
                } else {
                    put(run.text, 0.0, 0.0, h, pdf::TextHAlign::Left);
                }
                x += widths[r];
            }
        }
    }

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

}  // namespace

pdf::DisplayList renderBlock(const Database& db, ObjectIndex blockRecord) {
    pdf::DisplayList list;
    std::vector<ObjectIndex> stack{blockRecord};
    Context ctx;
    ctx.blocks = &stack;
    Renderer(db, list).drawBlock(blockRecord, ctx);
    return list;
}

namespace {

// Draws `layoutIndex` into `list`, for the window as well when `view` is given; of a model
// space only entities [first, last).
void drawLayout(const Database& db, ObjectIndex layoutIndex, pdf::DisplayList& list,
                ViewRendering* view, std::size_t first = 0, std::size_t last = ~std::size_t(0)) {
    const auto* layout = db.get<drawing::Layout>(layoutIndex);
    if (layout == nullptr) return;
    const auto* block = db.get<drawing::BlockRecord>(layout->block);
    if (block == nullptr) return;
    std::vector<ObjectIndex> stack{layout->block};
    Context ctx;
    ctx.blocks = &stack;
    const std::size_t count =
        std::min(last, block->entities.size()) - std::min(first, block->entities.size());
    list.reserve(count);  // most entities are one item
    if (view != nullptr) view->entityStarts.reserve(count);
    Renderer renderer(db, list);
    renderer.drawForView(view);
    if (block->isModelSpace())
        renderer.drawBlock(layout->block, ctx, first, last);
    else
        renderer.drawPaperLayout(layout->block, ctx);
}

}  // namespace

pdf::DisplayList renderLayout(const Database& db, ObjectIndex layoutIndex) {
    pdf::DisplayList list;
    drawLayout(db, layoutIndex, list, nullptr);
    return list;
}

ViewRendering renderLayoutForView(const Database& db, ObjectIndex layoutIndex) {
    ViewRendering view;
    drawLayout(db, layoutIndex, view.list, &view);
    view.itemLayers.resize(view.list.size(), 0);
    return view;
}

ViewRendering renderLayoutPartForView(const Database& db, ObjectIndex layoutIndex,
                                      std::size_t first, std::size_t last) {
    ViewRendering view;
    drawLayout(db, layoutIndex, view.list, &view, first, last);
    view.itemLayers.resize(view.list.size(), 0);
    return view;
}

std::size_t layoutEntityCount(const Database& db, ObjectIndex layoutIndex) {
    const auto* layout = db.get<drawing::Layout>(layoutIndex);
    const auto* block = layout ? db.get<drawing::BlockRecord>(layout->block) : nullptr;
    return block ? block->entities.size() : 0;
}

std::optional<pdf::PlotRect> plotArea(const Database& db, ObjectIndex layoutIndex,
                                      pdf::PlotType type, const pdf::DisplayList& list) {
    const auto* layout = db.get<drawing::Layout>(layoutIndex);
    const auto limits = [&]() -> std::optional<pdf::PlotRect> {
        if (layout == nullptr) return std::nullopt;
        const pdf::PlotRect r{layout->limMin.x, layout->limMin.y, layout->limMax.x,
                              layout->limMax.y};
        if (r.isValid() && r.width() > 0 && r.height() > 0) return r;
        return std::nullopt;
    };
    switch (type) {
        case pdf::PlotType::Limits:
            if (auto r = limits()) return r;
            return list.extents();
        case pdf::PlotType::Layout: {
            if (auto r = limits()) return r;
            if (layout != nullptr && layout->plot.paperWidth > 0 && layout->plot.paperHeight > 0) {
                const double w =
                    layout->plot.paperWidth - layout->plot.marginLeft - layout->plot.marginRight;
                const double h =
                    layout->plot.paperHeight - layout->plot.marginBottom - layout->plot.marginTop;
                if (w > 0 && h > 0) return pdf::PlotRect{0, 0, w, h};
            }
            return list.extents();
        }
        default:
            return list.extents();
    }
}

}  // namespace qkshost::render
