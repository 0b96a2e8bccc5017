// The texts of a page: laid out by pango and written glyph by glyph with the page's embedded
// fonts (PageFonts), under the canvas transform in force.
#pragma once

#include "geometry.h"
#include "item_scale.h"
#include "pdf_canvas.h"
#include "pdf_fonts.h"
#include "qkshost/pdf/display_list.h"
#include "text_shaper.h"

namespace qkshost::pdf::detail {

class PageTextWriter {
  public:
    PageTextWriter(PdfCanvas& canvas, PageFonts& fonts, const ItemScale& scale)
        : canvas_(canvas), fonts_(fonts), scale_(scale) {}

    void drawText(const TextPrimitive& t);

  private:
    // Writes the layout's glyphs with their top-left corner at the origin of the canvas
    // transform (layout units, y down). Each run is placed by one text matrix at its baseline;
    // the width table of the embedded font gives every advance, and where pango's advance
    // differs (kerning, spacing) the difference goes into the TJ array, so glyphs land exactly
    // where pango put them.
    void showLayout(PangoLayout* layout);

    PdfCanvas& canvas_;
    PageFonts& fonts_;
    const ItemScale& scale_;
    TextShaper shaper_;
};

}  // namespace qkshost::pdf::detail
