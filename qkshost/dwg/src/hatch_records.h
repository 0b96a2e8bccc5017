// HATCH entities: boundary loops (polylines or edges), pattern and seed points. The hatch
// reads the common entity handles itself, before its own.
#pragma once

#include "record_cursor.h"

namespace qkshost::dwg {

class HatchRecordDecoder {
  public:
    explicit HatchRecordDecoder(RecordCursor& in) : in_(in) {}

    // Each decodes the kind's data of the record under the cursor into `record`; `type` is
    // the record's object type.
    void decodeHatch(Record& record, int type);

  private:
    HatchSegment readHatchEdge();

    RecordCursor& in_;
};

}  // namespace qkshost::dwg
