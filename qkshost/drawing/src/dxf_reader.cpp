// DXF reader: ASCII (R12 to R2018) and binary DXF from one memory buffer. Tags are views into
// the buffer; numbers are parsed with std::from_chars (locale independent). Every malformed
// input ends in one ReadError naming the line (ASCII) or byte offset (binary).
#include "qks/common/plane.h"
#include "qkshost/drawing/database.h"
#include "text_codec.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <unordered_map>

namespace qkshost::drawing {

namespace {

using qks::kPi;
constexpr double kDeg = kPi / 180.0;
constexpr double kAbsurd = 1e100;  // larger magnitudes are refused as corrupt
const char kBinarySentinel[] = "AutoCAD Binary DXF\r\n\x1a";  // followed by a NUL

struct ParseError {
    std::string message;
};

enum class ValueType { Text, Double, Int, Bool, Binary };

ValueType typeOfCode(int code) {
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

bool validCode(int code) {
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

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

struct PendingPointer {
    ObjectIndex from;
    Handle target;
};

struct DictionaryData {
    Handle handle = 0, owner = 0;
    std::vector<std::pair<std::string, Handle>> entries;
};

class Reader {
  public:
    Reader(Database& db, std::string_view data) : db_(db), tok_(data) {}

    ReadResult run(std::size_t bytes) {
        ReadResult result;
        try {
            db_.reserveObjects(bytes / 120);
            readFile();
            finish();
        } catch (const ParseError& e) {
            result.status = Status::ReadError;
            result.message = e.message;
        } catch (const std::bad_alloc&) {
            result.status = Status::ReadError;
            result.message = "DXF read error: out of memory";
        }
        result.warnings = warnings_;
        return result;
    }

  private:
    // ---------- values ----------
    [[noreturn]] void fail(const Tag& t, const std::string& what) { tok_.fail(t.pos, what); }

    double num(const Tag& t) {
        double v;
        if (t.binNumber) {
            v = t.isDouble ? t.num : double(t.inum);
        } else {
            std::string_view s = trim(t.text);
            if (!s.empty() && s.front() == '+') s.remove_prefix(1);
            auto r = std::from_chars(s.data(), s.data() + s.size(), v);
            if (r.ec == std::errc::result_out_of_range && r.ptr == s.data() + s.size())
                fail(t, "number out of range for group code " + std::to_string(t.code));
            if (r.ec != std::errc() || r.ptr != s.data() + s.size() || s.empty())
                fail(t, "invalid number '" + std::string(s.substr(0, 40)) + "' for group code " +
                            std::to_string(t.code));
        }
        if (!std::isfinite(v) || std::fabs(v) > kAbsurd)
            fail(t, "number out of range for group code " + std::to_string(t.code));
        return v;
    }
    long long integer(const Tag& t) {
        if (t.binNumber) return t.isDouble ? (long long)t.num : t.inum;
        std::string_view s = trim(t.text);
        if (!s.empty() && s.front() == '+') s.remove_prefix(1);
        long long v = 0;
        auto r = std::from_chars(s.data(), s.data() + s.size(), v);
        if (r.ec == std::errc() && r.ptr == s.data() + s.size() && !s.empty()) {
            if (v > 0x7fffffffffffLL || v < -0x7fffffffffffLL)
                fail(t, "number out of range for group code " + std::to_string(t.code));
            return v;
        }
        double d = num(t);  // some writers put integers as reals
        if (std::fabs(d) > 1e15)
            fail(t, "number out of range for group code " + std::to_string(t.code));
        return (long long)d;
    }
    int int32(const Tag& t) {
        long long v = integer(t);
        if (v > 0x7fffffff || v < -0x7fffffffLL - 1)
            fail(t, "number out of range for group code " + std::to_string(t.code));
        return int(v);
    }
    Handle handle(const Tag& t) {
        std::string_view s = trim(t.text);
        if (s.empty()) return 0;
        Handle h = 0;
        auto r = std::from_chars(s.data(), s.data() + s.size(), h, 16);
        if (r.ec != std::errc() || r.ptr != s.data() + s.size() || s.size() > 16) {
            ++warnings_;  // a bad handle is dropped, the object gets a new one
            return 0;
        }
        return h;
    }
    std::string str(const Tag& t) { return codec_.decode(t.text); }
    std::string rawText(const Tag& t) {
        if (!t.binNumber) return codec_.decode(t.text);
        char buf[40];
        if (t.isDouble) {
            std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, t.num);
            return std::string(buf, r.ptr);
        }
        std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, t.inum);
        return std::string(buf, r.ptr);
    }

    // ---------- tag collection ----------
    bool next(Tag& t) { return tok_.next(t); }
    void expectNext(Tag& t, const char* context) {
        if (!next(t))
            tok_.fail(tok_.position(), std::string("unexpected end of file in ") + context);
    }
    // After a "0 NAME" tag: the following tags up to (not including) the next group 0.
    void collect(std::vector<Tag>& out, const char* context) {
        out.clear();
        Tag t;
        while (true) {
            expectNext(t, context);
            if (t.code == 0) {
                tok_.pushBack(t);
                return;
            }
            if (t.code == 999) continue;
            out.push_back(t);
            if (out.size() > 50'000'000) fail(t, "object too large");
        }
    }
    void skipSection(const char* name) {
        Tag t;
        while (true) {
            expectNext(t, name);
            if (t.is(0, "ENDSEC")) return;
            if (t.is(0, "EOF")) fail(t, std::string("unexpected EOF in section ") + name);
        }
    }

    // ---------- top level ----------
    void readFile() {
        Tag t;
        bool eof = false;
        while (next(t)) {
            if (t.code == 999) continue;
            if (t.is(0, "EOF")) {
                eof = true;
                break;
            }
            if (!t.is(0, "SECTION")) fail(t, "expected SECTION, found '" + shown(t) + "'");
            Tag name;
            expectNext(name, "SECTION");
            if (name.code != 2) fail(name, "section without a name");
            if (name.text == "HEADER")
                readHeader();
            else if (name.text == "TABLES")
                readTables();
            else if (name.text == "BLOCKS")
                readBlocks();
            else if (name.text == "ENTITIES")
                readEntities();
            else if (name.text == "OBJECTS")
                readObjects();
            else
                skipSection("section");
        }
        if (!sawSection_) tok_.fail(tok_.position(), "no DXF sections found");
        if (!eof)
            tok_.fail(tok_.position(), "unexpected end of file (the file is truncated: no EOF)");
    }
    std::string shown(const Tag& t) {
        std::string s(t.text.substr(0, 40));
        for (char& c : s)
            if (static_cast<unsigned char>(c) < 32) c = '?';
        return std::to_string(t.code) + " " + s;
    }

    void readHeader() {
        sawSection_ = true;
        Tag t;
        std::string var;
        while (true) {
            expectNext(t, "HEADER");
            if (t.is(0, "ENDSEC")) break;
            if (t.code == 0) fail(t, "unexpected '" + shown(t) + "' in HEADER");
            if (t.code == 9) {
                var = std::string(t.text);
                continue;
            }
            if (var == "$ACADVER" && t.code == 1)
                db_.readVersion = std::string(trim(t.text));
            else if (var == "$DWGCODEPAGE" && t.code == 3)
                db_.codePage = std::string(trim(t.text));
            else if (var == "$HANDSEED" && t.code == 5)
                db_.setHandSeedAtLeast(handle(t));
            else if (var == "$INSBASE")
                setCoord(db_.insBase, t);
            else if (var == "$TILEMODE" && t.code == 70)
                db_.tileMode = integer(t) != 0;
            else if (var == "$INSUNITS" && t.code == 70)
                db_.insUnits = int32(t);
            else if (var == "$MEASUREMENT" && t.code == 70)
                db_.measurement = int32(t);
            else if (var == "$LTSCALE" && t.code == 40) {
                const double scale = num(t);
                if (scale > 0)
                    db_.linetypeScale = scale;
                else
                    ++warnings_;  // a pattern scale of zero or below draws nothing sensible
            } else if (var == "$PSLTSCALE" && t.code == 70)
                db_.paperLinetypeScale = integer(t) != 0;
            else if (var == "$CLAYER" && t.code == 8)
                clayer_ = str(t);
            else if (var == "$TEXTSTYLE" && t.code == 7)
                ctextstyle_ = str(t);
        }
        configureCodec();
    }
    void configureCodec() {
        // R2007 (AC1021) and later store UTF-8
        bool utf8 = db_.readVersion >= "AC1021" || (db_.readVersion.empty() && tok_.binary());
        codec_.setCodePage(db_.codePage, utf8);
        codecSet_ = true;
    }
    void setCoord(Point3d& p, const Tag& t) {
        int c = t.code % 10;
        double v = num(t);
        if (t.code >= 10 && t.code < 40) {
            int axis = (t.code - 10) / 10;
            (axis == 0 ? p.x : axis == 1 ? p.y : p.z) = v;
        }
        (void)c;
    }

    // ---------- tables ----------
    void readTables() {
        sawSection_ = true;
        if (!codecSet_) configureCodec();
        Tag t;
        while (true) {
            expectNext(t, "TABLES");
            if (t.is(0, "ENDSEC")) return;
            if (!t.is(0, "TABLE")) fail(t, "expected TABLE, found '" + shown(t) + "'");
            collect(buf_, "TABLE");
            std::string name;
            Handle h = 0;
            for (auto& g : buf_) {
                if (g.code == 2 && name.empty())
                    name = std::string(g.text);
                else if (g.code == 5)
                    h = handle(g);
            }
            int slot = tableSlot(name);
            if (slot >= 0 && h) db_.tableHandles[slot] = h;
            while (true) {
                expectNext(t, "TABLE");
                if (t.is(0, "ENDTAB")) break;
                if (t.code != 0) fail(t, "unexpected '" + shown(t) + "' in table");
                if (t.is(0, "ENDSEC") || t.is(0, "EOF"))
                    fail(t, "table " + name + " without ENDTAB");
                std::string_view type = t.text;
                collect(buf_, "table record");
                if (type == "LAYER")
                    readLayer();
                else if (type == "STYLE")
                    readStyle();
                else if (type == "LTYPE")
                    readLtype();
                else if (type == "BLOCK_RECORD")
                    readBlockRecord();
                else if (type == "DIMSTYLE")
                    readDimStyle();
                else if (type == "APPID")
                    readAppId();
            }
        }
    }
    static int tableSlot(const std::string& name) {
        static const char* const names[] = {"VPORT", "LTYPE", "LAYER",    "STYLE",       "VIEW",
                                            "UCS",   "APPID", "DIMSTYLE", "BLOCK_RECORD"};
        for (int i = 0; i < 9; ++i)
            if (name == names[i]) return i;
        return -1;
    }
    // Common record groups; returns false for groups the caller interprets.
    bool recordCommon(SymbolRecord& r, const Tag& g, std::size_t& i) {
        switch (g.code) {
            case 5:
            case 105:
                r.handle = handle(g);
                return true;
            case 2:
                r.name = str(g);
                return true;
            case 70:
                r.flags = int32(g);
                return true;
            case 330:
            case 100:
                return true;
            case 102:
                skipGroup(i);
                return true;
            default:
                return false;
        }
    }
    void skipGroup(std::size_t& i) {
        if (!buf_[i].text.empty() && buf_[i].text[0] == '{')
            while (i + 1 < buf_.size() && buf_[i + 1].code != 102)
                ++i;
        if (i + 1 < buf_.size() && buf_[i + 1].code == 102) ++i;
    }
    ObjectIndex addRecord(std::unique_ptr<SymbolRecord> r, ObjectIndex existing) {
        if (r->name.empty()) {
            ++warnings_;
            return 0;
        }
        if (existing) {  // duplicate name: the first record wins
            ++warnings_;
            return 0;
        }
        ObjectIndex i = db_.add(std::move(r));
        db_.addToTable(i);
        return i;
    }
    void readLayer() {
        auto l = std::make_unique<LayerRecord>();
        std::string ltype;
        for (std::size_t i = 0; i < buf_.size(); ++i) {
            const Tag& g = buf_[i];
            if (recordCommon(*l, g, i)) continue;
            switch (g.code) {
                case 62: {
                    int c = int32(g);
                    l->off = c < 0;
                    l->color = std::abs(c);
                    if (l->color < 1 || l->color > 255) l->color = 7;
                    break;
                }
                case 6:
                    ltype = str(g);
                    break;
                case 290:
                    l->plot = integer(g) != 0;
                    break;
                case 370:
                    l->lineweight = int32(g);
                    break;
                case 420:
                    l->trueColor = int32(g);
                    break;
                case 1001:
                    i = buf_.size();
                    break;
                default:
                    break;
            }
        }
        ObjectIndex existing = db_.findLayer(l->name);
        auto* raw = l.get();
        if (ObjectIndex idx = addRecord(std::move(l), existing)) {
            (void)idx;
            pendingLayerLtype_.push_back({raw->self, std::move(ltype)});
        }
    }
    void readStyle() {
        auto s = std::make_unique<TextStyleRecord>();
        bool acadXdata = false;
        for (std::size_t i = 0; i < buf_.size(); ++i) {
            const Tag& g = buf_[i];
            if (g.code == 1001) {
                acadXdata = g.text == "ACAD";
                continue;
            }
            if (g.code >= 1000) {
                if (acadXdata && g.code == 1000) s->typeface = str(g);
                if (acadXdata && g.code == 1071) {
                    long long f = integer(g);
                    s->pitchAndFamily = int(f & 0xff);
                    s->charset = int((f >> 8) & 0xff);
                    s->italic = (f & 0x01000000) != 0;
                    s->bold = (f & 0x02000000) != 0;
                }
                continue;
            }
            if (recordCommon(*s, g, i)) continue;
            switch (g.code) {
                case 3:
                    s->fontFile = str(g);
                    break;
                case 4:
                    s->bigFont = str(g);
                    break;
                case 40:
                    s->height = num(g);
                    break;
                case 41:
                    s->widthFactor = num(g);
                    break;
                case 42:
                    s->lastHeight = num(g);
                    break;
                case 50:
                    s->oblique = num(g);
                    break;
                case 71:
                    s->generation = int32(g);
                    break;
                default:
                    break;
            }
        }
        if (s->name.empty() && (s->flags & 1)) return;  // shape file entry, not a text style
        ObjectIndex existing = db_.findTextStyle(s->name);
        addRecord(std::move(s), existing);
    }
    void readLtype() {
        auto l = std::make_unique<LinetypeRecord>();
        std::vector<Handle> styleRefs;
        for (std::size_t i = 0; i < buf_.size(); ++i) {
            const Tag& g = buf_[i];
            if (g.code == 1001) break;
            if (recordCommon(*l, g, i)) continue;
            LinetypeElement* e = l->elements.empty() ? nullptr : &l->elements.back();
            switch (g.code) {
                case 3:
                    l->description = str(g);
                    break;
                case 40:
                    l->patternLength = num(g);
                    break;
                case 49:
                    if (l->elements.size() > 1000) fail(g, "too many linetype elements");
                    l->elements.push_back({});
                    l->elements.back().length = num(g);
                    styleRefs.push_back(0);
                    break;
                case 74:
                    if (e) e->type = int32(g);
                    break;
                case 75:
                    if (e) e->shape = int32(g);
                    break;
                case 340:
                    if (e) styleRefs.back() = handle(g);
                    break;
                case 46:
                    if (e) e->scale = num(g);
                    break;
                case 50:
                    if (e) e->rotation = num(g) * kDeg;
                    break;
                case 44:
                    if (e) e->dx = num(g);
                    break;
                case 45:
                    if (e) e->dy = num(g);
                    break;
                case 9:
                    if (e) e->text = str(g);
                    break;
                default:
                    break;
            }
        }
        ObjectIndex existing = db_.findLinetype(l->name);
        auto* raw = l.get();
        if (addRecord(std::move(l), existing))
            for (std::size_t k = 0; k < styleRefs.size(); ++k)
                if (styleRefs[k]) pendingLtypeStyle_.push_back({raw->self, k, styleRefs[k]});
    }
    void readBlockRecord() {
        auto b = std::make_unique<BlockRecord>();
        Handle layout = 0;
        for (std::size_t i = 0; i < buf_.size(); ++i) {
            const Tag& g = buf_[i];
            if (g.code == 1001) break;
            if (recordCommon(*b, g, i)) continue;
            switch (g.code) {
                case 340:
                    layout = handle(g);
                    break;
                case 70:
                    b->units = int32(g);
                    break;
                case 280:
                    b->explodable = integer(g) != 0;
                    break;
                case 281:
                    b->scalable = integer(g) != 0;
                    break;
                default:
                    break;
            }
        }
        b->flags = 0;
        ObjectIndex existing = db_.findBlock(b->name);
        auto* raw = b.get();
        if (addRecord(std::move(b), existing) && layout)
            pendingRecordLayout_.push_back({raw->self, layout});
    }
    void readDimStyle() {
        auto d = std::make_unique<DimStyleRecord>();
        Handle textStyle = 0;
        for (std::size_t i = 0; i < buf_.size(); ++i) {
            const Tag& g = buf_[i];
            if (g.code == 1001) break;
            if (recordCommon(*d, g, i)) continue;
            if (g.code == 340) {
                textStyle = handle(g);
                continue;
            }
            if (g.code >= 300 && g.code < 370) continue;  // pointers and their kin
            if (g.code == 1 || g.code == 2 || g.code == 3 || g.code == 4 || g.code == 5 ||
                g.code == 6 || g.code == 7)
                if (g.code != 3 && g.code != 4) continue;  // only DIMBLK-free text vars kept
            if (d->values.size() > 500) fail(g, "too many dimension style groups");
            d->values.push_back({g.code, rawText(g)});
        }
        ObjectIndex existing = db_.findDimStyle(d->name);
        auto* raw = d.get();
        if (addRecord(std::move(d), existing) && textStyle)
            pendingDimText_.push_back({raw->self, textStyle});
    }
    void readAppId() {
        auto a = std::make_unique<AppIdRecord>();
        for (std::size_t i = 0; i < buf_.size(); ++i)
            recordCommon(*a, buf_[i], i);
        ObjectIndex existing = db_.findAppId(a->name);
        addRecord(std::move(a), existing);
    }

    // ---------- blocks ----------
    void readBlocks() {
        sawSection_ = true;
        if (!codecSet_) configureCodec();
        Tag t;
        while (true) {
            expectNext(t, "BLOCKS");
            if (t.is(0, "ENDSEC")) return;
            if (!t.is(0, "BLOCK")) fail(t, "expected BLOCK, found '" + shown(t) + "'");
            std::size_t blockLine = t.pos;
            collect(buf_, "BLOCK");
            std::string name, xref, desc;
            Handle h = 0;
            Point3d base;
            int flags = 0;
            for (auto& g : buf_) {
                switch (g.code) {
                    case 2:
                        name = str(g);
                        break;
                    case 3:
                        if (name.empty()) name = str(g);
                        break;
                    case 5:
                        h = handle(g);
                        break;
                    case 70:
                        flags = int32(g);
                        break;
                    case 1:
                        xref = str(g);
                        break;
                    case 4:
                        desc = str(g);
                        break;
                    case 10:
                        base.x = num(g);
                        break;
                    case 20:
                        base.y = num(g);
                        break;
                    case 30:
                        base.z = num(g);
                        break;
                    default:
                        break;
                }
            }
            if (name.empty()) tok_.fail(blockLine, "BLOCK without a name");
            ObjectIndex rec = db_.findBlock(name);
            if (rec && blocksSeen_.count(rec)) {
                ++warnings_;  // second definition of a name: its entities go to a fresh block
                rec = 0;
                name += "_" + std::to_string(++dupBlocks_);
            }
            if (!rec) {
                auto b = std::make_unique<BlockRecord>();
                b->name = name;
                rec = db_.add(std::move(b));
                db_.addToTable(rec);
            }
            blocksSeen_[rec] = true;
            auto* br = db_.get<BlockRecord>(rec);
            br->base = base;
            br->flags = flags;
            br->xrefPath = xref;
            br->description = desc;
            br->beginHandle = claimHandle(h);
            while (true) {
                expectNext(t, "BLOCK");
                if (t.is(0, "ENDBLK")) break;
                if (t.code != 0) fail(t, "unexpected '" + shown(t) + "' in block");
                if (t.is(0, "ENDSEC") || t.is(0, "EOF") || t.is(0, "BLOCK"))
                    fail(t, "block " + name + " without ENDBLK");
                readEntity(t, rec);
            }
            collect(buf_, "ENDBLK");
            Handle eh = 0;
            for (auto& g : buf_)
                if (g.code == 5) eh = handle(g);
            br->endHandle = claimHandle(eh);
        }
    }
    // Block begin/end markers are not objects of the model: their handles are reserved.
    Handle claimHandle(Handle h) {
        if (h && !db_.indexFromHandle(h) && !claimed_.count(h)) {
            claimed_[h] = true;
            db_.setHandSeedAtLeast(h + 1);
            return h;
        }
        return 0;
    }

    // ---------- entities ----------
    void readEntities() {
        sawSection_ = true;
        if (!codecSet_) configureCodec();
        Tag t;
        while (true) {
            expectNext(t, "ENTITIES");
            if (t.is(0, "ENDSEC")) return;
            if (t.code != 0) fail(t, "unexpected '" + shown(t) + "' in ENTITIES");
            if (t.is(0, "EOF")) fail(t, "unexpected EOF in ENTITIES");
            readEntity(t, 0);
        }
    }

    struct Common {
        bool paperSpace = false;
        std::size_t tailStart = 0;  // first tag of the type's own data
        std::size_t xdataStart = 0;
        bool markers = false;
    };

    // Parses the common entity groups from buf_ into e; records where the type's own groups
    // start (R2000+: the first subclass marker after AcDbEntity) and where xdata starts.
    Common parseCommon(Entity& e) {
        Common c;
        c.xdataStart = buf_.size();
        bool inCommon = true;
        c.tailStart = buf_.size();
        for (std::size_t i = 0; i < buf_.size(); ++i) {
            const Tag& g = buf_[i];
            if (g.code >= 1000) {
                c.xdataStart = i;
                break;
            }
            if (g.code == 100) {
                c.markers = true;
                if (g.text != "AcDbEntity" && inCommon) {
                    inCommon = false;
                    c.tailStart = i;
                }
                continue;
            }
            if (!inCommon) continue;
            switch (g.code) {
                case 5:
                    e.handle = handle(g);
                    break;
                case 8:
                    e.layer = layerFor(g.text);
                    break;
                case 6:
                    e.linetype = linetypeFor(g.text);
                    break;
                case 62: {
                    int v = int32(g);
                    e.color = std::int16_t(v < -257 || v > 257 ? 256 : v);
                    break;
                }
                case 370:
                    e.lineweight = std::int16_t(std::max(-3, std::min(211, int32(g))));
                    break;
                case 420:
                    e.trueColor = int32(g);
                    break;
                case 48:
                    e.linetypeScale = num(g);
                    break;
                case 60:
                    e.invisible = integer(g) != 0;
                    break;
                case 67:
                    c.paperSpace = integer(g) != 0;
                    break;
                case 102:
                    skipGroup(i);
                    break;
                default:
                    break;
            }
        }
        if (!c.markers) c.tailStart = 0;
        if (c.xdataStart < buf_.size()) {
            for (std::size_t i = c.xdataStart; i < buf_.size(); ++i) {
                if (buf_[i].code == 1001) db_.ensureAppId(str(buf_[i]));
                e.xdata.push_back({buf_[i].code, rawText(buf_[i])});
            }
        }
        return c;
    }
    static bool commonCode(int code) {
        return code == 5 || code == 8 || code == 6 || code == 62 || code == 370 || code == 420 ||
               code == 48 || code == 60 || code == 67 || code == 330 || code == 100 ||
               code == 410 || code == 347 || code == 390 || code == 440 || code == 284;
    }

    ObjectIndex layerFor(std::string_view raw) {
        if (raw == lastLayerRaw_ && lastLayer_) return lastLayer_;
        auto it = layerCache_.find(raw);
        ObjectIndex idx;
        if (it != layerCache_.end()) {
            idx = it->second;
        } else {
            std::string name = codec_.decode(trim(raw));
            idx = db_.findLayer(name);
            if (!idx) {
                if (db_.addLayer(name, 7, &idx) != Status::Ok) {
                    ++warnings_;
                    idx = db_.findLayer("0");
                    if (!idx) db_.addLayer("0", 7, &idx);
                }
            }
            layerCache_[raw] = idx;
        }
        lastLayerRaw_ = raw;
        lastLayer_ = idx;
        return idx;
    }
    ObjectIndex linetypeFor(std::string_view raw) {
        std::string name = codec_.decode(trim(raw));
        if (equalsNoCase(name, "BYLAYER")) return 0;
        ObjectIndex i = db_.findLinetype(name);
        if (!i) ++warnings_;  // unknown linetype: drawn ByLayer
        return i;
    }
    ObjectIndex styleFor(const Tag& g) {
        if (g.text == lastStyleRaw_ && lastStyle_) return lastStyle_;
        lastStyleRaw_ = g.text;
        lastStyle_ = styleByName(g);
        return lastStyle_;
    }
    ObjectIndex styleByName(const Tag& g) {
        std::string name = str(g);
        ObjectIndex i = db_.findTextStyle(name);
        if (!i) {
            ++warnings_;
            i = db_.findTextStyle("Standard");
            if (!i) db_.addTextStyle("Standard", "txt", &i);
        }
        return i;
    }

    ObjectIndex place(std::unique_ptr<Entity> e, ObjectIndex block, const Common& c) {
        if (!block) {
            if (c.paperSpace) {
                block = db_.findBlock("*Paper_Space");
                if (!block) db_.addBlock("*Paper_Space", &block);
            } else {
                block = db_.findBlock("*Model_Space");
                if (!block) db_.addBlock("*Model_Space", &block);
            }
        }
        if (!e->layer) e->layer = layerFor("0");
        e->owner = block;
        Handle h = e->handle;
        if (h && (db_.indexFromHandle(h) || claimed_.count(h))) {
            ++warnings_;  // duplicate handle: the later object gets a fresh one
            e->handle = 0;
        }
        ObjectIndex i = db_.add(std::move(e));
        db_.get<BlockRecord>(block)->entities.push_back(i);
        return i;
    }
    ObjectIndex addOwned(std::unique_ptr<Entity> e, ObjectIndex owner) {
        if (!e->layer) e->layer = layerFor("0");
        e->owner = owner;
        if (e->handle && (db_.indexFromHandle(e->handle) || claimed_.count(e->handle))) {
            ++warnings_;
            e->handle = 0;
        }
        return db_.add(std::move(e));
    }

    void readEntity(const Tag& head, ObjectIndex block) {
        std::string_view type = head.text;
        std::size_t line = head.pos;
        for (const char* reserved :
             {"SECTION", "ENDSEC", "TABLE", "ENDTAB", "BLOCK", "ENDBLK", "EOF", "CLASS"})
            if (type == reserved) tok_.fail(line, "unexpected " + std::string(type));
        if (type.find('\0') != std::string_view::npos) tok_.fail(line, "invalid entity type");
        collect(buf_, "entity");
        if (type == "LINE")
            line_(block);
        else if (type == "CIRCLE" || type == "ARC")
            circle(block, type == "ARC");
        else if (type == "ELLIPSE")
            ellipse(block);
        else if (type == "LWPOLYLINE")
            lwpolyline(block);
        else if (type == "POLYLINE")
            polyline(block);
        else if (type == "SPLINE")
            spline(block);
        else if (type == "POINT")
            point(block);
        else if (type == "TEXT")
            text<Text>(block);
        else if (type == "ATTDEF")
            text<AttributeDefinition>(block);
        else if (type == "MTEXT")
            mtext(block);
        else if (type == "INSERT")
            insert(block);
        else if (type == "SOLID")
            solid(block);
        else if (type == "HATCH")
            hatch(block);
        else if (type == "DIMENSION")
            dimension(block);
        else if (type == "VIEWPORT")
            viewport(block);
        else if (type == "VERTEX" || type == "SEQEND" || type == "ATTRIB") {
            ++warnings_;  // stray sequence member outside its owner: dropped
        } else {
            if (type.empty()) tok_.fail(line, "entity without a type");
            unknown(std::string(type), block);
        }
    }

    static Point3d& pt(Point3d& p) { return p; }
    // coordinate groups base, base+10, base+20 into p
    bool coord(const Tag& g, int base, Point3d& p) {
        if (g.code == base)
            p.x = num(g);
        else if (g.code == base + 10)
            p.y = num(g);
        else if (g.code == base + 20)
            p.z = num(g);
        else
            return false;
        return true;
    }
    bool planar(PlanarEntity& e, const Tag& g) {
        if (g.code == 39)
            e.thickness = num(g);
        else if (g.code == 210)
            e.extrusion.x = num(g);
        else if (g.code == 220)
            e.extrusion.y = num(g);
        else if (g.code == 230)
            e.extrusion.z = num(g);
        else
            return false;
        return true;
    }
    void fixExtrusion(PlanarEntity& e) {
        double l = std::sqrt(e.extrusion.x * e.extrusion.x + e.extrusion.y * e.extrusion.y +
                             e.extrusion.z * e.extrusion.z);
        if (!(l > 1e-12)) {
            e.extrusion = {0, 0, 1};
            ++warnings_;
        } else {
            e.extrusion = {e.extrusion.x / l, e.extrusion.y / l, e.extrusion.z / l};
        }
    }
    // A group that sets one plain member of an entity: reals (scaled by `factor`, kDeg for
    // angles the file gives in degrees) and integers.
    template <class E>
    struct Field {
        int code;
        double E::*real = nullptr;
        int E::*whole = nullptr;
        double factor = 1;
        constexpr Field(int c, double E::*m, double f = 1) : code(c), real(m), factor(f) {}
        constexpr Field(int c, int E::*m) : code(c), whole(m) {}
    };
    // Sets the member the table names for `g`; false when the table has no such code.
    template <class E, class T, std::size_t N>
    bool assign(T& e, const Tag& g, const Field<E> (&table)[N]) {
        for (const Field<E>& f : table) {
            if (f.code != g.code) continue;
            if (f.real)
                static_cast<E&>(e).*f.real = num(g) * f.factor;
            else
                static_cast<E&>(e).*f.whole = int32(g);
            return true;
        }
        return false;
    }

    // iterate the type's own groups (common and xdata excluded)
    template <class F>
    void own(const Common& c, F&& f) {
        for (std::size_t i = c.tailStart; i < c.xdataStart; ++i) {
            const Tag& g = buf_[i];
            if (g.code == 102) {
                skipGroup(i);
                continue;
            }
            if (!c.markers && commonCode(g.code)) continue;
            if (g.code == 100 || g.code == 330) continue;
            if (!f(g)) break;
        }
    }

    void line_(ObjectIndex block) {
        auto e = std::make_unique<Line>();
        Common c = parseCommon(*e);
        own(c, [&](const Tag& g) {
            coord(g, 10, e->start) || coord(g, 11, e->end) || planar(*e, g);
            return true;
        });
        fixExtrusion(*e);
        place(std::move(e), block, c);
    }
    void circle(ObjectIndex block, bool arc) {
        std::unique_ptr<Curve> e;
        Point3d center;
        double r = 0, a0 = 0, a1 = 0;
        if (arc)
            e = std::make_unique<Arc>();
        else
            e = std::make_unique<Circle>();
        Common c = parseCommon(*e);
        own(c, [&](const Tag& g) {
            if (coord(g, 10, center) || planar(*e, g)) return true;
            if (g.code == 40)
                r = num(g);
            else if (g.code == 50)
                a0 = num(g);
            else if (g.code == 51)
                a1 = num(g);
            return true;
        });
        fixExtrusion(*e);
        if (arc) {
            auto* a = static_cast<Arc*>(e.get());
            a->center = center;
            a->radius = r;
            a->startAngle = a0 * kDeg;
            a->endAngle = a1 * kDeg;
        } else {
            auto* ci = static_cast<Circle*>(e.get());
            ci->center = center;
            ci->radius = r;
        }
        place(std::move(e), block, c);
    }
    void ellipse(ObjectIndex block) {
        auto e = std::make_unique<Ellipse>();
        Common c = parseCommon(*e);
        Point3d major{1, 0, 0};
        own(c, [&](const Tag& g) {
            static constexpr Field<Ellipse> kFields[] = {
                {40, &Ellipse::ratio}, {41, &Ellipse::startParam}, {42, &Ellipse::endParam}};
            coord(g, 10, e->center) || coord(g, 11, major) || planar(*e, g) ||
                assign(*e, g, kFields);
            return true;
        });
        e->majorAxis = {major.x, major.y, major.z};
        fixExtrusion(*e);
        if (!(e->ratio > 1e-9) || e->ratio > 1.0 + 1e-9) {
            ++warnings_;
            e->ratio = std::min(1.0, std::max(1e-6, std::fabs(e->ratio)));
        }
        place(std::move(e), block, c);
    }
    void lwpolyline(ObjectIndex block) {
        auto e = std::make_unique<LwPolyline>();
        Common c = parseCommon(*e);
        own(c, [&](const Tag& g) {
            if (planar(*e, g)) return true;
            LwVertex* v = e->vertices.empty() ? nullptr : &e->vertices.back();
            switch (g.code) {
                case 10:
                    e->vertices.push_back({});
                    e->vertices.back().x = num(g);
                    if (e->hasConstantWidth)
                        e->vertices.back().startWidth = e->vertices.back().endWidth =
                            e->constantWidth;
                    break;
                case 20:
                    if (v) v->y = num(g);
                    break;
                case 40:
                    if (v) v->startWidth = num(g);
                    break;
                case 41:
                    if (v) v->endWidth = num(g);
                    break;
                case 42:
                    if (v) v->bulge = num(g);
                    break;
                case 43:
                    e->constantWidth = num(g);
                    e->hasConstantWidth = true;
                    break;
                case 38:
                    e->elevation = num(g);
                    break;
                case 90:  // vertex count: a hint only, bounded by the groups present
                    e->vertices.reserve(std::min<std::size_t>(std::max(0, int32(g)), buf_.size()));
                    break;
                case 70:
                    e->flags = int32(g);
                    break;
                default:
                    break;
            }
            return true;
        });
        fixExtrusion(*e);
        place(std::move(e), block, c);
    }
    void polyline(ObjectIndex block) {
        auto e = std::make_unique<Polyline>();
        Common c = parseCommon(*e);
        own(c, [&](const Tag& g) {
            static constexpr Field<Polyline> kFields[] = {
                {30, &Polyline::elevation}, {70, &Polyline::flags},   {40, &Polyline::startWidth},
                {41, &Polyline::endWidth},  {71, &Polyline::meshM},   {72, &Polyline::meshN},
                {73, &Polyline::smoothM},   {74, &Polyline::smoothN}, {75, &Polyline::curveType}};
            planar(*e, g) || assign(*e, g, kFields);
            return true;
        });
        fixExtrusion(*e);
        ObjectIndex pl = place(std::move(e), block, c);
        Tag t;
        while (true) {
            expectNext(t, "POLYLINE");
            if (t.is(0, "VERTEX")) {
                collect(buf_, "VERTEX");
                auto v = std::make_unique<Vertex>();
                Common vc = parseCommon(*v);
                own(vc, [&](const Tag& g) {
                    static constexpr Field<Vertex> kFields[] = {{40, &Vertex::startWidth},
                                                                {41, &Vertex::endWidth},
                                                                {42, &Vertex::bulge},
                                                                {50, &Vertex::tangent, kDeg},
                                                                {70, &Vertex::flags}};
                    if (coord(g, 10, v->position) || assign(*v, g, kFields)) return true;
                    switch (g.code) {
                        case 71:
                        case 72:
                        case 73:
                        case 74:
                            v->faces[g.code - 71] = int32(g);
                            break;
                        default:
                            break;
                    }
                    return true;
                });
                ObjectIndex vi = addOwned(std::move(v), pl);
                db_.get<Polyline>(pl)->vertices.push_back(vi);
            } else if (t.is(0, "SEQEND")) {
                collect(buf_, "SEQEND");
                auto s = std::make_unique<SeqEnd>();
                parseCommon(*s);
                db_.get<Polyline>(pl)->seqEnd = addOwned(std::move(s), pl);
                return;
            } else {
                // a polyline without SEQEND: end it here
                ++warnings_;
                tok_.pushBack(t);
                auto s = std::make_unique<SeqEnd>();
                db_.get<Polyline>(pl)->seqEnd = addOwned(std::move(s), pl);
                return;
            }
        }
    }
    void spline(ObjectIndex block) {
        auto e = std::make_unique<Spline>();
        Common c = parseCommon(*e);
        Point3d st, et;
        own(c, [&](const Tag& g) {
            static constexpr Field<Spline> kFields[] = {{70, &Spline::flags},
                                                        {71, &Spline::degree},
                                                        {42, &Spline::knotTolerance},
                                                        {43, &Spline::controlTolerance},
                                                        {44, &Spline::fitTolerance}};
            if (assign(*e, g, kFields)) return true;
            switch (g.code) {
                case 210:
                    e->normal.x = num(g);
                    break;
                case 220:
                    e->normal.y = num(g);
                    break;
                case 230:
                    e->normal.z = num(g);
                    break;
                case 40:
                    e->knots.push_back(num(g));
                    break;
                case 41:
                    e->weights.push_back(num(g));
                    break;
                case 10:
                    e->controlPoints.push_back({num(g), 0, 0});
                    break;
                case 20:
                    if (!e->controlPoints.empty()) e->controlPoints.back().y = num(g);
                    break;
                case 30:
                    if (!e->controlPoints.empty()) e->controlPoints.back().z = num(g);
                    break;
                case 11:
                    e->fitPoints.push_back({num(g), 0, 0});
                    break;
                case 21:
                    if (!e->fitPoints.empty()) e->fitPoints.back().y = num(g);
                    break;
                case 31:
                    if (!e->fitPoints.empty()) e->fitPoints.back().z = num(g);
                    break;
                case 12:
                    st.x = num(g);
                    e->hasStartTangent = true;
                    break;
                case 22:
                    st.y = num(g);
                    break;
                case 32:
                    st.z = num(g);
                    break;
                case 13:
                    et.x = num(g);
                    e->hasEndTangent = true;
                    break;
                case 23:
                    et.y = num(g);
                    break;
                case 33:
                    et.z = num(g);
                    break;
                default:
                    break;
            }
            return true;
        });
        e->startTangent = {st.x, st.y, st.z};
        e->endTangent = {et.x, et.y, et.z};
        if (e->degree < 1 || e->degree > 25) {
            ++warnings_;
            e->degree = std::max(1, std::min(25, e->degree));
        }
        if (!e->weights.empty() && e->weights.size() != e->controlPoints.size()) {
            ++warnings_;
            e->weights.clear();
        }
        place(std::move(e), block, c);
    }
    void point(ObjectIndex block) {
        auto e = std::make_unique<PointEntity>();
        Common c = parseCommon(*e);
        own(c, [&](const Tag& g) {
            if (coord(g, 10, e->position) || planar(*e, g)) return true;
            if (g.code == 50) e->angle = num(g) * kDeg;
            return true;
        });
        fixExtrusion(*e);
        place(std::move(e), block, c);
    }
    // TEXT, ATTDEF, ATTRIB. Returns the parsed entity (ATTRIB is placed by the caller).
    template <class T>
    std::unique_ptr<T> parseText(Common& c) {
        auto e = std::make_unique<T>();
        c = parseCommon(*e);
        constexpr bool isAttr = !std::is_same<T, Text>::value;
        bool ownSection = true;
        own(c, [&](const Tag& g) {
            if (g.code == 101) {  // embedded multiline attribute data follows
                ownSection = false;
                return false;
            }
            if (coord(g, 10, e->position) || planar(*e, g)) return true;
            if (coord(g, 11, e->alignment)) {
                e->hasAlignment = true;
                return true;
            }
            static constexpr Field<TextBase> kFields[] = {
                {40, &TextBase::height},         {41, &TextBase::widthFactor},
                {50, &TextBase::rotation, kDeg}, {51, &TextBase::oblique, kDeg},
                {71, &TextBase::generation},     {72, &TextBase::hAlign}};
            if (assign(*e, g, kFields)) return true;
            switch (g.code) {
                case 1:
                    e->text = str(g);
                    break;
                case 7:
                    e->style = styleFor(g);
                    break;
                case 73:
                    if constexpr (isAttr)
                        static_cast<T&>(*e).fieldLength = int32(g);
                    else
                        e->vAlign = int32(g);
                    break;
                case 74:
                    if constexpr (isAttr) e->vAlign = int32(g);
                    break;
                default:
                    if constexpr (isAttr) {
                        if (g.code == 2)
                            e->tag = str(g);
                        else if (g.code == 70)
                            e->attribFlags = int32(g);
                        else if (g.code == 280 && false) {
                        }
                    }
                    if constexpr (std::is_same<T, AttributeDefinition>::value)
                        if (g.code == 3) e->prompt = str(g);
                    break;
            }
            return true;
        });
        (void)ownSection;
        if (!e->style) e->style = defaultStyle();
        fixExtrusion(*e);
        return e;
    }
    ObjectIndex defaultStyle() {
        ObjectIndex i = db_.findTextStyle("Standard");
        if (!i) db_.addTextStyle("Standard", "txt", &i);
        return i;
    }
    template <class T>
    void text(ObjectIndex block) {
        Common c;
        auto e = parseText<T>(c);
        place(std::move(e), block, c);
    }
    void mtext(ObjectIndex block) {
        auto e = std::make_unique<MText>();
        Common c = parseCommon(*e);
        std::string chunks;
        std::string last;
        bool hasDirection = false;
        Point3d dir;
        own(c, [&](const Tag& g) {
            if (g.code == 101) return false;
            if (coord(g, 10, e->position)) return true;
            if (coord(g, 11, dir)) {
                hasDirection = true;
                return true;
            }
            static constexpr Field<MText> kFields[] = {
                {40, &MText::height},          {41, &MText::width},
                {44, &MText::lineSpacing},     {50, &MText::rotation, kDeg},
                {71, &MText::attachment},      {72, &MText::drawingDirection},
                {73, &MText::lineSpacingStyle}};
            if (planar(*e, g) || assign(*e, g, kFields)) return true;
            switch (g.code) {
                case 1:
                    last = str(g);
                    break;
                case 3:
                    chunks += str(g);
                    break;
                case 7:
                    e->style = styleFor(g);
                    break;
                default:
                    break;
            }
            return true;
        });
        fixExtrusion(*e);
        e->text = chunks + last;
        if (hasDirection && (dir.x != 0 || dir.y != 0 || dir.z != 0)) {
            e->direction = {dir.x, dir.y, dir.z};
            e->rotation = 0;
        } else {
            // rotation angle in the OCS of the extrusion
            Vector3d ax = ocsXAxis(e->extrusion);
            Vector3d ay = cross(e->extrusion, ax);
            double cs = std::cos(e->rotation), sn = std::sin(e->rotation);
            e->direction = {ax.x * cs + ay.x * sn, ax.y * cs + ay.y * sn, ax.z * cs + ay.z * sn};
        }
        if (e->attachment < 1 || e->attachment > 9) e->attachment = 1;
        if (!e->style) e->style = defaultStyle();
        place(std::move(e), block, c);
    }
    static Vector3d cross(const Vector3d& a, const Vector3d& b) {
        return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    }
    static Vector3d ocsXAxis(const Vector3d& n) {
        Vector3d ax = (std::fabs(n.x) < 1.0 / 64 && std::fabs(n.y) < 1.0 / 64)
                          ? cross({0, 1, 0}, n)
                          : cross({0, 0, 1}, n);
        double l = std::sqrt(ax.x * ax.x + ax.y * ax.y + ax.z * ax.z);
        return {ax.x / l, ax.y / l, ax.z / l};
    }
    void insert(ObjectIndex block) {
        auto e = std::make_unique<BlockReference>();
        Common c = parseCommon(*e);
        std::string name;
        own(c, [&](const Tag& g) {
            static constexpr Field<BlockReference> kFields[] = {
                {41, &BlockReference::scaleX},        {42, &BlockReference::scaleY},
                {43, &BlockReference::scaleZ},        {50, &BlockReference::rotation, kDeg},
                {44, &BlockReference::columnSpacing}, {45, &BlockReference::rowSpacing}};
            if (coord(g, 10, e->position) || planar(*e, g) || assign(*e, g, kFields)) return true;
            switch (g.code) {
                case 2:
                    name = str(g);
                    break;
                case 70:
                    e->columns = std::max(1, int32(g));
                    break;
                case 71:
                    e->rows = std::max(1, int32(g));
                    break;
                default:
                    break;
            }
            return true;
        });
        fixExtrusion(*e);
        ObjectIndex ins = place(std::move(e), block, c);
        pendingBlockNames_.push_back({ins, std::move(name)});
        Tag t;
        // attributes follow until SEQEND (the 66 flag is not trusted either way)
        bool sawAttrib = false;
        while (true) {
            expectNext(t, "INSERT");
            if (t.is(0, "ATTRIB")) {
                collect(buf_, "ATTRIB");
                Common ac;
                auto a = parseText<Attribute>(ac);
                ObjectIndex ai = addOwned(std::move(a), ins);
                db_.get<BlockReference>(ins)->attributes.push_back(ai);
                sawAttrib = true;
            } else if (t.is(0, "SEQEND") && sawAttrib) {
                collect(buf_, "SEQEND");
                auto s = std::make_unique<SeqEnd>();
                parseCommon(*s);
                db_.get<BlockReference>(ins)->seqEnd = addOwned(std::move(s), ins);
                return;
            } else {
                tok_.pushBack(t);
                if (sawAttrib) {
                    ++warnings_;
                    db_.get<BlockReference>(ins)->seqEnd =
                        addOwned(std::make_unique<SeqEnd>(), ins);
                }
                return;
            }
        }
    }
    void solid(ObjectIndex block) {
        auto e = std::make_unique<Solid>();
        Common c = parseCommon(*e);
        bool has3 = false;
        own(c, [&](const Tag& g) {
            if (coord(g, 10, e->corners[0]) || coord(g, 11, e->corners[1]) ||
                coord(g, 12, e->corners[2]) || planar(*e, g))
                return true;
            if (coord(g, 13, e->corners[3])) has3 = true;
            return true;
        });
        if (!has3) e->corners[3] = e->corners[2];
        fixExtrusion(*e);
        place(std::move(e), block, c);
    }
    // tail of a raw entity: the type's own groups, written back as read
    void fillTail(RawEntity& e, const Common& c) {
        e.r12Style = !c.markers;
        for (std::size_t i = c.tailStart; i < c.xdataStart; ++i) {
            const Tag& g = buf_[i];
            if (g.code == 102) {
                skipGroup(i);
                continue;
            }
            if (!c.markers && commonCode(g.code)) continue;
            e.tail.push_back({g.code, rawText(g)});
        }
    }
    void hatch(ObjectIndex block) {
        auto e = std::make_unique<Hatch>();
        Common c = parseCommon(*e);
        fillTail(*e, c);
        // the source-boundary links are dropped: the hatch is kept as non-associative
        RawTags clean;
        clean.reserve(e->tail.size());
        for (auto& t : e->tail) {
            if (t.code == 330) continue;
            if (t.code == 97 || t.code == 71) t.value = "0";
            clean.push_back(std::move(t));
        }
        e->tail = std::move(clean);
        parseHatch(*e, c);
        fixExtrusion(*e);
        place(std::move(e), block, c);
    }
    // Groups that readers of hatches have always taken leniently, as the C library parses
    // numbers: a bad value reads as 0 and never fails the drawing.
    double loose(const Tag& g) {
        const double v = std::strtod(rawText(g).c_str(), nullptr);
        return std::isfinite(v) ? v : 0.0;
    }
    int looseInt(const Tag& g) { return std::atoi(rawText(g).c_str()); }

    // Boundary loops and pattern of a HATCH into its structure. Groups a path leaves out keep
    // the value of the edge before (as the CAD program reads them); malformed data ends the
    // loop it is in. The geometry groups are checked as numbers like every entity's.
    void parseHatch(Hatch& e, const Common& c) {
        std::vector<const Tag*> tags;
        own(c, [&](const Tag& g) {
            tags.push_back(&g);
            return true;
        });
        const std::size_t n = tags.size();
        std::size_t i = 0;
        for (; i < n; ++i) {
            const Tag& g = *tags[i];
            if (g.code == 91) {
                ++i;
                break;
            }
            if (g.code == 10)
                (void)num(g);  // the elevation point's x and y are always zero
            else if (g.code == 30)
                e.elevation = num(g);
            else if (g.code == 2)
                e.patternName = str(g);
            else if (g.code == 70)
                e.solidFill = looseInt(g) == 1;
            else
                planar(e, g);
        }
        Point3d p10, p11;
        double r = 0, a0 = 0, a1 = 0;
        while (i < n) {
            const Tag& g = *tags[i];
            if (g.code != 92) {
                if (g.code == 75 || g.code == 76 || g.code == 98) break;  // past the paths
                ++i;
                continue;
            }
            HatchLoop loop;
            loop.flags = int32(g);
            ++i;
            if (loop.isPolyline())
                hatchPolylineLoop(tags, i, loop);
            else
                hatchEdgeLoop(tags, i, loop, p10, p11, r, a0, a1);
            while (i < n && tags[i]->code == 97)  // source-object count (the links are dropped)
                ++i;
            e.loops.push_back(std::move(loop));
        }
        hatchPattern(tags, i, e);
    }
    static bool endsHatchPath(int code) {
        return code == 92 || code == 75 || code == 76 || code == 98;
    }
    void hatchPolylineLoop(const std::vector<const Tag*>& tags, std::size_t& i, HatchLoop& loop) {
        for (; i < tags.size() && tags[i]->code != 97 && !endsHatchPath(tags[i]->code); ++i) {
            const Tag& g = *tags[i];
            auto& v = loop.vertices;
            if (g.code == 72)
                loop.hasBulge = integer(g) != 0;
            else if (g.code == 73)
                loop.closed = looseInt(g) != 0;
            else if (g.code == 10)
                v.push_back({num(g), 0, 0});
            else if (g.code == 20 && !v.empty())
                v.back().y = num(g);
            else if (g.code == 42 && !v.empty())
                v.back().bulge = num(g);
        }
    }
    void hatchEdgeLoop(const std::vector<const Tag*>& tags, std::size_t& i, HatchLoop& loop,
                       Point3d& p10, Point3d& p11, double& r, double& a0, double& a1) {
        using Type = HatchEdge::Type;
        // The plain edges take their values when the next edge starts or the path ends.
        auto finish = [&]() {
            if (loop.edges.empty()) return;
            HatchEdge& edge = loop.edges.back();
            if (edge.type == Type::Line) {
                edge.start = p10;
                edge.end = p11;
            } else if (edge.type == Type::CircularArc || edge.type == Type::EllipticArc) {
                edge.centre = p10;
                edge.majorAxis = {p11.x, p11.y, 0};
                edge.radius = r;
                edge.startAngle = a0;
                edge.endAngle = a1;
            }
        };
        const std::size_t n = tags.size();
        for (; i < n && !endsHatchPath(tags[i]->code); ++i) {
            const Tag& g = *tags[i];
            HatchEdge* edge = loop.edges.empty() ? nullptr : &loop.edges.back();
            if (g.code == 72) {
                finish();
                const int type = int32(g);
                HatchEdge next;
                next.type = type >= 1 && type <= 4 ? Type(type) : Type::Other;
                loop.edges.push_back(std::move(next));
                continue;
            }
            const bool spline = edge && edge->type == Type::Spline;
            if (g.code == 97) {
                // In a spline edge a count of fit data comes before its points, its tangents,
                // the next edge or the path's own count; otherwise the count of source
                // objects ends the path.
                const int after = i + 1 < n ? tags[i + 1]->code : 0;
                if (spline &&
                    (after == 11 || after == 12 || after == 13 || after == 97 || after == 72))
                    continue;
                break;
            }
            if (!edge) continue;
            if (spline) {
                auto& cp = edge->controlPoints;
                auto& fit = edge->fitPoints;
                switch (g.code) {
                    case 94:
                        edge->degree = looseInt(g);
                        break;
                    case 73:
                        edge->rational = looseInt(g) != 0;
                        break;
                    case 74:
                        edge->periodic = looseInt(g) != 0;
                        break;
                    case 40:
                        edge->knots.push_back(num(g));
                        break;
                    case 10:
                        cp.push_back({num(g), 0, 0});
                        break;
                    case 20:
                        if (!cp.empty()) cp.back().y = num(g);
                        break;
                    case 42:
                        edge->weights.push_back(loose(g));
                        break;
                    case 11:
                        fit.push_back({loose(g), 0, 0});
                        break;
                    case 21:
                        if (!fit.empty()) fit.back().y = loose(g);
                        break;
                    default:
                        break;
                }
                continue;
            }
            switch (g.code) {
                case 10:
                    p10.x = num(g);
                    break;
                case 20:
                    p10.y = num(g);
                    break;
                case 11:
                    p11.x = num(g);
                    break;
                case 21:
                    p11.y = num(g);
                    break;
                case 40:
                    r = num(g);
                    break;
                case 50:
                    a0 = num(g);
                    break;
                case 51:
                    a1 = num(g);
                    break;
                case 73:
                    if (edge->type == Type::CircularArc || edge->type == Type::EllipticArc)
                        edge->counterClockwise = integer(g) != 0;
                    break;
                default:
                    break;
            }
        }
        finish();
    }
    void hatchPattern(const std::vector<const Tag*>& tags, std::size_t i, Hatch& e) {
        const std::size_t n = tags.size();
        for (; i < n && tags[i]->code != 78; ++i) {
            if (tags[i]->code == 52)
                e.patternAngle = loose(*tags[i]);
            else if (tags[i]->code == 41)
                e.patternScale = loose(*tags[i]);
        }
        if (i == n) return;
        const int count = looseInt(*tags[i]);
        ++i;
        for (int k = 0; k < count && i < n && tags[i]->code == 53; ++k) {
            HatchPatternLine line;
            line.angle = loose(*tags[i++]);
            int dashes = 0;
            for (; i < n && tags[i]->code != 53; ++i) {
                const Tag& g = *tags[i];
                if (g.code == 43)
                    line.base.x = loose(g);
                else if (g.code == 44)
                    line.base.y = loose(g);
                else if (g.code == 45)
                    line.offset.x = loose(g);
                else if (g.code == 46)
                    line.offset.y = loose(g);
                else if (g.code == 79)
                    dashes = looseInt(g);
                else if (g.code == 49 && int(line.dashes.size()) < dashes)
                    line.dashes.push_back(loose(g));
                else if (g.code != 49)
                    break;  // past the pattern data
            }
            e.patternLines.push_back(std::move(line));
        }
    }
    void dimension(ObjectIndex block) {
        auto e = std::make_unique<Dimension>();
        Common c = parseCommon(*e);
        std::string name, style;
        own(c, [&](const Tag& g) {
            if (coord(g, 10, e->defPoint) || coord(g, 11, e->textMid) ||
                coord(g, 12, e->insertPoint) || coord(g, 13, e->p13) || coord(g, 14, e->p14) ||
                coord(g, 15, e->p15) || coord(g, 16, e->p16) || planar(*e, g))
                return true;
            static constexpr Field<Dimension> kFields[] = {
                {70, &Dimension::dimType},          {71, &Dimension::attachment},
                {72, &Dimension::lineSpacingStyle}, {41, &Dimension::lineSpacing},
                {42, &Dimension::measurement},      {50, &Dimension::angle, kDeg},
                {52, &Dimension::oblique, kDeg},    {53, &Dimension::textRotation, kDeg},
                {40, &Dimension::leaderLength}};
            if (assign(*e, g, kFields)) return true;
            switch (g.code) {
                case 2:
                    name = str(g);
                    break;
                case 3:
                    style = str(g);
                    break;
                case 1:
                    e->text = str(g);
                    break;
                default:
                    break;
            }
            return true;
        });
        fixExtrusion(*e);
        e->dimStyle = db_.findDimStyle(style.empty() ? "Standard" : style);
        ObjectIndex i = place(std::move(e), block, c);
        if (!name.empty()) pendingBlockNames_.push_back({i, std::move(name)});
    }
    void viewport(ObjectIndex block) {
        auto e = std::make_unique<Viewport>();
        Common c = parseCommon(*e);
        Point3d dir{0, 0, 1}, target;
        std::vector<Handle> frozen;
        own(c, [&](const Tag& g) {
            static constexpr Field<Viewport> kFields[] = {
                {40, &Viewport::width},       {41, &Viewport::height},
                {68, &Viewport::status},      {69, &Viewport::id},
                {42, &Viewport::lensLength},  {45, &Viewport::viewHeight},
                {51, &Viewport::twist, kDeg}, {90, &Viewport::flags},
                {281, &Viewport::renderMode}};
            if (coord(g, 10, e->center) || coord(g, 17, target) || coord(g, 16, dir) ||
                assign(*e, g, kFields))
                return true;
            switch (g.code) {
                case 12:
                    e->viewCenter.x = num(g);
                    break;
                case 22:
                    e->viewCenter.y = num(g);
                    break;
                case 331:  // frozen layers; older writers used 341
                case 341:
                    if (Handle h = handle(g)) frozen.push_back(h);
                    break;
                default:
                    break;
            }
            return true;
        });
        e->viewDirection = {dir.x, dir.y, dir.z};
        e->viewTarget = target;
        ObjectIndex placed = place(std::move(e), block, c);
        for (Handle h : frozen)
            pendingViewportLayer_.push_back({placed, h});
    }
    void unknown(std::string type, ObjectIndex block) {
        auto e = std::make_unique<UnknownEntity>();
        e->type = std::move(type);
        Common c = parseCommon(*e);
        fillTail(*e, c);
        for (auto& t : e->tail)
            if ((t.code >= 320 && t.code <= 369) || (t.code >= 390 && t.code <= 399) ||
                t.code == 480 || t.code == 481)
                e->hasPointers = true;
        place(std::move(e), block, c);
    }

    // ---------- objects ----------
    void readObjects() {
        sawSection_ = true;
        if (!codecSet_) configureCodec();
        Tag t;
        while (true) {
            expectNext(t, "OBJECTS");
            if (t.is(0, "ENDSEC")) return;
            if (t.code != 0) fail(t, "unexpected '" + shown(t) + "' in OBJECTS");
            if (t.is(0, "EOF")) fail(t, "unexpected EOF in OBJECTS");
            std::string_view type = t.text;
            collect(buf_, "object");
            if (type == "DICTIONARY")
                readDictionary();
            else if (type == "LAYOUT")
                readLayout();
        }
    }
    void readDictionary() {
        DictionaryData d;
        std::string key;
        for (std::size_t i = 0; i < buf_.size(); ++i) {
            const Tag& g = buf_[i];
            if (g.code == 102) {
                skipGroup(i);
                continue;
            }
            if (g.code == 5)
                d.handle = handle(g);
            else if (g.code == 330)
                d.owner = handle(g);
            else if (g.code == 3)
                key = str(g);
            else if (g.code == 350 || g.code == 360)
                d.entries.push_back({key, handle(g)});
        }
        if (dicts_.empty()) rootDict_ = d.handle;
        dicts_.push_back(std::move(d));
    }
    void readLayout() {
        auto l = std::make_unique<Layout>();
        PlotSettings& p = l->plot;
        Handle blockHandle = 0;
        int subclass = 0;  // 1 plot settings, 2 layout
        for (std::size_t i = 0; i < buf_.size(); ++i) {
            const Tag& g = buf_[i];
            if (g.code == 102) {
                skipGroup(i);
                continue;
            }
            if (g.code == 100) {
                subclass = g.text == "AcDbPlotSettings" ? 1 : g.text == "AcDbLayout" ? 2 : 0;
                continue;
            }
            if (g.code == 5) {
                l->handle = handle(g);
                continue;
            }
            if (subclass == 1) {
                switch (g.code) {
                    case 1:
                        p.pageSetupName = str(g);
                        break;
                    case 2:
                        p.device = str(g);
                        break;
                    case 4:
                        p.media = str(g);
                        break;
                    case 6:
                        p.viewName = str(g);
                        break;
                    case 7:
                        p.styleSheet = str(g);
                        break;
                    case 40:
                        p.marginLeft = num(g);
                        break;
                    case 41:
                        p.marginBottom = num(g);
                        break;
                    case 42:
                        p.marginRight = num(g);
                        break;
                    case 43:
                        p.marginTop = num(g);
                        break;
                    case 44:
                        p.paperWidth = num(g);
                        break;
                    case 45:
                        p.paperHeight = num(g);
                        break;
                    case 46:
                        p.originX = num(g);
                        break;
                    case 47:
                        p.originY = num(g);
                        break;
                    case 48:
                        p.windowMinX = num(g);
                        break;
                    case 49:
                        p.windowMinY = num(g);
                        break;
                    case 140:
                        p.windowMaxX = num(g);
                        break;
                    case 141:
                        p.windowMaxY = num(g);
                        break;
                    case 142:
                        p.numerator = num(g);
                        break;
                    case 143:
                        p.denominator = num(g);
                        break;
                    case 70:
                        p.flags = int32(g);
                        break;
                    case 72:
                        p.paperUnits = int32(g);
                        break;
                    case 73:
                        p.rotation = int32(g);
                        break;
                    case 74:
                        p.plotType = int32(g);
                        break;
                    case 75:
                        p.standardScaleType = int32(g);
                        break;
                    case 76:
                        p.shadePlotMode = int32(g);
                        break;
                    case 77:
                        p.shadePlotResolution = int32(g);
                        break;
                    case 78:
                        p.shadePlotDpi = int32(g);
                        break;
                    case 147:
                        p.scaleFactor = num(g);
                        break;
                    case 148:
                        p.imageOriginX = num(g);
                        break;
                    case 149:
                        p.imageOriginY = num(g);
                        break;
                    default:
                        break;
                }
            } else if (subclass == 2) {
                switch (g.code) {
                    case 1:
                        l->name = str(g);
                        break;
                    case 70:
                        l->layoutFlags = int32(g);
                        break;
                    case 71:
                        l->tabOrder = int32(g);
                        break;
                    case 10:
                        l->limMin.x = num(g);
                        break;
                    case 20:
                        l->limMin.y = num(g);
                        break;
                    case 11:
                        l->limMax.x = num(g);
                        break;
                    case 21:
                        l->limMax.y = num(g);
                        break;
                    case 12:
                        l->insBase.x = num(g);
                        break;
                    case 22:
                        l->insBase.y = num(g);
                        break;
                    case 32:
                        l->insBase.z = num(g);
                        break;
                    case 14:
                        l->extMin.x = num(g);
                        break;
                    case 24:
                        l->extMin.y = num(g);
                        break;
                    case 34:
                        l->extMin.z = num(g);
                        break;
                    case 15:
                        l->extMax.x = num(g);
                        break;
                    case 25:
                        l->extMax.y = num(g);
                        break;
                    case 35:
                        l->extMax.z = num(g);
                        break;
                    case 330:
                        blockHandle = handle(g);
                        break;
                    default:
                        break;
                }
            }
        }
        if (l->handle && (db_.indexFromHandle(l->handle) || claimed_.count(l->handle))) {
            ++warnings_;
            l->handle = 0;
        }
        ObjectIndex i = db_.add(std::move(l));
        layoutsRead_.push_back(i);
        if (blockHandle) pendingLayoutBlock_.push_back({i, blockHandle});
    }

    // ---------- resolving ----------
    void finish() {
        for (auto& p : pendingLayerLtype_) {
            auto* l = db_.get<LayerRecord>(p.first);
            ObjectIndex lt = db_.findLinetype(p.second);
            if (!lt && !p.second.empty()) ++warnings_;
            l->linetype = lt ? lt : 0;
        }
        for (auto& p : pendingLtypeStyle_) {
            auto* lt = db_.get<LinetypeRecord>(p.record);
            ObjectIndex s = db_.indexFromHandle(p.target);
            if (lt && p.element < lt->elements.size())
                lt->elements[p.element].style = db_.get<TextStyleRecord>(s) ? s : 0;
        }
        for (auto& p : pendingViewportLayer_) {
            auto* v = db_.get<Viewport>(p.from);
            ObjectIndex l = db_.indexFromHandle(p.target);
            if (!v) continue;
            if (!db_.get<LayerRecord>(l))
                ++warnings_;  // a frozen layer that does not exist: nothing to hide
            else if (std::find(v->frozenLayers.begin(), v->frozenLayers.end(), l) ==
                     v->frozenLayers.end())
                v->frozenLayers.push_back(l);
        }
        for (auto& p : pendingDimText_) {
            auto* d = db_.get<DimStyleRecord>(p.from);
            ObjectIndex s = db_.indexFromHandle(p.target);
            if (d && db_.get<TextStyleRecord>(s)) d->textStyle = s;
        }
        for (auto& p : pendingBlockNames_) {
            ObjectIndex b = db_.findBlock(p.second);
            if (!b) {
                ++warnings_;  // reference to a block that is not defined: an empty one stands in
                if (db_.addBlock(p.second, &b) != Status::Ok) b = 0;
            }
            Object* o = db_.object(p.first);
            if (auto* r = dynamic_cast<BlockReference*>(o))
                r->block = b;
            else if (auto* d = dynamic_cast<Dimension*>(o))
                d->block = b;
        }
        // layouts: link to block records, ordered as the layout dictionary lists them
        for (auto& p : pendingLayoutBlock_) {
            auto* l = db_.get<Layout>(p.from);
            ObjectIndex b = db_.indexFromHandle(p.target);
            if (l && db_.get<BlockRecord>(b)) l->block = b;
        }
        for (auto& p : pendingRecordLayout_) {
            auto* b = db_.get<BlockRecord>(p.from);
            ObjectIndex l = db_.indexFromHandle(p.target);
            if (b && db_.get<Layout>(l)) b->layout = l;
        }
        std::vector<ObjectIndex> order;
        const DictionaryData* root = nullptr;
        for (auto& d : dicts_)
            if (d.handle == rootDict_) root = &d;
        if (root)
            for (auto& e : root->entries)
                if (e.first == "ACAD_LAYOUT")
                    for (auto& d : dicts_)
                        if (d.handle == e.second)
                            for (auto& le : d.entries) {
                                ObjectIndex li = db_.indexFromHandle(le.second);
                                if (auto* l = db_.get<Layout>(li)) {
                                    if (l->name.empty()) l->name = le.first;
                                    order.push_back(li);
                                }
                            }
        for (ObjectIndex li : layoutsRead_)
            if (std::find(order.begin(), order.end(), li) == order.end()) order.push_back(li);
        for (ObjectIndex li : order) {
            auto* l = db_.get<Layout>(li);
            auto* b = db_.get<BlockRecord>(l->block);
            if (b && !b->layout) b->layout = li;
            if (b && b->layout == li && !l->name.empty())
                db_.addLayout(li);
            else {
                l->erased = true;
                ++warnings_;
            }
        }
        db_.ensureStructure();
        if (!clayer_.empty())
            if (ObjectIndex l = db_.findLayer(clayer_)) db_.currentLayer = l;
        if (!ctextstyle_.empty())
            if (ObjectIndex s = db_.findTextStyle(ctextstyle_)) db_.currentTextStyle = s;
        for (auto& c : claimed_)
            db_.setHandSeedAtLeast(c.first + 1);
        // begin/end markers claimed nothing: give them handles above all others
        for (ObjectIndex b : db_.blocks()) {
            auto* br = db_.get<BlockRecord>(b);
            if (!br->beginHandle) br->beginHandle = db_.newHandle();
            if (!br->endHandle) br->endHandle = db_.newHandle();
        }
    }

    struct StylePtr {
        ObjectIndex record;
        std::size_t element;
        Handle target;
    };

    Database& db_;
    Tokenizer tok_;
    detail::TextDecoder codec_;
    bool codecSet_ = false, sawSection_ = false;
    int warnings_ = 0, dupBlocks_ = 0;
    std::vector<Tag> buf_;
    std::unordered_map<std::string_view, ObjectIndex> layerCache_;
    std::string_view lastLayerRaw_, lastStyleRaw_;
    ObjectIndex lastLayer_ = 0, lastStyle_ = 0;
    std::unordered_map<Handle, bool> claimed_;
    std::unordered_map<ObjectIndex, bool> blocksSeen_;
    std::vector<std::pair<ObjectIndex, std::string>> pendingLayerLtype_, pendingBlockNames_;
    std::vector<StylePtr> pendingLtypeStyle_;
    std::vector<PendingPointer> pendingDimText_, pendingLayoutBlock_, pendingRecordLayout_,
        pendingViewportLayer_;
    std::vector<DictionaryData> dicts_;
    Handle rootDict_ = 0;
    std::vector<ObjectIndex> layoutsRead_;
    std::string clayer_, ctextstyle_;
};

}  // namespace

ReadResult readDxf(Database& db, std::string_view data) {
    if (db.objectCount() != 0)
        return {Status::InvalidInput, "DXF read error: the database is not empty", 0};
    Reader r(db, data);
    return r.run(data.size());
}

ReadResult readDxfFile(Database& db, const std::string& path) {
    // mapped, not copied: the reader only looks at the bytes once
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {Status::ReadError, "cannot open " + path + ": " + std::strerror(errno), 0};
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {Status::ReadError, "cannot read " + path + ": not a regular file", 0};
    }
    std::size_t size = static_cast<std::size_t>(st.st_size);
    if (size == 0) {
        ::close(fd);
        return readDxf(db, std::string_view());
    }
    void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED)
        return {Status::ReadError, "cannot read " + path + ": " + std::strerror(errno), 0};
    ::madvise(p, size, MADV_SEQUENTIAL);
    ReadResult r = readDxf(db, std::string_view(static_cast<const char*>(p), size));
    ::munmap(p, size);
    return r;
}

}  // namespace qkshost::drawing
