// The records of the objects section: what every record starts with (size, type, handle,
// extended data, the common entity or object data), then the record's kind decoded by the
// decoder a table names for its object type.
#include <string_view>
#include <unordered_map>

#include "object_decoder.h"

namespace qkshost::dwg {

int lineweightOf(int index) {
    static const int kWeights[] = {0,  5,  9,  13, 15, 18,  20,  25,  30,  35,  40,  50,
                                   53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
    if (index >= 0 && index < 24) return kWeights[index];
    return index == 29 ? -1 : index == 30 ? -2 : -3;  // ByLayer, ByBlock, Default
}

namespace {

using Outcome = ObjectDecoder::Outcome;
using DecodeFn = void (ObjectDecoder::*)(Record&, int type);

// How the records of one kind are decoded. Kinds without a decoder are dropped, counted by
// `outcome`.
struct RecordKind {
    const char* dxfName = "";
    DecodeFn decode = nullptr;
    // The kind's data is followed by the common entity handles only, which the dispatcher
    // reads; the other kinds read them themselves, before their own handles.
    bool handlesFollow = false;
    Outcome outcome = Outcome::Decoded;
};

constexpr bool kHandlesFollow = true;

RecordKind decoded(const char* dxfName, DecodeFn decode, bool handlesFollow = false) {
    return {dxfName, decode, handlesFollow, Outcome::Decoded};
}
RecordKind dropped(Outcome outcome) {
    return {"", nullptr, false, outcome};
}

// The kinds of the fixed numbering.
const std::unordered_map<int, RecordKind>& fixedKinds() {
    using Decoder = ObjectDecoder;
    static const std::unordered_map<int, RecordKind> kinds = {
        {kLine, decoded("LINE", &Decoder::decodeLine, kHandlesFollow)},
        {kCircle, decoded("CIRCLE", &Decoder::decodeCircle, kHandlesFollow)},
        {kArc, decoded("ARC", &Decoder::decodeCircle, kHandlesFollow)},
        {kPoint, decoded("POINT", &Decoder::decodePoint, kHandlesFollow)},
        {kEllipse, decoded("ELLIPSE", &Decoder::decodeEllipse, kHandlesFollow)},
        {kSolid, decoded("SOLID", &Decoder::decodeSolid, kHandlesFollow)},
        {kSpline, decoded("SPLINE", &Decoder::decodeSpline, kHandlesFollow)},
        {kSeqend, decoded("SEQEND", &Decoder::decodeSeqend, kHandlesFollow)},
        {kEndblk, decoded("ENDBLK", &Decoder::decodeEndblk, kHandlesFollow)},
        {kBlock, decoded("BLOCK", &Decoder::decodeBlock, kHandlesFollow)},
        {kVertex2d, decoded("VERTEX", &Decoder::decodeVertex, kHandlesFollow)},
        {kVertex3d, decoded("VERTEX", &Decoder::decodeVertex, kHandlesFollow)},
        {kVertexMesh, decoded("VERTEX", &Decoder::decodeVertex, kHandlesFollow)},
        {kVertexPface, decoded("VERTEX", &Decoder::decodeVertex, kHandlesFollow)},
        {kVertexPfaceFace, decoded("VERTEX", &Decoder::decodeVertex, kHandlesFollow)},
        {kLwpline, decoded("LWPOLYLINE", &Decoder::decodeLwPolyline, kHandlesFollow)},
        {kText, decoded("TEXT", &Decoder::decodeText)},
        {kAttrib, decoded("ATTRIB", &Decoder::decodeText)},
        {kAttdef, decoded("ATTDEF", &Decoder::decodeText)},
        {kMtext, decoded("MTEXT", &Decoder::decodeMText)},
        {kInsert, decoded("INSERT", &Decoder::decodeInsert)},
        {kMinsert, decoded("INSERT", &Decoder::decodeInsert)},
        {kPolyline2d, decoded("POLYLINE", &Decoder::decodePolyline)},
        {kPolyline3d, decoded("POLYLINE", &Decoder::decodePolyline)},
        {kPolylinePface, decoded("POLYLINE", &Decoder::decodePolyline)},
        {kPolylineMesh, decoded("POLYLINE", &Decoder::decodePolyline)},
        {kDimOrdinate, decoded("DIMENSION", &Decoder::decodeDimension)},
        {kDimLinear, decoded("DIMENSION", &Decoder::decodeDimension)},
        {kDimAligned, decoded("DIMENSION", &Decoder::decodeDimension)},
        {kDimAng3pt, decoded("DIMENSION", &Decoder::decodeDimension)},
        {kDimAng2ln, decoded("DIMENSION", &Decoder::decodeDimension)},
        {kDimRadius, decoded("DIMENSION", &Decoder::decodeDimension)},
        {kDimDiameter, decoded("DIMENSION", &Decoder::decodeDimension)},
        {kViewport, decoded("VIEWPORT", &Decoder::decodeViewport)},
        {kHatch, decoded("HATCH", &Decoder::decodeHatch)},
        {kLayer, decoded("LAYER", &Decoder::decodeLayer)},
        {kStyle, decoded("STYLE", &Decoder::decodeStyle)},
        {kLtype, decoded("LTYPE", &Decoder::decodeLtype)},
        {kBlockHeader, decoded("BLOCK_RECORD", &Decoder::decodeBlockHeader)},
        {kAppid, decoded("APPID", &Decoder::decodeAppid)},
        {kDimstyle, decoded("DIMSTYLE", &Decoder::decodeDimstyle)},
        {kDictionary, decoded("DICTIONARY", &Decoder::decodeDictionary)},
        {kLayout, decoded("LAYOUT", &Decoder::decodeLayout)},
        // the table controls, and the viewport entity headers DXF has not: the tables are
        // read from their entries
        {kBlockControl, dropped(Outcome::Control)},
        {kLayerControl, dropped(Outcome::Control)},
        {kStyleControl, dropped(Outcome::Control)},
        {kLtypeControl, dropped(Outcome::Control)},
        {kViewControl, dropped(Outcome::Control)},
        {kUcsControl, dropped(Outcome::Control)},
        {kVportControl, dropped(Outcome::Control)},
        {kAppidControl, dropped(Outcome::Control)},
        {kDimstyleControl, dropped(Outcome::Control)},
        {kVpEntHdrControl, dropped(Outcome::Control)},
        {kVpEntHdr, dropped(Outcome::Control)},
        {kRegion, dropped(Outcome::Solid)},
        {kSolid3d, dropped(Outcome::Solid)},
        {kBody, dropped(Outcome::Solid)},
        {kProxyEntity, dropped(Outcome::Proxy)},
        {kProxyObject, dropped(Outcome::Proxy)},
    };
    return kinds;
}

// The kinds whose type number a class gives, by the class's DXF name.
const std::unordered_map<std::string_view, RecordKind>& classKinds() {
    using Decoder = ObjectDecoder;
    static const std::unordered_map<std::string_view, RecordKind> kinds = {
        {"LWPOLYLINE", decoded("LWPOLYLINE", &Decoder::decodeLwPolyline, kHandlesFollow)},
        {"HATCH", decoded("HATCH", &Decoder::decodeHatch)},
        {"LAYOUT", decoded("LAYOUT", &Decoder::decodeLayout)},
        {"DICTIONARYWDFLT", decoded("ACDBDICTIONARYWDFLT", &Decoder::decodeDictionaryWithDefault)},
        {"ACDBDICTIONARYWDFLT",
         decoded("ACDBDICTIONARYWDFLT", &Decoder::decodeDictionaryWithDefault)},
        {"3DSOLID", dropped(Outcome::Solid)},
        {"REGION", dropped(Outcome::Solid)},
        {"BODY", dropped(Outcome::Solid)},
        {"ACAD_PROXY_ENTITY", dropped(Outcome::Proxy)},
        {"ACAD_PROXY_OBJECT", dropped(Outcome::Proxy)},
    };
    return kinds;
}

// The kind of a record of type `type`, whose class (of a class type) is `cls`.
RecordKind kindOf(int type, const ClassDef* cls) {
    const auto& fixed = fixedKinds();
    if (auto it = fixed.find(type); it != fixed.end()) return it->second;
    if (cls) {
        const auto& byName = classKinds();
        if (auto it = byName.find(cls->dxfName); it != byName.end()) return it->second;
        if (cls->wasProxy) return dropped(Outcome::Proxy);
    }
    return dropped(Outcome::Unknown);
}

// Entity types of the fixed numbering (classes say it themselves).
bool fixedIsEntity(int type) {
    return (type >= kText && type <= kXline) || type == kMtext || type == kOleFrame ||
           type == kDummy || type == kLongTransaction || type == kLwpline || type == kHatch;
}

}  // namespace

std::vector<Handle> ObjectDecoder::readHandles(std::uint64_t count) {
    std::vector<Handle> handles;
    if (!streams.h().fits(count, 8)) {
        streams.h().fail();
        return handles;
    }
    handles.reserve(std::size_t(count));
    for (std::uint64_t i = 0; i < count; ++i)
        handles.push_back(readHandle());
    return handles;
}

std::uint32_t ObjectDecoder::readCount(std::size_t minBits) {
    const std::int32_t count = data().BL();
    if (count < 0 || !data().fits(std::uint64_t(count), minBits)) {
        data().fail();
        return 0;
    }
    return std::uint32_t(count);
}

Vec3 ObjectDecoder::readPoint2RD(double z) {
    Vec3 point = data().RD2();
    point.z = z;
    return point;
}

void ObjectDecoder::readObjectHandles(Record& record) {
    record.common.owner = readHandle();
    record.common.reactors = readHandles(reactorCount);
    if (!noXdictionary) record.common.xdictionary = readHandle();
}

void ObjectDecoder::readEntityHandles(Record& record) {
    EntityCommon& entity = record.entity;
    const EntityFlags& flags = entityFlags;
    if (flags.entityMode == kOwnerByHandle) record.common.owner = readHandle();
    record.common.reactors = readHandles(reactorCount);
    if (!noXdictionary) record.common.xdictionary = readHandle();
    if (version <= R14) {
        entity.layer = readHandle();
        if (!flags.linetypeByLayer) entity.linetype = readHandle();
    }
    if (version <= R2000 && !flags.noLinks) {
        entity.prev = readHandle();
        entity.next = readHandle();
    }
    if (version >= R2004 && flags.hasColorBookHandle) readHandle();
    if (version >= R2000) {
        entity.layer = readHandle();
        if (flags.linetypeFlags == kByHandle) entity.linetype = readHandle();
    }
    if (version >= R2007 && flags.materialFlags == kByHandle) readHandle();
    if (version >= R2000 && flags.plotStyleFlags == kByHandle) entity.plotStyle = readHandle();
    if (version >= R2010) {
        if (flags.hasFullVisualStyle) readHandle();
        if (flags.hasFaceVisualStyle) readHandle();
        if (flags.hasEdgeVisualStyle) readHandle();
    }
}

ObjectDecoder::Outcome ObjectDecoder::decode(std::size_t offset, Record& record,
                                             DecodeResult& error) {
    const Bytes& objects = sections.objects;
    const char* section = version <= R2000 ? "objects" : "AcDb:AcDbObjects";
    BitReader head(objects.data, objects.size, version);
    head.seek(offset * 8);
    const std::uint32_t size = head.MS();
    const std::uint64_t handleStreamBits = version >= R2010 ? head.UMC() : 0;
    const std::size_t start = head.pos() / 8;
    if (head.failed() || size > objects.size - start || objects.size - start - size < 2) {
        error = damaged(section, offset, "object runs past the end of its section");
        return Outcome::Unknown;
    }
    streams = Streams{};
    streams.data = BitReader(objects.data, start + size, version);
    streams.data.seek(start * 8);
    BitReader& bits = streams.data;
    const std::size_t startBit = start * 8;
    const std::size_t endBit = startBit + std::size_t(size) * 8;
    const int type = bits.OT();
    std::size_t handleStart = 0;
    if (version >= R2010) {
        if (handleStreamBits > std::size_t(size) * 8) {
            error = damaged(section, offset, "handle stream larger than its object");
            return Outcome::Unknown;
        }
        handleStart = endBit - std::size_t(handleStreamBits);
    } else if (version >= R2000) {
        handleStart = startBit + bits.RL();
    }
    const Handle handle = bits.H().value;
    self = handle;
    record.common.handle = handle;
    record.common.type = type;
    for (int guard = 0; guard < 4096; ++guard) {  // extended data: skipped
        const int xdataBytes = std::uint16_t(bits.BS());
        if (xdataBytes == 0 || bits.failed()) break;
        bits.H();  // application
        bits.skipBits(std::size_t(xdataBytes) * 8);
    }
    const ClassDef* cls = nullptr;
    bool isEntity = fixedIsEntity(type);
    if (type >= kFirstClassType) {
        const std::size_t classIndex = std::size_t(type - kFirstClassType);
        if (classIndex < out.classes.size()) cls = &out.classes[classIndex];
        for (const auto& classDef : out.classes)
            if (classDef.number == type) cls = &classDef;
        isEntity = cls ? cls->isEntity : type == kProxyEntity;
    }
    record.isEntity = isEntity;
    if (isEntity) {
        if (bits.B()) {  // its graphics: skipped
            const std::uint64_t previewBytes = version >= R2010 ? bits.BLL() : bits.RL();
            if (previewBytes > bits.remaining() / 8)
                bits.fail();
            else
                bits.skipBits(std::size_t(previewBytes) * 8);
        }
        if (version <= R14) handleStart = startBit + bits.RL();
    } else if (version <= R14) {
        handleStart = startBit + bits.RL();
    }
    if (bits.failed() || handleStart > endBit || handleStart < bits.pos()) return Outcome::Unknown;
    streams.handles = BitReader(objects.data, endBit / 8, version);
    streams.handles.seek(handleStart);
    streams.splitHandles = true;
    if (version >= R2007) {
        streams.strings = BitReader(objects.data, handleStart / 8 + 1, version);
        streams.strings.limit(handleStart);
        locateStrings(streams.strings, handleStart - 1);
        streams.splitStrings = true;
    }
    bits.limit(handleStart);
    if (isEntity) {
        entityFlags = EntityFlags();
        EntityCommon& entity = record.entity;
        entityFlags.entityMode = bits.BB();
        reactorCount = readCount(8);
        noXdictionary = version >= R2004 && bits.B();
        if (version >= R2013) bits.B();  // has DS binary data
        if (version <= R14) entityFlags.linetypeByLayer = bits.B();
        if (version <= R2000) entityFlags.noLinks = bits.B();
        entity.color =
            version >= R2004 ? bits.ENC(&entityFlags.hasColorBookHandle) : Color{bits.BS(), -1};
        entity.linetypeScale = bits.BD();
        if (version >= R2000) {
            entityFlags.linetypeFlags = bits.BB();
            entityFlags.plotStyleFlags = bits.BB();
        }
        if (version >= R2007) {
            entityFlags.materialFlags = bits.BB();
            bits.RC();  // shadow flags
        }
        if (version >= R2010) {
            entityFlags.hasFullVisualStyle = bits.B();
            entityFlags.hasFaceVisualStyle = bits.B();
            entityFlags.hasEdgeVisualStyle = bits.B();
        }
        entity.invisible = bits.BS() & 1;
        if (version >= R2000) entity.lineweight = lineweightOf(bits.RC());
        entity.linetypeFlags = version >= R2000 ? entityFlags.linetypeFlags
                                                : (entityFlags.linetypeByLayer ? 0 : kByHandle);
        entity.paperSpace = entityFlags.entityMode == kOwnerPaperSpace;
        if (entityFlags.entityMode == kOwnerPaperSpace)
            record.common.owner = out.header.paperSpaceBlock;
        if (entityFlags.entityMode == kOwnerModelSpace)
            record.common.owner = out.header.modelSpaceBlock;
    } else {
        reactorCount = readCount(8);
        noXdictionary = version >= R2004 && bits.B();
        if (version >= R2013) bits.B();  // has DS binary data
    }
    const RecordKind kind = kindOf(type, cls);
    if (!kind.decode) return kind.outcome;
    record.common.dxfName = kind.dxfName;
    (this->*kind.decode)(record, type);
    if (kind.handlesFollow && record.isEntity) readEntityHandles(record);
    if (streams.failed()) return Outcome::Unknown;
    // Only what is kept is checked: the bytes of a record that is dropped are never used, and
    // in many drawings most bytes are such records (XRECORDs above all). Decoding before the
    // check is safe, as every read is bounded by the record.
    const std::uint16_t stored =
        std::uint16_t(objects.data[start + size] | objects.data[start + size + 1] << 8);
    if (crc16(0xC0C1, objects.data + offset, start + size - offset) != stored) {
        error = damaged(section, offset, "wrong object CRC");
        return Outcome::Unknown;
    }
    return Outcome::Decoded;
}

DecodeResult readObjects(const Sections& sections, const TextContext& texts, Drawing& out) {
    ObjectDecoder decoder(sections, texts, out);
    const char* section = sections.version <= R2000 ? "object map" : "AcDb:Handles";
    out.records.reserve(out.objectMap.size());
    for (const auto& entry : out.objectMap) {
        if (entry.offset < 0 || std::uint64_t(entry.offset) >= sections.objects.size)
            return damaged(section, std::uint64_t(entry.offset),
                           "object map points outside the " +
                               std::string(sections.version <= R2000 ? "file" : "objects section"));
        Record record;
        DecodeResult error;
        const Outcome outcome = decoder.decode(std::size_t(entry.offset), record, error);
        if (error.status != Status::Ok) return error;
        switch (outcome) {
            case Outcome::Decoded:
                out.records.push_back(std::move(record));
                continue;
            case Outcome::Proxy:
                ++out.skippedProxies;
                break;
            case Outcome::Solid:
                ++out.skippedSolids;
                break;
            case Outcome::Unknown:
                ++out.skippedUnknown;
                break;
            case Outcome::Control:
                continue;
        }
        if (record.isEntity) ++out.skippedEntities;
    }
    return {};
}

}  // namespace qkshost::dwg
