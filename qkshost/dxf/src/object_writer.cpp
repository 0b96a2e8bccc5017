// The DXF writer's OBJECTS section: the root dictionary and the dictionaries, layouts and
// placeholder objects it names.
#include "object_writer.h"

namespace qkshost::dxf::detail {

void ObjectWriter::objects() {
    o_.str(0, "SECTION");
    o_.str(2, "OBJECTS");
    // root dictionary
    o_.str(0, "DICTIONARY");
    o_.handle(5, ctx_.rootDict);
    o_.handle(330, 0);
    o_.str(100, "AcDbDictionary");
    o_.integer(281, 1);
    o_.str(3, "ACAD_GROUP");
    o_.handle(350, ctx_.groupDict);
    o_.str(3, "ACAD_LAYOUT");
    o_.handle(350, ctx_.layoutDict);
    o_.str(3, "ACAD_PLOTSTYLENAME");
    o_.handle(350, ctx_.plotStyleDict);
    dictionaryHead(ctx_.groupDict);
    dictionaryHead(ctx_.layoutDict);
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
    o_.handle(5, ctx_.plotStyleDict);
    reactors(ctx_.rootDict);
    o_.handle(330, ctx_.rootDict);
    o_.str(100, "AcDbDictionary");
    o_.integer(281, 1);
    o_.str(3, "Normal");
    o_.handle(350, ctx_.placeholder);
    o_.str(100, "AcDbDictionaryWithDefault");
    o_.handle(340, ctx_.placeholder);
    o_.str(0, "ACDBPLACEHOLDER");
    o_.handle(5, ctx_.placeholder);
    reactors(ctx_.plotStyleDict);
    o_.handle(330, ctx_.plotStyleDict);
    for (auto* l : layouts)
        layout(*l);
    o_.str(0, "ENDSEC");
}

void ObjectWriter::reactors(Handle owner) {
    o_.str(102, "{ACAD_REACTORS");
    o_.handle(330, owner);
    o_.str(102, "}");
}

void ObjectWriter::dictionaryHead(Handle hd) {
    o_.str(0, "DICTIONARY");
    o_.handle(5, hd);
    reactors(ctx_.rootDict);
    o_.handle(330, ctx_.rootDict);
    o_.str(100, "AcDbDictionary");
    o_.integer(281, 1);
}

void ObjectWriter::layout(const Layout& l) {
    const PlotSettings& p = l.plot;
    o_.str(0, "LAYOUT");
    o_.handle(5, l.handle);
    reactors(ctx_.layoutDict);
    o_.handle(330, ctx_.layoutDict);
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
    o_.handle(330, ctx_.h(l.block));
}

}  // namespace qkshost::dxf::detail
