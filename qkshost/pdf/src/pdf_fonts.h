// The fonts of one PDF page: which glyphs its texts show, embedded at the end as TrueType
// subsets (CIDFontType2 under Identity-H) with width tables and ToUnicode maps, so the page
// shows real glyphs that text extraction and search read back.
#pragma once

#include <hb.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdf_document.h"

namespace qkshost::pdf::detail {

class PageFonts {
  public:
    PageFonts() = default;
    PageFonts(const PageFonts&) = delete;
    PageFonts& operator=(const PageFonts&) = delete;
    ~PageFonts();

    // The page's number for `face`'s font (its resource is /F<number>); -1 when the face
    // cannot be embedded (no TrueType outlines). Holds a reference to the face until the
    // page is written, so a face is never confused with a later one at the same address.
    int fontFor(hb_face_t* face);
    // The two-byte code the page shows glyph `glyph` of font `font` with. `text` is what the
    // glyph stands for (for copying and search), taken the first time the glyph is met. Code 0
    // (the missing-glyph box) when the font has no room for more codes.
    unsigned codeFor(int font, unsigned glyph, std::string_view text);
    // The advance of a code, in thousandths of the em, as the page's width table has it.
    double advance(int font, unsigned code) const;

    // Writes every font used; returns the entries of the page's /Font resource dictionary.
    std::string write(PdfDocumentWriter& doc) const;

  private:
    struct Font {
        hb_face_t* face = nullptr;     // the reference byFace_ holds
        hb_font_t* metrics = nullptr;  // at units-per-em scale
        unsigned unitsPerEm = 1000;
        std::unordered_map<unsigned, unsigned> codeOfGlyph;
        std::vector<unsigned> glyphOfCode{0};  // code 0 is the missing glyph
        std::vector<double> advanceOfCode{0.0};
        std::vector<std::string> textOfCode{std::string()};
    };
    void writeFont(PdfDocumentWriter& doc, const Font& font, int type0) const;

    std::vector<Font> fonts_;
    std::map<hb_face_t*, int> byFace_;  // every face met, referenced; -1: not embeddable
};

}  // namespace qkshost::pdf::detail
