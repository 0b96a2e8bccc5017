// The entities of the annotation family: texts, attributes and attribute definitions, block
// references, multiline texts, dimensions and viewports. Each reads the common entity
// handles itself, before its own.
#pragma once

#include "record_cursor.h"

namespace qkshost::dwg {

class AnnotationRecordDecoder {
  public:
    explicit AnnotationRecordDecoder(RecordCursor& in) : in_(in) {}

    // Each decodes the kind's data of the record under the cursor into `record`; `type` is
    // the record's object type.
    void decodeText(Record& record, int type);    // also ATTRIB, ATTDEF
    void decodeInsert(Record& record, int type);  // also MINSERT
    void decodeMText(Record& record, int type);
    void decodeDimension(Record& record, int type);
    void decodeViewport(Record& record, int type);

  private:
    RecordCursor& in_;
};

}  // namespace qkshost::dwg
