// Decoding of the header variables, the classes and the object map, and the three streams
// (data, strings, handles) every record of these files is read from.
#pragma once

#include "container.h"

namespace qkshost::dwg {

// The three streams of one record. Before 2007 strings are in the data stream; before 2000
// and in the header variables before 2007, so are the handles.
struct Streams {
    BitReader data, strings, handles;
    bool splitStrings = false, splitHandles = false;
    BitReader& t() { return splitStrings ? strings : data; }
    BitReader& h() { return splitHandles ? handles : data; }
    bool failed() const {
        return data.failed() || (splitStrings && strings.failed()) ||
               (splitHandles && handles.failed());
    }
};

struct TextContext {
    Version version = R2000;
    int codePage = 0;
    CodePageDecoder decode = nullptr;
    std::string read(BitReader& r) const {
        if (version >= R2007) return unescapeUnicode(r.TU());
        return unescapeUnicode(decode(r.TV8(), codePage));
    }
    // Texts before 2007 write characters outside the code page as \U+XXXX.
    static std::string unescapeUnicode(std::string s);
};

// Places `strings` on the string stream that ends just before bit `flagBit` (2007+ layout).
void locateStrings(BitReader& strings, std::size_t flagBit);

DecodeResult readHeaderVariables(const Sections& s, const TextContext& tc, Header& out);
DecodeResult readClasses(const Sections& s, const TextContext& tc, std::vector<ClassDef>& out);
DecodeResult readObjectMap(const Sections& s, std::vector<ObjectMapEntry>& out);
DecodeResult readObjects(const Sections& s, const TextContext& tc, Drawing& out);

}  // namespace qkshost::dwg
