#include "qks/nest/stock_output.h"

#include <algorithm>
#include <cstdio>

#include "qks/nest/output.h"
#include "qks/nest/stock.h"

namespace qks::nest {
namespace {

// Colour index of the offcut layer (magenta): apart from frames, parts and texts.
constexpr int kOffcutColour = 6;
// A strip narrower than this is scrap, not an offcut worth keeping (mm).
constexpr double kSmallestOffcut = 20.0;

}  // namespace

bool drawStockPiece(host::DrawingEdits& ds, host::ObjectId modelSpace, const NestConfig& config,
                    const SheetLayout& sheet, double sheetX0) {
    if (sheet.stockIndex < 0 || static_cast<std::size_t>(sheet.stockIndex) >= config.sheets.size())
        return false;
    const auto& shape = config.sheets[static_cast<std::size_t>(sheet.stockIndex)].shape;
    if (!shape) return false;
    auto draw = [&](const Outline& ring) {
        std::vector<Point> points;
        for (const Point& p : ring)
            points.push_back({sheetX0 + p.x, p.y});
        addClosedPolyline(ds, modelSpace, points, kFrameLayer);
    };
    draw(shape->outline);
    for (const Outline& defect : shape->defects)
        draw(defect);
    return true;
}

std::string markOffcut(host::DrawingEdits& ds, host::DatabaseId drawing, host::ObjectId modelSpace,
                       const NestSession& session, const SheetLayout& sheet, double sheetX0,
                       int number) {
    const NestConfig& config = session.config;
    if (!config.offcut || sheet.mask) return {};
    const double pad = gapPadLength(config);
    double top = 0.0, right = 0.0;  // of the parts, from the sheet's corner
    for (const Placement& placement : sheet.placements) {
        if (placement.partIndex < 0 ||
            static_cast<std::size_t>(placement.partIndex) >= session.parts.size())
            continue;
        const PlacedShape shape =
            placeShape(session.parts[static_cast<std::size_t>(placement.partIndex)],
                       placement.angle, placement.mirrored, 0.0, 0.0, config.margin, pad,
                       config.cell, placement.column, placement.row);
        for (const Point& p : shape.outline) {
            top = std::max(top, p.y);
            right = std::max(right, p.x);
        }
    }
    const double w = sheet.width, h = sheet.height;
    // The cut keeps the gap from the parts, as between two parts.
    const double cutY = std::min(h, top + config.gap);
    const double cutX = std::min(w, right + config.gap);
    const bool above = (h - cutY) * w >= (w - cutX) * h;
    const double offcutW = above ? w : w - cutX;
    const double offcutH = above ? h - cutY : h;
    if (std::min(offcutW, offcutH) < kSmallestOffcut) return {};
    const std::string layer(contract::kOffcutLayer);
    ensureLayer(ds, drawing, layer, kOffcutColour);
    const double x0 = sheetX0 + (above ? 0.0 : cutX);
    const double y0 = above ? cutY : 0.0;
    if (above)
        ds.addLine(modelSpace, {sheetX0, cutY, 0.0}, {sheetX0 + w, cutY, 0.0}, layer, nullptr);
    else
        ds.addLine(modelSpace, {sheetX0 + cutX, 0.0, 0.0}, {sheetX0 + cutX, h, 0.0}, layer,
                   nullptr);
    char size[96];
    std::snprintf(size, sizeof size, "%.0f x %.0f mm", offcutW, offcutH);
    // Inside the sheet's window, so the sheet's PDF shows it.
    const double height = std::clamp(std::min(offcutW, offcutH) / 4.0, 5.0, 28.0);
    addLabelText(ds, modelSpace, std::string("余料 ") + size, x0 + height, y0 + height, height,
                 layer);
    return "NEST 余料 板" + std::to_string(number) + " " + size;
}

}  // namespace qks::nest
