#include "reader.h"

#include <algorithm>
#include <cstdlib>

namespace qkshost::dxf::detail {

// ---------- objects ----------
void Reader::readObjects() {
    sawSection_ = true;
    if (!codecSet_) configureCodec();
    Tag t;
    while (true) {
        expectNext(t, "OBJECTS");
        if (t.is(0, "ENDSEC")) return;
        if (t.code != 0) fail(t, "unexpected '" + shown(t) + "' in OBJECTS");
        if (t.is(0, "EOF")) fail(t, "unexpected EOF in OBJECTS");
        std::string_view type = t.text;
        collect(buf_, "object");
        if (type == "DICTIONARY")
            readDictionary();
        else if (type == "LAYOUT")
            readLayout();
    }
}

void Reader::readDictionary() {
    DictionaryData d;
    std::string key;
    for (std::size_t i = 0; i < buf_.size(); ++i) {
        const Tag& g = buf_[i];
        if (g.code == 102) {
            skipGroup(i);
            continue;
        }
        if (g.code == 5)
            d.handle = handle(g);
        else if (g.code == 330)
            d.owner = handle(g);
        else if (g.code == 3)
            key = str(g);
        else if (g.code == 350 || g.code == 360)
            d.entries.push_back({key, handle(g)});
    }
    if (dicts_.empty()) rootDict_ = d.handle;
    dicts_.push_back(std::move(d));
}

void Reader::readLayout() {
    auto l = std::make_unique<Layout>();
    PlotSettings& p = l->plot;
    Handle blockHandle = 0;
    int subclass = 0;  // 1 plot settings, 2 layout
    for (std::size_t i = 0; i < buf_.size(); ++i) {
        const Tag& g = buf_[i];
        if (g.code == 102) {
            skipGroup(i);
            continue;
        }
        if (g.code == 100) {
            subclass = g.text == "AcDbPlotSettings" ? 1 : g.text == "AcDbLayout" ? 2 : 0;
            continue;
        }
        if (g.code == 5) {
            l->handle = handle(g);
            continue;
        }
        if (subclass == 1) {
            switch (g.code) {
                case 1:
                    p.pageSetupName = str(g);
                    break;
                case 2:
                    p.device = str(g);
                    break;
                case 4:
                    p.media = str(g);
                    break;
                case 6:
                    p.viewName = str(g);
                    break;
                case 7:
                    p.styleSheet = str(g);
                    break;
                case 40:
                    p.marginLeft = num(g);
                    break;
                case 41:
                    p.marginBottom = num(g);
                    break;
                case 42:
                    p.marginRight = num(g);
                    break;
                case 43:
                    p.marginTop = num(g);
                    break;
                case 44:
                    p.paperWidth = num(g);
                    break;
                case 45:
                    p.paperHeight = num(g);
                    break;
                case 46:
                    p.originX = num(g);
                    break;
                case 47:
                    p.originY = num(g);
                    break;
                case 48:
                    p.windowMinX = num(g);
                    break;
                case 49:
                    p.windowMinY = num(g);
                    break;
                case 140:
                    p.windowMaxX = num(g);
                    break;
                case 141:
                    p.windowMaxY = num(g);
                    break;
                case 142:
                    p.numerator = num(g);
                    break;
                case 143:
                    p.denominator = num(g);
                    break;
                case 70:
                    p.flags = int32(g);
                    break;
                case 72:
                    p.paperUnits = int32(g);
                    break;
                case 73:
                    p.rotation = int32(g);
                    break;
                case 74:
                    p.plotType = int32(g);
                    break;
                case 75:
                    p.standardScaleType = int32(g);
                    break;
                case 76:
                    p.shadePlotMode = int32(g);
                    break;
                case 77:
                    p.shadePlotResolution = int32(g);
                    break;
                case 78:
                    p.shadePlotDpi = int32(g);
                    break;
                case 147:
                    p.scaleFactor = num(g);
                    break;
                case 148:
                    p.imageOriginX = num(g);
                    break;
                case 149:
                    p.imageOriginY = num(g);
                    break;
                default:
                    break;
            }
        } else if (subclass == 2) {
            switch (g.code) {
                case 1:
                    l->name = str(g);
                    break;
                case 70:
                    l->layoutFlags = int32(g);
                    break;
                case 71:
                    l->tabOrder = int32(g);
                    break;
                case 10:
                    l->limMin.x = num(g);
                    break;
                case 20:
                    l->limMin.y = num(g);
                    break;
                case 11:
                    l->limMax.x = num(g);
                    break;
                case 21:
                    l->limMax.y = num(g);
                    break;
                case 12:
                    l->insBase.x = num(g);
                    break;
                case 22:
                    l->insBase.y = num(g);
                    break;
                case 32:
                    l->insBase.z = num(g);
                    break;
                case 14:
                    l->extMin.x = num(g);
                    break;
                case 24:
                    l->extMin.y = num(g);
                    break;
                case 34:
                    l->extMin.z = num(g);
                    break;
                case 15:
                    l->extMax.x = num(g);
                    break;
                case 25:
                    l->extMax.y = num(g);
                    break;
                case 35:
                    l->extMax.z = num(g);
                    break;
                case 330:
                    blockHandle = handle(g);
                    break;
                default:
                    break;
            }
        }
    }
    if (l->handle && (db_.indexFromHandle(l->handle) || claimed_.count(l->handle))) {
        ++warnings_;
        l->handle = 0;
    }
    ObjectIndex i = db_.add(std::move(l));
    layoutsRead_.push_back(i);
    if (blockHandle) pendingLayoutBlock_.push_back({i, blockHandle});
}

}  // namespace qkshost::dxf::detail
