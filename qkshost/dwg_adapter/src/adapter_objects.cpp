// The DWG adapter: layouts and their block records.
#include "adapter.h"

namespace qkshost::dwg::detail {

void Adapter::layouts() {
    std::vector<dr::ObjectIndex> read;
    for (const Record& rec : d_.records) {
        auto* x = std::get_if<LayoutRec>(&rec.data);
        if (!x) continue;
        auto l = std::make_unique<dr::Layout>();
        l->handle = rec.common.handle;
        if (index(l->handle) || claimed_.count(l->handle)) l->handle = 0;
        l->name = x->name;
        l->layoutFlags = x->flags;
        l->tabOrder = x->tabOrder;
        l->limMin = pt(x->limMin);
        l->limMax = pt(x->limMax);
        l->insBase = pt(x->insBase);
        l->extMin = pt(x->extMin);
        l->extMax = pt(x->extMax);
        const PlotSettingsRec& s = x->plot;
        dr::PlotSettings& p = l->plot;
        p.pageSetupName = s.pageSetupName;
        p.device = s.device;
        p.media = s.media;
        p.viewName = s.viewName;
        p.styleSheet = s.styleSheet;
        p.marginLeft = s.marginLeft;
        p.marginBottom = s.marginBottom;
        p.marginRight = s.marginRight;
        p.marginTop = s.marginTop;
        p.paperWidth = s.paperWidth;
        p.paperHeight = s.paperHeight;
        p.originX = s.originX;
        p.originY = s.originY;
        p.windowMinX = s.windowMinX;
        p.windowMinY = s.windowMinY;
        p.windowMaxX = s.windowMaxX;
        p.windowMaxY = s.windowMaxY;
        p.numerator = s.numerator;
        p.denominator = s.denominator;
        p.flags = s.flags;
        p.paperUnits = s.paperUnits;
        p.rotation = s.rotation;
        p.plotType = s.plotType;
        p.standardScaleType = s.standardScaleType;
        p.shadePlotMode = s.shadePlotMode;
        p.shadePlotResolution = s.shadePlotResolution;
        p.shadePlotDpi = s.shadePlotDpi;
        p.scaleFactor = s.scaleFactor;
        p.imageOriginX = s.imageOriginX;
        p.imageOriginY = s.imageOriginY;
        dr::ObjectIndex b = index(x->block);
        if (db_.get<dr::BlockRecord>(b)) l->block = b;
        read.push_back(db_.add(std::move(l)));
    }
    for (auto& [i, b] : blocks_) {
        dr::ObjectIndex l = index(b->layout);
        if (db_.get<dr::Layout>(l)) db_.get<dr::BlockRecord>(i)->layout = l;
    }
    // the order of the layout dictionary
    std::vector<dr::ObjectIndex> order;
    if (const Record* dict = d_.find(d_.header.layoutsDictionary))
        if (auto* x = std::get_if<DictionaryRec>(&dict->data))
            for (auto& [name, h] : x->entries) {
                dr::ObjectIndex li = index(h);
                if (auto* l = db_.get<dr::Layout>(li)) {
                    if (l->name.empty()) l->name = name;
                    order.push_back(li);
                }
            }
    for (dr::ObjectIndex li : read)
        if (std::find(order.begin(), order.end(), li) == order.end()) order.push_back(li);
    for (dr::ObjectIndex li : order) {
        auto* l = db_.get<dr::Layout>(li);
        auto* b = db_.get<dr::BlockRecord>(l->block);
        if (b && !b->layout) b->layout = li;
        if (b && b->layout == li && !l->name.empty())
            db_.addLayout(li);
        else
            l->erased = true;
    }
}

}  // namespace qkshost::dwg::detail
