// Progress file as the nest page reads it.
#include <cstddef>
#include <cstdint>

#include "qks/studio/progressfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qks::studio;
    const ProgressSnapshot records =
        parseProgressFile(QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size)));
    int placements = 0;
    for (const SheetPlacements& sheet : records.sheets)
        placements += sheet.placements.size();
    if (placements < 0) __builtin_trap();
    return 0;
}
