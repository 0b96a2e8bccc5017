// Job configs come from files anyone can write into the temporary folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "qks/common/job_config.h"
#include "qks/common/key_value.h"
#include "qks/common/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    qks::PlotMergeConfig config;
    qks::parseJobConfig(bytes, config);
    // Everything read must be valid UTF-8 and the column count at least 1.
    if (config.columns < 1 || !qks::isValidUtf8(config.outDir) || config.log.empty()) std::abort();
    for (const auto& file : config.files)
        if (file.empty() || !qks::isValidUtf8(file)) std::abort();
    for (const auto& line : qks::splitKeyValueLines(bytes))
        if (!qks::isValidUtf8(line.key) || !qks::isValidUtf8(line.value)) std::abort();
    return 0;
}
