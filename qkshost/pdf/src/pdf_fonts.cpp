#include "pdf_fonts.h"

#include <hb.h>

#include <hb-ot.h>
#include <hb-subset.h>

#include <atomic>
#include <cmath>
#include <mutex>

namespace qkshost::pdf::detail {
namespace {

constexpr unsigned kMostCodes = 0xFFFF;

struct SubsetDeleter {
    void operator()(hb_subset_input_t* p) const { hb_subset_input_destroy(p); }
    void operator()(hb_subset_plan_t* p) const { hb_subset_plan_destroy(p); }
    void operator()(hb_face_t* p) const { hb_face_destroy(p); }
    void operator()(hb_blob_t* p) const { hb_blob_destroy(p); }
};
template <class T>
using HbOwned = std::unique_ptr<T, SubsetDeleter>;

bool hasTable(hb_face_t* face, hb_tag_t tag) {
    HbOwned<hb_blob_t> blob(hb_face_reference_table(face, tag));
    return hb_blob_get_length(blob.get()) > 0;
}

// Big-endian signed 16-bit value at `offset` of a table; 0 when the table is shorter.
int tableInt16(hb_face_t* face, hb_tag_t tag, unsigned offset) {
    HbOwned<hb_blob_t> blob(hb_face_reference_table(face, tag));
    unsigned length = 0;
    const char* data = hb_blob_get_data(blob.get(), &length);
    if (data == nullptr || offset + 2 > length) return 0;
    return static_cast<std::int16_t>((static_cast<unsigned char>(data[offset]) << 8) |
                                     static_cast<unsigned char>(data[offset + 1]));
}

// The face's PostScript name reduced to the characters a PDF name may hold unescaped.
std::string postScriptName(hb_face_t* face) {
    char buffer[128];
    unsigned size = sizeof buffer;
    hb_ot_name_get_utf8(face, HB_OT_NAME_ID_POSTSCRIPT_NAME, HB_LANGUAGE_INVALID, &size, buffer);
    std::string name;
    for (unsigned i = 0; i < size && buffer[i] != '\0'; ++i) {
        const char c = buffer[i];
        if (c > ' ' && c < 127 && std::string_view("()<>[]{}/%#").find(c) == std::string::npos)
            name.push_back(c);
    }
    return name.empty() ? std::string("Font") : name;
}

// Six capitals naming the subset; the same glyphs of the same font give the same tag.
std::string subsetTag(const std::string& name, const std::vector<unsigned>& glyphs) {
    std::uint64_t h = 1469598103934665603ULL;
    auto mix = [&](unsigned v) {
        h ^= v;
        h *= 1099511628211ULL;
    };
    for (char c : name)
        mix(static_cast<unsigned char>(c));
    for (unsigned g : glyphs)
        mix(g);
    std::string tag;
    for (int i = 0; i < 6; ++i) {
        tag.push_back(char('A' + h % 26));
        h /= 26;
    }
    return tag;
}

std::string number(double v) {
    std::string s;
    appendCoordinate(s, v);
    return s;
}

std::atomic<bool> wholeFacesForTesting{false};

// The face as a font file of its own: every table of it, put together anew.
std::string wholeFace(hb_face_t* face) {
    HbOwned<hb_face_t> builder(hb_face_builder_create());
    hb_tag_t tags[64];
    unsigned offset = 0;
    for (;;) {
        unsigned count = 64;
        hb_face_get_table_tags(face, offset, &count, tags);
        for (unsigned k = 0; k < count; ++k) {
            HbOwned<hb_blob_t> table(hb_face_reference_table(face, tags[k]));
            hb_face_builder_add_table(builder.get(), tags[k], table.get());
        }
        if (count < 64) break;
        offset += count;
    }
    HbOwned<hb_blob_t> blob(hb_face_reference_blob(builder.get()));
    unsigned length = 0;
    const char* data = hb_blob_get_data(blob.get(), &length);
    return data != nullptr ? std::string(data, length) : std::string();
}

// The face to subset `face` from. Making a plan reads the whole font (a CJK font's cmap alone
// holds tens of thousands of entries); from a face's second page on, the subsets come from a
// copy harfbuzz has prepared for repeated subsetting, kept while the process plots. The first
// page of a face is subset directly, so a program plotting one page pays nothing extra. Faces
// belong to a thread's font map, and a thread that plots and ends leaves its faces behind: past
// kMostFaces the cache starts afresh rather than grow without bound.
// Returns a new reference.
hb_face_t* subsetSource(hb_face_t* face) {
    struct Entry {
        int uses = 0;
        hb_face_t* prepared = nullptr;
    };
    constexpr std::size_t kMostFaces = 32;
    static std::mutex mutex;
    static std::map<hb_face_t*, Entry>* faces = new std::map<hb_face_t*, Entry>();
    std::lock_guard<std::mutex> lock(mutex);
    if (faces->size() >= kMostFaces && faces->count(face) == 0) {
        for (auto& [key, entry] : *faces) {
            hb_face_destroy(entry.prepared);  // null is allowed
            hb_face_destroy(key);
        }
        faces->clear();
    }
    auto found = faces->find(face);
    if (found == faces->end())
        found = faces->emplace(hb_face_reference(face), Entry{}).first;  // keeps the key unique
    Entry& entry = found->second;
    if (entry.prepared == nullptr && ++entry.uses >= 2) entry.prepared = hb_subset_preprocess(face);
    return hb_face_reference(entry.prepared != nullptr ? entry.prepared : face);
}

}  // namespace

void embedWholeFacesForTesting(bool on) {
    wholeFacesForTesting = on;
}

PageFonts::~PageFonts() {
    for (Font& f : fonts_)
        hb_font_destroy(f.metrics);
    for (auto& [face, index] : byFace_)
        hb_face_destroy(face);
}

int PageFonts::fontFor(hb_face_t* face) {
    if (face == nullptr) return -1;
    auto found = byFace_.find(face);
    if (found != byFace_.end()) return found->second;
    int index = -1;
    const bool trueType =
        hasTable(face, HB_TAG('g', 'l', 'y', 'f')) && hasTable(face, HB_TAG('l', 'o', 'c', 'a'));
    const bool outlines = trueType || hasTable(face, HB_TAG('C', 'F', 'F', ' ')) ||
                          hasTable(face, HB_TAG('C', 'F', 'F', '2'));
    if (outlines) {
        Font f;
        f.face = face;
        f.metrics = hb_font_create(face);
        f.unitsPerEm = std::max(1u, hb_face_get_upem(face));
        f.trueType = trueType;
        hb_font_set_scale(f.metrics, int(f.unitsPerEm), int(f.unitsPerEm));
        fonts_.push_back(std::move(f));
        index = static_cast<int>(fonts_.size() - 1);
    }
    byFace_.emplace(hb_face_reference(face), index);
    return index;
}

ShownGlyph PageFonts::show(int font, unsigned glyph, std::string_view text) {
    Font& f = fonts_[std::size_t(font)];
    auto found = f.shown.find(glyph);
    if (found != f.shown.end()) return found->second;
    // Type 3 codes are single bytes: a face with more glyphs spreads over several fonts.
    const std::size_t capacity = f.trueType ? kMostCodes + 1 : 256;
    if (f.filling < 0 || resources_[std::size_t(f.filling)].glyphOfCode.size() >= capacity) {
        if (f.trueType && f.filling >= 0)  // the missing glyph, as the width table has it
            return {f.filling, 0, true,
                    1000.0 * hb_font_get_glyph_h_advance(f.metrics, 0) / f.unitsPerEm};
        resources_.push_back(Resource{font, {0}, {0.0}, {std::string()}});
        f.filling = static_cast<int>(resources_.size() - 1);
    }
    Resource& r = resources_[std::size_t(f.filling)];
    ShownGlyph g;
    g.resource = f.filling;
    g.code = static_cast<unsigned>(r.glyphOfCode.size());
    g.twoBytes = f.trueType;
    g.advance = 1000.0 * hb_font_get_glyph_h_advance(f.metrics, glyph) / f.unitsPerEm;
    r.glyphOfCode.push_back(glyph);
    r.advanceOfCode.push_back(g.advance);
    r.textOfCode.emplace_back(text);
    f.shown.emplace(glyph, g);
    return g;
}

std::string PageFonts::write(PdfDocumentWriter& doc) const {
    std::string resources;
    for (std::size_t i = 0; i < resources_.size(); ++i) {
        const Resource& r = resources_[i];
        if (r.glyphOfCode.size() <= 1) continue;
        const int number = doc.reserveObject();
        if (fonts_[std::size_t(r.font)].trueType)
            writeTrueType(doc, r, number);
        else
            writeType3(doc, r, number);
        resources += "/F" + std::to_string(i) + " " + std::to_string(number) + " 0 R";
    }
    return resources;
}

void PageFonts::writeToUnicode(PdfDocumentWriter& doc, const Resource& r, bool twoBytes,
                               int number) const {
    std::string cmap =
        "/CIDInit/ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo<</Registry(Adobe)/Ordering(UCS)/Supplement 0>>def\n"
        "/CMapName/Adobe-Identity-UCS def\n/CMapType 2 def\n1 begincodespacerange\n";
    cmap += twoBytes ? "<0000><FFFF>\n" : "<00><FF>\n";
    cmap += "endcodespacerange\n";
    std::vector<unsigned> mapped;
    for (std::size_t c = 1; c < r.textOfCode.size(); ++c)
        if (!r.textOfCode[c].empty()) mapped.push_back(unsigned(c));
    for (std::size_t start = 0; start < mapped.size(); start += 100) {
        const std::size_t end = std::min(mapped.size(), start + 100);
        cmap += std::to_string(end - start) + " beginbfchar\n";
        for (std::size_t k = start; k < end; ++k) {
            appendHexCode(cmap, mapped[k], twoBytes ? 2 : 1);
            cmap.push_back('<');
            appendUtf16Hex(cmap, r.textOfCode[mapped[k]]);
            cmap += ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict/CMap defineresource pop\nend\nend\n";
    doc.writeStream(number, "", cmap);
}

namespace {

// Collects a glyph outline as PDF path operators in thousandths of the em; quadratic pieces
// become the equivalent cubic ones.
struct OutlineWriter {
    std::string path;
    double scale = 1.0;

    void point(float x, float y) {
        appendCoordinate(path, x * scale);
        path.push_back(' ');
        appendCoordinate(path, y * scale);
        path.push_back(' ');
    }
    static OutlineWriter& of(void* data) { return *static_cast<OutlineWriter*>(data); }

    static hb_draw_funcs_t* funcs() {
        static hb_draw_funcs_t* made = [] {
            hb_draw_funcs_t* f = hb_draw_funcs_create();
            hb_draw_funcs_set_move_to_func(
                f,
                [](hb_draw_funcs_t*, void* d, hb_draw_state_t*, float x, float y, void*) {
                    of(d).point(x, y);
                    of(d).path += "m\n";
                },
                nullptr, nullptr);
            hb_draw_funcs_set_line_to_func(
                f,
                [](hb_draw_funcs_t*, void* d, hb_draw_state_t*, float x, float y, void*) {
                    of(d).point(x, y);
                    of(d).path += "l\n";
                },
                nullptr, nullptr);
            hb_draw_funcs_set_quadratic_to_func(
                f,
                [](hb_draw_funcs_t*, void* d, hb_draw_state_t* st, float cx, float cy, float x,
                   float y, void*) {
                    const float x0 = st->current_x, y0 = st->current_y;
                    of(d).point(x0 + 2.0f / 3.0f * (cx - x0), y0 + 2.0f / 3.0f * (cy - y0));
                    of(d).point(x + 2.0f / 3.0f * (cx - x), y + 2.0f / 3.0f * (cy - y));
                    of(d).point(x, y);
                    of(d).path += "c\n";
                },
                nullptr, nullptr);
            hb_draw_funcs_set_cubic_to_func(
                f,
                [](hb_draw_funcs_t*, void* d, hb_draw_state_t*, float c1x, float c1y, float c2x,
                   float c2y, float x, float y, void*) {
                    of(d).point(c1x, c1y);
                    of(d).point(c2x, c2y);
                    of(d).point(x, y);
                    of(d).path += "c\n";
                },
                nullptr, nullptr);
            hb_draw_funcs_set_close_path_func(
                f, [](hb_draw_funcs_t*, void* d, hb_draw_state_t*, void*) { of(d).path += "h\n"; },
                nullptr, nullptr);
            hb_draw_funcs_make_immutable(f);
            return f;
        }();
        return made;
    }
};

}  // namespace

void PageFonts::writeType3(PdfDocumentWriter& doc, const Resource& r, int type3) const {
    const Font& f = fonts_[std::size_t(r.font)];
    const double perUnit = 1000.0 / f.unitsPerEm;
    const hb_tag_t head = HB_TAG('h', 'e', 'a', 'd');
    std::string procs, differences, widths;
    for (std::size_t c = 1; c < r.glyphOfCode.size(); ++c) {
        OutlineWriter outline;
        outline.scale = perUnit;
        appendCoordinate(outline.path, r.advanceOfCode[c]);
        outline.path += " 0 d0\n";
        const std::size_t header = outline.path.size();
        hb_font_get_glyph_shape(f.metrics, r.glyphOfCode[c], OutlineWriter::funcs(), &outline);
        if (outline.path.size() > header) outline.path += "f\n";
        const int proc = doc.reserveObject();
        doc.writeStream(proc, "", outline.path);
        procs += "/g" + std::to_string(c) + " " + std::to_string(proc) + " 0 R";
        differences += "/g" + std::to_string(c);
        if (c > 1) widths.push_back(' ');
        appendCoordinate(widths, r.advanceOfCode[c]);
    }
    const int toUnicode = doc.reserveObject();
    doc.writeObject(type3, "<</Type/Font/Subtype/Type3/Name/" + postScriptName(f.face) +
                               "/FontBBox[" + number(tableInt16(f.face, head, 36) * perUnit) + " " +
                               number(tableInt16(f.face, head, 38) * perUnit) + " " +
                               number(tableInt16(f.face, head, 40) * perUnit) + " " +
                               number(tableInt16(f.face, head, 42) * perUnit) +
                               "]/FontMatrix[0.001 0 0 0.001 0 0]/CharProcs<<" + procs +
                               ">>/Encoding<</Type/Encoding/Differences[1" + differences +
                               "]>>/FirstChar 1/LastChar " +
                               std::to_string(r.glyphOfCode.size() - 1) + "/Widths[" + widths +
                               "]/Resources<<>>/ToUnicode " + std::to_string(toUnicode) + " 0 R>>");
    writeToUnicode(doc, r, false, toUnicode);
}

void PageFonts::writeTrueType(PdfDocumentWriter& doc, const Resource& r, int type0) const {
    const Font& f = fonts_[std::size_t(r.font)];
    // Subset: only the glyphs shown (and the missing glyph); layout tables are not needed once
    // the text is set.
    HbOwned<hb_subset_input_t> input(hb_subset_input_create_or_fail());
    std::string program;
    std::vector<unsigned> newGlyphOfCode(r.glyphOfCode.size(), 0);
    if (input && !wholeFacesForTesting) {
        hb_set_t* glyphs = hb_subset_input_glyph_set(input.get());
        for (unsigned g : r.glyphOfCode)
            hb_set_add(glyphs, g);
        hb_set_t* drop = hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
        for (hb_tag_t tag :
             {HB_TAG('G', 'S', 'U', 'B'), HB_TAG('G', 'P', 'O', 'S'), HB_TAG('G', 'D', 'E', 'F'),
              HB_TAG('k', 'e', 'r', 'n'), HB_TAG('B', 'A', 'S', 'E'), HB_TAG('J', 'S', 'T', 'F'),
              HB_TAG('M', 'A', 'T', 'H'), HB_TAG('m', 'o', 'r', 'x')})
            hb_set_add(drop, tag);
        HbOwned<hb_face_t> source(subsetSource(f.face));
        HbOwned<hb_subset_plan_t> plan(hb_subset_plan_create_or_fail(source.get(), input.get()));
        if (plan) {
            const hb_map_t* oldToNew = hb_subset_plan_old_to_new_glyph_mapping(plan.get());
            for (std::size_t c = 0; c < r.glyphOfCode.size(); ++c) {
                const hb_codepoint_t g = hb_map_get(oldToNew, r.glyphOfCode[c]);
                newGlyphOfCode[c] = g == HB_MAP_VALUE_INVALID ? 0 : g;
            }
            HbOwned<hb_face_t> subset(hb_subset_plan_execute_or_fail(plan.get()));
            if (subset) {
                HbOwned<hb_blob_t> blob(hb_face_reference_blob(subset.get()));
                unsigned length = 0;
                const char* data = hb_blob_get_data(blob.get(), &length);
                if (data != nullptr) program.assign(data, length);
            }
        }
    }
    if (program.empty()) {
        // The subsetter failed: embed the whole face rather than show nothing, rebuilt from its
        // tables, as a face of a collection (.ttc) is no font file by itself.
        program = wholeFace(f.face);
        newGlyphOfCode = r.glyphOfCode;
    }

    const std::string base =
        subsetTag(postScriptName(f.face), r.glyphOfCode) + "+" + postScriptName(f.face);
    const double perUnit = 1000.0 / f.unitsPerEm;
    hb_position_t ascender = 0, descender = 0, capHeight = 0;
    hb_ot_metrics_get_position(f.metrics, HB_OT_METRICS_TAG_HORIZONTAL_ASCENDER, &ascender);
    hb_ot_metrics_get_position(f.metrics, HB_OT_METRICS_TAG_HORIZONTAL_DESCENDER, &descender);
    if (!hb_ot_metrics_get_position(f.metrics, HB_OT_METRICS_TAG_CAP_HEIGHT, &capHeight))
        capHeight = ascender;
    const hb_tag_t head = HB_TAG('h', 'e', 'a', 'd');

    const int cidFont = doc.reserveObject();
    const int descriptor = doc.reserveObject();
    const int file = doc.reserveObject();
    const int cidToGid = doc.reserveObject();
    const int toUnicode = doc.reserveObject();

    doc.writeObject(type0, "<</Type/Font/Subtype/Type0/BaseFont/" + base +
                               "/Encoding/Identity-H/DescendantFonts[" + std::to_string(cidFont) +
                               " 0 R]/ToUnicode " + std::to_string(toUnicode) + " 0 R>>");

    std::string widths = "[0[";
    for (std::size_t c = 0; c < r.advanceOfCode.size(); ++c) {
        if (c) widths.push_back(' ');
        appendCoordinate(widths,
                         c == 0 ? 1000.0 * hb_font_get_glyph_h_advance(f.metrics, 0) / f.unitsPerEm
                                : r.advanceOfCode[c]);
    }
    widths += "]]";
    doc.writeObject(cidFont, "<</Type/Font/Subtype/CIDFontType2/BaseFont/" + base +
                                 "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/"
                                 "Supplement 0>>/FontDescriptor " +
                                 std::to_string(descriptor) + " 0 R/W" + widths + "/CIDToGIDMap " +
                                 std::to_string(cidToGid) + " 0 R>>");

    doc.writeObject(descriptor, "<</Type/FontDescriptor/FontName/" + base + "/Flags 4/FontBBox[" +
                                    number(tableInt16(f.face, head, 36) * perUnit) + " " +
                                    number(tableInt16(f.face, head, 38) * perUnit) + " " +
                                    number(tableInt16(f.face, head, 40) * perUnit) + " " +
                                    number(tableInt16(f.face, head, 42) * perUnit) +
                                    "]/ItalicAngle 0/Ascent " + number(ascender * perUnit) +
                                    "/Descent " + number(descender * perUnit) + "/CapHeight " +
                                    number(capHeight * perUnit) + "/StemV 80/FontFile2 " +
                                    std::to_string(file) + " 0 R>>");
    doc.writeStream(file, "/Length1 " + std::to_string(program.size()), program);

    std::string map;
    map.reserve(newGlyphOfCode.size() * 2);
    for (unsigned g : newGlyphOfCode) {
        map.push_back(char((g >> 8) & 0xFF));
        map.push_back(char(g & 0xFF));
    }
    doc.writeStream(cidToGid, "", map);

    writeToUnicode(doc, r, true, toUnicode);
}

}  // namespace qkshost::pdf::detail
