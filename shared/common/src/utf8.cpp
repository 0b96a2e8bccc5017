#include "qks/common/utf8.h"

#include <cstdint>

namespace qks {
namespace {

// Decodes one code point at `pos`; returns the bytes consumed (at least 1). A malformed
// sequence consumes exactly one byte and yields U+FFFD.
std::size_t decodeOne(std::string_view s, std::size_t pos, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t need;
    char32_t value;
    char32_t minimum;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        value = b0 & 0x1F;
        minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        value = b0 & 0x0F;
        minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        value = b0 & 0x07;
        minimum = 0x10000;
    } else {
        cp = kReplacementCharacter;
        return 1;
    }
    for (std::size_t i = 1; i <= need; ++i) {
        if (pos + i >= s.size()) {
            cp = kReplacementCharacter;
            return 1;
        }
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            cp = kReplacementCharacter;
            return 1;
        }
        value = (value << 6) | (b & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        cp = kReplacementCharacter;
        return 1;
    }
    cp = value;
    return need + 1;
}

bool isUnicodeSpace(char32_t cp) {
    if (cp <= 0x20) return cp == 0x20 || (cp >= 0x09 && cp <= 0x0D);
    switch (cp) {
        case 0x85:
        case 0xA0:
        case 0x1680:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000:
        case 0xFEFF:
            return true;
        default:
            return cp >= 0x2000 && cp <= 0x200A;
    }
}

}  // namespace

std::u32string decodeUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp;
        pos += decodeOne(text, pos, cp);
        out.push_back(cp);
    }
    return out;
}

char32_t decodeUtf8At(std::string_view text, std::size_t pos, std::size_t& length) {
    char32_t cp;
    length = decodeOne(text, pos, cp);
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacementCharacter;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string encodeUtf8(std::u32string_view codePoints) {
    std::string out;
    out.reserve(codePoints.size());
    for (char32_t cp : codePoints)
        appendUtf8(out, cp);
    return out;
}

std::string sanitizeUtf8(std::string_view text) {
    if (isValidUtf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    appendSanitizedUtf8(out, text);
    return out;
}

void appendSanitizedUtf8(std::string& out, std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t run = pos;
        while (run < text.size() && static_cast<unsigned char>(text[run]) < 0x80)
            ++run;
        if (run > pos) {
            out.append(text.substr(pos, run - pos));
            pos = run;
            continue;
        }
        char32_t cp;
        const std::size_t used = decodeOne(text, pos, cp);
        if (cp == kReplacementCharacter && used == 1) {
            appendUtf8(out, cp);
        } else {
            out.append(text.substr(pos, used));
        }
        pos += used;
    }
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        char32_t cp;
        const std::size_t used = decodeOne(text, pos, cp);
        if (used == 1) return false;
        pos += used;
    }
    return true;
}

std::size_t codePointCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        char32_t cp;
        pos += decodeOne(text, pos, cp);
    }
    return count;
}

std::size_t utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp;
        pos += decodeOne(text, pos, cp);
        units += cp > 0xFFFF ? 2 : 1;
    }
    return units;
}

std::string cutCodePoints(std::string_view text, std::size_t maxCodePoints) {
    std::size_t pos = 0;
    for (std::size_t n = 0; n < maxCodePoints && pos < text.size(); ++n) {
        char32_t cp;
        pos += decodeOne(text, pos, cp);
    }
    return std::string(text.substr(0, pos));
}

char32_t toLowerCodePoint(char32_t cp) {
    if (cp >= 'A' && cp <= 'Z') return cp + 32;
    if (cp < 0xC0) return cp;
    if ((cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)) return cp + 32;
    if (cp >= 0x100 && cp <= 0x17F) {
        // Latin Extended-A alternates upper/lower in pairs, with three runs offset by one.
        if (cp == 0x130) return 'i';
        if (cp == 0x178) return 0xFF;
        if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E))
            return (cp % 2 == 1) ? cp + 1 : cp;
        if (cp == 0x149 || cp == 0x138 || cp == 0x17F) return cp;
        return (cp % 2 == 0) ? cp + 1 : cp;
    }
    if (cp >= 0x391 && cp <= 0x3AB && cp != 0x3A2) return cp + 32;
    if (cp >= 0x410 && cp <= 0x42F) return cp + 32;
    if (cp >= 0x400 && cp <= 0x40F) return cp + 80;
    if (cp >= 0xFF21 && cp <= 0xFF3A) return cp + 32;
    return cp;
}

std::string toLowerUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp;
        pos += decodeOne(text, pos, cp);
        appendUtf8(out, toLowerCodePoint(cp));
    }
    return out;
}

std::string_view trimControlAndSpace(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20)
        --end;
    return text.substr(begin, end - begin);
}

std::string_view trimWhiteSpace(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        char32_t cp;
        const std::size_t used = decodeOne(text, begin, cp);
        if (!isUnicodeSpace(cp)) break;
        begin += used;
    }
    std::size_t end = text.size();
    while (end > begin) {
        // Step back to the start of the last sequence.
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 &&
               end - start < 4)
            --start;
        char32_t cp;
        const std::size_t used = decodeOne(text, start, cp);
        if (start + used != end) {
            // A stray continuation byte: it is not white space.
            break;
        }
        if (!isUnicodeSpace(cp)) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

}  // namespace qks
