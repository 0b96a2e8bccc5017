// The renderer of a drawing's entities into the display list. It resolves what every entity
// inherits (layer, colour, weight, linetype), draws block references and viewports, and hands
// each other entity to the renderer of its family (curves, fills, texts); all add their
// primitives to one RenderTarget.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "curve_renderer.h"
#include "fill_renderer.h"
#include "render_context.h"
#include "render_target.h"
#include "text_renderer.h"

namespace qkshost::render::detail {

class Renderer {
  public:
    Renderer(const Database& db, pdf::DisplayList& out)
        : db_(db), target_(out), curves_(db, target_), fills_(target_), texts_(db, target_) {
        for (ObjectIndex lt : db.linetypes()) {
            const auto* record = db.get<drawing::LinetypeRecord>(lt);
            if (record && equalsNoCase(record->name, "ByLayer")) byLayer_ = lt;
            if (record && equalsNoCase(record->name, "ByBlock")) byBlock_ = lt;
        }
    }
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

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

    // Makes this renderer draw for the drawing window (see renderLayoutForView).
    void drawForView(ViewRendering* view) { target_.drawForView(view); }

  private:
    const drawing::LayerRecord* effectiveLayer(const drawing::Entity& e, const Context& ctx) const {
        ObjectIndex layer = e.layer ? e.layer : db_.layer0();
        if (ctx.layer && layer == db_.layer0()) layer = ctx.layer;
        return db_.get<drawing::LayerRecord>(layer);
    }
    bool hidden(const drawing::LayerRecord* layer) const {
        if (target_.forView()) return layer != nullptr && layer->frozen();
        return layer != nullptr && (layer->off || layer->frozen() || !layer->plot);
    }
    bool frozen(const drawing::LayerRecord* layer) const {
        if (target_.forView()) return layer != nullptr && layer->frozen();
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
    // The entity's own drawing, once drawEntity has found it shown; `kind` is e's.
    void drawKind(Kind kind, const drawing::Entity& e, const pdf::Pen& pen,
                  const drawing::LayerRecord* layer, const Context& ctx, bool inPaperLayout);

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

    const Database& db_;
    RenderTarget target_;
    CurveRenderer curves_;
    FillRenderer fills_;
    TextRenderer texts_;
    std::size_t visits_ = 0;
    std::map<std::pair<ObjectIndex, double>, int> dashes_;  // (linetype, scale) -> pattern
    ObjectIndex byLayer_ = 0, byBlock_ = 0;                 // the two pseudo linetypes
};

}  // namespace qkshost::render::detail
