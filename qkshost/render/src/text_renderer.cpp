#include "text_renderer.h"

#include "qkshost/pdf/text_metrics.h"
#include "text_wrap.h"

namespace qkshost::render::detail {

std::string TextRenderer::fontOf(ObjectIndex style) const {
    const auto* record = db_.get<drawing::TextStyleRecord>(style);
    if (record == nullptr)
        record = db_.get<drawing::TextStyleRecord>(db_.findTextStyle("Standard"));
    if (record == nullptr) return {};
    return record->typeface.empty() ? record->fontFile : record->typeface;
}

void TextRenderer::text(const pdf::Pen& pen, const drawing::TextBase& t, const Context& ctx) {
    pdf::TextPrimitive prim;
    prim.text = detail::plainTextWithLines(t.text, &prim.underlined, &prim.overlined);
    if (prim.text.empty() || !(t.height > 0)) return;
    const Matrix3d m = ctx.m * drawing::ocsToWcs(t.extrusion);
    Point3d anchor = t.position;
    double rotation = t.rotation;
    const bool aligned = t.hAlign != 0 || t.vAlign != 0;
    if (aligned && t.hasAlignment) anchor = t.alignment;
    switch (t.hAlign) {
        case 1:
            prim.hAlign = pdf::TextHAlign::Center;
            break;
        case 2:
            prim.hAlign = pdf::TextHAlign::Right;
            break;
        case 3:
        case 5:  // aligned, fit: centred between the two points along their direction
            prim.hAlign = pdf::TextHAlign::Center;
            if (t.hasAlignment) {
                anchor = {(t.position.x + t.alignment.x) / 2, (t.position.y + t.alignment.y) / 2,
                          t.position.z};
                rotation = std::atan2(t.alignment.y - t.position.y, t.alignment.x - t.position.x);
            }
            break;
        case 4:
            prim.hAlign = pdf::TextHAlign::Center;
            prim.vAlign = pdf::TextVAlign::Middle;
            break;
        default:
            break;
    }
    if (t.hAlign != 4) {
        prim.vAlign = t.vAlign == 1   ? pdf::TextVAlign::Bottom
                      : t.vAlign == 2 ? pdf::TextVAlign::Middle
                      : t.vAlign == 3 ? pdf::TextVAlign::Top
                                      : pdf::TextVAlign::Baseline;
    }
    placeText(prim, m, anchor, rotation, t.height, t.widthFactor, t.oblique, t.style);
    // Backward (2) and upside-down (4) texts are the normal text reflected about the
    // insertion point: along the text's direction, and across its baseline.
    const bool backward = (t.generation & 2) != 0, upsideDown = (t.generation & 4) != 0;
    if (backward || upsideDown) {
        const double c = std::cos(prim.rotation), s = std::sin(prim.rotation);
        const double sx = backward ? -1.0 : 1.0, sy = upsideDown ? -1.0 : 1.0;
        // rotate(r) * scale(sx, sy) * rotate(-r), fixing the insertion point
        pdf::Affine2 reflect;
        reflect.xx = sx * c * c + sy * s * s;
        reflect.yx = (sx - sy) * c * s;
        reflect.xy = (sx - sy) * c * s;
        reflect.yy = sx * s * s + sy * c * c;
        reflect.x0 =
            prim.position.x - (reflect.xx * prim.position.x + reflect.xy * prim.position.y);
        reflect.y0 =
            prim.position.y - (reflect.yx * prim.position.x + reflect.yy * prim.position.y);
        target_.list().pushTransform(reflect);
        target_.add(pen, std::move(prim));
        target_.list().popTransform();
        return;
    }
    target_.add(pen, std::move(prim));
}

void TextRenderer::placeText(pdf::TextPrimitive& prim, const Matrix3d& m, const Point3d& anchor,
                             double rotation, double height, double widthFactor, double oblique,
                             ObjectIndex style) {
    const Vector3d dir = m.transform(Vector3d{std::cos(rotation), std::sin(rotation), 0});
    const Vector3d up = m.transform(Vector3d{-std::sin(rotation), std::cos(rotation), 0});
    const double along = std::hypot(dir.x, dir.y), across = std::hypot(up.x, up.y);
    prim.position = xy(m.transform(anchor));
    prim.rotation = std::atan2(dir.y, dir.x);
    prim.height = height * across;
    prim.widthFactor = (widthFactor > 0 ? widthFactor : 1.0) * (across > 0 ? along / across : 1.0);
    prim.oblique = std::isfinite(oblique) ? oblique : 0.0;
    prim.fontFamily = fontOf(style);
}

void TextRenderer::mtext(const pdf::Pen& pen, const drawing::MText& t, const Context& ctx) {
    if (!(t.height > 0)) return;
    detail::MTextFormat base;
    base.height = t.height;
    const std::vector<detail::MTextRun> runs = detail::parseMText(t.text, base);
    if (runs.empty()) return;
    if (runs.size() > 1 || runs[0].format != base || runs[0].stack) {
        formattedMText(pen, t, ctx, runs);
        return;
    }
    const std::string& plain = runs[0].text;
    if (plain.empty()) return;
    const std::string font = fontOf(t.style);
    const bool wrap = t.width > 0 && std::isfinite(t.width);
    const auto measure = [&](const std::string& s) { return pdf::textWidth(s, font, t.height); };
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = plain.find('\n', start);
        std::string paragraph =
            plain.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (wrap) {
            for (std::string& line : detail::wrapParagraph(paragraph, t.width, measure))
                lines.push_back(std::move(line));
        } else {
            lines.push_back(std::move(paragraph));
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    const double dirLength = std::hypot(t.direction.x, t.direction.y);
    const double rotation = dirLength > 0 ? std::atan2(t.direction.y, t.direction.x) : t.rotation;
    const double pitch = t.height * 5.0 / 3.0 * (t.lineSpacing > 0 ? t.lineSpacing : 1.0);
    const double total = t.height + pitch * double(lines.size() - 1);
    const int attachment = std::clamp(t.attachment, 1, 9);
    const int column = (attachment - 1) % 3, row = (attachment - 1) / 3;
    // Distance from the insertion point up to the top of the first line.
    const double top = row == 0 ? 0.0 : row == 1 ? total / 2 : total;
    const double ux = -std::sin(rotation), uy = std::cos(rotation);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (lines[k].find_first_not_of(' ') == std::string::npos) continue;
        pdf::TextPrimitive prim;
        prim.text = lines[k];
        prim.hAlign = column == 0   ? pdf::TextHAlign::Left
                      : column == 1 ? pdf::TextHAlign::Center
                                    : pdf::TextHAlign::Right;
        prim.vAlign = pdf::TextVAlign::Top;
        const double offset = top - double(k) * pitch;
        const Point3d anchor{t.position.x + ux * offset, t.position.y + uy * offset, t.position.z};
        placeText(prim, ctx.m, anchor, rotation, t.height, 1.0, 0.0, t.style);
        target_.add(pen, std::move(prim));
    }
}

// Multiline text whose characters change format: each line is laid out run by run, every
// run a text of its own placed after the ones before it; a line is as tall as its tallest
// run, and lines follow at 5/3 of that height times the line spacing.
void TextRenderer::formattedMText(const pdf::Pen& pen, const drawing::MText& t, const Context& ctx,
                                  const std::vector<detail::MTextRun>& runs) {
    const std::string styleFont = fontOf(t.style);
    auto fontFor = [&](const detail::MTextFormat& f) {
        return f.font.empty() ? styleFont : f.font;
    };
    auto width = [&](const std::string& text, const detail::MTextFormat& f, double height) {
        return pdf::textWidth(text, fontFor(f), height, f.widthFactor);
    };
    auto measure = [&](const detail::MTextRun& r) {
        const double h = r.format.height, small = h * detail::kStackScale;
        if (r.stack == '#')
            return width(r.text, r.format, small) + width("/", r.format, h) +
                   width(r.lower, r.format, small);
        if (r.stack)
            return std::max(width(r.text, r.format, small), width(r.lower, r.format, small));
        return width(r.text, r.format, h);
    };
    const bool wrap = t.width > 0 && std::isfinite(t.width);
    const auto lines = detail::layoutMTextLines(runs, wrap ? t.width : 0.0, measure);
    const double dirLength = std::hypot(t.direction.x, t.direction.y);
    const double rotation = dirLength > 0 ? std::atan2(t.direction.y, t.direction.x) : t.rotation;
    const double spacing = t.lineSpacing > 0 ? t.lineSpacing : 1.0;
    // Baselines, measured down from the top of the first line.
    std::vector<double> baseline(lines.size());
    for (std::size_t k = 0; k < lines.size(); ++k) {
        double h = 0.0;
        for (const detail::MTextRun& r : lines[k])
            if (r.stack || r.text.find_first_not_of(' ') != std::string::npos)
                h = std::max(h, r.format.height);
        if (h == 0.0) h = lines[k].front().format.height;
        baseline[k] = k == 0 ? h : baseline[k - 1] + h * 5.0 / 3.0 * spacing;
    }
    const double total = baseline.back();
    const int attachment = std::clamp(t.attachment, 1, 9);
    const int column = (attachment - 1) % 3, row = (attachment - 1) / 3;
    const double top = row == 0 ? 0.0 : row == 1 ? total / 2 : total;
    const double dx = std::cos(rotation), dy = std::sin(rotation);
    const double ux = -dy, uy = dx;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        std::vector<double> widths;
        double lineWidth = 0.0;
        for (const detail::MTextRun& r : lines[k]) {
            widths.push_back(r.text.empty() && !r.stack ? 0.0 : measure(r));
            lineWidth += widths.back();
        }
        double x = column == 0 ? 0.0 : column == 1 ? -lineWidth / 2 : -lineWidth;
        const double up = top - baseline[k];
        for (std::size_t r = 0; r < lines[k].size(); ++r) {
            const detail::MTextRun& run = lines[k][r];
            pdf::Pen runPen = pen;
            if (run.format.hasColour) runPen.colour = run.format.colour;
            // A point `along` the line from the run's start and `above` its baseline.
            auto at = [&](double along, double above) {
                const double a = x + along, b = up + above;
                return Point3d{t.position.x + dx * a + ux * b, t.position.y + dy * a + uy * b,
                               t.position.z};
            };
            auto put = [&](const std::string& text, double along, double above, double height,
                           pdf::TextHAlign align) {
                if (text.find_first_not_of(' ') == std::string::npos) return;
                pdf::TextPrimitive prim;
                prim.text = text;
                prim.hAlign = align;
                placeText(prim, ctx.m, at(along, above), rotation, height, run.format.widthFactor,
                          run.format.oblique, t.style);
                if (!run.format.font.empty()) prim.fontFamily = run.format.font;
                if (run.format.underline) prim.underlined.push_back({0, prim.text.size()});
                if (run.format.overline) prim.overlined.push_back({0, prim.text.size()});
                target_.add(runPen, std::move(prim));
            };
            const double h = run.format.height, small = h * detail::kStackScale;
            if (run.stack == '/' || run.stack == '^') {
                // The parts stand over and under the middle of the capitals; a fraction
                // is centred over its bar, a tolerance aligned left.
                const bool fraction = run.stack == '/';
                const double gap = fraction ? h * 0.15 : h * 0.05;
                const auto align = fraction ? pdf::TextHAlign::Center : pdf::TextHAlign::Left;
                const double along = fraction ? widths[r] / 2 : 0.0;
                put(run.text, along, h / 2 + gap, small, align);
                put(run.lower, along, h / 2 - gap - small, small, align);
                if (fraction)
                    target_.add(runPen,
                                pdf::LinePrimitive{xy(ctx.m.transform(at(0, h / 2))),
                                                   xy(ctx.m.transform(at(widths[r], h / 2)))});
            } else if (run.stack == '#') {
                const double upperWidth = width(run.text, run.format, small);
                const double slash = width("/", run.format, h);
                put(run.text, 0.0, h - small, small, pdf::TextHAlign::Left);
                put("/", upperWidth, 0.0, h, pdf::TextHAlign::Left);
                put(run.lower, upperWidth + slash, 0.0, small, pdf::TextHAlign::Left);
            } else {
                put(run.text, 0.0, 0.0, h, pdf::TextHAlign::Left);
            }
            x += widths[r];
        }
    }
}

}  // namespace qkshost::render::detail
