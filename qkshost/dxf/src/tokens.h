// DXF tags: the tokenizer of ASCII and binary DXF, and the value types of group codes.
// Tags are views into the file buffer; every malformed input throws one ParseError naming the
// line (ASCII) or byte offset (binary).
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>

#include "qks/common/plane.h"

namespace qkshost::dxf::detail {

using qks::kPi;
constexpr double kDeg = kPi / 180.0;
constexpr double kAbsurd = 1e100;  // larger magnitudes are refused as corrupt
const char kBinarySentinel[] = "AutoCAD Binary DXF\r\n\x1a";  // followed by a NUL

struct ParseError {
    std::string message;
};

enum class ValueType { Text, Double, Int, Bool, Binary };

inline ValueType typeOfCode(int code) {
    if (code >= 10 && code <= 59) return ValueType::Double;
    if (code >= 110 && code <= 149) return ValueType::Double;
    if (code >= 210 && code <= 239) return ValueType::Double;
    if (code >= 460 && code <= 469) return ValueType::Double;
    if (code >= 1010 && code <= 1059) return ValueType::Double;
    if ((code >= 60 && code <= 99) || (code >= 160 && code <= 179) ||
        (code >= 270 && code <= 289) || (code >= 370 && code <= 389) ||
        (code >= 400 && code <= 409) || (code >= 420 && code <= 429) ||
        (code >= 440 && code <= 459) || (code >= 1060 && code <= 1071))
        return ValueType::Int;
    if (code >= 290 && code <= 299) return ValueType::Bool;
    if ((code >= 310 && code <= 319) || code == 1004) return ValueType::Binary;
    return ValueType::Text;
}

inline bool validCode(int code) {
    return code >= -5 && code <= 1071;
}

struct Tag {
    int code = 0;
    std::string_view text;
    double num = 0;
    long long inum = 0;
    bool binNumber = false;  // value came from binary DXF as a number
    bool isDouble = false;
    std::size_t pos = 0;  // line number (ASCII) or byte offset (binary)
    bool is(int c, std::string_view t) const { return code == c && text == t; }
};

class Tokenizer {
  public:
    explicit Tokenizer(std::string_view data) : data_(data) {
        if (data_.size() >= 22 && std::memcmp(data_.data(), kBinarySentinel, 21) == 0 &&
            data_[21] == '\0') {
            binary_ = true;
            p_ = 22;
            // R12 binary files use one-byte group codes: "0" then "SECTION" follows at once
            twoByteCodes_ = p_ + 1 < data_.size() && data_[p_] == 0 && data_[p_ + 1] == 0;
        } else if (data_.size() >= 3 && std::memcmp(data_.data(), "\xEF\xBB\xBF", 3) == 0) {
            p_ = 3;
        }
    }
    bool binary() const { return binary_; }
    std::string where(std::size_t pos) const {
        return binary_ ? "byte offset " + std::to_string(pos) : "line " + std::to_string(pos);
    }
    [[noreturn]] void fail(std::size_t pos, const std::string& what) const {
        throw ParseError{"DXF read error at " + where(pos) + ": " + what};
    }
    std::size_t position() const { return binary_ ? p_ : line_; }

    bool next(Tag& t) {
        if (pushed_) {
            t = pushedTag_;
            pushed_ = false;
            return true;
        }
        return binary_ ? nextBinary(t) : nextAscii(t);
    }
    void pushBack(const Tag& t) {
        pushedTag_ = t;
        pushed_ = true;
    }
    // Keeps converted binary chunks alive for the read.
    std::deque<std::string>& scratch() { return scratch_; }

  private:
    std::string_view readLine() {
        const char* begin = data_.data() + p_;
        std::size_t left = data_.size() - p_;
        const void* nl = std::memchr(begin, '\n', left);
        std::size_t len = nl ? std::size_t(static_cast<const char*>(nl) - begin) : left;
        p_ += nl ? len + 1 : len;
        ++line_;
        if (len > 0 && begin[len - 1] == '\r') --len;
        return std::string_view(begin, len);
    }

