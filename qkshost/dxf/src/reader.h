// The DXF reader: one pass over the tags of a file into an empty database. Its parts are
// split by section (reader.cpp: file, header and pointer resolution; reader_tables.cpp;
// reader_blocks.cpp: blocks and the data every entity shares; reader_entities.cpp and
// reader_hatch.cpp: entity kinds; reader_objects.cpp: dictionaries and layouts).
#pragma once

#include <cmath>
#include <memory>
#include <unordered_map>
#include <vector>

#include "qkshost/drawing/database.h"
#include "qkshost/drawing/text_decoder.h"
#include "tokens.h"

namespace qkshost::dxf::detail {

// The reader fills the kernel's structures throughout, so its names are used unqualified.
using namespace qkshost::drawing;

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

    ReadResult run(std::size_t bytes);

  private:
    // ---------- values ----------
    [[noreturn]] void fail(const Tag& t, const std::string& what) { tok_.fail(t.pos, what); }

    double num(const Tag& t);
    long long integer(const Tag& t);
    int int32(const Tag& t);
    Handle handle(const Tag& t);
    std::string str(const Tag& t) { return codec_.decode(t.text); }
    std::string rawText(const Tag& t);

    // ---------- tag collection ----------
    bool next(Tag& t) { return tok_.next(t); }
    void expectNext(Tag& t, const char* context);
    void collect(std::vector<Tag>& out, const char* context);
    void skipSection(const char* name);

    void readFile();
    std::string shown(const Tag& t);

    void readHeader();
    void configureCodec();
    void setCoord(Point3d& p, const Tag& t);

    void readTables();
    static int tableSlot(const std::string& name);
    bool recordCommon(SymbolRecord& r, const Tag& g, std::size_t& i);
    void skipGroup(std::size_t& i);
    ObjectIndex addRecord(std::unique_ptr<SymbolRecord> r, ObjectIndex existing);
    void readLayer();
    void readStyle();
    void readLtype();
    void readBlockRecord();
    void readDimStyle();
    void readAppId();

    void readBlocks();
    Handle claimHandle(Handle h);

    void readEntities();

    struct Common {
        bool paperSpace = false;
        std::size_t tailStart = 0;  // first tag of the type's own data
        std::size_t xdataStart = 0;
        bool markers = false;
    };

    Common parseCommon(Entity& e);
    static bool commonCode(int code);

    ObjectIndex layerFor(std::string_view raw);
    ObjectIndex linetypeFor(std::string_view raw);
    ObjectIndex styleFor(const Tag& g);
    ObjectIndex styleByName(const Tag& g);

    ObjectIndex place(std::unique_ptr<Entity> e, ObjectIndex block, const Common& c);
    ObjectIndex addOwned(std::unique_ptr<Entity> e, ObjectIndex owner);

    void readEntity(const Tag& head, ObjectIndex block);

    static Point3d& pt(Point3d& p) { return p; }
    bool coord(const Tag& g, int base, Point3d& p);
    bool planar(PlanarEntity& e, const Tag& g);
    void fixExtrusion(PlanarEntity& e);
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

    void line_(ObjectIndex block);
    void circle(ObjectIndex block, bool arc);
    void ellipse(ObjectIndex block);
    void lwpolyline(ObjectIndex block);
    void polyline(ObjectIndex block);
    void spline(ObjectIndex block);
    void point(ObjectIndex block);
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
    ObjectIndex defaultStyle();
    template <class T>
    void text(ObjectIndex block) {
        Common c;
        auto e = parseText<T>(c);
        place(std::move(e), block, c);
    }
    void mtext(ObjectIndex block);
    static Vector3d cross(const Vector3d& a, const Vector3d& b);
    static Vector3d ocsXAxis(const Vector3d& n);
    void insert(ObjectIndex block);
    void solid(ObjectIndex block);
    void fillTail(RawEntity& e, const Common& c);
    void hatch(ObjectIndex block);
    double loose(const Tag& g);
    int looseInt(const Tag& g) { return std::atoi(rawText(g).c_str()); }

    void parseHatch(Hatch& e, const Common& c);
    static bool endsHatchPath(int code);
    void hatchPolylineLoop(const std::vector<const Tag*>& tags, std::size_t& i, HatchLoop& loop);
    void hatchEdgeLoop(const std::vector<const Tag*>& tags, std::size_t& i, HatchLoop& loop,
                       Point3d& p10, Point3d& p11, double& r, double& a0, double& a1);
    void hatchPattern(const std::vector<const Tag*>& tags, std::size_t i, Hatch& e);
    void dimension(ObjectIndex block);
    void viewport(ObjectIndex block);
    void unknown(std::string type, ObjectIndex block);

    void readObjects();
    void readDictionary();
    void readLayout();

    void finish();

    struct StylePtr {
        ObjectIndex record;
        std::size_t element;
        Handle target;
    };

    Database& db_;
    Tokenizer tok_;
    TextDecoder codec_;
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
    std::string clayer_, ctextstyle_, cdimstyle_;
};

}  // namespace qkshost::dxf::detail
