// The non-graphical objects kept: dictionaries and layouts with their plot settings.
#include "object_records.h"

namespace qkshost::dwg {

void ObjectRecordDecoder::decodeDictionary(Record& record, int) {
    readDictionary(record, false);
}

void ObjectRecordDecoder::decodeDictionaryWithDefault(Record& record, int) {
    readDictionary(record, true);
}

void ObjectRecordDecoder::readDictionary(Record& record, bool withDefault) {
    DictionaryRec dictionary;
    const std::uint32_t entryCount = in_.readCount(0);  // names may lie in the string stream
    if (in_.version == R14) in_.data().RC();
    if (in_.version >= R2000) {
        dictionary.cloning = in_.data().BS();
        dictionary.hardOwner = in_.data().RC() != 0;
    }
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < entryCount && !in_.streams.failed(); ++i)
        names.push_back(in_.readText());
    in_.readObjectHandles(record);
    for (auto& name : names)
        dictionary.entries.emplace_back(std::move(name), in_.readHandle());
    if (withDefault) dictionary.defaultEntry = in_.readHandle();
    record.data = std::move(dictionary);
}

void ObjectRecordDecoder::decodeLayout(Record& record, int) {
    LayoutRec layout;
    PlotSettingsRec& plot = layout.plot;
    plot.pageSetupName = in_.readText();
    plot.device = in_.readText();
    plot.flags = in_.data().BS();
    plot.marginLeft = in_.data().BD();
    plot.marginBottom = in_.data().BD();
    plot.marginRight = in_.data().BD();
    plot.marginTop = in_.data().BD();
    plot.paperWidth = in_.data().BD();
    plot.paperHeight = in_.data().BD();
    plot.media = in_.readText();
    plot.originX = in_.data().BD();
    plot.originY = in_.data().BD();
    plot.paperUnits = in_.data().BS();
    plot.rotation = in_.data().BS();
    plot.plotType = in_.data().BS();
    plot.windowMinX = in_.data().BD();
    plot.windowMinY = in_.data().BD();
    plot.windowMaxX = in_.data().BD();
    plot.windowMaxY = in_.data().BD();
    if (in_.version <= R2000) plot.viewName = in_.readText();
    plot.numerator = in_.data().BD();
    plot.denominator = in_.data().BD();
    plot.styleSheet = in_.readText();
    plot.standardScaleType = in_.data().BS();
    plot.scaleFactor = in_.data().BD();
    plot.imageOriginX = in_.data().BD();
    plot.imageOriginY = in_.data().BD();
    if (in_.version >= R2004) {
        plot.shadePlotMode = in_.data().BS();
        plot.shadePlotResolution = in_.data().BS();
        plot.shadePlotDpi = in_.data().BS();
    }
    layout.name = in_.readText();
    layout.tabOrder = in_.data().BS();
    layout.flags = in_.data().BS();
    in_.data().BD3();  // UCS origin
    layout.limMin = in_.data().RD2();
    layout.limMax = in_.data().RD2();
    layout.insBase = in_.data().BD3();
    in_.data().BD3();  // UCS X axis
    in_.data().BD3();  // UCS Y axis
    in_.data().BD();   // elevation
    in_.data().BS();   // orthographic view type
    layout.extMin = in_.data().BD3();
    layout.extMax = in_.data().BD3();
    // the viewports' handles lie in the handle stream, after those read here
    if (in_.version >= R2004) in_.readCount(0);
    in_.readObjectHandles(record);
    if (in_.version >= R2004) in_.readHandle();  // plot view
    if (in_.version >= R2007) in_.readHandle();  // visual style
    layout.block = in_.readHandle();
    record.data = std::move(layout);
}

}  // namespace qkshost::dwg
