// The record being decoded, as the kind decoders read it: its three bit streams (data,
// strings, handles), its handle (which handle references may be relative to) and what its
// common data announced about the handles after the kind's own data. One cursor serves every
// record of a file in turn; the ObjectDecoder sets it up for each record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "record_codes.h"
#include "sections.h"

namespace qkshost::dwg {

struct RecordCursor {
    RecordCursor(const TextContext& texts, Version version) : texts(texts), version(version) {}

    const TextContext& texts;
    Version version;
    Streams streams;  // of the record being decoded
    Handle self = 0;  // its handle, which handle references may be relative to
    std::uint32_t reactorCount = 0;
    bool noXdictionary = false;  // 2004 and later: no extension dictionary handle follows
    // What the common entity data announced about the handles after the kind's own data.
    struct EntityFlags {
        int entityMode = kOwnerByHandle;
        int linetypeFlags = 0, plotStyleFlags = 0, materialFlags = 0;
        bool linetypeByLayer = false;     // R13-R14
        bool noLinks = false;             // R13-R2000: no previous / next entity handles
        bool hasColorBookHandle = false;  // 2004 and later
        bool hasFullVisualStyle = false, hasFaceVisualStyle = false, hasEdgeVisualStyle = false;
    } entityFlags;

    // ---- the three streams ----
    BitReader& data() { return streams.data; }
    std::string readText() { return texts.read(streams.t()); }
    Handle readHandle() { return streams.h().H().resolve(self); }
    std::vector<Handle> readHandles(std::uint64_t count);
    // A count of items of at least `minBits` each, 0 (and the data stream failed) when they
    // cannot fit in what is left of the record.
    std::uint32_t readCount(std::size_t minBits);
    Vec3 readPoint2RD(double z = 0);

    // Owner, reactors and extension dictionary of a non-entity object.
    void readObjectHandles(Record& record);
    // The handles every entity has after its own data.
    void readEntityHandles(Record& record);
};

}  // namespace qkshost::dwg