    bool nextAscii(Tag& t) {
        // skip blank trailing lines at the very end
        if (p_ >= data_.size()) return false;
        std::string_view codeLine = readLine();
        std::size_t codeLineNo = line_;
        std::size_t a = 0, b = codeLine.size();
        while (a < b && (codeLine[a] == ' ' || codeLine[a] == '\t'))
            ++a;
        while (b > a && (codeLine[b - 1] == ' ' || codeLine[b - 1] == '\t'))
            --b;
        if (a == b && p_ >= data_.size()) return false;
        int code = 0;
        auto r = std::from_chars(codeLine.data() + a, codeLine.data() + b, code);
        if (r.ec != std::errc() || r.ptr != codeLine.data() + b || !validCode(code)) {
            if (codeLineNo == 1 && codeLine.size() >= 6 && codeLine.substr(0, 4) == "AC10")
                fail(codeLineNo, "not a DXF file: this is a DWG drawing (" +
                                     std::string(codeLine.substr(0, 6)) +
                                     "), which qkshost cannot read; save it as DXF");
            std::string shown(codeLine.substr(0, 40));
            for (char& c : shown)
                if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) >= 127)
                    c = '?';
            fail(codeLineNo, "invalid group code '" + shown + "'");
        }
        if (p_ >= data_.size()) fail(codeLineNo, "unexpected end of file after group code");
        t.code = code;
        t.text = readLine();
        t.binNumber = false;
        t.pos = codeLineNo;
        return true;
    }

    template <class T>
    T readRaw(std::size_t at) {
        T v;
        std::memcpy(&v, data_.data() + at, sizeof v);
        return v;
    }
    void need(std::size_t n) {
        if (data_.size() - p_ < n) fail(p_, "unexpected end of file");
    }

    bool nextBinary(Tag& t) {
        if (p_ >= data_.size()) return false;
        t.pos = p_;
        int code;
        if (twoByteCodes_) {
            need(2);
            code = readRaw<std::uint16_t>(p_);
            p_ += 2;
        } else {
            need(1);
            code = static_cast<unsigned char>(data_[p_++]);
            if (code == 255) {
                need(2);
                code = readRaw<std::uint16_t>(p_);
                p_ += 2;
            }
        }
        if (!validCode(code)) fail(t.pos, "invalid group code " + std::to_string(code));
        t.code = code;
        t.binNumber = false;
        t.text = {};
        switch (typeOfCode(code)) {
            case ValueType::Text: {
                const void* z = std::memchr(data_.data() + p_, 0, data_.size() - p_);
                if (!z) fail(t.pos, "unterminated string");
                std::size_t len = static_cast<const char*>(z) - (data_.data() + p_);
                t.text = data_.substr(p_, len);
                p_ += len + 1;
                break;
            }
            case ValueType::Double:
                need(8);
                t.num = readRaw<double>(p_);
                p_ += 8;
                t.binNumber = t.isDouble = true;
                break;
            case ValueType::Int: {
                bool wide32 = (code >= 90 && code <= 99) || (code >= 420 && code <= 429) ||
                              (code >= 440 && code <= 459) || code == 1071;
                bool wide64 = code >= 160 && code <= 169;
                if (!twoByteCodes_ && (code >= 60 && code <= 79)) wide32 = false;
                std::size_t n = wide64 ? 8 : wide32 ? 4 : 2;
                need(n);
                if (n == 8)
                    t.inum = readRaw<std::int64_t>(p_);
                else if (n == 4)
                    t.inum = readRaw<std::int32_t>(p_);
                else
                    t.inum = readRaw<std::int16_t>(p_);
                p_ += n;
                t.binNumber = true;
                t.isDouble = false;
                break;
            }
            case ValueType::Bool:
                need(1);
                t.inum = static_cast<unsigned char>(data_[p_++]);
                t.binNumber = true;
                t.isDouble = false;
                break;
            case ValueType::Binary: {
                need(1);
                std::size_t len = static_cast<unsigned char>(data_[p_++]);
                need(len);
                static const char hex[] = "0123456789ABCDEF";
                std::string s;
                s.reserve(len * 2);
                for (std::size_t k = 0; k < len; ++k) {
                    unsigned char c = static_cast<unsigned char>(data_[p_ + k]);
                    s += hex[c >> 4];
                    s += hex[c & 15];
                }
                p_ += len;
                scratch_.push_back(std::move(s));
                t.text = scratch_.back();
                break;
            }
        }
        return true;
    }

    std::string_view data_;
    std::size_t p_ = 0, line_ = 0;
    bool binary_ = false, twoByteCodes_ = true;
    bool pushed_ = false;
    Tag pushedTag_;
    std::deque<std::string> scratch_;
};

inline std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

}  // namespace qkshost::dxf::detail
