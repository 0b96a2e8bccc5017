// The decoder of the records of the objects section. It reads what every record starts with
// (size, type, handle, extended data, the common entity or object data) and hands the rest
// to the decoder of the record's family (tables, objects, curves, annotation, hatches), found
// in a table by object type. All of them read the record through one RecordCursor.
#pragma once

#include <cstddef>

#include "annotation_records.h"
#include "curve_records.h"
#include "hatch_records.h"
#include "object_records.h"
#include "record_codes.h"
#include "record_cursor.h"
#include "sections.h"
#include "table_records.h"

namespace qkshost::dwg {

class ObjectDecoder {
  public:
    enum class Outcome { Decoded, Proxy, Solid, Unknown, Control };

    ObjectDecoder(const Sections& sections, const TextContext& texts, Drawing& out)
        : sections_(sections),
          out_(out),
          version_(sections.version),
          in_(texts, sections.version),
          tables_(in_),
          objects_(in_),
          curves_(in_),
          annotations_(in_),
          hatches_(in_) {}
    ObjectDecoder(const ObjectDecoder&) = delete;
    ObjectDecoder& operator=(const ObjectDecoder&) = delete;

    // Decodes the record at byte `offset` of the objects section into `record`. A damaged
    // record sets `error`; kinds not decoded say why by the outcome.
    Outcome decode(std::size_t offset, Record& record, DecodeResult& error);

    // The decoder of one family, for the table of record kinds.
    template <class Family>
    Family& family();

  private:
    // The common entity data, after the record's graphics.
    void readEntityCommon(Record& record);

    const Sections& sections_;
    Drawing& out_;
    Version version_;
    RecordCursor in_;
    TableRecordDecoder tables_;
    ObjectRecordDecoder objects_;
    CurveRecordDecoder curves_;
    AnnotationRecordDecoder annotations_;
    HatchRecordDecoder hatches_;
};

template <>
inline TableRecordDecoder& ObjectDecoder::family() {
    return tables_;
}
template <>
inline ObjectRecordDecoder& ObjectDecoder::family() {
    return objects_;
}
template <>
inline CurveRecordDecoder& ObjectDecoder::family() {
    return curves_;
}
template <>
inline AnnotationRecordDecoder& ObjectDecoder::family() {
    return annotations_;
}
template <>
inline HatchRecordDecoder& ObjectDecoder::family() {
    return hatches_;
}

}  // namespace qkshost::dwg
