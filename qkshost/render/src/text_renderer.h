// Draws single-line texts (texts, attributes, attribute definitions) and multiline texts,
// plain or with formatting that changes along the text.
#pragma once

#include <string>
#include <vector>

#include "mtext_runs.h"
#include "render_target.h"

namespace qkshost::render::detail {

class TextRenderer {
  public:
    TextRenderer(const Database& db, RenderTarget& target) : db_(db), target_(target) {}

    void text(const pdf::Pen& pen, const drawing::TextBase& t, const Context& ctx);
    void mtext(const pdf::Pen& pen, const drawing::MText& t, const Context& ctx);

  private:
    std::string fontOf(ObjectIndex style) const;

    void placeText(pdf::TextPrimitive& prim, const Matrix3d& m, const Point3d& anchor,
                   double rotation, double height, double widthFactor, double oblique,
                   ObjectIndex style);

    // Multiline text whose characters change format: each line is laid out run by run, every
    // run a text of its own placed after the ones before it; a line is as tall as its tallest
    // run, and lines follow at 5/3 of that height times the line spacing.
    void formattedMText(const pdf::Pen& pen, const drawing::MText& t, const Context& ctx,
                        const std::vector<detail::MTextRun>& runs);

    const Database& db_;
    RenderTarget& target_;
};

}  // namespace qkshost::render::detail
