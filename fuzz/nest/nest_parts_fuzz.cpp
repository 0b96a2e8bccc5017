// Parts file reader: any bytes give usable parts only; writing them back and reading again
// keeps them and what they carry; small parts rasterise without trouble.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "qks/nest/geometry.h"
#include "qks/nest/parts_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qks::nest;
    const std::vector<NestPart> parts =
        parsePartsText(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const NestPart& p : parts)
        if (p.outline.size() < 3 || p.quantity < 1) std::abort();
    const std::vector<NestPart> again = parsePartsText(formatPartsFile(parts));
    // Parts whose ids repeat collapse onto the later one; otherwise every part survives.
    if (again.size() > parts.size()) std::abort();
    // Carried geometry's records come back with their parts.
    if (again.size() == parts.size())
        for (std::size_t i = 0; i < parts.size(); ++i)
            if (again[i].carried != parts[i].carried) std::abort();
    // Rasterise a few parts of modest size (a huge part would only measure the fuzzer's
    // patience; its limits are tested elsewhere).
    int rasters = 0;
    for (const NestPart& p : parts) {
        if (rasters >= 4 || p.outline.size() > 2000) break;
        double low = 1e300, high = -1e300;
        for (const Point& q : p.outline) {
            low = std::fmin(low, std::fmin(q.x, q.y));
            high = std::fmax(high, std::fmax(q.x, q.y));
        }
        if (!(high - low < 3000)) continue;
        const PartRaster r = buildRaster(p, 35, true, 2.0, 5.0);
        if (!r.oversize && (r.width < 5 || r.height < 5)) std::abort();
        const PartRaster exact = buildExactGapRaster(p, 35, true, 2.0, 5.0, true);
        if (!exact.oversize && (exact.width < 3 || exact.height < 3)) std::abort();
        ++rasters;
    }
    return 0;
}
