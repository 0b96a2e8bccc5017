// The table entries: layers, application ids, text styles, linetypes, block records and
// dimension styles.
#include "table_records.h"

namespace qkshost::dwg {

void TableRecordDecoder::readTableHead(std::string& name, int& flags) {
    name = in_.readText();
    if (in_.version >= R2007) {
        const int xref = in_.data().BS();
        if (xref & kDwgXrefDependent) flags |= kTableXrefDependent;
    } else {
        if (in_.data().B()) flags |= kTableReferenced;
        in_.data().BS();  // xref index
        if (in_.data().B()) flags |= kTableXrefDependent;
    }
}

void TableRecordDecoder::decodeLayer(Record& record, int) {
    LayerRec layer;
    readTableHead(layer.name, layer.flags);
    if (in_.version <= R14) {
        if (in_.data().B()) layer.flags |= kLayerFrozen;
        in_.data().B();  // on
        if (in_.data().B()) layer.flags |= kLayerFrozenInNewViewports;
        if (in_.data().B()) layer.flags |= kLayerLocked;
    } else {
        const int state = in_.data().BS();
        if (state & kDwgLayerFrozen) layer.flags |= kLayerFrozen;
        layer.off = state & kDwgLayerOff;
        if (state & kDwgLayerFrozenInNewViewports) layer.flags |= kLayerFrozenInNewViewports;
        if (state & kDwgLayerLocked) layer.flags |= kLayerLocked;
        layer.plot = state & kDwgLayerPlotted;
        layer.lineweight =
            lineweightOf((state & kDwgLayerLineweightMask) >> kDwgLayerLineweightShift);
    }
    layer.color = in_.data().CMC(in_.streams.t());
    if (layer.color.index < 0) {
        layer.off = true;
        layer.color.index = std::int16_t(-layer.color.index);
    }
    in_.readObjectHandles(record);
    in_.readHandle();  // xref block
    if (in_.version >= R2000) layer.plotStyle = in_.readHandle();
    if (in_.version >= R2007) in_.readHandle();  // material
    layer.linetype = in_.readHandle();
    record.data = std::move(layer);
}

void TableRecordDecoder::decodeAppid(Record& record, int) {
    AppIdRec appid;
    readTableHead(appid.name, appid.flags);
    in_.data().RC();  // unknown, always 0
    in_.readObjectHandles(record);
    record.data = std::move(appid);
}

void TableRecordDecoder::decodeStyle(Record& record, int) {
    StyleRec style;
    readTableHead(style.name, style.flags);
    if (in_.data().B()) style.flags |= kStyleVertical;
    if (in_.data().B()) style.flags |= kStyleShapeFile;
    style.height = in_.data().BD();
    style.widthFactor = in_.data().BD();
    style.oblique = in_.data().BD();
    style.generation = in_.data().RC();
    style.lastHeight = in_.data().BD();
    style.fontFile = in_.readText();
    style.bigFont = in_.readText();
    in_.readObjectHandles(record);
    record.data = std::move(style);
}

void TableRecordDecoder::decodeLtype(Record& record, int) {
    LinetypeRec linetype;
    readTableHead(linetype.name, linetype.flags);
    linetype.description = in_.readText();
    linetype.patternLength = in_.data().BD();
    linetype.alignment = in_.data().RC();
    const int dashCount = in_.data().RC();
    bool hasText = false;
    for (int i = 0; i < dashCount && !in_.data().failed(); ++i) {
        LinetypeDash dash;
        dash.length = in_.data().BD();
        dash.shape = in_.data().BS();
        dash.xOffset = in_.data().RD();
        dash.yOffset = in_.data().RD();
        dash.scale = in_.data().BD();
        dash.rotation = in_.data().BD();
        dash.shapeFlags = in_.data().BS();
        if (dash.shapeFlags & kDashIsText) hasText = true;
        linetype.dashes.push_back(dash);
    }
    // The texts of the dashes lie in a fixed area after them (before 2007 always there).
    const std::size_t areaBytes = in_.version <= R2004 ? 256 : hasText ? 512 : 0;
    const std::size_t areaStart = in_.data().pos();
    in_.data().skipBits(areaBytes * 8);
    if (hasText && !in_.data().failed()) {
        for (auto& dash : linetype.dashes) {
            if (!(dash.shapeFlags & kDashIsText)) continue;
            const std::size_t textOffset = std::size_t(std::uint16_t(dash.shape));
            BitReader area = in_.data();
            area.seek(areaStart + textOffset * 8);
            std::string text;
            if (in_.version >= R2007) {
                for (std::uint32_t unit;
                     (unit = area.RS()) != 0 && !area.failed() && text.size() < 512;)
                    appendUtf8(text, unit);
            } else {
                for (char byte;
                     (byte = char(area.RC())) != 0 && !area.failed() && text.size() < 256;)
                    text += byte;
                text = in_.texts.decode(text, in_.texts.codePage);
            }
            dash.text = text;
        }
    }
    in_.readObjectHandles(record);
    in_.readHandle();  // xref block
    for (auto& dash : linetype.dashes)
        dash.style = in_.readHandle();
    record.data = std::move(linetype);
}

void TableRecordDecoder::decodeBlockHeader(Record& record, int) {
    BlockRecordRec block;
    readTableHead(block.name, block.flags);
    if (in_.data().B()) block.flags |= kBlockAnonymous;
    if (in_.data().B()) block.flags |= kBlockHasAttributes;
    const bool xref = in_.data().B(), overlay = in_.data().B();
    if (xref) block.flags |= kBlockXref;
    if (overlay) block.flags |= kBlockOverlay;
    if (in_.version >= R2000) in_.data().B();  // loaded xref
    std::uint32_t ownedCount = 0;
    if (in_.version >= R2004 && !xref && !overlay)
        ownedCount = in_.readCount(0);  // handles: checked there
    block.base = in_.data().BD3();
    block.xrefPath = in_.readText();
    std::uint32_t insertCount = 0;
    if (in_.version >= R2000) {
        while (in_.data().RC() != 0 && !in_.data().failed())
            ++insertCount;
        block.description = in_.readText();
        const std::uint32_t previewBytes = in_.readCount(8);
        in_.data().skipBits(std::size_t(previewBytes) * 8);
    }
    if (in_.version >= R2007) {
        block.units = in_.data().BS();
        block.explodable = in_.data().B();
        block.scalable = in_.data().RC() != 0;
    }
    in_.readObjectHandles(record);
    in_.readHandle();  // xref block / null
    if (in_.version <= R2000 && !xref && !overlay) {
        block.firstEntity = in_.readHandle();
        block.lastEntity = in_.readHandle();
    }
    if (in_.version >= R2004) block.entities = in_.readHandles(ownedCount);
    block.block = in_.readHandle();
    block.endBlock = in_.readHandle();
    if (in_.version >= R2000) {
        in_.readHandles(insertCount);
        block.layout = in_.readHandle();
    }
    record.data = std::move(block);
}

void TableRecordDecoder::decodeDimstyle(Record& record, int) {
    DimStyleRec style;
    readTableHead(style.name, style.flags);
    if (in_.version >= R2000) {
        in_.readText();  // DIMPOST
        in_.readText();  // DIMAPOST
        style.dimscale = in_.data().BD();
        style.dimasz = in_.data().BD();
        style.dimexo = in_.data().BD();
        style.dimdli = in_.data().BD();
        style.dimexe = in_.data().BD();
        for (int i = 0; i < 4; ++i)  // DIMRND, DIMDLE, DIMTP, DIMTM
            in_.data().BD();
        if (in_.version >= R2007) {
            in_.data().BD();
            in_.data().BD();
            in_.data().BS();
            in_.data().CMC(in_.streams.t());
        }
        for (int i = 0; i < 6; ++i)
            in_.data().B();
        for (int i = 0; i < 3; ++i)
            in_.data().BS();
        if (in_.version >= R2007) in_.data().BS();
        style.dimtxt = in_.data().BD();
        style.dimcen = in_.data().BD();
        in_.data().BD();  // DIMTSZ
        in_.data().BD();  // DIMALTF
        style.dimlfac = in_.data().BD();
        in_.data().BD();  // DIMTVP
        in_.data().BD();  // DIMTFAC
        style.dimgap = in_.data().BD();
    }
    in_.readObjectHandles(record);
    in_.readHandle();  // xref block
    if (in_.version >= R2000) style.textStyle = in_.readHandle();
    record.data = std::move(style);
}

}  // namespace qkshost::dwg
