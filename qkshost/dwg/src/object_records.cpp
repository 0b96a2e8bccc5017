// The non-graphical objects kept: dictionaries and layouts with their plot settings.
#include "object_decoder.h"

namespace qkshost::dwg {

void ObjectDecoder::decodeDictionary(Record& record, int) {
    readDictionary(record, false);
}

void ObjectDecoder::decodeDictionaryWithDefault(Record& record, int) {
    readDictionary(record, true);
}

void ObjectDecoder::readDictionary(Record& record, bool withDefault) {
    DictionaryRec dictionary;
    const std::uint32_t entryCount = readCount(0);  // names may lie in the string stream
    if (version == R14) data().RC();
    if (version >= R2000) {
        dictionary.cloning = data().BS();
        dictionary.hardOwner = data().RC() != 0;
    }
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < entryCount && !streams.failed(); ++i)
        names.push_back(readText());
    readObjectHandles(record);
    for (auto& name : names)
        dictionary.entries.emplace_back(std::move(name), readHandle());
    if (withDefault) dictionary.defaultEntry = readHandle();
    record.data = std::move(dictionary);
}

void ObjectDecoder::decodeLayout(Record& record, int) {
    LayoutRec layout;
    PlotSettingsRec& plot = layout.plot;
    plot.pageSetupName = readText();
    plot.device = readText();
    plot.flags = data().BS();
    plot.marginLeft = data().BD();
    plot.marginBottom = data().BD();
    plot.marginRight = data().BD();
    plot.marginTop = data().BD();
    plot.paperWidth = data().BD();
    plot.paperHeight = data().BD();
    plot.media = readText();
    plot.originX = data().BD();
    plot.originY = data().BD();
    plot.paperUnits = data().BS();
    plot.rotation = data().BS();
    plot.plotType = data().BS();
    plot.windowMinX = data().BD();
    plot.windowMinY = data().BD();
    plot.windowMaxX = data().BD();
    plot.windowMaxY = data().BD();
    if (version <= R2000) plot.viewName = readText();
    plot.numerator = data().BD();
    plot.denominator = data().BD();
    plot.styleSheet = readText();
    plot.standardScaleType = data().BS();
    plot.scaleFactor = data().BD();
    plot.imageOriginX = data().BD();
    plot.imageOriginY = data().BD();
    if (version >= R2004) {
        plot.shadePlotMode = data().BS();
        plot.shadePlotResolution = data().BS();
        plot.shadePlotDpi = data().BS();
    }
    layout.name = readText();
    layout.tabOrder = data().BS();
    layout.flags = data().BS();
    data().BD3();  // UCS origin
    layout.limMin = data().RD2();
    layout.limMax = data().RD2();
    layout.insBase = data().BD3();
    data().BD3();  // UCS X axis
    data().BD3();  // UCS Y axis
    data().BD();   // elevation
    data().BS();   // orthographic view type
    layout.extMin = data().BD3();
    layout.extMax = data().BD3();
    // the viewports' handles lie in the handle stream, after those read here
    if (version >= R2004) readCount(0);
    readObjectHandles(record);
    if (version >= R2004) readHandle();  // plot view
    if (version >= R2007) readHandle();  // visual style
    layout.block = readHandle();
    record.data = std::move(layout);
}

}  // namespace qkshost::dwg
