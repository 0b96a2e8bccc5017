// The table entries: layers, application ids, text styles, linetypes, block records and
// dimension styles.
#include "object_decoder.h"

namespace qkshost::dwg {

void ObjectDecoder::readTableHead(std::string& name, int& flags) {
    name = readText();
    if (version >= R2007) {
        const int xref = data().BS();
        if (xref & kDwgXrefDependent) flags |= kTableXrefDependent;
    } else {
        if (data().B()) flags |= kTableReferenced;
        data().BS();  // xref index
        if (data().B()) flags |= kTableXrefDependent;
    }
}

void ObjectDecoder::decodeLayer(Record& record, int) {
    LayerRec layer;
    readTableHead(layer.name, layer.flags);
    if (version <= R14) {
        if (data().B()) layer.flags |= kLayerFrozen;
        data().B();  // on
        if (data().B()) layer.flags |= kLayerFrozenInNewViewports;
        if (data().B()) layer.flags |= kLayerLocked;
    } else {
        const int state = data().BS();
        if (state & kDwgLayerFrozen) layer.flags |= kLayerFrozen;
        layer.off = state & kDwgLayerOff;
        if (state & kDwgLayerFrozenInNewViewports) layer.flags |= kLayerFrozenInNewViewports;
        if (state & kDwgLayerLocked) layer.flags |= kLayerLocked;
        layer.plot = state & kDwgLayerPlotted;
        layer.lineweight =
            lineweightOf((state & kDwgLayerLineweightMask) >> kDwgLayerLineweightShift);
    }
    layer.color = data().CMC(streams.t());
    if (layer.color.index < 0) {
        layer.off = true;
        layer.color.index = std::int16_t(-layer.color.index);
    }
    readObjectHandles(record);
    readHandle();  // xref block
    if (version >= R2000) layer.plotStyle = readHandle();
    if (version >= R2007) readHandle();  // material
    layer.linetype = readHandle();
    record.data = std::move(layer);
}

void ObjectDecoder::decodeAppid(Record& record, int) {
    AppIdRec appid;
    readTableHead(appid.name, appid.flags);
    data().RC();  // unknown, always 0
    readObjectHandles(record);
    record.data = std::move(appid);
}

void ObjectDecoder::decodeStyle(Record& record, int) {
    StyleRec style;
    readTableHead(style.name, style.flags);
    if (data().B()) style.flags |= kStyleVertical;
    if (data().B()) style.flags |= kStyleShapeFile;
    style.height = data().BD();
    style.widthFactor = data().BD();
    style.oblique = data().BD();
    style.generation = data().RC();
    style.lastHeight = data().BD();
    style.fontFile = readText();
    style.bigFont = readText();
    readObjectHandles(record);
    record.data = std::move(style);
}

void ObjectDecoder::decodeLtype(Record& record, int) {
    LinetypeRec linetype;
    readTableHead(linetype.name, linetype.flags);
    linetype.description = readText();
    linetype.patternLength = data().BD();
    linetype.alignment = data().RC();
    const int dashCount = data().RC();
    bool hasText = false;
    for (int i = 0; i < dashCount && !data().failed(); ++i) {
        LinetypeDash dash;
        dash.length = data().BD();
        dash.shape = data().BS();
        dash.xOffset = data().RD();
        dash.yOffset = data().RD();
        dash.scale = data().BD();
        dash.rotation = data().BD();
        dash.shapeFlags = data().BS();
        if (dash.shapeFlags & kDashIsText) hasText = true;
        linetype.dashes.push_back(dash);
    }
    // The texts of the dashes lie in a fixed area after them (before 2007 always there).
    const std::size_t areaBytes = version <= R2004 ? 256 : hasText ? 512 : 0;
    const std::size_t areaStart = data().pos();
    data().skipBits(areaBytes * 8);
    if (hasText && !data().failed()) {
        for (auto& dash : linetype.dashes) {
            if (!(dash.shapeFlags & kDashIsText)) continue;
            const std::size_t textOffset = std::size_t(std::uint16_t(dash.shape));
            BitReader area = data();
            area.seek(areaStart + textOffset * 8);
            std::string text;
            if (version >= R2007) {
                for (std::uint32_t unit;
                     (unit = area.RS()) != 0 && !area.failed() && text.size() < 512;)
                    appendUtf8(text, unit);
            } else {
                for (char byte;
                     (byte = char(area.RC())) != 0 && !area.failed() && text.size() < 256;)
                    text += byte;
                text = texts.decode(text, texts.codePage);
            }
            dash.text = text;
        }
    }
    readObjectHandles(record);
    readHandle();  // xref block
    for (auto& dash : linetype.dashes)
        dash.style = readHandle();
    record.data = std::move(linetype);
}

void ObjectDecoder::decodeBlockHeader(Record& record, int) {
    BlockRecordRec block;
    readTableHead(block.name, block.flags);
    if (data().B()) block.flags |= kBlockAnonymous;
    if (data().B()) block.flags |= kBlockHasAttributes;
    const bool xref = data().B(), overlay = data().B();
    if (xref) block.flags |= kBlockXref;
    if (overlay) block.flags |= kBlockOverlay;
    if (version >= R2000) data().B();  // loaded xref
    std::uint32_t ownedCount = 0;
    if (version >= R2004 && !xref && !overlay) ownedCount = readCount(0);  // handles: checked there
    block.base = data().BD3();
    block.xrefPath = readText();
    std::uint32_t insertCount = 0;
    if (version >= R2000) {
        while (data().RC() != 0 && !data().failed())
            ++insertCount;
        block.description = readText();
        const std::uint32_t previewBytes = readCount(8);
        data().skipBits(std::size_t(previewBytes) * 8);
    }
    if (version >= R2007) {
        block.units = data().BS();
        block.explodable = data().B();
        block.scalable = data().RC() != 0;
    }
    readObjectHandles(record);
    readHandle();  // xref block / null
    if (version <= R2000 && !xref && !overlay) {
        block.firstEntity = readHandle();
        block.lastEntity = readHandle();
    }
    if (version >= R2004) block.entities = readHandles(ownedCount);
    block.block = readHandle();
    block.endBlock = readHandle();
    if (version >= R2000) {
        readHandles(insertCount);
        block.layout = readHandle();
    }
    record.data = std::move(block);
}

void ObjectDecoder::decodeDimstyle(Record& record, int) {
    DimStyleRec style;
    readTableHead(style.name, style.flags);
    if (version >= R2000) {
        readText();  // DIMPOST
        readText();  // DIMAPOST
        style.dimscale = data().BD();
        style.dimasz = data().BD();
        style.dimexo = data().BD();
        style.dimdli = data().BD();
        style.dimexe = data().BD();
        for (int i = 0; i < 4; ++i)  // DIMRND, DIMDLE, DIMTP, DIMTM
            data().BD();
        if (version >= R2007) {
            data().BD();
            data().BD();
            data().BS();
            data().CMC(streams.t());
        }
        for (int i = 0; i < 6; ++i)
            data().B();
        for (int i = 0; i < 3; ++i)
            data().BS();
        if (version >= R2007) data().BS();
        style.dimtxt = data().BD();
        style.dimcen = data().BD();
        data().BD();  // DIMTSZ
        data().BD();  // DIMALTF
        style.dimlfac = data().BD();
        data().BD();  // DIMTVP
        data().BD();  // DIMTFAC
        style.dimgap = data().BD();
    }
    readObjectHandles(record);
    readHandle();  // xref block
    if (version >= R2000) style.textStyle = readHandle();
    record.data = std::move(style);
}

}  // namespace qkshost::dwg
