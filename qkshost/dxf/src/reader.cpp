#include "reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "qkshost/dxf/dxf.h"

namespace qkshost::dxf::detail {

ReadResult Reader::run(std::size_t bytes) {
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
    result.warnings = in_.warnings();
    return result;
}

// ---------- top level ----------
void Reader::readFile() {
    Tag t;
    bool eof = false;
    while (in_.next(t)) {
        if (t.code == 999) continue;
        if (t.is(0, "EOF")) {
            eof = true;
            break;
        }
        if (!t.is(0, "SECTION")) in_.fail(t, "expected SECTION, found '" + in_.shown(t) + "'");
        Tag name;
        in_.expectNext(name, "SECTION");
        if (name.code != 2) in_.fail(name, "section without a name");
        if (name.text == "HEADER")
            readHeader();
        else if (name.text == "TABLES")
            tables_.readTables();
        else if (name.text == "BLOCKS")
            blocks_.readBlocks();
        else if (name.text == "ENTITIES")
            entities_.readEntities();
        else if (name.text == "OBJECTS")
            objects_.readObjects();
        else
            in_.skipSection("section");
    }
    if (!ctx_.sawSection) in_.failAt(in_.position(), "no DXF sections found");
    if (!eof) in_.failAt(in_.position(), "unexpected end of file (the file is truncated: no EOF)");
}

void Reader::readHeader() {
    ctx_.sawSection = true;
    Tag t;
    std::string var;
    while (true) {
        in_.expectNext(t, "HEADER");
        if (t.is(0, "ENDSEC")) break;
        if (t.code == 0) in_.fail(t, "unexpected '" + in_.shown(t) + "' in HEADER");
        if (t.code == 9) {
            var = std::string(t.text);
            continue;
        }
        if (var == "$ACADVER" && t.code == 1)
            db_.readVersion = std::string(trim(t.text));
        else if (var == "$DWGCODEPAGE" && t.code == 3)
            db_.codePage = std::string(trim(t.text));
        else if (var == "$HANDSEED" && t.code == 5)
            db_.setHandSeedAtLeast(in_.handle(t));
        else if (var == "$INSBASE")
            setCoord(db_.insBase, t);
        else if (var == "$TILEMODE" && t.code == 70)
            db_.tileMode = in_.integer(t) != 0;
        else if (var == "$INSUNITS" && t.code == 70)
            db_.insUnits = in_.int32(t);
        else if (var == "$MEASUREMENT" && t.code == 70)
            db_.measurement = in_.int32(t);
        else if (var == "$LTSCALE" && t.code == 40) {
            const double scale = in_.num(t);
            if (scale > 0)
                db_.linetypeScale = scale;
            else
                in_.warn();  // a pattern scale of zero or below draws nothing sensible
        } else if (var == "$PSLTSCALE" && t.code == 70)
            db_.paperLinetypeScale = in_.integer(t) != 0;
        else if (var == "$CLAYER" && t.code == 8)
            ctx_.clayer = in_.str(t);
        else if (var == "$TEXTSTYLE" && t.code == 7)
            ctx_.ctextstyle = in_.str(t);
        else if (var == "$DIMSTYLE" && t.code == 2)
            ctx_.cdimstyle = in_.str(t);
    }
    in_.configureCodec(db_);
}

void Reader::setCoord(Point3d& p, const Tag& t) {
    int c = t.code % 10;
    double v = in_.num(t);
    if (t.code >= 10 && t.code < 40) {
        int axis = (t.code - 10) / 10;
        (axis == 0 ? p.x : axis == 1 ? p.y : p.z) = v;
    }
    (void)c;
}

// ---------- resolving ----------
void Reader::finish() {
    resolvePointers();
    resolveLayouts();
    db_.ensureStructure();
    setCurrentRecords();
    reserveMarkerHandles();
}

// Pointers between records and from entities, given by handle or name.
void Reader::resolvePointers() {
    for (auto& p : ctx_.pendingLayerLtype) {
        auto* l = db_.get<LayerRecord>(p.first);
        ObjectIndex lt = db_.findLinetype(p.second);
        if (!lt && !p.second.empty()) in_.warn();
        l->linetype = lt ? lt : 0;
    }
    for (auto& p : ctx_.pendingLtypeStyle) {
        auto* lt = db_.get<LinetypeRecord>(p.record);
        ObjectIndex s = db_.indexFromHandle(p.target);
        if (lt && p.element < lt->elements.size())
            lt->elements[p.element].style = db_.get<TextStyleRecord>(s) ? s : 0;
    }
    for (auto& p : ctx_.pendingViewportLayer) {
        auto* v = db_.get<Viewport>(p.from);
        ObjectIndex l = db_.indexFromHandle(p.target);
        if (!v) continue;
        if (!db_.get<LayerRecord>(l))
            in_.warn();  // a frozen layer that does not exist: nothing to hide
        else if (std::find(v->frozenLayers.begin(), v->frozenLayers.end(), l) ==
                 v->frozenLayers.end())
            v->frozenLayers.push_back(l);
    }
    for (auto& p : ctx_.pendingDimText) {
        auto* d = db_.get<DimStyleRecord>(p.from);
        ObjectIndex s = db_.indexFromHandle(p.target);
        if (d && db_.get<TextStyleRecord>(s)) d->textStyle = s;
    }
    for (auto& p : ctx_.pendingBlockNames) {
        ObjectIndex b = db_.findBlock(p.second);
        if (!b) {
            in_.warn();  // reference to a block that is not defined: an empty one stands in
            if (db_.addBlock(p.second, &b) != Status::Ok) b = 0;
        }
        Object* o = db_.object(p.first);
        if (auto* r = dynamic_cast<BlockReference*>(o))
            r->block = b;
        else if (auto* d = dynamic_cast<Dimension*>(o))
            d->block = b;
    }
}

// Layouts: linked to block records, ordered as the layout dictionary lists them.
void Reader::resolveLayouts() {
    for (auto& p : ctx_.pendingLayoutBlock) {
        auto* l = db_.get<Layout>(p.from);
        ObjectIndex b = db_.indexFromHandle(p.target);
        if (l && db_.get<BlockRecord>(b)) l->block = b;
    }
    for (auto& p : ctx_.pendingRecordLayout) {
        auto* b = db_.get<BlockRecord>(p.from);
        ObjectIndex l = db_.indexFromHandle(p.target);
        if (b && db_.get<Layout>(l)) b->layout = l;
    }
    std::vector<ObjectIndex> order;
    const DictionaryData* root = nullptr;
    for (auto& d : ctx_.dicts)
        if (d.handle == ctx_.rootDict) root = &d;
    if (root)
        for (auto& e : root->entries)
            if (e.first == "ACAD_LAYOUT")
                for (auto& d : ctx_.dicts)
                    if (d.handle == e.second)
                        for (auto& le : d.entries) {
                            ObjectIndex li = db_.indexFromHandle(le.second);
                            if (auto* l = db_.get<Layout>(li)) {
                                if (l->name.empty()) l->name = le.first;
                                order.push_back(li);
                            }
                        }
    for (ObjectIndex li : ctx_.layoutsRead)
        if (std::find(order.begin(), order.end(), li) == order.end()) order.push_back(li);
    for (ObjectIndex li : order) {
        auto* l = db_.get<Layout>(li);
        auto* b = db_.get<BlockRecord>(l->block);
        if (b && !b->layout) b->layout = li;
        if (b && b->layout == li && !l->name.empty())
            db_.addLayout(li);
        else {
            l->erased = true;
            in_.warn();
        }
    }
}

// The header's current layer, text style and dimension style, where they exist.
void Reader::setCurrentRecords() {
    if (!ctx_.clayer.empty())
        if (ObjectIndex l = db_.findLayer(ctx_.clayer)) db_.currentLayer = l;
    if (!ctx_.ctextstyle.empty())
        if (ObjectIndex s = db_.findTextStyle(ctx_.ctextstyle)) db_.currentTextStyle = s;
    if (!ctx_.cdimstyle.empty())
        if (ObjectIndex s = db_.findDimStyle(ctx_.cdimstyle)) db_.currentDimStyle = s;
}

void Reader::reserveMarkerHandles() {
    for (auto& c : ctx_.claimed)
        db_.setHandSeedAtLeast(c.first + 1);
    // begin/end markers claimed nothing: give them handles above all others
    for (ObjectIndex b : db_.blocks()) {
        auto* br = db_.get<BlockRecord>(b);
        if (!br->beginHandle) br->beginHandle = db_.newHandle();
        if (!br->endHandle) br->endHandle = db_.newHandle();
    }
}

}  // namespace qkshost::dxf::detail

namespace qkshost::dxf {

using drawing::Database;
using drawing::ReadResult;
using drawing::Status;

ReadResult readDxf(Database& db, std::string_view data) {
    if (db.objectCount() != 0)
        return {Status::InvalidInput, "DXF read error: the database is not empty", 0};
    detail::Reader r(db, data);
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

}  // namespace qkshost::dxf
