// Drawing text as the plug-in writes and reads it: the text style of what it writes (a
// TrueType font with Chinese glyphs, so labels read the same in every program and in our own
// PDFs), and multiline texts read as plain text.
#pragma once

#include <string>
#include <string_view>

#include "qks/host/drawing.h"

namespace qks::drawing {

// The style `name` of the drawing, made with SimSun (GB2312) when missing; null on failure.
host::ObjectId ensureChineseTextStyle(host::DrawingEdits& ds, host::DatabaseId database,
                                      std::string_view name);

// MTEXT contents to plain text: formatting codes dropped, paragraph breaks as spaces, stacked
// fractions as "a/b".
std::string plainMText(const std::string& contents);

}  // namespace qks::drawing
