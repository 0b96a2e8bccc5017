#include "qkshost/drawing/text_decoder.h"

#include <cerrno>
#include <cstring>

#include "qks/common/utf8.h"

namespace qkshost::drawing {

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
    else if (upper == "KSC5601")
        name = "CP949";
    else if (upper == "JOHAB" || upper == "ANSI_1361")
        name = "JOHAB";
    else if (upper == "MACINTOSH")
        name = "MACINTOSH";
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
        qks::appendSanitizedUtf8(out, run);
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
            qks::appendUtf8(out, 0xFFFD);
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
            qks::appendSanitizedUtf8(out, run);
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
                qks::appendUtf8(out, cp);
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

}  // namespace qkshost::drawing
