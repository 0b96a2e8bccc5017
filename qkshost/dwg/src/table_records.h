// The table entries: layers, application ids, text styles, linetypes, block records and
// dimension styles.
#pragma once

#include "record_cursor.h"

namespace qkshost::dwg {

class TableRecordDecoder {
  public:
    explicit TableRecordDecoder(RecordCursor& in) : in_(in) {}

    // Each decodes the kind's data of the record under the cursor into `record`; `type` is
    // the record's object type.
    void decodeLayer(Record& record, int type);
    void decodeAppid(Record& record, int type);
    void decodeStyle(Record& record, int type);
    void decodeLtype(Record& record, int type);
    void decodeBlockHeader(Record& record, int type);
    void decodeDimstyle(Record& record, int type);

  private:
    // The name and flags every table entry starts with; `flags` gets the xref bits.
    void readTableHead(std::string& name, int& flags);

    RecordCursor& in_;
};

}  // namespace qkshost::dwg
