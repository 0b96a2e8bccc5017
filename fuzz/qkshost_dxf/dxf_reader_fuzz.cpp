// Fuzz target of the DXF reader (ASCII and binary). A drawing that reads is also measured,
// evaluated along its curves, written and read again, so the code that consumes what the
// reader accepted is exercised with the same input.
#include "qkshost/drawing/database.h"
#include "qkshost/drawing/geometry.h"
#include "qkshost/dxf/dxf.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace qkshost::drawing;
using namespace qkshost::dxf;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Database db(false);
    std::string_view input(reinterpret_cast<const char*>(data), size);
    ReadResult r = readDxf(db, input);
    if (r.status != Status::Ok) return 0;
    for (std::size_t i = 1; i <= db.objectCount(); ++i) {
        ObjectIndex idx = ObjectIndex(i);
        const Object* o = db.object(idx);
        if (!o->isEntity()) continue;
        Extents3d box;
        entityExtents(db, idx, box);
        double t0, t1;
        Point3d p;
        if (curveStartParam(db, idx, t0) == Status::Ok &&
            curveEndParam(db, idx, t1) == Status::Ok) {
            curvePointAtParam(db, idx, t0, p);
            curvePointAtParam(db, idx, (t0 + t1) / 2, p);
            curvePointAtParam(db, idx, t1, p);
        }
    }
    std::string out = writeDxf(db);
    Database again(false);
    ReadResult back = readDxf(again, out);
    if (back.status != Status::Ok) __builtin_trap();  // what we write must read back
    return 0;
}
