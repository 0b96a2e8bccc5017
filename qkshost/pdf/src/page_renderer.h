// The page renderer: draws a display list onto a PDF canvas. Its parts are split by primitive
// (pdf_renderer.cpp: the page, items, culling, inks and clips; pdf_renderer_paths.cpp:
// polylines, bands and ellipses; pdf_renderer_text.cpp: texts laid out by pango).
#pragma once

#include <fontconfig/fontconfig.h>
#include <glib.h>
#include <pango/pangoft2.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "geometry.h"
#include "pdf_canvas.h"
#include "pdf_document.h"
#include "pdf_fonts.h"
#include "qkshost/pdf/display_list.h"
#include "qkshost/pdf/plot_settings.h"
#include "qkshost/pdf/plot_style.h"

namespace qkshost::pdf::detail {

// Texts are laid out at this em size (user units) and scaled into place, so glyph positions
// never suffer from integer rounding of small sizes.
inline constexpr double kLayoutEm = 100.0;
// Capital height as a fraction of the em: a text of height h is set at an em of h / 0.75.
inline constexpr double kCapHeightPerEm = 0.75;
// Sizes on paper (points) beyond which geometry from a damaged drawing is not drawn as such:
// a curve kilometres across would take unbounded time to draw, and transforms that scale to
// nothing or to near infinity cannot be inverted.
inline constexpr double kLargestOnPaper = 1e7;
inline constexpr double kSmallestOnPaper = 1e-6;
// Heaviest pen put on paper, in millimetres.
inline constexpr double kHeaviestLineWeightMm = 100.0;

struct Deleter {
    void operator()(PangoContext* p) const { g_object_unref(p); }
    void operator()(PangoLayout* p) const { g_object_unref(p); }
    void operator()(PangoFontDescription* p) const { pango_font_description_free(p); }
    void operator()(PangoFontMap* p) const { g_object_unref(p); }
};
template <class T>
using Owned = std::unique_ptr<T, Deleter>;

inline bool finiteVertices(const std::vector<PolylineVertex>& vertices) {
    for (const PolylineVertex& v : vertices)
        if (!finite(v.point) || !std::isfinite(v.bulge) || !std::isfinite(v.startWidth) ||
            !std::isfinite(v.endWidth))
            return false;
    return true;
}

// Family name for fontconfig: file names of CAD fonts lose their extension; shape fonts have no
// outline equivalent here and take the default sans-serif.
inline std::string fontFamilyFor(const std::string& requested) {
    std::string lower = requested;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto endsWith = [&](const char* ext) {
        const std::size_t n = std::strlen(ext);
        return lower.size() >= n && lower.compare(lower.size() - n, n, ext) == 0;
    };
    if (requested.empty() || endsWith(".shx")) return "sans-serif";
    if (endsWith(".ttf") || endsWith(".ttc") || endsWith(".otf"))
        return requested.substr(0, requested.size() - 4);
    return requested;
}

// Lays out single-line texts at kLayoutEm, unhinted, with Chinese forms for shared Han
// characters. The layout it hands out is its own and changes with the next call.
class TextShaper {
  public:
    TextShaper() {
        context_.reset(pango_font_map_create_context(fontMap()));
        pango_context_set_round_glyph_positions(context_.get(), FALSE);
        // Han characters shared by Chinese and Japanese take the Chinese forms.
        pango_context_set_language(context_.get(), pango_language_from_string("zh-cn"));
        layout_.reset(pango_layout_new(context_.get()));
    }

    PangoLayout* layout(const std::string& text, const std::string& family) {
        gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
        // Byte offsets into the text hold for the layout only when nothing was replaced.
        sameBytes_ = std::strlen(valid) == text.size() && text.compare(valid) == 0;
        pango_layout_set_font_description(layout_.get(), fontFor(family));
        pango_layout_set_text(layout_.get(), valid, -1);
        g_free(valid);
        return layout_.get();
    }

    // Horizontal extent, in layout units, of the bytes [begin, end) of the text last laid
    // out; false when the range is empty or does not lie on character boundaries.
    bool spanExtent(std::size_t begin, std::size_t end, double& x0, double& x1) const {
        const char* text = pango_layout_get_text(layout_.get());
        const std::size_t size = std::strlen(text);
        if (!sameBytes_ || !(begin < end) || end > size) return false;
        auto boundary = [&](std::size_t i) {
            return i == size || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        };
        if (!boundary(begin) || !boundary(end)) return false;
        PangoRectangle first, last;
        pango_layout_index_to_pos(layout_.get(), int(begin), &first);
        // The end of the range is the far edge of its last character.
        const char* lastChar = g_utf8_find_prev_char(text, text + end);
        if (lastChar == nullptr) return false;
        pango_layout_index_to_pos(layout_.get(), int(lastChar - text), &last);
        const double a = double(first.x) / PANGO_SCALE,
                     b = double(last.x + last.width) / PANGO_SCALE;
        x0 = std::min(a, b);
        x1 = std::max(a, b);
        return x1 > x0;
    }

