#include "qks/nest/config.h"

#include "qks/contract/names.h"
#include "qks/nest/geometry.h"

namespace qks::nest {

std::vector<std::string> defaultSkipLayers() {
    std::vector<std::string> words;
    for (const std::string_view word : contract::kDefaultSkipLayerWords)
        words.emplace_back(word);
    return words;
}

double gapPadLength(const NestConfig& config) {
    return padLength(config.gap, config.cell);
}

bool exactGapRasters(const NestConfig& config) {
    return config.strategy == NestStrategy::Dense;
}

bool nestConfigFrom(contract::NestJobConfig record, const contract::ReadRules& rules,
                    NestConfig& config, std::string& message) {
    static_cast<contract::NestJobConfig&>(config) = std::move(record);
    config.sheets.clear();
    for (const std::string& line : config.sheetLines) {
        contract::SheetSize sheet;
        if (contract::parseSheetLine(line, sheet, rules))
            config.sheets.emplace_back(sheet.width, sheet.height, sheet.count);
    }
    config.layers = contract::listWords(config.layerList, rules);
    config.partCounts.clear();
    config.zeroCountIds.clear();
    for (const contract::PartQuantity& part : config.quantities) {
        config.partCounts[part.id] = part.quantity;
        if (part.quantity < 1) config.zeroCountIds.insert(part.id);
    }
    config.partRotations.clear();
    for (const contract::PartRotationLine& part : config.rotations)
        config.partRotations[part.id] = part.rotation;
    config.skipLayers = config.skipLayerList ? contract::listWords(*config.skipLayerList, rules)
                                             : defaultSkipLayers();
    config.skipNonCut = !config.skipLayerList || !config.skipLayers.empty();

    if (config.sheets.empty()) {
        message = "请至少填写一种板材尺寸";
        return false;
    }
    if (config.outDir.empty()) {
        message = "请设置输出目录";
        return false;
    }
    return true;
}

}  // namespace qks::nest
