// Text layout for PDF pages: pango lays out single-line texts at a fixed em size, and the page
// renderer scales each into place.
#pragma once

#include <fontconfig/fontconfig.h>
#include <glib.h>
#include <pango/pangoft2.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace qkshost::pdf::detail {

// Texts are laid out at this em size (user units) and scaled into place, so glyph positions
// never suffer from integer rounding of small sizes.
inline constexpr double kLayoutEm = 100.0;
// Capital height as a fraction of the em: a text of height h is set at an em of h / 0.75.
inline constexpr double kCapHeightPerEm = 0.75;
struct Deleter {
    void operator()(PangoContext* p) const { g_object_unref(p); }
    void operator()(PangoLayout* p) const { g_object_unref(p); }
    void operator()(PangoFontDescription* p) const { pango_font_description_free(p); }
    void operator()(PangoFontMap* p) const { g_object_unref(p); }
};
template <class T>
using Owned = std::unique_ptr<T, Deleter>;

// Family name for fontconfig: file names of CAD fonts lose their extension; shape fonts have no
// outline equivalent here and take the default sans-serif.
inline std::string fontFamilyFor(const std::string& requested) {
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

}  // namespace qkshost::pdf::detail
