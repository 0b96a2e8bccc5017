// Draws the filled entities: solids, and hatches (filled, or their pattern lines clipped to
// the boundary loops).
#pragma once

#include "render_target.h"

namespace qkshost::render::detail {

class FillRenderer {
  public:
    explicit FillRenderer(RenderTarget& target) : target_(target) {}

    void solid(const pdf::Pen& pen, const drawing::Solid& s, const Context& ctx);
    void hatch(const pdf::Pen& pen, const drawing::Hatch& h, const Context& ctx);

  private:
    RenderTarget& target_;
};

}  // namespace qkshost::render::detail
