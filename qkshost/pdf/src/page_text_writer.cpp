#include "page_text_writer.h"

namespace qkshost::pdf::detail {

void PageTextWriter::drawText(const TextPrimitive& t) {
    if (t.text.empty() || !finite(t.position) || !(t.height > 0) || !scale_.drawable(t.height) ||
        !std::isfinite(t.rotation) || !scale_.drawable(t.height * t.widthFactor) ||
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
    const double baseline = static_cast<double>(pango_layout_get_baseline(layout)) / PANGO_SCALE;
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
void PageTextWriter::showLayout(PangoLayout* layout) {
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
        const int font =
            run->item->analysis.font
                ? fonts_.fontFor(hb_font_get_face(pango_font_get_hb_font(run->item->analysis.font)))
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
        const std::size_t itemEnd = std::min(textSize, itemStart + std::size_t(run->item->length));
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

}  // namespace qkshost::pdf::detail
