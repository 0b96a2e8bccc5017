// Nest job config reader: any bytes give a usable config or a message, never a value outside
// the documented ranges.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "qks/nest/config_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qks::nest::NestConfig config;
    std::string message;
    const bool ok = qks::nest::nestConfigFromText(
        std::string_view(reinterpret_cast<const char*>(data), size), config, message);
    if (ok != message.empty()) std::abort();
    if (!(config.gap >= 0 && config.gap <= qks::contract::kLargestGap)) std::abort();
    if (!(config.margin >= 0 && std::isfinite(config.margin))) std::abort();
    if (!(config.cell >= 0.5 && config.cell <= 10)) std::abort();
    if (!(config.seconds >= 1 && config.seconds <= 600)) std::abort();
    for (const auto& sheet : config.sheets)
        if (!(sheet.height >= 10 && sheet.width >= sheet.height && std::isfinite(sheet.width) &&
              sheet.count >= 0))
            std::abort();
    for (const auto& layer : config.layers)
        if (layer.empty()) std::abort();
    if (ok && config.outDwg.empty()) std::abort();
    if (config.threads < 0 || config.threads > 256) std::abort();
    for (const auto& [id, rotation] : config.partRotations) {
        if (rotation.angles.empty()) std::abort();
        for (std::size_t i = 0; i < rotation.angles.size(); ++i) {
            if (rotation.angles[i] < 0 || rotation.angles[i] >= 360) std::abort();
            for (std::size_t j = 0; j < i; ++j)
                if (rotation.angles[i] == rotation.angles[j]) std::abort();
        }
    }
    return 0;
}
