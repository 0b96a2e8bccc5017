#include "text_codec.h"

#include <cerrno>
#include <cstring>

namespace qkshost::drawing::detail {

void appendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

void appendValidUtf8(std::string_view in, std::string& out) {
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    std::size_t n = in.size(), i = 0;
    while (i < n) {
        unsigned char c = s[i];
        if (c < 0x80) {
            out += char(c);
            ++i;
            continue;
        }
        int len = 0;
        char32_t cp = 0, min = 0;
        if ((c & 0xE0) == 0xC0)
            len = 2, cp = c & 0x1F, min = 0x80;
        else if ((c & 0xF0) == 0xE0)
            len = 3, cp = c & 0x0F, min = 0x800;
        else if ((c & 0xF8) == 0xF0)
            len = 4, cp = c & 0x07, min = 0x10000;
        bool ok = len > 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (ok && cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
            out.append(in.data() + i, len);
            i += len;
        } else {
            appendUtf8(out, 0xFFFD);
            ++i;
        }
    }
}

TextDecoder::~TextDecoder() {
    if (cd_ != iconv_t(-1)) iconv_close(cd_);
    for (auto& c : mbcs_)
        if (c != iconv_t(-1)) iconv_close(c);
}

iconv_t TextDecoder::open(const char* charset) {
    return iconv_open("UTF-8", charset);
}

void TextDecoder::setCodePage(std::string_view cp, bool utf8) {
    utf8_ = utf8;
    if (cd_ != iconv_t(-1)) iconv_close(cd_);
    cd_ = iconv_t(-1);
    if (utf8) return;
    std::string upper;
    for (char c : cp)
        upper += (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    std::string name;
    if (upper == "ANSI_936" || upper == "GBK" || upper == "GB2312")
        name = "GBK";
    else if (upper == "ANSI_950" || upper == "BIG5")
        name = "CP950";
    else if (upper.rfind("ANSI_", 0) == 0)
        name = "CP" + upper.substr(5);
    else if (upper.rfind("DOS", 0) == 0)
        name = "CP" + upper.substr(3);
    else if (upper.rfind("ISO8859-", 0) == 0)
        name = "ISO-8859-" + upper.substr(8);
    else
        name = "CP1252";
    cd_ = open(name.c_str());
    if (cd_ == iconv_t(-1)) cd_ = open("CP1252");
}

void TextDecoder::convertRun(std::string_view run, iconv_t cd, std::string& out) {
    if (run.empty()) return;
    if (cd == iconv_t(-1)) {
        appendValidUtf8(run, out);
        return;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(run.data());
    std::size_t inLeft = run.size();
    char buf[1024];
    while (inLeft > 0) {
        char* o = buf;
        std::size_t outLeft = sizeof buf;
        std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
        out.append(buf, o - buf);
        if (r == std::size_t(-1)) {
            if (errno == E2BIG) continue;
            // invalid or incomplete byte: replace it and go on
            appendUtf8(out, 0xFFFD);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

namespace {
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
bool hex4(std::string_view s, std::size_t at, unsigned& v) {
    if (at + 4 > s.size()) return false;
    v = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        int h = hexValue(s[at + k]);
        if (h < 0) return false;
        v = v * 16 + unsigned(h);
    }
    return true;
}
}  // namespace

void TextDecoder::decode(std::string_view raw, std::string& out) {
    // fast path: plain ASCII without escapes
    bool plain = true;
    for (char c : raw)
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\\') {
            plain = false;
            break;
        }
    if (plain) {
        out.append(raw);
        return;
    }
    std::size_t runStart = 0, i = 0;
    auto flush = [&](std::size_t upto) {
        std::string_view run = raw.substr(runStart, upto - runStart);
        if (utf8_)
            appendValidUtf8(run, out);
        else
            convertRun(run, cd_, out);
    };
    while (i < raw.size()) {
        if (raw[i] == '\\' && i + 2 < raw.size() && raw[i + 2] == '+' &&
            (raw[i + 1] == 'U' || raw[i + 1] == 'u')) {
            unsigned v;
            if (hex4(raw, i + 3, v)) {
                flush(i);
                char32_t cp = v;
                std::size_t next = i + 7;
                // surrogate pair written as two escapes
                unsigned lo;
                if (v >= 0xD800 && v <= 0xDBFF && next + 7 <= raw.size() && raw[next] == '\\' &&
                    (raw[next + 1] == 'U' || raw[next + 1] == 'u') && raw[next + 2] == '+' &&
                    hex4(raw, next + 3, lo) && lo >= 0xDC00 && lo <= 0xDFFF) {
                    cp = 0x10000 + ((v - 0xD800) << 10) + (lo - 0xDC00);
                    next += 7;
                }
                appendUtf8(out, cp);
                i = runStart = next;
                continue;
            }
        }
        if (raw[i] == '\\' && i + 3 < raw.size() && (raw[i + 1] == 'M' || raw[i + 1] == 'm') &&
            raw[i + 2] == '+' && raw[i + 3] >= '1' && raw[i + 3] <= '5') {
            unsigned v;
            if (hex4(raw, i + 4, v)) {
                flush(i);
                static const char* const sets[] = {"", "CP932", "CP950", "CP949", "JOHAB", "GBK"};
                int n = raw[i + 3] - '0';
                if (mbcs_[n] == iconv_t(-1)) mbcs_[n] = open(sets[n]);
                char bytes[2] = {char(v >> 8), char(v & 0xFF)};
                convertRun(std::string_view(bytes, (v >> 8) ? 2 : 1), mbcs_[n], out);
                i = runStart = i + 8;
                continue;
            }
        }
        ++i;
    }
    flush(raw.size());
}

}  // namespace qkshost::drawing::detail
