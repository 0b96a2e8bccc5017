// The drawing window's display list as the Studio reads it, then indexed and picked in as the
// window does; the selection prompt file beside it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "qks/contract/view_format.h"
#include "qks/studio/drawingindex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qks;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    contract::readViewPrompt(bytes);
    std::optional<contract::ViewFile> view = contract::readView(bytes);
    if (!view) return 0;
    // What was read is written and read back to the same entities.
    const std::optional<contract::ViewFile> again = contract::readView(contract::formatView(*view));
    if (!again || again->entities.size() != view->entities.size() ||
        again->items.size() != view->items.size() || again->points != view->points)
        __builtin_trap();
    const studio::DrawingIndex index(std::move(*view));
    const studio::ViewBox& all = index.extents();
    if (!all.empty()) {
        index.nearest((all.minX + all.maxX) / 2, (all.minY + all.maxY) / 2,
                      (all.maxX - all.minX) / 10 + 1);
        for (const auto rule : {studio::PickRule::Window, studio::PickRule::Crossing})
            index.pick(all, rule);
    }
    return 0;
}
