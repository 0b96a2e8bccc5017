// Sheet stock syntax: accepted values are finite, at least 10, width the larger side.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "qks/contract/job_configs.h"
#include "qks/job/read_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qks::contract::SheetSize stock{-1, -1, -1};
    const bool ok = qks::contract::parseSheetLine(
        std::string_view(reinterpret_cast<const char*>(data), size), stock, qks::pluginReadRules());
    if (!ok && (stock.width != -1 || stock.height != -1 || stock.count != -1)) std::abort();
    if (ok && !(std::isfinite(stock.width) && stock.height >= 10 && stock.width >= stock.height &&
                stock.count >= 0))
        std::abort();
    return 0;
}
