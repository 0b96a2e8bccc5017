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
#include "page_renderer.h"
#include "pdf_canvas.h"
#include "pdf_document.h"
#include "pdf_fonts.h"
#include "qkshost/pdf/text_metrics.h"
#include "text_shaper.h"

// fontconfig and pango keep font patterns in caches they never release, and drop a few when a
// thread's font map is released; under LeakSanitizer those show up as leaks in every program
// that lays out text. Defined beside the text code, so every such program links it. Weak, so a
// program that has its own suppressions keeps them (it should then include these two lines).
extern "C" __attribute__((weak, visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libpango\n";
}

namespace qkshost::pdf::detail {

void PageRenderer::draw(const DisplayItem& item) {
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

void PageRenderer::drawItem(const DisplayItem& item, bool hidden) {
    const Primitive& p = item.primitive;
    if (auto* line = std::get_if<LinePrimitive>(&p)) {
        if (!finite(line->start) || !finite(line->end)) return;
        beginStroke(item.pen, std::hypot(line->end.x - line->start.x, line->end.y - line->start.y));
        canvas_.moveTo(line->start.x, line->start.y);
        canvas_.lineTo(line->end.x, line->end.y);
    } else if (auto* poly = std::get_if<PolylinePrimitive>(&p)) {
        drawPolyline(item.pen, *poly);
    } else if (auto* circle = std::get_if<CirclePrimitive>(&p)) {
        if (!finite(circle->centre) || !(circle->radius > 0) || !scale_.drawable(circle->radius))
            return;
        beginStroke(item.pen, kTwoPi * circle->radius);
        canvas_.newSubPath();
        canvas_.arc(circle->centre.x, circle->centre.y, circle->radius, 0, kTwoPi);
        canvas_.closePath();
    } else if (auto* arc = std::get_if<ArcPrimitive>(&p)) {
        if (!finite(arc->centre) || !(arc->radius > 0) || !scale_.drawable(arc->radius) ||
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

void PageRenderer::drawPolyline(const Pen& pen, const PolylinePrimitive& poly) {
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
        length += paths_.curvedSegment(v[i], to, arc)
                      ? arc.radius * std::fabs(arc.sweep)
                      : std::hypot(to.x - v[i].point.x, to.y - v[i].point.y);
    }
    if (constant && w0 == 0.0) {
        beginStroke(pen, length);
        paths_.appendLoop(v, poly.closed);
        return;
    }
    useInk(pen);
    flushStroke();
    if (constant) {
        if (!scale_.drawable(w0)) return;
        canvas_.save();
        canvas_.setLineWidth(std::fabs(w0));
        canvas_.setLineCap(LineCap::Butt);
        canvas_.setLineJoin(LineJoin::Miter);
        // A wide polyline is dashed as a thin one: the pattern is in drawing units, the
        // stroke happens in the polyline's own.
        const double toDrawing = scale_.pointsPerUnit / g_.pointsPerUnit;
        std::vector<double> dashes;
        double offset = 0.0;
        if (const DashPattern* p = list_->dashPattern(dashFor(pen, length * toDrawing))) {
            for (double l : p->lengths)
                dashes.push_back(l / toDrawing);
            offset = p->offset / toDrawing;
        }
        canvas_.setDash(dashes, offset);
        paths_.appendLoop(v, poly.closed);
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
        paths_.appendBand(v[i], v[next].point);
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

void PageRenderer::drawEllipse(const Pen& pen, const EllipsePrimitive& el) {
    const double major = std::hypot(el.majorAxis.x, el.majorAxis.y);
    if (!finite(el.centre) || !scale_.drawable(major) || !(el.ratio > 0) ||
        !scale_.drawable(major * el.ratio) || !std::isfinite(el.startParam) ||
        !std::isfinite(el.endParam))
        return;
    // Perimeter share of the drawn part (Ramanujan's perimeter of the whole ellipse).
    const double a = major, b = major * el.ratio;
    const double perimeter = qks::kPi * (3 * (a + b) - std::sqrt((3 * a + b) * (a + 3 * b)));
    beginStroke(pen, perimeter * (ccwEnd(el.startParam, el.endParam) - el.startParam) / kTwoPi);
    // The path is built in the ellipse's own frame; the stroke happens later under the
    // drawing transform, so the line keeps its weight.
    paths_.appendEllipse(el, major);
}

// Bounds of an item in drawing units, widened by its pen; texts by a reach that holds
// whatever glyphs the fonts give them.
Bounds PageRenderer::drawingBounds(const DisplayItem& item) const {
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

// `length` is the length of what is about to be added, in the item's units.
void PageRenderer::beginStroke(const Pen& pen, double length) {
    useInk(pen);
    const double width = lineWidthUnits(pen);
    const int dash = dashFor(pen, length * scale_.pointsPerUnit / g_.pointsPerUnit);
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
int PageRenderer::dashFor(const Pen& pen, double length) const {
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

void PageRenderer::flushInk() {
    flushStroke();
    if (deferred_.empty()) return;
    const Affine2 current = canvas_.matrix();
    const double scale = scale_.pointsPerUnit;
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
        scale_.pointsPerUnit = d.unitScale;
        if (paths_.appendFill(*fill)) group.push_back(d.bounds);
        if (d.bounds.empty()) closeGroup();
    }
    closeGroup();
    for (const Deferred& d : deferred_) {
        auto* text = std::get_if<TextPrimitive>(&d.item->primitive);
        if (!text) continue;
        canvas_.setMatrix(d.matrix);
        scale_.pointsPerUnit = d.unitScale;
        texts_.drawText(*text);
    }
    deferred_.clear();
    canvas_.setMatrix(current);
    scale_.pointsPerUnit = scale;
}

void PageRenderer::pushClip(const PlotRect& r) {
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

void PageRenderer::popClip() {
    flushInk();
    visible_.pop_back();
    canvas_.restore();
    canvas_.setMatrix(base_);  // the restored state may hold a block's transform
    --clipDepth_;
    haveColour_ = false;  // the restored state has the colour and dashes of before the push
    dash_ = -1;
}

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
