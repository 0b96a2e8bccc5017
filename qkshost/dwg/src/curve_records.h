// The entities of the curve family: lines, circles and arcs, points, ellipses, vertices and
// polylines, solids, light polylines and splines; and the block begin, block end and
// sequence end markers, which have no data of their own. Their handles follow the common
// entity handles, which the ObjectDecoder reads after them, except those of the polyline.
#pragma once

#include "record_cursor.h"

namespace qkshost::dwg {

class CurveRecordDecoder {
  public:
    explicit CurveRecordDecoder(RecordCursor& in) : in_(in) {}

    // Each decodes the kind's data of the record under the cursor into `record`; `type` is
    // the record's object type.
    void decodeBlock(Record& record, int type);
    void decodeEndblk(Record& record, int type);
    void decodeSeqend(Record& record, int type);
    void decodeLine(Record& record, int type);
    void decodeCircle(Record& record, int type);  // also ARC
    void decodePoint(Record& record, int type);
    void decodeEllipse(Record& record, int type);
    void decodeVertex(Record& record, int type);
    void decodePolyline(Record& record, int type);
    void decodeSolid(Record& record, int type);
    void decodeLwPolyline(Record& record, int type);
    void decodeSpline(Record& record, int type);

  private:
    RecordCursor& in_;
};

}  // namespace qkshost::dwg
