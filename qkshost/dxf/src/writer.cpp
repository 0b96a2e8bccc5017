// DXF writer: AC1032, UTF-8, with the structure other programs expect (HEADER, CLASSES,
// TABLES, BLOCKS, ENTITIES, OBJECTS with the root dictionary, ACAD_GROUP, ACAD_LAYOUT and
// LAYOUT objects linked both ways with their block records). Numbers use the shortest text
// that reads back to the same double.
#include "qkshost/drawing/geometry.h"
#include "qkshost/dxf/dxf.h"

#include "dimstyle_codes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <unordered_set>

#include <qks/common/atomic_file.h>
#include <qks/common/plane.h>

namespace qkshost::dxf {

// The writer reads the kernel's structures throughout, so its names are used unqualified.
using namespace qkshost::drawing;

namespace {

constexpr double kRadToDeg = 180.0 / qks::kPi;

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

bool defaultExtrusion(const Vector3d& v) {
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
    void assignHandles() {
        seed_ = db_.handSeed();
        for (ObjectIndex b : db_.blocks()) {
            auto* r = db_.get<BlockRecord>(b);
            used_.insert(r->beginHandle);
            used_.insert(r->endHandle);
        }
        for (int i = 0; i < 9; ++i)
            tables_[i] = fresh(db_.tableHandles[i]);
        vportRecord_ = seed_++;
        rootDict_ = fresh(db_.rootDictHandle);
        groupDict_ = fresh(db_.groupDictHandle);
        layoutDict_ = fresh(db_.layoutDictHandle);
        plotStyleDict_ = seed_++;
        placeholder_ = seed_++;
        // begin/end handles that collide with objects (after a copy) get fresh ones
        for (ObjectIndex b : db_.blocks()) {
            auto* r = db_.get<BlockRecord>(b);
            Handle bh = r->beginHandle, eh = r->endHandle;
            if (!bh || db_.indexFromHandle(bh) || begin_.count(bh)) bh = seed_++;
            begin_.insert(bh);
            if (!eh || db_.indexFromHandle(eh) || begin_.count(eh)) eh = seed_++;
            begin_.insert(eh);
            markers_[b] = {bh, eh};
        }
    }

    void header() {
        o_.str(0, "SECTION");
        o_.str(2, "HEADER");
        auto var = [&](const char* n) { o_.str(9, n); };
        var("$ACADVER");
        o_.str(1, "AC1032");
        var("$ACADMAINTVER");
        o_.integer(70, 105);
        var("$DWGCODEPAGE");
        o_.str(3, "ANSI_1252");
        var("$INSBASE");
        o_.point(10, db_.insBase);
        const Extents3d& ext = ext_;
        var("$EXTMIN");
        o_.point(10, ext.isEmpty() ? Point3d{1e20, 1e20, 1e20} : ext.min);
        var("$EXTMAX");
        o_.point(10, ext.isEmpty() ? Point3d{-1e20, -1e20, -1e20} : ext.max);
        var("$LIMMIN");
        o_.point(10, {0, 0, 0}, false);
        var("$LIMMAX");
        o_.point(10, {420, 297, 0}, false);
        var("$TILEMODE");
        o_.integer(70, db_.tileMode ? 1 : 0);
        var("$CLAYER");
        o_.str(8, nameOf(db_.currentLayer, "0"));
        var("$CELTYPE");
        o_.str(6, "ByLayer");
        var("$TEXTSTYLE");
        o_.str(7, nameOf(db_.currentTextStyle, "Standard"));
        var("$DIMSTYLE");
        o_.str(2, nameOf(db_.currentDimStyle, "Standard"));
        var("$INSUNITS");
        o_.integer(70, db_.insUnits);
        var("$MEASUREMENT");
        o_.integer(70, db_.measurement);
        var("$LTSCALE");
        o_.num(40, db_.linetypeScale);
        var("$PSLTSCALE");
        o_.integer(70, db_.paperLinetypeScale ? 1 : 0);
        var("$HANDSEED");
        o_.handle(5, seed_);
        o_.str(0, "ENDSEC");
    }
    std::string nameOf(ObjectIndex i, const char* fallback) {
        auto* r = dynamic_cast<SymbolRecord*>(db_.object(i));
        return r && !r->erased ? r->name : fallback;
    }

    void classes() {
        o_.str(0, "SECTION");
        o_.str(2, "CLASSES");
        struct C {
            const char* dxf;
            const char* cpp;
            int flags;
            bool entity;
        };
        const C list[] = {{"ACDBDICTIONARYWDFLT", "AcDbDictionaryWithDefault", 0, false},
                          {"ACDBPLACEHOLDER", "AcDbPlaceHolder", 0, false},
                          {"LAYOUT", "AcDbLayout", 0, false}};
        for (const C& c : list) {
            o_.str(0, "CLASS");
            o_.str(1, c.dxf);
            o_.str(2, c.cpp);
            o_.str(3, "ObjectDBX Classes");
            o_.integer(90, c.flags);
            o_.integer(91, 0);
            o_.integer(280, 0);
            o_.integer(281, c.entity ? 1 : 0);
        }
        o_.str(0, "ENDSEC");
    }

    void tableHead(const char* name, int slot, std::size_t count) {
        o_.str(0, "TABLE");
        o_.str(2, name);
        o_.handle(5, tables_[slot]);
        o_.handle(330, 0);
        o_.str(100, "AcDbSymbolTable");
        o_.integer(70, static_cast<long long>(count));
        if (slot == 7) {
            o_.str(100, "AcDbDimStyleTable");
            o_.integer(71, static_cast<long long>(count));
        }
    }
    void recordHead(const char* type, const SymbolRecord& r, int slot, const char* subclass) {
        o_.str(0, type);
        o_.handle(slot == 7 ? 105 : 5, r.handle);
        o_.handle(330, tables_[slot]);
        o_.str(100, "AcDbSymbolTableRecord");
        o_.str(100, subclass);
        o_.str(2, r.name);
    }
    template <class T>
    std::vector<const T*> live(const std::vector<ObjectIndex>& table) {
        std::vector<const T*> v;
        for (ObjectIndex i : table)
            if (auto* r = db_.get<T>(i))
                if (!r->erased) v.push_back(r);
        return v;
    }

    void tables() {
        o_.str(0, "SECTION");
        o_.str(2, "TABLES");
        // VPORT
        tableHead("VPORT", 0, 1);
        o_.str(0, "VPORT");
        o_.handle(5, vportRecord_);
        o_.handle(330, tables_[0]);
        o_.str(100, "AcDbSymbolTableRecord");
        o_.str(100, "AcDbViewportTableRecord");
        o_.str(2, "*Active");
        o_.integer(70, 0);
        o_.point(10, {0, 0, 0}, false);
        o_.point(11, {1, 1, 0}, false);
        const Extents3d& ext = ext_;
        Point3d c = ext.isEmpty()
                        ? Point3d{210, 148.5, 0}
                        : Point3d{(ext.min.x + ext.max.x) / 2, (ext.min.y + ext.max.y) / 2, 0};
        double vh = ext.isEmpty() ? 297 : std::max(1.0, (ext.max.y - ext.min.y) * 1.1);
        o_.point(12, c, false);
        o_.point(13, {0, 0, 0}, false);
        o_.point(14, {10, 10, 0}, false);
        o_.point(15, {10, 10, 0}, false);
        o_.vec(16, {0, 0, 1});
        o_.point(17, {0, 0, 0});
        o_.num(40, vh);
        o_.num(41, 1.5);
        o_.num(42, 50);
        o_.num(43, 0);
        o_.num(44, 0);
        o_.num(50, 0);
        o_.num(51, 0);
        o_.integer(71, 0);
        o_.integer(72, 1000);
        o_.integer(73, 1);
        o_.integer(74, 3);
        o_.integer(75, 0);
        o_.integer(76, 0);
        o_.integer(77, 0);
        o_.integer(78, 0);
        o_.integer(281, 0);
        o_.integer(65, 1);
        o_.str(0, "ENDTAB");
        // LTYPE
        auto ltypes = live<LinetypeRecord>(db_.linetypes());
        tableHead("LTYPE", 1, ltypes.size());
        for (auto* l : ltypes) {
            recordHead("LTYPE", *l, 1, "AcDbLinetypeTableRecord");
            o_.integer(70, l->flags);
            o_.str(3, l->description);
            o_.integer(72, 65);
            o_.integer(73, static_cast<long long>(l->elements.size()));
            o_.num(40, l->patternLength);
            for (auto& e : l->elements) {
                o_.num(49, e.length);
                o_.integer(74, e.type);
                if (e.type == 0) continue;
                o_.integer(75, e.shape);
                auto* st = db_.get<TextStyleRecord>(e.style);
                o_.handle(340, st && !st->erased ? st->handle : h(db_.findTextStyle("Standard")));
                o_.num(46, e.scale);
                o_.num(50, e.rotation * kRadToDeg);
                o_.num(44, e.dx);
                o_.num(45, e.dy);
                if (e.type & 2) o_.str(9, e.text);
            }
        }
        o_.str(0, "ENDTAB");
        // LAYER
        auto layers = live<LayerRecord>(db_.layers());
        tableHead("LAYER", 2, layers.size());
        for (auto* l : layers) {
            recordHead("LAYER", *l, 2, "AcDbLayerTableRecord");
            o_.integer(70, l->flags);
            o_.integer(62, l->off ? -l->color : l->color);
            if (l->trueColor >= 0) o_.integer(420, l->trueColor);
            o_.str(6, lineTypeName(l->linetype, "Continuous"));
            if (!l->plot) o_.integer(290, 0);
            o_.integer(370, l->lineweight);
            o_.handle(390, placeholder_);
        }
        o_.str(0, "ENDTAB");
        // STYLE
        auto styles = live<TextStyleRecord>(db_.textStyles());
        tableHead("STYLE", 3, styles.size());
        for (auto* s : styles) {
            recordHead("STYLE", *s, 3, "AcDbTextStyleTableRecord");
            o_.integer(70, s->flags);
            o_.num(40, s->height);
            o_.num(41, s->widthFactor);
            o_.num(50, s->oblique);
            o_.integer(71, s->generation);
            o_.num(42, s->lastHeight);
            o_.str(3, s->fontFile);
            o_.str(4, s->bigFont);
            if (!s->typeface.empty()) {
                o_.str(1001, "ACAD");
                o_.str(1000, s->typeface);
                long long f = (s->pitchAndFamily & 0xff) | ((s->charset & 0xff) << 8);
                if (s->italic) f |= 0x01000000;
                if (s->bold) f |= 0x02000000;
                o_.integer(1071, f);
            }
        }
        o_.str(0, "ENDTAB");
        tableHead("VIEW", 4, 0);
        o_.str(0, "ENDTAB");
        tableHead("UCS", 5, 0);
        o_.str(0, "ENDTAB");
        auto apps = live<AppIdRecord>(db_.appIds());
        tableHead("APPID", 6, apps.size());
        for (auto* a : apps) {
            recordHead("APPID", *a, 6, "AcDbRegAppTableRecord");
            o_.integer(70, a->flags);
        }
        o_.str(0, "ENDTAB");
        auto dims = live<DimStyleRecord>(db_.dimStyles());
        tableHead("DIMSTYLE", 7, dims.size());
        for (auto* d : dims) {
            recordHead("DIMSTYLE", *d, 7, "AcDbDimStyleTableRecord");
            o_.integer(70, d->flags);
            for (const auto& entry : detail::kDimVariableCodes)
                if (const auto& value = d->variables.*entry.variable) o_.num(entry.code, *value);
            for (const auto& entry : detail::kDimIntegerCodes)
                if (const auto& value = d->variables.*entry.variable)
                    o_.integer(entry.code, *value);
            for (auto& t : d->otherValues)
                o_.str(t.code, t.value);
            if (auto* st = db_.get<TextStyleRecord>(d->textStyle))
                if (!st->erased) o_.handle(340, st->handle);
        }
        o_.str(0, "ENDTAB");
        auto blocks = live<BlockRecord>(db_.blocks());
        tableHead("BLOCK_RECORD", 8, blocks.size());
        for (auto* b : blocks) {
            recordHead("BLOCK_RECORD", *b, 8, "AcDbBlockTableRecord");
            auto* l = db_.get<Layout>(b->layout);
            if (l && !l->erased && b->isLayout())
                o_.handle(340, l->handle);
            else
                o_.handle(340, 0);
            o_.integer(70, b->units);
            o_.integer(280, b->explodable ? 1 : 0);
            o_.integer(281, b->scalable ? 1 : 0);
        }
        o_.str(0, "ENDTAB");
        o_.str(0, "ENDSEC");
    }
    std::string lineTypeName(ObjectIndex i, const char* fallback) {
        auto* l = db_.get<LinetypeRecord>(i);
        return l && !l->erased ? l->name : fallback;
    }

    void blocks() {
        o_.str(0, "SECTION");
        o_.str(2, "BLOCKS");
        for (ObjectIndex bi : db_.blocks()) {
            auto* b = db_.get<BlockRecord>(bi);
            if (b->erased) continue;
            auto mk = markers_[bi];
            bool paper = b->isPaperSpace();
            o_.str(0, "BLOCK");
            o_.handle(5, mk.first);
            o_.handle(330, b->handle);
            o_.str(100, "AcDbEntity");
            if (paper) o_.integer(67, 1);
            o_.str(8, "0");
            o_.str(100, "AcDbBlockBegin");
            o_.str(2, b->name);
            int flags = b->flags & ~1;
            if (b->isAnonymous()) flags |= 1;
            o_.integer(70, flags);
            o_.point(10, b->base);
            o_.str(3, b->name);
            o_.str(1, b->xrefPath);
            if (!b->description.empty()) o_.str(4, b->description);
            if (bi != db_.modelSpace() && bi != db_.paperSpace())
                for (ObjectIndex e : b->entities)
                    entity(e, paper);
            o_.str(0, "ENDBLK");
            o_.handle(5, mk.second);
            o_.handle(330, b->handle);
            o_.str(100, "AcDbEntity");
            if (paper) o_.integer(67, 1);
            o_.str(8, "0");
            o_.str(100, "AcDbBlockEnd");
        }
        o_.str(0, "ENDSEC");
    }

    void entitiesSection() {
        o_.str(0, "SECTION");
        o_.str(2, "ENTITIES");
        if (auto* m = db_.get<BlockRecord>(db_.modelSpace()))
            for (ObjectIndex e : m->entities)
                entity(e, false);
        if (auto* p = db_.get<BlockRecord>(db_.paperSpace()))
            for (ObjectIndex e : p->entities)
                entity(e, true);
        o_.str(0, "ENDSEC");
    }

    void common(const Entity& e, bool paper, std::string_view type = {}) {
        o_.str(0, type.empty() ? std::string_view(e.dxfName()) : type);
        o_.handle(5, e.handle);
        o_.handle(330, h(e.owner));
        o_.str(100, "AcDbEntity");
        if (paper) o_.integer(67, 1);
        o_.str(8, db_.layerName(e));
        if (auto* lt = db_.get<LinetypeRecord>(e.linetype))
            if (!lt->erased) o_.str(6, lt->name);
        if (e.color != 256) o_.integer(62, e.color);
        if (e.trueColor >= 0) o_.integer(420, e.trueColor);
        if (e.lineweight != -1) o_.integer(370, e.lineweight);
        if (e.linetypeScale != 1) o_.num(48, e.linetypeScale);
        if (e.invisible) o_.integer(60, 1);
    }
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

    void entity(ObjectIndex i, bool paper) {
        flush(false);
        const Object* obj = db_.object(i);
        if (!obj || obj->erased || !obj->isEntity()) return;
        const auto& e = static_cast<const Entity&>(*obj);
        switch (obj->kind()) {
            case Kind::Line: {
                auto& l = static_cast<const Line&>(e);
                common(e, paper);
                o_.str(100, "AcDbLine");
                thickness(l);
                o_.point(10, l.start);
                o_.point(11, l.end);
                extrusion(l);
                break;
            }
            case Kind::Circle: {
                auto& c = static_cast<const Circle&>(e);
                common(e, paper);
                o_.str(100, "AcDbCircle");
                thickness(c);
                o_.point(10, c.center);
                o_.num(40, c.radius);
                extrusion(c);
                break;
            }
            case Kind::Arc: {
                auto& c = static_cast<const Arc&>(e);
                common(e, paper);
                o_.str(100, "AcDbCircle");
                thickness(c);
                o_.point(10, c.center);
                o_.num(40, c.radius);
                extrusion(c);
                o_.str(100, "AcDbArc");
                o_.num(50, c.startAngle * kRadToDeg);
                o_.num(51, c.endAngle * kRadToDeg);
                break;
            }
            case Kind::Ellipse: {
                auto& c = static_cast<const Ellipse&>(e);
                common(e, paper);
                o_.str(100, "AcDbEllipse");
                o_.point(10, c.center);
                o_.vec(11, c.majorAxis);
                o_.vec(210, c.extrusion);
                o_.num(40, c.ratio);
                o_.num(41, c.startParam);
                o_.num(42, c.endParam);
                break;
            }
            case Kind::LwPolyline:
                lwpolyline(static_cast<const LwPolyline&>(e), paper);
                break;
            case Kind::Polyline:
                polyline(static_cast<const Polyline&>(e), paper);
                return;
            case Kind::Spline:
                spline(static_cast<const Spline&>(e), paper);
                break;
            case Kind::Point: {
                auto& p = static_cast<const PointEntity&>(e);
                common(e, paper);
                o_.str(100, "AcDbPoint");
                o_.point(10, p.position);
                thickness(p);
                extrusion(p);
                if (p.angle != 0) o_.num(50, p.angle * kRadToDeg);
                break;
            }
            case Kind::Text:
            case Kind::Attribute:
            case Kind::AttributeDefinition:
                text(static_cast<const TextBase&>(e), paper);
                break;
            case Kind::MText:
                mtext(static_cast<const MText&>(e), paper);
                break;
            case Kind::BlockReference:
                insert(static_cast<const BlockReference&>(e), paper);
                return;
            case Kind::Solid: {
                auto& s = static_cast<const Solid&>(e);
                common(e, paper);
                o_.str(100, "AcDbTrace");
                for (int k = 0; k < 4; ++k)
                    o_.point(10 + k, s.corners[k]);
                thickness(s);
                extrusion(s);
                break;
            }
            case Kind::Hatch:
                if (static_cast<const RawEntity&>(e).tail.empty()) {
                    hatch(static_cast<const Hatch&>(e), paper);
                    break;
                }
                [[fallthrough]];
            case Kind::UnknownEntity: {
                auto& r = static_cast<const RawEntity&>(e);
                common(
                    e, paper,
                    r.kind() == Kind::Hatch ? std::string_view("HATCH") : std::string_view(r.type));
                for (auto& t : r.tail)
                    o_.str(t.code, t.value);
                break;
            }
            case Kind::Dimension:
                dimension(static_cast<const Dimension&>(e), paper);
                break;
            case Kind::Viewport:
                viewport(static_cast<const Viewport&>(e), paper);
                break;
            default:
                return;
        }
        xdata(e);
    }

    // A hatch read from anything but DXF has no groups kept: it is written from its structure
    // (non-associative, normal style, angles in degrees as the structure holds them).
    void hatch(const Hatch& h, bool paper) {
        using Type = HatchEdge::Type;
        common(h, paper, "HATCH");
        o_.str(100, "AcDbHatch");
        o_.point(10, {0, 0, h.elevation});
        o_.vec(210, h.extrusion);
        o_.str(2, h.patternName);
        o_.integer(70, h.solidFill ? 1 : 0);
        o_.integer(71, 0);
        o_.integer(91, static_cast<long long>(h.loops.size()));
        for (const HatchLoop& l : h.loops) {
            o_.integer(92, l.flags);
            if (l.isPolyline()) {
                o_.integer(72, l.hasBulge ? 1 : 0);
                o_.integer(73, l.closed ? 1 : 0);
                o_.integer(93, static_cast<long long>(l.vertices.size()));
                for (const HatchVertex& v : l.vertices) {
                    o_.point(10, {v.x, v.y, 0}, false);
                    if (l.hasBulge) o_.num(42, v.bulge);
                }
            } else {
                o_.integer(93, static_cast<long long>(l.edges.size()));
                for (const HatchEdge& d : l.edges) {
                    o_.integer(72, d.type == Type::Other ? 1 : int(d.type));
                    if (d.type == Type::Spline) {
                        o_.integer(94, d.degree);
                        o_.integer(73, d.rational ? 1 : 0);
                        o_.integer(74, d.periodic ? 1 : 0);
                        o_.integer(95, static_cast<long long>(d.knots.size()));
                        o_.integer(96, static_cast<long long>(d.controlPoints.size()));
                        for (double k : d.knots)
                            o_.num(40, k);
                        for (std::size_t k = 0; k < d.controlPoints.size(); ++k) {
                            o_.point(10, d.controlPoints[k], false);
                            if (d.rational && k < d.weights.size()) o_.num(42, d.weights[k]);
                        }
                        o_.integer(97, 0);
                    } else if (d.type == Type::CircularArc || d.type == Type::EllipticArc) {
                        o_.point(10, d.centre, false);
                        if (d.type == Type::EllipticArc)
                            o_.point(11, {d.majorAxis.x, d.majorAxis.y, 0}, false);
                        o_.num(40, d.radius);
                        o_.num(50, d.startAngle);
                        o_.num(51, d.endAngle);
                        o_.integer(73, d.counterClockwise ? 1 : 0);
                    } else {
                        o_.point(10, d.start, false);
                        o_.point(11, d.end, false);
                    }
                }
            }
            o_.integer(97, 0);
        }
        o_.integer(75, 0);
        o_.integer(76, 1);
        if (!h.solidFill) {
            o_.num(52, h.patternAngle);
            o_.num(41, h.patternScale);
            o_.integer(77, 0);
            o_.integer(78, static_cast<long long>(h.patternLines.size()));
            for (const HatchPatternLine& l : h.patternLines) {
                o_.num(53, l.angle);
                o_.num(43, l.base.x);
                o_.num(44, l.base.y);
                o_.num(45, l.offset.x);
                o_.num(46, l.offset.y);
                o_.integer(79, static_cast<long long>(l.dashes.size()));
                for (double d : l.dashes)
                    o_.num(49, d);
            }
        }
        o_.integer(98, 0);
    }

    void lwpolyline(const LwPolyline& p, bool paper) {
        common(p, paper);
        o_.str(100, "AcDbPolyline");
        o_.integer(90, static_cast<long long>(p.vertices.size()));
        o_.integer(70, p.flags);
        bool constant = p.hasConstantWidth;
        for (auto& v : p.vertices)
            if (v.startWidth != p.constantWidth || v.endWidth != p.constantWidth) constant = false;
        if (constant) o_.num(43, p.constantWidth);
        if (p.elevation != 0) o_.num(38, p.elevation);
        thickness(p);
        for (auto& v : p.vertices) {
            o_.num(10, v.x);
            o_.num(20, v.y);
            if (!constant && (v.startWidth != 0 || v.endWidth != 0)) {
                o_.num(40, v.startWidth);
                o_.num(41, v.endWidth);
            }
            if (v.bulge != 0) o_.num(42, v.bulge);
        }
        extrusion(p);
    }

    void polyline(const Polyline& p, bool paper) {
        common(p, paper);
        const char* sub = p.flags & 64   ? "AcDbPolyFaceMesh"
                          : p.flags & 16 ? "AcDbPolygonMesh"
                          : p.flags & 8  ? "AcDb3dPolyline"
                                         : "AcDb2dPolyline";
        o_.str(100, sub);
        o_.integer(66, 1);
        o_.point(10, {0, 0, p.elevation});
        thickness(p);
        o_.integer(70, p.flags);
        if (p.startWidth != 0) o_.num(40, p.startWidth);
        if (p.endWidth != 0) o_.num(41, p.endWidth);
        if (p.meshM) o_.integer(71, p.meshM);
        if (p.meshN) o_.integer(72, p.meshN);
        if (p.smoothM) o_.integer(73, p.smoothM);
        if (p.smoothN) o_.integer(74, p.smoothN);
        if (p.curveType) o_.integer(75, p.curveType);
        extrusion(p);
        xdata(p);
        for (ObjectIndex vi : p.vertices) {
            auto* v = db_.get<Vertex>(vi);
            if (!v || v->erased) continue;
            common(*v, paper);
            o_.str(100, "AcDbVertex");
            bool face = (p.flags & 64) && (v->flags & 128) && !(v->flags & 64);
            const char* vs = face           ? "AcDbFaceRecord"
                             : p.flags & 64 ? "AcDbPolyFaceMeshVertex"
                             : p.flags & 16 ? "AcDbPolygonMeshVertex"
                             : p.flags & 8  ? "AcDb3dPolylineVertex"
                                            : "AcDb2dVertex";
            o_.str(100, vs);
            o_.point(10, face ? Point3d{} : v->position);
            if (v->startWidth != 0) o_.num(40, v->startWidth);
            if (v->endWidth != 0) o_.num(41, v->endWidth);
            if (v->bulge != 0) o_.num(42, v->bulge);
            o_.integer(70, v->flags);
            if (v->tangent != 0) o_.num(50, v->tangent * kRadToDeg);
            if (face)
                for (int k = 0; k < 4; ++k)
                    if (v->faces[k] || k < 3) o_.integer(71 + k, v->faces[k]);
            xdata(*v);
        }
        seqend(p.seqEnd, p, paper);
    }
    void seqend(ObjectIndex si, const Entity& owner, bool paper) {
        auto* s = db_.get<SeqEnd>(si);
        o_.str(0, "SEQEND");
        o_.handle(5, s && !s->erased ? s->handle : seed_++);
        o_.handle(330, owner.handle);
        o_.str(100, "AcDbEntity");
        if (paper) o_.integer(67, 1);
        o_.str(8, db_.layerName(owner));
    }

    void spline(const Spline& s, bool paper) {
        common(s, paper);
        o_.str(100, "AcDbSpline");
        if (s.normal.x != 0 || s.normal.y != 0 || s.normal.z != 0) o_.vec(210, s.normal);
        o_.integer(70, s.flags);
        o_.integer(71, s.degree);
        o_.integer(72, static_cast<long long>(s.knots.size()));
        o_.integer(73, static_cast<long long>(s.controlPoints.size()));
        o_.integer(74, static_cast<long long>(s.fitPoints.size()));
        o_.num(42, s.knotTolerance);
        o_.num(43, s.controlTolerance);
        o_.num(44, s.fitTolerance);
        if (s.hasStartTangent) o_.vec(12, s.startTangent);
        if (s.hasEndTangent) o_.vec(13, s.endTangent);
        for (double k : s.knots)
            o_.num(40, k);
        for (double w : s.weights)
            o_.num(41, w);
        for (auto& p : s.controlPoints)
            o_.point(10, p);
        for (auto& p : s.fitPoints)
            o_.point(11, p);
    }

    void text(const TextBase& t, bool paper) {
        common(t, paper);
        o_.str(100, "AcDbText");
        thickness(t);
        o_.point(10, t.position);
        o_.num(40, t.height);
        o_.str(1, t.text);
        if (t.rotation != 0) o_.num(50, t.rotation * kRadToDeg);
        if (t.widthFactor != 1) o_.num(41, t.widthFactor);
        if (t.oblique != 0) o_.num(51, t.oblique * kRadToDeg);
        o_.str(7, styleName(t.style));
        if (t.generation) o_.integer(71, t.generation);
        if (t.hAlign) o_.integer(72, t.hAlign);
        if (t.hasAlignment) o_.point(11, t.alignment);
        extrusion(t);
        if (t.kind() == Kind::Text) {
            o_.str(100, "AcDbText");
            if (t.vAlign) o_.integer(73, t.vAlign);
        } else if (t.kind() == Kind::Attribute) {
            auto& a = static_cast<const Attribute&>(t);
            o_.str(100, "AcDbAttribute");
            o_.integer(280, 0);
            o_.str(2, a.tag);
            o_.integer(70, a.attribFlags);
            if (a.fieldLength) o_.integer(73, a.fieldLength);
            if (t.vAlign) o_.integer(74, t.vAlign);
        } else {
            auto& a = static_cast<const AttributeDefinition&>(t);
            o_.str(100, "AcDbAttributeDefinition");
            o_.integer(280, 0);
            o_.str(3, a.prompt);
            o_.str(2, a.tag);
            o_.integer(70, a.attribFlags);
            if (a.fieldLength) o_.integer(73, a.fieldLength);
            if (t.vAlign) o_.integer(74, t.vAlign);
        }
    }
    std::string styleName(ObjectIndex s) {
        auto* st = db_.get<TextStyleRecord>(s);
        return st && !st->erased ? st->name : "Standard";
    }

    void mtext(const MText& m, bool paper) {
        common(m, paper);
        o_.str(100, "AcDbMText");
        o_.point(10, m.position);
        o_.num(40, m.height);
        o_.num(41, m.width);
        o_.integer(71, m.attachment);
        o_.integer(72, m.drawingDirection);
        // chunks of at most 250 bytes, never splitting a UTF-8 sequence
        std::string_view rest = m.text;
        while (rest.size() > 250) {
            std::size_t n = 250;
            while (n > 0 && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80)
                --n;
            if (n == 0) n = 250;
            o_.str(3, rest.substr(0, n));
            rest.remove_prefix(n);
        }
        o_.str(1, rest);
        o_.str(7, styleName(m.style));
        extrusion(m);
        o_.vec(11, m.direction);
        o_.integer(73, m.lineSpacingStyle);
        o_.num(44, m.lineSpacing);
    }

    void insert(const BlockReference& r, bool paper) {
        common(r, paper);
        o_.str(100, "AcDbBlockReference");
        bool attribs = false;
        for (ObjectIndex a : r.attributes)
            if (auto* ao = db_.object(a); ao && !ao->erased) attribs = true;
        if (attribs) o_.integer(66, 1);
        o_.str(2, db_.blockName(r.block));
        o_.point(10, r.position);
        if (r.scaleX != 1) o_.num(41, r.scaleX);
        if (r.scaleY != 1) o_.num(42, r.scaleY);
        if (r.scaleZ != 1) o_.num(43, r.scaleZ);
        if (r.rotation != 0) o_.num(50, r.rotation * kRadToDeg);
        if (r.columns > 1) o_.integer(70, r.columns);
        if (r.rows > 1) o_.integer(71, r.rows);
        if (r.columnSpacing != 0) o_.num(44, r.columnSpacing);
        if (r.rowSpacing != 0) o_.num(45, r.rowSpacing);
        extrusion(r);
        xdata(r);
        if (!attribs) return;
        for (ObjectIndex a : r.attributes)
            entity(a, paper);
        seqend(r.seqEnd, r, paper);
    }

    void dimension(const Dimension& d, bool paper) {
        common(d, paper);
        o_.str(100, "AcDbDimension");
        o_.integer(280, 0);
        if (auto* b = db_.get<BlockRecord>(d.block))
            if (!b->erased) o_.str(2, b->name);
        o_.point(10, d.defPoint);
        o_.point(11, d.textMid);
        o_.integer(70, d.dimType);
        o_.integer(71, d.attachment);
        o_.integer(72, d.lineSpacingStyle);
        o_.num(41, d.lineSpacing);
        if (d.measurement != 0) o_.num(42, d.measurement);
        o_.str(1, d.text);
        if (d.textRotation != 0) o_.num(53, d.textRotation * kRadToDeg);
        extrusion(d);
        auto* ds = db_.get<DimStyleRecord>(d.dimStyle);
        o_.str(3, ds && !ds->erased ? ds->name : "Standard");
        switch (d.dimType & 0x0F) {
            case 0:
            case 1:
                o_.str(100, "AcDbAlignedDimension");
                o_.point(12, d.insertPoint);
                o_.point(13, d.p13);
                o_.point(14, d.p14);
                if ((d.dimType & 0x0F) == 0) {
                    o_.num(50, d.angle * kRadToDeg);
                    if (d.oblique != 0) o_.num(52, d.oblique * kRadToDeg);
                    o_.str(100, "AcDbRotatedDimension");
                } else if (d.oblique != 0) {
                    o_.num(52, d.oblique * kRadToDeg);
                }
                break;
            case 2:
                o_.str(100, "AcDb2LineAngularDimension");
                o_.point(13, d.p13);
                o_.point(14, d.p14);
                o_.point(15, d.p15);
                o_.point(16, d.p16);
                break;
            case 3:
            case 4:
                o_.str(100,
                       (d.dimType & 0x0F) == 3 ? "AcDbDiametricDimension" : "AcDbRadialDimension");
                o_.point(15, d.p15);
                o_.num(40, d.leaderLength);
                break;
            case 5:
                o_.str(100, "AcDb3PointAngularDimension");
                o_.point(13, d.p13);
                o_.point(14, d.p14);
                o_.point(15, d.p15);
                break;
            case 6:
                o_.str(100, "AcDbOrdinateDimension");
                o_.point(13, d.p13);
                o_.point(14, d.p14);
                break;
            default:
                break;
        }
    }

    void viewport(const Viewport& v, bool paper) {
        common(v, paper);
        o_.str(100, "AcDbViewport");
        o_.point(10, v.center);
        o_.num(40, v.width);
        o_.num(41, v.height);
        o_.integer(68, v.status);
        o_.integer(69, v.id);
        o_.point(12, v.viewCenter, false);
        o_.point(13, {0, 0, 0}, false);
        o_.point(14, {10, 10, 0}, false);
        o_.point(15, {10, 10, 0}, false);
        o_.vec(16, v.viewDirection);
        o_.point(17, v.viewTarget);
        o_.num(42, v.lensLength);
        o_.num(43, 0);
        o_.num(44, 0);
        o_.num(45, v.viewHeight);
        o_.num(50, 0);
        o_.num(51, v.twist * kRadToDeg);
        o_.integer(72, 1000);
        for (ObjectIndex l : v.frozenLayers)
            if (const Object* layer = db_.get<LayerRecord>(l)) o_.handle(331, layer->handle);
        o_.integer(90, v.flags);
        o_.integer(281, v.renderMode);
        o_.integer(71, 1);
        o_.integer(74, 0);
        o_.point(110, {0, 0, 0});
        o_.vec(111, {1, 0, 0});
        o_.vec(112, {0, 1, 0});
        o_.integer(79, 0);
        o_.num(146, 0);
        o_.integer(170, 0);
    }

    void objects() {
        o_.str(0, "SECTION");
        o_.str(2, "OBJECTS");
        // root dictionary
        o_.str(0, "DICTIONARY");
        o_.handle(5, rootDict_);
        o_.handle(330, 0);
        o_.str(100, "AcDbDictionary");
        o_.integer(281, 1);
        o_.str(3, "ACAD_GROUP");
        o_.handle(350, groupDict_);
        o_.str(3, "ACAD_LAYOUT");
        o_.handle(350, layoutDict_);
        o_.str(3, "ACAD_PLOTSTYLENAME");
        o_.handle(350, plotStyleDict_);
        dictionaryHead(groupDict_);
        dictionaryHead(layoutDict_);
        std::vector<const Layout*> layouts;
        for (ObjectIndex li : db_.layouts())
            if (auto* l = db_.get<Layout>(li))
                if (!l->erased) {
                    auto* b = db_.get<BlockRecord>(l->block);
                    if (!b || b->erased) continue;
                    layouts.push_back(l);
                    o_.str(3, l->name);
                    o_.handle(350, l->handle);
                }
        o_.str(0, "ACDBDICTIONARYWDFLT");
        o_.handle(5, plotStyleDict_);
        reactors(rootDict_);
        o_.handle(330, rootDict_);
        o_.str(100, "AcDbDictionary");
        o_.integer(281, 1);
        o_.str(3, "Normal");
        o_.handle(350, placeholder_);
        o_.str(100, "AcDbDictionaryWithDefault");
        o_.handle(340, placeholder_);
        o_.str(0, "ACDBPLACEHOLDER");
        o_.handle(5, placeholder_);
        reactors(plotStyleDict_);
        o_.handle(330, plotStyleDict_);
        for (auto* l : layouts)
            layout(*l);
        o_.str(0, "ENDSEC");
    }
    void reactors(Handle owner) {
        o_.str(102, "{ACAD_REACTORS");
        o_.handle(330, owner);
        o_.str(102, "}");
    }
    void dictionaryHead(Handle hd) {
        o_.str(0, "DICTIONARY");
        o_.handle(5, hd);
        reactors(rootDict_);
        o_.handle(330, rootDict_);
        o_.str(100, "AcDbDictionary");
        o_.integer(281, 1);
    }
    void layout(const Layout& l) {
        const PlotSettings& p = l.plot;
        o_.str(0, "LAYOUT");
        o_.handle(5, l.handle);
        reactors(layoutDict_);
        o_.handle(330, layoutDict_);
        o_.str(100, "AcDbPlotSettings");
        o_.str(1, p.pageSetupName);
        o_.str(2, p.device);
        o_.str(4, p.media);
        o_.str(6, p.viewName);
        o_.num(40, p.marginLeft);
        o_.num(41, p.marginBottom);
        o_.num(42, p.marginRight);
        o_.num(43, p.marginTop);
        o_.num(44, p.paperWidth);
        o_.num(45, p.paperHeight);
        o_.num(46, p.originX);
        o_.num(47, p.originY);
        o_.num(48, p.windowMinX);
        o_.num(49, p.windowMinY);
        o_.num(140, p.windowMaxX);
        o_.num(141, p.windowMaxY);
        o_.num(142, p.numerator);
        o_.num(143, p.denominator);
        o_.integer(70, p.flags);
        o_.integer(72, p.paperUnits);
        o_.integer(73, p.rotation);
        o_.integer(74, p.plotType);
        o_.str(7, p.styleSheet);
        o_.integer(75, p.standardScaleType);
        o_.integer(76, p.shadePlotMode);
        o_.integer(77, p.shadePlotResolution);
        o_.integer(78, p.shadePlotDpi);
        o_.num(147, p.scaleFactor);
        o_.num(148, p.imageOriginX);
        o_.num(149, p.imageOriginY);
        o_.str(100, "AcDbLayout");
        o_.str(1, l.name);
        o_.integer(70, l.layoutFlags);
        o_.integer(71, l.tabOrder);
        o_.point(10, l.limMin, false);
        o_.point(11, l.limMax, false);
        o_.point(12, l.insBase);
        o_.point(14, l.extMin);
        o_.point(15, l.extMax);
        o_.num(146, 0);
        o_.point(13, {0, 0, 0});
        o_.vec(16, {1, 0, 0});
        o_.vec(17, {0, 1, 0});
        o_.integer(76, 0);
        o_.handle(330, h(l.block));
    }

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

bool endsWithNoCase(const std::string& s, const char* suffix) {
    std::size_t n = std::strlen(suffix);
    return s.size() >= n && equalsNoCase(std::string_view(s).substr(s.size() - n), suffix);
}

}  // namespace

std::string writeDxf(const Database& db) {
    std::string s;
    s.reserve(1 << 16);
    Writer w(db, s);
    w.run();
    return s;
}

bool writeDxf(const Database& db, const std::function<bool(std::string_view)>& sink) {
    std::string s;
    s.reserve(1 << 21);
    Writer w(db, s, &sink);
    return w.run();
}

Status saveDxf(const Database& db, const std::string& path, std::string* written,
               std::string* message) {
    std::string target = path;
    if (endsWithNoCase(target, ".dwg")) target = target.substr(0, target.size() - 4) + ".dxf";
    if (written) *written = target;
    qks::AtomicFileWriter file(target);
    auto fail = [&](const std::string& why) {
        if (message) *message = "cannot save " + target + ": " + why;
        return Status::WriteError;
    };
    if (!file.isOpen()) return fail(file.error());
    file.setDurable(true);
    bool ok;
    try {
        ok = writeDxf(db, [&](std::string_view piece) { return file.write(piece); });
    } catch (const std::bad_alloc&) {
        return fail("out of memory");  // the writer's destructor removes the temporary file
    }
    if (!ok || !file.commit(true)) return fail(file.error());
    if (message) message->clear();
    return Status::Ok;
}

}  // namespace qkshost::dxf
