// The fonts of one PDF page: which glyphs its texts show, embedded at the end. TrueType faces
// go in as subsets (CIDFontType2 under Identity-H, two-byte codes); faces with other outlines
// (CFF, CFF2) as Type 3 fonts of up to 255 glyphs drawn from their outlines. Every font has a
// width table and a ToUnicode map, so the page shows real glyphs that text extraction and
// search read back.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdf_document.h"

// harfbuzz's handles, declared as harfbuzz does, so users of this header need not see it.
typedef struct hb_face_t hb_face_t;
typedef struct hb_font_t hb_font_t;

namespace qkshost::pdf::detail {

// How the page shows one glyph.
struct ShownGlyph {
    int resource = 0;   // the font resource, /F<resource>
    unsigned code = 0;  // written as two hex bytes, or one when !twoBytes
    bool twoBytes = true;
    double advance = 0.0;  // thousandths of the em, as the font's width table has it
};

// Test seam: while set, TrueType faces are embedded whole, as when the subsetter fails.
void embedWholeFacesForTesting(bool on);

class PageFonts {
  public:
    PageFonts() = default;
    PageFonts(const PageFonts&) = delete;
    PageFonts& operator=(const PageFonts&) = delete;
    ~PageFonts();

    // The page's number for `face`; -1 when nothing can be drawn from it. Holds a reference to
    // the face until the page is written, so a face is never confused with a later one at the
    // same address.
    int fontFor(hb_face_t* face);
    // How the page shows glyph `glyph` of font `font`. `text` is what the glyph stands for (for
    // copying and search), taken the first time the glyph is met. A font without room for more
    // glyphs shows its missing-glyph box.
    ShownGlyph show(int font, unsigned glyph, std::string_view text);

    // Writes every font used; returns the entries of the page's /Font resource dictionary.
    std::string write(PdfDocumentWriter& doc) const;

  private:
    struct Font {
        hb_face_t* face = nullptr;     // the reference byFace_ holds
        hb_font_t* metrics = nullptr;  // at units-per-em scale
        unsigned unitsPerEm = 1000;
        bool trueType = true;  // otherwise drawn as Type 3
        std::unordered_map<unsigned, ShownGlyph> shown;
        int filling = -1;  // the resource new glyphs go into
    };
    // One font dictionary of the page: a TrueType subset, or one slice of a Type 3 face.
    struct Resource {
        int font = 0;
        std::vector<unsigned> glyphOfCode{0};  // code 0: the missing glyph (TrueType only)
        std::vector<double> advanceOfCode{0.0};
        std::vector<std::string> textOfCode{std::string()};
    };
    void writeTrueType(PdfDocumentWriter& doc, const Resource& r, int type0) const;
    void writeType3(PdfDocumentWriter& doc, const Resource& r, int type3) const;
    void writeToUnicode(PdfDocumentWriter& doc, const Resource& r, bool twoBytes, int number) const;

    std::vector<Font> fonts_;
    std::vector<Resource> resources_;
    std::map<hb_face_t*, int> byFace_;  // every face met, referenced; -1: not drawable
};

}  // namespace qkshost::pdf::detail
