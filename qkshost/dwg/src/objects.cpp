// The records of the objects section: what every record starts with (size, type, handle,
// extended data, the common entity or object data), then the record's kind decoded by the
// family decoder a table names for its object type.
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
using DecodeFn = void (*)(ObjectDecoder&, Record&, int type);

template <class Member>
struct FamilyOf;
template <class Family>
struct FamilyOf<void (Family::*)(Record&, int)> {
    using type = Family;
};

// Decodes with `Fn`, a member of the decoder of one family.
template <auto Fn>
void with(ObjectDecoder& decoder, Record& record, int type) {
    using Family = typename FamilyOf<decltype(Fn)>::type;
    (decoder.family<Family>().*Fn)(record, type);
}

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
    static const std::unordered_map<int, RecordKind> kinds = {
        {kLine, decoded("LINE", with<&CurveRecordDecoder::decodeLine>, kHandlesFollow)},
        {kCircle, decoded("CIRCLE", with<&CurveRecordDecoder::decodeCircle>, kHandlesFollow)},
        {kArc, decoded("ARC", with<&CurveRecordDecoder::decodeCircle>, kHandlesFollow)},
        {kPoint, decoded("POINT", with<&CurveRecordDecoder::decodePoint>, kHandlesFollow)},
        {kEllipse, decoded("ELLIPSE", with<&CurveRecordDecoder::decodeEllipse>, kHandlesFollow)},
        {kSolid, decoded("SOLID", with<&CurveRecordDecoder::decodeSolid>, kHandlesFollow)},
        {kSpline, decoded("SPLINE", with<&CurveRecordDecoder::decodeSpline>, kHandlesFollow)},
        {kSeqend, decoded("SEQEND", with<&CurveRecordDecoder::decodeSeqend>, kHandlesFollow)},
        {kEndblk, decoded("ENDBLK", with<&CurveRecordDecoder::decodeEndblk>, kHandlesFollow)},
        {kBlock, decoded("BLOCK", with<&CurveRecordDecoder::decodeBlock>, kHandlesFollow)},
        {kVertex2d, decoded("VERTEX", with<&CurveRecordDecoder::decodeVertex>, kHandlesFollow)},
        {kVertex3d, decoded("VERTEX", with<&CurveRecordDecoder::decodeVertex>, kHandlesFollow)},
        {kVertexMesh, decoded("VERTEX", with<&CurveRecordDecoder::decodeVertex>, kHandlesFollow)},
        {kVertexPface, decoded("VERTEX", with<&CurveRecordDecoder::decodeVertex>, kHandlesFollow)},
        {kVertexPfaceFace,
         decoded("VERTEX", with<&CurveRecordDecoder::decodeVertex>, kHandlesFollow)},
        {kLwpline,
         decoded("LWPOLYLINE", with<&CurveRecordDecoder::decodeLwPolyline>, kHandlesFollow)},
        {kText, decoded("TEXT", with<&AnnotationRecordDecoder::decodeText>)},
        {kAttrib, decoded("ATTRIB", with<&AnnotationRecordDecoder::decodeText>)},
        {kAttdef, decoded("ATTDEF", with<&AnnotationRecordDecoder::decodeText>)},
        {kMtext, decoded("MTEXT", with<&AnnotationRecordDecoder::decodeMText>)},
        {kInsert, decoded("INSERT", with<&AnnotationRecordDecoder::decodeInsert>)},
        {kMinsert, decoded("INSERT", with<&AnnotationRecordDecoder::decodeInsert>)},
        {kPolyline2d, decoded("POLYLINE", with<&CurveRecordDecoder::decodePolyline>)},
        {kPolyline3d, decoded("POLYLINE", with<&CurveRecordDecoder::decodePolyline>)},
        {kPolylinePface, decoded("POLYLINE", with<&CurveRecordDecoder::decodePolyline>)},
        {kPolylineMesh, decoded("POLYLINE", with<&CurveRecordDecoder::decodePolyline>)},
        {kDimOrdinate, decoded("DIMENSION", with<&AnnotationRecordDecoder::decodeDimension>)},
        {kDimLinear, decoded("DIMENSION", with<&AnnotationRecordDecoder::decodeDimension>)},
        {kDimAligned, decoded("DIMENSION", with<&AnnotationRecordDecoder::decodeDimension>)},
        {kDimAng3pt, decoded("DIMENSION", with<&AnnotationRecordDecoder::decodeDimension>)},
        {kDimAng2ln, decoded("DIMENSION", with<&AnnotationRecordDecoder::decodeDimension>)},
        {kDimRadius, decoded("DIMENSION", with<&AnnotationRecordDecoder::decodeDimension>)},
        {kDimDiameter, decoded("DIMENSION", with<&AnnotationRecordDecoder::decodeDimension>)},
        {kViewport, decoded("VIEWPORT", with<&AnnotationRecordDecoder::decodeViewport>)},
        {kHatch, decoded("HATCH", with<&HatchRecordDecoder::decodeHatch>)},
        {kLayer, decoded("LAYER", with<&TableRecordDecoder::decodeLayer>)},
        {kStyle, decoded("STYLE", with<&TableRecordDecoder::decodeStyle>)},
        {kLtype, decoded("LTYPE", with<&TableRecordDecoder::decodeLtype>)},
        {kBlockHeader, decoded("BLOCK_RECORD", with<&TableRecordDecoder::decodeBlockHeader>)},
        {kAppid, decoded("APPID", with<&TableRecordDecoder::decodeAppid>)},
        {kDimstyle, decoded("DIMSTYLE", with<&TableRecordDecoder::decodeDimstyle>)},
        {kDictionary, decoded("DICTIONARY", with<&ObjectRecordDecoder::decodeDictionary>)},
        {kLayout, decoded("LAYOUT", with<&ObjectRecordDecoder::decodeLayout>)},
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
    static const std::unordered_map<std::string_view, RecordKind> kinds = {
        {"LWPOLYLINE",
         decoded("LWPOLYLINE", with<&CurveRecordDecoder::decodeLwPolyline>, kHandlesFollow)},
        {"HATCH", decoded("HATCH", with<&HatchRecordDecoder::decodeHatch>)},
        {"LAYOUT", decoded("LAYOUT", with<&ObjectRecordDecoder::decodeLayout>)},
        {"DICTIONARYWDFLT",
         decoded("ACDBDICTIONARYWDFLT", with<&ObjectRecordDecoder::decodeDictionaryWithDefault>)},
        {"ACDBDICTIONARYWDFLT",
         decoded("ACDBDICTIONARYWDFLT", with<&ObjectRecordDecoder::decodeDictionaryWithDefault>)},
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

void ObjectDecoder::readEntityCommon(Record& record) {
    BitReader& bits = in_.streams.data;
    in_.entityFlags = RecordCursor::EntityFlags();
    EntityCommon& entity = record.entity;
    in_.entityFlags.entityMode = bits.BB();
    in_.reactorCount = in_.readCount(8);
    in_.noXdictionary = version_ >= R2004 && bits.B();
    if (version_ >= R2013) bits.B();  // has DS binary data
    if (version_ <= R14) in_.entityFlags.linetypeByLayer = bits.B();
    if (version_ <= R2000) in_.entityFlags.noLinks = bits.B();
    entity.color =
        version_ >= R2004 ? bits.ENC(&in_.entityFlags.hasColorBookHandle) : Color{bits.BS(), -1};
    entity.linetypeScale = bits.BD();
    if (version_ >= R2000) {
        in_.entityFlags.linetypeFlags = bits.BB();
        in_.entityFlags.plotStyleFlags = bits.BB();
    }
    if (version_ >= R2007) {
        in_.entityFlags.materialFlags = bits.BB();
        bits.RC();  // shadow flags
    }
    if (version_ >= R2010) {
        in_.entityFlags.hasFullVisualStyle = bits.B();
        in_.entityFlags.hasFaceVisualStyle = bits.B();
        in_.entityFlags.hasEdgeVisualStyle = bits.B();
    }
    entity.invisible = bits.BS() & 1;
    if (version_ >= R2000) entity.lineweight = lineweightOf(bits.RC());
    entity.linetypeFlags = version_ >= R2000 ? in_.entityFlags.linetypeFlags
                                             : (in_.entityFlags.linetypeByLayer ? 0 : kByHandle);
    entity.paperSpace = in_.entityFlags.entityMode == kOwnerPaperSpace;
    if (in_.entityFlags.entityMode == kOwnerPaperSpace)
        record.common.owner = out_.header.paperSpaceBlock;
    if (in_.entityFlags.entityMode == kOwnerModelSpace)
        record.common.owner = out_.header.modelSpaceBlock;
}

ObjectDecoder::Outcome ObjectDecoder::decode(std::size_t offset, Record& record,
                                             DecodeResult& error) {
    const Bytes& objects = sections_.objects;
    const char* section = version_ <= R2000 ? "objects" : "AcDb:AcDbObjects";
    BitReader head(objects.data, objects.size, version_);
    head.seek(offset * 8);
    const std::uint32_t size = head.MS();
    const std::uint64_t handleStreamBits = version_ >= R2010 ? head.UMC() : 0;
    const std::size_t start = head.pos() / 8;
    if (head.failed() || size > objects.size - start || objects.size - start - size < 2) {
        error = damaged(section, offset, "object runs past the end of its section");
        return Outcome::Unknown;
    }
    in_.streams = Streams{};
    in_.streams.data = BitReader(objects.data, start + size, version_);
    in_.streams.data.seek(start * 8);
    BitReader& bits = in_.streams.data;
    const std::size_t startBit = start * 8;
    const std::size_t endBit = startBit + std::size_t(size) * 8;
    const int type = bits.OT();
    std::size_t handleStart = 0;
    if (version_ >= R2010) {
        if (handleStreamBits > std::size_t(size) * 8) {
            error = damaged(section, offset, "handle stream larger than its object");
            return Outcome::Unknown;
        }
        handleStart = endBit - std::size_t(handleStreamBits);
    } else if (version_ >= R2000) {
        handleStart = startBit + bits.RL();
    }
    const Handle handle = bits.H().value;
    in_.self = handle;
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
        if (classIndex < out_.classes.size()) cls = &out_.classes[classIndex];
        for (const auto& classDef : out_.classes)
            if (classDef.number == type) cls = &classDef;
        isEntity = cls ? cls->isEntity : type == kProxyEntity;
    }
    record.isEntity = isEntity;
    if (isEntity) {
        if (bits.B()) {  // its graphics: skipped
            const std::uint64_t previewBytes = version_ >= R2010 ? bits.BLL() : bits.RL();
            if (previewBytes > bits.remaining() / 8)
                bits.fail();
            else
                bits.skipBits(std::size_t(previewBytes) * 8);
        }
        if (version_ <= R14) handleStart = startBit + bits.RL();
    } else if (version_ <= R14) {
        handleStart = startBit + bits.RL();
    }
    if (bits.failed() || handleStart > endBit || handleStart < bits.pos()) return Outcome::Unknown;
    in_.streams.handles = BitReader(objects.data, endBit / 8, version_);
    in_.streams.handles.seek(handleStart);
    in_.streams.splitHandles = true;
    if (version_ >= R2007) {
        in_.streams.strings = BitReader(objects.data, handleStart / 8 + 1, version_);
        in_.streams.strings.limit(handleStart);
        locateStrings(in_.streams.strings, handleStart - 1);
        in_.streams.splitStrings = true;
    }
    bits.limit(handleStart);
    if (isEntity) {
        readEntityCommon(record);
    } else {
        in_.reactorCount = in_.readCount(8);
        in_.noXdictionary = version_ >= R2004 && bits.B();
        if (version_ >= R2013) bits.B();  // has DS binary data
    }
    const RecordKind kind = kindOf(type, cls);
    if (!kind.decode) return kind.outcome;
    record.common.dxfName = kind.dxfName;
    kind.decode(*this, record, type);
    if (kind.handlesFollow && record.isEntity) in_.readEntityHandles(record);
    if (in_.streams.failed()) return Outcome::Unknown;
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
