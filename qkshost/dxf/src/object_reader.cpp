#include "object_reader.h"

#include <algorithm>
#include <cstdlib>

namespace qkshost::dxf::detail {

void ObjectReader::readObjects() {
    ctx_.beginSection();
    Tag t;
    while (true) {
        in_.expectNext(t, "OBJECTS");
        if (t.is(0, "ENDSEC")) return;
        if (t.code != 0) in_.fail(t, "unexpected '" + in_.shown(t) + "' in OBJECTS");
        if (t.is(0, "EOF")) in_.fail(t, "unexpected EOF in OBJECTS");
        std::string_view type = t.text;
        in_.readRecord("object");
        if (type == "DICTIONARY")
            readDictionary();
        else if (type == "LAYOUT")
            readLayout();
    }
}

void ObjectReader::readDictionary() {
    DictionaryData d;
    std::string key;
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const Tag& g = tags_[i];
        if (g.code == 102) {
            in_.skipGroup(i);
            continue;
        }
        if (g.code == 5)
            d.handle = in_.handle(g);
        else if (g.code == 330)
            d.owner = in_.handle(g);
        else if (g.code == 3)
            key = in_.str(g);
        else if (g.code == 350 || g.code == 360)
            d.entries.push_back({key, in_.handle(g)});
    }
    if (ctx_.dicts.empty()) ctx_.rootDict = d.handle;
    ctx_.dicts.push_back(std::move(d));
}

void ObjectReader::readLayout() {
    auto l = std::make_unique<Layout>();
    Handle blockHandle = 0;
    int subclass = 0;  // 1 plot settings, 2 layout
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const Tag& g = tags_[i];
        if (g.code == 102) {
            in_.skipGroup(i);
            continue;
        }
        if (g.code == 100) {
            subclass = g.text == "AcDbPlotSettings" ? 1 : g.text == "AcDbLayout" ? 2 : 0;
            continue;
        }
        if (g.code == 5) {
            l->handle = in_.handle(g);
            continue;
        }
        if (subclass == 1)
            plotSettingsGroup(l->plot, g);
        else if (subclass == 2)
            layoutGroup(*l, g, blockHandle);
    }
    if (ctx_.handleTaken(l->handle)) {
        in_.warn();
        l->handle = 0;
    }
    ObjectIndex i = db_.add(std::move(l));
    ctx_.layoutsRead.push_back(i);
    if (blockHandle) ctx_.pendingLayoutBlock.push_back({i, blockHandle});
}

// A group of the AcDbPlotSettings part of a LAYOUT into its plot settings.
void ObjectReader::plotSettingsGroup(PlotSettings& p, const Tag& g) {
    switch (g.code) {
        case 1:
            p.pageSetupName = in_.str(g);
            break;
        case 2:
            p.device = in_.str(g);
            break;
        case 4:
            p.media = in_.str(g);
            break;
        case 6:
            p.viewName = in_.str(g);
            break;
        case 7:
            p.styleSheet = in_.str(g);
            break;
        case 40:
            p.marginLeft = in_.num(g);
            break;
        case 41:
            p.marginBottom = in_.num(g);
            break;
        case 42:
            p.marginRight = in_.num(g);
            break;
        case 43:
            p.marginTop = in_.num(g);
            break;
        case 44:
            p.paperWidth = in_.num(g);
            break;
        case 45:
            p.paperHeight = in_.num(g);
            break;
        case 46:
            p.originX = in_.num(g);
            break;
        case 47:
            p.originY = in_.num(g);
            break;
        case 48:
            p.windowMinX = in_.num(g);
            break;
        case 49:
            p.windowMinY = in_.num(g);
            break;
        case 140:
            p.windowMaxX = in_.num(g);
            break;
        case 141:
            p.windowMaxY = in_.num(g);
            break;
        case 142:
            p.numerator = in_.num(g);
            break;
        case 143:
            p.denominator = in_.num(g);
            break;
        case 70:
            p.flags = in_.int32(g);
            break;
        case 72:
            p.paperUnits = in_.int32(g);
            break;
        case 73:
            p.rotation = in_.int32(g);
            break;
        case 74:
            p.plotType = in_.int32(g);
            break;
        case 75:
            p.standardScaleType = in_.int32(g);
            break;
        case 76:
            p.shadePlotMode = in_.int32(g);
            break;
        case 77:
            p.shadePlotResolution = in_.int32(g);
            break;
        case 78:
            p.shadePlotDpi = in_.int32(g);
            break;
        case 147:
            p.scaleFactor = in_.num(g);
            break;
        case 148:
            p.imageOriginX = in_.num(g);
            break;
        case 149:
            p.imageOriginY = in_.num(g);
            break;
        default:
            break;
    }
}

// A group of the AcDbLayout part of a LAYOUT; 330 is the layout's block record.
void ObjectReader::layoutGroup(Layout& l, const Tag& g, Handle& blockHandle) {
    switch (g.code) {
        case 1:
            l.name = in_.str(g);
            break;
        case 70:
            l.layoutFlags = in_.int32(g);
            break;
        case 71:
            l.tabOrder = in_.int32(g);
            break;
        case 10:
            l.limMin.x = in_.num(g);
            break;
        case 20:
            l.limMin.y = in_.num(g);
            break;
        case 11:
            l.limMax.x = in_.num(g);
            break;
        case 21:
            l.limMax.y = in_.num(g);
            break;
        case 12:
            l.insBase.x = in_.num(g);
            break;
        case 22:
            l.insBase.y = in_.num(g);
            break;
        case 32:
            l.insBase.z = in_.num(g);
            break;
        case 14:
            l.extMin.x = in_.num(g);
            break;
        case 24:
            l.extMin.y = in_.num(g);
            break;
        case 34:
            l.extMin.z = in_.num(g);
            break;
        case 15:
            l.extMax.x = in_.num(g);
            break;
        case 25:
            l.extMax.y = in_.num(g);
            break;
        case 35:
            l.extMax.z = in_.num(g);
            break;
        case 330:
            blockHandle = in_.handle(g);
            break;
        default:
            break;
    }
}

}  // namespace qkshost::dxf::detail
