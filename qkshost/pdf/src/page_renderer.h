// The page renderer: draws a display list onto a PDF canvas. It keeps the page's state (inks
// and the batching of strokes, fills and texts, block transforms, clips, culling) and draws
// lines, arcs, polylines and ellipses; the PagePathWriter builds their paths and the
// PageTextWriter writes texts with the page's fonts.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "geometry.h"
#include "item_scale.h"
#include "page_path_writer.h"
#include "page_text_writer.h"
#include "pdf_canvas.h"
#include "pdf_document.h"
#include "pdf_fonts.h"
#include "qkshost/pdf/display_list.h"
#include "qkshost/pdf/plot_settings.h"
#include "qkshost/pdf/plot_style.h"

namespace qkshost::pdf::detail {

// Heaviest pen put on paper, in millimetres.
inline constexpr double kHeaviestLineWeightMm = 100.0;

class PageRenderer {
  public:
    PageRenderer(PdfCanvas& canvas, PageFonts& fonts, const PageGeometry& g,
                 const PlotStyleTable& style)
        : canvas_(canvas),
          g_(g),
          style_(style),
          paths_(canvas, scale_),
          texts_(canvas, fonts, scale_) {}
    PageRenderer(const PageRenderer&) = delete;
    PageRenderer& operator=(const PageRenderer&) = delete;

    // Draws the list; the canvas transform in force maps drawing units to the page. `visible`
    // is the part of the drawing (drawing units) that can show on the page at all: items that
    // lie wholly outside it are not written.
    void render(const DisplayList& list, const PlotRect& visible) {
        list_ = &list;
        base_ = canvas_.matrix();
        item_ = base_;
        scale_.pointsPerUnit = g_.pointsPerUnit;
        visible_.push_back(visible);
        canvas_.setFillRule(FillRule::EvenOdd);
        canvas_.setLineCap(LineCap::Round);
        canvas_.setLineJoin(LineJoin::Round);
        for (const DisplayItem& item : list.items())
            draw(item);
        flushInk();
        while (clipDepth_ > 0)
            popClip();
    }

  private:
    void draw(const DisplayItem& item);

    void drawItem(const DisplayItem& item, bool hidden);

    // --- culling -----------------------------------------------------------------------------

    // Bounds of an item in drawing units, widened by its pen; texts by a reach that holds
    // whatever glyphs the fonts give them.
    Bounds drawingBounds(const DisplayItem& item) const;

    // True when the item cannot leave a mark inside the visible area. Items whose bounds are
    // not finite are left to the drawing code (which skips what it cannot draw).
    bool outOfSight(const DisplayItem& item) const {
        const PlotRect& v = visible_.back();
        if (!(v.minX <= v.maxX && v.minY <= v.maxY)) return true;
        const Bounds b = drawingBounds(item);
        if (b.empty()) return false;
        return b.maxX < v.minX || b.minX > v.maxX || b.maxY < v.minY || b.minY > v.maxY;
    }

    // --- pens and batching -------------------------------------------------------------------

    double lineWidthUnits(const Pen& pen) const {
        double mm = pen.lineWeightMm;
        if (!(mm >= 0) || !std::isfinite(mm)) mm = kDefaultLineWeightMm;
        mm = std::clamp(mm, kThinnestLineWeightMm, kHeaviestLineWeightMm);
        return mm * kPointsPerMm / g_.pointsPerUnit;
    }

    // Makes the pen's ink the source. Everything drawn in one ink is opaque paint of one
    // colour, so within a run of items of the same ink the order of painting cannot show: the
    // run's strokes share one path per weight, and its fills and texts wait (deferred_) until
    // the ink changes, a clip changes or the page ends. That keeps the page's operators few,
    // which is what makes large pages fast and small.
    void useInk(const Pen& pen) {
        const Rgb c = style_.map(pen.colour);
        if (haveColour_ && c == colour_) return;
        flushInk();
        canvas_.setColour(c);
        colour_ = c;
        haveColour_ = true;
    }

    // `length` is the length of what is about to be added, in the item's units.
    void beginStroke(const Pen& pen, double length);

    // The pattern a stroke of `length` drawing units is drawn with: the pen's, unless it would
    // take more dashes than a page should hold or its period is too short to see.
    int dashFor(const Pen& pen, double length) const;

    // Fills and texts of the current ink, drawn later with the matrix and scale in force now.
    struct Deferred {
        const DisplayItem* item;
        Affine2 matrix;
        double unitScale;
        Bounds bounds;  // drawing units; fills only
    };

    void defer(const DisplayItem& item) {
        useInk(item.pen);
        Deferred d{&item, {}, scale_.pointsPerUnit, {}};
        d.matrix = canvas_.matrix();
        if (std::holds_alternative<FillPrimitive>(item.primitive)) d.bounds = drawingBounds(item);
        deferred_.push_back(d);
    }

    void flushInk();

    void flushStroke() {
        if (!pending_) return;
        const Affine2 current = canvas_.matrix();
        canvas_.setMatrix(base_);
        canvas_.stroke();
        canvas_.setMatrix(current);
        pending_ = false;
    }

    // --- block transforms --------------------------------------------------------------------

    void pushTransform(const Affine2& t) {
        const std::optional<Affine2>& outer = transforms_.back();
        if (outer && usableTransform(t) && usableTransform(*outer * t))
            transforms_.push_back(*outer * t);
        else
            transforms_.push_back(std::nullopt);
        updateItemMatrix();
    }

    void popTransform() {
        transforms_.pop_back();
        updateItemMatrix();
    }

    void updateItemMatrix() {
        const std::optional<Affine2>& t = transforms_.back();
        if (!t) return;  // nothing is drawn until the pop
        item_ = base_ * *t;
        scale_.pointsPerUnit = g_.pointsPerUnit * std::sqrt(std::fabs(t->determinant()));
    }

    // --- polylines ---------------------------------------------------------------------------

    void drawPolyline(const Pen& pen, const PolylinePrimitive& poly);

    void drawEllipse(const Pen& pen, const EllipsePrimitive& el);

    // --- clipping ----------------------------------------------------------------------------

    void pushClip(const PlotRect& r);

    void popClip();

    PdfCanvas& canvas_;
    const PageGeometry& g_;
    const PlotStyleTable& style_;
    ItemScale scale_;  // of the items under the transforms in force
    PagePathWriter paths_;
    PageTextWriter texts_;
    bool pending_ = false;
    bool haveColour_ = false;
    Rgb colour_;
    double width_ = 0.0;
    int dash_ = 0;  // the dash pattern the canvas holds
    const DisplayList* list_ = nullptr;
    int clipDepth_ = 0;
    std::vector<Deferred> deferred_;
    std::vector<PlotRect> visible_;  // drawing units; one per open clip plus the page's
    Affine2 base_{};                 // drawing units to page
    Affine2 item_{};                 // the items' own units to page, under the transforms in force
    std::vector<std::optional<Affine2>> transforms_{Affine2{}};
};

}  // namespace qkshost::pdf::detail
