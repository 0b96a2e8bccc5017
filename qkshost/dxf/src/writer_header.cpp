// The DXF writer's handles and its HEADER and CLASSES sections.
#include "writer.h"

namespace qkshost::dxf::detail {

void Writer::assignHandles() {
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
