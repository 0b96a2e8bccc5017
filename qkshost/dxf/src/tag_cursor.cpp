#include "tag_cursor.h"

#include <cmath>

namespace qkshost::dxf::detail {

double TagCursor::num(const Tag& t) {
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

long long TagCursor::integer(const Tag& t) {
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

int TagCursor::int32(const Tag& t) {
    long long v = integer(t);
    if (v > 0x7fffffff || v < -0x7fffffffLL - 1)
        fail(t, "number out of range for group code " + std::to_string(t.code));
    return int(v);
}

Handle TagCursor::handle(const Tag& t) {
    std::string_view s = trim(t.text);
    if (s.empty()) return 0;
    Handle h = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), h, 16);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || s.size() > 16) {
        warn();  // a bad handle is dropped, the object gets a new one
        return 0;
    }
    return h;
}

std::string TagCursor::rawText(const Tag& t) {
    if (!t.binNumber) return codec_.decode(t.text);
    char buf[40];
    if (t.isDouble) {
        std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, t.num);
        return std::string(buf, r.ptr);
    }
    std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, t.inum);
    return std::string(buf, r.ptr);
}

void TagCursor::expectNext(Tag& t, const char* context) {
    if (!next(t)) tok_.fail(tok_.position(), std::string("unexpected end of file in ") + context);
}

void TagCursor::readRecord(const char* context) {
    std::vector<Tag>& out = record_;
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

void TagCursor::skipSection(const char* name) {
    Tag t;
    while (true) {
        expectNext(t, name);
        if (t.is(0, "ENDSEC")) return;
        if (t.is(0, "EOF")) fail(t, std::string("unexpected EOF in section ") + name);
    }
}

void TagCursor::skipGroup(std::size_t& i) const {
    if (!record_[i].text.empty() && record_[i].text[0] == '{')
        while (i + 1 < record_.size() && record_[i + 1].code != 102)
            ++i;
    if (i + 1 < record_.size() && record_[i + 1].code == 102) ++i;
}

std::string TagCursor::shown(const Tag& t) {
    std::string s(t.text.substr(0, 40));
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32) c = '?';
    return std::to_string(t.code) + " " + s;
}

void TagCursor::configureCodec(const Database& db) {
    // R2007 (AC1021) and later store UTF-8
    bool utf8 = db.readVersion >= "AC1021" || (db.readVersion.empty() && tok_.binary());
    codec_.setCodePage(db.codePage, utf8);
    codecSet_ = true;
}

double TagCursor::loose(const Tag& g) {
    const double v = std::strtod(rawText(g).c_str(), nullptr);
    return std::isfinite(v) ? v : 0.0;
}

}  // namespace qkshost::dxf::detail
