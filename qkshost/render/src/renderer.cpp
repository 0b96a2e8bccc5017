// The renderer's entry points, its entity dispatch and what every entity inherits (layer,
// colour, weight, linetype).
#include "qkshost/render/renderer.h"

#include "linetype.h"
#include "renderer_impl.h"

namespace qkshost::render {
namespace detail {

PlotColour Renderer::colourOf(const drawing::Entity& e, const drawing::LayerRecord* layer,
                              const Context& ctx) const {
    if (e.trueColor >= 0 && e.color != 0 && e.color != 256)
        return PlotColour::trueColour(std::uint8_t(e.trueColor >> 16),
                                      std::uint8_t(e.trueColor >> 8), std::uint8_t(e.trueColor));
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
                                      std::uint8_t(e.trueColor >> 8), std::uint8_t(e.trueColor));
    return PlotColour::aci(std::abs(e.color));
}

double Renderer::weightOf(const drawing::Entity& e, const drawing::LayerRecord* layer,
                          const Context& ctx) const {
    int w = e.lineweight;
    if (w == -1) w = layer ? layer->lineweight : -3;
    if (w == -2) return ctx.weightMm;
    if (w < 0) return -1.0;
    return w / 100.0;
}

void Renderer::drawEntity(ObjectIndex index, const Context& ctx, bool inPaperLayout) {
    if (++visits_ > kMaxEntityVisits) return;
    const drawing::Object* o = db_.object(index);
    if (o == nullptr || o->erased || !o->isEntity()) return;
    const auto& e = static_cast<const drawing::Entity&>(*o);
    if (e.invisible) return;
    const drawing::LayerRecord* layer = effectiveLayer(e, ctx);
    // For the drawing window: which entity of the layout's own block each item belongs to,
    // and the layer that shows it.
    RenderTarget::EntityScope scope(target_, index, layer);
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
    drawKind(kind, e, pen, layer, ctx, inPaperLayout);
}

void Renderer::drawKind(Kind kind, const drawing::Entity& e, const pdf::Pen& pen,
                        const drawing::LayerRecord* layer, const Context& ctx, bool inPaperLayout) {
    switch (kind) {
        case Kind::Line:
            curves_.line(pen, static_cast<const drawing::Line&>(e), ctx);
            break;
        case Kind::Circle:
            curves_.circle(pen, static_cast<const drawing::Circle&>(e), ctx);
            break;
        case Kind::Arc:
            curves_.arc(pen, static_cast<const drawing::Arc&>(e), ctx);
            break;
        case Kind::Ellipse:
            curves_.ellipse(pen, static_cast<const drawing::Ellipse&>(e), ctx);
            break;
        case Kind::LwPolyline:
            curves_.lwPolyline(pen, static_cast<const drawing::LwPolyline&>(e), ctx);
            break;
        case Kind::Polyline:
            curves_.polyline(pen, static_cast<const drawing::Polyline&>(e), ctx);
            break;
        case Kind::Spline:
            curves_.spline(pen, static_cast<const drawing::Spline&>(e), ctx);
            break;
        case Kind::Point:
            curves_.point(pen, static_cast<const drawing::PointEntity&>(e), ctx);
            break;
        case Kind::Solid:
            fills_.solid(pen, static_cast<const drawing::Solid&>(e), ctx);
            break;
        case Kind::Hatch:
            fills_.hatch(pen, static_cast<const drawing::Hatch&>(e), ctx);
            break;
        case Kind::Text:
            texts_.text(pen, static_cast<const drawing::TextBase&>(e), ctx);
            break;
        case Kind::Attribute:
            if ((static_cast<const drawing::Attribute&>(e).attribFlags & 1) == 0)
                texts_.text(pen, static_cast<const drawing::TextBase&>(e), ctx);
            break;
        case Kind::AttributeDefinition: {
            // Inside a block a definition is a template; at top level it shows its tag.
            if (ctx.depth > 0) break;
            drawing::AttributeDefinition shown =
                static_cast<const drawing::AttributeDefinition&>(e);
            shown.text = shown.tag;
            texts_.text(pen, shown, ctx);
            break;
        }
        case Kind::MText:
            texts_.mtext(pen, static_cast<const drawing::MText&>(e), ctx);
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
ObjectIndex Renderer::linetypeOf(const drawing::Entity& e, const drawing::LayerRecord* layer,
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
int Renderer::dashOf(const drawing::Entity& e, const drawing::LayerRecord* layer,
                     const Context& ctx) {
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
    const int dash = target_.list().addDashPattern(
        detail::dashPattern(*db_.get<drawing::LinetypeRecord>(lt), scale));
    dashes_.emplace(key, dash);
    return dash;
}

Context Renderer::childContext(const pdf::Pen& pen, const drawing::LayerRecord* layer,
                               const Context& ctx) const {
    Context child = ctx;
    child.layer = layer ? layer->self : ctx.layer;
    child.colour = pen.colour;
    child.weightMm = pen.lineWeightMm;
    child.depth = ctx.depth + 1;
    return child;
}

}  // namespace detail

using namespace detail;

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
