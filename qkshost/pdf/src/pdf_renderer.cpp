#include "pdf_renderer.h"

#include <fontconfig/fontconfig.h>
#include <glib.h>
#include <pango/pangoft2.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "geometry.h"
#include "pdf_canvas.h"
#include "pdf_document.h"
#include "pdf_fonts.h"
#include "qkshost/pdf/text_metrics.h"

// fontconfig and pango keep font patterns in caches they never release, and drop a few when a
// thread's font map is released; under LeakSanitizer those show up as leaks in every program
// that lays out text. Defined beside the text code, so every such program links it. Weak, so a
// program that has its own suppressions keeps them (it should then include these two lines).
extern "C" __attribute__((weak, visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libpango\n";
}

namespace qkshost::pdf::detail {
namespace {

// Texts are laid out at this em size (user units) and scaled into place, so glyph positions
// never suffer from integer rounding of small sizes.
constexpr double kLayoutEm = 100.0;
// Capital height as a fraction of the em: a text of height h is set at an em of h / 0.75.
constexpr double kCapHeightPerEm = 0.75;
// Sizes on paper (points) beyond which geometry from a damaged drawing is not drawn as such:
// a curve kilometres across would take unbounded time to draw, and transforms that scale to
// nothing or to near infinity cannot be inverted.
constexpr double kLargestOnPaper = 1e7;
constexpr double kSmallestOnPaper = 1e-6;
// Heaviest pen put on paper, in millimetres.
constexpr double kHeaviestLineWeightMm = 100.0;

struct Deleter {
    void operator()(PangoContext* p) const { g_object_unref(p); }
    void operator()(PangoLayout* p) const { g_object_unref(p); }
    void operator()(PangoFontDescription* p) const { pango_font_description_free(p); }
    void operator()(PangoFontMap* p) const { g_object_unref(p); }
};
template <class T>
using Owned = std::unique_ptr<T, Deleter>;

bool finiteVertices(const std::vector<PolylineVertex>& vertices) {
    for (const PolylineVertex& v : vertices)
        if (!finite(v.point) || !std::isfinite(v.bulge) || !std::isfinite(v.startWidth) ||
            !std::isfinite(v.endWidth))
            return false;
    return true;
}

// Family name for fontconfig: file names of CAD fonts lose their extension; shape fonts have no
// outline equivalent here and take the default sans-serif.
std::string fontFamilyFor(const std::string& requested) {
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
    void draw(const DisplayItem& item) {
        const Primitive& p = item.primitive;
        if (auto* push = std::get_if<TransformPush>(&p)) {
            pushTransform(push->transform);
            return;
        }
        if (std::holds_alternative<TransformPop>(p)) {
            if (transforms_.size() > 1) popTransform();
            return;
        }
        const bool hidden = !transforms_.back();
        const bool clip = std::holds_alternative<ClipPush>(p) || std::holds_alternative<ClipPop>(p);
        if (hidden && !clip) return;
        if (!clip && outOfSight(item)) return;
        // Paths are built in the item's own space; strokes always happen in drawing space (see
        // flushStroke), so pen weights stay millimetres on paper.
        const bool transformed = transforms_.size() > 1;
        if (transformed) canvas_.setMatrix(item_);
        drawItem(item, hidden);
        if (transformed) canvas_.setMatrix(base_);
    }

    void drawItem(const DisplayItem& item, bool hidden) {
        const Primitive& p = item.primitive;
        if (auto* line = std::get_if<LinePrimitive>(&p)) {
            if (!finite(line->start) || !finite(line->end)) return;
            beginStroke(item.pen,
                        std::hypot(line->end.x - line->start.x, line->end.y - line->start.y));
            canvas_.moveTo(line->start.x, line->start.y);
            canvas_.lineTo(line->end.x, line->end.y);
        } else if (auto* poly = std::get_if<PolylinePrimitive>(&p)) {
            drawPolyline(item.pen, *poly);
        } else if (auto* circle = std::get_if<CirclePrimitive>(&p)) {
            if (!finite(circle->centre) || !(circle->radius > 0) || !drawable(circle->radius))
                return;
            beginStroke(item.pen, kTwoPi * circle->radius);
            canvas_.newSubPath();
            canvas_.arc(circle->centre.x, circle->centre.y, circle->radius, 0, kTwoPi);
            canvas_.closePath();
        } else if (auto* arc = std::get_if<ArcPrimitive>(&p)) {
            if (!finite(arc->centre) || !(arc->radius > 0) || !drawable(arc->radius) ||
                !std::isfinite(arc->startAngle) || !std::isfinite(arc->endAngle))
                return;
            beginStroke(item.pen,
                        arc->radius * (ccwEnd(arc->startAngle, arc->endAngle) - arc->startAngle));
            canvas_.newSubPath();
            canvas_.arc(arc->centre.x, arc->centre.y, arc->radius, arc->startAngle,
                        ccwEnd(arc->startAngle, arc->endAngle));
        } else if (auto* el = std::get_if<EllipsePrimitive>(&p)) {
            drawEllipse(item.pen, *el);
        } else if (std::holds_alternative<FillPrimitive>(p) ||
                   std::holds_alternative<TextPrimitive>(p)) {
            defer(item);
        } else if (auto* clip = std::get_if<ClipPush>(&p)) {
            pushClip(hidden ? PlotRect{NAN, NAN, NAN, NAN} : clip->rect);
        } else if (std::holds_alternative<ClipPop>(p)) {
            if (clipDepth_ > 0) popClip();
        }
    }

    // --- culling -----------------------------------------------------------------------------

    // Bounds of an item in drawing units, widened by its pen; texts by a reach that holds
    // whatever glyphs the fonts give them.
    Bounds drawingBounds(const DisplayItem& item) const {
        Bounds local;
        if (auto* t = std::get_if<TextPrimitive>(&item.primitive)) {
            std::size_t chars = 0;
            for (unsigned char ch : t->text)
                if ((ch & 0xC0) != 0x80) ++chars;
            const double h = std::fabs(t->height);
            const double reach = h * (1.5 * double(chars) * std::fabs(t->widthFactor) + 2.0 +
                                      2.0 * std::fabs(std::tan(t->oblique)));
            local.add(t->position.x - reach, t->position.y - reach);
            local.add(t->position.x + reach, t->position.y + reach);
        } else {
            itemBounds(local, item.primitive);
        }
        if (local.empty()) return local;
        Bounds out;
        if (transforms_.size() == 1) {
            out = local;
        } else {
            const Affine2& t = *transforms_.back();
            for (double x : {local.minX, local.maxX})
                for (double y : {local.minY, local.maxY}) {
                    const Point2 q = t.apply({x, y});
                    out.add(q.x, q.y);
                }
        }
        const double pen = lineWidthUnits(item.pen);
        out.minX -= pen;
        out.minY -= pen;
        out.maxX += pen;
        out.maxY += pen;
        return out;
    }

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
    void beginStroke(const Pen& pen, double length) {
        useInk(pen);
        const double width = lineWidthUnits(pen);
        const int dash = dashFor(pen, length * unitScale_ / g_.pointsPerUnit);
        if (pending_ && width == width_ && dash == dash_) return;
        flushStroke();
        canvas_.setLineWidth(width);
        if (dash != dash_) {
            if (const DashPattern* pattern = list_->dashPattern(dash))
                canvas_.setDash(pattern->lengths, pattern->offset);
            else
                canvas_.setDash({}, 0.0);
            dash_ = dash;
        }
        width_ = width;
        pending_ = true;
    }

    // The pattern a stroke of `length` drawing units is drawn with: the pen's, unless it would
    // take more dashes than a page should hold or its period is too short to see.
    int dashFor(const Pen& pen, double length) const {
        const DashPattern* pattern = list_->dashPattern(pen.dash);
        if (pattern == nullptr) return 0;
        double period = 0.0;
        for (double l : pattern->lengths)
            period += l;
        constexpr double kMaxDashesPerItem = 2000.0;
        constexpr double kShortestPeriodPt = 0.5;
        if (!(period * g_.pointsPerUnit >= kShortestPeriodPt)) return 0;
        if (!(length / period <= kMaxDashesPerItem)) return 0;
        return pen.dash;
    }

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

    void flushInk() {
        flushStroke();
        if (deferred_.empty()) return;
        const Affine2 current = canvas_.matrix();
        const double scale = unitScale_;
        // Fills whose bounds do not overlap go into one path: under the even-odd rule loops of
        // different fills then never meet, so one fill operator paints what each would.
        constexpr std::size_t kFillGroup = 256;
        std::vector<Bounds> group;
        auto closeGroup = [&] {
            if (!group.empty()) canvas_.fill();
            group.clear();
        };
        for (const Deferred& d : deferred_) {
            auto* fill = std::get_if<FillPrimitive>(&d.item->primitive);
            if (!fill) continue;
            bool overlaps = group.size() >= kFillGroup || d.bounds.empty();
            for (std::size_t i = 0; i < group.size() && !overlaps; ++i)
                overlaps = !(d.bounds.maxX < group[i].minX || d.bounds.minX > group[i].maxX ||
                             d.bounds.maxY < group[i].minY || d.bounds.minY > group[i].maxY);
            if (overlaps) closeGroup();
            canvas_.setMatrix(d.matrix);
            unitScale_ = d.unitScale;
            if (appendFill(*fill)) group.push_back(d.bounds);
            if (d.bounds.empty()) closeGroup();
        }
        closeGroup();
        for (const Deferred& d : deferred_) {
            auto* text = std::get_if<TextPrimitive>(&d.item->primitive);
            if (!text) continue;
            canvas_.setMatrix(d.matrix);
            unitScale_ = d.unitScale;
            drawText(*text);
        }
        deferred_.clear();
        canvas_.setMatrix(current);
        unitScale_ = scale;
    }

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

    void appendSegment(const PolylineVertex& from, const Point2& to) {
        BulgeArc arc;
        if (!curvedSegment(from, to, arc)) {
            canvas_.lineTo(to.x, to.y);
        } else if (arc.sweep > 0) {
            canvas_.arc(arc.centre.x, arc.centre.y, arc.radius, arc.startAngle,
                        arc.startAngle + arc.sweep);
        } else {
            canvas_.arcNegative(arc.centre.x, arc.centre.y, arc.radius, arc.startAngle,
                                arc.startAngle + arc.sweep);
        }
    }

    void appendLoop(const std::vector<PolylineVertex>& v, bool closed) {
        canvas_.moveTo(v[0].point.x, v[0].point.y);
        const std::size_t segments = closed ? v.size() : v.size() - 1;
        for (std::size_t i = 0; i < segments; ++i)
            appendSegment(v[i], v[(i + 1) % v.size()].point);
        if (closed) canvas_.closePath();
    }

    void drawPolyline(const Pen& pen, const PolylinePrimitive& poly) {
        const auto& v = poly.vertices;
        if (v.empty() || !finiteVertices(v)) return;
        if (v.size() == 1) {  // a single vertex plots as a dot
            beginStroke(pen, 0.0);
            canvas_.moveTo(v[0].point.x, v[0].point.y);
            canvas_.closePath();
            return;
        }
        const std::size_t segments = poly.closed ? v.size() : v.size() - 1;
        const double w0 = v[0].startWidth;
        bool constant = true;
        for (std::size_t i = 0; i < segments; ++i)
            if (v[i].startWidth != w0 || v[i].endWidth != w0) constant = false;
        // Length along the polyline, in its own units.
        double length = 0.0;
        for (std::size_t i = 0; i < segments; ++i) {
            const Point2& to = v[(i + 1) % v.size()].point;
            BulgeArc arc;
            length += curvedSegment(v[i], to, arc)
                          ? arc.radius * std::fabs(arc.sweep)
                          : std::hypot(to.x - v[i].point.x, to.y - v[i].point.y);
        }
        if (constant && w0 == 0.0) {
            beginStroke(pen, length);
            appendLoop(v, poly.closed);
            return;
        }
        useInk(pen);
        flushStroke();
        if (constant) {
            if (!drawable(w0)) return;
            canvas_.save();
            canvas_.setLineWidth(std::fabs(w0));
            canvas_.setLineCap(LineCap::Butt);
            canvas_.setLineJoin(LineJoin::Miter);
            // A wide polyline is dashed as a thin one: the pattern is in drawing units, the
            // stroke happens in the polyline's own.
            const double toDrawing = unitScale_ / g_.pointsPerUnit;
            std::vector<double> dashes;
            double offset = 0.0;
            if (const DashPattern* p = list_->dashPattern(dashFor(pen, length * toDrawing))) {
                for (double l : p->lengths)
                    dashes.push_back(l / toDrawing);
                offset = p->offset / toDrawing;
            }
            canvas_.setDash(dashes, offset);
            appendLoop(v, poly.closed);
            canvas_.stroke();
            canvas_.restore();
            return;
        }
        // Tapered segments: each is a filled band, and a disc fills the wedge between two bands
        // at a bend. All of them run clockwise, so the non-zero rule unites their overlaps.
        canvas_.save();
        canvas_.setFillRule(FillRule::NonZero);
        for (std::size_t i = 0; i < segments; ++i) {
            const std::size_t next = (i + 1) % v.size();
            appendBand(v[i], v[next].point);
            if (i + 1 == segments && !poly.closed) continue;
            const double joint =
                std::min(std::fabs(v[i].endWidth), std::fabs(v[next].startWidth)) / 2.0;
            if (joint > 0) {
                canvas_.newSubPath();
                canvas_.arcNegative(v[next].point.x, v[next].point.y, joint, 0, -kTwoPi);
                canvas_.closePath();
            }
        }
        canvas_.fill();
        canvas_.restore();
    }

    // Band from `from` to `to` whose width runs from from.startWidth to from.endWidth: left edge
    // forwards, right edge backwards.
    void appendBand(const PolylineVertex& from, const Point2& to) {
        const double w0 = std::fabs(from.startWidth) / 2.0, w1 = std::fabs(from.endWidth) / 2.0;
        BulgeArc arc;
        std::vector<Point2> left, right;
        if (!curvedSegment(from, to, arc)) {
            const double dx = to.x - from.point.x, dy = to.y - from.point.y;
            const double len = std::hypot(dx, dy);
            if (!(len > 0)) return;
            const double nx = -dy / len, ny = dx / len;
            left = {{from.point.x + nx * w0, from.point.y + ny * w0},
                    {to.x + nx * w1, to.y + ny * w1}};
            right = {{from.point.x - nx * w0, from.point.y - ny * w0},
                     {to.x - nx * w1, to.y - ny * w1}};
        } else if (w0 == w1) {
            // Constant width: two true arcs, the left edge forwards and the right one back.
            const double a0 = arc.startAngle, a1 = arc.startAngle + arc.sweep;
            const double inner = std::max(0.0, arc.radius - w0), outer = arc.radius + w0;
            canvas_.newSubPath();
            if (arc.sweep > 0) {
                canvas_.arc(arc.centre.x, arc.centre.y, inner, a0, a1);
                canvas_.arcNegative(arc.centre.x, arc.centre.y, outer, a1, a0);
            } else {
                canvas_.arcNegative(arc.centre.x, arc.centre.y, outer, a0, a1);
                canvas_.arc(arc.centre.x, arc.centre.y, inner, a1, a0);
            }
            canvas_.closePath();
            return;
        } else {
            const int steps =
                std::max(4, static_cast<int>(std::ceil(std::fabs(arc.sweep) / (qks::kPi / 36))));
            const double side = arc.sweep > 0 ? -1.0 : 1.0;  // left of travel: inwards when CCW
            for (int k = 0; k <= steps; ++k) {
                const double f = static_cast<double>(k) / steps;
                const double t = arc.startAngle + arc.sweep * f;
                const double half = w0 + (w1 - w0) * f;
                const double cx = std::cos(t), sy = std::sin(t);
                left.push_back({arc.centre.x + cx * (arc.radius + side * half),
                                arc.centre.y + sy * (arc.radius + side * half)});
                right.push_back({arc.centre.x + cx * (arc.radius - side * half),
                                 arc.centre.y + sy * (arc.radius - side * half)});
            }
        }
        canvas_.moveTo(left[0].x, left[0].y);
        for (std::size_t k = 1; k < left.size(); ++k)
            canvas_.lineTo(left[k].x, left[k].y);
        for (std::size_t k = right.size(); k-- > 0;)
            canvas_.lineTo(right[k].x, right[k].y);
        canvas_.closePath();
    }

    // --- ellipses and fills ------------------------------------------------------------------

    void drawEllipse(const Pen& pen, const EllipsePrimitive& el) {
        const double major = std::hypot(el.majorAxis.x, el.majorAxis.y);
        if (!finite(el.centre) || !drawable(major) || !(el.ratio > 0) ||
            !drawable(major * el.ratio) || !std::isfinite(el.startParam) ||
            !std::isfinite(el.endParam))
            return;
        // Perimeter share of the drawn part (Ramanujan's perimeter of the whole ellipse).
        const double a = major, b = major * el.ratio;
        const double perimeter = qks::kPi * (3 * (a + b) - std::sqrt((3 * a + b) * (a + 3 * b)));
        beginStroke(pen, perimeter * (ccwEnd(el.startParam, el.endParam) - el.startParam) / kTwoPi);
        // The path is built in the ellipse's own frame; the stroke happens later under the
        // drawing transform, so the line keeps its weight.
        const Affine2 saved = canvas_.matrix();
        canvas_.translate(el.centre.x, el.centre.y);
        canvas_.rotate(std::atan2(el.majorAxis.y, el.majorAxis.x));
        canvas_.scale(major, major * el.ratio);
        canvas_.newSubPath();
        canvas_.arc(0, 0, 1, el.startParam, ccwEnd(el.startParam, el.endParam));
        canvas_.setMatrix(saved);
    }

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

    void drawText(const TextPrimitive& t) {
        if (t.text.empty() || !finite(t.position) || !(t.height > 0) || !drawable(t.height) ||
            !std::isfinite(t.rotation) || !drawable(t.height * t.widthFactor) ||
            !std::isfinite(t.oblique) || std::fabs(std::cos(t.oblique)) < 1e-3)
            return;
        PangoLayout* layout = shaper_.layout(t.text, t.fontFamily);

        const Affine2 saved = canvas_.matrix();
        canvas_.translate(t.position.x, t.position.y);
        canvas_.rotate(t.rotation);
        canvas_.transform({1, 0, std::tan(t.oblique), 1, 0, 0});
        const double k = t.height / (kCapHeightPerEm * kLayoutEm);
        canvas_.scale(k * t.widthFactor, -k);  // layout space has y down
        // The layout is measured once in its own unhinted space and drawn under any transform;
        // updating it to every text's transform would reload the fonts for each text.

        PangoRectangle logical;
        pango_layout_get_extents(layout, nullptr, &logical);
        const double width = static_cast<double>(logical.width) / PANGO_SCALE;
        const double height = static_cast<double>(logical.height) / PANGO_SCALE;
        const double baseline =
            static_cast<double>(pango_layout_get_baseline(layout)) / PANGO_SCALE;
        const double cap = kCapHeightPerEm * kLayoutEm;
        double dx = -static_cast<double>(logical.x) / PANGO_SCALE;
        if (t.hAlign == TextHAlign::Center) dx -= width / 2.0;
        if (t.hAlign == TextHAlign::Right) dx -= width;
        double dy = -baseline;
        if (t.vAlign == TextVAlign::Bottom) dy = -height;
        if (t.vAlign == TextVAlign::Middle) dy = cap / 2.0 - baseline;
        if (t.vAlign == TextVAlign::Top) dy = cap - baseline;
        canvas_.translate(dx, dy);
        showLayout(layout);
        if (!t.underlined.empty() || !t.overlined.empty()) {
            // Lines a twentieth of the em thick: under the baseline by a tenth of the em, and
            // over the capitals by three twentieths, clear of Chinese characters, which stand
            // taller than capitals.
            const double thickness = kLayoutEm / 20.0;
            for (const auto* spans : {&t.underlined, &t.overlined}) {
                const double y = spans == &t.underlined ? baseline + kLayoutEm / 10.0
                                                        : baseline - cap - kLayoutEm * 0.15;
                for (const TextPrimitive::Span& span : *spans) {
                    double x0 = 0, x1 = 0;
                    if (!shaper_.spanExtent(span.begin, span.end, x0, x1)) continue;
                    canvas_.rectangle(x0, y - thickness / 2, x1 - x0, thickness);
                }
            }
            if (canvas_.hasPath()) canvas_.fill();
        }
        canvas_.setMatrix(saved);
    }

    // Writes the layout's glyphs with their top-left corner at the origin of the canvas
    // transform (layout units, y down). Each run is placed by one text matrix at its baseline;
    // the width table of the embedded font gives every advance, and where pango's advance
    // differs (kerning, spacing) the difference goes into the TJ array, so glyphs land exactly
    // where pango put them.
    void showLayout(PangoLayout* layout) {
        const char* text = pango_layout_get_text(layout);
        const std::size_t textSize = std::strlen(text);
        const Affine2 toPage = canvas_.matrix();
        std::string& out = canvas_.beginText();
        out += "BT\n";
        int resource = -1;  // the font selected by Tf
        PangoLayoutIter* iter = pango_layout_get_iter(layout);
        do {
            PangoGlyphItem* run = pango_layout_iter_get_run_readonly(iter);
            if (run == nullptr || run->glyphs == nullptr || run->item == nullptr) continue;
            const int font = run->item->analysis.font
                                 ? fonts_.fontFor(hb_font_get_face(
                                       pango_font_get_hb_font(run->item->analysis.font)))
                                 : -1;
            if (font < 0) continue;
            PangoRectangle extents;
            pango_layout_iter_get_run_extents(iter, nullptr, &extents);
            const double baselineY =
                static_cast<double>(pango_layout_iter_get_baseline(iter)) / PANGO_SCALE;
            double penX = static_cast<double>(extents.x) / PANGO_SCALE;

            const PangoGlyphString* glyphs = run->glyphs;
            const bool rightToLeft = (run->item->analysis.level % 2) != 0;
            const std::size_t itemStart = std::size_t(run->item->offset);
            const std::size_t itemEnd =
                std::min(textSize, itemStart + std::size_t(run->item->length));
            bool placed = false;  // the text position is at the pen
            bool open = false;    // a TJ array is open
            for (int i = 0; i < glyphs->num_glyphs; ++i) {
                const PangoGlyphInfo& info = glyphs->glyphs[i];
                const double advance = static_cast<double>(info.geometry.width) / PANGO_SCALE;
                if (info.glyph == PANGO_GLYPH_EMPTY) {
                    penX += advance;
                    if (open) out += "]TJ\n";
                    open = placed = false;
                    continue;
                }
                // What this glyph stands for: its cluster's text, given to the cluster's first
                // glyph only.
                const int cluster = glyphs->log_clusters[i];
                std::string_view shown;
                const bool firstOfCluster =
                    rightToLeft
                        ? (i + 1 == glyphs->num_glyphs || glyphs->log_clusters[i + 1] != cluster)
                        : (i == 0 || glyphs->log_clusters[i - 1] != cluster);
                if (firstOfCluster) {
                    std::size_t end = itemEnd;
                    if (!rightToLeft) {
                        for (int j = i + 1; j < glyphs->num_glyphs; ++j)
                            if (glyphs->log_clusters[j] != cluster) {
                                end = itemStart + std::size_t(glyphs->log_clusters[j]);
                                break;
                            }
                    } else {
                        for (int j = i - 1; j >= 0; --j)
                            if (glyphs->log_clusters[j] != cluster) {
                                end = itemStart + std::size_t(glyphs->log_clusters[j]);
                                break;
                            }
                    }
                    const std::size_t begin = itemStart + std::size_t(cluster);
                    if (begin < end && end <= textSize)
                        shown = std::string_view(text + begin, end - begin);
                }
                const unsigned glyph =
                    (info.glyph & PANGO_GLYPH_UNKNOWN_FLAG) != 0 ? 0u : unsigned(info.glyph);
                const ShownGlyph g = fonts_.show(font, glyph, shown);
                const double offsetX = static_cast<double>(info.geometry.x_offset) / PANGO_SCALE;
                const double offsetY = static_cast<double>(info.geometry.y_offset) / PANGO_SCALE;
                const bool shifted = offsetX != 0.0 || offsetY != 0.0;
                if (g.resource != resource) {
                    // Changing fonts keeps the text position: the array goes on after Tf.
                    if (open) out += "]TJ\n";
                    open = false;
                    out += "/F" + std::to_string(g.resource) + " 1 Tf\n";
                    resource = g.resource;
                }
                if (!placed || shifted) {
                    if (open) out += "]TJ\n";
                    open = false;
                    // Text space: the em is kLayoutEm layout units, y up.
                    const Affine2 m =
                        toPage *
                        Affine2{kLayoutEm, 0, 0, -kLayoutEm, penX + offsetX, baselineY + offsetY};
                    for (double v : {m.xx, m.yx, m.xy, m.yy}) {
                        appendScale(out, v);
                        out.push_back(' ');
                    }
                    appendCoordinate(out, m.x0);
                    out.push_back(' ');
                    appendCoordinate(out, m.y0);
                    out += " Tm";
                    placed = true;
                }
                if (!open) out.push_back('[');
                open = true;
                appendHexCode(out, g.code, g.twoBytes ? 2 : 1);
                // Thousandths of the em by which the font's advance overshoots pango's.
                const double correction = g.advance - 1000.0 * advance / kLayoutEm;
                if (std::fabs(correction) >= 0.001) appendCoordinate(out, correction);
                penX += advance;
                if (shifted) {
                    out += "]TJ\n";
                    open = placed = false;
                }
            }
            if (open) out += "]TJ\n";
        } while (pango_layout_iter_next_run(iter));
        pango_layout_iter_free(iter);
        out += "ET\n";
    }

    // --- clipping ----------------------------------------------------------------------------

    void pushClip(const PlotRect& r) {
        flushInk();
        canvas_.save();
        ++clipDepth_;
        const PlotRect n = PlotRect::normalised(r.minX, r.minY, r.maxX, r.maxY);
        // What the clip leaves visible, in drawing units (its bounds when it is turned).
        PlotRect seen = visible_.back();
        if (n.isValid()) {
            Bounds b;
            const Affine2 t = transforms_.size() > 1 ? *transforms_.back() : Affine2{};
            for (double x : {n.minX, n.maxX})
                for (double y : {n.minY, n.maxY}) {
                    const Point2 q = t.apply({x, y});
                    b.add(q.x, q.y);
                }
            seen = {std::fmax(seen.minX, b.minX), std::fmax(seen.minY, b.minY),
                    std::fmin(seen.maxX, b.maxX), std::fmin(seen.maxY, b.maxY)};
        } else {
            seen = {1.0, 1.0, 0.0, 0.0};  // nothing
        }
        visible_.push_back(seen);
        if (n.isValid()) canvas_.rectangle(n.minX, n.minY, n.width(), n.height());
        // An invalid rectangle clips everything away: an empty path clips to nothing.
        canvas_.clip();
    }

    void popClip() {
        flushInk();
        visible_.pop_back();
        canvas_.restore();
        canvas_.setMatrix(base_);  // the restored state may hold a block's transform
        --clipDepth_;
        haveColour_ = false;  // the restored state has the colour and dashes of before the push
        dash_ = -1;
    }

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

}  // namespace

}  // namespace qkshost::pdf::detail

namespace qkshost::pdf {

double textWidth(const std::string& text, const std::string& fontFamily, double height,
                 double widthFactor) {
    if (text.empty() || !(height > 0) || !std::isfinite(height) || !std::isfinite(widthFactor))
        return 0.0;
    thread_local detail::TextShaper shaper;
    PangoRectangle logical;
    pango_layout_get_extents(shaper.layout(text, fontFamily), nullptr, &logical);
    const double k = height / (detail::kCapHeightPerEm * detail::kLayoutEm);
    return static_cast<double>(logical.width) / PANGO_SCALE * k * std::fabs(widthFactor);
}

}  // namespace qkshost::pdf

namespace qkshost::pdf::detail {

PlotResult renderPdfPage(const PageGeometry& g, const PlotStyleTable& style,
                         const DisplayList& list, bool clipToPlotArea, const std::string& title,
                         AtomicOutputFile& out) {
    // Kept from page to page on this thread: a large page's content and paths take
    // megabytes, and fresh memory costs a page fault for every 4 KB touched.
    thread_local std::string content;
    thread_local PagePath path;
    content.clear();
    // Untouched reserve costs nothing; growing by copies would touch everything twice.
    content.reserve(std::min<std::size_t>(list.size(), 1u << 20) * 128);
    path.ops.reserve(std::min<std::size_t>(list.size(), 1u << 20) * 4);
    path.points.reserve(std::min<std::size_t>(list.size(), 1u << 20) * 8);
    PageFonts fonts;
    {
        PdfCanvas canvas(content, path);
        // Other plot types leave the plot area unclipped: their area is an estimate of what is
        // drawn (text boxes especially), and nothing outside it was meant to be left out.
        const double widen = clipToPlotArea ? 1.0 * kPointsPerMm : HUGE_VAL;
        const double x0 = std::max(g.printableAreaPt.minX, g.plotAreaPt.minX - widen);
        const double y0 = std::max(g.printableAreaPt.minY, g.plotAreaPt.minY - widen);
        const double x1 = std::min(g.printableAreaPt.maxX, g.plotAreaPt.maxX + widen);
        const double y1 = std::min(g.printableAreaPt.maxY, g.plotAreaPt.maxY + widen);
        if (x1 > x0 && y1 > y0) {
            canvas.save();
            canvas.rectangle(x0, y0, x1 - x0, y1 - y0);
            canvas.clip();
            canvas.setMatrix({g.a, g.b, g.c, g.d, g.e, g.f});
            // The clipped page area in drawing units.
            Bounds seen;
            const double det = g.a * g.d - g.b * g.c;
            for (double px : {x0, x1})
                for (double py : {y0, y1}) {
                    const double u = px - g.e, v = py - g.f;
                    seen.add((g.d * u - g.c * v) / det, (g.a * v - g.b * u) / det);
                }
            const PlotRect visible = seen.empty()
                                         ? PlotRect{-HUGE_VAL, -HUGE_VAL, HUGE_VAL, HUGE_VAL}
                                         : PlotRect{seen.minX, seen.minY, seen.maxX, seen.maxY};
            PageRenderer(canvas, fonts, g, style).render(list, visible);
            canvas.restore();
        }
    }

    PdfDocumentWriter doc(out);
    const int catalog = doc.reserveObject();
    const int pages = doc.reserveObject();
    const int page = doc.reserveObject();
    const int contents = doc.reserveObject();
    const int info = doc.reserveObject();
    doc.writeObject(catalog, "<</Type/Catalog/Pages " + std::to_string(pages) + " 0 R>>");
    doc.writeObject(pages, "<</Type/Pages/Kids[" + std::to_string(page) + " 0 R]/Count 1>>");
    doc.writeStream(contents, "", content);
    const std::string fontResources = fonts.write(doc);
    std::string pageDict = "<</Type/Page/Parent " + std::to_string(pages) + " 0 R/MediaBox[0 0 ";
    appendCoordinate(pageDict, g.pageWidthPt);
    pageDict.push_back(' ');
    appendCoordinate(pageDict, g.pageHeightPt);
    pageDict += "]/Resources<<";
    if (!fontResources.empty()) pageDict += "/Font<<" + fontResources + ">>";
    pageDict += ">>/Contents " + std::to_string(contents) + " 0 R>>";
    doc.writeObject(page, pageDict);

    std::string infoDict = "<</Creator(qkshost)/Producer(qkshost)";
    if (!title.empty()) {
        infoDict += "/Title";
        appendTextString(infoDict, title);
    }
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    char date[40];
    if (gmtime_r(&now, &utc) != nullptr &&
        std::strftime(date, sizeof date, "(D:%Y%m%d%H%M%SZ)", &utc) > 0)
        infoDict += std::string("/CreationDate") + date;
    infoDict += ">>";
    doc.writeObject(info, infoDict);
    doc.finish(catalog, info);
    // A huge page does not keep its memory for all the small ones after it.
    constexpr std::size_t kKeptScratch = std::size_t(32) << 20;
    if (content.capacity() > kKeptScratch) std::string().swap(content);
    if (path.points.capacity() * sizeof(Point2) > kKeptScratch) {
        std::vector<char>().swap(path.ops);
        std::vector<Point2>().swap(path.points);
    }
    if (!doc.ok()) return PlotResult::failure(PlotStatus::WriteFailed, "writing the PDF failed");
    return PlotResult::success();
}

}  // namespace qkshost::pdf::detail
