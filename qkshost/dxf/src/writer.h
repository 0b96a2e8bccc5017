// The DXF writer: AC1032, UTF-8, with the structure other programs expect (HEADER, CLASSES,
// TABLES, BLOCKS, ENTITIES, OBJECTS with the root dictionary, ACAD_GROUP, ACAD_LAYOUT and
// LAYOUT objects linked both ways with their block records). Numbers use the shortest text
// that reads back to the same double. Its parts are split by section (writer.cpp: the entry
// points; writer_header.cpp: handles, HEADER and CLASSES; writer_tables.cpp; writer_blocks.cpp:
// BLOCKS, ENTITIES and the data every entity shares; writer_entities.cpp: entity kinds;
// writer_objects.cpp: dictionaries and layouts).
#pragma once

#include "qkshost/drawing/geometry.h"
#include "qkshost/dxf/dxf.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <qks/common/plane.h>

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

class Writer {
  public:
    // With a sink, the text goes out in pieces of about a megabyte instead of one string.
    Writer(const Database& db, std::string& s,
           const std::function<bool(std::string_view)>* sink = nullptr)
        : db_(db), o_(s), sink_(sink) {}

    bool run() {
        ext_ = db_.extents();
        assignHandles();
        header();
        classes();
        tables();
        blocks();
        entitiesSection();
        objects();
        o_.str(0, "EOF");
        flush(true);
        return ok_;
    }

  private:
    Handle h(ObjectIndex i) const {
        Object* o = db_.object(i);
        return o ? o->handle : 0;
    }
    Handle fresh(Handle wanted) {
        if (wanted && !db_.indexFromHandle(wanted) && !used_.count(wanted) &&
            wanted < db_.handSeed()) {
            used_.insert(wanted);
            return wanted;
        }
        return seed_++;
    }
    void assignHandles();

    void header();
    std::string nameOf(ObjectIndex i, const char* fallback);

    void classes();

    void tableHead(const char* name, int slot, std::size_t count);
    void recordHead(const char* type, const SymbolRecord& r, int slot, const char* subclass);
    template <class T>
    std::vector<const T*> live(const std::vector<ObjectIndex>& table) {
        std::vector<const T*> v;
        for (ObjectIndex i : table)
            if (auto* r = db_.get<T>(i))
                if (!r->erased) v.push_back(r);
        return v;
    }

    void tables();
    std::string lineTypeName(ObjectIndex i, const char* fallback);

    void blocks();

    void entitiesSection();

    void common(const Entity& e, bool paper, std::string_view type = {});
    void xdata(const Entity& e) {
        for (auto& t : e.xdata)
            o_.str(t.code, t.value);
    }
    void thickness(const PlanarEntity& e) {
        if (e.thickness != 0) o_.num(39, e.thickness);
    }
    void extrusion(const PlanarEntity& e) {
        if (!defaultExtrusion(e.extrusion)) o_.vec(210, e.extrusion);
    }

    void flush(bool all) {
        if (!sink_ || (!all && o_.s_.size() < (1u << 20))) return;
        if (ok_) ok_ = (*sink_)(o_.s_);
        o_.s_.clear();
    }

    void entity(ObjectIndex i, bool paper);

    // A hatch read from anything but DXF has no groups kept: it is written from its structure
    // (non-associative, normal style, angles in degrees as the structure holds them).
    void hatch(const Hatch& h, bool paper);

    void lwpolyline(const LwPolyline& p, bool paper);

    void polyline(const Polyline& p, bool paper);
    void seqend(ObjectIndex si, const Entity& owner, bool paper);

    void spline(const Spline& s, bool paper);

    void text(const TextBase& t, bool paper);
    std::string styleName(ObjectIndex s);

    void mtext(const MText& m, bool paper);

    void insert(const BlockReference& r, bool paper);

    void dimension(const Dimension& d, bool paper);

    void viewport(const Viewport& v, bool paper);

    void objects();
    void reactors(Handle owner);
    void dictionaryHead(Handle hd);
    void layout(const Layout& l);

    const Database& db_;
    Out o_;
    const std::function<bool(std::string_view)>* sink_;
    bool ok_ = true;
    Extents3d ext_;
    Handle seed_ = 1;
    std::unordered_set<Handle> used_, begin_;
    std::unordered_map<ObjectIndex, std::pair<Handle, Handle>> markers_;
    Handle tables_[9] = {};
    Handle vportRecord_ = 0, rootDict_ = 0, groupDict_ = 0, layoutDict_ = 0, plotStyleDict_ = 0,
           placeholder_ = 0;
};

}  // namespace qkshost::dxf::detail
