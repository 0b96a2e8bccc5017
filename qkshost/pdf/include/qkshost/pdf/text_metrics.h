// Widths of texts as the PDF engine sets them, for laying out text before it is drawn
// (wrapping multiline text to its reference width).
//
// Threads: any thread; each thread keeps its own font state.
#pragma once

#include <string>

namespace qkshost::pdf {

// Advance width, in drawing units, of `text` (UTF-8) drawn as a TextPrimitive of that font
// family, capital height and width factor. 0 for empty text or unusable sizes.
double textWidth(const std::string& text, const std::string& fontFamily, double height,
                 double widthFactor = 1.0);

}  // namespace qkshost::pdf
