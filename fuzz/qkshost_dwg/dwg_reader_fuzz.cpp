// Fuzz target of the DWG decoder. A drawing that decodes is also walked through the lists the
// adapter follows (owners, block contents, polyline vertices), so the records it accepted are
// exercised with the same input.
#include "qkshost/dwg/dwg.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace qkshost::dwg;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Drawing d;
    Result r = readDwg(std::string_view(reinterpret_cast<const char*>(data), size), d);
    if (r.status != Status::Ok && r.message.empty()) __builtin_trap();  // failures explain
    for (const Record& rec : d.records) {
        if (auto* b = std::get_if<BlockRecordRec>(&rec.data))
            for (Handle h : b->entities)
                d.find(h);
        if (auto* p = std::get_if<PolylineRec>(&rec.data))
            for (Handle h : p->vertices)
                d.find(h);
        d.find(rec.common.owner);
    }
    return 0;
}
