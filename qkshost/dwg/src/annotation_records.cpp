#include "annotation_records.h"

namespace qkshost::dwg {

void AnnotationRecordDecoder::decodeText(Record& record, int type) {
    TextRec text;
    if (in_.version <= R14) {
        text.elevation = in_.data().BD();
        text.position = in_.readPoint2RD(text.elevation);
        text.alignment = in_.readPoint2RD(text.elevation);
        text.extrusion = in_.data().BD3();
        text.thickness = in_.data().BD();
        text.oblique = in_.data().BD();
        text.rotation = in_.data().BD();
        text.height = in_.data().BD();
        text.widthFactor = in_.data().BD();
        text.text = in_.readText();
        text.generation = in_.data().BS();
        text.hAlign = in_.data().BS();
        text.vAlign = in_.data().BS();
        text.hasAlignment = text.hAlign != 0 || text.vAlign != 0;
    } else {
        const int defaults = in_.data().RC();
        if (!(defaults & kTextNoElevation)) text.elevation = in_.data().RD();
        text.position = in_.readPoint2RD(text.elevation);
        if (!(defaults & kTextNoAlignment)) {
            text.alignment.x = in_.data().DD(text.position.x);
            text.alignment.y = in_.data().DD(text.position.y);
            text.alignment.z = text.elevation;
            text.hasAlignment = true;
        }
        text.extrusion = in_.data().BE();
        text.thickness = in_.data().BT();
        if (!(defaults & kTextNoOblique)) text.oblique = in_.data().RD();
        if (!(defaults & kTextNoRotation)) text.rotation = in_.data().RD();
        text.height = in_.data().RD();
        if (!(defaults & kTextNoWidthFactor)) text.widthFactor = in_.data().RD();
        text.text = in_.readText();
        if (!(defaults & kTextNoGeneration)) text.generation = in_.data().BS();
        if (!(defaults & kTextNoHAlign)) text.hAlign = in_.data().BS();
        if (!(defaults & kTextNoVAlign)) text.vAlign = in_.data().BS();
    }
    if (type != kText) {
        int attributeType = kAttributeSingleLine;
        if (in_.version >= R2010) in_.data().RC();  // version
        if (in_.version >= R2018) attributeType = in_.data().RC();
        if (attributeType == kAttributeSingleLine) {
            text.tag = in_.readText();
            text.fieldLength = in_.data().BS();
            text.attribFlags = in_.data().RC();
            if (in_.version >= R2007) text.lockPosition = in_.data().B();
            if (type == kAttdef) {
                if (in_.version >= R2010) in_.data().RC();  // version
                text.prompt = in_.readText();
            }
        }
    }
    in_.readEntityHandles(record);
    text.style = in_.readHandle();
    record.data = std::move(text);
}

void AnnotationRecordDecoder::decodeInsert(Record& record, int type) {
    InsertRec insert;
    insert.position = in_.data().BD3();
    if (in_.version <= R14) {
        insert.scale = in_.data().BD3();
    } else {
        switch (in_.data().BB()) {
            case kScaleUnit:
                insert.scale = {1, 1, 1};
                break;
            case kScaleXIsOne:
                insert.scale.x = 1;
                insert.scale.y = in_.data().DD(1);
                insert.scale.z = in_.data().DD(1);
                break;
            case kScaleUniform:
                insert.scale.x = in_.data().RD();
                insert.scale.y = insert.scale.z = insert.scale.x;
                break;
            default:  // kScaleAllStored
                insert.scale.x = in_.data().RD();
                insert.scale.y = in_.data().DD(insert.scale.x);
                insert.scale.z = in_.data().DD(insert.scale.x);
        }
    }
    insert.rotation = in_.data().BD();
    insert.extrusion = in_.data().BD3();
    const bool hasAttributes = in_.data().B();
    const std::uint32_t ownedCount = (in_.version >= R2004 && hasAttributes) ? in_.readCount(0) : 0;
    if (type == kMinsert) {
        insert.columns = in_.data().BS();
        insert.rows = in_.data().BS();
        insert.columnSpacing = in_.data().BD();
        insert.rowSpacing = in_.data().BD();
    }
    in_.readEntityHandles(record);
    insert.block = in_.readHandle();
    if (hasAttributes) {
        if (in_.version <= R2000) {
            insert.firstAttrib = in_.readHandle();
            insert.lastAttrib = in_.readHandle();
        } else {
            insert.attributes = in_.readHandles(ownedCount);
        }
        insert.seqEnd = in_.readHandle();
    }
    record.data = std::move(insert);
}

void AnnotationRecordDecoder::decodeMText(Record& record, int) {
    MTextRec mtext;
    mtext.position = in_.data().BD3();
    mtext.extrusion = in_.data().BD3();
    mtext.direction = in_.data().BD3();
    mtext.width = in_.data().BD();
    if (in_.version >= R2007) mtext.height = in_.data().BD();
    mtext.textHeight = in_.data().BD();
    mtext.attachment = in_.data().BS();
    mtext.drawingDirection = in_.data().BS();
    in_.data().BD();  // extents height
    in_.data().BD();  // extents width
    mtext.text = in_.readText();
    if (in_.version >= R2000) {
        mtext.lineSpacingStyle = in_.data().BS();
        mtext.lineSpacing = in_.data().BD();
    }
    in_.readEntityHandles(record);
    mtext.style = in_.readHandle();
    record.data = std::move(mtext);
}

void AnnotationRecordDecoder::decodeDimension(Record& record, int type) {
    DimensionRec dimension;
    if (in_.version >= R2010) in_.data().RC();  // version
    dimension.extrusion = in_.data().BD3();
    dimension.textMid = in_.data().RD2();
    dimension.elevation = in_.data().BD();
    dimension.textMid.z = dimension.elevation;
    dimension.flags = in_.data().RC();
    dimension.text = in_.readText();
    dimension.textRotation = in_.data().BD();
    dimension.horizontalDirection = in_.data().BD();
    in_.data().BD3();  // insertion scale
    in_.data().BD();   // insertion rotation
    if (in_.version >= R2000) {
        dimension.attachment = in_.data().BS();
        dimension.lineSpacingStyle = in_.data().BS();
        dimension.lineSpacing = in_.data().BD();
        dimension.measurement = in_.data().BD();
    }
    if (in_.version >= R2007) {
        in_.data().B();
        in_.data().B();
        in_.data().B();
    }
    dimension.insertPoint = in_.readPoint2RD(dimension.elevation);
    switch (type) {
        case kDimOrdinate:
            dimension.dimType = kDimTypeOrdinate;
            dimension.defPoint = in_.data().BD3();
            dimension.p13 = in_.data().BD3();
            dimension.p14 = in_.data().BD3();
            if (in_.data().RC() & 1) dimension.dimType |= kDimOrdinateXType;
            break;
        case kDimLinear:
        case kDimAligned:
            dimension.dimType = type == kDimLinear ? kDimTypeLinear : kDimTypeAligned;
            dimension.p13 = in_.data().BD3();
            dimension.p14 = in_.data().BD3();
            dimension.defPoint = in_.data().BD3();
            dimension.oblique = in_.data().BD();
            if (type == kDimLinear) dimension.angle = in_.data().BD();
            break;
        case kDimAng3pt:
            dimension.dimType = kDimTypeAngular3Point;
            dimension.defPoint = in_.data().BD3();
            dimension.p13 = in_.data().BD3();
            dimension.p14 = in_.data().BD3();
            dimension.p15 = in_.data().BD3();
            break;
        case kDimAng2ln:
            dimension.dimType = kDimTypeAngular2Line;
            dimension.p16 = in_.data().RD2();
            dimension.p13 = in_.data().BD3();
            dimension.p14 = in_.data().BD3();
            dimension.p15 = in_.data().BD3();
            dimension.defPoint = in_.data().BD3();
            break;
        default:  // radius, diameter
            dimension.dimType = type == kDimRadius ? kDimTypeRadius : kDimTypeDiameter;
            dimension.defPoint = in_.data().BD3();
            dimension.p15 = in_.data().BD3();
            dimension.leaderLength = in_.data().BD();
    }
    in_.readEntityHandles(record);
    dimension.dimStyle = in_.readHandle();
    dimension.block = in_.readHandle();
    record.data = std::move(dimension);
}

void AnnotationRecordDecoder::decodeViewport(Record& record, int) {
    ViewportRec viewport;
    viewport.center = in_.data().BD3();
    viewport.width = in_.data().BD();
    viewport.height = in_.data().BD();
    if (in_.version >= R2000) {
        viewport.viewTarget = in_.data().BD3();
        viewport.viewDirection = in_.data().BD3();
        viewport.twist = in_.data().BD();
        viewport.viewHeight = in_.data().BD();
        viewport.lensLength = in_.data().BD();
        in_.data().BD();  // front clip
        in_.data().BD();  // back clip
        in_.data().BD();  // snap angle
        viewport.viewCenterX = in_.data().RD();
        viewport.viewCenterY = in_.data().RD();
        in_.data().RD2();                           // snap base
        in_.data().RD2();                           // snap spacing
        in_.data().RD2();                           // grid spacing
        in_.data().BS();                            // circle zoom
        if (in_.version >= R2007) in_.data().BS();  // grid major
        const std::uint32_t frozenCount = in_.readCount(0);
        viewport.statusFlags = in_.data().BL();
        in_.readText();  // style sheet
        viewport.renderMode = in_.data().RC();
        in_.readEntityHandles(record);
        if (in_.version <= R2000) in_.readHandle();  // viewport entity header
        viewport.frozenLayers = in_.readHandles(frozenCount);
    } else {
        in_.readEntityHandles(record);
    }
    record.data = std::move(viewport);
}

}  // namespace qkshost::dwg
