// The DXF writer's HEADER and CLASSES sections, and the codec's entry points for writing and
// saving.
#include "writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <qks/common/atomic_file.h>

namespace qkshost::dxf::detail {

void Writer::header() {
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
    const Extents3d& ext = ctx_.ext;
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
    o_.handle(5, ctx_.seed);
    o_.str(0, "ENDSEC");
}

std::string Writer::nameOf(ObjectIndex i, const char* fallback) {
    auto* r = dynamic_cast<SymbolRecord*>(db_.object(i));
    return r && !r->erased ? r->name : fallback;
}

void Writer::classes() {
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

}  // namespace qkshost::dxf::detail

namespace qkshost::dxf {

using namespace qkshost::drawing;
using detail::Writer;

namespace {

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
