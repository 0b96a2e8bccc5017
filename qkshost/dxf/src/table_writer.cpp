// The DXF writer's TABLES section: one table a symbol kind.
#include "table_writer.h"

#include "dimstyle_codes.h"

namespace qkshost::dxf::detail {

void TableWriter::tableHead(const char* name, int slot, std::size_t count) {
    o_.str(0, "TABLE");
    o_.str(2, name);
    o_.handle(5, ctx_.tables[slot]);
    o_.handle(330, 0);
    o_.str(100, "AcDbSymbolTable");
    o_.integer(70, static_cast<long long>(count));
    if (slot == 7) {
        o_.str(100, "AcDbDimStyleTable");
        o_.integer(71, static_cast<long long>(count));
    }
}

void TableWriter::recordHead(const char* type, const SymbolRecord& r, int slot,
                             const char* subclass) {
    o_.str(0, type);
    o_.handle(slot == 7 ? 105 : 5, r.handle);
    o_.handle(330, ctx_.tables[slot]);
    o_.str(100, "AcDbSymbolTableRecord");
    o_.str(100, subclass);
    o_.str(2, r.name);
}

void TableWriter::tables() {
    o_.str(0, "SECTION");
    o_.str(2, "TABLES");
    // VPORT
    tableHead("VPORT", 0, 1);
    o_.str(0, "VPORT");
    o_.handle(5, ctx_.vportRecord);
    o_.handle(330, ctx_.tables[0]);
    o_.str(100, "AcDbSymbolTableRecord");
    o_.str(100, "AcDbViewportTableRecord");
    o_.str(2, "*Active");
    o_.integer(70, 0);
    o_.point(10, {0, 0, 0}, false);
    o_.point(11, {1, 1, 0}, false);
    const Extents3d& ext = ctx_.ext;
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
            o_.handle(340, st && !st->erased ? st->handle : ctx_.h(db_.findTextStyle("Standard")));
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
        o_.handle(390, ctx_.placeholder);
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
            if (const auto& value = d->variables.*entry.variable) o_.integer(entry.code, *value);
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

std::string TableWriter::lineTypeName(ObjectIndex i, const char* fallback) {
    auto* l = db_.get<LinetypeRecord>(i);
    return l && !l->erased ? l->name : fallback;
}

}  // namespace qkshost::dxf::detail
