// The drawing tools' config and tables file come from files anyone can write into the
// temporary folder.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "qks/common/numbers.h"
#include "qks/common/utf8.h"
#include "qks/contract/tools.h"
#include "qks/job/read_rules.h"
#include "qks/tools/operations.h"
#include "qks/tools/tools.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const qks::tools::ToolsConfig config =
        qks::contract::readToolsConfig(bytes, qks::pluginReadRules());
    if (config.rules.empty() || config.workbook.empty() ||
        config.workbook.find('/') != std::string::npos || !(config.joinTolerance >= 0) ||
        !(config.radius >= 0) || !(config.chamfer >= 0) || !(config.textHeight > 0) ||
        config.operations.size() > size)
        std::abort();
    for (const auto& rule : config.rules) {
        qks::contract::LayerRule back;
        if (!qks::contract::parseLayerRule(qks::contract::formatLayerRule(rule), back) ||
            back.newLayer != rule.newLayer)
            std::abort();
        qks::tools::layerPatternMatches(rule.layer, std::string(bytes.substr(0, 64)));
    }
    qks::contract::ReadRules rules;
    rules.toInt = qks::parseLeadingInt;
    rules.toDouble = qks::parseLeadingDouble;
    const auto tables = qks::contract::readTables(bytes, rules);
    // Written again, the tables read back the same.
    const auto again = qks::contract::readTables(qks::contract::formatTables(tables), rules);
    if (again.size() != tables.size()) std::abort();
    for (std::size_t i = 0; i < tables.size(); ++i)
        if (again[i].rows.size() != tables[i].rows.size()) std::abort();
    return 0;
}
