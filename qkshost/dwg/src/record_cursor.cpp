#include "record_cursor.h"

namespace qkshost::dwg {

std::vector<Handle> RecordCursor::readHandles(std::uint64_t count) {
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

std::uint32_t RecordCursor::readCount(std::size_t minBits) {
    const std::int32_t count = data().BL();
    if (count < 0 || !data().fits(std::uint64_t(count), minBits)) {
        data().fail();
        return 0;
    }
    return std::uint32_t(count);
}

Vec3 RecordCursor::readPoint2RD(double z) {
    Vec3 point = data().RD2();
    point.z = z;
    return point;
}

void RecordCursor::readObjectHandles(Record& record) {
    record.common.owner = readHandle();
    record.common.reactors = readHandles(reactorCount);
    if (!noXdictionary) record.common.xdictionary = readHandle();
}

void RecordCursor::readEntityHandles(Record& record) {
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

}  // namespace qkshost::dwg