  private:
    // One font map per thread (pango's maps are not for sharing between threads), made once:
    // it holds every font loaded, which a page would otherwise load again. Fonts are unhinted,
    // so glyph positions scale exactly with the text.
    static PangoFontMap* fontMap() {
        thread_local Owned<PangoFontMap> map = [] {
            PangoFontMap* m = pango_ft2_font_map_new();
            pango_fc_font_map_set_default_substitute(
                PANGO_FC_FONT_MAP(m),
                [](FcPattern* pattern, gpointer) {
                    FcPatternDel(pattern, FC_HINTING);
                    FcPatternAddBool(pattern, FC_HINTING, FcFalse);
                },
                nullptr, nullptr);
            return Owned<PangoFontMap>(m);
        }();
        return map.get();
    }

    PangoFontDescription* fontFor(const std::string& family) {
        auto found = fonts_.find(family);
        if (found != fonts_.end()) return found->second.get();
        Owned<PangoFontDescription> desc(pango_font_description_new());
        pango_font_description_set_family(desc.get(), fontFamilyFor(family).c_str());
        pango_font_description_set_absolute_size(desc.get(), kLayoutEm * PANGO_SCALE);
        return fonts_.emplace(family, std::move(desc)).first->second.get();
    }

    Owned<PangoContext> context_;
    Owned<PangoLayout> layout_;
    bool sameBytes_ = true;
    std::map<std::string, Owned<PangoFontDescription>> fonts_;
};

class PageRenderer {
  public:
    PageRenderer(PdfCanvas& canvas, PageFonts& fonts, const PageGeometry& g,
                 const PlotStyleTable& style)
        : canvas_(canvas), fonts_(fonts), g_(g), style_(style) {}

    // Draws the list; the canvas transform in force maps drawing units to the page. `visible`
    // is the part of the drawing (drawing units) that can show on the page at all: items that
    // lie wholly outside it are not written.
    void render(const DisplayList& list, const PlotRect& visible) {
        list_ = &list;
        base_ = canvas_.matrix();
        item_ = base_;
        unitScale_ = g_.pointsPerUnit;
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
        Deferred d{&item, {}, unitScale_, {}};
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
        unitScale_ = g_.pointsPerUnit * std::sqrt(std::fabs(t->determinant()));
    }

    // --- polylines ---------------------------------------------------------------------------

    // True when a length in the item's units is drawable on paper.
    bool drawable(double length) const {
        const double onPaper = std::fabs(length) * unitScale_;
        return std::isfinite(onPaper) && onPaper <= kLargestOnPaper && onPaper >= kSmallestOnPaper;
    }

    // A bulged segment whose circle is too large to draw is as good as straight on paper.
    bool curvedSegment(const PolylineVertex& from, const Point2& to, BulgeArc& arc) const {
        return bulgeArc(from.point, to, from.bulge, arc) && drawable(arc.radius);
    }

    void appendSegment(const PolylineVertex& from, const Point2& to);

    void appendLoop(const std::vector<PolylineVertex>& v, bool closed) {
        canvas_.moveTo(v[0].point.x, v[0].point.y);
        const std::size_t segments = closed ? v.size() : v.size() - 1;
        for (std::size_t i = 0; i < segments; ++i)
            appendSegment(v[i], v[(i + 1) % v.size()].point);
        if (closed) canvas_.closePath();
    }

    void drawPolyline(const Pen& pen, const PolylinePrimitive& poly);

    // Band from `from` to `to` whose width runs from from.startWidth to from.endWidth: left edge
    // forwards, right edge backwards.
    void appendBand(const PolylineVertex& from, const Point2& to);

    // --- ellipses and fills ------------------------------------------------------------------

    void drawEllipse(const Pen& pen, const EllipsePrimitive& el);

    // Adds the fill's loops to the current path; false when it has none to draw.
    bool appendFill(const FillPrimitive& fill) {
        bool any = false;
        for (const auto& loop : fill.loops)
            if (loop.size() >= 2 && finiteVertices(loop)) {
                appendLoop(loop, true);
                any = true;
            }
        return any;
    }

    // --- text --------------------------------------------------------------------------------

    void drawText(const TextPrimitive& t);

    // Writes the layout's glyphs with their top-left corner at the origin of the canvas
    // transform (layout units, y down). Each run is placed by one text matrix at its baseline;
    // the width table of the embedded font gives every advance, and where pango's advance
    // differs (kerning, spacing) the difference goes into the TJ array, so glyphs land exactly
    // where pango put them.
    void showLayout(PangoLayout* layout);

    // --- clipping ----------------------------------------------------------------------------

    void pushClip(const PlotRect& r);

    void popClip();

    PdfCanvas& canvas_;
    PageFonts& fonts_;
    const PageGeometry& g_;
    const PlotStyleTable& style_;
    TextShaper shaper_;
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
    double unitScale_ = 1.0;         // points per item unit (geometric mean over directions)
    std::vector<std::optional<Affine2>> transforms_{Affine2{}};
};

}  // namespace qkshost::pdf::detail
