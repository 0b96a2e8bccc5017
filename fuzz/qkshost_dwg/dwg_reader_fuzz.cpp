// Fuzz target of the DWG codec: the decoder, then the adapter that fills the drawing database
// from what it decoded, and the DXF writer on that database (what SAVEAS does with a drawing
// read from DWG).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qkshost/drawing/database.h"
#include "qkshost/dwg/dwg.h"
#include "qkshost/dwg/reader.h"
#include "qkshost/dxf/dxf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    qkshost::dwg::Drawing decoded;
    const qkshost::dwg::DecodeResult r = qkshost::dwg::decode(bytes, decoded);
    if (r.status != qkshost::dwg::Status::Ok) {
        if (r.message.empty()) __builtin_trap();  // failures explain
        return 0;
    }
    qkshost::drawing::Database db(false);
    const qkshost::drawing::ReadResult read = qkshost::dwg::readDwg(db, bytes);
    if (read.status != qkshost::drawing::Status::Ok) {
        if (read.message.empty()) __builtin_trap();
        return 0;
    }
    (void)qkshost::dxf::writeDxf(db);
    return 0;
}
