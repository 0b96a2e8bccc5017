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

namespace qkshost::render::detail {
namespace {

// Code point of the UTF-8 sequence at s[i] (U+FFFD for a broken one); `length` its bytes.
char32_t codePointAt(const std::string& s, std::size_t i, std::size_t& length) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = byte(i);
    int extra = b < 0x80             ? 0
                : (b & 0xE0) == 0xC0 ? 1
                : (b & 0xF0) == 0xE0 ? 2
                : (b & 0xF8) == 0xF0 ? 3
                                     : -1;
    if (extra < 0 || i + std::size_t(extra) >= s.size()) {
        length = 1;
        return 0xFFFD;
    }
    char32_t c = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        if ((byte(i + std::size_t(k)) & 0xC0) != 0x80) {
            length = 1;
            return 0xFFFD;
        }
        c = (c << 6) | (byte(i + std::size_t(k)) & 0x3F);
    }
    length = std::size_t(extra) + 1;
    return c;
}

// Scripts written without spaces, where a line may break between any two characters.
bool breaksAnywhere(char32_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) ||
           (c >= 0x20000 && c <= 0x3FFFF);
}

}  // namespace

std::vector<std::string> wrapParagraph(const std::string& paragraph, double width,
                                       const std::function<double(const std::string&)>& measure) {
    // Pieces that stay together: a word, a run of spaces, or one character of a script that
    // breaks anywhere.
    std::vector<std::string> pieces;
    std::size_t i = 0;
    while (i < paragraph.size()) {
        std::size_t len = 0;
        const char32_t c = codePointAt(paragraph, i, len);
        if (c == ' ' || breaksAnywhere(c)) {
            std::size_t end = i + len;
            if (c == ' ')
                while (end < paragraph.size() && paragraph[end] == ' ')
                    ++end;
            pieces.push_back(paragraph.substr(i, end - i));
            i = end;
            continue;
        }
        std::size_t end = i + len;
        while (end < paragraph.size()) {
            std::size_t l = 0;
            const char32_t d = codePointAt(paragraph, end, l);
            if (d == ' ' || breaksAnywhere(d)) break;
            end += l;
        }
        pieces.push_back(paragraph.substr(i, end - i));
        i = end;
    }

    std::vector<std::string> lines;
    std::string line;
    auto trimmed = [](std::string s) {
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        return s;
    };
    for (const std::string& piece : pieces) {
        if (line.empty() && piece[0] == ' ') continue;  // no line starts with the break's space
        std::string candidate = line + piece;
        if (!line.empty() && piece[0] != ' ' && measure(trimmed(candidate)) > width) {
            lines.push_back(trimmed(line));
            line = piece;
            continue;
        }
        line = std::move(candidate);
    }
    if (!line.empty() || lines.empty()) lines.push_back(trimmed(line));
    return lines;
}

}  // namespace qkshost::render::detail
