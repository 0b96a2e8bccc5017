// Job configs come from files anyone can write into the temporary folder: the plot, plot-files
// and merge jobs' reader (the contract's, under the plug-in's rules).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "qks/common/utf8.h"
#include "qks/contract/job_configs.h"
#include "qks/job/read_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto& rules = qks::pluginReadRules();
    const qks::contract::PlotFilesJobConfig plot = qks::contract::readPlotFilesConfig(bytes, rules);
    const qks::contract::MergeJobConfig merge = qks::contract::readMergeConfig(bytes, rules);
    // Everything read must be valid UTF-8 and the column count at least 1.
    if (merge.columns < 1 || !qks::isValidUtf8(plot.outDir) || !qks::isValidUtf8(plot.log) ||
        !qks::isValidUtf8(merge.outDwg) || plot.outDir != merge.outDir)
        std::abort();
    for (const auto& file : plot.files)
        if (file.empty() || !qks::isValidUtf8(file)) std::abort();
    // Written again, a config reads back the same.
    const auto again =
        qks::contract::readPlotFilesConfig(qks::contract::writePlotFilesConfig(plot), rules);
    if (again.files != plot.files || again.prefix != plot.prefix || again.scope != plot.scope)
        std::abort();
    return 0;
}
