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
    result.warnings = warnings_;
    return result;
}

double Reader::num(const Tag& t) {
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

long long Reader::integer(const Tag& t) {
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

int Reader::int32(const Tag& t) {
    long long v = integer(t);
    if (v > 0x7fffffff || v < -0x7fffffffLL - 1)
        fail(t, "number out of range for group code " + std::to_string(t.code));
    return int(v);
}

Handle Reader::handle(const Tag& t) {
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

std::string Reader::rawText(const Tag& t) {
    if (!t.binNumber) return codec_.decode(t.text);
    char buf[40];
    if (t.isDouble) {
        std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, t.num);
        return std::string(buf, r.ptr);
    }
    std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, t.inum);
    return std::string(buf, r.ptr);
}

void Reader::expectNext(Tag& t, const char* context) {
    if (!next(t)) tok_.fail(tok_.position(), std::string("unexpected end of file in ") + context);
}

// After a "0 NAME" tag: the following tags up to (not including) the next group 0.
void Reader::collect(std::vector<Tag>& out, const char* context) {
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

void Reader::skipSection(const char* name) {
    Tag t;
    while (true) {
        expectNext(t, name);
        if (t.is(0, "ENDSEC")) return;
        if (t.is(0, "EOF")) fail(t, std::string("unexpected EOF in section ") + name);
    }
}

// ---------- top level ----------
void Reader::readFile() {
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
    if (!eof) tok_.fail(tok_.position(), "unexpected end of file (the file is truncated: no EOF)");
}

std::string Reader::shown(const Tag& t) {
    std::string s(t.text.substr(0, 40));
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32) c = '?';
    return std::to_string(t.code) + " " + s;
}

void Reader::readHeader() {
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
        else if (var == "$DIMSTYLE" && t.code == 2)
            cdimstyle_ = str(t);
    }
    configureCodec();
}

void Reader::configureCodec() {
    // R2007 (AC1021) and later store UTF-8
    bool utf8 = db_.readVersion >= "AC1021" || (db_.readVersion.empty() && tok_.binary());
    codec_.setCodePage(db_.codePage, utf8);
    codecSet_ = true;
}

void Reader::setCoord(Point3d& p, const Tag& t) {
    int c = t.code % 10;
    double v = num(t);
    if (t.code >= 10 && t.code < 40) {
        int axis = (t.code - 10) / 10;
        (axis == 0 ? p.x : axis == 1 ? p.y : p.z) = v;
    }
    (void)c;
}

// ---------- resolving ----------
void Reader::finish() {
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
    if (!cdimstyle_.empty())
        if (ObjectIndex s = db_.findDimStyle(cdimstyle_)) db_.currentDimStyle = s;
    for (auto& c : claimed_)
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
