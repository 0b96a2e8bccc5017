// Fuzz target of the selection lines typed at the host's prompt. The drawing holds entities of
// several kinds on several layers, so windows, layer lists and handles all find something.
#include "qkshost/drawing/creation.h"
#include "qkshost/drawing/database.h"
#include "qkshost/drawing/selection.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

using namespace qkshost::drawing;

namespace {

const Database& drawing() {
    static Database* db = [] {
        auto* d = new Database;
        ensureLayer(*d, "CUT", 1);
        ensureLayer(*d, "标注", 3);
        addLwPolyline(*d, 0, {{0, 0, 0}, {100, 0, 0}, {100, 50, 0}}, true, "CUT");
        addText(*d, 0, {10, 60, 0}, 5, "零件", 0, 0, "标注");
        auto c = std::make_unique<Circle>();
        c->center = {-20, -20, 0};
        c->radius = 1e6;
        d->appendEntity(std::move(c));
        return d;
    }();
    return *db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Database& db = drawing();
    SelectionResult result;
    const Status status =
        evaluateSelection(db, std::string_view(reinterpret_cast<const char*>(data), size), result);
    // a selection never names an entity twice nor one outside the drawing
    for (std::size_t i = 0; i < result.entities.size(); ++i) {
        if (db.object(result.entities[i]) == nullptr) __builtin_trap();
        for (std::size_t j = 0; j < i; ++j)
            if (result.entities[i] == result.entities[j]) __builtin_trap();
    }
    (void)status;
    return 0;
}
