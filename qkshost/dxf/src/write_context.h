// What the section writers of one DXF write share: the database written, the tag output,
// the sink that takes the text in pieces, and the handles the written file uses (the
// database's own, except where two written things would share one). The Writer owns it; the
// section writers hold it by reference for the length of the write.
#pragma once

#include <charconv>
#include <cmath>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include <qks/common/plane.h>

#include "qkshost/drawing/geometry.h"
#include "qkshost/dxf/dxf.h"

namespace qkshost::dxf::detail {

// The writer reads the kernel's structures throughout, so its names are used unqualified.
using namespace qkshost::drawing;

inline constexpr double kRadToDeg = 180.0 / qks::kPi;

class Out {
  public:
    explicit Out(std::string& s) : s_(s) {}
    void code(int c) {
        char buf[8];
        auto r = std::to_chars(buf, buf + sizeof buf, c);
        std::size_t n = std::size_t(r.ptr - buf);
        if (n < 3) s_.append(3 - n, ' ');
        s_.append(buf, n);
        s_ += '\n';
    }
    void str(int c, std::string_view v) {
        code(c);
        for (char ch : v)
            s_ += (ch == '\n' || ch == '\r') ? ' ' : ch;
        s_ += '\n';
    }
    void num(int c, double v) {
        code(c);
        if (!std::isfinite(v)) v = 0;
        if (v == 0) v = 0;  // no "-0"
        char buf[40];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        std::string_view t(buf, std::size_t(r.ptr - buf));
        s_.append(t);
        if (t.find_first_of(".e") == std::string_view::npos) s_ += ".0";
        s_ += '\n';
    }
    void integer(int c, long long v) {
        code(c);
        char buf[24];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        s_.append(buf, r.ptr);
        s_ += '\n';
    }
    void handle(int c, Handle h) {
        code(c);
        char buf[20];
        auto r = std::to_chars(buf, buf + sizeof buf, h, 16);
        for (char* p = buf; p < r.ptr; ++p)
            if (*p >= 'a' && *p <= 'f') *p = char(*p - 'a' + 'A');
        s_.append(buf, r.ptr);
        s_ += '\n';
    }
    void point(int c, const Point3d& p, bool z = true) {
        num(c, p.x);
        num(c + 10, p.y);
        if (z) num(c + 20, p.z);
    }
    void vec(int c, const Vector3d& v) {
        num(c, v.x);
        num(c + 10, v.y);
        num(c + 20, v.z);
    }
    std::string& s_;
};

inline bool defaultExtrusion(const Vector3d& v) {
    return v.x == 0 && v.y == 0 && v.z == 1;
}

struct WriteContext {
    // With a sink, the text goes out in pieces of about a megabyte instead of one string.
    WriteContext(const Database& database, std::string& s,
                 const std::function<bool(std::string_view)>* sinkFn)
        : db(database), out(s), sink(sinkFn) {}

    // The handle an object is written with; 0 for none.
    Handle h(ObjectIndex i) const {
        Object* o = db.object(i);
        return o ? o->handle : 0;
    }
    // Hands the text so far to the sink: always when `all`, else once it is a megabyte.
    void flush(bool all) {
        if (!sink || (!all && out.s_.size() < (1u << 20))) return;
        if (ok) ok = (*sink)(out.s_);
        out.s_.clear();
    }
    // Settles the handles of the tables, dictionaries and block markers before anything is
    // written.
    void assignHandles();

    const Database& db;
    Out out;
    const std::function<bool(std::string_view)>* sink;
    bool ok = true;   // false once the sink refused a piece
    Extents3d ext;    // of the whole drawing, for the header and the active viewport
    Handle seed = 1;  // the next handle free for things the database has no handle for
    std::unordered_map<ObjectIndex, std::pair<Handle, Handle>> markers;  // block begin, end
    Handle tables[9] = {};
    Handle vportRecord = 0, rootDict = 0, groupDict = 0, layoutDict = 0, plotStyleDict = 0,
           placeholder = 0;

  private:
    Handle fresh(Handle wanted) {
        if (wanted && !db.indexFromHandle(wanted) && !used_.count(wanted) &&
            wanted < db.handSeed()) {
            used_.insert(wanted);
            return wanted;
        }
        return seed++;
    }

    std::unordered_set<Handle> used_, begin_;
};

}  // namespace qkshost::dxf::detail
