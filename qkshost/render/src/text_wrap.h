// Wrapping of multiline text paragraphs to a reference width.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qkshost::render::detail {

// Splits one paragraph (UTF-8, no line feeds) into lines no wider than `width` where it can:
// breaks fall at spaces (which then vanish from the line ends) and between two characters
// when either is Chinese, Japanese or Korean. A word wider than the width stands alone on
// its line. `measure` gives the drawn width of a piece of text.
std::vector<std::string> wrapParagraph(const std::string& paragraph, double width,
                                       const std::function<double(const std::string&)>& measure);

}  // namespace qkshost::render::detail
