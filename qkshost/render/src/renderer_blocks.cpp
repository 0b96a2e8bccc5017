// The renderer's block references, which draw their block once a cell of their array, and
// viewports, which draw model space through their view.
#include "renderer_impl.h"

namespace qkshost::render::detail {

// Draws a block record's entities with `ctx`, unless it is already being drawn.
void Renderer::enterBlock(ObjectIndex block, const Context& ctx) {
    const auto* record = db_.get<drawing::BlockRecord>(block);
    if (record == nullptr || record->isLayout()) return;
    auto& stack = *ctx.blocks;
    if (std::find(stack.begin(), stack.end(), block) != stack.end()) return;
    stack.push_back(block);
    for (ObjectIndex i : record->entities)
        drawEntity(i, ctx, false);
    stack.pop_back();
}

void Renderer::reference(const pdf::Pen& pen, const drawing::BlockReference& r,
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

void Renderer::viewport(const pdf::Pen& pen, const drawing::Viewport& vp, const Context& ctx) {
    if (vp.id == 1 || vp.status == 0 || vp.width <= 0 || vp.height <= 0) return;
    const double hw = vp.width / 2, hh = vp.height / 2;
    const Point2 c = xy(ctx.m.transform(vp.center));
    std::vector<pdf::PolylineVertex> border;
    for (const auto& corner : {Point2{-hw, -hh}, Point2{hw, -hh}, Point2{hw, hh}, Point2{-hw, hh}})
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
        target_.list().pushClip(pdf::PlotRect::normalised(c.x - hw, c.y - hh, c.x + hw, c.y + hh));
        drawBlock(db_.modelSpace(), model);
        target_.list().popClip();
    }
    target_.add(pen, pdf::PolylinePrimitive{std::move(border), true});
}

}  // namespace qkshost::render::detail
