// The display list a renderer fills and, when it draws for the drawing window, which entity
// of the layout's own block each item belongs to and the layer that shows it. Every part of
// the renderer adds its primitives here.
#pragma once

#include <utility>
#include <vector>

#include "render_context.h"

namespace qkshost::render::detail {

class RenderTarget {
  public:
    explicit RenderTarget(pdf::DisplayList& out) : out_(out) {}

    // Draws for the drawing window as well (see renderLayoutForView); null: for plotting only.
    void drawForView(ViewRendering* view) { view_ = view; }
    bool forView() const { return view_ != nullptr; }

    pdf::DisplayList& list() { return out_; }

    void add(const pdf::Pen& pen, pdf::Primitive primitive) {
        if (view_ != nullptr) {
            // Clips and transforms are pushed past add(): they take the layer of what follows.
            view_->itemLayers.resize(out_.size(), currentLayer_);
            view_->itemLayers.push_back(currentLayer_);
        }
        out_.add(pen, std::move(primitive));
    }
    // A fill of the loops; nothing when a vertex is not finite.
    void addFill(const pdf::Pen& pen, std::vector<std::vector<pdf::PolylineVertex>> loops) {
        for (const auto& loop : loops)
            for (const auto& v : loop)
                if (!finitePoint(v.point)) return;
        add(pen, pdf::FillPrimitive{std::move(loops)});
    }

    // For the lifetime of one entity's drawing: the items added belong to it (to the
    // outermost entity, when entities nest) and to `layer`.
    class EntityScope {
      public:
        EntityScope(RenderTarget& target, ObjectIndex entity, const drawing::LayerRecord* layer)
            : t_(target), previousLayer_(target.currentLayer_) {
            if (t_.view_ == nullptr) return;
            if (t_.entityNesting_++ == 0)
                t_.view_->entityStarts.emplace_back(entity, t_.out_.size());
            t_.currentLayer_ = layer != nullptr ? layer->self : 0;
        }
        ~EntityScope() {
            if (t_.view_ == nullptr) return;
            --t_.entityNesting_;
            t_.currentLayer_ = previousLayer_;
        }
        EntityScope(const EntityScope&) = delete;
        EntityScope& operator=(const EntityScope&) = delete;

      private:
        RenderTarget& t_;
        ObjectIndex previousLayer_;
    };

  private:
    pdf::DisplayList& out_;
    ViewRendering* view_ = nullptr;
    ObjectIndex currentLayer_ = 0;
    int entityNesting_ = 0;
};

}  // namespace qkshost::render::detail
