// The non-graphical objects kept: dictionaries and layouts with their plot settings.
#pragma once

#include "record_cursor.h"

namespace qkshost::dwg {

class ObjectRecordDecoder {
  public:
    explicit ObjectRecordDecoder(RecordCursor& in) : in_(in) {}

    // Each decodes the kind's data of the record under the cursor into `record`; `type` is
    // the record's object type.
    void decodeDictionary(Record& record, int type);
    void decodeDictionaryWithDefault(Record& record, int type);
    void decodeLayout(Record& record, int type);

  private:
    void readDictionary(Record& record, bool withDefault);

    RecordCursor& in_;
};

}  // namespace qkshost::dwg
