// Fuzz target of the renderer: a drawing that reads is rendered layout by layout and its plot
// areas computed, so every entity the reader lets through meets the renderer.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "qkshost/drawing/database.h"
#include "qkshost/dxf/dxf.h"
#include "qkshost/render/renderer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qkshost::drawing::Database db(false);
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (qkshost::dxf::readDxf(db, input).status != qkshost::drawing::Status::Ok) return 0;
    for (const qkshost::drawing::ObjectIndex layout : db.layouts()) {
        const qkshost::pdf::DisplayList list = qkshost::render::renderLayout(db, layout);
        for (const auto type : {qkshost::pdf::PlotType::Extents, qkshost::pdf::PlotType::Limits,
                                qkshost::pdf::PlotType::Layout})
            qkshost::render::plotArea(db, layout, type, list);
    }
    return 0;
}
