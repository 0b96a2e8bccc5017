// Plain text out of TEXT and MTEXT contents.
#include <cctype>

#include "qkshost/render/renderer.h"

namespace qkshost::render {
namespace {

// Skips a code's argument, which runs up to and including the next ';'.
std::size_t skipToSemicolon(const std::string& s, std::size_t i) {
    const std::size_t end = s.find(';', i);
    return end == std::string::npos ? s.size() : end + 1;
}

// "%%nnn": a character by its decimal code.
bool decimalCode(const std::string& s, std::size_t i, std::string& out, std::size_t& used) {
    std::size_t n = 0;
    unsigned value = 0;
    while (n < 3 && i + n < s.size() && std::isdigit(static_cast<unsigned char>(s[i + n]))) {
        value = value * 10 + unsigned(s[i + n] - '0');
        ++n;
    }
    if (n != 3 || value == 0 || value > 255) return false;
    if (value < 0x80) {
        out += char(value);
    } else {
        out += char(0xC0 | (value >> 6));
        out += char(0x80 | (value & 0x3F));
    }
    used = n;
    return true;
}

}  // namespace

std::string plainTextContents(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && s[i + 1] == '%') {
            const char c = char(std::tolower(static_cast<unsigned char>(s[i + 2])));
            std::size_t used = 0;
            if (c == 'c') {
                out += "\xC3\x98";  // diameter sign, as the CAD fonts draw it
            } else if (c == 'd') {
                out += "\xC2\xB0";
            } else if (c == 'p') {
                out += "\xC2\xB1";
            } else if (c == '%') {
                out += '%';
            } else if (c == 'o' || c == 'u') {
                // overline / underline toggles: no glyph
            } else if (decimalCode(s, i + 2, out, used)) {
                i += 1 + used;
                continue;
            } else {
                out += s[i];
                continue;
            }
            i += 2;
            continue;
        }
        out += s[i];
    }
    return out;
}

std::string plainMTextContents(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (c == '{' || c == '}') {
            ++i;
            continue;
        }
        if (c != '\\' || i + 1 >= s.size()) {
            out += c;
            ++i;
            continue;
        }
        const char code = s[i + 1];
        switch (code) {
            case 'P':
                out += '\n';
                i += 2;
                break;
            case 'X':  // line break between dimension text lines
                out += '\n';
                i += 2;
                break;
            case '~':
                out += ' ';
                i += 2;
                break;
            case '\\':
            case '{':
            case '}':
                out += code;
                i += 2;
                break;
            case 'L':
            case 'l':
            case 'O':
            case 'o':
            case 'K':
            case 'k':
                i += 2;
                break;
            case 'N':  // column break
                out += '\n';
                i += 2;
                break;
            case 'S': {  // stacked text "a^b", "a/b", "a#b" up to ';'
                const std::size_t end = s.find(';', i + 2);
                const std::string body =
                    s.substr(i + 2, end == std::string::npos ? std::string::npos : end - i - 2);
                for (std::size_t k = 0; k < body.size(); ++k) {
                    const char b = body[k];
                    if (b == '\\' && k + 1 < body.size()) {
                        out += body[++k];
                    } else if (b == '^' || b == '#') {
                        out += '/';
                    } else {
                        out += b;
                    }
                }
                i = end == std::string::npos ? s.size() : end + 1;
                break;
            }
            case 'U':  // \U+XXXX
                if (i + 6 < s.size() + 0 && s[i + 2] == '+') {
                    unsigned cp = 0;
                    std::size_t k = i + 3, n = 0;
                    while (n < 4 && k < s.size() &&
                           std::isxdigit(static_cast<unsigned char>(s[k]))) {
                        cp = cp * 16 + unsigned(std::isdigit(static_cast<unsigned char>(s[k]))
                                                    ? s[k] - '0'
                                                    : std::tolower(s[k]) - 'a' + 10);
                        ++k;
                        ++n;
                    }
                    if (n == 4) {
                        if (cp < 0x80) {
                            out += char(cp);
                        } else if (cp < 0x800) {
                            out += char(0xC0 | (cp >> 6));
                            out += char(0x80 | (cp & 0x3F));
                        } else {
                            out += char(0xE0 | (cp >> 12));
                            out += char(0x80 | ((cp >> 6) & 0x3F));
                            out += char(0x80 | (cp & 0x3F));
                        }
                        i = k;
                        break;
                    }
                }
                out += code;
                i += 2;
                break;
            case 'f':
            case 'F':
            case 'H':
            case 'h':
            case 'W':
            case 'w':
            case 'Q':
            case 'q':
            case 'T':
            case 't':
            case 'A':
            case 'a':
            case 'C':
            case 'c':
            case 'p':
                i = skipToSemicolon(s, i + 2);
                break;
            default:
                // An unknown escape keeps its character, as the CAD program shows it.
                out += code;
                i += 2;
                break;
        }
    }
    return plainTextContents(out);
}

}  // namespace qkshost::render
